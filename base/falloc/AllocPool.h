// Block pools for the many small, short-lived objects of the model.
//
// A pool hands out blocks of one size from chunks of (by default) 128 blocks.
// Every block is preceded by a back-pointer to its chunk, so a release finds
// its chunk without a search; one completely free chunk is kept as a spare so
// that alternating allocate/release at a chunk boundary does not go to the
// heap each time. Eighteen process-wide pools serve the size classes up to
// 120 bytes; anything larger (or of size 0) goes to the ordinary heap. The
// setting PURIFY_MODE (bit 0) below the Kernfeld key sends every request to
// the heap, which makes heap checkers see each object on its own.
//
// The global pools are created on first use (so they work during static
// initialisation) and are never destroyed: static objects may still release
// blocks into them while the process exits.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "platform/sync.h"

class CAllocPoolImpl {
public:
    // blockSize is rounded up to a multiple of 4 (at least 4). With
    // blocksPerChunk 0 a chunk fills about one page.
    CAllocPoolImpl(uint32_t blockSize, uint32_t blocksPerChunk);
    ~CAllocPoolImpl();
    CAllocPoolImpl(const CAllocPoolImpl&) = delete;
    CAllocPoolImpl& operator=(const CAllocPoolImpl&) = delete;

    // A block of this pool; `size` is only used when the request goes to the
    // heap (bypass mode). Throws std::bad_alloc when the heap is exhausted.
    void* allocate(size_t size);
    // Returns a block taken from this pool; null is ignored.
    void deallocate(void* block);
    // Frees every completely free chunk except one kept as the spare.
    void purge();

    // Allocation / release through a pool that may be null (null: the heap).
    static void* allocateFrom(CAllocPoolImpl* pool, size_t size)
    {
        return pool ? pool->allocate(size) : ::operator new(size);
    }
    static void deallocateTo(CAllocPoolImpl* pool, void* block)
    {
        if (pool)
            pool->deallocate(block);
        else
            ::operator delete(block);
    }

    uint32_t blockSize() const { return m_blockSize; }
    uint32_t blocksPerChunk() const { return m_blocksPerChunk; }
    // Width of the back-pointer in front of every block (the pointer size).
    uint32_t backPointerWidth() const { return m_backPtrWidth; }

    // Observation for tests and statistics (taken under the lock).
    uint32_t chunksWithFreeBlocks() const;   // chunks on the free list
    bool hasSpareChunk() const;
    uint32_t chunkCount() const;             // all chunks the pool owns
    uint32_t blocksInUse() const;            // blocks handed out, not returned

    // Reads PURIFY_MODE once per process; true when pools are bypassed.
    static bool readPurifyMode();
    static bool bypassed();

private:
    struct Chunk;
    Chunk* newChunk();
    void freeChunk(Chunk* c);
    void unlink(Chunk* c);
    // Takes a chunk whose blocks are all free out of the list and keeps it
    // as the spare, or frees it when there is one already.
    void retire(Chunk* c);

    uint32_t m_blockSize;
    uint32_t m_blocksPerChunk;
    uint32_t m_backPtrWidth;
    uint32_t m_slotSize;      // back-pointer plus block, rounded for alignment
    // Held only for a few pointer operations per request, and taken only
    // once the process has had a second thread (see AllocPool.cpp).
    mutable tvp::SpinLock m_lock;
    Chunk* m_list = nullptr;  // chunks that have at least one free block
    Chunk* m_spare = nullptr; // a chunk whose blocks are all free
    uint32_t m_chunks = 0;
    uint32_t m_inUse = 0;
};

namespace tvfalloc {

// Number of global pools and their block sizes: 12..40 step 4, 48..120 step 8.
constexpr int kGlobalPoolCount = 18;
constexpr uint32_t kLargestPooledSize = 120;

// The global pool with exactly this block size, or null (no such pool).
CAllocPoolImpl* globalPoolWithBlockSize(uint32_t blockSize);
// The i-th global pool (0..17, ascending block size).
CAllocPoolImpl* globalPool(int index);
constexpr size_t kSizeClasses = 15;
// The pools by size class of the request (1-8, 9-16, ..., 113-120 bytes):
// null until the first use creates them.
extern std::atomic<CAllocPoolImpl* const*> g_poolsBySizeClass;
CAllocPoolImpl* const* createPoolsBySizeClass();
inline CAllocPoolImpl* const* poolsBySizeClass()
{
    CAllocPoolImpl* const* pools = g_poolsBySizeClass.load(std::memory_order_acquire);
    return pools ? pools : createPoolsBySizeClass();
}

// Size class: the pool for a request of `size` bytes, or null (size 0 or
// above 120: the heap). Inline: every pooled new and delete asks it.
inline CAllocPoolImpl* poolForSize(size_t size)
{
    const size_t index = (size - 1) / 8;  // size 0 wraps to a huge index
    return index < kSizeClasses ? poolsBySizeClass()[index] : nullptr;
}

}  // namespace tvfalloc

// Base of pooled classes: objects created with `new` come from the global
// pool of their size class. The destructor is virtual so that deleting
// through any base pointer releases the block to the pool of the object's
// real size.
template <int BlocksPerChunk = 128>
class CAllocPool {
public:
    static CAllocPoolImpl* poolForSize(size_t size) { return tvfalloc::poolForSize(size); }

    static void* operator new(size_t size)
    {
        return CAllocPoolImpl::allocateFrom(poolForSize(size), size);
    }
    static void operator delete(void* p, size_t size)
    {
        if (p) CAllocPoolImpl::deallocateTo(poolForSize(size), p);
    }
    // Over-aligned classes cannot use the pools' 8-byte alignment.
    static void* operator new(size_t size, std::align_val_t al) { return ::operator new(size, al); }
    static void operator delete(void* p, size_t, std::align_val_t al) { ::operator delete(p, al); }
    // Placement forms, so that derived classes can still be built in place.
    static void* operator new(size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}

    virtual ~CAllocPool() = default;

protected:
    CAllocPool() = default;
    CAllocPool(const CAllocPool&) = default;
    CAllocPool& operator=(const CAllocPool&) = default;
};

// Tag of the node allocator (names the pooled allocation scheme).
struct AllocPoolTag {};
using __ALLOC_POOL = AllocPoolTag;

// Node allocator for the standard containers of the model. Single nodes come
// from the global pool of their size class; arrays and sizes above the largest
// pool come from the heap. NodeSize records the node size the container was
// laid out for; the real node size of this platform decides the pool.
template <class T, int NodeSize = 0, int BlocksPerChunk = 128, class Tag = AllocPoolTag>
class CPoolAllocator {
public:
    using value_type = T;
    using size_type = size_t;
    using difference_type = ptrdiff_t;
    using propagate_on_container_move_assignment = std::true_type;
    using is_always_equal = std::true_type;
    template <class U>
    struct rebind {
        using other = CPoolAllocator<U, NodeSize, BlocksPerChunk, Tag>;
    };

    CPoolAllocator() noexcept = default;
    template <class U>
    CPoolAllocator(const CPoolAllocator<U, NodeSize, BlocksPerChunk, Tag>&) noexcept
    {
    }

    T* allocate(size_t n)
    {
        if (n > size_t(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(CAllocPoolImpl::allocateFrom(poolFor(n), n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept
    {
        if (p) CAllocPoolImpl::deallocateTo(poolFor(n), p);
    }

    template <class U>
    bool operator==(const CPoolAllocator<U, NodeSize, BlocksPerChunk, Tag>&) const noexcept
    {
        return true;
    }
    template <class U>
    bool operator!=(const CPoolAllocator<U, NodeSize, BlocksPerChunk, Tag>&) const noexcept
    {
        return false;
    }

private:
    static CAllocPoolImpl* poolFor(size_t n)
    {
        if (n != 1 || alignof(T) > 8) return nullptr;
        return tvfalloc::poolForSize(sizeof(T));
    }
};
