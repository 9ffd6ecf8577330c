// Random bytes (and mutations of valid sections) as an alarm section,
// compiled into a technology-object descriptor in memory with the script
// /dev/null: the compiler must end without crash with one of its results,
// and a result 0 must leave an "almcfg" that reads back as the types it
// collected.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/MdAlarmParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTODscFile dsc;
    if (dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    for (const char* name : {"almcfg", "almstr"})
        if (!dsc.getSect(name, FS_MODE_WRITE) || dsc.CloseSect(name) != 0) std::abort();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    size_t types = 0;
    int32_t result;
    {
        MdAlarmParser parser;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = String("/dev/null");
        args.firstStringId = 100;
        parser.init(args);
        result = parser.parse();
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
