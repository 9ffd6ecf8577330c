// Stream adaptors of the constant values (inner header of the constant
// sources): the four field-list adaptors of StSerial.h with what constants
// add to them.
//   - blank(): a bare separator (section stream: text mode only);
//   - real(float&) / real(double&): floats; the standard stream prints 9
//     and 17 significant digits (every bit survives) in the C locale, and
//     the readers refuse a value that is not finite in its own width;
//   - fail(): marks the stream failed (section error 18, failbit);
//   - stream(): the underlying stream, for nested bodies.
// StConstDepth guards the nesting depth of the readers.
#pragma once
#include <charconv>
#include <cmath>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>
#include <string>
#include <type_traits>

#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSerial.h"

class StConstSecWriter : public StSecWriter {
public:
    using StSecWriter::StSecWriter;
    using StSecWriter::num;
    template <typename F>
    void real(const F& v)
    {
        num(v);
    }
    void fail() { stream().setError(FSSEC_INTERNAL); }
};

class StConstSecReader : public StSecReader {
public:
    using StSecReader::StSecReader;
    using StSecReader::num;
    void blank() {}
    template <typename F>
    void real(F& v)
    {
        F t = 0;
        num(t);
        if (!good()) return;
        if (!std::isfinite(t)) {
            stream().setError(FSSEC_DOUBLE);
            return;
        }
        v = t;
    }
    void fail() { stream().setError(FSSEC_INTERNAL); }
};

class StConstOsWriter : public StOsWriter {
public:
    using StOsWriter::StOsWriter;
    using StOsWriter::num;
    void num(uint16_t v) { stream() << unsigned(v) << ' '; }
    void blank() { stream() << ' '; }
    void real(float v) { put(double(v), 9); }
    void real(double v) { put(v, 17); }
    void fail() { stream().setstate(std::ios::failbit); }

private:
    void put(double v, int digits)
    {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::general, digits);
        stream().write(buf, r.ptr - buf);
        stream() << ' ';
    }
};

class StConstIsReader : public StIsReader {
public:
    using StIsReader::StIsReader;
    using StIsReader::num;
    void num(uint16_t& v)
    {
        uint32_t t = 0;
        num(t);
        if (!good()) return;
        if (t > 0xFFFF) {
            fail();
            return;
        }
        v = uint16_t(t);
    }
    void blank() {}
    template <typename F>
    void real(F& v)
    {
        std::string tok;
        if (!good() || !(stream() >> tok)) return;
        double d = 0;
        const char* b = tok.data();
        const char* e = b + tok.size();
        if (*b == '+') ++b;
        auto r = std::from_chars(b, e, d);
        if (r.ec != std::errc() || r.ptr != e || !std::isfinite(d) || !(std::fabs(d) < roundsToInfinity<F>())) {
            fail();
            return;
        }
        v = F(d);
    }
    void fail() { stream().setstate(std::ios::failbit); }

private:
    // The smallest magnitude that becomes infinite as an F. The writer
    // prints 9 digits of a float, so the text of FLT_MAX lies above FLT_MAX
    // and must still read back; only what rounds to infinity is refused.
    template <typename F>
    static constexpr double roundsToInfinity()
    {
        if constexpr (std::is_same_v<F, float>)
            return 0x1.ffffffp+127;  // FLT_MAX plus half of its last step
        else
            return std::numeric_limits<double>::infinity();
    }
};

// Counts the nesting of composite readers; deeper than ST_CONST_MAX_DEPTH
// `tooDeep` is true and the reader fails its stream.
class StConstDepth {
public:
    StConstDepth() { ++s_depth; }
    ~StConstDepth() { --s_depth; }
    StConstDepth(const StConstDepth&) = delete;
    StConstDepth& operator=(const StConstDepth&) = delete;
    bool tooDeep() const { return s_depth > ST_CONST_MAX_DEPTH; }

private:
    static inline int s_depth = 0;
};

// The four body slots and the two value-only slots of a class over its
// field lists ioBody / ioValue.
#define ST_CONST_BODIES(Class)                                                  \
    bool Class::write(FsSecCl& s) const                                         \
    {                                                                           \
        StConstSecWriter a(s);                                                  \
        const_cast<Class*>(this)->ioBody(a);                                    \
        return a.good();                                                        \
    }                                                                           \
    bool Class::write(std::ostream& os) const                                   \
    {                                                                           \
        StConstOsWriter a(os);                                                  \
        const_cast<Class*>(this)->ioBody(a);                                    \
        return a.good();                                                        \
    }                                                                           \
    bool Class::read(FsSecCl& s)                                                \
    {                                                                           \
        StConstSecReader a(s);                                                  \
        ioBody(a);                                                              \
        return a.good();                                                        \
    }                                                                           \
    bool Class::read(std::istream& is)                                          \
    {                                                                           \
        StConstIsReader a(is);                                                  \
        ioBody(a);                                                              \
        return a.good();                                                        \
    }                                                                           \
    bool Class::writeValue(FsSecCl& s) const                                    \
    {                                                                           \
        StConstSecWriter a(s);                                                  \
        const_cast<Class*>(this)->ioValue(a);                                   \
        return a.good();                                                        \
    }                                                                           \
    bool Class::readValue(FsSecCl& s)                                           \
    {                                                                           \
        StConstSecReader a(s);                                                  \
        ioValue(a);                                                             \
        return a.good();                                                        \
    }

// The shared flag at the head of every body and the storage address at its
// end.
template <class A>
void stConstShared(A& a, bool& shared)
{
    a.num(shared);
}
template <class A>
void stConstPlace(A& a, StSyStoragePlace& p)
{
    int32_t adr = p.getStorageAddress();
    a.num(adr);
    if constexpr (A::kReading) {
        if (a.good()) p.setStorageAddress(adr);
    }
}
