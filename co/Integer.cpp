#include "co/Integer.h"

#include <cctype>
#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "base/falloc/AllocPool.h"
#include "co/tvstring.h"

namespace {

constexpr unsigned kMaxDigits = 65532;
constexpr unsigned kPoolDigits = 5;   // digits of a 16-byte block

// The static values of one digit (sz 0: never written), as the words of
// their representation: not every compiler initialises a flexible array
// member.
alignas(IntRep) uint16_t g_statics[3][4] = {{1, 0, 1, 0}, {1, 0, 1, 1}, {1, 0, 0, 1}};
IntRep& g_zero = *reinterpret_cast<IntRep*>(g_statics[0]);
IntRep& g_one = *reinterpret_cast<IntRep*>(g_statics[1]);
IntRep& g_minusOne = *reinterpret_cast<IntRep*>(g_statics[2]);

void fault(const char* message)
{
    callStringErrorHandler("Integer", message);
}

CAllocPoolImpl* pool16()
{
    static CAllocPoolImpl* const pool = CAllocPool<128>::poolForSize(16);
    return pool;
}

// Refuses a result of more digits than the largest representation holds.
void checkDigits(uint64_t digits)
{
    if (digits > kMaxDigits) {
        fault("Requested length out of range");
        throw std::length_error("Integer: requested length out of range");
    }
}

IntRep* allocRep(unsigned digits)
{
    checkDigits(digits);
    size_t bytes = 16;
    while (bytes < 2 * size_t(digits) + 6) bytes <<= 1;
    void* block = bytes == 16 ? CAllocPoolImpl::allocateFrom(pool16(), 16) : ::operator new(bytes);
    IntRep* r = static_cast<IntRep*>(block);
    r->len = 0;
    r->sz = uint16_t((bytes - 6) / 2);
    r->sgn = 1;
    return r;
}

bool writable(const IntRep* r, unsigned digits)
{
    return r && r->sz != 0 && r->sz >= digits;
}

// A representation for `digits` digits: the target when it can be written,
// else a new one. The caller releases the target afterwards when a new one
// was made (the operands may still live in it until then).
IntRep* prepare(IntRep* target, unsigned digits)
{
    return writable(target, digits) ? target : allocRep(digits);
}

IntRep* finish(IntRep* result, IntRep* target)
{
    if (result != target) Integer::deleteRep(target);
    return result;
}

void normalise(IntRep* r)
{
    if (r->sz == 0) return;
    while (r->len && r->s[r->len - 1] == 0) --r->len;
    if (r->len == 0) r->sgn = 1;
}

IntRep* zeroInto(IntRep* target)
{
    if (writable(target, 0)) {
        target->len = 0;
        target->sgn = 1;
        return target;
    }
    Integer::deleteRep(target);
    return &g_zero;
}

// A read-only view of a value: digits without leading zeros and the sign.
struct View {
    const uint16_t* d;
    unsigned n;
    bool neg;
};

View viewOf(const IntRep* r)
{
    if (!r) {
        fault("operation on uninitialized Integer");
        return {nullptr, 0, false};
    }
    unsigned n = r->len;
    while (n && r->s[n - 1] == 0) --n;
    return {r->s, n, n != 0 && r->sgn == 0};
}

// The view of a 64-bit value, with its digits in buf.
View viewOf(int64_t v, uint16_t (&buf)[4])
{
    uint64_t m = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
    unsigned n = 0;
    while (m) {
        buf[n++] = uint16_t(m);
        m >>= 16;
    }
    return {buf, n, v < 0};
}

int compareMag(const View& x, const View& y)
{
    if (x.n != y.n) return x.n < y.n ? -1 : 1;
    for (unsigned i = x.n; i-- > 0;)
        if (x.d[i] != y.d[i]) return x.d[i] < y.d[i] ? -1 : 1;
    return 0;
}

int compareViews(const View& x, const View& y)
{
    if (x.neg != y.neg) return x.neg ? -1 : 1;
    int m = compareMag(x, y);
    return x.neg ? -m : m;
}

// x + y. Digits are combined index by index, so the result may share the
// target with either operand.
IntRep* addViews(View x, View y, IntRep* target)
{
    if (x.neg == y.neg) {
        if (x.n < y.n) std::swap(x, y);
        IntRep* r = prepare(target, x.n + 1);
        uint32_t carry = 0;
        for (unsigned i = 0; i < x.n; ++i) {
            uint32_t sum = uint32_t(x.d[i]) + (i < y.n ? y.d[i] : 0) + carry;
            r->s[i] = uint16_t(sum);
            carry = sum >> 16;
        }
        r->s[x.n] = uint16_t(carry);
        r->len = uint16_t(x.n + 1);
        r->sgn = x.neg ? 0 : 1;
        normalise(r);
        return finish(r, target);
    }
    int m = compareMag(x, y);
    if (m == 0) return zeroInto(target);
    if (m < 0) std::swap(x, y);   // now |x| > |y|; the result has x's sign
    IntRep* r = prepare(target, x.n);
    int32_t borrow = 0;
    for (unsigned i = 0; i < x.n; ++i) {
        int32_t diff = int32_t(x.d[i]) - (i < y.n ? y.d[i] : 0) - borrow;
        borrow = diff < 0;
        r->s[i] = uint16_t(diff + (borrow << 16));
    }
    r->len = uint16_t(x.n);
    r->sgn = x.neg ? 0 : 1;
    normalise(r);
    return finish(r, target);
}

bool sharesDigits(const IntRep* r, const View& v)
{
    return r && v.d == r->s;
}

IntRep* mulViews(const View& x, const View& y, IntRep* target)
{
    if (x.n == 0 || y.n == 0) return zeroInto(target);
    const unsigned n = x.n + y.n;
    IntRep* r = (sharesDigits(target, x) || sharesDigits(target, y)) ? allocRep(n)
                                                                     : prepare(target, n);
    std::memset(r->s, 0, n * sizeof(uint16_t));
    for (unsigned i = 0; i < x.n; ++i) {
        uint32_t carry = 0;
        for (unsigned j = 0; j < y.n; ++j) {
            uint32_t t = uint32_t(x.d[i]) * y.d[j] + r->s[i + j] + carry;
            r->s[i + j] = uint16_t(t);
            carry = t >> 16;
        }
        r->s[i + y.n] = uint16_t(carry);
    }
    r->len = uint16_t(n);
    r->sgn = x.neg != y.neg ? 0 : 1;
    normalise(r);
    return finish(r, target);
}

// Divides digits[0..n) in place by a one-digit divisor, from the top down;
// returns the remainder.
uint32_t shortDivide(uint16_t* d, unsigned n, uint32_t divisor)
{
    uint32_t rem = 0;
    for (unsigned i = n; i-- > 0;) {
        uint32_t cur = (rem << 16) | d[i];
        d[i] = uint16_t(cur / divisor);
        rem = cur % divisor;
    }
    return rem;
}

IntRep* repFromDigits(const uint16_t* d, unsigned n, bool neg)
{
    IntRep* r = allocRep(n);
    if (n) std::memcpy(r->s, d, n * sizeof(uint16_t));
    r->len = uint16_t(n);
    r->sgn = neg ? 0 : 1;
    normalise(r);
    return r;
}

// Truncating division into new representations.
void divViews(const View& x, const View& y, IntRep*& q, IntRep*& r)
{
    if (y.n == 0) {
        fault("attempted division by zero");
        q = repFromDigits(nullptr, 0, false);
        r = repFromDigits(x.d, x.n, x.neg);
        return;
    }
    const bool qneg = x.neg != y.neg;
    int m = compareMag(x, y);
    if (m < 0) {
        q = repFromDigits(nullptr, 0, false);
        r = repFromDigits(x.d, x.n, x.neg);
        return;
    }
    if (m == 0) {
        const uint16_t one = 1;
        q = repFromDigits(&one, 1, qneg);
        r = repFromDigits(nullptr, 0, false);
        return;
    }
    if (y.n == 1) {
        q = repFromDigits(x.d, x.n, qneg);
        uint16_t rem = uint16_t(shortDivide(q->s, q->len, y.d[0]));
        normalise(q);
        r = repFromDigits(&rem, 1, x.neg);
        return;
    }

    // Long division with the divisor scaled so that its top digit is large.
    const unsigned n = y.n, mq = x.n - y.n;
    const uint32_t scale = 65536u / (uint32_t(y.d[n - 1]) + 1);
    std::vector<uint16_t> u(x.n + 1), v(n);
    uint32_t carry = 0;
    for (unsigned i = 0; i < x.n; ++i) {
        uint32_t t = uint32_t(x.d[i]) * scale + carry;
        u[i] = uint16_t(t);
        carry = t >> 16;
    }
    u[x.n] = uint16_t(carry);
    carry = 0;
    for (unsigned i = 0; i < n; ++i) {
        uint32_t t = uint32_t(y.d[i]) * scale + carry;
        v[i] = uint16_t(t);
        carry = t >> 16;
    }
    const uint64_t vTop2 = (uint64_t(v[n - 1]) << 16) | v[n - 2];

    q = allocRep(mq + 1);
    for (unsigned j = mq + 1; j-- > 0;) {
        const uint64_t uTop2 = (uint64_t(u[j + n]) << 16) | u[j + n - 1];
        uint64_t qhat = u[j + n] == v[n - 1] ? 65535 : uTop2 / v[n - 1];
        const uint64_t uTop3 = (uTop2 << 16) | u[j + n - 2];
        while (qhat * vTop2 > uTop3) --qhat;

        int64_t borrow = 0;
        uint64_t mulCarry = 0;
        for (unsigned i = 0; i < n; ++i) {
            uint64_t p = qhat * v[i] + mulCarry;
            mulCarry = p >> 16;
            int64_t t = int64_t(u[i + j]) - int64_t(p & 0xFFFF) - borrow;
            borrow = t < 0;
            u[i + j] = uint16_t(t + (borrow << 16));
        }
        int64_t t = int64_t(u[j + n]) - int64_t(mulCarry) - borrow;
        u[j + n] = uint16_t(t);
        if (t < 0) {   // qhat was one too large: add the divisor back once
            --qhat;
            uint32_t c = 0;
            for (unsigned i = 0; i < n; ++i) {
                uint32_t s = uint32_t(u[i + j]) + v[i] + c;
                u[i + j] = uint16_t(s);
                c = s >> 16;
            }
            u[j + n] = uint16_t(u[j + n] + c);
        }
        q->s[j] = uint16_t(qhat);
    }
    q->len = uint16_t(mq + 1);
    q->sgn = qneg ? 0 : 1;
    normalise(q);

    shortDivide(u.data(), n, scale);
    r = repFromDigits(u.data(), n, x.neg);
}

IntRep* fromInt64(IntRep* target, int64_t v)
{
    if (!writable(target, 4)) {
        if (v == 0 || v == 1 || v == -1) {
            Integer::deleteRep(target);
            return v == 0 ? &g_zero : v == 1 ? &g_one : &g_minusOne;
        }
    }
    uint16_t buf[4];
    View w = viewOf(v, buf);
    IntRep* r = prepare(target, 4);
    std::memcpy(r->s, w.d, w.n * sizeof(uint16_t));
    r->len = uint16_t(w.n);
    r->sgn = w.neg ? 0 : 1;
    return finish(r, target);
}

IntRep* fromUInt64(IntRep* target, uint64_t v)
{
    IntRep* r = prepare(target, 4);
    unsigned n = 0;
    while (v) {
        r->s[n++] = uint16_t(v);
        v >>= 16;
    }
    r->len = uint16_t(n);
    r->sgn = 1;
    return finish(r, target);
}

int digitValue(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// r = r * factor + add on a writable representation, growing it as needed
// (by at most two digits).
IntRep* mulAddWide(IntRep* r, uint32_t factor, uint32_t add)
{
    uint64_t carry = add;
    for (unsigned i = 0; i < r->len; ++i) {
        uint64_t t = uint64_t(r->s[i]) * factor + carry;
        r->s[i] = uint16_t(t);
        carry = t >> 16;
    }
    while (carry) {
        if (r->len >= r->sz) {
            IntRep* bigger = allocRep(r->len + 2u);
            std::memcpy(bigger->s, r->s, r->len * sizeof(uint16_t));
            bigger->len = r->len;
            bigger->sgn = r->sgn;
            Integer::deleteRep(r);
            r = bigger;
        }
        r->s[r->len++] = uint16_t(carry);
        carry >>= 16;
    }
    return r;
}

// Collects the digits of a number in one base into a representation,
// several digits per multiplication. A number too long for the largest
// representation keeps the value of its leading digits (far outside every
// range the system checks) instead of failing: such a literal in a source
// must not end the process.
class DigitAccumulator {
public:
    DigitAccumulator(IntRep*& rep, uint32_t base) : m_rep(rep), m_base(base) {}
    ~DigitAccumulator() { flush(); }

    void add(uint32_t digit)
    {
        if (m_scale > 0xFFFFFFFFu / m_base) flush();
        m_chunk = m_chunk * m_base + digit;
        m_scale *= m_base;
    }

    void flush()
    {
        if (m_scale > 1 && !m_full) {
            if (m_rep->len + 2u > kMaxDigits)
                m_full = true;
            else
                m_rep = mulAddWide(m_rep, m_scale, m_chunk);
        }
        m_chunk = 0;
        m_scale = 1;
    }

private:
    IntRep*& m_rep;
    uint32_t m_base;
    uint32_t m_chunk = 0;
    uint32_t m_scale = 1;
    bool m_full = false;
};

}  // namespace

// ---- representation functions -----------------------------------------

void Integer::deleteRep(IntRep* rep)
{
    if (!rep || rep->sz == 0) return;
    if (rep->sz <= kPoolDigits)
        CAllocPoolImpl::deallocateTo(pool16(), rep);
    else
        ::operator delete(rep);
}

IntRep* Integer::copyRep(IntRep* target, const IntRep* source)
{
    if (target == source) return target;
    if (!source) return zeroInto(target);
    if (source->sz == 0 && !writable(target, source->len)) {
        deleteRep(target);
        return const_cast<IntRep*>(source);   // static values are shared
    }
    IntRep* r = prepare(target, source->len);
    std::memcpy(r->s, source->s, source->len * sizeof(uint16_t));
    r->len = source->len;
    r->sgn = source->sgn;
    normalise(r);
    return finish(r, target);
}

IntRep* Integer::negateRep(IntRep* target, const IntRep* source)
{
    View v = viewOf(source);
    if (v.n == 1 && v.d[0] == 1 && !writable(target, 1)) {
        deleteRep(target);
        return v.neg ? &g_one : &g_minusOne;
    }
    if (v.n == 0) return zeroInto(target);
    IntRep* r = copyRep(target, source);
    r->sgn = v.neg ? 1 : 0;
    return r;
}

IntRep* Integer::addLong(const IntRep* x, bool negateX, int32_t y, IntRep* target)
{
    View vx = viewOf(x);
    if (negateX && vx.n) vx.neg = !vx.neg;
    uint16_t buf[4];
    return addViews(vx, viewOf(int64_t(y), buf), target);
}

int Integer::compareRep(const IntRep* x, const IntRep* y)
{
    return compareViews(viewOf(x), viewOf(y));
}

// ---- construction -----------------------------------------------------------

Integer::Integer(int32_t v) : m_rep(fromInt64(nullptr, v)) {}
Integer::Integer(int64_t v) : m_rep(fromInt64(nullptr, v)) {}
Integer::Integer(uint32_t v) : m_rep(v <= 1 ? (v ? &g_one : &g_zero) : fromUInt64(nullptr, v)) {}

Integer::Integer(const Integer& other) : m_rep(copyRep(nullptr, other.m_rep)) {}

Integer::~Integer()
{
    deleteRep(m_rep);
}

Integer& Integer::operator=(const Integer& other)
{
    m_rep = copyRep(m_rep, other.m_rep);
    return *this;
}

Integer& Integer::operator=(Integer&& other) noexcept
{
    if (this != &other) {
        deleteRep(m_rep);
        m_rep = other.m_rep;
        other.m_rep = nullptr;
    }
    return *this;
}

Integer& Integer::operator=(int32_t v)
{
    m_rep = fromInt64(m_rep, v);
    return *this;
}

Integer Integer::fromString(const char* text, int base)
{
    Integer result(allocRep(kPoolDigits));   // owns the digits should growing fail
    if (!text || base < 2 || base > 36) return result;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p && std::isspace(*p)) ++p;
    bool neg = false;
    if (*p == '-' || *p == '+') neg = *p++ == '-';
    {
        DigitAccumulator acc(result.m_rep, uint32_t(base));
        for (int v; (v = digitValue(*p)) < base; ++p) acc.add(uint32_t(v));
    }
    // "-0" is zero like any other zero.
    result.m_rep->sgn = neg && result.m_rep->len ? 0 : 1;
    return result;
}

// ---- queries ------------------------------------------------------------------

bool Integer::isZero() const
{
    return viewOf(m_rep).n == 0;
}

bool Integer::isNegative() const
{
    return viewOf(m_rep).neg;
}

int Integer::sign() const
{
    View v = viewOf(m_rep);
    return v.n == 0 ? 0 : v.neg ? -1 : 1;
}

unsigned Integer::digitCount() const
{
    return viewOf(m_rep).n;
}

unsigned Integer::repCapacity() const
{
    return m_rep ? m_rep->sz : 0;
}

bool Integer::fitsLong() const
{
    View v = viewOf(m_rep);
    if (v.n <= 1) return true;
    if (v.n > 2) return false;
    return v.d[1] < 0x8000 || (v.neg && v.d[1] == 0x8000 && v.d[0] == 0);
}

int32_t Integer::toLong() const
{
    View v = viewOf(m_rep);
    if (!fitsLong()) return v.neg ? INT32_MIN : INT32_MAX;
    uint32_t mag = v.n == 0 ? 0 : v.n == 1 ? v.d[0] : (uint32_t(v.d[1]) << 16) | v.d[0];
    return v.neg ? int32_t(0u - mag) : int32_t(mag);
}

int Integer::compare(const Integer& other) const
{
    return compareRep(m_rep, other.m_rep);
}

int Integer::compare(int32_t v) const
{
    uint16_t buf[4];
    return compareViews(viewOf(m_rep), viewOf(int64_t(v), buf));
}

int Integer::compareMagnitude(const Integer& other) const
{
    return compareMag(viewOf(m_rep), viewOf(other.m_rep));
}

// ---- arithmetic -----------------------------------------------------------------

Integer Integer::operator-() const
{
    return Integer(negateRep(nullptr, m_rep));
}

Integer Integer::abs() const
{
    return isNegative() ? -*this : *this;
}

void Integer::negate()
{
    m_rep = negateRep(m_rep, m_rep);
}

Integer& Integer::operator+=(const Integer& y)
{
    m_rep = addViews(viewOf(m_rep), viewOf(y.m_rep), m_rep);
    return *this;
}

Integer& Integer::operator-=(const Integer& y)
{
    View vy = viewOf(y.m_rep);
    if (vy.n) vy.neg = !vy.neg;
    m_rep = addViews(viewOf(m_rep), vy, m_rep);
    return *this;
}

Integer& Integer::operator*=(const Integer& y)
{
    m_rep = mulViews(viewOf(m_rep), viewOf(y.m_rep), m_rep);
    return *this;
}

Integer& Integer::operator+=(int32_t y)
{
    m_rep = addLong(m_rep, false, y, m_rep);
    return *this;
}

Integer& Integer::operator-=(int32_t y)
{
    uint16_t buf[4];
    m_rep = addViews(viewOf(m_rep), viewOf(-int64_t(y), buf), m_rep);
    return *this;
}

Integer& Integer::operator*=(int32_t y)
{
    uint16_t buf[4];
    m_rep = mulViews(viewOf(m_rep), viewOf(int64_t(y), buf), m_rep);
    return *this;
}

void Integer::divide(const Integer& x, const Integer& y, Integer& quotient, Integer& remainder)
{
    IntRep *q = nullptr, *r = nullptr;
    divViews(viewOf(x.m_rep), viewOf(y.m_rep), q, r);
    // x and y may be the quotient or remainder objects: replace only now.
    deleteRep(quotient.m_rep);
    quotient.m_rep = q;
    deleteRep(remainder.m_rep);
    remainder.m_rep = r;
}

Integer& Integer::operator/=(const Integer& y)
{
    Integer r;
    divide(*this, y, *this, r);
    return *this;
}

Integer& Integer::operator%=(const Integer& y)
{
    Integer q;
    divide(*this, y, q, *this);
    return *this;
}

Integer& Integer::operator/=(int32_t y)
{
    return *this /= Integer(y);
}

Integer& Integer::operator%=(int32_t y)
{
    return *this %= Integer(y);
}

Integer operator+(const Integer& x, const Integer& y) { Integer r(x); r += y; return r; }
Integer operator-(const Integer& x, const Integer& y) { Integer r(x); r -= y; return r; }
Integer operator*(const Integer& x, const Integer& y) { Integer r(x); r *= y; return r; }
Integer operator/(const Integer& x, const Integer& y) { Integer r(x); r /= y; return r; }
Integer operator%(const Integer& x, const Integer& y) { Integer r(x); r %= y; return r; }
Integer operator+(const Integer& x, int32_t y) { Integer r(x); r += y; return r; }
Integer operator-(const Integer& x, int32_t y) { Integer r(x); r -= y; return r; }
Integer operator*(const Integer& x, int32_t y) { Integer r(x); r *= y; return r; }
Integer operator/(const Integer& x, int32_t y) { Integer r(x); r /= y; return r; }
Integer operator%(const Integer& x, int32_t y) { Integer r(x); r %= y; return r; }

void Integer::divide(const Integer& x, int32_t y, Integer& quotient, int32_t& remainder)
{
    Integer r;
    divide(x, Integer(y), quotient, r);
    remainder = r.toLong();   // |r| < |y|: always fits
}

// ---- bit operations, power, gcd, square root ---------------------------------

namespace {

using Digits = std::vector<uint16_t>;

// A representation of the digits (leading zeros dropped) and the sign; the
// target is reused when it can be written.
IntRep* digitsInto(IntRep* target, const Digits& d, bool neg)
{
    unsigned n = unsigned(d.size());
    while (n && d[n - 1] == 0) --n;
    if (n == 0) return zeroInto(target);
    IntRep* r = prepare(target, n);
    std::memcpy(r->s, d.data(), n * sizeof(uint16_t));
    r->len = uint16_t(n);
    r->sgn = neg ? 0 : 1;
    return finish(r, target);
}

// Adds 1 to a magnitude, growing it by a digit when needed.
void increment(Digits& d)
{
    for (uint16_t& x : d)
        if (++x != 0) return;
    d.push_back(1);
}

// The magnitude shifted left by n bits.
Digits shiftedLeft(const View& x, uint64_t n)
{
    const uint64_t words = n / 16;
    const unsigned bits = unsigned(n % 16);
    checkDigits(x.n + words + 1);
    Digits r(size_t(x.n + words + 1), 0);
    for (unsigned i = 0; i < x.n; ++i) {
        const uint32_t v = uint32_t(x.d[i]) << bits;
        r[size_t(i + words)] = uint16_t(r[size_t(i + words)] | uint16_t(v));
        r[size_t(i + words + 1)] = uint16_t(v >> 16);
    }
    return r;
}

// The magnitude shifted right by n bits; `lost` tells whether a 1 bit fell off.
Digits shiftedRight(const View& x, uint64_t n, bool& lost)
{
    const uint64_t words = n / 16;
    const unsigned bits = unsigned(n % 16);
    lost = false;
    if (words >= x.n) {
        lost = x.n != 0;
        return Digits();
    }
    const unsigned w = unsigned(words);
    for (unsigned i = 0; i < w; ++i) lost = lost || x.d[i] != 0;
    if (bits && (x.d[w] & ((1u << bits) - 1))) lost = true;
    Digits r(x.n - w);
    for (unsigned i = 0; i < r.size(); ++i) {
        uint32_t v = x.d[i + w];
        if (i + w + 1 < x.n) v |= uint32_t(x.d[i + w + 1]) << 16;
        r[i] = uint16_t(v >> bits);
    }
    return r;
}

// x shifted by n bits, left for positive n; right shifts round toward minus
// infinity, so a negative value that loses a 1 bit grows by one in magnitude.
IntRep* shiftRep(IntRep* x, int64_t n)
{
    const View v = viewOf(x);
    if (v.n == 0 || n == 0) return x ? x : zeroInto(x);
    if (n > 0) return digitsInto(x, shiftedLeft(v, uint64_t(n)), v.neg);
    bool lost = false;
    Digits r = shiftedRight(v, uint64_t(-n), lost);
    if (v.neg && lost) increment(r);
    return digitsInto(x, r, v.neg);
}

// The value in two's complement over n digits (n above the value's length).
Digits twosComplement(const View& v, unsigned n)
{
    Digits d(n, 0);
    if (v.n) std::memcpy(d.data(), v.d, v.n * sizeof(uint16_t));
    if (v.neg) {
        uint32_t carry = 1;
        for (uint16_t& x : d) {
            const uint32_t t = uint32_t(uint16_t(~x)) + carry;
            x = uint16_t(t);
            carry = t >> 16;
        }
    }
    return d;
}

enum class BitOp { And, Or, Xor };

IntRep* bitRep(IntRep* target, const View& x, const View& y, BitOp op)
{
    const unsigned n = (x.n > y.n ? x.n : y.n) + 1;
    Digits a = twosComplement(x, n);
    const Digits b = twosComplement(y, n);
    for (unsigned i = 0; i < n; ++i) {
        switch (op) {
        case BitOp::And: a[i] = uint16_t(a[i] & b[i]); break;
        case BitOp::Or: a[i] = uint16_t(a[i] | b[i]); break;
        case BitOp::Xor: a[i] = uint16_t(a[i] ^ b[i]); break;
        }
    }
    // Back from two's complement: the top bit is the sign.
    const bool neg = (a[n - 1] & 0x8000) != 0;
    if (neg) {
        View m{a.data(), n, true};
        a = twosComplement(m, n);
    }
    return digitsInto(target, a, neg);
}

}  // namespace

Integer& Integer::operator<<=(int32_t n)
{
    m_rep = shiftRep(m_rep, int64_t(n));
    return *this;
}

Integer& Integer::operator>>=(int32_t n)
{
    m_rep = shiftRep(m_rep, -int64_t(n));
    return *this;
}

Integer& Integer::operator&=(const Integer& y)
{
    m_rep = bitRep(m_rep, viewOf(m_rep), viewOf(y.m_rep), BitOp::And);
    return *this;
}

Integer& Integer::operator|=(const Integer& y)
{
    m_rep = bitRep(m_rep, viewOf(m_rep), viewOf(y.m_rep), BitOp::Or);
    return *this;
}

Integer& Integer::operator^=(const Integer& y)
{
    m_rep = bitRep(m_rep, viewOf(m_rep), viewOf(y.m_rep), BitOp::Xor);
    return *this;
}

Integer Integer::operator~() const
{
    Integer r(*this);
    r += 1;
    r.negate();
    return r;
}

uint32_t Integer::bitLength() const
{
    const View v = viewOf(m_rep);
    if (v.n == 0) return 0;
    uint32_t bits = 16 * (v.n - 1);
    for (uint32_t top = v.d[v.n - 1]; top; top >>= 1) ++bits;
    return bits;
}

Integer Integer::pow(const Integer& x, int32_t n)
{
    const View v = viewOf(x.m_rep);
    if (n < 0) {
        if (v.n == 1 && v.d[0] == 1) return Integer(v.neg && (n & 1) ? -1 : 1);
        return Integer(0);
    }
    Integer result(1), base(x);
    for (uint32_t e = uint32_t(n); e; e >>= 1) {
        if (e & 1) result *= base;
        if (e > 1) base *= base;
    }
    return result;
}

Integer Integer::gcd(const Integer& x, const Integer& y)
{
    Integer a = x.abs(), b = y.abs();
    while (!b.isZero()) {
        Integer q, r;
        divide(a, b, q, r);
        a = std::move(b);
        b = std::move(r);
    }
    return a;
}

Integer Integer::sqrt(const Integer& x)
{
    const View v = viewOf(x.m_rep);
    if (v.neg) {
        fault("Attempted square root of negative Integer");
        return Integer(0);
    }
    if (v.n == 0) return Integer(0);
    // Newton's step from a start above the root descends to its floor.
    Integer root = Integer(1) << int32_t((x.bitLength() + 1) / 2);
    for (;;) {
        Integer next = (root + x / root) >> 1;
        if (next >= root) return root;
        root = std::move(next);
    }
}

Integer operator<<(const Integer& x, int32_t n) { Integer r(x); r <<= n; return r; }
Integer operator>>(const Integer& x, int32_t n) { Integer r(x); r >>= n; return r; }
Integer operator&(const Integer& x, const Integer& y) { Integer r(x); r &= y; return r; }
Integer operator|(const Integer& x, const Integer& y) { Integer r(x); r |= y; return r; }
Integer operator^(const Integer& x, const Integer& y) { Integer r(x); r ^= y; return r; }

// ---- text -----------------------------------------------------------------

std::string Integer::toText(int base, bool showBase, bool upperPrefix, bool showPos, int width,
                            char fill, bool leftAdjust) const
{
    if (base < 2 || base > 36) base = 10;
    View v = viewOf(m_rep);
    std::string digits;   // lowest digit first
    if (v.n == 0) {
        digits = "0";
    } else {
        // Divide by the largest power of the base that is a single digit
        // and write k base digits per step.
        uint32_t big = uint32_t(base);
        int k = 1;
        while (big < 65535u / uint32_t(base)) {
            big *= uint32_t(base);
            ++k;
        }
        std::vector<uint16_t> mag(v.d, v.d + v.n);
        unsigned n = v.n;
        for (;;) {
            uint32_t rem = shortDivide(mag.data(), n, big);
            while (n && mag[n - 1] == 0) --n;
            if (n == 0) {
                while (rem) {
                    digits += "0123456789abcdefghijklmnopqrstuvwxyz"[rem % base];
                    rem /= base;
                }
                break;
            }
            for (int i = 0; i < k; ++i) {
                digits += "0123456789abcdefghijklmnopqrstuvwxyz"[rem % base];
                rem /= base;
            }
        }
    }
    std::string text;
    if (v.neg)
        text += '-';
    else if (showPos)
        text += '+';
    if (showBase && base == 8) text += '0';
    if (showBase && base == 16) text += upperPrefix ? "0X" : "0x";
    text.append(digits.rbegin(), digits.rend());
    if (width > 0 && text.size() < size_t(width)) {
        std::string pad(size_t(width) - text.size(), fill);
        text = leftAdjust ? text + pad : pad + text;
    }
    return text;
}

std::ostream& operator<<(std::ostream& os, const Integer& x)
{
    const std::ios_base::fmtflags f = os.flags();
    const std::ios_base::fmtflags bf = f & std::ios_base::basefield;
    const int base = bf == std::ios_base::hex ? 16 : bf == std::ios_base::oct ? 8 : 10;
    const int width = int(os.width(0));
    return os << x.toText(base, (f & std::ios_base::showbase) != 0,
                          (f & std::ios_base::uppercase) != 0, (f & std::ios_base::showpos) != 0,
                          width, os.fill(), (f & std::ios_base::left) != 0);
}

std::istream& operator>>(std::istream& is, Integer& x)
{
    std::istream::sentry ok(is);   // skips leading white space
    if (!ok) return is;
    std::streambuf* sb = is.rdbuf();
    using traits = std::char_traits<char>;
    auto skipSpace = [&] {
        int c;
        while ((c = sb->sgetc()) != traits::eof() && std::isspace(c)) sb->sbumpc();
    };
    bool neg = false;
    int c = sb->sgetc();
    if (c == '-' || c == '+') {
        neg = c == '-';
        sb->sbumpc();
        skipSpace();
    }
    const std::ios_base::fmtflags bf = is.flags() & std::ios_base::basefield;
    int base = bf == std::ios_base::hex ? 16 : bf == std::ios_base::oct ? 8 : 0;
    bool anyDigit = false;
    if (base == 0) {
        base = 10;
        if (sb->sgetc() == '0') {
            sb->sbumpc();
            anyDigit = true;
            c = sb->sgetc();
            if (c == 'x' || c == 'X') {
                sb->sbumpc();
                base = 16;
            } else {
                base = 8;
            }
        }
    }
    Integer result(allocRep(kPoolDigits));
    IntRep*& r = result.m_rep;
    {
        DigitAccumulator acc(r, uint32_t(base));
        for (;;) {
            c = sb->sgetc();
            if (c == traits::eof()) {
                is.setstate(std::ios_base::eofbit);
                break;
            }
            int v = (c >= '0' && c <= '9') ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : 99;
            if (v >= base) break;
            acc.add(uint32_t(v));
            anyDigit = true;
            sb->sbumpc();
        }
    }
    r->sgn = neg && r->len ? 0 : 1;
    x = std::move(result);
    if (!anyDigit) is.setstate(std::ios_base::failbit);
    return is;
}
