// String table.
#include "base/st/stsymtab/StSyStringTable.h"

#include <algorithm>
#include <cstring>
#include <new>
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

StSyStringTable::Node* StSyStringTable::indexed(const String& name) const
{
    Node* const* node = m_index.find(NameKey(&name));
    return node ? *node : nullptr;
}

StSymbIDStStore* StSyStringTable::enter(String* name, const StSymbIDStStore& rec)
{
    if (Node* present = indexed(*name)) {
        delete name;
        return &present->kv.second;
    }
    static_assert(alignof(Node) <= 8, "arena blocks are 8-byte aligned");
    Node* node = new (m_arena.allocate(sizeof(Node))) Node{Pair(name, rec), m_order.size()};
    m_order.push_back(node);
    m_index[NameKey(name)] = node;
    ++m_count;
    ++m_changes;
    return &node->kv.second;
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
    Node* node = indexed(name);
    if (!node) return;
    String* key = node->kv.first;
    m_index.erase(NameKey(key));
    m_order[node->at] = nullptr;  // the next walk closes the hole
    ++m_holes;
    m_arena.recycle(node, sizeof(Node));
    delete key;
    --m_count;
    ++m_changes;
}

String* StSyStringTable::lookup(const String& name, StSymbEntryID& sid) const
{
    const Node* node = indexed(name);
    if (!node) {
        sid = ST_INVALID_SID;
        return nullptr;
    }
    sid = node->kv.second.sid;
    return node->kv.first;
}

StSymbIDStStore* StSyStringTable::find(const String& name)
{
    Node* node = indexed(name);
    return node ? &node->kv.second : nullptr;
}

void StSyStringTable::mark(const String& name)
{
    if (StSymbIDStStore* rec = find(name)) rec->mark |= 1;
}

void StSyStringTable::clear()
{
    for (Node* node : m_order)
        if (node) delete node->kv.first;
    m_order.clear();
    m_sorted = m_holes = m_count = 0;
    m_index.clear();
    m_arena.release();
    m_markedOnly = m_markNew = false;
    ++m_changes;
}

namespace {

// The first 16 bytes of a name as two numbers that order as String::compare
// orders names: bytes count as signed (flipped to order as unsigned), the
// end of a shorter name as its terminating 0. Only names without a 0 byte
// in those 16 are keyed; the order of two keyed names is that of their keys
// wherever the keys differ.
struct NameSortKey {
    uint64_t high = 0, low = 0;
    bool keyed = true;
    const void* node = nullptr;
};

NameSortKey nameSortKey(const String& name, const void* node)
{
    NameSortKey k;
    k.node = node;
    const char* p = name.chars();
    const size_t n = size_t(name.length());
    for (size_t i = 0; i < 16; ++i) {
        const uint8_t c = i < n ? uint8_t(p[i]) : 0;
        if (i < n && c == 0) k.keyed = false;
        uint64_t& word = i < 8 ? k.high : k.low;
        word = word << 8 | uint8_t(c ^ 0x80);
    }
    return k;
}

}  // namespace

void StSyStringTable::sortByName(std::vector<Node*>::iterator first, std::vector<Node*>::iterator last)
{
    // The names' leading bytes beside the nodes: most comparisons end there,
    // without a visit to either name.
    std::vector<NameSortKey> keys;
    keys.reserve(size_t(last - first));
    for (auto it = first; it != last; ++it) keys.push_back(nameSortKey(*(*it)->kv.first, *it));
    std::sort(keys.begin(), keys.end(), [](const NameSortKey& a, const NameSortKey& b) {
        if (a.keyed && b.keyed && (a.high != b.high || a.low != b.low))
            return a.high != b.high ? a.high < b.high : a.low < b.low;
        return String::compare(*static_cast<const Node*>(a.node)->kv.first,
                               *static_cast<const Node*>(b.node)->kv.first) < 0;
    });
    for (const NameSortKey& k : keys) *first++ = const_cast<Node*>(static_cast<const Node*>(k.node));
}

void StSyStringTable::sortOrder() const
{
    if (m_sorted == m_order.size() && m_holes == 0) return;
    // Close the holes; what stays of the sorted part stays sorted.
    size_t kept = 0, keptSorted = 0;
    for (size_t i = 0; i < m_order.size(); ++i) {
        if (!m_order[i]) continue;
        if (i < m_sorted) ++keptSorted;
        m_order[kept++] = m_order[i];
    }
    m_order.resize(kept);
    auto less = [](const Node* a, const Node* b) { return String::compare(*a->kv.first, *b->kv.first) < 0; };
    const auto mid = m_order.begin() + std::ptrdiff_t(keptSorted);
    sortByName(mid, m_order.end());
    std::inplace_merge(m_order.begin(), mid, m_order.end(), less);
    for (size_t i = 0; i < m_order.size(); ++i) m_order[i]->at = i;
    m_sorted = m_order.size();
    m_holes = 0;
}

StSyStringTable::NameView StSyStringTable::names() const
{
    sortOrder();
    return NameView(m_order.data(), m_order.size());
}

void StSyStringTable::assign(const StSyStringTable& other)
{
    if (&other == this) return;
    for (const auto& kv : other.names()) enter(new String(*kv.first), kv.second);
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
        const NameView all = names();
        for (const auto& kv : all) count += written(kv.second) ? 1 : 0;
        a.num(count);
        for (const auto& kv : all) {
            if (!written(kv.second)) continue;
            a.text(*kv.first);
            a.numLine(kv.second.sid);
        }
    }
}

ST_SERIALISERS(StSyStringTable)

void StSyStringTable::dump(std::ostream& os) const
{
    os << ' ' << m_count << "\n";
    for (const auto& kv : names()) os << *kv.first << ' ' << kv.second.sid << "\n";
}
