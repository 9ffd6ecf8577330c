// The stand-in class-provider library: the four exports of an in-process
// server over the table of the classes it serves.
#include "platform/comserver.h"
#include "tools/tvclsprv/ClsPrvNameClassifier.h"
#include "tools/tvclsprv/ClsPrvSysCompiler.h"

#define CLSPRV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// One line per class the library serves.
const CComClassEntry kClasses[] = {
    {&CLSID_MdClassProvider, &CClsPrvSysCompilerObject::CreateInstanceFor, &g_clsPrvSysCompilerRegistration},
    {&CLSID_NameClassifier, &CClsPrvNameClassifier::create, &g_clsPrvNameClassifierRegistration},
};

CComModule& module()
{
    static CComModule* m = new CComModule;  // lives until the process ends
    return *m;
}

__attribute__((constructor)) void libraryLoaded()
{
    module().Init(kClasses, sizeof kClasses / sizeof kClasses[0], reinterpret_cast<const void*>(&libraryLoaded));
}

__attribute__((destructor)) void libraryUnloading()
{
    module().Term();
}

}  // namespace

CLSPRV_EXPORT HRESULT DllCanUnloadNow()
{
    return module().DllCanUnloadNow();
}

CLSPRV_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    return module().GetClassObject(rclsid, riid, ppv);
}

CLSPRV_EXPORT HRESULT DllRegisterServer()
{
    return module().RegisterServer();
}

CLSPRV_EXPORT HRESULT DllUnregisterServer()
{
    return module().UnregisterServer();
}
