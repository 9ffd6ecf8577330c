// The name export: goldens of the section (header and count, entry heads
// with the unit prefix, technology-object and scope-qualified type
// references, an entry that is not exported) and the initial-value rules
// of the two export formats and the flag bits.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StNameMengeler.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

const std::string kHeader = "0           17 Name_Exports_V3.1 ";

std::string bytesOf(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.reset();
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    return out;
}

// A table with a unit entry "Unit" and helpers to declare in it.
struct Unit {
    StSymbTable t;
    StSymbEntryID unit;
    StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();

    Unit() { t.addEntry("Unit", vr, nr, ST_KIND_UNIT, unit); }

    StSyBaseSymbEntry* add(const char* name, uint32_t kind, StTypeID tid, int32_t visibility = ST_VIS_EXPORT)
    {
        return addIn(name, kind, tid, vr, nr, visibility);
    }
    StSyBaseSymbEntry* addIn(const char* name, uint32_t kind, StTypeID tid, StRangeID v, StRangeID n,
                             int32_t visibility = ST_VIS_EXPORT)
    {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = t.addEntry(name, v, n, kind, sid);
        e->setTypeID(tid);
        e->setVisibility(visibility, 0);
        e->setStorageAddress(0);
        return e;
    }
    StConstEntryID dint(int32_t value)
    {
        StConstantVal* v = new StStdConstantVal(ST_DINT, false);
        static_cast<StStdConstantVal*>(v)->SetLongVal(value);
        return t.constants()->addConstantVal(v);
    }

    // The entries' export after the header (nothing when it failed).
    std::string exported(const StSymbEntryIDList& ids, bool unitFlag, StNameMengeler& x)
    {
        FsSecClMem s;
        if (!x.beginExport(&t, &s, unit, unitFlag) || !x.exportList(ids)) return "failed";
        x.endExport();
        return bytesOf(s).substr(kHeader.size());
    }
    std::string exported(const StSymbEntryIDList& ids, bool unitFlag = false)
    {
        StNameMengeler x;
        return exported(ids, unitFlag, x);
    }
};

}  // namespace

TEST(NameExport, HeaderAndCount)
{
    Unit u;
    StNameMengeler x;
    FsSecClMem s;
    EXPECT_FALSE(x.beginExport(nullptr, &s, u.unit, false));
    EXPECT_FALSE(x.beginExport(&u.t, nullptr, u.unit, false));
    ASSERT_TRUE(x.beginExport(&u.t, &s, u.unit, false));
    EXPECT_FALSE(x.beginExport(&u.t, &s, u.unit, false));  // one export at a time
    uint32_t count = 0;
    EXPECT_FALSE(x.beginImport(&u.t, &s, count));
    x.endExport();
    EXPECT_EQ(bytesOf(s), kHeader);

    StSymbEntryIDList ids;
    for (int i = 0; i < 26; ++i) {
        const std::string name = "s" + std::to_string(i);
        ids.push_back(u.add(name.c_str(), ST_KIND_TYPESPEC, u.t.types()->createSubrangeType(ST_DINT, u.dint(0), u.dint(9)))
                          ->getID()
                          .get());
    }
    FsSecClMem many;
    ASSERT_TRUE(x.beginExport(&u.t, &many, u.unit, false));
    ASSERT_TRUE(x.exportList(ids));
    x.endExport();
    const std::string bytes = bytesOf(many);
    EXPECT_EQ(bytes.substr(0, 33), "1a          17 Name_Exports_V3.1 ");
    EXPECT_EQ(bytes.substr(33, 14), "4 2 s0 4 2 s1 ");
    EXPECT_EQ(x.readHeader(&many, count), 2);
    EXPECT_EQ(count, 26u);
}

TEST(NameExport, EntryGoldens)
{
    Unit u;
    // A private global with an initial value.
    StSyBaseSymbEntry* g = u.add("g", ST_KIND_GLOBVAR, ST_DINT, ST_VIS_PRIVATE);
    g->setStorageAddress(200);
    g->setAccessMode(ST_ACCESS_READWRITE);
    g->setInitCID(u.dint(5));
    // A technology-object type and a variable of it.
    StSyBaseSymbEntry* axis = u.add("Axis", ST_KIND_TOTYPE, ST_ANYOBJECT, ST_VIS_PRIVATE);
    StSyBaseSymbEntry* v = u.add("v", ST_KIND_VAR, ST_ANYOBJECT);
    v->setTypeRefSID(axis->getID());
    // A type declared in the name spaces a and b, and a variable of it.
    const StRangeID vr1 = u.t.openValidityRange(u.vr), nr1 = u.t.openNameSpace(u.nr);
    StSyBaseSymbEntry* a = u.add("a", ST_KIND_NAMESPACE, ST_VOID);
    a->setSubValidRange(vr1);
    a->setSubNameRange(nr1);
    const StRangeID vr2 = u.t.openValidityRange(vr1), nr2 = u.t.openNameSpace(nr1);
    StSyBaseSymbEntry* b = u.addIn("b", ST_KIND_NAMESPACE, ST_VOID, vr1, nr1);
    b->setSubValidRange(vr2);
    b->setSubNameRange(nr2);
    StSyBaseSymbEntry* type = u.addIn("T", ST_KIND_TYPESPEC, ST_INT, vr2, nr2);
    StSyBaseSymbEntry* w = u.add("w", ST_KIND_VAR, ST_INT);
    w->setTypeRefSID(type->getID());

    const struct {
        const char* what;
        StSyBaseSymbEntry* entry;
        bool unitFlag;
        int32_t typeVisibility;
        const char* bytes;
    } cases[] = {
        {"private global", g, false, 0, "7 1 g 4 DINT 4 4 1 0 8 1 5  92 4 0 "},
        {"private global, unit flag", g, true, 0, "7 7 g@@Unit 4 DINT 4 4 1 0 8 1 5  92 4 0 "},
        {"TO type, unit flag", axis, true, 0, "11 4 Axis 0 "},
        {"variable of a TO type", v, true, 0, "6 1 v 7 TO#Axis 8 8 0 0 1 0 "},
        {"type of nested scopes", w, false, ST_VIS_EXPORT, "6 1 w 5 a#b#T 2 2 0 0 1 0 "},
        {"private type, unit flag", w, true, ST_VIS_PRIVATE, "6 1 w 12 T@@Unit@a@b@ 2 2 0 0 1 0 "},
        {"private type, no flag", w, false, ST_VIS_PRIVATE, "6 1 w 5 a#b#T 2 2 0 0 1 0 "},
    };
    for (const auto& c : cases) {
        type->setVisibility(c.typeVisibility, 0);
        StNameMengeler x;
        x.setAddressBases(100, 8);
        EXPECT_EQ(u.exported({c.entry->getID().get()}, c.unitFlag, x), c.bytes) << c.what;
    }
}

TEST(NameExport, AnEntryThatIsNotExportedStopsTheExport)
{
    Unit u;
    StSyBaseSymbEntry* t = u.add("t", ST_KIND_TYPESPEC, ST_DINT);
    StSyBaseSymbEntry* f = u.add("f", ST_KIND_TYPESPEC,
                                 u.t.types()->createFuncType(4, {ST_INT}, 4, {}, 4, 4, ST_INVALID_SID, false));
    StSyBaseSymbEntry* c = u.add("c", ST_KIND_CONST, ST_DINT);
    FsSecClMem s;
    StNameMengeler x;
    ASSERT_TRUE(x.beginExport(&u.t, &s, u.unit, false));
    EXPECT_FALSE(x.exportList({t->getID().get(), f->getID().get(), c->getID().get()}));
    EXPECT_EQ(x.exportedCount(), 1u);
    x.endExport();
    EXPECT_EQ(bytesOf(s), "1           17 Name_Exports_V3.1 0 1 t 4 DINT 4 4 0 13 1 f ");

    // A missing entry or type node writes nothing.
    StSyBaseSymbEntry* bad = u.add("bad", ST_KIND_VAR, 999);
    EXPECT_EQ(u.exported({bad->getID().get()}), "failed");
    EXPECT_EQ(u.exported({0xFFFFu}), "failed");
    EXPECT_FALSE(x.exportList({c->getID().get()}));  // no export running
}

TEST(NameExport, InitialValueRules)
{
    Unit u;
    StSyTypeTable& types = *u.t.types();
    const StTypeID structTid = types.createStructType({ST_DINT}, 4, 4);
    const StTypeID arrayOfDint = types.createArrayType(ST_DINT, 0, 1);
    const StTypeID arrayOfStruct = types.createArrayType(structTid, 0, 1);
    const StTypeID func = types.createFuncType(4, {ST_INT}, 4, {}, 4, 4, ST_INVALID_SID, false);

    StStdConstantVal five(ST_DINT, false), zero(ST_DINT, false);
    five.SetLongVal(5);
    zero.SetLongVal(0);
    StStructConstantVal record;
    record.addMember(five.clone());
    StPckInitConstantVal package;
    package.setArray(1, zero.clone(), 4);

    const struct {
        const char* what;
        int32_t format;
        uint32_t flags;
        const StConstantVal* value;
        StTypeID tid;
        const char* bytes;  // null: the writer fails
    } cases[] = {
        // An initial value is "1", the kind, the value-only form (which
        // ends with its own blank) and one more blank; "0 " without one.
        {"no value", 2, 0, nullptr, ST_DINT, "0 "},
        {"elementary", 2, 0, &five, ST_DINT, "1 0 8 1 5  "},
        {"flag bit 1: no values", 2, 2, &five, ST_DINT, "0 "},
        {"flag bit 2: a default value", 2, 4, &zero, ST_DINT, "0 "},
        {"flag bit 2: not default", 2, 4, &five, ST_DINT, "1 0 8 1 5  "},
        {"function type", 2, 0, &five, func, "0 "},
        {"structure, format 2", 2, 0, &record, structTid, "1 1 1 0 8 1 5  "},
        {"structure, format 1", 1, 0, &record, structTid, "0 "},
        {"array of DINT, format 1", 1, 0, &record, arrayOfDint, "1 1 1 0 8 1 5  "},
        {"array of structures, format 1", 1, 0, &record, arrayOfStruct, "0 "},
        {"package init withheld, format 1", 1, 0, &package, structTid, nullptr},
        // The package identifier and function number follow "17 ".
        {"package init, format 2", 2, 0, &package, structTid, "1 4 1 4 0 8 1 0 17 "},
    };
    for (const auto& c : cases) {
        FsSecClMem s;
        StNameMengeler x;
        x.setExportFormat(c.format);
        x.setFlags(c.flags);
        ASSERT_TRUE(x.beginExport(&u.t, &s, u.unit, false));
        const bool ok = x.writeInitValue(c.value, u.t.findTypeNode(c.tid));
        EXPECT_EQ(ok, c.bytes != nullptr) << c.what;
        if (!c.bytes) continue;
        const std::string written = bytesOf(s).substr(kHeader.size());
        if (c.value && c.value->getKind() == ST_CONST_PCKINIT) {
            EXPECT_EQ(written.substr(0, std::string(c.bytes).size()), c.bytes) << c.what;
            // ... and end with the function number, its blank and the field's.
            ASSERT_GE(written.size(), 3u);
            EXPECT_EQ(written.substr(written.size() - 2), "  ") << c.what;
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(written[written.size() - 3]))) << c.what;
        } else {
            EXPECT_EQ(written, c.bytes) << c.what;
        }
    }

    // A variable's value is left out when it is its type's own value, and
    // for a task variable that is not read-only.
    StSyBaseSymbEntry* typed = u.add("n", ST_KIND_TYPESPEC, ST_DINT);
    typed->setInitCID(u.dint(7));
    StSyBaseSymbEntry* own = u.add("own", ST_KIND_VAR, ST_DINT);
    own->setTypeRefSID(typed->getID());
    own->setInitCID(typed->getInitCID());
    StSyBaseSymbEntry* task = u.add("task", ST_KIND_VAR, ST_DINT);
    task->setInitCID(u.dint(3));
    task->setFirstFlag(1);
    EXPECT_EQ(u.exported({own->getID().get()}), "6 3 own 1 n 4 4 0 0 1 0 ");
    EXPECT_EQ(u.exported({task->getID().get()}), "6 4 task 4 DINT 4 4 0 0 1 0 ");
    task->setAccessMode(ST_ACCESS_READONLY);
    EXPECT_EQ(u.exported({task->getID().get()}), "6 4 task 4 DINT 4 4 1 0 8 1 3  0 2 0 ");
    StNameMengeler formatOne;
    formatOne.setExportFormat(1);
    EXPECT_EQ(u.exported({own->getID().get()}, false, formatOne), "6 3 own 1 n 4 4 1 0 8 1 7  0 1 0 ");
}

TEST(NameExport, DeepAnonymousArraysStopTheExport)
{
    for (const int levels : {64, 70}) {
        Unit u;
        StTypeID tid = ST_INT;
        StSymbEntryID sid = ST_INVALID_SID;
        for (int i = 0; i < levels; ++i) {
            sid = u.t.addTypeDecl(nullptr, u.vr, u.nr, tid, sid, 0, 0, ST_INVALID_RANGE, false);
            ASSERT_TRUE(sid.isValid());
            tid = u.t.getTypeID(sid);
        }
        StSyBaseSymbEntry* v = u.add("v", ST_KIND_VAR, tid);
        v->setTypeRefSID(sid);
        const std::string bytes = u.exported({v->getID().get()});
        if (levels == 64) {
            EXPECT_EQ(bytes.substr(0, 15), "6 1 v 2 $$ 2 $$");
            EXPECT_NE(bytes.find("3 INT 2 2 0 1 "), std::string::npos);
        } else {
            EXPECT_EQ(bytes, "failed");
        }
    }
}
