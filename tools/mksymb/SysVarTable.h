// System-variable tables for the compilers that look variables up by
// address (the variables-section compiler, the ACX import) and for their
// tests: a symbol table holding system variables of elementary types,
// arrays of them and enumerations, each at a given address, saved as the
// text of a symbol-table section ("18 symbol-table__V4.1" and what follows,
// CR LF line ends) as a class provider would leave it in the section "symb".
//
// The variables are entries of kind SYSVAR in the global scope with their
// storage address and type; an enumeration gets an anonymous type
// declaration and one DINT constant entry per enumerator, named as written
// (so enumerator names share the global scope with the variables).
// Variables may overlap: an address belongs to the variable starting last
// at or below it.
//
// A list is read line by line, each line "address name type":
//   address  decimal or "16#" hexadecimal (32 bits)
//   type     an elementary type name (BOOL, BYTE, WORD, DWORD, LWORD, SINT,
//            INT, DINT, LINT, USINT, UINT, UDINT, ULINT, REAL, LREAL),
//            "ARRAY [lo..hi] OF" and one of those, or an enumeration
//            "(A, B := 7, C)" (values count on from the previous one, the
//            first from 0)
// Blank lines and lines starting with "#" are skipped.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/st/stsymtab/StSymbTable.h"

class SysVarTable {
public:
    using Enumerators = std::vector<std::pair<std::string, int32_t>>;

    SysVarTable();
    SysVarTable(const SysVarTable&) = delete;
    SysVarTable& operator=(const SysVarTable&) = delete;

    // Each adds one variable; false (and error set) when the name is taken
    // in the global scope, the type is refused or the table is in error.
    bool addElementary(uint32_t address, const std::string& name, StTypeID type, std::string& error);
    bool addArray(uint32_t address, const std::string& name, StTypeID element, int32_t lower, int32_t upper,
                  std::string& error);
    bool addEnum(uint32_t address, const std::string& name, const Enumerators& values, std::string& error);
    // One variable from its type text (see the top of this file).
    bool add(uint32_t address, const std::string& name, const std::string& type, std::string& error);
    // Every line of a list; false with "line N: ..." at the first bad one.
    bool addList(std::istream& list, std::string& error);

    // The section text of the table; false when the stream fails.
    bool save(std::ostream& out);
    StSymbTable& table() { return *m_table; }

    // The id of an elementary type name, ST_INVALID_TID when none.
    static StTypeID elementaryType(const std::string& name);

private:
    StSyBaseSymbEntry* addVariable(uint32_t address, const std::string& name, StTypeID type, std::string& error);

    std::unique_ptr<StSymbTable> m_table;
};
