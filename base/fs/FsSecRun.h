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
#include <string>

#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"

class FsSecRun {
public:
    explicit FsSecRun(FsSecCl& s) : m_s(s), m_binary(s.isBinary()), m_base(int(s.getBase())) {}
    ~FsSecRun() { flush(); }
    FsSecRun(const FsSecRun&) = delete;
    FsSecRun& operator=(const FsSecRun&) = delete;

    FsSecRun& operator<<(int32_t v)
    {
        if (m_binary || m_base != 10) return *this << uint32_t(v);
        char buf[16];
        put(buf, std::size_t(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
        return *this;
    }
    FsSecRun& operator<<(uint32_t v)
    {
        if (m_binary) {
            const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
            put(reinterpret_cast<const char*>(b), 4);
            return *this;
        }
        char buf[40];
        put(buf, std::size_t(std::to_chars(buf, buf + sizeof buf, v, m_base).ptr - buf));
        return *this;
    }
    // Raw bytes in both modes.
    FsSecRun& operator<<(char c)
    {
        put(&c, 1);
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
            char buf[16];
            put(buf, std::size_t(std::to_chars(buf, buf + sizeof buf, len).ptr - buf));
            put(" ", 1);
        }
        put(text.chars(), len);
        return *this;
    }
    void putBlank()
    {
        if (!m_binary) put(" ", 1);
    }
    void putNewLine()
    {
        if (!m_binary) put("\r\n", 2);
    }

    bool isBinary() const { return m_binary; }
    bool hasError() const { return m_s.hasError(); }
    // Hands what is collected to the stream.
    void flush()
    {
        if (!m_bytes.empty()) m_s.writeBytes(m_bytes.data(), uint32_t(m_bytes.size()));
        m_bytes.clear();
    }

private:
    // Pieces of this size reach the stream.
    static constexpr std::size_t kPiece = std::size_t(1) << 16;

    void put(const char* p, std::size_t n)
    {
        m_bytes.append(p, n);
        if (m_bytes.size() >= kPiece) flush();
    }

    FsSecCl& m_s;
    const bool m_binary;
    const int m_base;
    std::string m_bytes;
};
