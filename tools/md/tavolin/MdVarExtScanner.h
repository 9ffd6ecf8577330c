// Scanner class of the variables section (MdVarExtScanner.lpp):
// MdVarExtScanner, on MdVarExtScannerFlexLexer, the flex base renamed for
// this kind so that several scanners share one library.
//
// Tokens (codes of MdVarExtBisonParser.ypp, 258 to 301): the keywords of
// the section (case-sensitive: "Def", "Min", "Max", "Unit" and "Fixed" are
// written so, all others in capitals), "$", "[", "]", "(", ")", ":", ":=",
// ";", ",", "-", integers, reals, strings, "TRUE" and "FALSE", and whole
// statements (below).
//
// - Integer: an optional sign directly followed by decimal digits, within
//   the signed 32-bit range ("-5" is one integer, "- 5" a "-" and 5); or
//   "16#" and hexadecimal digits of either case with at most eight
//   significant digits, read as 32 bits ("16#FFFFFFFF" is -1). A decimal
//   number outside the range or a longer hexadecimal one goes to
//   numberOutOfRange with its text and is skipped. "0x1" is the integer 0
//   and a stray "x".
// - Real: an optional sign, digits, and a fraction, an exponent or both
//   ("1.5", "-2e3", "1.5E-3"); its value is its text as written. The number
//   of a value item (directly after "Def", "Min" or "Max" and "(") comes as
//   a real whatever its form, its text as written: its value is what the
//   item's type makes of that literal.
// - String: between double quotes; a backslash directly before a double
//   quote stands for that quote, every other byte for itself (backslashes
//   and line ends too).
//
// Blanks, tabs, CR LF, LF and "(* ... *)" comments (not nested) are
// skipped; every line feed, also inside a string or comment, advances the
// line number. A CR without LF and any other character that begins no token
// is stray: the first hundred of a run of them (consecutive, or with only
// blanks and line ends between them; MdStrayRun) go to LexerError one by
// one and are skipped, the rest of the run is skipped and reported as one
// to strayRunError before the next token or message. A string or comment
// still open at the end of the input goes to LexerError with '"' or '(*',
// and the input ends there.
//
// Whole statements: inside an ATTRIBUTES or a VALUES block, a statement of
// the single-address form that stands on one line with only blanks between
// its tokens comes as one token, ATTR_STATEMENT or VALUE_STATEMENT, whose
// value is the scanner's MdVarExtStatement (MdVarExtBisonParser.h): for an
// attribute the five numbers or "UNDEF"; for a value "UNDEF" or the items
// up to the first one not whole on that line (the rest follow as tokens).
// The grammar runs the statement's actions as for its tokens. Most of a
// large section is such statements, and a dozen or twenty tokens through
// the scanner and the grammar each cost several times reading them at once.
// Anything else (a range, a comment, a line end or the buffer's end inside
// the statement, a number the rules refuse) comes token by token. The block
// is known from its keyword and ends with its end keyword or any other
// block's keyword; a "$" directly after "-" is a range's end.
#pragma once

// The generated scanner has declared its class already (it defines
// MD_VAREXT_SCANNER_GENERATED before including this header); everybody else
// gets the declaration here.
#ifndef MD_VAREXT_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdVarExtScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "tools/md/tavolin/MdStrayRun.h"
#include "tools/md/tavolin/MdVarExtBisonParser.h"

class MdVarExtScanner : public MdVarExtScannerFlexLexer {
public:
    explicit MdVarExtScanner(std::istream* in = nullptr, std::ostream* out = nullptr)
        : MdVarExtScannerFlexLexer(in, out)
    {
    }

    // The next token, 0 at the end of the input.
    int yylex() override;
    // A new input; no block is open. The held rest of a run of stray bytes
    // of the old input is reported first.
    using MdVarExtScannerFlexLexer::switch_streams;
    void switch_streams(std::istream* in, std::ostream* out) override;

    // Whole statements as one token (on by default); off, every statement
    // comes token by token.
    void setStatementTokens(bool on) { m_statementTokens = on; }

protected:
    // The stray bytes of a run past its first hundred: arg quotes their head
    // (mdTokenArg), line is their first line, count their number, each an
    // error. Ignored here.
    virtual void strayRunError(const std::string& arg, int32_t line, uint32_t count);
    // An integer outside the section's 32 bits (not that of a value item,
    // which comes as its text): its text. LexerError here.
    virtual void numberOutOfRange(const char* text);

private:
    int scan();  // the rules
    void stray();                      // the stray byte just matched
    void flushStray();                 // reports the held rest of a run
    void scanError(const char* text);  // LexerError after the held run
    void outOfRange(const char* text);  // numberOutOfRange after the held run

    MdVarExtStatement m_statement;
    int m_block = 0;       // VAREXT_ATTRIBUTES or VAREXT_VALUES while in one
    int m_lastToken = 0;
    bool m_itemOpen = false;  // the last tokens were "Def", "Min" or "Max" and "("
    bool m_statementTokens = true;
    uint32_t m_match = 0;  // matches of the rules so far
    MdStrayRun m_stray;
};
