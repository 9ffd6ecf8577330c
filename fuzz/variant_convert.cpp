// Random input through value conversion: the text readers (String2ConstVal
// into elementary values of every type and into a structure, checkSyntax,
// decodeNormalizedStringVal) and variant2ConstVal / variant2ConstValEx of a
// VARIANT tree of bounded depth read from the bytes into a structure read
// from the bytes too. Aborts on a crash, a leaked BSTR or SAFEARRAY, a
// normalised text that does not decode to itself, a text that the tolerant
// form refuses but changes the value with, one it takes whose value's own
// text does not read back as that value or whose number (getDouble) is not
// the one its text gives, or a structure that a refused text or VARIANT
// changed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/st/symacc/SyVariantConvert.h"

namespace {

struct Bytes {
    const uint8_t* p;
    size_t n;
    uint8_t next() { return n ? (--n, *p++) : 0; }
    uint32_t word()
    {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = (w << 8) | next();
        return w;
    }
};

constexpr int kMaxDepth = 4;

void readVariant(Bytes& b, VARIANT* v, int depth)
{
    VariantInit(v);
    const uint8_t kind = b.next() % 12;
    const uint32_t w = b.word();
    switch (kind) {
    case 0: break;
    case 1: v->vt = VT_I1; v->cVal = CHAR(w); break;
    case 2: v->vt = VT_UI1; v->bVal = BYTE(w); break;
    case 3: v->vt = VT_I2; v->iVal = SHORT(w); break;
    case 4: v->vt = VT_UI2; v->uiVal = USHORT(w); break;
    case 5: v->vt = VT_I4; v->lVal = LONG(w); break;
    case 6: v->vt = VT_UI4; v->ulVal = w; break;
    case 7: v->vt = VT_R4; std::memcpy(&v->fltVal, &w, 4); break;
    case 8: v->vt = VT_R8; v->dblVal = double(int32_t(w)) / 7.0; break;
    case 9: v->vt = VT_BOOL; v->boolVal = (w & 1) ? -1 : 0; break;
    case 10: {
        std::u16string s;
        for (uint32_t i = 0, len = w % 12; i < len; ++i) s += char16_t(b.next() | (i == 3 ? 0x100 : 0));
        v->vt = VT_BSTR;
        v->bstrVal = SysAllocStringLen(s.data(), UINT(s.size()));
        break;
    }
    default: {
        if (depth >= kMaxDepth) break;
        const ULONG count = w % 5;
        SAFEARRAY* psa = SafeArrayCreateVectorEx(VT_VARIANT, LONG(b.next() % 2), count, nullptr);
        if (!psa) break;
        LONG lb = 0;
        SafeArrayGetLBound(psa, 1, &lb);
        for (ULONG i = 0; i < count; ++i) {
            VARIANT e;
            readVariant(b, &e, depth + 1);
            LONG idx = lb + LONG(i);
            SafeArrayPutElement(psa, &idx, &e);
            VariantClear(&e);
        }
        v->vt = VT_ARRAY | VT_VARIANT;
        v->parray = psa;
        break;
    }
    }
}

StConstantVal* readConst(Bytes& b, int depth)
{
    const uint8_t k = b.next();
    if ((k & 0xC0) == 0xC0 && depth < kMaxDepth) {
        auto* s = new StStructConstantVal();
        for (int i = 0, n = k % 4; i < n; ++i) s->addMember(readConst(b, depth + 1));
        return s;
    }
    if ((k & 0xC0) == 0x80) return new StStringConstantVal();
    return new StStdConstantVal(k % 26);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const long bstrs = tvp::liveBstrs();
    const long arrays = tvp::liveSafeArrays();
    {
        const String text(reinterpret_cast<const char*>(data), int(size));
        for (uint32_t t = 0; t < 26; ++t) {
            StStdConstantVal v(t);
            SyVariantConvert::String2ConstVal(&v, text, nullptr);
        }
        for (uint32_t t = 18; t <= 21; ++t) SyVariantConvert::checkSyntax(t, text);
        // Exact or refused: a refusal keeps the value, a value read keeps
        // itself through its own text.
        VARIANT bstr;
        VariantInit(&bstr);
        bstr.vt = VT_BSTR;
        std::u16string wide(text.chars(), text.chars() + text.length());
        for (char16_t& c : wide) c = char16_t(static_cast<unsigned char>(c));
        bstr.bstrVal = SysAllocStringLen(wide.data(), UINT(wide.size()));
        for (uint32_t t : {1u, 2u, 3u, 4u, 6u, 7u, 8u, 10u, 11u, 12u, 14u, 15u, 18u, 19u, 20u, 21u}) {
            StStdConstantVal v(t);
            const std::unique_ptr<StConstantVal> before(v.clone());
            if (SyVariantConvert::variant2StdValEx(&v, bstr, true, nullptr) != 0) {
                if (!v.isEqual(*before)) std::abort();
                continue;
            }
            String own;
            StStdConstantVal back(t);
            if (SyVariantConvert::constVal2String(own, &v, false, nullptr) != 0 ||
                SyVariantConvert::String2ConstVal(&back, own, nullptr) != 0 || !back.isEqual(v))
                std::abort();
            double number = 0;
            if (t != 14 && t != 15 && t < 18 && (!v.getDouble(number) || std::strtod(own.c_str(), nullptr) != number))
                std::abort();
        }
        VariantClear(&bstr);
        String decoded = text;
        if (SyVariantConvert::decodeNormalizedStringVal(decoded) && decoded.length() < 255 &&
            !std::memchr(decoded.chars(), 0, size_t(decoded.length()))) {
            String again = normalizeStringVal(decoded.chars(), size_t(decoded.length()));
            String back = again;
            if (!SyVariantConvert::decodeNormalizedStringVal(back) || !(back == decoded)) std::abort();
        }

        Bytes b{data, size};
        std::unique_ptr<StConstantVal> dest(readConst(b, 0));
        // A refused text or VARIANT leaves a structure as it was (one that
        // holds a value equal to none, not even itself, aside).
        const auto keepsWhenRefused = [&dest](uint32_t code, const StConstantVal& was) {
            if (code != 0 && dest->getKind() == ST_CONST_STRUCT && was.isEqual(was) && !dest->isEqual(was))
                std::abort();
        };
        std::unique_ptr<StConstantVal> was(dest->clone());
        keepsWhenRefused(SyVariantConvert::String2ConstVal(dest.get(), text, nullptr), *was);
        VARIANT v;
        readVariant(b, &v, 0);
        was.reset(dest->clone());
        keepsWhenRefused(SyVariantConvert::variant2ConstVal(dest.get(), v, (size & 1) != 0, nullptr), *was);
        was.reset(dest->clone());
        keepsWhenRefused(SyVariantConvert::variant2ConstValEx(dest.get(), v, (size & 2) != 0, nullptr), *was);
        VARIANT out;
        SyVariantConvert::constVal2Variant(&out, false, dest.get(), nullptr);
        if (out.vt != VT_EMPTY && SyVariantConvert::equalVariant(out, v)) SyVariantConvert::equalVariantType(out, v);
        VariantClear(&out);
        std::unique_ptr<StStructConstantVal> made(SyVariantConvert::createStructValFromVariant(v));
        VariantClear(&v);
    }
    if (tvp::liveBstrs() != bstrs || tvp::liveSafeArrays() != arrays) std::abort();
    return 0;
}
