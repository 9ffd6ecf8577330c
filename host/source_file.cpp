#include "host/source_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "host/target_file.h"
#include "host/temp_dir.h"
#include "platform/tempnames.h"

namespace {

// What a file that is not a regular one is, in words.
const char* kindWords(mode_t mode)
{
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string largestWords(uint64_t largest)
{
    std::string words = std::to_string(largest) + " bytes";
    if (largest >= (1u << 20) && largest % (1u << 20) == 0) words += ", " + std::to_string(largest >> 20) + " MiB";
    return words;
}

}  // namespace

bool SourceFile::open(uint64_t largest)
{
    struct stat st;
    // A missing SOURCE and a directory: the pre-compiler says it cannot
    // open them.
    if (::stat(m_source.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return true;
    if (m_role == Role::Acx && !S_ISFIFO(st.st_mode)) return true;
    if (S_ISREG(st.st_mode)) {
        if (uint64_t(st.st_size) <= largest) return true;
        std::fprintf(stderr,
                     "tavolin: %s has %llu bytes, more than the largest source the command compiles (%s): not "
                     "compiled%s\n",
                     m_source.c_str(), static_cast<unsigned long long>(st.st_size), largestWords(largest).c_str(),
                     m_tail.c_str());
        return false;
    }
    // A named pipe is read once a writer has opened it: opened without
    // waiting, so that a wait of more than a second can be said.
    const bool named = S_ISFIFO(st.st_mode);
    const int in = ::open(m_source.c_str(), O_RDONLY | O_CLOEXEC | (named ? O_NONBLOCK : 0));
    if (in < 0) {
        std::fprintf(stderr, "tavolin: cannot read %s: %s%s\n", m_source.c_str(), errnoWords(errno).c_str(),
                     m_tail.c_str());
        return false;
    }
    if (named) {
        // No event comes before a writer has written or come and gone.
        pollfd p = {in, POLLIN, 0};
        int ready;
        while ((ready = ::poll(&p, 1, 1000)) < 0 && errno == EINTR) {
        }
        if (ready == 0) {
            std::fprintf(stderr, "tavolin: waiting for a writer of %s (a named pipe)\n", m_source.c_str());
            while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
            }
        }
        ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    }
    const bool ok = copy(in, largest, kindWords(st.st_mode));
    ::close(in);
    return ok;
}

bool SourceFile::copy(int in, uint64_t largest, const char* what)
{
    const std::string dir = hostTempDirShown();
    int out = -1;
    m_copy = hostMakeTemp(hostTempDir() + "/tavolin.XXXXXX", 0, &out);
    if (m_copy.empty()) {
        std::fprintf(stderr, "tavolin: cannot read %s (%s) into a temporary file in %s: %s%s\n", m_source.c_str(),
                     what, dir.c_str(), errnoWords(errno).c_str(), m_tail.c_str());
        return false;
    }
    const size_t size = size_t(1) << 20;
    std::unique_ptr<char[]> buf(new char[size]);
    uint64_t total = 0;
    enum { Done, ReadFailed, WriteFailed, TooLarge } end = Done;
    int err = 0;
    while (end == Done) {
        const ssize_t r = ::read(in, buf.get(), size);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) break;
        if (r < 0) {
            end = ReadFailed;
        } else if (uint64_t(r) > largest - total) {
            end = TooLarge;
        } else if (!hostWriteAll(out, buf.get(), size_t(r), off_t(total))) {
            end = WriteFailed;
        } else {
            total += uint64_t(r);
        }
        err = errno;
    }
    if (::close(out) != 0 && end == Done) {
        end = WriteFailed;
        err = errno;
    }
    switch (end) {
    case Done:
        m_path = m_copy;
        return true;
    case TooLarge:
        std::fprintf(stderr,
                     "tavolin: %s (%s) gives more than the largest %s (%s): not compiled%s\n", m_source.c_str(),
                     what, m_role == Role::Acx ? "ACX file the command reads" : "source the command compiles",
                     largestWords(largest).c_str(), m_tail.c_str());
        break;
    case ReadFailed:
        std::fprintf(stderr, "tavolin: cannot read %s (%s): %s%s\n", m_source.c_str(), what, errnoWords(err).c_str(),
                     m_tail.c_str());
        break;
    case WriteFailed:
        std::fprintf(stderr, "tavolin: cannot read %s (%s) into a temporary file in %s: %s%s\n", m_source.c_str(),
                     what, dir.c_str(), errnoWords(err).c_str(), m_tail.c_str());
        break;
    }
    removeCopy();
    return false;
}

void SourceFile::removeCopy()
{
    if (m_copy.empty()) return;
    ::unlink(m_copy.c_str());
    tvp::forgetTempName(m_copy.c_str());
    m_copy.clear();
    m_path = m_source;
}
