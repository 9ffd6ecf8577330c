// Splits a description source into its temporary section streams: drives the
// section scanner with the section grammar, counts the errors of both and
// reports them. The front end runs one split per opened source over the
// working file's temporary streams; tests and tools over strings.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/md/tavolin/MdSectionBisonParser.h"
#include "tools/md/tavolin/MdSectionScanner.h"
#include "tools/md/tavolin/MdSectionSink.h"

class MdSectionSplitter : public MdSectionBisonParser, public MdSectionScanner {
public:
    MdSectionSplitter() = default;
    ~MdSectionSplitter() override = default;

    // Reads the whole source, writes every section into its stream of the
    // sink (sections whose bit is set in sectionMask keep only their
    // keywords) and fills the header. Result: 0 success, 3 when the source
    // was parsed but errors were counted, 1 or 2 when the parser failed.
    // Messages go to the reporter when one is given.
    int split(std::istream& source, MdSectionSink& sink, MdSectionReporter* reporter,
              uint32_t sectionMask);

    // The object kind of a source (none: a value outside 1, 2, 4 and 5) as
    // far as its first header tells, read without writing or reporting
    // anything; the reading stops right after that header, or at its first
    // syntax error (the header then gives none). certain is set
    // when no text of a further header follows anywhere in the source, so
    // that the whole split must give the same kind (it takes the kind of
    // the last header). Without lookFurther the rest of the source is not
    // read and certain is false, unless the source (seekable) holds fewer
    // than the two words of a header: it is then not split, and gives no
    // kind for certain.
    int32_t probeKind(std::istream& source, bool& certain, bool lookFurther = true);
    // Whether no text of a further header follows anywhere in the source,
    // read from its position on: the certainty of probeKind, without a
    // split.
    static bool noFurtherHeader(std::istream& source);

    int32_t errorCount() const { return m_errors; }
    bool atEnd() const { return m_eof; }

    // The scanner's next token. After a fatal error of the scanner (reported
    // through LexerError; YY_FATAL_ERROR, MdScannerSupport.h) the source
    // ends: a token that fails the parse, then the end of input, and
    // yyerror reports nothing more.
    using MdSectionScanner::yylex;
    int yylex(MdSectionValue* value) override;
    void yyerror(const char* text) override;
    // Message 201 with the text between apostrophes (cut when long,
    // mdTokenArg); one error counted.
    void LexerError(const char* text) override;

protected:
    void reportError(uint32_t msgId, const std::string& arg) override;
    // Message 201 for stray bytes; count errors counted.
    void strayReport(const std::string& arg, int32_t line, uint32_t count) override;
    bool strayCounted(int32_t line, uint32_t count) override;
    // Message 201, as LexerError for the token's text.
    void unexpectedText(const char* head, std::size_t length) override;
    // Hands a message that stands for count errors to the reporter.
    virtual void emit(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count);
    // Asked before a message's arguments are made: true when the message
    // has been counted without them, as no one is shown it (emit is then
    // not called); without a reporter every one is.
    virtual bool countHeldBack(uint32_t msgId, int32_t line, uint32_t count);
    // Whether every message of msgId from now on would be counted so: the
    // stray bytes are then gathered and handed over at once
    // (countAllHeldBack, messages of one error each). Without a reporter
    // they are.
    virtual bool heldBackFromNowOn(uint32_t msgId);
    virtual void countAllHeldBack(uint32_t msgId, uint32_t messages);

private:
    // A message of one error with one argument (none when empty), at the
    // scanner's line.
    void emitOne(uint32_t msgId, const std::string& arg);
    // Hands over the stray bytes gathered (m_strayGathered).
    void countGatheredStray();
    // countHeldBack after those gathered are handed over.
    bool heldBack(uint32_t msgId, int32_t line, uint32_t count);
    // At most this many are gathered before they are handed over.
    static constexpr uint32_t kMaxGathered = uint32_t(1) << 30;

    MdSectionReporter* m_reporter = nullptr;
    int32_t m_errors = 0;
    bool m_eof = false;
    bool m_probing = false;      // end the input after the first header
    bool m_headerEnded = false;  // the probe met the end of a header, or an error in one
    bool m_inHeader = false;     // the probe met the begin of a header
    bool m_scanStopped = false;  // a fatal scanner error ended the source
    // Past the messages shown: every stray byte from now on is counted, not
    // shown, and is gathered here (a message and an error each) until
    // anything else is reported or the split ends.
    bool m_strayHeldBack = false;
    uint32_t m_strayGathered = 0;
};
