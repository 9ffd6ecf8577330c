// The longest text a string resource holds, in every section whose texts
// go to the resource script: a resource compiler stores a string's length
// as a 16-bit word, so a text that reads back as 65 535 characters passes
// (and windres reads it back whole), one of 65 536 fails its section with
// the block's message at the text's line and leaves the script alone.
// What counts is what reads back, not the source's bytes: an escaped quote,
// a backslash pair, an escape, a line end are one character each; an error
// text's numbers in front of it count too.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "co/GlobTools.h"
#include "test_split_driver_support.h"
#include "tests/tools/md/tavolin/windres_reader.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdSectionCompiler.h"
#include "tools/mksymb/SysVarTable.h"

using namespace fronttest;

namespace {

// A section around one text: the source before its opening quote and from
// its closing quote on, the block's message for a text too long, the
// text's resource id (from a first id of 0), what the string resource holds
// in front of the text, and the texts the whole table holds.
struct SectionCase {
    const char* name;
    int kind;
    const char* before;
    const char* after;
    uint32_t tooLong;
    uint32_t textId;
    const char16_t* prefix;
    std::size_t strings;
};

const SectionCase kSections[] = {
    {"VARCOMMENT", MdCompVarComment, "VARCOMMENT\n$1 [16#1] : \"z\"\n$2 [16#1] : \"", "\" END_VARCOMMENT\n", 305, 1,
     u"", 2},
    {"BFDCOMMENT", MdCompVarComment, "BFDCOMMENT\n$1 : \"z\"\n$Axis.Pos : \"", "\" END_BFDCOMMENT\n", 305, 1, u"", 2},
    {"CONFIGS", MdCompVarExt, "CONFIGS\n1 \"z\"\n2 \"", "\" END_CONFIGS\n", 418, 1, u"", 2},
    {"GROUP", MdCompVarExt, "CONFIGS\n1 \"z\"\nGROUP(16#10) : \"", "\" 1 \"y\" END_GROUP END_CONFIGS\n", 418, 1, u"",
     3},
    {"BITFIELDTYPES", MdCompVarExt, "BITFIELDTYPES\n1 \"z\" \"", "\" END_BITFIELDTYPES BITFIELDS END_BITFIELDS\n", 418,
     1, u"", 2},
    {"BITFIELDS", MdCompVarExt, "BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES\nBITFIELDS\n$13 [16#1] 0 1 \"",
     "\" END_BITFIELDS\n", 418, 2, u"", 3},
    {"ALARM_STRING_TABLE", MdCompAlarm, "ALARM_STRING_TABLE\n0 : \"z\"\n\"",
     "\" END_ALARM_STRING_TABLE\nBEGIN_ALARM END_ALARM\n", 708, 1, u"", 2},
    {"VRX_ERROR_TEXT", MdCompErrMsgTxt,
     "BEGIN_ALARM_VRX_ERROR_TEXT\n MC_ERRORTEXT(1, CmHelpMsg, 0, \"z\")\n MC_ERRORTEXT(2, CmErrorMsg, 5, \"",
     "\")\nEND_ALARM_VRX_ERROR_TEXT\n", 904, 2, u"2 5 -1 ", 2},
    {"MC_ERRORTEXT", MdCompErrMsgTxt, "BEGIN_BF_ERRORTEXT\n MC_ERRORTEXT(3, CmWarnMsg, 1, 7, \"",
     "\")\nEND_BF_ERRORTEXT\n", 904, 3, u"1 1 7 ", 1},
};

// A text as the source writes it and as it reads back, built from a unit
// repeated and filled up with "a".
struct TextKind {
    const char* name;
    std::string unit;     // in the source, between the quotes
    std::u16string read;  // what the unit reads back as
    int lineEnds;         // line ends of the unit
};

const TextKind kTexts[] = {
    {"plain", "a", u"a", 0},
    // longer in the source than read back
    {"escaped quotes", "\\\"", u"\"", 0},
    {"backslash pairs", "\\\\", u"\\", 0},
    {"escapes", "\\t\\x41\\101", u"\tAA", 0},
    {"CR LF", "b\r\n", u"b\n", 1},
    {"LF", "\n", u"\n", 1},
    // as long: a backslash that escapes nothing, one before an x without digits
    {"lone backslashes", "\\q\\xg", u"\\q\\xg", 0},
    // code page 1252 bytes: one character each
    {"1252", "\xE4\x80", u"\u00E4\u20AC", 0},
};

// The text of kind that, after prefix, reads back as `chars` characters;
// it ends with an "a" (a backslash there would escape the closing quote).
struct Built {
    std::string source;
    std::u16string read;
    int lineEnds = 0;
};

Built build(const TextKind& kind, std::size_t prefix, std::size_t chars)
{
    Built b;
    b.read.reserve(chars);
    while (prefix + b.read.size() + kind.read.size() < chars) {
        b.source += kind.unit;
        b.read += kind.read;
        b.lineEnds += kind.lineEnds;
    }
    const std::size_t fill = chars - prefix - b.read.size();
    b.source.append(fill, 'a');
    b.read.append(fill, u'a');
    return b;
}

int linesIn(const std::string& s)
{
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

std::string symb()
{
    std::istringstream in("13 d WORD\n");
    SysVarTable t;
    std::string error;
    EXPECT_TRUE(t.addList(in, error)) << error;
    std::stringstream text;
    EXPECT_TRUE(t.save(text));
    return text.str();
}

// What the script held before: a table of its own, in another block.
const char kOldScript[] = "STRINGTABLE\r\nBEGIN\r\n   100   \"old\"\r\nEND\r\n";

struct Compiled {
    bool failed = false;  // the step fails: a result or counted errors
    std::vector<MessageCapture::Record> messages;
    std::string script;   // appended after kOldScript
};

// Compiles one section of kind from string id 0 as the front end does,
// into a descriptor in memory holding every section a compiler writes,
// with the script at rcPath holding kOldScript.
Compiled compile(int kind, const std::string& source, const std::string& rcPath)
{
    MessageCapture messages;
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    for (const char* s : {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const", "almcfg", "almstr",
                          "errmsg", "varcomment"})
        EXPECT_TRUE(putSection(dsc, s, ""));
    EXPECT_TRUE(putSection(dsc, "symb", symb()));
    {
        std::ofstream rc(rcPath, std::ios::binary | std::ios::trunc);
        rc << kOldScript;
    }
    FsSecCl* section = nullptr;
    EXPECT_EQ(dsc.openSect("varcomment", &section, FS_MODE_WRITE), FS_OK);
    Compiled c;
    {
        std::unique_ptr<MdSectionCompiler> compiler(mdCreateCompiler(kind));
        EXPECT_TRUE(compiler);
        if (!compiler) return c;
        std::istringstream in(source);
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.section = section;
        args.rcPath = String(rcPath.c_str());
        compiler->init(args);
        int32_t result = compiler->parse();
        if (result == 0 && compiler->errorCount() != 0) result = 3;
        if (result == 0) result = compiler->writeStringTable();
        c.failed = result != 0;
    }
    dsc.CloseSect("varcomment");
    c.messages = messages.records;
    const std::string all = readFile(rcPath);
    EXPECT_EQ(all.compare(0, sizeof kOldScript - 1, kOldScript), 0);
    c.script = all.substr(sizeof kOldScript - 1);
    return c;
}

struct ScratchDir {
    const std::string path = createTempDirectory().c_str();
    ~ScratchDir() { removeDirectoryTree(path.c_str()); }
};

TEST(RcTextLength, EverySectionTakes65535CharactersAndRefusesMore)
{
    RCTEST_NEEDS_WINDRES();
    const ScratchDir scratch;
    const std::string rc = scratch.path + "/t.rc";
    for (const SectionCase& s : kSections) {
        const std::u16string prefix = s.prefix;
        const int line = linesIn(s.before) + 1;
        for (const TextKind& k : kTexts) {
            SCOPED_TRACE(std::string(s.name) + ", " + k.name);
            // The longest: compiled and read back whole, the other texts of
            // its block intact.
            const Built fits = build(k, prefix.size(), 65535);
            Compiled c = compile(s.kind, s.before + fits.source + s.after, rc);
            EXPECT_FALSE(c.failed);
            EXPECT_TRUE(c.messages.empty()) << (c.messages.empty() ? "" : c.messages.front().text);
            const rctest::RcReadBack r = rctest::readBackScript(rc, scratch.path + "/t");
            EXPECT_EQ(r.exit, 0) << r.messages;
            EXPECT_TRUE(r.resRead);
            EXPECT_EQ(r.text(s.textId).size(), 65535u);
            EXPECT_TRUE(r.text(s.textId) == prefix + fits.read);
            EXPECT_TRUE(r.text(100) == u"old");
            EXPECT_EQ(r.strings.size(), s.strings + 1);
            // One more: refused at the line the text ends on, the script
            // left as it was.
            const Built over = build(k, prefix.size(), 65536);
            c = compile(s.kind, s.before + over.source + s.after, rc);
            EXPECT_TRUE(c.failed);
            EXPECT_EQ(c.messages.size(), 1u);
            if (c.messages.empty()) continue;
            EXPECT_EQ(c.messages[0].id, s.tooLong);
            EXPECT_EQ(c.messages[0].position, uint32_t(line + over.lineEnds));
            EXPECT_EQ(c.messages[0].text, "Text ist zu lang: 65536 Zeichen, h\xC3\xB6" "chstens 65535");
            EXPECT_EQ(c.script, "");
        }
    }
}

}  // namespace
