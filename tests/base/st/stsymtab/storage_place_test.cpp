// Storage places and address descriptors: golden descriptor bytes, the
// data-code table both ways, address classification and the type words.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "base/st/stsymtab/StSyStoragePlace.h"
#include "base/st/stsymtab/stmcaddr.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes desc(const uint8_t* b) { return Bytes(b, b + MC_DESCRIPTOR_SIZE); }

class Place : public StSyStoragePlace {
public:
    uint32_t segmentBits() const override { return 0xFB000000u; }
};

TEST(StorageDescriptorTest, AreaDescriptors)
{
    uint8_t b[10];
    ASSERT_TRUE(McConvert::makeAreaDescriptor(b, MC_DINT, 2, 12, 0, 1, 5));
    EXPECT_EQ((Bytes{0x10, 0x07, 0x00, 0x01, 0x00, 0x05, 0x84, 0x00, 0x00, 0x60}), desc(b));
    ASSERT_TRUE(McConvert::makeAreaDescriptor(b, MC_DINT, 2, 12, 4, 1, 5));
    EXPECT_EQ((Bytes{0x10, 0x01, 0x00, 0x01, 0x00, 0x05, 0x84, 0x00, 0x00, 0x63}), desc(b));
    ASSERT_TRUE(McConvert::makeAreaDescriptor(b, MC_LREAL, 0, 3, 0, 2, 5));
    EXPECT_EQ((Bytes{0x10, 0x30, 0x00, 0x02, 0x00, 0x00, 0x81, 0x00, 0x00, 0x18}), desc(b));
    uint32_t off = 0;
    EXPECT_TRUE(McConvert::readAreaByteOffset(b, off));
    EXPECT_EQ(3u, off);

    struct {
        uint32_t mode, area, byteOffset, bit;
        uint16_t count;
    } refused[] = {
        {MC_DINT, 2, 12, 4, 2},           // a bit with count 2
        {MC_DINT, 3, 12, 0, 1},           // area 3
        {MC_OBJECT, 0, 12, 0, 1},         // mode without data code
        {MC_DINT, 0, 12, 9, 1},           // bit argument 9
        {MC_DINT, 0, 12, 0, 0},           // count 0
        {MC_DINT, 0, 0x200000, 0, 1},     // x 8 leaves 24 bits
        {MC_DINT, 0, 0x1FFFFF, 9, 1},
        {MC_DINT, 0, 0xFFFFFFFFu, 0, 1},  // would overflow
    };
    for (const auto& r : refused) {
        std::memset(b, 0xEE, sizeof b);
        EXPECT_FALSE(McConvert::makeAreaDescriptor(b, r.mode, r.area, r.byteOffset, r.bit, r.count, 5));
        EXPECT_EQ(0xEE, b[0]);
    }
    EXPECT_TRUE(McConvert::makeAreaDescriptor(b, MC_USINT, 1, 0x1FFFFF, 8, 1, 0));
    EXPECT_EQ((Bytes{0x10, 0x01, 0x00, 0x01, 0x00, 0x00, 0x82, 0xFF, 0xFF, 0xFF}), desc(b));

    ASSERT_TRUE(McConvert::makeTimeDescriptor(b, ST_DT, 2, 3, 0x1234));
    EXPECT_EQ((Bytes{0x10, 14, 0x00, 0x03, 0x12, 0x34, 0x84, 0x00, 0x00, 0x10}), desc(b));
    EXPECT_FALSE(McConvert::makeTimeDescriptor(b, ST_DINT, 2, 3, 1));
    EXPECT_FALSE(McConvert::makeTimeDescriptor(b, ST_TIME, 2, 0, 1));
}

TEST(StorageDescriptorTest, TaggedDescriptors)
{
    uint8_t b[10];
    ASSERT_TRUE(McConvert::makeA1Descriptor(b, 0x1008, 0x0203, 0x0A0B0C0D, 0x0405));
    EXPECT_EQ((Bytes{0xA1, 0x07, 0x04, 0x05, 0x02, 0x03, 0x0A, 0x0B, 0x0C, 0x0D}), desc(b));
    uint16_t s = 0, f = 0, t = 0;
    uint32_t v = 0;
    ASSERT_TRUE(McConvert::readA1Descriptor(b, s, v, f));
    EXPECT_EQ(0x0203, s);
    EXPECT_EQ(0x0A0B0C0Du, v);
    EXPECT_EQ(0x0405, f);

    ASSERT_TRUE(McConvert::makeA2Descriptor(b, 0x0102, MC_UINT, 0x0304, 0x0506, 0x0708, true));
    EXPECT_EQ((Bytes{0xA2, 0x04, 0x05, 0x06, 0x01, 0x02, 0x03, 0x04, 0x07, 0x08}), desc(b));
    ASSERT_TRUE(McConvert::makeA2Descriptor(b, 1, MC_REAL, 2, 3, 0x0708, false));
    EXPECT_EQ((Bytes{0xA2, 0x08, 0x00, 0x03, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}), desc(b));
    EXPECT_FALSE(McConvert::makeA2Descriptor(b, 1, MC_MEMADR, 2, 3, 4, true));  // no code
    EXPECT_FALSE(McConvert::makeA2Descriptor(b, 1, MC_LREAL, 2, 3, 4, true));  // code 0x30

    ASSERT_TRUE(McConvert::makeA3Descriptor(b, 0x0102, MC_DINT, 0x0304, 0x0506));
    EXPECT_EQ((Bytes{0xA3, 0x07, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}), desc(b));
    ASSERT_TRUE(McConvert::readA3Descriptor(b, f, s, t));
    EXPECT_EQ(0x0102, f);
    EXPECT_EQ(0x0304, s);
    EXPECT_EQ(0x0506, t);
    EXPECT_FALSE(McConvert::makeA3Descriptor(b, 1, MC_LINT, 2, 3));
    EXPECT_FALSE(McConvert::readA1Descriptor(b, s, v, f));
}

TEST(StorageDescriptorTest, DataCodesBothWays)
{
    const uint32_t codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 0x30, 0x31, 0x32, 0x33};
    for (uint32_t c : codes) {
        const ESTypeSpec w = McConvert::getTypeSpecOfDataCode(c);
        EXPECT_NE(0u, w) << c;
        EXPECT_EQ(c, McConvert::getDataCodeOfTypeSpec(w)) << c;
    }
    EXPECT_EQ(0u, McConvert::getTypeSpecOfDataCode(12));
    EXPECT_EQ(0u, McConvert::getDataCodeOfTypeSpec(0x1010));
    EXPECT_EQ(0u, McConvert::getDataCodeOfTypeSpec(0x2028));
    EXPECT_EQ(0u, McConvert::getDataCodeOfTypeSpec(41));
    EXPECT_EQ(2u, McConvert::getDataCodeOfTypeSpec(0x1002));
    EXPECT_EQ(0x31u, McConvert::getDataCodeOfTypeSpec(0x1005));
    // Every mode with a code decodes to a word whose machine mode is itself.
    for (uint32_t m = 0; m <= MC_OTHER; ++m) {
        const uint32_t c = McConvert::getDataCodeOfMode(m);
        if (c != 0) EXPECT_EQ(m, McConvert::getMachMode(McConvert::getTypeSpecOfDataCode(c))) << m;
        else EXPECT_TRUE(m == MC_OBJECT || m == MC_MEMADR || m == MC_OTHER) << m;
    }
}

TEST(StorageDescriptorTest, ClassifyAddress)
{
    McAddrClass r;
    bool flag = false;
    EXPECT_TRUE(McConvert::classifyAddress(r, 7, 0xF8000010u, 3, 9, flag));
    EXPECT_EQ(1u, r.kind);
    EXPECT_TRUE(flag);
    EXPECT_EQ(0u, r.value);
    EXPECT_TRUE(McConvert::classifyAddress(r, 7, 0xFC000010u, 3, 0, flag));
    EXPECT_EQ(4u, r.kind);
    EXPECT_FALSE(flag);
    EXPECT_TRUE(McConvert::classifyAddress(r, 7, 0xFC000010u, 3, 5, flag));
    EXPECT_TRUE(flag);
    EXPECT_EQ(5u, r.value);
    EXPECT_FALSE(McConvert::classifyAddress(r, 8, 0xFB000010u, 4, 5, flag));
    EXPECT_EQ(8u, r.id);
    EXPECT_EQ(4u, r.extra);
}

TEST(StorageDescriptorTest, TypeWordList)
{
    McTypeWordList l;
    EXPECT_FALSE(l.addItem(0x1008, 0));  // no buffer
    l.count = 3;
    ASSERT_TRUE(l.allocate());
    EXPECT_EQ(3u, l.capacity);
    EXPECT_EQ(0u, l.count);
    EXPECT_FALSE(l.allocate());  // a buffer exists
    EXPECT_TRUE(l.addRecord4(2, 0));
    EXPECT_TRUE(l.addItem(0x1007, 2));
    EXPECT_TRUE(l.addRecord2(5, 1));
    EXPECT_FALSE(l.addItem(ES_STRING, 0));  // full
    EXPECT_EQ(0x04000002u, l.words()[0]);
    EXPECT_EQ(0x01020005u, l.words()[1]);
    EXPECT_EQ(0x02010005u, l.words()[2]);
    l.release();
    l.count = McTypeWordList::MAX_CAPACITY + 1;
    EXPECT_FALSE(l.allocate());
}

TEST(StorageDescriptorTest, PlaceAddressAndDump)
{
    Place p;
    std::ostringstream os;
    p.dump(os);
    os << 10;
    EXPECT_EQ(" Adr: 7fffffff Seg: fb00000010", os.str());
    EXPECT_THROW(p.getAddress(0), StNoAddressError);
    p.setStorageAddress(0x00FFFFF0);
    EXPECT_EQ(0xFB000004u, p.getAddress(0x14));
    p.setStorageAddress(0x7FFFFFF0);
    EXPECT_EQ(0xFBFFFFFFu, p.getAddress(0x0F));
}

}  // namespace
