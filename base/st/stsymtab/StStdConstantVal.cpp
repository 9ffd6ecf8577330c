// Elementary constant: literals, typing, conversion, ranges, comparison,
// texts, written forms and data image.
#include "base/st/stsymtab/StStdConstantVal.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <ostream>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StConstIo.h"
#include "co/Integer.h"

namespace {

constexpr uint32_t kMaxDate = 76336;         // 2200-12-31
constexpr uint32_t kMsPerDay = 86400000;

// Whether a nonzero double lies outside a REAL's range: its nearest float
// is infinite or below the normal range (FLT_MIN itself is normal, also as
// a text of ten digits that reads as a double just below it).
bool outsideReal(double v)
{
    const float f = float(v);
    return v != 0 && (!std::isfinite(f) || std::fabs(f) < FLT_MIN);
}

// Bytes of the value by type id (0: no value).
unsigned valueWidth(int32_t t)
{
    switch (t) {
    case ST_BOOL: case ST_BYTE: case ST_SINT: case ST_USINT:
        return 1;
    case ST_WORD: case ST_INT: case ST_UINT:
        return 2;
    case ST_DWORD: case ST_DINT: case ST_UDINT: case ST_MEMADR: case ST_TIME: case ST_DATE: case ST_TOD:
    case ST_STRUCTALARMID: case ST_STRUCTTASKID: case ST_ANYINT: case ST_REAL:
        return 4;
    case ST_LREAL: case ST_ANYREAL: case ST_ANYOBJECT: case ST_DT:
        return 8;
    default:
        return 0;
    }
}

// The integer types 1-13 that compare by their bit pattern.
bool isPatternType(int32_t t) { return t >= 1 && t <= 13; }  // BOOL .. ULINT
bool isSignedNarrow(int32_t t) { return t == ST_SINT || t == ST_INT || t == ST_DINT; }
uint32_t widthMask(unsigned w) { return w >= 4 ? 0xFFFFFFFFu : (1u << (8 * w)) - 1; }

locale_t cLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

int cmp3(uint64_t a, uint64_t b) { return a < b ? -1 : a > b ? 1 : 0; }
int cmp3s(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }
template <typename F>
int cmpF(F a, F b) { return a < b ? -1 : b < a ? 1 : 0; }

// printf-style texts in the C locale.
std::string gText(double v, int precision)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::general, precision);
    return std::string(buf, r.ptr);
}
double cStrtod(const std::string& s) { return strtod_l(s.c_str(), nullptr, cLocale()); }
std::string dec(uint32_t v) { return std::to_string(v); }
std::string dec0(uint32_t v, size_t width)
{
    std::string s = std::to_string(v);
    return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

// The text after the first "#" (the whole text without one).
std::string afterHash(const String& text)
{
    std::string s(text.chars(), size_t(text.length()));
    const size_t p = s.find('#');
    return p == std::string::npos ? s : s.substr(p + 1);
}

// Rounds to nearest, ties to even.
double roundEven(double v) { return std::nearbyint(v); }

}  // namespace

// ---------------------------------------------------------------------------
// Construction and plain accessors
// ---------------------------------------------------------------------------

StStdConstantVal::StStdConstantVal(uint32_t typeId, bool shared) : StConstantVal(shared), m_type(int32_t(typeId)) {}

StStdConstantVal::StStdConstantVal(int32_t v, bool asAnyInt)
    : m_type(asAnyInt ? ST_ANYINT : ST_DINT), m_sign(v < 0 ? -1 : 1)
{
    put(v < 0 ? uint32_t(0) - uint32_t(v) : uint32_t(v));
}

StStdConstantVal::StStdConstantVal(const String& text, uint32_t typeId, int radix, int& status) : m_type(ST_ANYTYPE)
{
    switch (typeId) {
    case ST_REAL: case ST_LREAL: case ST_ANYREAL:
        status = parseReal(text);
        break;
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_SINT: case ST_INT: case ST_DINT:
    case ST_USINT: case ST_UINT: case ST_UDINT: case ST_MEMADR: case ST_STRUCTALARMID: case ST_STRUCTTASKID:
    case ST_ANYINT:
        status = parseLiteral(text, radix);
        break;
    default:
        status = 1;
        return;
    }
    if (typeId == ST_ANYINT || typeId == ST_ANYREAL || (status != 0 && status != 2)) return;
    // A real text below the normal range reads with loss (status 2, the
    // subnormal strtod gave): typed as well, the type's rule makes it 0. The
    // loss of the reading stands when the typing itself loses nothing.
    const int typed = setType(typeId, false);
    if (typed != 0) status = typed;
}

StStdConstantVal::StStdConstantVal(double plainReal, uint32_t typeId, int& status) : m_type(ST_ANYTYPE)
{
    setFloat(plainReal, int32_t(ST_ANYREAL));
    status = typeId == ST_ANYREAL ? 0 : setType(typeId, false);
}

uint32_t StStdConstantVal::pattern() const
{
    switch (valueWidth(m_type)) {
    case 1: return u8();
    case 2: return u16();
    case 4: return u32();
    default: return 0;
    }
}

void StStdConstantVal::setPattern(uint32_t v)
{
    clearValue();
    put(v);
    canonicalise();
}

void StStdConstantVal::setWord(int32_t type, uint32_t v)
{
    m_type = type;
    m_sign = 1;
    setPattern(v);
}

void StStdConstantVal::canonicalise()
{
    const unsigned w = valueWidth(m_type);
    std::memset(m_value + w, 0, sizeof(m_value) - w);
}

template <typename F>
int StStdConstantVal::setFloat(F v, int32_t type)
{
    if (!std::isfinite(v)) return 1;
    m_type = type;
    m_sign = 1;
    clearValue();
    put(v);
    return 0;
}

void StStdConstantVal::resolveSign()
{
    if (m_sign != 0) return;
    if (!isSignedNarrow(m_type)) {
        m_sign = 1;
        return;
    }
    const unsigned w = valueWidth(m_type);
    const uint32_t p = pattern();
    const uint32_t top = 1u << (8 * w - 1);
    if (p & top) {
        m_sign = -1;
        setPattern((uint32_t(0) - p) & widthMask(w));
    } else {
        m_sign = 1;
    }
}

int StStdConstantVal::assign(const StConstantVal* source)
{
    if (!source || source->getKind() != ST_CONST_STD) return 1;
    const auto* o = static_cast<const StStdConstantVal*>(source);
    if (o->m_type != m_type) return 2;
    std::memcpy(m_value, o->m_value, sizeof(m_value));
    m_sign = o->m_sign;
    return 0;
}

bool StStdConstantVal::isDefault() const
{
    switch (m_type) {
    case ST_REAL: return flt() == 0;
    case ST_LREAL: case ST_ANYREAL: return dbl() == 0;
    case ST_ANYOBJECT: return u16() == 0 && get<uint16_t>(2) == 0;
    case ST_DT: return u32() == 0 && hi32() == 0;
    case ST_VOID: case ST_LWORD: case ST_LINT: case ST_ULINT: return false;
    default:
        if (m_type > 32 || (m_type >= 24 && m_type <= 30)) return false;  // no value
        return pattern() == 0;
    }
}

void StStdConstantVal::getRaw(uint8_t value[8], uint32_t& typeId, int32_t& sign) const
{
    std::memcpy(value, m_value, 8);
    typeId = uint32_t(m_type);
    sign = m_sign;
}

bool StStdConstantVal::isSameType(const StConstantVal* other) const
{
    return other && other->getTypeId() == uint32_t(m_type);
}

int StStdConstantVal::setSysAddr(uint32_t address)
{
    setWord(ST_MEMADR, address);
    return 0;
}

uint32_t StStdConstantVal::getSysAddr() const { return m_type == ST_MEMADR ? u32() : 0x7FFFFFFFu; }

bool StStdConstantVal::setObjectIds(uint16_t first, uint16_t second)
{
    m_type = ST_ANYOBJECT;
    m_sign = 1;
    clearValue();
    put(first, 0);
    put(second, 2);
    return true;
}

// ---------------------------------------------------------------------------
// Literals
// ---------------------------------------------------------------------------

int StStdConstantVal::parseLiteral(const String& text, int radix)
{
    std::string s(text.chars(), size_t(text.length()));
    const char* prefix = radix == 2 ? "2#" : radix == 8 ? "8#" : radix == 16 ? "16#" : nullptr;
    if (prefix) {
        const size_t p = s.find(prefix);
        if (p != std::string::npos) s = s.substr(p + std::strlen(prefix));
    }
    static const Integer kMaxU32 = Integer::fromString("ffffffff", 16);
    const Integer v = Integer::fromString(s.c_str(), radix);
    uint32_t magnitude;
    int32_t sign = 1;
    if (!v.fitsLong()) {
        if (v.isNegative()) return 1;
        if (v > kMaxU32) return 1;
        magnitude = uint32_t((v - Integer(int32_t(0x40000000)) - Integer(int32_t(0x40000000))).toLong()) + 0x80000000u;
    } else {
        const int32_t l = v.toLong();
        if (l < 0) {
            sign = -1;
            magnitude = uint32_t(0) - uint32_t(l);
        } else {
            magnitude = uint32_t(l);
        }
    }
    if (radix != 10 && sign != -1) sign = 0;
    m_type = ST_ANYINT;
    m_sign = sign;
    setPattern(magnitude);
    return 0;
}

bool StStdConstantVal::readPlainDecimal(const char* p, const char* end, double& value)
{
    static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    auto digit = [&] { return p != end && *p >= '0' && *p <= '9'; };
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint64_t m = 0;
    int digits = 0, scale = 0;
    bool any = false;
    // Leading zeros are no digits of m; each fraction digit scales by 1/10.
    auto take = [&](bool fraction) {
        any = true;
        const int d = *p++ - '0';
        if (fraction) --scale;
        if (m == 0 && d == 0) return true;
        if (digits == 19) return false;
        m = m * 10 + uint64_t(d);
        ++digits;
        return true;
    };
    while (digit())
        if (!take(false)) return false;
    if (p != end && *p == '.') {
        ++p;
        while (digit())
            if (!take(true)) return false;
    }
    if (!any) return false;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negExp = false;
        if (p != end && (*p == '+' || *p == '-')) negExp = *p++ == '-';
        if (!digit()) return false;
        int e = 0;
        while (digit()) {
            if (e > 100000) return false;
            e = e * 10 + (*p++ - '0');
        }
        scale += negExp ? -e : e;
    }
    if (p != end || m > (uint64_t(1) << 53)) return false;
    double v = 0;
    if (m != 0) {
        if (scale < -22 || scale > 22) return false;
        v = scale >= 0 ? double(m) * kPow10[scale] : double(m) / kPow10[-scale];
    }
    value = negative ? -v : v;
    return true;
}

namespace {

// Whether a literal's text is a real: decimal with a point or an exponent.
bool isRealForm(const String& text, int radix)
{
    const char* const b = text.chars();
    return radix == 10 && std::find_if(b, b + text.length(), [](char c) {
                              return c == '.' || c == 'e' || c == 'E';
                          }) != b + text.length();
}

}  // namespace

int StStdConstantVal::readLiteral(const String& text, int radix, StStdConstantVal& out)
{
    if (isRealForm(text, radix)) return out.parseReal(text);
    const int status = out.parseLiteral(text, radix);
    // A decimal integer past 32 bits is a number all the same, which only
    // a real type holds.
    return status != 0 && radix == 10 ? out.parseReal(text) : status;
}

StStdConstantVal::LiteralFit StStdConstantVal::literalOfType(const String& text, int radix, uint32_t target,
                                                             StStdConstantVal& out)
{
    const bool unsignedTarget = (target >= ST_BOOL && target <= ST_DWORD) || (target >= ST_USINT && target <= ST_UDINT);
    const bool integerTarget = unsignedTarget || isSignedNarrow(int32_t(target));
    if (!integerTarget && target != ST_REAL && target != ST_LREAL) return LiteralFit::NotOfType;
    // Read untyped; a reading with loss (a real beyond LREAL's range or
    // below its normal range) is no value of any type.
    StStdConstantVal v(ST_ANYTYPE);
    if (readLiteral(text, radix, v) != 0) return LiteralFit::OutOfRange;
    if (isRealForm(text, radix) && integerTarget) return LiteralFit::NotOfType;
    const int fits = v.fitsType(target);
    if ((fits != 0 && fits != 2) || v.setType(target, false) == 1) return LiteralFit::OutOfRange;
    if (isSignedNarrow(v.m_type))
        v.resolveSign();
    else if (integerTarget)
        v.m_sign = 1;
    std::memcpy(out.m_value, v.m_value, sizeof(out.m_value));
    out.m_type = v.m_type;
    out.m_sign = v.m_sign;
    return LiteralFit::Ok;
}

int StStdConstantVal::parseReal(const String& text)
{
    const char* b = text.chars();
    double plain = 0;
    if (readPlainDecimal(b, b + text.length(), plain)) {
        setFloat(plain, int32_t(ST_ANYREAL));
        return 0;
    }
    char* e = nullptr;
    errno = 0;
    const double d = strtod_l(b, &e, cLocale());
    const bool range = errno == ERANGE;
    if (!std::isfinite(d)) return 1;
    setFloat(d, int32_t(ST_ANYREAL));
    if (e == b || e != b + text.length()) return 1;
    return range ? 2 : 0;
}

// ---------------------------------------------------------------------------
// Typing and conversion
// ---------------------------------------------------------------------------

int StStdConstantVal::setType(uint32_t target, bool normaliseFirst)
{
    if (!normaliseFirst) return typeUntyped(target);
    const StStdConstantVal before(*this);
    switch (m_type) {
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_USINT: case ST_UINT: case ST_UDINT: {
        const uint32_t p = pattern();
        m_type = ST_ANYINT;
        setPattern(p);
        break;
    }
    case ST_SINT: case ST_INT: case ST_DINT: {
        resolveSign();
        const uint32_t p = pattern();
        m_type = ST_ANYINT;
        setPattern(p);
        break;
    }
    case ST_REAL: {
        const double d = flt();
        m_type = ST_ANYREAL;
        clearValue();
        put(d);
        break;
    }
    case ST_LREAL:
        m_type = ST_ANYREAL;
        break;
    default:
        break;
    }
    const int r = typeUntyped(target);
    if (r == 1) {
        std::memcpy(m_value, before.m_value, sizeof(m_value));
        m_type = before.m_type;
        m_sign = before.m_sign;
    }
    return r;
}

int StStdConstantVal::typeUntyped(uint32_t target)
{
    if (m_type != ST_ANYINT && m_type != ST_ANYREAL) return uint32_t(m_type) == target ? 0 : 1;
    if (m_type == ST_ANYREAL) {
        const double v = dbl();
        const double a = std::fabs(v);
        if (target == ST_LREAL) {
            int r = 0;
            if (a < 2.2250738585072014e-308) {
                r = v != 0 ? 2 : 0;
                clearValue();
            }
            m_type = ST_LREAL;
            return r;
        }
        if (target != ST_REAL) return 1;
        if (!std::isfinite(float(v))) return 1;
        if (v == 0 || outsideReal(v)) {
            m_type = ST_REAL;
            clearValue();
            return v != 0 ? 2 : 0;
        }
        const float f = float(v);
        // Precision test on the printed digits: the double's 15 digits
        // without exponent and trailing zeros decide how many digits of the
        // float are compared. Loss means the float, printed with that many
        // digits, reads back as another double. A short literal such as
        // 0.1 prints as "0.1" in seven digits, reads back as the same
        // double and so types without loss (status 0): the float keeps
        // every digit the literal was written with, though not the
        // double's later binary digits.
        std::string t = gText(v, 15);
        const size_t e = t.find('e');
        if (e != std::string::npos) t.erase(e);
        if (t.size() > 7)
            while (!t.empty() && t.back() == '0') t.pop_back();
        const int digits = t.size() < 8 ? 7 : int(std::min<size_t>(t.size(), 10));
        const bool loss = cStrtod(gText(double(f), digits)) != v;
        m_type = ST_REAL;
        clearValue();
        put(f);
        return loss ? 2 : 0;
    }
    // ANYINT. Only the 32-bit unsigned types turn the sign word to +1 (and
    // the floats, which carry their own); every other type keeps it, so a
    // based literal stays marked as a bit pattern (sign 0) in its type,
    // which the equality of TIME, DATE, TOD and the other non-pattern types
    // tells apart from a decimal one.
    const uint32_t m = u32();
    const int32_t s = m_sign;
    bool ok;
    int32_t newSign = s;
    switch (target) {
    case ST_BOOL: ok = m <= 1 && s != -1; break;
    case ST_BYTE: case ST_USINT: ok = m <= 255 && s != -1; break;
    case ST_WORD: case ST_UINT: ok = m <= 65535 && s != -1; break;
    case ST_DWORD: case ST_UDINT: case ST_STRUCTTASKID: ok = s != -1; newSign = 1; break;
    case ST_SINT: ok = s == 1 ? m <= 127 : s == 0 ? m <= 255 : m <= 128; break;
    case ST_INT: ok = s == 1 ? m <= 32767 : s == 0 ? m <= 65535 : m <= 32768; break;
    case ST_DINT: case ST_STRUCTALARMID: ok = s == 1 ? m <= 0x7FFFFFFFu : s == 0 ? true : m <= 0x80000000u; break;
    case ST_REAL: case ST_LREAL: {
        const double d = s == -1 ? -double(m) : double(m);
        if (target == ST_REAL)
            setFloat(float(d), ST_REAL);
        else
            setFloat(d, ST_LREAL);
        return target == ST_REAL && m > 0xFFFFFF ? 2 : 0;
    }
    case ST_ANYOBJECT: case ST_DATE: case ST_DT: ok = m == 0 && s != -1; break;
    case ST_MEMADR: case ST_TIME: ok = s != -1; break;
    case ST_TOD: ok = m <= 86399999u && s != -1; break;
    default: return 1;
    }
    if (!ok) return 1;
    m_type = int32_t(target);
    m_sign = newSign;
    if (target == ST_ANYOBJECT || target == ST_DT)
        clearValue();
    else
        setPattern(m);
    return 0;
}

int StStdConstantVal::convertTo(uint32_t target)
{
    if (uint32_t(m_type) == target || target == ST_ANYTYPE) return 0;
    StStdConstantVal r(*this);
    r.resolveSign();
    const int32_t src = r.m_type;
    const bool neg = r.m_sign == -1;
    const uint32_t mag = r.pattern();
    // Two's complement of the signed value in 32 bits.
    const uint32_t twos = neg ? uint32_t(0) - mag : mag;
    auto in = [&](std::initializer_list<uint32_t> set) {
        for (uint32_t t : set)
            if (t == target) return true;
        return false;
    };
    enum { KEEP, FLOAT, SIGNED_KEEP, DONE } how = KEEP;
    uint32_t pat = mag;
    double fval = 0;
    switch (src) {
    case ST_BOOL: case ST_BYTE: case ST_USINT: case ST_WORD: case ST_UINT: case ST_DWORD: case ST_UDINT: {
        if (neg) return 2;
        const unsigned w = valueWidth(src);
        fval = double(mag);
        if (in({ST_REAL, ST_LREAL})) {
            how = FLOAT;
            if (target == ST_REAL && src == ST_DWORD) {
                float f;
                std::memcpy(&f, &mag, 4);
                if (!std::isfinite(f)) return 4;
                fval = f;
            }
        } else if (target == ST_BOOL && src != ST_BOOL) {
            pat = mag & 1;
        } else if (w == 1 && in({ST_BYTE, ST_SINT, ST_USINT, ST_WORD, ST_INT, ST_UINT, ST_DWORD, ST_DINT, ST_UDINT})) {
        } else if (w == 2 && in({ST_BYTE, ST_SINT, ST_USINT, ST_WORD, ST_INT, ST_UINT, ST_DWORD, ST_DINT, ST_UDINT})) {
        } else if (w == 4 && in({ST_BYTE, ST_WORD, ST_DWORD, ST_SINT, ST_INT, ST_DINT, ST_USINT, ST_UINT, ST_UDINT,
                                 ST_TIME})) {
        } else {
            return 3;
        }
        break;
    }
    case ST_SINT: case ST_INT: case ST_DINT: {
        fval = neg ? -double(mag) : double(mag);
        const unsigned w = valueWidth(src);
        // Narrowing keeps the low bytes of the two's complement, widening
        // to an unsigned type zero-extends the source width.
        const bool narrowOrUnsigned =
            src == ST_SINT  ? in({ST_BYTE, ST_USINT, ST_WORD, ST_UINT, ST_DWORD, ST_UDINT})
            : src == ST_INT ? in({ST_BYTE, ST_SINT, ST_USINT, ST_WORD, ST_UINT, ST_DWORD, ST_UDINT, ST_TIME})
                            : in({ST_BYTE, ST_SINT, ST_USINT, ST_WORD, ST_INT, ST_UINT, ST_DWORD, ST_UDINT});
        if (in({ST_REAL, ST_LREAL}))
            how = FLOAT;
        else if (isSignedNarrow(int32_t(target)) && valueWidth(int32_t(target)) > w)
            how = SIGNED_KEEP;
        else if (narrowOrUnsigned)
            pat = twos & widthMask(std::min(valueWidth(int32_t(target)), w));
        else
            return 3;
        break;
    }
    case ST_REAL: case ST_LREAL: {
        const double v = src == ST_REAL ? double(r.flt()) : r.dbl();
        if (target == ST_LREAL) {
            how = FLOAT;
            fval = v;
            break;
        }
        if (target == ST_REAL) {
            if (src == ST_REAL) return 0;
            const double a = std::fabs(v);
            if (a > 3.4028234663852886e38 || (a != 0 && a < 1.1754943508222875e-38)) return 4;
            how = FLOAT;
            fval = v;
            break;
        }
        if (src == ST_REAL && target == ST_DWORD) {
            pat = r.u32();
            break;
        }
        double lo, hi;
        switch (target) {
        case ST_BYTE: case ST_USINT: lo = 0; hi = 255; break;
        case ST_WORD: case ST_UINT: lo = 0; hi = 65535; break;
        case ST_UDINT: lo = 0; hi = 4294967295.0; break;
        case ST_TIME:
            if (src != ST_REAL) return 3;
            lo = 0; hi = 4294967295.0; break;
        case ST_DWORD: lo = 0; hi = 4294967295.0; break;
        case ST_SINT: lo = -128; hi = 127; break;
        case ST_INT: lo = -32768; hi = 32767; break;
        case ST_DINT: lo = -2147483648.0; hi = 2147483647.0; break;
        default: return 3;
        }
        const double k = roundEven(v);
        if (!(k >= lo && k <= hi)) return 4;
        const bool kneg = k < 0;
        const uint32_t km = uint32_t(kneg ? -k : k);
        r.m_type = int32_t(target);
        r.m_sign = kneg ? -1 : 1;
        r.setPattern(km);
        how = DONE;
        break;
    }
    case ST_TIME:
        if (in({ST_INT, ST_UDINT})) {
        } else if (target == ST_REAL) {
            how = FLOAT;
            fval = double(mag);
        } else {
            return 3;
        }
        break;
    default:
        return 2;
    }
    switch (how) {
    case KEEP:
        r.m_type = int32_t(target);
        r.m_sign = 1;
        r.setPattern(pat);
        break;
    case SIGNED_KEEP:
        r.m_type = int32_t(target);
        r.setPattern(mag);
        break;
    case FLOAT:
        if (target == ST_REAL)
            r.setFloat(float(fval), ST_REAL);
        else
            r.setFloat(fval, ST_LREAL);
        break;
    case DONE:
        break;
    }
    std::memcpy(m_value, r.m_value, sizeof(m_value));
    m_type = r.m_type;
    m_sign = r.m_sign;
    return 0;
}

int StStdConstantVal::negate()
{
    switch (m_type) {
    case ST_SINT: case ST_INT: case ST_DINT: case ST_ANYINT:
        if (m_sign == 0) return 1;
        m_sign = -m_sign;
        return 0;
    case ST_REAL: put(-flt()); return 0;
    case ST_LREAL: case ST_ANYREAL: put(-dbl()); return 0;
    default:
        return 1;
    }
}

// A type without a range is refused with value, type and sign as they were.
bool StStdConstantVal::setMin()
{
    int32_t sign = 1;
    switch (m_type) {
    case ST_SINT: sign = -1; setPattern(128); break;
    case ST_INT: sign = -1; setPattern(32768); break;
    case ST_DINT: sign = -1; setPattern(0x80000000u); break;
    case ST_REAL: clearValue(); put(-3.4028235e38f); break;
    case ST_LREAL: clearValue(); put(-1.7976931348623157e308); break;
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_USINT: case ST_UINT: case ST_UDINT:
    case ST_TIME: case ST_DATE: case ST_TOD: case ST_DT:
        clearValue();
        break;
    default:
        return false;
    }
    m_sign = sign;
    return true;
}

bool StStdConstantVal::setMax()
{
    switch (m_type) {
    case ST_BOOL: setPattern(1); break;
    case ST_BYTE: case ST_USINT: setPattern(255); break;
    case ST_WORD: case ST_UINT: setPattern(65535); break;
    case ST_DWORD: case ST_UDINT: case ST_TIME: setPattern(0xFFFFFFFFu); break;
    case ST_SINT: setPattern(127); break;
    case ST_INT: setPattern(32767); break;
    case ST_DINT: setPattern(0x7FFFFFFFu); break;
    case ST_REAL: setPattern(0x7F7FFFFFu); break;
    case ST_LREAL: clearValue(); put(1.7976931348623157e308); break;
    case ST_DATE: setPattern(kMaxDate); break;
    case ST_TOD: setPattern(kMsPerDay - 1); break;
    case ST_DT: clearValue(); put(kMsPerDay - 1, 0); put(kMaxDate, 4); break;
    default:
        return false;
    }
    m_sign = 1;
    return true;
}

uint32_t StStdConstantVal::getSmallestType() const
{
    if (m_type == ST_ANYREAL) {
        return outsideReal(dbl()) ? ST_LREAL : ST_REAL;
    }
    if (m_type != ST_ANYINT) return uint32_t(m_type);
    const uint32_t m = u32();
    if (m_sign == -1) return m <= 128 ? ST_SINT : m <= 32768 ? ST_INT : ST_DINT;
    if (m <= 1) return ST_BOOL;
    if (m <= 127) return ST_POS_SINT;
    if (m < 256) return m_sign == 0 ? ST_POS_SINT : ST_BYTE;
    if (m < 32768) return ST_POS_INT;
    if (m < 65536) return m_sign == 0 ? ST_POS_INT : ST_WORD;
    if (m < 0x80000000u || m_sign == 0) return ST_POS_DINT;
    return ST_DWORD;
}

int StStdConstantVal::fitsType(uint32_t target) const
{
    const uint32_t s = getSmallestType();
    if (s == target) return 0;
    if (!((s >= 1 && s <= 15) || (s >= 33 && s <= 35))) return 1;
    auto in = [&](std::initializer_list<uint32_t> set) {
        for (uint32_t t : set)
            if (t == s) return true;
        return false;
    };
    const bool integer = in({1, 2, 3, 4, 6, 7, 8, 10, 11, 12, 33, 34, 35});
    switch (target) {
    case ST_BYTE: case ST_USINT: return in({1, 2, 33}) ? 0 : 1;
    case ST_WORD: case ST_UINT: return in({1, 2, 3, 10, 33, 34}) ? 0 : 1;
    case ST_DWORD: case ST_UDINT: return (integer && m_sign != -1) || s == 4 ? 0 : 1;
    case ST_SINT: return in({1, 33}) || (s == 2 && m_sign == 0) ? 0 : 1;
    case ST_INT: return in({1, 2, 6, 10, 33, 34}) || (s == 3 && m_sign == 0) ? 0 : 1;
    case ST_DINT: return (integer && s != 12 && s != 4) || (s == 4 && m_sign == 0) ? 0 : 1;
    case ST_REAL:
        // A DWORD goes into a REAL as its bits, never as its number; an
        // untyped integer above DINT's range is a number (as a based one
        // is), the nearest REAL.
        if (s == 15 || (s == 4 && m_type != ST_ANYINT)) return 1;
        if ((in({4, 8, 12, 35})) && u32() > 0xFFFFFF) return 2;
        return 0;
    case ST_LREAL: return 0;
    default: return 1;
    }
}

// ---------------------------------------------------------------------------
// Getters and setters
// ---------------------------------------------------------------------------

bool StStdConstantVal::getDInt(int32_t& v) const
{
    if (m_type != ST_DINT) return false;
    v = m_sign == -1 ? int32_t(uint32_t(0) - u32()) : int32_t(u32());
    return true;
}

bool StStdConstantVal::getLong(int32_t& v) const
{
    switch (m_type) {
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_SINT: case ST_INT: case ST_DINT:
    case ST_USINT: case ST_UINT: case ST_UDINT: case ST_MEMADR: case ST_STRUCTALARMID: case ST_ANYINT:
        break;
    default:
        return false;
    }
    if (m_sign == 0 && isSignedNarrow(m_type)) {
        v = int32_t(patternKey());
        return true;
    }
    const uint32_t m = pattern();
    if (m_sign != -1 && ((m_type == ST_SINT && m == 128) || (m_type == ST_INT && m == 32768))) {
        v = -int32_t(m);
        return true;
    }
    if ((m_type == ST_UDINT || m_type == ST_ANYINT) && m > 0x7FFFFFFFu && !(m_sign == -1 && m == 0x80000000u))
        return false;
    v = m_sign == -1 ? int32_t(uint32_t(0) - m) : int32_t(m);
    return true;
}

bool StStdConstantVal::getULong(uint32_t& v) const
{
    if (m_sign == -1) return false;
    switch (m_type) {
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_SINT: case ST_INT: case ST_DINT:
    case ST_USINT: case ST_UINT: case ST_UDINT: case ST_STRUCTTASKID: case ST_ANYINT:
        v = pattern();
        return true;
    default:
        return false;
    }
}

bool StStdConstantVal::getDouble(double& v) const
{
    switch (m_type) {
    case ST_REAL: v = flt(); return true;
    case ST_LREAL: case ST_ANYREAL: v = dbl(); return true;
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_SINT: case ST_INT: case ST_DINT:
    case ST_USINT: case ST_UINT: case ST_UDINT: case ST_STRUCTALARMID: case ST_STRUCTTASKID: case ST_ANYINT:
        if (m_sign == 0 && isSignedNarrow(m_type))
            v = double(patternKey());
        else
            v = m_sign == -1 ? -double(pattern()) : double(pattern());
        return true;
    default:
        return false;
    }
}

uint32_t StStdConstantVal::GetULongVal(bool& error) const
{
    if ((m_type < 13 || m_type == ST_STRUCTTASKID || m_type == ST_ANYINT) && m_sign != -1) {
        error = false;
        return pattern();
    }
    error = true;
    return 0;
}

int32_t StStdConstantVal::GetLongVal(bool& error) const
{
    if (m_type < 13 || m_type == ST_STRUCTALARMID || m_type == ST_ANYINT) {
        error = false;
        if (m_sign == 0 && isSignedNarrow(m_type)) return int32_t(patternKey());
        return m_sign == -1 ? int32_t(uint32_t(0) - pattern()) : int32_t(pattern());
    }
    error = true;
    return int32_t(0x80000000u);
}

float StStdConstantVal::GetRealVal(bool& error) const
{
    error = m_type != ST_REAL;
    return error ? 0.0f : flt();
}

double StStdConstantVal::GetLRealVal(bool& error) const
{
    error = m_type != ST_LREAL;
    return error ? 0.0 : dbl();
}

void StStdConstantVal::GetSysAddrVal(bool& error, uint16_t& first, uint16_t& second, uint32_t& word) const
{
    error = m_type != ST_ANYOBJECT;
    first = error ? 0 : u16();
    second = error ? 0 : get<uint16_t>(2);
    word = error ? 0 : hi32();
}

int StStdConstantVal::SetLongVal(const int32_t& v)
{
    if (!(m_type == ST_SINT || m_type == ST_INT || m_type == ST_DINT || m_type == ST_STRUCTALARMID)) return 1;
    m_sign = v < 0 ? -1 : 1;
    setPattern(v < 0 ? uint32_t(0) - uint32_t(v) : uint32_t(v));
    return 0;
}

int StStdConstantVal::SetULongVal(const uint32_t& v)
{
    switch (m_type) {
    case ST_BOOL: case ST_BYTE: case ST_USINT: case ST_WORD: case ST_UINT: case ST_DWORD: case ST_UDINT:
    case ST_STRUCTTASKID:
        m_sign = 1;
        setPattern(v);
        return 0;
    default:
        return 1;
    }
}

int StStdConstantVal::SetRealVal(const float& v) { return setFloat(v, ST_REAL); }
int StStdConstantVal::SetLRealVal(const double& v) { return setFloat(v, ST_LREAL); }

void StStdConstantVal::SetSysAddrVal(const uint32_t words[2])
{
    m_type = ST_ANYOBJECT;
    m_sign = 1;
    put(words[0], 0);
    put(words[1], 4);
}

uint32_t StStdConstantVal::getTargetWord() const
{
    switch (m_type) {
    case ST_REAL: return u32();
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_SINT: case ST_INT: case ST_DINT:
    case ST_USINT: case ST_UINT: case ST_UDINT: case ST_MEMADR: case ST_TIME: case ST_DATE: case ST_TOD:
    case ST_STRUCTALARMID: case ST_STRUCTTASKID: case ST_ANYINT:
        return m_sign == -1 ? uint32_t(0) - pattern() : pattern();
    default:
        return 0;
    }
}

StConstantVal* StStdConstantVal::makeArrayConstantVal(StConstantVal*& value, uint32_t n, uint32_t elementSize)
{
    StConstantVal* v = value;
    value = nullptr;
    if (n < 2 || !v) return v;
    const bool shared = v->isShared();
    return new StIntArrayConstantVal(n, v, elementSize, shared);
}

// ---------------------------------------------------------------------------
// Durations, dates and times of day
// ---------------------------------------------------------------------------

int64_t StStdConstantVal::dayNumber(int64_t y, unsigned m, unsigned d)
{
    // Days since 1970-01-01 of the proleptic Gregorian calendar.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days - 8034;  // 1992-01-01 is day 8035 after 1970-01-01, and day 1 here
}

bool StStdConstantVal::dateOfDay(uint32_t day, uint32_t& year, uint32_t& month, uint32_t& dayOfMonth)
{
    if (day == 0) {
        year = month = dayOfMonth = 1;
        return true;
    }
    int64_t z = int64_t(day) + 8034 + 719468;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2);
    if (y > 9999) return false;
    year = uint32_t(y);
    month = uint32_t(m);
    dayOfMonth = uint32_t(d);
    return true;
}

String StStdConstantVal::timeText(uint32_t ms)
{
    const uint32_t d = ms / kMsPerDay, h = ms / 3600000 % 24, m = ms / 60000 % 60, s = ms / 1000 % 60,
                   f = ms % 1000;
    std::string t = "T#";
    if (d) t += dec(d) + "d";
    if (h) t += dec(h) + "h";
    if (m) t += dec(m) + "m";
    if (s) t += dec(s) + "s";
    if (f || ms < 1000) t += dec(f) + "ms";
    return String(t.c_str());
}

String StStdConstantVal::dateText(uint32_t day)
{
    uint32_t y, m, d;
    if (!dateOfDay(day, y, m, d)) return String("??");
    return String((dec0(y, 4) + "-" + dec0(m, 2) + "-" + dec0(d, 2)).c_str());
}

String StStdConstantVal::todText(uint32_t ms)
{
    std::string t;
    if (ms >= kMsPerDay) t += dec(ms / kMsPerDay) + "d-";
    t += dec(ms / 3600000 % 24) + ":" + dec(ms / 60000 % 60) + ":" + dec(ms / 1000 % 60);
    if (ms % 1000) t += "." + dec0(ms % 1000, 3);
    return String(t.c_str());
}

bool StStdConstantVal::getTimeText(String& text) const
{
    if (m_type != ST_TIME) return false;
    text = timeText(u32());
    return true;
}

bool StStdConstantVal::getDateText(String& text) const
{
    if (m_type != ST_DATE) return false;
    text = String("D#") + dateText(u32());
    return true;
}

bool StStdConstantVal::getTimeOfDayText(String& text) const
{
    if (m_type != ST_TOD) return false;
    text = String("TOD#") + todText(u32());
    return true;
}

bool StStdConstantVal::getDateAndTimeText(String& text) const
{
    if (m_type != ST_DT) return false;
    text = String("DT#") + dateText(hi32()) + String("-") + todText(u32());
    return true;
}

int StStdConstantVal::parseTime(const String& text)
{
    std::string s = afterHash(text);
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    // Units from the largest down; each may close one field.
    static const uint64_t unitMs[5] = {kMsPerDay, 3600000, 60000, 1000, 1};
    static const uint64_t unitMax[5] = {49, 1193, 71582, 4294967, 0xFFFFFFFFu};
    static const uint64_t unitMaxBelow[5] = {49, 23, 59, 59, 999};
    uint64_t ip = 0, frac = 0, fracScale = 1;
    int intDigits = 0, fracDigits = 0;
    bool inFrac = false, fracSeen = false, anyUnit = false;
    int lastUnit = -1;
    uint64_t total = 0;
    int status = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        const char c = i < s.size() ? s[i] : '\0';
        if (c == '_') continue;
        if (c >= '0' && c <= '9') {
            if (inFrac) {
                if (++fracDigits > 10) return 1;
                frac = frac * 10 + unsigned(c - '0');
                fracScale *= 10;
            } else {
                if (++intDigits > 10) return 1;
                ip = ip * 10 + unsigned(c - '0');
            }
            continue;
        }
        if (c == '.') {
            if (inFrac || ip > 0xFFFFFFFFu) return 1;
            inFrac = true;
            continue;
        }
        if (c == '\0') {
            if (intDigits || fracDigits || inFrac || !anyUnit) return 1;
            break;
        }
        int unit;
        if (c == 'D') unit = 0;
        else if (c == 'H') unit = 1;
        else if (c == 'S') unit = 3;
        else if (c == 'M') {
            unit = 2;
            if (i + 1 < s.size() && s[i + 1] == 'S') {
                unit = 4;
                ++i;
            }
        } else {
            return 1;
        }
        // A field needs digits, the units come in falling order, and only
        // the last one may carry a fraction.
        if (!intDigits && !fracDigits) return 1;
        if (unit <= lastUnit || fracSeen) return 1;
        if (ip > (lastUnit >= 0 ? unitMaxBelow[unit] : unitMax[unit])) return 1;
        if (unit == 4) {
            total += ip;
            if (frac) status = 3;
        } else {
            total += ip * unitMs[unit] + (frac * unitMs[unit] + fracScale / 2) / fracScale;
        }
        if (total > 0xFFFFFFFFu) return 1;
        fracSeen = inFrac;
        lastUnit = unit;
        anyUnit = true;
        ip = frac = 0;
        fracScale = 1;
        intDigits = fracDigits = 0;
        inFrac = false;
    }
    setWord(ST_TIME, uint32_t(total));
    return status;
}

namespace {

// "YYYY-MM-DD" (fields closed by "-" and the end, other characters
// skipped) to a day number; false outside 1992..2200 unless 1-1-1.
bool parseDateText(const std::string& s, uint32_t& day)
{
    uint32_t f[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int k = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        const char c = i < s.size() ? s[i] : '\0';
        if (c >= '0' && c <= '9') {
            if (k > 2 || ++digits[k] > 6) return false;
            f[k] = f[k] * 10 + unsigned(c - '0');
        } else if (c == '-' || c == '\0') {
            if (k > 2 || !digits[k]) return false;
            ++k;
        }
    }
    if (k != 3) return false;
    if (f[0] == 1 && f[1] == 1 && f[2] == 1) {
        day = 0;
        return true;
    }
    if (f[0] < 1992 || f[0] > 2200 || f[1] < 1 || f[1] > 12 || f[2] < 1) return false;
    static const unsigned mdays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (f[0] % 4 == 0 && f[0] % 100 != 0) || f[0] % 400 == 0;
    if (f[2] > mdays[f[1] - 1] + (f[1] == 2 && leap ? 1 : 0)) return false;
    day = uint32_t(StStdConstantVal::dayNumber(f[0], f[1], f[2]));
    return true;
}

// "h:m:s.f" to milliseconds; empty text is midnight.
bool parseTodText(const std::string& s, uint32_t& ms)
{
    uint64_t f[4] = {0, 0, 0, 0};
    int digits[4] = {0, 0, 0, 0};
    int k = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            if (++digits[k] > 10) return false;
            f[k] = f[k] * 10 + unsigned(c - '0');
        } else if (c == ':' || c == '.') {
            if (++k > 3) return false;
        } else {
            return false;
        }
    }
    if (digits[3] > 3) return false;
    const uint64_t frac = digits[3] == 1 ? f[3] * 100 : digits[3] == 2 ? f[3] * 10 : f[3];
    if (f[0] >= 24 || f[1] >= 60 || f[2] >= 60 || frac >= 1000) return false;
    ms = uint32_t(((f[0] * 60 + f[1]) * 60 + f[2]) * 1000 + frac);
    return true;
}

}  // namespace

bool StStdConstantVal::parseDate(const String& text)
{
    uint32_t day;
    if (!parseDateText(afterHash(text), day)) return false;
    setWord(ST_DATE, day);
    return true;
}

bool StStdConstantVal::parseTimeOfDay(const String& text)
{
    uint32_t ms;
    if (!parseTodText(afterHash(text), ms)) return false;
    setWord(ST_TOD, ms);
    return true;
}

bool StStdConstantVal::parseDateAndTime(const String& text)
{
    const std::string s = afterHash(text);
    if (s.size() < 12) return false;
    uint32_t day, ms;
    if (!parseDateText(s.substr(0, 10), day) || !parseTodText(s.substr(11), ms)) return false;
    m_type = ST_DT;
    m_sign = 1;
    clearValue();
    put(ms, 0);
    put(day, 4);
    return true;
}

// ---------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------

bool StStdConstantVal::isEqual(const StConstantVal& other) const
{
    if (other.getKind() != ST_CONST_STD || !StConstantVal::isEqual(other)) return false;
    const auto& o = static_cast<const StStdConstantVal&>(other);
    if (m_type != o.m_type) return false;
    if (!isPatternType(m_type) && m_sign != o.m_sign) return false;
    if (isNeverEqual()) return false;
    return compareTo(other) == 0;
}

// Three-way order: shared flag, type id, then the value. Integers 1-13 by
// their pattern read in the type's signedness (so two patterns equal in the
// type's width are equivalent, as isEqual has it); other types by sign,
// then the words (reversed for a negative sign). A negative magnitude that
// the type cannot hold (SINT -129, kept after a range error was reported;
// any negative unsigned value) is no pattern of the type: it keys as its
// own value, below every value of the type, and so never meets another.
int StStdConstantVal::compareTo(const StConstantVal& other) const
{
    if (int c = StConstantVal::compareTo(other)) return c;
    const auto& o = static_cast<const StStdConstantVal&>(other);
    if (int c = cmp3s(m_type, o.m_type)) return c;
    if (isPatternType(m_type)) return cmp3s(patternKey(), o.patternKey());
    if (int c = cmp3s(m_sign, o.m_sign)) return c;
    const int dir = m_sign == -1 ? -1 : 1;
    switch (m_type) {
    case ST_REAL: return cmpF(flt(), o.flt());
    case ST_LREAL: case ST_ANYREAL: return cmpF(dbl(), o.dbl());
    case ST_ANYOBJECT:
        if (int c = cmp3(u16(), o.u16())) return c;
        if (int c = cmp3(get<uint16_t>(2), o.get<uint16_t>(2))) return c;
        return cmp3(hi32(), o.hi32());
    case ST_DT:
        if (int c = cmp3(hi32(), o.hi32())) return dir * c;
        return dir * cmp3(u32(), o.u32());
    default:
        return valueWidth(m_type) ? dir * cmp3(u32(), o.u32()) : 0;
    }
}

int64_t StStdConstantVal::patternKey() const
{
    const unsigned w = valueWidth(m_type);
    if (!w) return 0;
    const uint32_t m = pattern();
    if (m_sign == -1 && m > (isSignedNarrow(m_type) ? 1u << (8 * w - 1) : 0u)) return -int64_t(m);
    const uint32_t p = (m_sign == -1 ? uint32_t(0) - m : m) & widthMask(w);
    if (!isSignedNarrow(m_type)) return int64_t(p);
    const uint32_t top = 1u << (8 * w - 1);
    return (p & top) ? int64_t(p) - (int64_t(top) << 1) : int64_t(p);
}

StConstOrderKey StStdConstantVal::orderKey() const
{
    StConstOrderKey k;
    k.shared = m_shared;
    k.type = m_type;
    if (isPatternType(m_type)) {
        k.payload = uint64_t(patternKey());
        return k;
    }
    k.sign = m_sign;
    switch (m_type) {
    case ST_REAL: {
        // The order has +0 and -0 equivalent.
        const float f = flt() == 0 ? 0.0f : flt();
        uint32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        k.payload = bits;
        break;
    }
    case ST_LREAL: case ST_ANYREAL: {
        const double d = dbl() == 0 ? 0.0 : dbl();
        std::memcpy(&k.payload, &d, 8);
        break;
    }
    case ST_ANYOBJECT: case ST_DT: k.payload = uint64_t(hi32()) << 32 | u32(); break;
    default: k.payload = valueWidth(m_type) ? u32() : 0; break;
    }
    return k;
}

// ---------------------------------------------------------------------------
// Texts, written forms and image
// ---------------------------------------------------------------------------

void StStdConstantVal::dumpValue(std::ostream& os) const
{
    static const char* const names[] = {"void", "bool", "byte", "word", "dword", "lword", "sint", "int",
                                        "dint", "lint", "usint", "uint", "udint", "ulint", "real", "lreal",
                                        "sysadr", "adr", "time", "date", "tod", "dt", "alarmtype", "tasktype"};
    const char* name = m_type >= 0 && m_type <= 23 ? names[m_type]
                       : m_type == ST_ANYINT       ? "any_int"
                       : m_type == ST_ANYREAL      ? "any_real"
                                                   : "???";
    os << '(' << name << ' ';
    if (m_sign == -1 && m_type != ST_REAL && m_type != ST_LREAL && m_type != ST_ANYREAL) os << '-';
    String t;
    switch (m_type) {
    case ST_VOID: os << "nix"; break;
    case ST_REAL: os << gText(flt(), 10); break;
    case ST_LREAL: case ST_ANYREAL: os << gText(dbl(), 18); break;
    case ST_ANYOBJECT: os << "DvID: " << u16() << " ToID: " << get<uint16_t>(2); break;
    case ST_TIME: getTimeText(t); os << t; break;
    case ST_DATE: getDateText(t); os << t; break;
    case ST_TOD: getTimeOfDayText(t); os << t; break;
    case ST_DT: getDateAndTimeText(t); os << t; break;
    case ST_ANYTYPE: os << "ANY"; break;
    default:
        if (valueWidth(m_type) || isPatternType(m_type)) os << pattern();
        break;
    }
    os << ')';
}

void StStdConstantVal::dump(std::ostream& os) const
{
    dumpValue(os);
    os << "    ";
    dumpConstPlace(os);
}

template <class A>
void StStdConstantVal::ioNumber(A& a)
{
    a.num(m_type);
    a.num(m_sign);
    switch (m_type) {
    case ST_BOOL: case ST_BYTE: case ST_SINT: case ST_USINT: {
        uint8_t v = u8();
        a.num(v);
        if constexpr (A::kReading) put(v);
        return;
    }
    case ST_WORD: case ST_INT: case ST_UINT: {
        uint16_t v = u16();
        a.num(v);
        if constexpr (A::kReading) put(v);
        return;
    }
    case ST_DWORD: case ST_DINT: case ST_UDINT: case ST_MEMADR: case ST_TIME: case ST_DATE: case ST_TOD:
    case ST_STRUCTALARMID: case ST_STRUCTTASKID: case ST_ANYINT: {
        uint32_t v = u32();
        a.num(v);
        if constexpr (A::kReading) put(v);
        return;
    }
    case ST_REAL: {
        float v = flt();
        a.real(v);
        if constexpr (A::kReading) put(v);
        return;
    }
    case ST_LREAL: case ST_ANYREAL: {
        double v = dbl();
        a.real(v);
        if constexpr (A::kReading) put(v);
        return;
    }
    case ST_ANYOBJECT: {
        uint16_t first = u16(), second = get<uint16_t>(2);
        uint32_t word = hi32();
        a.num(first);
        a.num(second);
        a.num(word);
        if constexpr (A::kReading) {
            put(first, 0);
            put(second, 2);
            put(word, 4);
        }
        break;
    }
    case ST_DT: {
        uint32_t date = hi32(), ms = u32();
        a.num(date);
        a.num(ms);
        if constexpr (A::kReading) {
            put(ms, 0);
            put(date, 4);
        }
        break;
    }
    default:
        break;
    }
    a.blank();
}

template <class A>
void StStdConstantVal::ioBody(A& a)
{
    stConstShared(a, m_shared);
    if constexpr (A::kReading) clearValue();
    ioNumber(a);
    if constexpr (A::kReading) canonicalise();
    stConstPlace(a, *this);
}

template <class A>
void StStdConstantVal::ioValue(A& a)
{
    if constexpr (A::kReading) clearValue();
    ioNumber(a);
    if constexpr (A::kReading) canonicalise();
}

ST_CONST_BODIES(StStdConstantVal)

int StStdConstantVal::writeImage(FsSecData& data, int32_t offset) const { return writeImageCount(data, offset, 1); }

int StStdConstantVal::writeImageCount(FsSecData& data, int32_t offset, uint32_t count) const
{
    const int32_t at = int32_t(uint32_t(m_address) + uint32_t(offset));
    FsDataValue v;
    v.size = int32_t(count);
    if (m_type == ST_DT || m_type == ST_ANYOBJECT) {
        bool ok;
        if (m_type == ST_DT) {
            v.address = at;
            v.setULong(FsDataValue::T_UDINT, u32());
            ok = data.writeValue(v);
            v.address = at + 4;
            v.setULong(FsDataValue::T_UDINT, hi32());
            ok = data.writeValue(v) && ok;
        } else {
            v.address = at;
            v.setULong(FsDataValue::T_UINT, u16());
            ok = data.writeValue(v);
            v.address = at + 2;
            v.setULong(FsDataValue::T_UINT, get<uint16_t>(2));
            ok = data.writeValue(v) && ok;
            v.address = at + 4;
            v.setULong(FsDataValue::T_UDINT, hi32());
            ok = data.writeValue(v) && ok;
        }
        return ok ? 0 : 1;
    }
    const McMachValue mv = McConvert::makeMachValue(*this, offset, count);
    if (mv.mode == MC_OTHER) return 0;
    v.type = mv.mode;
    v.address = int32_t(mv.address);
    v.raw = mv.value;
    return data.writeValue(v) ? 0 : 1;
}

McMachValue McConvert::makeMachValue(const StConstantVal& constant, int32_t offset, uint32_t extra)
{
    uint8_t raw[8];
    uint32_t type;
    int32_t sign;
    constant.getRaw(raw, type, sign);
    McMachValue r;
    r.mode = getMachModeOfTypeId(type);
    r.address = uint32_t(constant.getStorageAddress()) + uint32_t(offset);
    r.extra = extra;
    const uint32_t mul = sign == -1 ? 0xFFFFFFFFu : 1u;  // the sign as a 32-bit factor
    uint32_t w32;
    std::memcpy(&w32, raw, 4);
    switch (type) {
    case ST_BOOL: case ST_BYTE: case ST_USINT: r.value = raw[0]; break;
    case ST_WORD: case ST_UINT: r.value = w32 & 0xFFFF; break;
    case ST_DWORD: case ST_UDINT: case ST_REAL: case ST_TIME: case ST_DATE: case ST_TOD: case ST_STRUCTTASKID:
        r.value = w32;
        break;
    case ST_SINT: r.value = uint32_t(raw[0] * mul); break;
    case ST_INT: r.value = uint32_t((w32 & 0xFFFF) * mul); break;
    case ST_DINT: case ST_MEMADR: case ST_STRUCTALARMID: r.value = uint32_t(w32 * mul); break;
    case ST_LREAL: std::memcpy(&r.value, raw, 8); break;
    default: break;
    }
    return r;
}
