// Message-text modules are read from resource-script files that users may
// edit by hand: any bytes must load without a crash, and every id found must
// look up consistently.
#include "platform/resmodule.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto mod = tvp::ResModule::fromText(std::string(reinterpret_cast<const char*>(data), size));
    if (!mod) return 0;
    char16_t buf[8];
    for (uint32_t id = 0; id < 64; ++id) {
        std::u16string text;
        bool found = mod->lookup(id, text);
        int n = mod->loadString(id, buf, 8);
        if (n < 0 || n > 7 || buf[n] != 0) std::abort();
        if (!found && n != 0) std::abort();
    }
    return 0;
}
