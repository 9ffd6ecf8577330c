// Alarm types, their container and the stream pieces of the alarm layouts.
#include "bo/alc/BoAlarmType.h"

#include <vector>

#include "co/TraceApi.h"
#include "platform/resmodule.h"

namespace {

const char kTraceFile[] = "bo/alc/boalmtype";

// A map reader's count check: the distinct keys read must match the count.
void checkCount(FsSecCl& s, uint32_t count, std::size_t read)
{
    if (!s.hasError() && read != count) s.setError(BoAlmCountMismatch);
}

}  // namespace

namespace boalc {

void putByteBlank(FsSecRun& s)
{
    s << ' ';
}

void getByteBlank(FsSecCl& s)
{
    // Text numbers skip the blanks in front of them; only binary mode has
    // the byte to take.
    if (!s.isBinary() || s.hasError()) return;
    if (s.readChar() != ' ' && !s.hasError()) s.setError(BoAlmFormat);
}

FsSecRun& putList(FsSecRun& s, const CBoAlmValueList& l)
{
    s << uint32_t(l.size());
    s.putBlank();
    for (int32_t v : l) {
        if (s.hasError()) break;
        s << v;
        s.putBlank();
    }
    return s;
}

FsSecCl& getList(FsSecCl& s, CBoAlmValueList& l)
{
    l.clear();
    uint32_t n = 0;
    s >> n;
    for (uint32_t i = 0; i < n && !s.hasError(); ++i) {
        int32_t v = 0;
        s >> v;
        if (!s.hasError()) l.push_back(v);
    }
    return s;
}

template <class Map, class Put>
FsSecRun& putMapWith(FsSecRun& s, const Map& m, Put putValue)
{
    s << uint32_t(m.size());
    s.putBlank();
    for (const auto& e : m) {
        if (s.hasError()) break;
        s << e.first;
        s.putBlank();
        putValue(e.second);
        s.putBlank();
    }
    return s;
}

template <class Map, class Get>
FsSecCl& getMapWith(FsSecCl& s, Map& m, Get getValue)
{
    m.clear();
    uint32_t n = 0;
    s >> n;
    for (uint32_t i = 0; i < n && !s.hasError(); ++i) {
        int32_t key = 0;
        typename Map::mapped_type value{};
        s >> key;
        getValue(value);
        if (!s.hasError()) m.emplace(key, std::move(value));
    }
    checkCount(s, n, m.size());
    return s;
}

FsSecRun& putMap(FsSecRun& s, const CBoAlmIdxValueMap& m)
{
    return putMapWith(s, m, [&](int32_t v) { s << v; });
}

FsSecCl& getMap(FsSecCl& s, CBoAlmIdxValueMap& m)
{
    return getMapWith(s, m, [&](int32_t& v) { s >> v; });
}

FsSecRun& putMap(FsSecRun& s, const CBoAlmIdxListMap& m)
{
    return putMapWith(s, m, [&](const CBoAlmValueList& l) { putList(s, l); });
}

FsSecCl& getMap(FsSecCl& s, CBoAlmIdxListMap& m)
{
    return getMapWith(s, m, [&](CBoAlmValueList& l) { getList(s, l); });
}

FsSecRun& putMap(FsSecRun& s, const std::map<int32_t, uint32_t>& m)
{
    return putMapWith(s, m, [&](uint32_t v) { s << v; });
}

FsSecCl& getMap(FsSecCl& s, std::map<int32_t, uint32_t>& m)
{
    return getMapWith(s, m, [&](uint32_t& v) { s >> v; });
}

}  // namespace boalc

using namespace boalc;

FsSecCl& operator<<(FsSecCl& s, const CBoAlarmType& t)
{
    FsSecRun run(s);
    putRecord(run, t);
    return s;
}

void putRecord(FsSecRun& s, const CBoAlarmType& t)
{
    s << t.m_alarmId << " " << t.m_nameIdx;
    s.putNewLine();
    for (int a = 0; a < AlmGlobalCount; ++a) {
        if (a > 0) s.putNewLine();
        s << t.attr(a).def;
        putByteBlank(s);
        putList(s, t.attr(a).allowed);
    }
    s << " ";
    putMap(s, t.m_reactionTexts);
    s.putNewLine();
    putMap(s, t.m_defaultReactions);
    s.putNewLine();
    putMap(s, t.m_possibleReactions);
    s.putNewLine();
    putMap(s, t.m_paramTexts);
    s.putNewLine();
    putMap(s, t.m_defaultParams);
    s.putNewLine();
    putMap(s, t.m_possibleParams);
}

FsSecCl& operator>>(FsSecCl& s, CBoAlarmType& t)
{
    s >> t.m_alarmId;
    getByteBlank(s);
    s >> t.m_nameIdx;
    for (int a = 0; a < AlmGlobalCount; ++a) {
        s >> t.attr(a).def;
        getByteBlank(s);
        getList(s, t.attr(a).allowed);
    }
    getByteBlank(s);
    getMap(s, t.m_reactionTexts);
    getMap(s, t.m_defaultReactions);
    getMap(s, t.m_possibleReactions);
    getMap(s, t.m_paramTexts);
    getMap(s, t.m_defaultParams);
    getMap(s, t.m_possibleParams);
    return s;
}

CBoAlmTypeCont::~CBoAlmTypeCont() = default;

uint32_t CBoAlmTypeCont::loadData()
{
    TV_TRACE(4, kTraceFile, "CBoAlmTypeCont::loadData", "loadData must be overwritten");
    return BoAlmAbsent;
}

bool CBoAlmTypeCont::addAlarmType(uint32_t alarmId, CBoAlarmType* type)
{
    if (!type) return false;
    // The compiler adds its types by ascending id: one above every id
    // present goes to the end without a search.
    if (m_types.empty() || m_types.rbegin()->first < alarmId) {
        m_types.emplace_hint(m_types.end(), alarmId, std::unique_ptr<CBoAlarmType>(type));
        return true;
    }
    if (m_types.count(alarmId)) return false;
    m_types.emplace(alarmId, std::unique_ptr<CBoAlarmType>(type));
    return true;
}

const CBoAlarmType* CBoAlmTypeCont::findAlarmType(uint32_t alarmId) const
{
    auto it = m_types.find(alarmId);
    return it == m_types.end() ? nullptr : it->second.get();
}

String CBoAlmTypeCont::getStringTableText(int32_t ordinal) const
{
    auto it = m_stringIds.find(ordinal);
    if (it == m_stringIds.end()) {
        TV_TRACE(3, kTraceFile, "CBoAlmTypeCont::getStringTableText", "text not found for idx %i", ordinal);
        return String("");
    }
    const tvp::ResModule* module = m_module ? *m_module : nullptr;
    if (!module) return String("");
    // A text that fills the buffer may be longer: load again into twice
    // the room until it fits.
    std::vector<char> buf(256);
    int n = 0;
    for (;;) {
        n = tvp::loadStringA(module, uint32_t(it->second), buf.data(), int(buf.size()));
        if (n != int(buf.size()) - 1) break;
        buf.resize(buf.size() * 2);
    }
    return n == 0 ? String("") : String(buf.data(), n);
}

bool CBoAlmTypeCont::save(FsSecCl& s) const
{
    if (s.setSize(0) != 0) return false;  // no list behind an old tail
    {
        FsSecRun run(s);
        putIdList(run, m_types, true);
        run.flush();
        if (!run.hasError()) {
            run.putNewLine();
            putMap(run, m_valueList);
        }
    }
    return !s.hasError();
}

bool CBoAlmTypeCont::load(FsSecCl& s)
{
    clear();
    // A repeated id ends the read as a count that does not match.
    if (!getIdList(s, m_types, true)) s.setError(BoAlmCountMismatch);
    getMap(s, m_valueList);
    return !s.hasError();
}

void CBoAlmTypeCont::clear()
{
    m_types.clear();
    m_stringIds.clear();
    m_valueList.clear();
}
