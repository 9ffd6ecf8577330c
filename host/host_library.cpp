// The pre-compiler library as the tavolin command loads it (see HostLibrary
// in compile_driver.h): found, bound and asked for its objects.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "host/compile_driver.h"
#include "host/library_records.h"
#include "host/status_words.h"

namespace {

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

bool HostLibrary::load()
{
    m_path = findPath();
    m_module = LoadLibraryA(m_path.c_str());
    if (!m_module) {
        // The command's last line says it, and what became of the outputs.
        if (tvp::lastLibraryErrorIsMemory()) throw std::bad_alloc();
        std::fprintf(stderr, "tavolin: cannot load %s: %s\n", m_path.c_str(), tvp::lastLibraryError().c_str());
        return false;
    }
    m_getClassObject = reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(m_module, "DllGetClassObject"));
    m_canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(GetProcAddress(m_module, "DllCanUnloadNow"));
    m_register = reinterpret_cast<PFN_DllRegisterServer>(GetProcAddress(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<PFN_DllUnregisterServer>(GetProcAddress(m_module, "DllUnregisterServer"));
    if (!m_getClassObject || !m_canUnload || !m_register || !m_unregister) {
        std::fprintf(stderr, "tavolin: %s lacks the exports of the pre-compiler\n", m_path.c_str());
        return false;
    }
    // Optional: a library without it leaves its temporary files to itself.
    m_removeTempFiles = reinterpret_cast<RemoveTempFiles>(GetProcAddress(m_module, "TvRemoveTempFiles"));
    hostUseLibraryRecords(reinterpret_cast<TakeFileFailure>(GetProcAddress(m_module, "TvTakeFileFailure")),
                          reinterpret_cast<TakeStepCause>(GetProcAddress(m_module, "TvTakeStepCause")));
    return true;
}

IMC_Tavolin* HostLibrary::create()
{
    IClassFactory* factory = nullptr;
    HRESULT hr = m_getClassObject(CLSID_CTavolin, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || !factory) {
        std::fprintf(stderr, "tavolin: DllGetClassObject failed, hr = %s\n", hostHex(uint32_t(hr)).c_str());
        return nullptr;
    }
    IMC_Tavolin* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IMC_Tavolin, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr) || !object) {
        std::fprintf(stderr, "tavolin: creating the pre-compiler failed, hr = %s\n", hostHex(uint32_t(hr)).c_str());
        return nullptr;
    }
    return object;
}

std::string HostLibrary::findPath()
{
    const char* env = std::getenv("TAVOLIN_LIBRARY");
    if (env && *env) return env;
#ifdef TAVOLIN_LIBRARY_PATH
    if (fileExists(TAVOLIN_LIBRARY_PATH)) return TAVOLIN_LIBRARY_PATH;
#endif
    std::string dir = tvp::moduleDirOf(reinterpret_cast<const void*>(&HostLibrary::findPath));
    return (dir.empty() ? std::string(".") : dir) + "/libtavolin.so";
}
