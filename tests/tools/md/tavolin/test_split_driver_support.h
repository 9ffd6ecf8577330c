// Shared pieces of the front-end tests: a message handler that keeps what
// it is given, working files in memory, and section contents as bytes.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsghdl.h"
#include "base/fs/FsFileMan.h"
#include "base/fs/FsSectMan.h"

namespace fronttest {

// Installs a message handler over the built-in table for the lifetime of
// the object and keeps every message: id, position word and text.
class MessageCapture : public CmMsgOut {
public:
    struct Record {
        uint32_t id;
        uint32_t position;
        std::string text;
    };

    MessageCapture() : m_handler(cmBuiltinMsgTable(), this)
    {
        m_handler.setMsgLevel(CmMsgLevel(4, 1));  // text only, id and position apart
        m_previous = cmSetMessageHandler(&m_handler);
    }
    ~MessageCapture() override
    {
        cmSetMessageHandler(m_previous);
    }

    void msgOut(const WString& text, uint32_t, uint32_t, const WString&) override
    {
        records.push_back(Record{0xFFFFFFFFu, 0, text.toUtf8()});
    }
    void msgOutExt(const WString& text, uint32_t, uint32_t, const WString&, uint32_t position,
                   uint32_t msgId) override
    {
        records.push_back(Record{msgId, position, text.toUtf8()});
    }

    size_t count(uint32_t id) const
    {
        size_t n = 0;
        for (const Record& r : records) n += r.id == id;
        return n;
    }
    std::vector<uint32_t> ids() const
    {
        std::vector<uint32_t> v;
        for (const Record& r : records) v.push_back(r.id);
        return v;
    }
    void clear() { records.clear(); }

    std::vector<Record> records;

private:
    CmMessageHandler m_handler;
    CmMessageHandler* m_previous = nullptr;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::string examplePath(const char* name)
{
    return std::string(TV_SOURCE_DIR) + "/examples/" + name;
}

// The whole content of a section; "<missing>" when it cannot be opened.
inline std::string sectionText(FsSectMan& man, const char* name)
{
    FsSecCl* s = nullptr;
    if (man.openSect(name, &s, 0) != FS_OK || !s) return "<missing>";
    std::string out(s->getSize(), '\0');
    if (!out.empty()) s->readBytes(&out[0], uint32_t(out.size()));
    man.CloseSect(name);
    return out;
}

// Writes (creating when missing) a section with the given bytes.
inline bool putSection(FsSectMan& man, const char* name, const std::string& bytes)
{
    FsSecCl* s = man.getSect(name, FS_MODE_WRITE);
    if (!s) return false;
    s->setSize(0);
    if (!bytes.empty()) s->writeBytes(bytes.data(), uint32_t(bytes.size()));
    const bool ok = !s->hasError();
    return man.CloseSect(name) == FS_OK && ok;
}

// A compound file in memory.
inline bool openMemoryFile(FsFileMan& file)
{
    return file.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY) == FS_OK;
}

}  // namespace fronttest

// ---------------------------------------------------------------------------
// A source opened into a working file, as the entry method leaves it.

#include <unistd.h>

#include <memory>

#include "co/GlobTools.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionParser.h"

namespace fronttest {

// Header lines of a source of the given kind.
inline std::string headerOf(int32_t kind)
{
    const char* begin = kind == 1 ? "TO_HEADER" : kind == 2 ? "DV_TO_HEADER" : kind == 4 ? "TP_HEADER" : "DV_TP_HEADER";
    return std::string(begin) + "\n  TOTYPE := {11111111-2222-3333-4444-555555555555}, 1.0;\n"
                                "  DATE := DT#2024-01-01;\nEND_" + begin + "\n";
}

// Writes text to a new temporary file and removes it at the end.
class TempFile {
public:
    explicit TempFile(const std::string& text = std::string()) : m_path(createTempName(true).c_str())
    {
        std::ofstream f(m_path, std::ios::binary);
        f << text;
    }
    ~TempFile() { ::unlink(m_path.c_str()); }
    const std::string& path() const { return m_path; }
    const char* c_str() const { return m_path.c_str(); }

private:
    std::string m_path;
};

class OpenedSource {
public:
    // host: sections the host storage holds before the source is opened.
    explicit OpenedSource(const std::string& source,
                          const std::vector<std::pair<std::string, std::string>>& host = {},
                          uint32_t mask = 0)
        : mask(mask), m_source(source)
    {
        EXPECT_TRUE(openMemoryFile(hostFile));
        for (const auto& s : host) EXPECT_TRUE(putSection(hostFile, s.first.c_str(), s.second));
        MdWorkState state;
        state.workFile = &work;
        state.workPath = &workPath;
        state.target = &target;
        state.objectKind = &kind;
        state.typeId = &typeId;
        hr = mdOpenWorkingSource(m_source.c_str(), hostFile.storage(), mask, state, status);
    }
    ~OpenedSource()
    {
        target.reset();
        if (work.hasStorage()) work.CloseFile();
        if (!workPath.empty()) ::unlink(workPath.c_str());
    }

    MdFrontContext context()
    {
        MdFrontContext c;
        c.workFile = &work;
        c.objectKind = kind;
        c.stringCounter = &counter;
        c.sourcePath = String(m_source.path());
        c.sectionMask = mask;
        c.slot = &slot;
        return c;
    }
    // The working file's storage can be lent: nothing is open or lent.
    bool idle()
    {
        IStorage* stg = nullptr;
        if (!work.getIStoragePtr(&stg)) return false;
        stg->Release();
        return work.releaseIStoragePtr() == 0;
    }

    FsFileMan hostFile;
    FsFileMan work;
    String workPath;
    std::unique_ptr<FsSectMan> target;
    int32_t kind = -1;
    RTTypeID typeId;
    int32_t counter = 0;
    uint32_t mask;
    std::unique_ptr<MdSectionCompiler> slot;
    int32_t status = -1;
    HRESULT hr = E_FAIL;

private:
    TempFile m_source;
};

}  // namespace fronttest
