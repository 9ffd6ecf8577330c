#include "tools/md/tavolin/MdSectionSplitter.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <vector>

#include "tools/md/tavolin/MdScannerSupport.h"
#include "MdSectionBisonParser.tab.hpp"

int MdSectionSplitter::split(std::istream& source, MdSectionSink& sink, MdSectionReporter* reporter,
                             uint32_t sectionMask)
{
    m_reporter = reporter;
    m_errors = 0;
    m_eof = false;
    m_headerEnded = false;
    m_inHeader = false;
    m_scanStopped = false;
    m_strayHeldBack = false;
    m_strayGathered = 0;
    resetResults();
    startScan(&source, &sink, sectionMask);
    int result = yyparse();
    countGatheredStray();
    finishScan();
    if (result == 0 && m_errors != 0) result = 3;
    return result;
}

namespace {

// Occurrences of text in the rest of the stream, read in pieces, counted up
// to atMost (the reading stops there).
std::size_t countInStream(std::istream& in, const char* text, std::size_t atMost)
{
    const std::size_t n = std::strlen(text);
    std::vector<char> buf(std::size_t(1) << 20);
    std::size_t kept = 0;  // bytes carried over from the previous piece
    std::size_t count = 0;
    while (in) {
        in.read(buf.data() + kept, std::streamsize(buf.size() - kept));
        const std::size_t have = kept + std::size_t(in.gcount());
        if (have == kept) break;
        const char* p = buf.data();
        const char* const end = buf.data() + have;
        // The first byte is found with memchr and the rest compared: over a
        // source of many megabytes several times faster than memmem.
        while (std::size_t(end - p) >= n) {
            const char* hit = static_cast<const char*>(std::memchr(p, text[0], std::size_t(end - p) - (n - 1)));
            if (!hit) {
                p = end - (n - 1);
                break;
            }
            if (std::memcmp(hit + 1, text + 1, n - 1) == 0) {
                if (++count >= atMost) return count;
                p = hit + n;
            } else {
                p = hit + 1;
            }
        }
        // The last n-1 bytes may begin an occurrence that the next piece ends.
        kept = std::min<std::size_t>(n - 1, std::size_t(end - p));
        std::memmove(buf.data(), end - kept, kept);
    }
    return count;
}

// Every header keyword, of a begin or an end, ends in it.
const char kHeaderWord[] = "_HEADER";

}  // namespace

int32_t MdSectionSplitter::probeKind(std::istream& source, bool& certain, bool lookFurther)
{
    certain = false;
    // A header is two words ending in "_HEADER", its begin and its end
    // keyword: without two of them the split could find no kind, and a
    // source of garbage is searched for them (a few milliseconds per 50 MB),
    // not split.
    const std::istream::pos_type start = source.tellg();
    if (source && start != std::istream::pos_type(-1)) {
        const bool none = countInStream(source, kHeaderWord, 2) < 2;
        source.clear();
        source.seekg(start);
        if (none) {
            resetResults();
            m_errors = 0;
            certain = true;
            return header().kind;
        }
    }
    MdStringSectionSink nowhere;
    for (int i = 0; i < MdTmpCount; ++i) nowhere.setMissing(i);
    m_probing = true;
    split(source, nowhere, nullptr, 0);
    m_probing = false;
    const int32_t kind = header().kind;
    if (!lookFurther) return kind;
    source.clear();
    source.seekg(0);
    certain = source && noFurtherHeader(source);
    return kind;
}

bool MdSectionSplitter::noFurtherHeader(std::istream& source)
{
    // A header is written with two words ending in "_HEADER", its begin and
    // its end keyword: more of them may make a further header.
    return countInStream(source, kHeaderWord, 3) <= 2;
}

int MdSectionSplitter::yylex(MdSectionValue* value)
{
    if (m_headerEnded) {
        m_eof = true;
        return 0;
    }
    // A fatal error of the scanner has been reported (LexerError); the source
    // ends there (after a token that fails the parse) and the scanner's
    // buffer is dropped.
    const int token = m_scanStopped ? 0 : mdScanOrStop([this] { return MdSectionScanner::yylex(); }, [this] {
        m_scanStopped = true;
        stopScan();
    });
    // What the scanner holds of a run of stray bytes is reported before the
    // parser sees the token that ends it.
    flushStray();
    if (m_probing && token >= MDSEC_END_TO_HEADER && token <= MDSEC_END_DV_TP_HEADER) m_headerEnded = true;
    if (m_probing && token >= MDSEC_TO_HEADER && token <= MDSEC_DV_TP_HEADER) m_inHeader = true;
    if (token == 0) m_eof = true;
    *value = tokenValue();
    return token;
}

void MdSectionSplitter::yyerror(const char* text)
{
    // The cut input after a fatal scanner error is no news.
    if (m_scanStopped) return;
    // A header with a syntax error gives no kind. Only a further header
    // could, with two more header words, which a probe leaves to the
    // split (noFurtherHeader): the probe ends here, rather than read on to
    // the header's end through garbage.
    if (m_probing && m_inHeader) m_headerEnded = true;
    ++m_errors;
    if (heldBack(MdMsgParseError, lineNo(), 1)) return;
    emitOne(MdMsgParseError, mdTokenArg(text, std::strlen(text)));
}

void MdSectionSplitter::LexerError(const char* text)
{
    unexpectedText(text, std::strlen(text));
}

void MdSectionSplitter::unexpectedText(const char* head, std::size_t length)
{
    flushStray();
    ++m_errors;
    if (heldBack(MdMsgUnexpectedChar, lineNo(), 1)) return;
    emitOne(MdMsgUnexpectedChar, mdLexerArg(head, length));
}

void MdSectionSplitter::reportError(uint32_t msgId, const std::string& arg)
{
    ++m_errors;
    if (heldBack(msgId, lineNo(), 1)) return;
    emitOne(msgId, arg);
}

void MdSectionSplitter::emitOne(uint32_t msgId, const std::string& arg)
{
    std::vector<std::string> args;
    if (!arg.empty()) args.push_back(arg);
    emit(msgId, lineNo(), args, 1);
}

void MdSectionSplitter::strayReport(const std::string& arg, int32_t line, uint32_t count)
{
    m_errors += int32_t(count);
    if (heldBack(MdMsgUnexpectedChar, line, count)) return;
    emit(MdMsgUnexpectedChar, line, {arg}, count);
}

bool MdSectionSplitter::strayCounted(int32_t line, uint32_t count)
{
    if (m_strayHeldBack && count == 1) {
        // a message of one error, as countHeldBack would count it
        ++m_errors;
        if (++m_strayGathered == kMaxGathered) countGatheredStray();
        return true;
    }
    if (!heldBack(MdMsgUnexpectedChar, line, count)) return false;
    m_errors += int32_t(count);
    m_strayHeldBack = heldBackFromNowOn(MdMsgUnexpectedChar);
    return true;
}

void MdSectionSplitter::countGatheredStray()
{
    if (m_strayGathered == 0) return;
    countAllHeldBack(MdMsgUnexpectedChar, m_strayGathered);
    m_strayGathered = 0;
}

bool MdSectionSplitter::heldBack(uint32_t msgId, int32_t line, uint32_t count)
{
    // Messages keep their order: those gathered go first.
    countGatheredStray();
    return countHeldBack(msgId, line, count);
}

bool MdSectionSplitter::countHeldBack(uint32_t msgId, int32_t line, uint32_t count)
{
    return !m_reporter || m_reporter->countHeldBack(msgId, line, count);
}

bool MdSectionSplitter::heldBackFromNowOn(uint32_t)
{
    return !m_reporter;
}

void MdSectionSplitter::countAllHeldBack(uint32_t, uint32_t)
{
}

void MdSectionSplitter::emit(uint32_t msgId, int32_t line, const std::vector<std::string>& args, uint32_t count)
{
    if (m_reporter) m_reporter->report(msgId, line, args, count);
}
