// Connector properties and the type's connector container: which connectors
// fit, and the filling from device attributes and from the installation's
// XML device description against the fake host.
#include <gtest/gtest.h>

#include "bo/cn/CBoConTypeCont.h"
#include "platform/guid.h"
#include "tests/fakehost/FakeHost.h"

using fakehost::Fault;
using fakehost::hasTraceLine;

namespace {

const GUID kIf = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
const GUID kIf2 = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDB}};

CBoConProps props(const char* dir, uint16_t minor = 0, const GUID& g = kIf)
{
    const std::string d = dir;
    return CBoConProps("c", 1, g, d != "OUT", d != "IN", false, false, false, -1, 1, minor);
}

TEST(ConProps, Fits)
{
    const struct {
        CBoConProps a, b;
        bool fits;
    } cases[] = {
        {props("IN"), props("IN"), false},        {props("IN"), props("OUT"), true},
        {props("IN"), props("INOUT"), true},      {props("OUT"), props("OUT"), false},
        {props("OUT"), props("INOUT"), true},     {props("INOUT"), props("INOUT"), true},
        {props("IN"), props("OUT", 1), false},    // 1.0 against 1.1
        {props("IN"), props("OUT", 0, kIf2), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a.fits(c.b), c.fits);
        EXPECT_EQ(c.b.fits(c.a), c.fits);
    }
}

class TypeCont : public fakehost::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        typeId = p.object(p.addDevice("dv", 1))->typeId;
        details = static_cast<IMC_InstallDetails*>(&p.navigationObject());
        classification = static_cast<IMC_InstallClassification*>(&p.navigationObject());
    }
    void attributes(const std::vector<std::pair<std::string, std::string>>& a)
    {
        for (const auto& kv : a) p.setTypeAttribute(typeId, kv.first, kv.second);
    }
    fakehost::FakeProject p;
    GUID typeId{};
    IMC_InstallDetails* details = nullptr;
    IMC_InstallClassification* classification = nullptr;
};

TEST_F(TypeCont, InitFromDeviceAttributes)
{
    attributes({{"BI_TYPE_CONNCOUNT", "2"},
                {"BI_TYPE_CONN(0)", "0x10,drive,{6B29FC40-CA47-1067-B31D-00DD010662DA},1,0x2"},
                {"BI_TYPE_CONNPROPS(0)", "1,0,1,0,7"},
                {"BI_TYPE_CONN(1)", "010,enc,{6B29FC40-CA47-1067-B31D-00DD010662DB},2"},
                {"BI_TYPE_CONNPROPS(1)", "0,1"}});
    CBoConTypeCont t;
    t.add(99, props("IN"));  // emptied first
    ASSERT_EQ(t.init(typeId, details), 0u);
    ASSERT_EQ(t.connectors().size(), 2u);
    const CBoConProps* drive = t.find(16);
    ASSERT_NE(drive, nullptr);
    EXPECT_STREQ(drive->m_name.c_str(), "drive");
    EXPECT_EQ(drive->m_ifType, kIf);
    EXPECT_TRUE(drive->m_incoming && !drive->m_outgoing && drive->m_remote && !drive->m_multipoint);
    EXPECT_TRUE(drive->m_required);
    EXPECT_EQ(drive->m_exclusiveGroup, -1);
    EXPECT_EQ(drive->m_major, 1);
    EXPECT_EQ(drive->m_minor, 2);
    const CBoConProps* enc = t.find(8);  // octal
    ASSERT_NE(enc, nullptr);
    EXPECT_EQ(enc->m_major, 2);
    EXPECT_EQ(enc->m_minor, 0);  // a missing field reads as 0
    EXPECT_TRUE(!enc->m_incoming && enc->m_outgoing && !enc->m_required);

    CTraceCapture cap;
    const struct {
        std::string conn;
        uint32_t result;
    } bad[] = {
        {"3,x,{6B29FC40-CA47-1067-B31D-00DD010662D},1,0", 0xFFFF},  // short GUID
        {"3,x", 0xFFFF},                                           // missing GUID field
        {"3,x,{6B29FC40-CA47-1067-B31D-00DD010662DA},1,0", 0},
        {"3,x,{6B29FC40-CA47-1067-B31D-00DD010662DA},1,0", 0},
    };
    attributes({{"BI_TYPE_CONNCOUNT", "1"}});
    for (const auto& b : bad) {
        attributes({{"BI_TYPE_CONN(0)", b.conn}});
        EXPECT_EQ(t.init(typeId, details), b.result) << b.conn;
    }
    EXPECT_TRUE(hasTraceLine(cap, "error calling CLSIDFromString(_bstr_t(strConnEntryVals[2]), &guidType) "
                                  "hr = 0x800401F3 (HRESULT 0x800401F3), ret=0x0", 4));
    // A failing attribute call: its code, or 0xFFFF without one; nothing kept.
    p.fault("getAttributeByTypeID", Fault::retCode(0x33).from(2));
    EXPECT_EQ(t.init(typeId, details), 0x33u);
    EXPECT_TRUE(t.connectors().empty());
    p.fault("getAttributeByTypeID", Fault::hresult(E_FAIL));
    EXPECT_EQ(t.init(typeId, details), 0xFFFFu);
    p.clearFaults();
    attributes({{"BI_TYPE_CONNCOUNT", "2"}});  // connector 1 is gone
    p.object(p.objects()[0]->id)->typeAttributes.erase("BI_TYPE_CONN(1)");
    EXPECT_EQ(t.init(typeId, details), fakehost::kHostNotFound);
    EXPECT_EQ(t.init(typeId, nullptr), 0xFFFFu);
}

std::string connector(const std::string& name, const char* id, const char* extra = "Minor=\"0\"")
{
    return "<Connector Name=\"" + name + "\" Id=\"" + id +
           "\" Interface=\"{6b29fc40-ca47-1067-b31d-00dd010662da}\" Incoming=\"true\" Outgoing=\"0\" "
           "Remote=\"1\" Multipoint=\"false\" Required=\"False\" ExclusiveGroup=\"-3\" Major=\"4\" " +
           extra + "/>";
}

std::string device(const std::string& esid, const std::string& connectors)
{
    return "<Device><ESType ESID=\"" + esid + "\"/><Connectors>" + connectors + "</Connectors></Device>";
}

TEST_F(TypeCont, InitFromInstallationDocument)
{
    const std::string esid = tvp::guidToString(typeId);
    p.installationXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Installation>" +
                        device("{00000000-0000-0000-0000-000000000009}", connector("other", "5")) +
                        device(esid, connector("\xC3\x9C" "bergabe", "1") + connector("b", "2", "Minor=\"3\"")) +
                        "</Installation>";
    CBoConTypeCont t;
    ASSERT_EQ(t.initFromTypeDescr(typeId, classification), 0u);
    ASSERT_EQ(t.connectors().size(), 2u);  // not the other device's
    const CBoConProps* a = t.find(1);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->m_name.c_str(), "\xDC" "bergabe");  // code page 1252
    EXPECT_EQ(a->m_ifType, kIf);
    EXPECT_TRUE(a->m_incoming && !a->m_outgoing && a->m_remote && !a->m_multipoint && !a->m_required);
    EXPECT_EQ(a->m_exclusiveGroup, -3);
    EXPECT_EQ(a->m_major, 4);
    EXPECT_EQ(t.find(2)->m_minor, 3);
    // Adding the same connectors again fails and adds nothing.
    EXPECT_EQ(t.initFromTypeDescr(typeId, classification), 0xFFFFu);

    CTraceCapture cap;
    CBoConTypeCont u;
    std::string lower = esid;
    for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    const struct {
        std::string xml;
        uint32_t result;
    } cases[] = {
        {"<I>" + device(lower, connector("a", "1")) + "</I>", 13},  // the ESID in lower case
        {"<I>" + device(esid, connector("a", "1") + connector("b", "2", "")) + "</I>", 0xFFFF},
        {"<I>" + device(esid, connector("a", "70000")) + "</I>", 0xFFFF},
        {"<I>" + device(esid, connector("a", "1") + connector("b", "1")) + "</I>", 0xFFFF},
        {"<I><Device>", 0xFFFF},
    };
    for (const auto& c : cases) {
        p.installationXml = c.xml;
        EXPECT_EQ(u.initFromTypeDescr(typeId, classification), c.result) << c.xml;
        EXPECT_TRUE(u.connectors().empty()) << c.xml;
    }
    EXPECT_TRUE(hasTraceLine(cap, "error converting attribute Minor", 4));
    EXPECT_TRUE(hasTraceLine(cap, "error converting attribute Id", 4));
    EXPECT_TRUE(hasTraceLine(cap, "error adding connector", 4));

    p.fault("getInstallationDocument", Fault::retCode(0x44));
    EXPECT_EQ(u.initFromTypeDescr(typeId, classification), 0x44u);
    EXPECT_TRUE(hasTraceLine(cap, "error calling spIntInstClassification->getInstallationDocument(&spIUnknown, "
                                  "&dwRet) hr = 0x0 (S_OK), ret=0x44"));
    p.clearFaults();
    p.document().drop(IID_IMC_XmlDocumentText);
    EXPECT_EQ(u.initFromTypeDescr(typeId, classification), 0xFFFFu);
}

}  // namespace
