// Configuration readers over the settings store.
//
// A value is addressed by a scope and one backslash path whose last
// component names the value ("SOFTWARE\Korvent\VRX\4.1\ProductDir" is the
// value "ProductDir" of the key "SOFTWARE\Korvent\VRX\4.1").
//
// Scopes and where they live in the settings store:
//   scope 0, 1   HKEY_LOCAL_MACHINE, path as given (machine-wide settings)
//   scope 2      HKEY_CURRENT_USER, path as given (per-user settings)
//   scope 10-12  HKEY_CURRENT_USER below "SOFTWARE\Korvent\VRX\4.1\Trace"
//                (trace settings: "silent-trace", "debug-trace\<id>")
//   any other    no storage: every read fails with E_INVALIDARG
//
// Results: 0 success; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) (0x80070002)
// when the value or key is missing; 0x8007000D when it has another kind;
// E_INVALIDARG for an unknown scope or an unusable path.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "co/tvstring.h"
#include "co/tvwstring.h"
#include "platform/wintypes.h"

using SettingScope = int32_t;

constexpr HRESULT TV_SETTING_E_NOTFOUND = HRESULT(0x80070002u);
constexpr HRESULT TV_SETTING_E_WRONGKIND = HRESULT(0x8007000Du);

// The String and WString forms of a settings reader's getValue and
// getString, in terms of its own forms with a C-string path and a
// std::u16string value. A reader class derives from it and brings the
// forms in with using-declarations.
template <class Reader>
class CoSettingsForms {
public:
    static int32_t getValue(SettingScope scope, const String& path, DWORD* value)
    {
        return Reader::getValue(scope, path.c_str(), value);
    }
    static int32_t getString(SettingScope scope, const String& path, std::u16string* value)
    {
        return Reader::getString(scope, path.c_str(), value);
    }
    // On failure the value is left unchanged.
    static int32_t getString(SettingScope scope, const char* path, WString* value)
    {
        std::u16string v;
        int32_t r = value ? Reader::getString(scope, path, &v) : E_INVALIDARG;
        if (r == 0) *value = v;
        return r;
    }
    static int32_t getString(SettingScope scope, const String& path, WString* value)
    {
        return getString(scope, path.c_str(), value);
    }
};

class CCoSettings : public CoSettingsForms<CCoSettings> {
public:
    virtual ~CCoSettings();

    using CoSettingsForms::getString;
    using CoSettingsForms::getValue;
    static int32_t getValue(SettingScope scope, const char* path, DWORD* value);
    // On failure the value is left unchanged.
    static int32_t getString(SettingScope scope, const char* path, std::u16string* value);
    static int32_t getBinary(SettingScope scope, const char* path, std::vector<uint8_t>* value);

    static int32_t setValue(SettingScope scope, const char* path, DWORD value);
    static int32_t setString(SettingScope scope, const char* path, const std::u16string& value);
    static int32_t setBinary(SettingScope scope, const char* path, const std::vector<uint8_t>& value);
    // The path names a key. Without `recursive` a key with subkeys is kept
    // and E_ACCESSDENIED returned.
    static int32_t deleteKey(SettingScope scope, const char* path, bool recursive);
    static int32_t deleteValue(SettingScope scope, const char* path);
    // The path names a key; the names are appended to `names`.
    static int32_t enumValues(SettingScope scope, const char* path, std::vector<std::u16string>& names);
    static int32_t enumKeys(SettingScope scope, const char* path, std::vector<std::u16string>& names);
};

// The same below "SOFTWARE\Korvent\VRX\4.1\Kernfeld\".
class CCoKernfeldSettings : public CoSettingsForms<CCoKernfeldSettings> {
public:
    virtual ~CCoKernfeldSettings();

    using CoSettingsForms::getString;
    using CoSettingsForms::getValue;
    static int32_t getValue(SettingScope scope, const char* subPath, DWORD* value);
    static int32_t getString(SettingScope scope, const char* subPath, std::u16string* value);
};

// ---------------------------------------------------------------------------
// Readers. "Cached" readers keep their first answer for the life of the
// process; resetSettingsCaches() forgets them (for tests only).

bool isSkipModuleInfo();          // true unless "SkipModuleInfo" reads 0; cached
bool isTraceCallsActive();        // "tracecalls\active" == 1; cached
bool isPxodUsed();                // true unless "usePXOD\DoNotUsePXOD" is non-zero
// True only when both values read; countMax is written after the first read.
bool getObjCacheLimits(DWORD* countMax, DWORD* timeMaxSeconds);
DWORD getCreateThreadTimeOut();   // 0 when absent
bool isOnlineContextUsed();       // "UseOnlineContext" == 1 (user scope); cached
bool isMemoryCheckDisabled();     // "DisableMemoryCheck" == 1 (user scope); cached
bool keepProjectBackupFile();     // true unless "KeepProjectBackupFile" reads 0; cached
// "STCompiler\TypeSystem" (user scope), 0 when absent; cached.
DWORD getTypeSystemSetting();

// Product directory + "\" + "ConfigDir" value (or just the product directory
// and "\" when there is no "ConfigDir"); empty without a product directory.
// At most 259 units; cached.
std::u16string getConfigDir();
// The same with the "ConvertDir" value.
std::u16string getConvertDir();
// "SOFTWARE\Korvent\VRX\4.1\DataBaseProvider", else "Microsoft.Jet.OLEDB.4.0"; cached.
std::u16string getDataBaseProvider();
bool isDataBaseProviderES();      // the provider upper-cased is "ES"; cached

// The selected user-interface language: the string "SelectedLanguage" of
// HKEY_CURRENT_USER\SOFTWARE\Korvent\VRX\4.1 (in the ANSI code page);
// empty when unset.
String getSelectedLanguageName();
// The DWORD "EnvironmentPlatform" of the Kernfeld key (machine scope), low
// byte; 0 when absent; cached.
uint8_t getEnvironmentPlatform();

void resetSettingsCaches();
