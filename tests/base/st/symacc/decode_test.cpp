// Name and id decoding against the fake host: TO names and addresses both
// ways on a generated project with equally named TOs, online identity,
// tasks, alarms with the global fallback, and the answers without a host.
#include <gtest/gtest.h>

#include <functional>

#include "base/st/symacc/SyTONameParser.h"
#include "base/st/symacc/SyVariantConvert.h"
#include "base/st/symacc/sy_decodehlp.h"
#include "h/co_parent_dv.h"
#include "pm/pm_helper.h"
#include "co/TraceApi.h"
#include "platform/guid.h"
#include "platform/text.h"
#include "tests/base/st/symacc/sample_project.h"

using fakehost::Fault;

namespace {

class Decode : public fakehost::HostTest {};

// The host's ids as the code and as the fake host hold them, each against
// its text as the host defines it.
TEST(DecodeIds, HostIdsAreThoseTheHostDefines)
{
    struct Case {
        const char* what;
        GUID code, fake;
        const char* text;
    };
    const Case cases[] = {
        {"global common object", ESObjectID_PmGlobCommon, fakehost::kGlobCommonId,
         "{D2545197-FB39-11D3-85A7-0050046A30DE}"},
        {"IMC_PmObjectData", IID_IMC_PmObjectData, fakehost::kPmObjectDataIid,
         "{5860060E-458F-433F-A809-C02EF7C5F413}"},
        {"invalid object id", ESObjectID_Invalid, fakehost::kInvalidObjectId,
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, tvp::guidToString(c.code)) << c.what;
        EXPECT_EQ(c.text, tvp::guidToString(c.fake)) << c.what;
    }
    EXPECT_EQ("{00000000-0000-0000-0000-000000000000}", tvp::guidToString(ESObjectID_Unset));
}

TEST_F(Decode, TONamesAndAddressesRoundTripFromEveryDevice)
{
    GeneratedProject g(3, 4);
    IUnknown* nav = g.p.navigation();
    for (size_t view = 0; view < g.devices.size(); ++view) {
        IUnknown* unit = g.p.identity(g.units[view]);
        for (size_t d = 0; d < g.devices.size(); ++d) {
            for (size_t t = 0; t < g.tos[d].size(); ++t) {
                SyTOAddress addr{WORD(d + 1), WORD(t + 1), 0};
                if (d == view) addr.device = 0xFFFF;  // the own device
                String name;
                ASSERT_EQ(0u, CSyDecodeHelper::getTOName(addr, &name, nav, unit));
                std::string want = "_to.T" + std::to_string(t);
                if (d != view) want = "Dev" + std::to_string(d + 1) + "." + want;
                EXPECT_EQ(want, name.stdString());

                SyTOAddress back{7, 7, 7};
                ASSERT_EQ(0u, CSyDecodeHelper::getTOAddress(name, &back, nav, unit)) << want;
                EXPECT_EQ(WORD(d + 1), back.device);
                EXPECT_EQ(WORD(t + 1), back.object);
                EXPECT_EQ(0u, back.extra);
                ESObjectID id = ESObjectID_Invalid;
                EXPECT_EQ(0u, CSyDecodeHelper::getTOID(name, &id, nav, unit));
                EXPECT_EQ(g.tos[d][t], id);
            }
        }
    }
}

TEST_F(Decode, TOSpecialCases)
{
    SampleProject s;
    SyTOAddress addr{9, 9, 9};
    EXPECT_EQ(0u, CSyDecodeHelper::getTOAddress(String("to#nil"), &addr, s.nav(), s.unit()));
    EXPECT_EQ(0, addr.device + addr.object + int(addr.extra));
    String name;
    EXPECT_EQ(0u, CSyDecodeHelper::getTOName(SyTOAddress{3, 0, 0}, &name, s.nav(), s.unit()));
    EXPECT_EQ("TO#NIL", name.stdString());
    EXPECT_EQ(kSyNoTOAtAddress, CSyDecodeHelper::getTOName(SyTOAddress{1, 99, 0}, &name, s.nav(), s.unit()));

    s.p.setOnlineIdentical(s.axis2, false);
    EXPECT_EQ(kSyNotOnlineIdentical, CSyDecodeHelper::getTOAddress(String("Axis2"), &addr, s.nav(), s.unit()));
    EXPECT_EQ(2, addr.object);  // set all the same
    ESObjectID id = ESObjectID_Invalid;
    EXPECT_EQ(kSyNotOnlineIdentical, CSyDecodeHelper::getTOID(String("Axis2"), &id, s.nav(), s.unit()));
    EXPECT_EQ(s.axis2, id);
    EXPECT_EQ(kSyNotOnlineIdentical, CSyDecodeHelper::getTOName(SyTOAddress{1, 2, 0}, &name, s.nav(), s.unit()));
    EXPECT_EQ("_to.Axis2", name.stdString());

    // A failed parse: its result, with 0xBE04 above for the address.
    id = ESObjectID_Invalid;
    EXPECT_EQ(14u, CSyDecodeHelper::getTOID(String(".."), &id, s.nav(), s.unit()));
    EXPECT_EQ(ESObjectID_Invalid, id);
    EXPECT_EQ(0xBE04000Eu, CSyDecodeHelper::getTOAddress(String(".."), &addr, s.nav(), s.unit()));

    s.p.setProxyAddress(s.dev2, s.d2axis1, PmInstAddr{2, 40, 5});
    EXPECT_EQ(0u, CSyDecodeHelper::getTOAddress(String("Dev2.Axis1"), &addr, s.nav(), s.unit()));
    EXPECT_EQ(40, addr.object);
}

TEST_F(Decode, Tasks)
{
    SampleProject s;
    s.p.addTask(s.dev1, 1, 0x101, "Task1");
    s.p.addTask(s.dev1, 2, 0x102, "Task2");
    s.p.addTask(s.dev1, 2, 0x103, "Shaky", false);
    uint32_t id = 1;
    EXPECT_EQ(0u, CSyDecodeHelper::getTaskID(String("task2"), &id, s.unit(), s.nav()));
    EXPECT_EQ(0x102u, id);
    EXPECT_EQ(kSyTaskInconsistent, CSyDecodeHelper::getTaskID(String("Shaky"), &id, s.unit(), s.nav()));
    EXPECT_EQ(0u, CSyDecodeHelper::getTaskID(String("StructTaskId#Nil"), &id, s.unit(), s.nav()));
    EXPECT_EQ(0u, id);
    EXPECT_EQ(fakehost::kHostNotFound, CSyDecodeHelper::getTaskID(String("Nope"), &id, s.unit(), s.nav()));

    String name;
    EXPECT_EQ(0u, CSyDecodeHelper::getTaskName(0x101, &name, s.unit(), s.nav()));
    EXPECT_EQ("Task1", name.stdString());
    EXPECT_EQ(kSyTaskInconsistent, CSyDecodeHelper::getTaskName(0x103, &name, s.unit(), s.nav()));
    EXPECT_EQ("Shaky", name.stdString());
    EXPECT_EQ(0u, CSyDecodeHelper::getTaskName(0, &name, s.unit(), s.nav()));
    EXPECT_EQ("STRUCTTASKID#NIL", name.stdString());
    EXPECT_EQ(kSyTaskInconsistent, CSyDecodeHelper::getTaskName(0x555, &name, s.unit(), s.nav()));
    EXPECT_EQ("", name.stdString());

    std::map<String, uint32_t> map;
    EXPECT_EQ(0u, CSyDecodeHelper::getTaskNameMap(s.unit(), s.nav(), &map));
    EXPECT_EQ((std::map<String, uint32_t>{{"Task1", 0x101}, {"Task2", 0x102}, {"Shaky", 0x103}}), map);
    s.p.fault("getTaskPropsByID", Fault::retCode(0x61).from(2));
    EXPECT_EQ(0x61u, CSyDecodeHelper::getTaskNameMap(s.unit(), s.nav(), &map));
}

// A name call that fails gives the nil name for the ids 0 and 0xFFFFFFFF;
// for any other id the name is empty and the task's decoding decides: 0 when
// it decodes, 0xBE100019 when it does not (not online-consistent, or no
// such task). stdVal2Variant passes the same result on: a BSTR of the name,
// the id as a number when the name is empty, or the failure.
TEST_F(Decode, TaskNameWhenTheNameCallFails)
{
    SampleProject s;
    s.p.addTask(s.dev1, 1, 0x101, "Task1");
    s.p.addTask(s.dev1, 2, 0x103, "Shaky", false);
    const struct {
        uint32_t id;
        const char* fault;  // of the name call: "code", "hresult", "throw" or none
        uint32_t result;
        const char* name;
    } cases[] = {
        {0, "code", 0, "STRUCTTASKID#NIL"},
        {0xFFFFFFFFu, "code", 0, "STRUCTTASKID#NIL"},
        {0xFFFFFFFFu, "hresult", 0, "STRUCTTASKID#NIL"},
        {0x101, "code", 0, ""},
        {0x101, "hresult", 0, ""},
        {0x101, "throw", 0, ""},
        {0x103, "code", kSyTaskInconsistent, ""},
        {0x555, "code", kSyTaskInconsistent, ""},
        {0x555, nullptr, kSyTaskInconsistent, ""},  // no such task: the host's call fails
        {0x101, nullptr, 0, "Task1"},
        {0x103, nullptr, kSyTaskInconsistent, "Shaky"},
    };
    for (const auto& c : cases) {
        const std::string what = std::to_string(c.id) + " " + (c.fault ? c.fault : "no fault");
        s.p.clearFaults();
        if (c.fault) {
            const std::string f = c.fault;
            s.p.fault("getTaskNameByRtTaskID", f == "code"      ? Fault::retCode(0x61)
                                                : f == "hresult" ? Fault::hresult(E_FAIL)
                                                                 : Fault::exception());
        }
        String name("x");
        EXPECT_EQ(c.result, CSyDecodeHelper::getTaskName(c.id, &name, s.unit(), s.nav())) << what;
        EXPECT_EQ(c.name, name.stdString()) << what;

        StStdConstantVal task(ST_STRUCTTASKID);
        task.SetULongVal(c.id);
        VARIANT v;
        VariantInit(&v);
        EXPECT_EQ(c.result, SyVariantConvert::stdVal2Variant(&v, true, &task, s.unit(), s.nav())) << what;
        if (c.result != 0) {
            EXPECT_EQ(VT_EMPTY, v.vt) << what;
        } else if (*c.name) {
            ASSERT_EQ(VT_BSTR, v.vt) << what;
            EXPECT_EQ(c.name, tvp::wideToAnsi(v.bstrVal, SysStringLen(v.bstrVal))) << what;
        } else {
            // An id without a name keeps its number (see stdVal2Variant).
            EXPECT_EQ(VT_UI4, v.vt) << what;
            EXPECT_EQ(c.id, v.ulVal) << what;
        }
        VariantClear(&v);
    }
}

TEST_F(Decode, Alarms)
{
    SampleProject s;
    s.p.addAlarm(s.dev1, "AlarmA", 5);
    s.p.addProjectAlarm("Global", 9);
    IUnknown* unit2 =
        s.p.identity(s.p.addObject("Unit2", PmObjCl_Inner, s.p.addObject("Folder2", PmObjCl_Inner, s.dev2)));
    uint32_t id = 0;
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmID(String("AlarmA"), &id, s.unit(), s.nav()));
    EXPECT_EQ(5u, id);
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmID(String("STRUCTALARMID#17"), &id, nullptr, nullptr));
    EXPECT_EQ(17u, id);
    // Dev2 has no alarm container: the global common object answers.
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmID(String("Global"), &id, unit2, s.nav()));
    EXPECT_EQ(9u, id);
    String name;
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmName(9, &name, unit2, s.nav()));
    EXPECT_EQ("Global", name.stdString());
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmName(5, &name, s.unit(), s.nav()));
    EXPECT_EQ("AlarmA", name.stdString());
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmName(77, &name, s.unit(), s.nav()));
    EXPECT_EQ("STRUCTALARMID#77", name.stdString());

    // A number past 32 bits is a name to look up.
    EXPECT_EQ(fakehost::kHostNotFound,
              CSyDecodeHelper::getAlarmID(String("STRUCTALARMID#4294967296"), &id, s.unit(), s.nav()));

    s.p.setEnvironmentPlatform(1);  // the global fallback is off
    EXPECT_EQ(fakehost::kHostNotFound, CSyDecodeHelper::getAlarmID(String("Global"), &id, unit2, s.nav()));
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmName(9, &name, unit2, s.nav()));
    EXPECT_EQ("STRUCTALARMID#9", name.stdString());
}

TEST_F(Decode, WithoutHost)
{
    SyTOAddress addr{};
    ESObjectID id{};
    String name;
    uint32_t n = 5;
    EXPECT_EQ(kSyNoNavigation, CSyDecodeHelper::getTOAddress(String("X"), &addr, nullptr, nullptr));
    EXPECT_EQ(kSyNoNavigation, CSyDecodeHelper::getTOID(String("X"), &id, nullptr, nullptr));
    EXPECT_EQ(kSyNoNavigation, CSyDecodeHelper::getTOName(SyTOAddress{1, 2, 0}, &name, nullptr, nullptr));
    EXPECT_EQ(kSyNoInterface, CSyDecodeHelper::getTaskID(String("T"), &n, nullptr, nullptr));
    EXPECT_EQ(kSyNoInterface, CSyDecodeHelper::getTaskName(3, &name, nullptr, nullptr));
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmName(12, &name, nullptr, nullptr));
    EXPECT_EQ("STRUCTALARMID#12", name.stdString());
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmName(0, &name, nullptr, nullptr));
    EXPECT_EQ("STRUCTALARMID#NIL", name.stdString());
    EXPECT_EQ(0u, CSyDecodeHelper::getAlarmID(String("STRUCTALARMID#17"), &n, nullptr, nullptr));
    EXPECT_EQ(17u, n);
}

// One failure line of each helper family, as the trace shows it.
TEST_F(Decode, GoldenTraceLines)
{
    SampleProject s;
    struct Case {
        const char* method;
        Fault fault;
        std::function<void()> run;
        std::string want;
    };
    ESObjectID dev;
    std::vector<Case> cases = {
        {"getObjClass", Fault::hresult(E_FAIL),
         [&] { CCoDvNavHelper::getParentDevice(s.unit1, s.nav(), &dev); },
         "error calling spIPrjNav->getObjClass(idObj, &cl, &dwRet) hr = 0x80004005 (E_FAIL), ret=0x0"},
        {"getObjClass", Fault::exception(),
         [&] { CCoDvNavHelper::getParentDevice(s.unit1, s.nav(), &dev); },
         "caught exception calling spIPrjNav->getObjClass(idObj, &cl, &dwRet)"},
        {"getSubObjectIDList", Fault::retCode(0x55),
         [&] {
             String n("Axis1");
             ESObjectID f;
             DWORD rc;
             IUnknown* nav = s.nav();
             isLocalTObjectOrSubObject(nav, s.dev1, n, &f, &rc);
         },
         "error calling pIPrjNav->getSubObjectIDList(parentID(), &nSubObjSize, &spSubObjIDList, &dwRet) hr = "
         "0x0 (S_OK), ret=0x55"},
        {"getObjectIdListByNameAndClass", Fault::hresult(E_OUTOFMEMORY),
         [&] {
             ESObjectID f;
             IUnknown* nav = s.nav();
             IUnknown* u = s.unit();
             CTONameParser(nav, u).parse(String("_project.X"), f);
         },
         "error calling spIPrjNav->getObjectIdListByNameAndClass(m_vScan.name, PmObjCl_TObject, &nSize, "
         "&pIdList) hr = 0x8007000E (E_OUTOFMEMORY), ret=0x0"},
        {"getAlarmIdByName", Fault::retCode(0x2001),
         [&] {
             uint32_t id;
             CSyDecodeHelper::getAlarmID(String("A"), &id, s.unit(), s.nav());
         },
         "error calling spIAlNav->getAlarmIdByName(vScan.name, &alarmID, &dwRet) hr = 0x0 (S_OK), ret=0x2001"},
    };
    for (Case& c : cases) {
        s.p.clearFaults();
        s.p.fault(c.method, c.fault);
        CTraceCapture cap;
        c.run();
        EXPECT_TRUE(fakehost::hasTraceLine(cap, c.want, 4)) << c.want;
    }
}

}  // namespace
