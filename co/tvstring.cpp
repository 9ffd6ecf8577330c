#include "co/tvstring.h"

#include <atomic>
#include <boost/regex.hpp>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>

// ---------------------------------------------------------------------------
// Error hook

namespace {

std::atomic<StringErrorHandler> g_errorHandler{&defaultStringErrorHandler};

// The shared empty representation: never written, never released. Constant
// initialised, so it is usable before any dynamic initialiser has run.
StrRep g_emptyRep = {0, 0, {0}};

constexpr uint64_t kMaxBlock = 0x7FFFFFFF;

bool isAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
bool isAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isAsciiAlnum(char c)
{
    return isAsciiLower(c) || isAsciiUpper(c) || (c >= '0' && c <= '9');
}
char foldUpper(char c) { return isAsciiLower(c) ? char(c - 32) : c; }

int signedDiff(char a, char b) { return int(static_cast<signed char>(a)) - int(static_cast<signed char>(b)); }

// Byte-wise over the shorter length, then the length difference.
int compareRanges(const char* a, int an, const char* b, int bn)
{
    int n = an < bn ? an : bn;
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return signedDiff(a[i], b[i]);
    return an - bn;
}

// First occurrence of t in s[start, sl), or -1.
int forwardSearch(const char* s, int sl, int start, const char* t, int tl)
{
    if (tl < 1 || sl < 1 || start < 0 || start > sl - tl) return -1;
    if (tl == 1) {
        const void* p = std::memchr(s + start, t[0], size_t(sl - start));
        return p ? int(static_cast<const char*>(p) - s) : -1;
    }
    const char first = t[0];
    const char* end = s + (sl - tl) + 1;  // one past the last possible start
    const char* p = s + start;
    while (p < end) {
        p = static_cast<const char*>(std::memchr(p, first, size_t(end - p)));
        if (!p) return -1;
        if (std::memcmp(p + 1, t + 1, size_t(tl - 1)) == 0) return int(p - s);
        ++p;
    }
    return -1;
}

// Last occurrence of t whose last character is at or before index `last`.
int backwardSearch(const char* s, int sl, int last, const char* t, int tl)
{
    if (tl < 1 || sl < 1) return -1;
    if (last >= sl) last = sl - 1;
    for (int p = last - tl + 1; p >= 0; --p)
        if (s[p] == t[0] && std::memcmp(s + p, t, size_t(tl)) == 0) return p;
    return -1;
}

bool inside(const char* p, const StrRep* rep)
{
    auto a = reinterpret_cast<uintptr_t>(p);
    auto b = reinterpret_cast<uintptr_t>(rep->s);
    return a >= b && a <= b + rep->sz;
}

}  // namespace

void defaultStringErrorHandler(const char* className, const char* message)
{
    std::fprintf(stderr, "%s Error: %s\n", className ? className : "", message ? message : "");
    std::fflush(stderr);
    std::abort();
}

StringErrorHandler setStringErrorHandler(StringErrorHandler handler)
{
    if (!handler) handler = &defaultStringErrorHandler;
    return g_errorHandler.exchange(handler);
}

StringErrorHandler getStringErrorHandler() { return g_errorHandler.load(); }

void callStringErrorHandler(const char* className, const char* message)
{
    g_errorHandler.load()(className, message);
}

void fatalStringError(const char* className, const char* message)
{
    callStringErrorHandler(className, message);
    std::abort();
}

// ---------------------------------------------------------------------------
// Representations

StrRep* String::emptyRep() { return &g_emptyRep; }

CAllocPoolImpl* String::poolForSize(size_t blockSize)
{
    static CAllocPoolImpl* const p16 = tvfalloc::globalPoolWithBlockSize(16);
    static CAllocPoolImpl* const p32 = tvfalloc::globalPoolWithBlockSize(32);
    static CAllocPoolImpl* const p64 = tvfalloc::globalPoolWithBlockSize(64);
    if (blockSize < 17) return p16;
    if (blockSize < 33) return p32;
    if (blockSize <= 64) return p64;
    return nullptr;
}

StrRep* String::allocRep(uint32_t length)
{
    uint64_t need = uint64_t(length) + 12;
    uint64_t size = 16;
    while (size < need) size <<= 1;
    if (size >= kMaxBlock) fatalStringError("String", "Requested length out of range");
    auto* rep = static_cast<StrRep*>(CAllocPoolImpl::allocateFrom(poolForSize(size), size));
    rep->sz = uint32_t(size - 12);
    rep->len = 0;
    rep->s[0] = '\0';
    return rep;
}

void String::freeRep(StrRep* rep)
{
    if (!rep || rep == &g_emptyRep) return;
    CAllocPoolImpl::deallocateTo(poolForSize(size_t(rep->sz) + 12), rep);
}

namespace {

uint32_t checkedLength(uint64_t n)
{
    if (n + 12 >= kMaxBlock) fatalStringError("String", "Requested length out of range");
    return uint32_t(n);
}

}  // namespace

StrRep* String::assignChars(StrRep* rep, const char* chars, int length, int minLength)
{
    if (!chars || length < 0) length = chars ? int(std::strlen(chars)) : 0;
    uint32_t newLen = uint32_t(length > minLength ? length : minLength);
    if (newLen == 0 && rep == &g_emptyRep) return rep;
    if (rep == &g_emptyRep || rep->sz < newLen) {
        StrRep* fresh = allocRep(newLen);
        if (length) std::memcpy(fresh->s, chars, size_t(length));
        freeRep(rep);
        rep = fresh;
    } else if (length && chars != rep->s) {
        std::memmove(rep->s, chars, size_t(length));
    }
    rep->len = newLen;
    rep->s[newLen] = '\0';
    return rep;
}

StrRep* String::assignRep(StrRep* rep, const StrRep* source)
{
    if (!source || source->len == 0) {
        if (rep != &g_emptyRep) {
            rep->len = 0;
            rep->s[0] = '\0';
        }
        return rep;
    }
    if (rep == source) return rep;
    return assignChars(rep, source->s, int(source->len));
}

StrRep* String::resizeRep(StrRep* rep, uint32_t newLength)
{
    if (rep == &g_emptyRep && newLength == 0) return rep;
    if (rep == &g_emptyRep || rep->sz < newLength) {
        StrRep* fresh = allocRep(newLength);
        uint32_t keep = rep->len < newLength ? rep->len : newLength;
        std::memcpy(fresh->s, rep->s, keep);
        freeRep(rep);
        rep = fresh;
    }
    rep->len = newLength;
    rep->s[newLength] = '\0';
    return rep;
}

StrRep* String::catRep(StrRep* rep, const char* a, int aLength, const char* b, int bLength)
{
    if (!a) aLength = 0;
    if (!b) bLength = 0;
    if (aLength < 0) aLength = int(std::strlen(a));
    if (bLength < 0) bLength = int(std::strlen(b));
    uint32_t newLen = checkedLength(uint64_t(aLength) + uint64_t(bLength));
    if (newLen == 0 && rep == &g_emptyRep) return rep;
    if (rep != &g_emptyRep && newLen <= rep->sz && !(bLength && inside(b, rep))) {
        if (aLength && a != rep->s) std::memmove(rep->s, a, size_t(aLength));
        if (bLength) std::memcpy(rep->s + aLength, b, size_t(bLength));
    } else {
        StrRep* fresh = allocRep(newLen);
        if (aLength) std::memcpy(fresh->s, a, size_t(aLength));
        if (bLength) std::memcpy(fresh->s + aLength, b, size_t(bLength));
        freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = '\0';
    return rep;
}

StrRep* String::cat3Rep(StrRep* rep, const char* a, int aLength, const char* b, int bLength,
                        const char* c, int cLength)
{
    if (!a) aLength = 0;
    if (!b) bLength = 0;
    if (!c) cLength = 0;
    if (aLength < 0) aLength = int(std::strlen(a));
    if (bLength < 0) bLength = int(std::strlen(b));
    if (cLength < 0) cLength = int(std::strlen(c));
    uint32_t newLen = checkedLength(uint64_t(aLength) + uint64_t(bLength) + uint64_t(cLength));
    if (newLen == 0 && rep == &g_emptyRep) return rep;
    if (rep != &g_emptyRep && newLen <= rep->sz && !(bLength && inside(b, rep)) &&
        !(cLength && inside(c, rep))) {
        if (aLength && a != rep->s) std::memmove(rep->s, a, size_t(aLength));
        if (bLength) std::memcpy(rep->s + aLength, b, size_t(bLength));
        if (cLength) std::memcpy(rep->s + aLength + bLength, c, size_t(cLength));
    } else {
        StrRep* fresh = allocRep(newLen);
        if (aLength) std::memcpy(fresh->s, a, size_t(aLength));
        if (bLength) std::memcpy(fresh->s + aLength, b, size_t(bLength));
        if (cLength) std::memcpy(fresh->s + aLength + bLength, c, size_t(cLength));
        freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = '\0';
    return rep;
}

StrRep* String::prependRep(StrRep* rep, const char* chars, int length)
{
    if (!chars) length = 0;
    if (length < 0) length = int(std::strlen(chars));
    if (length == 0) return rep;
    uint32_t oldLen = rep->len;
    uint32_t newLen = checkedLength(uint64_t(oldLen) + uint64_t(length));
    if (rep != &g_emptyRep && newLen <= rep->sz && !inside(chars, rep)) {
        std::memmove(rep->s + length, rep->s, oldLen);
        std::memcpy(rep->s, chars, size_t(length));
    } else {
        StrRep* fresh = allocRep(newLen);
        std::memcpy(fresh->s, chars, size_t(length));
        std::memcpy(fresh->s + length, rep->s, oldLen);
        freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = '\0';
    return rep;
}

namespace {

// target := f(source) character by character (source and target may be the
// same representation).
template <class F>
StrRep* mapRep(const StrRep* source, StrRep* target, F f)
{
    uint32_t n = source->len;
    if (n == 0) {
        if (target != &g_emptyRep) {
            target->len = 0;
            target->s[0] = '\0';
        }
        return target;
    }
    if (target != source) target = String::assignChars(target, source->s, int(n));
    for (uint32_t i = 0; i < n; ++i) target->s[i] = f(target->s, i);
    return target;
}

}  // namespace

StrRep* String::reverseRep(const StrRep* source, StrRep* target)
{
    uint32_t n = source->len;
    if (target != source) target = assignChars(target, source->s, int(n));
    if (n == 0) return target;
    for (uint32_t i = 0, j = n - 1; i < j; ++i, --j) {
        char t = target->s[i];
        target->s[i] = target->s[j];
        target->s[j] = t;
    }
    return target;
}

StrRep* String::upcaseRep(const StrRep* source, StrRep* target)
{
    return mapRep(source, target, [](const char* s, uint32_t i) {
        return isAsciiLower(s[i]) ? char(s[i] - 32) : s[i];
    });
}

StrRep* String::downcaseRep(const StrRep* source, StrRep* target)
{
    return mapRep(source, target, [](const char* s, uint32_t i) {
        return isAsciiUpper(s[i]) ? char(s[i] + 32) : s[i];
    });
}

StrRep* String::capitalizeRep(const StrRep* source, StrRep* target)
{
    // Runs after the upcase/downcase of earlier characters, so the test of
    // the previous character sees an already converted letter; case does
    // not change whether it is alphanumeric.
    return mapRep(source, target, [](const char* s, uint32_t i) {
        bool startOfWord = i == 0 || !isAsciiAlnum(s[i - 1]);
        if (startOfWord) return isAsciiLower(s[i]) ? char(s[i] - 32) : s[i];
        return isAsciiUpper(s[i]) ? char(s[i] + 32) : s[i];
    });
}

void String::releaseRep()
{
    freeRep(m_rep);
    m_rep = &g_emptyRep;
}

void String::assignExact(const char* chars, int length)
{
    if (!chars) length = 0;
    if (length < 0) length = int(std::strlen(chars));
    StrRep* fresh = length ? allocRep(uint32_t(length)) : &g_emptyRep;
    if (length) {
        std::memcpy(fresh->s, chars, size_t(length));
        fresh->len = uint32_t(length);
        fresh->s[length] = '\0';
    }
    freeRep(m_rep);
    m_rep = fresh;
}

String& String::nilString()
{
    // Leaked on purpose: nil views may be used while the process exits.
    static String* nil = new String();
    return *nil;
}

// ---------------------------------------------------------------------------
// Construction and assignment

String::String(const char* t) : m_rep(&g_emptyRep) { m_rep = assignChars(m_rep, t, -1); }
String::String(const char* t, int length) : m_rep(&g_emptyRep)
{
    m_rep = assignChars(m_rep, t, length);
}
String::String(const String& x) : CAllocPool<128>(), m_rep(&g_emptyRep)
{
    m_rep = assignChars(m_rep, x.m_rep->s, int(x.m_rep->len));
}
String::String(const SubString& x) : m_rep(&g_emptyRep)
{
    m_rep = assignChars(m_rep, x.chars(), x.length());
}
String::String(const std::string& x) : m_rep(&g_emptyRep)
{
    m_rep = assignChars(m_rep, x.data(), checkedLength(x.size()));
}
String::String(char c) : m_rep(&g_emptyRep) { m_rep = assignChars(m_rep, &c, 1); }

String::~String() { freeRep(m_rep); }

String& String::operator=(const String& y)
{
    m_rep = assignRep(m_rep, y.m_rep);
    return *this;
}

String& String::operator=(String&& y) noexcept
{
    if (this != &y) {
        freeRep(m_rep);
        m_rep = y.m_rep;
        y.m_rep = &g_emptyRep;
    }
    return *this;
}

String& String::operator=(const SubString& y)
{
    m_rep = assignChars(m_rep, y.chars(), y.length());
    return *this;
}

String& String::operator=(const char* y)
{
    m_rep = assignChars(m_rep, y, -1);
    return *this;
}

String& String::operator=(char c)
{
    m_rep = assignChars(m_rep, &c, 1);
    return *this;
}

String& String::operator=(const std::string& y)
{
    m_rep = assignChars(m_rep, y.data(), checkedLength(y.size()));
    return *this;
}

char& String::operator[](int i)
{
    if (i < 0 || uint32_t(i) >= m_rep->len) error("invalid index");
    return m_rep->s[i];
}

char String::operator[](int i) const
{
    if (i < 0 || uint32_t(i) >= m_rep->len) error("invalid index");
    return m_rep->s[i];
}

void String::alloc(int n)
{
    if (n <= 0 || uint32_t(n) <= m_rep->sz) return;
    StrRep* fresh = allocRep(checkedLength(uint64_t(n)));
    std::memcpy(fresh->s, m_rep->s, m_rep->len + 1);
    fresh->len = m_rep->len;
    freeRep(m_rep);
    m_rep = fresh;
}

void String::error(const char* msg) const { fatalStringError("String", msg); }

bool String::OK() const
{
    bool ok = m_rep != nullptr && m_rep->len <= m_rep->sz && m_rep->s[m_rep->len] == '\0';
    if (!ok) callStringErrorHandler("String", "invariant failure");
    return ok;
}

// ---------------------------------------------------------------------------
// Appending

String& String::operator+=(const String& y)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), y.m_rep->s, int(y.m_rep->len));
    return *this;
}

String& String::operator+=(const SubString& y)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), y.chars(), y.length());
    return *this;
}

String& String::operator+=(const char* t)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), t, -1);
    return *this;
}

String& String::appendSlow(char c)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), &c, 1);
    return *this;
}

String& String::cat(const char* t, int length)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), t, length);
    return *this;
}

String& String::prepend(const String& y)
{
    m_rep = prependRep(m_rep, y.m_rep->s, int(y.m_rep->len));
    return *this;
}

String& String::prepend(const SubString& y)
{
    m_rep = prependRep(m_rep, y.chars(), y.length());
    return *this;
}

String& String::prepend(const char* t)
{
    m_rep = prependRep(m_rep, t, -1);
    return *this;
}

String& String::prepend(char c)
{
    m_rep = prependRep(m_rep, &c, 1);
    return *this;
}

void cat(const StrPiece& x, const StrPiece& y, String& result)
{
    // Built in a temporary: x or y may be views of `result`.
    String tmp;
    tmp.alloc(int(checkedLength(uint64_t(x.size()) + uint64_t(y.size()))));
    tmp.cat(x.data(), x.size());
    tmp.cat(y.data(), y.size());
    result = std::move(tmp);
}

void cat(const StrPiece& x, const StrPiece& y, const StrPiece& z, String& result)
{
    String tmp;
    tmp.alloc(int(checkedLength(uint64_t(x.size()) + uint64_t(y.size()) + uint64_t(z.size()))));
    tmp.cat(x.data(), x.size());
    tmp.cat(y.data(), y.size());
    tmp.cat(z.data(), z.size());
    result = std::move(tmp);
}

namespace {

String concat(const StrPiece& x, const StrPiece& y)
{
    String r;
    r.alloc(int(checkedLength(uint64_t(x.size()) + uint64_t(y.size()))));
    r.cat(x.data(), x.size());
    r.cat(y.data(), y.size());
    return r;
}

}  // namespace

String operator+(const String& x, const String& y) { return concat(x, y); }
String operator+(const String& x, const SubString& y) { return concat(x, y); }
String operator+(const String& x, const char* y) { return concat(x, y); }
String operator+(const String& x, char y) { return concat(x, y); }
String operator+(const SubString& x, const String& y) { return concat(x, y); }
String operator+(const SubString& x, const SubString& y) { return concat(x, y); }
String operator+(const SubString& x, const char* y) { return concat(x, y); }
String operator+(const SubString& x, char y) { return concat(x, y); }
String operator+(const char* x, const String& y) { return concat(x, y); }
String operator+(const char* x, const SubString& y) { return concat(x, y); }

// ---------------------------------------------------------------------------
// Comparison

int String::compare(const String& x, const String& y)
{
    const StrRep* a = x.m_rep;
    const StrRep* b = y.m_rep;
    uint32_t n = a->len < b->len ? a->len : b->len;
    for (uint32_t i = 0; i < n; ++i)
        if (a->s[i] != b->s[i]) return signedDiff(a->s[i], b->s[i]);
    if (a->len == b->len) return 0;
    // One is a prefix of the other: its terminating 0 meets the next
    // character of the longer one.
    int d = a->len < b->len ? signedDiff('\0', b->s[n]) : signedDiff(a->s[n], '\0');
    if (d != 0) return d;
    return a->len < b->len ? -1 : 1;  // only with embedded NUL characters
}

int String::compareChars(const String& x, const char* t)
{
    if (!t) return x.m_rep->len ? 1 : 0;
    const StrRep* a = x.m_rep;
    uint32_t i = 0;
    for (; i < a->len; ++i) {
        if (t[i] == '\0') {
            int d = signedDiff(a->s[i], '\0');
            return d ? d : 1;
        }
        if (a->s[i] != t[i]) return signedDiff(a->s[i], t[i]);
    }
    return signedDiff('\0', t[i]);
}

int String::compare(const String& x, const SubString& y)
{
    return compareRanges(x.chars(), x.length(), y.chars(), y.length());
}

int String::compare(const SubString& x, const SubString& y)
{
    return compareRanges(x.chars(), x.length(), y.chars(), y.length());
}

int String::compare(const SubString& x, const char* t)
{
    return compareRanges(x.chars(), x.length(), t ? t : "", t ? int(std::strlen(t)) : 0);
}

int String::fcompare(const String& x, const String& y)
{
    const StrRep* a = x.m_rep;
    const StrRep* b = y.m_rep;
    uint32_t n = a->len < b->len ? a->len : b->len;
    for (uint32_t i = 0; i < n; ++i) {
        char ca = foldUpper(a->s[i]);
        char cb = foldUpper(b->s[i]);
        if (ca != cb) return signedDiff(ca, cb);
    }
    return int(a->len) - int(b->len);
}

// ---------------------------------------------------------------------------
// Searching

int String::search(int start, int length, const char* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(std::strlen(t));
    if (length > int(m_rep->len)) length = int(m_rep->len);
    if (start >= 0) return forwardSearch(m_rep->s, length, start, t, tl);
    return backwardSearch(m_rep->s, length, length + start, t, tl);
}

int String::searchChar(int start, int length, char c) const
{
    if (length > int(m_rep->len)) length = int(m_rep->len);
    if (length < 1) return -1;
    const char* s = m_rep->s;
    if (start >= 0) {
        if (start >= length) return -1;
        const void* p = std::memchr(s + start, c, size_t(length - start));
        return p ? int(static_cast<const char*>(p) - s) : -1;
    }
    for (int i = length + start; i >= 0; --i)
        if (s[i] == c) return i;
    return -1;
}

int String::match(int start, int length, int exact, const char* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(std::strlen(t));
    if (length > int(m_rep->len)) length = int(m_rep->len);
    if (length < 0) return -1;
    int begin;
    if (start >= 0) {
        if (start > length || tl > length - start) return -1;
        if (exact && start + tl != length) return -1;
        begin = start;
    } else {
        int end = length + start + 1;  // one past the last character of the match
        if (end < 0 || end > length || tl > end) return -1;
        begin = end - tl;
        if (exact && begin != 0) return -1;
    }
    return std::memcmp(m_rep->s + begin, t, size_t(tl)) == 0 ? tl : -1;
}

int String::search(int start, int length, const boost::regex& re, int& matchLength) const
{
    matchLength = 0;
    if (length > int(m_rep->len)) length = int(m_rep->len);
    int from, to;
    if (start >= 0) {
        if (start >= length) return -1;
        from = start;
        to = length;
    } else {
        from = 0;
        to = length + start + 1;
        if (to <= 0) return -1;
    }
    boost::cmatch m;
    const char* s = m_rep->s;
    if (!boost::regex_search(s + from, s + to, m, re)) return -1;
    matchLength = int(m.length(0));
    return int(m[0].first - s);
}

int String::searchPiece(const StrPiece& x, int start) const
{
    return search(start, int(m_rep->len), x.data(), x.size());
}

int String::search(const String& x, int start) const { return searchPiece(x, start); }
int String::search(const SubString& x, int start) const { return searchPiece(x, start); }
int String::search(const char* t, int start) const
{
    return search(start, int(m_rep->len), t, -1);
}
int String::searchChar(char c, int start) const { return searchChar(start, int(m_rep->len), c); }
int String::search(const boost::regex& re, int start) const
{
    int n;
    return search(start, int(m_rep->len), re, n);
}
int String::search(const boost::regex& re, int start, int& matchLength) const
{
    return search(start, int(m_rep->len), re, matchLength);
}

bool String::contains(const StrPiece& x, int pos) const
{
    return match(pos, int(m_rep->len), 0, x.data(), x.size()) >= 0;
}

bool String::matches(const StrPiece& x, int pos) const
{
    return match(pos, int(m_rep->len), 1, x.data(), x.size()) >= 0;
}

bool String::matches(const boost::regex& re, int pos) const
{
    if (pos < 0 || uint32_t(pos) > m_rep->len) return false;
    return boost::regex_match(m_rep->s + pos, m_rep->s + m_rep->len, re);
}

int String::freq(const StrPiece& x) const
{
    int n = 0;
    int sl = int(m_rep->len);
    if (x.size() < 1) return 0;
    for (int i = 0; i + x.size() <= sl; ++i)
        if (match(i, sl, 0, x.data(), x.size()) >= 0) ++n;
    return n;
}

// ---------------------------------------------------------------------------
// Views

SubString String::view(int pos, int len)
{
    if (pos < 0 || len < 0 || uint32_t(pos) > m_rep->len || uint32_t(len) > m_rep->len - uint32_t(pos))
        return SubString(nilString(), 0, 0);
    return SubString(*this, uint32_t(pos), uint32_t(len));
}

SubString String::at(int pos, int len) { return view(pos, len); }
SubString String::beforePos(int pos) { return view(0, pos); }
SubString String::throughPos(int pos)
{
    if (pos < 0 || pos >= length()) return view(-1, 0);
    return view(0, pos + 1);
}
SubString String::fromPos(int pos) { return view(pos, length() - pos); }
SubString String::afterPos(int pos)
{
    if (pos < -1 || pos >= length()) return view(-1, 0);
    return view(pos + 1, length() - (pos + 1));
}

SubString String::atPiece(const StrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p < 0) return view(-1, 0);
    return view(p, x.size());
}

SubString String::beforePiece(const StrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p < 0) return view(-1, 0);
    return view(0, p);
}

SubString String::throughPiece(const StrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p < 0) return view(-1, 0);
    return view(0, p + x.size());
}

SubString String::fromPiece(const StrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p < 0) return view(-1, 0);
    return view(p, length() - p);
}

SubString String::afterPiece(const StrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p < 0) return view(-1, 0);
    int q = p + x.size();
    return view(q, length() - q);
}

SubString String::at(const boost::regex& re, int start)
{
    int n;
    int p = search(re, start, n);
    if (p < 0) return view(-1, 0);
    return view(p, n);
}

SubString String::before(const boost::regex& re, int start)
{
    int n;
    int p = search(re, start, n);
    if (p < 0) return view(-1, 0);
    return view(0, p);
}

SubString String::through(const boost::regex& re, int start)
{
    int n;
    int p = search(re, start, n);
    if (p < 0) return view(-1, 0);
    return view(0, p + n);
}

SubString String::from(const boost::regex& re, int start)
{
    int n;
    int p = search(re, start, n);
    if (p < 0) return view(-1, 0);
    return view(p, length() - p);
}

SubString String::after(const boost::regex& re, int start)
{
    int n;
    int p = search(re, start, n);
    if (p < 0) return view(-1, 0);
    return view(p + n, length() - (p + n));
}

// ---------------------------------------------------------------------------
// SubString

bool SubString::isNil() const { return &m_str == &String::nilString(); }

const char* SubString::chars() const { return m_str.m_rep->s + m_pos; }

void SubString::assign(const char* chars, int length)
{
    if (isNil()) return;
    if (!chars) length = 0;
    if (length < 0) length = int(std::strlen(chars));
    StrRep* rep = m_str.m_rep;
    uint32_t oldLen = rep->len;
    if (m_pos > oldLen || m_len > oldLen - m_pos) return;  // the String changed under the view
    uint32_t m = uint32_t(length);
    uint32_t newLen = checkedLength(uint64_t(oldLen) - m_len + m);
    uint32_t tail = oldLen - (m_pos + m_len);
    if (rep != String::emptyRep() && newLen <= rep->sz && !(m && inside(chars, rep))) {
        char* s = rep->s;
        if (m != m_len) std::memmove(s + m_pos + m, s + m_pos + m_len, tail + 1);  // with the NUL
        if (m) std::memcpy(s + m_pos, chars, m);
    } else {
        StrRep* fresh = String::allocRep(newLen);
        std::memcpy(fresh->s, rep->s, m_pos);
        if (m) std::memcpy(fresh->s + m_pos, chars, m);
        std::memcpy(fresh->s + m_pos + m, rep->s + m_pos + m_len, tail);
        String::freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = '\0';
    m_str.m_rep = rep;
}

SubString& SubString::operator=(const String& y)
{
    assign(y.chars(), y.length());
    return *this;
}

SubString& SubString::operator=(const SubString& y)
{
    assign(y.chars(), y.length());
    return *this;
}

SubString& SubString::operator=(const char* t)
{
    assign(t, -1);
    return *this;
}

SubString& SubString::operator=(char c)
{
    assign(&c, 1);
    return *this;
}

bool SubString::contains(const StrPiece& x) const
{
    return forwardSearch(chars(), length(), 0, x.data(), x.size()) >= 0;
}

bool SubString::contains(const boost::regex& re) const
{
    return boost::regex_search(chars(), chars() + m_len, re);
}

bool SubString::matches(const boost::regex& re) const
{
    return boost::regex_match(chars(), chars() + m_len, re);
}

bool SubString::OK() const
{
    bool ok = m_str.OK() && m_pos <= m_str.m_rep->len && m_len <= m_str.m_rep->len - m_pos;
    if (!ok) callStringErrorHandler("String", "SubString invariant failure");
    return ok;
}

// ---------------------------------------------------------------------------
// Editing

void String::del(int pos, int len)
{
    if (pos < 0 || len <= 0 || uint32_t(pos) > m_rep->len || uint32_t(len) > m_rep->len - uint32_t(pos))
        return;
    char* s = m_rep->s;
    std::memmove(s + pos, s + pos + len, m_rep->len - uint32_t(pos + len) + 1);
    m_rep->len -= uint32_t(len);
}

void String::delPiece(const StrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p >= 0) del(p, x.size());
}

void String::del(const boost::regex& re, int start)
{
    int n;
    int p = search(re, start, n);
    if (p >= 0) del(p, n);
}

int String::gsub(const char* pat, int patLength, const char* repl, int replLength)
{
    if (!pat) return 0;
    if (patLength < 0) patLength = int(std::strlen(pat));
    if (!repl) replLength = 0;
    if (replLength < 0) replLength = int(std::strlen(repl));
    int sl = int(m_rep->len);
    if (sl == 0 || patLength == 0 || patLength > sl) return 0;

    // Count first, so that the result is built in one representation of
    // the exact length.
    int hits = 0;
    for (int p = forwardSearch(m_rep->s, sl, 0, pat, patLength); p >= 0;
         p = forwardSearch(m_rep->s, sl, p + patLength, pat, patLength))
        ++hits;
    if (hits == 0) return 0;
    uint32_t newLen = checkedLength(uint64_t(sl) + uint64_t(hits) * uint64_t(replLength) -
                                    uint64_t(hits) * uint64_t(patLength));
    StrRep* work = allocRep(newLen);
    char* out = work->s;
    int from = 0;
    for (int p = forwardSearch(m_rep->s, sl, 0, pat, patLength); p >= 0;
         p = forwardSearch(m_rep->s, sl, from, pat, patLength)) {
        std::memcpy(out, m_rep->s + from, size_t(p - from));
        out += p - from;
        if (replLength) std::memcpy(out, repl, size_t(replLength));
        out += replLength;
        from = p + patLength;
    }
    std::memcpy(out, m_rep->s + from, size_t(sl - from));
    work->len = newLen;
    work->s[newLen] = '\0';
    if (newLen <= m_rep->sz && m_rep != &g_emptyRep) {
        std::memcpy(m_rep->s, work->s, newLen + 1);
        m_rep->len = newLen;
        freeRep(work);
    } else {
        freeRep(m_rep);
        m_rep = work;
    }
    return hits;
}

int String::gsub(const StrPiece& pat, const StrPiece& repl)
{
    // Pattern and replacement may be views of this String: the result is
    // built in a separate representation and the old text is only touched
    // once both are no longer needed.
    return gsub(pat.data(), pat.size(), repl.data(), repl.size());
}

int String::gsub(const boost::regex& re, const StrPiece& repl)
{
    const char* r = repl.data();  // may lie in this String: used before it changes
    int rl = repl.size();
    const char* s = m_rep->s;
    const char* end = s + m_rep->len;
    String result;
    int hits = 0;
    const char* from = s;
    boost::cmatch m;
    while (from <= end) {
        auto flags = from == s ? boost::match_default : boost::match_prev_avail;
        if (!boost::regex_search(from, end, m, re, flags)) break;
        if (m.length(0) == 0) break;
        const char* hit = m[0].first;
        result.cat(from, int(hit - from));
        result.cat(r, rl);
        from = m[0].second;
        ++hits;
    }
    if (hits == 0) return 0;
    result.cat(from, int(end - from));
    m_rep = assignRep(m_rep, result.m_rep);
    return hits;
}

void String::trimLeft(const char* set)
{
    if (!set || m_rep->len == 0) return;
    uint32_t i = 0;
    while (i < m_rep->len && std::strchr(set, m_rep->s[i]) && m_rep->s[i] != '\0') ++i;
    if (i) del(0, int(i));
}

void String::trimRight(const char* set)
{
    if (!set || m_rep->len == 0) return;
    uint32_t n = m_rep->len;
    while (n > 0 && m_rep->s[n - 1] != '\0' && std::strchr(set, m_rep->s[n - 1])) --n;
    if (n != m_rep->len) {
        m_rep->len = n;
        m_rep->s[n] = '\0';
    }
}

void String::trimLeft(char c)
{
    char set[2] = {c, '\0'};
    trimLeft(set);
}

void String::trimRight(char c)
{
    char set[2] = {c, '\0'};
    trimRight(set);
}

void String::trimLeft() { trimLeft("\r\n\t "); }
void String::trimRight() { trimRight("\r\n\t "); }

void String::reverse() { m_rep = reverseRep(m_rep, m_rep); }
void String::upcase() { m_rep = upcaseRep(m_rep, m_rep); }
void String::downcase() { m_rep = downcaseRep(m_rep, m_rep); }
void String::capitalize() { m_rep = capitalizeRep(m_rep, m_rep); }

int String::grep(const boost::regex& re, std::list<String>& out) const
{
    int n = 0;
    const char* s = m_rep->s;
    boost::cregex_iterator it(s, s + m_rep->len, re), end;
    for (; it != end; ++it) {
        out.emplace_back((*it)[0].first, int((*it).length(0)));
        ++n;
    }
    return n;
}

String reverse(const String& x)
{
    String r(x);
    r.reverse();
    return r;
}

String upcase(const String& x)
{
    String r(x);
    r.upcase();
    return r;
}

String downcase(const String& x)
{
    String r(x);
    r.downcase();
    return r;
}

String capitalize(const String& x)
{
    String r(x);
    r.capitalize();
    return r;
}

String replicate(char c, int n)
{
    String r;
    if (n <= 0) return r;
    r.alloc(n);
    for (int i = 0; i < n; ++i) r += c;
    return r;
}

String replicate(const String& x, int n)
{
    String r;
    if (n <= 0 || x.empty()) return r;
    r.alloc(int(checkedLength(uint64_t(x.length()) * uint64_t(n))));
    for (int i = 0; i < n; ++i) r += x;
    return r;
}

int split(const String& src, String results[], int n, const String& separator)
{
    if (n <= 0 || src.empty()) return 0;
    String text(src);  // results may alias the source
    int sl = text.length();
    int count = 0;
    int pos = 0;
    while (count < n) {
        int p = separator.empty() ? -1 : text.search(separator, pos);
        if (p < 0) {
            results[count++] = String(text.chars() + pos, sl - pos);
            break;
        }
        results[count++] = String(text.chars() + pos, p - pos);
        pos = p + separator.length();
    }
    return count;
}

int split(const String& src, String results[], int n, const boost::regex& separator)
{
    if (n <= 0 || src.empty()) return 0;
    String text(src);
    const char* s = text.chars();
    const char* end = s + text.length();
    const char* pos = s;
    int count = 0;
    boost::cmatch m;
    while (count < n) {
        auto flags = pos == s ? boost::match_default : boost::match_prev_avail;
        if (!boost::regex_search(pos, end, m, separator, flags) || m.length(0) == 0) {
            results[count++] = String(pos, int(end - pos));
            break;
        }
        results[count++] = String(pos, int(m[0].first - pos));
        pos = m[0].second;
    }
    return count;
}

// ---------------------------------------------------------------------------
// Streams

namespace {

bool isStreamSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::istream& readString(std::istream& s, String& x)
{
    std::istream::sentry ok(s);  // skips leading white space
    if (!ok) {
        s.setstate(std::ios::failbit);
        return s;
    }
    std::streambuf* sb = s.rdbuf();
    String text;
    text.alloc(20);
    for (;;) {
        int c = sb->sgetc();
        if (c == std::char_traits<char>::eof()) {
            s.setstate(std::ios::eofbit);
            break;
        }
        if (isStreamSpace(c)) break;
        text += char(c);
        sb->sbumpc();
    }
    if (text.empty()) s.setstate(std::ios::failbit);
    x = std::move(text);
    return s;
}

std::istream& operator>>(std::istream& s, String& x) { return readString(s, x); }

int readline(std::istream& s, String& x, char terminator, int discard)
{
    String text;
    if (!s.good()) {
        s.setstate(std::ios::failbit);
        x = text;
        return 0;
    }
    text.alloc(80);
    std::streambuf* sb = s.rdbuf();
    bool any = false;
    for (;;) {
        int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            s.setstate(any ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
            break;
        }
        any = true;
        if (char(c) == terminator) {
            if (!discard) text += char(c);
            break;
        }
        text += char(c);
    }
    x = std::move(text);
    return x.length();
}

std::ostream& operator<<(std::ostream& s, const String& x)
{
    return s.write(x.chars(), x.length());
}

std::ostream& writeSubString(std::ostream& s, const SubString& x)
{
    return s.write(x.chars(), x.length());
}

std::ostream& operator<<(std::ostream& s, const SubString& x) { return writeSubString(s, x); }
