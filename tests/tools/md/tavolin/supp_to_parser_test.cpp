// The supported technology-object compiler: what each form of entry
// stores, what stops the parse, and the bytes of "rttotypes".
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "platform/guid.h"
#include "supp_to_compile.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdSuppTOParser.h"

using namespace fronttest;

namespace {

const char kGuid[] = "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}";

struct Compiled {
    int32_t result;
    std::list<FsSupportedToTypeEntry> types;
    std::string section;  // "rttotypes" afterwards
};

// Compiles a section body into a package descriptor in memory that holds
// "rttotypes" with old content.
Compiled compile(const std::string& text)
{
    FsTPDscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    EXPECT_TRUE(putSection(dsc, "rttotypes", "old content, longer than an empty list"));
    MdSuppTOParser p;
    Compiled c;
    c.result = compileText(p, text, &dsc);
    c.types = p.types();
    c.section = sectionText(dsc, "rttotypes");
    return c;
}

std::string section(const std::string& entries)
{
    return "SUPPORTED_TO_TYPES\r\n" + entries + "\r\nEND_SUPPORTED_TO_TYPES\r\n";
}

TEST(SuppTOParser, EntriesInBothForms)
{
    const struct {
        std::string entry;
        uint16_t version, second;
        int32_t number;
    } cases[] = {
        {std::string("a := ") + kGuid + ", 1.0;", 1, 0, 0x7FFFFFFF},
        {std::string("a (3) := ") + kGuid + ", 2.1;", 2, 1, 3},
        {std::string("a(2147483647):=") + kGuid + ",70000.1;", 4464, 1, 2147483647},
        // Hexadecimal digits of either case; comments between the tokens.
        {"a (* c\n *) := {5a3c2e10-8b41-4c7d-9e2f-1a6b3c4d5e60}, 0.65535;", 0, 65535, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        const Compiled r = compile(section(c.entry));
        ASSERT_EQ(r.result, 0) << c.entry;
        ASSERT_EQ(r.types.size(), 1u);
        const FsSupportedToTypeEntry& e = r.types.front();
        EXPECT_STREQ(e.name.c_str(), "a");
        EXPECT_EQ(tvp::guidToString(e.typeId.guid), kGuid);
        EXPECT_EQ(e.typeId.version, c.version) << c.entry;
        EXPECT_EQ(e.typeId.second, c.second) << c.entry;
        EXPECT_EQ(e.number, c.number) << c.entry;
    }
}

TEST(SuppTOParser, RttotypesBytes)
{
    const Compiled r = compile(section(std::string("posAxis := ") + kGuid +
                                       ", 2.1;\ndriveEncoder (2) := {9d2f4a61-3c58-4e27-b1a4-6f0e2d8c7b15}, 1.0;"));
    ASSERT_EQ(r.result, 0);
    // Count and blank; per entry the GUID with its blank, a blank, version,
    // blank, second word, blank; blank, name with its length, blank, number,
    // blank; and a blank behind the entry.
    EXPECT_EQ(r.section,
              "2 "
              "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 1  7 posAxis 2147483647  "
              "{9D2F4A61-3C58-4E27-B1A4-6F0E2D8C7B15}  1 0  12 driveEncoder 2  ");

    // Empty list; duplicates are kept in their order.
    EXPECT_EQ(compile(section("")).section, "0 ");
    const std::string twice = std::string("x := ") + kGuid + ", 1.0; x := " + kGuid + ", 1.0;";
    const Compiled d = compile(section(twice + " y := " + kGuid + ", 1.0;"));
    ASSERT_EQ(d.types.size(), 3u);
    EXPECT_STREQ(d.types.back().name.c_str(), "y");
}

TEST(SuppTOParser, WhatStopsTheParse)
{
    MessageCapture messages;
    const std::string entry = std::string("a := ") + kGuid + ", 1.0;";
    const std::string old = "old content, longer than an empty list";
    const struct {
        std::string text;
        int32_t result;
        std::vector<uint32_t> ids;
    } cases[] = {
        {"supported_to_types\n" + entry + "\nEND_SUPPORTED_TO_TYPES", 1, {802}},  // lower case: a name
        {section(entry) + "x", 1, {802}},                                        // text after the end
        {"SUPPORTED_TO_TYPES\n" + entry, 1, {802}},                              // no end
        {section("a ! := " + std::string(kGuid) + ", 1.0;"), 1, {801, 802}},
        {section("a := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E6}, 1.0;"), 1, {801, 802}},  // short GUID
        {section(std::string("a (2147483648) := ") + kGuid + ", 1.0;"), 3, {801}},  // beyond 32 bits
        {section(entry) + "(* open", 3, {801}},
        {"", 1, {802}},
    };
    for (const auto& c : cases) {
        messages.clear();
        const Compiled r = compile(c.text);
        EXPECT_EQ(r.result, c.result) << c.text;
        EXPECT_EQ(messages.ids(), c.ids) << c.text;
        EXPECT_EQ(r.section, old) << c.text;  // nothing written
    }
    // The message of a stray character names its line.
    messages.clear();
    compile("SUPPORTED_TO_TYPES\r\n\r\n!");
    ASSERT_EQ(messages.records.size(), 2u);
    EXPECT_EQ(messages.records[0].position, 3u);
    // The texts of this block have no place for the argument.
    EXPECT_EQ(messages.records[0].text, "Fehler im Scanner Msg-Parameterfehler");
}

TEST(SuppTOParser, ASectionThatCannotBeWrittenIsResult4)
{
    // A descriptor opened for reading only.
    TempFile file;
    ::unlink(file.c_str());
    {
        FsTPDscFile dsc;
        ASSERT_EQ(dsc.createFile(file.c_str()), 0u);
        dsc.CloseFile();
    }
    FsTPDscFile dsc;
    ASSERT_EQ(dsc.FsFileMan::openFile(file.c_str(), 0), 0u);
    std::istringstream in(section(""));
    MdSuppTOParser p;
    EXPECT_EQ(compileSuppTO(p, in, &dsc), 4);

    // No descriptor at all.
    std::istringstream in2(section(""));
    MdSuppTOParser q;
    EXPECT_EQ(compileSuppTO(q, in2, nullptr), 4);
}

}  // namespace
