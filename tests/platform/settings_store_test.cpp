#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace tvp;

namespace {

const char* const kKern = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld";

std::string tempPath(const char* tag)
{
    return std::string(::testing::TempDir()) + "tv_settings_" + tag + "_" + std::to_string(getpid()) + ".txt";
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Pools read their settings from static constructors: the store must be
// usable before main and before its own translation unit's initialisers.
bool g_staticRead = [] {
    uint32_t v = 0;
    settingsGetDword("HKLM", kKern, "PURIFY_MODE", v);
    return settingsSetDword("HKCU", "StaticInit", "v", 5);
}();

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { settingsClear(); }
    void TearDown() override { settingsClear(); }
};

}  // namespace

TEST(SettingsStoreStatic, UsableDuringStaticInitialisation)
{
    EXPECT_TRUE(g_staticRead);
}

TEST_F(SettingsStore, ParsesAllValueKindsAndSkipsMalformedLines)
{
    settingsLoadText(
        "\xEF\xBB\xBF; comment\r\n"
        "\"Orphan\"=dword:1\r\n"                       // before any key: skipped
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld]\r\n"
        "\"PURIFY_MODE\"=dword:00000001\r\n"
        "  \"Spaced\" = dword:ffffffff  \r\n"
        "\"ProductDir\"=\"C:\\\\Program Files\\\\x \\\"q\\\"\"\n"
        "@=\"default\"\n"
        "\"Blob\"=hex:01,2,ff\n"
        "\"Empty\"=hex:\n"
        "# another comment\n"
        "\"TooLong\"=dword:123456789\n"
        "\"NoDigits\"=dword:\n"
        "\"BadHex\"=hex:01,,02\n"
        "\"Trailing\"=\"x\" junk\n"
        "\"Unterminated\"=\"abc\n"
        "\"BadEscape\"=\"a\\qb\"\n"
        "\"NoEquals\" dword:1\n"
        "\"Unknown\"=qword:1\n"
        "garbage line\n"
        "[HKEY_NOWHERE\\X]\n"
        "\"Lost\"=dword:1\n"
        "[HKCU\\A\\B\n"
        "\"AlsoLost\"=dword:1\n");

    uint32_t d = 0;
    EXPECT_TRUE(settingsGetDword("HKLM", kKern, "PURIFY_MODE", d));
    EXPECT_EQ(1u, d);
    EXPECT_TRUE(settingsGetDword("HKLM", kKern, "Spaced", d));
    EXPECT_EQ(0xFFFFFFFFu, d);
    std::u16string s;
    EXPECT_TRUE(settingsGetString("HKLM", kKern, "ProductDir", s));
    EXPECT_EQ(u"C:\\Program Files\\x \"q\"", s);
    EXPECT_TRUE(settingsGetString("HKLM", kKern, "", s));
    EXPECT_EQ(u"default", s);
    std::vector<uint8_t> b;
    EXPECT_TRUE(settingsGetBinary("HKLM", kKern, "Blob", b));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 0xFF}), b);
    EXPECT_TRUE(settingsGetBinary("HKLM", kKern, "Empty", b));
    EXPECT_TRUE(b.empty());

    for (const char* bad : {"Orphan", "TooLong", "NoDigits", "BadHex", "Trailing", "Unterminated",
                            "BadEscape", "NoEquals", "Unknown"}) {
        SettingValue v;
        EXPECT_FALSE(settingsGetValue("HKLM", kKern, bad, v)) << bad;
    }
    EXPECT_FALSE(settingsKeyExists("HKCU", "A\\B"));
    EXPECT_EQ((std::vector<std::string>{"", "Blob", "Empty", "ProductDir", "PURIFY_MODE", "Spaced"}),
              settingsEnumValues("HKLM", kKern));
}

TEST_F(SettingsStore, MalformedUtf8InQuotedTextBecomesOneReplacementPerByte)
{
    settingsLoadText(
        "[HKEY_CURRENT_USER\\U]\n"
        "\"a\xC3\"=\"\xE0\x80\x80|\xF5\x80\x80\x80|\xED\xA0\x80|\xC3\\n|\xF0\x9F\x98\x80|\xC3\"\n");
    std::u16string s;
    ASSERT_TRUE(settingsGetString("HKCU", "U", "a\xEF\xBF\xBD", s));
    EXPECT_EQ(u"\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\n|\U0001F600|\uFFFD", s);
    EXPECT_EQ((std::vector<std::string>{"a\xEF\xBF\xBD"}), settingsEnumValues("HKCU", "U"));

    // A name given through the calls is written the same way.
    settingsClear();
    settingsSetDword("HKCU", "N", "n\xC3\x28", 1);
    EXPECT_EQ("; Tavolin settings\n\n[HKEY_CURRENT_USER\\N]\n\"n\xEF\xBF\xBD(\"=dword:00000001\n", settingsToText());
}

TEST_F(SettingsStore, KeysRootsAndNamesAreCaseInsensitive)
{
    settingsLoadText("[hkey_local_machine\\Software\\A]\n\"Name\"=dword:7\n");
    uint32_t d = 0;
    EXPECT_TRUE(settingsGetDword("HKEY_LOCAL_MACHINE", "SOFTWARE\\a", "NAME", d));
    EXPECT_EQ(7u, d);
    EXPECT_TRUE(settingsGetDword("hklm", "\\software\\\\A\\", "name", d));
    EXPECT_FALSE(settingsGetDword("HKCU", "Software\\A", "Name", d));  // other root
    EXPECT_FALSE(settingsGetDword("HKXX", "Software\\A", "Name", d));
    EXPECT_FALSE(settingsGetDword("HKLM", "Software", "Name", d));     // parent key

    // A setter with different case replaces the value and keeps the first spelling.
    EXPECT_TRUE(settingsSetDword("HKLM", "SOFTWARE\\A", "NAME", 9));
    EXPECT_TRUE(settingsGetDword("HKLM", "software\\a", "name", d));
    EXPECT_EQ(9u, d);
    EXPECT_EQ(std::vector<std::string>{"Name"}, settingsEnumValues("HKLM", "software\\a"));
}

TEST_F(SettingsStore, KindsDoNotConvert)
{
    settingsSetString("HKCR", "K", "v", u"1");
    uint32_t d = 5;
    EXPECT_FALSE(settingsGetDword("HKCR", "K", "v", d));
    EXPECT_EQ(5u, d);
    settingsSetDword("HKCR", "K", "w", 1);
    std::u16string s = u"keep";
    EXPECT_FALSE(settingsGetString("HKCR", "K", "w", s));
    EXPECT_EQ(u"keep", s);
}

TEST_F(SettingsStore, MissingEverythingWithoutFile)
{
    uint32_t d = 3;
    std::u16string s = u"x";
    EXPECT_FALSE(settingsGetDword("HKLM", kKern, "PURIFY_MODE", d));
    EXPECT_FALSE(settingsGetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", s));
    EXPECT_EQ(3u, d);
    EXPECT_EQ(u"x", s);
    EXPECT_FALSE(settingsLoadFile("/nonexistent/dir/settings.txt"));
    EXPECT_FALSE(settingsGetDword("HKLM", kKern, "PURIFY_MODE", d));
}

TEST_F(SettingsStore, OverridesAndRecursiveKeyDeletion)
{
    EXPECT_FALSE(settingsSetDword("HKLM", "", "x", 1));        // no key
    EXPECT_FALSE(settingsSetDword("HKQQ", "A", "x", 1));       // no root
    EXPECT_FALSE(settingsSetDword("HKLM", "A\x01" "B", "x", 1));  // control character
    EXPECT_TRUE(settingsSetDword("HKCR", "CLSID\\{1}\\InprocServer32", "", 1));
    EXPECT_TRUE(settingsSetString("HKCR", "CLSID\\{1}", "", u"Name"));
    EXPECT_TRUE(settingsSetString("HKCR", "CLSID\\{2}", "", u"Other"));
    EXPECT_TRUE(settingsSetString("HKCR", "CLSIDX", "", u"Sibling"));

    EXPECT_TRUE(settingsKeyExists("HKCR", "clsid"));  // implied by its subkeys
    EXPECT_EQ((std::vector<std::string>{"{1}", "{2}"}), settingsEnumKeys("HKCR", "CLSID"));
    EXPECT_EQ((std::vector<std::string>{"CLSID", "CLSIDX"}), settingsEnumKeys("HKCR", ""));

    EXPECT_TRUE(settingsDeleteValue("HKCR", "CLSID\\{2}", ""));
    EXPECT_FALSE(settingsDeleteValue("HKCR", "CLSID\\{2}", ""));
    EXPECT_TRUE(settingsKeyExists("HKCR", "CLSID\\{2}"));  // the key stays

    EXPECT_TRUE(settingsDeleteKey("HKCR", "clsid\\{1}"));
    EXPECT_FALSE(settingsKeyExists("HKCR", "CLSID\\{1}\\InprocServer32"));
    EXPECT_TRUE(settingsKeyExists("HKCR", "CLSID\\{2}"));
    EXPECT_TRUE(settingsDeleteKey("HKCR", "CLSID"));
    EXPECT_FALSE(settingsKeyExists("HKCR", "CLSID"));
    EXPECT_TRUE(settingsKeyExists("HKCR", "CLSIDX"));  // a prefix is not a subkey
    EXPECT_FALSE(settingsDeleteKey("HKCR", "CLSID"));
}

// The writer's output is part of the user-visible file format.
TEST_F(SettingsStore, SavedTextIsExactAndRoundTrips)
{
    settingsSetDword("HKLM", kKern, "PURIFY_MODE", 1);
    settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", u"C:\\x\ty\"z\"\x01\xE4\xD800");
    settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "", u"\U0001F600");
    settingsSetBinary("HKCU", "B", "Bin", {0x00, 0xAB});
    settingsSetBinary("HKCU", "B", "a \"quoted\" name", {});
    settingsSetString("HKCR", "Empty", "", u"");

    const std::string expected =
        "; Tavolin settings\n"
        "\n[HKEY_CLASSES_ROOT\\Empty]\n"
        "@=\"\"\n"
        "\n[HKEY_CURRENT_USER\\B]\n"
        "\"a \\\"quoted\\\" name\"=hex:\n"
        "\"Bin\"=hex:00,ab\n"
        "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvent\\VRX\\4.1]\n"
        "@=\"\xF0\x9F\x98\x80\"\n"
        "\"ProductDir\"=\"C:\\\\x\\ty\\\"z\\\"\\u0001\xC3\xA4\\ud800\"\n"
        "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld]\n"
        "\"PURIFY_MODE\"=dword:00000001\n";
    std::string text = settingsToText();
    EXPECT_EQ(expected, text);

    std::string path = tempPath("roundtrip");
    ASSERT_TRUE(settingsSaveFile(path));
    EXPECT_EQ(expected, readFile(path));
    settingsClear();
    ASSERT_TRUE(settingsLoadFile(path));
    EXPECT_EQ(expected, settingsToText());
    std::u16string s;
    EXPECT_TRUE(settingsGetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", s));
    EXPECT_EQ(u"C:\\x\ty\"z\"\x01\xE4\xD800", s);
    std::remove(path.c_str());
}

TEST_F(SettingsStore, ReloadAndSaveUseTheEnvironmentFile)
{
    std::string path = tempPath("env");
    writeFile(path, "[HKLM\\S]\n\"v\"=dword:2a\n");
    const char* old = std::getenv("TAVOLIN_SETTINGS");
    std::string saved = old ? old : "";
    setenv("TAVOLIN_SETTINGS", path.c_str(), 1);

    ASSERT_TRUE(settingsReload());
    uint32_t d = 0;
    EXPECT_TRUE(settingsGetDword("HKLM", "S", "v", d));
    EXPECT_EQ(42u, d);
    settingsSetDword("HKLM", "S", "w", 3);
    ASSERT_TRUE(settingsSave());
    settingsClear();
    ASSERT_TRUE(settingsReload());
    EXPECT_TRUE(settingsGetDword("HKLM", "S", "w", d));
    EXPECT_EQ(3u, d);

    setenv("TAVOLIN_SETTINGS", "/nonexistent/x.txt", 1);
    EXPECT_FALSE(settingsReload());
    EXPECT_FALSE(settingsGetDword("HKLM", "S", "v", d));
    EXPECT_FALSE(settingsSave());  // directory does not exist

    unsetenv("TAVOLIN_SETTINGS");
    EXPECT_TRUE(settingsReload());
    EXPECT_FALSE(settingsSave());
    if (old) setenv("TAVOLIN_SETTINGS", saved.c_str(), 1);
    std::remove(path.c_str());
}
