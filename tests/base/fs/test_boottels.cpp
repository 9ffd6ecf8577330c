// Boot-telegram section: the telegram line, typed constants and the header.
#include <gtest/gtest.h>

#include <string>

#include "base/fs/FsSecBootTels.h"
#include "test_dsc_util.h"

using namespace dsctest;

TEST(FsSecBootTels, TelegramLinesGolden)
{
    FsSecBootTels sec;
    attachMem(sec);
    FsBootTelegram& t = sec.addTelegram(5, 7);
    EXPECT_TRUE(sec.isChanged());
    ASSERT_NE(nullptr, createTelConstVal(t, 6));
    EXPECT_EQ(0u, t.constants.back()->setULong(300));
    FsBootTelegram& s = sec.addTelegram(0xFFFF, 0x7FFFFFFF);
    createTelConstVal(s, 9)->setString("ab");
    createTelConstVal(s, 2)->setShort(-2);
    ASSERT_EQ(0u, sec.write());
    EXPECT_EQ("13 Version(0, 0)\r\n2\r\n5 7 1 6 300\r\n-1 2147483647 2 9 2 ab 2 -2\r\n", sectionBytes(sec));
    EXPECT_FALSE(sec.isChanged());
    EXPECT_FALSE(t.changed);
}

TEST(FsSecBootTels, EveryCodeRoundTrips)
{
    FsSecBootTels sec;
    attachMem(sec);
    FsBootTelegram& t = sec.addTelegram(1, 2);
    createTelConstVal(t, 0)->setBool(1);
    createTelConstVal(t, 1)->setSChar(-100);
    createTelConstVal(t, 2)->setShort(-32768);
    createTelConstVal(t, 3)->setLong(-2147483647 - 1);
    createTelConstVal(t, 4)->setUChar(255);
    createTelConstVal(t, 5)->setUShort(65535);
    createTelConstVal(t, 6)->setULong(4294967295u);
    createTelConstVal(t, 7)->setFloat(0.1f);
    createTelConstVal(t, 8)->setDouble(1.0 / 3.0);
    createTelConstVal(t, 9)->setString("with blank");
    createTelConstVal(t, 10)->setString2("");
    ASSERT_EQ(0u, sec.write());

    FsSecBootTels back;
    attachMem(back, sectionBytes(sec), 0);
    ASSERT_EQ(0u, back.read());
    ASSERT_EQ(1u, back.telegramCount());
    const FsBootTelegram& r = back.telegrams().front();
    ASSERT_EQ(11u, r.constants.size());
    unsigned char uc = 0;
    signed char sc = 0;
    int16_t sh = 0;
    int32_t l = 0;
    uint16_t us = 0;
    uint32_t ul = 0;
    float f = 0;
    double d = 0;
    String str;
    EXPECT_EQ(0u, r.constants[0]->getBool(uc));
    EXPECT_EQ(1, uc);
    EXPECT_EQ(0u, r.constants[1]->getSChar(sc));
    EXPECT_EQ(-100, sc);
    EXPECT_EQ(0u, r.constants[2]->getShort(sh));
    EXPECT_EQ(-32768, sh);
    EXPECT_EQ(0u, r.constants[3]->getLong(l));
    EXPECT_EQ(-2147483647 - 1, l);
    EXPECT_EQ(0u, r.constants[4]->getUChar(uc));
    EXPECT_EQ(255, uc);
    EXPECT_EQ(0u, r.constants[5]->getUShort(us));
    EXPECT_EQ(65535, us);
    EXPECT_EQ(0u, r.constants[6]->getULong(ul));
    EXPECT_EQ(4294967295u, ul);
    EXPECT_EQ(0u, r.constants[7]->getFloat(f));
    EXPECT_EQ(0.1f, f);
    EXPECT_EQ(0u, r.constants[8]->getDouble(d));
    EXPECT_EQ(1.0 / 3.0, d);
    EXPECT_EQ(0u, r.constants[9]->getString(str));
    EXPECT_EQ(String("with blank"), str);
    EXPECT_EQ(0u, r.constants[10]->getString2(str));
    EXPECT_TRUE(str.empty());
    // Nothing read is marked for writing back.
    EXPECT_FALSE(back.isChanged());
    EXPECT_FALSE(r.changed);
}

TEST(FsSecBootTels, ConstantsAnswerOnlyForTheirOwnCode)
{
    FsBootTelegram t;
    EXPECT_EQ(nullptr, createTelConstVal(t, 11));
    EXPECT_EQ(nullptr, createTelConstVal(t, -1));
    EXPECT_TRUE(t.constants.empty());
    EXPECT_FALSE(t.changed);

    CTelConstVal* c = createTelConstVal(t, 2);
    ASSERT_NE(nullptr, c);
    EXPECT_TRUE(t.changed);
    EXPECT_EQ(2u, c->getTypeCode());
    int32_t l = 0;
    EXPECT_EQ(1u, c->getLong(l));
    String s;
    EXPECT_EQ(1u, c->setString("x"));  // a numeric constant holds no text
    EXPECT_EQ(2u, c->getTypeCode());
    EXPECT_EQ(0u, c->setLong(9));  // takes the new code
    EXPECT_EQ(3u, c->getTypeCode());
    EXPECT_EQ(0u, c->getLong(l));
    EXPECT_EQ(9, l);

    CTelConstVal base;
    EXPECT_EQ(11u, base.getTypeCode());
    EXPECT_EQ(1u, base.setLong(1));
    EXPECT_EQ(1u, base.getString(s));
}

TEST(FsSecBootTels, ReaderRefusesOtherHeadersAndDamage)
{
    for (const char* text : {"13 Version(0, 1)\r\n0\r\n", "13 version(0, 0)\r\n0\r\n", "12 Version(0,0)\r\n0\r\n"}) {
        FsSecBootTels sec;
        attachMem(sec, text, 0);
        EXPECT_EQ(12u, sec.read()) << text;
    }
    FsSecBootTels empty;
    attachMem(empty, "13 Version(0, 0)\r\n0\r\n", 0);
    EXPECT_EQ(0u, empty.read());
    EXPECT_EQ(0u, empty.telegramCount());

    FsSecBootTels badCode;
    attachMem(badCode, "13 Version(0, 0)\r\n2\r\n1 2 1 12 5\r\n3 4 0\r\n", 0);
    EXPECT_EQ(1u, badCode.read());
    EXPECT_EQ(1u, badCode.telegramCount());

    FsSecBootTels hugeCount;
    attachMem(hugeCount, "13 Version(0, 0)\r\n2000000000\r\n1 2 0\r\n", 0);
    EXPECT_EQ(1u, hugeCount.read());
    EXPECT_EQ(0u, hugeCount.telegramCount());

    FsSecBootTels hugeConsts;
    attachMem(hugeConsts, "13 Version(0, 0)\r\n1\r\n1 2 4000000000 6 1\r\n", 0);
    EXPECT_EQ(1u, hugeConsts.read());

    FsSecBootTels cut;
    attachMem(cut, "13 Version(0, 0)\r\n1\r\n1 2 2 6 1", 0);
    EXPECT_EQ(1u, cut.read());
}

TEST(FsSecBootTels, UnchangedSectionIsNotRewritten)
{
    FsSecBootTels sec;
    attachMem(sec, "13 Version(0, 0)\r\n1\r\n1 2 0\r\n");
    ASSERT_EQ(0u, sec.read());
    EXPECT_EQ(0u, sec.write());
    EXPECT_EQ("13 Version(0, 0)\r\n1\r\n1 2 0\r\n", sectionBytes(sec));
    // A changed telegram alone makes the section write itself.
    createTelConstVal(sec.telegrams().front(), 4)->setUChar(7);
    EXPECT_EQ(0u, sec.write());
    EXPECT_EQ("13 Version(0, 0)\r\n1\r\n1 2 1 4 7\r\n", sectionBytes(sec));
}
