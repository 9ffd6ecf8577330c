// The tavolin command under a limit of its address space (RLIMIT_AS, as
// `ulimit -v` sets it), swept from too small to start up to enough, on a
// grown source that compiles whole, recompiled into outputs that exist. At
// every limit the command either compiles (exit 0, the outputs those of a
// run without a limit) or says on its last line that memory ran out (exit
// 1, every output byte for byte as it was, no message at a line of the
// source); it never aborts, and leaves no temporary file behind.
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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

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
        if (kSanitized) GTEST_SKIP() << "a sanitizer reserves more address space than any limit swept";
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
    // space limited to limit bytes (0: none).
    Outcome compile(std::size_t limit)
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

    std::string m_dir, m_tmp;
};

TEST_F(MemoryLimit, EveryLimitCompilesOrSaysMemoryRanOut)
{
    // About 1 MB of source: every section compiler, the compound file's
    // large streams and the macro files are met, and a run takes a tenth of
    // a second.
    const int repeats = 500;
    const std::string example = hosttest::readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
    const std::string sysvars = hosttest::readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.sysvars");
    std::ofstream(m_dir + "/t.tos", std::ios::binary) << wholesrc::wholeSource(example, repeats);
    std::ofstream(m_dir + "/t.sysvars", std::ios::binary) << wholesrc::wholeSysVars(sysvars, repeats);
    const std::string mksymb = "'" + hosttest::mksymbPath() + "' '" + m_dir + "/t.sysvars' '" + m_dir + "/t.symb'";
    ASSERT_EQ(std::system(mksymb.c_str()), 0);

    // The outputs of a compile without a limit, and of a second one into
    // outputs that differ from them: what every compile that succeeds
    // leaves.
    ASSERT_EQ(compile(0).exitCode, 0);
    const std::map<std::string, std::string> compiled = outputs();
    for (const char* f : kOutputs) std::ofstream(m_dir + "/" + f, std::ios::binary | std::ios::app) << "\n";
    const Outcome again = compile(0);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    ASSERT_EQ(again.err, "");
    ASSERT_EQ(outputs(), compiled) << "a recompile gives the same outputs whatever they held";

    // The smallest limit (in steps of 1 MB) that compiles, found by halving,
    // so that the sweep covers the limits just below it on any machine.
    std::size_t low = 1, high = 4096;
    while (high - low > 1) {
        const std::size_t mid = (low + high) / 2;
        (compile(mid << 20).exitCode == 0 ? high : low) = mid;
    }
    ASSERT_LT(high, 4096u) << "no limit below 4 GB compiles";

    int compiledAt = 0, ranOutAt = 0;
    for (std::size_t kb = (high > 24 ? high - 24 : 1) << 10; kb <= (high + 1) << 10; kb += 512) {
        SCOPED_TRACE("limit " + std::to_string(kb) + " KB");
        // Each compile starts from outputs that differ from what it writes.
        std::map<std::string, std::string> before;
        for (const char* f : kOutputs) {
            before[f] = compiled.at(f) + "\n" + std::to_string(kb);
            std::ofstream(m_dir + "/" + f, std::ios::binary | std::ios::trunc) << before[f];
        }
        const Outcome o = compile(kb << 10);
        ASSERT_EQ(o.signal, 0) << "ended by signal " << o.signal << "\n" << o.err;
        EXPECT_TRUE(entries(m_tmp).empty()) << "a temporary file is left";
        EXPECT_EQ(entries(m_dir).size(), 10u) << "a temporary file is left beside the outputs";  // with tmp
        if (o.exitCode == 0) {
            ++compiledAt;
            EXPECT_EQ(outputs(), compiled);
            EXPECT_EQ(o.err, "");
            continue;
        }
        EXPECT_EQ(outputs(), before) << o.err;
        // Not started: the loader could not map the command's libraries.
        if (o.exitCode == 127 && o.err.find("error while loading shared libraries") != std::string::npos) continue;
        ++ranOutAt;
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
    }
    // The sweep reaches both ends.
    EXPECT_GT(compiledAt, 0);
    EXPECT_GT(ranOutAt, 0);
}

}  // namespace
