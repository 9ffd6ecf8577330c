// Storage place: where a symbol entry or a constant lies in the memory of
// the target controller, and the segment codes of target addresses.
//
// A target address is a 32-bit word: the top byte is the segment, the low
// 24 bits the offset. A place keeps its offset (0x7FFFFFFF = no address) and
// answers its segment bits through segmentBits(), which every entry and
// constant class defines for its kind.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <stdexcept>

#include "base/st/stsymtab/StStoreMark.h"

constexpr int32_t ST_NO_ADDRESS = 0x7FFFFFFF;
constexpr uint32_t ST_SEGMENT_MASK = 0xFF000000u;
constexpr uint32_t ST_OFFSET_MASK = 0x00FFFFFFu;

// Segment codes of target addresses.
constexpr uint32_t ST_SEG_CONST = 0xFB000000u;      // Const, Func entries
constexpr uint32_t ST_SEG_FRAME = 0xFD000000u;      // FuncBlock, Program, Temp, Var
constexpr uint32_t ST_SEG_VAR2 = 0xFA000000u;       // Var with its second flag byte
constexpr uint32_t ST_SEG_INTERFACE = 0xF4000000u;  // InterfaceVar
constexpr uint32_t ST_SEG_IMAGE_A = 0xF8000000u;    // process images of direct variables
constexpr uint32_t ST_SEG_IMAGE_B = 0xF6000000u;
constexpr uint32_t ST_SEG_FC = 0xFC000000u;
constexpr uint32_t ST_SEG_NONE = 0xFFFFFFFFu;       // kinds without a segment

// True when the address lies in one of the two process-image segments.
inline bool stInImageSegment(int32_t address)
{
    const uint32_t seg = uint32_t(address) & ST_SEGMENT_MASK;
    return seg == ST_SEG_IMAGE_A || seg == ST_SEG_IMAGE_B;
}

// Thrown by getAddress of a place that has no address.
class StNoAddressError : public std::logic_error {
public:
    StNoAddressError() : std::logic_error("storage place without address") {}
};

class StSyStoragePlace : public StStoreMark {
public:
    StSyStoragePlace() = default;
    StSyStoragePlace(const StSyStoragePlace&) = default;
    StSyStoragePlace& operator=(const StSyStoragePlace&) = default;
    virtual ~StSyStoragePlace() = default;

    // Segment bits of the place's kind (top byte of its target address).
    virtual uint32_t segmentBits() const = 0;
    // " Adr: <hex address> Seg: <hex segment bits>"; the stream is left
    // in decimal. Entries and constants print more.
    virtual void dump(std::ostream& os) const { dumpPlace(os); }

    int32_t getStorageAddress() const { return m_address; }
    void setStorageAddress(int32_t address) { m_address = address; }
    bool hasAddress() const { return m_address != ST_NO_ADDRESS; }
    // segment bits | ((address + offset) & 0xFFFFFF); throws
    // StNoAddressError when the place has no address.
    uint32_t getAddress(int32_t offset = 0) const;

protected:
    void dumpPlace(std::ostream& os) const;

    int32_t m_address = ST_NO_ADDRESS;
};
