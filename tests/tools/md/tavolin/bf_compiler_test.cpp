// The boot-function compiler: its actions by rule (messages with their
// lines and arguments, results, model facts) and its outputs byte for byte.
#include <gtest/gtest.h>

#include <functional>

#include "base/st/stsymtab/StSySymbEntry.h"
#include "bf_compile_support.h"

using bftest::BfCompile;
using bftest::compileBf;

namespace {

const std::string kEmptyGlobal = "BOOT_FUNCTIONS END_BOOT_FUNCTIONS";

// Boot functions in the declaration block, an empty global block.
std::string decl(const std::string& body)
{
    return "BOOT_FUNCTIONDECL " + body + " END_BOOT_FUNCTIONDECL " + kEmptyGlobal;
}

// One boot function "b" (CS 1 unless given) with its blocks.
std::string bf(const std::string& vars, const std::string& subs = "", const std::string& deps = "DEPENDENCIES END_DEPENDENCIES",
               const char* name = "b", const char* cs = "1")
{
    return std::string("BEGIN_BF ") + name + " (CS := " + cs + ") VAR " + vars + " END_VAR SUB_FUNCTIONS " + subs +
           " END_SUBFUNCTIONS " + deps + " END_BF ";
}

// The global block with its blocks.
std::string globalBlock(const std::string& vars, const std::string& subs, const std::string& deps)
{
    return "BOOT_FUNCTIONS VAR " + vars + " END_VAR SUB_FUNCTIONS " + subs + " END_SUBFUNCTIONS " + deps +
           " END_BOOT_FUNCTIONS";
}

// The global block after an empty declaration block.
std::string global(const std::string& vars, const std::string& subs, const std::string& deps)
{
    return "BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL " + globalBlock(vars, subs, deps);
}

std::string act(const std::string& code)
{
    return "BEGIN_ACT " + code + " END_ACT";
}

CBfBootFktTyp* typeNamed(const BfCompile& c, const char* name)
{
    StSymbEntryID sid;
    return c.parser->existFkt(String(name), sid);
}

// A symbol of the scope of the boot-function type (the invalid SID when
// either is missing).
StSymbEntryID sidIn(const BfCompile& c, const char* type, const char* name)
{
    const CBfBootFktTyp* t = typeNamed(c, type);
    return t ? c.parser->symbols()->getSIDByName(String(name), t->ValidRange, t->NameRange) : ST_INVALID_SID;
}

int32_t enumValue(const BfCompile& c, const char* type, const char* enumType, const char* name)
{
    int32_t v = -99;
    c.parser->symbols()->findEnumValue(sidIn(c, type, enumType), String(name), v);
    return v;
}

// The implementation item texts of the boot-function type, "kind:text".
std::vector<std::string> items(const BfCompile& c, const char* type)
{
    std::vector<std::string> out;
    const CBfBootFktTyp* t = typeNamed(c, type);
    const CBfBootFktImpl* impl = t ? c.parser->findImpl(t->SID) : nullptr;
    if (!impl) return {"<no implementation>"};
    for (const auto& item : impl->items) {
        std::string text = item.second ? item.second->c_str() : "";
        if (item.first.kind == CImplDsc::MODIFY || item.first.kind == CImplDsc::UNIT) {
            const String* name = impl->symbTable->getName(item.first.SID);
            text = std::string(name ? name->c_str() : "?") + "=" + text;
        }
        out.push_back(std::to_string(item.first.kind) + ":" + text);
    }
    return out;
}

using Facts = std::function<void(const BfCompile&)>;

struct Case {
    const char* what;
    std::string text;
    int32_t result;
    std::vector<std::string> messages;
    Facts facts;
};

}  // namespace

TEST(BfCompilerActions, MessagesResultsAndModel)
{
    const Case cases[] = {
        {"empty global block", decl(""), 0, {},
         [](const BfCompile& c) {
             const CBfBootFktTyp* main = typeNamed(c, "@BfMainType");
             ASSERT_NE(main, nullptr);
             EXPECT_TRUE(main->symbols.empty());
             EXPECT_EQ(main->sets.size(), 1u);
             EXPECT_TRUE(c.parser->symbols()->getSIDByName(String("@BfMain"), 0, 0).isValid());
             EXPECT_TRUE(c.parser->symbols()->getSIDByName(String("@Dummy"), 0, main->NameRange).isValid());
         }},
        {"a boot function named twice ends the parse",
         decl(bf("x : INT;") + bf("y : INT;") + "garbage that is never read"), 4, {"505@1 b", "504@1 b"},
         [](const BfCompile& c) { EXPECT_EQ(c.parser->types().size(), 1u); }},
        {"CS beyond 16 bits", decl(bf("", "", "DEPENDENCIES END_DEPENDENCIES", "b", "70000")), 3, {"506@1"}, nullptr},
        {"CS in hexadecimal, the variables and sub-functions in order",
         decl(bf("x : INT := 3 (ALTERABLE); y, z : BOOL;", "s : INT (RULE); u : INT (USER);",
                 "DEPENDENCIES END_DEPENDENCIES", "b", "16#10")),
         0, {},
         [](const BfCompile& c) {
             const CBfBootFktTyp* t = typeNamed(c, "b");
             ASSERT_NE(t, nullptr);
             EXPECT_EQ(t->sets.at(0).cs, 16);
             ASSERT_EQ(t->sets.at(0).tokens.size(), 3u);
             EXPECT_EQ(t->sets[0].tokens[0].SID, sidIn(c, "b", "x"));
             EXPECT_EQ(t->sets[0].tokens[2].SID, sidIn(c, "b", "z"));
             EXPECT_EQ(t->varAttribs.at(sidIn(c, "b", "x")).access, 1u);
             EXPECT_EQ(t->varAttribs.at(sidIn(c, "b", "y")).access, 0u);
             EXPECT_TRUE(t->isSubFktR(sidIn(c, "b", "s")));
             EXPECT_FALSE(t->isSubFktU(sidIn(c, "b", "s")));
             EXPECT_TRUE(t->isSubFktU(sidIn(c, "b", "u")));
         }},
        {"a repeated address key", decl("") + " BEGIN_BF_ADR_RESOLUTION $1 : @2 $1 : @3 $16#2 : @16#1F END_BF_ADR_RESOLUTION",
         3, {"0@1"},
         [](const BfCompile& c) {
             EXPECT_EQ(c.parser->addresses(), (std::map<uint32_t, uint32_t>{{1, 2}, {2, 31}}));
         }},
        {"an address beyond 32 bits", decl("") + " BEGIN_BF_ADR_RESOLUTION $4294967297 : @1 END_BF_ADR_RESOLUTION", 3,
         {"506@1"}, nullptr},
        {"UNITCHANGED of no quantity record",
         global("", "", "DEPENDENCIES UNITCHANGED (429) " + act("a") + " UNITCHANGED (3) " + act("b") +
                            " UNITCHANGED (4294967297) " + act("c") + " UNITCHANGED (1) " + act("d") + " END_DEPENDENCIES"),
         3, {"509@1 429", "509@1 3", "509@1 4294967297"},
         [](const BfCompile& c) { EXPECT_EQ(items(c, "@BfMainType"), std::vector<std::string>{"4:1= d "}); }},
        {"INSTANTIATE of a variable, twice of a sub-function",
         decl(bf("v : INT;", "s : INT (RULE);",
                 "DEPENDENCIES INSTANTIATE (v) " + act("1") + " INSTANTIATE (s) " + act("2") + " INSTANTIATE (s) " +
                     act("3") + " END_DEPENDENCIES")),
         3, {"510@1 v", "505@1 s"},
         [](const BfCompile& c) { EXPECT_EQ(items(c, "b"), std::vector<std::string>{"3: 2 "}); }},
        {"a second DEFAULT and CFGCHANGED",
         decl(bf("", "", "DEPENDENCIES DEFAULT " + act("1") + " DEFAULT " + act("2") + " CFGCHANGED " + act("3") +
                             " CFGCHANGED " + act("4") + " END_DEPENDENCIES")),
         3, {"505@1 DEFAULT", "505@1 CFGCHANGED"},
         [](const BfCompile& c) { EXPECT_EQ(items(c, "b"), (std::vector<std::string>{"0: 1 ", "1: 3 "})); }},
        {"two names before STRUCT or an enumeration", decl(bf("a, b : STRUCT m : INT; END_STRUCT; c, d : (X, Y);")),
         3, {"500@1", "500@1"},
         [](const BfCompile& c) {
             for (const char* name : {"a", "b", "c", "d", "X", "Y"})
                 EXPECT_TRUE(sidIn(c, "b", name).isInvalid()) << name;
             EXPECT_TRUE(typeNamed(c, "b")->symbols.empty());
         }},
        {"enumerators with running values, exported",
         decl(bf("e : (A, B); f : (P := 5, Q); g : (M := -1, N); v : e; w : (K, L := 7) w1, w2 := L;")), 3, {"508@1"},
         [](const BfCompile& c) {
             EXPECT_EQ(enumValue(c, "b", "e", "A"), 0);
             EXPECT_EQ(enumValue(c, "b", "e", "B"), 1);
             EXPECT_EQ(enumValue(c, "b", "f", "Q"), 6);
             EXPECT_EQ(c.parser->exporter().exports().size(), 4u);
             const StSymbEntryID w = sidIn(c, "b", "w2");
             ASSERT_TRUE(w.isValid());
             const StConstantVal* v = c.parser->symbols()->getConstantVal(c.parser->symbols()->getEntryCID(w));
             int32_t n = 0;
             ASSERT_NE(v, nullptr);
             EXPECT_TRUE(v->getDInt(n));
             EXPECT_EQ(n, 7);
         }},
        {"rule 79 with a name that is no enumerator", decl(bf("e : (A, B) v := C;")), 3, {"509@1 C"}, nullptr},
        {"array bounds", decl(bf("TYPE t : ARRAY [0..3] OF INT; u : ARRAY [3..0] OF INT; w : ARRAY [-1..2] OF INT;")),
         3, {"508@1", "508@1"},
         [](const BfCompile& c) {
             EXPECT_TRUE(sidIn(c, "b", "t").isValid());
             EXPECT_TRUE(sidIn(c, "b", "u").isInvalid());
         }},
        {"array initialisers", decl(bf("a : ARRAY [0..1] OF INT := [1, 2, 3]; b : ARRAY [0..1] OF INT := [1]; "
                                        "c : ARRAY [0..1] OF INT := [0(1)]; d : ARRAY [0..1] OF INT := [2(5)]; "
                                        "TYPE t : ARRAY [1..2] OF DINT := [3, 4]; e : t;")),
         3, {"507@1", "507@1", "506@1"},
         [](const BfCompile& c) {
             for (const char* name : {"a", "b", "c"}) EXPECT_TRUE(sidIn(c, "b", name).isInvalid()) << name;
             for (const char* name : {"d", "t", "e"}) EXPECT_TRUE(sidIn(c, "b", name).isValid()) << name;
         }},
        {"values naming constants", decl(bf("e : (A, B := 3); x : DINT := B; y : INT := nothing; z : INT := x;")),
         3, {"511@1 nothing", "511@1 x"}, nullptr},
        {"a value its type refuses", decl(bf("x : SINT := 300; s : STRING := \"ok\";")), 3, {"512@1"}, nullptr},
        {"an unknown type", decl(bf("x : nothing;")), 3, {"510@1 nothing"},
         [](const BfCompile& c) {
             EXPECT_NE(c.interf, "<not written>");
             EXPECT_EQ(c.symb, "<not written>");
             EXPECT_EQ(c.boot, "<not written>");
             EXPECT_EQ(c.m4h, "<missing>");
         }},
        {"a syntax error", decl(bf("x : INT") + " e : (A);"), 1, {"502@1 parse error"},
         [](const BfCompile& c) {
             EXPECT_EQ(c.interf, "0           17 Name_Exports_V3.1 ");
             EXPECT_EQ(c.symb, "<not written>");
             EXPECT_EQ(c.m4c, "<missing>");
         }},
        {"MODIFY into a sub-function's implementation",
         "BOOT_FUNCTIONDECL " + bf("p : INT;", "", "DEPENDENCIES END_DEPENDENCIES", "inner") +
             bf("v : INT;", "s : inner (USER);",
                "DEPENDENCIES MODIFY (s.p) " + act("1") + " MODIFY (v) " + act("2") + " MODIFY (v) " + act("3") +
                    " MODIFY (q.r) " + act("4") + " END_DEPENDENCIES",
                "outer") +
             "END_BOOT_FUNCTIONDECL " + globalBlock("", "", "MODIFY (x) " + act("5")),
         3, {"514@1 s", "513@1 v|v"},
         [](const BfCompile& c) {
             EXPECT_EQ(items(c, "inner"), std::vector<std::string>{"2:s.p= 1 "});
             EXPECT_EQ(items(c, "outer"), (std::vector<std::string>{"2:v= 2 ", "2:q.r= 4 "}));
             EXPECT_EQ(items(c, "@BfMainType"), std::vector<std::string>{"2:x= 5 "});
         }},
        {"names on their lines", "BOOT_FUNCTIONDECL\n" + bf("x : INT;\nx : BOOL;\n") + "\nEND_BOOT_FUNCTIONDECL\n" + kEmptyGlobal,
         3, {"505@3 x"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BfCompile got = compileBf(c.text);
        EXPECT_EQ(got.result, c.result);
        EXPECT_EQ(got.messages, c.messages);
        if (c.facts) c.facts(got);
    }
}

TEST(BfCompilerActions, LowerCaseRunFindsNamesOfOneSpelling)
{
    const std::string text = decl(bf("Speed : INT; speed : INT;"));
    EXPECT_EQ(compileBf(text, true).messages, std::vector<std::string>{"505@1 speed"});
    const BfCompile kept = compileBf(text, false);
    EXPECT_EQ(kept.result, 0);
    EXPECT_TRUE(sidIn(kept, "b", "Speed").isValid());
}

TEST(BfCompilerOutputs, MinimalSection)
{
    const BfCompile c = compileBf("BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.messages, std::vector<std::string>{});
    const StSymbEntryID s = c.parser->symbols()->getSIDByName(String("@BfMainType"), 0, 0);
    const StRangeID n = c.parser->symbols()->findEntry(c.parser->symbols()->getSIDByName(
                                                           String("@Dummy"), 0, typeNamed(c, "@BfMainType")->NameRange))
                            ->getNR();
    const std::string S = std::to_string(uint32_t(s)), N = std::to_string(uint32_t(n));
    EXPECT_EQ(c.boot, "1\r\n" + S + "\r\n" + S + " 11 @BfMainType 0 " + N + "\r\n1 0\r\n0  \r\n0 \r\n0 \r\n0 \r\n0\r\n");
    EXPECT_EQ(c.interf, "0           17 Name_Exports_V3.1 ");
}
