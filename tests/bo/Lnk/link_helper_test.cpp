// The link helper against the fake host: the other end of a link, making,
// removing and refreshing links, and what a missing, failing or throwing
// host call gives.
#include <gtest/gtest.h>

#include "bo/Lnk/CLinkHelper.h"
#include "tests/fakehost/FakeHost.h"

using fakehost::Fault;
using fakehost::hasTraceLine;

namespace {

class LinkHelper : public fakehost::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        dv = p.addDevice("dv", 1);
        a = p.addTO(dv, "a", 1);
        b = p.addTO(dv, "b", 2);
        c = p.addTO(dv, "c", 3);
        ab = p.addLink(a, b);
    }
    fakehost::FakeProject p;
    ESObjectID dv, a, b, c;
    DWORD ab = 0;
};

TEST_F(LinkHelper, OtherEndOfALink)
{
    ESObjectID out = ESObjectID_Invalid;
    EXPECT_EQ(CLinkHelper(a, p.navigation(), ESProtectObject).getObjectID(ab, &out), 0u);
    EXPECT_EQ(out, b);
    EXPECT_EQ(CLinkHelper(b, p.navigation(), ESProtectObject).getObjectID(ab, &out), 0u);
    EXPECT_EQ(out, a);
    // Both ends are other objects.
    EXPECT_EQ(CLinkHelper(c, p.navigation(), ESProtectObject).getObjectID(ab, &out), 0xFFFFu);

    // A failing link skipped in the list.
    std::list<ESObjectID> ends;
    EXPECT_EQ(CLinkHelper(a, p.navigation(), ESProtectObject).getObjectIDs({ab, 99, ab}, ends), 0u);
    EXPECT_EQ(ends, (std::list<ESObjectID>{b, b}));

    CTraceCapture cap;
    p.fault("getLinkData", Fault::exception());
    EXPECT_EQ(CLinkHelper(a, p.navigation(), ESProtectObject).getObjectID(ab, &out), 0xFFFFu);
    EXPECT_TRUE(hasTraceLine(cap, "caught exeption calling m_spILink->getLinkData(m_srcID(), lkID(), &lkData, &dwRet)", 4));
    p.fault("getLinkData", Fault::retCode(0x2001));
    EXPECT_EQ(CLinkHelper(a, p.navigation(), ESProtectObject).getObjectID(ab, &out), 0x2001u);
    EXPECT_TRUE(hasTraceLine(cap, "error calling m_spILink->getLinkData(m_srcID(), lkID(), &lkData, &dwRet) "
                                  "hr = 0x0 (S_OK), ret=0x2001"));
    p.clearFaults();
    p.navigationObject().drop(IID_IMC_Link);
    EXPECT_EQ(CLinkHelper(a, p.navigation(), ESProtectObject).getObjectID(ab, &out), 0xFFFFu);
}

TEST_F(LinkHelper, MakeAndRemove)
{
    const CLinkHelper h(a, p.navigation(), ESProtectObject);
    VARIANT data;
    VariantInit(&data);
    DWORD lk = 0;
    EXPECT_EQ(h.createLink(c, 1, 2, data, &lk), 0u);
    ASSERT_NE(p.link(lk), nullptr);
    EXPECT_EQ(p.link(lk)->first, a);
    EXPECT_EQ(p.link(lk)->second, c);
    EXPECT_EQ(h.removeLink(lk), 0u);
    EXPECT_FALSE(p.link(lk)->alive);

    CTraceCapture cap;
    EXPECT_EQ(h.removeLink(lk), fakehost::kHostNotFound);
    EXPECT_TRUE(hasTraceLine(cap, "error calling m_spIIntLink->internalRemoveLink(lkID(), &dwRet) hr = 0x0 (S_OK), "
                                  "ret=0x2001"));
    // A failing create leaves the no-link value.
    p.fault("internalCreateLink", Fault::exception());
    lk = 5;
    EXPECT_EQ(h.createLink(c, 1, 2, data, &lk), 0xFFFFu);
    EXPECT_EQ(lk, kNoLinkID);
    EXPECT_TRUE(hasTraceLine(cap, "caught exception calling m_spIIntLink->internalCreateLink(dstID(), lkSort, "
                                  "dwLkType, varLkData, &lkID, &dwRet)"));
    p.clearFaults();
    p.navigationObject().drop(IID_IMC_InternalLink);
    const CLinkHelper without(a, p.navigation(), ESProtectObject);
    lk = 5;
    EXPECT_EQ(without.createLink(c, 1, 2, data, &lk), 0xFFFFu);
    EXPECT_EQ(lk, kNoLinkID);
    EXPECT_EQ(without.removeLink(ab), 0xFFFFu);
}

TEST_F(LinkHelper, UpdateLink)
{
    const CLinkHelper h(a, p.navigation(), ESProtectObject);
    DWORD lk = ab;
    EXPECT_EQ(h.updateLink(&lk), 0u);
    EXPECT_EQ(lk, ab);
    // A vanished link: code 0x00010005.
    p.vanishLink(ab);
    EXPECT_EQ(h.updateLink(&lk), 0u);
    EXPECT_EQ(lk, kNoLinkID);

    // Another code comes back as it is; a failed call gives 0xFFFF and a
    // line without the code.
    CTraceCapture cap;
    lk = ab;
    p.fault("getLinkData", Fault::retCode(0x2001));
    EXPECT_EQ(h.updateLink(&lk), 0x2001u);
    EXPECT_EQ(lk, ab);
    EXPECT_EQ(cap.count(), 0u);
    p.fault("getLinkData", Fault::hresult(E_FAIL));
    EXPECT_EQ(h.updateLink(&lk), 0xFFFFu);
    ASSERT_EQ(cap.count(), 1u);
    EXPECT_EQ(cap.lines()[0].message.rfind("error calling m_spILink->getLinkData(m_srcID(), refLk(), &lkData, &dwRet) "
                                           "hr = 0x80004005 (",
                                           0),
              0u);
    EXPECT_EQ(cap.lines()[0].message.find("ret="), std::string::npos);
    p.fault("getLinkData", Fault::exception());
    EXPECT_EQ(h.updateLink(&lk), 0xFFFFu);
    EXPECT_TRUE(hasTraceLine(cap, "caught exeption calling m_spILink->getLinkData(m_srcID(), refLk(), &lkData, &dwRet)"));
}

}  // namespace
