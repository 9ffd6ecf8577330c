// The operand-text scanner of the business objects and the name decoding:
// the internal-variable scanner with scan errors turned into a token.
//
// yylex returns the inner scanner's tokens (see SyInternalVarScanner.h), or
// 1000 when the inner scan failed fatally; the failure's message is then in
// errorText. The constructor binds standard input and output; callers point
// the scanner at their text with setText (or switch_streams).
#pragma once
#include "base/st/symacc/SyInternalVarScanner.h"

class SyVarScannerFlexLexer : public SyInternalVarScannerFlexLexer {
public:
    static constexpr int TokScanError = 1000;

    SyVarScannerFlexLexer();
    int yylex() override;
    // Throws SyScanException with the message.
    void LexerError(const char* msg) override;

    String errorText;  // message of the last scan error; empty at start
};
