// Global tools over data and the process: OA consistency entries, lists in
// VARIANTs, stream and BSTR conversions, waiting in slices, memory checks,
// scrambling and the lower-case table (see GlobTools.h).
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "co/GlobTools.h"
#include "co/TraceApi.h"
#include "platform/com.h"
#include "platform/text.h"

namespace {

const char* const kSource = "co_globtools";
const char kOAPrefix[] = "ONL_OBJ:oa_app_instance";

// ---- OA consistency entries ----------------------------------------------------

// The text after `attr` (e.g. ID=") in s, or null.
const char* afterAttribute(const char* s, const char* attr)
{
    const char* p = std::strstr(s, attr);
    return p ? p + std::strlen(attr) : nullptr;
}

// ---- streams ---------------------------------------------------------------------

// The bytes of a whole stream, read from position 0, into a new BSTR of
// the stream's byte length (the caller frees it). S_OK; E_FAIL with
// "Stat/Seek error" (method `method`) when it cannot be sized or read;
// E_OUTOFMEMORY when the BSTR cannot be had.
HRESULT readWholeStream(IStream* stream, const char* method, BSTR& out)
{
    out = nullptr;
    STATSTG st;
    std::memset(&st, 0, sizeof st);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (FAILED(stream->Stat(&st, STATFLAG_NONAME)) || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)) ||
        st.cbSize.QuadPart > 0x7FFFFFF0u) {
        TV_TRACE(4, kSource, method, "Stat/Seek error");
        return E_FAIL;
    }
    const UINT size = UINT(st.cbSize.QuadPart);
    BSTR bytes = SysAllocStringByteLen(nullptr, size);
    if (!bytes) return E_OUTOFMEMORY;
    UINT got = 0;
    while (got < size) {
        ULONG n = 0;
        HRESULT hr = stream->Read(reinterpret_cast<char*>(bytes) + got, size - got, &n);
        if (FAILED(hr) || n == 0 || n > size - got) break;
        got += n;
    }
    if (got != size) {
        SysFreeString(bytes);
        TV_TRACE(4, kSource, method, "Stat/Seek error");
        return E_FAIL;
    }
    out = bytes;
    return S_OK;
}

// The result slot of a conversion, when the caller gave one.
void answer(HRESULT* result, HRESULT hr)
{
    if (result) *result = hr;
}

// ---- scrambling ----------------------------------------------------------------------

const char kScrambleKey[17] = "q7#Lk!vR2^mZ(8x;";
const uint32_t kScrambleWords[8] = {0x9E3779B9u, 0x7F4A7C15u, 0x1B873593u, 0xCC9E2D51u,
                                    0x85EBCA6Bu, 0xC2B2AE35u, 0x27D4EB2Fu, 0x165667B1u};

int32_t signedSum(const std::string& s)
{
    int32_t sum = 0;
    for (char c : s) sum += int32_t(static_cast<signed char>(c));
    return sum;
}

size_t partner(uint32_t word, size_t j, int32_t sum, size_t length)
{
    return size_t((word + uint32_t(j) + uint32_t(sum)) % uint32_t(length));
}

// ---- lower case ---------------------------------------------------------------------

struct LowerCaseTable {
    unsigned char map[256];
    LowerCaseTable()
    {
        // Built before main, in the C locale.
        for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(std::tolower(c));
    }
};
const LowerCaseTable g_lowerCase;

}  // namespace

// ---- OA consistency entries ----------------------------------------------------------

String encodeOAConsEntry(uint32_t id, const String& name, bool pdi)
{
    char head[64];
    std::snprintf(head, sizeof head, "%s(ID=\"%u\",NAME=\"", kOAPrefix, unsigned(id));
    String out(head);
    out += name;
    out += pdi ? "\",PDI=\"1\")" : "\",PDI=\"0\")";
    return out;
}

bool decodeOAConsEntry(const char* entry, uint32_t* id, String* name, bool* pdi)
{
    auto refuse = [](const char* why) {
        TV_TRACE(4, kSource, "decodeOAConsEntry", "%s", why);
        return false;
    };
    if (!entry || std::strncmp(entry, kOAPrefix, sizeof kOAPrefix - 1) != 0) return refuse("not an OA Consistency entry");
    const char* rest = entry + sizeof kOAPrefix - 1;
    const char* p = afterAttribute(rest, "ID=\"");
    if (!p) return refuse("ID-Attribute not found");
    uint64_t value = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9' && value <= 0xFFFFFFFFu) value = value * 10 + uint64_t(*p++ - '0');
    if (p == digits || *p != '"' || value > 0xFFFFFFFFu) return refuse("Error decoding OA-ID");
    const char* n = afterAttribute(rest, "NAME=\"");
    if (!n) return refuse("Name-Attribute not found");
    const char* nameEnd = std::strchr(n, '"');
    if (!nameEnd) return refuse("Name boundary not found");
    const char* f = afterAttribute(nameEnd, "PDI=\"");
    if (!f) return refuse("PDI-Attribute not found");
    if ((f[0] != '0' && f[0] != '1') || f[1] != '"') return refuse("Invalid Value for PDI-Attr");
    if (id) *id = uint32_t(value);
    if (name) *name = String(n, int(nameEnd - n));
    if (pdi) *pdi = f[0] == '1';
    return true;
}

// ---- lists in VARIANTs -----------------------------------------------------------------

namespace {

// Calls take(element) for every BSTR of a one-dimensional BSTR array held
// by v (or, with singleAllowed, for a single BSTR); false at the first
// failure, with its trace line.
template <class Take>
bool forEachBstr(const VARIANT& v, bool singleAllowed, const char* method, Take take)
{
    const VARTYPE vt = VARTYPE(v.vt & ~VT_BYREF);
    if (singleAllowed && vt == VT_BSTR) return take((v.vt & VT_BYREF) ? (v.pbstrVal ? *v.pbstrVal : nullptr) : v.bstrVal);
    SAFEARRAY* psa = nullptr;
    if (vt == (VT_ARRAY | VT_BSTR)) psa = (v.vt & VT_BYREF) ? (v.pparray ? *v.pparray : nullptr) : v.parray;
    LONG lo = 0, hi = -1;
    if (!psa || SafeArrayGetDim(psa) != 1 || FAILED(SafeArrayGetLBound(psa, 1, &lo)) ||
        FAILED(SafeArrayGetUBound(psa, 1, &hi))) {
        TV_TRACE(4, kSource, method, "error getting safearray bounds!");
        return false;
    }
    for (LONG i = lo; i <= hi; ++i) {
        BSTR element = nullptr;
        if (FAILED(SafeArrayGetElement(psa, &i, &element))) {
            TV_TRACE(4, kSource, method, "Error SafeArrayGetElement");
            return false;
        }
        OwnedBstr owned(element);
        if (!take(element)) return false;
        if (i == hi) break;   // hi may be the largest LONG
    }
    return true;
}

}  // namespace

bool decodeTypeIDList(const VARIANT& v, std::vector<GUID>& ids)
{
    const char* method = "decodeTypeIDList";
    return forEachBstr(v, true, method, [&](BSTR text) {
        GUID g;
        if (!textToGuid(tvp::wideToAnsi(text).c_str(), &g)) {
            TV_TRACE(4, kSource, method, "Error decoding package GUID");
            return false;
        }
        ids.push_back(g);
        return true;
    });
}

bool decodeInstallClassificationList(const VARIANT& v, std::vector<std::u16string>& texts)
{
    return forEachBstr(v, false, "decodeInstallClassificationList", [&](BSTR text) {
        texts.emplace_back(text ? text : u"", SysStringLen(text));
        return true;
    });
}

// ---- streams and BSTRs -------------------------------------------------------------------

HRESULT writeStream2File(IStream* stream, const char16_t* path)
{
    const char* method = "writeStream2File";
    std::string name;
    try {
        if (stream && path) name = tvp::wideToPath(path);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    std::FILE* f = (stream && path) ? std::fopen(name.c_str(), "w") : nullptr;
    if (!f) {
        TV_TRACE(4, kSource, method, "Error opening file");
        return STG_E_FILENOTFOUND;
    }
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    HRESULT hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    char block[4096];
    while (SUCCEEDED(hr)) {
        ULONG n = 0;
        hr = stream->Read(block, sizeof block, &n);
        if (FAILED(hr)) break;
        if (n == 0) break;
        if (n > sizeof block || std::fwrite(block, 1, n, f) != n) {
            TV_TRACE(4, kSource, method, "Error writing to File");
            std::fclose(f);
            return STG_E_WRITEFAULT;
        }
    }
    if (FAILED(hr)) {
        TV_TRACE(4, kSource, method, "Error Stream read");
        std::fclose(f);
        return hr;
    }
    if (std::fclose(f) != 0) {
        TV_TRACE(4, kSource, method, "Error writing to File");
        return STG_E_WRITEFAULT;
    }
    return S_OK;
}

HRESULT writeStream2File(IStream* stream, const char* path)
{
    std::u16string wide;
    try {
        if (path) wide = tvp::pathToWide(path);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return writeStream2File(stream, path ? wide.c_str() : nullptr);
}

BSTR convertStream2BSTR(IStream* stream, HRESULT* result)
{
    if (!stream) {
        TV_TRACE(4, kSource, "convertStream2BSTR", "No Stream Member");
        answer(result, E_POINTER);
        return nullptr;
    }
    BSTR b = nullptr;
    answer(result, readWholeStream(stream, "convertStream2BSTR", b));
    return b;
}

IStream* convertBSTR2Stream(BSTR text, HRESULT* result)
{
    const char* method = "convertBSTR2Stream";
    IStream* s = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &s);
    if (FAILED(hr) || !s) {
        TV_TRACE(4, kSource, method, "Error creating stream!");
        answer(result, FAILED(hr) ? hr : E_FAIL);
        return nullptr;
    }
    const ULONG n = SysStringByteLen(text);
    ULONG written = 0;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (n) {
        hr = s->Write(text, n, &written);
        if (SUCCEEDED(hr) && written != n) hr = STG_E_WRITEFAULT;
    }
    if (SUCCEEDED(hr)) hr = s->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        TV_TRACE(4, kSource, method, "Error writing Data");
        s->Release();
        // A memory stream that cannot grow has run out of memory.
        answer(result, hr == STG_E_MEDIUMFULL || hr == STG_E_INSUFFICIENTMEMORY ? E_OUTOFMEMORY : hr);
        return nullptr;
    }
    answer(result, S_OK);
    return s;
}

String convertStream2String(IStream* stream, HRESULT* result)
{
    if (!stream) {
        TV_TRACE(4, kSource, "convertStream2String", "No Stream Parameter");
        answer(result, E_POINTER);
        return String();
    }
    BSTR bytes = nullptr;
    HRESULT hr = readWholeStream(stream, "convertStream2String", bytes);
    String text;
    if (SUCCEEDED(hr)) {
        try {
            text = String(reinterpret_cast<const char*>(bytes), int(SysStringByteLen(bytes)));
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
        SysFreeString(bytes);
    }
    answer(result, hr);
    return text;
}

// ---- waiting and memory ------------------------------------------------------------------

uint32_t waitWithMessages(uint32_t count, const HANDLE* handles, uint32_t* timeoutMs, void (*betweenSlices)())
{
    const uint32_t kSlice = 200;
    const bool endless = !timeoutMs || *timeoutMs == INFINITE;
    uint32_t left = endless ? INFINITE : *timeoutMs;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const uint32_t slice = left < kSlice ? left : kSlice;
        const DWORD r = WaitForMultipleObjects(count, handles, TRUE, slice);
        if (!endless) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
            left = uint64_t(spent) >= *timeoutMs ? 0 : uint32_t(*timeoutMs - uint64_t(spent));
        }
        if (r != WAIT_TIMEOUT) {
            if (timeoutMs && !endless) *timeoutMs = left;
            return r == WAIT_OBJECT_0 ? 0 : r;
        }
        if (left == 0) {
            *timeoutMs = 0;
            return WAIT_TIMEOUT;
        }
        if (betweenSlices) betweenSlices();
    }
}

bool isLargeAddressSpace()
{
    static const bool large = [] {
        MEMORYSTATUSEX ms;
        ms.dwLength = sizeof ms;
        return GlobalMemoryStatusEx(&ms) && ms.ullTotalVirtual >= 0x7FFFFFFFull;
    }();
    return large;
}

bool isMemoryAvailableIn(const MEMORYSTATUSEX& status, bool largeAddressSpace, uint32_t size, uint32_t limit)
{
    uint64_t avail = status.ullAvailVirtual;
    if (!largeAddressSpace && status.ullTotalVirtual > 0x7FFE0000ull) {
        const uint64_t above = status.ullTotalVirtual - 0x7FFE0000ull;
        avail = avail > above ? avail - above : 0;
    }
    if (avail < size) return false;
    return limit == 0 || status.dwMemoryLoad < limit;
}

bool isMemoryAvailable(uint32_t size, uint32_t limit)
{
    MEMORYSTATUSEX ms;
    ms.dwLength = sizeof ms;
    if (!GlobalMemoryStatusEx(&ms)) {
        TV_TRACE(4, kSource, "isMemoryAvailable", "error calling GlobalMemoryStatusEx");
        return false;
    }
    return isMemoryAvailableIn(ms, isLargeAddressSpace(), size, limit);
}

// ---- scrambling -------------------------------------------------------------------------------

String scrambleString(const String& text)
{
    std::string t(text.chars(), size_t(text.length()));
    for (size_t i = 0; i < t.size(); ++i) {
        const int c = static_cast<unsigned char>(t[i]);
        if (c < 32 || c > 126) continue;
        const int k = static_cast<unsigned char>(kScrambleKey[i % 16]);
        t[i] = char((k + c - 64) % 95 + 32);
    }
    const int32_t sum = signedSum(t);
    if (!t.empty())
        for (uint32_t w : kScrambleWords)
            for (size_t j = 0; j < t.size(); ++j) std::swap(t[j], t[partner(w, j, sum, t.size())]);
    return String(t.data(), int(t.size()));
}

String unscrambleString(const String& text)
{
    std::string t(text.chars(), size_t(text.length()));
    const int32_t sum = signedSum(t);   // exchanges do not change the sum
    if (!t.empty())
        for (size_t w = 8; w-- > 0;)
            for (size_t j = t.size(); j-- > 0;) std::swap(t[j], t[partner(kScrambleWords[w], j, sum, t.size())]);
    for (size_t i = 0; i < t.size(); ++i) {
        const int c = static_cast<unsigned char>(t[i]);
        if (c < 32 || c > 126) continue;
        const int k = static_cast<unsigned char>(kScrambleKey[i % 16]);
        t[i] = char(((c - k) % 95 + 95) % 95 + 32);
    }
    return String(t.data(), int(t.size()));
}

// ---- letter case --------------------------------------------------------------------------------

const unsigned char* coLowerCaseTable()
{
    return g_lowerCase.map;
}
