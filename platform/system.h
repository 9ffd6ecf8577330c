// Waitable events and the memory figures of the system, in the calling shape
// of the Windows kernel functions.
//
// Events: manual-reset ones stay signalled until ResetEvent; auto-reset ones
// are reset by the wait that they satisfied. A handle that was never issued
// or is already closed makes a wait fail (WAIT_FAILED) and touches nothing.
// There are no named events and no other kinds of waitable handles.
//
// Memory: the physical figures come from /proc/meminfo; the virtual ones
// from the address-space limit of the process (RLIMIT_AS, else the 47-bit
// user address space of x86-64) less what the process has mapped
// (/proc/self/statm). Page-file figures are the swap figures.
#pragma once
#include <cstddef>

#include "platform/wintypes.h"

struct TvWaitObject;
using HANDLE = TvWaitObject*;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Null on failure; the attributes and the name must be null.
HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
BOOL CloseHandle(HANDLE object);
// With waitAll: WAIT_OBJECT_0 once every handle is signalled at the same
// time; without: WAIT_OBJECT_0 + the index of the first signalled one.
// WAIT_TIMEOUT after timeoutMs (INFINITE: never); WAIT_FAILED for a count of
// 0 or above MAXIMUM_WAIT_OBJECTS, a null array or an unknown handle.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs);
DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);

struct MEMORYSTATUSEX {
    DWORD dwLength;      // sizeof(MEMORYSTATUSEX), set by the caller
    DWORD dwMemoryLoad;  // percent of physical memory in use
    ULONGLONG ullTotalPhys;
    ULONGLONG ullAvailPhys;
    ULONGLONG ullTotalPageFile;
    ULONGLONG ullAvailPageFile;
    ULONGLONG ullTotalVirtual;
    ULONGLONG ullAvailVirtual;
    ULONGLONG ullAvailExtendedVirtual;  // always 0
};

// FALSE when dwLength is wrong or the figures cannot be read.
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);

namespace tvp {
// Memory running out, on demand (for tests of what callers do then): from
// this call on, every allocation of the platform's own memory (BSTRs, HGLOBAL
// blocks, the contents of memory streams and storages) of `bytes` bytes or
// more fails as it does when memory is exhausted. SIZE_MAX, the start,
// refuses none.
void failAllocationsFrom(size_t bytes);
// True when an allocation of `bytes` is to fail (used by the allocators).
bool allocationRefused(size_t bytes);
}  // namespace tvp
