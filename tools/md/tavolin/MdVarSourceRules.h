// The rules that the variable-extension and comment compilers share: how
// their scanners read numbers and strings and report a string or comment
// left open at the end of the input, how a variable name written with dots
// becomes one text, and how large an address range may be. Both scanners
// include this header in their "%{ %}" block and both compilers take their
// range checks from here, so the two sections read the same way.
//
// Numbers: a decimal number is unsigned and at most 2147483647 (what a
// 32-bit signed conversion can hold); a larger one is a scanner error with
// its text. A hexadecimal number is "16#" and one to eight digits of either
// case (the scanner's pattern limits the count), read as 32-bit unsigned.
//
// Strings: between double quotes, a backslash directly before a double
// quote stands for that quote, every other byte for itself (a backslash
// too, and line ends): mdStringValue of MdScannerSupport.h. Both scanners
// define the body of a string with the same pattern, STRBODY
// ([^"\\]|\\+[^\\])*, so that a quote after a backslash never closes it. A
// string or "(*" comment still open at the end of the input (`"a\"` is
// one) is a scanner error with '"' or '(*' as its text.
//
// Ranges: "$a-$b" covers a to b inclusive; it needs a below b (unsigned)
// and at most 65,536 addresses (one 64 K block). Anything else is refused
// before a single address is entered, and the walk counts in 64 bits so
// that the end address 0xFFFFFFFF cannot wrap.
#pragma once

#include <cstdint>

#include "co/tvstring.h"
#include "tools/md/tavolin/MdScannerSupport.h"

// The largest decimal number of the two sections.
constexpr uint32_t kMdMaxDecimal = 0x7FFFFFFFu;
// The most addresses one range statement may cover.
constexpr uint64_t kMdMaxRangeAddresses = 0x10000u;

// What the scanners pass to LexerError for a string or a comment that the
// input ends inside.
constexpr char kMdOpenString[] = "\"";
constexpr char kMdOpenComment[] = "(*";

// Decimal digits of text into value: false (value untouched) above
// kMdMaxDecimal.
inline bool mdScanDecimal(const char* text, uint32_t& value)
{
    return mdScanNumber(text, 10, kMdMaxDecimal, value);
}

// An optionally signed decimal number ("+" or "-" directly before the
// digits) into value: false (value untouched) outside the signed 32-bit
// range, so "-2147483648" is read and "2147483648" is not.
inline bool mdScanSignedDecimal(const char* text, int32_t& value)
{
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') ++text;
    uint32_t magnitude = 0;
    if (!mdScanNumber(text, 10, negative ? 0x80000000u : kMdMaxDecimal, magnitude)) return false;
    value = negative ? int32_t(0u - magnitude) : int32_t(magnitude);
    return true;
}

// Hexadecimal digits of any count into value as 32-bit unsigned: false
// (value untouched) when they have more than eight significant digits
// (leading zeros do not count).
inline bool mdScanWideHex(const char* digits, uint32_t& value)
{
    return mdScanNumber(digits, 16, 0xFFFFFFFFu, value);
}

// The hexadecimal digits after "16#" (at most eight, as the pattern allows).
inline uint32_t mdScanHex(const char* digits)
{
    uint32_t v = 0;
    mdScanNumber(digits, 16, 0xFFFFFFFFu, v);
    return v;
}

// Appends "." and part to a dotted name being read; takes part over.
inline String* mdJoinName(String* name, String* part)
{
    *name += '.';
    *name += *part;
    delete part;
    return name;
}

// Whether "$first-$last" may be entered: first below last, and no more
// than kMdMaxRangeAddresses addresses.
inline bool mdRangeAccepted(uint32_t first, uint32_t last)
{
    return first < last && uint64_t(last) - first + 1 <= kMdMaxRangeAddresses;
}

// Calls f(address) for every address from first to last inclusive; the
// counter is 64-bit, so last 0xFFFFFFFF ends the walk.
template <class F>
void mdForEachAddress(uint32_t first, uint32_t last, F f)
{
    for (uint64_t a = first; a <= last; ++a) f(uint32_t(a));
}
