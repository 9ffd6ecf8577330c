// The symbol table as the business objects, the variable-extension compiler
// and the ACX import use it: the Structured Text symbol table (a virtual
// base) plus queries by type and by address, system-variable operands for
// addresses, resizing of array system variables and value access through
// VARIANTs.
//
// Address questions walk the entries of one scope with visitors
// (SymbolIteratorNative). Every query answers its neutral value (false, the
// invalid SID, null) for unknown symbols and while the table is in error.
#pragma once
#include <cstdint>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "co/tvstring.h"
#include "platform/variant.h"

class SyStSymbTable;

// A visitor of the entries of one scope; visit answers false to stop.
class SymbolIteratorNative {
public:
    virtual ~SymbolIteratorNative() = default;
    virtual bool visit(StSyBaseSymbEntry* entry, SyStSymbTable& table) = 0;
};

// The entry of the wanted kind that starts last at or below the address.
class SymbolIteratorFindSysVarByAdr : public SymbolIteratorNative {
public:
    SymbolIteratorFindSysVarByAdr(uint32_t kind, uint32_t address) : m_kind(kind), m_address(address) {}
    bool visit(StSyBaseSymbEntry* entry, SyStSymbTable& table) override;

    uint32_t m_kind;
    uint32_t m_address;
    uint32_t m_bestStart = 0;
    StSyBaseSymbEntry* m_best = nullptr;
};

// Clears the free flag when a global variable's storage overlaps
// [first, last].
class SymbolIteratorCheckNewAddr : public SymbolIteratorNative {
public:
    SymbolIteratorCheckNewAddr(uint32_t first, uint32_t last) : m_first(first), m_last(last) {}
    bool visit(StSyBaseSymbEntry* entry, SyStSymbTable& table) override;

    uint32_t m_first;
    uint32_t m_last;
    uint8_t m_free = 1;
    uint8_t m_wide = 0;
};

// The name of the member stored at the wanted offset.
class SymbolIteratorGetMemberByOffset : public SymbolIteratorNative {
public:
    SymbolIteratorGetMemberByOffset(uint32_t offset, String& name) : m_offset(offset), m_name(name) {}
    bool visit(StSyBaseSymbEntry* entry, SyStSymbTable& table) override;

    uint32_t m_offset;
    String& m_name;
    bool m_found = false;
};

class SyStSymbTable : public virtual StSymbTable {
public:
    static constexpr uint32_t kUnknownSymbol = 0xBE04FFFF;
    static constexpr uint32_t kMemberNotFound = 0xBE04000C;

    // The StSymbTable part is built by the most-derived class: a table
    // built as itself passes constructBase true, a derived table false
    // (and builds the part itself).
    explicit SyStSymbTable(uint32_t word = 0, bool constructBase = true);
    ~SyStSymbTable() override = default;

    // Slot 0. False (and nothing changed) for a count below 1, an address
    // that starts no system variable of the global scope, a variable with a
    // constant or of a non-array type; else the variable's type becomes the
    // anonymous array type (found or declared) of newCount elements.
    virtual bool modifyArraySize(uint32_t address, int32_t newCount);

    using StSymbTable::isEnumType;
    bool isEnumType(const StTypeID& type, uint32_t* valueType) const;
    bool isStructType(const StTypeID& type) const;
    bool isArrayType(const StTypeID& type) const;
    bool isStructuredType(const StTypeID& type, bool* structured) const;
    bool isFuncBlockSymbol(StSymbEntryID sid) const;
    bool isPOESymbol(StSymbEntryID sid) const;
    bool isTOTypeSymbol(StSymbEntryID sid) const;

    StSymbEntryID getSymbolTypeID(StSymbEntryID sid) const;
    // The scope pair in which the members of a symbol are entered.
    bool getSymbolAddress(StSymbEntryID sid, uint32_t* first, uint32_t* second, bool* indirect) const;
    // Visits the entries of exactly (vr, nr) in SID order; the count of
    // visits that did not stop the walk.
    int32_t iterateSymbols(const uint32_t& vr, const uint32_t& nr, SymbolIteratorNative& visitor);

    // The system variable (global variable in table modes 2 and 3) whose
    // storage begins at or below the address and starts last; its start in
    // *start. Null (start 0) when none.
    StSyBaseSymbEntry* findSysVarByAdr(uint32_t address, uint32_t* start);
    // A new operand (owned by the caller) for the element or member that
    // covers the address, carrying toId; null when no variable covers it.
    StASMSysVarOperand* getSysVarOperand(uint32_t address, const uint32_t& toId);

    // 0 free, 4 overlap with a global variable, 10 type without alignment,
    // 60 outside [lo, hi) or misaligned.
    uint32_t checkNewAddr(uint32_t address, StTypeID type, uint32_t lo, uint32_t hi);
    // 0 with the name of the member at the offset; kUnknownSymbol,
    // kMemberNotFound.
    uint32_t getMemberByOffset(StSymbEntryID sid, uint32_t offset, String& name);

    // Values through VARIANTs (value conversion codes; 5 unknown symbol).
    bool hasConstantValue(StSymbEntryID sid) const;
    uint32_t getConstantVariant(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                                IUnknown* navigation = nullptr) const;
    // The symbol's constant, else its type's default value.
    uint32_t getInitValueVariant(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                                 IUnknown* navigation = nullptr) const;

    // A symbol's value (its constant, else its type's default) as a
    // VARIANT, and a new value from a VARIANT (tolerant conversion into a
    // value of the symbol's type, entered as its constant): 0, 5 unknown
    // symbol, 10 a kind without a value, 101 the VARIANT does not convert,
    // 0xFFFF no value could be made or entered.
    using StSymbTable::setSymbolValue;
    uint32_t getSymbolValue(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                            IUnknown* navigation = nullptr) const;
    uint32_t setSymbolValue(StSymbEntryID sid, const VARIANT& value, bool strict, IUnknown* context,
                            IUnknown* navigation = nullptr);

    uint16_t getWord16() const { return m_word16; }
    uint32_t getConstructionWord() const { return m_constructionWord; }
    uint32_t getFilterMode() const { return m_filterMode; }
    void setFilterMode(uint32_t mode) { m_filterMode = mode; }

protected:
    // The steps of modifyArraySize for the variable of the kind that starts
    // at the address in the global scope.
    bool resizeArrayVar(uint32_t kind, uint32_t address, int32_t newCount);

private:
    uint32_t wantedSysVarKind() const;
    // The type covering `offset` within `tid` (descending into elements and
    // members); `offset` becomes the offset within it.
    StTypeID coveringType(StTypeID tid, int64_t& offset) const;

    uint16_t m_word16 = 0;
    uint32_t m_constructionWord;
    uint32_t m_filterMode = 0;
};
