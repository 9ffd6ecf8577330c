// Symbol lookups and names: exact-scope and nearest-visible lookups, TO
// types hiding outer names, closerOf, anonymous array types, the wrappers
// in error state, type names, array type texts, renaming, enumerations and
// the qualified names of operands (prefixes, bits, out-of-range offsets).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

std::string str(const String& s) { return s.c_str(); }

class FailingTable : public StSymbTable {
public:
    void fail() { setStatus(ST_READ_ERROR); }
};

// Global "x", function F and its sibling G each with their own scope, a
// local "x" in F.
struct Scopes {
    StSymbTable t;
    StRangeID fVR, fNR, gVR, gNR;
    StSymbEntryID globalX, localX, f, g;

    Scopes()
    {
        t.addEntry("x", 0, 0, ST_KIND_VAR, globalX);
        fVR = t.openValidityRange(0);
        fNR = t.openNameSpace(0);
        gVR = t.openValidityRange(0);
        gNR = t.openNameSpace(0);
        t.addEntry("F", 0, 0, ST_KIND_FUNC, f);
        t.addEntry("G", 0, 0, ST_KIND_FUNC, g);
        t.addEntry("x", fVR, fNR, ST_KIND_VAR, localX);
    }
};

TEST(SymbQueries, ExactAndNearestLookups)
{
    Scopes s;
    StSymbTable& t = s.t;
    StSyBaseSymbEntry* e = nullptr;
    EXPECT_EQ(s.localX, t.findSymbolEntry("x", s.fVR, s.fNR, 0, &e));
    EXPECT_EQ(s.localX, e->getID());
    EXPECT_EQ(s.globalX, t.findSymbolEntry("x", s.gVR, s.gNR));
    // findSymbol sees only the exact scope.
    EXPECT_TRUE(t.findSymbol("x", s.gVR, s.gNR, 0, &e).isInvalid());
    EXPECT_EQ(nullptr, e);
    EXPECT_EQ(s.globalX, t.findSymbol("x", 0, 0));
    EXPECT_EQ(s.localX, t.getSIDByName("x", s.fVR, s.fNR));
    EXPECT_EQ(s.globalX, t.getSIDByName("x"));
    EXPECT_TRUE(t.findSymbolEntry("nope", 0, 0).isInvalid());
    // A kind asked for is checked on the nearest declaration.
    EXPECT_EQ(s.localX, t.lookupSymbolEntry("x", s.fVR, s.fNR, ST_KIND_VAR));
    EXPECT_TRUE(t.lookupSymbolEntry("x", s.fVR, s.fNR, ST_KIND_GLOBVAR).isInvalid());

    // A TO type "x" in G's scope hides the outer variable for a lookup
    // without kind and is the answer of a lookup with kind 11.
    StSymbEntryID toType = t.addTOType("x", s.gVR, s.gNR, 0, 0, ST_INVALID_SID, -1);
    ASSERT_TRUE(toType.isValid());
    EXPECT_TRUE(t.findSymbolEntry("x", s.gVR, s.gNR).isInvalid());
    EXPECT_EQ(toType, t.findSymbolEntry("x", s.gVR, s.gNR, ST_KIND_TOTYPE));
    EXPECT_TRUE(t.findSymbolEntry("x", 0, 0, ST_KIND_TOTYPE).isInvalid());
    EXPECT_EQ(s.localX, t.findSymbolEntry("x", s.fVR, s.fNR));
    // findSymbol without kind skips the TO type, with kind 11 finds it.
    EXPECT_TRUE(t.findSymbol("x", s.gVR, s.gNR).isInvalid());
    EXPECT_EQ(toType, t.findSymbol("x", s.gVR, s.gNR, ST_KIND_TOTYPE));

    const StSyBaseSymbEntry* gx = t.findEntry(s.globalX);
    const StSyBaseSymbEntry* lx = t.findEntry(s.localX);
    EXPECT_TRUE(t.isVisibleFrom(gx, s.fVR, s.fNR));
    EXPECT_FALSE(t.isVisibleFrom(lx, s.gVR, s.gNR));
    EXPECT_EQ(2, t.closerOf(gx, lx, s.fVR, s.fNR));
    EXPECT_EQ(1, t.closerOf(lx, gx, s.fVR, s.fNR));
    EXPECT_EQ(1, t.closerOf(gx, lx, s.gVR, s.gNR));
    EXPECT_EQ(0, t.closerOf(lx, lx, s.gVR, s.gNR));
}

TEST(SymbQueries, AnonymousArrayTypesAndErrorState)
{
    Scopes s;
    StSymbTable& t = s.t;
    StSymbEntryID decl = t.addTypeDecl("S", 0, 0, ST_INT, ST_INVALID_SID, 0, 0, 0, false);
    StSymbEntryID anon;
    StSyBaseSymbEntry* a = t.addEntry(static_cast<const char*>(nullptr), 0, 0, ST_KIND_TYPESPEC, anon);
    const StTypeID arr = t.types()->createArrayType(ST_INT, -2, 5);
    a->setTypeID(arr);
    a->setTypeRefSID(decl);
    StTypeID tid;
    EXPECT_EQ(anon, t.findAnonymousArrayType(s.fVR, s.fNR, ST_INT, decl, -2, 5, tid));
    EXPECT_EQ(arr, tid);
    EXPECT_TRUE(t.findAnonymousArrayType(s.fVR, s.fNR, ST_INT, decl, -2, 6, tid).isInvalid());
    EXPECT_EQ(ST_INVALID_TID, tid);
    EXPECT_TRUE(t.findAnonymousArrayType(s.fVR, s.fNR, ST_DINT, decl, -2, 5, tid).isInvalid());
    EXPECT_TRUE(t.findAnonymousArrayType(s.fVR, s.fNR, ST_INT, ST_INVALID_SID, -2, 5, tid).isInvalid());

    FailingTable ft;
    StSymbEntryID x;
    ft.addEntry("x", 0, 0, ST_KIND_VAR, x);
    ft.fail();
    EXPECT_TRUE(ft.getSIDByName("x", 0, 0).isInvalid());
    EXPECT_TRUE(ft.lookupSymbolEntry("x", 0, 0).isInvalid());
    EXPECT_FALSE(ft.renameSymbol(x, "y"));
}

TEST(SymbQueries, TypeNames)
{
    StSymbTable t;
    EXPECT_STREQ("INT", StSymbTable::getTypeName(0x1007));
    EXPECT_STREQ("??StdType??", StSymbTable::getTypeName(0x1018));
    EXPECT_STREQ("_ANYSTRUCT", StSymbTable::getTypeName(0x2028));
    EXPECT_STREQ("STRING", StSymbTable::getTypeName(0x201E));
    EXPECT_STREQ("??StSType??", StSymbTable::getTypeName(0x2029));
    EXPECT_STREQ("??Type??", StSymbTable::getTypeName(5));

    const StTypeID s20 = t.getStringTypeID(20), s80 = t.getStringTypeID(80);
    const String a = t.getTypeNameOfTID(s20), b = t.getTypeNameOfTID(s80);
    EXPECT_EQ("STRING[20]", str(a));  // both stay distinct: returned by value
    EXPECT_EQ("STRING", str(b));
    EXPECT_EQ("STRING[254]", str(t.getTypeNameOfTID(ST_STRING_TID)));
    EXPECT_EQ("DINT", str(t.getTypeNameOfTID(ST_DINT)));

    // Structured types are named by their declaration, or "ENUM".
    const StTypeID st = t.types()->createStructType(StTypeIDList{ST_INT}, 2, 2);
    bool found = true;
    t.getTypeNameOfTID(st, ST_INVALID_SID, &found);
    EXPECT_FALSE(found);
    StSymbEntryID decl;
    t.addEntry("Pt", 0, 0, ST_KIND_TYPESPEC, decl)->setTypeID(st);
    EXPECT_EQ("Pt", str(t.getTypeNameOfTID(st, ST_INVALID_SID, &found)));
    EXPECT_TRUE(found);
    auto list = std::make_unique<StSymbEntryIDList>();
    const StTypeID en = t.types()->createEnumType(list, ST_DINT);
    EXPECT_EQ("ENUM", str(t.getTypeNameOfTID(en)));
}

TEST(SymbQueries, ArrayTypeTexts)
{
    StSymbTable t;
    StSymbEntryID v, s, anon, w, u;
    StSyBaseSymbEntry* ve = t.addEntry("v", 0, 0, ST_KIND_VAR, v);
    ve->setTypeID(t.types()->createArrayType(ST_INT, -2, 5));
    String out("T: ");
    EXPECT_TRUE(t.getArrayTypeText(ve, out));
    EXPECT_EQ("T: ARRAY [-2..5] OF INT", str(out));

    // A structured element through an anonymous array type.
    const StTypeID st = t.types()->createStructType(StTypeIDList{ST_INT}, 2, 2);
    t.addEntry("S", 0, 0, ST_KIND_TYPESPEC, s)->setTypeID(st);
    StSyBaseSymbEntry* ae = t.addEntry(static_cast<const char*>(nullptr), 0, 0, ST_KIND_TYPESPEC, anon);
    ae->setTypeID(t.types()->createArrayType(st, 0, 3));
    ae->setTypeRefSID(s);
    StSyBaseSymbEntry* we = t.addEntry("w", 0, 0, ST_KIND_VAR, w);
    we->setTypeID(ae->getTypeID());
    we->setTypeRefSID(anon);
    out = "";
    EXPECT_TRUE(t.getArrayTypeText(we, out));
    EXPECT_EQ("ARRAY [0..3] OF S", str(out));

    StSyBaseSymbEntry* ue = t.addEntry("u", 0, 0, ST_KIND_VAR, u);
    ue->setTypeID(t.types()->createArrayType(ST_ANYOBJECT, 1, 2));
    out = "";
    EXPECT_TRUE(t.getArrayTypeText(ue, out));
    EXPECT_EQ("ARRAY [1..2] OF ANYOBJECT", str(out));
    ue->setTypeID(st);  // no array
    EXPECT_FALSE(t.getArrayTypeText(ue, out));
}

TEST(SymbQueries, Rename)
{
    StSymbTable t;
    StSymbEntryID a, b, c, other, to1, to2;
    t.addEntry("a", 0, 0, ST_KIND_VAR, a);
    t.addEntry("b", 0, 0, ST_KIND_VAR, b);
    t.addEntry("a", 1, 1, ST_KIND_VAR, c);
    t.addEntry("z", 0, 0, ST_KIND_VAR, other);
    EXPECT_FALSE(t.renameSymbol(b, "a"));  // taken in the scope
    EXPECT_TRUE(t.renameSymbol(b, "b"));   // its own name
    EXPECT_FALSE(t.renameSymbol(b, nullptr));
    EXPECT_FALSE(t.renameSymbol(ST_INVALID_SID, "q"));

    // The head of "a" moves away: the chain keeps its second entry.
    EXPECT_TRUE(t.renameSymbol(a, "q"));
    EXPECT_EQ("q", str(*t.getName(a)));
    EXPECT_EQ(a, t.findSymbol("q", 0, 0));
    EXPECT_EQ(c, t.findSymbol("a", 1, 1));
    EXPECT_TRUE(t.findSymbol("a", 0, 0).isInvalid());
    // The last of "b" leaves: the name goes; onto "z" in another scope it
    // joins the chain.
    EXPECT_TRUE(t.renameSymbol(c, "z"));
    EXPECT_TRUE(t.renameSymbol(b, "a"));
    StSymbEntryID head;
    EXPECT_EQ(nullptr, t.strings()->lookup("b", head));
    EXPECT_EQ(other, t.findSymbol("z", 0, 0));
    EXPECT_EQ(c, t.findSymbol("z", 1, 1));
    EXPECT_EQ(t.getName(other), t.getName(c));

    // Two TO types of one name in one scope cannot come about by renaming.
    t.addTOType("T1", 0, 0, 0, 0, ST_INVALID_SID, -1);
    to2 = t.addTOType("T2", 0, 0, 0, 0, ST_INVALID_SID, -1);
    to1 = t.findSymbol("T1", 0, 0, ST_KIND_TOTYPE);
    EXPECT_FALSE(t.renameSymbol(to2, "T1"));
    EXPECT_TRUE(t.renameSymbol(b, "T1"));  // a variable beside a TO type is fine
    EXPECT_EQ(to1, t.findSymbol("T1", 0, 0, ST_KIND_TOTYPE));

    // A marked entry renamed keeps its new name in a marked-only save.
    StSymbTable m;
    StSymbEntryID k;
    m.addEntry("k", 0, 0, ST_KIND_VAR, k)->mark();
    ASSERT_TRUE(m.renameSymbol(k, "renamed"));
    m.setMarkedOnly(true);
    std::ostringstream os;
    m.save(os);
    EXPECT_NE(std::string::npos, os.str().find("renamed"));
}

TEST(SymbQueries, Enumerations)
{
    StSymbTable t;
    auto list = std::make_unique<StSymbEntryIDList>();
    const char* names[] = {"red", "green", "blue"};
    const int32_t values[] = {1, 5, -3};
    for (int i = 0; i < 3; ++i) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = t.addEntry(names[i], 0, 0, ST_KIND_CONST, sid);
        StConstantVal* v = new StStdConstantVal(values[i], false);
        e->setInitCID(t.constants()->addConstantVal(v));
        delete v;
        list->push_back(sid);
    }
    const StTypeID en = t.types()->createEnumType(list, ST_DINT);
    std::vector<String> got;
    ASSERT_TRUE(t.getEnumNames(en, got));
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("green", str(got[1]));
    int32_t value = 0;
    EXPECT_TRUE(t.findEnumValue(en, "blue", value));
    EXPECT_EQ(-3, value);
    EXPECT_FALSE(t.findEnumValue(en, "Blue", value));
    StEnumValueMap map;
    EXPECT_TRUE(t.getEnumValues(en, map));
    EXPECT_EQ(5, map[String("green")]);
    EXPECT_FALSE(t.getEnumNames(ST_DINT, got));
}

}  // namespace
