// Grammar of the variables section of a technology-object type source and
// the actions it calls:
//
//   CONFIGS  1 "Standard"  DEFAULT(1)  GROUP(16#10) : "Drive" 1 "electric" END_GROUP  END_CONFIGS
//   RESOLVE  MAXID := 428;  LOCAL(0) := GLOBAL(91), DEFAULT(93), POSSIBLE(92, 93);  END_RESOLVE
//   ATTRIBUTES  $10 [16#3] : 16#101 2 3 4 5   $13-$15 [16#1] : UNDEF  END_ATTRIBUTES
//   VALUES  $10 [16#3] : Min(-5) Def(0) Max(100) Unit(91)   $14 [16#1] : Def(1.5) Fixed(93)  END_VALUES
//   BITFIELDTYPES 1 "off" "on" END_BITFIELDTYPES  BITFIELDS $13 [16#1] 0 1 "ready" END_BITFIELDS
//   DYN_ARRAY  $11 [16#FFFFFFFF] : $12, $20;  END_DYN_ARRAY
//
// A section is one or more of these blocks in any order, each kind as often
// as wanted. Inside CONFIGS the configuration list, the DEFAULT part and the
// group list may stand in any order, each at most once (a second DEFAULT is
// a syntax error). Variables are addresses ("$" and an integer); a range
// "$a-$b" must be written with "$" on both sides. Value items are Min, Def
// and Max with an integer, TRUE, FALSE or a real, Unit and Fixed with an
// integer; "UNDEF" stands alone ("UNDEF" after an item is a syntax error,
// items after "UNDEF" are refused by the grammar's action).
//
// The grammar itself is MdVarExtBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and every rule that does something calls
// one member below, in source order. Numbers are the scanner's 32-bit
// signed integers as written (hexadecimal ones carry their bits: 16#FFFFFFFF
// is -1). Texts are lent for the call. A statement the scanner hands on as
// one token (MdVarExtStatement) calls the same members, in the same order
// and at the same points of the reading, as its tokens would.
//
// Ownership: an attribute record comes from attributeValues and goes to the
// attribute statement, which owns it afterwards (null for "UNDEF"); a record
// left on the stack by a syntax error or a stop is deleted by the grammar.
// The items of a value statement and the addresses of a dynamic-array
// statement are not kept by the grammar: the actions collect what they need
// between the head and the end of their statement.
//
// An action ends the parse by calling stopParse(result); yyparse then
// answers that result (2, 3 or 5 as the compiler decides).
#pragma once

#include <cstdint>
#include <vector>

#include "bo/bo/BoVarExt.h"
#include "co/tvstring.h"
#include "tools/md/tavolin/MdBisonParserBase.h"

class MdVarExtBisonParser;
struct MdVarExtStatement;
int MdVarExtparse(MdVarExtBisonParser& parser);

class MdVarExtBisonParser : public MdBisonParserBase {
public:
    // Kinds of value items, as the value records number them.
    enum ItemKind : uint32_t { ItemMin = 0, ItemDef = 1, ItemMax = 2, ItemUnit = 3, ItemFixed = 4 };
    using IntList = std::vector<int32_t>;

    // Runs the grammar: 0 accepted, 1 stopped at the first syntax error,
    // 2 the stacks would outgrow 10000 entries, otherwise the result an
    // action gave stopParse.
    int yyparse();

    // The generated parser reaches the actions through these (the scanner
    // and the error report through the base).
    bool stopRequested() const { return m_stop != 0; }
    int32_t currentGroup() const { return m_group; }
    void setCurrentGroup(int32_t group) { m_group = group; }
    bool undefSeen() const { return m_undef; }
    void setUndefSeen(bool undef) { m_undef = undef; }

    // ---- configurations ----
    // A configuration of the list: number and text.
    virtual void configuration(int32_t number, const String& text) = 0;
    // "DEFAULT" "(" cfg ")".
    virtual void defaultConfiguration(int32_t cfg) = 0;
    // "GROUP" "(" group ")" ":" text, before the group's entries.
    virtual void groupHead(int32_t group, const String& text) = 0;
    // An entry of the group whose head came last: configuration and text.
    virtual void groupEntry(int32_t group, int32_t cfg, const String& text) = 0;

    // ---- resolve blocks ----
    // "MAXID" ":=" m ";".
    virtual void maxId(int32_t m) = 0;
    // "LOCAL" "(" l ")" ":=" "GLOBAL" "(" q ")", then hasDefault: ","
    // "DEFAULT" "(" d ")", then hasPossible: "," "POSSIBLE" "(" units ")",
    // then ";" (d is 0 without DEFAULT, units empty without POSSIBLE).
    virtual void resolve(int32_t local, int32_t quantity, bool hasDefault, int32_t defaultUnit, bool hasPossible,
                         const IntList& units) = 0;
    // "END_RESOLVE".
    virtual void resolveEnd() = 0;

    // ---- attributes ----
    // The five numbers of an attribute statement: a new record for the
    // statement, or null (when refusing, the action may stop the parse).
    virtual VarExt* attributeValues(int32_t a, int32_t ato1, int32_t ato2, int32_t g, int32_t te) = 0;
    // "$" adr "[" mask "]" ":" values; "$" first "-" "$" last for a range
    // (last differs from first only in a range). record: what
    // attributeValues gave, null for "UNDEF"; taken over.
    virtual void attribute(bool range, int32_t first, int32_t last, int32_t mask, VarExt* record) = 0;

    // ---- values ----
    // The head of a value statement, before its items ("$" first "[" mask
    // "]" ":", or the range form).
    virtual void valueHead(bool range, int32_t first, int32_t last, int32_t mask) = 0;
    // Items: Min, Def or Max with TRUE (1) or FALSE (0), or with a number
    // of any form as written (the scanner gives it as its text); Unit and
    // Fixed with their number.
    virtual void valueNumber(ItemKind kind, int32_t value) = 0;
    virtual void valueReal(ItemKind kind, const String& text) = 0;
    virtual void valueUnit(int32_t unit) = 0;
    virtual void valueFixed(int32_t unit) = 0;
    // "UNDEF" followed by an item, called at that item instead of its own
    // member. The compiler refuses it (and stops the parse).
    virtual void undefWithItems() = 0;
    // The end of the value statement whose head came last; undef: it was
    // "UNDEF" (no items were handed on).
    virtual void valueStatement(bool range, int32_t first, int32_t last, int32_t mask, bool undef) = 0;

    // ---- bit fields ----
    // A bit type: number, first text, second text.
    virtual void bitType(int32_t number, const String& first, const String& second) = 0;
    // "$" adr "[" mask "]" bit type text, or the range form.
    virtual void bitField(bool range, int32_t first, int32_t last, int32_t mask, int32_t bit, int32_t type,
                          const String& text) = 0;

    // ---- dynamic arrays ----
    // A statement begins: its "$" is read (the scanner stands on its line).
    virtual void dynArrayStart() {}
    // One listed array address, as it is read.
    virtual void dynArrayElement(int32_t adr) = 0;
    // The complete statement: size variable, mask and the listed arrays.
    virtual void dynArray(int32_t sizeAdr, int32_t mask, const IntList& arrays) = 0;

    // ---- whole statements (MdVarExtStatement) ----
    // The generated parser hands a statement the scanner read as one token
    // to these, which call the actions above exactly as the statement's
    // tokens would have: false when an action stopped the parse.
    bool attributeStatement(const MdVarExtStatement& s);
    // The head and the items; the further items written after them and then
    // valueStatementEnd follow as for the statement's tokens.
    bool valueStatementStart(const MdVarExtStatement& s);
    void valueStatementEnd();

protected:
    // Ends the parse after the current action; yyparse answers result.
    void stopParse(int result) { m_stop = result; }

private:
    int32_t m_valueAdr = 0;    // the value statement begun by a whole-statement token
    int32_t m_valueMask = 0;
    String m_realText;         // its real items' texts in turn
    int m_stop = 0;
    int32_t m_group = 0;   // number of the group whose entries are read
    bool m_undef = false;  // the current value statement began with "UNDEF"
};

// A statement that the scanner reads as one token (MdVarExtScanner.h): the
// single-address form of an attribute or a value statement, "$" adr "["
// mask "]" ":" and its values, when all of it stands on one line with
// nothing but blanks between its tokens. Valid until the scanner reads on.
struct MdVarExtStatement {
    static constexpr int kMaxItems = 8;
    static constexpr int kMaxText = 40;

    // A value item: Min, Def or Max with a number (TRUE 1, FALSE 0) or a
    // real as written, Unit or Fixed with a number.
    struct Item {
        MdVarExtBisonParser::ItemKind kind = MdVarExtBisonParser::ItemDef;
        bool real = false;
        int32_t number = 0;
        int length = 0;  // of the real's text
        char text[kMaxText + 1] = {};
    };

    int32_t adr = 0;
    int32_t mask = 0;
    bool undef = false;      // "UNDEF" in place of the values
    int32_t values[5] = {};  // an attribute statement's five numbers
    int itemCount = 0;       // a value statement's items (none after "UNDEF")
    Item items[kMaxItems];
};
