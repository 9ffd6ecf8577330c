// The error-text compiler: the goldens of one alarm section worked out by
// hand (the string table in the resource script and "errmsg"), one table of
// compiler cases (ids, high-water id, messages, results, what is left
// alone), and the resource script's failure.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "block_reads.h"
#include "errmsg_test_section.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdErrMsgTxtBisonParser.tab.hpp"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

using namespace fronttest;

namespace {

const char* const kTestSection = kErrMsgTestSection;

const char kOld[] = "old content";
const char kRcHead[] = "rc\r\n";

using RecordingParser = RecordingErrors<MdErrMsgTxtParser>;

struct Compiled {
    int32_t result;
    int32_t highWater;
    std::string errmsg, script;  // the script without the line it held before
    std::vector<uint32_t> ids;
    std::vector<uint32_t> positions;
    std::vector<std::string> errors;
};

// Compiles text at start into a descriptor in memory whose "errmsg" holds
// old content, with a script holding one line; the scanner reads blocks of
// at most `block` bytes (0: as it asks).
Compiled compile(const std::string& text, int32_t start, bool withScript = true, int block = 0)
{
    MessageCapture messages;
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    EXPECT_TRUE(putSection(dsc, "errmsg", kOld));
    TempFile script(kRcHead);
    Compiled c;
    {
        std::istringstream in(text);
        BlockReads<RecordingParser> p;
        p.block = block;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = withScript ? String(script.c_str()) : String("/nonexistent/dir/x.rc");
        args.firstStringId = start;
        p.init(args);
        c.result = p.parse();
        c.highWater = p.nextStringId();
        c.errors = p.errors;
    }
    c.errmsg = sectionText(dsc, "errmsg");
    const std::string rc = readFile(script.path());
    EXPECT_EQ(rc.compare(0, 4, kRcHead), 0);
    c.script = rc.substr(4);
    c.ids = messages.ids();
    for (const auto& r : messages.records) c.positions.push_back(r.position);
    return c;
}

std::string table(const std::string& lines)
{
    return "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n" + lines + "END\r\n\r\n";
}

std::string item(const std::string& args)
{
    return " MC_ERRORTEXT(" + args + ")\n";
}

std::string alarm(const std::string& items)
{
    return "BEGIN_ALARM_VRX_ERROR_TEXT\n" + items + "END_ALARM_VRX_ERROR_TEXT\n";
}

std::string boot(const std::string& items)
{
    return "BEGIN_BF_ERRORTEXT\n" + items + "END_BF_ERRORTEXT\n";
}

}  // namespace

TEST(ErrMsgTxtParser, TestSectionGoldens)
{
    const Compiled c = compile(kTestSection, 105);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.script, "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
                        "   0x0069   \"2 5 -1 Schleppfehler\"\r\n"
                        "   0x006B   \"1 1 7 Endschalter \"\"links\"\"\"\r\n"
                        "   0x006D   \"0 0 -1 zweimal\"\r\n"
                        "END\r\n\r\n");
    // The repeated number keeps its first id.
    EXPECT_EQ(c.errmsg, "2 20001 105 20002 107 ");
    EXPECT_EQ(c.highWater, 111);
    EXPECT_TRUE(c.ids.empty());
}

// The ids end at 0xFFFD: 0xFFFE is the entry method's text and a resource
// script takes no id past 16 bits. The section whose item would pass it
// fails (903, counted, at the line of the item's ")"; the compiler's other
// messages stand at line 1): no table, no "errmsg".
TEST(ErrMsgTxtParser, IdsEndBelowTheEntryMethodsText)
{
    // An alarm item takes two ids: from 0, 32 767 items end at 0xFFFC.
    const auto items = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += item(std::to_string(i) + ", CmErrorMsg, 5, \"e\"");
        return alarm(s);
    };
    Compiled c = compile(items(32767), 0);
    EXPECT_EQ(c.result, 0);
    EXPECT_TRUE(c.ids.empty());
    EXPECT_EQ(c.highWater, 0xFFFE);
    EXPECT_NE(c.script.find("   0xFFFC   \"2 5 -1 e\"\r\nEND\r\n"), std::string::npos);
    // One item past the last id, or many: the one 903 all the same.
    for (int n : {32768, 40000}) {
        c = compile(items(n), 0);
        EXPECT_EQ(c.result, 3) << n;
        EXPECT_EQ(c.ids, std::vector<uint32_t>{903}) << n;
        // the header on line 1, item i on line i + 2
        EXPECT_EQ(c.positions, std::vector<uint32_t>{32769}) << n;
        EXPECT_EQ(c.highWater, 2 * n) << n;
        EXPECT_EQ(c.script, "") << n;
        EXPECT_EQ(c.errmsg, kOld) << n;
    }
    // A boot-function item takes the first id plus its number.
    c = compile(boot(item("65433, CmErrorMsg, 5, \"e\"")), 100);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.script, table("   0xFFFD   \"2 5 -1 e\"\r\n"));
    EXPECT_EQ(c.highWater, 0xFFFE);
    for (const char* number : {"65434", "65435", "2147483647"}) {
        c = compile(boot(item("1, CmErrorMsg, 5, \"a\"") + item(std::string(number) + ", CmErrorMsg, 5, \"e\"")), 100);
        EXPECT_EQ(c.result, 3) << number;
        EXPECT_EQ(c.ids, std::vector<uint32_t>{903}) << number;
        EXPECT_EQ(c.script, "") << number;
    }

    // The line of a source's item, through the split (which pads the
    // section's stream to the line of its header): items across lines, a
    // string of several lines and a comment before the failing one.
    const std::string head = headerOf(1);  // four lines
    const struct {
        const char* what;
        std::string source;
        int32_t start;
        uint32_t line;
    } sources[] = {
        {"alarm",
         head + "BEGIN_ALARM_VRX_ERROR_TEXT\n"            // 5
                " VRX_ERROR_TEXT(1, CmErrorMsg,\n"        // 6
                "   5, \"eins\")\n"                       // 7
                " VRX_ERROR_TEXT(2, CmWarnMsg, 5, \"zwei\n" // 8
                "Zeilen\")\n"                             // 9
                " (* ein\n"                               // 10
                " Kommentar *)\n"                         // 11
                " VRX_ERROR_TEXT(3,\n"                    // 12
                "   CmErrorMsg, 5, 7,\n"                  // 13
                "   \"drei\")\n"                          // 14: 0xFFFE
                "END_ALARM_VRX_ERROR_TEXT\n",
         0xFFFA, 14},
        {"boot-function",
         head + "BEGIN_BF_ERRORTEXT\n"                    // 5
                " MC_ERRORTEXT(1, CmHelpMsg, 0, \"a\")\n"  // 6
                " (* Kommentar\n"                         // 7
                " ueber zwei Zeilen *) MC_ERRORTEXT(2,\n" // 8
                "   CmWarnMsg, 0, \"mehrere\r\n"          // 9
                "Zeilen\n"                                // 10
                "Text\") (* c *)\n"                       // 11
                " MC_ERRORTEXT(\n"                        // 12
                "   65434, CmErrorMsg, 5,\n"              // 13: 0xFFFE
                "   \"zu gross\"\n"                       // 14
                " )\n"                                    // 15
                "END_BF_ERRORTEXT\n",
         100, 15},
    };
    for (const auto& t : sources) {
        std::istringstream in(t.source);
        MdStringSectionSink sink;
        MdSectionSplitter split;
        ASSERT_EQ(split.split(in, sink, nullptr, 0), 0) << t.what;
        const std::string& stream = sink.stream(t.what[0] == 'a' ? MdTmpAlmMsg : MdTmpBfErrTxt);
        // Read whole and in blocks that end inside the tokens.
        for (int block : {0, 1, 2, 5}) {
            c = compile(stream, t.start, true, block);
            EXPECT_EQ(c.result, 3) << t.what << " in blocks of " << block;
            EXPECT_EQ(c.ids, std::vector<uint32_t>{903}) << t.what << " in blocks of " << block;
            EXPECT_EQ(c.positions, std::vector<uint32_t>{t.line}) << t.what << " in blocks of " << block;
            EXPECT_EQ(c.script, "") << t.what;
        }
        // Without a script: the id's line between the two at line 1.
        c = compile(stream, t.start, false);
        EXPECT_EQ(c.ids, (std::vector<uint32_t>{903, 903, 903})) << t.what;
        EXPECT_EQ(c.positions, (std::vector<uint32_t>{1, t.line, 1})) << t.what;
    }
}

TEST(ErrMsgTxtParser, Cases)
{
    const std::string three = item("1, CmErrorMsg, 0, \"a\"") + item("2, CmErrorMsg, 0, \"b\"") +
                              item("3, CmErrorMsg, 0, \"c\"");
    const std::string twoItems = item("1, CmErrorMsg, 0, \"a\"") + item("2, CmErrorMsg, 0, \"b\"");
    const struct {
        const char* what;
        std::string text;
        int32_t start;
        int32_t result;
        std::string script;
        std::string errmsg;
        int32_t highWater;
        std::vector<uint32_t> ids;
        std::vector<std::string> errors;
    } cases[] = {
        {"three alarm items", alarm(three), 100, 0,
         table("   0x0064   \"2 0 -1 a\"\r\n   0x0066   \"2 0 -1 b\"\r\n   0x0068   \"2 0 -1 c\"\r\n"),
         "3 1 100 2 102 3 104 ", 106, {}, {}},
        {"boot-function ids: start + number", boot(item("3, CmWarnMsg, 1, \"x\"") + item("1, CmWarnMsg, 1, \"y\"")),
         200, 0, table("   0x00CB   \"1 1 -1 x\"\r\n   0x00C9   \"1 1 -1 y\"\r\n"), kOld, 204, {}, {}},
        {"empty alarm section", alarm(""), 100, 0, "", "0 ", 100, {}, {}},
        {"empty boot-function section", boot(""), 100, 0, "", kOld, 100, {}, {}},
        {"keywords in lower case", "mc_errortext", 100, 1, "", kOld, 100, {901, 902}, {"'m'", "parse error"}},
        {"%i numbers", alarm(item("012, CmErrorMsg, 08, 0, \"o\"")), 100, 0, table("   0x0064   \"2 0 0 o\"\r\n"),
         "1 10 100 ", 102, {}, {}},
        {"empty stream", "", 100, 1, "", kOld, 100, {902}, {"parse error"}},
        {"CmSafetyMsg", alarm(item("1, CmSafetyMsg, 4, \"s\"")), 7, 0, table("   0x0007   \"3 4 -1 s\"\r\n"),
         "1 1 7 ", 9, {}, {}},
        {"syntax error after two items", alarm(twoItems + item("3, CmErrorMsg, \"c\"")), 100, 1, "", kOld, 104,
         {902}, {"parse error"}},
        // Numbers are 32-bit ints: up to 4294967295 (decimal or octal) the
        // bit pattern, the message number unsigned in "errmsg", class and
        // third value signed in the line; past 32 bits a scanner error.
        {"32-bit numbers", alarm(item("4294967295, CmErrorMsg, 4294967295, 2147483648, \"a\"") +
                                 item("037777777776, CmErrorMsg, 020000000000, 037777777777, \"b\"")),
         100, 0, table("   0x0064   \"2 -1 -2147483648 a\"\r\n   0x0066   \"2 -2147483648 -1 b\"\r\n"),
         "2 4294967294 102 4294967295 100 ", 104, {}, {}},
        {"numbers past 32 bits", alarm(item("4294967296, CmErrorMsg, 040000000000, \"a\"")), 100, 3,
         table("   0x0064   \"2 -1 -1 a\"\r\n"), kOld, 102, {901, 901}, {"'4294967296'", "'040000000000'"}},
        // Reported and left out (a NUL would cut the text in the script).
        {"NUL bytes in a string", alarm(item("2, CmErrorMsg, 0, \"a" + std::string(2, '\0') + "b\"")), 100, 3,
         table("   0x0064   \"2 0 -1 ab\"\r\n"), kOld, 102, {901, 901}, {"''", "''"}},
        {"NUL bytes in a comment", boot("(*" + std::string(3, '\0') + "*)" + item("0, CmHelpMsg, 0, \"a\"")), 5, 0,
         table("   0x0005   \"0 0 -1 a\"\r\n"), kOld, 6, {}, {}},
        {"comments and line ends in a string", boot("(* c *)" + item("0, CmHelpMsg, 0, \"a\\b\r\n(*\"")), 5, 0,
         table("   0x0005   \"0 0 -1 a\\b\\n(*\"\r\n"), kOld, 6, {}, {}},
        {"string open at the end", boot(item("0, CmHelpMsg, 0, \"a")), 5, 1, "", kOld, 5, {901, 902},
         {"'unexpected end of file'", "parse error"}},
        {"text after the section", alarm("") + "x", 100, 1, "", kOld, 100, {901, 902}, {"'x'", "parse error"}},
        // A message number of 2^31 or more is past the last id too, not
        // the first id less a little: refused.
        {"boot-function ids wrap", boot(item("2147483647, CmHelpMsg, 0, \"w\"")), 5, 3, "", kOld, 5, {903}, {}},
        {"boot-function ids do not wrap", boot(item("4294967295, CmHelpMsg, 0, \"w\"")), 5, 3, "", kOld, 5, {903}, {}},
        {"boot-function number 2^31", boot(item("2147483648, CmHelpMsg, 0, \"w\"")), 5, 3, "", kOld, 5, {903}, {}},
        // The text a\" "b": its backslash before a quote written doubled.
        {"escaped quotes and backslashes", boot(item("0, CmHelpMsg, 0, \"a\\\\\" \\\"b\\\"\"")), 5, 0,
         table("   0x0005   \"0 0 -1 a\\\\\"\" \"\"b\"\"\"\r\n"), kOld, 6, {}, {}},
        {"words that only begin with a keyword", alarm(item("1, CmErrorMsgs, 0, \"a\"")), 100, 1, "", kOld, 100,
         {901, 902}, {"'s'", "parse error"}},
        {"an item across lines", alarm(" MC_ERRORTEXT (\n 4 ,\r\n CmWarnMsg,\t2, 3 , \"t\"\n)\n"), 100, 0,
         table("   0x0064   \"1 2 3 t\"\r\n"), "1 4 100 ", 102, {}, {}},
        {"a comment inside an item", alarm(item("4, CmWarnMsg, 2 (* c *), 3, \"t\"")), 100, 0,
         table("   0x0064   \"1 2 3 t\"\r\n"), "1 4 100 ", 102, {}, {}},
        {"an item before the section", item("1, CmErrorMsg, 0, \"a\"") + alarm(""), 100, 1, "", kOld, 100, {902},
         {"parse error"}},
    };
    // Read whole, and in blocks that end the scanner's buffer inside the
    // tokens.
    for (const auto& t : cases) {
        for (int block : {0, 1, 2, 5}) {
            const Compiled c = compile(t.text, t.start, true, block);
            EXPECT_EQ(c.result, t.result) << t.what << " in blocks of " << block;
            EXPECT_EQ(c.script, t.script) << t.what << " in blocks of " << block;
            EXPECT_EQ(c.errmsg, t.errmsg) << t.what;
            EXPECT_EQ(c.highWater, t.highWater) << t.what;
            EXPECT_EQ(c.ids, t.ids) << t.what;
            EXPECT_EQ(c.errors, t.errors) << t.what << " in blocks of " << block;
            // Every message at line 1 but that of an id past the last (the
            // wrapping item's, on line 2).
            ASSERT_EQ(c.positions.size(), c.ids.size()) << t.what;
            for (std::size_t i = 0; i < c.ids.size(); ++i)
                EXPECT_EQ(c.positions[i], c.ids[i] == 903 ? 2u : 1u) << t.what;
        }
    }
}

TEST(ErrMsgTxtParser, AnySoupScansTheSameInBlocks)
{
    // Random runs of the pieces tokens begin and end with: the same tokens,
    // values and reports whether the buffer ends inside the tokens or not.
    const std::vector<std::string> pieces = {
        "(", ")", ",", "(*", "*)", "*", "1", "08", "0", "2147483648", "MC_ERRORTEXT", "CmErrorMsg", "Cm", "s", "_",
        "\"", "\\", " ", "\t", "\n", "\r", "\r\n", std::string(1, '\0')};
    TempFile script;
    expectSoupsReadTheSameInBlocks(50, pieces, 1500, [&script](const std::string& text, int block) {
        return tokensInBlocks<RecordingParser>(text, block, script.c_str(), [](RecordingParser&, int t) {
            std::string value;
            if (t == ERRTXT_NUMBER) value = ":" + std::to_string(MdErrMsgTxtlval.number);
            if (t == ERRTXT_STRING) {
                value = ":" + std::string(MdErrMsgTxtlval.text->c_str(), size_t(MdErrMsgTxtlval.text->length()));
                delete MdErrMsgTxtlval.text;
            }
            return value;
        });
    });
}

TEST(ErrMsgTxtParser, ALongStringIsOneValueWhereverTheBufferEnds)
{
    // A string longer than the scanner's buffer, with escaped quotes, lone
    // backslashes and line ends where the buffer may end: one value, each
    // backslash-quote pair a quote, every other byte as it stands; the line
    // feeds counted.
    TempFile script;
    for (std::size_t length : {16383u, 16384u, 16385u, 65535u, 65536u, 65537u, 200000u}) {
        std::string raw, value;
        int32_t lines = 1;
        for (std::size_t i = 0; raw.size() < length; ++i) {
            if (i % 4093 == 7) {
                raw += "\\\"";
                value += '"';
            } else if (i % 5003 == 11) {
                raw += "\\x";
                value += "\\x";
            } else if (i % 6007 == 13) {
                raw += '\n';
                value += '\n';
                ++lines;
            } else {
                raw += "aEZ "[i % 4];
                value += "aEZ "[i % 4];
            }
        }
        const std::string text = "\"" + raw + "\" )";
        for (int block : {0, 4096, 5000}) {
            const std::vector<std::string> got =
                tokensInBlocks<RecordingParser>(text, block, script.c_str(), [&](RecordingParser& p, int t) {
                    std::string v = "@" + std::to_string(p.lineno());
                    if (t == ERRTXT_STRING) {
                        v += ":" + std::string(MdErrMsgTxtlval.text->c_str(), size_t(MdErrMsgTxtlval.text->length()));
                        delete MdErrMsgTxtlval.text;
                    }
                    return v;
                });
            const std::vector<std::string> expected = {std::to_string(ERRTXT_STRING) + "@" + std::to_string(lines) +
                                                           ":" + value,
                                                       std::to_string(ERRTXT_RPAREN) + "@" + std::to_string(lines)};
            EXPECT_EQ(got, expected) << length << " bytes in blocks of " << block;
        }
    }
}

TEST(ErrMsgTxtParser, ScriptThatCannotBeOpened)
{
    const Compiled c = compile(kTestSection, 105, false);
    EXPECT_EQ(c.result, 903);
    EXPECT_EQ(c.ids, (std::vector<uint32_t>{903, 903}));
    EXPECT_EQ(c.errmsg, kOld);

    // An empty section writes no table and needs no script.
    const Compiled e = compile(alarm(""), 105, false);
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.ids, (std::vector<uint32_t>{903}));
    EXPECT_EQ(e.errmsg, "0 ");
}

TEST(ErrMsgTxtParser, ErrmsgSectionMissing)
{
    // The descriptor holds no "errmsg": nothing creates it.
    FsTODscFile dsc;
    ASSERT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    TempFile script;
    std::istringstream in(alarm(""));
    MdErrMsgTxtParser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.rcPath = script.c_str();
    p.init(args);
    EXPECT_EQ(p.parse(), 4);
}
