// The frame constant table: every value of a type's variable extensions
// (minimum, default, maximum, instance value, sysvar default) is a constant
// of this table, referred to by its constant id (CID).
//
// The table creates its constants as CBOFrameStdConstantVal (elementary
// values only: reading a table that holds any other kind fails) and adds the
// builders below. Each appendConstantVal builds a shared constant of the
// type spec (the elementary type id: 1 BOOL, 2 BYTE, 3 WORD, 4 DWORD,
// 6 SINT, 7 INT, 8 DINT, 10 USINT, 11 UINT, 12 UDINT, 14 REAL, 15 LREAL,
// 16 system address), sets its value and adds it; an equal shared value
// already in the table answers with its CID and the new constant is freed.
// Refusals are trace lines (source "boframe", method
// "CBOFrameConstValTable::<operation>", level 4):
//   - a type spec the form has no setter for: "bad typespec"; the constant
//     is still added, holding 0 (the CID numbering of the callers counts it);
//   - a failing setter: "SetLongVal failed" (SINT, INT, DINT),
//     "SetULongVal failed" (BOOL, BYTE, WORD, DWORD, USINT, UINT, UDINT),
//     "SetRealVal failed", "SetLRealVal failed"; the constant is still
//     added, holding 0;
//   - a failing add: "appendConstantVal for <value> failed"; the invalid CID.
// The double form never converts a value that does not fit: integer types
// clamp to the 32-bit range of their setter (signed for SINT, INT, DINT,
// unsigned for the others) and truncate toward zero, REAL clamps to the
// largest float, LREAL to the largest double; a NaN fails the setter.
//
// The "id of its own" of a constant (the instance value of a sysvar) is its
// storage address: appendInstVal puts a wanted id there, and
// writeSysVarDefVal writes only listed constants that carry one.
#pragma once
#include <cstdint>
#include <list>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "bo/boframe/CpConstValTable.h"
#include "co/tvstring.h"

// Elementary constant of the frame; clones are of this class too.
class CBOFrameStdConstantVal : public StStdConstantVal {
public:
    CBOFrameStdConstantVal() = default;
    // Value 0 of type spec, shared or not.
    CBOFrameStdConstantVal(uint32_t typeSpec, bool shared) : StStdConstantVal(typeSpec, shared) {}
    // Value, type and address of other; shared or not.
    CBOFrameStdConstantVal(const StStdConstantVal& other, bool shared) : StStdConstantVal(other, shared) {}

    StConstantVal* cloneShared(bool shared) const override { return new CBOFrameStdConstantVal(*this, shared); }
};

// The two words of a system address (ids in the first).
struct BoSysAddr {
    uint32_t words[2] = {0, 0};
};

class CBOFrameConstValTable : public CpConstValTable {
public:
    using CidList = std::list<StConstEntryID>;

    CBOFrameConstValTable();
    ~CBOFrameConstValTable() override;

    // Kind 0: a new CBOFrameStdConstantVal (ANYTYPE, 0); null for any other.
    StConstantVal* createConstantVal(int32_t kind) const override;

    // The new (or equal shared) CID, or the invalid CID.
    StConstEntryID appendConstantVal(int32_t value, uint32_t typeSpec);
    StConstEntryID appendConstantVal(double value, uint32_t typeSpec);
    // The constant read from text in radix 10 as type typeId (typed
    // literal, see StStdConstantVal); status receives the reader's status
    // and the constant is added only for status 0 or 2. A real text below
    // the smallest normal double is typed all the same (REAL and LREAL: 0,
    // status 2). typeSpec is the caller's type spec word and does not
    // change the result.
    StConstEntryID appendConstantVal(const String& text, uint32_t typeSpec, uint32_t typeId, int& status);
    // The same for typeId REAL or LREAL and a text whose value
    // StStdConstantVal::readPlainDecimal read already.
    StConstEntryID appendPlainReal(const String& text, double value, uint32_t typeId, int& status);
    // A copy of a value read from the literal text.
    StConstEntryID appendLiteral(const StStdConstantVal& value, const String& text) { return addRead(value, 0, text); }
    // Type spec 16 only (others: "bad typespec" and a constant holding 0).
    StConstEntryID appendConstantVal(const BoSysAddr& value, uint32_t typeSpec);

    // A copy of source in the table. A valid wanted id becomes the copy's
    // storage address and the copy is unshared (no equal shared value takes
    // its place); with the invalid wanted id the copy has no address and is
    // shared as flag says. The invalid CID ("appendInstVal failed") when
    // source is not elementary or the add fails.
    StConstEntryID appendInstVal(StConstEntryID wanted, const StConstantVal& source, bool flag);
    // A copy (shared as flag says) of the constant of cid added to the
    // table; the invalid CID when cid has no constant.
    StConstEntryID cloneConstantVal(StConstEntryID cid, bool flag);
    // With keepShared a shared constant stays (0); otherwise the table's
    // remove (0 removed, 1 unknown CID).
    int removeConstantVal(StConstEntryID cid, bool keepShared);
    using StSyConstValTable::removeConstantVal;

    // The sysvar default-value buffer: in ascending CID order, every
    // constant whose CID is in cids and that carries an id of its own is
    // written in its value-only form, counted and taken out of cids; the
    // others stay in the list. 0, or 1 when a CID has no constant ("no
    // value found for CID(%i)") or a write failed ("write data for CID(%i)
    // failed"). Ends with the level-1 trace "Write SysVarBuffer: <n> Vars".
    uint32_t writeSysVarDefVal(FsSecCl& stream, CidList& cids);

private:
    // Adds c (taken over) and frees it when the table did not keep it.
    StConstEntryID addOwned(StConstantVal* c);
    // A copy of a value read from text, when the reader's status lets it in.
    StConstEntryID addRead(const StStdConstantVal& read, int status, const String& text);
};

// The elementary constant of cid in the table; null without table or
// constant, or for a constant of another kind. Owned by the table.
StStdConstantVal* boStdConstant(const StSyConstValTable* table, StConstEntryID cid);
