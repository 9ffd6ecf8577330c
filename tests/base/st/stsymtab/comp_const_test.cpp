// Composite constants: element walks, assignment, the readers' limits
// (unknown kinds, overlong texts, deep nesting), golden bodies, value-only
// forms, place dumps and data images.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "const_forms.h"

namespace {

using namespace consttest;

StStdConstantVal* intVal(uint32_t type, int32_t v)
{
    auto* c = new StStdConstantVal(type);
    if (c->SetLongVal(v)) c->SetULongVal(uint32_t(v));
    return c;
}

String text(const std::string& s) { return String(s.data(), int(s.size())); }

TEST(CompConstTest, StructureElements)
{
    StStructConstantVal s;
    s.setTypeRef(40);
    StStdConstantVal* first = intVal(ST_INT, 1);
    s.addMember(first);
    auto* arr = new StIntArrayConstantVal(4, intVal(ST_INT, 2), 2, true);
    s.addMember(arr);
    EXPECT_EQ(5u, s.elementCount());
    EXPECT_EQ(first, s.elementAt(0));
    EXPECT_EQ(arr->firstElement(), s.elementAt(2));
    EXPECT_EQ(arr->firstElement(), s.elementAt(4));
    EXPECT_EQ(nullptr, s.elementAt(5));
    StConstantVal* e = s.firstElement();
    s.nextElement(e);
    EXPECT_EQ(arr, e);
    s.nextElement(e);
    EXPECT_EQ(nullptr, e);
    EXPECT_FALSE(s.hasSingleElement());
    EXPECT_FALSE(s.isDefault());

    StStructConstantVal other(s);
    EXPECT_TRUE(constValEqual(&s, &other));
    EXPECT_EQ(0, other.assign(&s));
    other.setTypeRef(41);
    EXPECT_EQ(2, other.assign(&s));
    EXPECT_EQ(1, other.assign(first));
    StStructConstantVal empty;
    EXPECT_EQ(2, empty.assign(&s));  // member counts differ
    EXPECT_TRUE(empty.isDefault());
}

TEST(CompConstTest, GoldenBodiesAndValueForms)
{
    StStructConstantVal s;
    s.setTypeRef(40);
    s.addMember(intVal(ST_BOOL, 1));
    int status = 1;
    auto* str = new StStringConstantVal(41, "a b", 3, status);
    EXPECT_EQ(0, status);
    s.addMember(str);
    EXPECT_EQ("1 40 2 0 1 1 1 1 2147483647 2 1 41 3 a b 2147483647 2147483647 ", writeBody(Form::SectionText, s));
    EXPECT_EQ(writeBody(Form::SectionText, s), writeBody(Form::Stream, s));
    EXPECT_EQ("2 0 1 1 1 2 3 3 a b ", writeValueOnly(Form::SectionText, s));

    StPckInitConstantVal p;
    p.setArray(2, intVal(ST_DINT, -1), 4);
    StPackageId id = kNullVersionStamp;
    id.Guid.Data1 = 0xA;
    id.Major = 2;
    id.Minor = 3;
    p.setPackageInit(50, id, 7);
    EXPECT_EQ("1 2 4 0 1 8 -1 1 2147483647  50 {0000000A-0000-0000-0000-000000000000}  2 3  7 2147483647 ",
              writeBody(Form::SectionText, p));
    EXPECT_EQ("2 4 0 8 -1 1 17 {0000000A-0000-0000-0000-000000000000}  2 3  7 ", writeValueOnly(Form::SectionText, p));
    StPckInitConstantVal q;
    ASSERT_TRUE(readValueOnly(Form::SectionText, q, writeValueOnly(Form::SectionText, p)));
    EXPECT_EQ(17u, q.getTypeRef());
    StPackageId got;
    EXPECT_EQ(7, q.getPackageInit(got));
    EXPECT_EQ(id, got);
    EXPECT_EQ(-1, StStructConstantVal().getPackageInit(got));

    EXPECT_EQ(" ( PCK-InitFunction: Package {0000000A-0000-0000-0000-000000000000} 2 3  FCT 7 Type 50 with base  ( "
              "IntArrayConst: elems 2  esize 4  Adr: 7fffffff Seg: fb000000 shared (dint -1)     Adr: 7fffffff Seg: "
              "fb000000 shared ))",
              dumpOf(p));
    EXPECT_EQ(" ( StructConst: tid 40   Adr: 7fffffff Seg: fb000000 shared \n     (bool 1)     Adr: 7fffffff Seg: "
              "fb000000 shared \n       StringConst: tid 41 HeadSpec: 10  l: 3  Adr: 7fffffff Seg: fb000000 shared \n"
              "   'a b')",
              dumpOf(s));
    EXPECT_EQ("{(bool 1), 'a b'}", valueText(s));
}

TEST(CompConstTest, ReaderLimits)
{
    // An unknown member kind stops the body; the members before it stay.
    StStructConstantVal s;
    EXPECT_FALSE(readBody(Form::SectionText, s, "1 40 3 0 1 1 1 1 2147483647 7 0 "));
    ASSERT_EQ(1u, s.members()->size());
    StIntArrayConstantVal a;
    EXPECT_FALSE(readBody(Form::SectionText, a, "1 5 2 9 1 "));
    EXPECT_EQ(0u, a.getElems());
    EXPECT_EQ(nullptr, a.firstElement());
    // A negative count, or one whose repetitions reach past the image's
    // 32-bit addresses, is refused: no element, count 0. The body is a real
    // one (one structure element, esize 4) with its count replaced.
    for (int32_t n : {-1, 1073741824, 1073741823}) {
        for (Form f : sttest::kForms) {
            StIntArrayConstantVal one(1, new StStructConstantVal(), 4, true);
            std::string bytes = writeBody(f, one);
            if (f == Form::SectionBinary)
                std::memcpy(&bytes[1], &n, 4);
            else
                bytes.replace(0, 4, "1 " + std::to_string(n) + " ");
            StIntArrayConstantVal back(2, new StStructConstantVal(), 4, true);
            const bool fits = n == 1073741823;
            EXPECT_EQ(fits, readBody(f, back, bytes)) << sttest::formName(f) << " " << n;
            EXPECT_EQ(fits ? uint32_t(n) : 0u, back.getElems());
            EXPECT_EQ(fits, back.firstElement() != nullptr);
        }
    }

    // 300 characters: kept, length 254, the image writes 254.
    StStringConstantVal str;
    EXPECT_FALSE(str.setText(text(std::string(255, 'x'))));
    EXPECT_TRUE(str.setText(text(std::string(254, 'x'))));
    ASSERT_TRUE(readBody(Form::SectionText, str, "1 41 300 " + std::string(300, 'y') + " 0 "));
    EXPECT_EQ(254, str.getTextLength());
    String t;
    uint8_t len = 0;
    str.getText(t, len);
    EXPECT_EQ(300, t.length());
    MemData d;
    EXPECT_EQ(0, str.writeImage(d.data, 0));
    EXPECT_EQ(2u + 254u, d.records().size());

    // Nesting deeper than the limit fails instead of recursing on.
    std::string deep;
    for (int i = 0; i < 1000; ++i) deep += "1 1 0 3 ";
    StIntArrayConstantVal top;
    EXPECT_FALSE(readBody(Form::SectionText, top, deep));
}

TEST(CompConstTest, OrderAndEquality)
{
    int status;
    StStringConstantVal a(41, "abc", 3, status), b(41, "abc", 3, status);
    b.setHeadSpec(11);
    EXPECT_FALSE(constValEqual(&a, &b));
    EXPECT_TRUE(constValLess(&a, &b));
    StStructConstantVal shortS, longS;
    shortS.addMember(intVal(ST_INT, 1));
    longS.addMember(intVal(ST_INT, 1));
    longS.addMember(nullptr);
    EXPECT_TRUE(constValLess(&shortS, &longS));
    EXPECT_FALSE(constValEqual(&shortS, &longS));
    EXPECT_EQ("{(int 1), NULL}", valueText(longS));
    StIntArrayConstantVal e1, e2;
    EXPECT_TRUE(constValEqual(&e1, &e2));
    EXPECT_FALSE(constValLess(&e1, &e2));
    StStructConstantVal unshared(shortS, false);
    EXPECT_TRUE(constValLess(&unshared, &shortS));
}

// Member arrays come from the pool of their byte size while they fit one
// (up to 15 members), from the heap beyond: growing, copying, reading and
// deleting structures of every size return each block to the pool it came
// from, so every pool ends with as many blocks in use as it began with.
TEST(CompConstTest, MemberArraysReturnToTheirPools)
{
    auto inUse = [] {
        std::vector<uint32_t> n;
        for (int i = 0; i < tvfalloc::kGlobalPoolCount; ++i) n.push_back(tvfalloc::globalPool(i)->blocksInUse());
        return n;
    };
    const std::vector<uint32_t> before = inUse();
    for (int members : {0, 1, 2, 3, 15, 16, 17, 40}) {
        auto grown = std::make_unique<StStructConstantVal>();
        for (int i = 0; i < members; ++i) grown->addMember(intVal(ST_INT, i));
        std::unique_ptr<StConstantVal> copy(grown->clone());
        const std::string body = writeBody(Form::SectionText, *grown);
        StStructConstantVal read;
        ASSERT_TRUE(readBody(Form::SectionText, read, body)) << members;
        EXPECT_TRUE(constValEqual(copy.get(), &read)) << members;
        StConstValVector* given = new StConstValVector{intVal(ST_DINT, members)};
        StStructConstantVal taken(40, given, true);
        EXPECT_EQ(nullptr, given);
    }
    EXPECT_EQ(before, inUse());
}

TEST(CompConstTest, Images)
{
    MemData d;
    int status;
    StStringConstantVal s(41, "hi", 2, status);
    s.setStorageAddress(100);
    EXPECT_EQ(0, s.writeImage(d.data, 1));
    auto recs = d.records();
    ASSERT_EQ(4u, recs.size());
    EXPECT_EQ(101, recs[0].address);
    EXPECT_EQ(2u, recs[0].getULong());
    EXPECT_EQ(102, recs[1].address);
    EXPECT_EQ(103, recs[2].address);
    EXPECT_EQ(uint32_t('h'), recs[2].getULong());
    EXPECT_EQ(104, recs[3].address);

    MemData e;
    StIntArrayConstantVal arr(100, intVal(ST_INT, -2), 2, true);
    arr.firstElement()->setStorageAddress(8);
    EXPECT_EQ(0, arr.writeImage(e.data, 0));
    recs = e.records();
    ASSERT_EQ(1u, recs.size());
    EXPECT_EQ(100, recs[0].size);
    EXPECT_EQ(8, recs[0].address);
    EXPECT_EQ(-2, recs[0].getLong());

    MemData f;
    auto* st = new StStructConstantVal();
    st->addMember(intVal(ST_DINT, 5));
    st->members()->front()->setStorageAddress(0);
    StIntArrayConstantVal sarr(100, st, 12, true);
    EXPECT_EQ(0, sarr.writeImage(f.data, 4));
    recs = f.records();
    ASSERT_EQ(100u, recs.size());
    EXPECT_EQ(4, recs[0].address);
    EXPECT_EQ(4 + 99 * 12, recs[99].address);
    EXPECT_EQ(2, StIntArrayConstantVal().writeImage(f.data, 0));
}

TEST(CompConstTest, ConstantElem)
{
    StConstantElem byValue(intVal(ST_INT, 3));
    EXPECT_EQ(ST_INVALID_CID, byValue.getCID());
    StConstantElem copy(byValue);
    ASSERT_NE(nullptr, copy.getValue());
    EXPECT_NE(byValue.getValue(), copy.getValue());
    std::ostringstream os;
    copy.dump(os);
    EXPECT_EQ("(int 3)     Adr: 7fffffff Seg: fb000000 shared  Count: 1", os.str());
    copy.setCID(5, true);
    EXPECT_EQ(nullptr, copy.getValue());
    EXPECT_EQ(5u, copy.getCID());
    StConstantElem ref(9, 12);
    EXPECT_EQ(ST_INVALID_CID, ref.getCID());  // a SyID is set
    std::ostringstream o2;
    ref.dump(o2);
    EXPECT_EQ(" SyID: 12 CID: 9 Count: 1", o2.str());
    ref.clearSyID();
    EXPECT_EQ(9u, ref.getCID());
    ref.setCount(64);
    EXPECT_EQ(64, ref.getCount());
    std::ostringstream o3;
    ref.dump(o3);
    EXPECT_EQ(" CID: 9 Count: 64", o3.str());
}

}  // namespace
