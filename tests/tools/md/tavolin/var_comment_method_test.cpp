// The comment method and the comment step of the boot-function method with
// the comment compiler: the empty section, the unwritable script, a syntax
// error, and the example's two comment sections into the working file.
#include <gtest/gtest.h>

#include <string>

#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdFrontEnd.h"

using namespace fronttest;

namespace {

const std::vector<std::pair<std::string, std::string>> kHost = {{"varcomment", "old"}, {"bfvarcomment", "old"}};

int32_t comments(OpenedSource& src, const std::string& rc)
{
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    EXPECT_EQ(mdCompileComments(ctx, String(rc.c_str()), status), S_OK);
    EXPECT_TRUE(src.idle());
    return status;
}

int32_t bootFunctions(OpenedSource& src, const std::string& rc)
{
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    mdCompileBootFunctions(ctx, String(rc.c_str()), {}, String("axis"), String(rc.c_str()), status);
    EXPECT_TRUE(src.idle());
    return status;
}

TEST(VarCommentMethod, WithoutACommentSection)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1), kHost);
    src.counter = 9;
    TempFile script;
    EXPECT_EQ(comments(src, script.path()), 0);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_EQ(sectionText(src.work, "varcomment"), "0 \r\n0 ");
    EXPECT_EQ(readFile(script.path()), "");
    EXPECT_EQ(src.counter, 9);
}

TEST(VarCommentMethod, ScriptThatCannotBeOpened)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1) + "VARCOMMENT $1 [16#1] : \"a\" $T [16#1] : \"b\" END_VARCOMMENT\n"
                                   "BFDCOMMENT $1 : \"c\" END_BFDCOMMENT\n",
                     kHost);
    EXPECT_EQ(comments(src, "/nonexistent/dir/x.rc"), int32_t(0xBE11001B));
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{303, 101}));
    EXPECT_EQ(messages.records.back().text, "Sektion Kommentar konnte nicht geöffnet werden");
    EXPECT_EQ(sectionText(src.work, "varcomment"), "old");
    // The texts' ids are used up all the same.
    EXPECT_EQ(src.counter, 2);

    // The boot-function method reports the same and stops with its own status.
    messages.clear();
    EXPECT_EQ(bootFunctions(src, "/nonexistent/dir/x.rc"), int32_t(0xBE11000B));
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{303, 101}));
    EXPECT_EQ(sectionText(src.work, "bfvarcomment"), "old");
    EXPECT_EQ(src.counter, 3);
}

TEST(VarCommentMethod, SyntaxError)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1) + "VARCOMMENT $1 [16#1] : \"a\" $2 [3] : \"b\" END_VARCOMMENT\n", kHost);
    TempFile script;
    EXPECT_EQ(comments(src, script.path()), int32_t(0xBE11000B));
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{302});
    EXPECT_EQ(sectionText(src.work, "varcomment"), "old");
    EXPECT_EQ(readFile(script.path()), "");
    // The text read before the error keeps its id.
    EXPECT_EQ(src.counter, 1);
}

// The example's comments take the ids 0-3; its boot-function comments go on
// from the counter and are written before the boot-function compiler runs.
TEST(VarCommentMethod, TheExamplesCommentSections)
{
    MessageCapture messages;
    OpenedSource src(readFile(examplePath("axis.tos")), kHost);
    ASSERT_EQ(src.status, 0);
    ASSERT_EQ(src.counter, 0);
    TempFile script;
    EXPECT_EQ(comments(src, script.path()), 0);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_EQ(sectionText(src.work, "varcomment"),
              "4 1 4294967295 0 2 4294967295 1 3 4294967295 1 6 1 2 \r\n1 24 axisstatetype.axis_error 4294967295 3 ");
    EXPECT_EQ(src.counter, 4);

    const std::string before = readFile(script.path());
    const int32_t status = bootFunctions(src, script.path());
    EXPECT_EQ(sectionText(src.work, "bfvarcomment"),
              "2 2 4294967295 4 3 4294967295 5 \r\n1 21 setLimits.maxVelocity 4294967295 6 ");
    EXPECT_EQ(readFile(script.path()).substr(before.size()),
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0005   \"Grenzwerte beim Hochlauf\"\r\n"
              "   0x0004   \"Hoechstgeschwindigkeit beim Hochlauf\"\r\nEND\r\n\r\n"
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0006   \"Hoechstgeschwindigkeit\"\r\nEND\r\n\r\n");
    EXPECT_EQ(src.counter, 7);
    if (!mdCompilerBuilt(MdCompBootFkt)) {
        // Then the boot-function compiler is reported as missing.
        EXPECT_EQ(status, int32_t(0xBE11FFFF));
        EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0});
    }
}

}  // namespace
