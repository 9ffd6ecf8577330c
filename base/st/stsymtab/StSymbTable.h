// StSymbTable: the Structured Text symbol table of one compiled unit.
//
// It owns the string table, the entry table, the constant table, the
// validity-range table (VR), the name-space table (NR) and the type table,
// knows the global scope (VR, NR) and offers creation, scope services,
// queries, constant binding, the written form and the dump.
//
// Every query checks the table's error state first (inError: what hasError
// answers, read from the status word without a virtual call, since queries
// run millions of times per compile) and answers its neutral value (invalid
// id, 0, false, null) while the table is in error. Status: 0 ready, 1 a
// table is missing, 2 wrong version text on load, 3 read error on load.
//
// Written form (save / load on a section stream or a standard stream): the
// version text, the string table, the type table, the entry table (new or
// old form), the constant table, the VR and NR tables, the global VR and NR
// and the mode word; see StSymbTableIo.cpp.
//
// Mode word: bits 0-3 system-variable ids in the upper half of the address
// word (1, or 3 with carry of a lower half 0xFFFF); bits 4-7 value 16,
// system-variable ids derived from addresses; bits 8-15 accepted
// address-access bits; bits 16-19 enumeration base type (1 INT, 2 UINT,
// 3 DINT).
//
// Virtual operations in slot order: deleting destructor, estimateSize,
// hasError, findNameSpace. Derived tables take StSymbTable as a virtual
// base.
#pragma once
#include <cstdint>
#include <string>
#include <iosfwd>
#include <map>
#include <set>
#include <vector>

#include "base/falloc/AllocPool.h"
#include "base/st/stsymtab/StIdList.h"
#include "base/st/stsymtab/StIds.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/stmcspec.h"

class FsSecCl;
class StSyStringTable;
class StSyEntryTable;
class StSyConstValTable;
class StSyRangeTable;
class StSyTypeTable;
class StSyBaseTypeNode;
class StNameChainIndex;
class StScopeChain;
class StConstantVal;
class StConstantElem;
class StASMOperand;
class McTypeWordList;
struct StAddressRecord;  // the target-address services' record
struct StAccessDescriptor;

// Name -> value of the enumerators of a type.
struct StStringLess {
    bool operator()(const String& a, const String& b) const { return String::compare(a, b) < 0; }
};
using StEnumValueMap = std::map<String, int32_t, StStringLess>;

// Address-translate hook (not owned by the table).
class StAddrTranslateHook {
public:
    virtual bool translate(StAddressRecord& record) = 0;
    virtual void reserved() {}
    virtual StTypeID getTypeID(const StSyBaseSymbEntry* entry) = 0;
    virtual bool test(uint32_t a, uint32_t b) = 0;

protected:
    ~StAddrTranslateHook() = default;
};

// Access policy (owned by the table).
class StAccessPolicy {
public:
    virtual ~StAccessPolicy() = default;
    virtual bool isAccessible(const StSyBaseSymbEntry* entry) const = 0;
    // Deletes what target holds and puts a copy of this policy there.
    virtual void cloneInto(StAccessPolicy*& target) const = 0;
};

class StSymbTable;
// Told about changes of the table's change stamp.
class StSymbTableObserver {
public:
    virtual ~StSymbTableObserver() = default;
    virtual void tableChanged(StSymbTable& table, uint32_t changeCode) = 0;
};

// The ids a scope collector gathers.
class StSymbEntryIDVect : public std::vector<StSymbEntryID> {
public:
    using std::vector<StSymbEntryID>::vector;
    virtual ~StSymbEntryIDVect() = default;
};

// One item of addGlobalSymbols.
struct StGlobalSymbolItem {
    const char* name;
    uint32_t kind;
    int32_t attribute;
    int32_t visibility;
    uint8_t flag;
};

// The used-inputs set: SIDs on pooled nodes.
using StSymbIDSet = std::set<StSymbEntryID, std::less<StSymbEntryID>, CPoolAllocator<StSymbEntryID>>;

class StSymbTable {
public:
    enum Status : uint32_t { ST_OK = 0, ST_MISSING = 1, ST_BAD_VERSION = 2, ST_READ_ERROR = 3 };
    static constexpr uint32_t CHANGE_STAMP_CODE = 26;

    // Takes over each table given (null: created here; VR and NR tables
    // with the global ranges as root ids, the type table with its standard
    // types).
    StSymbTable(StSyStringTable* strings, StSyEntryTable* entries, StSyConstValTable* constants,
                StSyRangeTable* vrTable, StSyRangeTable* nrTable, StSyTypeTable* types, StRangeID globalVR,
                StRangeID globalNR);
    StSymbTable(StRangeID globalVR = 0, StRangeID globalNR = 0);
    StSymbTable(const StSymbTable&) = delete;
    // Deletes the six tables and the access policy; the hook stays.
    virtual ~StSymbTable();
    virtual int32_t estimateSize() const;
    virtual bool hasError() const { return inError(); }
    // hasError's answer for the queries. An override must not answer
    // otherwise while a query can run (the compile-side table's extra
    // condition, its free-temporaries list, holds from its construction to
    // its destruction).
    bool inError() const { return m_status != ST_OK; }
    // The name-space entry whose sub ranges are (VR, NR), else null.
    virtual StSyBaseSymbEntry* findNameSpace(StRangeID vr, StRangeID nr) const;

    // Copies other through the standard-stream form (new format forced
    // for the time of the copy); a self-assignment changes nothing.
    StSymbTable& operator=(const StSymbTable& other);

    void clear();
    uint32_t getStatus() const { return m_status; }
    bool isEmpty() const;

    // --- modes and settings ---
    void setIdPair(uint32_t pair);
    uint32_t getIdPair() const { return uint32_t(m_idLow) | (uint32_t(m_idHigh) << 16); }
    // 7, 8 or 11 only (else false); replaces the code in mode-word bits
    // 16-19, which loading reads back as the base type.
    bool setEnumBaseType(uint32_t id);
    uint32_t getEnumBaseType() const { return m_enumBase; }
    void setSysVarIdMode(bool upperHalf, bool carry);
    void addModeFlags(uint32_t bits);
    uint32_t getModeWord() const { return m_modeWord; }
    uint32_t getTableMode() const { return m_tableMode; }
    void setTableMode(uint32_t mode) { m_tableMode = mode; }
    void setDeviceWord(uint16_t w) { m_deviceWord = w; }
    uint16_t getDeviceWord() const { return m_deviceWord; }
    void setUnitId(uint32_t id) { m_unitId = id; }
    uint32_t getUnitId() const { return m_unitId; }
    void setAddressOptions(bool a, bool b, bool c);
    bool getAddressOption(int i) const { return m_addrOpt[i]; }
    void setAccessDescOptions(bool a, bool b);
    bool getAccessDescOption(int i) const { return m_accOpt[i]; }
    void setFoldNames(bool on) { m_foldNames = on; }
    bool getFoldNames() const { return m_foldNames; }
    void setUsageMarking(bool on) { m_usageMarking = on; }
    bool getUsageMarking() const { return m_usageMarking; }
    void setSortChains(bool on) { m_sortChains = on ? 1 : 0; }
    bool getSortChains() const { return m_sortChains != 0; }
    void setNewFormat(bool on) { m_newFormat = on ? 1 : 0; }
    bool getNewFormat() const { return m_newFormat != 0; }
    // Adds, renames and exact lookups answer from the index of the name
    // chains (on by default) or, off, by walking each chain; the answers
    // are the same.
    void setNameIndex(bool on) { m_useNameIndex = on; }
    bool getNameIndex() const { return m_useNameIndex; }
    void setCompactArrayDefaults(bool on) { m_compactArrayDefaults = on; }
    bool getCompactArrayDefaults() const { return m_compactArrayDefaults; }
    bool isModified() const { return m_modified; }
    void setHook(StAddrTranslateHook* hook) { m_hook = hook; }
    StAddrTranslateHook* getHook() const { return m_hook; }
    // Takes the policy over (the one held before is deleted).
    void setAccessPolicy(StAccessPolicy* policy);
    StAccessPolicy* getAccessPolicy() const { return m_policy; }
    // Change stamp: setting it tells the observer (when one is set).
    void setChangeStamp(uint16_t stamp);
    uint16_t getChangeStamp() const { return m_changeStamp; }
    void setObserver(StSymbTableObserver* observer) { m_observer = observer; }

    StRangeID getGlobalVR() const { return m_globalVR; }
    StRangeID getGlobalNR() const { return m_globalNR; }
    void getGlobalEntry(StRangeID& vr, StRangeID& nr) const;
    void setGlobalEntry(StRangeID vr, StRangeID nr);

    // --- the part tables (null in status 1) ---
    StSyStringTable* strings() const { return m_strings; }
    StSyEntryTable* entries() const { return m_entries; }
    StSyConstValTable* constants() const { return m_constants; }
    StSyRangeTable* vrTable() const { return m_vrTable; }
    StSyRangeTable* nrTable() const { return m_nrTable; }
    StSyTypeTable* types() const { return m_types; }

    // --- creation ---
    // A null name is the anonymous "$$" (never unique-checked). With
    // takeName the table owns `name` afterwards (also on failure). sid:
    // in a preset id, out the new SID (invalid on failure).
    StSyBaseSymbEntry* addEntry(String* name, StRangeID vr, StRangeID nr, uint32_t kind, StSymbEntryID& sid,
                                int32_t attribute = -1, bool unique = true, bool takeName = false);
    StSyBaseSymbEntry* addEntry(const char* name, StRangeID vr, StRangeID nr, uint32_t kind, StSymbEntryID& sid,
                                int32_t attribute = -1, bool unique = true);
    StSymbEntryID addTypeDecl(const char* name, StRangeID vr, StRangeID nr, StTypeID elementTID,
                              StSymbEntryID baseSID, int32_t lower, int32_t upper, StRangeID subRange,
                              bool resetVisibility);
    StSymbEntryID addSysVar(const char* name, StSymbEntryID ownerSID, int32_t address, int32_t attribute);
    StSymbEntryID addInterfaceVar(const char* name, StRangeID vr, StRangeID nr, int32_t attribute,
                                  bool remanent);
    StSymbEntryID addDirectVar(const char* name, StRangeID vr, StRangeID nr, const StASMOperand* operand,
                               StTypeID tid, StSymbEntryID typeSID, int32_t attribute);
    StSymbEntryID addTOType(const char* name, StRangeID vr, StRangeID nr, StRangeID frameVR, StRangeID frameNR,
                            StSymbEntryID ownerTypeSID, int32_t attribute);
    // 2 unless the table is empty, 1 in error, else 0.
    int addGlobalSymbols(const StGlobalSymbolItem* items, size_t count);
    bool removeEntry(StSymbEntryID sid);
    // 0 set, 1 error, 2 unknown ids or refused.
    int setSymbolType(StSymbEntryID sid, StTypeID tid, StSymbEntryID typeSID);

    // --- scopes ---
    StRangeID openValidityRange(StRangeID parent);
    StRangeID openNameSpace(StRangeID parent);
    StRangeID closeValidityRange(StRangeID range, bool setEnd);
    StRangeID closeNameSpace(StRangeID range, bool setEnd);
    void setValidityRangeStart(StRangeID range);
    void extendRangesToSID(StSymbEntryID sid);
    StSymbEntryID getCurrentSID() const;
    // The larger start and the smaller end of the two ranges.
    void getRangeSpan(StRangeID vr, StRangeID nr, StSymbEntryID& start, StSymbEntryID& end) const;
    void listSymbolIDs(StSymbEntryIDVect& list, StSymbEntryID from, StSymbEntryID to) const;
    void listSymbolsOfKind(StSymbEntryIDVect& list, uint32_t kind) const;
    void collectSymbols(StSymbEntryIDVect& list, StRangeID vr, StRangeID nr, bool skipAnonymous) const;
    void collectSymbols(std::vector<StSyBaseSymbEntry*>& list, StRangeID vr, StRangeID nr,
                        bool skipAnonymous) const;
    void getSymbolsInRange(StSymbEntryIDVect& list, StRangeID vr, StRangeID nr) const;
    // 0 with the members of a structure type declaration, else 1.
    int getStructMembers(StSymbEntryID sid, StSymbEntryIDVect& list) const;

    // --- entry and type queries ---
    uint32_t getEntryKind(StSymbEntryID sid) const;
    String* getName(StSymbEntryID sid) const;
    StSyBaseSymbEntry* findEntry(StSymbEntryID sid) const;
    StSyBaseTypeNode* findTypeNode(StTypeID tid) const;
    StConstantVal* getConstant(StConstEntryID cid) const;
    StSyBaseTypeNode* findStdTypeNode(uint32_t id) const;
    StTypeID getTypeID(StSymbEntryID sid) const;
    StTypeID getEntryTypeID(const StSyBaseSymbEntry* entry) const;
    StConstEntryID getEntryCID(StSymbEntryID sid) const;
    StSymbEntryID getTOTypeOf(StSymbEntryID sid) const;
    StSymbEntryID getTOFrame(StSymbEntryID sid, StRangeID& vr, StRangeID& nr) const;
    bool isSameTOType(StSymbEntryID a, StSymbEntryID b) const;
    StSymbEntryID resolveTypeSpec(StSymbEntryID sid) const;
    bool isSysVarLike(StSymbEntryID sid) const;
    bool isEquivalentSymbol(StSymbEntryID sid, const StSymbTable& other, StSymbEntryID otherSID) const;
    StTypeID typeSpecToTID(ESTypeSpec spec) const;
    StTypeID getElemTypeId(StTypeID tid) const;
    uint32_t getElemTypeOfTID(StTypeID tid) const;
    uint32_t getMachMode(StTypeID tid) const;
    bool isEnumType(StTypeID tid) const;
    bool isStringType(StTypeID tid) const;
    int32_t getStringCapacity(StTypeID tid) const;
    bool getStringLength(const StASMOperand* operand, int32_t& length) const;
    int32_t getTypeSize(StTypeID tid, bool packed) const;
    StTypeID getElementType(StTypeID tid) const;
    int64_t getElementOffset(StTypeID tid, int32_t index, bool packed) const;
    bool isIndexInBounds(StTypeID tid, int32_t index) const;
    bool getArrayBounds(StTypeID tid, int32_t& lower, int32_t& upper) const;
    uint32_t getMemberOrdinal(const StASMOperand* operand, int32_t offset, StTypeID tid) const;
    StFrameProperties getFrameProperties(StSymbEntryID sid) const;
    StTaskRecord getTaskRecord(StSymbEntryID sid) const;
    StTypeID getStringTypeID(int32_t length);
    bool hookTest(uint32_t a, uint32_t b) const;
    uint32_t getFrameAlignment(StTypeID tid) const;

    // --- small value operations ---
    static bool isIoBitAddress(uint32_t address);
    static bool isSimpleValueType(ESTypeSpec spec);
    static bool hasPlainAddressWord(uint32_t kind);
    // The system-variable id of an address under the mode word.
    StSymbEntryID sysVarIdFromAddress(uint32_t address) const;
    static StFrameProperties defaultFrameProperties();

    // --- usage marking ---
    // Marks the entry and what it depends on (only with usage marking on).
    void registerSymbol(StSyBaseSymbEntry* entry, bool stopAtFunctions = false, bool collectInputs = false);
    const StSymbIDSet& usedInputs() const { return m_usedInputs; }
    // Marked-only writing of every part table.
    void setMarkedOnly(bool on);

    // --- constant binding and default values ---
    StConstantVal* getConstantVal(StConstEntryID cid) const { return getConstant(cid); }
    int addConstantElem(StConstantElem& elem, StTypeID tid);
    StConstEntryID assignConstant(StTypeID tid, StConstantVal* value, int& status);
    int setSymbolValue(StSymbEntryID sid, StConstEntryID cid);
    // Binds the constant cid to the symbol as its value, checked by
    // setSymbolValue: 0 bound; 1 the table is unusable; 2 refused (no such
    // symbol or constant, a kind without a value, a type that does not take
    // the value or a string too long for it); nothing changes unless 0.
    int getSymbolValue(StSymbEntryID sid, StConstEntryID cid);
    // The element's value (its nested one, else the constant of its SID or
    // CID) against the type: 0 fits, 1 unknown type or an element not
    // allowed here, 2 wrong kind of value, 3 does not fit, 4 fits once
    // converted (a number the elementary type holds, also with loss, as an
    // integer above 24 bits in a REAL). An enumeration takes its
    // enumerators and values of its base type, no converted number.
    int checkConstantElem(const StConstantElem& elem, StTypeID tid, bool inArray) const;
    int checkValueFitsType(StTypeID tid, StConstantVal* value) const;
    int checkConstantType(StTypeID tid, StConstEntryID cid) const;
    StConstantVal* createInitValue(StTypeID tid) const;
    StConstantVal* createInitValueForNode(const StSyBaseTypeNode* node, StTypeID tid) const;
    bool describeTypeLayout(StTypeID tid, McTypeWordList* builder) const;

    // --- written form ---
    static const String& versionNew();
    static const String& versionOld();
    // A table in error writes nothing and fails: false, and the stream's
    // sticky error (FSSEC_INTERNAL) or failbit, so that a caller who looks
    // only at the stream does not take the empty text for a table.
    bool save(FsSecCl& s);
    bool save(std::ostream& os);
    bool load(FsSecCl& s);
    bool load(std::istream& is);

    // --- dump ---
    void dump(std::ostream& os) const;
    // The dump into the diagnostic FIFO ("tvp_cout" in the temporary
    // directory, or the path of the setting); nothing without a reader.
    void dumpToPipe() const;

    // --- lookups and naming (StSymbQueries.cpp) ---
    // A scope is (VR, NR); its chain walks the VR outward and, for each, the
    // NR outward. kind 0 means "any kind but TO types". No lookup reports a
    // message; unknown names, empty chains and nothing visible give the
    // invalid SID and a null entry.
    static const char* getTypeName(ESTypeSpec spec);
    // found (when given) is false where no text can be named (a structured
    // type without declaration that is no enumeration).
    String getTypeNameOfTID(StTypeID tid, StSymbEntryID declSID = ST_INVALID_SID, bool* found = nullptr) const;
    // Appends "ARRAY [l..u] OF <element>" to out.
    bool getArrayTypeText(const StSyBaseSymbEntry* entry, String& out) const;
    // Only in exactly (VR, NR).
    StSymbEntryID findSymbol(const String& name, StRangeID vr, StRangeID nr, uint32_t kind = 0,
                             StSyBaseSymbEntry** entry = nullptr) const;
    // The nearest visible declaration.
    StSymbEntryID findSymbolEntry(const String& name, StRangeID vr, StRangeID nr, uint32_t kind = 0,
                                  StSyBaseSymbEntry** entry = nullptr) const;
    StSymbEntryID getSIDByName(const String& name, StRangeID vr, StRangeID nr, uint32_t kind = 0) const;
    StSymbEntryID getSIDByName(const String& name) const { return getSIDByName(name, m_globalVR, m_globalNR); }
    StSymbEntryID lookupSymbolEntry(const String& name, StRangeID vr, StRangeID nr, uint32_t kind = 0) const;
    bool isVisibleFrom(const StSyBaseSymbEntry* entry, StRangeID vr, StRangeID nr) const;
    // 1 when a's scope comes first on the chain of (VR, NR), 2 when b's, 0
    // when neither lies on it.
    int closerOf(const StSyBaseSymbEntry* a, const StSyBaseSymbEntry* b, StRangeID vr, StRangeID nr) const;
    StSymbEntryID findAnonymousArrayType(StRangeID vr, StRangeID nr, StTypeID elementTID, StSymbEntryID ownerSID,
                                         int32_t lower, int32_t upper, StTypeID& tid) const;
    // Refused (false) when the name conflicts in the entry's scope as it
    // would for addEntry.
    bool renameSymbol(StSymbEntryID sid, const char* name);
    bool getEnumNames(StTypeID tid, std::vector<String>& names) const;
    bool findEnumValue(StTypeID tid, const String& name, int32_t& value) const;
    bool getEnumValues(StTypeID tid, StEnumValueMap& values) const;
    // The same for the type of a type declaration (its SID).
    bool getEnumNames(StSymbEntryID typeSID, std::vector<String>& names) const
    {
        return getEnumNames(getTypeID(typeSID), names);
    }
    bool findEnumValue(StSymbEntryID typeSID, const String& name, int32_t& value) const
    {
        return findEnumValue(getTypeID(typeSID), name, value);
    }
    bool getEnumValues(StSymbEntryID typeSID, StEnumValueMap& values) const
    {
        return getEnumValues(getTypeID(typeSID), values);
    }
    // Qualified source name of what the operand addresses; "???" when it
    // cannot be formed.
    String getSymbolName(const StASMOperand* operand) const;
    // Bit-addressed system-variable operand: fixed offsets count flat item
    // positions (getMemberOrdinal) instead of bytes.
    bool isBitAddressedSysVar(const StASMOperand* operand) const;

    // --- addresses and operands (StSymbAddress.cpp) ---
    // 0x7FFFFFFF when the symbol, constant or operand has no address.
    uint32_t getSymbolAddress(StSymbEntryID sid) const;
    uint32_t getConstAddress(StConstEntryID cid) const;
    uint32_t getOperandAddress(const StASMOperand* operand) const;
    String getAddressText(const StASMOperand* operand) const;
    // Fills the record and lets the translate hook have it; false on any
    // refusal. relative: the record's kind is not 0 (plain target address).
    bool getTISAddress(const StASMOperand* operand, uint32_t access, bool& relative, StAddressRecord& record);
    bool getTISAddress(StSymbEntryID sid, uint32_t access, bool& relative, StAddressRecord& record);
    // The 16-bit access descriptor of a telegram (see StSymbAddress.h).
    bool getAccessDescriptor(const StASMOperand* operand, uint32_t access, StAccessDescriptor& desc);
    // 0 made, 1 error, 2 no operand for this symbol.
    int createOperand(StSymbEntryID sid, StASMOperand*& operand, bool asParameter = false);
    // 2 when not found; on success VR and NR become the scope of the
    // symbol's type reference (or of its own frame).
    int createOperandByName(const String& name, StRangeID& vr, StRangeID& nr, StASMOperand*& operand,
                            bool exactScope = false, bool asParameter = false);
    // 0 done, 1 error, 2 not found, 3 access refused; a refusal other than
    // 0 leaves operand null (deleted).
    int selectMember(const String& name, StRangeID& vr, StRangeID& nr, StASMOperand*& operand, bool inside = false,
                     bool asParameter = false);
    // 0 prepared (operand retyped to the element type), 2 refused.
    int selectElement(StASMOperand* operand, int32_t& indexBase, StRangeID& vr, StRangeID& nr);
    bool createTOOperand(StSymbEntryID sid, StRangeID& frameVR, StRangeID& frameNR, StASMOperand*& operand);
    bool isSysVarOperand(const StASMOperand* operand) const;
    bool isOperandReadable(const StASMOperand* operand) const;
    // Marks a written variable (entry flag bit 2).
    bool checkOperandWritable(const StASMOperand* operand);
    bool isAccessible(const StSyBaseSymbEntry* entry) const;

private:
    // Helpers of the lookups, names and operands.
    StSyBaseSymbEntry* chainHead(const String& name) const;
    const StSymbEntryIDList* enumeratorsOf(StTypeID tid) const;
    bool enumeratorValue(StSymbEntryID sid, int32_t& value) const;
    int32_t frameBase(StTypeID funcTid) const;
    int32_t memberOffset(const StSyBaseSymbEntry* member, StTypeID ownerTid, bool bitAddressed) const;
    bool memberEligible(const StSyBaseSymbEntry* member, bool inFunction, int refState) const;
    // The first entry from start along type references whose type is tid.
    StSyBaseSymbEntry* declarationOf(StSymbEntryID start, StTypeID tid) const;
    void typeOperand(StASMOperand& operand, StTypeID tid) const;
    bool tisCore(const StASMOperand* operand, uint32_t access, StAddressRecord& record) const;

protected:
    // For derived tables that detect their own failures.
    void setStatus(uint32_t status) { m_status = status; }
    // For derived tables that borrow part tables of another table: forgets
    // the tables of the mask (0x01 strings, 0x02 entries, 0x04 constants,
    // 0x08 VR, 0x10 NR, 0x20 types) without deleting them.
    void detachTables(uint32_t mask);
    // The mask (as above) of the tables the table holds.
    static uint32_t presentTables(const StSymbTable& table);
    // Copies the mode word and the id pair of other, nothing else.
    void copyModeAndIdPair(const StSymbTable& other);

private:
    // The name-chain index brought up to the tables; null when it is off
    // or the table is in error.
    StNameChainIndex* syncedNameIndex() const;
    // Whether (VR, NR) holds the name (stored, chain head headSid) so that
    // an entry of kind may not join it there; last: the chain's last entry.
    bool nameTaken(const String* stored, StSymbEntryID headSid, StRangeID vr, StRangeID nr, uint32_t kind,
                   const StNameChainIndex* index, StSyBaseSymbEntry*& last) const;
    // The synced index when the name's chain is regular and longer than the
    // scope chain has places (stored: the name's key), else null: walk.
    const StNameChainIndex* indexForScopes(const String& name, const StScopeChain& chain,
                                           const String*& stored) const;
    void createMissing();
    void updateStatus();
    StSyBaseSymbEntry* entryOf(StSymbEntryID sid) const;
    void linkNames();
    void rebuildRangeSpans();
    void sortChains();
    void interpretModeWord(uint32_t word);
    template <class In>
    void readBody(In& in, bool sectionOk);
    template <class Out>
    void writeBody(Out& out);
    void markRanges(StRangeID vr, StRangeID nr);
    bool typeFits(StTypeID tid, StConstantVal* value, int depth) const;
    int checkValue(const StConstantVal* value, StTypeID tid, bool inArray, int depth) const;
    StConstantVal* initValue(StTypeID tid, int depth) const;
    bool layoutWalk(StTypeID tid, McTypeWordList* builder, bool emit, uint32_t& count, int depth) const;
    // Enters a value into the constant table (shared duplicates deleted);
    // the invalid CID when it cannot be entered (the value is deleted).
    StConstEntryID enterValue(StConstantVal*& value);
    void retypeString(StConstEntryID cid, StTypeID tid);

    bool m_addrOpt[3] = {false, false, false};
    uint32_t m_tableMode = 0;
    bool m_accOpt[2] = {false, false};
    uint16_t m_idLow = 0;
    uint16_t m_idHigh = 0;
    uint16_t m_deviceWord = 0;
    uint32_t m_unitId = 0;
    StAddrTranslateHook* m_hook = nullptr;
    StAccessPolicy* m_policy = nullptr;
    bool m_modified = false;
    bool m_foldNames = false;
    uint32_t m_modeWord = 0;
    uint32_t m_status = ST_OK;
    StSymbIDSet m_usedInputs;
    StSyStringTable* m_strings = nullptr;
    StSyEntryTable* m_entries = nullptr;
    StSyConstValTable* m_constants = nullptr;
    StSyRangeTable* m_vrTable = nullptr;
    StSyRangeTable* m_nrTable = nullptr;
    StSyTypeTable* m_types = nullptr;
    StRangeID m_globalVR;
    StRangeID m_globalNR;
    uint32_t m_sortChains = 0;
    uint32_t m_newFormat = 0;
    bool m_usageMarking = false;
    uint32_t m_enumBase = ST_DINT;
    bool m_compactArrayDefaults = false;
    bool m_useNameIndex = true;
    uint8_t m_trailing = 0;
    uint16_t m_changeStamp = 0;
    StSymbTableObserver* m_observer = nullptr;
};

// The stream operators of the written form.
FsSecCl& operator<<(FsSecCl& s, StSymbTable& table);
FsSecCl& operator>>(FsSecCl& s, StSymbTable& table);
std::ostream& operator<<(std::ostream& os, StSymbTable& table);
std::istream& operator>>(std::istream& is, StSymbTable& table);

// Writes text into the diagnostic FIFO ("tvp_cout" in the temporary
// directory, or the path in TAVOLIN_DUMP_PIPE) when a reader listens
// there; nothing otherwise. A reader that goes away or stalls for two
// seconds only cuts the text short; standard output is never touched.
void writeToDumpPipe(const std::string& text);
