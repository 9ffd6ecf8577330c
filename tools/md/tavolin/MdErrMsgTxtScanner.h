// Scanner class of the error-text sections (MdErrMsgTxtScanner.lpp):
// MdErrMsgTxtScannerFlexLexer, the flex base renamed for this kind so that
// several scanners share one library.
//
// Tokens (codes of MdErrMsgTxtBisonParser.ypp): the keywords
// "BEGIN_BF_ERRORTEXT", "END_BF_ERRORTEXT", "BEGIN_ALARM_VRX_ERROR_TEXT",
// "END_ALARM_VRX_ERROR_TEXT", "MC_ERRORTEXT", "CmHelpMsg", "CmWarnMsg",
// "CmErrorMsg", "CmSafetyMsg" (in exactly this case), "(", ")", ",",
// strings and numbers.
// - A string runs from a double quote to the next one; every character in
//   between stands as it is, line ends and backslashes included, except
//   that a backslash followed by a double quote gives the double quote.
// - A number is a run of decimal digits read as C's "%i" reads it: a
//   leading 0 makes it octal and the octal digits end it, so "012" is 10
//   and "08" is 0. The value is a 32-bit int: a number up to 4294967295
//   (037777777777) is taken as its bit pattern, so 4294967295 is -1 and
//   2147483648 is -2147483648; a number past 32 bits is reported through
//   LexerError and kept as -1.
// Blanks, tabs, line ends and "(* ... *)" comments (not nested) are skipped.
// Line feeds are counted (yylineno), for the one message of the compiler
// that carries a line (MdErrMsgTxtParser.h); the others carry line 1. Any
// other character is reported through LexerError and gives the token
// INVALID, which no rule accepts; a string or comment open at the end of
// the input is reported as "unexpected end of file".
//
// A whole item - "MC_ERRORTEXT", "(", number, ",", severity keyword, ",",
// number, ",", an optional number and ",", string, ")" - whose tokens all
// end inside the scanner's buffer, with only blanks and line ends between
// them, is one token ITEM, its values in an MdErrMsgTxtItem; the grammar
// takes it as it takes those tokens.
#pragma once

// The generated scanner has declared its class already (it defines
// MD_ERRMSGTXT_SCANNER_GENERATED before including this header); everybody
// else gets the declaration here.
#ifndef MD_ERRMSGTXT_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdErrMsgTxtScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif
