#include "base/fs/FsLockBytes.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "co/TraceApi.h"
#include "platform/text.h"

namespace {

const char* const kLockTraceFile = "co/co_lock";
std::atomic<LONG> g_liveObjects{0};

uint32_t currentThreadId() { return uint32_t(::syscall(SYS_gettid)); }

// Fills a STATSTG for a memory object.
HRESULT fillStat(STATSTG* st, DWORD flag, const char* name, DWORD type, uint32_t size)
{
    if (!st) return STG_E_INVALIDPOINTER;
    std::memset(st, 0, sizeof(*st));
    if (!(flag & STATFLAG_NONAME)) {
        std::u16string w = tvp::ansiToWide(name);
        size_t bytes = (w.size() + 1) * sizeof(char16_t);
        auto* p = static_cast<OLECHAR*>(CoTaskMemAlloc(bytes));
        if (!p) return STG_E_INSUFFICIENTMEMORY;
        std::memcpy(p, w.c_str(), bytes);
        st->pwcsName = p;
    }
    st->type = type;
    st->cbSize.QuadPart = size;
    st->grfMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    return S_OK;
}

// Returns the asked interface of a new object (null: out of memory) and
// drops the reference it was made with.
template <class T>
HRESULT handOut(T* obj, REFIID riid, void** out)
{
    if (!obj) return E_OUTOFMEMORY;
    HRESULT hr = obj->QueryInterface(riid, out);
    obj->Release();
    return hr;
}

}  // namespace

LONG fsMemoryObjectCount() { return g_liveObjects.load(); }

// ---------------------------------------------------------------------------
// Block store
// ---------------------------------------------------------------------------

FsBlockStore::FsBlockStore() { m_blocks.reserve(64); }

FsBlockStore::~FsBlockStore() { freeAll(); }

void FsBlockStore::freeAll()
{
    for (uint32_t i = 0; i < m_blockCount; ++i) {
        delete[] m_blocks[i];
        m_blocks[i] = nullptr;
    }
    m_blockCount = 0;
    m_size = 0;
}

HRESULT FsBlockStore::setSize(uint32_t n)
{
    if (n == 0) {
        freeAll();
        return S_OK;
    }
    uint32_t needed = uint32_t((uint64_t(n) + BLOCK_SIZE - 1) / BLOCK_SIZE);
    if (needed < m_blockCount) {
        for (uint32_t i = needed; i < m_blockCount; ++i) {
            delete[] m_blocks[i];
            m_blocks[i] = nullptr;
        }
        m_blockCount = needed;
    } else if (needed > m_blockCount) {
        if (m_blocks.size() < needed) {
            size_t grow = needed - m_blocks.size();
            if (grow < 64) grow = 64;
            try {
                m_blocks.resize(m_blocks.size() + grow, nullptr);
            } catch (...) {
                return STG_E_MEDIUMFULL;
            }
        }
        while (m_blockCount < needed) {
            uint8_t* b = new (std::nothrow) uint8_t[BLOCK_SIZE];
            if (!b) return STG_E_MEDIUMFULL;
            std::memset(b, 0, BLOCK_SIZE);
            m_blocks[m_blockCount++] = b;
        }
    }
    // Bytes beyond the new size inside the last block read as zero when the
    // store grows again.
    if (n < m_size && n % BLOCK_SIZE) {
        uint32_t last = n / BLOCK_SIZE;
        uint32_t from = n % BLOCK_SIZE;
        std::memset(m_blocks[last] + from, 0, BLOCK_SIZE - from);
    }
    m_size = n;
    return S_OK;
}

template <class F>
HRESULT FsBlockStore::forEachChunk(uint32_t offset, uint32_t n, F&& f) const
{
    uint64_t endPos = uint64_t(offset) + n;
    if (endPos > uint64_t(m_blockCount) * BLOCK_SIZE) return E_FAIL;
    uint32_t done = 0;
    while (done < n) {
        uint32_t pos = offset + done;
        uint32_t block = pos / BLOCK_SIZE;
        uint32_t in = pos % BLOCK_SIZE;
        uint32_t chunk = BLOCK_SIZE - in;
        if (chunk > n - done) chunk = n - done;
        uint8_t* b = m_blocks[block];
        if (!b) return E_FAIL;
        HRESULT hr = f(b + in, chunk, done);
        if (FAILED(hr)) return hr;
        done += chunk;
    }
    return S_OK;
}

HRESULT FsBlockStore::readAt(uint32_t offset, void* buffer, uint32_t count) const
{
    uint8_t* out = static_cast<uint8_t*>(buffer);
    return forEachChunk(offset, count, [out](uint8_t* p, uint32_t n, uint32_t done) {
        std::memcpy(out + done, p, n);
        return S_OK;
    });
}

HRESULT FsBlockStore::writeAt(uint32_t offset, const void* buffer, uint32_t count)
{
    uint64_t endPos = uint64_t(offset) + count;
    if (endPos > 0xFFFFFFFFull) return STG_E_MEDIUMFULL;
    if (endPos > m_size) {
        HRESULT hr = setSize(uint32_t(endPos));
        if (FAILED(hr)) return hr;
    }
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    return forEachChunk(offset, count, [in](uint8_t* p, uint32_t n, uint32_t done) {
        std::memcpy(p, in + done, n);
        return S_OK;
    });
}

// ---------------------------------------------------------------------------
// Lock
// ---------------------------------------------------------------------------

FsObjectLock::FsObjectLock() { InitializeCriticalSection(&m_cs); }
FsObjectLock::~FsObjectLock() { DeleteCriticalSection(&m_cs); }

FsObjectLock::Scope::Scope(FsObjectLock& lock) : m_lock(lock)
{
    uint32_t self = currentThreadId();
    if (!TryEnterCriticalSection(&m_lock.m_cs)) {
        TV_TRACE(1, kLockTraceFile, "CCoSynchronize::CCoSynchronize(LPCRITICAL_SECTION)",
                 "thread 0x%X is waiting for thread 0x%X", self, m_lock.m_owner.load());
        EnterCriticalSection(&m_lock.m_cs);
        TV_TRACE(1, kLockTraceFile, "CCoSynchronize::CCoSynchronize(LPCRITICAL_SECTION)",
                 "thread 0x%X continued", self);
    }
    m_prevOwner = m_lock.m_owner.exchange(self);
}

FsObjectLock::Scope::~Scope()
{
    m_lock.m_owner.store(m_prevOwner);
    LeaveCriticalSection(&m_lock.m_cs);
}

// ---------------------------------------------------------------------------
// FsMemoryObject
// ---------------------------------------------------------------------------

FsMemoryObject::FsMemoryObject(const char* className) : m_tracer(nullptr), m_module(CComModule::current())
{
    ++g_liveObjects;
    if (m_module) m_module->Lock();
    if (isLifetimeTraceOn()) m_tracer = new (std::nothrow) CLifetimeTracer(className);
}

FsMemoryObject::~FsMemoryObject()
{
    {
        FsObjectLock::Scope guard(m_lock);
        m_store.freeAll();
    }
    delete m_tracer;
    if (m_module) m_module->Unlock();
    --g_liveObjects;
}

// ---------------------------------------------------------------------------
// FsLockBytes
// ---------------------------------------------------------------------------

FsLockBytes::FsLockBytes() : FsMemoryObject("FsLockBytes") {}

HRESULT FsLockBytes::create(REFIID riid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return handOut(new (std::nothrow) FsLockBytes(), riid, out);
}

HRESULT FsLockBytes::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ILockBytes) {
        *ppv = static_cast<ILockBytes*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG FsLockBytes::AddRef() { return ++m_refs; }

ULONG FsLockBytes::Release()
{
    ULONG r = --m_refs;
    if (r == 0) delete this;
    return r;
}

HRESULT FsLockBytes::ReadAt(ULARGE_INTEGER offset, void* pv, ULONG cb, ULONG* pcbRead)
{
    if (pcbRead) *pcbRead = 0;
    if (offset.QuadPart > 0xFFFFFFFFull || offset.QuadPart + cb > 0xFFFFFFFFull) return STG_E_READFAULT;
    if (!pv) return STG_E_INVALIDPOINTER;
    FsObjectLock::Scope guard(m_lock);
    // The allocated blocks bound the read, not the logical size: blocks are
    // zeroed when allocated and cut back when shrinking, so the bytes behind
    // the size read as zero.
    HRESULT hr = cb ? m_store.readAt(uint32_t(offset.QuadPart), pv, cb) : S_OK;
    if (SUCCEEDED(hr) && pcbRead) *pcbRead = cb;
    return hr;
}

HRESULT FsLockBytes::WriteAt(ULARGE_INTEGER offset, const void* pv, ULONG cb, ULONG* pcbWritten)
{
    if (pcbWritten) *pcbWritten = 0;
    if (offset.QuadPart > 0xFFFFFFFFull || offset.QuadPart + cb > 0xFFFFFFFFull) return STG_E_WRITEFAULT;
    if (!pv) return STG_E_INVALIDPOINTER;
    FsObjectLock::Scope guard(m_lock);
    HRESULT hr = m_store.writeAt(uint32_t(offset.QuadPart), pv, cb);
    if (SUCCEEDED(hr) && pcbWritten) *pcbWritten = cb;
    return hr;
}

HRESULT FsLockBytes::Flush() { return S_OK; }

HRESULT FsLockBytes::SetSize(ULARGE_INTEGER cb)
{
    if (cb.u.HighPart != 0) return STG_E_MEDIUMFULL;
    FsObjectLock::Scope guard(m_lock);
    return m_store.setSize(cb.u.LowPart);
}

HRESULT FsLockBytes::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT FsLockBytes::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }

HRESULT FsLockBytes::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    uint32_t size;
    {
        FsObjectLock::Scope guard(m_lock);
        size = m_store.size();
    }
    return fillStat(pstatstg, grfStatFlag, "FsILockedBytesImpl_Root", STGTY_LOCKBYTES, size);
}

// ---------------------------------------------------------------------------
// FsStream
// ---------------------------------------------------------------------------

FsStream::FsStream() : FsMemoryObject("FsStream") {}

HRESULT FsStream::create(REFIID riid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return handOut(new (std::nothrow) FsStream(), riid, out);
}

HRESULT FsStream::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
        *ppv = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG FsStream::AddRef() { return ++m_refs; }

ULONG FsStream::Release()
{
    ULONG r = --m_refs;
    if (r == 0) delete this;
    return r;
}

HRESULT FsStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    if (pcbRead) *pcbRead = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    FsObjectLock::Scope guard(m_lock);
    uint32_t size = m_store.size();
    if (m_position >= size) return S_OK;
    uint32_t n = cb < size - m_position ? cb : size - m_position;
    if (FAILED(m_store.readAt(m_position, pv, n))) return S_FALSE;
    m_position += n;
    if (pcbRead) *pcbRead = n;
    return S_OK;
}

HRESULT FsStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten)
{
    if (pcbWritten) *pcbWritten = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    FsObjectLock::Scope guard(m_lock);
    if (uint64_t(m_position) + cb > 0xFFFFFFFFull) return STG_E_MEDIUMFULL;
    HRESULT hr = m_store.writeAt(m_position, pv, cb);
    if (FAILED(hr)) return STG_E_MEDIUMFULL;
    m_position += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
}

HRESULT FsStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos)
{
    FsObjectLock::Scope guard(m_lock);
    const int64_t limit = 0xFFFFFFFFll;
    if (move.QuadPart > limit || move.QuadPart < -limit) return STG_E_INVALIDFUNCTION;
    int64_t basePos;
    switch (origin) {
    case STREAM_SEEK_SET: basePos = 0; break;
    case STREAM_SEEK_CUR: basePos = m_position; break;
    case STREAM_SEEK_END: basePos = m_store.size(); break;
    default: return STG_E_INVALIDFUNCTION;
    }
    int64_t target = basePos + move.QuadPart;
    if (target < 0 || target > limit) return STG_E_INVALIDFUNCTION;
    m_position = uint32_t(target);
    if (newPos) newPos->QuadPart = m_position;
    return S_OK;
}

HRESULT FsStream::SetSize(ULARGE_INTEGER size)
{
    if (size.u.HighPart != 0) return STG_E_MEDIUMFULL;
    FsObjectLock::Scope guard(m_lock);
    return m_store.setSize(size.u.LowPart);
}

HRESULT FsStream::CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                         ULARGE_INTEGER* pcbWritten)
{
    if (pcbRead) pcbRead->QuadPart = 0;
    if (pcbWritten) pcbWritten->QuadPart = 0;
    if (!target) return STG_E_INVALIDPOINTER;
    FsObjectLock::Scope guard(m_lock);
    uint32_t size = m_store.size();
    if (m_position >= size) return S_OK;
    uint32_t n = size - m_position;
    if (cb.u.HighPart == 0 && cb.u.LowPart < n) n = cb.u.LowPart;
    if (n == 0) return S_OK;

    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER targetPos;
    if (FAILED(target->Seek(zero, STREAM_SEEK_CUR, &targetPos))) return STG_E_MEDIUMFULL;
    // The target ends where the copy ends.
    ULARGE_INTEGER newSize;
    newSize.QuadPart = targetPos.QuadPart + n;
    HRESULT sized = target->SetSize(newSize);
    if (FAILED(sized)) return sized;
    uint32_t written = 0;
    HRESULT hr = m_store.forEachChunk(m_position, n, [&](uint8_t* p, uint32_t len, uint32_t) {
        ULONG w = 0;
        HRESULT h = target->Write(p, len, &w);
        written += w;
        if (SUCCEEDED(h) && w != len) h = STG_E_MEDIUMFULL;
        return h;
    });
    m_position += written;
    if (pcbRead) pcbRead->QuadPart = written;
    if (pcbWritten) pcbWritten->QuadPart = written;
    return hr;
}

HRESULT FsStream::Commit(DWORD) { return S_OK; }
HRESULT FsStream::Revert() { return S_OK; }
HRESULT FsStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT FsStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }

HRESULT FsStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    uint32_t size;
    {
        FsObjectLock::Scope guard(m_lock);
        size = m_store.size();
    }
    return fillStat(pstatstg, grfStatFlag, "FsStreamImpl_Root", STGTY_STREAM, size);
}

HRESULT FsStream::Clone(IStream** ppstm)
{
    if (ppstm) *ppstm = nullptr;
    return E_NOTIMPL;
}
