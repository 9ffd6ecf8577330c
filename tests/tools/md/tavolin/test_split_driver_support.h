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

// Installs a message handler over the built-in table (or the given one) for
// the lifetime of the object and keeps every message: id, position word and
// text.
class MessageCapture : public CmMsgOut {
public:
    struct Record {
        uint32_t id;
        uint32_t position;
        std::string text;
        uint32_t count = 1;  // what the message stands for (CmMsgOut::countMore)
    };

    explicit MessageCapture(CmMsgTable* table = cmBuiltinMsgTable()) : m_handler(table, this)
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
    void countMore(uint32_t, uint32_t count) override
    {
        if (!records.empty()) records.back().count += count;
    }
    // The errors the handler counted.
    uint32_t errors() const { return m_handler.errorCount(); }

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

// ---------------------------------------------------------------------------
// Stand-in section compilers.

#include <functional>
#include <istream>

#include "tools/md/tavolin/MdSectionCompiler.h"

namespace fronttest {

// What a stand-in compiler saw.
struct Seen {
    int kind;
    std::string stream;       // the whole stream, "<none>" without one
    std::string descriptor;   // "TO", "TP", "none"
    bool descriptorHasHeader;
    std::string rcPath;
    int32_t firstStringId;
    int32_t firstPass;
    bool parsed = false;
    bool tableWritten = false;
    bool hasSection;
};

// How a stand-in compiler behaves.
struct Behaviour {
    int32_t result = 0;
    int32_t errors = 0;
    int32_t idsUsed = 0;
    int32_t tableResult = 0;
    std::function<void(const MdCompilerArgs&)> onParse;
};

class StandIn : public MdSectionCompiler {
public:
    StandIn(int kind, const Behaviour& b, std::vector<Seen>& log) : m_kind(kind), m_b(b), m_log(log) {}

    void init(const MdCompilerArgs& args) override
    {
        Seen s{};
        s.kind = m_kind;
        if (args.stream) {
            std::string text;
            char c;
            while (args.stream->get(c)) text += c;
            s.stream = text;
        } else {
            s.stream = "<none>";
        }
        if (!args.descriptor)
            s.descriptor = "none";
        else
            s.descriptor = args.descriptor->kind() == FsDsc::KIND_TO ? "TO" : "TP";
        s.descriptorHasHeader = args.descriptor && args.descriptor->getType("header") == 1;
        s.rcPath = args.rcPath.c_str();
        s.firstStringId = args.firstStringId;
        s.firstPass = args.firstPass;
        s.hasSection = args.section != nullptr;
        m_log.push_back(s);
        m_args = args;
        m_next = args.firstStringId + m_b.idsUsed;
    }
    int32_t parse() override
    {
        m_log.back().parsed = true;
        if (m_b.onParse) m_b.onParse(m_args);
        return m_b.result;
    }
    int32_t errorCount() const override { return m_b.errors; }
    int32_t nextStringId() const override { return m_next; }
    int32_t writeStringTable() override
    {
        m_log.back().tableWritten = true;
        return m_b.tableResult;
    }

private:
    int m_kind;
    Behaviour m_b;
    std::vector<Seen>& m_log;
    MdCompilerArgs m_args;
    int32_t m_next = 0;
};

// Installs stand-ins for every compiler kind and restores the build's own
// creators afterwards.
class StandIns {
public:
    StandIns()
    {
        for (int k = 0; k < MdCompCount; ++k) {
            m_saved[k] = mdSetCompilerCreator(k, [this, k]() -> MdSectionCompiler* {
                if (m_nullFor == k) return nullptr;
                return new StandIn(k, behaviour[k], log);
            });
        }
    }
    ~StandIns()
    {
        for (int k = 0; k < MdCompCount; ++k) mdSetCompilerCreator(k, m_saved[k]);
    }
    void notBuilt(int kind) { mdSetCompilerCreator(kind, MdCompilerCreator()); }
    void allocationFails(int kind) { m_nullFor = kind; }

    Behaviour behaviour[MdCompCount];
    std::vector<Seen> log;

private:
    MdCompilerCreator m_saved[MdCompCount];
    int m_nullFor = -1;
};

}  // namespace fronttest

// ---------------------------------------------------------------------------
// An error display as a host hands it over: keeps every text it shows. It
// asks for the output with context, position, level word, number and text,
// so the message id can be read back from the text.

#include <cstdlib>

#include "base/cm/cmerrdisplay.h"
#include "platform/text.h"

namespace fronttest {

class TestDisplay final : public IErrorDisplayEx {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IErrorDisplayEx) {
            *ppv = static_cast<IErrorDisplayEx*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG, LONG, BSTR) override
    {
        texts.push_back(text ? tvp::wideToUtf8(text, tvp::u16len(text)) : std::string());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowMessageExt(CmErrorDisplayRecord record) override
    {
        return ShowMessage(record.text, record.level, record.helpId, record.moduleText);
    }
    HRESULT STDMETHODCALLTYPE GetExtendedOutput(LONG* extended) override
    {
        *extended = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* mode, LONG* flag) override
    {
        *mode = 2;
        *flag = 0;
        return S_OK;
    }

    // The message numbers shown, in order ("... Fehler 102 Falscher ObjektTyp").
    std::vector<uint32_t> ids() const
    {
        std::vector<uint32_t> v;
        for (const std::string& t : texts) {
            const size_t p = t.find("Fehler ");
            v.push_back(p == std::string::npos ? 0xFFFFFFFFu : uint32_t(std::strtoul(t.c_str() + p + 7, nullptr, 10)));
        }
        return v;
    }

    std::vector<std::string> texts;
    ULONG refs = 1;
};

}  // namespace fronttest

// ---------------------------------------------------------------------------
// The pre-compiler object as the host drives it.

#include "tools/md/tavolin/CTavolin.h"

namespace fronttest {

struct Bstr : OwnedBstr {
    explicit Bstr(const std::string& utf8) : OwnedBstr(SysAllocString(tvp::utf8ToWide(utf8).c_str())) {}
    operator BSTR() const { return get(); }
};

// One object, its display and a host storage in memory.
class ComSession {
public:
    explicit ComSession(const std::vector<std::pair<std::string, std::string>>& host = {})
    {
        EXPECT_EQ(CTavolinObject::CreateInstance(&obj), S_OK);
        obj->AddRef();
        EXPECT_TRUE(openMemoryFile(hostFile));
        for (const auto& s : host) EXPECT_TRUE(putSection(hostFile, s.first.c_str(), s.second));
    }
    ~ComSession()
    {
        if (obj) obj->Release();
    }

    // openSource with the session's storage and display.
    HRESULT open(const std::string& sourcePath, const std::string& acx = "", const std::string& rc = "",
                 const std::string& rcText = "", uint32_t mask = 0)
    {
        Bstr s(sourcePath), a(acx), r(rc), t(rcText);
        return obj->openSource(s, a, r, t, hostFile.storage(), &display, 3, 4, 1, mask, &kind, &status);
    }

    CTavolinObject* obj = nullptr;
    TestDisplay display;
    FsFileMan hostFile;
    LONG kind = -7;
    LONG status = -7;
};

}  // namespace fronttest

// ---------------------------------------------------------------------------
// A compiler run over a text into a descriptor: init, then parse.

#include <sstream>

namespace fronttest {

inline int32_t compileText(MdSectionCompiler& compiler, const std::string& text, FsDsc* descriptor)
{
    std::istringstream in(text);
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = descriptor;
    compiler.init(args);
    return compiler.parse();
}

}  // namespace fronttest

// ---------------------------------------------------------------------------
// A compiler that keeps the texts handed to its scanner's and its parser's
// error reports (the built-in message texts of the compiler blocks show no
// argument): the scanner's between single quotes, as LexerError passes them on.

namespace fronttest {

template <class Compiler>
class RecordingErrors : public Compiler {
public:
    void LexerError(const char* text) override
    {
        errors.push_back(std::string("'") + text + "'");
        Compiler::LexerError(text);
    }
    void yyerror(const char* text) override
    {
        errors.push_back(text);
        Compiler::yyerror(text);
    }
    std::vector<std::string> errors;
};

}  // namespace fronttest

// ---------------------------------------------------------------------------
// The system-variable table of a list "address name type" (as mksymb reads
// it), as the text the class provider stores as section "symb".

#include <sstream>

#include "tools/mksymb/SysVarTable.h"

namespace fronttest {

inline std::string symbTableOf(const std::string& list)
{
    std::istringstream in(list);
    SysVarTable t;
    std::string error;
    EXPECT_TRUE(t.addList(in, error)) << error;
    std::stringstream text;
    EXPECT_TRUE(t.save(text));
    return text.str();
}

}  // namespace fronttest
