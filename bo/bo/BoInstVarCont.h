// Instance side of the variable extensions: the current unit of every
// physical quantity of one technology-object instance and the actual
// values of its variables, on the frame of BoFrameInstVarCont.h (the
// configuration, the stamps and the forwarding to the type).
//
// Values. An instance value is a VarInstValue under the type value's key
// (address, configuration mask) whose Act is a constant of the sysvar
// constant table. The constant of a system variable (an address the sysvar
// symbol table knows) carries the address as its own id and is never
// shared; any other constant is shared by equal values until one of them
// changes (it is copied first). Elements of a dynamic array beyond the
// array's current size are locked: they have no value and the type's
// per-address queries answer nothing for them. Element i of the array at
// address a lies at a + i x the element's size in bytes; an array of more
// than 2^20 elements is refused ("invalid array-size: %i").
//
// Units. convertVal converts between the quantity's default and current
// unit: x' = ((x - o1) * f1) / f2 + o2 with the factors and offsets of the
// unit table, in IEEE doubles. Integer results are clamped to [minimum,
// maximum] (the given constants, else the type's range: BOOL, BYTE, USINT
// 0..255; WORD, UINT 0..65535; DWORD, UDINT 0..4294967295; SINT, INT, DINT
// their signed range) and truncated toward zero; REAL and LREAL are
// clamped to their largest value; 64-bit integers stay as they are. The
// VARIANT form clamps only to the range of its VARIANT type.
//
// Digests (version 0.0, MD5, the GUID the digest bytes in order):
//   units    per CResolveTable entry (ascending) that names a quantity
//            record: its id and its current unit (4 bytes each); a
//            quantity without current unit leaves the signature invalid;
//   sysvars  per address of the value table (ascending) with a value V for
//            the current configuration: A gets address and V
//            (CoCryptHashVariant::addVariant of constVal2Variant); an
//            online-relevant address (76) feeds C when structure-relevant
//            (77), then B. A -> offline version, B -> online signature,
//            C -> structure version.
//
// Sections (text mode; BoVarExtIo.h): units, values, and the sysvar
// buffer (writeSysVarDefVal of the values of the current configuration
// that are not locked). Loaders stop at the first stream error and never
// allocate by a count they read.
//
// Refusals are trace lines (source "boinstvar", method
// "CBOInstVarCont::<operation>"), the texts as the operations state them.
#pragma once
#include <cstdint>
#include <optional>
#include <ostream>

#include "bo/bo/BoTypeVarCont.h"
#include "bo/boframe/BoFrameConstVal.h"
#include "bo/boframe/BoFrameInstVarCont.h"

// The physical quantity of a boot-function variable constant.
struct BfVarUnit {
    PhysGr physGr = -1;
};

class CBfVarUnitMap : public BoMap<uint32_t, BfVarUnit> {};
// Locked element (element address, mask of its dynamic-array entry) ->
// the array's address.
class CLockedArrayEntries : public BoMap<VarExtKey, int32_t> {};

class CBOInstVarCont : public virtual CBOFrameInstVarCont,
                       public CBfVarUnitMap,
                       public CUnitEntryTable,
                       public CVarInstValueTable {
public:
    CBOInstVarCont();
    ~CBOInstVarCont() override;

    // The type's container: also its value and dynamic-array tables when it
    // is a CBOTypeVarCont.
    void setTypeVarCont(CBOFrameTypeVarCont* type) override;
    // The constant tables of the sysvar values and of the boot-function
    // variables (not owned; may be null).
    void setConstTables(CBOFrameConstValTable* sysVarConsts, CBOFrameConstValTable* bfConsts);
    // Records the quantity of a boot-function constant; setCurrentUnit
    // converts it with the values of that quantity.
    void addBfVarUnit(StConstEntryID cid, PhysGr physGr) { CBfVarUnitMap::operator[](cid.get()).physGr = physGr; }

    // --- values of the interface ---
    // Without newValue, type, dynamic-array or value table, current value
    // or maximum: false. An equal value changes nothing (true). A size
    // variable of dynamic arrays must stay within 1..its maximum and the
    // arrays' lengths ("invalid array-size: %i"); elements are locked or
    // unlocked (with the type's default in the current unit) and the arrays
    // resized; structureChanged is then set. Otherwise (and after that) the
    // value is stored (a shared constant is copied first), the sysvar
    // version changed (online or offline by 76, struct or data by 77) and,
    // with structureChanged set, operation 92 notified.
    bool setActVal(uint32_t adr, StStdConstantVal* newValue, bool& structureChanged) override;
    bool checkArrayEntry(uint32_t adr) override;
    bool getDynArraySizes(uint32_t adr, BoIdList& arrays) override;
    int32_t getValueUnit(uint32_t adr) override;
    // -1 and a level-3 trace when the quantity has no current unit.
    int32_t getCurrentUnit(PhysGr physGr) override;
    // 36 "unit-idx to big" for an id outside 0..428, 37 "physical
    // dimension mismatch" for units of two quantities and for a quantity
    // record as source or target (it is no unit; record 0, the
    // dimensionless "-", counts as a unit of its own); else 0: a unit into
    // itself (record 0 too) leaves the value as it is, otherwise VT_I1,
    // VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8 are converted and
    // other types left untouched.
    uint32_t convertVal(VARIANT& value, int32_t from, int32_t to) override;
    // 37, 38, 36 (see the operation), 0 unchanged or stored (with a new
    // unit version).
    uint32_t setUnit(PhysGr physGr, int32_t unit) override;
    const CUnitEntryTable& getUnitTable() const override { return *this; }
    CUnitEntryTable copyUnitTable() const override;
    // setUnit, then every value of the quantity without fixed unit and
    // every recorded boot-function constant of it converted from the old
    // to the new unit (values clamped to their type minimum and maximum,
    // which are in the default unit and so converted to the new one too).
    uint32_t setCurrentUnit(PhysGr physGr, int32_t unit) override;
    // A new constant (owned by the caller) converted between the default
    // and the current unit of the value's quantity (toCurrent: default to
    // current); an unchanged copy for a fixed unit or a dimensionless value;
    // null with a trace when there is no type value, rounding is asked, or
    // the units do not convert.
    StStdConstantVal* convertVal(const StStdConstantVal& value, uint32_t adr, uint32_t cfg, bool useCurrentCfg,
                                 bool rounding, bool toCurrent) override;
    // The unit stream: 65535 on a stream error, else setUnit for each pair
    // in ascending PhysGr order, the first refusal ending the pass.
    uint32_t readDefVal(FsSecCl& s) override;
    void cleanUnit() override;
    // 10 without type container, 65535 when the type has no units.
    uint32_t saveUnit(FsSecCl& s) override;
    uint32_t loadUnit(FsSecCl& s) override;
    // The type's default units for quantities without a current unit.
    void initUnit() override;
    void calculateUnitVersion() override;

    // The value constant for the current configuration; null when none.
    StStdConstantVal* getInstValue(uint32_t adr) override;
    uint32_t writeSysVarBuffer(FsSecCl& s) override;
    // Applies uploaded values in order. Strict: 5 at an unknown address,
    // 10 at a kind conflict, ending the pass (earlier records stay
    // applied). Lenient: unknown addresses are skipped; kinds 1 and 2 of
    // the variable take records of kind 0 or 5. 65535 for a kind that is
    // not supported, a constant that is not elementary or a value refused
    // by setActVal. Each failure appends (code, address) to errors.
    uint32_t readDefVal(const BoUploadList& uploaded, bool strict, BoIdPairList& errors,
                        bool& structureChanged) override;
    bool isStructRel(uint32_t adr) override;
    void cleanValues() override;
    uint32_t saveValues(FsSecCl& s) override;
    uint32_t loadValues(FsSecCl& s) override;
    // 65535 without type container, 10 without dynamic-array or value
    // table; with fromType the values are made anew from the type's
    // defaults converted to the current units (a quantity without current
    // or default unit keeps the default as it is), then the elements beyond
    // each dynamic array's size locked and the arrays resized. 0.
    uint32_t initSysVar(bool fromType) override;
    // share: private constants without own id become shared (equal values
    // then share one); else shared ones become private. 0 or 65535.
    uint32_t arrangeSysVar(bool share) override;
    void calculateSysVarVersion() override;

    // convertValByUnit clamped to the type's range only.
    static bool convertStored(StStdConstantVal& value, int32_t from, int32_t to);

    // The whole instance as text (German headings) into out.
    void dumpInstData(std::ostream& out) const;
    // The same into the diagnostic FIFO (see StSymbTable::dumpToPipe).
    void dumpToPipe() const;

    CVarInstValueTable& instValues() { return *this; }
    const CVarInstValueTable& instValues() const { return *this; }
    CUnitEntryTable& unitTable() { return *this; }
    const CUnitEntryTable& unitTable() const { return *this; }
    const CLockedArrayEntries& lockedEntries() const { return m_locked; }
    const CBfVarUnitMap& bfVarUnits() const { return *this; }
    CBOFrameConstValTable* sysVarConsts() const { return m_pSysVarConst; }
    CBOFrameConstValTable* bfConsts() const { return m_pBfConst; }

protected:
    // The record of adr for cfg (masked lookup); null when none.
    VarInstValue* findInstRecord(uint32_t adr, uint32_t cfg) const;
    // The elementary constant of cid in the sysvar table; null when none.
    StStdConstantVal* sysVarConst(StConstEntryID cid) const;
    // Converts the constant in place from one unit to another, clamping
    // integers (and floats) to min / max when given, else to the type's
    // range. False when the value cannot be read or set.
    static bool convertValByUnit(StStdConstantVal& value, int32_t from, int32_t to, const StStdConstantVal* min,
                                 const StStdConstantVal* max);

private:
    // A copy of source in the sysvar table: the address as own id for a
    // system variable, else shared as flag says. Invalid CID on failure.
    StConstEntryID appendValue(uint32_t adr, const StConstantVal& source, bool flag);
    // The record's constant made private (a copy) when it is shared.
    StStdConstantVal* privateConst(VarInstValue& rec, uint32_t adr, const char* method);
    // Removes the values of adr whose masks meet mask (their constants
    // too, unless shared).
    void removeValues(int32_t adr, uint32_t mask);
    // Locks / unlocks elements [from, to) of the array of element size
    // step; unlocking gives the elements the type's default in the current
    // unit. False after a trace.
    bool lockElements(const VarExtKey& dynKey, int32_t array, int32_t step, int32_t from, int32_t to);
    bool unlockElements(const VarExtKey& dynKey, int32_t array, int32_t step, int32_t from, int32_t to);
    // The type's default unit of a quantity; -1 when it has none (no trace).
    int32_t defaultUnitOf(PhysGr physGr) const;
    // True when a value of the type is held in another unit than the
    // type's: no fixed unit, a quantity, and a current unit that differs
    // from the default one.
    bool inOtherUnit(const VarTypeValue& tv) const;
    // A copy of bound converted in room from one unit to another; null when
    // it does not convert.
    static const StStdConstantVal* boundIn(const StStdConstantVal& bound, std::optional<CBOFrameStdConstantVal>& room,
                                           int32_t from, int32_t to);
    // Element size and count of the array at adr in the sysvar table.
    bool arrayShape(uint32_t adr, int32_t& step, int32_t& count, const char* method);
    uint32_t resizeArrays(uint32_t sizeAdr, int32_t oldSize, int32_t newSize, StStdConstantVal* max);
    const CVarInstValueTable& values() const { return *this; }

    CBOTypeVarCont* m_pTypeVarCont = nullptr;
    CDynArrayTable* m_pDynArrayTab = nullptr;
    CVarTypeValueTable* m_pTypeValues = nullptr;
    CBOFrameConstValTable* m_pSysVarConst = nullptr;
    CBOFrameConstValTable* m_pBfConst = nullptr;
    CLockedArrayEntries m_locked;
};
