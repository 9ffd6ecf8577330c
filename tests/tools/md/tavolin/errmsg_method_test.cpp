// The error-text steps of the front end: after the alarm compiler in the
// alarm method (the ids run on from the alarm table's), and last in the
// boot-function method (into the comment script, reached here through
// stand-in comment and boot-function compilers).
#include <gtest/gtest.h>

#include <string>

#include "alarm_test_section.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdFrontEnd.h"

using namespace fronttest;

namespace {

const char kErrorTexts[] =
    "BEGIN_ALARM_VRX_ERROR_TEXT\n"
    " VRX_ERROR_TEXT(20001, CmErrorMsg, 5, \"Schleppfehler\")\n"
    " VRX_ERROR_TEXT(20002, CmWarnMsg, 1, 7, \"Endschalter \\\"links\\\"\")\n"
    " VRX_ERROR_TEXT(20001, CmHelpMsg, 0, \"zweimal\")\n"
    "END_ALARM_VRX_ERROR_TEXT\n";

const char kAlarmTable[] =
    "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0000   \"aus\"\r\n   0x0001   \"Alarm A\"\r\n"
    "   0x0002   \"ein\"\r\nEND\r\n\r\n";

TEST(ErrMsgMethod, AlarmTextsRunOnFromTheAlarmTable)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1) + kAlarmTestSection + kErrorTexts,
                     {{"almcfg", "old"}, {"almstr", "old"}, {"errmsg", "old"}});
    ASSERT_EQ(src.status, 0);
    TempFile script;
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    ASSERT_EQ(mdCompileAlarms(ctx, String(script.c_str()), status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_EQ(readFile(script.path()), std::string(kAlarmTable) +
                                           "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
                                           "   0x0003   \"2 5 -1 Schleppfehler\"\r\n"
                                           "   0x0005   \"1 1 7 Endschalter \"\"links\"\"\"\r\n"
                                           "   0x0007   \"0 0 -1 zweimal\"\r\n"
                                           "END\r\n\r\n");
    EXPECT_EQ(sectionText(src.work, "errmsg"), "2 20001 3 20002 5 ");
    EXPECT_EQ(src.counter, 9);
    EXPECT_TRUE(src.idle());
}

TEST(ErrMsgMethod, AlarmTextsWaitForAGoodAlarmSection)
{
    // The alarm table fails without a script: the error texts are not compiled.
    MessageCapture messages;
    OpenedSource src(headerOf(1) + kAlarmTestSection + kErrorTexts,
                     {{"almcfg", "old"}, {"almstr", "old"}, {"errmsg", "old"}});
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    ASSERT_EQ(mdCompileAlarms(ctx, String(""), status), S_OK);
    EXPECT_EQ(status, int32_t(0xBE11000B));
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{707, 707}));
    EXPECT_EQ(sectionText(src.work, "errmsg"), "old");
    EXPECT_EQ(src.counter, 0);
}

TEST(ErrMsgMethod, BootFunctionTextsGoToTheCommentScript)
{
    MessageCapture messages;
    StandIns standIns;
    mdSetCompilerCreator(MdCompErrMsgTxt, [] { return new MdErrMsgTxtParser; });
    standIns.behaviour[MdCompVarComment].idsUsed = 4;
    OpenedSource src(headerOf(1) +
                         "BEGIN_BF_FUNCTIONS\nx\nEND_BF_FUNCTIONS\n"
                         "BEGIN_BF_ERRORTEXT\n MC_ERRORTEXT(3, CmErrorMsg, 0, \"drei\")\n"
                         " MC_ERRORTEXT(1, CmHelpMsg, 0, 4, \"eins\")\nEND_BF_ERRORTEXT\n",
                     {{"errmsg", "old"}, {"bfvarcomment", ""}});
    ASSERT_EQ(src.status, 0);
    src.counter = 10;
    TempFile script, commentScript;
    MdFrontContext ctx = src.context();
    int32_t status = -1;
    ASSERT_EQ(mdCompileBootFunctions(ctx, String(script.c_str()), {}, String(), String(commentScript.c_str()),
                                     status),
              S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(messages.records.empty());
    // The comment step and both boot-function passes ran on their stand-ins.
    ASSERT_EQ(standIns.log.size(), 3u);
    EXPECT_EQ(standIns.log[2].kind, MdCompBootFkt);
    // Ids from the counter the comments left: start 14.
    EXPECT_EQ(readFile(commentScript.path()), "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n"
                                              "   0x0011   \"2 0 -1 drei\"\r\n"
                                              "   0x000F   \"0 0 4 eins\"\r\n"
                                              "END\r\n\r\n");
    EXPECT_EQ(readFile(script.path()), "");
    EXPECT_EQ(src.counter, 18);
    EXPECT_EQ(sectionText(src.work, "errmsg"), "old");
    EXPECT_TRUE(src.idle());
}

}  // namespace
