// Compile-side constants and operands: the initialiser size check (with a
// product that would wrap in 32 bits), shared integer constants, size
// constants and temporaries with their reuse.
#include <gtest/gtest.h>

#include <memory>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpSymbTable.h"
#include "bo/cp/CpTypeRules.h"

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

namespace {

StASMConstOperand* constOperand(StTypeID tid, StSymbEntryID sym, StConstEntryID cid = ST_INVALID_CID)
{
    return new StASMConstOperand(new StConstantElem(cid, sym), tid, 0);
}

TEST(CpSymbOperands, BindByConversion)
{
    setTypeSystemForTest(0);
    OperandTable t;
    std::unique_ptr<StASMConstOperand> op(constOperand(ST_INT, ST_INVALID_SID, StConstEntryID(1)));
    ASSERT_TRUE(t.bindConstOperand(op.get(), ST_DINT, false));
    EXPECT_EQ(StTypeID(ST_DINT), op->getTID());
    EXPECT_EQ(t.getMachMode(ST_DINT), op->getMachMode());
    std::unique_ptr<StASMConstOperand> time(constOperand(ST_TIME, ST_INVALID_SID, StConstEntryID(1)));
    EXPECT_FALSE(t.bindConstOperand(time.get(), ST_BOOL, false));  // canConvertElementary refuses
    EXPECT_EQ(StTypeID(ST_TIME), time->getTID());
    EXPECT_FALSE(t.bindConstOperand(nullptr, ST_INT, false));
    EXPECT_FALSE(t.bindConstOperand(op.get(), ST_INVALID_TID, false));
    setTypeSystemForTest(-1);
}

TEST(CpSymbOperands, BindAnEnumeratorFoundInItsEnumerationsScope)
{
    for (bool keep : {false, true}) {
        OperandTable t;
        StSymbEntryID red, green, e, parent;
        t.declareConstant(red, "red", 0, 0, 1, 0, true, true);
        t.declareConstant(green, "green", 0, 0, 2, 0, true, true);
        auto* list = new StSymbEntryIDList();
        list->push_back(red);
        list->push_back(green);
        t.declareEnumType(e, "Colour", 0, 0, list, parent, 0, false, true, true, true);
        ASSERT_TRUE(e.isValid());
        const StTypeID tid = t.getTypeID(e);
        // The operand names the outer "green", which is no enumerator by owner.
        std::unique_ptr<StASMConstOperand> op(constOperand(ST_DINT, green));
        ASSERT_TRUE(t.bindConstOperand(op.get(), tid, keep)) << keep;
        EXPECT_EQ(tid, op->getTID());
        const StSymbEntryID inner = t.findEntry(op->getConstElem()->getSyID()) ? op->getConstElem()->getSyID()
                                                                                : ST_INVALID_SID;
        if (keep) {
            ASSERT_TRUE(inner.isValid());
            EXPECT_NE(green, inner);
            EXPECT_EQ(e, t.findEntry(inner)->getTypeRefSID());
        } else {
            EXPECT_TRUE(inner.isInvalid());
            int32_t v = 0;
            ASSERT_TRUE(t.getConstant(op->getConstElem()->getCID())->getDInt(v));
            EXPECT_EQ(2, v);
        }
    }
}

TEST(CpSymbOperands, UserOperandAndFrameBase)
{
    OperandTable t;
    StSymbEntryID v, fb;
    t.declareSymbol(v, "v", 0, 0, 1, 0, true, true);
    t.findEntry(v)->setTypeID(ST_INT);
    StASMOperand* op = constOperand(ST_INT, v);
    op->setSource(3, 44);
    ASSERT_TRUE(t.replaceByUserOperand(op));
    auto* user = dynamic_cast<StASMUserOperand*>(op);
    ASSERT_NE(nullptr, user);
    EXPECT_EQ(v, user->getSID());
    EXPECT_EQ(44u, user->getLine());
    EXPECT_EQ(3u, user->getSrcOrd());
    EXPECT_EQ(0x20u, user->getFlags() & 0x20);
    delete op;

    t.declarePOU(fb, "FB", 0, 0, 5, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    EXPECT_EQ(nullptr, t.makeFrameBaseOperand(fb));
    t.findEntry(fb)->getFrameProperties()->flags |= 0x10000;
    std::unique_ptr<StASMUserOperand> base(t.makeFrameBaseOperand(fb));
    ASSERT_TRUE(base);
    EXPECT_EQ(16, base->getFixOff());
    EXPECT_EQ(StTypeID(ST_MEMADR), base->getTID());
    EXPECT_EQ(ST_SEG_FRAME, t.findEntry(fb)->segmentBits());
}

} // namespace

namespace {

TEST(CpSymbOperands, InstanceOperandsAndOutputArguments)
{
    OperandTable t;
    StSymbEntryID fb, prog, in, io, local, owner;
    t.declarePOU(fb, "FB", 0, 0, 5, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    t.declarePOU(prog, "P", 0, 0, 6, ST_KIND_PROGRAM, ST_INVALID_SID, 0, true, true);
    t.declareSymbol(owner, "o", 0, 0, 1, 0, true, true);
    t.declareSymbol(in, "in", 5, 0, 2, 0, true, true);
    t.declareSymbol(local, "l", 5, 0, 1, 0, true, true);
    t.declareSymbol(io, "io", 5, 0, 4, 0, true, true);  // by reference
    t.findEntry(io)->setTypeRefSID(owner);

    std::unique_ptr<StASMFuncParamOperand> inst(t.makeInstanceOperand(fb));
    ASSERT_TRUE(inst);
    EXPECT_EQ(ST_OP_FUNCPARAM, inst->getKind());
    t.findEntry(prog)->getFrameProperties()->flags |= 0x10000;
    std::unique_ptr<StASMFuncParamOperand> ref(t.makeInstanceOperand(prog));
    ASSERT_TRUE(ref);
    EXPECT_EQ(ST_OP_FUNCPARAMREF, ref->getKind());
    EXPECT_EQ(nullptr, t.makeInstanceOperand(in));

    std::unique_ptr<CpfuncArgList> args(t.makeOutputArgList(fb, StSymbEntryID(42)));
    ASSERT_TRUE(args);
    ASSERT_EQ(2u, args->size());
    EXPECT_EQ(in, (*args)[0].operand->getSID());
    EXPECT_EQ(ST_OP_FUNCPARAM, (*args)[0].operand->getKind());
    EXPECT_EQ(io, (*args)[1].operand->getSID());
    EXPECT_EQ(ST_OP_FUNCPARAMREF, (*args)[1].operand->getKind());
    EXPECT_EQ(owner, (*args)[1].owner);
    StSymbEntryID curr, call;
    (*args)[0].operand->frameIds(curr, call);
    EXPECT_EQ(StSymbEntryID(42), curr);
    EXPECT_EQ(nullptr, t.makeOutputArgList(prog, StSymbEntryID(42)));
}

} // namespace

namespace {

TEST(CpSymbOperands, CallOperandRebasesArgumentsUnderFrameBit16)
{
    OperandTable t;
    StSymbEntryID fb, in, caller;
    t.declarePOU(fb, "FB", 0, 0, 5, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    t.declareSymbol(in, "in", 5, 0, 2, 0, true, true);
    t.findEntry(in)->setTypeID(ST_INT);
    t.findEntry(in)->setStorageAddress(0x24);
    t.declareSymbol(caller, "inst", 0, 0, 1, 0, true, true);
    StASMUserOperand base(caller, ST_INT, 0, 0x100, 0, ST_INVALID_SID);

    for (bool bit16 : {false, true}) {
        if (bit16) t.findEntry(fb)->getFrameProperties()->flags |= 0x10000;
        std::unique_ptr<CpfuncArgList> args(t.makeOutputArgList(fb, StSymbEntryID(7)));
        ASSERT_EQ(1u, args->size());
        (*args)[0].operand->setSource(2, 33);
        std::unique_ptr<StASMFuncParamOperand> call(t.makeCallOperand(fb, StSymbEntryID(7), &base, args.get(), nullptr));
        ASSERT_TRUE(call);
        const StASMOperand* a = (*args)[0].operand.get();
        if (!bit16) {
            EXPECT_EQ(in, a->getSID());  // left as it was
            continue;
        }
        EXPECT_EQ(ST_OP_FUNCPARAMREF, call->getKind());
        EXPECT_EQ(caller, a->getSID());
        EXPECT_EQ(0x124, a->getFixOff());
        EXPECT_EQ(33u, a->getLine());
    }
}

} // namespace
