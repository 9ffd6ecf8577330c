// Range table: the validity ranges ("Gueltigkeitsbereiche") or the name
// spaces ("Namensbereiche") of a symbol table. A range is a numbered
// record with its parent range and the smallest and largest SID declared
// in it, so that a scope chain can be walked upward from any range.
//
// Range id n lives at position n - first. A new table holds the root
// record (marked, no parent, start SID 0, no end).
//
// Written form: the count and a blank, then per record its range id, a
// blank, its parent and a line end (start and end SIDs are rebuilt from
// the entries). With the marked-only flag only marked records are counted
// and written. Reading: a count of 0 leaves the table as it is; otherwise
// every record is removed and each pair (id, parent) lands at the position
// of its id, positions skipped being filled with records without parent; a
// lower id overwrites its record. An id below first or at or beyond
// first + MAX_RECORDS ends the read with a failure; so does a stream
// failure. last becomes the id of the last position.
#pragma once
#include "base/st/stsymtab/StSerialDecl.h"
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "base/st/stsymtab/StIds.h"


struct StRangeRecord {
    uint8_t flags = 0;  // bit 0: marked
    StRangeID parent = ST_INVALID_RANGE;
    StSymbEntryID startSID;
    StSymbEntryID endSID;
};

class StSyRangeTable {
public:
    // Most records a read accepts (ids are dense, so this bounds memory).
    static constexpr uint32_t MAX_RECORDS = 1u << 20;

    explicit StSyRangeTable(StRangeID root = 0);

    // last = first, flags cleared, only the root record again.
    void clear();
    // Appends a range below parent starting at startSID and returns its id;
    // with the mark-parents flag it and its ancestors are marked.
    StRangeID open(StRangeID parent, StSymbEntryID startSID);
    // Parent of a range in first..last, else the invalid range id.
    StRangeID parent(StRangeID id) const;
    // start = sid when unset or greater / end = sid when unset or smaller.
    void extendStart(StRangeID id, StSymbEntryID sid);
    void extendEnd(StRangeID id, StSymbEntryID sid);
    // Marks the range and its ancestors up to the first marked one.
    void markChain(StRangeID id);
    // The record of a range in first..last, else null.
    const StRangeRecord* record(StRangeID id) const;
    StRangeRecord* record(StRangeID id);

    StRangeID getFirst() const { return m_first; }
    StRangeID getLast() const { return m_last; }
    uint8_t getTypeByte() const { return m_typeByte; }
    size_t size() const { return m_records.size(); }
    void setMarkedOnly(bool on) { m_markedOnly = on; }
    bool isMarkedOnly() const { return m_markedOnly; }
    void setMarkParents(bool on) { m_markParents = on; }
    bool isMarkParents() const { return m_markParents; }

    ST_DECLARE_SERIALISERS(0)
    // "<count>\n", then per record "<id> -> <parent> ( SID-Range: <start>-<end> )\n".
    void dump(std::ostream& os) const;

    // False after a read that met an id out of bounds.
    bool readOk() const { return !m_readFailed; }


private:
    void pushRoot();
    bool written(const StRangeRecord& r) const { return !m_markedOnly || (r.flags & 1); }

    uint8_t m_typeByte;
    std::vector<StRangeRecord> m_records;
    StRangeID m_last;
    StRangeID m_first = 0;
    bool m_markedOnly = false;
    bool m_markParents = false;
    bool m_readFailed = false;
};
