// Random bytes as a description source, split into a working file in
// memory: the split must end for any input, every temporary stream must hold
// exactly what the split gives over plain strings, a host's stale streams
// must be replaced, and the descriptor header must be there exactly when the
// source named an object kind.
//
// Input: the first byte is the section mask (bits 0x7E) and, in bit 0,
// whether the working file starts with stale streams of the host; the rest
// is the source.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsghdl.h"
#include "base/fs/FsDsc.h"
#include "base/fs/FsFileMan.h"
#include "tools/md/tavolin/MdSectionParser.h"

namespace {

// Messages are formatted and dropped.
class NullOut : public CmMsgOut {
public:
    void msgOut(const WString&, uint32_t, uint32_t, const WString&) override {}
    void msgOutExt(const WString&, uint32_t, uint32_t, const WString&, uint32_t, uint32_t) override {}
};

std::string sectionText(FsSectMan& man, const char* name, bool& ok)
{
    FsSecCl* s = nullptr;
    ok = man.openSect(name, &s, 0) == FS_OK && s;
    if (!ok) return std::string();
    std::string out(s->getSize(), '\0');
    if (!out.empty()) s->readBytes(&out[0], uint32_t(out.size()));
    ok = !s->hasError();
    man.CloseSect(name);
    return out;
}

void check(bool cond)
{
    if (!cond) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static NullOut out;
    static CmMessageHandler handler(cmBuiltinMsgTable(), &out);
    cmSetMessageHandler(&handler);

    const uint32_t mask = size > 0 ? uint32_t(data[0] & 0x7E) : 0;
    const bool stale = size > 0 && (data[0] & 1) != 0;
    const std::string source(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);

    FsFileMan work;
    check(work.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY) == FS_OK);
    if (stale) {
        // What a host storage may bring along: a long stream of a temporary
        // name and one differing in letter case.
        FsSecCl* s = work.getSect("var_tmp", FS_MODE_WRITE);
        check(s != nullptr);
        const std::string junk(20000, 'J');
        s->writeBytes(junk.data(), uint32_t(junk.size()));
        work.CloseSect("var_tmp");
        check(work.getSect("CON_TMP", FS_MODE_WRITE) != nullptr);
        work.CloseSect("CON_TMP");
    }

    int32_t kind;
    {
        std::istringstream in(source);
        MdSectionParser parser;
        parser.openTempSections(&in, &work, mask);
        const int result = parser.run();
        check(result >= 0 && result <= 3);
        kind = parser.objectKind();
        check(parser.headResult() == (mdIsObjectKind(kind) ? 0u : 1u));
    }

    std::istringstream in(source);
    MdStringSectionSink sink;
    MdSectionSplitter splitter;
    splitter.split(in, sink, nullptr, mask);
    check(splitter.header().kind == kind);
    for (int i = 0; i < MdTmpCount; ++i) {
        bool ok = false;
        const std::string text = sectionText(work, mdTmpStreamName(i), ok);
        check(ok);
        check(text == sink.stream(i));
    }

    bool ok = false;
    const std::string head = sectionText(work, "header", ok);
    check(ok == mdIsObjectKind(kind));
    if (ok) check(head.compare(0, 3, "3\r\n") == 0);

    // Everything is closed: the storage can be lent out.
    IStorage* stg = nullptr;
    check(work.getIStoragePtr(&stg));
    stg->Release();
    check(work.releaseIStoragePtr() == 0);
    return 0;
}
