// A 32-bit word per id for ids that come from a counter (SIDs, TIDs): 0
// for an id never set.
//
// The ids a compile hands out are mostly dense and rising, and it asks for
// the newest ones: a vector indexed by id answers them without a scattered
// hash slot per id (a cache miss each once a table outgrows the caches).
// The vector grows while it stays within `spread` slots per word set (and
// below 2^24 ids); ids beyond go to a hash table, and move into the vector
// when it grows over them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/st/stsymtab/StFlatMap.h"

class CpIdWords {
public:
    // spread: vector slots allowed per word set (at least 2).
    explicit CpIdWords(std::size_t spread = 2) : m_spread(spread < 2 ? 2 : spread) {}

    uint32_t get(uint32_t id) const;
    void set(uint32_t id, uint32_t word);
    void clear();

private:
    struct IdHash {
        std::size_t operator()(uint32_t id) const { return id; }
    };
    std::vector<uint32_t> m_dense;
    StFlatMap<uint32_t, uint32_t, IdHash> m_sparse;
    std::vector<uint32_t> m_sparseIds;
    std::size_t m_sets = 0;
    std::size_t m_spread;
};
