// Random bytes as an implementation section: the compiler must end without
// crash for any input with one of its results 0, 1, 2 or 4, and it appends
// only when it accepted the section (result 0).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "co/GlobTools.h"
#include "tools/md/tavolin/MdImplParser.h"

namespace {

long long sizeOf(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_size : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string dir = createTempDirectory().c_str();
    static const std::string base = dir + "/impl";
    const std::string h = base + ".m4h", c = base + ".m4c";
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    MdImplParser parser;
    MdCompilerArgs args;
    args.stream = &in;
    args.outputBase = String(base.c_str());
    // The first byte's lowest bit plays the flag that compiles the section as empty.
    args.sectionMask = size > 0 ? data[0] & 1u : 0;
    parser.init(args);
    const int32_t result = parser.parse();
    if (result != 0 && result != 1 && result != 2 && result != 4) std::abort();
    if ((sizeOf(h) > 0) != (result == 0) || (sizeOf(c) > 0) != (result == 0)) std::abort();
    ::unlink(h.c_str());
    ::unlink(c.c_str());
    return 0;
}
