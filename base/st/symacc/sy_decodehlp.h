// Names and ids of technology objects, tasks and alarms, converted both ways
// through the host's project interfaces.
//
// Two host objects go to every function: the navigation object (on which
// IMC_ProjectNavigate, IMC_PmObjectData and the accessor factory are
// queried) and the identity object of the item being compiled. The TO
// functions take (navigation, identity), the task and alarm functions
// (identity, navigation). Both may be null (product runs have no host).
//
// Results: 0 success; a host call's return code (0xFFFF when it gave none);
// 25 the TO is not online-identical (the output is set all the same);
// kSyNoInterface a needed host interface is missing; kSyNoTOAtAddress no TO
// has the address; kSyNoNavigation IMC_ProjectNavigate or IMC_PmObjectData is
// missing or the identity's id cannot be read; kSyTaskInconsistent the task
// is not online-consistent; in getTOAddress a name-parse result below
// 0x10000 with 0xBE04 in the upper half. Outputs keep their preset values
// ("???", the nil texts, ids preset by the caller) unless a step succeeded.
// Every failure writes one trace line (source "sy_decodehlp"); nothing
// throws.
#pragma once
#include <cstdint>
#include <map>

#include "co/tvstring.h"
#include "platform/hostproject.h"

constexpr uint32_t kSyNotOnlineIdentical = 25;
constexpr uint32_t kSyNoInterface = 0xBE04000A;
constexpr uint32_t kSyNoTOAtAddress = 0xBE04000D;
constexpr uint32_t kSyNoNavigation = 0xBE04FFFF;
constexpr uint32_t kSyTaskInconsistent = 0xBE100019;

// A TO's system address: device part, object part ("%d.%d") and a word.
// The device part 0xFFFF means the device of the item being compiled.
using SyTOAddress = PmInstAddr;

class CSyDecodeHelper {
public:
    // "" or "TO#NIL" (any case): 0.0, result 0. Otherwise the TO's address as
    // its own device sees it, the third word 0.
    static uint32_t getTOAddress(const String& name, SyTOAddress* address, IUnknown* navigation,
                                 IUnknown* identity);
    // The TO's object id; a failed parse returns the parse result and leaves
    // *id as preset.
    static uint32_t getTOID(const String& name, ESObjectID* id, IUnknown* navigation, IUnknown* identity);
    // "_to.<TO>" for a TO on the item's own device, "<device>._to.<TO>"
    // otherwise; "TO#NIL" for an empty address (object part and word 0).
    static uint32_t getTOName(const SyTOAddress& address, String* name, IUnknown* navigation, IUnknown* identity);

    // "" or "STRUCTTASKID#NIL": 0 with id 0.
    static uint32_t getTaskID(const String& name, uint32_t* taskID, IUnknown* identity, IUnknown* navigation);
    // Ids 0 and 0xFFFFFFFF that the host does not know give "STRUCTTASKID#NIL"
    // and 0. Any other id the host names no name for gets an empty name; then,
    // as after a found name, 0 when the task decodes (canDecodeTask) and
    // kSyTaskInconsistent when it does not. name is "???" while no step ran.
    static uint32_t getTaskName(const uint32_t& taskID, String* name, IUnknown* identity, IUnknown* navigation);
    static uint32_t getTaskNameMap(IUnknown* identity, IUnknown* navigation, std::map<String, uint32_t>* map);

    // "" or "STRUCTALARMID#NIL": 0 with id 0; "STRUCTALARMID#<n>" with a
    // decimal n that fits 32 bits: n without asking the host; else the name
    // through the alarm navigation.
    static uint32_t getAlarmID(const String& text, uint32_t* alarmID, IUnknown* identity, IUnknown* navigation);
    // The alarm's name; when the host cannot tell, "STRUCTALARMID#<n>" (or
    // "STRUCTALARMID#NIL" for 0), still with result 0.
    static uint32_t getAlarmName(const uint32_t& alarmID, String* name, IUnknown* identity, IUnknown* navigation);

    // Helpers, public for their tests.
    static uint32_t canDecodeTask(uint32_t taskID, IMC_TaskExtProps* props);
    static bool isObjectOnlIdentic(IMC_PmObjectData* data, const ESObjectID& id);
    static uint32_t getPmObjAccIF(IUnknown* navigation, ComPtr<IMC_ObjectAccessor>& accessor);
    static uint32_t getAlarmNavIF(IUnknown* identity, IUnknown* navigation, ComPtr<IMC_Alarm_S_Navigate>& alarmNav,
                                  ComPtr<IMC_ObjectAccessor>& accessor);
    static uint32_t getDevIdentIF(IUnknown* identity, IUnknown* navigation, ComPtr<IUnknown>& deviceIdentity,
                                  ComPtr<IMC_ObjectAccessor>& accessor);
};
