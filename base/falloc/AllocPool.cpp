#include "base/falloc/AllocPool.h"

#include <sys/single_threaded.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/memory_watch.h"
#include "platform/settings_store.h"

// Chunk header, followed by the slots. Each slot is a back-pointer to the
// chunk and then the block; a free block holds the link to the next free
// block of its chunk in its first word.
struct CAllocPoolImpl::Chunk {
    Chunk* prev;
    Chunk* next;
    uint32_t freeCount;
    void* freeHead;
};

namespace {

// TV_FAIL_POOL_CHUNK=N (for tests): the Nth chunk the pools take from the
// heap while a memory watch lives (in the library's methods and the
// command's run, not in the start-up of either), counted from 1, fails as
// if the heap were exhausted, so that a test can make memory run out at
// each of them in turn.
bool chunkRefused()
{
    if (!tvp::memoryWatched()) return false;
    static const unsigned long failAt = [] {
        const char* v = std::getenv("TV_FAIL_POOL_CHUNK");
        return v ? std::strtoul(v, nullptr, 10) : 0ul;
    }();
    static std::atomic<unsigned long> taken{0};
    return failAt != 0 && taken.fetch_add(1) + 1 == failAt;
}

constexpr size_t kWord = sizeof(void*);
static_assert(kWord == 8 || kWord == 4, "unexpected pointer size");

constexpr size_t roundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// Both flags are plain bytes: they are written once, on the first pool
// construction, before any block is handed out.
bool g_purifyRead = false;
bool g_bypass = false;

// The pool's lock around one request. While the process has never had a
// second thread no other thread can hold or wait for the lock, so the
// request skips it: the atomic exchange is a full barrier that waits for
// every pending store, paid tens of millions of times per compile. The C
// library clears the flag before a second thread starts and never sets it
// again, so a request that skipped the lock ends before any other thread
// can make one.
class RequestGuard {
public:
    explicit RequestGuard(tvp::SpinLock& lock) : m_lock(__libc_single_threaded ? nullptr : &lock)
    {
        if (m_lock) m_lock->lock();
    }
    ~RequestGuard()
    {
        if (m_lock) m_lock->unlock();
    }
    RequestGuard(const RequestGuard&) = delete;
    RequestGuard& operator=(const RequestGuard&) = delete;

private:
    tvp::SpinLock* m_lock;
};

}  // namespace

bool CAllocPoolImpl::readPurifyMode()
{
    static std::once_flag once;
    std::call_once(once, [] {
        uint32_t v = 0;
        if (tvp::settingsGetDword("HKEY_LOCAL_MACHINE", "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld",
                                  "PURIFY_MODE", v) &&
            (v & 1))
            g_bypass = true;
        g_purifyRead = true;
    });
    return g_bypass;
}

bool CAllocPoolImpl::bypassed() { return g_bypass; }

CAllocPoolImpl::CAllocPoolImpl(uint32_t blockSize, uint32_t blocksPerChunk)
{
    if (blockSize < 4) blockSize = 4;
    m_blockSize = uint32_t(roundUp(blockSize, 4));
    if (blocksPerChunk == 0) {
        long page = sysconf(_SC_PAGESIZE);
        if (page <= 0) page = 4096;
        blocksPerChunk = uint32_t((size_t(page) - 80) / m_blockSize);
        if (blocksPerChunk == 0) blocksPerChunk = 1;
    }
    m_blocksPerChunk = blocksPerChunk;
    // Back-pointers, free links and block alignment are all one pointer wide.
    m_backPtrWidth = uint32_t(kWord);
    m_slotSize = uint32_t(kWord + roundUp(m_blockSize, kWord));
    if (!g_purifyRead) readPurifyMode();
}

CAllocPoolImpl::~CAllocPoolImpl()
{
    {
        tvp::SpinLockGuard lock(m_lock);
        // Chunks with blocks still in use are on no list and stay allocated:
        // their blocks may still be referenced.
        while (m_list) {
            Chunk* c = m_list;
            m_list = c->next;
            freeChunk(c);
        }
        if (m_spare) freeChunk(m_spare);
        m_spare = nullptr;
    }
}

CAllocPoolImpl::Chunk* CAllocPoolImpl::newChunk()
{
    constexpr size_t kHeaderSize = roundUp(sizeof(Chunk), 2 * kWord);
    size_t bytes = kHeaderSize + size_t(m_blocksPerChunk) * m_slotSize;
    if (chunkRefused()) {
        tvp::noteMemoryRanOut();
        throw std::bad_alloc();
    }
    auto* raw = static_cast<char*>(::operator new(bytes));  // std::bad_alloc when exhausted
    auto* c = reinterpret_cast<Chunk*>(raw);
    c->prev = c->next = nullptr;
    c->freeCount = m_blocksPerChunk;
    char* slot = raw + kHeaderSize;
    void** link = &c->freeHead;
    for (uint32_t i = 0; i < m_blocksPerChunk; ++i, slot += m_slotSize) {
        *reinterpret_cast<Chunk**>(slot) = c;
        void* block = slot + kWord;
        *link = block;
        link = static_cast<void**>(block);
    }
    *link = nullptr;
    ++m_chunks;
    return c;
}

void CAllocPoolImpl::freeChunk(Chunk* c)
{
    --m_chunks;
    ::operator delete(c);
}

void CAllocPoolImpl::unlink(Chunk* c)
{
    if (c->prev)
        c->prev->next = c->next;
    else
        m_list = c->next;
    if (c->next) c->next->prev = c->prev;
    c->prev = c->next = nullptr;
}

void CAllocPoolImpl::retire(Chunk* c)
{
    unlink(c);
    if (!m_spare)
        m_spare = c;
    else
        freeChunk(c);
}

void* CAllocPoolImpl::allocate(size_t size)
{
    if (g_bypass) return ::operator new(size);
    RequestGuard lock(m_lock);
    if (!m_list) {
        if (m_spare) {
            m_list = m_spare;
            m_spare = nullptr;
            m_list->prev = m_list->next = nullptr;
        } else {
            m_list = newChunk();
        }
    }
    Chunk* c = m_list;
    void* block = c->freeHead;
    c->freeHead = *static_cast<void**>(block);
    --c->freeCount;
    ++m_inUse;
    if (!c->freeHead) {
        // A full chunk is on no list.
        m_list = c->next;
        if (m_list) m_list->prev = nullptr;
        c->next = nullptr;
    }
    return block;
}

void CAllocPoolImpl::deallocate(void* block)
{
    if (!block) return;
    if (g_bypass) {
        ::operator delete(block);
        return;
    }
    RequestGuard lock(m_lock);
    Chunk* c = *reinterpret_cast<Chunk**>(static_cast<char*>(block) - kWord);
    bool wasFull = c->freeHead == nullptr;
    *static_cast<void**>(block) = c->freeHead;
    c->freeHead = block;
    ++c->freeCount;
    --m_inUse;
    if (wasFull) {
        c->prev = nullptr;
        c->next = m_list;
        if (m_list) m_list->prev = c;
        m_list = c;
    }
    if (c->freeCount == m_blocksPerChunk) retire(c);
}

void CAllocPoolImpl::purge()
{
    tvp::SpinLockGuard lock(m_lock);
    Chunk* c = m_list;
    while (c) {
        Chunk* next = c->next;
        if (c->freeCount == m_blocksPerChunk) retire(c);
        c = next;
    }
}

uint32_t CAllocPoolImpl::chunksWithFreeBlocks() const
{
    tvp::SpinLockGuard lock(m_lock);
    uint32_t n = 0;
    for (Chunk* c = m_list; c; c = c->next) ++n;
    return n;
}

bool CAllocPoolImpl::hasSpareChunk() const
{
    tvp::SpinLockGuard lock(m_lock);
    return m_spare != nullptr;
}

uint32_t CAllocPoolImpl::blocksInUse() const
{
    tvp::SpinLockGuard lock(m_lock);
    return m_inUse;
}

uint32_t CAllocPoolImpl::chunkCount() const
{
    tvp::SpinLockGuard lock(m_lock);
    return m_chunks;
}

namespace tvfalloc {
namespace {

struct GlobalPools {
    CAllocPoolImpl* pools[kGlobalPoolCount];
    CAllocPoolImpl* bySizeClass[kSizeClasses];  // request sizes 1-8, 9-16, ..., 113-120
};

// Leaked on purpose: static objects may release blocks while the process
// exits, after every destructor of this library has run.
GlobalPools* createGlobalPools()
{
    auto* g = new GlobalPools();
    int i = 0;
    for (uint32_t s = 12; s <= 40; s += 4) g->pools[i++] = new CAllocPoolImpl(s, 128);
    for (uint32_t s = 48; s <= 120; s += 8) g->pools[i++] = new CAllocPoolImpl(s, 128);
    for (int k = 0; k < 15; ++k) {
        uint32_t top = uint32_t(k + 1) * 8;  // largest request of the class
        if (top < 16) top = 16;               // 1-8 share the 16-byte pool
        for (CAllocPoolImpl* p : g->pools)
            if (p->blockSize() == top) {
                g->bySizeClass[k] = p;
                break;
            }
    }
    return g;
}

GlobalPools& globals()
{
    static GlobalPools* g = createGlobalPools();
    return *g;
}

}  // namespace

CAllocPoolImpl* globalPool(int index)
{
    if (index < 0 || index >= kGlobalPoolCount) return nullptr;
    return globals().pools[index];
}

CAllocPoolImpl* globalPoolWithBlockSize(uint32_t blockSize)
{
    if (blockSize >= 12 && blockSize <= 40 && blockSize % 4 == 0)
        return globals().pools[(blockSize - 12) / 4];
    if (blockSize >= 48 && blockSize <= 120 && blockSize % 8 == 0)
        return globals().pools[8 + (blockSize - 48) / 8];
    return nullptr;
}

std::atomic<CAllocPoolImpl* const*> g_poolsBySizeClass{nullptr};

CAllocPoolImpl* const* createPoolsBySizeClass()
{
    CAllocPoolImpl* const* pools = globals().bySizeClass;
    g_poolsBySizeClass.store(pools, std::memory_order_release);
    return pools;
}

}  // namespace tvfalloc
