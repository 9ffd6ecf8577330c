// The connection compiler: the bytes of "connectors" for a section worked
// out by hand, and what stops the compile (each leaving the section as it
// was).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdConnectionParser.h"

using namespace fronttest;

namespace {

const char kOld[] = "old content, longer than an empty list";

struct Compiled {
    int32_t result;
    std::string section;  // "connectors" afterwards
};

// Compiles a section body into a type descriptor in memory whose
// "connectors" holds old content.
Compiled compile(const std::string& text)
{
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    EXPECT_TRUE(putSection(dsc, "connectors", kOld));
    MdConnectionParser p;
    Compiled c;
    c.result = compileText(p, text, &dsc);
    c.section = sectionText(dsc, "connectors");
    return c;
}

const std::string kTwo =
    "INTERFACE (* two connectors *)\n"
    " CONNECTION Drive (3) : {6B29FC40-CA47-1067-B31D-00DD010662DA} DIRECTION := INOUT; VERSION := 2.10;\n"
    "  REMOTE := YES; MULTIPOINT := NO; MUST_BE_CONNECTED := NO; EXCLUSIVE_GROUP := 7; END_CONNECTION\n"
    " CONNECTION in (65537) : {6b29fc40-ca47-1067-b31d-00dd010662db} DIRECTION := IN; VERSION := 1.0;\n"
    "  REMOTE := NO; MULTIPOINT := YES; MUST_BE_CONNECTED := YES; GEO_ADDRESS := 1.2.3; END_CONNECTION\n"
    "END_INTERFACE\n";

const std::string kDrive =
    "INTERFACE\r\n CONNECTION Drive (3) : {6B29FC40-CA47-1067-B31D-00DD010662DA}\r\n"
    "  DIRECTION := IN; VERSION := 1.0; REMOTE := NO; MULTIPOINT := NO; MUST_BE_CONNECTED := NO;\r\n"
    " END_CONNECTION\r\nEND_INTERFACE\r\n";

TEST(ConnectionParser, ConnectorsBytes)
{
    const Compiled two = compile(kTwo);
    ASSERT_EQ(two.result, 0);
    // Count; per connector in ascending id: id, name with its length, id,
    // GUID with its blank, the five flags, group, major, minor, each
    // followed by a blank. 65537 is connector 1, "in" a name.
    EXPECT_EQ(two.section,
              "2 1 2 in 1 {6B29FC40-CA47-1067-B31D-00DD010662DB}  1 0 0 1 1 -1 1 0 "
              "3 5 Drive 3 {6B29FC40-CA47-1067-B31D-00DD010662DA}  1 1 1 0 0 7 2 10 ");
}

TEST(ConnectionParser, ResultsAndMessages)
{
    MessageCapture messages;
    const std::string third =
        kTwo.substr(0, kTwo.size() - 14) +
        " CONNECTION x (1) : {6B29FC40-CA47-1067-B31D-00DD010662DA} DIRECTION := OUT; VERSION := 1.0;"
        " REMOTE := NO; MULTIPOINT := NO; MUST_BE_CONNECTED := NO; END_CONNECTION\nEND_INTERFACE\n";
    std::string plainVersion = kDrive;
    plainVersion.replace(plainVersion.find("1.0;"), 4, "1;");
    const struct {
        std::string text;
        int32_t result;
        std::vector<uint32_t> ids;
        std::string section;
    } cases[] = {
        {"INTERFACE END_INTERFACE", 0, {}, "0 "},
        {"", 1, {602}, kOld},
        {kDrive, 0, {}, "1 3 5 Drive 3 {6B29FC40-CA47-1067-B31D-00DD010662DA}  1 0 0 0 0 -1 1 0 "},
        {third, 3, {604}, kOld},
        {plainVersion, 1, {602}, kOld},
        {"INTERFACE ! END_INTERFACE", 1, {601, 602}, kOld},
        {"INTERFACE CONNECTION a (4294967296) :", 1, {601, 602}, kOld},
        {"INTERFACE END_INTERFACE (* open", 3, {601}, kOld},
    };
    for (const auto& c : cases) {
        messages.clear();
        const Compiled r = compile(c.text);
        EXPECT_EQ(r.result, c.result) << c.text;
        EXPECT_EQ(messages.ids(), c.ids) << c.text;
        EXPECT_EQ(r.section, c.section) << c.text;
    }
    // Messages carry the line of the scanner, also after runs of blank lines
    // longer than one of its tokens (the padding before a section).
    std::string blankRun = "INTERFACE";
    for (int i = 0; i < 150; ++i) blankRun += i % 2 ? "\r\n" : " \t\n";
    for (const auto& c : {std::make_pair(std::string("INTERFACE\r\n\r\n!"), 3u),
                          std::make_pair(blankRun + "!", 151u),
                          std::make_pair(blankRun + "\r END_INTERFACE", 151u)}) {
        messages.clear();
        compile(c.first);
        ASSERT_FALSE(messages.records.empty());
        EXPECT_EQ(messages.records[0].id, 601u);
        EXPECT_EQ(messages.records[0].position, c.second);
    }
}

// The scanner takes the common tokens and blank runs by hand while they end
// inside its buffer and leaves the rest to its rules: a token or a line end
// cut by the end of the buffer (16 KB, moved here by a comment in front)
// reads as it does elsewhere, with the same messages at the same lines.
TEST(ConnectionParser, TokensCutByTheScannerBuffer)
{
    const std::string good =
        "INTERFACE (* c *)\r\n CONNECTION drive_1 (3) : {6B29FC40-CA47-1067-B31D-00DD010662DA}\r\n"
        "  DIRECTION := INOUT; VERSION := 2.10;\r\n\tREMOTE := YES; MULTIPOINT := NO; MUST_BE_CONNECTED := NO;"
        " EXCLUSIVE_GROUP := 12; GEO_ADDRESS := 1.2.3; END_CONNECTION\n CONNECTION in (65540) :"
        " {6b29fc40-ca47-1067-b31d-00dd010662db}DIRECTION:=IN;VERSION:=1.0;REMOTE:=NO;MULTIPOINT:=YES;"
        "MUST_BE_CONNECTED:=YES;END_CONNECTION\r\nEND_INTERFACE\r\n";
    std::string bad = good;
    bad.replace(bad.find("65540"), 5, "65539");                // connector 3 again
    bad.replace(bad.find(":= 12;"), 6, ":= 99999999999;");    // too large
    bad.replace(bad.find("2.10;"), 5, "99999999999.7;");      // a version's part too large
    bad.replace(bad.find("1.0;"), 4, "1.;");                  // an integer and a dot
    bad += "\r\n\rx";                                        // a lone carriage return
    struct Run {
        int32_t result;
        std::string section;
        std::vector<std::pair<uint32_t, uint32_t>> messages;  // id, line
        std::vector<std::string> errors;
    };
    auto run = [](const std::string& text) {
        MessageCapture messages;
        FsTODscFile dsc;
        EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
        EXPECT_TRUE(putSection(dsc, "connectors", kOld));
        RecordingErrors<MdConnectionParser> p;
        Run r;
        r.result = compileText(p, text, &dsc);
        r.section = sectionText(dsc, "connectors");
        for (const auto& m : messages.records) r.messages.emplace_back(m.id, m.position);
        r.errors = p.errors;
        return r;
    };
    for (const auto& c : {std::make_pair(good, 0), std::make_pair(bad, 1)}) {
        const std::string& body = c.first;
        const Run expected = run("(**)" + body);
        ASSERT_EQ(expected.result, c.second);
        for (std::size_t shift = 0; shift <= body.size() + 2; ++shift) {
            const std::size_t fill = (16 << 10) - body.size() + shift;
            const Run r = run("(*" + std::string(fill, 'x') + "*)" + body);
            EXPECT_EQ(r.result, expected.result) << shift;
            EXPECT_EQ(r.section, expected.section) << shift;
            EXPECT_EQ(r.messages, expected.messages) << shift;
            EXPECT_EQ(r.errors, expected.errors) << shift;
        }
    }
}

}  // namespace
