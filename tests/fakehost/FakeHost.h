// An in-memory engineering project behind the host's project interfaces,
// for the tests and benchmarks of everything that calls the host.
//
// Build a project with the builder calls (devices, technology objects, other
// objects, links, tasks, alarms), then hand navigation() and identity(id) to
// the code under test. Every COM object here belongs to the project and
// lives as long as it; references are still counted (platform's live
// interface references), so a test can see that the code released what it
// took.
//
// Knobs: any interface of any object can be dropped (QueryInterface then
// answers E_NOINTERFACE); any method can be made to fail by name with a
// negative HRESULT, a non-zero return code or a thrown C++ exception, from
// its n-th call on and for a number of calls; every call is logged by
// method name; the environment-platform setting can be set for the life of
// the project.
//
// What the host answers:
// - names are compared ASCII case-insensitively; a missing object, name,
//   task or alarm gives S_OK with the return code kHostNotFound;
// - getParent of an object inside a device gives its super object;
// - getProxyTOAdr gives the address set with setProxyAddress for that device,
//   else the TO's own instance address;
// - getLinkData puts a BSTR into the record's VARIANT (the caller clears it);
// - decodeRtTaskIDOnline of a task that is not online-consistent gives
//   kHostTaskInconsistent.
// - Connectors: an object given connectors (addConnector) has
//   IMC_ConnectorNav and IMC_InternalConnect on its identity;
//   connectInternal appends the target to the object's connector and
//   getTargetConnectorIDList answers the other ends of the connector's live
//   links. Links are numbered from 1 in creation order; a removed or
//   vanished link is gone for findLinks, and getLinkData answers it with
//   kHostLinkGone (5 in the low word).
// - Installed types: getTypeByID gives the type object of an object's type,
//   whose getProxyTypeID answers the type id itself for an object made a
//   proxy (setProxy), another id otherwise; getAttributeByTypeID answers the
//   type attributes set with setTypeAttribute; the installation document
//   holds installationXml.
// New interfaces get a class of their own below and a line in
// FakeIdentity::find or FakeNavigation::find.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "co/TraceApi.h"
#include "platform/hostproject.h"

namespace fakehost {

// The ids the host itself defines, written here from their definitions and
// never taken from the headers under test: a wrong constant there then
// makes the code miss the fake host instead of agreeing with it. (The ids by
// which the other interfaces are queried are this system's own choice and
// come from platform/hostproject.h.)
// No object: every byte 0xFF.
inline constexpr ESObjectID kInvalidObjectId = {
    0xFFFFFFFFu, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
// The project's global common object {D2545197-FB39-11D3-85A7-0050046A30DE}.
inline constexpr ESObjectID kGlobCommonId = {
    0xD2545197u, 0xFB39, 0x11D3, {0x85, 0xA7, 0x00, 0x50, 0x04, 0x6A, 0x30, 0xDE}};
// IMC_PmObjectData {5860060E-458F-433F-A809-C02EF7C5F413}.
inline constexpr IID kPmObjectDataIid = {
    0x5860060Eu, 0x458F, 0x433F, {0xA8, 0x09, 0xC0, 0x2E, 0xF7, 0xC5, 0xF4, 0x13}};

constexpr DWORD kHostNotFound = 0x2001;
constexpr DWORD kHostTaskInconsistent = 0x17;
constexpr DWORD kHostBadArgument = 0x2002;
constexpr DWORD kHostLinkGone = 0x00010005;

class FakeProject;

// How a method fails.
struct Fault {
    enum Kind { Hresult, Code, Throw } kind = Hresult;
    HRESULT hr = E_FAIL;  // Hresult
    DWORD code = 0;       // Code
    int fromCall = 1;     // the first failing call (1 = the first call)
    int calls = 0;        // how many calls fail; 0 = all from fromCall on

    static Fault hresult(HRESULT h) { return Fault{Hresult, h, 0}; }
    static Fault retCode(DWORD c) { return Fault{Code, S_OK, c}; }
    static Fault exception() { return Fault{Throw}; }
    Fault& from(int n)
    {
        fromCall = n;
        return *this;
    }
    Fault& times(int n)
    {
        calls = n;
        return *this;
    }
};

// Reference counting and interface lookup of the fake objects.
class FakeComBase {
public:
    explicit FakeComBase(FakeProject& p) : m_project(p) {}
    virtual ~FakeComBase() = default;
    // QueryInterface answers E_NOINTERFACE for iid from now on.
    void drop(const IID& iid) { m_dropped.push_back(iid); }
    ULONG refs() const { return m_refs; }

protected:
    HRESULT query(REFIID iid, void** ppv);
    ULONG addRef();
    ULONG release();
    // The interface pointer for iid, null when the object has none.
    virtual void* find(REFIID iid) = 0;
    FakeProject& p() const { return m_project; }

private:
    FakeProject& m_project;
    std::vector<IID> m_dropped;
    ULONG m_refs = 0;
};

#define FAKEHOST_IUNKNOWN                                                                   \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override { return query(iid, ppv); } \
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }                           \
    ULONG STDMETHODCALLTYPE Release() override { return release(); }

struct FakeTask {
    DWORD level;
    DWORD rtTaskID;
    std::string name;
    bool consistent;
};

class FakeAlarmNav;
class FakeIdentity;
class FakeBOType;

// A connector of an object and its targets (link, connector at the other end).
struct FakeConnector {
    PmConnectorProps props;
    std::vector<TargetEntry> targets;
};

// A link between two objects; those made by internalCreateLink keep their
// sort, type and link data (as text).
struct FakeLink {
    ESObjectID first;
    ESObjectID second;
    bool alive = true;
    DWORD sort = 0;
    DWORD type = 0;
    std::string data;
};

struct FakeObject {
    ESObjectID id;
    std::string name;
    DWORD objClass;
    ESObjectID super = kInvalidObjectId;
    std::vector<ESObjectID> subs;
    GUID typeId = GUID_NULL;
    DWORD typeClass = 0;
    std::string typeName;  // the name of its type
    PmInstAddr addr{0, 0, 0};
    DWORD flags = PmFlag_OnlineIdentical;
    FILETIME modified{0, 0};
    // Devices
    std::map<ESObjectID, PmInstAddr, ObjectIdLess> proxy;  // by TO id
    std::vector<FakeTask> tasks;
    std::unique_ptr<FakeAlarmNav> alarms;  // the alarm container, when it has one
    std::unique_ptr<FakeIdentity> identity;
    // Connectors by id; the identity has the connector interfaces when any.
    std::map<WORD, FakeConnector> connectors;
    bool isProxy = false;  // its type is its own proxy type
    std::map<std::string, std::string> typeAttributes;  // of the object's type
    std::unique_ptr<FakeBOType> type;                   // the installed type object
};

// The installed type object of an object's type.
class FakeBOType : public FakeComBase, public IMC_InternalBOType {
public:
    FakeBOType(FakeProject& p, const ESObjectID& owner) : FakeComBase(p), m_owner(owner) {}
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE getProxyTypeID(GUID* proxyTypeId) override;

protected:
    void* find(REFIID iid) override;

private:
    ESObjectID m_owner;
};

// The installation document: its XML text.
class FakeDocument : public FakeComBase, public IMC_XmlDocumentText {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE getXmlText(char** utf8) override;

protected:
    void* find(REFIID iid) override;
};

class FakeAlarmNav : public FakeComBase, public IMC_Alarm_S_Navigate {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE getAlarmIdByName(const char* name, DWORD* alarmID, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE GetAlarm(DWORD alarmID, PmAlarmData* data, DWORD* ret) override;
    std::vector<std::pair<std::string, DWORD>> alarms;

protected:
    void* find(REFIID iid) override;
};

class FakeIdentity : public FakeComBase,
                     public IMC_ObjectIdentity,
                     public IMC_ParentInfo,
                     public IMC_DeviceInternals,
                     public IMC_CompileSupport,
                     public IMC_TaskLevels,
                     public IMC_TaskExtProps,
                     public IMC_AlarmSupport,
                     public IMC_Alarm_S_Navigate,
                     public IMC_ConnectorNav,
                     public IMC_InternalConnect {
public:
    FakeIdentity(FakeProject& p, const ESObjectID& id) : FakeComBase(p), m_id(id) {}
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE getID(ESObjectID* id) override;
    HRESULT STDMETHODCALLTYPE getParent(ESObjectID* parentId, BOOL* hasParent) override;
    HRESULT STDMETHODCALLTYPE getProxyTOAdr(const ESObjectID& toID, IMC_ObjectAccessor* accessor, PmInstAddr* addr,
                                            DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTaskInfo(const char* name, DWORD* taskID, PmTaskProps* props, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getLevelIDList(DWORD filter, DWORD* count, DWORD** levels, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTaskIDList(DWORD level, DWORD filter, DWORD* count, DWORD** tasks,
                                            DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTaskPropsByID(DWORD task, PmTaskProps* props, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTaskNameByRtTaskID(DWORD taskID, char** name, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE decodeRtTaskIDOnline(DWORD taskID, ESObjectID* id, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getAlarmContainerInterface(IUnknown** container, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getAlarmIdByName(const char* name, DWORD* alarmID, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE GetAlarm(DWORD alarmID, PmAlarmData* data, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getConnectorPropsByID(const ESConID& id, PmConnectorProps* props, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTargetConnectorIDList(const ESConID& id, DWORD* count, ESConID** targets,
                                                       DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE connectInternal(const ESConID& own, DWORD link, WORD srcIfID, DWORD flags,
                                              DWORD* ret) override;

protected:
    void* find(REFIID iid) override;

private:
    FakeObject* device() const;
    // The connector of id on this object, null (ret set) when there is none.
    FakeConnector* connector(const ESConID& id, DWORD* ret) const;  // this object when it is a device
    const FakeTask* task(DWORD rtTaskID) const;
    ESObjectID m_id;
};

class FakeAccessor : public FakeComBase, public IMC_ObjectAccessor {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE getObjectByIDAndAccessMode(const ESObjectID& id, DWORD mode, IUnknown** identity,
                                                         DWORD* ret) override;

protected:
    void* find(REFIID iid) override;
};

class FakeNavigation : public FakeComBase,
                       public IMC_ProjectNavigate,
                       public IMC_InstallNavigate,
                       public IMC_PmObjectData,
                       public IMC_Link,
                       public IMC_ObjectAccessorFactory,
                       public IMC_InternalLink,
                       public IMC_InstallDetails,
                       public IMC_InstallClassification {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    // IMC_ProjectNavigate
    HRESULT STDMETHODCALLTYPE getObjectIdByNameAndClass(const char* name, DWORD objClass, ESObjectID* id,
                                                        DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getObjectIdListByNameAndClass(const char* name, DWORD objClass, DWORD* count,
                                                            ESObjectID** ids, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getObjectIdListByClass(DWORD objClass, DWORD* count, ESObjectID** ids) override;
    HRESULT STDMETHODCALLTYPE getObjectNameByID(const ESObjectID& id, char** name, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getObjClass(const ESObjectID& id, DWORD* objClass, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getSuperObject(const ESObjectID& id, ESObjectID* superId, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getSubObjectIDList(const ESObjectID& id, DWORD* count, ESObjectID** ids,
                                                 DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTypeIDByObjectID(const ESObjectID& id, GUID* typeId, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getObjectByID(const ESObjectID& id, IUnknown** identity, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTypeNameByID(const GUID& typeId, char** name, DWORD* ret) override;
    // IMC_InstallNavigate
    HRESULT STDMETHODCALLTYPE getTypeClass(const GUID& typeId, DWORD* typeClass, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getTypeByID(const GUID& typeId, IUnknown** type, DWORD* ret) override;
    // IMC_PmObjectData
    HRESULT STDMETHODCALLTYPE getInstAddrByID(const ESObjectID& id, PmInstAddr* addr, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getFlagsByID(const ESObjectID& id, DWORD group, DWORD* flags, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getLastModifyTimeByID(const ESObjectID& id, FILETIME* time, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE setFlagsByID(const ESObjectID& id, DWORD group, DWORD mask, DWORD value,
                                           DWORD* ret) override;
    // IMC_Link
    HRESULT STDMETHODCALLTYPE findLinks(PmLinkData pattern, DWORD mask, DWORD* count, DWORD** links) override;
    HRESULT STDMETHODCALLTYPE getLinkData(const ESObjectID& id, DWORD link, PmLinkData* data, DWORD* ret) override;
    // IMC_ObjectAccessorFactory
    HRESULT STDMETHODCALLTYPE createAsyncObjectAccessor(IMC_ObjectAccessor** accessor, DWORD* ret) override;
    // IMC_InternalLink
    HRESULT STDMETHODCALLTYPE internalCreateLink(const ESObjectID& source, const ESObjectID& destination, DWORD sort,
                                                 DWORD type, const VARIANT& data, DWORD* link, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE internalRemoveLink(DWORD link, DWORD* ret) override;
    // IMC_InstallDetails
    HRESULT STDMETHODCALLTYPE getAttributeByTypeID(const GUID& typeId, BSTR key, BSTR* value, DWORD* ret) override;
    // IMC_InstallClassification
    HRESULT STDMETHODCALLTYPE getInstallationDocument(IUnknown** document, DWORD* ret) override;

protected:
    void* find(REFIID iid) override;
};

// The product API object of the global tools.
class FakeProductApi : public FakeComBase, public IMC_TarnexClassicInternals {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE GetTimeStamp(const PxObjectDescriptor& pxod, ULONGLONG* time, LONG* ret) override;
    ULONGLONG timeStamp = 0;  // answer of GetTimeStamp, 100-ns units

protected:
    void* find(REFIID iid) override;
};

// The zip component: "compressing" puts "ZIP:" before the bytes,
// uncompressing takes it away (kHostBadArgument when it is missing).
class FakeZip : public FakeComBase, public IMC_Zip {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE compressOrUncompressStream(IStream* source, IStream* destination, BOOL compress,
                                                         DWORD* ret) override;

protected:
    void* find(REFIID iid) override;
};

// The compile context: the product API and the zip component by class id,
// and the project's object data.
class FakeContext : public FakeComBase, public IMC_HostContext, public IMC_PmObjectData {
public:
    using FakeComBase::FakeComBase;
    FAKEHOST_IUNKNOWN
    HRESULT STDMETHODCALLTYPE getInterfaceByCLSID(REFCLSID clsid, IUnknown** unk, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getInstAddrByID(const ESObjectID& id, PmInstAddr* addr, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getFlagsByID(const ESObjectID& id, DWORD group, DWORD* flags, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE getLastModifyTimeByID(const ESObjectID& id, FILETIME* time, DWORD* ret) override;
    HRESULT STDMETHODCALLTYPE setFlagsByID(const ESObjectID& id, DWORD group, DWORD mask, DWORD value,
                                           DWORD* ret) override;
    bool hasProductApi = true;
    bool hasZip = true;

protected:
    void* find(REFIID iid) override;
};

class FakeProject {
public:
    FakeProject();
    ~FakeProject();
    FakeProject(const FakeProject&) = delete;
    FakeProject& operator=(const FakeProject&) = delete;

    // ---- builder ---------------------------------------------------------
    // Any object; it is appended to the sub-objects of `super` when given.
    ESObjectID addObject(const std::string& name, DWORD objClass, const ESObjectID& super = kInvalidObjectId);
    // A device (class 3) with instance address device.0.
    ESObjectID addDevice(const std::string& name, WORD deviceNo);
    // A TO (class 2) below `device` and linked from it, instance address
    // deviceNo.toNo, with a type of the given type class.
    ESObjectID addTO(const ESObjectID& device, const std::string& name, WORD toNo, DWORD typeClass = 1);
    // A link from `from` to `to`; its id.
    DWORD addLink(const ESObjectID& from, const ESObjectID& to);
    // The link no longer exists.
    void vanishLink(DWORD link);
    // A connector of the object (its id is props.ifID).
    void addConnector(const ESObjectID& object, const PmConnectorProps& props);
    void setProxy(const ESObjectID& id, bool proxy);
    // An attribute of the type of the object whose type id this is.
    void setTypeAttribute(const GUID& typeId, const std::string& key, const std::string& value);
    // The text of the installation document.
    std::string installationXml;
    void setOnlineIdentical(const ESObjectID& id, bool on);
    void setProxyAddress(const ESObjectID& device, const ESObjectID& to, const PmInstAddr& addr);
    void addTask(const ESObjectID& device, DWORD level, DWORD rtTaskID, const std::string& name,
                 bool consistent = true);
    // An alarm of the device's container (created with the first alarm).
    void addAlarm(const ESObjectID& device, const std::string& name, DWORD alarmID);
    // An alarm of the global common object.
    void addProjectAlarm(const std::string& name, DWORD alarmID);

    FakeObject* object(const ESObjectID& id);
    FakeObject* objectByTypeId(const GUID& typeId);
    const std::vector<std::unique_ptr<FakeObject>>& objects() const { return m_objects; }
    const std::vector<FakeLink>& links() const { return m_links; }
    FakeLink* link(DWORD id) { return id >= 1 && id <= m_links.size() ? &m_links[id - 1] : nullptr; }

    // ---- what the code under test gets (no reference added) ----------------
    IUnknown* navigation();
    IUnknown* identity(const ESObjectID& id);  // null for an unknown id
    IUnknown* globalCommon();
    IUnknown* context();

    // The objects themselves, for drop().
    FakeNavigation& navigationObject() { return *m_nav; }
    FakeIdentity& identityObject(const ESObjectID& id) { return *object(id)->identity; }
    FakeIdentity& globalCommonObject() { return *m_global; }
    FakeAccessor& accessorObject() { return *m_accessor; }
    FakeAlarmNav* alarmContainer(const ESObjectID& device);
    FakeContext& contextObject() { return *m_context; }
    FakeProductApi& productApi() { return *m_productApi; }
    FakeZip& zip() { return *m_zip; }
    FakeDocument& document() { return *m_document; }

    // ---- knobs -----------------------------------------------------------
    void fault(const std::string& method, const Fault& f) { m_faults[method] = f; }
    void clearFaults() { m_faults.clear(); }
    const std::vector<std::string>& callLog() const { return m_log; }
    size_t callCount() const { return m_callCount; }
    void clearCallLog()
    {
        m_log.clear();
        m_callCount = 0;
    }
    bool logCalls = true;  // off: only counted
    // The environment-platform setting while the project lives.
    void setEnvironmentPlatform(DWORD value);

    // Logs the call and applies its fault: true when the method must return
    // *hr at once (the return code is then set), false to go on (*ret is 0).
    bool enter(const char* method, DWORD* ret, HRESULT* hr);
    std::vector<std::pair<std::string, DWORD>> projectAlarms;

private:
    std::vector<std::unique_ptr<FakeObject>> m_objects;
    std::map<ESObjectID, FakeObject*, ObjectIdLess> m_byId;
    std::map<GUID, FakeObject*, ObjectIdLess> m_byType;
    std::vector<FakeLink> m_links;
    std::unique_ptr<FakeNavigation> m_nav;
    std::unique_ptr<FakeAccessor> m_accessor;
    std::unique_ptr<FakeIdentity> m_global;
    std::unique_ptr<FakeContext> m_context;
    std::unique_ptr<FakeProductApi> m_productApi;
    std::unique_ptr<FakeZip> m_zip;
    std::unique_ptr<FakeDocument> m_document;
    std::map<std::string, Fault> m_faults;
    std::map<std::string, int> m_calls;
    std::vector<std::string> m_log;
    uint32_t m_next = 1;
    bool m_platformSet = false;
    size_t m_callCount = 0;
};

// A narrow copy in task memory.
char* taskMemText(const std::string& s);

// True when the capture holds a line with exactly this message (at this
// level, when one is given).
bool hasTraceLine(const CTraceCapture& cap, const std::string& message, int level = -1);

// Fixture of every host test: the platform counters of task memory, BSTRs
// and interface references must be where they were before the test.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    long m_taskMem = 0;
    long m_bstrs = 0;
    long m_refs = 0;
};

}  // namespace fakehost
