// Arbitrary-precision signed integer with 16-bit digits.
//
// Integer literals of constants are read with it (any size, bases 2 to 36)
// and checked against the 32-bit ranges of the elementary types.
//
// Representation: length, capacity and sign (1 for zero and positive values,
// 0 for negative ones) as 16-bit words, then the digits in base 65536, least
// significant first. Results are kept in normal form: no leading zero digit,
// zero has length 0 and is non-negative. Representations of up to 5 digits
// live in one 16-byte block of the small-object pool, larger ones on the
// heap; an operation reuses its target's representation whenever it is large
// enough. Three static representations (0, 1 and -1, capacity 0) are shared
// and never written or freed.
//
// Programming errors (an Integer that was never given a value, a zero
// divisor, more than 65532 digits) go to the process-wide error hook with the
// class name "Integer". The default hook aborts. Should an installed hook
// return, a zero divisor gives quotient 0 and remainder x, an uninitialised
// operand counts as 0, and an oversized result throws std::length_error.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

struct IntRep {
    uint16_t len;   // digits in use
    uint16_t sz;    // digits the block can hold; 0: static, never written
    uint16_t sgn;   // 1: zero or positive, 0: negative
    uint16_t s[];   // digits, least significant first
};

class Integer {
public:
    Integer() : m_rep(nullptr) {}   // no value yet
    Integer(int32_t v);
    Integer(uint32_t v);
    Integer(int64_t v);
    Integer(const Integer& other);
    Integer(Integer&& other) noexcept : m_rep(other.m_rep) { other.m_rep = nullptr; }
    ~Integer();

    Integer& operator=(const Integer& other);
    Integer& operator=(Integer&& other) noexcept;
    Integer& operator=(int32_t v);

    // Skips white space, takes an optional '-' or '+', then digits '0'-'9',
    // 'a'-'z' / 'A'-'Z' (10-35) up to the first character whose value is not
    // below `base`. No digit gives 0; a null text gives 0. A number too long
    // for the largest representation (65532 digits of 16 bits) keeps the
    // value of its leading digits instead of calling the error hook.
    static Integer fromString(const char* text, int base = 10);

    bool isInitialized() const { return m_rep != nullptr; }
    bool isZero() const;
    bool isNegative() const;
    int sign() const;   // -1, 0 or 1

    // True when the value fits a signed 32-bit long.
    bool fitsLong() const;
    // The value, or 0x7FFFFFFF / 0x80000000 when it does not fit.
    int32_t toLong() const;

    // Three-way comparison: negative, 0 or positive.
    int compare(const Integer& other) const;
    int compare(int32_t v) const;
    // Comparison of the magnitudes only.
    int compareMagnitude(const Integer& other) const;

    Integer operator-() const;
    Integer abs() const;
    void negate();

    Integer& operator+=(const Integer& y);
    Integer& operator-=(const Integer& y);
    Integer& operator*=(const Integer& y);
    Integer& operator/=(const Integer& y);
    Integer& operator%=(const Integer& y);
    Integer& operator+=(int32_t y);
    Integer& operator-=(int32_t y);
    Integer& operator*=(int32_t y);
    Integer& operator/=(int32_t y);
    Integer& operator%=(int32_t y);

    // Truncating division: the quotient rounds toward zero, the remainder
    // has the sign of x (-7 / 2 = -3 remainder -1).
    static void divide(const Integer& x, const Integer& y, Integer& quotient, Integer& remainder);
    static void divide(const Integer& x, int32_t y, Integer& quotient, int32_t& remainder);

    // Bit operations see a value in two's complement with as many leading
    // sign bits as needed (as Python's integers do): -1 is all ones, ~x is
    // -x - 1, and a right shift rounds toward minus infinity (-5 >> 1 is -3).
    // A negative shift count shifts the other way; a left shift past the
    // largest representation goes to the error hook.
    Integer& operator<<=(int32_t n);
    Integer& operator>>=(int32_t n);
    Integer& operator&=(const Integer& y);
    Integer& operator|=(const Integer& y);
    Integer& operator^=(const Integer& y);
    Integer operator~() const;

    // Number of bits of the magnitude (0 for zero; 255 and -255 have 8).
    uint32_t bitLength() const;
    // x to the power n (n >= 0; 0 to the power 0 is 1). A negative n gives
    // 0, or 1 / x for x = 1 and x = -1.
    static Integer pow(const Integer& x, int32_t n);
    // Greatest common divisor of the magnitudes, never negative; gcd(0, 0) = 0.
    static Integer gcd(const Integer& x, const Integer& y);
    // The largest Integer whose square is not above x. A negative x goes to
    // the error hook ("Attempted square root of negative Integer") and
    // gives 0.
    static Integer sqrt(const Integer& x);

    // Text in base 2..36 (other bases write base 10). Digits above 9 are
    // lower-case letters; a base prefix is "0" for base 8 and "0x" ("0X"
    // with upperPrefix) for base 16; the sign is '-', or '+' for a
    // non-negative value with showPos; the text is padded with `fill` to
    // `width`, after it when leftAdjust, else before it.
    std::string toText(int base = 10, bool showBase = false, bool upperPrefix = false,
                       bool showPos = false, int width = 0, char fill = ' ',
                       bool leftAdjust = false) const;

    // Number of digits in use and the capacity of the representation.
    unsigned digitCount() const;
    unsigned repCapacity() const;

    // Representation functions: each takes the target representation (reused
    // when it is writable and large enough, else released) and returns the
    // result representation.
    static IntRep* copyRep(IntRep* target, const IntRep* source);
    static IntRep* negateRep(IntRep* target, const IntRep* source);
    static IntRep* addLong(const IntRep* x, bool negateX, int32_t y, IntRep* target);
    static int compareRep(const IntRep* x, const IntRep* y);
    static void deleteRep(IntRep* rep);

private:
    friend std::istream& operator>>(std::istream& is, Integer& x);
    explicit Integer(IntRep* rep) : m_rep(rep) {}
    IntRep* m_rep;
};

Integer operator+(const Integer& x, const Integer& y);
Integer operator-(const Integer& x, const Integer& y);
Integer operator*(const Integer& x, const Integer& y);
Integer operator/(const Integer& x, const Integer& y);
Integer operator%(const Integer& x, const Integer& y);
Integer operator+(const Integer& x, int32_t y);
Integer operator-(const Integer& x, int32_t y);
Integer operator*(const Integer& x, int32_t y);
Integer operator/(const Integer& x, int32_t y);
Integer operator%(const Integer& x, int32_t y);

Integer operator<<(const Integer& x, int32_t n);
Integer operator>>(const Integer& x, int32_t n);
Integer operator&(const Integer& x, const Integer& y);
Integer operator|(const Integer& x, const Integer& y);
Integer operator^(const Integer& x, const Integer& y);

inline bool operator==(const Integer& x, const Integer& y) { return x.compare(y) == 0; }
inline bool operator!=(const Integer& x, const Integer& y) { return x.compare(y) != 0; }
inline bool operator<(const Integer& x, const Integer& y) { return x.compare(y) < 0; }
inline bool operator<=(const Integer& x, const Integer& y) { return x.compare(y) <= 0; }
inline bool operator>(const Integer& x, const Integer& y) { return x.compare(y) > 0; }
inline bool operator>=(const Integer& x, const Integer& y) { return x.compare(y) >= 0; }
inline bool operator==(const Integer& x, int32_t y) { return x.compare(y) == 0; }
inline bool operator!=(const Integer& x, int32_t y) { return x.compare(y) != 0; }
inline bool operator<(const Integer& x, int32_t y) { return x.compare(y) < 0; }
inline bool operator<=(const Integer& x, int32_t y) { return x.compare(y) <= 0; }
inline bool operator>(const Integer& x, int32_t y) { return x.compare(y) > 0; }
inline bool operator>=(const Integer& x, int32_t y) { return x.compare(y) >= 0; }

// Writes toText with the stream's base (hex, oct, else decimal), showbase,
// uppercase, showpos, width (reset to 0 afterwards), fill and left adjust.
std::ostream& operator<<(std::ostream& os, const Integer& x);
// Skips white space, takes an optional sign (white space after it is
// skipped too); the base is the stream's (hex 16, oct 8), or with no base
// flag "0x"/"0X" selects 16 and a leading "0" selects 8, else 10. Reads
// digits while their value is below the base and leaves the first other
// character in the stream. No digit at all sets failbit. Overlong numbers
// are read as by fromString.
std::istream& operator>>(std::istream& is, Integer& x);
