// Constant values of the symbol table and the table that keeps them.
//
// Every constant (initial value, named constant, literal operand) is a
// pool-allocated object derived from StConstantVal and a storage place (the
// address of its image in the constant segment, segment bits 0xFB000000).
// Five kinds exist (StConstValKind, stored in files): the elementary value
// (StStdConstantVal.h) and the structure, string, integer-array and
// package-init values (StCompConstantVal.h). Composite values own their
// nested values and may hold null members.
//
// The virtual operations below carry the behaviour of the abstract class;
// the kinds override what applies to them. Status words: 0 ok, 1 refused,
// 2 ok with loss or mismatch (each line says more).
//
// Written forms. The body (write / read, on a section stream or a standard
// text stream) starts with the shared flag and a blank, continues with the
// kind's own fields and ends with the storage address (signed) and a blank.
// The value-only form (writeValue / readValue, used by the name exports)
// carries neither the shared flag nor the address. Blanks are written on a
// section stream only in text mode; numbers are 32 bit, flags and narrow
// fields one byte in binary mode. Readers stop at the first failure; a read
// that meets a float that is not finite, a kind it cannot create or a value
// nested deeper than ST_CONST_MAX_DEPTH fails the stream (a section error,
// failbit), so a value that read cleanly is always fully ordered.
//
// Ordering. constValLess orders first by kind, then by the kind's own order;
// it is a strict weak order in which every pair that constValEqual calls
// equal is equivalent. The one exception to the converse is an @MEMADR
// value that holds no address (0x7FFFFFFF): it is never equal, not even to
// itself, so it is never shared.
#pragma once
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>

#include "base/falloc/AllocPool.h"
#include "base/st/stsymtab/StFlatMap.h"
#include "base/st/stsymtab/StIdMap.h"
#include "base/st/stsymtab/StIds.h"
#include "base/st/stsymtab/StSyStoragePlace.h"
#include "co/VersionStamp.h"
#include "co/tvstring.h"

class FsSecCl;
class FsSecData;
class StSyTypeTable;

enum StConstValKind : int32_t {
    ST_CONST_STD = 0,
    ST_CONST_STRUCT = 1,
    ST_CONST_STRING = 2,
    ST_CONST_INTARRAY = 3,
    ST_CONST_PCKINIT = 4,
};

// Nesting depth at which the readers give up (against hostile input).
constexpr int ST_CONST_MAX_DEPTH = 200;

// Package identifier of a package-init value: GUID, u16, u16 (20 bytes).
using StPackageId = VRX_VersionStamp;

// Mixes a word into a well-spread hash.
inline uint64_t stMixHash(uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}
// Adds a word to a hash.
inline uint64_t stAddHash(uint64_t h, uint64_t word) { return stMixHash(h ^ (word + 0x9E3779B97F4A7C15ull + (h << 6))); }

class StConstantVal;
// The element array of a composite value: [first, end).
struct StConstRange {
    StConstantVal* const* first = nullptr;
    StConstantVal* const* end = nullptr;
};

class StConstantVal : public CAllocPool<128>, public StSyStoragePlace {
public:
    explicit StConstantVal(bool shared = true) : m_shared(shared) {}
    // Copies the storage address, the store mark and the shared flag.
    StConstantVal(const StConstantVal&) = default;
    StConstantVal& operator=(const StConstantVal&) = delete;
    ~StConstantVal() override = default;

    bool isShared() const { return m_shared; }
    void setShared(bool shared) { m_shared = shared; }

    virtual StConstValKind getKind() const = 0;
    // A new value of the same class with the given shared flag / a copy.
    virtual StConstantVal* cloneShared(bool shared) const = 0;
    virtual StConstantVal* clone() const = 0;
    // 0 ok, 1 refused (other kind), 2 type mismatch.
    virtual int assign(const StConstantVal* source) = 0;
    // Zero or empty value. [false]
    virtual bool isDefault() const { return false; }
    virtual bool hasSingleElement() const { return false; }
    // Literal parsers: 0 ok, otherwise a failure status. [0]
    virtual int parseLiteral(const String& text, int radix) { return 0; }
    virtual int parseReal(const String& text) { return 0; }
    virtual int setSysAddr(uint32_t address) { return 0; }
    // 0 ok, 1 refused, 2 precision lost. [0]
    virtual int setType(uint32_t typeId, bool normaliseFirst) { return 0; }
    // 0 ok, 1 refused. [1]
    virtual int negate() { return 1; }
    virtual bool setMin() { return false; }
    virtual bool setMax() { return false; }
    // Elementary type id. [30]
    virtual uint32_t getTypeId() const { return 30; }
    // 0 fits, 1 does not, 2 fits with loss. [1]
    virtual int fitsType(uint32_t typeId) const { return 1; }
    virtual bool getDInt(int32_t& v) const { return false; }
    virtual bool getLong(int32_t& v) const { return false; }
    virtual uint32_t getSmallestType() const { return 30; }
    virtual uint32_t getSysAddr() const { return 0x7FFFFFFF; }
    virtual bool getULong(uint32_t& v) const { return false; }
    // getULong when the value fits 16 bits; false (v untouched) otherwise.
    bool getUShort(uint16_t& v) const
    {
        uint32_t u = 0;
        if (!getULong(u) || u > 0xFFFFu) return false;
        v = uint16_t(u);
        return true;
    }
    virtual bool getDouble(double& v) const { return false; }
    virtual bool isSameType(const StConstantVal* other) const { return false; }
    // 0 ok, 2 source not convertible, 3 target not allowed, 4 out of range. [1]
    virtual int convertTo(uint32_t typeId) { return 1; }
    // 0 ok, 1 error, 3 ok with sub-millisecond digits dropped. [0]
    virtual int parseTime(const String& text) { return 0; }
    virtual bool parseDate(const String& text) { return false; }
    virtual bool parseTimeOfDay(const String& text) { return false; }
    virtual bool parseDateAndTime(const String& text) { return false; }
    virtual bool setObjectIds(uint16_t first, uint16_t second) { return false; }
    // Package init: copies the package id, returns the function number. [-1]
    virtual int32_t getPackageInit(StPackageId& package) const { return -1; }
    virtual StTypeID getTypeRef() const { return ST_INVALID_TID; }
    virtual void setTypeRef(StTypeID tid) {}
    // Element walk of composite values (not owned by the caller). [null]
    virtual StConstantVal* firstElement() const { return nullptr; }
    // Replaces e by the element after it, or null. [null]
    virtual void nextElement(StConstantVal*& e) const { e = nullptr; }
    virtual StConstantVal* elementAt(uint32_t index) const { return nullptr; }
    virtual StConstRange elementRange() const { return {}; }
    virtual uint32_t elementCount() const { return 1; }
    // String value: its text and length. [empty, 0]
    virtual void getText(String& text, uint8_t& length) const;
    virtual int32_t getTextLength() const { return -1; }
    virtual int32_t getHeadSpec() const { return 30; }
    // Writes the value's data-value records at storage address + offset;
    // non-zero when a write failed (or, for composites, nothing to write).
    virtual int writeImage(FsSecData& data, int32_t offset) const = 0;
    // Bodies; false once the stream failed.
    virtual bool write(FsSecCl& s) const;
    virtual bool write(std::ostream& os) const;
    virtual bool read(FsSecCl& s);
    virtual bool read(std::istream& is);
    // Value-only form.
    virtual bool writeValue(FsSecCl& s) const = 0;
    virtual bool readValue(FsSecCl& s) = 0;
    // Hooks for the boot-function constants of the business objects.
    virtual void hookWithArg(void* arg) {}
    virtual int hookNoArg() { return 0; }
    // The value alone, e.g. "(int -5)".
    virtual void dumpValue(std::ostream& os) const = 0;
    // Same kind assumed by the callers (constValEqual). [equal shared flags]
    virtual bool isEqual(const StConstantVal& other) const { return m_shared == other.m_shared; }
    // True when other sorts before this (same kind assumed).
    virtual bool isGreaterThan(const StConstantVal& other) const { return compareTo(other) > 0; }
    // Raw 8 value bytes, type id and sign word. [zeros, 30, +1]
    virtual void getRaw(uint8_t value[8], uint32_t& typeId, int32_t& sign) const;

    // Three-way order of two values of the same kind (negative: this sorts
    // first). The base orders an unshared value before a shared one.
    virtual int compareTo(const StConstantVal& other) const;
    // A hash of the value's place in the order: values of one kind that
    // compareTo calls equivalent (0) have the same hash. The base hashes
    // the kind and the shared flag; a kind that overrides compareTo may
    // add what its order compares.
    virtual uint64_t orderHash() const;

    uint32_t segmentBits() const override { return ST_SEG_CONST; }
    // The kind's own text, then " Adr: .. Seg: .." and " shared ".
    void dump(std::ostream& os) const override { dumpConstPlace(os); }

protected:
    // " Adr: <hex> Seg: <hex>" and " shared " when shared.
    void dumpConstPlace(std::ostream& os) const;

    bool m_shared;
};

// The six written forms of a concrete class (defined by ST_CONST_BODIES in
// StConstIo.h) and their field lists.
#define ST_CONST_DECLARE_BODIES                                                 \
    bool write(FsSecCl& s) const override;                                      \
    bool write(std::ostream& os) const override;                                \
    bool read(FsSecCl& s) override;                                             \
    bool read(std::istream& is) override;                                       \
    bool writeValue(FsSecCl& s) const override;                                 \
    bool readValue(FsSecCl& s) override;                                        \
    template <class A>                                                          \
    void ioBody(A& a);                                                          \
    template <class A>                                                          \
    void ioValue(A& a);

// Both kinds equal and b equal to a.
bool constValEqual(const StConstantVal* a, const StConstantVal* b);
// By kind, then by the kind's order (a strict weak order).
bool constValLess(const StConstantVal* a, const StConstantVal* b);
// Three-way form of constValLess; a null value sorts before every value.
int constValCompare(const StConstantVal* a, const StConstantVal* b);

struct StConstValLess {
    bool operator()(const StConstantVal* a, const StConstantVal* b) const { return constValLess(a, b); }
};

// An elementary value's place in the order as a plain key: two elementary
// values are equivalent (compareTo 0) exactly when their keys are equal
// (StStdConstantVal::orderKey), so equal values can be found by hash.
struct StConstOrderKey {
    uint64_t payload = 0;
    int32_t type = 0;
    int32_t sign = 0;
    bool shared = false;

    bool operator==(const StConstOrderKey& o) const
    {
        return payload == o.payload && type == o.type && sign == o.sign && shared == o.shared;
    }
    bool operator!=(const StConstOrderKey& o) const { return !(*this == o); }
};

struct StConstOrderKeyHash {
    uint64_t operator()(const StConstOrderKey& k) const
    {
        uint64_t h = k.payload ^ (k.payload >> 29);
        h = h * 0xBF58476D1CE4E5B9ull + (uint64_t(uint32_t(k.type)) << 32 | uint32_t(k.sign));
        return h ^ (h >> 31) ^ uint64_t(k.shared);
    }
};

// The constant table: every value under its constant id (CID); shared
// values once, found by value (elementary values through a hash of their
// order key, the composite kinds through their order).
//
// CIDs come from a counter; once the counter has reached the invalid CID
// the lowest free CID is searched. Releasing the highest CID lowers the
// counter to one past the highest CID still in use.
//
// Written form (section stream; the standard stream always writes blanks
// and ends each value with a line end): count, blank; per value in CID
// order: CID, blank, kind, blank, body, "\r\n"; then the counter, blank.
// With mark-only set only marked values are counted and written. Reading
// keeps the first value of a repeated CID, lets the last of equal shared
// values stand for them (a new equal value gets its CID), ends at an
// unknown kind or the first failure (false), and sets the counter to one
// past the highest CID.
class StSyConstValTable {
public:
    // By CID in ascending order: a vector for the CIDs of the counter, an
    // ordered map only for CIDs read far apart.
    using ValueMap = StIdMap<uint32_t, StConstantVal>;
    StSyConstValTable() = default;
    StSyConstValTable(const StSyConstValTable&) = delete;
    StSyConstValTable& operator=(const StSyConstValTable&) = delete;
    virtual ~StSyConstValTable();

    // A new empty value of the kind (0 elementary ANYTYPE, 1 structure,
    // 2 string, 4 package init); null for any other kind. Derived tables
    // create their own classes.
    virtual StConstantVal* createConstantVal(int32_t kind) const;
    // " <count>\n", then per value "<CID> <place dump>\n".
    virtual void dump(std::ostream& os) const;

    // Deletes every value, zeroes the counter and both flags.
    void clear();
    // The value or null (owned by the table).
    StConstantVal* getConstantVal(StConstEntryID cid) const;
    // Takes the value (the caller's pointer is nulled) under a new CID, or
    // answers the CID of an equal shared value (the caller keeps its value);
    // the invalid CID when no CID is left.
    StConstEntryID addConstantVal(StConstantVal*& value);
    // addConstantVal for a copy of value: the CID of an equal shared value,
    // else a new CID that takes value.cloneShared(value.isShared()) (made
    // only then); the invalid CID when no CID is left.
    StConstEntryID addConstantCopy(const StConstantVal& value);
    // CID of an equal shared value; invalid when value is not shared or
    // none is equal.
    StConstEntryID findSharedValue(const StConstantVal* value) const;
    // Applies change to the value of cid, taking a shared value out of the
    // shared map for the time of the change (a key never changes in place)
    // and back in unless an equal one is there; false for an unknown CID.
    // Defined beside the symbol table, its user.
    bool changeValue(StConstEntryID cid, void (*change)(StConstantVal&, uint32_t), uint32_t arg);
    // 0 removed (value deleted), 1 unknown CID. The shared entry of an equal
    // value goes with it, whichever CID it stands for.
    int removeConstantVal(StConstEntryID cid);
    // 1 a <= b, 0 a > b, 2 not comparable (unknown CID, not the same type).
    int compareValues(StConstEntryID a, StConstEntryID b) const;
    // 30 when unknown.
    uint32_t getTypeIdOf(StConstEntryID cid) const;
    // v is 0 first and stays 0 for an unknown CID.
    bool getDIntOf(StConstEntryID cid, int32_t& v) const;
    bool getLongOf(StConstEntryID cid, int32_t& v) const;
    // Sets the store mark of the value (unknown CID: nothing).
    void markValue(StConstEntryID cid);
    // Allocates a CID (invalid when none is left).
    StConstEntryID getNextFreeID();

    bool write(FsSecCl& s) const;
    bool write(std::ostream& os) const;
    bool read(FsSecCl& s);
    bool read(std::istream& is);

    // Gives the elements of a composite value their storage addresses, from
    // the value's own address (plus 1 in count mode, where sizes count items
    // instead of bytes and nothing is aligned).
    void layoutValue(StConstantVal* value, StSyTypeTable& types, bool countMode) const;
    // The nested value that lies at target and has the wanted TID (or
    // elementary type id), walking the layout from start; null between
    // elements, beyond the value, for an invalid wanted TID or an integer
    // array whose element size is 0.
    StConstantVal* findValueAtOffset(StConstantVal* value, StSyTypeTable& types, bool countMode, int32_t target,
                                     StTypeID wanted, int32_t start) const;

    const ValueMap& values() const { return m_values; }
    // Number of values that stand for their equals.
    std::size_t sharedCount() const;
    uint32_t getCounter() const { return m_nextFree; }
    // For tests and benches: forces the counter (e.g. to 0xFFFFFFFF).
    void setCounter(uint32_t counter) { m_nextFree = counter; }
    void setMarkOnly(bool on) { m_markOnly = on; }
    bool isMarkOnly() const { return m_markOnly; }
    void setMarkNew(bool on) { m_markNew = on; }
    bool isMarkNew() const { return m_markNew; }

private:
    template <class A>
    void writeAll(A& a) const;
    template <class A>
    bool readAll(A& a);
    void releaseID(uint32_t cid);
    uint32_t afterHighest() const { return m_values.empty() ? 0 : m_values.rbegin()->first + 1; }

    // A shared value standing for its equals, and its CID.
    struct SharedEntry {
        const StConstantVal* value = nullptr;
        uint32_t cid = 0;
    };
    // A composite shared value as the key of its entry: its hash of its
    // place in the order, kept so that a probe compares values only on
    // equal hashes and growing the table never touches a value; keys are
    // equal when the order calls the values equivalent.
    struct SharedKey {
        uint64_t hash = 0;
        const StConstantVal* value = nullptr;
        bool operator==(const SharedKey& o) const { return hash == o.hash && constValCompare(value, o.value) == 0; }
    };
    struct SharedKeyHash {
        uint64_t operator()(const SharedKey& k) const { return k.hash; }
    };
    static SharedKey sharedKeyOf(const StConstantVal& value) { return SharedKey{value.orderHash(), &value}; }
    // The shared entry equivalent to value (which is shared), or none.
    SharedEntry findEquivalent(const StConstantVal& value) const;
    // value under cid unless an equivalent entry is there.
    void shareValue(const StConstantVal* value, uint32_t cid);
    // value under cid, in place of an equivalent entry.
    void shareValueLast(const StConstantVal* value, uint32_t cid);
    // Drops the entry equivalent to value.
    void unshareValue(const StConstantVal& value);
    template <class Take>
    StConstEntryID enter(const StConstantVal& value, Take take);

    ValueMap m_values;
    // The CID of each shared value (the table's value under that CID),
    // elementary ones by order key, the others by their order hash: a slot
    // is half a cache line or less, and adding a value touches one.
    StFlatMap<SharedKey, uint32_t, SharedKeyHash> m_shared;
    StFlatMap<StConstOrderKey, uint32_t, StConstOrderKeyHash> m_sharedStd;
    uint32_t m_nextFree = 0;
    bool m_markOnly = false;
    bool m_markNew = false;
};
