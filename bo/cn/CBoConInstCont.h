// The connections of one instance: per connector of its type the list of its
// targets, each held as a project link (CLinkHelper). The container saves
// and loads itself ("ConnectionContainer_V2.0"), answers a connector's
// targets, checks and makes connections through the host's connector
// interfaces, and checks all connections of an object.
//
// The instance holds exactly the connectors of its type: the constructor
// gives every connector of the type container an empty target list. The type
// container is not owned and must outlive this one.
//
// Results: 0 success; 1 a connector or object id that does not belong here;
// 13 no such connection or no properties at the type; 21 the section could
// not be written; 27 the section could not be read; 29 it is no connection
// container; 38 it holds other connectors than the type; 53 the connection
// breaks a rule; 0xFFFF a missing interface or a failure without a host
// code; otherwise the code a host call returned. Every failure and every
// refusal writes a trace line (source "CBoConInstCont"): level 3 for
// refusals, 4 for errors.
#pragma once
#include <cstdint>
#include <list>
#include <map>

#include "base/fs/FsSecCl.h"
#include "bo/cn/CBoConTypeCont.h"
#include "co/VersionStamp.h"
#include "platform/hostproject.h"

using CBoTargetList = std::list<TargetEntry>;
using CBoConnections = std::map<VRXConIfID, CBoTargetList>;

// loadConnections: adapt a saved list to the type's current connectors.
constexpr uint32_t kConLoadAdapt = 0x10;

// Messages of checkCon. They come from the message-text libraries; the
// arguments are texts: the object's name, the connector's name, then what
// each line names.
enum : uint32_t {
    kConMsgRequiredNotConnected = 6021,  // connector must be connected and has no target
    kConMsgTooManyTargets = 6022,        // not multipoint, several targets (their names joined by ", ")
    kConMsgPropsDoNotFit = 6031,         // target, target connector: the properties no longer fit
    kConMsgLocalOnOtherDevice = 6055,    // target: a connector that is not remote reaches another device
    kConMsgTargetObjectGone = 6056,      // the target object cannot be opened
    kConMsgTargetConnectorGone = 8010,   // target: the target's connector is gone
    kConMsgExclusiveGroup = 8085,        // other connector: both of one exclusive group are connected
};
// The result codes of the findings: a missing connection, too many, a
// connection that does not fit, a target that has gone.
enum : uint32_t { kConNotConnected = 25, kConTooMany = 52, kConMismatch = 83, kConTargetGone = 129 };

class CBoConInstCont {
public:
    explicit CBoConInstCont(const CBoConTypeCont* type);
    CBoConInstCont(const CBoConInstCont&) = default;
    CBoConInstCont& operator=(const CBoConInstCont&) = default;
    virtual ~CBoConInstCont();

    // Rewrites the section from empty: the String "ConnectionContainer_V2.0"
    // and "\r\n" (text mode), the version (GUID, major, minor), a blank, then
    // the connector count and per connector in ascending id the id, its
    // target count and per target link id and connector id. 0, 0xFFFF
    // without a section, 21 when the section reports an error.
    uint32_t saveConnections(FsSecCl* sec);
    // Reads what saveConnections wrote. With kConLoadAdapt a connector the
    // type no longer has is dropped and a new one gets an empty list;
    // without it such a difference gives 38. Any failure (0xFFFF, 27, 29,
    // 38) leaves connections and version as they were.
    uint32_t loadConnections(FsSecCl* sec, uint32_t flags);

    // The targets of the source connector: each target's object (through
    // its link, `link` holding IMC_Link) and connector id, appended to out.
    uint32_t getTargetList(const ESObjectID& object, const ESConID& src, IUnknown* link,
                           std::list<ESConID>& out) const;
    // Whether src (a connector of this object) may be connected to dst.
    uint32_t canConnect(const ESObjectID& object, const ESConID& src, const ESConID& dst, IUnknown* project) const;
    // Makes the connection: a link from this object to the destination
    // (sort 1, type 2, the interface GUID as text), the destination told
    // through connectInternal (the link removed again when that fails), the
    // target appended, the online-identical flags of both objects cleared
    // unless the interface is exempt.
    uint32_t connect(const ESObjectID& object, const ESConID& src, const ESConID& dst, IUnknown* project);
    // The receiving side of connect: own is a connector of this object,
    // link the link made for the connection, srcIfID the connector at its
    // other end. Refused (53) when own is not multipoint and connected
    // already, or holds the link already.
    uint32_t connectInternal(const ESObjectID& object, const ESConID& own, DWORD link, WORD srcIfID);
    // Removes the connection from src to dst: its link and its target entry;
    // 13 when there is none. Then as connect for the flags.
    uint32_t disconnect(const ESObjectID& object, const ESConID& src, const ESConID& dst, IUnknown* project);
    // Reads every target link again and drops the targets whose link has
    // gone (changed is then true). 0 or the first failure; the other links
    // are still read.
    uint32_t updateTargetLinks(const ESObjectID& object, IUnknown* link, bool& changed);
    // Clears the online-identical flag (0x400 of the state flags) of both
    // objects through IMC_PmObjectData of project. 0 or the first failure.
    uint32_t resetOnlConsistencyFlags(const ESObjectID& first, const ESObjectID& second, IUnknown* project) const;
    // Checks every connection of the object and reports each finding as a
    // message (the kConMsg ids). The result is the code of the first finding
    // (kConNotConnected, ...) or failure, 0 when everything fits.
    uint32_t checkCon(const ESObjectID& object, IUnknown* project);

    const CBoConnections& connections() const { return m_connections; }
    const CVersionStamp& version() const { return m_version; }
    void setVersion(const CVersionStamp& v) { m_version = v; }

    // The connector interfaces of the engineering system whose connections
    // leave the online-identical flags alone.
    static bool isExemptInterface(const GUID& ifType);

private:
    bool getConProps(VRXConIfID id, CBoConProps& props) const;

    CBoConnections m_connections;
    CVersionStamp m_version;
    const CBoConTypeCont* m_type;
};
