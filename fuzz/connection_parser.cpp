// Random bytes as a connection section, compiled into a type descriptor in
// memory: the compiler must end without crash for any input with one of its
// results 0 to 4, and a result 0 must leave a "connectors" section that
// reads back as the connectors it collected.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/fs/FsDsc.h"
#include "fuzz/section_compile.h"
#include "tools/md/tavolin/MdConnectionParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTODscFile dsc;
    MdConnectionParser parser;
    const int32_t result = fuzzCompileSection(data, size, dsc, parser);
    if (result == 0) {
        FsSecCl* sec = dsc.openSect("connectors", 0);
        if (!sec) std::abort();
        FsConnectionList back;
        *sec >> back;
        if (sec->hasError() || back != parser.sectionList()) std::abort();
        dsc.CloseSect("connectors");
    }
    return 0;
}
