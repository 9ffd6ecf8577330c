// The alarm method with the alarm compiler: a source opened into a working
// file, its alarm section compiled into "almcfg" and "almstr", the string
// table appended to the script with ids counted on from the counter.
#include <gtest/gtest.h>

#include <string>

#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdFrontEnd.h"

using namespace fronttest;

namespace {

const char kSection[] =
    "ALARM_STRING_TABLE 0 : \"aus\" \"Alarm A\" 7 : \"ein\" END_ALARM_STRING_TABLE\n"
    "BEGIN_ALARM VRX_ERROR(16#10) AlarmName 1\n"
    " BEGIN_GLOBAL DefaultReaction 0 PossibleReaction 0, 2 DefaultConfirm 2 PossibleConfirm 2\n"
    "  DefaultType 0 PossibleTypes 0 DefaultDiagBuffer 2 PossibleDiagBuffer 0, 2 END_GLOBAL\n"
    " BEGIN_LOCAL REACTION TextReaction[3] 1 DefaultReaction[3] 0 PossibleReaction[3] 0, 2 END_REACTION\n"
    "  PARAM Text[1] 1 Default[1] 2 END_PARAM END_LOCAL END\n"
    "END_ALARM\n";

TEST(AlarmMethod, CompilesIntoTheWorkingFile)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1) + kSection, {{"almcfg", "old"}, {"almstr", "old"}});
    ASSERT_EQ(src.status, 0);
    const int32_t before = src.counter;
    TempFile script;
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    ASSERT_EQ(mdCompileAlarms(ctx, String(script.c_str()), status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_EQ(src.counter, before + 3);
    EXPECT_EQ(sectionText(src.work, "almcfg"),
              "1 16 16 1\r\n0 2 0 2 \r\n2 1 2 \r\n0 1 0 \r\n2 2 0 2  1 3 1 \r\n1 3 0 \r\n1 3 2 0 2  \r\n1 1 1 \r\n"
              "1 1 2 \r\n0  \r\n2 0 0 2 7 ");
    ASSERT_EQ(before, 0);
    EXPECT_EQ(sectionText(src.work, "almstr"), "3 0 0 1 1 2 2 ");
    EXPECT_EQ(readFile(script.path()),
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0000   \"aus\"\r\n   0x0001   \"Alarm A\"\r\n"
              "   0x0002   \"ein\"\r\nEND\r\n\r\n");
    EXPECT_TRUE(src.idle());

    // Without a script the table fails: 707, and the method's status.
    src.counter = 5;
    ctx = src.context();
    ASSERT_EQ(mdCompileAlarms(ctx, String(""), status), S_OK);
    EXPECT_EQ(status, int32_t(0xBE11000B));
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{707, 707}));
    EXPECT_EQ(src.counter, 5);
    EXPECT_TRUE(src.idle());
}

TEST(AlarmMethod, AHostWithoutTheSectionsGetsNone)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1) + kSection);
    TempFile script;
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    ASSERT_EQ(mdCompileAlarms(ctx, String(script.c_str()), status), S_OK);
    EXPECT_EQ(status, int32_t(0xBE11000B));
    EXPECT_EQ(sectionText(src.work, "almcfg"), "<missing>");
    EXPECT_TRUE(src.idle());
}

}  // namespace
