// How the messages quote what the user wrote: a name, an operand path or a
// file path stands whole up to 1024 bytes, so that the message names what
// it means; only a longer token (a number or a line of megabytes) is cut to
// its first 40 bytes, an ellipsis and its length, so that its message stays
// short. One table over the kinds of message, through the real compilers and
// the message handler over the built-in table.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bf_compile_support.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdAcxHandlers.h"
#include "tools/md/tavolin/MdAlarmParser.h"
#include "tools/md/tavolin/MdConnectionParser.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdImplParser.h"
#include "tools/md/tavolin/MdSectionParser.h"
#include "tools/md/tavolin/MdSuppTOParser.h"
#include "tools/md/tavolin/MdVarCommentParser.h"
#include "tools/md/tavolin/MdVarExtParser.h"

using namespace fronttest;

namespace {

// The messages of a run as "id text", in order.
using Said = std::vector<std::string>;

Said saidBy(const MessageCapture& capture)
{
    Said said;
    for (const auto& r : capture.records) said.push_back(std::to_string(r.id) + " " + r.text);
    return said;
}

// The variables section compiled alone (no system-variable table).
Said variables(const std::string& text)
{
    MessageCapture capture;
    MdVarExtParser p;
    compileText(p, text, nullptr);
    return saidBy(capture);
}

// A source split alone (no working file).
Said split(const std::string& text)
{
    MessageCapture capture;
    std::istringstream in(text);
    MdSectionParser parser;
    parser.openTempSections(&in, nullptr, 0);
    parser.run();
    return saidBy(capture);
}

// The boot-function section compiled with the stand-in classifier.
Said bootFunctions(const std::string& text)
{
    const bftest::BfCompile c = bftest::compileBf(text, false, 0, {}, "Cont", 0, {"bfinterf", "bfsymb", "boot"},
                                                  false, cmBuiltinMsgTable());
    Said said;
    for (const std::string& m : c.messages) said.push_back(m.substr(0, m.find('@')) + m.substr(m.find(' ')));
    return said;
}

// A boot-function type named outer with the given VAR and DEPENDENCIES lines.
std::string bootType(const std::string& vars, const std::string& dependencies)
{
    return "BOOT_FUNCTIONDECL\nBEGIN_BF outer (CS := 1)\nVAR\n" + vars + "END_VAR\nSUB_FUNCTIONS\nEND_SUBFUNCTIONS\n" +
           "DEPENDENCIES\n" + dependencies + "END_DEPENDENCIES\nEND_BF\nEND_BOOT_FUNCTIONDECL\n"
           "BOOT_FUNCTIONS\nEND_BOOT_FUNCTIONS\n";
}

// An ACX file read from path, which does not exist.
Said acxRead(const std::string& path)
{
    MessageCapture capture;
    CMDAcxContentHandler content;
    mdReadAcxFile(path.c_str(), content);
    return saidBy(capture);
}

// A path of `size` bytes below a directory that does not exist.
std::string missingPath(std::size_t size)
{
    std::string path = "/nonexistent";
    while (path.size() < size) path += "/" + std::string(std::min<std::size_t>(200, size - path.size() - 1), 'd');
    return path;
}

// The text of a message that quotes a token: quoted whole up to 1024 bytes,
// else its first 40 bytes, the ellipsis and its length (the quotes not
// counted).
std::string quoted(const std::string& token)
{
    if (token.size() <= 1024) return "'" + token + "'";
    return "'" + token.substr(0, 40) + "\u2026' (" + std::to_string(token.size()) + " Bytes)";
}

// unit, n times.
std::string repeated(const std::string& unit, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += unit;
    return s;
}

TEST(MessageQuoting, NamesAndPathsStandWholeLongTokensAreCut)
{
    const std::string n70(70, 'v'), n1024(1024, 'w'), name1022(1022, 'q');
    const std::string path1024 = missingPath(1024), path1500 = missingPath(1500);
    const std::string digits1025(1025, '7'), digits3M(3 << 20, '9');
    const std::string digits1023(1023, '8'), digits1024(1024, '6');
    const std::string header = "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, ";
    ASSERT_EQ(path1024.size(), 1024u);
    // The rest of a run of stray bytes past its first hundred (one message
    // each) is one message quoting the rest.
    const std::string strayTop = "201 Scanner Fehler, unerwartetes Zeichen ";
    const std::string strayVar = "401 Scanner Fehler, unerwartetes Zeichen ";
    const struct {
        const char* what;
        Said said;
        std::string expected;  // the message of the case's id: "id text"
        std::size_t skip = 0;  // messages of the id before it
    } cases[] = {
        {"a configuration named twice, 70 bytes",
         variables("CONFIGS 1 \"" + n70 + "\" 1 \"" + n70 + "\" END_CONFIGS"),
         "410 Eintrag(1, " + n70 + ") ist schon vorhanden"},
        {"a configuration named twice, 1024 bytes",
         variables("CONFIGS 1 \"" + n1024 + "\" 1 \"" + n1024 + "\" END_CONFIGS"),
         "410 Eintrag(1, " + n1024 + ") ist schon vorhanden"},
        {"a boot-function variable declared twice, 70 bytes",
         bootFunctions(bootType(n70 + " : INT;\n" + n70 + " : INT;\n", "")), "505 doppelte Definition von " + n70},
        {"a boot-function variable declared twice, 1024 bytes",
         bootFunctions(bootType(n1024 + " : INT;\n" + n1024 + " : INT;\n", "")),
         "505 doppelte Definition von " + n1024},
        {"an operand path of 1024 bytes modified twice",
         bootFunctions(bootType("level : INT;\n", "MODIFY (" + name1022 + ".r) BEGIN_ACT END_ACT\n"
                                                  "MODIFY (" + name1022 + ".r) BEGIN_ACT END_ACT\n")),
         "513 " + name1022 + ".r ist kein Element von " + name1022},
        {"an ACX file path of 1024 bytes", acxRead(path1024), "100 File " + path1024 + " konnte nicht geöffnet werden"},
        {"an ACX file path of 1500 bytes", acxRead(path1500),
         "100 File " + path1500.substr(0, 40) + "\u2026 (1500 Bytes) konnte nicht geöffnet werden"},
        {"an ACX file path in UTF-8, shown as its bytes", acxRead("/nonexistent/Grüße.acx"),
         "100 File /nonexistent/Grüße.acx konnte nicht geöffnet werden"},
        // A number out of range is said to be one (408), with its digits.
        {"a number of 1025 bytes", variables("VALUES " + digits1025),
         "408 Wert " + digits1025.substr(0, 40) + "\u2026 (1025 Bytes) ist zu groß"},
        {"a number of 3 MB", variables("VALUES " + digits3M),
         "408 Wert " + digits3M.substr(0, 40) + "\u2026 (3145728 Bytes) ist zu groß"},
        {"a number of 1023 bytes", variables("VALUES " + digits1023), "408 Wert " + digits1023 + " ist zu groß"},
        {"a number of 1024 bytes", variables("VALUES " + digits1024), "408 Wert " + digits1024 + " ist zu groß"},
        {"a header number of 1024 bytes", split(header + digits1024 + ".1; DATE := DT#1; END_TO_HEADER"),
         strayTop + quoted(digits1024)},
        {"a header number of 1025 bytes", split(header + digits1025 + ".1; DATE := DT#1; END_TO_HEADER"),
         strayTop + quoted(digits1025)},
        {"stray bytes, 1022 past the hundred", split(std::string(1122, 'a')), strayTop + quoted(std::string(1022, 'a')), 100},
        {"stray bytes, 1023 past the hundred", split(std::string(1123, 'a')), strayTop + quoted(std::string(1023, 'a')), 100},
        {"stray bytes, 1024 past the hundred", split(std::string(1124, 'a')), strayTop + quoted(std::string(1024, 'a')), 100},
        {"stray bytes, 1025 past the hundred", split(std::string(1125, 'a')), strayTop + quoted(std::string(1025, 'a')), 100},
        {"stray bytes between blanks, 1024 past the hundred", split(repeated("? \n", 1124)),
         strayTop + quoted(std::string(1024, '?')), 100},
        {"stray bytes between blanks, 1025 past the hundred", split(repeated("? \n", 1125)),
         strayTop + quoted(std::string(1025, '?')), 100},
        {"stray bytes in a section, 1022 past the hundred", variables("VALUES " + std::string(1122, '?')),
         strayVar + quoted(std::string(1022, '?')), 100},
        {"stray bytes in a section, 1023 past the hundred", variables("VALUES " + std::string(1123, '?')),
         strayVar + quoted(std::string(1023, '?')), 100},
        {"stray bytes in a section, 1024 past the hundred", variables("VALUES " + std::string(1124, '?')),
         strayVar + quoted(std::string(1024, '?')), 100},
        {"stray bytes in a section, 1025 past the hundred", variables("VALUES " + std::string(1125, '?')),
         strayVar + quoted(std::string(1025, '?')), 100},
        {"stray bytes between blanks in a section, 1024 past the hundred",
         variables("VALUES " + repeated("?\t\r\n", 1124)), strayVar + quoted(std::string(1024, '?')), 100},
    };
    for (const auto& c : cases) {
        const std::string id = c.expected.substr(0, c.expected.find(' ') + 1);
        std::string found;
        std::size_t skip = c.skip;
        for (const std::string& s : c.said)
            if (s.compare(0, id.size(), id) == 0 && skip-- == 0) {
                found = s;
                break;
            }
        EXPECT_EQ(found, c.expected) << c.what;
        for (const std::string& s : c.said) EXPECT_LT(s.size(), 2200u) << c.what;
    }
}

// The messages of every compiler with their arguments as "id@line arg",
// "id@line arg|arg" or "id@line" (the built-in texts of the scanner
// messages of most blocks have no place for the character they are given).
CmMsgTable* argumentTable()
{
    static std::vector<CmMsgTableEntry> entries;
    if (entries.empty()) {
        entries.push_back({0, 2, 0, u""});
        for (uint32_t block = 200; block <= 1000; block += 100)
            for (uint32_t id = block; id < block + 20; ++id) entries.push_back({id, 2, 0, u"%s"});
        for (CmMsgTableEntry& e : entries)
            if (e.id == 518 || e.id == 1005 || e.id == 513) e.text = u"%s|%s";
    }
    static CmMemoryMsgTable table(entries.data(), entries.size());
    return &table;
}

Said argumentsOf(const MessageCapture& capture)
{
    Said said;
    for (const auto& r : capture.records)
        said.push_back(std::to_string(r.id) + "@" + std::to_string(r.position) + (r.text.empty() ? "" : " " + r.text));
    return said;
}

template <class Compiler>
Said compiled(const std::string& text)
{
    MessageCapture capture(argumentTable());
    Compiler p;
    compileText(p, text, nullptr);
    return argumentsOf(capture);
}

// A source split alone, its messages with their arguments.
Said splitArgs(const std::string& text)
{
    MessageCapture capture(argumentTable());
    std::istringstream in(text);
    MdSectionParser parser;
    parser.openTempSections(&in, nullptr, 0);
    parser.run();
    return argumentsOf(capture);
}

// The implementation section into macro files that hold "old": the
// messages, and whether the files still hold only that.
Said implementation(const std::string& text, bool& untouched)
{
    MessageCapture capture(argumentTable());
    const TempFile base;
    const std::string h = base.path() + ".m4h", c = base.path() + ".m4c";
    std::ofstream(h) << "old";
    std::ofstream(c) << "old";
    std::istringstream in(text);
    MdCompilerArgs args;
    args.stream = &in;
    args.outputBase = String(base.c_str());
    MdImplParser p;
    p.init(args);
    p.parse();
    untouched = readFile(h) == "old" && readFile(c) == "old";
    ::unlink(h.c_str());
    ::unlink(c.c_str());
    return argumentsOf(capture);
}

// A NUL byte of a source is named \0 by every message that quotes a
// character, in every section kind, and one in a code text that goes to a
// macro file fails its compile with a message at its line, naming the
// block, so that no macro file holds it.
TEST(MessageQuoting, ANulByteIsNamedWhereverItStands)
{
    const std::string nul(1, '\0');
    const std::string named = "'\\0'";
    bool untouched = false;
    const Said implText = implementation("BEGIN_IO_DATA\nBEGIN_ACT\n a\n b" + nul + nul + "c\nEND_ACT\nEND_IO_DATA", untouched);
    const bool implKept = untouched;
    const Said implStray = implementation("BEGIN_IO_DATA\n" + nul + "\nEND_IO_DATA", untouched);
    const bftest::BfCompile bfString = bftest::compileBf(
        bootType("s : STRING := \"a" + nul + "\";\n", ""), false, 0, {}, "Cont", 0, {"bfinterf", "bfsymb", "boot"},
        false, argumentTable());
    const bftest::BfCompile bfCode = bftest::compileBf(
        bootType("level : INT;\n", "DEFAULT BEGIN_ACT\n x" + nul + "\nEND_ACT\n"), false, 0, {}, "Cont", 0,
        {"bfinterf", "bfsymb", "boot"}, false, argumentTable());
    const struct {
        const char* where;
        Said said;
        std::string expected;
    } cases[] = {
        {"the top level", splitArgs(nul + "\nTO_HEADER"), "201@1 " + named},
        {"a header text", splitArgs("TO_HEADER\nTOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0;\n"
                                "COMMENT := \"a" + nul + "\";\nEND_TO_HEADER\n"),
         "201@3 " + named},
        {"the variables", compiled<MdVarExtParser>("VALUES\n" + nul + "\nEND_VALUES"), "401@2 " + named},
        {"a configuration text", compiled<MdVarExtParser>("CONFIGS\n1 \"a" + nul + "\"\nEND_CONFIGS"),
         "401@2 " + named},
        {"a comment text", compiled<MdVarCommentParser>("VARCOMMENT\n$1[16#1] : \"a" + nul + "\"\nEND_VARCOMMENT"),
         "301@2 " + named},
        {"the connections", compiled<MdConnectionParser>("INTERFACE\n" + nul + "\nEND_INTERFACE"), "601@2 " + named},
        {"an alarm string",
         compiled<MdAlarmParser>("ALARM_STRING_TABLE\n\"a" + nul + "\"\nEND_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM"),
         "701@2 " + named},
        {"an error text",
         compiled<MdErrMsgTxtParser>("BEGIN_BF_ERRORTEXT\nMC_ERRORTEXT(1, CmErrorMsg, 5, \"a" + nul +
                                     "\")\nEND_BF_ERRORTEXT\n"),
         "901@1 " + named},
        {"the supported types", compiled<MdSuppTOParser>("SUPPORTED_TO_TYPES\n" + nul + "\nEND_SUPPORTED_TO_TYPES"),
         "801@2 " + named},
        {"a boot-function string", bfString.messages, "501@4 " + named},
        {"a boot-function code block", bfCode.messages, "518@10 " + named + "|DEFAULT"},
        {"the I/O text", implText, "1005@4 " + named + "|BEGIN_IO_DATA"},
        {"the I/O data", implStray, "1001@2 " + named},
    };
    for (const auto& c : cases) {
        const std::string id = c.expected.substr(0, c.expected.find('@') + 1);
        std::size_t found = 0;
        for (const std::string& m : c.said) {
            if (m.compare(0, id.size(), id) != 0) continue;
            ++found;
            EXPECT_EQ(m, c.expected) << c.where;
        }
        EXPECT_EQ(found, 1u) << c.where;
        for (const std::string& m : c.said) EXPECT_EQ(m.find('\0'), std::string::npos) << c.where;
    }
    EXPECT_TRUE(implKept);
    EXPECT_EQ(bfCode.result, 3);
    EXPECT_EQ(bfCode.m4c, "<missing>");
}

}  // namespace
