// The server module of the pre-compiler: one class, CTavolin, with its
// registration. The library's four exports (dllmain.cpp) forward here; code
// linked statically (tests, tools) may call these functions directly, which
// initialise the module on first use.
#pragma once
#include "platform/comserver.h"

// Registration of CTavolin: ProgID "CTavolin.CTavolin.1", version-independent
// ProgID "CTavolin.CTavolin", description "CTavolin Class", the class id
// {B50A2AE2-3DB3-11d3-8F54-00105A2DC995}, threading model "Apartment".
extern const CComRegistration g_mdTavolinRegistration;

// The module object.
CComModuleVirtLocking& mdModule();

// Loading and unloading of the library: initialises the module with the
// library's path found from an address inside it, and terminates it.
void mdModuleAttach(const void* addressInModule);
void mdModuleDetach();

HRESULT mdDllCanUnloadNow();
HRESULT mdDllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT mdDllRegisterServer();
HRESULT mdDllUnregisterServer();
