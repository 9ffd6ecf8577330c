// Pointers by 32-bit id beside an ordered map of the same entries (the
// symbol entries by SID, the constant values by CID): ids handed out by a
// counter are mostly dense from 0, so that a lookup is an index and a walk
// in id order a scan, without the map's tree. The map stays the owner and
// the authority; the index mirrors it for the ids below its size.
//
// The vector grows (doubling) only while it stays within twice the map's
// size (and below 2^24 ids): ids read far apart are left to the map.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

template <class T>
class StDenseIndex {
public:
    // Whether the index answers for id (else the map does).
    bool holds(uint32_t id) const { return id < m_at.size(); }
    // The entry of an id the index holds; null when the map has none.
    T* at(uint32_t id) const { return m_at[id]; }

    // After map took id -> p.
    template <class Map>
    void put(uint32_t id, T* p, const Map& map)
    {
        if (id < m_at.size()) {
            m_at[id] = p;
            return;
        }
        constexpr size_t kMaxIds = size_t(1) << 24;
        const size_t limit = std::min(kMaxIds, 2 * map.size() + 1024);
        if (id >= limit) return;
        const size_t old = m_at.size();
        const size_t size = std::min(limit, std::max({size_t(id) + 1, 2 * old, size_t(64)}));
        m_at.resize(size, nullptr);
        // The ids it newly covers, from the map.
        for (auto it = map.lower_bound(typename Map::key_type(uint32_t(old))); it != map.end(); ++it) {
            const uint32_t key = uint32_t(it->first);
            if (key >= size) break;
            m_at[key] = it->second;
        }
    }
    // After map dropped id.
    void drop(uint32_t id)
    {
        if (id < m_at.size()) m_at[id] = nullptr;
    }
    void clear() { m_at.clear(); }

    // Calls f(id, entry) for every entry of map in ascending order of id:
    // a scan of the index when it covers every id, else a walk of the map.
    template <class Map, class F>
    void forEachInOrder(const Map& map, F f) const
    {
        if (map.empty() || uint32_t(map.rbegin()->first) < m_at.size()) {
            for (size_t id = 0; id < m_at.size(); ++id)
                if (T* p = m_at[id]) f(typename Map::key_type(uint32_t(id)), p);
            return;
        }
        for (const auto& kv : map) f(kv.first, kv.second);
    }

private:
    std::vector<T*> m_at;
};
