// The boot-function model: the stream form of a type (goldens, round trips,
// the reader's edge cases), the symbol and sub-function records, addresses
// and the prints.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "bo/bf/BfBootFktTyp.h"
#include "bo/bf/BfSymbTable.h"
#include "co/TraceApi.h"
#include "tests/bo/bf/bf_gen.h"
#include "tests/bo/bo/varext_sections.h"

namespace {

std::string saved(const CBfBootFktTyp& t, bool binary = false)
{
    FsSecClMem s;
    s.setBinary(binary);
    EXPECT_TRUE(t.saveBfTyp(s));
    return sectionText(s);
}

bool load(CBfBootFktTyp& t, const std::string& text, uint32_t& error)
{
    FsSecClMem s;
    fillSection(s, text.data(), text.size());
    bool ok = t.loadBfTyp(s);
    error = s.getError();
    return ok;
}

}  // namespace

TEST(BfModel, Goldens)
{
    EXPECT_EQ("5 2 BF 0 3\r\n0 \r\n0 \r\n0 \r\n0 ", saved(CBfBootFktTyp("BF", nullptr, 5, 0, 3)));
    EXPECT_EQ("12 1 b 0 4\r\n1 7\r\n2 1 20 3 0 4294967295 5  \r\n1 20 3 \r\n1 21 1 0 \r\n1 20 1 ", saved(*goldenBfType()));
    // Binary: the same numbers at their widths, no separators.
    std::string bin = saved(*goldenBfType(), true);
    EXPECT_EQ((4u + 5 + 4 + 4) + (4 + 2 + 4 + 2 * 12) + (4 + 8) + (4 + 4 + 2) + (4 + 8), bin.size());

    std::ostringstream os;
    goldenBfType()->print(os);
    EXPECT_EQ("b SID(12) ValidRange(0), NameRange(4)\n"
              "  1 SubFkt:  {21U}\n"
              "  1 Symbole: {SID(20) CID(3) ATR(A)}\n"
              "  1 Tel's:  {CS(7) S - SID(20) CID(3)C - CID(5)}",
              os.str());
    EXPECT_EQ(4, os.precision());
}

TEST(BfModel, AttributePrints)
{
    struct Row {
        uint32_t access;
        bool u, r;
        const char *var, *fkt;
    } rows[] = {{0, true, true, "NA", "U/R"}, {1, true, false, "A", "U"}, {2, false, true, "AWR", "R"},
                {3, false, false, "???", "???"}};
    for (auto& r : rows) {
        std::ostringstream v, f;
        CVarAttrib(r.access).print(v);
        CFktAttrib(r.u, r.r).print(f);
        EXPECT_EQ(r.var, v.str());
        EXPECT_EQ(r.fkt, f.str());
    }
}

TEST(BfModel, SeededRoundTripsAreByteIdentical)
{
    std::mt19937 rng(36);
    for (int i = 0; i < 200; ++i) {
        auto t = randomBfType(rng, rng() % 1000);
        for (bool binary : {false, true}) {
            std::string first = saved(*t, binary);
            FsSecClMem s;
            s.setBinary(binary);
            fillSection(s, first.data(), first.size());
            CBfBootFktTyp back("", nullptr, ST_INVALID_SID, ST_INVALID_VR, ST_INVALID_NR);
            ASSERT_TRUE(back.loadBfTyp(s)) << first;
            EXPECT_EQ(first, saved(back, binary));
        }
    }
}

TEST(BfModel, ReaderEdgeCases)
{
    CBfBootFktTyp t("", nullptr, ST_INVALID_SID, 0, 0);
    uint32_t error = 0;

    // A sub-function listed twice: one entry and error 18; the same for an attribute.
    EXPECT_FALSE(load(t, "1 1 x 0 0\r\n0 \r\n0 \r\n2 4 1 0 4 0 1 \r\n0 ", error));
    EXPECT_EQ(18u, error);
    EXPECT_EQ(1u, t.subFkts.size());
    EXPECT_TRUE(t.isSubFktU(4));
    EXPECT_FALSE(load(t, "1 1 x 0 0\r\n0 \r\n0 \r\n0 \r\n2 4 1 4 2 ", error));
    EXPECT_EQ(18u, error);
    EXPECT_EQ(1u, t.varAttribs.at(4).access);

    // Keys in any order are saved in key order; symbols of one SID keep
    // the order they were read in.
    EXPECT_TRUE(load(t, "1 1 x 0 0\r\n0 \r\n3 9 1 3 2 9 0 \r\n2 8 1 0 2 0 1 \r\n2 6 1 5 2 ", error));
    EXPECT_EQ("1 1 x 0 0\r\n0 \r\n3 3 2 9 1 9 0 \r\n2 2 0 1 8 1 0 \r\n2 5 2 6 1 ", saved(t));

    // Token kinds other than 0 and 1 become a symbol token without SID;
    // access values other than 1 and 2 become 0.
    EXPECT_TRUE(load(t, "1 1 x 0 0\r\n1 9\r\n1 7 33 44  \r\n0 \r\n0 \r\n2 4 5 6 -1 ", error));
    ASSERT_EQ(1u, t.sets.size());
    EXPECT_EQ(1u, t.sets[0].tokens[0].kind);
    EXPECT_EQ(ST_INVALID_SID, t.sets[0].tokens[0].SID);
    EXPECT_EQ(44u, t.sets[0].tokens[0].CID.get());
    EXPECT_EQ(0u, t.varAttribs.at(4).access);
    EXPECT_EQ(0u, t.varAttribs.at(6).access);

    // A huge count in a short section ends at the end, with an error.
    CTraceCapture cap;
    EXPECT_FALSE(load(t, "1 1 x 0 0\r\n4294967295 1\r\n0 ", error));
    EXPECT_NE(0u, error);
    EXPECT_EQ(1u, cap.count());  // "streamerror"

    // 16000 sets and more are still read in full.
    CBfBootFktTyp many("m", nullptr, 1, 0, 0);
    for (int i = 0; i < 16001; ++i) many.newBootSet()->cs = uint16_t(i);
    std::string text = saved(many);
    EXPECT_TRUE(load(t, text, error));
    EXPECT_EQ(16001u, t.sets.size());
    EXPECT_EQ(16000u, t.sets.back().cs);
}

TEST(BfModel, SaveRefusesAReadOnlyStream)
{
    IStream* st = nullptr;
    ASSERT_EQ(S_OK, FsSecClMem::CreateStream(&st));
    FsSecCl closed;
    closed.attach(st, 0);  // read-only
    st->Release();
    CTraceCapture cap;
    EXPECT_FALSE(CBfBootFktTyp("x", nullptr, 1, 0, 0).saveBfTyp(closed));
    ASSERT_EQ(1u, cap.count());
    EXPECT_EQ("file is readonly", cap.lines()[0].message);
}

TEST(BfModel, SymbolsSubFunctionsAndAddresses)
{
    CBfSymbTable table;
    StSymbEntryID x, y, f, other;
    table.addEntry("x", 2, 3, ST_KIND_VAR, x)->setInitCID(7);
    table.addEntry("y", 2, 3, ST_KIND_VAR, y)->setStorageAddress(8);
    table.addEntry("fkt", 0, 0, ST_KIND_VAR, f)->setStorageAddress(16);
    table.addEntry("o", 0, 0, ST_KIND_VAR, other)->setStorageAddress(4);
    CBfBootFktTyp t("T", &table, 100, 2, 3);

    CTraceCapture cap;
    t.addSymbol(x, CVarAttrib(1));  // no set yet: traced, nothing recorded
    EXPECT_EQ(1u, cap.count());
    EXPECT_TRUE(t.symbols.empty());

    t.newBootSet();
    t.addSymbol(x, CVarAttrib(1));
    t.addSymbol(x, CVarAttrib(2));
    ASSERT_EQ(2u, t.sets[0].tokens.size());
    EXPECT_EQ(7u, t.sets[0].tokens[1].CID.get());
    EXPECT_EQ(1u, t.symbols.size());
    EXPECT_EQ(1u, t.varAttribs.at(x).access);

    EXPECT_TRUE(t.addSubFkt(f, CFktAttrib(false, true)));
    EXPECT_FALSE(t.addSubFkt(f, CFktAttrib(true, true)));
    EXPECT_TRUE(t.isSubFktR(f));
    EXPECT_FALSE(t.isSubFktU(f));
    EXPECT_FALSE(t.isSubFktR(x));
    StSymbEntryID found;
    EXPECT_TRUE(t.findSubFkt("fkt", found));
    EXPECT_EQ(f, found);
    EXPECT_FALSE(t.findSubFkt("Fkt", found));
    EXPECT_EQ(ST_INVALID_SID, found);

    cap.clear();
    EXPECT_EQ(9u, t.getAdr(y));       // offset + 1
    EXPECT_EQ(17u, t.getAdr(f));      // a sub-function may lie outside the scope
    EXPECT_EQ(0x7fffffffu, t.getAdr(other));  // outside the scope
    EXPECT_EQ(0x7fffffffu, t.getAdr(x));      // no offset
    EXPECT_EQ(0x7fffffffu, t.getAdr(12345));  // unknown
    EXPECT_EQ(3u, cap.count());
}
