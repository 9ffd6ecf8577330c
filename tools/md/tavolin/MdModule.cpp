#include "tools/md/tavolin/MdModule.h"

#include "tools/md/tavolin/CTavolin.h"

const CComRegistration g_mdTavolinRegistration = {
    "CTavolin.CTavolin.1",
    "CTavolin.CTavolin",
    "CTavolin Class",
    "{B50A2AE2-3DB3-11d3-8F54-00105A2DC995}",
    "Apartment",
};

namespace {

const CComClassEntry kClasses[] = {
    {&CLSID_CTavolin, &CTavolinObject::CreateInstanceFor, &g_mdTavolinRegistration},
};

bool g_attached = false;

void ensureAttached()
{
    if (!g_attached) mdModuleAttach(reinterpret_cast<const void*>(&ensureAttached));
}

}  // namespace

CComModuleVirtLocking& mdModule()
{
    static CComModuleVirtLocking* module = new CComModuleVirtLocking;  // lives until the process ends
    return *module;
}

void mdModuleAttach(const void* addressInModule)
{
    mdModule().Init(kClasses, sizeof kClasses / sizeof kClasses[0], addressInModule);
    g_attached = true;
}

void mdModuleDetach()
{
    mdModule().Term();
    g_attached = false;
}

HRESULT mdDllCanUnloadNow()
{
    return mdModule().DllCanUnloadNow();
}

HRESULT mdDllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    ensureAttached();
    return mdModule().GetClassObject(rclsid, riid, ppv);
}

HRESULT mdDllRegisterServer()
{
    ensureAttached();
    return mdModule().RegisterServer();
}

HRESULT mdDllUnregisterServer()
{
    ensureAttached();
    return mdModule().UnregisterServer();
}
