// Section stream: text and binary forms, the 16384-byte window, sticky
// errors, lending and copying; a run of writes against the stream's own.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "base/fs/FsSecCl.h"
#include "base/fs/FsSecClMem.h"
#include "base/fs/FsSecRun.h"
#include "co/TraceApi.h"

namespace {

// The whole content of a section, read through its stream.
std::string content(FsSecCl& s)
{
    s.flush();
    IStream* st = s.stream();
    STATSTG stat{};
    st->Stat(&stat, STATFLAG_NONAME);
    std::string out(size_t(stat.cbSize.QuadPart), '\0');
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    st->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    if (!out.empty()) st->Read(&out[0], ULONG(out.size()), &got);
    out.resize(got);
    return out;
}

// A section holding the given bytes, positioned at 0.
struct Sec {
    FsSecClMem s;
    explicit Sec(const std::string& bytes = std::string())
    {
        if (!bytes.empty()) s.writeBytes(bytes.data(), uint32_t(bytes.size()));
        s.seek(0, 0);
    }
};

}  // namespace

TEST(SecStreamText, NumbersNeedTheirSeparators)
{
    Sec a;
    a.s << uint32_t(12);
    a.s.putBlank();
    a.s << uint32_t(34);
    a.s.seek(0, 0);
    uint32_t x = 0, y = 0;
    a.s >> x >> y;
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(12u, x);
    EXPECT_EQ(34u, y);

    Sec b;
    b.s << uint32_t(12) << uint32_t(34);
    b.s.seek(0, 0);
    b.s >> x;
    EXPECT_EQ(1234u, x);
    b.s >> y;
    EXPECT_EQ(uint32_t(FSSEC_EOF), b.s.getError());  // nothing left
}

TEST(SecStreamText, StickyErrorsStopEverything)
{
    Sec a("12x 5 ");
    uint32_t x = 7, y = 7;
    a.s >> x;
    EXPECT_EQ(uint32_t(FSSEC_ULONG_SYNTAX), a.s.getError());
    EXPECT_EQ(2u, a.s.getErrorPos());
    EXPECT_EQ(7u, x);
    a.s >> y;
    EXPECT_EQ(7u, y);
    EXPECT_EQ(uint32_t(FSSEC_ULONG_SYNTAX), a.s.getError());
    a.s << uint32_t(1);  // writers stop as well
    EXPECT_EQ(6u, a.s.getSize());

    Sec b("-3y");
    int32_t i = 0;
    b.s >> i;
    EXPECT_EQ(uint32_t(FSSEC_LONG_SYNTAX), b.s.getError());

    Sec c("40000 ");
    int16_t sh = 1;
    c.s >> sh;
    EXPECT_EQ(uint32_t(FSSEC_SHORT_RANGE), c.s.getError());
    EXPECT_EQ(1, sh);

    Sec d("2 ");
    bool bl = false;
    d.s >> bl;
    EXPECT_EQ(uint32_t(FSSEC_BOOL), d.s.getError());
    EXPECT_TRUE(bl);

    Sec e("65536 256 ");
    uint16_t us = 0;
    e.s >> us;
    EXPECT_EQ(uint32_t(FSSEC_USHORT_RANGE), e.s.getError());
    Sec f("256 ");
    uint8_t uc = 0;
    f.s >> uc;
    EXPECT_EQ(uint32_t(FSSEC_UCHAR_RANGE), f.s.getError());

    f.s.clearError();
    EXPECT_EQ(0u, f.s.getError());
}

TEST(SecStreamText, SignedAndUnsignedLimits)
{
    Sec a;
    a.s << int32_t(-2147483647 - 1);
    a.s.putBlank();
    a.s << uint32_t(0xFFFFFFFFu);
    a.s.putBlank();
    a.s << int16_t(-32768);
    a.s.putBlank();
    a.s.setBase(16);
    a.s << uint32_t(0xBEEFu);
    a.s.putBlank();
    a.s << int32_t(-1);
    a.s.putBlank();
    a.s.setBase(10);
    EXPECT_EQ("-2147483648 4294967295 -32768 beef ffffffff ", content(a.s));

    a.s.seek(0, 0);
    int32_t i = 0;
    uint32_t u = 0, h = 0, h2 = 0;
    int16_t s = 0;
    a.s >> i >> u >> s;
    a.s.setBase(16);
    a.s >> h >> h2;
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(-2147483647 - 1, i);
    EXPECT_EQ(0xFFFFFFFFu, u);
    EXPECT_EQ(-32768, s);
    EXPECT_EQ(0xBEEFu, h);
    EXPECT_EQ(0xFFFFFFFFu, h2);

    // Shorts in hexadecimal: written as the 32-bit pattern of the value and
    // read back through it; a positive value above 32767 is out of range.
    Sec x;
    x.s.setBase(16);
    x.s << int16_t(-2);
    x.s.putBlank();
    x.s << int16_t(0x7FFF);
    x.s.putBlank();
    x.s << uint16_t(0xABCD);
    x.s.putBlank();
    EXPECT_EQ("fffffffe 7fff abcd ", content(x.s));
    x.s.seek(0, 0);
    int16_t s1 = 0, s2 = 0, s3 = 0;
    x.s >> s1 >> s2;
    EXPECT_EQ(0u, x.s.getError());
    EXPECT_EQ(-2, s1);
    EXPECT_EQ(0x7FFF, s2);
    x.s >> s3;
    EXPECT_EQ(uint32_t(FSSEC_SHORT_RANGE), x.s.getError());
    EXPECT_EQ(0, s3);

    // Every count of digits, at both of its ends, in the bases 10, 16 and
    // another one.
    Sec d;
    for (uint32_t v : {0u, 9u, 10u, 99u, 100u, 999u, 1000u, 9999u, 10000u, 99999u, 100000u, 999999u, 1000000u,
                       9999999u, 10000000u, 99999999u, 100000000u, 999999999u, 1000000000u, 4294967295u}) {
        d.s << v;
        d.s.putBlank();
    }
    d.s << int32_t(-7) << int32_t(-1000000000);
    d.s.putBlank();
    d.s.setBase(16);
    for (uint32_t v : {0u, 0xFu, 0x10u, 0xFFu, 0x100u, 0xFFFFFu, 0x100000u, 0xFFFFFFFu, 0x10000000u})
        d.s << v << ' ';
    d.s.setBase(2);
    d.s << uint32_t(5) << ' ';
    d.s.setBase(36);
    d.s << uint32_t(71) << ' ';
    EXPECT_EQ("0 9 10 99 100 999 1000 9999 10000 99999 100000 999999 1000000 9999999 10000000 99999999 "
              "100000000 999999999 1000000000 4294967295 -7-1000000000 "
              "0 f 10 ff 100 fffff 100000 fffffff 10000000 101 1z ",
              content(d.s));

    // Out-of-range text saturates like the 32-bit C library.
    Sec b("99999999999 -99999999999 ");
    b.s >> i;
    EXPECT_EQ(2147483647, i);
    b.s >> i;
    EXPECT_EQ(-2147483647 - 1, i);
}

TEST(SecStreamText, SixtyFourBitValuesAreRefused)
{
    CTraceCapture cap;
    Sec a;
    a.s << 5L;
    EXPECT_EQ(uint32_t(FSSEC_EOF), a.s.getError());
    EXPECT_EQ(0u, a.s.getSize());
    bool traced = false;
    for (const auto& l : cap.lines())
        if (l.message == "streaming of 64 bit integer not supported") traced = true;
    EXPECT_TRUE(traced);

    Sec b("5 ");
    unsigned long long v = 9;
    b.s >> v;
    EXPECT_EQ(uint32_t(FSSEC_EOF), b.s.getError());
    EXPECT_EQ(9u, v);

    // An invalid 32-bit id stays 32 bits wide.
    Sec c;
    c.s << uint32_t(0xFFFFFFFFu);
    EXPECT_EQ("4294967295", content(c.s));
}

TEST(SecStreamText, FloatingPointText)
{
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string savedLocale = saved ? saved : "C";
    // A locale with a decimal comma must not change the format.
    bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;

    Sec a;
    a.s << 0.1f;
    a.s.putBlank();
    a.s << 0.1;
    a.s.putBlank();
    a.s << 1e20;
    a.s.putBlank();
    a.s << -2.5f;
    a.s.putBlank();
    EXPECT_EQ("0.1000000015 0.100000000000000006 1e+20 -2.5 ", content(a.s));
    a.s.seek(0, 0);
    float f = 0;
    double d = 0, e = 0;
    float g = 0;
    a.s >> f >> d >> e >> g;
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(0.1f, f);
    EXPECT_EQ(0.1, d);
    EXPECT_EQ(1e20, e);
    EXPECT_EQ(-2.5f, g);
    if (german) std::setlocale(LC_NUMERIC, savedLocale.c_str());

    Sec nan;
    nan.s << std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(uint32_t(FSSEC_DOUBLE), nan.s.getError());
    EXPECT_NE(std::string::npos, content(nan.s).find("nan"));

    Sec big("1e39 ");
    big.s >> f;
    EXPECT_EQ(uint32_t(FSSEC_FLOAT_RANGE), big.s.getError());
    Sec junk("1.5x ");
    junk.s >> d;
    EXPECT_EQ(uint32_t(FSSEC_DOUBLE), junk.s.getError());
    Sec inf("1e400 ");
    inf.s >> d;
    EXPECT_EQ(uint32_t(FSSEC_DOUBLE), inf.s.getError());
}

TEST(SecStreamWindow, ValuesStraddleTheWindowBoundary)
{
    // Every value kind, each placed so that it crosses offset 16384.
    for (uint32_t shift = 0; shift < 12; ++shift) {
        Sec a;
        std::string pad(FsSecCl::WINDOW_SIZE - 6 + shift, ' ');
        a.s.writeBytes(pad.data(), uint32_t(pad.size()));
        a.s << uint32_t(123456789);
        a.s.putBlank();
        a.s << String("hello window");
        a.s << -1.25;
        a.s.putBlank();
        GUID g = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
        a.s << g;
        a.s << int32_t(-77);
        a.s.seek(0, 0);
        uint32_t u = 0;
        String str;
        double d = 0;
        GUID g2{};
        int32_t last = 0;
        a.s >> u >> str >> d >> g2 >> last;
        ASSERT_EQ(0u, a.s.getError()) << "shift " << shift;
        EXPECT_EQ(123456789u, u);
        EXPECT_EQ(String("hello window"), str);
        EXPECT_EQ(-1.25, d);
        EXPECT_TRUE(g == g2);
        EXPECT_EQ(-77, last);
        EXPECT_TRUE(a.s.atEnd());
    }
}

TEST(SecStreamWindow, LongStringsAcrossManyWindows)
{
    Sec a;
    std::string big(3 * FsSecCl::WINDOW_SIZE + 17, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 26);
    a.s << String("lead");
    a.s << String(big.c_str(), int(big.size()));
    a.s << String("tail");
    a.s.seek(0, 0);
    String x, y, z;
    a.s >> x >> y >> z;
    ASSERT_EQ(0u, a.s.getError());
    EXPECT_EQ(String("lead"), x);
    EXPECT_EQ(std::string(y.chars(), size_t(y.length())), big);
    EXPECT_EQ(String("tail"), z);
}

// Large writes (whole windows go to the stream without passing through the
// window) mixed with small ones, at window starts and inside windows, over
// existing bytes and past the end: the section holds what a byte-by-byte
// model says, and reads back through the window.
TEST(SecStreamWindow, LargeWritesAtAnyPlace)
{
    const uint32_t W = FsSecCl::WINDOW_SIZE;
    const struct {
        uint32_t at;
        uint32_t length;
    } writes[] = {{0, 5}, {5, 3 * W + 7}, {W, 2 * W}, {W + 100, W}, {0, 4 * W}, {3 * W + 9, 5 * W + 1}, {2, 1}};
    Sec a;
    std::string model;
    for (size_t i = 0; i < sizeof writes / sizeof writes[0]; ++i) {
        const auto& w = writes[i];
        std::string bytes(w.length, '\0');
        for (uint32_t k = 0; k < w.length; ++k) bytes[k] = char('A' + (k * 7 + i) % 23);
        a.s.seek(int32_t(w.at), 0);
        ASSERT_EQ(w.at, a.s.tell()) << "write " << i;
        a.s.writeBytes(bytes.data(), w.length);
        ASSERT_EQ(0u, a.s.getError()) << "write " << i;
        EXPECT_EQ(w.at + w.length, a.s.tell()) << "write " << i;
        if (model.size() < w.at + w.length) model.resize(w.at + w.length, '\0');
        model.replace(w.at, w.length, bytes);
        EXPECT_EQ(model.size(), a.s.getSize()) << "write " << i;
        EXPECT_EQ(model, content(a.s)) << "write " << i;
    }
    a.s.seek(0, 0);
    std::string back(model.size(), '\0');
    a.s.readBytes(&back[0], uint32_t(back.size()));
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(model, back);
}

TEST(SecStreamText, Strings)
{
    Sec a;
    a.s << String("") << String("ab c");
    EXPECT_EQ("0 4 ab c", content(a.s));
    a.s.seek(0, 0);
    String e("old"), f;
    a.s >> e >> f;
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(0, e.length());
    EXPECT_EQ(String("ab c"), f);

    Sec b("10 abc");
    b.s >> f;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), b.s.getError());

    // A huge count is refused before anything is allocated.
    Sec c("4294967295 x");
    c.s >> f;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), c.s.getError());

    Sec w;
    const char16_t units[] = {u'A', u'\x00e4', u'\x20ac'};
    w.s << WString(units, 3);
    EXPECT_EQ(std::string("3 A\0\xe4\0\xac\x20", 8), content(w.s));
    w.s.seek(0, 0);
    WString back;
    w.s >> back;
    EXPECT_EQ(0u, w.s.getError());
    ASSERT_EQ(3, back.length());
    EXPECT_EQ(u'\x20ac', back.units()[2]);

    Sec wbad("9 AB");
    wbad.s >> back;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), wbad.s.getError());
}

TEST(SecStreamBinary, ExactBytes)
{
    Sec a;
    a.s << String("v");  // text header
    a.s.putNewLine();
    a.s.setBinary(true);
    GUID g = {0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
    a.s << int32_t(-2) << uint16_t(0x0102) << true << uint8_t(7) << 1.0f << g << String("ok");
    a.s.putBlank();  // nothing in binary mode
    a.s << ' ';      // a character is written in both modes
    const std::string expected = std::string("1 v\r\n", 5) +
                                 std::string("\xfe\xff\xff\xff", 4) + std::string("\x02\x01", 2) +
                                 std::string("\x01", 1) + std::string("\x07", 1) +
                                 std::string("\x00\x00\x80\x3f", 4) +
                                 std::string("\x44\x33\x22\x11\x66\x55\x88\x77\x99\xaa\xbb\xcc\xdd\xee\xff\x00", 16) +
                                 std::string("\x02\x00\x00\x00ok", 6) + " ";
    EXPECT_EQ(expected, content(a.s));

    a.s.setBinary(false);
    a.s.seek(0, 0);
    String hdr;
    a.s >> hdr;
    a.s.seek(5, 0);
    a.s.setBinary(true);
    int32_t i = 0;
    uint16_t us = 0;
    bool b = false;
    uint8_t uc = 0;
    float f = 0;
    GUID g2{};
    String s2;
    a.s >> i >> us >> b >> uc >> f >> g2 >> s2;
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(String("v"), hdr);
    EXPECT_EQ(-2, i);
    EXPECT_EQ(0x0102, us);
    EXPECT_TRUE(b);
    EXPECT_EQ(7, uc);
    EXPECT_EQ(1.0f, f);
    EXPECT_TRUE(g == g2);
    EXPECT_EQ(String("ok"), s2);

    char tok[8];
    a.s.setTokenLimit(7);
    a.s >> tok;
    EXPECT_EQ(uint32_t(FSSEC_BINARY_TOKEN), a.s.getError());

    Sec shortRead(std::string("\x01\x02", 2));
    shortRead.s.setBinary(true);
    shortRead.s >> i;
    EXPECT_EQ(uint32_t(FSSEC_EOF), shortRead.s.getError());
}

TEST(SecStreamText, TokensAndTerminators)
{
    Sec a("  alpha\tbeta  gamma");
    char buf[16];
    a.s.setTokenLimit(15);
    a.s >> buf;
    EXPECT_STREQ("alpha", buf);
    a.s.setTokenLimit(2);
    a.s >> buf;
    EXPECT_STREQ("be", buf);
    // The limit was for one token only: without one the token runs to its
    // separator or the end of the section.
    a.s >> buf;
    EXPECT_STREQ("ta", buf);
    a.s >> buf;
    EXPECT_STREQ("gamma", buf);
    EXPECT_EQ(0u, a.s.getError());

    Sec b("abcdefgh");
    EXPECT_EQ(3u, b.s.readTokenInto(buf, 4));
    EXPECT_STREQ("abc", buf);

    Sec c("first line\r\nsecond");
    String l1, l2;
    EXPECT_FALSE(c.s.readUntil(l1, '\n'));
    EXPECT_EQ(String("first line\r"), l1);
    EXPECT_TRUE(c.s.readUntil(l2, '\n'));
    EXPECT_EQ(String("second"), l2);
    EXPECT_EQ(0u, c.s.getError());

    Sec d("a b=c d\r,x|y");
    String t1, t2, t3, t4;
    EXPECT_FALSE(d.s.readToken(t1));
    EXPECT_FALSE(d.s.readToken(t2));
    EXPECT_FALSE(d.s.readToken(t3));
    EXPECT_TRUE(d.s.readToken(t4));
    EXPECT_EQ(String("ab"), t1);
    EXPECT_EQ(String("cd\r"), t2);
    EXPECT_EQ(String("x"), t3);
    EXPECT_EQ(String("y"), t4);
}

TEST(SecStreamText, Guids)
{
    GUID g = {0xA1B2C3D4, 0x0E0F, 0x1011, {0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0xFF}};
    Sec a;
    a.s << g;
    EXPECT_EQ("{A1B2C3D4-0E0F-1011-1213-1415161718FF} ", content(a.s));

    Sec b("\r\n {a1b2c3d4-0e0f-1011-1213-1415161718ff} ");
    GUID r{};
    b.s >> r;
    EXPECT_EQ(0u, b.s.getError());
    EXPECT_TRUE(r == g);

    // The numeric form, in the current base.
    Sec c("a1b2c3d4 e0f 1011 12 13 14 15 16 17 18 ff ");
    c.s.setBase(16);
    GUID n{};
    c.s >> n;
    EXPECT_EQ(0u, c.s.getError());
    EXPECT_TRUE(n == g);

    Sec d("{A1B2C3D4-0E0F-1011-1213-1415161718F} ");
    d.s >> r;
    EXPECT_EQ(uint32_t(FSSEC_GUID), d.s.getError());
}

TEST(SecStreamText, TypeIdsAndSupportedTypes)
{
    RTTypeID id({0x183021FF, 0x2E4E, 0x4315, {0xB6, 0x13, 0x7E, 0x3A, 0x69, 0x21, 0x0C, 0x36}}, 2, 7);
    std::list<FsSupportedToTypeEntry> entries;
    entries.emplace_back(id, String("Axis"), -5);
    std::list<RTTypeID> ids;
    ids.push_back(id);
    ids.push_back(RTTypeID());

    Sec a;
    a.s << entries;
    a.s.putNewLine();
    a.s << ids;
    EXPECT_EQ("1 {183021FF-2E4E-4315-B613-7E3A69210C36}  2 7  4 Axis -5  \r\n"
              "2 {183021FF-2E4E-4315-B613-7E3A69210C36}  2 7  "
              "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535  ",
              content(a.s));
    a.s.seek(0, 0);
    std::list<FsSupportedToTypeEntry> e2;
    std::list<RTTypeID> i2;
    a.s >> e2 >> i2;
    EXPECT_EQ(0u, a.s.getError());
    ASSERT_EQ(1u, e2.size());
    EXPECT_TRUE(e2.front().typeId == id);
    EXPECT_EQ(String("Axis"), e2.front().name);
    EXPECT_EQ(-5, e2.front().number);
    ASSERT_EQ(2u, i2.size());
    EXPECT_TRUE(i2.back().isInvalid());

    // The same list in binary mode keeps only the blanks written as characters.
    Sec b;
    b.s.setBinary(true);
    b.s << entries;
    EXPECT_EQ(4u + 20 + 1 + 4 + 4 + 1 + 4 + 1, b.s.getSize());
    b.s.seek(0, 0);
    e2.clear();
    b.s >> e2;
    EXPECT_EQ(0u, b.s.getError());
    ASSERT_EQ(1u, e2.size());
    EXPECT_EQ(String("Axis"), e2.front().name);

    // A count that cannot fit in the rest of the section.
    Sec c("100000 {183021FF-2E4E-4315-B613-7E3A69210C36}  2 7  ");
    c.s >> i2;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), c.s.getError());

    Sec d;
    d.s.writeULongPair(7, 8);
    EXPECT_EQ("7 8", content(d.s));
}

TEST(SecStreamText, ConnectionLists)
{
    FsConnectionList list;
    FsConnectionRecord r;
    r.name = "in";
    r.id = 3;
    r.interfaceId = {0x183021FF, 0x2E4E, 0x4315, {0xB6, 0x13, 0x7E, 0x3A, 0x69, 0x21, 0x0C, 0x36}};
    r.incoming = true;
    r.required = true;
    r.group = -1;
    r.major = 2;
    r.minor = -3;
    list[3] = r;
    FsConnectionRecord q;
    q.name = "";
    q.id = 0xFFFF;
    q.outgoing = q.remote = q.multipoint = true;
    list[0xFFFF] = q;

    Sec a;
    a.s << list;
    EXPECT_EQ("2 "
              "3 2 in 3 {183021FF-2E4E-4315-B613-7E3A69210C36}  1 0 0 0 1 -1 2 -3 "
              "65535 0  65535 {00000000-0000-0000-0000-000000000000}  0 1 1 1 0 0 0 0 ",
              content(a.s));
    a.s.seek(0, 0);
    FsConnectionList back;
    a.s >> back;
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_TRUE(back == list);

    // Binary: 4-byte count; per connector 2 + (4 + name) + 2 + 16 + 5 + 4 + 2 + 2.
    Sec b;
    b.s.setBinary(true);
    b.s << list;
    EXPECT_EQ(4u + (2 + 6 + 2 + 16 + 5 + 4 + 2 + 2) + (2 + 4 + 2 + 16 + 5 + 4 + 2 + 2), b.s.getSize());
    std::string bytes = content(b.s);
    EXPECT_EQ(std::string("\x02\x00\x00\x00\x03\x00\x02\x00\x00\x00in\x03\x00", 14), bytes.substr(0, 14));
    EXPECT_EQ(std::string("\x01\x00\x00\x00\x01\xFF\xFF\xFF\xFF\x02\x00\xFD\xFF", 13), bytes.substr(30, 13));
    b.s.seek(0, 0);
    back.clear();
    b.s >> back;
    EXPECT_EQ(0u, b.s.getError());
    EXPECT_TRUE(back == list);

    // A count the rest of the section cannot hold.
    Sec c("5000 3 2 in ");
    c.s >> back;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), c.s.getError());
}

TEST(SecStreamPosition, SeekAndSetSize)
{
    Sec a("0123456789");
    EXPECT_EQ(4u, a.s.seek(4, 0));
    EXPECT_EQ(4u, a.s.seek(5, 2));  // beyond the end: unchanged
    EXPECT_EQ(4u, a.s.seek(-5, 0));
    EXPECT_EQ(4u, a.s.seek(1, 7));
    EXPECT_EQ(9u, a.s.seek(-1, 2));
    EXPECT_EQ('9', a.s.readChar());
    EXPECT_EQ(0, a.s.readChar());
    EXPECT_EQ(uint32_t(FSSEC_EOF), a.s.getError());
    a.s.clearError();
    EXPECT_EQ(2u, a.s.seek(-8, 1));
    a.s << 'X';
    EXPECT_EQ("01X3456789", content(a.s));

    EXPECT_EQ(0u, a.s.setSize(0));
    EXPECT_EQ(0u, a.s.tell());
    EXPECT_EQ(0u, a.s.getSize());
    a.s << "new";
    EXPECT_EQ("new", content(a.s));

    // Growing and shrinking across windows keeps the position at the end.
    EXPECT_EQ(0u, a.s.setSize(40000));
    EXPECT_EQ(40000u, a.s.tell());
    a.s << 'z';
    EXPECT_EQ(40001u, a.s.getSize());
    EXPECT_EQ(0u, a.s.setSize(2));
    EXPECT_EQ("ne", content(a.s));

    FsSecCl unattached;
    EXPECT_EQ(9u, unattached.setSize(0));
}

TEST(SecStreamPosition, ReadOnlySectionsRefuseWrites)
{
    IStream* st = nullptr;
    ASSERT_EQ(S_OK, FsSecClMem::CreateStream(&st));
    ULONG w = 0;
    st->Write("abc", 3, &w);
    FsSecCl ro;
    EXPECT_EQ(0u, ro.attach(st, 0));
    st->Release();
    uint32_t sizeBefore = ro.getSize();
    ro << 'x';
    EXPECT_EQ(uint32_t(FSSEC_NOT_WRITABLE), ro.getError());
    EXPECT_EQ(sizeBefore, ro.getSize());
    EXPECT_EQ(3u, ro.attach(st, 0));
    EXPECT_EQ(1u, FsSecCl().attach(nullptr, 0));
}

TEST(SecStreamLending, LentStreamsAreReloaded)
{
    Sec a;
    a.s << "1 2 3";
    IStream* st = nullptr;
    ASSERT_EQ(0u, a.s.getIStreamPtr(&st));
    ASSERT_NE(nullptr, st);
    EXPECT_EQ(uint32_t(FSSEC_LENT), a.s.getError());
    a.s << 'q';  // does nothing while lent
    uint32_t x = 0;
    a.s >> x;
    EXPECT_EQ(0u, x);

    // Another writer replaces the content meanwhile.
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER size;
    size.QuadPart = 0;
    st->SetSize(size);
    st->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG w = 0;
    st->Write("42 43", 5, &w);
    st->Release();

    EXPECT_EQ(0u, a.s.reloadIfChanged());
    EXPECT_EQ(0u, a.s.getError());
    EXPECT_EQ(0u, a.s.tell());
    uint32_t y = 0;
    a.s >> x >> y;
    EXPECT_EQ(42u, x);
    EXPECT_EQ(43u, y);
    EXPECT_EQ(1u, a.s.reloadIfChanged());  // not lent
}

TEST(SecStreamCopy, CopyReplacesTheWholeContent)
{
    Sec src;
    std::string big(50000, 'k');
    src.s.writeBytes(big.data(), uint32_t(big.size()));
    Sec dst(std::string(70000, 'o'));
    dst.s.copyFrom(src.s);
    EXPECT_EQ(0u, dst.s.getError());
    EXPECT_EQ(50000u, dst.s.getSize());
    EXPECT_TRUE(big == content(dst.s));
    EXPECT_EQ(0u, dst.s.tell());

    // Copying onto itself changes nothing.
    dst.s.copyFrom(dst.s);
    EXPECT_EQ(50000u, dst.s.getSize());

    // A read-only target cannot be emptied: the copy stops.
    IStream* st = nullptr;
    ASSERT_EQ(S_OK, FsSecClMem::CreateStream(&st));
    ULONG w = 0;
    st->Write("keep", 4, &w);
    FsSecCl ro;
    ro.attach(st, 0);
    st->Release();
    ro.copyFrom(src.s);
    EXPECT_NE(0u, ro.getError());
    EXPECT_EQ("keep", content(ro));

    // A short copy (the source's stream holds less than its section claims)
    // sets both errors and still shows the copied bytes from position 0.
    Sec shortSrc(std::string(100, 'k'));
    shortSrc.s.flush();
    ULARGE_INTEGER cut;
    cut.QuadPart = 50;
    ASSERT_EQ(S_OK, shortSrc.s.stream()->SetSize(cut));
    Sec target(std::string(300, 'o'));
    target.s.copyFrom(shortSrc.s);
    EXPECT_EQ(uint32_t(FSSEC_NOT_WRITABLE), target.s.getError());
    EXPECT_EQ(uint32_t(FSSEC_COPY_SOURCE), shortSrc.s.getError());
    target.s.clearError();
    EXPECT_EQ(0u, target.s.tell());
    char got[10] = {};
    target.s.readBytes(got, sizeof got);
    EXPECT_EQ(0u, target.s.getError());
    EXPECT_EQ(std::string(10, 'k'), std::string(got, sizeof got));
}

TEST(SecStreamVariant, ScalarsAndArraysRoundTrip)
{
    Sec a;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = -12;
    a.s << v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"Hi");
    a.s << v;
    VariantClear(&v);
    v.vt = VT_UI1;
    v.bVal = 200;
    a.s << v;
    v.vt = VT_I1;
    v.cVal = char(-3);
    a.s << v;
    v.vt = VT_R8;
    v.dblVal = 2.5;
    a.s << v;
    v.vt = VT_UNKNOWN;  // no value form
    v.punkVal = nullptr;
    a.s << v;

    // A 2 x 3 array with a lower bound of 1 in the first dimension.
    SAFEARRAYBOUND b[2];
    b[0].lLbound = 1;
    b[0].cElements = 2;
    b[1].lLbound = 0;
    b[1].cElements = 3;
    SAFEARRAY* psa = SafeArrayCreate(VT_I2, 2, b);
    ASSERT_NE(nullptr, psa);
    int16_t* data = nullptr;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&data));
    for (int i = 0; i < 6; ++i) data[i] = int16_t(i * 10 - 1);
    SafeArrayUnaccessData(psa);
    VARIANT arr;
    VariantInit(&arr);
    arr.vt = VT_ARRAY | VT_I2;
    arr.parray = psa;
    a.s << arr;

    std::string text = content(a.s);
    EXPECT_EQ(std::string("3 -12 8 2 H\0i\0 17 200 16 -3 5 2.5 13  8194 2 2 1 2 0 3 2 65535 9 19 29 39 49 ", 77),
              text);

    a.s.seek(0, 0);
    VARIANT r;
    VariantInit(&r);
    a.s >> r;
    EXPECT_EQ(VT_I4, r.vt);
    EXPECT_EQ(-12, r.lVal);
    a.s >> r;
    ASSERT_EQ(VT_BSTR, r.vt);
    EXPECT_EQ(2u, SysStringLen(r.bstrVal));
    EXPECT_EQ(u'i', r.bstrVal[1]);
    a.s >> r;
    EXPECT_EQ(VT_UI1, r.vt);
    EXPECT_EQ(200, r.bVal);
    a.s >> r;
    EXPECT_EQ(VT_I1, r.vt);
    EXPECT_EQ(-3, r.cVal);
    a.s >> r;
    EXPECT_EQ(2.5, r.dblVal);
    a.s >> r;
    EXPECT_EQ(VT_EMPTY, r.vt);
    a.s >> r;
    ASSERT_EQ(VT_ARRAY | VT_I2, r.vt);
    EXPECT_EQ(2u, SafeArrayGetDim(r.parray));
    LONG lb = 0, ub = 0;
    SafeArrayGetLBound(r.parray, 1, &lb);
    SafeArrayGetUBound(r.parray, 1, &ub);
    EXPECT_EQ(1, lb);
    EXPECT_EQ(2, ub);
    SafeArrayGetUBound(r.parray, 2, &ub);
    EXPECT_EQ(2, ub);
    int16_t* back = nullptr;
    SafeArrayAccessData(r.parray, reinterpret_cast<void**>(&back));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(int16_t(i * 10 - 1), back[i]);
    SafeArrayUnaccessData(r.parray);
    EXPECT_EQ(0u, a.s.getError());
    VariantClear(&r);
    VariantClear(&arr);
}

TEST(SecStreamVariant, NestedAndBinary)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT* el = nullptr;
    SafeArrayAccessData(psa, reinterpret_cast<void**>(&el));
    el[0].vt = VT_BSTR;
    el[0].bstrVal = SysAllocString(u"x");
    el[1].vt = VT_R4;
    el[1].fltVal = 0.5f;
    SafeArrayUnaccessData(psa);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = psa;

    for (bool binary : {false, true}) {
        Sec a;
        a.s.setBinary(binary);
        a.s << v;
        a.s.seek(0, 0);
        VARIANT r;
        VariantInit(&r);
        a.s >> r;
        ASSERT_EQ(0u, a.s.getError()) << binary;
        ASSERT_EQ(VT_ARRAY | VT_VARIANT, r.vt);
        VARIANT* rb = nullptr;
        SafeArrayAccessData(r.parray, reinterpret_cast<void**>(&rb));
        EXPECT_EQ(VT_BSTR, rb[0].vt);
        EXPECT_EQ(u'x', rb[0].bstrVal[0]);
        EXPECT_EQ(VT_R4, rb[1].vt);
        EXPECT_EQ(0.5f, rb[1].fltVal);
        SafeArrayUnaccessData(r.parray);
        VariantClear(&r);
        EXPECT_TRUE(a.s.atEnd());
    }
    VariantClear(&v);

    // A currency value is 64 bits wide: refused.
    Sec c;
    VARIANT cy;
    VariantInit(&cy);
    cy.vt = VT_CY;
    c.s << cy;
    EXPECT_EQ(uint32_t(FSSEC_EOF), c.s.getError());
}

TEST(SecStreamVariant, HostileCountsAreErrors)
{
    VARIANT r;
    VariantInit(&r);
    // Element counts whose product overflows 32 bits.
    Sec a("8194 2 2 0 65536 0 65536 2 1 2 ");
    a.s >> r;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), a.s.getError());
    EXPECT_EQ(VT_EMPTY, r.vt);
    // More elements than bytes left.
    Sec b("8195 1 3 0 1000000 4 1 2 ");
    b.s >> r;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), b.s.getError());
    // Too many dimensions.
    Sec c("8195 70000 3 ");
    c.s >> r;
    EXPECT_EQ(uint32_t(FSSEC_LENGTH), c.s.getError());
    // An element type arrays cannot hold: the result is empty.
    Sec d("8201 1 9 0 1 4 ");
    d.s >> r;
    EXPECT_EQ(VT_EMPTY, r.vt);
}

// A run writes what the stream's own operators write, in every mode and
// base, across its pieces (texts longer than a piece included), and a
// read-only section refuses it with the stream's error.
TEST(SecStreamRun, SameBytesAsTheStream)
{
    const std::string longText(70000, 'x');
    struct Mode {
        bool binary;
        uint32_t base;
    };
    for (const Mode m : {Mode{false, 10}, Mode{false, 16}, Mode{false, 2}, Mode{true, 10}}) {
        SCOPED_TRACE(std::to_string(m.binary) + " base " + std::to_string(m.base));
        Sec direct, viaRun;
        for (Sec* x : {&direct, &viaRun}) {
            x->s.setBinary(m.binary);
            x->s.setBase(m.base);
        }
        const auto write = [&](auto& out) {
            for (int i = 0; i < 3000; ++i) {
                out << int32_t(-i * 7919) << ' ' << uint32_t(0xFFFFFFFFu - uint32_t(i));
                out.putBlank();
                out << std::numeric_limits<int32_t>::min() << " ab" << String(i % 3 == 0 ? "" : "Text \"1\"");
                out << uint16_t(i * 31) << uint8_t(i) << (i % 2 == 0);
                out.putNewLine();
            }
            out << String(longText.c_str()) << uint32_t(0);
        };
        write(direct.s);
        {
            FsSecRun run(viaRun.s);
            write(run);
        }
        EXPECT_EQ(0u, viaRun.s.getError());
        EXPECT_EQ(content(direct.s), content(viaRun.s));
    }

    Sec readOnly;
    readOnly.s.setFlags(0);
    {
        FsSecRun run(readOnly.s);
        run << uint32_t(1);
        run.flush();
        EXPECT_TRUE(run.hasError());
    }
    EXPECT_EQ(uint32_t(FSSEC_NOT_WRITABLE), readOnly.s.getError());
}
