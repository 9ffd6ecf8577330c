// The boot-function scanner: the token codes and texts of every keyword,
// punctuation and literal form, case and longer words, the collected texts
// (code blocks, function names, parameters and bodies), comments, line
// counting and the scanner's errors.
#include <gtest/gtest.h>

#include "bf_test_support.h"

using namespace bftest;
using fronttest::MessageCapture;

namespace {

std::vector<Token> tokens(std::initializer_list<std::pair<int, const char*>> list)
{
    std::vector<Token> v;
    for (const auto& t : list) v.push_back(Token{t.first, t.second ? t.second : "", 0});
    return v;
}

}  // namespace

TEST(BfScanner, EveryTokenFormHasItsCodeAndText)
{
    MessageCapture messages(argumentTable());
    const std::string text =
        "; := : . .. , ( ) [ ]\n"
        "BEGIN_BF_FUNCTIONS BF_FUNCTION(f1)(int a){ return a; }\r\n"
        "BF_MSG_FUNCTION(f2)(void){} END_BF_FUNCTIONS\n"
        "TYPE ARRAY OF STRUCT END_STRUCT SINT USINT INT UINT DINT UDINT REAL LREAL STRING BOOL\n"
        "CS ALTERABLE NOT_ALTERABLE ALTERABLE_WITH_RESTART RULE USER OPTIONAL DEFAULT CFGCHANGED\n"
        "MODIFY INSTANTIATE UNITCHANGED CHECK c1 END_CHECK CHECK_EX c2 END_CHECK_EX\n"
        "BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS BEGIN_BF END_BF\n"
        "VAR END_VAR SUB_FUNCTIONS END_SUBFUNCTIONS DEPENDENCIES END_DEPENDENCIES\n"
        "BEGIN_BF_ADR_RESOLUTION END_BF_ADR_RESOLUTION\n"
        "$12 $16#1F @7 @16#aB _x9 2#101 8#17 -42 +7 16#fF 1.5 -2.5e-3 3E4 \"a\\\"b\n"
        "c\\n\" BEGIN_ACT act END_ACT";
    const std::vector<Token> expected = tokens({
        {258, nullptr}, {259, nullptr}, {260, nullptr}, {261, nullptr}, {262, nullptr}, {263, nullptr},
        {264, nullptr}, {265, nullptr}, {266, nullptr}, {267, nullptr},
        {269, nullptr}, {270, "f1"}, {271, "int a"}, {272, "{ return a; }"},
        {270, "f2"}, {271, "void"}, {272, "{}"}, {273, nullptr},
        {274, nullptr}, {275, nullptr}, {276, nullptr}, {277, nullptr}, {278, nullptr},
        {279, nullptr}, {280, nullptr}, {281, nullptr}, {282, nullptr}, {283, nullptr}, {284, nullptr},
        {285, nullptr}, {286, nullptr}, {287, nullptr}, {288, nullptr},
        {291, nullptr}, {292, nullptr}, {293, nullptr}, {294, nullptr}, {296, nullptr}, {297, nullptr},
        {298, nullptr}, {299, nullptr}, {300, nullptr},
        {301, nullptr}, {302, nullptr}, {303, nullptr}, {304, nullptr}, {330, " c1 "}, {305, nullptr}, {330, " c2 "},
        {306, nullptr}, {307, nullptr}, {308, nullptr}, {309, nullptr}, {310, nullptr}, {311, nullptr},
        {312, nullptr}, {313, nullptr}, {314, nullptr}, {315, nullptr}, {316, nullptr}, {317, nullptr},
        {318, nullptr}, {319, nullptr},
        {320, "$12"}, {320, "$16#1F"}, {321, "@7"}, {321, "@16#aB"}, {323, "_x9"}, {324, "2#101"}, {325, "8#17"},
        {326, "-42"}, {326, "+7"}, {327, "16#fF"}, {328, "1.5"}, {328, "-2.5e-3"}, {328, "3E4"},
        {329, "a\"b\nc\\n"}, {330, " act "},
    });
    // Read whole, and in blocks that end the scanner's buffer inside the
    // tokens, with their lines.
    std::vector<int32_t> lines;
    for (int block : {0, 1, 2, 3, 5}) {
        int32_t errors = -1;
        const std::vector<Token> got = scanAll(text, true, nullptr, &errors, block);
        EXPECT_EQ(got, expected) << "blocks of " << block;
        EXPECT_EQ(errors, 0);
        std::vector<int32_t> gotLines;
        for (const Token& t : got) gotLines.push_back(t.line);
        if (block == 0) lines = gotLines;
        EXPECT_EQ(gotLines, lines) << "blocks of " << block;
    }
    EXPECT_TRUE(messages.records.empty());
}

TEST(BfScanner, KeywordsAreUpperCaseWholeWords)
{
    // Other cases and longer words are identifiers, lower-cased (A-Z only)
    // under the flag and kept as written without it.
    EXPECT_EQ(scanAll("check Check_Ex begin_BF END_STRUCTx CHECK_EXTRA END_SUB_FUNCTIONS Int\xC4"),
              tokens({{323, "check"}, {323, "check_ex"}, {323, "begin_bf"}, {323, "end_structx"},
                      {323, "check_extra"}, {323, "end_sub_functions"}, {323, "int"}, {322, nullptr}}));
    EXPECT_EQ(scanAll("Check_Ex UINT", false), tokens({{323, "Check_Ex"}, {282, nullptr}}));
    // No C notation for numbers; the lower-case opener is a name and "(".
    EXPECT_EQ(scanAll("0x10 bf_function(a)"),
              tokens({{326, "0"}, {323, "x10"}, {323, "bf_function"}, {264, nullptr}, {323, "a"}, {265, nullptr}}));
    // A range between two numbers, not two reals.
    EXPECT_EQ(scanAll("1..5"), tokens({{326, "1"}, {262, nullptr}, {326, "5"}}));
    // What ends a word or a number, read whole and in blocks; the last
    // token at the end of the input.
    for (int block : {0, 1, 2, 4}) {
        EXPECT_EQ(scanAll("CHECKS BF_FUNCTIONS END_VAR1 7e x:=-3.(x)1E 2#", true, nullptr, nullptr, block),
                  tokens({{323, "checks"}, {323, "bf_functions"}, {323, "end_var1"}, {326, "7"}, {323, "e"},
                          {323, "x"}, {259, nullptr}, {326, "-3"}, {261, nullptr}, {264, nullptr}, {323, "x"},
                          {265, nullptr}, {326, "1"}, {323, "e"}, {326, "2"}, {322, nullptr}}))
            << "blocks of " << block;
        EXPECT_EQ(scanAll("VAR\n  END_VAR", true, nullptr, nullptr, block), tokens({{312, nullptr}, {313, nullptr}}))
            << "blocks of " << block;
    }
}

TEST(BfScanner, LongNamesAreOneIdentifierWhereverTheBufferEnds)
{
    // A name longer than the scanner's buffer (or than what one read
    // brings) is one identifier all the same, lower-cased (A-Z only) under
    // the flag, with what follows it read as it would be after a short one.
    const struct {
        const char* text;
        std::vector<Token> tokens;  // after the name
        int32_t line;               // of the last token
    } enders[] = {
        {"", {}, 1},
        {";", tokens({{258, nullptr}}), 1},
        {" x", tokens({{323, "x"}}), 1},
        {"\n:=", tokens({{259, nullptr}}), 2},
        {"(*c*)$1", tokens({{320, "$1"}}), 1},
    };
    for (std::size_t length : {31u, 32u, 33u, 4095u, 16383u, 16384u, 16385u, 70000u}) {
        std::string name, lower;
        for (std::size_t i = 0; i < length; ++i) {
            const char c = "QbZ_9y"[i % 6];
            name += c;
            lower += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
        for (const auto& e : enders)
            for (int block : {0, 1, 4096, 5000})
                for (bool lowerCase : {true, false}) {
                    // (a token read a byte at a time is scanned again after
                    // each byte: short ones only)
                    if (block == 1 && length > 4095) continue;
                    std::vector<Token> expected = tokens({{323, nullptr}});
                    expected[0].text = lowerCase ? lower : name;
                    expected.insert(expected.end(), e.tokens.begin(), e.tokens.end());
                    int32_t errors = -1;
                    const std::vector<Token> got = scanAll(name + e.text, lowerCase, nullptr, &errors, block);
                    EXPECT_EQ(got, expected) << length << " bytes, then '" << e.text << "', blocks of " << block;
                    EXPECT_EQ(errors, 0);
                    if (!got.empty()) {
                        EXPECT_EQ(got.back().line, e.line);
                    }
                }
    }
}

TEST(BfScanner, LongCollectedTextsWhereverTheBufferEnds)
{
    // Strings, code blocks and function texts of many buffers: each one
    // value as the rules collect it (CR dropped from code and function
    // texts, a backslash-quote pair a quote in strings).
    for (std::size_t length : {20000u, 70000u}) {
        std::string string, stringValue, code, codeValue, body, bodyValue;
        for (std::size_t i = 0; string.size() < length; ++i) {
            const bool quote = i % 1021 == 5, lineEnd = i % 997 == 3;
            string += quote ? "\\\"" : lineEnd ? "\n" : i % 3 ? "s" : "\\n";
            stringValue += quote ? "\"" : lineEnd ? "\n" : i % 3 ? "s" : "\\n";
            code += lineEnd ? "\r\n" : i % 13 == 5 ? "EN" : i % 7 == 1 ? "E" : "c";
            codeValue += lineEnd ? "\n" : i % 13 == 5 ? "EN" : i % 7 == 1 ? "E" : "c";
            const char* const piece = lineEnd ? "\r\n" : i % 101 == 7 ? "{ }" : i % 211 == 9 ? "/* { */" : "b";
            body += piece;
            bodyValue += lineEnd ? "\n" : piece;
        }
        const std::vector<Token> expected = {
            {329, stringValue, 0}, {330, " " + codeValue, 0}, {270, "f", 0},
            {271, "p", 0},         {272, "{" + bodyValue + "}", 0}, {258, "", 0}};
        const std::string text =
            "\"" + string + "\" BEGIN_ACT " + code + "END_ACT BF_FUNCTION(f)(p){" + body + "};";
        for (int block : {0, 4096, 5000}) {
            int32_t errors = -1;
            EXPECT_EQ(scanAll(text, true, nullptr, &errors, block), expected) << length << " in blocks of " << block;
            EXPECT_EQ(errors, 0);
        }
    }
}

TEST(BfScanner, CollectedTexts)
{
    const struct {
        const char* text;
        std::vector<Token> expected;
    } cases[] = {
        // CR dropped in blocks; the end word ends a block inside a longer word.
        {"BEGIN_ACT a\r\nb XEND_ACT;", tokens({{330, " a\nb X"}, {258, nullptr}})},
        {"CHECK x END_CHECK_EX", tokens({{304, nullptr}, {330, " x "}, {323, "_ex"}})},
        // Nested braces; a "//" comment (CR LF becomes LF) and a "/* */"
        // comment keep their braces uncounted; a brace in a string counts.
        {"BF_FUNCTION(f)(x)\n{ if (a) { b(); } // }\r\n /* { */ s = \"}\"; }",
         tokens({{270, "f"}, {271, "x"}, {272, "\n{ if (a) { b(); } // }\n /* { */ s = \"}"}})},
        // A comment in a function name goes into the name.
        {"BF_FUNCTION(a/*)(*/b)(p)}", tokens({{270, "a/*)(*/b"}, {271, "p"}})},
        // Comments do not nest.
        {"(* (* a *) b /* /* */ c", tokens({{323, "b"}, {323, "c"}})},
    };
    for (const auto& c : cases) EXPECT_EQ(scanAll(c.text), c.expected) << c.text;
}

TEST(BfScanner, LinesCountEveryLineFeed)
{
    // Read whole and in blocks; a long run of blanks and line ends counts
    // as its line feeds, however the reads split it.
    for (int block : {0, 1, 3, 7}) {
        const std::vector<Token> t = scanAll(
            "a\nBEGIN_ACT\nx\r\ny\nEND_ACT b // c\n(* \n *) \"s\n\" d /*\n*/ BF_FUNCTION(\n)(\n){\n} e" +
                std::string(3000, ' ') + "\r\n \t\r\r\n" + std::string(3000, ' ') + "f",
            true, nullptr, nullptr, block);
        ASSERT_EQ(t.size(), 10u);
        const int32_t lines[] = {1, 5, 5, 8, 8, 10, 11, 12, 12, 14};
        for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].line, lines[i]) << i << " in blocks of " << block;
    }
}

TEST(BfScanner, AnySoupReadsTheSameInBlocks)
{
    // Random runs of the pieces tokens begin and end with: the same tokens
    // and lines whether the buffer ends inside the tokens or not.
    const std::vector<std::string> pieces = {
        ";", ":", "=", ".", ",", "(", ")", "[", "]", "(*", "*)", "/", "*", "\"", "\\", "{", "}", "1", "42", "+", "-",
        "e", "E", "#", "16#", "2#", "$", "@", "INT", "END_VAR", "CHECK", "_EX", "BEGIN_ACT", "END_ACT", "BF_FUNCTION",
        "CHECK_EX", "END_CHECK", "END_CHECK_EX", "END_", "        ",
        "x", "a9", " ", "\t", "\n", "\r", "\r\n", std::string(1, '\0')};
    expectSoupsReadTheSameInBlocks(48, pieces, 3000, [](const std::string& text, int block) {
        int32_t errors = 0;
        std::vector<std::string> all;
        for (const Token& t : scanAll(text, true, nullptr, &errors, block))
            all.push_back(std::to_string(t.code) + " " + t.text + " @" + std::to_string(t.line));
        all.push_back("errors " + std::to_string(errors));
        return all;
    });
}

TEST(BfScanner, Errors)
{
    MessageCapture messages(argumentTable());
    // A character no rule takes: 501 with it between quotes, counted, and
    // the token UNKNOWN_CHAR.
    int32_t errors = 0;
    EXPECT_EQ(scanAll("a\n!", true, nullptr, &errors), tokens({{323, "a"}, {322, nullptr}}));
    EXPECT_EQ(errors, 1);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{501});
    EXPECT_EQ(messages.records[0].text, "'!'");
    EXPECT_EQ(messages.records[0].position, 2u);

    // "//" without a line end after it is two unknown characters.
    messages.clear();
    EXPECT_EQ(scanAll("a //x", true, nullptr, &errors), tokens({{323, "a"}, {322, nullptr}, {322, nullptr}, {323, "x"}}));
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{501, 501}));

    // The end of input in a code block or function text: 501 at the last
    // line, counted; in strings and comments: nothing.
    const struct {
        const char* text;
        size_t tokens;
        bool reported;
    } ends[] = {
        {"BEGIN_ACT x\n", 0, true},         {"CHECK x", 1, true},         {"CHECK_EX x", 1, true},
        {"BF_FUNCTION(x", 0, true},         {"BF_FUNCTION(x)(y", 1, true}, {"BF_FUNCTION(x)(y)\n} {}", 2, true},
        {"\"x", 0, false},                  {"(* x", 0, false},           {"/* x", 0, false},
        {"BF_FUNCTION(x)(y){/*", 2, false},
    };
    for (const auto& e : ends) {
        messages.clear();
        EXPECT_EQ(scanAll(e.text, true, nullptr, &errors).size(), e.tokens) << e.text;
        EXPECT_EQ(errors, e.reported ? 1 : 0) << e.text;
        if (!e.reported) {
            EXPECT_TRUE(messages.records.empty()) << e.text;
            continue;
        }
        ASSERT_EQ(messages.ids(), std::vector<uint32_t>{501}) << e.text;
        EXPECT_EQ(messages.records[0].text, "'unexpected end of file'");
        EXPECT_EQ(messages.records[0].position, std::string(e.text).find('\n') == std::string::npos ? 1u : 2u);
    }
}

TEST(BfScanner, ReportErrorTakesUpToTwoTextsAndCountsNothing)
{
    MessageCapture messages(argumentTable());
    std::istringstream in("\n\nx");
    RecordingBfParser p;
    p.read(in);
    while (p.yylex() != 0) delete MdBflval.text;
    const String a("a.b"), b("b");
    p.reportError(513, &a, &b);
    p.reportError(513, nullptr, &b);  // a second text alone is not passed
    EXPECT_EQ(p.errorCount(), 0);
    ASSERT_EQ(messages.records.size(), 2u);
    EXPECT_EQ(messages.records[0].text, "a.b|b");
    EXPECT_EQ(messages.records[0].position, 3u);
    EXPECT_EQ(messages.records[1].text.find('b'), std::string::npos);
}
