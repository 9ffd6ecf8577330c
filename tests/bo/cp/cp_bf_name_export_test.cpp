// Name exporter of the boot-function compiler: grouping by name, the match
// rule of equal names, and what writeExports hands the export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "bo/cp/CpBfNameMengeler.h"
#include "bo/cp/CpSymbTable.h"

namespace {

// Records what slot 14 answers.
class Recorder : public CpBfNameMengeler {
public:
    using CpBfNameMengeler::CpBfNameMengeler;
    StSymbEntryIDList getExtraIds(const StSyBaseSymbEntry* entry) override
    {
        StSymbEntryIDList ids = CpBfNameMengeler::getExtraIds(entry);
        seen.push_back({entry->getID(), ids});
        return ids;
    }
    std::vector<std::pair<uint32_t, StSymbEntryIDList>> seen;
};

// A structure type "name" in (0, nr) whose members (DINT) are declared in a
// name space of their own.
StSymbEntryID structType(CpSymbTable& t, const char* name, StRangeID nr, std::vector<const char*> members)
{
    const StRangeID ns = t.openNameSpace(nr);
    StSymbEntryIDList list;
    for (const char* m : members) {
        StSymbEntryID sid;
        t.declareSymbol(sid, m, 0, ns, 1, 0, true, true);
        t.findEntry(sid)->setTypeID(ST_DINT);
        list.push_back(sid);
    }
    t.closeNameSpace(ns, true);
    StSymbEntryID sid, parent;
    t.declareStructType(sid, name, 0, nr, &list, ns, parent, 0, 0, false, true, true);
    return sid;
}

StSymbEntryID enumType(CpSymbTable& t, const char* name, const char* enumerator)
{
    StSymbEntryID c, sid, parent;
    t.declareConstant(c, enumerator, 0, 0, 1, 0, true, true);
    StSymbEntryIDList* list = new StSymbEntryIDList{c};
    t.declareEnumType(sid, name, 0, 0, list, parent, 0, false, false, true, true);
    return sid;
}

}  // namespace

TEST(CpBfNameMengeler, AddExportGroupsByName)
{
    CpSymbTable t(0, 0);
    const StRangeID other = t.openNameSpace(0);
    const StRangeID third = t.openNameSpace(0);
    const StSymbEntryID s1 = structType(t, "S", 0, {"a", "b"});
    const StSymbEntryID s2 = structType(t, "S", other, {"a", "b"});
    const StSymbEntryID s3 = structType(t, "S", third, {"a", "c"});
    ASSERT_TRUE(s1.isValid() && s2.isValid() && s3.isValid());
    CpBfNameMengeler m(&t);
    EXPECT_EQ(0u, m.addExport(s1));
    EXPECT_EQ(0u, m.addExport(s1));  // the same SID twice is listed twice
    EXPECT_EQ(0u, m.addExport(s2));  // equal member names: one entry
    EXPECT_EQ(2u, m.addExport(s3));  // different member names
    EXPECT_EQ(1u, m.addExport(4711));
    ASSERT_EQ(1u, m.exports().size());
    EXPECT_EQ(s1, m.exports()[0].sid);
    EXPECT_EQ((StSymbEntryIDList{s1, s1, s2}), m.exports()[0].ids);
}

TEST(CpBfNameMengeler, WriteExportsHandsHeadsAndSortedIds)
{
    CpSymbTable t(0, 0);
    const StRangeID other = t.openNameSpace(0);
    const StSymbEntryID e = enumType(t, "E", "E1");
    const StSymbEntryID late = structType(t, "S", other, {"x"});
    const StSymbEntryID early = structType(t, "S", 0, {"x"});
    ASSERT_TRUE(e.isValid() && late.isValid() && early.isValid());
    Recorder m(&t);
    ASSERT_EQ(0u, m.addExport(e));
    ASSERT_EQ(0u, m.addExport(e));
    ASSERT_EQ(0u, m.addExport(late));
    ASSERT_EQ(0u, m.addExport(early));
    EXPECT_FALSE(m.writeExports(nullptr));
    FsSecClMem s;
    EXPECT_TRUE(m.writeExports(&s));
    EXPECT_EQ(2u, m.exportedCount());
    // Slot 14 is asked for the enumeration head: its ids.
    ASSERT_EQ(1u, m.seen.size());
    EXPECT_EQ(uint32_t(e), m.seen[0].first);
    EXPECT_EQ((StSymbEntryIDList{e, e}), m.seen[0].second);
    // The ids of each entry are sorted; the head stays the first exported.
    EXPECT_EQ(late, m.exports()[1].sid);
    EXPECT_EQ((StSymbEntryIDList{std::min<uint32_t>(late, early), std::max<uint32_t>(late, early)}),
              m.exports()[1].ids);
}

// Many names, each exported twice in turn: an entry per name in the order
// first exported, and slot 14 answers each head its own group.
TEST(CpBfNameMengeler, ManyNamesKeepTheirGroups)
{
    CpSymbTable t(0, 0);
    std::vector<StSymbEntryID> enums;
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(i);
        enums.push_back(enumType(t, ("E" + n).c_str(), ("V" + n).c_str()));
        ASSERT_TRUE(enums.back().isValid());
    }
    Recorder m(&t);
    for (int round = 0; round < 2; ++round)
        for (StSymbEntryID e : enums) ASSERT_EQ(0u, m.addExport(e));
    ASSERT_EQ(enums.size(), m.exports().size());
    FsSecClMem s;
    EXPECT_TRUE(m.writeExports(&s));
    ASSERT_EQ(enums.size(), m.seen.size());
    for (size_t i = 0; i < enums.size(); ++i) {
        EXPECT_EQ(enums[i], m.exports()[i].sid);
        EXPECT_EQ(uint32_t(enums[i]), m.seen[i].first);
        EXPECT_EQ((StSymbEntryIDList{enums[i], enums[i]}), m.seen[i].second);
    }
}
