// Reads a macro file back as its consumer does: GNU m4 over the file, with
// the stub macro library beside this header (bfimplmk.m4), which expands
// each macro of the macro files to "/* stub_name:ARGUMENTS */". A text
// that m4 takes back as it stands shows there byte for byte; one whose
// quotes m4 reads otherwise shows changed, or m4 fails at the end of the
// file.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

}  // namespace m4test
