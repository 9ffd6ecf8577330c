#include "platform/tempnames.h"
#include "platform/memory_watch.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tvp {
namespace {

// A slot is free (0), being filled or cleared (1) or holds a name (2). Only
// the owner of the move to 1 touches the text, and a handler reads texts of
// slots in state 2 only.
enum : int { kFree = 0, kBusy = 1, kLive = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kTempNameMax + 1];
};

Slot g_slots[kTempNameSlots];

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler needs lock-free slot states");

bool claim(Slot& s, int from)
{
    int expected = from;
    return s.state.compare_exchange_strong(expected, kBusy);
}

void release(Slot& s)
{
    s.path[0] = 0;
    s.state.store(kFree);
}

// Frees the slots whose file is gone.
void forgetVanished()
{
    for (Slot& s : g_slots) {
        if (s.state.load() != kLive) continue;
        if (::access(s.path, F_OK) == 0 || errno != ENOENT) continue;
        if (claim(s, kLive)) release(s);
    }
}

}  // namespace

void registerTempName(const char* path)
{
    if (!path || !*path) return;
    const size_t n = std::strlen(path);
    if (n > kTempNameMax) return;
    forgetVanished();
    for (Slot& s : g_slots) {
        if (!claim(s, kFree)) continue;
        std::memcpy(s.path, path, n + 1);
        s.state.store(kLive);
        return;
    }
}

void forgetTempName(const char* path)
{
    if (!path) return;
    for (Slot& s : g_slots) {
        if (s.state.load() != kLive || std::strcmp(s.path, path) != 0) continue;
        if (claim(s, kLive)) release(s);
    }
}

namespace {

// A directory entry as getdents64 gives it.
struct DirEntry64 {
    unsigned long long ino;
    long long off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// Removes what is in the directory open on fd, depth levels of directories
// down at most. Async-signal-safe: the entries are read into a buffer on the
// stack, and reading starts over after each batch, as removing entries
// moves the others.
void emptyDirectoryNow(int fd, int depth)
{
    alignas(8) char buf[2048];
    for (bool removed = true; removed;) {
        removed = false;
        if (::lseek(fd, 0, SEEK_SET) != 0) return;
        long n;
        while ((n = ::syscall(SYS_getdents64, fd, buf, sizeof buf)) > 0) {
            for (long at = 0; at < n;) {
                const DirEntry64* e = reinterpret_cast<const DirEntry64*>(buf + at);
                at += e->reclen;
                const char* name = e->name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                if (::unlinkat(fd, name, 0) == 0) {
                    removed = true;
                    continue;
                }
                if ((errno != EISDIR && errno != EPERM) || depth <= 0) continue;
                const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0) continue;
                emptyDirectoryNow(sub, depth - 1);
                ::close(sub);
                if (::unlinkat(fd, name, AT_REMOVEDIR) == 0) removed = true;
            }
        }
    }
}

}  // namespace

int makeTempName(char* tmpl, int suffixLen, bool dir)
{
    TempNameHold hold;
    const int made = dir ? (::mkdtemp(tmpl) ? 0 : -1) : ::mkostemps(tmpl, suffixLen, O_CLOEXEC);
    if (made >= 0) registerTempName(tmpl);
    return made;
}

TempNameHold::TempNameHold()
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &m_before);
}

TempNameHold::~TempNameHold()
{
    pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

void removeTempNamesNow()
{
    const int saved = errno;
    // Files first, then the directories, which are empty only once the files
    // in them are gone.
    for (int pass = 0; pass < 2; ++pass) {
        for (Slot& s : g_slots) {
            if (s.state.load() != kLive) continue;
            if (pass == 0 && ::unlink(s.path) != 0 && (errno == EISDIR || errno == EPERM)) continue;
            if (pass == 1 && ::rmdir(s.path) != 0 && (errno == ENOTEMPTY || errno == EEXIST)) {
                const int fd = ::open(s.path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (fd >= 0) {
                    emptyDirectoryNow(fd, kTempTreeDepth);
                    ::close(fd);
                    ::rmdir(s.path);
                }
            }
            int expected = kLive;
            s.state.compare_exchange_strong(expected, kFree);
        }
    }
    errno = saved;
}

namespace {

std::atomic<int> g_failure{0};
char g_failureDir[kTempNameMax + 1];

}  // namespace

void noteFileFailure(int err, const char* dir)
{
    // A file that could not be made for want of memory (a buffer of its
    // stream, the kernel's own) is memory that ran out.
    if (err == ENOMEM) noteMemoryRanOut();
    const size_t n = dir ? std::min(std::strlen(dir), kTempNameMax) : 0;
    if (n) std::memcpy(g_failureDir, dir, n);
    g_failureDir[n] = 0;
    g_failure.store(err ? err : EIO);
}

void noteFileFailureAt(int err, const char* path)
{
    char dir[kTempNameMax + 1];
    const size_t n = path ? std::min(std::strlen(path), kTempNameMax) : 0;
    std::memcpy(dir, path ? path : "", n);
    dir[n] = 0;
    char* slash = std::strrchr(dir, '/');
    if (slash) *(slash == dir ? slash + 1 : slash) = 0;
    noteFileFailure(err, slash ? dir : ".");
}

void noteFileFailureOn(int err, int fd)
{
    const int saved = errno;
    char link[32], path[kTempNameMax + 1];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, kTempNameMax);
    path[n > 0 ? size_t(n) : 0] = 0;
    // An unlinked file reads "DIR/NAME (deleted)": its directory is the same.
    if (n > 0)
        noteFileFailureAt(err, path);
    else
        noteFileFailure(err, nullptr);
    errno = saved;
}

int takeFileFailure(char* dir, size_t size)
{
    const int err = g_failure.exchange(0);
    if (dir && size) {
        const size_t n = err ? std::min(std::strlen(g_failureDir), size - 1) : 0;
        std::memcpy(dir, g_failureDir, n);
        dir[n] = 0;
    }
    return err;
}

size_t tempNameCount()
{
    size_t n = 0;
    for (const Slot& s : g_slots)
        if (s.state.load() == kLive) ++n;
    return n;
}

}  // namespace tvp
