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

#include "tools/md/tavolin/MdBlockSlots.h"

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
    // The slot holding key, or the free slot where it would go (its home
    // block chosen by all but its last six bits).
    static std::size_t home(Key key, unsigned shift) { return mdBlockHome(uint64_t(key) >> 6, uint64_t(key), shift); }
    static Key* probe(std::vector<Key>& slots, unsigned shift, Key key)
    {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = home(key, shift);
        while (slots[i] != kFree && slots[i] != key) i = (i + 1) & mask;
        return &slots[i];
    }
    void grow() { mdGrowSlots(m_slots, m_shift, kFree, home); }

    std::vector<Key> m_slots;
    unsigned m_shift = 64;
    std::size_t m_count = 0;
    bool m_hasFree = false;
};
