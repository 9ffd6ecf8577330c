// The frame symbol table: borrowing another table's tables (lookups, the
// order of destruction), the own-table form, and resizing array variables
// with the array flag clear and set.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/boframe/BoFrameSymbTable.h"
#include "co/TraceApi.h"

namespace {

// An ARRAY [0..63] OF LREAL system variable "arr" at address 9.
StSymbEntryID addArrayVar(SyStSymbTable& t)
{
    const StTypeID arr = t.types()->createArrayType(ST_LREAL, 0, 63);
    StSymbEntryID sid = ST_INVALID_SID;
    StSyBaseSymbEntry* e = t.addEntry("arr", t.getGlobalVR(), t.getGlobalNR(), ST_KIND_SYSVAR, sid);
    EXPECT_TRUE(e);
    if (!e) return ST_INVALID_SID;
    e->setStorageAddress(9);
    e->setTypeID(arr);
    return e->getID();
}

std::string saved(SyStSymbTable& t)
{
    std::ostringstream os;
    EXPECT_TRUE(t.save(os));
    return os.str();
}

}  // namespace

TEST(FrameSymbTable, BorrowsTheTablesOfALoadedTableAndGivesThemBack)
{
    SyStSymbTable source;
    source.setIdPair(0x00070003);
    const StSymbEntryID sid = addArrayVar(source);
    auto owner = std::make_unique<SyStSymbTable>();
    std::istringstream in(saved(source));
    ASSERT_TRUE(owner->load(in));
    ASSERT_FALSE(owner->hasError());

    auto borrower = std::make_unique<CBOFrameSymbTable>(owner.get());
    EXPECT_EQ(owner.get(), borrower->getLender());
    EXPECT_EQ(owner->entries(), borrower->entries());
    EXPECT_EQ(owner->types(), borrower->types());
    EXPECT_EQ(owner->getIdPair(), borrower->getIdPair());
    EXPECT_EQ(owner->getModeWord(), borrower->getModeWord());
    EXPECT_EQ(0, borrower->getArrayFlag());  // only a frame table lends its flag
    const StSyBaseSymbEntry* e = borrower->findEntry(sid);
    ASSERT_TRUE(e);
    EXPECT_EQ(9, e->getStorageAddress());
    uint32_t start = 0;
    EXPECT_EQ(e, borrower->findSysVarByAdr(20, &start));
    EXPECT_TRUE(borrower->isArrayType(e->getTypeID()));

    // A frame table lends its array flag to the next borrower.
    borrower->setArrayFlag(1);
    {
        CBOFrameSymbTable second(borrower.get());
        EXPECT_EQ(1, second.getArrayFlag());
        EXPECT_EQ(owner->strings(), second.strings());
    }
    // Destroying the borrower first leaves the owner whole (ASan checks the
    // owner's final deletion).
    borrower.reset();
    EXPECT_EQ(e, owner->findEntry(sid));
    owner.reset();
}

TEST(FrameSymbTable, OwnTablesLoadASavedTable)
{
    SyStSymbTable source;
    const StSymbEntryID sid = addArrayVar(source);
    CBOFrameSymbTable own;
    EXPECT_EQ(nullptr, own.getLender());
    std::istringstream in(saved(source));
    ASSERT_TRUE(own.load(in));
    ASSERT_TRUE(own.findEntry(sid));
    EXPECT_EQ(9, own.findEntry(sid)->getStorageAddress());
}

TEST(FrameSymbTable, ModifyArraySizeWithTheFlagClearAndSet)
{
    for (uint8_t flag : {uint8_t(0), uint8_t(1)}) {
        SCOPED_TRACE(int(flag));
        CBOFrameSymbTable t;
        t.setArrayFlag(flag);
        const StSymbEntryID sid = addArrayVar(t);
        const StTypeID before = t.findEntry(sid)->getTypeID();

        CTraceCapture cap;
        EXPECT_FALSE(t.modifyArraySize(9, 0));
        EXPECT_FALSE(t.modifyArraySize(10, 4));  // starts no variable
        EXPECT_EQ(before, t.findEntry(sid)->getTypeID());
        ASSERT_EQ(2u, cap.lines().size());
        EXPECT_EQ("CBOFrameSymbTable::modifyArraySize", cap.lines()[0].method);
        EXPECT_EQ(4u, cap.lines()[0].level);
        EXPECT_EQ("boframe", cap.lines()[0].file);

        ASSERT_TRUE(t.modifyArraySize(9, 10));
        const StTypeID after = t.findEntry(sid)->getTypeID();
        int32_t lo = -1, hi = -1;
        ASSERT_TRUE(t.getArrayBounds(after, lo, hi));
        EXPECT_EQ(0, lo);
        EXPECT_EQ(9, hi);
        EXPECT_EQ(80, t.getTypeSize(after, false));
        // The old type is left as it was.
        ASSERT_TRUE(t.getArrayBounds(before, lo, hi));
        EXPECT_EQ(63, hi);
    }
}
