// Type-side variable-extension container (see BoTypeVarCont.h).
#include "bo/bo/BoTypeVarCont.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "bo/bo/BoVarExtIo.h"
#include "bo/boframe/BoFrameConstVal.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "bovarext";

// A unit of physGr's quantity: both ids in the table, unit not a quantity
// record.
bool isUnitOf(PhysGr physGr, int32_t unit)
{
    if (!PhysUnitTable::isValidId(physGr) || !PhysUnitTable::isValidId(unit)) return false;
    return PhysUnitTable::quantityOf(physGr) == PhysUnitTable::quantityOf(unit) &&
           PhysUnitTable::localIndexOf(unit) >= 0;
}

// One formatted part of a dump line, cut at 99 characters.
template <class... Args>
std::string cut99(const char* format, Args... args)
{
    char buf[100];
    int n = std::snprintf(buf, sizeof buf, format, args...);
    return n < 0 ? std::string() : std::string(buf);
}

}  // namespace

CBOTypeVarCont::CBOTypeVarCont(CBOFrameConstValTable* const* constValTableLink,
                               const tvp::ResModule* const* moduleLink, CBoVarComment* const* varCommentLink)
    : CBOFrameTypeVarCont(constValTableLink), m_moduleLink(moduleLink), m_varCommentLink(varCommentLink)
{
    // The frame is a virtual base: a class further down may have built it
    // without the link.
    m_constValTable = constValTableLink;
}

CBOTypeVarCont::~CBOTypeVarCont() { CBOTypeVarCont::clean(); }

// --- texts ---

bool CBOTypeVarCont::loadText(int32_t textId, String& text) const
{
    const tvp::ResModule* m = module();
    if (!m) return false;
    int size = 256;
    std::unique_ptr<char[]> buf(new char[size]);
    int len = tvp::loadStringA(m, uint32_t(textId), buf.get(), size);
    while (len == size - 1) {
        size *= 2;
        buf.reset(new char[size]);
        len = tvp::loadStringA(m, uint32_t(textId), buf.get(), size);
    }
    if (len == 0) return false;
    text = String(buf.get());
    return true;
}

String CBOTypeVarCont::loadResText(int32_t textId)
{
    String text;
    loadText(textId, text);
    return text;
}

bool CBOTypeVarCont::isValidConfiguration(uint32_t cfg) const
{
    return cfgEntries().empty() || cfgEntries().find(cfg) != cfgEntries().end();
}

uint32_t CBOTypeVarCont::getConfigurationDsc(uint32_t cfg, String& text)
{
    auto it = cfgEntries().find(cfg);
    if (it == cfgEntries().end()) {
        TV_TRACE(3, kTraceFile, "CBOTypeVarCont::getConfigurationDsc", "configuration 0x%08X not found", cfg);
        return BO_TYPE_NOT_FOUND;
    }
    loadText(it->second, text);
    return 0;
}

uint32_t CBOTypeVarCont::getConfigurationGroupDsc(uint32_t group, String& text)
{
    auto it = cfgGroups().find(group);
    if (it == cfgGroups().end()) {
        TV_TRACE(3, kTraceFile, "CBOTypeVarCont::getConfigurationGroupDsc", "group 0x%08X not found", group);
        return BO_TYPE_NOT_FOUND;
    }
    loadText(it->second.textId, text);
    return 0;
}

uint32_t CBOTypeVarCont::getConfigurationGroupEntryDsc(uint32_t group, uint32_t entry, String& text)
{
    const char* const method = "CBOTypeVarCont::getConfigurationGroupEntryDsc";
    auto g = cfgGroups().find(group);
    if (g == cfgGroups().end()) {
        TV_TRACE(3, kTraceFile, method, "group 0x%08X not found", group);
        return BO_TYPE_NOT_FOUND;
    }
    auto e = g->second.entries.find(entry);
    if (e == g->second.entries.end()) {
        TV_TRACE(3, kTraceFile, method, "entry 0x%08X not found", entry);
        return BO_TYPE_NOT_FOUND;
    }
    loadText(e->second, text);
    return 0;
}

bool CBOTypeVarCont::getText(const String& typeName, uint32_t mask, String& text)
{
    CBoVarComment* c = m_varCommentLink ? *m_varCommentLink : nullptr;
    if (!c) {
        TV_TRACE(4, kTraceFile, "CBOTypeVarCont::getText", "m_pVarComment is invalid");
        return false;
    }
    return c->getText(typeName, mask, text);
}

bool CBOTypeVarCont::getText(int32_t adr, uint32_t cfg, String& text)
{
    CBoVarComment* c = m_varCommentLink ? *m_varCommentLink : nullptr;
    if (!c) {
        TV_TRACE(4, kTraceFile, "CBOTypeVarCont::getText", "m_pVarComment is invalid");
        return false;
    }
    return c->getText(adr, cfg, text);
}

// --- configurations ---

uint32_t CBOTypeVarCont::saveCfg(FsSecCl& section)
{
    return writeCfgSection(section, m_defaultCfg, cfgEntries(), cfgGroups());
}

uint32_t CBOTypeVarCont::loadCfg(FsSecCl& section)
{
    cleanCfg();
    return readCfgSection(section, m_defaultCfg, cfgEntries(), cfgGroups());
}

void CBOTypeVarCont::cleanCfg()
{
    cfgEntries().clear();
    cfgGroups().clear();
}

bool CBOTypeVarCont::isCfgLoaded() const { return !cfgEntries().empty() || !cfgGroups().empty(); }

// --- units ---

int32_t CBOTypeVarCont::unitLimitBound() const { return std::min<int32_t>(m_unitLimit, PhysUnitTable::kCount); }

int32_t CBOTypeVarCont::getDefaultUnit(int32_t physGr)
{
    auto it = unitEntryTable().find(physGr);
    if (it == unitEntryTable().end()) {
        TV_TRACE(4, kTraceFile, "CBOTypeVarCont::getDefaultUnit", "no DefaultUnit found for PhysGr(%i)", physGr);
        return -1;
    }
    return it->second;
}

int32_t CBOTypeVarCont::getCompatibleIdx(int32_t id)
{
    if (id >= 0 && id < unitLimitBound()) return id;
    TV_TRACE(4, kTraceFile, "CBOTypeVarCont::getCompatibleIdx", "invalid index %i", id);
    return -1;
}

uint32_t CBOTypeVarCont::getPossibleUnits(int32_t physGr, BoUnitIdList& units)
{
    auto it = usedUnitTable().find(physGr);
    if (it == usedUnitTable().end()) {
        TV_TRACE(4, kTraceFile, "CBOTypeVarCont::getPossibleUnits", "PhysGr(%i) is not valid", physGr);
        return BO_TYPE_UNIT_INVALID;
    }
    for (int32_t u : it->second) units.push_back(u);
    return 0;
}

uint32_t CBOTypeVarCont::getPhysDims(BoUnitIdList& dims)
{
    for (const auto& e : resolveTable())
        if (PhysUnitTable::isQuantityRecord(e.second)) dims.push_back(e.second);
    return 0;
}

bool CBOTypeVarCont::matchUnit(int32_t physGr, int32_t unit)
{
    const int32_t limit = unitLimitBound();
    if (unit < 0 || physGr < 0 || unit >= limit || physGr >= limit) return false;
    if (PhysUnitTable::quantityOf(physGr) != PhysUnitTable::quantityOf(unit)) return false;
    auto it = usedUnitTable().find(physGr);
    if (it == usedUnitTable().end()) return false;
    return std::find(it->second.begin(), it->second.end(), unit) != it->second.end();
}

uint32_t CBOTypeVarCont::saveUnits(FsSecCl& section)
{
    return writeUnitsSection(section, m_unitLimit, resolveTable(), usedUnitTable(), unitEntryTable());
}

uint32_t CBOTypeVarCont::loadUnits(FsSecCl& section)
{
    cleanUnits();
    return readUnitsSection(section, m_unitLimit, getResolveTable(), usedUnitTable(), getUnitEntryTable());
}

void CBOTypeVarCont::cleanUnits()
{
    m_unitLimit = 0;
    getResolveTable().clear();
    getUnitEntryTable().clear();
    usedUnitTable().clear();
}

bool CBOTypeVarCont::isUnitsLoaded() const { return !unitEntryTable().empty(); }

bool CBOTypeVarCont::setUnitParam(int32_t limit)
{
    if (m_unitLimit != 0) return false;
    m_unitLimit = limit;
    return true;
}

bool CBOTypeVarCont::addResolveEntry(int32_t local, int32_t global) { return getResolveTable().add(local, global); }

bool CBOTypeVarCont::addDefaultUnit(PhysGr physGr, int32_t unit)
{
    return isUnitOf(physGr, unit) && getUnitEntryTable().add(physGr, unit);
}

bool CBOTypeVarCont::addUsedUnit(PhysGr physGr, int32_t unit)
{
    if (!isUnitOf(physGr, unit)) return false;
    usedUnitTable().add(physGr, unit);
    return true;
}

// --- values ---

VarTypeValue* CBOTypeVarCont::findValue(uint32_t adr, uint32_t cfg) const
{
    auto it = valueTable().findForCfg(VarExtKey(int32_t(adr), cfg));
    return it == valueTable().end() ? nullptr : it->second;
}

StStdConstantVal* CBOTypeVarCont::stdConstant(BoConstId cid) const { return boStdConstant(getConstValTable(), cid); }

StStdConstantVal* CBOTypeVarCont::getMinVal(const uint32_t& adr, const uint32_t& cfg)
{
    VarTypeValue* v = findValue(adr, cfg);
    return v ? stdConstant(v->Min) : nullptr;
}

StStdConstantVal* CBOTypeVarCont::getStdVal(const uint32_t& adr, const uint32_t& cfg)
{
    VarTypeValue* v = findValue(adr, cfg);
    return v ? stdConstant(v->Def()) : nullptr;
}

StStdConstantVal* CBOTypeVarCont::getMaxVal(const uint32_t& adr, const uint32_t& cfg)
{
    VarTypeValue* v = findValue(adr, cfg);
    return v ? stdConstant(v->Max) : nullptr;
}

StStdConstantVal* CBOTypeVarCont::copyDefWith(uint32_t adr, uint32_t cfg, uint32_t value)
{
    StStdConstantVal* def = getStdVal(adr, cfg);
    if (!def) return nullptr;
    std::unique_ptr<StConstantVal> copy(def->clone());
    if (!copy || copy->getKind() != ST_CONST_STD) return nullptr;
    auto* c = static_cast<StStdConstantVal*>(copy.get());
    if (c->SetULongVal(value) != 0) return nullptr;
    copy.release();
    return c;
}

StStdConstantVal* CBOTypeVarCont::getClearedDefVal(const uint32_t& adr, const uint32_t& cfg)
{
    return copyDefWith(adr, cfg, 0);
}

StStdConstantVal* CBOTypeVarCont::getFilledDefVal(const uint32_t& adr, const uint32_t& cfg)
{
    return copyDefWith(adr, cfg, 0xFFFFFFFFu);
}

uint32_t CBOTypeVarCont::saveValues(FsSecCl& section) { return writeValuesSection(section, valueTable()); }

uint32_t CBOTypeVarCont::loadValues(FsSecCl& section)
{
    cleanValues();
    return readValuesSection(section, valueTable());
}

void CBOTypeVarCont::cleanValues() { valueTable().freeAll(); }

bool CBOTypeVarCont::isValuesLoaded() const { return !valueTable().empty(); }

bool CBOTypeVarCont::addTypeValue(const VarExtKey& key, VarTypeValue* value) { return valueTable().add(key, value); }

int32_t CBOTypeVarCont::getValueUnit(const uint32_t& adr, const uint32_t& cfg)
{
    VarTypeValue* v = findValue(adr, cfg);
    if (!v) return -1;
    return v->Fix != -1 ? v->Fix : v->Unit;
}

uint32_t CBOTypeVarCont::getValueCfg(const uint32_t& adr, const uint32_t& cfg)
{
    auto it = valueTable().findForCfg(VarExtKey(int32_t(adr), cfg));
    return it == valueTable().end() ? 0 : it->first.mask;
}

// --- dynamic arrays ---

bool CBOTypeVarCont::hasDynArrays() const { return !dynArrayTable().empty(); }

uint32_t CBOTypeVarCont::saveDynArrays(FsSecCl& section) { return writeDynArraySection(section, dynArrayTable()); }

uint32_t CBOTypeVarCont::loadDynArrays(FsSecCl& section)
{
    cleanDynArrays();
    return readDynArraySection(section, dynArrayTable());
}

void CBOTypeVarCont::cleanDynArrays() { dynArrayTable().clear(); }

bool CBOTypeVarCont::isDynArraysLoaded() const { return hasDynArrays(); }

bool CBOTypeVarCont::addDynArraySizes(const VarExtKey& sizeKey, const std::list<int32_t>& arrays)
{
    return dynArrayTable().addArrays(sizeKey, arrays);
}

// --- attributes ---

VarExt* CBOTypeVarCont::getAttrib(const uint32_t& adr, const uint32_t& cfg)
{
    auto it = attribTable().findForCfg(VarExtKey(int32_t(adr), cfg));
    return it == attribTable().end() ? nullptr : it->second;
}

int32_t CBOTypeVarCont::findAddrByAttr(uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1,
                                       uint32_t trueATO2, uint32_t falseATO2, uint32_t trueG, BoIdList* addresses,
                                       const uint32_t& cfg, uint32_t flags)
{
    if (!addresses) return -1;
    const size_t before = addresses->size();
    bool skipping = false;
    int32_t skipAdr = 0;
    for (const auto& e : attribTable()) {
        if (!e.first.covers(cfg)) continue;
        const int32_t adr = e.first.adr;
        if (skipping && adr == skipAdr) continue;
        skipping = false;
        if (!addresses->empty() && addresses->back() == uint32_t(adr)) continue;
        if (!e.second) {
            skipping = true;
            skipAdr = adr;
            continue;
        }
        const VarExt& x = *e.second;
        const uint32_t r = checkAttr(x.A, trueA, falseA, x.ATO1, trueATO1, falseATO1, x.ATO2, trueATO2, falseATO2,
                                     x.G, trueG, flags);
        if (r == 0) {
            addresses->push_back(uint32_t(adr));
        } else if (r != BO_ATTR_NO_MATCH) {
            addresses->clear();
            break;
        }
    }
    return int32_t(int64_t(addresses->size()) - int64_t(before));
}

bool CBOTypeVarCont::checkForAttr(const uint32_t& fromAdr, const uint32_t& toAdr, const uint32_t& cfg,
                                  uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1,
                                  uint32_t trueATO2, uint32_t falseATO2, uint32_t trueG, uint32_t flags)
{
    const CAttribTable& t = attribTable();
    auto it = t.lower_bound(VarExtKey(int32_t(fromAdr), cfg));
    auto end = t.upper_bound(VarExtKey(int32_t(toAdr), 0xFFFFFFFFu));
    if (VarExtKey(int32_t(toAdr), 0xFFFFFFFFu) < VarExtKey(int32_t(fromAdr), cfg)) return false;
    bool skipping = false;
    int32_t skipAdr = 0;
    for (; it != end; ++it) {
        if (!it->first.covers(cfg)) continue;
        if (skipping && it->first.adr == skipAdr) continue;
        skipping = false;
        if (!it->second) {
            skipping = true;
            skipAdr = it->first.adr;
            continue;
        }
        const VarExt& x = *it->second;
        if (checkAttr(x.A, trueA, falseA, x.ATO1, trueATO1, falseATO1, x.ATO2, trueATO2, falseATO2, x.G, trueG,
                      flags) == 0)
            return true;
    }
    return false;
}

uint32_t CBOTypeVarCont::saveAttribs(FsSecCl& section) { return writeAttribSection(section, attribTable()); }

uint32_t CBOTypeVarCont::loadAttribs(FsSecCl& section)
{
    cleanAttribs();
    return readAttribSection(section, attribTable());
}

void CBOTypeVarCont::cleanAttribs() { attribTable().freeAll(); }

bool CBOTypeVarCont::isAttribsLoaded() const { return !attribTable().empty(); }

bool CBOTypeVarCont::addAttrib(const VarExtKey& key, VarExt* attrib) { return attribTable().add(key, attrib); }

// --- bits ---

bool CBOTypeVarCont::isBitField(const uint32_t& adr, const uint32_t& cfg)
{
    return bitFieldTable().findForCfg(VarExtKey(int32_t(adr), cfg)) != bitFieldTable().end();
}

int32_t CBOTypeVarCont::getBitFields(const uint32_t& adr, const uint32_t& cfg, BitFieldInfoList& bits)
{
    const CBitFieldTable& t = bitFieldTable();
    for (auto it = t.lower_bound(VarExtKey(int32_t(adr), 0)); it != t.end() && it->first.adr == int32_t(adr);
         ++it) {
        if (!it->first.covers(cfg)) continue;
        const BitEntry& b = it->second;
        bool listed = false;
        for (const BitFieldInfo& i : bits) listed = listed || i.bit == b.bit;
        if (listed) continue;
        bits.push_back(BitFieldInfo{b.bit, getBitTypeSetTextId(b.bitType), getBitTypeUnsetTextId(b.bitType), b.third});
    }
    return int32_t(bits.size());
}

int32_t CBOTypeVarCont::getBitTypeSetTextId(int32_t bitType) const
{
    auto it = bitTypeTable().find(bitType);
    return it == bitTypeTable().end() ? -1 : it->second.setTextId;
}

int32_t CBOTypeVarCont::getBitTypeUnsetTextId(int32_t bitType) const
{
    auto it = bitTypeTable().find(bitType);
    return it == bitTypeTable().end() ? -1 : it->second.unsetTextId;
}

uint32_t CBOTypeVarCont::saveBits(FsSecCl& section) { return writeBitSection(section, bitTypeTable(), bitFieldTable()); }

uint32_t CBOTypeVarCont::loadBits(FsSecCl& section)
{
    cleanBits();
    return readBitSection(section, bitTypeTable(), bitFieldTable());
}

void CBOTypeVarCont::cleanBits()
{
    bitTypeTable().clear();
    bitFieldTable().clear();
}

bool CBOTypeVarCont::isBitsLoaded() const { return !bitTypeTable().empty(); }

bool CBOTypeVarCont::addBitType(int32_t id, int32_t setTextId, int32_t unsetTextId)
{
    return bitTypeTable().add(id, setTextId, unsetTextId);
}

bool CBOTypeVarCont::addBitField(const VarExtKey& key, int32_t bit, int32_t bitType, int32_t third)
{
    return bitFieldTable().addBitField(key, bit, bitType, third, bitTypeTable());
}

// --- whole container ---

void CBOTypeVarCont::clean()
{
    CBOFrameTypeVarCont::clean();
    cleanCfg();
    cleanUnits();
    cleanValues();
    cleanDynArrays();
    cleanAttribs();
    cleanBits();
}

void CBOTypeVarCont::dumpTypeData(std::ostream& out)
{
    out << std::endl << std::endl << "### Typdaten: #########################################" << std::endl << std::endl
        << std::endl;
    out << "=== Defaultconfig: ====================================" << std::endl;
    out << cut99("0x%08X", m_defaultCfg) << std::endl;
    out << std::endl << std::endl << "=== CVarTypeValueTable: ===============================" << std::endl;
    for (const auto& e : valueTable()) {
        out << e.first << " -> ";
        if (!e.second) {
            out << "NULL" << std::endl;
            continue;
        }
        const VarTypeValue& v = *e.second;
        out << cut99("Min(%10i), Def(%10i), Max(%10i), Unit(%5i), Fix(%3i)", int32_t(v.Min.get()),
                     int32_t(v.Def().get()), int32_t(v.Max.get()), v.Unit, v.Fix)
            << std::endl;
    }
    out << std::endl << std::endl << "=== SysVarKonstvaltable: ==============================" << std::endl;
    if (CBOFrameConstValTable* t = getConstValTable()) t->dump(out);
    out << std::endl << std::endl << "=== Attribute: ========================================" << std::endl;
    for (const auto& e : attribTable()) {
        out << e.first << " -> ";
        if (!e.second) {
            out << "NULL" << std::endl;
            continue;
        }
        const VarExt& x = *e.second;
        out << cut99("A(0x%8X), ATO1(0x%8X), ATO2(0x%8X), G(0x%4X), TE(0x%2X)", x.A, x.ATO1, x.ATO2, unsigned(x.G),
                     unsigned(x.TE))
            << std::endl;
    }
    out << std::endl << std::endl << "=== Bits: =============================================" << std::endl;
    for (const auto& e : bitFieldTable())
        out << e.first << " -> " << cut99("Bit(%2i), Typ(%i)", e.second.bit, e.second.bitType) << std::endl;
    out << std::endl << std::endl << "=== Bittypen: =========================================" << std::endl;
    for (const auto& e : bitTypeTable()) {
        const String text = loadResText(e.second.setTextId);
        out << cut99("%10i -> { Set(%i: %s), Unset(%i) }", e.first, e.second.setTextId, text.c_str(),
                     e.second.unsetTextId)
            << std::endl;
    }
}
