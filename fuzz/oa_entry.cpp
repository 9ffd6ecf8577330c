// Feeds arbitrary text to the decoder of OA consistency entries. It must
// never crash or read past the text; an entry it accepts, written again,
// decodes to the same id, name and flag.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "co/GlobTools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);   // stops at a NUL inside
    uint32_t id = 0;
    String name;
    bool pdi = false;
    if (!decodeOAConsEntry(text.c_str(), &id, &name, &pdi)) return 0;
    const String again = encodeOAConsEntry(id, name, pdi);
    uint32_t id2 = 1;
    String name2;
    bool pdi2 = !pdi;
    if (!decodeOAConsEntry(again.chars(), &id2, &name2, &pdi2) || id2 != id || !(name2 == name) || pdi2 != pdi)
        std::abort();
    return 0;
}
