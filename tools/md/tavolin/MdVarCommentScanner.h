// Scanner class of the comment sections (MdVarCommentScanner.lpp):
// MdVarCommentScanner, on MdVarCommentScannerFlexLexer, the flex base
// renamed for this kind so that several scanners share one library.
//
// Tokens (codes of MdVarCommentBisonParser.ypp, from 258): the keywords
// "VARCOMMENT", "END_VARCOMMENT", "BFDCOMMENT", "END_BFDCOMMENT"
// (case-sensitive, and only when the whole word matches: "VARCOMMENTS" is a
// name), "$", "[", a hexadecimal number ("16#" and one to eight digits),
// "]", ":", ".", ";" (no rule of the grammar takes it), "-", a decimal
// number, a string and a name (a letter or underscore, then letters, digits
// and underscores). Numbers and strings follow MdVarSourceRules.h. An
// entry on one line ("$", subject, mask or none, ":" and a string, blanks
// and tabs at most between them) comes as one token instead, a record
// holding what those tokens carry (MdVarCommentEntry): with a mask for the
// variables, without for the boot functions.
//
// Blanks, tabs, CR LF, LF and "(* ... *)" comments (not nested) are
// skipped; every line feed, also one inside a string or comment, advances
// the line number. Any other character is stray: the first hundred of a run
// of them (consecutive, or with only blanks and line ends between them;
// MdStrayRun) go to LexerError one by one and are skipped, the rest of the
// run is skipped and reported as one to strayRunError before the next token
// or message.
// A decimal number above 2147483647 goes to LexerError with its text and is
// skipped; a string or comment open at the end of the input goes to
// LexerError with '"' or '(*', and the input ends there.
//
// Everything a scan depends on (the buffer, the line, the records of the
// entry tokens, whether the last token was "-") belongs to the scanner
// object, so several compilers alive in one process (a server holds an
// object per client) scan side by side. Only the token's value goes
// through the grammar's process-wide MdVarCommentlval, which the parser
// reads at once.
#pragma once

// The generated scanner has declared its class already (it defines
// MD_VARCOMMENT_SCANNER_GENERATED before including this header); everybody
// else gets the declaration here.
#ifndef MD_VARCOMMENT_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdVarCommentScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "tools/md/tavolin/MdStrayRun.h"
#include "tools/md/tavolin/MdVarCommentBisonParser.h"

class MdVarCommentScanner : public MdVarCommentScannerFlexLexer {
public:
    explicit MdVarCommentScanner(std::istream* in = nullptr, std::ostream* out = nullptr)
        : MdVarCommentScannerFlexLexer(in, out)
    {
    }

    // The next token, 0 at the end of the input.
    int yylex() override;
    // A new input; the last token was no "-". The held rest of a run of
    // stray bytes of the old input is reported first.
    using MdVarCommentScannerFlexLexer::switch_streams;
    void switch_streams(std::istream* in, std::ostream* out) override;

protected:
    // The stray bytes of a run past its first hundred: arg quotes their head
    // (mdTokenArg), line is their first line, count their number, each an
    // error. Ignored here.
    virtual void strayRunError(const std::string& arg, int32_t line, uint32_t count);

private:
    int scan();                        // the rules
    void stray();                      // the stray byte just matched
    void flushStray();                 // reports the held rest of a run
    void scanError(const char* text);  // LexerError after the held run

    // The entry after the "$" just matched, read from the buffer (from up
    // to end) into the next record, given in entry: where the scan goes
    // on, after the string's closing quote. Null (entry null) when the
    // entry is to be read token by token.
    const char* entryAhead(const char* from, const char* end, const MdVarCommentEntry*& entry);

    // The entry tokens' values: the parser holds at most the token it
    // reduces and one token ahead, so two alternating records are enough.
    MdVarCommentEntry m_entries[2];
    unsigned m_nextEntry = 0;
    // The last token was "-": a "$" now is the one before a range's end
    // (any other token after "-" ends the parse at a syntax error).
    bool m_afterMinus = false;
    uint32_t m_match = 0;  // matches of the rules so far
    MdStrayRun m_stray;
};
