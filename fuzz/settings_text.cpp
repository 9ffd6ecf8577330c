// Settings file parser: arbitrary text must never crash, and what the writer
// produces must read back to the same content.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/settings_store.h"

namespace {

void roundTrip(const std::string& text)
{
    tvp::settingsLoadText(text);
    std::string first = tvp::settingsToText();
    tvp::settingsLoadText(first);
    if (tvp::settingsToText() != first) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    roundTrip(text);
    // Random bytes rarely form a key line; give them one.
    roundTrip("[HKLM\\Key]\n" + text);
    roundTrip("[HKCU\\Key]\n\"v\"=" + text);
    return 0;
}
