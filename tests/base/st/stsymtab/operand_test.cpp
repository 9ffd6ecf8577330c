// Operands: address words, the User family's array and offset rules,
// frame ids, equality, deep clones and the dump line of each class.
#include <gtest/gtest.h>

#include <sstream>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"

namespace {

std::string dumpOf(const StASMOperand& op)
{
    std::ostringstream os;
    op.dump(os);
    return os.str();
}

TEST(Operand, DirectAddressWords)
{
    StASMDirectOperand in(1, 2, 0x12, 3, true);
    EXPECT_EQ(0xF8820012u, in.getAddressWord());
    StASMDirectOperand out(1, 2, 0x12, 0, false);
    EXPECT_EQ(0xF6000012u, out.getAddressWord());
    out.addFixOff(4);
    EXPECT_EQ(0xF6000016u, out.getAddress());
    EXPECT_EQ(-1, out.getBitInfo());
    EXPECT_TRUE(StASMDirectOperand::hasAddressTag(0xFC000001u));
    EXPECT_FALSE(StASMDirectOperand::hasConstructorTag(0xFC000001u));
    EXPECT_TRUE(StASMDirectOperand::hasConstructorTag(0xF8000001u));
    EXPECT_FALSE(StASMDirectOperand::hasAddressTag(0x12u));
    std::ostringstream os;
    in.dump(os);
    os << 10;
    EXPECT_EQ("DirectOperand -> f882001210", os.str());
}

TEST(Operand, UserScopeArrayAndOffset)
{
    StASMUserOperand u(5, 3, 4, 8, 2, 9);
    EXPECT_EQ(6, u.getScopeClass());
    EXPECT_EQ(0u, dumpOf(u).find("UserOperand -> SymID: 5 Const  TID"));
    EXPECT_EQ(1, StASMUserOperand(5, 3, 4, 0, 0, 9).getScopeClass());
    EXPECT_EQ(3, StASMUserOperand(5, 3, 4, 0, 1, 9).getScopeClass());

    StTypeID tid;
    uint32_t off;
    u.addFixOff(4);
    u.getArray(tid, off);
    EXPECT_EQ(12, u.getFixOff());
    EXPECT_EQ(0u, off);
    u.setArray(true, 40);
    u.setArray(true, 41);  // the first array TID stays
    u.addFixOff(4);
    u.getArray(tid, off);
    EXPECT_EQ(40u, tid);
    EXPECT_EQ(4u, off);
    EXPECT_EQ(16, u.getFixOff());
    EXPECT_TRUE(u.hasArray());
    u.setArray(false, 40);
    u.getArray(tid, off);
    EXPECT_EQ(ST_INVALID_TID, tid);
    EXPECT_EQ(0u, off);
    EXPECT_FALSE(u.hasArray());

    EXPECT_TRUE(u.isPlainValue());
    u.setFlagBit4();
    EXPECT_EQ(2, u.getRefState());
    EXPECT_FALSE(u.isPlainValue());
    EXPECT_FALSE(StASMUserOperand::isFlagBit1Only(nullptr));
    u.setFlagBit1();
    EXPECT_TRUE(StASMUserOperand::isFlagBit1Only(&u));
    u.setFlagBit2();
    EXPECT_FALSE(StASMUserOperand::isFlagBit1Only(&u));
}

TEST(Operand, FrameIds)
{
    StASMFuncParamOperand p(1, 2, 3, 0);
    StSymbEntryID c, k;
    EXPECT_TRUE(p.frameIds(c, k));
    EXPECT_TRUE(c.isInvalid() && k.isInvalid());
    StSymbEntryID c2 = 7, k2;
    p.frameIds(c2, k2);
    StSymbEntryID c3, k3;
    p.frameIds(c3, k3);
    EXPECT_EQ(7u, c3.get());
    EXPECT_TRUE(k3.isInvalid());
    StSymbEntryID a, b;
    StASMUserOperand u(1, 2, 3, 0, 0, 0);
    EXPECT_FALSE(u.frameIds(a, b));
}

TEST(Operand, Equality)
{
    StASMUserOperand a(1, 2, 3, 4, 0, 5), b(1, 2, 3, 4, 0, 6);
    EXPECT_TRUE(operandsEqual(&a, &b));
    EXPECT_FALSE(operandsEqual(&a, nullptr));
    StASMUserOperand c(1, 2, 3, 5, 0, 5);
    EXPECT_FALSE(operandsEqual(&a, &c));
    b.setVarOff(new StASMTempOperand(9, 2, 3, 0));
    EXPECT_FALSE(operandsEqual(&a, &b));

    StASMConstOperand k1(new StConstantElem(new StStdConstantVal(int32_t(1), false)), 2, 3);
    StASMConstOperand k2(new StConstantElem(new StStdConstantVal(int32_t(1), false)), 2, 3);
    EXPECT_FALSE(operandsEqual(&k1, &k2));

    StASMDirectOperand d1(1, 2, 3, 0xF6000012u), d2(1, 2, 3, 0xF6000012u);
    EXPECT_TRUE(operandsEqual(&d1, &d2));
    d2.setBitInfo(2);
    EXPECT_FALSE(operandsEqual(&d1, &d2));

    StASMSysVarOperand s1(4), s2(4), s3(5);
    EXPECT_TRUE(operandsEqual(&s1, &s2));
    EXPECT_FALSE(operandsEqual(&s1, &s3));

    StASMFuncParamOperand f1(1, 2, 3, 0), f2(1, 2, 3, 0);
    EXPECT_TRUE(operandsEqual(&f1, &f2));
    StSymbEntryID cur = 3, call;
    f2.frameIds(cur, call);
    EXPECT_FALSE(operandsEqual(&f1, &f2));
}

TEST(Operand, DeepCloneAndOwnership)
{
    auto* user = new StASMUserOperand(1, 2, 3, 0, 1, 4);
    user->setVarOff(new StASMTempOperand(7, 2, 3, 0));
    user->setSource(11, 12);
    StASMBitAccessOperand bit(user, new StASMDirectOperand(1, 2, 0, 1, true));
    EXPECT_EQ(11u, bit.getSrcOrd());
    EXPECT_EQ(12u, bit.getLine());
    EXPECT_EQ(user->getBaseOperand(), bit.getBaseOperand());
    StASMOperand* copy = bit.clone();
    ASSERT_NE(nullptr, copy->getBaseOperand());
    EXPECT_NE(bit.getBaseOperand(), copy->getBaseOperand());
    EXPECT_EQ(dumpOf(bit), dumpOf(*copy));
    delete copy;

    StASMSysVarOperand sv(3);
    sv.setVarOff(new StASMTempOperand(7, 2, 3, 0));
    sv.setToRef(new StASMUserOperand(1, 2, 3, 0, 1, 4));
    StASMOperand* svc = sv.clone();
    EXPECT_EQ(dumpOf(sv), dumpOf(*svc));
    delete svc;
    sv.setSysVar(8, 9, 10, 11);  // the offset operand goes
    EXPECT_EQ(nullptr, sv.getBaseOperand());
    EXPECT_EQ(8u, sv.getSID().get());

    StASMConstOperand k(new StConstantElem(new StStdConstantVal(int32_t(1), false)), 2, 3);
    k.setIndexOperand(new StASMTempOperand(7, 2, 3, 0));
    StASMOperand* kc = k.clone();
    EXPECT_NE(k.getConstElem(), kc->getConstElem());
    EXPECT_EQ(dumpOf(k), dumpOf(*kc));
    delete kc;
}

struct DumpCase {
    const char* name;
    StASMOperand* (*make)();
    const char* expected;
};

const DumpCase kDumps[] = {
    {"user", [] { return (StASMOperand*)new StASMUserOperand(5, 3, 4, 8, 1, 9); },
     "UserOperand -> SymID: 5 Global  TID: 3 MachMode: 4 FixOff: 8 SrcOrd/Ln: 0/0"},
    {"userArrayVarOff",
     [] {
         auto* u = new StASMUserOperand(5, 3, 4, 0, 0, 9);
         u->setArray(true, 40);
         u->setVarOff(new StASMTempOperand(6, 3, 4, 0));
         return (StASMOperand*)u;
     },
     "UserOperand -> SymID: 5 Local  hasArray  VarOff: (TempOperand -> SymID: 6 TID: 3 MachMode: 4 FixOff: 0 "
     "SrcOrd/Ln: 0/0) TID: 3 MachMode: 4 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"memblk", [] { return (StASMOperand*)new StASMUserMemBlkOperand(5, 3, 4, 0, 0, 9, 64); },
     "UserOperand -> SymID: 5 Local  TID: 3 MachMode: 4 FixOff: 0 SrcOrd/Ln: 0/0 Blocksize: 64 "},
    {"sysvar", [] { return (StASMOperand*)new StASMSysVarOperand(7); },
     "SystemVarOperand -> ToID: 7 SymID: 4294967295 TID: 4294967295 MachMode: 13 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"symbolic", [] { return (StASMOperand*)new StASMSymbolicOperand("P", "N", 7); },
     "SymbolicOperand -> Prefix: P Name: N ToID: 7 SymID: 4294967295 TID: 4294967295 MachMode: 13 FixOff: 0 "
     "SrcOrd/Ln: 0/0"},
    {"interface", [] { return (StASMOperand*)new StASMExtInterfOperand(2); },
     "InterfaceVarOperand -> DvID: 2 SymID: 4294967295 TID: 4294967295 MachMode: 13 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"temp", [] { return (StASMOperand*)new StASMTempOperand(1, 2, 3, 4); },
     "TempOperand -> SymID: 1 TID: 2 MachMode: 3 FixOff: 4 SrcOrd/Ln: 0/0"},
    {"virtual", [] { return (StASMOperand*)new StASMVirtualOperand(3); },
     "VirtualOperand -> SymID of Namespace: 3 TID: 4294967295 MachMode: 13 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"funcparam", [] { return (StASMOperand*)new StASMFuncParamOperand(1, 2, 3, 0); },
     "FuncParamOperand -> currFrameID: 4294967295 callFrameID: 4294967295 UserOperand -> SymID: 1 Local  TID: 2 "
     "MachMode: 3 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"funcparamref", [] { return (StASMOperand*)new StASMFuncParamRefOperand(1, 2, 3, 0); },
     "FuncParamReferenceOperand -> currFrameID: 4294967295 callFrameID: 4294967295 UserOperand -> SymID: 1 Local  "
     "TID: 2 MachMode: 3 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"userref", [] { return (StASMOperand*)new StASMUserRefOperand(1, 2, 3, 0); },
     "UserOperand -> SymID: 1 Local  TID: 2 MachMode: 3 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"const", [] { return (StASMOperand*)new StASMConstOperand(nullptr, 2, 3); },
     "ConstOperand ->  TID: 2 MachMode: 3 FixOff: 0 SrcOrd/Ln: 0/0"},
    {"bit",
     [] {
         return (StASMOperand*)new StASMBitAccessOperand(new StASMTempOperand(1, 2, 3, 0),
                                                         new StASMDirectOperand(ST_INVALID_SID, 1, 1, 5u));
     },
     "StASMBitAccessOperand ->   TID: 4294967295 MachMode: 13 FixOff: 0 SrcOrd/Ln: 0/0  BaseOperand: TempOperand -> "
     "SymID: 1 TID: 2 MachMode: 3 FixOff: 0 SrcOrd/Ln: 0/0 BitOperand:  DirectOperand -> 5 "},
    {"string", [] { return (StASMOperand*)new StASMStringAccessOperand(nullptr, nullptr); },
     "StASMStringAccessOperand ->   TID: 4294967295 MachMode: 13 FixOff: 0 SrcOrd/Ln: 0/0  StringOperand:  "
     "IndexOperand:   "},
};

TEST(Operand, DumpLinesAndKinds)
{
    const StASMOperandKind kinds[] = {ST_OP_USER, ST_OP_USER, ST_OP_USER, ST_OP_SYSVAR, ST_OP_SYMBOLIC,
                                      ST_OP_EXTINTERF, ST_OP_TEMP, ST_OP_VIRTUAL, ST_OP_FUNCPARAM,
                                      ST_OP_FUNCPARAMREF, ST_OP_USERREF, ST_OP_CONST, ST_OP_BITACCESS,
                                      ST_OP_STRINGACCESS};
    int i = 0;
    for (const DumpCase& c : kDumps) {
        StASMOperand* op = c.make();
        EXPECT_EQ(c.expected, dumpOf(*op)) << c.name;
        EXPECT_EQ(kinds[i++], op->getKind()) << c.name;
        StASMOperand* copy = op->clone();
        EXPECT_EQ(dumpOf(*op), dumpOf(*copy)) << c.name;
        delete copy;
        delete op;
    }
}

}  // namespace
