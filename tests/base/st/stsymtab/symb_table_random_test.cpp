// Symbol tables at random: save, load and save again give the same bytes in
// every written form; an assigned copy dumps like its source; a marked-only
// save after usage marking holds exactly the entries that were reached.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "base/st/stsymtab/StSyStringTable.h"
#include "st_forms.h"
#include "symb_table_gen.h"

namespace {

using sttest::Form;

using sttest::dumped;
using sttest::loadFrom;
using sttest::saved;

TEST(SymbTableRandom, SaveLoadSaveIsByteIdentical)
{
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        StSymbTable src;
        sttest::TableGen(seed).fill(src, 150, 40, 20);
        for (Form f : sttest::kForms) {
            const std::string first = saved(src, f);
            StSymbTable t;
            loadFrom(t, f, first);
            ASSERT_FALSE(t.hasError()) << "seed " << seed << " " << sttest::formName(f) << " " << t.getStatus();
            EXPECT_EQ(first, saved(t, f)) << "seed " << seed << " " << sttest::formName(f);
            EXPECT_EQ(src.entries()->size(), t.entries()->size());
        }
    }
}

TEST(SymbTableRandom, AssignmentDumpsLikeTheSource)
{
    for (uint32_t seed = 20; seed < 26; ++seed) {
        // A table as it comes from a file, with its range spans.
        StSymbTable built;
        sttest::TableGen(seed).fill(built, 120, 30, 15);
        StSymbTable src;
        loadFrom(src, Form::Stream, saved(built, Form::Stream));
        const bool format = src.getNewFormat();
        StSymbTable copy;
        copy = src;
        ASSERT_FALSE(copy.hasError());
        EXPECT_TRUE(dumped(src) == dumped(copy)) << "seed " << seed;
        EXPECT_EQ(format, src.getNewFormat());
        EXPECT_EQ(format, copy.getNewFormat());
    }
}

TEST(SymbTableRandom, MarkedOnlySaveHoldsWhatWasReached)
{
    for (uint32_t seed = 40; seed < 46; ++seed) {
        StSymbTable src;
        sttest::TableGen gen(seed);
        gen.fill(src, 200, 30, 10);
        src.setUsageMarking(true);
        src.setGlobalEntry(src.getGlobalVR(), src.getGlobalNR());
        std::vector<StSyBaseSymbEntry*> all;
        for (const auto& kv : src.entries()->entries()) all.push_back(kv.second);
        for (int i = 0; i < 8; ++i) src.registerSymbol(all[gen.u(all.size())]);
        src.setSortChains(true);
        src.setMarkedOnly(true);
        saved(src, Form::Stream);  // the chain sort also marks the results of marked function types
        std::set<uint32_t> reached;
        for (const auto& kv : src.entries()->entries())
            if (kv.second->isMarked()) reached.insert(kv.first);
        ASSERT_FALSE(reached.empty());
        for (Form f : sttest::kForms) {
            StSymbTable t;
            loadFrom(t, f, saved(src, f));
            ASSERT_FALSE(t.hasError()) << "seed " << seed;
            std::set<uint32_t> loaded;
            for (const auto& kv : t.entries()->entries()) {
                loaded.insert(kv.first);
                ASSERT_NE(nullptr, kv.second->getName()) << "seed " << seed << " sid " << kv.first;
                EXPECT_EQ(std::string(src.getName(kv.first)->c_str()), kv.second->getName()->c_str());
            }
            EXPECT_EQ(reached, loaded) << "seed " << seed << " " << sttest::formName(f);
        }
    }
}

}  // namespace
