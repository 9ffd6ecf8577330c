// Symbol and type queries: flags, enumerators, type texts and codes,
// constants, addresses, name ranges and dotted-name lookups.
#include <gtest/gtest.h>

#include <memory>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

struct Table {
    SyStSymbTable t;
    StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();

    StSyBaseSymbEntry* add(const char* name, uint32_t kind, StSymbEntryID& sid, StRangeID v, StRangeID n)
    {
        StSyBaseSymbEntry* e = t.addEntry(name, v, n, kind, sid);
        EXPECT_TRUE(e) << name;
        return e;
    }
    StSyBaseSymbEntry* add(const char* name, uint32_t kind, StSymbEntryID& sid) { return add(name, kind, sid, vr, nr); }
    StConstEntryID dint(int32_t value)
    {
        StConstantVal* v = new StStdConstantVal(ST_DINT, false);
        static_cast<StStdConstantVal*>(v)->SetLongVal(value);
        return t.constants()->addConstantVal(v);
    }
    // An enumeration Color (Red = 1, Green = 5) declared by a type symbol.
    StTypeID colors(StSymbEntryID& decl, StSymbEntryID& red, StSymbEntryID& green)
    {
        add("Red", ST_KIND_CONST, red)->setInitCID(dint(1));
        add("Green", ST_KIND_CONST, green)->setInitCID(dint(5));
        auto list = std::make_unique<StSymbEntryIDList>();
        list->push_back(red);
        list->push_back(green);
        const StTypeID en = t.types()->createEnumType(list, ST_DINT);
        add("Color", ST_KIND_TYPESPEC, decl)->setTypeID(en);
        return en;
    }
};

std::string s(const String& v) { return v.stdString(); }

TEST(SymbolQueries, SymbolsAndTypes)
{
    Table tb;
    SyStSymbTable& t = tb.t;
    StSymbEntryID decl, red, green;
    const StTypeID en = tb.colors(decl, red, green);

    // Enumerators by value and by exact name, the value's width following
    // the enumeration base type.
    EXPECT_EQ(green, t.findEnumElemByValue(en, 5));
    EXPECT_EQ(ST_INVALID_SID, t.findEnumElemByValue(en, 2));
    EXPECT_EQ(ST_INVALID_SID, t.findEnumElemByValue(StTypeID(ST_DINT), 5));
    StSymbEntryID found;
    int32_t v32 = 0;
    ASSERT_TRUE(t.setEnumBaseType(ST_DINT));
    ASSERT_TRUE(t.findEnumElemByName(en, String("Green"), found, &v32));
    EXPECT_EQ(green, found);
    EXPECT_EQ(5, v32);
    EXPECT_FALSE(t.findEnumElemByName(en, String("green"), found, &v32));
    int32_t wide = 0x7F7F7F7F;
    ASSERT_TRUE(t.setEnumBaseType(ST_INT));
    ASSERT_TRUE(t.findEnumElemByName(en, String("Red"), found, &wide));
    EXPECT_EQ(1, int16_t(wide & 0xFFFF));
    EXPECT_EQ(0x7F7F, wide >> 16);  // only 16 bits written
    ASSERT_TRUE(t.setEnumBaseType(11));
    EXPECT_FALSE(t.findEnumElemByName(en, String("Red"), found, &v32));
    ASSERT_TRUE(t.setEnumBaseType(ST_DINT));

    // Type texts and names.
    StSymbEntryID c, a, o, x, imp, impT, task, sub;
    StSyBaseSymbEntry* ce = tb.add("c", ST_KIND_GLOBVAR, c);
    ce->setTypeID(en);
    ce->setTypeRefSID(decl);
    ce->setSecondFlag(1);
    tb.add("a", ST_KIND_GLOBVAR, a)->setTypeID(t.types()->createArrayType(ST_ANYOBJECT, 0, 3));
    tb.add("o", ST_KIND_GLOBVAR, o)->setTypeID(ST_ANYOBJECT);
    tb.add("x", ST_KIND_GLOBVAR, x)->setTypeID(ST_INT);
    StSyBaseSymbEntry* it = tb.add("Ext", ST_KIND_TYPESPEC, impT);
    const StTypeID st = t.types()->createStructType(StTypeIDList{ST_INT}, 2, 2);
    it->setTypeID(st);
    it->setVisibility(ST_VIS_IMPORT, 1);
    StSyBaseSymbEntry* ie = tb.add("imp", ST_KIND_GLOBVAR, imp);
    ie->setTypeID(st);
    ie->setTypeRefSID(impT);
    tb.add("T1", ST_KIND_TASK, task);
    tb.add("r", ST_KIND_GLOBVAR, sub)
        ->setTypeID(t.types()->createSubrangeType(ST_DINT, tb.dint(-3), tb.dint(9)));
    String text;
    const std::pair<StSymbEntryID, const char*> texts[] = {
        {c, "'Color'"}, {a, "ARRAY [0..3] OF ANYOBJECT"}, {o, "ANYOBJECT"}, {x, "INT"}};
    for (const auto& [sid, want] : texts) {
        ASSERT_TRUE(t.getTypeText(sid, text)) << want;
        EXPECT_EQ(want, s(text));
    }
    ASSERT_TRUE(t.getTypeText(imp, text));
    EXPECT_EQ("'Ext'@@", s(text));
    EXPECT_FALSE(t.getTypeText(StSymbEntryID(0x7777), text));
    ASSERT_TRUE(t.formatTypeName(c, text));
    EXPECT_EQ("enum/Color", s(text));
    ce->setTypeRefSID(ST_INVALID_SID);
    ASSERT_TRUE(t.formatTypeName(c, text));
    EXPECT_EQ("(Red, Green)", s(text));
    ce->setTypeRefSID(decl);
    ASSERT_TRUE(t.formatTypeName(sub, text));
    EXPECT_EQ("DINT[-3..9]", s(text));
    ASSERT_TRUE(t.formatTypeName(task, text));
    EXPECT_EQ("TASK", s(text));

    // Type codes.
    EXPECT_EQ(0x1000u + t.findTypeNode(ST_INT)->elemCode(), t.getSymbolTypeCode(x));
    EXPECT_EQ(0x2000u + t.findTypeNode(t.getTypeID(a))->specCode(), t.getSymbolTypeCode(a));
    EXPECT_EQ(4126u, t.getSymbolTypeCode(imp));
    EXPECT_EQ(4126u, t.getSymbolTypeCode(StSymbEntryID(0x7777)));
    EXPECT_EQ(0x1007u, SyStSymbTable::elemTypeSpec(7));
    EXPECT_EQ(0x101Eu, SyStSymbTable::elemTypeSpec(99));
    EXPECT_EQ(decl, t.findSymbolTypeID(en));
    EXPECT_EQ(ST_INVALID_SID, t.findSymbolTypeID(StTypeID(0x7777)));

    // Flags, operands, constants.
    EXPECT_TRUE(t.getSymbolGlobalFlag(c));
    EXPECT_FALSE(t.getSymbolGlobalFlag(x));
    EXPECT_FALSE(t.getSymbolGlobalFlag(StSymbEntryID(0x7777)));
    StASMUserOperand declOp(decl, en, 0, 0, 3, ST_INVALID_SID), cOp(c, en, 0, 0, 3, ST_INVALID_SID);
    EXPECT_TRUE(t.isTypeSpecOperand(&declOp));
    EXPECT_FALSE(t.isTypeSpecOperand(&cOp));
    ASSERT_TRUE(t.getRecordSymbolName(&cOp, text));
    EXPECT_EQ("Color", s(text));
    EXPECT_FALSE(t.getRecordSymbolName(&declOp, text));
    const StConstantVal* cv = t.getConstValOfSymbol(green);
    int32_t gv = 0;
    ASSERT_TRUE(cv && cv->getDInt(gv));
    EXPECT_EQ(5, gv);
    EXPECT_FALSE(t.getConstValOfSymbol(c));

    // Addresses.
    t.findEntry(x)->setStorageAddress(0x40);
    uint32_t addr = 0;
    StSymbEntryID typeSID = red;
    ASSERT_TRUE(t.getSymbolAddressAndType(c, addr, &typeSID));
    EXPECT_EQ(decl, typeSID);
    ASSERT_TRUE(t.getSymbolAddressAndType(x, addr, nullptr));
    EXPECT_EQ(t.StSymbTable::getSymbolAddress(x), addr);
    EXPECT_FALSE(t.getSymbolAddressAndType(StSymbEntryID(0x7777), addr, nullptr));
    uint32_t first = 0, second = 0;
    EXPECT_EQ(0u, t.getSymbolNameAndAddress(x, text, &first, &second, nullptr));
    EXPECT_EQ("x", s(text));
    EXPECT_EQ(0xBE04FFFFu, t.getSymbolNameAndAddress(StSymbEntryID(0x7777), text, &first, &second, nullptr));

    // Name ranges, dotted names, "_task" and "_device".
    StSymbEntryID ns, inNs, taskScope, tv, dev, devSym;
    StSyBaseSymbEntry* nse = tb.add("Lib", ST_KIND_NAMESPACE, ns);
    const StRangeID nsVR = t.openValidityRange(tb.vr), nsNR = t.openNameSpace(tb.nr);
    nse->setSubValidRange(nsVR);
    nse->setSubNameRange(nsNR);
    tb.add("inner", ST_KIND_GLOBVAR, inNs, nsVR, nsNR)->setTypeID(ST_INT);
    const String lib("Lib"), other("Other");
    EXPECT_TRUE(t.isInNameRange(inNs, &lib));
    EXPECT_FALSE(t.isInNameRange(x, &lib));
    EXPECT_FALSE(t.isInNameRange(inNs, &other));
    EXPECT_TRUE(t.isInNameRange(x, nullptr));
    EXPECT_FALSE(t.isInNameRange(inNs, nullptr));

    StSyBaseSymbEntry* tse = tb.add("_task", ST_KIND_TASK, taskScope);
    const StRangeID tVR = t.openValidityRange(tb.vr), tNR = t.openNameSpace(tb.nr);
    tse->getFrameProperties()->membVRange = tVR;
    tse->getFrameProperties()->membNRange = tNR;
    StSyBaseSymbEntry* tve = tb.add("cycle", ST_KIND_VAR, tv, tVR, tNR);
    tve->setTypeID(ST_DINT);
    tve->setStorageAddress(0x120);
    EXPECT_EQ(tv, t.findSymbolInScope(String("_task.cycle"), tb.vr, tb.nr, true));
    EXPECT_EQ(ST_INVALID_SID, t.findSymbolInScope(String("_task.cycle"), tb.vr, tb.nr, false));
    EXPECT_EQ(ST_INVALID_SID, t.findSymbolInScope(String("_task..cycle"), tb.vr, tb.nr, true));
    EXPECT_EQ(taskScope, t.findSymbolInScope(String("_task"), tb.vr, tb.nr, false));
    ASSERT_TRUE(t.getTaskSymbolAddress(String("cycle"), addr));
    EXPECT_EQ(t.StSymbTable::getSymbolAddress(tv), addr);
    EXPECT_FALSE(t.getTaskSymbolAddress(String("nothing"), addr));
    EXPECT_EQ(0x7FFFFFFFu, addr);

    StSyBaseSymbEntry* de = tb.add("Drive", ST_KIND_TASK, dev);
    const StRangeID dVR = t.openValidityRange(tb.vr), dNR = t.openNameSpace(tb.nr);
    de->getFrameProperties()->membVRange = dVR;
    de->getFrameProperties()->membNRange = dNR;
    tb.add("_device", ST_KIND_GLOBVAR, devSym, dVR, dNR);
    EXPECT_EQ(devSym, t.resolveDeviceName(String("Drive")));
    EXPECT_EQ(ST_INVALID_SID, t.resolveDeviceName(String("x")));

    // Assignable kinds in table mode 2 and the name record.
    EXPECT_FALSE(t.isAssignableType(c));
    t.setTableMode(2);
    EXPECT_TRUE(t.isAssignableType(c));
    EXPECT_TRUE(t.isAssignableType(decl));
    EXPECT_TRUE(t.isAssignableType(red));
    EXPECT_FALSE(t.isAssignableType(task));
    const SySymbolNameRecord rec = t.makeSymbolNameRecord(x);
    char idText[16];
    std::snprintf(idText, sizeof idText, "0x%08X", uint32_t(x));
    EXPECT_EQ("x", s(rec.name));
    EXPECT_EQ(idText, s(rec.idText));
}

}  // namespace
