// Bridges between WString and std::u16string, in which the message code
// assembles its texts.
#pragma once
#include <string>

#include "co/tvwstring.h"

namespace cm {

inline std::u16string toU16(const WString& w)
{
    return std::u16string(w.units(), static_cast<std::size_t>(w.length()));
}
inline WString toWString(const std::u16string& s) { return WString(s); }

}  // namespace cm
