// Constant-value image builder: the golden image, the record sizes and
// alignments, the 8-byte registry, range checks, the mapping of values to
// items, and failures that leave the section untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../base/fs/test_dsc_util.h"
#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "bo/boframe/CpCValueImage.h"

using namespace dsctest;

namespace {

uint64_t bitsOf(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

std::string le32s(const std::vector<uint32_t>& words)
{
    std::string s;
    for (uint32_t v : words)
        for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
    return s;
}

}  // namespace

TEST(CpCValueImage, GoldenOneRangeOneDouble)
{
    CpCValueImage img;
    ASSERT_TRUE(img.registerRange(5, 0x100, 8, true));
    EXPECT_EQ(0u, img.registerDouble(bitsOf(1.0)));
    FsSecCValue sec;
    attachMem(sec);
    ASSERT_TRUE(img.build(sec, nullptr));
    const std::vector<uint32_t> words = {0x10000002, 0x10000100, 8,          7, 0xB0000000, 0,
                                         9,          0x20000000, 8,          0x50000001, 12, 0,
                                         0x4400000C, 0,          0x00000000, 0x3FF00000};
    EXPECT_EQ(std::string("22 ValueTable_Version 1.0\r\n10\r\n>") + le32s(words), sectionBytes(sec));
}

TEST(CpCValueImage, RecordSizesAndAlignment)
{
    CpCValueImage::Record s;
    s.kind = CpCValueImage::REC_STRUCT;
    s.items.assign(3, {4, 0, 0});
    EXPECT_EQ(8u, CpCValueImage::recordSize(s));
    CpCValueImage::Record d;
    d.kind = CpCValueImage::REC_DATA;
    EXPECT_EQ(1u, CpCValueImage::recordSize(d));  // no items: width 4
    EXPECT_EQ(1u, CpCValueImage::recordAlignment(d));
    d.items.assign(2, {8, 0, 0});
    EXPECT_EQ(4u, CpCValueImage::recordSize(d));  // header, filler, two words
    EXPECT_EQ(2u, CpCValueImage::recordAlignment(d));
}

TEST(CpCValueImage, DoubleRegistryIndices)
{
    CpCValueImage img;
    EXPECT_EQ(0u, img.registerDouble(bitsOf(2.5)));
    EXPECT_EQ(0u, img.registerDouble(bitsOf(2.5)));
    EXPECT_EQ(2u, img.registerDouble(bitsOf(-1.0)));
    EXPECT_EQ(4u, img.registerDouble(7));
}

TEST(CpCValueImage, RangeRules)
{
    struct Case {
        uint32_t id, offset, length;
        bool check, ok;
    };
    const Case cases[] = {
        {1, 0x100, 8, true, true},
        {1, 0x200, 4, true, false},        // a second range of the id
        {2, 0x104, 4, true, false},        // overlaps under the check flag
        {2, 0x104, 4, false, true},        // accepted without it
        {3, 0x108, 4, true, true},         // touching is no overlap
        {4, 0xFFFFFFF0, 0x20, false, false},  // past 0xFFFFFFFF
        {5, 0xFFFFFFF0, 0x10, true, true},
        {6, 0x0FC, 4, true, true},
    };
    CpCValueImage img;
    for (const Case& c : cases)
        EXPECT_EQ(c.ok, img.registerRange(c.id, c.offset, c.length, c.check)) << c.id << " " << c.offset;
    EXPECT_TRUE(img.addReference(ST_INVALID_CID, 3, 0));
    EXPECT_TRUE(img.addReference(1, ST_INVALID_CID, 0));
}

TEST(CpCValueImage, FailuresLeaveTheSectionUntouched)
{
    {
        // An item of an unknown kind.
        CpCValueImage img;
        ASSERT_TRUE(img.registerRange(1, 0, 4, true));
        ASSERT_TRUE(img.addItem(1, {0x77, 0, 0}));
        FsSecCValue sec;
        attachMem(sec);
        EXPECT_FALSE(img.build(sec, nullptr));
        EXPECT_EQ("", sectionBytes(sec));
    }
    {
        // A reference without context, and one to a CID without value.
        StSymbTable table;
        const StSymbTable* contexts[] = {nullptr, &table};
        for (const StSymbTable* ctx : contexts) {
            CpCValueImage img;
            ASSERT_TRUE(img.registerRange(1, 0, 4, true));
            ASSERT_TRUE(img.addReference(1, 9, 0));
            FsSecCValue sec;
            attachMem(sec);
            EXPECT_FALSE(img.build(sec, ctx));
            EXPECT_EQ("", sectionBytes(sec));
        }
    }
    {
        // A reference into a range that was never registered.
        StSymbTable table;
        StConstantVal* v = new StStdConstantVal(int32_t(3), false);
        const StConstEntryID cid = table.constants()->addConstantVal(v);
        CpCValueImage img;
        ASSERT_TRUE(img.addReference(4, cid, 0));
        std::vector<uint32_t> words;
        EXPECT_FALSE(img.buildWords(words, &table));
    }
}

TEST(CpCValueImage, ValuesBecomeItems)
{
    // A range at 0x40 of 24 bytes: a DINT -5 at 0x40, an LREAL 1.5 at 0x48,
    // an integer array of 3 INT 7 at 0x50, a BYTE at 0x56.
    StSymbTable table;
    auto add = [&](StConstantVal* v, int32_t at) {
        v->setStorageAddress(at);
        return table.constants()->addConstantVal(v);
    };
    StStdConstantVal* d = new StStdConstantVal(int32_t(-5), false);
    const StConstEntryID c1 = add(d, 0x40);
    StStdConstantVal* l = new StStdConstantVal(ST_LREAL, false);
    l->SetLRealVal(1.5);
    const StConstEntryID c2 = add(l, 0x48);
    StStdConstantVal* i = new StStdConstantVal(7u, false);  // INT
    i->SetLongVal(7);
    const StConstEntryID c3 = add(new StIntArrayConstantVal(3, i, 2, false), 0x50);
    StStdConstantVal* b = new StStdConstantVal(2u, false);  // BYTE
    b->SetULongVal(0xAB);
    const StConstEntryID c4 = add(b, 0x56);

    CpCValueImage img;
    ASSERT_TRUE(img.registerRange(0, 0x40, 24, true));
    // Added out of order: the items are sorted by offset.
    for (StConstEntryID c : {c4, c3, c2, c1})
        ASSERT_TRUE(img.addReference(0, c, uint32_t(table.getConstantVal(c)->getStorageAddress())));
    std::vector<uint32_t> w;
    ASSERT_TRUE(img.buildWords(w, &table));
    // header 7 words; structure 2 + 2x4 = 10 at 7; index at 17 (2 words);
    // data record at 20 (even): header, filler, 2 words; repeat at 24.
    const std::vector<uint32_t> expect = {
        0x10000002, 0x10000040, 24, 7, 0xB0000000, 0, 17,      // header
        0x20000004, 24,                                        // structure
        0x03000000, uint32_t(-5),                              // DINT at 0
        0x0B000008, 20 + 2 + 0,                                // LREAL at 8
        0x0F000010, 24,                                        // array at 16
        0x01000016, 0xAB,                                      // BYTE at 22
        0x50000001, 20,                                        // index
        0,                                                     // filler word 19
        0x44000014, 0, 0x00000000, 0x3FF80000,                 // 8-byte data
        0x32000002, 3, 7,                                      // repeat: size 2, INT
    };
    EXPECT_EQ(expect, w);
}
