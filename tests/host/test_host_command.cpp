// The tavolin command as a user runs it: usage, version, registration and a
// compile of the example source into a new and into an existing target,
// with and without an ACX file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <set>
#include <string>

#include "co/GlobTools.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tests/acx/AcxTestWriter.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
const std::string kAxis = std::string(TV_SOURCE_DIR) + "/examples/axis.tos";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

struct Result {
    int exit = -1;
    std::string out, err;
};

// Runs the command in a scratch directory with extra environment
// assignments ("NAME=value " prefixes).
class HostCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(exists(kTavolin)) << "build the tavolin command first";
        m_dir = createTempDirectory().c_str();
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override { removeDirectoryTree(m_dir.c_str()); }

    Result run(const std::string& args, const std::string& env = std::string())
    {
        const std::string out = m_dir + "/stdout", err = m_dir + "/stderr";
        const std::string cmd = "cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS " + env + " '" + kTavolin + "' " +
                                args + " >'" + out + "' 2>'" + err + "'";
        int status = std::system(cmd.c_str());
        Result r;
        r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = readFile(out);
        r.err = readFile(err);
        return r;
    }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
};

// The names of the elements of a compound file in name order, each with a
// blank (a sub-storage with "/ ").
std::string streamsOf(const std::string& file)
{
    IStorage* stg = nullptr;
    if (FAILED(StgOpenStorage(tvp::utf8ToWide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr,
                              0, &stg)))
        return "<not a compound file>";
    std::set<std::string> names;
    IEnumSTATSTG* e = nullptr;
    if (SUCCEEDED(stg->EnumElements(0, nullptr, 0, &e))) {
        STATSTG st;
        ULONG got = 0;
        while (e->Next(1, &st, &got) == S_OK && got == 1) {
            names.insert(tvp::wideToUtf8(st.pwcsName, tvp::u16len(st.pwcsName)) +
                         (st.type == STGTY_STREAM ? " " : "/ "));
            CoTaskMemFree(st.pwcsName);
        }
        e->Release();
    }
    stg->Release();
    std::string list;
    for (const std::string& n : names) list += n;
    return list;
}

std::string streamText(const std::string& file, const char16_t* name)
{
    IStorage* stg = nullptr;
    if (FAILED(StgOpenStorage(tvp::utf8ToWide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr,
                              0, &stg)))
        return std::string();
    IStream* s = nullptr;
    std::string text;
    if (SUCCEEDED(stg->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
        char buf[4096];
        ULONG got = 0;
        while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got > 0) text.append(buf, got);
        s->Release();
    }
    stg->Release();
    return text;
}

// Every step line says ok or was skipped exactly when the exit status is 0.
void expectExitMatchesSteps(const Result& r)
{
    std::istringstream lines(r.out);
    std::string line;
    bool allOk = true;
    while (std::getline(lines, line)) {
        const bool ok = line.find(": ok") != std::string::npos || line.rfind("skipped: ", 0) == 0;
        allOk = allOk && ok;
    }
    EXPECT_EQ(r.exit, allOk ? 0 : 1) << r.out;
}

}  // namespace

TEST_F(HostCommand, UsageVersionAndHelp)
{
    Result r = run("--version");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "VRX-Tavolin 0.1\n");
    EXPECT_EQ(r.err, "");

    r = run("--help");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out.rfind("usage: tavolin compile SOURCE -o TARGET", 0), 0u);

    for (const char* wrong : {"", "frobnicate", "compile", "compile a.tos", "compile -o t.dsc",
                              "compile a.tos b.tos -o t.dsc", "compile a.tos -o t.dsc --mask",
                              "compile a.tos -o t.dsc --first-id 65536", "compile a.tos -o t.dsc --mask 12x",
                              "compile a.tos -o t.dsc --bogus", "--version extra"}) {
        r = run(wrong);
        EXPECT_EQ(r.exit, 2) << wrong;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << wrong;
        EXPECT_EQ(r.out, "") << wrong;
    }
}

TEST_F(HostCommand, TheLibraryCanBeNamed)
{
    Result r = run("--version", "TAVOLIN_LIBRARY=/nonexistent/libtavolin.so");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("cannot load /nonexistent/libtavolin.so"), std::string::npos) << r.err;
}

TEST_F(HostCommand, RegisterAndUnregister)
{
    EXPECT_EQ(run("register").exit, 1);  // no settings file named

    const std::string settings = path("settings.reg");
    Result r = run("register", "TAVOLIN_SETTINGS='" + settings + "'");
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::string text = readFile(settings);
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CLSID\\{B50A2AE2-3DB3-11d3-8F54-00105A2DC995}\\InprocServer32]\n"
                        "@=\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("libtavolin.so\"\n\"ThreadingModel\"=\"Apartment\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CTavolin.CTavolin\\CurVer]\n@=\"CTavolin.CTavolin.1\"\n"),
              std::string::npos)
        << text;

    r = run("unregister", "TAVOLIN_SETTINGS='" + settings + "'");
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::string after = readFile(settings);
    EXPECT_EQ(after.find("CTavolin"), std::string::npos) << after;
    EXPECT_NE(after.find("[HKEY_CLASSES_ROOT\\CLSID]"), std::string::npos) << after;
}

TEST_F(HostCommand, CompileIntoANewTarget)
{
    const std::string target = path("axis.dsc");
    const std::string rc = path("axis.rc");
    Result r = run("compile '" + kAxis + "' -o '" + target + "' --rc '" + rc + "' --rc-text 'Achse 1'");
    EXPECT_EQ(r.out.rfind("openSource: ok, object kind 1\n", 0), 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("skipped: compileSysVars (no class provider installed)\n"), std::string::npos);
    EXPECT_NE(r.out.find("copySections: ok, 20 sections of the target\n"), std::string::npos) << r.out;
    for (const char* method : {"compileComments", "compileVariables", "compileConnections", "compileAlarms",
                               "compileBootFunctions", "compileImplementations"})
        EXPECT_NE(r.out.find(method), std::string::npos) << method;
    EXPECT_EQ(r.out.find("compileSupportedTOs"), std::string::npos);
    expectExitMatchesSteps(r);

    // A new target is a technology-object descriptor with the header the
    // source gave.
    EXPECT_EQ(streamsOf(target),
              "almcfg almstr bfinterf bfsymb bfvarcomment bitfield boot cfghead connectors const enums errmsg "
              "header symb unitinterf units varcomment varcont varext varval ");
    const std::string header = streamText(target, u"header");
    EXPECT_EQ(header.rfind("3\r\n{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 \r\n0 \r\n"
                           "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 1 \r\n",
                           0),
              0u)
        << header;

    // The string table of the opening, appended once (not by the kind probe).
    const std::string table = "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0xfffe   \"Achse 1\"\r\nEND\r\n\r\n";
    EXPECT_EQ(readFile(rc).substr(0, table.size()), table);
    EXPECT_EQ(readFile(rc).find(table, 1), std::string::npos);
}

TEST_F(HostCommand, CompileIntoAnExistingTargetCopiesOnlyItsSections)
{
    const std::string target = path("mine.dsc");
    {
        IStorage* stg = nullptr;
        ASSERT_EQ(StgCreateDocfile(tvp::utf8ToWide(target).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                   0, &stg),
                  S_OK);
        IStream* s = nullptr;
        ASSERT_EQ(stg->CreateStream(u"header", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s), S_OK);
        const std::string old = "old content " + std::string(4000, '.');
        ULONG n = 0;
        s->Write(old.data(), ULONG(old.size()), &n);
        s->Release();
        ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
        stg->Release();
    }
    Result r = run("compile '" + kAxis + "' -o '" + target + "'");
    EXPECT_NE(r.out.find("copySections: ok, 1 sections of the target\n"), std::string::npos) << r.out << r.err;
    expectExitMatchesSteps(r);
    EXPECT_EQ(streamsOf(target), "header ");
    const std::string header = streamText(target, u"header");
    EXPECT_EQ(header.rfind("3\r\n{183021FF", 0), 0u);
    EXPECT_EQ(header.find("old content"), std::string::npos);
    EXPECT_LT(header.size(), 1000u);
}

TEST_F(HostCommand, MissingSourceAndUnusableTarget)
{
    // A source that cannot be read leaves no target behind.
    Result r = run("compile '" + path("none.tos") + "' -o '" + path("t.dsc") + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out,
              "openSource: status 0xBE11001B (the source cannot be read)\n"
              "no object kind: the section methods are not run\n"
              "copySections: status 0xBE110015 (no target storage: the source was not opened into a working file), "
              "0 sections of the target\n");
    EXPECT_EQ(r.err, path("none.tos") + ": Fehler 100 File " + path("none.tos") +
                         " konnte nicht geöffnet werden\n"
                         "tavolin: " + path("t.dsc") + " not written: the source gave no object kind\n");
    EXPECT_FALSE(exists(path("t.dsc")));

    std::ofstream(path("plain.txt")) << "not a compound file";
    r = run("compile '" + kAxis + "' -o '" + path("plain.txt") + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(path("plain.txt")), "not a compound file");

    r = run("compile '" + kAxis + "' -o '" + path("no/such/dir.dsc") + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos) << r.err;
}

TEST_F(HostCommand, StatusLinesSayWhatWentWrong)
{
    // Errors in the header: no object kind, so no target is kept.
    std::ofstream(path("broken.tos")) << "TO_HEADER\nDATE := DT#1;\nEND_TO_HEADER\n";
    Result r = run("compile broken.tos -o broken.dsc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out,
              "openSource: status 0xBE11000B (the source has errors)\n"
              "no object kind: the section methods are not run\n"
              "copySections: ok, 0 sections of the target\n");
    EXPECT_EQ(r.err.rfind("broken.tos(2) : Fehler 202 Parser Fehler: parse error\n", 0), 0u) << r.err;
    EXPECT_FALSE(exists(path("broken.dsc")));

    // What the library prints on standard output stands on a line of its
    // own, once (the kind probe of a new target prints nothing).
    std::ofstream(path("date.tos")) << "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                                       "DATE := DT#2004";
    r = run("compile date.tos -o date.dsc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out,
              "Ungueltiges Dateiende \n"
              "openSource: status 0xBE11000B (the source has errors)\n"
              "no object kind: the section methods are not run\n"
              "copySections: ok, 0 sections of the target\n");

    // Errors after a good header: the target keeps the header.
    std::ofstream(path("late.tos")) << "DV_TP_HEADER DV_TPTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                                       "DATE := DT#1; END_DV_TP_HEADER\nBITFIELDS END_BITFIELDS\n";
    r = run("compile late.tos -o late.dsc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out.rfind("openSource: status 0xBE11000B (the source has errors), object kind 5\n", 0), 0u) << r.out;
    EXPECT_TRUE(exists(path("late.dsc")));

    // A section method whose compiler the library lacks says so.
    std::ofstream(path("con.tos")) << "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                                      "DATE := DT#1; END_TO_HEADER\nINTERFACE END_INTERFACE\n"
                                      "VARCOMMENT $1[16#1] : \"x\" END_VARCOMMENT\n";
    r = run("compile con.tos -o con.dsc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("compileConnections: ok\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("not compiled: compileComments (its compiler is not part of this library)\n"),
              std::string::npos)
        << r.out;

    // An ACX file that is not read.
    std::ofstream(path("x.acx")) << "no ACX";
    r = run("compile '" + kAxis + "' -o axis.dsc --acx x.acx");
    EXPECT_EQ(r.out.rfind("openSource: status 0xBE11FFFF (the ACX file was not read or does not fit the source), "
                          "object kind 1\n",
                          0),
              0u)
        << r.out;
}

TEST_F(HostCommand, AcxFileIsReadBeforeTheHeaderStandIn)
{
    using namespace acxtest;
    const Bytes good = file({compound(0, {compound(2144, {str(67, "Achse"), compound(2147, {u8(2122, 2)})})})});
    Bytes cut = good;
    cut.resize(cut.size() - 3);
    ASSERT_TRUE(writeFile(path("good.acx"), good));
    ASSERT_TRUE(writeFile(path("cut.acx"), cut));
    ASSERT_TRUE(writeFile(path("magic.acx"), Bytes{'a', 'c', 'x', 0, 0, 2, 0, 0}));
    struct {
        const char* acx;
        const char* message;  // on standard error, or null for none from the reader
    } const cases[] = {
        {"good.acx", nullptr},
        {"missing.acx", "Fehler 1300 ACX Fatal Error 1\n"},
        {"cut.acx", "Fehler 1300 ACX Fatal Error 2\n"},
        {"magic.acx", "Fehler 1300 ACX Fatal Error 11\n"},
    };
    for (const auto& c : cases) {
        const std::string target = std::string(c.acx) + ".dsc";
        Result r = run("compile '" + kAxis + "' -o " + target + " --acx " + c.acx);
        // Read or not, the header check that follows is not built.
        EXPECT_EQ(r.out.rfind("openSource: status 0xBE11FFFF (the ACX file was not read or does not fit the source), "
                              "object kind 1\n",
                              0),
                  0u)
            << c.acx << r.out;
        if (c.message)
            EXPECT_NE(r.err.find(c.message), std::string::npos) << c.acx << r.err;
        else
            EXPECT_EQ(r.err.find("ACX"), std::string::npos) << r.err;
        // The target comes out whole.
        EXPECT_NE(streamsOf(path(target)).find("header "), std::string::npos) << c.acx;
    }
}
