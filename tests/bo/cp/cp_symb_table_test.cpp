// Compile-side symbol table: declarations (variables, constants,
// enumerations, structures), initial values of types and initialisers,
// type lookup by name, the id-pair map and the borrowing constructor.
#include <gtest/gtest.h>

#include <memory>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpSymbTable.h"

namespace {

// A table whose StSymbTable part can be made unusable.
class TestTable : public CpSymbTable {
public:
    TestTable() : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0) {}
    void breakIt() { setStatus(1); }
};

StSymbEntryID constant(CpSymbTable& t, const char* name, int32_t v, StRangeID nr = 0)
{
    StSymbEntryID sid;
    t.declareConstant(sid, name, 0, nr, v, 0, true, true);
    return sid;
}

StSymbEntryID variable(CpSymbTable& t, const char* name, StTypeID tid, uint32_t varClass = 1)
{
    StSymbEntryID sid;
    t.declareSymbol(sid, name, 0, 1, varClass, 7, true, true);
    if (sid.isValid()) t.findEntry(sid)->setTypeID(tid);
    return sid;
}

StSymbEntryID enumType(CpSymbTable& t, const char* name, StSymbEntryIDList*& list, bool ownScope)
{
    StSymbEntryID sid, parent = 3;
    t.declareEnumType(sid, name, 0, 0, list, parent, 9, true, ownScope, true, true);
    return sid;
}

}  // namespace

TEST(CpSymbTable, UnusableTableDeclaresNothing)
{
    TestTable t;
    t.breakIt();
    EXPECT_EQ(1u, t.status());
    const size_t before = t.entries()->size();
    StSymbEntryID sid, parent;
    t.declareSymbol(sid, "v", 0, 0, 1, 0, true, true);
    EXPECT_TRUE(sid.isInvalid());
    t.declareConstant(sid, "c", 0, 0, 1, 0, true, true);
    EXPECT_TRUE(sid.isInvalid());
    StSymbEntryIDList* list = new StSymbEntryIDList();
    t.declareEnumType(sid, "e", 0, 0, list, parent, 0, false, false, true, true);
    EXPECT_TRUE(sid.isInvalid());
    EXPECT_NE(nullptr, list);
    delete list;
    t.declareStructType(sid, "s", 0, 0, nullptr, 0, parent, 0, 0, false, true, true);
    EXPECT_TRUE(sid.isInvalid());
    EXPECT_EQ(before, t.entries()->size());
    EXPECT_EQ(1, t.setTypeInitValue(1, 2));
    EXPECT_EQ(2, t.compareConstants(0, 0));
}

TEST(CpSymbTable, VariablesAndConstants)
{
    CpSymbTable t(0, 0);
    struct Case {
        uint32_t varClass;
        uint8_t markBits;
        bool byRef;
    } cases[] = {{1, 0, false}, {2, 0x10, false}, {4, 0x10, true}};
    int i = 0;
    for (const Case& c : cases) {
        const std::string name = "v" + std::to_string(i++);
        const StSymbEntryID sid = variable(t, name.c_str(), ST_DINT, c.varClass);
        ASSERT_TRUE(sid.isValid());
        const StSyBaseSymbEntry* e = t.findEntry(sid);
        EXPECT_EQ(int32_t(c.varClass), e->getAccessMode());
        EXPECT_EQ(c.markBits, e->getMarkByte() & 0x10);
        EXPECT_EQ(c.byRef, e->isFirstFlagTaskVar());
        EXPECT_EQ(7u, t.getAttribute(sid));
    }
    // Duplicates are refused with the unique flag.
    StSymbEntryID dup;
    t.declareSymbol(dup, "v0", 0, 1, 1, 0, true, true);
    EXPECT_TRUE(dup.isInvalid());

    const StSymbEntryID c = constant(t, "C", -12);
    ASSERT_TRUE(c.isValid());
    StConstEntryID cid;
    t.getValueID(cid, c);
    ASSERT_TRUE(cid.isValid());
    EXPECT_EQ(uint32_t(ST_DINT), t.getConstantVal(cid)->getTypeId());
    int32_t v = 0;
    EXPECT_TRUE(t.getConstantVal(cid)->getLong(v));
    EXPECT_EQ(-12, v);
    const StSymbEntryID d = constant(t, "D", 3);
    StConstEntryID cid2;
    t.getValueID(cid2, d);
    EXPECT_EQ(0, t.compareConstants(cid, cid2) == 1 ? 0 : 1);
    EXPECT_EQ(0, t.compareConstants(cid2, cid));
    EXPECT_EQ(2, t.compareConstants(cid, 999));
    t.getValueID(cid, 4711);
    EXPECT_TRUE(cid.isInvalid());
}

TEST(CpSymbTable, Enumerations)
{
    CpSymbTable t(0, 0);
    StSymbEntryIDList* null = nullptr;
    EXPECT_TRUE(enumType(t, "N", null, false).isInvalid());

    StSymbEntryIDList* empty = new StSymbEntryIDList();
    const StSymbEntryID e0 = enumType(t, "E0", empty, false);
    ASSERT_TRUE(e0.isValid());
    EXPECT_EQ(nullptr, empty);
    EXPECT_TRUE(t.findEntry(e0)->getInitCID().isInvalid());

    // First enumerator 0: no explicit initial value; 5: that enumerator's CID.
    struct Case {
        const char* type;
        int32_t first;
        bool hasInit;
    } cases[] = {{"EZ", 0, false}, {"EF", 5, true}};
    for (const Case& c : cases) {
        const std::string a = std::string(c.type) + "_a", b = std::string(c.type) + "_b";
        StSymbEntryIDList* list = new StSymbEntryIDList{constant(t, a.c_str(), c.first), constant(t, b.c_str(), 9)};
        const StSymbEntryID first = list->front();
        const StSymbEntryID sid = enumType(t, c.type, list, false);
        ASSERT_TRUE(sid.isValid()) << c.type;
        EXPECT_EQ(nullptr, list);
        const StSyBaseSymbEntry* e = t.findEntry(sid);
        EXPECT_EQ(c.hasInit, e->getInitCID().isValid());
        if (c.hasInit) {
            EXPECT_EQ(t.findEntry(first)->getInitCID(), e->getInitCID());
        }
        EXPECT_TRUE(t.isEnumType(e->getTypeID()));
        EXPECT_EQ(e->getTypeID(), t.findEntry(first)->getTypeID());
        EXPECT_EQ(StSymbEntryID(3), e->getUnitSID());
        EXPECT_EQ(9u, t.getAttribute(sid));
    }
    // setTypeInitValue on a structure type is refused.
    StSymbEntryID s, parent;
    StSymbEntryIDList one{variable(t, "m", ST_DINT)};
    t.declareStructType(s, "S", 0, 0, &one, 0, parent, 0, 0, false, true, true);
    ASSERT_TRUE(s.isValid());
    EXPECT_EQ(2, t.setTypeInitValue(s, constant(t, "X", 1)));
    EXPECT_EQ(2, t.setTypeInitValue(s, 4711));
}

TEST(CpSymbTable, EnumerationInItsOwnScope)
{
    CpSymbTable t(0, 0);
    const StSymbEntryID a = constant(t, "A", 4, 0), b = constant(t, "B", 6, 0);
    StSymbEntryIDList* list = new StSymbEntryIDList{a, b};
    const StSymbEntryID sid = enumType(t, "E", list, true);
    ASSERT_TRUE(sid.isValid());
    EXPECT_EQ(nullptr, list);
    const StSyBaseSymbEntry* type = t.findEntry(sid);
    const StSymbEntryIDList* enums = t.findTypeNode(type->getTypeID())->enumList();
    ASSERT_EQ(2u, enums->size());
    for (size_t i = 0; i < 2; ++i) {
        const StSyBaseSymbEntry* copy = t.findEntry((*enums)[i]);
        const StSyBaseSymbEntry* orig = t.findEntry(i ? b : a);
        EXPECT_NE(orig->getID(), copy->getID());
        EXPECT_EQ(String::compare(*orig->getName(), *copy->getName()), 0);
        EXPECT_EQ(orig->getInitCID(), copy->getInitCID());
        EXPECT_EQ(type->getSubNameRange(), copy->getNR());
        EXPECT_EQ(sid, copy->getTypeRefSID());
        EXPECT_EQ(type->getTypeID(), copy->getTypeID());
    }
    EXPECT_EQ(t.findEntry((*enums)[0])->getInitCID(), type->getInitCID());

    // An enumerator that does not exist: the caller keeps its list.
    const StRangeID nextBefore = t.openNameSpace(0);
    t.closeNameSpace(nextBefore, true);
    StSymbEntryIDList* bad = new StSymbEntryIDList{a, 4711};
    EXPECT_TRUE(enumType(t, "F", bad, true).isInvalid());
    ASSERT_NE(nullptr, bad);
    EXPECT_EQ(2u, bad->size());
    delete bad;
    // The name space opened for it was closed: the next one opens under 0.
    const StRangeID after = t.openNameSpace(0);
    EXPECT_EQ(0u, t.closeNameSpace(after, true));
}

TEST(CpSymbTable, Structures)
{
    CpSymbTable t(0, 0);
    StSymbEntryID parent = 5, sid;
    auto members = [&](std::initializer_list<StTypeID> types, const char* prefix) {
        StSymbEntryIDList l;
        int i = 0;
        for (StTypeID tid : types) l.push_back(variable(t, (std::string(prefix) + std::to_string(i++)).c_str(), tid));
        return l;
    };
    // BYTE, DINT, BYTE: offsets 0, 4, 8, size 9, alignment 4.
    StSymbEntryIDList bdb = members({ST_BYTE, ST_DINT, ST_BYTE}, "m");
    t.declareStructType(sid, "S1", 0, 0, &bdb, 77, parent, 1, 0, true, true, true);
    ASSERT_TRUE(sid.isValid());
    const StSyBaseSymbEntry* s1 = t.findEntry(sid);
    EXPECT_EQ(9, t.findTypeNode(s1->getTypeID())->size());
    EXPECT_EQ(4u, t.findTypeNode(s1->getTypeID())->alignment());
    EXPECT_EQ(77u, s1->getSubNameRange());
    EXPECT_EQ(parent, s1->getUnitSID());
    EXPECT_TRUE(s1->getInitCID().isInvalid());  // no member has a constant id
    const int32_t offsets[] = {0, 4, 8};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(offsets[i], t.findEntry(bdb[i])->getStorageAddress());

    // Alignment 2 and a DINT member: refused.
    StSymbEntryIDList d = members({ST_DINT}, "n");
    t.declareStructType(sid, "S2", 0, 0, &d, 0, parent, 0, 2, false, true, true);
    EXPECT_TRUE(sid.isInvalid());

    // A preset address is kept and does not advance the offset.
    StSymbEntryIDList p = members({ST_DINT, ST_DINT}, "p");
    t.findEntry(p[0])->setStorageAddress(100);
    t.declareStructType(sid, "S3", 0, 0, &p, 0, parent, 0, 0, false, true, true);
    ASSERT_TRUE(sid.isValid());
    EXPECT_EQ(100, t.findEntry(p[0])->getStorageAddress());
    EXPECT_EQ(0, t.findEntry(p[1])->getStorageAddress());
    EXPECT_EQ(4, t.findTypeNode(t.findEntry(sid)->getTypeID())->size());

    // A member with a constant id: the type gets a default value.
    StSymbEntryIDList q = members({ST_DINT, ST_DINT}, "q");
    StConstEntryID five;
    t.getValueID(five, constant(t, "FIVE", 5));
    t.findEntry(q[1])->setInitCID(five);
    t.declareStructType(sid, "S4", 0, 0, &q, 0, parent, 0, 0, false, true, true);
    ASSERT_TRUE(sid.isValid());
    const StConstantVal* def = t.getConstantVal(t.findEntry(sid)->getInitCID());
    ASSERT_NE(nullptr, def);
    ASSERT_EQ(2u, def->elementCount());
    int32_t v = -1;
    EXPECT_TRUE(def->elementAt(0)->getLong(v));
    EXPECT_EQ(0, v);
    EXPECT_TRUE(def->elementAt(1)->getLong(v));
    EXPECT_EQ(5, v);
}

TEST(CpSymbTable, TypeByNameAndIdPairs)
{
    CpSymbTable t(0, 0);
    StSymbEntryID sid, parent;
    StSymbEntryIDList one{variable(t, "m", ST_DINT)};
    t.declareStructType(sid, "T", 0, 0, &one, 0, parent, 0, 0, false, true, true);
    ASSERT_TRUE(sid.isValid());
    StSymbEntryID fb;
    t.addEntry("FB", 0, 0, ST_KIND_FUNCBLOCK, fb);
    const StRangeID inner = t.openNameSpace(0);
    struct Case {
        const char* name;
        StRangeID nr;
        bool acceptFB, visible, found;
    } cases[] = {
        {"T", 0, false, false, true},     {"T", inner, false, false, false}, {"T", inner, false, true, true},
        {"FB", 0, false, false, false},   {"FB", 0, true, false, true},      {"nope", 0, true, true, false},
    };
    for (const Case& c : cases) {
        StTypeID tid;
        StSymbEntryID found;
        t.getTypeByName(tid, c.name, 0, c.nr, found, c.acceptFB, c.visible);
        EXPECT_EQ(c.found, found.isValid()) << c.name << " " << c.nr;
        if (c.found && String::compare(String(c.name), String("T")) == 0) {
            EXPECT_EQ(t.findEntry(sid)->getTypeID(), tid);
        }
        if (!c.found) {
            EXPECT_EQ(ST_INVALID_TID, tid);
        }
    }
    EXPECT_EQ(nullptr, t.findByIdPair(1, 2));
    t.setIdPairSymbol(1, 2, sid);
    EXPECT_EQ(t.findEntry(sid), t.findByIdPair(1, 2));
    EXPECT_EQ(t.findEntry(sid), t.findNameSpace(1, 2));
    EXPECT_EQ(nullptr, t.findByIdPair(2, 1));
}

TEST(CpSymbTable, BorrowingLeavesTheOtherTableWhole)
{
    StSymbTable other(0, 0);
    StSymbEntryID sid;
    other.addEntry("X", 0, 0, ST_KIND_VAR, sid);
    {
        CpSymbTable borrowed(other);
        EXPECT_EQ(0x3Fu, borrowed.getBorrowedMask());
        EXPECT_EQ(nullptr, borrowed.getOwnConstants());
        EXPECT_EQ(0u, borrowed.status());
        EXPECT_NE(nullptr, borrowed.findEntry(sid));
        StSymbEntryID c = constant(borrowed, "C", 2);
        EXPECT_TRUE(c.isValid());
    }
    EXPECT_EQ(0u, other.getStatus());
    EXPECT_NE(nullptr, other.findEntry(sid));
    EXPECT_NE(ST_INVALID_SID, other.getSIDByName(String("C")));
}

// ---------------------------------------------------------------------------
// Initialisers

namespace {

StConstantElem* valueElem(int32_t v, int32_t count = 1)
{
    StConstantElem* e = new StConstantElem(new StStdConstantVal(v, false));
    e->setCount(count);
    return e;
}

}  // namespace

TEST(CpSymbTable, ArrayInitialisers)
{
    CpSymbTable t(0, 0);
    const StTypeID arr = t.types()->createArrayType(ST_DINT, 1, 3);
    struct Case {
        std::vector<std::pair<int32_t, int32_t>> elems;  // value, count
        int status;
        uint32_t elements;
    } cases[] = {
        {{{7, 2}, {8, 1}}, 0, 3},
        {{{7, 2}}, 3, 0},
        {{{7, 2000000000}, {8, 1}}, 3, 0},
        {{{7, 1}, {8, 1}, {9, 1}, {1, 1}}, 3, 0},
    };
    for (const Case& c : cases) {
        auto list = std::make_unique<StConstantElemPtrList>();
        for (auto [v, n] : c.elems) list->push_back(valueElem(v, n));
        StConstantElemPtrList* raw = list.get();
        StConstEntryID cid;
        int status = -1;
        t.buildInitValue(cid, arr, raw, status);
        EXPECT_EQ(c.status, status);
        if (c.status == 0) {
            const StConstantVal* v = t.getConstantVal(cid);
            ASSERT_NE(nullptr, v);
            EXPECT_EQ(c.elements, v->elementCount());
            int32_t x = 0;
            EXPECT_TRUE(v->elementAt(1)->getLong(x));
            EXPECT_EQ(7, x);
            EXPECT_TRUE(v->elementAt(2)->getLong(x));
            EXPECT_EQ(8, x);
        } else {
            EXPECT_TRUE(cid.isInvalid());
        }
    }
    // Packed arrays: one integer array per element.
    t.setCompactArrayDefaults(true);
    StConstantElemPtrList packed;
    packed.push_back(valueElem(7, 2));
    packed.push_back(valueElem(8, 1));
    StConstantElemPtrList* p = &packed;
    StConstEntryID cid;
    int status = -1;
    t.buildInitValue(cid, arr, p, status);
    ASSERT_EQ(0, status);
    const StConstantVal* v = t.getConstantVal(cid);
    ASSERT_EQ(ST_CONST_STRUCT, v->getKind());
    ASSERT_EQ(2u, static_cast<const StStructConstantVal*>(v)->members()->size());
    EXPECT_EQ(ST_CONST_INTARRAY, static_cast<const StStructConstantVal*>(v)->members()->front()->getKind());
    EXPECT_EQ(3u, v->elementCount());
    // No list.
    StConstantElemPtrList* none = nullptr;
    t.buildInitValue(cid, arr, none, status);
    EXPECT_EQ(3, status);
}

TEST(CpSymbTable, ScalarStringAndEnumInitialisers)
{
    CpSymbTable t(0, 0);
    {
        // A STRING from its literal.
        int st = 0;
        StConstantElemPtrList l;
        l.push_back(new StConstantElem(new StStringConstantVal(ST_STRING_TID, String("abc"), 3, st)));
        StConstantElemPtrList* p = &l;
        StConstEntryID cid;
        int status = -1;
        t.buildInitValue(cid, ST_STRING_TID, p, status);
        EXPECT_EQ(0, status);
        ASSERT_NE(nullptr, t.getConstantVal(cid));
        EXPECT_EQ(ST_CONST_STRING, t.getConstantVal(cid)->getKind());
    }
    {
        // An enumeration value of the base type is used as it is.
        StSymbEntryIDList* list = new StSymbEntryIDList{constant(t, "A", 1), constant(t, "B", 2)};
        const StSymbEntryID e = enumType(t, "E", list, false);
        ASSERT_TRUE(e.isValid());
        StConstEntryID two;
        t.getValueID(two, t.getSIDByName(String("B")));
        StConstantElemPtrList l;
        l.push_back(new StConstantElem(two, ST_INVALID_SID));
        StConstantElemPtrList* p = &l;
        StConstEntryID cid;
        int status = -1;
        t.buildInitValue(cid, t.getTypeID(e), p, status);
        EXPECT_EQ(0, status);
        EXPECT_EQ(two, cid);
    }
    {
        // A DINT from a string: the element does not fit.
        int st = 0;
        StConstantElemPtrList l;
        l.push_back(new StConstantElem(new StStringConstantVal(ST_STRING_TID, String("x"), 1, st)));
        StConstantElemPtrList* p = &l;
        StConstEntryID cid;
        int status = -1;
        t.buildInitValue(cid, ST_DINT, p, status);
        EXPECT_EQ(2, status);
        EXPECT_TRUE(cid.isInvalid());
        // An array element of the wrong kind: 2 as well.
        const StTypeID arr = t.types()->createArrayType(ST_DINT, 0, 1);
        StConstantElemPtrList a;
        a.push_back(valueElem(1));
        a.push_back(new StConstantElem(new StStringConstantVal(ST_STRING_TID, String("y"), 1, st)));
        StConstantElemPtrList* pa = &a;
        t.buildInitValue(cid, arr, pa, status);
        EXPECT_EQ(2, status);
    }
}
