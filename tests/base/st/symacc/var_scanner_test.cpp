// Internal-variable scanner: one table of texts to their token sequences
// (code, text, type, radix), the string-decoding mode, scan errors as token
// 1000, buffer switching and the position in the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "base/st/symacc/SyVarScanner.h"

namespace {

struct Tok {
    int code;
    std::string text;
    int type;   // -1: not checked
    int radix;  // -1: not checked
};

std::vector<Tok> scanAll(const std::string& text, bool decode = false)
{
    SyVarScannerFlexLexer s;
    s.decodeString = decode;
    s.setText(text.data(), text.size());
    std::vector<Tok> out;
    for (int i = 0; i < 50; ++i) {
        int t = s.yylex();
        if (t == 0) break;
        out.push_back({t, s.name.stdString(), s.type, s.radix});
    }
    return out;
}

struct Case {
    const char* input;
    std::vector<Tok> want;
};

TEST(VarScanner, Tokens)
{
    const Case cases[] = {
        {"true False", {{63, "1", 1, -1}, {63, "0", 1, -1}}},
        {"1_000", {{63, "1000", 32, 10}}},
        {"1000", {{53, "1000", 31, 10}}},
        {"-17", {{53, "-17", 31, 10}}},
        {"16#FF", {{63, "FF", 31, 16}}},
        {"2#1_01", {{63, "101", 31, 2}}},
        {"8#17", {{63, "17", 31, 8}}},
        {"INT#5", {{63, "5", 7, 10}}},
        {"udint#16#ff", {{63, "ff", 12, 16}}},
        {"REAL#1.5e-3", {{63, "1.5e-3", 14, 10}}},
        {"2.5", {{63, "2.5", 32, 10}}},
        {"t#1h_30m", {{56, "t#1h30m", 18, -1}}},
        {"TIME#2d5ms", {{56, "TIME#2d5ms", 18, -1}}},
        {"T#MAX", {{56, "T#MAX", 18, -1}}},
        {"TOD#12:30:15.5", {{57, "TOD#12:30:15.5", 20, -1}}},
        {"D#2001-01-01", {{58, "D#2001-01-01", 19, -1}}},
        {"DT#2001-01-01-12:00:00", {{59, "DT#2001-01-01-12:00:00", 21, -1}}},
        {"INT#MAX", {{63, "INT#MAX", 7, -1}}},
        {"usint#min", {{63, "usint#min", 10, -1}}},
        {"%IX10.7 %qb5", {{54, "IX10.7", -1, -1}, {54, "QB5", -1, -1}}},
        {"STRUCTALARMID#5", {{63, "5", 22, 10}}},
        {"StructTaskId#Task1", {{51, "Task1", 23, -1}}},
        {"TSI#ab.c_1", {{60, "TSI#ab.c_1", -1, -1}}},
        {"@Ref _x9", {{52, "@Ref", -1, -1}, {51, "_x9", -1, -1}}},
        {"a.b[1],c\\ #", {{51, "a", -1, -1}, {4, "a", -1, -1}, {51, "b", -1, -1}, {1, "b", -1, -1},
                          {53, "1", -1, -1}, {2, "1", -1, -1}, {3, "1", -1, -1}, {51, "c", -1, -1},
                          {5, "c", -1, -1}, {6, "c", -1, -1}}},
        {"'a$Nb'", {{61, "a\r\nb", -1, -1}}},
        {"'$41$$$'$l$t'", {{61, "A$'\n\t", -1, -1}}},
        {"'x$zy'", {{100, "x", -1, -1}, {61, "xzy", -1, -1}}},
        {"STRINGCONST>\tx", {{100, "", -1, -1}, {51, "x", -1, -1}}},
        {"?", {{55, "unknown character: ?", -1, -1}}},
        // the literal type is kept from one number to the next
        {"INT#5 6", {{63, "5", 7, 10}, {63, "6", 7, 10}}},
    };
    for (const Case& c : cases) {
        std::vector<Tok> got = scanAll(c.input);
        ASSERT_EQ(c.want.size(), got.size()) << c.input;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(c.want[i].code, got[i].code) << c.input << " #" << i;
            EXPECT_EQ(c.want[i].text, got[i].text) << c.input << " #" << i;
            if (c.want[i].type >= 0) {
                EXPECT_EQ(c.want[i].type, got[i].type) << c.input << " #" << i;
            }
            if (c.want[i].radix >= 0) {
                EXPECT_EQ(c.want[i].radix, got[i].radix) << c.input << " #" << i;
            }
        }
    }
}

TEST(VarScanner, DateWithShortPartsIsNoDate)
{
    std::vector<Tok> got = scanAll("D#2001-1-1");
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(51, got[0].code);
    EXPECT_EQ("D", got[0].text);
}

TEST(VarScanner, StringDecodingMode)
{
    std::vector<Tok> got = scanAll("plain words", true);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(62, got[0].code);
    EXPECT_EQ("plain words", got[0].text);

    got = scanAll("ab$", true);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(100, got[0].code);

    got = scanAll("'q$Nr'", true);  // a quote enters the string condition
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(61, got[0].code);
    EXPECT_EQ("q\r\nr", got[0].text);
}

// NUL bytes are data in a decoding run and a string, and a run of them is
// read in time linear in its length (a token holding NULs was read again
// from its start at each of them).
TEST(VarScanner, NulBytesAreDataReadInLinearTime)
{
    const std::string nul(1, '\0');
    std::vector<Tok> got = scanAll("a" + nul + nul + "b", true);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(62, got[0].code);
    EXPECT_EQ("a" + nul + nul + "b", got[0].text);
    got = scanAll(nul + "b'c", true);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(100, got[0].code);
    EXPECT_EQ("", got[0].text);  // the run's token leaves no text
    EXPECT_EQ(62, got[1].code);
    EXPECT_EQ("c", got[1].text);
    got = scanAll("'x" + nul + "y'");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(61, got[0].code);
    EXPECT_EQ("x" + nul + "y", got[0].text);

    auto seconds = [](const std::string& text, bool decode) {
        const auto start = std::chrono::steady_clock::now();
        scanAll(text, decode);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (const std::size_t size : {std::size_t(16) << 10, std::size_t(1) << 20}) {
        const double floor = std::max(seconds(std::string(size, 'a'), true), size * 5e-9);
        EXPECT_LT(seconds(std::string(size, '\0'), true), 20 * floor + 0.1) << size;
        EXPECT_LT(seconds("'" + std::string(size, '\0'), false), 20 * floor + 0.1) << size;
        if (HasFailure()) return;
    }
}

// A stream whose reads fail makes flex give up: the scan error token.
struct FailingBuf : std::streambuf {
    int_type underflow() override { throw std::runtime_error("device gone"); }
};

TEST(VarScanner, ScanErrorIsToken1000)
{
    SyVarScannerFlexLexer s;
    FailingBuf buf;
    std::istream in(&buf);
    std::ostringstream out;
    s.switch_streams(&in, &out);
    EXPECT_EQ(1000, s.yylex());
    EXPECT_EQ("input in flex scanner failed", s.errorText.stdString());
}

TEST(VarScanner, SwitchToTextAndBackWithPosition)
{
    SyVarScannerFlexLexer s;
    s.setText(String("outer.x"));
    EXPECT_EQ(51, s.yylex());
    EXPECT_EQ(5u, s.position());

    yy_buffer_state* prev = s.switchToText("  ab.cd[3]", 10);
    EXPECT_EQ(51, s.yylex());
    EXPECT_EQ(4u, s.position());
    EXPECT_EQ(4, s.yylex());
    EXPECT_EQ(5u, s.position());  // just after the dot
    {
        yy_buffer_state* inner = s.switchToText("q", 1);  // switches nest
        EXPECT_EQ(51, s.yylex());
        EXPECT_EQ("q", s.name.stdString());
        EXPECT_EQ(0, s.yylex());
        s.restoreBuffer(inner);
    }
    EXPECT_EQ(51, s.yylex());
    EXPECT_EQ("cd", s.name.stdString());
    s.restoreBuffer(prev);

    EXPECT_EQ(4, s.yylex());  // the outer text goes on where it stopped
    EXPECT_EQ(51, s.yylex());
    EXPECT_EQ("x", s.name.stdString());
    EXPECT_EQ(0, s.yylex());
}

}  // namespace
