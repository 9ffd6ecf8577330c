// The boot-function grammar: its shape as bison reports it (rules, symbols,
// token codes, no conflicts) against a table written from the grammar's
// description; sections accepted and refused with the reductions they make
// (together every rule); the parser's stacks; values handed through the
// actions exactly once.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <map>
#include <set>
#include <sstream>

#include "bf_test_support.h"

using namespace bftest;
using fronttest::MessageCapture;

namespace {

// The rules, numbered from 1; terminals as they are written in the source
// (punctuation without quotes).
const char* const kRules[] = {
    "section_mark:",
    "bf_section: section_mark implementation_part declaration_part global_part address_part",
    "implementation_part:",
    "implementation_part: BEGIN_BF_FUNCTIONS END_BF_FUNCTIONS",
    "implementation_part: BEGIN_BF_FUNCTIONS implementation_list END_BF_FUNCTIONS",
    "implementation_list: implementation",
    "implementation_list: implementation_list implementation",
    "implementation: FUNCTION_NAME_TEXT FUNCTION_PARAMS_TEXT FUNCTION_BODY_TEXT",
    "declaration_part: BOOT_FUNCTIONDECL boot_function_list END_BOOT_FUNCTIONDECL",
    "declaration_part: BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL",
    "global_part: BOOT_FUNCTIONS END_BOOT_FUNCTIONS",
    "global_mark:",
    "global_part: BOOT_FUNCTIONS var_block subfunction_block global_mark dependency check_part check_ex_part "
    "END_BOOT_FUNCTIONS",
    "boot_function_list: boot_function_list boot_function",
    "boot_function_list: boot_function",
    "bf_start_mark:",
    "bf_declared_mark:",
    "boot_function: BEGIN_BF bf_start_mark IDENTIFIER ( CS := literal ) var_block subfunction_block "
    "bf_declared_mark dependency check_part check_ex_part END_BF",
    "address_part:",
    "address_part: BEGIN_BF_ADR_RESOLUTION END_BF_ADR_RESOLUTION",
    "address_part: BEGIN_BF_ADR_RESOLUTION address_list END_BF_ADR_RESOLUTION",
    "address_list: address_entry",
    "address_list: address_list address_entry",
    "address_entry: DOLLAR_NUMBER : AT_NUMBER",
    "var_block: VAR declaration_list END_VAR",
    "var_block: VAR END_VAR",
    "subfunction_block: SUB_FUNCTIONS subfunction_list END_SUBFUNCTIONS",
    "subfunction_block: SUB_FUNCTIONS END_SUBFUNCTIONS",
    "dependency: DEPENDENCIES dependency_list END_DEPENDENCIES",
    "dependency: DEPENDENCIES END_DEPENDENCIES",
    "check_part:",
    "check_part: CHECK CODE_TEXT",
    "check_ex_part:",
    "check_ex_part: CHECK_EX CODE_TEXT",
    "subfunction_list: subfunction",
    "subfunction_list: subfunction_list subfunction",
    "subfunction: variable_head ( caller_spec ) ;",
    "caller_spec: caller",
    "caller_spec: caller CALLER_SEPARATOR caller",
    "caller: RULE",
    "caller: USER",
    "dependency_list: dependency",
    "dependency_list: dependency_list dependency",
    "dependency: DEFAULT CODE_TEXT",
    "dependency: CFGCHANGED CODE_TEXT",
    "dependency: MODIFY ( operand_path ) CODE_TEXT",
    "dependency: INSTANTIATE ( IDENTIFIER ) CODE_TEXT",
    "dependency: UNITCHANGED ( DECIMAL_LITERAL ) CODE_TEXT",
    "operand_path: IDENTIFIER",
    "operand_path: operand_path . IDENTIFIER",
    "operand_path: operand_path [ DECIMAL_LITERAL ]",
    "declaration_list: variable_decl ;",
    "declaration_list: declaration_list variable_decl ;",
    "declaration_list: array_type_decl ;",
    "declaration_list: declaration_list array_type_decl ;",
    "declaration_list: enum_decl ;",
    "declaration_list: declaration_list enum_decl ;",
    "declaration_list: struct_decl ;",
    "declaration_list: declaration_list struct_decl ;",
    "variable_decl: variable_head",
    "variable_decl: variable_head := value alter_attribute",
    "variable_init_mark:",
    "variable_decl: variable_head := variable_init_mark array_init alter_attribute",
    "variable_head: name_list : type_spec",
    "array_type_decl: array_type_head",
    "array_init_mark:",
    "array_type_decl: array_type_head := array_init_mark array_init",
    "array_type_head: array_type_def",
    "array_type_mark:",
    "array_type_def: TYPE IDENTIFIER : array_type_mark array_spec",
    "anonymous_array_mark:",
    "anonymous_array: anonymous_array_mark array_spec",
    "array_range_mark:",
    "array_spec: ARRAY [ array_range_mark index_range ] OF simple_type",
    "array_init: [ value_list ]",
    "array_init: [ literal ( value ) ]",
    "index_range: value .. value",
    "enum_decl: enum_head",
    "enum_decl: enum_head name_list := IDENTIFIER",
    "enum_head: name_list : enum_values",
    "enum_values_mark:",
    "enum_values: ( enum_values_mark enum_item_list )",
    "struct_decl: struct_def",
    "struct_decl: struct_def name_list",
    "struct_mark:",
    "struct_def: name_list : STRUCT struct_mark member_list END_STRUCT",
    "member_list: member ;",
    "member_list: member_list member ;",
    "member_list: member_list ;",
    "member_list: ;",
    "member: variable_decl",
    "member: array_type_decl",
    "member: enum_decl",
    "member: struct_decl",
    "alter_attribute:",
    "alter_attribute: ( ALTERABLE )",
    "alter_attribute: ( NOT_ALTERABLE )",
    "alter_attribute: ( ALTERABLE_WITH_RESTART )",
    "name_list: IDENTIFIER",
    "name_list: name_list , IDENTIFIER",
    "type_spec: simple_type",
    "type_spec: anonymous_array",
    "simple_type: elementary_type",
    "simple_type: named_type",
    "elementary_type: BOOL",
    "elementary_type: INT",
    "elementary_type: UINT",
    "elementary_type: DINT",
    "elementary_type: UDINT",
    "elementary_type: SINT",
    "elementary_type: USINT",
    "elementary_type: REAL",
    "elementary_type: LREAL",
    "named_type: STRING",
    "named_type: IDENTIFIER",
    "enum_item_list: enum_item",
    "enum_item_mark:",
    "enum_item_list: enum_item_list , enum_item_mark enum_item",
    "enum_item: IDENTIFIER",
    "enum_item: IDENTIFIER := literal",
    "value_list: value",
    "value_list: value_list , value",
    "value: literal",
    "value: IDENTIFIER",
    "literal: BINARY_LITERAL",
    "literal: OCTAL_LITERAL",
    "literal: DECIMAL_LITERAL",
    "literal: HEX_LITERAL",
    "literal: REAL_LITERAL",
    "literal: ONE_LITERAL",
    "literal: ZERO_LITERAL",
    "literal: STRING_LITERAL",
};

// Token codes and their written names; 295 and 331 are reserved (any name).
const char* const kTokens[] = {
    ";", ":=", ":", ".", "..", ",", "(", ")", "[", "]", "CALLER_SEPARATOR", "BEGIN_BF_FUNCTIONS",
    "FUNCTION_NAME_TEXT", "FUNCTION_PARAMS_TEXT", "FUNCTION_BODY_TEXT", "END_BF_FUNCTIONS", "TYPE", "ARRAY", "OF",
    "STRUCT", "END_STRUCT", "SINT", "USINT", "INT", "UINT", "DINT", "UDINT", "REAL", "LREAL", "STRING", "BOOL",
    "ONE_LITERAL", "ZERO_LITERAL", "CS", "ALTERABLE", "NOT_ALTERABLE", "ALTERABLE_WITH_RESTART", nullptr, "RULE",
    "USER", "OPTIONAL", "DEFAULT", "CFGCHANGED", "MODIFY", "INSTANTIATE", "UNITCHANGED", "CHECK", "CHECK_EX",
    "BOOT_FUNCTIONDECL", "END_BOOT_FUNCTIONDECL", "BOOT_FUNCTIONS", "END_BOOT_FUNCTIONS", "BEGIN_BF", "END_BF", "VAR",
    "END_VAR", "SUB_FUNCTIONS", "END_SUBFUNCTIONS", "DEPENDENCIES", "END_DEPENDENCIES", "BEGIN_BF_ADR_RESOLUTION",
    "END_BF_ADR_RESOLUTION", "DOLLAR_NUMBER", "AT_NUMBER", "UNKNOWN_CHAR", "IDENTIFIER", "BINARY_LITERAL",
    "OCTAL_LITERAL", "DECIMAL_LITERAL", "HEX_LITERAL", "REAL_LITERAL", "STRING_LITERAL", "CODE_TEXT", nullptr,
};

// A symbol name of the report: a quoted alias loses its quotes.
std::string symbol(const char* name)
{
    std::string s(name);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

}  // namespace

TEST(BfGrammar, ShapeAsBisonReportsIt)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(TV_BF_GRAMMAR_XML)) << TV_BF_GRAMMAR_XML;
    const pugi::xml_node grammar = doc.child("bison-xml-report").child("grammar");

    std::vector<std::string> rules;
    for (const pugi::xml_node r : grammar.child("rules").children("rule")) {
        if (r.attribute("number").as_int() == 0) continue;  // bison's own start rule
        EXPECT_EQ(r.attribute("number").as_int(), int(rules.size()) + 1);
        std::string text = std::string(r.child_value("lhs")) + ":";
        for (const pugi::xml_node s : r.child("rhs").children("symbol")) text += " " + symbol(s.child_value());
        rules.push_back(text);
    }
    ASSERT_EQ(rules.size(), std::size(kRules));
    for (size_t i = 0; i < rules.size(); ++i) EXPECT_EQ(rules[i], kRules[i]) << "rule " << i + 1;

    std::set<std::string> nonterminals;
    for (const pugi::xml_node n : grammar.child("nonterminals").children("nonterminal"))
        if (std::string(n.attribute("name").value()) != "$accept") nonterminals.insert(n.attribute("name").value());
    EXPECT_EQ(nonterminals.size(), 62u);
    size_t marks = 0;
    for (const std::string& n : nonterminals) marks += n.size() > 5 && n.compare(n.size() - 5, 5, "_mark") == 0;
    EXPECT_EQ(marks, 12u);

    std::map<int, std::string> tokens;
    for (const pugi::xml_node t : grammar.child("terminals").children("terminal"))
        tokens[t.attribute("token-number").as_int()] = symbol(t.attribute("name").value());
    for (int code = 258; code <= 331; ++code) {
        ASSERT_TRUE(tokens.count(code)) << code;
        if (const char* name = kTokens[code - 258]) {
            EXPECT_EQ(tokens[code], name) << code;
        }
    }
    EXPECT_FALSE(tokens.count(332));

    // No conflicts: no reduction disabled, none resolved.
    size_t conflicts = 0;
    for (const pugi::xpath_node n : doc.select_nodes("//reduction[@enabled='false'] | //resolution")) {
        (void)n;
        ++conflicts;
    }
    EXPECT_EQ(conflicts, 0u);
}

namespace {

const std::string kEmptyDecl = "BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL ";
const std::string kEmptyGlobal = "BOOT_FUNCTIONS END_BOOT_FUNCTIONS";
const std::string kMinimal = kEmptyDecl + kEmptyGlobal;
const std::string kNoSubs = " SUB_FUNCTIONS END_SUBFUNCTIONS ";
const std::string kDefault = " DEFAULT BEGIN_ACT END_ACT ";

// A section whose global block has the given VAR block body.
std::string withVars(const std::string& vars)
{
    return kEmptyDecl + "BOOT_FUNCTIONS VAR " + vars + " END_VAR" + kNoSubs + kDefault + "END_BOOT_FUNCTIONS";
}

// A section whose declaration block holds text.
std::string withDecl(const std::string& decl)
{
    return "BOOT_FUNCTIONDECL " + decl + " END_BOOT_FUNCTIONDECL " + kEmptyGlobal;
}

struct Case {
    std::string text;
    std::vector<int> rules;   // rules that must be among the reductions
    std::vector<int> absent;  // rules that must not
};

}  // namespace

TEST(BfGrammar, AcceptedSectionsCoverEveryRule)
{
    const Case cases[] = {
        {kMinimal, {1, 3, 10, 11, 19, 2}, {}},
        {"BEGIN_BF_FUNCTIONS END_BF_FUNCTIONS " + kMinimal, {4}, {}},
        {"BEGIN_BF_FUNCTIONS BF_FUNCTION(f)(a){} BF_MSG_FUNCTION(g)(){ {} } END_BF_FUNCTIONS " + kMinimal,
         {5, 6, 7, 8}, {}},
        // A lone DEFAULT as dependency; check and extended check code.
        {withDecl("BEGIN_BF b1 (CS := 1) VAR END_VAR" + kNoSubs + "DEPENDENCIES END_DEPENDENCIES END_BF "
                  "BEGIN_BF b2 (CS := 16#2) VAR END_VAR" + kNoSubs + kDefault +
                  "CHECK c END_CHECK CHECK_EX d END_CHECK_EX END_BF"),
         {9, 14, 15, 16, 17, 18, 26, 28, 30, 31, 32, 33, 34, 44}, {}},
        {withVars("x : BOOL;"), {12, 13, 25, 52, 60, 64, 99, 101, 103, 105}, {}},
        {kMinimal + " BEGIN_BF_ADR_RESOLUTION END_BF_ADR_RESOLUTION", {20}, {}},
        {kMinimal + " BEGIN_BF_ADR_RESOLUTION $1 : @2 $16#3 : @16#4 END_BF_ADR_RESOLUTION", {21, 22, 23, 24}, {}},
        // Empty and nested DEPENDENCIES blocks and every dependency form.
        {kEmptyDecl + "BOOT_FUNCTIONS VAR END_VAR" + kNoSubs +
             "DEPENDENCIES DEFAULT BEGIN_ACT END_ACT CFGCHANGED BEGIN_ACT END_ACT "
             "MODIFY(a.b[3].c) BEGIN_ACT END_ACT INSTANTIATE(s) BEGIN_ACT END_ACT UNITCHANGED(3) BEGIN_ACT END_ACT "
             "DEPENDENCIES END_DEPENDENCIES END_DEPENDENCIES END_BOOT_FUNCTIONS",
         {29, 30, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51}, {}},
        {kEmptyDecl + "BOOT_FUNCTIONS VAR END_VAR SUB_FUNCTIONS s1 : b (RULE); s2, s3 : INT (USER); END_SUBFUNCTIONS" +
             kDefault + "END_BOOT_FUNCTIONS",
         {27, 35, 36, 37, 38, 40, 41, 100, 106, 115}, {}},
        {withVars("a : INT := 1; b : UINT := 2#1 (ALTERABLE); c : DINT := 8#7 (NOT_ALTERABLE); "
                  "d : UDINT := 16#F (ALTERABLE_WITH_RESTART); e : SINT := 1.5; f : USINT := \"s\"; "
                  "g : REAL := k; h : LREAL; i : STRING;"),
         {53, 61, 95, 96, 97, 98, 106, 107, 108, 109, 110, 111, 112, 113, 114, 123, 124, 125, 126, 127, 128, 129,
          132},
         {}},
        {withVars("TYPE t : ARRAY [0..3] OF INT; TYPE u : ARRAY [1..2] OF t := [1, 2]; "
                  "v : ARRAY [0..1] OF BOOL := [2(0)]; w : ARRAY [0..n] OF u := [1, 2, 3] (ALTERABLE);"),
         {54, 55, 62, 63, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 102, 121, 122}, {}},
        // Two names before an enumeration's ":" are the actions' to refuse.
        {withVars("e : (A, B := 5, C); f, g : (X) h := X;"),
         {56, 57, 78, 79, 80, 81, 82, 116, 117, 118, 119, 120}, {}},
        {withVars("s : STRUCT a : INT; ; TYPE t : ARRAY [0..1] OF INT; e : (A); n : STRUCT ; END_STRUCT; "
                  "END_STRUCT; r : STRUCT x : BOOL; END_STRUCT r1, r2;"),
         {58, 59, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94}, {}},
        // Elementary type words in another case name a type.
        {withVars("x : int;"), {115}, {106}},
        // Nothing after the global block is parsed: the lookahead is read
        // and left.
        {kMinimal + " anything ! else", {19, 2}, {}},
    };
    std::set<int> seen;
    MessageCapture messages(argumentTable());
    for (const Case& c : cases) {
        const BfRun r = parseSection(c.text);
        EXPECT_EQ(r.result, 0) << c.text;
        EXPECT_EQ(r.errors, 0) << c.text;
        const std::set<int> got(r.rules.begin(), r.rules.end());
        for (int rule : c.rules) EXPECT_TRUE(got.count(rule)) << "rule " << rule << " in " << c.text;
        for (int rule : c.absent) EXPECT_FALSE(got.count(rule)) << "rule " << rule << " in " << c.text;
        EXPECT_EQ(r.rules.back(), 2) << c.text;
        EXPECT_EQ(CountedValue::live, 0) << c.text;
        seen.insert(got.begin(), got.end());
    }
    EXPECT_TRUE(messages.records.empty());

    // The three rules no scanner rule can reach, by tokens.
    TokenFeedParser p({{BF_BOOT_FUNCTIONDECL, nullptr}, {BF_END_BOOT_FUNCTIONDECL, nullptr},
                       {BF_BOOT_FUNCTIONS, nullptr}, {BF_VAR, nullptr},
                       {BF_IDENTIFIER, "a"}, {BF_COLON, nullptr}, {BF_INT, nullptr}, {BF_ASSIGN, nullptr},
                       {BF_ONE_LITERAL, nullptr}, {BF_SEMICOLON, nullptr},
                       {BF_IDENTIFIER, "b"}, {BF_COLON, nullptr}, {BF_INT, nullptr}, {BF_ASSIGN, nullptr},
                       {BF_ZERO_LITERAL, nullptr}, {BF_SEMICOLON, nullptr}, {BF_END_VAR, nullptr},
                       {BF_SUB_FUNCTIONS, nullptr}, {BF_IDENTIFIER, "s"}, {BF_COLON, nullptr}, {BF_INT, nullptr},
                       {BF_LPAREN, nullptr}, {BF_RULE, nullptr}, {BF_CALLER_SEPARATOR, nullptr}, {BF_USER, nullptr},
                       {BF_RPAREN, nullptr}, {BF_SEMICOLON, nullptr}, {BF_END_SUBFUNCTIONS, nullptr},
                       {BF_DEPENDENCIES, nullptr}, {BF_END_DEPENDENCIES, nullptr}, {BF_END_BOOT_FUNCTIONS, nullptr}});
    EXPECT_EQ(p.parse(), 0);
    const std::vector<int> streamRules = p.rules();
    const std::set<int> got(streamRules.begin(), streamRules.end());
    for (int rule : {39, 130, 131}) EXPECT_TRUE(got.count(rule)) << rule;
    seen.insert(got.begin(), got.end());
    EXPECT_EQ(CountedValue::live, 0);

    for (int rule = 1; rule <= 132; ++rule) EXPECT_TRUE(seen.count(rule)) << "no case reduces rule " << rule;
}

TEST(BfGrammar, ReductionsWithTheirLinesAndValues)
{
    std::istringstream in("BOOT_FUNCTIONDECL\nEND_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\nEND_BOOT_FUNCTIONS\n");
    RecordingBfParser p;
    p.read(in);
    EXPECT_EQ(p.parse(), 0);
    std::vector<std::pair<int, int32_t>> got;
    for (const auto& r : p.reductions) got.emplace_back(r.rule, r.line);
    EXPECT_EQ(got, (std::vector<std::pair<int, int32_t>>{{1, 1}, {3, 1}, {10, 2}, {11, 4}, {19, 5}, {2, 5}}));

    // The operand path of MODIFY is joined from its pieces.
    const BfRun r = parseSection(kEmptyDecl + "BOOT_FUNCTIONS VAR END_VAR" + kNoSubs +
                                 "MODIFY(a.b[3].c[10]) BEGIN_ACT END_ACT END_BOOT_FUNCTIONS");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.paths, std::vector<std::string>{"a.b[3].c[10]"});
}

TEST(BfGrammar, RefusedSectionsStopAtTheFirstError)
{
    const struct {
        std::string text;
        uint32_t line;
    } cases[] = {
        {kEmptyGlobal, 1},                                       // no declaration block
        {"BOOT_FUNCTIONDECL\nEND_BOOT_FUNCTIONDECL", 2},          // no global block
        {withDecl("BEGIN_BF b (CS := 1) VAR END_VAR" + kNoSubs + "END_BF"), 1},  // no dependency
        {withDecl("BEGIN_BF x (CS := 1)\n" + kNoSubs + kDefault + "END_BF"), 2},  // no VAR block
        {withVars("e : ();"), 1},                                // no enumerator
        {withVars("s : STRUCT END_STRUCT;"), 1},                 // no member, no ";"
        {withVars("a : ARRAY [0..1] OF INT := [];"), 1},         // no value
        {kEmptyDecl + "BOOT_FUNCTIONS VAR END_VAR SUB_FUNCTIONS s : INT (RULE)\nEND_SUBFUNCTIONS" + kDefault +
             "END_BOOT_FUNCTIONS",
         2},                                                     // sub-function without ";"
        {withVars("a : INT := 0x10;"), 1},                       // C notation
        {withVars("\nOPTIONAL a : INT;"), 2},                    // a reserved token
        {withDecl("begin_bf b (CS := 1) VAR END_VAR" + kNoSubs + kDefault + "END_BF"), 1},
        {"", 1},                                                 // nothing at all
    };
    MessageCapture messages(argumentTable());
    for (const auto& c : cases) {
        messages.clear();
        const BfRun r = parseSection(c.text);
        EXPECT_EQ(r.result, 1) << c.text;
        EXPECT_EQ(r.errors, 1) << c.text;
        ASSERT_EQ(messages.ids(), std::vector<uint32_t>{502}) << c.text;
        EXPECT_EQ(messages.records[0].text, "parse error") << c.text;
        EXPECT_EQ(messages.records[0].position, c.line) << c.text;
        EXPECT_EQ(CountedValue::live, 0) << c.text;
    }
}

TEST(BfGrammar, StacksGrowToTheirLimit)
{
    MessageCapture messages(argumentTable());
    auto nested = [](size_t depth) {
        std::string s = kEmptyDecl + "BOOT_FUNCTIONS VAR END_VAR" + kNoSubs;
        for (size_t i = 0; i < depth; ++i) s += "DEPENDENCIES ";
        for (size_t i = 0; i < depth; ++i) s += "END_DEPENDENCIES ";
        return s + "END_BOOT_FUNCTIONS";
    };
    BfRun r = parseSection(nested(1000));
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(messages.records.empty());

    r = parseSection(nested(10000));
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.errors, 1);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{502});
    EXPECT_EQ(messages.records[0].text, "parser stack overflow");
    EXPECT_EQ(CountedValue::live, 0);
}

TEST(BfGrammar, FuzzSeedsAreAcceptedSections)
{
    for (const char* name : {"functions.txt", "declarations.txt"}) {
        const BfRun r =
            parseSection(fronttest::readFile(std::string(TV_SOURCE_DIR) + "/fuzz/corpus/bf_parser/" + name));
        EXPECT_EQ(r.result, 0) << name;
        EXPECT_EQ(r.errors, 0) << name;
    }
}
