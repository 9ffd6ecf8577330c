// Message-text library tables: string layout, library name variants,
// structured error codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/cm/cmmsgtab.h"
#include "co/TraceApi.h"
#include "platform/settings_store.h"
#include "platform/text.h"

namespace {

std::string utf8(const WString& w) { return tvp::wideToUtf8(std::u16string(w.units(), w.length())); }

struct LibDir {
    std::string path;
    LibDir()
    {
        char tmpl[] = "/tmp/tv_cmtab_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~LibDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    void write(const std::string& name, const std::string& body) const
    {
        std::ofstream f(path + "/" + name, std::ios::binary);
        f << "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n" << body << "END\r\n";
    }
};

}  // namespace

TEST(ResourceTable, ParsesLevelGroupHelpIdAndTemplate)
{
    LibDir dir;
    dir.write("tvmsgtxa.rc",
              "   5   \"2 7 15 Datei %s fehlt\"\r\n"
              "   6   \"Ohne Zahlen\"\r\n"
              "   7   \"1 0 3   eingerückt\"\r\n"
              "   65534   \"Modul A\"\r\n");
    CmResourceTable t(".\\tvmsgtxa.dll", "", false, dir.path);
    ASSERT_TRUE(t.isLoaded());

    uint32_t level = 9, helpId = 9;
    uint16_t group = 9;
    WString module;
    EXPECT_EQ(utf8(t.findMsg(CmMsgKey(5), &level, &group, &helpId, &module)), "Datei %s fehlt");
    EXPECT_EQ(level, 2u);
    EXPECT_EQ(group, 7);
    EXPECT_EQ(helpId, 15u);
    EXPECT_EQ(utf8(module), "Modul A");

    // No numbers: all three are 0 and the template is the string from its
    // first character on. Only a blank is skipped in front of the template,
    // so no letter is lost.
    EXPECT_EQ(utf8(t.findMsg(CmMsgKey(6), &level, &group, &helpId, nullptr)), "Ohne Zahlen");
    EXPECT_EQ(level, 0u);
    EXPECT_EQ(group, 0);
    EXPECT_EQ(helpId, 0u);
    EXPECT_EQ(utf8(t.findMsg(CmMsgKey(7), nullptr, nullptr, nullptr, nullptr)), "  eingerückt");

    // Absent string: empty, level and group untouched, help id -1.
    level = 3;
    group = 4;
    EXPECT_TRUE(t.findMsg(CmMsgKey(8), &level, &group, &helpId, nullptr).empty());
    EXPECT_EQ(level, 3u);
    EXPECT_EQ(group, 4);
    EXPECT_EQ(helpId, 0xFFFFFFFFu);
    // No second library: no plain texts.
    EXPECT_TRUE(t.findText(5).empty());
}

TEST(ResourceTable, MissingLibraryAnswersEmptyAndTraces)
{
    CTraceCapture capture;
    LibDir dir;
    CmResourceTable t(".\\tvmsgtxq.dll", "", false, dir.path);
    EXPECT_FALSE(t.isLoaded());
    EXPECT_TRUE(t.findMsg(CmMsgKey(5), nullptr, nullptr, nullptr, nullptr).empty());
    EXPECT_TRUE(t.findText(5).empty());
    // The reason is the one of this lookup, not a stale loader error.
    const std::string expected = "Failed to call LoadLibrary .\\tvmsgtxq.dll GetLastError() returns \"" +
                                 dir.path + "/tvmsgtxq.rc: No such file or directory\"";
    int traced = 0;
    for (const auto& l : capture.lines())
        if (l.method == "CmResourceTable::CmResourceTable") {
            EXPECT_EQ(l.message, expected);
            EXPECT_EQ(l.level, 4u);
            EXPECT_EQ(l.file, "cmrestab");
            ++traced;
        }
    EXPECT_EQ(traced, 1);

    // A second library that is missing is named with its own reason.
    dir.write("tvmsgtxa.rc", "  1 \"2 0 0 a\"\r\n");
    capture.clear();
    CmResourceTable withSecond(".\\tvmsgtxa.dll", "tvtexte.dll", false, dir.path);
    EXPECT_TRUE(withSecond.isLoaded());
    EXPECT_FALSE(withSecond.isSecondLoaded());
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.lines()[0].message, "Failed to call LoadLibrary tvtexte.dll GetLastError() returns \"" +
                                              dir.path + "/tvtexte.rc: No such file or directory\"");

    // Without a product directory nothing is looked for.
    capture.clear();
    CmResourceTable nowhere(".\\tvmsgtxa.dll", "", false, "");
    EXPECT_FALSE(nowhere.isLoaded());
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.lines()[0].message,
              "Failed to call LoadLibrary .\\tvmsgtxa.dll GetLastError() returns \".\\tvmsgtxa.dll: no product "
              "directory to look in\"");
}

TEST(ResourceTable, LanguageVariantsAndSecondLibrary)
{
    auto c = CmResourceTable::candidates(".\\tvmsgtxx.dll", "tvtextx.dll", true, "deutsch");
    EXPECT_EQ(c.a, ".\\tvmsgtxd.dll");
    EXPECT_EQ(c.b, ".\\tvmsgtxb.dll");
    EXPECT_EQ(c.c, ".\\tvmsgtxa.dll");
    EXPECT_EQ(c.second, "tvtextd.dll");
    c = CmResourceTable::candidates(".\\tvmsgtxx.dll", "", true, "");
    EXPECT_EQ(c.a, ".\\tvmsgtxx.dll");
    c = CmResourceTable::candidates(".\\tvmsgtxx.dll", "", false, "deutsch");
    EXPECT_EQ(c.b, ".\\tvmsgtxx.dll");

    tvp::settingsClear();  // no selected language
    LibDir dir;
    dir.write("tvmsgtxa.rc", "  1 \"2 0 0 aus a\"\r\n");
    dir.write("tvmsgtxb.rc", "  1 \"2 0 0 aus b\"\r\n");
    {
        CmResourceTable t(".\\tvmsgtxx.dll", "", true, dir.path);
        EXPECT_EQ(utf8(t.findMsg(CmMsgKey(1), nullptr, nullptr, nullptr, nullptr)), "aus b");
    }
    dir.write("tvmsgtxx.rc", "  1 \"2 0 0 aus x\"\r\n");
    dir.write("tvtexte.rc", "  9 \"neun\"\r\n");
    {
        CmResourceTable t(".\\tvmsgtxx.dll", "tvtexte.dll", true, dir.path);
        EXPECT_EQ(utf8(t.findMsg(CmMsgKey(1), nullptr, nullptr, nullptr, nullptr)), "aus x");
        EXPECT_TRUE(t.isSecondLoaded());
        EXPECT_EQ(utf8(t.findText(9)), "neun");
    }
}

TEST(BErrResTable, StructuredCodes)
{
    LibDir dir;
    dir.write("tvmsgtxa.rc",
              "  10001 \"Modul1 \"\r\n"
              "  1002 \"Teil2 \"\r\n"
              "  5 \"2 0 0 Meldung fünf\"\r\n");
    CmBErrResTable t(".\\tvmsgtxa.dll", "", false, dir.path);

    CmBErrResTable::setSkipModuleInfo(false);
    EXPECT_EQ(utf8(t.findMsg(CmMsgKey(0x01020005), nullptr, nullptr, nullptr, nullptr)),
              "Modul1 Teil2 Meldung fünf");
    {
        CTraceCapture capture;
        EXPECT_EQ(utf8(t.findMsg(CmMsgKey(0x01020006), nullptr, nullptr, nullptr, nullptr)),
                  "Modul1 Teil2 Unknown ErrorCode");
        ASSERT_GE(capture.count(), 1u);
        EXPECT_EQ(capture.lines().back().message, "message-id 6 not found");
        EXPECT_EQ(capture.lines().back().level, 4u);
    }
    // The fallback form stays empty for unknown codes.
    EXPECT_TRUE(t.findKnownMsg(CmMsgKey(0x01020006), nullptr, nullptr, nullptr, nullptr).empty());

    CmBErrResTable::setSkipModuleInfo(true);
    EXPECT_EQ(utf8(t.findMsg(CmMsgKey(0x01020005), nullptr, nullptr, nullptr, nullptr)), "Meldung fünf");

    // Without a library every code is simply unknown.
    CmBErrResTable none(".\\tvmsgtxq.dll", "", false, dir.path);
    EXPECT_TRUE(none.findMsg(CmMsgKey(5), nullptr, nullptr, nullptr, nullptr).empty());
}
