// The parent-device walk (see co_parent_dv.h).
#include "h/co_parent_dv.h"

#include <set>

#include "co/CoHostCall.h"
#include "co/CoLinkSearch.h"
#include "co/GlobTools.h"

namespace {

const char kFile[] = "co_parent_dv";
const char kMethod[] = "CCoDvNavHelper::getParentDevice";

const CoHostCallSite kObjClass{kFile, kMethod, "spIPrjNav->getObjClass(idObj, &cl, &dwRet)"};
const CoHostCallSite kSuper{kFile, kMethod, "spIPrjNav->getSuperObject(idObj, &idTmp, &dwRet)"};
const CoHostCallSite kFindLinks{kFile, kMethod, "spILink->findLinks(lkData, dwMask, &nSize, &spLinks)"};
const CoHostCallSite kLinkData{kFile, kMethod, "spILink->getLinkData(idObj, spLinks[0], &lkData, &dwRet)"};

}  // namespace

DWORD CCoDvNavHelper::getParentDevice(const ESObjectID& object, IUnknown* navigation, ESObjectID* device)
{
    if (device) *device = ESObjectID_Invalid;
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(navigation);
    ComPtr<IMC_Link> link = queryHostInterface<IMC_Link>(navigation);
    if (!nav) {
        TV_TRACE(4, kFile, kMethod, "error getting IMC_ProjectNavigate");
        return kCoHostNoCode;
    }
    std::set<ESObjectID, ObjectIdLess> visited;
    ESObjectID idObj = object;
    for (;;) {
        if (!visited.insert(idObj).second) {
            TV_TRACE(4, kFile, kMethod, "cycle of super objects or links at %s", guidToText(idObj).chars());
            return kCoHostNoCode;
        }
        DWORD cl = 0;
        DWORD dwRet = 0;
        CoHostCallResult r = TV_HOST_CALL(kObjClass, &dwRet, nav->getObjClass(idObj, &cl, &dwRet));
        if (!r.ok()) return r.code;
        if (cl == PmObjCl_Device) {
            if (device) *device = idObj;
            return 0;
        }
        if (cl == PmObjCl_Inner) {
            ESObjectID idTmp = ESObjectID_Invalid;
            r = TV_HOST_CALL(kSuper, &dwRet, nav->getSuperObject(idObj, &idTmp, &dwRet));
            if (!r.ok()) return r.code;
            idObj = idTmp;
            continue;
        }
        if (!link) {
            TV_TRACE(4, kFile, kMethod, "error getting IMC_Link");
            return kCoHostNoCode;
        }
        PmLinkData lkData;
        DWORD nSize;
        DWORD* spLinks;
        r = coFindLinks(link, kFindLinks, __LINE__, idObj, PmLinkMask_EndingAt, lkData, nSize, spLinks);
        if (!r.ok()) {
            CoTaskMemFree(spLinks);
            return r.code;
        }
        if (nSize == 0 || !spLinks) {
            CoTaskMemFree(spLinks);
            return kNoLink;
        }
        DWORD first = spLinks[0];
        CoTaskMemFree(spLinks);
        r = TV_HOST_CALL(kLinkData, &dwRet, link->getLinkData(idObj, first, &lkData, &dwRet));
        VariantClear(&lkData.data);
        if (!r.ok()) return r.code;
        idObj = lkData.first;
    }
}
