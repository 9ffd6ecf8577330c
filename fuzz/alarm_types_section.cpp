// Random bytes as the section "almcfg" (the first byte chooses text or
// binary mode): the reader ends without crash, and what it reads without
// error saves to bytes that read and save again to the same bytes.
#include <cstddef>
#include <cstdint>

#include "bo/alc/BoAlarmType.h"
#include "fuzz/alarm_section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool binary = data[0] & 1;
    FsSecClMem in;
    fillAlarmSection(in, binary, data, size);
    CBoAlmTypeCont types;
    if (!types.load(in)) return 0;
    CBoAlmTypeCont back;
    checkSavesAgain(types, back, binary);
    return 0;
}
