// Random bytes (and mutations of valid sections) as an alarm section,
// compiled into a technology-object descriptor in memory with the script
// /dev/null: the compiler must end without crash with one of its results,
// and a result 0 must leave an "almcfg" that reads back as the types it
// collected.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/fs/FsDsc.h"
#include "fuzz/section_compile.h"
#include "tools/md/tavolin/MdAlarmParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTODscFile dsc;
    size_t types = 0;
    int32_t result;
    {
        MdAlarmParser parser;
        result = fuzzRunCompiler(data, size, dsc, parser, {"almcfg", "almstr"}, "/dev/null", 100);
        types = parser.alarmTypes().size();
    }
    if (!(result >= 0 && result <= 3) && result != 5 && result != 707) std::abort();
    if (result == 0) {
        FsSecCl* sec = dsc.openSect("almcfg", 0);
        if (!sec) std::abort();
        CBoAlmTypeCont back;
        if (!back.load(*sec) || back.alarmTypes().size() != types) std::abort();
        dsc.CloseSect("almcfg");
    }
    return 0;
}
