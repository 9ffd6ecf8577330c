// The variables-section compiler: the system-variable table taken from
// "symb" (none, empty, broken, good); tables of the statements with their
// messages, string ids and model entries; the hand-worked golden compile
// with its trace lines; the failures of the compile; seeded random sections
// whose sections reload and save to the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/fs/FsDsc.h"
#include "base/fs/FsSecClMem.h"
#include "bo/bo/BoPhysUnit.h"
#include "co/TraceApi.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdStatusCodes.h"
#include "tools/md/tavolin/MdStepCause.h"
#include "tools/md/tavolin/MdVarExtParser.h"
#include "tools/mksymb/SysVarTable.h"

using namespace fronttest;

namespace {

// The grammar alone, without the checks and writes of the compile.
class Parser : public MdVarExtParser {
public:
    Parser() : CBOFrameTypeVarCont(&m_pConstTable) {}
    int32_t parse() override { return yyparse(); }
};

struct Compiled {
    int result;
    int32_t errors;
    int32_t next;
    std::vector<uint32_t> ids;
    std::vector<std::string> texts;
    std::string cfgTexts, bitTexts;
    int32_t unitLimit;
    size_t usedUnits;
    std::string varval = {};  // saveValues
    std::vector<uint32_t> lines = {};
};

std::string join(const MdVarExtParser::TextMap& m)
{
    std::string s;
    for (const auto& e : m) s += std::to_string(e.first) + "=" + e.second.c_str() + " ";
    return s;
}

// The symbols of the hand-worked example: $10, $15, $16 INT; $11 USINT;
// $12 ARRAY [0..7] OF DINT; $13 WORD; $14 LREAL; $17 BYTE (and $18 DINT).
std::string exampleSymb()
{
    return symbTableOf("10 a INT\n11 b USINT\n12 c ARRAY [0..7] OF DINT\n13 d WORD\n14 e LREAL\n"
                  "15 f INT\n16 g INT\n17 h BYTE\n18 i DINT\n");
}

// Compiles text from string id 100, with "symb" holding symb when given.
Compiled compile(const std::string& text, const std::string* symb = nullptr)
{
    MessageCapture messages;
    std::istringstream in(text);
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), FS_OK);
    if (symb) {
        EXPECT_TRUE(putSection(dsc, "symb", *symb));
    }
    Parser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.firstStringId = 100;
    p.init(args);
    Compiled c{p.parse(), p.getErrorCount(), p.nextStringId(), messages.ids(), {}, join(p.cfgTexts()),
               join(p.bitTexts()), p.getUnitLimit(), 0};
    for (const auto& e : static_cast<const CUsedUnitTable&>(p)) c.usedUnits += e.second.size();
    for (const auto& m : messages.records) {
        c.texts.push_back(m.text);
        c.lines.push_back(m.position);
    }
    FsSecClMem sec;
    sec.setBinary(false);
    p.saveValues(sec);
    c.varval.resize(sec.getSize());
    sec.seek(0, 0);
    if (!c.varval.empty()) sec.readBytes(&c.varval[0], uint32_t(c.varval.size()));
    return c;
}

TEST(VarExtParser, SymbolTableFromSymb)
{
    std::stringstream good;
    {
        SysVarTable t;
        std::string error;
        ASSERT_TRUE(t.add(10, "a", "INT", error)) << error;
        ASSERT_TRUE(t.save(good));
    }
    const struct {
        const char* what;
        bool present;
        std::string bytes;
        bool table;
        int32_t errors;
        int32_t cause;  // noted for the host: only a broken table fails the compile by itself
    } cases[] = {
        {"missing", false, "", false, 0, MdCauseNone},
        {"empty", true, "", false, 0, MdCauseNone},
        {"broken", true, "not a table", false, 1, MdCauseBadSysTable},
        {"good", true, good.str(), true, 0, MdCauseNone},
    };
    for (const auto& c : cases) {
        FsTODscFile dsc;
        ASSERT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), FS_OK);
        if (c.present) {
            ASSERT_TRUE(putSection(dsc, "symb", c.bytes));
        }
        Parser p;
        MdCompilerArgs args;
        args.descriptor = &dsc;
        args.firstId = 2;
        args.secondId = 1;
        mdTakeStepCause();
        p.init(args);
        EXPECT_EQ(mdTakeStepCause(), c.cause) << c.what;
        EXPECT_EQ(p.getSymbTable() != nullptr, c.table) << c.what;
        EXPECT_EQ(p.getErrorCount(), c.errors) << c.what;
        if (c.table) {
            EXPECT_EQ(p.getTypeIdByAdr(10), StTypeID(ST_INT));
        }
    }
}

TEST(VarExtParser, ConfigurationResolveAndBitTypeStatements)
{
    // A unit record of the quantity of record 1, and a unit of another one.
    int32_t unitOf1 = -1, otherUnit = -1;
    for (int32_t i = 2; i < PhysUnitTable::kCount; ++i) {
        if (PhysUnitTable::isQuantityRecord(i)) continue;
        if (unitOf1 < 0 && PhysUnitTable::sameQuantity(i, 1)) unitOf1 = i;
        if (otherUnit < 0 && !PhysUnitTable::sameQuantity(i, 1)) otherUnit = i;
    }
    ASSERT_TRUE(PhysUnitTable::isQuantityRecord(1));
    const std::string u = std::to_string(unitOf1), o = std::to_string(otherUnit);
    const struct {
        std::string text;
        std::vector<uint32_t> ids;
        std::string firstText;  // of the first message, "" for none
        int32_t next;
    } cases[] = {
        {"CONFIGS 1 \"a\" DEFAULT(1) GROUP(16#10) : \"g\" 1 \"e\" END_GROUP END_CONFIGS", {}, "", 103},
        {"CONFIGS 1 \"a\" 1 \"b\" END_CONFIGS", {410}, "Eintrag(1, b) ist schon vorhanden", 102},
        {"RESOLVE MAXID := 5; MAXID := 6; END_RESOLVE", {406}, "", 100},
        {"RESOLVE MAXID := 2147483647; END_RESOLVE", {408}, "Wert 2147483647 ist zu gro\xC3\x9F", 100},
        // 405 with the unit and the quantity, then the container refuses it.
        {"RESOLVE LOCAL(0) := GLOBAL(1), DEFAULT(" + o + "); END_RESOLVE", {405, 410},
         "Einheit " + o + " pa\xC3\x9Ft nicht zu physikalischer Gr\xC3\xB6\xC3\x9F" "e 1", 100},
        {"RESOLVE LOCAL(0) := GLOBAL(429); END_RESOLVE", {403}, "", 100},
        {"RESOLVE LOCAL(0) := GLOBAL(" + u + "), DEFAULT(" + u + "); END_RESOLVE", {403}, "", 100},
        {"RESOLVE LOCAL(0) := GLOBAL(1), DEFAULT(429); END_RESOLVE", {404}, "", 100},
        {"RESOLVE LOCAL(0) := GLOBAL(1), DEFAULT(" + u + "), POSSIBLE(" + u + ", 429, -1); END_RESOLVE",
         {404, 404}, "", 100},
        {"RESOLVE LOCAL(0) := GLOBAL(1); LOCAL(0) := GLOBAL(1); END_RESOLVE", {410}, "", 100},
        {"BITFIELDTYPES 1 \"off\" \"on\" 1 \"x\" \"y\" END_BITFIELDTYPES BITFIELDS END_BITFIELDS", {415}, "", 104},
    };
    for (const auto& c : cases) {
        const Compiled r = compile(c.text);
        EXPECT_EQ(r.result, 0) << c.text;
        EXPECT_EQ(r.ids, c.ids) << c.text;
        EXPECT_EQ(r.errors, int32_t(c.ids.size())) << c.text;
        EXPECT_EQ(r.next, c.next) << c.text;
        if (!c.firstText.empty() && !r.texts.empty()) {
            EXPECT_NE(r.texts[0].find(c.firstText), std::string::npos) << r.texts[0];
        }
    }
    // The texts by id: a refused configuration's id is used up; bit types
    // take two ids, first text first.
    EXPECT_EQ(compile("CONFIGS 1 \"a\" 1 \"b\" END_CONFIGS").cfgTexts, "100=a 101=b ");
    EXPECT_EQ(compile("BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES BITFIELDS END_BITFIELDS").bitTexts,
              "100=off 101=on ");

    // A resolve block fills the permitted units of the type's quantities
    // below the unit limit, and adds none before any MAXID.
    const std::string res = "LOCAL(0) := GLOBAL(1), DEFAULT(" + u + ");";
    const Compiled before = compile("RESOLVE " + res + " END_RESOLVE");
    EXPECT_EQ(before.usedUnits, 0u);
    const Compiled after = compile("RESOLVE MAXID := 428; " + res + " END_RESOLVE");
    EXPECT_EQ(after.unitLimit, 429);
    size_t units = 0;
    for (int32_t i = 0; i < PhysUnitTable::kCount; ++i)
        units += !PhysUnitTable::isQuantityRecord(i) && PhysUnitTable::sameQuantity(i, 1);
    EXPECT_EQ(after.usedUnits, units);
}

TEST(VarExtParser, AttributeBitFieldAndDynamicArrayStatements)
{
    const std::string symb = exampleSymb();
    const struct {
        std::string text;
        int result;
        std::vector<uint32_t> ids;
        std::string firstText;  // in the first message, "" for any
    } cases[] = {
        {"ATTRIBUTES $10 [16#3] : 16#101 2 3 4 5 $13-$14 [1] : UNDEF END_ATTRIBUTES", 0, {}, ""},
        {"ATTRIBUTES $10 [1] : 1 2 3 65536 256 END_ATTRIBUTES", 0, {408, 408}, "Wert 65536 ist"},
        {"ATTRIBUTES $10 [1] : 1 2 3 -1 0 END_ATTRIBUTES", 0, {408}, "Wert -1 ist"},
        {"ATTRIBUTES $9 [1] : UNDEF END_ATTRIBUTES", 0, {411}, "Adresse 9"},
        {"ATTRIBUTES $10 [1] : UNDEF $10 [1] : 1 2 3 4 5 END_ATTRIBUTES", 0, {410}, "Eintrag(10, 1)"},
        {"ATTRIBUTES $10-$10 [1] : 1 2 3 4 5 $11 [1] : UNDEF END_ATTRIBUTES", 3, {408}, "Wert 10 ist"},
        {"ATTRIBUTES $0-$65536 [1] : UNDEF END_ATTRIBUTES", 3, {408}, "Wert 0 ist"},
        {"BITFIELDTYPES 1 \"x\" \"y\" END_BITFIELDTYPES BITFIELDS $13 [1] 15 1 \"a\" $13 [1] 16 1 \"b\" END_BITFIELDS", 0,
         {416}, "Bit 16"},
        {"BITFIELDTYPES 1 \"x\" \"y\" END_BITFIELDTYPES BITFIELDS $13 [1] 0 1 \"a\" $13 [1] 0 1 \"b\" END_BITFIELDS", 0,
         {415}, "Eintrag(0)"},
        {"BITFIELDTYPES 1 \"x\" \"y\" END_BITFIELDTYPES BITFIELDS $9 [1] 0 1 \"a\" END_BITFIELDS", 0, {411, 416}, ""},
        // Blocks asking addresses again, behind, between and beyond those
        // asked before: each answer is the table's own.
        {"ATTRIBUTES $9 [1] : UNDEF $10 [1] : UNDEF $12 [1] : UNDEF $17 [1] : UNDEF END_ATTRIBUTES "
         "BITFIELDTYPES 1 \"x\" \"y\" END_BITFIELDTYPES BITFIELDS $17 [1] 7 1 \"a\" $13 [1] 15 1 \"b\" "
         "$9 [1] 0 1 \"c\" $13 [1] 16 1 \"d\" $17 [2] 8 1 \"e\" $10 [1] 15 1 \"f\" $200 [1] 0 1 \"g\" END_BITFIELDS",
         0, {411, 411, 416, 416, 416, 411, 416}, "Adresse 9"},
        {"DYN_ARRAY $11 [1] : $12; END_DYN_ARRAY", 0, {}, ""},
        {"DYN_ARRAY $11 [1] : $10, $12; END_DYN_ARRAY", 0, {411}, "Adresse 10"},
        {"DYN_ARRAY $10 [1] : $12; END_DYN_ARRAY", 0, {411}, "Adresse 10"},
        {"DYN_ARRAY $18 [1] : $12; END_DYN_ARRAY", 0, {411}, "Adresse 18"},  // a DINT size
        {"DYN_ARRAY $11 [1] : $12; $11 [3] : $12; END_DYN_ARRAY", 0, {411}, "Adresse 11"},
        // No operand, so no USINT or UINT either; the sizes are still added
        // (the repeat is refused).
        {"DYN_ARRAY $9 [1] : $12; $9 [1] : $12; END_DYN_ARRAY", 0, {411, 411, 411, 411, 411}, "Adresse 9"},
    };
    for (const auto& c : cases) {
        const Compiled r = compile(c.text, &symb);
        EXPECT_EQ(r.result, c.result) << c.text;
        EXPECT_EQ(r.ids, c.ids) << c.text;
        EXPECT_EQ(r.errors, int32_t(c.ids.size())) << c.text;
        if (!c.firstText.empty() && !r.texts.empty()) {
            EXPECT_NE(r.texts[0].find(c.firstText), std::string::npos) << r.texts[0];
        }
    }
    // Bit fields take one id each; a refused one too.
    EXPECT_EQ(compile("BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES BITFIELDS $13 [1] 0 1 \"a\" "
                      "$13 [1] 0 1 \"b\" END_BITFIELDS",
                      &symb)
                  .bitTexts,
              "100=off 101=on 102=a 103=b ");

    // Without a table the statements that look variables up stop with 5.
    for (const char* text : {"ATTRIBUTES $10 [1] : UNDEF END_ATTRIBUTES",
                             "BITFIELDTYPES END_BITFIELDTYPES BITFIELDS $13 [1] 0 1 \"a\" END_BITFIELDS",
                             "DYN_ARRAY $11 [1] : $12, $13; END_DYN_ARRAY"}) {
        const Compiled r = compile(text);
        EXPECT_EQ(r.result, 5) << text;
        EXPECT_EQ(r.ids, std::vector<uint32_t>{0}) << text;
        EXPECT_EQ(r.errors, 1) << text;
    }
}

TEST(VarExtParser, ValueStatements)
{
    const std::string symb = exampleSymb();
    // The value records of the hand-worked example: shared constants, a
    // range cloning its constants unshared, a default from the minimum.
    const Compiled golden = compile(
        "VALUES $10 [16#3] : Min(-5) Def(0) Max(100) Unit(91) $10 [16#4] : UNDEF\n"
        "  $11 [16#FFFFFFFF] : Min(1) Def(4) Max(8) Unit(0) $14 [16#1] : Def(1.5) Min(0.5) Max(2.5) Fixed(93)\n"
        "  $15-$16 [16#1] : Min(0) Def(7) Max(9) Unit(0) $17 [16#1] : Min(3) Max(200) Unit(0) END_VALUES",
        &symb);
    EXPECT_EQ(golden.result, 0);
    EXPECT_EQ(golden.ids, std::vector<uint32_t>{});
    EXPECT_EQ(golden.varval,
              "7 10 3 1 1 91 -1 0 2 10 4 0 11 4294967295 1 4 0 -1 3 5 14 1 1 6 91 93 7 8 15 1 1 9 0 -1 1 10 16 1 1 "
              "12 0 -1 11 13 17 1 1 14 0 -1 14 15");

    const struct {
        std::string text;
        int result;
        std::vector<uint32_t> ids;
        std::string firstText;
    } cases[] = {
        {"VALUES $10 [1] : Unit(0) Unit(0) END_VALUES", 0, {407}, "Wert kommt 2 mal vor"},
        {"VALUES $10 [1] : Unit(429) END_VALUES", 0, {403, 406}, "429"},
        {"VALUES $10 [1] : Unit(92) END_VALUES", 0, {403}, "92"},
        {"VALUES $10 [1] : Fixed(91) END_VALUES", 0, {404}, "91"},
        {"VALUES $10 [1] : Fixed(429) END_VALUES", 0, {404, 406}, "429"},
        {"VALUES $10 [1] : Def(1) END_VALUES", 0, {406}, ""},
        {"VALUES $9 [1] : Def(1) Unit(0) END_VALUES", 0, {411, 411, 411}, "Adresse 9"},
        {"VALUES $12 [1] : Def(1) Unit(0) END_VALUES", 0, {411, 411}, "Adresse c"},
        {"VALUES $10-$11 [1] : Def(1) Unit(0) END_VALUES", 0, {414}, "Adressen(a - b)"},
        {"VALUES $11-$10 [1] : Def(1) Unit(0) END_VALUES", 3, {408}, "Wert 11"},
        {"VALUES $10 [1] : UNDEF Def(1) END_VALUES", 3, {400}, "Syntax Fehler"},
        {"VALUES $10 [1] : UNDEF $10 [1] : Def(1) Unit(0) END_VALUES", 0, {410}, "Eintrag(10, 1)"},
    };
    for (const auto& c : cases) {
        const Compiled r = compile(c.text, &symb);
        EXPECT_EQ(r.result, c.result) << c.text;
        EXPECT_EQ(r.ids, c.ids) << c.text;
        if (!c.firstText.empty() && !r.texts.empty()) {
            EXPECT_NE(r.texts[0].find(c.firstText), std::string::npos) << r.texts[0];
        }
    }
    // Messages of a value statement name the line of its last token, not
    // the line the look-ahead is on.
    const Compiled late = compile("VALUES\n$10 [1] :\nDef(1)\n\n\nEND_VALUES", &symb);
    ASSERT_EQ(late.ids, std::vector<uint32_t>{406});
    EXPECT_EQ(late.lines, std::vector<uint32_t>{3});
    // Without a table a value statement stops with 5.
    const Compiled none = compile("VALUES $10 [1] : Def(1) Unit(0) END_VALUES");
    EXPECT_EQ(none.result, 5);
    EXPECT_EQ(none.ids, std::vector<uint32_t>{0});
}

// The first unit-table record of a quantity, below the unit limit only.
TEST(VarExtParser, PhysGrIdx)
{
    const struct {
        const char* text;
        int32_t quantity;
        int32_t index;
    } cases[] = {
        {"RESOLVE MAXID := 428; END_RESOLVE", 0, 1},      // record 0 has no quantity
        {"RESOLVE MAXID := 428; END_RESOLVE", 11, 61},
        {"RESOLVE MAXID := 428; END_RESOLVE", -1, 0},
        {"RESOLVE MAXID := 61; END_RESOLVE", 11, 61},     // limit 62
        {"RESOLVE MAXID := 60; END_RESOLVE", 11, -1},     // limit 61
        {"RESOLVE LOCAL(0) := GLOBAL(1); END_RESOLVE", 0, -1},  // no limit yet
        {"RESOLVE MAXID := 428; END_RESOLVE", 1000, -1},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        Parser p;
        MdCompilerArgs args;
        args.stream = &in;
        p.init(args);
        ASSERT_EQ(p.parse(), 0) << c.text;
        CTraceCapture trace;
        EXPECT_EQ(p.getPhysGrIdx(c.quantity), c.index) << c.text << " " << c.quantity;
        const auto lines = trace.lines();
        if (c.index >= 0) {
            EXPECT_TRUE(lines.empty()) << c.text;
        } else {
            ASSERT_EQ(lines.size(), 1u) << c.text;
            EXPECT_EQ(lines[0].level, 4u);
            EXPECT_EQ(lines[0].message, std::to_string(c.quantity) + " is not an PhysGrIdx");
        }
    }
}

const char* const kSections[] = {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const"};

struct Written {
    int32_t result;
    int32_t next;
    std::map<std::string, std::string> sections;
    std::string script;  // after the old text
    std::vector<CTraceCapture::Line> trace = {};
    std::vector<uint32_t> ids = {}, lines = {};
    std::vector<std::string> texts = {};
};

// The whole compile into a descriptor in memory holding the seven sections
// (with old content) and "symb", and a script holding "old\r\n".
struct Options {
    const char* missingSection = nullptr;  // a section the descriptor lacks
    bool badScript = false;                // a script that cannot be opened
    uint16_t major = 2, minor = 1;         // version pair
    int32_t firstStringId = 100;
};

Written compileAll(const std::string& text, const std::string& symb, const Options& o = Options())
{
    MessageCapture messages;
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), FS_OK);
    for (const char* name : kSections)
        if (!o.missingSection || std::string(name) != o.missingSection) {
            EXPECT_TRUE(putSection(dsc, name, std::string(300, 'x')));
        }
    EXPECT_TRUE(putSection(dsc, "symb", symb));
    TempFile rc("old\r\n");
    std::istringstream in(text);
    Written w;
    {
        CTraceCapture trace;
        MdVarExtParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = o.badScript ? String("/nonexistent/dir/x.rc") : String(rc.c_str());
        args.firstStringId = o.firstStringId;
        args.firstId = o.major;
        args.secondId = o.minor;
        p.init(args);
        w.result = p.parse();
        w.next = p.nextStringId();
        w.trace = trace.lines();
    }
    for (const char* name : kSections) w.sections[name] = sectionText(dsc, name);
    w.script = readFile(rc.path()).substr(5);
    for (const auto& m : messages.records) {
        w.ids.push_back(m.id);
        w.lines.push_back(m.position);
        w.texts.push_back(m.text);
    }
    return w;
}

// A text takes at most the id 0xFFFD: a resource script takes 16-bit ids,
// 0xFFFE is the entry method's text and 0xFFFF no id. From a counter at 0
// that is 65 534 texts; a text past them fails the section (408 with the
// first id that does not fit, at its line), which then writes nothing.
TEST(VarExtParser, TextIdsEndBelowTheEntryMethodsText)
{
    const std::string symb = exampleSymb();
    // n bit types on lines 2 .. n + 1, each taking two ids.
    const auto bitTypes = [](int n) {
        std::string s = "BITFIELDTYPES\n";
        for (int i = 0; i < n; ++i) s += std::to_string(i) + " \"off\" \"on " + std::to_string(i) + "\"\n";
        return s + "END_BITFIELDTYPES BITFIELDS END_BITFIELDS\n";
    };
    Options o;
    o.firstStringId = 0;
    Written w = compileAll(bitTypes(32767), symb, o);
    EXPECT_EQ(w.result, 0);
    EXPECT_TRUE(w.ids.empty());
    EXPECT_EQ(w.next, 0xFFFE);
    EXPECT_NE(w.script.find("   0xFFFD   \"on 32766\"\r\n"), std::string::npos);
    w = compileAll(bitTypes(32768), symb, o);
    EXPECT_EQ(w.result, 3);
    ASSERT_EQ(w.ids, std::vector<uint32_t>{408});
    EXPECT_EQ(w.texts[0], "Wert 0xFFFE ist zu gro\xC3\x9F");
    EXPECT_EQ(w.lines[0], 32769u);
    EXPECT_EQ(w.next, 0x10000);
    EXPECT_EQ(w.script, "");
    for (const char* name : kSections) EXPECT_EQ(w.sections.at(name), std::string(300, 'x')) << name;

    // From a counter near the end: the last id is taken, the one after it
    // is refused whatever kind of text asks for it.
    o.firstStringId = 0xFFFD;
    w = compileAll("CONFIGS 1 \"a\" END_CONFIGS", symb, o);
    EXPECT_EQ(w.result, 0);
    EXPECT_NE(w.script.find("   0xFFFD   \"a\"\r\n"), std::string::npos);
    w = compileAll("CONFIGS\n1 \"a\"\nGROUP(16#10) : \"g\" 2 \"b\" END_GROUP\nEND_CONFIGS", symb, o);
    EXPECT_EQ(w.result, 3);
    ASSERT_EQ(w.ids, std::vector<uint32_t>{408});
    EXPECT_EQ(w.texts[0], "Wert 0xFFFE ist zu gro\xC3\x9F");
    EXPECT_EQ(w.lines[0], 3u);
    EXPECT_EQ(w.script, "");
    // A bit type whose first text takes the last id: its second does not fit.
    w = compileAll("BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES BITFIELDS END_BITFIELDS", symb, o);
    ASSERT_EQ(w.ids, std::vector<uint32_t>{408});
    EXPECT_EQ(w.texts[0], "Wert 0xFFFE ist zu gro\xC3\x9F");

    // Past the last id every statement is still checked as before it: a
    // repeated configuration, group entry or bit type is refused (410, 415),
    // a bit field of a bit type given past it is taken, one of an unknown
    // type refused; the texts still use up their ids.
    o.firstStringId = 0xFFFE;
    w = compileAll("CONFIGS\n1 \"a\"\n2 \"b\"\n1 \"c\"\nGROUP(16#10) : \"g\"\n3 \"d\"\n3 \"e\"\nEND_GROUP\n"
                   "END_CONFIGS\nBITFIELDTYPES\n1 \"off\" \"on\"\n1 \"f\" \"g\"\nEND_BITFIELDTYPES\nBITFIELDS\n"
                   "$13 [1] 0 1 \"x\"\n$13 [1] 1 5 \"y\"\n$13 [1] 0 1 \"z\"\nEND_BITFIELDS",
                   symb, o);
    EXPECT_EQ(w.result, 3);
    EXPECT_EQ(w.ids, (std::vector<uint32_t>{408, 410, 410, 415, 415, 415}));
    EXPECT_EQ(w.lines, (std::vector<uint32_t>{2, 4, 7, 12, 16, 17}));
    ASSERT_EQ(w.texts.size(), 6u);
    EXPECT_EQ(w.texts[0], "Wert 0xFFFE ist zu gro\xC3\x9F");
    EXPECT_EQ(w.texts[1], "Eintrag(1, c) ist schon vorhanden");
    EXPECT_EQ(w.texts[2], "Eintrag(3, e) ist schon vorhanden");
    EXPECT_EQ(w.texts[3], "Eintrag(1) ist schon vorhanden");
    EXPECT_EQ(w.texts[4], "Eintrag(1) ist schon vorhanden");
    EXPECT_EQ(w.texts[5], "Eintrag(0) ist schon vorhanden");
    EXPECT_EQ(w.next, 0xFFFE + 13);
    EXPECT_EQ(w.script, "");
}

TEST(VarExtParser, GoldenCompile)
{
    const Written w = compileAll(
        "CONFIGS 1 \"Standard\" 2 \"Hydraulik\" DEFAULT(1) GROUP(16#10) : \"Antrieb\" 1 \"elektrisch\" END_GROUP "
        "END_CONFIGS\n"
        "RESOLVE MAXID := 428; LOCAL(0) := GLOBAL(91), DEFAULT(93); LOCAL(1) := GLOBAL(14); END_RESOLVE\n"
        "ATTRIBUTES $10 [16#3] : 16#101 2 3 4 5 $13 [16#1] : UNDEF END_ATTRIBUTES\n"
        "VALUES $10 [16#3] : Min(-5) Def(0) Max(100) Unit(91) $10 [16#4] : UNDEF\n"
        "  $11 [16#FFFFFFFF] : Min(1) Def(4) Max(8) Unit(0) $14 [16#1] : Def(1.5) Min(0.5) Max(2.5) Fixed(93)\n"
        "  $15-$16 [16#1] : Min(0) Def(7) Max(9) Unit(0) $17 [16#1] : Min(3) Max(200) Unit(0) END_VALUES\n"
        "BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES BITFIELDS $13 [16#1] 0 1 \"ready\" $13 [16#1] 3 1 \"busy\" "
        "END_BITFIELDS\n"
        "DYN_ARRAY $11 [16#FFFFFFFF] : $12; END_DYN_ARRAY\n",
        exampleSymb());
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.next, 108);
    auto sec = [&](const char* n) { return w.sections.at(n); };
    EXPECT_EQ(sec("units"), "429\r\n2\r\n0 91 1 14 2\r\n14 6 15 16 17 18 19 20 \r\n91 3 92 93 94 \r\n\r\n1\r\n91 93 ");
    EXPECT_EQ(sec("varval"),
              "7 10 3 1 1 91 -1 0 2 10 4 0 11 4294967295 1 4 0 -1 3 5 14 1 1 6 91 93 7 8 15 1 1 9 0 -1 1 10 16 1 1 "
              "12 0 -1 11 13 17 1 1 14 0 -1 14 15");
    EXPECT_EQ(sec("varext"), "2 10 3 1 257 2 3 4 5 13 1 0");
    EXPECT_EQ(sec("varcont"), "1 11 4294967295 12 ");
    EXPECT_EQ(sec("cfghead"), "1 2 1 100 2 101  1 16 102 1 1 103  ");
    EXPECT_EQ(sec("bitfield"), "1 1 105 104 \r\n2 13 1 0 1 106 13 1 3 1 107 ");
    // 16 constants, one line each (CID, shared flag, type, sign and
    // magnitude), the next free CID at the end; no old tail: shared INT -5,
    // 0, 100, USINT 1, 4, 8, LREAL 1.5, 0.5, 2.5, INT 7, 9, the range's
    // unshared INT 0, 7, 9, shared BYTE 3, 200.
    EXPECT_EQ(sec("const"),
              "16 0 0 1 7 -1 5 2147483647 \r\n1 0 1 7 1 0 2147483647 \r\n2 0 1 7 1 100 2147483647 \r\n"
              "3 0 1 10 1 1 2147483647 \r\n4 0 1 10 1 4 2147483647 \r\n5 0 1 10 1 8 2147483647 \r\n"
              "6 0 1 15 1 1.5 2147483647 \r\n7 0 1 15 1 0.5 2147483647 \r\n8 0 1 15 1 2.5 2147483647 \r\n"
              "9 0 1 7 1 7 2147483647 \r\n10 0 1 7 1 9 2147483647 \r\n11 0 0 7 1 0 2147483647 \r\n"
              "12 0 0 7 1 7 2147483647 \r\n13 0 0 7 1 9 2147483647 \r\n14 0 1 2 1 3 2147483647 \r\n"
              "15 0 1 2 1 200 2147483647 \r\n16 ");
    // The level-1 trace lines of the compile: the value table's walk and
    // the dynamic-array check.
    std::vector<std::string> level1;
    for (const auto& line : w.trace)
        if (line.level == 1) level1.push_back(line.message);
    EXPECT_EQ(level1, (std::vector<std::string>{"DynArrays: 1, Max: 8, Def 4", "Values: 6, Modifys: 1, NullModifys: 1"}));
    EXPECT_EQ(w.script,
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0068   \"off\"\r\n   0x0069   \"on\"\r\n   0x006A   \"ready\"\r\n"
              "   0x006B   \"busy\"\r\nEND\r\n\r\n"
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0064   \"Standard\"\r\n   0x0065   \"Hydraulik\"\r\n"
              "   0x0066   \"Antrieb\"\r\n   0x0067   \"elektrisch\"\r\nEND\r\n\r\n");
}

TEST(VarExtParser, CompileFailures)
{
    const std::string symb = exampleSymb();
    // Counted errors write nothing and leave the script alone.
    Written w = compileAll("CONFIGS 1 \"a\" 1 \"b\" END_CONFIGS", symb);
    EXPECT_EQ(w.result, 3);
    EXPECT_EQ(w.sections.at("cfghead"), std::string(300, 'x'));
    EXPECT_EQ(w.script, "");
    // A dynamic array whose size variable has no value record fails the
    // check after the parse.
    w = compileAll("DYN_ARRAY $11 [1] : $12; END_DYN_ARRAY", symb);
    EXPECT_EQ(w.result, 3);
    // A section of only a comment: a syntax error, nothing written.
    w = compileAll("(* only a comment *)", symb);
    EXPECT_EQ(w.result, 1);
    for (const char* name : kSections) EXPECT_EQ(w.sections.at(name), std::string(300, 'x')) << name;
    EXPECT_EQ(w.script, "");
    // Without "bitfield" the five sections before it are written, then 4.
    Options o;
    o.missingSection = "bitfield";
    w = compileAll("CONFIGS 1 \"a\" END_CONFIGS", symb, o);
    EXPECT_EQ(w.result, 4);
    EXPECT_EQ(w.sections.at("cfghead"), "4294967295 1 1 100  0 ");  // no default configuration
    EXPECT_EQ(w.sections.at("const"), std::string(300, 'x'));
    // A script that cannot be opened: 4, the sections written.
    o = Options();
    o.badScript = true;
    EXPECT_EQ(compileAll("CONFIGS 1 \"a\" END_CONFIGS", symb, o).result, 4);
}

// The check of the dynamic arrays after the parse reports at the line
// where the statement whose size variable fails begins, in the order of the
// source, not at the end of the section: a size variable without a value once, however many arrays it
// sizes, named as the source writes it; the other checks once per array.
TEST(VarExtParser, DynamicArrayCheckReportsAtItsStatement)
{
    // $11 USINT and $50 UINT size variables; $12 ARRAY [0..7], $30 ARRAY [1..4].
    const std::string symb = symbTableOf("11 n USINT\n12 c ARRAY [0..7] OF DINT\n30 d ARRAY [1..4] OF INT\n50 m UINT\n");
    const std::string tail = "\n\n(* a comment *)\nEND_DYN_ARRAY\nBITFIELDTYPES\n  1 \"aus\" \"ein\"\n"
                             "END_BITFIELDTYPES\nBITFIELDS\n  $50[1] 0 1 \"x\"\nEND_BITFIELDS\n";
    const struct {
        const char* values;  // the VALUES statements, on line 2
        const char* arrays;  // the DYN_ARRAY statements, from line 5
        std::vector<std::string> messages;  // "line: text"
    } cases[] = {
        {"$50[1] : Unit(0)", "$11[1] : $12,\n  $30;", {"5: Größenvariable $11[16#1] ohne Wert in VALUES"}},
        {"$11[1] : UNDEF", "$11[16#1] : $12, $30;", {"5: Größenvariable $11[16#1] ohne Wert in VALUES"}},
        {"$11[2] : Def(2) Unit(0) $50[1] : Def(2) Min(1) Max(4) Unit(0)", "$50[1] : $30;\n$11[1] : $12;",
         {"6: Größenvariable $11[16#1] ohne Wert in VALUES"}},
        // in the order of the source, not of the size variables' keys
        {"$50[1] : Unit(0)", "$11[16#FFFFFFFE] : $12;\n\n$11[1] :\n  $30;",
         {"5: Größenvariable $11[16#FFFFFFFE] ohne Wert in VALUES", "7: Größenvariable $11[16#1] ohne Wert in VALUES"}},
        {"$11[1] : Def(2) Min(1) Max(9) Unit(0)", "$11[1] : $12;", {"5: Wert muß zwischen 1 und 8 liegen"}},
        {"$11[3] : Def(2) Min(1) Max(8) Unit(0)", "$11[1] :\n$12;", {"5: ungültige Config 1"}},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("VALUES\n") + c.values + "\nEND_VALUES\nDYN_ARRAY\n" + c.arrays + tail;
        const Written w = compileAll(text, symb);
        std::vector<std::string> got;
        for (std::size_t i = 0; i < w.texts.size(); ++i) got.push_back(std::to_string(w.lines[i]) + ": " + w.texts[i]);
        EXPECT_EQ(got, c.messages) << text;
        EXPECT_EQ(w.result, 3) << text;
        EXPECT_EQ(w.sections.at("varcont"), std::string(300, 'x')) << text;
    }
}

// ---- seeded random valid sections ----

// The variables of the random sections: INT 1-10, USINT 11-15 (11 and 12
// size variables of dynamic arrays), WORD 16-20, LREAL 21-25, ARRAY [0..7]
// OF DINT 26-28, BYTE 29-30.
std::string randomSymb()
{
    std::string list;
    auto add = [&](int from, int to, const char* type) {
        for (int a = from; a <= to; ++a) list += std::to_string(a) + " v" + std::to_string(a) + " " + type + "\n";
    };
    add(1, 10, "INT");
    add(11, 15, "USINT");
    add(16, 20, "WORD");
    add(21, 25, "LREAL");
    add(26, 28, "ARRAY [0..7] OF DINT");
    add(29, 30, "BYTE");
    return symbTableOf(list);
}

// One block of a random section and its texts in source order (true: a bit
// text).
struct RandomBlock {
    std::string text;
    std::vector<std::pair<bool, std::string>> texts;
};

class RandomSection {
public:
    explicit RandomSection(uint32_t seed) : m_rng(seed), m_eol(m_rng() % 2 ? "\r\n" : "\n") {}

    // The section text and the script lines its texts give from firstId.
    std::string make(int32_t firstId, std::string& script)
    {
        std::vector<RandomBlock> blocks;
        for (int n = pick(3); n > 0; --n) blocks.push_back(configs());
        const int resolves = pick(3);
        const int withMaxId = resolves ? pick(resolves) : -1;
        for (int i = 0; i < resolves; ++i) blocks.push_back(resolve(i == withMaxId));
        for (int n = pick(3); n > 0; --n) blocks.push_back(attributes());
        for (int n = pick(3); n > 0; --n) blocks.push_back(bits());
        RandomBlock dyn = dynArrays();
        for (int n = 1 + pick(3); n > 0; --n) blocks.push_back(values());
        if (!dyn.text.empty()) blocks.push_back(dyn);
        std::shuffle(blocks.begin(), blocks.end(), m_rng);
        std::map<int32_t, std::string> bitTexts, cfgTexts;
        int32_t id = firstId;
        std::string text;
        for (const RandomBlock& b : blocks) {
            text += b.text + m_eol;
            for (const auto& t : b.texts) (t.first ? bitTexts : cfgTexts)[id++] = t.second;
        }
        script.clear();
        for (const auto* texts : {&bitTexts, &cfgTexts}) {
            if (texts->empty()) continue;
            script += "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n";
            char line[64];
            for (const auto& t : *texts) {
                std::snprintf(line, sizeof line, "   0x%04X   \"", unsigned(t.first));
                script += line + t.second + "\"\r\n";
            }
            script += "END\r\n\r\n";
        }
        return text;
    }

private:
    int pick(int n) { return int(m_rng() % uint32_t(n)); }
    bool coin() { return m_rng() % 2 != 0; }

    // A separator: a blank, a line end or a comment (over lines at times).
    std::string sep()
    {
        switch (pick(6)) {
        case 0: return m_eol;
        case 1: return " (* note" + (coin() ? m_eol + "more" : std::string()) + " *) ";
        default: return " ";
        }
    }
    std::string word()
    {
        std::string w;
        for (int n = 1 + pick(8); n > 0; --n) w += char(coin() && !w.empty() && w.back() != ' ' ? ' ' : 'a' + pick(26));
        return w;
    }
    std::string quoted(RandomBlock& b, bool bit)
    {
        const std::string w = word();
        b.texts.emplace_back(bit, w);
        return "\"" + w + "\"";
    }
    static std::string hex(uint32_t v)
    {
        char t[16];
        std::snprintf(t, sizeof t, "16#%X", v);
        return t;
    }
    std::string hexOr(uint32_t v) { return coin() ? hex(v) : std::to_string(v); }
    // A mask not yet used at every address from first to last in keys.
    bool freeMask(std::set<std::pair<int, uint32_t>>& keys, int first, int last, uint32_t& mask)
    {
        static const uint32_t masks[] = {1, 2, 4, 0x10, 0xFFFFFFFF};
        mask = masks[pick(5)];
        for (int a = first; a <= last; ++a)
            if (keys.count({a, mask})) return false;
        for (int a = first; a <= last; ++a) keys.insert({a, mask});
        return true;
    }
    // "$a" or "$a-$b" within [from, to].
    std::string addresses(int from, int to, int& first, int& last)
    {
        first = from + pick(to - from + 1);
        last = first;
        if (first < to && coin()) last = first + 1 + pick(std::min(3, to - first));
        return "$" + std::to_string(first) + (last > first ? "-$" + std::to_string(last) : "");
    }

    RandomBlock configs()
    {
        RandomBlock b;
        std::vector<std::string> parts;
        std::string list;
        for (int n = pick(3); n > 0; --n) list += hexOr(uint32_t(++m_cfg)) + " " + quoted(b, false) + sep();
        // Texts in source order: the parts are put in order first.
        RandomBlock groups;
        std::string g;
        for (int n = pick(2); n > 0; --n) {
            g += "GROUP(" + hexOr(uint32_t(++m_group)) + ") : " + quoted(groups, false) + sep();
            for (int e = 1 + pick(2); e > 0; --e) g += std::to_string(e) + " " + quoted(groups, false) + sep();
            g += "END_GROUP" + sep();
        }
        const std::string d = coin() ? "DEFAULT(" + std::to_string(1 + pick(4)) + ")" + sep() : "";
        std::vector<int> order = {0, 1, 2};
        std::shuffle(order.begin(), order.end(), m_rng);
        std::vector<std::pair<bool, std::string>> listTexts = b.texts;
        b.texts.clear();
        b.text = "CONFIGS" + sep();
        for (int o : order) {
            if (o == 0 && !list.empty()) {
                b.text += list;
                b.texts.insert(b.texts.end(), listTexts.begin(), listTexts.end());
            } else if (o == 1) {
                b.text += d;
            } else if (o == 2) {
                b.text += g;
                b.texts.insert(b.texts.end(), groups.texts.begin(), groups.texts.end());
            }
        }
        b.text += "END_CONFIGS";
        return b;
    }

    RandomBlock resolve(bool maxId)
    {
        static const int32_t quantities[] = {1, 61, 137, 14, 55, 147};
        RandomBlock b;
        b.text = "RESOLVE" + sep() + (maxId ? "MAXID := 428;" + sep() : "");
        for (int n = pick(3); n > 0 && m_quantity < 6; --n) {
            const int32_t q = quantities[m_quantity++];
            std::vector<int32_t> units;
            for (int32_t i = 0; i < PhysUnitTable::kCount; ++i)
                if (!PhysUnitTable::isQuantityRecord(i) && PhysUnitTable::sameQuantity(i, q)) units.push_back(i);
            b.text += "LOCAL(" + std::to_string(m_local++) + ") := GLOBAL(" + std::to_string(q) + ")";
            if (coin()) {
                b.text += ", DEFAULT(" + std::to_string(units[size_t(pick(int(units.size())))]) + ")";
                if (coin()) {
                    std::shuffle(units.begin(), units.end(), m_rng);
                    b.text += ", POSSIBLE(";
                    for (int u = 0, k = 1 + pick(std::min(3, int(units.size()))); u < k; ++u)
                        b.text += (u ? ", " : "") + std::to_string(units[size_t(u)]);
                    b.text += ")";
                }
            }
            b.text += ";" + sep();
        }
        b.text += "END_RESOLVE";
        return b;
    }

    RandomBlock attributes()
    {
        RandomBlock b;
        b.text = "ATTRIBUTES" + sep();
        for (int n = 1 + pick(4); n > 0; --n) {
            int first = 0, last = 0;
            const std::string adr = addresses(1, 30, first, last);
            uint32_t mask = 0;
            if (!freeMask(m_attribs, first, last, mask)) continue;
            b.text += adr + " [" + hex(mask) + "] :" + sep();
            if (pick(4) == 0)
                b.text += "UNDEF";
            else
                b.text += hex(m_rng()) + " " + std::to_string(pick(1000)) + " " + hexOr(m_rng() % 7) + " " +
                          hexOr(uint32_t(pick(65536))) + " " + std::to_string(pick(256));
            b.text += sep();
        }
        b.text += "END_ATTRIBUTES";
        return b;
    }

    // A value item of the type group starting at `from`.
    std::string number(int from)
    {
        switch (from) {
        case 1: return std::to_string(pick(65536) - 32768);
        case 16: return hexOr(uint32_t(pick(65536)));
        case 21: return std::to_string(pick(2000) - 1000) + "." + std::to_string(pick(100)) + (coin() ? "E2" : "");
        default: return std::to_string(pick(256));  // USINT, BYTE
        }
    }
    std::string value(int from, int to)
    {
        int first = 0, last = 0;
        const std::string adr = addresses(from, to, first, last);
        uint32_t mask = 0;
        if (!freeMask(m_values, first, last, mask)) return "";
        std::string s = adr + " [" + hex(mask) + "] :" + sep();
        if (pick(5) == 0) return s + "UNDEF" + sep();
        std::vector<std::string> items;
        for (const char* kind : {"Min", "Def", "Max"})
            if (coin()) items.push_back(std::string(kind) + "(" + number(from) + ")");
        static const int32_t quantities[] = {0, 1, 61, 137};
        static const int32_t fixed[] = {3, 4, 62, 139};
        const int u = pick(3);
        if (u != 1) items.push_back("Unit(" + std::to_string(quantities[pick(4)]) + ")");
        if (u != 0) items.push_back("Fixed(" + std::to_string(fixed[pick(4)]) + ")");
        std::shuffle(items.begin(), items.end(), m_rng);
        for (const auto& i : items) s += i + sep();
        return s;
    }
    RandomBlock values()
    {
        static const int groups[][2] = {{1, 10}, {13, 15}, {16, 20}, {21, 25}, {29, 30}};
        RandomBlock b;
        b.text = "VALUES" + sep() + m_sizeValues;
        m_sizeValues.clear();
        for (int n = 1 + pick(5); n > 0; --n) {
            const auto& g = groups[pick(5)];
            b.text += value(g[0], g[1]);
        }
        b.text += "END_VALUES";
        return b;
    }

    // Arrays 26-28 sized by 11 and 12; the size variables' values go to
    // the first VALUES block.
    RandomBlock dynArrays()
    {
        RandomBlock b;
        if (coin()) return b;
        b.text = "DYN_ARRAY" + sep() + "$11 [16#FFFFFFFF] : $26, $27;" + sep();
        m_sizeValues = "$11 [16#FFFFFFFF] : Min(1) Def(2) Max(8) Unit(0)" + sep();
        if (coin()) {
            b.text += "$12 [16#FFFFFFFF] : $28;" + sep();
            m_sizeValues += "$12 [16#FFFFFFFF] : Def(4) Max(8) Min(2) Unit(0)" + sep();
        }
        b.text += "END_DYN_ARRAY";
        for (int a : {11, 12}) m_values.insert({a, 0xFFFFFFFFu});
        return b;
    }

    RandomBlock bits()
    {
        RandomBlock b;
        b.text = "BITFIELDTYPES" + sep();
        std::vector<int> types;
        for (int n = 1 + pick(2); n > 0; --n) {
            types.push_back(++m_bitType);
            const std::string first = quoted(b, true);  // in source order
            b.text += std::to_string(m_bitType) + " " + first + " " + quoted(b, true) + sep();
        }
        b.text += "END_BITFIELDTYPES" + sep() + "BITFIELDS" + sep();
        for (int n = pick(4); n > 0; --n) {
            int first = 0, last = 0;
            const std::string adr = addresses(16, 20, first, last);
            const int bit = pick(16);
            bool free = true;
            for (int a = first; a <= last; ++a) free = free && !m_bits.count({a, bit});
            if (!free) continue;
            for (int a = first; a <= last; ++a) m_bits.insert({a, bit});
            b.text += adr + " [" + hex(1u << pick(4)) + "] " + std::to_string(bit) + " " +
                      std::to_string(types[size_t(pick(int(types.size())))]) + " " + quoted(b, true) + sep();
        }
        b.text += "END_BITFIELDS";
        return b;
    }

    std::mt19937 m_rng;
    std::string m_eol;
    int m_cfg = 0, m_group = 0, m_local = 0, m_quantity = 0, m_bitType = 0;
    std::set<std::pair<int, uint32_t>> m_attribs, m_values;
    std::set<std::pair<int, int>> m_bits;
    std::string m_sizeValues;
};

// What a section gives when loaded by a new container and saved again.
template <class LoadSave>
std::string resaved(const std::string& bytes, LoadSave loadSave)
{
    FsSecClMem in, out;
    in.setBinary(false);
    out.setBinary(false);
    if (!bytes.empty()) in.writeBytes(bytes.data(), uint32_t(bytes.size()));
    in.seek(0, 0);
    if (!loadSave(in, out)) return "<not loaded>";
    std::string s(out.getSize(), '\0');
    out.seek(0, 0);
    if (!s.empty()) out.readBytes(&s[0], uint32_t(s.size()));
    return s;
}

TEST(VarExtParser, RandomSectionsCompileAndRoundTrip)
{
    const std::string symb = randomSymb();
    int withDynArrays = 0, withBitFields = 0, withGroups = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::string script;
        const std::string text = RandomSection(seed).make(100, script);
        const Written w = compileAll(text, symb);
        ASSERT_EQ(w.result, 0) << "seed " << seed << "\n" << text;
        withDynArrays += w.sections.at("varcont") != "0 ";
        withBitFields += w.sections.at("bitfield").find("\r\n0 ") == std::string::npos;
        withGroups += w.sections.at("cfghead").substr(w.sections.at("cfghead").size() - 3) != " 0 ";
        EXPECT_EQ(w.script, script) << "seed " << seed;
        using Save = uint32_t (CBOTypeVarCont::*)(FsSecCl&);
        const struct {
            const char* name;
            Save load, save;
        } parts[] = {
            {"units", &CBOTypeVarCont::loadUnits, &CBOTypeVarCont::saveUnits},
            {"varval", &CBOTypeVarCont::loadValues, &CBOTypeVarCont::saveValues},
            {"varext", &CBOTypeVarCont::loadAttribs, &CBOTypeVarCont::saveAttribs},
            {"varcont", &CBOTypeVarCont::loadDynArrays, &CBOTypeVarCont::saveDynArrays},
            {"cfghead", &CBOTypeVarCont::loadCfg, &CBOTypeVarCont::saveCfg},
            {"bitfield", &CBOTypeVarCont::loadBits, &CBOTypeVarCont::saveBits},
        };
        for (const auto& part : parts) {
            const std::string& bytes = w.sections.at(part.name);
            MdVarExtParser again;
            EXPECT_EQ(resaved(bytes,
                              [&](FsSecCl& in, FsSecCl& out) {
                                  return (again.*part.load)(in) == 0 && (again.*part.save)(out) == 0;
                              }),
                      bytes)
                << "seed " << seed << " " << part.name;
        }
        MdVarExtParser again;
        const std::string& constants = w.sections.at("const");
        EXPECT_EQ(resaved(constants,
                          [&](FsSecCl& in, FsSecCl& out) {
                              return again.getFrameConstTable()->read(in) && again.getFrameConstTable()->write(out);
                          }),
                  constants)
            << "seed " << seed;
    }
    // The draws reach every kind of statement.
    EXPECT_GT(withDynArrays, 5);
    EXPECT_GT(withBitFields, 5);
    EXPECT_GT(withGroups, 5);
}

// An enumeration variable given only a default and a unit gets its
// minimum and maximum from its enumerators; up to version 2.0 two constant
// ids stay unused before them.
TEST(VarExtParser, EnumerationBounds)
{
    const std::string symb = symbTableOf("20 m (A := -3, B := 7)\n");
    Options o;
    const Written now = compileAll("VALUES $20 [1] : Def(1) Unit(0) END_VALUES", symb, o);
    EXPECT_EQ(now.result, 0);
    EXPECT_EQ(now.sections.at("varval"), "1 20 1 1 0 0 -1 1 2");
    o.minor = 0;
    const Written old = compileAll("VALUES $20 [1] : Def(1) Unit(0) END_VALUES", symb, o);
    EXPECT_EQ(old.result, 0);
    EXPECT_EQ(old.sections.at("varval"), "1 20 1 1 0 0 -1 3 4");
}

}  // namespace
