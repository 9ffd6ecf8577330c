// FsSecRun: a run of writes to a section stream, collected in memory and
// handed to the stream in pieces, for writers of many small fields (a model
// with an entry per alarm or per variable), where a call of the stream per
// field cost more than formatting the field.
//
// The run writes the bytes the stream's own operators would write: text or
// binary mode and the number base as the stream has them when the run
// begins (neither may change while it lasts), numbers as FsSecCl writes
// them (text: decimal with a '-' in base 10, the unsigned bits in another
// base; binary: 4 bytes little-endian), a String as its length (base 10
// and a blank in text mode, 4 bytes in binary mode) and its characters,
// putBlank / putNewLine in text mode only.
//
// Nothing may be written to the stream directly while the run holds bytes
// (flush first). hasError() is the stream's error, which a piece sets when
// it is handed on; a writer that stops at the first error may so collect
// one piece more, which the stream, in error, refuses. The destructor
// flushes.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"
#include "platform/guid.h"

class FsSecRun {
public:
    explicit FsSecRun(FsSecCl& s) : m_s(s), m_binary(s.isBinary()), m_base(int(s.getBase())) {}
    ~FsSecRun() { flush(); }
    FsSecRun(const FsSecRun&) = delete;
    FsSecRun& operator=(const FsSecRun&) = delete;

    FsSecRun& operator<<(int32_t v)
    {
        if (m_binary || m_base != 10) return *this << uint32_t(v);
        char* p = room(kNumberRoom);
        m_used += std::size_t(std::to_chars(p, p + kNumberRoom, v).ptr - p);
        return *this;
    }
    FsSecRun& operator<<(uint32_t v)
    {
        if (m_binary) {
            const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
            put(b, 4);
            return *this;
        }
        char* p = room(kNumberRoom);
        const auto r = m_base == 10 ? std::to_chars(p, p + kNumberRoom, v) : std::to_chars(p, p + kNumberRoom, v, m_base);
        m_used += std::size_t(r.ptr - p);
        return *this;
    }
    FsSecRun& operator<<(int16_t v)
    {
        if (!m_binary) return *this << int32_t(v);
        put(reinterpret_cast<const char*>(&v), 2);
        return *this;
    }
    FsSecRun& operator<<(uint16_t v)
    {
        if (!m_binary) return *this << uint32_t(v);
        put(reinterpret_cast<const char*>(&v), 2);
        return *this;
    }
    FsSecRun& operator<<(uint8_t v)
    {
        if (!m_binary) return *this << uint32_t(v);
        put(reinterpret_cast<const char*>(&v), 1);
        return *this;
    }
    // '1' or '0' in text mode, one byte 1 or 0 in binary mode.
    FsSecRun& operator<<(bool v)
    {
        return *this << char(m_binary ? (v ? 1 : 0) : (v ? '1' : '0'));
    }
    // Text: the braced upper-case form and a blank; binary: 16 bytes.
    FsSecRun& operator<<(const GUID& g)
    {
        if (m_binary) {
            put(reinterpret_cast<const char*>(&g), 16);
            return *this;
        }
        std::string text = tvp::guidToString(g);
        if (text.size() != 38) {
            flush();
            m_s.setError(FSSEC_STREAM_CALL);
            return *this;
        }
        put(text.data(), text.size());
        return *this << ' ';
    }
    // Raw bytes in both modes.
    FsSecRun& operator<<(char c)
    {
        *room(1) = c;
        ++m_used;
        return *this;
    }
    FsSecRun& operator<<(const char* text)
    {
        if (text) put(text, std::strlen(text));
        return *this;
    }
    FsSecRun& operator<<(const String& text)
    {
        const uint32_t len = uint32_t(text.length());
        if (m_binary) {
            *this << len;
        } else {
            char* p = room(kNumberRoom);
            m_used += std::size_t(std::to_chars(p, p + kNumberRoom, len).ptr - p);
            *this << ' ';
        }
        put(text.chars(), len);
        return *this;
    }
    void putBlank()
    {
        if (!m_binary) *this << ' ';
    }
    void putNewLine()
    {
        if (!m_binary) put("\r\n", 2);
    }
    // Every field, each followed by putBlank.
    template <typename... Fields>
    void putFields(const Fields&... fields)
    {
        ((*this << fields, putBlank()), ...);
    }

    bool isBinary() const { return m_binary; }
    bool hasError() const { return m_s.hasError(); }
    // Hands what is collected to the stream.
    void flush()
    {
        if (m_used != 0) m_s.writeBytes(m_bytes.get(), uint32_t(m_used));
        m_used = 0;
    }

private:
    // Pieces of at most this size reach the stream; a number takes at most
    // kNumberRoom characters (32 binary digits).
    static constexpr std::size_t kPiece = std::size_t(1) << 16;
    static constexpr std::size_t kNumberRoom = 40;

    // Where n <= kPiece more bytes go, handing on what is collected first
    // when they would not fit.
    char* room(std::size_t n)
    {
        if (!m_bytes) m_bytes.reset(new char[kPiece]);
        if (m_used + n > kPiece) flush();
        return m_bytes.get() + m_used;
    }
    void put(const char* p, std::size_t n)
    {
        while (n != 0) {
            const std::size_t chunk = n < kPiece ? n : kPiece;
            std::memcpy(room(chunk), p, chunk);
            m_used += chunk;
            p += chunk;
            n -= chunk;
        }
    }

    FsSecCl& m_s;
    const bool m_binary;
    const int m_base;
    std::unique_ptr<char[]> m_bytes;  // kPiece bytes once anything is written
    std::size_t m_used = 0;
};
