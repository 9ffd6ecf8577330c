// The comment compiler: one table of scanner and grammar cases, the goldens
// of a variables and a boot-function section worked out by hand (string
// tables, "varcomment" bytes, next free id), the range limits, the writer's
// failures, and a seeded random property read back through the container.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdStatusCodes.h"
#include "tools/md/tavolin/MdStepCause.h"
#include "tools/md/tavolin/MdVarCommentBisonParser.tab.hpp"
#include "tools/md/tavolin/MdVarCommentParser.h"

using namespace fronttest;

namespace {

const char kOldScript[] = "old\r\n";

struct Compiled {
    int32_t result = -1;
    int32_t errors = 0;
    int32_t write = -1;  // writeStringTable, -1 when not called
    int32_t next = 0;
    bool atEnd = false;
    std::string section;  // "varcomment" afterwards
    std::string script;   // what was appended after kOldScript
    std::vector<uint32_t> ids;
    std::vector<uint32_t> lines;
    std::vector<std::string> texts;
    std::vector<uint32_t> counts;  // the errors each message stands for
};

enum class Script { Good, Missing };

// Compiles text from start into "varcomment" of a
// file in memory, the script holding kOldScript; writes the table when the
// grammar accepts without counted errors (or, writeAnyway, with them).
Compiled compile(const std::string& text, int32_t start = 0x100, Script script = Script::Good,
                 bool writeAnyway = false)
{
    MessageCapture messages;
    FsFileMan file;
    EXPECT_TRUE(openMemoryFile(file));
    EXPECT_TRUE(putSection(file, "varcomment", "old content"));
    FsSecCl* sec = nullptr;
    EXPECT_EQ(file.openSect("varcomment", &sec, FS_MODE_WRITE), FS_OK);
    TempFile rc(kOldScript);
    Compiled c;
    {
        std::istringstream in(text);
        MdVarCommentParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.section = sec;
        args.rcPath = script == Script::Good ? String(rc.c_str()) : String("/nonexistent/dir/x.rc");
        args.firstStringId = start;
        p.init(args);
        c.result = p.parse();
        c.errors = p.errorCount();
        c.atEnd = p.atEnd();
        if (c.result == 0 && (c.errors == 0 || writeAnyway)) c.write = p.writeStringTable();
        c.next = p.nextStringId();
    }
    file.CloseSect("varcomment");
    c.section = sectionText(file, "varcomment");
    const std::string all = readFile(rc.path());
    EXPECT_EQ(all.compare(0, sizeof kOldScript - 1, kOldScript), 0);
    c.script = all.substr(sizeof kOldScript - 1);
    for (const auto& r : messages.records) {
        c.ids.push_back(r.id);
        c.lines.push_back(r.position);
        c.texts.push_back(r.text);
        c.counts.push_back(r.count);
    }
    return c;
}

std::string block(const std::vector<std::pair<int, const char*>>& lines)
{
    std::string s = "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n";
    for (const auto& l : lines) {
        char head[32];
        std::snprintf(head, sizeof head, "   0x%04X   \"", unsigned(l.first));
        s += head + std::string(l.second) + "\"\r\n";
    }
    return s + "END\r\n\r\n";
}

std::string wrap(const std::string& body)
{
    return "VARCOMMENT\n" + body + "\nEND_VARCOMMENT\n";
}

struct ScanCase {
    const char* name;
    std::string text;
    int32_t result;
    std::vector<uint32_t> ids;
    std::vector<uint32_t> lines;
    std::vector<std::string> texts;
    const char* section;  // "varcomment" after a write; null: not written
};

TEST(VarCommentCompiler, ScannerAndGrammar)
{
    const ScanCase cases[] = {
        {"keyword only when exact", "VARCOMMENTS END_VARCOMMENT", 1, {302}, {1}, {"Parser Fehler: parse error"}, nullptr},
        {"decimal mask", wrap("$3 [3] : \"a\""), 1, {302}, {2}, {"Parser Fehler: parse error"}, nullptr},
        {"semicolon is no part of an entry", wrap("$3 [16#1] : \"a\";"), 1, {302}, {2}, {}, nullptr},
        {"bracket in a boot-function entry", "BFDCOMMENT $3 [16#1] : \"a\" END_BFDCOMMENT", 1, {302}, {1}, {},
         nullptr},
        {"nine hex digits", wrap("$3 [16#123456789] : \"a\""), 1, {302}, {2}, {}, nullptr},
        {"character no rule takes", wrap("\n!"), 0, {301}, {3}, {"Scanner Fehler, unerwartetes Zeichen '!'"},
         nullptr},
        {"lone carriage return", wrap("\r$1 [16#1] : \"a\""), 0, {301}, {2}, {}, nullptr},
        {"decimal above 2147483647", wrap("$2147483648 [16#1] : \"a\""), 1, {301, 302}, {2, 2},
         {"Scanner Fehler, unerwartetes Zeichen '2147483648'", "Parser Fehler: parse error"}, nullptr},
        {"largest decimal, hex of either case", wrap("$2147483647 [16#1aB] : \"a\""), 0, {}, {}, {},
         "1 2147483647 427 256 \r\n0 "},
        {"dotted name joined and lower-cased", wrap("$Axis . Velocity [16#3] : \"v\""), 0, {}, {}, {},
         "0 \r\n1 13 axis.velocity 3 256 "},
        {"comment and string lines counted", wrap("(* one\ntwo *) $1 [16#1] : \"x\ny\"\n\n!"), 0, {301}, {6}, {},
         nullptr},
        {"string open at the end", wrap("$1 [16#1] : \"abc"), 1, {301, 302}, {4, 4},
         {"Scanner Fehler, unerwartetes Zeichen '\"'", "Parser Fehler: parse error"}, nullptr},
        {"escaped quote at the end", "VARCOMMENT $1 [16#1] : \"a\\\"", 1, {301, 302}, {1, 1},
         {"Scanner Fehler, unerwartetes Zeichen '\"'", "Parser Fehler: parse error"}, nullptr},
        {"comment open at the end", "VARCOMMENT (* abc\n", 1, {301, 302}, {2, 2},
         {"Scanner Fehler, unerwartetes Zeichen '(*'", "Parser Fehler: parse error"}, nullptr},
        // A NUL byte would go raw into the resource script.
        {"NUL byte in a text", wrap("$1 [16#1] : \"Positi" + std::string(1, '\0') + "on\""), 1, {301, 302}, {2, 2},
         {"Scanner Fehler, unerwartetes Zeichen '\\0'", "Parser Fehler: parse error"}, nullptr},
        {"NUL byte after a backslash", wrap("$1 [16#1] : \"a\\" + std::string(1, '\0') + "\""), 1, {301, 302},
         {2, 2}, {}, nullptr},
        {"backslash before a quote", wrap("$1 [16#1] : \"a\\\"b\\c\""), 0, {}, {}, {}, "1 1 1 256 \r\n0 "},
        {"empty section", "VARCOMMENT END_VARCOMMENT", 0, {}, {}, {}, "0 \r\n0 "},
        {"empty boot-function section", "BFDCOMMENT\r\nEND_BFDCOMMENT", 0, {}, {}, {}, "0 \r\n0 "},
        {"nothing after the end is read", "VARCOMMENT END_VARCOMMENT ! \"open", 0, {}, {}, {}, "0 \r\n0 "},
        {"nothing at all", "", 1, {302}, {1}, {}, nullptr},
    };
    for (const ScanCase& k : cases) {
        SCOPED_TRACE(k.name);
        const Compiled c = compile(k.text);
        EXPECT_EQ(c.result, k.result);
        EXPECT_EQ(c.ids, k.ids);
        EXPECT_EQ(c.lines, k.lines);
        for (size_t i = 0; i < k.texts.size() && i < c.texts.size(); ++i) EXPECT_EQ(c.texts[i], k.texts[i]);
        // 301 and 302 are counted, and nothing is written then.
        EXPECT_EQ(size_t(c.errors), k.ids.size());
        EXPECT_EQ(c.section, k.section ? k.section : "old content");
        EXPECT_EQ(c.write, k.section ? 0 : -1);
    }
    // The section is accepted at its end keyword: the end of the input is
    // never asked for.
    EXPECT_FALSE(compile("VARCOMMENT END_VARCOMMENT").atEnd);
}

TEST(VarCommentCompiler, VariablesGolden)
{
    const Compiled c = compile(
        "VARCOMMENT\n"
        "  $5 [16#3] : \"Sollwert\"\n"
        "  $5 [16#1] : \"\xC3\x9C" "ber\"\n"
        "  $7-$9 [16#FFFFFFFF] : \"Reserve\"\n"
        "  $12 [16#1] : \"Sollwert\"\n"
        "  $Axis.Velocity [16#3] : \"Geschwindigkeit\"\n"
        "  $axis.velocity [16#3] : \"doppelt\"\n"
        "END_VARCOMMENT\n");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.write, 0);
    EXPECT_TRUE(c.ids.empty());
    // A first byte 0xC3 sorts before ASCII as a signed byte.
    EXPECT_EQ(c.script, block({{0x101, "\xC3\x9C" "ber"}, {0x102, "Reserve"}, {0x100, "Sollwert"}}) +
                            block({{0x103, "Geschwindigkeit"}, {0x104, "doppelt"}}));
    EXPECT_EQ(c.section, "6 5 1 257 5 3 256 7 4294967295 258 8 4294967295 258 9 4294967295 258 12 1 256 \r\n"
                         "1 13 axis.velocity 3 259 ");
    EXPECT_EQ(c.next, 0x105);
}

// A text keeps the number of its first appearance wherever it comes again,
// also texts alike in more than their first eight bytes.
TEST(VarCommentCompiler, RepeatedTextsKeepTheirFirstNumber)
{
    const char* const texts[] = {"Grenzwert 2", "Grenzwert 10", "Grenzwert 2", "A", "Grenzwert 10",
                                 "Grenzwert 2 und mehr als acht", "Grenzwert 2 und mehr als acht"};
    std::string body;
    for (int i = 0; i < 7; ++i) body += "$" + std::to_string(i + 1) + " [16#1] : \"" + texts[i] + "\"\n";
    const Compiled c = compile(wrap(body));
    EXPECT_EQ(c.write, 0);
    EXPECT_EQ(c.script, block({{0x102, "A"}, {0x101, "Grenzwert 10"}, {0x100, "Grenzwert 2"},
                               {0x103, "Grenzwert 2 und mehr als acht"}}));
    EXPECT_EQ(c.section, "7 1 1 256 2 1 257 3 1 256 4 1 258 5 1 257 6 1 259 7 1 259 \r\n0 ");
    EXPECT_EQ(c.next, 0x104);
}

TEST(VarCommentCompiler, BootFunctionGolden)
{
    const Compiled c = compile("BFDCOMMENT $5 : \"a\" $6-$7 : \"b\" $Axis.Velocity : \"c\" END_BFDCOMMENT", 200);
    EXPECT_EQ(c.write, 0);
    EXPECT_EQ(c.script, block({{0xC8, "a"}, {0xC9, "b"}}) + block({{0xCA, "c"}}));
    EXPECT_EQ(c.section, "3 5 4294967295 200 6 4294967295 201 7 4294967295 201 \r\n1 13 Axis.Velocity 4294967295 202 ");
    EXPECT_EQ(c.next, 203);
}

TEST(VarCommentCompiler, Ranges)
{
    const Compiled three = compile(wrap("$10-$12 [16#1] : \"r\"").c_str(), 0);
    EXPECT_EQ(three.section, "3 10 1 0 11 1 0 12 1 0 \r\n0 ");
    EXPECT_EQ(three.script, block({{0, "r"}}));

    for (const char* refused : {"$12-$10", "$10-$10", "$0-$65536", "$0-$2147483647"}) {
        SCOPED_TRACE(refused);
        const Compiled c = compile(wrap("$1 [16#1] : \"a\"\n" + std::string(refused) + " [16#1] : \"r\"").c_str());
        EXPECT_EQ(c.result, 3);
        EXPECT_EQ(c.ids, std::vector<uint32_t>{304});
        EXPECT_EQ(c.errors, 0);  // 304 is not counted
        EXPECT_EQ(c.script, "");
        EXPECT_EQ(c.section, "old content");
        // The texts read so far keep their ids.
        EXPECT_EQ(c.next, 0x101);
    }
    const Compiled bf = compile("BFDCOMMENT $3-$2 : \"r\" END_BFDCOMMENT");
    EXPECT_EQ(bf.result, 3);
    EXPECT_EQ(bf.ids, std::vector<uint32_t>{304});

    const Compiled block64k = compile(wrap("$0-$65535 [16#1] : \"r\"").c_str());
    EXPECT_EQ(block64k.write, 0);
    EXPECT_EQ(block64k.section.compare(0, 6, "65536 "), 0);
}

TEST(VarCommentCompiler, WriterFailures)
{
    // The script cannot be opened: 303, nothing saved, the ids used up.
    const Compiled c = compile(wrap("$1 [16#1] : \"a\" $T [16#1] : \"t\"").c_str(), 7, Script::Missing);
    EXPECT_EQ(c.write, 303);
    EXPECT_EQ(c.ids, std::vector<uint32_t>{303});
    EXPECT_EQ(c.section, "old content");
    EXPECT_EQ(c.next, 9);

    // A section that is not open for writing.
    MessageCapture messages;
    MdVarCommentParser p;
    MdCompilerArgs args;
    p.init(args);
    EXPECT_EQ(p.writeStringTable(), 303);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{303});
}

// The texts end at the id 0xFFFD: 0xFFFE is the entry method's text and a
// resource script takes no id past 16 bits. From a counter at 0, 65 534
// texts fit; with one more the section fails (303 at the line of the first
// text past the last id, counted) and nothing is written.
TEST(VarCommentCompiler, TextIdsEndBelowTheEntryMethodsText)
{
    // n distinct texts, entry i on line i + 2.
    const auto texts = [](int n) {
        std::string s = "VARCOMMENT\n";
        for (int i = 0; i < n; ++i) s += "$" + std::to_string(i) + " [16#1] : \"t" + std::to_string(i) + "\"\n";
        return s + "END_VARCOMMENT\n";
    };
    Compiled c = compile(texts(65534), 0);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.errors, 0);
    EXPECT_EQ(c.write, 0);
    EXPECT_EQ(c.next, 0xFFFE);
    EXPECT_NE(c.script.find("   0xFFFD   \"t65533\"\r\n"), std::string::npos);
    c = compile(texts(65535), 0);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.errors, 1);
    EXPECT_EQ(c.ids, std::vector<uint32_t>{303});
    EXPECT_EQ(c.lines, std::vector<uint32_t>{65536});
    EXPECT_EQ(c.texts, std::vector<std::string>{"Sektion konnte nicht beschrieben werden"});
    EXPECT_EQ(c.next, 0xFFFF);
    EXPECT_EQ(c.script, "");
    // A caller that writes all the same gets 303 and nothing written (the
    // one message is the parse's).
    c = compile(wrap("$1 [16#1] : \"a\"\n$2 [16#1] : \"b\""), 0xFFFD, Script::Good, true);
    EXPECT_EQ(c.write, 303);
    EXPECT_EQ(c.script, "");
    EXPECT_EQ(c.section, "old content");
    EXPECT_EQ(c.ids, std::vector<uint32_t>{303});

    // The type texts follow all variable texts: the first text past the
    // last id is found in that order, not in the order of the source.
    const struct {
        int32_t start;
        const char* body;
        uint32_t line;  // of the message; 0: none
    } cases[] = {
        {0xFFFD, "$1 [16#1] : \"a\"\n$2 [16#1] : \"a\"", 0},  // one text, one id
        {0xFFFC, "$1 [16#1] : \"a\"\n$2 [16#1] : \"a\"\n$x [16#1] : \"a\"", 0},  // a variable and a type text
        {0xFFFD, "$1 [16#1] : \"a\"\n$2 [16#1] : \"a\"\n$x [16#1] : \"a\"", 4},
        {0xFFFE, "$1 [16#1] : \"a\"", 2},
        {0xFFFD, "$x [16#1] : \"c\"\n$1 [16#1] : \"a\"\n$2 [16#1] : \"b\"", 4},  // b takes 0xFFFE
        {0xFFFC, "$x [16#1] : \"c\"\n$1 [16#1] : \"a\"\n$2 [16#1] : \"b\"", 2},  // c takes 0xFFFE
        {-1, "$1 [16#1] : \"a\"", 2},  // a counter past 31 bits
    };
    for (const auto& k : cases) {
        mdTakeStepCause();
        c = compile(wrap(k.body), k.start);
        // The host learns why: the message names no limit.
        EXPECT_EQ(mdTakeStepCause(), k.line ? MdCauseTextIds : MdCauseNone) << k.body;
        EXPECT_EQ(c.errors, k.line ? 1 : 0) << k.body;
        EXPECT_EQ(c.lines, k.line ? std::vector<uint32_t>{k.line} : std::vector<uint32_t>{}) << k.body;
        EXPECT_EQ(c.script.empty(), k.line != 0) << k.body;
    }

    // Far more texts past the last id: the same one message, at the line of
    // the first text past it in the order of the ids, and every distinct
    // text still uses up its id. With room for two texts (start 0xFFFC):
    // a type text on line 2, then 140 000 variable texts (the third, t2, on
    // line 5 is the first past the last id); or 140 000 type texts and then
    // two variable texts, which the ids put first (the first type text, on
    // line 2, is past the last id).
    std::string many = "VARCOMMENT\n$x [16#1] : \"c\"\n";
    for (int i = 0; i < 140000; ++i) many += "$1 [16#1] : \"t" + std::to_string(i) + "\"\n";
    c = compile(many + "END_VARCOMMENT\n", 0xFFFC);
    EXPECT_EQ(c.errors, 1);
    EXPECT_EQ(c.lines, std::vector<uint32_t>{5});
    EXPECT_EQ(c.next, 0xFFFC + 140001);
    EXPECT_EQ(c.script, "");
    many = "VARCOMMENT\n";
    for (int i = 0; i < 140000; ++i) many += "$x [16#1] : \"t" + std::to_string(i) + "\"\n";
    for (const char* before : {"", "$1 [16#1] : \"v\"\n$2 [16#1] : \"w\"\n$3 [16#1] : \"v\"\n"}) {
        c = compile(many + before + "END_VARCOMMENT\n", 0xFFFC);
        EXPECT_EQ(c.errors, 1) << before;
        EXPECT_EQ(c.lines, std::vector<uint32_t>{*before ? 2u : 4u}) << before;
        EXPECT_EQ(c.next, 0xFFFC + 140000 + (*before ? 2 : 0)) << before;
    }
}

// An entry on one line is read as one token. Each section is compiled as
// it stands and with a comment after every "$", which makes the scanner
// read it token by token without moving any line: everything must come out
// the same - keywords as name parts, numbers too large, strings that run
// past their line or end open, escapes, and entries cut by the scanner's
// buffer ends.
TEST(VarCommentCompiler, WholeEntriesReadAsTheirTokens)
{
    const auto bf = [](const std::string& body) { return "BFDCOMMENT\n" + body + "\nEND_BFDCOMMENT\n"; };
    std::vector<std::string> sections = {
        wrap("$1[16#FFFFFFFF] : \"a\"\n$ 2 - $ 3 [ 16#ff ] :\t\"b\\\"c\\\\d\"\n$Axis . Vel[16#3]:\"v\" $7[16#1]:\"x\""),
        wrap("$1[16#1] : \"a\"\n$VARCOMMENT[16#1] : \"k\""),
        wrap("$a.END_VARCOMMENT[16#1] : \"k\""),
        wrap("$2147483648[16#1] : \"a\""),
        wrap("$1-$2147483648[16#1] : \"a\""),
        wrap("$1[16#1] : \"a\"\n$5-$3[16#1] : \"r\""),
        wrap("$1[16#1] : \"a\nb\"\n!"),
        wrap("$1[16#1] : \"a\\\nb\"\n!"),
        wrap("$1[16#1] : \"a\\\\\" b\"\n!"),
        wrap("$1[16#1] : \"abc"),
        wrap("$5 : \"a\""),
        wrap("$1[16#1]:\"a\" !"),
        wrap("$16#1[16#1]:\"a\""),
        wrap("$1[16#123456789]:\"a\""),
        wrap("$ ! [16#1] : \"a\""),
        wrap("$x[16#1] : \"\xC3\x9C\r\""),
        bf("$5 : \"a\" $6 - $7:\"b\"\n$Axis.Vel : \"c\""),
        bf("$BFDCOMMENT : \"k\""),
        bf("$5[16#1] : \"a\""),
        bf("$9-$8 : \"r\""),
        wrap("$1[16#1] : \"a\"\r\n  \t$2[16#1] : \"b\"\r$3[16#1] : \"c\"\n\n\n$4[16#1] : \"d\"\r"),
    };
    // Runs of stray bytes between entries, the first hundred bytes of each
    // a message, the rest one: an entry, a comment or a line end ends them.
    sections.push_back(wrap(std::string(150, '*') + "$1[16#1] : \"a\"" + std::string(120, '#') + "\n$2[16#1] : \"b\" " +
                            std::string(300, '\0') + "$x.y[16#3]:\"c\"" + std::string(101, '(') + "(* c *)"));
    std::string runs;
    for (int i = 0; i < 300; ++i)
        runs += "$" + std::to_string(i) + "[16#1] : \"r" + std::to_string(i % 7) + "\"" + std::string(std::size_t(i * 37 % 250), "%!\xff"[i % 3]) +
                (i % 5 ? "" : "\n");
    sections.push_back(wrap(runs));
    // Entries across the buffer ends of the scanner.
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "  $" + std::to_string(i % 700) + "[16#" + std::to_string(1 + i % 5) + "] : \"" +
                std::string(std::size_t(i % 37), char('a' + i % 26)) + (i % 11 ? "" : "\\\"q") + "\"\n" +
                (i % 13 ? "" : "  $N" + std::to_string(i) + ".m[16#1] : \"n\"\n");
    sections.push_back(wrap(many));
    // Every offset of a range against the end of the scanner's first buffer.
    for (int shift = 0; shift < 24; ++shift) {
        std::string ranges(std::size_t(shift), ' ');
        for (int i = 0; ranges.size() < 17000; ++i)
            ranges += "$" + std::to_string(i % 90) + "-$" + std::to_string(i % 90 + 1 + i % 3) + "[16#1] : \"t" +
                      std::to_string(i % 4) + "\"\n";
        sections.push_back(wrap(ranges));
        std::string noMask = ranges;
        for (std::size_t at; (at = noMask.find("[16#1]")) != std::string::npos;) noMask.erase(at, 6);
        sections.push_back(bf(noMask));
    }
    for (const std::string& text : sections) {
        SCOPED_TRACE(text.substr(0, 60));
        std::string tokens;
        for (char ch : text) tokens += ch == '$' ? std::string("$(**)") : std::string(1, ch);
        const Compiled whole = compile(text.c_str()), split = compile(tokens.c_str());
        EXPECT_EQ(whole.result, split.result);
        EXPECT_EQ(whole.errors, split.errors);
        EXPECT_EQ(whole.ids, split.ids);
        EXPECT_EQ(whole.lines, split.lines);
        EXPECT_EQ(whole.texts, split.texts);
        EXPECT_EQ(whole.counts, split.counts);
        EXPECT_EQ(whole.write, split.write);
        EXPECT_EQ(whole.section, split.section);
        EXPECT_EQ(whole.script, split.script);
        EXPECT_EQ(whole.next, split.next);
    }
}

// The tokens of one comment scanner with their values. An entry token is
// described again once the next token has been read: the grammar still
// holds it then, as the token it reduces.
struct TokenLog {
    std::istringstream in;
    MdVarCommentParser p;
    const MdVarCommentEntry* held = nullptr;
    std::vector<std::string> log;
    bool done = false;

    explicit TokenLog(const std::string& text) : in(text)
    {
        MdCompilerArgs args;
        args.stream = &in;
        p.init(args);
    }
    static std::string describe(const MdVarCommentEntry& e)
    {
        return std::to_string(int(e.subject)) + " " + std::to_string(e.first) + " " + std::to_string(e.last) + " " +
               std::to_string(e.masked) + " " + std::to_string(e.mask) + " " + e.name + " " + e.text;
    }
    void next()
    {
        const int token = p.yylex();
        if (held) log.push_back("held " + describe(*held));
        held = nullptr;
        std::string s = std::to_string(token);
        switch (token) {
        case VARCOMMENT_VAR_ENTRY:
        case VARCOMMENT_BF_ENTRY:
            held = MdVarCommentlval.entry;
            s += " " + describe(*held);
            break;
        case VARCOMMENT_NUMBER:
        case VARCOMMENT_HEX: s += " " + std::to_string(MdVarCommentlval.number); break;
        case VARCOMMENT_STRING:
        case VARCOMMENT_NAME:
            s += " " + std::string(MdVarCommentlval.text->c_str());
            delete MdVarCommentlval.text;
            break;
        default: break;
        }
        log.push_back(s + " line " + std::to_string(p.lineno()));
        done = token == 0;
    }
    const std::vector<std::string>& all()
    {
        while (!done) next();
        return log;
    }
};

// Two comment compilers alive at once, their scanners read in turns, give
// the tokens each gives alone: the "-" of a range read by one leaves the
// other's next entry whole, and each keeps the entry it holds while the
// other reads entries.
TEST(VarCommentCompiler, ScannersSideBySide)
{
    std::string vars = "VARCOMMENT\n$1 -\n$3[16#1] : \"r\"\n";
    std::string bfs = "BFDCOMMENT\n";
    for (int i = 0; i < 16; ++i) {
        vars += "$" + std::to_string(10 + i) + "[16#" + std::to_string(1 + i % 3) + "] : \"v" + std::to_string(i) + "\"\n";
        bfs += (i % 4 == 3 ? "$Axis.M" : "$") + std::to_string(100 + i) + " : \"b" + std::to_string(i) + "\"\n";
    }
    vars += "$30 - $31[16#1] : \"w\"\n$32 -\n$33[16#1] : \"x\"\nEND_VARCOMMENT\n";
    bfs += "END_BFDCOMMENT\n";
    const std::vector<std::string> varsAlone = TokenLog(vars).all(), bfsAlone = TokenLog(bfs).all();
    ASSERT_GT(varsAlone.size(), 40u);

    for (int lead = 0; lead < 3; ++lead) {
        SCOPED_TRACE(lead);
        TokenLog a(vars), b(bfs);
        for (int k = 0; k < lead; ++k) a.next();
        while (!a.done || !b.done) {
            if (!a.done) a.next();
            if (!b.done) b.next();
        }
        EXPECT_EQ(varsAlone, a.log);
        EXPECT_EQ(bfsAlone, b.log);
    }

    // A scanner dropped right after a "-" leaves nothing to the next one.
    {
        TokenLog cut("VARCOMMENT\n$1 -\n");
        for (int k = 0; k < 4; ++k) cut.next();
        ASSERT_EQ(std::to_string(VARCOMMENT_MINUS) + " line 2", cut.log.back());
    }
    EXPECT_EQ(bfsAlone, TokenLog(bfs).all());
}

// The string table is ordered as String::compare orders the texts: bytes
// as signed values, a text before its longer forms unless these go on with
// a byte above 0x7F.
TEST(VarCommentCompiler, TextsInStringOrder)
{
    // Then texts alike in their first 8 or 16 bytes, ending at and around
    // those bounds, going on with bytes on both sides of 0x80.
    const std::vector<std::string> texts = {"a", "a\x01", "a\xFF", "b", "\x80", "", "ab", "a\x7F", "\xC3\x9C",
                                            "Grenzwer", "Grenzwert", "Grenzwe", "Grenzwert 0.1", "Grenzwert 0.1\xE4",
                                            "Grenzwert 0.1!", "Grenzwert 0.10 der", "Grenzwert 0.10 de",
                                            "Grenzwert 0.10 der\x90", "Grenzwert 0.10 deq", "Grenzwer\xF6"};
    std::string body;
    for (std::size_t i = 0; i < texts.size(); ++i) body += "$" + std::to_string(i) + " [16#1] : \"" + texts[i] + "\"\n";
    const Compiled c = compile(wrap(body).c_str(), 0);
    std::vector<std::size_t> order(texts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return String::compare(String(texts[x].c_str()), String(texts[y].c_str())) < 0;
    });
    std::vector<std::pair<int, const char*>> lines;
    for (std::size_t i : order) lines.emplace_back(int(i), texts[i].c_str());
    EXPECT_EQ(c.script, block(lines));

    // Enough texts for a large sort, each of the texts above with one of
    // 1,800 suffixes, some twice: numbered by first appearance, in order.
    std::vector<std::string> many;
    std::map<std::string, int> numbers;
    body.clear();
    for (int i = 0; i < 40000; ++i) {
        many.push_back(texts[std::size_t(i) % texts.size()] + std::to_string(i / 20 * 7 % 1800));
        numbers.emplace(many.back(), int(numbers.size()));
        body += "$" + std::to_string(i) + " [16#1] : \"" + many.back() + "\"\n";
    }
    const Compiled big = compile(wrap(body).c_str(), 0);
    std::vector<std::string> distinct;
    for (const auto& n : numbers) distinct.push_back(n.first);
    std::sort(distinct.begin(), distinct.end(), [](const std::string& x, const std::string& y) {
        return String::compare(String(x.c_str()), String(y.c_str())) < 0;
    });
    lines.clear();
    for (const std::string& t : distinct) lines.emplace_back(numbers[t], t.c_str());
    EXPECT_EQ(big.script, block(lines));
}

// Many keys out of order, each entered twice: the section lists them by
// address, then mask, each with the text of its first entry.
TEST(VarCommentCompiler, ManyKeysOutOfOrderKeepTheirFirstText)
{
    std::string body;
    for (int a = 99; a >= 0; --a) body += "$" + std::to_string(a) + " [16#1] : \"t" + std::to_string(a % 3) + "\"\n";
    for (int a = 0; a < 100; ++a) body += "$" + std::to_string(a) + " [16#1] : \"x\"\n";
    body += "$2147483647 [16#2] : \"t0\"\n$2147483647 [16#1] : \"t1\"\n";
    const Compiled c = compile(wrap(body).c_str(), 0);
    ASSERT_EQ(c.write, 0);
    // Texts numbered by first appearance: t0 (at 99), t2, t1, x.
    const int id[3] = {0, 2, 1};
    std::string want = "102 ";
    for (int a = 0; a < 100; ++a) want += std::to_string(a) + " 1 " + std::to_string(id[a % 3]) + " ";
    want += "2147483647 1 2 2147483647 2 0 \r\n0 ";
    EXPECT_EQ(c.section, want);
    EXPECT_EQ(c.next, 4);
}

// Random sections of both kinds, read back through the container: every
// distinct text once in the script, each block ordered by text, the ids
// start .. start + n - 1, and every key with the id of its text.
TEST(VarCommentCompiler, RandomSectionsReadBack)
{
    std::mt19937 rng(20261207);
    auto pick = [&](unsigned n) { return int(rng() % n); };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const bool vars = round % 2 == 0;
        const int32_t start = pick(1000);
        std::string text = vars ? "VARCOMMENT\n" : "BFDCOMMENT\n";
        // Model: key -> first text, and the texts by first appearance.
        std::map<std::pair<std::string, uint32_t>, std::string> keys[2];  // [0] addresses, [1] names
        std::vector<std::string> order[2];
        for (int e = pick(25); e >= 0; --e) {
            const std::string t = "t" + std::to_string(pick(8)) + (pick(2) ? "\xE4" : "");
            const uint32_t mask = vars ? (1u << pick(4)) | (pick(2) ? 0u : 0xF0u) : 0xFFFFFFFFu;
            char m[16];
            std::snprintf(m, sizeof m, vars ? " [16#%X]" : "", mask);
            const int form = pick(3);
            const int a = pick(30), b = form == 1 ? a + 1 + pick(4) : a;
            std::string name = std::string(pick(2) ? "Ax" : "ax") + "." + (pick(2) ? "V" : "v");
            text += "$" + (form == 2 ? name : std::to_string(a) + (form == 1 ? "-$" + std::to_string(b) : "")) + m +
                    " : \"" + t + "\"\n";
            const int kind = form == 2;
            if (std::find(order[kind].begin(), order[kind].end(), t) == order[kind].end()) order[kind].push_back(t);
            if (kind && vars) name = downcase(String(name.c_str())).c_str();
            for (int x = a; x <= b; ++x) keys[kind].emplace(std::make_pair(kind ? name : std::to_string(x), mask), t);
        }
        text += vars ? "END_VARCOMMENT\n" : "END_BFDCOMMENT\n";

        const Compiled c = compile(text.c_str(), start);
        ASSERT_EQ(c.write, 0);
        const int32_t base[2] = {start, start + int32_t(order[0].size())};
        EXPECT_EQ(c.next, base[1] + int32_t(order[1].size()));
        auto idOf = [&](int kind, const std::string& t) {
            return base[kind] + int32_t(std::find(order[kind].begin(), order[kind].end(), t) - order[kind].begin());
        };
        std::string script;
        for (int kind = 0; kind < 2; ++kind) {
            std::vector<std::string> sorted = order[kind];
            std::sort(sorted.begin(), sorted.end(), [](const std::string& x, const std::string& y) {
                return String::compare(String(x.c_str()), String(y.c_str())) < 0;
            });
            std::vector<std::pair<int, const char*>> lines;
            for (const std::string& t : sorted) lines.emplace_back(idOf(kind, t), t.c_str());
            if (!lines.empty()) script += block(lines);
        }
        EXPECT_EQ(c.script, script);

        FsFileMan file;
        ASSERT_TRUE(openMemoryFile(file));
        ASSERT_TRUE(putSection(file, "varcomment", c.section));
        FsSecCl* sec = nullptr;
        ASSERT_EQ(file.openSect("varcomment", &sec, 0), FS_OK);
        CBoVarComment back(nullptr);
        ASSERT_TRUE(back.load(*sec));
        file.CloseSect("varcomment");
        std::map<std::pair<std::string, uint32_t>, int32_t> got[2], want[2];
        for (const auto& e : back.varTexts()) got[0][{std::to_string(e.first.adr), e.first.mask}] = e.second;
        for (const auto& e : back.typeTexts()) got[1][{e.first.name.c_str(), e.first.mask}] = e.second;
        for (int kind = 0; kind < 2; ++kind) {
            for (const auto& k : keys[kind]) want[kind][k.first] = idOf(kind, k.second);
            EXPECT_EQ(got[kind], want[kind]);
        }
    }
}

}  // namespace
