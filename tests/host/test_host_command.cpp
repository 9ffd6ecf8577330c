// The tavolin command as a user runs it: usage, version, registration and a
// compile of the example source into a new and into an existing target,
// with and without an ACX file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "co/GlobTools.h"
#include "host/compile_driver.h"
#include "host/host_display.h"
#include "host/source_file.h"
#include "host/status_words.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tests/acx/AcxTestWriter.h"
#include "tests/host/HostFiles.h"
#include "tests/host/HostSysVars.h"
#include "tests/host/m4/m4_expand.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
const std::string kAxis = std::string(TV_SOURCE_DIR) + "/examples/axis.tos";
// The system variables of axis.tos, through the stand-in class provider.
const hosttest::SysVars kAxisVars = hosttest::exampleSysVars("axis.tos");

using hosttest::exists;
using hosttest::readFile;

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

    // A compile without --flag gets "--flag 0": the examples' boot functions
    // need the name classifier, which is the stand-in beside the command
    // (and the class-provider steps then run through the stand-in beside
    // the library).
    Result run(std::string args, const std::string& env = std::string())
    {
        if (args.rfind("compile ", 0) == 0 && args.find("--flag") == std::string::npos)
            args.insert(8, "--flag 0 ");
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

// The kind of a source is taken from its first header and confirmed by the
// opening, without reading the whole source first: a compile runs once (a
// broken header gives no kind to assume), and twice only when a further
// header gives another kind (the bytes of that case are the main road's
// golden).
// Bytes of every value with a header's begin or end word after every
// thousand of them.
std::string garbageWithHeaderWords()
{
    const char* const words[] = {" TO_HEADER ", " END_TO_HEADER ", " DV_TP_HEADER ", " END_TP_HEADER "};
    std::string s;
    for (int i = 0; i < 64; ++i) {
        for (int b = 0; b < 1000; ++b) s += char((b * 37 + i) & 0xFF);
        s += words[i % 4];
    }
    return s;
}

TEST_F(HostCommand, TheFirstHeaderGivesTheKindUnlessAFurtherOneDiffers)
{
    HostLibrary lib;
    ASSERT_TRUE(lib.load());
    const std::string motion = readFile(std::string(TV_SOURCE_DIR) + "/examples/motion.tps");
    const std::string tpHeader = motion.substr(0, motion.find("END_TP_HEADER") + 14);
    const struct {
        const char* name;
        std::string text;
        int runs;
    } cases[] = {
        {"one.tos", readFile(kAxis), 1},
        {"broken.tos", "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\nDATE := DT#2004", 1},
        {"two.tos", readFile(kAxis) + tpHeader, 2},
        // No kind from the first header is assumed too: garbage among header
        // words is opened once, and a later header's kind takes a careful run.
        {"garbage.tos", garbageWithHeaderWords(), 1},
        {"late.tos", "TO_HEADER ?? END_TO_HEADER\n" + readFile(kAxis), 2},
    };
    for (const auto& c : cases) {
        std::ofstream(path(c.name)) << c.text;
        HostCompileOptions o;
        o.source = path(c.name);
        o.target = path(std::string(c.name) + ".dsc");
        o.rc = o.target + ".rc";
        o.impl = o.target;
        o.flag = 0;
        int runs = 0;
        hostCompile(
            lib, o, [](const char* mark, void* n) { *static_cast<int*>(n) += std::string(mark) == "target"; }, &runs);
        EXPECT_EQ(runs, c.runs) << c.name;
    }
}

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
    // It names the signals that clean up.
    for (const char* sig : {"SIGHUP", "SIGINT", "SIGQUIT", "SIGTERM", "SIGPIPE", "SIGALRM", "SIGUSR1", "SIGUSR2",
                            "SIGXCPU", "SIGXFSZ"})
        EXPECT_NE(r.out.find(sig), std::string::npos) << sig;
    // It says which SOURCE files are taken, and the largest source.
    EXPECT_NE(r.out.find("SOURCE is a regular file, or a named pipe"), std::string::npos);
    // ... and that a long run of stray bytes is one message whatever the limit.
    EXPECT_NE(r.out.find("a run of stray bytes past its first 100 is one message"), std::string::npos);
    // ... and that a name a technology object's macro files write that m4
    // would read otherwise is refused, and only there.
    EXPECT_NE(r.out.find("m4 would read otherwise (a comma"), std::string::npos);
    EXPECT_NE(r.out.find("A package's\n      and a device's macro files hold none of these names."), std::string::npos);
    EXPECT_NE(r.out.find("largest source is 256 MiB (" + std::to_string(kHostLargestSource) + " bytes)"),
              std::string::npos);

    // A --rc-text that reads back as 65 536 characters (each doubled quote
    // one) has no string resource to hold it.
    const std::string rcTextTooLong = "compile a.tos -o t.dsc --rc-text '" + std::string(10, '"') +
                                      std::string(65526, 'a') + "'";
    for (const char* wrong : {"", "frobnicate", "compile", "compile a.tos", "compile -o t.dsc",
                              "compile a.tos b.tos -o t.dsc", "compile a.tos -o t.dsc --mask",
                              "compile a.tos -o t.dsc --first-id 65536", "compile a.tos -o t.dsc --mask 12x",
                              "compile a.tos -o t.dsc --bogus", "--version extra",
                              // A file option that names nothing, as -o '' does.
                              "compile a.tos -o ''", "compile a.tos -o t.dsc --acx ''",
                              "compile a.tos -o t.dsc --rc ''", "compile a.tos -o t.dsc --impl ''",
                              // Last: its own line is checked below.
                              rcTextTooLong.c_str()}) {
        r = run(wrong);
        EXPECT_EQ(r.exit, 2) << wrong;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << wrong;
        EXPECT_EQ(r.out, "") << wrong;
    }
    EXPECT_EQ(r.err.rfind("tavolin: --rc-text: the text reads back as 65536 characters; a string resource holds at "
                          "most 65535\n",
                          0),
              0u)
        << r.err.substr(0, 300);
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
    Result r = run("compile '" + kAxis + "' -o '" + target + "' --rc '" + rc + "' --rc-text 'Achse 1'" + kAxisVars.flag,
                   kAxisVars.env);
    EXPECT_EQ(r.out.rfind("openSource: ok, object kind 1\n", 0), 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("compileSysVars: ok, through the class provider "), std::string::npos) << r.out;
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

TEST_F(HostCommand, AFailedCompileLeavesAnExistingTargetAsItWas)
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
    const std::string before = readFile(target);
    Result r = run("compile '" + kAxis + "' -o '" + target + "'");
    EXPECT_NE(r.out.find("copySections: ok, 1 sections of the target\n"), std::string::npos) << r.out << r.err;
    expectExitMatchesSteps(r);
    // The comment sections this target lacks fail: it stays as it was, and
    // the macro files the boot functions' line names are not written.
    EXPECT_NE(r.out.find("compileComments: status"), std::string::npos) << r.out;
    const std::string base = path("mine");
    EXPECT_NE(r.err.find("tavolin: " + target + " left as it was: a step did not succeed; " + base + ".rc, " + base +
                         ".m4h and " + base + ".m4c not written\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(base + ".m4h"));
    EXPECT_EQ(readFile(target), before);
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
                         "tavolin: " + path("t.dsc") + " not written: cannot open the source " + path("none.tos") +
                         ": no such file; " + path("t.rc") + ", " + path("t.m4h") + " and " + path("t.m4c") +
                         " not written\n");
    EXPECT_FALSE(exists(path("t.dsc")));

    // The pre-compiler says that it cannot open SOURCE (message 100), the
    // command why, into a new target and into an existing one.
    ::mkdir(path("dir.tos").c_str(), 0755);
    std::ofstream(path("locked.tos")) << "TO_HEADER\nEND_TO_HEADER\n";
    ::chmod(path("locked.tos").c_str(), 0);
    {
        Result made = run("compile '" + kAxis + "' -o '" + path("old.dsc") + "' --rc '" + path("old.rc") + "'" +
                          kAxisVars.flag, kAxisVars.env);
        ASSERT_EQ(made.exit, 0) << made.out << made.err;
    }
    const std::string old = readFile(path("old.dsc")), oldRc = readFile(path("old.rc"));
    const bool root = ::geteuid() == 0;  // reads a file without permission
    const struct {
        const char* source;
        const char* target;
        const char* reason;
    } unopened[] = {
        {"none.tos", "old.dsc", "no such file"},     {"dir.tos", "new.dsc", "a directory"},
        {"dir.tos", "old.dsc", "a directory"},       {"locked.tos", "new.dsc", "no permission"},
        {"locked.tos", "old.dsc", "no permission"},
    };
    for (const auto& c : unopened) {
        if (root && std::string(c.source) == "locked.tos") continue;
        const bool isNew = std::string(c.target) == "new.dsc";
        r = run("compile " + std::string(c.source) + " -o " + c.target + " --rc old.rc");
        EXPECT_EQ(r.exit, 1) << c.source;
        EXPECT_EQ(r.out.rfind("openSource: status 0xBE11001B (the source cannot be read)\n", 0), 0u) << r.out;
        EXPECT_NE(r.err.find(std::string("tavolin: ") + c.target + (isNew ? " not written" : " left as it was") +
                             ": cannot open the source " + c.source + ": " + c.reason + "; "),
                  std::string::npos)
            << c.source << " " << c.target << ": " << r.err;
        EXPECT_FALSE(exists(path("new.dsc")));
        EXPECT_EQ(readFile(path("old.dsc")), old);
        EXPECT_EQ(readFile(path("old.rc")), oldRc);
    }
    // "No object kind" is said of a header that gave messages, and only
    // then (a failure before the source said anything names its cause).
    std::ofstream(path("broken.tos")) << "TO_HEADER\n  TOTYPE := garbage;\nEND_TO_HEADER\n";
    r = run("compile broken.tos -o new.dsc --rc old.rc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("broken.tos(2) : Fehler 202 "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(r.err.rfind("\ntavolin: ")),
              "\ntavolin: new.dsc not written: the source gave no object kind; old.rc is as it was, new.m4h and new.m4c "
              "not written\n");
    EXPECT_FALSE(exists(path("new.dsc")));
    EXPECT_EQ(readFile(path("old.rc")), oldRc);

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

    // Errors after a good header: no target is written.
    std::ofstream(path("late.tos")) << "DV_TP_HEADER DV_TPTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                                       "DATE := DT#1; END_DV_TP_HEADER\nBITFIELDS END_BITFIELDS\n";
    r = run("compile late.tos -o late.dsc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out.rfind("openSource: status 0xBE11000B (the source has errors), object kind 5\n", 0), 0u) << r.out;
    EXPECT_FALSE(exists(path("late.dsc")));

    // A section method whose compiler finds errors says so: an address table
    // without the boot-function declarations it belongs to.
    std::ofstream(path("con.tos")) << "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                                      "DATE := DT#1; END_TO_HEADER\nINTERFACE END_INTERFACE\n"
                                      "BEGIN_BF_ADR_RESOLUTION $2 : @16#100 END_BF_ADR_RESOLUTION\n";
    r = run("compile con.tos -o con.dsc --rc con.rc");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("compileConnections: ok\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("compileBootFunctions: status 0xBE11000B (the section has errors or its results could not be "
                         "written)\n"),
              std::string::npos)
        << r.out;

    // A source saved with a UTF-8 byte-order mark: the mark's three bytes
    // are code page 1252 characters the split does not take, and the
    // command says where they come from; two of them alone are only strays.
    const std::string head = "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                             "DATE := DT#1; END_TO_HEADER\n";
    const std::string bomLine =
        "tavolin: bom.tos begins with a UTF-8 byte-order mark, read as the characters '\xC3\xAF\xC2\xBB\xC2\xBF': "
        "sources are code page 1252\n";
    for (const char* mark : {"\xEF\xBB\xBF", "\xEF\xBB"}) {
        std::ofstream(path("bom.tos"), std::ios::binary) << mark << head;
        r = run("compile bom.tos -o bom.dsc --rc bom.rc");
        EXPECT_EQ(r.exit, 1);
        const std::string strays = std::string("bom.tos(1) : Fehler 201 Scanner Fehler, unerwartetes Zeichen '\xC3\xAF'\n"
                                               "bom.tos(1) : Fehler 201 Scanner Fehler, unerwartetes Zeichen "
                                               "'\xC2\xBB'\n") +
                                   (mark[2] ? "bom.tos(1) : Fehler 201 Scanner Fehler, unerwartetes Zeichen '\xC2\xBF'\n"
                                            : "");
        EXPECT_EQ(r.err.rfind(strays, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find(bomLine) != std::string::npos, mark[2] != 0) << r.err;
        EXPECT_FALSE(exists(path("bom.dsc")));
    }

    // An ACX file that is not read.
    std::ofstream(path("x.acx")) << "no ACX";
    r = run("compile '" + kAxis + "' -o axis.dsc --acx x.acx");
    EXPECT_EQ(r.out.rfind("openSource: status 0xBE11FFFF (the ACX file was not read or does not fit the source), "
                          "object kind 1\n",
                          0),
              0u)
        << r.out;
}

// A status is said in the words of the method that gave it: the same
// number means different things to different methods.
TEST(HostStatusMeaning, EachMethodInItsOwnWords)
{
    const struct {
        const char* method;
        uint32_t status;
        bool acx;
        const char* words;
    } cases[] = {
        {"compileVariables", 0xBE11000A, true, "enumeration numbers not 16 bits"},
        {"compileVariables", 0xBE11000A, false, "wrong object kind"},
        {"compileVariables", 0xBE110039, true, "a section the ACX import needs could not be opened"},
        {"compileVariables", 0xBE110015, true, "the ACX import could not write a section"},
        {"copySections", 0xBE110015, false, "no target storage: the source was not opened into a working file"},
        {"openSource", 0xBE11000B, false, "the source has errors"},
        {"compileAlarms", 0xBE11000B, false, "the section has errors or its results could not be written"},
        {"compileConnections", 0xBE110004, false, "a lower layer failed with code 4"},
        {"compileSysVars", 0x80004005, false, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hostStatusMeaning(c.method, c.status, c.acx), c.words) << c.method << " " << std::hex << c.status;
}

// The texts of the command line reach the resource script as code page
// 1252: UTF-8 converted, other bytes taken as the code page's; the messages
// show paths as the bytes they are, the rest as UTF-8.
TEST(HostText, CommandLineTextsAndMessageBytes)
{
    const struct {
        std::string text;
        std::u16string wide;
    } texts[] = {
        {"Achse 1", u"Achse 1"},
        {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", u"Gr\u00FC\u00DF" "e \u20AC"},
        {"Gr\xFC\xDF" "e \x80\x84\x81", u"Gr\u00FC\u00DF" "e \u20AC\u201E\u0081"},
        {"\xC3\xBC\xFC", u"\u00C3\u00BC\u00FC"},  // not all of it UTF-8: all code page
    };
    for (const auto& t : texts) EXPECT_EQ(hostTextToWide(t.text), t.wide) << t.text;

    char* shown = nullptr;
    size_t size = 0;
    std::FILE* out = ::open_memstream(&shown, &size);
    ASSERT_NE(out, nullptr);
    {
        HostErrorDisplay display(out);
        OwnedBstr text(SysAllocString(u"n\xDCFC.tos : Fehler 100 File n\xDCFC.tos konnte nicht ge\u00F6ffnet werden"));
        display.ShowMessage(text.get(), 2, 0, nullptr);
    }
    std::fclose(out);
    EXPECT_EQ(std::string(shown, size), "n\xFC.tos : Fehler 100 File n\xFC.tos konnte nicht ge\xC3\xB6" "ffnet werden\n");
    std::free(shown);
}

// The command's display says that it shows no more only once its limit is
// reached, which stays so (not while it prints nothing for want of an
// output, which may be set again), and counts messages handed over at once
// as messages held back.
TEST(HostDisplay, ShowsNoMoreOnlyPastItsLimit)
{
    char* shown = nullptr;
    size_t size = 0;
    std::FILE* out = ::open_memstream(&shown, &size);
    ASSERT_NE(out, nullptr);
    {
        HostErrorDisplay display(out, 2);
        HostErrorDisplay silent(nullptr);
        LONG none = -1;
        ASSERT_EQ(silent.showsNoMore(2, &none), S_OK);
        EXPECT_EQ(none, 0);
        OwnedBstr text(SysAllocString(u"a message"));
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(display.showsNoMore(2, &none), S_OK);
            EXPECT_EQ(none, 0) << i;
            display.ShowMessage(text.get(), 2, 0, nullptr);
        }
        ASSERT_EQ(display.showsNoMore(2, &none), S_OK);
        EXPECT_EQ(none, 1);
        display.countMessages(2, 5);
        display.countMessages(1, 1);
        EXPECT_EQ(display.count(2), 7u);
        display.printHeldBack();
    }
    std::fclose(out);
    EXPECT_EQ(std::string(shown, size),
              "a message\na message\n\xE2\x80\xA6 and 6 more messages (5 errors, 1 warning)\n");
    std::free(shown);
}

// The ACX file is read whole, then its header checked; what the reader
// finds wrong is said of the file by name, in words for its code.
TEST_F(HostCommand, AcxHeaderIsCheckedAfterTheRead)
{
    using namespace acxtest;
    const Bytes block = compound(2144, {str(67, "Achse"), compound(2147, {u8(2122, 2)})});
    const Bytes good = file({compound(0, {block})});
    // Made for version 3 of the axis type (the source is 2.1).
    const Bytes newer = file({compound(
        0, {compound(2144, {compound(2145, {str(2121, "5A3C2E108B414C7D9E2F1A6B3C4D5E60"), u8(2122, 3)})})})});
    Bytes cut = good;
    cut.resize(cut.size() - 3);
    ASSERT_TRUE(writeFile(path("good.acx"), good));
    ASSERT_TRUE(writeFile(path("newer.acx"), newer));
    ASSERT_TRUE(writeFile(path("cut.acx"), cut));
    ASSERT_TRUE(writeFile(path("magic.acx"), Bytes{'a', 'c', 'x', 0, 0, 2, 0, 0}));
    std::ofstream(path("empty.acx")).close();
    ::mkdir(path("dir.acx").c_str(), 0755);
    // Faults the reader skips and reads on after (a header of version 3.0,
    // numbers of odd lengths, a tag of type 6, an empty tag with a length).
    ASSERT_TRUE(writeFile(path("v3.acx"), file({compound(0, {block})}, 0x0300)));
    ASSERT_TRUE(writeFile(path("odd.acx"),
                          file({compound(0, {block, tag(9, AcxTypeUnsigned, {1, 2, 3}), tag(9, AcxTypeSigned, {1, 2, 3}),
                                             tag(9, AcxTypeReal, {1, 2}), tag(9, 6, {1}), tag(9, AcxTypeEmpty, {1})})})));
    // A tag beside the root, after it is read (bytes after the root are not
    // read: the second tag is inside it).
    ASSERT_TRUE(writeFile(path("roots.acx"), file({compound(0, {block, compound(0, {})})})));
    // No root tag first: the reader takes each tag for one beside the root
    // and looks for the root to the end of the file. A root that is a string
    // or a number holds nothing: no fault of the reader, message 0.
    ASSERT_TRUE(writeFile(path("rootless.acx"), file({block})));
    ASSERT_TRUE(writeFile(path("text.acx"), file({str(0, "Achse")})));
    ASSERT_TRUE(writeFile(path("number.acx"), file({u8(0, 2)})));
    const std::string misfit = "(the ACX file was not read or does not fit the source), object kind 1\n";
    const std::string unread =
        ": nothing of it is imported, which the variables step reports as message 0 after its section compiled\n";
    struct {
        const char* acx;
        std::string step;     // the openSource line
        const char* message;  // on standard error, or null for none
        std::string said;     // the command's line on the file ("": none)
    } const cases[] = {
        {"good.acx", "openSource: ok, object kind 1\n", nullptr, ""},
        {"newer.acx", "openSource: status 0xBE11008D " + misfit, "Fehler 1202 ", ""},
        // A file that is missing or cut is not checked.
        {"missing.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 1\n",
         "missing.acx cannot be opened: no such file (ACX Fatal Error 1)" + unread},
        {"cut.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 2\n",
         "cut.acx ends early: a header or a tag is cut short (ACX Fatal Error 2)" + unread},
        {"empty.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 2\n",
         "empty.acx is empty (ACX Fatal Error 2)" + unread},
        {"dir.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 2\n",
         "dir.acx cannot be read: a directory (ACX Fatal Error 2)" + unread},
        {"magic.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 11\n",
         "magic.acx is not an ACX file: no \"AcX\" mark at its start (ACX Fatal Error 11)" + unread},
        // Eight bytes and no mark: the endless file is not read on.
        {"/dev/zero", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 11\n",
         "/dev/zero is not an ACX file: no \"AcX\" mark at its start (ACX Fatal Error 11)" + unread},
        {"v3.acx", "openSource: ok, object kind 1\n", "Fehler 1301 ACX Error 46\n",
         "v3.acx is of another major format version than 2 (ACX Error 46)\n"},
        {"odd.acx", "openSource: ok, object kind 1\n", "Fehler 1301 ACX Error 41\n",
         "odd.acx holds an unsigned number that is not 1, 2, 4 or 8 bytes long (skipped) (ACX Error 41)\n"
         "tavolin: the ACX file odd.acx holds a signed number that is not 1, 2, 4 or 8 bytes long (skipped) "
         "(ACX Error 42)\n"
         "tavolin: the ACX file odd.acx holds a real number that is not 4 or 8 bytes long (skipped) (ACX Error 43)\n"
         "tavolin: the ACX file odd.acx holds a tag of an unknown type (skipped) (ACX Error 30)\n"
         "tavolin: the ACX file odd.acx holds an empty tag with a length (skipped) (ACX Error 45)\n"},
        {"roots.acx", "openSource: ok, object kind 1\n", "Fehler 1301 ACX Error 44\n",
         "roots.acx holds a tag beside its root tag (id 0), or a second root tag (ACX Error 44)\n"},
        {"rootless.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 1300 ACX Fatal Error 2\n",
         "rootless.acx begins with a tag of id 2144, not with its root tag (id 0) (ACX Error 44)\n"
         "tavolin: the ACX file rootless.acx has no root tag (id 0) at its start: the reader looked for one to the "
         "file's end (ACX Fatal Error 2)" + unread},
        {"text.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 0 Interner Fehler\n",
         "text.acx has a string for its root tag (id 0), not a compound tag of further tags: nothing of it is "
         "read, which is reported as message 0\n"},
        {"number.acx", "openSource: status 0xBE11FFFF " + misfit, "Fehler 0 Interner Fehler\n",
         "number.acx has an unsigned number for its root tag (id 0), not a compound tag of further tags: nothing "
         "of it is read, which is reported as message 0\n"},
    };
    for (const auto& c : cases) {
        const std::string target = std::string(c.acx == std::string("/dev/zero") ? "zero" : c.acx) + ".dsc";
        Result r = run("compile '" + kAxis + "' -o " + target + " --acx " + c.acx);
        EXPECT_EQ(r.out.rfind(c.step, 0), 0u) << c.acx << r.out;
        if (c.message)
            EXPECT_NE(r.err.find(c.message), std::string::npos) << c.acx << r.err;
        else
            EXPECT_EQ(r.err.find("ACX"), std::string::npos) << r.err;
        if (c.said.empty())
            EXPECT_EQ(r.err.find("tavolin: the ACX file"), std::string::npos) << r.err;
        else
            EXPECT_NE(r.err.find("\ntavolin: the ACX file " + c.said), std::string::npos) << c.acx << r.err;
        // Without --rc the string-table steps fail, so no new target is
        // left behind.
        EXPECT_FALSE(exists(path(target))) << c.acx;
    }
    // Into an existing target: the same line names the file, and the target
    // and its outputs keep their bytes.
    ASSERT_EQ(run("compile '" + kAxis + "' -o old.dsc --rc old.rc" + kAxisVars.flag, kAxisVars.env).exit, 0);
    const std::string old[] = {readFile(path("old.dsc")), readFile(path("old.rc")), readFile(path("old.m4h")),
                               readFile(path("old.m4c"))};
    for (const char* acx : {"rootless.acx", "text.acx"}) {
        const Result r = run("compile '" + kAxis + "' -o old.dsc --rc old.rc --acx " + acx + kAxisVars.flag,
                             kAxisVars.env);
        EXPECT_EQ(r.exit, 1) << acx;
        EXPECT_NE(r.err.find(std::string("\ntavolin: the ACX file ") + acx +
                             (acx == std::string("text.acx") ? " has a string for its root tag"
                                                              : " has no root tag (id 0) at its start")),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.substr(r.err.rfind("\ntavolin: ")),
                  "\ntavolin: old.dsc left as it was: a step did not succeed; old.rc, old.m4h and old.m4c are as they "
                  "were\n");
        const std::string now[] = {readFile(path("old.dsc")), readFile(path("old.rc")), readFile(path("old.m4h")),
                                   readFile(path("old.m4c"))};
        EXPECT_TRUE(std::equal(std::begin(old), std::end(old), std::begin(now))) << acx;
    }
}

// A source without a variables section has nothing an ACX file's values
// could go into: the variables step says which section is missing.
TEST_F(HostCommand, AcxImportWithoutAVariablesSectionNamesIt)
{
    using namespace acxtest;
    ASSERT_TRUE(writeFile(path("axis.acx"), file({compound(0, {compound(2144, {compound(2147, {u8(2122, 2)})})})})));
    std::ofstream(path("bare.tos")) << "TO_HEADER\n  TOTYPE := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\n"
                                       "  DATE := DT#2004-01-01;\nEND_TO_HEADER\n";
    const Result r = run("compile bare.tos -o bare.dsc --rc bare.rc --acx axis.acx");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.out.find("\ncompileVariables: status 0xBE11001B ("), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "bare.tos: Fehler 101 Sektion Variablen konnte nicht geöffnet werden\n"
                     "tavolin: bare.dsc not written: a step did not succeed; "
                     "bare.rc, bare.m4h and bare.m4c not written\n");

    // A variables section the compiler takes without the system-variable
    // table, whose import cannot do without it: the step names the table.
    std::ofstream(path("configs.tos")) << "TO_HEADER\n  TOTYPE := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\n"
                                          "  DATE := DT#2004-01-01;\nEND_TO_HEADER\n"
                                          "CONFIGS\n  1 \"Standard\"\n  DEFAULT(1)\nEND_CONFIGS\n";
    const Result c = run("compile configs.tos -o configs.dsc --rc configs.rc --acx axis.acx");
    EXPECT_EQ(c.exit, 1);
    EXPECT_NE(c.out.find("\ncompileVariables: status 0xBE11001B (its temporary stream is missing or unreadable, or "
                         "the ACX import could not read the system-variable table or a section; the section \"symb\" "
                         "(the class provider's system-variable table) is missing or empty)\n"),
              std::string::npos)
        << c.out;
    // A table that is there but cannot be read is named as such (the
    // compile fails on it before the import).
    const Result b = run("compile configs.tos -o configs.dsc --rc configs.rc --acx axis.acx",
                         "TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_TEXT='not a table'");
    EXPECT_EQ(b.exit, 1);
    EXPECT_NE(b.out.find("\ncompileVariables: status 0xBE11000B (the section has errors or its results could not be "
                         "written; the section \"symb\" (the class provider's system-variable table) cannot be read "
                         "as a system-variable table)\n"),
              std::string::npos)
        << b.out;
}

TEST_F(HostCommand, AnExistingTargetIsReplacedOnlyBySuccess)
{
    const std::string target = path("axis.dsc");
    // Every step succeeds: exit status 0.
    const std::string compileAxis = "compile '" + kAxis + "' -o '" + target + "' --rc axis.rc" + kAxisVars.flag;
    ASSERT_EQ(run(compileAxis, kAxisVars.env).exit, 0);
    const std::string first = readFile(target);
    ASSERT_FALSE(first.empty());
    struct stat before;
    ASSERT_EQ(::stat(target.c_str(), &before), 0);

    // Again: the same bytes, through a new file put in place.
    Result r = run(compileAxis, kAxisVars.env);
    EXPECT_EQ(r.err.find("tavolin:"), std::string::npos) << r.err;
    struct stat after;
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(readFile(target), first);

    // Through a symbolic link the file it names is replaced; the link stays.
    ASSERT_EQ(::symlink("axis.dsc", path("link.dsc").c_str()), 0);
    run("compile '" + kAxis + "' -o '" + path("link.dsc") + "' --rc axis.rc" + kAxisVars.flag, kAxisVars.env);
    struct stat link;
    ASSERT_EQ(::lstat(path("link.dsc").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(readFile(target), first);

    // A package source into this technology-object file is refused, and so
    // is the reverse.
    r = run("compile '" + std::string(TV_SOURCE_DIR) + "/examples/motion.tps' -o '" + target + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("is the source of a technology package, but " + target +
                         " is the descriptor of a technology object: not compiled\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(target), first);
    ASSERT_EQ(run("compile '" + std::string(TV_SOURCE_DIR) + "/examples/motion.tps' -o pkg.dsc").exit, 0);
    const std::string pkg = readFile(path("pkg.dsc"));
    r = run("compile '" + kAxis + "' -o pkg.dsc");
    EXPECT_NE(r.err.find("is the source of a technology object, but pkg.dsc is the descriptor of a technology "
                         "package: not compiled\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(path("pkg.dsc")), pkg);
    // A further header makes the source a package although its first header
    // says technology object: refused alike, before any step.
    const std::string motion = readFile(std::string(TV_SOURCE_DIR) + "/examples/motion.tps");
    std::ofstream(path("two.tos")) << readFile(kAxis) << motion.substr(0, motion.find("END_TP_HEADER") + 14);
    r = run("compile two.tos -o '" + target + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tavolin: two.tos is the source of a technology package, but " + target +
                         " is the descriptor of a technology object: not compiled\n");
    EXPECT_EQ(readFile(target), first);
    // So is a source whose first header gives no kind and a later one a
    // package's; garbage among header words gives none, and is refused by
    // its messages, with the target as it was.
    std::ofstream(path("late.tos")) << "TO_HEADER ?? END_TO_HEADER\n" << motion;
    r = run("compile late.tos -o '" + target + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tavolin: late.tos is the source of a technology package, but " + target +
                         " is the descriptor of a technology object: not compiled\n");
    std::ofstream(path("garbage.tos")) << garbageWithHeaderWords();
    r = run("compile garbage.tos -o '" + target + "'");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "openSource: status 0xBE11000B (the source has errors)");
    EXPECT_NE(r.err.find(") : Fehler 202 Parser Fehler: parse error\n"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(target), first);

    // A resource script that is the source or the target is refused before
    // anything is written.
    for (const std::string& rc : {kAxis, target, std::string("./axis.dsc")}) {
        r = run("compile '" + kAxis + "' -o '" + target + "' --rc '" + rc + "'");
        EXPECT_EQ(r.exit, 1) << rc;
        EXPECT_NE(r.err.find("tavolin: --rc " + rc + " names the "), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << rc;
    }
    EXPECT_EQ(readFile(target), first);
}

TEST_F(HostCommand, StorageFailuresAreSaidInWords)
{
    const std::string target = path("t.dsc");
    ASSERT_EQ(run("compile '" + kAxis + "' -o '" + target + "' --rc t.rc" + kAxisVars.flag, kAxisVars.env).exit, 0);
    const int fd = ::open(target.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    Result r = run("compile '" + kAxis + "' -o '" + target + "'");
    ::close(fd);
    // Every line that stops a compile before its steps says what became of
    // each of its files.
    const std::string t = path("t");
    EXPECT_EQ(r.err, "tavolin: cannot open " + target + ": locked by another process; " + target + ", " + t +
                         ".rc, " + t + ".m4h and " + t + ".m4c are as they were\n");

    std::ofstream(path("plain.txt")) << "not a compound file";
    ASSERT_EQ(::mkdir(path("dir.dsc").c_str(), 0700), 0);
    const std::string old = readFile(target), oldRc = readFile(path("t.rc"));
    // A path through a file is no missing directory; the resource script and
    // the macro files into a directory that cannot take them are refused as
    // TARGET is, before any step.
    const std::string nothing = " (a new one is made beside it and put in its place); nothing is compiled";
    const std::string none = ", " + path("no/such/dir.rc") + ", " + path("no/such/dir.m4h") + " and " +
                             path("no/such/dir.m4c") + " not written";
    const std::string kept = "; " + target + ", " + t + ".m4h and " + t + ".m4c are as they were, ";
    const struct {
        std::string target, env, says, options;
    } cases[] = {
        {path("plain.txt"), "", "cannot open " + path("plain.txt") + ": not a compound file (hr = 0x80030050); " +
                                    path("plain.txt") + " is as it was, " + path("plain.rc") + ", " +
                                    path("plain.m4h") + " and " + path("plain.m4c") + " not written", ""},
        {path("dir.dsc"), "", "cannot write TARGET " + path("dir.dsc") +
                                  " (-o): it is a directory, not a regular file; nothing is compiled", ""},
        {path("no/such/dir.dsc"), "", "cannot create " + path("no/such/dir.dsc") + ": its directory does not exist; " +
                                          path("no/such/dir.dsc") + none, ""},
        {path("plain.txt/t.dsc"), "", "cannot create " + path("plain.txt/t.dsc") + ": " + path("plain.txt") +
                                          " is not a directory; " + path("plain.txt/t.dsc") + ", " +
                                          path("plain.txt/t.rc") + ", " + path("plain.txt/t.m4h") + " and " +
                                          path("plain.txt/t.m4c") + " not written", ""},
        {target, "TMPDIR=" + path("gone"),
         "the directory of temporary files " + path("gone") + " (TMPDIR) does not exist", ""},
        {target, "TMPDIR=" + path("plain.txt/tmp"),
         "the directory of temporary files " + path("plain.txt/tmp") + " (TMPDIR) cannot be used: " +
             path("plain.txt") + " is not a directory", ""},
        {target, "", "cannot write the resource script plain.txt/t.rc: plain.txt is not a directory" + nothing +
                         kept + "plain.txt/t.rc not written", " --rc plain.txt/t.rc"},
        {target, "", "cannot write the resource script gone/t.rc: its directory does not exist" + nothing + kept +
                         "gone/t.rc not written", " --rc gone/t.rc"},
        {target, "", "cannot write a macro file plain.txt/t.m4h: plain.txt is not a directory" + nothing + "; " +
                         target + " and " + t + ".rc are as they were, plain.txt/t.m4h and plain.txt/t.m4c not written",
         " --impl plain.txt/t"},
        {target, "", "cannot write a macro file gone/t.m4h: its directory does not exist" + nothing + "; " + target +
                         " and " + t + ".rc are as they were, gone/t.m4h and gone/t.m4c not written", " --impl gone/t"},
        {path("new.dsc"), "", "cannot write a macro file gone/t.m4h: its directory does not exist" + nothing + "; " +
                                  path("new.dsc") + ", " + path("new.rc") + ", gone/t.m4h and gone/t.m4c not written",
         " --impl gone/t"},
    };
    for (const auto& c : cases) {
        r = run("compile '" + kAxis + "' -o '" + c.target + "'" + c.options, c.env);
        EXPECT_EQ(r.exit, 1) << c.target << c.options;
        EXPECT_EQ(r.out, "") << c.target << c.options;
        EXPECT_EQ(r.err, "tavolin: " + c.says + "\n") << c.target << c.options;
    }
    EXPECT_EQ(readFile(path("plain.txt")), "not a compound file");
    EXPECT_EQ(readFile(target), old);
    EXPECT_EQ(readFile(path("t.rc")), oldRc);
    EXPECT_FALSE(exists(path("new.dsc")));
}

// What every entry of a directory is (but the command's output, which the
// test harness writes there): a regular file by a digest of its bytes,
// anything else by its kind (a FIFO is never opened), a link by what it
// names.
std::map<std::string, std::string> entriesOf(const std::string& dir)
{
    std::map<std::string, std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string p = e.path().string();
        struct stat st;
        const std::string name = e.path().filename().string();
        if (name == "stdout" || name == "stderr" || ::lstat(p.c_str(), &st) != 0) continue;
        std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_ino);
        if (S_ISREG(st.st_mode)) what += " " + std::to_string(std::hash<std::string>()(readFile(p)));
        if (S_ISLNK(st.st_mode)) what += " -> " + std::filesystem::read_symlink(e.path()).string();
        entries[name] = what;
    }
    return entries;
}

// An output that is there and is no regular file - a directory, a FIFO, a
// device, a socket, or a link to one - is refused before any step, whichever
// output it is (TARGET, the resource script, a macro file, given by its
// option or made from TARGET's name): one line names the file, what gave it
// and what it is; nothing is compiled, no file changes and nothing is left.
// A dangling link is a new file: the compile makes the file it names.
TEST_F(HostCommand, AnOutputThatIsNoRegularFileIsRefusedFirst)
{
    const std::string compile = "compile '" + kAxis + "' " + kAxisVars.flag;
    ASSERT_EQ(run(compile + " -o t.dsc", kAxisVars.env).exit, 0);
    // Each kind made at a path; false where this system does not let it be
    // made (a device node needs the right to make one).
    const struct {
        const char* kind;
        const char* words;
        bool (*make)(const std::string&);
    } kinds[] = {
        {"directory", "a directory", [](const std::string& p) { return ::mkdir(p.c_str(), 0755) == 0; }},
        {"FIFO", "a FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0644) == 0; }},
        {"character device", "a device",
         [](const std::string& p) { return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }},
        {"block device", "a device",
         [](const std::string& p) { return ::mknod(p.c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0; }},
        {"socket", "a socket",
         [](const std::string& p) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un a = {};
             a.sun_family = AF_UNIX;
             if (fd < 0 || p.size() >= sizeof a.sun_path) return false;
             std::memcpy(a.sun_path, p.c_str(), p.size());
             const bool made = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
             ::close(fd);
             return made;
         }},
    };
    const struct {
        const char* role;
        const char* name;    // the output's file
        const char* option;  // what gave it, as the line says
        const char* args;
    } outputs[] = {
        {"TARGET", "out.dsc", "-o", " -o out.dsc"},
        {"the resource script", "out.rc", "--rc", " -o t.dsc --rc out.rc"},
        {"the resource script", "t.rc", "TARGET with .rc", " -o t.dsc"},
        {"a macro file", "out.m4h", "--impl out", " -o t.dsc --impl out"},
        {"a macro file", "t.m4c", "TARGET without its extension", " -o t.dsc"},
    };
    int refused = 0;
    for (const auto& k : kinds) {
        for (const auto& out : outputs) {
            for (const bool link : {false, true}) {
                const std::string at = path(out.name);
                const std::string kept = path("kept." + std::string(out.name));
                // The output itself is moved aside, and put back after.
                const bool had = ::rename(at.c_str(), kept.c_str()) == 0;
                const std::string odd = link ? path("odd") : at;
                if (!k.make(odd)) {
                    if (had) ::rename(kept.c_str(), at.c_str());
                    continue;
                }
                if (link) {
                    ASSERT_EQ(::symlink("odd", at.c_str()), 0);
                }
                const auto before = entriesOf(m_dir);
                const std::string what = std::string(k.kind) + (link ? " through a link" : "") + " as " + out.name;
                const Result r = run(compile + out.args, kAxisVars.env + " timeout 20");
                char real[PATH_MAX];
                ASSERT_TRUE(::realpath(odd.c_str(), real)) << what;
                EXPECT_EQ(r.exit, 1) << what;
                EXPECT_EQ(r.out, "") << what;
                EXPECT_EQ(r.err, "tavolin: cannot write " + std::string(out.role) + " " + out.name + " (" +
                                     out.option + "): it is " + (link ? "a link to " + std::string(real) + ", " : "") +
                                     k.words + ", not a regular file; nothing is compiled\n")
                    << what;
                EXPECT_EQ(entriesOf(m_dir), before) << what;
                ++refused;
                if (link) ::unlink(at.c_str());
                std::filesystem::remove(odd);
                if (had) ::rename(kept.c_str(), at.c_str());
            }
        }
    }
    // Directories, FIFOs and sockets can be made anywhere.
    EXPECT_GE(refused, 30);

    // A dangling link is a new file, whichever output it is: the compile
    // makes the file it names, with the bytes a plain file there gets, and
    // the link stays; a second compile replaces that file.
    const struct {
        const char* link;
        const char* args;
    } dangling[] = {
        {"dl.dsc", " -o dl.dsc --rc t.rc --impl t"},
        {"dl.rc", " -o t.dsc --rc dl.rc"},
        {"dl.m4h", " -o t.dsc --impl dl"},
    };
    for (const auto& d : dangling) {
        const std::string link = path(d.link), made = path("made-" + std::string(d.link));
        ASSERT_EQ(::symlink(("made-" + std::string(d.link)).c_str(), link.c_str()), 0);
        std::string bytes;
        for (int run_no = 1; run_no <= 2; ++run_no) {
            const Result r = run(compile + d.args, kAxisVars.env);
            EXPECT_EQ(r.exit, 0) << d.link << " " << r.err;
            struct stat st;
            ASSERT_EQ(::lstat(link.c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << d.link;
            bytes = readFile(made);
            EXPECT_FALSE(bytes.empty()) << d.link;
        }
        ::unlink(link.c_str());
        ::unlink(made.c_str());
        EXPECT_EQ(run(compile + d.args, kAxisVars.env).exit, 0) << d.link;
        EXPECT_EQ(readFile(link), bytes) << d.link;
    }
}

TEST_F(HostCommand, MessagesAreShownUpToALimit)
{
    // One scanner error per unexpected letter after a good header.
    std::string source = "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                         "DATE := DT#1; END_TO_HEADER\n";
    for (int i = 0; i < 100; ++i) source += "END_BITFIELDS\n";
    std::ofstream(path("many.tos")) << source;
    Result r = run("compile many.tos -o many.dsc");
    auto lines = [](const std::string& t) { return std::count(t.begin(), t.end(), '\n'); };
    EXPECT_EQ(lines(r.err), 100 + 1 + 1);  // and "... more", and "not written"
    EXPECT_NE(r.err.find("\xE2\x80\xA6 and "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" more messages ("), std::string::npos) << r.err;
    r = run("compile many.tos -o many.dsc --max-messages 3");
    EXPECT_EQ(lines(r.err), 3 + 1 + 1) << r.err;
    const Result all = run("compile many.tos -o many.dsc --max-messages 0");
    EXPECT_GT(lines(all.err), 150) << all.err;
    EXPECT_EQ(all.err.find("more messages"), std::string::npos);
    // The messages held back are counted whole, though their texts are
    // never made: those shown plus those counted are all there are.
    auto held = [](const std::string& err) {
        const std::size_t at = err.find("\xE2\x80\xA6 and ");
        return at == std::string::npos ? -1L : std::atol(err.c_str() + at + 8);
    };
    EXPECT_EQ(3 + held(r.err), lines(all.err) - 1) << r.err;
    EXPECT_EQ(100 + held(run("compile many.tos -o many.dsc").err), lines(all.err) - 1);
}

TEST_F(HostCommand, TheCountsLineCountsEveryStrayByte)
{
    // Past its first hundred a run of stray bytes is one message, but each
    // byte is an error: the counts line says how many messages were held
    // back and how many errors they are.
    const std::string header = "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                               "DATE := DT#1; END_TO_HEADER\n";
    std::ofstream(path("split.tos")) << header << std::string(150, 'x') << "\n";
    std::ofstream(path("values.tos")) << header << "VALUES\n" << std::string(250, '*') << "\nEND_VALUES\n";
    // stray bytes with blanks and line ends between them are one run
    auto repeated = [](const char* unit, int n) {
        std::string s;
        while (n-- > 0) s += unit;
        return s;
    };
    std::ofstream(path("spaced.tos")) << header << repeated("? ", 150) << "\n";
    std::ofstream(path("lines.tos")) << header << "VALUES\n" << repeated("?\n", 250) << "END_VALUES\n";
    std::ofstream(path("few.tos")) << header << repeated("? \t\r\n", 60);
    // A held run ends where a token may begin, a date-time literal too: 120
    // stray bytes, the literal on line 5 (202 there), two more on line 6;
    // 123 errors, as 10 stray bytes before it give 13.
    std::ofstream(path("dt.tos")) << repeated("? ", 120) << "\n\n\n\nDT#abc\n? ?\n";
    const struct {
        const char* source;
        const char* options;
        std::size_t shown;      // lines of messages
        const char* counts;     // the counts line, "" for none
    } cases[] = {
        {"split.tos", "", 100, "\xE2\x80\xA6 and 1 more message (50 errors)\n"},
        {"split.tos", " --max-messages 40", 40, "\xE2\x80\xA6 and 61 more messages (110 errors)\n"},
        {"split.tos", " --max-messages 0", 101, ""},
        {"values.tos", "", 100, "\xE2\x80\xA6 and 1 more message (150 errors)\n"},
        {"values.tos", " --max-messages 101", 101, ""},
        {"spaced.tos", "", 100, "\xE2\x80\xA6 and 1 more message (50 errors)\n"},
        {"lines.tos", "", 100, "\xE2\x80\xA6 and 1 more message (150 errors)\n"},
        {"lines.tos", " --max-messages 0", 101, ""},
        {"few.tos", "", 60, ""},
        {"few.tos", " --max-messages 40", 40, "\xE2\x80\xA6 and 20 more messages (20 errors)\n"},
        {"dt.tos", "", 100, "\xE2\x80\xA6 and 4 more messages (23 errors)\n"},
        {"dt.tos", " --max-messages 0", 104, ""},
    };
    for (const auto& c : cases) {
        const Result r = run(std::string("compile ") + c.source + " -o t.dsc" + c.options);
        EXPECT_EQ(r.exit, 1) << c.source << c.options;
        std::size_t messages = 0;
        for (std::size_t at = 0; (at = r.err.find(" : Fehler ", at)) != std::string::npos; ++at) ++messages;
        EXPECT_EQ(messages, c.shown) << c.source << c.options << r.err;
        const std::size_t at = r.err.find("\xE2\x80\xA6 and ");
        EXPECT_EQ(at == std::string::npos ? std::string() : r.err.substr(at, r.err.find('\n', at) + 1 - at),
                  c.counts)
            << c.source << c.options;
        if (std::string(c.source) == "dt.tos" && !*c.counts) {
            EXPECT_NE(r.err.find("dt.tos(5) : Fehler 202 "), std::string::npos) << r.err;
        }
    }

    // Garbage: a stray byte or a token every few bytes, a message each. Past
    // the messages shown each is counted without its text, as it is counted
    // when shown: whatever the limit, the messages and errors shown and
    // held back add up to the same, and the messages shown are the same.
    const std::string shapes[] = {"", "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
                                  " !#$%&()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcxyz{|}~\n"};
    for (const std::string& shape : shapes) {
        std::string garbage(1 << 16, '\0');
        uint32_t x = 63;
        for (char& c : garbage) {
            x = x * 1103515245u + 12345u;
            c = shape.empty() ? char(x >> 16) : shape[(x >> 16) % shape.size()];
        }
        std::ofstream(path("garbage.tos"), std::ios::binary) << garbage;
        // messages shown, then those held back and their errors by the counts line
        const auto counted = [&](const char* limit) {
            const Result r = run(std::string("compile garbage.tos -o t.dsc --max-messages ") + limit);
            EXPECT_EQ(r.exit, 1) << limit;
            std::vector<std::string> shown;
            for (std::size_t at = 0, end; (end = r.err.find('\n', at)) != std::string::npos; at = end + 1)
                if (r.err.compare(at, 11, "garbage.tos") == 0) shown.push_back(r.err.substr(at, end - at));
            long held = 0, errors = 0;
            const std::size_t at = r.err.find("\xE2\x80\xA6 and ");
            if (at != std::string::npos) {
                held = std::atol(r.err.c_str() + at + 8);
                errors = std::atol(r.err.c_str() + r.err.find('(', at) + 1);
            }
            return std::make_tuple(shown, held, errors);
        };
        const auto all = counted("0"), hundred = counted("100"), forty = counted("40");
        SCOPED_TRACE(shape.empty() ? std::string("any byte") : shape.substr(0, 8));
        ASSERT_GT(std::get<0>(all).size(), 1000u);
        EXPECT_EQ(std::get<1>(all), 0);
        ASSERT_EQ(std::get<0>(hundred).size(), 100u);
        ASSERT_EQ(std::get<0>(forty).size(), 40u);
        EXPECT_TRUE(std::equal(std::get<0>(forty).begin(), std::get<0>(forty).end(), std::get<0>(all).begin()));
        EXPECT_TRUE(std::equal(std::get<0>(hundred).begin(), std::get<0>(hundred).end(), std::get<0>(all).begin()));
        EXPECT_EQ(100 + std::get<1>(hundred), long(std::get<0>(all).size()));
        EXPECT_EQ(40 + std::get<1>(forty), long(std::get<0>(all).size()));
        // messages 41 to 100 stand for one error each here
        EXPECT_EQ(std::get<2>(forty) - std::get<2>(hundred), 60);
    }
}

// With flag 0 the stand-in class provider beside libtavolin.so compiles the
// system variables of a technology object and the system functions of a
// package and a device; the step says what it ran through. The variables
// are compiled against the table it writes as "symb": without one the
// variables step says that it is missing (the compiler only gives message
// 0), and a recompile takes the one TARGET holds.
TEST_F(HostCommand, ClassProviderStepsRunThroughTheStandIn)
{
    const std::string log = path("clsprv.log");
    const std::string noTable = "compileVariables: status 0xBE11000B (the section has errors or its results could "
                                "not be written; the section \"symb\" (the class provider's system-variable table) "
                                "is missing or empty)\n";
    const struct {
        const char* source;
        const char* method;
        std::string env;        // the table for the stand-in
        std::string variables;  // the variables step's line ("": none)
    } cases[] = {{"axis.tos", "compileSysVars", "", noTable},
                 {"axis.tos", "compileSysVars", kAxisVars.env, "compileVariables: ok\n"},
                 {"axis.tos", "compileSysVars", "", "compileVariables: ok\n"},
                 {"motion.tps", "compileSysFunctions", "", ""},
                 {"controller.dvs", "compileSysFunctions", "", ""}};
    for (const auto& c : cases) {
        ::unlink(log.c_str());
        const std::string source = std::string(TV_SOURCE_DIR) + "/examples/" + c.source;
        Result r = run("compile '" + source + "' -o '" + path(std::string(c.source) + ".dsc") + "' --rc '" +
                           path(std::string(c.source) + ".rc") + "' --flag 0",
                       c.env + " TVCLSPRV_LOG='" + log + "'");
        const std::string line = std::string(c.method) + ": ok, through the class provider ";
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("libtvclsprv.so\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("skipped:"), std::string::npos) << r.out;
        EXPECT_NE(readFile(log).find(std::string("call ") + c.method + "\n"), std::string::npos) << c.source;
        if (c.variables.empty()) continue;
        EXPECT_NE(r.out.find("\n" + c.variables), std::string::npos) << r.out;
        EXPECT_EQ(r.exit, c.variables == noTable ? 1 : 0) << r.out << r.err;
    }
}

// A step line says the cause the library noted behind a message that does
// not name it: texts past the last resource-string id (303, 408, 707), and
// a system-variable table ("symb") that is missing or empty or cannot be
// read where a statement needs it (message 0). A failure of another kind
// while "symb" is empty names no table; a section file the stand-in cannot
// read fails its step with the file and the reason.
TEST_F(HostCommand, StepLinesNameTheCauseTheLibraryNoted)
{
    const std::string header = "TO_HEADER\n  TOTYPE := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\n"
                               "  DATE := DT#2004-01-01;\nEND_TO_HEADER\n";
    // 65,540 texts: the one of id 0xFFFE is the first past the last.
    auto many = [](const char* open, const char* entry, const char* close) {
        std::string text = std::string(open) + "\n";
        char line[64];
        for (int i = 0; i < 65540; ++i) {
            std::snprintf(line, sizeof line, entry, i + 1, i);
            text += line;
        }
        return text + close + "\n";
    };
    const std::string ids = "; the source's texts need more resource-string ids than 0 to 0xFFFD allow)\n";
    const std::string errors = "status 0xBE11000B (the section has errors or its results could not be written";
    const std::string table = "; the section \"symb\" (the class provider's system-variable table) ";
    const std::string axis = readFile(kAxis);
    ASSERT_TRUE(::mkdir(path("adir").c_str(), 0755) == 0 || errno == EEXIST);
    const struct {
        std::string source;
        std::string env;
        std::string line;     // a whole line of standard output
        std::string message;  // on standard error
    } cases[] = {
        {header + many("VARCOMMENT", "  $%d[16#FFFFFFFF] : \"t%d\"\n", "END_VARCOMMENT"), "",
         "compileComments: " + errors + ids, "(65540) : Fehler 303 Sektion konnte nicht beschrieben werden\n"},
        {header + many("CONFIGS", "  %d \"c%d\"\n", "END_CONFIGS"), "", "compileVariables: " + errors + ids,
         "(65540) : Fehler 408 Wert 0xFFFE ist zu gro\xC3\x9F\n"},
        {header + many("ALARM_STRING_TABLE", "  \"a%d %d\"\n", "END_ALARM_STRING_TABLE"), "",
         "compileAlarms: " + errors + ids, "(65540) : Fehler 707 Sektion konnte nicht beschrieben werden\n"},
        // "symb" is empty, but no statement needed it.
        {header + "CONFIGS\n  1 \"a\"\n  1 \"b\"\nEND_CONFIGS\n", "", "compileVariables: " + errors + ")\n",
         "(7) : Fehler 410 Eintrag(1, b) ist schon vorhanden\n"},
        {header + "VALUES\n  ? ?\nEND_VALUES\n", "", "compileVariables: " + errors + ")\n",
         "(6) : Fehler 401 Scanner Fehler, unerwartetes Zeichen '?'\n"},
        {axis, "", "compileVariables: " + errors + table + "is missing or empty)\n", " : Fehler 0 Interner Fehler\n"},
        {axis, "TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_TEXT='not a table'",
         "compileVariables: " + errors + table + "cannot be read as a system-variable table)\n",
         " : Fehler 0 Interner Fehler\n"},
        {axis, "TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_FILE='" + path("none.symb") + "'",
         "compileSysVars: failed, hr = 0x80004005, status 0x00000000\n",
         "tvclsprv: cannot read the section file " + path("none.symb") + " (TVCLSPRV_SECTION_FILE): no such file\n"},
        {axis, "TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_FILE='" + path("adir") + "'",
         "compileSysVars: failed, hr = 0x80004005, status 0x00000000\n",
         "tvclsprv: cannot read the section file " + path("adir") + " (TVCLSPRV_SECTION_FILE): a directory\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "cause" + std::to_string(++n);
        std::ofstream(path(name + ".tos"), std::ios::binary) << c.source;
        const Result r = run("compile " + name + ".tos -o " + name + ".dsc --rc " + name + ".rc", c.env);
        EXPECT_EQ(r.exit, 1) << name;
        EXPECT_NE(("\n" + r.out).find("\n" + c.line), std::string::npos) << name << "\n" << r.out;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << name << "\n" << r.err;
        EXPECT_FALSE(exists(path(name + ".dsc"))) << name;
    }
}

// The boot functions need the name classifier: none registered (the default
// flag) says so before the failed step; the one beside the command (flag 0)
// compiles them into the macro files of --impl with the --include names.
TEST_F(HostCommand, BootFunctionsTakeTheClassifierAndTheMacroOptions)
{
    const std::string rc = " --rc '" + path("axis.rc") + "'";
    Result r = run("compile '" + kAxis + "' -o '" + path("a.dsc") + "'" + rc + " --flag 1");
    EXPECT_NE(r.out.find("skipped: compileSysVars (no class provider installed)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("compileBootFunctions: no name classifier (none registered; --flag 0 takes "
                         "libtvclsprv.so beside the command): the boot functions cannot be checked\n"
                         "compileBootFunctions: status 0xBE11000B"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.exit, 1);

    r = run("compile '" + kAxis + "' -o '" + path("b.dsc") + "'" + rc + kAxisVars.flag +
                " --impl macros --include first.h --include second.h",
            kAxisVars.env);
    EXPECT_NE(r.out.find("compileBootFunctions: ok, wrote macros.m4h and macros.m4c\n"
                         "compileImplementations: ok, appended to macros.m4h and macros.m4c\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("no name classifier"), std::string::npos) << r.out;
    EXPECT_NE(readFile(path("macros.m4h")).find("INCLUDE(bocont.hpp)\nINCLUDE(first.h)\nINCLUDE(second.h)\n"),
              std::string::npos)
        << readFile(path("macros.m4h"));

    r = run("compile '" + kAxis + "' -o '" + path("c.dsc") + "' --include");
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find("tavolin: --include needs a name"), std::string::npos) << r.err;
}

namespace {

// The files in dir with their bytes, but for the standard output and error
// that run() keeps there.
std::map<std::string, std::string> filesWithBytes(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = e.path().string().substr(dir.size());
        if (name != "/stdout" && name != "/stderr") files[name] = e.is_regular_file() ? readFile(e.path()) : "(dir)";
    }
    return files;
}

}  // namespace

// A name that a technology object's macro files write without quotes and
// that m4 would read otherwise (the set's name from TARGET or --impl, an
// --include), or an empty set name, is wrong usage: refused before anything
// is written, over an earlier compile's outputs too, with the option, the
// name and what m4 would do. A name m4 reads whole compiles, and reads back
// whole, in a second run too; a name that only a path carries is not
// written and refuses nothing.
TEST_F(HostCommand, MacroNamesThatM4MisreadsAreRefused)
{
    const std::string axis = "compile '" + kAxis + "'" + kAxisVars.flag;
    // The axis under names of the container, which SOURCE's name gives.
    for (const char* name : {"s,1.tos", "it's (1).tos"}) std::ofstream(path(name)) << readFile(kAxis);
    ASSERT_EQ(run(axis + " -o t.dsc", kAxisVars.env).exit, 0);
    ASSERT_TRUE(exists(path("t.m4h")));
    const auto before = filesWithBytes(m_dir);
    // Each kind of name as the command says it (the kinds of misreading
    // are the rule's own).
    const std::string set = "the macro files name their set ";
    const struct {
        const char* options;  // after SOURCE, the axis unless they name one
        std::string said;     // the first line on standard error
    } cases[] = {
        {"-o 'a,b.dsc'", "-o a,b.dsc: " + set + "a,b without quotes, NAME(a,b) and INCLUDE(a,b.h), and m4 would split "
                         "it into arguments at the comma; --impl BASE names it otherwise"},
        {"-o t.dsc --include 'x#y.h'",
         "--include x#y.h: the macro files include it without quotes, INCLUDE(x#y.h), and m4 would read the rest of "
         "its line from the # on, the closing ) too, as a comment"},
        {"-o t.dsc --impl 'sub/x-dnl'", "--impl sub/x-dnl: " + set + "x-dnl without quotes, NAME(x-dnl) and "
                                        "INCLUDE(x-dnl.h), and m4 would expand the word dnl as its builtin macro dnl"},
        {"-o t.dsc --impl 'sub\\ t'", "--impl sub\\ t: " + set + " t without quotes, NAME( t) and INCLUDE( t.h), and "
                                      "m4 would drop the blanks and line ends it begins with"},
        {"s,1.tos -o t.dsc", "SOURCE s,1.tos: the macro files name the boot functions' container s,1 without quotes, "
                             "DECLCONT(s,1), and m4 would split it into arguments at the comma; a copy or link of "
                             "SOURCE by another name names it otherwise"},
        {"-o 'x\\.dsc'", "-o x\\.dsc: the macro files name their set by the base x\\ after its last \"/\" or \"\\\", "
                          "which leaves nothing: NAME() and INCLUDE(.h); --impl BASE names it otherwise"},
        {"-o t.dsc --impl 'sub/'", "--impl sub/: the macro files name their set by the base sub/ after its last \"/\" "
                                   "or \"\\\", which leaves nothing: NAME() and INCLUDE(.h)"},
    };
    for (const auto& c : cases) {
        const bool named = std::string(c.options).find(".tos") != std::string::npos;
        const Result r = run((named ? "compile" + kAxisVars.flag : axis) + " " + c.options, kAxisVars.env);
        EXPECT_EQ(r.exit, 2) << c.options;
        EXPECT_EQ(r.out, "") << c.options;
        EXPECT_EQ(r.err, "tavolin: " + c.said + "\n") << c.options;
        EXPECT_EQ(filesWithBytes(m_dir), before) << c.options;
    }

    // Names m4 reads whole (of the set, the container and includes): an
    // apostrophe, balanced parentheses with a comma
    // inside, a blank past the first byte, a builtin m4 calls only with
    // arguments, a comment that ends at the name's line end.
    const std::string odd = "compile \"it's (1).tos\"" + kAxisVars.flag +
                            " -o \"it's (1).dsc\" --include 'a(b,c).h' --include 'x y.h' --include define "
                            "--include 'a#b\nc'";
    std::string first;
    for (int round = 0; round < 2; ++round) {
        const Result r = run(odd, kAxisVars.env);
        ASSERT_EQ(r.exit, 0) << r.out << r.err;
        const std::string read = m4test::m4NamesIn(m_dir, {"it's (1).m4h", "it's (1).m4c"});
        for (const char* piece : {"<name 1:it's (1)>\n<include 1:bocont.hpp>\n<include 1:a(b,c).h>\n"
                                  "<include 1:x y.h>\n<include 1:define>\n<include 1:a#b\nc>\n",
                                  "<name 1:it's (1)>\n<include 1:math.h>\n", "<include 1:it's (1).h>\n",
                                  "<declcont 1:it's (1)>\n", "<begin_create_impl 1:it's (1)>\n",
                                  "\nstatus 0"})
            EXPECT_NE(read.find(piece), std::string::npos) << piece << "\n" << read;
        EXPECT_EQ(read.find("m4:"), std::string::npos) << read;
        const std::string made = readFile(path("it's (1).m4h")) + readFile(path("it's (1).m4c"));
        if (round == 0) first = made;
        EXPECT_EQ(made, first) << "the second run";
    }

    // Names only a path carries: TARGET's with --impl, the folders of
    // --impl, the part of its last part before a backslash.
    std::filesystem::create_directory(path("p,q"));
    for (const char* options : {"-o 'a,b.dsc' --impl ok", "-o u.dsc --impl 'p,q/ok2'", "-o v.dsc --impl 'a#b\\ok3'"}) {
        const Result r = run(axis + " " + options, kAxisVars.env);
        EXPECT_EQ(r.exit, 0) << options << r.err;
    }
    EXPECT_TRUE(exists(path("a,b.dsc")));
    EXPECT_TRUE(exists(path("p,q/ok2.m4c")));
    EXPECT_NE(readFile(path("a#b\\ok3.m4c")).find("NAME(ok3)\n"), std::string::npos);
}

// The names are checked where they are written: the macro files of a
// technology object, of either kind, name their set, the container and the
// includes; a package's and a device's hold none of them. Over the kinds
// and the roads a name comes by (TARGET, --impl, --include, SOURCE), into a
// new target and into the one an earlier compile left: a technology object
// is refused with nothing changed, a package or a device compiles as under
// plain names, and m4 reads its macro files back.
TEST_F(HostCommand, MacroNamesAreCheckedWhereTheyAreWritten)
{
    const struct {
        const char* example;
        bool named;  // its macro files hold the names
    } kinds[] = {{"axis.tos", true}, {"encoder.tos", true}, {"motion.tps", false}, {"controller.dvs", false}};
    const struct {
        const char* source;  // its stem, with the example's extension
        const char* options;
        const char* target;
        const char* base;  // of the macro files
    } roads[] = {
        {"plain", "-o 'a,b.dsc'", "a,b.dsc", "a,b"},
        {"plain", "-o t.dsc --impl 'sub\\'", "t.dsc", "sub\\"},
        {"plain", "-o t.dsc --include 'x#y.h'", "t.dsc", "t"},
        {"s,1", "-o u.dsc", "u.dsc", "u"},
    };
    for (const auto& k : kinds) {
        const std::string example = k.example, ext = example.substr(example.rfind('.'));
        for (const char* stem : {"plain", "s,1"})
            std::ofstream(path(stem + ext)) << readFile(std::string(TV_SOURCE_DIR) + "/examples/" + example);
        const hosttest::SysVars vars = hosttest::exampleSysVars(example);
        auto compile = [&](const std::string& stem, const std::string& options) {
            return run("compile '" + stem + ext + "'" + vars.flag + " " + options, vars.env);
        };
        const int plain = compile("plain", "-o plain.dsc").exit;
        for (const auto& road : roads) {
            const std::string what = example + " " + road.options;
            for (int round = 0; round < 2; ++round) {
                // The second round goes into a target that is there.
                if (round == 1 && k.named) {
                    EXPECT_EQ(compile("plain", "-o '" + std::string(road.target) + "' --impl ok").exit, plain) << what;
                }
                const auto before = filesWithBytes(m_dir);
                const Result r = compile(road.source, road.options);
                if (k.named) {
                    EXPECT_EQ(r.exit, 2) << what;
                    EXPECT_EQ(r.out, "") << what;
                    EXPECT_NE(r.err.find(": the macro files "), std::string::npos) << what << "\n" << r.err;
                    EXPECT_EQ(filesWithBytes(m_dir), before) << what;
                    continue;
                }
                EXPECT_EQ(r.exit, plain) << what << "\n" << r.err;
                EXPECT_EQ(r.err.find("the macro files"), std::string::npos) << what << "\n" << r.err;
                if (plain != 0) continue;
                const std::string base = road.base;
                const std::string read = m4test::m4NamesIn(m_dir, {base + ".m4h", base + ".m4c"});
                EXPECT_EQ(read.find("m4:"), std::string::npos) << what << "\n" << read;
                EXPECT_NE(read.find("DECLIMPL"), std::string::npos) << what << "\n" << read;
                EXPECT_EQ(read.substr(read.size() - 9), "\nstatus 0") << what << "\n" << read;
            }
        }
    }
}

// The container is named by SOURCE's bytes, as the set is: a UTF-8 name and
// one of code page 1252 reach the macro files as they are, and m4 reads
// them back so.
TEST_F(HostCommand, ContainerIsNamedBySourceBytes)
{
    for (const std::string stem : {"\xE6\x97\xA5\xE6\x9C\xAC", "Gr\xC3\xB6\xC3\x9F" "e", "Gr\xF6\xDF" "e \x80"}) {
        std::ofstream(path(stem + ".tos")) << readFile(kAxis);
        for (int round = 0; round < 2; ++round) {
            const Result r = run("compile '" + stem + ".tos'" + kAxisVars.flag + " -o c.dsc", kAxisVars.env);
            ASSERT_EQ(r.exit, 0) << r.out << r.err;
            const std::string read = m4test::m4NamesIn(m_dir, {"c.m4h", "c.m4c"});
            EXPECT_NE(read.find("<declcont 1:" + stem + ">\n"), std::string::npos) << read;
            EXPECT_NE(read.find("<begin_create_impl 1:" + stem + ">\n"), std::string::npos) << read;
        }
    }
}

namespace {

// Writes text into the named pipe path from a thread of its own, once a
// reader has opened it (up to a minute) and after delayMs: a pipe nobody
// opens leaves no writer waiting.
std::thread pipeWriter(const std::string& path, const std::string& text, int delayMs = 0)
{
    return std::thread([path, text, delayMs] {
        ::usleep(useconds_t(delayMs) * 1000);
        int fd = -1;
        for (int i = 0; i < 6000 && fd < 0; ++i) {
            fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0) ::usleep(10000);
        }
        if (fd < 0) return;
        ::fcntl(fd, F_SETFL, 0);
        for (size_t at = 0; at < text.size();) {
            const ssize_t w = ::write(fd, text.data() + at, text.size() - at);
            if (w <= 0) break;
            at += size_t(w);
        }
        ::close(fd);
    });
}

std::size_t filesIn(const std::string& dir)
{
    namespace fs = std::filesystem;
    return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Sets TMPDIR for the life of the object (an empty one stands for none).
struct TmpDir {
    explicit TmpDir(const std::string& dir) : m_old(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "")
    {
        ::mkdir(dir.c_str(), 0700);
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TmpDir() { m_old.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", m_old.c_str(), 1); }
    std::string m_old;
};

}  // namespace

// A SOURCE that cannot be read twice (a named pipe, a shell's "<(...)", a
// device) is read once into a temporary file, which goes with the object;
// a regular file is read where it is. Nothing beyond the largest source is
// taken: a source that never ends is stopped there, a larger file refused.
TEST_F(HostCommand, ASourceThatCannotBeReadTwiceIsReadOnceUpToTheLargest)
{
    const std::string tmp = path("tmp");
    TmpDir setTmp(tmp);
    const std::string text = readFile(kAxis);

    {
        SourceFile regular(kAxis);
        EXPECT_TRUE(regular.open());
        EXPECT_FALSE(regular.copied());
        EXPECT_EQ(regular.path(), kAxis);
    }

    // A named pipe whose writer comes late: the wait is said.
    const std::string fifo = path("named.tos");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        std::thread writer = pipeWriter(fifo, text, 1300);
        SourceFile named(fifo);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(named.open());
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "tavolin: waiting for a writer of " + fifo + " (a named pipe)\n");
        writer.join();
        EXPECT_TRUE(named.copied());
        EXPECT_EQ(named.path().rfind(tmp + "/", 0), 0u) << named.path();
        EXPECT_EQ(readFile(named.path()), text);
        EXPECT_EQ(filesIn(tmp), 1u);
    }
    EXPECT_EQ(filesIn(tmp), 0u);
    // An ACX file that is a named pipe is read once the same way; any other
    // ACX file (a device too) is left to the reader as it is.
    {
        std::thread writer = pipeWriter(fifo, "AcX", 1300);
        SourceFile acx(fifo, SourceFile::Role::Acx);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(acx.open());
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "tavolin: waiting for a writer of " + fifo + " (a named pipe)\n");
        writer.join();
        EXPECT_TRUE(acx.copied());
        EXPECT_EQ(readFile(acx.path()), "AcX");
    }
    for (const std::string& other : {kAxis, std::string("/dev/zero"), path("missing.acx")}) {
        SourceFile acx(other, SourceFile::Role::Acx);
        EXPECT_TRUE(acx.open(16));
        EXPECT_FALSE(acx.copied()) << other;
        EXPECT_EQ(acx.path(), other);
    }
    EXPECT_EQ(filesIn(tmp), 0u);

    // An anonymous pipe through /dev/fd, as "<(...)" gives it.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "TO_HEADER", 9), 9);
    ::close(ends[1]);
    {
        SourceFile anonymous("/dev/fd/" + std::to_string(ends[0]));
        EXPECT_TRUE(anonymous.open());
        EXPECT_EQ(readFile(anonymous.path()), "TO_HEADER");
    }
    ::close(ends[0]);

    // /dev/zero never ends: stopped at the largest source, with nothing left.
    testing::internal::CaptureStderr();
    {
        SourceFile zero("/dev/zero");
        EXPECT_FALSE(zero.open(1 << 20));
        EXPECT_EQ(zero.path(), "/dev/zero");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tavolin: /dev/zero (a character device) gives more than the largest source the command compiles "
              "(1048576 bytes, 1 MiB): not compiled\n");
    EXPECT_EQ(filesIn(tmp), 0u);
    // Exactly the largest is taken; a regular file one byte larger is not.
    const std::string big = path("big.tos");
    std::ofstream(big).close();
    ASSERT_EQ(::truncate(big.c_str(), 4096), 0);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(SourceFile(big).open(4096));
    EXPECT_FALSE(SourceFile(big).open(4095));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tavolin: " + big +
                  " has 4096 bytes, more than the largest source the command compiles (4095 bytes): not compiled\n");
    EXPECT_EQ(filesIn(tmp), 0u);
    ::unlink(fifo.c_str());
}

// The messages of a source read from a named pipe name the pipe, not its
// copy, and the copy goes with the compile.
TEST_F(HostCommand, MessagesOfANamedPipeNameIt)
{
    const std::string tmp = path("tmp");
    ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
    const std::string fifo = path("axis.tos");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string text = readFile(kAxis);
    const std::string bad = text.substr(0, text.find("END_TO_HEADER") + 14) + "VALUES\n!\nEND_VALUES\n";
    std::thread writer = pipeWriter(fifo, bad);
    // Under a time limit: a command that opens the pipe a second time waits
    // for a writer that never comes.
    Result r = run("compile '" + fifo + "' -o '" + path("bad.dsc") + "'", "TMPDIR='" + tmp + "' timeout 60");
    writer.join();
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err.rfind(fifo + "(", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find(tmp), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(tmp), 0u);

    // An ACX file that is a named pipe whose writer comes late: the wait is
    // said, and the file is imported as a regular one is.
    using namespace acxtest;
    const Bytes acx = file({compound(0, {compound(2144, {str(67, "Achse"), compound(2147, {u8(2122, 2)})})})});
    const std::string acxPipe = path("axis.acx");
    ASSERT_EQ(::mkfifo(acxPipe.c_str(), 0600), 0);
    std::thread acxWriter = pipeWriter(acxPipe, std::string(acx.begin(), acx.end()), 1300);
    r = run("compile '" + kAxis + "' -o '" + path("acx.dsc") + "' --rc acx.rc --acx axis.acx" + kAxisVars.flag,
            "TMPDIR='" + tmp + "' " + kAxisVars.env + " timeout 60");
    acxWriter.join();
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "tavolin: waiting for a writer of axis.acx (a named pipe)\n");
    EXPECT_TRUE(exists(path("acx.dsc")));
    EXPECT_EQ(filesIn(tmp), 0u);
}
