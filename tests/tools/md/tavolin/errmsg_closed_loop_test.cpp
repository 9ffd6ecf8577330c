// An alarm error-text section compiled into a message-text library of a
// test configuration directory and read back by a runtime user's
// container: texts by library key, lists of texts, and messages sent over
// the default table.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "errmsg_test_section.h"
#include "test_split_driver_support.h"
#include "tests/bo/alm/config_dir.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"

using namespace fronttest;

namespace {

const char* const kTestSection = kErrMsgTestSection;

// A runtime user: its default table is the library of key 'a'.
class RuntimeUser : public CBoErrorMsgCont {
public:
    RuntimeUser() : CBoErrorMsgCont(String("tvalmtxx.dll"), 1) {}
    uint32_t loadData() override
    {
        CmMsgTable* table = nullptr;
        const uint32_t r = createMsgTab("a", &table);
        if (r == 0) setDefaultTable(std::unique_ptr<CmMsgTable>(table));
        return r;
    }
};

class Output : public CmMsgOut {
public:
    void msgOut(const WString& text, uint32_t level, uint32_t, const WString&) override
    {
        lines.push_back(std::to_string(level) + " " + text.toUtf8());
    }
    void msgOutExt(const WString& text, uint32_t level, uint32_t, const WString&, uint32_t, uint32_t) override
    {
        msgOut(text, level, 0, WString());
    }
    std::vector<std::string> lines;
};

class ErrMsgClosedLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
        ASSERT_TRUE(putSection(dsc, "errmsg", ""));
        std::istringstream in(kTestSection);
        MdErrMsgTxtParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = cfg.file("tvalmtxa.rc").c_str();
        args.firstStringId = 105;
        p.init(args);
        ASSERT_EQ(p.parse(), 0);
        FsSecCl* sec = dsc.openSect("errmsg", 0);
        ASSERT_NE(sec, nullptr);
        ASSERT_TRUE(user.read(*sec));
        dsc.CloseSect("errmsg");
    }

    TestConfigDir cfg;
    FsTODscFile dsc;
    RuntimeUser user;
};

VARIANT twoIntegers()
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        VARIANT e;
        VariantInit(&e);
        e.vt = VT_I4;
        e.lVal = 10 + i;
        SafeArrayPutElement(v.parray, &i, &e);
    }
    return v;
}

}  // namespace

TEST_F(ErrMsgClosedLoop, TextsByLibraryKey)
{
    EXPECT_EQ(user.msgNumbers(), (std::list<uint32_t>{20001, 20002}));
    WString text;
    ASSERT_EQ(user.msgText("a", 20001, text), 0u);
    EXPECT_EQ(text.toUtf8(), "Schleppfehler");
    ASSERT_EQ(user.msgText("a", 20002, text), 0u);
    EXPECT_EQ(text.toUtf8(), "Endschalter \"links\"");
    EXPECT_EQ(user.msgText("a", 20003, text), 13u);
    EXPECT_EQ(user.msgText("q", 20001, text), 5u);

    CBoErrorMsgCont::TextList list{{20001, WString()}, {20003, WString()}, {20002, WString()}};
    EXPECT_EQ(user.msgTexts("a", list), 30u);
    EXPECT_EQ(list[0].second.toUtf8(), "Schleppfehler");
    EXPECT_TRUE(list[1].second.empty());
    EXPECT_EQ(list[2].second.toUtf8(), "Endschalter \"links\"");
}

TEST_F(ErrMsgClosedLoop, SendOverTheDefaultTable)
{
    Output out;
    user.messageHandler()->setMsgOut(&out);
    VARIANT args = twoIntegers();
    EXPECT_EQ(user.sendMsg(20001, 3, args, 0), 13u);  // no default table yet

    ASSERT_EQ(user.loadData(), 0u);
    WString text;
    ASSERT_EQ(user.msgText(20001, text), 0u);
    EXPECT_EQ(text.toUtf8(), "Schleppfehler");
    for (uint32_t severity : {3u, 4u, 2u}) EXPECT_EQ(user.sendMsg(20001, severity, args, 0), 0u);
    EXPECT_EQ(user.sendMsg(20002, 3, args, 0), 0u);
    EXPECT_EQ(user.sendMsg(20003, 3, args, 0), 13u);
    EXPECT_EQ(out.lines, (std::vector<std::string>{"2 Schleppfehler", "2 : Schleppfehler",
                                                   "2 Fehler 105 : Schleppfehler", "1 Endschalter \"links\""}));
    VariantClear(&args);
}
