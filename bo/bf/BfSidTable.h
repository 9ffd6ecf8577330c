// Objects of the boot-function model keyed by SID (the types of a source,
// the implementations of its types): owned in insertion order, found
// through a hash index, walked in SID order.
//
// A compile declares one type and one implementation per boot function,
// tens of thousands of them, almost always in rising SID order. An ordered
// map made a node per object, a tree walk per lookup and a node free per
// object at the end; here an insertion is an append, a lookup a probe, and
// the walk sorts the vector once (only when an insertion came out of order).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/st/stsymtab/StFlatMap.h"
#include "base/st/stsymtab/StIds.h"

template <class T>
class CBfSidTable {
public:
    struct Entry {
        StSymbEntryID sid;
        std::unique_ptr<T> object;
    };

    // Takes object under sid; false (object left with the caller) when sid
    // is present.
    bool insert(StSymbEntryID sid, std::unique_ptr<T>& object)
    {
        if (m_index.find(sid.get())) return false;
        // Room first, so that a failed allocation leaves both as they were.
        if (m_entries.size() == m_entries.capacity()) m_entries.reserve(std::max<std::size_t>(16, 2 * m_entries.size()));
        m_index[sid.get()] = object.get();
        if (!m_entries.empty() && sid.get() < m_entries.back().sid.get()) m_sorted = false;
        m_entries.push_back(Entry{sid, std::move(object)});
        return true;
    }
    T* find(StSymbEntryID sid) const
    {
        T* const* found = m_index.find(sid.get());
        return found ? *found : nullptr;
    }
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    void clear()
    {
        m_entries.clear();
        m_index.clear();
        m_sorted = true;
    }
    // The entries in ascending SID order.
    const std::vector<Entry>& ordered() const
    {
        if (!m_sorted) {
            std::sort(m_entries.begin(), m_entries.end(),
                      [](const Entry& a, const Entry& b) { return a.sid.get() < b.sid.get(); });
            m_sorted = true;
        }
        return m_entries;
    }

private:
    struct IdHash {
        std::size_t operator()(uint32_t id) const { return id; }
    };
    mutable std::vector<Entry> m_entries;
    mutable bool m_sorted = true;
    StFlatMap<uint32_t, T*, IdHash> m_index;
};
