// Variable-extension keys, value records and the tables of a type's
// variable descriptions (values, attributes, bit fields, dynamic arrays,
// units, configurations), with the one masked lookup that all per-variable
// tables share and the duplicate rule of each table.
//
// Keys: a VarExtKey is a variable address and a configuration mask (one bit
// per configuration id). Tables are ordered by address as a signed number,
// then by mask, so the entries of one address lie together in ascending
// mask order. The masked lookup findForCfg(adr, m) takes the first entry of
// adr, from mask m upwards, whose mask contains every bit of m; if that
// entry's value is empty (a null record, or the array address 0) nothing is
// found and no later entry is tried. A request mask 0 takes the address's
// entry with the smallest mask.
//
// Ownership: the record tables (values, instance values, attributes) own
// their records and delete them in freeAll() and their destructor; a
// refused insert leaves the record with the caller. The type's value and
// attribute entries live in vectors (CVarExtRecordVector); the other
// tables' nodes come from the program's pools.
//
// The stream layouts of these tables are in BoVarExtIo.h.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "base/falloc/AllocPool.h"
#include "base/st/stsymtab/StFlatMap.h"
#include "base/st/stsymtab/StIds.h"
#include "co/tvstring.h"

// Constant id (CID) of a value in the frame's constant table; all ones is
// the invalid id.
using BoConstId = StConstEntryID;
constexpr BoConstId BO_INVALID_CID = ST_INVALID_CID;

// Key of every per-variable table.
class VarExtKey : public CAllocPool<128> {
public:
    VarExtKey() = default;
    VarExtKey(int32_t address, uint32_t cfgMask) : adr(address), mask(cfgMask) {}
    VarExtKey(const VarExtKey&) = default;
    VarExtKey& operator=(const VarExtKey&) = default;

    // Address as signed 32-bit first, then the mask as unsigned.
    bool operator<(const VarExtKey& o) const { return adr != o.adr ? adr < o.adr : mask < o.mask; }
    bool operator==(const VarExtKey& o) const { return adr == o.adr && mask == o.mask; }
    // The mask contains every bit of m.
    bool covers(uint32_t m) const { return (mask & m) == m; }
    // Same variable (the masked lookup walks the entries of one subject).
    bool sameSubject(const VarExtKey& o) const { return adr == o.adr; }
    // "{0x%08X, 0x%08X}" of address and mask; "internal error" when the
    // text cannot be formatted.
    std::string print() const;

    int32_t adr = 0;
    uint32_t mask = 0;
};

std::ostream& operator<<(std::ostream& out, const VarExtKey& key);

// A VarExtKey's two fields without its pool base and that base's virtual
// destructor: what the vector tables store (8 bytes, moved as plain bytes),
// compared and converted like the key.
struct VarExtKeyFields {
    VarExtKeyFields() = default;
    VarExtKeyFields(const VarExtKey& k) : adr(k.adr), mask(k.mask) {}
    operator VarExtKey() const { return VarExtKey(adr, mask); }

    bool operator<(const VarExtKeyFields& o) const { return adr != o.adr ? adr < o.adr : mask < o.mask; }
    bool operator==(const VarExtKeyFields& o) const { return adr == o.adr && mask == o.mask; }
    bool covers(uint32_t m) const { return (mask & m) == m; }
    bool sameSubject(const VarExtKey& o) const { return adr == o.adr; }

    int32_t adr = 0;
    uint32_t mask = 0;
};

// Key of the type comments: type name, then configuration mask.
class TypeExtKey : public CAllocPool<128> {
public:
    TypeExtKey() = default;
    TypeExtKey(const String& typeName, uint32_t cfgMask) : name(typeName), mask(cfgMask) {}
    TypeExtKey(const TypeExtKey&) = default;
    TypeExtKey& operator=(const TypeExtKey&) = default;

    // Name byte-wise (characters as signed 8-bit values), then the mask.
    bool operator<(const TypeExtKey& o) const
    {
        int c = String::compare(name, o.name);
        return c != 0 ? c < 0 : mask < o.mask;
    }
    bool covers(uint32_t m) const { return (mask & m) == m; }
    // Same type name, byte-wise (letter case counts).
    bool sameSubject(const TypeExtKey& o) const { return String::compare(name, o.name) == 0; }

    String name;
    uint32_t mask = 0;
};

// Value record of a variable (instance side). On the type side Act is the
// default value (Def).
class VarInstValue : public CAllocPool<128> {
public:
    BoConstId Act = BO_INVALID_CID;  // constant of the value
    int32_t Unit = -1;               // unit id of the value's quantity record
    int32_t Fix = -1;                // unit id of the fixed unit, -1 none
};

// Value record of a variable type: default (Act) plus minimum and maximum.
class VarTypeValue : public VarInstValue {
public:
    BoConstId& Def() { return Act; }
    BoConstId Def() const { return Act; }

    BoConstId Min = BO_INVALID_CID;
    BoConstId Max = BO_INVALID_CID;

    // A new record with every field given; the caller owns it.
    static VarTypeValue* make(BoConstId def, int32_t unit, int32_t fix, BoConstId min, BoConstId max)
    {
        auto* v = new VarTypeValue;
        v->Def() = def;
        v->Unit = unit;
        v->Fix = fix;
        v->Min = min;
        v->Max = max;
        return v;
    }
};

// Attribute words of one variable. Records come from the program's pools
// (a type has one per attributed variable), yet stay a plain aggregate.
struct VarExt {
    static void* operator new(size_t size)
    {
        return CAllocPoolImpl::allocateFrom(tvfalloc::poolForSize(size), size);
    }
    static void* operator new(size_t size, const std::nothrow_t&) noexcept
    {
        try {
            return operator new(size);
        } catch (...) {
            return nullptr;
        }
    }
    static void operator delete(void* p, size_t size)
    {
        if (p) CAllocPoolImpl::deallocateTo(tvfalloc::poolForSize(size), p);
    }

    uint32_t A = 0;
    uint32_t ATO1 = 0;
    uint32_t ATO2 = 0;
    uint16_t G = 0;
    uint8_t TE = 0;
};

// String-resource ids of the texts of a set and a cleared bit.
struct BitType {
    int32_t setTextId = -1;
    int32_t unsetTextId = -1;
};

// One bit of a bit field; `third` is handed on unchanged.
struct BitEntry {
    int32_t bit = 0;
    int32_t bitType = 0;
    int32_t third = 0;
};

template <class K, class V>
using BoMap = std::map<K, V, std::less<K>, CPoolAllocator<std::pair<const K, V>>>;
template <class K, class V>
using BoMultiMap = std::multimap<K, V, std::less<K>, CPoolAllocator<std::pair<const K, V>>>;
using BoUnitList = std::list<int32_t, CPoolAllocator<int32_t>>;

// The masked lookup over any table keyed by VarExtKey or TypeExtKey (see the
// top of this file); isEmpty(value) tells a found entry that counts as not
// found. Returns t.end() when nothing is found.
template <class Table, class Key, class IsEmpty>
auto findMasked(Table& t, const Key& key, IsEmpty isEmpty) -> decltype(t.end())
{
    for (auto it = t.lower_bound(key); it != t.end() && it->first.sameSubject(key); ++it)
        if (it->first.covers(key.mask)) return isEmpty(it->second) ? t.end() : it;
    return t.end();
}

// A map of owned records under VarExtKey; a null record is allowed and
// counts as empty in the lookup.
template <class Rec>
class CVarExtRecordMap : public BoMap<VarExtKey, Rec*> {
public:
    using Base = BoMap<VarExtKey, Rec*>;

    CVarExtRecordMap() = default;
    CVarExtRecordMap(const CVarExtRecordMap&) = delete;
    CVarExtRecordMap& operator=(const CVarExtRecordMap&) = delete;
    ~CVarExtRecordMap() { freeAll(); }

    // Inserts rec (may be null) and takes it over; false when the key is
    // present with the same address and mask (rec then stays the caller's).
    // Keys mostly arrive in ascending order: one beyond the last key is
    // appended without a search down the tree.
    bool add(const VarExtKey& key, Rec* rec)
    {
        if (this->empty() || std::prev(this->end())->first < key) {
            this->emplace_hint(this->end(), key, rec);
            return true;
        }
        return this->emplace(key, rec).second;
    }
    // Deletes every record and empties the table.
    void freeAll()
    {
        for (auto& e : *this) delete e.second;
        this->clear();
    }
    typename Base::iterator findForCfg(const VarExtKey& key) { return findMasked(*this, key, isNull); }
    typename Base::const_iterator findForCfg(const VarExtKey& key) const { return findMasked(*this, key, isNull); }

private:
    static bool isNull(const Rec* r) { return r == nullptr; }
};

// The same for the type's tables, filled once from a whole section and then
// read: walked in key order like the other tables, with the map's
// operations that they use.
//
// A section's records are many and their keys come nearly in order (the
// masks of a few neighbouring addresses in turn): the entries are a sorted
// vector, a key within the last kNear entries is inserted in place, and one
// further back waits among the pending entries, with a hash of their keys
// for the duplicate test, until the next read merges them in. So any order
// of keys costs O(log n) per insert and each read after inserts one merge.
// Iterators are pointers into the vector: an insert invalidates them.
template <class Rec>
class CVarExtRecordVector {
public:
    struct value_type {
        VarExtKeyFields first;
        Rec* second;
    };
    using iterator = value_type*;
    using const_iterator = const value_type*;

    CVarExtRecordVector() = default;
    CVarExtRecordVector(const CVarExtRecordVector&) = delete;
    CVarExtRecordVector& operator=(const CVarExtRecordVector&) = delete;
    ~CVarExtRecordVector() { freeAll(); }

    // Inserts rec (may be null) and takes it over; false when the key is
    // present with the same address and mask (rec then stays the caller's).
    bool add(const VarExtKey& key, Rec* rec)
    {
        if (!m_pending.empty() && m_pendingKeys.find(packed(key))) return false;
        const VarExtKeyFields k(key);
        const size_t n = m_entries.size();
        if (n == 0 || m_entries.back().first < k) {
            m_entries.push_back(value_type{k, rec});
            return true;
        }
        const auto near = m_entries.end() - ptrdiff_t(std::min(n, kNear));
        const bool far = k < near->first;
        const auto it = std::lower_bound(far ? m_entries.begin() : near, far ? near : m_entries.end(), k, keyLess);
        if (it != m_entries.end() && it->first == k) return false;
        if (far) {
            m_pending.push_back(value_type{k, rec});
            m_pendingKeys[packed(key)] = 1;
        } else {
            m_entries.insert(it, value_type{k, rec});
        }
        return true;
    }
    // Deletes every record and empties the table.
    void freeAll()
    {
        for (auto& e : m_entries) delete e.second;
        for (auto& e : m_pending) delete e.second;
        clear();
    }
    void clear()
    {
        m_entries.clear();
        m_pending.clear();
        m_pendingKeys.clear();
    }

    size_t size() const { return m_entries.size() + m_pending.size(); }
    bool empty() const { return size() == 0; }
    iterator begin() { return settled().data(); }
    iterator end() { return settled().data() + m_entries.size(); }
    const_iterator begin() const { return settled().data(); }
    const_iterator end() const { return settled().data() + m_entries.size(); }
    // The first entry not before key / after key.
    iterator lower_bound(const VarExtKey& key) { return std::lower_bound(begin(), end(), VarExtKeyFields(key), keyLess); }
    const_iterator lower_bound(const VarExtKey& key) const { return std::lower_bound(begin(), end(), VarExtKeyFields(key), keyLess); }
    iterator upper_bound(const VarExtKey& key) { return std::upper_bound(begin(), end(), VarExtKeyFields(key), lessKey); }
    const_iterator upper_bound(const VarExtKey& key) const { return std::upper_bound(begin(), end(), VarExtKeyFields(key), lessKey); }
    iterator find(const VarExtKey& key)
    {
        const iterator it = lower_bound(key);
        return it != end() && it->first == key ? it : end();
    }
    const_iterator find(const VarExtKey& key) const
    {
        const const_iterator it = lower_bound(key);
        return it != end() && it->first == key ? it : end();
    }
    size_t count(const VarExtKey& key) const { return find(key) != end() ? 1 : 0; }

    iterator findForCfg(const VarExtKey& key) { return findMasked(*this, key, isNull); }
    const_iterator findForCfg(const VarExtKey& key) const { return findMasked(*this, key, isNull); }

private:
    static constexpr size_t kNear = 256;
    struct PackedHash {
        size_t operator()(uint64_t k) const { return size_t(k ^ (k >> 29)); }
    };
    static uint64_t packed(const VarExtKey& k) { return uint64_t(uint32_t(k.adr)) << 32 | k.mask; }
    static bool keyLess(const value_type& e, const VarExtKeyFields& k) { return e.first < k; }
    static bool lessKey(const VarExtKeyFields& k, const value_type& e) { return k < e.first; }
    static bool isNull(const Rec* r) { return r == nullptr; }

    // The entries with the pending ones merged in.
    std::vector<value_type>& settled() const
    {
        if (!m_pending.empty()) {
            const auto byKey = [](const value_type& a, const value_type& b) { return a.first < b.first; };
            std::sort(m_pending.begin(), m_pending.end(), byKey);
            const size_t middle = m_entries.size();
            m_entries.insert(m_entries.end(), m_pending.begin(), m_pending.end());
            std::inplace_merge(m_entries.begin(), m_entries.begin() + ptrdiff_t(middle), m_entries.end(), byKey);
            m_pending.clear();
            m_pendingKeys.clear();
        }
        return m_entries;
    }

    mutable std::vector<value_type> m_entries;
    mutable std::vector<value_type> m_pending;
    mutable StFlatMap<uint64_t, char, PackedHash> m_pendingKeys;
};

class CVarTypeValueTable : public CVarExtRecordVector<VarTypeValue> {};
class CVarInstValueTable : public CVarExtRecordMap<VarInstValue> {};
class CAttribTable : public CVarExtRecordVector<VarExt> {};

// Size-variable key -> address of a dynamic array it governs.
class CDynArrayTable : public BoMultiMap<VarExtKey, int32_t> {
public:
    // An entry with array address 0 counts as not found.
    iterator findForCfg(const VarExtKey& key) { return findMasked(*this, key, isZero); }
    const_iterator findForCfg(const VarExtKey& key) const { return findMasked(*this, key, isZero); }
    // Inserts one entry per array under sizeKey; refuses all of them (false,
    // nothing inserted) when any array is in the table already, under any
    // size variable, with a mask sharing a bit with sizeKey's mask.
    template <class List>
    bool addArrays(const VarExtKey& sizeKey, const List& arrays)
    {
        for (const auto& e : *this)
            if ((e.first.mask & sizeKey.mask) != 0)
                for (int32_t a : arrays)
                    if (a == e.second) return false;
        for (int32_t a : arrays) emplace(sizeKey, a);
        return true;
    }

private:
    static bool isZero(int32_t a) { return a == 0; }
};

// Bit-type id -> its texts.
class CBitTypeTable : public BoMap<int32_t, BitType> {
public:
    // False when the id exists.
    bool add(int32_t id, int32_t setTextId, int32_t unsetTextId)
    {
        return emplace(id, BitType{setTextId, unsetTextId}).second;
    }
};

// Variable key -> one bit of its bit field.
class CBitFieldTable : public BoMultiMap<VarExtKey, BitEntry> {
public:
    // Every found entry counts (a bit entry is never empty).
    iterator findForCfg(const VarExtKey& key) { return findMasked(*this, key, never); }
    const_iterator findForCfg(const VarExtKey& key) const { return findMasked(*this, key, never); }
    // False when bitType is not in types, or when an entry of the same
    // address whose mask covers key's mask has the same bit number.
    bool addBitField(const VarExtKey& key, int32_t bit, int32_t bitType, int32_t third, const CBitTypeTable& types);
    // The same, told whether bitType is known (a compiler that keeps some
    // bit types outside the table).
    bool addBitField(const VarExtKey& key, int32_t bit, int32_t bitType, int32_t third, bool typeKnown);

private:
    static bool never(const BitEntry&) { return false; }
};

// A map of 32-bit numbers that refuses an existing key.
template <class K>
class CBoNumberMap : public BoMap<K, int32_t> {
public:
    // False (nothing changed) when the key exists.
    bool add(K key, int32_t value) { return this->emplace(key, value).second; }
};

// PhysGr -> default unit (type side) or current unit (instance side).
class CUnitEntryTable : public CBoNumberMap<int32_t> {};
// Local quantity number of the type -> unit-table id of its quantity record.
class CResolveTable : public CBoNumberMap<int32_t> {};
// Configuration id -> text id.
class CCfgEntryTable : public CBoNumberMap<uint32_t> {};
// Variable / type -> comment text id; a negative id marks an empty entry.
class CVarTextTable : public BoMap<VarExtKey, int32_t> {};
class CTypeTextTable : public BoMap<TypeExtKey, int32_t> {};

// PhysGr -> possible units, in insertion order.
class CUsedUnitTable : public BoMap<int32_t, BoUnitList> {
public:
    // Creates the quantity's list when missing and appends unit (no
    // duplicate test).
    void add(int32_t physGr, int32_t unit) { (*this)[physGr].push_back(unit); }
};

// A configuration group: its entries (entry id -> text id) and its text id.
struct CfgGroupEntry {
    CCfgEntryTable entries;
    int32_t textId = -1;
};

// Group id -> group.
class CCfgGroupTable : public BoMap<uint32_t, CfgGroupEntry> {};
