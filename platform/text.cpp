#include "platform/text.h"

namespace tvp {
namespace {

// Bytes 0x80..0x9F of code page 1252; the undefined ones map to themselves.
const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }


void putUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += char16_t(c);
    } else {
        c -= 0x10000;
        out += char16_t(0xD800 + (c >> 10));
        out += char16_t(0xDC00 + (c & 0x3FF));
    }
}

// UTF-8 of s; with bytes, the escapes of pathToWide become their bytes again.
std::string encodeUtf8(const char16_t* s, size_t n, bool bytes)
{
    std::string out;
    if (!s) return out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char16_t u = s[i];
        if (isHighSurrogate(u) && i + 1 < n && isLowSurrogate(s[i + 1])) {
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else if (bytes && u >= 0xDC80 && u <= 0xDCFF) {
            out += char(u - 0xDC00);
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

// UTF-16 of the UTF-8 text s; a byte of a malformed sequence becomes U+FFFD,
// or with bytes its escape U+DC00 + byte.
std::u16string decodeUtf8(const char* s, size_t n, bool bytes)
{
    std::u16string out;
    if (!s) return out;
    out.reserve(n);
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < n) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out += char16_t(b);
            ++i;
            continue;
        }
        int extra;
        char32_t c, min;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1; c = b & 0x1F; min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2; c = b & 0x0F; min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3; c = b & 0x07; min = 0x10000;
        } else {
            out += bytes ? char16_t(0xDC00 + p[i]) : char16_t(0xFFFD);
            ++i;
            continue;
        }
        bool ok = (n - i) > size_t(extra);
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char t = p[i + k];
            if ((t & 0xC0) != 0x80) ok = false;
            else c = (c << 6) | (t & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += bytes ? char16_t(0xDC00 + p[i]) : char16_t(0xFFFD);
            ++i;
            continue;
        }
        putUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

}  // namespace

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char16_t ansiCharToWide(unsigned char c)
{
    if (c >= 0x80 && c < 0xA0) return kHigh1252[c - 0x80];
    return c;
}

bool ansiByteUndefined(unsigned char c)
{
    return c >= 0x80 && c < 0xA0 && kHigh1252[c - 0x80] == c;
}

char wideCharToAnsi(char16_t u, bool* mapped)
{
    if (mapped) *mapped = true;
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return char(u);
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == u) return char(0x80 + i);
    if (mapped) *mapped = false;
    return '?';
}

std::u16string ansiToWide(const char* s, size_t n)
{
    std::u16string out;
    if (!s) return out;
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = ansiCharToWide(static_cast<unsigned char>(s[i]));
    return out;
}

std::u16string ansiToWide(const char* s)
{
    if (!s) return std::u16string();
    size_t n = 0;
    while (s[n]) ++n;
    return ansiToWide(s, n);
}

std::u16string ansiToWide(const std::string& s) { return ansiToWide(s.data(), s.size()); }

std::string wideToAnsi(const char16_t* s, size_t n)
{
    std::string out;
    if (!s) return out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (isHighSurrogate(s[i]) && i + 1 < n && isLowSurrogate(s[i + 1])) {
            out += '?';
            ++i;
            continue;
        }
        out += wideCharToAnsi(s[i]);
    }
    return out;
}

std::string wideToAnsi(const char16_t* s) { return wideToAnsi(s, u16len(s)); }
std::string wideToAnsi(const std::u16string& s) { return wideToAnsi(s.data(), s.size()); }

std::string wideToUtf8(const char16_t* s, size_t n) { return encodeUtf8(s, n, false); }

std::string wideToUtf8(const std::u16string& s) { return wideToUtf8(s.data(), s.size()); }

std::u16string utf8ToWide(const char* s, size_t n) { return decodeUtf8(s, n, false); }

std::u16string utf8ToWide(const std::string& s) { return utf8ToWide(s.data(), s.size()); }

std::u16string pathToWide(const char* s, size_t n) { return decodeUtf8(s, n, true); }
std::u16string pathToWide(const char* s)
{
    size_t n = 0;
    if (s)
        while (s[n]) ++n;
    return decodeUtf8(s, n, true);
}
std::u16string pathToWide(const std::string& s) { return decodeUtf8(s.data(), s.size(), true); }
std::string wideToPath(const char16_t* s, size_t n) { return encodeUtf8(s, n, true); }
std::string wideToPath(const char16_t* s) { return encodeUtf8(s, u16len(s), true); }
std::string wideToPath(const std::u16string& s) { return encodeUtf8(s.data(), s.size(), true); }

size_t u16len(const char16_t* s)
{
    if (!s) return 0;
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

int u16cmp(const char16_t* a, const char16_t* b)
{
    static const char16_t empty[1] = {0};
    if (!a) a = empty;
    if (!b) b = empty;
    while (*a && *a == *b) ++a, ++b;
    return int(*a) - int(*b);
}

int u16icmpAscii(const char16_t* a, const char16_t* b)
{
    static const char16_t empty[1] = {0};
    if (!a) a = empty;
    if (!b) b = empty;
    auto fold = [](char16_t u) { return (u >= 'a' && u <= 'z') ? char16_t(u - 32) : u; };
    while (*a && fold(*a) == fold(*b)) ++a, ++b;
    return int(fold(*a)) - int(fold(*b));
}

size_t u16copy(char16_t* dst, size_t n, const char16_t* src)
{
    if (!dst || n == 0) return 0;
    size_t i = 0;
    if (src)
        for (; i + 1 < n && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
    return i;
}

char16_t wideToUpper(char16_t u)
{
    if (u < 0x80) return (u >= 'a' && u <= 'z') ? char16_t(u - 32) : u;
    if (u == 0xB5) return 0x39C;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return char16_t(u - 32);
    if (u == 0xFF) return 0x178;
    if (u == 0x131) return 'I';
    if (u == 0x17F) return 'S';
    if (u >= 0x100 && u <= 0x137) return (u & 1) ? char16_t(u - 1) : u;
    if (u >= 0x139 && u <= 0x148) return (u & 1) ? u : char16_t(u - 1);
    if (u >= 0x14A && u <= 0x177) return (u & 1) ? char16_t(u - 1) : u;
    if (u >= 0x17A && u <= 0x17E) return (u & 1) ? u : char16_t(u - 1);
    if (u == 0x3AC) return 0x386;
    if (u >= 0x3AD && u <= 0x3AF) return char16_t(u - 37);
    if (u == 0x3C2) return 0x3A3;
    if (u >= 0x3B1 && u <= 0x3CB) return char16_t(u - 32);
    if (u == 0x3CC) return 0x38C;
    if (u == 0x3CD || u == 0x3CE) return char16_t(u - 63);
    if (u >= 0x430 && u <= 0x44F) return char16_t(u - 32);
    if (u >= 0x450 && u <= 0x45F) return char16_t(u - 80);
    if (u >= 0xFF41 && u <= 0xFF5A) return char16_t(u - 32);
    return u;
}

char16_t wideToLower(char16_t u)
{
    if (u < 0x80) return (u >= 'A' && u <= 'Z') ? char16_t(u + 32) : u;
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return char16_t(u + 32);
    if (u == 0x178) return 0xFF;
    if (u == 0x130) return 'i';
    if (u >= 0x100 && u <= 0x137) return (u & 1) ? u : char16_t(u + 1);
    if (u >= 0x139 && u <= 0x148) return (u & 1) ? char16_t(u + 1) : u;
    if (u >= 0x14A && u <= 0x177) return (u & 1) ? u : char16_t(u + 1);
    if (u >= 0x179 && u <= 0x17D) return (u & 1) ? char16_t(u + 1) : u;
    if (u == 0x386) return 0x3AC;
    if (u >= 0x388 && u <= 0x38A) return char16_t(u + 37);
    if (u == 0x38C) return 0x3CC;
    if (u == 0x38E || u == 0x38F) return char16_t(u + 63);
    if ((u >= 0x391 && u <= 0x3A1) || (u >= 0x3A3 && u <= 0x3AB)) return char16_t(u + 32);
    if (u >= 0x400 && u <= 0x40F) return char16_t(u + 80);
    if (u >= 0x410 && u <= 0x42F) return char16_t(u + 32);
    if (u >= 0xFF21 && u <= 0xFF3A) return char16_t(u + 32);
    return u;
}

bool wideIsLower(char16_t u)
{
    // Lower-case letters that have no single upper-case unit.
    if (u == 0xDF || u == 0x138 || u == 0x149) return true;
    return wideToUpper(u) != u;
}

bool wideIsUpper(char16_t u) { return wideToLower(u) != u; }

}  // namespace tvp

int tvp::icmpAscii(const char* a, const char* b)
{
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}
