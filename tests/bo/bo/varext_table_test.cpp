// The variable-extension tables: the masked lookup over the five tables
// that have it (one table of cases run against each), the order of keys,
// the duplicate rule of each table and the key print.
#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <map>
#include <random>
#include <sstream>

#include "bo/bo/BoVarExt.h"

namespace {

constexpr uint32_t kNone = 0xDEADBEEF;  // "nothing found"

// One table behind a uniform face: add an entry with a value or an empty
// one, and look up the mask of the entry found.
struct Face {
    const char* name;
    bool hasEmpty;
    std::function<void(int32_t, uint32_t, bool)> add;
    std::function<uint32_t(int32_t, uint32_t)> find;
};

template <class Table>
uint32_t maskFound(const Table& t, int32_t adr, uint32_t m)
{
    auto it = t.findForCfg(VarExtKey(adr, m));
    return it == t.end() ? kNone : it->first.mask;
}

// Fresh tables for each run of the cases.
struct Tables {
    CVarTypeValueTable values;
    CVarInstValueTable inst;
    CAttribTable attribs;
    CDynArrayTable arrays;
    CBitFieldTable bits;

    std::vector<Face> faces()
    {
        return {
            {"values", true, [this](int32_t a, uint32_t m, bool v) { values.add(VarExtKey(a, m), v ? new VarTypeValue : nullptr); },
             [this](int32_t a, uint32_t m) { return maskFound(values, a, m); }},
            {"inst", true, [this](int32_t a, uint32_t m, bool v) { inst.add(VarExtKey(a, m), v ? new VarInstValue : nullptr); },
             [this](int32_t a, uint32_t m) { return maskFound(inst, a, m); }},
            {"attribs", true, [this](int32_t a, uint32_t m, bool v) { attribs.add(VarExtKey(a, m), v ? new VarExt : nullptr); },
             [this](int32_t a, uint32_t m) { return maskFound(attribs, a, m); }},
            {"arrays", true, [this](int32_t a, uint32_t m, bool v) { arrays.emplace(VarExtKey(a, m), v ? 100 : 0); },
             [this](int32_t a, uint32_t m) { return maskFound(arrays, a, m); }},
            {"bits", false, [this](int32_t a, uint32_t m, bool) { bits.emplace(VarExtKey(a, m), BitEntry{}); },
             [this](int32_t a, uint32_t m) { return maskFound(bits, a, m); }},
        };
    }
};

TEST(VarExtLookup, MaskedLookupOnEveryTable)
{
    struct Case {
        int32_t adr;
        uint32_t mask;
        uint32_t found;
    };
    const Case cases[] = {
        {5, 0x1, 0x3}, {5, 0x4, 0x7}, {5, 0x8, kNone}, {5, 0, 0x3}, {5, 0x3, 0x3},
        {5, 0x6, 0x7}, {4, 0x1, kNone}, {6, 0, kNone}, {5, 0xFFFFFFFF, kNone},
    };
    Tables t;
    for (Face& f : t.faces()) {
        SCOPED_TRACE(f.name);
        f.add(5, 0x7, true);
        f.add(5, 0x3, true);
        for (const Case& c : cases) EXPECT_EQ(c.found, f.find(c.adr, c.mask)) << c.adr << "/" << c.mask;
    }
}

TEST(VarExtLookup, EmptyFirstCoveringEntryHidesLaterOnes)
{
    Tables t;
    for (Face& f : t.faces()) {
        if (!f.hasEmpty) continue;
        SCOPED_TRACE(f.name);
        f.add(5, 0x3, false);
        f.add(5, 0x7, true);
        EXPECT_EQ(kNone, f.find(5, 0x1));
        EXPECT_EQ(kNone, f.find(5, 0));
        EXPECT_EQ(0x7u, f.find(5, 0x4));
    }
}

TEST(VarExtLookup, AddressesOrderSigned)
{
    CDynArrayTable t;
    t.emplace(VarExtKey(0, 1), 1);
    t.emplace(VarExtKey(int32_t(0x80000000), 1), 2);
    t.emplace(VarExtKey(-1, 0), 3);
    std::vector<int32_t> order;
    for (auto& e : t) order.push_back(e.second);
    EXPECT_EQ((std::vector<int32_t>{2, 3, 1}), order);
    EXPECT_TRUE(VarExtKey(1, 0xFFFFFFFF) < VarExtKey(2, 0));
    EXPECT_TRUE(VarExtKey(1, 0x7FFFFFFF) < VarExtKey(1, 0x80000000));
}

TEST(VarExtLookup, AgreesWithABruteForceScan)
{
    std::mt19937 rng(25);
    for (int round = 0; round < 20; ++round) {
        CVarTypeValueTable t;
        for (int i = 0; i < 60; ++i) {
            VarTypeValue* v = rng() % 4 ? new VarTypeValue : nullptr;
            if (!t.add(VarExtKey(int32_t(rng() % 7) - 3, rng() % 16), v)) delete v;
        }
        for (int q = 0; q < 200; ++q) {
            int32_t adr = int32_t(rng() % 9) - 4;
            uint32_t m = rng() % 16;
            const VarTypeValue* want = nullptr;
            bool decided = false;
            for (auto& e : t)  // in key order: the first covering entry decides
                if (!decided && e.first.adr == adr && (e.first.mask & m) == m) {
                    want = e.second;
                    decided = true;
                }
            auto it = t.findForCfg(VarExtKey(adr, m));
            EXPECT_EQ(want, it == t.end() ? nullptr : it->second) << adr << "/" << m;
        }
    }
}

TEST(VarExtDuplicates, RecordTablesRefuseTheSameKey)
{
    CAttribTable t;
    EXPECT_TRUE(t.add(VarExtKey(1, 3), new VarExt));
    VarExt* second = new VarExt;
    EXPECT_FALSE(t.add(VarExtKey(1, 3), second));  // stays the caller's
    delete second;
    EXPECT_TRUE(t.add(VarExtKey(1, 7), nullptr));
    EXPECT_EQ(2u, t.size());
    t.freeAll();
    EXPECT_TRUE(t.empty());
}

// Keys mostly arrive ascending (appended without a search), sometimes
// repeated or behind the last one, near it or far back (some rounds), with
// lookups between the inserts (odd rounds): the answers and the walk stay
// those of a plain ordered map.
TEST(VarExtDuplicates, RecordTablesInAnyArrivalOrder)
{
    std::mt19937 rng(47);
    for (int round = 0; round < 20; ++round) {
        CAttribTable t;
        std::map<std::pair<int32_t, uint32_t>, uint32_t> model;
        int32_t adr = int32_t(rng() % 5) - 2;
        for (uint32_t i = 0; i < 3000; ++i) {
            const uint32_t pick = rng() % 8;
            if (pick < 4)
                adr += int32_t(rng() % 3);  // ascending, or the same address
            else if (pick == 4 || pick == 5)
                adr -= int32_t(rng() % (round % 4 < 2 ? 4 : 800));  // behind the last key
            if (round % 2 == 1 && i % 7 == 0) {
                const int32_t asked = adr - int32_t(rng() % 400);
                const auto it = t.lower_bound(VarExtKey(asked, 0));
                const auto want = model.lower_bound(std::make_pair(asked, 0u));
                ASSERT_EQ(want == model.end(), it == t.end());
                if (it != t.end()) {
                    EXPECT_EQ(want->second, it->second->A);
                }
                EXPECT_EQ(model.count(std::make_pair(asked, 1u)), t.count(VarExtKey(asked, 1)));
            }
            const uint32_t mask = pick == 7 ? 0x80000000u | (rng() % 4) : rng() % 4;
            auto* rec = new VarExt;
            rec->A = i;
            const bool added = t.add(VarExtKey(adr, mask), rec);
            EXPECT_EQ(model.emplace(std::make_pair(adr, mask), i).second, added) << adr << "/" << mask;
            if (!added) delete rec;
        }
        std::vector<uint32_t> walk, want;
        for (const auto& e : t) walk.push_back(e.second->A);
        for (const auto& e : model) want.push_back(e.second);
        EXPECT_EQ(want, walk);
    }
}

TEST(VarExtDuplicates, DynamicArraysAreRefusedAsAWhole)
{
    CDynArrayTable t;
    EXPECT_TRUE(t.addArrays(VarExtKey(1, 0x3), std::list<int32_t>{10, 11}));
    // 11 is governed already under a mask sharing bit 1.
    EXPECT_FALSE(t.addArrays(VarExtKey(2, 0x6), std::list<int32_t>{12, 11}));
    EXPECT_EQ(2u, t.size());
    // Disjoint masks: the same array under another size variable.
    EXPECT_TRUE(t.addArrays(VarExtKey(2, 0x4), std::list<int32_t>{12, 11}));
    EXPECT_EQ(4u, t.size());
    EXPECT_TRUE(t.addArrays(VarExtKey(3, 0x1), std::list<int32_t>{}));
}

TEST(VarExtDuplicates, BitFields)
{
    CBitTypeTable types;
    EXPECT_TRUE(types.add(1, 101, 100));
    EXPECT_FALSE(types.add(1, 5, 6));
    EXPECT_EQ(101, types.at(1).setTextId);
    CBitFieldTable t;
    EXPECT_FALSE(t.addBitField(VarExtKey(7, 0x3), 0, 2, 0, types));  // unknown bit type
    EXPECT_TRUE(t.addBitField(VarExtKey(7, 0x3), 0, 1, 0, types));
    EXPECT_FALSE(t.addBitField(VarExtKey(7, 0x1), 0, 1, 0, types));  // covered, same bit
    EXPECT_TRUE(t.addBitField(VarExtKey(7, 0x1), 1, 1, 0, types));   // another bit
    EXPECT_TRUE(t.addBitField(VarExtKey(7, 0x4), 0, 1, 0, types));   // not covered
    EXPECT_TRUE(t.addBitField(VarExtKey(8, 0x3), 0, 1, 0, types));   // another address
    EXPECT_EQ(4u, t.size());
}

TEST(VarExtDuplicates, NumberMapsAndUnitLists)
{
    CResolveTable r;
    EXPECT_TRUE(r.add(0, 1));
    EXPECT_FALSE(r.add(0, 7));
    EXPECT_EQ(1, r.at(0));
    CUsedUnitTable u;
    u.add(1, 3);
    u.add(1, 3);
    u.add(1, 4);
    EXPECT_EQ((BoUnitList{3, 3, 4}), u.at(1));
}

TEST(VarExtKeys, PrintAndTypeKeyOrder)
{
    EXPECT_EQ("{0x00000005, 0xFFFFFFFF}", VarExtKey(5, 0xFFFFFFFF).print());
    std::ostringstream o;
    o << VarExtKey(-2, 1);
    EXPECT_EQ("{0xFFFFFFFE, 0x00000001}", o.str());
    // Names compare with characters as signed bytes, then the mask.
    EXPECT_TRUE(TypeExtKey("\xE4", 0) < TypeExtKey("a", 0));
    EXPECT_TRUE(TypeExtKey("ab", 5) < TypeExtKey("b", 0));
    EXPECT_TRUE(TypeExtKey("a", 1) < TypeExtKey("a", 2));
    EXPECT_FALSE(TypeExtKey("a", 2) < TypeExtKey("a", 2));
}

}  // namespace
