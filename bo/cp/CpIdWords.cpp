// Words by counter id (see CpIdWords.h).
#include "bo/cp/CpIdWords.h"

#include <algorithm>

uint32_t CpIdWords::get(uint32_t id) const
{
    if (id < m_dense.size()) return m_dense[id];
    const uint32_t* found = m_sparse.find(id);
    return found ? *found : 0;
}

void CpIdWords::set(uint32_t id, uint32_t word)
{
    ++m_sets;
    if (id >= m_dense.size()) {
        // Grow while the vector stays within spread slots per word set
        // (and below 2^24 ids); the hash table keeps the ids beyond.
        constexpr std::size_t kMaxIds = std::size_t(1) << 24;
        const std::size_t limit = std::min(kMaxIds, m_spread * m_sets + 1024);
        if (id >= limit) {
            uint32_t& slot = m_sparse[id];
            if (slot == 0 && word != 0) m_sparseIds.push_back(id);
            slot = word;
            return;
        }
        const std::size_t size = std::min(limit, std::max({std::size_t(id) + 1, 2 * m_dense.size(), std::size_t(64)}));
        m_dense.resize(size, 0);
        // The words of the hash table that the vector covers now move into it.
        std::vector<uint32_t> kept;
        for (uint32_t sparseId : m_sparseIds) {
            const uint32_t* w = m_sparse.find(sparseId);
            if (!w) continue;
            if (sparseId < size) {
                m_dense[sparseId] = *w;
                m_sparse.erase(sparseId);
            } else {
                kept.push_back(sparseId);
            }
        }
        m_sparseIds.swap(kept);
    }
    m_dense[id] = word;
}

void CpIdWords::clear()
{
    m_dense.clear();
    m_sparse.clear();
    m_sparseIds.clear();
    m_sets = 0;
}
