// Variable-extension base of the compilers (see MdVarExtBase.h).
#include "bo/bo/MdVarExtBase.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/st/stsymtab/stmcspec.h"
#include "bo/boframe/BoFrameSymbTable.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "mdvarbas";
constexpr uint32_t kNotKept = 9;
constexpr double kRealMax = 3.4028234663852886e38;
constexpr double kLRealMax = 1.7976931348623157e308;

void neverCalled(const MdVarExtBase& self, const char* method)
{
    TV_TRACE(4, kTraceFile, method, "Obj(%s): never should be called", self.getModuleName().c_str());
}

// Range of a checked type as doubles with its message texts.
struct Range {
    double lo, hi;
    const char* loText;
    const char* hiText;
};

// The range of typeId; false for unchecked types. The 32-bit types are
// checked only for values that are not 32-bit integers already (acx). REAL
// and LREAL name their largest values in "%e" form (see checkAcxValueRange).
bool rangeOf(uint32_t typeId, bool acx, Range& r)
{
    switch (typeId) {
    case ST_BOOL: r = {0, 1, "0", "1"}; return true;
    case ST_BYTE: case ST_USINT: r = {0, 255, "0", "255"}; return true;
    case ST_WORD: case ST_UINT: r = {0, 65535, "0", "65535"}; return true;
    case ST_SINT: r = {-128, 127, "-128", "127"}; return true;
    case ST_INT: r = {-32768, 32767, "-32768", "32767"}; return true;
    case ST_DINT:
        r = {-2147483648.0, 2147483647.0, "-2147483648", "2147483647"};
        return acx;
    case ST_DWORD: case ST_UDINT:
        r = {0, 4294967295.0, "0", "4294967295"};
        return acx;
    case ST_REAL: r = {-kRealMax, kRealMax, "-3.402823e+38", "3.402823e+38"}; return true;
    case ST_LREAL: r = {-kLRealMax, kLRealMax, "-1.797693e+308", "1.797693e+308"}; return true;
    default: return false;
    }
}

bool inRange(double v, const Range& r) { return !std::isnan(v) && v >= r.lo && v <= r.hi; }

// The first quantity record of the unit's quantity; record 0 for record 0.
int32_t quantityRecordFor(int32_t fix)
{
    if (fix == 0) return 0;
    return PhysUnitTable::quantityRecordOf(fix);
}

bool isSignedType(uint32_t typeId)
{
    return typeId == ST_SINT || typeId == ST_INT || typeId == ST_DINT || typeId == ST_REAL || typeId == ST_LREAL;
}

}  // namespace

MdVarExtBase::MdVarExtBase()
    : CBOFrameTypeVarCont(&m_pConstTable),
      CBOTypeVarCont(&m_pConstTable, &m_hResInst, &m_pVarComment),
      m_pConstTable(new CBOFrameConstValTable)
{
}

MdVarExtBase::~MdVarExtBase()
{
    for (VarValueEntry* e : m_spareEntries) delete e;
    delete m_pConstTable;
    m_pConstTable = nullptr;
    delete m_pSymTab;
    m_pSymTab = nullptr;
}

void MdVarExtBase::setSymbTable(SyStSymbTable* table)
{
    if (table == m_pSymTab) return;
    delete m_pSymTab;
    m_pSymTab = table;
    // Every statement looks addresses up.
    if (table) table->indexSysVarsByAddress(true);
}

// --- completion of the type interface ---

uint32_t MdVarExtBase::saveText(FsSecCl&)
{
    neverCalled(*this, "MdVarExtBase::saveText");
    return kNotKept;
}

uint32_t MdVarExtBase::loadText(FsSecCl&)
{
    neverCalled(*this, "MdVarExtBase::loadText");
    return kNotKept;
}

void MdVarExtBase::cleanText() { neverCalled(*this, "MdVarExtBase::cleanText"); }

bool MdVarExtBase::isTextLoaded() const
{
    neverCalled(*this, "MdVarExtBase::isTextLoaded");
    return false;
}

uint32_t MdVarExtBase::saveEnums(FsSecCl&)
{
    neverCalled(*this, "MdVarExtBase::saveEnums");
    return kNotKept;
}

uint32_t MdVarExtBase::loadEnums(FsSecCl&)
{
    neverCalled(*this, "MdVarExtBase::loadEnums");
    return kNotKept;
}

void MdVarExtBase::cleanEnums() { neverCalled(*this, "MdVarExtBase::cleanEnums"); }

bool MdVarExtBase::isEnumsLoaded() const
{
    neverCalled(*this, "MdVarExtBase::isEnumsLoaded");
    return false;
}

String MdVarExtBase::getModuleName() const { return String("Tavolin"); }

// --- types and addresses ---

bool MdVarExtBase::isBitNoValid(uint32_t typeId, int32_t bit)
{
    if (bit < 0) return false;
    switch (typeId) {
    case ST_BOOL: return bit == 0;
    case ST_BYTE: case ST_SINT: case ST_USINT: return bit <= 7;
    case ST_WORD: case ST_INT: case ST_UINT: return bit <= 15;
    case ST_DWORD: case ST_DINT: case ST_UDINT: return bit <= 31;
    default: return false;
    }
}

StTypeID MdVarExtBase::getTypeIdByAdr(int32_t adr)
{
    bool noOperand = false;
    const StTypeID tid = boSysVarTypeAt(m_pSymTab, uint32_t(adr), noOperand);
    return tracedTypeAt(adr, tid, noOperand);
}

StTypeID MdVarExtBase::tracedTypeAt(int32_t adr, StTypeID tid, bool noOperand)
{
    const char* const method = "MdVarExtBase::getTypeIdByAdr";
    if (noOperand)
        TV_TRACE(4, kTraceFile, method, "no operand found for ADR(0x%08X)", uint32_t(adr));
    else if (tid == ST_INVALID_TID)
        TV_TRACE(4, kTraceFile, method, "invalid type for adr: 0x%08X", uint32_t(adr));
    return tid;
}

// --- builders ---

void MdVarExtBase::report(uint32_t id, const char* a1, const char* a2)
{
    countError();
    message(id, a1, a2);
}

void MdVarExtBase::message(uint32_t id, const char* a1, const char* a2)
{
    const String s1(a1 ? a1 : ""), s2(a2 ? a2 : "");
    reportError(id, a1 ? &s1 : nullptr, a2 ? &s2 : nullptr);
}

void MdVarExtBase::repeated(uint32_t repeats)
{
    if (repeats == 0) return;
    report(MdVarExtMsg_Repeated, std::to_string(uint64_t(repeats) + 1).c_str());
}

void MdVarExtBase::outOfRange(const char* lo, const char* hi) { report(MdVarExtMsg_Range, lo, hi); }

// A value outside the type's range is reported (409) and stored all the
// same, as a constant of the type: that holds the type's width only, so 256
// as a BYTE holds 0 and 65537 as a WORD holds 1. The message is counted and
// fails the step, so the cut value reaches no written section.
VarValueEntry* MdVarExtBase::checkValueRange(int32_t value, uint32_t typeId, uint32_t kind, uint32_t repeats)
{
    repeated(repeats);
    VarValueEntry* e = newEntry(kind);
    Range r;
    if (rangeOf(typeId, false, r) && !inRange(double(value), r)) outOfRange(r.loText, r.hiText);
    e->cid = m_pConstTable->appendConstantVal(value, typeId);
    return e;
}

// An ACX value comes as a double whatever the variable's type, so unlike a
// number of the variables section it may lie outside 32 bits. DWORD and
// UDINT values are therefore checked against 0..4294967295, as DINT values
// are against theirs: made into a 32-bit constant, a larger or negative
// value wraps, and the variable would hold another number than the file
// without a word; now message 409 with "0" and "4294967295" says so. The
// 409 bounds of REAL and LREAL are the types' largest values as "%e"
// prints them ("-3.402823e+38", "3.402823e+38"; "-1.797693e+308",
// "1.797693e+308"): bare digit strings of the smallest and the largest
// magnitude, as a fixed-point conversion to seven decimals gives them, would
// tell the reader nothing (the smallest has no digit at all there).
VarValueEntry* MdVarExtBase::checkAcxValueRange(double value, uint32_t typeId, uint32_t kind, uint32_t repeats)
{
    repeated(repeats);
    VarValueEntry* e = newEntry(kind);
    Range r;
    if (rangeOf(typeId, true, r) && !inRange(value, r)) outOfRange(r.loText, r.hiText);
    e->cid = m_pConstTable->appendConstantVal(value, typeId);
    return e;
}

VarValueEntry* MdVarExtBase::parseValueText(const String& text, uint32_t typeId, uint32_t kind, uint32_t repeats)
{
    repeated(repeats);
    VarValueEntry* e = newEntry(kind);
    bool plain = false;
    double v = 0;
    if (typeId == ST_REAL || typeId == ST_LREAL) {
        Range r;
        rangeOf(typeId, true, r);
        plain = StStdConstantVal::readPlainDecimal(text.chars(), text.chars() + text.length(), v);
        if (!plain) v = std::strtod(text.c_str(), nullptr);
        if (!inRange(v, r)) outOfRange(r.loText, r.hiText);
    } else {
        report(MdVarExtMsg_NotReal);
    }
    int status = 0;
    // A plain decimal is read once for both.
    e->cid = plain ? m_pConstTable->appendPlainReal(text, v, typeId, status)
                   : m_pConstTable->appendConstantVal(text, typeId, typeId, status);
    if (e->cid.isInvalid()) report(MdVarExtMsg_Syntax);
    return e;
}

bool MdVarExtBase::isLiteralType(uint32_t typeId)
{
    switch (typeId) {
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_SINT: case ST_INT: case ST_DINT:
    case ST_USINT: case ST_UINT: case ST_UDINT: case ST_REAL: case ST_LREAL:
        return true;
    default:
        return false;
    }
}

VarValueEntry* MdVarExtBase::parseValueLiteral(const String& text, int radix, uint32_t typeId, uint32_t kind,
                                               uint32_t repeats)
{
    repeated(repeats);
    VarValueEntry* e = newEntry(kind);
    StStdConstantVal value(typeId);
    switch (StStdConstantVal::literalOfType(text, radix, typeId, value)) {
    case StStdConstantVal::LiteralFit::Ok:
        e->cid = m_pConstTable->appendLiteral(value, text);
        return e;
    case StStdConstantVal::LiteralFit::NotOfType:
        report(MdVarExtMsg_NotReal);
        break;
    case StStdConstantVal::LiteralFit::OutOfRange: {
        const bool real = typeId == ST_REAL || typeId == ST_LREAL;
        const double v = real ? std::strtod(text.c_str(), nullptr) : 0;
        if (real && v != 0 && std::fabs(v) < (typeId == ST_REAL ? double(FLT_MIN) : DBL_MIN)) {
            outOfRange(typeId == ST_REAL ? "1.175494e-38" : "2.225074e-308",
                       typeId == ST_REAL ? "3.402823e+38" : "1.797693e+308");
        } else {
            Range r;
            rangeOf(typeId, true, r);
            outOfRange(r.loText, r.hiText);
        }
        break;
    }
    }
    e->cid = m_pConstTable->appendConstantVal(int32_t(0), typeId);
    return e;
}

VarValueEntry* MdVarExtBase::newEntry(uint32_t kind)
{
    if (m_spareEntries.empty()) return new VarValueEntry(kind);
    VarValueEntry* e = m_spareEntries.back();
    m_spareEntries.pop_back();
    *e = VarValueEntry(kind);
    return e;
}

void MdVarExtBase::releaseEntries(VarValueEntryList& entries)
{
    for (VarValueEntry* e : entries) {
        if (m_spareEntries.size() < kSpareEntries)
            m_spareEntries.push_back(e);
        else
            delete e;
    }
    entries.clear();
}

// --- enumerations ---

bool MdVarExtBase::getEnumRange(StTypeID enumType, int32_t& min, int32_t& max)
{
    min = INT32_MAX;
    max = INT32_MIN;
    std::vector<String> names;
    if (!m_pSymTab || !m_pSymTab->getEnumNames(enumType, names)) return false;
    for (const String& n : names) {
        int32_t v = 0;
        if (!m_pSymTab->findEnumValue(enumType, n, v)) return false;
        if (v < min) min = v;
        if (v > max) max = v;
    }
    return true;
}

bool MdVarExtBase::makeEnumEntry(VarValueEntryList& entries, StTypeID enumType)
{
    bool have[3] = {false, false, false};
    for (const VarValueEntry* e : entries) {
        if (e->kind <= VarValueEntry::Max)
            have[e->kind] = true;
        else if (e->kind != VarValueEntry::Unit && e->kind != VarValueEntry::Fix)
            return false;
    }
    int32_t min = 0, max = 0;
    if (!getEnumRange(enumType, min, max)) return false;
    if (m_verMajor < 2 || (m_verMajor == 2 && m_verMinor == 0))
        for (bool h : have)
            if (!h) m_pConstTable->setCounter(m_pConstTable->getCounter() + 1);
    uint32_t valueType = 30;
    m_pSymTab->isEnumType(enumType, &valueType);
    for (uint32_t k = VarValueEntry::Min; k <= VarValueEntry::Max; ++k) {
        if (have[k]) continue;
        VarValueEntry* e = newEntry(k);
        e->cid = m_pConstTable->appendConstantVal(k == VarValueEntry::Max ? max : min, valueType);
        entries.push_back(e);
    }
    return true;
}

// --- value records ---

VarTypeValue* MdVarExtBase::createTypeValue(const VarValueEntryList& entries, uint32_t typeId)
{
    BoConstId min = BO_INVALID_CID, def = BO_INVALID_CID, max = BO_INVALID_CID;
    int32_t unit = -1, fix = -1;
    for (const VarValueEntry* e : entries) {
        switch (e->kind) {
        case VarValueEntry::Min: min = e->cid; break;
        case VarValueEntry::Def: def = e->cid; break;
        case VarValueEntry::Max: max = e->cid; break;
        case VarValueEntry::Unit: unit = e->number; break;
        case VarValueEntry::Fix: fix = e->number; break;
        default: break;
        }
    }
    CBOFrameConstValTable& t = *m_pConstTable;
    auto fillInt = [&](int32_t lo, int32_t hi) {
        if (min.isInvalid()) min = t.appendConstantVal(lo, typeId);
        if (max.isInvalid()) max = t.appendConstantVal(hi, typeId);
    };
    auto fillText = [&](double hi) {
        char buf[64];
        int status = 0;
        if (min.isInvalid()) {
            std::snprintf(buf, sizeof buf, "%e", -hi);
            min = t.appendConstantVal(String(buf), typeId, typeId, status);
        }
        if (max.isInvalid()) {
            std::snprintf(buf, sizeof buf, "%e", hi);
            max = t.appendConstantVal(String(buf), typeId, typeId, status);
        }
    };
    bool filled = true;
    switch (typeId) {
    case ST_BOOL: fillInt(0, 1); break;
    case ST_BYTE: case ST_USINT: fillInt(0, 255); break;
    case ST_WORD: case ST_UINT: fillInt(0, 65535); break;
    case ST_DWORD: case ST_UDINT: fillInt(0, int32_t(0xFFFFFFFFu)); break;
    case ST_SINT: fillInt(-128, 127); break;
    case ST_INT: fillInt(-32768, 32767); break;
    case ST_DINT: fillInt(INT32_MIN, INT32_MAX); break;
    case ST_REAL: fillText(kRealMax); break;
    case ST_LREAL: fillText(kLRealMax); break;
    case ST_ANYOBJECT: {
        const BoSysAddr null;
        if (min.isInvalid()) min = t.appendConstantVal(null, typeId);
        if (def.isInvalid()) def = t.appendConstantVal(null, typeId);
        if (max.isInvalid()) max = t.appendConstantVal(null, typeId);
        break;
    }
    default: filled = false; break;
    }
    if (filled && def.isInvalid()) {
        // The minimum when it lies above 0, else 0. Each type is read by the
        // getter of its own width: the double getter refuses a REAL, which
        // would pass for an unreadable minimum and give every REAL default 0.
        const StStdConstantVal* m = stdConstant(min);
        bool err = m == nullptr;
        if (typeId == ST_REAL || typeId == ST_LREAL) {
            const double v = !m ? 0.0 : typeId == ST_REAL ? double(m->GetRealVal(err)) : m->GetLRealVal(err);
            def = t.appendConstantVal(!err && v > 0 ? v : 0.0, typeId);
        } else if (isSignedType(typeId)) {
            const int32_t v = m ? m->GetLongVal(err) : 0;
            def = t.appendConstantVal(!err && v > 0 ? v : 0, typeId);
        } else {
            const uint32_t v = m ? m->GetULongVal(err) : 0;
            def = t.appendConstantVal(int32_t(!err && v > 0 ? v : 0), typeId);
        }
    }
    if (fix != -1) {
        if (!PhysUnitTable::isValidId(fix)) {
            report(MdVarExtMsg_UnitRange, std::to_string(fix).c_str());
            return nullptr;
        }
        unit = quantityRecordFor(fix);
    }
    if (unit == -1) {
        report(MdVarExtMsg_NoQuantity);
        return nullptr;
    }
    return VarTypeValue::make(def, unit, fix, min, max);
}

// --- dynamic arrays ---

bool MdVarExtBase::checkDynArraySize()
{
    int64_t lenSum = 0, defSum = 0;
    // The entry's message, then its one countError.
    auto failed = [this](uint32_t id, const char* a1 = nullptr, const char* a2 = nullptr) {
        message(id, a1, a2);
        countError();
    };
    // The arrays of one size variable stand side by side in the table; a
    // value the size variable lacks is its statement's fault, said once.
    std::vector<const CDynArrayTable::value_type*> entries;
    entries.reserve(dynArrayTable().size());
    for (const auto& e : dynArrayTable()) entries.push_back(&e);
    std::stable_sort(entries.begin(), entries.end(), [this](const auto* a, const auto* b) {
        return dynArrayStatementOrder(a->first) < dynArrayStatementOrder(b->first);
    });
    const VarExtKey* lacking = nullptr;
    for (const auto* entry : entries) {
        const auto& e = *entry;
        const uint32_t adr = uint32_t(e.first.adr), mask = e.first.mask;
        const int32_t arrayAdr = e.second;
        if (lacking && *lacking == e.first) continue;
        placeDynArrayMessages(e.first);
        StStdConstantVal* minC = getMinVal(adr, mask);
        StStdConstantVal* defC = getStdVal(adr, mask);
        StStdConstantVal* maxC = getMaxVal(adr, mask);
        if (!minC || !defC || !maxC) {
            // An internal error in the table's words; the user needs the
            // variable whose VALUES entry is missing, with its mask as a
            // source writes one ($8[16#FFFFFFFF]).
            char name[40];
            std::snprintf(name, sizeof name, "$%u[16#%X]", adr, mask);
            failed(MdVarExtMsg_NoSizeValue, name);
            lacking = &e.first;
            continue;
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", uint32_t(arrayAdr));
        const StTypeID type = getTypeIdByAdr(arrayAdr);
        int32_t lo = 0, hi = 0;
        if (type == ST_INVALID_TID || !m_pSymTab->getArrayBounds(type, lo, hi)) {
            failed(MdVarExtMsg_BadAddress, hex);
            continue;
        }
        const int64_t len = int64_t(hi) - lo + 1;
        lenSum += len;
        bool errMin = false, errMax = false, errDef = false;
        const int32_t vMin = minC->GetLongVal(errMin);
        const int32_t vMax = maxC->GetLongVal(errMax);
        const int32_t vDef = defC->GetLongVal(errDef);
        if (errMin || vMin < 1 || errMax || vMax > len || errDef || vDef < vMin || vDef > vMax) {
            failed(MdVarExtMsg_Range, "1", std::to_string(len).c_str());
            continue;
        }
        defSum += vDef;
        const int32_t unit = getValueUnit(adr, mask);
        if (unit != 0 && unit != -1) {
            failed(MdVarExtMsg_UnitMismatch, std::to_string(unit).c_str(), "0");
            continue;
        }
        if (getValueCfg(adr, mask) != mask) failed(MdVarExtMsg_BadConfig, std::to_string(mask).c_str());
    }
    TV_TRACE(1, kTraceFile, "MdVarExtBase::checkDynArraySize", "DynArrays: %i, Max: %i, Def %i",
             int32_t(dynArrayTable().size()), int32_t(lenSum), int32_t(defSum));
    return getErrorCount() == 0;
}
