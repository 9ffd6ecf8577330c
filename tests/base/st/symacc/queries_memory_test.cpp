// Memory queries: system variables by block, segment ends, arranged frames
// (random frames: no overlap, aligned, retain kept apart, stable) and
// memory maps of segments.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"
#include "tests/base/fs/test_dsc_util.h"

namespace {

using dsctest::attachMem;

// Gives the block a member scope (into vr and nr) with its segment sizes.
void giveFrame(SyStSymbTable& t, StSyBaseSymbEntry* block, int32_t retain, int32_t size, StRangeID& vr,
               StRangeID& nr)
{
    vr = t.openValidityRange(t.getGlobalVR());
    nr = t.openNameSpace(t.getGlobalNR());
    StFrameProperties* f = block->getFrameProperties();
    f->membVRange = vr;
    f->membNRange = nr;
    f->retainSize = retain;
    f->frameSize = size;
}

TEST(SymbolQueries, MemoryBySysVarsAndSegments)
{
    SyStSymbTable t;
    t.setSysVarIdMode(true, false);
    const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
    auto sysVar = [&](const char* name, uint32_t address, StTypeID tid) {
        StSymbEntryID sid = t.sysVarIdFromAddress(address);
        StSyBaseSymbEntry* e = t.addEntry(name, vr, nr, ST_KIND_SYSVAR, sid);
        e->setStorageAddress(int32_t(address));
        e->setTypeID(tid);
    };
    sysVar("a", 0x50000, t.types()->createArrayType(ST_INT, 0, 3));
    sysVar("c", 0x70000, ST_DINT);
    EXPECT_TRUE(t.isSysVarAdr(0x50000));
    EXPECT_FALSE(t.isSysVarAdr(0x50002));
    EXPECT_EQ(0x50001u, t.getSysVarStartInBlock(0x50010));  // an array: plus 1
    EXPECT_EQ(0x70000u, t.getSysVarStartInBlock(0x7FFFF));
    EXPECT_EQ(0u, t.getSysVarStartInBlock(0x60000));  // only a, below the block

    // Segment end of the interface variables.
    EXPECT_EQ(0x7FFFFFFFu, t.getSegmentEnd());
    const StSymbEntryID i1 = t.addInterfaceVar("i1", vr, nr, -1, false);
    const StSymbEntryID i2 = t.addInterfaceVar("i2", vr, nr, -1, true);
    t.findEntry(i1)->setTypeID(ST_DINT);
    t.findEntry(i2)->setTypeID(ST_INT);
    t.findEntry(i1)->setStorageAddress(0x900);
    t.findEntry(i2)->setStorageAddress(0x10);
    EXPECT_EQ(0x904u, t.getSegmentEnd());

    // Memory map of the interface segment: address order, a second claim
    // of an address reported and left out.
    const StSymbEntryID i3 = t.addInterfaceVar("i3", vr, nr, -1, false);
    t.findEntry(i3)->setTypeID(ST_DINT);
    t.findEntry(i3)->setStorageAddress(0x900);
    std::vector<OperandEntry> map;
    std::ostringstream trace;
    EXPECT_EQ(2, t.getMemMappingOfSegment(ST_SEG_INTERFACE, 0, 0x1000, map, &trace));
    ASSERT_EQ(2u, map.size());
    EXPECT_EQ("i2", map[0].name.stdString());
    EXPECT_EQ(0x10u, map[0].address);
    EXPECT_EQ("i1", map[1].name.stdString());
    EXPECT_EQ(0x1000u + t.findTypeNode(ST_DINT)->elemCode(), map[1].typeSpec);
    EXPECT_EQ(VT_I4, map[1].value.vt);
    EXPECT_EQ("address 2304 of symbol i3 (i1) is already in map\nSegStart 0  SegSize 4096, Entries 2\n",
              trace.str());

    // An operand's record carries the operand's own address.
    StASMUserOperand op(i1, ST_INT, 0, 2, 1, ST_INVALID_SID);
    OperandEntry rec;
    ASSERT_TRUE(t.getMemMappingOfOperand(&op, rec));
    EXPECT_EQ("i1", rec.name.stdString());
    EXPECT_EQ(t.getOperandAddress(&op), rec.address);
    EXPECT_FALSE(t.getMemMappingOfOperand(nullptr, rec));

    // Plan interface: arranged in 4096 bytes, retain in the first half.
    t.findEntry(i3)->setStorageAddress(ST_NO_ADDRESS);
    t.findEntry(i2)->setStorageAddress(ST_NO_ADDRESS);
    ASSERT_EQ(0u, t.arrangePlanInterfMemory());
    EXPECT_LT(uint32_t(t.findEntry(i2)->getStorageAddress()), 2048u);
    EXPECT_EQ(0x900, t.findEntry(i1)->getStorageAddress());  // fixed
    EXPECT_EQ(2048, t.findEntry(i3)->getStorageAddress());
}

// A frame of random variables, some fixed, some retain.
TEST(SymbolQueries, ArrangedFramesOnRandomLayouts)
{
    std::mt19937 rng(18);
    const StTypeID types[] = {ST_SINT, ST_INT, ST_DINT, ST_LREAL, ST_BOOL};
    for (int round = 0; round < 40; ++round) {
        SyStSymbTable t;
        const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
        StSymbEntryID fb;
        StSyBaseSymbEntry* fe = t.addEntry("FB", vr, nr, ST_KIND_FUNCBLOCK, fb);
        StRangeID fvr, fnr;
        giveFrame(t, fe, 64, 512, fvr, fnr);
        std::vector<StSymbEntryID> vars;
        for (int i = 0, n = int(rng() % 12) + 1; i < n; ++i) {
            StSymbEntryID sid;
            const bool retain = rng() % 3 == 0;
            StSyBaseSymbEntry* e = t.addEntry(("v" + std::to_string(i)).c_str(), fvr, fnr,
                                              retain ? ST_KIND_GLOBVAR : ST_KIND_VAR, sid);
            e->setTypeID(types[rng() % 5]);
            if (retain) e->setRemanent(true);
            // Fixed non-retain variables only at 256 and 384.
            if (!retain && i < 2) e->setStorageAddress(256 + 128 * i);
            vars.push_back(sid);
        }
        ASSERT_EQ(0u, t.arrangeFrameVariables(fb)) << round;
        std::vector<int32_t> first;
        for (size_t i = 0; i < vars.size(); ++i) {
            const StSyBaseSymbEntry* e = t.findEntry(vars[i]);
            const int64_t a = e->getStorageAddress(), size = t.getTypeSize(e->getTypeID(), false);
            ASSERT_NE(ST_NO_ADDRESS, a);
            EXPECT_EQ(0, a % t.findTypeNode(e->getTypeID())->alignment());
            EXPECT_EQ(e->isRemanent(), a + size <= 64) << round << " " << i;
            for (size_t j = 0; j < i; ++j) {
                const StSyBaseSymbEntry* o = t.findEntry(vars[j]);
                const int64_t b = o->getStorageAddress(), osize = t.getTypeSize(o->getTypeID(), false);
                EXPECT_TRUE(a + size <= b || b + osize <= a) << round << ": " << i << " meets " << j;
            }
            first.push_back(int32_t(a));
        }
        ASSERT_EQ(0u, t.arrangeFrameVariables(fb));
        for (size_t i = 0; i < vars.size(); ++i) EXPECT_EQ(first[i], t.findEntry(vars[i])->getStorageAddress());
    }
}

TEST(SymbolQueries, ArrangedFrameRefusals)
{
    SyStSymbTable t;
    const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
    StSymbEntryID fb, a, b, x;
    StSyBaseSymbEntry* fe = t.addEntry("FB", vr, nr, ST_KIND_FUNCBLOCK, fb);
    t.addEntry("x", vr, nr, ST_KIND_VAR, x);
    std::ostringstream trace;
    EXPECT_EQ(1u, t.arrangeFrameVariables(x, &trace));
    EXPECT_EQ(1u, t.arrangeFrameVariables(StSymbEntryID(0x7777), &trace));
    char invalid[80];
    std::snprintf(invalid, sizeof invalid, "tab(Status = 0) / frameid( = %d) invalid", 0x7777);
    EXPECT_EQ("error getting frame props\n" + std::string(invalid) + "\n", trace.str());

    StRangeID fvr, fnr;
    giveFrame(t, fe, 8, 12, fvr, fnr);
    t.addEntry("a", fvr, fnr, ST_KIND_VAR, a)->setTypeID(ST_DINT);
    StSyBaseSymbEntry* be = t.addEntry("b", fvr, fnr, ST_KIND_VAR, b);
    be->setTypeID(ST_DINT);
    trace.str("");
    EXPECT_EQ(2u, t.arrangeFrameVariables(fb, &trace));  // one slot of 4 bytes for two
    EXPECT_EQ("no space in segment\n", trace.str());
    EXPECT_EQ(ST_NO_ADDRESS, t.findEntry(a)->getStorageAddress());  // nothing changed
    be->setStorageAddress(4);
    trace.str("");
    EXPECT_EQ(3u, t.arrangeFrameVariables(fb, &trace));
    EXPECT_EQ("Non-retain variable with fixed addr in retain segment found :b\n", trace.str());
}

// The initial values of an arranged frame of interface variables, read
// back from the data section.
TEST(SymbolQueries, DataSectionOfArrangedVariables)
{
    SyStSymbTable t;
    const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
    auto constant = [&](StTypeID tid, int32_t v) {
        StConstantVal* c = new StStdConstantVal(tid, false);
        static_cast<StStdConstantVal*>(c)->SetLongVal(v);
        return t.constants()->addConstantVal(c);
    };
    const StSymbEntryID a = t.addInterfaceVar("a", vr, nr, -1, false);
    const StSymbEntryID b = t.addInterfaceVar("b", vr, nr, -1, false);
    const StSymbEntryID c = t.addInterfaceVar("c", vr, nr, -1, true);
    t.findEntry(a)->setTypeID(ST_DINT);
    t.findEntry(a)->setInitCID(constant(ST_DINT, -7));
    t.findEntry(b)->setTypeID(ST_INT);
    t.findEntry(b)->setInitCID(constant(ST_INT, 0));
    t.findEntry(c)->setTypeID(ST_DINT);
    t.findEntry(c)->setInitCID(constant(ST_DINT, 12));

    FsSecData unarranged;
    attachMem(unarranged);
    std::ostringstream trace;
    EXPECT_EQ(2u, t.writeDataSection(unarranged, 0, true, &trace));
    EXPECT_EQ("Section not arranged\n", trace.str());

    ASSERT_EQ(0u, t.arrangePlanInterfMemory());
    FsSecData strict;
    attachMem(strict);
    EXPECT_EQ(3u, t.writeDataSection(strict, 0, false));  // -7 is no default

    FsSecData sec;
    attachMem(sec);
    trace.str("");
    ASSERT_EQ(0u, t.writeDataSection(sec, 0x100, true, &trace));
    EXPECT_EQ("3 Initial Values written\n", trace.str());
    sec.reset();
    std::vector<FsDataValue> back;
    uint32_t total = 0;
    ASSERT_TRUE(sec.readValues(back, total));
    std::map<int32_t, int32_t> byAddress;
    for (const FsDataValue& v : back) EXPECT_TRUE(byAddress.emplace(v.address, v.getLong()).second);
    EXPECT_EQ(-7, byAddress[t.findEntry(a)->getStorageAddress() + 0x100]);
    EXPECT_EQ(12, byAddress[t.findEntry(c)->getStorageAddress() + 0x100]);
    EXPECT_LE(back.size(), 3u);  // a written zero may be left out
}

}  // namespace
