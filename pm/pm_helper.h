// Objects below an object of the host's project, and the test whether a
// name denotes a technology object below a device.
//
// getAllChildObjects lists the sub-objects of `parent` (in the host's order)
// and then the targets of the links that start at it, and with `recursive`
// the children of each in turn, depth first. Every object is listed once and
// the parent never, so super and link cycles end; a failed link search
// counts as no links. Returns 0, the host code of a failed call (0xFFFF when
// none), or 0xFFFF for a null navigation or a missing IMC_Link.
//
// isLocalTObjectOrSubObject looks among all objects below `device` for one
// whose name equals `name` (a-z folded), whose class is 2 or 6 and whose
// type has type class 1; true with *found set when there is one. False with
// *returnCode 0 when there is none; false with the failed call's host code
// (0xFFFF when none, or for a missing interface) when the walk fails.
// Failures are traced at level 4 (source "pm_helper").
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "co/tvstring.h"
#include "platform/hostproject.h"

// Object ids in insertion order without duplicates.
class CPmIdList {
public:
    // False when the id is held already.
    bool add(const ESObjectID& id);
    bool contains(const ESObjectID& id) const;
    size_t size() const { return m_ids.size(); }
    const ESObjectID& operator[](size_t i) const { return m_ids[i]; }
    std::vector<ESObjectID>::const_iterator begin() const { return m_ids.begin(); }
    std::vector<ESObjectID>::const_iterator end() const { return m_ids.end(); }

private:
    std::vector<ESObjectID> m_ids;
    std::set<ESObjectID, ObjectIdLess> m_index;
};

DWORD getAllChildObjects(IMC_ProjectNavigate* navigation, const ESObjectID& parent, CPmIdList* children,
                         bool recursive);

bool isLocalTObjectOrSubObject(IUnknown* const& navigation, const ESObjectID& device, const String& name,
                               ESObjectID* found, DWORD* returnCode);
