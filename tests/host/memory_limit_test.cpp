// The tavolin command under a limit of its address space (RLIMIT_AS, as
// `ulimit -v` sets it), swept from too small to start up to enough, on a
// grown source that compiles whole, recompiled into outputs that exist. At
// every limit the command either compiles (exit 0, the outputs those of a
// run without a limit) or says on its last line that memory ran out (exit
// 1, every output byte for byte as it was, no message at a line of the
// source); it never aborts, and leaves no temporary file behind. Below the
// libraries' own needs the system's loader refuses to start it (exit 127).
// The same holds when the block pools' Nth chunk fails, for each N in turn.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/whole_source.h"
#include "co/GlobTools.h"
#include "tests/host/HostFiles.h"
#include "tests/host/HostSysVars.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
const char* const kOutputs[] = {"t.dsc", "t.rc", "t.m4h", "t.m4c"};

struct Outcome {
    int exitCode = -1;  // -1: ended by a signal
    int signal = 0;
    std::string out, err;
};

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

std::string lastLine(std::string text)
{
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

class MemoryLimit : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef __SANITIZE_ADDRESS__
        GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#endif
        m_dir = createTempDirectory().c_str();
        ASSERT_FALSE(m_dir.empty());
        m_tmp = m_dir + "/tmp";
        ASSERT_EQ(::mkdir(m_tmp.c_str(), 0700), 0);
    }
    void TearDown() override
    {
        if (!m_dir.empty()) removeDirectoryTree(m_dir.c_str());
    }

    // The command on t.tos into t.dsc and the other outputs, its address
    // space limited to limit bytes (0: none), the pools' chunk failChunk
    // refused (0: none).
    Outcome compile(std::size_t limit, unsigned failChunk = 0)
    {
        Outcome o;
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(m_dir.c_str()) != 0) ::_exit(126);
            const int out = ::open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
            ::setenv("TMPDIR", m_tmp.c_str(), 1);
            ::setenv("TVCLSPRV_SECTION", "symb", 1);
            ::setenv("TVCLSPRV_SECTION_FILE", (m_dir + "/t.symb").c_str(), 1);
            ::unsetenv("TAVOLIN_SETTINGS");
            if (failChunk) ::setenv("TV_FAIL_POOL_CHUNK", std::to_string(failChunk).c_str(), 1);
            if (limit) {
                const rlimit r = {rlim_t(limit), rlim_t(limit)};
                if (::setrlimit(RLIMIT_AS, &r) != 0) ::_exit(126);
            }
            ::execl(kTavolin.c_str(), kTavolin.c_str(), "compile", "t.tos", "-o", "t.dsc", "--rc", "t.rc", "--impl",
                    "t", "--flag", "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return o;
        if (WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
        o.out = hosttest::readFile(m_dir + "/stdout");
        o.err = hosttest::readFile(m_dir + "/stderr");
        return o;
    }

    std::map<std::string, std::string> outputs() const
    {
        std::map<std::string, std::string> bytes;
        for (const char* f : kOutputs) bytes[f] = hosttest::readFile(m_dir + "/" + f);
        return bytes;
    }

    // Writes t.tos with the table of its system variables, and compiles it
    // without a limit twice, the second time into outputs that differ from
    // what it writes: what every compile that succeeds leaves (m_compiled).
    void prepare(const std::string& source, const std::string& sysvars)
    {
        std::ofstream(m_dir + "/t.tos", std::ios::binary) << source;
        std::ofstream(m_dir + "/t.sysvars", std::ios::binary) << sysvars;
        const std::string mksymb = "'" + hosttest::mksymbPath() + "' '" + m_dir + "/t.sysvars' '" + m_dir + "/t.symb'";
        ASSERT_EQ(std::system(mksymb.c_str()), 0);
        ASSERT_EQ(compile(0).exitCode, 0);
        m_compiled = outputs();
        for (const char* f : kOutputs) std::ofstream(m_dir + "/" + f, std::ios::binary | std::ios::app) << "\n";
        const Outcome again = compile(0);
        ASSERT_EQ(again.exitCode, 0) << again.err;
        ASSERT_EQ(again.err, "");
        ASSERT_EQ(outputs(), m_compiled) << "a recompile gives the same outputs whatever they held";
    }

    // One compile (see compile) into outputs that differ from what it
    // writes, checked: it compiled (true) with the outputs and nothing on
    // standard error; or it said on its one line that memory ran out with
    // every output as it was; or the system's loader could not start it.
    // No temporary file is left either way.
    bool checkedCompile(const std::string& what, std::size_t limit, unsigned failChunk = 0)
    {
        SCOPED_TRACE(what);
        std::map<std::string, std::string> before;
        for (const char* f : kOutputs) {
            before[f] = m_compiled.at(f) + "\n" + what;
            std::ofstream(m_dir + "/" + f, std::ios::binary | std::ios::trunc) << before[f];
        }
        const Outcome o = compile(limit, failChunk);
        EXPECT_EQ(o.signal, 0) << "ended by signal " << o.signal << "\n" << o.err;
        EXPECT_TRUE(entries(m_tmp).empty()) << "a temporary file is left";
        EXPECT_EQ(entries(m_dir).size(), 10u) << "a temporary file is left beside the outputs";  // with tmp
        if (o.exitCode == 0) {
            EXPECT_EQ(outputs(), m_compiled);
            EXPECT_EQ(o.err, "");
            return true;
        }
        EXPECT_EQ(outputs(), before) << o.err;
        if (o.exitCode == 127 && o.err.find("error while loading shared libraries") != std::string::npos)
            return false;
        ++m_ranOut;
        EXPECT_EQ(o.exitCode, 1) << o.err;
        const std::string last = lastLine(o.err);
        EXPECT_EQ(last.rfind("tavolin: memory ran out", 0), 0u) << o.err;
        EXPECT_TRUE(last.find("t.dsc, t.rc, t.m4h and t.m4c are as they were") != std::string::npos ||
                    last.find("nothing was written") != std::string::npos)
            << o.err;
        // Nothing is blamed on the source: no message names it, and the
        // memory line is the only line.
        EXPECT_EQ(o.err.find("t.tos"), std::string::npos) << o.err;
        EXPECT_EQ(o.err, last + "\n");
        return false;
    }

    std::string m_dir, m_tmp;
    std::map<std::string, std::string> m_compiled;
    int m_ranOut = 0;  // compiles that said memory ran out
};

std::string example(const char* name)
{
    return hosttest::readFile(std::string(TV_SOURCE_DIR) + "/examples/" + name);
}

TEST_F(MemoryLimit, EveryLimitCompilesOrSaysMemoryRanOut)
{
    // About 1 MB of source: every section compiler, the compound file's
    // large streams and the macro files are met, and a run takes a tenth of
    // a second.
    const int repeats = 500;
    prepare(wholesrc::wholeSource(example("axis.tos"), repeats),
            wholesrc::wholeSysVars(example("axis.sysvars"), repeats));

    // The smallest limit (in steps of 1 MB) that compiles, found by halving,
    // so that the sweep covers the limits just below it on any machine.
    std::size_t low = 1, high = 4096;
    while (high - low > 1) {
        const std::size_t mid = (low + high) / 2;
        (compile(mid << 20).exitCode == 0 ? high : low) = mid;
    }
    ASSERT_LT(high, 4096u) << "no limit below 4 GB compiles";

    int compiledAt = 0;
    for (std::size_t kb = (high > 24 ? high - 24 : 1) << 10; kb <= (high + 1) << 10; kb += 512)
        compiledAt += checkedCompile("limit " + std::to_string(kb) + " KB", kb << 10);
    // The sweep reaches both ends.
    EXPECT_GT(compiledAt, 0);
    EXPECT_GT(m_ranOut, 0);
}

// Memory that runs out at each chunk the block pools take, in turn, on the
// compile of an example: the compile ends as under a limit.
TEST_F(MemoryLimit, EveryPoolChunkThatFailsEndsTheCompileAlike)
{
    prepare(example("axis.tos"), example("axis.sysvars"));
    unsigned chunk = 1;
    for (; chunk < 2000; ++chunk)
        if (checkedCompile("chunk " + std::to_string(chunk), 0, chunk)) break;
    EXPECT_LT(chunk, 2000u) << "the compile takes no more chunks than that";
    EXPECT_GT(m_ranOut, 0);
    EXPECT_EQ(m_ranOut, int(chunk) - 1);
}

}  // namespace
