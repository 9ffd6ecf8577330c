// Scanner class of the comment sections (MdVarCommentScanner.lpp):
// MdVarCommentScannerFlexLexer, the flex base renamed for this kind so that
// several scanners share one library.
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
// the line number. Any other character goes to LexerError and is skipped.
// A decimal number above 2147483647 goes to LexerError with its text and is
// skipped; a string or comment open at the end of the input goes to
// LexerError with '"' or '(*', and the input ends there.
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
