// Objects of the boot-function model keyed by SID (the types of a source,
// the implementations of its types): owned in insertion order, found
// through a hash index, walked in SID order.
//
// A compile declares one type and one implementation per boot function,
// tens of thousands of them, almost always in rising SID order. An ordered
// map made a node per object, a tree walk per lookup and a node free per
// object at the end; here an insertion is an append, a lookup an index by
// SID (the place of the object; the SIDs of a compile are dense enough, and
// it asks for the newest), and the walk sorts the vector once (only when an
// insertion came out of order).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/st/stsymtab/StIds.h"
#include "bo/cp/CpIdWords.h"

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
        if (find(sid)) return false;
        // Room first, so that a failed allocation leaves both as they were.
        if (m_entries.size() == m_entries.capacity()) m_entries.reserve(std::max<std::size_t>(16, 2 * m_entries.size()));
        m_index.set(sid.get(), uint32_t(m_entries.size() + 1));
        if (!m_entries.empty() && sid.get() < m_entries.back().sid.get()) m_sorted = false;
        m_entries.push_back(Entry{sid, std::move(object)});
        return true;
    }
    T* find(StSymbEntryID sid) const
    {
        const uint32_t place = m_index.get(sid.get());
        return place != 0 ? m_entries[place - 1].object.get() : nullptr;
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
            for (std::size_t i = 0; i < m_entries.size(); ++i) m_index.set(m_entries[i].sid.get(), uint32_t(i + 1));
            m_sorted = true;
        }
        return m_entries;
    }

private:
    // SIDs per object the index keeps in its vector: a boot function's
    // declarations (its variables) take the SIDs between two of its types.
    static constexpr std::size_t kSidSpread = 64;
    mutable std::vector<Entry> m_entries;
    mutable bool m_sorted = true;
    mutable CpIdWords m_index{kSidSpread};  // the place of each object + 1
};
