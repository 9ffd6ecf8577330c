#include "tools/md/tavolin/MdSectionParser.h"

#include <cctype>
#include <istream>
#include <new>
#include <sstream>

#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdLentDescriptor.h"

const char* const kMdBuildStamp = " [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]";

const int MdSectionParser::kOpenOrder[MdTmpCount] = {
    MdTmpSysVar, MdTmpSysFkt, MdTmpComment, MdTmpVar, MdTmpBootFkt, MdTmpBfComment,
    MdTmpBfErrTxt, MdTmpAlarm, MdTmpAlmMsg, MdTmpCon, MdTmpSuppTo, MdTmpImpl,
};

// The split's sink over the temporary streams of the working file. Every
// stream is written at its end; a stream that reports an error takes
// nothing more.
class MdSectionParser::StreamSink : public MdSectionSink {
public:
    explicit StreamSink(FsSecCl* const* streams) : m_streams(streams) {}

    bool hasStream(int stream) const override
    {
        return stream >= 0 && stream < MdTmpCount && m_streams[stream] != nullptr;
    }

    bool write(int stream, const char* data, std::size_t len) override
    {
        if (!hasStream(stream)) return false;
        FsSecCl* s = m_streams[stream];
        while (len > 0 && !s->hasError()) {
            const uint32_t n = len > 0x40000000u ? 0x40000000u : uint32_t(len);
            s->writeBytes(data, n);
            data += n;
            len -= n;
        }
        return !s->hasError();
    }

    bool copyStream(int from, int to) override
    {
        if (!hasStream(from) || !hasStream(to)) return false;
        FsSecCl* src = m_streams[from];
        FsSecCl* dst = m_streams[to];
        if (src->hasError() || dst->hasError()) return false;
        if (from == to) return true;
        dst->copyFrom(*src);
        if (src->hasError() || dst->hasError()) return false;
        dst->seek(0, 2);
        return !dst->hasError();
    }

private:
    FsSecCl* const* m_streams;
};

MdSectionParser::MdSectionParser() : m_sink(new StreamSink(m_streams)) {}

MdSectionParser::~MdSectionParser()
{
    // After run the streams are closed already; this only matters when the
    // split was opened and never run.
    if (m_workFile) {
        for (int i = 0; i < MdTmpCount; ++i)
            if (m_streams[i]) m_workFile->CloseSect(mdTmpStreamName(i));
    }
}

void MdSectionParser::openTempSections(std::istream* source, FsFileMan* workFile, uint32_t sectionMask)
{
    m_source = source;
    m_workFile = workFile;
    m_mask = sectionMask;
    for (FsSecCl*& s : m_streams) s = nullptr;
    if (!workFile) return;
    for (int stream : kOpenOrder) openStream(stream);
}

void MdSectionParser::openStream(int stream)
{
    const char* name = mdTmpStreamName(stream);
    FsSecCl* s = nullptr;
    uint32_t r = m_workFile->openSect(name, &s, FS_MODE_CREATE);
    if (r == FS_EXISTS) {
        // The host's storage brought a stream of this name (in any letter
        // case) along. Its content belongs to no section of this source: it
        // is replaced.
        r = m_workFile->openSect(name, &s, FS_MODE_WRITE);
    }
    if (r != FS_OK || !s) return;
    if (s->setSize(0) != 0 || s->hasError()) {
        m_workFile->CloseSect(name);
        return;
    }
    m_streams[stream] = s;
}

bool MdSectionParser::hasTempStream(int stream) const
{
    return stream >= 0 && stream < MdTmpCount && m_streams[stream] != nullptr;
}

void MdSectionParser::closeStreams()
{
    for (FsSecCl*& s : m_streams) s = nullptr;
    if (m_workFile) m_workFile->CloseAll();
}

int MdSectionParser::run()
{
    int result;
    if (m_source) {
        result = split(*m_source, *m_sink, nullptr, m_mask);
    } else {
        std::istringstream empty;
        result = split(empty, *m_sink, nullptr, m_mask);
    }

    closeStreams();

    const MdSectionHeader& h = header();
    m_head.typeId1 = RTTypeID(h.typeId1.guid, h.typeId1.version, h.typeId1.second);
    m_head.typeId3 = RTTypeID(h.typeId3.guid, h.typeId3.version, h.typeId3.second);
    m_head.text1 = String(h.text1);
    m_head.text2 = String(h.text2 + kMdBuildStamp);

    m_headResult = writeHead();
    closeStreams();
    return result;
}

RTTypeID MdSectionParser::typeId() const
{
    const MdSectionTypeId& t = header().typeId1;
    return RTTypeID(t.guid, t.version, t.second);
}

uint32_t MdSectionParser::writeHead()
{
    if (!mdIsObjectKind(objectKind())) return 1;
    MdLentDescriptor lent(m_workFile);
    if (lent.lend(mdDscClassOfKind(objectKind())) != MdLentDescriptor::Lent) return 1;
    return lent.dsc()->write_head(m_head) == FS_OK ? 0 : 1;
}

void MdSectionParser::emit(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count)
{
    // The split's messages carry at most one text, made by the split (a
    // token quoted and cut, a number).
    if (args.empty())
        mdEmitMessages(msgId, line, count);
    else
        mdEmitMadeMessage(msgId, line, count, args[0]);
}

bool MdSectionParser::countHeldBack(uint32_t msgId, int32_t, uint32_t count)
{
    return mdMessageHeldBack(msgId, count);
}

bool MdSectionParser::heldBackFromNowOn(uint32_t msgId)
{
    return mdMessagesHeldBackFromNowOn(msgId);
}

void MdSectionParser::countAllHeldBack(uint32_t msgId, uint32_t messages)
{
    mdCountAllHeldBack(msgId, messages);
}
