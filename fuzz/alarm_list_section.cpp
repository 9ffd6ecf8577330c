// Random bytes as a saved alarm list (the first byte chooses text or binary
// mode), applied with readAlarms to the alarms of two fixed alarm types and
// loaded with load: both end without crash, readAlarms with one of its
// codes, and a list that loads saves and loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bo/alc/BoAlarm.h"
#include "fuzz/alarm_section.h"

namespace {

void addType(CBoAlmTypeCont& c, uint32_t id)
{
    CBoAlarmType* t = new CBoAlarmType;
    t->m_alarmId = id;
    for (int a = 0; a < AlmGlobalCount; ++a) t->attr(a) = {0, {0, 1, 2}};
    t->m_reactionTexts = {{3, 1}};
    t->m_defaultReactions = {{3, 0}};
    t->m_possibleReactions = {{3, {0, 2}}};
    t->m_paramTexts = {{1, 1}};
    t->m_defaultParams = {{1, 2}};
    t->m_possibleParams = {{1, {2, 5}}};
    if (!c.addAlarmType(id, t)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool binary = data[0] & 1;
    CBoAlmTypeCont types;
    addType(types, 16);
    addType(types, 17);
    CBoAlmCont alarms(&types);
    alarms.createAlarms();

    FsSecClMem in;
    fillAlarmSection(in, binary, data, size);
    const uint32_t r = alarms.readAlarms(in);
    if (r != 0 && r != 1 && r != 12 && r != 13 && r != 27 && r != 38 && r != 0xFFFF) std::abort();

    in.clearError();
    in.seek(0, 0);
    CBoAlmCont loaded(&types);
    if (!loaded.load(in)) return 0;
    CBoAlmCont back(&types);
    checkSavesAgain(loaded, back, binary);
    return 0;
}
