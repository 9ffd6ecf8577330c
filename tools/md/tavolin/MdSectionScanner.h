// Scanner of description sources. Outside the sections it delivers the
// header tokens; at a section's begin keyword it enters a start condition of
// that section and copies the body into the section's temporary stream, so
// that each body line stands on the same line of its stream as in the
// source; at the end keyword it returns to the header tokens.
#pragma once

// Several flex scanners live in one library, each on its own renamed copy of
// the flex base class. The generated scanner has declared its class already
// (it defines MD_SECTION_SCANNER_GENERATED before including this header);
// everybody else gets the declaration here. yyFlexLexer is left undefined so
// that the next scanner header can declare its own class the same way.
#ifndef MD_SECTION_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdSectionScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif

#include <cstdint>
#include <iosfwd>
#include <sstream>
#include <string>

#include "tools/md/tavolin/MdSectionBisonParser.h"
#include "tools/md/tavolin/MdSectionSink.h"
#include "tools/md/tavolin/MdStrayRun.h"

class MdSectionScanner : public MdSectionScannerFlexLexer {
public:
    // The sections of a source, each with its begin and end keyword.
    enum Section {
        SecDescription,        // "@DESCRIPTION"
        SecImplementation,     // "IMPLEMENTATION"
        SecVarComment,         // "VARCOMMENT"
        SecConfigs,            // "CONFIGS"
        SecResolve,            // "RESOLVE"
        SecAttributes,         // "ATTRIBUTES"
        SecValues,             // "VALUES"
        SecDynArray,           // "DYN_ARRAY"
        SecBitfieldTypes,      // "BITFIELDTYPES"
        SecBitfields,          // "BITFIELDS"
        SecInterface,          // "INTERFACE"
        SecAlarm,              // "BEGIN_ALARM"
        SecAlarmStringTable,   // "ALARM_STRING_TABLE"
        SecAlarmErrorText,     // "BEGIN_ALARM_VRX_ERROR_TEXT"
        SecBfFunctions,        // "BEGIN_BF_FUNCTIONS"
        SecBootFunctionDecl,   // "BOOT_FUNCTIONDECL"
        SecBootFunctions,      // "BOOT_FUNCTIONS"
        SecBfAdrResolution,    // "BEGIN_BF_ADR_RESOLUTION"
        SecBfErrorText,        // "BEGIN_BF_ERRORTEXT"
        SecBfdComment,         // "BFDCOMMENT"
        SecSupportedToTypes,   // "SUPPORTED_TO_TYPES"
        SecLicenceData,        // "LICENCE_DATA"
        SecIoData,             // "BEGIN_IO_DATA"
        SecCount
    };

    struct SectionInfo {
        const char* begin;     // begin keyword
        const char* end;       // end keyword
        int beginToken;        // the end token is beginToken + 1
        int stream;            // MdTmpStream
        uint32_t skipBit;      // bit of the section mask that drops the body; 0 for none
    };
    static const SectionInfo& sectionInfo(int section);

    MdSectionScanner();
    ~MdSectionScanner() override;

    int yylex() override;
    // A source that cannot be read any further simply ends.
    int LexerInput(char* buf, int maxSize) override;
    // Unexpected characters outside the sections; ignored here, reported by
    // the parser that drives the scan.
    void LexerError(const char* text) override;

    // Points the scanner at a source and a sink and forgets every previous
    // scan: line 1, no stream written yet.
    void startScan(std::istream* source, MdSectionSink* sink, uint32_t sectionMask);
    // Writes what the streams are still owed at the end of the source (the
    // line end after the last end keyword of each stream).
    void finishScan();
    // After a fatal error of the scanner (YY_FATAL_ERROR, MdScannerSupport.h):
    // drops the scanner's buffer; the input is empty from here on.
    void stopScan();

    int32_t lineNo() const { return m_line; }
    const MdSectionValue& tokenValue() const { return m_value; }

    // Stray bytes outside the sections: the first kStrayEach of a run (bytes
    // taken by consecutive matches, or with only blanks and line ends
    // between them) are each reported at once; the rest of the run is held
    // and reported as one by flushStray, which the driver calls before it
    // hands on a token or reports anything else (MdStrayRun).
    static constexpr std::size_t kStrayEach = MdStrayRun::kEach;
    void flushStray();

protected:
    // The report of stray text: its argument (quoted, cut by mdTokenArg),
    // its line and the number of stray bytes it stands for (1, or the
    // bytes of a held run, each an error). Ignored here.
    virtual void strayReport(const std::string& arg, int32_t line, uint32_t count);
    // Asked first, before the argument is made: true when the stray bytes
    // have been counted without a text (no one is shown their message);
    // strayReport is then not called. Here every one is (they are ignored).
    virtual bool strayCounted(int32_t line, uint32_t count);
    // A token that has no place in a source (a number past the largest
    // word): its first bytes, as many as a message quotes (kMdTokenWhole),
    // and its length. Ignored here.
    virtual void unexpectedText(const char* head, std::size_t length);

private:
    struct StreamState {
        int32_t line;      // line of the stream the next byte goes to
        bool owesLineEnd;  // an end keyword's line end is still to be written
        bool failed;       // a write failed: nothing more goes to this stream
    };

    void stray(const char* text, std::size_t len);
    void strayWord();
    static bool strayAt(const char* p, const char* end);

    int beginSection(int section);
    int endSection(int section);
    void bodyText(const char* text, std::size_t len);
    void bodyRun(const char* text, std::size_t len);
    // Takes the body text behind the current token out of the buffer.
    void bodyAhead();
    // Skips the NUL bytes behind the current token in the buffer; their count.
    std::size_t nulRunAhead();
    void typeLine();         // "@TO_TYPE" and its line end in the system variables
    void errorTextWord();    // "VRX_ERROR_TEXT" in the alarm error texts
    bool skipped() const;
    int guidToken(const char* text);
    // A number is read piece by piece: begun at its first digit, each digit
    // matched takes those behind it in the buffer (numberAhead: true when the
    // number ends there), and numberToken gives the token.
    void numberBegin();
    bool numberAhead();
    int numberToken();
    // The token of the string or date-time literal collected in m_buf.
    int textToken(int token);

    // Appends to the stream (through the block); false once it is in error.
    bool put(int stream, const char* data, std::size_t len);
    bool flushBlock();
    void putLineEnd(int stream);
    void putLineEnds(int stream, int32_t count);
    void settleLineEnd(int stream, int32_t line);

    MdSectionSink* m_sink = nullptr;
    uint32_t m_mask = 0;
    int m_section = -1;    // section being read, -1 outside
    int32_t m_line = 1;
    StreamState m_streams[MdTmpCount];
    MdSectionValue m_value{};
    // Texts of the latest string and date-time tokens. The grammar uses a
    // token's text at most one token after it, so a few slots suffice.
    std::string m_texts[4];
    unsigned m_nextText = 0;
    std::string m_buf;     // text of the string or date-time literal being read
    struct Number {
        uint32_t value = 0;
        bool tooLarge = false;    // past the largest word: value stops growing
        std::size_t length = 0;   // digits so far
        std::string head;         // the first of them, as many as a message quotes
    };
    Number m_number;       // number being read
    std::string m_block;   // bytes for m_blockStream not yet handed to the sink
    std::istringstream m_noInput;  // the input after stopScan
    int m_blockStream = -1;
    uint32_t m_match = 0;  // matches of the rules so far
    MdStrayRun m_stray;
};
