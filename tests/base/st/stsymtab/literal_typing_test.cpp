// Literals given a type: the sign word that each elementary type keeps from
// a decimal, a based and a negative literal; real texts at and below the
// normal ranges of REAL and LREAL; integer literals into REAL and into an
// enumeration, as the table's element check and binding take them; the one
// reading of a number literal as a value of a type (literalOfType) over
// every integer type at and past its bounds. One row per case, the
// expectations written from the typing rules.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

// The value bytes read as the type keeps them: a float, a double, else the
// first 32 bits (a DT or ANYOBJECT must be all zero to read as 0).
double valueOf(const StConstantVal& c)
{
    uint8_t raw[8];
    uint32_t type;
    int32_t sign;
    c.getRaw(raw, type, sign);
    if (type == ST_REAL) {
        float f;
        std::memcpy(&f, raw, 4);
        return f;
    }
    double d;
    std::memcpy(&d, raw, 8);
    if (type == ST_LREAL || type == ST_ANYREAL) return d;
    uint32_t w, hi;
    std::memcpy(&w, raw, 4);
    std::memcpy(&hi, raw + 4, 4);
    return (type == ST_DT || type == ST_ANYOBJECT) && hi != 0 ? -1 : double(w);
}

int32_t signOf(const StConstantVal& c)
{
    uint8_t raw[8];
    uint32_t type;
    int32_t sign;
    c.getRaw(raw, type, sign);
    return sign;
}

// The literal read in the radix its text names ("2#", "8#", "16#"; else 10).
StStdConstantVal parsed(const char* text)
{
    const char* hash = std::strchr(text, '#');
    StStdConstantVal v;
    EXPECT_EQ(0, v.parseLiteral(String(text), hash ? std::atoi(text) : 10)) << text;
    return v;
}

// A decimal, a based and a negative literal typed as each elementary type.
// A refused typing leaves the literal as it was (ANYINT, its sign and
// magnitude).
TEST(LiteralTyping, SignWordOfEveryElementaryType)
{
    struct Typed {
        int status;
        int32_t sign;
        double value;
    };
    struct Row {
        uint32_t type;
        const char* decimal;
        Typed d;
        const char* based;
        Typed b;
        const char* negative;
        Typed n;
    } rows[] = {
        {ST_BOOL, "1", {0, 1, 1}, "2#1", {0, 0, 1}, "-1", {1, -1, 1}},
        {ST_BYTE, "255", {0, 1, 255}, "16#FF", {0, 0, 255}, "-1", {1, -1, 1}},
        {ST_WORD, "65535", {0, 1, 65535}, "16#FFFF", {0, 0, 65535}, "-1", {1, -1, 1}},
        {ST_DWORD, "4294967295", {0, 1, 4294967295.0}, "16#FFFFFFFF", {0, 1, 4294967295.0}, "-1", {1, -1, 1}},
        {ST_SINT, "128", {1, 1, 128}, "16#FF", {0, 0, 255}, "-128", {0, -1, 128}},
        {ST_INT, "32767", {0, 1, 32767}, "16#10000", {1, 0, 65536}, "-32769", {1, -1, 32769}},
        {ST_DINT, "2147483648", {1, 1, 2147483648.0}, "16#FFFFFFFF", {0, 0, 4294967295.0}, "-2147483648",
         {0, -1, 2147483648.0}},
        {ST_USINT, "256", {1, 1, 256}, "8#377", {0, 0, 255}, "-1", {1, -1, 1}},
        {ST_UINT, "65535", {0, 1, 65535}, "16#FFFF", {0, 0, 65535}, "-1", {1, -1, 1}},
        {ST_UDINT, "4294967295", {0, 1, 4294967295.0}, "16#FFFFFFFF", {0, 1, 4294967295.0}, "-1", {1, -1, 1}},
        // The float or double of the signed value, sign +1; more than 24
        // bits of integer lose precision in a REAL.
        {ST_REAL, "16777216", {2, 1, 16777216.0}, "16#FFFFFFFF", {2, 1, 4294967296.0}, "-16777217",
         {2, 1, -16777216.0}},
        {ST_LREAL, "4294967295", {0, 1, 4294967295.0}, "16#FFFFFFFF", {0, 1, 4294967295.0}, "-2147483648",
         {0, 1, -2147483648.0}},
        {ST_ANYOBJECT, "1", {1, 1, 1}, "16#0", {0, 0, 0}, "-1", {1, -1, 1}},
        {ST_MEMADR, "100", {0, 1, 100}, "16#FFFFFFFF", {0, 0, 4294967295.0}, "-1", {1, -1, 1}},
        {ST_TIME, "4294967295", {0, 1, 4294967295.0}, "16#10", {0, 0, 16}, "-1", {1, -1, 1}},
        {ST_DATE, "1", {1, 1, 1}, "16#0", {0, 0, 0}, "-1", {1, -1, 1}},
        {ST_TOD, "86400000", {1, 1, 86400000}, "16#5265BFF", {0, 0, 86399999}, "-1", {1, -1, 1}},
        {ST_DT, "0", {0, 1, 0}, "2#1", {1, 0, 1}, "-1", {1, -1, 1}},
        {ST_STRUCTALARMID, "2147483648", {1, 1, 2147483648.0}, "16#FFFFFFFF", {0, 0, 4294967295.0}, "-2147483648",
         {0, -1, 2147483648.0}},
        {ST_STRUCTTASKID, "4294967295", {0, 1, 4294967295.0}, "16#FFFFFFFF", {0, 1, 4294967295.0}, "-1", {1, -1, 1}},
        {ST_LWORD, "0", {1, 1, 0}, "16#0", {1, 0, 0}, "-1", {1, -1, 1}},
        {ST_LINT, "0", {1, 1, 0}, "16#0", {1, 0, 0}, "-1", {1, -1, 1}},
        {ST_ULINT, "0", {1, 1, 0}, "16#0", {1, 0, 0}, "-1", {1, -1, 1}},
    };
    for (const Row& r : rows) {
        for (auto [text, want] : {std::make_pair(r.decimal, r.d), std::make_pair(r.based, r.b),
                                  std::make_pair(r.negative, r.n)}) {
            SCOPED_TRACE(std::string(text) + " as type " + std::to_string(r.type));
            StStdConstantVal v = parsed(text);
            EXPECT_EQ(want.status, v.setType(r.type, false));
            EXPECT_EQ(want.status == 1 ? uint32_t(ST_ANYINT) : r.type, v.getTypeId());
            EXPECT_EQ(want.sign, signOf(v));
            EXPECT_EQ(want.value, valueOf(v));
        }
    }

    // 0 and 16#0 in each type: equal where the type compares bit patterns
    // (1-13) or the typing made both signs +1; the other types compare the
    // sign words too.
    struct Equal {
        uint32_t type;
        bool equal;
    } pairs[] = {
        {ST_BOOL, true},     {ST_BYTE, true},       {ST_WORD, true},  {ST_DWORD, true},
        {ST_SINT, true},     {ST_INT, true},        {ST_DINT, true},  {ST_USINT, true},
        {ST_UINT, true},     {ST_UDINT, true},      {ST_REAL, true},  {ST_LREAL, true},
        {ST_ANYOBJECT, false}, {ST_MEMADR, false},  {ST_TIME, false}, {ST_DATE, false},
        {ST_TOD, false},     {ST_DT, false},        {ST_STRUCTALARMID, false}, {ST_STRUCTTASKID, true},
    };
    for (const Equal& p : pairs) {
        StStdConstantVal dec = parsed("0"), based = parsed("16#0");
        ASSERT_EQ(0, dec.setType(p.type, false)) << p.type;
        ASSERT_EQ(0, based.setType(p.type, false)) << p.type;
        EXPECT_EQ(p.equal, constValEqual(&dec, &based)) << p.type;
    }
}

// Typed from their text: below the normal range a REAL or LREAL is 0 and
// the status tells the loss; at the range the value stands.
TEST(LiteralTyping, RealTextsAtAndBelowTheNormalRange)
{
    struct Row {
        const char* text;
        uint32_t type;
        int status;
        double value;
    } rows[] = {
        {"2e-38", ST_REAL, 0, double(2e-38f)},
        {"1e-38", ST_REAL, 2, 0},
        {"1e-310", ST_REAL, 2, 0},
        {"-1e-310", ST_REAL, 2, 0},
        {"2.2250738585072014e-308", ST_LREAL, 0, DBL_MIN},
        {"2.2250738585072011e-308", ST_LREAL, 2, 0},
        {"4.9e-324", ST_LREAL, 2, 0},
        {"1e-400", ST_LREAL, 2, 0},  // read as 0 already
        {"4.9e-324", ST_ANYREAL, 2, 4.9e-324},  // untyped: the value read
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.text) + " as type " + std::to_string(r.type));
        int status = -1;
        const StStdConstantVal v(String(r.text), r.type, 10, status);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.type, v.getTypeId());
        EXPECT_EQ(r.value, valueOf(v));
    }
}

// A table with the enumeration (A := 5, B := 6) over DINT.
struct EnumTable {
    EnumTable()
    {
        int st = 0;
        for (auto [name, value, sid] : {std::make_tuple("A", 5, &a), std::make_tuple("B", 6, &b)}) {
            t.addEntry(name, 0, 0, ST_KIND_CONST, *sid);
            t.findEntry(*sid)->setInitCID(t.assignConstant(ST_DINT, new StStdConstantVal(int32_t(value), false), st));
        }
        auto list = std::make_unique<StSymbEntryIDList>(StSymbEntryIDList{a, b});
        e = t.types()->createEnumType(list, ST_DINT);
    }
    StSymbTable t;
    StSymbEntryID a, b;
    StTypeID e = ST_INVALID_TID;
};

// Integer literals checked against REAL and against an enumeration, then
// bound: what fits with loss is converted, an enumeration takes only its
// enumerators and values of its base type.
TEST(LiteralTyping, IntoRealAndEnumerationTypes)
{
    EnumTable et;
    StSymbTable& t = et.t;
    const StConstEntryID cidA = t.getEntryCID(et.a);
    enum { LIT, SID_A, CID_A, DINT5 };
    struct Row {
        const char* what;  // the literal's text for LIT
        int from;
        bool toEnum;   // else REAL
        int check;     // checkConstantElem
        int status;    // assignConstant of the same value
        double value;  // of the bound constant
    } rows[] = {
        {"16777215", LIT, false, 4, 0, 16777215.0},
        {"16777216", LIT, false, 4, 0, 16777216.0},
        {"16#FFFFFFFF", LIT, false, 4, 0, 4294967296.0},
        {"2147483647", LIT, false, 4, 0, 2147483648.0},
        {"4294967295", LIT, false, 4, 0, 4294967296.0},  // a number, though its smallest type is DWORD
        {"99", LIT, true, 3, 2, 0},
        {"5", LIT, true, 3, 2, 0},  // A's value
        {"16#5", LIT, true, 3, 2, 0},
        {"-1", LIT, true, 3, 2, 0},
        {"the enumerator A", SID_A, true, 0, 0, 5},
        {"A's constant", CID_A, true, 0, 0, 5},
        {"a DINT 5", DINT5, true, 0, 0, 5},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const StTypeID tid = r.toEnum ? et.e : StTypeID(ST_REAL);
        auto value = [&]() -> StConstantVal* {
            if (r.from == LIT) return parsed(r.what).clone();
            if (r.from == DINT5) return new StStdConstantVal(int32_t(5), false);
            return t.getConstant(cidA)->clone();
        };
        std::unique_ptr<StConstantElem> elem(r.from == SID_A   ? new StConstantElem(ST_INVALID_CID, et.a)
                                             : r.from == CID_A ? new StConstantElem(cidA, ST_INVALID_SID)
                                                               : new StConstantElem(value()));
        EXPECT_EQ(r.check, t.checkConstantElem(*elem, tid, false));
        int status = -1;
        const StConstEntryID cid = t.assignConstant(tid, value(), status);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.status != 0, cid.isInvalid());
        if (cid.isInvalid()) continue;
        const StConstantVal* bound = t.getConstant(cid);
        EXPECT_EQ(r.toEnum ? uint32_t(ST_DINT) : uint32_t(ST_REAL), bound->getTypeId());
        EXPECT_EQ(r.value, valueOf(*bound));
    }
    // An enumeration's default is its first enumerator's value, and binds.
    int status = -1;
    EXPECT_TRUE(t.assignConstant(et.e, t.createInitValue(et.e), status).isValid());
    EXPECT_EQ(0, status);
}

}  // namespace

namespace {

// A 64-bit number's literal in radix 16 ("16#..."), or decimal.
std::string spelled(int64_t n, bool based)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, based ? "16#%llX" : "%lld", static_cast<long long>(n));
    return buf;
}

}  // namespace

// The one reading of a number literal as a value of a type, over every
// integer type at its bounds and one past them, decimal and based (a based
// number is unsigned; in a signed type its pattern in the type's width),
// against the number the type's range gives; reals into integer types are
// not of the type, and every integer and based number is a REAL and LREAL.
TEST(LiteralTyping, OneReadingOfANumberForEveryIntegerType)
{
    const struct {
        uint32_t type;
        unsigned bits;
        bool isSigned;
    } types[] = {{ST_BOOL, 1, false},  {ST_BYTE, 8, false},  {ST_USINT, 8, false}, {ST_WORD, 16, false},
                 {ST_UINT, 16, false}, {ST_DWORD, 32, false}, {ST_UDINT, 32, false}, {ST_SINT, 8, true},
                 {ST_INT, 16, true},   {ST_DINT, 32, true}};
    using Fit = StStdConstantVal::LiteralFit;
    for (const auto& t : types) {
        const int64_t lo = t.isSigned ? -(int64_t(1) << (t.bits - 1)) : 0;
        const int64_t hi = t.isSigned ? (int64_t(1) << (t.bits - 1)) - 1 : (int64_t(1) << t.bits) - 1;
        const int64_t width = int64_t(1) << t.bits;
        for (int64_t n : {lo - 1, lo, int64_t(0), hi, hi + 1, width - 1, width}) {
            for (bool based : {false, true}) {
                if (based && n < 0) continue;
                const std::string text = spelled(n, based);
                SCOPED_TRACE(std::to_string(t.type) + " " + text);
                // Decimal: the number in the range. Based: below the width,
                // its pattern (the top bit is the sign of a signed type).
                const bool fits = based ? n < width : n >= lo && n <= hi;
                const int64_t want = based && t.isSigned && n > hi ? n - width : n;
                StStdConstantVal v(t.type);
                v.SetULongVal(7);
                v.SetLongVal(7);
                const Fit f = StStdConstantVal::literalOfType(String(text.c_str()), based ? 16 : 10, t.type, v);
                EXPECT_EQ(fits ? Fit::Ok : Fit::OutOfRange, f);
                double d = 0;
                ASSERT_TRUE(v.getDouble(d));
                EXPECT_EQ(fits ? double(want) : 7.0, d);
                if (fits) {
                    EXPECT_EQ(uint32_t(t.type), v.getTypeId());
                    EXPECT_EQ(want < 0 ? -1 : 1, v.getSign());
                }
            }
        }
        StStdConstantVal real(t.type);
        EXPECT_EQ(Fit::NotOfType, StStdConstantVal::literalOfType(String("1.0"), 10, t.type, real));
    }
    for (uint32_t type : {uint32_t(ST_REAL), uint32_t(ST_LREAL)}) {
        for (const char* text : {"16#FFFFFFFF", "4294967295", "-2147483648", "99999999999"}) {
            StStdConstantVal v(type);
            const bool based = text[2] == '#';
            ASSERT_EQ(Fit::Ok, StStdConstantVal::literalOfType(String(text), based ? 16 : 10, type, v)) << text;
            double d = 0;
            ASSERT_TRUE(v.getDouble(d));
            const double want = based ? 4294967295.0 : std::strtod(text, nullptr);
            EXPECT_EQ(type == ST_REAL ? double(float(want)) : want, d) << text;
        }
        // Nonzero and nearer to 0 than the normal range: no value.
        for (const char* text : {"1e-40", "1e-320", "1e-400", "-4.9e-324"}) {
            StStdConstantVal v(type);
            const bool normal = type == ST_LREAL && std::strtod(text, nullptr) != 0 &&
                                std::fabs(std::strtod(text, nullptr)) >= DBL_MIN;
            EXPECT_EQ(normal ? Fit::Ok : Fit::OutOfRange, StStdConstantVal::literalOfType(String(text), 10, type, v))
                << text;
        }
    }
}
