// Scanner class of the connection section (MdConnectionScanner.lpp):
// MdConnectionScannerFlexLexer, the flex base renamed for this kind so that
// several scanners share one library.
//
// Tokens (codes of MdConnectionBisonParser.ypp): the sixteen keywords (upper
// case only; "in" is a name), "(", ")", ".", ":", ":=", ";", identifiers (a
// letter or "_", then letters, digits or "_"), decimal integers that fit a
// signed 32-bit number, versions "integer.integer" (each part taken as its
// low 16 bits), addresses "integer.integer.integer" and braced GUIDs with
// hexadecimal digits of either case. Blanks, tabs, line ends and
// "(* ... *)" comments (not nested) are skipped; line feeds are counted.
// Any other character is reported through LexerError and gives the token
// INVALID, which no rule accepts. A number too large is reported through
// LexerError and kept as the largest number; an unterminated comment is
// reported as "unexpected end of file".
#pragma once

// The generated scanner has declared its class already (it defines
// MD_CONNECTION_SCANNER_GENERATED before including this header); everybody
// else gets the declaration here. yyFlexLexer is left undefined so that the
// next scanner header can declare its own class the same way.
#ifndef MD_CONNECTION_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdConnectionScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif
