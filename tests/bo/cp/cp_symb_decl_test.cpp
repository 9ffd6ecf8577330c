// Compile-side declarations of units, tasks, POUs, name spaces, direct and
// return variables, and the scope queries over them.
#include <gtest/gtest.h>

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
