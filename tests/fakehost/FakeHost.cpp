// The in-memory host project (see FakeHost.h).
#include "tests/fakehost/FakeHost.h"

#include <cstring>
#include <stdexcept>

#include "co/CoSettings.h"
#include "platform/settings_store.h"
#include "platform/text.h"

namespace fakehost {

namespace {

template <class T>
T* taskMemArray(const std::vector<T>& v)
{
    auto* p = static_cast<T*>(CoTaskMemAlloc(v.size() * sizeof(T)));
    if (p && !v.empty()) std::memcpy(p, v.data(), v.size() * sizeof(T));
    return p;
}

void fillProps(const FakeTask& t, PmTaskProps* props)
{
    if (!props) return;
    std::memset(props, 0, sizeof *props);
    props->rtTaskID = t.rtTaskID;
    props->level = t.level;
    props->onlineConsistent = t.consistent ? TRUE : FALSE;
    std::strncpy(props->lpszName, t.name.c_str(), sizeof props->lpszName - 1);
}

const char kPlatformKey[] = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld";

}  // namespace

#define FH_ENTER(name, ret)                                   \
    do {                                                      \
        HRESULT fhHr_;                                        \
        if (p().enter((name), (ret), &fhHr_)) return fhHr_;   \
    } while (0)

namespace {

// The answer of a query for something the project does not hold.
HRESULT notFound(DWORD* ret)
{
    *ret = kHostNotFound;
    return S_OK;
}

}  // namespace

char* taskMemText(const std::string& s)
{
    auto* p = static_cast<char*>(CoTaskMemAlloc(s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// ---------------------------------------------------------------------------
// Counting and lookup

HRESULT FakeComBase::query(REFIID iid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const IID& d : m_dropped)
        if (d == iid) return E_NOINTERFACE;
    void* itf = find(iid);
    if (!itf) return E_NOINTERFACE;
    addRef();
    *ppv = itf;
    return S_OK;
}

ULONG FakeComBase::addRef()
{
    tvp::noteInterfaceRefs(1);
    return ++m_refs;
}

ULONG FakeComBase::release()
{
    tvp::noteInterfaceRefs(-1);
    return --m_refs;
}

// ---------------------------------------------------------------------------
// Project

FakeProject::FakeProject()
    : m_nav(new FakeNavigation(*this)), m_accessor(new FakeAccessor(*this)),
      m_global(new FakeIdentity(*this, kGlobCommonId)), m_context(new FakeContext(*this)),
      m_productApi(new FakeProductApi(*this)), m_zip(new FakeZip(*this)), m_document(new FakeDocument(*this))
{
}

FakeProject::~FakeProject()
{
    if (m_platformSet) {
        tvp::settingsDeleteValue("HKLM", kPlatformKey, "EnvironmentPlatform");
        resetSettingsCaches();
    }
}

ESObjectID FakeProject::addObject(const std::string& name, DWORD objClass, const ESObjectID& super)
{
    auto o = std::make_unique<FakeObject>();
    uint32_t n = m_next++;
    o->id = ESObjectID{n, 0x0B1E, 0xC7ED, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, uint8_t(n >> 8), uint8_t(n)}};
    o->name = name;
    o->objClass = objClass;
    o->typeId = GUID{n, 0x7E9E, 0x1D00, {0, 0, 0, 0, 0, 0, 0, 1}};
    o->identity.reset(new FakeIdentity(*this, o->id));
    o->type.reset(new FakeBOType(*this, o->id));
    FakeObject* raw = o.get();
    m_byId[o->id] = raw;
    m_byType[o->typeId] = raw;
    m_objects.push_back(std::move(o));
    if (FakeObject* s = object(super)) {
        raw->super = super;
        s->subs.push_back(raw->id);
        raw->addr.device = s->addr.device;
    }
    return raw->id;
}

ESObjectID FakeProject::addDevice(const std::string& name, WORD deviceNo)
{
    ESObjectID id = addObject(name, PmObjCl_Device);
    object(id)->addr = PmInstAddr{deviceNo, 0, 0};
    return id;
}

ESObjectID FakeProject::addTO(const ESObjectID& device, const std::string& name, WORD toNo, DWORD typeClass)
{
    ESObjectID id = addObject(name, PmObjCl_TObject, device);
    FakeObject* o = object(id);
    o->addr.object = toNo;
    o->typeClass = typeClass;
    addLink(device, id);  // a TO is assigned to its device by a link
    return id;
}

DWORD FakeProject::addLink(const ESObjectID& from, const ESObjectID& to)
{
    FakeLink l;
    l.first = from;
    l.second = to;
    m_links.push_back(l);
    return DWORD(m_links.size());
}

void FakeProject::vanishLink(DWORD id)
{
    if (FakeLink* l = link(id)) l->alive = false;
}

void FakeProject::addConnector(const ESObjectID& id, const PmConnectorProps& props)
{
    object(id)->connectors[props.ifID].props = props;
}

void FakeProject::setProxy(const ESObjectID& id, bool proxy)
{
    object(id)->isProxy = proxy;
}

void FakeProject::setTypeAttribute(const GUID& typeId, const std::string& key, const std::string& value)
{
    objectByTypeId(typeId)->typeAttributes[key] = value;
}

void FakeProject::setOnlineIdentical(const ESObjectID& id, bool on)
{
    FakeObject* o = object(id);
    o->flags = on ? (o->flags | PmFlag_OnlineIdentical) : (o->flags & ~DWORD(PmFlag_OnlineIdentical));
}

void FakeProject::setProxyAddress(const ESObjectID& device, const ESObjectID& to, const PmInstAddr& addr)
{
    object(device)->proxy[to] = addr;
}

void FakeProject::addTask(const ESObjectID& device, DWORD level, DWORD rtTaskID, const std::string& name,
                          bool consistent)
{
    object(device)->tasks.push_back(FakeTask{level, rtTaskID, name, consistent});
}

void FakeProject::addAlarm(const ESObjectID& device, const std::string& name, DWORD alarmID)
{
    FakeObject* d = object(device);
    if (!d->alarms) d->alarms.reset(new FakeAlarmNav(*this));
    d->alarms->alarms.emplace_back(name, alarmID);
}

void FakeProject::addProjectAlarm(const std::string& name, DWORD alarmID)
{
    projectAlarms.emplace_back(name, alarmID);
}

FakeObject* FakeProject::object(const ESObjectID& id)
{
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

FakeObject* FakeProject::objectByTypeId(const GUID& typeId)
{
    auto it = m_byType.find(typeId);
    return it == m_byType.end() ? nullptr : it->second;
}

IUnknown* FakeProject::navigation()
{
    return static_cast<IMC_ProjectNavigate*>(m_nav.get());
}

IUnknown* FakeProject::identity(const ESObjectID& id)
{
    if (id == kGlobCommonId) return globalCommon();
    FakeObject* o = object(id);
    return o ? static_cast<IMC_ObjectIdentity*>(o->identity.get()) : nullptr;
}

IUnknown* FakeProject::globalCommon()
{
    return static_cast<IMC_ObjectIdentity*>(m_global.get());
}

IUnknown* FakeProject::context()
{
    return static_cast<IMC_HostContext*>(m_context.get());
}

FakeAlarmNav* FakeProject::alarmContainer(const ESObjectID& device)
{
    FakeObject* d = object(device);
    return d ? d->alarms.get() : nullptr;
}

void FakeProject::setEnvironmentPlatform(DWORD value)
{
    tvp::settingsSetDword("HKLM", kPlatformKey, "EnvironmentPlatform", value);
    resetSettingsCaches();
    m_platformSet = true;
}

bool FakeProject::enter(const char* method, DWORD* ret, HRESULT* hr)
{
    ++m_callCount;
    if (logCalls) m_log.push_back(method);
    if (ret) *ret = 0;
    if (m_faults.empty()) return false;
    int n = ++m_calls[method];
    auto it = m_faults.find(method);
    if (it == m_faults.end()) return false;
    const Fault& f = it->second;
    if (n < f.fromCall || (f.calls > 0 && n >= f.fromCall + f.calls)) return false;
    switch (f.kind) {
    case Fault::Throw:
        throw std::runtime_error(std::string("fake host: ") + method);
    case Fault::Hresult:
        *hr = f.hr;
        return true;
    case Fault::Code:
        if (ret) {
            *ret = f.code;
            *hr = S_OK;
        } else {
            *hr = E_FAIL;
        }
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Navigation object

void* FakeNavigation::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_ProjectNavigate) return static_cast<IMC_ProjectNavigate*>(this);
    if (iid == IID_IMC_InstallNavigate) return static_cast<IMC_InstallNavigate*>(this);
    if (iid == kPmObjectDataIid) return static_cast<IMC_PmObjectData*>(this);
    if (iid == IID_IMC_Link) return static_cast<IMC_Link*>(this);
    if (iid == IID_IMC_ObjectAccessorFactory) return static_cast<IMC_ObjectAccessorFactory*>(this);
    if (iid == IID_IMC_InternalLink) return static_cast<IMC_InternalLink*>(this);
    if (iid == IID_IMC_InstallDetails) return static_cast<IMC_InstallDetails*>(this);
    if (iid == IID_IMC_InstallClassification) return static_cast<IMC_InstallClassification*>(this);
    return nullptr;
}

HRESULT FakeNavigation::getObjectIdByNameAndClass(const char* name, DWORD objClass, ESObjectID* id, DWORD* ret)
{
    FH_ENTER("getObjectIdByNameAndClass", ret);
    for (const auto& o : p().objects())
        if (o->objClass == objClass && tvp::icmpAscii(o->name.c_str(), name) == 0) {
            *id = o->id;
            return S_OK;
        }
    return notFound(ret);
}

HRESULT FakeNavigation::getObjectIdListByNameAndClass(const char* name, DWORD objClass, DWORD* count,
                                                      ESObjectID** ids, DWORD* ret)
{
    FH_ENTER("getObjectIdListByNameAndClass", ret);
    std::vector<ESObjectID> found;
    for (const auto& o : p().objects())
        if (o->objClass == objClass && tvp::icmpAscii(o->name.c_str(), name) == 0) found.push_back(o->id);
    *count = DWORD(found.size());
    *ids = taskMemArray(found);
    return S_OK;
}

HRESULT FakeNavigation::getObjectIdListByClass(DWORD objClass, DWORD* count, ESObjectID** ids)
{
    FH_ENTER("getObjectIdListByClass", nullptr);
    std::vector<ESObjectID> found;
    for (const auto& o : p().objects())
        if (o->objClass == objClass) found.push_back(o->id);
    *count = DWORD(found.size());
    *ids = taskMemArray(found);
    return S_OK;
}

HRESULT FakeNavigation::getObjectNameByID(const ESObjectID& id, char** name, DWORD* ret)
{
    FH_ENTER("getObjectNameByID", ret);
    FakeObject* o = p().object(id);
    if (!o) return notFound(ret);
    *name = taskMemText(o->name);
    return S_OK;
}

HRESULT FakeNavigation::getObjClass(const ESObjectID& id, DWORD* objClass, DWORD* ret)
{
    FH_ENTER("getObjClass", ret);
    FakeObject* o = p().object(id);
    if (!o) return notFound(ret);
    *objClass = o->objClass;
    return S_OK;
}

HRESULT FakeNavigation::getSuperObject(const ESObjectID& id, ESObjectID* superId, DWORD* ret)
{
    FH_ENTER("getSuperObject", ret);
    FakeObject* o = p().object(id);
    if (!o || !p().object(o->super)) return notFound(ret);
    *superId = o->super;
    return S_OK;
}

HRESULT FakeNavigation::getSubObjectIDList(const ESObjectID& id, DWORD* count, ESObjectID** ids, DWORD* ret)
{
    FH_ENTER("getSubObjectIDList", ret);
    FakeObject* o = p().object(id);
    if (!o) return notFound(ret);
    *count = DWORD(o->subs.size());
    *ids = taskMemArray(o->subs);
    return S_OK;
}

HRESULT FakeNavigation::getTypeIDByObjectID(const ESObjectID& id, GUID* typeId, DWORD* ret)
{
    FH_ENTER("getTypeIDByObjectID", ret);
    FakeObject* o = p().object(id);
    if (!o) return notFound(ret);
    *typeId = o->typeId;
    return S_OK;
}

HRESULT FakeNavigation::getObjectByID(const ESObjectID& id, IUnknown** identity, DWORD* ret)
{
    FH_ENTER("getObjectByID", ret);
    IUnknown* i = p().identity(id);
    if (!i) return notFound(ret);
    i->AddRef();
    *identity = i;
    return S_OK;
}

HRESULT FakeNavigation::getTypeNameByID(const GUID& typeId, char** name, DWORD* ret)
{
    FH_ENTER("getTypeNameByID", ret);
    FakeObject* o = p().objectByTypeId(typeId);
    if (!o) return notFound(ret);
    *name = taskMemText(o->typeName);
    return S_OK;
}

HRESULT FakeNavigation::getTypeClass(const GUID& typeId, DWORD* typeClass, DWORD* ret)
{
    FH_ENTER("getTypeClass", ret);
    FakeObject* o = p().objectByTypeId(typeId);
    if (!o) return notFound(ret);
    *typeClass = o->typeClass;
    return S_OK;
}

HRESULT FakeNavigation::getInstAddrByID(const ESObjectID& id, PmInstAddr* addr, DWORD* ret)
{
    FH_ENTER("getInstAddrByID", ret);
    FakeObject* o = p().object(id);
    if (!o) return notFound(ret);
    *addr = o->addr;
    return S_OK;
}

HRESULT FakeNavigation::getFlagsByID(const ESObjectID& id, DWORD group, DWORD* flags, DWORD* ret)
{
    FH_ENTER("getFlagsByID", ret);
    FakeObject* o = p().object(id);
    if (!o || group != PmStateFlags) {
        *ret = o ? kHostBadArgument : kHostNotFound;
        return S_OK;
    }
    *flags = o->flags;
    return S_OK;
}

HRESULT FakeNavigation::getLastModifyTimeByID(const ESObjectID& id, FILETIME* time, DWORD* ret)
{
    FH_ENTER("getLastModifyTimeByID", ret);
    FakeObject* o = p().object(id);
    if (!o) return notFound(ret);
    *time = o->modified;
    return S_OK;
}

HRESULT FakeNavigation::findLinks(PmLinkData pattern, DWORD mask, DWORD* count, DWORD** links)
{
    FH_ENTER("findLinks", nullptr);
    std::vector<DWORD> found;
    const auto& all = p().links();
    for (size_t i = 0; i < all.size(); ++i) {
        if (!all[i].alive) continue;
        bool hit = (mask == PmLinkMask_EndingAt && all[i].second == pattern.second) ||
                   (mask == PmLinkMask_StartingAt && all[i].first == pattern.first);
        if (hit) found.push_back(DWORD(i + 1));
    }
    *count = DWORD(found.size());
    *links = taskMemArray(found);
    return S_OK;
}

HRESULT FakeNavigation::getLinkData(const ESObjectID& id, DWORD link, PmLinkData* data, DWORD* ret)
{
    FH_ENTER("getLinkData", ret);
    const auto& all = p().links();
    if (link == 0 || link > all.size()) return notFound(ret);
    if (!all[link - 1].alive) {
        *ret = kHostLinkGone;
        return S_OK;
    }
    data->first = all[link - 1].first;
    data->second = all[link - 1].second;
    data->kind = 1;
    VariantInit(&data->data);
    data->data.vt = VT_BSTR;
    data->data.bstrVal = SysAllocString(u"link");
    return S_OK;
}

HRESULT FakeNavigation::getTypeByID(const GUID& typeId, IUnknown** type, DWORD* ret)
{
    FH_ENTER("getTypeByID", ret);
    FakeObject* o = p().objectByTypeId(typeId);
    if (!o) {
        *ret = kHostNotFound;
        return S_OK;
    }
    IUnknown* t = static_cast<IMC_InternalBOType*>(o->type.get());
    t->AddRef();
    *type = t;
    return S_OK;
}

HRESULT FakeNavigation::setFlagsByID(const ESObjectID& id, DWORD group, DWORD mask, DWORD value, DWORD* ret)
{
    FH_ENTER("setFlagsByID", ret);
    FakeObject* o = p().object(id);
    if (!o || group != PmStateFlags) {
        *ret = o ? kHostBadArgument : kHostNotFound;
        return S_OK;
    }
    o->flags = (o->flags & ~mask) | (value & mask);
    return S_OK;
}

HRESULT FakeNavigation::internalCreateLink(const ESObjectID& source, const ESObjectID& destination, DWORD sort,
                                           DWORD type, const VARIANT& data, DWORD* link, DWORD* ret)
{
    FH_ENTER("internalCreateLink", ret);
    if (!p().object(source) || !p().object(destination)) {
        *ret = kHostNotFound;
        return S_OK;
    }
    *link = p().addLink(source, destination);
    FakeLink* l = p().link(*link);
    l->sort = sort;
    l->type = type;
    if (data.vt == VT_BSTR) l->data = tvp::wideToAnsi(data.bstrVal);
    return S_OK;
}

HRESULT FakeNavigation::internalRemoveLink(DWORD link, DWORD* ret)
{
    FH_ENTER("internalRemoveLink", ret);
    FakeLink* l = p().link(link);
    if (!l || !l->alive) {
        *ret = kHostNotFound;
        return S_OK;
    }
    l->alive = false;
    return S_OK;
}

HRESULT FakeNavigation::getAttributeByTypeID(const GUID& typeId, BSTR key, BSTR* value, DWORD* ret)
{
    FH_ENTER("getAttributeByTypeID", ret);
    FakeObject* o = p().objectByTypeId(typeId);
    const auto it = o ? o->typeAttributes.find(tvp::wideToAnsi(key)) : std::map<std::string, std::string>::iterator();
    if (!o || it == o->typeAttributes.end()) {
        *ret = kHostNotFound;
        return S_OK;
    }
    *value = SysAllocString(tvp::ansiToWide(it->second).c_str());
    return S_OK;
}

HRESULT FakeNavigation::getInstallationDocument(IUnknown** document, DWORD* ret)
{
    FH_ENTER("getInstallationDocument", ret);
    IUnknown* d = static_cast<IMC_XmlDocumentText*>(&p().document());
    d->AddRef();
    *document = d;
    return S_OK;
}

HRESULT FakeNavigation::createAsyncObjectAccessor(IMC_ObjectAccessor** accessor, DWORD* ret)
{
    FH_ENTER("createAsyncObjectAccessor", ret);
    IMC_ObjectAccessor* a = &p().accessorObject();
    a->AddRef();
    *accessor = a;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Accessor

void* FakeAccessor::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_ObjectAccessor) return static_cast<IMC_ObjectAccessor*>(this);
    return nullptr;
}

HRESULT FakeAccessor::getObjectByIDAndAccessMode(const ESObjectID& id, DWORD mode, IUnknown** identity, DWORD* ret)
{
    FH_ENTER("getObjectByIDAndAccessMode", ret);
    IUnknown* i = p().identity(id);
    if (!i || mode != AccessAsync) {
        *ret = i ? kHostBadArgument : kHostNotFound;
        return S_OK;
    }
    i->AddRef();
    *identity = i;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Identity objects

FakeObject* FakeIdentity::device() const
{
    FakeObject* o = p().object(m_id);
    return o && o->objClass == PmObjCl_Device ? o : nullptr;
}

const FakeTask* FakeIdentity::task(DWORD rtTaskID) const
{
    FakeObject* d = device();
    if (!d) return nullptr;
    for (const FakeTask& t : d->tasks)
        if (t.rtTaskID == rtTaskID) return &t;
    return nullptr;
}

void* FakeIdentity::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_ObjectIdentity) return static_cast<IMC_ObjectIdentity*>(this);
    if (m_id == kGlobCommonId)
        return iid == IID_IMC_Alarm_S_Navigate ? static_cast<IMC_Alarm_S_Navigate*>(this) : nullptr;
    FakeObject* o = p().object(m_id);
    if (!o) return nullptr;
    if (o->objClass == PmObjCl_Device) {
        if (iid == IID_IMC_DeviceInternals) return static_cast<IMC_DeviceInternals*>(this);
        if (iid == IID_IMC_CompileSupport) return static_cast<IMC_CompileSupport*>(this);
        if (iid == IID_IMC_TaskLevels) return static_cast<IMC_TaskLevels*>(this);
        if (iid == IID_IMC_TaskExtProps) return static_cast<IMC_TaskExtProps*>(this);
        if (iid == IID_IMC_AlarmSupport) return static_cast<IMC_AlarmSupport*>(this);
        return nullptr;
    }
    if (iid == IID_IMC_ParentInfo) return static_cast<IMC_ParentInfo*>(this);
    if (!o->connectors.empty()) {
        if (iid == IID_IMC_ConnectorNav) return static_cast<IMC_ConnectorNav*>(this);
        if (iid == IID_IMC_InternalConnect) return static_cast<IMC_InternalConnect*>(this);
    }
    return nullptr;
}

FakeConnector* FakeIdentity::connector(const ESConID& id, DWORD* ret) const
{
    FakeObject* o = p().object(id.objID);
    auto it = o && id.objID == m_id ? o->connectors.find(id.ifID) : std::map<WORD, FakeConnector>::iterator();
    if (!o || id.objID != m_id || it == o->connectors.end()) {
        *ret = kHostNotFound;
        return nullptr;
    }
    return &it->second;
}

HRESULT FakeIdentity::getConnectorPropsByID(const ESConID& id, PmConnectorProps* props, DWORD* ret)
{
    FH_ENTER("getConnectorPropsByID", ret);
    if (FakeConnector* c = connector(id, ret)) *props = c->props;
    return S_OK;
}

HRESULT FakeIdentity::getTargetConnectorIDList(const ESConID& id, DWORD* count, ESConID** targets, DWORD* ret)
{
    FH_ENTER("getTargetConnectorIDList", ret);
    FakeConnector* c = connector(id, ret);
    if (!c) return S_OK;
    std::vector<ESConID> found;
    for (const TargetEntry& t : c->targets) {
        const FakeLink* l = p().link(t.lkID);
        if (!l || !l->alive) continue;
        found.push_back(ESConID{l->first == m_id ? l->second : l->first, t.ifID});
    }
    *count = DWORD(found.size());
    *targets = taskMemArray(found);
    return S_OK;
}

HRESULT FakeIdentity::connectInternal(const ESConID& own, DWORD link, WORD srcIfID, DWORD, DWORD* ret)
{
    FH_ENTER("connectInternal", ret);
    if (FakeConnector* c = connector(own, ret)) c->targets.push_back(TargetEntry{link, srcIfID});
    return S_OK;
}

void* FakeBOType::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_InternalBOType) return static_cast<IMC_InternalBOType*>(this);
    return nullptr;
}

HRESULT FakeBOType::getProxyTypeID(GUID* proxyTypeId)
{
    FH_ENTER("getProxyTypeID", nullptr);
    FakeObject* o = p().object(m_owner);
    *proxyTypeId = o->typeId;
    if (!o->isProxy) proxyTypeId->Data3 ^= 0x00FF;
    return S_OK;
}

void* FakeDocument::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_XmlDocumentText) return static_cast<IMC_XmlDocumentText*>(this);
    return nullptr;
}

HRESULT FakeDocument::getXmlText(char** utf8)
{
    FH_ENTER("getXmlText", nullptr);
    *utf8 = taskMemText(p().installationXml);
    return S_OK;
}

HRESULT FakeIdentity::getID(ESObjectID* id)
{
    FH_ENTER("getID", nullptr);
    *id = m_id;
    return S_OK;
}

HRESULT FakeIdentity::getParent(ESObjectID* parentId, BOOL* hasParent)
{
    FH_ENTER("getParent", nullptr);
    FakeObject* o = p().object(m_id);
    bool has = o && p().object(o->super);
    *hasParent = has ? TRUE : FALSE;
    *parentId = has ? o->super : kInvalidObjectId;
    return S_OK;
}

HRESULT FakeIdentity::getProxyTOAdr(const ESObjectID& toID, IMC_ObjectAccessor*, PmInstAddr* addr, DWORD* ret)
{
    FH_ENTER("getProxyTOAdr", ret);
    FakeObject* d = device();
    FakeObject* to = p().object(toID);
    if (!d || !to) return notFound(ret);
    auto it = d->proxy.find(toID);
    *addr = it != d->proxy.end() ? it->second : to->addr;
    return S_OK;
}

HRESULT FakeIdentity::getTaskInfo(const char* name, DWORD* taskID, PmTaskProps* props, DWORD* ret)
{
    FH_ENTER("getTaskInfo", ret);
    if (FakeObject* d = device())
        for (const FakeTask& t : d->tasks)
            if (tvp::icmpAscii(t.name.c_str(), name) == 0) {
                *taskID = t.rtTaskID;
                fillProps(t, props);
                return S_OK;
            }
    return notFound(ret);
}

HRESULT FakeIdentity::getLevelIDList(DWORD, DWORD* count, DWORD** levels, DWORD* ret)
{
    FH_ENTER("getLevelIDList", ret);
    std::vector<DWORD> found;
    if (FakeObject* d = device())
        for (const FakeTask& t : d->tasks) {
            bool seen = false;
            for (DWORD l : found) seen = seen || l == t.level;
            if (!seen) found.push_back(t.level);
        }
    *count = DWORD(found.size());
    *levels = taskMemArray(found);
    return S_OK;
}

HRESULT FakeIdentity::getTaskIDList(DWORD level, DWORD, DWORD* count, DWORD** tasks, DWORD* ret)
{
    FH_ENTER("getTaskIDList", ret);
    std::vector<DWORD> found;
    if (FakeObject* d = device())
        for (const FakeTask& t : d->tasks)
            if (t.level == level) found.push_back(t.rtTaskID);
    *count = DWORD(found.size());
    *tasks = taskMemArray(found);
    return S_OK;
}

HRESULT FakeIdentity::getTaskPropsByID(DWORD taskId, PmTaskProps* props, DWORD* ret)
{
    FH_ENTER("getTaskPropsByID", ret);
    const FakeTask* t = task(taskId);
    if (!t) return notFound(ret);
    fillProps(*t, props);
    return S_OK;
}

HRESULT FakeIdentity::getTaskNameByRtTaskID(DWORD taskID, char** name, DWORD* ret)
{
    FH_ENTER("getTaskNameByRtTaskID", ret);
    const FakeTask* t = task(taskID);
    if (!t) return notFound(ret);
    *name = taskMemText(t->name);
    return S_OK;
}

HRESULT FakeIdentity::decodeRtTaskIDOnline(DWORD taskID, ESObjectID* id, DWORD* ret)
{
    FH_ENTER("decodeRtTaskIDOnline", ret);
    const FakeTask* t = task(taskID);
    if (!t) return notFound(ret);
    if (!t->consistent) {
        *ret = kHostTaskInconsistent;
        return S_OK;
    }
    *id = m_id;
    return S_OK;
}

HRESULT FakeIdentity::getAlarmContainerInterface(IUnknown** container, DWORD* ret)
{
    FH_ENTER("getAlarmContainerInterface", ret);
    FakeObject* d = device();
    if (!d || !d->alarms) return notFound(ret);
    IUnknown* c = static_cast<IMC_Alarm_S_Navigate*>(d->alarms.get());
    c->AddRef();
    *container = c;
    return S_OK;
}

namespace {

HRESULT alarmIdByName(const std::vector<std::pair<std::string, DWORD>>& alarms, const char* name, DWORD* alarmID,
                      DWORD* ret)
{
    for (const auto& a : alarms)
        if (tvp::icmpAscii(a.first.c_str(), name) == 0) {
            *alarmID = a.second;
            return S_OK;
        }
    return notFound(ret);
}

HRESULT alarmById(const std::vector<std::pair<std::string, DWORD>>& alarms, DWORD alarmID, PmAlarmData* data,
                  DWORD* ret)
{
    for (const auto& a : alarms)
        if (a.second == alarmID) {
            data->alarmID = alarmID;
            data->kind = 0;
            data->name = SysAllocString(tvp::ansiToWide(a.first).c_str());
            return S_OK;
        }
    return notFound(ret);
}

}  // namespace

HRESULT FakeIdentity::getAlarmIdByName(const char* name, DWORD* alarmID, DWORD* ret)
{
    FH_ENTER("getAlarmIdByName", ret);
    return alarmIdByName(p().projectAlarms, name, alarmID, ret);
}

HRESULT FakeIdentity::GetAlarm(DWORD alarmID, PmAlarmData* data, DWORD* ret)
{
    FH_ENTER("GetAlarm", ret);
    return alarmById(p().projectAlarms, alarmID, data, ret);
}

void* FakeAlarmNav::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_Alarm_S_Navigate) return static_cast<IMC_Alarm_S_Navigate*>(this);
    return nullptr;
}

HRESULT FakeAlarmNav::getAlarmIdByName(const char* name, DWORD* alarmID, DWORD* ret)
{
    FH_ENTER("getAlarmIdByName", ret);
    return alarmIdByName(alarms, name, alarmID, ret);
}

HRESULT FakeAlarmNav::GetAlarm(DWORD alarmID, PmAlarmData* data, DWORD* ret)
{
    FH_ENTER("GetAlarm", ret);
    return alarmById(alarms, alarmID, data, ret);
}

// ---------------------------------------------------------------------------
// Context, product API, zip

void* FakeContext::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_HostContext) return static_cast<IMC_HostContext*>(this);
    if (iid == kPmObjectDataIid) return static_cast<IMC_PmObjectData*>(this);
    return nullptr;
}

HRESULT FakeContext::getInterfaceByCLSID(REFCLSID clsid, IUnknown** unk, DWORD* ret)
{
    FH_ENTER("getInterfaceByCLSID", ret);
    IUnknown* c = nullptr;
    if (clsid == CLSID_VRXTarnexApi && hasProductApi) c = static_cast<IMC_TarnexClassicInternals*>(&p().productApi());
    if (clsid == CLSID_VRXZip && hasZip) c = static_cast<IMC_Zip*>(&p().zip());
    if (!c) return REGDB_E_CLASSNOTREG;
    c->AddRef();
    *unk = c;
    return S_OK;
}

HRESULT FakeContext::getInstAddrByID(const ESObjectID& id, PmInstAddr* addr, DWORD* ret)
{
    return p().navigationObject().getInstAddrByID(id, addr, ret);
}

HRESULT FakeContext::getFlagsByID(const ESObjectID& id, DWORD group, DWORD* flags, DWORD* ret)
{
    return p().navigationObject().getFlagsByID(id, group, flags, ret);
}

HRESULT FakeContext::getLastModifyTimeByID(const ESObjectID& id, FILETIME* time, DWORD* ret)
{
    return p().navigationObject().getLastModifyTimeByID(id, time, ret);
}

HRESULT FakeContext::setFlagsByID(const ESObjectID& id, DWORD group, DWORD mask, DWORD value, DWORD* ret)
{
    return p().navigationObject().setFlagsByID(id, group, mask, value, ret);
}

void* FakeProductApi::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_TarnexClassicInternals)
        return static_cast<IMC_TarnexClassicInternals*>(this);
    return nullptr;
}

HRESULT FakeProductApi::GetTimeStamp(const PxObjectDescriptor&, ULONGLONG* time, LONG* ret)
{
    DWORD r = 0;
    HRESULT hr;
    if (p().enter("GetTimeStamp", &r, &hr)) {
        *ret = LONG(r);
        return hr;
    }
    *ret = 0;
    *time = timeStamp;
    return S_OK;
}

void* FakeZip::find(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IMC_Zip) return static_cast<IMC_Zip*>(this);
    return nullptr;
}

HRESULT FakeZip::compressOrUncompressStream(IStream* source, IStream* destination, BOOL compress, DWORD* ret)
{
    FH_ENTER("compressOrUncompressStream", ret);
    if (!source || !destination) return E_POINTER;
    std::string bytes;
    char buf[256];
    ULONG got = 0;
    LARGE_INTEGER zero{};
    source->Seek(zero, STREAM_SEEK_SET, nullptr);
    while (SUCCEEDED(source->Read(buf, sizeof buf, &got)) && got > 0) bytes.append(buf, got);
    if (compress) {
        bytes.insert(0, "ZIP:");
    } else if (bytes.compare(0, 4, "ZIP:") == 0) {
        bytes.erase(0, 4);
    } else {
        *ret = kHostBadArgument;
        return S_OK;
    }
    ULONG written = 0;
    return destination->Write(bytes.data(), ULONG(bytes.size()), &written);
}

// ---------------------------------------------------------------------------
// Fixture

bool hasTraceLine(const CTraceCapture& cap, const std::string& message, int level)
{
    for (const auto& l : cap.lines())
        if (l.message == message && (level < 0 || int(l.level) == level)) return true;
    return false;
}

void HostTest::SetUp()
{
    m_taskMem = tvp::liveTaskMemBlocks();
    m_bstrs = tvp::liveBstrs();
    m_refs = tvp::liveInterfaceRefs();
}

void HostTest::TearDown()
{
    EXPECT_EQ(m_taskMem, tvp::liveTaskMemBlocks()) << "task memory not freed";
    EXPECT_EQ(m_bstrs, tvp::liveBstrs()) << "BSTRs not freed";
    EXPECT_EQ(m_refs, tvp::liveInterfaceRefs()) << "interface references not released";
}

}  // namespace fakehost
