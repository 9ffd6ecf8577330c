// Entry table: owns the symbol entries by symbol id and hands out new ids.
//
// Ids come from the table's own counter (next free SID; when it is
// exhausted, the smallest id not in use) or, with an id manager installed,
// from the manager: ids below 0x10000 are then "fixed" (asked for by the
// caller) and the others come from the manager's counter.
//
// Written form: the count and a blank, then per entry in SID order: SID,
// blank, header word (kind, plus 0x10000 for kinds 1 and 2 in the new
// format), blank, the entry's own form (written with mode = header >> 16).
// With the marked-only flag only marked entries are counted and written; a
// written entry whose next names an entry that is not written shows an
// invalid next (the entry in memory keeps its next).
// Reading adds to the table and clears the error flag first. It stops at the first stream failure (keeping
// what it read) and, setting the error flag, at an unknown kind (0 or above
// 21) or an invalid or duplicate SID; afterwards the next free SID is the
// largest SID + 1, every next-entry pointer follows its next SID again and
// an installed manager is reseeded. The readers answer false when the
// error flag is set or the stream failed.
#pragma once
#include "base/st/stsymtab/StSerialDecl.h"
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>

#include "base/falloc/Arena.h"
#include "base/st/stsymtab/StIdMap.h"
#include "base/st/stsymtab/StSySymbEntry.h"

class StSyEntryTable;
class StNameChainIndex;

// Source of symbol ids for an entry table.
class StSymbEntryIDMgr {
public:
    virtual ~StSymbEntryIDMgr() = default;
    virtual StSymbEntryID newID(StSyEntryTable* table) = 0;
    virtual void freeID(StSymbEntryID sid, StSyEntryTable* table) = 0;
    virtual StSymbEntryID currentID() const = 0;
    // Adjusts the manager to the ids of the table; false refuses the table.
    virtual bool reseed(StSyEntryTable* table) = 0;
    virtual bool isFixedID(StSymbEntryID sid) const = 0;
};

// Ids of system variables: fixed below 0x10000, counted from 0x10000.
class StSysVarIDMgr : public StSymbEntryIDMgr {
public:
    static constexpr uint32_t FIRST_ID = 0x10000;

    // The counter, then one more; the invalid SID (and no step) once the
    // counter has reached it.
    StSymbEntryID newID(StSyEntryTable* table) override;
    void freeID(StSymbEntryID, StSyEntryTable*) override {}
    StSymbEntryID currentID() const override { return m_counter; }
    // The counter moves to the largest id of the table that is not fixed
    // and not below it, then one step on; a null table leaves it. True.
    bool reseed(StSyEntryTable* table) override;
    bool isFixedID(StSymbEntryID sid) const override { return sid < FIRST_ID; }

private:
    uint32_t m_counter = FIRST_ID;
};

class StSyEntryTable {
public:
    // The entries by SID, in SID order.
    using EntryMap = StIdMap<StSymbEntryID, StSyBaseSymbEntry>;

    StSyEntryTable();
    StSyEntryTable(const StSyEntryTable&) = delete;
    StSyEntryTable& operator=(const StSyEntryTable&) = delete;
    ~StSyEntryTable();

    // --- ids ---
    // The manager's id, else the next free SID; the invalid SID when none
    // is left.
    StSymbEntryID newSID();
    // Gives an id back (to the manager, or by lowering the next free SID
    // when it was the last one handed out).
    void freeID(StSymbEntryID sid);
    // Installs a manager (not owned) once it accepted a reseed with this
    // table (false otherwise); null removes the manager. True on success.
    bool setIDMgr(StSymbEntryIDMgr* mgr);
    StSymbEntryIDMgr* getIDMgr() const { return m_mgr; }
    StSysVarIDMgr& sysVarIDMgr() { return m_sysVarMgr; }
    uint32_t getNextFreeSID() const { return m_nextFree; }
    // The manager's counter, else the next free SID.
    StSymbEntryID currentID() const { return m_mgr ? m_mgr->currentID() : StSymbEntryID(m_nextFree); }

    // --- entries ---
    // Deletes every entry; next free SID 0; the three flags cleared.
    void clear();
    // A new default entry of the kind (not entered, pool-allocated: the
    // caller deletes it); null for other kinds.
    static StSyBaseSymbEntry* createEntry(uint32_t kind) { return stCreateEntry(kind); }
    // Creates and enters an entry; returns its SID (the invalid SID when no
    // id is left, the kind is unknown or the id is taken). With a manager a
    // free fixed `wanted` SID is used as it is. The entry follows pred in
    // its name chain (pred's next names it). `out` receives the entry or null.
    StSymbEntryID newEntry(uint32_t kind, StSyBaseSymbEntry*& out, StSyBaseSymbEntry* pred, String* name,
                           StRangeID vr, StRangeID nr, StSymbEntryID wanted = ST_INVALID_SID);
    // A clone of tmpl under a new SID, named `name`, init CID invalid,
    // linked into the chain right after pred; null on failure.
    StSyBaseSymbEntry* addCopy(String* name, const StSyBaseSymbEntry* tmpl, StSyBaseSymbEntry* pred);
    // Removes and deletes the entry and unlinks it from its chain. sid
    // receives the new chain head when the entry was the head (invalid when
    // none), else the invalid SID. Returns the entry's name only when it
    // was alone in its chain (the caller then drops the name), else null;
    // an unknown SID gives null and the invalid SID.
    String* removeEntry(StSymbEntryID& sid);

    // --- lookups (neutral answers for unknown SIDs) ---
    StSyBaseSymbEntry* findEntry(StSymbEntryID sid) const;
    // The entry with the smallest SID not below sid; null when none.
    StSyBaseSymbEntry* findEntryFrom(StSymbEntryID sid) const;
    StRangeID getSubNameRange(StSymbEntryID sid) const;
    StRangeID getSubValidRange(StSymbEntryID sid, StRangeID dflt) const;
    bool getSubRanges(StSymbEntryID sid, StRangeID& nameRange, StRangeID& validRange) const;
    // Storage address of a Func, FuncBlock or Program entry, else 0.
    int32_t getCodeAddress(StSymbEntryID sid) const;
    // True when base names a TO type entry and sid is it or reaches it over
    // base TO type references (at most as many steps as there are entries).
    bool isTOTypeDerivedFrom(StSymbEntryID sid, StSymbEntryID base) const;
    const EntryMap& entries() const { return m_map; }
    size_t size() const { return m_map.size(); }

    // --- changes ---
    // Counts every change of the entries or their chains (adds, removals,
    // reads, clearing, and the changes of links callers note here).
    uint64_t changeCount() const { return m_changes; }
    void noteChange() { ++m_changes; }
    // The name-chain index of the symbol table over this entry table (see
    // StNameChainIndex); it lives here so that tables sharing the entries
    // share it.
    StNameChainIndex& nameIndex() const;

    // --- flags ---
    void setMarkedOnly(bool on) { m_markedOnly = on; }
    bool isMarkedOnly() const { return m_markedOnly; }
    void setMarkNew(bool on) { m_markNew = on; }
    bool isMarkNew() const { return m_markNew; }
    bool hasError() const { return m_error; }
    // False after a read that met an unknown kind or a bad SID.
    bool readOk() const { return !m_error; }

    // --- written form (mode 1: new format, 0: old format) ---
    ST_DECLARE_SERIALISERS(1)
    // " <count>\n", then per entry "<SID> <entry dump>\n".
    void dump(std::ostream& os) const;


private:
    // Largest key + 1, 0 for an empty table.
    uint32_t afterLargest() const;
    // Points every entry's next-entry pointer at the entry of its next SID.
    void relinkAll();
    bool writtenInMarkedMode(const StSyBaseSymbEntry* e) const { return !m_markedOnly || e->isMarked(); }
    template <class A>
    void writeEntries(A& a, uint32_t mode);
    template <class A>
    void readEntries(A& a);

    // The table's entries live in the arena: clearing the table drops them
    // all at once, and a removed entry's block serves the next of its size.
    CArena m_arena;
    EntryMap m_map;
    uint32_t m_nextFree = 0;
    StSysVarIDMgr m_sysVarMgr;
    bool m_markedOnly = false;
    bool m_markNew = false;
    bool m_error = false;
    StSymbEntryIDMgr* m_mgr = nullptr;
    uint64_t m_changes = 0;
    mutable std::unique_ptr<StNameChainIndex> m_nameIndex;
};
