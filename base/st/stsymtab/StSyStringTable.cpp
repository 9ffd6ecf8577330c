// String table.
#include "base/st/stsymtab/StSyStringTable.h"

#include <cstring>
#include <ostream>

#include "base/st/stsymtab/StSerial.h"

StSyStringTable::~StSyStringTable()
{
    clear();
}

uint32_t StSyStringTable::hashOf(const String& name)
{
    // Eight bytes a step, each step multiplied through; equal names (same
    // length, same bytes) hash alike. In memory only.
    const char* p = name.chars();
    size_t n = size_t(name.length());
    uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    auto mix = [&h](uint64_t w) {
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    };
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        mix(w);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, p, n);
    mix(tail);
    return uint32_t(h);
}

StSyStringTable::Pair* StSyStringTable::indexed(const String& name) const
{
    Pair* const* pair = m_index.find(NameKey(&name));
    return pair ? *pair : nullptr;
}

StSymbIDStStore* StSyStringTable::enter(String* name, const StSymbIDStStore& rec)
{
    if (Pair* present = indexed(*name)) {
        delete name;
        return &present->second;
    }
    auto res = m_map.emplace(name, rec);
    if (!res.second) {
        delete name;
    } else {
        m_index[NameKey(res.first->first)] = &*res.first;
        ++m_changes;
    }
    return &res.first->second;
}

int StSyStringTable::insert(String* name, StSymbEntryID sid, uint32_t extra)
{
    if (!name) return 1;
    if (sid.isInvalid()) {
        delete name;
        return 1;
    }
    StSymbIDStStore rec;
    rec.sid = sid;
    rec.extra = extra;
    StSymbIDStStore* kept = enter(name, rec);
    if (m_markNew) kept->mark |= 1;
    return 0;
}

void StSyStringTable::remove(const String& name)
{
    Pair* pair = indexed(name);
    if (!pair) return;
    auto it = m_map.find(pair->first);
    String* key = it->first;
    m_index.erase(NameKey(key));
    m_map.erase(it);
    delete key;
    ++m_changes;
}

String* StSyStringTable::lookup(const String& name, StSymbEntryID& sid) const
{
    const Pair* pair = indexed(name);
    if (!pair) {
        sid = ST_INVALID_SID;
        return nullptr;
    }
    sid = pair->second.sid;
    return pair->first;
}

StSymbIDStStore* StSyStringTable::find(const String& name)
{
    Pair* pair = indexed(name);
    return pair ? &pair->second : nullptr;
}

void StSyStringTable::mark(const String& name)
{
    if (StSymbIDStStore* rec = find(name)) rec->mark |= 1;
}

void StSyStringTable::clear()
{
    for (auto& kv : m_map) delete kv.first;
    m_map.clear();
    m_index.clear();
    m_markedOnly = m_markNew = false;
    ++m_changes;
}

void StSyStringTable::assign(const StSyStringTable& other)
{
    if (&other == this) return;
    for (const auto& kv : other.m_map) enter(new String(*kv.first), kv.second);
}

template <class A>
void StSyStringTable::io(A& a, uint32_t)
{
    if constexpr (A::kReading) {
        uint32_t count = 0;
        a.num(count);
        for (uint32_t i = 0; i < count && a.good(); ++i) {
            String* name = new String;
            StSymbIDStStore rec;
            a.text(*name);
            a.numLine(rec.sid);
            if (!a.good() || rec.sid.isInvalid()) {
                delete name;
                continue;
            }
            enter(name, rec);
        }
    } else {
        uint32_t count = 0;
        for (const auto& kv : m_map) count += written(kv.second) ? 1 : 0;
        a.num(count);
        for (const auto& kv : m_map) {
            if (!written(kv.second)) continue;
            a.text(*kv.first);
            a.numLine(kv.second.sid);
        }
    }
}

ST_SERIALISERS(StSyStringTable)

void StSyStringTable::dump(std::ostream& os) const
{
    os << ' ' << m_map.size() << "\n";
    for (const auto& kv : m_map) os << *kv.first << ' ' << kv.second.sid << "\n";
}
