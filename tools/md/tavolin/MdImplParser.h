// Compiler of the implementation section ("impl_tmp"): appends the
// declarations of the object's implementation to two m4 macro files, the
// output name followed by ".m4h" (declarations) and by ".m4c" (code).
//
//   no I/O data:  .m4h "BEGIN_DECLIMPL()", "DECL_NO_IO()", "END_DECLIMPL()"
//                 .m4c "NO_IO_IMPL()"
//   I/O data:     .m4h "BEGIN_DECLIMPL()", "DECL_IO()", "END_DECLIMPL()"
//                 .m4c "IMPL_IMPL()", "IO_IMPL(`" text "')"
//
// The I/O text is written exactly as collected between the two m4 quotes
// (grave accent and apostrophe), without escaping. Every line ends with
// "\n". Both files are opened for appending for each action and closed
// again; what they held stays.
//
// Messages (block 1000): 1001 "Fehler im Scanner", 1002 "Fehler im
// Parser", 1003 "Sektion konnte nicht beschrieben werden" (a macro file
// could not be opened or written), 1004 the I/O text's m4 quotes do not
// balance (a warning with "BEGIN_IO_DATA", at the line where the text
// begins, once the text is written; the result stays 0), 1005 a NUL byte
// in the I/O text (with the byte and "BEGIN_IO_DATA", at the NUL's line;
// counted, and the text is not written).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/md/tavolin/MdImplBisonParser.h"
#include "tools/md/tavolin/MdImplScanner.h"
#include "tools/md/tavolin/MdParserFrame.h"

enum : uint32_t {
    MdImplMsgBase = 1000,
    MdImplMsgWriteFailed = 1003,
    MdImplMsgM4Quotes = 1004,
    MdImplMsgNulInText = 1005,
};

// Line end of the macro files.
extern const char kMdMacroLineEnd[];

// Appends the lines to base + ".m4h" and to base + ".m4c", each line
// followed by the macro files' line end. False when either file cannot be
// opened (then neither is written, and a file this call created is removed
// again) or a write or close fails.
bool mdAppendMacroLines(const String& base, const std::vector<String>& hLines, const std::vector<String>& cLines);

class MdImplParser : public MdParserFrame<MdImplBisonParser, MdImplScannerFlexLexer> {
public:
    MdImplParser() : MdParserFrame(MdImplMsgBase) {}

    // The stream, the output name (outputBase) and the descriptor file (may
    // be null); with bit 0 of sectionMask set the section is compiled as
    // empty, whatever the stream holds.
    void init(const MdCompilerArgs& args) override;
    // Runs the grammar (yyparse): 0 accepted and written, 1 syntax error,
    // 2 parser stack full, 4 a macro file could not be written (message
    // 1003). Errors counted under a 0 are the caller's to judge.
    int32_t parse() override { return yyparse(); }
    // The scanner's next token; notes the line where the I/O text begins.
    int yylex() override;

protected:
    bool noIoData() override;
    bool ioData(String& text) override;

private:
    bool write(const std::vector<String>& hLines, const std::vector<String>& cLines);

    String m_outputName;
    int32_t m_textLine = 0;  // where the last I/O text began
};
