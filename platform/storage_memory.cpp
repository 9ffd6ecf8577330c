// Memory blocks and the stream and lock-bytes objects over them.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/storage_internal.h"
#include "platform/system.h"

struct TvGlobalMemory {
    tvp::stg::ByteBuffer bytes;
    std::atomic<int> locks{0};
};

HGLOBAL GlobalAlloc(UINT, size_t dwBytes)
{
    if (tvp::allocationRefused(dwBytes)) return nullptr;
    try {
        auto* h = new TvGlobalMemory;
        h->bytes.resize(dwBytes);
        return h;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

HGLOBAL GlobalReAlloc(HGLOBAL hMem, size_t dwBytes, UINT)
{
    if (!hMem) return nullptr;
    try {
        hMem->bytes.resize(dwBytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return hMem;
}

HGLOBAL GlobalFree(HGLOBAL hMem)
{
    delete hMem;
    return nullptr;
}

size_t GlobalSize(HGLOBAL hMem)
{
    return hMem ? hMem->bytes.size() : 0;
}

void* GlobalLock(HGLOBAL hMem)
{
    if (!hMem) return nullptr;
    ++hMem->locks;
    return hMem->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL hMem)
{
    if (!hMem) return FALSE;
    int n = hMem->locks.load();
    if (n > 0) hMem->locks = n - 1;
    return hMem->locks > 0 ? TRUE : FALSE;
}

namespace {

using namespace tvp::stg;

// The block shared by a stream and its clones, freed with the last of them
// when asked to.
struct SharedBlock {
    HGLOBAL h;
    bool deleteOnRelease;
    ~SharedBlock()
    {
        if (deleteOnRelease) GlobalFree(h);
    }
    ByteBuffer& bytes() { return h->bytes; }
};
using BlockPtr = std::shared_ptr<SharedBlock>;

class GlobalStream final
    : public RefCounted<GlobalStream, IStream, IID_ISequentialStream, IID_IStream, IID_TvGlobalStream> {
public:
    GlobalStream(BlockPtr block, uint64_t pos) : block_(std::move(block)), pos_(pos) {}

    HGLOBAL handle() const { return block_->h; }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG n = 0;
        if (HRESULT hr = readContent(block_->bytes(), pos_, pv, cb, n); FAILED(hr)) return hr;
        pos_ += n;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        HRESULT hr = writeContent(block_->bytes(), pos_, pv, cb);
        if (FAILED(hr)) return hr;
        pos_ += cb;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override
    {
        HRESULT hr = seekTarget(pos_, block_->bytes().size(), move, origin, kMaxContentSize, pos_);
        if (FAILED(hr)) return hr;
        if (newPos) newPos->QuadPart = pos_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override
    {
        return resizeContent(block_->bytes(), size.QuadPart);
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override
    {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!pstm) return STG_E_INVALIDPOINTER;
        auto& d = block_->bytes();
        uint64_t n = pos_ < d.size() ? std::min<uint64_t>(cb.QuadPart, d.size() - pos_) : 0;
        // A target on the same block could move the bytes being copied.
        bool same = false;
        void* other = nullptr;
        if (n && SUCCEEDED(pstm->QueryInterface(IID_TvGlobalStream, &other)) && other) {
            auto* gs = static_cast<GlobalStream*>(static_cast<IStream*>(other));
            same = gs->block_->h == block_->h;
            gs->Release();
        }
        uint64_t written = 0;
        bool taken = true;
        HRESULT hr = copyRange(d, pos_, n, same, pstm, written, taken);
        if (!taken) return hr;
        pos_ += n;
        if (pcbRead) pcbRead->QuadPart = n;
        if (pcbWritten) pcbWritten->QuadPart = written;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }

    // A memory stream has no name and no times.
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD) override
    {
        if (!st) return STG_E_INVALIDPOINTER;
        std::memset(st, 0, sizeof *st);
        st->type = STGTY_STREAM;
        st->cbSize.QuadPart = block_->bytes().size();
        st->grfMode = STGM_READWRITE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override
    {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = new (std::nothrow) GlobalStream(block_, pos_);
        return *ppstm ? S_OK : E_OUTOFMEMORY;
    }

private:
    friend Base;
    ~GlobalStream() = default;
    BlockPtr block_;
    uint64_t pos_;
};

class GlobalLockBytes final : public RefCounted<GlobalLockBytes, ILockBytes, IID_ILockBytes, IID_TvGlobalLockBytes> {
public:
    explicit GlobalLockBytes(BlockPtr block) : block_(std::move(block)) {}

    HGLOBAL handle() const { return block_->h; }

    HRESULT STDMETHODCALLTYPE ReadAt(ULARGE_INTEGER off, void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG n = 0;
        if (HRESULT hr = readContent(block_->bytes(), off.QuadPart, pv, cb, n); FAILED(hr)) return hr;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE WriteAt(ULARGE_INTEGER off, const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        HRESULT hr = writeContent(block_->bytes(), off.QuadPart, pv, cb);
        if (FAILED(hr)) return hr;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Flush() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER cb) override
    {
        return resizeContent(block_->bytes(), cb.QuadPart);
    }

    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD) override
    {
        if (!st) return STG_E_INVALIDPOINTER;
        std::memset(st, 0, sizeof *st);
        st->type = STGTY_LOCKBYTES;
        st->cbSize.QuadPart = block_->bytes().size();
        st->grfMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
        return S_OK;
    }

private:
    friend Base;
    ~GlobalLockBytes() = default;
    BlockPtr block_;
};

BlockPtr makeBlock(HGLOBAL h, BOOL fDeleteOnRelease)
{
    bool own = false;
    if (!h) {
        h = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!h) return nullptr;
        own = true;
    }
    try {
        return std::shared_ptr<SharedBlock>(new SharedBlock{h, fDeleteOnRelease != 0});
    } catch (const std::bad_alloc&) {
        if (own) GlobalFree(h);
        return nullptr;
    }
}

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, IStream** ppstm)
{
    if (!ppstm) return E_INVALIDARG;
    *ppstm = nullptr;
    BlockPtr block = makeBlock(hGlobal, fDeleteOnRelease);
    if (!block) return E_OUTOFMEMORY;
    *ppstm = new (std::nothrow) GlobalStream(block, 0);
    return *ppstm ? S_OK : E_OUTOFMEMORY;
}

HRESULT GetHGlobalFromStream(IStream* pstm, HGLOBAL* phglobal)
{
    if (!pstm || !phglobal) return E_INVALIDARG;
    *phglobal = nullptr;
    void* p = nullptr;
    if (FAILED(pstm->QueryInterface(IID_TvGlobalStream, &p)) || !p) return E_INVALIDARG;
    auto* gs = static_cast<GlobalStream*>(static_cast<IStream*>(p));
    *phglobal = gs->handle();
    gs->Release();
    return S_OK;
}

HRESULT CreateILockBytesOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, ILockBytes** pplkbyt)
{
    if (!pplkbyt) return E_INVALIDARG;
    *pplkbyt = nullptr;
    BlockPtr block = makeBlock(hGlobal, fDeleteOnRelease);
    if (!block) return E_OUTOFMEMORY;
    *pplkbyt = new (std::nothrow) GlobalLockBytes(block);
    return *pplkbyt ? S_OK : E_OUTOFMEMORY;
}

HRESULT GetHGlobalFromILockBytes(ILockBytes* plkbyt, HGLOBAL* phglobal)
{
    if (!plkbyt || !phglobal) return E_INVALIDARG;
    *phglobal = nullptr;
    void* p = nullptr;
    if (FAILED(plkbyt->QueryInterface(IID_TvGlobalLockBytes, &p)) || !p) return E_INVALIDARG;
    auto* lb = static_cast<GlobalLockBytes*>(static_cast<ILockBytes*>(p));
    *phglobal = lb->handle();
    lb->Release();
    return S_OK;
}
