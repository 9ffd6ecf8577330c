// The operand of a boot-function symbol: a user operand (kind 1) that also
// carries the symbol, a (SID, offset) pair, the SID whose address the
// operand-name walk added to the fixed offset, three further numbers (the
// element index of an array element is the first) and a flag byte.
#pragma once
#include <cstdint>
#include <utility>

#include "base/st/stsymtab/StASMOperand.h"

using StBfSidOffset = std::pair<StSymbEntryID, uint32_t>;
// The pair (0, 0) and the invalid pair (null SID, 0x7fffffff).
extern const StBfSidOffset kBfPairZero;
extern const StBfSidOffset kBfPairInvalid;

class StASMBfOperand : public StASMOperand {
public:
    // Invalid type id, machine mode 13, null SID, the invalid pair.
    StASMBfOperand() : StASMOperand(ST_INVALID_TID, ST_MACHMODE_NONE) {}
    StASMBfOperand(StTypeID tid, uint32_t machMode, StSymbEntryID sid, int32_t offset)
        : StASMOperand(tid, machMode), m_sid(sid)
    {
        setFixOff(offset);
    }
    StASMBfOperand(const StASMBfOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_USER; }
    StASMOperand* clone() const override { return new StASMBfOperand(*this); }
    int getScopeClass() const override { return 3; }
    int getRefState() const override { return 0; }
    bool isPlainValue() const override { return true; }
    bool isPlainAddress() const override { return false; }
    StSymbEntryID getSID() const override { return m_sid; }

    void setSID(StSymbEntryID sid) { m_sid = sid; }
    const StBfSidOffset& getSidOffset() const { return m_pair; }
    void setSidOffset(const StBfSidOffset& pair) { m_pair = pair; }
    StSymbEntryID getAdrSID() const { return m_adrSid; }
    void setAdrSID(StSymbEntryID sid) { m_adrSid = sid; }
    uint32_t getNumber(int i) const { return m_numbers[i]; }
    void setNumber(int i, uint32_t v) { m_numbers[i] = v; }
    uint8_t getFlag() const { return m_flag; }

private:
    StSymbEntryID m_sid;
    StBfSidOffset m_pair = kBfPairInvalid;
    StSymbEntryID m_adrSid;
    uint32_t m_numbers[3] = {0, 0, 0};
    uint8_t m_flag = 0;
};
