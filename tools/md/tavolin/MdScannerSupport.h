// What the section scanners share; each .lpp includes this header in its
// "%{ %}" block: the read size of the generated scanner, the number
// conversion of the matched digits, the value of a quoted string, and the
// pieces with which a scanner skips blanks and takes its common tokens
// straight from its buffer (exactly as its rules would match them) before
// the table walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <new>
#include <string>
#include <utility>

#include "co/tvstring.h"
#include "platform/memory_watch.h"

// A token's text as a message argument, between two quote texts: whole up
// to kMdTokenWhole bytes, so that a message names what it means (a long
// variable name, an operand path, a file path); a longer token (a number or
// a line of megabytes) by its first kMdTokenHead bytes and an ellipsis, with
// its length in bytes behind the closing quote (the first digits of a long
// number, the ellipsis, "' (52428800 Bytes)"), so that its message stays
// short. The ellipsis is the byte 0x85: message arguments are ANSI texts
// (code page 1252), widened to U+2026, which the outputs write as UTF-8.
// A NUL byte of the token is named "\0": the message's text would end at
// it, and a quoted NUL would show as nothing at all ("''").
inline constexpr std::size_t kMdTokenWhole = 1024;
inline constexpr std::size_t kMdTokenHead = 40;
inline void mdAppendNamingNul(std::string& to, const char* text, std::size_t len)
{
    const char* const end = text + len;
    while (text < end) {
        const char* nul = static_cast<const char*>(std::memchr(text, '\0', std::size_t(end - text)));
        if (!nul) nul = end;
        to.append(text, std::size_t(nul - text));
        if (nul < end) to += "\\0";
        text = nul + 1;
    }
}
inline std::string mdTokenArg(const char* text, std::size_t len, const char* quote = "")
{
    std::string arg(quote);
    if (len <= kMdTokenWhole) {
        mdAppendNamingNul(arg, text, len);
        arg += quote;
        return arg;
    }
    mdAppendNamingNul(arg, text, kMdTokenHead);
    arg += '\x85';
    arg += quote;
    arg += " (" + std::to_string(len) + " Bytes)";
    return arg;
}

// The argument of a scanner's complaint (LexerError): the text between
// single quotes, as mdTokenArg quotes it (mdQuotedNul: a NUL byte so). An empty text is the NUL byte the
// rule stood on: flex hands the matched byte over as a text, which that
// byte ends at once.
inline std::string mdQuotedNul() { return mdTokenArg("", 1, "'"); }
inline std::string mdLexerArg(const char* text, std::size_t len)
{
    return len != 0 ? mdTokenArg(text, len, "'") : mdQuotedNul();
}
inline std::string mdLexerArg(const char* text) { return mdLexerArg(text, std::strlen(text)); }

// The first NUL byte of the text chars..chars + length, or null (none, or no
// text): a text bound for a macro file is refused for one.
inline const char* mdFirstNul(const char* chars, std::size_t length)
{
    return chars && length ? static_cast<const char*>(std::memchr(chars, '\0', length)) : nullptr;
}

// A fatal condition of a generated scanner: its buffer cannot grow for a
// token ("input buffer overflow"), its input fails, or its tables lead to no
// action. flex goes on after YY_FATAL_ERROR as if it had not returned (with
// a null buffer after a failed growth), so it must not return: the scanner
// reports the message through its LexerError, once, and throws
// MdScannerFatal. Whoever drives the scanner catches it at its call of the
// scanner's yylex (mdScanOrStop) and drops the scanner's buffer; nothing
// uses the state that flex left behind.
//
// A fatal error for want of memory (flex's "out of dynamic memory", or a
// buffer that could not grow within the limit, mdScannerRealloc) is no
// fault of the source: it throws std::bad_alloc without a message.
struct MdScannerFatal {};
inline thread_local bool mdScannerMemoryRanOut = false;
inline void mdThrowIfScannerMemoryRanOut(const char* msg)
{
    static const char kNoMemory[] = "out of dynamic memory";
    const bool ranOut = mdScannerMemoryRanOut || std::strncmp(msg, kNoMemory, sizeof kNoMemory - 1) == 0;
    mdScannerMemoryRanOut = false;
    if (!ranOut) return;
    tvp::noteMemoryRanOut();
    throw std::bad_alloc();
}
#define YY_FATAL_ERROR(msg) (mdThrowIfScannerMemoryRanOut(msg), LexerError(msg), throw MdScannerFatal())

// The token that a stopped scanner gives its parser once, before the end of
// input: no grammar declares it, so the parse fails at it rather than
// accept the input as far as it was read.
constexpr int kMdScanStoppedToken = 0x7FFF;

// The next token of the scanner (lex()), or kMdScanStoppedToken when the
// scanner stopped at a fatal error; then stop() has run (it drops the
// scanner's buffer, as switch_streams onto an empty stream does).
template <class Lex, class Stop>
int mdScanOrStop(Lex lex, Stop stop)
{
    try {
        return lex();
    } catch (const MdScannerFatal&) {
        stop();
        return kMdScanStoppedToken;
    }
}

// The largest buffer (in bytes) that a scanner grows to for a token that
// does not fit: 512 MB. flex computes the next size in `int`, which the
// growth beyond 1 GB would overflow; a token beyond the limit is the
// scanner's fatal "input buffer overflow". Tests lower it.
inline std::size_t mdScannerBufferLimit = (std::size_t(1) << 29) + 2;
// Sets the limit for its lifetime (for tests).
class MdScannerBufferLimitScope {
public:
    explicit MdScannerBufferLimitScope(std::size_t limit) : m_old(mdScannerBufferLimit) { mdScannerBufferLimit = limit; }
    ~MdScannerBufferLimitScope() { mdScannerBufferLimit = m_old; }
    MdScannerBufferLimitScope(const MdScannerBufferLimitScope&) = delete;
    MdScannerBufferLimitScope& operator=(const MdScannerBufferLimitScope&) = delete;

private:
    std::size_t m_old;
};

// The scanners' reallocation (flex's yyrealloc): refuses sizes above the
// limit, and frees the old block whenever it gives null (flex overwrites
// its pointer with the null).
inline void* mdScannerRealloc(void* block, std::size_t size)
{
    void* grown = size <= mdScannerBufferLimit ? std::realloc(block, size) : nullptr;
    if (!grown && size <= mdScannerBufferLimit) mdScannerMemoryRanOut = true;
    if (!grown) std::free(block);
    return grown;
}
#ifdef yyrealloc
// In a generated scanner (built with "%option noyyrealloc"), whose yyrealloc
// names its own function.
void* yyrealloc(void* block, yy_size_t size)
{
    return mdScannerRealloc(block, size);
}
#endif

// A token longer than the input buffer makes the scanner grow the buffer
// and rescan the token after every read; reading as much as the grown
// buffer holds keeps that linear even for a token of megabytes (a long
// body line, text block or name).
#define YY_READ_BUF_SIZE (1 << 30)

// The line feeds in from..end, for a scanner that takes a run of text past
// its tables (they count those of the tokens they match).
inline int mdLineFeeds(const char* from, const char* end)
{
    int n = 0;
    while ((from = static_cast<const char*>(std::memchr(from, '\n', std::size_t(end - from)))) != nullptr) {
        ++n;
        ++from;
    }
    return n;
}

// The line where a text token began (a code block, a function text), the
// scanner standing on line at its end: the text holds every line feed the
// scanner counted since it began (only CR is dropped). line for no text.
inline int32_t mdTextFirstLine(int32_t line, const char* chars, std::size_t length)
{
    return line - mdLineFeeds(chars, chars + length);
}
inline int32_t mdTextFirstLine(int32_t line, const String* text)
{
    return text && text->chars() ? mdTextFirstLine(line, text->chars(), std::size_t(text->length())) : line;
}

// The blanks, tabs and line ends ("\r\n" or "\n") from p up to end: where
// they stop; the line feeds among them are added to lines. A "\r" that is
// the last byte before end stays (its "\n" may come with the next read).
inline char* mdSkipBlanks(char* p, const char* end, int& lines)
{
    for (; p < end; ++p) {
        const char c = *p;
        if (c == ' ' || c == '\t') continue;
        if (c == '\n') {
            ++lines;
        } else if (c == '\r' && p + 1 < end && p[1] == '\n') {
            ++lines;
            ++p;
        } else {
            break;
        }
    }
    return p;
}

// The blanks, tabs, carriage returns and line feeds from p up to end (each
// alone, "\r" too): where they stop; the line feeds among them are added to
// lines.
inline char* mdSkipSpace(char* p, const char* end, int& lines)
{
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first byte in memory is the lowest");
    constexpr uint64_t kEightBlanks = 0x2020202020202020ull;
    int feeds = 0;
    while (p < end) {
        const char c = *p;
        if (c == ' ' && end - p >= 8) {
            // a run of blanks (indentation) eight bytes at a time: p moves
            // to the first byte of the eight that is no blank
            uint64_t eight;
            std::memcpy(&eight, p, sizeof eight);
            const uint64_t others = eight ^ kEightBlanks;
            p += others != 0 ? unsigned(__builtin_ctzll(others)) / 8 : 8;
            continue;
        }
        if (c == '\n') {
            ++feeds;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            break;
        }
        ++p;
    }
    lines += feeds;
    return p;
}

// The classes of a byte that the hand-written parts of the scanners test,
// as the rules' patterns spell them: [A-Za-z0-9_], [A-Za-z_], [0-9A-Fa-f],
// [0-9] and [ \t].
enum : unsigned char { MdCharName = 1, MdCharNameStart = 2, MdCharHex = 4, MdCharDigit = 8, MdCharBlank = 16 };
struct MdCharClasses {
    unsigned char of[256];
    constexpr MdCharClasses() : of()
    {
        for (int c = 0; c < 256; ++c) {
            const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
            const bool digit = c >= '0' && c <= '9';
            const bool hex = digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
            of[c] = (letter || digit ? MdCharName : 0) | (letter ? MdCharNameStart : 0) | (hex ? MdCharHex : 0) |
                    (digit ? MdCharDigit : 0) | (c == ' ' || c == '\t' ? MdCharBlank : 0);
        }
    }
};
inline constexpr MdCharClasses kMdCharClasses;

// Whether c is of one of the classes in cls.
inline bool mdCharIs(char c, unsigned char cls)
{
    return (kMdCharClasses.of[static_cast<unsigned char>(c)] & cls) != 0;
}

// The end of the run of bytes of the classes cls from p on; end at the latest.
inline const char* mdCharRunEnd(const char* p, const char* end, unsigned char cls)
{
    while (p < end && mdCharIs(*p, cls)) ++p;
    return p;
}

// The keywords of a scanner that its rules match as whole words, looked up
// by their exact text: the table is built once from at most 64 {text,
// token} pairs, each text of at most kLongest bytes.
struct MdKeyword {
    const char* text;
    int token;
};
class MdKeywordTable {
public:
    static constexpr int kLongest = 31;
    template <std::size_t N>
    explicit MdKeywordTable(const MdKeyword (&keywords)[N])
    {
        static_assert(N <= 64, "a scanner's keywords");
        // by length, in the order given within one length
        int k = 0;
        for (int length = 0; length <= kLongest + 1; ++length) {
            m_first[length] = k;
            for (const MdKeyword& w : keywords)
                if (int(std::strlen(w.text)) == length) m_sorted[k++] = {w.text, w.token};
        }
        for (const MdKeyword& w : keywords) m_starts[static_cast<unsigned char>(w.text[0])] = true;
        for (int i = 0; i < k; ++i) {
            const char* const t = m_sorted[i].text;
            m_byFirst[static_cast<unsigned char>(t[0])] |= uint64_t(1) << i;
            for (int b = 0; b < 256; ++b)
                if (t[1] == '\0' || static_cast<unsigned char>(t[1]) == b) m_bySecond[b] |= uint64_t(1) << i;
        }
    }
    // The token of the word of len bytes; 0 when it is no keyword.
    int find(const char* word, int len) const
    {
        // most names begin with a byte that begins no keyword
        if (len > kLongest || !m_starts[static_cast<unsigned char>(word[0])]) return 0;
        for (int k = m_first[len]; k < m_first[len + 1]; ++k)
            if (m_sorted[k].text[0] == word[0] && m_sorted[k].text[len - 1] == word[len - 1] &&
                sameBytes(m_sorted[k].text, word, len))
                return m_sorted[k].token;
        return 0;
    }

    // Whether a keyword, whole, begins at p (a rule that matches the
    // keyword's text wherever it starts): 1 when one does before end, 0
    // when none does, -1 when the bytes before end begin one but end too
    // early to tell. Most bytes are decided by their first two.
    int beginsAt(const char* p, const char* end) const
    {
        if (p >= end) return -1;
        uint64_t candidates = m_byFirst[static_cast<unsigned char>(p[0])];
        if (candidates == 0) return 0;
        if (end - p < 2) return -1;
        candidates &= m_bySecond[static_cast<unsigned char>(p[1])];
        int result = 0;
        for (; candidates != 0; candidates &= candidates - 1) {
            const char* const text = m_sorted[__builtin_ctzll(candidates)].text;
            const std::size_t n = std::strlen(text);
            const std::size_t have = n < std::size_t(end - p) ? n : std::size_t(end - p);
            if (std::memcmp(p, text, have) != 0) continue;
            if (have == n) return 1;
            result = -1;
        }
        return result;
    }

private:
    // (a keyword is short: a loop costs less than a call of memcmp)
    static bool sameBytes(const char* a, const char* b, int len)
    {
        for (int i = 1; i < len - 1; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    int m_first[kLongest + 2];
    MdKeyword m_sorted[64];
    bool m_starts[256] = {};  // the first bytes of the keywords
    // The keywords (bits by their place in m_sorted) whose first byte, and
    // whose second byte (every byte for a keyword of one), is the index.
    uint64_t m_byFirst[256] = {};
    uint64_t m_bySecond[256] = {};
};

// In the rules of a flex C++ scanner, for a token read by hand from the
// buffer: the buffer's bytes from the scanner's position on, with the byte
// that the last token's end mark stands on put back; and their end.
#define MD_BUFFER_AHEAD() (*yy_c_buf_p = yy_hold_char, yy_c_buf_p)
#define MD_BUFFER_END() (YY_CURRENT_BUFFER_LVALUE->yy_ch_buf + yy_n_chars)
// The scanner goes on at p, a place in its buffer at or after
// MD_BUFFER_AHEAD(): the byte there is held and the end mark set on it, as
// the scanner does after a match.
#define MD_RESUME_AT(p)                    \
    do {                                   \
        yy_c_buf_p = const_cast<char*>(p); \
        yy_hold_char = *yy_c_buf_p;        \
        *yy_c_buf_p = '\0';                \
    } while (0)

// In the rules of a flex C++ scanner (the code before its first rule, which
// runs at every call): the token that recognize(from, end, len) finds at the
// scanner's position, or 0. recognize gives a token's code and length only
// when the rules would match it there with that length and what ends it
// lies before end (the buffer's end: the longest match is known then);
// else 0. With a token, yytext and yyleng are its text and the scanner goes
// on after it, as after a match; with 0 nothing has moved.
#define MD_TAKE_AHEAD(token, recognize)                         \
    do {                                                        \
        char* const from_ = MD_BUFFER_AHEAD();                  \
        int len_ = 0;                                           \
        (token) = (recognize)(from_, MD_BUFFER_END(), len_);    \
        if ((token) == 0) {                                     \
            *from_ = '\0';                                      \
        } else {                                                \
            yytext = from_;                                     \
            yyleng = len_;                                      \
            MD_RESUME_AT(from_ + len_);                         \
        }                                                       \
    } while (0)

// In the rules of a flex C++ scanner, after a token of one NUL byte: skips
// the NUL bytes behind it in the buffer, as if a rule had matched them. No
// rule of the scanners takes a NUL byte together with other bytes: flex marks
// the end of its buffer with NUL and, at each NUL inside a token, reads the
// token again from its start, so a long run of them in one token (a comment,
// a string, a line) would cost its length squared.
inline const char* mdNulRunEnd(const char* p, const char* end)
{
    while (p < end && *p == '\0') ++p;
    return p;
}
#define MD_SKIP_NULS_AHEAD() MD_RESUME_AT(mdNulRunEnd(MD_BUFFER_AHEAD(), MD_BUFFER_END()))

// In the rules of a flex C++ scanner: skips the blanks and line ends that
// the buffer holds from the current position on (mdSkipBlanks), as if a
// rule had matched them; what lies behind the buffer's end is left to the
// rules. The table walk costs several times this loop.
#define MD_SKIP_BLANKS_AHEAD(lines) MD_RESUME_AT(mdSkipBlanks(MD_BUFFER_AHEAD(), MD_BUFFER_END(), (lines)))
// The same for the scanners that take a lone "\r" as a blank (mdSkipSpace).
#define MD_SKIP_SPACE_AHEAD(lines) MD_RESUME_AT(mdSkipSpace(MD_BUFFER_AHEAD(), MD_BUFFER_END(), (lines)))

// The bytes from the stream's position to its end; 0 when unknown (no
// stream, or one that cannot seek). The position stays. A compiler that
// keeps the texts of its section reserves room for them at once with it,
// which spares copying them as its buffer grows (untouched room costs no
// memory).
std::size_t mdBytesLeft(std::istream* in);

// Adds the bytes from..p to text, a text that a scanner collects piece by
// piece from its buffer (a string, a code block, a long name), where end is
// the buffer's end and in the stream the buffer is filled from. A text that
// grows past kMdLongText gets at once the room for all that can still come
// (the buffer from `from` on and the bytes left in the stream), so that a
// text of megabytes is not copied into larger blocks as it grows: it is
// held once, and the room it does not fill is never touched. False, with
// nothing added, when the text would grow past the largest buffer of a
// scanner (mdScannerBufferLimit), as a token held in the buffer could not:
// the scanner's fatal error then (kMdBufferOverflow).
inline constexpr std::size_t kMdLongText = std::size_t(1) << 16;
inline constexpr const char* kMdBufferOverflow = "fatal error - scanner input buffer overflow";
// The room (in bytes) that a text of length bytes, about to take n more, is
// to be given first: 0 when what it has suffices or the text is still
// short, else length + the bytes ahead in the buffer (bufferAhead) and those
// left in the stream, at least twice the new length and at most 1 GB.
inline std::size_t mdRoomToCome(std::size_t length, std::size_t n, std::size_t capacity, std::size_t bufferAhead,
                                std::istream& in)
{
    if (length + n <= capacity || length + n < kMdLongText) return 0;
    std::size_t want = length + bufferAhead + mdBytesLeft(&in);
    // without a size to come, the room still doubles
    if (want < 2 * (length + n)) want = 2 * (length + n);
    constexpr std::size_t kMost = std::size_t(1) << 30;
    return want < kMost ? want : kMost;
}
inline bool mdCatToCome(String& text, const char* from, const char* p, const char* end, std::istream& in)
{
    const std::size_t n = std::size_t(p - from);
    const std::size_t length = std::size_t(text.length());
    if (length + n > mdScannerBufferLimit) return false;
    if (const std::size_t room = mdRoomToCome(length, n, std::size_t(text.capacity()), std::size_t(end - from), in))
        text.alloc(int(room));
    text.cat(from, int(n));
    return true;
}
// The same for a text kept in a std::string.
inline bool mdCatToCome(std::string& text, const char* from, const char* p, const char* end, std::istream& in)
{
    const std::size_t n = std::size_t(p - from);
    if (text.size() + n > mdScannerBufferLimit) return false;
    if (const std::size_t room = mdRoomToCome(text.size(), n, text.capacity(), std::size_t(end - from), in))
        text.reserve(room);
    text.append(from, n);
    return true;
}

// A text collected with mdCatToCome as a new String for a token's value,
// text left empty: its own block when the text fills at least half of it,
// else a copy of its length, so that the room made for what could still
// come is given back and not held with the value.
inline String* mdTextValue(String& text)
{
    String* value = std::size_t(text.capacity()) / 2 > std::size_t(text.length())
                        ? new String(text.chars(), text.length())
                        : new String(std::move(text));
    text = String();
    return value;
}

// In the action of a rule of a flex C++ scanner that matches the first byte
// of a run of text: the rest of the run that the buffer holds, up to the
// first byte for which stop(c) is true, is taken with it into text
// (mdCatToCome) and the scanner goes on behind it; the line feeds behind
// the matched byte are added to lines. A run longer than the buffer is never
// one token, for which flex would grow its buffer and hold a second copy.
#define MD_COLLECT_RUN(text, stop, lines)                                                 \
    do {                                                                                  \
        const char* const end_ = MD_BUFFER_END();                                         \
        const char* const p_ = mdRunEnd(MD_BUFFER_AHEAD(), end_, (stop));                 \
        (lines) += mdLineFeeds(yytext + yyleng, p_);                                      \
        if (!mdCatToCome((text), yytext, p_, end_, yyin)) YY_FATAL_ERROR(kMdBufferOverflow); \
        MD_RESUME_AT(p_);                                                                 \
    } while (0)
// The same for a run whose text is not kept: it is skipped.
#define MD_SKIP_RUN(stop, lines)                                                   \
    do {                                                                           \
        const char* const p_ = mdRunEnd(MD_BUFFER_AHEAD(), MD_BUFFER_END(), (stop)); \
        (lines) += mdLineFeeds(yytext + yyleng, p_);                               \
        MD_RESUME_AT(p_);                                                          \
    } while (0)
// The bytes that end a run of the plain text of a double-quoted string
// (whose rules take \" and \\ as escapes and refuse a NUL), and of a code
// block that ends at an END_ word (whose rules drop CR and refuse a NUL).
inline bool mdEndsQuotedRun(char c) { return c == '"' || c == '\\' || c == '\0'; }
inline bool mdEndsEndWordRun(char c) { return c == 'E' || c == '\r' || c == '\0'; }
// Where the run from p stops: at the first byte for which stop(c) is true,
// or at end.
template <class Stop>
inline const char* mdRunEnd(const char* p, const char* end, Stop stop)
{
    while (p < end && !stop(*p)) ++p;
    return p;
}

// Converts the digits from p to end (radix 8, 10 or 16; the scanner's pattern
// has checked that only such digits stand there) into value. False (value
// untouched) when the number is above max.
inline bool mdScanDigits(const char* p, const char* end, unsigned radix, uint32_t max, uint32_t& value)
{
    uint64_t v = 0;
    for (; p < end; ++p) {
        const char c = *p;
        // (below radix 11 only digits can stand there: no letter test)
        const unsigned d = radix <= 10 || (c >= '0' && c <= '9') ? unsigned(c - '0')
                           : c >= 'a' && c <= 'f'                ? unsigned(c - 'a' + 10)
                                                                 : unsigned(c - 'A' + 10);
        v = v * radix + d;
        if (v > max) return false;
    }
    value = uint32_t(v);
    return true;
}

// The same for the digits of the 0-terminated text.
inline bool mdScanNumber(const char* text, unsigned radix, uint32_t max, uint32_t& value)
{
    return mdScanDigits(text, text + std::strlen(text), radix, max, value);
}

// The text of a quoted string as matched (quotes included, len >= 2): the
// bytes between the quotes, each backslash-quote pair read as one quote and
// every other byte as it stands, handed to append(chars, count) in runs
// between the escapes (not byte by byte: comment and alarm sections are
// mostly such strings).
template <class Append>
inline void mdStringRuns(const char* text, int len, Append append)
{
    const char* const end = text + len - 1;
    const char* from = text + 1;
    for (const char* p = from; p < end;) {
        const char* q = static_cast<const char*>(std::memchr(p, '\\', std::size_t(end - p)));
        if (!q) break;
        if (q + 1 < end && q[1] == '"') {
            if (q > from) append(from, int(q - from));
            from = q + 1;  // the quote stands, its backslash goes
            p = q + 2;
        } else {
            p = q + 1;
        }
    }
    if (end > from) append(from, int(end - from));
}

// The closing quote of a string whose body begins at body, when it stands
// before end: the first quote with no backslash in front inside the body.
// Null when no such quote is found, or a NUL byte comes before it (the
// rules report it).
inline const char* mdStringClose(const char* body, const char* end)
{
    for (const char* p = body; p < end;) {
        const char* q = static_cast<const char*>(std::memchr(p, '"', std::size_t(end - p)));
        if (!q) return nullptr;
        if (q == body || q[-1] != '\\') return std::memchr(body, '\0', std::size_t(q - body)) ? nullptr : q;
        p = q + 1;
    }
    return nullptr;
}

// mdStringRuns into a new String; the caller owns the result.
inline String* mdStringValue(const char* text, int len)
{
    String* s = new String("");
    mdStringRuns(text, len, [s](const char* chars, int count) { s->cat(chars, count); });
    return s;
}
