// Symbol tables at random: save, load and save again give the same bytes in
// every written form; an assigned copy dumps like its source; a marked-only
// save after usage marking holds exactly the entries that were reached.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
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

// The independent reader parses saved random tables of both formats to
// their end with every count, kind and id consistent.
TEST(SymbTableRandom, IndependentReaderAgrees)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    for (uint32_t seed = 60; seed < 64; ++seed) {
        StSymbTable src;
        sttest::TableGen(seed).fill(src, 300, 60, 30);
        src.setNewFormat(seed % 2 == 0);
        const std::string path = ::testing::TempDir() + "symtab_" + std::to_string(getpid()) + ".txt";
        std::ofstream(path, std::ios::binary) << saved(src, Form::SectionText);
        const std::string cmd = "/usr/bin/python3 '" + std::string(TV_SOURCE_DIR) +
                                "/tests/base/st/stsymtab/symtab_reader.py' '" + path + "'";
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(nullptr, p);
        char buf[512] = {};
        const size_t n = std::fread(buf, 1, sizeof buf - 1, p);
        const int rc = ::pclose(p);
        std::remove(path.c_str());
        const std::string out(buf, n);
        EXPECT_EQ(0, rc) << out;
        EXPECT_NE(std::string::npos, out.find("entries " + std::to_string(src.entries()->size()) + " ")) << out;
        EXPECT_NE(std::string::npos, out.find("constants " + std::to_string(src.constants()->values().size())))
            << out;
    }
}

}  // namespace
