// The default a variable gets from its minimum, over every elementary type
// the variables take and all three ways a minimum arrives: a VALUES line, a
// range statement (each address of the range) and an ACX import. A missing
// default takes the minimum when that lies above 0 (signed for SINT, INT,
// DINT, REAL and LREAL, unsigned for the others), else 0; the system
// address takes the null address. Real texts at and below the smallest
// normal magnitude are typed as the variable's type, so "const" holds only
// typed values. Every expectation is the constant's body in "const" (type,
// sign word, value) as an independent reader of the written section finds
// it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/fs/FsDsc.h"
#include "tests/acx/AcxTestWriter.h"
#include "tests/tools/md/tavolin/acx_import_fixture.h"
#include "tests/tools/md/tavolin/test_split_driver_support.h"
#include "tests/tools/md/tavolin/varext_compile_support.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/md/tavolin/MdVarExtParser.h"

namespace {

using namespace fronttest;
using acxtest::Bytes;

// Two variables of each type t, at 10 t and 10 t + 1, named "p" and the
// address (as the ACX import looks them up).
const uint32_t kTypes[] = {ST_BOOL, ST_BYTE,  ST_WORD, ST_DWORD, ST_SINT, ST_INT,  ST_DINT,
                           ST_USINT, ST_UINT, ST_UDINT, ST_REAL, ST_LREAL, ST_ANYOBJECT};

std::string symbText()
{
    SysVarTable t;
    std::string error;
    for (uint32_t type : kTypes)
        for (uint32_t adr : {10 * type, 10 * type + 1}) {
            const std::string name = "p" + std::to_string(adr);
            if (type != ST_ANYOBJECT) {
                EXPECT_TRUE(t.addElementary(adr, name, type, error)) << error;
                continue;
            }
            // The list form has no system-address type: the entry as
            // addElementary makes one.
            StSymbTable& s = t.table();
            StSymbEntryID sid;
            StSyBaseSymbEntry* e = s.addEntry(name.c_str(), s.getGlobalVR(), s.getGlobalNR(), ST_KIND_SYSVAR, sid);
            EXPECT_NE(e, nullptr);
            e->setStorageAddress(int32_t(adr));
            e->setTypeID(ST_ANYOBJECT);
        }
    std::ostringstream out;
    EXPECT_TRUE(t.save(out));
    return out.str();
}

// The minimum and default of one key as their bodies in "const".
struct Bounds {
    std::string min, def;
};
using Written = std::map<std::pair<uint32_t, uint32_t>, Bounds>;

// A number token; 0 for anything else (a missing section reads as
// "<missing>").
unsigned long number(const std::string& t) { return std::strtoul(t.c_str(), nullptr, 10); }

std::vector<std::string> tokens(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> all;
    for (std::string t; in >> t;) all.push_back(t);
    return all;
}

// "varval": count, then per key the address, the mask, 1 and the record
// (default, unit, fixed unit, minimum, maximum) or 0. "const": count, then
// per constant its CID, kind, shared flag, type, sign, value (three words
// for a system address, two for DT, none for the types without value) and
// place, and the counter.
Written readBack(const std::string& varval, const std::string& constants)
{
    std::map<std::string, std::string> body;
    const std::vector<std::string> c = tokens(constants);
    size_t i = 1;
    for (unsigned long n = c.empty() ? 0 : number(c[0]); n > 0 && i + 5 <= c.size(); --n) {
        const std::string cid = c[i];
        const unsigned long type = number(c[i + 3]);
        const bool none = type == 0 || type == 5 || type == 9 || type == 13 || (type >= 24 && type <= 30) || type > 32;
        const size_t words = type == ST_ANYOBJECT ? 3 : type == ST_DT ? 2 : none ? 0 : 1;
        std::string b = c[i + 3] + " " + c[i + 4];
        for (size_t w = 0; w < words && i + 5 + w < c.size(); ++w) b += " " + c[i + 5 + w];
        body[cid] = b;
        i += 5 + words + 1;
    }
    auto of = [&](const std::string& cid) { return body.count(cid) ? body[cid] : "<no CID " + cid + ">"; };
    Written w;
    const std::vector<std::string> v = tokens(varval);
    i = 1;
    for (unsigned long n = v.empty() ? 0 : number(v[0]); n > 0 && i + 3 <= v.size(); --n) {
        const auto key = std::make_pair(uint32_t(number(v[i])), uint32_t(number(v[i + 1])));
        if (v[i + 2] == "1" && i + 8 <= v.size()) {
            w[key] = Bounds{of(v[i + 6]), of(v[i + 3])};
            i += 8;
        } else {
            i += 3;
        }
    }
    return w;
}

struct Compiled {
    int result;
    std::vector<uint32_t> messages;
    std::vector<std::string> texts;  // of the messages
    Written values;
    // The key's bodies; empty when the key has no record.
    Bounds at(uint32_t adr, uint32_t mask) const
    {
        const auto it = values.find({adr, mask});
        return it == values.end() ? Bounds() : it->second;
    }
};

Compiled compileValues(const std::string& text, const std::string& symb)
{
    MessageCapture messages;
    Compiled c;
    c.result = varexttest::compileVariables(text, symb, [&c](MdVarExtParser&, FsTODscFile& dsc) {
        c.values = readBack(sectionText(dsc, "varval"), sectionText(dsc, "const"));
    });
    c.messages = messages.ids();
    for (const auto& r : messages.records) c.texts.push_back(r.text);
    return c;
}

Compiled importValues(const Bytes& tags, const std::string& symb)
{
    FsTODscFile dsc;
    EXPECT_TRUE(openMemoryFile(dsc));
    EXPECT_TRUE(acxfixture::writeSections(dsc, symb));
    acxfixture::Tree tree(tags);
    MessageCapture messages;
    Compiled c;
    c.result = int(CMDAcxParser().parseVarExt(tree.root(), &dsc));
    c.messages = messages.ids();
    c.values = readBack(sectionText(dsc, "varval"), sectionText(dsc, "const"));
    return c;
}

std::string typeName(uint32_t type) { return stTypeIdName(type) ? stTypeIdName(type) : std::to_string(type); }

TEST(VarExtDefault, FromTheMinimumOverEveryTypeAndProducer)
{
    const std::string symb = symbText();
    // A minimum item ("" for none) and the default's body.
    const std::vector<std::tuple<uint32_t, const char*, const char*>> items = {
        {ST_BOOL, "Min(TRUE)", "1 1 1"},      {ST_BOOL, "Min(16#1)", "1 1 1"},
        {ST_BOOL, "Min(FALSE)", "1 1 0"},     {ST_BOOL, "Min(0)", "1 1 0"},
        {ST_BOOL, "", "1 1 0"},
        {ST_BYTE, "Min(3)", "2 1 3"},         {ST_BYTE, "Min(16#FF)", "2 1 255"},
        {ST_BYTE, "Min(0)", "2 1 0"},         {ST_BYTE, "", "2 1 0"},
        {ST_USINT, "Min(7)", "10 1 7"},       {ST_USINT, "Min(16#80)", "10 1 128"},
        {ST_USINT, "Min(0)", "10 1 0"},       {ST_USINT, "", "10 1 0"},
        {ST_WORD, "Min(300)", "3 1 300"},     {ST_WORD, "Min(16#FFFF)", "3 1 65535"},
        {ST_WORD, "Min(0)", "3 1 0"},         {ST_WORD, "", "3 1 0"},
        {ST_UINT, "Min(40000)", "11 1 40000"}, {ST_UINT, "Min(16#8000)", "11 1 32768"},
        {ST_UINT, "Min(0)", "11 1 0"},        {ST_UINT, "", "11 1 0"},
        // Compared unsigned: a pattern with the top bit set lies above 0.
        {ST_DWORD, "Min(70000)", "4 1 70000"}, {ST_DWORD, "Min(16#80000000)", "4 1 2147483648"},
        {ST_DWORD, "Min(16#FFFFFFFF)", "4 1 4294967295"}, {ST_DWORD, "Min(0)", "4 1 0"},
        {ST_DWORD, "", "4 1 0"},
        {ST_UDINT, "Min(70000)", "12 1 70000"}, {ST_UDINT, "Min(16#FFFFFFFF)", "12 1 4294967295"},
        {ST_UDINT, "Min(4294967294)", "12 1 4294967294"}, {ST_UDINT, "Min(0)", "12 1 0"},
        {ST_UDINT, "", "12 1 0"},
        {ST_SINT, "Min(5)", "6 1 5"},         {ST_SINT, "Min(16#7F)", "6 1 127"},
        {ST_SINT, "Min(0)", "6 1 0"},         {ST_SINT, "Min(-5)", "6 1 0"},
        {ST_SINT, "", "6 1 0"},
        {ST_INT, "Min(1000)", "7 1 1000"},    {ST_INT, "Min(16#7FFF)", "7 1 32767"},
        {ST_INT, "Min(0)", "7 1 0"},          {ST_INT, "Min(-1000)", "7 1 0"},
        {ST_INT, "", "7 1 0"},
        // Compared signed: 16#FFFFFFFF is -1.
        {ST_DINT, "Min(100000)", "8 1 100000"}, {ST_DINT, "Min(16#7FFFFFFF)", "8 1 2147483647"},
        {ST_DINT, "Min(16#FFFFFFFF)", "8 1 0"}, {ST_DINT, "Min(0)", "8 1 0"},
        {ST_DINT, "Min(-100000)", "8 1 0"},   {ST_DINT, "", "8 1 0"},
        {ST_REAL, "Min(3)", "14 1 3"},        {ST_REAL, "Min(16#10)", "14 1 16"},
        {ST_REAL, "Min(2.5)", "14 1 2.5"},    {ST_REAL, "Min(2.5E3)", "14 1 2500"},
        {ST_REAL, "Min(0.0)", "14 1 0"},      {ST_REAL, "Min(0)", "14 1 0"},
        {ST_REAL, "Min(-2.5)", "14 1 0"},     {ST_REAL, "Min(-3)", "14 1 0"},
        {ST_REAL, "", "14 1 0"},
        {ST_LREAL, "Min(3)", "15 1 3"},       {ST_LREAL, "Min(16#10)", "15 1 16"},
        {ST_LREAL, "Min(2.5)", "15 1 2.5"},   {ST_LREAL, "Min(2.5E3)", "15 1 2500"},
        {ST_LREAL, "Min(0.0)", "15 1 0"},     {ST_LREAL, "Min(-2.5)", "15 1 0"},
        {ST_LREAL, "Min(-3)", "15 1 0"},      {ST_LREAL, "", "15 1 0"},
        {ST_ANYOBJECT, "Min(5)", "16 1 0 0 0"}, {ST_ANYOBJECT, "", "16 1 0 0 0"},
    };
    for (const auto& item : items) {
        const uint32_t type = std::get<0>(item), a = 10 * type;
        const std::string what = typeName(type) + " " + std::get<1>(item);
        const std::string values = " [1] : " + std::string(std::get<1>(item)) + " Unit(0) END_VALUES";
        const Compiled one = compileValues("VALUES $" + std::to_string(a) + values, symb);
        EXPECT_EQ(one.result, 0) << what;
        EXPECT_EQ(one.messages, std::vector<uint32_t>{}) << what;
        EXPECT_EQ(one.at(a, 1).def, std::get<2>(item)) << what;
        const Compiled range =
            compileValues("VALUES $" + std::to_string(a) + "-$" + std::to_string(a + 1) + values, symb);
        EXPECT_EQ(range.result, 0) << what << " (range)";
        EXPECT_EQ(range.at(a, 1).def, std::get<2>(item)) << what << " (range, first)";
        EXPECT_EQ(range.at(a + 1, 1).def, std::get<2>(item)) << what << " (range, second)";
    }

    // Through the ACX import: the minimum in a tag of the type's own width
    // and kind (none: no 138).
    using acxtest::compound;
    const std::vector<std::tuple<uint32_t, Bytes, const char*>> tags = {
        {ST_BOOL, acxtest::u8(138, 1), "1 1 1"},       {ST_BOOL, acxtest::u8(138, 0), "1 1 0"},
        {ST_BOOL, {}, "1 1 0"},
        {ST_BYTE, acxtest::u8(138, 200), "2 1 200"},   {ST_BYTE, acxtest::u8(138, 0), "2 1 0"},
        {ST_BYTE, {}, "2 1 0"},
        {ST_USINT, acxtest::u8(138, 7), "10 1 7"},     {ST_USINT, {}, "10 1 0"},
        {ST_WORD, acxtest::u16(138, 60000), "3 1 60000"}, {ST_WORD, {}, "3 1 0"},
        {ST_UINT, acxtest::u16(138, 7), "11 1 7"},     {ST_UINT, {}, "11 1 0"},
        {ST_DWORD, acxtest::u32(138, 0x80000000u), "4 1 2147483648"}, {ST_DWORD, acxtest::u32(138, 0), "4 1 0"},
        {ST_DWORD, {}, "4 1 0"},
        {ST_UDINT, acxtest::u32(138, 0xFFFFFFFFu), "12 1 4294967295"}, {ST_UDINT, {}, "12 1 0"},
        {ST_SINT, acxtest::i8(138, 100), "6 1 100"},   {ST_SINT, acxtest::i8(138, -100), "6 1 0"},
        {ST_SINT, acxtest::i8(138, 0), "6 1 0"},       {ST_SINT, {}, "6 1 0"},
        {ST_INT, acxtest::i16(138, 300), "7 1 300"},   {ST_INT, acxtest::i16(138, -300), "7 1 0"},
        {ST_INT, {}, "7 1 0"},
        {ST_DINT, acxtest::i32(138, 70000), "8 1 70000"}, {ST_DINT, acxtest::i32(138, -5), "8 1 0"},
        {ST_DINT, {}, "8 1 0"},
        {ST_REAL, acxtest::r32(138, 2.5f), "14 1 2.5"}, {ST_REAL, acxtest::r32(138, 0.0f), "14 1 0"},
        {ST_REAL, acxtest::r32(138, -2.5f), "14 1 0"}, {ST_REAL, {}, "14 1 0"},
        {ST_LREAL, acxtest::r64(138, 2.5), "15 1 2.5"}, {ST_LREAL, acxtest::r64(138, 0.0), "15 1 0"},
        {ST_LREAL, acxtest::r64(138, -2.5), "15 1 0"}, {ST_LREAL, {}, "15 1 0"},
        {ST_ANYOBJECT, acxtest::u32(138, 5), "16 1 0 0 0"}, {ST_ANYOBJECT, {}, "16 1 0 0 0"},
    };
    for (const auto& t : tags) {
        const uint32_t type = std::get<0>(t), a = 10 * type;
        const std::string what = typeName(type) + " ACX" + (std::get<1>(t).empty() ? " without minimum" : "");
        std::vector<Bytes> range;
        if (!std::get<1>(t).empty()) range.push_back(std::get<1>(t));
        const Bytes param = compound(1037, {acxtest::u16(136, uint16_t(a)), compound(2116, {compound(2117, range)})});
        const Compiled r = importValues(compound(0, {compound(2144, {param})}), symb);
        EXPECT_EQ(r.result, 0) << what;
        EXPECT_EQ(r.messages, std::vector<uint32_t>{}) << what;
        EXPECT_EQ(r.at(a, 0xFFFFFFFFu).def, std::get<2>(t)) << what;
    }
}

// Real texts at the smallest normal magnitude of REAL (1.1754944e-38, which
// rounds to the float 1.175494351e-38) and of LREAL (2.2250738585072014e-308)
// keep their value; smaller nonzero magnitudes, subnormal doubles included,
// are refused with 409 naming the type's normal magnitudes, as a default and
// as a minimum, as are numbers beyond an integer type's range (negative ones
// for the unsigned 32-bit types wrapped). A based number is unsigned in an
// LREAL and its pattern in a SINT.
TEST(VarExtDefault, RealTextsAtTheNormalRangeAndValuesBeyondTheRange)
{
    const std::string symb = symbText();
    const std::string realMin = "14 1 1.175494351e-38", lrealMin = "15 1 2.22507385850720138e-308";
    const struct {
        uint32_t type;
        const char* items;
        std::string min, def;  // min "" is the type's lowest value, not checked; def "" refused
        const char* bounds = "";  // of the refusal
    } cases[] = {
        {ST_REAL, "Def(1.1754944e-38)", "", realMin},
        {ST_REAL, "Def(1e-40)", "", "", "1.175494e-38 und 3.402823e+38"},
        {ST_REAL, "Def(1e-310)", "", ""},
        {ST_REAL, "Def(-1e-310)", "", ""},
        {ST_REAL, "Min(1.1754944e-38)", realMin, realMin},
        {ST_REAL, "Min(1e-40)", "", ""},
        {ST_REAL, "Min(4.9e-324) Def(1.0)", "", ""},
        {ST_REAL, "Def(0.0e-400)", "", "14 1 0"},
        {ST_LREAL, "Def(2.2250738585072014e-308)", "", lrealMin},
        {ST_LREAL, "Def(2.2250738585072011e-308)", "", ""},
        {ST_LREAL, "Def(4.9e-324)", "", "", "2.225074e-308 und 1.797693e+308"},
        {ST_REAL, "Def(3.5e38)", "", "", "-3.402823e+38 und 3.402823e+38"},
        {ST_SINT, "Def(16#100)", "", "", "-128 und 127"},
        {ST_SINT, "Def(16#FF)", "", "6 -1 1"},
        {ST_LREAL, "Def(-4.9e-324)", "", ""},
        {ST_LREAL, "Min(2.2250738585072014e-308)", lrealMin, lrealMin},
        {ST_LREAL, "Min(1e-400)", "", ""},
        {ST_DWORD, "Def(-5)", "", "", "0 und 4294967295"},
        {ST_UDINT, "Min(-1)", "", ""},
        {ST_UDINT, "Def(4294967296)", "", ""},
        {ST_DINT, "Def(2147483648)", "", "", "-2147483648 und 2147483647"},
        {ST_LREAL, "Def(16#FFFFFFFF)", "", "15 1 4294967295"},
    };
    for (const auto& c : cases) {
        const uint32_t a = 10 * c.type;
        const std::string text = "VALUES $" + std::to_string(a) + " [1] : " + c.items + " Unit(0) END_VALUES";
        const Compiled r = compileValues(text, symb);
        EXPECT_EQ(r.result, c.def.empty() ? 3 : 0) << c.items;
        EXPECT_EQ(r.messages, c.def.empty() ? std::vector<uint32_t>{409} : std::vector<uint32_t>{}) << c.items;
        if (*c.bounds && !r.texts.empty()) {
            EXPECT_EQ(r.texts[0], "Wert muß zwischen " + std::string(c.bounds) + " liegen") << c.items;
        }
        if (c.def.empty()) continue;
        const Bounds b = r.at(a, 1);
        if (!c.min.empty()) {
            EXPECT_EQ(b.min, c.min) << c.items;
        }
        EXPECT_EQ(b.def, c.def) << c.items;
    }
}

}  // namespace
