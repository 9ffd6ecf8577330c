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
#include <iosfwd>
#include <utility>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "co/tvstring.h"
#include "platform/variant.h"

class SyStSymbTable;
class StConstantVal;
class FsSecData;

// A record of a memory map: name, type code (4126 when none), address
// (0x7FFFFFFF when none) and value.
struct OperandEntry {
    OperandEntry();
    OperandEntry(const OperandEntry& other);
    OperandEntry& operator=(const OperandEntry&) = delete;
    ~OperandEntry();
    String name;
    uint32_t typeSpec = 4126;
    uint32_t address = 0x7FFFFFFF;
    VARIANT value;
};

// An exported parameter record; the name lives in task memory.
struct SyParamInfo {
    SyParamInfo();
    SyParamInfo(const SyParamInfo&) = delete;
    SyParamInfo& operator=(const SyParamInfo&) = delete;
    ~SyParamInfo();
    OLECHAR* name = nullptr;
    uint32_t typeCode = 4126;
    uint32_t address = 0x7FFFFFFF;
    VARIANT value;
    VARIANT initValue;
};

// A symbol's name and its id text.
struct SySymbolNameRecord {
    String name;
    String idText;
};

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
    // The scope pair in which the members of a symbol are entered: for a
    // structured type, the type symbol's VR and its frame's name range (the
    // invalid range id when it has no frame); else the symbol's own frame.
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
    // What that operand is made of, without making it: the variable that
    // covers the address (null when none), the type of the element or
    // member covering it and the address's offset in the variable.
    StSyBaseSymbEntry* coveringSysVar(uint32_t address, StTypeID& tid, uint32_t& offset);
    // An index of those variables by start address, for a holder that
    // looks many addresses up in a table whose variables keep their
    // addresses (a compiler over its loaded system variables): with it
    // findSysVarByAdr answers what its walk of the global scope would, in
    // logarithmic time. The index is made when first needed and anew when
    // the number of entries or the table mode changed since; an address
    // changed through an entry itself is not seen. Off by default.
    void indexSysVarsByAddress(bool on);

    // 0 free, 4 overlap with a global variable, 10 type without alignment
    // or without size (it has no bytes to place), 60 outside [lo, hi) or
    // misaligned.
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
    using StSymbTable::getSymbolValue;
    uint32_t getSymbolValue(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                            IUnknown* navigation = nullptr) const;
    uint32_t setSymbolValue(StSymbEntryID sid, const VARIANT& value, bool strict, IUnknown* context,
                            IUnknown* navigation = nullptr);

    // --- Queries reached only from their tests (SyStSymbQueries*.cpp) ---
    // Program units.
    // "<KEYWORD> '<name>'" (TASK, PROGRAM, FUNCTION_BLOCK, FUNCTION) and
    // " : '<type>'" for a typed unit; false for other entries.
    bool getPOEKindText(StSymbEntryID sid, String& text) const;
    // The operand's symbol (or its type symbol) is a unit of kind 6-9
    // whose TID differs from the operand's.
    bool isPOETypedSymbol(const StASMOperand* operand) const;
    // The operand's symbol is a task, or is typed by one and addressed in
    // machine mode 13.
    bool isTaskOperand(const StASMOperand* operand) const;
    // The function, function block or program whose member scope is (vr, nr).
    StSymbEntryID findPOEByFrame(StRangeID vr, StRangeID nr) const;
    // 16 aligned to @MEMADR, tagged 0xFD000000; 0x7FFFFFFF when refused.
    uint32_t getPOEInstanceOffset(StSymbEntryID sid) const;
    // A unit's start line; -1 for other entries.
    int32_t getStartLineOfPOE(StSymbEntryID sid) const;
    int32_t listPOEs(std::ostream& os) const;
    bool _listPOEParams(StSymbEntryID sid, std::ostream& os) const;
    // Symbols and types.
    // The entry's global flag (second flag); false when unknown.
    bool getSymbolGlobalFlag(StSymbEntryID sid) const;
    StSymbEntryID findEnumElemByValue(StTypeID tid, int32_t value) const;
    // Exact compare; *value an int16_t for base type INT, an int32_t for
    // DINT; false for other base types.
    bool findEnumElemByName(StTypeID tid, const String& name, StSymbEntryID& sid, void* value) const;
    bool getTypeText(StSymbEntryID sid, String& text) const;
    // The type symbol of the first entry (in id order) of the TID.
    StSymbEntryID findSymbolTypeID(StTypeID tid) const;
    // 0x1000 + elementary code, 0x2000 + special code, else 4126.
    uint32_t getSymbolTypeCode(StSymbEntryID sid) const;
    static uint32_t elemTypeSpec(uint32_t id);
    bool formatTypeName(StSymbEntryID sid, String& text) const;
    bool isTypeSpecOperand(const StASMOperand* operand) const;
    bool getRecordSymbolName(const StASMOperand* operand, String& name) const;
    // Null unless a constant (kind 1) with a value.
    const StConstantVal* getConstValOfSymbol(StSymbEntryID sid) const;
    bool getTaskSymbolAddress(const String& name, uint32_t& address) const;
    // 0, or kUnknownSymbol.
    uint32_t getSymbolNameAndAddress(StSymbEntryID sid, String& name, uint32_t* first, uint32_t* second,
                                     bool* indirect) const;
    bool getSymbolAddressAndType(StSymbEntryID sid, uint32_t& address, StSymbEntryID* typeSID) const;
    // In the member scope of the name space `name`; without a name, in
    // the global scope.
    bool isInNameRange(StSymbEntryID sid, const String* name) const;
    // Kinds 1, 2 and 4 in table mode 2.
    bool isAssignableType(StSymbEntryID sid) const;
    SySymbolNameRecord makeSymbolNameRecord(StSymbEntryID sid) const;
    // withMembers: a dotted name descends into member scopes.
    StSymbEntryID findSymbolInScope(const String& name, StRangeID vr, StRangeID nr, bool withMembers) const;
    StSymbEntryID resolveDeviceName(const String& name) const;
    // Operands.
    // A new user operand (owned by the caller) for a symbol: 0, 1 table in
    // error, 2 unknown symbol, 3 kind not 2, 6, 7 or 8.
    uint32_t createUserOperand(StSymbEntryID sid, StASMUserOperand*& operand) const;
    uint32_t createUserOperandForEntry(const StSyBaseSymbEntry* entry, StASMUserOperand*& operand) const;
    // First and last (address + size - 1) byte of an operand.
    bool getOperandRange(const StASMOperand* operand, uint32_t& first, uint32_t& last) const;
    // Appends new operands (owned by the caller) of the symbols in [first,
    // last] passing the mask: per kind 1 -> 0x4; 2, 11, 13, 15 -> 0x2; 3, 5,
    // 14 -> 0x1; 6 -> 0xC000000; 9 -> 0x100; name spaces (21) always; the
    // mask 0xFFFFFFFF passes every kind. Trace lines to *trace.
    int32_t getOperandsInRange(uint32_t first, uint32_t last, uint32_t mask, std::vector<StASMOperand*>& out,
                               std::ostream* trace = nullptr) const;
    int32_t getArraySubSymbols(const StSyBaseSymbEntry* entry, uint32_t first, uint32_t last,
                               std::vector<StASMOperand*>& out, std::ostream* trace) const;
    StASMUserOperand* addUserOperand(const StSyBaseSymbEntry* entry, StTypeID tid, int32_t fixOff,
                                     std::vector<StASMOperand*>& out) const;
    // Memory.
    // A system variable starts at the address.
    bool isSysVarAdr(uint32_t address);
    // The start of the system variable found for the last address of the
    // address's 64 K block (plus 1 for an array); 0 outside the block.
    uint32_t getSysVarStartInBlock(uint32_t address);
    // Highest address + size of the entries of segment 0xF4000000;
    // 0x7FFFFFFF when none.
    uint32_t getSegmentEnd() const;
    uint32_t arrangeFrameVariables(StSymbEntryID frameSID, std::ostream* trace = nullptr);
    uint32_t arrangePlanInterfMemory(std::ostream* trace = nullptr);
    int32_t getMemMappingOfSegment(uint32_t segment, uint32_t start, uint32_t size, std::vector<OperandEntry>& out,
                                   std::ostream* trace = nullptr) const;
    bool getMemMappingOfOperand(const StASMOperand* operand, OperandEntry& record) const;
    bool getMemMappingOfSymbol(StSymbEntryID sid, OperandEntry& record) const;
    uint32_t writeDataSection(FsSecData& section, int32_t base, bool all, std::ostream* trace = nullptr);
    // Editing and checks.
    // A new entry with the type (and type symbol); the invalid SID when
    // refused.
    StSymbEntryID insertSymbol(const char* name, StRangeID vr, StRangeID nr, uint32_t kind, StTypeID tid,
                               StSymbEntryID typeSID);
    StSymbEntryID insertAddressedSymbol(const char* name, StRangeID vr, StRangeID nr, uint32_t kind, StTypeID tid,
                                        StSymbEntryID typeSID, StSymbEntryID addressSID);
    // "not a to-type-entry", "%s is not in name range", "%s is no
    // compatible type" in error when refused.
    bool canAssignTO(StSymbEntryID toSID, StSymbEntryID targetSID, String& error) const;
    // May the TO ids held by `value` be assigned to the TO-typed symbol
    // targetSID? Types are asked of the project navigation; the failure
    // text goes to error (see the definition).
    bool checkAssignCompatibility(StSymbEntryID targetSID, const VARIANT& value, IUnknown* navigation,
                                  String& error) const;
    uint32_t makeParamInfo(StSymbEntryID sid, SyParamInfo& info) const;
    // --- end of the test-reached queries ---

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
    // "'<name>'"
    static String quotedName(const String* name);
    int32_t operandsInScope(StRangeID vr, StRangeID nr, uint32_t first, uint32_t last, uint32_t mask,
                            std::vector<StASMOperand*>& out, std::ostream* trace) const;
    uint32_t arrangeEntries(const std::vector<StSyBaseSymbEntry*>& vars, uint64_t retainLo, uint64_t retainHi,
                            uint64_t normalLo, uint64_t normalHi, std::ostream* trace);
    bool enumeratorConstant(StSymbEntryID sid, int32_t& value) const;
    StSymbEntryID resolveDottedName(const String& name, StRangeID vr, StRangeID nr) const;
    // The type covering `offset` within `tid` (descending into elements and
    // members); `offset` becomes the offset within it.
    StTypeID coveringType(StTypeID tid, int64_t& offset) const;

    // The variable findSysVarByAdr's walk finds, from the index (made or
    // renewed here).
    StSyBaseSymbEntry* indexedSysVar(uint32_t address, uint32_t kind, uint32_t* start);

    uint16_t m_word16 = 0;
    uint32_t m_constructionWord;
    uint32_t m_filterMode = 0;
    struct SysVarIndex {
        bool on = false;
        bool made = false;
        size_t entryCount = 0;  // of the table when made
        uint32_t kind = 0;
        // Start and variable, by start; equal starts in id order.
        std::vector<std::pair<uint32_t, StSyBaseSymbEntry*>> starts;
    } m_sysVarIndex;
};
