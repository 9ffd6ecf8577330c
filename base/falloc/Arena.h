// An arena for the small objects one container owns and releases together.
//
// Blocks are cut from chunks that grow from 2 KB to 32 KB, so a small
// container costs little and a large one few heap calls. A block given back
// with recycle is kept on a free list of its size and handed out again for
// the same size, so that a container that keeps removing and adding objects
// stays bounded. release (and the destructor) frees every chunk at once: the
// objects in the arena are not destroyed one by one, so only objects whose
// destructors have nothing to do may live there.
//
// Blocks are aligned to 8 bytes; one arena serves one thread at a time.
#pragma once
#include <cstddef>
#include <cstdint>

class CArena {
public:
    CArena() = default;
    CArena(const CArena&) = delete;
    CArena& operator=(const CArena&) = delete;
    ~CArena() { release(); }

    // A block of at least size bytes (size 0 counts as 8). Throws
    // std::bad_alloc when the heap is exhausted.
    void* allocate(size_t size)
    {
        const size_t n = rounded(size);
        if (n <= kLargestRecycled) {
            void*& head = m_free[n / kAlign - 1];
            if (head) {
                void* block = head;
                head = *static_cast<void**>(block);
                return block;
            }
        }
        if (size_t(m_end - m_next) >= n) {
            void* block = m_next;
            m_next += n;
            return block;
        }
        return allocateSlow(n);
    }
    // Keeps a block of this arena (allocated with the same size) for reuse.
    void recycle(void* block, size_t size)
    {
        const size_t n = rounded(size);
        if (!block || n > kLargestRecycled) return;
        void*& head = m_free[n / kAlign - 1];
        *static_cast<void**>(block) = head;
        head = block;
    }
    // Frees every chunk; every block handed out is gone.
    void release();

    // Bytes of all chunks (for tests and statistics).
    size_t capacity() const { return m_capacity; }

private:
    static constexpr size_t kAlign = 8;
    static constexpr size_t kLargestRecycled = 256;
    static constexpr size_t kFirstChunk = 2048;
    // Below the heap's thresholds for mapping a block of its own and for
    // consolidating its free lists: released chunks go back to its bins.
    static constexpr size_t kLargestChunk = 32 * 1024;
    static size_t rounded(size_t size) { return size ? (size + kAlign - 1) & ~(kAlign - 1) : kAlign; }
    void* allocateSlow(size_t n);

    struct Chunk {
        Chunk* next;
        size_t bytes;
    };
    Chunk* m_chunks = nullptr;
    char* m_next = nullptr;
    char* m_end = nullptr;
    size_t m_capacity = 0;
    void* m_free[kLargestRecycled / kAlign] = {};
};
