// The algorithms String and WString share, written once over the unit type
// (char or char16_t). Only the two string implementations include this.
//
// What differs between the two comes in from outside:
//  - how a unit compares: unitValue() (narrow characters count as signed
//    8-bit values, wide units as unsigned 16-bit values);
//  - how representations are made: a policy with
//      Unit, Rep                      the unit and the representation type
//                                     (fields len, sz and s[] as StrRep)
//      Rep* empty()                   the shared empty representation
//      Rep* alloc(uint32_t length)    a block for at least `length` units
//      void release(Rep*)             gives a block back (not the empty one)
//      uint32_t checkedLength(uint64_t)  reports lengths out of range
//      void changing(Rep*)            called before the content of a
//                                     representation that is kept changes
//                                     (WString drops its narrow copy there)
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

namespace tvstr {

inline int unitValue(char c) { return static_cast<signed char>(c); }
inline int unitValue(char16_t c) { return int(c); }

template <class C>
bool unitsEqual(const C* a, const C* b, int n)
{
    return std::memcmp(a, b, size_t(n) * sizeof(C)) == 0;
}

// a-z to A-Z, nothing else.
template <class C>
C foldAsciiUpper(C c)
{
    return (c >= C('a') && c <= C('z')) ? C(c - 32) : c;
}

// Whether [pos, pos + len) lies within a text of n units.
inline bool fits(int pos, int len, uint32_t n)
{
    return pos >= 0 && len >= 0 && uint32_t(pos) <= n && uint32_t(len) <= n - uint32_t(pos);
}

// ---------------------------------------------------------------------------
// Comparison (three-way)

// Unit by unit over the shorter length, then the difference of the lengths.
template <class C>
int compareRanges(const C* a, int an, const C* b, int bn)
{
    int n = an < bn ? an : bn;
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return unitValue(a[i]) - unitValue(b[i]);
    return an - bn;
}

// Two terminated texts of known lengths: where the shorter one ends, its
// terminating 0 meets the next unit of the longer one; should that unit be
// 0 too (embedded 0 units), the shorter text is the smaller.
template <class C>
int compareTerminated(const C* a, uint32_t an, const C* b, uint32_t bn)
{
    uint32_t n = an < bn ? an : bn;
    for (uint32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return unitValue(a[i]) - unitValue(b[i]);
    if (an == bn) return 0;
    int d = an < bn ? -unitValue(b[n]) : unitValue(a[n]);
    if (d != 0) return d;
    return an < bn ? -1 : 1;
}

// A text of known length against a 0-terminated one (not null); a 0 unit
// within the first text meets the terminator of the second as greater.
template <class C>
int compareWithTerminated(const C* a, uint32_t an, const C* t)
{
    uint32_t i = 0;
    for (; i < an; ++i) {
        if (t[i] == 0) {
            int d = unitValue(a[i]);
            return d ? d : 1;
        }
        if (a[i] != t[i]) return unitValue(a[i]) - unitValue(t[i]);
    }
    return -unitValue(t[i]);
}

// As compareRanges with a-z folded to A-Z.
template <class C>
int compareFolded(const C* a, uint32_t an, const C* b, uint32_t bn)
{
    uint32_t n = an < bn ? an : bn;
    for (uint32_t i = 0; i < n; ++i) {
        C ca = foldAsciiUpper(a[i]);
        C cb = foldAsciiUpper(b[i]);
        if (ca != cb) return unitValue(ca) - unitValue(cb);
    }
    return int(an) - int(bn);
}

// ---------------------------------------------------------------------------
// Searching. Ranges are s[0, length) with length clamped to the text's sl
// units; a negative start searches backwards (-1: from the last unit).

// First occurrence of t in s[start, sl), or -1.
template <class C>
int forwardSearch(const C* s, int sl, int start, const C* t, int tl)
{
    if (tl < 1 || sl < 1 || start < 0 || start > sl - tl) return -1;
    const C* end = s + (sl - tl) + 1;  // one past the last possible start
    for (const C* p = s + start; p < end; ++p) {
        p = std::char_traits<C>::find(p, size_t(end - p), t[0]);
        if (!p) return -1;
        if (unitsEqual(p + 1, t + 1, tl - 1)) return int(p - s);
    }
    return -1;
}

// Last occurrence of t whose last unit is at or before index `last`.
template <class C>
int backwardSearch(const C* s, int sl, int last, const C* t, int tl)
{
    if (tl < 1 || sl < 1) return -1;
    if (last >= sl) last = sl - 1;
    for (int p = last - tl + 1; p >= 0; --p)
        if (s[p] == t[0] && unitsEqual(s + p, t, tl)) return p;
    return -1;
}

template <class C>
int search(const C* s, int sl, int start, int length, const C* t, int tl)
{
    if (length > sl) length = sl;
    if (start >= 0) return forwardSearch(s, length, start, t, tl);
    return backwardSearch(s, length, length + start, t, tl);
}

template <class C>
int searchUnit(const C* s, int sl, int start, int length, C c)
{
    if (length > sl) length = sl;
    if (length < 1) return -1;
    if (start >= 0) {
        if (start >= length) return -1;
        const C* p = std::char_traits<C>::find(s + start, size_t(length - start), c);
        return p ? int(p - s) : -1;
    }
    for (int i = length + start; i >= 0; --i)
        if (s[i] == c) return i;
    return -1;
}

// Whether t stands at start (start < 0: t ends at index length + start);
// with exact it must also reach the end (or begin at 0 when start < 0).
// Returns the length of t, or -1.
template <class C>
int match(const C* s, int sl, int start, int length, int exact, const C* t, int tl)
{
    if (length > sl) length = sl;
    if (length < 0) return -1;
    int begin;
    if (start >= 0) {
        if (start > length || tl > length - start) return -1;
        if (exact && start + tl != length) return -1;
        begin = start;
    } else {
        int end = length + start + 1;  // one past the last unit of the match
        if (end < 0 || end > length || tl > end) return -1;
        begin = end - tl;
        if (exact && begin != 0) return -1;
    }
    return unitsEqual(s + begin, t, tl) ? tl : -1;
}

// Number of (possibly overlapping) occurrences.
template <class C>
int countOccurrences(const C* s, int sl, const C* t, int tl)
{
    if (tl < 1) return 0;
    int n = 0;
    for (int i = 0; i + tl <= sl; ++i)
        if (unitsEqual(s + i, t, tl)) ++n;
    return n;
}

// Trimming: units of the 0-terminated set (its terminator is no member).
template <class C>
uint32_t leadingInSet(const C* s, uint32_t n, const C* set)
{
    size_t setLen = std::char_traits<C>::length(set);
    uint32_t i = 0;
    while (i < n && s[i] != 0 && std::char_traits<C>::find(set, setLen, s[i])) ++i;
    return i;
}

// The length that remains when the trailing units of the set are cut off.
template <class C>
uint32_t lengthWithoutTrailing(const C* s, uint32_t n, const C* set)
{
    size_t setLen = std::char_traits<C>::length(set);
    while (n > 0 && s[n - 1] != 0 && std::char_traits<C>::find(set, setLen, s[n - 1])) --n;
    return n;
}

// ---------------------------------------------------------------------------
// Views: the parts of a text around a match at p of n units.

enum class Part { At, Before, Through, From, After };

struct Range {
    int pos;
    int len;
};

// The range of the part in a text of `length` units; without a match
// (p < 0) a range that fits no text.
inline Range partAround(Part part, int p, int n, int length)
{
    if (p < 0) return {-1, 0};
    switch (part) {
    case Part::At: return {p, n};
    case Part::Before: return {0, p};
    case Part::Through: return {0, p + n};
    case Part::From: return {p, length - p};
    case Part::After: break;
    }
    return {p + n, length - (p + n)};
}

// ---------------------------------------------------------------------------
// Representation functions. Each treats the empty representation as none
// and returns the (possibly new) representation for the target. Lengths
// are given (never negative); pointers may point into the target.

template <class Policy>
struct RepOps {
    using Unit = typename Policy::Unit;
    using Rep = typename Policy::Rep;

    static void copyUnits(Unit* to, const Unit* from, size_t n) { std::memcpy(to, from, n * sizeof(Unit)); }
    static void moveUnits(Unit* to, const Unit* from, size_t n) { std::memmove(to, from, n * sizeof(Unit)); }

    static Rep* setLength(Rep* rep, uint32_t n)
    {
        rep->len = n;
        rep->s[n] = 0;
        return rep;
    }

    // Whether p points into the block of rep.
    static bool inside(const Unit* p, const Rep* rep)
    {
        auto a = reinterpret_cast<uintptr_t>(p);
        auto b = reinterpret_cast<uintptr_t>(rep->s);
        return a >= b && a <= b + size_t(rep->sz) * sizeof(Unit);
    }

    // Content := units[0, length); the length becomes max(length,
    // minLength), units beyond `length` are left as they are.
    static Rep* assign(Rep* rep, const Unit* units, int length, int minLength)
    {
        uint32_t newLen = uint32_t(length > minLength ? length : minLength);
        if (newLen == 0 && rep == Policy::empty()) return rep;
        if (rep == Policy::empty() || rep->sz < newLen) {
            Rep* fresh = Policy::alloc(newLen);
            if (length) copyUnits(fresh->s, units, size_t(length));
            Policy::release(rep);
            rep = fresh;
        } else {
            Policy::changing(rep);
            if (length && units != rep->s) moveUnits(rep->s, units, size_t(length));
        }
        return setLength(rep, newLen);
    }

    static Rep* assignRep(Rep* rep, const Rep* source)
    {
        if (!source || source->len == 0) {
            if (rep != Policy::empty()) {
                Policy::changing(rep);
                setLength(rep, 0);
            }
            return rep;
        }
        if (rep == source) return rep;
        return assign(rep, source->s, int(source->len), 0);
    }

    // Sets the length, keeping the content, growing when needed.
    static Rep* resize(Rep* rep, uint32_t newLength)
    {
        if (rep == Policy::empty() && newLength == 0) return rep;
        if (rep == Policy::empty() || rep->sz < newLength) {
            Rep* fresh = Policy::alloc(newLength);
            uint32_t keep = rep->len < newLength ? rep->len : newLength;
            copyUnits(fresh->s, rep->s, keep);
            Policy::release(rep);
            rep = fresh;
        } else {
            Policy::changing(rep);
        }
        return setLength(rep, newLength);
    }

    // Content := a b c. `a` may be the target's own text (it stays in place
    // or moves to the front); b and c may lie anywhere, also in the target.
    static Rep* cat(Rep* rep, const Unit* a, int aLength, const Unit* b, int bLength, const Unit* c,
                    int cLength)
    {
        uint32_t newLen = Policy::checkedLength(uint64_t(aLength) + uint64_t(bLength) + uint64_t(cLength));
        if (newLen == 0 && rep == Policy::empty()) return rep;
        if (rep != Policy::empty() && newLen <= rep->sz && !(bLength && inside(b, rep)) &&
            !(cLength && inside(c, rep))) {
            Policy::changing(rep);
            if (aLength && a != rep->s) moveUnits(rep->s, a, size_t(aLength));
            if (bLength) copyUnits(rep->s + aLength, b, size_t(bLength));
            if (cLength) copyUnits(rep->s + aLength + bLength, c, size_t(cLength));
        } else {
            Rep* fresh = Policy::alloc(newLen);
            if (aLength) copyUnits(fresh->s, a, size_t(aLength));
            if (bLength) copyUnits(fresh->s + aLength, b, size_t(bLength));
            if (cLength) copyUnits(fresh->s + aLength + bLength, c, size_t(cLength));
            Policy::release(rep);
            rep = fresh;
        }
        return setLength(rep, newLen);
    }

    static Rep* prepend(Rep* rep, const Unit* units, int length)
    {
        if (length == 0) return rep;
        uint32_t oldLen = rep->len;
        uint32_t newLen = Policy::checkedLength(uint64_t(oldLen) + uint64_t(length));
        if (rep != Policy::empty() && newLen <= rep->sz && !inside(units, rep)) {
            Policy::changing(rep);
            moveUnits(rep->s + length, rep->s, oldLen);
            copyUnits(rep->s, units, size_t(length));
        } else {
            Rep* fresh = Policy::alloc(newLen);
            copyUnits(fresh->s, units, size_t(length));
            copyUnits(fresh->s + length, rep->s, oldLen);
            Policy::release(rep);
            rep = fresh;
        }
        return setLength(rep, newLen);
    }

    // Grows the capacity to at least n units, keeping the content.
    static Rep* reserve(Rep* rep, int n)
    {
        if (n <= 0 || uint32_t(n) <= rep->sz) return rep;
        Rep* fresh = Policy::alloc(Policy::checkedLength(uint64_t(n)));
        copyUnits(fresh->s, rep->s, rep->len + 1);
        fresh->len = rep->len;
        Policy::release(rep);
        return fresh;
    }

    // Removes [pos, pos + len) when it lies within the text; else nothing.
    static void erase(Rep* rep, int pos, int len)
    {
        if (len <= 0 || !fits(pos, len, rep->len)) return;
        Policy::changing(rep);
        moveUnits(rep->s + pos, rep->s + pos + len, rep->len - uint32_t(pos + len) + 1);
        rep->len -= uint32_t(len);
    }

    // Replaces [pos, pos + len) by units[0, m), which may lie in the text. A
    // range that no longer lies within the text (the text changed under a
    // view) changes nothing.
    static Rep* replace(Rep* rep, uint32_t pos, uint32_t len, const Unit* units, uint32_t m)
    {
        uint32_t oldLen = rep->len;
        if (pos > oldLen || len > oldLen - pos) return rep;
        uint32_t newLen = Policy::checkedLength(uint64_t(oldLen) - len + m);
        uint32_t tail = oldLen - (pos + len);
        if (rep != Policy::empty() && newLen <= rep->sz && !(m && inside(units, rep))) {
            Policy::changing(rep);
            Unit* s = rep->s;
            if (m != len) moveUnits(s + pos + m, s + pos + len, tail + 1);  // with the terminator
            if (m) copyUnits(s + pos, units, m);
        } else {
            Rep* fresh = Policy::alloc(newLen);
            copyUnits(fresh->s, rep->s, pos);
            if (m) copyUnits(fresh->s + pos, units, m);
            copyUnits(fresh->s + pos + m, rep->s + pos + len, tail);
            Policy::release(rep);
            rep = fresh;
        }
        return setLength(rep, newLen);
    }

    // Replaces every non-overlapping occurrence of pat, left to right; the
    // number of replacements goes to hits. Pattern and replacement may lie
    // in the text: the result is built in a separate block of the exact
    // length (counted first) and copied back when it fits.
    static Rep* replaceAll(Rep* rep, const Unit* pat, int patLength, const Unit* repl, int replLength,
                           int& hits)
    {
        hits = 0;
        int sl = int(rep->len);
        if (sl == 0 || patLength == 0 || patLength > sl) return rep;
        const Unit* s = rep->s;
        for (int p = forwardSearch(s, sl, 0, pat, patLength); p >= 0;
             p = forwardSearch(s, sl, p + patLength, pat, patLength))
            ++hits;
        if (hits == 0) return rep;
        uint32_t newLen = Policy::checkedLength(uint64_t(sl) + uint64_t(hits) * uint64_t(replLength) -
                                                uint64_t(hits) * uint64_t(patLength));
        Rep* work = Policy::alloc(newLen);
        Unit* out = work->s;
        int from = 0;
        for (int p = forwardSearch(s, sl, 0, pat, patLength); p >= 0;
             p = forwardSearch(s, sl, from, pat, patLength)) {
            copyUnits(out, s + from, size_t(p - from));
            out += p - from;
            if (replLength) copyUnits(out, repl, size_t(replLength));
            out += replLength;
            from = p + patLength;
        }
        copyUnits(out, s + from, size_t(sl - from));
        setLength(work, newLen);
        if (newLen <= rep->sz && rep != Policy::empty()) {
            Policy::changing(rep);
            copyUnits(rep->s, work->s, newLen + 1);
            rep->len = newLen;
            Policy::release(work);
            return rep;
        }
        Policy::release(rep);
        return work;
    }
};

// ---------------------------------------------------------------------------
// Free functions over the string classes.

// The pieces one after the other, in a string of exactly the needed capacity.
template <class Str, class Policy, class... Pieces>
Str joined(const Pieces&... pieces)
{
    Str r;
    r.alloc(int(Policy::checkedLength((uint64_t(pieces.size()) + ...))));
    (r.cat(pieces.data(), pieces.size()), ...);
    return r;
}

template <class Str>
Str changedCopy(const Str& x, void (Str::*change)())
{
    Str r(x);
    (r.*change)();
    return r;
}

template <class Str, class C>
Str replicateUnit(C c, int n)
{
    Str r;
    if (n <= 0) return r;
    r.alloc(n);
    for (int i = 0; i < n; ++i) r += c;
    return r;
}

template <class Str, class Policy>
Str replicateText(const Str& x, int n)
{
    Str r;
    if (n <= 0 || x.empty()) return r;
    r.alloc(int(Policy::checkedLength(uint64_t(x.length()) * uint64_t(n))));
    for (int i = 0; i < n; ++i) r += x;
    return r;
}

// Cuts src at each occurrence of the separator into at most n pieces.
template <class Str>
int splitAt(const Str& src, Str results[], int n, const Str& separatorIn)
{
    if (n <= 0 || src.empty()) return 0;
    Str text(src);  // results may alias the source
    Str separator(separatorIn);  // ... or the separator
    const auto* s = text.rep()->s;
    int sl = text.length();
    int count = 0;
    int pos = 0;
    while (count < n) {
        int p = separator.empty() ? -1 : text.search(separator, pos);
        if (p < 0) {
            results[count++] = Str(s + pos, sl - pos);
            break;
        }
        results[count++] = Str(s + pos, p - pos);
        pos = p + separator.length();
    }
    return count;
}

}  // namespace tvstr
