// The boot-function compiler: its actions by rule (messages with their
// lines and arguments, results, model facts) and its outputs byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <list>
#include <memory>

#include "base/fs/FsSecBootTels.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "bf_compile_support.h"
#include "tests/base/fs/test_dsc_util.h"
#include "tests/bo/bf/bf_gen.h"

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

// The boot functions inner and outer (outer's sub-functions of type inner)
// and the global block with n (UDINT) and o (outer).
BfCompile compileNested(const std::string& innerVars, const std::string& outerVars, const std::string& outerSubs)
{
    return compileBf("BOOT_FUNCTIONDECL " + bf(innerVars, "", "DEPENDENCIES END_DEPENDENCIES", "inner") +
                     bf(outerVars, outerSubs, "DEPENDENCIES END_DEPENDENCIES", "outer", "2") +
                     "END_BOOT_FUNCTIONDECL " +
                     globalBlock("n : UDINT;", "o : outer (USER);", "DEFAULT " + act("d")));
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
        std::string text = item.second.c_str();
        if (item.first.kind == CImplDsc::MODIFY || item.first.kind == CImplDsc::UNIT) {
            const String* name = impl->symbTable->getName(item.first.SID);
            text = std::string(name ? name->c_str() : "?") + "=" + text;
        }
        out.push_back(std::to_string(item.first.kind) + ":" + text);
    }
    return out;
}

// The integer constants of a telegram record, "code=value" each.
std::string telegramText(const FsBootTelegram& record)
{
    std::string out;
    for (const auto& k : record.constants) {
        int16_t s = 0;
        uint16_t us = 0;
        int32_t l = 0;
        const std::string value = k->getShort(s) == 0    ? std::to_string(s)
                                  : k->getUShort(us) == 0 ? std::to_string(us)
                                  : k->getLong(l) == 0    ? std::to_string(l)
                                                          : "?";
        out += (out.empty() ? "" : " ") + std::to_string(k->getTypeCode()) + "=" + value;
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
        {"enumerators with running values, exported; values beyond a DINT refused",
         decl(bf("e : (A, B); f : (P := 5, Q); g : (M := -1, N); v : e; w : (K, L := 7) w1, w2 := L; "
                 "h : (C := 4294967295, D); k : (G := 2147483647, H);")),
         3, {"508@1", "508@1", "508@1"},
         [](const BfCompile& c) {
             EXPECT_EQ(enumValue(c, "b", "e", "A"), 0);
             EXPECT_EQ(enumValue(c, "b", "e", "B"), 1);
             EXPECT_EQ(enumValue(c, "b", "f", "Q"), 6);
             EXPECT_EQ(enumValue(c, "b", "h", "C"), 0);  // refused: the running value
             EXPECT_EQ(enumValue(c, "b", "h", "D"), 1);
             EXPECT_EQ(enumValue(c, "b", "k", "G"), 2147483647);
             EXPECT_EQ(c.parser->exporter().exports().size(), 6u);
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
        {"the telegram of array initialisers in their element types",
         decl(bf("a : ARRAY [0..2] OF INT := [1, -2, 3]; r : ARRAY [0..1] OF UINT := [2(7)]; t : DINT := -4;")), 0,
         {},
         [](const BfCompile& c) {
             FsSecBootTels sec;
             dsctest::attachMem(sec);
             ASSERT_EQ(c.parser->writeToTel(sec), 0u);
             ASSERT_FALSE(sec.telegrams().empty());
             const FsBootTelegram& b = sec.telegrams().front();  // b before the global type
             EXPECT_EQ(b.id, 1u);
             EXPECT_EQ(telegramText(b), "2=1 2=-2 2=3 5=7 5=7 3=-4");
         }},
        {"one name twice in a list", decl(bf("a, a : INT;")), 3, {"505@1 a"}, nullptr},
        // Names the type before the list declared: an enumerator, the
        // structure's own name; an anonymous array declares none.
        {"a variable named as an enumerator of its type", decl(bf("e : (a, b) b, c := a;")), 3, {"505@1 b"},
         nullptr},
        {"a variable named as its structure", decl(bf("s : STRUCT m : INT; END_STRUCT s, t;")), 3, {"505@1 s"},
         nullptr},
        {"a name twice beside an anonymous array", decl(bf("a, b, a : ARRAY [0 .. 1] OF INT;")), 3, {"505@1 a"},
         nullptr},
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

// Operand names walk the types the compiler made: a sub-function's symbol
// refers to the declaration of its boot function, which keys that type.
TEST(BfCompilerModel, OperandNamesWalkSubFunctionTypes)
{
    // inner: v0 INT at 0, v1 DINT at 2; outer: a DINT at 0, sub1 (inner) at
    // 4; the global block: n UDINT at 0, o (outer) at 4. An address is the
    // offset plus one.
    const BfCompile c = compileNested("v0 : INT; v1 : DINT;", "a : DINT;", "sub1 : inner (RULE);");
    ASSERT_EQ(c.result, 0) << (c.messages.empty() ? "" : c.messages[0]);
    CBfBootFktTyp* outer = typeNamed(c, "outer");
    CBfBootFktTyp* inner = typeNamed(c, "inner");
    ASSERT_TRUE(outer && inner);
    EXPECT_EQ(outer->getEntryRefID(sidIn(c, "outer", "sub1")), inner->SID);
    const CBfSymbTable& table = *c.parser->symbols();
    auto name = [&](StSymbEntryID sid) {
        const String* n = sid.isValid() ? table.getName(sid) : nullptr;
        return n ? n->stdString() : std::string();
    };

    struct Walk {
        const char* text;
        CBfBootFktTyp* type;  // the last type entered, null: failed
        const char* last;     // the last symbol
        uint32_t offset;
        size_t position;  // just after the last "." or "]" walked
    } walks[] = {
        {"sub1.v1", inner, "v1", 5 + 3, 5},
        {"sub1", outer, "sub1", 5, 0},
        {"a.v1", outer, "a", 1, 0},  // a DINT has no boot-function type
        {".sub1", outer, "", 0, 0},  // not walked
        {"[1]", outer, "", 0, 0},
        {"zz", nullptr, "", 0, 0},
        {"sub1.zz", nullptr, "", 0, 0},
        {"sub1[3].v0", inner, "v0", 5 + 1, 8},  // the index takes no part
        {"sub1[2147483647].v0", outer, "sub1", 5, 0},  // out of range: stops
        {"sub1[x].v0", outer, "sub1", 5, 0},
    };
    for (const Walk& w : walks) {
        SCOPED_TRACE(w.text);
        StSymbEntryID last;
        uint32_t offset = 0;
        size_t position = 99;
        CBfBootFktTyp* got = c.parser->getLastType(String(w.text), outer, last, offset, position);
        EXPECT_EQ(got, w.type);
        if (!got) continue;
        EXPECT_EQ(name(last), w.last);
        EXPECT_EQ(offset, w.offset);
        EXPECT_EQ(position, w.position);
    }

    struct Operand {
        const char* text;
        const char* symbol;
        uint32_t pairOffset;  // the walked offset
        int32_t fixOff;       // the first symbol's offset
    } operands[] = {
        {"o", "o", 0, 4},
        {"o.sub1.v1", "v1", 5 + 3, 4},
        {"outer.sub1.v0", "v0", 5 + 1, 0},  // the type itself adds nothing
    };
    for (const Operand& o : operands) {
        SCOPED_TRACE(o.text);
        std::unique_ptr<StASMBfOperand> op(c.parser->getOperand(String(o.text)));
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(name(op->getSID()), o.symbol);
        EXPECT_EQ(name(op->getSidOffset().first), o.symbol);
        EXPECT_EQ(op->getSidOffset().second, o.pairOffset);
        EXPECT_EQ(op->getFixOff(), o.fixOff);
    }
    EXPECT_EQ(c.parser->getOperand(String("zz")), nullptr);
    EXPECT_EQ(c.parser->getOperand(String("o.zz")), nullptr);

    // o expands into outer's members; sub1 of a boot-function type gets its
    // address in outer, and expands in turn into inner's members.
    std::unique_ptr<StASMBfOperand> o(c.parser->getOperand(String("o")));
    std::list<StASMBfOperand*> members, subMembers;
    ASSERT_EQ(c.parser->getSubOperands(o.get(), members), 0u);
    std::vector<std::string> names;
    for (const StASMBfOperand* m : members) names.push_back(name(m->getSID()));
    EXPECT_EQ(names, (std::vector<std::string>{"a", "sub1"}));
    if (members.size() == 2) {
        EXPECT_EQ(members.back()->getSidOffset().second, 5u);
        EXPECT_EQ(c.parser->getSubOperands(members.back(), subMembers), 0u);
        EXPECT_EQ(subMembers.size(), 2u);
        std::list<StASMBfOperand*> none;
        EXPECT_EQ(c.parser->getSubOperands(members.front(), none), 0xFFFFu);  // a DINT
        EXPECT_EQ(c.parser->getSubOperands(nullptr, none), 0u);
        EXPECT_TRUE(none.empty());
    }
    for (auto* list : {&members, &subMembers})
        for (StASMBfOperand* p : *list) delete p;
}

// A boot-function type declares types, enumerations and arrays of its own
// beside its variables: its members are only its variables and its
// sub-functions, and the expansion of an operand names those alone, in
// member order, both on the compiled model and on the one read back from
// "bfsymb" and "boot".
TEST(BfCompilerModel, SubOperandsAreTheMembersOnly)
{
    // inner's scope: the variables i, sv, ev and the types st (with a type
    // of its own), e with its enumerators E0, E1, and tarr; outer's: a, an
    // anonymous array ar, the sub-function sub1.
    const std::string innerVars = "i : INT; st : STRUCT x : INT; ne : (N0, N1) y := N1; END_STRUCT sv; "
                                  "e : (E0, E1) ev := E0; TYPE tarr : ARRAY [0..1] OF DINT;";
    const BfCompile c = compileNested(innerVars, "a : DINT; ar : ARRAY [0..1] OF INT;", "sub1 : inner (RULE);");
    ASSERT_EQ(c.result, 0) << (c.messages.empty() ? "" : c.messages[0]);

    // The model read back from its sections, as a later step finds it.
    FsTODscFile dsc;
    ASSERT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    CBfSymbTable loadedTable;
    BfTestCont loaded(&loadedTable);
    for (const bool symb : {true, false}) {
        const char* name = symb ? "bfsymb" : "boot";
        FsSecCl* section = nullptr;
        ASSERT_TRUE(fronttest::putSection(dsc, name, symb ? c.symb : c.boot));
        ASSERT_EQ(dsc.openSect(name, &section, 0), FS_OK);
        ASSERT_TRUE(symb ? loadedTable.load(*section) : loaded.loadBfTypCont(*section)) << name;
        dsc.CloseSect(name);
    }

    for (const CBfBootFktTypCont* cont : {static_cast<const CBfBootFktTypCont*>(c.parser.get()),
                                          static_cast<const CBfBootFktTypCont*>(&loaded)}) {
        SCOPED_TRACE(cont == &loaded ? "read back" : "compiled");
        const CBfSymbTable& table = *cont->symbTable();
        std::vector<StASMOperand*> all;  // released at the end
        auto names = [&](const auto& list) {
            std::vector<std::string> out;
            for (StASMOperand* p : list) {
                all.push_back(p);
                const String* n = p ? table.getName(p->getSID()) : nullptr;
                out.push_back(n ? n->stdString() : "?");
            }
            return out;
        };

        // A walk does not pass through the types and enumerators of a scope:
        // they have no address in the type.
        StSymbEntryID sid;
        CBfBootFktTyp* outer = cont->existFkt(String("outer"), sid);
        ASSERT_NE(outer, nullptr);
        for (const char* text : {"sub1.i", "sub1.st", "sub1.E0", "sub1.e", "sub1.tarr", "sub1.st.x"}) {
            uint32_t offset = 0;
            size_t position = 0;
            StSymbEntryID last;
            EXPECT_EQ(cont->getLastType(String(text), outer, last, offset, position) != nullptr,
                      std::string(text) == "sub1.i")
                << text;
        }

        std::unique_ptr<StASMBfOperand> o(cont->getOperand(String("o")));
        ASSERT_NE(o, nullptr);
        std::list<StASMBfOperand*> ofOuter, ofInner;
        EXPECT_EQ(cont->getSubOperands(o.get(), ofOuter), 0u);
        ASSERT_EQ(names(ofOuter), (std::vector<std::string>{"a", "ar", "sub1"}));
        const StASMBfOperand* sub1 = ofOuter.back();
        EXPECT_EQ(cont->getSubOperands(sub1, ofInner), 0u);
        EXPECT_EQ(names(ofInner), (std::vector<std::string>{"i", "sv", "ev"}));

        // The table's own expansion of the sub-function: the same members,
        // each at the sub-function's offset plus its own (i INT at 0, sv
        // after it at 2).
        std::vector<StASMOperand*> parts, ofSv, none, elements;
        EXPECT_EQ(table.traceASMBfOperand(sub1, &parts), 0u);
        ASSERT_EQ(names(parts), (std::vector<std::string>{"i", "sv", "ev"}));
        EXPECT_EQ(parts[0]->getFixOff(), sub1->getFixOff());
        EXPECT_EQ(parts[1]->getFixOff(), sub1->getFixOff() + 2);
        EXPECT_EQ(parts[1]->getTID(), table.getTypeID(sidIn(c, "inner", "st")));
        // A structure variable expands into its members x (INT) and y.
        EXPECT_EQ(table.traceASMBfOperand(parts[1], &ofSv), 0u);
        ASSERT_EQ(names(ofSv), (std::vector<std::string>{"x", "y"}));
        EXPECT_EQ(ofSv[0]->getTID(), StTypeID(ST_INT));
        EXPECT_EQ(ofSv[0]->getFixOff(), parts[1]->getFixOff());
        EXPECT_EQ(ofSv[1]->getFixOff(), parts[1]->getFixOff() + 2);
        // An enumeration and an elementary variable: nothing to expand.
        EXPECT_EQ(table.traceASMBfOperand(parts[2], &none), 1u);
        EXPECT_EQ(table.traceASMBfOperand(parts[0], &none), 1u);
        EXPECT_TRUE(none.empty());
        // The anonymous array of outer: one operand per element.
        EXPECT_EQ(table.traceASMBfOperand(*std::next(ofOuter.begin()), &elements), 0u);
        EXPECT_EQ(names(elements), (std::vector<std::string>{"ar", "ar"}));
        for (StASMOperand* p : all) delete p;
    }
}

// The text of an operand names every symbol on its path, the sub-functions
// between its first and its last symbol included, also when two
// sub-functions share their type.
TEST(BfCompilerModel, OperandContentsNameTheWholePath)
{
    const BfCompile c =
        compileNested("v0 : INT; v1 : DINT := 7;", "a : DINT;", "sub1 : inner (RULE); sub2 : inner (RULE);");
    ASSERT_EQ(c.result, 0) << (c.messages.empty() ? "" : c.messages[0]);
    CBfSymbTable& table = *c.parser->symbols();
    auto contents = [&](const StASMBfOperand* op) {
        String text;
        if (!op) return std::string("<no operand>");
        table.getOperandContents(*op, text);
        return text.stdString();
    };
    for (const auto& [name, text] : std::vector<std::pair<const char*, const char*>>{
             {"n", "n = 0"},
             {"o.a", "o.a = 0"},
             {"o.sub1.v1", "o.sub1.v1 = 7"},
             {"o.sub2.v1", "o.sub2.v1 = 7"},
             {"o.sub2.v0", "o.sub2.v0 = 0"},
             {"outer.sub2.v1", "outer.sub2.v1 = 7"},
         }) {
        std::unique_ptr<StASMBfOperand> op(c.parser->getOperand(String(name)));
        EXPECT_EQ(contents(op.get()), text) << name;
    }

    // The sub-operands of o and of its second sub-function.
    std::unique_ptr<StASMBfOperand> o(c.parser->getOperand(String("o")));
    std::list<StASMBfOperand*> ofO, ofSub2;
    ASSERT_EQ(c.parser->getSubOperands(o.get(), ofO), 0u);
    std::vector<std::string> texts;
    for (const StASMBfOperand* p : ofO) texts.push_back(contents(p).substr(0, contents(p).find(" =")));
    EXPECT_EQ(texts, (std::vector<std::string>{"o.a", "o.sub1", "o.sub2"}));
    if (ofO.size() == 3) {
        EXPECT_EQ(c.parser->getSubOperands(ofO.back(), ofSub2), 0u);
        texts.clear();
        for (const StASMBfOperand* p : ofSub2) texts.push_back(contents(p));
        EXPECT_EQ(texts, (std::vector<std::string>{"o.sub2.v0 = 0", "o.sub2.v1 = 7"}));
    }
    for (auto* list : {&ofO, &ofSub2})
        for (StASMBfOperand* p : *list) delete p;
}

// With many boot functions the type ids and the keys of the types overlap:
// every walk still enters the type its sub-function names.
TEST(BfCompilerModel, WalksEnterTheirOwnTypeAmongMany)
{
    const int n = 40;
    std::string text = "BOOT_FUNCTIONDECL ", subs;
    for (int i = 1; i <= n; ++i) {
        const std::string b = "b" + std::to_string(i);
        text += bf("v : INT;", "", "DEPENDENCIES END_DEPENDENCIES", b.c_str(), std::to_string(i).c_str());
        subs += "s" + std::to_string(i) + " : " + b + " (RULE); ";
    }
    text += bf("", subs, "DEPENDENCIES END_DEPENDENCIES", "top", "99") + "END_BOOT_FUNCTIONDECL " + kEmptyGlobal;
    const BfCompile c = compileBf(text);
    ASSERT_EQ(c.result, 0);
    CBfBootFktTyp* top = typeNamed(c, "top");
    ASSERT_NE(top, nullptr);
    for (int i = 1; i <= n; ++i) {
        const std::string walk = "s" + std::to_string(i) + ".v", b = "b" + std::to_string(i);
        StSymbEntryID last;
        uint32_t offset = 0;
        size_t position = 0;
        EXPECT_EQ(c.parser->getLastType(String(walk.c_str()), top, last, offset, position), typeNamed(c, b.c_str()))
            << walk;
        EXPECT_EQ(last, sidIn(c, b.c_str(), "v")) << walk;
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

namespace {

const char kLarge[] =
    "BEGIN_BF_FUNCTIONS\n"
    "BF_FUNCTION(f)(int a){ return a; }\n"
    "BF_MSG_FUNCTION(g)(){ }\n"
    "END_BF_FUNCTIONS\n"
    "BOOT_FUNCTIONDECL\n"
    "BEGIN_BF inner (CS := 2)\n"
    " VAR p : INT := 5 (ALTERABLE); END_VAR\n"
    " SUB_FUNCTIONS END_SUBFUNCTIONS\n"
    " DEFAULT BEGIN_ACT d1 END_ACT\n"
    "END_BF\n"
    "BEGIN_BF outer (CS := 16#3)\n"
    " VAR\n"
    "  mode : (SLOW, FAST := 4) m := FAST;\n"
    "  TYPE tab : ARRAY [0..1] OF DINT := [1, 2];\n"
    "  r : ARRAY [0..2] OF UINT := [3(7)] (ALTERABLE);\n"
    "  pt : STRUCT x : INT; y : BOOL; END_STRUCT q;\n"
    "  t : tab;\n"
    "  s : STRING := \"hi\" (ALTERABLE_WITH_RESTART);\n"
    " END_VAR\n"
    " SUB_FUNCTIONS sub : inner (RULE); END_SUBFUNCTIONS\n"
    " DEPENDENCIES\n"
    "  DEFAULT BEGIN_ACT d2 END_ACT\n"
    "  CFGCHANGED BEGIN_ACT c2 END_ACT\n"
    "  MODIFY (sub.p) BEGIN_ACT m1 END_ACT\n"
    "  MODIFY (q.x) BEGIN_ACT m2 END_ACT\n"
    "  INSTANTIATE (sub) BEGIN_ACT i2 END_ACT\n"
    "  UNITCHANGED (1) BEGIN_ACT u2 END_ACT\n"
    " END_DEPENDENCIES\n"
    " CHECK k2 END_CHECK\n"
    " CHECK_EX x2 END_CHECK_EX\n"
    "END_BF\n"
    "END_BOOT_FUNCTIONDECL\n"
    "BOOT_FUNCTIONS\n"
    " VAR n : UDINT := 1; END_VAR\n"
    " SUB_FUNCTIONS o : outer (USER); END_SUBFUNCTIONS\n"
    " INSTANTIATE (o) BEGIN_ACT i0 END_ACT\n"
    "END_BOOT_FUNCTIONS\n"
    "BEGIN_BF_ADR_RESOLUTION $1 : @16#10 $2 : @20 END_BF_ADR_RESOLUTION\n";

}  // namespace

TEST(BfCompilerOutputs, LargerSection)
{
    const BfCompile c = compileBf(kLarge, false, 0, {String("inc1.h"), String("inc2.h")}, "Axis");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.messages, std::vector<std::string>{"514@24 sub"});
    // Types by SID: inner (1, its name range 2), outer (16, 3) and the
    // global type (19, the section's name range 1). outer's telegram holds
    // its variables m, r, q, t and s with their values' CIDs; the
    // sub-function sub (15) is called by RULE, o (18) by USER.
    EXPECT_EQ(c.boot,
              "3\r\n"
              "1\r\n1 5 inner 0 2\r\n1 2\r\n1 1 0 0  \r\n1 0 0 \r\n0 \r\n1 0 1 \r\n"
              "16\r\n16 5 outer 0 3\r\n1 3\r\n5 1 5 3 1 8 5 1 12 8 1 13 4 1 14 9  \r\n"
              "5 5 3 8 5 12 8 13 4 14 9 \r\n1 15 0 1 \r\n5 5 0 8 1 12 0 13 0 14 2 \r\n"
              "19\r\n19 11 @BfMainType 0 1\r\n1 0\r\n1 1 17 11  \r\n1 17 11 \r\n1 18 1 0 \r\n1 17 0 \r\n"
              "2\r\n1 16 2 20 ");
    // The enumeration "mode" with its enumerators and their values.
    EXPECT_EQ(c.interf, "1           17 Name_Exports_V3.1 2 4 mode 2 4 SLOW 0 4 FAST 4 0 1 4 4 4 ");
    EXPECT_EQ(c.m4h,
              "include(bfimplmk.m4)\nNAME(BASE)\nINCLUDE(bocont.hpp)\nINCLUDE(inc1.h)\nINCLUDE(inc2.h)\n"
              "DECLCONT(Axis)\nBEGIN_FCT_DECL()\nFKT_DECL(int, `f', `int a')\nMSG_FKT_DECL(int, `g', `')\n"
              "END_FCT_DECL()\n"
              "BEGIN_DECL(1, USE_MODIFY_FKT())\nDEFAULT_DECL()\nMODIFY_DECL()\nDECL_MODIFY(`sub.p')\nEND_DECL()\n"
              "BEGIN_DECL(16, USE_MODIFY_FKT(), USE_UNIT_FKT())\nDEFAULT_DECL()\nCFGCHANGE_DECL()\nMODIFY_DECL()\n"
              "DECL_MODIFY(`q.x')\nINSTANTIATE_DECL()\nUNIT_DECL()\nDECL_UNIT(`1')\nCHECK_DECL()\nCHECKEX_DECL()\n"
              "END_DECL()\n"
              "BEGIN_DECL(19)\nINSTANTIATE_DECL()\nEND_DECL()\n");
    EXPECT_EQ(c.m4c,
              "include(bfimplmk.m4)\nNAME(BASE)\nINCLUDE(math.h)\nINCLUDE(btypenames.h)\nINCLUDE(botypdat.h)\n"
              "INCLUDE(bfopernd.h)\nINCLUDE(bfcfgvar.h)\nINCLUDE(BASE.h)\n#define ERRTXT_OFFSET 0\nDECLPRINTER()\n"
              "IMPLPRINTER()\nBEGIN_CREATE_IMPL(Axis)\nCREATE(1)\nCREATE(16)\nCREATE(19)\nEND_CREATE_IMPL()\n"
              "FKT_IMPL(int, `f', `int a', `{ return a; }')\nMSG_FKT_IMPL(int, `g', `', `{ }')\n"
              "BEGIN_INIT_IMPL(1, USE_MODIFY_FKT())\nINIT_MODIFY(`sub.p')\nEND_INIT_IMPL()\n"
              "DEFAULT(1, ` d1 ')\nMODIFY_IMPL(1)\nMODIFY(1, `sub.p', ` m1 ')\n"
              "BEGIN_INIT_IMPL(16, USE_MODIFY_FKT(), USE_UNIT_FKT())\nINIT_MODIFY(`q.x')\nINIT_UNIT(`1')\n"
              "END_INIT_IMPL()\nDEFAULT(16, ` d2 ')\nCFGCHANGED(16, ` c2 ')\nMODIFY_IMPL(16)\n"
              "MODIFY(16, `q.x', ` m2 ')\nBEGIN_INSTANTIATE_IMPL(16)\nINSTANTIATE(15, ` i2 ')\n"
              "END_INSTANTIATE_IMPL()\nUNIT_IMPL(16)\nUNITCHANGED(16, `1', ` u2 ')\nCHECK(16, ` k2 ')\n"
              "CHECKEX(16, ` x2 ')\nBEGIN_INSTANTIATE_IMPL(19)\nINSTANTIATE(18, ` i0 ')\nEND_INSTANTIATE_IMPL()\n");

    // "bfsymb" reads back into a table with the SIDs of "boot".
    FsTODscFile dsc;
    ASSERT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    ASSERT_TRUE(fronttest::putSection(dsc, "bfsymb", c.symb));
    FsSecCl* section = nullptr;
    ASSERT_EQ(dsc.openSect("bfsymb", &section, 0), FS_OK);
    CBfSymbTable back;
    ASSERT_TRUE(back.load(*section));
    dsc.CloseSect("bfsymb");
    for (const auto& named : {std::make_pair("inner", 1u), std::make_pair("outer", 16u),
                              std::make_pair("@BfMainType", 19u)}) {
        const String* name = back.getName(named.second);
        ASSERT_NE(name, nullptr);
        EXPECT_STREQ(name->c_str(), named.first);
    }
}

TEST(BfCompilerOutputs, NoImplementationWritesTheContainerFrameOnly)
{
    const BfCompile c = compileBf(kLarge, false, 1, {}, "Axis", 24);
    EXPECT_EQ(c.result, 0);
    EXPECT_NE(c.m4c.find("\n#define ERRTXT_OFFSET 24\n"), std::string::npos);
    EXPECT_EQ(c.m4h.find("FKT_DECL"), std::string::npos);
    EXPECT_EQ(c.m4h.find("BEGIN_DECL("), std::string::npos);
    EXPECT_NE(c.m4c.find("BEGIN_CREATE_IMPL(Axis)"), std::string::npos);
    EXPECT_EQ(c.m4c.find("DEFAULT("), std::string::npos);
}

TEST(BfCompilerOutputs, WithoutClassifierOnlyTheExportsAreWritten)
{
    setenv("TVCLSPRV_NO_CLASSIFIER", "1", 1);
    const BfCompile c = compileBf(decl(bf("x : INT;")));
    // The message stands at the section's first line, past the line ends
    // the split puts in front of a section.
    const BfCompile late = compileBf("\r\n\r\n" + decl(bf("x : INT;")));
    unsetenv("TVCLSPRV_NO_CLASSIFIER");
    EXPECT_EQ(c.result, 3);
    EXPECT_EQ(c.messages, std::vector<std::string>{"0@1"});
    EXPECT_EQ(late.messages, std::vector<std::string>{"0@3"});
    EXPECT_EQ(c.interf, "0           17 Name_Exports_V3.1 ");
    EXPECT_EQ(c.symb, "<not written>");
    EXPECT_EQ(c.boot, "<not written>");
    EXPECT_EQ(c.m4h, "<missing>");
}

// The method's first run counts only for its messages: it writes nothing,
// and its messages and result are those of a run that writes.
TEST(BfCompilerOutputs, UnusedOutputsAreNotWritten)
{
    for (const std::string& text : {std::string(kLarge), decl(bf("Speed : INT; speed : INT;"))}) {
        const BfCompile writing = compileBf(text, true);
        const BfCompile c = compileBf(text, true, 0, {}, "Cont", 0, {"bfinterf", "bfsymb", "boot"}, true);
        EXPECT_EQ(c.result, writing.result);
        EXPECT_EQ(c.messages, writing.messages);
        for (const std::string* s : {&c.interf, &c.symb, &c.boot}) EXPECT_EQ(*s, "<not written>");
        EXPECT_EQ(c.m4h, "<missing>");
        EXPECT_EQ(c.m4c, "<missing>");
    }
}

TEST(BfCompilerOutputs, SectionsThatCannotBeOpenedGive4)
{
    const std::string text = decl(bf("x : INT;"));
    EXPECT_EQ(compileBf(text, false, 0, {}, "C", 0, {"bfsymb", "boot"}).result, 4);
    const BfCompile noSymb = compileBf(text, false, 0, {}, "C", 0, {"bfinterf", "boot"});
    EXPECT_EQ(noSymb.result, 4);
    EXPECT_EQ(noSymb.boot, "<not written>");
    EXPECT_EQ(compileBf(text, false, 0, {}, "C", 0, {"bfinterf", "bfsymb"}).result, 4);
}

TEST(BfCompilerOutputs, DeeplyNestedStructuresCompile)
{
    const int depth = 1000;  // within the parser's stack
    std::string vars;
    for (int i = 0; i < depth; ++i) vars += "s" + std::to_string(i) + " : STRUCT ";
    vars += "x : INT; ";
    for (int i = 0; i < depth; ++i) vars += "END_STRUCT v" + std::to_string(i) + "; ";
    const BfCompile c = compileBf(decl(bf(vars)));
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.messages, std::vector<std::string>{});
    EXPECT_NE(c.interf, "<not written>");
}
