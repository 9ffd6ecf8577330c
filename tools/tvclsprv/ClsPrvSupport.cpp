// The call log and the knobs of the stand-in class-provider library.
#include "tools/tvclsprv/ClsPrvSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/com.h"
#include "platform/text.h"

namespace clsprv {

namespace {

const char* env(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

bool numberKnob(const char* name, uint32_t& out)
{
    const char* v = env(name);
    if (!v) return false;
    char* end = nullptr;
    const unsigned long n = std::strtoul(v, &end, 0);
    if (!end || *end) return false;
    out = uint32_t(n);
    return true;
}

}  // namespace

bool logging()
{
    return env("TVCLSPRV_LOG") != nullptr;
}

void log(const std::string& name, const std::string& value)
{
    const char* path = env("TVCLSPRV_LOG");
    if (!path) return;
    if (std::FILE* f = std::fopen(path, "ab")) {
        std::fprintf(f, "%s %s\n", name.c_str(), value.c_str());
        std::fclose(f);
    }
}

HRESULT notImplemented(const char* name)
{
    log("call", name);
    return E_NOTIMPL;
}

std::string quoted(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(c));
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string textOf(const char16_t* s)
{
    return s ? tvp::wideToPath(s) : std::string("(null)");
}

bool readFile(const std::string& path, std::string& bytes, int* error)
{
    int e = 0;
    bytes.clear();
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[1 << 16];
        size_t got;
        errno = 0;
        while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
        // A directory opens, and fails at its first read.
        if (std::ferror(f)) e = errno ? errno : EIO;
        std::fclose(f);
    } else {
        e = errno;
    }
    if (error) *error = e;
    return e == 0;
}

bool streamHead(IStorage* storage, const char* name, size_t limit, std::string& bytes)
{
    bytes.clear();
    if (!storage) return false;
    const std::u16string wide = tvp::utf8ToWide(std::string(name));
    IStream* stream = nullptr;
    if (FAILED(storage->OpenStream(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream)) ||
        !stream)
        return false;
    std::vector<char> buf(limit);
    ULONG got = 0;
    const HRESULT hr = limit ? stream->Read(buf.data(), ULONG(limit), &got) : S_OK;
    stream->Release();
    if (FAILED(hr)) return false;
    bytes.assign(buf.data(), got);
    return true;
}

bool storageOpens(IStorage* storage)
{
    if (!storage) return false;
    IEnumSTATSTG* e = nullptr;
    if (FAILED(storage->EnumElements(0, nullptr, 0, &e)) || !e) return false;
    STATSTG st;
    ULONG got = 0;
    while (e->Next(1, &st, &got) == S_OK && got == 1) CoTaskMemFree(st.pwcsName);
    e->Release();
    return true;
}

HRESULT resultKnob()
{
    uint32_t v = 0;
    return numberKnob("TVCLSPRV_HR", v) ? HRESULT(v) : S_OK;
}

LONG statusKnob()
{
    uint32_t v = 0;
    return numberKnob("TVCLSPRV_STATUS", v) ? LONG(v) : 0;
}

std::string textKnob()
{
    const char* v = std::getenv("TVCLSPRV_TEXT");
    return v ? std::string(v) : std::string("tvclsprv stand-in");
}

bool writeSectionKnob(IStorage* storage)
{
    const char* name = env("TVCLSPRV_SECTION");
    if (!name) return true;
    // A file serves where the text would not fit in the environment (a
    // value is limited to 128 KB there: a larger one stops the command from
    // starting at all).
    std::string content;
    if (const char* file = env("TVCLSPRV_SECTION_FILE")) {
        int e = 0;
        if (!readFile(file, content, &e)) {
            // The host shows what its component says on standard error.
            const std::string why = e == ENOENT ? "no such file" : e == EISDIR ? "a directory" : std::strerror(e);
            std::fprintf(stderr, "tvclsprv: cannot read the section file %s (TVCLSPRV_SECTION_FILE): %s\n", file,
                         why.c_str());
            log("wrote", std::string(name) + " failed (cannot read " + file + ": " + why + ")");
            return false;
        }
    } else if (const char* text = std::getenv("TVCLSPRV_SECTION_TEXT")) {
        content = text;
    }
    const std::u16string wide = tvp::utf8ToWide(std::string(name));
    IStream* stream = nullptr;
    bool ok = storage &&
              SUCCEEDED(storage->CreateStream(wide.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                              0, 0, &stream)) &&
              stream;
    if (ok) {
        ULONG written = 0;
        ok = SUCCEEDED(stream->Write(content.data(), ULONG(content.size()), &written)) &&
             written == content.size();
        ok = SUCCEEDED(stream->Commit(0)) && ok;
    }
    if (stream) stream->Release();
    log("wrote", std::string(name) + (ok ? " ok" : " failed"));
    return true;
}

}  // namespace clsprv
