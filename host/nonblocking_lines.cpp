// Lines that never hold the command (see nonblocking_lines.h).
#include "host/nonblocking_lines.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

// The names of the signals, made before any handler may need one.
char g_names[NSIG][24];
// The end of the line of a signal (": " and what became of each file), and room
// for the whole line; null until hostPrepareSignalLine.
const char* g_tail = nullptr;
const char kPlacing[] = " while the outputs were put in place: each is whole, the old one or the new one\n";
char* g_line = nullptr;
size_t g_lineSize = 0;

// Appends the text at p to the line of size most at *at (cut at its end).
void append(char* line, size_t most, size_t* at, const char* p)
{
    while (*p && *at < most) line[(*at)++] = *p++;
}

}  // namespace

bool hostSayNow(const char* text, size_t size)
{
    struct stat st;
    if (size == 0) return true;
    if (::fstat(STDERR_FILENO, &st) != 0) return false;
    ssize_t w;
    if (S_ISSOCK(st.st_mode)) {
        do
            w = ::send(STDERR_FILENO, text, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        while (w < 0 && errno == EINTR);
        return w == ssize_t(size);
    }
    int fd = STDERR_FILENO;
    int own = -1;
    if (S_ISFIFO(st.st_mode)) {
        // A description of its own: the non-blocking flag does not reach
        // whoever shares standard error.
        own = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (own >= 0) fd = own;
    }
    if (own < 0 && !S_ISREG(st.st_mode)) {
        // A device, or a pipe /proc gives no name (no descriptor left):
        // written only when it takes a line now.
        struct pollfd p = {STDERR_FILENO, POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&p, 1, 0);
        while (ready < 0 && errno == EINTR);
        if (ready != 1 || !(p.revents & POLLOUT)) return false;
    }
    do
        w = ::write(fd, text, size);
    while (w < 0 && errno == EINTR);
    if (own >= 0) ::close(own);
    return w == ssize_t(size);
}

bool hostSayNow(const std::string& line)
{
    return hostSayNow(line.data(), line.size());
}

std::string hostSignalName(int sig)
{
    if (sig >= SIGRTMIN && sig <= SIGRTMAX) return "SIGRTMIN+" + std::to_string(sig - SIGRTMIN);
    const char* abbrev = sigabbrev_np(sig);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(sig);
}

void hostPrepareSignalLine(const std::string& fates, const std::string& byRole)
{
    if (g_tail) return;
    for (int sig = 1; sig < NSIG; ++sig) {
        const std::string name = hostSignalName(sig);
        std::strncpy(g_names[sig], name.c_str(), sizeof g_names[sig] - 1);
    }
    static const char kHead[] = "tavolin: interrupted by ";
    std::string tail = ": " + fates + "\n";
    // Whole into a pipe, or not at all.
    if (sizeof kHead + sizeof g_names[0] + tail.size() > PIPE_BUF)
        tail = ": " + byRole + "\n";
    char* const text = new char[tail.size() + 1];
    std::memcpy(text, tail.c_str(), tail.size() + 1);
    g_lineSize = sizeof kHead + sizeof g_names[0] + std::max(tail.size(), sizeof kPlacing);
    g_line = new char[g_lineSize];
    g_tail = text;
}

namespace {

void sayEnd(const char* head, const char* name, bool placing)
{
    size_t n = 0;
    append(g_line, g_lineSize, &n, head);
    append(g_line, g_lineSize, &n, name);
    append(g_line, g_lineSize, &n, placing ? kPlacing : g_tail);
    hostSayNow(g_line, n);
}

}  // namespace

void hostSaySignalEnd(int sig, bool fault, bool placing)
{
    if (!g_tail || sig <= 0 || sig >= NSIG) return;
    sayEnd(fault ? "tavolin: ended by " : "tavolin: interrupted by ", g_names[sig], placing);
}

void hostSayMemoryRanOut(bool placing)
{
    if (g_tail) sayEnd("tavolin: memory ran out", "", placing);
    else hostSayNow("tavolin: memory ran out\n", 24);
}
