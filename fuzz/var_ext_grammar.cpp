// Random bytes (and mutations of valid sections) as a variables section,
// through the scanner and the grammar into a recorder of the actions. The
// first byte picks an action that stops the parse (or none). The parse must
// end with 0, 1, 2 or the stop's result; a stop must be the last action;
// every action takes at least one byte of input, so there are never more
// actions than bytes; and nothing the grammar holds may leak (sanitizer
// builds).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/tools/md/tavolin/varext_recorder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const kStops[] = {"", "cfg", "group", "entry", "resolve", "attrvalues", "attr",
                                         "headrange", "head", "Def", "undefitems", "value", "bit", "array", "dyn"};
    const size_t pick = size > 0 ? data[0] % (sizeof kStops / sizeof kStops[0]) : 0;
    const int stopResult = size > 0 && (data[0] & 0x80) ? 5 : 3;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    VarExtRecorder r;
    r.stopAt = kStops[pick];
    r.stopResult = stopResult;
    MdCompilerArgs args;
    args.stream = &in;
    r.init(args);
    const int result = r.parse();
    if (result != 0 && result != 1 && result != 2 && result != stopResult) std::abort();
    if (r.log.size() > size) std::abort();
    if (result == stopResult && pick != 0) {
        const std::string& last = r.log.empty() ? std::string() : r.log.back();
        if (last.compare(0, last.find(' '), kStops[pick]) != 0) std::abort();
    }
    if (result == 0 && !r.atEnd()) std::abort();
    return 0;
}
