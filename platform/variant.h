// VARIANT and SAFEARRAY in their Windows shape, with the functions the
// system uses to make, copy, convert and take apart such values.
//
// Sizes that reach files or digests are those of 32-bit Windows: a VARIANT
// is 16 bytes, and SafeArrayGetElemsize / cbElements report 4 for BSTR and
// interface elements although the data here holds 8-byte pointers. Element
// data is addressed by type (BSTR*, VARIANT*, ...), never by cbElements.
#pragma once
#include <cstddef>

#include "platform/com.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

using DATE = double;  // days since 1899-12-30, fraction = time of day
using CHAR = char;
using FLOAT = float;
using DOUBLE = double;
using DISPID = LONG;
using PVOID = void*;

// Currency: a 64-bit integer scaled by 10000.
union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    };
    LONGLONG int64;
};

// 96-bit integer with a decimal scale (0..28) and a sign (0x80 negative).
struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};
static_assert(sizeof(DECIMAL) == 16, "DECIMAL must be 16 bytes");

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xFFFF,
    VT_ILLEGALMASKED = 0x0FFF,
    VT_TYPEMASK = 0x0FFF
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// fFeatures bits.
constexpr USHORT FADF_AUTO = 0x0001;
constexpr USHORT FADF_STATIC = 0x0002;
constexpr USHORT FADF_EMBEDDED = 0x0004;
constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_RECORD = 0x0020;
constexpr USHORT FADF_HAVEIID = 0x0040;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

// rgsabound holds the bounds in reverse order, as on Windows:
// rgsabound[cDims - 1] describes dimension 1 (the leftmost index, which
// varies fastest in the data), rgsabound[0] the last dimension.
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;  // element size on 32-bit Windows
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

struct ITypeInfo;
struct DISPPARAMS;
struct EXCEPINFO;
struct tagVARIANT;
using VARIANT = tagVARIANT;
using VARIANTARG = tagVARIANT;
using LPVARIANT = VARIANT*;

struct IDispatch : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                    LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                             EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};
TV_DECLARE_IID(IDispatch, IID_IDispatch);

struct tagVARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                SAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                LONGLONG* pllVal;
                FLOAT* pfltVal;
                DOUBLE* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                IUnknown** ppunkVal;
                IDispatch** ppdispVal;
                SAFEARRAY** pparray;
                VARIANT* pvarVal;
                PVOID byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                CHAR* pcVal;
                USHORT* puiVal;
                ULONG* pulVal;
                ULONGLONG* pullVal;
                INT* pintVal;
                UINT* puintVal;
            };
        };
        DECIMAL decVal;  // overlays the whole VARIANT; its wReserved is vt
    };
};
static_assert(sizeof(VARIANT) == 16, "VARIANT must be 16 bytes");

// VariantChangeType flags.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
constexpr USHORT VARIANT_CALENDAR_HIJRI = 0x08;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// ---------------------------------------------------------------------------
// VARIANT functions
// ---------------------------------------------------------------------------

// Sets the VARIANT to VT_EMPTY (all 16 bytes zero).
void VariantInit(VARIANTARG* pvarg);
// Frees what the VARIANT owns (BSTR, interface reference, array) and sets it
// to VT_EMPTY. By-reference values are not freed. DISP_E_BADVARTYPE for an
// unknown type, DISP_E_ARRAYISLOCKED for a locked array.
HRESULT VariantClear(VARIANTARG* pvarg);
// Deep copy (BSTR and arrays duplicated, interfaces AddRef'ed); by-reference
// values are copied as the reference. The destination is cleared first.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a by-reference source is copied as the value it
// refers to. Destination and source may be the same VARIANT.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Converts between the numeric types, VT_BOOL, VT_BSTR, VT_CY, VT_DATE (as
// a number), VT_EMPTY and VT_NULL (to VT_NULL only). Float to integer rounds
// half to even; out of range gives DISP_E_OVERFLOW, text that is no number
// DISP_E_TYPEMISMATCH. Numbers are written and read with '.' as decimal
// point: R4 with 7, R8 with 15 significant digits ("%G" form, e.g. "1E+20").
// VT_BOOL becomes "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL or
// VARIANT_LOCALBOOL. Destination and source may be the same VARIANT.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
// The same; every locale converts as the invariant (English) one.
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                            VARTYPE vt);

// ---------------------------------------------------------------------------
// SAFEARRAY functions
// ---------------------------------------------------------------------------

// A new array of cDims dimensions with bounds given for dimension 1 first;
// data zeroed. Null for an element type that arrays cannot hold.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// pvExtra (record info or interface id) is not supported and must be null.
SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, PVOID pvExtra);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);  // null is S_OK
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
// nDim counts from 1 (the leftmost dimension).
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// Address of one element; rgIndices[0] is the index of dimension 1.
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
// Copies one element out: a BSTR as a new BSTR, a VARIANT with VariantCopy,
// an interface with AddRef, anything else by value. pv points to storage
// of the element's type.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Stores a copy of one element. pv is the BSTR itself for VT_BSTR arrays,
// the interface pointer for VT_UNKNOWN / VT_DISPATCH arrays, and a pointer
// to the value (VARIANT*, LONG*, ...) for every other element type.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

namespace tvp {
// The element size an array of this type reports (32-bit Windows sizes);
// 0 for a type that arrays cannot hold.
ULONG safeArrayElementSize(VARTYPE vt);
// Arrays made by SafeArrayCreate* / SafeArrayCopy and not yet destroyed.
long liveSafeArrays();
}  // namespace tvp
