#include "base/fs/FsSecCl.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <type_traits>

#include "base/fs/FsSecRun.h"
#include "co/TraceApi.h"
#include "platform/guid.h"
#include "platform/text.h"

namespace {

const char* const kTraceFile = "base/fs/fs_defs";

inline bool isSeparator(unsigned char c)
{
    return c == 0 || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

inline bool isCSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline int digitValue(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// 32-bit strtol / strtoul: leading white space, a sign, "0x" in base 16,
// digits. Out of range saturates (signed) or gives all ones (unsigned); a
// minus sign negates an unsigned value modulo 2^32. *end = s when no digit.
uint32_t parse32(const char* s, const char** end, uint32_t base, bool isSigned)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
    while (isCSpace(*p)) ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') {
        neg = *p == '-';
        ++p;
    }
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitValue(p[2]) < 16) p += 2;
    uint64_t v = 0;
    bool overflow = false;
    const unsigned char* digits = p;
    for (int d; (d = digitValue(*p)) < int(base); ++p) {
        v = v * base + uint64_t(d);
        if (v > 0xFFFFFFFFull) {
            overflow = true;
            v = 0xFFFFFFFFull;
        }
    }
    if (p == digits) {
        *end = s;
        return 0;
    }
    *end = reinterpret_cast<const char*>(p);
    if (isSigned) {
        if (neg) {
            if (overflow || v > 0x80000000ull) return 0x80000000u;
            return uint32_t(-int64_t(v));
        }
        if (overflow || v > 0x7FFFFFFFull) return 0x7FFFFFFFu;
        return uint32_t(v);
    }
    if (overflow) return 0xFFFFFFFFu;
    return neg ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
}

// The digits of v in the base (lower case), written backwards before end;
// their count.
// Inlined where it is called with the base as a constant: a division by a
// variable costs as much as the rest of a number's writing.
inline __attribute__((always_inline)) int digitsBackwards(uint32_t v, uint32_t base, char* end)
{
    char* p = end;
    do {
        const uint32_t d = v % base;
        *--p = char(d < 10 ? '0' + d : 'a' + d - 10);
        v /= base;
    } while (v);
    return int(end - p);
}

// The count of decimal digits of v.
inline int decimalDigits(uint32_t v)
{
    int n = 1;
    for (uint32_t bound = 10; n < 10 && v >= bound; bound *= 10) ++n;
    return n;
}

// The pairs "00" to "99": a number is written two digits per division.
struct DigitPairs {
    char text[200];
    constexpr DigitPairs() : text()
    {
        for (int i = 0; i < 100; ++i) {
            text[2 * i] = char('0' + i / 10);
            text[2 * i + 1] = char('0' + i % 10);
        }
    }
};
constexpr DigitPairs kDigitPairs;

// Writes v in the base into out (room for 32 digits); the length. The
// common bases go straight into place, the others through a copy.
int formatUnsigned(uint32_t v, uint32_t base, char* out)
{
    if (base == 10) {
        const int n = decimalDigits(v);
        char* p = out + n;
        for (; v >= 100; v /= 100) {
            p -= 2;
            std::memcpy(p, kDigitPairs.text + 2 * (v % 100), 2);
        }
        if (v >= 10) {
            std::memcpy(p - 2, kDigitPairs.text + 2 * v, 2);
        } else {
            p[-1] = char('0' + v);
        }
        return n;
    }
    if (base == 16) {
        const int n = (32 - __builtin_clz(v | 1u) + 3) / 4;
        digitsBackwards(v, 16, out + n);
        return n;
    }
    char tmp[40];
    char* const end = tmp + sizeof tmp;
    const int n = digitsBackwards(v, base, end);
    std::memcpy(out, end - n, size_t(n));
    return n;  // the length
}

// "%.<precision>g" in the C locale.
int formatGeneral(double v, int precision, char* out, size_t room)
{
    auto r = std::to_chars(out, out + room, v, std::chars_format::general, precision);
    if (r.ec != std::errc()) return 0;
    return int(r.ptr - out);
}

locale_t cLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

}  // namespace

int fsFormatUnsigned(uint32_t v, uint32_t base, char* out)
{
    return formatUnsigned(v, base, out);
}

// ---------------------------------------------------------------------------
// Construction and attachment
// ---------------------------------------------------------------------------

FsSecCl::FsSecCl()
    : m_flags(1), m_pStream(nullptr), m_error(0), m_errorPos(0), m_stamp{0, 0},
      m_windowStart(NO_WINDOW), m_windowPos(0), m_windowValid(0), m_end(0), m_base(10),
      m_tokenLimit(0), m_changed(0), m_binary(0), m_dirty(0)
{
    std::memset(m_buffer, 0, sizeof(m_buffer));
    if (FAILED(CoFileTimeNow(&m_stamp)))
        TV_TRACE(4, kTraceFile, "FsSecCl::FsSecCl", "error calling CoFileTimeNow");
}

FsSecCl::FsSecCl(IStream* stream) : FsSecCl()
{
    if (!stream) return;
    m_pStream = stream;
    m_pStream->AddRef();
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (FAILED(m_pStream->Stat(&st, STATFLAG_NONAME))) {
        setError(FSSEC_STREAM_CALL);
        return;
    }
    if (st.cbSize.u.HighPart != 0) {
        setError(FSSEC_INTERNAL);
        return;
    }
    m_end = st.cbSize.u.LowPart;
    bool memoryStream = st.ctime.dwLowDateTime == 0 && st.ctime.dwHighDateTime == 0;
    m_flags = ((st.grfMode & (STGM_WRITE | STGM_READWRITE)) || memoryStream) ? 1 : 0;
    loadWindow(0);
}

FsSecCl::~FsSecCl()
{
    try {
        flush();
        if (m_pStream) {
            if (FAILED(m_pStream->Commit(STGC_DEFAULT)))
                TV_TRACE(4, kTraceFile, "FsSecCl::~FsSecCl", "error calling Commit");
            m_pStream->Release();
            m_pStream = nullptr;
        }
    } catch (...) {
        TV_TRACE(4, kTraceFile, "FsSecCl::~FsSecCl", "caught any unhandled exception");
    }
}

uint32_t FsSecCl::read() { return 0; }
uint32_t FsSecCl::write() { return 0; }
uint32_t FsSecCl::typeId() const { return 0; }

uint32_t FsSecCl::attach(IStream* stream, uint32_t mode)
{
    if (m_pStream) return 3;
    if (!stream) return 1;
    m_pStream = stream;
    m_pStream->AddRef();
    m_flags = mode;
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (FAILED(m_pStream->Stat(&st, STATFLAG_NONAME))) {
        setError(FSSEC_STREAM_CALL);
        return 1;
    }
    if (st.cbSize.u.HighPart != 0) {
        setError(FSSEC_INTERNAL);
        return 1;
    }
    m_end = st.cbSize.u.LowPart;
    m_windowStart = NO_WINDOW;
    m_windowPos = 0;
    m_windowValid = 0;
    return 0;
}

uint32_t FsSecCl::openStream(IStorage* storage, const char* name, uint32_t mode)
{
    if (m_pStream) return 3;
    if (!storage || !name) return 7;
    std::u16string wname = tvp::ansiToWide(name);
    DWORD access = (mode & FS_MODE_WRITE) ? (STGM_READWRITE | STGM_SHARE_EXCLUSIVE)
                                          : (STGM_READ | STGM_SHARE_EXCLUSIVE);
    IStream* s = nullptr;
    if (FAILED(storage->OpenStream(wname.c_str(), nullptr, access, 0, &s)) || !s) return 7;
    uint32_t r = attach(s, mode);
    s->Release();
    return r;
}

// ---------------------------------------------------------------------------
// Errors and the window
// ---------------------------------------------------------------------------

void FsSecCl::setError(uint32_t code)
{
    if (m_error == 0) {
        m_error = code;
        m_errorPos = tell();
    }
}

void FsSecCl::setErrorAt(uint32_t code, uint32_t pos)
{
    if (m_error == 0) {
        m_error = code;
        m_errorPos = pos;
    }
}

bool FsSecCl::loadWindow(uint32_t p)
{
    m_windowStart = p;
    m_windowPos = 0;
    m_windowValid = 0;
    m_dirty = 0;
    if (!m_pStream) {
        setError(FSSEC_INTERNAL);
        return false;
    }
    LARGE_INTEGER li;
    li.QuadPart = p;
    if (FAILED(m_pStream->Seek(li, STREAM_SEEK_SET, nullptr))) {
        setError(FSSEC_STREAM_CALL);
        return false;
    }
    ULONG got = 0;
    HRESULT hr = m_pStream->Read(m_buffer, WINDOW_SIZE, &got);
    if (got > WINDOW_SIZE) got = WINDOW_SIZE;
    m_windowValid = got;
    uint32_t wanted = m_end > p ? m_end - p : 0;
    if (wanted > WINDOW_SIZE) wanted = WINDOW_SIZE;
    if (FAILED(hr) || got < wanted) {
        setError(FSSEC_STREAM_CALL);
        return false;
    }
    return true;
}

void FsSecCl::flush()
{
    if (!(m_flags & FS_MODE_WRITE) || !m_dirty || m_error == FSSEC_LENT) return;
    if (!m_pStream || m_windowStart == NO_WINDOW) {
        setError(FSSEC_INTERNAL);
        return;
    }
    m_dirty = 0;
    LARGE_INTEGER li;
    li.QuadPart = m_windowStart;
    uint32_t n = m_end > m_windowStart ? m_end - m_windowStart : 0;
    if (n > WINDOW_SIZE) n = WINDOW_SIZE;
    ULONG written = 0;
    if (FAILED(m_pStream->Seek(li, STREAM_SEEK_SET, nullptr)) ||
        FAILED(m_pStream->Write(m_buffer, n, &written)) || written != n)
        setError(FSSEC_STREAM_CALL);
}

void FsSecCl::crossWindow()
{
    if (m_windowPos < WINDOW_SIZE) return;
    flush();
    if (m_error) return;
    loadWindow(m_windowStart + WINDOW_SIZE);
}

// ---------------------------------------------------------------------------
// Positioning
// ---------------------------------------------------------------------------

uint32_t FsSecCl::seek(int32_t offset, uint32_t origin)
{
    uint32_t pos = tell();
    if (m_error) return pos;
    int64_t target;
    switch (origin) {
    case 0: target = offset; break;
    case 1: target = int64_t(pos) + offset; break;
    case 2: target = int64_t(m_end) + offset; break;
    default: return pos;
    }
    if (target < 0 || target > int64_t(m_end)) return pos;
    uint32_t t = uint32_t(target);
    if (m_windowStart == NO_WINDOW) {
        m_windowPos = t;
        return t;
    }
    if (t >= m_windowStart && t - m_windowStart < WINDOW_SIZE) {
        m_windowPos = t - m_windowStart;
        return t;
    }
    flush();
    if (m_error || !loadWindow(t)) return 0;
    return t;
}

uint32_t FsSecCl::setSize(uint32_t size)
{
    flush();
    if (m_error) return 1;
    if (!m_pStream) return 9;
    if (!(m_flags & FS_MODE_WRITE)) {
        setError(FSSEC_NOT_WRITABLE);
        return 1;
    }
    ULARGE_INTEGER ul;
    ul.QuadPart = size;
    if (FAILED(m_pStream->SetSize(ul))) {
        setError(FSSEC_STREAM_CALL);
        return 1;
    }
    m_end = size;
    return loadWindow(size) ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Raw bytes
// ---------------------------------------------------------------------------

void FsSecCl::writeBytesAnywhere(const void* data, uint32_t length)
{
    if (!(m_flags & FS_MODE_WRITE)) {
        setError(FSSEC_NOT_WRITABLE);
        return;
    }
    if (m_error || length == 0) return;
    if (!data || !ensureWindow()) {
        setError(FSSEC_INTERNAL);
        return;
    }
    if (uint64_t(tell()) + length > 0xFFFFFFFFull) {
        setError(FSSEC_INTERNAL);
        return;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (length) {
        if (m_windowPos >= WINDOW_SIZE) {
            setError(FSSEC_INTERNAL);
            return;
        }
        if (m_windowPos == 0 && length >= WINDOW_SIZE) {
            // Whole windows from a window's start go to the stream as they
            // are, without passing through the window.
            const uint32_t direct = length - length % WINDOW_SIZE;
            if (!writeDirect(p, direct)) return;
            p += direct;
            length -= direct;
            continue;
        }
        uint32_t chunk = WINDOW_SIZE - m_windowPos;
        if (chunk > length) chunk = length;
        std::memcpy(m_buffer + m_windowPos, p, chunk);
        m_windowPos += chunk;
        m_dirty = 1;
        if (m_windowPos > m_windowValid) m_windowValid = m_windowPos;
        uint32_t pos = m_windowStart + m_windowPos;
        if (pos > m_end) m_end = pos;
        p += chunk;
        length -= chunk;
        if (m_windowPos == WINDOW_SIZE) {
            crossWindow();
            if (m_error) return;
        }
    }
}

bool FsSecCl::writeDirect(const uint8_t* p, uint32_t n)
{
    flush();
    if (m_error) return false;
    LARGE_INTEGER li;
    li.QuadPart = m_windowStart;
    ULONG written = 0;
    if (FAILED(m_pStream->Seek(li, STREAM_SEEK_SET, nullptr)) || FAILED(m_pStream->Write(p, n, &written)) ||
        written != n) {
        setError(FSSEC_STREAM_CALL);
        return false;
    }
    const uint32_t end = m_windowStart + n;
    if (end > m_end) m_end = end;
    // The window moves on to what follows the bytes written.
    return loadWindow(end);
}

FsSecCl& FsSecCl::operator<<(char c)
{
    writeBytes(&c, 1);
    return *this;
}

FsSecCl& FsSecCl::operator<<(const char* text)
{
    if (text) writeBytes(text, uint32_t(std::strlen(text)));
    return *this;
}

void FsSecCl::putBlank()
{
    if (!m_binary) writeBytes(" ", 1);
}

void FsSecCl::putNewLine()
{
    if (!m_binary) writeBytes("\r\n", 2);
}

char FsSecCl::readChar()
{
    if (m_error || !ensureWindow()) return 0;
    if (tell() >= m_end) {
        setError(FSSEC_EOF);
        return 0;
    }
    if (m_windowPos >= m_windowValid) {
        setError(FSSEC_INTERNAL);
        return 0;
    }
    char c = char(m_buffer[m_windowPos++]);
    crossWindow();
    return c;
}

bool FsSecCl::peekChar(char& c)
{
    if (m_error || !ensureWindow()) return false;
    if (tell() >= m_end) return false;
    if (m_windowPos >= m_windowValid) {
        setError(FSSEC_INTERNAL);
        return false;
    }
    c = char(m_buffer[m_windowPos]);
    return true;
}

void FsSecCl::readBytes(void* data, uint32_t length)
{
    if (!data) {
        setError(FSSEC_INTERNAL);
        return;
    }
    if (m_error || !ensureWindow()) return;
    uint8_t* p = static_cast<uint8_t*>(data);
    while (length) {
        uint32_t pos = tell();
        if (pos >= m_end) {
            setError(FSSEC_EOF);
            return;
        }
        if (m_windowPos >= m_windowValid) {
            setError(FSSEC_INTERNAL);
            return;
        }
        uint32_t chunk = m_windowValid - m_windowPos;
        if (chunk > m_end - pos) chunk = m_end - pos;
        if (chunk > length) chunk = length;
        std::memcpy(p, m_buffer + m_windowPos, chunk);
        m_windowPos += chunk;
        p += chunk;
        length -= chunk;
        crossWindow();
        if (m_error) return;
    }
}

uint32_t FsSecCl::readRawToken(char* buf, uint32_t limit)
{
    buf[0] = 0;
    if (m_error) return 0;
    if (m_binary) {
        setError(FSSEC_BINARY_TOKEN);
        return 0;
    }
    char c = 0;
    for (;;) {
        if (!peekChar(c)) {
            if (!m_error) setError(FSSEC_EOF);
            return 0;
        }
        if (!isSeparator(uint8_t(c))) break;
        readChar();
    }
    uint32_t n = 0;
    while (n < limit) {
        if (!peekChar(c)) break;
        readChar();
        if (isSeparator(uint8_t(c))) break;
        buf[n++] = c;
    }
    buf[n] = 0;
    return m_error ? 0 : n;
}

uint32_t FsSecCl::readTokenInto(char* buf, uint32_t bufSize)
{
    if (!buf || bufSize == 0) {
        setError(FSSEC_INTERNAL);
        return 0;
    }
    uint32_t limit = bufSize - 1;
    if (m_tokenLimit > 0 && uint32_t(m_tokenLimit) < limit) limit = uint32_t(m_tokenLimit);
    m_tokenLimit = 0;
    return readRawToken(buf, limit);
}

FsSecCl& FsSecCl::operator>>(char* buf)
{
    int32_t limit = m_tokenLimit;
    m_tokenLimit = 0;
    if (!buf) {
        setError(FSSEC_INTERNAL);
        return *this;
    }
    // Without a limit the token may run to the end of the section.
    const uint32_t pos = tell();
    const uint32_t rest = m_end > pos ? m_end - pos : 0;
    readRawToken(buf, limit > 0 ? uint32_t(limit) : rest);
    return *this;
}

bool FsSecCl::readUntil(String& s, char terminator)
{
    for (;;) {
        if (m_error || !ensureWindow()) return true;
        uint32_t pos = tell();
        if (pos >= m_end) return true;
        if (m_windowPos >= m_windowValid) {
            setError(FSSEC_INTERNAL);
            return true;
        }
        uint32_t avail = m_windowValid - m_windowPos;
        if (avail > m_end - pos) avail = m_end - pos;
        const uint8_t* start = m_buffer + m_windowPos;
        const void* hit = std::memchr(start, uint8_t(terminator), avail);
        uint32_t take = hit ? uint32_t(static_cast<const uint8_t*>(hit) - start) : avail;
        if (take) s.cat(reinterpret_cast<const char*>(start), int(take));
        m_windowPos += take + (hit ? 1 : 0);
        crossWindow();
        if (hit) return m_error != 0 || tell() >= m_end;
    }
}

bool FsSecCl::readToken(String& s)
{
    char c = 0;
    for (;;) {
        if (!peekChar(c)) return true;
        readChar();
        if (m_error) return true;
        if (c == '\n' || c == ',' || c == ';' || c == '=' || c == '|') break;
        if (c != ' ') s += c;
    }
    return m_error != 0 || tell() >= m_end;
}

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------

void FsSecCl::writeTextSigned(int32_t v)
{
    char buf[40];
    int n;
    if (m_base == 10) {
        uint32_t mag = v < 0 ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
        n = 0;
        if (v < 0) buf[n++] = '-';
        n += formatUnsigned(mag, 10, buf + n);
    } else {
        n = formatUnsigned(uint32_t(v), m_base, buf);
    }
    writeBytes(buf, uint32_t(n));
}

void FsSecCl::writeTextUnsigned(uint32_t v)
{
    char buf[40];
    int n = formatUnsigned(v, m_base, buf);
    writeBytes(buf, uint32_t(n));
}

bool FsSecCl::readTextNumber(bool isSigned, uint32_t& out)
{
    if (m_error || !ensureWindow()) return false;
    if (m_binary) {
        setError(FSSEC_BINARY_TOKEN);
        return false;
    }
    uint32_t syntaxError = isSigned ? FSSEC_LONG_SYNTAX : FSSEC_ULONG_SYNTAX;
    // Signed numbers in base 10 are parsed as signed, everything else as
    // unsigned in the current base.
    bool asSigned = isSigned && m_base == 10;
    if (m_windowPos < m_windowValid) {
        const char* p = reinterpret_cast<const char*>(m_buffer + m_windowPos);
        const char* e = p;
        uint32_t v = parse32(p, &e, m_base, asSigned);
        const char* validEnd = reinterpret_cast<const char*>(m_buffer + m_windowValid);
        uint32_t endLimit = m_end - m_windowStart;  // bytes of the section in this window
        const char* sectionEnd = reinterpret_cast<const char*>(m_buffer) + (endLimit < m_windowValid ? endLimit : m_windowValid);
        if (e > p && e < validEnd && e < sectionEnd) {
            m_windowPos = uint32_t(reinterpret_cast<const uint8_t*>(e) - m_buffer);
            if (!isSeparator(uint8_t(*e))) {
                setError(syntaxError);
                return false;
            }
            ++m_windowPos;
            crossWindow();
            if (m_error) return false;
            out = v;
            return true;
        }
    }
    char tok[100];
    uint32_t n = readRawToken(tok, 99);
    if (m_error) return false;
    const char* e = tok;
    uint32_t v = parse32(tok, &e, m_base, asSigned);
    if (e == tok || e != tok + n) {
        setError(syntaxError);
        return false;
    }
    out = v;
    return true;
}

void FsSecCl::refuse64(const char* method)
{
    setError(FSSEC_EOF);
    TV_TRACE(4, kTraceFile, method, "streaming of 64 bit integer not supported");
}

template <typename T>
FsSecCl& FsSecCl::putInteger(T v)
{
    static_assert(std::is_integral<T>::value && sizeof(T) <= 4, "32-bit integers at most");
    if (m_binary)
        writeBytes(&v, sizeof(T));
    else if (std::is_signed<T>::value)
        writeTextSigned(int32_t(v));
    else
        writeTextUnsigned(uint32_t(v));
    return *this;
}

FsSecCl& FsSecCl::operator<<(int32_t v) { return putInteger(v); }
FsSecCl& FsSecCl::operator<<(uint32_t v) { return putInteger(v); }
FsSecCl& FsSecCl::operator<<(int16_t v) { return putInteger(v); }
FsSecCl& FsSecCl::operator<<(uint16_t v) { return putInteger(v); }
FsSecCl& FsSecCl::operator<<(uint8_t v) { return putInteger(v); }

FsSecCl& FsSecCl::operator<<(bool v)
{
    if (m_binary) {
        uint8_t b = v ? 1 : 0;
        writeBytes(&b, 1);
    } else {
        writeBytes(v ? "1" : "0", 1);
    }
    return *this;
}

FsSecCl& FsSecCl::operator<<(float v)
{
    if (m_binary) {
        writeBytes(&v, 4);
    } else {
        char buf[64];
        int n = formatGeneral(double(v), 10, buf, sizeof(buf));
        writeBytes(buf, uint32_t(n));
    }
    return *this;
}

FsSecCl& FsSecCl::operator<<(double v)
{
    if (m_binary) {
        writeBytes(&v, 8);
    } else {
        char buf[64];
        int n = formatGeneral(v, 18, buf, sizeof(buf));
        writeBytes(buf, uint32_t(n));
        if (!std::isfinite(v)) setError(FSSEC_DOUBLE);
    }
    return *this;
}

FsSecCl& FsSecCl::operator<<(long)
{
    refuse64("FsSecCl::operator << (const __int64)");
    return *this;
}
FsSecCl& FsSecCl::operator<<(unsigned long)
{
    refuse64("FsSecCl::operator << (const unsigned __int64)");
    return *this;
}
FsSecCl& FsSecCl::operator<<(long long)
{
    refuse64("FsSecCl::operator << (const __int64)");
    return *this;
}
FsSecCl& FsSecCl::operator<<(unsigned long long)
{
    refuse64("FsSecCl::operator << (const unsigned __int64)");
    return *this;
}
FsSecCl& FsSecCl::operator>>(long&)
{
    refuse64("FsSecCl::operator >> (__int64&)");
    return *this;
}
FsSecCl& FsSecCl::operator>>(unsigned long&)
{
    refuse64("FsSecCl::operator >> (unsigned __int64&)");
    return *this;
}
FsSecCl& FsSecCl::operator>>(long long&)
{
    refuse64("FsSecCl::operator >> (__int64&)");
    return *this;
}
FsSecCl& FsSecCl::operator>>(unsigned long long&)
{
    refuse64("FsSecCl::operator >> (unsigned __int64&)");
    return *this;
}

template <typename T>
bool FsSecCl::getBinary(T& v)
{
    if (!m_binary) return false;
    T t;
    readBytes(&t, sizeof(T));
    if (!m_error) v = t;
    return true;
}

// Text numbers are read as 32-bit numbers, then range checked. A signed
// number in another base than 10 is the 32-bit pattern the writer put there
// ("fffffffe" for -2), so a negative short comes back as it was written.
template <typename T>
FsSecCl& FsSecCl::getInteger(T& v, uint32_t rangeError)
{
    static_assert(std::is_integral<T>::value && sizeof(T) <= 4, "32-bit integers at most");
    if (getBinary(v)) return *this;
    uint32_t u;
    if (!readTextNumber(std::is_signed<T>::value, u)) return *this;
    if (sizeof(T) < 4) {
        using Limits = std::numeric_limits<T>;
        bool inRange = std::is_signed<T>::value
                           ? int32_t(u) >= int32_t(Limits::min()) && int32_t(u) <= int32_t(Limits::max())
                           : u <= uint32_t(Limits::max());
        if (!inRange) {
            setError(rangeError);
            return *this;
        }
    }
    v = T(u);
    return *this;
}

FsSecCl& FsSecCl::operator>>(int32_t& v) { return getInteger(v); }
FsSecCl& FsSecCl::operator>>(uint32_t& v) { return getInteger(v); }
FsSecCl& FsSecCl::operator>>(int16_t& v) { return getInteger(v, FSSEC_SHORT_RANGE); }
FsSecCl& FsSecCl::operator>>(uint16_t& v) { return getInteger(v, FSSEC_USHORT_RANGE); }
FsSecCl& FsSecCl::operator>>(uint8_t& v) { return getInteger(v, FSSEC_UCHAR_RANGE); }

FsSecCl& FsSecCl::operator>>(bool& v)
{
    if (m_binary) {
        uint8_t t;
        readBytes(&t, 1);
        if (!m_error) v = t != 0;
        return *this;
    }
    uint32_t u;
    if (!readTextNumber(false, u)) return *this;
    if (u >= 2) setError(FSSEC_BOOL);
    v = u > 0;
    return *this;
}

FsSecCl& FsSecCl::operator>>(double& v)
{
    if (getBinary(v)) return *this;
    char tok[100];
    uint32_t n = readRawToken(tok, 99);
    if (m_error) return *this;
    char* e = tok;
    double d = strtod_l(tok, &e, cLocale());
    if (e != tok + n || n == 0 || !std::isfinite(d)) {
        setError(FSSEC_DOUBLE);
        return *this;
    }
    v = d;
    return *this;
}

FsSecCl& FsSecCl::operator>>(float& v)
{
    if (getBinary(v)) return *this;
    double d = 0;
    *this >> d;
    if (m_error) return *this;
    if (d > 3.4028234663852886e38 || d < -3.4028234663852886e38) {
        setError(FSSEC_FLOAT_RANGE);
        return *this;
    }
    v = float(d);
    return *this;
}

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

// The length in front of a text is always in base 10, followed by a blank
// in text mode.
void FsSecCl::putLength(uint32_t len)
{
    if (m_binary) {
        writeBytes(&len, 4);
        return;
    }
    uint32_t base = m_base;
    m_base = 10;
    writeTextUnsigned(len);
    m_base = base;
    writeBytes(" ", 1);
}

bool FsSecCl::getLength(uint32_t& len)
{
    uint32_t base = m_base;
    m_base = 10;
    *this >> len;
    m_base = base;
    return !m_error;
}

FsSecCl& FsSecCl::operator<<(const String& s)
{
    uint32_t len = uint32_t(s.length());
    putLength(len);
    writeBytes(s.chars(), len);
    return *this;
}

FsSecCl& FsSecCl::operator>>(String& s)
{
    uint32_t len = 0;
    if (!getLength(len)) return *this;
    if (len > remaining() || len > 0x7FFFFFF0u) {
        setError(FSSEC_LENGTH);
        return *this;
    }
    if (len == 0) {
        s = "";
        return *this;
    }
    if (!ensureWindow()) return *this;
    if (m_windowPos < m_windowValid && len <= m_windowValid - m_windowPos) {
        s = String(reinterpret_cast<const char*>(m_buffer + m_windowPos), int(len));
        m_windowPos += len;
        crossWindow();
        return *this;
    }
    if (len <= 1024) {
        char tmp[1024];
        readBytes(tmp, len);
        if (!m_error) s = String(tmp, int(len));
    } else {
        std::vector<char> tmp(len);
        readBytes(tmp.data(), len);
        if (!m_error) s = String(tmp.data(), int(len));
    }
    return *this;
}

FsSecCl& FsSecCl::operator<<(const WString& s)
{
    uint32_t len = uint32_t(s.length());
    putLength(len);
    if (uint64_t(len) * 2 > 0xFFFFFFFFull) {
        setError(FSSEC_LENGTH);
        return *this;
    }
    writeBytes(s.units(), len * 2);
    return *this;
}

FsSecCl& FsSecCl::operator>>(WString& s)
{
    uint32_t len = 0;
    if (!getLength(len)) return *this;
    if (uint64_t(len) * 2 > remaining() || len > 0x3FFFFFF0u) {
        setError(FSSEC_LENGTH);
        return *this;
    }
    std::u16string units(len, u'\0');
    if (len) readBytes(&units[0], len * 2);
    if (!m_error) s = WString(units.data(), int(len));
    return *this;
}

// ---------------------------------------------------------------------------
// GUIDs and composite values
// ---------------------------------------------------------------------------

FsSecCl& FsSecCl::operator<<(const GUID& g)
{
    if (m_binary) {
        writeBytes(&g, 16);
        return *this;
    }
    std::string text = tvp::guidToString(g);
    if (text.size() != 38) {
        setError(FSSEC_STREAM_CALL);
        return *this;
    }
    text += ' ';
    writeBytes(text.data(), uint32_t(text.size()));
    return *this;
}

FsSecCl& FsSecCl::operator>>(GUID& g)
{
    if (getBinary(g)) return *this;
    char c = 0;
    while (peekChar(c) && (c == ' ' || c == '\r' || c == '\n')) readChar();
    if (m_error) return *this;
    if (!peekChar(c)) {
        setError(FSSEC_EOF);
        return *this;
    }
    if (c == '{') {
        char tok[40];
        uint32_t n = readRawToken(tok, 39);
        if (m_error) return *this;
        GUID t;
        if (!tvp::guidFromString(std::string(tok, n), t)) {
            setError(FSSEC_GUID);
            return *this;
        }
        g = t;
        return *this;
    }
    GUID t;
    uint32_t d1 = 0;
    uint16_t d2 = 0, d3 = 0;
    *this >> d1 >> d2 >> d3;
    t.Data1 = d1;
    t.Data2 = d2;
    t.Data3 = d3;
    for (int i = 0; i < 8; ++i) *this >> t.Data4[i];
    if (!m_error) g = t;
    return *this;
}

// Number of list entries; false (error 17 when the rest of the section cannot
// hold count entries of leastBytesEach) when an error was set.
bool FsSecCl::getCount(uint32_t& count, uint32_t leastBytesEach)
{
    *this >> count;
    if (m_error) return false;
    if (uint64_t(count) * leastBytesEach > remaining()) {
        setError(FSSEC_LENGTH);
        return false;
    }
    return true;
}

FsSecCl& FsSecCl::operator<<(const RTTypeID& id)
{
    putFields(id.guid, id.version, id.second);
    return *this;
}

FsSecCl& FsSecCl::operator>>(RTTypeID& id)
{
    RTTypeID t;
    *this >> t.guid >> t.version >> t.second;
    if (!m_error) id = t;
    return *this;
}

FsSecCl& FsSecCl::operator<<(const std::list<RTTypeID>& ids)
{
    *this << uint32_t(ids.size());
    putBlank();
    for (const RTTypeID& id : ids) {
        if (m_error) break;
        *this << id;
        putBlank();
    }
    return *this;
}

FsSecCl& FsSecCl::operator>>(std::list<RTTypeID>& ids)
{
    // Every id takes at least 20 bytes (binary) or 44 (text).
    uint32_t count = 0;
    if (!getCount(count, 20)) return *this;
    for (uint32_t i = 0; i < count && !m_error; ++i) {
        RTTypeID id;
        *this >> id;
        if (!m_error) ids.push_back(id);
    }
    return *this;
}

FsSecCl& FsSecCl::operator<<(const std::list<FsSupportedToTypeEntry>& entries)
{
    *this << uint32_t(entries.size());
    putBlank();
    for (const FsSupportedToTypeEntry& e : entries) {
        if (m_error) break;
        *this << e.typeId << ' ' << e.name << ' ' << e.number << ' ';
        putBlank();
    }
    return *this;
}

FsSecCl& FsSecCl::operator>>(std::list<FsSupportedToTypeEntry>& entries)
{
    uint32_t count = 0;
    if (!getCount(count, 20)) return *this;
    for (uint32_t i = 0; i < count && !m_error; ++i) {
        FsSupportedToTypeEntry e;
        *this >> e.typeId;
        if (m_binary) readChar();  // the blank written in both modes
        *this >> e.name;
        if (m_binary) readChar();
        *this >> e.number;
        if (m_binary) readChar();
        if (!m_error) entries.push_back(e);
    }
    return *this;
}

FsSecCl& FsSecCl::operator<<(const FsConnectionList& list)
{
    // Through one run: a type may have a connector per repetition of a
    // large source, a dozen fields each.
    FsSecRun run(*this);
    run << uint32_t(list.size());
    run.putBlank();
    for (const auto& e : list) {
        if (run.hasError()) break;
        const FsConnectionRecord& r = e.second;
        run.putFields(e.first, r.name, r.id, r.interfaceId, r.incoming, r.outgoing, r.remote, r.multipoint,
                      r.required, r.group, r.major, r.minor);
    }
    return *this;
}

FsSecCl& FsSecCl::operator>>(FsConnectionList& list)
{
    // A connector takes at least 37 bytes (binary form).
    uint32_t count = 0;
    if (!getCount(count, 37)) return *this;
    for (uint32_t i = 0; i < count && !m_error; ++i) {
        uint16_t key = 0;
        FsConnectionRecord r;
        *this >> key >> r.name >> r.id >> r.interfaceId >> r.incoming >> r.outgoing >> r.remote >>
            r.multipoint >> r.required >> r.group >> r.major >> r.minor;
        if (!m_error) list.emplace(key, r);
    }
    return *this;
}

void FsSecCl::writeULongPair(uint32_t first, uint32_t second)
{
    *this << first;
    putBlank();
    *this << second;
}

void FsSecCl::readULongPair(uint32_t& first, uint32_t& second)
{
    uint32_t a = 0, b = 0;
    *this >> a >> b;
    if (!m_error) {
        first = a;
        second = b;
    }
}

// ---------------------------------------------------------------------------
// Lending and copying
// ---------------------------------------------------------------------------

uint32_t FsSecCl::getIStreamPtr(IStream** out)
{
    if (!out) return 1;
    *out = nullptr;
    flush();
    if (m_error) return m_error;
    if (!m_pStream) return 9;
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (SUCCEEDED(m_pStream->Stat(&st, STATFLAG_NONAME))) m_stamp = st.mtime;
    m_pStream->AddRef();
    *out = m_pStream;
    setError(FSSEC_LENT);
    return 0;
}

uint32_t FsSecCl::reloadIfChanged()
{
    if (m_error != FSSEC_LENT || !m_pStream) return 1;
    clearError();
    STATSTG st;
    std::memset(&st, 0, sizeof(st));
    if (FAILED(m_pStream->Stat(&st, STATFLAG_NONAME))) {
        setError(FSSEC_STREAM_CALL);
        return 1;
    }
    bool hasCreationTime = st.ctime.dwLowDateTime != 0 || st.ctime.dwHighDateTime != 0;
    if (hasCreationTime && st.mtime.dwLowDateTime == m_stamp.dwLowDateTime &&
        st.mtime.dwHighDateTime == m_stamp.dwHighDateTime && st.cbSize.QuadPart == m_end)
        return 0;
    if (st.cbSize.u.HighPart != 0) {
        setError(FSSEC_INTERNAL);
        return 1;
    }
    m_end = st.cbSize.u.LowPart;
    return loadWindow(0) ? 0 : 1;
}

void FsSecCl::copyFrom(FsSecCl& source)
{
    if (&source == this) return;
    if (m_pStream && source.m_pStream) {
        IUnknown* a = nullptr;
        IUnknown* b = nullptr;
        m_pStream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        source.m_pStream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        bool same = a && a == b;
        if (a) a->Release();
        if (b) b->Release();
        if (same) return;
    }
    clearError();
    if (setSize(0) != 0) {
        setError(FSSEC_INTERNAL);
        return;
    }
    if (!source.m_pStream) {
        source.setError(FSSEC_INTERNAL);
        setErrorAt(FSSEC_NOT_WRITABLE, 0);
        return;
    }
    source.flush();
    uint32_t n = source.m_end;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER cb, rd, wr;
    cb.QuadPart = n;
    rd.QuadPart = 0;
    wr.QuadPart = 0;
    HRESULT hr = source.m_pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = m_pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = source.m_pStream->CopyTo(m_pStream, cb, &rd, &wr);
    if (FAILED(hr) || rd.QuadPart != n || wr.QuadPart != n) {
        source.setErrorAt(FSSEC_COPY_SOURCE, uint32_t(rd.QuadPart));
        setErrorAt(FSSEC_NOT_WRITABLE, uint32_t(wr.QuadPart));
    }
    m_end = n;
    // Also after a short copy: the window shows what the stream now holds.
    loadWindow(0);
}

// ---------------------------------------------------------------------------
// VARIANT
// ---------------------------------------------------------------------------
//
// Scalar: type word, blank, value, blank. Array: type word, blank, number of
// dimensions, blank, element type, blank, per dimension its lower bound and
// element count (each followed by a blank), element size, blank, then every
// element followed by a blank (in text mode). Nested VARIANTs use the same
// form. Blanks are written in text mode only.

namespace {

const int kMaxVariantDepth = 32;

bool isArrayElementType(VARTYPE vt)
{
    switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_I1: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

}  // namespace

FsSecCl& FsSecCl::operator<<(const VARIANT& v)
{
    writeVariant(v, 0);
    return *this;
}

FsSecCl& FsSecCl::operator>>(VARIANT& v)
{
    VariantClear(&v);
    readVariant(v, 0);
    return *this;
}

uint32_t FsSecCl::writeVariant(const VARIANT& v, int depth)
{
    if (m_error) return m_error;
    if (depth > kMaxVariantDepth) {
        setError(FSSEC_INTERNAL);
        return m_error;
    }
    VARTYPE vt = VARTYPE(v.vt & ~VT_BYREF);
    *this << uint16_t(vt);
    putBlank();
    if (vt & VT_ARRAY) {
        SAFEARRAY* psa = nullptr;
        if (v.vt & VT_BYREF)
            psa = v.pparray ? *v.pparray : nullptr;
        else
            psa = v.parray;
        uint32_t dims = psa ? SafeArrayGetDim(psa) : 0;
        *this << dims;
        putBlank();
        VARTYPE et = 0;
        if (!psa || FAILED(SafeArrayGetVartype(psa, &et))) et = 0;
        *this << uint16_t(et);
        putBlank();
        uint64_t total = dims ? 1 : 0;
        for (uint32_t d = 1; d <= dims; ++d) {
            LONG lb = 0, ub = -1;
            SafeArrayGetLBound(psa, d, &lb);
            SafeArrayGetUBound(psa, d, &ub);
            uint32_t count = uint32_t(int64_t(ub) - int64_t(lb) + 1);
            *this << int32_t(lb);
            putBlank();
            *this << count;
            putBlank();
            total *= count;
        }
        void* data = nullptr;
        bool accessed = psa && SUCCEEDED(SafeArrayAccessData(psa, &data));
        uint32_t elemSize = accessed ? SafeArrayGetElemsize(psa) : 0;
        *this << elemSize;
        putBlank();
        if (accessed && elemSize && total && data) {
            for (uint64_t i = 0; i < total && !m_error; ++i) {
                switch (et) {
                case VT_I2: case VT_BOOL: case VT_UI2:
                    *this << static_cast<const uint16_t*>(data)[i];
                    break;
                case VT_I4: case VT_ERROR: case VT_UI4: case VT_INT: case VT_UINT:
                    *this << static_cast<const uint32_t*>(data)[i];
                    break;
                case VT_R4: *this << static_cast<const float*>(data)[i]; break;
                case VT_R8: case VT_DATE: *this << static_cast<const double*>(data)[i]; break;
                case VT_CY: refuse64("FsSecCl::operator << (const __int64)"); break;
                case VT_BSTR: {
                    BSTR b = static_cast<const BSTR*>(data)[i];
                    *this << WString(b ? b : u"", int(SysStringLen(b)));
                    break;
                }
                case VT_VARIANT: writeVariant(static_cast<const VARIANT*>(data)[i], depth + 1); break;
                case VT_I1: *this << int32_t(static_cast<const signed char*>(data)[i]); break;
                case VT_UI1: *this << int32_t(static_cast<const unsigned char*>(data)[i]); break;
                case VT_CLSID: *this << static_cast<const GUID*>(data)[i]; break;
                default: break;
                }
                if (et != VT_CLSID && et != VT_VARIANT) putBlank();
            }
        }
        if (accessed) SafeArrayUnaccessData(psa);
        return m_error;
    }
    VARIANT val;
    VariantInit(&val);
    if (FAILED(VariantCopyInd(&val, &v))) {
        putBlank();
        return m_error;
    }
    switch (vt) {
    case VT_I2: case VT_BOOL: *this << int16_t(val.iVal); break;
    case VT_I4: case VT_INT: *this << int32_t(val.lVal); break;
    case VT_R4: *this << val.fltVal; break;
    case VT_R8: case VT_DATE: *this << val.dblVal; break;
    case VT_CY: refuse64("FsSecCl::operator << (const __int64)"); break;
    case VT_BSTR: *this << WString(val.bstrVal ? val.bstrVal : u"", int(SysStringLen(val.bstrVal))); break;
    case VT_ERROR: case VT_UI4: case VT_UINT: *this << uint32_t(val.ulVal); break;
    case VT_I1: *this << int32_t(static_cast<signed char>(val.cVal)); break;
    case VT_UI1: *this << int32_t(val.bVal); break;
    case VT_UI2: *this << uint16_t(val.uiVal); break;
    default: break;
    }
    putBlank();
    VariantClear(&val);
    return m_error;
}

void FsSecCl::readVariant(VARIANT& v, int depth)
{
    VariantInit(&v);
    if (m_error) return;
    if (depth > kMaxVariantDepth) {
        setError(FSSEC_INTERNAL);
        return;
    }
    uint16_t vt = 0;
    *this >> vt;
    if (m_error) return;
    if (vt & VT_ARRAY) {
        uint32_t dims = 0;
        uint16_t et = 0;
        *this >> dims >> et;
        if (m_error) return;
        if (dims > 0xFFFF || dims > remaining()) {
            setError(FSSEC_LENGTH);
            return;
        }
        std::vector<SAFEARRAYBOUND> bounds(dims);
        uint64_t total = dims ? 1 : 0;
        for (uint32_t d = 0; d < dims && !m_error; ++d) {
            int32_t lb = 0;
            uint32_t count = 0;
            *this >> lb >> count;
            bounds[d].lLbound = lb;
            bounds[d].cElements = count;
            total *= count;
            if (total > 0xFFFFFFFFull) {
                setError(FSSEC_LENGTH);
                return;
            }
        }
        uint32_t elemSize = 0;
        *this >> elemSize;
        if (m_error) return;
        if (!elemSize) total = 0;
        // Each element takes at least one byte of the section.
        if (total > remaining()) {
            setError(FSSEC_LENGTH);
            return;
        }
        SAFEARRAY* psa = nullptr;
        if (total && isArrayElementType(et)) psa = SafeArrayCreate(et, dims, bounds.data());
        void* data = nullptr;
        if (psa && FAILED(SafeArrayAccessData(psa, &data))) {
            SafeArrayDestroy(psa);
            psa = nullptr;
            data = nullptr;
        }
        for (uint64_t i = 0; i < total && !m_error; ++i) {
            switch (et) {
            case VT_I2: case VT_BOOL: case VT_UI2: {
                uint16_t x = 0;
                *this >> x;
                if (data) static_cast<uint16_t*>(data)[i] = x;
                break;
            }
            case VT_I4: case VT_ERROR: case VT_UI4: case VT_INT: case VT_UINT: {
                uint32_t x = 0;
                *this >> x;
                if (data) static_cast<uint32_t*>(data)[i] = x;
                break;
            }
            case VT_R4: {
                float x = 0;
                *this >> x;
                if (data) static_cast<float*>(data)[i] = x;
                break;
            }
            case VT_R8: case VT_DATE: {
                double x = 0;
                *this >> x;
                if (data) static_cast<double*>(data)[i] = x;
                break;
            }
            case VT_BSTR: {
                WString w;
                *this >> w;
                if (data && !m_error) {
                    BSTR b = SysAllocStringLen(w.units(), UINT(w.length()));
                    if (!b) setError(FSSEC_LENGTH);
                    static_cast<BSTR*>(data)[i] = b;
                }
                break;
            }
            case VT_VARIANT: {
                VARIANT x;
                readVariant(x, depth + 1);
                if (data)
                    static_cast<VARIANT*>(data)[i] = x;  // the array takes it over
                else
                    VariantClear(&x);
                break;
            }
            case VT_I1: case VT_UI1: {
                int32_t x = 0;
                *this >> x;
                if (data) static_cast<uint8_t*>(data)[i] = uint8_t(x);
                break;
            }
            case VT_CLSID: {
                GUID g;
                *this >> g;
                break;
            }
            default:
                // Elements of a type that was never written: nothing to skip.
                i = total;
                break;
            }
        }
        if (psa) {
            SafeArrayUnaccessData(psa);
            if (m_error) {
                SafeArrayDestroy(psa);
                return;
            }
            v.vt = VARTYPE(VT_ARRAY | et);
            v.parray = psa;
        }
        return;
    }
    switch (vt) {
    case VT_I2: case VT_BOOL: {
        int16_t x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            v.iVal = x;
        }
        break;
    }
    case VT_I4: case VT_INT: {
        int32_t x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            v.lVal = x;
        }
        break;
    }
    case VT_R4: {
        float x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            v.fltVal = x;
        }
        break;
    }
    case VT_R8: case VT_DATE: {
        double x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            v.dblVal = x;
        }
        break;
    }
    case VT_BSTR: {
        WString w;
        *this >> w;
        if (!m_error) {
            BSTR b = SysAllocStringLen(w.units(), UINT(w.length()));
            if (!b) {
                setError(FSSEC_LENGTH);
                break;
            }
            v.vt = VT_BSTR;
            v.bstrVal = b;
        }
        break;
    }
    case VT_ERROR: case VT_UI4: case VT_UINT: {
        uint32_t x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            v.ulVal = x;
        }
        break;
    }
    case VT_I1: case VT_UI1: {
        int32_t x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            if (vt == VT_I1)
                v.cVal = char(x);
            else
                v.bVal = uint8_t(x);
        }
        break;
    }
    case VT_UI2: {
        uint16_t x = 0;
        *this >> x;
        if (!m_error) {
            v.vt = vt;
            v.uiVal = x;
        }
        break;
    }
    default:
        break;
    }
}
