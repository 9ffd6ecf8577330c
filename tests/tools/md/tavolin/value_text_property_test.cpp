// One text, one value on every road: generated texts (decimal, signed,
// based at and one past each type's width, with '_', typed with the
// target's own and with every other type prefix, prefix chains, reals with
// and without exponent, subnormals and underflows, limit literals alone and
// with text behind them, TRUE and FALSE, time and date literals, strings
// and garbage) into every elementary type through every road that reads a
// literal: the conversions (the tolerant VARIANT form, the text form, a
// symbol's value set twice and read back), a variables section's "Def" and a
// boot function's initial value, each compiled in process with many
// variables per compile. Every road gives the literal's one value or
// refuses it (the conversions leaving the value unchanged).
//
// The compiler reads decimal, based (2#, 8#, 16#) and real numbers and
// double-quoted strings; the variables section decimal, "16#" and real
// numbers and TRUE and FALSE. A form a road does not read is refused by it.
// A form only the conversion reads is compared with the compiler's value of
// its plain spelling: a prefix of the target's own type (INT#1.5 as 1.5),
// '_' between digits, TRUE and FALSE (1 and 0), a limit literal (its
// bound's digits), a quoted string ('a$'b' as "a'b"). A prefix of another
// type is refused. The text form reads decimal and real numbers only (and
// ".5" and "5.", which strtod reads). The compiler's BYTE, WORD and DWORD
// are its USINT, UINT and UDINT; the compiler and the variables section
// have no TIME, DATE, TOD nor DT, whose texts are compared between the
// conversions.
#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"
#include "base/st/symacc/SyVariantConvert.h"
#include "bf_compile_support.h"
#include "platform/text.h"
#include "varext_compile_support.h"
#include "tools/mksymb/SysVarTable.h"

using bftest::BfCompile;
using bftest::compileBf;

namespace {

using Std = StStdConstantVal;

struct VarGuard {
    VARIANT v;
    VarGuard() { VariantInit(&v); }
    explicit VarGuard(const std::string& text) : VarGuard()
    {
        v.vt = VT_BSTR;
        std::u16string w = tvp::ansiToWide(text.data(), text.size());
        v.bstrVal = SysAllocStringLen(w.data(), UINT(w.size()));
    }
    ~VarGuard() { VariantClear(&v); }
};

struct Target {
    uint32_t type;
    const char* name;    // its prefix and the compiler's type name
    const char* bfType;  // the compiler's type of the same values
};

const Target kNumeric[] = {
    {ST_BOOL, "BOOL", "BOOL"},    {ST_BYTE, "BYTE", "USINT"},   {ST_WORD, "WORD", "UINT"},
    {ST_DWORD, "DWORD", "UDINT"}, {ST_SINT, "SINT", "SINT"},    {ST_INT, "INT", "INT"},
    {ST_DINT, "DINT", "DINT"},    {ST_USINT, "USINT", "USINT"}, {ST_UINT, "UINT", "UINT"},
    {ST_UDINT, "UDINT", "UDINT"}, {ST_REAL, "REAL", "REAL"},    {ST_LREAL, "LREAL", "LREAL"},
};
const char* const kBfTypes[] = {"BOOL", "SINT", "INT", "DINT", "USINT", "UINT", "UDINT", "REAL", "LREAL"};

// Every prefix the scanner knows, with the type it names.
const std::pair<const char*, uint32_t> kPrefixes[] = {
    {"BOOL", ST_BOOL},   {"BYTE", ST_BYTE},   {"WORD", ST_WORD},   {"DWORD", ST_DWORD}, {"SINT", ST_SINT},
    {"INT", ST_INT},     {"DINT", ST_DINT},   {"USINT", ST_USINT}, {"UINT", ST_UINT},   {"UDINT", ST_UDINT},
    {"REAL", ST_REAL},   {"LREAL", ST_LREAL}, {"LINT", ST_LINT},   {"ULINT", ST_ULINT}, {"LWORD", ST_LWORD},
};

// Numbers the compiler reads: at and around every type's bounds, signed,
// based, reals with and without exponent, at and beyond the ranges of REAL
// and LREAL.
const char* const kNumbers[] = {
    "0", "1", "2", "5", "+7", "007", "-0", "-1", "127", "128", "-128", "-129", "255", "256", "32767", "32768",
    "-32768", "-32769", "65535", "65536", "2147483647", "2147483648", "-2147483648", "-2147483649",
    "4294967295", "4294967296", "16777215", "16777217", "99999999999",
    "2#0", "2#1", "2#10", "2#101", "8#17", "8#377", "16#7F", "16#80", "16#FF", "16#100", "16#8000", "16#FFFF",
    "16#10000", "16#7FFFFFFF", "16#FFFFFFFF", "16#100000000", "16#ff",
    "0.0", "1.0", "0.5", "1.5", "-1.5", "2.7", "0.1", "3.9e2", "1e5", "1E5", "1e-5", "2.7E0", "-1.0E6",
    "1.0e38", "3.4e38", "3.5e38", "1e-38", "1e-40", "1e-46", "1.7e308", "1e309", "1.0E-310", "1e-400",
    "123456789.0", "1.23456789",
    // based at each width and one past it
    "2#11111111", "2#100000000", "8#377", "8#400", "8#177777", "8#200000", "16#7FFF", "16#80000000",
    "16#FFFFFFFF", "16#1FFFFFFFF",
    // at, below and far below the smallest normal magnitudes
    "1.17549435e-38", "1.1754942e-38", "1.4e-45", "1e-45", "-1e-40", "2.2250738585072014e-308",
    "2.2250738585072e-308", "4.9e-324", "1e-324", "-1.0E-310", "0.0e-400",
};

// Texts of other kinds: none is a number of a numeric type.
const char* const kOthers[] = {
    "", " ", "1 2", "1,5", "0x10", "1.", ".5", "5.", "1e", "1e+", "--1", "1_", "_1", "abc", "inf", "nan",
    "1.5x", "#5", "16#", "16#G", "2#2", "8#8", "T#1s", "T#1h30m", "TIME#5ms", "TOD#12:00:00", "D#2001-01-01",
    "DT#2001-01-01-12:00:00", "'5'", "'abc'", "5'", "%IX1.0", "INT#", "INT# 5", "INT#INT#5", "REAL#INT#5",
    "INT#5 6", "DINT#MAX 1", "TRUE FALSE", "STRUCTALARMID#5", "@x",
    // limit literals with text behind them, prefix chains
    "INT#MAX'abc def", "SINT#MIN'5", "UDINT#MAX'", "DINT#MIN'", "INT#MAX 'a'", "REAL#USINT#MAX", "INT#TRUE",
    "REAL#FALSE", "USINT#INT#MAX", "INT#16#FF#1",
};

// One generated text: what the compiler reads as the same literal ("" none)
// and the type a prefix or keyword binds it to (0 none).
struct Form {
    std::string text;
    std::string bf;
    uint32_t boundTo = 0;
    bool plain = false;  // a decimal or real number: the text form reads it too
};

bool isPlain(const std::string& s)
{
    return s.find('#') == std::string::npos && s.find('_') == std::string::npos;
}

std::vector<Form> forms()
{
    std::vector<Form> out;
    for (const char* n : kNumbers) out.push_back({n, n, 0, isPlain(n)});
    for (const char* n : kNumbers) {
        const std::string s(n);
        // '_' between two digits of an integer, kept by the scanner out of
        // the value (a real takes none in its fraction or exponent).
        const size_t last = s.size() - 1;
        if (s.size() >= 2 && s.find_first_of(".eE") == std::string::npos &&
            std::isdigit(static_cast<unsigned char>(s[last - 1])))
            out.push_back({s.substr(0, last) + "_" + s.substr(last), s, 0, false});
        for (const auto& p : kPrefixes) out.push_back({std::string(p.first) + "#" + s, s, p.second, false});
    }
    // Blanks around a number are no part of it.
    for (const char* n : {" 7", "7 ", " -1.5 ", "\t16#FF "}) out.push_back({n, n, 0, isPlain(n)});
    out.push_back({"int#5", "5", ST_INT, false});
    out.push_back({"Real#1.5", "1.5", ST_REAL, false});
    // TRUE and FALSE are the numbers 1 and 0; behind "BOOL#" a BOOL's.
    for (const char* t : {"TRUE", "true"}) out.push_back({t, "1", 0, false});
    for (const char* t : {"FALSE", "False"}) out.push_back({t, "0", 0, false});
    out.push_back({"BOOL#TRUE", "1", ST_BOOL, false});
    out.push_back({"BOOL#FALSE", "0", ST_BOOL, false});
    const struct {
        const char* name;
        uint32_t type;
        const char* min;
        const char* max;
    } limits[] = {{"SINT", ST_SINT, "-128", "127"},   {"INT", ST_INT, "-32768", "32767"},
                  {"DINT", ST_DINT, "-2147483648", "2147483647"},
                  {"USINT", ST_USINT, "0", "255"},    {"UINT", ST_UINT, "0", "65535"},
                  {"UDINT", ST_UDINT, "0", "4294967295"}};
    for (const auto& l : limits) {
        out.push_back({std::string(l.name) + "#MAX", l.max, l.type, false});
        out.push_back({std::string(l.name) + "#min", l.min, l.type, false});
    }
    for (const char* o : kOthers) out.push_back({o, "", 0, false});
    return out;
}

// A value as compared: integers by their number, reals by their bits.
std::string valueKey(const StConstantVal* v)
{
    if (!v || v->getKind() != ST_CONST_STD) return "<none>";
    const auto* s = static_cast<const StStdConstantVal*>(v);
    const uint32_t t = s->getTypeId();
    if (t == ST_REAL || t == ST_LREAL) {
        uint8_t raw[8];
        uint32_t type;
        int32_t sign;
        s->getRaw(raw, type, sign);
        char buf[40];
        uint64_t bits = 0;
        std::memcpy(&bits, raw, t == ST_REAL ? 4 : 8);
        std::snprintf(buf, sizeof buf, "%s:%016llx", t == ST_REAL ? "r" : "l", (unsigned long long)bits);
        return buf;
    }
    String text;
    if (SyVariantConvert::constVal2String(text, v, false, nullptr) != 0) return "<unreadable>";
    return text.stdString();
}

// The compiler's initial values of one literal, one variable per type, each
// on its own line so that a message names the variable it is about. A
// refused value (message at its line, or a syntax error) is absent.
std::map<std::string, std::string> compiled(const std::string& literal)
{
    std::string vars;
    for (size_t i = 0; i < sizeof kBfTypes / sizeof *kBfTypes; ++i)
        vars += "\nv" + std::to_string(i) + " : " + kBfTypes[i] + " := " + literal + ";";
    const std::string text = "BOOT_FUNCTIONDECL BEGIN_BF b (CS := 1) VAR" + vars +
                             "\nEND_VAR SUB_FUNCTIONS END_SUBFUNCTIONS DEPENDENCIES END_DEPENDENCIES END_BF "
                             "END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS";
    const BfCompile c = compileBf(text);
    std::map<std::string, std::string> out;
    StSymbEntryID sid;
    const CBfBootFktTyp* t = c.parser->existFkt(String("b"), sid);
    for (size_t i = 0; i < sizeof kBfTypes / sizeof *kBfTypes; ++i) {
        const std::string line = "@" + std::to_string(i + 2);
        bool refused = !t;
        for (const std::string& m : c.messages) {
            const size_t at = m.find('@');
            const std::string where = m.substr(at, m.find(' ', at) - at);
            if (where == line || m.find("parse error") != std::string::npos || m.rfind("500@", 0) == 0)
                refused = true;
        }
        if (refused) continue;
        const StConstEntryID cid = c.parser->symbols()->getEntryCID(c.parser->symbols()->getSIDByName(
            String(("v" + std::to_string(i)).c_str()), t->ValidRange, t->NameRange));
        if (cid.isInvalid()) continue;
        out[kBfTypes[i]] = valueKey(c.parser->symbols()->getConstant(cid));
    }
    return out;
}

// The variables section's "Def" of one literal for every numeric type, each
// statement on its own line between empty ones so that a message names the
// statement it is about. A refused value (a message at its line, or one
// that ends the parse) is absent.
std::string valuesSymb()
{
    SysVarTable t;
    std::string error;
    for (const Target& target : kNumeric)
        EXPECT_TRUE(t.addElementary(10 * target.type, "p" + std::to_string(target.type), target.type, error)) << error;
    std::ostringstream out;
    EXPECT_TRUE(t.save(out));
    return out.str();
}

std::map<std::string, std::string> compiledValues(const std::string& literal)
{
    static const std::string symb = valuesSymb();
    std::string text = "VALUES\n";
    for (const Target& target : kNumeric)
        text += "\n$" + std::to_string(10 * target.type) + "[1] : Def(" + literal + ") Unit(0)\n";
    text += "\nEND_VALUES\n";
    fronttest::MessageCapture messages;
    std::map<std::string, std::string> out;
    varexttest::compileVariables(text, symb, [&](MdVarExtParser& p, FsTODscFile&) {
        for (size_t i = 0; i < sizeof kNumeric / sizeof *kNumeric; ++i) {
            const uint32_t line = uint32_t(3 + 2 * i);
            bool refused = false;
            for (const auto& m : messages.records)
                refused = refused || m.position == line || m.id == 400 || m.id == 402;
            StStdConstantVal* v = refused ? nullptr : p.getStdVal(10 * kNumeric[i].type, 1);
            if (v) out[kNumeric[i].name] = valueKey(v);
        }
    });
    return out;
}

// The compiler's and the variables section's values of a literal as a
// value of the target, "" when they refuse it.
class Oracle {
public:
    std::string valueOf(const std::string& literal, const Target& target)
    {
        return find(m_bf, literal, compiled, target.bfType);
    }
    std::string valuesOf(const std::string& literal, const Target& target)
    {
        return find(m_values, literal, compiledValues, target.name);
    }

private:
    using Cache = std::map<std::string, std::map<std::string, std::string>>;
    static std::string find(Cache& cache, const std::string& literal,
                            std::map<std::string, std::string> (*compile)(const std::string&), const char* type)
    {
        auto it = cache.find(literal);
        if (it == cache.end()) it = cache.emplace(literal, compile(literal)).first;
        auto v = it->second.find(type);
        return v == it->second.end() ? "" : v->second;
    }
    Cache m_bf, m_values;
};

// Whether the variables section reads a text as a number: a decimal
// integer, "16#" and hexadecimal digits, a real with a fraction or an
// exponent, TRUE or FALSE, blanks around it.
bool valuesReads(const std::string& text)
{
    static const std::regex number(
        "[ \t]*([+-]?[0-9]+|16#[0-9A-Fa-f]+|[+-]?[0-9]+(\\.[0-9]+)?([eE][+-]?[0-9]+)?|TRUE|FALSE)[ \t]*");
    return std::regex_match(text, number);
}

// A symbol of the type in the global scope of a table shared by the loop.
StSymbEntryID newSymbol(SyStSymbTable& table, uint32_t type)
{
    static int n = 0;
    StSymbEntryID sid;
    const std::string name = "s" + std::to_string(++n);
    StSyBaseSymbEntry* e = table.addEntry(name.c_str(), table.getGlobalVR(), table.getGlobalNR(), ST_KIND_GLOBVAR, sid);
    if (e) e->setTypeID(StTypeID(type));
    return sid;
}

// The value before every conversion, which every type takes.
const char* const kWas = "1";

// One text through the tolerant form, a symbol's value (twice, over a value
// set before), the text form and the strict form (which takes a text for
// TIME, DATE, TOD and DT only): each its value's key, or "" when refused,
// which must have left the value as it was.
struct Results {
    std::string ex, symbol, symbolAgain, text, strict;
};

Results convert(SyStSymbTable& table, uint32_t type, const std::string& text, const char* wasText = kWas)
{
    Results r;
    VarGuard was(wasText), in(text);
    Std value(type);
    EXPECT_EQ(0u, SyVariantConvert::variant2StdValEx(&value, was.v, true, nullptr));
    const std::string before = valueKey(&value);
    auto take = [&](uint32_t code, const StConstantVal& v, std::string& out) {
        out = code == 0 ? valueKey(&v) : "";
        if (code != 0) {
            EXPECT_EQ(before, valueKey(&v)) << "a refusal changed the value";
        }
        // The number its text gives is the one every getter gives.
        double d = 0;
        bool error = true;
        const int32_t l = static_cast<const Std&>(v).GetLongVal(error);
        if (type != ST_REAL && type != ST_LREAL && v.getDouble(d) && code == 0) {
            EXPECT_EQ(std::strtod(out.c_str(), nullptr), d) << "getDouble";
            if (type == ST_SINT || type == ST_INT || type == ST_DINT) {
                EXPECT_EQ(double(l), d) << "GetLongVal";
            }
        }
    };
    take(SyVariantConvert::variant2StdValEx(&value, in.v, true, nullptr), value, r.ex);

    const StSymbEntryID sid = newSymbol(table, type);
    EXPECT_EQ(0u, table.setSymbolValue(sid, was.v, true, nullptr));
    for (std::string* out : {&r.symbol, &r.symbolAgain}) {
        const uint32_t s = table.setSymbolValue(sid, in.v, true, nullptr);
        EXPECT_TRUE(s == 0 || s == 101) << s;
        VarGuard back;
        EXPECT_EQ(0u, table.getSymbolValue(sid, &back.v, true, nullptr));
        Std read(type);
        EXPECT_EQ(0u, SyVariantConvert::variant2StdVal(&read, back.v, true, nullptr));
        take(s, read, *out);
    }
    Std t(type);
    EXPECT_EQ(0u, SyVariantConvert::String2ConstVal(&t, String(wasText), nullptr));
    take(SyVariantConvert::String2ConstVal(&t, String(text.c_str()), nullptr), t, r.text);
    Std strict(type);
    EXPECT_EQ(0u, SyVariantConvert::variant2StdValEx(&strict, was.v, true, nullptr));
    take(SyVariantConvert::variant2StdVal(&strict, in.v, true, nullptr), strict, r.strict);
    return r;
}

}  // namespace

TEST(ValueTextProperty, EveryFormIntoEveryNumericTypeAgainstTheCompiler)
{
    Oracle oracle;
    SyStSymbTable table;
    // Texts only the text form reads: strtod's forms.
    const std::vector<std::string> textOnly = {".5", "5.", "1."};
    int compared = 0, agreedValues = 0, takenByValues = 0;
    for (const Form& f : forms()) {
        for (const Target& target : kNumeric) {
            SCOPED_TRACE("'" + f.text + "' into " + target.name);
            // Expected: the compiler's value of the plain spelling when the
            // form binds to no type or to the target's own, else a refusal.
            std::string want;
            if (!f.bf.empty() && (f.boundTo == 0 || f.boundTo == target.type)) want = oracle.valueOf(f.bf, target);
            const Results r = convert(table, target.type, f.text);
            EXPECT_EQ(want, r.ex) << "tolerant form";
            // The variables section: the same value, or a refusal of a form
            // its grammar does not read.
            const std::string fromValues = oracle.valuesOf(f.text, target);
            EXPECT_EQ(valuesReads(f.text) ? want : "", fromValues) << "variables section";
            if (!fromValues.empty()) ++takenByValues;
            EXPECT_EQ(r.ex, r.symbol) << "symbol value";
            EXPECT_EQ(r.ex, r.symbolAgain) << "symbol value set again";
            EXPECT_EQ("", r.strict) << "strict form";
            // The text form: the same for plain numbers, a refusal for
            // every other form but strtod's own.
            bool own = false;
            for (const std::string& t : textOnly) own = own || t == f.text;
            if (f.plain) {
                EXPECT_EQ(want, r.text) << "text form";
            } else if (!own) {
                EXPECT_EQ("", r.text) << "text form";
            }
            ++compared;
            if (!want.empty()) ++agreedValues;
        }
        // A form that binds to no type and that the compiler does not read
        // is read by no conversion (checked above); the compiler refuses
        // the texts of other kinds too.
        if (f.bf.empty() && !f.text.empty() && f.text != " ") {
            for (const Target& target : kNumeric) {
                SCOPED_TRACE("compiler: '" + f.text + "' into " + target.name);
                EXPECT_EQ("", oracle.valueOf(f.text, target));
            }
        }
    }
    // The loop reached both outcomes in numbers.
    EXPECT_GT(compared, 8000);
    EXPECT_GT(agreedValues, 1000);
    EXPECT_GT(takenByValues, 300);
}

namespace {

// A string's text in the conversion's spelling, every special character
// escaped: "$$", "$'", "$T", "$L", "$R", "$N" for CR LF, "$P", else "$hh".
std::string quoted(const std::string& content)
{
    std::string out = "'";
    for (size_t i = 0; i < content.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(content[i]);
        char buf[4];
        switch (c) {
        case '$': out += "$$"; break;
        case '\'': out += "$'"; break;
        case '\t': out += "$T"; break;
        case '\n': out += "$L"; break;
        case '\f': out += "$P"; break;
        case '\r':
            if (i + 1 < content.size() && content[i + 1] == '\n') {
                out += "$N";
                ++i;
            } else {
                out += "$R";
            }
            break;
        default:
            if (c < 32) {
                std::snprintf(buf, sizeof buf, "$%02X", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "'";
}

// The compiler's spelling: double quotes, a quote inside as \".
std::string bfQuoted(const std::string& content)
{
    std::string out = "\"";
    for (char c : content) out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out + "\"";
}

// The compiler's value of a STRING variable, "<refused>" when it has none.
std::string bfString(const std::string& literal)
{
    const std::string text = "BOOT_FUNCTIONDECL BEGIN_BF b (CS := 1) VAR\nv : STRING := " + literal +
                             ";\nEND_VAR SUB_FUNCTIONS END_SUBFUNCTIONS DEPENDENCIES END_DEPENDENCIES END_BF "
                             "END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS";
    const BfCompile c = compileBf(text);
    StSymbEntryID sid;
    const CBfBootFktTyp* t = c.parser->existFkt(String("b"), sid);
    if (!t || !c.messages.empty()) return "<refused>";
    const StConstEntryID cid =
        c.parser->symbols()->getEntryCID(c.parser->symbols()->getSIDByName(String("v"), t->ValidRange, t->NameRange));
    const StConstantVal* v = cid.isInvalid() ? nullptr : c.parser->symbols()->getConstant(cid);
    if (!v || v->getKind() != ST_CONST_STRING) return "<refused>";
    String s;
    uint8_t len = 0;
    v->getText(s, len);
    return s.stdString();
}

// A string text through the three conversions that take one (the VARIANT,
// the text, a symbol's value set twice): its content, or "<refused>" with
// the value left "was".
std::vector<std::string> convertString(SyStSymbTable& table, const std::string& text)
{
    std::vector<std::string> out;
    auto content = [](const StConstantVal* v) {
        String s;
        uint8_t len = 0;
        v->getText(s, len);
        return s.stdString();
    };
    int status = 0;
    VarGuard in(text);
    {
        StStringConstantVal v(ST_STRING_TID, String("was"), 3, status);
        const uint32_t code = SyVariantConvert::variant2StringVal(&v, in.v);
        out.push_back(code == 0 ? content(&v) : "<refused>");
        if (code != 0) {
            EXPECT_EQ("was", content(&v));
        }
    }
    {
        StStringConstantVal v(ST_STRING_TID, String("was"), 3, status);
        const uint32_t code = SyVariantConvert::String2ConstVal(&v, String(text.data(), int(text.size())), nullptr);
        out.push_back(code == 0 ? content(&v) : "<refused>");
        if (code != 0) {
            EXPECT_EQ("was", content(&v));
        }
    }
    const StSymbEntryID sid = newSymbol(table, ST_STRING_TID);
    VarGuard was("was");
    EXPECT_EQ(0u, table.setSymbolValue(sid, was.v, true, nullptr));
    for (int run = 0; run < 2; ++run) {
        const uint32_t s = table.setSymbolValue(sid, in.v, true, nullptr);
        VarGuard back;
        EXPECT_EQ(0u, table.getSymbolValue(sid, &back.v, true, nullptr));
        StStringConstantVal read(ST_STRING_TID, String(""), 0, status);
        EXPECT_EQ(0u, SyVariantConvert::variant2StringVal(&read, back.v));
        out.push_back(s == 0 ? content(&read) : "<refused>");
        if (s != 0) {
            EXPECT_EQ("was", content(&read));
        }
    }
    return out;
}

}  // namespace

// Strings: each content in the conversion's quoted spelling and, where it
// has one, its unquoted one, against the compiler's double-quoted literal;
// with text behind the closing quote, or no closing quote, both refuse.
TEST(ValueTextProperty, StringsAgainstTheCompiler)
{
    SyStSymbTable table;
    const std::string contents[] = {"abc", "a b", "", "a'b", "a$b", "$", "'", "a\tb", "x\r\ny", "\r", "a\nb",
                                    "A\x01Z", "{x,y}", "TRUE", "16#FF", "1.5", std::string(100, 'q')};
    for (const std::string& c : contents) {
        SCOPED_TRACE("content '" + c + "'");
        const std::string want = bfString(bfQuoted(c));
        EXPECT_EQ(c, want) << "the compiler's value";
        for (const std::string& r : convertString(table, quoted(c))) EXPECT_EQ(want, r);
        // A word without blank, quote or '$' stands for itself.
        if (!c.empty() && c.find_first_of(" '$\t\r\n\x01") == std::string::npos) {
            for (const std::string& r : convertString(table, c)) EXPECT_EQ(want, r);
        }
        // Not one string: refused by both.
        const std::string open = quoted(c).substr(0, quoted(c).size() - 1);
        for (const std::string& bad : {quoted(c) + "b'", quoted(c) + "x", open, quoted(c) + " " + quoted(c),
                                       quoted(c) + "'"}) {
            SCOPED_TRACE("text " + bad);
            for (const std::string& r : convertString(table, bad)) EXPECT_EQ("<refused>", r);
        }
        const std::string bfOpen = bfQuoted(c).substr(0, bfQuoted(c).size() - 1);
        for (const std::string& bad : {bfQuoted(c) + "b\"", bfQuoted(c) + "x", bfOpen})
            EXPECT_EQ("<refused>", bfString(bad)) << bad;
    }
    // The issue's two: the text behind the quote and the open quote.
    for (const std::string& r : convertString(table, "'a'b'")) EXPECT_EQ("<refused>", r);
    for (const std::string& r : convertString(table, "'a")) EXPECT_EQ("<refused>", r);
    for (const std::string& r : convertString(table, "'a' ")) EXPECT_EQ("a", r);
}

// TIME, DATE, TOD and DT, which the compiler does not have: every generated
// number form is refused by each conversion, and a time or date literal is
// taken alike by the tolerant form, a symbol's value (twice) and the text
// form, or refused by all three; what they take reads back from its own
// text, and a literal with anything behind it is refused.
TEST(ValueTextProperty, TimeAndDateTextsAgreeBetweenTheConversions)
{
    SyStSymbTable table;
    const struct {
        uint32_t type;
        const char* was;
        std::vector<std::string> good;
    } types[] = {
        {ST_TIME, "T#1ms", {"T#1s", "t#1h_30m", "TIME#5ms", "T#1d2h3m4s5ms", "T#1.5s", "T#0ms", " T#2s "}},
        {ST_TOD, "TOD#1:0:0", {"TOD#12:00:00", "TIME_OF_DAY#23:59:59.999", "tod#0:0:0"}},
        {ST_DATE, "D#1999-01-01", {"D#2001-01-01", "DATE#2010-06-15", "d#2024-02-29"}},
        {ST_DT, "DT#1999-01-01-1:0:0", {"DT#2001-01-01-12:00:00", "DATE_AND_TIME#2010-06-15-00:00:00"}},
    };
    for (const auto& ty : types) {
        std::vector<std::pair<std::string, bool>> texts;  // text, taken
        for (const Form& f : forms())
            if (f.text.find("T#") == std::string::npos && f.text.find("TOD#") == std::string::npos &&
                f.text.find("D#") == std::string::npos && f.text.find("TIME#") == std::string::npos)
                texts.push_back({f.text, false});
        for (const std::string& g : ty.good) {
            texts.push_back({g, true});
            for (const char* tail : {" x", "x", "'", "'a'", " 1", ",", " T#1s", "_"})
                texts.push_back({g + tail, false});
            // A type prefix before a time or date literal makes no literal.
            for (const char* prefix : {"REAL#", "DINT#", "UDINT#"}) texts.push_back({prefix + g, false});
        }
        for (const auto& [text, taken] : texts) {
            SCOPED_TRACE("'" + text + "' into " + std::to_string(ty.type));
            const Results r = convert(table, ty.type, text, ty.was);
            EXPECT_EQ(taken, !r.ex.empty());
            for (const std::string* other : {&r.symbol, &r.symbolAgain, &r.text, &r.strict})
                EXPECT_EQ(r.ex, *other);
            if (taken) {
                // Its own text reads back as the same value.
                Std again(ty.type);
                EXPECT_EQ(0u, SyVariantConvert::String2ConstVal(&again, String(r.ex.c_str()), nullptr));
                EXPECT_EQ(r.ex, valueKey(&again));
            }
        }
    }
}
