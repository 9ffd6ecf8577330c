// The six section layouts of the variable-extension tables: golden bytes of
// each writer, the readers' handling of repeated keys, bad flags, cut texts
// and counts, the refusal of binary sections, and a seeded round trip of
// random tables (write, read, write byte-identical) whose texts an
// independent Python reader (varext_layouts.py) parses to the end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "tests/bo/bo/varext_sections.h"

namespace {

// A text section holding bytes, positioned at 0.
std::unique_ptr<FsSecClMem> section(const std::string& bytes = std::string())
{
    auto s = std::make_unique<FsSecClMem>();
    fillSection(*s, bytes.data(), bytes.size());
    return s;
}

VarTypeValue* value(BoConstId def, int32_t unit, int32_t fix, BoConstId min, BoConstId max)
{
    return VarTypeValue::make(def, unit, fix, min, max);
}

// The tables of one type, with a writer into a new section and the summary
// that the Python reader prints for each layout.
struct Model : VarExtSections {
    std::string written(int layout) const
    {
        auto s = section();
        EXPECT_EQ(0u, write(layout, *s)) << kLayouts[layout];
        return sectionText(*s);
    }
    // The numbers the Python reader prints for the layout.
    std::string summary(int layout) const
    {
        auto withRecord = [](const auto& t) {
            size_t n = 0;
            for (auto& e : t) n += e.second != nullptr;
            return std::to_string(t.size()) + " " + std::to_string(n);
        };
        switch (layout) {
        case 0: {
            size_t entries = 0;
            for (auto& g : groups) entries += g.second.entries.size();
            return std::to_string(defaultCfg) + " " + std::to_string(cfgs.size()) + " " + std::to_string(groups.size()) +
                   " " + std::to_string(entries);
        }
        case 1: {
            size_t units = 0;
            for (auto& u : used) units += u.second.size();
            return std::to_string(unitLimit) + " " + std::to_string(resolve.size()) + " " + std::to_string(used.size()) +
                   " " + std::to_string(units) + " " + std::to_string(defaults.size());
        }
        case 2: return withRecord(values);
        case 3: return withRecord(attribs);
        case 4: return std::to_string(arrays.size());
        default: return std::to_string(bitTypes.size()) + " " + std::to_string(bits.size());
        }
    }
};

TEST(VarExtLayouts, GoldenBytes)
{
    Model m;
    m.values.add(VarExtKey(5, 0x3), value(0, 1, 4, 1, 2));
    m.values.add(VarExtKey(7, 0xFFFFFFFF), nullptr);
    auto* a = new VarExt;
    a->A = 1;
    a->G = 2;
    a->TE = 255;
    m.attribs.add(VarExtKey(3, 0xFFFFFFFF), a);
    m.unitLimit = 429;
    m.resolve.add(0, 1);
    m.used.add(1, 3);
    m.used.add(1, 4);
    m.defaults.add(1, 4);
    m.defaultCfg = 1;
    m.cfgs.add(1, 100);
    m.cfgs.add(2, 101);
    m.groups[5].textId = 102;
    m.groups[5].entries.add(1, 103);
    m.bitTypes.add(1, 101, 100);
    m.bits.addBitField(VarExtKey(7, 0xFFFFFFFF), 0, 1, 102, m.bitTypes);
    m.arrays.addArrays(VarExtKey(8, 0xFFFFFFFF), std::list<int32_t>{9, 10});

    const std::string golden[6] = {
        "1 2 1 100 2 101  1 5 102 1 1 103  ",
        "429\r\n1\r\n0 1 1\r\n1 2 3 4 \r\n\r\n1\r\n1 4 ",
        "2 5 3 1 0 1 4 1 2 7 4294967295 0",
        "1 3 4294967295 1 1 0 0 2 255",
        "2 8 4294967295 9 8 4294967295 10 ",
        "1 1 101 100 \r\n1 7 4294967295 0 1 102 ",
    };
    const std::string empty[6] = {
        "4294967295 0  0 ", "0\r\n0\r\n0\r\n\r\n0\r\n", "0", "0", "0 ", "0 \r\n0 ",
    };
    Model none;
    for (int l = 0; l < 6; ++l) {
        SCOPED_TRACE(Model::kLayouts[l]);
        EXPECT_EQ(golden[l], m.written(l));
        EXPECT_EQ(empty[l], none.written(l));
        // A save replaces what the section held.
        auto s = section("left over from before, longer than the new text");
        ASSERT_EQ(0u, m.write(l, *s));
        EXPECT_EQ(golden[l], sectionText(*s));
    }
}

TEST(VarExtLayouts, ReadersOnRepeatedKeys)
{
    {  // configurations: the later text id wins, the count check fails
        Model m;
        auto s = section("1 2 1 100 1 101  0 ");
        EXPECT_EQ(BO_LOAD_FAILED, m.read(0, *s));
        EXPECT_EQ(BO_COUNT_MISMATCH, s->getError());
        EXPECT_EQ(101, m.cfgs.at(1));
    }
    {  // values: the first record stays, the later one is freed, no error
        Model m;
        auto s = section("2 5 3 1 0 1 4 1 2 5 3 1 9 9 9 9 9");
        EXPECT_EQ(0u, m.read(2, *s));
        ASSERT_EQ(1u, m.values.size());
        EXPECT_EQ(0u, m.values.begin()->second->Def());
    }
    {  // attributes: the same, with a record-less later entry
        Model m;
        auto s = section("2 3 1 1 7 0 0 0 0 3 1 0");
        EXPECT_EQ(0u, m.read(3, *s));
        EXPECT_EQ(7u, m.attribs.begin()->second->A);
    }
    {  // units: a repeated possible-unit quantity fails the read
        Model m;
        auto s = section("429\r\n0\r\n2\r\n1 1 3 \r\n1 1 4 \r\n\r\n0\r\n");
        EXPECT_EQ(BO_LOAD_FAILED, m.read(1, *s));
        EXPECT_EQ((BoUnitList{3}), m.used.at(1));
    }
    {  // units: a repeated resolve key keeps the first and fails the count
        Model m;
        auto s = section("429\r\n2\r\n0 1 0 2 0\r\n\r\n0\r\n");
        EXPECT_EQ(BO_LOAD_FAILED, m.read(1, *s));
        EXPECT_EQ(BO_COUNT_MISMATCH, s->getError());
        EXPECT_EQ(1, m.resolve.at(0));
        EXPECT_EQ(429, m.unitLimit);
    }
    {  // dynamic arrays and bit fields are multimaps: nothing is counted
        Model m;
        auto s = section("2 8 1 9 8 1 9 ");
        EXPECT_EQ(0u, m.read(4, *s));
        EXPECT_EQ(2u, m.arrays.size());
    }
}

TEST(VarExtLayouts, ReadersOnBadText)
{
    struct Case {
        int layout;
        const char* text;
        uint32_t result;
        uint32_t error;
    };
    const Case cases[] = {
        {2, "1 5 3 2", BO_LOAD_FAILED, FSSEC_BOOL},                       // present flag 2
        {2, "2 5 3 1 0 1 4 1 2 7 4294967295", BO_LOAD_FAILED, FSSEC_EOF},  // cut before the last number
        {3, "1 3 4294967295 1 1 0 0 2 25", 0, 0},                          // cut inside it: TE 25
        {3, "1 3 4294967295 1 1 0 0 2 256", BO_LOAD_FAILED, FSSEC_UCHAR_RANGE},
        {3, "1 3 4294967295 1 1 0 0 65536 2", BO_LOAD_FAILED, FSSEC_USHORT_RANGE},
        {2, "4000000000 ", BO_LOAD_FAILED, FSSEC_EOF},                     // a count is no promise
        {0, "", BO_LOAD_FAILED, FSSEC_EOF},
        {0, "1 3 1 100 2 101  0 ", BO_LOAD_FAILED, FSSEC_EOF},
        {0, "1 1 1 100  1 5 102 2 1 103  ", BO_LOAD_FAILED, FSSEC_EOF},    // a group's entries cut
        {5, "2 1 101 100 \r\n0 ", BO_LOAD_FAILED, FSSEC_EOF},
        {1, "x\r\n", BO_LOAD_FAILED, FSSEC_LONG_SYNTAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Model m;
        auto s = section(c.text);
        EXPECT_EQ(c.result, m.read(c.layout, *s));
        EXPECT_EQ(c.error, s->getError());
    }
    // What was read before the error stays.
    Model m;
    auto s = section("3 1 0 0 2 0 0 3 1");
    EXPECT_EQ(BO_LOAD_FAILED, m.read(2, *s));
    EXPECT_EQ(2u, m.values.size());
}

TEST(VarExtLayouts, BinarySectionsAreRefusedUntouched)
{
    Model m;
    m.arrays.emplace(VarExtKey(1, 1), 2);
    for (int l = 0; l < 6; ++l) {
        SCOPED_TRACE(Model::kLayouts[l]);
        auto s = section("12 34 ");
        s->setBinary(true);
        EXPECT_EQ(BO_SAVE_FAILED, m.write(l, *s));
        EXPECT_EQ(6u, s->getSize());
        s->seek(2, 0);
        EXPECT_EQ(BO_LOAD_FAILED, m.read(l, *s));
        EXPECT_EQ(2u, s->tell());
        EXPECT_EQ(0u, s->getError());
    }
    EXPECT_EQ(1u, m.arrays.size());
}

// Random tables with negative addresses, record-less entries, invalid ids,
// empty unit lists and empty groups.
void fill(Model& m, std::mt19937& rng)
{
    auto pick = [&](uint32_t n) { return rng() % n; };
    const int32_t addresses[] = {0, 1, -1, 7, INT32_MIN, INT32_MAX, 100000};
    const uint32_t masks[] = {0, 1, 3, 0x80000000, 0xFFFFFFFF, 0x12345678};
    auto key = [&] { return VarExtKey(addresses[pick(7)], masks[pick(6)]); };
    auto any = [&] { return int32_t(rng()); };
    m.defaultCfg = pick(3) ? uint32_t(rng()) : 0xFFFFFFFFu;
    for (uint32_t i = pick(5); i > 0; --i) m.cfgs.add(rng(), any());
    for (uint32_t i = pick(4); i > 0; --i) {
        CfgGroupEntry& g = m.groups[rng()];
        g.textId = any();
        for (uint32_t j = pick(4); j > 0; --j) g.entries.add(rng(), any());
    }
    m.unitLimit = pick(4) ? int32_t(pick(430)) : any();
    for (uint32_t i = pick(5); i > 0; --i) m.resolve.add(any(), any());
    for (uint32_t i = pick(5); i > 0; --i) {
        int32_t q = any();
        m.used[q];
        for (uint32_t j = pick(4); j > 0; --j) m.used.add(q, any());
    }
    for (uint32_t i = pick(5); i > 0; --i) m.defaults.add(any(), any());
    for (uint32_t i = pick(12); i > 0; --i) {
        VarTypeValue* v = pick(4) ? value(rng(), any(), any(), rng(), BO_INVALID_CID) : nullptr;
        if (!m.values.add(key(), v)) delete v;
    }
    for (uint32_t i = pick(12); i > 0; --i) {
        VarExt* a = nullptr;
        if (pick(4)) {
            a = new VarExt;
            *a = VarExt{uint32_t(rng()), uint32_t(rng()), uint32_t(rng()), uint16_t(rng()), uint8_t(rng())};
        }
        if (!m.attribs.add(key(), a)) delete a;
    }
    for (uint32_t i = pick(8); i > 0; --i) m.arrays.emplace(key(), any());
    for (uint32_t i = pick(4); i > 0; --i) m.bitTypes.add(any(), any(), any());
    for (uint32_t i = pick(8); i > 0; --i) m.bits.emplace(key(), BitEntry{any(), any(), any()});
}

TEST(VarExtLayouts, SeededRoundTripReadByAnIndependentReader)
{
    namespace fs = std::filesystem;
    char dirTemplate[] = "/tmp/tv_varext_XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(dirTemplate));
    const fs::path dir = dirTemplate;
    std::map<std::string, std::string> expected;
    std::mt19937 rng(2026);
    for (int round = 0; round < 40; ++round) {
        Model m;
        fill(m, rng);
        for (int l = 0; l < 6; ++l) {
            SCOPED_TRACE(std::string(Model::kLayouts[l]) + " round " + std::to_string(round));
            const std::string first = m.written(l);
            Model back;
            auto s = section(first);
            ASSERT_EQ(0u, back.read(l, *s));
            EXPECT_EQ(first, back.written(l));
            const std::string name = std::string(Model::kLayouts[l]) + "_" + std::to_string(round) + ".txt";
            std::ofstream(dir / name, std::ios::binary) << first;
            expected[name] = m.summary(l);
        }
    }
    std::string want;
    for (auto& e : expected) want += e.first + " " + e.second + "\n";

    std::string got;
    if (::access("/usr/bin/python3", X_OK) == 0) {
        const std::string cmd = "/usr/bin/python3 '" + std::string(TV_SOURCE_DIR) +
                                "/tests/bo/bo/varext_layouts.py' '" + dir.string() + "' 2>&1";
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(nullptr, p);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) got.append(buf, n);
        EXPECT_EQ(0, ::pclose(p));
    }
    fs::remove_all(dir);
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    EXPECT_EQ(want, got);
}

}  // namespace
