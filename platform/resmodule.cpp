#include "platform/resmodule.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace tvp {
namespace {

const std::size_t kMaxFileBytes = 16u * 1024u * 1024u;

thread_local std::string t_lastOpenError;

void noteOpenError(const std::string& file, const char* reason)
{
    t_lastOpenError = file.empty() ? std::string(reason) : file + ": " + reason;
}

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool decodeUtf8(const std::string& s, std::u16string& out)
{
    out.clear();
    out.reserve(s.size());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int extra;
        uint32_t cp, min;
        if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; min = 0x10000; }
        else return false;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= n) return false;
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += extra + 1;
    }
    return true;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\f' || c == u'\v'; }

std::size_t skipSpace(const std::u16string& s, std::size_t i)
{
    while (i < s.size() && isSpace(s[i])) ++i;
    return i;
}

// The first word of a line, ASCII upper-cased.
std::string firstWord(const std::u16string& line)
{
    std::size_t i = skipSpace(line, 0);
    std::string w;
    while (i < line.size() && !isSpace(line[i]) && line[i] < 0x80) {
        char c = static_cast<char>(line[i]);
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        w.push_back(c);
        ++i;
    }
    return w;
}

// Parses "<id> [,] "text"" ; false for anything else.
bool parseEntry(const std::u16string& line, uint32_t& id, std::u16string& text)
{
    std::size_t i = skipSpace(line, 0);
    uint64_t v = 0;
    std::size_t start = i;
    if (i + 1 < line.size() && line[i] == u'0' && (line[i + 1] == u'x' || line[i + 1] == u'X')) {
        i += 2;
        start = i;
        while (i < line.size()) {
            char16_t c = line[i];
            int d;
            if (c >= u'0' && c <= u'9') d = c - u'0';
            else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
            else break;
            v = v * 16 + d;
            if (v > 0xFFFF) return false;
            ++i;
        }
    } else {
        while (i < line.size() && line[i] >= u'0' && line[i] <= u'9') {
            v = v * 10 + (line[i] - u'0');
            if (v > 0xFFFF) return false;
            ++i;
        }
    }
    if (i == start) return false;
    if (i < line.size() && (line[i] == u'L' || line[i] == u'l')) ++i;  // 123L
    i = skipSpace(line, i);
    if (i < line.size() && line[i] == u',') i = skipSpace(line, i + 1);
    if (i >= line.size() || line[i] != u'"') return false;
    ++i;
    std::u16string t;
    for (;;) {
        if (i >= line.size()) return false;  // unterminated
        char16_t c = line[i];
        if (c == u'"') {
            if (i + 1 < line.size() && line[i + 1] == u'"') {
                t.push_back(u'"');
                i += 2;
                continue;
            }
            break;
        }
        if (c == u'\\' && i + 1 < line.size()) {
            char16_t e = line[i + 1];
            char16_t r = 0;
            switch (e) {
            case u'n': r = u'\n'; break;
            case u'r': r = u'\r'; break;
            case u't': r = u'\t'; break;
            case u'a': r = u'\a'; break;
            case u'\\': r = u'\\'; break;
            case u'"': r = u'"'; break;
            default: break;
            }
            if (r) {
                t.push_back(r);
                i += 2;
                continue;
            }
        }
        t.push_back(c);
        ++i;
    }
    id = static_cast<uint32_t>(v);
    text.swap(t);
    return true;
}

bool readFile(const std::string& path, std::string& bytes)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        noteOpenError(path, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        noteOpenError(path, "not a regular file");
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
        noteOpenError(path, "file too large");
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        noteOpenError(path, std::strerror(errno));
        return false;
    }
    bytes.clear();
    char buf[65536];
    std::size_t got;
    bool ok = true;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        bytes.append(buf, got);
        if (bytes.size() > kMaxFileBytes) {
            ok = false;
            break;
        }
    }
    if (std::ferror(f)) ok = false;
    std::fclose(f);
    if (!ok) noteOpenError(path, "read error or file too large");
    return ok;
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool endsWithNoCase(const std::string& s, const char* suffix)
{
    std::size_t n = 0;
    while (suffix[n]) ++n;
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char a = s[s.size() - n + i], b = suffix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

}  // namespace

std::string ResModule::filePath(const std::string& name, const std::string& directory)
{
    std::string n(name);
    for (char& c : n)
        if (c == '\\') c = '/';
    while (n.size() >= 2 && n[0] == '.' && n[1] == '/') {
        n.erase(0, 2);
        while (!n.empty() && n[0] == '/' && n.size() > 1 && n[1] == '/') n.erase(0, 1);
    }
    if (n.empty()) return std::string();
    if (endsWithNoCase(n, ".dll")) n.resize(n.size() - 4);
    if (!endsWithNoCase(n, ".rc")) n += ".rc";
    if (n[0] == '/') return n;
    if (directory.empty()) return std::string();
    std::string d(directory);
    for (char& c : d)
        if (c == '\\') c = '/';
    // A directory that is not absolute here (such as a Windows "C:\\prod")
    // would be resolved against the current directory: find nothing instead.
    if (d[0] != '/') return std::string();
    if (d.back() != '/') d.push_back('/');
    return d + n;
}

std::unique_ptr<ResModule> ResModule::open(const std::string& name, const std::string& directory)
{
    std::string path = filePath(name, directory);
    if (path.empty()) {
        noteOpenError(name, name.empty() ? "no library name" : "no product directory to look in");
        return nullptr;
    }
    if (!fileExists(path)) {
        std::size_t slash = path.rfind('/');
        std::size_t from = slash == std::string::npos ? 0 : slash + 1;
        std::string lower(path);
        for (std::size_t i = from; i < lower.size(); ++i)
            if (lower[i] >= 'A' && lower[i] <= 'Z') lower[i] = static_cast<char>(lower[i] - 'A' + 'a');
        if (lower != path && fileExists(lower)) path = lower;
    }
    std::string bytes;
    if (!readFile(path, bytes)) return nullptr;
    t_lastOpenError.clear();
    std::unique_ptr<ResModule> m(new ResModule());
    m->m_path = path;
    m->parse(bytes);
    return m;
}

std::string ResModule::lastOpenError() { return t_lastOpenError; }

std::unique_ptr<ResModule> ResModule::fromText(const std::string& bytes)
{
    std::unique_ptr<ResModule> m(new ResModule());
    m->parse(bytes);
    return m;
}

void ResModule::parse(const std::string& raw)
{
    std::string bytes(raw);
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        bytes.erase(0, 3);
    std::u16string text;
    if (!decodeUtf8(bytes, text)) text = ansiToWide(bytes);

    enum { Outside, Header, Inside } state = Outside;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t eol = text.find(u'\n', pos);
        if (eol == std::u16string::npos) eol = text.size();
        std::u16string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == u'\r') line.pop_back();

        std::size_t first = skipSpace(line, 0);
        if (first >= line.size()) continue;
        if (line[first] == u'#' ||
            (line[first] == u'/' && first + 1 < line.size() && line[first + 1] == u'/'))
            continue;
        std::string word = firstWord(line);
        switch (state) {
        case Outside:
            if (word == "STRINGTABLE") state = Header;
            break;
        case Header:  // options such as DISCARDABLE or LANGUAGE lines until BEGIN
            if (word == "BEGIN" || word == "{") state = Inside;
            break;
        case Inside: {
            if (word == "END" || word == "}") {
                state = Outside;
                break;
            }
            uint32_t id;
            std::u16string t;
            if (parseEntry(line, id, t)) m_strings.emplace(id, std::move(t));
            break;
        }
        }
        if (eol == text.size()) break;
    }
}

bool ResModule::lookup(uint32_t id, std::u16string& text) const
{
    auto it = m_strings.find(id);
    if (it == m_strings.end()) return false;
    text = it->second;
    return true;
}

int ResModule::loadString(uint32_t id, char16_t* buf, int bufUnits) const
{
    if (!buf || bufUnits <= 0) return 0;
    buf[0] = 0;
    auto it = m_strings.find(id);
    if (it == m_strings.end()) return 0;
    std::size_t n = it->second.size();
    if (n > static_cast<std::size_t>(bufUnits - 1)) n = static_cast<std::size_t>(bufUnits - 1);
    for (std::size_t i = 0; i < n; ++i) buf[i] = it->second[i];
    buf[n] = 0;
    return static_cast<int>(n);
}

int loadStringA(const ResModule* module, uint32_t id, char* buf, int bufBytes)
{
    if (!buf || bufBytes <= 0) return 0;
    buf[0] = 0;
    std::u16string wide;
    if (!module || !module->lookup(id, wide)) return 0;
    const std::string narrow = wideToAnsi(wide);
    const std::size_t n = std::min(narrow.size(), static_cast<std::size_t>(bufBytes - 1));
    std::memcpy(buf, narrow.data(), n);
    buf[n] = 0;
    return static_cast<int>(n);
}

}  // namespace tvp
