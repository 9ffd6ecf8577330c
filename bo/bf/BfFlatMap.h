// A small ordered map (or multimap, Multi) over one vector of key-value
// pairs, for the per-type tables of a boot-function type: a type holds a
// handful of symbols and sub-functions, and a source tens of thousands of
// types, so a tree node per entry cost an allocation and a free each.
//
// Same order as std::map / std::multimap: ascending keys, equal keys
// (Multi) in insertion order; emplace keeps the first of equal keys
// (unique). The compiler's keys are SIDs from the table's counter, so they
// rise, which is an append; a key out of order is inserted in place (a
// linear move: not for keys that come in any order). assignAll takes many
// pairs at once in one sort, for loads from a stream, whose order no one
// vouches for.
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

template <class K, class V, bool Multi = false>
class CBfFlatMap {
public:
    using value_type = std::pair<K, V>;
    using iterator = typename std::vector<value_type>::iterator;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    template <class... Args>
    std::pair<iterator, bool> emplace(Args&&... args)
    {
        value_type v(std::forward<Args>(args)...);
        if (m_items.empty() || m_items.back().first < v.first) {
            m_items.push_back(std::move(v));
            return {m_items.end() - 1, true};
        }
        auto less = [](const value_type& a, const value_type& b) { return a.first < b.first; };
        if (Multi) return {m_items.insert(std::upper_bound(m_items.begin(), m_items.end(), v, less), std::move(v)), true};
        const iterator at = std::lower_bound(m_items.begin(), m_items.end(), v, less);
        if (at != m_items.end() && !(v.first < at->first)) return {at, false};
        return {m_items.insert(at, std::move(v)), true};
    }
    // Replaces the contents by items, as if each was emplaced in turn.
    void assignAll(std::vector<value_type>&& items)
    {
        std::stable_sort(items.begin(), items.end(),
                         [](const value_type& a, const value_type& b) { return a.first < b.first; });
        if (!Multi)
            items.erase(std::unique(items.begin(), items.end(),
                                    [](const value_type& a, const value_type& b) {
                                        return !(a.first < b.first) && !(b.first < a.first);
                                    }),
                        items.end());
        m_items = std::move(items);
    }

    const_iterator find(const K& key) const
    {
        const const_iterator at = lowerBound(key);
        return at != m_items.end() && !(key < at->first) ? at : m_items.end();
    }
    iterator find(const K& key)
    {
        const const_iterator at = static_cast<const CBfFlatMap*>(this)->find(key);
        return m_items.begin() + (at - m_items.cbegin());
    }
    std::size_t count(const K& key) const
    {
        const const_iterator at = lowerBound(key);
        std::size_t n = 0;
        for (const_iterator i = at; i != m_items.end() && !(key < i->first); ++i) ++n;
        return n;
    }
    const V& at(const K& key) const
    {
        const const_iterator it = find(key);
        if (it == m_items.end()) throw std::out_of_range("CBfFlatMap::at");
        return it->second;
    }

    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }
    iterator begin() { return m_items.begin(); }
    iterator end() { return m_items.end(); }
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    void clear() { m_items.clear(); }
    void reserve(std::size_t n) { m_items.reserve(n); }

private:
    const_iterator lowerBound(const K& key) const
    {
        return std::lower_bound(m_items.begin(), m_items.end(), key,
                                [](const value_type& a, const K& k) { return a.first < k; });
    }

    std::vector<value_type> m_items;
};
