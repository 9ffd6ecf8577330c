// Scan errors of the internal-variable scanner as token 1000.
#include "base/st/symacc/SyVarScanner.h"

#include <iostream>

SyVarScannerFlexLexer::SyVarScannerFlexLexer() : SyInternalVarScannerFlexLexer(&std::cin, &std::cout) {}

int SyVarScannerFlexLexer::yylex()
{
    try {
        return SyInternalVarScannerFlexLexer::yylex();
    } catch (const SyScanException& e) {
        errorText = e.what();
        return TokScanError;
    }
}

void SyVarScannerFlexLexer::LexerError(const char* msg)
{
    throw SyScanException(msg);
}
