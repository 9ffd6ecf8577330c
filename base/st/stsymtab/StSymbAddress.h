// Records of the two target-address services of the symbol table.
//
// StAddressRecord (getTISAddress): where a symbol or operand lies for the
// target, by record kind
//   0 plain target address        deviceWord = second half of the id pair
//   1 interface variable
//   2 unit-relative by unit name  unitName (zero-terminated, < 128 chars)
//   3 unit-relative by unit id    unitId
//   4 variable of a function frame frameValue = 0
//   6 system variable             deviceWord, sysVarNumber
//   7 none (not filled)
// Only the fields of the record's kind are set; the others keep their
// defaults. The record lives in memory only (never written to a file), so
// its layout is ours.
//
// StAccessDescriptor (getAccessDescriptor): the compact access of a
// telegram element list, limited to 16-bit addresses and counts.
#pragma once
#include <cstdint>

#include "base/st/stsymtab/stmcspec.h"

constexpr uint32_t ST_TIS_PLAIN = 0;
constexpr uint32_t ST_TIS_INTERFACE = 1;
constexpr uint32_t ST_TIS_UNIT_NAME = 2;
constexpr uint32_t ST_TIS_UNIT_ID = 3;
constexpr uint32_t ST_TIS_FRAME = 4;
constexpr uint32_t ST_TIS_SYSVAR = 6;
constexpr uint32_t ST_TIS_NONE = 7;

// Access bits of a target-address request.
constexpr uint32_t ST_ACCESS_LOW24 = 0x100;    // kind 0: the address's low 24 bits
constexpr uint32_t ST_ACCESS_SEG20 = 0x1000;   // kind 0: the address with 0x20000000 set
constexpr uint32_t ST_ACCESS_BITS = 0xFF00;    // the bits checked against the mode word

constexpr uint32_t ST_UNIT_NAME_SIZE = 128;

struct StAddressRecord {
    uint32_t machMode = MC_OTHER;  // numeric machine mode, 10 for structured types
    ESTypeSpec typeSpec = 0;       // elementary spec of elementary types
    uint32_t size = 0;             // bytes
    uint32_t address = 0x7FFFFFFF;
    uint32_t userWord = 0;         // left to the caller and the hook
    uint32_t kind = ST_TIS_NONE;
    // Variant area.
    uint16_t deviceWord = 0;
    uint16_t sysVarNumber = 0;
    uint32_t unitId = 0;
    uint32_t frameValue = 0;
    char unitName[ST_UNIT_NAME_SIZE] = {};
};

// A record of kind 0 or 6 whose address fits 16 bits, as one telegram
// element list: the device word (access-descriptor option a: the second
// half of the id pair, else the table's device word), the data code of the
// machine mode (0x10 descriptor codes, 0 for structured types), the
// segment (top byte of the target address), the 16-bit address and the
// element count (option b: in bytes, else in elements of the type: 1 for
// an elementary type, the element count of an array, the size in bytes of
// anything else).
struct StAccessDescriptor {
    uint16_t deviceWord = 0;
    uint8_t dataCode = 0;
    uint8_t segment = 0;
    uint16_t address = 0;
    uint16_t elementCount = 0;
    uint32_t recordKind = ST_TIS_NONE;
};
