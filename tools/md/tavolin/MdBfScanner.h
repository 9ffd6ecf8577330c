// Scanner of the boot-function section (MdBfScanner.lpp):
// MdBfScannerFlexLexer, a flex class with the members the scan needs.
//
// Tokens are the codes of MdBfBisonParser.ypp. Keywords are upper case and
// case-sensitive; a keyword in any other case, or followed by further name
// characters, is an identifier. Besides keywords, punctuation and literals
// the scanner collects four kinds of verbatim text and hands each over as
// one token:
// - "BF_FUNCTION(" or "BF_MSG_FUNCTION(" name ")(" parameters ")" and the
//   brace-balanced body that follows: three tokens (name, parameters, body
//   with its braces); the message-function flag tells which opener it was.
//   In the body "//" comments and "/* */" comments are collected without
//   counting their braces; strings are not recognised, so braces in them
//   count.
// - "BEGIN_ACT" ... "END_ACT", "CHECK" ... "END_CHECK" and "CHECK_EX" ...
//   "END_CHECK_EX": one CODE_TEXT each (CHECK and CHECK_EX also give their
//   own token first). The end word ends the block wherever it stands, also
//   at the end of a longer word.
// In collected texts CR is dropped. Strings keep everything but \" (a
// quote). Comments: "//" to the line end (a "//" without a line end after it
// is two unknown characters), "(* *)" and "/* */", not nested. Every LF of
// a match counts one line.
//
// Each identifier (lower-cased A-Z first when the lower-case flag is set)
// goes to the name classifier when one is set: a code other than 0 whose
// low 16 bits are not 0x54 gives warning 516 with the name (not counted).
//
// Errors: a character no rule takes gives LexerError with the character and
// the token UNKNOWN_CHAR; the end of input inside a code block or function
// text gives LexerError("unexpected end of file") and the end of input.
//
// The token value (the process-wide MdBflval of the grammar) and the brace
// depth of a body are process-wide: one boot-function section is scanned at
// a time.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#ifndef MD_BF_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdBfBaseFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif

#include "co/tvstring.h"

struct INameClassifier;

// Message ids the scanner reports.
enum : uint32_t {
    MdBfMsgInternal = 0,     // "Interner Fehler"
    MdBfMsgBase = 500,
    MdBfMsgScanner = 501,    // "Fehler im Scanner" (LexerError)
    MdBfMsgParser = 502,     // "Fehler im Parser" (yyerror)
    MdBfMsgReserved = 516,   // a reserved word as identifier (warning)
};

class MdBfScannerFlexLexer : public MdBfBaseFlexLexer {
public:
    explicit MdBfScannerFlexLexer(std::istream* in = nullptr, std::ostream* out = nullptr);

    // Next token code, 0 at the end of the input; value tokens leave a new
    // String in the grammar's MdBflval.text, which the parser then owns.
    int yylex() override;

    // Reports message id at the current line with no, one or two texts
    // (arg2 only together with arg1); counts nothing.
    virtual void reportError(uint32_t id, const String* arg1 = nullptr, const String* arg2 = nullptr) = 0;

    // The classifier asked about identifiers (not owned; null: no check).
    void setClassifier(INameClassifier* classifier) { m_classifier = classifier; }
    INameClassifier* classifier() const { return m_classifier; }
    void setLowerCase(bool on) { m_lowerCase = on ? 1 : 0; }
    // 1 when the last function opener was "BF_MSG_FUNCTION(".
    uint8_t messageFunction() const { return m_msgFunction; }

private:
    // The value of a text token: a new String of text.
    static void giveText(const char* text, size_t length);
    void giveCollected();
    void identifier();
    // m_lowerCase: A-Z lower-cased in place.
    void lowerCase(char* from, const char* to) const;
    // Asks the classifier about a name (0-terminated): message 516 for a
    // reserved word.
    void classify(const char* name, size_t length);
    // In the initial condition, at the scanner's position: a name that runs
    // to the buffer's end and is longer than every keyword is collected by
    // hand in LONG_NAME (m_name), not held as one token of a growing buffer.
    void longNameAhead();
    // Adds the name's bytes from `from` on that the buffer holds to m_name;
    // true when the name ends inside the buffer.
    bool takeLongName(char* from);
    // The collected name as the identifier token (as identifier() gives it).
    int longName();
    void collect(const char* text, size_t length);  // CR dropped
    void enter(int condition);                      // saves the current one
    // In a code block: collects the block from the buffer by hand, as the
    // rules would (CR dropped, LF counted), up to its end word. True when
    // the end word was found: the saved condition is back and the block's
    // text is the token value. False otherwise (not in a code block, or the
    // buffer ends first): the rules go on from where the collection stopped.
    bool takeCodeAhead();
    int endOfText();                                // end of input in a text

    int32_t m_savedCondition = 0;    // of "(*", strings, code blocks and function texts
    int32_t m_commentCondition = 0;  // of "/*"
    String m_text;                   // the text being collected
    String m_name;                   // a long name being collected
    INameClassifier* m_classifier = nullptr;
    uint8_t m_lowerCase = 0;
    uint8_t m_msgFunction = 0;
};
