// StSymbTable: the diagnostic listing and its diagnostic pipe.
//
// The pipe is a FIFO, "tvp_cout" in the temporary directory or the path
// named by TAVOLIN_DUMP_PIPE, served by a viewer outside this system. It is
// opened for writing without blocking: without the FIFO or without a
// reader nothing is written. The listing goes to a stream of its own; the
// process's standard output is never touched, and a reader that goes away
// or stops reading for two seconds only cuts the listing short.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>

#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

void StSymbTable::dump(std::ostream& os) const
{
    os << "\nEintragstabelle ";
    if (m_entries) m_entries->dump(os);
    os << "\nStringtabelle ";
    if (m_strings) m_strings->dump(os);
    os << "\nTyptabelle ";
    if (m_types) m_types->dump(os);
    os << "\nKonstantentabelle ";
    if (m_constants) m_constants->dump(os);
    os << "\nNamensbereiche ";
    if (m_nrTable) m_nrTable->dump(os);
    os << "\nGueltigkeitsbereiche ";
    if (m_vrTable) m_vrTable->dump(os);
    os << "\nGlobaler Entry (VR, NR): " << m_globalVR << " " << m_globalNR << std::endl;
}

namespace {

std::string pipePath()
{
    if (const char* p = std::getenv("TAVOLIN_DUMP_PIPE")) return p;
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/tvp_cout";
}

// How long a reader may leave a full FIFO undrained before the rest of
// the listing is dropped.
constexpr int kStallMs = 2000;

// Writes everything unless the reader goes or stalls; SIGPIPE is held back
// for the time of the write so that the process goes on.
void writeAll(int fd, const std::string& text)
{
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    size_t done = 0;
    bool broken = false;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n >= 0) {
            done += size_t(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kStallMs) > 0 && !(p.revents & (POLLERR | POLLHUP))) continue;
        }
        broken = errno == EPIPE;
        break;
    }
    if (broken) {
        // Take the pending SIGPIPE of this thread before unblocking.
        const timespec zero{0, 0};
        sigtimedwait(&block, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

void writeToDumpPipe(const std::string& text)
{
    const std::string path = pipePath();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return;
    // Without a reader, a non-blocking open for writing fails (ENXIO).
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    writeAll(fd, text);
    ::close(fd);
}

void StSymbTable::dumpToPipe() const
{
    std::ostringstream text;
    dump(text);
    writeToDumpPipe(text.str());
}
