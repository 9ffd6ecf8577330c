// A run of stray bytes in a scanner: bytes that begin no token, taken by
// matches of the scanner's rules with nothing between them but blanks and
// line ends. The section split and the section scanners keep one each, in
// the scanner object.
//
// The first kEach bytes of a run are reported one by one, as a few
// misplaced characters always were; the rest of a longer run (a binary
// file, megabytes of one byte, a stray byte on every line) is held and
// reported as one message that counts as many errors as it holds stray
// bytes (blanks are no errors), so the error counts stay those of one
// message per byte. The scanner takes the held bytes, and the blanks among
// them, straight from its buffer (holdAhead) instead of matching them one
// by one: a match and a message per byte cost a hundred times reading the
// byte. The section split takes the first kEach so too (takeAhead), each
// still reported: garbage, where a token stands every few bytes, makes
// short runs by the million.
//
// A scanner counts its matches (YY_USER_ACTION), hands each stray match to
// take and each match of blanks or line ends to gap, and has the held rest
// reported by flush before it hands on a token or reports anything else, so
// that messages keep their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MdStrayRun {
public:
    static constexpr std::size_t kEach = 100;

    // The stray bytes text[0, len) taken by the scanner's match number
    // `match` on `line`. A match right after the one that took the run's
    // last bytes (or the last blanks after them, gap) goes on with the run;
    // any other begins a new one, and the held rest of the old one is
    // reported first (flush). each(byte) is called for every byte among the
    // run's first kEach, in order; the others are held. True when the run
    // is past its first kEach bytes: the stray bytes ahead in the buffer are
    // then to be held at once (holdAhead).
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

    // A match of blanks or line ends, number `match`: right after the run
    // it does not end it.
    void gap(uint32_t match)
    {
        if (m_match + 1 == match) m_match = match;
    }

    // Holds the stray bytes from `from` on, as far as strayAt(p, end) says
    // that the byte at p begins no token (no byte that may begin one, and
    // none that the bytes before end cannot yet tell), and those after
    // blanks and line ends: blanks(p, end, lines) is where the blanks from p
    // end (p for none), with the line feeds among them added to lines, as
    // the scanner's rules would count them; line is the scanner's line and
    // goes on with them. Where the scanner goes on.
    template <class StrayAt, class Blanks>
    char* holdAhead(char* from, const char* end, int& line, StrayAt strayAt, Blanks blanks)
    {
        // The counts are kept here and stored once: a store per stray byte
        // (one on each line) would cost more than the rest of the loop.
        char* p = from;
        int lines = 0;
        std::size_t held = 0;
        for (;;) {
            char* const stray = p;
            while (p < end && strayAt(p, end)) ++p;
            if (p > stray) {
                if (m_held + held == 0) m_line = line + lines;
                if (m_head.size() < kHeadBytes) keepHead(stray, std::size_t(p - stray));
                held += std::size_t(p - stray);
            }
            char* const after = p < end ? blanks(p, end, lines) : p;
            if (after == p) break;
            p = after;
        }
        m_held += held;
        line += lines;
        return p;
    }
    // As holdAhead, but the bytes ahead that are still among the run's
    // first kEach are each(byte) one by one, in order, with line (the
    // scanner's, which each reads) standing on the byte's line; the rest
    // are held. A scanner that meets stray bytes far more often than
    // tokens (a file of garbage: a token every few bytes, runs never
    // longer than a hundred) then pays a match per token, not per byte.
    template <class StrayAt, class Blanks, class Each>
    char* takeAhead(char* from, const char* end, int& line, StrayAt strayAt, Blanks blanks, Each each)
    {
        char* p = from;
        while (m_each < kEach) {
            while (p < end && strayAt(p, end)) {
                each(p);
                ++p;
                if (++m_each == kEach) return holdAhead(p, end, line, strayAt, blanks);
            }
            char* const after = p < end ? blanks(p, end, line) : p;
            if (after == p) return p;
            p = after;
        }
        return holdAhead(p, end, line, strayAt, blanks);
    }

    // The same for stray bytes that no blanks continue (in a text, where
    // blanks are the text's).
    template <class StrayAt>
    char* holdAhead(char* from, const char* end, int line, StrayAt strayAt)
    {
        return holdAhead(from, end, line, strayAt, [](char* p, const char*, int&) { return p; });
    }

    // Reports the held bytes, if any, as one message: run(arg, line,
    // count) with the quoted head of the held bytes, the blanks among them
    // left out (mdTokenArg: whole when short, else cut, with the count of
    // bytes; a NUL byte named \0), the line of the first of them
    // (where the quoted bytes begin; the bytes before it were reported on
    // their own lines) and their count.
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

    void hold(const char* text, std::size_t len, int32_t line)
    {
        if (m_held == 0) m_line = line;
        if (m_head.size() < kHeadBytes) keepHead(text, len);
        m_held += len;
    }

private:
    // The bytes of the head: as many as a message argument quotes whole
    // (kMdTokenWhole).
    static constexpr std::size_t kHeadBytes = 1024;

    void keepHead(const char* text, std::size_t len);
    std::string heldArg() const;

    uint32_t m_match = 0;    // the match that took the run's last bytes
    std::size_t m_each = 0;  // bytes of the run reported one by one
    std::size_t m_held = 0;  // bytes held beyond them
    int32_t m_line = 0;      // the line of the first held byte
    std::string m_head;      // the first held bytes, as many as the argument quotes
};
