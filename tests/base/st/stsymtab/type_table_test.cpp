// Type nodes and the type table: standard types, creations and their
// refusals, layout queries, function-type index, marking, written form,
// readers' failures and golden node dumps.
#include <gtest/gtest.h>

#include <sstream>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "st_forms.h"

namespace {

using sttest::Form;

std::string writeForm(Form f, const StSyTypeTable& t)
{
    return sttest::write(
        f, [&](FsSecCl& s) { t.writeToSection(s); }, [&](std::ostream& os) { t.writeToStream(os); });
}

bool readForm(Form f, StSyTypeTable& t, const std::string& bytes)
{
    bool ok = false;
    sttest::read(
        f, bytes, [&](FsSecCl& s) { ok = t.readFromSection(s); }, [&](std::istream& is) { ok = t.readFromStream(is); });
    return ok;
}

std::string dumpOf(const StSyBaseTypeNode& n)
{
    std::ostringstream os;
    n.dump(os);
    return os.str();
}

TEST(TypeTableTest, StandardTypesAndCreations)
{
    StSyTypeTable t;
    EXPECT_EQ(25u, t.nodes().size());
    EXPECT_EQ(nullptr, t.findNode(24));
    EXPECT_EQ(40u, t.getNextFreeTID());
    EXPECT_EQ(1u, t.getAlignment(ST_VOID));
    EXPECT_EQ(256, t.getSize(ST_STRING_TID));
    EXPECT_EQ(ES_STRING, t.getTypeSpec(ST_STRING_TID));
    EXPECT_EQ(0x1008u, t.getTypeSpec(ST_DINT));
    EXPECT_EQ(0u, t.getTypeSpec(99));

    EXPECT_EQ(30u, t.createStringType(254));
    const StTypeID s10 = t.createStringType(10);
    EXPECT_EQ(40u, s10);
    EXPECT_EQ(s10, t.createStringType(10));
    EXPECT_EQ(12, t.getSize(s10));
    EXPECT_EQ(ST_INVALID_TID, t.createStringType(0));
    EXPECT_EQ(ST_INVALID_TID, t.createStringType(255));

    const StTypeID sub = t.createSubrangeType(ST_INT, 3, 4);
    EXPECT_EQ(0x1007u, t.getTypeSpec(sub));
    StConstEntryID lo, hi;
    EXPECT_TRUE(t.getSubrangeBounds(sub, lo, hi));
    EXPECT_EQ(3u, lo);
    EXPECT_FALSE(t.getSubrangeBounds(ST_INT, lo, hi));
    EXPECT_TRUE(lo.isInvalid());
    EXPECT_EQ(ST_INVALID_TID, t.createSubrangeType(ST_INT, ST_INVALID_CID, 4));
    EXPECT_EQ(ST_INVALID_TID, t.createSubrangeType(25, 3, 4));  // no node

    auto list = std::make_unique<StSymbEntryIDList>(StSymbEntryIDList{5, 6});
    EXPECT_EQ(ST_INVALID_TID, t.createEnumType(list, 30));
    ASSERT_TRUE(list);
    const StTypeID en = t.createEnumType(list, ST_DINT);
    EXPECT_FALSE(list);
    EXPECT_EQ(ES_ANYTYPE, t.getTypeSpec(en));
    EXPECT_TRUE(t.isEnumValueOf(en, 6));
    EXPECT_FALSE(t.isEnumValueOf(en, 7));
    EXPECT_FALSE(t.isEnumValueOf(en, ST_INVALID_SID));

    const StTypeID arr = t.createArrayType(ST_DINT, 1, 5);
    EXPECT_EQ(20, t.getSize(arr));
    EXPECT_EQ(4u, t.getAlignment(arr));
    EXPECT_EQ(ES_ANYSTRUCT, t.getTypeSpec(arr));
    EXPECT_EQ(ST_DINT, t.getElementType(arr));
    EXPECT_EQ(ST_INT, t.getElementType(ST_INT));
    EXPECT_EQ(5u, t.getElementCount(arr));
    EXPECT_TRUE(t.isIndexInBounds(arr, 5));
    EXPECT_FALSE(t.isIndexInBounds(arr, 6));
    EXPECT_EQ(16, t.getElementOffset(arr, 5, false));
    EXPECT_EQ(4, t.getElementOffset(arr, 5, true));

    const StTypeID st = t.createStructType(StTypeIDList{ST_DINT, ST_INT}, 4, 6);
    EXPECT_EQ(ES_ANYTYPE, t.getTypeSpec(st));
    const StTypeID arrSt = t.createArrayType(st, 0, 1);
    EXPECT_EQ(16, t.getSize(arrSt));  // element size 8
    EXPECT_EQ(ST_INVALID_TID, t.createStructType(StTypeIDList{}, 4, 6));
    EXPECT_TRUE(t.isStructured(arrSt));
    EXPECT_TRUE(t.isStructured(st));
    EXPECT_FALSE(t.isStructured(ST_INT));

    // Refused arrays: bounds reversed, size beyond 32 bits, element without node.
    EXPECT_EQ(ST_INVALID_TID, t.createArrayType(ST_DINT, 5, 4));
    EXPECT_EQ(ST_INVALID_TID, t.createArrayType(ST_DINT, 0, 0x20000000));
    EXPECT_EQ(ST_INVALID_TID, t.createArrayType(ST_LINT, INT32_MIN, INT32_MAX));
    EXPECT_EQ(ST_INVALID_TID, t.createArrayType(24, 0, 1));
    EXPECT_TRUE(t.isStructured(t.createArrayType(ST_BYTE, 0, 0x7FFFFFFE)));

    // Aligned sizes: 6 bytes at offset 3 in 4, 0 bytes at offset 3, no alignment.
    EXPECT_EQ(9, t.getAlignedSize(st, 3, 4, false));
    EXPECT_EQ(1, t.getAlignedSize(ST_VOID, 3, 4, false));
    EXPECT_EQ(0x7FFFFFFF, t.getAlignedSize(st, 0, 0, false));
    EXPECT_EQ(0, t.getAlignedSize(ST_VOID, 5, 0, false));
    EXPECT_EQ(0, t.getAlignedSize(99, 3, 4, false));
}

TEST(TypeTableTest, ItemCountsAndTypes)
{
    StSyTypeTable t;
    const StTypeID st = t.createStructType(StTypeIDList{ST_DINT, ST_INT}, 4, 6);
    const StTypeID arr = t.createArrayType(st, 1, 2);
    EXPECT_EQ(3u, t.getItemCount(st));
    EXPECT_EQ(7u, t.getItemCount(arr));
    EXPECT_EQ(7, t.getSize(arr, true));
    const StTypeID expected[] = {arr, st, ST_DINT, ST_INT, st, ST_DINT, ST_INT};
    for (int p = 0; p < 7; ++p) EXPECT_EQ(expected[p], t.getItemType(arr, p)) << p;
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(arr, -1));
    // Past the last item, not wrapped into the elements again.
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(arr, 7));
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(arr, 8));
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(st, 3));
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(ST_DINT, 1));
    EXPECT_EQ(3, t.getElementOffset(arr, 2, true));

    const StTypeID fn = t.createFuncType(4, StTypeIDList{ST_DINT, st}, 8, StTypeIDList{ST_INT}, 4, 12, 9, true);
    EXPECT_EQ(1u, t.getItemCount(fn));
    EXPECT_EQ(st, t.getItemType(fn, 2));
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(fn, 3));
}

TEST(TypeTableTest, FunctionTypeIndexAndMarking)
{
    StSyTypeTable t;
    const StTypeIDList post{ST_DINT}, args{ST_INT, ST_REAL};
    const StTypeID fn = t.createFuncType(4, post, 8, args, 4, 12, 9, true);
    EXPECT_EQ(ST_MEMADR, static_cast<StSyFuncTypeNode*>(t.findNode(fn))->getInstanceTID());
    EXPECT_EQ(12, t.findNode(fn)->size());
    EXPECT_EQ(8, t.getSize(fn));
    const StTypeID wide = t.createFuncType(2, post, 8, args, 8, 16, 9, false);
    EXPECT_EQ(2u, t.getAlignment(wide));        // the alignment field
    EXPECT_EQ(8u, t.getAlignment(wide, true));  // the node's own: the total alignment
    EXPECT_EQ(4u, t.getAlignment(ST_DINT, true));
    EXPECT_EQ(0u, t.getAlignment(ST_INVALID_TID, true));
    EXPECT_EQ(fn, t.findFuncType(post, 4, 8, args, 4, 12, ST_INVALID_SID, true));
    EXPECT_EQ(ST_INVALID_TID, t.findFuncType(post, 4, 8, args, 4, 12, 9, false));
    EXPECT_EQ(ST_INVALID_TID, t.findFuncType(post, 4, 8, StTypeIDList{ST_INT}, 4, 12, 9, true));
    EXPECT_EQ(ST_INVALID_TID, t.findFuncType(post, 2, 8, args, 4, 12, 9, true));
    t.setMarkNew(true);
    EXPECT_EQ(fn, t.findFuncType(post, 4, 8, args, 4, 12, 11, true));
    EXPECT_EQ(11u, t.findNode(fn)->resultSID(ST_INVALID_SID));

    // Marking: user types only; deep marks the referenced types once.
    t.setMarkNew(false);
    const StTypeID st = t.createStructType(StTypeIDList{ST_DINT}, 4, 4);
    const StTypeID arr = t.createArrayType(st, 0, 1);
    const StTypeID outer = t.createStructType(StTypeIDList{arr}, 4, 8);
    t.markType(outer, true);
    EXPECT_TRUE(t.findNode(outer)->isMarked());
    EXPECT_TRUE(t.findNode(arr)->isMarked());
    EXPECT_FALSE(t.findNode(st)->isMarked());
    StSymbEntryIDList results;
    t.markReferenced(results);
    EXPECT_TRUE(t.findNode(st)->isMarked());
    EXPECT_EQ(StSymbEntryIDList{}, results);
    t.findNode(fn)->mark();
    t.markReferenced(results);
    EXPECT_EQ(StSymbEntryIDList{11}, results);

    StSyTypeTable other;
    EXPECT_TRUE(t.typesEqual(ST_DINT, other, ST_DINT));
    EXPECT_FALSE(t.typesEqual(ST_DINT, other, ST_UDINT));
    EXPECT_FALSE(t.typesEqual(st, other, st));
}

TEST(TypeTableTest, WrittenFormAndReaders)
{
    StSyTypeTable plain;
    for (Form f : sttest::kForms) {
        StSyTypeTable back(ST_TYPETABLE_NO_STD);
        ASSERT_TRUE(readForm(f, back, writeForm(f, plain))) << sttest::formName(f);
        EXPECT_EQ(41u, back.getNextFreeTID());
        EXPECT_EQ(writeForm(f, plain), writeForm(f, back));
    }

    StSyTypeTable t;
    t.setMarkNew(true);
    const StTypeID st = t.createStructType(StTypeIDList{ST_DINT, ST_INT}, 4, 8);
    t.setMarkNew(false);
    t.createSubrangeType(ST_INT, 3, 4);
    auto list = std::make_unique<StSymbEntryIDList>(StSymbEntryIDList{5});
    t.createEnumType(list, ST_DINT);
    t.createArrayType(st, -1, 1);
    t.createFuncType(4, StTypeIDList{ST_DINT}, 8, StTypeIDList{ST_INT}, 4, 12, 9, true);
    t.createStringType(3);
    std::ostringstream before;
    t.dump(before);
    for (Form f : sttest::kForms) {
        StSyTypeTable back(ST_TYPETABLE_NO_STD);
        const std::string first = writeForm(f, t);
        ASSERT_TRUE(readForm(f, back, first)) << sttest::formName(f);
        EXPECT_EQ(first, writeForm(f, back));
        std::ostringstream after;
        back.dump(after);
        EXPECT_EQ(before.str(), after.str());
        EXPECT_EQ(46u, back.getNextFreeTID());
        EXPECT_EQ(44u, back.findFuncType(StTypeIDList{ST_DINT}, 4, 8, StTypeIDList{ST_INT}, 4, 12, 9, true));
        EXPECT_EQ(ES_STRING, back.getTypeSpec(45));
    }
    t.setMarkedOnly(true);
    const std::string marked = writeForm(Form::SectionText, t);
    EXPECT_EQ(0u, marked.find("26 "));  // 24 elementary types, STRING, the marked struct
    EXPECT_NE(std::string::npos, marked.find("40 4 40 2 8 7 4 8  "));
    EXPECT_EQ(std::string::npos, marked.find("41 1 "));

    // Reader failures: unknown kind, invalid TID; a replaced function type
    // leaves the index.
    StSyTypeTable bad(ST_TYPETABLE_NO_STD);
    EXPECT_FALSE(readForm(Form::SectionText, bad, "2 40 6 40 0 4 4 40 4 40 0 4 4  "));
    EXPECT_TRUE(bad.nodes().empty());
    StSyTypeTable badTid(ST_TYPETABLE_NO_STD);
    EXPECT_FALSE(readForm(Form::SectionText, badTid, "1 4294967295 4 1 0 4 4  "));
    EXPECT_EQ(41u, badTid.getNextFreeTID());
    StSyTypeTable replaced(ST_TYPETABLE_NO_STD);
    ASSERT_TRUE(readForm(Form::SectionText, replaced,
                         "2 40 5 40 0 1 0 0 4294967295 1 0 4294967295  40 4 40 0 1 0  "));
    EXPECT_EQ(ST_INVALID_TID, replaced.findFuncType(StTypeIDList{}, 1, 0, StTypeIDList{}, 1, 0, 1, false));
    EXPECT_EQ(ST_NODE_STRUCT, replaced.findNode(40)->kind());

    // TIDs read far apart are all found, the ones between them are not,
    // and none is left after clear.
    StSyTypeTable sparse(ST_TYPETABLE_NO_STD);
    ASSERT_TRUE(readForm(Form::SectionText, sparse,
                         "3 40 4 40 0 1 0  70000 4 70000 0 1 0  3000000000 4 3000000000 0 1 0  "));
    for (StTypeID tid : {40u, 70000u, 3000000000u}) {
        ASSERT_NE(nullptr, sparse.findNode(tid)) << tid;
        EXPECT_EQ(tid, sparse.findNode(tid)->getTID());
    }
    for (StTypeID tid : {0u, 41u, 69999u, 2999999999u}) EXPECT_EQ(nullptr, sparse.findNode(tid)) << tid;
    sparse.clear();
    for (StTypeID tid : {40u, 70000u, 3000000000u}) EXPECT_EQ(nullptr, sparse.findNode(tid)) << tid;
}

TEST(TypeTableTest, CyclicTypesFromAFile)
{
    // A structure holding itself and an array of itself.
    StSyTypeTable t(ST_TYPETABLE_NO_STD);
    ASSERT_TRUE(readForm(Form::SectionText, t,
                         "3 8 0 8 0 4 4 8  40 4 40 2 40 41 4 8  41 3 41 1 40 4 8 70 0 1  "));
    EXPECT_EQ(0u, t.getItemCount(40));
    EXPECT_EQ(0u, t.getItemCount(41));
    EXPECT_EQ(ST_INVALID_TID, t.getItemType(40, 5));
    EXPECT_EQ(1u, t.getItemCount(8));
    EXPECT_EQ(0, t.getElementOffset(41, 1, true));
    StSyTypeTable u(ST_TYPETABLE_NO_STD);
    EXPECT_FALSE(t.typesEqual(40, u, 40));
}

TEST(TypeTableTest, ArrayResizeAndNodeDumps)
{
    StSyTypeTable t;
    const StTypeID arr = t.createArrayType(ST_DINT, 1, 5);
    auto* a = static_cast<StSyArrayTypeNode*>(t.findNode(arr));
    EXPECT_FALSE(a->resize(0));
    EXPECT_TRUE(a->resize(5));
    EXPECT_TRUE(a->resize(2));
    EXPECT_EQ(2, a->getUpper());
    EXPECT_EQ(20, a->getSizeField());

    EXPECT_EQ("ETyp:  0DINT8: Al 4 Sz 4 post: ", dumpOf(*t.findNode(ST_DINT)));
    EXPECT_EQ("ETyp:  3STRING  30: Al 1 Sz 256 post:  10 [ 0 255 ] ", dumpOf(*t.findNode(ST_STRING_TID)));
    const StTypeID sub = t.createSubrangeType(ST_INT, 3, 4);
    EXPECT_EQ("ETyp:  1ANYTYPE41: Al 2 Sz 2 post:  7 ( 3 4 ) ", dumpOf(*t.findNode(sub)));
    auto list = std::make_unique<StSymbEntryIDList>(StSymbEntryIDList{5, 6});
    const StTypeID en = t.createEnumType(list, ST_DINT);
    EXPECT_EQ("ETyp:  2ANYTYPE42: Al 4 Sz 4 post:  8 Values: (SYID) 5 6", dumpOf(*t.findNode(en)));
    EXPECT_EQ("ETyp:  3ANYTYPE40: Al 4 Sz 20 post:  8 [ 1 2 ] ", dumpOf(*t.findNode(arr)));
    const StTypeID st = t.createStructType(StTypeIDList{ST_DINT, ST_INT}, 4, 8);
    EXPECT_EQ("ETyp:  443: Al 4 Sz 8 post:  8 7", dumpOf(*t.findNode(st)));
    const StTypeID fn = t.createFuncType(4, StTypeIDList{ST_DINT}, 12, StTypeIDList{ST_INT}, 4, 16, 9, true);
    EXPECT_EQ("ETyp:  544: Al 4 Sz 12 post:  8 Argumente:  7 Typ(SYID): 9 Inst: 17 GesAl: 4 GesSize 16 ",
              dumpOf(*t.findNode(fn)));
    auto* high = static_cast<StSyArrayTypeNode*>(t.findNode(t.createArrayType(ST_BYTE, 2, 3)));
    EXPECT_FALSE(high->resize(INT32_MAX));  // the upper bound would leave 32 bits
    EXPECT_EQ(3, high->getUpper());
}

}  // namespace
