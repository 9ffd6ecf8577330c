#include "base/cm/cmformat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cm {

std::u16string ascii(const char* s)
{
    std::u16string r;
    for (; s && *s; ++s) r.push_back(static_cast<unsigned char>(*s));
    return r;
}

namespace {

// One number through a printf conversion.
template <class T>
std::u16string printed(const char* format, T v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, format, v);
    return ascii(buf);
}

}  // namespace

// Decimal numbers are in every message (its line, its id): written here
// rather than through printf.
std::u16string decimal(uint32_t v)
{
    char16_t buf[10];
    char16_t* p = buf + 10;
    do {
        *--p = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v);
    return std::u16string(p, buf + 10);
}

std::u16string decimalSigned(int32_t v)
{
    if (v >= 0) return decimal(uint32_t(v));
    return u'-' + decimal(0u - uint32_t(v));
}
std::u16string hexLower(uint32_t v) { return printed("%x", static_cast<unsigned>(v)); }
std::u16string hexUpper(uint32_t v) { return printed("%X", static_cast<unsigned>(v)); }

std::u16string binary(uint32_t v)
{
    std::u16string r;
    do {
        r.insert(r.begin(), char16_t(u'0' + (v & 1)));
        v >>= 1;
    } while (v);
    return r;
}

std::u16string numberText(uint32_t id)
{
    return id < 0x10000 ? decimal(id) : u"0x" + hexLower(id);
}

std::u16string groupFours(const std::u16string& digits)
{
    std::u16string r;
    std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 4 == 0) r.push_back(u'_');
        r.push_back(digits[i]);
    }
    return r;
}

std::string gcvt(double value, int digits)
{
    if (digits < 1) digits = 1;
    if (digits > 100) digits = 100;
    if (std::isnan(value)) return std::signbit(value) ? "-1.#IND" : "1.#QNAN";
    if (std::isinf(value)) return value < 0 ? "-1.#INF" : "1.#INF";

    const int precise = digits < 17 ? digits : 17;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precise - 1, value);
    // buf: [-]d[.ddd]e(+|-)xx
    const char* p = buf;
    std::string out;
    if (*p == '-') {
        out.push_back('-');
        ++p;
    }
    std::string mant;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') mant.push_back(*p);
    int exp10 = (*p == 'e') ? std::atoi(p + 1) : 0;
    if (value == 0) exp10 = 0;
    mant.resize(static_cast<std::size_t>(digits), '0');

    std::string body;
    if (exp10 < -1 || exp10 > digits - 1) {
        body.push_back(mant[0]);
        body.push_back('.');
        body.append(mant, 1, std::string::npos);
        while (body.back() == '0') body.pop_back();
        char e[16];
        std::snprintf(e, sizeof e, "e%c%03d", exp10 < 0 ? '-' : '+', exp10 < 0 ? -exp10 : exp10);
        body += e;
    } else if (exp10 == -1) {
        body = "0." + mant;
        while (body.back() == '0') body.pop_back();
    } else {
        body.assign(mant, 0, static_cast<std::size_t>(exp10) + 1);
        body.push_back('.');
        body.append(mant, static_cast<std::size_t>(exp10) + 1, std::string::npos);
        while (body.back() == '0') body.pop_back();
    }
    return out + body;
}

}  // namespace cm
