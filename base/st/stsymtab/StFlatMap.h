// A hash table with open addressing for the symbol table's indexes.
//
// Linear probing over a power-of-two array, at most three quarters full,
// erasing by shifting the probe run back, so no tombstones: the symbol
// table's name and scope indexes add and look a key up per declaration, and
// a node per key with a bucket array beside it cost two or three cache
// misses each. Keys are compared with ==; Hash gives their hash, which is
// spread by a Fibonacci multiply.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// A value's address holds until the next insertion or erasure.
template <class K, class V, class Hash>
class StFlatMap {
public:
    V* find(const K& key);
    const V* find(const K& key) const { return const_cast<StFlatMap*>(this)->find(key); }
    // The value of key, made V() when missing.
    V& operator[](const K& key);
    // Sets the value of key; a key already there that equals key is
    // replaced by key itself (for keys that carry more than their
    // equality, such as a pointer to what they stand for).
    void assign(const K& key, const V& value);
    void erase(const K& key);
    void clear();
    // Room for n keys without growing.
    void reserve(std::size_t n);
    template <class F>
    void forEach(F f) const
    {
        for (const Slot& s : m_slots)
            if (s.used) f(s.key, s.value);
    }

private:
    struct Slot {
        K key{};
        V value{};
        bool used = false;
    };
    // The slot holding key, or null.
    Slot* findSlot(const K& key);
    // The slot holding key, a new one (holding key and V()) when missing:
    // one probe either way.
    Slot& slotFor(const K& key);
    std::size_t home(const K& key) const { return std::size_t((uint64_t(Hash()(key)) * 0x9E3779B97F4A7C15ull) >> m_shift); }
    void rehash(std::size_t slots);

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
    unsigned m_shift = 63;
};

template <class K, class V, class Hash>
typename StFlatMap<K, V, Hash>::Slot* StFlatMap<K, V, Hash>::findSlot(const K& key)
{
    if (m_size == 0) return nullptr;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = home(key);; i = (i + 1) & mask) {
        Slot& s = m_slots[i];
        if (!s.used) return nullptr;
        if (s.key == key) return &s;
    }
}

template <class K, class V, class Hash>
V* StFlatMap<K, V, Hash>::find(const K& key)
{
    Slot* s = findSlot(key);
    return s ? &s->value : nullptr;
}

template <class K, class V, class Hash>
typename StFlatMap<K, V, Hash>::Slot& StFlatMap<K, V, Hash>::slotFor(const K& key)
{
    std::size_t i = 0;
    if (!m_slots.empty()) {
        const std::size_t mask = m_slots.size() - 1;
        for (i = home(key); m_slots[i].used; i = (i + 1) & mask)
            if (m_slots[i].key == key) return m_slots[i];
    }
    // A new key. At most three quarters full: probe runs stay short with a
    // spread hash. (Only a new key grows the table, so a key that is there
    // keeps its address.)
    if (4 * (m_size + 1) > 3 * m_slots.size()) {
        rehash(std::max<std::size_t>(4, 2 * m_slots.size()));
        const std::size_t mask = m_slots.size() - 1;
        i = home(key);
        while (m_slots[i].used) i = (i + 1) & mask;
    }
    Slot& s = m_slots[i];
    s.key = key;
    s.used = true;
    ++m_size;
    return s;
}

template <class K, class V, class Hash>
V& StFlatMap<K, V, Hash>::operator[](const K& key)
{
    return slotFor(key).value;
}

template <class K, class V, class Hash>
void StFlatMap<K, V, Hash>::assign(const K& key, const V& value)
{
    Slot& s = slotFor(key);
    s.key = key;  // equal keys have one hash: the slot stays in its run
    s.value = value;
}

template <class K, class V, class Hash>
void StFlatMap<K, V, Hash>::erase(const K& key)
{
    if (m_size == 0) return;
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = home(key);
    while (true) {
        if (!m_slots[i].used) return;
        if (m_slots[i].key == key) break;
        i = (i + 1) & mask;
    }
    // Each later slot of the run moves into the hole unless its home lies
    // cyclically after the hole and at or before the slot itself.
    for (std::size_t j = (i + 1) & mask; m_slots[j].used; j = (j + 1) & mask) {
        const std::size_t h = home(m_slots[j].key);
        const bool stays = i <= j ? (i < h && h <= j) : (i < h || h <= j);
        if (stays) continue;
        m_slots[i] = std::move(m_slots[j]);
        i = j;
    }
    m_slots[i] = Slot();
    --m_size;
}

template <class K, class V, class Hash>
void StFlatMap<K, V, Hash>::clear()
{
    m_slots.clear();
    m_size = 0;
    m_shift = 63;
}

template <class K, class V, class Hash>
void StFlatMap<K, V, Hash>::reserve(std::size_t n)
{
    std::size_t slots = 16;
    while (3 * slots < 4 * n) slots *= 2;
    if (slots > m_slots.size()) rehash(slots);
}

template <class K, class V, class Hash>
void StFlatMap<K, V, Hash>::rehash(std::size_t slots)
{
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.resize(slots);
    unsigned bits = 0;
    while ((std::size_t(1) << bits) < slots) ++bits;
    m_shift = 64 - bits;
    const std::size_t mask = slots - 1;
    for (Slot& s : old) {
        if (!s.used) continue;
        std::size_t i = home(s.key);
        while (m_slots[i].used) i = (i + 1) & mask;
        m_slots[i] = std::move(s);
    }
}
