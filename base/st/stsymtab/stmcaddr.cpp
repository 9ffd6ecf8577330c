// Address descriptors, data codes, address classification, type words.
#include "base/st/stsymtab/stmcaddr.h"

#include <cstring>
#include <new>

#include "base/st/stsymtab/StSyStoragePlace.h"

namespace {

void putU16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void putU24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}

uint32_t getU16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

// The common head of every descriptor: tag, data code, then the 16-bit
// fields at bytes 2, 4, 6 and 8.
void putDescriptor(uint8_t* buf, uint8_t tag, uint32_t code, uint32_t w2, uint32_t w4, uint32_t w6, uint32_t w8)
{
    buf[0] = tag;
    buf[1] = uint8_t(code);
    putU16(buf + 2, w2);
    putU16(buf + 4, w4);
    putU16(buf + 6, w6);
    putU16(buf + 8, w8);
}

constexpr uint32_t kMaxBitAddress = 0xFFFFFF;

// Tag 0x10 once code, count and place are settled.
bool putArea(uint8_t* buf, uint32_t code, uint8_t areaCode, uint32_t byteOffset, uint32_t bitNumber,
             uint16_t count, uint16_t block)
{
    // byteOffset x 8 + bit must fit in 24 bits; checked without overflow.
    if (byteOffset > (kMaxBitAddress - bitNumber) / 8) return false;
    buf[0] = 0x10;
    buf[1] = uint8_t(code);
    putU16(buf + 2, count);
    putU16(buf + 4, areaCode == 0x84 ? block : 0);
    buf[6] = areaCode;
    putU24(buf + 7, byteOffset * 8 + bitNumber);
    return true;
}

}  // namespace

namespace McConvert {

uint32_t getDataCodeOfMode(uint32_t mode)
{
    static const uint8_t kCode[] = {3, 5, 7, 0x32, 2, 4, 6, 0x31, 8, 0x30, 0, 0x33, 0, 0};
    return mode < sizeof(kCode) ? kCode[mode] : 0;
}

uint32_t getDataCodeOfTypeSpec(ESTypeSpec w)
{
    static const uint8_t kCode[] = {0, 1, 2, 4, 6, 0x31, 3, 5, 7, 0x32, 2, 4, 6, 0x31, 8, 0x30, 0, 0, 11, 9, 10, 14};
    if (esIsElementary(w)) {
        const uint32_t id = esElemCode(w);
        return id < sizeof(kCode) ? kCode[id] : 0;
    }
    return esSpecCode(w) == ST_SPEC_STRING ? 0x33 : 0;
}

ESTypeSpec getTypeSpecOfDataCode(uint32_t code)
{
    switch (code) {
    case 1: return 0x1001;
    case 2: return 0x100A;
    case 3: return 0x1006;
    case 4: return 0x100B;
    case 5: return 0x1007;
    case 6: return 0x100C;
    case 7: return 0x1008;
    case 8: return 0x100E;
    case 9: return 0x1013;
    case 10: return 0x1014;
    case 11: return 0x1012;
    case 14: return 0x1015;
    case 0x30: return 0x100F;
    case 0x31: return 0x100D;
    case 0x32: return 0x1009;
    case 0x33: return ES_STRING;
    default: return 0;
    }
}

bool makeAreaDescriptor(uint8_t* buf, uint32_t mode, uint32_t area, uint32_t byteOffset, uint32_t bit,
                        uint16_t count, uint16_t block)
{
    static const uint8_t kArea[] = {0x81, 0x82, 0x84};
    uint32_t code = getDataCodeOfMode(mode);
    if (code == 0 || bit > 8 || count == 0 || (bit != 0 && count != 1) || area > 2) return false;
    if (bit != 0) code = 1;
    return putArea(buf, code, kArea[area], byteOffset, bit != 0 ? bit - 1 : 0, count, block);
}

bool makeTimeDescriptor(uint8_t* buf, uint32_t typeId, uint32_t byteOffset, uint16_t count, uint16_t block)
{
    uint32_t code;
    switch (typeId) {
    case ST_TIME: code = 11; break;
    case ST_DATE: code = 9; break;
    case ST_TOD: code = 10; break;
    case ST_DT: code = 14; break;
    default: return false;
    }
    if (count == 0) return false;
    return putArea(buf, code, 0x84, byteOffset, 0, count, block);
}

bool makeA1Descriptor(uint8_t* buf, ESTypeSpec spec, uint16_t second, uint32_t value, uint16_t first)
{
    putDescriptor(buf, 0xA1, getDataCodeOfTypeSpec(spec), first, second, value >> 16, value & 0xFFFF);
    return true;
}

bool makeA2Descriptor(uint8_t* buf, uint16_t first, uint32_t mode, uint16_t second, uint16_t third,
                      uint16_t fourth, bool hasFourth)
{
    const uint32_t code = getDataCodeOfMode(mode);
    if (code < 2 || code > 8) return false;
    putDescriptor(buf, 0xA2, code, third, first, second, hasFourth ? fourth : 0);
    return true;
}

bool makeA3Descriptor(uint8_t* buf, uint16_t first, uint32_t mode, uint16_t second, uint16_t third)
{
    const uint32_t code = getDataCodeOfMode(mode);
    if (code > 8) return false;
    putDescriptor(buf, 0xA3, code, 0, first, second, third);
    return true;
}

bool readA1Descriptor(const uint8_t* buf, uint16_t& second, uint32_t& value, uint16_t& first)
{
    if (buf[0] != 0xA1) return false;
    first = uint16_t(getU16(buf + 2));
    second = uint16_t(getU16(buf + 4));
    value = getU16(buf + 6) << 16 | getU16(buf + 8);
    return true;
}

bool readA3Descriptor(const uint8_t* buf, uint16_t& first, uint16_t& second, uint16_t& third)
{
    if (buf[0] != 0xA3) return false;
    first = uint16_t(getU16(buf + 4));
    second = uint16_t(getU16(buf + 6));
    third = uint16_t(getU16(buf + 8));
    return true;
}

bool readAreaByteOffset(const uint8_t* buf, uint32_t& byteOffset)
{
    if (buf[0] != 0x10) return false;
    byteOffset = (uint32_t(buf[7]) << 16 | uint32_t(buf[8]) << 8 | buf[9]) >> 3;
    return true;
}

bool classifyAddress(McAddrClass& rec, uint32_t id, uint32_t address, uint32_t extra, uint32_t value, bool& flag)
{
    rec.id = id;
    rec.address = address;
    rec.extra = extra;
    flag = true;
    const uint32_t seg = address & ST_SEGMENT_MASK;
    if (seg == ST_SEG_IMAGE_A || seg == ST_SEG_IMAGE_B) {
        rec.kind = 1;
        return true;
    }
    if (seg == ST_SEG_FC) {
        rec.kind = 4;
        rec.value = value;
        if (value == 0) flag = false;
        return true;
    }
    return false;
}

}  // namespace McConvert

bool McTypeWordList::allocate()
{
    if (m_buffer || count > MAX_CAPACITY) return false;
    m_buffer.reset(new (std::nothrow) uint32_t[count == 0 ? 1 : count]);
    capacity = m_buffer ? count : 0;
    count = 0;
    return m_buffer != nullptr;
}

void McTypeWordList::release()
{
    m_buffer.reset();
    capacity = 0;
    count = 0;
}

bool McTypeWordList::add(uint32_t word)
{
    if (!m_buffer || count >= capacity) return false;
    m_buffer[count++] = word;
    return true;
}

bool McTypeWordList::addItem(ESTypeSpec spec, uint8_t padding)
{
    return add(MC_TW_ITEM << 24 | uint32_t(padding) << 16 | McConvert::getDataCodeOfTypeSpec(spec));
}

bool McTypeWordList::addRecord2(uint32_t elementCount, uint8_t padding)
{
    return add(MC_TW_ARRAY << 24 | uint32_t(padding) << 16 | (elementCount & 0xFFFF));
}

bool McTypeWordList::addRecord4(uint32_t memberCount, uint8_t byte)
{
    return add(MC_TW_STRUCT << 24 | uint32_t(byte) << 16 | (memberCount & 0xFFFF));
}
