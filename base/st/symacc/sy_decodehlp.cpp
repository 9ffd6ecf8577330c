// Name and id decoding over the host's project interfaces (see
// sy_decodehlp.h).
#include "base/st/symacc/sy_decodehlp.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/st/stsymtab/stmcspec.h"
#include "base/st/symacc/SyTONameParser.h"
#include "base/st/symacc/SyVarScanner.h"
#include "co/CoHostCall.h"
#include "co/CoSettings.h"
#include "h/co_parent_dv.h"
#include "platform/text.h"

namespace {

const char kFile[] = "sy_decodehlp";

#define SY_SITE(name, method, text) const CoHostCallSite name{kFile, "CSyDecodeHelper::" method, text}

// The text in upper case (a-z only) equals `nil`.
bool isNilText(const String& s, const char* nil)
{
    return tvp::icmpAscii(s.chars(), nil) == 0;
}

// Interface Q of the identity object, else of its device's identity.
template <class Q>
ComPtr<Q> identityOrDevice(IUnknown* identity, IUnknown* navigation, ComPtr<IMC_ObjectAccessor>& accessor)
{
    ComPtr<Q> q = queryHostInterface<Q>(identity);
    if (q) return q;
    ComPtr<IUnknown> dev;
    if (CSyDecodeHelper::getDevIdentIF(identity, navigation, dev, accessor) == 0) q = queryHostInterface<Q>(dev);
    return q;
}

// The navigation and object-data interfaces of the TO functions.
bool toInterfaces(IUnknown* navigation, ComPtr<IMC_ProjectNavigate>& nav, ComPtr<IMC_PmObjectData>& data)
{
    nav = queryHostInterface<IMC_ProjectNavigate>(navigation);
    data = queryHostInterface<IMC_PmObjectData>(navigation);
    return nav && data;
}

String taskNilOrText(char* text)
{
    String s(text ? text : "");
    CoTaskMemFree(text);
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers

uint32_t CSyDecodeHelper::canDecodeTask(uint32_t taskID, IMC_TaskExtProps* props)
{
    static SY_SITE(kDecode, "canDecodeTask", "pITaskProps->decodeRtTaskIDOnline(taskID, &esid, &dwRet)");
    if (!props) {
        TV_TRACE(4, kFile, "CSyDecodeHelper::canDecodeTask", "no IMC_TaskExtProps interface");
        return kCoHostNoCode;
    }
    ESObjectID esid = ESObjectID_Invalid;
    DWORD dwRet = 0;
    return TV_HOST_CALL(kDecode, &dwRet, props->decodeRtTaskIDOnline(taskID, &esid, &dwRet)).code;
}

bool CSyDecodeHelper::isObjectOnlIdentic(IMC_PmObjectData* data, const ESObjectID& objID)
{
    static SY_SITE(kFlags, "isObjectOnlIdentic",
                   "spIPmObjData->getFlagsByID(objID, PmStateFlags, &dwFlags, &dwRet)");
    if (!data) return false;
    DWORD dwFlags = 0;
    DWORD dwRet = 0;
    if (!TV_HOST_CALL(kFlags, &dwRet, data->getFlagsByID(objID, PmStateFlags, &dwFlags, &dwRet)).ok()) return false;
    return (dwFlags & PmFlag_OnlineIdentical) != 0;
}

uint32_t CSyDecodeHelper::getPmObjAccIF(IUnknown* navigation, ComPtr<IMC_ObjectAccessor>& accessor)
{
    static SY_SITE(kCreate, "getPmObjAccIF", "spICOA->createAsyncObjectAccessor(&spIOA, &dwRet)");
    ComPtr<IMC_ObjectAccessorFactory> spICOA = queryHostInterface<IMC_ObjectAccessorFactory>(navigation);
    if (!spICOA) return kSyNoInterface;
    ComPtr<IMC_ObjectAccessor> spIOA;
    DWORD dwRet = 0;
    CoHostCallResult r = TV_HOST_CALL(kCreate, &dwRet, spICOA->createAsyncObjectAccessor(spIOA.put(), &dwRet));
    if (!r.ok()) return r.code;
    accessor = spIOA;
    return 0;
}

uint32_t CSyDecodeHelper::getDevIdentIF(IUnknown* identity, IUnknown* navigation, ComPtr<IUnknown>& deviceIdentity,
                                        ComPtr<IMC_ObjectAccessor>& accessor)
{
    static SY_SITE(kParent, "getDevIdentIF", "spIPI->getParent(&parentID, &bHasParent)");
    static SY_SITE(kParentObj, "getDevIdentIF",
                   "spIOA->getObjectByIDAndAccessMode(parentID, AccessAsync, &spIIdent, &dwRet)");
    static SY_SITE(kGetID, "getDevIdentIF", "spIIdent->getID(&puID)");
    static SY_SITE(kSuper, "getDevIdentIF", "spIPrjNav->getSuperObject(puID, &dvID, &dwRet)");
    static SY_SITE(kDevObj, "getDevIdentIF",
                   "spIOA->getObjectByIDAndAccessMode(dvID, AccessAsync, &spIDevIdentRet, &dwRet)");
    ComPtr<IMC_ParentInfo> spIPI = queryHostInterface<IMC_ParentInfo>(identity);
    if (!spIPI) {
        if (!queryHostInterface<IMC_DeviceInternals>(identity)) return kSyNoInterface;
        deviceIdentity = identity;
        return 0;
    }
    ESObjectID parentID = ESObjectID_Invalid;
    BOOL bHasParent = FALSE;
    CoHostCallResult r = TV_HOST_CALL(kParent, nullptr, spIPI->getParent(&parentID, &bHasParent));
    if (!r.ok()) return r.code;
    if (!bHasParent) return kSyNoInterface;
    if (!accessor) {
        if (uint32_t code = getPmObjAccIF(navigation, accessor)) return code;
    }
    DWORD dwRet = 0;
    ComPtr<IUnknown> spIIdent;
    r = TV_HOST_CALL(kParentObj, &dwRet,
                     accessor->getObjectByIDAndAccessMode(parentID, AccessAsync, spIIdent.put(), &dwRet));
    if (!r.ok()) return r.code;
    ComPtr<IMC_ObjectIdentity> parentIdent = queryHostInterface<IMC_ObjectIdentity>(spIIdent);
    ESObjectID puID = ESObjectID_Invalid;
    if (!parentIdent || !TV_HOST_CALL(kGetID, nullptr, parentIdent->getID(&puID)).ok()) return kCoHostNoCode;
    ComPtr<IMC_ProjectNavigate> spIPrjNav = queryHostInterface<IMC_ProjectNavigate>(navigation);
    if (!spIPrjNav) return kSyNoNavigation;
    ESObjectID dvID = ESObjectID_Invalid;
    r = TV_HOST_CALL(kSuper, &dwRet, spIPrjNav->getSuperObject(puID, &dvID, &dwRet));
    if (!r.ok()) return r.code;
    ComPtr<IUnknown> spIDevIdentRet;
    r = TV_HOST_CALL(kDevObj, &dwRet,
                     accessor->getObjectByIDAndAccessMode(dvID, AccessAsync, spIDevIdentRet.put(), &dwRet));
    if (!r.ok()) return r.code;
    deviceIdentity = spIDevIdentRet;
    return 0;
}

uint32_t CSyDecodeHelper::getAlarmNavIF(IUnknown* identity, IUnknown* navigation,
                                        ComPtr<IMC_Alarm_S_Navigate>& alarmNav, ComPtr<IMC_ObjectAccessor>& accessor)
{
    static const char kMethod[] = "CSyDecodeHelper::getAlarmNavIF";
    static SY_SITE(kContainer, "getAlarmNavIF",
                   "spIAlmSupport->getAlarmContainerInterface(&spIUnkAlarmSNav, &dwRet)");
    static SY_SITE(kGlobal, "getAlarmNavIF",
                   "ref_spIOA->getObjectByIDAndAccessMode(ESObjectID_PmGlobCommon, AccessAsync, &spIIdent, "
                   "&dwRet)");
    uint32_t kept = 0;
    if (identity) {
        ComPtr<IUnknown> dev;
        if (getDevIdentIF(identity, navigation, dev, accessor) != 0) {
            TV_TRACE(4, kFile, kMethod, "failed to get device interface");
        } else if (ComPtr<IMC_AlarmSupport> spIAlmSupport = queryHostInterface<IMC_AlarmSupport>(dev)) {
            ComPtr<IUnknown> spIUnkAlarmSNav;
            DWORD dwRet = 0;
            CoHostCallResult r = TV_HOST_CALL(
                kContainer, &dwRet, spIAlmSupport->getAlarmContainerInterface(spIUnkAlarmSNav.put(), &dwRet));
            if (!r.ok()) {
                kept = r.code;
            } else if (ComPtr<IMC_Alarm_S_Navigate> nav =
                           queryHostInterface<IMC_Alarm_S_Navigate>(spIUnkAlarmSNav)) {
                alarmNav = nav;
                return 0;
            } else {
                TV_TRACE(4, kFile, kMethod, "error QI for IMC_Alarm_S_Navigate");
            }
        }
    }
    if (getEnvironmentPlatform() != 0) return kept ? kept : kCoHostNoCode;
    if (!accessor) {
        if (uint32_t code = getPmObjAccIF(navigation, accessor)) return code;
    }
    ComPtr<IUnknown> spIIdent;
    DWORD dwRet = 0;
    CoHostCallResult r = TV_HOST_CALL(
        kGlobal, &dwRet,
        accessor->getObjectByIDAndAccessMode(ESObjectID_PmGlobCommon, AccessAsync, spIIdent.put(), &dwRet));
    if (!r.ok()) return r.code;
    ComPtr<IMC_Alarm_S_Navigate> nav = queryHostInterface<IMC_Alarm_S_Navigate>(spIIdent);
    if (!nav) return kSyNoInterface;
    alarmNav = nav;
    return 0;
}

// ---------------------------------------------------------------------------
// Technology objects

uint32_t CSyDecodeHelper::getTOAddress(const String& name, SyTOAddress* address, IUnknown* navigation,
                                       IUnknown* identity)
{
    static const char kMethod[] = "CSyDecodeHelper::getTOAddress";
    static SY_SITE(kDevObj, "getTOAddress", "spIPrjNav->getObjectByID(devID, &spIIdentDevice, &dwRet)");
    static SY_SITE(kProxy, "getTOAddress", "spIIntDev->getProxyTOAdr(toID, spIOA, &addr, &dwRet)");
    if (name.empty() || isNilText(name, "TO#NIL")) {
        TV_TRACE(1, kFile, kMethod, "empty source address");
        if (address) *address = SyTOAddress{0, 0, 0};
        return 0;
    }
    ComPtr<IMC_ProjectNavigate> spIPrjNav;
    ComPtr<IMC_PmObjectData> spIOD;
    if (!toInterfaces(navigation, spIPrjNav, spIOD)) {
        TV_TRACE(4, kFile, kMethod, "error QI for IMC_ProjectNavigate/IMC_PmObjectData");
        return kSyNoNavigation;
    }
    ESObjectID toID = ESObjectID_Invalid;
    uint32_t r = CTONameParser(navigation, identity).parse(name, toID);
    if (r != 0) {
        TV_TRACE(4, kFile, kMethod, "error parsing to name %s", name.chars());
        return r < 0x10000 ? (r | 0xBE040000u) : r;
    }
    ESObjectID devID = ESObjectID_Invalid;
    r = CCoDvNavHelper::getParentDevice(toID, navigation, &devID);
    if (r != 0) {
        TV_TRACE(4, kFile, kMethod, "error getParentDevice");
        return r;
    }
    DWORD dwRet = 0;
    ComPtr<IUnknown> spIIdentDevice;
    CoHostCallResult c = TV_HOST_CALL(kDevObj, &dwRet, spIPrjNav->getObjectByID(devID, spIIdentDevice.put(), &dwRet));
    if (!c.ok()) return c.code;
    ComPtr<IMC_DeviceInternals> spIIntDev = queryHostInterface<IMC_DeviceInternals>(spIIdentDevice);
    if (!spIIntDev) {
        TV_TRACE(4, kFile, kMethod, "error QI for the device internals");
        return kSyNoInterface;
    }
    ComPtr<IMC_ObjectAccessor> spIOA;
    if (uint32_t code = getPmObjAccIF(navigation, spIOA)) return code;
    PmInstAddr addr{0, 0, 0};
    c = TV_HOST_CALL(kProxy, &dwRet, spIIntDev->getProxyTOAdr(toID, spIOA, &addr, &dwRet));
    if (!c.ok()) return c.code;
    if (address) *address = SyTOAddress{addr.device, addr.object, 0};
    return isObjectOnlIdentic(spIOD, toID) ? 0 : kSyNotOnlineIdentical;
}

uint32_t CSyDecodeHelper::getTOID(const String& name, ESObjectID* id, IUnknown* navigation, IUnknown* identity)
{
    ComPtr<IMC_ProjectNavigate> spIPrjNav;
    ComPtr<IMC_PmObjectData> spIOD;
    if (!toInterfaces(navigation, spIPrjNav, spIOD)) {
        TV_TRACE(4, kFile, "CSyDecodeHelper::getTOID", "error QI for IMC_ProjectNavigate/IMC_PmObjectData");
        return kSyNoNavigation;
    }
    ESObjectID found = id ? *id : ESObjectID_Invalid;
    uint32_t r = CTONameParser(navigation, identity).parse(name, found);
    if (r != 0) return r;
    if (id) *id = found;
    return isObjectOnlIdentic(spIOD, found) ? 0 : kSyNotOnlineIdentical;
}

uint32_t CSyDecodeHelper::getTOName(const SyTOAddress& address, String* name, IUnknown* navigation,
                                    IUnknown* identity)
{
    static const char kMethod[] = "CSyDecodeHelper::getTOName";
    static const CoHostCallSite kMyID{kFile, "CSyDecodeHelper::getTOName", "pIIdent->getID(&myID)",
                                      CoCaughtSpelling::Exception, false};
    static SY_SITE(kOwnAddr, "getTOName", "spIOD->getInstAddrByID(myID, &addrDv, &dwRet)");
    static SY_SITE(kList, "getTOName", "spIPrjNav->getObjectIdListByClass(PmObjCl_TObject, &nSize, &spIdList)");
    static SY_SITE(kAddr, "getTOName", "spIOD->getInstAddrByID(spIdList[i], &addr, &dwRet)");
    static SY_SITE(kToName, "getTOName", "spIPrjNav->getObjectNameByID(spIdList[i], &spName, &dwRet)");
    static SY_SITE(kDevName, "getTOName", "spIPrjNav->getObjectNameByID(devID, &spName, &dwRet)");
    if (address.object == 0 && address.extra == 0) {
        TV_TRACE(1, kFile, kMethod, "empty source address (%d.%d)", int(address.device), 0);
        if (name) *name = "TO#NIL";
        return 0;
    }
    ComPtr<IMC_ProjectNavigate> spIPrjNav;
    ComPtr<IMC_PmObjectData> spIOD;
    if (!toInterfaces(navigation, spIPrjNav, spIOD) || !identity) {
        TV_TRACE(4, kFile, kMethod, "error QI IMC_ProjectNavigate/IMC_PmObjectData / no ident pointer");
        return kSyNoNavigation;
    }
    ComPtr<IMC_ObjectIdentity> pIIdent = queryHostInterface<IMC_ObjectIdentity>(identity);
    ESObjectID myID = ESObjectID_Invalid;
    if (!pIIdent || !TV_HOST_CALL(kMyID, nullptr, pIIdent->getID(&myID)).ok()) return kSyNoNavigation;

    DWORD dwRet = 0;
    PmInstAddr addrDv{0, 0, 0};
    CoHostCallResult c = TV_HOST_CALL(kOwnAddr, &dwRet, spIOD->getInstAddrByID(myID, &addrDv, &dwRet));
    if (!c.ok()) return c.code;
    DWORD nSize = 0;
    ESObjectID* spIdList = nullptr;
    c = TV_HOST_CALL(kList, nullptr, spIPrjNav->getObjectIdListByClass(PmObjCl_TObject, &nSize, &spIdList));
    if (!c.ok()) {
        CoTaskMemFree(spIdList);
        return c.code;
    }
    WORD wantDevice = address.device == 0xFFFF ? addrDv.device : address.device;
    uint32_t result = kSyNoTOAtAddress;
    bool matched = false;
    for (DWORD i = 0; i < nSize && spIdList; ++i) {
        PmInstAddr addr{0, 0, 0};
        c = TV_HOST_CALL(kAddr, &dwRet, spIOD->getInstAddrByID(spIdList[i], &addr, &dwRet));
        if (!c.ok()) {
            result = c.code;
            matched = true;
            break;
        }
        if (addr.device != wantDevice || addr.object != address.object) continue;
        matched = true;
        ESObjectID devID = ESObjectID_Invalid;
        if (uint32_t r = CCoDvNavHelper::getParentDevice(spIdList[i], navigation, &devID)) {
            TV_TRACE(4, kFile, kMethod, "error getParentDevice");
            result = r;
            break;
        }
        char* spName = nullptr;
        c = TV_HOST_CALL(kToName, &dwRet, spIPrjNav->getObjectNameByID(spIdList[i], &spName, &dwRet));
        String toName = taskNilOrText(spName);
        if (!c.ok()) {
            result = c.code;
            break;
        }
        String text("_to.");
        text += toName;
        if (addr.device != addrDv.device) {
            spName = nullptr;
            c = TV_HOST_CALL(kDevName, &dwRet, spIPrjNav->getObjectNameByID(devID, &spName, &dwRet));
            String devName = taskNilOrText(spName);
            if (!c.ok()) {
                result = c.code;
                break;
            }
            text.prepend(".");
            text.prepend(devName);
        }
        if (name) *name = text;
        result = isObjectOnlIdentic(spIOD, spIdList[i]) ? 0 : kSyNotOnlineIdentical;
        break;
    }
    CoTaskMemFree(spIdList);
    if (!matched)
        TV_TRACE(4, kFile, kMethod, "TO with sys addr %d.%d not found", int(address.device), int(address.object));
    return result;
}

// ---------------------------------------------------------------------------
// Tasks

uint32_t CSyDecodeHelper::getTaskID(const String& name, uint32_t* taskID, IUnknown* identity, IUnknown* navigation)
{
    static const char kMethod[] = "CSyDecodeHelper::getTaskID";
    static SY_SITE(kInfo, "getTaskID",
                   "spICompSupp->getTaskInfo(strTask.chars(), &taskID, &taskProps, &dwRet)");
    if (taskID) *taskID = 0;
    if (name.empty() || isNilText(name, "STRUCTTASKID#NIL")) return 0;
    ComPtr<IMC_ObjectAccessor> accessor;
    ComPtr<IMC_CompileSupport> spICompSupp = identityOrDevice<IMC_CompileSupport>(identity, navigation, accessor);
    if (!spICompSupp) return kSyNoInterface;
    DWORD id = 0;
    PmTaskProps taskProps{};
    DWORD dwRet = 0;
    CoHostCallResult c = TV_HOST_CALL(kInfo, &dwRet, spICompSupp->getTaskInfo(name.chars(), &id, &taskProps, &dwRet));
    if (!c.ok()) return c.code;
    if (taskID) *taskID = id;
    ComPtr<IMC_TaskExtProps> props = identityOrDevice<IMC_TaskExtProps>(identity, navigation, accessor);
    if (uint32_t r = canDecodeTask(id, props)) {
        TV_TRACE(4, kFile, kMethod, "Task %s ist not online consistent; return value 0x%08X", name.chars(),
                 unsigned(r));
        return kSyTaskInconsistent;
    }
    return 0;
}

uint32_t CSyDecodeHelper::getTaskName(const uint32_t& taskID, String* name, IUnknown* identity,
                                      IUnknown* navigation)
{
    static const char kMethod[] = "CSyDecodeHelper::getTaskName";
    static SY_SITE(kName, "getTaskName", "spITask->getTaskNameByRtTaskID(taskID, &pName, &dwRet)");
    if (name) *name = "???";
    ComPtr<IMC_ObjectAccessor> accessor;
    ComPtr<IMC_TaskExtProps> spITask = identityOrDevice<IMC_TaskExtProps>(identity, navigation, accessor);
    if (!spITask) return kSyNoInterface;
    char* pName = nullptr;
    DWORD dwRet = 0;
    CoHostCallResult c = TV_HOST_CALL(kName, &dwRet, spITask->getTaskNameByRtTaskID(taskID, &pName, &dwRet));
    String text = taskNilOrText(pName);
    if (!c.ok()) {
        if (taskID == 0 || taskID == 0xFFFFFFFFu) {
            if (name) *name = "STRUCTTASKID#NIL";
            return 0;
        }
        // A task without a name: whether it decodes decides, not the name
        // call's code, so a decodable task reads as a name-less id.
        text = String();
    }
    if (name) *name = text;
    if (uint32_t r = canDecodeTask(taskID, spITask)) {
        TV_TRACE(4, kFile, kMethod, "Task %s ist not online consistent; return value 0x%08X", text.chars(),
                 unsigned(r));
        return kSyTaskInconsistent;
    }
    return 0;
}

uint32_t CSyDecodeHelper::getTaskNameMap(IUnknown* identity, IUnknown* navigation, std::map<String, uint32_t>* map)
{
    static SY_SITE(kLevels, "getTaskNameMap", "spITaskLvl->getLevelIDList(VF_ALL, &nSize, &pLvlIDList, &dwRet)");
    static SY_SITE(kTasks, "getTaskNameMap",
                   "spITaskLvl->getTaskIDList(pLvlIDList[l], VF_ALL, &nCount, &pTskIDList, &dwRet)");
    static SY_SITE(kProps, "getTaskNameMap", "spITaskLvl->getTaskPropsByID(pTskIDList[t], &props, &dwRet)");
    static SY_SITE(kInfo, "getTaskNameMap", "spICompSupp->getTaskInfo(props.lpszName, &tskID, &pr, &dwRet)");
    ComPtr<IMC_ObjectAccessor> accessor;
    ComPtr<IMC_TaskLevels> spITaskLvl = identityOrDevice<IMC_TaskLevels>(identity, navigation, accessor);
    ComPtr<IMC_CompileSupport> spICompSupp = identityOrDevice<IMC_CompileSupport>(identity, navigation, accessor);
    if (!spITaskLvl || !spICompSupp) return kSyNoInterface;
    DWORD dwRet = 0;
    DWORD nSize = 0;
    DWORD* pLvlIDList = nullptr;
    CoHostCallResult c =
        TV_HOST_CALL(kLevels, &dwRet, spITaskLvl->getLevelIDList(VF_ALL, &nSize, &pLvlIDList, &dwRet));
    uint32_t result = c.code;
    for (DWORD l = 0; result == 0 && l < nSize && pLvlIDList; ++l) {
        DWORD nCount = 0;
        DWORD* pTskIDList = nullptr;
        c = TV_HOST_CALL(kTasks, &dwRet, spITaskLvl->getTaskIDList(pLvlIDList[l], VF_ALL, &nCount, &pTskIDList, &dwRet));
        result = c.code;
        for (DWORD t = 0; result == 0 && t < nCount && pTskIDList; ++t) {
            PmTaskProps props{};
            c = TV_HOST_CALL(kProps, &dwRet, spITaskLvl->getTaskPropsByID(pTskIDList[t], &props, &dwRet));
            if ((result = c.code) != 0) break;
            props.lpszName[sizeof props.lpszName - 1] = '\0';
            DWORD tskID = 0;
            PmTaskProps pr{};
            c = TV_HOST_CALL(kInfo, &dwRet, spICompSupp->getTaskInfo(props.lpszName, &tskID, &pr, &dwRet));
            if ((result = c.code) != 0) break;
            if (map) (*map)[String(props.lpszName)] = tskID;
        }
        CoTaskMemFree(pTskIDList);
    }
    CoTaskMemFree(pLvlIDList);
    return result;
}

// ---------------------------------------------------------------------------
// Alarms

uint32_t CSyDecodeHelper::getAlarmID(const String& text, uint32_t* alarmID, IUnknown* identity,
                                     IUnknown* navigation)
{
    static SY_SITE(kByName, "getAlarmID", "spIAlNav->getAlarmIdByName(vScan.name, &alarmID, &dwRet)");
    if (alarmID) *alarmID = 0;
    if (text.empty() || isNilText(text, "STRUCTALARMID#NIL")) return 0;
    SyVarScannerFlexLexer vScan;
    vScan.setText(text);
    int tok = vScan.yylex();
    if (tok == SyVarScannerFlexLexer::TokConstant && vScan.type == ST_STRUCTALARMID) {
        const char* digits = vScan.name.chars();
        bool decimal = *digits != '\0';
        for (const char* p = digits; *p; ++p) decimal = decimal && *p >= '0' && *p <= '9';
        errno = 0;
        unsigned long long v = decimal ? std::strtoull(digits, nullptr, 10) : 0;
        if (decimal && errno == 0 && v <= 0xFFFFFFFFull) {
            if (alarmID) *alarmID = uint32_t(v);
            return 0;
        }
    }
    ComPtr<IMC_Alarm_S_Navigate> spIAlNav;
    ComPtr<IMC_ObjectAccessor> accessor;
    if (uint32_t r = getAlarmNavIF(identity, navigation, spIAlNav, accessor)) return r;
    DWORD id = 0;
    DWORD dwRet = 0;
    CoHostCallResult c = TV_HOST_CALL(kByName, &dwRet, spIAlNav->getAlarmIdByName(vScan.name.chars(), &id, &dwRet));
    if (!c.ok()) return c.code;
    if (alarmID) *alarmID = id;
    return 0;
}

uint32_t CSyDecodeHelper::getAlarmName(const uint32_t& alarmID, String* name, IUnknown* identity,
                                       IUnknown* navigation)
{
    static SY_SITE(kGet, "getAlarmName", "spIAlNav->GetAlarm(alarmID, &data, &dwRet)");
    ComPtr<IMC_Alarm_S_Navigate> spIAlNav;
    ComPtr<IMC_ObjectAccessor> accessor;
    if (getAlarmNavIF(identity, navigation, spIAlNav, accessor) == 0) {
        PmAlarmData data{};
        DWORD dwRet = 0;
        CoHostCallResult c = TV_HOST_CALL(kGet, &dwRet, spIAlNav->GetAlarm(alarmID, &data, &dwRet));
        OwnedBstr alarmName(data.name);
        if (c.ok()) {
            if (name) *name = String(tvp::wideToAnsi(alarmName.get(), SysStringLen(alarmName.get())));
            return 0;
        }
    }
    if (name) {
        if (alarmID == 0) {
            *name = "STRUCTALARMID#NIL";
        } else {
            char buf[40];
            std::snprintf(buf, sizeof buf, "STRUCTALARMID#%u", unsigned(alarmID));
            *name = buf;
        }
    }
    return 0;
}
