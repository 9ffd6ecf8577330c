// A set of numbers (32 or 64 bits) in one array: open addressing with
// linear probing over a power-of-two array at most three quarters full, the
// all-ones number marking a free slot (that number itself is held in a flag
// apart). A few bytes a number, where a node of a map costs some fifty: for
// a compiler that must still refuse a repeated number of statements whose
// results it no longer keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

template <class Key>
class MdNumberSet {
public:
    // Adds key: false when it was there already.
    bool insert(Key key)
    {
        if (key == kFree) {
            const bool added = !m_hasFree;
            m_hasFree = true;
            return added;
        }
        if (4 * (m_count + 1) > 3 * m_slots.size()) grow();
        Key* const slot = probe(m_slots, m_shift, key);
        if (*slot == key) return false;
        *slot = key;
        ++m_count;
        return true;
    }
    bool contains(Key key) const
    {
        if (key == kFree) return m_hasFree;
        return !m_slots.empty() && *probe(const_cast<std::vector<Key>&>(m_slots), m_shift, key) == key;
    }

private:
    static constexpr Key kFree = Key(~Key(0));
    // The slot holding key, or the free slot where it would go (the table
    // holds 2^(64 - shift) slots). Numbers that differ only in their last
    // six bits have their homes in one block of 64 slots, which the top bits
    // of a Fibonacci multiply of the others choose (other bits of it shuffle
    // the six within the block): a run of numbers, as a source numbers its
    // statements, then fills slots side by side rather than a cache line
    // each, and numbers alike in their last six bits (every 64th) still
    // spread over their blocks.
    static Key* probe(std::vector<Key>& slots, unsigned shift, Key key)
    {
        const std::size_t mask = slots.size() - 1;
        const uint64_t block = (uint64_t(key) >> 6) * 0x9E3779B97F4A7C15ull;
        std::size_t i = (std::size_t(block >> (shift + 6)) << 6) | std::size_t((uint64_t(key) ^ (block >> 24)) & 63);
        while (slots[i] != kFree && slots[i] != key) i = (i + 1) & mask;
        return &slots[i];
    }
    void grow()
    {
        const unsigned shift = m_slots.empty() ? 57 : m_shift - 1;  // from 128 slots
        std::vector<Key> slots(std::size_t(1) << (64 - shift), kFree);
        for (Key k : m_slots)
            if (k != kFree) *probe(slots, shift, k) = k;
        m_slots.swap(slots);
        m_shift = shift;
    }

    std::vector<Key> m_slots;
    unsigned m_shift = 64;
    std::size_t m_count = 0;
    bool m_hasFree = false;
};
