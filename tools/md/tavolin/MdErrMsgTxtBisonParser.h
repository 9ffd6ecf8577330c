// Grammar of the error-text sections of a technology-object source:
//
//   BEGIN_ALARM_VRX_ERROR_TEXT                (or BEGIN_BF_ERRORTEXT)
//    MC_ERRORTEXT(20001, CmErrorMsg, 5, "text")
//    MC_ERRORTEXT(20002, CmWarnMsg, 1, 7, "text")
//   END_ALARM_VRX_ERROR_TEXT                  (or END_BF_ERRORTEXT)
//
// An item is the message number, its severity (CmHelpMsg 0, CmWarnMsg 1,
// CmErrorMsg 2, CmSafetyMsg 3), its class value, an optional third value and
// the text. A section may have no items.
//
// The grammar itself is MdErrMsgTxtBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and the actions call the hooks below in
// source order.
#pragma once

#include <cstdint>

#include "co/tvstring.h"

// A whole item that the scanner read as one token (ITEM): its values as the
// grammar would have collected them token by token.
struct MdErrMsgTxtItem {
    int32_t number = 0;
    int32_t severity = 0;
    int32_t classValue = 0;
    int32_t third = 0;  // kNoThird when the item has none
    String text;
};

class MdErrMsgTxtBisonParser;
int MdErrMsgTxtparse(MdErrMsgTxtBisonParser& parser);

class MdErrMsgTxtBisonParser {
public:
    // The third value of an item written without one.
    static constexpr int32_t kNoThird = -1;

    virtual ~MdErrMsgTxtBisonParser() = default;
    // Next token; 0 at the end of the input.
    virtual int yylex() = 0;
    // A syntax error: "parse error" or "parser stack overflow".
    virtual void yyerror(const char* text) = 0;

    // Runs the grammar: 0 accepted, 1 stopped at a syntax error or by a
    // failed section end, 2 the parser's stack would outgrow its limit.
    int yyparse() { return MdErrMsgTxtparse(*this); }

    int nextToken() { return yylex(); }
    void syntaxError(const char* text) { yyerror(text); }

protected:
    friend int MdErrMsgTxtparse(MdErrMsgTxtBisonParser& parser);
    // Before the items of a section (alarm: true); an empty section calls
    // emptySection instead, and no end.
    virtual void sectionStart(bool alarm) = 0;
    // One item in source order.
    virtual void item(int32_t number, int32_t severity, int32_t classValue, int32_t third, const String& text) = 0;
    // After the end keyword of a section with items; false stops the grammar.
    virtual bool sectionEnd() = 0;
    virtual void emptySection(bool alarm) = 0;
};
