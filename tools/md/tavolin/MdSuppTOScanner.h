// Scanner class of the supported technology-object section
// (MdSuppTOScanner.lpp): MdSuppTOScannerFlexLexer, the flex base renamed for
// this kind so that several scanners share one library.
//
// Tokens (codes of MdSuppTOBisonParser.ypp): the keywords
// "SUPPORTED_TO_TYPES" and "END_SUPPORTED_TO_TYPES" (upper case only),
// ":=", ".", ",", ";", "(", ")", identifiers (a letter or "_", then letters,
// digits or "_"), decimal numbers that fit a signed 32-bit number, and
// braced GUIDs with hexadecimal digits of either case. Blanks, tabs, line
// ends and "(* ... *)" comments (not nested) are skipped; line feeds are
// counted. Any other character is reported through LexerError and gives the
// token INVALID, which no rule accepts. A number too large is reported
// through LexerError and kept as the largest number; an unterminated comment
// is reported as "unexpected end of file".
#pragma once

// The generated scanner has declared its class already (it defines
// MD_SUPPTO_SCANNER_GENERATED before including this header); everybody else
// gets the declaration here. yyFlexLexer is left undefined so that the next
// scanner header can declare its own class the same way.
#ifndef MD_SUPPTO_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdSuppTOScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif
