// Texts holding a byte that code page 1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D), in every section whose texts go to the resource script,
// raw and in every escape a resource compiler reads as that byte: the
// section compiles, its texts are written as the source has them, and one
// warning of the block names the byte at the text's line. windres, which
// converts by the code page's definition, then reads the text back cut
// before the byte (or drops it): that is what a user of the script sees.
// Bytes the code page defines beside them give no warning and read back
// whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/tools/md/tavolin/rc_section_cases.h"
#include "tests/tools/md/tavolin/windres_reader.h"
#include "tools/md/tavolin/MdRcStringTable.h"

using namespace rcsections;

namespace {

// A byte and the character code page 1252 gives it; 0 for the undefined.
struct Byte {
    unsigned char value;
    char16_t meant;
};

const Byte kBytes[] = {
    {0x81, 0}, {0x8D, 0}, {0x8F, 0}, {0x90, 0}, {0x9D, 0},
    // defined neighbours: the euro sign, Ž, ž
    {0x80, u'\u20AC'}, {0x8E, u'\u017D'}, {0x9E, u'\u017E'},
};

// How a text holds the byte, and what it reads back as in front of it.
struct Form {
    const char* name;
    std::string (*make)(unsigned char b);
    const char16_t* readBefore;
};

std::string printed(const char* format, unsigned value)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

const Form kForms[] = {
    {"raw", [](unsigned char b) { return std::string(1, char(b)); }, u""},
    // a source saved as UTF-8: Á, Í, Ï, Ð, Ý are C3 and the byte (Ã, then it)
    {"in a UTF-8 letter", [](unsigned char b) { return std::string("\xC3") + char(b); }, u"\u00C3"},
    {"\\xHH", [](unsigned char b) { return printed("\\x%02X", b); }, u""},
    {"\\xhh", [](unsigned char b) { return printed("\\x%02x", b); }, u""},
    {"\\Xhh", [](unsigned char b) { return printed("\\X%02x", b); }, u""},
    {"\\ooo", [](unsigned char b) { return printed("\\%03o", b); }, u""},
    // three octal digits reach 0777: a resource compiler keeps the low byte
    {"\\ooo past 0377", [](unsigned char b) { return printed("\\%03o", b + 0400u); }, u""},
};

const char kWarning[] =
    "Byte 0x%02X ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text verwerfen oder k\xC3\xBCrzen";

std::string narrow(const std::u16string& ascii) { return std::string(ascii.begin(), ascii.end()); }

class RcUndefinedByte : public ::testing::TestWithParam<SectionCase> {};

TEST_P(RcUndefinedByte, IsWarnedAtItsLineAndKeptAsWritten)
{
    RCTEST_NEEDS_WINDRES();
    const SectionCase& s = GetParam();
    const ScratchDir scratch;
    const std::string rc = scratch.path + "/t.rc";
    const std::u16string prefix = s.prefix;
    for (const Byte& b : kBytes) {
        for (const Form& f : kForms) {
            SCOPED_TRACE(printed("byte 0x%02X, ", b.value) + f.name);
            const std::string text = "Ab" + f.make(b.value) + "cd";
            // The text on a line of its own after a line end, or not.
            for (const std::string lead : {"", "\r\n"}) {
                const int line = linesIn(s.before) + 1 + (lead.empty() ? 0 : 1);
                const Compiled c = compile(s.kind, s.before + lead + text + s.after, rc);
                EXPECT_FALSE(c.failed);
                // Written as it stands (a line end as \n).
                const std::string written =
                    mdRcIdText(int32_t(s.textId)) + "   \"" + narrow(prefix) + (lead.empty() ? "" : "\\n") + text +
                    "\"\r\n";
                EXPECT_NE(c.script.find(written), std::string::npos) << c.script;
                if (b.meant != 0) {
                    EXPECT_TRUE(c.messages.empty()) << c.messages.front().text;
                } else {
                    ASSERT_EQ(c.messages.size(), 1u);
                    EXPECT_EQ(c.messages[0].id, s.undefinedByte);
                    EXPECT_EQ(c.messages[0].position, uint32_t(line));
                    EXPECT_EQ(c.messages[0].text, printed(kWarning, b.value));
                }
                if (!lead.empty()) continue;
                // What windres makes of it; the other texts read back whole.
                const rctest::RcReadBack r = rctest::readBackScript(rc, scratch.path + "/t");
                EXPECT_EQ(r.exit, 0) << r.messages;
                ASSERT_TRUE(r.resRead);
                EXPECT_TRUE(r.text(100) == u"old");
                const std::u16string before = prefix + u"Ab" + f.readBefore;
                const std::u16string got = r.text(s.textId);
                if (b.meant != 0) {
                    EXPECT_TRUE(got == before + b.meant + u"cd");
                    EXPECT_EQ(r.strings.size(), s.strings + 1);
                } else {
                    // Cut before the byte, or dropped.
                    EXPECT_LT(got.size(), before.size() + 1);
                    EXPECT_EQ(before.compare(0, got.size(), got), 0);
                    EXPECT_EQ(r.strings.size(), s.strings + (got.empty() ? 0 : 1));
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EverySection, RcUndefinedByte, ::testing::ValuesIn(kSections),
                         [](const ::testing::TestParamInfo<SectionCase>& i) { return std::string(i.param.name); });

}  // namespace
