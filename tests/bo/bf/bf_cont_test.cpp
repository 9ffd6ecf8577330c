// The boot-function type container: the section "boot" (golden, round
// trips, refused streams), creation and names, addresses, and the walk of
// operand names through nested types.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <tuple>

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

TEST(BfCont, OperandNamesWalkNestedTypes)
{
    CBfSymbTable table;
    Cont c(&table);
    // Type S holds a (of type A at offset 4); type A holds b at offset 2.
    StSymbEntryID sSid, aTypeSid, a, b;
    StRangeID nrS = table.openNameSpace(0), nrA = table.openNameSpace(0);
    table.addEntry("S", 0, 0, ST_KIND_TYPESPEC, sSid);
    table.addEntry("A", 0, 0, ST_KIND_TYPESPEC, aTypeSid);
    StSyBaseSymbEntry* ea = table.addEntry("a", 0, nrS, ST_KIND_VAR, a);
    ea->setTypeID(aTypeSid.get());
    ea->setStorageAddress(4);
    table.addEntry("b", 0, nrA, ST_KIND_VAR, b)->setStorageAddress(2);
    table.addEntry("nowhere", 0, nrA, ST_KIND_VAR, b);  // no address
    table.addEntry("b", 0, nrA + 100, ST_KIND_VAR, b);
    CBfBootFktTyp* s = c.createNewBootFunct("S", sSid, 0, nrS);
    CBfBootFktTyp* at = c.createNewBootFunct("A", aTypeSid, 0, nrA);
    ASSERT_TRUE(s && at);

    struct Row {
        const char* text;
        CBfBootFktTyp* type;
        const char* last;  // name of the last symbol, "" none
        uint32_t offset;
        size_t position;
    } rows[] = {
        {"a.b", at, "b", 5 + 3, 2},
        {".x", s, "", 0, 0},             // not walked
        {"[1]", s, "", 0, 0},
        {"zz", nullptr, "", 0, 0},       // unknown name
        {"a.nowhere", nullptr, "", 0, 0},  // no address
        {"a[3].b", at, "b", 8, 5},       // the index takes no part
        {"a[2147483647].b", s, "a", 5, 0},  // out of range: stop after the bracket
        {"a[x].b", s, "a", 5, 0},
        {"a.b.c", at, "b", 8, 2},       // b has no type of its own
    };
    for (const Row& r : rows) {
        StSymbEntryID last;
        uint32_t offset = 0;
        size_t position = 99;
        CBfBootFktTyp* got = c.getLastType(r.text, s, last, offset, position);
        EXPECT_EQ(r.type, got) << r.text;
        if (!got) continue;
        String* n = last.isValid() ? table.getName(last) : nullptr;
        EXPECT_EQ(r.last, n ? n->stdString() : std::string()) << r.text;
        EXPECT_EQ(r.offset, offset) << r.text;
        EXPECT_EQ(r.position, position) << r.text;
    }
}

TEST(BfCont, OperandsOfNestedBootFunctionTypes)
{
    CBfSymbTable t;
    Cont c(&t);
    // struct S {p: INT; q: DINT}; struct O {s: S}; globals inst: S at 100, o: O at 200.
    auto declareStruct = [&](const char* name, std::vector<std::pair<const char*, StSymbEntryID>> members,
                             StTypeID& tid, StRangeID& ns) {
        ns = t.openNameSpace(0);
        StSymbEntryIDList list;
        for (auto& m : members) {
            StSymbEntryID sid;
            t.declareSymbol(sid, m.first, 0, ns, 1, 0, false, true);
            StSyBaseSymbEntry* e = t.findEntry(sid);
            e->setTypeID(m.second.isValid() ? t.findEntry(m.second)->getTypeID() : ST_INVALID_TID);
            if (m.second.isValid()) e->setTypeRefSID(m.second);
            list.push_back(sid);
        }
        StSymbEntryID sid, parent;
        t.declareStructType(sid, name, 0, 0, &list, ns, parent, 0, 0, false, false, true);
        tid = t.findEntry(sid)->getTypeID();
        return sid;
    };
    StSymbEntryID intDecl, dintDecl;
    t.addEntry("I", 0, 0, ST_KIND_TYPESPEC, intDecl)->setTypeID(ST_INT);
    t.addEntry("D", 0, 0, ST_KIND_TYPESPEC, dintDecl)->setTypeID(ST_DINT);
    StTypeID sTid, oTid;
    StRangeID sNs, oNs;
    StSymbEntryID sDecl = declareStruct("S", {{"p", intDecl}, {"q", dintDecl}}, sTid, sNs);
    StSymbEntryID oDecl = declareStruct("O", {{"s", sDecl}}, oTid, oNs);
    ASSERT_NE(nullptr, c.createNewBootFunct("S", StSymbEntryID(sTid), 0, sNs));
    ASSERT_NE(nullptr, c.createNewBootFunct("O", StSymbEntryID(oTid), 0, oNs));
    for (auto g : std::vector<std::tuple<const char*, StSymbEntryID, int32_t>>{{"inst", sDecl, 100}, {"o", oDecl, 200}}) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = t.addEntry(std::get<0>(g), 0, 0, ST_KIND_VAR, sid);
        e->setTypeID(t.findEntry(std::get<1>(g))->getTypeID());
        e->setTypeRefSID(std::get<1>(g));
        e->setStorageAddress(std::get<2>(g));
    }
    auto name = [&](StSymbEntryID sid) { return t.getName(sid) ? t.getName(sid)->stdString() : std::string("?"); };

    struct Row {
        const char* text;
        const char* symbol;
        uint32_t pairOffset;
        int32_t fixOff;
    } rows[] = {
        {"inst", "inst", 0, 100},
        {"inst.q", "q", 5, 100},  // q aligned at 4: address 5
        {"o.s.q", "q", 1 + 5, 200},
    };
    for (const Row& r : rows) {
        std::unique_ptr<StASMBfOperand> op(c.getOperand(r.text));
        ASSERT_NE(nullptr, op) << r.text;
        EXPECT_EQ(r.symbol, name(op->getSID())) << r.text;
        EXPECT_EQ(r.symbol, name(op->getSidOffset().first)) << r.text;
        EXPECT_EQ(r.pairOffset, op->getSidOffset().second) << r.text;
        EXPECT_EQ(r.fixOff, op->getFixOff()) << r.text;
    }
    EXPECT_EQ(nullptr, c.getOperand("zz"));
    EXPECT_EQ(nullptr, c.getOperand("inst.zz"));

    std::list<StASMBfOperand*> subs;
    std::unique_ptr<StASMBfOperand> o(c.getOperand("o"));
    ASSERT_EQ(0u, c.getSubOperands(o.get(), subs));
    ASSERT_EQ(1u, subs.size());
    EXPECT_EQ("s", name(subs.front()->getSID()));
    EXPECT_EQ(1u, subs.front()->getSidOffset().second);  // a boot-function type: its address in O
    std::list<StASMBfOperand*> members;
    EXPECT_EQ(0u, c.getSubOperands(subs.front(), members));
    EXPECT_EQ(2u, members.size());
    std::unique_ptr<StASMBfOperand> q(c.getOperand("inst.q"));
    std::list<StASMBfOperand*> none;
    CTraceCapture cap;
    EXPECT_EQ(0xFFFFu, c.getSubOperands(q.get(), none));  // DINT: no boot-function type
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(0u, c.getSubOperands(nullptr, none));
    for (auto* p : subs) delete p;
    for (auto* p : members) delete p;
}
