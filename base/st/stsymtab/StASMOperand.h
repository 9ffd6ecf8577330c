// Operands: where a value used by generated target code lives.
//
// An operand is a direct address, a user variable (with an optional offset
// operand "VarOff" and array access), a system variable of a technology
// object, an interface variable, a constant, a temporary, a function
// parameter, or a bit or character access composed of two operands. The
// symbol table creates them for its entries; the code generators consume
// them and may derive their own classes.
//
// Every class is pool-allocated by its real size. Nested operands (VarOff,
// ToREF, the index operand of a constant, the two operands of a bit or
// string access) and the constant element of a constant operand are owned:
// cloned deeply by clone() and deleted with their owner.
//
// The virtual operations answer a neutral value in the base (noted in
// brackets) and are overridden by the classes they concern. Dumps write one
// line without a line end.
#pragma once
#include <cstdint>
#include <iosfwd>

#include "base/falloc/AllocPool.h"
#include "base/st/stsymtab/StIds.h"
#include "co/tvstring.h"

class StConstantElem;

enum StASMOperandKind : uint32_t {
    ST_OP_DIRECT = 0,
    ST_OP_USER = 1,  // also the memory-block operand
    ST_OP_SYSVAR = 2,
    ST_OP_SYMBOLIC = 3,
    ST_OP_EXTINTERF = 4,
    ST_OP_CONST = 5,
    ST_OP_TEMP = 6,
    ST_OP_FUNCPARAM = 7,
    ST_OP_FUNCPARAMREF = 8,
    ST_OP_USERREF = 9,
    ST_OP_VIRTUAL = 10,
    ST_OP_BITACCESS = 11,
    ST_OP_STRINGACCESS = 12,
};

// Address tags of direct operands (top byte of the address word).
constexpr uint32_t ST_ADDR_TAG_INPUT = 0xF8000000u;
constexpr uint32_t ST_ADDR_TAG_OUTPUT = 0xF6000000u;
constexpr uint32_t ST_ADDR_TAG_OTHER = 0xFC000000u;
constexpr uint32_t ST_OPERAND_NO_ADDRESS = 0x7FFFFFFFu;
constexpr uint32_t ST_MACHMODE_NONE = 13;

class StASMOperand : public CAllocPool<128> {
public:
    // Symbol id invalid; FixOff, SrcOrd and line 0.
    StASMOperand(StTypeID tid, uint32_t machMode);
    StASMOperand(const StASMOperand&) = default;
    StASMOperand& operator=(const StASMOperand&) = delete;
    virtual ~StASMOperand() = default;

    virtual StASMOperandKind getKind() const = 0;
    // A deep copy (nested operands and the constant element cloned).
    virtual StASMOperand* clone() const = 0;
    // 1 local, 2 direct, 3 global, 4 system variable, 5 interface variable,
    // 6 constant, 7 composed access.
    virtual int getScopeClass() const = 0;
    // 0 value, 1 reference variable, 2 by reference, 3 composed access.
    virtual int getRefState() const = 0;
    virtual bool isPlainValue() const = 0;
    virtual bool isPlainAddress() const = 0;
    virtual uint32_t getAddress() const { return ST_OPERAND_NO_ADDRESS; }
    virtual void setBitInfo(int32_t) {}
    virtual int32_t getBitInfo() const { return 0; }
    virtual StSymbEntryID getSID() const { return ST_INVALID_SID; }
    virtual void addFixOff(int32_t n) { m_fixOff += n; }
    // Where the owned base operand pointer lives. [null]
    virtual StASMOperand** getBaseOperandSlot() { return nullptr; }
    virtual StASMOperand* getBaseOperand() const { return nullptr; }
    virtual bool hasArray() const { return false; }
    // [invalid TID, 0]
    virtual void getArray(StTypeID& tid, uint32_t& offset) const;
    virtual void setArray(bool, const StTypeID&) {}
    virtual StSymbEntryID getOwnerId() const { return ST_INVALID_SID; }
    virtual StConstantElem* getConstElem() { return nullptr; }
    virtual const StConstantElem* getConstElem() const { return nullptr; }
    virtual void setIndex(int32_t) {}
    virtual int32_t getIndex() const { return 0; }
    virtual void setConstSID(StSymbEntryID) {}
    virtual StSymbEntryID getConstSID() const { return ST_INVALID_SID; }
    virtual void setSysVar(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff) {}
    // Takes the operand over (the one held before is deleted).
    virtual void setToRef(StASMOperand* op) { delete op; }
    virtual StASMOperand* getToRef() const { return nullptr; }
    virtual StSymbEntryID getToID() const { return ST_INVALID_SID; }
    virtual void setToID(StSymbEntryID) {}
    // For each argument: an invalid id is filled from the operand, a valid
    // one is stored into it; true. [false]
    virtual bool frameIds(StSymbEntryID& curr, StSymbEntryID& call) { return false; }
    virtual uint32_t reserved() const { return 0; }
    // " TID: .. MachMode: .. FixOff: .. SrcOrd/Ln: ../.."
    virtual void dump(std::ostream& os) const;

    StTypeID getTID() const { return m_tid; }
    void setTID(StTypeID tid) { m_tid = tid; }
    StSymbEntryID getSecondSID() const { return m_sid2; }
    void setSecondSID(StSymbEntryID sid) { m_sid2 = sid; }
    uint32_t getMachMode() const { return m_machMode; }
    void setMachMode(uint32_t mode) { m_machMode = mode; }
    int32_t getFixOff() const { return m_fixOff; }
    void setFixOff(int32_t off) { m_fixOff = off; }
    uint32_t getSrcOrd() const { return m_srcOrd; }
    uint32_t getLine() const { return m_line; }
    void setSource(uint32_t srcOrd, uint32_t line)
    {
        m_srcOrd = srcOrd;
        m_line = line;
    }

protected:
    void dumpBase(std::ostream& os) const { StASMOperand::dump(os); }

    StTypeID m_tid;
    StSymbEntryID m_sid2;
    uint32_t m_machMode;
    int32_t m_fixOff = 0;
    uint32_t m_srcOrd = 0;
    uint32_t m_line = 0;
};

// Clone of a nested operand (null stays null).
inline StASMOperand* stCloneOperand(const StASMOperand* op) { return op ? op->clone() : nullptr; }

class StASMUserOperand : public StASMOperand {
public:
    enum : uint32_t { FLAG_ARRAY = 1, FLAG_BIT1 = 2, FLAG_BIT2 = 4, FLAG_REF = 16, FLAG_BIT5 = 32 };

    StASMUserOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff, int32_t scope,
                     StSymbEntryID ownerId);
    StASMUserOperand(const StASMUserOperand& o);
    ~StASMUserOperand() override { delete m_varOff; }

    StASMOperandKind getKind() const override { return ST_OP_USER; }
    StASMOperand* clone() const override { return new StASMUserOperand(*this); }
    int getScopeClass() const override;
    int getRefState() const override { return (m_flags & FLAG_REF) ? 2 : 0; }
    bool isPlainValue() const override { return !m_varOff && !(m_flags & FLAG_REF); }
    bool isPlainAddress() const override { return !m_varOff && !(m_flags & FLAG_BIT5); }
    StSymbEntryID getSID() const override { return m_sid; }
    void addFixOff(int32_t n) override;
    StASMOperand** getBaseOperandSlot() override { return &m_varOff; }
    StASMOperand* getBaseOperand() const override { return m_varOff; }
    bool hasArray() const override { return (m_flags & FLAG_ARRAY) != 0; }
    void getArray(StTypeID& tid, uint32_t& offset) const override;
    void setArray(bool on, const StTypeID& tid) override;
    StSymbEntryID getOwnerId() const override { return m_ownerId; }
    // "UserOperand -> SymID: <sid>", the scope text, " hasArray ", the
    // VarOff part and the base dump.
    void dump(std::ostream& os) const override;

    void setFlagBit1() { m_flags |= FLAG_BIT1; }
    void setFlagBit2() { m_flags |= FLAG_BIT2; }
    void setFlagBit4() { m_flags |= FLAG_REF; }
    void setFlagBit5() { m_flags |= FLAG_BIT5; }
    uint32_t getFlags() const { return m_flags; }
    // Bit 1 set and bit 2 clear; false for a null operand.
    static bool isFlagBit1Only(const StASMUserOperand* op)
    {
        return op && (op->m_flags & FLAG_BIT1) && !(op->m_flags & FLAG_BIT2);
    }
    // Takes the offset operand over (the one held before is deleted).
    void setVarOff(StASMOperand* op);
    int32_t getScope() const { return m_scope; }
    void setOwnerId(StSymbEntryID id) { m_ownerId = id; }

protected:
    // " VarOff: (<dump>)" when there is an offset operand.
    void dumpVarOff(std::ostream& os) const;

    StSymbEntryID m_sid;
    StASMOperand* m_varOff = nullptr;
    uint32_t m_flags = 0;
    StTypeID m_arrayTID = ST_INVALID_TID;
    uint32_t m_arrayOffset = 0;
    int32_t m_scope;
    StSymbEntryID m_ownerId;
};

class StASMSysVarOperand : public StASMUserOperand {
public:
    // SID, TID and owner invalid, MachMode 13.
    explicit StASMSysVarOperand(StSymbEntryID toId);
    StASMSysVarOperand(const StASMSysVarOperand& o);
    ~StASMSysVarOperand() override { delete m_toRef; }

    StASMOperandKind getKind() const override { return ST_OP_SYSVAR; }
    StASMOperand* clone() const override { return new StASMSysVarOperand(*this); }
    int getScopeClass() const override { return 4; }
    bool isPlainValue() const override { return false; }
    // Drops (deletes) the offset operand and sets the four fields.
    void setSysVar(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff) override;
    void setToRef(StASMOperand* op) override;
    StASMOperand* getToRef() const override { return m_toRef; }
    StSymbEntryID getToID() const override { return m_toId; }
    void setToID(StSymbEntryID id) override { m_toId = id; }
    void dump(std::ostream& os) const override;

protected:
    StSymbEntryID m_toId;
    StASMOperand* m_toRef = nullptr;
};

class StASMSymbolicOperand : public StASMSysVarOperand {
public:
    StASMSymbolicOperand(const String& prefix, const String& name, StSymbEntryID toId, uint32_t further = 0);
    StASMSymbolicOperand(const StASMSymbolicOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_SYMBOLIC; }
    StASMOperand* clone() const override { return new StASMSymbolicOperand(*this); }
    bool isPlainAddress() const override { return false; }
    uint32_t getAddress() const override { return uint32_t(m_fixOff); }
    void dump(std::ostream& os) const override;

    const String& getPrefix() const { return m_prefix; }
    const String& getName() const { return m_name; }
    uint32_t getFurther() const { return m_further; }

protected:
    String m_prefix;
    String m_name;
    uint32_t m_further;
};

class StASMExtInterfOperand : public StASMUserOperand {
public:
    // SID, TID and owner invalid, MachMode 13.
    explicit StASMExtInterfOperand(StSymbEntryID dvId);
    StASMExtInterfOperand(const StASMExtInterfOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_EXTINTERF; }
    StASMOperand* clone() const override { return new StASMExtInterfOperand(*this); }
    int getScopeClass() const override { return 5; }
    bool isPlainValue() const override { return false; }
    bool isPlainAddress() const override { return false; }
    void setSysVar(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff) override;
    StSymbEntryID getToID() const override { return m_dvId; }
    void setToID(StSymbEntryID id) override { m_dvId = id; }
    void dump(std::ostream& os) const override;

protected:
    StSymbEntryID m_dvId;
};

class StASMUserMemBlkOperand : public StASMUserOperand {
public:
    StASMUserMemBlkOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff, int32_t scope,
                           StSymbEntryID ownerId, int32_t blockSize);
    StASMUserMemBlkOperand(const StASMUserMemBlkOperand&) = default;

    StASMOperand* clone() const override { return new StASMUserMemBlkOperand(*this); }
    void dump(std::ostream& os) const override;
    int32_t getBlockSize() const { return m_blockSize; }

protected:
    int32_t m_blockSize;
};

class StASMUserRefOperand : public StASMUserOperand {
public:
    // Scope 0, owner invalid.
    StASMUserRefOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff);
    StASMUserRefOperand(const StASMUserRefOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_USERREF; }
    StASMOperand* clone() const override { return new StASMUserRefOperand(*this); }
    int getRefState() const override { return 1; }
    bool isPlainValue() const override { return false; }
};

class StASMTempOperand : public StASMUserOperand {
public:
    // Scope 0, owner invalid.
    StASMTempOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff);
    StASMTempOperand(const StASMTempOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_TEMP; }
    StASMOperand* clone() const override { return new StASMTempOperand(*this); }
    bool isPlainAddress() const override { return false; }
    void dump(std::ostream& os) const override;
};

class StASMVirtualOperand : public StASMTempOperand {
public:
    // TID invalid, MachMode 13; the SID is the name space's symbol id.
    explicit StASMVirtualOperand(StSymbEntryID nameSpaceSID = ST_INVALID_SID, const String& nameSpace = String());
    StASMVirtualOperand(const StASMVirtualOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_VIRTUAL; }
    StASMOperand* clone() const override { return new StASMVirtualOperand(*this); }
    void dump(std::ostream& os) const override;
    const String& getNameSpaceName() const { return m_nameSpace; }

protected:
    String m_nameSpace;
};

class StASMFuncParamOperand : public StASMUserOperand {
public:
    // Scope 0, owner invalid, both frame ids invalid.
    StASMFuncParamOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff);
    StASMFuncParamOperand(const StASMFuncParamOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_FUNCPARAM; }
    StASMOperand* clone() const override { return new StASMFuncParamOperand(*this); }
    bool isPlainAddress() const override { return false; }
    bool frameIds(StSymbEntryID& curr, StSymbEntryID& call) override;
    void dump(std::ostream& os) const override;

protected:
    StSymbEntryID m_currFrame;
    StSymbEntryID m_callFrame;
};

class StASMFuncParamRefOperand : public StASMFuncParamOperand {
public:
    using StASMFuncParamOperand::StASMFuncParamOperand;
    StASMFuncParamRefOperand(const StASMFuncParamRefOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_FUNCPARAMREF; }
    StASMOperand* clone() const override { return new StASMFuncParamRefOperand(*this); }
    int getRefState() const override { return 2; }
    bool isPlainValue() const override { return true; }
};

class StASMConstOperand : public StASMOperand {
public:
    // Takes the element over.
    StASMConstOperand(StConstantElem* elem, StTypeID tid, uint32_t machMode);
    StASMConstOperand(const StASMConstOperand& o);
    ~StASMConstOperand() override;

    StASMOperandKind getKind() const override { return ST_OP_CONST; }
    StASMOperand* clone() const override { return new StASMConstOperand(*this); }
    int getScopeClass() const override { return 6; }
    int getRefState() const override { return 0; }
    bool isPlainValue() const override { return !m_indexOp; }
    bool isPlainAddress() const override { return false; }
    StASMOperand** getBaseOperandSlot() override { return &m_indexOp; }
    StASMOperand* getBaseOperand() const override { return m_indexOp; }
    bool hasArray() const override { return m_array != 0; }
    void setArray(bool on, const StTypeID&) override { m_array = on ? 1 : 0; }
    StConstantElem* getConstElem() override { return m_elem; }
    const StConstantElem* getConstElem() const override { return m_elem; }
    void setIndex(int32_t i) override { m_index = i; }
    int32_t getIndex() const override { return m_index; }
    void setConstSID(StSymbEntryID sid) override { m_constSID = sid; }
    StSymbEntryID getConstSID() const override { return m_constSID; }
    void dump(std::ostream& os) const override;

    // Takes the index operand over (the one held before is deleted).
    void setIndexOperand(StASMOperand* op);

protected:
    StConstantElem* m_elem;
    int32_t m_index = 0;
    StASMOperand* m_indexOp = nullptr;
    StSymbEntryID m_constSID;
    uint8_t m_array = 0;
};

class StASMDirectOperand : public StASMOperand {
public:
    StASMDirectOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, uint32_t addressWord);
    // tag | (bit field << 16) | (byteAddress & 0xffff); the bit field is
    // (bitNumber - 1) | 0x80 for a bit number, 0 without; the tag is
    // 0xF8000000 with the flag, else 0xF6000000.
    StASMDirectOperand(StTypeID tid, uint32_t machMode, uint32_t byteAddress, uint32_t bitNumber, bool flag);
    StASMDirectOperand(const StASMDirectOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_DIRECT; }
    StASMOperand* clone() const override { return new StASMDirectOperand(*this); }
    int getScopeClass() const override { return 2; }
    int getRefState() const override { return 0; }
    bool isPlainValue() const override { return true; }
    bool isPlainAddress() const override { return true; }
    uint32_t getAddress() const override { return m_address + uint32_t(m_fixOff); }
    void setBitInfo(int32_t info) override { m_bitInfo = info; }
    int32_t getBitInfo() const override { return m_bitInfo; }
    StSymbEntryID getSID() const override { return m_sid; }
    void dump(std::ostream& os) const override;

    uint32_t getAddressWord() const { return m_address; }
    static bool hasAddressTag(uint32_t word);
    static bool hasConstructorTag(uint32_t word);

protected:
    uint32_t m_address;
    StSymbEntryID m_sid;
    int32_t m_bitInfo = -1;
};

// Base of the two composed accesses: two owned operands.
class StASMPairOperand : public StASMOperand {
public:
    StASMPairOperand(StASMOperand* first, StASMOperand* second);
    StASMPairOperand(const StASMPairOperand& o);
    ~StASMPairOperand() override;

    int getScopeClass() const override { return 7; }
    int getRefState() const override { return 3; }
    bool isPlainValue() const override { return false; }
    bool isPlainAddress() const override { return false; }
    StASMOperand* first() const { return m_first; }
    StASMOperand* second() const { return m_second; }

protected:
    // "<title>  <base dump> <l1><first dump><l2><second dump> "
    void dumpPair(std::ostream& os, const char* title, const char* l1, const char* l2) const;

    StASMOperand* m_first;
    StASMOperand* m_second;
};

class StASMBitAccessOperand : public StASMPairOperand {
public:
    // TID invalid; SrcOrd and line from the base operand.
    StASMBitAccessOperand(StASMOperand* base, StASMOperand* bit);
    StASMBitAccessOperand(const StASMBitAccessOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_BITACCESS; }
    StASMOperand* clone() const override { return new StASMBitAccessOperand(*this); }
    StASMOperand** getBaseOperandSlot() override { return m_first ? m_first->getBaseOperandSlot() : nullptr; }
    StASMOperand* getBaseOperand() const override { return m_first ? m_first->getBaseOperand() : nullptr; }
    void dump(std::ostream& os) const override;
};

class StASMStringAccessOperand : public StASMPairOperand {
public:
    // TID invalid.
    StASMStringAccessOperand(StASMOperand* str, StASMOperand* index);
    StASMStringAccessOperand(const StASMStringAccessOperand&) = default;

    StASMOperandKind getKind() const override { return ST_OP_STRINGACCESS; }
    StASMOperand* clone() const override { return new StASMStringAccessOperand(*this); }
    void dump(std::ostream& os) const override;
};

// False when either is null; see the source for the rule.
bool operandsEqual(const StASMOperand* a, const StASMOperand* b);
