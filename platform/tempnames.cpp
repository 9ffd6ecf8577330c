#include "platform/tempnames.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
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

void removeTempNamesNow()
{
    const int saved = errno;
    // Files first, then the directories, which are empty only once the files
    // in them are gone.
    for (int pass = 0; pass < 2; ++pass) {
        for (Slot& s : g_slots) {
            if (s.state.load() != kLive) continue;
            if (pass == 0 && ::unlink(s.path) != 0 && (errno == EISDIR || errno == EPERM)) continue;
            if (pass == 1) ::rmdir(s.path);
            int expected = kLive;
            s.state.compare_exchange_strong(expected, kFree);
        }
    }
    errno = saved;
}

size_t tempNameCount()
{
    size_t n = 0;
    for (const Slot& s : g_slots)
        if (s.state.load() == kLive) ++n;
    return n;
}

}  // namespace tvp
