// Compile-side memory layout: POU frames (limit, alignment, no overlap,
// initialised part), global symbol lists (24-bit limit, 64-K symbol,
// direct variables, preset addresses) and the structure size check.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpSymbTable.h"

namespace {

class LayoutTable : public CpSymbTable {
public:
    LayoutTable()
        : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, 0, 0), CpSymbTable(0, 0)
    {
    }
    StSymbEntryID var(const char* name, StRangeID vr, StRangeID nr, StTypeID tid, uint32_t varClass = 1)
    {
        StSymbEntryID sid;
        declareSymbol(sid, name, vr, nr, varClass, 0, true, true);
        if (sid.isValid()) findEntry(sid)->setTypeID(tid);
        return sid;
    }
    StSymbEntryID global(const char* name, StTypeID tid)
    {
        StSymbEntryID sid;
        declareGlobalVariable(sid, name, 0, 0, 1, ST_INVALID_SID, 0, false, true, true);
        if (sid.isValid()) findEntry(sid)->setTypeID(tid);
        return sid;
    }
};

TEST(CpSymbLayout, FramePastTheLimitFails)
{
    LayoutTable t;
    StSymbEntryID pou;
    t.declarePOU(pou, "F", 0, 0, 7, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    t.var("big", 7, 0, t.types()->createArrayType(ST_BYTE, 0, 0xEFFFFF - 16));  // ends at 0xF00000
    StSymbEntryIDVect list;
    EXPECT_FALSE(t.layoutFrame(pou, list));
    EXPECT_EQ(16, t.findEntry(pou)->getFrameProperties()->frameSize);

    LayoutTable fits;
    fits.declarePOU(pou, "F", 0, 0, 7, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    fits.var("big", 7, 0, fits.types()->createArrayType(ST_BYTE, 0, 0xEFFFFE - 16));
    EXPECT_TRUE(fits.layoutFrame(pou, list));
    EXPECT_EQ(0xEFFFFF, fits.findEntry(pou)->getFrameProperties()->frameSize);
}

// Random frames: by-reference members, temporaries, preset addresses.
TEST(CpSymbLayout, RandomFramesHaveNoOverlapAndAlignedEntries)
{
    std::mt19937 rng(37);
    const StTypeID pool[] = {ST_BOOL, ST_INT, ST_DINT, ST_LREAL, ST_BYTE, ST_LINT};
    for (int round = 0; round < 30; ++round) {
        LayoutTable t;
        StSymbEntryID pou;
        t.declarePOU(pou, "P", 0, 0, 9, ST_KIND_PROGRAM, ST_INVALID_SID, 0, true, true);
        const int n = 1 + int(rng() % 12);
        for (int i = 0; i < n; ++i) {
            const std::string name = "v" + std::to_string(i);
            const StTypeID tid = pool[rng() % 6];
            StSymbEntryID sid = t.var(name.c_str(), 9, 0, tid, (rng() % 4 == 0) ? 4 : 1);  // class 4: by reference
            if (rng() % 5 == 0) t.findEntry(sid)->setInitCID(StConstEntryID(1));
        }
        StSymbEntryID temp;
        t.addEntry("tmp", 9, 0, ST_KIND_TEMP, temp)->setTypeID(ST_DINT);
        StSymbEntryIDVect list;
        ASSERT_TRUE(t.layoutFrame(pou, list));
        const StFrameProperties* f = t.findEntry(pou)->getFrameProperties();
        std::vector<std::pair<int64_t, int64_t>> spans;
        for (const auto& [sid, e] : t.entries()->entries()) {
            if (e->getVR() != 9 || !e->hasAddress()) continue;
            const StTypeID tid = e->isFirstFlagTaskVar() ? StTypeID(ST_MEMADR) : e->getTypeID();
            const int64_t at = e->getStorageAddress();
            EXPECT_EQ(0, at % std::max<int64_t>(1, t.types()->getAlignment(tid)));
            EXPECT_GE(at, 16);
            spans.push_back({at, at + t.types()->getSize(tid)});
        }
        std::sort(spans.begin(), spans.end());
        for (size_t i = 1; i < spans.size(); ++i) EXPECT_LE(spans[i - 1].second, spans[i].first);
        EXPECT_LE(f->retainSize, f->frameSize);
        EXPECT_EQ(spans.back().second, f->frameSize);
        EXPECT_EQ(size_t(n + 1), list.size());
    }
}

TEST(CpSymbLayout, GlobalLists)
{
    LayoutTable t;
    const StTypeID big = t.types()->createArrayType(ST_BYTE, 0, 0x8FFFFF);
    const StTypeID mid = t.types()->createArrayType(ST_BYTE, 0, 0x8FFF);
    StSymbEntryID direct;
    t.declareDirectVariable(direct, "d", 0, 0, ST_INT, ST_INVALID_SID, 0x10, true, true);
    const StSymbEntryID a = t.global("a", mid), b = t.global("b", mid), c = t.global("c", big),
                        d = t.global("d2", big);
    StSymbEntryID k64, failing;
    uint32_t offset = 0;
    EXPECT_FALSE(t.layoutSymbols({direct, a, b, c, d}, 0, offset, k64, failing));
    EXPECT_EQ(d, failing);   // 0x12000 + 2 x 0x900000 passes 0xFFFFFF
    EXPECT_EQ(b, k64);       // b ends at 0x12000
    EXPECT_EQ(0x912000u, offset);
    EXPECT_EQ(0x9000, t.findEntry(b)->getStorageAddress());

    LayoutTable u;
    const StSymbEntryID x = u.global("x", ST_INT), y = u.global("y", ST_INT);
    u.findEntry(x)->setStorageAddress(4);
    offset = 0;
    k64 = ST_INVALID_SID;
    EXPECT_FALSE(u.layoutSymbols({y, x}, 0, offset, k64, failing));
    EXPECT_EQ(x, failing);  // a symbol with an address ends the walk
    EXPECT_TRUE(k64.isInvalid());
}

TEST(CpSymbLayout, StructureSizeCheck)
{
    LayoutTable t;
    const StTypeID big = t.types()->createArrayType(ST_BYTE, 0, 0x7FFFFF);
    const StSymbEntryID m1 = t.var("m1", 0, 0, big), m2 = t.var("m2", 0, 0, big), m3 = t.var("m3", 0, 0, ST_BOOL);
    EXPECT_TRUE(t.checkStructLayout({m1, m3}));
    EXPECT_FALSE(t.checkStructLayout({m1, m2, m3}));  // 0x1000001 bytes
}

} // namespace

namespace {

TEST(CpSymbLayout, ReferenceOperandsOfArraysOfStructures)
{
    LayoutTable t;
    StSymbEntryID fn;
    t.declarePOU(fn, "F", 0, 0, 5, ST_KIND_FUNC, ST_INVALID_SID, 0, true, true);
    const StTypeID str = t.getStringTypeID(10);
    StSyTypeTable* types = t.types();
    const int32_t strAt = 4;  // behind the DINT; STRING aligns to 1 or 2
    const StTypeID st = types->createStructType({ST_DINT, str}, 4, 4 + types->getSize(str));
    const StTypeID arr = types->createArrayType(st, 1, 3);
    const StSymbEntryID v = t.var("v", 5, 0, arr);
    t.findEntry(v)->setInitCID(StConstEntryID(0));
    t.var("plain", 5, 0, ST_DINT);

    std::vector<std::unique_ptr<StASMUserOperand>> got;
    ASSERT_TRUE(t.forEachReferenceOperand(fn, [&](StASMUserOperand* op) { got.emplace_back(op); }));
    ASSERT_EQ(3u, got.size());
    const int32_t align = std::max<int32_t>(1, int32_t(types->getAlignment(st)));
    const int32_t elemSize = (types->getSize(st) + align - 1) / align * align;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(v, got[i]->getSID());
        EXPECT_EQ(str, got[i]->getTID());
        EXPECT_EQ(strAt + int32_t(i) * elemSize, got[i]->getFixOff()) << i;
    }

    // A structure that holds itself ends the walk with false.
    const StTypeID cyc = types->createStructType({ST_ANYOBJECT}, 4, 8);
    types->findNode(cyc)->post() = {ST_ANYOBJECT, cyc};
    const StSymbEntryID c = t.var("c", 5, 0, cyc);
    t.findEntry(c)->setInitCID(StConstEntryID(0));
    EXPECT_FALSE(t.forEachReferenceOperand(fn, [&](StASMUserOperand* op) { delete op; }));
}

} // namespace

namespace {

TEST(CpSymbLayout, ReferenceMapRecordsObjectsAddressesAndStrings)
{
    LayoutTable t;
    StSymbEntryID fb, owner;
    t.declarePOU(fb, "FB", 0, 0, 5, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    t.declareSymbol(owner, "T", 0, 0, 1, 0, true, true);
    StSyTypeTable* types = t.types();
    const StTypeID str = t.getStringTypeID(4);
    const StTypeID st = types->createStructType({ST_ANYOBJECT, ST_DINT, ST_MEMADR, str}, 4, 0);
    const StSymbEntryID v = t.var("v", 5, 0, st);
    t.findEntry(v)->setStorageAddress(0x20);
    t.findEntry(v)->setTypeRefSID(owner);
    const StSymbEntryID plain = t.var("p", 5, 0, ST_DINT);
    t.findEntry(plain)->setStorageAddress(0x80);

    std::vector<CpSymbTable::ReferenceRecord> map;
    ASSERT_TRUE(t.buildReferenceMap(fb, ST_SEG_FRAME, &map, 0));
    const int64_t objSize = types->getSize(ST_ANYOBJECT);
    const int64_t afterDint = [&] {
        int64_t at = objSize;
        const int64_t a = std::max<int64_t>(1, types->getAlignment(ST_MEMADR));
        at = (at + types->getSize(ST_DINT) + a - 1) / a * a;
        return at;
    }();
    ASSERT_EQ(3u, map.size());
    EXPECT_EQ((CpSymbTable::ReferenceRecord{ST_ANYOBJECT, 0x20, owner}), map[0]);
    EXPECT_EQ(StTypeID(ST_MEMADR), map[1].tid);
    EXPECT_EQ(uint32_t(0x20 + afterDint), map[1].address);
    EXPECT_EQ(str, map[2].tid);
    EXPECT_GT(map[2].address, map[1].address);

    EXPECT_FALSE(t.buildReferenceMap(StSymbEntryID(99999), ST_SEG_FRAME, &map, 0));
}

} // namespace

namespace {

TEST(CpSymbLayout, FinishPOUTypeMakesTheParameterStructure)
{
    LayoutTable t;
    StSymbEntryID fb;
    t.declarePOU(fb, "FB", 0, 0, 5, ST_KIND_FUNCBLOCK, ST_INVALID_SID, 0, true, true);
    t.findEntry(fb)->getFrameProperties()->flags |= 0x10000;
    const StSymbEntryID in = t.var("in", 5, 0, ST_INT, 2), out = t.var("out", 5, 0, ST_DINT, 3);
    const StSymbEntryID local = t.var("local", 5, 0, ST_LREAL, 1);
    StSymbEntryIDVect list;
    ASSERT_TRUE(t.finishPOUType(fb, nullptr, list));
    EXPECT_GE(t.findEntry(local)->getStorageAddress(),
              t.findEntry(out)->getStorageAddress() + t.types()->getSize(ST_DINT));  // no overlap
    const StSyBaseTypeNode* n = t.findTypeNode(t.getTypeID(fb));
    ASSERT_NE(nullptr, n);
    EXPECT_EQ((StTypeIDList{ST_MEMADR, ST_INT, ST_DINT}), n->post());
    EXPECT_GE(n->alignment(), 8u);
    EXPECT_EQ(2u, t.findEntry(fb)->getFrameProperties()->flags & 2);
    const int32_t memadr = t.types()->getSize(ST_MEMADR);
    EXPECT_EQ(memadr, t.findEntry(in)->getStorageAddress());  // behind the reserved @MEMADR
    EXPECT_GT(t.findEntry(out)->getStorageAddress(), memadr);
    EXPECT_FALSE(t.finishPOUType(in, nullptr, list));  // not a POU
}

} // namespace
