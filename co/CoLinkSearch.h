// The link search of the host's project that the object walks share.
#pragma once
#include <cstdint>

#include "co/CoHostCall.h"
#include "platform/hostproject.h"

// Finds the links at `id` through IMC_Link::findLinks, guarded as a call at
// `site` and `line`: with PmLinkMask_StartingAt those that start at it
// (`first`), with PmLinkMask_EndingAt those that end at it (`second`).
// lkData is left set up for the getLinkData calls that follow (flags 1, its
// variant initialised); the caller frees *links with CoTaskMemFree, also
// after a failed search.
CoHostCallResult coFindLinks(IMC_Link* link, const CoHostCallSite& site, int line, const ESObjectID& id,
                             DWORD mask, PmLinkData& lkData, DWORD& count, DWORD*& links);
