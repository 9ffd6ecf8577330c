// The server module: registration into the settings file, the class
// factory, the lock count, and the library libtavolin.so as a client loads
// it (exports, CoCreateInstance through the registration).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "co/GlobTools.h"
#include "platform/comserver.h"
#include "platform/guid.h"
#include "platform/settings_store.h"
#include "platform/text.h"
#include "tools/md/tavolin/IMC_Tavolin.h"
#include "tools/md/tavolin/MdModule.h"

namespace {

const std::string kLibrary = std::string(TV_BINARY_DIR) + "/tools/md/tavolin/libtavolin.so";
const char kRoot[] = "HKEY_CLASSES_ROOT";
const char kClassKey[] = "CLSID\\{B50A2AE2-3DB3-11d3-8F54-00105A2DC995}";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string value(const std::string& key, const std::string& name = "")
{
    std::u16string v;
    if (!tvp::settingsGetString(kRoot, key, name, v)) return "<missing>";
    return tvp::wideToUtf8(v);
}

// Points TAVOLIN_SETTINGS at a fresh file for one test and leaves an empty
// store behind.
class SettingsFile {
public:
    explicit SettingsFile(const std::string& content = std::string())
    {
        m_path = createTempName(true).c_str();
        std::ofstream(m_path, std::ios::binary) << content;
        setenv("TAVOLIN_SETTINGS", m_path.c_str(), 1);
        tvp::settingsReload();
    }
    ~SettingsFile()
    {
        unsetenv("TAVOLIN_SETTINGS");
        tvp::settingsReload();
        std::remove(m_path.c_str());
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

TEST(ComRegistration, WritesTheClassAndProgIdKeysAndRemovesThemAgain)
{
    // Another class below CLSID and an unrelated key must survive both steps.
    SettingsFile file(
        "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\n"
        "@=\"/opt/other.so\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvent\\VRX\\4.1]\n"
        "\"ProductDir\"=\"/opt/vrx\"\n");
    mdModuleAttach(nullptr);
    mdModule().setModulePath("/opt/tavolin/libtavolin.so");
    ASSERT_EQ(mdDllRegisterServer(), S_OK);

    // What the file says, as the next process reads it.
    tvp::settingsClear();
    ASSERT_TRUE(tvp::settingsLoadFile(file.path()));
    EXPECT_EQ(value("CTavolin.CTavolin.1"), "CTavolin Class");
    EXPECT_EQ(value("CTavolin.CTavolin.1\\CLSID"), "{B50A2AE2-3DB3-11d3-8F54-00105A2DC995}");
    EXPECT_EQ(value("CTavolin.CTavolin"), "CTavolin Class");
    EXPECT_EQ(value("CTavolin.CTavolin\\CurVer"), "CTavolin.CTavolin.1");
    EXPECT_EQ(value("CTavolin.CTavolin\\CLSID"), "<missing>");
    EXPECT_EQ(value(kClassKey), "CTavolin Class");
    EXPECT_EQ(value(std::string(kClassKey) + "\\ProgID"), "CTavolin.CTavolin.1");
    EXPECT_EQ(value(std::string(kClassKey) + "\\VersionIndependentProgID"), "CTavolin.CTavolin");
    EXPECT_EQ(value(std::string(kClassKey) + "\\InprocServer32"), "/opt/tavolin/libtavolin.so");
    EXPECT_EQ(value(std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(tvpInprocServerPath(CLSID_CTavolin), "/opt/tavolin/libtavolin.so");

    CLSID clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(u"CTavolin.CTavolin.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_CTavolin);
    clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(u"CTavolin.CTavolin", &clsid), S_OK);  // through CurVer
    EXPECT_EQ(clsid, CLSID_CTavolin);
    EXPECT_EQ(CLSIDFromProgID(u"CTavolin.Nothing", &clsid), CO_E_CLASSSTRING);

    ASSERT_EQ(mdDllUnregisterServer(), S_OK);
    tvp::settingsClear();
    ASSERT_TRUE(tvp::settingsLoadFile(file.path()));
    EXPECT_FALSE(tvp::settingsKeyExists(kRoot, kClassKey));
    EXPECT_FALSE(tvp::settingsKeyExists(kRoot, "CTavolin.CTavolin.1"));
    EXPECT_FALSE(tvp::settingsKeyExists(kRoot, "CTavolin.CTavolin"));
    EXPECT_EQ(value("CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32"), "/opt/other.so");
    std::u16string dir;
    EXPECT_TRUE(tvp::settingsGetString("HKLM", "SOFTWARE\\Korvent\\VRX\\4.1", "ProductDir", dir));
    // The key CLSID stays, even with no class left below it.
    tvp::settingsDeleteKey(kRoot, "CLSID\\{11111111-2222-3333-4444-555555555555}");
    EXPECT_TRUE(tvp::settingsKeyExists(kRoot, "CLSID"));
    EXPECT_NE(readFile(file.path()).find("[HKEY_CLASSES_ROOT\\CLSID]"), std::string::npos);
}

TEST(ComRegistration, RefusedWithoutASettingsFile)
{
    unsetenv("TAVOLIN_SETTINGS");
    tvp::settingsClear();
    EXPECT_EQ(mdDllRegisterServer(), SELFREG_E_CLASS);
    EXPECT_EQ(mdDllUnregisterServer(), SELFREG_E_CLASS);
    EXPECT_FALSE(tvp::settingsKeyExists(kRoot, "CTavolin.CTavolin.1"));
}

TEST(ComModule, ClassObjectAndLockCount)
{
    void* p = reinterpret_cast<void*>(1);
    const CLSID other = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(mdDllGetClassObject(other, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(mdDllGetClassObject(CLSID_CTavolin, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(mdDllGetClassObject(CLSID_CTavolin, IID_IMC_Tavolin, &p), E_NOINTERFACE);

    ASSERT_EQ(mdDllCanUnloadNow(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(mdDllGetClassObject(CLSID_CTavolin, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(mdDllCanUnloadNow(), S_FALSE);  // a factory in use keeps the module

    IUnknown* outer = reinterpret_cast<IUnknown*>(factory);
    IMC_Tavolin* obj = nullptr;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IMC_Tavolin, reinterpret_cast<void**>(&obj)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(&obj)), E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMC_Tavolin, reinterpret_cast<void**>(&obj)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(mdModule().GetLockCount(), 2);  // the object and the server lock
    EXPECT_EQ(mdDllCanUnloadNow(), S_FALSE);

    IUnknown* unk = nullptr;
    ASSERT_EQ(obj->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(static_cast<void*>(unk), static_cast<void*>(obj));
    EXPECT_EQ(unk->Release(), 1u);
    EXPECT_EQ(obj->Release(), 0u);
    EXPECT_EQ(mdDllCanUnloadNow(), S_FALSE);
    mdModule().Unlock();  // the LockServer(TRUE) of the released factory
    EXPECT_EQ(mdDllCanUnloadNow(), S_OK);
}

TEST(ComClient, CoCreateInstanceFailures)
{
    SettingsFile file;
    const CLSID missing = {0xABCDEF01, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);

    const std::string key = "CLSID\\" + tvp::guidToString(missing) + "\\InprocServer32";
    tvp::settingsSetString(kRoot, key, "", u"/nonexistent/libnothing.so");
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), CO_E_DLLNOTFOUND);
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    tvp::settingsSetString(kRoot, key, "", u"libm.so.6");  // loads, but serves nothing
    EXPECT_EQ(CoCreateInstance(missing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), CO_E_ERRORINDLL);
}

// libtavolin.so as the host loads it.
TEST(ComLibrary, ExportsOnlyTheFourEntryPointsAndServesThroughRegistration)
{
    SettingsFile file;
    void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << "build libtavolin.so first: " << dlerror();
    auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(lib, "DllCanUnloadNow"));
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(lib, "DllGetClassObject"));
    auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(dlsym(lib, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<PFN_DllUnregisterServer>(dlsym(lib, "DllUnregisterServer"));
    ASSERT_TRUE(canUnload && getClassObject && registerServer && unregisterServer);
    EXPECT_EQ(dlsym(lib, "_Z8mdModulev"), nullptr);          // the module's own functions
    EXPECT_EQ(dlsym(lib, "_Z19cmGetMessageHandlerv"), nullptr);  // and the static layers stay inside

    void* p = reinterpret_cast<void*>(1);
    const CLSID other = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(getClassObject(other, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);

    // Registration names the library itself; a client finds it from there.
    ASSERT_EQ(registerServer(), S_OK);
    tvp::settingsReload();
    char real[4096];
    ASSERT_NE(realpath(kLibrary.c_str(), real), nullptr);
    EXPECT_EQ(tvpInprocServerPath(CLSID_CTavolin), real);

    EXPECT_EQ(canUnload(), S_OK);
    IMC_Tavolin* obj = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_CTavolin, nullptr, CLSCTX_INPROC_SERVER, IID_IMC_Tavolin,
                               reinterpret_cast<void**>(&obj)),
              S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    char* version = nullptr;
    ASSERT_EQ(obj->getVersion(&version), S_OK);
    EXPECT_STREQ(version, "VRX-Tavolin 0.1");
    CoTaskMemFree(version);
    obj->Release();
    EXPECT_EQ(canUnload(), S_OK);
    CoFreeUnusedLibraries();

    ASSERT_EQ(unregisterServer(), S_OK);
    tvp::settingsReload();
    EXPECT_EQ(tvpInprocServerPath(CLSID_CTavolin), "");
    dlclose(lib);
}
