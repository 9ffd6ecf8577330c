#include <gtest/gtest.h>

#include "co/CoSettings.h"
#include "platform/settings_store.h"

namespace {

class SettingsReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        tvp::settingsClear();
        resetSettingsCaches();
    }
    void TearDown() override
    {
        tvp::settingsClear();
        resetSettingsCaches();
    }
    static void kern(const char* name, DWORD v) { setKern("HKLM", name, v); }
    static void kernUser(const char* name, DWORD v) { setKern("HKCU", name, v); }
    static void setKern(const char* root, const std::string& sub, DWORD v)
    {
        std::string path = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld\\" + sub;
        size_t bs = path.rfind('\\');
        tvp::settingsSetDword(root, path.substr(0, bs), path.substr(bs + 1), v);
    }
};

}  // namespace

TEST_F(SettingsReaders, DefaultsWithoutAnySetting)
{
    EXPECT_TRUE(isSkipModuleInfo());
    EXPECT_FALSE(isTraceCallsActive());
    EXPECT_TRUE(isPxodUsed());
    EXPECT_EQ(0u, getCreateThreadTimeOut());
    EXPECT_FALSE(isOnlineContextUsed());
    EXPECT_FALSE(isMemoryCheckDisabled());
    EXPECT_TRUE(keepProjectBackupFile());
    EXPECT_EQ(0u, getTypeSystemSetting());
    EXPECT_EQ(u"", getConfigDir());
    EXPECT_EQ(u"", getConvertDir());
    EXPECT_EQ(u"Microsoft.Jet.OLEDB.4.0", getDataBaseProvider());
    EXPECT_FALSE(isDataBaseProviderES());
    EXPECT_EQ(0, getSelectedLanguageName().length());
    EXPECT_EQ(0, getEnvironmentPlatform());
    DWORD count = 77, time = 88;
    EXPECT_FALSE(getObjCacheLimits(&count, &time));
    EXPECT_EQ(77u, count);
    EXPECT_EQ(88u, time);
}

TEST_F(SettingsReaders, FlagValuesAndTheirScopes)
{
    kern("SkipModuleInfo", 0);
    kern("tracecalls\\active", 1);
    kern("usePXOD\\DoNotUsePXOD", 2);
    kern("CreateThreadTimeOut", 1500);
    kernUser("UseOnlineContext", 1);
    kernUser("DisableMemoryCheck", 2);  // only 1 counts
    kernUser("KeepProjectBackupFile", 0);
    kernUser("STCompiler\\TypeSystem", 3);
    EXPECT_FALSE(isSkipModuleInfo());
    EXPECT_TRUE(isTraceCallsActive());
    EXPECT_FALSE(isPxodUsed());
    EXPECT_EQ(1500u, getCreateThreadTimeOut());
    EXPECT_TRUE(isOnlineContextUsed());
    EXPECT_FALSE(isMemoryCheckDisabled());
    EXPECT_FALSE(keepProjectBackupFile());
    EXPECT_EQ(3u, getTypeSystemSetting());

    // User-scope values are not read from the machine root and vice versa.
    tvp::settingsClear();
    resetSettingsCaches();
    kern("UseOnlineContext", 1);
    kernUser("tracecalls\\active", 1);
    EXPECT_FALSE(isOnlineContextUsed());
    EXPECT_FALSE(isTraceCallsActive());
}

TEST_F(SettingsReaders, CachedReadersKeepTheirFirstAnswer)
{
    EXPECT_TRUE(isSkipModuleInfo());
    kern("SkipModuleInfo", 0);
    kern("CreateThreadTimeOut", 5);
    EXPECT_TRUE(isSkipModuleInfo());            // cached
    EXPECT_EQ(5u, getCreateThreadTimeOut());    // not cached
    EXPECT_EQ(u"", getConfigDir());
    tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", u"C:\\P");
    EXPECT_EQ(u"", getConfigDir());
}

TEST_F(SettingsReaders, ObjCacheLimitsWriteCountBeforeFailing)
{
    kern("objcache\\count_max", 10);
    DWORD count = 0, time = 99;
    EXPECT_FALSE(getObjCacheLimits(&count, &time));
    EXPECT_EQ(10u, count);
    EXPECT_EQ(99u, time);
    kern("objcache\\time_max_seconds", 60);
    EXPECT_TRUE(getObjCacheLimits(&count, &time));
    EXPECT_EQ(60u, time);
}

TEST_F(SettingsReaders, DirectoriesComeFromTheProductDirectory)
{
    tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld", "ConfigDir", u"cfg");
    EXPECT_EQ(u"", getConfigDir());  // no product directory: ConfigDir is not used
    resetSettingsCaches();

    tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", u"C:\\Prod");
    EXPECT_EQ(u"C:\\Prod\\cfg", getConfigDir());
    EXPECT_EQ(u"C:\\Prod\\", getConvertDir());  // no ConvertDir value

    resetSettingsCaches();
    std::u16string longDir(300, u'd');
    tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", longDir);
    EXPECT_EQ(259u, getConfigDir().size());
}

TEST_F(SettingsReaders, DataBaseProviderAndLanguage)
{
    tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "DataBaseProvider", u"es");
    tvp::settingsSetString("HKCU", "SOFTWARE\\Korvent\\VRX\\4.1", "SelectedLanguage", u"Deutsch");
    tvp::settingsSetDword("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld", "EnvironmentPlatform", 0x1234);
    DWORD dw = 0;
    EXPECT_EQ(u"es", getDataBaseProvider());
    EXPECT_TRUE(isDataBaseProviderES());
    EXPECT_STREQ("Deutsch", getSelectedLanguageName().c_str());
    EXPECT_EQ(0, CCoKernfeldSettings::getValue(1, String("EnvironmentPlatform"), &dw));
    EXPECT_EQ(0x34, getEnvironmentPlatform());
}

TEST_F(SettingsReaders, GenericAccessResultsAndScopes)
{
    DWORD v = 5;
    std::u16string s = u"keep";
    EXPECT_EQ(TV_SETTING_E_NOTFOUND, CCoSettings::getValue(1, "SOFTWARE\\X\\v", &v));
    EXPECT_EQ(5u, v);
    EXPECT_EQ(E_INVALIDARG, CCoSettings::getValue(7, "SOFTWARE\\X\\v", &v));  // scope without storage
    EXPECT_EQ(E_INVALIDARG, CCoSettings::getValue(1, "v", &v));              // no key
    EXPECT_EQ(E_INVALIDARG, CCoSettings::getValue(1, nullptr, &v));

    EXPECT_EQ(0, CCoSettings::setValue(1, "SOFTWARE\\X\\v", 9));
    EXPECT_EQ(0, CCoSettings::getValue(0, "software\\x\\V", &v));  // scopes 0 and 1 share a root
    EXPECT_EQ(9u, v);
    EXPECT_EQ(TV_SETTING_E_NOTFOUND, CCoSettings::getValue(2, "SOFTWARE\\X\\v", &v));
    EXPECT_EQ(TV_SETTING_E_WRONGKIND, CCoSettings::getString(1, "SOFTWARE\\X\\v", &s));
    EXPECT_EQ(u"keep", s);

    // Trace scopes keep single-component names below their own key.
    EXPECT_EQ(0, CCoSettings::setValue(12, "silent-trace", 1));
    uint32_t raw = 0;
    EXPECT_TRUE(tvp::settingsGetDword("HKCU", "SOFTWARE\\Korvent\\VRX\\4.1\\Trace", "silent-trace", raw));

    EXPECT_EQ(0, CCoSettings::setString(1, "SOFTWARE\\X\\Sub\\s", u"t"));
    std::vector<std::u16string> names;
    EXPECT_EQ(0, CCoSettings::enumKeys(1, "SOFTWARE\\X", names));
    EXPECT_EQ(std::vector<std::u16string>{u"Sub"}, names);
    names.clear();
    EXPECT_EQ(0, CCoSettings::enumValues(1, "SOFTWARE\\X", names));
    EXPECT_EQ(std::vector<std::u16string>{u"v"}, names);
    EXPECT_EQ(E_ACCESSDENIED, CCoSettings::deleteKey(1, "SOFTWARE\\X", false));
    EXPECT_EQ(0, CCoSettings::deleteValue(1, "SOFTWARE\\X\\v"));
    EXPECT_EQ(TV_SETTING_E_NOTFOUND, CCoSettings::deleteValue(1, "SOFTWARE\\X\\v"));
    EXPECT_EQ(0, CCoSettings::deleteKey(1, "SOFTWARE\\X", true));
    EXPECT_EQ(TV_SETTING_E_NOTFOUND, CCoSettings::enumKeys(1, "SOFTWARE\\X", names));
}

TEST_F(SettingsReaders, WideStringOverloadsLeaveValueOnFailure)
{
    WString w(u"keep");
    EXPECT_EQ(TV_SETTING_E_NOTFOUND, CCoKernfeldSettings::getString(1, String("ConfigDir"), &w));
    EXPECT_EQ(u"keep", w.u16string());
    tvp::settingsSetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld", "ConfigDir", u"c\xE4");
    EXPECT_EQ(0, CCoKernfeldSettings::getString(1, "ConfigDir", &w));
    EXPECT_EQ(u"c\xE4", w.u16string());
}
