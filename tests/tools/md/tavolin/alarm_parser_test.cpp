// The alarm compiler: the goldens of one section worked out by hand (the
// string table in the resource script, "almcfg", "almstr"), one table of
// compiler cases (messages, results, sections left alone), and the
// resource script's failures.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "alarm_test_section.h"
#include "block_reads.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdAlarmBisonParser.tab.hpp"
#include "tools/md/tavolin/MdAlarmParser.h"

using namespace fronttest;

namespace {

const char* const kSection = kAlarmTestSection;

const char* const kAlmCfg = kAlarmTestAlmCfg;
const char kOld[] = "old content";

// Keeps the texts handed to the scanner's and the parser's error reports
// (the built-in message texts of the block 700 show no argument).
class RecordingParser : public MdAlarmParser {
public:
    void LexerError(const char* text) override
    {
        errors.push_back(std::string("'") + text + "'");
        MdAlarmParser::LexerError(text);
    }
    void yyerror(const char* text) override
    {
        errors.push_back(text);
        MdAlarmParser::yyerror(text);
    }
    std::vector<std::string> errors;
};

struct Compiled {
    int32_t result;
    int32_t next;
    std::string almcfg, almstr, script;
    std::vector<uint32_t> ids, lines;
    std::vector<std::string> texts;
    std::vector<std::string> errors;  // scanner and parser reports
};

// Compiles text at start 100 into a descriptor in memory whose "almcfg"
// and "almstr" hold old content, with a script holding "rc\r\n"; the
// scanner reads blocks of at most `block` bytes (0: as it asks).
Compiled compile(const std::string& text, bool withScript = true, const std::vector<const char*>& sections = {"almcfg", "almstr"},
                 const std::function<void(FsTODscFile&)>& prepare = nullptr, int block = 0, int32_t start = 100)
{
    MessageCapture messages;
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    for (const char* s : sections) EXPECT_TRUE(putSection(dsc, s, kOld));
    if (prepare) prepare(dsc);
    TempFile script("rc\r\n");
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
        c.next = p.nextStringId();
        c.errors = p.errors;
    }
    c.almcfg = sectionText(dsc, "almcfg");
    c.almstr = sectionText(dsc, "almstr");
    c.script = readFile(script.path());
    for (const auto& r : messages.records) {
        c.ids.push_back(r.id);
        c.lines.push_back(r.position);
        c.texts.push_back(r.text);
    }
    return c;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(AlarmParser, GoldensOfOneSection)
{
    // Read whole, and in blocks that end the scanner's buffer inside the
    // tokens.
    for (int block : {0, 1, 2, 3, 5}) {
        const Compiled c = compile(kSection, true, {"almcfg", "almstr"}, nullptr, block);
        ASSERT_EQ(c.result, 0) << "blocks of " << block;
        EXPECT_TRUE(c.ids.empty());
        EXPECT_EQ(c.script,
                  "rc\r\nSTRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0064   \"aus\"\r\n   0x0065   \"Alarm A\"\r\n"
                  "   0x0066   \"ein\"\r\nEND\r\n\r\n");
        EXPECT_EQ(c.next, 103);
        EXPECT_EQ(c.almstr, "3 0 100 1 101 2 102 ");
        EXPECT_EQ(c.almcfg, kAlmCfg) << "blocks of " << block;
    }
}

// The table's ids end at 0xFFFD: 0xFFFE is the entry method's text and a
// resource script takes no id past 16 bits. From a counter at 0, 65 534
// entries fit; with one more the section fails (707 at the line of the
// first entry past the last id, counted): no table, no section.
TEST(AlarmParser, TableIdsEndBelowTheEntryMethodsText)
{
    // n entries, entry i on line i + 2, and no alarm.
    const auto table = [](int n) {
        std::string s = "ALARM_STRING_TABLE\n";
        for (int i = 0; i < n; ++i) s += "\"t" + std::to_string(i) + "\"\n";
        return s + "END_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM\n";
    };
    const std::vector<const char*> sections = {"almcfg", "almstr"};
    Compiled c = compile(table(65534), true, sections, nullptr, 0, 0);
    EXPECT_EQ(c.result, 0);
    EXPECT_TRUE(c.ids.empty());
    EXPECT_EQ(c.next, 0xFFFE);
    EXPECT_NE(c.script.find("   0xFFFD   \"t65533\"\r\nEND\r\n"), std::string::npos);
    c = compile(table(65535), true, sections, nullptr, 0, 0);
    EXPECT_EQ(c.result, 3);
    EXPECT_EQ(c.ids, std::vector<uint32_t>{707});
    EXPECT_EQ(c.lines, std::vector<uint32_t>{65536});
    EXPECT_EQ(c.next, 0xFFFF);
    EXPECT_EQ(c.script, "rc\r\n");
    EXPECT_EQ(c.almcfg, kOld);
    EXPECT_EQ(c.almstr, kOld);
    // From a counter near the end.
    EXPECT_EQ(compile(table(1), true, sections, nullptr, 0, 0xFFFD).result, 0);
    c = compile(table(1), true, sections, nullptr, 0, 0xFFFE);
    EXPECT_EQ(c.result, 3);
    EXPECT_EQ(c.lines, std::vector<uint32_t>{2});
    EXPECT_EQ(c.script, "rc\r\n");
    // Many entries past the last id: still the one 707, and the values are
    // still checked against the entries that have a number (ordinals 0 and
    // 2001 do, 1 and 5 have none).
    std::string past = "ALARM_STRING_TABLE\n0 : \"a\"\n";
    for (int i = 0; i < 2000; ++i) past += "\"\" ";
    past += "\n1 : \"b\"\nEND_ALARM_STRING_TABLE\nBEGIN_ALARM\nVRX_ERROR(1) AlarmName 1\nBEGIN_GLOBAL\n"
            "DefaultReaction 0 PossibleReaction 2001, 5\nDefaultConfirm 0 PossibleConfirm 0\n"
            "DefaultType 0 PossibleTypes 0\nDefaultDiagBuffer 0 PossibleDiagBuffer 0\nEND_GLOBAL\n"
            "BEGIN_LOCAL REACTION TextReaction[0] 1 DefaultReaction[0] 1 PossibleReaction[0] 0 END_REACTION\n"
            "PARAM END_PARAM END_LOCAL END\nEND_ALARM\n";
    c = compile(past, true, sections, nullptr, 0, 0xFFFE);
    EXPECT_EQ(c.result, 3);
    EXPECT_EQ(c.ids, (std::vector<uint32_t>{707, 703, 703}));
    EXPECT_EQ(c.lines.at(0), 2u);
    EXPECT_EQ(c.texts, (std::vector<std::string>{"Sektion konnte nicht beschrieben werden",
                                                 "Eintrag 5 nicht in ValListe", "Eintrag 1 nicht in ValListe"}));
    EXPECT_EQ(c.next, 0xFFFE + 2002);
    EXPECT_EQ(c.script, "rc\r\n");
    // Past it the lines are still counted, in the texts and between them,
    // however the scanner's reads cut them.
    for (int block : {0, 1, 2, 3, 5, 8}) {
        c = compile("ALARM_STRING_TABLE\n\"a\"\n\"b\" \"c\n\"\r\n\n\"d\"\"\\\"\"\n]\n", true, sections, nullptr, block,
                    0xFFFE);
        EXPECT_EQ(c.result, 1) << block;
        EXPECT_EQ(c.ids, (std::vector<uint32_t>{707, 702})) << block;
        EXPECT_EQ(c.lines, (std::vector<uint32_t>{2, 7})) << block;
    }
}

TEST(AlarmParser, Cases)
{
    const std::string table = "ALARM_STRING_TABLE 0 : \"aus\" \"Alarm A\" 7 : \"ein\" END_ALARM_STRING_TABLE\n";
    const std::string alarm = std::string(kSection).substr(table.size());
    const std::string entry = "TextReaction[3] 1 DefaultReaction[3] 0 PossibleReaction[3] 0, 2";
    const struct {
        const char* name;
        std::string text;
        int32_t result;
        std::vector<uint32_t> ids;
        const char* firstText;  // text of the first message, or null
    } cases[] = {
        {"value not in the value list", replaced(kSection, "DefaultReaction 0", "DefaultReaction 1"), 3, {703},
         "Eintrag 1 nicht in ValListe"},
        {"hexadecimal of either case", replaced(kSection, "16#10", "16#1f"), 0, {}, nullptr},
        {"0x is no number", replaced(kSection, "16#10", "0x10"), 1, {701, 702}, nullptr},
        {"empty stream", "", 1, {702}, nullptr},
        {"alarm id twice", table + replaced(alarm, "END\nEND_ALARM", "END\n" + alarm.substr(12)), 3, {704},
         "Alarm 16 konnte nicht eingefügt werden"},
        {"index twice", replaced(kSection, entry, entry + " " + entry), 3, {705}, nullptr},
        {"indexes differ", replaced(kSection, "DefaultReaction[3]", "DefaultReaction[4]"), 3, {706}, nullptr},
        {"parameter indexes differ", replaced(kSection, "Default[1]", "Default[2]"), 3, {706}, nullptr},
        {"reaction block without entries", replaced(kSection, entry, ""), 1, {702}, nullptr},
        {"empty parameter block", replaced(kSection, "Text[1] 1 Default[1] 2", ""), 0, {}, nullptr},
        {"parameter with Possible", replaced(kSection, "Default[1] 2", "Default[1] 2 Possible[1] 0, 2"), 0, {},
         nullptr},
        {"number above 32 bits", replaced(kSection, "AlarmName 1", "AlarmName 4294967296"), 3, {701}, nullptr},
        {"no alarms", table + "BEGIN_ALARM END_ALARM", 0, {}, nullptr},
        {"syntax error inside the table", replaced(kSection, "\"Alarm A\"", "\"Alarm A\" :"), 1, {702}, nullptr},
        {"comment and line count", "(* c\n*)\n" + std::string(kSection), 0, {}, nullptr},
    };
    for (const auto& k : cases) {
        const Compiled c = compile(k.text);
        EXPECT_EQ(c.result, k.result) << k.name;
        EXPECT_EQ(c.ids, k.ids) << k.name;
        if (k.firstText && !c.texts.empty()) {
            EXPECT_EQ(c.texts[0], k.firstText) << k.name;
        }
        if (k.result != 0) {
            // Nothing is written after a failure of the grammar or a check.
            EXPECT_EQ(c.almcfg, kOld) << k.name;
            EXPECT_EQ(c.almstr, kOld) << k.name;
        }
    }
}

TEST(AlarmParser, WhatTheCasesStore)
{
    // The scanner reports the character between quotes, the parser its text.
    Compiled c0 = compile(replaced(kSection, "16#10", "0x10"));
    EXPECT_EQ(c0.errors, (std::vector<std::string>{"'x'", "parse error"}));
    // 16#1f is 31; a parameter without Possible has text and default only.
    Compiled c = compile(replaced(kSection, "16#10", "16#1f"));
    EXPECT_EQ(c.almcfg.substr(0, 10), "1 31 31 1\r");
    c = compile(replaced(kSection, "Default[1] 2", "Default[1] 2 Possible[1] 0"));
    EXPECT_NE(c.almcfg.find("1 1 1 \r\n1 1 2 \r\n1 1 1 0  "), std::string::npos) << c.almcfg;
    // The line of a message is the scanner's line.
    c = compile("\n\n" + replaced(kSection, "DefaultReaction 0", "DefaultReaction 1"));
    ASSERT_EQ(c.ids, std::vector<uint32_t>{703});
    // The lists of an alarm do not carry over into the next one: after an
    // alarm with longer lists the golden's alarm is stored as alone.
    const std::string longer =
        "VRX_ERROR(15) AlarmName 0 BEGIN_GLOBAL DefaultReaction 0 PossibleReaction 0, 2, 0, 2, 0\n"
        " DefaultConfirm 2 PossibleConfirm 2, 2, 2 DefaultType 0 PossibleTypes 0, 0, 0 DefaultDiagBuffer 2\n"
        " PossibleDiagBuffer 0, 2, 0 END_GLOBAL BEGIN_LOCAL REACTION TextReaction[3] 1 DefaultReaction[3] 0\n"
        " PossibleReaction[3] 0, 2, 2, 2 END_REACTION PARAM Text[1] 1 Default[1] 2 Possible[1] 0, 2, 0\n"
        " END_PARAM END_LOCAL END\n";
    c = compile(replaced(kSection, "BEGIN_ALARM ", "BEGIN_ALARM " + longer));
    ASSERT_EQ(c.result, 0);
    const std::string alone = std::string(kAlmCfg).substr(1);  // behind the count of types
    ASSERT_GT(c.almcfg.size(), alone.size());
    EXPECT_EQ(c.almcfg.substr(0, 2), "2 ");
    EXPECT_EQ(c.almcfg.substr(c.almcfg.size() - alone.size()), alone);
    EXPECT_NE(c.almcfg.find(" 15 15 0\r\n0 5 0 2 0 2 0 \r\n"), std::string::npos) << c.almcfg;
}

TEST(AlarmParser, TypesByIdAndEntriesByIndexWhateverTheSourceOrder)
{
    const std::string table = "ALARM_STRING_TABLE 0 : \"aus\" \"Alarm A\" 7 : \"ein\" END_ALARM_STRING_TABLE\n";
    const std::string golden = std::string(kSection).substr(table.size() + 12);  // behind "BEGIN_ALARM "
    const std::string alarm = golden.substr(0, golden.size() - std::string("END_ALARM\n").size());
    const auto withId = [&](const char* id) { return replaced(alarm, "VRX_ERROR(16#10)", std::string("VRX_ERROR(") + id + ")"); };
    // Ids 20, 16, 18: the types are written by ascending id, each as alone.
    Compiled c = compile(table + "BEGIN_ALARM " + withId("20") + withId("16") + withId("18") + "END_ALARM\n");
    ASSERT_EQ(c.result, 0);
    const std::size_t at16 = c.almcfg.find(" 16 16 1\r\n"), at18 = c.almcfg.find(" 18 18 1\r\n"),
                      at20 = c.almcfg.find(" 20 20 1\r\n");
    ASSERT_NE(at20, std::string::npos) << c.almcfg;
    EXPECT_EQ(c.almcfg.substr(0, 2), "3 ");
    EXPECT_LT(at16, at18);
    EXPECT_LT(at18, at20);
    // An id given twice after an id out of order, and the first id again.
    for (const char* again : {"18", "20"}) {
        c = compile(table + "BEGIN_ALARM " + withId("20") + withId("16") + withId("18") + withId(again) + "END_ALARM\n");
        EXPECT_EQ(c.result, 3) << again;
        EXPECT_EQ(c.ids, std::vector<uint32_t>{704}) << again;
    }

    // A reaction block of 40 entries by descending index: the maps go by
    // ascending index.
    std::string block, texts = "40 ", defaults = "40 ", possible = "40 ";
    for (int i = 39; i >= 0; --i) {
        const std::string n = std::to_string(i);
        block += "TextReaction[" + n + "] 1 DefaultReaction[" + n + "] 0 PossibleReaction[" + n + "] 0, 2\n";
    }
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        texts += n + " 1 ";
        defaults += n + " 0 ";
        possible += n + " 2 0 2  ";
    }
    const std::string entry = "TextReaction[3] 1 DefaultReaction[3] 0 PossibleReaction[3] 0, 2";
    c = compile(replaced(kSection, entry, block));
    ASSERT_EQ(c.result, 0);
    EXPECT_NE(c.almcfg.find(texts + "\r\n" + defaults + "\r\n" + possible + "\r\n"), std::string::npos) << c.almcfg;
    // An index given twice, early or late in a large block: 705 once.
    for (const char* twice : {"TextReaction[38] 1 DefaultReaction[38] 0 PossibleReaction[38] 0\n",
                              "TextReaction[1] 1 DefaultReaction[1] 0 PossibleReaction[1] 0\n"}) {
        c = compile(replaced(kSection, entry, block + twice));
        EXPECT_EQ(c.result, 3) << twice;
        EXPECT_EQ(c.ids, std::vector<uint32_t>{705}) << twice;
        c = compile(replaced(kSection, entry, twice + block));
        EXPECT_EQ(c.ids, std::vector<uint32_t>{705}) << twice;
    }
}

TEST(AlarmParser, ListsAndIndexesOnALineReadAsTheirTokens)
{
    // Read whole, an index and a list on one line are one token each; read
    // a byte at a time, never. Results, messages with their lines and
    // sections are the same, also where the lists and indexes stand wrong.
    const std::string entry = "TextReaction[3] 1 DefaultReaction[3] 0 PossibleReaction[3] 0, 2";
    const std::string sources[] = {
        kSection,
        replaced(kSection, "PossibleReaction 0, 2", "PossibleReaction 0 ,\t2 , 0,2"),
        replaced(kSection, "PossibleReaction 0, 2", "PossibleReaction 0,\n 2, 16#0, 4294967296"),
        replaced(kSection, "PossibleReaction 0, 2", "PossibleReaction 0, 1, 2"),  // 703 at the next line
        replaced(kSection, "Default[1] 2", "Default[1] 2, 0"),                      // no list there
        replaced(kSection, "Default[1] 2", "Default[1] 1, 0"),                      // 703, then 702
        replaced(kSection, "AlarmName 1", "AlarmName 1, 0"),
        replaced(kSection, "PossibleReaction[3] 0, 2", "PossibleReaction[3] 0, 2 2, 0"),
        replaced(kSection, "PossibleReaction[3]", "PossibleReaction [3]"),
        replaced(kSection, "PossibleReaction[3]", "PossibleReaction[4]"),           // 706
        replaced(kSection, "PossibleReaction 0, 2", "PossibleReaction[0] 0, 2"),
        replaced(kSection, "DefaultReaction[3]", "DefaultReaction[16#3]"),
        replaced(kSection, entry, entry + " " + entry),                             // 705
        replaced(kSection, "Default[1] 2", "Default[1] 2 Possible[1] 0, 2"),
    };
    for (const std::string& text : sources) {
        const Compiled whole = compile(text, true, {"almcfg", "almstr"}, nullptr, 0);
        const Compiled bytes = compile(text, true, {"almcfg", "almstr"}, nullptr, 1);
        EXPECT_EQ(whole.result, bytes.result) << text;
        EXPECT_EQ(whole.ids, bytes.ids) << text;
        EXPECT_EQ(whole.lines, bytes.lines) << text;
        EXPECT_EQ(whole.errors, bytes.errors) << text;
        EXPECT_EQ(whole.almcfg, bytes.almcfg) << text;
        EXPECT_EQ(whole.almstr, bytes.almstr) << text;
    }
    // Where a list stands wrong, what was read before it still counts.
    EXPECT_EQ(compile(sources[5]).ids, (std::vector<uint32_t>{703, 702}));
}

TEST(AlarmParser, MessageLines)
{
    // Read whole and in blocks; a long line of blanks between.
    for (int block : {0, 1, 7}) {
        MessageCapture messages;
        std::istringstream in("ALARM_STRING_TABLE\n" + std::string(3000, ' ') + "\r\n\t\r!");
        BlockReads<MdAlarmParser> p;
        p.block = block;
        MdCompilerArgs args;
        args.stream = &in;
        TempFile script;
        args.rcPath = String(script.c_str());
        p.init(args);
        EXPECT_EQ(p.parse(), 1);
        ASSERT_EQ(messages.ids(), (std::vector<uint32_t>{701, 702}));
        EXPECT_EQ(messages.records[0].position, 3u) << "blocks of " << block;
    }
}

TEST(AlarmParser, ScriptFailures)
{
    // A script that cannot be opened: 707 at init, 707 as the result, no
    // lines and no sections.
    Compiled c = compile(kSection, false);
    EXPECT_EQ(c.result, 707);
    EXPECT_EQ(c.ids, (std::vector<uint32_t>{707, 707}));
    EXPECT_EQ(c.almcfg, kOld);
    EXPECT_EQ(c.next, 100);
    // An empty table needs no script: 707 at init only, and the sections
    // are written.
    c = compile("ALARM_STRING_TABLE END_ALARM_STRING_TABLE BEGIN_ALARM END_ALARM", false);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.ids, std::vector<uint32_t>{707});
    EXPECT_EQ(c.almcfg, "0\r\n0 ");
    EXPECT_EQ(c.almstr, "0 ");
    // A syntax error inside the table leaves the script byte-identical.
    c = compile("ALARM_STRING_TABLE 0 : \"a\" 1 :");
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(c.script, "rc\r\n");
    // A quote inside a text is written doubled.
    c = compile(replaced(kSection, "\"Alarm A\"", "\"say \\\"A\\\" \\n\""));
    EXPECT_EQ(c.result, 0);
    EXPECT_NE(c.script.find("   0x0065   \"say \"\"A\"\" \\n\"\r\n"), std::string::npos) << c.script;
}

TEST(AlarmParser, StringsWhereverTheReadBufferEnds)
{
    // A string whose end stands in the scanner's buffer is taken by a search
    // for its closing quote, one that runs past the buffer by the tables:
    // both give the same texts, messages and lines. Blanks in front move the
    // strings across the end of the first read (16 KB).
    const std::string escapes = "ALARM_STRING_TABLE 0 : \"p\\\"q\" \"two\nlines\" \"\" 1 : \"e\\\"\"\n"
                                "\"\\\\\" END_ALARM_STRING_TABLE\n!";
    const std::string script = "rc\r\nSTRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0064   \"p\"\"q\"\r\n"
                               "   0x0065   \"two\\nlines\"\r\n   0x0066   \"\"\r\n   0x0067   \"e\"\"\"\r\n"
                               "   0x0068   \"\\\\\"\r\nEND\r\n\r\n";
    // A backslash-quote may end a string; with no other quote behind it
    // the string ends there.
    const std::string open = "ALARM_STRING_TABLE \"a\\\" b";
    for (std::size_t pad = 16384 - 80; pad <= 16384 + 8; ++pad) {
        const std::string blanks(pad, ' ');
        Compiled c = compile(blanks + escapes);
        EXPECT_EQ(c.script, script) << pad;
        EXPECT_EQ(c.ids, (std::vector<uint32_t>{701, 702})) << pad;
        EXPECT_EQ(c.lines, (std::vector<uint32_t>{4, 4})) << pad;
        c = compile(blanks + open);
        EXPECT_EQ(c.errors, (std::vector<std::string>{"'b'", "parse error"})) << pad;
        EXPECT_EQ(c.script, "rc\r\n") << pad;
        c = compile(blanks + "ALARM_STRING_TABLE \"ab");
        EXPECT_EQ(c.errors, (std::vector<std::string>{"'\"'", "parse error"})) << pad;
    }
}

TEST(AlarmParser, WordsThatOnlyBeginWithAKeyword)
{
    // A word is the longest keyword it begins with, the rest scanned again;
    // a word that begins with none is an invalid character.
    const struct {
        const char* from;
        const char* to;
        std::vector<std::string> errors;
    } cases[] = {
        {"END_ALARM_STRING_TABLE", "END_ALARM_STRING_TABLE_", {"'_'", "parse error"}},
        {"AlarmName 1", "AlarmNameX 1", {"'X'", "parse error"}},
        {"DefaultReaction 0", "DefaultReactio 0", {"parse error"}},
        {"ALARM_STRING_TABLE", "Foo ALARM_STRING_TABLE", {"'F'", "parse error"}},
        {"BEGIN_ALARM", "BEGIN_ALARMEND", {"parse error"}},
        {"END_PARAM", "END_PARAMS", {"'S'", "parse error"}},
    };
    for (const auto& k : cases) {
        for (int block : {0, 1, 3}) {
            const Compiled c = compile(replaced(kSection, k.from, k.to), true, {"almcfg", "almstr"}, nullptr, block);
            EXPECT_EQ(c.errors, k.errors) << k.to << " in blocks of " << block;
            EXPECT_NE(c.result, 0) << k.to;
        }
    }
}

TEST(AlarmParser, AnySoupScansTheSameInBlocks)
{
    // Random runs of the pieces tokens begin and end with: the same tokens,
    // values, lines and reports whether the buffer ends inside the tokens or
    // not. An index or a list read as one token counts as the tokens it
    // stands for.
    const std::vector<std::string> pieces = {
        "(", ")", "[", "]", ",", ":", "(*", "*)", "*", "1", "42", "16#", "fF", "#", "4294967296", "END", "_ALARM",
        "Text", "Default", "Reaction", "x", "\"", "\\", " ", "\t", "\n", "\r", "\r\n", std::string(1, '\0'),
        "Possible", "PossibleTypes ", ", ", "7, 8"};
    TempFile script;
    bool sawIndex = false, sawList = false;
    const auto expanded = [&](const std::vector<std::string>& tokens) {
        std::vector<std::string> out;
        for (const std::string& t : tokens) {
            const bool index = t.compare(0, 4, "294@") == 0, list = t.compare(0, 4, "295@") == 0;
            sawIndex = sawIndex || index;
            sawList = sawList || list;
            const std::size_t colon = t.find(':');
            const std::string at = index || list ? t.substr(3, colon - 3) : "";  // "@line"
            if (index) {
                out.insert(out.end(), {"287" + at, "291" + at + t.substr(colon), "288" + at});
            } else if (list) {
                std::istringstream values(t.substr(colon + 1));
                std::string v;
                for (int i = 0; std::getline(values, v, ','); ++i) {
                    if (i > 0) out.push_back("289" + at);
                    out.push_back("291" + at + ":" + v);
                }
            } else {
                out.push_back(t);
            }
        }
        return out;
    };
    expectSoupsReadTheSameInBlocks(49, pieces, 1500, [&](const std::string& text, int block) {
        return expanded(tokensInBlocks<RecordingParser>(text, block, script.c_str(), [](RecordingParser& p, int t) {
            std::string value = "@" + std::to_string(p.lineno());
            if (t == ALARM_NUMBER || t == ALARM_INDEX) value += ":" + std::to_string(MdAlarmlval.number);
            if (t == ALARM_STRING) value += ":" + std::to_string(MdAlarmlval.text.length);
            if (t == ALARM_LIST) {
                const std::vector<int32_t>& numbers = mdAlarmTextStore().numbers;
                for (std::size_t i = 0; i < MdAlarmlval.numbers.count; ++i)
                    value += (i == 0 ? ":" : ",") + std::to_string(uint32_t(numbers[MdAlarmlval.numbers.begin + i]));
            }
            return value;
        }));
    });
    EXPECT_TRUE(sawIndex);
    EXPECT_TRUE(sawList);
}

// A section that fails its write and then its close: the failed write
// (3) is the verdict, not the close (5).
class UnclosableSection : public FsSecCl {
public:
    uint32_t write() override { return 1; }
};

TEST(AlarmParser, SectionsTheDescriptorDoesNotHold)
{
    Compiled c = compile(kSection, true, {"almstr"});
    EXPECT_EQ(c.result, 5);
    EXPECT_EQ(c.almcfg, "<missing>");
    c = compile(kSection, true, {"almcfg"});
    EXPECT_EQ(c.result, 5);
    EXPECT_EQ(c.almcfg, kAlmCfg);
    EXPECT_EQ(c.almstr, "<missing>");

    for (const char* name : {"almcfg", "almstr"}) {
        c = compile(kSection, true, {"almcfg", "almstr"}, [&](FsTODscFile& dsc) {
            FsSecCl* s = nullptr;
            ASSERT_EQ(dsc.FsSectMan::openSect(name, &s, FS_MODE_WRITE, [] { return new UnclosableSection; }), 0u);
            s->setError(FSSEC_STREAM_CALL);
        });
        EXPECT_EQ(c.result, 3) << name;
    }
}

}  // namespace
