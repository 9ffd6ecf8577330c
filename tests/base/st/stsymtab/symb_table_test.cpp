// Symbol table core and text format: name chains and uniqueness, machine
// modes, type queries, removal, ownership of given tables, the mode word,
// neutral answers in error, the version lines, the mode word after a load,
// range spans, truncation, name folding and self-assignment.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "st_forms.h"
#include "symb_table_gen.h"

namespace {

using sttest::Form;

using sttest::dumped;
using sttest::loadFrom;
using sttest::saved;

TEST(SymbTable, NameChainsAndUniqueness)
{
    StSymbTable t;
    StSymbEntryID a, b, c, d, e;
    ASSERT_NE(nullptr, t.addEntry("x", 0, 0, ST_KIND_VAR, a));
    EXPECT_EQ(nullptr, t.addEntry("x", 0, 0, ST_KIND_VAR, b));
    EXPECT_TRUE(b.isInvalid());
    // A TO type in the same scope does not conflict with another kind...
    StSymbEntryID to1, to2;
    ASSERT_NE(nullptr, t.addEntry("T", 0, 0, ST_KIND_TOTYPE, to1));
    ASSERT_NE(nullptr, t.addEntry("T", 0, 0, ST_KIND_VAR, c));
    // ...but a second TO type does.
    EXPECT_EQ(nullptr, t.addEntry("T", 0, 0, ST_KIND_TOTYPE, to2));

    // Unique adds go last, others first.
    ASSERT_NE(nullptr, t.addEntry("x", 1, 1, ST_KIND_VAR, d));
    ASSERT_NE(nullptr, t.addEntry("x", 0, 0, ST_KIND_VAR, e, -1, false));
    StSymbEntryID head;
    t.strings()->lookup("x", head);
    EXPECT_EQ(e, head);
    EXPECT_EQ(a, t.findEntry(e)->getNext());
    EXPECT_EQ(d, t.findEntry(a)->getNext());
    EXPECT_TRUE(t.findEntry(d)->getNext().isInvalid());
    EXPECT_EQ(t.getName(a), t.getName(d));

    // Anonymous entries are never unique-checked.
    StSymbEntryID n1, n2;
    EXPECT_NE(nullptr, t.addEntry(static_cast<const char*>(nullptr), 0, 0, ST_KIND_TEMP, n1));
    EXPECT_NE(nullptr, t.addEntry(static_cast<const char*>(nullptr), 0, 0, ST_KIND_TEMP, n2));
    EXPECT_EQ("$$", std::string(t.getName(n2)->c_str()));
}

TEST(SymbTable, RemoveEntry)
{
    StSymbTable t;
    StSymbEntryID a, b, c;
    t.addEntry("n", 0, 0, ST_KIND_VAR, a);
    t.addEntry("n", 1, 1, ST_KIND_VAR, b);
    t.addEntry("m", 0, 0, ST_KIND_VAR, c);
    EXPECT_TRUE(t.removeEntry(a));  // the head: the next entry takes the name
    EXPECT_TRUE(t.isModified());
    StSymbEntryID head;
    EXPECT_NE(nullptr, t.strings()->lookup("n", head));
    EXPECT_EQ(b, head);
    EXPECT_TRUE(t.findEntry(b)->getPrev().isInvalid());
    EXPECT_TRUE(t.removeEntry(c));  // the name's last entry: the name goes
    EXPECT_EQ(nullptr, t.strings()->lookup("m", head));
    EXPECT_FALSE(t.removeEntry(c));
}

TEST(SymbTable, MachineModesAndTypeQueries)
{
    StSymbTable t;
    auto list = std::make_unique<StSymbEntryIDList>();
    const StTypeID en = t.types()->createEnumType(list, ST_DINT);
    ASSERT_NE(ST_INVALID_TID, en);
    EXPECT_EQ(uint32_t(MC_DINT), t.getMachMode(en));
    EXPECT_TRUE(t.setEnumBaseType(ST_INT));
    EXPECT_EQ(uint32_t(MC_INT), t.getMachMode(en));
    EXPECT_TRUE(t.setEnumBaseType(ST_UINT));
    EXPECT_EQ(uint32_t(MC_UINT), t.getMachMode(en));
    EXPECT_EQ(2u, (t.getModeWord() >> 16) & 0xF);  // not 3: the bits are replaced
    EXPECT_FALSE(t.setEnumBaseType(ST_LINT));

    const StTypeID st = t.types()->createStructType(StTypeIDList{ST_BOOL, ST_DINT}, 4, 8);
    EXPECT_EQ(uint32_t(MC_OBJECT), t.getMachMode(st));
    EXPECT_EQ(uint32_t(MC_OTHER), t.getMachMode(ST_VOID));
    EXPECT_EQ(uint32_t(MC_OTHER), t.getMachMode(ST_INVALID_TID));
    EXPECT_EQ(uint32_t(MC_INT), t.getMachMode(ST_INT));

    EXPECT_EQ(ST_INVALID_TID, t.typeSpecToTID(40));
    EXPECT_EQ(ST_INVALID_TID, t.typeSpecToTID(ES_SPECIAL | 40));
    EXPECT_EQ(StTypeID(ST_INT), t.typeSpecToTID(esMakeElem(ST_INT)));
    EXPECT_EQ(StTypeID(30), t.typeSpecToTID(ES_STRING));

    const StTypeID arr = t.types()->createArrayType(ST_INT, -2, 5);
    int32_t lo, hi;
    EXPECT_TRUE(t.getArrayBounds(arr, lo, hi));
    EXPECT_EQ(-2, lo);
    EXPECT_EQ(5, hi);
    EXPECT_FALSE(t.getArrayBounds(ST_INT, lo, hi));
    EXPECT_EQ(0, lo);

    const StTypeID s20 = t.getStringTypeID(20);
    EXPECT_TRUE(t.isStringType(s20));
    EXPECT_EQ(20, t.getStringCapacity(s20));
    EXPECT_EQ(-1, t.getStringCapacity(arr));
    EXPECT_TRUE(t.isEnumType(en));
}

TEST(SymbTable, GivenTablesAreOwned)
{
    // Deleted with the table (the sanitizer build reports a leak otherwise).
    auto* t = new StSymbTable(new StSyStringTable(), new StSyEntryTable(), new StSyConstValTable(),
                              new StSyRangeTable(0), new StSyRangeTable(0), new StSyTypeTable(), 0, 0);
    EXPECT_FALSE(t->hasError());
    StSymbEntryID sid;
    t->addEntry("a", 0, 0, ST_KIND_VAR, sid);
    delete t;
}

TEST(SymbTable, ModeWordSetters)
{
    StSymbTable t;
    t.addModeFlags(0x100);
    EXPECT_EQ(0x100u, t.getModeWord());
    t.setSysVarIdMode(true, true);
    EXPECT_EQ(0x13u, t.getModeWord());
    EXPECT_EQ(&t.entries()->sysVarIDMgr(), t.entries()->getIDMgr());
    t.addModeFlags(0x200);  // refused once bits 0-3 are set
    EXPECT_EQ(0x13u, t.getModeWord());
    EXPECT_EQ(StSymbEntryID(0x1234), t.sysVarIdFromAddress(0x1234FFFEu));
    EXPECT_EQ(StSymbEntryID(0x1235), t.sysVarIdFromAddress(0x1234FFFFu));
    t.setIdPair(0x00050007u);
    EXPECT_EQ(0x00050007u, t.getIdPair());
    EXPECT_TRUE(t.getAddressOption(0));
}

TEST(SymbTable, CreationOperations)
{
    StSymbTable t;
    // A TO type with its member scope, and a system variable in it whose
    // SID comes from the upper half of its address.
    const StRangeID fv = t.openValidityRange(0), fn = t.openNameSpace(0);
    const StSymbEntryID axis = t.addTOType("Axis", 0, 0, fv, fn, ST_INVALID_SID, -1);
    ASSERT_TRUE(axis.isValid());
    EXPECT_EQ(StTypeID(ST_ANYOBJECT), t.getTypeID(axis));
    t.setSysVarIdMode(true, true);
    const StSymbEntryID pos = t.addSysVar("position", axis, int32_t(0x00420000), ST_ACCESS_READONLY);
    EXPECT_EQ(0x42u, pos.get());
    EXPECT_EQ(fv, t.findEntry(pos)->getVR());
    EXPECT_EQ(fn, t.findEntry(pos)->getNR());
    EXPECT_TRUE(t.isSysVarLike(pos));
    // An address whose id carries past 16 bits: bits 4-7 go.
    t.addSysVar("big", axis, int32_t(0xFFFFFFFFu), 1);
    EXPECT_EQ(0u, t.getModeWord() & 0xF0u);

    // A TO of the type sees the type's member scope.
    StSymbEntryID to;
    t.addEntry("X", 0, 0, ST_KIND_TO, to)->setTypeRefSID(axis);
    StRangeID vr, nr;
    EXPECT_EQ(axis, t.getTOFrame(to, vr, nr));
    EXPECT_EQ(fv, vr);
    EXPECT_EQ(fn, nr);

    // A direct variable needs a direct operand of the same size.
    StASMDirectOperand word(ST_WORD, MC_UINT, 0x10, 0, true);
    EXPECT_TRUE(t.addDirectVar("in", 0, 0, &word, ST_INT, ST_INVALID_SID, 2).isValid());
    EXPECT_TRUE(t.addDirectVar("in2", 0, 0, &word, ST_DINT, ST_INVALID_SID, 2).isInvalid());

    // A structure type declaration and its members (in the declaration's
    // validity range and its own name space).
    const StRangeID sn = t.openNameSpace(0);
    StSymbEntryID decl, m1, m2;
    StSyBaseSymbEntry* d = t.addEntry("S", 0, 0, ST_KIND_TYPESPEC, decl);
    d->setTypeID(t.types()->createStructType(StTypeIDList{ST_INT, ST_INT}, 2, 4));
    d->setSubNameRange(sn);
    t.addEntry("m1", 0, sn, ST_KIND_VAR, m1);
    t.addEntry("m2", 0, sn, ST_KIND_VAR, m2);
    StSymbEntryIDVect members;
    EXPECT_EQ(0, t.getStructMembers(decl, members));
    EXPECT_EQ((StSymbEntryIDVect{m1, m2}), members);
    EXPECT_EQ(1, t.getStructMembers(decl, members));  // the list must be empty

    // A type declaration naming another resolves to the TO type.
    StSymbEntryID alias;
    t.addEntry("A", 0, 0, ST_KIND_TYPESPEC, alias)->setTypeRefSID(axis);
    EXPECT_EQ(axis, t.resolveTypeSpec(alias));
    EXPECT_TRUE(t.isSameTOType(alias, axis));

    StGlobalSymbolItem items[] = {{"g", ST_KIND_GLOBVAR, 1, ST_VIS_EXPORT, 1}};
    EXPECT_EQ(2, t.addGlobalSymbols(items, 1));  // only on an empty table
    StSymbTable empty;
    EXPECT_EQ(0, empty.addGlobalSymbols(items, 1));
    StSymbEntryID g;
    empty.strings()->lookup("g", g);
    EXPECT_EQ(ST_VIS_EXPORT, empty.findEntry(g)->getVisibility());
}

TEST(SymbTable, NameSpaceAndUsedInputs)
{
    StSymbTable t;
    StSymbEntryID ns, v, w;
    StSyBaseSymbEntry* e = t.addEntry("N", 0, 0, ST_KIND_NAMESPACE, ns);
    e->setSubValidRange(2);
    e->setSubNameRange(3);
    EXPECT_EQ(e, t.findNameSpace(2, 3));
    EXPECT_EQ(nullptr, t.findNameSpace(3, 2));

    t.addEntry("in", 0, 0, ST_KIND_VAR, v, ST_ACCESS_LOCAL);
    t.addEntry("out", 0, 0, ST_KIND_VAR, w, ST_ACCESS_READWRITE);
    t.setUsageMarking(true);
    t.registerSymbol(t.findEntry(v), false, true);
    t.registerSymbol(t.findEntry(w), false, true);
    EXPECT_EQ(1u, t.usedInputs().size());
    EXPECT_EQ(1u, t.usedInputs().count(v));
    EXPECT_FALSE(t.findEntry(v)->isMarked());  // the second mode collects instead of marking
    t.clear();
    EXPECT_TRUE(t.usedInputs().empty());
}

struct ErrorTable : StSymbTable {
    explicit ErrorTable(uint32_t status)
    {
        StSymbEntryID sid;
        addEntry("a", 0, 0, ST_KIND_VAR, sid);
        setStatus(status);
    }
};

class NeutralInError : public ::testing::TestWithParam<uint32_t> {};

TEST_P(NeutralInError, EveryQueryAnswersNeutrally)
{
    ErrorTable t(GetParam());
    EXPECT_TRUE(t.hasError());
    const StSymbEntryID sid = 0;
    StSymbEntryID out;
    StRangeID vr, nr;
    int32_t lo, hi;
    StSymbEntryIDVect list;
    EXPECT_EQ(0u, t.getEntryKind(sid));
    EXPECT_EQ(nullptr, t.getName(sid));
    EXPECT_EQ(nullptr, t.findEntry(sid));
    EXPECT_EQ(nullptr, t.findTypeNode(ST_INT));
    EXPECT_EQ(nullptr, t.getConstant(0));
    EXPECT_EQ(nullptr, t.findStdTypeNode(ST_INT));
    EXPECT_EQ(ST_INVALID_TID, t.getTypeID(sid));
    EXPECT_EQ(ST_INVALID_CID, t.getEntryCID(sid));
    EXPECT_EQ(ST_INVALID_SID, t.getTOTypeOf(sid));
    EXPECT_EQ(ST_INVALID_SID, t.getTOFrame(sid, vr, nr));
    EXPECT_EQ(ST_INVALID_SID, t.resolveTypeSpec(sid));
    EXPECT_FALSE(t.isSysVarLike(sid));
    EXPECT_EQ(ST_INVALID_TID, t.typeSpecToTID(esMakeElem(ST_INT)));
    EXPECT_EQ(ST_INVALID_TID, t.getElemTypeId(3));
    EXPECT_EQ(uint32_t(MC_OTHER), t.getMachMode(ST_INT));
    EXPECT_FALSE(t.isEnumType(ST_INT));
    EXPECT_FALSE(t.isStringType(30));
    EXPECT_EQ(0, t.getTypeSize(ST_INT, false));
    EXPECT_EQ(ST_INVALID_TID, t.getElementType(30));
    EXPECT_FALSE(t.isIndexInBounds(30, 1));
    EXPECT_FALSE(t.getArrayBounds(30, lo, hi));
    EXPECT_EQ(ST_INVALID_TID, t.getStringTypeID(20));
    EXPECT_EQ(0u, t.getFrameAlignment(ST_INT));
    EXPECT_EQ(nullptr, t.findNameSpace(0, 0));
    EXPECT_EQ(0, t.estimateSize());
    EXPECT_EQ(ST_INVALID_SID, t.getCurrentSID());
    EXPECT_EQ(nullptr, t.addEntry("b", 0, 0, ST_KIND_VAR, out));
    EXPECT_FALSE(t.removeEntry(sid));
    EXPECT_EQ(1, t.setSymbolType(sid, ST_INT, ST_INVALID_SID));
    EXPECT_EQ(1, t.setSymbolValue(sid, 0));
    int status = 0;
    EXPECT_EQ(ST_INVALID_CID, t.assignConstant(ST_INT, new StStdConstantVal(ST_INT), status));
    EXPECT_EQ(1, status);
    EXPECT_EQ(nullptr, t.createInitValue(ST_INT));
    EXPECT_EQ(ST_INVALID_VR, t.openValidityRange(0));
    t.listSymbolsOfKind(list, 0);
    t.getSymbolsInRange(list, 0, 0);
    EXPECT_TRUE(list.empty());
    // Saving fails through the stream too: a caller who ignores the result
    // must not take the empty text for a table.
    FsSecClMem sec;
    EXPECT_FALSE(t.save(sec));
    EXPECT_TRUE(sec.hasError());
    EXPECT_EQ(0u, sec.getSize());
    std::ostringstream os;
    os << t;
    EXPECT_TRUE(os.fail());
    EXPECT_TRUE(os.str().empty());
}

INSTANTIATE_TEST_SUITE_P(Status, NeutralInError, ::testing::Values(1u, 2u, 3u));

// --- text format ---

TEST(SymbTableText, VersionLines)
{
    StSymbTable t;
    t.setNewFormat(true);
    EXPECT_EQ(0u, saved(t, Form::SectionText).rfind("18 symbol-table__V4.1\r\n", 0));
    t.setNewFormat(false);
    EXPECT_EQ(0u, saved(t, Form::SectionText).rfind("19 symbol-table__V0.16\r\n", 0));
    EXPECT_EQ(0u, saved(t, Form::Stream).rfind("symbol-table__V0.16\n", 0));
}

// Golden frame of a one-entry table: everything but the standard types.
TEST(SymbTableText, GoldenSectionText)
{
    StSymbTable t;
    StSymbEntryID sid;
    t.addEntry("a", 0, 0, ST_KIND_CONST, sid)->setTypeID(ST_INT);
    int st;
    t.findEntry(sid)->setInitCID(t.assignConstant(ST_INT, new StStdConstantVal(int32_t(5), true), st));
    t.setNewFormat(true);
    const std::string text = saved(t, Form::SectionText);
    EXPECT_EQ(0u, text.rfind("18 symbol-table__V4.1\r\n1 1 a 0\r\n 25 0 0 0 ", 0));
    const std::string tail =
        " \r\n"
        "1 0 65537 2147483647 0\r\n4294967295 4294967295 7 0 0 0 4294967295 2 4294967295 \r\n"
        "1 0 0 1 7 1 5 2147483647 \r\n1 \r\n"
        "1 0 4294967295\r\n 1 0 4294967295\r\n 0 0 0 ";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
}

TEST(SymbTableText, UnknownVersionGivesStatus2)
{
    for (Form f : sttest::kForms) {
        StSymbTable src;
        StSymbEntryID sid;
        src.addEntry("a", 0, 0, ST_KIND_VAR, sid);
        std::string text = saved(src, f);
        const size_t at = text.find("V0.16");
        text.replace(at, 5, "V0.17");
        StSymbTable t;
        t.addEntry("b", 0, 0, ST_KIND_VAR, sid);
        loadFrom(t, f, text);
        EXPECT_EQ(2u, t.getStatus()) << sttest::formName(f);
        EXPECT_EQ(0u, t.strings()->size());
        EXPECT_EQ(0u, t.entries()->size());
    }
}

TEST(SymbTableText, ModeWordAfterLoad)
{
    StSymbTable a;
    a.addModeFlags(0x00000001u);
    StSymbTable t;
    loadFrom(t, Form::SectionText, saved(a, Form::SectionText));
    ASSERT_FALSE(t.hasError());
    EXPECT_EQ(uint32_t(ST_INT), t.getEnumBaseType());
    EXPECT_EQ(&t.entries()->sysVarIDMgr(), t.entries()->getIDMgr());
    EXPECT_EQ(1u, t.getModeWord());

    StSymbTable b;
    b.addModeFlags(0x00030010u);
    loadFrom(t, Form::Stream, saved(b, Form::Stream));
    ASSERT_FALSE(t.hasError());
    EXPECT_EQ(uint32_t(ST_DINT), t.getEnumBaseType());
    EXPECT_EQ(&t.entries()->sysVarIDMgr(), t.entries()->getIDMgr());
    EXPECT_EQ(0x00030010u, t.getModeWord());
}

TEST(SymbTableText, NestedScopesGetTheirSpansBack)
{
    StSymbTable src;
    StSymbEntryID sid;
    src.addEntry("g", 0, 0, ST_KIND_VAR, sid);
    const StRangeID v1 = src.openValidityRange(0), n1 = src.openNameSpace(0);
    src.addEntry("a", v1, n1, ST_KIND_VAR, sid);
    const StRangeID v2 = src.openValidityRange(v1), n2 = src.openNameSpace(n1);
    src.addEntry("b", v2, n2, ST_KIND_VAR, sid);
    src.addEntry("c", v2, n2, ST_KIND_VAR, sid);
    src.closeValidityRange(v2, true);
    src.closeNameSpace(n2, true);
    src.addEntry("d", v1, n1, ST_KIND_VAR, sid);
    for (Form f : sttest::kForms) {
        StSymbTable t;
        loadFrom(t, f, saved(src, f));
        ASSERT_FALSE(t.hasError()) << sttest::formName(f);
        const StRangeRecord* r2 = t.vrTable()->record(v2);
        const StRangeRecord* q2 = t.nrTable()->record(n2);
        ASSERT_TRUE(r2 && q2);
        EXPECT_EQ(2u, r2->startSID.get());
        EXPECT_EQ(3u, r2->endSID.get());
        EXPECT_EQ(2u, q2->startSID.get());
        EXPECT_EQ(3u, q2->endSID.get());
        EXPECT_EQ(1u, t.vrTable()->record(v1)->startSID.get());
        EXPECT_EQ(4u, t.vrTable()->record(v1)->endSID.get());
        EXPECT_EQ(0u, t.vrTable()->record(0)->startSID.get());
        StSymbEntryIDVect members;
        t.getSymbolsInRange(members, v2, n2);
        EXPECT_EQ((StSymbEntryIDVect{2, 3}), members);
    }
}

TEST(SymbTableText, TruncatedInputGivesStatus3)
{
    StSymbTable src;
    StSymbEntryID sid;
    src.addEntry("abc", 0, 0, ST_KIND_VAR, sid);
    int st;
    src.assignConstant(ST_INT, new StStdConstantVal(ST_INT), st);
    for (Form f : sttest::kForms) {
        const std::string text = saved(src, f);
        for (size_t cut : {size_t(25), text.size() / 2, text.size() - 3}) {
            StSymbTable t;
            loadFrom(t, f, text.substr(0, cut));
            EXPECT_EQ(3u, t.getStatus()) << sttest::formName(f) << " cut " << cut;
        }
    }
}

TEST(SymbTableText, FoldNamesJoinsChains)
{
    StSymbTable src;
    StSymbEntryID a, b;
    src.addEntry("Abc", 0, 0, ST_KIND_VAR, a);
    src.addEntry("abc", 1, 1, ST_KIND_VAR, b);
    StSymbTable t;
    t.setFoldNames(true);
    loadFrom(t, Form::SectionText, saved(src, Form::SectionText));
    ASSERT_FALSE(t.hasError());
    EXPECT_EQ(1u, t.strings()->size());
    StSymbEntryID head;
    ASSERT_NE(nullptr, t.strings()->lookup("abc", head));
    EXPECT_EQ(b, head);
    EXPECT_EQ(a, t.findEntry(b)->getNext());
    EXPECT_EQ(b, t.findEntry(a)->getPrev());
    EXPECT_EQ(t.getName(a), t.getName(b));

    // Three spellings: one chain, the lower-case one first.
    StSymbEntryID c;
    src.addEntry("ABC", 2, 2, ST_KIND_VAR, c);
    loadFrom(t, Form::Stream, saved(src, Form::Stream));
    ASSERT_FALSE(t.hasError());
    EXPECT_EQ(1u, t.strings()->size());
    EXPECT_EQ(c, t.findEntry(b)->getNext());
    EXPECT_EQ(a, t.findEntry(c)->getNext());
    EXPECT_TRUE(t.findEntry(a)->getNext().isInvalid());
    EXPECT_EQ(t.getName(a), t.getName(c));

    // No spelling lower case already: the first makes the folded name, the
    // second joins its chain, and both keep the name through a save.
    StSymbTable upper;
    StSymbEntryID u1, u2;
    upper.addEntry("Abc", 0, 0, ST_KIND_VAR, u1);
    upper.addEntry("ABC", 1, 1, ST_KIND_VAR, u2);
    loadFrom(t, Form::SectionText, saved(upper, Form::SectionText));
    ASSERT_FALSE(t.hasError());
    EXPECT_EQ(1u, t.strings()->size());
    EXPECT_EQ(u1, t.findSymbol("abc", 0, 0));
    EXPECT_EQ(u2, t.findSymbol("abc", 1, 1));
    StSymbTable again;
    loadFrom(again, Form::SectionText, saved(t, Form::SectionText));
    ASSERT_FALSE(again.hasError());
    for (StSymbEntryID sid : {u1, u2}) {
        ASSERT_NE(nullptr, again.getName(sid));
        EXPECT_EQ("abc", std::string(again.getName(sid)->c_str()));
    }
}

TEST(SymbTableText, SelfAssignmentChangesNothing)
{
    StSymbTable t;
    StSymbEntryID sid;
    t.addEntry("a", 0, 0, ST_KIND_VAR, sid);
    t.setSortChains(true);
    const std::string before = dumped(t);
    StSymbTable& same = t;
    t = same;
    EXPECT_EQ(before, dumped(t));
    EXPECT_FALSE(t.getNewFormat());
}

TEST(SymbTableText, EstimateSize)
{
    StSymbTable t;
    const int32_t empty = t.estimateSize();
    StSymbEntryID sid;
    t.addEntry("a", 0, 0, ST_KIND_VAR, sid);
    EXPECT_EQ(empty + 100, t.estimateSize());
}

}  // namespace
