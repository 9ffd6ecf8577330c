// The alarm method with the alarm compiler: a source opened into a working
// file, its alarm section compiled into "almcfg" and "almstr", the string
// table appended to the script with ids counted on from the counter.
#include <gtest/gtest.h>

#include <string>

#include "alarm_test_section.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdFrontEnd.h"

using namespace fronttest;

namespace {

const char* const kSection = kAlarmTestSection;

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
              kAlarmTestAlmCfg);
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
