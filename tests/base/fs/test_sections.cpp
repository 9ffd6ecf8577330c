// Object-file section classes: byte-exact forms, older versions, the
// step-wise protocol and readers fed with damaged content.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/fs/FsSections.h"
#include "test_dsc_util.h"

using namespace dsctest;

namespace {

const GUID kG1 = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const GUID kG2 = {0xA0B0C0D0, 0x1111, 0x2222, {0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x00}};
const char* const kG1Text = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
const char* const kG2Text = "{A0B0C0D0-1111-2222-3344-556677889900}";
const char* const kNullText = "{00000000-0000-0000-0000-000000000000}";

std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = char((v >> (8 * i)) & 0xFF);
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------
// Constant-value table

TEST(FsSecCValue, ThreeValuesGoldenAndRoundTrip)
{
    FsSecCValue sec(3);
    attachMem(sec);
    EXPECT_FALSE(sec.writeValue(0x11223344));
    EXPECT_FALSE(sec.writeValue(0));
    EXPECT_TRUE(sec.writeValue(0xFFFFFFFF));
    EXPECT_EQ(0u, sec.getError());

    std::string expect = std::string("22 ValueTable_Version 1.0\r\n3\r\n>") + le32(0x11223344) + le32(0) +
                         le32(0xFFFFFFFF);
    EXPECT_EQ(expect, sectionBytes(sec));

    std::vector<uint32_t> values;
    EXPECT_EQ(0u, sec.readValues(values));
    EXPECT_EQ((std::vector<uint32_t>{0x11223344, 0, 0xFFFFFFFF}), values);
    EXPECT_FALSE(sec.isBinary());
}

TEST(FsSecCValue, HexCountAndTextValues)
{
    // 26 values announce "1a"; a body without ">" is read as text.
    FsSecCValue sec(26);
    attachMem(sec);
    for (uint32_t i = 0; i < 26; ++i) sec.writeValue(i);
    std::string bytes = sectionBytes(sec);
    EXPECT_EQ(0u, bytes.find("22 ValueTable_Version 1.0\r\n1a\r\n>"));

    FsSecCValue text;
    attachMem(text, "22 ValueTable_Version 1.0\r\n2\r\nff 10 ");
    std::vector<uint32_t> values;
    EXPECT_EQ(0u, text.readValues(values));
    EXPECT_EQ((std::vector<uint32_t>{0xFF, 0x10}), values);
}

TEST(FsSecCValue, DamagedContentIsRefused)
{
    std::vector<uint32_t> values;
    FsSecCValue wrong;
    attachMem(wrong, "22 ValueTable_Version 2.0\r\n1\r\n>abcd");
    EXPECT_EQ(12u, wrong.readValues(values));
    EXPECT_TRUE(wrong.isWrongVersion());

    // A count far beyond the bytes present fails without allocating it.
    FsSecCValue huge;
    attachMem(huge, "22 ValueTable_Version 1.0\r\nFFFFFFFF\r\n>abcd");
    EXPECT_EQ(1u, huge.readValues(values));
    EXPECT_TRUE(values.empty());

    FsSecCValue truncated;
    attachMem(truncated, std::string("22 ValueTable_Version 1.0\r\n2\r\n>") + le32(7) + "ab");
    EXPECT_EQ(1u, truncated.readValues(values));
}

// ---------------------------------------------------------------------------
// Object-file header

namespace {

FsObjHeadData sampleHead()
{
    FsObjHeadData d;
    d.name = "unit one";
    d.codeGuid = kG1;
    d.text1 = "first text";
    d.text2 = "";
    d.idPair1 = {1, 2};
    d.guid1 = kG2;
    d.idPair2 = {0xFFFFFFFF, 4};
    d.guid2 = kG1;
    d.guid3 = kG2;
    d.flags = 0xBEEF;
    FsAddrTranslEntry e;
    e.guid = kG2;
    e.kind = 3;
    e.area = 0x104;
    e.long1 = -5;
    d.translations.push_back(e);
    d.guid4 = kG1;
    d.guid5 = GUID_NULL;
    d.guid6 = kG2;
    d.longs[0] = -1;
    d.longs[4] = 2147483647;
    d.bools[1] = true;
    return d;
}

}  // namespace

TEST(FsSecObjHead, WritesVersion41AndReadsItBack)
{
    FsSecObjHead sec;
    attachMem(sec);
    FsObjHeadData d = sampleHead();
    sec.setData(d);
    ASSERT_EQ(0u, sec.write());
    EXPECT_FALSE(sec.isChanged());

    std::string expect = std::string("1\r\n27 ObjectFileFormat_Version4.1\r\n8 unit one\r\n") + kG1Text +
                         " \r\n10 first text\r\n0 \r\n1 2\r\n" + kG2Text + " \r\n4294967295 4\r\n" + kG1Text +
                         " \r\n" + kG2Text + " \r\nbeef\r\n1 " + kG2Text + "  104 -5 2147483647 0 3 0\r\n\r\n" +
                         kG1Text + " \r\n" + kNullText + " \r\n" + kG2Text +
                         " \r\n-1\r\n0\r\n0\r\n0\r\n2147483647\r\n0\r\n1\r\n0\r\n";
    EXPECT_EQ(expect, sectionBytes(sec));

    FsSecObjHead back;
    attachMem(back, expect, 0);
    EXPECT_EQ(0u, back.read());
    EXPECT_EQ(FsSecObjHead::FORMAT_41, back.format());
    EXPECT_TRUE(back.data() == d);
}

TEST(FsSecObjHead, UnchangedOrReadOnlyHeaderIsNotWritten)
{
    FsSecObjHead sec;
    attachMem(sec, "keep");
    EXPECT_EQ(0u, sec.write());
    EXPECT_EQ("keep", sectionBytes(sec));

    FsSecObjHead ro;
    attachMem(ro, "keep", 0);
    ro.setData(sampleHead());
    EXPECT_EQ(0u, ro.write());
    EXPECT_EQ("keep", sectionBytes(ro));
}

TEST(FsSecObjHead, Version04YieldsFourEntriesForGuid3)
{
    std::string text = std::string("1\r\n28 ObjectFileFormat_Version 0.4\r\n3 old\r\n") + kG1Text +
                       " \r\n1 a\r\n1 b\r\n5 6\r\n" + kG1Text + " \r\n7 8\r\n" + kNullText + " \r\n" + kG2Text +
                       " \r\n10\r\n20\r\n30\r\n40\r\n50\r\n1\r\n0\r\n1\r\n";
    FsSecObjHead sec;
    attachMem(sec, text, 0);
    ASSERT_EQ(0u, sec.read());
    EXPECT_EQ(FsSecObjHead::FORMAT_04, sec.format());
    const FsObjHeadData& d = sec.data();
    EXPECT_EQ(String("old"), d.name);
    EXPECT_EQ(5u, d.idPair1.first);
    EXPECT_EQ(8u, d.idPair2.second);
    EXPECT_EQ(50, d.longs[4]);
    EXPECT_TRUE(d.bools[0] && !d.bools[1] && d.bools[2]);
    EXPECT_TRUE(d.guid4 == kG2);  // = GUID 3
    EXPECT_TRUE(d.guid5 == kG1);  // = GUID 1
    EXPECT_TRUE(d.guid6 == GUID_NULL);
    ASSERT_EQ(4u, d.translations.size());
    const uint32_t kinds[4] = {2, 4, 3, 5}, areas[4] = {770, 776, 260, 272};
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(d.translations[i].guid == kG2);
        EXPECT_EQ(kinds[i], d.translations[i].kind);
        EXPECT_EQ(areas[i], d.translations[i].area);
        EXPECT_EQ(0x7FFFFFFF, d.translations[i].long1);
        EXPECT_EQ(0x7FFFFFFF, d.translations[i].long2);
        EXPECT_EQ(0, d.translations[i].long3);
    }
}

TEST(FsSecObjHead, Version321MakesEntriesForNonNullPairs)
{
    std::string text = std::string("1\r\n29 ObjectFileFormat_Version 3.21\r\n0 \r\n") + kG1Text +
                       " \r\n0 \r\n0 \r\n1 1\r\n" + kNullText + " \r\n2 2\r\n" + kG2Text + " \r\n" + kNullText +
                       " \r\n" + kNullText + " 1\r\n" + kG1Text + " 776\r\n" + kNullText + " 3\r\n" + kG2Text +
                       " 272\r\n" + kNullText + " 5\r\n" + kG1Text + " \r\n" + kG2Text +
                       " \r\n1\r\n2\r\n3\r\n4\r\n5\r\n0\r\n0\r\n0\r\n";
    FsSecObjHead sec;
    attachMem(sec, text, 0);
    ASSERT_EQ(0u, sec.read());
    EXPECT_EQ(FsSecObjHead::FORMAT_321, sec.format());
    const FsObjHeadData& d = sec.data();
    EXPECT_TRUE(d.guid6 == kG2);  // = GUID 2
    EXPECT_TRUE(d.guid4 == kG1);
    ASSERT_EQ(2u, d.translations.size());
    EXPECT_TRUE(d.translations[0].guid == kG1);
    EXPECT_EQ(776u, d.translations[0].area);
    EXPECT_TRUE(d.translations[1].guid == kG2);
    EXPECT_EQ(272u, d.translations[1].area);
    EXPECT_EQ(5, d.longs[4]);
}

TEST(FsSecObjHead, UnknownVersionAndDamage)
{
    FsSecObjHead wrong;
    attachMem(wrong, "1\r\n27 ObjectFileFormat_Version9.9\r\n0 \r\n", 0);
    EXPECT_EQ(12u, wrong.read());
    EXPECT_TRUE(wrong.isWrongVersion());

    // A translation count that the section cannot hold.
    FsSecObjHead sec;
    attachMem(sec);
    sec.setData(sampleHead());
    ASSERT_EQ(0u, sec.write());
    std::string bytes = sectionBytes(sec);
    size_t at = bytes.find("beef\r\n1 ");
    ASSERT_NE(std::string::npos, at);
    bytes.replace(at + 6, 1, "99999999");
    FsSecObjHead bad;
    attachMem(bad, bytes, 0);
    EXPECT_EQ(1u, bad.read());

    FsSecObjHead cut;
    attachMem(cut, bytes.substr(0, 60), 0);
    EXPECT_EQ(1u, cut.read());
}

TEST(FsAddrTranslEntry, RecordIsLittleEndianFieldByField)
{
    FsAddrTranslEntry e;
    e.guid = kG1;
    e.kind = 2;
    e.area = 0x302;
    e.long1 = -2;
    uint8_t rec[40];
    e.toRecord(rec);
    std::string got(reinterpret_cast<char*>(rec), 40);
    std::string expect = std::string("\x67\x45\x23\x01\xAB\x89\xEF\xCD\x01\x23\x45\x67\x89\xAB\xCD\xEF", 16) +
                         le32(2) + le32(0x302) + le32(0xFFFFFFFE) + le32(0x7FFFFFFF) + le32(0) + le32(0);
    EXPECT_EQ(expect, got);
}

TEST(FsHmiTranslate_ObjHead, TranslatesThroughRanges)
{
    FsHmiTranslate_ObjHead t;
    t.addRange(0x2000, 0x100, 0x9000, true);
    t.addRange(0x1000, 0x100, 0x5000, false);
    uint32_t a = 0x2010;
    EXPECT_TRUE(t.translate(a));
    EXPECT_EQ(0x9010u, a);
    a = 0x1050;
    EXPECT_TRUE(t.translate(a));
    EXPECT_EQ(0x1050u, a);
    a = 0x2100;  // just past the range
    EXPECT_FALSE(t.translate(a));
    a = 0x10;
    EXPECT_FALSE(t.translate(a));

    StBubAddressTranslate* copy = nullptr;
    t.clone(copy);
    ASSERT_NE(nullptr, copy);
    a = 0x20FF;
    EXPECT_TRUE(copy->translate(a));
    EXPECT_EQ(0x90FFu, a);
    delete copy;
}

// ---------------------------------------------------------------------------
// Code

TEST(FsSecCode, TextWordsCommentsThenBinary)
{
    std::string text = std::string("# a comment line\r\n1f  ab\r\n# more\r\n>12 CodeSec_V2_0\r\n") + le32(0xDEADBEEF);
    FsSecCode sec;
    attachMem(sec, text, 0);
    uint32_t w = 0;
    ASSERT_TRUE(sec.readWord(w));
    EXPECT_EQ(0x1Fu, w);
    ASSERT_TRUE(sec.readWord(w));
    EXPECT_EQ(0xABu, w);
    ASSERT_TRUE(sec.readWord(w));
    EXPECT_EQ(0xDEADBEEFu, w);
    EXPECT_TRUE(sec.isBinary());
    EXPECT_FALSE(sec.readWord(w));
    EXPECT_EQ(1u, sec.getError());

    FsSecCode wrong;
    attachMem(wrong, ">12 CodeSec_V1_0\r\nabcd", 0);
    EXPECT_FALSE(wrong.readWord(w));
    EXPECT_EQ(9u, wrong.getError());
}

TEST(FsSecCode, WriterMatchesReader)
{
    FsSecCode sec;
    attachMem(sec);
    sec.writeWord(0x10);
    sec.writeBinaryHeader();
    sec.writeWord(0x01020304);
    EXPECT_EQ(std::string("10 >12 CodeSec_V2_0\r\n") + le32(0x01020304), sectionBytes(sec));
    sec.setBinary(false);
    sec.reset();
    uint32_t w = 0;
    EXPECT_TRUE(sec.readWord(w));
    EXPECT_EQ(0x10u, w);
    EXPECT_TRUE(sec.readWord(w));
    EXPECT_EQ(0x01020304u, w);
}

// ---------------------------------------------------------------------------
// Data

TEST(FsSecData, RecordsRoundTripAndZerosAreSkippedWithoutWriteAll)
{
    FsSecData sec;
    attachMem(sec);
    FsDataValue a;
    a.setLong(FsDataValue::T_DINT, -7);
    a.address = 16;
    a.size = 4;
    FsDataValue zero;
    zero.setULong(FsDataValue::T_UDINT, 0);
    zero.address = 20;
    zero.size = 4;
    FsDataValue negZero;
    negZero.setFloat(-0.0f);
    negZero.address = 24;
    negZero.size = 4;
    FsDataValue d;
    d.setDouble(0.5);
    d.address = 32;
    d.size = 8;

    EXPECT_TRUE(sec.isWriteAll());
    sec.setWriteAll(false);
    EXPECT_TRUE(sec.writeValue(a));
    EXPECT_TRUE(sec.writeValue(zero));
    EXPECT_TRUE(sec.writeValue(negZero));
    EXPECT_TRUE(sec.writeValue(d));
    EXPECT_EQ("2 16 4 -7 9 32 8 0.5 ", sectionBytes(sec));

    sec.reset();
    std::vector<FsDataValue> back;
    uint32_t total = 0;
    ASSERT_TRUE(sec.readValues(back, total));
    ASSERT_EQ(2u, back.size());
    EXPECT_EQ(-7, back[0].getLong());
    EXPECT_EQ(16, back[0].address);
    EXPECT_EQ(0.5, back[1].getDouble());
    EXPECT_EQ(12u, total);
}

TEST(FsSecData, SixtyFourBitAndUnsetValuesAreRefused)
{
    FsSecData sec;
    attachMem(sec);
    FsDataValue big;
    big.type = FsDataValue::T_ULINT;
    EXPECT_FALSE(sec.writeValue(big));
    EXPECT_EQ(1u, sec.getError());
    EXPECT_EQ("", sectionBytes(sec));

    FsSecData unset;
    attachMem(unset);
    EXPECT_FALSE(unset.writeValue(FsDataValue()));
    EXPECT_EQ(1u, unset.getError());

    FsSecData rd;
    attachMem(rd, "3 0 8 5 ", 0);
    std::vector<FsDataValue> back;
    uint32_t total = 0;
    EXPECT_FALSE(rd.readValues(back, total));
    EXPECT_EQ(1u, rd.getError());
}

TEST(FsSecData, RewriteLeavesNoStaleRecords)
{
    FsSecData sec;
    attachMem(sec, "2 0 4 111111 2 4 4 222222 ");
    FsDataValue a;
    a.setLong(FsDataValue::T_DINT, 1);
    EXPECT_TRUE(sec.writeValue(a));
    EXPECT_EQ("2 2147483647 0 1 ", sectionBytes(sec));
}

// ---------------------------------------------------------------------------
// Program state

TEST(FsSecProgState, HeaderIsAlways40Bytes)
{
    for (uint32_t state : {0u, 4294967295u}) {
        FsSecProgState sec;
        attachMem(sec);
        sec.setState(state);
        ASSERT_EQ(0u, sec.write());
        std::string bytes = sectionBytes(sec);
        ASSERT_EQ(40u, bytes.size());
        std::string head = "18\r\n12 PrgState 0.2\r\n" + std::to_string(state) + "\r\n";
        EXPECT_EQ(head + std::string(40 - head.size(), ' '), bytes);
        EXPECT_EQ(0u, sec.tell());  // back where the section was

        FsSecProgState back;
        attachMem(back, bytes, 0);
        EXPECT_EQ(0u, back.read());
        EXPECT_EQ(state, back.getState());
    }
}

TEST(FsSecProgState, RewriteKeepsTheRecordsBehindTheHeader)
{
    FsSecProgState sec;
    attachMem(sec);
    sec.setState(1);
    ASSERT_EQ(0u, sec.write());
    sec.seek(40, 0);
    sec << "records";
    sec.seek(42, 0);
    sec.setState(123456);
    ASSERT_EQ(0u, sec.write());
    EXPECT_EQ(42u, sec.tell());
    std::string bytes = sectionBytes(sec);
    EXPECT_EQ(47u, bytes.size());
    EXPECT_EQ("records", bytes.substr(40));
    EXPECT_EQ(0u, bytes.find("18\r\n12 PrgState 0.2\r\n123456\r\n"));
}

TEST(FsSecProgState, WrongIdOrVersion)
{
    FsSecProgState id;
    attachMem(id, "17\r\n12 PrgState 0.2\r\n5\r\n", 0);
    EXPECT_EQ(1u, id.read());
    EXPECT_EQ(0u, id.getState());

    FsSecProgState ver;
    attachMem(ver, "18\r\n12 PrgState 0.3\r\n5\r\n", 0);
    EXPECT_EQ(1u, ver.read());
    EXPECT_TRUE(ver.isWrongVersion());
}

// ---------------------------------------------------------------------------
// Line numbers

TEST(FsSecLinNr, LinesWithFileNamesRoundTrip)
{
    FsSecLinNr sec;
    attachMem(sec);
    sec.setHeadValue(-3);
    sec.addFileName("a.st");
    sec.addFileName("b st");
    FsLineRecord r1;
    r1.key = 100;
    r1.fileName = "b st";
    r1.line = 12;
    r1.column = 4;
    r1.extra = -1;
    r1.values = {7, -8};
    FsLineRecord r2;
    r2.key = 104;
    FsLineRecord bad;
    bad.fileName = "c.st";
    EXPECT_TRUE(sec.writeLine(r1));
    EXPECT_FALSE(sec.writeLine(bad));
    EXPECT_TRUE(sec.writeLine(r2));
    EXPECT_EQ(0u, sec.write());

    std::string bytes = sectionBytes(sec);
    std::string head = "5\r\n-3 2";
    EXPECT_EQ(head + std::string(40 - head.size(), ' '), bytes.substr(0, 40));
    EXPECT_EQ("\r\n2 4 a.st 4 b st \r\n100 1 12 4 -1 2 7 -8 \r\n104 4294967295 0 0 0 0 \r\n", bytes.substr(40));

    FsSecLinNr back;
    attachMem(back, bytes, 0);
    ASSERT_EQ(0u, back.read());
    EXPECT_EQ(2u, back.lineCount());
    FsLineRecord got;
    ASSERT_TRUE(back.readLine(got));
    EXPECT_EQ(String("b st"), got.fileName);
    EXPECT_EQ((std::vector<int32_t>{7, -8}), got.values);
    ASSERT_TRUE(back.readLine(got));
    EXPECT_TRUE(got.fileName.empty());
    EXPECT_EQ(104, got.key);
    EXPECT_FALSE(back.readLine(got));
}

TEST(FsSecLinNr, ExtendedFormAndForeignIds)
{
    FsSecLinNr sec;
    attachMem(sec);
    sec.setExtended(true);
    FsLinNrNamed n;
    n.name = "fb";
    n.value1 = 1;
    n.value2 = 2;
    n.value3 = 3;
    sec.addNamed(n);
    FsLineRecord r;
    EXPECT_TRUE(sec.writeLine(r));
    EXPECT_EQ(0u, sec.write());
    std::string bytes = sectionBytes(sec);

    FsSecLinNr back;
    attachMem(back, bytes, 0);
    ASSERT_EQ(0u, back.read());
    EXPECT_TRUE(back.isExtended());
    ASSERT_EQ(1u, back.named().size());
    EXPECT_EQ(String("fb"), back.named()[0].name);
    EXPECT_EQ(3u, back.named()[0].value3);

    FsSecLinNr foreign;
    attachMem(foreign, "7\r\n1 1" + std::string(34, ' '), 0);
    EXPECT_EQ(1u, foreign.read());
    EXPECT_EQ(0x7FFFFFFF, foreign.headValue());
    EXPECT_EQ(0u, foreign.lineCount());
}

TEST(FsSecLinNr, LinesAddedAfterReadingAreAppended)
{
    FsSecLinNr sec;
    attachMem(sec);
    sec.addFileName("a.st");
    FsLineRecord r1;
    r1.key = 1;
    r1.fileName = "a.st";
    r1.line = 10;
    ASSERT_TRUE(sec.writeLine(r1));
    ASSERT_EQ(0u, sec.write());

    FsSecLinNr again;
    attachMem(again, sectionBytes(sec));
    ASSERT_EQ(0u, again.read());
    // A name that is not in the list the section holds cannot be referred to.
    again.addFileName("late.st");
    FsLineRecord late;
    late.fileName = "late.st";
    EXPECT_FALSE(again.writeLine(late));
    FsLineRecord r2;
    r2.key = 2;
    r2.fileName = "a.st";
    r2.line = 20;
    ASSERT_TRUE(again.writeLine(r2));
    ASSERT_EQ(0u, again.write());
    std::string bytes = sectionBytes(again);
    EXPECT_EQ("5\r\n0 2", bytes.substr(0, 6));
    EXPECT_EQ("\r\n1 4 a.st \r\n1 0 10 0 0 0 \r\n2 0 20 0 0 0 \r\n", bytes.substr(40));

    FsSecLinNr back;
    attachMem(back, bytes, 0);
    ASSERT_EQ(0u, back.read());
    FsLineRecord got;
    ASSERT_TRUE(back.readLine(got));
    EXPECT_EQ(1, got.key);
    ASSERT_TRUE(back.readLine(got));
    EXPECT_EQ(2, got.key);
    EXPECT_EQ(20, got.line);
}

// ---------------------------------------------------------------------------
// Tables

TEST(FsSecUnUseTable, Version32RoundTripAnd10Reader)
{
    FsSecUnUseTable sec;
    attachMem(sec);
    FsUnitUsedEntry e;
    e.name = "unit";
    e.typeName = "type x";
    e.guid = kG1;
    e.version = 3;
    e.used = true;
    e.number = 1;
    e.flags = 12;
    e.guid2 = kG2;
    ASSERT_TRUE(sec.writeTable({e}));
    std::string expect = std::string("26 UnitUsingTable_Version 3.2\r\n1 4 unit 6 type x ") + kG1Text +
                         "  3 1 1 12 " + kG2Text + "   \r\n";
    EXPECT_EQ(expect, sectionBytes(sec));

    std::vector<FsUnitUsedEntry> back;
    ASSERT_TRUE(sec.readTable(back));
    ASSERT_EQ(1u, back.size());
    EXPECT_EQ(String("type x"), back[0].typeName);
    EXPECT_TRUE(back[0].guid2 == kG2);
    EXPECT_EQ(12, back[0].flags);

    FsSecUnUseTable old;
    attachMem(old, std::string("26 UnitUsingTable_Version 1.0\r\n2 1 a 1 b ") + kG1Text + " 1 0 2 0 1 c 0 " +
                       kG2Text + " 2 1 1 -1 \r\n",
              0);
    back.clear();
    ASSERT_TRUE(old.readTable(back));
    ASSERT_EQ(2u, back.size());
    EXPECT_TRUE(back[1].guid == kG2);
    EXPECT_EQ(-1, back[1].flags);
    EXPECT_TRUE(back[1].guid2 == GUID_NULL);

    for (const char* v : {"26 UnitUsingTable_Version 3.1\r\n0 ", "27 UnitUsingTable_Version 1.0 \r\n0 "}) {
        FsSecUnUseTable other;
        attachMem(other, v, 0);
        back.clear();
        EXPECT_FALSE(other.readTable(back)) << v;
    }
}

TEST(FsSecUnUseTable, OversizedCountIsRefused)
{
    FsSecUnUseTable sec;
    attachMem(sec, "26 UnitUsingTable_Version 3.2\r\n4000000000 ", 0);
    std::vector<FsUnitUsedEntry> back;
    EXPECT_FALSE(sec.readTable(back));
    EXPECT_EQ(1u, sec.getError());
}

TEST(FsSecTables, FuncExportAndAlarmReferences)
{
    FsSecUnFuncExportTable fe;
    attachMem(fe);
    ASSERT_TRUE(fe.writeTable({{1, -2}, {3, 4}}));
    EXPECT_EQ("27 FuncExportTable_Version 0.1\r\n2 1 -2  3 4  \r\n", sectionBytes(fe));
    std::vector<FsFuncExport> feBack;
    ASSERT_TRUE(fe.readTable(feBack));
    ASSERT_EQ(2u, feBack.size());
    EXPECT_EQ(-2, feBack[0].second);

    FsSecAlarmUsing al;
    attachMem(al);
    FsAlarmRef r;
    r.name = "alarm 1";
    r.id = 7;
    r.value = -7;
    ASSERT_TRUE(al.writeTable({r}));
    EXPECT_EQ("27 AlarmReferences_Version 1.0\r\n1 7 alarm 1 7 -7  \r\n", sectionBytes(al));
    std::vector<FsAlarmRef> alBack;
    ASSERT_TRUE(al.readTable(alBack));
    ASSERT_EQ(1u, alBack.size());
    EXPECT_EQ(String("alarm 1"), alBack[0].name);

    FsSecAlarmUsing wrong;
    attachMem(wrong, "27 AlarmReferences_Version 1.1\r\n0 ", 0);
    EXPECT_FALSE(wrong.readTable(alBack));
    EXPECT_TRUE(wrong.isWrongVersion());
}

TEST(FsSecExtTable, FiveListsRoundTrip)
{
    FsSecExtTable sec;
    attachMem(sec);
    FsExtUnitRef u;
    u.name = "u";
    u.kind = -1;
    u.value3 = 9;
    u.ids = {1, 65535};
    FsExtTypeRef t2;
    t2.name = "t2";
    t2.typeId = RTTypeID(kG1, 1, 2);
    t2.number = 5;
    FsExtTypeName t4;
    t4.name = "t4";
    t4.typeId = RTTypeID(kG2, 3, 4);
    FsExtTypeNumber t5;
    t5.typeId = RTTypeID(kG1, 0, 0);
    t5.number = 6;
    std::vector<FsExtUnitRef> units{u};
    std::vector<FsExtTypeRef> types2{t2};
    std::vector<FsExtTypeName> names{t4};
    std::vector<FsExtTypeNumber> numbers{t5};
    ASSERT_TRUE(sec.writeTable(&units, &types2, nullptr, &names, &numbers));
    std::string bytes = sectionBytes(sec);
    EXPECT_EQ(0u, bytes.find("23 ExternTable_Version 1.0\r\n1 1 u -1 0 0 9 0 2 1 65535   \r\n1 2 t2 "));
    EXPECT_EQ(bytes.size() - 5, bytes.rfind("\r\n0\r\n"));

    std::vector<FsExtUnitRef> u2;
    std::vector<FsExtTypeRef> t3;
    std::vector<FsExtTypeNumber> n5;
    ASSERT_TRUE(sec.readTable(&u2, nullptr, &t3, nullptr, &n5));
    ASSERT_EQ(1u, u2.size());
    EXPECT_EQ((std::vector<uint16_t>{1, 65535}), u2[0].ids);
    EXPECT_EQ(-1, u2[0].kind);
    EXPECT_TRUE(t3.empty());
    ASSERT_EQ(1u, n5.size());
    EXPECT_EQ(6, n5[0].number);
    EXPECT_TRUE(n5[0].typeId == RTTypeID(kG1, 0, 0));
}

// ---------------------------------------------------------------------------
// Data description: the step-wise protocol

TEST(FsSecDataDescr, StepWiseProtocolAndItsOrder)
{
    FsSecDataDescr sec;
    attachMem(sec);
    uint32_t count = 2;
    uint32_t n = 1;
    EXPECT_FALSE(sec.writeNumber(1));  // not open
    ASSERT_TRUE(sec.openTable(true, count));
    EXPECT_FALSE(sec.openTable(true, count));  // once per direction
    EXPECT_FALSE(sec.beginUnit(n));             // numbers first
    EXPECT_TRUE(sec.writeNumber(0x1A));
    EXPECT_TRUE(sec.writeNumber(255));
    EXPECT_FALSE(sec.writeNumber(3));  // only two announced
    EXPECT_FALSE(sec.writeEntry("x", {}));
    n = 2;
    ASSERT_TRUE(sec.beginUnit(n));
    EXPECT_FALSE(sec.beginUnit(n));  // entries of the unit remain
    EXPECT_TRUE(sec.writeEntry("first", {1, 0x10}));
    EXPECT_TRUE(sec.writeEntry("second", {}));
    EXPECT_FALSE(sec.writeEntry("third", {}));
    EXPECT_EQ("27 DataDescription_Version 1.0\r\n2\r\n1a ff \r\n2\r\n5 first 2 1 10 \r\n6 second 0 \r\n",
              sectionBytes(sec));

    uint32_t rc = 0, v = 0;
    ASSERT_TRUE(sec.openTable(false, rc));
    EXPECT_EQ(2u, rc);
    EXPECT_TRUE(sec.readNumber(v));
    EXPECT_EQ(0x1Au, v);
    EXPECT_TRUE(sec.readNumber(v));
    EXPECT_EQ(255u, v);
    uint32_t units = 0;
    ASSERT_TRUE(sec.beginUnit(units));
    EXPECT_EQ(2u, units);
    String name;
    std::vector<uint32_t> list;
    ASSERT_TRUE(sec.readEntry(name, list));
    EXPECT_EQ(String("first"), name);
    EXPECT_EQ((std::vector<uint32_t>{1, 0x10}), list);
    ASSERT_TRUE(sec.readEntry(name, list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(sec.readEntry(name, list));
}

TEST(FsSecDataDescr, ReaderRefusesAnotherVersion)
{
    FsSecDataDescr sec;
    attachMem(sec, "27 DataDescription_Version 2.0\r\n0\r\n", 0);
    uint32_t count = 0;
    EXPECT_FALSE(sec.openTable(false, count));
    EXPECT_TRUE(sec.isWrongVersion());
    EXPECT_FALSE(sec.openTable(true, count));  // read-only
}

// ---------------------------------------------------------------------------
// Every class reports its type id.

TEST(FsSections, TypeIds)
{
    EXPECT_EQ(2u, FsSecObjHead().typeId());
    EXPECT_EQ(3u, FsSecData().typeId());
    EXPECT_EQ(4u, FsSecCode().typeId());
    EXPECT_EQ(5u, FsSecLinNr().typeId());
    EXPECT_EQ(6u, FsSecSymbTab().typeId());
    EXPECT_EQ(11u, FsSecExtTable().typeId());
    EXPECT_EQ(15u, FsSecUnInterface().typeId());
    EXPECT_EQ(16u, FsSecUnUseTable().typeId());
    EXPECT_EQ(17u, FsSecUnFuncExportTable().typeId());
    EXPECT_EQ(18u, FsSecProgState().typeId());
    EXPECT_EQ(19u, FsSecAlarmUsing().typeId());
    EXPECT_EQ(20u, FsSecUnDataEx().typeId());
    EXPECT_EQ(21u, FsSecDataDescr().typeId());
    EXPECT_EQ(22u, FsSecCValue().typeId());
}
