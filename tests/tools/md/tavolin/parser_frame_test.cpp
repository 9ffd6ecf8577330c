// The frame every section compiler is built in, on a small grammar of its
// own (nested parentheses): stack growth and its limit, the first syntax
// error, scanner errors with their line, counting without a message
// handler; and the resource-script string-table writer.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "test_split_driver_support.h"
#include "tests/tools/md/tavolin/MdTestNestBisonParser.h"
#include "tests/tools/md/tavolin/MdTestNestScanner.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "platform/resmodule.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdScannerSupport.h"

using namespace fronttest;

namespace {

// Block 300 has texts that show their argument.
class NestParser : public MdParserFrame<MdTestNestBisonParser, MdTestNestScannerFlexLexer> {
public:
    NestParser() : MdParserFrame(300) {}
    int32_t parse() override { return yyparse(); }
    using MdParserFrame::textIdFits;
};

struct NestRun {
    int result;
    int32_t errors;
    bool atEnd;
    int pairs;
};

NestRun parseText(const std::string& text)
{
    std::istringstream in(text);
    NestParser p;
    MdCompilerArgs args;
    args.stream = &in;
    p.init(args);
    const int r = p.parse();
    return NestRun{r, p.errorCount(), p.atEnd(), p.pairs};
}

TEST(ParserFrame, StacksGrowUpToTheirLimit)
{
    MessageCapture messages;
    // 300 open parentheses need more than the first 200 stack entries.
    NestRun r = parseText(std::string(300, '(') + std::string(300, ')'));
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.pairs, 300);
    EXPECT_EQ(r.errors, 0);
    EXPECT_TRUE(r.atEnd);
    EXPECT_TRUE(messages.records.empty());

    r = parseText(std::string(10001, '('));
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.errors, 1);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{302});
    EXPECT_EQ(messages.records[0].text, "Parser Fehler: parser stack overflow");
}

TEST(ParserFrame, FirstSyntaxErrorEndsTheParse)
{
    MessageCapture messages;
    const struct {
        const char* text;
        uint32_t line;
    } cases[] = {
        {"(()", 1},        // ends inside
        {"())\n()", 1},    // one too many
        {"(\n#)", 2},      // a code the grammar does not declare
        {"", 0},           // accepted: no message
    };
    for (const auto& c : cases) {
        messages.clear();
        const NestRun r = parseText(c.text);
        if (c.line == 0) {
            EXPECT_EQ(r.result, 0);
            EXPECT_TRUE(messages.records.empty());
            continue;
        }
        EXPECT_EQ(r.result, 1) << c.text;
        EXPECT_EQ(r.errors, 1) << c.text;
        ASSERT_EQ(messages.ids(), std::vector<uint32_t>{302}) << c.text;
        EXPECT_EQ(messages.records[0].text, "Parser Fehler: parse error");
        EXPECT_EQ(messages.records[0].position, c.line) << c.text;
    }
}

TEST(ParserFrame, ScannerErrorsAreCountedAndSkipped)
{
    MessageCapture messages;
    const NestRun r = parseText("(\n\n!(\n?))");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.pairs, 2);
    EXPECT_EQ(r.errors, 2);
    ASSERT_EQ(messages.ids(), (std::vector<uint32_t>{301, 301}));
    EXPECT_EQ(messages.records[0].text, "Scanner Fehler, unerwartetes Zeichen '!'");
    EXPECT_EQ(messages.records[0].position, 3u);
    EXPECT_EQ(messages.records[1].position, 4u);
}

// The line ends in front of a section are read past before the scanner
// starts; its lines are counted as if it had scanned them, also where they
// run over the reader's chunk, and a lone '\r' stays for the scanner.
TEST(ParserFrame, LeadingLineEndsCountAsLines)
{
    MessageCapture messages;
    for (const std::size_t pairs : {std::size_t(0), std::size_t(1), std::size_t(16383), std::size_t(16384),
                                    std::size_t(16385), std::size_t(40000)}) {
        messages.clear();
        std::string text;
        for (std::size_t i = 0; i < pairs; ++i) text += "\r\n";
        const NestRun r = parseText(text + "(\n!)");
        EXPECT_EQ(r.result, 0) << pairs;
        EXPECT_EQ(r.pairs, 1) << pairs;
        ASSERT_EQ(messages.ids(), std::vector<uint32_t>{301}) << pairs;
        EXPECT_EQ(messages.records[0].position, pairs + 2) << pairs;
    }

    // Not pairs: a '\r' alone and a bare '\n' end the run; the scanner reads on.
    messages.clear();
    EXPECT_EQ(parseText("\r\n\r\r\n\n!").errors, 1);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].position, 4u);

    // Read from the stream's position, not its start.
    std::istringstream in("((\r\n\r\n!");
    in.seekg(2);
    EXPECT_EQ(mdSkipLeadingLineEnds(in), 2u);
    EXPECT_EQ(in.get(), '!');
    std::istringstream none("x");
    EXPECT_EQ(mdSkipLeadingLineEnds(none), 0u);
    EXPECT_EQ(none.get(), 'x');
}

// flex expects its fatal errors not to return: the scan stops there, with
// one message and without the parser's complaint about the cut input.
TEST(ParserFrame, AFatalScannerErrorStopsTheScan)
{
    MessageCapture messages;
    const MdScannerBufferLimitScope limit((std::size_t(1) << 16) + 2);
    const struct {
        std::string text;
        const char* message;
        int result;
    } cases[] = {
        // "$" plays a table without action; the parse needs more.
        {"(($))", "'fatal flex scanner internal error--no action found'", 1},
        // Complete before it: still not accepted.
        {"()$", "'fatal flex scanner internal error--no action found'", 1},
        // A token beyond the largest buffer.
        {"(\"" + std::string(1 << 17, 'x') + "\")", "'fatal error - scanner input buffer overflow'", 1},
    };
    for (const auto& c : cases) {
        messages.clear();
        std::istringstream in(c.text);
        struct Parser : NestParser {
            int yylexAgain() { return yylex(); }
        } p;
        MdCompilerArgs args;
        args.stream = &in;
        p.init(args);
        EXPECT_EQ(p.parse(), c.result) << c.message;
        EXPECT_EQ(p.errorCount(), 1);
        ASSERT_EQ(messages.ids(), std::vector<uint32_t>{301}) << c.message;
        EXPECT_EQ(messages.records[0].text, std::string("Scanner Fehler, unerwartetes Zeichen ") + c.message);
        // The scanner stays at the end of its input.
        EXPECT_EQ(p.yylexAgain(), 0);
        EXPECT_TRUE(p.atEnd());
    }
}

// Memory that runs out while a section is parsed - the scanner's buffer,
// the parser's stack, a token's text - ends the parse with std::bad_alloc
// and without a message: no "parser stack overflow" or scanner error at the
// line it stood on. Each case runs in a child process whose address space
// is limited to what it holds and a different room beside it, so that
// memory runs out at a different moment of the parse.
TEST(ParserFrame, MemoryThatRunsOutIsNoErrorOfTheSource)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#endif
    const std::string text = std::string(9000, '(') + "\"" + std::string(1 << 21, 'x') + "\"" + std::string(9000, ')');
    for (std::size_t room : {1 << 16, 1 << 18, 1 << 19, 1 << 20, 1 << 21, 3 << 20}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            MessageCapture messages;
            std::istringstream in(text);
            NestParser p;
            MdCompilerArgs args;
            args.stream = &in;
            p.init(args);
            std::ifstream statm("/proc/self/statm");
            std::size_t pages = 0;
            statm >> pages;
            rlimit limit;
            if (::getrlimit(RLIMIT_AS, &limit) != 0) ::_exit(10);
            limit.rlim_cur = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + rlim_t(room);
            if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(10);
            int code;
            try {
                code = p.parse() == 0 ? 1 : 2;
            } catch (const std::bad_alloc&) {
                code = 0;
            }
            if (!messages.records.empty()) code = 3;
            ::_exit(code);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "room " << room << ": ended by signal " << WTERMSIG(status);
        // 1: it had room enough after all; 2: it failed as a source error;
        // 3: it said something.
        EXPECT_EQ(WEXITSTATUS(status), 0) << "room " << room;
    }
}

TEST(ParserFrame, ErrorsAreCountedWithoutAMessageHandler)
{
    ASSERT_EQ(cmGetMessageHandler(), nullptr);
    EXPECT_EQ(parseText("!").errors, 1);
    const NestRun r = parseText("(!");
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.errors, 2);
}

TEST(ParserFrame, WithoutAStreamTheInputIsEmpty)
{
    NestParser p;
    p.init(MdCompilerArgs());
    EXPECT_EQ(p.parse(), 0);
    EXPECT_TRUE(p.atEnd());
}

// Every compiler that numbers texts asks the frame: a resource script takes
// 16-bit ids, 0xFFFE is the entry method's own text and 0xFFFF no id, so a
// text takes at most 0xFFFD. The first text past it is reported where the
// compiler says and counted; later ones are refused without a message.
TEST(ParserFrame, TextIdsEndBelowTheEntryMethodsText)
{
    MessageCapture messages;
    NestParser p;
    for (int32_t id : {0, 1, 0x7FFF, 0xFFFC, 0xFFFD}) EXPECT_TRUE(p.textIdFits(id, 302, 7, "x")) << id;
    EXPECT_EQ(p.errorCount(), 0);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_FALSE(p.textIdFits(0xFFFE, 302, 7, "0xFFFE"));
    EXPECT_EQ(p.errorCount(), 1);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{302});
    EXPECT_EQ(messages.records[0].position, 7u);
    EXPECT_EQ(messages.records[0].text, "Parser Fehler: 0xFFFE");
    for (int32_t id : {0xFFFF, 0x10000, 0x17726, int32_t(0x80000000u), -1}) EXPECT_FALSE(p.textIdFits(id, 303, 8)) << id;
    EXPECT_TRUE(p.textIdFits(0xFFFD, 303, 8));
    EXPECT_EQ(p.errorCount(), 1);
    EXPECT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(mdRcIdText(0xFFFE), "0xFFFE");
    EXPECT_EQ(mdRcIdText(0x1A3), "0x01A3");
    EXPECT_EQ(mdRcIdText(0x17726), "0x17726");
}

TEST(RcStringTable, AppendsBlocksBehindWhatTheScriptHolds)
{
    TempFile script("existing\r\n");
    ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), {{1, String("eins")}, {10, String("a \"b\" c")}}));
    ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), {{0x1A3, String("")}}));
    EXPECT_EQ(readFile(script.path()),
              "existing\r\n"
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
              "   0x0001   \"eins\"\r\n"
              "   0x000A   \"a \"\"b\"\" c\"\r\n"
              "END\r\n\r\n"
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
              "   0x01A3   \"\"\r\n"
              "END\r\n\r\n");
}

// A quote inside a text is doubled so that the string does not end early,
// and a line end (the string rules let one through) is written as \n so
// that the entry keeps to its line; a backslash the author wrote stays,
// doubled where it would escape the quote or the end. The resource reader
// gives the texts back as they were.
TEST(RcStringTable, QuotesAndLineEndsAreEscapedAndReadBackAsTheyWere)
{
    TempFile script("");
    const String texts[] = {String("\"q\""), String("a\\\"b"), String("C:\\dir\\"), String("\xE4"),
                            String("a\r\nb\nc\rd"),
                            // a CR LF across the eighth byte, quotes among long runs
                            String("abcdefg\"hijklmn\r\nopqrstuvwx\ry0123456789\"")};
    ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), {{1, texts[0]},
                                                             {2, texts[1]},
                                                             {3, texts[2]},
                                                             {4, texts[3]},
                                                             {5, texts[4]},
                                                             {6, texts[5]}}));
    EXPECT_EQ(readFile(script.path()),
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
              "   0x0001   \"\"\"q\"\"\"\r\n"
              "   0x0002   \"a\\\\\"\"b\"\r\n"
              "   0x0003   \"C:\\dir\\\\\"\r\n"
              "   0x0004   \"\xE4\"\r\n"
              "   0x0005   \"a\\nb\\nc\\nd\"\r\n"
              "   0x0006   \"abcdefg\"\"hijklmn\\nopqrstuvwx\\ny0123456789\"\"\"\r\n"
              "END\r\n\r\n");
    auto module = tvp::ResModule::fromText(readFile(script.path()));
    ASSERT_TRUE(module);
    std::u16string t;
    ASSERT_TRUE(module->lookup(1, t));
    EXPECT_EQ(t, u"\"q\"");
    ASSERT_TRUE(module->lookup(2, t));
    EXPECT_EQ(t, u"a\\\"b");
    ASSERT_TRUE(module->lookup(3, t));
    EXPECT_EQ(t, u"C:\\dir\\");
    ASSERT_TRUE(module->lookup(4, t));
    EXPECT_EQ(t, u"\u00E4");
    ASSERT_TRUE(module->lookup(5, t));
    EXPECT_EQ(t, u"a\nb\nc\nd");
}

TEST(ScannerSupport, StringValueDropsTheQuotesAndTheBackslashOfAnEscapedQuote)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\"\"", ""},
        {"\"abc\"", "abc"},
        {"\"a\\\"b\\\"\"", "a\"b\""},
        {"\"\\\"\"", "\""},
        {"\"a\\x\\\"", "a\\x\\"},  // a backslash before the closing quote stays
    };
    for (const auto& c : cases) {
        std::unique_ptr<String> v(mdStringValue(c.first.c_str(), int(c.first.size())));
        EXPECT_EQ(std::string(v->c_str(), v->length()), c.second) << c.first;
    }
}

TEST(ScannerSupport, ALongTokenIsQuotedByItsFirstBytesAndItsLength)
{
    // Up to 1024 bytes a token stands whole; beyond, its first 40 bytes, the
    // ellipsis of code page 1252 and its length behind the closing quote.
    const std::string d1024(1024, '7'), d1025(1025, '7');
    EXPECT_EQ(mdTokenArg(d1024.data(), d1024.size(), "'"), "'" + d1024 + "'");
    EXPECT_EQ(mdTokenArg(d1025.data(), d1025.size(), "'"), "'" + std::string(40, '7') + "\x85' (1025 Bytes)");
    EXPECT_EQ(mdTokenArg(d1025.data(), d1025.size()), std::string(40, '7') + "\x85 (1025 Bytes)");
    EXPECT_EQ(mdTokenArg("", 0, "'"), "''");

    // Through a scanner's error, or any message of a compiler, and the
    // message handler: the ellipsis arrives as U+2026 (written out as
    // UTF-8); a short token as ever.
    MessageCapture messages;
    NestParser p;
    const std::string token(1 << 20, '9');
    p.LexerError(token.c_str());
    p.LexerError("!");
    mdEmitMessage(301, 7, token.c_str());
    ASSERT_EQ(messages.records.size(), 3u);
    const std::string text = "Scanner Fehler, unerwartetes Zeichen ", cut = std::string(40, '9') + "\xE2\x80\xA6";
    EXPECT_EQ(messages.records[0].text, text + "'" + cut + "' (1048576 Bytes)");
    EXPECT_EQ(messages.records[1].text, text + "'!'");
    EXPECT_EQ(messages.records[2].text, text + cut + " (1048576 Bytes)");
}

TEST(RcStringTable, IdsAreAtLeastFourUpperCaseHexDigits)
{
    TempFile script("");
    ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), {{0, String("a")},
                                                             {0xABC, String("b")},
                                                             {0x1F00D, String("c")},
                                                             {-1, String("d")}}));
    EXPECT_EQ(readFile(script.path()),
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
              "   0x0000   \"a\"\r\n"
              "   0x0ABC   \"b\"\r\n"
              "   0x1F00D   \"c\"\r\n"
              "   0xFFFFFFFF   \"d\"\r\n"
              "END\r\n\r\n");
}

TEST(RcStringTable, ATextLongerThanWhatIsCollectedIsWrittenWhole)
{
    TempFile script("");
    std::string text;
    for (int i = 0; i < 30000; ++i) text += "ab\"cdefgh\n";  // 330,000 bytes
    std::string line = "   0x0002   \"";
    for (int i = 0; i < 30000; ++i) line += "ab\"\"cdefgh\\n";
    line += "\"\r\n";
    ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), {{1, String("x")},
                                                             {2, String(text.c_str(), int(text.size()))},
                                                             {3, String("y")}}));
    EXPECT_EQ(readFile(script.path()), "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0001   \"x\"\r\n" + line +
                                           "   0x0003   \"y\"\r\nEND\r\n\r\n");

    // Escapes whose bytes lie on both sides of the 64 KB the writer
    // collects at most: each is written as in a short text.
    const std::string a(65534, 'a');
    const struct {
        std::string text, written;
    } cases[] = {
        {a + "\\\\\\\"b", a + "\\\\\\\\\"\"b"},  // three backslashes before a quote: one more
        {a + "a\r\nb", a + "a\\nb"},                  // CR LF: one \n
        {a + "a\\\\x", a + "a\\\\x"},              // a pair before an x: no more
        {a + "aa\\", a + "aa\\\\"},                  // a lone one at the end: doubled
        // a run longer than that, whose length decides at its end
        {std::string(200001, '\\') + "\"", std::string(200002, '\\') + "\"\""},
    };
    for (const auto& c : cases) {
        TempFile one("");
        ASSERT_TRUE(mdAppendStringTable(String(one.c_str()), {{1, String(c.text.c_str(), int(c.text.size()))}}));
        EXPECT_EQ(readFile(one.path()), "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0001   \"" + c.written +
                                            "\"\r\nEND\r\n\r\n")
            << c.text.substr(c.text.size() - 4);
    }
}

TEST(RcStringTable, AScriptThatCannotBeWrittenFails)
{
    EXPECT_FALSE(mdAppendStringTable(String("/nonexistent/dir/x.rc"), {{1, String("x")}}));
    EXPECT_FALSE(mdAppendStringTable(String(""), {{1, String("x")}}));
    // A device that takes nothing: the failure shows at the latest on close.
    MdRcStringTable full;
    if (!full.open(String("/dev/full"))) GTEST_SKIP() << "no /dev/full";
    full.beginTable();
    for (int i = 0; i < 2000; ++i) full.addText(i, String("some text that fills the buffer"));
    full.endTable();
    EXPECT_FALSE(full.close());
}

}  // namespace
