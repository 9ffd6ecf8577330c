// The command's standard output during a compile (see standard_output.h):
// the library's own output collected per call, and the flush of the step
// lines.
#include "host/standard_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/target_file.h"

namespace {

// The first reason standard output failed, 0 while it did not.
int g_outputError = 0;
bool g_outputErrorSaid = false;

}  // namespace

bool hostFlushOutput(bool say)
{
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && !g_outputError) g_outputError = errno ? errno : EIO;
    if (g_outputError && say && !g_outputErrorSaid) {
        g_outputErrorSaid = true;
        if (g_outputError == EBADF)
            std::fprintf(stderr, "tavolin: cannot write the step lines: standard output is closed\n");
        else
            std::fprintf(stderr, "tavolin: cannot write the step lines on standard output: %s\n",
                         errnoWords(g_outputError).c_str());
    }
    return g_outputError == 0;
}

uint32_t HostLibraryOutput::s_limit = 0;

HostLibraryOutput::HostLibraryOutput(bool keep) : m_keep(keep)
{
    std::fflush(stdout);
    m_file = std::tmpfile();
    if (!m_file) return;
    m_saved = ::dup(STDOUT_FILENO);
    if (m_saved < 0 || ::dup2(::fileno(m_file), STDOUT_FILENO) < 0) {
        if (m_saved >= 0) ::close(m_saved);
        m_saved = -1;
        std::fclose(m_file);
        m_file = nullptr;
    }
}

HostLibraryOutput::~HostLibraryOutput()
{
    if (!m_file) return;
    std::fflush(stdout);
    ::dup2(m_saved, STDOUT_FILENO);
    ::close(m_saved);
    if (m_keep) passOn();
    std::fclose(m_file);
}

void HostLibraryOutput::passOn()
{
    std::rewind(m_file);
    uint64_t lines = 0;
    bool open = false;  // the last line passed on has no end yet
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, m_file)) > 0;) {
        for (size_t i = 0; i < n;) {
            const char* nl = static_cast<const char*>(std::memchr(buf + i, '\n', n - i));
            const size_t end = nl ? size_t(nl - buf) + 1 : n;
            if (!open) ++lines;
            if (!s_limit || lines <= s_limit) std::fwrite(buf + i, 1, end - i, stdout);
            open = !nl;
            i = end;
        }
    }
    if (open && (!s_limit || lines <= s_limit)) std::fputc('\n', stdout);
    if (s_limit && lines > s_limit)
        std::printf("\xE2\x80\xA6 and %llu more lines of the library's output\n",
                    static_cast<unsigned long long>(lines - s_limit));
    std::fflush(stdout);
}
