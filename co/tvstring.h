// String: the narrow (8-bit, code page 1252) string value class of the whole
// system, and SubString, a view of a range of a String through which the
// range can be read, compared and replaced.
//
// Every String owns its representation exclusively (copies never share).
// Representations are blocks of 16, 32, 64, ... bytes whose capacity is the
// block size minus 12 (4, 20, 52, 116, ... characters); blocks up to 64 bytes
// come from the global pools, larger ones from the heap. Appending reuses the
// representation while it has room, so building a String by repeated appends
// reallocates only when the capacity doubles.
//
// Positions and lengths are int. Searches return -1 when nothing is found;
// a negative start searches backwards (-1: from the last character). A view
// that does not fit into its String is the nil SubString (empty, refers to
// the nil String, and assigning to it changes nothing).
//
// Programming errors (invalid index, length out of range) go to the process-
// wide error hook shared with WString and Integer.
#pragma once
#include <boost/regex_fwd.hpp>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <list>
#include <string>

#include "base/falloc/AllocPool.h"

// ---------------------------------------------------------------------------
// Error hook of String, WString and Integer. The handler gets the class name
// and the message; it is not expected to return (the default one writes
// "<class> Error: <message>\n" to standard error and aborts).

using StringErrorHandler = void (*)(const char* className, const char* message);

// Installs a handler (null: the default one) and returns the previous one.
StringErrorHandler setStringErrorHandler(StringErrorHandler handler);
StringErrorHandler getStringErrorHandler();
void defaultStringErrorHandler(const char* className, const char* message);
// Calls the installed handler (which may return or throw).
void callStringErrorHandler(const char* className, const char* message);
// Calls the installed handler and aborts should it return.
[[noreturn]] void fatalStringError(const char* className, const char* message);

// ---------------------------------------------------------------------------

struct StrRep {
    uint32_t len;  // characters in use
    uint32_t sz;   // capacity: the most characters the block can hold
    char s[1];     // the characters, NUL at index len
};

class String;
class SubString;

// A run of characters of any of the string forms; lets one function take a
// String, a SubString, a C string or a single character.
class StrPiece {
public:
    StrPiece(const String& s);
    StrPiece(const SubString& s);
    StrPiece(const char* s) : m_p(s ? s : ""), m_n(s ? int(std::strlen(s)) : 0) {}
    StrPiece(const char* s, int n) : m_p(s ? s : ""), m_n(s ? n : 0) {}
    StrPiece(char c) : m_p(nullptr), m_n(1), m_c(c) {}
    StrPiece(const StrPiece& o) : m_p(o.m_p), m_n(o.m_n), m_c(o.m_c) {}
    StrPiece& operator=(const StrPiece&) = delete;

    const char* data() const { return m_p ? m_p : &m_c; }
    int size() const { return m_n; }

private:
    const char* m_p;
    int m_n;
    char m_c = 0;
};

// ---------------------------------------------------------------------------

class SubString {
    friend class String;

public:
    SubString(const SubString&) = default;

    // Replace the viewed range of the String (no effect on the nil view).
    SubString& operator=(const String& y);
    SubString& operator=(const SubString& y);
    SubString& operator=(const char* t);
    SubString& operator=(char c);
    void assign(const char* chars, int length);

    int length() const { return int(m_len); }
    bool empty() const { return m_len == 0; }
    bool isNil() const;
    int position() const { return int(m_pos); }
    // The first viewed character; the range is not NUL-terminated.
    const char* chars() const;
    String& string() const { return m_str; }

    // Whether the text occurs within the view.
    bool contains(const StrPiece& x) const;
    bool contains(const boost::regex& re) const;
    // Whether the regex matches the whole view.
    bool matches(const boost::regex& re) const;

    // Checks the view; reports "SubString invariant failure" when broken.
    bool OK() const;

private:
    SubString(String& s, uint32_t pos, uint32_t len) : m_str(s), m_pos(pos), m_len(len) {}

    String& m_str;
    uint32_t m_pos;
    uint32_t m_len;
};

// ---------------------------------------------------------------------------

class String : public CAllocPool<128> {
    friend class SubString;

public:
    String() : m_rep(emptyRep()) {}
    String(const char* t);
    String(const char* t, int length);
    String(const String& x);
    String(String&& x) noexcept : m_rep(x.m_rep) { x.m_rep = emptyRep(); }
    String(const SubString& x);
    String(const std::string& x);
    explicit String(char c);
    ~String() override;

    String& operator=(const String& y);
    String& operator=(String&& y) noexcept;
    String& operator=(const SubString& y);
    String& operator=(const char* y);
    String& operator=(char c);
    String& operator=(const std::string& y);

    // --- size and characters ---
    int length() const { return int(m_rep->len); }
    bool empty() const { return m_rep->len == 0; }
    int capacity() const { return int(m_rep->sz); }
    const char* c_str() const { return m_rep->s; }
    const char* chars() const { return m_rep->s; }
    std::string stdString() const { return std::string(m_rep->s, m_rep->len); }

    // Checked element access: an index not below the length is reported as
    // "invalid index".
    char& operator[](int i);
    char operator[](int i) const;
    char elem(int i) const { return m_rep->s[i]; }  // unchecked
    char firstChar() const { return m_rep->s[0]; }
    char lastChar() const { return m_rep->len ? m_rep->s[m_rep->len - 1] : '\0'; }

    // Grows the capacity to at least n characters, keeping the content.
    void alloc(int n);

    // --- appending and prepending ---
    String& operator+=(const String& y);
    String& operator+=(const SubString& y);
    String& operator+=(const char* t);
    String& operator+=(char c)
    {
        uint32_t n = m_rep->len;
        if (n < m_rep->sz) {  // the shared empty representation has capacity 0
            m_rep->s[n] = c;
            m_rep->s[n + 1] = '\0';
            m_rep->len = n + 1;
            return *this;
        }
        return appendSlow(c);
    }
    String& cat(const String& y) { return *this += y; }
    String& cat(const SubString& y) { return *this += y; }
    String& cat(const char* t) { return *this += t; }
    String& cat(const char* t, int length);
    String& catChar(char c) { return *this += c; }
    String& prepend(const String& y);
    String& prepend(const SubString& y);
    String& prepend(const char* t);
    String& prepend(char c);

    // --- comparison (three-way) ---
    // Byte-wise like strcmp, characters taken as signed 8-bit values; a
    // String that is a prefix of another compares its terminating 0.
    static int compare(const String& x, const String& y);
    // As compare; a null C string yields 1 for a non-empty String, else 0.
    static int compareChars(const String& x, const char* t);
    // Byte-wise over the shorter length, then the difference of the lengths.
    static int compare(const String& x, const SubString& y);
    static int compare(const SubString& x, const String& y) { return -compare(y, x); }
    static int compare(const SubString& x, const SubString& y);
    static int compare(const SubString& x, const char* t);
    // Case-insensitive (a-z folded to A-Z only), then the length difference.
    static int fcompare(const String& x, const String& y);

    // --- searching ---
    // Range forms: search within the first `length` characters.
    int search(int start, int length, const char* t, int tl) const;
    int searchChar(int start, int length, char c) const;
    // First regex match in [start, length) (start >= 0) or in
    // [0, length + start + 1) (start < 0); sets matchLength (0 when none).
    int search(int start, int length, const boost::regex& re, int& matchLength) const;
    // Whether t stands at start (start < 0: t ends at index length + start);
    // with exact it must also reach the end (or begin at 0 when start < 0).
    // Returns the length of t, or -1.
    int match(int start, int length, int exact, const char* t, int tl) const;

    int search(const String& x, int start = 0) const;
    int search(const SubString& x, int start = 0) const;
    int search(const char* t, int start = 0) const;
    int searchChar(char c, int start = 0) const;
    int search(const boost::regex& re, int start = 0) const;
    int search(const boost::regex& re, int start, int& matchLength) const;
    int index(const StrPiece& x, int start = 0) const { return searchPiece(x, start); }

    bool contains(const String& x) const { return search(x) >= 0; }
    bool contains(const SubString& x) const { return search(x) >= 0; }
    bool contains(const char* t) const { return search(t) >= 0; }
    bool contains(char c) const { return searchChar(c) >= 0; }
    bool contains(const boost::regex& re) const { return search(re) >= 0; }
    // Whether x stands at pos (pos < 0: ends at length + pos).
    bool contains(const StrPiece& x, int pos) const;
    // Whether x stands at pos and runs to the end of the String.
    bool matches(const StrPiece& x, int pos = 0) const;
    // Whether the regex matches the whole String from pos on.
    bool matches(const boost::regex& re, int pos = 0) const;

    // Number of (possibly overlapping) occurrences.
    int freq(const StrPiece& x) const;

    // --- views ---
    SubString at(int pos, int len);
    SubString operator()(int pos, int len) { return at(pos, len); }
    SubString beforePos(int pos);   // [0, pos)
    SubString throughPos(int pos);  // [0, pos]
    SubString fromPos(int pos);     // [pos, end)
    SubString afterPos(int pos);    // (pos, end)

    // By pattern, searched from start: at = the match, before = everything
    // before it, through = up to and including it, from = from it on,
    // after = everything after it. Not found: the nil SubString.
    SubString at(const String& x, int start = 0) { return atPiece(x, start); }
    SubString at(const SubString& x, int start = 0) { return atPiece(x, start); }
    SubString at(const char* t, int start = 0) { return atPiece(t, start); }
    SubString at(char c, int start = 0) { return atPiece(c, start); }
    SubString at(const boost::regex& re, int start = 0);
    SubString atChars(const char* t, int start = 0) { return atPiece(t, start); }
    SubString atChar(char c, int start = 0) { return atPiece(c, start); }

    SubString before(const String& x, int start = 0) { return beforePiece(x, start); }
    SubString before(const SubString& x, int start = 0) { return beforePiece(x, start); }
    SubString before(const char* t, int start = 0) { return beforePiece(t, start); }
    SubString before(char c, int start = 0) { return beforePiece(c, start); }
    SubString before(const boost::regex& re, int start = 0);
    SubString beforeChars(const char* t, int start = 0) { return beforePiece(t, start); }
    SubString beforeChar(char c, int start = 0) { return beforePiece(c, start); }

    SubString through(const String& x, int start = 0) { return throughPiece(x, start); }
    SubString through(const SubString& x, int start = 0) { return throughPiece(x, start); }
    SubString through(const char* t, int start = 0) { return throughPiece(t, start); }
    SubString through(char c, int start = 0) { return throughPiece(c, start); }
    SubString through(const boost::regex& re, int start = 0);
    SubString throughChars(const char* t, int start = 0) { return throughPiece(t, start); }
    SubString throughChar(char c, int start = 0) { return throughPiece(c, start); }

    SubString from(const String& x, int start = 0) { return fromPiece(x, start); }
    SubString from(const SubString& x, int start = 0) { return fromPiece(x, start); }
    SubString from(const char* t, int start = 0) { return fromPiece(t, start); }
    SubString from(char c, int start = 0) { return fromPiece(c, start); }
    SubString from(const boost::regex& re, int start = 0);
    SubString fromChars(const char* t, int start = 0) { return fromPiece(t, start); }
    SubString fromChar(char c, int start = 0) { return fromPiece(c, start); }

    SubString after(const String& x, int start = 0) { return afterPiece(x, start); }
    SubString after(const SubString& x, int start = 0) { return afterPiece(x, start); }
    SubString after(const char* t, int start = 0) { return afterPiece(t, start); }
    SubString after(char c, int start = 0) { return afterPiece(c, start); }
    SubString after(const boost::regex& re, int start = 0);
    SubString afterChars(const char* t, int start = 0) { return afterPiece(t, start); }
    SubString afterChar(char c, int start = 0) { return afterPiece(c, start); }

    // --- editing ---
    // Removes [pos, pos + len) when it lies within the String; else nothing.
    void del(int pos, int len);
    // Removes the first occurrence found from start.
    void del(const String& x, int start = 0) { delPiece(x, start); }
    void del(const SubString& x, int start = 0) { delPiece(x, start); }
    void del(const char* t, int start = 0) { delPiece(t, start); }
    void del(char c, int start = 0) { delPiece(c, start); }
    void del(const boost::regex& re, int start = 0);

    // Replaces every non-overlapping occurrence, left to right; returns the
    // number of replacements.
    int gsub(const char* pat, int patLength, const char* repl, int replLength);
    int gsub(const StrPiece& pat, const StrPiece& repl);
    // Replaces every match of length >= 1; stops at the first empty match.
    int gsub(const boost::regex& re, const StrPiece& repl);

    // Removes leading / trailing characters that occur in the set; without
    // a set: CR, LF, TAB and blank.
    void trimLeft(const char* set);
    void trimRight(const char* set);
    void trimLeft(char c);
    void trimRight(char c);
    void trimLeft();
    void trimRight();
    void trim() { trimRight(); trimLeft(); }

    // ASCII only: a-z / A-Z; capitalize upper-cases the first letter of
    // each word (run of letters and digits) and lower-cases the others.
    void reverse();
    void upcase();
    void downcase();
    void capitalize();

    // Appends the text of every successive match to the list; returns the
    // number of matches.
    int grep(const boost::regex& re, std::list<String>& out) const;

    // Checks the representation; reports "invariant failure" when broken.
    bool OK() const;
    [[noreturn]] void error(const char* msg) const;

    // --- representation functions ---
    // Each treats the shared empty representation as no representation and
    // returns the (possibly new) representation for the target.
    static StrRep* emptyRep();
    static StrRep* allocRep(uint32_t length);
    static void freeRep(StrRep* rep);
    static CAllocPoolImpl* poolForSize(size_t blockSize);
    // Content := chars[0, length); the length field becomes max(length,
    // minLength) (characters beyond length are left as they are).
    static StrRep* assignChars(StrRep* rep, const char* chars, int length, int minLength = 0);
    static StrRep* assignRep(StrRep* rep, const StrRep* source);
    // Sets the length, keeping the content, growing when needed.
    static StrRep* resizeRep(StrRep* rep, uint32_t newLength);
    static StrRep* catRep(StrRep* rep, const char* a, int aLength, const char* b, int bLength);
    static StrRep* cat3Rep(StrRep* rep, const char* a, int aLength, const char* b, int bLength,
                           const char* c, int cLength);
    static StrRep* prependRep(StrRep* rep, const char* chars, int length);
    static StrRep* reverseRep(const StrRep* source, StrRep* target);
    static StrRep* upcaseRep(const StrRep* source, StrRep* target);
    static StrRep* downcaseRep(const StrRep* source, StrRep* target);
    static StrRep* capitalizeRep(const StrRep* source, StrRep* target);

    // Returns the representation and points the String at the empty one.
    void releaseRep();
    // Makes a new representation holding exactly the given characters.
    void assignExact(const char* chars, int length);

    // The empty C string, and the String every nil SubString refers to.
    static const char* emptyChars() { return ""; }
    static String& nilString();

    const StrRep* rep() const { return m_rep; }

private:
    String& appendSlow(char c);
    int searchPiece(const StrPiece& x, int start) const;
    SubString view(int pos, int len);
    SubString atPiece(const StrPiece& x, int start);
    SubString beforePiece(const StrPiece& x, int start);
    SubString throughPiece(const StrPiece& x, int start);
    SubString fromPiece(const StrPiece& x, int start);
    SubString afterPiece(const StrPiece& x, int start);
    void delPiece(const StrPiece& x, int start);

    StrRep* m_rep;
};

// ---------------------------------------------------------------------------

inline StrPiece::StrPiece(const String& s) : m_p(s.chars()), m_n(s.length()) {}
inline StrPiece::StrPiece(const SubString& s) : m_p(s.chars()), m_n(s.length()) {}

// result := x y  /  x y z
void cat(const StrPiece& x, const StrPiece& y, String& result);
void cat(const StrPiece& x, const StrPiece& y, const StrPiece& z, String& result);

String operator+(const String& x, const String& y);
String operator+(const String& x, const SubString& y);
String operator+(const String& x, const char* y);
String operator+(const String& x, char y);
String operator+(const SubString& x, const String& y);
String operator+(const SubString& x, const SubString& y);
String operator+(const SubString& x, const char* y);
String operator+(const SubString& x, char y);
String operator+(const char* x, const String& y);
String operator+(const char* x, const SubString& y);

// Comparisons on the three-way results above.
#define TV_STRING_RELOPS(L, R, CMP)                                              \
    inline bool operator==(L x, R y) { return CMP(x, y) == 0; }                  \
    inline bool operator!=(L x, R y) { return CMP(x, y) != 0; }                  \
    inline bool operator<(L x, R y) { return CMP(x, y) < 0; }                    \
    inline bool operator<=(L x, R y) { return CMP(x, y) <= 0; }                  \
    inline bool operator>(L x, R y) { return CMP(x, y) > 0; }                    \
    inline bool operator>=(L x, R y) { return CMP(x, y) >= 0; }

inline int tvStrCmpSS(const String& x, const String& y) { return String::compare(x, y); }
inline int tvStrCmpSC(const String& x, const char* y) { return String::compareChars(x, y); }
inline int tvStrCmpCS(const char* x, const String& y) { return -String::compareChars(y, x); }
inline int tvStrCmpSU(const String& x, const SubString& y) { return String::compare(x, y); }
inline int tvStrCmpUS(const SubString& x, const String& y) { return String::compare(x, y); }
inline int tvStrCmpUU(const SubString& x, const SubString& y) { return String::compare(x, y); }
inline int tvStrCmpUC(const SubString& x, const char* y) { return String::compare(x, y); }
inline int tvStrCmpCU(const char* x, const SubString& y) { return -String::compare(y, x); }

inline bool operator==(const String& x, const String& y)
{
    return x.length() == y.length() && std::memcmp(x.chars(), y.chars(), size_t(x.length())) == 0;
}
inline bool operator!=(const String& x, const String& y) { return !(x == y); }
inline bool operator<(const String& x, const String& y) { return String::compare(x, y) < 0; }
inline bool operator<=(const String& x, const String& y) { return String::compare(x, y) <= 0; }
inline bool operator>(const String& x, const String& y) { return String::compare(x, y) > 0; }
inline bool operator>=(const String& x, const String& y) { return String::compare(x, y) >= 0; }
TV_STRING_RELOPS(const String&, const char*, tvStrCmpSC)
TV_STRING_RELOPS(const char*, const String&, tvStrCmpCS)
TV_STRING_RELOPS(const String&, const SubString&, tvStrCmpSU)
TV_STRING_RELOPS(const SubString&, const String&, tvStrCmpUS)
TV_STRING_RELOPS(const SubString&, const SubString&, tvStrCmpUU)
TV_STRING_RELOPS(const SubString&, const char*, tvStrCmpUC)
TV_STRING_RELOPS(const char*, const SubString&, tvStrCmpCU)
#undef TV_STRING_RELOPS

// Copies with a changed content.
String reverse(const String& x);
String upcase(const String& x);
String downcase(const String& x);
String capitalize(const String& x);
String replicate(char c, int n);
String replicate(const String& x, int n);

// Cuts src at each occurrence of the separator into at most n pieces (the
// last piece runs to the end when no further separator follows); returns
// the number of pieces. An empty source gives no piece.
int split(const String& src, String results[], int n, const String& separator);
int split(const String& src, String results[], int n, const boost::regex& separator);

// Skips white space, then reads up to the next white space or the end.
std::istream& operator>>(std::istream& s, String& x);
std::istream& readString(std::istream& s, String& x);
// Reads up to and including the terminator (stored unless discard); returns
// the number of characters stored.
int readline(std::istream& s, String& x, char terminator = '\n', int discard = 1);
std::ostream& operator<<(std::ostream& s, const String& x);
std::ostream& operator<<(std::ostream& s, const SubString& x);
std::ostream& writeSubString(std::ostream& s, const SubString& x);

namespace std {
template <>
struct hash<String> {
    size_t operator()(const String& s) const noexcept
    {
        // FNV-1a over the bytes; in-memory use only.
        uint64_t h = 1469598103934665603ull;
        for (int i = 0; i < s.length(); ++i) {
            h ^= static_cast<unsigned char>(s.elem(i));
            h *= 1099511628211ull;
        }
        return size_t(h);
    }
};
}  // namespace std
