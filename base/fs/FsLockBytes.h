// Memory-backed lock bytes and streams: the default backing of in-memory
// compound files (a storage made on an FsLockBytes) and of memory section
// streams (FsStream). The bytes live in fixed blocks of 1536 bytes, so
// growing never moves existing data; every data operation runs under the
// object's own lock, so the objects may be called from several threads.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/com.h"
#include "platform/comserver.h"
#include "platform/storage.h"
#include "platform/sync.h"

class CLifetimeTracer;

// Block store shared by both classes. Not locked itself.
class FsBlockStore {
public:
    static constexpr uint32_t BLOCK_SIZE = 1536;

    FsBlockStore();
    ~FsBlockStore();
    FsBlockStore(const FsBlockStore&) = delete;
    FsBlockStore& operator=(const FsBlockStore&) = delete;

    // 0 frees every block. STG_E_MEDIUMFULL when a block cannot be had (the
    // blocks obtained so far are kept, the size is unchanged).
    HRESULT setSize(uint32_t n);
    // Copies [offset, offset + count); E_FAIL when the range does not end
    // within the allocated blocks.
    HRESULT readAt(uint32_t offset, void* buffer, uint32_t count) const;
    // Grows to offset + count first when needed.
    HRESULT writeAt(uint32_t offset, const void* buffer, uint32_t count);
    uint32_t size() const { return m_size; }
    uint32_t blockCount() const { return m_blockCount; }
    // Hands out the bytes of [offset, offset + n) block by block.
    template <class F>
    HRESULT forEachChunk(uint32_t offset, uint32_t n, F&& f) const;
    void freeAll();

private:
    std::vector<uint8_t*> m_blocks;
    uint32_t m_size = 0;
    uint32_t m_blockCount = 0;
};

// Scoped lock over a critical section that traces when it has to wait.
class FsObjectLock {
public:
    FsObjectLock();
    ~FsObjectLock();
    FsObjectLock(const FsObjectLock&) = delete;
    FsObjectLock& operator=(const FsObjectLock&) = delete;

    class Scope {
    public:
        explicit Scope(FsObjectLock& lock);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        FsObjectLock& m_lock;
        uint32_t m_prevOwner;
    };

private:
    CRITICAL_SECTION m_cs;
    std::atomic<uint32_t> m_owner{0};
};

// What both memory objects are made of: the reference count, the blocks and
// their lock, and their share in the life of the module (the count of live
// objects, one lock of the COM module, the lifetime trace).
class FsMemoryObject {
public:
    uint32_t blockCount() const { return m_store.blockCount(); }

protected:
    explicit FsMemoryObject(const char* className);
    ~FsMemoryObject();  // frees the blocks under the lock
    FsMemoryObject(const FsMemoryObject&) = delete;
    FsMemoryObject& operator=(const FsMemoryObject&) = delete;

    std::atomic<ULONG> m_refs{1};
    mutable FsObjectLock m_lock;
    FsBlockStore m_store;

private:
    CLifetimeTracer* m_tracer;
    CComModule* m_module;  // holds one lock of the module while the object lives
};

class FsLockBytes final : public ILockBytes, private FsMemoryObject {
public:
    // Makes an object and returns the asked interface (IUnknown or
    // ILockBytes) with one reference.
    static HRESULT create(REFIID riid, void** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Reads [offset, offset + count) clipped to the size: nothing past the
    // end is handed out.
    HRESULT STDMETHODCALLTYPE ReadAt(ULARGE_INTEGER offset, void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT STDMETHODCALLTYPE WriteAt(ULARGE_INTEGER offset, const void* pv, ULONG cb,
                                      ULONG* pcbWritten) override;
    HRESULT STDMETHODCALLTYPE Flush() override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER cb) override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;

    using FsMemoryObject::blockCount;

private:
    FsLockBytes();
    ~FsLockBytes() = default;
};

class FsStream final : public IStream, private FsMemoryObject {
public:
    // Makes an object and returns the asked interface (IUnknown,
    // ISequentialStream or IStream) with one reference.
    static HRESULT create(REFIID riid, void** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    // Copies from the position to the target's position; the target only
    // grows, bytes of it beyond the copied range stay.
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override;

    using FsMemoryObject::blockCount;

private:
    FsStream();
    ~FsStream() = default;

    uint32_t m_position = 0;
};

// Number of FsLockBytes and FsStream objects alive. Each also holds a lock
// of the process's COM module (when there is one), so the module is not
// unloaded while any lives.
LONG fsMemoryObjectCount();
