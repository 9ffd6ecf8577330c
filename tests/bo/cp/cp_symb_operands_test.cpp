// Compile-side constants and operands: the initialiser size check (with a
// product that would wrap in 32 bits), shared integer constants, size
// constants and temporaries with their reuse.
#include <gtest/gtest.h>

#include <memory>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpSymbTable.h"

namespace {

class OperandTable : public CpSymbTable {
public:
    OperandTable()
        : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0)
    {
    }
};

// One element of count repeats of a value of the type.
StConstantElem* elemOf(StTypeID tid, int32_t count)
{
    auto* e = new StConstantElem(new StStdConstantVal(uint32_t(tid)));
    e->setCount(count);
    return e;
}

TEST(CpSymbOperands, InitSizeLimits)
{
    OperandTable t;
    EXPECT_TRUE(t.checkInitSize(nullptr, 0xFFFFFFFF));
    StConstantElemPtrList sixteen;  // 0x10 bytes
    sixteen.push_back(elemOf(ST_DINT, 4));
    EXPECT_TRUE(t.checkInitSize(&sixteen, 0x100000));
    EXPECT_FALSE(t.checkInitSize(&sixteen, 0x100001));
    EXPECT_FALSE(t.checkInitSize(&sixteen, 0x1000000));

    // 0x1000 bytes x 0x100001 is 0x100001000: cut to 32 bits it would be
    // 0x1000 and pass.
    StConstantElemPtrList page;
    page.push_back(elemOf(ST_LREAL, 0x200));
    EXPECT_TRUE(t.checkInitSize(&page, 0x1000));
    EXPECT_FALSE(t.checkInitSize(&page, 0x100001));

    StConstantElemPtrList huge;  // one list past 0xFFFFFF by itself
    huge.push_back(elemOf(ST_DINT, 0x400000));
    EXPECT_FALSE(t.checkInitSize(&huge, 1));
}

TEST(CpSymbOperands, SharedIntegerAndSizeConstants)
{
    OperandTable t;
    std::unique_ptr<StASMConstOperand> a(t.makeIntConstOperand(1234)), b(t.makeIntConstOperand(1234));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->getConstElem()->getCID(), b->getConstElem()->getCID());

    StConstEntryID s1, s2;
    const StTypeID st = t.types()->createStructType({ST_DINT, ST_BOOL}, 4, 5);
    t.makeSizeConstant(s1, st, false);
    t.makeAlignedSizeConstant(s2, st, false);
    int32_t v1 = 0, v2 = 0;
    ASSERT_TRUE(t.getConstant(s1)->getDInt(v1));
    ASSERT_TRUE(t.getConstant(s2)->getDInt(v2));
    EXPECT_EQ(5, v1);
    EXPECT_EQ(8, v2);
}

TEST(CpSymbOperands, TemporariesAndTheirArrays)
{
    OperandTable t;
    std::unique_ptr<StASMTempOperand> one(t.makeTempOperand(ST_INT, 1));
    ASSERT_TRUE(one);
    EXPECT_EQ(StTypeID(ST_INT), one->getTID());

    std::unique_ptr<StASMTempOperand> four(t.makeTempOperand(ST_INT, 4)), again(t.makeTempOperand(ST_INT, 4));
    ASSERT_TRUE(four && again);
    int32_t lower = -1, upper = -1;
    ASSERT_TRUE(t.getArrayBounds(four->getTID(), lower, upper));
    EXPECT_EQ(0, lower);
    EXPECT_EQ(3, upper);
    EXPECT_EQ(four->getTID(), again->getTID());  // the array type is reused
    EXPECT_NE(four->getSID(), again->getSID());   // both temporaries in use

    StSyBaseSymbEntry* e = t.findEntry(four->getSID());
    EXPECT_FALSE(t.releaseTemporary(e, true));
    EXPECT_TRUE(t.releaseTemporary(e, true));  // already listed
    std::unique_ptr<StASMTempOperand> reused(t.makeTempOperand(ST_INT, 4));
    EXPECT_EQ(four->getSID(), reused->getSID());
}

} // namespace
