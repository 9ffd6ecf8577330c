#include "platform/com.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/memory_watch.h"
#include "platform/system.h"

namespace {
std::atomic<long> g_taskMem{0};
std::atomic<long> g_bstrs{0};
std::atomic<long> g_refs{0};
}  // namespace

namespace tvp {
long liveTaskMemBlocks() { return g_taskMem.load(); }
long liveBstrs() { return g_bstrs.load(); }
long liveInterfaceRefs() { return g_refs.load(); }
void noteInterfaceRefs(long delta) { g_refs += delta; }
}  // namespace tvp

// ---------------------------------------------------------------------------
// Task memory
// ---------------------------------------------------------------------------

void* CoTaskMemAlloc(size_t cb)
{
    void* p = tvp::mallocNoted(cb ? cb : 1);
    if (p) ++g_taskMem;
    return p;
}

void* CoTaskMemRealloc(void* pv, size_t cb)
{
    if (!pv) return CoTaskMemAlloc(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    return tvp::reallocNoted(pv, cb);
}

void CoTaskMemFree(void* pv)
{
    if (pv) --g_taskMem;
    std::free(pv);
}

// ---------------------------------------------------------------------------
// BSTR
// ---------------------------------------------------------------------------

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

// One block: the 4-byte byte count, the bytes, and two NUL bytes (a NUL unit
// right after the text even when the byte count is odd, plus one spare).
BSTR allocBytes(const void* src, UINT bytes)
{
    size_t total = kPrefix + size_t(bytes) + 3;
    auto* block = tvp::allocationRefused(total) ? nullptr : static_cast<unsigned char*>(tvp::mallocNoted(total));
    if (!block) return nullptr;
    uint32_t n = bytes;
    std::memcpy(block, &n, kPrefix);
    if (src)
        std::memcpy(block + kPrefix, src, bytes);
    else
        std::memset(block + kPrefix, 0, bytes);
    std::memset(block + kPrefix + bytes, 0, 3);
    ++g_bstrs;
    return reinterpret_cast<BSTR>(block + kPrefix);
}

size_t unitLength(const OLECHAR* s)
{
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

unsigned char* blockOf(BSTR b)
{
    return reinterpret_cast<unsigned char*>(b) - kPrefix;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz)
{
    if (!psz) return nullptr;
    size_t n = unitLength(psz);
    if (n > 0x7FFFFFFFu / 2) return nullptr;
    return allocBytes(psz, UINT(n * 2));
}

BSTR SysAllocStringLen(const OLECHAR* psz, UINT cch)
{
    if (cch > 0x7FFFFFFFu / 2) return nullptr;
    return allocBytes(psz, cch * 2);
}

BSTR SysAllocStringByteLen(const char* psz, UINT len)
{
    if (len > 0x7FFFFFF0u) return nullptr;
    return allocBytes(psz, len);
}

void SysFreeString(BSTR bstr)
{
    if (!bstr) return;
    --g_bstrs;
    std::free(blockOf(bstr));
}

UINT SysStringByteLen(BSTR bstr)
{
    if (!bstr) return 0;
    uint32_t n;
    std::memcpy(&n, blockOf(bstr), kPrefix);
    return n;
}

UINT SysStringLen(BSTR bstr)
{
    return SysStringByteLen(bstr) / 2;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch)
{
    if (!pbstr) return FALSE;
    // psz may point into the old string: copy before freeing.
    BSTR fresh = SysAllocStringLen(psz, cch);
    if (!fresh) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    if (!pbstr) return FALSE;
    if (!psz) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    size_t n = unitLength(psz);
    if (n > 0x7FFFFFFFu / 2) return FALSE;
    return SysReAllocStringLen(pbstr, psz, UINT(n));
}

// ---------------------------------------------------------------------------
// HRESULT texts
// ---------------------------------------------------------------------------

const char* hresultText(HRESULT hr)
{
    struct Known {
        HRESULT hr;
        const char* text;
    };
    static const Known known[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_ABORT, "E_ABORT"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {E_HANDLE, "E_HANDLE"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    };
    for (const Known& k : known)
        if (k.hr == hr) return k.text;
    // One slot per thread, so that two texts of one line do not collide
    // unless both are unknown.
    static thread_local char buf[2][24];
    static thread_local int next = 0;
    char* out = buf[next];
    next ^= 1;
    std::snprintf(out, sizeof buf[0], "HRESULT 0x%08X", unsigned(hr));
    return out;
}

// ---------------------------------------------------------------------------
// Time
// ---------------------------------------------------------------------------

HRESULT CoFileTimeNow(FILETIME* pFileTime)
{
    if (!pFileTime) return E_INVALIDARG;
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return E_FAIL;
    ULONGLONG ticks = tvp::kFileTimeUnixEpoch + ULONGLONG(ts.tv_sec) * 10000000ULL +
                      ULONGLONG(ts.tv_nsec) / 100ULL;
    *pFileTime = tvp::ticksToFileTime(ticks);
    return S_OK;
}
