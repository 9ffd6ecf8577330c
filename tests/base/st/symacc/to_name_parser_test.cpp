// TO-name parser against the fake host: the seven name forms, precedence of
// local TOs over devices, refusals, and a throwing host.
#include <gtest/gtest.h>

#include "base/st/symacc/SyTONameParser.h"
#include "co/TraceApi.h"
#include "tests/base/st/symacc/sample_project.h"

using fakehost::Fault;

namespace {

class TONameParser : public fakehost::HostTest {
protected:
    uint32_t parse(SampleProject& s, const char* name, ESObjectID& out, IUnknown* ident = nullptr)
    {
        IUnknown* nav = s.nav();
        IUnknown* id = ident ? ident : s.unit();
        return CTONameParser(nav, id).parse(String(name), out);
    }
};

TEST_F(TONameParser, NameForms)
{
    SampleProject s;
    struct Case {
        const char* name;
        ESObjectID want;
    } cases[] = {
        {"Axis2", s.axis2},
        {"Dev2.Dev2Only", s.dev2Only},
        {"Dev2._to.Axis1", s.d2axis1},
        {"_to.Axis2", s.axis2},
        {"_project.Dev2.Axis1", s.d2axis1},
        {"_project.Dev2._to.Dev2Only", s.dev2Only},
        {"_project.Dev2Only", s.dev2Only},
        {"Dev3", s.dev3Named},          // a local TO before a device of that name
        {"axis2.member[3]", s.axis2},   // text after the TO is not read
    };
    for (const auto& c : cases) {
        ESObjectID got = ESObjectID_Unset;
        EXPECT_EQ(0u, parse(s, c.name, got)) << c.name;
        EXPECT_EQ(c.want, got) << c.name;
    }
}

TEST_F(TONameParser, Refusals)
{
    SampleProject s;
    ESObjectID got = ESObjectID_Invalid;
    EXPECT_EQ(14u, parse(s, "", got));  // nothing read
    EXPECT_NE(0u, parse(s, "_project.Axis1", got));  // two TOs of that name
    EXPECT_NE(0u, parse(s, "Nowhere", got));
    EXPECT_NE(0u, parse(s, "Dev2.", got));
    EXPECT_EQ(ESObjectID_Invalid, got);  // left as it was

    // "_to" without identity: no device to deduce, ends in ERROR.
    fakehost::FakeProject& p = s.p;
    IUnknown* nav = p.navigation();
    IUnknown* none = nullptr;
    CTraceCapture cap;
    CTONameParser parser(nav, none);
    EXPECT_NE(0u, parser.parse(String("_to.Axis2"), got));
    EXPECT_EQ(ParserState::ERROR, parser.currentState());
    EXPECT_TRUE(fakehost::hasTraceLine(cap, "invalid ident pointer", 4));
}

TEST_F(TONameParser, ThrowingHostIsAFalseCondition)
{
    SampleProject s;
    s.p.fault("getObjectIdByNameAndClass", Fault::exception());
    CTraceCapture cap;
    ESObjectID got = ESObjectID_Unset;
    EXPECT_NE(0u, parse(s, "Dev2.Dev2Only", got));
    EXPECT_TRUE(fakehost::hasTraceLine(cap,
                                       "caught exeption calling spIProjNav->getObjectIdByNameAndClass("
                                       "m_vScan.name, PmObjCl_Device, &m_devID, &m_dwRet)",
                                       4));
    EXPECT_EQ(0u, parse(s, "Axis1", got));  // local names need no device lookup by name
    EXPECT_EQ(s.axis1, got);
}

TEST_F(TONameParser, TracesEveryStep)
{
    SampleProject s;
    CTraceCapture cap;
    ESObjectID got;
    parse(s, "_to.Axis2", got);
    std::vector<std::string> states;
    for (const auto& l : cap.lines())
        if (l.message.rfind("entering state: ", 0) == 0) states.push_back(l.message.substr(16));
    EXPECT_EQ((std::vector<std::string>{"TO_NS", "TONAME", "READY"}), states);
}

}  // namespace
