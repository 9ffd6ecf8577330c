// Type-spec words, elementary type ids and machine modes of the symbol
// table, and the pure conversions between them (McConvert).
//
// ESTypeSpec is the 32-bit type word of entries, operands, constants and
// type nodes:
//   0x1000 | id    elementary type (id 0 VOID .. 35 POS_DINT, valid below 30)
//   0x2000 | code  special type (30 STRING, 40 _ANYSTRUCT; 30-39 accepted)
//   anything else  a type id of the type table
// Every test of a word goes through esElemCode / esSpecCode: the elementary
// reading is the low 12 bits when 0x1000 is set and 30 otherwise, the
// special reading the low 12 bits when 0x2000 is set and 40 otherwise.
//
// The McConvert functions hold no state and never fail loudly: unknown
// inputs answer 0 / 13 ("other") as each line says; only mapTypeSpec traces.
#pragma once
#include <cstdint>
#include <limits>

#include "base/st/stsymtab/StIds.h"

using ESTypeSpec = uint32_t;

constexpr ESTypeSpec ES_ELEMENTARY = 0x1000;
constexpr ESTypeSpec ES_SPECIAL = 0x2000;
constexpr ESTypeSpec ES_CODE_MASK = 0xFFF;
constexpr ESTypeSpec ES_STRING = 0x2000 | 30;      // 0x201E
constexpr ESTypeSpec ES_ANYSTRUCT = 0x2000 | 40;   // 0x2028
constexpr ESTypeSpec ES_ANYTYPE = 0x1000 | 30;     // 0x101E

// Elementary type ids (the names are those stTypeIdName prints).
enum StElemTypeId : uint32_t {
    ST_VOID = 0,
    ST_BOOL = 1,
    ST_BYTE = 2,
    ST_WORD = 3,
    ST_DWORD = 4,
    ST_LWORD = 5,
    ST_SINT = 6,
    ST_INT = 7,
    ST_DINT = 8,
    ST_LINT = 9,
    ST_USINT = 10,
    ST_UINT = 11,
    ST_UDINT = 12,
    ST_ULINT = 13,
    ST_REAL = 14,
    ST_LREAL = 15,
    ST_ANYOBJECT = 16,
    ST_MEMADR = 17,
    ST_TIME = 18,
    ST_DATE = 19,
    ST_TOD = 20,
    ST_DT = 21,
    ST_STRUCTALARMID = 22,
    ST_STRUCTTASKID = 23,
    // 24-29 reserved (no name, no storage)
    ST_ANYTYPE = 30,
    ST_ANYINT = 31,
    ST_ANYREAL = 32,
    ST_POS_SINT = 33,
    ST_POS_INT = 34,
    ST_POS_DINT = 35,
};

// Special codes.
constexpr uint32_t ST_SPEC_STRING = 30;
constexpr uint32_t ST_SPEC_ANYSTRUCT = 40;

inline constexpr bool esIsElementary(ESTypeSpec w) { return (w & ES_ELEMENTARY) != 0; }
inline constexpr bool esIsSpecial(ESTypeSpec w) { return (w & ES_SPECIAL) != 0; }
// Neither flag: the word is a type id of the type table.
inline constexpr bool esIsTypeId(ESTypeSpec w) { return (w & (ES_ELEMENTARY | ES_SPECIAL)) == 0; }
inline constexpr uint32_t esElemCode(ESTypeSpec w) { return esIsElementary(w) ? (w & ES_CODE_MASK) : 30u; }
inline constexpr uint32_t esSpecCode(ESTypeSpec w) { return esIsSpecial(w) ? (w & ES_CODE_MASK) : 40u; }
inline constexpr ESTypeSpec esMakeElem(uint32_t id) { return ES_ELEMENTARY | (id & ES_CODE_MASK); }
inline constexpr ESTypeSpec esMakeSpecial(uint32_t code) { return ES_SPECIAL | (code & ES_CODE_MASK); }

// Name of an elementary id ("VOID" .. "POS_DINT"); null for 24-29 and
// anything above 35.
const char* stTypeIdName(uint32_t id);
// Name of a word: the elementary name or "??StdType??", "STRING",
// "_ANYSTRUCT" or "??StSType??" for special words, "??Type??" otherwise.
const char* stTypeSpecName(ESTypeSpec w);

// Machine modes into which the code generator folds the types.
enum McMachMode : uint32_t {
    MC_SINT = 0,    // signed 8
    MC_INT = 1,     // signed 16
    MC_DINT = 2,    // signed 32
    MC_LINT = 3,    // signed 64
    MC_USINT = 4,   // unsigned 8
    MC_UINT = 5,    // unsigned 16
    MC_UDINT = 6,   // unsigned 32
    MC_ULINT = 7,   // unsigned 64
    MC_REAL = 8,
    MC_LREAL = 9,
    MC_OBJECT = 10, // two-word object (ANYOBJECT, DT)
    MC_STRING = 11,
    MC_MEMADR = 12,
    MC_OTHER = 13,  // no machine representation
};

// Limits of one C-level representation: its own minimum and maximum (for
// the floats the smallest normal and the largest value), size, alignment.
template <typename T>
struct McNumLimit {
    T min;
    T max;
    uint32_t size;
    uint32_t alignment;
};

template <typename T>
constexpr McNumLimit<T> mcIntLimit()
{
    return {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), uint32_t(sizeof(T)), uint32_t(sizeof(T))};
}

// In this order: the signed and unsigned integers, the two floats, then
// the further 8-, 16- and 32-bit records (char, 16-bit character, address).
constexpr McNumLimit<int8_t> MC_LIMIT_S8 = mcIntLimit<int8_t>();
constexpr McNumLimit<int16_t> MC_LIMIT_S16 = mcIntLimit<int16_t>();
constexpr McNumLimit<int32_t> MC_LIMIT_S32 = mcIntLimit<int32_t>();
constexpr McNumLimit<int64_t> MC_LIMIT_S64 = mcIntLimit<int64_t>();
constexpr McNumLimit<uint8_t> MC_LIMIT_U8 = mcIntLimit<uint8_t>();
constexpr McNumLimit<uint16_t> MC_LIMIT_U16 = mcIntLimit<uint16_t>();
constexpr McNumLimit<uint32_t> MC_LIMIT_U32 = mcIntLimit<uint32_t>();
constexpr McNumLimit<uint64_t> MC_LIMIT_U64 = mcIntLimit<uint64_t>();
constexpr McNumLimit<float> MC_LIMIT_F32 = {1.1754943508222875e-38f, 3.4028234663852886e+38f, 4, 4};
constexpr McNumLimit<double> MC_LIMIT_F64 = {2.2250738585072014e-308, 1.7976931348623157e+308, 8, 8};
constexpr McNumLimit<int8_t> MC_LIMIT_CHAR = mcIntLimit<int8_t>();
constexpr McNumLimit<uint16_t> MC_LIMIT_WCHAR = mcIntLimit<uint16_t>();
constexpr McNumLimit<uint32_t> MC_LIMIT_ADDR = mcIntLimit<uint32_t>();

// Machine value record of an elementary constant for the code generator.
// The record is 24 bytes in the target's little-endian layout (toBytes);
// the C++ object's own layout is never written.
struct McMachValue {
    static constexpr uint32_t SIZE = 24;
    uint32_t mode = MC_OTHER;
    uint32_t address = 0x7FFFFFFF;  // none
    uint32_t extra = 0;
    uint32_t reserved = 0;
    uint64_t value = 0;             // raw 8 bytes (a double's bit pattern)

    void toBytes(uint8_t out[SIZE]) const;
};

namespace McConvert {

// Type code of the Structured Text compiler -> word: codes 0-30 give
// 0x1000 | code, 100-110 give 0x2000 | (code - 70); any other code traces
// "ESTypeSpec mismatch" (level 4) and gives 0.
ESTypeSpec mapTypeSpec(uint32_t code);
// The reverse: special words other than 40 give code + 70, elementary
// words their id, everything else (_ANYSTRUCT included) 30.
uint32_t getSTTypeCode(ESTypeSpec w);
// Ids 1-23 by their spec-word column; otherwise 11 for special code 30
// (STRING) and 13.
McMachMode getMachMode(ESTypeSpec w);
// As getMachMode for a plain id, except 16 and 21 give 7 and 17 gives 2;
// ids outside 1-23 give 13.
McMachMode getMachModeOfTypeId(uint32_t id);
// 0-9 unchanged, 12 gives 2, everything else 13.
McMachMode getNumMode(uint32_t mode);
// Size / alignment in bytes of ids 1-23; 0 for every other id.
uint32_t getTypeSize(uint32_t id);
uint32_t getTypeAlignment(uint32_t id);

}  // namespace McConvert
