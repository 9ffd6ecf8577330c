// Structured storage: compound files (a tree of storages and streams in one
// file) through the IStorage / IStream / ILockBytes interfaces in their
// binary COM shape, the functions that create and open them on files or on
// ILockBytes objects, and memory-backed streams and lock-bytes objects.
//
// How it works here:
// - Direct mode only. Opening parses the whole file into a tree in memory;
//   streams are contiguous byte vectors, but for large streams that lie in
//   one piece of an opened file: those are read from the file until they
//   are written (copies of them too, also after the file was written
//   anew). Commit of the root storage, and the
//   final Release of a root opened for writing, write the whole tree back
//   (a file is replaced atomically; an ILockBytes is rewritten from offset 0).
//   Commit of a sub-storage or a stream changes nothing on disk.
// - A file stays locked (flock) while its root storage lives: opened for
//   writing or with STGM_SHARE_EXCLUSIVE / STGM_SHARE_DENY_READ, a second
//   opener is refused with STG_E_SHAREVIOLATION; read-only opens that deny
//   only writing share the file with each other.
// - An element that is open cannot be opened again (STG_E_ACCESSDENIED);
//   streams must be opened with STGM_SHARE_EXCLUSIVE.
// - Element names are UTF-16, 1 to 31 units, without '/', '\\', ':' or '!';
//   within one storage they are compared case-insensitively (upper case).
// - After the root storage has been released, objects still open below it
//   answer STG_E_REVERTED, and so do objects whose element was destroyed.
// - Class ids and storage modification times are kept in the file; storage
//   creation times and state bits live only while the file is open.
#pragma once
#include <fcntl.h>

#include <cstddef>

#include "platform/com.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

// Storage and stream modes.
constexpr DWORD STGM_DIRECT = 0x00000000;
constexpr DWORD STGM_TRANSACTED = 0x00010000;
constexpr DWORD STGM_SIMPLE = 0x08000000;
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
constexpr DWORD STGM_PRIORITY = 0x00040000;
constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
constexpr DWORD STGM_NOSCRATCH = 0x00100000;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STGM_CONVERT = 0x00020000;
constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;

// Commit flags.
constexpr DWORD STGC_DEFAULT = 0;
constexpr DWORD STGC_OVERWRITE = 1;
constexpr DWORD STGC_ONLYIFCURRENT = 2;
constexpr DWORD STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4;
constexpr DWORD STGC_CONSOLIDATE = 8;

// Element types of STATSTG.
constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STGTY_LOCKBYTES = 3;
constexpr DWORD STGTY_PROPERTY = 4;

// Stat flags.
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STATFLAG_NOOPEN = 2;

// Seek origins.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

// Region lock types. (The C library's fcntl.h has a LOCK_WRITE macro of
// its own; it is included above and the macro dropped so that the name
// below holds wherever this header is seen.)
#ifdef LOCK_WRITE
#undef LOCK_WRITE
#endif
constexpr DWORD LOCK_WRITE = 1;
constexpr DWORD LOCK_EXCLUSIVE = 2;
constexpr DWORD LOCK_ONLYONCE = 4;

// MoveElementTo flags.
constexpr DWORD STGMOVE_MOVE = 0;
constexpr DWORD STGMOVE_COPY = 1;
constexpr DWORD STGMOVE_SHALLOWCOPY = 2;

// Memory flags of GlobalAlloc.
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

using SNB = OLECHAR**;

struct STATSTG {
    LPOLESTR pwcsName;  // task memory (CoTaskMemFree); null with STATFLAG_NONAME
    DWORD type;         // STGTY_*
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

// A block of memory behind a memory stream or lock-bytes object.
struct TvGlobalMemory;
using HGLOBAL = TvGlobalMemory*;

// ---------------------------------------------------------------------------
// Interfaces (slot order as in the binary COM layout)
// ---------------------------------------------------------------------------

struct ISequentialStream : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : public ISequentialStream {
    virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                           ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                             ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                 DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                   DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) = 0;
};

struct IEnumSTATSTG : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** ppenum) = 0;
};

struct IStorage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                                                   DWORD reserved2, IStream** ppstm) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode,
                                                 DWORD reserved2, IStream** ppstm) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                                                    DWORD reserved2, IStorage** ppstg) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority,
                                                  DWORD grfMode, SNB snbExclude, DWORD reserved,
                                                  IStorage** ppstg) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                                             IStorage* pstgDest) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest,
                                                    const OLECHAR* pwcsNewName, DWORD grfFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                                   IEnumSTATSTG** ppenum) = 0;
    virtual HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* pwcsName) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime,
                                                      const FILETIME* patime, const FILETIME* pmtime) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStateBits(DWORD grfStateBits, DWORD grfMask) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};

struct ILockBytes : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ReadAt(ULARGE_INTEGER ulOffset, void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteAt(ULARGE_INTEGER ulOffset, const void* pv, ULONG cb,
                                              ULONG* pcbWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER cb) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                 DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb,
                                                   DWORD dwLockType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};

TV_DECLARE_IID(ISequentialStream, IID_ISequentialStream);
TV_DECLARE_IID(IStream, IID_IStream);
TV_DECLARE_IID(IEnumSTATSTG, IID_IEnumSTATSTG);
TV_DECLARE_IID(IStorage, IID_IStorage);
TV_DECLARE_IID(ILockBytes, IID_ILockBytes);

// ---------------------------------------------------------------------------
// Compound files
// ---------------------------------------------------------------------------

// Creates a compound file. pwcsName null makes a new temporary file (in
// TMPDIR or /tmp). grfMode needs write access; with STGM_CREATE an existing
// file is replaced, without it an existing file gives
// STG_E_FILEALREADYEXISTS. STGM_DELETEONRELEASE removes the file when the
// root is released. STGM_TRANSACTED and STGM_CONVERT: STG_E_INVALIDFLAG.
HRESULT StgCreateDocfile(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved, IStorage** ppstgOpen);

// Opens a compound file. pstgPriority and snbExclude must be null.
// STG_E_FILENOTFOUND / STG_E_PATHNOTFOUND when missing, STG_E_SHAREVIOLATION
// when locked by another opener, STG_E_FILEALREADYEXISTS when the file is
// not a compound file, STG_E_INVALIDHEADER for a damaged header and
// STG_E_DOCFILECORRUPT for a damaged body.
HRESULT StgOpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude,
                       DWORD reserved, IStorage** ppstgOpen);

// S_OK for a compound file, S_FALSE for any other file, STG_E_FILENOTFOUND
// when it does not exist.
HRESULT StgIsStorageFile(const OLECHAR* pwcsName);

// This system's own: opens the compound file open on fd (which the caller
// has locked and keeps open) for reading and writing, with every write going
// to copyPath instead - an existing file that the caller made for it, which
// the first commit (or the final release) replaces by the whole compound
// file; the file on fd is never written. What StgOpenStorage would do with a
// copy of the file at copyPath, without making that copy.
HRESULT TvOpenStorageAsCopy(int fd, const OLECHAR* copyPath, IStorage** ppstgOpen);

// The same on an ILockBytes object (which receives the whole compound file
// on Commit of the root and on its final Release).
HRESULT StgCreateDocfileOnILockBytes(ILockBytes* plkbyt, DWORD grfMode, DWORD reserved,
                                     IStorage** ppstgOpen);
HRESULT StgOpenStorageOnILockBytes(ILockBytes* plkbyt, IStorage* pstgPriority, DWORD grfMode,
                                   SNB snbExclude, DWORD reserved, IStorage** ppstgOpen);
HRESULT StgIsStorageILockBytes(ILockBytes* plkbyt);

// ---------------------------------------------------------------------------
// Memory blocks, memory streams and memory lock bytes
// ---------------------------------------------------------------------------

// A movable memory block (contents zeroed). Null when out of memory.
HGLOBAL GlobalAlloc(UINT uFlags, size_t dwBytes);
// Resizes a block (new bytes zeroed). Null on failure (the block stays).
HGLOBAL GlobalReAlloc(HGLOBAL hMem, size_t dwBytes, UINT uFlags);
// Null on success.
HGLOBAL GlobalFree(HGLOBAL hMem);
size_t GlobalSize(HGLOBAL hMem);
// The address of the bytes; valid until the block is resized.
void* GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);

// A stream over a memory block; hGlobal null makes a new block. The stream
// starts with the block's size; with fDeleteOnRelease the block is freed
// when the stream and all its clones are released.
HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, IStream** ppstm);
HRESULT GetHGlobalFromStream(IStream* pstm, HGLOBAL* phglobal);

// A lock-bytes object over a memory block, with the same rules.
HRESULT CreateILockBytesOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, ILockBytes** pplkbyt);
HRESULT GetHGlobalFromILockBytes(ILockBytes* plkbyt, HGLOBAL* phglobal);
