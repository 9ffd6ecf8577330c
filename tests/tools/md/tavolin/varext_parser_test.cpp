// The variables-section compiler so far: the system-variable table taken
// from "symb" (none, empty, broken, good), and one table of the
// configuration, resolve and bit-type statements with their messages,
// string ids and model entries.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/fs/FsDsc.h"
#include "base/fs/FsSecClMem.h"
#include "bo/bo/BoPhysUnit.h"
#include "test_split_driver_support.h"
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
// $12 ARRAY [0..7] OF DINT; $13 WORD; $14 LREAL; $17 BYTE.
std::string exampleSymb()
{
    std::istringstream list("10 a INT\n11 b USINT\n12 c ARRAY [0..7] OF DINT\n13 d WORD\n14 e LREAL\n"
                            "15 f INT\n16 g INT\n17 h BYTE\n");
    SysVarTable t;
    std::string error;
    EXPECT_TRUE(t.addList(list, error)) << error;
    std::stringstream text;
    EXPECT_TRUE(t.save(text));
    return text.str();
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
    } cases[] = {
        {"missing", false, "", false, 0},
        {"empty", true, "", false, 0},
        {"broken", true, "not a table", false, 1},
        {"good", true, good.str(), true, 0},
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
        p.init(args);
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
        {"DYN_ARRAY $11 [1] : $12; END_DYN_ARRAY", 0, {}, ""},
        {"DYN_ARRAY $11 [1] : $10, $12; END_DYN_ARRAY", 0, {411}, "Adresse 10"},
        {"DYN_ARRAY $10 [1] : $12; END_DYN_ARRAY", 0, {411}, "Adresse 10"},
        {"DYN_ARRAY $11 [1] : $12; $11 [3] : $12; END_DYN_ARRAY", 0, {411}, "Adresse 11"},
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

const char* const kSections[] = {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const"};

struct Written {
    int32_t result;
    int32_t next;
    std::map<std::string, std::string> sections;
    std::string script;  // after the old text
};

// The whole compile into a descriptor in memory holding the seven sections
// (with old content) and "symb", and a script holding "old\r\n".
struct Options {
    const char* missingSection = nullptr;  // a section the descriptor lacks
    bool badScript = false;                // a script that cannot be opened
    uint16_t major = 2, minor = 1;         // version pair
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
        MdVarExtParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = o.badScript ? String("/nonexistent/dir/x.rc") : String(rc.c_str());
        args.firstStringId = 100;
        args.firstId = o.major;
        args.secondId = o.minor;
        p.init(args);
        w.result = p.parse();
        w.next = p.nextStringId();
    }
    for (const char* name : kSections) w.sections[name] = sectionText(dsc, name);
    w.script = readFile(rc.path()).substr(5);
    return w;
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
    // 16 constants, one line each, the next free CID at the end; no old tail.
    const std::string c = sec("const");
    EXPECT_EQ(c.rfind("16 ", 0), 0u);
    EXPECT_EQ(c.substr(c.size() - 3), "16 ");
    size_t lines = 0;
    for (size_t at = 0; (at = c.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 16u);
    EXPECT_EQ(c.find('x'), std::string::npos);
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
    // A syntax error.
    EXPECT_EQ(compileAll("(* only a comment *)", symb).result, 1);
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

// An enumeration variable given only a default and a unit gets its
// minimum and maximum from its enumerators; up to version 2.0 two constant
// ids stay unused before them.
TEST(VarExtParser, EnumerationBounds)
{
    std::istringstream list("20 m (A := -3, B := 7)\n");
    SysVarTable t;
    std::string error;
    ASSERT_TRUE(t.addList(list, error)) << error;
    std::stringstream symb;
    ASSERT_TRUE(t.save(symb));
    Options o;
    const Written now = compileAll("VALUES $20 [1] : Def(1) Unit(0) END_VALUES", symb.str(), o);
    EXPECT_EQ(now.result, 0);
    EXPECT_EQ(now.sections.at("varval"), "1 20 1 1 0 0 -1 1 2");
    o.minor = 0;
    const Written old = compileAll("VALUES $20 [1] : Def(1) Unit(0) END_VALUES", symb.str(), o);
    EXPECT_EQ(old.result, 0);
    EXPECT_EQ(old.sections.at("varval"), "1 20 1 1 0 0 -1 3 4");
}

}  // namespace
