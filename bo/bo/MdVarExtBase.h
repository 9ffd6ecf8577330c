// Common base of the two producers of a type's variable extensions (the
// variable-extension section compiler and the ACX import): a complete
// type container that also owns the frame constant table and the type's
// system-variable symbol table. It turns parsed numbers and texts into
// constants with range checks, assembles a variable's value record from its
// parsed parts and checks the dynamic arrays at the end.
//
// Messages (ids of block 400, German texts in the message table) and error
// counting belong to the derived class: every refusal here is one
// countError and one reportError, in the order the operation states. A
// null message argument means none.
//   400 "Syntax Fehler"                            (a text no constant can be made of)
//   404 unit outside the unit table, with its number
//   405 "Einheit %s paßt nicht zu physikalischer Größe %s"
//   406 "Es wurde keine physikalische Größe angegeben"
//   407 "Wert kommt %s mal vor"                    (a part given more than once)
//   409 "Wert muß zwischen %s und %s liegen"
//   411 "ungültige Adresse %s"                     (lower-case hexadecimal, no prefix)
//   412 "ungültige Config %s"
//   413 "Falscher Typ, Typ muß _REAL oder _DOUBLE sein"
//   417 "Größenvariable %s ohne Wert in VALUES"    (a dynamic array's size variable, "$8[16#FF]")
// Trace lines have the source "mdvarbas".
#pragma once
#include <cstdint>
#include <list>
#include <vector>

#include "base/st/symacc/SyStSymbTable.h"
#include "bo/bo/BoTypeVarCont.h"
#include "bo/boframe/BoFrameConstVal.h"

// Message ids reported by the base.
enum MdVarExtMsg : uint32_t {
    MdVarExtMsg_Syntax = 400,
    MdVarExtMsg_UnitRange = 404,
    MdVarExtMsg_UnitMismatch = 405,
    MdVarExtMsg_NoQuantity = 406,
    MdVarExtMsg_Repeated = 407,
    MdVarExtMsg_Range = 409,
    MdVarExtMsg_BadAddress = 411,
    MdVarExtMsg_BadConfig = 412,
    MdVarExtMsg_NotReal = 413,
    MdVarExtMsg_NoSizeValue = 417,
};

// One parsed part of a variable's value; list elements are owned by the
// caller of the builders.
struct VarValueEntry {
    enum Kind : uint32_t { Min = 0, Def = 1, Max = 2, Unit = 3, Fix = 4 };

    VarValueEntry() = default;
    explicit VarValueEntry(uint32_t k) : kind(k) {}

    uint32_t kind = Min;
    StConstEntryID cid = ST_INVALID_CID;  // kinds 0-2
    int32_t number = 0;                   // kinds 3-4: a unit-table id
};
using VarValueEntryList = std::vector<VarValueEntry*>;

class MdVarExtBase : public CBOTypeVarCont, public virtual CBOFrameTypeVarCont {
public:
    MdVarExtBase();
    // Deletes the constant table and the symbol table.
    ~MdVarExtBase() override;

    virtual void reportError(uint32_t messageId, const String* arg1, const String* arg2) = 0;
    virtual void countError() = 0;
    virtual int32_t getErrorCount() = 0;

    // --- completion of the type interface: texts and enumerations are not
    // kept here; each writes the level-4 trace "Obj(Tavolin): never should
    // be called" (save / load answer 9, the is-loaded queries false).
    uint32_t saveText(FsSecCl& section) override;
    uint32_t loadText(FsSecCl& section) override;
    void cleanText() override;
    bool isTextLoaded() const override;
    uint32_t saveEnums(FsSecCl& section) override;
    uint32_t loadEnums(FsSecCl& section) override;
    void cleanEnums() override;
    bool isEnumsLoaded() const override;
    // "Tavolin".
    String getModuleName() const override;

    // A bit number the elementary type can address: BOOL 0; BYTE, SINT,
    // USINT 0..7; WORD, INT, UINT 0..15; DWORD, DINT, UDINT 0..31; never
    // for other types or a negative bit.
    static bool isBitNoValid(uint32_t typeId, int32_t bit);
    // The type of the system variable at adr (the variable's own type when
    // adr is where it starts, else the covering element's or member's);
    // the invalid TID with a level-4 trace without table or variable.
    StTypeID getTypeIdByAdr(int32_t adr);
    // getTypeIdByAdr's traces for what boSysVarTypeAt answered at adr; tid.
    static StTypeID tracedTypeAt(int32_t adr, StTypeID tid, bool noOperand);

    // The builders: a new entry of kind with the value as a constant of
    // typeId in the frame constant table. repeats > 0 reports 407 with
    // repeats + 1; a value outside the type's range reports 409 with the
    // bounds and is stored all the same. Never null.
    VarValueEntry* checkValueRange(int32_t value, uint32_t typeId, uint32_t kind, uint32_t repeats);
    VarValueEntry* checkAcxValueRange(double value, uint32_t typeId, uint32_t kind, uint32_t repeats);
    // REAL and LREAL texts only (others: 413, the constant still made from
    // the text); a text no constant is made of reports 400 (invalid CID).
    VarValueEntry* parseValueText(const String& text, uint32_t typeId, uint32_t kind, uint32_t repeats);
    // A literal (a number as written, radix 10 or 16, "16#" kept) as a value
    // of typeId, one of the elementary integer types, REAL or LREAL, as
    // every reader of literals takes it (StStdConstantVal::literalOfType).
    // Refused: a real into an integer type 413; any other number 409 with
    // the type's range, for a nonzero real nearer to 0 than the type's
    // normal range with its smallest and largest normal magnitude; a 0 of
    // the type stands for it. Never null.
    VarValueEntry* parseValueLiteral(const String& text, int radix, uint32_t typeId, uint32_t kind, uint32_t repeats);
    // Whether parseValueLiteral takes values of typeId.
    static bool isLiteralType(uint32_t typeId);

    // Deletes the entries (a few are kept for the next builders to reuse)
    // and empties the list.
    void releaseEntries(VarValueEntryList& entries);

    // Smallest and largest enumerator value of the enumeration type; false
    // without table or when the names or a value cannot be found.
    bool getEnumRange(StTypeID enumType, int32_t& min, int32_t& max);
    // Appends entries for the missing minimum, default (both the smallest
    // enumerator) and maximum (the largest), as constants of the table's
    // enumeration value type; up to version 2.0 the constant counter is
    // also advanced by one per missing value. False for an entry of an
    // unknown kind or when the range cannot be found.
    bool makeEnumEntry(VarValueEntryList& entries, StTypeID enumType);
    // A new record (owned by the caller) of the entries, missing bounds and
    // default filled by the type; Unit taken from Fix's quantity. Null after
    // 404 (Fix outside the unit table) or 406 (no quantity); constants made
    // on the way stay in the table.
    VarTypeValue* createTypeValue(const VarValueEntryList& entries, uint32_t typeId);
    // Checks every dynamic array against its size variable (one message and
    // one countError per failing array; a size variable without a value
    // record, or one lacking its minimum, default or maximum, gives 417 with
    // the variable as the source writes it, "$11[16#1]", once for all its
    // arrays). True when no error is counted.
    bool checkDynArraySize();

    void setResModule(const tvp::ResModule* module) { m_hResInst = module; }
    void setVarComment(CBoVarComment* comment) { m_pVarComment = comment; }
    void setVersion(uint16_t major, uint16_t minor)
    {
        m_verMajor = major;
        m_verMinor = minor;
    }
    // Takes the table over (the previous one is deleted) and has it index
    // its system variables by address.
    void setSymbTable(SyStSymbTable* table);
    SyStSymbTable* getSymbTable() const { return m_pSymTab; }
    CBOFrameConstValTable* getFrameConstTable() const { return m_pConstTable; }

protected:
    const tvp::ResModule* m_hResInst = nullptr;
    CBoVarComment* m_pVarComment = nullptr;
    uint16_t m_verMajor = 0;
    uint16_t m_verMinor = 0;
    CBOFrameConstValTable* m_pConstTable = nullptr;
    SyStSymbTable* m_pSymTab = nullptr;

    // reportError with the texts as Strings (a null text: no argument); no
    // countError.
    void message(uint32_t id, const char* a1 = nullptr, const char* a2 = nullptr);
    // checkDynArraySize is about to check the arrays of the size variable
    // sizeKey: the messages up to the next call are about the statement that
    // declared them. A compiler that knows where that statement stands
    // reports them there; here nothing happens.
    virtual void placeDynArrayMessages(const VarExtKey& sizeKey) { (void)sizeKey; }
    // Where the statement of sizeKey stands among the others (its line):
    // checkDynArraySize reports in that order, so that its messages follow
    // the source. Equal answers keep the table's order (here: all of them).
    virtual int32_t dynArrayStatementOrder(const VarExtKey& sizeKey) const
    {
        (void)sizeKey;
        return 0;
    }
    // A new entry of kind (owned by the caller, deleted with delete or handed
    // back through releaseEntries): one value statement makes and drops a
    // few, so released ones are reused rather than freed.
    VarValueEntry* newEntry(uint32_t kind);

private:
    static constexpr size_t kSpareEntries = 64;
    VarValueEntryList m_spareEntries;

    void repeated(uint32_t repeats);
    void outOfRange(const char* lo, const char* hi);
    // countError, then the message.
    void report(uint32_t id, const char* a1 = nullptr, const char* a2 = nullptr);
};
