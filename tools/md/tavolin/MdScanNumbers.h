// Number conversion of the section scanners: digits as the scanner matched
// them, checked against the range of the field they fill.
#pragma once

#include <cstdint>

// Converts the digits of text (radix 10 or 16; the scanner's pattern has
// checked that only such digits follow) into value. False (value untouched)
// when the number is above max.
inline bool mdScanNumber(const char* text, unsigned radix, uint32_t max, uint32_t& value)
{
    uint64_t v = 0;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        const unsigned d = c >= '0' && c <= '9' ? unsigned(c - '0') : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                                                                                           : unsigned(c - 'A' + 10);
        v = v * radix + d;
        if (v > max) return false;
    }
    value = uint32_t(v);
    return true;
}
