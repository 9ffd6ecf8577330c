// Connector properties (see CBoConProps.h).
#include "bo/cn/CBoConProps.h"

#include <cstring>

CBoConProps::CBoConProps(const String& name, uint16_t id, const GUID& ifType, bool incoming, bool outgoing,
                         bool remote, bool multipoint, bool required, int32_t exclusiveGroup, uint16_t major,
                         uint16_t minor)
    : m_name(name), m_id(id), m_ifType(ifType), m_incoming(incoming), m_outgoing(outgoing), m_remote(remote),
      m_multipoint(multipoint), m_required(required), m_exclusiveGroup(exclusiveGroup), m_major(major),
      m_minor(minor)
{
}

CBoConProps::CBoConProps(const PmConnectorProps& p)
    : CBoConProps(String(p.name, int(strnlen(p.name, sizeof p.name))), p.ifID, p.ifType, p.incoming != 0,
                  p.outgoing != 0, p.remote != 0, p.multipoint != 0, p.required != 0, p.exclusiveGroup, p.major,
                  p.minor)
{
}

bool CBoConProps::fits(const CBoConProps& other) const
{
    const bool directions = (m_incoming && other.m_outgoing) || (m_outgoing && other.m_incoming);
    return m_ifType == other.m_ifType && directions && m_major == other.m_major && m_minor == other.m_minor;
}

FsConnectionRecord CBoConProps::record() const
{
    FsConnectionRecord r;
    r.name = m_name;
    r.id = m_id;
    r.interfaceId = m_ifType;
    r.incoming = m_incoming;
    r.outgoing = m_outgoing;
    r.remote = m_remote;
    r.multipoint = m_multipoint;
    r.required = m_required;
    r.group = m_exclusiveGroup;
    r.major = int16_t(m_major);
    r.minor = int16_t(m_minor);
    return r;
}
