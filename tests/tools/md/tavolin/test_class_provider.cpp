// The system-variable and system-function methods through the stand-in
// class provider (tools/tvclsprv), which logs what it is given: how the
// component is reached, the temporary file, the descriptor entries, the
// option text, "rtcompattptypes", the unitinterf rewrite, and that nothing
// stays open or behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/fs/FsDsc.h"
#include "platform/comserver.h"
#include "platform/library.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdClassProviderSteps.h"

using namespace fronttest;

namespace {

std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

// Every test runs with its own temporary directory and log, the provider
// library beside the module and no knobs.
class ClassProvider : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/tvclsprvXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", m_dir.c_str(), 1);
        m_log = m_dir + "/../" + (std::string(tmpl).substr(5)) + ".log";
        ::setenv("TVCLSPRV_LOG", m_log.c_str(), 1);
        for (const char* k : {"TVCLSPRV_HR", "TVCLSPRV_STATUS", "TVCLSPRV_TEXT", "TVCLSPRV_SECTION",
                              "TVCLSPRV_SECTION_TEXT", "TVCLSPRV_SECTION_FILE"})
            ::unsetenv(k);
        mdSetClassProviderDirectory(TVCLSPRV_DIR);
    }
    void TearDown() override
    {
        mdSetClassProviderDirectory("");
        for (const std::string& f : filesIn(m_dir)) ::unlink((m_dir + "/" + f).c_str());
        ::rmdir(m_dir.c_str());
        ::unlink(m_log.c_str());
        ::unsetenv("TVCLSPRV_LOG");
        if (m_oldTmp.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", m_oldTmp.c_str(), 1);
    }

    // The log lines as (name, value) in order.
    std::vector<std::pair<std::string, std::string>> log() const
    {
        std::vector<std::pair<std::string, std::string>> lines;
        std::istringstream in(readFile(m_log));
        std::string line;
        while (std::getline(in, line)) {
            const size_t sp = line.find(' ');
            lines.emplace_back(line.substr(0, sp), sp == std::string::npos ? "" : line.substr(sp + 1));
        }
        return lines;
    }
    std::string logged(const std::string& name) const
    {
        for (const auto& l : log())
            if (l.first == name) return l.second;
        return "<none>";
    }
    std::vector<std::string> loggedAll(const std::string& name) const
    {
        std::vector<std::string> v;
        for (const auto& l : log())
            if (l.first == name) v.push_back(l.second);
        return v;
    }
    // The files of the temporary directory.
    std::vector<std::string> tempFiles() const { return filesIn(m_dir); }

    static std::string quotedBytes(const std::string& bytes)
    {
        std::string out = "\"";
        for (unsigned char c : bytes) {
            if (c == '\r') out += "\\r";
            else if (c == '\n') out += "\\n";
            else if (c == '"' || c == '\\') out += std::string("\\") + char(c);
            else out += char(c);
        }
        return out + "\"";
    }

    std::string m_dir;
    std::string m_log;
    std::string m_oldTmp;
};

std::string toSource()
{
    return headerOf(1) + "@DESCRIPTION @TO_TYPE\nT\nVAR_GLOBAL\n  x : INT;\nEND_VAR\n@END_DESCRIPTION\n";
}

std::string packageSource(int kind = 4)
{
    return headerOf(kind) +
           "@DESCRIPTION @TO_TYPE\nP\n@END_DESCRIPTION\nIMPLEMENTATION\nFUNCTION f : INT\nEND_FUNCTION\n"
           "END_IMPLEMENTATION\n";
}

HRESULT sysVars(OpenedSource& src, bool flag, int32_t& status, String* text = nullptr)
{
    MdFrontContext ctx = src.context();
    ctx.flag = flag;
    ctx.classProviderText = text;
    return mdCompileSysVars(ctx, 11, 22, status);
}

struct DscLists {
    std::vector<std::string> first, second;
};

HRESULT sysFunctions(OpenedSource& src, bool flag, const DscLists& lists, int32_t& status, uint16_t firstId = 0)
{
    MdFrontContext ctx = src.context();
    ctx.flag = flag;
    ctx.firstId = firstId;
    ctx.typeId = src.typeId;
    std::vector<OwnedBstr*> owned;
    std::vector<BSTR> first, second;
    for (const auto& p : lists.first) first.push_back(SysAllocString(tvp::utf8ToWide(p).c_str()));
    for (const auto& p : lists.second) second.push_back(SysAllocString(tvp::utf8ToWide(p).c_str()));
    const HRESULT hr = mdCompileSysFunctions(ctx, 5, LONG(first.size()), first.data(), LONG(second.size()),
                                             second.data(), 6, 7, status);
    for (BSTR b : first) SysFreeString(b);
    for (BSTR b : second) SysFreeString(b);
    return hr;
}

// A descriptor file of the class with the given type id in its header.
template <class Dsc>
std::string makeDescriptor(const std::string& dir, const char* name, const RTTypeID& type)
{
    const std::string path = dir + "/" + name;
    Dsc dsc;
    EXPECT_EQ(dsc.createFile(path.c_str()), FS_OK);
    FsDscHead head;
    head.typeId1 = type;
    EXPECT_EQ(dsc.write_head(head), FS_OK);
    EXPECT_EQ(dsc.CloseFile(), FS_OK);
    return path;
}

const GUID kGuidA = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x01}};
const GUID kGuidB = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x02}};
const GUID kBaseDevice = {0x0B77C3C0, 0x79ED, 0x11D5, {0xAE, 0x65, 0x00, 0x40, 0xC7, 0x99, 0x8E, 0x91}};

}  // namespace

TEST_F(ClassProvider, WithoutTheComponentBothMethodsFail)
{
    MessageCapture messages;
    mdSetClassProviderDirectory(m_dir + "/nowhere");
    OpenedSource to(toSource());
    OpenedSource pkg(packageSource());
    for (bool flag : {false, true}) {
        int32_t status = 0;
        messages.clear();
        EXPECT_EQ(sysVars(to, flag, status), E_FAIL);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(sysFunctions(pkg, flag, DscLists(), status), E_FAIL);
        EXPECT_EQ(status, 0);
        ASSERT_EQ(messages.ids(), (std::vector<uint32_t>{0, 0}));
        EXPECT_EQ(messages.records[0].text, "Interner Fehler");
    }
    EXPECT_TRUE(log().empty());
}

TEST_F(ClassProvider, SystemVariablesGetTheTemporaryFileThatIsGoneAfterwards)
{
    MessageCapture messages;
    OpenedSource to(toSource());
    ASSERT_EQ(to.kind, 1);
    const std::string stream = sectionText(to.work, "sysvar_tmp");
    ASSERT_NE(stream.find("VAR_GLOBAL"), std::string::npos);
    ::setenv("TVCLSPRV_TEXT", "compiled 1", 1);
    ::setenv("TVCLSPRV_STATUS", "0xBE110042", 1);
    int32_t status = -1;
    String text;
    const std::vector<std::string> before = tempFiles();
    EXPECT_EQ(sysVars(to, false, status, &text), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE110042u);
    EXPECT_EQ(std::string(text.c_str()), "compiled 1");
    EXPECT_EQ(logged("call"), "compileSysVars");
    EXPECT_EQ(logged("tempFile"), quotedBytes(stream));
    EXPECT_EQ(logged("sourcePath"), "\"" + std::string(to.context().sourcePath.c_str()) + "\"");
    EXPECT_EQ(logged("a"), "11");
    EXPECT_EQ(logged("b"), "22");
    EXPECT_EQ(logged("text"), "\"\"");
    EXPECT_EQ(logged("storage"), "set");
    EXPECT_EQ(tempFiles(), before);
    EXPECT_TRUE(to.idle());
    EXPECT_TRUE(messages.records.empty());

    // A failing component: its HRESULT, and still no file left behind.
    ::setenv("TVCLSPRV_HR", "0x80004005", 1);
    EXPECT_EQ(sysVars(to, false, status, &text), E_FAIL);
    EXPECT_EQ(tempFiles(), before);
    EXPECT_TRUE(to.idle());
}

TEST_F(ClassProvider, TheComponentWritesIntoTheWorkingFile)
{
    OpenedSource to(toSource());
    ::setenv("TVCLSPRV_SECTION", "sysvarout", 1);
    ::setenv("TVCLSPRV_SECTION_TEXT", "abc", 1);
    int32_t status = -1;
    EXPECT_EQ(sysVars(to, false, status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sectionText(to.work, "sysvarout"), "abc");

    // From a file, in place of the text: larger than the environment can
    // carry (a table of thousands of system variables).
    std::string big;
    for (int i = 0; big.size() < (200u << 10); ++i) big += std::to_string(i) + " grown LREAL\r\n";
    const std::string file = m_dir + "/section.txt";
    { std::ofstream(file, std::ios::binary) << big; }
    ::setenv("TVCLSPRV_SECTION_FILE", file.c_str(), 1);
    EXPECT_EQ(sysVars(to, false, status), S_OK);
    EXPECT_EQ(sectionText(to.work, "sysvarout"), big);

    // A file that cannot be read writes nothing (the section keeps what it
    // had), fails the call, and names the file and the reason on standard
    // error and in the log: a missing file, a directory.
    ::setenv("TVCLSPRV_SECTION_TEXT", "xyz", 1);
    const struct {
        std::string file;
        const char* why;
    } unreadable[] = {{m_dir + "/missing.txt", "no such file"}, {m_dir, "a directory"}};
    for (const auto& c : unreadable) {
        ::setenv("TVCLSPRV_SECTION_FILE", c.file.c_str(), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(sysVars(to, false, status), E_FAIL) << c.file;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "tvclsprv: cannot read the section file " + c.file + " (TVCLSPRV_SECTION_FILE): " + c.why + "\n");
        EXPECT_EQ(sectionText(to.work, "sysvarout"), big);
        ASSERT_FALSE(loggedAll("wrote").empty());
        EXPECT_NE(loggedAll("wrote").back().find(std::string("failed (cannot read ") + c.file + ": " + c.why),
                  std::string::npos);
    }
    ::unlink(file.c_str());
}

TEST_F(ClassProvider, RegistrationReachesTheComponentByClassId)
{
    const std::string settings = m_dir + "/../" + std::string(m_dir).substr(5) + ".reg";
    ::setenv("TAVOLIN_SETTINGS", settings.c_str(), 1);
    HMODULE lib = LoadLibraryA((std::string(TVCLSPRV_DIR) + "/" + tvp::libraryFileName("tvclsprv")).c_str());
    ASSERT_NE(lib, nullptr);
    auto reg = reinterpret_cast<PFN_DllRegisterServer>(GetProcAddress(lib, "DllRegisterServer"));
    auto unreg = reinterpret_cast<PFN_DllUnregisterServer>(GetProcAddress(lib, "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);
    ASSERT_EQ(reg(), S_OK);
    tvp::settingsReload();
    mdSetClassProviderDirectory(m_dir + "/nowhere");  // not by the directory
    {
        OpenedSource to(toSource());
        int32_t status = -1;
        EXPECT_EQ(sysVars(to, true, status), S_OK);
        EXPECT_EQ(logged("call"), "compileSysVars");
    }
    EXPECT_EQ(unreg(), S_OK);
    tvp::settingsReload();
    ::unlink(settings.c_str());
    ::unsetenv("TAVOLIN_SETTINGS");
    FreeLibrary(lib);
}

TEST_F(ClassProvider, SystemFunctionsGetTheDescriptorsAndTheOption)
{
    MessageCapture messages;
    OpenedSource pkg(packageSource());
    ASSERT_EQ(pkg.kind, 4);
    ASSERT_NE(pkg.work.getDir("code", FS_MODE_CREATE), nullptr);
    pkg.work.CloseDir("code");
    // A version-1 name-exports section without entries.
    ASSERT_TRUE(putSection(pkg.work, "unitinterf", "0           17 Name_Exports_V0.5 "));
    ASSERT_TRUE(putSection(pkg.work, "rtcompattptypes", "1 " + std::string(fsRTTypeIDText(RTTypeID()).c_str())));
    const std::vector<std::string> before = tempFiles();

    const std::string dir = m_dir + "/../" + std::string(m_dir).substr(5) + ".dsc";
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    const RTTypeID typeA(kGuidA, 2, 0), typeB(kGuidB, 3, 1);
    DscLists lists;
    lists.first = {makeDescriptor<FsTPDscFile>(dir, "p1", typeA),
                   makeDescriptor<FsDvDscFile>(dir, "d1", RTTypeID(kBaseDevice, 1, 0)),
                   makeDescriptor<FsDvDscFile>(dir, "d2", RTTypeID(kBaseDevice, 1, 1))};
    lists.second = {makeDescriptor<FsTPDscFile>(dir, "p2", typeB), makeDescriptor<FsDvDscFile>(dir, "d3", typeA)};

    int32_t status = -1;
    EXPECT_EQ(sysFunctions(pkg, false, lists, status, 3), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(logged("call"), "compileSysFunctions");
    EXPECT_EQ(logged("option"), "\"\"");
    EXPECT_EQ(logged("count"), "5");
    EXPECT_EQ(loggedAll("entry"), (std::vector<std::string>{"0 flag=1 storage=opens", "1 flag=0 storage=opens",
                                                            "2 flag=1 storage=opens", "3 flag=0 storage=opens",
                                                            "4 flag=0 storage=opens"}));
    EXPECT_EQ(logged("a"), "5");
    EXPECT_EQ(logged("c"), "6");
    EXPECT_EQ(logged("d"), "7");
    EXPECT_EQ(logged("typeId"), "{11111111-2222-3333-4444-555555555555} 1 0");
    EXPECT_EQ(logged("tempFile"), quotedBytes(sectionText(pkg.work, "sysfkt_tmp")));
    // The version-1 header reached the component as version 2.
    EXPECT_EQ(logged("unitinterf"), "\"0           17 Name_Exports_V3.1 \"");
    EXPECT_EQ(sectionText(pkg.work, "rtcompattptypes"), "2 " + std::string(fsRTTypeIDText(typeB).c_str()) + " " +
                                                            std::string(fsRTTypeIDText(typeA).c_str()) + " ");
    EXPECT_TRUE(messages.records.empty());
    EXPECT_EQ(tempFiles(), before);
    EXPECT_TRUE(pkg.idle());
    // Every descriptor opens again.
    for (const auto& p : lists.first) {
        FsDvDscFile dv;
        FsTPDscFile tp;
        EXPECT_TRUE(tp.openFile(p.c_str(), FS_OPEN_WRITE) == FS_OK || dv.openExistFile(p.c_str(), FS_OPEN_WRITE) == FS_OK)
            << p;
    }

    // A first id of 4 adds the reference-call option.
    ::unlink(m_log.c_str());
    EXPECT_EQ(sysFunctions(pkg, false, DscLists(), status, 4), S_OK);
    EXPECT_EQ(logged("option"), "\" -C RefCall \"");
    EXPECT_EQ(sectionText(pkg.work, "rtcompattptypes"), "0 ");

    // A path that is no descriptor: message 100 with it, nothing called.
    ::unlink(m_log.c_str());
    messages.clear();
    DscLists missing;
    missing.first = {lists.first[0]};
    missing.second = {dir + "/none"};
    EXPECT_EQ(sysFunctions(pkg, false, missing, status), S_OK);
    EXPECT_EQ(uint32_t(status), 0xBE11FFFFu);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{100});
    EXPECT_NE(messages.records.at(0).text.find(dir + "/none"), std::string::npos);
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(tempFiles(), before);
    EXPECT_TRUE(pkg.idle());
    FsTPDscFile again;
    EXPECT_EQ(again.openFile(lists.first[0].c_str(), FS_OPEN_WRITE), FS_OK);
    again.CloseFile();

    for (const auto& p : lists.first) ::unlink(p.c_str());
    for (const auto& p : lists.second) ::unlink(p.c_str());
    ::rmdir(dir.c_str());
}
