// In-process COM servers and their clients.
//
// Server side:
//  - CComModule: the module object of a server library. It keeps the module
//    lock count (every live object and every locked class factory holds one
//    lock), the table of the classes the library serves, and the library's
//    own path. DllCanUnloadNow, DllGetClassObject, DllRegisterServer and
//    DllUnregisterServer of a library forward to it.
//  - CComModuleVirtLocking: the module type of a server whose objects change
//    the lock count through virtual Lock / Unlock (interlocked).
//  - CComObject<Base>: the reference counting of an object class. Base
//    provides the interfaces, InternalQueryInterface and optionally
//    FinalConstruct / FinalRelease (see CComObjectRoot). Objects die in
//    their final Release; interfaces have no virtual destructor.
//  - CComClassFactory: a class factory over a creator function.
//
// Client side:
//  - CoCreateInstance / CoGetClassObject resolve a class id through the
//    registration entries of the settings store
//    (HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32, default value = library
//    path), load the library and ask its DllGetClassObject. Loaded libraries
//    stay loaded until CoFreeUnusedLibraries finds them unused.
//
// Registration (CComModule::RegisterServer) writes the keys of a
// CComRegistration into the settings store and saves it to the file named by
// TAVOLIN_SETTINGS; without that variable nothing is written and the result
// is SELFREG_E_CLASS.
#pragma once
#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/library.h"
#include "platform/wintypes.h"

// Class contexts.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Results of the client functions.
constexpr HRESULT CO_E_DLLNOTFOUND = HRESULT(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = HRESULT(0x800401F9u);
constexpr HRESULT REGDB_E_READREGDB = HRESULT(0x80040150u);

// Signatures of the four exports of a server library.
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_DllRegisterServer = HRESULT (*)();
using PFN_DllUnregisterServer = HRESULT (*)();

// ---------------------------------------------------------------------------
// Client functions
// ---------------------------------------------------------------------------

// Creates an object of a registered in-process class. pUnkOuter must be null
// (no aggregation: CLASS_E_NOAGGREGATION from the factory). Results:
// REGDB_E_CLASSNOTREG when the class has no InprocServer32 entry or the
// context has no in-process bit, CO_E_DLLNOTFOUND when the library does not
// load, CO_E_ERRORINDLL when it has no DllGetClassObject, else the results
// of the factory.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);
// The class object (usually IClassFactory) of a registered class.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid, void** ppv);

// Loads a library by path (the rules of LoadLibraryA); the handle is kept in
// the list of loaded libraries when bAutoFree is set, so that
// CoFreeUnusedLibraries may release it. Null on failure.
HINSTANCE CoLoadLibrary(LPCOLESTR lpszLibName, BOOL bAutoFree);
void CoFreeLibrary(HINSTANCE hInst);
// Releases every library loaded by the functions above whose
// DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// HKEY_CLASSES_ROOT\<progId>\CLSID, or the CLSID of its CurVer.
// CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* pclsid);

// The library registered for a class id ("" when none).
std::string tvpInprocServerPath(REFCLSID rclsid);

// ---------------------------------------------------------------------------
// Server side
// ---------------------------------------------------------------------------

// The registry script of one class: what RegisterServer writes below
// HKEY_CLASSES_ROOT and UnregisterServer removes.
//   <progId>                      = description, CLSID = clsid text
//   <versionIndependentProgId>    = description, CurVer = progId
//   CLSID\<clsid text>            = description, ProgID, VersionIndependentProgID,
//                                   InprocServer32 = module path,
//                                   InprocServer32 ThreadingModel = threadingModel
// The key "CLSID" itself is never removed.
struct CComRegistration {
    const char* progId;
    const char* versionIndependentProgId;
    const char* description;
    const char* clsidText;  // "{...}" as it is to appear in the settings
    const char* threadingModel;
};

// One class served by a module.
struct CComClassEntry {
    const CLSID* clsid;
    // Creates an object and hands out riid (no aggregation).
    HRESULT (*createInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppv);
    const CComRegistration* registration;  // may be null: not registered
};

class CComModule {
public:
    CComModule() = default;
    virtual ~CComModule();
    CComModule(const CComModule&) = delete;
    CComModule& operator=(const CComModule&) = delete;

    // Makes this the process's module (see current()), takes the class table
    // (not copied; it must outlive the module) and finds the library's path
    // from an address inside it.
    HRESULT Init(const CComClassEntry* classes, size_t count, const void* addressInModule);
    // Forgets the class table; current() is null afterwards when it was this.
    void Term();

    virtual LONG Lock();
    virtual LONG Unlock();
    LONG GetLockCount() const { return m_lockCount.load(); }

    // S_OK when no lock is held, else S_FALSE.
    HRESULT DllCanUnloadNow() const;
    // E_POINTER for a null ppv; CLASS_E_CLASSNOTAVAILABLE for a class this
    // module does not serve; else the factory's QueryInterface (IUnknown or
    // IClassFactory).
    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    // Writes / removes the registration of every class with a script.
    // SELFREG_E_CLASS when TAVOLIN_SETTINGS names no file or it cannot be
    // written.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();

    // Path of the library (or program) that holds the module.
    const std::string& modulePath() const { return m_modulePath; }
    void setModulePath(const std::string& path) { m_modulePath = path; }

    // The module set by the last Init (null before and after Term).
    static CComModule* current();

protected:
    std::atomic<LONG> m_lockCount{0};

private:
    const CComClassEntry* m_classes = nullptr;
    size_t m_classCount = 0;
    std::string m_modulePath;
};

class CComModuleVirtLocking : public CComModule {
public:
    LONG Lock() override;
    LONG Unlock() override;
};

// Writes one class's registration keys into the settings store (no save).
bool tvpWriteRegistration(const CComRegistration& reg, const std::string& modulePath);
// Removes them (never the key "CLSID") from the settings store (no save).
void tvpRemoveRegistration(const CComRegistration& reg);

// ---------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------

// Base of an object class: the hooks CComObject calls after construction and
// before destruction.
class CComObjectRoot {
public:
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
};

// InternalQueryInterface of an object that serves IUnknown and the one
// interface I (its id iid).
template <class I, class T>
HRESULT comQueryOne(T* object, REFIID iid, REFIID riid, void** ppv)
{
    if (riid == IID_IUnknown || riid == iid) {
        *ppv = static_cast<I*>(object);
        return S_OK;
    }
    return E_NOINTERFACE;
}

// The reference-counted object of class Base (single-threaded: the objects
// live in one apartment). Base must provide
//   HRESULT InternalQueryInterface(REFIID, void**)   (no AddRef)
// and derive from the interfaces it serves. The object holds a module lock
// while it lives.
template <class Base>
class CComObject final : public Base {
public:
    CComObject()
    {
        if (CComModule* m = CComModule::current()) m->Lock();
    }
    ~CComObject()
    {
        this->FinalRelease();
        if (CComModule* m = CComModule::current()) m->Unlock();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        HRESULT hr = this->InternalQueryInterface(riid, ppv);
        if (SUCCEEDED(hr) && *ppv) static_cast<IUnknown*>(*ppv)->AddRef();
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG r = --m_refs;
        if (r == 0) delete this;
        return r;
    }

    // A new object with reference count 0 (E_OUTOFMEMORY, or the failure of
    // FinalConstruct, which deletes it again).
    static HRESULT CreateInstance(CComObject** pp)
    {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        CComObject* p = nullptr;
        try {
            p = new (std::nothrow) CComObject();
        } catch (...) {
            p = nullptr;
        }
        if (!p) return E_OUTOFMEMORY;
        p->m_refs = 1;  // keeps FinalConstruct from destroying it
        HRESULT hr = p->FinalConstruct();
        p->m_refs = 0;
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *pp = p;
        return S_OK;
    }

    // Creates an object and hands out riid; the creator function of a class
    // entry.
    static HRESULT CreateInstanceFor(IUnknown* pUnkOuter, REFIID riid, void** ppv)
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        CComObject* p = nullptr;
        HRESULT hr = CreateInstance(&p);
        if (FAILED(hr)) return hr;
        p->AddRef();
        hr = p->QueryInterface(riid, ppv);
        p->Release();  // the object dies here when riid was refused
        return hr;
    }

private:
    ULONG m_refs = 0;
};

// Class factory over a creator function. It holds a module lock while it
// lives, so that a library is not unloaded under a client that keeps the
// factory; LockServer adds further locks.
class CComClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(IUnknown*, REFIID, void**);

    // A new factory with reference count 0; null when out of memory.
    static CComClassFactory* create(Creator creator);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    explicit CComClassFactory(Creator creator);
    ~CComClassFactory();

    Creator m_creator;
    std::atomic<ULONG> m_refs{0};
    CComModule* m_module;
};
