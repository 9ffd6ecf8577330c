// GUID ordering and text conversion for streams, and the two-word id pair.
#pragma once
#include <cstdint>
#include <istream>
#include <ostream>

#include "platform/wintypes.h"

// Numeric order: Data1, Data2, Data3 as unsigned numbers, then Data4 byte by
// byte from the first. Equal GUIDs are not less.
bool guidLess(const GUID& a, const GUID& b);

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return guidLess(a, b); }
};

// Inserts "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case).
std::ostream& writeGuidText(std::ostream& os, const GUID& guid);
// Extracts one blank-separated word and reads it as a braced GUID; sets
// failbit (guid untouched) when the word is not one.
std::istream& readGuidText(std::istream& is, GUID& guid);

// Two 16-bit ids; both 0xFFFF means invalid.
struct ShortIdPair {
    uint16_t m_first = 0xFFFF;
    uint16_t m_second = 0xFFFF;

    ShortIdPair() = default;
    ShortIdPair(uint16_t first, uint16_t second) : m_first(first), m_second(second) {}
    // Lower 16 bits first, upper 16 bits second.
    static ShortIdPair fromDword(uint32_t v) { return ShortIdPair(uint16_t(v), uint16_t(v >> 16)); }
    uint32_t toDword() const { return uint32_t(m_first) | uint32_t(m_second) << 16; }

    void setInvalid() { m_first = m_second = 0xFFFF; }
    bool isInvalid() const { return m_first == 0xFFFF && m_second == 0xFFFF; }
    uint16_t first() const { return m_first; }
    uint16_t second() const { return m_second; }

    bool operator==(const ShortIdPair& o) const { return m_first == o.m_first && m_second == o.m_second; }
    bool operator!=(const ShortIdPair& o) const { return !(*this == o); }
};
static_assert(sizeof(ShortIdPair) == 4, "ShortIdPair is two 16-bit words");
