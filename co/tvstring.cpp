#include "co/tvstring.h"

#include <atomic>
#include <boost/regex.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>

#include "co/tvstrops.h"

// ---------------------------------------------------------------------------
// Error hook

namespace {

std::atomic<StringErrorHandler> g_errorHandler{&defaultStringErrorHandler};

// The shared empty representation: never written, never released. Constant
// initialised, so it is usable before any dynamic initialiser has run.
StrRep g_emptyRep = {0, 0, {0}};

constexpr uint64_t kMaxBlock = 0x7FFFFFFF;

uint32_t checkedLength(uint64_t n)
{
    if (n + 12 >= kMaxBlock) fatalStringError("String", "Requested length out of range");
    return uint32_t(n);
}

// How the shared algorithms make and change String representations.
struct NarrowPolicy {
    using Unit = char;
    using Rep = StrRep;
    static Rep* empty() { return &g_emptyRep; }
    static Rep* alloc(uint32_t length) { return String::allocRep(length); }
    static void release(Rep* rep) { String::freeRep(rep); }
    static uint32_t checkedLength(uint64_t n) { return ::checkedLength(n); }
    static void changing(Rep*) {}
};

using Ops = tvstr::RepOps<NarrowPolicy>;

bool isAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
bool isAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isAsciiAlnum(char c)
{
    return isAsciiLower(c) || isAsciiUpper(c) || (c >= '0' && c <= '9');
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
    // Blocks of 16, 32 and 64 bytes fall into the size classes of those
    // requests.
    if (blockSize > 64) return nullptr;
    return tvfalloc::poolForSize(blockSize < 17 ? 16 : blockSize < 33 ? 32 : 64);
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

StrRep* String::assignChars(StrRep* rep, const char* chars, int length, int minLength)
{
    if (!chars || length < 0) length = chars ? int(std::strlen(chars)) : 0;
    return Ops::assign(rep, chars, length, minLength);
}

StrRep* String::assignRep(StrRep* rep, const StrRep* source) { return Ops::assignRep(rep, source); }

StrRep* String::resizeRep(StrRep* rep, uint32_t newLength) { return Ops::resize(rep, newLength); }

StrRep* String::catRep(StrRep* rep, const char* a, int aLength, const char* b, int bLength)
{
    if (!a) aLength = 0;
    if (!b) bLength = 0;
    if (aLength < 0) aLength = int(std::strlen(a));
    if (bLength < 0) bLength = int(std::strlen(b));
    return Ops::cat(rep, a, aLength, b, bLength, nullptr, 0);
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
    return Ops::cat(rep, a, aLength, b, bLength, c, cLength);
}

StrRep* String::prependRep(StrRep* rep, const char* chars, int length)
{
    if (!chars) length = 0;
    if (length < 0) length = int(std::strlen(chars));
    return Ops::prepend(rep, chars, length);
}

namespace {

// target := f(source) character by character (source and target may be the
// same representation).
template <class F>
StrRep* mapRep(const StrRep* source, StrRep* target, F f)
{
    uint32_t n = source->len;
    if (n == 0) return Ops::assignRep(target, source);
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

void String::alloc(int n) { m_rep = Ops::reserve(m_rep, n); }

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

// Built apart from `result`: the pieces may be views of it.
void cat(const StrPiece& x, const StrPiece& y, String& result)
{
    result = tvstr::joined<String, NarrowPolicy>(x, y);
}

void cat(const StrPiece& x, const StrPiece& y, const StrPiece& z, String& result)
{
    result = tvstr::joined<String, NarrowPolicy>(x, y, z);
}

namespace {

String concat(const StrPiece& x, const StrPiece& y) { return tvstr::joined<String, NarrowPolicy>(x, y); }

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
    // Names compared in sorts and lookups share long prefixes: the common
    // part is skipped eight characters at a time, the rest compared as ever.
    const char* a = x.chars();
    const char* b = y.chars();
    const uint32_t an = x.m_rep->len, bn = y.m_rep->len;
    const uint32_t n = an < bn ? an : bn;
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t wa, wb;
        std::memcpy(&wa, a + i, 8);
        std::memcpy(&wb, b + i, 8);
        if (wa != wb) break;
    }
    return tvstr::compareTerminated(a + i, an - i, b + i, bn - i);
}

int String::compareChars(const String& x, const char* t)
{
    if (!t) return x.m_rep->len ? 1 : 0;
    return tvstr::compareWithTerminated(x.chars(), x.m_rep->len, t);
}

int String::compare(const String& x, const SubString& y)
{
    return tvstr::compareRanges(x.chars(), x.length(), y.chars(), y.length());
}

int String::compare(const SubString& x, const SubString& y)
{
    return tvstr::compareRanges(x.chars(), x.length(), y.chars(), y.length());
}

int String::compare(const SubString& x, const char* t)
{
    return tvstr::compareRanges(x.chars(), x.length(), t ? t : "", t ? int(std::strlen(t)) : 0);
}

int String::fcompare(const String& x, const String& y)
{
    return tvstr::compareFolded(x.chars(), x.m_rep->len, y.chars(), y.m_rep->len);
}

// ---------------------------------------------------------------------------
// Searching

int String::search(int start, int length, const char* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(std::strlen(t));
    return tvstr::search(m_rep->s, int(m_rep->len), start, length, t, tl);
}

int String::searchChar(int start, int length, char c) const
{
    return tvstr::searchUnit(m_rep->s, int(m_rep->len), start, length, c);
}

int String::match(int start, int length, int exact, const char* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(std::strlen(t));
    return tvstr::match(m_rep->s, int(m_rep->len), start, length, exact, t, tl);
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
    return tvstr::countOccurrences(m_rep->s, int(m_rep->len), x.data(), x.size());
}

// ---------------------------------------------------------------------------
// Views

SubString String::view(int pos, int len)
{
    if (!tvstr::fits(pos, len, m_rep->len)) return SubString(nilString(), 0, 0);
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

namespace {

// The part of s around a match at p (none: p < 0) of n characters.
SubString partOf(String& s, tvstr::Part part, int p, int n)
{
    tvstr::Range r = tvstr::partAround(part, p, n, s.length());
    return s.at(r.pos, r.len);
}

// The part of s around the first match of the regex from start.
SubString partOf(String& s, tvstr::Part part, const boost::regex& re, int start)
{
    int n;
    int p = s.search(re, start, n);
    return partOf(s, part, p, n);
}

}  // namespace

SubString String::atPiece(const StrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::At, searchPiece(x, start), x.size());
}
SubString String::beforePiece(const StrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::Before, searchPiece(x, start), x.size());
}
SubString String::throughPiece(const StrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::Through, searchPiece(x, start), x.size());
}
SubString String::fromPiece(const StrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::From, searchPiece(x, start), x.size());
}
SubString String::afterPiece(const StrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::After, searchPiece(x, start), x.size());
}

SubString String::at(const boost::regex& re, int start) { return partOf(*this, tvstr::Part::At, re, start); }
SubString String::before(const boost::regex& re, int start)
{
    return partOf(*this, tvstr::Part::Before, re, start);
}
SubString String::through(const boost::regex& re, int start)
{
    return partOf(*this, tvstr::Part::Through, re, start);
}
SubString String::from(const boost::regex& re, int start) { return partOf(*this, tvstr::Part::From, re, start); }
SubString String::after(const boost::regex& re, int start)
{
    return partOf(*this, tvstr::Part::After, re, start);
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
    m_str.m_rep = Ops::replace(m_str.m_rep, m_pos, m_len, chars, uint32_t(length));
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
    return tvstr::forwardSearch(chars(), length(), 0, x.data(), x.size()) >= 0;
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

void String::del(int pos, int len) { Ops::erase(m_rep, pos, len); }

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
    int hits;
    m_rep = Ops::replaceAll(m_rep, pat, patLength, repl, replLength, hits);
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
    uint32_t i = tvstr::leadingInSet(m_rep->s, m_rep->len, set);
    if (i) del(0, int(i));
}

void String::trimRight(const char* set)
{
    if (!set || m_rep->len == 0) return;
    uint32_t n = tvstr::lengthWithoutTrailing(m_rep->s, m_rep->len, set);
    if (n != m_rep->len) m_rep = Ops::resize(m_rep, n);
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

String reverse(const String& x) { return tvstr::changedCopy(x, &String::reverse); }
String upcase(const String& x) { return tvstr::changedCopy(x, &String::upcase); }
String downcase(const String& x) { return tvstr::changedCopy(x, &String::downcase); }
String capitalize(const String& x) { return tvstr::changedCopy(x, &String::capitalize); }
String replicate(char c, int n) { return tvstr::replicateUnit<String>(c, n); }
String replicate(const String& x, int n) { return tvstr::replicateText<String, NarrowPolicy>(x, n); }

int split(const String& src, String results[], int n, const String& separator)
{
    return tvstr::splitAt(src, results, n, separator);
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
