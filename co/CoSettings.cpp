#include "co/CoSettings.h"

#include <atomic>
#include <cstring>

#include "platform/settings_store.h"
#include "platform/text.h"

namespace {

const char kVrxKey[] = "SOFTWARE\\Korvent\\VRX\\4.1";
const char kKernfeld[] = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld\\";
const char kTraceBase[] = "SOFTWARE\\Korvent\\VRX\\4.1\\Trace";

struct Place {
    const char* root = nullptr;
    std::string key;    // key path
    std::string value;  // value name (empty for key operations)
};

// Root and base key of a scope; false for scopes without storage.
bool scopeBase(SettingScope scope, const char*& root, const char*& base)
{
    switch (scope) {
    case 0:
    case 1: root = "HKLM"; base = ""; return true;
    case 2: root = "HKCU"; base = ""; return true;
    case 10:
    case 11:
    case 12: root = "HKCU"; base = kTraceBase; return true;
    default: return false;
    }
}

std::string joinKey(const char* base, const std::string& rest)
{
    if (!*base) return rest;
    if (rest.empty()) return base;
    return std::string(base) + "\\" + rest;
}

// A value path: the last component is the value name.
bool valuePlace(SettingScope scope, const char* path, Place& p)
{
    const char* base;
    if (!path || !scopeBase(scope, p.root, base)) return false;
    std::string s(path);
    while (!s.empty() && s.back() == '\\') s.pop_back();
    size_t bs = s.rfind('\\');
    p.value = bs == std::string::npos ? s : s.substr(bs + 1);
    p.key = joinKey(base, bs == std::string::npos ? std::string() : s.substr(0, bs));
    return !p.value.empty() && !p.key.empty();
}

bool keyPlace(SettingScope scope, const char* path, Place& p)
{
    const char* base;
    if (!path || !scopeBase(scope, p.root, base)) return false;
    p.key = joinKey(base, path);
    return true;
}

int32_t readResult(const Place& p, tvp::SettingKind want, tvp::SettingValue& v)
{
    if (!tvp::settingsGetValue(p.root, p.key, p.value, v)) return TV_SETTING_E_NOTFOUND;
    return v.kind == want ? 0 : TV_SETTING_E_WRONGKIND;
}

std::u16string widen(const std::string& s)
{
    std::u16string r;
    for (unsigned char c : s) r += char16_t(c);
    return r;
}

// --- caches -------------------------------------------------------------

// -1: not read yet; else the answer. Racing first readers compute the same.
struct FlagCache {
    std::atomic<int> state{-1};
    template <class F>
    bool get(F read)
    {
        int s = state.load(std::memory_order_acquire);
        if (s < 0) {
            s = read() ? 1 : 0;
            state.store(s, std::memory_order_release);
        }
        return s != 0;
    }
};

struct DwordCache {
    std::atomic<bool> ready{false};
    std::atomic<DWORD> value{0};
    template <class F>
    DWORD get(F read)
    {
        if (!ready.load(std::memory_order_acquire)) {
            value.store(read(), std::memory_order_relaxed);
            ready.store(true, std::memory_order_release);
        }
        return value.load(std::memory_order_relaxed);
    }
};

// A text of at most 259 units; the first writer wins and later callers
// read its result.
struct TextCache {
    enum { kEmpty = 0, kFilling = 1, kReady = 2 };
    std::atomic<int> state{kEmpty};
    char16_t buf[260] = {};
    template <class F>
    std::u16string get(F compute)
    {
        if (state.load(std::memory_order_acquire) == kReady) return buf;
        std::u16string v = compute();
        if (v.size() > 259) v.resize(259);
        int expected = kEmpty;
        if (state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(buf, v.data(), v.size() * sizeof(char16_t));
            buf[v.size()] = 0;
            state.store(kReady, std::memory_order_release);
        } else if (expected == kReady) {
            return buf;
        }
        return v;
    }
    void reset() { state.store(kEmpty); }
};

// Plain aggregates with constant initialisation: usable at any time and
// never destroyed before other static objects.
FlagCache g_skipModuleInfo, g_traceCalls, g_onlineContext, g_memoryCheck, g_keepBackup;
FlagCache g_providerES;
DwordCache g_typeSystem, g_envPlatform;
TextCache g_configDir, g_convertDir, g_provider;

bool kernfeldDword(SettingScope scope, const char* name, DWORD& v)
{
    return CCoKernfeldSettings::getValue(scope, name, &v) == 0;
}

std::u16string productSubDir(const char* subValue)
{
    std::u16string dir;
    std::string path = std::string(kVrxKey) + "\\ProductDir";
    if (CCoSettings::getString(1, path.c_str(), &dir) != 0) return std::u16string();
    dir += u'\\';
    std::u16string sub;
    if (CCoKernfeldSettings::getString(1, subValue, &sub) == 0) dir += sub;
    return dir;
}

}  // namespace

// ---------------------------------------------------------------------------

CCoSettings::~CCoSettings() = default;
CCoKernfeldSettings::~CCoKernfeldSettings() = default;

int32_t CCoSettings::getValue(SettingScope scope, const char* path, DWORD* value)
{
    Place p;
    if (!value || !valuePlace(scope, path, p)) return E_INVALIDARG;
    tvp::SettingValue v;
    int32_t r = readResult(p, tvp::SettingKind::Dword, v);
    if (r == 0) *value = v.dword;
    return r;
}

int32_t CCoSettings::getString(SettingScope scope, const char* path, std::u16string* value)
{
    Place p;
    if (!value || !valuePlace(scope, path, p)) return E_INVALIDARG;
    tvp::SettingValue v;
    int32_t r = readResult(p, tvp::SettingKind::String, v);
    if (r == 0) *value = v.text;
    return r;
}

int32_t CCoSettings::getBinary(SettingScope scope, const char* path, std::vector<uint8_t>* value)
{
    Place p;
    if (!value || !valuePlace(scope, path, p)) return E_INVALIDARG;
    tvp::SettingValue v;
    int32_t r = readResult(p, tvp::SettingKind::Binary, v);
    if (r == 0) *value = v.bytes;
    return r;
}

int32_t CCoSettings::setValue(SettingScope scope, const char* path, DWORD value)
{
    Place p;
    if (!valuePlace(scope, path, p)) return E_INVALIDARG;
    return tvp::settingsSetDword(p.root, p.key, p.value, value) ? 0 : E_INVALIDARG;
}

int32_t CCoSettings::setString(SettingScope scope, const char* path, const std::u16string& value)
{
    Place p;
    if (!valuePlace(scope, path, p)) return E_INVALIDARG;
    return tvp::settingsSetString(p.root, p.key, p.value, value) ? 0 : E_INVALIDARG;
}

int32_t CCoSettings::setBinary(SettingScope scope, const char* path, const std::vector<uint8_t>& value)
{
    Place p;
    if (!valuePlace(scope, path, p)) return E_INVALIDARG;
    return tvp::settingsSetBinary(p.root, p.key, p.value, value) ? 0 : E_INVALIDARG;
}

int32_t CCoSettings::deleteKey(SettingScope scope, const char* path, bool recursive)
{
    Place p;
    if (!keyPlace(scope, path, p) || p.key.empty()) return E_INVALIDARG;
    if (!tvp::settingsKeyExists(p.root, p.key)) return TV_SETTING_E_NOTFOUND;
    if (!recursive && !tvp::settingsEnumKeys(p.root, p.key).empty()) return E_ACCESSDENIED;
    return tvp::settingsDeleteKey(p.root, p.key) ? 0 : TV_SETTING_E_NOTFOUND;
}

int32_t CCoSettings::deleteValue(SettingScope scope, const char* path)
{
    Place p;
    if (!valuePlace(scope, path, p)) return E_INVALIDARG;
    return tvp::settingsDeleteValue(p.root, p.key, p.value) ? 0 : TV_SETTING_E_NOTFOUND;
}

int32_t CCoSettings::enumValues(SettingScope scope, const char* path, std::vector<std::u16string>& names)
{
    Place p;
    if (!keyPlace(scope, path, p)) return E_INVALIDARG;
    if (!tvp::settingsKeyExists(p.root, p.key)) return TV_SETTING_E_NOTFOUND;
    for (const std::string& n : tvp::settingsEnumValues(p.root, p.key)) names.push_back(widen(n));
    return 0;
}

int32_t CCoSettings::enumKeys(SettingScope scope, const char* path, std::vector<std::u16string>& names)
{
    Place p;
    if (!keyPlace(scope, path, p)) return E_INVALIDARG;
    if (!tvp::settingsKeyExists(p.root, p.key)) return TV_SETTING_E_NOTFOUND;
    for (const std::string& n : tvp::settingsEnumKeys(p.root, p.key)) names.push_back(widen(n));
    return 0;
}

int32_t CCoKernfeldSettings::getValue(SettingScope scope, const char* subPath, DWORD* value)
{
    if (!subPath) return E_INVALIDARG;
    return CCoSettings::getValue(scope, (std::string(kKernfeld) + subPath).c_str(), value);
}

int32_t CCoKernfeldSettings::getString(SettingScope scope, const char* subPath, std::u16string* value)
{
    if (!subPath) return E_INVALIDARG;
    return CCoSettings::getString(scope, (std::string(kKernfeld) + subPath).c_str(), value);
}

// ---------------------------------------------------------------------------

bool isSkipModuleInfo()
{
    return g_skipModuleInfo.get([] {
        DWORD v = 0;
        return !(kernfeldDword(1, "SkipModuleInfo", v) && v == 0);
    });
}

bool isTraceCallsActive()
{
    return g_traceCalls.get([] {
        DWORD v = 0;
        return kernfeldDword(1, "tracecalls\\active", v) && v == 1;
    });
}

bool isPxodUsed()
{
    DWORD v = 0;
    return !(kernfeldDword(1, "usePXOD\\DoNotUsePXOD", v) && v != 0);
}

bool getObjCacheLimits(DWORD* countMax, DWORD* timeMaxSeconds)
{
    if (!countMax || !timeMaxSeconds) return false;
    DWORD v = 0;
    if (!kernfeldDword(1, "objcache\\count_max", v)) return false;
    *countMax = v;
    if (!kernfeldDword(1, "objcache\\time_max_seconds", v)) return false;
    *timeMaxSeconds = v;
    return true;
}

DWORD getCreateThreadTimeOut()
{
    DWORD v = 0;
    return kernfeldDword(1, "CreateThreadTimeOut", v) ? v : 0;
}

bool isOnlineContextUsed()
{
    return g_onlineContext.get([] {
        DWORD v = 0;
        return kernfeldDword(2, "UseOnlineContext", v) && v == 1;
    });
}

bool isMemoryCheckDisabled()
{
    return g_memoryCheck.get([] {
        DWORD v = 0;
        return kernfeldDword(2, "DisableMemoryCheck", v) && v == 1;
    });
}

bool keepProjectBackupFile()
{
    return g_keepBackup.get([] {
        DWORD v = 0;
        return !(kernfeldDword(2, "KeepProjectBackupFile", v) && v == 0);
    });
}

DWORD getTypeSystemSetting()
{
    return g_typeSystem.get([] {
        DWORD v = 0;
        return kernfeldDword(2, "STCompiler\\TypeSystem", v) ? v : DWORD(0);
    });
}

std::u16string getConfigDir()
{
    return g_configDir.get([] { return productSubDir("ConfigDir"); });
}

std::u16string getConvertDir()
{
    return g_convertDir.get([] { return productSubDir("ConvertDir"); });
}

std::u16string getDataBaseProvider()
{
    return g_provider.get([] {
        std::u16string v;
        std::string path = std::string(kVrxKey) + "\\DataBaseProvider";
        if (CCoSettings::getString(1, path.c_str(), &v) != 0) v = u"Microsoft.Jet.OLEDB.4.0";
        return v;
    });
}

bool isDataBaseProviderES()
{
    return g_providerES.get([] {
        std::u16string p = getDataBaseProvider();
        for (char16_t& c : p)
            if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
        return p == u"ES";
    });
}

String getSelectedLanguageName()
{
    std::u16string v;
    std::string path = std::string(kVrxKey) + "\\SelectedLanguage";
    if (CCoSettings::getString(2, path.c_str(), &v) != 0) return String();
    return String(tvp::wideToAnsi(v));
}

uint8_t getEnvironmentPlatform()
{
    return uint8_t(g_envPlatform.get([] {
        DWORD v = 0;
        return kernfeldDword(1, "EnvironmentPlatform", v) ? v : DWORD(0);
    }));
}

void resetSettingsCaches()
{
    for (FlagCache* c : {&g_skipModuleInfo, &g_traceCalls, &g_onlineContext, &g_memoryCheck,
                         &g_keepBackup, &g_providerES})
        c->state.store(-1);
    g_typeSystem.ready.store(false);
    g_envPlatform.ready.store(false);
    g_configDir.reset();
    g_convertDir.reset();
    g_provider.reset();
}
