// Entry table, id managers, string table, range tables and id lists: the
// id rules, name chains, marked-only writing and the readers' limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "base/st/stsymtab/StIdList.h"
#include "base/st/stsymtab/StIdMap.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "st_forms.h"

namespace {

using sttest::Form;

template <class T>
std::string writeForm(Form f, const T& t, uint32_t mode = 0)
{
    return sttest::write(
        f, [&](FsSecCl& s) { t.writeToSection(s, mode); }, [&](std::ostream& os) { t.writeToStream(os, mode); });
}

template <class T>
bool readForm(Form f, T& t, const std::string& bytes, uint32_t mode = 0)
{
    bool ok = false;
    sttest::read(
        f, bytes, [&](FsSecCl& s) { ok = t.readFromSection(s, mode); },
        [&](std::istream& is) { ok = t.readFromStream(is, mode); });
    return ok;
}

StSymbEntryID add(StSyEntryTable& t, uint32_t kind, StSyBaseSymbEntry* pred = nullptr,
                  StSymbEntryID wanted = ST_INVALID_SID, StSyBaseSymbEntry** out = nullptr)
{
    StSyBaseSymbEntry* e = nullptr;
    StSymbEntryID sid = t.newEntry(kind, e, pred, nullptr, 0, 0, wanted);
    if (out) *out = e;
    return sid;
}

TEST(EntryTableTest, IdManagers)
{
    StSysVarIDMgr m;
    EXPECT_EQ(0x10000u, m.newID(nullptr));
    EXPECT_EQ(0x10001u, m.newID(nullptr));
    EXPECT_TRUE(m.reseed(nullptr));
    EXPECT_EQ(0x10002u, m.currentID());

    StSyEntryTable t;
    add(t, ST_KIND_CONST);
    add(t, ST_KIND_CONST);
    StSysVarIDMgr low;
    EXPECT_TRUE(low.reseed(&t));  // only fixed ids: one step on
    EXPECT_EQ(0x10001u, low.currentID());

    ASSERT_TRUE(t.setIDMgr(&t.sysVarIDMgr()));
    const uint32_t next = t.sysVarIDMgr().currentID();
    EXPECT_EQ(next, t.currentID());
    EXPECT_EQ(0x0100u, add(t, ST_KIND_VAR, nullptr, 0x0100));
    EXPECT_EQ(next, add(t, ST_KIND_VAR, nullptr, 0x10005));
    EXPECT_EQ(next + 1, add(t, ST_KIND_VAR, nullptr, 0x0100));  // taken: from the manager
    EXPECT_EQ(next + 2, add(t, ST_KIND_VAR));
    EXPECT_TRUE(add(t, 22).isInvalid());

    ASSERT_TRUE(t.setIDMgr(nullptr));
    EXPECT_EQ(next + 3, t.getNextFreeSID());
    EXPECT_EQ(next + 3, t.currentID());
}

TEST(EntryTableTest, CounterAndGapSearch)
{
    StSyEntryTable t;
    EXPECT_EQ(0u, add(t, ST_KIND_CONST));
    EXPECT_EQ(1u, add(t, ST_KIND_CONST));
    StSymbEntryID s = 1;
    t.removeEntry(s);
    EXPECT_EQ(1u, t.getNextFreeSID());  // the last id came back
    // A read entry with the largest id exhausts the counter: the first gap.
    ASSERT_TRUE(readForm(Form::SectionText, t, "1 4294967294 1 0 4294967294\r\n1 1 1 1 1 1 "));
    EXPECT_EQ(0xFFFFFFFFu, t.getNextFreeSID());
    EXPECT_EQ(1u, t.newSID());
    EXPECT_EQ(1u, t.newSID());  // the gap search does not reserve
}

TEST(EntryTableTest, NameChains)
{
    StSyEntryTable t;
    String* name = new String("N");
    StSyBaseSymbEntry *a = nullptr, *b = nullptr;
    StSymbEntryID sa = t.newEntry(ST_KIND_VAR, a, nullptr, name, 0, 0);
    StSymbEntryID sb = t.newEntry(ST_KIND_VAR, b, a, name, 0, 0);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(sb, a->getNext());
    EXPECT_EQ(b, a->getNextEntry());
    EXPECT_EQ(sa, b->getPrev());

    // A copy goes between a and b.
    a->setInitCID(5);
    StSyBaseSymbEntry* c = t.addCopy(name, a, a);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->getInitCID().isInvalid());
    EXPECT_EQ(sa, c->getPrev());
    EXPECT_EQ(sb, c->getNext());
    EXPECT_EQ(c->getID(), a->getNext());
    EXPECT_EQ(c->getID(), b->getPrev());

    // Removing the second entry (c): no name, no head.
    StSymbEntryID s = c->getID();
    EXPECT_EQ(nullptr, t.removeEntry(s));
    EXPECT_TRUE(s.isInvalid());
    EXPECT_EQ(sb, a->getNext());
    // Removing the head: the second entry is the new head.
    s = sa;
    EXPECT_EQ(nullptr, t.removeEntry(s));
    EXPECT_EQ(sb, s);
    EXPECT_TRUE(b->getPrev().isInvalid());
    // Removing a lone entry: its name comes back.
    s = sb;
    EXPECT_EQ(name, t.removeEntry(s));
    EXPECT_TRUE(s.isInvalid());
    delete name;
    s = 77;
    EXPECT_EQ(nullptr, t.removeEntry(s));
    EXPECT_TRUE(s.isInvalid());

    // Removing the last of two leaves the head's next invalid.
    StSyBaseSymbEntry *x = nullptr, *y = nullptr;
    t.newEntry(ST_KIND_VAR, x, nullptr, nullptr, 0, 0);
    StSymbEntryID sy = t.newEntry(ST_KIND_VAR, y, x, nullptr, 0, 0);
    EXPECT_EQ(nullptr, t.removeEntry(sy));
    EXPECT_TRUE(sy.isInvalid());
    EXPECT_TRUE(x->getNext().isInvalid());
    EXPECT_EQ(nullptr, x->getNextEntry());
}

TEST(EntryTableTest, LookupsAndDerivation)
{
    StSyEntryTable t;
    StSyBaseSymbEntry *base = nullptr, *mid = nullptr, *leaf = nullptr, *fb = nullptr;
    StSymbEntryID sBase = add(t, ST_KIND_TOTYPE, nullptr, ST_INVALID_SID, &base);
    StSymbEntryID sMid = add(t, ST_KIND_TOTYPE, nullptr, ST_INVALID_SID, &mid);
    StSymbEntryID sLeaf = add(t, ST_KIND_TOTYPE, nullptr, ST_INVALID_SID, &leaf);
    StSymbEntryID sFb = add(t, ST_KIND_FUNCBLOCK, nullptr, ST_INVALID_SID, &fb);
    mid->setBaseTOTypeSID(sBase);
    leaf->setBaseTOTypeSID(sMid);
    EXPECT_TRUE(t.isTOTypeDerivedFrom(sLeaf, sBase));
    EXPECT_TRUE(t.isTOTypeDerivedFrom(sBase, sBase));
    EXPECT_FALSE(t.isTOTypeDerivedFrom(sBase, sLeaf));
    EXPECT_FALSE(t.isTOTypeDerivedFrom(sLeaf, sFb));  // not a TO type
    base->setBaseTOTypeSID(sLeaf);                    // a cycle
    EXPECT_FALSE(t.isTOTypeDerivedFrom(sBase, sFb));
    mid->setBaseTOTypeSID(sMid);
    EXPECT_FALSE(t.isTOTypeDerivedFrom(sLeaf, sBase));

    fb->setStorageAddress(0x40);
    fb->setSubNameRange(3);
    fb->setSubValidRange(4);
    EXPECT_EQ(0x40, t.getCodeAddress(sFb));
    EXPECT_EQ(0, t.getCodeAddress(sLeaf));
    StRangeID nr = 0, vr = 0;
    EXPECT_TRUE(t.getSubRanges(sFb, nr, vr));
    EXPECT_EQ(3u, nr);
    EXPECT_EQ(4u, vr);
    EXPECT_FALSE(t.getSubRanges(99, nr, vr));
    EXPECT_EQ(9u, t.getSubValidRange(99, 9));
    EXPECT_EQ(ST_INVALID_RANGE, t.getSubNameRange(99));
}

TEST(EntryTableTest, HeaderWordsAndReadFailures)
{
    StSyEntryTable t;
    ASSERT_TRUE(readForm(Form::SectionText, t,
                         "2 3 1 0 3\r\n1 1 1 1 1 7 5 65537 0 5\r\n1 1 1 1 1 8 9 0 11 "));
    ASSERT_EQ(2u, t.size());
    EXPECT_EQ(ST_KIND_CONST, t.findEntry(3)->getKind());
    EXPECT_TRUE(t.findEntry(3)->getUnitSID().isInvalid());  // mode 0
    EXPECT_EQ(9u, t.findEntry(5)->getUnitSID());            // mode 1
    EXPECT_EQ(11u, t.findEntry(5)->getTypeRefSID());
    EXPECT_EQ(6u, t.getNextFreeSID());
    EXPECT_FALSE(t.hasError());

    const char* bad[] = {
        "2 3 1 0 3\r\n1 1 1 1 1 7 4 22 ",        // unknown kind
        "2 3 1 0 3\r\n1 1 1 1 1 7 3 1 ",         // duplicate SID
        "1 4294967295 1 0 1\r\n1 1 1 1 1 7 ",    // invalid SID
        "1 4 0 ",                                // kind 0
    };
    for (const char* b : bad) {
        StSyEntryTable r;
        EXPECT_FALSE(readForm(Form::SectionText, r, b)) << b;
        EXPECT_TRUE(r.hasError()) << b;
        EXPECT_LE(r.size(), 1u) << b;
        // The next read starts afresh.
        EXPECT_TRUE(readForm(Form::SectionText, r, "0 ")) << b;
        EXPECT_FALSE(r.hasError()) << b;
    }
    // A read entry's next pointer follows its next SID.
    StSyEntryTable c;
    ASSERT_TRUE(readForm(Form::SectionText, c, "2 1 3 0 1\r\n4294967295 2 4 0 0 0 2 3 0 2 3 0 2\r\n1 4294967295 4 0 0 0 2 3 0 "));
    EXPECT_EQ(c.findEntry(2), c.findEntry(1)->getNextEntry());
}

TEST(EntryTableTest, MarkedOnlyWriteAndRoundTrip)
{
    StSyEntryTable t;
    StSyBaseSymbEntry *a = nullptr, *b = nullptr;
    add(t, ST_KIND_CONST, nullptr, ST_INVALID_SID, &a);
    t.setMarkNew(true);
    add(t, ST_KIND_TYPESPEC);
    t.setMarkNew(false);
    add(t, ST_KIND_VAR, a, ST_INVALID_SID, &b);
    a->mark();
    std::ostringstream before;
    t.dump(before);

    t.setMarkedOnly(true);
    EXPECT_EQ("2 0 65537 2147483647 0\r\n4294967295 4294967295 4294967295 0 0 4294967295 4294967295 2 4294967295 "
              "1 65538 2147483647 1\r\n4294967295 4294967295 4294967295 0 0 4294967295 4294967295 2 "
              "4294967295 4294967295 ",
              writeForm(Form::SectionText, t, 1));
    std::ostringstream after;
    t.dump(after);
    EXPECT_EQ(before.str(), after.str());
    EXPECT_EQ(b, a->getNextEntry());

    t.setMarkedOnly(false);
    for (uint32_t mode = 0; mode <= 1; ++mode) {
        for (Form f : sttest::kForms) {
            const std::string first = writeForm(f, t, mode);
            StSyEntryTable back;
            ASSERT_TRUE(readForm(f, back, first, mode)) << sttest::formName(f);
            EXPECT_EQ(first, writeForm(f, back, mode)) << sttest::formName(f);
            std::ostringstream d;
            back.dump(d);
            EXPECT_EQ(before.str(), d.str());
        }
    }
    // The old format never writes 0x10000.
    EXPECT_EQ(std::string::npos, writeForm(Form::SectionText, t, 0).find("65537"));
}

TEST(StringTableTest, InsertLookupAndForms)
{
    StSyStringTable t;
    EXPECT_EQ(1, t.insert(nullptr, 1));
    EXPECT_EQ(1, t.insert(new String("gone"), ST_INVALID_SID));  // freed
    EXPECT_EQ(0, t.insert(new String("b"), 2));
    EXPECT_EQ(0, t.insert(new String("b"), 9));  // present: keeps 2, frees the new key
    t.setMarkNew(true);
    EXPECT_EQ(0, t.insert(new String("B"), 3));
    t.setMarkNew(false);
    EXPECT_EQ(0, t.insert(new String("\xE4"), 4));  // signed bytes: before "B"
    StSymbEntryID sid;
    String* key = t.lookup(String("b"), sid);
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(2u, sid);
    EXPECT_EQ(nullptr, t.lookup(String("x"), sid));
    EXPECT_TRUE(sid.isInvalid());

    EXPECT_EQ("3 1 \xE4 4\r\n1 B 3\r\n1 b 2\r\n", writeForm(Form::SectionText, t));
    EXPECT_EQ("3 \xE4 4\nB 3\nb 2\n", writeForm(Form::Stream, t));
    t.setMarkedOnly(true);
    EXPECT_EQ("1 1 B 3\r\n", writeForm(Form::SectionText, t));
    t.setMarkedOnly(false);
    for (Form f : sttest::kForms) {
        StSyStringTable back;
        back.insert(new String("b"), 7);  // reading adds; a present name keeps its id
        ASSERT_TRUE(readForm(f, back, writeForm(f, t))) << sttest::formName(f);
        EXPECT_EQ(3u, back.size());
        back.lookup(String("b"), sid);
        EXPECT_EQ(7u, sid);
    }
    StSyStringTable copy;
    copy.assign(t);
    EXPECT_EQ(writeForm(Form::SectionBinary, t), writeForm(Form::SectionBinary, copy));
    t.remove(String("B"));
    std::ostringstream d;
    t.dump(d);
    EXPECT_EQ(" 2\n\xE4 4\nb 2\n", d.str());
}

// Many names entered and removed in a scattered order: every name keeps its
// own SID until removed, a removed name is absent and can be entered again,
// and clearing leaves nothing to find. Names that only differ in length
// (one a prefix of the other, with a 0 byte inside) stay distinct.
TEST(StringTableTest, ManyNamesEnteredAndRemoved)
{
    StSyStringTable t;
    const int n = 3000;
    auto nameOf = [](int i) { return "v" + std::to_string((i * 7919) % 100003); };
    for (int i = 0; i < n; ++i) ASSERT_EQ(0, t.insert(new String(nameOf(i).c_str()), uint32_t(i + 1)));
    for (int i = 0; i < n; i += 3) t.remove(String(nameOf(i).c_str()));
    StSymbEntryID sid;
    for (int i = 0; i < n; ++i) {
        const String* stored = t.lookup(String(nameOf(i).c_str()), sid);
        if (i % 3 == 0) {
            EXPECT_EQ(nullptr, stored) << i;
            EXPECT_TRUE(sid.isInvalid()) << i;
        } else {
            ASSERT_NE(nullptr, stored) << i;
            EXPECT_EQ(uint32_t(i + 1), sid.get()) << i;
        }
    }
    EXPECT_EQ(size_t(n - (n + 2) / 3), t.size());
    for (int i = 0; i < n; i += 3) t.insert(new String(nameOf(i).c_str()), uint32_t(n + i));
    for (int i = 0; i < n; ++i) {
        t.lookup(String(nameOf(i).c_str()), sid);
        EXPECT_EQ(uint32_t(i % 3 == 0 ? n + i : i + 1), sid.get()) << i;
    }
    t.insert(new String("ab", 1), 5);
    t.insert(new String("a\0", 2), 6);
    t.lookup(String("a"), sid);
    EXPECT_EQ(5u, sid.get());
    t.lookup(String("a\0", 2), sid);
    EXPECT_EQ(6u, sid.get());
    t.clear();
    EXPECT_EQ(0u, t.size());
    EXPECT_EQ(nullptr, t.lookup(String(nameOf(1).c_str()), sid));
    EXPECT_EQ(nullptr, t.find(String("a")));
    t.insert(new String("a"), 9);
    t.lookup(String("a"), sid);
    EXPECT_EQ(9u, sid.get());
}

// Walks (the written form) give the names in name order - bytes as signed
// chars - whatever adds, removals and earlier walks came before.
TEST(StringTableTest, WalksInNameOrderThroughAddsAndRemovals)
{
    auto signedLess = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return (signed char)x < (signed char)y; });
    };
    std::map<std::string, uint32_t, decltype(signedLess)> oracle(signedLess);
    StSyStringTable t;
    std::mt19937 rnd(48);
    // Names that differ past their sixteenth byte, and names that end
    // within it beside longer ones.
    const char* stems[] = {"a", "B", "\xE4x", "z9", "v1", "", "grownNamesSharingAPrefix", "grownNames\xE4\xE4\xE4\xE4\xE4\xE4"};
    for (int step = 0; step < 3000; ++step) {
        const std::string name = std::string(stems[rnd() % 8]) + std::to_string(rnd() % 400);
        if (rnd() % 4 == 0) {
            t.remove(String(name.c_str()));
            oracle.erase(name);
        } else {
            t.insert(new String(name.c_str()), uint32_t(step));
            oracle.emplace(name, uint32_t(step));
        }
        if (step % 300 != 299) continue;
        std::string expected = std::to_string(oracle.size()) + " ";
        for (const auto& [n, sid] : oracle) expected += std::to_string(n.size()) + " " + n + " " + std::to_string(sid) + "\r\n";
        ASSERT_EQ(expected, writeForm(Form::SectionText, t)) << step;
    }
}

TEST(RangeTableTest, OpenParentsMarking)
{
    StSyRangeTable t;
    EXPECT_EQ(1u, t.open(0, 5));
    t.setMarkParents(true);
    EXPECT_EQ(2u, t.open(1, 7));
    EXPECT_EQ(1u, t.parent(2));
    EXPECT_EQ(ST_INVALID_RANGE, t.parent(3));
    EXPECT_EQ(ST_INVALID_RANGE, t.parent(0));
    t.extendStart(2, 9);
    t.extendStart(2, 6);
    t.extendEnd(2, 8);
    t.extendEnd(2, 3);
    t.setMarkParents(false);
    t.open(0, ST_INVALID_SID);
    t.setMarkedOnly(true);
    EXPECT_EQ("3 0 4294967295\r\n1 0\r\n2 1\r\n", writeForm(Form::SectionText, t));
    t.setMarkedOnly(false);
    std::ostringstream d;
    t.dump(d);
    EXPECT_EQ("4\n0 -> 4294967295 ( SID-Range: 0-4294967295 )\n1 -> 0 ( SID-Range: 5-4294967295 )\n"
              "2 -> 1 ( SID-Range: 6-8 )\n3 -> 0 ( SID-Range: 4294967295-4294967295 )\n",
              d.str());
    t.clear();
    EXPECT_EQ(1u, t.size());
    EXPECT_EQ(0u, t.getLast());
}

TEST(RangeTableTest, ReadPlacesPairsByIdAndBoundsThem)
{
    StSyRangeTable t;
    ASSERT_TRUE(readForm(Form::SectionText, t, "2 0 4294967295\r\n3 0\r\n"));
    EXPECT_EQ(4u, t.size());
    EXPECT_EQ(3u, t.getLast());
    EXPECT_EQ(ST_INVALID_RANGE, t.parent(1));
    EXPECT_EQ(ST_INVALID_RANGE, t.parent(2));
    EXPECT_EQ(0u, t.parent(3));

    StSyRangeTable o;
    ASSERT_TRUE(readForm(Form::Stream, o, "3 0 4294967295\n2 0\n1 2\n"));
    EXPECT_EQ(3u, o.size());
    EXPECT_EQ(2u, o.parent(1));
    EXPECT_EQ(2u, o.getLast());

    StSyRangeTable z;
    z.open(0, 1);
    ASSERT_TRUE(readForm(Form::SectionText, z, "0 "));
    EXPECT_EQ(2u, z.size());  // a count of 0 keeps the table

    StSyRangeTable big;
    EXPECT_FALSE(readForm(Form::SectionText, big, "2 0 1\r\n4000000000 0\r\n"));
    EXPECT_EQ(1u, big.size());

    for (Form f : sttest::kForms) {
        StSyRangeTable back;
        ASSERT_TRUE(readForm(f, back, writeForm(f, t))) << sttest::formName(f);
        EXPECT_EQ(writeForm(f, t), writeForm(f, back));
    }
}

TEST(EntryTableTest, FirstEntryAtOrAfterASid)
{
    StSyEntryTable t;
    StSyBaseSymbEntry* e5 = nullptr;
    add(t, ST_KIND_VAR, nullptr, ST_INVALID_SID);
    StSymbEntryID s1 = add(t, ST_KIND_VAR);
    StSymbEntryID s2 = add(t, ST_KIND_VAR, nullptr, ST_INVALID_SID, &e5);
    StSymbEntryID gap = s1;
    t.removeEntry(gap);
    EXPECT_EQ(e5, t.findEntryFrom(s1));  // the gap leads on to the next entry
    EXPECT_EQ(e5, t.findEntryFrom(s2));
    EXPECT_EQ(nullptr, t.findEntryFrom(s2 + 1));
    EXPECT_EQ(nullptr, t.findEntryFrom(ST_INVALID_SID));
}

// findEntry answers what the table holds under the id, whether ids came
// dense from the counter, were removed, or were read far apart.
TEST(EntryTableTest, FindsEveryEntryByItsId)
{
    StSyEntryTable t;
    auto agrees = [&t](uint32_t upTo, const char* when) {
        for (uint32_t id = 0; id < upTo; ++id) {
            const auto it = t.entries().find(StSymbEntryID(id));
            ASSERT_EQ(it == t.entries().end() ? nullptr : it->second, t.findEntry(id)) << when << ", id " << id;
        }
    };
    for (int i = 0; i < 3000; ++i) add(t, ST_KIND_VAR);
    for (uint32_t id = 0; id < 3000; id += 3) {
        StSymbEntryID s = id;
        t.removeEntry(s);
    }
    agrees(3100, "after removals");
    for (int i = 0; i < 1500; ++i) add(t, ST_KIND_VAR);  // the gaps first, then on
    agrees(4600, "after refilling");
    // Read ids: near, beyond what a dense index would cover, and the last.
    StSyEntryTable r;
    ASSERT_TRUE(readForm(Form::SectionText, r,
                         "3 5 1 0 5\r\n1 1 1 1 1 1 70000 1 0 70000\r\n1 1 1 1 1 1 4294967294 1 0 4294967294\r\n1 1 1 1 1 1 "));
    ASSERT_EQ(3u, r.size());
    for (uint32_t id : {5u, 70000u, 4294967294u}) EXPECT_EQ(r.entries().at(id), r.findEntry(id)) << id;
    for (uint32_t id : {0u, 4u, 6u, 69999u, 70001u}) EXPECT_EQ(nullptr, r.findEntry(id)) << id;
    t.clear();
    agrees(4600, "after clear");
}

// The entries by SID answer as the ordered map they replace: ids from a
// counter, removed, re-added, far apart (kept beside the vector) and then
// covered by it as it grows; walks both ways, lower bounds and the last id.
TEST(EntryTableTest, IdMapAnswersAsAnOrderedMap)
{
    using Map = StIdMap<StSymbEntryID, int>;
    Map m;
    std::map<uint32_t, int*> oracle;
    static int values[8];
    std::mt19937 rnd(47);
    auto agrees = [&](int step) {
        ASSERT_EQ(oracle.size(), m.size()) << step;
        auto o = oracle.begin();
        for (auto it = m.begin(); it != m.end(); ++it, ++o) {
            ASSERT_NE(o, oracle.end()) << step;
            ASSERT_EQ(o->first, uint32_t(it->first)) << step;
            ASSERT_EQ(o->second, it->second) << step;
        }
        ASSERT_EQ(o, oracle.end()) << step;
        auto r = oracle.rbegin();
        for (auto it = m.end(); it != m.begin(); ++r) {
            --it;
            ASSERT_EQ(r->first, uint32_t(it->first)) << step;
        }
        ASSERT_EQ(r, oracle.rend()) << step;
        if (!oracle.empty()) {
            EXPECT_EQ(oracle.rbegin()->first, uint32_t(m.rbegin()->first)) << step;
        }
        for (uint32_t probe : {0u, 1u, 63u, 64u, 700u, 5000u, 70000u, 70001u, 4294967294u}) {
            auto lo = oracle.lower_bound(probe);
            auto it = m.lower_bound(probe);
            ASSERT_EQ(lo == oracle.end(), it == m.end()) << step << " " << probe;
            if (lo != oracle.end()) {
                ASSERT_EQ(lo->first, uint32_t(it->first)) << step << " " << probe;
            }
            ASSERT_EQ(oracle.count(probe), m.count(probe)) << step << " " << probe;
        }
    };
    for (int step = 0; step < 4000; ++step) {
        const uint32_t pick = rnd() % 10;
        uint32_t id = pick < 6 ? rnd() % 3000 : pick < 8 ? 70000 + rnd() % 50 : 4294967000u + rnd() % 200;
        if (rnd() % 3 == 0) {
            int* gone = m.erase(id);
            auto it = oracle.find(id);
            ASSERT_EQ(it == oracle.end() ? nullptr : it->second, gone) << step;
            if (it != oracle.end()) oracle.erase(it);
        } else {
            int* p = &values[rnd() % 8];
            ASSERT_EQ(oracle.emplace(id, p).second, m.insert(id, p)) << step;
        }
        if (step % 500 == 0) agrees(step);
    }
    agrees(4000);
    // The previous entry of a lower bound in the map beside the vector.
    auto it = m.lower_bound(70000);
    ASSERT_NE(it, m.begin());
    EXPECT_EQ(std::prev(oracle.lower_bound(70000))->first, uint32_t(std::prev(it)->first));
    m.clear();
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(m.begin(), m.end());
    // A walk goes on after insertions that grow the vector, meets the ids
    // added behind it and ends where the map ends.
    for (uint32_t id = 0; id < 40; ++id) m.insert(id, &values[0]);
    std::vector<uint32_t> walked;
    for (const auto& [id, p] : m) {
        walked.push_back(uint32_t(id));
        if (id < 40) m.insert(id * 50 + 100, p);  // up to 2050: the vector grows
    }
    ASSERT_EQ(80u, walked.size());
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
    EXPECT_EQ(2050u, walked.back());
}

// Entries removed and added again reuse their blocks, copies and reads
// come from the table too, and clearing leaves a table that works as new.
TEST(EntryTableTest, RemovedAndClearedEntriesMakeRoomForNewOnes)
{
    StSyEntryTable t;
    for (int round = 0; round < 3; ++round) {
        std::vector<StSymbEntryID> ids;
        std::set<const void*> blocks;
        for (int i = 0; i < 2000; ++i) {
            StSyBaseSymbEntry* e = nullptr;
            ids.push_back(add(t, i % 2 ? ST_KIND_VAR : ST_KIND_FUNC, nullptr, ST_INVALID_SID, &e));
            blocks.insert(e);
        }
        for (StSymbEntryID sid : ids) {
            StSymbEntryID s = sid;
            t.removeEntry(s);
        }
        EXPECT_EQ(0u, t.size());
        StSyBaseSymbEntry* e = nullptr;
        const StSymbEntryID sid = add(t, ST_KIND_FUNC, nullptr, ST_INVALID_SID, &e);
        ASSERT_NE(nullptr, e);
        EXPECT_EQ(1u, blocks.count(e)) << "a removed entry's block serves the next of its size";
        StSyBaseSymbEntry* copy = t.addCopy(nullptr, e, e);
        ASSERT_NE(nullptr, copy);
        EXPECT_EQ(ST_KIND_FUNC, copy->getKind());
        EXPECT_EQ(copy, t.findEntry(e->getNext()));
        StSymbEntryID s = sid;
        t.removeEntry(s);
        s = copy->getID();
        t.removeEntry(s);
    }
    StSyEntryTable src;
    StSyBaseSymbEntry* head = nullptr;
    add(src, ST_KIND_VAR, nullptr, ST_INVALID_SID, &head);
    add(src, ST_KIND_FUNC, head);
    const std::string form = writeForm(Form::SectionText, src);
    for (int round = 0; round < 2; ++round) {
        t.clear();
        ASSERT_TRUE(readForm(Form::SectionText, t, form)) << round;
        ASSERT_EQ(2u, t.size());
        EXPECT_EQ(ST_KIND_FUNC, t.findEntry(1)->getKind());
        EXPECT_EQ(t.findEntry(1), t.findEntry(0)->getNextEntry());
        EXPECT_EQ(form, writeForm(Form::SectionText, t));
    }
}

TEST(IdListTest, CopiesAndAssignmentsKeepTheIds)
{
    const StSymbEntryIDList l{7, 3, 0xFFFFFFFFu};
    StSymbEntryIDList copy(l);
    StSymbEntryIDList assigned{1};
    assigned = l;
    EXPECT_EQ(l, copy);
    EXPECT_EQ(l, assigned);
}

TEST(IdListTest, FormsAndShortStreams)
{
    StIdList l{3, 0xFFFFFFFFu, 0};
    EXPECT_EQ("3 3 4294967295 0 ", writeForm(Form::SectionText, l));
    for (Form f : sttest::kForms) {
        StIdList back{9};
        ASSERT_TRUE(readForm(f, back, writeForm(f, l)));
        EXPECT_EQ(l, back);
    }
    StIdList shortList;
    EXPECT_FALSE(readForm(Form::SectionText, shortList, "4000000000 1 2 "));
    EXPECT_EQ((StIdList{1, 2}), shortList);
}

}  // namespace
