// The longest text a string resource holds, in every section whose texts
// go to the resource script: a resource compiler stores a string's length
// as a 16-bit word, so a text that reads back as 65 535 characters passes
// (and windres reads it back whole), one of 65 536 fails its section with
// the block's message at the text's line and leaves the script alone.
// What counts is what reads back, not the source's bytes: an escaped quote,
// a backslash pair, an escape, a line end are one character each; an error
// text's numbers in front of it count too.
#include <gtest/gtest.h>

#include <string>

#include "tests/tools/md/tavolin/rc_section_cases.h"
#include "tests/tools/md/tavolin/windres_reader.h"
#include "tools/md/tavolin/MdRcStringTable.h"

using namespace rcsections;

namespace {

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
