// Scanner of Structured Text literals and operand names in text that travels
// through values: numbers with and without type prefix, based numbers, TRUE
// and FALSE, time and date literals, quoted strings with their "$" escapes,
// direct addresses and identifiers. Case-insensitive.
//
// Use: setText (or switch_streams onto a stream after resetLocal), then
// yylex once per token until 0. Each token leaves its text in `name`; typed
// constants leave their elementary type id in `type` and their radix in
// `radix`. The literal type is not reset between tokens: a type prefix
// ("INT#") or an earlier literal's type carries over to the next number.
//
// Token codes: 0 end of input; 1 "[", 2 "]", 3 ",", 4 ".", 5 "\", 6 "#";
// 51 identifier; 52 "@" identifier; 53 decimal integer (type ANYINT);
// 54 direct address (text without "%", upper-cased); 55 a character no rule
// accepts ("unknown character: " and the character); 56 TIME, 57 TOD,
// 58 DATE, 59 DT literal (text without '_'); 60 "TSI#" name; 61 end of a
// quoted string (its content, escapes resolved); 62 unquoted run in
// string-decoding mode; 63 typed or untyped constant; 100 a "$" that starts
// no escape, a decoding run ending in a quote or "$", and "STRINGCONST>\t".
//
// Fatal flex conditions (an input stream that fails) go to LexerError, which
// throws SyScanException; SyVarScannerFlexLexer turns that into token 1000.
#pragma once

// Several flex scanners share a library, each on its own renamed copy of the
// flex base class; the generated scanner declares its copy itself.
#ifndef SY_INTERNAL_VAR_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer SyIvsFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "co/tvstring.h"

// Thrown by the scanners' LexerError with flex's message.
class SyScanException : public std::runtime_error {
public:
    explicit SyScanException(const char* msg) : std::runtime_error(msg ? msg : "") {}
};

// The scanner-local state.
struct CSyVarScannerLocal {
    String name;                // text of the last token
    int32_t type = 30;          // elementary type id of the literal; 30 none yet
    int32_t radix = 10;         // 2, 8, 10 or 16
    bool decodeString = false;  // start in the string-decoding condition
};

class SyInternalVarScannerFlexLexer : public SyIvsFlexLexer, public CSyVarScannerLocal {
public:
    enum Token {
        TokEnd = 0,
        TokLBracket = 1,
        TokRBracket = 2,
        TokComma = 3,
        TokDot = 4,
        TokBackslash = 5,
        TokHash = 6,
        TokIdent = 51,
        TokAtIdent = 52,
        TokInteger = 53,
        TokDirectAddr = 54,
        TokUnknown = 55,
        TokTime = 56,
        TokTod = 57,
        TokDate = 58,
        TokDt = 59,
        TokTsi = 60,
        TokString = 61,
        TokDecodeWord = 62,
        TokConstant = 63,
        TokDollar = 100,
    };

    explicit SyInternalVarScannerFlexLexer(std::istream* in = nullptr, std::ostream* out = nullptr);
    ~SyInternalVarScannerFlexLexer() override;

    int yylex() override;
    void LexerError(const char* msg) override;

    // Empty token text, type 30, radix 10, position 0; the next yylex starts
    // in the initial condition, or the string-decoding one when decodeString
    // is set.
    void resetLocal();
    // resetLocal and make a copy of `text` the input (the previous input is
    // dropped).
    void setText(const char* text, size_t len);
    void setText(const String& text) { setText(text.chars(), size_t(text.length())); }

    // Makes a copy of `text` the input and hands out the buffer that was
    // current; the local state is reset. restoreBuffer takes it back and
    // drops the text's buffer. Switches nest.
    yy_buffer_state* switchToText(const char* text, size_t len);
    void restoreBuffer(yy_buffer_state* previous);

    // Characters of the input consumed by the tokens read since the last
    // reset or switch.
    size_t position() const { return m_pos; }

private:
    void typedNumber(const char* text, int32_t radix, int32_t untypedType);
    void setStripped(const char* text);
    void appendHexEscape(const char* text);

    size_t m_pos = 0;
    bool m_pendingStart = true;
    std::string m_decodeRun;  // the decoding run read so far
    std::unique_ptr<std::istream> m_ownInput;
    std::unique_ptr<std::ostream> m_nullOut;
    struct OwnText {
        yy_buffer_state* buffer;
        std::unique_ptr<std::istream> stream;
    };
    std::vector<OwnText> m_switched;
};
