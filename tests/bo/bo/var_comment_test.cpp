// The comment-text container: masked adds and lookups of variables and
// types, text loads through the resource module with the growing buffer and
// their trace lines, and the section layout written by save and read back
// by load.
#include <gtest/gtest.h>

#include <string>

#include "bo/bo/BoVarComment.h"
#include "co/TraceApi.h"
#include "tests/bo/bo/varext_sections.h"

namespace {

std::unique_ptr<tvp::ResModule> module(const std::string& entries)
{
    return tvp::ResModule::fromText("STRINGTABLE\r\nBEGIN\r\n" + entries + "END\r\n");
}

std::vector<std::string> messages(const CTraceCapture& cap)
{
    std::vector<std::string> out;
    for (auto& l : cap.lines())
        if (l.method == "CBoVarComment::getText") out.push_back(std::to_string(l.level) + " " + l.message);
    return out;
}

TEST(VarComment, AddsFollowTheMaskedLookup)
{
    CBoVarComment c(nullptr);
    struct Row {
        int32_t adr;
        uint32_t mask;
        int32_t id;
        bool added;
    } rows[] = {
        {5, 0x3, 100, true},   // first entry of 5
        {5, 0x1, 101, false},  // 0x3 covers 0x1
        {5, 0x4, 102, true},   // not covered
        {5, 0x3, 103, false},  // the same key
        {6, 0x1, -1, true},    // an empty entry ...
        {6, 0x1, 104, false},  // ... still blocks its exact key
        {6, 0x0, 105, true},   // ... but not a mask it covers
        {-7, 0xFFFFFFFF, 106, true},
    };
    for (auto& r : rows) EXPECT_EQ(r.added, c.addVarText(VarExtKey(r.adr, r.mask), r.id)) << r.adr << " " << r.mask;

    auto found = [&](int32_t adr, uint32_t mask) {
        auto it = c.findVarText(VarExtKey(adr, mask));
        return c.foundVarText(it) ? it->second : -2;
    };
    EXPECT_EQ(100, found(5, 0x1));
    EXPECT_EQ(100, found(5, 0));
    EXPECT_EQ(102, found(5, 0x4));
    EXPECT_EQ(-2, found(5, 0x8));
    EXPECT_EQ(105, found(6, 0));
    EXPECT_EQ(-2, found(6, 0x1));  // the empty entry decides and counts as not found
    EXPECT_EQ(106, found(-7, 0x10));

    // Types: names compare byte-wise, so letter case makes another type.
    EXPECT_TRUE(c.addTypeText(TypeExtKey("Axis", 0x3), 200));
    EXPECT_FALSE(c.addTypeText(TypeExtKey("Axis", 0x1), 201));
    EXPECT_TRUE(c.addTypeText(TypeExtKey("axis", 0x1), 202));
    EXPECT_TRUE(c.addTypeText(TypeExtKey("Axi", 0x1), 203));
    auto type = [&](const char* name, uint32_t mask) {
        auto it = c.findTypeText(TypeExtKey(name, mask));
        return c.foundTypeText(it) ? it->second : -2;
    };
    EXPECT_EQ(200, type("Axis", 0x2));
    EXPECT_EQ(202, type("axis", 0));
    EXPECT_EQ(203, type("Axi", 1));
    EXPECT_EQ(-2, type("Axis", 0x4));
    EXPECT_EQ(-2, type("Axes", 0x1));
}

TEST(VarComment, TextsComeFromTheModule)
{
    std::string long255(255, 'L');
    auto m = module(" 100 \"Position\"\r\n 101 \"" + long255 + "\"\r\n 102 \"Gr\xC3\xB6\xC3\x9F\x65 \xE2\x82\xAC \xE2\x88\x9E\"\r\n"
                    " 103 \"\"\r\n");
    CBoVarComment c(m.get());
    c.addVarText(VarExtKey(5, 0x3), 100);
    c.addVarText(VarExtKey(6, 0x1), 101);
    c.addVarText(VarExtKey(7, 0x1), 102);
    c.addVarText(VarExtKey(8, 0x1), 999);  // no such string
    c.addVarText(VarExtKey(9, 0x1), 103);  // empty string: the load answers 0
    c.addVarText(VarExtKey(10, 0x1), -1);
    c.addTypeText(TypeExtKey("Axis", 0x1), 100);
    c.addTypeText(TypeExtKey("Drive", 0x1), 998);

    CTraceCapture cap;
    String t;
    EXPECT_TRUE(c.getText(5, 0x1, t));
    EXPECT_EQ("Position", t.stdString());
    EXPECT_EQ(256u, c.textBufferSize());
    EXPECT_TRUE(c.getText(6, 0x1, t));
    EXPECT_EQ(long255, t.stdString());
    EXPECT_EQ(512u, c.textBufferSize());
    EXPECT_TRUE(c.getText(7, 0x1, t));
    EXPECT_EQ("Gr\xF6\xDF" "e \x80 ?", t.stdString());  // code page 1252, '?' for what it lacks
    EXPECT_EQ(512u, c.textBufferSize());                  // the buffer keeps its size
    EXPECT_TRUE(c.getText(String("Axis"), 0x1, t));
    EXPECT_EQ("Position", t.stdString());
    EXPECT_TRUE(cap.lines().empty());

    t = "kept";
    EXPECT_FALSE(c.getText(4, 0x1, t));   // not found: no trace
    EXPECT_FALSE(c.getText(10, 0x1, t));  // negative id: not found
    EXPECT_FALSE(c.getText(String("axis"), 0x1, t));
    EXPECT_FALSE(c.getText(8, 0x1, t));
    EXPECT_FALSE(c.getText(9, 0x1, t));
    EXPECT_FALSE(c.getText(String("Drive"), 0x1, t));
    EXPECT_EQ("kept", t.stdString());
    EXPECT_EQ((std::vector<std::string>{"4 LoadString failed for adr 8", "4 LoadString failed for adr 9",
                                        "4 LoadString failed for type Drive"}),
              messages(cap));
}

TEST(VarComment, WithoutModuleEveryTextFails)
{
    CBoVarComment c(nullptr);
    c.addVarText(VarExtKey(5, 0x1), 100);
    CTraceCapture cap;
    String t;
    EXPECT_FALSE(c.getText(5, 0x1, t));
    EXPECT_FALSE(c.getText(6, 0x1, t));
    EXPECT_FALSE(c.getText(String("Axis"), 0x1, t));
    EXPECT_EQ(std::vector<std::string>(3, "4 m_hResInst is not valid"), messages(cap));
}

TEST(VarComment, SaveWritesBothMapsAndLoadReadsThemBack)
{
    CBoVarComment c(nullptr);
    c.addVarText(VarExtKey(5, 0x3), 100);
    c.addTypeText(TypeExtKey("Axis", 0xFFFFFFFF), 101);
    FsSecClMem s;
    s << "old content that save truncates";
    ASSERT_TRUE(c.save(s));
    EXPECT_EQ("1 5 3 100 \r\n1 4 Axis 4294967295 101 ", sectionText(s));

    CBoVarComment empty(nullptr);
    FsSecClMem e;
    ASSERT_TRUE(empty.save(e));
    EXPECT_EQ("0 \r\n0 ", sectionText(e));

    // Binary mode: raw numbers, only the blank between the key parts.
    FsSecClMem bin;
    bin.setBinary(true);
    ASSERT_TRUE(c.save(bin));
    EXPECT_EQ(std::string("\1\0\0\0\5\0\0\0 \3\0\0\0\x64\0\0\0"
                          "\1\0\0\0\4\0\0\0Axis \xFF\xFF\xFF\xFF\x65\0\0\0",
                          38),
              sectionText(bin));

    // Load: a seeded table of both kinds comes back entry for entry, and a
    // load replaces what the container held.
    CBoVarComment big(nullptr);
    for (int i = 0; i < 50; ++i) {
        big.addVarText(VarExtKey(i * 7919 - 100000, uint32_t(1) << (i % 32)), i - 3);
        big.addTypeText(TypeExtKey(String(std::string("T y\r\n") + std::to_string(i)), uint32_t(i) * 0x01010101u), i);
    }
    FsSecClMem b;
    ASSERT_TRUE(big.save(b));
    b.seek(0, 0);
    CBoVarComment back(nullptr);
    back.addVarText(VarExtKey(1, 1), 1);
    ASSERT_TRUE(back.load(b));
    EXPECT_TRUE(back.varTexts() == big.varTexts());
    ASSERT_EQ(big.typeTexts().size(), back.typeTexts().size());
    auto x = back.typeTexts().begin();
    for (auto& y : big.typeTexts()) {
        EXPECT_EQ(y.first.name.stdString(), x->first.name.stdString());
        EXPECT_EQ(y.first.mask, x->first.mask);
        EXPECT_EQ(y.second, x->second);
        ++x;
    }
    FsSecClMem again;
    ASSERT_TRUE(back.save(again));
    EXPECT_EQ(sectionText(b), sectionText(again));
}

TEST(VarComment, LoadRefusesBinaryAndCutSections)
{
    CBoVarComment c(nullptr);
    c.addVarText(VarExtKey(5, 0x3), 100);
    FsSecClMem bin;
    bin.setBinary(true);
    EXPECT_FALSE(c.load(bin));
    EXPECT_EQ(1u, c.varTexts().size());

    struct Row {
        const char* text;
        bool ok;
        size_t vars, types;
    } rows[] = {
        {"1 5 3 100 \r\n1 4 Axis 4294967295 101 ", true, 1, 1},
        {"1 5 3 100 \r\n1 4 Axis", false, 1, 0},
        {"1 5 3 100 \r\n1 9 Axis 1 1 ", false, 1, 0},   // name longer than the rest
        {"2 5 3 100 \r\n0 ", false, 1, 0},               // count past the entries
        {"2 5 3 100 5 3 101 \r\n0 ", false, 1, 0},      // a repeated key fails the count
        {"", false, 0, 0},
    };
    for (auto& r : rows) {
        FsSecClMem s;
        fillSection(s, r.text, strlen(r.text));
        CBoVarComment d(nullptr);
        EXPECT_EQ(r.ok, d.load(s)) << r.text;
        EXPECT_EQ(r.vars, d.varTexts().size()) << r.text;
        EXPECT_EQ(r.types, d.typeTexts().size()) << r.text;
    }
}

}  // namespace
