// The implementation compiler: the lines it appends to the two macro files
// for each form of the section, and what stops it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>

#include "co/GlobTools.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdImplParser.h"
#include "tools/md/tavolin/MdScannerSupport.h"

using namespace fronttest;

namespace {

const char kNoIoH[] = "BEGIN_DECLIMPL()\nDECL_NO_IO()\nEND_DECLIMPL()\n";
const char kNoIoC[] = "NO_IO_IMPL()\n";

class ImplParserTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = createTempDirectory().c_str(); }
    void TearDown() override { removeDirectoryTree(m_dir.c_str()); }

    int32_t compile(const std::string& text, uint32_t mask = 0, const std::string& base = "out")
    {
        std::istringstream in(text);
        MdImplParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.outputBase = String((m_dir + "/" + base).c_str());
        args.sectionMask = mask;
        p.init(args);
        return p.parse();
    }
    std::string h() const { return readFile(m_dir + "/out.m4h"); }
    std::string c() const { return readFile(m_dir + "/out.m4c"); }
    bool written() const
    {
        struct stat st;
        return ::stat((m_dir + "/out.m4h").c_str(), &st) == 0 || ::stat((m_dir + "/out.m4c").c_str(), &st) == 0;
    }

    std::string m_dir;
};

TEST_F(ImplParserTest, EmptySectionAndFlagBit0WriteTheNoIoLines)
{
    EXPECT_EQ(compile(""), 0);
    EXPECT_EQ(h(), kNoIoH);
    EXPECT_EQ(c(), kNoIoC);
    // Bit 0 of the flags: compiled as empty, whatever the section holds;
    // a second run appends.
    EXPECT_EQ(compile("BEGIN_IO_DATA BEGIN_ACT x END_ACT END_IO_DATA", 1), 0);
    EXPECT_EQ(h(), std::string(kNoIoH) + kNoIoH);
    EXPECT_EQ(c(), std::string(kNoIoC) + kNoIoC);
}

TEST_F(ImplParserTest, IoTextIsWrittenAsCollected)
{
    EXPECT_EQ(compile("\r\n(* I/O *)\r\nBEGIN_IO_DATA\r\n    BEGIN_ACT\r\n    IO_INPUT(a, 16#40)\r\n"
                      "    \"END\" 'q'\r\n    END_ACT\r\nEND_IO_DATA\r\n"),
              0);
    EXPECT_EQ(h(), "BEGIN_DECLIMPL()\nDECL_IO()\nEND_DECLIMPL()\n");
    EXPECT_EQ(c(), "IMPL_IMPL()\nIO_IMPL(`\n    IO_INPUT(a, 16#40)\n    \"END\" 'q'\n    ')\n");
    // A text of many buffers: as collected whatever the buffer ends on.
    std::string text, collected;
    for (std::size_t i = 0; text.size() < 300000; ++i) {
        const char* const piece = i % 997 == 3 ? "\r\n" : i % 13 == 5 ? "EN" : i % 7 == 1 ? "E" : "x";
        text += piece;
        collected += std::strcmp(piece, "\r\n") == 0 ? "\n" : piece;
    }
    ::unlink((m_dir + "/out.m4c").c_str());
    EXPECT_EQ(compile("BEGIN_IO_DATA BEGIN_ACT" + text + "END_ACT END_IO_DATA"), 0);
    EXPECT_EQ(c(), "IMPL_IMPL()\nIO_IMPL(`" + collected + "')\n");
}

TEST_F(ImplParserTest, WhatStopsTheParse)
{
    MessageCapture messages;
    // A token beyond the scanner's largest buffer (lowered here from 512 MB)
    // is a fatal error of the scanner.
    const MdScannerBufferLimitScope limit((std::size_t(1) << 16) + 2);
    const std::string longText(1 << 17, 'x');
    const struct {
        std::string text;
        int32_t result;
        std::vector<uint32_t> ids;
    } cases[] = {
        {"BEGIN_IO_DATA BEGIN_ACT " + longText + " END_ACT END_IO_DATA", 1, {1001}},
        {"(* " + longText + " *)", 1, {1001}},
        // A string gives no value: however long, it is read past, and the
        // grammar refuses it as any string.
        {"\"" + longText + "\"", 1, {1002}},
        {"!", 1, {1001, 1002}},
        {"BEGIN_IO_DATA BEGIN_ACT x END_ACT END_IO_DATA !", 1, {1001, 1002}},
        {"BEGIN_IO_DATA BEGIN_ACT x END_ACT", 1, {1002}},
        {"BEGIN_IO_DATA BEGIN_ACT x", 1, {1001, 1002}},  // unexpected end of file
        {"(* x", 0, {1001}},                              // the same, in a comment
        {"\"x", 0, {1001}},                               // and in a string
        {"( 16#1F ; \"a\\\"b\" )", 1, {1002}},            // tokens no rule takes
        {"99999999999", 1, {1001, 1002}},                 // beyond 32 bits
        {"LICENCE_DATA\r\nOPTION 1\r\nEND_LICENCE_DATA\r\n", 1, {1001, 1002}},
    };
    for (const auto& c : cases) {
        messages.clear();
        EXPECT_EQ(compile(c.text), c.result) << c.text;
        EXPECT_EQ(messages.ids(), c.ids) << c.text;
        // A failed section writes nothing.
        if (c.result != 0) {
            EXPECT_FALSE(written()) << c.text;
        }
        ::unlink((m_dir + "/out.m4h").c_str());
        ::unlink((m_dir + "/out.m4c").c_str());
    }
}

TEST_F(ImplParserTest, UnwritableMacroFilesAreResult4)
{
    MessageCapture messages;
    EXPECT_EQ(compile("", 0, "missing/out"), 4);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{1003});
    EXPECT_EQ(messages.records[0].text, "Sektion konnte nicht beschrieben werden");
    // The declaration file can be made, the code file cannot: neither stays.
    ASSERT_EQ(::mkdir((m_dir + "/out.m4c").c_str(), 0700), 0);
    messages.clear();
    EXPECT_EQ(compile("BEGIN_IO_DATA BEGIN_ACT x END_ACT END_IO_DATA"), 4);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{1003});
    struct stat st;
    EXPECT_NE(::stat((m_dir + "/out.m4h").c_str(), &st), 0);
}

}  // namespace
