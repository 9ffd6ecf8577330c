// Scanner class of the implementation section (MdImplScanner.lpp):
// MdImplScannerFlexLexer, the flex base renamed for this kind.
//
// Tokens (codes of MdImplBisonParser.ypp, case-sensitive): "BEGIN_IO_DATA",
// "END_IO_DATA"; one text token for everything between "BEGIN_ACT" and
// "END_ACT", with every "\r" dropped; "(", ")", ";"; numbers (decimal, or
// "16#" and hexadecimal digits; above 32 bits a LexerError); double-quoted
// strings in which \" stands for a quote. Blanks, tabs, "\r\n", "\n" and
// "(* ... *)" comments are skipped; line feeds are counted. Any other
// character is reported through LexerError and gives the token INVALID. End
// of input inside a string, a comment or a text block is reported through
// LexerError as "unexpected end of file" and ends the input.
#pragma once

#ifndef MD_IMPL_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdImplScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif
