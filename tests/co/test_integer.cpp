// Big integers: text in every base, arithmetic against an independent table
// and Python's integers, bit operations, representation reuse and the error
// hook.
#include "co/Integer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iomanip>
#include <iterator>
#include <vector>
#include <sstream>
#include <stdexcept>
#include <string>

#include "co/tvstring.h"

namespace {

// Expected values computed independently (arbitrary-precision arithmetic
// with truncating division).
struct ArithCase {
    const char *a, *b, *sum, *diff, *prod, *quot, *rem;
};
const ArithCase kArith[] = {
    {"9223231299366420480", "140737488355329", "9223372036854775809", "9223090561878065151", "1298054407593087564279525062737920", "65534", "140737488289794"},
    {"140737488355331", "35184372088833", "175921860444164", "105553116266498", "4951760157141767390201118723", "3", "35184372088832"},
    {"9223653503241551872", "2147549183", "9223653505389101055", "9223653501094002689", "19808249545161482574365720576", "4294967294", "131070"},
    {"9223372041149612032", "140737488420863", "9223512778638032895", "9223231303661191169", "1298074215842605056912604784623616", "65535", "140737488355327"},
    {"-7", "2", "-5", "-9", "-14", "-3", "-1"},
    {"7", "-2", "5", "9", "-14", "-3", "1"},
    {"-7", "-2", "-9", "-5", "14", "3", "-1"},
    {"6", "3", "9", "3", "18", "2", "0"},
    {"1", "4294967296", "4294967297", "-4294967295", "4294967296", "0", "1"},
    {"-1208925819614629174706176", "65535", "-1208925819614629174640641", "-1208925819614629174771711", "-79226953588444722964369244160", "-18447025552981295105", "-1"},
    {"1208925819614629174718521", "-1099511627777", "1208925819613529663090744", "1208925819615728686346298", "-1329227995786124798736995160499957817", "-1099511627775", "12346"},
    {"12345678901234567890123456789", "987654321987654321", "12345678902222222212111111110", "12345678900246913568135802468", "12193263124676116323731138532360920590112635269", "12499999874", "833333448067901235"},
    {"-10000000000000000000000000000000000000000", "100000000000000000000", "-9999999999999999999900000000000000000000", "-10000000000000000000100000000000000000000", "-1000000000000000000000000000000000000000000000000000000000000", "-100000000000000000000", "0"},
    {"0", "5", "5", "-5", "0", "0", "0"},
    {"65535", "65535", "131070", "0", "4294836225", "1", "0"},
    {"-4294967296", "4294967296", "0", "-8589934592", "-18446744073709551616", "-1", "0"},
    {"5916577241392309741914029216933384094622784376292", "658695789162504494298344048400477", "5916577241392310400609818379437878392966832776769", "5916577241392309083218240054428889796278735975815", "3897224515159821316571996602189105454420116199205536166166844442164359328680291284", "8982260610645336", "628035069882425329877493244151020"},
    {"-90122", "-11719478927757765164419866519111076751", "-11719478927757765164419866519111166873", "11719478927757765164419866519110986629", "1056182879927385312147847210435328458953622", "0", "-90122"},
    {"1775651415", "11005833568020727903032", "11005833568022503554447", "-11005833568018952251617", "19542523948310504250348753590280", "0", "1775651415"},
    {"-36868150425576828010985471449247454650122279045354386431911382268400806140286762593159925", "-1060979503424492", "-36868150425576828010985471449247454650122279045354386431911382268400806141347742096584417", "-36868150425576828010985471449247454650122279045354386431911382268400806139225783089735433", "39116351930707976381865802914482498905135725030107117851919855904425826385398792653672416852712917883100", "34749163679956676808819841826216601616693005417920066242832645475572670697", "-584244872649001"},
    {"92600975546745261606297398135197184249021893602333197202400486874199009700720474433583", "113085442163845127483986538939297202233399895074", "92600975546745261606297398135197184249134979044497042329884473413138306902953874328657", "92600975546745261606297398135197184248908808160169352074916500335259712498487074538509", "10471822264507098213751768733372504123064523860795510261380855187703900688629557527060596664836858007290509227173913609767771781870142", "818858500040874282259553399026726270785", "5185430100837570519462209016200807782162820493"},
    {"-53463603451052231674657622681100784536382403748031557092301973469741389361492", "116686792447684760225908281673645", "-53463603451052231674657622681100784536382403631344764644617213243833107687847", "-53463603451052231674657622681100784536382403864718349539986733695649671035137", "-6238496399398254430353946561445951914012566649497470055401842077123829203860986408930744965150283551674278340", "-458180418962343575880418742947701755395867364", "-115936822692961913750851034939712"},
    {"-1321022090927", "12303177969538073593987020418336", "12303177969538073592665998327409", "-12303177969538073595308042509263", "-16252769886366188291464339367528864970037472", "0", "-1321022090927"},
    {"964125589265844156", "8516153036819442328251394454869", "8516153036820406453840660299025", "-8516153036818478202662128610713", "8210641064901653037817008589016575457518729395564", "0", "964125589265844156"},
};

struct TextCase {
    const char* dec;
    int base;
    const char* text;
};
const TextCase kText[] = {
    {"35", 2, "100011"},
    {"-255", 2, "-11111111"},
    {"18446744073709551621", 2, "10000000000000000000000000000000000000000000000000000000000000101"},
    {"-999999999999999999999999999993", 2, "-1100100111110010110010011100110100000100011001110100111011011110101000111111111111111111111111111001"},
    {"10000", 2, "10011100010000"},
    {"16777216", 2, "1000000000000000000000000"},
    {"35", 8, "43"},
    {"-255", 8, "-377"},
    {"18446744073709551621", 8, "2000000000000000000005"},
    {"-999999999999999999999999999993", 8, "-1447626234640431647336507777777771"},
    {"10000", 8, "23420"},
    {"16777216", 8, "100000000"},
    {"35", 16, "23"},
    {"-255", 16, "-ff"},
    {"18446744073709551621", 16, "10000000000000005"},
    {"-999999999999999999999999999993", 16, "-c9f2c9cd04674edea3ffffff9"},
    {"10000", 16, "2710"},
    {"16777216", 16, "1000000"},
    {"35", 36, "z"},
    {"-255", 36, "-73"},
    {"18446744073709551621", 36, "3w5e11264sgsl"},
    {"-999999999999999999999999999993", 36, "-2oy99wnkl1c76diocq9l"},
    {"10000", 36, "7ps"},
    {"16777216", 36, "9zlds"},
    {"35", 10, "35"},
    {"-255", 10, "-255"},
    {"18446744073709551621", 10, "18446744073709551621"},
    {"-999999999999999999999999999993", 10, "-999999999999999999999999999993"},
    {"10000", 10, "10000"},
    {"16777216", 10, "16777216"},
    {"35", 7, "50"},
    {"-255", 7, "-513"},
    {"18446744073709551621", 7, "45012021522523134134610"},
    {"-999999999999999999999999999993", 7, "-243230604464041356413054436032064441"},
    {"10000", 7, "41104"},
    {"16777216", 7, "262414111"},
};

Integer dec(const char* s)
{
    return Integer::fromString(s, 10);
}

}  // namespace

TEST(Integer, FromStringRangesAndSaturation)
{
    struct Case {
        const char* text;
        int base;
        const char* value;
        bool fits;
        int32_t asLong;
    } cases[] = {
        {"ffffffff", 16, "4294967295", false, 0x7FFFFFFF},
        {"-2147483648", 10, "-2147483648", true, INT32_MIN},
        {"-2147483649", 10, "-2147483649", false, INT32_MIN},
        {"2147483647", 10, "2147483647", true, INT32_MAX},
        {"2147483648", 10, "2147483648", false, INT32_MAX},
        {"-80000000", 16, "-2147483648", true, INT32_MIN},
        {"-80000001", 16, "-2147483649", false, INT32_MIN},
        {"-ffff", 16, "-65535", true, -65535},
        {"10000", 16, "65536", true, 65536},
        {"-18000", 16, "-98304", true, -98304},
        {"12z", 10, "12", true, 12},
        {"Z", 36, "35", true, 35},
        {"zz", 36, "1295", true, 1295},
        {" \t\n+101", 2, "5", true, 5},
        {"1012", 2, "5", true, 5},
        {"779", 8, "63", true, 63},
        {"", 10, "0", true, 0},
        {"-", 10, "0", true, 0},
        {"x1", 10, "0", true, 0},
        {"- 5", 10, "0", true, 0},
        {"100000000000000000000", 10, "100000000000000000000", false, INT32_MAX},
        {"-100000000000000000000", 10, "-100000000000000000000", false, INT32_MIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Integer v = Integer::fromString(c.text, c.base);
        EXPECT_EQ(v.toText(), c.value);
        EXPECT_EQ(v.fitsLong(), c.fits);
        EXPECT_EQ(v.toLong(), c.asLong);
    }
}

TEST(Integer, EveryZeroIsTheSame)
{
    Integer minusZero = Integer::fromString("-0", 10);
    Integer minusZeros = Integer::fromString("-000", 16);
    Integer computed = dec("123456789012345678901234567890") - dec("123456789012345678901234567890");
    Integer negated = -Integer(0);
    for (const Integer* z : {&minusZero, &minusZeros, &computed, &negated}) {
        EXPECT_TRUE(z->isZero());
        EXPECT_FALSE(z->isNegative());
        EXPECT_EQ(z->sign(), 0);
        EXPECT_EQ(*z, Integer(0));
        EXPECT_EQ(*z, 0);
        EXPECT_EQ(z->compare(minusZero), 0);
        EXPECT_EQ(z->toText(), "0");
        EXPECT_TRUE(z->fitsLong());
    }
    EXPECT_LT(Integer(-1), minusZero);
    EXPECT_GT(Integer(1), minusZero);
}

TEST(Integer, ArithmeticTable)
{
    for (const ArithCase& c : kArith) {
        SCOPED_TRACE(std::string(c.a) + " , " + c.b);
        const Integer a = dec(c.a), b = dec(c.b);
        EXPECT_EQ((a + b).toText(), c.sum);
        EXPECT_EQ((a - b).toText(), c.diff);
        EXPECT_EQ((a * b).toText(), c.prod);
        Integer q, r;
        Integer::divide(a, b, q, r);
        EXPECT_EQ(q.toText(), c.quot);
        EXPECT_EQ(r.toText(), c.rem);
        EXPECT_EQ((a / b).toText(), c.quot);
        EXPECT_EQ((a % b).toText(), c.rem);
        // Reconstruction and comparison agree with the table.
        EXPECT_EQ(q * b + r, a);
        EXPECT_EQ(a.compare(b) < 0, dec(c.diff).isNegative());
    }
}

TEST(Integer, OperandsMayBeTheTarget)
{
    Integer x = dec("340282366920938463463374607431768211455");   // 2^128 - 1
    x += x;
    EXPECT_EQ(x.toText(), "680564733841876926926749214863536422910");
    x -= x;
    EXPECT_TRUE(x.isZero());
    Integer y = dec("-18446744073709551616");   // -2^64
    y *= y;
    EXPECT_EQ(y.toText(), "340282366920938463463374607431768211456");
    Integer q = y, r;
    Integer::divide(q, q, q, r);
    EXPECT_EQ(q, 1);
    EXPECT_TRUE(r.isZero());
}

TEST(Integer, LongOperandsAndNegation)
{
    Integer v(INT32_MAX);
    v += 1;
    EXPECT_EQ(v.toText(), "2147483648");
    EXPECT_FALSE(v.fitsLong());
    v -= INT32_MIN;   // subtracting the most negative long
    EXPECT_EQ(v.toText(), "4294967296");
    v = INT32_MIN;
    v.negate();
    EXPECT_EQ(v.toText(), "2147483648");
    EXPECT_EQ((-v).toLong(), INT32_MIN);
    EXPECT_EQ(Integer(uint32_t(0xFFFFFFFFu)).toText(), "4294967295");
    EXPECT_EQ(Integer(int64_t(-0x123456789ABLL)).toText(), "-1250999896491");
    EXPECT_EQ((Integer(-7) / 2).toLong(), -3);
    EXPECT_EQ((Integer(-7) % 2).toLong(), -1);
    EXPECT_EQ((Integer(7) % -2).toLong(), 1);
    EXPECT_EQ((Integer(5) * -3).toLong(), -15);
    // The shared representations of 0, 1 and -1 are never written.
    Integer one(1), minusOne(-1), zero(0);
    Integer a(1);
    a += 1;
    a.negate();
    EXPECT_EQ(a, -2);
    EXPECT_EQ(one, 1);
    EXPECT_EQ(minusOne, -1);
    EXPECT_EQ(zero, 0);
    EXPECT_EQ(Integer(1).abs(), Integer(-1).abs());
    Integer m(-1);
    m.negate();
    EXPECT_EQ(m, 1);
    EXPECT_EQ(Integer(-1), -1);
}

TEST(Integer, TextInBases)
{
    for (const TextCase& c : kText) {
        SCOPED_TRACE(std::string(c.dec) + " base " + std::to_string(c.base));
        EXPECT_EQ(dec(c.dec).toText(c.base), c.text);
        EXPECT_EQ(Integer::fromString(c.text, c.base), dec(c.dec));
    }
    Integer v(255);
    EXPECT_EQ(v.toText(16, true), "0xff");
    EXPECT_EQ(v.toText(16, true, true), "0Xff");
    EXPECT_EQ(v.toText(8, true), "0377");
    EXPECT_EQ(v.toText(10, false, false, true), "+255");
    EXPECT_EQ(Integer(-255).toText(16, true), "-0xff");
    EXPECT_EQ(v.toText(10, false, false, false, 6, '*'), "***255");
    EXPECT_EQ(v.toText(10, false, false, false, 6, '*', true), "255***");
    EXPECT_EQ(v.toText(10, false, false, false, 2), "255");
    EXPECT_EQ(Integer(0).toText(16, true), "0x0");
}

// Long texts are read several digits at a time; the result must equal the
// value built digit by digit with the arithmetic operators.
TEST(Integer, LongTextsInEveryBase)
{
    for (int base = 2; base <= 36; ++base) {
        SCOPED_TRACE(base);
        std::string text;
        Integer expect(0);
        for (int i = 0; i < 97; ++i) {
            int d = (i * 7 + 3) % base;
            text += "0123456789abcdefghijklmnopqrstuvwxyz"[d];
            expect = expect * int32_t(base) + int32_t(d);
        }
        EXPECT_EQ(Integer::fromString(text.c_str(), base), expect);
        EXPECT_EQ(Integer::fromString(("-" + text).c_str(), base), -expect);
        EXPECT_EQ(expect.toText(base), text.substr(text.find_first_not_of('0')));
    }
}

namespace {
void refusingHook(const char* cls, const char* msg)
{
    ADD_FAILURE() << cls << ": " << msg;
}
}  // namespace

// A literal too long for any representation must not end the process: it
// keeps its leading digits, which are far outside every 32-bit range.
TEST(Integer, OverlongLiteralsKeepTheirLeadingDigits)
{
    StringErrorHandler prev = setStringErrorHandler(refusingHook);
    const std::string digits = "7" + std::string(400000, '3');
    Integer v = Integer::fromString(digits.c_str(), 10);
    EXPECT_GT(v.digitCount(), 65000u);
    EXPECT_LE(v.digitCount(), 65532u);
    EXPECT_FALSE(v.fitsLong());
    EXPECT_EQ(v.toLong(), INT32_MAX);
    EXPECT_GT(v, Integer::fromString(digits.substr(0, 300000).c_str(), 10));

    std::istringstream is(digits + " 5");
    Integer s, after;
    is >> s >> after;
    EXPECT_EQ(s, v);
    EXPECT_EQ(after, 5);   // the whole literal was consumed
    setStringErrorHandler(prev);
}

TEST(Integer, StreamOutputAndInput)
{
    std::ostringstream os;
    os << Integer(-42) << ' ' << std::hex << std::showbase << Integer(255) << ' ' << std::dec
       << std::setw(5) << std::setfill('0') << Integer(7) << ' ' << Integer(8);
    EXPECT_EQ(os.str(), "-42 0xff 00007 8");

    std::istringstream is("  - 12abc 0x1F 017 +9 99999999999999999999");
    Integer a, b, c, d, e;
    is >> a;
    EXPECT_EQ(a, -12);
    std::string rest;
    is >> rest;
    EXPECT_EQ(rest, "abc");
    is >> b >> c >> d >> e;
    EXPECT_EQ(b, 31);
    EXPECT_EQ(c, 15);
    EXPECT_EQ(d, 9);
    EXPECT_EQ(e.toText(), "99999999999999999999");
    EXPECT_TRUE(is.eof());

    std::istringstream hex("ff");
    hex >> std::hex >> a;
    EXPECT_EQ(a, 255);
    std::istringstream bad("xyz");
    bad >> a;
    EXPECT_TRUE(bad.fail());
}

TEST(Integer, SmallValuesStayInOneSmallBlock)
{
    Integer v = Integer::fromString("ffffffffffffffffffff", 16);   // 5 digits
    EXPECT_EQ(v.digitCount(), 5u);
    EXPECT_EQ(v.repCapacity(), 5u);
    v += 1;   // 6 digits
    EXPECT_EQ(v.digitCount(), 6u);
    EXPECT_EQ(v.repCapacity(), 13u);
    v = 3;   // the larger block is reused
    EXPECT_EQ(v.repCapacity(), 13u);
    EXPECT_EQ(v, 3);
}

namespace {
struct HookError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
void throwingHook(const char* cls, const char* msg)
{
    throw HookError(std::string(cls) + ": " + msg);
}
std::string faultOf(void (*f)())
{
    StringErrorHandler prev = setStringErrorHandler(throwingHook);
    std::string what;
    try {
        f();
    } catch (const HookError& e) {
        what = e.what();
    }
    setStringErrorHandler(prev);
    return what;
}
}  // namespace

TEST(Integer, ProgrammingErrorsGoToTheErrorHook)
{
    EXPECT_EQ(faultOf([] { Integer q = Integer(5) / Integer(0); }), "Integer: attempted division by zero");
    EXPECT_EQ(faultOf([] { Integer q = Integer(5) % 0; }), "Integer: attempted division by zero");
    EXPECT_EQ(faultOf([] {
                  Integer never;
                  Integer sum = never + 1;
              }),
              "Integer: operation on uninitialized Integer");
    EXPECT_EQ(faultOf([] {
                  Integer big(65536);
                  for (int i = 0; i < 15; ++i) big *= big;   // 2^(16 * 32768): 32769 digits
                  Integer square = big * big;                // would need 65538 digits
              }),
              "Integer: Requested length out of range");
    EXPECT_EQ(faultOf([] { Integer r = Integer::sqrt(Integer(-4)); }),
              "Integer: Attempted square root of negative Integer");
    EXPECT_EQ(faultOf([] { Integer r = Integer(1) << 0x7FFFFFFF; }), "Integer: Requested length out of range");
}

// The operations agree with Python's integers (tests/co/integer_oracle.py)
// on random operand pairs of up to 100 digits, with edge values mixed in.
TEST(Integer, AgreesWithPythonIntegers)
{
    const std::string cmd = std::string("python3 '") + TV_SOURCE_DIR + "/tests/co/integer_oracle.py' 20000 22";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) GTEST_SKIP() << "python3 cannot be started";
    static const char* const names[] = {"a+b", "a-b", "a*b", "a/b", "a%b", "a&b", "a|b", "a^b", "~a",
                                        "a<<s", "a>>s", "a**e", "gcd", "bitlen", "isqrt", "a*l", "a/l",
                                        "a%l", "divide(a,l)"};
    std::string line;
    size_t rows = 0, failures = 0;
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        if (c != '\n') {
            line.push_back(char(c));
            continue;
        }
        std::istringstream in(line);
        std::vector<std::string> f{std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
        line.clear();
        ASSERT_EQ(f.size(), 23u);
        const Integer a = Integer::fromString(f[0].c_str()), b = Integer::fromString(f[1].c_str());
        const int32_t sh = std::stoi(f[2]), e = std::stoi(f[3]), l = int32_t(std::stol(f[4]));
        Integer q;
        int32_t r = 0;
        Integer::divide(a, l, q, r);
        const std::string got[] = {
            (a + b).toText(), (a - b).toText(), (a * b).toText(), (a / b).toText(), (a % b).toText(),
            (a & b).toText(), (a | b).toText(), (a ^ b).toText(), (~a).toText(), (a << sh).toText(),
            (a >> sh).toText(), Integer::pow(a, e).toText(), Integer::gcd(a, b).toText(),
            std::to_string(a.bitLength()), Integer::sqrt(a.abs()).toText(), (a * l).toText(),
            (a / l).toText(), (a % l).toText(), q.toText() + "," + std::to_string(r)};
        for (size_t i = 0; i < 19; ++i) {
            const std::string want = i < 18 ? f[5 + i] : f[21] + "," + f[22];
            if (got[i] != want && ++failures <= 5)
                ADD_FAILURE() << names[i] << " of a=" << f[0] << " b=" << f[1] << " s=" << sh << " e=" << e
                              << " l=" << l << ": " << got[i] << " instead of " << want;
        }
        ++rows;
    }
    const int status = pclose(pipe);
    if (rows == 0 && status != 0) GTEST_SKIP() << "python3 is not available";
    EXPECT_EQ(rows, 20000u);
    EXPECT_EQ(failures, 0u);
}

TEST(Integer, BitOperationsOnSmallValues)
{
    // Two's complement with endless sign bits, as the oracle's.
    EXPECT_EQ((Integer(-5) >> 1).toText(), "-3");
    EXPECT_EQ((Integer(-4) >> 1).toText(), "-2");
    EXPECT_EQ((Integer(-1) >> 100).toText(), "-1");
    EXPECT_EQ((Integer(5) >> -2).toText(), "20");
    EXPECT_EQ((Integer(-6) & Integer(0xFFFF)).toText(), "65530");
    EXPECT_EQ((Integer(-6) | Integer(1)).toText(), "-5");
    EXPECT_EQ((~Integer(0)).toText(), "-1");
    EXPECT_EQ(Integer(-255).bitLength(), 8u);
    EXPECT_EQ(Integer(0).bitLength(), 0u);
    EXPECT_EQ(Integer::pow(Integer(-1), -3).toText(), "-1");
    EXPECT_EQ(Integer::pow(Integer(2), -1).toText(), "0");
    EXPECT_EQ(Integer::pow(Integer(0), 0).toText(), "1");
    EXPECT_EQ(Integer::gcd(Integer(0), Integer(0)).toText(), "0");
    EXPECT_EQ(Integer::sqrt(Integer(15)).toText(), "3");
    EXPECT_EQ(Integer::sqrt(Integer(16)).toText(), "4");
    // The operand may be the target.
    Integer x = Integer::fromString("123456789012345678901234567890");
    x &= x;
    x ^= x;
    EXPECT_TRUE(x.isZero());
}
