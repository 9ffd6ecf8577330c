// The bytes of the main road stay what they were: for the examples and for
// generated sources, the working file the entry method leaves behind and the
// target the tavolin command writes (new and existing), stream by stream,
// and the command's messages, against a hash list kept beside this test.
//
// Run with TV_UPDATE_GOLDEN=1 to write the list anew after an intended
// change of the written bytes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/main_road_source.h"
#include "bench/whole_source.h"
#include "base/fs/FsSecClMem.h"
#include "co/GlobTools.h"
#include "tests/host/HostSysVars.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdFrontEnd.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
const std::string kGolden = std::string(TV_SOURCE_DIR) + "/tests/host/main_road_hashes.golden";
const std::string kWholeGolden = std::string(TV_SOURCE_DIR) + "/tests/host/whole_compile_hashes.golden";

std::string example(const char* name)
{
    return mainroad::readText(std::string(TV_SOURCE_DIR) + "/examples/" + name);
}

// 64-bit FNV-1a: stable everywhere, enough to tell changed bytes apart.
std::string hashOf(const void* data, std::size_t n)
{
    uint64_t h = 1469598103934665603ull;
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%zu %016llx", n, static_cast<unsigned long long>(h));
    return buf;
}

std::string hashOf(const std::string& s)
{
    return hashOf(s.data(), s.size());
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// One line per element of the storage, depth first in name order:
// "<what> <path> <size> <hash>".
void listStorage(IStorage* stg, const std::string& prefix, const std::string& what, std::string& out)
{
    IEnumSTATSTG* e = nullptr;
    if (FAILED(stg->EnumElements(0, nullptr, 0, &e)) || !e) {
        out += what + " " + prefix + " <not enumerable>\n";
        return;
    }
    STATSTG st;
    ULONG got = 0;
    while (e->Next(1, &st, &got) == S_OK && got == 1) {
        const std::string name = tvp::wideToUtf8(st.pwcsName);
        CoTaskMemFree(st.pwcsName);
        const std::string path = prefix + "/" + name;
        if (st.type == STGTY_STORAGE) {
            IStorage* sub = nullptr;
            if (SUCCEEDED(stg->OpenStorage(tvp::utf8ToWide(name).c_str(), nullptr,
                                           STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub))) {
                out += what + " " + path + "/\n";
                listStorage(sub, path, what, out);
                sub->Release();
            }
            continue;
        }
        IStream* s = nullptr;
        std::string bytes;
        if (SUCCEEDED(stg->OpenStream(tvp::utf8ToWide(name).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                      &s))) {
            char buf[65536];
            ULONG n = 0;
            while (SUCCEEDED(s->Read(buf, sizeof buf, &n)) && n > 0) bytes.append(buf, n);
            s->Release();
        }
        out += what + " " + path + " " + hashOf(bytes) + "\n";
    }
    e->Release();
}

// The whole file and each of its streams. A sub-storage carries the time it
// was made, so the bytes of a file holding one are not compared whole, only
// its size.
std::string compoundLines(const std::string& file, const std::string& what)
{
    const std::string bytes = mainroad::readText(file);
    IStorage* stg = nullptr;
    if (FAILED(StgOpenStorage(tvp::utf8ToWide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr,
                              0, &stg)))
        return what + " file " + hashOf(bytes) + "\n" + what + " <not a compound file>\n";
    std::string elements;
    listStorage(stg, "", what, elements);
    stg->Release();
    const bool timed = elements.find("/\n") != std::string::npos;
    return what + " file " + (timed ? std::to_string(bytes.size()) : hashOf(bytes)) + "\n" + elements;
}

class MainRoadIdentity : public ::testing::Test {
protected:
    void SetUp() override
    {
        struct stat st;
        ASSERT_EQ(::stat(kTavolin.c_str(), &st), 0) << "build the tavolin command first";
        m_dir = createTempDirectory().c_str();
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override { removeDirectoryTree(m_dir.c_str()); }

    // Runs the command in the scratch directory (relative paths, so that
    // the messages do not depend on where it lies; the class provider's
    // path, which the system-variable step names, is cut to its file name).
    std::string command(const std::string& args, const hosttest::SysVars& sysVars, const std::string& what)
    {
        const std::string cmd = "cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS " + sysVars.env + "'" + kTavolin +
                                "' " + args + sysVars.flag + " >stdout 2>stderr";
        const int status = std::system(cmd.c_str());
        const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::string out = mainroad::readText(m_dir + "/stdout");
        const std::string provider = "through the class provider ";
        for (std::size_t at = out.find(provider); at != std::string::npos; at = out.find(provider, at + 1)) {
            const std::size_t from = at + provider.size();
            const std::size_t slash = out.rfind('/', out.find('\n', from));
            if (slash != std::string::npos && slash >= from) out.erase(from, slash + 1 - from);
        }
        return what + " exit " + std::to_string(exitCode) + "\n" + what + " stdout " + hashOf(out) + "\n" + what +
               " stderr " + hashOf(mainroad::readText(m_dir + "/stderr")) + "\n";
    }

    // The working file the entry method makes from the source and the host
    // storage in the file `host`, as it stands when the entry method is done.
    std::string workingFile(const std::string& source, const std::string& host, uint32_t mask,
                            const std::string& what)
    {
        // A target the command did not write (a step failed) leaves an
        // empty host storage in memory: the split is hashed all the same.
        IStorage* stg = nullptr;
        std::string hostNote;
        if (FAILED(StgOpenStorage(tvp::utf8ToWide(host).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  nullptr, 0, &stg))) {
            if (!fsCreateMemStorage(&stg)) return what + " <no host storage>\n";
            hostNote = what + " <empty host storage>\n";
        }
        FsFileMan work;
        String workPath;
        std::unique_ptr<FsSectMan> target;
        int32_t kind = -1;
        RTTypeID typeId;
        MdWorkState state;
        state.workFile = &work;
        state.workPath = &workPath;
        state.target = &target;
        state.objectKind = &kind;
        state.typeId = &typeId;
        int32_t status = 0;
        const HRESULT hr = mdOpenWorkingSource(source.c_str(), stg, mask, state, status);
        work.CloseFile();
        target.reset();
        stg->Release();
        char head[64];
        std::snprintf(head, sizeof head, " hr %08x status %08x kind %d\n", unsigned(hr), unsigned(status), int(kind));
        std::string out = hostNote + what + head + compoundLines(workPath.c_str(), what);
        if (!workPath.empty()) ::unlink(workPath.c_str());
        return out;
    }

    // A source through the whole road: into a new target, into the same
    // target again, and the working file over that target. The system
    // variables are those of the example `sysVarsOf` (none for "").
    std::string road(const std::string& name, const std::string& text, uint32_t mask = 0,
                     const std::string& sysVarsOf = "axis.tos")
    {
        const hosttest::SysVars sysVars = hosttest::exampleSysVars(sysVarsOf);
        writeText(m_dir + "/" + name, text);
        const std::string target = name + ".dsc";
        // The string tables go to a resource script beside the target (the
        // alarm tables need one); the script itself is not hashed. The boot
        // functions take the stand-in name classifier beside the command.
        const std::string maskArg =
            (mask ? " --mask " + std::to_string(mask) : std::string()) + " --rc " + name + ".rc";
        std::string out = command("compile " + name + " -o " + target + maskArg, sysVars, name + " new");
        out += compoundLines(m_dir + "/" + target, name + " new");
        out += command("compile " + name + " -o " + target + maskArg, sysVars, name + " existing");
        out += compoundLines(m_dir + "/" + target, name + " existing");
        out += workingFile(m_dir + "/" + name, m_dir + "/" + target, mask, name + " work");
        return out;
    }

    std::string m_dir;
};

// The lines of `got` against the list in `golden`, one by one so that a
// difference names its stream; TV_UPDATE_GOLDEN=1 writes the list instead.
void compareWithGolden(const std::string& got, const std::string& golden)
{
    if (const char* update = std::getenv("TV_UPDATE_GOLDEN"); update && *update) {
        writeText(golden, got);
        GTEST_SKIP() << "wrote " << golden;
    }
    const std::string want = mainroad::readText(golden);
    ASSERT_FALSE(want.empty()) << "no golden list at " << golden << " (TV_UPDATE_GOLDEN=1 writes it)";
    std::istringstream a(got), b(want);
    std::string la, lb;
    int line = 0;
    while (true) {
        const bool ha = bool(std::getline(a, la));
        const bool hb = bool(std::getline(b, lb));
        ++line;
        if (!ha && !hb) break;
        EXPECT_EQ(la, lb) << "line " << line;
    }
}

// A grown source that compiles whole (bench/whole_source.h) of `repeats`
// repetitions, written as `name` with the table of its system variables
// beside it; the environment that hands the table to the class provider.
hosttest::SysVars writeWholeSource(const std::string& dir, const std::string& name, int repeats)
{
    writeText(dir + "/" + name, wholesrc::wholeSource(example("axis.tos"), repeats));
    const std::string list = dir + "/" + name + ".sysvars";
    const std::string symb = dir + "/" + name + ".symb";
    writeText(list, wholesrc::wholeSysVars(example("axis.sysvars"), repeats));
    const std::string cmd = "'" + hosttest::mksymbPath() + "' '" + list + "' '" + symb + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return hosttest::SysVars{hosttest::sysVarsFileEnv(symb)};
}

// The grown source the bench measures does the compilers' whole work: every
// step succeeds without a message, and the compile of 50 repetitions says
// what that of one says - no repeated id stops a compiler early.
TEST_F(MainRoadIdentity, GrownSourceCompilesWholeAtAnySize)
{
    std::string first;
    for (int repeats : {1, 50}) {
        const std::string name = "whole" + std::to_string(repeats) + ".tos";
        const hosttest::SysVars sysVars = writeWholeSource(m_dir, name, repeats);
        const std::string cmd = "cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS " + sysVars.env + "'" + kTavolin +
                                "' compile " + name + " -o out.dsc --rc out.rc" + sysVars.flag +
                                " >stdout 2>stderr";
        ::unlink((m_dir + "/out.dsc").c_str());
        ::unlink((m_dir + "/out.rc").c_str());
        const int status = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << repeats << " repetitions";
        EXPECT_EQ(mainroad::readText(m_dir + "/stderr"), "") << repeats << " repetitions";
        const std::string out = mainroad::readText(m_dir + "/stdout");
        for (const char* step : {"compileComments", "compileVariables", "compileConnections", "compileAlarms",
                                 "compileBootFunctions", "compileImplementations", "copySections"})
            EXPECT_NE(out.find(step), std::string::npos) << step << " did not run:\n" << out;
        if (first.empty()) first = out;
        else EXPECT_EQ(out, first);
    }
}

// Whole compiles keep their bytes: a grown source that compiles whole, into
// a new target and into that target again, each with its own resource
// script - every stream of the target, the script, the macro files and the
// command's output, against a hash list kept beside this test.
TEST_F(MainRoadIdentity, WholeCompileKeepsItsBytes)
{
    // Large enough that the compilers' tables grow past their first blocks
    // and the streams past the compound file's small sectors.
    const int repeats = 300;
    const std::string name = "whole.tos";
    const hosttest::SysVars sysVars = writeWholeSource(m_dir, name, repeats);
    // The same again with every stream of more than 4 KB spilled into a
    // temporary file: the same bytes.
    hosttest::SysVars spilled = sysVars;
    spilled.env = "TV_STORAGE_SPILL=4096,1 " + spilled.env;
    std::string got, again;
    for (const hosttest::SysVars* vars : {&sysVars, static_cast<const hosttest::SysVars*>(&spilled)}) {
        std::string& out = vars == &sysVars ? got : again;
        ::unlink((m_dir + "/whole.dsc").c_str());
        for (const char* way : {"new", "existing"}) {
            const std::string what = name + " " + way;
            for (const char* f : {"whole.rc", "whole.m4h", "whole.m4c"}) ::unlink((m_dir + "/" + f).c_str());
            out += command("compile " + name + " -o whole.dsc --rc whole.rc", *vars, what);
            out += compoundLines(m_dir + "/whole.dsc", what);
            for (const char* f : {"whole.rc", "whole.m4h", "whole.m4c"})
                out += what + " " + f + " " + hashOf(mainroad::readText(m_dir + "/" + f)) + "\n";
        }
    }
    compareWithGolden(got, kWholeGolden);
    EXPECT_EQ(again, got) << "with every stream spilled";
}

TEST_F(MainRoadIdentity, WorkingFileTargetAndMessagesKeepTheirBytes)
{
    std::string got;
    // Each example with its own system variables (the others have none).
    for (const char* name : {"axis.tos", "encoder.tos", "motion.tps", "controller.dvs"})
        got += road(name, example(name), 0, name);
    const std::string axis = example("axis.tos");
    // Large enough that streams cross the window of the section stream and
    // the sector sizes of the compound file.
    got += road("grown.tos", mainroad::grownSource(axis, 400u << 10));
    got += road("grown_masked.tos", mainroad::grownSource(axis, 100u << 10), 0x7E);
    // Padding far longer than any buffer of the split.
    got += road("blank.tos", mainroad::blankLinesSource(axis, 70000));
    // A source with errors and without a header.
    got += road("broken.tos", "VALUES\n  x\nEND_VALUES\n\nCONFIGS\nEND_CONFIGS\nCONFIGS\nEND_CONFIGS\n$\n", 0, "");
    // Headers after sections, a second header of another kind, and a
    // broken header followed by a sound one: the new target is made for
    // the kind the whole source gives.
    const std::string motion = example("motion.tps");
    const std::size_t tpEnd = motion.find("END_TP_HEADER") + 14;
    // (The first two are packages: no system variables.)
    got += road("late_header.tos", axis.substr(axis.find("END_TO_HEADER") + 14) + motion.substr(0, tpEnd), 0, "");
    got += road("two_headers.tos", axis + motion.substr(0, tpEnd), 0, "");
    got += road("mended_header.tos", "TP_HEADER\nDATE := DT#1;\nEND_TP_HEADER\n" + axis);

    compareWithGolden(got, kGolden);
}

}  // namespace
