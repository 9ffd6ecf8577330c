// Reads a macro file back as its consumer does: GNU m4 over the file, with
// the stub macro library beside this header (bfimplmk.m4), which expands
// each macro of the macro files to "/* stub_name:ARGUMENTS */". A text
// that m4 takes back as it stands shows there byte for byte; one whose
// quotes m4 reads otherwise shows changed, or m4 fails at the end of the
// file.
//
// The names the macro files write without quotes (NAME(set), INCLUDE(name))
// (and the container's, DECLCONT(name)) are read back with the same stub,
// in which their macros show what m4 collected for them (m4NamesIn).
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace m4test {

struct M4Expansion {
    int status = -1;  // m4's exit status (-1: it could not be run)
    std::string out;  // what it wrote, its messages after it
};

// The expansion of the macro file at path (its messages follow its output).
inline M4Expansion m4Expand(const std::string& path)
{
    M4Expansion e;
    const std::string cmd =
        "timeout 20 m4 -I '" + std::string(TV_SOURCE_DIR) + "/tests/host/m4' '" + path + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return e;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) e.out.append(buf, n);
    const int rc = ::pclose(p);
    e.status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return e;
}

// Whether m4 read the file without a message and its expansion holds
// piece byte for byte.
inline bool m4Shows(const M4Expansion& e, const std::string& piece)
{
    return e.status == 0 && e.out.find("m4:") == std::string::npos && e.out.find(piece) != std::string::npos;
}

// GNU m4, run in dir over files (named relative to dir) in the C locale,
// with the stub package whose NAME, INCLUDE, DECLCONT and
// BEGIN_CREATE_IMPL show the count of their arguments and the first one,
// "<name 1:axis>", "<include 1:axis.h>", "<declcont 1:axis>"
// (written into dir as bfimplmk.m4, where m4 looks first, unless dir
// holds one). The first
// argument is rescanned there, which changes no name that m4 collected
// whole. Its output and messages, then a line "status N" (m4's exit
// status; -1 when it could not be run or was stopped after 10 seconds).
inline std::string m4NamesIn(const std::string& dir, const std::vector<std::string>& files)
{
    if (::access((dir + "/bfimplmk.m4").c_str(), F_OK) != 0)
        std::ofstream(dir + "/bfimplmk.m4", std::ios::binary)
            << "include(`" TV_SOURCE_DIR "/tests/host/m4/bfimplmk.m4')dnl\n"
            << "define(`NAME', `<name $#:$1>')dnl\n"
            << "define(`INCLUDE', `<include $#:$1>')dnl\n"
            << "define(`DECLCONT', `<declcont $#:$1>')dnl\n"
            << "define(`BEGIN_CREATE_IMPL', `<begin_create_impl $#:$1>')dnl\n";
    std::vector<const char*> argv = {"m4", "-I", "."};
    for (const std::string& f : files) argv.push_back(f.c_str());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) return "\nstatus -1";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        ::close(out[1]);
        const int none = ::open("/dev/null", O_RDONLY);
        if (none >= 0) ::dup2(none, 0);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::setenv("LC_ALL", "C", 1);
        ::alarm(10);  // a name that made a macro call itself ends there
        ::execvp("m4", const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
    ::close(out[0]);
    int status = 0;
    const bool ended = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    return text + "\nstatus " + std::to_string(ended ? WEXITSTATUS(status) : -1);
}

}  // namespace m4test
