// Compile-side declarations of units, tasks, POUs, name spaces, direct and
// return variables, and the scope queries over them.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "bo/cp/CpSymbTable.h"

namespace {

class DeclTable : public CpSymbTable {
public:
    DeclTable()
        : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0)
    {
    }
    void breakIt() { setStatus(1); }
};

TEST(CpSymbDecl, UnitsByMode)
{
    DeclTable t;
    const size_t before = t.entries()->size();
    StSymbEntryID sid;
    t.declareUnit(sid, "u3", 0, 0, 5, 3, true);
    EXPECT_TRUE(sid.isInvalid());
    EXPECT_EQ(before, t.entries()->size());

    struct Case {
        const char* name;
        uint32_t mode;
        int32_t value;
        uint8_t byte;
    };
    for (const Case& c : {Case{"u1", 1, 1, 0xFF}, Case{"u2", 2, 2, 0}}) {
        t.declareUnit(sid, c.name, 0, 0, 5, c.mode, true);
        ASSERT_TRUE(sid.isValid()) << c.name;
        const StSyBaseSymbEntry* e = t.findEntry(sid);
        EXPECT_EQ(c.value, e->getVisibility()) << c.name;
        EXPECT_EQ(c.byte, e->getUnitIndex()) << c.name;
        StRangeID vr = 9, nr = 9;
        EXPECT_EQ(0, t.getSymbolScope(sid, vr, nr));
        EXPECT_EQ(0u, vr);
        EXPECT_EQ(5u, nr);
    }
}

TEST(CpSymbDecl, DirectVariableAddressAndClass)
{
    DeclTable t;
    StSymbEntryID in, out;
    t.declareDirectVariable(in, "i", 0, 0, ST_INT, ST_INVALID_SID, 0x01234567, true, true);
    t.declareDirectVariable(out, "o", 0, 0, ST_INT, ST_INVALID_SID, 0x01234567, false, true);
    ASSERT_TRUE(in.isValid() && out.isValid());
    EXPECT_EQ(int32_t(0xFC234567), t.findEntry(in)->getStorageAddress());
    EXPECT_EQ(StTypeID(ST_INT), t.findEntry(in)->getTypeID());
    // The entry answers its class only through its access tests: class 1
    // reads and writes, class 2 only reads.
    EXPECT_TRUE(t.findEntry(in)->isWritable());
    EXPECT_TRUE(t.findEntry(out)->isReadable());
    EXPECT_FALSE(t.findEntry(out)->isWritable());
}

TEST(CpSymbDecl, NameSpaceIsFoundAndReKeyed)
{
    DeclTable t;
    StSymbEntryID ns;
    t.declareNameSpace(ns, "ns", 0, 0, 40, 41, ST_INVALID_SID, 0x100, true);
    ASSERT_TRUE(ns.isValid());
    EXPECT_EQ(t.findEntry(ns), t.findByIdPair(40, 41));
    EXPECT_EQ(0, t.setSymbolNameSpace(ns, 50));
    EXPECT_EQ(nullptr, t.findByIdPair(40, 41));
    EXPECT_EQ(t.findEntry(ns), t.findByIdPair(40, 50));
    EXPECT_EQ(2, t.setSymbolNameSpace(StSymbEntryID(12345), 50));
}

TEST(CpSymbDecl, TasksAndPOUs)
{
    DeclTable t;
    StSymbEntryID task, pou, bad;
    t.declareTask(task, "T", 0, 0, true);
    ASSERT_TRUE(task.isValid());
    const StFrameProperties* f = t.findEntry(task)->getFrameProperties();
    EXPECT_EQ(16, f->frameSize);
    EXPECT_EQ(16, f->retainSize);
    EXPECT_EQ(0, t.findEntry(task)->getStorageAddress());

    t.declarePOU(bad, "P9", 0, 0, 3, ST_KIND_TASK, ST_INVALID_SID, 0, true, true);
    EXPECT_TRUE(bad.isInvalid());
    t.declarePOU(pou, "F", 0, 0, 3, ST_KIND_FUNC, task, 7, true, true);
    ASSERT_TRUE(pou.isValid());
    EXPECT_EQ(7u, t.getAttribute(pou));
    StRangeID vr = 0, nr = 0;
    EXPECT_EQ(0, t.getSymbolScope(pou, vr, nr));
    EXPECT_EQ(3u, vr);
    EXPECT_EQ(0u, nr);
}

TEST(CpSymbDecl, ReturnVariables)
{
    DeclTable t;
    StSymbEntryID f1, f2, r1, r2;
    t.declarePOU(f1, "F1", 0, 0, 3, ST_KIND_FUNC, ST_INVALID_SID, 0, true, true);
    t.declarePOU(f2, "F2", 0, 0, 4, ST_KIND_FUNC, ST_INVALID_SID, 0, true, true);
    t.declareReturnVariable(r1, f1, ST_VOID, ST_INVALID_SID, true);
    t.declareReturnVariable(r2, f2, ST_BOOL, ST_INVALID_SID, true);
    ASSERT_TRUE(r1.isValid() && r2.isValid());
    EXPECT_EQ(0x08, t.findEntry(r1)->getMarkByte() & 0x08);
    EXPECT_EQ(0, t.findEntry(r2)->getMarkByte() & 0x08);
    EXPECT_FALSE(t.findEntry(f1)->getFuncFlag());
    EXPECT_TRUE(t.findEntry(f2)->getFuncFlag());
    EXPECT_EQ(4u, t.findEntry(r2)->getVR());  // F2's frame scope
    EXPECT_EQ(*t.getName(f2), *t.getName(r2));

    StSymbEntryID none;
    t.declareReturnVariable(none, r1, ST_INT, ST_INVALID_SID, false);  // not a function
    EXPECT_TRUE(none.isInvalid());
}

TEST(CpSymbDecl, UnusableTable)
{
    DeclTable t;
    StSymbEntryID unit;
    t.declareUnit(unit, "u", 0, 0, 5, 1, true);
    t.breakIt();
    StSymbEntryID sid;
    t.declareTask(sid, "T", 0, 0, true);
    EXPECT_TRUE(sid.isInvalid());
    StRangeID vr = 0, nr = 0;
    EXPECT_EQ(2, t.getSymbolScope(unit, vr, nr));
    EXPECT_EQ(ST_INVALID_RANGE, vr);
    EXPECT_EQ(2, t.setSymbolNameSpace(unit, 3));
}

} // namespace

namespace {

TEST(CpSymbDecl, ObjectsAndTheirTypes)
{
    DeclTable t;
    StSymbEntryID dt, dev, to, bad, pkg;
    t.declareDeviceType(dt, "DT", 0, 0, 11, 12, true);
    ASSERT_TRUE(dt.isValid());
    EXPECT_EQ(StTypeID(ST_ANYOBJECT), t.findEntry(dt)->getTypeID());
    t.declareTO(to, "to", 0, 0, dt, 0x40, true);
    ASSERT_TRUE(to.isValid());
    const StSyBaseSymbEntry* e = t.findEntry(to);
    EXPECT_EQ(dt, e->getTypeRefSID());
    EXPECT_EQ(0x40, e->getStorageAddress());
    EXPECT_EQ(11u, e->getFrameProperties()->membVRange);
    EXPECT_EQ(12u, e->getFrameProperties()->membNRange);
    t.declareTO(bad, "to2", 0, 0, StSymbEntryID(77777), 0, true);
    EXPECT_TRUE(bad.isInvalid());
    t.declareDevice(dev, "D", 0, 0, 13, 14);
    ASSERT_TRUE(dev.isValid());
    EXPECT_FALSE(t.findEntry(dev)->hasAddress());
    t.declarePackageType(pkg, "PT", 0, 0, true);
    EXPECT_EQ(uint32_t(ST_KIND_PACKAGETYPE), t.getEntryKind(pkg));
}

TEST(CpSymbDecl, TypeAliasAndSubrange)
{
    DeclTable t;
    StSymbEntryID v, alias, sub, bad, none;
    t.declareSymbol(v, "v", 0, 0, 1, 0, true, true);
    t.findEntry(v)->setTypeID(ST_INT);
    t.findEntry(v)->setInitCID(StConstEntryID(5));
    t.declareTypeAlias(alias, "A", 0, 0, ST_INT, v, ST_INVALID_SID, 3, true, true, true);
    ASSERT_TRUE(alias.isValid());
    EXPECT_EQ(StConstEntryID(5), t.findEntry(alias)->getInitCID());
    EXPECT_EQ(v, t.findEntry(alias)->getTypeRefSID());
    t.declareTypeAlias(none, "B", 0, 0, 4000, v, ST_INVALID_SID, 3, true, true, true);
    EXPECT_TRUE(none.isInvalid());  // no such type

    StSymbEntryID lo, hi;
    t.declareConstant(lo, "lo", 0, 0, 1, 0, true, true);
    t.declareConstant(hi, "hi", 0, 0, 9, 0, true, true);
    StConstEntryID cids[3];
    t.getValueID(cids[0], lo);
    t.getValueID(cids[1], hi);
    t.getValueID(cids[2], hi);
    StConstantElemPtrList three;
    for (int i = 0; i < 3; ++i) three.push_back(new StConstantElem(cids[i], ST_INVALID_SID));
    t.declareSubrangeType(bad, "S3", 0, 0, ST_INT, ST_INVALID_SID, &three, ST_INVALID_SID, 0, false, true);
    EXPECT_TRUE(bad.isInvalid());
    StConstantElemPtrList two;
    for (int i = 0; i < 2; ++i) two.push_back(new StConstantElem(cids[i], ST_INVALID_SID));
    t.declareSubrangeType(sub, "S2", 0, 0, ST_INT, ST_INVALID_SID, &two, ST_INVALID_SID, 0, false, true);
    ASSERT_TRUE(sub.isValid());
    EXPECT_NE(nullptr, t.findTypeNode(t.getTypeID(sub)));
}

} // namespace

namespace {

TEST(CpSymbDecl, AliasesAndVariableOperands)
{
    DeclTable t;
    StSymbEntryID v, w, alias, taken, cst;
    t.declareSymbol(v, "v", 0, 0, 1, 6, true, true);
    t.declareSymbol(w, "w", 0, 0, 1, 0, true, true);
    t.findEntry(v)->setTypeID(ST_INT);
    t.aliasSymbol(taken, v, "w");
    EXPECT_TRUE(taken.isInvalid());  // the name is declared there
    t.aliasSymbol(alias, v, "v2");
    ASSERT_TRUE(alias.isValid());
    EXPECT_EQ(StTypeID(ST_INT), t.getTypeID(alias));
    EXPECT_EQ(6u, t.getAttribute(alias));

    StASMUserOperand* user = nullptr;
    StASMConstOperand* constant = nullptr;
    EXPECT_EQ(2, t.makeVarOperands(v, user, constant));  // no constant id
    t.declareConstant(cst, "k", 0, 0, 7, 0, true, true);
    t.findEntry(v)->setInitCID(t.findEntry(cst)->getInitCID());
    ASSERT_EQ(0, t.makeVarOperands(v, user, constant));
    EXPECT_EQ(v, user->getSID());
    EXPECT_EQ(t.findEntry(cst)->getInitCID(), constant->getConstElem()->getCID());
    delete user;
    delete constant;

    std::unique_ptr<StASMConstOperand> lit(t.makeLiteralOperand("300", ST_INT));
    ASSERT_TRUE(lit);
    EXPECT_EQ(StTypeID(ST_INT), lit->getTID());
    EXPECT_EQ(nullptr, t.makeLiteralOperand("300", ST_SINT));  // does not fit
    // Reals: loss in the typing converts; a text read out of range does not.
    for (auto [text, type, converts] : {std::make_tuple("0.1", ST_REAL, true), std::make_tuple("1e-310", ST_REAL, false),
                                        std::make_tuple("1e-310", ST_LREAL, false)})
        EXPECT_EQ(converts, std::unique_ptr<StASMConstOperand>(t.makeLiteralOperand(text, type)) != nullptr) << text;
}

} // namespace
