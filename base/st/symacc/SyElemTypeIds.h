// The elementary type ids that the internal-variable scanner gives its
// literals. They are the symbol table's elementary type ids; these names
// stand in until the symbol-table foundation layer provides them, and then
// are to be replaced by its own.
#pragma once
#include <cstdint>

namespace SyElemType {
constexpr int32_t BOOL = 1;
constexpr int32_t BYTE = 2;
constexpr int32_t WORD = 3;
constexpr int32_t DWORD = 4;
constexpr int32_t LWORD = 5;
constexpr int32_t SINT = 6;
constexpr int32_t INT = 7;
constexpr int32_t DINT = 8;
constexpr int32_t LINT = 9;
constexpr int32_t USINT = 10;
constexpr int32_t UINT = 11;
constexpr int32_t UDINT = 12;
constexpr int32_t ULINT = 13;
constexpr int32_t REAL = 14;
constexpr int32_t LREAL = 15;
constexpr int32_t TIME = 18;
constexpr int32_t DATE = 19;
constexpr int32_t TOD = 20;
constexpr int32_t DT = 21;
constexpr int32_t StructAlarmId = 22;
constexpr int32_t StructTaskId = 23;
constexpr int32_t ANYTYPE = 30;  // no type yet
constexpr int32_t ANYINT = 31;
constexpr int32_t ANYREAL = 32;
}  // namespace SyElemType
