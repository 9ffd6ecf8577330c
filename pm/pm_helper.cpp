// Child objects and the local TO test (see pm_helper.h).
#include "pm/pm_helper.h"

#include "co/CoHostCall.h"
#include "co/CoLinkSearch.h"
#include "platform/text.h"

namespace {

const char kFile[] = "pm_helper";
const char kChildren[] = "getAllChildObjects";
const char kLocal[] = "isLocalTObjectOrSubObject";

const CoHostCallSite kSubObjects{
    kFile, kChildren,
    "pIPrjNav->getSubObjectIDList(parentID(), &nSubObjSize, &spSubObjIDList, &dwRet)"};
const CoHostCallSite kFindLinks{kFile, kChildren, "spILink->findLinks(lkData, dwMask, &nSizeLinks, &spLinks)"};
const CoHostCallSite kLinkData{kFile, kChildren,
                               "spILink->getLinkData(parentID(), spLinks[i], &lkData, &dwRet)"};
const CoHostCallSite kName{kFile, kLocal, "spIProjNav->getObjectNameByID((*it)(), &spName, &dwRet)"};
const CoHostCallSite kClass{kFile, kLocal, "spIProjNav->getObjClass((*it)(), &objClass, &dwRet)"};
const CoHostCallSite kTypeId{kFile, kLocal, "spIProjNav->getTypeIDByObjectID((*it)(), &typeID, &dwRet)"};
const CoHostCallSite kTypeClass{kFile, kLocal, "spIInstNav->getTypeClass(typeID, &typeCl, &dwRet)"};

// The candidates below `parent`: sub-objects, then link targets.
DWORD candidates(IMC_ProjectNavigate* nav, IMC_Link* link, const ESObjectID& parent, std::vector<ESObjectID>& out)
{
    DWORD dwRet = 0;
    DWORD nSubObjSize = 0;
    ESObjectID* spSubObjIDList = nullptr;
    CoHostCallResult r =
        TV_HOST_CALL(kSubObjects, &dwRet, nav->getSubObjectIDList(parent, &nSubObjSize, &spSubObjIDList, &dwRet));
    if (r.ok() && spSubObjIDList) out.assign(spSubObjIDList, spSubObjIDList + nSubObjSize);
    CoTaskMemFree(spSubObjIDList);
    if (!r.ok()) return r.code;

    PmLinkData lkData;
    DWORD nSizeLinks;
    DWORD* spLinks;
    r = coFindLinks(link, kFindLinks, __LINE__, parent, PmLinkMask_StartingAt, lkData, nSizeLinks, spLinks);
    if (!r.ok() || !spLinks) nSizeLinks = 0;  // a failed search counts as no links
    DWORD code = 0;
    for (DWORD i = 0; i < nSizeLinks; ++i) {
        r = TV_HOST_CALL(kLinkData, &dwRet, link->getLinkData(parent, spLinks[i], &lkData, &dwRet));
        VariantClear(&lkData.data);
        if (!r.ok()) {
            code = r.code;
            break;
        }
        out.push_back(lkData.second);
    }
    CoTaskMemFree(spLinks);
    return code;
}

DWORD walk(IMC_ProjectNavigate* nav, IMC_Link* link, const ESObjectID& parent, CPmIdList& children,
           std::set<ESObjectID, ObjectIdLess>& seen, bool recursive)
{
    std::vector<ESObjectID> cands;
    if (DWORD code = candidates(nav, link, parent, cands)) return code;
    for (const ESObjectID& c : cands) {
        if (!seen.insert(c).second) continue;
        children.add(c);
        if (!recursive) continue;
        if (DWORD code = walk(nav, link, c, children, seen, true)) {
            TV_TRACE(4, kFile, kChildren, "error calling getAllChildObjects");
            return code;
        }
    }
    return 0;
}

}  // namespace

bool CPmIdList::add(const ESObjectID& id)
{
    if (!m_index.insert(id).second) return false;
    m_ids.push_back(id);
    return true;
}

bool CPmIdList::contains(const ESObjectID& id) const
{
    return m_index.count(id) != 0;
}

DWORD getAllChildObjects(IMC_ProjectNavigate* navigation, const ESObjectID& parent, CPmIdList* children,
                         bool recursive)
{
    if (!navigation) {
        TV_TRACE(4, kFile, kChildren, "no IMC_ProjectNavigate");
        return kCoHostNoCode;
    }
    ComPtr<IMC_Link> link = queryHostInterface<IMC_Link>(navigation);
    if (!link) {
        TV_TRACE(4, kFile, kChildren, "error QI for IMC_Link");
        return kCoHostNoCode;
    }
    CPmIdList local;
    CPmIdList& out = children ? *children : local;
    std::set<ESObjectID, ObjectIdLess> seen;
    seen.insert(parent);
    for (const ESObjectID& id : out) seen.insert(id);
    return walk(navigation, link, parent, out, seen, recursive);
}

bool isLocalTObjectOrSubObject(IUnknown* const& navigation, const ESObjectID& device, const String& name,
                               ESObjectID* found, DWORD* returnCode)
{
    DWORD dummy = 0;
    DWORD& rc = returnCode ? *returnCode : dummy;
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(navigation);
    CPmIdList list;
    rc = getAllChildObjects(nav, device, &list, true);
    if (rc) return false;
    ComPtr<IMC_InstallNavigate> inst = queryHostInterface<IMC_InstallNavigate>(navigation);
    if (!inst) {
        rc = kCoHostNoCode;
        return false;
    }
    for (auto it = list.begin(); it != list.end(); ++it) {
        DWORD dwRet = 0;
        char* spName = nullptr;
        CoHostCallResult r = TV_HOST_CALL(kName, &dwRet, nav->getObjectNameByID(*it, &spName, &dwRet));
        bool match = r.ok() && spName && tvp::icmpAscii(spName, name.chars()) == 0;
        CoTaskMemFree(spName);
        if (!r.ok()) {
            rc = r.code;
            return false;
        }
        if (!match) continue;
        DWORD objClass = 0;
        r = TV_HOST_CALL(kClass, &dwRet, nav->getObjClass(*it, &objClass, &dwRet));
        if (!r.ok()) {
            rc = r.code;
            return false;
        }
        if (objClass != PmObjCl_TObject && objClass != PmObjCl_Inner) continue;
        GUID typeID = GUID_NULL;
        r = TV_HOST_CALL(kTypeId, &dwRet, nav->getTypeIDByObjectID(*it, &typeID, &dwRet));
        if (!r.ok()) {
            rc = r.code;
            return false;
        }
        DWORD typeCl = 0x7FFF;
        r = TV_HOST_CALL(kTypeClass, &dwRet, inst->getTypeClass(typeID, &typeCl, &dwRet));
        if (!r.ok()) {
            rc = r.code;
            return false;
        }
        if (typeCl == 1) {
            if (found) *found = *it;
            return true;
        }
    }
    return false;
}
