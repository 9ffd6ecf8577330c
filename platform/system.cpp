// Waitable events on one lock and condition, and the memory figures of the
// system (see system.h).
#include "platform/system.h"
#include "platform/memory_watch.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_set>

struct TvWaitObject {
    bool manualReset;
    bool signalled;
};

namespace {

// Every live event, under one lock; waiters sleep on one condition that
// every SetEvent wakes. Waits are rare and short-lived here.
struct Events {
    std::mutex lock;
    std::condition_variable changed;
    std::unordered_set<TvWaitObject*> live;
};

Events& events()
{
    static Events* e = new Events;   // never destroyed: usable from static destructors
    return *e;
}

}  // namespace

HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name)
{
    if (attributes || name) return nullptr;
    Events& e = events();
    std::lock_guard<std::mutex> g(e.lock);
    TvWaitObject* o = new TvWaitObject{manualReset != 0, initialState != 0};
    e.live.insert(o);
    return o;
}

namespace {

BOOL setState(HANDLE event, bool signalled)
{
    Events& e = events();
    std::lock_guard<std::mutex> g(e.lock);
    if (!e.live.count(event)) return FALSE;
    event->signalled = signalled;
    if (signalled) e.changed.notify_all();
    return TRUE;
}

}  // namespace

BOOL SetEvent(HANDLE event) { return setState(event, true); }
BOOL ResetEvent(HANDLE event) { return setState(event, false); }

BOOL CloseHandle(HANDLE object)
{
    Events& e = events();
    std::lock_guard<std::mutex> g(e.lock);
    if (!e.live.erase(object)) return FALSE;
    delete object;
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
    Events& e = events();
    std::unique_lock<std::mutex> g(e.lock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (bool expired = false;; ) {
        DWORD ready = count;   // index of the first signalled handle
        bool all = true;
        for (DWORD i = 0; i < count; ++i) {
            if (!e.live.count(handles[i])) return WAIT_FAILED;
            if (handles[i]->signalled) {
                if (ready == count) ready = i;
            } else {
                all = false;
            }
        }
        if (waitAll ? all : ready < count) {
            for (DWORD i = 0; i < count; ++i)
                if ((waitAll || i == ready) && !handles[i]->manualReset) handles[i]->signalled = false;
            return WAIT_OBJECT_0 + (waitAll ? 0 : ready);
        }
        if (expired) return WAIT_TIMEOUT;
        if (timeoutMs == INFINITE)
            e.changed.wait(g);
        else
            expired = e.changed.wait_until(g, deadline) == std::cv_status::timeout;
    }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs)
{
    return WaitForMultipleObjects(1, &handle, TRUE, timeoutMs);
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status)
{
    if (!status || status->dwLength != sizeof(MEMORYSTATUSEX)) return FALSE;
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return FALSE;
    unsigned long long total = 0, avail = 0, swapTotal = 0, swapFree = 0;
    bool haveTotal = false, haveAvail = false;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long kb = 0;
        if (std::sscanf(line, "MemTotal: %llu kB", &kb) == 1) total = kb * 1024, haveTotal = true;
        else if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) avail = kb * 1024, haveAvail = true;
        else if (std::sscanf(line, "SwapTotal: %llu kB", &kb) == 1) swapTotal = kb * 1024;
        else if (std::sscanf(line, "SwapFree: %llu kB", &kb) == 1) swapFree = kb * 1024;
    }
    std::fclose(f);
    if (!haveTotal || !haveAvail || total == 0) return FALSE;

    unsigned long long mapped = 0;
    if ((f = std::fopen("/proc/self/statm", "r"))) {
        unsigned long long pages = 0;
        if (std::fscanf(f, "%llu", &pages) == 1) mapped = pages * unsigned(::sysconf(_SC_PAGESIZE));
        std::fclose(f);
    }
    unsigned long long totalVirtual = 0x7FFFFFFFFFFFull;   // the user half of a 48-bit address space
    struct rlimit rl;
    if (::getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < totalVirtual)
        totalVirtual = rl.rlim_cur;

    const DWORD length = status->dwLength;
    std::memset(status, 0, sizeof *status);
    status->dwLength = length;
    if (avail > total) avail = total;
    status->dwMemoryLoad = DWORD((total - avail) * 100 / total);
    status->ullTotalPhys = total;
    status->ullAvailPhys = avail;
    status->ullTotalPageFile = total + swapTotal;
    status->ullAvailPageFile = avail + swapFree;
    status->ullTotalVirtual = totalVirtual;
    status->ullAvailVirtual = mapped < totalVirtual ? totalVirtual - mapped : 0;
    return TRUE;
}

namespace {
std::atomic<size_t> g_refusedFrom{SIZE_MAX};
}

void tvp::failAllocationsFrom(size_t bytes) { g_refusedFrom.store(bytes, std::memory_order_relaxed); }

bool tvp::allocationRefused(size_t bytes)
{
    // A refusal stands for memory that ran out, and is noted as one.
    if (bytes < g_refusedFrom.load(std::memory_order_relaxed)) return false;
    tvp::noteMemoryRanOut();
    return true;
}
