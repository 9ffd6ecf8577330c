// The pre-compiler as a shared library: the four exports of an in-process
// server, and one for a host that ends on a signal. Only these are visible;
// everything else stays inside the library.
#include "platform/tempnames.h"
#include "tools/md/tavolin/MdModule.h"

#define TAVOLIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Process attach and detach of the library.
__attribute__((constructor)) void libraryLoaded()
{
    mdModuleAttach(reinterpret_cast<const void*>(&libraryLoaded));
}

__attribute__((destructor)) void libraryUnloading()
{
    mdModuleDetach();
}

}  // namespace

TAVOLIN_EXPORT HRESULT DllCanUnloadNow()
{
    return mdDllCanUnloadNow();
}

TAVOLIN_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    return mdDllGetClassObject(rclsid, riid, ppv);
}

TAVOLIN_EXPORT HRESULT DllRegisterServer()
{
    return mdDllRegisterServer();
}

TAVOLIN_EXPORT HRESULT DllUnregisterServer()
{
    return mdDllUnregisterServer();
}

// Removes the temporary files the library has made and not yet removed.
// Async-signal-safe: a host calls it from its signal handler before it ends.
TAVOLIN_EXPORT void TvRemoveTempFiles()
{
    tvp::removeTempNamesNow();
}
