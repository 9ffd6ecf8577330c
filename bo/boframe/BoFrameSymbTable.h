// The frame symbol table: the sysvar symbol table of an instance, a
// SyStSymbTable that either owns its tables or borrows those of another
// symbol table (its string, entry, constant, range, name-space and type
// tables and its global entry).
//
// A borrower gives the borrowed tables back undeleted when it is destroyed,
// so only the lender deletes them; it must not outlive the lender.
//
// The array flag chooses how modifyArraySize finds the variable: clear, the
// SyStSymbTable operation; set, the same steps over the frame's tables
// (the kind-5 variable at the address in the global scope, without a
// constant, of an array type, retyped to the anonymous array type of the
// new count, found or declared). Refusals are trace lines (source
// "boframe", method "CBOFrameSymbTable::modifyArraySize", level 4).
#pragma once
#include <cstdint>

#include "base/st/symacc/SyStSymbTable.h"

class CBOFrameSymbTable : public SyStSymbTable {
public:
    // Null: own tables, array flag clear. Else the other table's tables;
    // the array flag is copied from another CBOFrameSymbTable, the mode
    // word and the id pair from any table.
    explicit CBOFrameSymbTable(SyStSymbTable* other = nullptr, uint32_t word = 0);
    ~CBOFrameSymbTable() override;

    bool modifyArraySize(uint32_t address, int32_t newCount) override;

    uint8_t getArrayFlag() const { return m_arrayFlag; }
    void setArrayFlag(uint8_t flag) { m_arrayFlag = flag; }
    // The table whose tables are borrowed, else null.
    SyStSymbTable* getLender() const { return m_lender; }

private:
    uint8_t m_arrayFlag = 0;
    SyStSymbTable* m_lender = nullptr;
    uint32_t m_borrowed = 0;
};

// The type of the system variable at adr: the variable's own type where it
// starts (a dynamic array is found by its start), else the type of the
// element or member that covers adr. The invalid TID, with noOperand set,
// without table or covering variable; the invalid TID alone when the
// variable has no type.
StTypeID boSysVarTypeAt(SyStSymbTable* table, uint32_t adr, bool& noOperand);
