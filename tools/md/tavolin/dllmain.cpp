// The pre-compiler as a shared library: the four exports of an in-process
// server, one for a host that ends on a signal, one for a host that says
// why a file could not be made and one for a host that says why a method
// failed where its status does not. Only these are visible;
// everything else stays inside the library.
#include "platform/tempnames.h"
#include "tools/md/tavolin/MdModule.h"
#include "tools/md/tavolin/MdStepCause.h"

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

// The system's error number of the last failure of the library to make or
// write a file (0: none since the last call), and the directory of that file
// into dir (size bytes with its NUL; empty when unknown); forgets it. A host
// says with it why a working file could not be made.
TAVOLIN_EXPORT int TvTakeFileFailure(char* dir, size_t size)
{
    return tvp::takeFileFailure(dir, size);
}

// Why the last method failed where its status and messages do not say it
// (MdCause* bits of MdStatusCodes.h; MdCauseNone: nothing noted since the
// last take); forgets it.
TAVOLIN_EXPORT int32_t TvTakeStepCause()
{
    return mdTakeStepCause();
}
