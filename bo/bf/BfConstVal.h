// The constants of the boot-function symbol table and its constant table.
// A boot-function constant also writes itself into a boot telegram: a
// scalar as one typed telegram constant (BOOL 0, SINT 1, INT 2, DWORD and
// DINT 3 (signed), USINT 4, UINT 5, UDINT 6, REAL 7, LREAL and ANYREAL 8;
// other types write nothing), a string as code 9, a structure as its
// elements in order. The elements of an array initialiser keep the types
// of their literals (an integer literal is ANYINT, which has no telegram
// form); given the symbol table, such an element is written in the
// array's element type.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/fs/FsSecBootTels.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "bo/boframe/CpConstValTable.h"

class StSymbTable;

// Writes any constant of the table into the telegram as its class would
// (a constant of no boot-function class is written by its kind the same way).
// With types (the table of the constant's types), a scalar element of an
// array that has no telegram form in its own type is written converted to
// the array's element type, with loss where the type has it (nothing when
// the type refuses it).
void bfWriteToTel(const StConstantVal& value, FsBootTelegram& telegram, const StSymbTable* types = nullptr);

// What the three boot-function constant classes share: copies of their own
// class and the telegram form.
template <class Base, class Self>
class CBfConstant : public Base {
public:
    using Base::Base;
    CBfConstant() = default;
    CBfConstant(const Base& other) : Base(other) {}
    CBfConstant(const Base& other, bool shared) : Base(other, shared) {}
    StConstantVal* cloneShared(bool shared) const override { return new Self(static_cast<const Base&>(*this), shared); }
    StConstantVal* clone() const override { return new Self(static_cast<const Base&>(*this)); }
    // A copy converted to the type; null when the conversion fails.
    virtual StConstantVal* cloneConverted(uint32_t typeId) const
    {
        StConstantVal* c = clone();
        if (c->convertTo(typeId) == 0) return c;
        delete c;
        return nullptr;
    }
    virtual void writeToTel(FsBootTelegram& telegram) const { bfWriteToTel(*this, telegram); }
    virtual uint32_t getElemCount() const { return 1; }
};

class CBfStdConstantVal : public CBfConstant<StStdConstantVal, CBfStdConstantVal> {
public:
    using CBfConstant::CBfConstant;
};

class CBfStringConstantVal : public CBfConstant<StStringConstantVal, CBfStringConstantVal> {
public:
    using CBfConstant::CBfConstant;
};

class CBfStructConstantVal : public CBfConstant<StStructConstantVal, CBfStructConstantVal> {
public:
    using CBfConstant::CBfConstant;
    // The number of elements.
    uint32_t getElemCount() const override { return members() ? uint32_t(members()->size()) : 0; }
    // " ( StructConst: tid <tid>  ", the place's print, each element's
    // print (or "NULL") on a new line, ")".
    void dump(std::ostream& os) const override;
    // "{", the elements' value texts separated by ", " ("NULL" for a
    // missing element), "}".
    String valueText() const;
};

// The value text of any constant: a number (reals as the stream writes a
// double), a string's text, a structure's "{...}".
std::string bfValueText(const StConstantVal& value);

class CBfConstValTable : public CpConstValTable {
public:
    CBfConstValTable() : CpConstValTable(0) {}
    // 0 scalar, 1 structure, 2 string (the boot-function classes); null
    // for any other kind. The reader of the table uses it, so a loaded
    // table holds boot-function constants.
    StConstantVal* createConstantVal(int32_t kind) const override;
    // " n", then per constant "CID " and its dump or "NULL".
    void dump(std::ostream& os) const override;

    // The CID under which an equal value is stored; null CID for null.
    StConstEntryID getCID(const StConstantVal* value) const;
    // 0 removed, 1 unknown CID.
    int remove(StConstEntryID cid) { return removeConstantVal(cid); }
    // Appends the constants of the CIDs in order to the telegram (array
    // elements typed through types, see bfWriteToTel): 0 all written, 1
    // stopped at an unknown CID or a null value.
    uint32_t writeToTel(const std::vector<StConstEntryID>& cids, FsBootTelegram& telegram,
                        const StSymbTable* types = nullptr) const;
};
