// Resource-script string tables of the section compilers.
#include "tools/md/tavolin/MdRcStringTable.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/tempnames.h"
#include "platform/text.h"

const char kMdRcLineEnd[] = "\r\n";

MdRcStringTable::~MdRcStringTable()
{
    close();
}

bool MdRcStringTable::open(const String& path)
{
    close();
    m_failed = false;
    // Binary mode: the line ends are written as they stand.
    if (!path.empty()) m_file = std::fopen(path.c_str(), "ab");
    if (!m_file) {
        // The step says only that it could not open the file: why is kept
        // for a host that says it.
        if (!path.empty()) tvp::noteFileFailureAt(errno, path.c_str());
        m_failed = true;
    }
    return m_file != nullptr;
}

namespace {

// What is collected before it is written: a table of an alarm section has
// an entry per alarm, and a write per line was a large part of its cost.
constexpr std::size_t kRcWriteRun = 1 << 16;

}  // namespace

char* MdRcStringTable::room(std::size_t n)
{
    if (m_used + n > m_room) {
        flush();
        if (n > m_room) {
            // Twice the run: a line seldom outgrows it.
            const std::size_t size = n > kRcWriteRun ? n : 2 * kRcWriteRun;
            m_pending.reset(new char[size]);
            m_room = size;
        }
    }
    return good() ? m_pending.get() + m_used : nullptr;
}

void MdRcStringTable::put(const char* text, std::size_t len)
{
    if (!good() || len == 0) return;
    char* const to = room(len);
    if (!to) return;
    std::memcpy(to, text, len);
    m_used += len;
    if (m_used >= kRcWriteRun) flush();
}

void MdRcStringTable::flush()
{
    if (good() && m_used != 0 && std::fwrite(m_pending.get(), 1, m_used, m_file) != m_used) m_failed = true;
    m_used = 0;
}

void MdRcStringTable::put(const char* text)
{
    put(text, std::strlen(text));
}

void MdRcStringTable::beginTable()
{
    put("STRINGTABLE DISCARDABLE");
    put(kMdRcLineEnd);
    put("BEGIN");
    put(kMdRcLineEnd);
}

void MdRcStringTable::addText(int32_t id, const String& text)
{
    addText(id, text.c_str(), std::size_t(text.length()));
}

namespace {

// A word with a byte of value b set where the word has a byte equal to it
// (the top bit of that byte; bytes above a match may show too, which only
// sends the word to the byte-wise path).
inline uint64_t bytesEqual(uint64_t word, uint8_t b)
{
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t tops = 0x8080808080808080ull;
    const uint64_t x = word ^ (ones * b);
    return (x - ones) & ~x & tops;
}

// Whether the eight bytes at p hold none that the writer escapes (a quote, a
// line end, a backslash): they are written, and read back, as they stand.
inline bool plainWord(const char* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    return (bytesEqual(w, '"') | bytesEqual(w, '\r') | bytesEqual(w, '\n') | bytesEqual(w, '\\')) == 0;
}

// The bytes code page 1252 leaves undefined, from the platform's table,
// as a list and as a flag per byte.
struct UndefinedBytes {
    uint8_t byte[32];  // all within 0x80..0x9F
    int count = 0;
    bool is[256] = {};
    UndefinedBytes()
    {
        for (int b = 0x80; b < 0xA0; ++b) {
            if (!tvp::ansiByteUndefined(static_cast<unsigned char>(b))) continue;
            is[b] = true;
            byte[count++] = uint8_t(b);
        }
    }
};

const UndefinedBytes& undefinedBytes()
{
    static const UndefinedBytes bytes;
    return bytes;
}

// Whether the bytes at p begin a well-formed UTF-8 sequence of two to four
// bytes before end: a lead byte C2 to F4 and its continuation bytes 80 to
// BF, neither overlong (E0 80, F0 80) nor a surrogate (ED A0) nor past
// U+10FFFF (F4 90).
inline bool utf8SequenceAt(const char* at, const char* end)
{
    const auto* p = reinterpret_cast<const unsigned char*>(at);
    const auto* const e = reinterpret_cast<const unsigned char*>(end);
    const unsigned lead = p[0];
    if (lead < 0xC2 || lead > 0xF4) return false;
    const std::ptrdiff_t size = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (e - p < size) return false;
    // The second byte's range narrows for the leads that could be overlong
    // or out of range.
    unsigned low = 0x80, high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    else if (lead == 0xED) high = 0x9F;
    else if (lead == 0xF0) low = 0x90;
    else if (lead == 0xF4) high = 0x8F;
    if (p[1] < low || p[1] > high) return false;
    for (std::ptrdiff_t i = 2; i < size; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return false;
    return true;
}

// Whether the eight bytes at p may hold one of the undefined bytes (false:
// they surely do not). A word without a byte of 0x80..0x9F, where they all
// are and the letters of the code page (0xC0 and up) are not, is passed at
// once.
inline bool mayHoldUndefined(const char* p, const UndefinedBytes& undefined)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    if (bytesEqual(w & 0xE0E0E0E0E0E0E0E0ull, 0x80) == 0) return false;
    uint64_t any = 0;
    for (int i = 0; i < undefined.count; ++i) any |= bytesEqual(w, undefined.byte[i]);
    return any != 0;
}

// Whether the eight bytes at p may begin a UTF-8 sequence (false: they
// surely do not): a byte of 0xC0 or above followed by one of 0x80 to 0xBF,
// or such a byte last, whose sequence goes on past the word. A code page
// 1252 letter is mostly followed by a plain byte or another letter, so its
// words pass here at once, as plain ASCII does.
inline bool mayHoldUtf8(const char* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    constexpr uint64_t tops = 0x8080808080808080ull;
    const uint64_t leads = w & (w << 1) & tops;          // 11xxxxxx
    const uint64_t continuations = w & ~(w << 1) & tops;  // 10xxxxxx
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return (leads | continuations) != 0;
#else
    // Bytes stand in memory order from the low end of the word.
    return ((leads << 8) & continuations) != 0 || (leads >> 56) != 0;
#endif
}

// Whether the lone last backslash of a run, standing before p, is written
// doubled: before a quote, a line end or the text's end it would escape
// what the writer puts there, and before an x or X without a hexadecimal
// digit after it it would be read as a NUL byte.
inline bool loneBackslashDoubled(const char* p, const char* end)
{
    if (p == end || *p == '"' || *p == '\r' || *p == '\n') return true;
    return (*p == 'x' || *p == 'X') && (p + 1 == end || !std::isxdigit(static_cast<unsigned char>(p[1])));
}

// Copies one text byte to out, escaped; returns where out goes on. p is
// moved past a CR LF pair, and past a whole run of backslashes.
inline char* putEscaped(char* out, const char*& p, const char* end)
{
    const char c = *p;
    if (c == '\\') {
        // A resource compiler reads a backslash as an escape and pairs the
        // backslashes of a run from its left: each pair stands for one
        // backslash, and a lone last one escapes the byte after it. Before
        // an ordinary byte that is the author's escape (C:\temp\new keeps
        // its \t and \n). Before a quote, a line end or the text's end it
        // would escape what the writer puts there (the doubled quote, the
        // \n, the closing quote) and break the entry: that one is doubled,
        // so that it stands for itself. So is one before an x without a
        // hexadecimal digit after it, which is no escape but would be read
        // as a NUL byte that cuts the text (c\x, a\xg).
        const char* const from = p;
        while (p < end && *p == '\\') ++p;
        const std::size_t run = std::size_t(p - from);
        std::memset(out, '\\', run);
        out += run;
        if ((run & 1) != 0 && loneBackslashDoubled(p, end)) *out++ = '\\';
        return out;
    }
    if (c == '"') {
        *out++ = '"';
        *out++ = '"';
    } else if (c == '\r' || c == '\n') {
        *out++ = '\\';
        *out++ = 'n';
        if (c == '\r' && p + 1 < end && p[1] == '\n') ++p;
    } else {
        *out++ = c;
    }
    ++p;
    return out;
}

}  // namespace

void MdRcStringTable::addText(int32_t id, const char* text, std::size_t length, IdDigits digitCase)
{
    if (!good()) return;
    // The head and then the text in pieces of at most a run, each with
    // room for two bytes per text byte, the closing quote and the line end,
    // and a word of slack for the copies by eight bytes: a text of many
    // megabytes passes through the pending buffer rather than being
    // escaped whole into one twice its size.
    const std::size_t piece = length < kRcWriteRun ? length : kRcWriteRun;
    char* o = room(32 + 2 * piece + 8);
    if (!o) return;
    const char* const line = o;
    // "   0x%04X   \"", written by hand: a table of an alarm section holds
    // an entry per alarm, and formatting was most of its cost.
    std::memcpy(o, "   0x", 5);
    o += 5;
    const uint32_t v = uint32_t(id);
    int digits = 4;
    while (digits < 8 && (v >> (4 * digits)) != 0) ++digits;
    const char* const hex = digitCase == LowerCaseId ? "0123456789abcdef" : "0123456789ABCDEF";
    for (int d = digits - 1; d >= 0; --d) *o++ = hex[(v >> (4 * d)) & 0xF];
    std::memcpy(o, "   \"", 4);
    o += 4;
    m_used += std::size_t(o - line);
    // A quote inside the text is doubled, the resource compiler's escape;
    // a bare one would end the string early. A line end (CR LF, LF or CR)
    // becomes the escape \n: a raw one would break the entry's line, and a
    // reader of the script would lose it. A lone backslash before either,
    // or at the end, is doubled (putEscaped). Every other byte stands as it
    // is. Eight bytes at a time while a word holds none of the four. Each
    // byte is escaped as the whole text around it says (a piece ends where
    // it ends, the text where it ends).
    const char* p = text;
    const char* const end = text + length;
    do {
        const std::size_t left = std::size_t(end - p);
        const char* pieceEnd = p + (left < kRcWriteRun ? left : kRcWriteRun);
        // A run of backslashes is escaped as a whole (its length decides
        // about the last one): a piece ends behind it.
        while (pieceEnd < end && pieceEnd[-1] == '\\' && *pieceEnd == '\\') ++pieceEnd;
        char* const from = room(2 * std::size_t(pieceEnd - p) + 3 + 8);
        if (!from) return;
        o = from;
        while (p < pieceEnd) {
            if (pieceEnd - p >= 8) {
                if (plainWord(p)) {
                    std::memcpy(o, p, 8);
                    o += 8;
                    p += 8;
                    continue;
                }
                const char* const word = p + 8;
                while (p < word) o = putEscaped(o, p, end);
                continue;
            }
            o = putEscaped(o, p, end);
        }
        if (p >= end) {
            *o++ = '"';
            std::memcpy(o, kMdRcLineEnd, 2);
            o += 2;
        }
        m_used += std::size_t(o - from);
        if (m_used >= kRcWriteRun) flush();
    } while (p < end);
}

void MdRcStringTable::endTable()
{
    put("END");
    put(kMdRcLineEnd);
    put(kMdRcLineEnd);
}

bool MdRcStringTable::close()
{
    if (!m_file) return false;
    flush();
    const bool flushed = std::fflush(m_file) == 0 && !std::ferror(m_file);
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    const bool ok = !m_failed && flushed && closed;
    m_failed = true;  // a closed writer takes nothing more
    return ok;
}

MdRcReadBack mdRcReadBack(const char* text, std::size_t length)
{
    const char* p = text;
    const char* const end = text + length;
    MdRcReadBack r;
    const UndefinedBytes& undefined = undefinedBytes();
    // Notes b, read from the text at `at`, when it is the first byte read
    // back that the code page leaves undefined.
    const auto take = [&r, &undefined, text](unsigned char b, const char* at) {
        if (undefined.is[b] && r.undefinedByte == 0) {
            r.undefinedByte = b;
            r.undefinedAt = std::size_t(at - text);
        }
    };
    // Notes a UTF-8 sequence that begins at the raw byte at `at`.
    const auto lookForUtf8 = [&r, end](const char* at) {
        if (!r.utf8 && static_cast<unsigned char>(*at) >= 0xC2) r.utf8 = utf8SequenceAt(at, end);
    };
    while (p < end) {
        // Eight plain bytes at a time, as the writer copies them; their own
        // values are looked at only while none was found and the word may
        // hold one.
        if (end - p >= 8 && plainWord(p)) {
            if (r.undefinedByte == 0 && mayHoldUndefined(p, undefined))
                for (int i = 0; i < 8; ++i) take(static_cast<unsigned char>(p[i]), p + i);
            if (!r.utf8 && mayHoldUtf8(p))
                for (int i = 0; i < 8; ++i) lookForUtf8(p + i);
            r.chars += 8;
            p += 8;
            continue;
        }
        const char c = *p;
        if (c != '\\') {
            // A CR LF pair is written as one \n.
            if (c == '\r' && p + 1 < end && p[1] == '\n') ++p;
            take(static_cast<unsigned char>(c), p);
            lookForUtf8(p);
            ++r.chars;
            ++p;
            continue;
        }
        const char* const from = p;
        while (p < end && *p == '\\') ++p;
        const std::size_t run = std::size_t(p - from);
        r.chars += run / 2;
        // A lone last one the writer doubles is one backslash more; else it
        // escapes what follows (p < end here: at the end it is doubled).
        if ((run & 1) == 0) continue;
        if (loneBackslashDoubled(p, end)) {
            ++r.chars;
            continue;
        }
        const char e = *p++;
        // Up to `most` digits of base after the escape's letter, into value.
        unsigned value = 0;
        const auto digits = [&p, end, &value](int most, unsigned base, auto digitOf) {
            for (int i = 0; i < most && p < end; ++i) {
                const int d = digitOf(*p);
                if (d < 0) break;
                value = value * base + unsigned(d);
                ++p;
            }
        };
        if (e >= '0' && e <= '7') {
            // Up to three octal digits, up to 0777: the byte is the value's
            // low eight bits (\601 reads as 0x81).
            value = unsigned(e - '0');
            digits(2, 8, [](char d) { return d >= '0' && d <= '7' ? d - '0' : -1; });
            take(static_cast<unsigned char>(value & 0xFF), from);
            ++r.chars;
        } else if (e == 'x' || e == 'X') {
            digits(2, 16, [](char d) {
                if (d >= '0' && d <= '9') return d - '0';
                if (d >= 'a' && d <= 'f') return d - 'a' + 10;
                if (d >= 'A' && d <= 'F') return d - 'A' + 10;
                return -1;
            });
            take(static_cast<unsigned char>(value), from);
            ++r.chars;
        } else if (e != 0 && std::strchr("abfnrtv", e)) {
            ++r.chars;
        } else {
            // No escape: the backslash stays, and so does the byte.
            take(static_cast<unsigned char>(e), p - 1);
            lookForUtf8(p - 1);
            r.chars += 2;
        }
    }
    return r;
}

uint64_t mdRcStoredChars(const char* text, std::size_t length)
{
    return mdRcReadBack(text, length).chars;
}

std::string mdRcIdText(int32_t id)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", unsigned(uint32_t(id)));
    return buf;
}

bool mdAppendStringTable(const String& path, const std::vector<std::pair<int32_t, String>>& texts)
{
    MdRcStringTable table;
    if (!table.open(path)) return false;
    table.beginTable();
    for (const auto& t : texts) table.addText(t.first, t.second);
    table.endTable();
    return table.close();
}
