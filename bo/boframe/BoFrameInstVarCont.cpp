// Frame of the instance side of the variable extensions (see
// BoFrameInstVarCont.h): configuration, version stamps, forwarding to the
// type and the sysvar symbol table.
#include "bo/boframe/BoFrameInstVarCont.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "bo/bo/BoVarExtIo.h"
#include "co/CoCrypt.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "boinstvar";

// The supported masks of the version operations.
constexpr uint32_t kGetPair = 0xD0000001;
constexpr uint32_t kChangePair = 0x10000001;
constexpr uint32_t kSetPair = 0x50000001;
constexpr uint32_t kGetSysVar = 0xF0000003;
constexpr uint32_t kChangeSysVar = 0x30000003;
constexpr uint32_t kSetSysVar = 0x70000001;

VRX_VersionStamp invalidStamp() { return kInvalidVersionStamp; }

}  // namespace

CBOFrameInstVarCont::CBOFrameInstVarCont()
{
    for (CVersionStamp* s : {&m_cfgVersion, &m_cfgSignature, &m_unitVersion, &m_unitSignature, &m_offlineVersion,
                             &m_onlineVersion, &m_onlineSignature, &m_structVersion})
        s->setInvalid();
}

CBOFrameInstVarCont::~CBOFrameInstVarCont() { delete m_pSysVarTab; }

void CBOFrameInstVarCont::setTypeVarCont(CBOFrameTypeVarCont* type)
{
    m_pBOFrameTypeVarCont = type;
    m_currentCfg = type ? type->getDefaultConfiguration() : 0;
}

void CBOFrameInstVarCont::traceObj(uint32_t level, const char* method, const char* format, ...) const
{
    char text[400];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    TV_TRACE(level, kTraceFile, method, "Obj(%s): %s", getObjName().c_str(), text);
}

CBOFrameTypeVarCont* CBOFrameInstVarCont::typeOr(const char* method) const
{
    if (!m_pBOFrameTypeVarCont) traceObj(4, method, "m_pBOFrameTypeVarCont is invalid");
    return m_pBOFrameTypeVarCont;
}

void CBOFrameInstVarCont::newGuid(CVersionStamp& stamp) { stamp.newStamp(); }

void CBOFrameInstVarCont::renew(CVersionStamp& stamp) { newGuid(stamp); }

bool CBOFrameInstVarCont::digestInto(CoCryptHashVariant& hasher, CVersionStamp& stamp, const char* method)
{
    stamp.setInvalid();
    GUID g;
    if (!hasher.getHashAsGUID(&g)) {
        traceObj(4, method, "getHashAsGUID failed");
        return false;
    }
    stamp.Guid = g;
    stamp.Major = 0;
    stamp.Minor = 0;
    return true;
}

// --- symbol access ---

StStdConstantVal* CBOFrameInstVarCont::getSymValue(uint32_t adr, bool& isDefault)
{
    isDefault = false;
    return getInstValue(adr);
}
StStdConstantVal* CBOFrameInstVarCont::getSymMinValue(uint32_t adr) { return getMinVal(adr); }
StStdConstantVal* CBOFrameInstVarCont::getSymMaxValue(uint32_t adr) { return getMaxVal(adr); }
StStdConstantVal* CBOFrameInstVarCont::getSymStdValue(uint32_t adr) { return getStdVal(adr); }

// --- forwarding to the type ---

bool CBOFrameInstVarCont::isArrayHandle(uint32_t adr) const { return m_arrayHandles.count(adr) != 0; }

bool CBOFrameInstVarCont::reserved8(uint32_t adr)
{
    auto* t = typeOr("CBOFrameInstVarCont::reserved8");
    return t && !checkArrayEntry(adr) && t->reserved59(adr, m_currentCfg);
}

uint32_t CBOFrameInstVarCont::reserved9(uint32_t adr, uint32_t extra)
{
    auto* t = typeOr("CBOFrameInstVarCont::reserved9");
    return t && !checkArrayEntry(adr) ? t->reserved60(adr, m_currentCfg, extra) : 0;
}

uint32_t CBOFrameInstVarCont::reserved10(uint32_t arg)
{
    auto* t = typeOr("CBOFrameInstVarCont::reserved10");
    return t ? t->reserved61(arg) : 0;
}

String CBOFrameInstVarCont::reserved11(uint32_t arg)
{
    auto* t = typeOr("CBOFrameInstVarCont::reserved11");
    return t ? t->reserved62(arg) : String();
}

StTypeID CBOFrameInstVarCont::getTypeId(uint32_t adr) { return getTypeIdByAdr(adr); }

bool CBOFrameInstVarCont::getText(const String& typeName, String& text)
{
    auto* t = typeOr("CBOFrameInstVarCont::getText");
    return t && t->getText(typeName, m_currentCfg, text);
}

bool CBOFrameInstVarCont::getText(int32_t adr, String& text)
{
    auto* t = typeOr("CBOFrameInstVarCont::getText");
    return t && t->getText(adr, m_currentCfg, text);
}

int32_t CBOFrameInstVarCont::getDefaultUnit(PhysGr physGr)
{
    auto* t = typeOr("CBOFrameInstVarCont::getDefaultUnit");
    return t ? t->getDefaultUnit(physGr) : 0;
}

void CBOFrameInstVarCont::resetIdPairs(BoIdPairList& pairs)
{
    pairs.clear();
    pairs.emplace_back(0u, 0xFFFFFFFFu);
}

VarExt* CBOFrameInstVarCont::getAttrib(uint32_t adr)
{
    auto* t = typeOr("CBOFrameInstVarCont::getAttrib");
    return t && !checkArrayEntry(adr) ? t->getAttrib(adr, m_currentCfg) : nullptr;
}

int32_t CBOFrameInstVarCont::findAddrByAttr(uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1,
                                            uint32_t trueATO2, uint32_t falseATO2, uint32_t trueG,
                                            BoIdList* addresses, uint32_t flags)
{
    auto* t = typeOr("CBOFrameInstVarCont::findAddrByAttr");
    return t ? t->findAddrByAttr(trueA, falseA, trueATO1, falseATO1, trueATO2, falseATO2, trueG, addresses,
                                 m_currentCfg, flags)
             : 0;
}

bool CBOFrameInstVarCont::checkForAttr(uint32_t fromAdr, uint32_t toAdr, uint32_t trueA, uint32_t falseA,
                                       uint32_t trueATO1, uint32_t falseATO1, uint32_t trueATO2, uint32_t falseATO2,
                                       uint32_t trueG, uint32_t flags)
{
    auto* t = typeOr("CBOFrameInstVarCont::checkForAttr");
    return t && t->checkForAttr(fromAdr, toAdr, m_currentCfg, trueA, falseA, trueATO1, falseATO1, trueATO2,
                                falseATO2, trueG, flags);
}

bool CBOFrameInstVarCont::symIsBitField(uint32_t adr) { return isBitField(adr); }
int32_t CBOFrameInstVarCont::symGetBitFields(uint32_t adr, BitFieldInfoList& bits) { return getBitFields(adr, bits); }
String CBOFrameInstVarCont::symLoadResText(int32_t textId) { return loadResText(textId); }

StStdConstantVal* CBOFrameInstVarCont::getClearedDefVal(uint32_t adr)
{
    auto* t = typeOr("CBOFrameInstVarCont::getClearedDefVal");
    return t && !checkArrayEntry(adr) ? t->getClearedDefVal(adr, m_currentCfg) : nullptr;
}

StStdConstantVal* CBOFrameInstVarCont::getFilledDefVal(uint32_t adr)
{
    auto* t = typeOr("CBOFrameInstVarCont::getFilledDefVal");
    return t && !checkArrayEntry(adr) ? t->getFilledDefVal(adr, m_currentCfg) : nullptr;
}

bool CBOFrameInstVarCont::isBitField(uint32_t adr)
{
    auto* t = typeOr("CBOFrameInstVarCont::isBitField");
    return t && !checkArrayEntry(adr) && t->isBitField(adr, m_currentCfg);
}

int32_t CBOFrameInstVarCont::getBitFields(uint32_t adr, BitFieldInfoList& bits)
{
    auto* t = typeOr("CBOFrameInstVarCont::getBitFields");
    return t && !checkArrayEntry(adr) ? t->getBitFields(adr, m_currentCfg, bits) : 0;
}

String CBOFrameInstVarCont::loadResText(int32_t textId)
{
    auto* t = typeOr("CBOFrameInstVarCont::loadResText");
    return t ? t->loadResText(textId) : String();
}

bool CBOFrameInstVarCont::hasDynArrays()
{
    auto* t = typeOr("CBOFrameInstVarCont::hasDynArrays");
    return t && t->hasDynArrays();
}

int32_t CBOFrameInstVarCont::getCompatibleIdx(int32_t id)
{
    auto* t = typeOr("CBOFrameInstVarCont::getCompatibleIdx");
    return t ? t->getCompatibleIdx(id) : 0;
}

uint32_t CBOFrameInstVarCont::getPossibleUnits(PhysGr physGr, BoUnitIdList& units)
{
    auto* t = typeOr("CBOFrameInstVarCont::getPossibleUnits");
    return t ? t->getPossibleUnits(physGr, units) : 0;
}

uint32_t CBOFrameInstVarCont::getPhysDims(BoUnitIdList& dims)
{
    auto* t = typeOr("CBOFrameInstVarCont::getPhysDims");
    return t ? t->getPhysDims(dims) : 0;
}

bool CBOFrameInstVarCont::matchUnit(PhysGr physGr, int32_t unit)
{
    auto* t = typeOr("CBOFrameInstVarCont::matchUnit");
    return t && t->matchUnit(physGr, unit);
}

// The value queries: the type's constant for (adr, cfg), traced when none.
#define TV_INST_VALUE_QUERY(NAME, TYPE_OP)                                                      \
    StStdConstantVal* CBOFrameInstVarCont::NAME(uint32_t adr, uint32_t cfg)                     \
    {                                                                                           \
        const char* method = "CBOFrameInstVarCont::" #NAME;                                     \
        auto* t = typeOr(method);                                                               \
        StStdConstantVal* v = t ? t->TYPE_OP(adr, cfg) : nullptr;                               \
        if (t && !v) traceObj(3, method, "no Value found for Adr(0x%08X)", adr);                \
        return v;                                                                               \
    }                                                                                           \
    StStdConstantVal* CBOFrameInstVarCont::NAME(uint32_t adr) { return NAME(adr, m_currentCfg); }
TV_INST_VALUE_QUERY(getMinVal, getMinVal)
TV_INST_VALUE_QUERY(getStdVal, getStdVal)
TV_INST_VALUE_QUERY(getMaxVal, getMaxVal)
#undef TV_INST_VALUE_QUERY

bool CBOFrameInstVarCont::isOnlRel(uint32_t adr)
{
    const StStdConstantVal* v = getInstValue(adr);
    if (!v) {
        traceObj(3, "CBOFrameInstVarCont::isOnlRel", "value not found for adr: 0x%08X", adr);
        return false;
    }
    return v->hasAddress();
}

StTypeID CBOFrameInstVarCont::getTypeIdByAdr(uint32_t adr)
{
    const char* method = "CBOFrameInstVarCont::getTypeIdByAdr";
    bool noOperand = false;
    const StTypeID tid = boSysVarTypeAt(m_pSysVarTab, adr, noOperand);
    if (noOperand)
        traceObj(4, method, "no operand found for ADR(0x%08X)", adr);
    else if (tid == ST_INVALID_TID)
        traceObj(4, method, "invalid type for adr: 0x%08X", adr);
    return tid;
}

// --- configuration ---

uint32_t CBOFrameInstVarCont::setConfiguration(uint32_t cfg)
{
    if (!isValidConfiguration(cfg)) {
        traceObj(3, "CBOFrameInstVarCont::setConfiguration", "configuration 0x%08X is not valid", cfg);
        return BO_INST_REFUSED;
    }
    if (cfg == m_currentCfg) return 0;
    const uint32_t old = m_currentCfg;
    m_currentCfg = cfg;
    changeConfigurationVersion(BoVer_Online | BoVer_Data);
    configurationChanged(old, cfg);
    return 0;
}

bool CBOFrameInstVarCont::isValidConfiguration(uint32_t cfg)
{
    auto* t = typeOr("CBOFrameInstVarCont::isValidConfiguration");
    return t && t->isValidConfiguration(cfg);
}

BoIdList CBOFrameInstVarCont::getConfigurationEntrys()
{
    auto* t = typeOr("CBOFrameInstVarCont::getConfigurationEntrys");
    return t ? t->getConfigurationEntrys() : BoIdList();
}

BoIdList CBOFrameInstVarCont::getConfigurationGroups()
{
    auto* t = typeOr("CBOFrameInstVarCont::getConfigurationGroups");
    return t ? t->getConfigurationGroups() : BoIdList();
}

BoIdList CBOFrameInstVarCont::getConfigurationGroupEntrys(uint32_t group)
{
    auto* t = typeOr("CBOFrameInstVarCont::getConfigurationGroupEntrys");
    return t ? t->getConfigurationGroupEntrys(group) : BoIdList();
}

// A description of the type, or an empty String and the trace of what
// failed.
#define TV_INST_DSC(CALL, WHAT)                                                      \
    const char* method = "CBOFrameInstVarCont::" WHAT;                               \
    auto* t = typeOr(method);                                                        \
    String text;                                                                     \
    if (t && t->CALL != 0) {                                                         \
        traceObj(4, method, WHAT " failed");                                         \
        text = String();                                                             \
    }                                                                                \
    return text;

String CBOFrameInstVarCont::getConfigurationDsc(uint32_t cfg) { TV_INST_DSC(getConfigurationDsc(cfg, text), "getConfigurationDsc") }
String CBOFrameInstVarCont::getConfigurationGroupDsc(uint32_t group)
{
    TV_INST_DSC(getConfigurationGroupDsc(group, text), "getConfigurationGroupDsc")
}
String CBOFrameInstVarCont::getConfigurationGroupEntryDsc(uint32_t group, uint32_t entry)
{
    TV_INST_DSC(getConfigurationGroupEntryDsc(group, entry, text), "getConfigurationGroupEntryDsc")
}
#undef TV_INST_DSC

void CBOFrameInstVarCont::cleanCfg()
{
    m_currentCfg = m_pBOFrameTypeVarCont ? m_pBOFrameTypeVarCont->getDefaultConfiguration() : 0;
    m_cfgLoaded = false;
}

uint32_t CBOFrameInstVarCont::saveCfg(FsSecCl& s) { return writeInstCfgSection(s, m_currentCfg); }

uint32_t CBOFrameInstVarCont::loadCfg(FsSecCl& s)
{
    cleanCfg();
    const uint32_t rc = readInstCfgSection(s, m_currentCfg);
    m_cfgLoaded = rc == 0;
    return rc;
}

void CBOFrameInstVarCont::initCfg()
{
    cleanCfg();
    m_cfgLoaded = true;
}

// --- versions ---

bool CBOFrameInstVarCont::checkVersionFlags(uint32_t flags, uint32_t supported)
{
    const char* method = "CBOFrameInstVarCont::checkVersionFlags";
    struct Pair {
        uint32_t a, b;
        const char* both;
        const char* neither;
    };
    static const Pair kPairs[] = {
        {BoVer_Data, BoVer_Struct, "data & struct", "!data & !struct"},
        {BoVer_Online, BoVer_Offline, "online & offline", "!online & !offline"},
        {BoVer_Version, BoVer_Signature, "version & signature", nullptr},
    };
    bool ok = true;
    for (const Pair& p : kPairs) {
        const bool a = (flags & p.a) != 0, b = (flags & p.b) != 0;
        const char* what = a && b ? p.both : (!a && !b ? p.neither : nullptr);
        if (!what) continue;
        traceObj(4, method, "invalid versionflags 0x%08X: %s", flags, what);
        ok = false;
    }
    if (flags & ~supported) {
        traceObj(4, method, "versionflag(0x%08X) is not supported(0x%08X)", flags, supported);
        ok = false;
    }
    return ok;
}

bool CBOFrameInstVarCont::flagsOk(uint32_t flags, uint32_t supported, const char* method)
{
    if (checkVersionFlags(flags, supported)) return true;
    traceObj(4, method, "checkVersionFlags failed");
    return false;
}

VRX_VersionStamp CBOFrameInstVarCont::getPair(uint32_t flags, const CVersionStamp& version,
                                              const CVersionStamp& signature, const char* method)
{
    if (!flagsOk(flags, kGetPair, method)) return invalidStamp();
    if (flags & BoVer_Version) return version.stamp();
    if (flags & BoVer_Signature) return signature.stamp();
    return invalidStamp();
}

bool CBOFrameInstVarCont::changePair(uint32_t flags, uint32_t family, CVersionStamp& version,
                                     CVersionStamp& signature, const char* method)
{
    if (!flagsOk(flags, kChangePair, method)) return false;
    m_changed |= family;
    m_follow |= family;
    renew(version);
    signature = version;
    return changeSysVarVersion(BoVer_Online | BoVer_Data);
}

bool CBOFrameInstVarCont::setStamp(uint32_t flags, uint32_t supported, uint32_t family, CVersionStamp& version,
                                   const VRX_VersionStamp& stamp, const char* method)
{
    if (!flagsOk(flags, supported, method)) return false;
    version = stamp;
    m_changed |= family;
    m_follow &= ~family;
    return true;
}

VRX_VersionStamp CBOFrameInstVarCont::getConfigurationVersion(uint32_t flags)
{
    return getPair(flags, m_cfgVersion, m_cfgSignature, "CBOFrameInstVarCont::getConfigurationVersion");
}

void CBOFrameInstVarCont::calculateConfigurationVersion()
{
    CoCryptHashVariant hasher;
    const uint8_t cfg[4] = {uint8_t(m_currentCfg), uint8_t(m_currentCfg >> 8), uint8_t(m_currentCfg >> 16),
                            uint8_t(m_currentCfg >> 24)};
    hasher.add(cfg, 4);
    if (digestInto(hasher, m_cfgSignature, "CBOFrameInstVarCont::calculateConfigurationVersion") &&
        (m_follow & BoFamily_Cfg))
        m_cfgVersion = m_cfgSignature;
}

bool CBOFrameInstVarCont::changeConfigurationVersion(uint32_t flags)
{
    return changePair(flags, BoFamily_Cfg, m_cfgVersion, m_cfgSignature,
                      "CBOFrameInstVarCont::changeConfigurationVersion");
}

bool CBOFrameInstVarCont::setConfigurationVersion(uint32_t flags, const VRX_VersionStamp& stamp)
{
    return setStamp(flags, kSetPair, BoFamily_Cfg, m_cfgVersion, stamp,
                    "CBOFrameInstVarCont::setConfigurationVersion");
}

VRX_VersionStamp CBOFrameInstVarCont::getUnitVersion(uint32_t flags)
{
    return getPair(flags, m_unitVersion, m_unitSignature, "CBOFrameInstVarCont::getUnitVersion");
}

bool CBOFrameInstVarCont::changeUnitVersion(uint32_t flags)
{
    return changePair(flags, BoFamily_Units, m_unitVersion, m_unitSignature, "CBOFrameInstVarCont::changeUnitVersion");
}

bool CBOFrameInstVarCont::setUnitVersion(uint32_t flags, const VRX_VersionStamp& stamp)
{
    return setStamp(flags, kSetPair, BoFamily_Units, m_unitVersion, stamp, "CBOFrameInstVarCont::setUnitVersion");
}

VRX_VersionStamp CBOFrameInstVarCont::getSysVarVersion(uint32_t flags)
{
    if (!flagsOk(flags, kGetSysVar, "CBOFrameInstVarCont::getSysVarVersion")) return invalidStamp();
    if (flags & BoVer_Offline) return m_offlineVersion.stamp();
    if (flags & BoVer_Struct) return m_structVersion.stamp();
    if (flags & BoVer_Version) return m_onlineVersion.stamp();
    if (flags & BoVer_Signature) return m_onlineSignature.stamp();
    return invalidStamp();
}

bool CBOFrameInstVarCont::changeSysVarVersion(uint32_t flags)
{
    if (!flagsOk(flags, kChangeSysVar, "CBOFrameInstVarCont::changeSysVarVersion")) return false;
    if (flags & BoVer_Online) {
        if (flags & BoVer_Struct) renew(m_structVersion);
        renew(m_onlineVersion);
        m_onlineSignature = m_onlineVersion;
    }
    m_changed |= BoFamily_SysVars;
    m_follow |= BoFamily_SysVars;
    renew(m_offlineVersion);
    return true;
}

bool CBOFrameInstVarCont::setSysVarVersion(uint32_t flags, const VRX_VersionStamp& stamp)
{
    return setStamp(flags, kSetSysVar, BoFamily_SysVars, m_onlineVersion, stamp,
                    "CBOFrameInstVarCont::setSysVarVersion");
}

// --- the sysvar table ---

void CBOFrameInstVarCont::setSysVarTab(CBOFrameSymbTable* table)
{
    delete m_pSysVarTab;
    m_pSysVarTab = table;
    m_sysVarTabLoaded = table != nullptr;
}

void CBOFrameInstVarCont::releaseSysVarTab() { setSysVarTab(nullptr); }

uint32_t CBOFrameInstVarCont::loadSysVarTab(FsSecCl& s)
{
    std::unique_ptr<CBOFrameSymbTable> table(new CBOFrameSymbTable);
    table->load(s);
    if (table->hasError()) {
        traceObj(4, "CBOFrameInstVarCont::loadSysVarTab", "bad stab status");
        return BO_INST_NO_PARTNER;
    }
    setSysVarTab(table.release());
    m_sysVarTabLoaded = !s.hasError();
    return s.hasError() ? BO_LOAD_FAILED : 0;
}

void CBOFrameInstVarCont::cleanAll()
{
    m_arrayHandles.clear();
    cleanCfg();
    cleanUnit();
    cleanValues();
    if (m_pBOFrameTypeVarCont && m_pBOFrameTypeVarCont->hasDynArrays()) releaseSysVarTab();
}

void CBOFrameInstVarCont::dumpConfiguration(std::ostream& out) const
{
    char line[32];
    std::snprintf(line, sizeof line, "%08X", m_currentCfg);
    out << "### Instanzdaten: #####################################" << std::endl
        << std::endl
        << "=== Configuration: ====================================" << std::endl
        << line << std::endl;
}
