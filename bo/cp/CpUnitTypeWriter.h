// The type descriptions of the unit-using table: the types a unit uses,
// numbered as runs of 32-bit words and written, with tagged segment sizes
// and the unit's named entries, into a data-description section.
//
// Word forms (one record per type id, in type-id order, after the header):
//   ANYOBJECT            (resolved object id & 0xFFFFFF) | 0x40000000
//   elementary, STRING   (type code << 16) | (byte size & 0xFFFF) | 0x50000000
//   structure            (members & 0xFFFFFF) | 0x20000000, value word,
//                        per member: word index of its type, offset
//   array                (count & 0xFFFFFF) | 0x30000000, value word, word
//                        index of the element type, lower bound, and the
//                        resolver's second half for an @MEMADR element (0)
//   header               (base count + value) | 0x10000000, value word, per
//                        member: word index of its type, offset; per extra
//                        number: its word index, 0
// A record's words: 1 elementary or special, 5 array, 2 x members + 2.
//
// Word indexes: the first record starts at 2 x base count + header size - 1;
// each record adds its size, then every extra number takes one index. The
// base count stands for word pairs that precede the records where the
// table is used; they are not written here, so the section announces the
// words it really writes (header, records, extra numbers).
//
// Unit entries: those the caller adds, and every member (of the header or
// of a structure) whose name is that of a unit in the symbol table, with
// the member's offset as its value (an entry already there keeps its own).
//
// Who fills the records, the value words and the unit entries is up to the
// caller; a member or element type without a record of its own fails the
// write (its index would be meaningless).
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "base/st/stsymtab/StIds.h"
#include "base/st/stsymtab/stmcspec.h"
#include "co/tvstring.h"

class FsSecDataDescr;
class StSymbTable;

// What the writer needs from its caller's object world.
class CpTypeResolver {
public:
    virtual ~CpTypeResolver() = default;
    // The object id of a named object type; -1 when unknown.
    virtual int32_t resolveObjectId(const String& name) = 0;
    // The two 16-bit halves describing an address type (the array's TID).
    virtual void addressHalves(StTypeID tid, uint16_t& first, uint16_t& second) = 0;
};

struct CpTypeMember {
    StTypeID tid = ST_INVALID_TID;
    uint32_t offset = 0;
    // The member's name: one that names a unit of the symbol table enters
    // the unit entries with the offset when written. Empty for none.
    String name = String();
};

struct CpTypeRecord {
    String name;          // for ANYOBJECT records: the object type's name
    uint32_t value = 0;   // value word of structures and arrays
    uint32_t count = 0;   // element count (arrays) or length (STRING); 0 else
    std::vector<CpTypeMember> members;
    ESTypeSpec spec = 0;  // 0x1000 | id, 0x2000 | code, or a type-table id
    uint32_t lowerBoundCount = 0;
    uint32_t objectId = 0;   // set by write for ANYOBJECT
    uint32_t wordIndex = 0;  // set by the layout

    bool isAnyObject() const { return esIsElementary(spec) && esElemCode(spec) == ST_ANYOBJECT; }
    bool isSimple() const { return esIsElementary(spec) || esIsSpecial(spec); }
    bool isArray() const { return !isSimple() && count != 0; }
    uint32_t wordSize() const;
};

using CpTypeRecordMap = std::map<StTypeID, CpTypeRecord>;

class CpUnitTypeWriter {
public:
    static constexpr uint32_t MAX_SEGMENT_SIZE = 0xFFFFFF;

    CpTypeRecordMap& records() { return m_records; }
    const CpTypeRecordMap& records() const { return m_records; }
    // The writer's own record: the header's value word and members.
    CpTypeRecord& header() { return m_header; }
    void setBaseCount(uint32_t n) { m_baseCount = n; }
    uint32_t baseCount() const { return m_baseCount; }
    void addUnitEntry(const String& name, uint32_t value) { m_units[name] = value; }
    size_t unitCount() const { return m_units.size(); }
    const std::vector<uint32_t>& extraNumbers() const { return m_extra; }

    // A size above 0xFFFFFF is refused (false). The tag is 0xF4000000 with
    // both flags clear, 0xF3 second only, 0xF2 first only, 0xF1 both; an
    // extra number with the same tag (bits 24-27) is replaced, else a size
    // other than 0 is appended.
    bool setSegmentSize(bool first, bool second, uint32_t size);

    // Resolves ANYOBJECT records (no resolver or -1: false before the
    // section is opened), lays the words out and writes them, the extra
    // numbers and the unit list. False at the first failed word, an
    // unsupported special type or a type without record; the words already
    // written stay. The table and resolver are held only during the call;
    // the unit entries are cleared whatever the result.
    bool write(FsSecDataDescr& section, CpTypeResolver* resolver, const StSymbTable& table);

private:
    uint32_t headerSize() const;
    bool layout(uint32_t& wordCount);
    bool writeRecord(const CpTypeRecord& r, StTypeID tid);
    bool writeMembers(const CpTypeRecord& r);
    bool word(uint32_t w);

    CpTypeRecordMap m_records;
    CpTypeRecord m_header;
    std::vector<uint32_t> m_extra;
    std::vector<uint32_t> m_extraIndex;
    uint32_t m_baseCount = 0;
    std::map<String, uint32_t> m_units;
    // During a write only.
    FsSecDataDescr* m_section = nullptr;
    CpTypeResolver* m_resolver = nullptr;
    const StSymbTable* m_table = nullptr;
};

// Expands types into the (type id, address) pairs of their elementary
// parts: structures into their members, arrays into each element (the
// element size from the symbol table). Pairs come out sorted by address.
// A type nested deeper than MAX_DEPTH (a cycle read from a file) stops the
// expansion: begin answers false and the walker stays empty.
class CpTypeWalker {
public:
    static constexpr int MAX_DEPTH = 64;
    using Pair = std::pair<StTypeID, uint32_t>;

    // Copies the records and queues the parts of each root pair.
    bool begin(const CpTypeRecordMap& records, const std::vector<Pair>& roots, const StSymbTable& table);
    // The next pair by address; false when none is left.
    bool next(Pair& out);

private:
    bool expand(StTypeID tid, uint32_t address, int depth, const StSymbTable& table);

    CpTypeRecordMap m_records;
    std::deque<Pair> m_queue;
};
