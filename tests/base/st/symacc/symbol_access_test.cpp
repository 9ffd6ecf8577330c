// Symbol access: system variables by address (the id shortcut, the step back
// and the scope walk, agreeing with a plain walk on random layouts; the
// address index agreeing with the walk), their
// operands with the covering element or member, array resizing, scope
// iteration, the type predicates and values through VARIANTs.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>

#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

// A table whose system-variable ids come from the upper half of their
// addresses; system variables are entered in the global scope.
struct Table {
    SyStSymbTable t;
    Table() { t.setSysVarIdMode(true, false); }

    StSymbEntryID sysVar(const char* name, uint32_t address, StTypeID tid)
    {
        StSymbEntryID sid = t.sysVarIdFromAddress(address);
        StSyBaseSymbEntry* e = t.addEntry(name, t.getGlobalVR(), t.getGlobalNR(), ST_KIND_SYSVAR, sid);
        EXPECT_TRUE(e) << name;
        if (!e) return ST_INVALID_SID;
        e->setStorageAddress(int32_t(address));
        e->setTypeID(tid);
        return sid;
    }
};

struct OpDeleter {
    void operator()(StASMSysVarOperand* op) const { delete op; }
};
using Op = std::unique_ptr<StASMSysVarOperand, OpDeleter>;

TEST(SymbolAccess, SysVarByAddressAndItsOperand)
{
    Table tb;
    SyStSymbTable& t = tb.t;
    const StSymbEntryID low = tb.sysVar("low", 0x50000, ST_DINT);
    tb.sysVar("high", 0x70000, ST_DINT);

    uint32_t start = 1;
    // Between the two: candidate 6 is missing, the next entry starts
    // behind the address, the step back finds the lower one.
    StSyBaseSymbEntry* e = t.findSysVarByAdr(0x60000, &start);
    ASSERT_TRUE(e);
    EXPECT_EQ(low, e->getID());
    EXPECT_EQ(0x50000u, start);
    EXPECT_FALSE(Op(t.getSysVarOperand(0x60000, 7)));  // behind its 4 bytes

    // Inside the variable: the candidate itself.
    Op op(t.getSysVarOperand(0x50002, 7));
    ASSERT_TRUE(op);
    EXPECT_EQ(low, op->getSID());
    EXPECT_EQ(StTypeID(ST_DINT), op->getTID());
    EXPECT_EQ(uint32_t(MC_DINT), op->getMachMode());
    EXPECT_EQ(StSymbEntryID(7), op->getToID());

    // Below every variable, and past the last id: the walk.
    EXPECT_FALSE(t.findSysVarByAdr(0x40000, &start));
    EXPECT_EQ(0u, start);
    e = t.findSysVarByAdr(0x7FFF0000u, &start);
    ASSERT_TRUE(e);
    EXPECT_EQ(0x70000u, start);

    // The step back only takes a system variable: a constant in between
    // sends the search to the walk, which still finds the lower one.
    StSymbEntryID c = t.sysVarIdFromAddress(0x60000);
    t.addEntry("k", t.getGlobalVR(), t.getGlobalNR(), ST_KIND_CONST, c);
    e = t.findSysVarByAdr(0x68000, &start);
    ASSERT_TRUE(e);
    EXPECT_EQ(low, e->getID());

    // A type of size 0 covers nothing.
    tb.sysVar("void", 0x90000, ST_VOID);
    EXPECT_FALSE(Op(t.getSysVarOperand(0x90000, 0)));
}

TEST(SymbolAccess, WalkStopsAtAVariableStartingAtTheAddress)
{
    SyStSymbTable t;  // ids not derived from addresses: always the walk
    StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
    for (uint32_t a : {0x100u, 0x200u, 0x300u}) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = t.addEntry(("v" + std::to_string(a)).c_str(), vr, nr, ST_KIND_SYSVAR, sid);
        e->setStorageAddress(int32_t(a));
        e->setTypeID(ST_DINT);
    }
    SymbolIteratorFindSysVarByAdr finder(ST_KIND_SYSVAR, 0x200);
    EXPECT_EQ(1, t.iterateSymbols(vr, nr, finder));  // the stopping visit is not counted
    ASSERT_TRUE(finder.m_best);
    EXPECT_EQ(0x200u, finder.m_bestStart);

    // Table modes 2 and 3 look for global variables instead.
    t.setTableMode(2);
    uint32_t start = 0;
    EXPECT_FALSE(t.findSysVarByAdr(0x200, &start));
}

TEST(SymbolAccess, CoveringElementAndMember)
{
    Table tb;
    SyStSymbTable& t = tb.t;
    const StTypeID arr = t.types()->createArrayType(ST_INT, 1, 10);
    tb.sysVar("arr", 0x10000, arr);
    Op op(t.getSysVarOperand(0x10000 + 6, 0));
    ASSERT_TRUE(op);
    EXPECT_EQ(StTypeID(ST_INT), op->getTID());
    EXPECT_EQ(uint32_t(MC_INT), op->getMachMode());
    EXPECT_EQ(6, op->getFixOff());
    EXPECT_FALSE(Op(t.getSysVarOperand(0x10000 + 20, 0)));

    // {BYTE; DINT; ARRAY [0..1] OF INT}: the DINT behind the padding, then
    // an INT of the array member.
    StTypeIDList members;
    members.push_back(ST_BYTE);
    members.push_back(ST_DINT);
    members.push_back(t.types()->createArrayType(ST_INT, 0, 1));
    const StTypeID st = t.types()->createStructType(members, 4, 12);
    tb.sysVar("st", 0x20000, st);
    Op m(t.getSysVarOperand(0x20000 + 5, 0));
    ASSERT_TRUE(m);
    EXPECT_EQ(StTypeID(ST_DINT), m->getTID());
    EXPECT_EQ(5, m->getFixOff());
    Op b(t.getSysVarOperand(0x20000, 0));
    ASSERT_TRUE(b);
    EXPECT_EQ(StTypeID(ST_BYTE), b->getTID());
    EXPECT_EQ(uint32_t(MC_USINT), b->getMachMode());
    Op i(t.getSysVarOperand(0x20000 + 10, 0));
    ASSERT_TRUE(i);
    EXPECT_EQ(StTypeID(ST_INT), i->getTID());
}

TEST(SymbolAccess, FindAgreesWithAPlainWalkOnRandomLayouts)
{
    std::mt19937 rng(160);
    for (int round = 0; round < 20; ++round) {
        Table tb;
        SyStSymbTable& t = tb.t;
        std::map<uint32_t, StSymbEntryID> starts;
        for (int i = 0; i < 30; ++i) {
            const uint32_t id = 1 + rng() % 400;
            const uint32_t address = (id << 16) | (rng() % 0x100);
            if (t.findEntry(StSymbEntryID(id))) continue;
            starts[address] = tb.sysVar(("v" + std::to_string(i)).c_str(), address, ST_DINT);
        }
        for (int q = 0; q < 200; ++q) {
            const uint32_t address = rng() % (402u << 16);
            auto it = starts.upper_bound(address);
            const StSymbEntryID want = it == starts.begin() ? ST_INVALID_SID : std::prev(it)->second;
            uint32_t start = 0;
            StSyBaseSymbEntry* e = t.findSysVarByAdr(address, &start);
            ASSERT_EQ(want, e ? e->getID() : ST_INVALID_SID) << std::hex << address;
            if (e) {
                EXPECT_EQ(uint32_t(e->getStorageAddress()), start);
            }
        }
    }
}

// The address index gives what the walk gives: equal starts (the first
// when it starts at the address, else the last), constants and global
// variables among them, variables added after it was made, a table mode
// that asks for another kind.
TEST(SymbolAccess, TheAddressIndexAnswersAsTheWalk)
{
    std::mt19937 rng(28);
    SyStSymbTable t;  // ids not derived from addresses
    const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
    auto add = [&](uint32_t kind, uint32_t address) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = t.addEntry(static_cast<const char*>(nullptr), vr, nr, kind, sid);
        ASSERT_TRUE(e);
        e->setStorageAddress(int32_t(address));
        e->setTypeID(ST_DINT);
    };
    const uint32_t kinds[] = {ST_KIND_SYSVAR, ST_KIND_SYSVAR, ST_KIND_GLOBVAR, ST_KIND_CONST};
    auto compare = [&](const char* what) {
        for (uint32_t address = 0; address < 260; ++address) {
            t.indexSysVarsByAddress(false);
            uint32_t walkStart = 1, indexStart = 1;
            StSyBaseSymbEntry* walked = t.findSysVarByAdr(address, &walkStart);
            t.indexSysVarsByAddress(true);
            StSyBaseSymbEntry* indexed = t.findSysVarByAdr(address, &indexStart);
            ASSERT_EQ(walked, indexed) << what << " " << address;
            ASSERT_EQ(walkStart, indexStart) << what << " " << address;
        }
    };
    for (int i = 0; i < 120; ++i) add(kinds[rng() % 4], rng() % 250);
    compare("random");

    // Made once, then renewed when an entry is added.
    uint32_t start = 0;
    StSyBaseSymbEntry* before = t.findSysVarByAdr(255, &start);
    add(ST_KIND_SYSVAR, 254);
    StSyBaseSymbEntry* after = t.findSysVarByAdr(255, &start);
    EXPECT_NE(before, after);
    EXPECT_EQ(254u, start);
    compare("added");
    t.setTableMode(2);
    compare("global variables");
}

TEST(SymbolAccess, ModifyArraySize)
{
    Table tb;
    SyStSymbTable& t = tb.t;
    const StTypeID arr = t.types()->createArrayType(ST_DINT, 0, 3);
    const StSymbEntryID a = tb.sysVar("a", 0x20000, arr);
    const StSymbEntryID b = tb.sysVar("b", 0x30000, arr);
    const StSymbEntryID plain = tb.sysVar("p", 0x40000, ST_DINT);
    const StSymbEntryID withConst = tb.sysVar("c", 0x50000, arr);
    t.findEntry(withConst)->setInitCID(StConstEntryID(3));

    EXPECT_FALSE(t.modifyArraySize(0x20000, 0));
    EXPECT_FALSE(t.modifyArraySize(0x20000, -2));
    EXPECT_FALSE(t.modifyArraySize(0x20004, 2));  // starts no variable
    EXPECT_FALSE(t.modifyArraySize(0x40000, 2));  // not an array
    EXPECT_FALSE(t.modifyArraySize(0x50000, 2));  // has a constant
    EXPECT_EQ(arr, t.findEntry(a)->getTypeID());
    EXPECT_EQ(StTypeID(ST_DINT), t.findEntry(plain)->getTypeID());
    EXPECT_EQ(arr, t.findEntry(withConst)->getTypeID());

    ASSERT_TRUE(t.modifyArraySize(0x20000, 8));
    ASSERT_TRUE(t.modifyArraySize(0x30000, 8));
    const StTypeID resized = t.findEntry(a)->getTypeID();
    EXPECT_NE(arr, resized);
    EXPECT_EQ(resized, t.findEntry(b)->getTypeID());
    EXPECT_EQ(t.findEntry(a)->getTypeRefSID(), t.findEntry(b)->getTypeRefSID());
    int32_t lo = 0, hi = 0;
    ASSERT_TRUE(t.getArrayBounds(resized, lo, hi));
    EXPECT_EQ(0, lo);
    EXPECT_EQ(7, hi);
    EXPECT_EQ(32, t.getTypeSize(resized, false));
}

TEST(SymbolAccess, PredicatesQueriesAndValues)
{
    Table tb;
    SyStSymbTable& t = tb.t;
    const StTypeID arr = t.types()->createArrayType(ST_INT, 0, 1);
    EXPECT_TRUE(t.isArrayType(arr));
    EXPECT_FALSE(t.isStructType(arr));
    bool structured = false;
    EXPECT_TRUE(t.isStructuredType(arr, &structured));
    EXPECT_TRUE(structured);
    EXPECT_TRUE(t.isStructuredType(ST_DINT, &structured));
    EXPECT_FALSE(structured);
    EXPECT_FALSE(t.isStructuredType(StTypeID(0x7777), &structured));
    uint32_t vt = 0;
    EXPECT_FALSE(t.isEnumType(StTypeID(ST_DINT), &vt));
    EXPECT_EQ(30u, vt);

    StSymbEntryID fb, fn;
    t.addEntry("FB", t.getGlobalVR(), t.getGlobalNR(), ST_KIND_FUNCBLOCK, fb);
    t.addEntry("F", t.getGlobalVR(), t.getGlobalNR(), ST_KIND_FUNC, fn);
    EXPECT_TRUE(t.isFuncBlockSymbol(fb));
    EXPECT_FALSE(t.isFuncBlockSymbol(fn));
    EXPECT_TRUE(t.isPOESymbol(fn));
    EXPECT_FALSE(t.isTOTypeSymbol(fn));
    EXPECT_FALSE(t.isPOESymbol(StSymbEntryID(0x7777)));
    EXPECT_EQ(ST_INVALID_SID, t.getSymbolTypeID(StSymbEntryID(0x7777)));
    EXPECT_FALSE(t.getSymbolAddress(StSymbEntryID(0x7777), nullptr, nullptr, nullptr));
    // A variable of a structure whose type symbol has no frame: the type
    // symbol's VR and no name range (not the symbol's own sub-name range).
    {
        SyStSymbTable u;
        const StTypeID stTid = u.types()->createStructType(StTypeIDList{ST_DINT}, 4, 4);
        StSymbEntryID decl, var;
        StSyBaseSymbEntry* de = u.addEntry("S", u.getGlobalVR(), u.getGlobalNR(), ST_KIND_TYPESPEC, decl);
        de->setTypeID(stTid);
        de->setSubNameRange(u.openNameSpace(u.getGlobalNR()));
        StSyBaseSymbEntry* ve = u.addEntry("sv", u.getGlobalVR(), u.getGlobalNR(), ST_KIND_VAR, var);
        ve->setTypeID(stTid);
        ve->setTypeRefSID(decl);
        uint32_t first = 0, second = 0;
        bool indirect = false;
        ASSERT_TRUE(u.getSymbolAddress(var, &first, &second, &indirect));
        EXPECT_TRUE(indirect);
        EXPECT_EQ(u.getGlobalVR(), first);
        EXPECT_EQ(ST_INVALID_NR, second);
    }

    // Members by offset in a function block's frame.
    const StRangeID fvr = t.openValidityRange(t.getGlobalVR()), fnr = t.openNameSpace(t.getGlobalNR());
    StFrameProperties* frame = t.findEntry(fb)->getFrameProperties();
    ASSERT_TRUE(frame);
    frame->membVRange = fvr;
    frame->membNRange = fnr;
    for (int i = 0; i < 3; ++i) {
        StSymbEntryID m;
        StSyBaseSymbEntry* me = t.addEntry(("m" + std::to_string(i)).c_str(), fvr, fnr, ST_KIND_VAR, m);
        me->setStorageAddress(4 * i);
        me->setTypeID(ST_DINT);
    }
    String member;
    ASSERT_EQ(0u, t.getMemberByOffset(fb, 8, member));
    EXPECT_EQ("m2", member.stdString());
    EXPECT_EQ(SyStSymbTable::kMemberNotFound, t.getMemberByOffset(fb, 6, member));
    EXPECT_EQ(SyStSymbTable::kUnknownSymbol, t.getMemberByOffset(StSymbEntryID(0x7777), 0, member));

    // Scope counts.
    int visited = 0;
    struct Count : SymbolIteratorNative {
        int& n;
        explicit Count(int& c) : n(c) {}
        bool visit(StSyBaseSymbEntry*, SyStSymbTable&) override { return ++n < 100; }
    } count(visited);
    EXPECT_EQ(2, t.iterateSymbols(t.getGlobalVR(), t.getGlobalNR(), count));

    // Values.
    const StSymbEntryID v = tb.sysVar("v", 0x20000, ST_DINT);
    EXPECT_FALSE(t.hasConstantValue(v));
    VARIANT out;
    EXPECT_EQ(5u, t.getConstantVariant(StSymbEntryID(0x7777), &out, true, nullptr));
    ASSERT_EQ(0u, t.getInitValueVariant(v, &out, true, nullptr));
    EXPECT_EQ(VT_I4, out.vt);
    EXPECT_EQ(0, out.lVal);
    EXPECT_NE(0u, t.getConstantVariant(v, &out, true, nullptr));
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_I2;
    in.iVal = 42;
    ASSERT_EQ(0u, t.setSymbolValue(v, in, true, nullptr));
    EXPECT_TRUE(t.hasConstantValue(v));
    ASSERT_EQ(0u, t.getSymbolValue(v, &out, true, nullptr));
    EXPECT_EQ(VT_I4, out.vt);
    EXPECT_EQ(42, out.lVal);
    ASSERT_EQ(0u, t.getConstantVariant(v, &out, true, nullptr));
    EXPECT_EQ(42, out.lVal);
    in.vt = VT_R8;
    in.dblVal = 1e20;
    EXPECT_EQ(101u, t.setSymbolValue(v, in, true, nullptr));
    EXPECT_EQ(5u, t.setSymbolValue(StSymbEntryID(0x7777), in, true, nullptr));
    EXPECT_EQ(10u, t.setSymbolValue(fb, in, true, nullptr));
    EXPECT_EQ(10u, t.getSymbolValue(fb, &out, true, nullptr));
    ASSERT_EQ(0u, t.getSymbolValue(v, &out, true, nullptr));
    EXPECT_EQ(42, out.lVal);

    // Addresses for new variables.
    t.setTableMode(3);
    EXPECT_EQ(60u, t.checkNewAddr(0x10, ST_DINT, 0x100, 0x200));
    StSymbEntryID g;
    StSyBaseSymbEntry* ge = t.addEntry("g", t.getGlobalVR(), t.getGlobalNR(), ST_KIND_GLOBVAR, g);
    ge->setStorageAddress(0x120);
    ge->setTypeID(ST_DINT);
    EXPECT_EQ(4u, t.checkNewAddr(0x11E, ST_INT + 1, 0x100, 0x200));
    EXPECT_EQ(0u, t.checkNewAddr(0x124, ST_DINT, 0x100, 0x200));
    t.setTableMode(0);
    EXPECT_EQ(60u, t.checkNewAddr(0x122, ST_DINT, 0x100, 0x200));
    EXPECT_EQ(10u, t.checkNewAddr(0x124, ST_VOID, 0x100, 0x200));  // aligned, but no size

    // A table in error answers neutrally.
    SyStSymbTable broken;
    std::istringstream bad("garbage");
    broken.load(bad);
    ASSERT_TRUE(broken.hasError());
    EXPECT_FALSE(broken.isArrayType(arr));
    EXPECT_FALSE(broken.isStructuredType(ST_DINT, &structured));
    EXPECT_FALSE(broken.modifyArraySize(0x20000, 2));
    EXPECT_FALSE(broken.findSysVarByAdr(0x20000, nullptr));
}

}  // namespace
