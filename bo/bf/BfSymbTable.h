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
#include "bo/bf/BfOperand.h"
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
    // The entry of the SID, null when unknown or the table is unusable.
    StSyBaseSymbEntry* find(StSymbEntryID sid) const { return hasError() ? nullptr : findEntry(sid); }

    // The CID of the symbol's value (the entry's value id).
    StConstEntryID getInitValID(StSymbEntryID sid) const;
    // The entry exists in a usable table and carries both ranges.
    bool isInScope(StSymbEntryID sid, StRangeID vr, StRangeID nr) const;
    // New constants (owned by the caller) holding the smallest / largest
    // value of an elementary type (an enumeration counts as DINT; REAL and
    // LREAL as their "%G" texts); null with a level-4 trace line for a
    // structure, an array or an unknown type, and null for a type without
    // limits here (LWORD, LINT, ULINT, TIME, ...).
    CBfStdConstantVal* getMin(StTypeID tid) const { return getLimit(tid, false); }
    CBfStdConstantVal* getMax(StTypeID tid) const { return getLimit(tid, true); }
    // The value of the symbol (owned by the table). A symbol without value
    // gets its type's default value as a boot-function constant, an equal
    // constant of the table reused; null (traced) for an unknown SID or a
    // value that cannot be made or stored.
    StConstantVal* getInitValue(StSymbEntryID sid);
    // "<path> = <value>" of an operand: the path is the name of the
    // operand's address symbol, when it has one besides its own symbol,
    // then the sub-functions an operand-name walk passed from there to the
    // symbol of its pair (found again by the walked offset), then its own
    // symbol, joined by ".", and for an array element "[index]"; the value
    // is the value text of the symbol's initial value. A part that cannot
    // be named is "???" (a missing value is traced); false then.
    bool getOperandContents(const StASMBfOperand& operand, String& text);
    // A new operand (owned by the caller) of the symbol with its type, the
    // type's machine mode and offset as fixed offset; address: the symbol's
    // offset plus offset, size: the symbol's size. 0 made, 1 table unusable
    // ("Status"), 2 no such symbol ("Symbol not found"). A symbol of another
    // kind than constant, type or variable is traced ("unknown entryclass")
    // and still made, with the invalid type id.
    uint32_t createSimpleASMBfOperand(StSymbEntryID sid, int32_t offset, StASMBfOperand*& operand,
                                      uint32_t& address, uint32_t& size) const;
    // The same for the symbol of that name visible from (vr, nr).
    uint32_t createSimpleASMBfOperand(const String& name, StRangeID vr, StRangeID nr, int32_t offset,
                                      StASMBfOperand*& operand, uint32_t& address, uint32_t& size) const;
    // Expands a user operand of a structure into one operand per member, in
    // member order (its variables: the types, enumerators and arrays
    // declared in its scope are none; members named with "@" skipped) and
    // of an array into one per element
    // (lower to upper bound, at most 2^20; the element index is the
    // operand's number 0),
    // appended to list (owned by the caller): 0 expanded, 1 nothing to
    // expand, 2 a member without entry, 3 refused (table unusable, no list
    // or operand, no bounds, a member that cannot be completed); traced.
    template <class List>
    uint32_t traceASMBfOperand(const StASMOperand* operand, List* list) const
    {
        if (!list) return traceStatusFailure();
        std::vector<StASMBfOperand*> parts;
        uint32_t r = expandOperand(operand, parts);
        for (StASMBfOperand* p : parts) list->push_back(p);
        return r;
    }
    // Completes a copy of an operand for the member symbol (its SID, type,
    // machine mode; the member's offset added): false for a member of a
    // kind it does not handle ("unknown entryclass").
    bool traceStructASMBfOperand(StASMBfOperand& operand, StSymbEntryID member) const;
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
    uint32_t assignOffsets(const StSymbEntryIDList& sids, uint32_t start);

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
    uint32_t traceStatusFailure() const;
    uint32_t expandOperand(const StASMOperand* operand, std::vector<StASMBfOperand*>& parts) const;
    // The variables from the members of the structure declared by decl
    // down to target, whose walked address sum (offset plus one per
    // symbol, from walked) is want; false when none is found within the
    // search bounds.
    bool findWalkedPath(StSymbEntryID decl, StSymbEntryID target, uint64_t walked, uint64_t want, int depth,
                        int& visits, std::vector<StSymbEntryID>& path) const;
    // The type id of a symbol by its entry kind; false for another kind.
    bool entryTypeID(const StSyBaseSymbEntry* e, StTypeID& tid) const;
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
