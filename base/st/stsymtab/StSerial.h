// The four serialisers of the symbol-table parts through one field list.
//
// Every persistent class of the symbol table writes and reads itself to and
// from a section stream and a standard text stream. Each class lists its
// fields once, in a template `io(A& a, ...)`, and these four adaptors turn
// that list into the writer or the reader of each stream:
//   - StSecWriter / StSecReader: the section stream; in text mode every
//     value is followed by a blank (putBlank writes nothing in binary mode);
//   - StOsWriter / StIsReader: a standard text stream; values are decimal
//     numbers followed by one blank (u8 and bool as numbers), a line end is
//     std::endl.
// Readers never assign a value they could not read; once the stream fails
// every further read does nothing, so a reader stops at the first failure
// and keeps what it read. `good()` tells whether the stream is still usable.
// `part(p, mode)` hands a nested object to its own serialiser of the same
// stream (writeToSection, writeToStream, readFromSection, readFromStream).
//
// A class with a field list gets its four public serialisers from
// ST_SERIALISERS(Class) in its source file.
#pragma once
#include <cstdint>
#include <cstring>
#include <istream>
#include <type_traits>
#include <ostream>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StIds.h"
#include "co/GuidHelpers.h"
#include "co/tvstring.h"

// The section writer gathers the text of a run of fields in a small buffer
// of its own and hands it to the stream in one write, instead of one write
// per number and per blank: a symbol table writes millions of fields. The
// bytes are those of the stream's own operators (decimal text in text mode,
// little-endian bytes in binary mode); what the buffer does not format
// (floats, GUIDs, numbers in another base) goes to the stream after what is
// gathered. stream() and good() hand over the gathered bytes first, so a
// nested writer on the same stream, a direct write or an error check always
// sees every field written before it.
class StSecWriter {
public:
    static constexpr bool kReading = false;
    explicit StSecWriter(FsSecCl& s) : m_s(s) {}
    StSecWriter(const StSecWriter&) = delete;
    StSecWriter& operator=(const StSecWriter&) = delete;
    ~StSecWriter() { flush(); }
    template <typename T>
    void num(const T& v)
    {
        put(v);
        blank();
    }
    template <typename T, typename Tag>
    void num(const VRX_ID<T, Tag>& v)
    {
        num(v.get());
    }
    // A value followed by a line end instead of a blank.
    template <typename T>
    void numLine(const T& v)
    {
        put(T(v));
        lineEnd();
    }
    template <typename T, typename Tag>
    void numLine(const VRX_ID<T, Tag>& v)
    {
        put(v.get());
        lineEnd();
    }
    void lineEnd()
    {
        if (m_s.isBinary()) return;
        reserve(2);
        m_buf[m_used++] = '\r';
        m_buf[m_used++] = '\n';
    }
    void blank()
    {
        if (m_s.isBinary()) return;
        reserve(1);
        m_buf[m_used++] = ' ';
    }
    // The GUID operator writes its own blank.
    void guid(const GUID& g) { stream() << g; }
    // Length, blank, characters, then a blank.
    void text(const String& t)
    {
        const uint32_t len = uint32_t(t.length());
        if (len <= kRoom / 2) {
            putLength(len);
            reserve(len);
            std::memcpy(m_buf + m_used, t.chars(), len);
            m_used += len;
        } else {
            stream() << t;
        }
        blank();
    }
    template <class Part>
    void part(const Part& p, uint32_t mode)
    {
        p.writeToSection(stream(), mode);
    }
    bool good()
    {
        flush();
        return !m_s.hasError();
    }
    FsSecCl& stream()
    {
        flush();
        return m_s;
    }

private:
    static constexpr uint32_t kSize = 256;
    // The most one field adds to the buffer (a string's length and blank
    // beside it; longer strings go to the stream).
    static constexpr uint32_t kRoom = kSize - 16;

    void flush()
    {
        if (m_used) m_s.writeBytes(m_buf, m_used);
        m_used = 0;
    }
    void reserve(uint32_t n)
    {
        if (kSize - m_used < n) flush();
    }
    template <typename T>
    void put(const T& v)
    {
        if constexpr (std::is_same_v<T, bool>) {
            reserve(1);
            m_buf[m_used++] = m_s.isBinary() ? char(v ? 1 : 0) : (v ? '1' : '0');
        } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, uint32_t> ||
                             std::is_same_v<T, int16_t> || std::is_same_v<T, uint16_t> ||
                             std::is_same_v<T, uint8_t>) {
            if (m_s.isBinary()) {
                reserve(sizeof(T));
                std::memcpy(m_buf + m_used, &v, sizeof(T));
                m_used += sizeof(T);
            } else if (m_s.getBase() == 10) {
                reserve(11);
                m_used += decimal(v);
            } else {
                stream() << v;
            }
        } else {
            stream() << v;
        }
    }
    // The length of a string: decimal in text mode (whatever the base) and
    // a blank, 4 bytes in binary mode.
    void putLength(uint32_t len)
    {
        reserve(12);
        if (m_s.isBinary()) {
            std::memcpy(m_buf + m_used, &len, 4);
            m_used += 4;
            return;
        }
        m_used += decimal(len);
        m_buf[m_used++] = ' ';
    }

    // Digits of v at the end of the buffer (room for 11 reserved).
    template <typename T>
    uint32_t decimal(T v)
    {
        char* out = m_buf + m_used;
        uint32_t u = uint32_t(v);
        uint32_t sign = 0;
        if constexpr (std::is_signed_v<T>) {
            if (v < 0) {
                *out++ = '-';
                u = 0u - u;
                sign = 1;
            }
        }
        return sign + uint32_t(fsFormatUnsigned(u, 10, out));
    }

    FsSecCl& m_s;
    uint32_t m_used = 0;
    char m_buf[kSize];
};

// What both readers share: an id is read as its number, a value before a
// line end like any other, and the separators the writers put are skipped
// with the values.
template <class Reader>
class StReaderBase {
public:
    static constexpr bool kReading = true;
    template <typename T, typename Tag>
    void num(VRX_ID<T, Tag>& v)
    {
        self().num(v.ref());
    }
    template <typename T>
    void numLine(T& v)
    {
        self().num(v);
    }
    void lineEnd() {}
    void blank() {}

private:
    Reader& self() { return static_cast<Reader&>(*this); }
};

class StSecReader : public StReaderBase<StSecReader> {
public:
    using StReaderBase::num;
    explicit StSecReader(FsSecCl& s) : m_s(s) {}
    template <typename T>
    void num(T& v)
    {
        T t = v;
        m_s >> t;
        if (!m_s.hasError()) v = t;
    }
    void guid(GUID& g)
    {
        GUID t = g;
        m_s >> t;
        if (!m_s.hasError()) g = t;
    }
    void text(String& t) { m_s >> t; }
    template <class Part>
    void part(Part& p, uint32_t mode)
    {
        p.readFromSection(m_s, mode);
    }
    bool good() const { return !m_s.hasError(); }
    FsSecCl& stream() { return m_s; }

private:
    FsSecCl& m_s;
};

class StOsWriter {
public:
    static constexpr bool kReading = false;
    explicit StOsWriter(std::ostream& os) : m_os(os) {}
    void num(uint32_t v) { m_os << v << ' '; }
    void num(int32_t v) { m_os << v << ' '; }
    void num(uint8_t v) { m_os << unsigned(v) << ' '; }
    void num(bool v) { m_os << (v ? 1 : 0) << ' '; }
    template <typename T, typename Tag>
    void num(const VRX_ID<T, Tag>& v)
    {
        num(uint32_t(v.get()));
    }
    template <typename T>
    void numLine(const T& v)
    {
        m_os << v << std::endl;
    }
    void lineEnd() { m_os << std::endl; }
    void blank() { m_os << ' '; }
    void guid(const GUID& g)
    {
        writeGuidText(m_os, g);
        m_os << ' ';
    }
    // The bare characters and a blank.
    void text(const String& t) { m_os << t << ' '; }
    template <class Part>
    void part(const Part& p, uint32_t mode)
    {
        p.writeToStream(m_os, mode);
    }
    bool good() const { return !m_os.fail(); }
    std::ostream& stream() { return m_os; }

private:
    std::ostream& m_os;
};

class StIsReader : public StReaderBase<StIsReader> {
public:
    using StReaderBase::num;
    explicit StIsReader(std::istream& is) : m_is(is) {}
    void num(uint32_t& v) { get(v); }
    void num(int32_t& v) { get(v); }
    void num(uint8_t& v) { getNarrow(v, 0xFF); }
    void num(bool& v)
    {
        uint8_t b = 0;
        getNarrow(b, 1);
        if (good()) v = b != 0;
    }
    void guid(GUID& g)
    {
        if (good()) readGuidText(m_is, g);
    }
    // One blank-delimited word.
    void text(String& t)
    {
        if (good()) m_is >> t;
    }
    template <class Part>
    void part(Part& p, uint32_t mode)
    {
        p.readFromStream(m_is, mode);
    }
    bool good() const { return !m_is.fail(); }
    std::istream& stream() { return m_is; }

private:
    template <typename T>
    void get(T& v)
    {
        T t;
        if (good() && (m_is >> t)) v = t;
    }
    template <typename T>
    void getNarrow(T& v, unsigned max)
    {
        unsigned t = 0;
        if (!good() || !(m_is >> t)) return;
        if (t > max) {
            m_is.setstate(std::ios::failbit);
            return;
        }
        v = T(t);
    }
    std::istream& m_is;
};

// A reader also fails when the object says so through `bool readOk() const`.
template <class T>
auto stReadOk(const T& t, int) -> decltype(t.readOk())
{
    return t.readOk();
}
template <class T>
bool stReadOk(const T&, long)
{
    return true;
}

// The four serialisers of a class over its field list `io(A&, mode)`.
#define ST_SERIALISERS(Class)                                                   \
    bool Class::writeToSection(FsSecCl& s, uint32_t mode) const                 \
    {                                                                           \
        StSecWriter a(s);                                                       \
        const_cast<Class*>(this)->io(a, mode);                                  \
        return a.good();                                                        \
    }                                                                           \
    bool Class::writeToStream(std::ostream& os, uint32_t mode) const            \
    {                                                                           \
        StOsWriter a(os);                                                       \
        const_cast<Class*>(this)->io(a, mode);                                  \
        return a.good();                                                        \
    }                                                                           \
    bool Class::readFromSection(FsSecCl& s, uint32_t mode)                      \
    {                                                                           \
        StSecReader a(s);                                                       \
        io(a, mode);                                                            \
        return a.good() && stReadOk(*this, 0);                                  \
    }                                                                           \
    bool Class::readFromStream(std::istream& is, uint32_t mode)                 \
    {                                                                           \
        StIsReader a(is);                                                       \
        io(a, mode);                                                            \
        return a.good() && stReadOk(*this, 0);                                  \
    }
