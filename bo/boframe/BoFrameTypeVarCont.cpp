// Frame of a type's variable extensions (see BoFrameTypeVarCont.h).
#include "bo/boframe/BoFrameTypeVarCont.h"

#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "bovarext";
constexpr int32_t kNoText = -1;

template <class Map>
BoIdList keysOf(const Map& m)
{
    BoIdList ids;
    for (const auto& e : m) ids.push_back(e.first);
    return ids;
}

// The true test of one word: all or any of the mask's bits set; a zero
// mask holds when zeroHolds (word-wise evaluation) and otherwise only in
// the all-bits mode.
bool trueTest(uint32_t word, uint32_t mask, bool allBits, bool zeroHolds)
{
    if (mask == 0 && zeroHolds) return true;
    return allBits ? (word & mask) == mask : (word & mask) != 0;
}

// The false test: none of the mask's bits set (a zero mask holds).
bool falseTest(uint32_t word, uint32_t mask) { return (word & mask) == 0; }

bool combine(const bool* r, int n, bool orMode)
{
    bool all = true, any = false;
    for (int i = 0; i < n; ++i) {
        all = all && r[i];
        any = any || r[i];
    }
    return orMode ? any : all;
}

}  // namespace

CBOFrameTypeVarCont::CBOFrameTypeVarCont(CBOFrameConstValTable* const* constValTableLink)
    : m_constValTable(constValTableLink)
{
}

CBOFrameTypeVarCont::~CBOFrameTypeVarCont() { CBOFrameTypeVarCont::clean(); }

uint32_t CBOFrameTypeVarCont::getDefaultConfiguration() const { return m_defaultCfg; }

BoIdList CBOFrameTypeVarCont::getConfigurationEntrys() const { return keysOf(cfgEntries()); }

BoIdList CBOFrameTypeVarCont::getConfigurationGroups() const { return keysOf(cfgGroups()); }

BoIdList CBOFrameTypeVarCont::getConfigurationGroupEntrys(uint32_t group) const
{
    auto g = cfgGroups().find(group);
    if (g == cfgGroups().end()) {
        TV_TRACE(3, kTraceFile, "CBOTypeVarCont::getConfigurationGroupEntrys", "group 0x%08X not found", group);
        return BoIdList();
    }
    return keysOf(g->second.entries);
}

void CBOFrameTypeVarCont::clean() {}

bool CBOFrameTypeVarCont::addCfgEntry(uint32_t cfg, int32_t textId)
{
    if (cfgEntries().add(cfg, textId)) return true;
    TV_TRACE(4, kTraceFile, "CBOTypeVarCont::addCfgEntry", "Type(%s): configuration 0x%08X already exist",
             getModuleName().c_str(), cfg);
    return false;
}

bool CBOFrameTypeVarCont::addCfgGroup(uint32_t group, int32_t textId)
{
    CfgGroupEntry entry;
    entry.textId = textId;
    if (cfgGroups().emplace(group, std::move(entry)).second) return true;
    TV_TRACE(4, kTraceFile, "CBOTypeVarCont::addCfgGroup", "Type(%s): group 0x%08X already exist",
             getModuleName().c_str(), group);
    return false;
}

bool CBOFrameTypeVarCont::addCfgGroup(uint32_t group) { return addCfgGroup(group, kNoText); }

bool CBOFrameTypeVarCont::setCfgGroupText(uint32_t group, int32_t textId)
{
    const char* const method = "CBOTypeVarCont::setCfgGroupText";
    auto g = cfgGroups().find(group);
    if (g == cfgGroups().end()) {
        TV_TRACE(4, kTraceFile, method, "Type(%s): group 0x%08X not exist", getModuleName().c_str(), group);
        return false;
    }
    if (g->second.textId != kNoText) {
        TV_TRACE(4, kTraceFile, method, "Type(%s): text for group 0x%08X already exist", getModuleName().c_str(),
                 group);
        return false;
    }
    g->second.textId = textId;
    return true;
}

bool CBOFrameTypeVarCont::addGroupEntry(uint32_t group, uint32_t entry, int32_t textId, uint32_t missingGroupLevel)
{
    const char* const method = "CBOTypeVarCont::addCfgGroupEntry";
    auto g = cfgGroups().find(group);
    if (g == cfgGroups().end()) {
        TV_TRACE(missingGroupLevel, kTraceFile, method, "Type(%s): group 0x%08X not found", getModuleName().c_str(),
                 group);
        return false;
    }
    if (g->second.entries.add(entry, textId)) return true;
    TV_TRACE(4, kTraceFile, method, "Type(%s): Group Entry 0x%08X already exist", getModuleName().c_str(), entry);
    return false;
}

bool CBOFrameTypeVarCont::addCfgGroupEntry(uint32_t group, uint32_t entry, int32_t textId)
{
    return addGroupEntry(group, entry, textId, 3);
}

bool CBOFrameTypeVarCont::addCfgGroupEntry(uint32_t group, uint32_t entry)
{
    return addGroupEntry(group, entry, kNoText, 4);
}

bool CBOFrameTypeVarCont::setCfgGroupEntryText(uint32_t group, uint32_t entry, int32_t textId)
{
    const char* const method = "CBOTypeVarCont::setCfgGroupEntryText";
    auto g = cfgGroups().find(group);
    if (g == cfgGroups().end()) {
        TV_TRACE(4, kTraceFile, method, "Type(%s): group 0x%08X not found", getModuleName().c_str(), group);
        return false;
    }
    auto e = g->second.entries.find(entry);
    if (e == g->second.entries.end()) {
        TV_TRACE(4, kTraceFile, method, "Type(%s): entry 0x%08X in group 0x%08X not found", getModuleName().c_str(),
                 entry, group);
        return false;
    }
    if (e->second != kNoText) {
        TV_TRACE(4, kTraceFile, method, "Type(%s): text for entry 0x%08X in group 0x%08X already exist",
                 getModuleName().c_str(), entry, group);
        return false;
    }
    e->second = textId;
    return true;
}

bool CBOFrameTypeVarCont::setDefaultConfiguration(uint32_t cfg)
{
    m_defaultCfg = cfg;
    return true;
}

uint32_t CBOFrameTypeVarCont::checkAttr(uint32_t A, uint32_t trueA, uint32_t falseA, uint32_t ATO1, uint32_t trueATO1,
                                        uint32_t falseATO1, uint32_t ATO2, uint32_t trueATO2, uint32_t falseATO2,
                                        uint32_t G, uint32_t trueG, uint32_t flags)
{
    const uint32_t words[4] = {A, ATO1, ATO2, G & 0xFFFFu};
    const uint32_t trueMasks[4] = {trueA, trueATO1, trueATO2, trueG & 0xFFFFu};
    const uint32_t falseMasks[3] = {falseA, falseATO1, falseATO2};  // G has no false test
    const bool allBits = (flags & ESAttrMask_TrueAttrValueMask) != 0;
    const bool overallOr = (flags & ESAttrMask_AttrMask) != 0;
    bool holds;
    if ((flags & ESAttrMask_OrderMask) == 0) {
        // Word-wise: per word true test with false test, then the words.
        bool perWord[4];
        for (int i = 0; i < 4; ++i) {
            const bool t = trueTest(words[i], trueMasks[i], allBits, true);
            if (i == 3) {
                perWord[i] = t;
                continue;
            }
            const bool f = falseTest(words[i], falseMasks[i]);
            perWord[i] = (flags & ESAttrMask_AttrMaskWord) ? (t || f) : (t && f);
        }
        holds = combine(perWord, 4, overallOr);
    } else {
        // Test-wise: all true tests, all false tests, then the two results.
        bool t[4], f[3];
        for (int i = 0; i < 4; ++i) t[i] = trueTest(words[i], trueMasks[i], allBits, false);
        for (int i = 0; i < 3; ++i) f[i] = falseTest(words[i], falseMasks[i]);
        const bool tr = combine(t, 4, (flags & ESAttrMask_TrueMask) != 0);
        const bool fr = combine(f, 3, (flags & ESAttrMask_FalseMask) != 0);
        holds = overallOr ? (tr || fr) : (tr && fr);
    }
    return holds ? 0 : BO_ATTR_NO_MATCH;
}
