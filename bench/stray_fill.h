// What fills the stray sections of the benchmarks: a byte repeated, or one
// long identifier (small letters and underscores: in the variables section
// it begins no token, in the comment section it is one name). Each is
// refused; the benchmarks set its time beside the compile of a valid source
// of the same size.
#pragma once

#include <cstddef>
#include <string>

namespace strayfill {

struct Fill {
    const char* name;
    char byte;
    bool identifier;
};
inline constexpr Fill kFills[] = {{"NUL", '\0', false}, {"'*'", '*', false}, {"'E'", 'E', false},
                                  {"'a'", 'a', false}, {"identifier", 0, true}};

// bytes of the fill.
inline std::string body(const Fill& fill, std::size_t bytes)
{
    if (!fill.identifier) return std::string(bytes, fill.byte);
    static const std::string kPart = "axis_velocity_limit_";
    std::string s;
    s.reserve(bytes + kPart.size());
    while (s.size() < bytes) s += kPart;
    s.resize(bytes);
    return s;
}

}  // namespace strayfill
