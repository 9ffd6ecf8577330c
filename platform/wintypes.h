// Windows-shaped fixed-width types of the platform layer. Everything that is
// written to a file or hashed has the size it has on 32-bit little-endian
// Windows: LONG/ULONG/DWORD are 32 bits, wide text is UTF-16 (char16_t).
#pragma once
#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using BOOL = int32_t;
using HRESULT = int32_t;
using SCODE = int32_t;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using VARIANT_BOOL = int16_t;
using VARTYPE = uint16_t;
using LCID = uint32_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

union LARGE_INTEGER {
    struct { DWORD LowPart; LONG HighPart; } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct { DWORD LowPart; DWORD HighPart; } u;
    ULONGLONG QuadPart;
};

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// GUID in Windows layout: Data1..Data3 little-endian integers, Data4 bytes.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16, "GUID must be 16 bytes");
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }
constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    ((HRESULT)(((uint32_t)(sev) << 31) | ((uint32_t)(fac) << 16) | ((uint32_t)(code))))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1fff)

// The HRESULT values the system uses, with their Windows numbers.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_ABORT = HRESULT(0x80004004u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = HRESULT(0x80070005u);
constexpr HRESULT E_HANDLE = HRESULT(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);
constexpr HRESULT SELFREG_E_CLASS = HRESULT(0x80040201u);
constexpr HRESULT DISP_E_TYPEMISMATCH = HRESULT(0x80020005u);
constexpr HRESULT DISP_E_BADVARTYPE = HRESULT(0x80020008u);
constexpr HRESULT DISP_E_OVERFLOW = HRESULT(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = HRESULT(0x8002000Bu);
constexpr HRESULT DISP_E_ARRAYISLOCKED = HRESULT(0x8002000Du);
constexpr HRESULT STG_E_INVALIDFUNCTION = HRESULT(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = HRESULT(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = HRESULT(0x80030003u);
constexpr HRESULT STG_E_TOOMANYOPENFILES = HRESULT(0x80030004u);
constexpr HRESULT STG_E_ACCESSDENIED = HRESULT(0x80030005u);
constexpr HRESULT STG_E_INVALIDHANDLE = HRESULT(0x80030006u);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = HRESULT(0x80030008u);
constexpr HRESULT STG_E_INVALIDPOINTER = HRESULT(0x80030009u);
constexpr HRESULT STG_E_NOMOREFILES = HRESULT(0x80030012u);
constexpr HRESULT STG_E_WRITEFAULT = HRESULT(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = HRESULT(0x8003001Eu);
constexpr HRESULT STG_E_SHAREVIOLATION = HRESULT(0x80030020u);
constexpr HRESULT STG_E_LOCKVIOLATION = HRESULT(0x80030021u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = HRESULT(0x80030050u);
constexpr HRESULT STG_E_INVALIDPARAMETER = HRESULT(0x80030057u);
constexpr HRESULT STG_E_MEDIUMFULL = HRESULT(0x80030070u);
constexpr HRESULT STG_E_INVALIDNAME = HRESULT(0x800300FCu);
constexpr HRESULT STG_E_INVALIDFLAG = HRESULT(0x800300FFu);
constexpr HRESULT STG_E_UNKNOWN = HRESULT(0x800300FDu);
constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = HRESULT(0x800300FEu);
constexpr HRESULT STG_E_INVALIDHEADER = HRESULT(0x800300FBu);
constexpr HRESULT STG_E_OLDFORMAT = HRESULT(0x80030104u);
constexpr HRESULT STG_E_OLDDLL = HRESULT(0x80030105u);
constexpr HRESULT STG_E_SHAREREQUIRED = HRESULT(0x80030106u);
constexpr HRESULT STG_E_NOTFILEBASEDSTORAGE = HRESULT(0x80030107u);
constexpr HRESULT STG_E_DOCFILECORRUPT = HRESULT(0x80030109u);
constexpr HRESULT STG_E_REVERTED = HRESULT(0x80030102u);
constexpr HRESULT STG_S_CONVERTED = HRESULT(0x00030200u);
