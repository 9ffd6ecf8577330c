// Reads a resource script back with a resource compiler that no one here
// wrote: the distribution's windres (x86_64-w64-mingw32-windres, Debian
// package binutils-mingw-w64-x86-64, which scripts/setup installs). The
// script is compiled into a .res file, with no C preprocessor in front
// (--preprocessor=cat: string tables need none) and code page 1252, and the
// string tables of the .res file are read into a map from id to text.
//
// A .res file is a run of entries, each on a 4-byte boundary: data size and
// header size (32-bit little-endian), the type and the name (0xFFFF and a
// 16-bit number, or a 0-ended UTF-16 name), padding to 4 bytes, version,
// flags, language and characteristics; the data after the header. A string
// table (type 6) named n holds the ids (n - 1) * 16 to (n - 1) * 16 + 15,
// each as a 16-bit length and that many UTF-16 units; length 0 is no string,
// so an empty text reads back as no entry.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace rctest {

const char kWindres[] = "x86_64-w64-mingw32-windres";

inline bool haveWindres()
{
    return std::system((std::string("command -v ") + kWindres + " >/dev/null 2>&1").c_str()) == 0;
}

// At the top of a test that reads scripts back: skips it, saying why, when
// windres is missing.
#define RCTEST_NEEDS_WINDRES()                                                                      \
    if (!rctest::haveWindres())                                                                     \
    GTEST_SKIP() << rctest::kWindres << " is missing (scripts/setup installs binutils-mingw-w64-x86-64)"

struct RcReadBack {
    int exit = -1;                               // windres's exit status
    std::string messages;                        // what it printed (errors, warnings)
    bool resRead = false;                        // the .res file was read whole
    std::map<uint32_t, std::u16string> strings;  // id -> text, every non-empty string

    // The text of id; empty when there is none.
    std::u16string text(uint32_t id) const
    {
        const auto it = strings.find(id);
        return it == strings.end() ? std::u16string() : it->second;
    }
};

namespace detail {

inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline uint32_t le(const std::string& b, std::size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + std::size_t(i)]);
    return v;
}

// Past a type or name field at `at` (its number in id, or 0 for a name);
// false when it runs past `end`.
inline bool idOrName(const std::string& b, std::size_t& at, std::size_t end, uint32_t& id)
{
    if (at + 2 > end) return false;
    if (le(b, at, 2) == 0xFFFF) {
        if (at + 4 > end) return false;
        id = le(b, at + 2, 2);
        at += 4;
        return true;
    }
    id = 0;
    for (;;) {
        if (at + 2 > end) return false;
        const uint32_t unit = le(b, at, 2);
        at += 2;
        if (unit == 0) return true;
    }
}

// The string tables of the .res bytes into out; false when they are not a
// well-formed run of entries.
inline bool readRes(const std::string& b, std::map<uint32_t, std::u16string>& out)
{
    std::size_t at = 0;
    while (at < b.size()) {
        if (at + 8 > b.size()) return false;
        const std::size_t dataSize = le(b, at, 4), headerSize = le(b, at + 4, 4);
        const std::size_t headerEnd = at + headerSize, dataEnd = headerEnd + dataSize;
        if (headerSize < 16 || dataEnd > b.size()) return false;
        std::size_t p = at + 8;
        uint32_t type = 0, name = 0;
        if (!idOrName(b, p, headerEnd, type) || !idOrName(b, p, headerEnd, name)) return false;
        if (type == 6) {
            if (name == 0) return false;
            std::size_t q = headerEnd;
            for (uint32_t i = 0; i < 16; ++i) {
                if (q + 2 > dataEnd) return false;
                const std::size_t n = le(b, q, 2);
                q += 2;
                if (q + 2 * n > dataEnd) return false;
                std::u16string text;
                for (std::size_t k = 0; k < n; ++k) text.push_back(char16_t(le(b, q + 2 * k, 2)));
                q += 2 * n;
                if (n != 0) out[(name - 1) * 16 + i] = text;
            }
        }
        at = (dataEnd + 3) & ~std::size_t(3);
    }
    return true;
}

}  // namespace detail

// Compiles the script at `script` with windres into scratch + ".res" (its
// messages into scratch + ".txt") and reads the strings back.
inline RcReadBack readBackScript(const std::string& script, const std::string& scratch)
{
    RcReadBack r;
    const std::string res = scratch + ".res", messages = scratch + ".txt";
    std::remove(res.c_str());
    const std::string cmd = std::string(kWindres) + " --preprocessor=cat --codepage=1252 -J rc -O res -i '" + script +
                            "' -o '" + res + "' >'" + messages + "' 2>&1";
    const int status = std::system(cmd.c_str());
    r.exit = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.messages = detail::fileBytes(messages);
    if (r.exit == 0) r.resRead = detail::readRes(detail::fileBytes(res), r.strings);
    return r;
}

}  // namespace rctest
