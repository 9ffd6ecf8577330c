// Alarm instances and their container.
#include "bo/alc/BoAlarm.h"

#include <algorithm>

#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "bo/alc/boalarm";
const uint32_t kUnknownValue = 0x7FFFFFFF;
// The change code of every setter.
const uint32_t kValueChanged = 0x10000001;

bool allowed(const CBoAlmValueList& list, int32_t v)
{
    return std::find(list.begin(), list.end(), v) != list.end();
}

void addWord(CoCryptHashVariant& h, uint32_t v)
{
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    h.addBytes(b, 4);
}

const char* const kGlobalSetters[AlmGlobalCount] = {
    "setActGlobalReaction",
    "setActGlobalConfirm",
    "setActGlobalType",
    "setActGlobalDiagBufferEntry",
};

}  // namespace

using namespace boalc;

FsSecCl& operator<<(FsSecCl& s, const CBoAlarm& a)
{
    FsSecRun run(s);
    putRecord(run, a);
    return s;
}

void putRecord(FsSecRun& s, const CBoAlarm& a)
{
    for (int i = 0; i < AlmGlobalCount; ++i) {
        if (i > 0) putByteBlank(s);
        s << int32_t(a.m_values[i]);
    }
    s << " ";
    putMap(s, a.m_reactions);
    s.putNewLine();
    putMap(s, a.m_params);
}

FsSecCl& operator>>(FsSecCl& s, CBoAlarm& a)
{
    for (int i = 0; i < AlmGlobalCount; ++i) {
        if (i > 0) getByteBlank(s);
        int32_t v = 0;
        s >> v;
        a.m_values[i] = uint32_t(v);
    }
    getByteBlank(s);
    getMap(s, a.m_reactions);
    getMap(s, a.m_params);
    return s;
}

CBoAlmCont::CBoAlmCont(const CBoAlmTypeCont* types) : m_types(types), m_version(kInvalidVersionStamp)
{
    m_version.newStamp();
}

CBoAlmCont::~CBoAlmCont()
{
    clear();
}

uint32_t CBoAlmCont::loadData()
{
    TV_TRACE(4, kTraceFile, "CBoAlmCont::loadData", "loadData must be overwritten");
    return BoAlmAbsent;
}

void CBoAlmCont::notify(uint32_t)
{
    m_version.newStamp();
}

void CBoAlmCont::setAlmCfgVersion(VRX_VersionStamp stamp)
{
    m_version.assign(stamp);
}

void CBoAlmCont::calculateAlmCfgVersion()
{
    CoCryptHashVariant hasher;
    calculateAlmCfgVersionWith(hasher);
}

void CBoAlmCont::calculateAlmCfgVersionWith(CoCryptHashVariant& h)
{
    m_version.setInvalid();
    for (const auto& e : m_alarms) {
        const CBoAlarm& a = *e.second;
        addWord(h, e.first);
        for (uint32_t v : a.m_values) addWord(h, v);
        for (const auto& r : a.m_reactions) {
            addWord(h, uint32_t(r.first));
            addWord(h, uint32_t(r.second));
        }
        for (const auto& p : a.m_params) {
            addWord(h, uint32_t(p.first));
            addWord(h, uint32_t(p.second));
        }
    }
    GUID g;
    if (h.getHashAsGUID(&g)) {
        m_version.Guid = g;
        m_version.Major = 0;
        m_version.Minor = 0;
    } else {
        TV_TRACE(4, kTraceFile, "CBoAlmCont::calculateAlmCfgVersion", "getHashAsGUID failed");
    }
}

void CBoAlmCont::createAlarms()
{
    if (!m_types) return;
    for (const auto& e : m_types->alarmTypes()) {
        if (m_alarms.count(e.first)) continue;
        const CBoAlarmType& t = *e.second;
        m_alarms.emplace(e.first, std::unique_ptr<CBoAlarm>(new CBoAlarm(
                                      uint32_t(t.attr(AlmReaction).def), uint32_t(t.attr(AlmConfirm).def),
                                      uint32_t(t.attr(AlmType).def), uint32_t(t.attr(AlmDiagBuffer).def),
                                      t.m_defaultReactions, t.m_defaultParams)));
    }
    m_loaded = true;
}

CBoAlarm* CBoAlmCont::alarmOf(uint32_t id) const
{
    auto it = m_alarms.find(id);
    return it == m_alarms.end() ? nullptr : it->second.get();
}

uint32_t CBoAlmCont::actGlobal(uint32_t id, int which) const
{
    const CBoAlarm* a = alarmOf(id);
    return a ? a->m_values[which] : kUnknownValue;
}

CBoAlmValueList CBoAlmCont::possibleGlobal(uint32_t id, int which) const
{
    const CBoAlarmType* t = typeOf(id);
    return t ? t->attr(which).allowed : CBoAlmValueList();
}

uint32_t CBoAlmCont::setGlobal(uint32_t id, int which, uint32_t v)
{
    if (!m_types) return BoAlmAbsent;
    const CBoAlarmType* t = typeOf(id);
    if (!t) return BoAlmNoType;
    if (!allowed(t->attr(which).allowed, int32_t(v))) return BoAlmNotAllowed;
    CBoAlarm* a = alarmOf(id);
    if (!a) return BoAlmAbsent;
    if (a->m_values[which] == v) return BoAlmOk;
    a->m_values[which] = v;
    notify(kValueChanged);
    return BoAlmOk;
}

uint32_t CBoAlmCont::setLocal(uint32_t id, int32_t index, int32_t v, bool param)
{
    if (!m_types) return BoAlmAbsent;
    const CBoAlarmType* t = typeOf(id);
    if (!t) return BoAlmNoType;
    const CBoAlmIdxListMap& possible = param ? t->m_possibleParams : t->m_possibleReactions;
    auto p = possible.find(index);
    if (p == possible.end() || !allowed(p->second, v)) return BoAlmNotAllowed;
    CBoAlarm* a = alarmOf(id);
    if (!a) return BoAlmAbsent;
    CBoAlmIdxValueMap& values = param ? a->m_params : a->m_reactions;
    auto cur = values.find(index);
    const int32_t current = cur == values.end() ? int32_t(kUnknownValue) : cur->second;
    if (current == v) return BoAlmOk;
    // No entry is created for an index the alarm does not hold.
    if (cur != values.end()) cur->second = v;
    notify(kValueChanged);
    return BoAlmOk;
}

CBoAlmValueList CBoAlmCont::possibleLocal(uint32_t id, int32_t index, bool param) const
{
    const CBoAlarmType* t = typeOf(id);
    if (!t) return CBoAlmValueList();
    const CBoAlmIdxListMap& possible = param ? t->m_possibleParams : t->m_possibleReactions;
    auto it = possible.find(index);
    return it == possible.end() ? CBoAlmValueList() : it->second;
}

String CBoAlmCont::getStringTableText(int32_t ordinal) const
{
    return m_types ? m_types->getStringTableText(ordinal) : String("");
}

std::map<uint32_t, String> CBoAlmCont::getAlarmNames() const
{
    std::map<uint32_t, String> names;
    if (!m_types) return names;
    for (const auto& e : m_types->alarmTypes()) names.emplace(e.first, getStringTableText(e.second->m_nameIdx));
    return names;
}

bool CBoAlmCont::save(FsSecCl& s) const
{
    if (s.setSize(0) != 0) return false;  // no list behind an old tail
    {
        FsSecRun run(s);
        putIdList(run, m_alarms, false);
    }
    return !s.hasError();
}

bool CBoAlmCont::load(FsSecCl& s)
{
    clear();
    if (!getIdList(s, m_alarms, false)) return false;
    m_loaded = !s.hasError();
    return m_loaded;
}

uint32_t CBoAlmCont::readAlarms(FsSecCl& s)
{
    static const char kMethod[] = "CBoAlmCont::readAlarms";
    std::map<uint32_t, std::unique_ptr<CBoAlarm>> read;
    if (!getIdList(s, read, false)) return BoAlmDuplicate;
    if (s.hasError()) {
        TV_TRACE(4, kTraceFile, kMethod, "StreamError");
        return BoAlmStreamRead;
    }
    if (read.size() != m_alarms.size()) {
        TV_TRACE(4, kTraceFile, kMethod, "mismatch of alarm size with act(%i) and read(%i)", int(m_alarms.size()),
                 int(read.size()));
        return BoAlmMismatch;
    }
    for (const auto& e : read) {
        const uint32_t id = e.first;
        const CBoAlarm& a = *e.second;
        for (int i = 0; i < AlmGlobalCount; ++i) {
            const uint32_t r = setGlobal(id, i, a.m_values[i]);
            if (r != BoAlmOk) {
                TV_TRACE(4, kTraceFile, kMethod, "%s failed for alarm 0x%08X with value %i", kGlobalSetters[i], id,
                         int32_t(a.m_values[i]));
                return r;
            }
        }
        for (int k = 0; k < 2; ++k) {
            const bool param = k == 1;
            const char* const what = param ? "param" : "reaction";
            const CBoAlmIdxValueMap act = param ? getLocalParamTextIdx(id) : getLocalReactionTextIdx(id);
            const CBoAlmIdxValueMap& values = param ? a.m_params : a.m_reactions;
            if (act.size() != values.size()) {
                TV_TRACE(4, kTraceFile, kMethod, "mismatch of local %s size for alarm 0x%08X with act(%i) and read(%i)",
                         what, id, int(act.size()), int(values.size()));
                return BoAlmMismatch;
            }
            auto ai = act.begin();
            for (auto vi = values.begin(); vi != values.end(); ++vi, ++ai) {
                if (ai->first != vi->first) {
                    TV_TRACE(4, kTraceFile, kMethod,
                             "mismatch of local %s index for alarm 0x%08X with act(%i) and read(%i)", what, id,
                             ai->first, vi->first);
                    return BoAlmMismatch;
                }
                const uint32_t r = setLocal(id, vi->first, vi->second, param);
                if (r != BoAlmOk) {
                    TV_TRACE(4, kTraceFile, kMethod, "%s failed for alarm 0x%08X with index %i and value %i",
                             param ? "setActLocalParam" : "setActLocalReaction", id, vi->first, vi->second);
                    return r;
                }
            }
        }
    }
    return BoAlmOk;
}

void CBoAlmCont::clear()
{
    m_loaded = false;
    m_alarms.clear();
}
