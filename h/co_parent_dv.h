// The device above a project object, found through the host's project
// navigation and links.
//
// getParentDevice walks upward: a device (class 3) is its own parent device;
// an object of class 6 lies inside its super object, which is asked next;
// any other object is followed along the first link that ends at it, to the
// object at the link's source. Returns 0 with *device set; on failure
// *device is the invalid id and the result is the host's return code of the
// failed call (0xFFFF when it gave none), 0xFFFF when IMC_ProjectNavigate is
// missing on `navigation`, or IMC_Link when a link is to be followed, or
// when the walk comes back to an object it has seen (a super or link
// cycle), and 13 when an object has no link to follow. Every failure writes
// a trace line (level 4, source "co_parent_dv"). Nothing is kept.
#pragma once
#include <cstdint>

#include "platform/hostproject.h"

class CCoDvNavHelper {
public:
    static constexpr DWORD kNoLink = 13;

    static DWORD getParentDevice(const ESObjectID& object, IUnknown* navigation, ESObjectID* device);
};
