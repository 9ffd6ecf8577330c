// One connector of a technology-object type and the rule that decides
// whether two connectors can be connected.
#pragma once
#include <cstdint>

#include "base/fs/FsRTTypeID.h"
#include "co/tvstring.h"
#include "platform/hostproject.h"

class CBoConProps {
public:
    CBoConProps() = default;
    CBoConProps(const String& name, uint16_t id, const GUID& ifType, bool incoming, bool outgoing, bool remote,
                bool multipoint, bool required, int32_t exclusiveGroup, uint16_t major, uint16_t minor);
    // From the host's record; each flag is true when it is not 0.
    explicit CBoConProps(const PmConnectorProps& props);

    // The interfaces are equal, the directions complement each other (this
    // one in and the other out, or this one out and the other in) and major
    // and minor versions are equal.
    bool fits(const CBoConProps& other) const;

    // The record of the section "connectors".
    FsConnectionRecord record() const;

    String m_name;
    uint16_t m_id = 0;
    GUID m_ifType{};
    bool m_incoming = false;
    bool m_outgoing = false;
    bool m_remote = false;
    bool m_multipoint = false;
    bool m_required = false;
    int32_t m_exclusiveGroup = -1;  // -1: in no group
    uint16_t m_major = 0;
    uint16_t m_minor = 0;
};
