// The link search (see CoLinkSearch.h).
#include "co/CoLinkSearch.h"

CoHostCallResult coFindLinks(IMC_Link* link, const CoHostCallSite& site, int line, const ESObjectID& id,
                             DWORD mask, PmLinkData& lkData, DWORD& count, DWORD*& links)
{
    lkData = PmLinkData{};
    if (mask == PmLinkMask_EndingAt)
        lkData.second = id;
    else
        lkData.first = id;
    lkData.flags = 1;
    VariantInit(&lkData.data);
    count = 0;
    links = nullptr;
    return coHostCall(site, line, nullptr, [&]() -> HRESULT { return link->findLinks(lkData, mask, &count, &links); });
}
