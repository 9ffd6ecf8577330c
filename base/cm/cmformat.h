// Number texts of the message handler, in the forms the host's messages have
// always shown them. All results are UTF-16.
#pragma once
#include <cstdint>
#include <string>

namespace cm {

std::u16string ascii(const char* s);
std::u16string decimal(uint32_t v);
std::u16string decimalSigned(int32_t v);
// Lower-case hexadecimal digits without prefix ("1f").
std::u16string hexLower(uint32_t v);
std::u16string hexUpper(uint32_t v);
std::u16string binary(uint32_t v);
// Decimal below 0x10000, else "0x" and lower-case hexadecimal digits.
std::u16string numberText(uint32_t id);
// Puts "_" in front of every group of four digits, counted from the right,
// that has more digits in front of it: "1F2A3B" -> "1F_2A3B".
std::u16string groupFours(const std::u16string& digits);

// `digits` significant digits, fixed-point when the decimal exponent lies in
// -1 .. digits-1, else exponential with a signed three-digit exponent;
// trailing zeros of the fraction are dropped but the point stays:
// 100 -> "100.", 0.5 -> "0.5", 1e20 (8 digits) -> "1.e+020", 0.01 -> "1.e-002".
// At most 17 digits are significant; further digits are zeros.
std::string gcvt(double value, int digits);

}  // namespace cm
