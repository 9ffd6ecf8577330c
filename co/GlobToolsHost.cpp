// Host-calling global tools (see GlobToolsHost.h).
#include "co/GlobToolsHost.h"

#include <string>

#include "co/CoHostCall.h"

namespace {

const char kFile[] = "co_globtools";

}  // namespace

bool getPxObjectTimeStamp(IUnknown* context, const CoObjectId& id, uint64_t* seconds)
{
    static const char kMethod[] = "getPxObjectTimeStamp";
    static const CoHostCallSite kGetApi{kFile, kMethod,
                                        "pICtx->getInterfaceByCLSID(__uuidof(VRXTarnexApi), &spIUnk, &dwRet)",
                                        CoCaughtSpelling::Exception, true, false};
    static const CoHostCallSite kStamp{kFile, kMethod, "spIPXApi->GetTimeStamp(pxod, &tmPXOD, &nRet)"};
    if (id.kind != 1) {
        TV_TRACE(4, kFile, kMethod, "not a PX object id");
        return false;
    }
    ComPtr<IMC_HostContext> pICtx = queryHostInterface<IMC_HostContext>(context);
    ComPtr<IUnknown> spIUnk;
    DWORD dwRet = 0;
    if (pICtx)
        TV_HOST_CALL(kGetApi, &dwRet, pICtx->getInterfaceByCLSID(CLSID_VRXTarnexApi, spIUnk.put(), &dwRet));
    ComPtr<IMC_TarnexClassicInternals> spIPXApi = queryHostInterface<IMC_TarnexClassicInternals>(spIUnk);
    if (!spIPXApi) {
        TV_TRACE(4, kFile, kMethod, "error calling IMC_TarnexClassicInternals::GetTimeStamp");
        return false;
    }
    PxObjectDescriptor pxod{};
    for (int i = 0; i < 6; ++i) pxod.parts[i] = id.pxod[i];
    ULONGLONG tmPXOD = 0;
    LONG nRet = 0;
    DWORD ret = 0;
    CoHostCallResult r = TV_HOST_CALL(kStamp, &ret, [&] {
        HRESULT hr = spIPXApi->GetTimeStamp(pxod, &tmPXOD, &nRet);
        ret = DWORD(nRet);
        return hr;
    }());
    if (!r.ok()) return false;
    if (seconds) *seconds = tmPXOD / 10000000ull;
    return true;
}

bool getLastModifiedTime(IUnknown* context, const ESObjectID& objID, FILETIME* time)
{
    static const char kMethod[] = "getLastModifiedTime";
    static const CoHostCallSite kModified{kFile, kMethod,
                                          "spIOD->getLastModifyTimeByID(objID, &ftModTime, &dwRet)"};
    ComPtr<IMC_PmObjectData> spIOD = queryHostInterface<IMC_PmObjectData>(context);
    if (!spIOD) {
        TV_TRACE(4, kFile, kMethod, "can't get IMC_PmObjectData");
        return false;
    }
    FILETIME ftModTime{0, 0};
    DWORD dwRet = 0;
    if (!TV_HOST_CALL(kModified, &dwRet, spIOD->getLastModifyTimeByID(objID, &ftModTime, &dwRet)).ok()) return false;
    if (time) *time = ftModTime;
    return true;
}

bool compressOrUncompressStream(IUnknown* context, IStream* source, IStream* destination, bool compress)
{
    static const char kMethod[] = "compressOrUncompressStream";
    static const CoHostCallSite kGetZip{kFile, kMethod,
                                        "pICtx->getInterfaceByCLSID(__uuidof(VRXZip), &spIUnk, &dwRet)"};
    static const CoHostCallSite kZip{
        kFile, kMethod, "spIZip->compressOrUncompressStream(pSourceStrm, pDestStrm, bCompress, &dwRet)"};
    ComPtr<IMC_HostContext> pICtx = queryHostInterface<IMC_HostContext>(context);
    if (!pICtx) {
        TV_TRACE(4, kFile, kMethod, "error getting context interface");
        return false;
    }
    ComPtr<IUnknown> spIUnk;
    DWORD dwRet = 0;
    if (!TV_HOST_CALL(kGetZip, &dwRet, pICtx->getInterfaceByCLSID(CLSID_VRXZip, spIUnk.put(), &dwRet)).ok() ||
        !spIUnk) {
        TV_TRACE(4, kFile, kMethod, "error creating the zip component");
        return false;
    }
    ComPtr<IMC_Zip> spIZip = queryHostInterface<IMC_Zip>(spIUnk);
    if (!spIZip) {
        TV_TRACE(4, kFile, kMethod, "error QI for the zip interface");
        return false;
    }
    BOOL bCompress = compress ? TRUE : FALSE;
    return TV_HOST_CALL(kZip, &dwRet, spIZip->compressOrUncompressStream(source, destination, bCompress, &dwRet))
        .ok();
}

String getDeviceHwCfgTypeName(const char* device)
{
    try {
        std::string value;
        if (TVBX_GetDeviceSectionAttributeByID(device, "desc_a", "typeinfo", "INDEPENDENT", &value) != S_OK)
            return String();
        return String(value);
    } catch (...) {
        TV_TRACE(4, kFile, "getDeviceHwCfgTypeName", "caught any unhandled exception");
        return String();
    }
}
