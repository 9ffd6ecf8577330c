// The connectors of one technology-object type, by connector id. The
// connection section compiler fills it from the source and writes it as the
// section "connectors"; an installed type's connectors can also be read from
// its device attributes or from the installation's XML device description.
//
// Results: 0 success; 0xFFFF a missing interface, a failure without a host
// code, a connector that cannot be added or a text that does not convert;
// otherwise the code a host call returned. Failures write a trace line
// (level 4, source "CBoConTypeCont").
#pragma once
#include <cstdint>
#include <map>

#include "base/fs/FsRTTypeID.h"
#include "base/st/stsymtab/StIds.h"
#include "bo/cn/CBoConProps.h"
#include "platform/hostproject.h"

using CBoConMap = std::map<VRXConIfID, CBoConProps>;

class CBoConTypeCont {
public:
    CBoConTypeCont() = default;
    CBoConTypeCont(const CBoConTypeCont&) = default;
    CBoConTypeCont& operator=(const CBoConTypeCont&) = default;
    virtual ~CBoConTypeCont();

    // Inserts the connector; false when the id is there already.
    bool add(VRXConIfID id, const CBoConProps& props);
    // The connector, null when the id is not there.
    const CBoConProps* find(VRXConIfID id) const;
    const CBoConMap& connectors() const { return m_connectors; }

    // Replaces the content by the connectors of the type's device
    // attributes: "BI_TYPE_CONNCOUNT" (decimal count), then per connector i
    // "BI_TYPE_CONN(i)" = "id,name,{interface},major,minor" and
    // "BI_TYPE_CONNPROPS(i)" = "in,out,remote,multipoint,required" (numbers
    // in C notation: decimal, 0x hexadecimal or 0 octal; a missing field
    // reads as empty, an empty number as 0). Connectors carry no exclusive
    // group. A failure leaves the container empty.
    uint32_t init(const GUID& typeId, IMC_InstallDetails* details);
    // Adds the connectors of the device whose ESType/@ESID is the type id
    // (braced, upper case) in the installation document: the elements
    // Connectors/Connector with the attributes Name, Id, Interface, Incoming,
    // Outgoing, Remote, Multipoint, Required, ExclusiveGroup, Major, Minor.
    // A document without that device adds nothing and gives 13. Any failure
    // leaves the container as it was.
    uint32_t initFromTypeDescr(const GUID& typeId, IMC_InstallClassification* classification);

    // The list that the section "connectors" holds.
    FsConnectionList sectionList() const;

protected:
    CBoConMap m_connectors;
};
