// Random bytes as a supported technology-object section, compiled into a
// package descriptor in memory: the compiler must end without crash for any
// input with one of its results 0 to 4, and a result 0 must leave an
// "rttotypes" section that reads back as the types it collected.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "tests/tools/md/tavolin/supp_to_compile.h"
#include "tools/md/tavolin/MdSuppTOParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTPDscFile dsc;
    if (dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    MdSuppTOParser parser;
    const int32_t result = compileSuppTO(parser, in, &dsc);
    if (result < 0 || result > 4) std::abort();
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
