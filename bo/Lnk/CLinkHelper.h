// The links of one source object: the object at the other end of a link,
// and making, removing and refreshing the links that stand for connections.
//
// The helper queries the project object for IMC_Link (reading link data)
// and IMC_InternalLink (making and removing links) and holds both for its
// life. Results: 0 success; 0xFFFF when the needed interface is missing or
// a call failed without a code; otherwise the code the host call returned.
// Every failed or throwing host call writes its trace line (level 4, source
// "CLinkHelper").
#pragma once
#include <cstdint>
#include <list>

#include "platform/com.h"
#include "platform/hostproject.h"

class CLinkHelper {
public:
    // selection: the link selection word (callers pass ESProtectObject).
    CLinkHelper(const ESObjectID& source, IUnknown* project, DWORD selection);

    // The object at the other end of the link: the second end when the
    // first is the source, the first when the second is; 0xFFFF when
    // neither end is the source.
    uint32_t getObjectID(DWORD link, ESObjectID* object) const;
    // The other ends of the links, in list order; links whose end cannot be
    // found are skipped. Always 0.
    uint32_t getObjectIDs(const std::list<DWORD>& links, std::list<ESObjectID>& objects) const;
    // A new link from the source to the destination; *link is kNoLinkID
    // unless it succeeds.
    uint32_t createLink(const ESObjectID& destination, DWORD sort, DWORD type, const VARIANT& data,
                        DWORD* link) const;
    uint32_t removeLink(DWORD link) const;
    // Reads the link again: a link that no longer exists (code 5 in the low
    // word) turns *link into kNoLinkID and gives 0; any other code is
    // returned as it is; a failed call (negative HRESULT) gives 0xFFFF.
    uint32_t updateLink(DWORD* link) const;

    DWORD selection() const { return m_selection; }

private:
    ComPtr<IMC_Link> m_spILink;
    ComPtr<IMC_InternalLink> m_spIIntLink;
    DWORD m_selection;
    ESObjectID m_source;
};
