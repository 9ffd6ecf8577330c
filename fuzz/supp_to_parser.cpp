// Random bytes as a supported technology-object section, compiled into a
// package descriptor in memory: the compiler must end without crash for any
// input with one of its results 0 to 4, and a result 0 must leave an
// "rttotypes" section that reads back as the types it collected.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/fs/FsDsc.h"
#include "fuzz/section_compile.h"
#include "tools/md/tavolin/MdSuppTOParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTPDscFile dsc;
    MdSuppTOParser parser;
    const int32_t result = fuzzCompileSection(data, size, dsc, parser);
    if (result == 0) {
        FsSecCl* sec = dsc.openSect("rttotypes", 0);
        if (!sec) std::abort();
        std::list<FsSupportedToTypeEntry> back;
        *sec >> back;
        if (sec->hasError() || back.size() != parser.types().size()) std::abort();
        dsc.CloseSect("rttotypes");
    }
    return 0;
}
