// Alarm types of a technology-object type: what values each attribute of an
// alarm may take and which it takes by default, and the container that the
// alarm section compiler fills and writes as the section "almcfg".
//
// Values and texts are plain 32-bit numbers: every default or allowed value
// and every text index is an ordinal of the section's alarm string table
// (0 for its first entry). The container's string-id map gives each ordinal
// its resource string id, its value list gives each numbered entry's
// ordinal that entry's number.
//
// Attributes: four global ones, always in the order reaction, confirmation,
// type, diagnostic-buffer entry (a default and a list of allowed values
// each), and two kinds of local ones keyed by a signed index: reactions
// (text, default, allowed list) and parameters (text, default, optional
// allowed list).
//
// Layouts (FsSecCl; text mode: decimal numbers; binary mode: 4 bytes
// little-endian). SEP is a blank and NL "\r\n" in text mode, nothing in
// binary mode; BL is one blank byte in both modes.
//   list:            u count SEP, then per value: l value SEP
//   map idx->value:  u count SEP, then per entry: l key SEP, l value SEP
//   map idx->list:   u count SEP, then per entry: l key SEP, list, SEP
//   alarm type:      u id, BL, l name, NL,
//                    4 x (l default, BL, list) with NL between them, BL,
//                    reaction texts NL default reactions NL allowed reactions NL
//                    parameter texts NL default parameters NL allowed parameters
//   "almcfg":        u count, per type (ascending id): BL u id BL type BL;
//                    then, unless the stream is in error, NL and the value
//                    list (map ordinal -> u number)
// Readers read the same fields; a map reader empties the map, stops at the
// first stream error and sets stream error 18 when the distinct keys read
// differ from the count. In binary mode a BL that is not a blank sets
// stream error 29.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "base/fs/FsSecCl.h"
#include "base/fs/FsSecRun.h"
#include "co/tvstring.h"

namespace tvp {
class ResModule;
}

// The global attributes, in their order.
enum CBoAlmGlobalAttr : int { AlmReaction = 0, AlmConfirm, AlmType, AlmDiagBuffer, AlmGlobalCount };

using CBoAlmValueList = std::vector<int32_t>;
using CBoAlmIdxValueMap = std::map<int32_t, int32_t>;
using CBoAlmIdxListMap = std::map<int32_t, CBoAlmValueList>;

// Result codes and stream errors of the alarm model.
enum : uint32_t {
    BoAlmOk = 0,
    BoAlmDuplicate = 1,       // an id read twice
    BoAlmNotAllowed = 12,     // value not in the allowed list
    BoAlmNoType = 13,         // no alarm type with this id
    BoAlmStreamRead = 27,     // stream in error after reading
    BoAlmCountMismatch = 18,  // stream error: count and entries differ
    BoAlmFormat = 29,         // stream error: a blank expected
    BoAlmMismatch = 38,       // stored data do not match the current types
    BoAlmAbsent = 0xFFFF,     // no type container, or no such alarm
};

class CBoGlobAlarmType {
public:
    struct Attr {
        int32_t def = 0;
        CBoAlmValueList allowed;  // source order, duplicates kept
    };

    CBoGlobAlarmType() = default;
    CBoGlobAlarmType(const Attr& reaction, const Attr& confirm, const Attr& type, const Attr& diag)
        : m_attr{reaction, confirm, type, diag}
    {
    }
    virtual ~CBoGlobAlarmType() = default;
    // Movable too: the compiler hands the parts it read to the type.
    CBoGlobAlarmType(const CBoGlobAlarmType&) = default;
    CBoGlobAlarmType(CBoGlobAlarmType&&) = default;
    CBoGlobAlarmType& operator=(const CBoGlobAlarmType&) = default;
    CBoGlobAlarmType& operator=(CBoGlobAlarmType&&) = default;

    const Attr& attr(int which) const { return m_attr[which]; }
    Attr& attr(int which) { return m_attr[which]; }

protected:
    Attr m_attr[AlmGlobalCount];
};

class CBoLocalAlarmType {
public:
    CBoLocalAlarmType() = default;
    virtual ~CBoLocalAlarmType() = default;
    CBoLocalAlarmType(const CBoLocalAlarmType&) = default;
    CBoLocalAlarmType(CBoLocalAlarmType&&) = default;
    CBoLocalAlarmType& operator=(const CBoLocalAlarmType&) = default;
    CBoLocalAlarmType& operator=(CBoLocalAlarmType&&) = default;

    CBoAlmIdxValueMap m_reactionTexts;     // index -> text ordinal
    CBoAlmIdxValueMap m_defaultReactions;  // index -> value
    CBoAlmIdxListMap m_possibleReactions;  // index -> allowed values
    CBoAlmIdxValueMap m_paramTexts;
    CBoAlmIdxValueMap m_defaultParams;
    CBoAlmIdxListMap m_possibleParams;     // only for parameters that have one
};

class CBoAlarmType : public CBoGlobAlarmType, public CBoLocalAlarmType {
public:
    CBoAlarmType() = default;
    CBoAlarmType(CBoGlobAlarmType global, CBoLocalAlarmType local, uint32_t alarmId, int32_t nameIdx)
        : CBoGlobAlarmType(std::move(global)), CBoLocalAlarmType(std::move(local)), m_alarmId(alarmId),
          m_nameIdx(nameIdx)
    {
    }
    CBoAlarmType(const CBoAlarmType&) = default;

    uint32_t m_alarmId = 0;  // the number after "VRX_ERROR"
    int32_t m_nameIdx = 0;   // text ordinal of the alarm's name
};

FsSecCl& operator<<(FsSecCl& s, const CBoAlarmType& t);
FsSecCl& operator>>(FsSecCl& s, CBoAlarmType& t);
// The alarm type's layout into a run of the section.
void putRecord(FsSecRun& s, const CBoAlarmType& t);

class CBoAlmTypeCont {
public:
    // module: where the handle of the text module is kept (null, or
    // pointing to null: no module).
    explicit CBoAlmTypeCont(const tvp::ResModule* const* module = nullptr) : m_module(module) {}
    virtual ~CBoAlmTypeCont();
    CBoAlmTypeCont(const CBoAlmTypeCont&) = delete;
    CBoAlmTypeCont& operator=(const CBoAlmTypeCont&) = delete;

    // Default: the error trace "loadData must be overwritten" and 0xFFFF.
    virtual uint32_t loadData();

    // Takes the type; false when the id is there already (the caller then
    // keeps it).
    bool addAlarmType(uint32_t alarmId, CBoAlarmType* type);
    const CBoAlarmType* findAlarmType(uint32_t alarmId) const;
    // The text of a string-table ordinal from the module: empty (trace
    // "text not found for idx %i") when the ordinal has no string id, empty
    // without a module or when the module lacks the string.
    String getStringTableText(int32_t ordinal) const;

    // "almcfg": the section is emptied first (false, nothing written, when
    // it cannot be). True when the stream is good at the end.
    bool save(FsSecCl& s) const;
    // Empties the container, then reads "almcfg". A repeated alarm id sets
    // stream error 18 and ends the read. True when the stream is good.
    bool load(FsSecCl& s);
    // Deletes every type and empties the three maps.
    void clear();

    const std::map<uint32_t, std::unique_ptr<CBoAlarmType>>& alarmTypes() const { return m_types; }
    std::map<int32_t, int32_t>& stringIds() { return m_stringIds; }
    const std::map<int32_t, int32_t>& stringIds() const { return m_stringIds; }
    std::map<int32_t, uint32_t>& valueList() { return m_valueList; }
    const std::map<int32_t, uint32_t>& valueList() const { return m_valueList; }

protected:
    std::map<uint32_t, std::unique_ptr<CBoAlarmType>> m_types;  // by alarm id
    std::map<int32_t, int32_t> m_stringIds;                      // ordinal -> resource string id
    std::map<int32_t, uint32_t> m_valueList;                     // ordinal -> entry number
    const tvp::ResModule* const* m_module;
};

// Stream pieces shared by the alarm layouts. The writers go through a run
// of the section (FsSecRun): a container writes some sixty fields per
// alarm.
namespace boalc {
// One blank byte in both modes; its reader checks it in binary mode.
void putByteBlank(FsSecRun& s);
void getByteBlank(FsSecCl& s);
FsSecRun& putList(FsSecRun& s, const CBoAlmValueList& l);
FsSecCl& getList(FsSecCl& s, CBoAlmValueList& l);
FsSecRun& putMap(FsSecRun& s, const CBoAlmIdxValueMap& m);
FsSecCl& getMap(FsSecCl& s, CBoAlmIdxValueMap& m);
FsSecRun& putMap(FsSecRun& s, const CBoAlmIdxListMap& m);
FsSecCl& getMap(FsSecCl& s, CBoAlmIdxListMap& m);
FsSecRun& putMap(FsSecRun& s, const std::map<int32_t, uint32_t>& m);
FsSecCl& getMap(FsSecCl& s, std::map<int32_t, uint32_t>& m);

// A list of records by id: u count, per record BL u id BL record (written
// by putRecord(s, record)), and a BL after each record when trailingBlank.
template <class T>
void putIdList(FsSecRun& s, const std::map<uint32_t, std::unique_ptr<T>>& m, bool trailingBlank)
{
    s << uint32_t(m.size());
    for (const auto& e : m) {
        if (s.hasError()) break;
        putByteBlank(s);
        s << e.first;
        putByteBlank(s);
        putRecord(s, *e.second);
        if (trailingBlank) putByteBlank(s);
    }
}

// Reads what putIdList wrote into m, stopping at the first stream error;
// false (the read ends, the record read is freed) when an id repeats.
template <class T>
bool getIdList(FsSecCl& s, std::map<uint32_t, std::unique_ptr<T>>& m, bool trailingBlank)
{
    uint32_t n = 0;
    s >> n;
    for (uint32_t i = 0; i < n && !s.hasError(); ++i) {
        uint32_t id = 0;
        getByteBlank(s);
        s >> id;
        getByteBlank(s);
        std::unique_ptr<T> record(new T);
        s >> *record;
        if (trailingBlank) getByteBlank(s);
        if (s.hasError()) break;
        if (!m.emplace(id, std::move(record)).second) return false;
    }
    return true;
}
}  // namespace boalc
