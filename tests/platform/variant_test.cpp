// VARIANT conversions and copies, SAFEARRAY layout and element access.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "platform/variant.h"

namespace {

// A VARIANT that clears itself.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { VariantClear(this); }
};

std::u16string text(const VARIANT& v)
{
    return v.vt == VT_BSTR ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u"<not a BSTR>";
}

void setBstr(VARIANT& v, const char16_t* s)
{
    VariantClear(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(s);
}

TEST(VariantLayout, WindowsOffsets)
{
    EXPECT_EQ(sizeof(VARIANT), 16u);
    EXPECT_EQ(offsetof(VARIANT, vt), 0u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, dblVal), 8u);
    VARIANT v;
    VariantInit(&v);
    v.decVal.scale = 2;
    v.vt = VT_DECIMAL;  // vt overlays the decimal's reserved word
    EXPECT_EQ(v.decVal.wReserved, VT_DECIMAL);
}

TEST(VariantChange, FloatToIntegerRoundsHalfToEven)
{
    Var src, dst;
    src.vt = VT_R8;
    const struct {
        double in;
        LONG out;
    } cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {2.4999, 2}, {0.5, 0}, {1.5, 2}};
    for (const auto& c : cases) {
        src.dblVal = c.in;
        ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK) << c.in;
        EXPECT_EQ(dst.vt, VT_I4);
        EXPECT_EQ(dst.lVal, c.out) << c.in;
    }
    src.dblVal = 2147483647.4;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
    src.dblVal = 2147483647.5;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(dst.lVal, 2147483647);  // unchanged after a failure
}

TEST(VariantChange, IntegerRangesAndBool)
{
    Var src, dst;
    src.vt = VT_I4;
    src.lVal = 300;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_UI1), DISP_E_OVERFLOW);
    src.lVal = -1;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_UI4), DISP_E_OVERFLOW);
    src.lVal = -128;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I1), S_OK);
    EXPECT_EQ(dst.cVal, -128);
    src.vt = VT_UI4;
    src.ulVal = 0xFFFFFFFFu;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_OVERFLOW);
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), S_OK);
    EXPECT_EQ(dst.dblVal, 4294967295.0);

    // True is -1: all ones in unsigned targets.
    src.vt = VT_BOOL;
    src.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), S_OK);
    EXPECT_EQ(dst.iVal, -1);
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_UI1), S_OK);
    EXPECT_EQ(dst.bVal, 0xFF);
    src.vt = VT_R4;
    src.fltVal = 0.25f;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), S_OK);
    EXPECT_EQ(dst.boolVal, VARIANT_TRUE);

    src.vt = VT_R8;
    src.dblVal = 1e39;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_R4), DISP_E_OVERFLOW);
    src.vt = VT_CY;
    src.cyVal.int64 = 25000;  // 2.5
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
    EXPECT_EQ(dst.lVal, 2);
    src.vt = VT_EMPTY;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
    EXPECT_EQ(dst.lVal, 0);
    src.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantChange, TextBothWays)
{
    Var src, dst;
    src.vt = VT_R8;
    const struct {
        double in;
        const char16_t* out;
    } doubles[] = {{0.1, u"0.1"}, {1e20, u"1E+20"}, {1.5e-7, u"1.5E-07"}, {-2.0, u"-2"},
                   {0.1 + 0.2, u"0.3"}, {123456.789, u"123456.789"}};
    for (const auto& c : doubles) {
        src.dblVal = c.in;
        ASSERT_EQ(VariantChangeTypeEx(&dst, &src, 1033, 0, VT_BSTR), S_OK);
        EXPECT_EQ(text(dst), c.out) << c.in;
    }
    src.vt = VT_R4;
    src.fltVal = 1.1f;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(dst), u"1.1");
    src.vt = VT_BOOL;
    src.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(dst), u"-1");
    ASSERT_EQ(VariantChangeType(&dst, &src, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(text(dst), u"True");
    src.vt = VT_CY;
    src.cyVal.int64 = -12345;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text(dst), u"-1.2345");

    setBstr(src, u" 1,234 ");
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
    EXPECT_EQ(dst.lVal, 1234);
    setBstr(src, u"-2.5e1");
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), S_OK);
    EXPECT_EQ(dst.dblVal, -25.0);
    setBstr(src, u"&HFF");
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_UI1), S_OK);
    EXPECT_EQ(dst.bVal, 0xFF);
    setBstr(src, u"18446744073709551615");
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_UI8), S_OK);
    EXPECT_EQ(dst.ullVal, ~0ull);
    setBstr(src, u"TRUE");
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), S_OK);
    EXPECT_EQ(dst.boolVal, VARIANT_TRUE);
    for (const char16_t* bad : {u"abc", u"", u"1.2.3", u"1e", u"--1", u"12x"}) {
        setBstr(src, bad);
        EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH) << std::string(bad, bad + 3).size();
    }
}

TEST(VariantChange, InPlaceAndByReference)
{
    Var v;
    setBstr(v, u"42");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, 42);

    LONG target = 7;
    Var ref, out;
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &target;
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 7.0);
    ASSERT_EQ(VariantCopyInd(&ref, &ref), S_OK);  // in place: becomes the value
    EXPECT_EQ(ref.vt, VT_I4);
    EXPECT_EQ(ref.lVal, 7);

    Var bad;
    bad.vt = 15;  // no such type
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);

    // A destination that cannot be cleared is kept as it is; the value made
    // for it is released (the sanitizer build sees a leak otherwise).
    Var text;
    setBstr(text, u"7");
    EXPECT_EQ(VariantCopy(&bad, &text), DISP_E_BADVARTYPE);
    EXPECT_EQ(bad.vt, 15);
    EXPECT_EQ(VariantCopyInd(&bad, &text), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&bad, &text, 0, VT_BSTR), DISP_E_BADVARTYPE);
    EXPECT_EQ(bad.vt, 15);
    bad.vt = VT_EMPTY;
}

TEST(VariantCopy, IsDeep)
{
    Var a, b;
    setBstr(a, u"text");
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    ASSERT_NE(b.bstrVal, a.bstrVal);
    b.bstrVal[0] = u'T';
    EXPECT_EQ(text(a), u"text");

    Var arr, copy;
    arr.vt = VT_ARRAY | VT_BSTR;
    arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 1;
    BSTR s = SysAllocString(u"second");
    ASSERT_EQ(SafeArrayPutElement(arr.parray, &i, s), S_OK);  // stores a copy
    SysFreeString(s);
    ASSERT_EQ(VariantCopy(&copy, &arr), S_OK);
    ASSERT_NE(copy.parray, arr.parray);
    BSTR got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &i, &got), S_OK);
    EXPECT_EQ(std::u16string(got), u"second");
    EXPECT_NE(got, static_cast<BSTR*>(arr.parray->pvData)[1]);
    SysFreeString(got);

    // A locked array cannot be cleared or destroyed.
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(arr.parray, &data), S_OK);
    EXPECT_EQ(VariantClear(&arr), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayDestroy(arr.parray), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(arr.parray), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(arr.parray), E_UNEXPECTED);
}

TEST(SafeArray, BoundsOrderAndLayout)
{
    // Dimension 1 has 3 elements from 1, dimension 2 has 2 from -1.
    SAFEARRAYBOUND b[2] = {{3, 1}, {2, -1}};
    SAFEARRAY* sa = SafeArrayCreate(VT_I4, 2, b);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(sa), 2u);
    // Stored in reverse: the last dimension comes first.
    EXPECT_EQ(sa->rgsabound[0].cElements, 2u);
    EXPECT_EQ(sa->rgsabound[1].lLbound, 1);
    LONG lo = 0, hi = 0;
    ASSERT_EQ(SafeArrayGetLBound(sa, 1, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(sa, 1, &hi), S_OK);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 3);
    ASSERT_EQ(SafeArrayGetLBound(sa, 2, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(sa, 2, &hi), S_OK);
    EXPECT_EQ(lo, -1);
    EXPECT_EQ(hi, 0);
    EXPECT_EQ(SafeArrayGetLBound(sa, 3, &lo), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(sa, 0, &lo), DISP_E_BADINDEX);

    // The first index varies fastest in the data.
    for (LONG j = -1; j <= 0; ++j)
        for (LONG i = 1; i <= 3; ++i) {
            LONG idx[2] = {i, j};
            LONG v = i * 10 + j;
            ASSERT_EQ(SafeArrayPutElement(sa, idx, &v), S_OK);
        }
    const LONG* data = static_cast<const LONG*>(sa->pvData);
    EXPECT_EQ(data[0], 9);   // (1,-1)
    EXPECT_EQ(data[1], 19);  // (2,-1)
    EXPECT_EQ(data[3], 10);  // (1, 0)
    LONG out = 0, idx[2] = {4, 0};
    EXPECT_EQ(SafeArrayGetElement(sa, idx, &out), DISP_E_BADINDEX);
    idx[0] = 3;
    ASSERT_EQ(SafeArrayGetElement(sa, idx, &out), S_OK);
    EXPECT_EQ(out, 30);
    VARTYPE vt = 0;
    ASSERT_EQ(SafeArrayGetVartype(sa, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);

    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
}

TEST(SafeArray, ElementSizesAreThoseOf32BitWindows)
{
    const struct {
        VARTYPE vt;
        UINT size;
    } cases[] = {{VT_UI1, 1}, {VT_I1, 1}, {VT_I2, 2}, {VT_BOOL, 2}, {VT_UI2, 2}, {VT_I4, 4}, {VT_R4, 4},
                 {VT_ERROR, 4}, {VT_INT, 4}, {VT_UINT, 4}, {VT_R8, 8}, {VT_CY, 8}, {VT_DATE, 8},
                 {VT_BSTR, 4}, {VT_UNKNOWN, 4}, {VT_DISPATCH, 4}, {VT_VARIANT, 16}, {VT_DECIMAL, 16}};
    for (const auto& c : cases) {
        SAFEARRAY* sa = SafeArrayCreateVector(c.vt, 0, 3);
        ASSERT_NE(sa, nullptr) << c.vt;
        EXPECT_EQ(SafeArrayGetElemsize(sa), c.size) << c.vt;
        SafeArrayDestroy(sa);
    }
}

TEST(SafeArray, VariantElementsAndCopy)
{
    SAFEARRAY* sa = SafeArrayCreateVectorEx(VT_VARIANT, 0, 2, nullptr);
    ASSERT_NE(sa, nullptr);
    Var e;
    setBstr(e, u"inner");
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(sa, &i, &e), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
    ASSERT_EQ(SafeArrayDestroy(sa), S_OK);  // the copy owns its own strings
    Var got;
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &got), S_OK);
    EXPECT_EQ(text(got), u"inner");
    void* p = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(copy, &i, &p), S_OK);
    EXPECT_EQ(static_cast<VARIANT*>(p)->vt, VT_BSTR);
    ASSERT_EQ(SafeArrayDestroy(copy), S_OK);
}

}  // namespace
