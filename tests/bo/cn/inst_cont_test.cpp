// The connections of an instance against the fake host: the saved section,
// loading it back and its failures, the connection rules in their order,
// connect with its rollback, disconnect, refreshing links, and the findings
// of checkCon.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsghdl.h"
#include "base/fs/FsFileMan.h"
#include "bo/cn/CBoConInstCont.h"
#include "platform/guid.h"
#include "tests/fakehost/FakeHost.h"

using fakehost::Fault;
using fakehost::hasTraceLine;

namespace {

const GUID kIf = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
const GUID kIf2 = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDB}};
const char kHead[] = "24 ConnectionContainer_V2.0\r\n{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535  ";

PmConnectorProps hostProps(WORD id, bool in, bool out, bool multipoint, const GUID& g = kIf, bool remote = false)
{
    PmConnectorProps r{};
    std::snprintf(r.name, sizeof r.name, "con%u", unsigned(id));
    r.ifID = id;
    r.ifType = g;
    r.incoming = in;
    r.outgoing = out;
    r.remote = remote;
    r.multipoint = multipoint;
    r.exclusiveGroup = -1;
    r.major = 1;
    return r;
}

// A section stream in memory.
class Section {
public:
    Section()
    {
        EXPECT_EQ(m_file.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
        sec = m_file.getSect("connections", FS_MODE_WRITE);
    }
    std::string bytes()
    {
        std::string out(sec->getSize(), '\0');
        sec->reset();
        if (!out.empty()) sec->readBytes(&out[0], uint32_t(out.size()));
        sec->reset();
        return out;
    }
    void put(const std::string& b)
    {
        sec->setSize(0);
        sec->writeBytes(b.data(), uint32_t(b.size()));
        sec->reset();
    }
    FsSecCl* sec = nullptr;

private:
    FsFileMan m_file;
};

// Messages by id.
class Messages : public CmMsgOut {
public:
    Messages() : m_handler(cmBuiltinMsgTable(), this)
    {
        m_handler.setMsgLevel(CmMsgLevel(4, 1));  // with id and position
        m_previous = cmSetMessageHandler(&m_handler);
    }
    ~Messages() override { cmSetMessageHandler(m_previous); }
    void msgOut(const WString&, uint32_t, uint32_t, const WString&) override {}
    void msgOutExt(const WString& text, uint32_t, uint32_t, const WString&, uint32_t, uint32_t id) override
    {
        ids.push_back(id);
        texts.push_back(text.toUtf8());
    }
    std::vector<uint32_t> ids;
    std::vector<std::string> texts;

private:
    CmMessageHandler m_handler;
    CmMessageHandler* m_previous = nullptr;
};

// Object a (connectors 1 "out", 2 "in" multipoint, 3 required, the
// container under test) and b (host connectors 1 in, 2 out multipoint) on
// device dv; c without connectors; far on another device.
class InstCont : public fakehost::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        dv = p.addDevice("dv", 1);
        a = p.addTO(dv, "a", 1);
        b = p.addTO(dv, "b", 2);
        c = p.addTO(dv, "c", 3);
        far = p.addTO(p.addDevice("dv2", 2), "far", 1);
        for (const ESObjectID& o : {a, b, far}) {
            p.addConnector(o, hostProps(1, true, false, false));
            p.addConnector(o, hostProps(2, false, true, true));
        }
        type.add(1, CBoConProps("out", 1, kIf, false, true, false, false, false, -1, 1, 0));
        type.add(2, CBoConProps("in", 2, kIf, true, false, true, true, false, -1, 1, 0));
        cont.reset(new CBoConInstCont(&type));
    }
    void TearDown() override
    {
        cont.reset();
        HostTest::TearDown();
    }

public:
    IUnknown* nav() { return p.navigation(); }
    // An object of the first world as the same object of this one.
    ESObjectID now(const ESObjectID& first) const
    {
        for (const auto& m : firstWorld)
            if (m.first == first) return m.second;
        return first;
    }
    std::vector<std::pair<ESObjectID, ESObjectID>> firstWorld;
    std::string saved()
    {
        Section s;
        EXPECT_EQ(cont->saveConnections(s.sec), 0u);
        return s.bytes();
    }
    uint32_t load(const std::string& bytes, uint32_t flags = 0)
    {
        Section s;
        s.put(bytes);
        return cont->loadConnections(s.sec, flags);
    }

    fakehost::FakeProject p;
    ESObjectID dv, a, b, c, far;
    CBoConTypeCont type;
    std::unique_ptr<CBoConInstCont> cont;
};

TEST_F(InstCont, SaveAndLoad)
{
    EXPECT_EQ(saved(), std::string(kHead) + "2 1 0  2 0  ");
    EXPECT_EQ(cont->saveConnections(nullptr), 0xFFFFu);

    const std::string withTarget = std::string(kHead) + "2 1 1 7 3  2 0  ";
    ASSERT_EQ(load(withTarget), 0u);
    EXPECT_EQ(cont->connections().at(1), (CBoTargetList{TargetEntry{7, 3}}));
    EXPECT_EQ(saved(), withTarget);
    // Binary mode round trip.
    {
        Section s;
        s.sec->setBinary(true);
        ASSERT_EQ(cont->saveConnections(s.sec), 0u);
        CBoConInstCont back(&type);
        s.sec->reset();
        ASSERT_EQ(back.loadConnections(s.sec, 0), 0u);
        EXPECT_EQ(back.connections(), cont->connections());
    }

    // Failures leave connections and version as they were.
    CTraceCapture cap;
    const std::string other = std::string("24 ConnectionContainer_V2.0\r\n") +
                              "{6B29FC40-CA47-1067-B31D-00DD010662DA}  3 4  2 1 0  2 0  ";
    const struct {
        std::string bytes;
        uint32_t result;
        const char* trace;
    } failures[] = {
        {"24 ConnectionContainer_V1.0\r\n", 29, "invalid format"},
        {"", 29, "invalid format"},
        {withTarget.substr(0, withTarget.size() - 6), 27, "error reading connections!"},
        {std::string(kHead) + "4000000000 1 0  ", 27, "error reading connections!"},
        {std::string(kHead) + "2 1 0  1 0  ", 27, "error reading connections!"},  // connector 1 twice
        // The type gained connector 2 and dropped connector 5.
        {std::string(kHead) + "2 1 0  5 0  ", 38, "error difference between instance and typ connectors"},
        {std::string(kHead) + "1 1 0  ", 38, "error difference between instance and typ connectors"},
    };
    for (const auto& f : failures) {
        cap.clear();
        EXPECT_EQ(load(f.bytes), f.result) << f.bytes;
        EXPECT_TRUE(hasTraceLine(cap, f.trace, 4)) << f.bytes;
        EXPECT_EQ(saved(), withTarget) << f.bytes;
    }
    // With bit 4 the list is adapted to the type.
    ASSERT_EQ(load(other.substr(0, other.size() - 6) + "5 1 9 9  ", kConLoadAdapt), 0u);
    EXPECT_EQ(saved(), std::string("24 ConnectionContainer_V2.0\r\n") +
                           "{6B29FC40-CA47-1067-B31D-00DD010662DA}  3 4  2 1 0  2 0  ");
}

TEST_F(InstCont, CanConnectRefusalsInStepOrder)
{
    const ESConID src{a, 1};
    const struct {
        const char* what;
        std::function<void(InstCont&)> setUp;
        ESObjectID object;
        ESConID src, dst;
        uint32_t result;
        std::string trace;
    } cases[] = {
        {"other object", nullptr, b, src, {b, 1}, 1, "invalid object id in source connector"},
        {"own object", nullptr, a, src, {a, 2}, 1, "connection to own object is not supported at the moment"},
        {"no such connector", nullptr, a, {a, 9}, {b, 1}, 1, "invalid source connector id"},
        {"unknown object", nullptr, a, src, {ESObjectID_Invalid, 1}, fakehost::kHostNotFound,
         "can't get IMC_Ident for destination object"},
        {"no connectors", nullptr, a, src, {c, 1}, 0xFFFF, "error getting IMC_ConnectorNav"},
        {"no such destination", nullptr, a, src, {b, 9}, fakehost::kHostNotFound,
         "error calling spIConNav->getConnectorPropsByID(dstID(), &pr, &dwRet) hr = 0x0 (S_OK), ret=0x2001"},
        {"out to out", nullptr, a, src, {b, 2}, 53, "source and destination connector props do not match"},
        {"proxy", [](InstCont& t) { t.p.setProxy(t.b, true); }, a, src, {b, 1}, 53,
         "locale connector can't connect an proxy"},
        {"source busy", [](InstCont& t) { ASSERT_EQ(t.cont->connect(t.a, {t.a, 1}, {t.far, 1}, t.nav()), 0u); }, a,
         src, {b, 1}, 53, "source connector already connected"},
        {"target busy",
         [](InstCont& t) { t.p.object(t.b)->connectors[1].targets.push_back({t.p.addLink(t.c, t.b), 1}); }, a, src,
         {b, 1}, 53, "target connector already connected"},
        {"multipoint holds it",
         [](InstCont& t) { t.p.object(t.b)->connectors[2].targets.push_back({t.p.addLink(t.a, t.b), 2}); }, a,
         {a, 2}, {b, 2}, 53, "connection already exists (case: multipoint)"},
    };
    const ESObjectID ids[4] = {a, b, c, far};
    for (const auto& k : cases) {
        // A fresh world for every case.
        TearDown();
        SetUp();
        firstWorld.clear();
        for (const ESObjectID& id : {a, b, c, far}) firstWorld.emplace_back(ids[firstWorld.size()], id);
        if (k.setUp) k.setUp(*this);
        CTraceCapture cap;
        // The table was built over the first world's ids: map them to this one.
        EXPECT_EQ(cont->canConnect(now(k.object), ESConID{now(k.src.objID), k.src.ifID},
                                   ESConID{now(k.dst.objID), k.dst.ifID}, nav()),
                  k.result)
            << k.what;
        EXPECT_TRUE(hasTraceLine(cap, k.trace)) << k.what;
    }
    TearDown();
    SetUp();
    EXPECT_EQ(cont->canConnect(a, ESConID{a, 1}, {b, 1}, nav()), 0u);
}

TEST_F(InstCont, ConnectAndDisconnect)
{
    ASSERT_EQ(cont->connect(a, {a, 1}, {b, 1}, nav()), 0u);
    ASSERT_EQ(cont->connections().at(1).size(), 1u);
    const TargetEntry t = cont->connections().at(1).front();
    EXPECT_EQ(t.ifID, 1);
    const fakehost::FakeLink* l = p.link(t.lkID);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->first, a);
    EXPECT_EQ(l->second, b);
    EXPECT_EQ(l->sort, 1u);
    EXPECT_EQ(l->type, 2u);
    EXPECT_EQ(l->data, "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    // The destination recorded the source; both objects lost the flag.
    EXPECT_EQ(p.object(b)->connectors[1].targets, (std::vector<TargetEntry>{TargetEntry{t.lkID, 1}}));
    EXPECT_EQ(p.object(a)->flags & PmFlag_OnlineIdentical, 0u);
    EXPECT_EQ(p.object(b)->flags & PmFlag_OnlineIdentical, 0u);

    std::list<ESConID> targets;
    EXPECT_EQ(cont->getTargetList(a, {a, 1}, nav(), targets), 0u);
    EXPECT_EQ(targets, (std::list<ESConID>{ESConID{b, 1}}));
    EXPECT_EQ(cont->getTargetList(b, {a, 1}, nav(), targets), 1u);  // another object id

    CTraceCapture cap;
    EXPECT_EQ(cont->connect(a, {a, 1}, {b, 1}, nav()), 53u);
    EXPECT_TRUE(hasTraceLine(cap, "connection not possible", 3));
    EXPECT_EQ(cont->disconnect(a, {a, 1}, {far, 1}, nav()), 13u);
    EXPECT_EQ(cont->disconnect(a, {a, 7}, {b, 1}, nav()), 1u);
    EXPECT_TRUE(hasTraceLine(cap, "error invalid ConnectorID", 4));
    p.setOnlineIdentical(a, true);
    ASSERT_EQ(cont->disconnect(a, {a, 1}, {b, 1}, nav()), 0u);
    EXPECT_TRUE(cont->connections().at(1).empty());
    EXPECT_FALSE(p.link(t.lkID)->alive);
    EXPECT_EQ(p.object(a)->flags & PmFlag_OnlineIdentical, 0u);
}

TEST_F(InstCont, ConnectRollsBack)
{
    CTraceCapture cap;
    p.fault("connectInternal", Fault::retCode(0x61));
    EXPECT_EQ(cont->connect(a, {a, 1}, {b, 1}, nav()), 0x61u);
    EXPECT_TRUE(cont->connections().at(1).empty());
    ASSERT_EQ(p.links().size(), 5u);  // four device links and the one made
    EXPECT_FALSE(p.links().back().alive);
    EXPECT_FALSE(hasTraceLine(cap, "error calling removeLink (error roll back)"));
    EXPECT_TRUE(hasTraceLine(cap, "error calling spIConnect->connectInternal(dstID(), lkID(), srcID().ifID, "
                                  "ESProtectObject, &dwRet) hr = 0x0 (S_OK), ret=0x61"));
    p.fault("internalRemoveLink", Fault::hresult(E_FAIL));
    EXPECT_EQ(cont->connect(a, {a, 1}, {b, 1}, nav()), 0x61u);
    EXPECT_TRUE(hasTraceLine(cap, "error calling removeLink (error roll back)", 4));
    EXPECT_TRUE(p.links().back().alive);
    p.clearFaults();
    p.identityObject(b).drop(IID_IMC_InternalConnect);
    EXPECT_EQ(cont->connect(a, {a, 1}, {b, 1}, nav()), 0xFFFFu);
    EXPECT_TRUE(hasTraceLine(cap, "error getting IMC_InternalConnect", 4));
}

TEST_F(InstCont, ExemptInterfaceKeepsTheFlags)
{
    const GUID exempt = {0x3F2A7C11, 0x55E1, 0x4B2D, {0x9C, 0x04, 0x6E, 0x8B, 0x21, 0xD3, 0x47, 0xA1}};
    ASSERT_TRUE(CBoConInstCont::isExemptInterface(exempt));
    CBoConTypeCont t;
    t.add(1, CBoConProps("out", 1, exempt, false, true, false, false, false, -1, 1, 0));
    CBoConInstCont x(&t);
    p.addConnector(b, hostProps(3, true, false, false, exempt));
    ASSERT_EQ(x.connect(a, {a, 1}, {b, 3}, nav()), 0u);
    EXPECT_NE(p.object(a)->flags & PmFlag_OnlineIdentical, 0u);
    EXPECT_NE(p.object(b)->flags & PmFlag_OnlineIdentical, 0u);
    p.navigationObject().drop(IID_IMC_PmObjectData);
    CTraceCapture cap;
    EXPECT_EQ(x.resetOnlConsistencyFlags(a, b, nav()), 0xFFFFu);
    EXPECT_TRUE(hasTraceLine(cap, "can't get IMC_PmObjectData", 4));
}

TEST_F(InstCont, ReceivingSideAndVanishedLinks)
{
    // connectInternal: a connector that is not multipoint takes one target.
    EXPECT_EQ(cont->connectInternal(a, {a, 1}, 40, 2), 0u);
    EXPECT_EQ(cont->connectInternal(a, {a, 1}, 41, 2), 53u);
    EXPECT_EQ(cont->connectInternal(a, {a, 2}, 41, 1), 0u);
    EXPECT_EQ(cont->connectInternal(a, {a, 2}, 41, 1), 53u);  // the link is there
    EXPECT_EQ(cont->connectInternal(a, {b, 2}, 42, 1), 1u);

    // A vanished link drops its target.
    const DWORD toB = p.addLink(a, b), toFar = p.addLink(a, far);
    ASSERT_EQ(load(std::string(kHead) + "2 1 1 " + std::to_string(toB) + " 1  2 1 " + std::to_string(toFar) + " 1  "),
              0u);
    bool changed = true;
    EXPECT_EQ(cont->updateTargetLinks(a, nav(), changed), 0u);
    EXPECT_FALSE(changed);
    p.vanishLink(toFar);
    EXPECT_EQ(cont->updateTargetLinks(a, nav(), changed), 0u);
    EXPECT_TRUE(changed);
    EXPECT_EQ(cont->connections().at(1).size(), 1u);
    EXPECT_TRUE(cont->connections().at(2).empty());
}

TEST_F(InstCont, CheckConFindings)
{
    Messages messages;
    type.add(3, CBoConProps("req", 3, kIf, true, false, true, false, true, 5, 1, 0));
    type.add(4, CBoConProps("grp", 4, kIf, true, false, false, true, false, 5, 1, 0));
    cont.reset(new CBoConInstCont(&type));
    EXPECT_EQ(cont->checkCon(a, nav()), 25u);
    EXPECT_EQ(messages.ids, std::vector<uint32_t>{6021});  // req has no target
    // The ids are not in the built-in table: worded as an internal error.
    EXPECT_NE(messages.texts[0].find("6021"), std::string::npos) << messages.texts[0];

    // 1 "out" (not remote): two targets whose connector no longer fits;
    // 2 "in": a target object that has gone; 3 "req": a target connector
    // that has gone; 4 "grp" (not remote, the group of 3): a target on
    // another device.
    const ESObjectID gone = {0xDEAD, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    p.addConnector(c, hostProps(7, false, true, false));
    const DWORD b1 = p.addLink(a, b), b2 = p.addLink(a, b), toGone = p.addLink(a, gone), toC = p.addLink(a, c),
                toFar = p.addLink(a, far);
    const auto n = [](DWORD v) { return std::to_string(v); };
    ASSERT_EQ(load(std::string(kHead) + "4 1 2 " + n(b1) + " 1 " + n(b2) + " 1  2 1 " + n(toGone) + " 2  3 1 " +
                   n(toC) + " 9  4 1 " + n(toFar) + " 2  "),
              0u);
    messages.ids.clear();
    p.object(b)->connectors[1].props.minor = 1;  // 1.1 no longer fits 1.0
    EXPECT_EQ(cont->checkCon(a, nav()), 52u);
    EXPECT_EQ(messages.ids, (std::vector<uint32_t>{6022, 6031, 6031, 6056, 8010, 8085, 6055}));
}

}  // namespace
