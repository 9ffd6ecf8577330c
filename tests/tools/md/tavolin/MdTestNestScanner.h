// Scanner class of the test grammar: "(" and ")", blanks and line feeds
// skipped (line feeds counted), "#" the code 300 that no grammar declares,
// a quoted string skipped, "$" a fatal error of the scanner ("no action
// found"), any other character reported through LexerError and skipped.
#pragma once

#ifndef MD_TESTNEST_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdTestNestScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif
