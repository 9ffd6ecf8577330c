// The latch of a failed allocation and the new handler that sets it (see
// memory_watch.h).
#include "platform/memory_watch.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>

namespace tvp {

namespace {

std::atomic<bool> g_ranOut{false};
std::atomic<int> g_watches{0};
// The handler that was installed before the outermost watch.
std::atomic<std::new_handler> g_previous{nullptr};

void onFailedNew()
{
    g_ranOut.store(true);
    if (std::new_handler previous = g_previous.load()) {
        previous();  // may free memory and return: operator new tries again
        return;
    }
    throw std::bad_alloc();
}

}  // namespace

bool memoryRanOut()
{
    return g_watches.load() > 0 && g_ranOut.load();
}

bool memoryWatched()
{
    return g_watches.load() > 0;
}

void noteMemoryRanOut()
{
    g_ranOut.store(true);
}

void* mallocNoted(std::size_t size)
{
    void* p = std::malloc(size);
    if (!p) noteMemoryRanOut();
    return p;
}

void* reallocNoted(void* block, std::size_t size)
{
    void* p = std::realloc(block, size);
    if (!p && size) noteMemoryRanOut();
    return p;
}

void* callocNoted(std::size_t count, std::size_t size)
{
    void* p = std::calloc(count, size);
    if (!p && count && size) noteMemoryRanOut();
    return p;
}

bool roomFor(std::size_t size)
{
    if (size == 0) return true;
    void* p = ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        noteMemoryRanOut();
        return false;
    }
    ::munmap(p, size);
    return true;
}

MemoryWatch::MemoryWatch() : m_outer(g_watches.fetch_add(1) == 0), m_previous(nullptr)
{
    if (!m_outer) return;
    g_ranOut.store(false);
    m_previous = std::set_new_handler(onFailedNew);
    g_previous.store(m_previous);
}

MemoryWatch::~MemoryWatch()
{
    if (m_outer) std::set_new_handler(m_previous);
    g_watches.fetch_sub(1);
}

}  // namespace tvp
