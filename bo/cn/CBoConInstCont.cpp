// The connections of an instance (see CBoConInstCont.h).
#include "bo/cn/CBoConInstCont.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/cm/cmmsghdl.h"
#include "bo/Lnk/CLinkHelper.h"
#include "co/CoHostCall.h"
#include "h/co_parent_dv.h"
#include "platform/guid.h"

namespace {

const char kFile[] = "CBoConInstCont";
const char kHeader[] = "ConnectionContainer_V2.0";

constexpr uint32_t kBadId = 1;
constexpr uint32_t kNotFound = 13;
constexpr uint32_t kWriteFailed = 21;
constexpr uint32_t kReadFailed = 27;
constexpr uint32_t kBadFormat = 29;
constexpr uint32_t kTypeDiffers = 38;
constexpr uint32_t kRefused = 53;
// Link sort and link type of the link of a connection.
constexpr DWORD kLinkSort = 1;
constexpr DWORD kLinkType = 2;
// Least bytes of a saved connector (id and an empty list) and of a target,
// in either mode: what a count may claim of the rest of the section.
constexpr uint32_t kLeastConnector = 5;
constexpr uint32_t kLeastTarget = 4;

// Connector interfaces of the engineering system itself (time source,
// diagnostics channel, device bus); their connections do not touch the
// online state of the objects.
constexpr GUID kExemptInterfaces[3] = {
    {0x3F2A7C10, 0x55E1, 0x4B2D, {0x9C, 0x04, 0x6E, 0x8B, 0x21, 0xD3, 0x47, 0xA1}},
    {0x3F2A7C11, 0x55E1, 0x4B2D, {0x9C, 0x04, 0x6E, 0x8B, 0x21, 0xD3, 0x47, 0xA1}},
    {0x3F2A7C12, 0x55E1, 0x4B2D, {0x9C, 0x04, 0x6E, 0x8B, 0x21, 0xD3, 0x47, 0xA1}},
};

CoHostCallSite site(const char* method, const char* text, bool errorLine = true)
{
    CoHostCallSite s{kFile, method, text};
    s.errorLine = errorLine;
    return s;
}

// Opens an object through the project navigation: 0, or the code after
// "can't get IMC_Ident for destination object".
uint32_t openObject(IUnknown* project, const ESObjectID& id, const char* method, ComPtr<IUnknown>& ident)
{
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(project);
    if (!nav) {
        TV_TRACE(4, kFile, method, "error getting IMC_ProjectNavigate");
        return kCoHostNoCode;
    }
    DWORD dwRet = 0;
    const CoHostCallResult r = TV_HOST_CALL(site(method, "spIPrjNav->getObjectByID(dstID().objID, &spIIdent, &dwRet)", false),
                                            &dwRet, nav->getObjectByID(id, &ident, &dwRet));
    if (r.ok() && ident) return 0;
    TV_TRACE(4, kFile, method, "can't get IMC_Ident for destination object");
    return r.ok() ? kCoHostNoCode : r.code;
}

// Whether the object is a proxy: its type is its own proxy type.
uint32_t isProxyObject(IUnknown* project, const ESObjectID& id, bool& proxy)
{
    const char* const m = "CBoConInstCont::isProxyObject";
    proxy = false;
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(project);
    ComPtr<IMC_InstallNavigate> inst = queryHostInterface<IMC_InstallNavigate>(project);
    if (!nav || !inst) {
        TV_TRACE(4, kFile, m, "error QI for IMC_ProjectNavigate or IMC_InstallNavigate");
        return kCoHostNoCode;
    }
    GUID typeId = GUID_NULL;
    DWORD dwRet = 0;
    CoHostCallResult r = TV_HOST_CALL(site(m, "spIPrjNav->getTypeIDByObjectID(objID, &typeID, &dwRet)", false),
                                      &dwRet, nav->getTypeIDByObjectID(id, &typeId, &dwRet));
    if (!r.ok()) {
        TV_TRACE(4, kFile, m, "getTypeIDByObjectID failed - hr = 0x%08X, dwRet = 0x%08X", unsigned(r.hr),
                 unsigned(r.ret));
        return r.code;
    }
    ComPtr<IUnknown> type;
    r = TV_HOST_CALL(site(m, "spIInstNav->getTypeByID(typeID, &spIType, &dwRet)", false), &dwRet,
                     inst->getTypeByID(typeId, &type, &dwRet));
    if (!r.ok()) {
        TV_TRACE(4, kFile, m, "getTypeByID failed - hr = 0x%08X, dwRet = 0x%08X", unsigned(r.hr), unsigned(r.ret));
        return r.code;
    }
    ComPtr<IMC_InternalBOType> bo = queryHostInterface<IMC_InternalBOType>(type.get());
    if (!bo) {
        TV_TRACE(4, kFile, m, "error QI for IMC_InternalBOType");
        return kCoHostNoCode;
    }
    GUID proxyTypeId = GUID_NULL;
    r = TV_HOST_CALL(site(m, "spIBOType->getProxyTypeID(&proxyTypeID)", false), nullptr,
                     bo->getProxyTypeID(&proxyTypeId));
    if (!r.ok()) {
        TV_TRACE(4, kFile, m, "getProxyTypeID failed - hr = 0x%08X", unsigned(r.hr));
        return r.code;
    }
    proxy = proxyTypeId == typeId;
    return 0;
}

bool holds(const std::list<ESConID>& list, const ESConID& id)
{
    return std::find(list.begin(), list.end(), id) != list.end();
}

// The object's name, "???" when it cannot be read.
std::string objectName(IMC_ProjectNavigate* nav, const ESObjectID& id)
{
    char* name = nullptr;
    DWORD dwRet = 0;
    const CoHostCallResult r = TV_HOST_CALL(site("CBoConInstCont::checkCon",
                                                 "spIPrjNav->getObjectNameByID(objID, &pszName, &dwRet)"),
                                            &dwRet, nav->getObjectNameByID(id, &name, &dwRet));
    std::string text = r.ok() && name ? name : "???";
    CoTaskMemFree(name);
    return text;
}

void report(uint32_t id, const std::string& a1, const std::string& a2, const std::string& a3 = std::string(),
            const std::string& a4 = std::string())
{
    CmMessageHandler* h = cmGetMessageHandler();
    if (!h) return;
    h->report(id, CmMsgArg(a1.c_str()), CmMsgArg(a2.c_str()), a3.empty() ? CmMsgArg::none() : CmMsgArg(a3.c_str()),
              a4.empty() ? CmMsgArg::none() : CmMsgArg(a4.c_str()));
}

}  // namespace

CBoConInstCont::CBoConInstCont(const CBoConTypeCont* type) : m_version(kInvalidVersionStamp), m_type(type)
{
    if (!m_type) return;
    for (const auto& c : m_type->connectors())
        if (!m_connections.emplace(c.first, CBoTargetList()).second)
            TV_TRACE(4, kFile, "CBoConInstCont::CBoConInstCont", "error building connector list");
}

CBoConInstCont::~CBoConInstCont() = default;

bool CBoConInstCont::isExemptInterface(const GUID& ifType)
{
    for (const GUID& g : kExemptInterfaces)
        if (g == ifType) return true;
    return false;
}

bool CBoConInstCont::getConProps(VRXConIfID id, CBoConProps& props) const
{
    const CBoConProps* p = m_type ? m_type->find(id) : nullptr;
    if (p) props = *p;
    return p != nullptr;
}

uint32_t CBoConInstCont::saveConnections(FsSecCl* sec)
{
    if (!sec) return kCoHostNoCode;
    sec->setSize(0);
    *sec << String(kHeader);
    sec->putNewLine();
    *sec << RTTypeID(m_version.Guid, m_version.Major, m_version.Minor) << ' ';
    *sec << uint32_t(m_connections.size());
    sec->putBlank();
    for (const auto& c : m_connections) {
        *sec << uint16_t(c.first);
        sec->putBlank();
        *sec << uint32_t(c.second.size());
        sec->putBlank();
        for (const TargetEntry& t : c.second) {
            *sec << uint32_t(t.lkID);
            sec->putBlank();
            *sec << uint16_t(t.ifID);
            sec->putBlank();
        }
        sec->putBlank();
    }
    if (!sec->hasError()) return 0;
    TV_TRACE(4, kFile, "CBoConInstCont::saveConnections", "error writing connections");
    return kWriteFailed;
}

uint32_t CBoConInstCont::loadConnections(FsSecCl* sec, uint32_t flags)
{
    const char* const m = "CBoConInstCont::loadConnections";
    if (!sec) return kCoHostNoCode;
    String head;
    *sec >> head;
    if (sec->hasError() || head != kHeader) {
        TV_TRACE(4, kFile, m, "invalid format");
        return kBadFormat;
    }
    RTTypeID v;
    *sec >> v;
    if (sec->isBinary() && sec->readChar() != ' ') sec->setError(FSSEC_INTERNAL);
    // A count may not claim more entries than the rest of the section holds.
    auto count = [sec](uint32_t least) {
        uint32_t n = 0;
        *sec >> n;
        if (!sec->hasError() && uint64_t(n) * least > sec->getSize() - sec->tell()) sec->setError(FSSEC_LENGTH);
        return sec->hasError() ? 0 : n;
    };
    CBoConnections read;
    const uint32_t connectors = count(kLeastConnector);
    for (uint32_t i = 0; i < connectors && !sec->hasError(); ++i) {
        uint16_t id = 0;
        *sec >> id;
        CBoTargetList targets;
        const uint32_t n = count(kLeastTarget);
        for (uint32_t j = 0; j < n && !sec->hasError(); ++j) {
            uint32_t lk = 0;
            uint16_t ifID = 0;
            *sec >> lk >> ifID;
            targets.push_back(TargetEntry{lk, ifID});
        }
        if (!sec->hasError() && !read.emplace(id, std::move(targets)).second) sec->setError(FSSEC_INTERNAL);
    }
    if (sec->hasError()) {
        TV_TRACE(4, kFile, m, "error reading connections!");
        return kReadFailed;
    }
    const bool adapt = (flags & kConLoadAdapt) != 0;
    for (auto it = read.begin(); it != read.end();) {
        if (m_type && m_type->find(it->first)) {
            ++it;
        } else if (adapt) {
            it = read.erase(it);
        } else {
            TV_TRACE(4, kFile, m, "error difference between instance and typ connectors");
            return kTypeDiffers;
        }
    }
    if (m_type)
        for (const auto& c : m_type->connectors()) {
            if (read.count(c.first)) continue;
            if (!adapt) {
                TV_TRACE(4, kFile, m, "error difference between instance and typ connectors");
                return kTypeDiffers;
            }
            if (!read.emplace(c.first, CBoTargetList()).second) return kCoHostNoCode;
        }
    m_connections.swap(read);
    m_version = VRX_VersionStamp{v.guid, v.version, v.second};
    return 0;
}

uint32_t CBoConInstCont::getTargetList(const ESObjectID& object, const ESConID& src, IUnknown* link,
                                       std::list<ESConID>& out) const
{
    const char* const m = "CBoConInstCont::getTargetList";
    const auto it = m_connections.find(src.ifID);
    if (src.objID != object || it == m_connections.end()) {
        TV_TRACE(3, kFile, m, "warning invalid connector id");
        return kBadId;
    }
    const CLinkHelper helper(object, link, ESProtectObject);
    for (const TargetEntry& t : it->second) {
        ESObjectID other;
        const uint32_t code = helper.getObjectID(t.lkID, &other);
        if (code != 0) {
            TV_TRACE(4, kFile, m, "error 0x%X getting ObjectID", unsigned(code));
            return code;
        }
        out.push_back(ESConID{other, t.ifID});
    }
    return 0;
}

uint32_t CBoConInstCont::canConnect(const ESObjectID& object, const ESConID& src, const ESConID& dst,
                                    IUnknown* project) const
{
    const char* const m = "CBoConInstCont::canConnect";
    auto refuse = [m](const char* why, uint32_t code) {
        TV_TRACE(3, kFile, m, "%s", why);
        return code;
    };
    if (src.objID != object) return refuse("invalid object id in source connector", kBadId);
    if (dst.objID == src.objID) return refuse("connection to own object is not supported at the moment", kBadId);
    if (!m_connections.count(src.ifID)) return refuse("invalid source connector id", kBadId);

    ComPtr<IUnknown> ident;
    uint32_t code = openObject(project, dst.objID, m, ident);
    if (code != 0) return code;
    ComPtr<IMC_ConnectorNav> spIConNav = queryHostInterface<IMC_ConnectorNav>(ident.get());
    if (!spIConNav) {
        TV_TRACE(4, kFile, m, "error getting IMC_ConnectorNav");
        return kCoHostNoCode;
    }
    PmConnectorProps pr{};
    DWORD dwRet = 0;
    CoHostCallResult r = TV_HOST_CALL(site(m, "spIConNav->getConnectorPropsByID(dstID(), &pr, &dwRet)"), &dwRet,
                                      spIConNav->getConnectorPropsByID(dst, &pr, &dwRet));
    if (!r.ok()) return r.code;
    const CBoConProps dstProps(pr);
    CBoConProps srcProps;
    if (!getConProps(src.ifID, srcProps)) {
        TV_TRACE(4, kFile, m, "error calling getConProps");
        return kNotFound;
    }
    if (!srcProps.fits(dstProps)) return refuse("source and destination connector props do not match", kRefused);

    for (const auto& side : {std::make_pair(src.objID, srcProps.m_remote), std::make_pair(dst.objID, dstProps.m_remote)}) {
        bool proxy = false;
        if ((code = isProxyObject(project, side.first, proxy)) != 0) return code;
        if (proxy && !side.second) return refuse("locale connector can't connect an proxy", kRefused);
    }

    std::list<ESConID> srcTargets;
    if ((code = getTargetList(object, src, project, srcTargets)) != 0) return code;
    if ((!srcProps.m_multipoint && !srcTargets.empty()) || holds(srcTargets, dst))
        return refuse("source connector already connected", kRefused);

    DWORD count = 0;
    ESConID* list = nullptr;
    r = TV_HOST_CALL(site(m, "spIConNav->getTargetConnectorIDList(dstID(), &nCount, &spTargets, &dwRet)"), &dwRet,
                     spIConNav->getTargetConnectorIDList(dst, &count, &list, &dwRet));
    std::list<ESConID> dstTargets;
    if (r.ok() && list) dstTargets.assign(list, list + count);
    CoTaskMemFree(list);
    if (!r.ok()) return r.code;
    if (!dstProps.m_multipoint && !dstTargets.empty()) return refuse("target connector already connected", kRefused);
    if (dstProps.m_multipoint && holds(dstTargets, src))
        return refuse("connection already exists (case: multipoint)", kRefused);
    return 0;
}

uint32_t CBoConInstCont::connect(const ESObjectID& object, const ESConID& src, const ESConID& dst, IUnknown* project)
{
    const char* const m = "CBoConInstCont::connect";
    uint32_t code = canConnect(object, src, dst, project);
    if (code != 0) {
        TV_TRACE(3, kFile, m, "connection not possible");
        return code;
    }
    const auto it = m_connections.find(src.ifID);
    CBoConProps props;
    if (it == m_connections.end() || !getConProps(src.ifID, props)) {
        TV_TRACE(4, kFile, m, "error invalid ConnectorID");
        return kBadId;
    }
    ComPtr<IUnknown> ident;
    if ((code = openObject(project, dst.objID, m, ident)) != 0) return code;
    ComPtr<IMC_InternalConnect> spIConnect = queryHostInterface<IMC_InternalConnect>(ident.get());
    if (!spIConnect) {
        TV_TRACE(4, kFile, m, "error getting IMC_InternalConnect");
        return kCoHostNoCode;
    }
    const CLinkHelper helper(object, project, ESProtectObject);
    VARIANT data;
    VariantInit(&data);
    data.vt = VT_BSTR;
    data.bstrVal = SysAllocString(tvp::guidToU16String(props.m_ifType).c_str());
    DWORD lkID = kNoLinkID;
    code = helper.createLink(dst.objID, kLinkSort, kLinkType, data, &lkID);
    VariantClear(&data);
    if (code != 0) return code;
    DWORD dwRet = 0;
    const CoHostCallResult r = TV_HOST_CALL(
        site(m, "spIConnect->connectInternal(dstID(), lkID(), srcID().ifID, ESProtectObject, &dwRet)"), &dwRet,
        spIConnect->connectInternal(dst, lkID, src.ifID, ESProtectObject, &dwRet));
    if (!r.ok()) {
        if (helper.removeLink(lkID) != 0) TV_TRACE(4, kFile, m, "error calling removeLink (error roll back)");
        return r.code;
    }
    it->second.push_back(TargetEntry{lkID, dst.ifID});
    if (!isExemptInterface(props.m_ifType)) resetOnlConsistencyFlags(object, dst.objID, project);
    return 0;
}

uint32_t CBoConInstCont::connectInternal(const ESObjectID& object, const ESConID& own, DWORD link, WORD srcIfID)
{
    const char* const m = "CBoConInstCont::connectInternal";
    const auto it = m_connections.find(own.ifID);
    CBoConProps props;
    if (own.objID != object || it == m_connections.end() || !getConProps(own.ifID, props)) {
        TV_TRACE(4, kFile, m, "error invalid ConnectorID");
        return kBadId;
    }
    const bool busy = !props.m_multipoint && !it->second.empty();
    const bool known = std::any_of(it->second.begin(), it->second.end(),
                                   [link](const TargetEntry& t) { return t.lkID == link; });
    if (busy || known || link == kNoLinkID) {
        TV_TRACE(3, kFile, m, "connection not possible");
        return kRefused;
    }
    it->second.push_back(TargetEntry{link, srcIfID});
    return 0;
}

uint32_t CBoConInstCont::disconnect(const ESObjectID& object, const ESConID& src, const ESConID& dst,
                                    IUnknown* project)
{
    const char* const m = "CBoConInstCont::disconnect";
    const auto it = m_connections.find(src.ifID);
    CBoConProps props;
    if (src.objID != object || it == m_connections.end() || !getConProps(src.ifID, props)) {
        TV_TRACE(4, kFile, m, "error invalid ConnectorID");
        return kBadId;
    }
    const CLinkHelper helper(object, project, ESProtectObject);
    DWORD lkID = kNoLinkID;
    for (const TargetEntry& t : it->second) {
        ESObjectID other;
        if (t.ifID == dst.ifID && helper.getObjectID(t.lkID, &other) == 0 && other == dst.objID) {
            lkID = t.lkID;
            break;
        }
    }
    if (lkID == kNoLinkID) {
        TV_TRACE(3, kFile, m, "no connection to the destination connector");
        return kNotFound;
    }
    const uint32_t code = helper.removeLink(lkID);
    if (code != 0) return code;
    const size_t before = it->second.size();
    it->second.remove_if([lkID](const TargetEntry& t) { return t.lkID == lkID; });
    if (it->second.size() == before) TV_TRACE(3, kFile, m, "link data not automatic updated");
    if (!isExemptInterface(props.m_ifType)) resetOnlConsistencyFlags(object, dst.objID, project);
    return 0;
}

uint32_t CBoConInstCont::updateTargetLinks(const ESObjectID& object, IUnknown* link, bool& changed)
{
    changed = false;
    const CLinkHelper helper(object, link, ESProtectObject);
    uint32_t first = 0;
    for (auto& c : m_connections)
        for (auto t = c.second.begin(); t != c.second.end();) {
            DWORD lk = t->lkID;
            const uint32_t code = helper.updateLink(&lk);
            if (code != 0 && first == 0) first = code;
            if (code == 0 && lk == kNoLinkID) {
                t = c.second.erase(t);
                changed = true;
            } else {
                ++t;
            }
        }
    return first;
}

uint32_t CBoConInstCont::resetOnlConsistencyFlags(const ESObjectID& first, const ESObjectID& second,
                                                  IUnknown* project) const
{
    const char* const m = "CBoConInstCont::resetOnlConsistencyFlags";
    ComPtr<IMC_PmObjectData> data = queryHostInterface<IMC_PmObjectData>(project);
    if (!data) {
        TV_TRACE(4, kFile, m, "can't get IMC_PmObjectData");
        return kCoHostNoCode;
    }
    uint32_t result = 0;
    for (const ESObjectID& id : {first, second}) {
        DWORD dwRet = 0;
        const CoHostCallResult r = TV_HOST_CALL(
            site(m, "spIObjData->setFlagsByID(objID, PmStateFlags, PmFlag_OnlineIdentical, 0, &dwRet)"), &dwRet,
            data->setFlagsByID(id, PmStateFlags, PmFlag_OnlineIdentical, 0, &dwRet));
        if (!r.ok() && result == 0) result = r.code;
    }
    return result;
}

uint32_t CBoConInstCont::checkCon(const ESObjectID& object, IUnknown* project)
{
    const char* const m = "CBoConInstCont::checkCon";
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(project);
    if (!nav) {
        TV_TRACE(4, kFile, m, "error getting IMC_ProjectNavigate");
        return kCoHostNoCode;
    }
    ESObjectID device;
    uint32_t code = CCoDvNavHelper::getParentDevice(object, project, &device);
    if (code != 0) return code;
    ComPtr<IMC_ObjectAccessorFactory> factory = queryHostInterface<IMC_ObjectAccessorFactory>(project);
    ComPtr<IMC_ObjectAccessor> accessor;
    DWORD dwRet = 0;
    CoHostCallResult r{E_NOINTERFACE, 0, kCoHostNoCode};
    if (factory)
        r = TV_HOST_CALL(site(m, "spIFactory->createAsyncObjectAccessor(&spIAccessor, &dwRet)"), &dwRet,
                         factory->createAsyncObjectAccessor(&accessor, &dwRet));
    if (!r.ok() || !accessor) {
        TV_TRACE(4, kFile, m, "error getting IMC_ObjectAccessor");
        return r.ok() ? kCoHostNoCode : r.code;
    }

    uint32_t result = 0;
    auto note = [&result](uint32_t c) {
        if (result == 0) result = c;
    };
    const std::string self = objectName(nav.get(), object);
    std::map<int32_t, std::string> groups;  // exclusive group -> the connected connector
    for (const auto& c : m_connections) {
        CBoConProps props;
        if (!getConProps(c.first, props)) {
            TV_TRACE(4, kFile, m, "error calling getConProps at type");
            note(kNotFound);
            continue;
        }
        const std::string name = props.m_name.c_str();
        std::list<ESConID> targets;
        if ((code = getTargetList(object, ESConID{object, c.first}, project, targets)) != 0) {
            TV_TRACE(4, kFile, m, "error calling getTargetList");
            note(code);
            continue;
        }
        if (props.m_required && targets.empty()) {
            report(kConMsgRequiredNotConnected, self, name);
            note(kConNotConnected);
        }
        std::vector<std::string> names;
        for (const ESConID& t : targets) names.push_back(objectName(nav.get(), t.objID));
        if (!props.m_multipoint && targets.size() > 1) {
            std::string joined;
            for (const std::string& n : names) joined += (joined.empty() ? "" : ", ") + n;
            report(kConMsgTooManyTargets, self, name, joined);
            note(kConTooMany);
        }
        if (!targets.empty() && props.m_exclusiveGroup != -1) {
            const auto g = groups.emplace(props.m_exclusiveGroup, name);
            if (!g.second) {
                report(kConMsgExclusiveGroup, self, name, g.first->second);
                note(kConTooMany);
            }
        }
        size_t i = 0;
        for (const ESConID& t : targets) {
            const std::string& target = names[i++];
            ComPtr<IUnknown> ident;
            r = TV_HOST_CALL(site(m, "spIAccessor->getObjectByIDAndAccessMode(objID, AccessAsync, &spIIdent, &dwRet)"),
                             &dwRet, accessor->getObjectByIDAndAccessMode(t.objID, AccessAsync, &ident, &dwRet));
            if (!r.ok() || !ident) {
                report(kConMsgTargetObjectGone, self, name, target);
                note(kConTargetGone);
                continue;
            }
            ComPtr<IMC_ConnectorNav> conNav = queryHostInterface<IMC_ConnectorNav>(ident.get());
            if (!conNav) {
                TV_TRACE(4, kFile, m, "error QI for IMC_ConnectorNav");
                note(kCoHostNoCode);
                continue;
            }
            PmConnectorProps pr{};
            r = TV_HOST_CALL(site(m, "spIConNav->getConnectorPropsByID(targetID, &pr, &dwRet)"), &dwRet,
                             conNav->getConnectorPropsByID(t, &pr, &dwRet));
            if (!r.ok()) {
                report(kConMsgTargetConnectorGone, self, name, target);
                note(kConTargetGone);
                continue;
            }
            const CBoConProps other(pr);
            if (!props.fits(other)) {
                report(kConMsgPropsDoNotFit, self, name, target, other.m_name.c_str());
                note(kConMismatch);
            }
            ESObjectID targetDevice;
            if (!props.m_remote && CCoDvNavHelper::getParentDevice(t.objID, project, &targetDevice) == 0 &&
                targetDevice != device) {
                report(kConMsgLocalOnOtherDevice, self, name, target);
                note(kConMismatch);
            }
        }
    }
    return result;
}
