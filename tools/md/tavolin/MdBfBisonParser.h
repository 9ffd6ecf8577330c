// The boot-function section grammar (MdBfBisonParser.ypp) and the interface
// its rule actions call.
//
// The grammar's rules are numbered 1 to 132 in the order the boot-function
// compiler names its actions; every rule that builds or consumes something
// has one member here named after its number (rule8, rule17, ...). Each
// reduction first calls noteRule with the rule's number, which tells
// `reduced` the rule and the current line once an implementation has asked
// for that (noteReductions): a log of every reduction for a recording
// implementation; nothing for the compiler.
//
// Semantic values:
// - text tokens (identifiers, numbers, "$" and "@" numbers, strings, the
//   three function texts, code blocks) and the operand path: a String the
//   scanner allocated;
// - name lists, declaration groups, sub-functions, constant elements and
//   their lists: an MdBfValue the actions allocate (a subclass of their
//   own), or null;
// - types, callers, caller specifications, alter attributes and the running
//   enumerator value of the two enumeration markers: a 32-bit number.
//
// Ownership: a member owns every String and MdBfValue it is given (it keeps
// or deletes them). The empty marker rules (12, 17, 62, 66, 69, 85, 117)
// only borrow the values that precede them in their rule: the rule that
// contains the marker receives them afterwards. Whatever a syntax error
// leaves on the parser's stack is deleted by the grammar.
//
// Fixed by the grammar, without a member: the caller codes (RULE 0, USER 1)
// and the alter attributes (none and NOT_ALTERABLE 0, ALTERABLE 1,
// ALTERABLE_WITH_RESTART 2); the lists and types that pass one value on
// unchanged (rules 25-28, 89-94, 101-104, 123; an empty VAR or
// SUB_FUNCTIONS block and a member list of ";" alone give null).
//
// An action ends the parse by calling endParse: yyparse then answers 4.
#pragma once

#include <cstdint>

#include "co/tvstring.h"
#include "tools/md/tavolin/MdBisonParserBase.h"

class MdBfBisonParser;
int MdBfparse(MdBfBisonParser& parser);

// A value of the actions' own kind on the parser's stack; deleted through
// this base. Each kind names itself, so that an action tells what it was
// given without a dynamic cast (mdBfAs).
class MdBfValue {
public:
    enum Kind : uint8_t { KindOther, KindSymbols, KindElems, KindInit, KindNames, KindRange };
    virtual ~MdBfValue() = default;
    Kind valueKind() const { return m_kind; }

protected:
    explicit MdBfValue(Kind kind = KindOther) : m_kind(kind) {}

private:
    Kind m_kind;
};

// v as the value class T (whose kKind names its kind), or null when v is
// null or of another kind.
template <class T>
T* mdBfAs(MdBfValue* v)
{
    return v && v->valueKind() == T::kKind ? static_cast<T*>(v) : nullptr;
}
template <class T>
const T* mdBfAs(const MdBfValue* v)
{
    return v && v->valueKind() == T::kKind ? static_cast<const T*>(v) : nullptr;
}

// Codes the grammar gives without asking the actions.
enum : uint32_t {
    MdBfCallerRule = 0,
    MdBfCallerUser = 1,
    MdBfAccessNone = 0,       // no attribute, or NOT_ALTERABLE
    MdBfAccessAlterable = 1,  // ALTERABLE
    MdBfAccessRestart = 2,    // ALTERABLE_WITH_RESTART
};

class MdBfBisonParser : public MdBisonParserBase {
public:

    // Runs the grammar: 0 the section was accepted (reducing rule 2 accepts
    // at once; what follows is not read), 1 stopped at the first syntax
    // error, 2 the stacks would outgrow 10000 entries, 4 an action ended
    // the parse.
    int yyparse();

    // The generated parser reaches the actions through these (the scanner
    // and the error report through the base).
    void noteRule(int rule)
    {
        if (m_noting) reduced(rule, currentLine());
    }
    bool endRequested() const { return m_end; }

    // ---- the actions (defaults: delete what they are given, give null or
    // 0; rules 49-51 join the operand path "a.b[3]") ----
    virtual void rule1() {}
    virtual void rule8(String* name, String* params, String* body) { drop(name, params, body); }
    virtual void rule11() {}
    virtual void rule12(const MdBfValue* /*vars*/, const MdBfValue* /*subFunctions*/) {}
    virtual void rule13(MdBfValue* vars, MdBfValue* subFunctions) { drop(vars, subFunctions); }
    virtual void rule16() {}
    virtual void rule17(const String* /*name*/, const MdBfValue* /*cs*/, const MdBfValue* /*vars*/,
                        const MdBfValue* /*subFunctions*/)
    {
    }
    virtual void rule18(String* name, MdBfValue* cs, MdBfValue* vars, MdBfValue* subFunctions)
    {
        drop(name, cs, vars, subFunctions);
    }
    virtual void rule24(String* dollarNumber, String* atNumber) { drop(dollarNumber, atNumber); }
    virtual void rule32(String* code) { drop(code); }
    virtual void rule34(String* code) { drop(code); }
    virtual MdBfValue* rule35(MdBfValue* subFunction) { return give(35, subFunction); }
    virtual MdBfValue* rule36(MdBfValue* list, MdBfValue* subFunction) { return give(36, list, subFunction); }
    virtual MdBfValue* rule37(MdBfValue* head, uint32_t /*callers*/) { return give(37, head); }
    virtual uint32_t rule38(uint32_t caller) { return 1u << (caller & 1u); }
    virtual uint32_t rule39(uint32_t first, uint32_t second) { return (1u << (first & 1u)) | (1u << (second & 1u)); }
    virtual void rule44(String* code) { drop(code); }
    virtual void rule45(String* code) { drop(code); }
    virtual void rule46(String* path, String* code) { drop(path, code); }
    virtual void rule47(String* name, String* code) { drop(name, code); }
    virtual void rule48(String* number, String* code) { drop(number, code); }
    virtual String* rule49(String* name) { return name; }
    virtual String* rule50(String* path, String* name);
    virtual String* rule51(String* path, String* index);
    // declaration_list: the first group (52, 54, 56, 58) and one more group
    // after a list (53, 55, 57, 59), for variables, array types,
    // enumerations and structures.
    virtual MdBfValue* rule52(MdBfValue* decl) { return give(52, decl); }
    virtual MdBfValue* rule53(MdBfValue* list, MdBfValue* decl) { return give(53, list, decl); }
    virtual MdBfValue* rule54(MdBfValue* decl) { return give(54, decl); }
    virtual MdBfValue* rule55(MdBfValue* list, MdBfValue* decl) { return give(55, list, decl); }
    virtual MdBfValue* rule56(MdBfValue* decl) { return give(56, decl); }
    virtual MdBfValue* rule57(MdBfValue* list, MdBfValue* decl) { return give(57, list, decl); }
    virtual MdBfValue* rule58(MdBfValue* decl) { return give(58, decl); }
    virtual MdBfValue* rule59(MdBfValue* list, MdBfValue* decl) { return give(59, list, decl); }
    virtual MdBfValue* rule60(MdBfValue* head) { return give(60, head); }
    virtual MdBfValue* rule61(MdBfValue* head, MdBfValue* value, uint32_t /*access*/) { return give(61, head, value); }
    virtual void rule62(const MdBfValue* /*head*/) {}
    virtual MdBfValue* rule63(MdBfValue* head, MdBfValue* init, uint32_t /*access*/) { return give(63, head, init); }
    virtual MdBfValue* rule64(MdBfValue* names, uint32_t /*type*/) { return give(64, names); }
    virtual MdBfValue* rule65(MdBfValue* head) { return give(65, head); }
    virtual void rule66(const MdBfValue* /*head*/) {}
    virtual MdBfValue* rule67(MdBfValue* head, MdBfValue* init) { return give(67, head, init); }
    virtual MdBfValue* rule68(MdBfValue* def) { return give(68, def); }
    virtual void rule69(const String* /*name*/) {}
    virtual MdBfValue* rule70(String* name, uint32_t /*arrayType*/) { return give(70, name); }
    virtual void rule71() {}
    virtual uint32_t rule72(uint32_t arrayType) { return arrayType; }
    virtual void rule73() {}
    virtual uint32_t rule74(MdBfValue* range, uint32_t /*elementType*/)
    {
        drop(range);
        return 0;
    }
    virtual MdBfValue* rule75(MdBfValue* values) { return give(75, values); }
    virtual MdBfValue* rule76(MdBfValue* count, MdBfValue* value) { return give(76, count, value); }
    virtual MdBfValue* rule77(MdBfValue* low, MdBfValue* high) { return give(77, low, high); }
    virtual MdBfValue* rule78(MdBfValue* head) { return give(78, head); }
    virtual MdBfValue* rule79(MdBfValue* head, MdBfValue* names, String* initial)
    {
        return give(79, head, names, initial);
    }
    virtual MdBfValue* rule80(MdBfValue* names, MdBfValue* enumerators) { return give(80, names, enumerators); }
    // The running enumerator value before the first enumerator.
    virtual uint32_t rule81() { return 0; }
    virtual MdBfValue* rule82(MdBfValue* items) { return give(82, items); }
    virtual MdBfValue* rule83(MdBfValue* def) { return give(83, def); }
    virtual MdBfValue* rule84(MdBfValue* def, MdBfValue* names) { return give(84, def, names); }
    virtual void rule85(const MdBfValue* /*names*/) {}
    virtual MdBfValue* rule86(MdBfValue* names, MdBfValue* members) { return give(86, names, members); }
    virtual MdBfValue* rule87(MdBfValue* member) { return give(87, member); }
    virtual MdBfValue* rule88(MdBfValue* list, MdBfValue* member) { return give(88, list, member); }
    virtual MdBfValue* rule99(String* name) { return give(99, name); }
    virtual MdBfValue* rule100(MdBfValue* names, String* name) { return give(100, names, name); }
    // Elementary types in rule order: BOOL, INT, UINT, DINT, UDINT, SINT,
    // USINT, REAL, LREAL; then STRING and a named type.
    virtual uint32_t rule105() { return 0; }
    virtual uint32_t rule106() { return 0; }
    virtual uint32_t rule107() { return 0; }
    virtual uint32_t rule108() { return 0; }
    virtual uint32_t rule109() { return 0; }
    virtual uint32_t rule110() { return 0; }
    virtual uint32_t rule111() { return 0; }
    virtual uint32_t rule112() { return 0; }
    virtual uint32_t rule113() { return 0; }
    virtual uint32_t rule114() { return 0; }
    virtual uint32_t rule115(String* name)
    {
        drop(name);
        return 0;
    }
    virtual MdBfValue* rule116(MdBfValue* item) { return give(116, item); }
    // The running enumerator value for the enumerator after the list.
    virtual uint32_t rule117(const MdBfValue* /*items*/) { return 0; }
    virtual MdBfValue* rule118(MdBfValue* items, MdBfValue* item) { return give(118, items, item); }
    // running: the value the marker before the enumerator gave.
    virtual MdBfValue* rule119(String* name, uint32_t /*running*/) { return give(119, name); }
    virtual MdBfValue* rule120(String* name, MdBfValue* literal, uint32_t /*running*/)
    {
        return give(120, name, literal);
    }
    virtual MdBfValue* rule121(MdBfValue* value) { return give(121, value); }
    virtual MdBfValue* rule122(MdBfValue* list, MdBfValue* value) { return give(122, list, value); }
    virtual MdBfValue* rule124(String* name) { return give(124, name); }
    // Literals: binary, octal, decimal, hexadecimal, real, the two value
    // tokens ("1" and "0", no text of their own) and a string.
    virtual MdBfValue* rule125(String* text) { return give(125, text); }
    virtual MdBfValue* rule126(String* text) { return give(126, text); }
    virtual MdBfValue* rule127(String* text) { return give(127, text); }
    virtual MdBfValue* rule128(String* text) { return give(128, text); }
    virtual MdBfValue* rule129(String* text) { return give(129, text); }
    virtual MdBfValue* rule130() { return give(130); }
    virtual MdBfValue* rule131() { return give(131); }
    virtual MdBfValue* rule132(String* text) { return give(132, text); }

protected:
    // Every reduction, before its action (rule 1-132, the scanner's line),
    // once noteReductions has been called (a compile asks no line for the
    // no-op).
    virtual void reduced(int rule, int32_t line) { (void)rule, (void)line; }
    void noteReductions() { m_noting = true; }
    // The line the scanner is at.
    virtual int32_t currentLine() const { return 0; }
    // What the value-giving defaults give for a rule: null here; a
    // recording implementation may give values of its own.
    virtual MdBfValue* newValue(int rule)
    {
        (void)rule;
        return nullptr;
    }
    // Ends the parse after the current action; yyparse answers 4.
    void endParse() { m_end = true; }
    // What the defaults do with what they are given: delete it, and give
    // newValue of their rule where a value is due.
    template <class... T>
    static void drop(T*... owned)
    {
        (delete owned, ...);
    }
    template <class... T>
    MdBfValue* give(int rule, T*... owned)
    {
        drop(owned...);
        return newValue(rule);
    }

private:
    bool m_end = false;
    bool m_noting = false;
};
