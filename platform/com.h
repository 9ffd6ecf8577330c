// COM basics of the platform layer: the IUnknown and IClassFactory
// interfaces, interface ids, task memory, BSTR strings, a reference-counting
// smart pointer and the current time as a FILETIME.
//
// Interfaces are plain structs of pure virtual functions in the slot order
// of the binary COM layout. They have no virtual destructor (that would add
// a slot); an object ends its own life in its final Release.
#pragma once
#include <cstddef>
#include <memory>
#include <utility>

#include "platform/wintypes.h"

// Calling-convention markers of interface methods; 64-bit Linux has one
// convention, so they expand to nothing.
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif
#ifndef STDAPICALLTYPE
#define STDAPICALLTYPE
#endif

// ---------------------------------------------------------------------------
// Interface ids
// ---------------------------------------------------------------------------

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ILockBytes = {0x0000000A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumSTATSTG = {0x0000000D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The interface id that belongs to an interface type, for ComPtr and
// queryInterface. Every interface that is to be used with them declares its
// id once with TV_DECLARE_IID (at namespace scope, after the interface).
template <class T>
struct ComIid;

#define TV_DECLARE_IID(Interface, iidValue)                  \
    template <>                                              \
    struct ComIid<Interface> {                               \
        static constexpr const IID& value() { return iidValue; } \
    }

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

TV_DECLARE_IID(IUnknown, IID_IUnknown);
TV_DECLARE_IID(IClassFactory, IID_IClassFactory);

// ---------------------------------------------------------------------------
// Task memory: memory handed across interfaces, freed by the receiver.
// ---------------------------------------------------------------------------

// A request of 0 bytes still yields a distinct pointer; null when out of memory.
void* CoTaskMemAlloc(size_t cb);
// pv null behaves as CoTaskMemAlloc; cb 0 frees pv and returns null.
void* CoTaskMemRealloc(void* pv, size_t cb);
void CoTaskMemFree(void* pv);  // null is ignored

// ---------------------------------------------------------------------------
// BSTR: UTF-16 text preceded by a 4-byte byte count and followed by a NUL
// unit. The BSTR points at the text; the count lies in the 4 bytes before.
// A null BSTR counts as the empty string.
// ---------------------------------------------------------------------------

// Copy of a NUL-terminated text; null for a null text or out of memory.
BSTR SysAllocString(const OLECHAR* psz);
// cch units of psz (which may contain NULs); psz null gives cch zero units.
BSTR SysAllocStringLen(const OLECHAR* psz, UINT cch);
// A BSTR of len bytes copied from psz (uninitialised, here zeroed, when psz
// is null); the byte count may be odd.
BSTR SysAllocStringByteLen(const char* psz, UINT len);
void SysFreeString(BSTR bstr);  // null is ignored
UINT SysStringLen(BSTR bstr);      // in units (byte count / 2); 0 for null
UINT SysStringByteLen(BSTR bstr);  // byte count; 0 for null
// Replaces *pbstr by a copy of psz (freeing the old one). FALSE on failure
// (the old string stays).
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch);

// Owns a BSTR (null is fine) and frees it when it goes; not copyable.
class OwnedBstr {
public:
    explicit OwnedBstr(BSTR b) noexcept : m_b(b) {}
    ~OwnedBstr() { SysFreeString(m_b); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR get() const noexcept { return m_b; }

private:
    BSTR m_b;
};

// ---------------------------------------------------------------------------
// Live counters (for tests): task-memory blocks and BSTRs not yet freed, and
// interface references that objects reporting through noteInterfaceRefs
// still hold out. A test reads them before and after its work.
// ---------------------------------------------------------------------------

namespace tvp {
long liveTaskMemBlocks();
long liveBstrs();
long liveInterfaceRefs();
// Objects that want their references counted call this from AddRef (+1)
// and Release (-1).
void noteInterfaceRefs(long delta);
}  // namespace tvp

// The text of an HRESULT for trace lines: "S_OK" for 0, the constant's name
// for the codes the system knows ("E_FAIL", "E_NOINTERFACE", ...), otherwise
// "HRESULT 0x%08X".
const char* hresultText(HRESULT hr);

// ---------------------------------------------------------------------------
// Time
// ---------------------------------------------------------------------------

// The current time, UTC, in 100-ns intervals since 1601-01-01.
HRESULT CoFileTimeNow(FILETIME* pFileTime);

namespace tvp {
// Conversion between FILETIME and 100-ns ticks.
inline ULONGLONG fileTimeToTicks(const FILETIME& ft)
{
    return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME ticksToFileTime(ULONGLONG t)
{
    FILETIME ft;
    ft.dwLowDateTime = DWORD(t & 0xFFFFFFFFu);
    ft.dwHighDateTime = DWORD(t >> 32);
    return ft;
}
// Ticks between 1601-01-01 and the Unix epoch 1970-01-01.
constexpr ULONGLONG kFileTimeUnixEpoch = 116444736000000000ULL;
}  // namespace tvp

// ---------------------------------------------------------------------------
// ComPtr: owns one reference to an interface.
// ---------------------------------------------------------------------------

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference (AddRef).
    ComPtr(T* p) noexcept : p_(p)
    {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~ComPtr() { Release(); }

    ComPtr& operator=(const ComPtr& o) noexcept { return *this = o.p_; }
    ComPtr& operator=(ComPtr&& o) noexcept
    {
        if (this != std::addressof(o)) {
            Release();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    ComPtr& operator=(T* p) noexcept
    {
        if (p) p->AddRef();
        T* old = p_;
        p_ = p;
        if (old) old->Release();
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept
    {
        Release();
        return *this;
    }

    T* get() const noexcept { return p_; }
    operator T*() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator!() const noexcept { return p_ == nullptr; }

    // Address for an out-parameter: releases what was held first, so that a
    // call that fills it cannot leak the previous reference.
    T** operator&() noexcept
    {
        Release();
        return &p_;
    }
    T** put() noexcept { return &*this; }

    // Drops the reference (if any).
    void Release() noexcept
    {
        T* old = p_;
        if (old) {
            p_ = nullptr;
            old->Release();
        }
    }
    // Takes over a reference without AddRef.
    void Attach(T* p) noexcept
    {
        Release();
        p_ = p;
    }
    // Gives up the reference without Release.
    T* Detach() noexcept
    {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    // Hands out a new reference.
    HRESULT CopyTo(T** pp) const noexcept
    {
        if (!pp) return E_POINTER;
        *pp = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    // QueryInterface for another interface type.
    template <class Q>
    HRESULT QueryInterface(Q** pp) const noexcept
    {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (!p_) return E_POINTER;
        return p_->QueryInterface(ComIid<Q>::value(), reinterpret_cast<void**>(pp));
    }
    bool IsEqualObject(IUnknown* other) const noexcept;

private:
    T* p_ = nullptr;
};

// Two interface pointers name the same object when their IUnknown agree.
template <class T>
bool ComPtr<T>::IsEqualObject(IUnknown* other) const noexcept
{
    if (!p_ && !other) return true;
    if (!p_ || !other) return false;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    p_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    bool same = a && a == b;
    if (a) a->Release();
    if (b) b->Release();
    return same;
}
