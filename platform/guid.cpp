#include "platform/guid.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char kHexUpper[] = "0123456789ABCDEF";

// The 38 characters of the text form.
void formatGuid(REFGUID g, char out[38])
{
    uint8_t bytes[16];
    // Data1..Data3 are written as numbers, most significant digit first.
    bytes[0] = uint8_t(g.Data1 >> 24);
    bytes[1] = uint8_t(g.Data1 >> 16);
    bytes[2] = uint8_t(g.Data1 >> 8);
    bytes[3] = uint8_t(g.Data1);
    bytes[4] = uint8_t(g.Data2 >> 8);
    bytes[5] = uint8_t(g.Data2);
    bytes[6] = uint8_t(g.Data3 >> 8);
    bytes[7] = uint8_t(g.Data3);
    std::memcpy(bytes + 8, g.Data4, 8);
    int pos = 0;
    out[pos++] = '{';
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out[pos++] = '-';
        out[pos++] = kHexUpper[bytes[i] >> 4];
        out[pos++] = kHexUpper[bytes[i] & 0xF];
    }
    out[pos++] = '}';
}

int hexValue(uint32_t c)
{
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

// Parses exactly 38 characters (any character type).
template <class Ch>
bool parseGuid(const Ch* s, size_t len, GUID& g)
{
    if (len != 38 || s[0] != Ch('{') || s[37] != Ch('}')) return false;
    uint8_t bytes[16];
    size_t pos = 1;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            if (s[pos] != Ch('-')) return false;
            ++pos;
        }
        int hi = hexValue(uint32_t(s[pos]));
        int lo = hexValue(uint32_t(s[pos + 1]));
        if (hi < 0 || lo < 0) return false;
        bytes[i] = uint8_t(hi << 4 | lo);
        pos += 2;
    }
    g.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
    g.Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    std::memcpy(g.Data4, bytes + 8, 8);
    return true;
}

size_t u16len(const char16_t* s)
{
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

bool randomBytes(void* buf, size_t n)
{
    uint8_t* p = static_cast<uint8_t*>(buf);
    size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(p + got, n - got, 0);
        if (r > 0) {
            got += size_t(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        break;
    }
    if (got == n) return true;
    // Kernels without getrandom: read the device instead.
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (got < n) {
        ssize_t r = read(fd, p + got, n - got);
        if (r > 0) {
            got += size_t(r);
        } else if (!(r < 0 && errno == EINTR)) {
            break;
        }
    }
    close(fd);
    return got == n;
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR buf, int cchMax)
{
    if (!buf || cchMax < 39) return 0;
    char text[38];
    formatGuid(guid, text);
    for (int i = 0; i < 38; ++i) buf[i] = char16_t(text[i]);
    buf[38] = 0;
    return 39;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid)
{
    if (!text || !clsid) return E_INVALIDARG;
    GUID g;
    if (!parseGuid(text, u16len(text), g)) {
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    *clsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid)
{
    HRESULT hr = CLSIDFromString(text, iid);
    return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

HRESULT CoCreateGuid(GUID* guid)
{
    if (!guid) return E_INVALIDARG;
    uint8_t b[16];
    if (!randomBytes(b, sizeof b)) {
        *guid = GUID_NULL;
        return E_FAIL;
    }
    std::memcpy(&guid->Data1, b, 4);
    std::memcpy(&guid->Data2, b + 4, 2);
    std::memcpy(&guid->Data3, b + 6, 2);
    std::memcpy(guid->Data4, b + 8, 8);
    guid->Data3 = uint16_t((guid->Data3 & 0x0FFF) | 0x4000);  // version 4
    guid->Data4[0] = uint8_t((guid->Data4[0] & 0x3F) | 0x80);  // variant 10xx
    return S_OK;
}

namespace tvp {

std::string guidToString(REFGUID guid)
{
    char text[38];
    formatGuid(guid, text);
    return std::string(text, 38);
}

std::u16string guidToU16String(REFGUID guid)
{
    char text[38];
    formatGuid(guid, text);
    return std::u16string(text, text + 38);
}

bool guidFromString(const std::string& text, GUID& guid)
{
    return parseGuid(text.data(), text.size(), guid);
}

bool guidFromU16String(const std::u16string& text, GUID& guid)
{
    return parseGuid(text.data(), text.size(), guid);
}

int guidCompare(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1) return a.Data1 < b.Data1 ? -1 : 1;
    if (a.Data2 != b.Data2) return a.Data2 < b.Data2 ? -1 : 1;
    if (a.Data3 != b.Data3) return a.Data3 < b.Data3 ? -1 : 1;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i] ? -1 : 1;
    return 0;
}

}  // namespace tvp
