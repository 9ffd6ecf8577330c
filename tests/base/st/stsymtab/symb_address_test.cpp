// Address texts, operand creation by entry kind, member and element
// selection (function blocks, structures, TOs, tasks), qualified names of
// selected operands, the readable / writable tests, the target-address
// records of every kind with the translate hook, and the access descriptor.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbAddress.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "co/TraceApi.h"

namespace {

std::string str(const String& s) { return s.c_str(); }

struct Owned {
    StASMOperand* op = nullptr;
    ~Owned() { delete op; }
};

TEST(SymbAddress, AddressTexts)
{
    StSymbTable t;
    struct {
        StTypeID tid;
        uint32_t word;
        int32_t fixOff;
        const char* text;
    } cases[] = {
        {ST_BOOL, 0xF8830002u, 0, "%IX2.3"},  {ST_BYTE, 0xF8830002u, 0, "%IB2.3"},
        {ST_BOOL, 0xF8000002u, 0, "???"},     {ST_INT, 0xFC000010u, 0, "TSI#.."},
        {ST_WORD, 0xF6000004u, 0, "%QW4"},    {ST_DINT, 0xF8000008u, 0, "%ID8"},
        {ST_BOOL, 0xF883000Cu, 0, "%IX12.3"}, {ST_USINT, 0xF6000001u, 0, "%QB1"},
        {ST_REAL, 0xF8000008u, 0, "???"},     {ST_INT, 0xF6000004u, 2, "???"},
        {ST_INT, 0xFA000004u, 0, "???"},
    };
    for (const auto& c : cases) {
        StASMDirectOperand op(ST_INVALID_SID, c.tid, t.getMachMode(c.tid), c.word);
        op.setFixOff(c.fixOff);
        EXPECT_EQ(c.text, str(t.getAddressText(&op))) << std::hex << c.word;
    }
    StASMUserOperand user(ST_INVALID_SID, ST_INT, 1, 0, 0, ST_INVALID_SID);
    EXPECT_EQ("???", str(t.getAddressText(&user)));
    EXPECT_EQ("???", str(t.getAddressText(nullptr)));
    // With a symbol: its name, also through getSymbolName.
    StSymbEntryID dv;
    t.addEntry("Sensor", 0, 0, ST_KIND_DIRECTVAR, dv)->setStorageAddress(int32_t(0xF8830002u));
    StASMDirectOperand named(dv, ST_BOOL, 1, 0xF8830002u);
    EXPECT_EQ("Sensor", str(t.getSymbolName(&named)));
}

// One entry of every kind, typed DINT where the kind takes a type.
struct AllKinds {
    StSymbTable t;
    StSymbEntryID sid[22];
    StSymbEntryID refVar, constNoValue;

    AllKinds()
    {
        for (uint32_t k = 1; k <= ST_KIND_LAST; ++k) {
            const std::string name = "e" + std::to_string(k);
            StSyBaseSymbEntry* e = t.addEntry(name.c_str(), 0, 0, k, sid[k]);
            e->setTypeID(k == ST_KIND_TOTYPE || k == ST_KIND_TO ? ST_ANYOBJECT : ST_DINT);
            e->setStorageAddress(0x10 * int32_t(k));
        }
        StConstantVal* v = new StStdConstantVal(int32_t(7), false);
        t.findEntry(sid[1])->setInitCID(t.constants()->addConstantVal(v));
        delete v;
        t.addEntry("r", 0, 0, ST_KIND_VAR, refVar)->setAccessMode(ST_ACCESS_READWRITE);
        t.addEntry("c0", 0, 0, ST_KIND_CONST, constNoValue);
    }
};

TEST(SymbAddress, CreateOperandByEntryKind)
{
    AllKinds a;
    constexpr int NONE = -1;
    struct {
        uint32_t kind;
        int result;
        int opKind;
        int paramResult;
        int paramKind;
    } cases[] = {
        {1, 0, ST_OP_CONST, 1, NONE},        {2, 0, ST_OP_VIRTUAL, 1, NONE},  {3, 0, ST_OP_USER, 0, ST_OP_FUNCPARAM},
        {4, 0, ST_OP_USER, 1, NONE},         {5, 0, ST_OP_SYSVAR, 1, NONE},   {6, 0, ST_OP_VIRTUAL, 1, NONE},
        {7, 0, ST_OP_VIRTUAL, 1, NONE},      {8, 0, ST_OP_VIRTUAL, 1, NONE},  {9, 0, ST_OP_EXTINTERF, 1, NONE},
        {10, 0, ST_OP_TEMP, 1, NONE},        {11, 2, NONE, 2, NONE},          {12, 0, ST_OP_SYSVAR, 1, NONE},
        {13, 2, NONE, 2, NONE},              {14, 0, ST_OP_VIRTUAL, 1, NONE}, {15, 2, NONE, 2, NONE},
        {16, 2, NONE, 2, NONE},              {17, 0, ST_OP_VIRTUAL, 1, NONE}, {18, 2, NONE, 2, NONE},
        {19, 0, ST_OP_USER, 1, NONE},        {20, 0, ST_OP_DIRECT, 1, NONE},  {21, 0, ST_OP_VIRTUAL, 1, NONE},
    };
    for (const auto& c : cases) {
        for (bool param : {false, true}) {
            Owned o;
            o.op = reinterpret_cast<StASMOperand*>(1);  // overwritten with null on every path
            const int r = a.t.createOperand(a.sid[c.kind], o.op, param);
            EXPECT_EQ(param ? c.paramResult : c.result, r) << c.kind << " " << param;
            const int expectKind = param ? c.paramKind : c.opKind;
            if (expectKind == NONE) {
                EXPECT_EQ(nullptr, o.op) << c.kind;
                continue;
            }
            ASSERT_NE(nullptr, o.op) << c.kind;
            EXPECT_EQ(uint32_t(expectKind), o.op->getKind()) << c.kind;
            EXPECT_EQ(c.kind == 12 ? ST_ANYOBJECT : ST_DINT, o.op->getTID()) << c.kind;
            EXPECT_EQ(a.t.getMachMode(o.op->getTID()), o.op->getMachMode()) << c.kind;
            EXPECT_TRUE(a.t.findEntry(a.sid[c.kind])->getExtra() & 8u) << c.kind;
        }
    }
    Owned o;
    EXPECT_EQ(0, a.t.createOperand(a.sid[4], o.op));
    EXPECT_EQ(3, o.op->getScopeClass());
    Owned ref, refParam, none;
    EXPECT_EQ(0, a.t.createOperand(a.refVar, ref.op));
    EXPECT_EQ(ST_OP_USERREF, ref.op->getKind());
    EXPECT_EQ(0, a.t.createOperand(a.refVar, refParam.op, true));
    EXPECT_EQ(ST_OP_FUNCPARAMREF, refParam.op->getKind());
    EXPECT_EQ(2, a.t.createOperand(a.constNoValue, none.op));
    EXPECT_EQ(2, a.t.createOperand(ST_INVALID_SID, none.op));
    EXPECT_EQ(nullptr, none.op);
}

// A function block FB (frame of total size 24, instance size 16: frame
// base 8) with members in1 (input), out1 (output), io (in-out), loc
// (local) and a static st; an instance inst at 100; a structure S {a: INT;
// b: ARRAY [-2..5] OF INT} and a variable v of it at 0x40.
struct Model {
    StSymbTable t;
    StRangeID fbVR, fbNR, sNR;
    StSymbEntryID fb, inst, s, v, str;
    StTypeID fbType, sType, arrType;

    Model()
    {
        fbVR = t.openValidityRange(0);
        fbNR = t.openNameSpace(0);
        fbType = t.types()->createFuncType(2, StTypeIDList{ST_INT, ST_INT, ST_INT, ST_INT, ST_INT}, 16, StTypeIDList{},
                                           2, 24, ST_INVALID_SID, true);
        StSyBaseSymbEntry* f = t.addEntry("FB", 0, 0, ST_KIND_FUNCBLOCK, fb);
        f->setTypeID(fbType);
        f->setSubValidRange(fbVR);
        f->setSubNameRange(fbNR);
        member("in1", ST_ACCESS_READONLY, 8, false);
        member("out1", ST_ACCESS_WRITEONLY, 12, false);
        member("io", ST_ACCESS_READWRITE, 16, false);
        member("loc", ST_ACCESS_LOCAL, 20, false);
        member("st", ST_ACCESS_WRITEONLY, 30, true);
        StSyBaseSymbEntry* i = t.addEntry("inst", 0, 0, ST_KIND_VAR, inst);
        i->setTypeID(fbType);
        i->setTypeRefSID(fb);
        i->setStorageAddress(100);

        sNR = t.openNameSpace(0);
        arrType = t.types()->createArrayType(ST_INT, -2, 5);
        sType = t.types()->createStructType(StTypeIDList{ST_INT, arrType}, 2, 18);
        StSyBaseSymbEntry* sd = t.addEntry("S", 0, 0, ST_KIND_TYPESPEC, s);
        sd->setTypeID(sType);
        sd->setSubNameRange(sNR);
        StSymbEntryID m;
        t.addEntry("a", 0, sNR, ST_KIND_TYPESPEC, m)->setTypeID(ST_INT);
        t.findEntry(m)->setStorageAddress(0);
        t.addEntry("b", 0, sNR, ST_KIND_TYPESPEC, m)->setTypeID(arrType);
        t.findEntry(m)->setStorageAddress(2);
        StSyBaseSymbEntry* ve = t.addEntry("v", 0, 0, ST_KIND_VAR, v);
        ve->setTypeID(sType);
        ve->setTypeRefSID(s);
        ve->setStorageAddress(0x40);
        StSyBaseSymbEntry* se = t.addEntry("str", 0, 0, ST_KIND_VAR, str);
        se->setTypeID(t.getStringTypeID(10));
        se->setStorageAddress(0x80);
    }

    void member(const char* name, int32_t access, int32_t address, bool isStatic)
    {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = t.addEntry(name, fbVR, fbNR, ST_KIND_VAR, sid);
        e->setTypeID(ST_INT);
        e->setAccessMode(access);
        e->setStorageAddress(address);
        e->setSecondFlag(isStatic ? 1 : 0);
    }

    // "inst" from the global scope, then its member.
    int instMember(const char* name, Owned& o, bool inside, bool param)
    {
        StRangeID vr = 0, nr = 0;
        EXPECT_EQ(0, t.createOperandByName("inst", vr, nr, o.op));
        EXPECT_EQ(fbVR, vr);
        EXPECT_EQ(fbNR, nr);
        return t.selectMember(name, vr, nr, o.op, inside, param);
    }
};

TEST(SymbAddress, FunctionBlockMembers)
{
    Model m;
    struct {
        const char* name;
        bool inside, param;
        int result;
        int32_t fixOff;
        uint32_t flags;
        const char* path;
    } cases[] = {
        {"loc", false, false, 3, 0, 0, nullptr},       {"in1", false, false, 3, 0, 0, nullptr},
        {"io", false, true, 3, 0, 0, nullptr},         {"out1", false, false, 0, 4, 0, "inst.out1"},
        {"in1", false, true, 0, 0, 2, "inst.in1"},     {"out1", false, true, 0, 4, 4, "inst.out1"},
        {"io", true, false, 0, 8, 16, "inst.io"},      {"loc", true, false, 0, 12, 0, "inst.loc"},
        {"st", false, false, 0, 30, 0, "inst.st"},      {"nope", true, false, 2, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        Owned o;
        EXPECT_EQ(c.result, m.instMember(c.name, o, c.inside, c.param)) << c.name;
        if (c.result != 0) {
            EXPECT_EQ(nullptr, o.op) << c.name;  // the refused operand is gone
            continue;
        }
        ASSERT_NE(nullptr, o.op);
        EXPECT_EQ(c.fixOff, o.op->getFixOff()) << c.name;
        EXPECT_EQ(ST_INT, o.op->getTID());
        EXPECT_EQ(c.flags, static_cast<StASMUserOperand*>(o.op)->getFlags()) << c.name;
        EXPECT_EQ(0xFD000000u | uint32_t(100 + c.fixOff), m.t.getOperandAddress(o.op)) << c.name;
        EXPECT_EQ(c.path, str(m.t.getSymbolName(o.op))) << c.name;
    }
    // An input marked for a parameter access is writable; an instance is not.
    Owned in, whole;
    m.instMember("in1", in, false, true);
    EXPECT_TRUE(m.t.checkOperandWritable(in.op));
    StRangeID vr = 0, nr = 0;
    m.t.createOperandByName("inst", vr, nr, whole.op);
    EXPECT_FALSE(m.t.checkOperandWritable(whole.op));
    EXPECT_TRUE(m.t.findEntry(m.inst)->getExtra() & 4u);  // marked written all the same
    EXPECT_TRUE(m.t.isOperandReadable(whole.op));
}

TEST(SymbAddress, StructureMembersAndElements)
{
    Model m;
    Owned o;
    StRangeID vr = 0, nr = 0;
    ASSERT_EQ(0, m.t.createOperandByName("v", vr, nr, o.op));
    EXPECT_EQ(m.sNR, nr);
    ASSERT_EQ(0, m.t.selectMember("b", vr, nr, o.op));
    EXPECT_EQ(2, o.op->getFixOff());
    EXPECT_EQ(m.arrType, o.op->getTID());
    int32_t base = 0;
    ASSERT_EQ(0, m.t.selectElement(o.op, base, vr, nr));
    EXPECT_EQ(2, base);
    EXPECT_EQ(ST_INT, o.op->getTID());
    o.op->addFixOff((3 + base) * 2);
    EXPECT_EQ("v.b[3]", str(m.t.getSymbolName(o.op)));
    EXPECT_EQ(0xFD000000u | (0x40 + 12), m.t.getOperandAddress(o.op));
    EXPECT_EQ(2, m.t.selectElement(o.op, base, vr, nr));  // INT is no array

    // A bit of it, and an offset one past the array's end.
    auto* bit = new StASMConstOperand(new StConstantElem(new StStdConstantVal(int32_t(5), false)), ST_INT, 1);
    StASMBitAccessOperand access(o.op->clone(), bit);
    EXPECT_EQ("v.b[3].5", str(m.t.getSymbolName(&access)));
    o.op->setFixOff(2 + 8 * 2);
    EXPECT_EQ("???", str(m.t.getSymbolName(o.op)));

    EXPECT_EQ(2, m.t.selectMember("zz", vr = 0, nr = m.sNR, o.op));
    EXPECT_EQ(nullptr, o.op);

    // A STRING is no array for element access.
    Owned s;
    vr = nr = 0;
    ASSERT_EQ(0, m.t.createOperandByName("str", vr, nr, s.op));
    EXPECT_EQ(2, m.t.selectElement(s.op, base, vr, nr));
}

TEST(SymbAddress, TasksOwnersAndTechnologyObjects)
{
    StSymbTable t;
    const StRangeID frameVR = t.openValidityRange(0), frameNR = t.openNameSpace(0);
    StSymbEntryID task, prog, loc, toType, to, sv;
    StSyBaseSymbEntry* te = t.addEntry("T1", 0, 0, ST_KIND_TASK, task);
    te->setSubValidRange(frameVR);
    te->setSubNameRange(frameNR);
    StSymbEntryID tsv;
    StSyBaseSymbEntry* tsve = t.addEntry("prio", frameVR, frameNR, ST_KIND_SYSVAR, tsv);
    tsve->setTypeID(ST_INT);
    t.addEntry("P", 0, 0, ST_KIND_PROGRAM, prog);
    StSyBaseSymbEntry* le = t.addEntry("loc", frameVR, frameNR, ST_KIND_VAR, loc);
    le->setTypeID(ST_INT);
    le->setUnitSID(prog);

    Owned taskOp, locOp;
    ASSERT_EQ(0, t.createOperand(task, taskOp.op));
    EXPECT_EQ("T1", str(t.getSymbolName(taskOp.op)));
    StRangeID vr = 0, nr = 0;
    ASSERT_EQ(0, t.selectMember("prio", vr, nr, taskOp.op));
    EXPECT_EQ("T1.prio", str(t.getSymbolName(taskOp.op)));
    ASSERT_EQ(0, t.createOperand(loc, locOp.op));
    EXPECT_EQ("P.loc", str(t.getSymbolName(locOp.op)));

    // A TO of a TO type whose frame holds the system variable "Speed".
    const StRangeID toVR = t.openValidityRange(0), toNR = t.openNameSpace(0);
    toType = t.addTOType("Axis", 0, 0, toVR, toNR, ST_INVALID_SID, -1);
    sv = t.addSysVar("Speed", toType, 0x200, -1);
    t.findEntry(sv)->setTypeID(ST_DINT);
    t.findEntry(sv)->setAccessMode(ST_ACCESS_WRITEONLY);
    StSyBaseSymbEntry* toe = t.addEntry("axis1", 0, 0, ST_KIND_TO, to);
    toe->setTypeRefSID(toType);
    Owned toOp;
    StRangeID fvr, fnr;
    ASSERT_TRUE(t.createTOOperand(to, fvr, fnr, toOp.op));
    EXPECT_EQ(toVR, fvr);
    EXPECT_EQ(toNR, fnr);
    EXPECT_EQ(ST_ANYOBJECT, toOp.op->getTID());
    Owned notTO;
    EXPECT_FALSE(t.createTOOperand(toType, fvr, fnr, notTO.op));
    EXPECT_EQ(nullptr, notTO.op);
    Owned sel;
    ASSERT_TRUE(t.createTOOperand(to, fvr, fnr, sel.op));
    ASSERT_EQ(0, t.selectMember("Speed", fvr, fnr, sel.op));
    EXPECT_EQ(ST_OP_SYSVAR, sel.op->getKind());
    EXPECT_EQ(sv, sel.op->getSID());
    EXPECT_EQ("axis1.Speed", str(t.getSymbolName(sel.op)));
    EXPECT_TRUE(t.isSysVarOperand(sel.op));
    EXPECT_FALSE(t.isOperandReadable(sel.op));  // write-only, table mode 0
    t.setTableMode(1);
    EXPECT_TRUE(t.isOperandReadable(sel.op));
    // A system variable by itself: the TO type is no prefix.
    Owned own;
    ASSERT_EQ(0, t.createOperand(sv, own.op));
    EXPECT_EQ("Speed", str(t.getSymbolName(own.op)));
}

class RefusingHook : public StAddrTranslateHook {
public:
    bool refuse = false;
    StAddressRecord seen;
    bool translate(StAddressRecord& r) override
    {
        seen = r;
        return !refuse;
    }
    StTypeID getTypeID(const StSyBaseSymbEntry* e) override { return e->getTypeID(); }
    bool test(uint32_t, uint32_t) override { return false; }
};

TEST(SymbAddress, TargetAddressRecords)
{
    StSymbTable t;
    const StRangeID toVR = t.openValidityRange(0), toNR = t.openNameSpace(0);
    const StSymbEntryID toType = t.addTOType("Axis", 0, 0, toVR, toNR, ST_INVALID_SID, -1);
    const StSymbEntryID sv = t.addSysVar("Speed", toType, 0x123456, -1);
    t.findEntry(sv)->setTypeID(ST_DINT);
    StSymbEntryID unit, glob, var, ifv, none, fb;
    t.addEntry("UnitA", 0, 0, ST_KIND_UNIT, unit);
    StSyBaseSymbEntry* g = t.addEntry("g", 0, 0, ST_KIND_GLOBVAR, glob);
    g->setTypeID(ST_INT);
    g->setStorageAddress(0x30);
    g->setUnitSID(unit);
    StSyBaseSymbEntry* v = t.addEntry("v", 0, 0, ST_KIND_VAR, var);
    v->setTypeID(ST_REAL);
    v->setStorageAddress(0x44);
    StSymbEntryID sidIf = t.addInterfaceVar("iv", 0, 0, -1, false);
    t.findEntry(sidIf)->setTypeID(ST_WORD);
    t.findEntry(sidIf)->setStorageAddress(0x10);
    ifv = sidIf;
    t.addEntry("nowhere", 0, 0, ST_KIND_VAR, none)->setTypeID(ST_INT);
    t.addEntry("F", 0, 0, ST_KIND_FUNCBLOCK, fb)->setStorageAddress(0);

    StAddressRecord r;
    bool rel = true;
    t.setIdPair(0x00070003);  // first address option; device word 7
    ASSERT_TRUE(t.getTISAddress(sv, ST_ACCESS_LOW24, rel, r));
    EXPECT_FALSE(rel);
    EXPECT_EQ(ST_TIS_PLAIN, r.kind);
    EXPECT_EQ(0x123456u, r.address);
    EXPECT_EQ(7u, r.deviceWord);
    EXPECT_EQ(uint32_t(MC_DINT), r.machMode);
    EXPECT_EQ(0x1008u, r.typeSpec);
    EXPECT_EQ(4u, r.size);
    EXPECT_FALSE(t.getTISAddress(sv, ST_ACCESS_SEG20, rel, r));  // not in the mode word
    t.addModeFlags(ST_ACCESS_SEG20);
    ASSERT_TRUE(t.getTISAddress(sv, ST_ACCESS_SEG20, rel, r));
    EXPECT_EQ(0x20123456u, r.address);
    EXPECT_FALSE(t.getTISAddress(var, ST_ACCESS_SEG20, rel, r));  // only system variables
    ASSERT_TRUE(t.getTISAddress(var, 0, rel, r));  // a plain variable: its own address
    EXPECT_EQ(ST_TIS_PLAIN, r.kind);
    EXPECT_EQ(0xFD000044u, r.address);

    t.setAddressOptions(false, true, true);
    ASSERT_TRUE(t.getTISAddress(ifv, 0, rel, r));
    EXPECT_EQ(ST_TIS_INTERFACE, r.kind);
    EXPECT_EQ(0xF4000010u, r.address);
    ASSERT_TRUE(t.getTISAddress(var, 0, rel, r));
    EXPECT_EQ(ST_TIS_FRAME, r.kind);
    EXPECT_TRUE(rel);

    t.setAddressOptions(false, false, false);
    t.setTableMode(1);
    t.setDeviceWord(0x55);
    ASSERT_TRUE(t.getTISAddress(glob, 0, rel, r));
    EXPECT_EQ(ST_TIS_UNIT_NAME, r.kind);
    EXPECT_STREQ("UnitA", r.unitName);
    t.setUnitId(9);
    ASSERT_TRUE(t.getTISAddress(glob, 0, rel, r));
    EXPECT_EQ(ST_TIS_UNIT_ID, r.kind);
    EXPECT_EQ(9u, r.unitId);
    ASSERT_TRUE(t.getTISAddress(sv, 0, rel, r));
    EXPECT_EQ(ST_TIS_SYSVAR, r.kind);
    EXPECT_EQ(0x04123456u, r.address);
    EXPECT_EQ(0x55u, r.deviceWord);
    EXPECT_EQ(uint16_t(sv.get()), r.sysVarNumber);

    // A global variable imported is refused under the third option.
    t.findEntry(glob)->setVisibility(ST_VIS_IMPORT, 0);
    t.setAddressOptions(false, false, true);
    EXPECT_FALSE(t.getTISAddress(glob, 0, rel, r));
    EXPECT_FALSE(t.isAccessible(t.findEntry(glob)));
    EXPECT_TRUE(t.isAccessible(t.findEntry(var)));

    // No address, a function block: refused. The three queries answer none.
    EXPECT_FALSE(t.getTISAddress(none, 0, rel, r));
    EXPECT_FALSE(t.getTISAddress(fb, 0, rel, r));
    EXPECT_EQ(0x7FFFFFFFu, t.getSymbolAddress(none));
    EXPECT_EQ(0x7FFFFFFFu, t.getConstAddress(ST_INVALID_CID));
    Owned noneOp;
    ASSERT_EQ(0, t.createOperand(none, noneOp.op));
    EXPECT_EQ(0x7FFFFFFFu, t.getOperandAddress(noneOp.op));
    EXPECT_EQ(0x7FFFFFFFu, t.getSymbolAddress(ST_INVALID_SID));
    StConstantVal* value = new StStdConstantVal(int32_t(3), false);
    const StConstEntryID cid = t.constants()->addConstantVal(value);
    delete value;
    EXPECT_EQ(0x7FFFFFFFu, t.getConstAddress(cid));
    t.getConstant(cid)->setStorageAddress(0x24);
    EXPECT_EQ(0xFB000024u, t.getConstAddress(cid));
    // A type declaration answers its raw address word.
    StSymbEntryID decl;
    StSyBaseSymbEntry* de = t.addEntry("D", 0, 0, ST_KIND_TYPESPEC, decl);
    EXPECT_EQ(0x7FFFFFFFu, t.getSymbolAddress(decl));
    de->setStorageAddress(0x20);
    EXPECT_EQ(0x20u, t.getSymbolAddress(decl));

    // The hook sees the record; a refusal is traced once.
    RefusingHook hook;
    t.setHook(&hook);
    ASSERT_TRUE(t.getTISAddress(sv, 0, rel, r));
    EXPECT_EQ(ST_TIS_SYSVAR, hook.seen.kind);
    hook.refuse = true;
    CTraceCapture trace;
    EXPECT_FALSE(t.getTISAddress(sv, 0, rel, r));
    int lines = 0;
    for (const auto& l : trace.lines())
        lines += l.message == "Address translate hook returns false" && l.method == "StSymbTable::getTISAddress";
    EXPECT_EQ(1, lines);
    t.setHook(nullptr);
}

TEST(SymbAddress, AccessDescriptors)
{
    StSymbTable t;
    const StRangeID toVR = t.openValidityRange(0), toNR = t.openNameSpace(0);
    const StSymbEntryID toType = t.addTOType("Axis", 0, 0, toVR, toNR, ST_INVALID_SID, -1);
    const StSymbEntryID near = t.addSysVar("Near", toType, 0x1234, -1);
    const StSymbEntryID far = t.addSysVar("Far", toType, 0x12345, -1);
    const StSymbEntryID arr = t.addSysVar("Arr", toType, 0x100, -1);
    t.findEntry(near)->setTypeID(ST_INT);
    t.findEntry(far)->setTypeID(ST_INT);
    t.findEntry(arr)->setTypeID(t.types()->createArrayType(ST_DINT, 1, 6));
    t.setIdPair(0x00090000);
    t.setDeviceWord(3);
    StAccessDescriptor d;
    Owned a, b, c;
    t.createOperand(near, a.op);
    t.createOperand(far, b.op);
    t.createOperand(arr, c.op);
    ASSERT_TRUE(t.getAccessDescriptor(a.op, ST_ACCESS_LOW24, d));
    EXPECT_EQ(0x1234u, d.address);
    EXPECT_EQ(1u, d.elementCount);
    EXPECT_EQ(5u, d.dataCode);  // INT
    EXPECT_EQ(3u, d.deviceWord);
    EXPECT_FALSE(t.getAccessDescriptor(b.op, ST_ACCESS_LOW24, d));  // beyond 16 bits
    ASSERT_TRUE(t.getAccessDescriptor(c.op, ST_ACCESS_LOW24, d));
    EXPECT_EQ(6u, d.elementCount);
    EXPECT_EQ(0u, d.dataCode);
    t.setAccessDescOptions(true, true);
    ASSERT_TRUE(t.getAccessDescriptor(c.op, ST_ACCESS_LOW24, d));
    EXPECT_EQ(24u, d.elementCount);  // bytes
    EXPECT_EQ(9u, d.deviceWord);
}

}  // namespace
