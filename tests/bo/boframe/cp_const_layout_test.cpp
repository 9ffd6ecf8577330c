// Layout of the compile-side constant table and the hand-over of its area
// to the constant-value image.
#include <gtest/gtest.h>

#include <vector>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "bo/boframe/CpCValueImage.h"
#include "bo/boframe/CpConstValTable.h"

namespace {

struct Fixture {
    explicit Fixture(uint32_t start)
        : table(nullptr, nullptr, new CpConstValTable(start), nullptr, nullptr, nullptr, 0, 0),
          consts(static_cast<CpConstValTable*>(table.constants()))
    {
    }
    StConstEntryID add(uint32_t type, uint32_t v)
    {
        auto* c = new StStdConstantVal(type, false);
        if (type == ST_DINT)
            c->SetLongVal(int32_t(v));
        else
            c->SetULongVal(v);
        StConstantVal* p = c;
        return consts->addConstantVal(p);
    }
    int32_t at(StConstEntryID cid) const { return consts->getConstantVal(cid)->getStorageAddress(); }
    StSymbTable table;
    CpConstValTable* consts;
};

}  // namespace

TEST(CpConstValTable, LayoutFromTheStartOffset)
{
    Fixture f(100);
    EXPECT_EQ(0u, f.consts->count());
    const StConstEntryID d = f.add(ST_DINT, 1);
    EXPECT_EQ(0u, f.consts->layoutConstants(StIdList{d}, f.table));
    EXPECT_EQ(100, f.at(d));
    EXPECT_EQ(4u, f.consts->count());
    const StConstEntryID b = f.add(ST_BYTE, 2);
    EXPECT_EQ(0u, f.consts->layoutConstants(StIdList{b, d}, f.table));  // d stays where it is
    EXPECT_EQ(104, f.at(b));
    EXPECT_EQ(5u, f.consts->count());
    EXPECT_EQ(1u, f.consts->layoutConstants(StIdList{4711}, f.table));
}

TEST(CpConstValTable, LayoutLimit)
{
    struct Case {
        uint32_t start;
        bool place;
        uint32_t result;
        int32_t offset;
    } cases[] = {
        {0xFFFFF7, true, 0, 0xFFFFF8},   // 0xFFFFF7 + 4 + 4 = 0xFFFFFF
        {0xFFFFF8, true, 2, ST_NO_ADDRESS},
        {0x1000000, false, 2, ST_NO_ADDRESS},
        {0xFFFFFF, false, 0, ST_NO_ADDRESS},
    };
    for (const Case& c : cases) {
        Fixture f(c.start);
        const StConstEntryID d = f.add(ST_DINT, 7);
        EXPECT_EQ(c.result, f.consts->layoutConstants(c.place ? StIdList{d} : StIdList{}, f.table)) << c.start;
        EXPECT_EQ(c.offset, f.at(d)) << c.start;
    }
}

TEST(CpConstValTable, ImageOfADintAndAStructure)
{
    Fixture f(0x40);
    const StConstEntryID d = f.add(ST_DINT, 3);
    const StTypeID st = f.table.types()->createStructType(StTypeIDList{ST_DINT, ST_BYTE}, 4, 8);
    auto* members = new StConstValVector{new StStdConstantVal(ST_DINT, false), new StStdConstantVal(ST_BYTE, false)};
    static_cast<StStdConstantVal*>((*members)[0])->SetLongVal(5);
    static_cast<StStdConstantVal*>((*members)[1])->SetULongVal(9);
    StConstantVal* sv = new StStructConstantVal(st, members, false);
    const StConstEntryID s = f.consts->addConstantVal(sv);
    ASSERT_EQ(0u, f.consts->layoutConstants(StIdList{s, d}, f.table));
    EXPECT_EQ(12u, f.consts->count());
    CpCValueImage img;
    ASSERT_EQ(0u, f.consts->writeImage(&img));
    std::vector<uint32_t> w;
    ASSERT_TRUE(img.buildWords(w, &f.table));
    const std::vector<uint32_t> expect = {
        0x10000002, 0x10000040, 12, 7, 0xB0000000, 0, 15,                                  // header
        0x20000003, 12, 0x03000000, 3, 0x03000004, 5, 0x01000008, 9,                       // area
        0x50000001, 17,                                                                    // index
        0x43000011,                                                                        // no 8-byte data
    };
    EXPECT_EQ(expect, w);
    EXPECT_EQ(2u, f.consts->writeImage(nullptr));
}

TEST(CpConstValTable, ImageStopsAtAMissingValue)
{
    Fixture f(0);
    const StConstEntryID a = f.add(ST_DINT, 1), b = f.add(ST_DINT, 2);
    ASSERT_EQ(0u, f.consts->layoutConstants(StIdList{a, b}, f.table));
    f.consts->removeConstantVal(b);
    CpCValueImage img;
    EXPECT_EQ(1u, f.consts->writeImage(&img));
    // a was referenced before: a second reference of it is refused.
    EXPECT_FALSE(img.addReference(ST_ZERO_CID, a, 0));
    EXPECT_TRUE(img.addReference(ST_ZERO_CID, b, 4));
}
