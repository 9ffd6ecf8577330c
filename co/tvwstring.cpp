#include "co/tvwstring.h"

#include <ostream>

#include "platform/text.h"

namespace {

// Shared empty representation: never written, never released, never holds
// a narrow copy.
WStrRep g_emptyWRep = {0, 0, nullptr, {0}};

constexpr uint64_t kMaxBlock = 0x7FFFFFFF;
constexpr size_t kUnit = sizeof(char16_t);

uint32_t checkedLength(uint64_t n)
{
    if (2 * n + 24 >= kMaxBlock) fatalStringError("WString", "Requested length out of range");
    return uint32_t(n);
}

size_t unitLength(const char16_t* t) { return tvp::u16len(t); }

void dropNarrow(WStrRep* rep)
{
    if (rep->narrow) {
        delete[] rep->narrow;
        rep->narrow = nullptr;
    }
}

bool inside(const char16_t* p, const WStrRep* rep)
{
    auto a = reinterpret_cast<uintptr_t>(p);
    auto b = reinterpret_cast<uintptr_t>(rep->s);
    return a >= b && a <= b + size_t(rep->sz) * kUnit;
}

bool unitsEqual(const char16_t* a, const char16_t* b, int n)
{
    return std::memcmp(a, b, size_t(n) * kUnit) == 0;
}

int compareRanges(const char16_t* a, int an, const char16_t* b, int bn)
{
    int n = an < bn ? an : bn;
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return int(a[i]) - int(b[i]);
    return an - bn;
}

int forwardSearch(const char16_t* s, int sl, int start, const char16_t* t, int tl)
{
    if (tl < 1 || sl < 1 || start < 0 || start > sl - tl) return -1;
    for (int p = start; p <= sl - tl; ++p)
        if (s[p] == t[0] && unitsEqual(s + p, t, tl)) return p;
    return -1;
}

int backwardSearch(const char16_t* s, int sl, int last, const char16_t* t, int tl)
{
    if (tl < 1 || sl < 1) return -1;
    if (last >= sl) last = sl - 1;
    for (int p = last - tl + 1; p >= 0; --p)
        if (s[p] == t[0] && unitsEqual(s + p, t, tl)) return p;
    return -1;
}

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

char16_t foldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

}  // namespace

// ---------------------------------------------------------------------------
// Representations

WStrRep* WString::emptyRep() { return &g_emptyWRep; }

WStrRep* WString::allocRep(uint32_t length)
{
    uint64_t need = 2 * uint64_t(length) + 24;
    uint64_t size = 16;
    while (size < need) size <<= 1;
    if (size >= kMaxBlock) fatalStringError("WString", "Requested length out of range");
    auto* rep = static_cast<WStrRep*>(::operator new(size));
    rep->len = 0;
    rep->sz = uint32_t((size - 24) / 2);
    rep->narrow = nullptr;
    rep->s[0] = 0;
    return rep;
}

void WString::freeRep(WStrRep* rep)
{
    if (!rep || rep == &g_emptyWRep) return;
    dropNarrow(rep);
    ::operator delete(rep);
}

WStrRep* WString::assignChars(WStrRep* rep, const char16_t* units, int length, int minLength)
{
    if (!units || length < 0) length = units ? int(checkedLength(unitLength(units))) : 0;
    uint32_t newLen = uint32_t(length > minLength ? length : minLength);
    if (newLen == 0 && rep == &g_emptyWRep) return rep;
    if (rep == &g_emptyWRep || rep->sz < newLen) {
        WStrRep* fresh = allocRep(newLen);
        if (length) std::memcpy(fresh->s, units, size_t(length) * kUnit);
        freeRep(rep);
        rep = fresh;
    } else {
        dropNarrow(rep);
        if (length && units != rep->s) std::memmove(rep->s, units, size_t(length) * kUnit);
    }
    rep->len = newLen;
    rep->s[newLen] = 0;
    return rep;
}

WStrRep* WString::assignRep(WStrRep* rep, const WStrRep* source)
{
    if (!source || source->len == 0) {
        if (rep != &g_emptyWRep) {
            dropNarrow(rep);
            rep->len = 0;
            rep->s[0] = 0;
        }
        return rep;
    }
    if (rep == source) return rep;
    return assignChars(rep, source->s, int(source->len));
}

WStrRep* WString::resizeRep(WStrRep* rep, uint32_t newLength)
{
    if (rep == &g_emptyWRep && newLength == 0) return rep;
    if (rep == &g_emptyWRep || rep->sz < newLength) {
        WStrRep* fresh = allocRep(newLength);
        uint32_t keep = rep->len < newLength ? rep->len : newLength;
        std::memcpy(fresh->s, rep->s, keep * kUnit);
        freeRep(rep);
        rep = fresh;
    } else {
        dropNarrow(rep);
    }
    rep->len = newLength;
    rep->s[newLength] = 0;
    return rep;
}

WStrRep* WString::catRep(WStrRep* rep, const char16_t* a, int aLength, const char16_t* b,
                         int bLength)
{
    if (!a) aLength = 0;
    if (!b) bLength = 0;
    if (aLength < 0) aLength = int(checkedLength(unitLength(a)));
    if (bLength < 0) bLength = int(checkedLength(unitLength(b)));
    uint32_t newLen = checkedLength(uint64_t(aLength) + uint64_t(bLength));
    if (newLen == 0 && rep == &g_emptyWRep) return rep;
    if (rep != &g_emptyWRep && newLen <= rep->sz && !(bLength && inside(b, rep))) {
        dropNarrow(rep);
        if (aLength && a != rep->s) std::memmove(rep->s, a, size_t(aLength) * kUnit);
        if (bLength) std::memcpy(rep->s + aLength, b, size_t(bLength) * kUnit);
    } else {
        WStrRep* fresh = allocRep(newLen);
        if (aLength) std::memcpy(fresh->s, a, size_t(aLength) * kUnit);
        if (bLength) std::memcpy(fresh->s + aLength, b, size_t(bLength) * kUnit);
        freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = 0;
    return rep;
}

WStrRep* WString::prependRep(WStrRep* rep, const char16_t* units, int length)
{
    if (!units) length = 0;
    if (length < 0) length = int(checkedLength(unitLength(units)));
    if (length == 0) return rep;
    uint32_t oldLen = rep->len;
    uint32_t newLen = checkedLength(uint64_t(oldLen) + uint64_t(length));
    if (rep != &g_emptyWRep && newLen <= rep->sz && !inside(units, rep)) {
        dropNarrow(rep);
        std::memmove(rep->s + length, rep->s, oldLen * kUnit);
        std::memcpy(rep->s, units, size_t(length) * kUnit);
    } else {
        WStrRep* fresh = allocRep(newLen);
        std::memcpy(fresh->s, units, size_t(length) * kUnit);
        std::memcpy(fresh->s + length, rep->s, oldLen * kUnit);
        freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = 0;
    return rep;
}

WString& WString::nilString()
{
    static WString* nil = new WString();
    return *nil;
}

void WString::changed() const
{
    if (m_rep != &g_emptyWRep) dropNarrow(m_rep);
}

// ---------------------------------------------------------------------------
// Construction, assignment, narrow copy

WString::WString(const char16_t* t) : m_rep(&g_emptyWRep) { m_rep = assignChars(m_rep, t, -1); }
WString::WString(const char16_t* t, int length) : m_rep(&g_emptyWRep)
{
    m_rep = assignChars(m_rep, t, length);
}
WString::WString(const WString& x) : m_rep(&g_emptyWRep)
{
    m_rep = assignChars(m_rep, x.m_rep->s, int(x.m_rep->len));
}
WString::WString(const WSubString& x) : m_rep(&g_emptyWRep)
{
    m_rep = assignChars(m_rep, x.units(), x.length());
}
WString::WString(const std::u16string& x) : m_rep(&g_emptyWRep)
{
    m_rep = assignChars(m_rep, x.data(), int(checkedLength(x.size())));
}
WString::WString(char16_t c) : m_rep(&g_emptyWRep) { m_rep = assignChars(m_rep, &c, 1); }
WString::~WString() { freeRep(m_rep); }

WString WString::fromAnsi(const char* t, int length)
{
    if (!t) return WString();
    size_t n = length < 0 ? std::strlen(t) : size_t(length);
    return WString(tvp::ansiToWide(t, n));
}

WString WString::fromUtf8(const char* t, int length)
{
    if (!t) return WString();
    size_t n = length < 0 ? std::strlen(t) : size_t(length);
    return WString(tvp::utf8ToWide(t, n));
}

WString& WString::operator=(const WString& y)
{
    m_rep = assignRep(m_rep, y.m_rep);
    return *this;
}

WString& WString::operator=(WString&& y) noexcept
{
    if (this != &y) {
        freeRep(m_rep);
        m_rep = y.m_rep;
        y.m_rep = &g_emptyWRep;
    }
    return *this;
}

WString& WString::operator=(const WSubString& y)
{
    m_rep = assignChars(m_rep, y.units(), y.length());
    return *this;
}

WString& WString::operator=(const char16_t* y)
{
    m_rep = assignChars(m_rep, y, -1);
    return *this;
}

WString& WString::operator=(char16_t c)
{
    m_rep = assignChars(m_rep, &c, 1);
    return *this;
}

WString& WString::operator=(const std::u16string& y)
{
    m_rep = assignChars(m_rep, y.data(), int(checkedLength(y.size())));
    return *this;
}

const char* WString::narrowChars() const
{
    if (m_rep == &g_emptyWRep) return "";
    if (!m_rep->narrow) {
        std::string text = tvp::wideToAnsi(m_rep->s, m_rep->len);
        char* copy = new char[text.size() + 1];
        std::memcpy(copy, text.c_str(), text.size() + 1);
        m_rep->narrow = copy;
    }
    return m_rep->narrow;
}

String WString::narrow() const
{
    std::string text = tvp::wideToAnsi(m_rep->s, m_rep->len);
    return String(text.data(), int(text.size()));
}

std::string WString::toUtf8() const { return tvp::wideToUtf8(m_rep->s, m_rep->len); }

char16_t& WString::operator[](int i)
{
    if (i < 0 || uint32_t(i) >= m_rep->len) error("invalid index");
    changed();
    return m_rep->s[i];
}

char16_t WString::operator[](int i) const
{
    if (i < 0 || uint32_t(i) >= m_rep->len) error("invalid index");
    return m_rep->s[i];
}

void WString::alloc(int n)
{
    if (n <= 0 || uint32_t(n) <= m_rep->sz) return;
    WStrRep* fresh = allocRep(checkedLength(uint64_t(n)));
    std::memcpy(fresh->s, m_rep->s, (m_rep->len + 1) * kUnit);
    fresh->len = m_rep->len;
    freeRep(m_rep);
    m_rep = fresh;
}

void WString::error(const char* msg) const { fatalStringError("WString", msg); }

bool WString::OK() const
{
    bool ok = m_rep != nullptr && m_rep->len <= m_rep->sz && m_rep->s[m_rep->len] == 0;
    if (!ok) callStringErrorHandler("WString", "invariant failure");
    return ok;
}

// ---------------------------------------------------------------------------
// Appending

WString& WString::operator+=(const WString& y)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), y.m_rep->s, int(y.m_rep->len));
    return *this;
}

WString& WString::operator+=(const WSubString& y)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), y.units(), y.length());
    return *this;
}

WString& WString::operator+=(const char16_t* t)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), t, -1);
    return *this;
}

WString& WString::operator+=(char16_t c)
{
    uint32_t n = m_rep->len;
    if (m_rep != &g_emptyWRep && n < m_rep->sz) {
        dropNarrow(m_rep);
        m_rep->s[n] = c;
        m_rep->s[n + 1] = 0;
        m_rep->len = n + 1;
        return *this;
    }
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), &c, 1);
    return *this;
}

WString& WString::cat(const WStrPiece& y)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), y.data(), y.size());
    return *this;
}

WString& WString::cat(const char16_t* t, int length)
{
    m_rep = catRep(m_rep, m_rep->s, int(m_rep->len), t, length);
    return *this;
}

WString& WString::prepend(const WStrPiece& y)
{
    m_rep = prependRep(m_rep, y.data(), y.size());
    return *this;
}

void cat(const WStrPiece& x, const WStrPiece& y, WString& result)
{
    WString tmp;
    tmp.alloc(x.size() + y.size());
    tmp.cat(x);
    tmp.cat(y);
    result = std::move(tmp);
}

void cat(const WStrPiece& x, const WStrPiece& y, const WStrPiece& z, WString& result)
{
    WString tmp;
    tmp.alloc(x.size() + y.size() + z.size());
    tmp.cat(x);
    tmp.cat(y);
    tmp.cat(z);
    result = std::move(tmp);
}

namespace {

WString concat(const WStrPiece& x, const WStrPiece& y)
{
    WString r;
    cat(x, y, r);
    return r;
}

}  // namespace

WString operator+(const WString& x, const WString& y) { return concat(x, y); }
WString operator+(const WString& x, const WSubString& y) { return concat(x, y); }
WString operator+(const WString& x, const char16_t* y) { return concat(x, y); }
WString operator+(const WString& x, char16_t y) { return concat(x, y); }
WString operator+(const WSubString& x, const WString& y) { return concat(x, y); }
WString operator+(const WSubString& x, const WSubString& y) { return concat(x, y); }
WString operator+(const WSubString& x, const char16_t* y) { return concat(x, y); }
WString operator+(const char16_t* x, const WString& y) { return concat(x, y); }
WString operator+(const char16_t* x, const WSubString& y) { return concat(x, y); }

// ---------------------------------------------------------------------------
// Comparison

int WString::compare(const WString& x, const WString& y)
{
    const WStrRep* a = x.m_rep;
    const WStrRep* b = y.m_rep;
    uint32_t n = a->len < b->len ? a->len : b->len;
    for (uint32_t i = 0; i < n; ++i)
        if (a->s[i] != b->s[i]) return int(a->s[i]) - int(b->s[i]);
    if (a->len == b->len) return 0;
    int d = a->len < b->len ? -int(b->s[n]) : int(a->s[n]);
    if (d != 0) return d;
    return a->len < b->len ? -1 : 1;
}

int WString::compareUnits(const WString& x, const char16_t* t)
{
    if (!t) return x.m_rep->len ? 1 : 0;
    const WStrRep* a = x.m_rep;
    uint32_t i = 0;
    for (; i < a->len; ++i) {
        if (t[i] == 0) return a->s[i] ? int(a->s[i]) : 1;
        if (a->s[i] != t[i]) return int(a->s[i]) - int(t[i]);
    }
    return -int(t[i]);
}

int WString::compare(const WString& x, const WSubString& y)
{
    return compareRanges(x.units(), x.length(), y.units(), y.length());
}

int WString::compare(const WSubString& x, const WSubString& y)
{
    return compareRanges(x.units(), x.length(), y.units(), y.length());
}

int WString::compare(const WSubString& x, const char16_t* t)
{
    return compareRanges(x.units(), x.length(), t ? t : u"", t ? int(unitLength(t)) : 0);
}

int WString::fcompare(const WString& x, const WString& y)
{
    const WStrRep* a = x.m_rep;
    const WStrRep* b = y.m_rep;
    uint32_t n = a->len < b->len ? a->len : b->len;
    for (uint32_t i = 0; i < n; ++i) {
        char16_t ca = foldAscii(a->s[i]);
        char16_t cb = foldAscii(b->s[i]);
        if (ca != cb) return int(ca) - int(cb);
    }
    return int(a->len) - int(b->len);
}

// ---------------------------------------------------------------------------
// Searching

int WString::search(int start, int length, const char16_t* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(unitLength(t));
    if (length > int(m_rep->len)) length = int(m_rep->len);
    if (start >= 0) return forwardSearch(m_rep->s, length, start, t, tl);
    return backwardSearch(m_rep->s, length, length + start, t, tl);
}

int WString::searchUnit(int start, int length, char16_t c) const
{
    if (length > int(m_rep->len)) length = int(m_rep->len);
    if (length < 1) return -1;
    const char16_t* s = m_rep->s;
    if (start >= 0) {
        for (int i = start; i < length; ++i)
            if (s[i] == c) return i;
        return -1;
    }
    for (int i = length + start; i >= 0; --i)
        if (s[i] == c) return i;
    return -1;
}

int WString::match(int start, int length, int exact, const char16_t* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(unitLength(t));
    if (length > int(m_rep->len)) length = int(m_rep->len);
    if (length < 0) return -1;
    int begin;
    if (start >= 0) {
        if (start > length || tl > length - start) return -1;
        if (exact && start + tl != length) return -1;
        begin = start;
    } else {
        int end = length + start + 1;
        if (end < 0 || end > length || tl > end) return -1;
        begin = end - tl;
        if (exact && begin != 0) return -1;
    }
    return unitsEqual(m_rep->s + begin, t, tl) ? tl : -1;
}

int WString::searchPiece(const WStrPiece& x, int start) const
{
    return search(start, int(m_rep->len), x.data(), x.size());
}

int WString::search(const WString& x, int start) const { return searchPiece(x, start); }
int WString::search(const WSubString& x, int start) const { return searchPiece(x, start); }
int WString::search(const char16_t* t, int start) const
{
    return search(start, int(m_rep->len), t, -1);
}
int WString::searchUnit(char16_t c, int start) const
{
    return searchUnit(start, int(m_rep->len), c);
}

bool WString::contains(const WStrPiece& x, int pos) const
{
    return match(pos, int(m_rep->len), 0, x.data(), x.size()) >= 0;
}

bool WString::matches(const WStrPiece& x, int pos) const
{
    return match(pos, int(m_rep->len), 1, x.data(), x.size()) >= 0;
}

int WString::freq(const WStrPiece& x) const
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

WSubString WString::view(int pos, int len)
{
    if (pos < 0 || len < 0 || uint32_t(pos) > m_rep->len || uint32_t(len) > m_rep->len - uint32_t(pos))
        return WSubString(nilString(), 0, 0);
    return WSubString(*this, uint32_t(pos), uint32_t(len));
}

WSubString WString::at(int pos, int len) { return view(pos, len); }
WSubString WString::beforePos(int pos) { return view(0, pos); }
WSubString WString::throughPos(int pos)
{
    if (pos < 0 || pos >= length()) return view(-1, 0);
    return view(0, pos + 1);
}
WSubString WString::fromPos(int pos) { return view(pos, length() - pos); }
WSubString WString::afterPos(int pos)
{
    if (pos < -1 || pos >= length()) return view(-1, 0);
    return view(pos + 1, length() - (pos + 1));
}

WSubString WString::at(const WStrPiece& x, int start)
{
    int p = searchPiece(x, start);
    return p < 0 ? view(-1, 0) : view(p, x.size());
}

WSubString WString::before(const WStrPiece& x, int start)
{
    int p = searchPiece(x, start);
    return p < 0 ? view(-1, 0) : view(0, p);
}

WSubString WString::through(const WStrPiece& x, int start)
{
    int p = searchPiece(x, start);
    return p < 0 ? view(-1, 0) : view(0, p + x.size());
}

WSubString WString::from(const WStrPiece& x, int start)
{
    int p = searchPiece(x, start);
    return p < 0 ? view(-1, 0) : view(p, length() - p);
}

WSubString WString::after(const WStrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p < 0) return view(-1, 0);
    int q = p + x.size();
    return view(q, length() - q);
}

// ---------------------------------------------------------------------------
// WSubString

bool WSubString::isNil() const { return &m_str == &WString::nilString(); }

const char16_t* WSubString::units() const { return m_str.m_rep->s + m_pos; }

void WSubString::assign(const char16_t* units, int length)
{
    if (isNil()) return;
    if (!units) length = 0;
    if (length < 0) length = int(checkedLength(unitLength(units)));
    WStrRep* rep = m_str.m_rep;
    uint32_t oldLen = rep->len;
    if (m_pos > oldLen || m_len > oldLen - m_pos) return;
    uint32_t m = uint32_t(length);
    uint32_t newLen = checkedLength(uint64_t(oldLen) - m_len + m);
    uint32_t tail = oldLen - (m_pos + m_len);
    if (rep != WString::emptyRep() && newLen <= rep->sz && !(m && inside(units, rep))) {
        dropNarrow(rep);
        char16_t* s = rep->s;
        if (m != m_len) std::memmove(s + m_pos + m, s + m_pos + m_len, (tail + 1) * kUnit);
        if (m) std::memcpy(s + m_pos, units, m * kUnit);
    } else {
        WStrRep* fresh = WString::allocRep(newLen);
        std::memcpy(fresh->s, rep->s, m_pos * kUnit);
        if (m) std::memcpy(fresh->s + m_pos, units, m * kUnit);
        std::memcpy(fresh->s + m_pos + m, rep->s + m_pos + m_len, tail * kUnit);
        WString::freeRep(rep);
        rep = fresh;
    }
    rep->len = newLen;
    rep->s[newLen] = 0;
    m_str.m_rep = rep;
}

WSubString& WSubString::operator=(const WString& y)
{
    assign(y.units(), y.length());
    return *this;
}

WSubString& WSubString::operator=(const WSubString& y)
{
    assign(y.units(), y.length());
    return *this;
}

WSubString& WSubString::operator=(const char16_t* t)
{
    assign(t, -1);
    return *this;
}

WSubString& WSubString::operator=(char16_t c)
{
    assign(&c, 1);
    return *this;
}

bool WSubString::contains(const WStrPiece& x) const
{
    return forwardSearch(units(), length(), 0, x.data(), x.size()) >= 0;
}

bool WSubString::OK() const
{
    bool ok = m_str.OK() && m_pos <= m_str.m_rep->len && m_len <= m_str.m_rep->len - m_pos;
    if (!ok) callStringErrorHandler("WString", "WSubString invariant failure");
    return ok;
}

// ---------------------------------------------------------------------------
// Editing

void WString::del(int pos, int len)
{
    if (pos < 0 || len <= 0 || uint32_t(pos) > m_rep->len || uint32_t(len) > m_rep->len - uint32_t(pos))
        return;
    changed();
    char16_t* s = m_rep->s;
    std::memmove(s + pos, s + pos + len, (m_rep->len - uint32_t(pos + len) + 1) * kUnit);
    m_rep->len -= uint32_t(len);
}

void WString::del(const WStrPiece& x, int start)
{
    int p = searchPiece(x, start);
    if (p >= 0) del(p, x.size());
}

int WString::gsub(const char16_t* pat, int patLength, const char16_t* repl, int replLength)
{
    if (!pat) return 0;
    if (patLength < 0) patLength = int(unitLength(pat));
    if (!repl) replLength = 0;
    if (replLength < 0) replLength = int(unitLength(repl));
    int sl = int(m_rep->len);
    if (sl == 0 || patLength == 0 || patLength > sl) return 0;
    const char16_t* s = m_rep->s;
    int hits = 0;
    for (int p = forwardSearch(s, sl, 0, pat, patLength); p >= 0;
         p = forwardSearch(s, sl, p + patLength, pat, patLength))
        ++hits;
    if (hits == 0) return 0;
    uint32_t newLen = checkedLength(uint64_t(sl) + uint64_t(hits) * uint64_t(replLength) -
                                    uint64_t(hits) * uint64_t(patLength));
    WStrRep* work = allocRep(newLen);
    char16_t* out = work->s;
    int from = 0;
    for (int p = forwardSearch(s, sl, 0, pat, patLength); p >= 0;
         p = forwardSearch(s, sl, from, pat, patLength)) {
        std::memcpy(out, s + from, size_t(p - from) * kUnit);
        out += p - from;
        if (replLength) std::memcpy(out, repl, size_t(replLength) * kUnit);
        out += replLength;
        from = p + patLength;
    }
    std::memcpy(out, s + from, size_t(sl - from) * kUnit);
    work->len = newLen;
    work->s[newLen] = 0;
    if (newLen <= m_rep->sz && m_rep != &g_emptyWRep) {
        dropNarrow(m_rep);
        std::memcpy(m_rep->s, work->s, (newLen + 1) * kUnit);
        m_rep->len = newLen;
        freeRep(work);
    } else {
        freeRep(m_rep);
        m_rep = work;
    }
    return hits;
}

int WString::gsub(const WStrPiece& pat, const WStrPiece& repl)
{
    return gsub(pat.data(), pat.size(), repl.data(), repl.size());
}

void WString::trimLeft(const char16_t* set)
{
    if (!set || m_rep->len == 0) return;
    size_t setLen = tvp::u16len(set);
    uint32_t i = 0;
    while (i < m_rep->len && m_rep->s[i] && std::char_traits<char16_t>::find(set, setLen, m_rep->s[i]))
        ++i;
    if (i) del(0, int(i));
}

void WString::trimRight(const char16_t* set)
{
    if (!set || m_rep->len == 0) return;
    size_t setLen = tvp::u16len(set);
    uint32_t n = m_rep->len;
    while (n > 0 && m_rep->s[n - 1] && std::char_traits<char16_t>::find(set, setLen, m_rep->s[n - 1]))
        --n;
    if (n != m_rep->len) {
        changed();
        m_rep->len = n;
        m_rep->s[n] = 0;
    }
}

void WString::trimLeft() { trimLeft(u"\r\n\t "); }
void WString::trimRight() { trimRight(u"\r\n\t "); }

void WString::reverse()
{
    uint32_t n = m_rep->len;
    if (n < 2) return;
    changed();
    for (uint32_t i = 0, j = n - 1; i < j; ++i, --j) {
        char16_t t = m_rep->s[i];
        m_rep->s[i] = m_rep->s[j];
        m_rep->s[j] = t;
    }
}

void WString::upcase()
{
    changed();
    for (uint32_t i = 0; i < m_rep->len; ++i)
        if (tvp::wideIsLower(m_rep->s[i])) m_rep->s[i] = tvp::wideToUpper(m_rep->s[i]);
}

void WString::downcase()
{
    changed();
    for (uint32_t i = 0; i < m_rep->len; ++i)
        if (tvp::wideIsUpper(m_rep->s[i])) m_rep->s[i] = tvp::wideToLower(m_rep->s[i]);
}

void WString::capitalize()
{
    changed();
    char16_t* s = m_rep->s;
    for (uint32_t i = 0; i < m_rep->len; ++i) {
        char16_t prev = i ? s[i - 1] : 0;
        bool wordChar = i && (isAsciiAlnum(prev) || tvp::wideIsLower(prev) || tvp::wideIsUpper(prev));
        if (!wordChar) {
            if (tvp::wideIsLower(s[i])) s[i] = tvp::wideToUpper(s[i]);
        } else if (tvp::wideIsUpper(s[i])) {
            s[i] = tvp::wideToLower(s[i]);
        }
    }
}

WString reverse(const WString& x)
{
    WString r(x);
    r.reverse();
    return r;
}

WString upcase(const WString& x)
{
    WString r(x);
    r.upcase();
    return r;
}

WString downcase(const WString& x)
{
    WString r(x);
    r.downcase();
    return r;
}

WString capitalize(const WString& x)
{
    WString r(x);
    r.capitalize();
    return r;
}

WString replicate(char16_t c, int n)
{
    WString r;
    if (n <= 0) return r;
    r.alloc(n);
    for (int i = 0; i < n; ++i) r += c;
    return r;
}

WString replicate(const WString& x, int n)
{
    WString r;
    if (n <= 0 || x.empty()) return r;
    r.alloc(int(checkedLength(uint64_t(x.length()) * uint64_t(n))));
    for (int i = 0; i < n; ++i) r += x;
    return r;
}

int split(const WString& src, WString results[], int n, const WString& separator)
{
    if (n <= 0 || src.empty()) return 0;
    WString text(src);
    int sl = text.length();
    int count = 0;
    int pos = 0;
    while (count < n) {
        int p = separator.empty() ? -1 : text.search(separator, pos);
        if (p < 0) {
            results[count++] = WString(text.units() + pos, sl - pos);
            break;
        }
        results[count++] = WString(text.units() + pos, p - pos);
        pos = p + separator.length();
    }
    return count;
}

std::ostream& operator<<(std::ostream& s, const WString& x) { return s << x.toUtf8(); }
