#include "platform/settings_store.h"
#include "platform/text.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace tvp {
namespace {

// ---------------------------------------------------------------------------
// Model. A key is identified by its canonical form: the root index as one
// character, then for each path segment '\x01' and the lower-cased segment.
// '\x01' sorts below every printable character, so a key's subkeys follow it
// directly and "A\B" sorts before "A B".

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                  "HKEY_LOCAL_MACHINE"};
const char* const kRootShort[] = {"HKCR", "HKCU", "HKLM"};
const char kSep = '\x01';
// Larger settings files are refused (read as empty).
const size_t kMaxFileSize = 16u << 20;

struct Value {
    std::string name;  // as first written
    SettingValue data;
};

struct Key {
    int root = 0;
    std::string path;  // normalised, in the case first written
    std::map<std::string, Value> values;  // by lower-cased name
};

struct Store {
    std::map<std::string, Key> keys;  // by canonical form
};

// Constant-initialised: usable before any dynamic initialiser has run. The
// store itself is leaked on purpose so that it outlives every static object.
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
Store* g_store = nullptr;

class Guard {
public:
    Guard() { pthread_mutex_lock(&g_lock); }
    ~Guard() { pthread_mutex_unlock(&g_lock); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string lowerAscii(const std::string& s)
{
    std::string r(s);
    for (char& c : r) c = lowerAscii(c);
    return r;
}

bool equalsNoCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return i == a.size() && b[i] == 0;
}

int rootIndex(const std::string& root)
{
    for (int i = 0; i < 3; ++i)
        if (equalsNoCase(root, kRootNames[i]) || equalsNoCase(root, kRootShort[i])) return i;
    return -1;
}

// Splits a backslash path into its non-empty segments.
std::vector<std::string> segments(const std::string& path)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

struct KeyName {
    bool ok = false;
    int root = -1;
    std::string path;   // normalised display form
    std::string canon;  // canonical form
};

KeyName keyName(const std::string& root, const std::string& keyPath)
{
    KeyName k;
    k.root = rootIndex(root);
    if (k.root < 0) return k;
    // Control characters cannot be written in a key line (and '\x01' is
    // the separator of the canonical form).
    for (char c : keyPath)
        if (static_cast<unsigned char>(c) < 0x20) return k;
    k.canon.assign(1, char('0' + k.root));
    for (const std::string& s : segments(keyPath)) {
        if (!k.path.empty()) k.path += '\\';
        k.path += s;
        k.canon += kSep;
        k.canon += lowerAscii(s);
    }
    k.ok = true;
    return k;
}

Store& store();

// ---------------------------------------------------------------------------
// Text format

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

void skipSpaces(const std::string& s, size_t& i)
{
    while (i < s.size() && isSpace(s[i])) ++i;
}

// Reads a quoted string starting at s[i] == '"'; i ends behind the closing quote.
bool readQuoted(const std::string& s, size_t& i, std::u16string& out)
{
    if (i >= s.size() || s[i] != '"') return false;
    ++i;
    out.clear();
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') { ++i; return true; }
        if (c != '\\') {
            // Plain text up to the next quote or escape (neither can be part
            // of a UTF-8 sequence).
            size_t end = std::min(s.find_first_of("\"\\", i), s.size());
            out += utf8ToWide(s.data() + i, end - i);
            i = end;
            continue;
        }
        if (i + 1 >= s.size()) return false;
        char e = s[i + 1];
        i += 2;
        switch (e) {
        case '\\': out += u'\\'; break;
        case '"': out += u'"'; break;
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'u': {
            if (i + 4 > s.size()) return false;
            uint32_t v = 0;
            for (int k = 0; k < 4; ++k) {
                int d = hexDigit(s[i + k]);
                if (d < 0) return false;
                v = (v << 4) | uint32_t(d);
            }
            i += 4;
            out += char16_t(v);
            break;
        }
        default: return false;
        }
    }
    return false;  // no closing quote
}

void writeQuoted(std::string& out, const std::u16string& s)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        switch (c) {
        case u'\\': out += "\\\\"; continue;
        case u'"': out += "\\\""; continue;
        case u'\n': out += "\\n"; continue;
        case u'\r': out += "\\r"; continue;
        case u'\t': out += "\\t"; continue;
        default: break;
        }
        bool high = c >= 0xD800 && c <= 0xDBFF;
        bool pair = high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
        if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF && !pair)) {
            out += "\\u";
            for (int sh = 12; sh >= 0; sh -= 4) out += kHex[(c >> sh) & 0xF];
        } else if (pair) {
            appendUtf8(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(s[i + 1]) - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, c);
        }
    }
    out += '"';
}

bool startsWithNoCase(const std::string& s, size_t i, const char* p)
{
    for (; *p; ++p, ++i)
        if (i >= s.size() || lowerAscii(s[i]) != *p) return false;
    return true;
}

// Parses the data part of a value line; false when malformed.
bool parseData(const std::string& s, size_t i, SettingValue& v)
{
    if (i < s.size() && s[i] == '"') {
        v.kind = SettingKind::String;
        if (!readQuoted(s, i, v.text)) return false;
    } else if (startsWithNoCase(s, i, "dword:")) {
        i += 6;
        size_t n = 0;
        uint32_t d = 0;
        while (i < s.size() && hexDigit(s[i]) >= 0) {
            d = (d << 4) | uint32_t(hexDigit(s[i]));
            ++i;
            ++n;
        }
        if (n == 0 || n > 8) return false;
        v.kind = SettingKind::Dword;
        v.dword = d;
    } else if (startsWithNoCase(s, i, "hex:")) {
        i += 4;
        v.kind = SettingKind::Binary;
        v.bytes.clear();
        skipSpaces(s, i);
        while (i < s.size() && hexDigit(s[i]) >= 0) {
            int b = hexDigit(s[i++]);
            if (i < s.size() && hexDigit(s[i]) >= 0) b = b * 16 + hexDigit(s[i++]);
            v.bytes.push_back(uint8_t(b));
            skipSpaces(s, i);
            if (i < s.size() && s[i] == ',') {
                ++i;
                skipSpaces(s, i);
                if (i >= s.size() || hexDigit(s[i]) < 0) return false;  // dangling comma
            } else {
                break;
            }
        }
    } else {
        return false;
    }
    skipSpaces(s, i);
    return i == s.size();
}

Key& createKey(Store& st, const KeyName& k)
{
    auto it = st.keys.find(k.canon);
    if (it != st.keys.end()) return it->second;
    Key& key = st.keys[k.canon];
    key.root = k.root;
    key.path = k.path;
    return key;
}

void parseInto(Store& st, const std::string& text)
{
    Key* cur = nullptr;
    size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || isSpace(line.back()))) line.pop_back();
        size_t i = 0;
        skipSpaces(line, i);
        if (i >= line.size() || line[i] == ';' || line[i] == '#') continue;

        if (line[i] == '[') {
            cur = nullptr;
            if (line.back() != ']') continue;
            std::string inner = line.substr(i + 1, line.size() - i - 2);
            size_t bs = inner.find('\\');
            std::string root = inner.substr(0, bs);
            std::string path = bs == std::string::npos ? std::string() : inner.substr(bs + 1);
            KeyName k = keyName(root, path);
            if (!k.ok || k.path.empty()) continue;
            cur = &createKey(st, k);
            continue;
        }
        if (!cur) continue;

        std::string name;
        if (line[i] == '@') {
            ++i;
        } else {
            std::u16string wname;
            if (!readQuoted(line, i, wname)) continue;
            name = wideToUtf8(wname);
        }
        skipSpaces(line, i);
        if (i >= line.size() || line[i] != '=') continue;
        ++i;
        skipSpaces(line, i);
        SettingValue v;
        if (!parseData(line, i, v)) continue;
        Value& val = cur->values[lowerAscii(name)];
        if (val.name.empty()) val.name = name;
        val.data = std::move(v);
    }
}

std::string toText(const Store& st)
{
    std::string out = "; Tavolin settings\n";
    for (const auto& kv : st.keys) {
        const Key& key = kv.second;
        out += "\n[";
        out += kRootNames[key.root];
        out += '\\';
        out += key.path;
        out += "]\n";
        for (const auto& vv : key.values) {
            const Value& v = vv.second;
            if (v.name.empty()) {
                out += '@';
            } else {
                writeQuoted(out, utf8ToWide(v.name));
            }
            out += '=';
            switch (v.data.kind) {
            case SettingKind::Dword: {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", unsigned(v.data.dword));
                out += buf;
                break;
            }
            case SettingKind::String:
                writeQuoted(out, v.data.text);
                break;
            case SettingKind::Binary: {
                out += "hex:";
                char buf[4];
                for (size_t b = 0; b < v.data.bytes.size(); ++b) {
                    std::snprintf(buf, sizeof buf, "%02x", unsigned(v.data.bytes[b]));
                    if (b) out += ',';
                    out += buf;
                }
                break;
            }
            }
            out += '\n';
        }
    }
    return out;
}

bool readFile(const std::string& path, std::string& text)
{
    text.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[8192];
    size_t n;
    bool ok = true;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > kMaxFileSize) {
            ok = false;
            break;
        }
        text.append(buf, n);
    }
    ok = ok && !std::ferror(f);
    if (!ok) text.clear();
    std::fclose(f);
    return ok;
}

bool loadFromEnv(Store& st)
{
    st.keys.clear();
    const char* path = std::getenv("TAVOLIN_SETTINGS");
    if (!path || !*path) return true;
    std::string text;
    if (!readFile(path, text)) return false;
    parseInto(st, text);
    return true;
}

// Call with g_lock held.
Store& store()
{
    if (!g_store) {
        g_store = new Store;
        loadFromEnv(*g_store);
    }
    return *g_store;
}

const Value* findValue(const std::string& root, const std::string& keyPath,
                       const std::string& valueName)
{
    KeyName k = keyName(root, keyPath);
    if (!k.ok) return nullptr;
    Store& st = store();
    auto it = st.keys.find(k.canon);
    if (it == st.keys.end()) return nullptr;
    auto vit = it->second.values.find(lowerAscii(valueName));
    return vit == it->second.values.end() ? nullptr : &vit->second;
}

bool setValue(const std::string& root, const std::string& keyPath,
              const std::string& valueName, SettingValue v)
{
    KeyName k = keyName(root, keyPath);
    if (!k.ok || k.path.empty()) return false;
    Guard g;
    Key& key = createKey(store(), k);
    Value& val = key.values[lowerAscii(valueName)];
    if (val.name.empty()) val.name = valueName;
    val.data = std::move(v);
    return true;
}

// Iterates over the key and its subkeys.
template <class F>
void forSubtree(Store& st, const std::string& canon, F f)
{
    auto it = st.keys.lower_bound(canon);
    while (it != st.keys.end()) {
        const std::string& c = it->first;
        bool self = c == canon;
        bool below = c.size() > canon.size() && c.compare(0, canon.size(), canon) == 0 &&
                     c[canon.size()] == kSep;
        if (!self && !below) break;
        it = f(it, self);
    }
}

}  // namespace

bool settingsGetDword(const std::string& root, const std::string& keyPath,
                      const std::string& valueName, uint32_t& value)
{
    Guard g;
    const Value* v = findValue(root, keyPath, valueName);
    if (!v || v->data.kind != SettingKind::Dword) return false;
    value = v->data.dword;
    return true;
}

bool settingsGetString(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, std::u16string& value)
{
    Guard g;
    const Value* v = findValue(root, keyPath, valueName);
    if (!v || v->data.kind != SettingKind::String) return false;
    value = v->data.text;
    return true;
}

bool settingsGetBinary(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, std::vector<uint8_t>& value)
{
    Guard g;
    const Value* v = findValue(root, keyPath, valueName);
    if (!v || v->data.kind != SettingKind::Binary) return false;
    value = v->data.bytes;
    return true;
}

bool settingsGetValue(const std::string& root, const std::string& keyPath,
                      const std::string& valueName, SettingValue& value)
{
    Guard g;
    const Value* v = findValue(root, keyPath, valueName);
    if (!v) return false;
    value = v->data;
    return true;
}

bool settingsKeyExists(const std::string& root, const std::string& keyPath)
{
    KeyName k = keyName(root, keyPath);
    if (!k.ok) return false;
    if (k.path.empty()) return true;  // a root always exists
    Guard g;
    Store& st = store();
    bool found = false;
    forSubtree(st, k.canon, [&](auto, bool) {
        found = true;
        return st.keys.end();
    });
    return found;
}

std::vector<std::string> settingsEnumKeys(const std::string& root, const std::string& keyPath)
{
    std::vector<std::string> out;
    KeyName k = keyName(root, keyPath);
    if (!k.ok) return out;
    Guard g;
    Store& st = store();
    size_t depth = k.path.empty() ? 0 : segments(k.path).size();
    std::string lastLower;
    forSubtree(st, k.canon, [&](auto it, bool self) {
        if (!self) {
            std::vector<std::string> segs = segments(it->second.path);
            if (segs.size() > depth) {
                std::string low = lowerAscii(segs[depth]);
                if (out.empty() || low != lastLower) {
                    out.push_back(segs[depth]);
                    lastLower = low;
                }
            }
        }
        return std::next(it);
    });
    return out;
}

std::vector<std::string> settingsEnumValues(const std::string& root, const std::string& keyPath)
{
    std::vector<std::string> out;
    KeyName k = keyName(root, keyPath);
    if (!k.ok) return out;
    Guard g;
    Store& st = store();
    auto it = st.keys.find(k.canon);
    if (it == st.keys.end()) return out;
    for (const auto& v : it->second.values) out.push_back(v.second.name);
    return out;
}

bool settingsSetDword(const std::string& root, const std::string& keyPath,
                      const std::string& valueName, uint32_t value)
{
    SettingValue v;
    v.kind = SettingKind::Dword;
    v.dword = value;
    return setValue(root, keyPath, valueName, std::move(v));
}

bool settingsSetString(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, const std::u16string& value)
{
    SettingValue v;
    v.kind = SettingKind::String;
    v.text = value;
    return setValue(root, keyPath, valueName, std::move(v));
}

bool settingsSetBinary(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, const std::vector<uint8_t>& value)
{
    SettingValue v;
    v.kind = SettingKind::Binary;
    v.bytes = value;
    return setValue(root, keyPath, valueName, std::move(v));
}

bool settingsDeleteValue(const std::string& root, const std::string& keyPath,
                         const std::string& valueName)
{
    KeyName k = keyName(root, keyPath);
    if (!k.ok) return false;
    Guard g;
    Store& st = store();
    auto it = st.keys.find(k.canon);
    if (it == st.keys.end()) return false;
    return it->second.values.erase(lowerAscii(valueName)) > 0;
}

bool settingsDeleteKey(const std::string& root, const std::string& keyPath)
{
    KeyName k = keyName(root, keyPath);
    if (!k.ok || k.path.empty()) return false;
    Guard g;
    Store& st = store();
    bool any = false;
    forSubtree(st, k.canon, [&](auto it, bool) {
        any = true;
        return st.keys.erase(it);
    });
    return any;
}

void settingsClear()
{
    Guard g;
    store().keys.clear();
}

bool settingsReload()
{
    Guard g;
    if (!g_store) g_store = new Store;
    return loadFromEnv(*g_store);
}

bool settingsLoadFile(const std::string& path)
{
    std::string text;
    bool ok = readFile(path, text);
    Guard g;
    if (!g_store) g_store = new Store;
    g_store->keys.clear();
    if (ok) parseInto(*g_store, text);
    return ok;
}

void settingsLoadText(const std::string& text)
{
    Guard g;
    if (!g_store) g_store = new Store;
    g_store->keys.clear();
    parseInto(*g_store, text);
}

std::string settingsToText()
{
    Guard g;
    return toText(store());
}

bool settingsSave()
{
    const char* path = std::getenv("TAVOLIN_SETTINGS");
    if (!path || !*path) return false;
    return settingsSaveFile(path);
}

bool settingsSaveFile(const std::string& path)
{
    std::string text = settingsToText();
    std::string tmp = path + ".tmp" + std::to_string(long(getpid()));
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

}  // namespace tvp
