// Compile-side queries: what a type contains (and a cyclic type), type
// texts of anonymous arrays, the POUs of a parent, option bytes, marks and
// enumeration bounds.
#include <gtest/gtest.h>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpSymbTable.h"

namespace {

class QueryTable : public CpSymbTable {
public:
    QueryTable()
        : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0)
    {
    }
};

TEST(CpSymbQueries, TypeContainsThroughArraysStructuresAndBlocks)
{
    QueryTable t;
    StSyTypeTable* types = t.types();
    const StTypeID str = t.getStringTypeID(10);
    const StTypeID fb = types->createFuncType(4, {ST_DINT, str}, 16, {}, 4, 16, ST_INVALID_SID, true);
    const StTypeID st = types->createStructType({ST_INT, fb}, 4, 20);
    const StTypeID arr = types->createArrayType(st, 1, 3);
    const StTypeID plain = types->createStructType({ST_INT, ST_DINT}, 4, 8);
    ASSERT_NE(ST_INVALID_TID, arr);
    EXPECT_TRUE(t.typeContains(arr, false, false, true));
    EXPECT_FALSE(t.typeContains(arr, true, true, false));
    EXPECT_FALSE(t.typeContains(plain, true, true, true));
    EXPECT_TRUE(t.typeContains(ST_ANYOBJECT, true, false, false));
    EXPECT_TRUE(t.typeContains(ST_MEMADR, false, true, false));
    EXPECT_FALSE(t.typeContains(ST_MEMADR, true, false, true));

    EXPECT_TRUE(t.typeHasPlainData(plain));
    EXPECT_FALSE(t.typeHasPlainData(ST_MEMADR));
    const StTypeID refs = types->createStructType({}, 4, 0);
    const StTypeID refArr = types->createArrayType(ST_MEMADR, 0, 3);
    EXPECT_FALSE(t.typeHasPlainData(refs));
    EXPECT_FALSE(t.typeHasPlainData(refArr));

    // A structure holding itself (as a damaged file may say) answers false.
    const StTypeID cyc = types->createStructType({ST_INT}, 4, 4);
    types->findNode(cyc)->post() = {cyc};
    EXPECT_FALSE(t.typeContains(cyc, true, true, true));
    EXPECT_TRUE(t.typeHasPlainData(cyc));  // a structure with members has plain data at once
    const StTypeID cycArr = types->createArrayType(ST_MEMADR, 0, 1);
    types->findNode(cycArr)->post() = {cycArr};
    EXPECT_FALSE(t.typeHasPlainData(cycArr));
    EXPECT_FALSE(t.typeContains(cycArr, true, true, true));
}

TEST(CpSymbQueries, TypeTextOfAnAnonymousArray)
{
    QueryTable t;
    const StTypeID arr = t.types()->createArrayType(ST_INT, 2, 5);
    StSymbEntryID anon, named;
    StSyBaseSymbEntry* e = t.addEntry(static_cast<String*>(nullptr), 0, 0, ST_KIND_TYPESPEC, anon);
    ASSERT_NE(nullptr, e);
    e->setTypeID(arr);
    EXPECT_EQ(String("ARRAY[2..5] OF INT"), t.getTypeText(anon));
    t.declareSymbol(named, "v", 0, 0, 1, 0, true, true);
    t.findEntry(named)->setTypeID(arr);
    EXPECT_EQ(String("v"), t.getTypeText(named));
}

TEST(CpSymbQueries, CollectPOUsInEntryOrder)
{
    QueryTable t;
    StSymbEntryID unit, other, p1, task, p2, done, g1, g2;
    t.declareUnit(unit, "U", 0, 0, 1, 2, true);
    t.declareUnit(other, "O", 0, 0, 2, 2, true);
    t.declarePOU(p1, "P1", 0, 0, 3, ST_KIND_PROGRAM, unit, 0, true, true);
    t.declareTask(task, "T", 0, 0, true);
    t.declarePOU(p2, "P2", 0, 0, 4, ST_KIND_FUNC, other, 0, true, true);
    t.declarePOU(done, "P3", 0, 0, 5, ST_KIND_FUNCBLOCK, unit, 0, true, true);
    t.findEntry(done)->getFrameProperties()->flags |= 1;
    StSyBaseSymbEntry* e1 = t.addEntry("G1", 0, 0, ST_KIND_GLOBVAR, g1);
    StSyBaseSymbEntry* e2 = t.addEntry("G2", 0, 0, ST_KIND_GLOBVAR, g2);
    e1->setVisibility(2, 0);
    e2->setVisibility(1, 0);

    StSymbEntryIDVect all, globals;
    t.collectPOUs(ST_INVALID_SID, all, &globals);
    EXPECT_EQ((StSymbEntryIDVect{p1, task, p2}), all);
    EXPECT_EQ((StSymbEntryIDVect{g1}), globals);
    EXPECT_EQ(0x08, e1->getMarkByte() & 0x08);
    globals.clear();
    t.collectPOUs(ST_INVALID_SID, all, &globals);  // bit 3 set: not again
    EXPECT_TRUE(globals.empty());

    StSymbEntryIDVect ofUnit;
    t.collectPOUs(unit, ofUnit);
    EXPECT_EQ((StSymbEntryIDVect{p1}), ofUnit);
}

TEST(CpSymbQueries, OptionFlagOfUnitsAndPackages)
{
    QueryTable t;
    StSymbEntryID unit, pou, pkg, fixed, var;
    t.declareUnit(unit, "U", 0, 0, 1, 2, true);  // option byte 0
    t.declarePOU(pou, "P", 0, 0, 3, ST_KIND_PROGRAM, unit, 0, true, true);
    ASSERT_TRUE(t.setOptionFlag(unit, 0x21));
    EXPECT_EQ(0x21, t.findEntry(unit)->getUnitIndex());
    EXPECT_EQ(0x21, t.findEntry(pou)->getUnitIndex());
    // Now set below 0xE0: answered by comparison, nothing changes.
    EXPECT_TRUE(t.setOptionFlag(unit, 0x21));
    EXPECT_FALSE(t.setOptionFlag(unit, 0x22));
    EXPECT_EQ(0x21, t.findEntry(unit)->getUnitIndex());

    t.declareUnit(fixed, "F", 0, 0, 2, 1, true);  // option byte 0xFF: replaced
    EXPECT_TRUE(t.setOptionFlag(fixed, 0x05));
    EXPECT_EQ(0x05, t.findEntry(fixed)->getUnitIndex());

    t.addEntry("PT", 0, 0, ST_KIND_PACKAGETYPE, pkg);
    EXPECT_TRUE(t.setOptionFlag(pkg, 0x07));
    t.declareSymbol(var, "v", 0, 0, 1, 0, true, true);
    EXPECT_FALSE(t.setOptionFlag(var, 0x07));
}

TEST(CpSymbQueries, MarksParentsAndEnumBounds)
{
    QueryTable t;
    StSymbEntryID a, b, fb, v, parent, owner;
    t.declareSymbol(a, "a", 0, 0, 1, 0, true, true);
    EXPECT_TRUE(t.markSymbol(a, true));
    EXPECT_TRUE(t.markSymbol(a, false));
    EXPECT_FALSE(t.markSymbol(a, false));
    EXPECT_FALSE(t.markSymbol(StSymbEntryID(99999), true));

    t.declarePOU(fb, "FB", 0, 0, 3, ST_KIND_FUNCBLOCK, a, 0, true, true);
    t.getParentSID(parent, fb);
    EXPECT_EQ(a, parent);
    t.declareSymbol(v, "v", 0, 0, 1, 0, true, true);
    t.findEntry(v)->setTypeRefSID(fb);
    t.getOwnerFunctionBlock(owner, v);
    EXPECT_EQ(fb, owner);
    t.findEntry(v)->setTypeRefSID(a);
    t.getOwnerFunctionBlock(owner, v);
    EXPECT_TRUE(owner.isInvalid());

    StSymbEntryID c1, c2, e;
    t.declareConstant(c1, "c1", 0, 0, 1, 0, true, true);
    t.declareConstant(c2, "c2", 0, 0, 2, 0, true, true);
    StSymbEntryIDList* list = new StSymbEntryIDList();
    list->push_back(c1);
    list->push_back(c2);
    StSymbEntryID p;
    t.declareEnumType(e, "E", 0, 0, list, p, 0, false, false, true, true);
    ASSERT_TRUE(e.isValid());
    t.getEnumBound(b, t.getTypeID(e), false);
    EXPECT_EQ(c1, b);
    t.getEnumBound(b, t.getTypeID(e), true);
    EXPECT_EQ(c2, b);
    t.getEnumBound(b, ST_INT, true);
    EXPECT_TRUE(b.isInvalid());
}

} // namespace

namespace {

TEST(CpSymbQueries, ConstantValuesShareOneImplicitType)
{
    QueryTable t;
    StSymbEntryID c1, c2, v;
    t.declareConstantSymbol(c1, "c1", 0, 0, ST_INVALID_SID, 0, 0, true, true);
    t.declareConstantSymbol(c2, "c2", 0, 0, ST_INVALID_SID, 0, 0, true, true);
    const size_t typesBefore = t.types()->nodes().size();
    ASSERT_TRUE(t.defineConstantValue(c1, "12", 5));
    ASSERT_TRUE(t.defineConstantValue(c2, "13", 6));
    EXPECT_EQ(typesBefore + 1, t.types()->nodes().size());
    EXPECT_EQ(t.getImplicitConstType(), t.getTypeID(c1));
    EXPECT_EQ(t.getImplicitConstType(), t.getTypeID(c2));
    EXPECT_TRUE(t.isEnumType(t.getImplicitConstType()));
    EXPECT_EQ(6u, t.getAttribute(c2));
    int32_t value = 0;
    ASSERT_TRUE(t.getConstant(t.findEntry(c2)->getInitCID())->getDInt(value));
    EXPECT_EQ(13, value);
    EXPECT_FALSE(t.defineConstantValue(c1, "99999999999", 0));  // past DINT
    t.declareSymbol(v, "v", 0, 0, 1, 0, true, true);
    EXPECT_FALSE(t.defineConstantValue(v, "1", 0));  // not a named constant
}

TEST(CpSymbQueries, ParametersFramesAndTypesOfNames)
{
    QueryTable t;
    StSymbEntryID fb, p, in1, in2, io, res, voidRes, prog;
    t.declarePOU(fb, "FB", 0, 0, 5, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    t.declareSymbol(in1, "a", 5, 0, 2, 0, true, true);
    t.declareSymbol(in2, "b", 5, 0, 2, 0, true, true);
    t.declareSymbol(io, "c", 5, 0, 4, 0, true, true);
    t.declareSymbol(res, "r", 5, 0, 3, 0, true, true);
    t.findEntry(res)->setTypeID(ST_INT);
    t.declareSymbol(voidRes, "w", 5, 0, 3, 0, true, true);
    t.findEntry(voidRes)->setTypeID(ST_VOID);
    uint32_t i = 9, o = 9, r = 9;
    ASSERT_TRUE(t.countParameters(fb, i, o, r));
    EXPECT_EQ(2u, i);
    EXPECT_EQ(1u, o);
    EXPECT_EQ(1u, r);
    t.declarePOU(prog, "PR", 0, 0, 6, ST_KIND_PROGRAM, ST_INVALID_SID, 0, true, true);
    EXPECT_FALSE(t.countParameters(prog, i, o, r));
    EXPECT_EQ(0u, i);

    EXPECT_TRUE(t.updatePOUFrame(fb, ST_KIND_FUNCBLOCK, 8, 3));
    EXPECT_EQ(8u, t.findEntry(fb)->getFrameProperties()->membVRange);
    EXPECT_FALSE(t.updatePOUFrame(fb, ST_KIND_PROGRAM, 8, 3));
    t.findEntry(fb)->getFrameProperties()->flags |= 2;
    EXPECT_FALSE(t.updatePOUFrame(fb, ST_KIND_FUNCBLOCK, 9, 3));

    StTypeID tid;
    t.getTypeOfName(tid, "a", 5, 0, p);
    EXPECT_EQ(ST_INVALID_TID, tid);
    const StTypeID arr = t.types()->createArrayType(ST_INT, 0, 1);
    t.findEntry(in1)->setTypeID(arr);
    t.findEntry(in2)->setTypeID(ST_INT);
    t.getTypeOfName(tid, "a", 5, 0, p);
    EXPECT_EQ(arr, tid);
    EXPECT_EQ(in1, p);
    t.getTypeOfName(tid, "b", 5, 0, p);
    EXPECT_EQ(StTypeID(ST_INT), tid);
    EXPECT_TRUE(p.isInvalid());
    t.getTypeOfName(tid, "b", 0, 0, p);  // exact scope only
    EXPECT_EQ(ST_INVALID_TID, tid);
}

} // namespace

namespace {

TEST(CpSymbQueries, ScopesCopiedAndInitialised)
{
    QueryTable t;
    StSymbEntryID fn, prog, a, b, c, clash, k, p5, p1;
    t.declarePOU(fn, "F", 0, 0, 5, ST_KIND_FUNC, ST_INVALID_SID, 0, true, true);
    t.declareConstant(k, "k", 0, 0, 3, 0, true, true);
    const StConstEntryID three = t.findEntry(k)->getInitCID();
    t.declareSymbol(a, "a", 5, 0, 1, 0, true, true);
    t.declareSymbol(b, "b", 5, 0, 2, 0, true, true);
    t.declareSymbol(c, "c", 5, 0, 1, 0, true, true);
    for (StSymbEntryID s : {a, b}) {
        t.findEntry(s)->setTypeID(ST_DINT);
        t.findEntry(s)->setInitCID(three);
    }
    StSymbEntryIDVect init;
    t.collectInitialisedVariables(fn, init);
    EXPECT_EQ((StSymbEntryIDVect{a}), init);  // b is class 2, c has no value

    t.declarePOU(prog, "P", 0, 0, 6, ST_KIND_PROGRAM, ST_INVALID_SID, 0, true, true);
    t.declareSymbol(p5, "x", 6, 0, 5, 0, true, true);
    t.declareSymbol(p1, "y", 6, 0, 1, 0, true, true);
    t.findEntry(p5)->setInitCID(three);
    t.findEntry(p1)->setInitCID(three);
    init.clear();
    t.collectInitialisedVariables(prog, init);
    EXPECT_EQ((StSymbEntryIDVect{p5}), init);  // inside programs only class 5

    t.declareSymbol(clash, "b", 7, 0, 1, 0, true, true);
    StSymbEntryIDVect conflicts;
    EXPECT_EQ(2, t.copyScopeMembers(fn, 7, 0, conflicts));
    EXPECT_EQ((StSymbEntryIDVect{b}), conflicts);
    const StSymbEntryID copied = t.findSymbol("a", 7, 0);
    ASSERT_TRUE(copied.isValid());
    EXPECT_EQ(three, t.findEntry(copied)->getInitCID());
    conflicts.clear();
    EXPECT_EQ(0, t.copyScopeMembers(fn, 8, 0, conflicts));
    EXPECT_TRUE(conflicts.empty());
}

TEST(CpSymbQueries, DefaultAndSubrangeValues)
{
    QueryTable t;
    StSymbEntryID v, ref, opt, lo, hi, sr, s;
    t.declareSymbol(v, "v", 0, 0, 1, 0, true, true);
    t.findEntry(v)->setTypeID(ST_INT);
    t.findEntry(v)->setVisibility(0, 0);  // option value 0 (a new variable's is 2)
    ASSERT_TRUE(t.ensureDefaultValue(v));
    EXPECT_TRUE(t.findEntry(v)->getInitCID().isValid());
    t.declareSymbol(ref, "r", 0, 0, 4, 0, true, true);  // by reference: nothing to do
    t.findEntry(ref)->setTypeID(ST_INT);
    t.findEntry(ref)->setVisibility(0, 0);
    EXPECT_TRUE(t.ensureDefaultValue(ref));
    EXPECT_TRUE(t.findEntry(ref)->getInitCID().isInvalid());
    t.declareSymbol(opt, "o", 0, 0, 1, 0, true, true);
    t.findEntry(opt)->setTypeID(ST_INT);
    t.findEntry(opt)->setVisibility(2, 0);
    EXPECT_TRUE(t.ensureDefaultValue(opt));
    EXPECT_TRUE(t.findEntry(opt)->getInitCID().isInvalid());

    t.declareConstant(lo, "lo", 0, 0, -5, 0, true, true);
    t.declareConstant(hi, "hi", 0, 0, 5, 0, true, true);
    StConstantElemPtrList bounds;
    bounds.push_back(new StConstantElem(t.findEntry(lo)->getInitCID(), ST_INVALID_SID));
    bounds.push_back(new StConstantElem(t.findEntry(hi)->getInitCID(), ST_INVALID_SID));
    t.declareSubrangeType(sr, "SR", 0, 0, ST_DINT, ST_INVALID_SID, &bounds, ST_INVALID_SID, 0, false, true);
    ASSERT_TRUE(sr.isValid());
    t.declareSymbol(s, "s", 0, 0, 1, 0, true, true);
    t.findEntry(s)->setTypeID(t.getTypeID(sr));
    EXPECT_TRUE(t.ensureSubrangeInitValue(s));
    int32_t zero = -1;
    ASSERT_TRUE(t.getConstant(t.findEntry(s)->getInitCID())->getDInt(zero));
    EXPECT_EQ(0, zero);
    EXPECT_FALSE(t.ensureSubrangeInitValue(v));  // not a subrange
}

} // namespace

TEST(CpSymbQueries, ValueWithByAddressFlag)
{
    QueryTable t;
    StSymbEntryID byRef, plain, g;
    t.declareSymbol(byRef, "r", 0, 0, 4, 0, true, true);
    t.declareSymbol(plain, "p", 0, 0, 1, 0, true, true);
    t.declareGlobalVariable(g, "g", 0, 0, 1, ST_INVALID_SID, 0, false, true, true);
    t.findEntry(byRef)->setVisibility(-5, 1);
    t.findEntry(plain)->setVisibility(0x12345678, 0);
    t.findEntry(g)->setVisibility(7, 3);
    const struct {
        StSymbEntryID sid;
        int32_t value;
        bool byAddress;
    } rows[] = {{byRef, -5, true}, {plain, 0x12345678, false}, {g, 7, false}};
    for (const auto& r : rows) {
        int32_t value = 99;
        bool byAddress = !r.byAddress;
        ASSERT_TRUE(t.getValueAndByAddress(r.sid, value, byAddress));
        EXPECT_EQ(r.value, value);
        EXPECT_EQ(r.byAddress, byAddress);
    }
    int32_t value = 99;
    bool byAddress = true;
    EXPECT_FALSE(t.getValueAndByAddress(StSymbEntryID(12345), value, byAddress));
    EXPECT_EQ(99, value);
}

TEST(CpSymbQueries, StringOrPackedValueByConstantKind)
{
    QueryTable t;
    int st = 0;
    StPckInitConstantVal* pck = new StPckInitConstantVal;
    pck->setPackageInit(ST_INT, kInvalidVersionStamp, 3);
    StStructConstantVal* sv = new StStructConstantVal;
    sv->addMember(new StStdConstantVal(int32_t(2), false));
    const struct {
        const char* name;
        StConstantVal* value;  // null: no constant id
        bool expected;
    } rows[] = {
        {"str", new StStringConstantVal(ST_STRING_TID, String("abc"), 3, st), true},
        {"pck", pck, true},
        {"std", new StStdConstantVal(int32_t(5), false), false},
        {"struct", sv, false},
        {"none", nullptr, false},
    };
    for (const auto& r : rows) {
        StSymbEntryID c;
        t.declareConstantSymbol(c, r.name, 0, 0, ST_INVALID_SID, 0, 0, true, true);
        ASSERT_TRUE(c.isValid()) << r.name;
        if (r.value) {
            StConstantVal* v = r.value;
            const StConstEntryID cid = t.constants()->addConstantVal(v);
            ASSERT_NE(ST_INVALID_CID, cid) << r.name;
            delete v;  // non-null only when an equal shared value was found
            t.findEntry(c)->setInitCID(cid);
        }
        EXPECT_EQ(r.expected, t.hasStringOrPackedValue(c)) << r.name;
    }
    EXPECT_FALSE(t.hasStringOrPackedValue(StSymbEntryID(12345)));
}

namespace {

class BreakableTable : public QueryTable {
public:
    void breakIt() { setStatus(1); }
};

TEST(CpSymbQueries, AccessorsAndTheirAnswersOnAnUnusableTable)
{
    BreakableTable t;
    StSymbEntryID task, g, c;
    t.declareTask(task, "T", 0, 0, true);
    t.declareGlobalVariable(g, "g", 0, 0, 1, ST_INVALID_SID, 0, false, true, true);
    t.findEntry(g)->setVisibility(2, 9);
    t.declareConstant(c, "c", 0, 0, 4, 0, true, true);
    EXPECT_EQ(0, t.setFrameIds(task, 3, 4));
    StRangeID a = 0, b = 0;
    EXPECT_EQ(0, t.getFrameIds(task, a, b));
    EXPECT_EQ(3u, a);
    EXPECT_EQ(2, t.setFrameIds(task, ST_INVALID_RANGE, 4));
    EXPECT_TRUE(t.markFrameFinished(task, 0x100));
    EXPECT_EQ(1u, t.findEntry(task)->getFrameProperties()->flags & 1);
    EXPECT_FALSE(t.markFrameFinished(g, 0));
    EXPECT_TRUE(t.hasOptionValue2(g));
    EXPECT_TRUE(t.resetOptionValue(g));
    int32_t value = -1;
    uint8_t byte = 0;
    ASSERT_TRUE(t.getOptionPair(g, value, byte));
    EXPECT_EQ(0, value);
    EXPECT_EQ(9, byte);
    EXPECT_FALSE(t.resetOptionValue(task));
    StSymbEntryID task2;
    t.declareTask(task2, "T2", 0, 0, true);
    EXPECT_EQ(0, t.copyFrameRecord(task, task2));
    EXPECT_EQ(*t.findEntry(task)->getFrameProperties(), *t.findEntry(task2)->getFrameProperties());
    EXPECT_EQ(2, t.copyFrameRecord(g, task2));
    StTaskRecord rec;
    EXPECT_TRUE(t.getTaskRecordOf(task, rec));
    EXPECT_FALSE(t.getTaskRecordOf(g, rec));
    EXPECT_NE(nullptr, t.getElementaryTypeNode(ST_INT));
    EXPECT_EQ(nullptr, t.getElementaryTypeNode(40));
    const StConstEntryID cid = t.findEntry(c)->getInitCID();
    EXPECT_NE(nullptr, t.getConstantValue(cid));

    t.breakIt();
    EXPECT_EQ(ST_INVALID_RANGE, t.getScopeVR(g));
    EXPECT_EQ(ST_INVALID_RANGE, t.getScopeNR(g));
    EXPECT_EQ(2, t.getFrameIds(task, a, b));
    EXPECT_EQ(2, t.setFrameIds(task, 1, 1));
    EXPECT_FALSE(t.markFrameFinished(task, 0));
    EXPECT_FALSE(t.getOptionPair(g, value, byte));
    EXPECT_FALSE(t.hasOptionValue2(g));
    EXPECT_FALSE(t.resetOptionValue(g));
    bool byAddress = false;
    EXPECT_FALSE(t.getValueAndByAddress(g, value, byAddress));
    EXPECT_EQ(nullptr, t.getElementaryTypeNode(ST_INT));
    EXPECT_EQ(nullptr, t.getConstantValue(cid));
    EXPECT_EQ(0u, t.getElementCount(ST_INT));
    EXPECT_TRUE(t.getTypeText(g).empty());
    EXPECT_FALSE(t.setOptionFlag(g, 1));
    EXPECT_FALSE(t.markSymbol(g, true));
    EXPECT_EQ(2, t.copyFrameRecord(task, task2));
    EXPECT_FALSE(t.getTaskRecordOf(task, rec));
}

} // namespace
