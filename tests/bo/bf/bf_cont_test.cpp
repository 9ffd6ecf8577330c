// The boot-function type container: the section "boot" (golden, round
// trips, refused streams), creation and names, addresses. The walks of
// operand names run on compiled models (the boot-function compiler's tests).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "bo/bf/BfBootFktTypCont.h"
#include "bo/bf/BfSymbTable.h"
#include "co/TraceApi.h"
#include "tests/bo/bf/bf_gen.h"
#include "tests/bo/bo/varext_sections.h"

namespace {

using Cont = BfTestCont;

std::string saved(const CBfBootFktTypCont& c, bool binary = false)
{
    FsSecClMem s;
    s.setBinary(binary);
    EXPECT_TRUE(c.saveBfTypCont(s));
    return sectionText(s);
}

bool load(CBfBootFktTypCont& c, const std::string& bytes, bool binary = false)
{
    FsSecClMem s;
    s.setBinary(binary);
    fillSection(s, bytes.data(), bytes.size());
    return c.loadBfTypCont(s);
}

}  // namespace

TEST(BfCont, BootSectionGoldenAndRoundTrips)
{
    Cont c;
    ASSERT_TRUE(c.addFkt(12, goldenBfType().release()));
    EXPECT_TRUE(c.addAdr(2, 0x100));
    EXPECT_TRUE(c.addAdr(3, 0x108));
    EXPECT_FALSE(c.addAdr(3, 0x200));
    EXPECT_EQ("1\r\n12\r\n12 1 b 0 4\r\n1 7\r\n2 1 20 3 0 4294967295 5  \r\n1 20 3 \r\n1 21 1 0 \r\n1 20 1 "
              "\r\n2\r\n2 256 3 264 ",
              saved(c));
    std::ostringstream os;
    c.print(os);
    EXPECT_EQ(0u, os.str().find("Typen  1\nSID(12) b SID(12) ValidRange(0), NameRange(4)\n")) << os.str();
    // Binary: the fuzz seed after its mode byte.
    std::ifstream seed(TV_SOURCE_DIR "/fuzz/corpus/bf_boot/golden.bin", std::ios::binary);
    std::string bin((std::istreambuf_iterator<char>(seed)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bin.substr(1), saved(c, true));

    std::mt19937 rng(3600);
    for (int i = 0; i < 50; ++i) {
        Cont r;
        for (uint32_t k = rng() % 4; k > 0; --k) {
            uint32_t sid = rng() % 500;
            auto t = randomBfType(rng, sid);
            if (r.addFkt(sid, t.get())) t.release();
        }
        for (uint32_t k = rng() % 4; k > 0; --k) r.addAdr(rng() % 9, rng());
        for (bool binary : {false, true}) {
            std::string first = saved(r, binary);
            Cont back;
            ASSERT_TRUE(load(back, first, binary));
            EXPECT_EQ(first, saved(back, binary));
        }
    }
}

TEST(BfCont, RefusedLoadsLeaveItEmpty)
{
    Cont c;
    std::string good = "1\r\n12\r\n12 1 b 0 4\r\n0 \r\n0 \r\n0 \r\n0 \r\n1\r\n2 256 ";
    ASSERT_TRUE(load(c, good));
    EXPECT_EQ(1u, c.types().size());
    EXPECT_EQ(1u, c.addresses().size());

    CTraceCapture cap;
    const std::string bad[] = {
        "2\r\n12\r\n12 1 b 0 4\r\n0 \r\n0 \r\n0 \r\n0 \r\n12\r\n12 1 c 0 4\r\n0 \r\n0 \r\n0 \r\n0 \r\n0\r\n",  // SID twice
        "0\r\n2\r\n2 256 2 264 ",                  // address key twice
        "4294967295\r\n12\r\n12 1 b 0 4\r\n",      // huge count, short section
        "0\r\n4294967295\r\n2 256 ",
        "1\r\n4294967295\r\n1 1 x 0 0\r\n0 \r\n0 \r\n0 \r\n0 \r\n0\r\n",  // null SID
    };
    for (const std::string& b : bad) {
        ASSERT_TRUE(load(c, good));
        EXPECT_FALSE(load(c, b)) << b;
        EXPECT_TRUE(c.types().empty()) << b;
        EXPECT_TRUE(c.addresses().empty()) << b;
    }

    // A stream already in error loads nothing and says so.
    ASSERT_TRUE(load(c, good));
    FsSecClMem s;
    fillSection(s, good.data(), good.size());
    s.setError(FSSEC_EOF);
    cap.clear();
    EXPECT_FALSE(c.loadBfTypCont(s));
    EXPECT_TRUE(c.types().empty());
    ASSERT_EQ(1u, cap.count());
    EXPECT_EQ("streamerror", cap.lines()[0].message);
}

TEST(BfCont, TypesNamesAndAddresses)
{
    Cont c;
    CBfBootFktTyp* a = c.createNewBootFunct("A", 7, 0, 1);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(nullptr, c.createNewBootFunct("A", 8, 0, 2));  // the name exists
    EXPECT_EQ(nullptr, c.createNewBootFunct("B", 7, 0, 2));  // the SID exists
    EXPECT_EQ(nullptr, c.createNewBootFunct("C", ST_INVALID_SID, 0, 2));
    EXPECT_EQ(1u, c.types().size());
    StSymbEntryID sid;
    EXPECT_EQ(a, c.existFkt("A", sid));
    EXPECT_EQ(7u, sid.get());
    EXPECT_EQ(nullptr, c.existFkt("a", sid));
    EXPECT_EQ("A", c.getFktName(7).stdString());
    EXPECT_EQ("", c.getFktName(8).stdString());

    // Types inserted out of SID order: the walk is in SID order, and a name
    // held by two types answers the smaller SID.
    Cont d;
    ASSERT_TRUE(d.addFkt(9, new CBfBootFktTyp("X", nullptr, 9, 0, 0)));
    ASSERT_TRUE(d.addFkt(4, new CBfBootFktTyp("X", nullptr, 4, 0, 1)));
    ASSERT_TRUE(d.addFkt(6, new CBfBootFktTyp("Y", nullptr, 6, 0, 2)));
    EXPECT_EQ(d.findType(4), d.existFkt("X", sid));
    EXPECT_EQ(4u, sid.get());
    EXPECT_EQ("3\r\n4\r\n4 1 X 0 1\r\n0 \r\n0 \r\n0 \r\n0 \r\n6\r\n6 1 Y 0 2\r\n0 \r\n0 \r\n0 \r\n0 \r\n"
              "9\r\n9 1 X 0 0\r\n0 \r\n0 \r\n0 \r\n0 \r\n0\r\n",
              saved(d));

    c.addAdr(5, 0x100);
    c.addAdr(3, 0x100);
    c.addAdr(4, 0x200);
    EXPECT_EQ(3u, c.getLogAdr(0x100));
    EXPECT_EQ(0x7fffffffu, c.getLogAdr(0x300));
    String text;
    EXPECT_FALSE(c.getBfText(1, 0, text));  // no comment container

    c.bad = 1;
    CTraceCapture cap;
    EXPECT_EQ(nullptr, c.createNewBootFunct("D", 9, 0, 2));
    EXPECT_EQ(0x7fffffffu, c.getLogAdr(0x100));
    EXPECT_EQ(2u, cap.count());
    EXPECT_EQ("bad status", cap.lines()[0].message);
}
