// The compatibility tables of the elementary types and the operations over
// them. Each table is data: a row per target (or first) id; the code only
// looks cells up.
#include "bo/cp/CpTypeRules.h"

#include <atomic>
#include <initializer_list>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/stsymtab/stmcspec.h"
#include "co/CoSettings.h"

namespace {

// -1: not read yet (or the test hook released); 0 strict; 1 relaxed.
std::atomic<int> g_relaxed{-1};

using IdSet = uint64_t; // bit n: elementary id n (0..35)

constexpr IdSet ids(std::initializer_list<uint32_t> list)
{
    IdSet s = 0;
    for (uint32_t id : list) s |= IdSet(1) << id;
    return s;
}

constexpr bool inSet(IdSet s, uint32_t id) { return id < 64 && ((s >> id) & 1) != 0; }

// Accepted sources of each target, for different ids.
struct AssignRow {
    uint32_t target;
    IdSet strict;
    IdSet relaxed;
};

constexpr IdSet kAssignDefault = ids({ST_POS_SINT, ST_POS_INT});

constexpr AssignRow kAssignRows[] = {
    {ST_BOOL, 0, 0},
    {ST_BYTE, ids({ST_BOOL, ST_POS_SINT}), ids({ST_BOOL, ST_SINT, ST_USINT, ST_POS_SINT})},
    {ST_WORD, ids({ST_BOOL, ST_BYTE, ST_POS_SINT, ST_POS_INT}),
     ids({ST_BOOL, ST_BYTE, ST_INT, ST_USINT, ST_UINT, ST_POS_SINT, ST_POS_INT})},
    {ST_DWORD, ids({ST_BOOL, ST_BYTE, ST_WORD, ST_POS_SINT, ST_POS_INT, ST_POS_DINT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_DINT, ST_USINT, ST_UINT, ST_UDINT, ST_POS_SINT, ST_POS_INT, ST_POS_DINT})},
    {ST_SINT, ids({ST_POS_SINT}), ids({ST_BOOL, ST_BYTE, ST_USINT, ST_POS_SINT})},
    {ST_INT, ids({ST_SINT, ST_USINT, ST_POS_SINT, ST_POS_INT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_SINT, ST_USINT, ST_UINT, ST_POS_SINT, ST_POS_INT})},
    {ST_DINT, ids({ST_SINT, ST_INT, ST_USINT, ST_UINT, ST_POS_SINT, ST_POS_INT, ST_POS_DINT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_SINT, ST_INT, ST_USINT, ST_UINT, ST_UDINT, ST_POS_SINT, ST_POS_INT,
          ST_POS_DINT})},
    {ST_USINT, ids({ST_POS_SINT}), ids({ST_BOOL, ST_BYTE, ST_SINT, ST_POS_SINT})},
    {ST_UINT, ids({ST_USINT, ST_POS_SINT, ST_POS_INT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_INT, ST_USINT, ST_POS_SINT, ST_POS_INT})},
    {ST_UDINT, ids({ST_USINT, ST_UINT, ST_POS_SINT, ST_POS_INT, ST_POS_DINT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_DINT, ST_USINT, ST_UINT, ST_POS_SINT, ST_POS_INT, ST_POS_DINT})},
    {ST_REAL, ids({ST_SINT, ST_INT, ST_USINT, ST_UINT, ST_POS_SINT, ST_POS_INT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_SINT, ST_INT, ST_DINT, ST_USINT, ST_UINT, ST_UDINT, ST_POS_SINT,
          ST_POS_INT, ST_POS_DINT})},
    {ST_LREAL,
     ids({ST_SINT, ST_INT, ST_DINT, ST_USINT, ST_UINT, ST_UDINT, ST_REAL, ST_POS_SINT, ST_POS_INT, ST_POS_DINT}),
     ids({ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_SINT, ST_INT, ST_DINT, ST_USINT, ST_UINT, ST_UDINT, ST_REAL,
          ST_POS_SINT, ST_POS_INT, ST_POS_DINT})},
    {ST_POS_SINT, ids({ST_POS_INT}), ids({ST_POS_INT})},
    {ST_POS_INT, ids({ST_POS_SINT}), ids({ST_POS_SINT})},
};

constexpr IdSet kAssignEqual = ids({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 19, 20, 21});

// Pairs that convert beyond the numeric block: target, source.
struct IdPair {
    uint32_t target;
    uint32_t source;
};
constexpr IdPair kConvertExtra[] = {
    {ST_TIME, ST_INT},   {ST_TIME, ST_UDINT}, {ST_TIME, ST_REAL},  {ST_INT, ST_TIME},
    {ST_UDINT, ST_TIME}, {ST_REAL, ST_TIME},  {ST_DATE, ST_DT},    {ST_TOD, ST_DT},
    {ST_DINT, ST_STRUCTALARMID},
};
constexpr IdSet kBitStrings = ids({ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_LWORD});

// The common type of two numeric ids. The columns (and rows) follow kNumeric.
constexpr uint32_t kNumeric[] = {ST_BOOL, ST_BYTE,  ST_WORD, ST_DWORD, ST_SINT,     ST_INT,     ST_DINT,    ST_USINT,
                                 ST_UINT, ST_UDINT, ST_REAL, ST_LREAL, ST_POS_SINT, ST_POS_INT, ST_POS_DINT};
constexpr uint32_t NUMERIC_COUNT = sizeof(kNumeric) / sizeof(kNumeric[0]);

// A cell: the strict result and the relaxed one.
struct Common {
    uint8_t strict;
    uint8_t relaxed;
};
constexpr Common S(uint32_t id) { return {uint8_t(id), uint8_t(id)}; }
constexpr Common D(uint32_t strict, uint32_t relaxed) { return {uint8_t(strict), uint8_t(relaxed)}; }

constexpr uint32_t BOOL_ = ST_BOOL, BYTE_ = ST_BYTE, WORD_ = ST_WORD, DWORD_ = ST_DWORD, SINT_ = ST_SINT,
                   INT_ = ST_INT, DINT_ = ST_DINT, USINT_ = ST_USINT, UINT_ = ST_UINT, UDINT_ = ST_UDINT,
                   REAL_ = ST_REAL, LREAL_ = ST_LREAL, PSINT = ST_POS_SINT, PINT = ST_POS_INT, PDINT = ST_POS_DINT;

// clang-format off
constexpr Common kCommon[NUMERIC_COUNT][NUMERIC_COUNT] = {
 /* BOOL  */ {S(BOOL_), S(BYTE_), S(WORD_), S(DWORD_), S(SINT_), S(INT_), S(DINT_), S(USINT_), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(PSINT), S(PINT), S(PDINT)},
 /* BYTE  */ {S(BYTE_), S(BYTE_), S(WORD_), S(DWORD_), S(INT_), S(INT_), S(DINT_), S(USINT_), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(BYTE_), S(PINT), S(PDINT)},
 /* WORD  */ {S(WORD_), S(WORD_), S(WORD_), S(DWORD_), S(DINT_), S(DINT_), S(DINT_), S(WORD_), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(WORD_), S(WORD_), S(PDINT)},
 /* DWORD */ {S(DWORD_), S(DWORD_), S(DWORD_), S(DWORD_), S(LREAL_), S(LREAL_), S(LREAL_), S(DWORD_), S(DWORD_), S(DWORD_), D(LREAL_, REAL_), S(LREAL_), S(DWORD_), S(DWORD_), S(DWORD_)},
 /* SINT  */ {S(SINT_), S(INT_), S(DINT_), S(LREAL_), S(SINT_), S(INT_), S(DINT_), S(INT_), S(DINT_), S(LREAL_), S(REAL_), S(LREAL_), S(SINT_), S(INT_), S(DINT_)},
 /* INT   */ {S(INT_), S(INT_), S(DINT_), S(LREAL_), S(INT_), S(INT_), S(DINT_), S(INT_), S(DINT_), S(LREAL_), S(REAL_), S(LREAL_), S(INT_), S(INT_), S(DINT_)},
 /* DINT  */ {S(DINT_), S(DINT_), S(DINT_), S(LREAL_), S(DINT_), S(DINT_), S(DINT_), S(DINT_), S(DINT_), S(LREAL_), D(LREAL_, REAL_), S(LREAL_), S(DINT_), S(DINT_), S(DINT_)},
 /* USINT */ {S(USINT_), S(BYTE_), S(WORD_), S(DWORD_), S(INT_), S(INT_), S(DINT_), S(USINT_), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(USINT_), S(PINT), S(PDINT)},
 /* UINT  */ {S(UINT_), S(UINT_), S(WORD_), S(DWORD_), S(DINT_), S(DINT_), S(DINT_), S(UINT_), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(UINT_), S(UINT_), S(PDINT)},
 /* UDINT */ {S(UDINT_), S(UDINT_), S(UDINT_), S(UDINT_), S(LREAL_), S(LREAL_), S(LREAL_), S(UDINT_), S(UDINT_), S(UDINT_), D(LREAL_, REAL_), S(LREAL_), S(UDINT_), S(UDINT_), S(UDINT_)},
 /* REAL  */ {S(REAL_), S(REAL_), S(REAL_), D(LREAL_, REAL_), S(REAL_), S(REAL_), D(LREAL_, REAL_), S(REAL_), S(REAL_), D(LREAL_, REAL_), S(REAL_), S(LREAL_), S(REAL_), S(REAL_), D(LREAL_, REAL_)},
 /* LREAL */ {S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_), S(LREAL_)},
 /* PSINT */ {S(PSINT), S(BYTE_), S(WORD_), S(DWORD_), S(SINT_), S(INT_), S(DINT_), S(USINT_), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(PSINT), S(PINT), S(PDINT)},
 /* PINT  */ {S(PINT), S(PINT), S(WORD_), S(DWORD_), S(INT_), S(INT_), S(DINT_), S(PINT), S(UINT_), S(UDINT_), S(REAL_), S(LREAL_), S(PINT), S(PINT), S(PDINT)},
 /* PDINT */ {S(PDINT), S(PDINT), S(PDINT), S(DWORD_), S(DINT_), S(DINT_), S(DINT_), S(PDINT), S(PDINT), S(UDINT_), D(LREAL_, REAL_), S(LREAL_), S(PDINT), S(PDINT), S(PDINT)},
};
// clang-format on

// Ids without a numeric common type: a first id among them gives 30.
constexpr IdSet kNonNumeric = ids({ST_VOID, ST_LWORD, ST_LINT, ST_ULINT, ST_ANYOBJECT, ST_MEMADR, ST_TIME, ST_DATE, ST_TOD,
                                   ST_DT, ST_STRUCTALARMID, ST_STRUCTTASKID, ST_ANYTYPE, ST_ANYINT, ST_ANYREAL});
// Numeric first ids that stay themselves beside a non-numeric second id.
constexpr IdSet kKeepsFirst = ids({ST_DWORD, ST_DINT, ST_UDINT, ST_REAL, ST_LREAL});

// Reinterpretation: the second id and the first ids accepted for it.
struct ReinterpretRow {
    uint32_t second;
    IdSet firsts;
};
constexpr ReinterpretRow kReinterpret[] = {
    {ST_BOOL, ids({ST_SINT, ST_USINT, ST_BYTE})},  {ST_BYTE, ids({ST_SINT, ST_USINT, ST_BYTE})},
    {ST_WORD, ids({ST_INT, ST_UINT})},             {ST_DWORD, ids({ST_DINT, ST_UDINT})},
    {ST_SINT, ids({ST_USINT, ST_BYTE})},           {ST_INT, ids({ST_UINT, ST_WORD})},
    {ST_DINT, ids({ST_UDINT, ST_DWORD})},          {ST_USINT, ids({ST_SINT, ST_BYTE})},
    {ST_UINT, ids({ST_INT, ST_WORD})},             {ST_UDINT, ids({ST_DINT, ST_DWORD})},
    {ST_TIME, ids({ST_DINT, ST_UDINT})},
};
// The same-width pairs: a bit string (second) and its integers (first).
constexpr ReinterpretRow kSameWidth[] = {
    {ST_BYTE, ids({ST_SINT, ST_USINT})},
    {ST_WORD, ids({ST_INT, ST_UINT})},
    {ST_DWORD, ids({ST_DINT, ST_UDINT})},
};

template <size_t N>
bool pairListed(const ReinterpretRow (&rows)[N], uint32_t first, uint32_t second)
{
    for (const ReinterpretRow& r : rows)
        if (r.second == second) return inSet(r.firsts, first);
    return false;
}

int numericIndex(uint32_t id)
{
    for (uint32_t i = 0; i < NUMERIC_COUNT; ++i)
        if (kNumeric[i] == id) return int(i);
    return -1;
}

uint32_t elemId(StTypeID tid) { return tid < 30 ? tid : 30u; }

bool bothStrings(const StSymbTable& t, StTypeID a, StTypeID b) { return t.isStringType(a) && t.isStringType(b); }

uint32_t stringLength(const StSymbTable& t, StTypeID tid)
{
    const StSyTypeTable* types = t.types();
    return types ? types->getElementCount(tid) : 0;
}

// An enumeration reads as the table's enumeration base type.
uint32_t elemIdOrEnumBase(const StSymbTable& t, StTypeID tid)
{
    return t.isEnumType(tid) ? t.getEnumBaseType() : elemId(tid);
}

} // namespace

bool isTypeSystemRelaxed()
{
    int v = g_relaxed.load();
    if (v < 0) {
        v = getTypeSystemSetting() != 0 ? 1 : 0;
        g_relaxed.store(v);
    }
    return v != 0;
}

void setTypeSystemForTest(int mode) { g_relaxed.store(mode < 0 ? -1 : (mode != 0 ? 1 : 0)); }

bool canAssignElementary(uint32_t target, uint32_t source)
{
    if (target == source) return inSet(kAssignEqual, target);
    const bool relaxed = isTypeSystemRelaxed();
    for (const AssignRow& r : kAssignRows)
        if (r.target == target) return inSet(relaxed ? r.relaxed : r.strict, source);
    return inSet(kAssignDefault, source);
}

bool canAssign(const StSymbTable& table, StTypeID target, StTypeID source)
{
    const uint32_t t = elemId(target), s = elemId(source);
    if (t == 30 && s == 30 && bothStrings(table, target, source))
        return stringLength(table, source) <= stringLength(table, target);
    return canAssignElementary(t, s);
}

bool canConvert(const StSymbTable& table, StTypeID target, StTypeID source)
{
    const uint32_t t = elemId(target), s = elemIdOrEnumBase(table, source);
    if (t == 30 && s == 30) {
        return bothStrings(table, target, source) && stringLength(table, source) <= stringLength(table, target);
    }
    return canConvertElementary(t, s);
}

bool canConvertElementary(uint32_t target, uint32_t source)
{
    const bool numeric = target >= 1 && target <= 15 && source >= 1 && source <= 15;
    if (numeric) {
        if (target == ST_BOOL) return inSet(kBitStrings, source);
        if (source == ST_BOOL) return inSet(kBitStrings, target);
        return true;
    }
    for (const IdPair& p : kConvertExtra)
        if (p.target == target && p.source == source) return true;
    return canAssignElementary(target, source);
}

uint32_t commonElementaryType(uint32_t first, uint32_t second)
{
    if (first == second) return first;
    if (inSet(kNonNumeric, first)) return 30;
    const int row = numericIndex(first);
    if (row < 0) return 30;
    if (inSet(kNonNumeric, second)) return inSet(kKeepsFirst, first) ? first : second;
    const int col = numericIndex(second);
    if (col < 0) return 30;
    const Common& c = kCommon[row][col];
    return isTypeSystemRelaxed() ? c.relaxed : c.strict;
}

void commonType(const StSymbTable& table, StTypeID& out, StTypeID first, StTypeID second)
{
    const uint32_t common = commonElementaryType(elemId(first), elemId(second));
    if (common != 30) {
        out = common;
        return;
    }
    if (bothStrings(table, first, second)) {
        out = stringLength(table, second) > stringLength(table, first) ? second : first;
        return;
    }
    out = ST_INVALID_TID;
}

void longerString(const StSymbTable& table, StTypeID& out, StTypeID first, StTypeID second)
{
    out = bothStrings(table, first, second) && stringLength(table, second) > stringLength(table, first) ? second
                                                                                                       : first;
}

bool fitsIntegerType(uint32_t id, int32_t value)
{
    switch (id) {
    case ST_SINT: return value >= -128 && value <= 127;
    case ST_INT: return value >= -32768 && value <= 32767;
    case ST_DINT:
    case ST_LINT: return true;
    case ST_USINT: return value >= 0 && value <= 255;
    case ST_UINT: return value >= 0 && value <= 65535;
    case ST_UDINT:
    case ST_ULINT: return value >= 0;
    default: return false;
    }
}

namespace {
// Both directions of the bit-string mapping, one row per id.
struct BitStringRow {
    uint32_t id;
    uint32_t fromBitString; // toBitString false
    uint32_t toBitString;   // toBitString true
};
constexpr BitStringRow kBitStringRows[] = {
    {ST_BOOL, ST_POS_SINT, ST_BOOL},   {ST_BYTE, ST_USINT, ST_BYTE},     {ST_WORD, ST_UINT, ST_WORD},
    {ST_DWORD, ST_UDINT, ST_DWORD},    {ST_LWORD, ST_LWORD, ST_LWORD},   {ST_USINT, ST_USINT, ST_BYTE},
    {ST_POS_SINT, ST_POS_SINT, ST_BYTE}, {ST_UINT, ST_UINT, ST_WORD},    {ST_POS_INT, ST_POS_INT, ST_WORD},
    {ST_UDINT, ST_UDINT, ST_DWORD},    {ST_POS_DINT, ST_POS_DINT, ST_DWORD},
};
constexpr IdSet kSignedOrReal = ids({ST_SINT, ST_INT, ST_DINT, ST_LINT, ST_REAL, ST_LREAL});
} // namespace

uint32_t bitStringCounterpart(uint32_t id, bool toBitString)
{
    for (const BitStringRow& r : kBitStringRows)
        if (r.id == id) return toBitString ? r.toBitString : r.fromBitString;
    return toBitString ? 30u : id;
}

uint32_t operandLiteralType(uint32_t first, uint32_t second)
{
    if (second == 30) return 30;
    const uint32_t r = bitStringCounterpart(first, second >= 1 && second <= 5);
    const bool signedOrReal = inSet(kSignedOrReal, second);
    switch (r) {
    case ST_POS_SINT: return signedOrReal ? ST_SINT : ST_USINT;
    case ST_POS_INT: return signedOrReal ? ST_INT : ST_UINT;
    case ST_POS_DINT: return signedOrReal ? ST_DINT : ST_UDINT;
    default: return r;
    }
}

bool isSameWidth(const StSymbTable& table, StTypeID first, StTypeID second)
{
    const uint32_t f = elemId(first), s = elemId(second);
    if (f == s) return f != 30;
    return pairListed(kSameWidth, f, s);
}

bool isReinterpretable(const StSymbTable& table, StTypeID first, StTypeID second)
{
    const uint32_t f = elemId(first), s = elemIdOrEnumBase(table, second);
    if (f == s && f != 30) return true;
    if (f == 30 && s == 30)
        return bothStrings(table, first, second) && stringLength(table, second) <= stringLength(table, first);
    return pairListed(kReinterpret, f, s);
}
