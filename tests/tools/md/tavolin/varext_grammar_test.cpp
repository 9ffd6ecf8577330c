// The variables-section scanner and grammar, run through a recorder of the
// actions: tokens and their values (numbers at the signed 32-bit limits,
// hexadecimal bits, reals as text, escaped quotes), what the scanner refuses
// and where, the order of the actions (heads before their entries and
// items), the configuration parts in any order once each, the syntax errors
// that end a parse, and an action stopping the parse.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "block_reads.h"
#include "test_split_driver_support.h"
#include "tests/tools/md/tavolin/varext_recorder.h"
#include "tools/md/tavolin/MdVarExtBisonParser.tab.hpp"

using namespace fronttest;

namespace {

struct Scan {
    std::string tokens;  // "code" or "code:value", blank-separated
    std::vector<std::string> errors;  // texts of the messages
    std::vector<uint32_t> lines;      // their positions
    int endLine = 0;
};

// Every token of text, with the integer, real and string values; the
// scanner reads blocks of at most `block` bytes (0: as it asks).
Scan scan(const std::string& text, int block = 0)
{
    MessageCapture messages;
    std::istringstream in(text);
    BlockReads<VarExtRecorder> r;
    r.block = block;
    MdCompilerArgs args;
    args.stream = &in;
    r.init(args);
    Scan s;
    for (int t; (t = r.yylex()) != 0;) {
        if (!s.tokens.empty()) s.tokens += ' ';
        s.tokens += std::to_string(t);
        if (t == VAREXT_INT) s.tokens += ":" + std::to_string(MdVarExtlval.number);
        if (t == VAREXT_REAL || t == VAREXT_STRING) {
            s.tokens += ":" + std::string(MdVarExtlval.text->c_str(), size_t(MdVarExtlval.text->length()));
            delete MdVarExtlval.text;
        }
    }
    s.endLine = r.lineno();
    for (const auto& m : messages.records) {
        EXPECT_EQ(m.id, 401u);
        s.errors.push_back(m.text);
        s.lines.push_back(m.position);
    }
    return s;
}

struct Parsed {
    int result;
    int32_t errors;
    std::vector<std::string> log;
    std::vector<uint32_t> ids;
    std::vector<std::string> texts;
};

Parsed parse(const std::string& text, const char* stopAt = "", int stopResult = 3)
{
    MessageCapture messages;
    std::istringstream in(text);
    VarExtRecorder r;
    r.stopAt = stopAt;
    r.stopResult = stopResult;
    MdCompilerArgs args;
    args.stream = &in;
    r.init(args);
    Parsed run{r.parse(), r.errorCount(), r.log, messages.ids(), {}};
    for (const auto& m : messages.records) run.texts.push_back(m.text);
    return run;
}

const std::string kUnexpected = "Scanner Fehler, unerwartetes Zeichen ";

TEST(VarExtScanner, NumbersRealsAndStrings)
{
    struct Case {
        const char* text;
        const char* tokens;
        std::vector<std::string> errors;
    };
    const Case cases[] = {
        {"-5", "295:-5", {}},
        {"- 5", "294 295:5", {}},
        {"+7", "295:7", {}},
        {"$5-$7", "285 295:5 294 285 295:7", {}},
        {"$5-7", "285 295:5 295:-7", {}},
        {"16#ff 16#FF", "295:255 295:255", {}},
        {"16#FFFFFFFF 16#80000000", "295:-1 295:-2147483648", {}},
        {"16#000000001", "295:1", {}},  // leading zeros are not significant
        {"16#1FFFFFFFF", "", {"'16#1FFFFFFFF'"}},
        {"16#", "295:16", {"'#'"}},
        {"0x1", "295:0 295:1", {"'x'"}},
        {"2147483647 -2147483648", "295:2147483647 295:-2147483648", {}},
        {"2147483648", "", {"'2147483648'"}},
        {"-2147483649", "", {"'-2147483649'"}},
        {"4294967296 +99999999999999999999", "", {"'4294967296'", "'+99999999999999999999'"}},
        {"1.5e3 -0.25 2E-3 +1.0", "296:1.5e3 296:-0.25 296:2E-3 296:+1.0", {}},
        {"1.", "295:1", {"'.'"}},
        {"\"a\\\"b\"", "297:a\"b", {}},
        {"\"C:\\dir\\x\"", "297:C:\\dir\\x", {}},
        {"\"two\nlines\"", "297:two\nlines", {}},
        {"\"open", "", {"'\"'"}},
        {"\"a\\\"", "", {"'\"'"}},  // the quote after the backslash is escaped
        {"5 (* open", "295:5", {"'(*'"}},
        {"TRUE FALSE Def Min Max Unit Fixed := :", "298 299 273 274 275 276 277 291 290", {}},
        // what ends a number: a fraction or exponent without its digits
        // does not belong to it, nor does "#" after any number but "16"
        {"Def(1.)$[2]", "273 288 296:1 289 285 286 295:2 287", {"'.'"}},
        // the number of a value item is its text, whatever its form and size
        {"Def(16#FF) Min(4294967296) Max(-7) Unit(3) (16#FF)",
         "273 288 296:16#FF 289 274 288 296:4294967296 289 275 288 296:-7 289 276 288 295:3 289 288 295:255 289", {}},
        {"2e 3E+ 1.5ex", "295:2 295:3 296:1.5", {"'e'", "'E'", "'+'", "'e'", "'x'"}},
        {"-16#1 016#1 +x", "295:-16 295:1 295:16 295:1", {"'#'", "'#'", "'+'", "'x'"}},
        {":=:;,Def1", "291 290 292 293 273 295:1", {}},
    };
    // Read whole, and in blocks that end the scanner's buffer inside the
    // tokens; with a line end after the last token and without.
    for (const Case& c : cases) {
        std::vector<std::string> errors;
        for (const auto& e : c.errors) errors.push_back(kUnexpected + e);
        for (const char* end : {"", "\n"}) {
            for (int block : {0, 1, 2, 3, 5}) {
                const std::string text = std::string(c.text) + end;
                const Scan s = scan(text, block);
                EXPECT_EQ(s.tokens, c.tokens) << text << " in blocks of " << block;
                EXPECT_EQ(s.errors, errors) << text << " in blocks of " << block;
            }
        }
    }
    // A backslash before a backslash stands for itself; the second one
    // escapes the quote, so the string goes on to the next quote.
    EXPECT_EQ(scan("\"a\\\\\" x\"").tokens, "297:a\\\" x");
    // Keywords only as written: a lower-case one and a longer word are
    // stray letters around the keyword they contain.
    const Scan words = scan("def UNDEFX");
    EXPECT_EQ(words.tokens, "272");
    EXPECT_EQ(words.errors.size(), 4u);
}

TEST(VarExtScanner, LinesAndSeparators)
{
    // A comment over three lines, CR LF and LF count as lines; a lone CR is
    // a stray character at its line.
    // Read whole and in blocks; long runs of blanks before the CR.
    for (int block : {0, 1, 2, 7}) {
        const std::string blanks(3000, ' ');
        const Scan s = scan("(* one\r\ntwo\nthree *)\r\nVALUES" + blanks + "\n" + blanks + "\rEND_VALUES\n", block);
        EXPECT_EQ(s.tokens, "271 278") << "blocks of " << block;
        ASSERT_EQ(s.errors, std::vector<std::string>{kUnexpected + "'\r'"}) << "blocks of " << block;
        EXPECT_EQ(s.lines, std::vector<uint32_t>{5}) << "blocks of " << block;
        EXPECT_EQ(s.endLine, 6) << "blocks of " << block;
    }
    // Blanks and tabs separate; "*" and ")" alone inside a comment do not
    // end it.
    EXPECT_EQ(scan("\t1 (* a * b ) c **) 2").tokens, "295:1 295:2");
}

TEST(VarExtScanner, AnySoupReadsTheSameInBlocks)
{
    // Random runs of the pieces tokens begin and end with: the same tokens,
    // messages and lines whether the buffer ends inside the tokens or not.
    const std::vector<std::string> pieces = {
        "$", "[", "]", "16#", "fF", "1", "23", "0", ".", "e", "E", "+", "-", ":", "=", "(", ")", "(*", "*)", ";",
        ",", "Def", "Min", "UNDEF", "TRUE", "END_VALUES", "x", "_", " ", "\t", "\n", "\r\n", "\r", "\"", "\\", "#",
        "2147483647", "99999999999", std::string(1, '\0')};
    expectSoupsReadTheSameInBlocks(47, pieces, 3000, [](const std::string& text, int block) {
        const Scan s = scan(text, block);
        std::vector<std::string> all{s.tokens, "end " + std::to_string(s.endLine)};
        all.insert(all.end(), s.errors.begin(), s.errors.end());
        for (uint32_t line : s.lines) all.push_back("at " + std::to_string(line));
        return all;
    });
}

TEST(VarExtScanner, WholeStatementsAsOneToken)
{
    // 300 / 301: a single-address attribute / value statement on one line
    // inside its block; the items of a value up to the first one that is
    // not whole on the line, none after UNDEF.
    struct Case {
        const char* text;
        const char* tokens;
    };
    const Case cases[] = {
        {"ATTRIBUTES $10 [16#3] : 16#101 -2 +3 4 5 $7[1]:UNDEF END_ATTRIBUTES", "269 300 300 270"},
        {"VALUES $10[16#3] : Min(-5) Def(TRUE) Max(1.5e3) Unit(91) Fixed(93) $11[1]:UNDEF END_VALUES",
         "271 301 301 278"},
        // not in its block, or not the single-address form on one line
        {"BITFIELDS $1[1] : 1 2 3 4 5", "281 285 295:1 286 295:1 287 290 295:1 295:2 295:3 295:4 295:5"},
        {"ATTRIBUTES $1-$2[1] : UNDEF", "269 285 295:1 294 285 295:2 286 295:1 287 290 272"},
        {"ATTRIBUTES $1[1] : 1 2\n3 4 5", "269 285 295:1 286 295:1 287 290 295:1 295:2 295:3 295:4 295:5"},
        {"ATTRIBUTES $1[1] : (* c *) UNDEF", "269 285 295:1 286 295:1 287 290 272"},
        {"ATTRIBUTES $1 [1] := UNDEF", "269 285 295:1 286 295:1 287 291 272"},
        {"VALUES $1[1] :\nDef(1)", "271 285 295:1 286 295:1 287 290 273 288 296:1 289"},
        {"VALUES $1[1] : Def(", "271 285 295:1 286 295:1 287 290 273 288"},
        // the rest of the items as tokens
        {"VALUES $1[1] : Def(1) Min\n(2)", "271 301 274 288 296:2 289"},
        {"VALUES $1[1] : Def(1) Unit(1.5)", "271 301 276 288 296:1.5 289"},
        {"VALUES $1[1] : Def(1) Max(1.e3)", "271 301 275 288 296:1 295:3 289"},
        {"VALUES $1[1] : UNDEF Def(1)", "271 301 273 288 296:1 289"},
        {"VALUES $1[1] : Def(0.00000000000000000000000000000000000000001)",
         "271 285 295:1 286 295:1 287 290 273 288 296:0.00000000000000000000000000000000000000001 289"},
        {"VALUES $1[1] : Def(1) Def(1) Def(1) Def(1) Def(1) Def(1) Def(1) Def(1) Max(2)", "271 301 275 288 296:2 289"},
        // the end of a range, and blocks that have ended
        {"VALUES $1-$2[1] : Def(1)", "271 285 295:1 294 285 295:2 286 295:1 287 290 273 288 296:1 289"},
        {"VALUES END_VALUES $1[1] : Def(1)", "271 278 285 295:1 286 295:1 287 290 273 288 296:1 289"},
        {"ATTRIBUTES DYN_ARRAY $1[1] : UNDEF", "269 283 285 295:1 286 295:1 287 290 272"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scan(c.text).tokens, c.tokens) << c.text;
        // where the buffer ends inside a statement it comes token by token
        EXPECT_EQ(scan(c.text, 3).tokens.find(" 30"), std::string::npos) << c.text;
    }
}

// Everything a parse hands on, with whole statements as one token or not:
// the result, each action and the line it ran at, each message and its line.
std::vector<std::string> traceOf(const std::string& text, bool statements, int block, const char* stopAt = "")
{
    MessageCapture messages;
    std::istringstream in(text);
    BlockReads<VarExtRecorder> r;
    r.block = block;
    r.stopAt = stopAt;
    r.setStatementTokens(statements);
    MdCompilerArgs args;
    args.stream = &in;
    r.init(args);
    std::vector<std::string> all{"result " + std::to_string(r.parse()), "errors " + std::to_string(r.errorCount())};
    for (size_t i = 0; i < r.log.size(); ++i) all.push_back(r.log[i] + " @" + std::to_string(r.lines[i]));
    for (const auto& m : messages.records)
        all.push_back(std::to_string(m.id) + " " + m.text + " @" + std::to_string(m.position));
    return all;
}

TEST(VarExtGrammar, WholeStatementsActAsTheirTokens)
{
    const char* cases[] = {
        "ATTRIBUTES\n$10 [16#3] : 16#101 2 3 4 5\n$7[1] : UNDEF $8[2]:1 2 3 4 5\nEND_ATTRIBUTES",
        "VALUES\n$10[16#3] : Min(-5) Def(TRUE) Max(1.5e3) Unit(91) Fixed(93)\n$11[1] : UNDEF\n$12[1] : Def(FALSE)\n"
        "  Max(2) (* on *) Min(1)\n$13[1]:Def(1)$14[2]:Def(2)\nEND_VALUES",
        // items after UNDEF, on its line and the next
        "VALUES\n$5 [1] : UNDEF Def(1) Max(2)\nEND_VALUES",
        "VALUES\n$5 [1] : UNDEF\nDef(1)\nEND_VALUES",
        // syntax errors at a statement and after one
        "VALUES\n$5 [1] : Def(1)\n$6[1] : $7[1] : Def(1)\nEND_VALUES",
        "ATTRIBUTES\n$5 [1] : 1 2 3 4 5 6\nEND_ATTRIBUTES",
        "ATTRIBUTES\n$5 [1] : 1 2 3 $6[1] : 1 2 3 4 5\nEND_ATTRIBUTES",
        "VALUES\n$5 [1] : Def(1)\nEND_ATTRIBUTES",
        "ATTRIBUTES\n$5 [1] : UNDEF\n$ $6[1] : UNDEF\nEND_ATTRIBUTES",
        "VALUES $5 [1] : Def(1) END_VALUES ATTRIBUTES $5 [1] : Def(1) END_ATTRIBUTES",
        // numbers at their limits and beyond, reals, numbers that end early
        "VALUES\n$16#A [16#FFFFFFFF] : Min(-2147483648) Def(+7) Max(2147483647) Unit(16#1)\n"
        "$1[1] : Def(-1.5E-3) Max(2e3) Min(2147483648)\n$2[1] : Def(1.5e) Max(1.e3)\n"
        "$3[1] : Def(16#1FFFFFFFF) Max(0016#1)\n$4[1] : Min(-16#1) Def(-0.0) Max(1.5E+3)\nEND_VALUES",
        "ATTRIBUTES\n$1[1] : -2147483648 2147483647 16#FFFFFFFF +0 007\n$2[1] : 1 2 3 4 2147483648\n"
        "$3[1] : 1 2 3 4 -2147483649\n$4[1] : 1 2 3 4 5.5\nEND_ATTRIBUTES",
        // scanner errors around and inside
        "VALUES\n$5 [1] : Def(1) ! Max(2)\n$6[1] : Def(99999999999)\nEND_VALUES",
        "ATTRIBUTES\n$5 [1] : 1 2 3 4 99999999999 5\nEND_ATTRIBUTES",
    };
    for (const char* text : cases)
        for (int block : {0, 1, 7}) EXPECT_EQ(traceOf(text, true, block), traceOf(text, false, 0)) << text;
    // A stop in any action of a statement ends the parse there.
    const char* stops = "ATTRIBUTES $5 [1] : 1 2 3 4 5 END_ATTRIBUTES VALUES $5 [1] : Min(1) Unit(2) END_VALUES";
    for (const char* at : {"attrvalues", "attr", "head", "Min", "Unit", "value"})
        EXPECT_EQ(traceOf(stops, true, 0, at), traceOf(stops, false, 0, at)) << at;
}

TEST(VarExtGrammar, AnyStatementSoupActsAsItsTokens)
{
    const std::vector<std::string> pieces = {
        "ATTRIBUTES ", "VALUES ", "END_VALUES ", "END_ATTRIBUTES ", "$5 [16#1] : ", "$6-$7[2]: ", "$8[1]:",
        "1 2 3 4 5 ", "UNDEF ", "Def(1) ", "Min(-1.5) ", "Max(TRUE)", "Unit(3) ", "Fixed(4) ", "Def(", "2)",
        "(* c *)", "\n", " ", "-", "$", "!", "99999999999 "};
    std::mt19937 rng(50);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = (i % 2 ? "VALUES\n" : "ATTRIBUTES\n") + tokenSoup(rng, pieces, 24);
        const auto tokens = traceOf(text, false, 0);
        for (int block : {0, 5}) EXPECT_EQ(traceOf(text, true, block), tokens) << text;
    }
}

TEST(VarExtGrammar, ActionsInSourceOrder)
{
    const Parsed r = parse(
        "CONFIGS 1 \"Standard\" 2 \"Hydraulik\" DEFAULT(1) GROUP(16#10) : \"Antrieb\" 1 \"elektrisch\" END_GROUP "
        "END_CONFIGS\n"
        "RESOLVE MAXID := 428; LOCAL(0) := GLOBAL(91), DEFAULT(93); LOCAL(1) := GLOBAL(14);\n"
        "LOCAL(2) := GLOBAL(1), DEFAULT(4), POSSIBLE(3, 4, 6); END_RESOLVE\n"
        "ATTRIBUTES $10 [16#3] : 16#101 2 3 4 5 $13-$15 [16#1] : UNDEF END_ATTRIBUTES\n"
        "VALUES $10 [16#3] : Min(-5) Def(TRUE) Max(1.5e3) Unit(91) Fixed(93) $10-$12 [16#4] : UNDEF END_VALUES\n"
        "BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES BITFIELDS $13 [16#1] 0 1 \"ready\" "
        "$13-$14 [1] 3 1 \"busy\" END_BITFIELDS\n"
        "DYN_ARRAY $11 [16#FFFFFFFF] : $12, $20; END_DYN_ARRAY\n"
        "VALUES END_VALUES RESOLVE END_RESOLVE");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.errors, 0);
    const std::vector<std::string> expected = {
        "cfg 1 Standard", "cfg 2 Hydraulik", "default 1", "group 16 Antrieb", "entry 16 1 elektrisch",
        "maxid 428", "resolve 0 91 93", "resolve 1 14", "resolve 2 1 4 -1000 3 4 6", "endresolve",
        "attrvalues 257 2 3 4 5", "attr 10 10 3 257", "attrrange 13 15 1 -1",
        "head 10 10 3", "Min -5", "Def 1", "Max 1.5e3", "Unit 91", "Fixed 93", "value 10 10 3 0",
        "headrange 10 12 4", "valuerange 10 12 4 1",
        "bittype 1 off on", "bit 13 13 1 0 1 ready", "bitrange 13 14 1 3 1 busy",
        "array 12", "array 20", "dyn 11 -1 12 20", "endresolve"};
    EXPECT_EQ(r.log, expected);
}

TEST(VarExtGrammar, ConfigurationPartsInAnyOrderOnceEach)
{
    const char* l = "1 \"a\" 2 \"b\" ";
    const char* d = "DEFAULT(2) ";
    const char* g = "GROUP(1) : \"g\" 1 \"e\" END_GROUP GROUP(2) : \"h\" 2 \"f\" END_GROUP ";
    const std::vector<std::vector<const char*>> orders = {
        {}, {l}, {d}, {g}, {l, d}, {d, l}, {l, g}, {g, l}, {d, g}, {g, d},
        {l, d, g}, {l, g, d}, {d, l, g}, {d, g, l}, {g, l, d}, {g, d, l}};
    for (const auto& order : orders) {
        std::string text = "CONFIGS ";
        for (const char* part : order) text += part;
        text += "END_CONFIGS";
        const Parsed r = parse(text);
        EXPECT_EQ(r.result, 0) << text;
        size_t actions = 0;
        for (const char* part : order) actions += part == l ? 2 : part == d ? 1 : 4;
        EXPECT_EQ(r.log.size(), actions) << text;
    }
    // The entries of the second group belong to it.
    const Parsed groups = parse(std::string("CONFIGS ") + g + "END_CONFIGS");
    EXPECT_EQ(groups.log, (std::vector<std::string>{"group 1 g", "entry 1 1 e", "group 2 h", "entry 2 2 f"}));
}

TEST(VarExtGrammar, SyntaxErrorsEndTheParse)
{
    const char* cases[] = {
        "",                                                    // a section needs a block
        "(* only a comment *)",
        "CONFIGS DEFAULT(1) 1 \"a\" DEFAULT(2) END_CONFIGS",   // DEFAULT twice
        "CONFIGS 1 \"a\" DEFAULT(1) 2 \"b\" END_CONFIGS",      // the list twice
        "ATTRIBUTES $5 - 7 [1] : UNDEF END_ATTRIBUTES",        // a range needs "$" on both sides
        "VALUES $5 [1] : Def(1) UNDEF END_VALUES",             // UNDEF after an item
        "BITFIELDTYPES 1 \"a\" \"b\" END_BITFIELDTYPES",       // without its BITFIELDS block
        "ATTRIBUTES $5 [1] : 1 2 3 4 END_ATTRIBUTES",          // four values
        "VALUES $5 [1] : END_VALUES",                          // no items
        "RESOLVE LOCAL(0) := GLOBAL(1), POSSIBLE(2); END_RESOLVE",
        "DYN_ARRAY $5 [1] : ; END_DYN_ARRAY",
        "CONFIGS GROUP(1) : \"g\" END_GROUP END_CONFIGS",       // a group needs an entry
        "VALUES $5 [1] : Unit(1.5) END_VALUES",
        "VALUES",
    };
    for (const char* text : cases) {
        const Parsed r = parse(text);
        EXPECT_EQ(r.result, 1) << text;
        EXPECT_EQ(r.errors, 1) << text;
        EXPECT_EQ(r.ids, std::vector<uint32_t>{402}) << text;
        ASSERT_EQ(r.texts.size(), 1u) << text;
        EXPECT_EQ(r.texts[0], "Parser Fehler: parse error") << text;
    }
}

TEST(VarExtGrammar, UndefBeforeItemsAndStops)
{
    // The first item after UNDEF is refused instead of being handed on.
    Parsed r = parse("VALUES $5 [1] : UNDEF Def(1) Max(2) END_VALUES", "undefitems", 3);
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.log, (std::vector<std::string>{"head 5 5 1", "undefitems"}));

    // A stop in a head, in a list element and in an attribute record ends
    // the parse at once with the action's result; what the grammar held is
    // freed (the leak checker of the sanitizer build watches).
    r = parse("VALUES $7-$5 [1] : Def(1) END_VALUES", "headrange", 3);
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.log, std::vector<std::string>{"headrange 7 5 1"});
    r = parse("DYN_ARRAY $5 [1] : $6, $7; END_DYN_ARRAY", "array", 5);
    EXPECT_EQ(r.result, 5);
    EXPECT_EQ(r.log, std::vector<std::string>{"array 6"});
    r = parse("ATTRIBUTES $5 [1] : 1 2 3 70000 5 END_ATTRIBUTES", "attrvalues", 2);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.log.size(), 1u);

    // Scanner errors are counted and skipped; the parse goes on.
    r = parse("VALUES $5 [1] : Def(1) ! END_VALUES");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.errors, 1);
    EXPECT_EQ(r.ids, std::vector<uint32_t>{401});
}

}  // namespace
