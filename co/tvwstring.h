// WString: the wide (UTF-16) twin of String, carrier of the message texts,
// and WSubString, its view. Same operation families and rules as String,
// over 16-bit units, with these differences:
//  - representations come from the heap, not from the pools (capacities 4,
//    20, 52, 116, ... units);
//  - a WString hands out a narrow copy in the ANSI code page (1252), built on
//    demand and cached until the content changes;
//  - upper- and lower-casing know the letters beyond ASCII; the
//    case-insensitive comparison still folds only a-z;
//  - no regular expressions, and no constructor from narrow text (use
//    WString::fromAnsi / fromUtf8).
// Errors go to the error hook of String with the class name "WString".
#pragma once
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "co/tvstring.h"

struct WStrRep {
    uint32_t len;     // units in use
    uint32_t sz;      // capacity in units
    char* narrow;     // narrow copy (NUL-terminated) or null
    char16_t s[1];    // the units, 0 at index len
};

class WString;
class WSubString;

// A run of UTF-16 units of any of the wide string forms.
class WStrPiece {
public:
    WStrPiece(const WString& s);
    WStrPiece(const WSubString& s);
    WStrPiece(const char16_t* s)
        : m_p(s ? s : u""), m_n(s ? int(std::char_traits<char16_t>::length(s)) : 0)
    {
    }
    WStrPiece(const char16_t* s, int n) : m_p(s ? s : u""), m_n(s ? n : 0) {}
    WStrPiece(const std::u16string& s) : m_p(s.data()), m_n(int(s.size())) {}
    WStrPiece(char16_t c) : m_p(nullptr), m_n(1), m_c(c) {}
    WStrPiece(const WStrPiece& o) : m_p(o.m_p), m_n(o.m_n), m_c(o.m_c) {}
    WStrPiece& operator=(const WStrPiece&) = delete;

    const char16_t* data() const { return m_p ? m_p : &m_c; }
    int size() const { return m_n; }

private:
    const char16_t* m_p;
    int m_n;
    char16_t m_c = 0;
};

// ---------------------------------------------------------------------------

class WSubString {
    friend class WString;

public:
    WSubString(const WSubString&) = default;

    WSubString& operator=(const WString& y);
    WSubString& operator=(const WSubString& y);
    WSubString& operator=(const char16_t* t);
    WSubString& operator=(char16_t c);
    void assign(const char16_t* units, int length);

    int length() const { return int(m_len); }
    bool empty() const { return m_len == 0; }
    bool isNil() const;
    int position() const { return int(m_pos); }
    const char16_t* units() const;  // not 0-terminated
    WString& string() const { return m_str; }
    bool contains(const WStrPiece& x) const;

    bool OK() const;  // reports "WSubString invariant failure" when broken

private:
    WSubString(WString& s, uint32_t pos, uint32_t len) : m_str(s), m_pos(pos), m_len(len) {}

    WString& m_str;
    uint32_t m_pos;
    uint32_t m_len;
};

// ---------------------------------------------------------------------------

class WString {
    friend class WSubString;

public:
    WString() : m_rep(emptyRep()) {}
    WString(const char16_t* t);
    WString(const char16_t* t, int length);
    WString(const WString& x);
    WString(WString&& x) noexcept : m_rep(x.m_rep) { x.m_rep = emptyRep(); }
    WString(const WSubString& x);
    WString(const std::u16string& x);
    explicit WString(char16_t c);
    ~WString();

    // Conversions from narrow text (code page 1252 / UTF-8).
    static WString fromAnsi(const char* t, int length = -1);
    static WString fromAnsi(const String& t) { return fromAnsi(t.chars(), t.length()); }
    static WString fromUtf8(const char* t, int length = -1);

    WString& operator=(const WString& y);
    WString& operator=(WString&& y) noexcept;
    WString& operator=(const WSubString& y);
    WString& operator=(const char16_t* y);
    WString& operator=(char16_t c);
    WString& operator=(const std::u16string& y);

    // --- size and units ---
    int length() const { return int(m_rep->len); }
    bool empty() const { return m_rep->len == 0; }
    int capacity() const { return int(m_rep->sz); }
    const char16_t* units() const { return m_rep->s; }
    const char16_t* c_str() const { return m_rep->s; }
    std::u16string u16string() const { return std::u16string(m_rep->s, m_rep->len); }

    // The text in the ANSI code page (1252; '?' for units it lacks). Valid
    // until the content changes or the WString is destroyed.
    const char* narrowChars() const;
    String narrow() const;
    std::string toUtf8() const;

    // Checked access ("invalid index"). The non-const form drops the narrow
    // copy, since the caller may change the unit.
    char16_t& operator[](int i);
    char16_t operator[](int i) const;
    char16_t elem(int i) const { return m_rep->s[i]; }
    char16_t firstUnit() const { return m_rep->s[0]; }
    char16_t lastUnit() const { return m_rep->len ? m_rep->s[m_rep->len - 1] : u'\0'; }

    void alloc(int n);

    // --- appending and prepending ---
    WString& operator+=(const WString& y);
    WString& operator+=(const WSubString& y);
    WString& operator+=(const char16_t* t);
    WString& operator+=(char16_t c);
    WString& cat(const WStrPiece& y);
    WString& cat(const char16_t* t, int length);
    WString& catChar(char16_t c) { return *this += c; }
    WString& prepend(const WStrPiece& y);

    // --- comparison (three-way, unit values) ---
    static int compare(const WString& x, const WString& y);
    static int compareUnits(const WString& x, const char16_t* t);  // null t: 1 / 0
    static int compare(const WString& x, const WSubString& y);
    static int compare(const WSubString& x, const WString& y) { return -compare(y, x); }
    static int compare(const WSubString& x, const WSubString& y);
    static int compare(const WSubString& x, const char16_t* t);
    static int fcompare(const WString& x, const WString& y);  // folds a-z only

    // --- searching (rules as String) ---
    int search(int start, int length, const char16_t* t, int tl) const;
    int searchUnit(int start, int length, char16_t c) const;
    int match(int start, int length, int exact, const char16_t* t, int tl) const;
    int search(const WString& x, int start = 0) const;
    int search(const WSubString& x, int start = 0) const;
    int search(const char16_t* t, int start = 0) const;
    int searchUnit(char16_t c, int start = 0) const;
    int searchChar(char16_t c, int start = 0) const { return searchUnit(c, start); }
    int index(const WStrPiece& x, int start = 0) const { return searchPiece(x, start); }
    bool contains(const WStrPiece& x) const { return searchPiece(x, 0) >= 0; }
    bool contains(const WStrPiece& x, int pos) const;
    bool matches(const WStrPiece& x, int pos = 0) const;
    int freq(const WStrPiece& x) const;

    // --- views ---
    WSubString at(int pos, int len);
    WSubString operator()(int pos, int len) { return at(pos, len); }
    WSubString beforePos(int pos);
    WSubString throughPos(int pos);
    WSubString fromPos(int pos);
    WSubString afterPos(int pos);
    WSubString at(const WStrPiece& x, int start = 0);
    // A single unit with a start position must not pick at(pos, len).
    WSubString at(char16_t c, int start) { return at(WStrPiece(c), start); }
    WSubString before(const WStrPiece& x, int start = 0);
    WSubString through(const WStrPiece& x, int start = 0);
    WSubString from(const WStrPiece& x, int start = 0);
    WSubString after(const WStrPiece& x, int start = 0);

    // --- editing ---
    void del(int pos, int len);
    void del(const WStrPiece& x, int start = 0);
    void del(char16_t c, int start) { del(WStrPiece(c), start); }
    int gsub(const char16_t* pat, int patLength, const char16_t* repl, int replLength);
    int gsub(const WStrPiece& pat, const WStrPiece& repl);
    void trimLeft(const char16_t* set);
    void trimRight(const char16_t* set);
    void trimLeft();   // CR, LF, TAB, blank
    void trimRight();
    void trim() { trimRight(); trimLeft(); }
    void reverse();
    void upcase();
    void downcase();
    void capitalize();

    bool OK() const;
    [[noreturn]] void error(const char* msg) const;

    // --- representation functions (the empty one counts as none) ---
    static WStrRep* emptyRep();
    static WStrRep* allocRep(uint32_t length);
    static void freeRep(WStrRep* rep);
    static WStrRep* assignChars(WStrRep* rep, const char16_t* units, int length, int minLength = 0);
    static WStrRep* assignRep(WStrRep* rep, const WStrRep* source);
    static WStrRep* resizeRep(WStrRep* rep, uint32_t newLength);
    static WStrRep* catRep(WStrRep* rep, const char16_t* a, int aLength, const char16_t* b,
                           int bLength);
    static WStrRep* prependRep(WStrRep* rep, const char16_t* units, int length);

    static WString& nilString();
    const WStrRep* rep() const { return m_rep; }

private:
    int searchPiece(const WStrPiece& x, int start) const;
    WSubString view(int pos, int len);
    void changed() const;

    WStrRep* m_rep;
};

inline WStrPiece::WStrPiece(const WString& s) : m_p(s.units()), m_n(s.length()) {}
inline WStrPiece::WStrPiece(const WSubString& s) : m_p(s.units()), m_n(s.length()) {}

void cat(const WStrPiece& x, const WStrPiece& y, WString& result);
void cat(const WStrPiece& x, const WStrPiece& y, const WStrPiece& z, WString& result);

WString operator+(const WString& x, const WString& y);
WString operator+(const WString& x, const WSubString& y);
WString operator+(const WString& x, const char16_t* y);
WString operator+(const WString& x, char16_t y);
WString operator+(const WSubString& x, const WString& y);
WString operator+(const WSubString& x, const WSubString& y);
WString operator+(const WSubString& x, const char16_t* y);
WString operator+(const char16_t* x, const WString& y);
WString operator+(const char16_t* x, const WSubString& y);

inline bool operator==(const WString& x, const WString& y)
{
    return x.length() == y.length() &&
           std::memcmp(x.units(), y.units(), size_t(x.length()) * sizeof(char16_t)) == 0;
}
inline bool operator!=(const WString& x, const WString& y) { return !(x == y); }
inline bool operator<(const WString& x, const WString& y) { return WString::compare(x, y) < 0; }
inline bool operator<=(const WString& x, const WString& y) { return WString::compare(x, y) <= 0; }
inline bool operator>(const WString& x, const WString& y) { return WString::compare(x, y) > 0; }
inline bool operator>=(const WString& x, const WString& y) { return WString::compare(x, y) >= 0; }
inline bool operator==(const WString& x, const char16_t* y) { return WString::compareUnits(x, y) == 0; }
inline bool operator!=(const WString& x, const char16_t* y) { return WString::compareUnits(x, y) != 0; }
inline bool operator<(const WString& x, const char16_t* y) { return WString::compareUnits(x, y) < 0; }
inline bool operator>(const WString& x, const char16_t* y) { return WString::compareUnits(x, y) > 0; }
inline bool operator==(const char16_t* x, const WString& y) { return WString::compareUnits(y, x) == 0; }
inline bool operator!=(const char16_t* x, const WString& y) { return WString::compareUnits(y, x) != 0; }
inline bool operator==(const WString& x, const WSubString& y) { return WString::compare(x, y) == 0; }
inline bool operator!=(const WString& x, const WSubString& y) { return WString::compare(x, y) != 0; }
inline bool operator==(const WSubString& x, const WString& y) { return WString::compare(x, y) == 0; }
inline bool operator!=(const WSubString& x, const WString& y) { return WString::compare(x, y) != 0; }
inline bool operator==(const WSubString& x, const WSubString& y) { return WString::compare(x, y) == 0; }
inline bool operator!=(const WSubString& x, const WSubString& y) { return WString::compare(x, y) != 0; }
inline bool operator<(const WSubString& x, const WSubString& y) { return WString::compare(x, y) < 0; }
inline bool operator==(const WSubString& x, const char16_t* y) { return WString::compare(x, y) == 0; }
inline bool operator!=(const WSubString& x, const char16_t* y) { return WString::compare(x, y) != 0; }

WString reverse(const WString& x);
WString upcase(const WString& x);
WString downcase(const WString& x);
WString capitalize(const WString& x);
WString replicate(char16_t c, int n);
WString replicate(const WString& x, int n);
int split(const WString& src, WString results[], int n, const WString& separator);

// Writes the text as UTF-8.
std::ostream& operator<<(std::ostream& s, const WString& x);

namespace std {
template <>
struct hash<WString> {
    size_t operator()(const WString& s) const noexcept
    {
        uint64_t h = 1469598103934665603ull;
        for (int i = 0; i < s.length(); ++i) {
            h ^= uint16_t(s.elem(i));
            h *= 1099511628211ull;
        }
        return size_t(h);
    }
};
}  // namespace std
