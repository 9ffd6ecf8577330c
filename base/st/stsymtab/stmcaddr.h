// Address descriptors and type words for the target (McConvert, second
// half): fixed 10-byte descriptors, the data codes of the target, the
// classification of direct addresses and the bounded list of type words.
//
// Descriptors are written byte by byte, multi-byte fields big-endian:
//   byte    0x10 (area address)    0xA1          0xA2           0xA3
//   0       tag                    tag           tag            tag
//   1       data code              data code     data code      data code
//   2-3     repeat count           first         third          0
//   4-5     block (area 0x84)      second        first          first
//   6       area 0x81/0x82/0x84    u32 value     second (6-7)   second (6-7)
//   7-9     byte x 8 + bit         (6-9)         fourth (8-9)   third (8-9)
// A maker that fails (false) leaves the buffer untouched.
#pragma once
#include <cstdint>
#include <memory>

#include "base/st/stsymtab/stmcspec.h"

constexpr uint32_t MC_DESCRIPTOR_SIZE = 10;

// Type words: bits 24-31 record type, 16-23 a byte argument, 0-15 a value.
constexpr uint32_t MC_TW_ITEM = 1;    // elementary item: value = data code
constexpr uint32_t MC_TW_ARRAY = 2;   // array header: value = element count
constexpr uint32_t MC_TW_STRUCT = 4;  // structure header: value = members

// Result of classifyAddress.
struct McAddrClass {
    uint32_t kind = 0;   // 1 process image, 4 segment 0xFC
    uint32_t id = 0;
    uint32_t address = 0;
    uint32_t extra = 0;
    uint32_t value = 0;
};

// Bounded list of type words. Fill `count` with the wanted capacity, then
// allocate(); every add fails when the list is full or has no buffer.
class McTypeWordList {
public:
    // Largest capacity allocate() accepts (words).
    static constexpr uint32_t MAX_CAPACITY = 1u << 22;

    uint32_t capacity = 0;
    uint32_t count = 0;

    // False when a buffer exists already or the request is above
    // MAX_CAPACITY; otherwise allocates `count` words, makes that the
    // capacity, resets count to 0 and answers whether a buffer exists.
    bool allocate();
    void release();
    const uint32_t* words() const { return m_buffer.get(); }
    // Record 1: the data code of the word, padding byte.
    bool addItem(ESTypeSpec spec, uint8_t padding);
    // Record 2: element count, padding byte.
    bool addRecord2(uint32_t elementCount, uint8_t padding);
    // Record 4: member count, byte.
    bool addRecord4(uint32_t memberCount, uint8_t byte);

private:
    bool add(uint32_t word);
    std::unique_ptr<uint32_t[]> m_buffer;
};

namespace McConvert {

// Data code of a machine mode (0 when it has none).
uint32_t getDataCodeOfMode(uint32_t mode);
// Data code of a type-spec word (elementary ids and STRING; 0 otherwise).
uint32_t getDataCodeOfTypeSpec(ESTypeSpec w);
// The type-spec word a data code stands for (0 for unknown codes).
ESTypeSpec getTypeSpecOfDataCode(uint32_t code);

// Tag 0x10. area 0, 1, 2 give 0x81, 0x82, 0x84 (with the block number).
// bit is the bit number + 1 (0 = none, at most 8); a bit forces data code
// 1 and count 1. Fails for a mode without data code, bit above 8, count 0,
// a bit with count other than 1, another area, or byteOffset x 8 + bit
// beyond 24 bits.
bool makeAreaDescriptor(uint8_t* buf, uint32_t mode, uint32_t area, uint32_t byteOffset, uint32_t bit,
                        uint16_t count, uint16_t block);
// Tag 0x10 in area 0x84 for TIME, DATE, TOD and DT only; count not 0.
bool makeTimeDescriptor(uint8_t* buf, uint32_t typeId, uint32_t byteOffset, uint16_t count, uint16_t block);
// Tag 0xA1 with the data code of the type-spec word (never fails).
bool makeA1Descriptor(uint8_t* buf, ESTypeSpec spec, uint16_t second, uint32_t value, uint16_t first);
// Tag 0xA2; fails unless the mode's data code is 2-8.
bool makeA2Descriptor(uint8_t* buf, uint16_t first, uint32_t mode, uint16_t second, uint16_t third,
                      uint16_t fourth, bool hasFourth);
// Tag 0xA3; fails when the mode's data code is above 8.
bool makeA3Descriptor(uint8_t* buf, uint16_t first, uint32_t mode, uint16_t second, uint16_t third);

// Readers: false when the tag is not theirs.
bool readA1Descriptor(const uint8_t* buf, uint16_t& second, uint32_t& value, uint16_t& first);
bool readA3Descriptor(const uint8_t* buf, uint16_t& first, uint16_t& second, uint16_t& third);
// The byte offset of a tag 0x10 descriptor (bytes 7-9 shifted right by 3).
bool readAreaByteOffset(const uint8_t* buf, uint32_t& byteOffset);

// Stores id, address and extra, sets flag; segment 0xF8/0xF6 gives kind 1,
// segment 0xFC kind 4 with the value (flag cleared for value 0); any other
// segment fails.
bool classifyAddress(McAddrClass& rec, uint32_t id, uint32_t address, uint32_t extra, uint32_t value, bool& flag);

}  // namespace McConvert
