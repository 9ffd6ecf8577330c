#include "base/fs/FsSecClMem.h"

#include <atomic>

#include "base/fs/FsLockBytes.h"
#include "co/CoSettings.h"
#include "co/TraceApi.h"

namespace {

const char* const kTraceFile = "base/fs/fs_mem_sec";
// Memory storages belong to the file manager and trace under its name.
const char* const kStorageTraceFile = "base/fs/fs_seman";

std::atomic<int> g_storageMode{-1};
std::atomic<int> g_streamMode{-1};

uint32_t readStorageModeSetting()
{
    DWORD v = 0;
    if (CCoKernfeldSettings::getValue(0, "STORAGE_MODE", &v) != 0) return 3;
    if (v & 1) return 2;
    return (v & 2) | 1;
}

uint32_t cachedMode(std::atomic<int>& cache)
{
    int m = cache.load();
    if (m < 0) {
        int fresh = int(readStorageModeSetting());
        if (cache.compare_exchange_strong(m, fresh)) m = fresh;
    }
    return uint32_t(m);
}

}  // namespace

uint32_t fsStorageMode(bool forStream) { return cachedMode(forStream ? g_streamMode : g_storageMode); }

void fsResetStorageMode()
{
    g_storageMode.store(-1);
    g_streamMode.store(-1);
}

bool fsCreateMemStorage(IStorage** out)
{
    if (!out) return false;
    *out = nullptr;
    const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    uint32_t m = fsStorageMode(false);
    if (m == 3) {
        ILockBytes* lb = nullptr;
        if (FAILED(FsLockBytes::create(IID_ILockBytes, reinterpret_cast<void**>(&lb))) || !lb) {
            TV_TRACE(4, kStorageTraceFile, "FsFileMan::createMemStorage", "error creating LockedBytesObject");
            g_storageMode.store(1);
            m = 1;
        } else {
            HRESULT hr = StgCreateDocfileOnILockBytes(lb, mode, 0, out);
            lb->Release();
            if (FAILED(hr)) {
                TV_TRACE(4, kStorageTraceFile, "FsFileMan::createMemStorage",
                         "error StgCreateDocfileOnILockBytes HR: 0x%x", unsigned(hr));
                *out = nullptr;
                return false;
            }
            return true;
        }
    }
    if (m == 1) {
        ILockBytes* lb = nullptr;
        HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, &lb);
        if (FAILED(hr) || !lb) {
            TV_TRACE(4, kStorageTraceFile, "FsFileMan::createMemStorage",
                     "error CreateILockBytesOnHGlobal HR: 0x%x", unsigned(hr));
            return false;
        }
        hr = StgCreateDocfileOnILockBytes(lb, mode, 0, out);
        lb->Release();
        if (FAILED(hr)) {
            TV_TRACE(4, kStorageTraceFile, "FsFileMan::createMemStorage", "error StgCreateDocfileOnILockBytes HR: 0x%x",
                     unsigned(hr));
            *out = nullptr;
            return false;
        }
        return true;
    }
    HRESULT hr = StgCreateDocfile(nullptr, mode | STGM_DELETEONRELEASE, 0, out);
    if (FAILED(hr)) {
        TV_TRACE(4, kStorageTraceFile, "FsFileMan::createMemStorage", "error calling StgCreateDocfile HR: 0x%x",
                 unsigned(hr));
        *out = nullptr;
        return false;
    }
    return true;
}

HRESULT FsSecClMem::CreateStream(IStream** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (fsStorageMode(true) == 3) {
        HRESULT hr = FsStream::create(IID_IStream, reinterpret_cast<void**>(out));
        if (SUCCEEDED(hr) && *out) return hr;
        TV_TRACE(4, kTraceFile, "FsSecClMem::createMemoryStream", "error creating StreamObject");
        g_streamMode.store(1);
        *out = nullptr;
    }
    return CreateStreamOnHGlobal(nullptr, TRUE, out);
}

FsSecClMem::FsSecClMem()
{
    IStream* s = nullptr;
    if (FAILED(CreateStream(&s)) || !s) {
        TV_TRACE(4, kTraceFile, "FsSecClMem::CreateStream", "error calling CreateStream");
        return;
    }
    attach(s, FS_MODE_WRITE);
    s->Release();
}
