// Elementary constants: literals, REAL typing, durations, dates, times of
// day, conversions, ranges, getters, texts, dumps and images, as tables of
// cases.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

#include "const_forms.h"

namespace {

using namespace consttest;

struct Val {
    uint32_t type;
    uint32_t word;  // the first 32 value bits
    int32_t sign;
};

Val of(const StStdConstantVal& c)
{
    uint8_t raw[8];
    Val v;
    c.getRaw(raw, v.type, v.sign);
    std::memcpy(&v.word, raw, 4);
    return v;
}

double dbl(const StStdConstantVal& c)
{
    double d = 0;
    c.getDouble(d);
    return d;
}

StStdConstantVal literal(const char* text, int radix)
{
    StStdConstantVal c;
    EXPECT_EQ(0, c.parseLiteral(text, radix)) << text;
    return c;
}

TEST(StdConstTest, IntegerLiterals)
{
    struct Case {
        const char* text;
        int radix;
        int status;
        uint32_t magnitude;
        int32_t sign;
    } cases[] = {
        {"16#FF", 16, 0, 255, 0},
        {"FF", 16, 0, 255, 0},
        {"2#1010", 2, 0, 10, 0},
        {"8#17", 8, 0, 15, 0},
        {"255", 10, 0, 255, 1},
        {"-128", 10, 0, 128, -1},
        {"4294967295", 10, 0, 0xFFFFFFFFu, 1},
        {"4294967296", 10, 1, 0, 0},
        {"-2147483648", 10, 0, 0x80000000u, -1},
        {"-2147483649", 10, 1, 0, 0},
        {"16#-5", 16, 0, 5, -1},
    };
    for (const auto& c : cases) {
        StStdConstantVal v;
        EXPECT_EQ(c.status, v.parseLiteral(c.text, c.radix)) << c.text;
        if (c.status) {
            EXPECT_EQ(30u, v.getTypeId()) << c.text;
            continue;
        }
        const Val r = of(v);
        EXPECT_EQ(31u, r.type) << c.text;
        EXPECT_EQ(c.magnitude, r.word) << c.text;
        EXPECT_EQ(c.sign, r.sign) << c.text;
    }
    // 16#FF as SINT: accepted as a pattern, which reads as -1 also before
    // it is normalised or converted.
    StStdConstantVal ff = literal("16#FF", 16);
    ASSERT_EQ(0, ff.setType(ST_SINT, false));
    int32_t l = 0;
    EXPECT_TRUE(ff.getLong(l));
    EXPECT_EQ(-1, l);
    StStdConstantVal norm(ff);
    EXPECT_EQ(0, norm.setType(ST_SINT, true));
    EXPECT_TRUE(norm.getLong(l));
    EXPECT_EQ(-1, l);
    EXPECT_EQ(0, ff.convertTo(ST_DINT));
    EXPECT_TRUE(ff.getDInt(l));
    EXPECT_EQ(-1, l);
    // Typed literal texts.
    int status = 0;
    EXPECT_EQ(31u, of(StStdConstantVal("255", ST_SINT, 10, status)).type);
    EXPECT_EQ(1, status);
    EXPECT_EQ(ST_SINT, StStdConstantVal("-128", ST_SINT, 10, status).getTypeId());
    EXPECT_EQ(0, status);
    EXPECT_EQ(ST_ANYTYPE, StStdConstantVal("1", ST_TIME, 10, status).getTypeId());
    EXPECT_EQ(1, status);
    EXPECT_EQ(ST_ANYREAL, StStdConstantVal("1.5", ST_ANYREAL, 10, status).getTypeId());
    EXPECT_EQ(0, status);
}

TEST(StdConstTest, RealTyping)
{
    struct Case {
        const char* text;
        uint32_t target;
        int status;
        double value;
    } cases[] = {
        {"0.5", ST_REAL, 0, 0.5},
        {"0.1", ST_REAL, 0, double(0.1f)},  // its float prints as 0.1
        {"0.1234567891", ST_REAL, 2, double(0.1234567891f)},
        {"1e39", ST_REAL, 1, 1e39},
        {"1e-40", ST_REAL, 2, 0},
        {"3.4028235e38", ST_REAL, 2, double(3.4028234663852886e38f)},
        {"16777217", ST_REAL, 2, 16777216.0},
        {"1e-310", ST_LREAL, 2, 0},
        {"0.1", ST_LREAL, 0, 0.1},
        {"0.1", ST_DINT, 1, 0.1},
    };
    for (const auto& c : cases) {
        StStdConstantVal v;
        ASSERT_NE(1, v.parseReal(c.text)) << c.text;
        EXPECT_EQ(c.status, v.setType(c.target, false)) << c.text;
        EXPECT_EQ(c.value, dbl(v)) << c.text;
        EXPECT_EQ(c.status == 1 ? ST_ANYREAL : c.target, v.getTypeId()) << c.text;
    }
    StStdConstantVal v;
    EXPECT_EQ(1, v.parseReal("1.5x"));
    EXPECT_EQ(1, v.parseReal("1e400"));
    EXPECT_EQ(2, v.parseReal("1e-400"));
    EXPECT_EQ(1, v.parseReal("nan"));
    EXPECT_EQ(0, v.parseReal("-2.5"));
    EXPECT_EQ(-2.5, dbl(v));
    EXPECT_EQ(1, v.SetRealVal(std::nanf("")));
    EXPECT_EQ(1, v.SetLRealVal(std::nan("")));
    EXPECT_EQ(1, v.SetLRealVal(HUGE_VAL));
    EXPECT_EQ(-2.5, dbl(v));
}

// The short way for plain decimals reads every text it takes to the very
// bits strtod reads, and leaves the rest to it.
TEST(StdConstTest, PlainDecimalsReadAsStrtod)
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    auto strtodBits = [](const std::string& t) {
        const double d = strtod_l(t.c_str(), nullptr, c);
        uint64_t b;
        std::memcpy(&b, &d, 8);
        return b;
    };
    auto check = [&](const std::string& t, bool plain) {
        double d = 12345.0;
        const bool taken = StStdConstantVal::readPlainDecimal(t.data(), t.data() + t.size(), d);
        EXPECT_EQ(plain, taken) << t;
        if (!taken) {
            EXPECT_EQ(12345.0, d) << t;
            return;
        }
        uint64_t b;
        std::memcpy(&b, &d, 8);
        EXPECT_EQ(strtodBits(t), b) << t;
        // parseReal gives the same value through either way.
        StStdConstantVal v;
        EXPECT_EQ(0, v.parseReal(String(t.c_str()))) << t;
        EXPECT_EQ(d, dbl(v)) << t;
    };
    for (const char* t : {"0", "-0", "+0", "-0.0", "0.5", "-1.0E6", "1.0e5", "1.0E-6", "700.5", ".5", "5.",
                          "-.25e+2", "0.1", "0.3", "9007199254740992", "1e22", "1e-22", "4.940656458412e-10",
                          "0000000000000000000000012.5", "0.0000000000000000000001", "0e999999", "1.5E-0"})
        check(t, true);
    // Beyond the exact range, other syntax, or left over: strtod decides.
    for (const char* t : {"", "-", ".", "e5", "1e", "1e+", "1.5x", " 1.5", "1.5 ", "0x10", "inf", "nan", "1e23",
                          "1e-23", "9007199254740993", "12345678901234567890", "1..5", "1e5.5", "--1",
                          "3.4028235e38", "17976931348623157e292", "4.9406564584124654e-10",
                          "0.000000000000000000000001"})
        check(t, false);
    std::mt19937_64 rng(47);
    for (int i = 0; i < 20000; ++i) {
        std::string t = (rng() & 1) ? "-" : "";
        t += std::to_string(rng() % (uint64_t(1) << (rng() % 54)));
        if (rng() & 1) t.insert(t.size() - rng() % t.size(), ".");
        if (rng() & 1) t += "e" + std::to_string(int(rng() % 60) - 30);
        double d = 0;
        if (StStdConstantVal::readPlainDecimal(t.data(), t.data() + t.size(), d)) {
            uint64_t b;
            std::memcpy(&b, &d, 8);
            ASSERT_EQ(strtodBits(t), b) << t;
        }
    }
}

TEST(StdConstTest, TimeDateAndTimeOfDay)
{
    struct Case {
        int kind;  // 0 TIME, 1 DATE, 2 TOD, 3 DT
        const char* text;
        int status;  // TIME: its status; others: 0 ok, 1 refused
        uint32_t word;
        const char* printed;
    } cases[] = {
        {0, "T#1d2h", 0, 93600000, "T#1d2h"},
        {0, "T#50d", 1, 0, nullptr},
        {0, "T#1.5s", 0, 1500, "T#1s500ms"},
        {0, "t#1.5ms", 3, 1, "T#1ms"},
        {0, "T#1_000ms", 0, 1000, "T#1s"},
        {0, "T#49d17h2m47s295ms", 0, 0xFFFFFFFFu, "T#49d17h2m47s295ms"},
        {0, "T#49d17h2m47s296ms", 1, 0, nullptr},
        {0, "T#0ms", 0, 0, "T#0ms"},
        {0, "T#1193h", 0, 1193u * 3600000, "T#49d17h"},
        {0, "T#1h60m", 1, 0, nullptr},
        {0, "T#1.5h30m", 1, 0, nullptr},
        {0, "T#5m1h", 1, 0, nullptr},
        {0, "T#5", 1, 0, nullptr},
        {0, "T#5x", 1, 0, nullptr},
        {0, "T#0.0000001d", 0, 9, "T#9ms"},
        {1, "D#1992-01-01", 0, 1, "D#1992-01-01"},
        {1, "D#2200-12-31", 0, 76336, "D#2200-12-31"},
        {1, "D#1991-12-31", 1, 0, nullptr},
        {1, "D#2023-02-29", 1, 0, nullptr},
        {1, "D#2024-02-29", 0, 11748, "D#2024-02-29"},
        {1, "D#1-1-1", 0, 0, "D#0001-01-01"},
        {1, "D#1992-01", 1, 0, nullptr},
        {2, "TOD#23:59:59.999", 0, 86399999, "TOD#23:59:59.999"},
        {2, "TOD#12:00:00.5", 0, 43200500, "TOD#12:0:0.500"},
        {2, "TOD#24:00:00", 1, 0, nullptr},
        {2, "TOD#", 0, 0, "TOD#0:0:0"},
        {2, "TOD#1:2:3.4567", 1, 0, nullptr},
        {3, "DT#1992-01-02-01:02:03.04", 0, 3723040, "DT#1992-01-02-1:2:3.040"},
        {3, "DT#1992-01-02-", 1, 0, nullptr},
        {3, "DT#1992-01-0", 1, 0, nullptr},
    };
    for (const auto& c : cases) {
        StStdConstantVal v;
        int status;
        switch (c.kind) {
        case 0: status = v.parseTime(c.text); break;
        case 1: status = v.parseDate(c.text) ? 0 : 1; break;
        case 2: status = v.parseTimeOfDay(c.text) ? 0 : 1; break;
        default: status = v.parseDateAndTime(c.text) ? 0 : 1; break;
        }
        EXPECT_EQ(c.status, status) << c.text;
        if (!c.printed) {
            EXPECT_EQ(30u, v.getTypeId()) << c.text;
            continue;
        }
        EXPECT_EQ(c.word, of(v).word) << c.text;
        String t;
        EXPECT_TRUE(v.getTimeText(t) || v.getDateText(t) || v.getTimeOfDayText(t) || v.getDateAndTimeText(t));
        EXPECT_EQ(c.printed, std::string(t.chars())) << c.text;
    }
    EXPECT_EQ("D#??", std::string((String("D#") + StStdConstantVal::dateText(0xFFFFFFFFu)).chars()));
}

TEST(StdConstTest, Conversions)
{
    auto real = [](float f) {
        StStdConstantVal v;
        v.SetRealVal(f);
        return v;
    };
    auto typed = [](uint32_t type, int32_t x) {
        StStdConstantVal v(type);
        v.SetLongVal(x);
        return v;
    };
    struct Case {
        StStdConstantVal from;
        uint32_t target;
        int status;
        uint32_t word;
        int32_t sign;
    } cases[] = {
        {real(3.5f), ST_DINT, 0, 4, 1},
        {real(2.5f), ST_DINT, 0, 2, 1},
        {real(-2.5f), ST_DINT, 0, 2, -1},
        {real(-129.0f), ST_SINT, 4, 0, 0},
        {real(-1.0f), ST_BYTE, 4, 0, 0},
        {real(1.0f), ST_DWORD, 0, 0x3F800000u, 1},
        {real(1.0f), ST_BOOL, 3, 0, 0},
        {typed(ST_DINT, -1), ST_BYTE, 0, 255, 1},
        {typed(ST_DINT, -1), ST_INT, 0, 0xFFFF, 1},
        {typed(ST_SINT, -1), ST_DINT, 0, 1, -1},
        {typed(ST_SINT, -1), ST_UDINT, 0, 0xFF, 1},
        {typed(ST_INT, -2), ST_TIME, 0, 0xFFFE, 1},
        {typed(ST_INT, -3), ST_REAL, 0, 0xC0400000u, 1},
        {typed(ST_DINT, 5), ST_TIME, 3, 0, 0},
        {typed(ST_DINT, 5), ST_ANYTYPE, 0, 5, 1},
    };
    for (auto& c : cases) {
        const Val before = of(c.from);
        EXPECT_EQ(c.status, c.from.convertTo(c.target)) << c.target;
        const Val r = of(c.from);
        if (c.status == 0) {
            EXPECT_EQ(c.word, r.word) << c.target;
            EXPECT_EQ(c.sign, r.sign) << c.target;
        } else {
            EXPECT_EQ(before.type, r.type);  // unchanged
            EXPECT_EQ(before.word, r.word);
        }
    }
    StStdConstantVal neg(ST_DWORD);
    neg.setSign(-1);
    EXPECT_EQ(2, neg.convertTo(ST_DINT));
    StStdConstantVal nan(ST_DWORD);
    nan.SetULongVal(0x7FC00000u);
    EXPECT_EQ(4, nan.convertTo(ST_REAL));
}

TEST(StdConstTest, RangesSmallestAndFits)
{
    struct Range {
        uint32_t type;
        const char* min;
        const char* max;
    } ranges[] = {
        {ST_BOOL, "(bool 0)", "(bool 1)"},
        {ST_SINT, "(sint -128)", "(sint 127)"},
        {ST_DINT, "(dint -2147483648)", "(dint 2147483647)"},
        {ST_UDINT, "(udint 0)", "(udint 4294967295)"},
        {ST_REAL, "(real -3.402823466e+38)", "(real 3.402823466e+38)"},
        {ST_LREAL, "(lreal -1.79769313486231571e+308)", "(lreal 1.79769313486231571e+308)"},
        {ST_TIME, "(time T#0ms)", "(time T#49d17h2m47s295ms)"},
        {ST_DATE, "(date D#0001-01-01)", "(date D#2200-12-31)"},
        {ST_DT, "(dt DT#0001-01-01-0:0:0)", "(dt DT#2200-12-31-23:59:59.999)"},
    };
    for (const auto& r : ranges) {
        StStdConstantVal lo(r.type), hi(r.type);
        EXPECT_TRUE(lo.setMin());
        EXPECT_TRUE(hi.setMax());
        EXPECT_EQ(r.min, valueText(lo));
        EXPECT_EQ(r.max, valueText(hi));
    }
    // Types without a range refuse both and keep value, type and sign, whatever
    // sign word the value carries (a based literal's 0, a negative -1).
    std::vector<StStdConstantVal> refused;
    for (uint32_t t : {0, 5, 9, 13, 24, 25, 26, 27, 28, 29, 30, 33, 34, 35}) refused.emplace_back(t);
    refused.emplace_back(ST_ANYOBJECT).setObjectIds(3, 4);
    refused.emplace_back(ST_MEMADR).setSysAddr(0x1234);
    refused.emplace_back(ST_STRUCTALARMID).SetLongVal(-5);
    refused.emplace_back(ST_STRUCTTASKID).SetULongVal(9);
    refused.push_back(literal("16#FF", 16));
    refused.emplace_back().parseReal("-2.5");
    auto state = [](const StStdConstantVal& v) {
        uint8_t raw[8];
        uint32_t type;
        int32_t sign;
        v.getRaw(raw, type, sign);
        unsigned long long bits;
        std::memcpy(&bits, raw, 8);
        char text[64];
        std::snprintf(text, sizeof text, "type %u sign %d value %016llx", type, sign, bits);
        return std::string(text);
    };
    for (StStdConstantVal& v : refused) {
        for (int32_t sign : {-1, 0, 1}) {
            v.setSign(sign);
            StStdConstantVal lo(v), hi(v);
            EXPECT_FALSE(lo.setMin()) << state(v);
            EXPECT_FALSE(hi.setMax()) << state(v);
            EXPECT_EQ(state(v), state(lo));
            EXPECT_EQ(state(v), state(hi));
        }
    }

    struct Small {
        const char* text;
        int radix;
        uint32_t smallest;
        int fitsSint, fitsInt, fitsDint, fitsReal;
    } smalls[] = {
        {"1", 10, ST_BOOL, 0, 0, 0, 0},
        {"-128", 10, ST_SINT, 0, 0, 0, 0},
        {"-129", 10, ST_INT, 1, 0, 0, 0},
        {"200", 10, ST_BYTE, 1, 0, 0, 0},
        {"16#C8", 16, ST_POS_SINT, 0, 0, 0, 0},
        {"40000", 10, ST_WORD, 1, 1, 0, 0},
        {"16#FFFF", 16, ST_POS_INT, 1, 0, 0, 0},
        {"3000000000", 10, ST_DWORD, 1, 1, 1, 2},
        {"16#FFFFFFFF", 16, ST_POS_DINT, 1, 1, 0, 2},
        {"-40000", 10, ST_DINT, 1, 1, 0, 0},
    };
    for (const auto& s : smalls) {
        const StStdConstantVal v = literal(s.text, s.radix);
        EXPECT_EQ(s.smallest, v.getSmallestType()) << s.text;
        EXPECT_EQ(s.fitsSint, v.fitsType(ST_SINT)) << s.text;
        EXPECT_EQ(s.fitsInt, v.fitsType(ST_INT)) << s.text;
        EXPECT_EQ(s.fitsDint, v.fitsType(ST_DINT)) << s.text;
        EXPECT_EQ(s.fitsReal, v.fitsType(ST_REAL)) << s.text;
        EXPECT_EQ(0, v.fitsType(ST_LREAL)) << s.text;
    }
    StStdConstantVal big;
    big.parseReal("1e39");
    EXPECT_EQ(ST_LREAL, big.getSmallestType());
    EXPECT_EQ(1, big.fitsType(ST_REAL));
}

TEST(StdConstTest, TypingWithNormalisationAssignAndArrays)
{
    StStdConstantVal d(ST_DINT);
    d.SetLongVal(5);
    EXPECT_EQ(1, d.setType(ST_STRUCTTASKID, false));  // typed values keep their type
    EXPECT_EQ(0, d.setType(ST_USINT, true));
    EXPECT_EQ(ST_USINT, d.getTypeId());
    d.SetULongVal(300 & 0xFF);
    StStdConstantVal before(d);
    EXPECT_EQ(1, d.setType(ST_BOOL, true));  // refused: everything as it was
    EXPECT_TRUE(constValEqual(&before, &d));
    EXPECT_EQ(ST_USINT, d.getTypeId());
    StStdConstantVal r;
    r.SetRealVal(0.1f);
    EXPECT_EQ(2, r.setType(ST_REAL, true));  // through ANYREAL: the float's double has more digits
    EXPECT_EQ(0, r.setType(ST_LREAL, true));

    StStdConstantVal other(ST_INT);
    EXPECT_EQ(2, other.assign(&d));
    EXPECT_EQ(1, other.assign(nullptr));
    StStdConstantVal same(ST_USINT);
    EXPECT_EQ(0, same.assign(&d));
    EXPECT_TRUE(same.isSameType(&d));
    EXPECT_FALSE(same.isSameType(&other));

    StConstantVal* one = new StStdConstantVal(ST_INT);
    StConstantVal* kept = StStdConstantVal::makeArrayConstantVal(one, 1, 2);
    EXPECT_EQ(nullptr, one);
    EXPECT_EQ(ST_CONST_STD, kept->getKind());
    StConstantVal* arr = StStdConstantVal::makeArrayConstantVal(kept, 6, 2);
    EXPECT_EQ(nullptr, kept);
    ASSERT_EQ(ST_CONST_INTARRAY, arr->getKind());
    EXPECT_EQ(6u, arr->elementCount());
    EXPECT_TRUE(arr->isShared());
    delete arr;
}

TEST(StdConstTest, UnsignedShort)
{
    struct Row {
        uint32_t type;
        int32_t value;
        bool ok;
        uint16_t got;
    } rows[] = {
        {ST_UDINT, 65535, true, 65535},
        {ST_UDINT, 65536, false, 9},
        {ST_UINT, 0, true, 0},
        {ST_DINT, -1, false, 9},
        {ST_REAL, 1, false, 9},
    };
    for (auto& r : rows) {
        StStdConstantVal c(r.type);
        if (r.type == ST_DINT)
            c.SetLongVal(r.value);
        else if (r.type == ST_REAL)
            c.SetRealVal(float(r.value));
        else
            c.SetULongVal(uint32_t(r.value));
        uint16_t v = 9;
        EXPECT_EQ(r.ok, c.getUShort(v)) << r.type << " " << r.value;
        EXPECT_EQ(r.got, v) << r.type << " " << r.value;
    }
}

TEST(StdConstTest, GettersNegateAndWords)
{
    StStdConstantVal s(ST_SINT);
    s.SetLongVal(-128);
    EXPECT_EQ(0, s.negate());  // wraps: magnitude 128, sign +1 reads -128
    int32_t l = 0;
    EXPECT_TRUE(s.getLong(l));
    EXPECT_EQ(-128, l);
    uint32_t u = 0;
    EXPECT_TRUE(s.getULong(u));
    EXPECT_EQ(128u, u);
    StStdConstantVal any = literal("3000000000", 10);
    EXPECT_FALSE(any.getLong(l));
    EXPECT_TRUE(literal("-2147483648", 10).getLong(l));
    EXPECT_EQ(INT32_MIN, l);
    EXPECT_EQ(1, StStdConstantVal(ST_WORD).negate());
    StStdConstantVal ff = literal("16#FF", 16);
    EXPECT_EQ(1, ff.negate());
    bool error = false;
    StStdConstantVal d(ST_DINT);
    d.SetLongVal(-7);
    EXPECT_EQ(-7, d.GetLongVal(error));
    EXPECT_FALSE(error);
    EXPECT_EQ(0u, d.GetULongVal(error));
    EXPECT_TRUE(error);
    EXPECT_EQ(0xFFFFFFF9u, d.getTargetWord());
    StStdConstantVal r;
    r.SetRealVal(1.0f);
    EXPECT_EQ(0x3F800000u, r.getTargetWord());
    EXPECT_EQ(0u, StStdConstantVal(ST_LREAL).getTargetWord());
    EXPECT_TRUE(StStdConstantVal(ST_DINT).isDefault());
    EXPECT_FALSE(StStdConstantVal(ST_VOID).isDefault());
    StStdConstantVal adr;
    adr.setSysAddr(0x7FFFFFFF);
    EXPECT_FALSE(constValEqual(&adr, &adr));  // an unset address is never shared
    EXPECT_FALSE(constValLess(&adr, &adr));
}

TEST(StdConstTest, DumpsAndMachValues)
{
    struct Case {
        uint32_t type;
        int32_t v;
        const char* dump;
        uint32_t mach;
        uint32_t mode;
    } cases[] = {
        {ST_SINT, -5, "(sint -5)", 0xFFFFFFFBu, MC_SINT},
        {ST_INT, -5, "(int -5)", 0xFFFFFFFBu, MC_INT},
        {ST_USINT, 5, "(usint 5)", 5, MC_USINT},
        {ST_STRUCTALARMID, -2, "(alarmtype -2)", 0xFFFFFFFEu, MC_DINT},
        {ST_UDINT, 7, "(udint 7)", 7, MC_UDINT},
    };
    for (const auto& c : cases) {
        StStdConstantVal v(c.type);
        if (v.SetLongVal(c.v)) v.SetULongVal(uint32_t(c.v));
        v.setStorageAddress(0x20);
        EXPECT_EQ(c.dump, valueText(v));
        const McMachValue m = McConvert::makeMachValue(v, 4, 9);
        EXPECT_EQ(c.mach, m.value) << c.dump;
        EXPECT_EQ(c.mode, m.mode);
        EXPECT_EQ(0x24u, m.address);
        EXPECT_EQ(9u, m.extra);
    }
    EXPECT_EQ("(void nix)", valueText(StStdConstantVal(ST_VOID)));
    EXPECT_EQ("(??? ANY)", valueText(StStdConstantVal()));
    StStdConstantVal o;
    o.setObjectIds(2, 3);
    EXPECT_EQ("(sysadr DvID: 2 ToID: 3)", valueText(o));
    EXPECT_EQ("(sysadr DvID: 2 ToID: 3)     Adr: 7fffffff Seg: fb000000 shared ", dumpOf(o));
    StStdConstantVal lr;
    lr.SetLRealVal(0.1);
    EXPECT_EQ("(lreal 0.100000000000000006)", valueText(lr));
    EXPECT_EQ(MC_OTHER, McConvert::makeMachValue(StStructConstantVal(), 0, 0).mode);
}

TEST(StdConstTest, Images)
{
    MemData d;
    StStdConstantVal dt;
    dt.parseDateAndTime("DT#1992-01-02-00:00:01");
    dt.setStorageAddress(8);
    EXPECT_EQ(0, dt.writeImage(d.data, 4));
    StStdConstantVal s(ST_SINT);
    s.SetLongVal(-3);
    s.setStorageAddress(0);
    EXPECT_EQ(0, s.writeImage(d.data, 0));
    EXPECT_EQ(0, StStdConstantVal(ST_ANYTYPE).writeImage(d.data, 0));  // nothing to write
    const auto recs = d.records();
    ASSERT_EQ(3u, recs.size());
    EXPECT_EQ(12, recs[0].address);
    EXPECT_EQ(1000u, recs[0].getULong());
    EXPECT_EQ(16, recs[1].address);
    EXPECT_EQ(2u, recs[1].getULong());
    EXPECT_EQ(uint32_t(FsDataValue::T_SINT), recs[2].type);
    EXPECT_EQ(-3, recs[2].getLong());
}

}  // namespace
