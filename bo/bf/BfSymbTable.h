// The symbol table of a boot-function source: the Structured Text table with
// the queries of the boot-function model (initial values, scopes, storage
// offsets and the layout of a type's symbols).
//
// Every query answers its neutral value (null CID, false, 0x7fffffff) when
// the table is in error or the SID is unknown; none reports a message.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/symacc/SyStSymbTable.h"
#include "bo/bf/BfConstVal.h"
#include "bo/cp/CpSymbTable.h"

// Compile-side declarations (CpSymbTable) and symbol access (SyStSymbTable)
// over one Structured Text table, whose constant table is a
// CBfConstValTable created with it.
class CBfSymbTable : public CpSymbTable, public SyStSymbTable {
public:
    static constexpr uint32_t NO_OFFSET = 0x7fffffffu;

    CBfSymbTable() : CBfSymbTable(new CBfConstValTable()) {}
    ~CBfSymbTable() override = default;

    using CpSymbTable::findNameSpace;
    using CpSymbTable::hasError;
    CBfConstValTable* constTable() const { return m_bfConstants; }

    // The CID of the symbol's value (the entry's value id).
    StConstEntryID getInitValID(StSymbEntryID sid) const;
    // The entry exists in a usable table and carries both ranges.
    bool isInScope(StSymbEntryID sid, StRangeID vr, StRangeID nr) const;
    // The type id of the symbol; the invalid TID when unknown.
    StTypeID getSymbolTypeID(StSymbEntryID sid) const { return getTypeID(sid); }
    // New constants (owned by the caller) holding the smallest / largest
    // value of an elementary type (an enumeration counts as DINT; REAL and
    // LREAL as their "%G" texts); null with a level-4 trace line for a
    // structure, an array or an unknown type, and null for a type without
    // limits here (LWORD, LINT, ULINT, TIME, ...).
    CBfStdConstantVal* getMin(StTypeID tid) const { return getLimit(tid, false); }
    CBfStdConstantVal* getMax(StTypeID tid) const { return getLimit(tid, true); }
    // The elementary type code as a symbol's type: 0 done, 2 refused (table
    // unusable, unknown SID, code negative or 30 and above).
    uint32_t setElemType(StSymbEntryID sid, int32_t code);
    // The size of the symbol's type; NO_OFFSET when unknown.
    uint32_t getSymbolSize(StSymbEntryID sid) const;
    // The storage offset of the symbol; NO_OFFSET when unknown.
    uint32_t getOffset(StSymbEntryID sid) const;
    // Lays the symbols out one after the other from start: each offset is
    // the running offset, which then grows by the symbol's size. Answers the
    // end, or NO_OFFSET for an unknown symbol, a symbol of unknown size or
    // an end past 0x7ffffffe (the sum is taken in 64 bits, so it never
    // wraps); the offsets set before the failure stay.
    uint32_t assignOffsets(const std::vector<StSymbEntryID>& sids, uint32_t start);

    // The SID of the symbol named name that is visible from (vr, nr): a
    // candidate declared in exactly that scope ends the search, else the
    // closest scope on the chain decides. The invalid SID when none. With a
    // name index the candidates come from it; the index follows the table
    // (symbols added or removed after it was built are found exactly as
    // without it).
    StSymbEntryID findSymbol(const String& name, StRangeID vr, StRangeID nr) const;
    // Creates (or refills) the name index of findSymbol.
    void buildNameIndex();
    bool hasNameIndex() const { return m_indexed; }

private:
    explicit CBfSymbTable(CBfConstValTable* constants)
        : StSymbTable(nullptr, nullptr, constants, nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0, constants),
          SyStSymbTable(0, false), m_bfConstants(constants)
    {
    }

    CBfStdConstantVal* getLimit(StTypeID tid, bool max) const;
    // The entry after e in SID order, null at the end.
    const StSyBaseSymbEntry* nextEntry(const StSyBaseSymbEntry* e) const;
    // Folds one candidate into the search; true when it ends the search.
    bool consider(const StSyBaseSymbEntry* e, const String& name, StRangeID vr, StRangeID nr,
                  const StSyBaseSymbEntry*& best) const;

    std::map<std::string, std::vector<StSymbEntryID>> m_nameIndex;
    uint32_t m_indexedUpTo = 0;  // entries from this SID on are not in the index
    bool m_indexed = false;
    CBfConstValTable* m_bfConstants;  // owned by the StSymbTable part
};

// The code as a type id when 30 <= code < 40, else the invalid type id.
StTypeID makeElemTypeID(int32_t code);
