// The pre-compiler object: version, the frame of its methods (pointer and
// kind checks, statuses, messages), the message handler of each object, the
// opening of a source with its working file, the compile steps that are not
// built, and the ACX steps (the header check and the import over a stand-in
// variables compiler).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmerrdisplay.h"
#include "base/cm/cmmsghdl.h"
#include "base/fs/FsSecClMem.h"
#include "platform/text.h"
#include "tests/acx/AcxTestWriter.h"
#include "tests/tools/md/tavolin/acx_import_fixture.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/md/tavolin/CTavolin.h"
#include "tools/md/tavolin/MdSectionCompiler.h"

namespace {

const std::string kAxis = std::string(TV_SOURCE_DIR) + "/examples/axis.tos";

bool exists(const char* path)
{
    struct stat st;
    return ::stat(path, &st) == 0;
}

// Keeps the texts the handler passes to its output.
class Capture : public CmMsgOut {
public:
    void msgOut(const WString& text, uint32_t, uint32_t, const WString&) override
    {
        texts.push_back(text.toUtf8());
    }
    void msgOutExt(const WString& text, uint32_t, uint32_t, const WString&, uint32_t, uint32_t) override
    {
        texts.push_back(text.toUtf8());
    }
    std::vector<std::string> texts;
};

// A host error display (current interface) that keeps what it is shown.
class Display : public IErrorDisplayEx {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IErrorDisplayEx) return E_NOINTERFACE;
        *ppv = static_cast<IErrorDisplayEx*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG level, LONG, BSTR) override
    {
        shown.push_back(tvp::wideToUtf8(text, tvp::u16len(text)));
        levels.push_back(level);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowMessageExt(CmErrorDisplayRecord) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetExtendedOutput(LONG* e) override
    {
        *e = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* mode, LONG* flag) override
    {
        *mode = 3;  // the handler writes the text only
        *flag = 0;
        return S_OK;
    }
    size_t count(const std::string& text) const
    {
        size_t n = 0;
        for (const std::string& s : shown) n += s == text;
        return n;
    }

    ULONG refs = 1;
    std::vector<std::string> shown;
    std::vector<LONG> levels;
};

// A new object (reference count 1); released by the fixture.
class TavolinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CTavolinObject::CreateInstance(&m_obj), S_OK);
        m_obj->AddRef();
        ASSERT_EQ(cmGetMessageHandler(), m_obj->messageHandler());
    }
    // Before a source is opened the object has no display: keeps what it
    // would show (the messages then no longer reach a display).
    void capture()
    {
        m_obj->messageHandler()->setMsgLevel(CmMsgLevel(4));
        m_obj->messageHandler()->setMsgOut(&m_capture);
    }
    void TearDown() override
    {
        if (m_obj) m_obj->Release();
        if (m_host) m_host->Release();
    }

    // Opens a source into a memory host storage with the display.
    HRESULT open(const std::string& source, LONG* kind, LONG* status, const char16_t* acx = nullptr)
    {
        if (!m_host) {
            EXPECT_TRUE(fsCreateMemStorage(&m_host));
        }
        std::u16string src = tvp::utf8ToWide(source);
        std::u16string acxPath = acx ? acx : u"";
        return m_obj->openSource(src.data(), acxPath.data(), nullptr, nullptr, m_host, &m_display, 0, 0, 1, 0,
                                 kind, status);
    }

    // A host storage whose descriptor has its "cfghead", as createFile makes
    // it: the ACX import opens it and never creates it.
    void hostWithCfghead()
    {
        ASSERT_TRUE(fsCreateMemStorage(&m_host));
        IStream* s = nullptr;
        ASSERT_EQ(m_host->CreateStream(u"cfghead", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s), S_OK);
        s->Release();
    }

    CTavolinObject* m_obj = nullptr;
    IStorage* m_host = nullptr;
    Capture m_capture;
    Display m_display;
};

}  // namespace

// The vtable slot of a virtual member function (the C++ ABI of this
// platform keeps 1 + the byte offset into the vtable in the pointer).
template <class F>
size_t slotOf(F pmf)
{
    struct {
        uintptr_t ptr;
        ptrdiff_t adj;
    } raw;
    static_assert(sizeof raw == sizeof pmf, "pointer to member function layout");
    std::memcpy(&raw, &pmf, sizeof raw);
    return (raw.ptr - 1) / sizeof(void*);
}

TEST(TavolinInterface, SlotOrderOfTheHostsCalls)
{
    // The host calls by slot: the order is the binary interface.
    EXPECT_EQ(slotOf(&IMC_Tavolin::QueryInterface), 0u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::Release), 2u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::getVersion), 3u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::openSource), 4u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileSysVars), 5u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileSysFunctions), 6u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileComments), 7u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileVariables), 8u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileConnections), 9u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileAlarms), 10u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileBootFunctions), 11u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileSupportedTOs), 12u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::compileImplementations), 13u);
    EXPECT_EQ(slotOf(&IMC_Tavolin::copySections), 14u);
}

TEST_F(TavolinTest, VersionInTaskMemory)
{
    char* text = nullptr;
    ASSERT_EQ(m_obj->getVersion(&text), S_OK);
    EXPECT_STREQ(text, "VRX-Tavolin 0.1");
    CoTaskMemFree(text);
    EXPECT_EQ(m_obj->getVersion(nullptr), E_POINTER);
}

TEST_F(TavolinTest, NullStatusGivesEPointerAndReportsNothing)
{
    capture();
    BSTR names[1] = {nullptr};
    const char* sect[1] = {"header"};
    LONG kind = 7, status = 5;
    EXPECT_EQ(m_obj->compileSysVars(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileSysFunctions(0, 0, nullptr, 0, nullptr, 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileSysFunctions(0, 1, nullptr, 0, nullptr, 0, 0, &status), E_POINTER);
    EXPECT_EQ(m_obj->compileComments(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileVariables(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileConnections(nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileAlarms(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileBootFunctions(nullptr, 0, names, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileBootFunctions(nullptr, 0, nullptr, nullptr, nullptr, &status), E_POINTER);
    EXPECT_EQ(m_obj->compileSupportedTOs(nullptr), E_POINTER);
    EXPECT_EQ(m_obj->compileImplementations(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->copySections(1, sect, nullptr), E_POINTER);
    EXPECT_EQ(m_obj->copySections(1, nullptr, &status), E_POINTER);

    // The entry method needs the host storage, the display and both outputs;
    // nothing is kept when one is missing.
    IStorage* host = nullptr;
    ASSERT_TRUE(fsCreateMemStorage(&host));
    Display display;
    char16_t src[] = u"/nonexistent/source.tos";
    EXPECT_EQ(m_obj->openSource(src, nullptr, nullptr, nullptr, nullptr, &display, 0, 0, 1, 0, &kind, &status),
              E_POINTER);
    EXPECT_EQ(m_obj->openSource(src, nullptr, nullptr, nullptr, host, nullptr, 0, 0, 1, 0, &kind, &status),
              E_POINTER);
    EXPECT_EQ(m_obj->openSource(src, nullptr, nullptr, nullptr, host, &display, 0, 0, 1, 0, nullptr, &status),
              E_POINTER);
    EXPECT_EQ(m_obj->openSource(src, nullptr, nullptr, nullptr, host, &display, 0, 0, 1, 0, &kind, nullptr),
              E_POINTER);
    host->Release();
    EXPECT_EQ(kind, 7);
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(m_capture.texts.empty());
    EXPECT_TRUE(display.shown.empty());
    EXPECT_EQ(display.refs, 1u);
    EXPECT_TRUE(m_obj->workFilePath().empty());
}

TEST_F(TavolinTest, EveryKindBoundMethodBeforeOpeningIsTheWrongKind)
{
    capture();
    BSTR names[1] = {nullptr};
    struct Call {
        const char* name;
        std::function<HRESULT(LONG*)> call;
    };
    const std::vector<Call> calls = {
        {"compileSysVars", [&](LONG* s) { return m_obj->compileSysVars(0, 0, s); }},
        {"compileSysFunctions", [&](LONG* s) { return m_obj->compileSysFunctions(0, 0, nullptr, 0, nullptr, 0, 0, s); }},
        {"compileComments", [&](LONG* s) { return m_obj->compileComments(nullptr, s); }},
        {"compileVariables", [&](LONG* s) { return m_obj->compileVariables(nullptr, s); }},
        {"compileConnections", [&](LONG* s) { return m_obj->compileConnections(s); }},
        {"compileAlarms", [&](LONG* s) { return m_obj->compileAlarms(nullptr, s); }},
        {"compileBootFunctions", [&](LONG* s) { return m_obj->compileBootFunctions(nullptr, 0, names, nullptr, nullptr, s); }},
        {"compileSupportedTOs", [&](LONG* s) { return m_obj->compileSupportedTOs(s); }},
        {"compileImplementations", [&](LONG* s) { return m_obj->compileImplementations(nullptr, s); }},
    };
    for (const Call& c : calls) {
        m_capture.texts.clear();
        LONG status = 0;
        EXPECT_EQ(c.call(&status), S_OK) << c.name;
        EXPECT_EQ(uint32_t(status), 0xBE11000Au) << c.name;
        EXPECT_EQ(m_capture.texts, std::vector<std::string>{"Falscher ObjektTyp"}) << c.name;
    }

    // The copy has no target yet: its own status, no message.
    m_capture.texts.clear();
    const char* sect[1] = {"header"};
    LONG status = 0;
    EXPECT_EQ(m_obj->copySections(1, sect, &status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE110015u);
    EXPECT_TRUE(m_capture.texts.empty());
}

TEST(TavolinHandlers, EachObjectKeepsItsOwnHandler)
{
    CTavolinObject* first = nullptr;
    CTavolinObject* second = nullptr;
    ASSERT_EQ(CTavolinObject::CreateInstance(&first), S_OK);
    first->AddRef();
    ASSERT_EQ(CTavolinObject::CreateInstance(&second), S_OK);
    second->AddRef();
    CmMessageHandler* secondHandler = second->messageHandler();
    ASSERT_NE(secondHandler, nullptr);
    ASSERT_NE(first->messageHandler(), secondHandler);
    EXPECT_EQ(cmGetMessageHandler(), secondHandler);  // the younger object reports

    // The first one dies: the second one's handler stays, usable.
    first->Release();
    EXPECT_EQ(cmGetMessageHandler(), secondHandler);
    Capture cap;
    secondHandler->setMsgLevel(CmMsgLevel(4));
    secondHandler->setMsgOut(&cap);
    LONG status = 0;
    EXPECT_EQ(second->compileConnections(&status), S_OK);
    EXPECT_EQ(cap.texts, std::vector<std::string>{"Falscher ObjektTyp"});
    second->Release();
    EXPECT_EQ(cmGetMessageHandler(), nullptr);

    // The younger one dies first: the older one reports again.
    ASSERT_EQ(CTavolinObject::CreateInstance(&first), S_OK);
    first->AddRef();
    ASSERT_EQ(CTavolinObject::CreateInstance(&second), S_OK);
    second->AddRef();
    second->Release();
    EXPECT_EQ(cmGetMessageHandler(), first->messageHandler());
    first->Release();
    EXPECT_EQ(cmGetMessageHandler(), nullptr);
}

TEST_F(TavolinTest, OpeningKeepsAWorkingFileThatTheObjectRemoves)
{
    // The host storage holds the sections it wants back.
    ASSERT_TRUE(fsCreateMemStorage(&m_host));
    IStream* s = nullptr;
    ASSERT_EQ(m_host->CreateStream(u"header", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s), S_OK);
    s->Release();

    LONG kind = -1, status = -1;
    ASSERT_EQ(open(kAxis, &kind, &status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(m_obj->objectKind(), 1);
    const std::string work = m_obj->workFilePath().c_str();
    ASSERT_FALSE(work.empty());
    EXPECT_TRUE(exists(work.c_str()));
    EXPECT_GT(m_display.refs, 1u);  // the object holds the display

    // The descriptor header the split wrote is copied into the host storage.
    const char* header[1] = {"header"};
    EXPECT_EQ(m_obj->copySections(1, header, &status), S_OK);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(m_host->OpenStream(u"header", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s), S_OK);
    char buf[64] = {};
    ULONG got = 0;
    s->Read(buf, sizeof buf - 1, &got);
    s->Release();
    const std::string kindLine = "3\r\n{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 \r\n";
    EXPECT_EQ(std::string(buf, got).substr(0, kindLine.size()), kindLine);

    // A second opening finds the working file in use.
    LONG kind2 = -1;
    EXPECT_EQ(open(kAxis, &kind2, &status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE11FFFFu);

    m_obj->Release();
    m_obj = nullptr;
    EXPECT_FALSE(exists(work.c_str()));
    EXPECT_EQ(m_display.refs, 1u);
}

TEST_F(TavolinTest, MissingSourceIsReportedToTheDisplay)
{
    LONG kind = -1, status = 0;
    ASSERT_EQ(open("/nonexistent/dir/none.tos", &kind, &status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE11001Bu);
    EXPECT_EQ(kind, -1);
    EXPECT_EQ(m_display.shown, std::vector<std::string>{"File /nonexistent/dir/none.tos konnte nicht geöffnet werden"});
    EXPECT_EQ(m_display.levels, std::vector<LONG>{2});
}

TEST_F(TavolinTest, StepsWithoutTheirCompilerAreNotImplemented)
{
    LONG kind = -1, status = 0;
    ASSERT_EQ(open(kAxis, &kind, &status), S_OK);
    ASSERT_EQ(kind, 1);

    // The connection compiler taken out of the build: E_NOTIMPL after the
    // internal error; put back as a stand-in that accepts: S_OK.
    struct Accepting : MdSectionCompiler {
        void init(const MdCompilerArgs&) override {}
        int32_t parse() override { return 0; }
        int32_t nextStringId() const override { return 0; }
    };
    MdCompilerCreator saved = mdSetCompilerCreator(MdCompConnection, MdCompilerCreator());
    m_display.shown.clear();
    EXPECT_EQ(m_obj->compileConnections(&status), E_NOTIMPL);
    EXPECT_EQ(uint32_t(status), 0xBE11FFFFu);
    EXPECT_EQ(m_display.shown, std::vector<std::string>{"Interner Fehler"});

    mdSetCompilerCreator(MdCompConnection, [] { return new Accepting; });
    m_display.shown.clear();
    EXPECT_EQ(m_obj->compileConnections(&status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(m_display.shown.empty());
    mdSetCompilerCreator(MdCompConnection, saved);

    // Without a class provider the class-provider step fails.
    EXPECT_EQ(m_obj->compileSysVars(0, 0, &status), E_FAIL);
    EXPECT_EQ(status, 0);
    // A package method on a technology object stays a wrong kind.
    EXPECT_EQ(m_obj->compileSupportedTOs(&status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE11000Au);
}

TEST_F(TavolinTest, AcxFileNotReadIsNotImported)
{
    // The file is read (here it is missing, so its header is not checked).
    hostWithCfghead();
    LONG kind = -1, status = 0;
    ASSERT_EQ(open(kAxis, &kind, &status, u"/nonexistent/axis.acx"), S_OK);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(uint32_t(status), 0xBE11FFFFu);
    EXPECT_EQ(m_display.count("ACX Fatal Error 1"), 1u);

    // The variable method's import after a good compile: nothing of a file
    // that was not read whole is imported.
    struct Accepting : MdSectionCompiler {
        void init(const MdCompilerArgs&) override {}
        int32_t parse() override { return 0; }
        int32_t nextStringId() const override { return 4; }
    };
    MdCompilerCreator saved = mdSetCompilerCreator(MdCompVarExt, [] { return new Accepting; });
    m_display.shown.clear();
    EXPECT_EQ(m_obj->compileVariables(nullptr, &status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE11FFFFu);
    EXPECT_EQ(m_display.shown, std::vector<std::string>{"Interner Fehler"});
    EXPECT_EQ(m_obj->nextStringId(), 4);
    mdSetCompilerCreator(MdCompVarExt, saved);
}

TEST_F(TavolinTest, AcxFileIsCheckedAndImported)
{
    using namespace acxtest;
    // The axis's own type id, a default configuration and one variable.
    const Bytes head = compound(2147, {str(2121, "5A3C2E108B414C7D9E2F1A6B3C4D5E60"), u8(2122, 2), u8(2123, 1)});
    const Bytes p12 = compound(1037, {u16(136, 12), u16(131, 2),
                                      compound(2116, {compound(2117, {i32(138, 0), i32(140, 10), i32(139, 100)})}),
                                      u32(2139, 1), u16(2127, 3), u16(134, 2), u32(2140, 5), u32(2141, 7)});
    const Bytes cfg = compound(2107, {u32(2131, 1), u32(2132, 2)});
    // A stand-in of the variables compiler that leaves the fixture's sections.
    struct Fixture : MdSectionCompiler {
        void init(const MdCompilerArgs& args) override { dsc = args.descriptor; }
        int32_t parse() override { return dsc && acxfixture::writeFixture(*dsc) ? 0 : 4; }
        int32_t nextStringId() const override { return 0; }
        FsDsc* dsc = nullptr;
    };
    MdCompilerCreator saved = mdSetCompilerCreator(MdCompVarExt, [] { return new Fixture; });
    const struct {
        const char* name;
        Bytes tags;
        uint32_t open, variables;
        const char* cfghead;
        const char* varext;
    } cases[] = {
        {"good", compound(0, {compound(2144, {head, cfg, p12})}), 0, 0, "2 0  0 ", "1 12 4294967295 1 0 6145 5 7 10"},
        {"unknown variable", compound(0, {compound(2144, {head, cfg, compound(1037, {u16(136, 99)})})}), 0,
         0xBE11FFFF, "2 0  0 ", "0"},
        // Reported with 409 and stored all the same: the step fails.
        {"a value outside DINT", compound(0, {compound(2144, {head, cfg, compound(1037, {u16(136, 12), u16(131, 2),
                                  compound(2116, {compound(2117, {r64(140, 3e9)})}), u32(2139, 1), u16(2127, 3),
                                  u16(134, 2), u32(2140, 5), u32(2141, 7)})})}),
         0, 0xBE11000B, "2 0  0 ", "1 12 4294967295 1 0 6145 5 7 10"},
        {"bad configuration", compound(0, {compound(2144, {head, compound(2107, {str(2132, "")}), p12})}), 0,
         0xBE11FFFF, "4294967295 0  0 ", "0"},
    };
    const std::string path = std::string(TV_BINARY_DIR) + "/com_tavolin_import.acx";
    for (const auto& c : cases) {
        if (m_obj) m_obj->Release();
        if (m_host) m_host->Release();
        // The host's descriptor has the sections the copy fills.
        ASSERT_TRUE(fsCreateMemStorage(&m_host));
        for (const char16_t* name : {u"cfghead", u"varext"}) {
            IStream* s = nullptr;
            ASSERT_EQ(m_host->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s), S_OK);
            s->Release();
        }
        ASSERT_EQ(CTavolinObject::CreateInstance(&m_obj), S_OK);
        m_obj->AddRef();
        ASSERT_TRUE(writeFile(path, file({c.tags})));
        const std::u16string acx = tvp::utf8ToWide(path);
        LONG kind = -1, status = -1;
        ASSERT_EQ(open(kAxis, &kind, &status, acx.c_str()), S_OK);
        EXPECT_EQ(uint32_t(status), c.open) << c.name;
        EXPECT_EQ(m_obj->compileVariables(nullptr, &status), S_OK);
        EXPECT_EQ(uint32_t(status), c.variables) << c.name;
        const char* names[2] = {"cfghead", "varext"};
        EXPECT_EQ(m_obj->copySections(2, names, &status), S_OK);
        EXPECT_EQ(status, 0) << c.name;
        for (const char* name : names) {
            IStream* s = nullptr;
            ASSERT_EQ(m_host->OpenStream(tvp::utf8ToWide(name).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                         &s),
                      S_OK);
            char buf[128] = {};
            ULONG got = 0;
            s->Read(buf, sizeof buf, &got);
            s->Release();
            EXPECT_EQ(std::string(buf, got), std::string(name)[0] == 'c' ? c.cfghead : c.varext) << c.name;
        }
    }
    std::remove(path.c_str());
    mdSetCompilerCreator(MdCompVarExt, saved);
}

TEST_F(TavolinTest, AcxImportNeedsTheVariablesSection)
{
    // A good file for a source that has its header only: the variables step
    // has nothing to compile, so the import has no tables to merge into, and
    // says which section is missing.
    hostWithCfghead();
    using namespace acxtest;
    const Bytes head = compound(2147, {str(2121, "5A3C2E108B414C7D9E2F1A6B3C4D5E60"), u8(2122, 2), u8(2123, 1)});
    const std::string acxPath = std::string(TV_BINARY_DIR) + "/com_tavolin_novars.acx";
    const std::string srcPath = std::string(TV_BINARY_DIR) + "/com_tavolin_novars.tos";
    ASSERT_TRUE(writeFile(acxPath, file({compound(0, {compound(2144, {head, compound(2107, {u32(2132, 2)})})})})));
    std::ofstream(srcPath) << "TO_HEADER\n  TOTYPE := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\n"
                              "  DATE := DT#2004-01-01;\nEND_TO_HEADER\n";
    LONG kind = -1, status = -1;
    const std::u16string acx = tvp::utf8ToWide(acxPath);
    ASSERT_EQ(open(srcPath, &kind, &status, acx.c_str()), S_OK);
    EXPECT_EQ(status, 0);
    m_display.shown.clear();
    EXPECT_EQ(m_obj->compileVariables(nullptr, &status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE11001Bu);
    EXPECT_EQ(m_display.shown, std::vector<std::string>{"Sektion Variablen konnte nicht geöffnet werden"});
    std::remove(acxPath.c_str());
    std::remove(srcPath.c_str());
}

