// Parent-device lookup, child objects and the local TO test against the
// fake host: devices, inner objects, links, cycles and failing calls.
#include <gtest/gtest.h>

#include "co/TraceApi.h"
#include "h/co_parent_dv.h"
#include "pm/pm_helper.h"
#include "tests/base/st/symacc/sample_project.h"

using fakehost::Fault;

namespace {

class ParentDevice : public fakehost::HostTest {};

TEST_F(ParentDevice, WalksSuperObjectsAndLinks)
{
    SampleProject s;
    ESObjectID dev;
    EXPECT_EQ(0u, CCoDvNavHelper::getParentDevice(s.dev1, s.nav(), &dev));  // a device is its own parent
    EXPECT_EQ(s.dev1, dev);
    EXPECT_EQ(0u, CCoDvNavHelper::getParentDevice(s.unit1, s.nav(), &dev));  // inner, inner, device
    EXPECT_EQ(s.dev1, dev);

    ESObjectID linked = s.p.addObject("Linked", 5);
    EXPECT_EQ(13u, CCoDvNavHelper::getParentDevice(linked, s.nav(), &dev));  // no link
    EXPECT_EQ(ESObjectID_Invalid, dev);
    s.p.addLink(s.dev2, linked);
    EXPECT_EQ(0u, CCoDvNavHelper::getParentDevice(linked, s.nav(), &dev));
    EXPECT_EQ(s.dev2, dev);
}

TEST_F(ParentDevice, CyclesEnd)
{
    SampleProject s;
    ESObjectID a = s.p.addObject("A", PmObjCl_Inner);
    ESObjectID b = s.p.addObject("B", PmObjCl_Inner, a);
    s.p.object(a)->super = b;
    ESObjectID dev;
    CTraceCapture cap;
    EXPECT_EQ(0xFFFFu, CCoDvNavHelper::getParentDevice(a, s.nav(), &dev));
    ASSERT_EQ(1u, cap.count());
    EXPECT_EQ(0u, cap.lines()[0].message.find("cycle of super objects or links"));

    ESObjectID p = s.p.addObject("P", 5), q = s.p.addObject("Q", 5);
    s.p.addLink(p, q);
    s.p.addLink(q, p);
    EXPECT_EQ(0xFFFFu, CCoDvNavHelper::getParentDevice(p, s.nav(), &dev));
}

TEST_F(ParentDevice, FailuresGiveTheHostCode)
{
    SampleProject s;
    ESObjectID dev;
    s.p.fault("getSuperObject", Fault::retCode(0x42));
    EXPECT_EQ(0x42u, CCoDvNavHelper::getParentDevice(s.unit1, s.nav(), &dev));
    s.p.fault("getSuperObject", Fault::hresult(E_FAIL));
    EXPECT_EQ(0xFFFFu, CCoDvNavHelper::getParentDevice(s.unit1, s.nav(), &dev));
    s.p.clearFaults();
    s.p.navigationObject().drop(IID_IMC_ProjectNavigate);
    EXPECT_EQ(0xFFFFu, CCoDvNavHelper::getParentDevice(s.unit1, s.nav(), &dev));
    EXPECT_EQ(0xFFFFu, CCoDvNavHelper::getParentDevice(s.unit1, nullptr, &dev));
}

class ChildObjects : public fakehost::HostTest {
protected:
    ComPtr<IMC_ProjectNavigate> nav(SampleProject& s) { return queryHostInterface<IMC_ProjectNavigate>(s.nav()); }
};

TEST_F(ChildObjects, OnceEachAndNeverTheParent)
{
    SampleProject s;
    s.p.addLink(s.dev1, s.axis1);  // reachable as sub-object and through a link
    s.p.addLink(s.dev1, s.dev1);   // self link
    s.p.addLink(s.axis2, s.dev1);  // back to the parent
    s.p.addLink(s.dev1, s.dev2Only);
    CPmIdList list;
    EXPECT_EQ(0u, getAllChildObjects(nav(s), s.dev1, &list, true));
    std::vector<ESObjectID> want = {s.axis1, s.axis2, s.dev3Named, s.folder1, s.unit1, s.dev2Only};
    EXPECT_EQ(want, std::vector<ESObjectID>(list.begin(), list.end()));

    CPmIdList flat;
    EXPECT_EQ(0u, getAllChildObjects(nav(s), s.dev1, &flat, false));
    EXPECT_EQ(5u, flat.size());  // the unit lies one level further down
}

TEST_F(ChildObjects, FailedLinkSearchCountsAsNoLinks)
{
    SampleProject s;
    s.p.addLink(s.dev1, s.dev2Only);
    s.p.fault("findLinks", Fault::hresult(E_FAIL));
    CPmIdList list;
    EXPECT_EQ(0u, getAllChildObjects(nav(s), s.dev1, &list, true));
    EXPECT_FALSE(list.contains(s.dev2Only));
    EXPECT_TRUE(list.contains(s.unit1));

    s.p.fault("getSubObjectIDList", Fault::retCode(0x55).from(2));
    CPmIdList part;
    EXPECT_EQ(0x55u, getAllChildObjects(nav(s), s.dev1, &part, true));
    EXPECT_EQ(0xFFFFu, getAllChildObjects(nullptr, s.dev1, &part, true));
}

class LocalTO : public fakehost::HostTest {};

TEST_F(LocalTO, FindsByNameInAnyCaseWithTypeClassOne)
{
    SampleProject s;
    ESObjectID found = ESObjectID_Unset;
    DWORD rc = 1;
    IUnknown* nav = s.nav();
    EXPECT_TRUE(isLocalTObjectOrSubObject(nav, s.dev1, String("aXiS2"), &found, &rc));
    EXPECT_EQ(s.axis2, found);
    EXPECT_EQ(0u, rc);
    EXPECT_FALSE(isLocalTObjectOrSubObject(nav, s.dev1, String("Dev2Only"), &found, &rc));  // other device
    EXPECT_EQ(0u, rc);

    ESObjectID odd = s.p.addTO(s.dev1, "Odd", 7, 2);  // type class 2: passed over
    ESObjectID oddToo = s.p.addTO(s.dev1, "Odd", 8, 1);
    EXPECT_TRUE(isLocalTObjectOrSubObject(nav, s.dev1, String("odd"), &found, &rc));
    EXPECT_EQ(oddToo, found);
    (void)odd;
}

TEST_F(LocalTO, FailingCallMidWalkGivesTheHostCode)
{
    SampleProject s;
    ESObjectID found = ESObjectID_Unset;
    DWORD rc = 0;
    IUnknown* nav = s.nav();
    s.p.fault("getObjectNameByID", Fault::retCode(0x99).from(3));
    EXPECT_FALSE(isLocalTObjectOrSubObject(nav, s.dev1, String("Folder1"), &found, &rc));
    EXPECT_EQ(0x99u, rc);
    s.p.clearFaults();
    s.p.navigationObject().drop(IID_IMC_InstallNavigate);
    EXPECT_FALSE(isLocalTObjectOrSubObject(nav, s.dev1, String("Axis1"), &found, &rc));
    EXPECT_EQ(0xFFFFu, rc);
}

}  // namespace
