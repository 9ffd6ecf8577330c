// Links of a source object (see CLinkHelper.h).
#include "bo/Lnk/CLinkHelper.h"

#include "co/CoHostCall.h"

namespace {

const char kFile[] = "CLinkHelper";

const CoHostCallSite kGetObject{kFile, "CLinkHelper::getObjectID",
                                "m_spILink->getLinkData(m_srcID(), lkID(), &lkData, &dwRet)",
                                CoCaughtSpelling::Exeption};
const CoHostCallSite kCreate{kFile, "CLinkHelper::createLink",
                             "m_spIIntLink->internalCreateLink(dstID(), lkSort, dwLkType, varLkData, &lkID, &dwRet)"};
const CoHostCallSite kRemove{kFile, "CLinkHelper::removeLink", "m_spIIntLink->internalRemoveLink(lkID(), &dwRet)"};
// Only a negative HRESULT is an error here, and its line has no code.
const CoHostCallSite kUpdate{kFile, "CLinkHelper::updateLink",
                             "m_spILink->getLinkData(m_srcID(), refLk(), &lkData, &dwRet)", CoCaughtSpelling::Exeption,
                             false, false};

}  // namespace

CLinkHelper::CLinkHelper(const ESObjectID& source, IUnknown* project, DWORD selection)
    : m_spILink(queryHostInterface<IMC_Link>(project)),
      m_spIIntLink(queryHostInterface<IMC_InternalLink>(project)), m_selection(selection), m_source(source)
{
}

uint32_t CLinkHelper::getObjectID(DWORD link, ESObjectID* object) const
{
    if (!m_spILink) return kCoHostNoCode;
    PmLinkData lkData{};
    VariantInit(&lkData.data);
    DWORD dwRet = 0;
    const CoHostCallResult r =
        TV_HOST_CALL(kGetObject, &dwRet, m_spILink->getLinkData(m_source, link, &lkData, &dwRet));
    VariantClear(&lkData.data);
    if (!r.ok()) return r.code;
    if (lkData.first == m_source) {
        if (object) *object = lkData.second;
        return 0;
    }
    if (lkData.second == m_source) {
        if (object) *object = lkData.first;
        return 0;
    }
    return kCoHostNoCode;
}

uint32_t CLinkHelper::getObjectIDs(const std::list<DWORD>& links, std::list<ESObjectID>& objects) const
{
    objects.clear();
    for (DWORD link : links) {
        ESObjectID id;
        if (getObjectID(link, &id) == 0) objects.push_back(id);
    }
    return 0;
}

uint32_t CLinkHelper::createLink(const ESObjectID& destination, DWORD sort, DWORD type, const VARIANT& data,
                                 DWORD* link) const
{
    if (link) *link = kNoLinkID;
    if (!m_spIIntLink) return kCoHostNoCode;
    DWORD lkID = kNoLinkID;
    DWORD dwRet = 0;
    const CoHostCallResult r = TV_HOST_CALL(
        kCreate, &dwRet, m_spIIntLink->internalCreateLink(m_source, destination, sort, type, data, &lkID, &dwRet));
    if (!r.ok()) return r.code;
    if (link) *link = lkID;
    return 0;
}

uint32_t CLinkHelper::removeLink(DWORD link) const
{
    if (!m_spIIntLink) return kCoHostNoCode;
    DWORD dwRet = 0;
    return TV_HOST_CALL(kRemove, &dwRet, m_spIIntLink->internalRemoveLink(link, &dwRet)).code;
}

uint32_t CLinkHelper::updateLink(DWORD* link) const
{
    if (!m_spILink || !link) return kCoHostNoCode;
    PmLinkData lkData{};
    VariantInit(&lkData.data);
    DWORD dwRet = 0;
    const CoHostCallResult r = TV_HOST_CALL(kUpdate, &dwRet, m_spILink->getLinkData(m_source, *link, &lkData, &dwRet));
    VariantClear(&lkData.data);
    if (FAILED(r.hr)) {
        coTraceHostCallError(kUpdate, __LINE__, r.hr, dwRet);
        return kCoHostNoCode;
    }
    if ((dwRet & 0xFFFF) == kLinkVanished) {
        *link = kNoLinkID;
        return 0;
    }
    return dwRet;
}
