// Identifiers of the symbol table and their invalid / zero values.
//
// Every id is an unsigned number whose all-ones value means "invalid":
//   SID  symbol id of an entry          StSymbEntryID   (VRX_ID, 32 bit)
//   CID  constant id                    StConstEntryID  (VRX_ID, 32 bit)
//   TID  type id of the type table      StTypeID        (plain uint32_t)
//   VR / NR  validity range / name space ids of the range tables
//                                       StRangeID       (plain uint32_t)
//   connector interface id              VRXConIfID      (VRX_ID, 16 bit)
// Ids print as unsigned decimals, so an invalid 32-bit id prints 4294967295.
//
// VRX_ID converts implicitly from and to its value type, so it orders and
// compares like the number it holds; two kinds never convert into each
// other implicitly (that would take two user conversions). A test for an
// invalid id compares with the invalid constant of the id's own kind.
#pragma once
#include <cstdint>

template <typename T, typename Tag>
class VRX_ID {
public:
    using value_type = T;
    static constexpr T INVALID_VALUE = T(~T(0));

    // A default id is invalid.
    constexpr VRX_ID() noexcept : m_id(INVALID_VALUE) {}
    constexpr VRX_ID(T value) noexcept : m_id(value) {}
    constexpr operator T() const noexcept { return m_id; }

    constexpr T get() const noexcept { return m_id; }
    // For stream readers that fill the value in place.
    T& ref() noexcept { return m_id; }
    constexpr bool isValid() const noexcept { return m_id != INVALID_VALUE; }
    constexpr bool isInvalid() const noexcept { return m_id == INVALID_VALUE; }
    void setInvalid() noexcept { m_id = INVALID_VALUE; }

    static constexpr VRX_ID invalid() noexcept { return VRX_ID(INVALID_VALUE); }
    static constexpr VRX_ID zero() noexcept { return VRX_ID(T(0)); }

private:
    T m_id;
};

struct tagStSymbEntryID {};
struct tagStConstEntryID {};
struct tagVRXConIfID {};

using StSymbEntryID = VRX_ID<uint32_t, tagStSymbEntryID>;
using StConstEntryID = VRX_ID<uint32_t, tagStConstEntryID>;
using VRXConIfID = VRX_ID<uint16_t, tagVRXConIfID>;
using StTypeID = uint32_t;
using StRangeID = uint32_t;

// The six invalid / zero pairs, fixed before any table exists.
constexpr StTypeID ST_INVALID_TID = 0xFFFFFFFFu;
constexpr StTypeID ST_ZERO_TID = 0;
constexpr StSymbEntryID ST_INVALID_SID = StSymbEntryID::invalid();
constexpr StSymbEntryID ST_ZERO_SID = StSymbEntryID::zero();
constexpr StConstEntryID ST_INVALID_CID = StConstEntryID::invalid();
constexpr StConstEntryID ST_ZERO_CID = StConstEntryID::zero();
constexpr StRangeID ST_INVALID_VR = 0xFFFFFFFFu;
constexpr StRangeID ST_ZERO_VR = 0;
constexpr StRangeID ST_INVALID_NR = 0xFFFFFFFFu;
constexpr StRangeID ST_ZERO_NR = 0;
constexpr VRXConIfID VRX_INVALID_CONIF = VRXConIfID::invalid();
constexpr VRXConIfID VRX_ZERO_CONIF = VRXConIfID::zero();
// Range ids of either table (VR or NR) share one invalid value.
constexpr StRangeID ST_INVALID_RANGE = 0xFFFFFFFFu;
