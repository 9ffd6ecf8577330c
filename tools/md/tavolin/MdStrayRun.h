// A run of stray bytes in a scanner: bytes that begin no token, taken by
// consecutive matches of the scanner's rules. The section split and the
// section scanners keep one each, in the scanner object.
//
// The first kEach bytes of a run are reported one by one, as a few
// misplaced characters always were; the rest of a longer run (a binary
// file, megabytes of one byte) is held and reported as one message that
// counts as many errors as it holds bytes, so the error counts stay those of
// one message per byte. The scanner takes the held bytes straight from its
// buffer (holdAhead) instead of matching them one by one: a match and a
// message per byte cost a hundred times reading the byte.
//
// A scanner counts its matches (YY_USER_ACTION), hands each stray match to
// take, and has the held rest reported by flush before it hands on a token
// or reports anything else, so that messages keep their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MdStrayRun {
public:
    static constexpr std::size_t kEach = 100;

    // The stray bytes text[0, len) taken by the scanner's match number
    // `match` on `line`. A match right after the one that took the run's
    // last bytes goes on with the run; any other begins a new one, and the
    // held rest of the old one is reported first (flush). each(byte) is
    // called for every byte among the run's first kEach, in order; the
    // others are held. True when the run is past its first kEach bytes: the
    // stray bytes ahead in the buffer are then to be held at once
    // (holdAhead).
    template <class Each, class Run>
    bool take(const char* text, std::size_t len, uint32_t match, int32_t line, Each each, Run run)
    {
        if (m_match + 1 != match) {
            flush(run);
            m_each = 0;
        }
        m_match = match;
        for (; len > 0 && m_each < kEach; --len, ++text, ++m_each) each(text);
        if (len > 0) hold(text, len, line);
        return m_each >= kEach;
    }

    // Holds the stray bytes from `from` on, as far as strayAt(p, end) says
    // that the byte at p begins no token (no byte that may begin one, and
    // none that the bytes before end cannot yet tell): where the scanner
    // goes on.
    template <class StrayAt>
    const char* holdAhead(const char* from, const char* end, int32_t line, StrayAt strayAt)
    {
        const char* p = from;
        while (p < end && strayAt(p, end)) ++p;
        if (p > from) hold(from, std::size_t(p - from), line);
        return p;
    }

    // Reports the held bytes, if any, as one message: run(arg, line,
    // count) with the quoted head of the held bytes (mdTokenArg: whole when
    // short, else cut, with the count of bytes; a NUL byte shown as a
    // blank), the line of the first of them and their count.
    template <class Run>
    void flush(Run run)
    {
        if (m_held == 0) return;
        const std::string arg = heldArg();
        const uint32_t count = uint32_t(m_held);
        const int32_t line = m_line;
        m_held = 0;
        m_head.clear();
        run(arg, line, count);
    }

    // Forgets the run unreported (a new input).
    void reset() { *this = MdStrayRun(); }

    void hold(const char* text, std::size_t len, int32_t line);

private:
    std::string heldArg() const;

    uint32_t m_match = 0;    // the match that took the run's last bytes
    std::size_t m_each = 0;  // bytes of the run reported one by one
    std::size_t m_held = 0;  // bytes held beyond them
    int32_t m_line = 0;      // the line of the first held byte
    std::string m_head;      // the first held bytes, as many as the argument quotes
};
