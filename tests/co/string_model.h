// Models of the string algorithms over std::basic_string, and a seeded
// random source, for the random-operation tests of String and WString.
#pragma once
#include <algorithm>
#include <random>
#include <string>

namespace strmodel {

class Rnd {
public:
    explicit Rnd(unsigned seed) : m_gen(seed) {}
    int upTo(int n) { return int(m_gen() % unsigned(n + 1)); }  // 0..n
    int range(int lo, int hi) { return lo + upTo(hi - lo); }
    // Up to maxLen units drawn from the alphabet.
    template <class S>
    S text(const S& alphabet, int maxLen)
    {
        S s(size_t(upTo(maxLen)), ' ');
        for (auto& c : s) c = alphabet[size_t(upTo(int(alphabet.size()) - 1))];
        return s;
    }

private:
    std::mt19937 m_gen;
};

inline int sign(int v) { return (v > 0) - (v < 0); }

// Narrow characters compare as signed values, wide units as unsigned ones.
inline int value(char c) { return static_cast<signed char>(c); }
inline int value(char16_t c) { return c; }

// strcmp-like, with the terminating 0 of the shorter text.
template <class S>
int compare(const S& a, const S& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i <= n; ++i) {
        int ca = i < a.size() ? value(a[i]) : 0;
        int cb = i < b.size() ? value(b[i]) : 0;
        if (ca != cb) return ca - cb;
    }
    return 0;
}

// A negative start searches backwards: the match ends at or before index
// size + start.
template <class S>
int search(const S& s, const S& t, int start)
{
    if (t.empty() || s.empty()) return -1;
    if (start >= 0) {
        if (size_t(start) > s.size()) return -1;
        size_t p = s.find(t, size_t(start));
        return p == S::npos ? -1 : int(p);
    }
    int from = int(s.size()) + start - int(t.size()) + 1;
    if (from < 0) return -1;
    size_t p = s.rfind(t, size_t(from));
    return p == S::npos ? -1 : int(p);
}

template <class S>
int gsub(S& s, const S& pat, const S& repl)
{
    if (s.empty() || pat.empty() || pat.size() > s.size()) return 0;
    int n = 0;
    S out;
    size_t from = 0;
    for (size_t p = s.find(pat); p != S::npos; p = s.find(pat, from)) {
        out.append(s, from, p - from);
        out += repl;
        from = p + pat.size();
        ++n;
    }
    out.append(s, from, S::npos);
    s = out;
    return n;
}

// Number of (possibly overlapping) occurrences.
template <class S>
int freq(const S& s, const S& t)
{
    int n = 0;
    if (!t.empty())
        for (size_t i = 0; i + t.size() <= s.size(); ++i) n += s.compare(i, t.size(), t) == 0;
    return n;
}

}  // namespace strmodel
