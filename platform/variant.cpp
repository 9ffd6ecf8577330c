#include "platform/variant.h"

#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/memory_watch.h"

// ===========================================================================
// SAFEARRAY
// ===========================================================================

namespace {

// Arrays made here carry a hidden header in front of the descriptor with
// the element type and the real element stride of this process.
struct ArrayHeader {
    VARTYPE vt;
    ULONG stride;
};
constexpr size_t kHeaderSize = 16;
static_assert(sizeof(ArrayHeader) <= kHeaderSize, "array header too large");

bool arrayTypeAllowed(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_BOOL:
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR:
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8:
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: case VT_VARIANT: case VT_DECIMAL:
        return true;
    default:
        return false;
    }
}

ULONG strideOf(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
    }
}

// Arrays made here and not yet destroyed (tests read it).
std::atomic<long> g_liveArrays{0};

bool madeHere(const SAFEARRAY* psa)
{
    return (psa->fFeatures & FADF_HAVEVARTYPE) &&
           !(psa->fFeatures & (FADF_AUTO | FADF_STATIC | FADF_EMBEDDED));
}

ArrayHeader* headerOf(SAFEARRAY* psa)
{
    return reinterpret_cast<ArrayHeader*>(reinterpret_cast<unsigned char*>(psa) - kHeaderSize);
}

// The element type of an array: from the header of our own arrays, else
// from the feature bits. VT_EMPTY when unknown.
VARTYPE elementType(SAFEARRAY* psa)
{
    if (madeHere(psa)) return headerOf(psa)->vt;
    if (psa->fFeatures & FADF_BSTR) return VT_BSTR;
    if (psa->fFeatures & FADF_UNKNOWN) return VT_UNKNOWN;
    if (psa->fFeatures & FADF_DISPATCH) return VT_DISPATCH;
    if (psa->fFeatures & FADF_VARIANT) return VT_VARIANT;
    return VT_EMPTY;
}

ULONG elementStride(SAFEARRAY* psa)
{
    if (madeHere(psa)) return headerOf(psa)->stride;
    VARTYPE vt = elementType(psa);
    return vt != VT_EMPTY ? strideOf(vt) : psa->cbElements;
}

// Total element count; false on overflow.
bool elementCount(const SAFEARRAY* psa, size_t& count)
{
    size_t n = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        size_t c = psa->rgsabound[i].cElements;
        if (c != 0 && n > std::numeric_limits<size_t>::max() / c) return false;
        n *= c;
    }
    count = psa->cDims ? n : 0;
    return true;
}

USHORT featuresFor(VARTYPE vt)
{
    USHORT f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) f |= FADF_BSTR;
    else if (vt == VT_UNKNOWN) f |= FADF_UNKNOWN;
    else if (vt == VT_DISPATCH) f |= FADF_DISPATCH;
    else if (vt == VT_VARIANT) f |= FADF_VARIANT;
    return f;
}

// Allocates descriptor and data; bounds given in dimension order 1..n.
SAFEARRAY* createArray(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* bounds)
{
    if (!arrayTypeAllowed(vt) || cDims == 0 || cDims > 0xFFFF || !bounds) return nullptr;
    size_t descSize = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<unsigned char*>(tvp::callocNoted(1, kHeaderSize + descSize));
    if (!block) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHeaderSize);
    auto* hdr = reinterpret_cast<ArrayHeader*>(block);
    hdr->vt = vt;
    hdr->stride = strideOf(vt);
    psa->cDims = USHORT(cDims);
    psa->fFeatures = featuresFor(vt);
    psa->cbElements = tvp::safeArrayElementSize(vt);
    psa->cLocks = 0;
    for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = bounds[d];
    // No more data than a 32-bit process could hold.
    size_t count = 0;
    if (!elementCount(psa, count) || (count && hdr->stride > size_t(0x7FFFFFFF) / count)) {
        std::free(block);
        return nullptr;
    }
    if (count) {
        psa->pvData = tvp::callocNoted(count, hdr->stride);
        if (!psa->pvData) {
            std::free(block);
            return nullptr;
        }
    }
    g_liveArrays.fetch_add(1);
    return psa;
}

void clearElements(SAFEARRAY* psa)
{
    size_t count = 0;
    if (!psa->pvData || !elementCount(psa, count)) return;
    switch (elementType(psa)) {
    case VT_BSTR: {
        auto* p = static_cast<BSTR*>(psa->pvData);
        for (size_t i = 0; i < count; ++i) {
            SysFreeString(p[i]);
            p[i] = nullptr;
        }
        break;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        auto* p = static_cast<IUnknown**>(psa->pvData);
        for (size_t i = 0; i < count; ++i) {
            if (p[i]) p[i]->Release();
            p[i] = nullptr;
        }
        break;
    }
    case VT_VARIANT: {
        auto* p = static_cast<VARIANT*>(psa->pvData);
        for (size_t i = 0; i < count; ++i) VariantClear(&p[i]);
        break;
    }
    default:
        break;
    }
}

HRESULT cellOffset(SAFEARRAY* psa, const LONG* idx, size_t& offset)
{
    size_t cell = 0;
    size_t mult = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
        int64_t rel = int64_t(idx[d]) - int64_t(b.lLbound);
        if (rel < 0 || uint64_t(rel) >= b.cElements) return DISP_E_BADINDEX;
        cell += size_t(rel) * mult;
        mult *= b.cElements;
    }
    offset = cell * elementStride(psa);
    return S_OK;
}

}  // namespace

long tvp::liveSafeArrays() { return g_liveArrays.load(); }

ULONG tvp::safeArrayElementSize(VARTYPE vt)
{
    switch (vt) {
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return 4;
    case VT_VARIANT: return 16;
    default: return arrayTypeAllowed(vt) ? strideOf(vt) : 0;
    }
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound)
{
    return createArray(vt, cDims, rgsabound);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    SAFEARRAYBOUND b{cElements, lLbound};
    return createArray(vt, 1, &b);
}

SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, PVOID pvExtra)
{
    if (pvExtra) return nullptr;
    return SafeArrayCreateVector(vt, lLbound, cElements);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa) return S_OK;
    if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
    clearElements(psa);
    if (madeHere(psa)) {
        std::free(psa->pvData);
        std::free(headerOf(psa));
        g_liveArrays.fetch_sub(1);
    }
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa)
{
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa)
{
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = LONG(int64_t(b.lLbound) + int64_t(b.cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt) return E_INVALIDARG;
    VARTYPE vt = elementType(psa);
    if (vt == VT_EMPTY) return E_INVALIDARG;
    *pvt = vt;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa)
{
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFFFFFFu) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa)
{
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa)
{
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData)
{
    if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
    size_t off = 0;
    HRESULT hr = cellOffset(psa, rgIndices, off);
    if (FAILED(hr)) return hr;
    if (!psa->pvData) return E_UNEXPECTED;
    *ppvData = static_cast<unsigned char*>(psa->pvData) + off;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices || !pv) return E_INVALIDARG;
    void* cell = nullptr;
    HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    switch (elementType(psa)) {
    case VT_BSTR: {
        BSTR src = *static_cast<BSTR*>(cell);
        BSTR copy = nullptr;
        if (src) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(src), SysStringByteLen(src));
            if (!copy) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(pv) = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown* p = *static_cast<IUnknown**>(cell);
        if (p) p->AddRef();
        *static_cast<IUnknown**>(pv) = p;
        return S_OK;
    }
    case VT_VARIANT: {
        auto* out = static_cast<VARIANT*>(pv);
        VariantInit(out);
        return VariantCopy(out, static_cast<VARIANT*>(cell));
    }
    default:
        std::memcpy(pv, cell, elementStride(psa));
        return S_OK;
    }
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices) return E_INVALIDARG;
    void* cell = nullptr;
    HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    switch (elementType(psa)) {
    case VT_BSTR: {
        BSTR src = static_cast<BSTR>(pv);
        BSTR copy = nullptr;
        if (src) {
            copy = SysAllocStringByteLen(reinterpret_cast<const char*>(src), SysStringByteLen(src));
            if (!copy) return E_OUTOFMEMORY;
        }
        SysFreeString(*static_cast<BSTR*>(cell));
        *static_cast<BSTR*>(cell) = copy;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        auto* p = static_cast<IUnknown*>(pv);
        if (p) p->AddRef();
        IUnknown*& slot = *static_cast<IUnknown**>(cell);
        if (slot) slot->Release();
        slot = p;
        return S_OK;
    }
    case VT_VARIANT:
        if (!pv) return E_INVALIDARG;
        return VariantCopy(static_cast<VARIANT*>(cell), static_cast<VARIANT*>(pv));
    default:
        if (!pv) return E_INVALIDARG;
        std::memcpy(cell, pv, elementStride(psa));
        return S_OK;
    }
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    VARTYPE vt = elementType(psa);
    ULONG stride = elementStride(psa);
    SAFEARRAY* out = nullptr;
    if (vt != VT_EMPTY && psa->cDims) {
        SAFEARRAYBOUND bounds[64];
        SAFEARRAYBOUND* b = psa->cDims <= 64 ? bounds : new (std::nothrow) SAFEARRAYBOUND[psa->cDims];
        if (!b) return E_OUTOFMEMORY;
        for (USHORT d = 0; d < psa->cDims; ++d) b[d] = psa->rgsabound[psa->cDims - 1 - d];
        out = createArray(vt, psa->cDims, b);
        if (b != bounds) delete[] b;
        if (!out) return E_OUTOFMEMORY;
    } else {
        // A foreign array of unknown element type: copy its bytes.
        size_t descSize = sizeof(SAFEARRAY) + (psa->cDims ? psa->cDims - 1 : 0) * sizeof(SAFEARRAYBOUND);
        auto* block = static_cast<unsigned char*>(tvp::callocNoted(1, kHeaderSize + descSize));
        if (!block) return E_OUTOFMEMORY;
        out = reinterpret_cast<SAFEARRAY*>(block + kHeaderSize);
        std::memcpy(out, psa, descSize);
        out->fFeatures = FADF_HAVEVARTYPE;
        out->cLocks = 0;
        out->pvData = nullptr;
        auto* hdr = reinterpret_cast<ArrayHeader*>(block);
        hdr->vt = VT_EMPTY;
        hdr->stride = stride;
        size_t count = 0;
        if (elementCount(psa, count) && count && stride) {
            out->pvData = tvp::callocNoted(count, stride);
            if (!out->pvData) {
                std::free(block);
                return E_OUTOFMEMORY;
            }
        }
    }
    size_t count = 0;
    elementCount(psa, count);
    if (count && psa->pvData && out->pvData) {
        switch (vt) {
        case VT_BSTR: {
            auto* s = static_cast<BSTR*>(psa->pvData);
            auto* d = static_cast<BSTR*>(out->pvData);
            for (size_t i = 0; i < count; ++i) {
                if (!s[i]) continue;
                d[i] = SysAllocStringByteLen(reinterpret_cast<const char*>(s[i]), SysStringByteLen(s[i]));
                if (!d[i]) {
                    SafeArrayDestroy(out);
                    return E_OUTOFMEMORY;
                }
            }
            break;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* s = static_cast<IUnknown**>(psa->pvData);
            auto* d = static_cast<IUnknown**>(out->pvData);
            for (size_t i = 0; i < count; ++i) {
                d[i] = s[i];
                if (d[i]) d[i]->AddRef();
            }
            break;
        }
        case VT_VARIANT: {
            auto* s = static_cast<VARIANT*>(psa->pvData);
            auto* d = static_cast<VARIANT*>(out->pvData);
            for (size_t i = 0; i < count; ++i) {
                HRESULT hr = VariantCopy(&d[i], &s[i]);
                if (FAILED(hr)) {
                    SafeArrayDestroy(out);
                    return hr;
                }
            }
            break;
        }
        default:
            std::memcpy(out->pvData, psa->pvData, count * stride);
            break;
        }
    }
    *ppsaOut = out;
    return S_OK;
}

// ===========================================================================
// VARIANT
// ===========================================================================

namespace {

bool scalarTypeValid(VARTYPE base)
{
    switch (base) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT:
    case VT_UNKNOWN: case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

// A type a VARIANT may hold.
bool variantTypeValid(VARTYPE vt)
{
    VARTYPE base = vt & VT_TYPEMASK;
    VARTYPE flags = vt & ~VARTYPE(VT_TYPEMASK);
    if (flags & ~VARTYPE(VT_ARRAY | VT_BYREF)) return false;
    if (flags & VT_ARRAY) return arrayTypeAllowed(base);
    if (flags & VT_BYREF) return scalarTypeValid(base) && base != VT_EMPTY && base != VT_NULL;
    return scalarTypeValid(base) && base != VT_VARIANT;
}

}  // namespace

void VariantInit(VARIANTARG* pvarg)
{
    if (pvarg) std::memset(pvarg, 0, sizeof(VARIANT));
}

HRESULT VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg) return E_INVALIDARG;
    VARTYPE vt = pvarg->vt;
    if (!variantTypeValid(vt)) return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

namespace {

// Deep copy of src into a fresh (uninitialised) dst.
HRESULT copyInto(VARIANT* dst, const VARIANT* src)
{
    std::memcpy(dst, src, sizeof(VARIANT));
    VARTYPE vt = src->vt;
    if (vt & VT_BYREF) return S_OK;
    if (vt & VT_ARRAY) {
        dst->parray = nullptr;
        HRESULT hr = SafeArrayCopy(src->parray, &dst->parray);
        if (FAILED(hr)) {
            VariantInit(dst);
            return hr;
        }
    } else if (vt == VT_BSTR) {
        if (src->bstrVal) {
            dst->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                                 SysStringByteLen(src->bstrVal));
            if (!dst->bstrVal) {
                VariantInit(dst);
                return E_OUTOFMEMORY;
            }
        }
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (dst->punkVal) dst->punkVal->AddRef();
    }
    return S_OK;
}

// A shallow view of the value a by-reference VARIANT points at.
HRESULT derefView(const VARIANT* src, VARIANT* view)
{
    VariantInit(view);
    VARTYPE base = src->vt & ~VARTYPE(VT_BYREF);
    if (!src->byref) return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT* inner = src->pvarVal;
        if (inner->vt & VT_BYREF) return E_INVALIDARG;
        if (!variantTypeValid(inner->vt)) return DISP_E_BADVARTYPE;
        std::memcpy(view, inner, sizeof(VARIANT));
        return S_OK;
    }
    if (base & VT_ARRAY) {
        view->vt = base;
        view->parray = *src->pparray;
        return S_OK;
    }
    switch (base) {
    case VT_I1: case VT_UI1: view->bVal = *src->pbVal; break;
    case VT_I2: case VT_UI2: case VT_BOOL: view->iVal = *src->piVal; break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: view->lVal = *src->plVal; break;
    case VT_R4: view->fltVal = *src->pfltVal; break;
    case VT_R8: case VT_DATE: view->dblVal = *src->pdblVal; break;
    case VT_CY: case VT_I8: case VT_UI8: view->llVal = *src->pllVal; break;
    case VT_BSTR: view->bstrVal = *src->pbstrVal; break;
    case VT_UNKNOWN: case VT_DISPATCH: view->punkVal = *src->ppunkVal; break;
    case VT_DECIMAL: view->decVal = *src->pdecVal; break;
    default: return DISP_E_BADVARTYPE;
    }
    view->vt = base;
    return S_OK;
}

// Clears dst, then moves the (owned) value in; should dst not clear, the
// value is cleared and dst left as it is. dst may be where the value was
// copied from: it is cleared only now.
HRESULT moveInto(VARIANT* dst, VARIANT* value)
{
    HRESULT hr = VariantClear(dst);
    if (FAILED(hr)) {
        VariantClear(value);
        return hr;
    }
    std::memcpy(dst, value, sizeof(VARIANT));
    return S_OK;
}

}  // namespace

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!variantTypeValid(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT tmp;
    HRESULT hr = copyInto(&tmp, pvargSrc);
    if (FAILED(hr)) return hr;
    return moveInto(pvargDest, &tmp);
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc)
{
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    if (!variantTypeValid(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    VARIANT view;
    HRESULT hr = derefView(pvargSrc, &view);
    if (FAILED(hr)) return hr;
    VARIANT tmp;
    hr = copyInto(&tmp, &view);
    if (FAILED(hr)) return hr;
    return moveInto(pvarDest, &tmp);  // the destination may be the source itself
}

// ---------------------------------------------------------------------------
// Type conversion
// ---------------------------------------------------------------------------

namespace {

// A numeric value in one of three exact forms.
struct Number {
    enum Kind { Int, Float, Cy, Dec } kind = Int;
    bool neg = false;       // Int, Dec
    uint64_t mag = 0;       // Int: magnitude
    double d = 0;           // Float
    int64_t cy = 0;         // Cy: value * 10000
    unsigned __int128 dm = 0;  // Dec: mantissa (96 bits)
    int scale = 0;          // Dec
};

Number fromSigned(int64_t v)
{
    Number n;
    n.neg = v < 0;
    n.mag = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
    return n;
}

Number fromUnsigned(uint64_t v)
{
    Number n;
    n.mag = v;
    return n;
}

Number fromDouble(double v)
{
    Number n;
    n.kind = Number::Float;
    n.d = v;
    return n;
}

unsigned __int128 pow10u128(int e)
{
    unsigned __int128 r = 1;
    while (e-- > 0) r *= 10;
    return r;
}

long double toLongDouble(const Number& n)
{
    switch (n.kind) {
    case Number::Int: return n.neg ? -(long double)n.mag : (long double)n.mag;
    case Number::Float: return n.d;
    case Number::Cy: return (long double)n.cy / 10000.0L;
    case Number::Dec: {
        long double v = (long double)n.dm / (long double)pow10u128(n.scale);
        return n.neg ? -v : v;
    }
    }
    return 0;
}

// Divides a magnitude by 10^scale rounding half to even.
unsigned __int128 roundDiv(unsigned __int128 m, unsigned __int128 div)
{
    unsigned __int128 q = m / div, r = m % div;
    unsigned __int128 twice = r * 2;
    if (twice > div || (twice == div && (q & 1))) ++q;
    return q;
}

// The value rounded half to even to an integer: sign and 128-bit magnitude.
// False when out of any 64-bit range or not a number.
bool toInteger(const Number& n, bool& neg, unsigned __int128& mag)
{
    switch (n.kind) {
    case Number::Int:
        neg = n.neg && n.mag;
        mag = n.mag;
        return true;
    case Number::Cy: {
        neg = n.cy < 0;
        unsigned __int128 m = neg ? (unsigned __int128)(-(__int128)n.cy) : (unsigned __int128)n.cy;
        mag = roundDiv(m, 10000);
        if (mag == 0) neg = false;
        return true;
    }
    case Number::Dec:
        neg = n.neg;
        mag = roundDiv(n.dm, pow10u128(n.scale));
        if (mag == 0) neg = false;
        return true;
    case Number::Float: {
        if (!std::isfinite(n.d)) return false;
        double r = std::nearbyint(n.d);  // default rounding: half to even
        if (std::fabs(r) >= 18446744073709551616.0) return false;
        neg = r < 0;
        mag = (unsigned __int128)(uint64_t)std::fabs(r);
        if (mag == 0) neg = false;
        return true;
    }
    }
    return false;
}

bool toSignedRange(const Number& n, int64_t lo, int64_t hi, int64_t& out)
{
    bool neg;
    unsigned __int128 mag;
    if (!toInteger(n, neg, mag)) return false;
    __int128 v = neg ? -(__int128)mag : (__int128)mag;
    if (v < lo || v > hi) return false;
    out = int64_t(v);
    return true;
}

bool toUnsignedRange(const Number& n, uint64_t hi, uint64_t& out)
{
    bool neg;
    unsigned __int128 mag;
    if (!toInteger(n, neg, mag)) return false;
    if (neg || mag > hi) return false;
    out = uint64_t(mag);
    return true;
}

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0;
}

// Parses the text of a number: blanks around it, optional sign, digits
// with optional ',' group separators, optional '.' fraction, optional
// exponent; or "&H" / "&O" followed by hexadecimal / octal digits.
bool parseNumber(const OLECHAR* s, size_t len, Number& out)
{
    size_t i = 0, e = len;
    while (i < e && isSpace(s[i])) ++i;
    while (e > i && isSpace(s[e - 1])) --e;
    if (i == e) return false;
    if (s[i] == u'&' && i + 1 < e && (s[i + 1] == u'H' || s[i + 1] == u'h' || s[i + 1] == u'O' || s[i + 1] == u'o')) {
        unsigned base = (s[i + 1] == u'H' || s[i + 1] == u'h') ? 16 : 8;
        i += 2;
        if (i == e) return false;
        uint64_t v = 0;
        for (; i < e; ++i) {
            unsigned dgt;
            char16_t c = s[i];
            if (c >= u'0' && c <= u'9') dgt = c - u'0';
            else if (c >= u'a' && c <= u'f') dgt = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F') dgt = c - u'A' + 10;
            else return false;
            if (dgt >= base) return false;
            if (v > (std::numeric_limits<uint64_t>::max() - dgt) / base) return false;
            v = v * base + dgt;
        }
        out = fromUnsigned(v);
        return true;
    }
    std::string text;
    bool neg = false;
    if (s[i] == u'+' || s[i] == u'-') {
        neg = s[i] == u'-';
        ++i;
    }
    bool digits = false, isFloat = false;
    for (; i < e && ((s[i] >= u'0' && s[i] <= u'9') || (s[i] == u',' && digits)); ++i)
        if (s[i] != u',') {
            text += char(s[i]);
            digits = true;
        }
    if (i < e && s[i] == u'.') {
        isFloat = true;
        text += '.';
        for (++i; i < e && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            text += char(s[i]);
            digits = true;
        }
    }
    if (!digits) return false;
    if (i < e && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        isFloat = true;
        text += 'e';
        ++i;
        if (i < e && (s[i] == u'+' || s[i] == u'-')) text += char(s[i++]);
        bool expDigits = false;
        for (; i < e && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            text += char(s[i]);
            expDigits = true;
        }
        if (!expDigits) return false;
    }
    if (i != e) return false;
    if (!isFloat) {
        uint64_t v = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec == std::errc() && r.ptr == text.data() + text.size()) {
            out = fromUnsigned(v);
            out.neg = neg && v;
            return true;
        }
    }
    double d = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), d);
    if (r.ptr != text.data() + text.size()) return false;
    if (r.ec == std::errc::result_out_of_range) d = std::numeric_limits<double>::infinity();
    out = fromDouble(neg ? -d : d);
    return true;
}

bool equalsIgnoreCase(const OLECHAR* s, size_t len, const char* word)
{
    size_t i = 0, e = len;
    while (i < e && isSpace(s[i])) ++i;
    while (e > i && isSpace(s[e - 1])) --e;
    size_t n = std::strlen(word);
    if (e - i != n) return false;
    for (size_t k = 0; k < n; ++k) {
        char16_t c = s[i + k];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != char16_t(word[k])) return false;
    }
    return true;
}

// The numeric value of a scalar VARIANT (by-reference already resolved).
HRESULT numberOf(const VARIANT& v, Number& n, bool boolAsUnsigned = false, uint64_t unsignedTrue = 0)
{
    switch (v.vt) {
    case VT_EMPTY: n = fromSigned(0); return S_OK;
    case VT_I1: n = fromSigned(static_cast<signed char>(v.cVal)); return S_OK;
    case VT_I2: n = fromSigned(v.iVal); return S_OK;
    case VT_I4: case VT_INT: n = fromSigned(v.lVal); return S_OK;
    case VT_I8: n = fromSigned(v.llVal); return S_OK;
    case VT_UI1: n = fromUnsigned(v.bVal); return S_OK;
    case VT_UI2: n = fromUnsigned(v.uiVal); return S_OK;
    case VT_UI4: case VT_UINT: n = fromUnsigned(v.ulVal); return S_OK;
    case VT_UI8: n = fromUnsigned(v.ullVal); return S_OK;
    case VT_BOOL:
        // True is -1; an unsigned target gets its all-ones value.
        if (boolAsUnsigned)
            n = fromUnsigned(v.boolVal ? unsignedTrue : 0);
        else
            n = fromSigned(v.boolVal ? -1 : 0);
        return S_OK;
    case VT_R4: n = fromDouble(v.fltVal); return S_OK;
    case VT_R8: case VT_DATE: n = fromDouble(v.dblVal); return S_OK;
    case VT_CY: n.kind = Number::Cy; n.cy = v.cyVal.int64; return S_OK;
    case VT_DECIMAL:
        if (v.decVal.scale > 28) return DISP_E_OVERFLOW;
        n.kind = Number::Dec;
        n.neg = (v.decVal.sign & 0x80) != 0;
        n.scale = v.decVal.scale;
        n.dm = ((unsigned __int128)v.decVal.Hi32 << 64) | v.decVal.Lo64;
        if (n.dm == 0) n.neg = false;
        return S_OK;
    case VT_BSTR: {
        const OLECHAR* s = v.bstrVal ? v.bstrVal : u"";
        if (!parseNumber(s, SysStringLen(v.bstrVal), n)) return DISP_E_TYPEMISMATCH;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

std::string formatDouble(double d, int precision)
{
    if (d == 0) return "0";
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d < 0 ? "-1.#INF" : "1.#INF";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, precision);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    return s;
}

std::string formatDecimal(bool neg, unsigned __int128 m, int scale)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(m % 10)));
        m /= 10;
    } while (m);
    if (scale > 0) {
        while (int(digits.size()) <= scale) digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - scale, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (neg && digits != "0") digits.insert(digits.begin(), '-');
    return digits;
}

BSTR asciiToBstr(const std::string& s)
{
    std::u16string w(s.begin(), s.end());
    return SysAllocStringLen(w.data(), UINT(w.size()));
}

HRESULT toText(const VARIANT& v, USHORT flags, BSTR& out)
{
    std::string s;
    switch (v.vt) {
    case VT_EMPTY: s = ""; break;
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            s = v.boolVal ? "True" : "False";
        else
            s = v.boolVal ? "-1" : "0";
        break;
    case VT_I1: s = std::to_string(int(static_cast<signed char>(v.cVal))); break;
    case VT_I2: s = std::to_string(v.iVal); break;
    case VT_I4: case VT_INT: s = std::to_string(v.lVal); break;
    case VT_I8: s = std::to_string(v.llVal); break;
    case VT_UI1: s = std::to_string(unsigned(v.bVal)); break;
    case VT_UI2: s = std::to_string(v.uiVal); break;
    case VT_UI4: case VT_UINT: s = std::to_string(v.ulVal); break;
    case VT_UI8: s = std::to_string(v.ullVal); break;
    case VT_R4: s = formatDouble(v.fltVal, 7); break;
    case VT_R8: s = formatDouble(v.dblVal, 15); break;
    case VT_CY: {
        int64_t c = v.cyVal.int64;
        bool neg = c < 0;
        unsigned __int128 m = neg ? (unsigned __int128)(-(__int128)c) : (unsigned __int128)c;
        s = formatDecimal(neg, m, 4);
        break;
    }
    case VT_DECIMAL: {
        Number n;
        HRESULT hr = numberOf(v, n);
        if (FAILED(hr)) return hr;
        s = formatDecimal(n.neg, n.dm, n.scale);
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    out = asciiToBstr(s);
    return out ? S_OK : E_OUTOFMEMORY;
}

HRESULT convertScalar(const VARIANT& src, VARTYPE vt, USHORT flags, VARIANT& r)
{
    VariantInit(&r);
    if (vt == VT_EMPTY) return S_OK;
    if (src.vt == VT_NULL || vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    if (src.vt == VT_ERROR || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    if (vt == VT_BSTR) {
        BSTR b = nullptr;
        HRESULT hr = toText(src, flags, b);
        if (FAILED(hr)) return hr;
        r.vt = VT_BSTR;
        r.bstrVal = b;
        return S_OK;
    }
    if (vt == VT_BOOL && src.vt == VT_BSTR) {
        const OLECHAR* s = src.bstrVal ? src.bstrVal : u"";
        UINT len = SysStringLen(src.bstrVal);
        if (equalsIgnoreCase(s, len, "true")) {
            r.vt = VT_BOOL;
            r.boolVal = VARIANT_TRUE;
            return S_OK;
        }
        if (equalsIgnoreCase(s, len, "false")) {
            r.vt = VT_BOOL;
            r.boolVal = VARIANT_FALSE;
            return S_OK;
        }
    }
    uint64_t unsignedTrue = 0;
    switch (vt) {
    case VT_UI1: unsignedTrue = 0xFF; break;
    case VT_UI2: unsignedTrue = 0xFFFF; break;
    case VT_UI4: case VT_UINT: unsignedTrue = 0xFFFFFFFFu; break;
    case VT_UI8: unsignedTrue = ~uint64_t(0); break;
    default: break;
    }
    Number n;
    HRESULT hr = numberOf(src, n, unsignedTrue != 0, unsignedTrue);
    if (FAILED(hr)) return hr;
    int64_t sv = 0;
    uint64_t uv = 0;
    switch (vt) {
    case VT_I1:
        if (!toSignedRange(n, -128, 127, sv)) return DISP_E_OVERFLOW;
        r.cVal = CHAR(sv);
        break;
    case VT_I2:
        if (!toSignedRange(n, -32768, 32767, sv)) return DISP_E_OVERFLOW;
        r.iVal = SHORT(sv);
        break;
    case VT_I4:
    case VT_INT:
        if (!toSignedRange(n, INT32_MIN, INT32_MAX, sv)) return DISP_E_OVERFLOW;
        r.lVal = LONG(sv);
        break;
    case VT_I8:
        if (!toSignedRange(n, INT64_MIN, INT64_MAX, sv)) return DISP_E_OVERFLOW;
        r.llVal = sv;
        break;
    case VT_UI1:
        if (!toUnsignedRange(n, 0xFF, uv)) return DISP_E_OVERFLOW;
        r.bVal = BYTE(uv);
        break;
    case VT_UI2:
        if (!toUnsignedRange(n, 0xFFFF, uv)) return DISP_E_OVERFLOW;
        r.uiVal = USHORT(uv);
        break;
    case VT_UI4:
    case VT_UINT:
        if (!toUnsignedRange(n, 0xFFFFFFFFu, uv)) return DISP_E_OVERFLOW;
        r.ulVal = ULONG(uv);
        break;
    case VT_UI8:
        if (!toUnsignedRange(n, ~uint64_t(0), uv)) return DISP_E_OVERFLOW;
        r.ullVal = uv;
        break;
    case VT_BOOL: {
        bool nonzero;
        if (n.kind == Number::Float) {
            if (std::isnan(n.d)) return DISP_E_OVERFLOW;
            nonzero = n.d != 0;
        } else if (n.kind == Number::Cy) {
            nonzero = n.cy != 0;
        } else if (n.kind == Number::Dec) {
            nonzero = n.dm != 0;
        } else {
            nonzero = n.mag != 0;
        }
        r.boolVal = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_R4: {
        long double d = toLongDouble(n);
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
        r.fltVal = float(d);
        break;
    }
    case VT_R8: {
        r.dblVal = double(toLongDouble(n));
        break;
    }
    case VT_DATE: {
        long double d = toLongDouble(n);
        // 0100-01-01 to 9999-12-31.
        if (!(d >= -657434.0L && d < 2958466.0L)) return DISP_E_OVERFLOW;
        r.date = double(d);
        break;
    }
    case VT_CY: {
        if (n.kind == Number::Cy) {
            r.cyVal.int64 = n.cy;
        } else if (n.kind == Number::Float) {
            if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
            double scaled = std::nearbyint(n.d * 10000.0);
            if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) return DISP_E_OVERFLOW;
            r.cyVal.int64 = int64_t(scaled);
        } else {
            unsigned __int128 m = n.kind == Number::Int ? n.mag : n.dm;
            unsigned __int128 scaled =
                n.kind == Number::Int ? m * 10000
                                      : (n.scale <= 4 ? m * pow10u128(4 - n.scale) : roundDiv(m, pow10u128(n.scale - 4)));
            __int128 v = n.neg ? -(__int128)scaled : (__int128)scaled;
            if (v < INT64_MIN || v > INT64_MAX) return DISP_E_OVERFLOW;
            r.cyVal.int64 = int64_t(v);
        }
        break;
    }
    case VT_DECIMAL: {
        // Exact for integer, currency and decimal sources.
        DECIMAL d{};
        if (n.kind == Number::Int) {
            d.Lo64 = n.mag;
            d.sign = n.neg ? 0x80 : 0;
        } else if (n.kind == Number::Cy) {
            bool neg = n.cy < 0;
            unsigned __int128 m = neg ? (unsigned __int128)(-(__int128)n.cy) : (unsigned __int128)n.cy;
            d.Lo64 = uint64_t(m);
            d.scale = 4;
            d.sign = neg ? 0x80 : 0;
        } else if (n.kind == Number::Dec) {
            d.Lo64 = uint64_t(n.dm);
            d.Hi32 = ULONG(n.dm >> 64);
            d.scale = BYTE(n.scale);
            d.sign = n.neg ? 0x80 : 0;
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        r.decVal = d;
        r.vt = VT_DECIMAL;
        return S_OK;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    r.vt = vt;
    return S_OK;
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                            VARTYPE vt)
{
    (void)lcid;
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!variantTypeValid(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
    if (vt != VT_EMPTY && vt != VT_NULL && !variantTypeValid(vt)) return DISP_E_BADVARTYPE;

    // Resolve a by-reference source into an owned copy.
    VARIANT src;
    VariantInit(&src);
    HRESULT hr = VariantCopyInd(&src, pvarSrc);
    if (FAILED(hr)) return hr;

    VARIANT r;
    VariantInit(&r);
    if (src.vt == vt) {
        r = src;  // take over what src owns
        VariantInit(&src);
    } else if ((vt & VT_ARRAY) || (src.vt & VT_ARRAY)) {
        hr = DISP_E_TYPEMISMATCH;
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH || src.vt == VT_UNKNOWN || src.vt == VT_DISPATCH) {
        hr = DISP_E_TYPEMISMATCH;
    } else {
        hr = convertScalar(src, vt, wFlags, r);
    }
    VariantClear(&src);
    if (FAILED(hr)) {
        VariantClear(&r);
        return hr;
    }
    return moveInto(pvargDest, &r);
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt)
{
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
