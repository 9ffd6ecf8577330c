// Scanner class of the variables section (MdVarExtScanner.lpp):
// MdVarExtScannerFlexLexer, the flex base renamed for this kind so that
// several scanners share one library.
//
// Tokens (codes of MdVarExtBisonParser.ypp, 258 to 299): the keywords of
// the section (case-sensitive: "Def", "Min", "Max", "Unit" and "Fixed" are
// written so, all others in capitals), "$", "[", "]", "(", ")", ":", ":=",
// ";", ",", "-", integers, reals, strings, "TRUE" and "FALSE".
//
// - Integer: an optional sign directly followed by decimal digits, within
//   the signed 32-bit range ("-5" is one integer, "- 5" a "-" and 5); or
//   "16#" and hexadecimal digits of either case with at most eight
//   significant digits, read as 32 bits ("16#FFFFFFFF" is -1). A decimal
//   number outside the range or a longer hexadecimal one goes to LexerError
//   with its text and is skipped. "0x1" is the integer 0 and a stray "x".
// - Real: an optional sign, digits, and a fraction, an exponent or both
//   ("1.5", "-2e3", "1.5E-3"); its value is its text as written.
// - String: between double quotes; a backslash directly before a double
//   quote stands for that quote, every other byte for itself (backslashes
//   and line ends too).
//
// Blanks, tabs, CR LF, LF and "(* ... *)" comments (not nested) are
// skipped; every line feed, also inside a string or comment, advances the
// line number. A CR without LF and any other character go to LexerError and
// are skipped. A string or comment still open at the end of the input goes
// to LexerError with '"' or '(*', and the input ends there.
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
