// Alarms of a technology-object instance: the values actually chosen for
// each alarm of the type, validated against the alarm types on every
// change, with a configuration version computed as an MD5 digest of all
// actual values.
//
// Layouts (see BoAlarmType.h for SEP, NL, BL and the maps):
//   alarm:       l reaction BL l confirmation BL l type BL l diag BL,
//                local reactions (map), NL, local parameters (map)
//   alarm list:  u count, per alarm (ascending id): BL u id BL alarm
//
// Result codes of the setters: 0 done (also when the value was set
// already); 0xFFFF no type container, or no alarm with this id; 13 no
// alarm type with this id; 12 value not allowed. On any code but 0 the
// container is unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "bo/alc/BoAlarmType.h"
#include "co/CoCrypt.h"
#include "co/VersionStamp.h"

class CBoGlobalAlarm {
public:
    CBoGlobalAlarm() = default;
    CBoGlobalAlarm(uint32_t reaction, uint32_t confirm, uint32_t type, uint32_t diag)
        : m_values{reaction, confirm, type, diag}
    {
    }
    virtual ~CBoGlobalAlarm() = default;

    // Actual value of a global attribute (CBoAlmGlobalAttr).
    uint32_t m_values[AlmGlobalCount] = {0, 0, 0, 0};
};

class CBoLocalAlarm {
public:
    CBoLocalAlarm() = default;
    CBoLocalAlarm(const CBoAlmIdxValueMap& reactions, const CBoAlmIdxValueMap& params)
        : m_reactions(reactions), m_params(params)
    {
    }
    virtual ~CBoLocalAlarm() = default;

    CBoAlmIdxValueMap m_reactions;  // index -> actual value
    CBoAlmIdxValueMap m_params;
};

class CBoAlarm : public CBoGlobalAlarm, public CBoLocalAlarm {
public:
    CBoAlarm() = default;
    CBoAlarm(uint32_t reaction, uint32_t confirm, uint32_t type, uint32_t diag, const CBoAlmIdxValueMap& reactions,
             const CBoAlmIdxValueMap& params)
        : CBoGlobalAlarm(reaction, confirm, type, diag), CBoLocalAlarm(reactions, params)
    {
    }
};

FsSecCl& operator<<(FsSecCl& s, const CBoAlarm& a);
FsSecCl& operator>>(FsSecCl& s, CBoAlarm& a);
// The alarm's layout into a run of the section.
void putRecord(FsSecRun& s, const CBoAlarm& a);

class CBoAlmCont {
public:
    // types: not owned; may be null. The version starts as a new stamp.
    explicit CBoAlmCont(const CBoAlmTypeCont* types);
    virtual ~CBoAlmCont();
    CBoAlmCont(const CBoAlmCont&) = delete;
    CBoAlmCont& operator=(const CBoAlmCont&) = delete;

    // Default: the error trace "loadData must be overwritten" and 0xFFFF.
    virtual uint32_t loadData();
    // The version becomes the MD5 of every alarm's id, four global values
    // and local (index, value) pairs, ascending, as u32 little-endian;
    // version 0.0. A failing hash leaves the all-ones stamp and traces
    // "getHashAsGUID failed".
    virtual void calculateAlmCfgVersion();
    // Every change ends here; the base renews the version (new GUID, 0.0).
    virtual void notify(uint32_t code);
    virtual void setAlmCfgVersion(VRX_VersionStamp stamp);

    // One alarm per type (ascending id) with the type's defaults; an id
    // present already keeps its alarm. Sets the loaded flag. Nothing
    // without a type container.
    void createAlarms();

    // Global actual values; 0x7FFFFFFF for an unknown alarm.
    uint32_t getActGlobalReaction(uint32_t id) const { return actGlobal(id, AlmReaction); }
    uint32_t getActGlobalConfirm(uint32_t id) const { return actGlobal(id, AlmConfirm); }
    uint32_t getActGlobalType(uint32_t id) const { return actGlobal(id, AlmType); }
    uint32_t getActGlobalDiagBufferEntry(uint32_t id) const { return actGlobal(id, AlmDiagBuffer); }
    // The type's allowed values; empty without container or type.
    CBoAlmValueList getPossibleGlobalReaction(uint32_t id) const { return possibleGlobal(id, AlmReaction); }
    CBoAlmValueList getPossibleGlobalConfirm(uint32_t id) const { return possibleGlobal(id, AlmConfirm); }
    CBoAlmValueList getPossibleGlobalType(uint32_t id) const { return possibleGlobal(id, AlmType); }
    CBoAlmValueList getPossibleGlobalDiagBufferEntry(uint32_t id) const { return possibleGlobal(id, AlmDiagBuffer); }
    uint32_t setActGlobalReaction(uint32_t id, uint32_t v) { return setGlobal(id, AlmReaction, v); }
    uint32_t setActGlobalConfirm(uint32_t id, uint32_t v) { return setGlobal(id, AlmConfirm, v); }
    uint32_t setActGlobalType(uint32_t id, uint32_t v) { return setGlobal(id, AlmType, v); }
    uint32_t setActGlobalDiagBufferEntry(uint32_t id, uint32_t v) { return setGlobal(id, AlmDiagBuffer, v); }

    // The alarm's local values; empty for an unknown alarm.
    CBoAlmIdxValueMap getActLocalReactions(uint32_t id) const { return fromAlarm(id, &CBoAlarm::m_reactions); }
    CBoAlmIdxValueMap getActLocalParams(uint32_t id) const { return fromAlarm(id, &CBoAlarm::m_params); }
    // The type's text ordinals by index; empty without container or type.
    CBoAlmIdxValueMap getLocalReactionTextIdx(uint32_t id) const { return fromType(id, &CBoAlarmType::m_reactionTexts); }
    CBoAlmIdxValueMap getLocalParamTextIdx(uint32_t id) const { return fromType(id, &CBoAlarmType::m_paramTexts); }
    // The type's allowed values of an index; empty when anything is missing.
    CBoAlmValueList getPossibleLocalReaction(uint32_t id, int32_t index) const { return possibleLocal(id, index, false); }
    CBoAlmValueList getPossibleLocalParam(uint32_t id, int32_t index) const { return possibleLocal(id, index, true); }
    // A value for an index that the alarm does not hold is not stored, but
    // the setter answers 0 and notifies all the same.
    uint32_t setActLocalReaction(uint32_t id, int32_t index, int32_t v) { return setLocal(id, index, v, false); }
    uint32_t setActLocalParam(uint32_t id, int32_t index, int32_t v) { return setLocal(id, index, v, true); }

    // The type container's text; empty without one.
    String getStringTableText(int32_t ordinal) const;
    // Alarm id -> name text, for every alarm type.
    std::map<uint32_t, String> getAlarmNames() const;

    // The alarm list: the section is emptied first (false, nothing written,
    // when it cannot be). True when the stream is good.
    bool save(FsSecCl& s) const;
    // Empties the container and reads an alarm list; false on a repeated
    // id or a stream error. The loaded flag tells the result.
    bool load(FsSecCl& s);
    // Reads an alarm list and applies it through the setters, alarm by
    // alarm, stopping at the first refusal (what was applied stays): 0; 1
    // a repeated id (nothing applied); 27 stream error; 38 the alarm count
    // or a local index set differs from the current ones; else the
    // refusing setter's code. Every failure writes its trace line.
    uint32_t readAlarms(FsSecCl& s);
    // Loaded flag false; every alarm deleted.
    void clear();

    const CVersionStamp& almCfgVersion() const { return m_version; }
    bool isLoaded() const { return m_loaded; }
    const std::map<uint32_t, std::unique_ptr<CBoAlarm>>& alarms() const { return m_alarms; }
    // The digest of calculateAlmCfgVersion through the given hasher.
    void calculateAlmCfgVersionWith(CoCryptHashVariant& hasher);

protected:
    uint32_t actGlobal(uint32_t id, int which) const;
    CBoAlmValueList possibleGlobal(uint32_t id, int which) const;
    CBoAlmValueList possibleLocal(uint32_t id, int32_t index, bool param) const;
    uint32_t setGlobal(uint32_t id, int which, uint32_t v);
    uint32_t setLocal(uint32_t id, int32_t index, int32_t v, bool param);
    const CBoAlarmType* typeOf(uint32_t id) const { return m_types ? m_types->findAlarmType(id) : nullptr; }
    CBoAlarm* alarmOf(uint32_t id) const;
    // A copy of a map of the alarm or of its type; empty when it is missing.
    template <class Owner>
    CBoAlmIdxValueMap fromAlarm(uint32_t id, CBoAlmIdxValueMap Owner::*map) const
    {
        const CBoAlarm* a = alarmOf(id);
        return a ? a->*map : CBoAlmIdxValueMap();
    }
    template <class Owner>
    CBoAlmIdxValueMap fromType(uint32_t id, CBoAlmIdxValueMap Owner::*map) const
    {
        const CBoAlarmType* t = typeOf(id);
        return t ? t->*map : CBoAlmIdxValueMap();
    }

    std::map<uint32_t, std::unique_ptr<CBoAlarm>> m_alarms;
    const CBoAlmTypeCont* m_types;
    CVersionStamp m_version;
    bool m_loaded = false;
};
