// The ACX import of configurations and values against the fixture
// descriptor (acx_import_fixture.h): one table per group of rules, each case
// with its result, its messages and what the sections hold afterwards. A
// failing import must leave every section byte for byte as it was.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "co/TraceApi.h"
#include "tests/acx/AcxTestWriter.h"
#include "tests/tools/md/tavolin/acx_import_fixture.h"
#include "tests/tools/md/tavolin/test_split_driver_support.h"
#include "tools/md/tavolin/CMDAcxParser.h"

namespace {

using namespace acxtest;
using acxfixture::Tree;

Bytes root(const std::vector<Bytes>& children) { return compound(0, children); }
Bytes block(const std::vector<Bytes>& children) { return root({compound(2144, children)}); }
Bytes param(uint16_t number, std::vector<Bytes> tags)
{
    tags.insert(tags.begin(), u16(136, number));
    return compound(1037, tags);
}
Bytes values(const std::vector<Bytes>& range) { return compound(2116, {compound(2117, range)}); }

// The sections after an import, read back into a model of their own.
struct Model {
    explicit Model(FsDsc& dsc)
    {
        FsSecCl* s = dsc.openSect("const", 0);
        EXPECT_TRUE(s && m.getFrameConstTable()->read(*s));
        dsc.CloseSect("const");
        s = dsc.openSect("varval", 0);
        EXPECT_TRUE(s && m.loadValues(*s) == 0);
        dsc.CloseSect("varval");
        s = dsc.openSect("varext", 0);
        EXPECT_TRUE(s && m.loadAttribs(*s) == 0);
        dsc.CloseSect("varext");
    }
    // Minimum, default and maximum of a key as signed numbers ("-" for none).
    std::string values(int32_t adr, uint32_t mask)
    {
        auto text = [](StStdConstantVal* c) {
            bool err = c == nullptr;
            const int32_t v = c ? c->GetLongVal(err) : 0;
            return err ? std::string("-") : std::to_string(v);
        };
        const uint32_t a = uint32_t(adr);
        return text(m.getMinVal(a, mask)) + " " + text(m.getStdVal(a, mask)) + " " + text(m.getMaxVal(a, mask));
    }
    CMDAcxParser m;
};

struct Imported {
    uint32_t result;
    std::vector<uint32_t> messages;
    std::vector<std::string> texts;
    std::vector<std::string> before, after;
    std::string trace;  // the import's first trace line, "method: text"
};

// parseVarExt of tags over the fixture (written by prepare when given).
Imported import(const Bytes& tags, FsTODscFile& dsc, const std::function<void(FsDsc&)>& prepare = nullptr)
{
    EXPECT_TRUE(fronttest::openMemoryFile(dsc));
    EXPECT_TRUE(acxfixture::writeFixture(dsc));
    if (prepare) prepare(dsc);
    Tree tree(tags);
    Imported r;
    r.before = acxfixture::snapshot(dsc);
    fronttest::MessageCapture messages;
    CTraceCapture traces;
    CMDAcxParser parser;
    r.result = parser.parseVarExt(tree.root(), &dsc);
    for (const auto& l : traces.lines())
        if (r.trace.empty() && l.method.rfind("CMDAcxParser::", 0) == 0) {
            EXPECT_EQ(l.level, 4u);
            r.trace = l.method + ": " + l.message;
        }
    r.messages = messages.ids();
    for (const auto& m : messages.records) r.texts.push_back(m.text);
    r.after = acxfixture::snapshot(dsc);
    return r;
}

struct Case {
    const char* name;
    Bytes tags;
    uint32_t result;
    std::vector<uint32_t> messages;
    // Checked after a success.
    std::function<void(FsDsc&, const Imported&)> check = nullptr;
    const char* firstText = nullptr;  // of the first message
    const char* trace = nullptr;      // the first trace line
};

void runCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        FsTODscFile dsc;
        const Imported r = import(c.tags, dsc);
        EXPECT_EQ(r.result, c.result) << c.name;
        EXPECT_EQ(r.messages, c.messages) << c.name;
        if (c.trace) {
            EXPECT_EQ(r.trace, c.trace) << c.name;
        }
        if (c.firstText && !r.texts.empty()) {
            EXPECT_EQ(r.texts[0], c.firstText) << c.name;
        }
        if (c.result != 0) {
            EXPECT_EQ(r.after, r.before) << c.name;
            continue;
        }
        // The bit fields stay as loaded.
        EXPECT_EQ(r.after[4], r.before[4]) << c.name;
        if (c.check) c.check(dsc, r);
    }
}

const Bytes kP12 = param(12, {u32(2137, 0), u16(131, 2), values({i32(138, 0), i32(140, 10), i32(139, 100)}),
                              u32(2139, 1), u16(2127, 3), u16(134, 2), u32(2140, 5), u32(2141, 7)});

TEST(AcxImport, OneVariableIntoEverySection)
{
    runCases({{"p12", block({kP12}), 0, {}, [](FsDsc& dsc, const Imported&) {
                   EXPECT_EQ(acxfixture::sectionBytes(dsc, "varext"), "1 12 4294967295 1 0 6145 5 7 10");
                   Model m(dsc);
                   EXPECT_EQ(m.values(12, 0xFFFFFFFF), "0 10 100");
                   const VarTypeValue* v = m.m.valueTable().begin()->second;
                   EXPECT_EQ(v->Fix, 4);
                   EXPECT_EQ(v->Unit, 1);
                   StStdConstantVal* min = m.m.getMinVal(12, 0xFFFFFFFF);
                   ASSERT_NE(min, nullptr);
                   EXPECT_EQ(min->getTypeId(), uint32_t(ST_DINT));
                   EXPECT_EQ(m.m.valueTable().size(), 1u);
               }}});
}

TEST(AcxImport, NamingSkippingAndDefaults)
{
    const Bytes defaults = compound(65, {u16(2127, 2)});
    runCases({
        {"bit 0 names r12", block({param(12, {u32(2138, 1), values({i16(140, 3)})})}), 0, {},
         [](FsDsc& dsc, const Imported&) { EXPECT_EQ(Model(dsc).values(112, 0xFFFFFFFF), "-32768 3 32767"); }},
        {"bit 27 skips an unknown name", block({param(99, {u32(2138, 1u << 27)})}), 0, {}},
        {"a default of 65 by default", block({defaults, param(12, {}), param(5, {u16(2127, 1)})}), 0, {},
         [](FsDsc& dsc, const Imported&) {
             Model m(dsc);
             EXPECT_EQ(m.m.getAttrib(12, 0xFFFFFFFF)->ATO1, 2u << 11);
             EXPECT_EQ(m.m.getAttrib(5, 0xFFFFFFFF)->ATO1, 1u << 11);
         }},
        {"65 skips every variable", block({compound(65, {u32(2138, 1u << 27)}), param(99, {})}), 0, {}},
        {"a compound in 65", block({compound(65, {compound(2116, {})})}), 0xFFFF, {0}, nullptr, nullptr,
         "CMDAcxParser::parseVarExt: ACX: unexpected tag"},
        {"an id twice in 65", block({compound(65, {u16(2127, 1), u16(2127, 2)})}), 0xFFFF, {0}, nullptr, nullptr,
         "CMDAcxParser::parseVarExt: ACX: insert tag failed"},
        {"136 as a text", block({compound(1037, {str(136, "12")})}), 0xFFFF, {0}},
    });
}

TEST(AcxImport, LookupsAndArraySizes)
{
    const Bytes p3 = param(3, {values({u16(138, 1), u16(140, 4), u16(139, 8)})});
    runCases({
        {"unknown name", block({param(99, {})}), 0xFFFF, {1203}, nullptr,
         "Symbol p99 ist (in der Basis) nicht vorhanden", "CMDAcxParser::parseParam: symbol not exist"},
        {"132 on a scalar", block({param(12, {u16(132, 1)})}), 0xFFFF, {1206}},
        {"132 with a wrong count", block({param(20, {u16(132, 7)})}), 0xFFFF, {1206}},
        {"132 with the count", block({param(20, {u16(132, 8)})}), 0, {}},
        {"2113 names an unknown parameter", block({param(20, {u16(2113, 77)})}), 0xFFFF, {1207}, nullptr,
         "Das dimensionsbestimmende Symbol P/p77 f\xC3\xBCr das dynamische Array p20 ist (in der Basis) nicht "
         "vorhanden"},
        {"2113 on a scalar", block({p3, param(12, {u16(2113, 3)})}), 0xFFFF, {1206}},
        {"minimum 0", block({param(4, {values({u16(138, 0), u16(139, 8)})}), param(20, {u16(2113, 4)})}), 0xFFFF,
         {1206}, nullptr, nullptr, "CMDAcxParser::parseParam: min-val is to short"},
        {"parameter without values", block({param(20, {u16(2113, 4)})}), 0xFFFF, {1206}},
        {"maximum above the element count", block({param(4, {values({u16(138, 1), u16(139, 9)})}),
                                                    param(20, {u16(2113, 4)})}),
         0xFFFF, {1206}},
        {"a good 2113", block({p3, param(20, {u32(2137, 0), u16(2113, 3), values({i32(140, 2)})})}), 0, {},
         [](FsDsc& dsc, const Imported&) {
             EXPECT_EQ(acxfixture::sectionBytes(dsc, "varcont"), "1 3 4294967295 20 ");
             // The array's size is the parameter's maximum.
             Model m(dsc);
             EXPECT_EQ(m.values(28, 0xFFFFFFFF), "-2147483648 2 2147483647");
             EXPECT_EQ(m.values(29, 0xFFFFFFFF), "- - -");
         }},
    });
}

TEST(AcxImport, AttributesAndEnumerations)
{
    runCases({
        {"access level 8", block({param(12, {u16(2127, 8)})}), 0xFFFF, {1205, 0}, nullptr, nullptr,
         "CMDAcxParser::makeAttribs: invalid drive access level"},
        {"display type 6", block({param(12, {u16(134, 6)})}), 0xFFFF, {0}, nullptr, nullptr,
         "CMDAcxParser::makeAttribs: invalid display type"},
        {"2118 on a DINT", block({param(12, {compound(2116, {compound(2118, {i16(69, 0)})})})}), 0xFFFF, {0}},
        {"69 of 32 bits", block({param(14, {compound(2116, {compound(2118, {i32(69, 0)})})})}), 10, {1204}, nullptr,
         nullptr, "CMDAcxParser::parseValues: invalid enum datatype"},
        {"other enumerators", block({param(14, {compound(2116, {compound(2118, {i16(69, 0), u16(69, 7)})})})}),
         0xFFFF, {1208}, nullptr, "Der Enumtype f\xC3\xBCr das Symbol p14 unterscheidet sich (zur Basis)"},
        {"the enumerators", block({param(14, {compound(2116, {compound(2118, {i16(69, 8), u16(69, 7), i16(69, 0),
                                                                               i16(140, 7)})})})}),
         0, {}, [](FsDsc& dsc, const Imported&) { EXPECT_EQ(Model(dsc).values(14, 0xFFFFFFFF), "0 0 8"); }},
        {"a value out of range is reported", block({param(16, {values({i32(140, 300)})})}), 0, {409}},
    });
}

TEST(AcxImport, MasksBlocksAndElements)
{
    std::vector<Bytes> eight, seven;
    for (int16_t i = 0; i < 8; ++i) eight.push_back(i16(140, int16_t(10 + i)));
    seven.assign(eight.begin(), eight.begin() + 7);
    runCases({
        {"mask 3", block({param(12, {u32(2137, 3), values({i32(140, 1)})})}), 0, {},
         [](FsDsc& dsc, const Imported&) {
             Model m(dsc);
             EXPECT_EQ(m.m.valueTable().size(), 2u);
             EXPECT_EQ(m.m.valueTable().count(VarExtKey(12, 0xFFFFFFFC)), 1u);
             EXPECT_EQ(m.m.attribTable().size(), 1u);
             EXPECT_EQ(m.m.attribTable().count(VarExtKey(12, 3)), 1u);
         }},
        {"a block with its own access level", block({param(12, {u32(2137, 3), values({i32(138, 1), i32(140, 2)}),
                                                             compound(2143, {u32(2115, 4), u16(2127, 5),
                                                                             values({i32(140, 7)})})})}),
         0, {}, [](FsDsc& dsc, const Imported&) {
             Model m(dsc);
             // The block takes the variable's minimum beside its own default.
             EXPECT_EQ(m.values(12, 4), "1 7 2147483647");
             EXPECT_EQ(m.m.getAttrib(12, 4)->ATO1, 5u << 11);
             EXPECT_EQ(m.m.getAttrib(12, 3)->ATO1, 0u);
         }},
        {"a block with the variable's access level", block({param(12, {u32(2137, 3), values({i32(140, 2)}),
                                                                      compound(2143, {u32(2115, 4)})})}),
         0, {}, [](FsDsc& dsc, const Imported&) {
             Model m(dsc);
             EXPECT_EQ(m.values(12, 4), "-2147483648 2 2147483647");
             EXPECT_EQ(m.m.attribTable().size(), 1u);
         }},
        {"a block naming a compound the variable lacks",
         block({param(12, {values({}), compound(2143, {compound(2116, {compound(2118, {})})})})}), 0xFFFF, {0}},
        {"bit 22 with eight defaults", block({param(40, {u32(2139, 1u << 22), values(eight)})}), 0, {},
         [](FsDsc& dsc, const Imported&) {
             Model m(dsc);
             EXPECT_EQ(m.m.valueTable().size(), 8u);
             for (int32_t i = 0; i < 8; ++i)
                 EXPECT_EQ(m.values(41 + i, 0xFFFFFFFF), "-32768 " + std::to_string(10 + i) + " 32767");
         }},
        {"bit 22 with seven", block({param(40, {u32(2139, 1u << 22), values(seven)})}), 0xFFFF, {1206}},
        {"i16 -5 for a DINT", block({param(12, {values({i16(140, -5)})})}), 0, {},
         [](FsDsc& dsc, const Imported&) { EXPECT_EQ(Model(dsc).values(12, 0xFFFFFFFF), "-2147483648 -5 2147483647"); }},
        {"u32 0xFFFFFFFF for a DINT", block({param(12, {values({u32(140, 0xFFFFFFFF)})})}), 0, {},
         [](FsDsc& dsc, const Imported&) { EXPECT_EQ(Model(dsc).values(12, 0xFFFFFFFF), "-2147483648 -1 2147483647"); }},
        {"i32 -1 for a UDINT does not fit", block({param(15, {values({i8(140, -1)})})}), 0, {409}},
        {"a real for a DINT", block({param(12, {values({r64(140, 2.75)})})}), 0, {},
         [](FsDsc& dsc, const Imported&) { EXPECT_EQ(Model(dsc).values(12, 0xFFFFFFFF), "-2147483648 2 2147483647"); }},
        {"a text as a value", block({param(12, {values({str(140, "1")})})}), 0xFFFF, {0}},
    });
}

TEST(AcxImport, SectionsAndBadInput)
{
    const Bytes tags = block({kP12});
    const struct {
        const char* name;
        std::function<void(FsDsc&)> prepare;
        uint32_t result;
        const char* trace;
    } cases[] = {
        {"no varcont", [](FsDsc& d) { d.DestroySect("varcont"); }, 57, "openVarCont failed"},
        {"no const", [](FsDsc& d) { d.DestroySect("const"); }, 57, "openConst failed"},
        {"no symb", [](FsDsc& d) { d.DestroySect("symb"); }, 57, "openSys failed"},
        {"broken symb", [](FsDsc& d) { fronttest::putSection(d, "symb", "not a table"); }, 27, "bad stab status"},
        {"broken varval", [](FsDsc& d) { fronttest::putSection(d, "varval", "7 x"); }, 27, "loadSysVar failed"},
    };
    for (const auto& c : cases) {
        FsTODscFile dsc;
        const Imported r = import(tags, dsc, c.prepare);
        EXPECT_EQ(r.result, c.result) << c.name;
        EXPECT_EQ(r.trace, std::string("CMDAcxParser::parseVarExt: ") + c.trace) << c.name;
        EXPECT_EQ(r.messages, std::vector<uint32_t>{0}) << c.name;
        EXPECT_EQ(r.after, r.before) << c.name;
    }
    // "sym" serves when "symb" is missing.
    FsTODscFile dsc;
    const Imported r = import(tags, dsc, [](FsDsc& d) {
        const std::string symb = acxfixture::sectionBytes(d, "symb");
        d.DestroySect("symb");
        fronttest::putSection(d, "sym", symb);
    });
    EXPECT_EQ(r.result, 0u);

    fronttest::MessageCapture messages;
    Tree tree(tags);
    EXPECT_EQ(CMDAcxParser().parseVarExt(nullptr, &dsc), 0xFFFFu);
    EXPECT_EQ(CMDAcxParser().parseVarExt(tree.root(), nullptr), 0xFFFFu);
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{0, 0}));
}

TEST(AcxImport, Configuration)
{
    const struct {
        const char* name;
        Bytes tags;
        uint32_t result;
        std::vector<uint32_t> messages;
        const char* cfghead;
    } cases[] = {
        {"2132 = 2", block({compound(2107, {u32(2131, 1), u32(2132, 2)})}), 0, {}, "2 0  0 "},
        {"no 2107", block({}), 0, {}, "4294967295 0  0 "},
        {"2131 without a value", block({compound(2107, {str(2131, "")})}), 0xFFFF, {0}, "4294967295 0  0 "},
        {"2107 as a number", block({u32(2107, 1)}), 0xFFFF, {0}, "4294967295 0  0 "},
    };
    for (const auto& c : cases) {
        FsTODscFile dsc;
        ASSERT_TRUE(fronttest::openMemoryFile(dsc));
        ASSERT_TRUE(acxfixture::writeFixture(dsc));
        Tree tree(c.tags);
        fronttest::MessageCapture messages;
        FsSecCl* cfghead = dsc.openSect("cfghead", FS_MODE_WRITE);
        EXPECT_EQ(CMDAcxParser().parseConfiguration(tree.root(), cfghead), c.result) << c.name;
        dsc.CloseSect("cfghead");
        EXPECT_EQ(messages.ids(), c.messages) << c.name;
        EXPECT_EQ(acxfixture::sectionBytes(dsc, "cfghead"), c.cfghead) << c.name;
    }
    fronttest::MessageCapture messages;
    EXPECT_EQ(CMDAcxParser().parseConfiguration(nullptr, nullptr), 0xFFFFu);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0});
}

TEST(AcxImport, CodeTablesAndStamp)
{
    const struct {
        uint32_t code;
        int32_t id;
    } units[] = {{0, 0}, {157, 0}, {1000, 0}, {1, 0}, {145, 4}, {2, 4}, {81, 106}, {144, 112}, {147, 36}, {156, 0}};
    for (const auto& u : units) EXPECT_EQ(CMDAcxParser::mapAcxTypeCode(u.code), u.id) << u.code;
    const int32_t display[] = {0, 12, 10, 11, 15, 14, -1};
    for (uint32_t t = 0; t < 7; ++t) EXPECT_EQ(CMDAcxParser::mapDisplayType(t), display[t]) << t;
    EXPECT_EQ(CMDAcxParser::changeStampOf(0x12345678, 0x01D9ABCD), 0x1652);
}

}  // namespace
