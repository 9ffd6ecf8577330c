// Every section compiler's scanner on long runs of one byte and on NUL bytes
// in its strings: time linear in the input, and a NUL in a string reported
// as an unexpected character (message base + 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdAlarmParser.h"
#include "tools/md/tavolin/MdBfParser.h"
#include "tools/md/tavolin/MdConnectionParser.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdImplParser.h"
#include "tools/md/tavolin/MdSuppTOParser.h"
#include "tools/md/tavolin/MdVarCommentParser.h"
#include "tools/md/tavolin/MdVarExtParser.h"

using namespace fronttest;

namespace {

// The boot-function grammar alone (its compiler needs a class provider).
struct BfGrammar : MdBfGrammar {
    void read(std::istream& in) { setInput(&in); }
};

struct Compiler {
    const char* name;
    uint32_t msgBase;
    bool strings;  // its grammar has strings
    std::function<int32_t(const std::string&)> compile;
};

// Compiles text with the compiler into a descriptor in memory: what
// done(compiler, its result) makes of it.
template <class Parser, class Done>
auto compileThen(const std::string& text, Done done)
{
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    std::istringstream in(text);
    Parser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.rcPath = String("/dev/null");
    args.outputBase = String("/nonexistent/dir/impl");
    p.init(args);
    return done(p, p.parse());
}

// Its result alone.
template <class Parser>
int32_t compileWith(const std::string& text)
{
    return compileThen<Parser>(text, [](const Parser&, int32_t result) { return result; });
}

const Compiler kCompilers[] = {
    {"implementations", 1000, true, compileWith<MdImplParser>},
    {"connections", 600, false, compileWith<MdConnectionParser>},
    {"supported types", 800, false, compileWith<MdSuppTOParser>},
    {"alarms", 700, true, compileWith<MdAlarmParser>},
    {"error texts", 900, true, compileWith<MdErrMsgTxtParser>},
    {"comments", 300, true, compileWith<MdVarCommentParser>},
    {"variables", 400, true, compileWith<MdVarExtParser>},
    {"boot functions", 500, true,
     [](const std::string& text) {
         std::istringstream in(text);
         BfGrammar p;
         p.read(in);
         return p.parse();
     }},
};

double seconds(const Compiler& c, const std::string& text)
{
    const auto start = std::chrono::steady_clock::now();
    c.compile(text);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(ScannerByteRuns, NulInAStringIsAnUnexpectedCharacter)
{
    MessageCapture messages;
    for (const Compiler& c : kCompilers) {
        if (!c.strings) continue;
        messages.clear();
        EXPECT_NE(c.compile("\"Positi" + std::string(1, '\0') + "on\""), 0) << c.name;
        EXPECT_GE(messages.count(c.msgBase + 1), 1u) << c.name;
    }
}

TEST(ScannerByteRuns, EveryCompilerReadsLongRunsInLinearTime)
{
    // A megabyte of one byte in a comment, a string and a text block of each
    // compiler, against a megabyte of small letters in a comment: a NUL
    // inside a token made flex read the token again from its start at each
    // NUL (a line of them: its length squared). 16 KB go first, so that
    // such a case fails at once; the bound leaves room for a loaded machine.
    const char* const contexts[] = {"", "(*", "\"", "BEGIN_IO_DATA BEGIN_ACT ", "/*", "//",
                                    "BEGIN_BF BF_FUNCTION(a)(b) {", "VARCOMMENT $1 : \""};
    const char bytes[] = {'\0', 'x', 'E', '*', '"', '\\', '\n', '\r'};
    for (const std::size_t size : {std::size_t(16) << 10, std::size_t(1) << 20}) {
        for (const Compiler& c : kCompilers) {
            const double floor = std::max(seconds(c, "(*" + std::string(size, 'q')), size * 5e-9);
            for (const char* context : contexts) {
                for (const char b : bytes) {
                    const double s = seconds(c, context + std::string(size, b));
                    EXPECT_LT(s, 20 * floor + 0.1) << c.name << ", byte " << int(b) << " after '" << context << "', "
                                                   << size << " bytes: " << s << " s, small letters " << floor << " s";
                }
            }
        }
        if (HasFailure()) return;
    }
}

namespace {

// A compile of the variables or the comment compiler and what it reported.
struct StrayCompile {
    int32_t result = -1;
    int32_t errors = 0;          // the compiler's count
    uint32_t handlerErrors = 0;  // the message handler's
    std::vector<MessageCapture::Record> messages;
};

template <class Parser>
StrayCompile compileStray(const std::string& text)
{
    MessageCapture capture;
    return compileThen<Parser>(text, [&capture](const Parser& p, int32_t result) {
        return StrayCompile{result, p.errorCount(), capture.errors(), capture.records};
    });
}

// The message text of stray bytes quoted as arg (an ANSI text, code page
// 1252, as the capture has it in UTF-8).
std::string strayText(const std::string& arg)
{
    std::string utf8;
    for (const char c : arg) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b == 0x85) utf8 += "\xE2\x80\xA6";
        else if (b >= 0x80) utf8 += {char(0xC0 | b >> 6), char(0x80 | (b & 0x3F))};
        else utf8 += c;
    }
    return "Scanner Fehler, unerwartetes Zeichen " + utf8;
}

// The sections whose scanners hold stray runs, as a body is put in them
// (the bit fields after an empty bit-type section); comments: VARCOMMENT's
// scanner, the variables scanner otherwise.
const struct {
    const char* begin;
    const char* end;
    bool comments;
} kRunSections[] = {
    {"VALUES", "END_VALUES", false},         {"CONFIGS", "END_CONFIGS", false},
    {"RESOLVE", "END_RESOLVE", false},       {"ATTRIBUTES", "END_ATTRIBUTES", false},
    {"BITFIELDTYPES END_BITFIELDTYPES BITFIELDS", "END_BITFIELDS", false},
    {"VARCOMMENT", "END_VARCOMMENT", true},
};

}  // namespace

TEST(ScannerByteRuns, StrayRunsInTheVariableAndCommentSections)
{
    // A run of stray bytes in each section the two compilers read, the bytes
    // side by side or with blanks and line ends between them: its first
    // hundred bytes are one message each, the rest is one message that
    // quotes its stray bytes (cut when long) and counts an error for each,
    // at the line of its first byte. Blanks and line ends do not end the
    // run; a byte that may begin a token does (a comment, a keyword right
    // after letters or "E"s, a number, an entry), and a run after it has
    // its own hundred.
    const auto& sections = kRunSections;
    const struct {
        char byte;
        const char* between;  // after each stray byte of the run
        const char* tail;     // after the run
        bool again;           // then a run of three before the end keyword; else the tail fails the parse
        int only;             // 0 both compilers, 1 the variables, 2 the comments
    } strays[] = {
        {'\0', "", " ", true, 0},  // the three after the blank go on with the run
        {'*', "", "\n", true, 0},
        {'?', " ", "\t\r\n", true, 0},
        {'?', "\n", "", true, 0},
        {'%', " \t\r\n", "", true, 0},
        {'\xff', "", "(* a comment *)", true, 0},
        {'\xff', "\n", "(* a comment *)", true, 0},
        {'#', "", "16#1F ", false, 0},
        {'E', "", " ", true, 1},  // the last three stand right before the end keyword
        {'x', "", "Def", false, 1},
        {'+', "", "+5", false, 1},
        {'!', "", "$1[16#1] : \"a\"", true, 2},
        {'(', "", "(* a comment *)", true, 2},
    };
    for (const auto& sec : sections) {
        for (const auto& st : strays) {
            if (st.only == (sec.comments ? 1 : 2)) continue;
            for (const std::size_t size : {std::size_t(150), (std::size_t(1) << 20) + 17}) {
                const std::string unit = std::string(1, st.byte) + st.between;
                std::string run;
                for (std::size_t i = 0; i < size; ++i) run += unit;
                const std::string again = st.again ? std::string(3, st.byte) : std::string();
                const std::string text = std::string(sec.begin) + "\n" + run + st.tail + again + sec.end + "\n";
                SCOPED_TRACE(std::string(sec.begin) + ", byte " + std::to_string(int(st.byte)) + " then '" +
                             st.between + "', " + std::to_string(size) + " times, then '" + st.tail + "'");
                const StrayCompile c =
                    sec.comments ? compileStray<MdVarCommentParser>(text) : compileStray<MdVarExtParser>(text);

                // blanks alone after the run: the three go on with it
                const bool joins = std::string(st.tail).find_first_not_of(" \t\r\n") == std::string::npos;
                const std::size_t held = size - 100 + (joins ? again.size() : 0);
                // a NUL byte is named \0 (it would end the message)
                const std::string one = st.byte ? std::string(1, st.byte) : std::string("\\0");
                std::string head;
                for (std::size_t i = 0; i < (held <= 64 ? held : 40); ++i) head += one;
                if (held > 64) head += '\x85';
                std::vector<std::string> expected(100, strayText("'" + one + "'"));
                expected.push_back(strayText("'" + head + "'" + (held <= 64 ? "" : " (" + std::to_string(held) + " Bytes)")));
                if (!joins) expected.insert(expected.end(), again.size(), expected[0]);
                std::vector<std::string> texts;
                for (const auto& m : c.messages)
                    if (m.id == (sec.comments ? 301u : 401u)) texts.push_back(m.text);
                EXPECT_EQ(texts, expected);
                ASSERT_GE(c.messages.size(), 101u);
                // each stray byte at its line, the rest at the line of its first
                const uint32_t lines = uint32_t(std::count(unit.begin(), unit.end(), '\n'));
                EXPECT_EQ(c.messages[99].count, 1u);
                EXPECT_EQ(c.messages[99].position, 2u + 99u * lines);
                EXPECT_EQ(c.messages[100].count, held);
                EXPECT_EQ(c.messages[100].position, 2u + 100u * lines);
                // A tail the grammar does not take there fails the compile
                // after the run: one error more. (The comment compiler leaves
                // the counted errors to its caller.)
                EXPECT_EQ(c.result, st.again ? (sec.comments ? 0 : 3) : 1);
                EXPECT_EQ(c.errors, int32_t(size + again.size()) + (st.again ? 0 : 1));
                EXPECT_EQ(c.handlerErrors, uint32_t(c.errors));
            }
        }
    }
    // A run held when a token beyond the scanner's largest buffer stops the
    // scan still counts, after the fatal error.
    const MdScannerBufferLimitScope limit((std::size_t(1) << 16) + 2);
    const std::string text = std::string(150, '*') + "\"" + std::string(1 << 17, 'x') + "\"";
    for (const StrayCompile& c : {compileStray<MdVarExtParser>("VALUES " + text), compileStray<MdVarCommentParser>("VARCOMMENT " + text)}) {
        ASSERT_EQ(c.messages.size(), 102u);
        EXPECT_EQ(c.messages[100].text, strayText("'fatal error - scanner input buffer overflow'"));
        EXPECT_EQ(c.messages[101].count, 50u);
        EXPECT_EQ(c.result, 1);
        EXPECT_EQ(c.errors, 151);
        EXPECT_EQ(c.handlerErrors, 151u);
    }
}

TEST(ScannerByteRuns, EveryRuleEndsAHeldRunWhereItWouldMatch)
{
    // Past the first hundred stray bytes of a run only the number of
    // messages changes: a section after 10 and after 120 stray bytes counts
    // the prefix's errors more and nothing else, and every message that is
    // not of stray bytes stands at the same line with the same text. Each
    // tail begins where a rule of the section's scanner would match, right
    // after a blank or right after a stray byte.
    const std::string varTails[] = {
        "(* a comment *) ?\n",
        "Def xDefx CONFIGSX MAXID ? ENDE_VALUES\n",
        "$1[16#1] : Def(1) Min(-2) Max(+3) Unit(4)\n$2[16#1] : UNDEF\n",
        "+5 -5 + - 1.5 1.5e3 2e+4 3. 16#FF 16# 99999999999 ?\n",
        "\"a text\" ? \"an \\\" escaped\" ?\n",
        ":= : ; , [ ] ( ) $ ?\n",
        "TRUE FALSE GROUP END_GROUP LOCAL GLOBAL DEFAULT POSSIBLE Fixed\n",
        std::string("\r?\r\n.5 \0?\n", 10),
        "\"an open text\n",
    };
    const std::string commentTails[] = {
        "(* a comment *) ( ?\n",
        "$1 : \"a\"\n$ a . b[16#1F] : \"x\"\n$2 - $3 : \"r\"\n",
        "16#1F 16# name_1 12 99999999999 - . ; : [ ] $ ?\n",
        "\"a text\" ? \"an \\\" escaped\" + ?\n",
        "VARCOMMENT xVARCOMMENT BFDCOMMENT\n",
        std::string("\r?\r\n\0?\n", 7),
        "\"an open text\n",
    };
    const auto& sections = kRunSections;
    const auto prefix = [](std::size_t n, bool blank) {
        std::string p;
        for (std::size_t i = 0; i < n; ++i) p += "? ";
        return p + "\n\n\n" + (blank ? "" : "?");
    };
    for (const auto& sec : sections) {
        for (const std::string& tail : sec.comments ? std::vector<std::string>(std::begin(commentTails), std::end(commentTails))
                                                    : std::vector<std::string>(std::begin(varTails), std::end(varTails))) {
            for (const bool blank : {true, false}) {
                SCOPED_TRACE(std::string(sec.begin) + ": " + tail.substr(0, 24) + (blank ? " after a blank" : " right after a stray byte"));
                const auto compile = [&](std::size_t n) {
                    const std::string text = std::string(sec.begin) + "\n" + prefix(n, blank) + tail + sec.end + "\n";
                    return sec.comments ? compileStray<MdVarCommentParser>(text) : compileStray<MdVarExtParser>(text);
                };
                const StrayCompile few = compile(10), many = compile(120);
                EXPECT_EQ(many.errors - 110, few.errors);
                EXPECT_EQ(many.handlerErrors - 110, few.handlerErrors);
                EXPECT_EQ(many.result, few.result);
                // every message but those of stray bytes (one byte quoted, or
                // the held run of the prefix), at its line
                const auto others = [&sec](const StrayCompile& c) {
                    std::vector<std::string> texts;
                    const std::string stray = strayText("'");
                    for (const auto& m : c.messages) {
                        const bool strayBytes = m.id == (sec.comments ? 301u : 401u) &&
                                                m.text.compare(0, stray.size(), stray) == 0 &&
                                                (m.text.size() <= stray.size() + 2 || m.text[stray.size()] == '?' ||
                                                 m.text.compare(stray.size(), 3, "\\0'") == 0);
                        if (!strayBytes)
                            texts.push_back(std::to_string(m.id) + " at " + std::to_string(m.position) + ": " + m.text);
                    }
                    return texts;
                };
                if (blank) {
                    EXPECT_EQ(others(many), others(few));
                }
            }
        }
    }
}
