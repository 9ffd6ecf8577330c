// Elementary type compatibility of the compile side: which Structured Text
// type may be assigned or converted to which, the common type of a mixed
// operation, and which types reinterpret the same storage.
//
// The rules work on elementary ids (0 VOID .. 23 StructTaskId, 30 ANYTYPE
// .. 35 POS_DINT; see base/st/stsymtab/stmcspec.h). The table forms take
// type ids of a symbol table and reduce each to its elementary id, 30 for
// every structured type; STRING types are compared by their length.
//
// Two rule sets exist, strict and relaxed, chosen by the per-user setting
// "STCompiler\TypeSystem" (0 or missing = strict), read once per process.
// The decisions are tables of data, one row per target (or first) id; they
// keep their asymmetries on purpose (commonElementaryType(LINT, INT) is 30,
// commonElementaryType(INT, LINT) is LINT).
//
// Nothing here reports a message; every answer is a plain value.
#pragma once
#include <cstdint>

#include "base/st/stsymtab/StIds.h"

class StSymbTable;

// The setting is non-zero (relaxed rules). Read on first use, then kept.
bool isTypeSystemRelaxed();
// Test hook: 0 strict, 1 relaxed, -1 back to the process's setting.
void setTypeSystemForTest(int mode);

// Equal ids are accepted for 1..15 and 18..21 only; different ids follow
// the assignment table of the current rule set.
bool canAssignElementary(uint32_t target, uint32_t source);
// Two STRING types: the source may not be longer than the target; anything
// else by canAssignElementary of the elementary ids.
bool canAssign(const StSymbTable& table, StTypeID target, StTypeID source);
// Like canAssign, with an enumeration source read as the table's
// enumeration base type; two structured types pass only as two STRINGs
// (the source not longer); elementary pairs by canConvertElementary.
bool canConvert(const StSymbTable& table, StTypeID target, StTypeID source);
// Integer, bit-string and real ids (1..15) convert freely except BOOL,
// which converts only to and from the bit strings; a few TIME/DATE/TOD/DT
// pairs and DINT <- StructAlarmId are added; the rest as canAssignElementary.
bool canConvertElementary(uint32_t target, uint32_t source);
// The result type of a mixed operation; 30 when there is none.
uint32_t commonElementaryType(uint32_t first, uint32_t second);
// The TID of the elementary common type; when that is 30 and both are
// STRING types, the longer (the first on a tie); otherwise the invalid TID.
void commonType(const StSymbTable& table, StTypeID& out, StTypeID first, StTypeID second);
// The second when both are STRING types and the second is longer, else the
// first.
void longerString(const StSymbTable& table, StTypeID& out, StTypeID first, StTypeID second);
// The value lies in the range of the integer id (DINT and LINT: any value;
// UDINT and ULINT: 0..2147483647); false for every non-integer id.
bool fitsIntegerType(uint32_t id, int32_t value);
// toBitString false: BOOL -> POS_SINT, BYTE -> USINT, WORD -> UINT,
// DWORD -> UDINT, any other id itself. toBitString true: the bit strings
// themselves, the unsigned and positive ids their bit string of the same
// width, anything else 30.
uint32_t bitStringCounterpart(uint32_t id, bool toBitString);
// The type a literal of the first id takes beside an operand of the second.
uint32_t operandLiteralType(uint32_t first, uint32_t second);
// Equal non-structured types, or a bit string (second) beside a signed or
// unsigned integer of the same width (first).
bool isSameWidth(const StSymbTable& table, StTypeID first, StTypeID second);
// The second may be read as the first without changing the stored bits.
bool isReinterpretable(const StSymbTable& table, StTypeID first, StTypeID second);
