// CpSymbTable: the symbol table that the boot-function compiler fills while
// it reads a source. It declares variables, named constants, enumeration
// and structure types in the Structured Text symbol table (its virtual base
// StSymbTable), binds initial values to types and builds the constant
// values of initialisers. Its constants live in a CpConstValTable, the
// StSymbTable part's constant table.
//
// No operation reports a message. Declarations answer the new SID through
// an out-parameter, the invalid SID on any failure (table unusable,
// duplicate name, unknown type, bad value); status operations answer
// 0 ok, 1 table unusable, 2 refused, 3 wrong count, 4 accepted with a
// warning. Every operation but getValueID first asks status() and does
// nothing on an unusable table. Apart from the own-scope enumerators of
// declareEnumType, nothing is rolled back after a failed declaration
// (entries or constants added before the failure stay).
//
// How the compile side's terms map onto the symbol table:
// - the two flags of every declaration are takeName (the first: the table
//   keeps a copy of the name it owns; it does either way, copying the text
//   only when the name is new to it, so the flag changes nothing) and
//   unique (the second: a name already declared in the same VR and NR is
//   refused);
// - the variable class is the entry's access mode; the by-reference flag is
//   its first flag byte, whose test is isFirstFlagTaskVar (set and kind 3);
// - the owner SID is the type reference (an enumerator's enumeration type);
//   the parent SID, the declaring symbol, is the unit SID;
// - the option pair (a 32-bit value and a byte) is setVisibility's pair;
// - the flag byte is the storage-place mark byte (bit 4: variable classes
//   2 and 4);
// - the name-space id of a type is its sub name range;
// - range registration is registerSymbol(entry, false, false), which acts
//   only while usage marking is on (the table "tracks ranges");
// - the attribute word has no field in the entries: the table keeps it per
//   SID (getAttribute);
// - status() is the table's error query (hasError), and findNameSpace
//   answers from the id-pair map (findByIdPair);
// - the enumeration base type is the StSymbTable's (DINT unless set), the
//   packed-arrays flag its compact-array-defaults flag.
//
// Construction: the first two forms build the StSymbTable part (when this
// class is the most derived; a derived class builds it itself) over a
// constant table (own or given) and the global entry (VR, NR); the third
// borrows the six tables and the global entry of another table and sets a
// mask bit for each table present. The destructor detaches the borrowed
// tables, so only owned tables are deleted with the StSymbTable part.
#pragma once
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <utility>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StFlatMap.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "bo/boframe/CpConstValTable.h"
#include "bo/cp/CpIdWords.h"
#include "bo/cp/CpfuncArgList.h"

// An element list of an initialiser; it owns its elements.
class StConstantElemPtrList : public std::list<StConstantElem*> {
public:
    StConstantElemPtrList() = default;
    StConstantElemPtrList(const StConstantElemPtrList&) = delete;
    StConstantElemPtrList& operator=(const StConstantElemPtrList&) = delete;
    ~StConstantElemPtrList()
    {
        for (StConstantElem* e : *this) delete e;
    }
};

class CpSymbTable : public virtual StSymbTable {
public:
    // Which tables of the StSymbTable part belong to another table.
    enum BorrowMask : uint32_t {
        BORROW_STRINGS = 0x01,
        BORROW_ENTRIES = 0x02,
        BORROW_CONSTANTS = 0x04,
        BORROW_VR = 0x08,
        BORROW_NR = 0x10,
        BORROW_TYPES = 0x20,
    };
    enum Status : uint32_t { CP_OK = 0, CP_UNUSABLE = 1, CP_REFUSED = 2, CP_COUNT = 3, CP_WARNING = 4 };
    using TempList = std::list<StSymbEntryID>;
    using SymbolList = std::list<StSymbEntryID>;

    // An own CpConstValTable (start offset 0).
    CpSymbTable(StRangeID vr, StRangeID nr);
    // The given constant table (taken over by the StSymbTable part).
    CpSymbTable(StRangeID vr, StRangeID nr, CpConstValTable* constants);
    // Borrows the tables of other; no own constant table.
    explicit CpSymbTable(StSymbTable& other);
    ~CpSymbTable() override;

    // 1 when the free-temporaries list is missing or the StSymbTable status
    // word is non-zero, else 0.
    uint32_t status() const { return !m_freeTemps || getStatus() != ST_OK ? CP_UNUSABLE : CP_OK; }
    // The free-temporaries list is made by every constructor and deleted only
    // by the destructor, so the queries' own check (inError) agrees.
    bool hasError() const override { return status() != CP_OK; }
    // The entry stored for the pair (a, b), else null.
    StSyBaseSymbEntry* findNameSpace(StRangeID a, StRangeID b) const override { return findByIdPair(a, b); }

    // A variable (kind 3) with the variable class and attribute; class 4
    // also sets flag bit 4 and the by-reference flag, class 2 bit 4 only.
    void declareSymbol(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t varClass,
                       uint32_t attribute, bool takeName, bool unique);
    // A named constant (kind 1) whose value is the integer converted to the
    // enumeration base type; a failed conversion adds nothing.
    void declareConstant(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, int32_t value,
                         uint32_t attribute, bool takeName, bool unique);
    // An enumeration type (kind 2) over the enumerators of list (null:
    // failure). The list is consumed on success (list null afterwards); on
    // failure the caller keeps it. With ownScope the enumerators are copied
    // as named constants into a new name space (closed again), typed and
    // owned by the new type; a failure closes that name space again.
    // The first enumerator becomes the type's initial value (setTypeInitValue).
    void declareEnumType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                         StSymbEntryIDList*& list, StSymbEntryID& parent, uint32_t attribute, bool clearOptions,
                         bool ownScope, bool takeName, bool unique);
    // A structure type (kind 2) over the members (null: no members).
    // An alignment of 0 takes the largest member alignment; a non-zero one
    // fails when a member needs more. Members without a storage address are
    // laid out from 0, each padded to the next member's alignment (1 after
    // the last); the size must fit a signed 32-bit size. When a member has
    // a constant id, the type gets a default value.
    void declareStructType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                           const StSymbEntryIDList* members, StRangeID nameSpace, StSymbEntryID& parent,
                           uint32_t attribute, uint32_t alignment, bool clearOptions, bool takeName, bool unique);
    // 0 done, 1 unusable, 2 refused (unknown SIDs, no enumeration type, not
    // its enumerator, value not a 32-bit integer). A zero value leaves the
    // type without explicit initial value.
    int setTypeInitValue(StSymbEntryID typeSID, StSymbEntryID constSID);
    // The CID of an initialiser's value for the type; status 0 done, 1
    // internal failure, 2 an element does not fit, 3 wrong number of
    // elements or no list, 4 done with a warning. The elements are used up
    // (their values taken out), the list stays the caller's.
    void buildInitValue(StConstEntryID& cid, StTypeID tid, StConstantElemPtrList*& list, int& status);
    // The TID and SID of a type (kind 2, or kind 7 with acceptFB) named
    // name in exactly (VR, NR), or visible from there with searchVisible;
    // the invalid TID and SID otherwise.
    void getTypeByName(StTypeID& tid, const String& name, StRangeID vr, StRangeID nr, StSymbEntryID& sid,
                       bool acceptFB, bool searchVisible) const;
    // 1 a <= b, 0 a > b, 2 not comparable or table unusable.
    int compareConstants(StConstEntryID a, StConstEntryID b) const;
    // The entry's constant id; invalid for an unknown SID (status not asked).
    void getValueID(StConstEntryID& cid, StSymbEntryID sid) const;
    // The entry of the SID stored for the pair, else null.
    StSyBaseSymbEntry* findByIdPair(uint32_t a, uint32_t b) const;
    // Stores (or replaces) the SID of a pair.
    void setIdPairSymbol(uint32_t a, uint32_t b, StSymbEntryID sid) { m_idPairs[{a, b}] = sid; }
    void eraseIdPair(uint32_t a, uint32_t b) { m_idPairs.erase({a, b}); }

    // The attribute word given to a declaration (0 when none).
    uint32_t getAttribute(StSymbEntryID sid) const;
    uint32_t getBorrowedMask() const { return m_borrowed; }
    CpConstValTable* getOwnConstants() const { return m_constTable; }
    StRangeID getVR() const { return m_vr; }
    TempList* freeTemporaries() const { return m_freeTemps; }
    SymbolList& markedSymbols() { return m_marked; }
    // Structure declarations make no default values while set.
    void setNoDefaultValues(bool on) { m_noDefaultValues = on; }
    bool getNoDefaultValues() const { return m_noDefaultValues; }
    StTypeID getImplicitConstType() const { return m_implicitConstType; }
    void setImplicitConstType(StTypeID tid) { m_implicitConstType = tid; }

    // --- further declarations and scope queries (CpSymbDecl.cpp) ---
    // Frame record: first id = membVRange, second id = membNRange, frame
    // size = frameSize, initialised part = retainSize, flags = flags. The
    // flag byte is the mark byte; its bit 3 (0x08) is the bit the symbol
    // table calls "referenced" (collected or laid out).
    // A name space (kind 21, names unique) with its two ids, parent and
    // address word; (first, second) -> SID enters the id-pair map.
    void declareNameSpace(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t first,
                          uint32_t second, StSymbEntryID parent, int32_t address, bool takeName);
    // A unit (kind 17) for mode 1 (option pair (1, 0xFF)) or 2 ((2, 0));
    // any other mode adds nothing. Frame ids (VR, second).
    void declareUnit(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t second,
                     uint32_t mode, bool takeName);
    // A task (kind 9): type 0 without owner, frame sizes 16 and 16, address 0.
    void declareTask(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, bool takeName);
    // A function, function block or program (kind 6, 7 or 8; any other
    // kind is refused): frame ids (first, NR), both frame sizes 16.
    void declarePOU(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t first,
                    uint32_t kind, StSymbEntryID parent, uint32_t attribute, bool takeName, bool unique);
    // A direct variable (kind 20) at (address & 0xFFFFFF) | 0xFC000000,
    // variable class 1 with the input flag, else 2.
    void declareDirectVariable(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, StTypeID tid,
                               StSymbEntryID owner, uint32_t address, bool input, bool takeName);
    // The return variable of a function (kind 6 with a frame record): a
    // variable of the function's name in its frame scope, class 3, typed
    // tid (VOID sets flag bit 3); with boolResult and BOOL the function is
    // marked as having a BOOL result.
    void declareReturnVariable(StSymbEntryID& sid, StSymbEntryID func, StTypeID tid, StSymbEntryID owner,
                               bool boolResult);
    // A device type (kind 13) of type ANYOBJECT with frame ids (a, b).
    void declareDeviceType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t a,
                           uint32_t b, bool takeName);
    // A device (kind 14) with frame ids (a, b) and no address.
    void declareDevice(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t a, uint32_t b);
    // A technology object (kind 12) of a known type SID: type ANYOBJECT, the
    // type's frame ids, owner = the type, address = the word.
    void declareTO(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, StSymbEntryID typeSID,
                   int32_t address, bool takeName);
    // A package type (kind 15), entry only.
    void declarePackageType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, bool takeName);
    // A global variable (kind 4); the global flag is the entry's second
    // flag.
    void declareGlobalVariable(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                               uint32_t varClass, StSymbEntryID parent, uint32_t attribute, bool global,
                               bool takeName, bool unique);
    // A named constant without value (kind 1); option pair (value, 0).
    void declareConstantSymbol(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                               StSymbEntryID parent, int32_t optionValue, uint32_t attribute, bool takeName,
                               bool unique);
    // A type (kind 2) named for an existing TID; when valueSID has the same
    // TID, its constant id, name space and (as owner) the value SID.
    void declareTypeAlias(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, StTypeID tid,
                          StSymbEntryID valueSID, StSymbEntryID parent, uint32_t attribute, bool clearOptions,
                          bool takeName, bool unique);
    // A subrange type (kind 2) over an existing base; bounds must hold
    // exactly 2 elements (an element naming a symbol gives the invalid
    // CID). Initial value as for declareTypeAlias.
    void declareSubrangeType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, StTypeID base,
                             StSymbEntryID valueSID, const StConstantElemPtrList* bounds, StSymbEntryID parent,
                             uint32_t attribute, bool clearOptions, bool takeName);
    // 0, or 2 for an unknown SID or unusable table. A frame takes nr as its
    // second id; a name space whose second id changes is re-keyed.
    int setSymbolNameSpace(StSymbEntryID sid, StRangeID nr);
    // 0 or 2: the frame ids, or the entry's own scope without a frame;
    // both outputs start invalid.
    int getSymbolScope(StSymbEntryID sid, StRangeID& vr, StRangeID& nr) const;

    // --- symbol and type queries (CpSymbQueries.cpp) ---
    static constexpr int MAX_TYPE_DEPTH = 64;
    // True when the type, or through array elements, structure members and
    // function-block members any part of it, is ANYOBJECT, @MEMADR or a
    // STRING, as selected. False without a type table, and for a type
    // nested deeper than MAX_TYPE_DEPTH (a cycle read from a file).
    bool typeContains(StTypeID tid, bool anyObject, bool memAdr, bool string) const;
    // Any elementary type but @MEMADR, a structure with members, or a type
    // with such a part; a cycle answers false.
    bool typeHasPlainData(StTypeID tid) const;
    // The symbol's name; for an anonymous array type "ARRAY[l..u] OF "
    // and the element type's name. Empty for an unknown SID.
    String getTypeText(StSymbEntryID sid) const;
    // Tasks and POUs with an unfinished frame (bit 0 clear) of the parent
    // (any parent when invalid), in entry order; with globals, the global
    // variables of option value 2 without flag bit 3, which they then get.
    void collectPOUs(StSymbEntryID parent, StSymbEntryIDVect& list, StSymbEntryIDVect* globals = nullptr);
    // Only units (17) and package types (15). A unit whose option byte is
    // set below 0xE0 answers whether flag equals it and changes nothing;
    // otherwise the POUs and globals of the entry, then the entry, take
    // flag as their option byte.
    bool setOptionFlag(StSymbEntryID sid, uint8_t flag);
    // Appends the SID, or removes its first occurrence (false when absent
    // or the SID is unknown).
    bool markSymbol(StSymbEntryID sid, bool add);
    // The owner when it is a function block, else invalid.
    void getOwnerFunctionBlock(StSymbEntryID& out, StSymbEntryID sid) const;
    void getParentSID(StSymbEntryID& out, StSymbEntryID sid) const;
    // The first or last enumerator of an enumeration type, else invalid.
    void getEnumBound(StSymbEntryID& out, StTypeID tid, bool last) const;

    // A named constant (kind 1) takes the literal (read as DINT in radix
    // 10, converted to the enumeration base type) and the implicit constant
    // type, an enumeration over no enumerators made on first use (its store
    // mark set when the entry's mark bit 0 is). False for other kinds or a
    // literal that does not convert.
    bool defineConstantValue(StSymbEntryID sid, const String& literal, uint32_t attribute);
    // For a POU of that kind (6 to 8) with an unfinished frame (bits 0 and
    // 1 clear): the frame's first id and the attribute; false otherwise.
    bool updatePOUFrame(StSymbEntryID sid, uint32_t kind, uint32_t first, uint32_t attribute);
    // A POU (kinds 6 to 8) whose type has a non-zero size.
    bool hasSizedType(StSymbEntryID sid) const;
    // The element count of a type; 0 when unusable.
    uint32_t getElementCount(StTypeID tid) const;
    // Exact-scope lookup: the TID of the symbol found, its SID only when
    // that TID is above 29.
    void getTypeOfName(StTypeID& tid, const String& name, StRangeID vr, StRangeID nr, StSymbEntryID& sid) const;
    // For a function block or function with a frame: the members of
    // variable class 2, of class 4, and of class 3 not typed VOID; false
    // (all 0) otherwise.
    bool countParameters(StSymbEntryID pou, uint32_t& inputs, uint32_t& inOuts, uint32_t& results) const;

    // A constant operand standing for a symbol becomes a user operand of
    // that symbol (source position kept, flag 0x20); the old one is deleted.
    bool replaceByUserOperand(StASMOperand*& op);
    // For a POU whose frame has bit 16: a reference operand of type @MEMADR
    // at offset 16 rounded up to @MEMADR's alignment, on the POU (whose
    // segment is the frame segment).
    StASMUserOperand* makeFrameBaseOperand(StSymbEntryID pou);
    // The value of a constant operand, else null; a STRING operand's
    // length, else -1.
    const StConstantVal* getConstOperandValue(const StASMOperand* op) const;
    int32_t getStringOperandLength(const StASMOperand* op) const;
    // Fits a constant operand to tid: an untyped operand through the
    // constant-element service (0 or 4); the same TID (not the implicit
    // constant type); an enumeration TID by its enumerator (looked up again
    // in the enumeration's scope when not one by owner); any other TID when
    // canConvertElementary accepts. On success the operand takes tid and
    // its machine mode; the element forgets its symbol unless keepSymbol.
    bool bindConstOperand(StASMOperand* op, StTypeID tid, bool keepSymbol);

    // A copy of the entry under newName in the same VR and NR (kind,
    // type, constant id, owner, parent, variable class, address, option
    // pair, frame record, flag byte, attribute); refused (invalid SID) when
    // the name is already declared there.
    void aliasSymbol(StSymbEntryID& out, StSymbEntryID sid, const String& newName);
    // Registers each listed entry in the range tables (while tracking).
    void registerSymbols(const StSymbEntryIDVect& list);
    // Registers every function block and function whose frame has bit 2
    // clear (with onlyUnset, only those whose option value is 0).
    void registerPOUs(bool onlyUnset);
    // For a variable (kind 3 or 4) with a constant id: the constant operand
    // of its value and its user operand (global flag for kind 4, parent);
    // 0 both made, 1 one failed, 2 no such variable. Owned by the caller.
    int makeVarOperands(StSymbEntryID sid, StASMUserOperand*& user, StASMConstOperand*& constant);
    // The literal (radix 10) converted to the type, as a constant operand;
    // null when it does not convert.
    StASMConstOperand* makeLiteralOperand(const String& literal, uint32_t typeId);

    // The members of the symbol's scope (its frame scope when it has one)
    // that carry a constant id: variables but those of class 2 (inside
    // programs and function blocks only class 5), and global variables
    // without the global flag.
    void collectInitialisedVariables(StSymbEntryID sid, StSymbEntryIDVect& list) const;
    // A symbol of a subrange type without constant id takes the value 0
    // of that type. False for other types or a refused value.
    bool ensureSubrangeInitValue(StSymbEntryID sid);
    // A typed symbol without constant id, not by reference, of a sized type
    // and option value other than 2 and 4 takes its type's default value.
    // True when nothing had to be done or the value was set.
    bool ensureDefaultValue(StSymbEntryID sid);
    // Copies each member of the source's scope not yet declared in (VR, NR)
    // there (with its constant id); names already there go to conflicts.
    // 0 done, 1 a copy failed, 2 conflicts.
    int copyScopeMembers(StSymbEntryID source, StRangeID vr, StRangeID nr, StSymbEntryIDVect& conflicts);
    // A structure type with its own name space: its members' owners (members
    // without owner left out); otherwise, into an empty vector, the owner
    // when it is another symbol. False in every other case.
    bool getOwners(StSymbEntryID sid, StSymbEntryIDVect& owners) const;

    // For a function block or program: the parameter operand of the
    // instance (a reference form when its frame has bit 16); else null.
    StASMFuncParamOperand* makeInstanceOperand(StSymbEntryID sid);
    // For a function block or function: one argument per member of class 2
    // or 4 in member order, a parameter operand (reference form for a
    // by-reference member) in the given frame, with the member's owner.
    // Null for any other SID. Owned by the caller.
    CpfuncArgList* makeOutputArgList(StSymbEntryID pou, StSymbEntryID frameId);

    // Status-checked accessors: on an unusable table or an unknown SID they
    // answer the invalid range, 2 or false and change nothing.
    StRangeID getScopeVR(StSymbEntryID sid) const;
    StRangeID getScopeNR(StSymbEntryID sid) const;
    // 0, or 2 without a frame record or with an invalid id.
    int getFrameIds(StSymbEntryID sid, StRangeID& first, StRangeID& second) const;
    int setFrameIds(StSymbEntryID sid, StRangeID first, StRangeID second);
    // A task's or POU's frame is finished (bit 0) at the address.
    bool markFrameFinished(StSymbEntryID sid, int32_t address);
    // The whole frame record of from copied to to: 0, or 2 when either has
    // none. A task's record: false for any other entry.
    int copyFrameRecord(StSymbEntryID from, StSymbEntryID to);
    bool getTaskRecordOf(StSymbEntryID sid, StTaskRecord& record) const;
    // The option pair (value, byte); option value 2; the value part reset
    // to 0 for global variables, constants and direct variables.
    bool getOptionPair(StSymbEntryID sid, int32_t& value, uint8_t& byte) const;
    bool hasOptionValue2(StSymbEntryID sid) const;
    bool resetOptionValue(StSymbEntryID sid);
    // The 32-bit value of the option pair with the by-address flag (the
    // by-reference test: flag set and a variable entry).
    bool getValueAndByAddress(StSymbEntryID sid, int32_t& value, bool& byAddress) const;
    // Whether the entry's constant id names a STRING or package-init value;
    // false without a constant id or a value of another kind.
    bool hasStringOrPackedValue(StSymbEntryID sid) const;
    // The type node of an elementary id (0 to 29; other ids look up the
    // invalid TID); null without a type table or on an unusable table.
    StSyBaseTypeNode* getElementaryTypeNode(uint32_t id) const;
    // A constant value by CID; null without a constant table.
    StConstantVal* getConstantValue(StConstEntryID cid) const;

    // The instance operand of a call in frame frameId (makeInstanceOperand).
    // When the POU's frame has bit 16, each parameter operand of the
    // argument lists given in frameId is replaced by a copy of the caller
    // operand with the argument's source position, its offset increased by
    // the member's address (24 bits). Null for any other SID.
    StASMFuncParamOperand* makeCallOperand(StSymbEntryID pou, StSymbEntryID frameId, const StASMOperand* caller,
                                           CpfuncArgList* inputs, CpfuncArgList* outputs);

    // --- memory layout (CpSymbLayout.cpp); every sum is taken in 64 bits ---
    static constexpr int64_t MAX_FRAME_SIZE = 0xEFFFFF;
    static constexpr int64_t MAX_SEGMENT_END = 0xFFFFFF;
    // Places the unplaced frame-segment entries of the POU's frame scope
    // (in id order) at the frame size rounded up to their alignment (a
    // by-reference variable as @MEMADR); an entry that is no temporary, not
    // by reference and without constant id moves the initialised part up.
    // Placed entries without flag bit 3, placed-before entries of segments
    // 0xFA/0xFD and globals of option value 2 go to the list and get bit 3.
    // False (frame record unchanged) when the frame would pass 0xEFFFFF.
    bool layoutFrame(StSymbEntryID pou, StSymbEntryIDVect& list);
    // Completes the type of a function block, program or function: its
    // parameters (the frame scope's variables of classes 2, 4 and 3, in
    // entry order) follow the base type's members (baseMembers, may be
    // null) and, when the frame has bit 16, a leading reserved @MEMADR.
    // Unplaced parameters are laid out as structure members are; function
    // blocks and programs align to at least 8. The frame is marked finished
    // (bit 1), the structure type given to the entry, each parameter's
    // default value made and the parameter registered, then the frame laid
    // out (layoutFrame into list). False at the first failing step.
    bool finishPOUType(StSymbEntryID sid, const StSymbEntryIDVect* baseMembers, StSymbEntryIDVect& list);
    // Places the listed symbols of segment 0 without address from offset
    // on; direct variables are skipped, any other symbol with an address
    // ends the walk (failing = it, false). An end past 0xFFFFFF fails with
    // that symbol; the first symbol ending more than 0xFFFF past start is
    // the 64-K symbol. offset is the end of the last placed symbol.
    bool layoutSymbols(const StSymbEntryIDVect& list, uint32_t start, uint32_t& offset, StSymbEntryID& sym64K,
                       StSymbEntryID& failing);
    // Receives each reference operand found (owned by the receiver).
    using ReferenceCollector = std::function<void(StASMUserOperand*)>;
    // For the members of the symbol's scope with a constant id or address,
    // selected by kind and class (in a task: globals of classes 1 to 3; in
    // a function: variables of class 1; anywhere: variables of class 5),
    // whose type contains ANYOBJECT, @MEMADR or STRING: the user operand of
    // the member walked down arrays (offset advanced by the element size
    // padded to its alignment), structure and function-block members (laid
    // out as structures are), each contained reference going to the
    // collector. False when the symbol is unknown or a type is nested
    // deeper than MAX_TYPE_DEPTH.
    bool forEachReferenceOperand(StSymbEntryID sid, const ReferenceCollector& collect);
    // One contained reference: its type, address and the owner type.
    struct ReferenceRecord {
        StTypeID tid;
        uint32_t address;
        StSymbEntryID owner;
        bool operator==(const ReferenceRecord& o) const
        {
            return tid == o.tid && address == o.address && owner == o.owner;
        }
    };
    // For each entry of the POU's frame scope in the segment, with an
    // address and no frame record: its constant value without address takes
    // the entry's address. With a collection, every such entry whose type
    // contains ANYOBJECT, @MEMADR or STRING is expanded (arrays by element,
    // element count = size / element size, none for a size of 0; structures
    // by member) into one record per contained reference, sorted by address.
    // False for an unknown POU or a type nested deeper than MAX_TYPE_DEPTH.
    // No flag is read yet; the word is kept for the callers.
    bool buildReferenceMap(StSymbEntryID pou, uint32_t segment, std::vector<ReferenceRecord>* collection,
                           uint32_t flags);
    // The members' sizes, each padded to the next member's alignment, sum
    // to at most 0xFFFFFF.
    bool checkStructLayout(const StSymbEntryIDVect& members) const;

    // --- constants and operands (CpSymbOperands.cpp) ---
    // The free temporaries: appends the entry unless listed (true only when
    // it was listed and flag is set); takes the first of a type (or null).
    bool releaseTemporary(StSyBaseSymbEntry* entry, bool flag);
    StSyBaseSymbEntry* takeTemporary(StTypeID tid);
    // A null list passes; a repeat count of 0x1000000 or more fails; the
    // elements' bytes (count x element size) may sum to 0xFFFFFF, times
    // the repeat count to 0x1000000 (taken in 64 bits).
    bool checkInitSize(const StConstantElemPtrList* list, uint32_t repeat) const;
    // An integer constant of the type's size (aligned: padded to its
    // alignment); an equal shared constant is reused.
    void makeSizeConstant(StConstEntryID& cid, StTypeID tid, bool aligned);
    void makeAlignedSizeConstant(StConstEntryID& cid, StTypeID tid, bool flag) { makeSizeConstant(cid, tid, true); }
    // Operands owned by the caller; null on failure.
    StASMConstOperand* makeConstOperand(StConstEntryID cid);
    StASMConstOperand* makeIntConstOperand(int32_t value);
    // count above 1: ARRAY[0..count-1] OF the type (STRING elements as 30),
    // reused when it exists; a free temporary of the type is reused, else a
    // new temporary entry is added in the table's VR.
    StASMTempOperand* makeTempOperand(StTypeID tid, uint32_t count);

protected:
    // The entry added for a declaration, its SID in sid (invalid on
    // failure); the attribute is kept.
    StSyBaseSymbEntry* addDeclEntry(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                    uint32_t kind, uint32_t attribute, bool takeName, bool unique);
    // Parent, attribute and (with clearOptions) the option pair (0, 0).
    void setTypeEntryData(StSyBaseSymbEntry* entry, StSymbEntryID parent, uint32_t attribute, bool clearOptions);
    void registerIfTracking(StSyBaseSymbEntry* entry);

private:
    void init();
    // The own-scope copies of declareEnumType; false on failure.
    bool copyEnumerators(const StSymbEntryIDList& from, StRangeID vr, StRangeID ns, StSymbEntryIDList& to);
    // The default value of a structure; true when none is needed.
    bool structDefault(StSyBaseSymbEntry* typeEntry, StTypeID tid,
                       const std::vector<std::pair<StSyBaseSymbEntry*, StSyBaseTypeNode*>>& members);
    int arrayInitValue(StConstEntryID& cid, StTypeID tid, StTypeID elemTid, uint32_t count,
                       StConstantElemPtrList& list);

    StRangeID m_vr;
    TempList* m_freeTemps = nullptr;
    SymbolList m_marked;
    CpConstValTable* m_constTable = nullptr;
    StTypeID m_implicitConstType = ST_INVALID_TID;
    uint32_t m_implicitWord = 0;
    StConstEntryID m_cid = ST_INVALID_CID;
    uint32_t m_borrowed = 0;
    std::map<std::pair<uint32_t, uint32_t>, StSymbEntryID> m_idPairs;
    // The attribute word of each declared SID, 0 when none was given.
    CpIdWords m_attributes;
    bool m_noDefaultValues = false;
};
