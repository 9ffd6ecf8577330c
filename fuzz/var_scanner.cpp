// Random bytes through the internal-variable scanner in every start
// condition: the scan must end, one token per consumed character at most
// (plus the end), with only the scanner's token codes, and without crash.
// The first byte chooses the mode: bit 0 the string-decoding condition,
// bit 1 a leading quote (the string condition), bit 2 a nested text switch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/st/symacc/SyVarScanner.h"

namespace {

bool knownToken(int t)
{
    return (t >= 1 && t <= 6) || (t >= 51 && t <= 63) || t == 100 || t == SyVarScannerFlexLexer::TokScanError;
}

void scanToEnd(SyVarScannerFlexLexer& s, size_t size)
{
    size_t tokens = 0;
    for (;;) {
        int t = s.yylex();
        if (t == 0 || t == SyVarScannerFlexLexer::TokScanError) return;
        if (!knownToken(t)) std::abort();
        if (++tokens > size + 1) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t mode = size > 0 ? data[0] : 0;
    std::string text(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    if (mode & 2) text.insert(0, "'");
    SyVarScannerFlexLexer s;
    s.decodeString = (mode & 1) != 0;
    if (mode & 4) {
        s.setText("outer.x", 7);
        s.yylex();
        yy_buffer_state* prev = s.switchToText(text.data(), text.size());
        scanToEnd(s, text.size());
        s.restoreBuffer(prev);
        scanToEnd(s, 7);
    } else {
        s.setText(text.data(), text.size());
        scanToEnd(s, text.size());
    }
    return 0;
}
