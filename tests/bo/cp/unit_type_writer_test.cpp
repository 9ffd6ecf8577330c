// The unit-using table's type descriptions: the word of each record form,
// record sizes, the segment-size numbers, a whole section worked out by
// hand, and the type walker (order, arrays, cycles).
#include "bo/cp/CpUnitTypeWriter.h"

#include <gtest/gtest.h>

#include <string>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "bo/cp/CpSymbTable.h"
#include "tests/base/fs/test_dsc_util.h"

namespace {

using dsctest::attachMem;
using dsctest::sectionBytes;

class FixedResolver : public CpTypeResolver {
public:
    int32_t resolveObjectId(const String& name) override { return name == String("Axis") ? 0x7123456 : -1; }
    void addressHalves(StTypeID, uint16_t& a, uint16_t& b) override
    {
        a = 0x1111;
        b = 0x2222;
    }
};

CpTypeRecord simple(ESTypeSpec spec, uint32_t count = 0)
{
    CpTypeRecord r;
    r.spec = spec;
    r.count = count;
    return r;
}

const std::string kHead = "27 DataDescription_Version 1.0\r\n";

// The words of a writer holding one record (no header members, no extras).
std::string oneRecord(const CpTypeRecord& r, StTypeID tid, StSymbTable& table, bool* ok = nullptr)
{
    CpUnitTypeWriter w;
    w.records()[tid] = r;
    FixedResolver resolver;
    FsSecDataDescr sec;
    attachMem(sec);
    const bool done = w.write(sec, &resolver, table);
    if (ok) *ok = done;
    return sectionBytes(sec);
}

TEST(CpUnitTypeWriter, SimpleRecordWords)
{
    StSymbTable table;
    struct Case {
        CpTypeRecord record;
        const char* word;
    };
    CpTypeRecord obj = simple(esMakeElem(ST_ANYOBJECT));
    obj.name = "Axis";
    const Case cases[] = {
        {simple(esMakeElem(ST_INT)), "50050002"},
        {simple(esMakeSpecial(ST_SPEC_STRING), 20), "50330014"},
        {simple(esMakeElem(ST_LREAL)), "50300008"},
        {simple(esMakeElem(ST_TIME)), "500b0004"},
        {obj, "40123456"},
    };
    for (const Case& c : cases) {
        bool ok = false;
        // header 0x10000000, value 0, then the one record
        EXPECT_EQ(kHead + "3\r\n10000000 0 " + c.word + " \r\n0\r\n", oneRecord(c.record, 40, table, &ok)) << c.word;
        EXPECT_TRUE(ok);
    }
    bool ok = true;
    oneRecord(simple(esMakeSpecial(ST_SPEC_ANYSTRUCT)), 40, table, &ok);
    EXPECT_FALSE(ok);  // no word form for a special type other than STRING
}

TEST(CpUnitTypeWriter, RecordSizes)
{
    CpTypeRecord s;
    s.spec = 100;
    s.members.resize(3);
    EXPECT_EQ(8u, s.wordSize());
    CpTypeRecord a;
    a.spec = 101;
    a.count = 4;
    EXPECT_EQ(5u, a.wordSize());
    EXPECT_EQ(1u, simple(esMakeSpecial(ST_SPEC_STRING), 20).wordSize());
}

TEST(CpUnitTypeWriter, UnresolvedObjectFailsBeforeTheSectionOpens)
{
    StSymbTable table;
    CpTypeRecord obj = simple(esMakeElem(ST_ANYOBJECT));
    obj.name = "Unknown";
    bool ok = true;
    EXPECT_EQ("", oneRecord(obj, 40, table, &ok));
    EXPECT_FALSE(ok);

    CpUnitTypeWriter w;
    obj.name = "Axis";
    w.records()[40] = obj;
    w.addUnitEntry("u", 1);
    FsSecDataDescr sec;
    attachMem(sec);
    EXPECT_FALSE(w.write(sec, nullptr, table));  // no resolver
    EXPECT_EQ("", sectionBytes(sec));
    EXPECT_EQ(0u, w.unitCount());  // cleared whatever the result
}

TEST(CpUnitTypeWriter, SegmentSizesByTag)
{
    CpUnitTypeWriter w;
    EXPECT_TRUE(w.setSegmentSize(false, false, 0x10));
    EXPECT_TRUE(w.setSegmentSize(false, true, 0x20));
    EXPECT_TRUE(w.setSegmentSize(true, false, 0x30));
    EXPECT_TRUE(w.setSegmentSize(true, true, 0xFFFFFF));
    EXPECT_FALSE(w.setSegmentSize(true, true, 0x1000000));
    EXPECT_EQ((std::vector<uint32_t>{0xF4000010, 0xF3000020, 0xF2000030, 0xF1FFFFFF}), w.extraNumbers());
    EXPECT_TRUE(w.setSegmentSize(false, true, 0));  // replaced by its tag, even by 0
    EXPECT_EQ(0xF3000000u, w.extraNumbers()[1]);

    CpUnitTypeWriter empty;
    EXPECT_TRUE(empty.setSegmentSize(false, false, 0));  // nothing appended for 0
    EXPECT_TRUE(empty.extraNumbers().empty());
}

class WriterGolden : public ::testing::Test {
protected:
    void SetUp() override
    {
        StSyTypeTable* types = table.types();
        structTid = types->createStructType({ST_INT, ST_INT}, 2, 4);
        arrayTid = types->createArrayType(ST_INT, 1, 4);
        ASSERT_NE(structTid, ST_INVALID_TID);
        ASSERT_NE(arrayTid, ST_INVALID_TID);
        ASSERT_LT(structTid, arrayTid);
    }
    StSymbTable table;
    StTypeID structTid = ST_INVALID_TID, arrayTid = ST_INVALID_TID;
};

TEST_F(WriterGolden, WholeSectionWorkedOutByHand)
{
    CpUnitTypeWriter w;
    w.setBaseCount(1);
    w.header().value = 3;
    w.header().members = {{structTid, 0}};
    w.records()[ST_INT] = simple(esMakeElem(ST_INT));
    CpTypeRecord s;
    s.spec = structTid;
    s.value = 0x11;
    s.members = {{ST_INT, 0}, {ST_INT, 2}};
    w.records()[structTid] = s;
    CpTypeRecord a;
    a.spec = arrayTid;
    a.value = 0x22;
    a.count = 4;
    w.records()[arrayTid] = a;
    w.setSegmentSize(false, false, 0x100);
    w.setSegmentSize(true, true, 0x20);
    w.addUnitEntry("beta", 0x10);
    w.addUnitEntry("alpha", 5);

    FixedResolver resolver;
    FsSecDataDescr sec;
    attachMem(sec);
    ASSERT_TRUE(w.write(sec, &resolver, table));
    // Header 8 words (2 + 1 member pair + 2 extra pairs); the first record
    // at 2 x 1 + 8 - 1 = 9: INT 9, structure 10 (6 words), array 16 (5),
    // extra numbers 21 and 22; 22 words in all.
    EXPECT_EQ(kHead + "22\r\n"
                      "10000004 3 a 0 15 0 16 0 "            // header
                      "50050002 "                              // INT
                      "20000002 11 9 0 9 2 "                   // structure
                      "30000004 22 9 1 0 "                     // ARRAY[1..4] OF INT
                      "f4000100 f1000020 "                     // extra numbers
                      "\r\n2\r\n5 alpha 1 5 \r\n4 beta 1 10 \r\n",
              sectionBytes(sec));
    EXPECT_EQ(0u, w.unitCount());
}

// A member named after a unit of the table is also a unit entry, with its
// offset; one the caller entered keeps its value, other names enter nothing.
TEST(CpUnitTypeWriter, MembersNamedAfterUnitsAreUnitEntries)
{
    struct Table : CpSymbTable {
        Table() : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0) {}
    } table;
    StSymbEntryID sid;
    for (const char* unit : {"drive", "brake"}) {
        table.declareUnit(sid, unit, table.getGlobalVR(), table.getGlobalNR(), 5, 1, true);
        ASSERT_TRUE(sid.isValid()) << unit;
    }
    CpUnitTypeWriter w;
    w.records()[ST_INT] = simple(esMakeElem(ST_INT));
    w.header().members = {{ST_INT, 0x10, "drive"}, {ST_INT, 0x12, "speed"}, {ST_INT, 0x14, "brake"}};
    w.addUnitEntry("brake", 7);
    FixedResolver resolver;
    FsSecDataDescr sec;
    attachMem(sec);
    ASSERT_TRUE(w.write(sec, &resolver, table));
    // Header 8 words, the INT record at 0 + 8 - 1 = 7.
    EXPECT_EQ(kHead + "9\r\n10000000 0 7 10 7 12 7 14 50050002 \r\n2\r\n5 brake 1 7 \r\n5 drive 1 10 \r\n",
              sectionBytes(sec));
}

TEST_F(WriterGolden, MemberWithoutRecordFails)
{
    CpUnitTypeWriter w;
    CpTypeRecord s;
    s.spec = structTid;
    s.members = {{ST_INT, 0}, {ST_INT, 2}};
    w.records()[structTid] = s;
    FixedResolver resolver;
    FsSecDataDescr sec;
    attachMem(sec);
    EXPECT_FALSE(w.write(sec, &resolver, table));
}

TEST_F(WriterGolden, WalkerExpandsAndSortsByAddress)
{
    CpTypeRecordMap records;
    records[ST_INT] = simple(esMakeElem(ST_INT));
    CpTypeRecord s;
    s.spec = structTid;
    s.members = {{ST_INT, 2}, {ST_INT, 0}};
    records[structTid] = s;
    CpTypeRecord a;
    a.spec = arrayTid;
    a.count = 4;
    records[arrayTid] = a;

    CpTypeWalker walker;
    ASSERT_TRUE(walker.begin(records, {{arrayTid, 100}, {structTid, 10}}, table));
    std::vector<CpTypeWalker::Pair> got;
    CpTypeWalker::Pair p;
    while (walker.next(p)) got.push_back(p);
    const std::vector<CpTypeWalker::Pair> expected = {{ST_INT, 10}, {ST_INT, 12}, {ST_INT, 100},
                                                      {ST_INT, 102}, {ST_INT, 104}, {ST_INT, 106}};
    EXPECT_EQ(expected, got);

    // A structure holding itself (as read from a damaged file) ends.
    s.members = {{structTid, 0}};
    records[structTid] = s;
    EXPECT_FALSE(walker.begin(records, {{structTid, 0}}, table));
    EXPECT_FALSE(walker.next(p));
}

} // namespace
