// Type-spec words, elementary ids and machine modes: the conversion table
// cases and the machine value record's bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/st/stsymtab/stmcspec.h"
#include "co/TraceApi.h"

namespace {

struct MapCase {
    uint32_t code;
    ESTypeSpec word;
    bool traced;
};

TEST(McConvertTest, MapTypeSpecAndBack)
{
    const MapCase cases[] = {
        {0, 0x1000, false}, {8, 0x1008, false}, {30, 0x101E, false}, {31, 0, true},
        {99, 0, true},      {100, 0x201E, false}, {110, 0x2028, false}, {111, 0, true},
    };
    for (const MapCase& c : cases) {
        CTraceCapture trace;
        EXPECT_EQ(c.word, McConvert::mapTypeSpec(c.code)) << c.code;
        bool found = false;
        for (const auto& l : trace.lines())
            found |= l.message == "ESTypeSpec mismatch" && l.level == 4 && l.method == "McConvert::mapTypeSpec";
        EXPECT_EQ(c.traced, found) << c.code;
    }
    EXPECT_EQ(30u, McConvert::getSTTypeCode(0x2028));
    EXPECT_EQ(100u, McConvert::getSTTypeCode(0x201E));
    EXPECT_EQ(8u, McConvert::getSTTypeCode(0x1008));
    EXPECT_EQ(30u, McConvert::getSTTypeCode(41));  // a type-table id
}

TEST(McConvertTest, MachineModes)
{
    struct {
        ESTypeSpec word;
        McMachMode mode;
    } spec[] = {{0x1010, MC_OBJECT}, {0x1011, MC_MEMADR}, {0x1000, MC_OTHER}, {41, MC_OTHER},
                {0x201E, MC_STRING}, {0x2028, MC_OTHER}, {0x1015, MC_OBJECT}, {0x1006, MC_SINT},
                {0x1016, MC_DINT},   {0x1018, MC_OTHER}};
    for (const auto& c : spec) EXPECT_EQ(c.mode, McConvert::getMachMode(c.word)) << std::hex << c.word;
    struct {
        uint32_t id;
        McMachMode mode;
    } ids[] = {{16, MC_ULINT}, {17, MC_DINT}, {21, MC_ULINT}, {0, MC_OTHER}, {24, MC_OTHER}, {1, MC_USINT}, {23, MC_UDINT}};
    for (const auto& c : ids) EXPECT_EQ(c.mode, McConvert::getMachModeOfTypeId(c.id)) << c.id;
    EXPECT_EQ(MC_DINT, McConvert::getNumMode(MC_MEMADR));
    EXPECT_EQ(MC_LREAL, McConvert::getNumMode(MC_LREAL));
    EXPECT_EQ(MC_OTHER, McConvert::getNumMode(MC_OBJECT));
    EXPECT_EQ(MC_OTHER, McConvert::getNumMode(MC_STRING));
}

TEST(McConvertTest, SizesAlignmentsAndNames)
{
    struct {
        uint32_t id, size;
    } cases[] = {{0, 0}, {24, 0}, {30, 0}, {1, 1}, {3, 2}, {8, 4}, {9, 8}, {14, 4}, {15, 8}, {16, 8}, {17, 4}, {21, 8}, {22, 4}, {23, 4}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.size, McConvert::getTypeSize(c.id)) << c.id;
        EXPECT_EQ(c.size, McConvert::getTypeAlignment(c.id)) << c.id;
    }
    EXPECT_STREQ("@MEMADR", stTypeIdName(17));
    EXPECT_STREQ("POS_DINT", stTypeIdName(35));
    EXPECT_EQ(nullptr, stTypeIdName(25));
    EXPECT_STREQ("??StdType??", stTypeSpecName(0x1019));
    EXPECT_STREQ("STRING", stTypeSpecName(0x201E));
    EXPECT_STREQ("_ANYSTRUCT", stTypeSpecName(0x2028));
    EXPECT_STREQ("??StSType??", stTypeSpecName(0x2021));
    EXPECT_STREQ("??Type??", stTypeSpecName(40));
    EXPECT_EQ(30u, esElemCode(0x2005));
    EXPECT_EQ(40u, esSpecCode(0x1005));
}

TEST(McConvertTest, MachValueBytesAndIds)
{
    McMachValue v;
    uint8_t b[McMachValue::SIZE];
    v.toBytes(b);
    const uint8_t init[24] = {13, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(0, memcmp(init, b, 24));
    v.value = 0xFFFFFFFBu;
    v.toBytes(b);
    EXPECT_EQ(0xFB, b[16]);
    EXPECT_EQ(0xFF, b[19]);
    EXPECT_EQ(0x00, b[20]);

    StSymbEntryID sid;
    EXPECT_TRUE(sid.isInvalid());
    EXPECT_EQ(4294967295u, uint32_t(sid));
    EXPECT_EQ(ST_INVALID_SID, sid);
    EXPECT_TRUE(StSymbEntryID(0) < StSymbEntryID(0xFFFFFFFEu));
    EXPECT_EQ(0xFFFFu, uint32_t(VRX_INVALID_CONIF));
    EXPECT_EQ(0u, uint32_t(ST_ZERO_CID));
}

}  // namespace
