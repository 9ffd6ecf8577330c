// Pointers by 32-bit id, in ascending order of id: the symbol entries by
// SID. Ids handed out by a counter are dense from 0, so the ids below a
// bound are kept in a vector (a lookup is an index, a walk in id order a
// scan) and only the ids at or above it in an ordered map: ids of another
// counter, or read far apart from a file. The bound grows (doubling) while
// the vector stays within twice the number of ids held plus 1024 (and below
// 2^24); the ids it then covers move from the map into the vector.
//
// The interface is that of the ordered map it replaces, as far as the
// table's users need it: bidirectional iterators over (id, pointer) pairs
// in ascending order of id, find, count, lower_bound, rbegin()->first, size
// and empty. As with the map, a walk over the vector's ids may go on after
// an insertion (it meets the ids added behind it); an erasure invalidates
// an iterator on the erased id, and an insertion that grows the vector one
// on an id in the map. Null pointers are not stored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/falloc/AllocPool.h"

template <class Key, class T>
class StIdMap {
    using Sparse = std::map<Key, T*, std::less<Key>, CPoolAllocator<std::pair<const Key, T*>>>;

public:
    using key_type = Key;
    using mapped_type = T*;
    using value_type = std::pair<Key, T*>;

    class const_iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = StIdMap::value_type;
        using difference_type = std::ptrdiff_t;
        using pointer = const value_type*;
        using reference = const value_type&;

        const_iterator() = default;
        reference operator*() const { return m_cur; }
        pointer operator->() const { return &m_cur; }
        const_iterator& operator++()
        {
            if (m_pos != kInMap) {
                m_pos = m_map->nextDense(m_pos + 1);
                if (m_pos >= m_map->m_dense.size()) {
                    m_pos = kInMap;
                    m_sit = m_map->m_sparse.begin();
                }
            } else {
                ++m_sit;
            }
            load();
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        const_iterator& operator--()
        {
            if (m_pos == kInMap && m_sit != m_map->m_sparse.begin()) {
                --m_sit;
            } else {
                // Into (or within) the vector: the nearest id below.
                size_t p = std::min(m_pos == kInMap ? m_map->m_dense.size() : m_pos, m_map->m_top);
                while (p > 0 && !m_map->m_dense[p - 1]) --p;
                m_pos = p - 1;  // p is never 0 for a valid --
            }
            load();
            return *this;
        }
        const_iterator operator--(int)
        {
            const_iterator old = *this;
            --*this;
            return old;
        }
        bool operator==(const const_iterator& o) const
        {
            return m_pos == o.m_pos && (m_pos != kInMap || m_sit == o.m_sit);
        }
        bool operator!=(const const_iterator& o) const { return !(*this == o); }

    private:
        friend class StIdMap;
        // Position of an iterator on the ids kept in the map.
        static constexpr size_t kInMap = size_t(-1);
        const_iterator(const StIdMap* map, size_t pos, typename Sparse::const_iterator sit)
            : m_map(map), m_pos(pos < map->m_dense.size() ? pos : kInMap), m_sit(sit)
        {
            load();
        }
        void load()
        {
            if (m_pos != kInMap)
                m_cur = value_type(Key(uint32_t(m_pos)), m_map->m_dense[m_pos]);
            else if (m_sit != m_map->m_sparse.end())
                m_cur = value_type(m_sit->first, m_sit->second);
        }

        const StIdMap* m_map = nullptr;
        size_t m_pos = kInMap;  // in the vector, or kInMap: at m_sit in the map
        typename Sparse::const_iterator m_sit;
        value_type m_cur{};
    };
    using iterator = const_iterator;

    const_iterator begin() const { return iterAt(nextDense(0)); }
    const_iterator end() const { return const_iterator(this, const_iterator::kInMap, m_sparse.end()); }
    // Only for rbegin()->first of a non-empty map: the largest id.
    struct Last {
        value_type kv;
        const value_type* operator->() const { return &kv; }
    };
    Last rbegin() const
    {
        if (!m_sparse.empty()) return Last{value_type(m_sparse.rbegin()->first, m_sparse.rbegin()->second)};
        return Last{m_top ? value_type(Key(uint32_t(m_top - 1)), m_dense[m_top - 1]) : value_type()};
    }

    size_t size() const { return m_denseCount + m_sparse.size(); }
    bool empty() const { return size() == 0; }

    T* get(Key id) const
    {
        const uint32_t k = uint32_t(id);
        if (k < m_dense.size()) return m_dense[k];
        auto it = m_sparse.find(id);
        return it == m_sparse.end() ? nullptr : it->second;
    }
    size_t count(Key id) const { return get(id) ? 1 : 0; }
    // As get; std::out_of_range when the id is not held.
    T* at(Key id) const
    {
        T* p = get(id);
        if (!p) throw std::out_of_range("StIdMap::at");
        return p;
    }
    const_iterator find(Key id) const
    {
        const uint32_t k = uint32_t(id);
        if (k < m_dense.size()) return m_dense[k] ? iterAt(k) : end();
        return const_iterator(this, m_dense.size(), m_sparse.find(id));
    }
    const_iterator lower_bound(Key id) const
    {
        const uint32_t k = uint32_t(id);
        if (k < m_dense.size()) return iterAt(nextDense(k));
        return const_iterator(this, m_dense.size(), m_sparse.lower_bound(id));
    }

    // False (nothing changed) when the id is held already or p is null.
    bool insert(Key id, T* p)
    {
        if (!p) return false;
        uint32_t k = uint32_t(id);
        if (k >= m_dense.size()) grow(k);
        if (k < m_dense.size()) {
            if (m_dense[k]) return false;
            m_dense[k] = p;
            ++m_denseCount;
            m_top = std::max(m_top, size_t(k) + 1);
            return true;
        }
        return m_sparse.emplace(id, p).second;
    }
    // The pointer removed (null when the id was not held).
    T* erase(Key id)
    {
        const uint32_t k = uint32_t(id);
        if (k < m_dense.size()) {
            T* p = m_dense[k];
            if (!p) return nullptr;
            m_dense[k] = nullptr;
            --m_denseCount;
            if (k + 1 == m_top)
                while (m_top > 0 && !m_dense[m_top - 1]) --m_top;
            return p;
        }
        auto it = m_sparse.find(id);
        if (it == m_sparse.end()) return nullptr;
        T* p = it->second;
        m_sparse.erase(it);
        return p;
    }
    void clear()
    {
        std::vector<T*>().swap(m_dense);
        m_sparse.clear();
        m_denseCount = 0;
        m_top = 0;
    }
    // Calls f(pointer) for every pointer, in no particular order.
    template <class F>
    void forEachValue(F f) const
    {
        for (size_t i = 0; i < m_top; ++i)
            if (m_dense[i]) f(m_dense[i]);
        for (const auto& kv : m_sparse) f(kv.second);
    }

private:
    const_iterator iterAt(size_t pos) const
    {
        return const_iterator(this, pos, pos < m_dense.size() ? m_sparse.end() : m_sparse.begin());
    }
    // The first held id of the vector from pos on, else the vector's size.
    size_t nextDense(size_t pos) const
    {
        if (pos >= m_top) return m_dense.size();
        while (!m_dense[pos]) ++pos;  // m_top - 1 is held
        return pos;
    }
    void grow(uint32_t k)
    {
        constexpr size_t kMaxIds = size_t(1) << 24;
        const size_t limit = std::min(kMaxIds, 2 * size() + 1024);
        if (k >= limit) return;
        const size_t newSize = std::min(limit, std::max({size_t(k) + 1, 2 * m_dense.size(), size_t(64)}));
        m_dense.resize(newSize, nullptr);
        // The ids it newly covers leave the map.
        while (!m_sparse.empty() && uint32_t(m_sparse.begin()->first) < newSize) {
            const uint32_t id = uint32_t(m_sparse.begin()->first);
            m_dense[id] = m_sparse.begin()->second;
            ++m_denseCount;
            m_top = std::max(m_top, size_t(id) + 1);
            m_sparse.erase(m_sparse.begin());
        }
    }

    std::vector<T*> m_dense;
    size_t m_denseCount = 0;
    size_t m_top = 0;  // one past the largest id held in the vector (0: none)
    Sparse m_sparse;
};
