// The engineering host's project interfaces, as the symbol-table layer and
// the global tools call them: project navigation, installation navigation,
// object data, links, tasks, alarms, the object accessor, the identity of a
// project object and its parent, device internals, compile support,
// connectors and the making of links and connections, installed types and
// their device descriptions, and the context interface through which the product API and the zip component are
// reached.
//
// They are the host's, not ours: this system only calls them. The command
// line host has no project and passes null; the tests use the in-memory
// project of tests/fakehost.
//
// Conventions of every operation: the HRESULT tells whether the call went
// through; most operations also write a return code (`ret`, 0 success). A
// call counts as failed when the HRESULT is negative or the code is not 0.
// Names come back as narrow NUL-terminated texts and id lists as arrays, both
// in task memory that the caller frees with CoTaskMemFree. Interface pointers
// handed out carry a reference.
#pragma once
#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/storage.h"
#include "platform/variant.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// Object ids and records
// ---------------------------------------------------------------------------

// The host's 16-byte id of a project object, in GUID layout.
using ESObjectID = GUID;

// Every byte 0xFF: no object.
inline constexpr ESObjectID ESObjectID_Invalid = {
    0xFFFFFFFFu, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
// Every byte 0: the technology-object name parser's "not yet known".
inline constexpr ESObjectID ESObjectID_Unset = GUID_NULL;
// The project's global common object (project-wide alarms).
inline constexpr ESObjectID ESObjectID_PmGlobCommon = {
    0xD2545197, 0xFB39, 0x11D3, {0x85, 0xA7, 0x00, 0x50, 0x04, 0x6A, 0x30, 0xDE}};

// Byte order of object ids, for ordered sets and maps.
struct ObjectIdLess {
    bool operator()(const ESObjectID& a, const ESObjectID& b) const
    {
        return __builtin_memcmp(&a, &b, sizeof a) < 0;
    }
};

// Object classes of getObjClass and the name lookups.
enum : DWORD {
    PmObjCl_TObject = 2,  // technology object
    PmObjCl_Device = 3,
    PmObjCl_Inner = 6,    // lies inside another object: ask its super object
};
// Flag group of getFlagsByID and its bits.
enum : DWORD {
    PmStateFlags = 1,
    PmFlag_OnlineIdentical = 0x400,
};
// Access mode of the object accessor.
enum : DWORD { AccessAsync = 0 };
// Filter of the task-level lists: everything.
enum : DWORD { VF_ALL = 0xFFFFFFFFu };

// System address of an object as the host keeps it: the device part and the
// object part (written "%d.%d") and a further word.
struct PmInstAddr {
    WORD device;
    WORD object;
    DWORD extra;
};

// One link between two objects. findLinks takes it as a pattern, getLinkData
// fills it; the receiver clears `data` after each getLinkData.
struct PmLinkData {
    ESObjectID first;   // one end of the link
    ESObjectID second;  // the other end
    DWORD flags;        // callers set 1
    DWORD kind;
    VARIANT data;
};
// findLinks masks: links that end at `second` (their source in `first`), and
// links that start at `first` (their target in `second`).
enum : DWORD {
    PmLinkMask_EndingAt = 10,
    PmLinkMask_StartingAt = 9,
};

// A connector of a project object: the object and the connector's 16-bit id.
struct ESConID {
    ESObjectID objID;
    WORD ifID;

    bool operator==(const ESConID& o) const { return objID == o.objID && ifID == o.ifID; }
    bool operator!=(const ESConID& o) const { return !(*this == o); }
};

// One target of a connector of an instance: the project link that stands
// for the connection and the connector id at its other end.
struct TargetEntry {
    DWORD lkID;   // kNoLinkID: no link
    WORD ifID;

    bool operator==(const TargetEntry& o) const { return lkID == o.lkID && ifID == o.ifID; }
};

// The link id that stands for no link.
inline constexpr DWORD kNoLinkID = 0xFFFFFFFFu;

// Properties of a connector as the host hands them out. The flags are true
// when not 0.
struct PmConnectorProps {
    char name[260];
    WORD ifID;
    GUID ifType;        // the connector interface
    DWORD incoming;
    DWORD outgoing;
    DWORD remote;
    DWORD multipoint;
    DWORD required;
    LONG exclusiveGroup;  // -1: no group
    WORD major;
    WORD minor;
};

// Flag of connectInternal and the link selection word of the connection
// container: the objects are protected while the connection is made.
inline constexpr DWORD ESProtectObject = 0x10000000u;

// Properties of a task.
struct PmTaskProps {
    DWORD rtTaskID;
    DWORD level;
    BOOL onlineConsistent;
    char lpszName[260];
};

// An alarm; `name` is owned by the receiver, who frees it.
struct PmAlarmData {
    DWORD alarmID;
    DWORD kind;
    BSTR name;
};

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

struct IMC_ProjectNavigate : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getObjectIdByNameAndClass(const char* name, DWORD objClass, ESObjectID* id,
                                                                DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getObjectIdListByNameAndClass(const char* name, DWORD objClass,
                                                                    DWORD* count, ESObjectID** ids, DWORD* ret) = 0;
    // No return code: only the HRESULT tells.
    virtual HRESULT STDMETHODCALLTYPE getObjectIdListByClass(DWORD objClass, DWORD* count, ESObjectID** ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE getObjectNameByID(const ESObjectID& id, char** name, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getObjClass(const ESObjectID& id, DWORD* objClass, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getSuperObject(const ESObjectID& id, ESObjectID* superId, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getSubObjectIDList(const ESObjectID& id, DWORD* count, ESObjectID** ids,
                                                         DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getTypeIDByObjectID(const ESObjectID& id, GUID* typeId, DWORD* ret) = 0;
    // The identity object of the project object.
    virtual HRESULT STDMETHODCALLTYPE getObjectByID(const ESObjectID& id, IUnknown** identity, DWORD* ret) = 0;
    // The name of an installed type (task-memory text, freed by the caller).
    virtual HRESULT STDMETHODCALLTYPE getTypeNameByID(const GUID& typeId, char** name, DWORD* ret) = 0;
};

struct IMC_InstallNavigate : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getTypeClass(const GUID& typeId, DWORD* typeClass, DWORD* ret) = 0;
    // The installed type object; IMC_InternalBOType is queried on it.
    virtual HRESULT STDMETHODCALLTYPE getTypeByID(const GUID& typeId, IUnknown** type, DWORD* ret) = 0;
};

// Installed type objects.
struct IMC_InternalBOType : public IUnknown {
    // The type id of the proxy type of this type (a proxy type answers its
    // own id). No return code.
    virtual HRESULT STDMETHODCALLTYPE getProxyTypeID(GUID* proxyTypeId) = 0;
};

// Device attributes of installed types, texts by key ("BI_TYPE_CONNCOUNT",
// "BI_TYPE_CONN(0)", ...). The caller frees the text with SysFreeString.
struct IMC_InstallDetails : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getAttributeByTypeID(const GUID& typeId, BSTR key, BSTR* value,
                                                           DWORD* ret) = 0;
};

// The installation's XML device description.
struct IMC_InstallClassification : public IUnknown {
    // The document object; IMC_XmlDocumentText is queried on it.
    virtual HRESULT STDMETHODCALLTYPE getInstallationDocument(IUnknown** document, DWORD* ret) = 0;
};

// The text of an XML document object: UTF-8 in task memory, NUL-terminated.
struct IMC_XmlDocumentText : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getXmlText(char** utf8) = 0;
};

// Identity objects of objects with connectors.
struct IMC_ConnectorNav : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getConnectorPropsByID(const ESConID& id, PmConnectorProps* props,
                                                            DWORD* ret) = 0;
    // The connectors the connector is connected to, in task memory.
    virtual HRESULT STDMETHODCALLTYPE getTargetConnectorIDList(const ESConID& id, DWORD* count, ESConID** targets,
                                                               DWORD* ret) = 0;
};

// Identity objects of objects with connectors: the receiving side of a
// connection. `link` is the link made for it, `srcIfID` the connector at the
// link's other end.
struct IMC_InternalConnect : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE connectInternal(const ESConID& own, DWORD link, WORD srcIfID, DWORD flags,
                                                      DWORD* ret) = 0;
};

struct IMC_PmObjectData : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getInstAddrByID(const ESObjectID& id, PmInstAddr* addr, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getFlagsByID(const ESObjectID& id, DWORD group, DWORD* flags, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getLastModifyTimeByID(const ESObjectID& id, FILETIME* time, DWORD* ret) = 0;
    // Sets the bits of `mask` in the flag group to those of `value`.
    virtual HRESULT STDMETHODCALLTYPE setFlagsByID(const ESObjectID& id, DWORD group, DWORD mask, DWORD value,
                                                   DWORD* ret) = 0;
};

struct IMC_Link : public IUnknown {
    // Link numbers in task memory; no return code.
    virtual HRESULT STDMETHODCALLTYPE findLinks(PmLinkData pattern, DWORD mask, DWORD* count, DWORD** links) = 0;
    virtual HRESULT STDMETHODCALLTYPE getLinkData(const ESObjectID& id, DWORD link, PmLinkData* data,
                                                  DWORD* ret) = 0;
};

// Making and removing links; queried on the navigation object. A new link
// goes from `source` to `destination`.
struct IMC_InternalLink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE internalCreateLink(const ESObjectID& source, const ESObjectID& destination,
                                                         DWORD sort, DWORD type, const VARIANT& data, DWORD* link,
                                                         DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE internalRemoveLink(DWORD link, DWORD* ret) = 0;
};
// The low word of a getLinkData code that says the link no longer exists.
inline constexpr DWORD kLinkVanished = 5;

struct IMC_TaskExtProps : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getTaskNameByRtTaskID(DWORD taskID, char** name, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE decodeRtTaskIDOnline(DWORD taskID, ESObjectID* id, DWORD* ret) = 0;
};

struct IMC_Alarm_S_Navigate : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getAlarmIdByName(const char* name, DWORD* alarmID, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAlarm(DWORD alarmID, PmAlarmData* data, DWORD* ret) = 0;
};

struct IMC_ObjectAccessor : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getObjectByIDAndAccessMode(const ESObjectID& id, DWORD mode,
                                                                 IUnknown** identity, DWORD* ret) = 0;
};

// Queried on the navigation object.
struct IMC_ObjectAccessorFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE createAsyncObjectAccessor(IMC_ObjectAccessor** accessor, DWORD* ret) = 0;
};

// Every identity object has it.
struct IMC_ObjectIdentity : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getID(ESObjectID* id) = 0;
};

// Identity objects of items inside a device.
struct IMC_ParentInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getParent(ESObjectID* parentId, BOOL* hasParent) = 0;
};

// Identity objects of devices.
struct IMC_DeviceInternals : public IUnknown {
    // The TO's system address as seen from this device.
    virtual HRESULT STDMETHODCALLTYPE getProxyTOAdr(const ESObjectID& toID, IMC_ObjectAccessor* accessor,
                                                    PmInstAddr* addr, DWORD* ret) = 0;
};

struct IMC_CompileSupport : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getTaskInfo(const char* name, DWORD* taskID, PmTaskProps* props,
                                                  DWORD* ret) = 0;
};

struct IMC_TaskLevels : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getLevelIDList(DWORD filter, DWORD* count, DWORD** levels, DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getTaskIDList(DWORD level, DWORD filter, DWORD* count, DWORD** tasks,
                                                    DWORD* ret) = 0;
    virtual HRESULT STDMETHODCALLTYPE getTaskPropsByID(DWORD task, PmTaskProps* props, DWORD* ret) = 0;
};

struct IMC_AlarmSupport : public IUnknown {
    // The device's alarm container; IMC_Alarm_S_Navigate is queried on it.
    virtual HRESULT STDMETHODCALLTYPE getAlarmContainerInterface(IUnknown** container, DWORD* ret) = 0;
};

// The compile context of the global tools: host components by class id.
struct IMC_HostContext : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE getInterfaceByCLSID(REFCLSID clsid, IUnknown** unk, DWORD* ret) = 0;
};

// A PX object descriptor: six numbers.
struct PxObjectDescriptor {
    DWORD parts[6];
};

// The product API object (class CLSID_VRXTarnexApi).
struct IMC_TarnexClassicInternals : public IUnknown {
    // The time stamp in 100-ns units.
    virtual HRESULT STDMETHODCALLTYPE GetTimeStamp(const PxObjectDescriptor& pxod, ULONGLONG* time,
                                                   LONG* ret) = 0;
};

// The zip component (class CLSID_VRXZip).
struct IMC_Zip : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE compressOrUncompressStream(IStream* source, IStream* destination,
                                                                 BOOL compress, DWORD* ret) = 0;
};

// ---------------------------------------------------------------------------
// Identifiers
// ---------------------------------------------------------------------------

inline constexpr IID IID_IMC_PmObjectData = {
    0x5860060E, 0x458F, 0x433F, {0xA8, 0x09, 0xC0, 0x2E, 0xF7, 0xC5, 0xF4, 0x13}};
inline constexpr IID IID_IMC_ProjectNavigate = {
    0xD3A8710C, 0x246D, 0x4877, {0xB2, 0x5D, 0x1F, 0xC9, 0x57, 0x89, 0x33, 0x02}};
inline constexpr IID IID_IMC_InstallNavigate = {
    0x40C6ACDC, 0xEA6A, 0x4C35, {0x9F, 0xFE, 0xC8, 0x44, 0xC8, 0x44, 0x5F, 0x84}};
inline constexpr IID IID_IMC_Link = {
    0x938B0BA8, 0x3F91, 0x4FD2, {0xB7, 0x6B, 0xA3, 0x90, 0xFA, 0x45, 0x60, 0xC9}};
inline constexpr IID IID_IMC_InternalLink = {
    0x2C4E61A0, 0x5B7D, 0x4E18, {0x9A, 0x31, 0x6D, 0x0F, 0x84, 0x22, 0xB5, 0x17}};
inline constexpr IID IID_IMC_InternalBOType = {
    0x8E17D3B2, 0x0C4A, 0x4F65, {0xB1, 0x9E, 0x27, 0x5A, 0xC3, 0x60, 0x4D, 0x88}};
inline constexpr IID IID_IMC_InstallDetails = {
    0x51A9C0E4, 0x7F26, 0x4B03, {0x8D, 0x5C, 0xE2, 0x14, 0x9B, 0x3F, 0x70, 0x61}};
inline constexpr IID IID_IMC_InstallClassification = {
    0xC3B5E817, 0x2D94, 0x46A0, {0xA7, 0x48, 0x1E, 0x6F, 0x05, 0xD9, 0x83, 0x2C}};
inline constexpr IID IID_IMC_XmlDocumentText = {
    0x7A0D4F59, 0xE1C3, 0x4B2E, {0x96, 0x05, 0x3B, 0xC8, 0x71, 0xAE, 0x24, 0xD0}};
inline constexpr IID IID_IMC_ConnectorNav = {
    0x0F6B2A93, 0x4C81, 0x47D5, {0xBE, 0x2A, 0x59, 0x13, 0xD7, 0x6C, 0x08, 0xF4}};
inline constexpr IID IID_IMC_InternalConnect = {
    0xE4829C16, 0x93B0, 0x4A7F, {0x8C, 0x63, 0xA0, 0x5E, 0x2B, 0x17, 0xC9, 0x3D}};
inline constexpr IID IID_IMC_TaskExtProps = {
    0xA611EF18, 0x7693, 0x45A1, {0xAA, 0x3D, 0xAC, 0x1E, 0xAB, 0x84, 0x50, 0x76}};
inline constexpr IID IID_IMC_Alarm_S_Navigate = {
    0x9240AB91, 0x1643, 0x44B3, {0xB9, 0x60, 0xCC, 0xDF, 0xF1, 0xC6, 0xFB, 0x15}};
inline constexpr IID IID_IMC_ObjectAccessor = {
    0xC85F1CEF, 0xE52A, 0x4837, {0xA0, 0x2C, 0x0C, 0xC0, 0x91, 0xB5, 0x8A, 0x51}};
inline constexpr IID IID_IMC_ObjectAccessorFactory = {
    0x6B845567, 0x73B7, 0x4C69, {0xA3, 0x81, 0x4B, 0x15, 0xDA, 0xEE, 0x63, 0xFE}};
inline constexpr IID IID_IMC_ObjectIdentity = {
    0xB082302B, 0x42F5, 0x4B92, {0xAD, 0x43, 0xBF, 0x53, 0xDB, 0xAA, 0xA8, 0x35}};
inline constexpr IID IID_IMC_ParentInfo = {
    0x9E0DECE6, 0xFD28, 0x4FC7, {0x96, 0x8B, 0xCD, 0xBC, 0x4A, 0x48, 0xB9, 0x8C}};
inline constexpr IID IID_IMC_DeviceInternals = {
    0xD7B56C6F, 0x6384, 0x4E56, {0xBD, 0x16, 0x29, 0xAF, 0xC7, 0x24, 0x54, 0x0D}};
inline constexpr IID IID_IMC_CompileSupport = {
    0x0CC20AA4, 0x67FA, 0x44C4, {0x99, 0x5A, 0x53, 0x95, 0x50, 0xC8, 0x9F, 0xE9}};
inline constexpr IID IID_IMC_TaskLevels = {
    0xD964E9A3, 0xC8BD, 0x4798, {0xA8, 0x6B, 0x84, 0x13, 0xA1, 0xA9, 0xE0, 0x69}};
inline constexpr IID IID_IMC_AlarmSupport = {
    0x6B9CD4F3, 0x4887, 0x4C53, {0x90, 0x1E, 0x32, 0xF0, 0x28, 0x0F, 0x20, 0xC6}};
inline constexpr IID IID_IMC_HostContext = {
    0xF26808EA, 0x97EC, 0x4874, {0xAF, 0xD2, 0x6C, 0xF2, 0xD4, 0xB0, 0xE3, 0xAD}};
inline constexpr IID IID_IMC_TarnexClassicInternals = {
    0x3CBA496E, 0xEDC8, 0x40F3, {0xBE, 0xFC, 0xCA, 0xC7, 0x86, 0x83, 0xEE, 0x06}};
inline constexpr IID IID_IMC_Zip = {
    0x98ADF22F, 0xF97E, 0x490B, {0x8E, 0x43, 0x92, 0xCD, 0xC5, 0x00, 0x60, 0x3B}};

// Class ids of the host components reached through IMC_HostContext.
inline constexpr CLSID CLSID_VRXTarnexApi = {
    0x3CBA496E, 0xEDC8, 0x40F3, {0xBE, 0xFC, 0xCA, 0xC7, 0x86, 0x83, 0xEE, 0x07}};
inline constexpr CLSID CLSID_VRXZip = {
    0x98ADF22F, 0xF97E, 0x490B, {0x8E, 0x43, 0x92, 0xCD, 0xC5, 0x00, 0x60, 0x3C}};

TV_DECLARE_IID(IMC_ProjectNavigate, IID_IMC_ProjectNavigate);
TV_DECLARE_IID(IMC_InstallNavigate, IID_IMC_InstallNavigate);
TV_DECLARE_IID(IMC_PmObjectData, IID_IMC_PmObjectData);
TV_DECLARE_IID(IMC_Link, IID_IMC_Link);
TV_DECLARE_IID(IMC_TaskExtProps, IID_IMC_TaskExtProps);
TV_DECLARE_IID(IMC_InternalLink, IID_IMC_InternalLink);
TV_DECLARE_IID(IMC_InternalBOType, IID_IMC_InternalBOType);
TV_DECLARE_IID(IMC_InstallDetails, IID_IMC_InstallDetails);
TV_DECLARE_IID(IMC_InstallClassification, IID_IMC_InstallClassification);
TV_DECLARE_IID(IMC_XmlDocumentText, IID_IMC_XmlDocumentText);
TV_DECLARE_IID(IMC_ConnectorNav, IID_IMC_ConnectorNav);
TV_DECLARE_IID(IMC_InternalConnect, IID_IMC_InternalConnect);
TV_DECLARE_IID(IMC_Alarm_S_Navigate, IID_IMC_Alarm_S_Navigate);
TV_DECLARE_IID(IMC_ObjectAccessor, IID_IMC_ObjectAccessor);
TV_DECLARE_IID(IMC_ObjectAccessorFactory, IID_IMC_ObjectAccessorFactory);
TV_DECLARE_IID(IMC_ObjectIdentity, IID_IMC_ObjectIdentity);
TV_DECLARE_IID(IMC_ParentInfo, IID_IMC_ParentInfo);
TV_DECLARE_IID(IMC_DeviceInternals, IID_IMC_DeviceInternals);
TV_DECLARE_IID(IMC_CompileSupport, IID_IMC_CompileSupport);
TV_DECLARE_IID(IMC_TaskLevels, IID_IMC_TaskLevels);
TV_DECLARE_IID(IMC_AlarmSupport, IID_IMC_AlarmSupport);
TV_DECLARE_IID(IMC_HostContext, IID_IMC_HostContext);
TV_DECLARE_IID(IMC_TarnexClassicInternals, IID_IMC_TarnexClassicInternals);
TV_DECLARE_IID(IMC_Zip, IID_IMC_Zip);

// Queries interface Q on an object (null gives null); the result owns its
// reference.
template <class Q>
ComPtr<Q> queryHostInterface(IUnknown* object)
{
    ComPtr<Q> q;
    if (object) object->QueryInterface(ComIid<Q>::value(), reinterpret_cast<void**>(q.put()));
    return q;
}

// ---------------------------------------------------------------------------
// Device-section attributes of the settings library
// ---------------------------------------------------------------------------

// Stand-in of the settings library's attribute lookup for device sections:
// the string value `attribute` of the key
//   HKEY_LOCAL_MACHINE\SOFTWARE\Korvent\VRX\4.1\DeviceSections\<device>\<platform>\<section>
// in the settings file (TAVOLIN_SETTINGS), in the ANSI code page. S_OK with
// the value; 0x80070002 (not found) when it is missing; E_INVALIDARG for a
// null argument.
HRESULT TVBX_GetDeviceSectionAttributeByID(const char* device, const char* section, const char* attribute,
                                           const char* platform, std::string* value);
