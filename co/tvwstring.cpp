#include "co/tvwstring.h"

#include <ostream>

#include "co/tvstrops.h"
#include "platform/text.h"

namespace {

// Shared empty representation: never written, never released, never holds
// a narrow copy.
WStrRep g_emptyWRep = {0, 0, nullptr, {0}};

constexpr uint64_t kMaxBlock = 0x7FFFFFFF;

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

// How the shared algorithms make and change WString representations: a
// representation whose content changes loses its narrow copy.
struct WidePolicy {
    using Unit = char16_t;
    using Rep = WStrRep;
    static Rep* empty() { return &g_emptyWRep; }
    static Rep* alloc(uint32_t length) { return WString::allocRep(length); }
    static void release(Rep* rep) { WString::freeRep(rep); }
    static uint32_t checkedLength(uint64_t n) { return ::checkedLength(n); }
    static void changing(Rep* rep) { dropNarrow(rep); }
};

using Ops = tvstr::RepOps<WidePolicy>;

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

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
    return Ops::assign(rep, units, length, minLength);
}

WStrRep* WString::assignRep(WStrRep* rep, const WStrRep* source) { return Ops::assignRep(rep, source); }

WStrRep* WString::resizeRep(WStrRep* rep, uint32_t newLength) { return Ops::resize(rep, newLength); }

WStrRep* WString::catRep(WStrRep* rep, const char16_t* a, int aLength, const char16_t* b,
                         int bLength)
{
    if (!a) aLength = 0;
    if (!b) bLength = 0;
    if (aLength < 0) aLength = int(checkedLength(unitLength(a)));
    if (bLength < 0) bLength = int(checkedLength(unitLength(b)));
    return Ops::cat(rep, a, aLength, b, bLength, nullptr, 0);
}

WStrRep* WString::prependRep(WStrRep* rep, const char16_t* units, int length)
{
    if (!units) length = 0;
    if (length < 0) length = int(checkedLength(unitLength(units)));
    return Ops::prepend(rep, units, length);
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

void WString::alloc(int n) { m_rep = Ops::reserve(m_rep, n); }

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

// Built apart from `result`: the pieces may be views of it.
void cat(const WStrPiece& x, const WStrPiece& y, WString& result)
{
    result = tvstr::joined<WString, WidePolicy>(x, y);
}

void cat(const WStrPiece& x, const WStrPiece& y, const WStrPiece& z, WString& result)
{
    result = tvstr::joined<WString, WidePolicy>(x, y, z);
}

namespace {

WString concat(const WStrPiece& x, const WStrPiece& y) { return tvstr::joined<WString, WidePolicy>(x, y); }

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
    return tvstr::compareTerminated(x.units(), x.m_rep->len, y.units(), y.m_rep->len);
}

int WString::compareUnits(const WString& x, const char16_t* t)
{
    if (!t) return x.m_rep->len ? 1 : 0;
    return tvstr::compareWithTerminated(x.units(), x.m_rep->len, t);
}

int WString::compare(const WString& x, const WSubString& y)
{
    return tvstr::compareRanges(x.units(), x.length(), y.units(), y.length());
}

int WString::compare(const WSubString& x, const WSubString& y)
{
    return tvstr::compareRanges(x.units(), x.length(), y.units(), y.length());
}

int WString::compare(const WSubString& x, const char16_t* t)
{
    return tvstr::compareRanges(x.units(), x.length(), t ? t : u"", t ? int(unitLength(t)) : 0);
}

int WString::fcompare(const WString& x, const WString& y)
{
    return tvstr::compareFolded(x.units(), x.m_rep->len, y.units(), y.m_rep->len);
}

// ---------------------------------------------------------------------------
// Searching

int WString::search(int start, int length, const char16_t* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(unitLength(t));
    return tvstr::search(m_rep->s, int(m_rep->len), start, length, t, tl);
}

int WString::searchUnit(int start, int length, char16_t c) const
{
    return tvstr::searchUnit(m_rep->s, int(m_rep->len), start, length, c);
}

int WString::match(int start, int length, int exact, const char16_t* t, int tl) const
{
    if (!t) return -1;
    if (tl < 0) tl = int(unitLength(t));
    return tvstr::match(m_rep->s, int(m_rep->len), start, length, exact, t, tl);
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
    return tvstr::countOccurrences(m_rep->s, int(m_rep->len), x.data(), x.size());
}

// ---------------------------------------------------------------------------
// Views

WSubString WString::view(int pos, int len)
{
    if (!tvstr::fits(pos, len, m_rep->len)) return WSubString(nilString(), 0, 0);
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

namespace {

// The part of s around the first occurrence of x from start.
WSubString partOf(WString& s, tvstr::Part part, const WStrPiece& x, int start)
{
    tvstr::Range r = tvstr::partAround(part, s.index(x, start), x.size(), s.length());
    return s.at(r.pos, r.len);
}

}  // namespace

WSubString WString::at(const WStrPiece& x, int start) { return partOf(*this, tvstr::Part::At, x, start); }
WSubString WString::before(const WStrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::Before, x, start);
}
WSubString WString::through(const WStrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::Through, x, start);
}
WSubString WString::from(const WStrPiece& x, int start) { return partOf(*this, tvstr::Part::From, x, start); }
WSubString WString::after(const WStrPiece& x, int start)
{
    return partOf(*this, tvstr::Part::After, x, start);
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
    m_str.m_rep = Ops::replace(m_str.m_rep, m_pos, m_len, units, uint32_t(length));
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
    return tvstr::forwardSearch(units(), length(), 0, x.data(), x.size()) >= 0;
}

bool WSubString::OK() const
{
    bool ok = m_str.OK() && m_pos <= m_str.m_rep->len && m_len <= m_str.m_rep->len - m_pos;
    if (!ok) callStringErrorHandler("WString", "WSubString invariant failure");
    return ok;
}

// ---------------------------------------------------------------------------
// Editing

void WString::del(int pos, int len) { Ops::erase(m_rep, pos, len); }

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
    int hits;
    m_rep = Ops::replaceAll(m_rep, pat, patLength, repl, replLength, hits);
    return hits;
}

int WString::gsub(const WStrPiece& pat, const WStrPiece& repl)
{
    return gsub(pat.data(), pat.size(), repl.data(), repl.size());
}

void WString::trimLeft(const char16_t* set)
{
    if (!set || m_rep->len == 0) return;
    uint32_t i = tvstr::leadingInSet(m_rep->s, m_rep->len, set);
    if (i) del(0, int(i));
}

void WString::trimRight(const char16_t* set)
{
    if (!set || m_rep->len == 0) return;
    uint32_t n = tvstr::lengthWithoutTrailing(m_rep->s, m_rep->len, set);
    if (n != m_rep->len) m_rep = Ops::resize(m_rep, n);
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

WString reverse(const WString& x) { return tvstr::changedCopy(x, &WString::reverse); }
WString upcase(const WString& x) { return tvstr::changedCopy(x, &WString::upcase); }
WString downcase(const WString& x) { return tvstr::changedCopy(x, &WString::downcase); }
WString capitalize(const WString& x) { return tvstr::changedCopy(x, &WString::capitalize); }
WString replicate(char16_t c, int n) { return tvstr::replicateUnit<WString>(c, n); }
WString replicate(const WString& x, int n) { return tvstr::replicateText<WString, WidePolicy>(x, n); }

int split(const WString& src, WString results[], int n, const WString& separator)
{
    return tvstr::splitAt(src, results, n, separator);
}

std::ostream& operator<<(std::ostream& s, const WString& x) { return s << x.toUtf8(); }
