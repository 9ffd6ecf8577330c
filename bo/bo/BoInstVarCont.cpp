// Instance side of the variable extensions: units, conversions, sections,
// digests and the dump (see BoInstVarCont.h). The values' life cycle is in
// BoInstValues.cpp.
#include "bo/bo/BoInstVarCont.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>

#include "base/st/symacc/SyVariantConvert.h"
#include "bo/bo/BoVarExtIo.h"
#include "co/CoCrypt.h"
#include "co/TraceApi.h"

namespace {

// How a converted number is stored back into its type.
enum class Store { Signed, Unsigned, Real, LReal, None };

struct TypeRange {
    Store store;
    double lo, hi;
};

TypeRange rangeOf(uint32_t type)
{
    switch (type) {
    case ST_BOOL: case ST_BYTE: case ST_USINT: return {Store::Unsigned, 0, 255};
    case ST_WORD: case ST_UINT: return {Store::Unsigned, 0, 65535};
    case ST_DWORD: case ST_UDINT: return {Store::Unsigned, 0, 4294967295.0};
    case ST_SINT: return {Store::Signed, -128, 127};
    case ST_INT: return {Store::Signed, -32768, 32767};
    case ST_DINT: return {Store::Signed, -2147483648.0, 2147483647.0};
    case ST_REAL: return {Store::Real, -double(FLT_MAX), double(FLT_MAX)};
    case ST_LREAL: return {Store::LReal, -DBL_MAX, DBL_MAX};
    default: return {Store::None, 0, 0};
    }
}

double clampTo(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A VARIANT integer of type T: converted, clamped to T and truncated.
template <typename T>
void convertInt(T& field, int32_t from, int32_t to)
{
    double y = 0;
    if (!PhysUnitTable::convert(double(field), from, to, y)) return;
    field = T(std::trunc(clampTo(y, double(std::numeric_limits<T>::lowest()), double(std::numeric_limits<T>::max()))));
}

void addU32(CoCryptHashVariant& h, uint32_t v)
{
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    h.add(b, 4);
}

// Changes a boot-function constant in place (arg: from << 16 | to).
void convertBfConst(StConstantVal& c, uint32_t arg)
{
    if (auto* v = dynamic_cast<StStdConstantVal*>(&c))
        CBOInstVarCont::convertStored(*v, int32_t(arg >> 16), int32_t(arg & 0xFFFF));
}

}  // namespace

CBOInstVarCont::CBOInstVarCont() = default;

CBOInstVarCont::~CBOInstVarCont() = default;

void CBOInstVarCont::setTypeVarCont(CBOFrameTypeVarCont* type)
{
    CBOFrameInstVarCont::setTypeVarCont(type);
    m_pTypeVarCont = dynamic_cast<CBOTypeVarCont*>(type);
    m_pDynArrayTab = m_pTypeVarCont ? &m_pTypeVarCont->dynArrayTable() : nullptr;
    m_pTypeValues = m_pTypeVarCont ? &m_pTypeVarCont->valueTable() : nullptr;
}

void CBOInstVarCont::setConstTables(CBOFrameConstValTable* sysVarConsts, CBOFrameConstValTable* bfConsts)
{
    m_pSysVarConst = sysVarConsts;
    m_pBfConst = bfConsts;
}

VarInstValue* CBOInstVarCont::findInstRecord(uint32_t adr, uint32_t cfg) const
{
    auto it = values().findForCfg(VarExtKey(int32_t(adr), cfg));
    return it == values().end() ? nullptr : it->second;
}

StStdConstantVal* CBOInstVarCont::sysVarConst(StConstEntryID cid) const { return boStdConstant(m_pSysVarConst, cid); }

StStdConstantVal* CBOInstVarCont::getInstValue(uint32_t adr)
{
    const VarInstValue* rec = findInstRecord(adr, m_currentCfg);
    return rec ? sysVarConst(rec->Act) : nullptr;
}

int32_t CBOInstVarCont::getValueUnit(uint32_t adr)
{
    const VarInstValue* rec = findInstRecord(adr, m_currentCfg);
    if (!rec) return -1;
    return rec->Fix != -1 ? rec->Fix : rec->Unit;
}

bool CBOInstVarCont::isStructRel(uint32_t adr)
{
    return m_pDynArrayTab && m_pDynArrayTab->count(VarExtKey(int32_t(adr), m_currentCfg)) != 0;
}

bool CBOInstVarCont::getDynArraySizes(uint32_t adr, BoIdList& arrays)
{
    if (!m_pDynArrayTab) return false;
    bool found = false;
    for (auto it = m_pDynArrayTab->lower_bound(VarExtKey(int32_t(adr), 0));
         it != m_pDynArrayTab->end() && it->first.adr == int32_t(adr); ++it)
        if (it->first.covers(m_currentCfg)) {
            arrays.push_back(uint32_t(it->second));
            found = true;
        }
    return found;
}

// --- units ---

int32_t CBOInstVarCont::getCurrentUnit(PhysGr physGr)
{
    auto it = unitTable().find(physGr);
    if (it != unitTable().end()) return it->second;
    traceObj(3, "CBOInstVarCont::getCurrentUnit", "no CurrentUnit found for PhysGr(%i)", physGr);
    return -1;
}

CUnitEntryTable CBOInstVarCont::copyUnitTable() const
{
    CUnitEntryTable copy;
    copy.insert(unitTable().begin(), unitTable().end());
    return copy;
}

uint32_t CBOInstVarCont::convertVal(VARIANT& value, int32_t from, int32_t to)
{
    const char* method = "CBOInstVarCont::convertVal";
    if (!PhysUnitTable::isValidId(from) || !PhysUnitTable::isValidId(to)) {
        traceObj(4, method, "unit-idx to big");
        return BO_INST_UNIT_RANGE;
    }
    // Record 0 (dimensionless) is a unit of its own that converts into
    // itself only; any other quantity record has no factor to convert by.
    const auto notAUnit = [](int32_t id) { return id != 0 && PhysUnitTable::isQuantityRecord(id); };
    if (!PhysUnitTable::sameQuantity(from, to) || notAUnit(from) || notAUnit(to)) {
        traceObj(4, method, "physical dimension mismatch");
        return BO_INST_UNIT_QUANTITY;
    }
    if (from == to) return 0;
    double y = 0;
    switch (value.vt) {
    case VT_I1: convertInt(value.cVal, from, to); break;
    case VT_UI1: convertInt(value.bVal, from, to); break;
    case VT_I2: convertInt(value.iVal, from, to); break;
    case VT_UI2: convertInt(value.uiVal, from, to); break;
    case VT_I4: convertInt(value.lVal, from, to); break;
    case VT_UI4: convertInt(value.ulVal, from, to); break;
    case VT_R4:
        if (PhysUnitTable::convert(value.fltVal, from, to, y)) value.fltVal = float(clampTo(y, -FLT_MAX, FLT_MAX));
        break;
    case VT_R8:
        if (PhysUnitTable::convert(value.dblVal, from, to, y)) value.dblVal = clampTo(y, -DBL_MAX, DBL_MAX);
        break;
    default: break;
    }
    return 0;
}

bool CBOInstVarCont::convertValByUnit(StStdConstantVal& value, int32_t from, int32_t to, const StStdConstantVal* min,
                                      const StStdConstantVal* max)
{
    const TypeRange r = rangeOf(value.getTypeId());
    double x = 0, y = 0;
    if (r.store == Store::None) return true;
    if (!value.getDouble(x) || !PhysUnitTable::convert(x, from, to, y)) return false;
    double lo = r.lo, hi = r.hi, bound = 0;
    if (min && min->getDouble(bound) && bound > lo) lo = bound;
    if (max && max->getDouble(bound) && bound < hi) hi = bound;
    y = clampTo(y, lo, hi);
    switch (r.store) {
    case Store::Signed: return value.SetLongVal(int32_t(std::trunc(y))) == 0;
    case Store::Unsigned: return value.SetULongVal(uint32_t(std::trunc(y))) == 0;
    case Store::Real: return value.SetRealVal(float(y)) == 0;
    case Store::LReal: return value.SetLRealVal(y) == 0;
    case Store::None: break;
    }
    return true;
}

bool CBOInstVarCont::convertStored(StStdConstantVal& value, int32_t from, int32_t to)
{
    return convertValByUnit(value, from, to, nullptr, nullptr);
}

const StStdConstantVal* CBOInstVarCont::boundIn(const StStdConstantVal& bound,
                                                std::optional<CBOFrameStdConstantVal>& room, int32_t from, int32_t to)
{
    room.emplace(bound, false);
    return convertStored(*room, from, to) ? &*room : nullptr;
}

int32_t CBOInstVarCont::defaultUnitOf(PhysGr physGr) const
{
    if (!m_pTypeVarCont) return -1;
    const CUnitEntryTable& defaults = m_pTypeVarCont->unitEntryTable();
    auto it = defaults.find(physGr);
    return it == defaults.end() ? -1 : it->second;
}

bool CBOInstVarCont::inOtherUnit(const VarTypeValue& tv) const
{
    if (tv.Fix != -1 || tv.Unit == 0) return false;
    auto cur = unitTable().find(tv.Unit);
    const int32_t def = defaultUnitOf(tv.Unit);
    return cur != unitTable().end() && def != -1 && cur->second != def;
}

StStdConstantVal* CBOInstVarCont::convertVal(const StStdConstantVal& value, uint32_t adr, uint32_t cfg,
                                             bool useCurrentCfg, bool rounding, bool toCurrent)
{
    const char* method = "CBOInstVarCont::convertVal";
    if (useCurrentCfg) cfg = m_currentCfg;
    auto it = m_pTypeValues ? m_pTypeValues->findForCfg(VarExtKey(int32_t(adr), cfg)) : CVarTypeValueTable::iterator();
    if (!m_pTypeValues || it == m_pTypeValues->end()) {
        traceObj(4, method, "no Unit found for Adr(0x%08X)", adr);
        return nullptr;
    }
    if (rounding) {
        traceObj(4, method, "rounding not supported");
        return nullptr;
    }
    std::unique_ptr<StStdConstantVal> copy(new CBOFrameStdConstantVal(value, value.isShared()));
    const VarTypeValue& tv = *it->second;
    if (tv.Fix != -1 || tv.Unit == 0) return copy.release();
    const int32_t def = getDefaultUnit(tv.Unit), cur = getCurrentUnit(tv.Unit);
    const int32_t from = toCurrent ? def : cur, to = toCurrent ? cur : def;
    if (!PhysUnitTable::isValidId(from) || !PhysUnitTable::isValidId(to) || !PhysUnitTable::sameQuantity(from, to)) {
        traceObj(4, method, "no possible conversion PhysGr(%i), From(%i), To(%i)", tv.Unit, from, to);
        return nullptr;
    }
    if (from != to && !convertStored(*copy, from, to)) {
        traceObj(4, method, "copyConstantVal failed");
        return nullptr;
    }
    return copy.release();
}

uint32_t CBOInstVarCont::setUnit(PhysGr physGr, int32_t unit)
{
    const char* method = "CBOInstVarCont::setUnit";
    if (physGr <= 0 || !PhysUnitTable::isQuantityRecord(physGr)) {
        traceObj(4, method, "PhysGr(%i) is not a physikal dimension", physGr);
        return BO_INST_UNIT_QUANTITY;
    }
    if (PhysUnitTable::isQuantityRecord(unit)) {
        traceObj(4, method, "Unit(%i) is not a unit", unit);
        return BO_INST_UNIT_RANGE;
    }
    if (!PhysUnitTable::isValidId(unit) || !matchUnit(physGr, unit)) {
        traceObj(4, method, "Unit(%i) is not a valid unit for PhysGr(%i)", unit, physGr);
        return BO_INST_UNIT_INVALID;
    }
    auto it = unitTable().find(physGr);
    if (it == unitTable().end()) {
        traceObj(4, method, "PhysGr(%i) is not a valid physikal dimension", physGr);
        return BO_INST_UNIT_QUANTITY;
    }
    if (it->second == unit) return 0;
    changeUnitVersion(BoVer_Online | BoVer_Data);
    it->second = unit;
    return 0;
}

uint32_t CBOInstVarCont::setCurrentUnit(PhysGr physGr, int32_t unit)
{
    const char* method = "CBOInstVarCont::setCurrentUnit";
    auto it = unitTable().find(physGr);
    const int32_t old = it == unitTable().end() ? -1 : it->second;
    const uint32_t rc = setUnit(physGr, unit);
    if (rc != 0 || old == unit) return rc;
    // The type's bounds are in the quantity's default unit: a value in the
    // new unit is clamped to them converted to that unit as well.
    const int32_t def = defaultUnitOf(physGr);
    const bool boundsConvert = def != -1 && def != unit;
    for (auto& e : instValues()) {
        VarInstValue* rec = e.second;
        if (!rec || rec->Unit != physGr || rec->Fix != -1) continue;
        const uint32_t adr = uint32_t(e.first.adr);
        StStdConstantVal* c = privateConst(*rec, adr, method);
        if (!c) continue;
        // The bounds of the value's configuration (68, 72) from one lookup.
        auto tv = m_pTypeValues ? m_pTypeValues->findForCfg(e.first) : CVarTypeValueTable::iterator();
        const StStdConstantVal *min = nullptr, *max = nullptr;
        if (m_pTypeValues && tv != m_pTypeValues->end()) {
            const CBOFrameConstValTable* bounds = m_pTypeVarCont->getConstValTable();
            min = boStdConstant(bounds, tv->second->Min);
            max = boStdConstant(bounds, tv->second->Max);
        }
        if (!min || !max) traceObj(3, method, "no Value found for Adr(0x%08X)", adr);
        std::optional<CBOFrameStdConstantVal> lo, hi;
        if (boundsConvert) {
            min = min ? boundIn(*min, lo, def, unit) : nullptr;
            max = max ? boundIn(*max, hi, def, unit) : nullptr;
        }
        convertValByUnit(*c, old, unit, min, max);
    }
    if (m_pBfConst)
        for (const auto& b : bfVarUnits())
            if (b.second.physGr == physGr)
                m_pBfConst->changeValue(b.first, convertBfConst, uint32_t(old) << 16 | uint32_t(unit));
    return 0;
}

uint32_t CBOInstVarCont::readDefVal(FsSecCl& s)
{
    CUnitEntryTable pairs;
    if (readUnitStream(s, pairs) != 0) {
        traceObj(4, "CBOInstVarCont::readDefVal", "readUnits failed - streamerror");
        return BO_INST_MISSING;
    }
    for (const auto& p : pairs) {
        const uint32_t rc = setUnit(p.first, p.second);
        if (rc != 0) {
            traceObj(4, "CBOInstVarCont::readDefVal", "setUnit failed");
            return rc;
        }
    }
    return 0;
}

void CBOInstVarCont::cleanUnit()
{
    unitTable().clear();
    m_unitsLoaded = false;
}

uint32_t CBOInstVarCont::saveUnit(FsSecCl& s)
{
    if (!typeOr("CBOInstVarCont::saveUnit")) return BO_INST_NO_PARTNER;
    if (!m_pTypeVarCont || !m_pTypeVarCont->isUnitsLoaded()) return BO_INST_MISSING;
    const CUnitEntryTable& defaults = m_pTypeVarCont->unitEntryTable();
    return writeInstUnitsSection(s, unitTable(), [&](int32_t physGr) {
        auto it = defaults.find(physGr);
        return it == defaults.end() ? -1 : it->second;
    });
}

uint32_t CBOInstVarCont::loadUnit(FsSecCl& s)
{
    if (!typeOr("CBOInstVarCont::loadUnit")) return BO_INST_NO_PARTNER;
    if (!m_pTypeVarCont || !m_pTypeVarCont->isUnitsLoaded()) return BO_INST_MISSING;
    cleanUnit();
    const uint32_t rc = readInstUnitsSection(s, unitTable());
    m_unitsLoaded = rc == 0;
    return rc;
}

void CBOInstVarCont::initUnit()
{
    if (!typeOr("CBOInstVarCont::initUnit") || !m_pTypeVarCont) return;
    for (const auto& d : m_pTypeVarCont->unitEntryTable()) unitTable().emplace(d.first, d.second);
    m_unitsLoaded = true;
}

void CBOInstVarCont::calculateUnitVersion()
{
    const char* method = "CBOInstVarCont::calculateUnitVersion";
    m_unitSignature.setInvalid();
    if (!typeOr(method) || !m_pTypeVarCont) return;
    CoCryptHashVariant hasher;
    for (const auto& r : m_pTypeVarCont->resolveTable()) {
        if (!PhysUnitTable::isQuantityRecord(r.second)) continue;
        const int32_t cur = getCurrentUnit(r.second);
        if (cur == -1) return;
        addU32(hasher, uint32_t(r.second));
        addU32(hasher, uint32_t(cur));
    }
    if (digestInto(hasher, m_unitSignature, method) && (m_follow & BoFamily_Units)) m_unitVersion = m_unitSignature;
}

void CBOInstVarCont::calculateSysVarVersion()
{
    const char* method = "CBOInstVarCont::calculateSysVarVersion";
    m_structVersion.setInvalid();
    m_onlineSignature.setInvalid();
    m_offlineVersion.setInvalid();
    CoCryptHashVariant a, b, c;
    // One walk over the table: the entries of an address lie together, and
    // the first of them that covers the configuration is the masked
    // lookup's answer (an empty one answers nothing).
    const CVarInstValueTable& t = values();
    for (auto it = t.begin(); it != t.end();) {
        const int32_t adr = it->first.adr;
        const VarInstValue* rec = nullptr;
        bool decided = false;
        for (; it != t.end() && it->first.adr == adr; ++it)
            if (!decided && it->first.covers(m_currentCfg)) {
                rec = it->second;
                decided = true;
            }
        const StStdConstantVal* v = rec ? sysVarConst(rec->Act) : nullptr;
        if (!v) {
            // Asked for its online relevance, an address without a value
            // for this configuration says so (and is not relevant).
            traceObj(3, method, "value not found for adr: 0x%08X", uint32_t(adr));
            continue;
        }
        VARIANT var;
        VariantInit(&var);
        if (SyVariantConvert::constVal2Variant(&var, false, v, nullptr) != 0) {
            VariantClear(&var);
            traceObj(4, method, "constVal2Variant failed");
            return;
        }
        addU32(a, uint32_t(adr));
        a.addVariant(var);
        // Online-relevant: the constant carries an id of its own (76).
        if (v->hasAddress()) {
            if (isStructRel(uint32_t(adr))) {
                addU32(c, uint32_t(adr));
                c.addVariant(var);
            }
            addU32(b, uint32_t(adr));
            b.addVariant(var);
        }
        VariantClear(&var);
    }
    digestInto(a, m_offlineVersion, method);
    digestInto(b, m_onlineSignature, method);
    digestInto(c, m_structVersion, method);
    if (m_follow & BoFamily_SysVars) m_onlineVersion = m_onlineSignature;
}

// --- sections ---

void CBOInstVarCont::cleanValues()
{
    instValues().freeAll();
    m_locked.clear();
    m_valuesLoaded = false;
}

uint32_t CBOInstVarCont::saveValues(FsSecCl& s) { return writeInstValuesSection(s, values()); }

uint32_t CBOInstVarCont::loadValues(FsSecCl& s)
{
    cleanValues();
    const uint32_t rc = readInstValuesSection(s, instValues());
    m_valuesLoaded = rc == 0;
    return rc;
}

uint32_t CBOInstVarCont::writeSysVarBuffer(FsSecCl& s)
{
    if (!m_pSysVarConst) return BO_INST_MISSING;
    if (s.hasError() || s.setSize(0) != 0) return BO_SAVE_FAILED;
    CBOFrameConstValTable::CidList cids;
    for (const auto& e : values())
        if (e.second && e.first.covers(m_currentCfg) && !checkArrayEntry(uint32_t(e.first.adr)))
            cids.push_back(e.second->Act);
    if (m_pSysVarConst->writeSysVarDefVal(s, cids) != 0) return BO_INST_MISSING;
    return s.hasError() ? BO_SAVE_FAILED : 0;
}

// --- dump ---

namespace {

template <typename... Args>
std::string fmt(const char* format, Args... args)
{
    char line[128];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

}  // namespace

void CBOInstVarCont::dumpInstData(std::ostream& out) const
{
    dumpConfiguration(out);
    auto heading = [&](const char* h) { out << std::endl << h << std::endl; };
    heading("=== VarInstValueTable: ================================");
    for (const auto& e : values()) {
        out << e.first.print() << " -> ";
        if (e.second)
            out << fmt("Act(%10i), Unit(%5i), Fix(%3i)", int32_t(e.second->Act.get()), e.second->Unit, e.second->Fix);
        else
            out << "NULL";
        out << std::endl;
    }
    heading("=== Dynamische Arrays: ================================");
    for (const auto& h : m_arrayHandles) out << fmt("0x%08X", h.first) << " -> 0x" << fmt("%08X", h.second.sizeAdr) << std::endl;
    heading("=== gesperrte ArrayEntrys: ============================");
    for (const auto& l : m_locked) out << l.first.print() << " -> 0x" << fmt("%08X", uint32_t(l.second)) << std::endl;
    heading("=== SysVarKonstvaltable: ==============================");
    if (m_pSysVarConst) m_pSysVarConst->dump(out);
    heading("=== BfVarKonstvaltable: ===============================");
    if (m_pBfConst) m_pBfConst->dump(out);
    heading("=== Einheiten: ========================================");
    for (const auto& u : unitTable()) out << fmt("PhysGr(%10i) -> Unit(%10i)", u.first, u.second) << std::endl;
    heading("=== EinheitenTabelle: =================================");
    for (int32_t id = 0; id < PhysUnitTable::kCount; ++id)
        out << fmt("%10i -> %s", id, PhysUnitTable::nameOf(id)) << std::endl;
}

void CBOInstVarCont::dumpToPipe() const
{
    std::ostringstream text;
    dumpInstData(text);
    writeToDumpPipe(text.str());
}
