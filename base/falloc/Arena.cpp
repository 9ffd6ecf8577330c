#include "base/falloc/Arena.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace {
// The chunk header, rounded so that the blocks after it keep their alignment.
constexpr size_t kHeader = 16;
}  // namespace

void* CArena::allocateSlow(size_t n)
{
    // The next chunk doubles the last one (up to the largest), and holds at
    // least this block; the rest of the current chunk is left unused.
    size_t bytes = m_chunks ? std::min(2 * m_chunks->bytes, kLargestChunk) : kFirstChunk;
    bytes = std::max(bytes, n + kHeader);
    auto* raw = static_cast<char*>(::operator new(bytes));
    auto* chunk = reinterpret_cast<Chunk*>(raw);
    chunk->next = m_chunks;
    chunk->bytes = bytes;
    m_chunks = chunk;
    m_capacity += bytes;
    m_next = raw + kHeader + n;
    m_end = raw + bytes;
    return raw + kHeader;
}

void CArena::release()
{
    while (m_chunks) {
        Chunk* c = m_chunks;
        m_chunks = c->next;
        ::operator delete(c);
    }
    m_next = m_end = nullptr;
    m_capacity = 0;
    std::fill(std::begin(m_free), std::end(m_free), nullptr);
}
