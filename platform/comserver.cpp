#include "platform/comserver.h"

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/guid.h"
#include "platform/settings_store.h"
#include "platform/text.h"

namespace {

const char kClassesRoot[] = "HKEY_CLASSES_ROOT";

// The module of the last Init. Written at loading and unloading only.
std::atomic<CComModule*> g_module{nullptr};

// Libraries loaded for clients, by the path they were loaded from.
struct LoadedLibraries {
    std::mutex lock;
    std::map<std::string, HMODULE> byPath;
};

LoadedLibraries& loaded()
{
    static LoadedLibraries* l = new LoadedLibraries;  // outlives static destructors
    return *l;
}

std::string absolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/') return path;
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf)) return buf;
    return path;
}

std::string clsidKeyText(REFCLSID clsid)
{
    return tvp::guidToString(clsid);
}

// Loads a library once for all clients; kept until CoFreeUnusedLibraries.
HMODULE loadShared(const std::string& path)
{
    LoadedLibraries& l = loaded();
    std::lock_guard<std::mutex> g(l.lock);
    auto it = l.byPath.find(path);
    if (it != l.byPath.end()) return it->second;
    HMODULE h = LoadLibraryA(path.c_str());
    if (h) l.byPath[path] = h;
    return h;
}

// An explicit key survives the removal of its last subkey. The settings
// store keeps a key once a value was written to it, also after the value
// is gone again.
void keepKey(const std::string& keyPath)
{
    static const char kProbe[] = "__tavolin_keep_key__";
    tvp::SettingValue existing;
    if (tvp::settingsGetValue(kClassesRoot, keyPath, kProbe, existing)) return;
    if (tvp::settingsSetDword(kClassesRoot, keyPath, kProbe, 0))
        tvp::settingsDeleteValue(kClassesRoot, keyPath, kProbe);
}

bool settingsFileNamed()
{
    const char* path = std::getenv("TAVOLIN_SETTINGS");
    return path && *path;
}

}  // namespace

// ---------------------------------------------------------------------------
// Client functions
// ---------------------------------------------------------------------------

std::string tvpInprocServerPath(REFCLSID rclsid)
{
    std::u16string value;
    std::string key = "CLSID\\" + clsidKeyText(rclsid) + "\\InprocServer32";
    if (!tvp::settingsGetString(kClassesRoot, key, "", value)) return std::string();
    return tvp::wideToUtf8(value);
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC)) return REGDB_E_CLASSNOTREG;
    std::string path = tvpInprocServerPath(rclsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    HMODULE h = loadShared(path);
    if (!h) return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(h, "DllGetClassObject"));
    if (!getClassObject) return CO_E_ERRORINDLL;
    return getClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_NOINTERFACE;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

HINSTANCE CoLoadLibrary(LPCOLESTR lpszLibName, BOOL bAutoFree)
{
    if (!lpszLibName || !*lpszLibName) return nullptr;
    std::string path = tvp::wideToPath(lpszLibName);
    if (bAutoFree) return loadShared(path);
    return LoadLibraryA(path.c_str());
}

void CoFreeLibrary(HINSTANCE hInst)
{
    if (!hInst) return;
    LoadedLibraries& l = loaded();
    {
        std::lock_guard<std::mutex> g(l.lock);
        for (auto it = l.byPath.begin(); it != l.byPath.end(); ++it) {
            if (it->second == hInst) {
                l.byPath.erase(it);
                break;
            }
        }
    }
    FreeLibrary(hInst);
}

void CoFreeUnusedLibraries()
{
    LoadedLibraries& l = loaded();
    std::vector<HMODULE> unused;
    {
        std::lock_guard<std::mutex> g(l.lock);
        for (auto it = l.byPath.begin(); it != l.byPath.end();) {
            auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(GetProcAddress(it->second, "DllCanUnloadNow"));
            if (canUnload && canUnload() == S_OK) {
                unused.push_back(it->second);
                it = l.byPath.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (HMODULE h : unused) FreeLibrary(h);
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* pclsid)
{
    if (!lpszProgID || !pclsid) return E_INVALIDARG;
    *pclsid = GUID_NULL;
    std::string progId = tvp::wideToUtf8(std::u16string(lpszProgID));
    // A version-independent ProgID names its current version; follow a few
    // steps at most.
    for (int step = 0; step < 4 && !progId.empty(); ++step) {
        std::u16string text;
        if (tvp::settingsGetString(kClassesRoot, progId + "\\CLSID", "", text)) {
            CLSID clsid;
            if (!tvp::guidFromU16String(text, clsid)) return CO_E_CLASSSTRING;
            *pclsid = clsid;
            return S_OK;
        }
        if (!tvp::settingsGetString(kClassesRoot, progId + "\\CurVer", "", text)) break;
        progId = tvp::wideToUtf8(text);
    }
    return CO_E_CLASSSTRING;
}

// ---------------------------------------------------------------------------
// Registration
// ---------------------------------------------------------------------------

bool tvpWriteRegistration(const CComRegistration& reg, const std::string& modulePath)
{
    const std::u16string description = tvp::utf8ToWide(reg.description);
    const std::u16string clsid = tvp::utf8ToWide(reg.clsidText);
    const std::string classKey = std::string("CLSID\\") + reg.clsidText;
    bool ok = true;
    ok &= tvp::settingsSetString(kClassesRoot, reg.progId, "", description);
    ok &= tvp::settingsSetString(kClassesRoot, std::string(reg.progId) + "\\CLSID", "", clsid);
    ok &= tvp::settingsSetString(kClassesRoot, reg.versionIndependentProgId, "", description);
    ok &= tvp::settingsSetString(kClassesRoot, std::string(reg.versionIndependentProgId) + "\\CurVer", "",
                                 tvp::utf8ToWide(reg.progId));
    keepKey("CLSID");
    ok &= tvp::settingsSetString(kClassesRoot, classKey, "", description);
    ok &= tvp::settingsSetString(kClassesRoot, classKey + "\\ProgID", "", tvp::utf8ToWide(reg.progId));
    ok &= tvp::settingsSetString(kClassesRoot, classKey + "\\VersionIndependentProgID", "",
                                 tvp::utf8ToWide(reg.versionIndependentProgId));
    ok &= tvp::settingsSetString(kClassesRoot, classKey + "\\InprocServer32", "", tvp::utf8ToWide(modulePath));
    ok &= tvp::settingsSetString(kClassesRoot, classKey + "\\InprocServer32", "ThreadingModel",
                                 tvp::utf8ToWide(reg.threadingModel));
    return ok;
}

void tvpRemoveRegistration(const CComRegistration& reg)
{
    keepKey("CLSID");
    tvp::settingsDeleteKey(kClassesRoot, std::string("CLSID\\") + reg.clsidText);
    tvp::settingsDeleteKey(kClassesRoot, reg.progId);
    tvp::settingsDeleteKey(kClassesRoot, reg.versionIndependentProgId);
}

// ---------------------------------------------------------------------------
// Module
// ---------------------------------------------------------------------------

CComModule::~CComModule()
{
    Term();
}

CComModule* CComModule::current()
{
    return g_module.load();
}

HRESULT CComModule::Init(const CComClassEntry* classes, size_t count, const void* addressInModule)
{
    m_classes = classes;
    m_classCount = classes ? count : 0;
    m_modulePath = absolutePath(tvp::modulePathOf(addressInModule));
    g_module.store(this);
    return S_OK;
}

void CComModule::Term()
{
    m_classes = nullptr;
    m_classCount = 0;
    CComModule* self = this;
    g_module.compare_exchange_strong(self, nullptr);
}

LONG CComModule::Lock()
{
    return ++m_lockCount;
}

LONG CComModule::Unlock()
{
    return --m_lockCount;
}

LONG CComModuleVirtLocking::Lock()
{
    return m_lockCount.fetch_add(1) + 1;
}

LONG CComModuleVirtLocking::Unlock()
{
    return m_lockCount.fetch_sub(1) - 1;
}

HRESULT CComModule::DllCanUnloadNow() const
{
    return m_lockCount.load() == 0 ? S_OK : S_FALSE;
}

HRESULT CComModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < m_classCount; ++i) {
        const CComClassEntry& e = m_classes[i];
        if (!e.clsid || *e.clsid != rclsid || !e.createInstance) continue;
        CComClassFactory* factory = CComClassFactory::create(e.createInstance);
        if (!factory) return E_OUTOFMEMORY;
        factory->AddRef();
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CComModule::RegisterServer()
{
    if (!settingsFileNamed()) return SELFREG_E_CLASS;
    // Merge with what other registrations wrote to the file meanwhile.
    tvp::settingsReload();
    bool ok = true;
    for (size_t i = 0; i < m_classCount; ++i)
        if (m_classes[i].registration) ok &= tvpWriteRegistration(*m_classes[i].registration, m_modulePath);
    if (!ok || !tvp::settingsSave()) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT CComModule::UnregisterServer()
{
    if (!settingsFileNamed()) return SELFREG_E_CLASS;
    tvp::settingsReload();
    for (size_t i = 0; i < m_classCount; ++i)
        if (m_classes[i].registration) tvpRemoveRegistration(*m_classes[i].registration);
    if (!tvp::settingsSave()) return SELFREG_E_CLASS;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Class factory
// ---------------------------------------------------------------------------

CComClassFactory* CComClassFactory::create(Creator creator)
{
    return new (std::nothrow) CComClassFactory(creator);
}

CComClassFactory::CComClassFactory(Creator creator) : m_creator(creator), m_module(CComModule::current())
{
    if (m_module) m_module->Lock();
}

CComClassFactory::~CComClassFactory()
{
    if (m_module) m_module->Unlock();
}

HRESULT CComClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CComClassFactory::AddRef()
{
    return m_refs.fetch_add(1) + 1;
}

ULONG CComClassFactory::Release()
{
    ULONG r = m_refs.fetch_sub(1) - 1;
    if (r == 0) delete this;
    return r;
}

HRESULT CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    if (!m_creator) return E_UNEXPECTED;
    return m_creator(nullptr, riid, ppv);
}

HRESULT CComClassFactory::LockServer(BOOL fLock)
{
    if (!m_module) return S_OK;
    if (fLock)
        m_module->Lock();
    else
        m_module->Unlock();
    return S_OK;
}
