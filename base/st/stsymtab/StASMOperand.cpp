// Operands: constructors, the overridden operations, dumps and equality.
#include "base/st/stsymtab/StASMOperand.h"

#include <ostream>

#include "base/st/stsymtab/StCompConstantVal.h"

StASMOperand::StASMOperand(StTypeID tid, uint32_t machMode) : m_tid(tid), m_machMode(machMode) {}

void StASMOperand::getArray(StTypeID& tid, uint32_t& offset) const
{
    tid = ST_INVALID_TID;
    offset = 0;
}

void StASMOperand::dump(std::ostream& os) const
{
    os << " TID: " << m_tid << " MachMode: " << m_machMode << " FixOff: " << m_fixOff << " SrcOrd/Ln: " << m_srcOrd
       << "/" << m_line;
}

// --- user family ---

StASMUserOperand::StASMUserOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff, int32_t scope,
                                   StSymbEntryID ownerId)
    : StASMOperand(tid, machMode), m_sid(sid), m_scope(scope), m_ownerId(ownerId)
{
    m_fixOff = fixOff;
}

StASMUserOperand::StASMUserOperand(const StASMUserOperand& o)
    : StASMOperand(o), m_sid(o.m_sid), m_varOff(stCloneOperand(o.m_varOff)), m_flags(o.m_flags),
      m_arrayTID(o.m_arrayTID), m_arrayOffset(o.m_arrayOffset), m_scope(o.m_scope), m_ownerId(o.m_ownerId)
{
}

int StASMUserOperand::getScopeClass() const
{
    return m_scope == 0 ? 1 : m_scope == 1 ? 3 : 6;
}

void StASMUserOperand::addFixOff(int32_t n)
{
    m_fixOff += n;
    if (m_arrayTID != ST_INVALID_TID) m_arrayOffset += uint32_t(n);
}

void StASMUserOperand::getArray(StTypeID& tid, uint32_t& offset) const
{
    tid = m_arrayTID;
    offset = m_arrayOffset;
}

void StASMUserOperand::setArray(bool on, const StTypeID& tid)
{
    if (on) {
        m_flags |= FLAG_ARRAY;
        if (m_arrayTID == ST_INVALID_TID) m_arrayTID = tid;
    } else {
        m_flags &= ~uint32_t(FLAG_ARRAY);
        m_arrayTID = ST_INVALID_TID;
        m_arrayOffset = 0;
    }
}

void StASMUserOperand::setVarOff(StASMOperand* op)
{
    if (op == m_varOff) return;
    delete m_varOff;
    m_varOff = op;
}

void StASMUserOperand::dumpVarOff(std::ostream& os) const
{
    if (!m_varOff) return;
    os << " VarOff: (";
    m_varOff->dump(os);
    os << ")";
}

void StASMUserOperand::dump(std::ostream& os) const
{
    os << "UserOperand -> "
       << "SymID: " << m_sid;
    os << (m_scope == 1 ? " Global " : m_scope == 0 ? " Local " : " Const ");
    if (hasArray()) os << " hasArray ";
    dumpVarOff(os);
    dumpBase(os);
}

StASMSysVarOperand::StASMSysVarOperand(StSymbEntryID toId)
    : StASMUserOperand(ST_INVALID_SID, ST_INVALID_TID, ST_MACHMODE_NONE, 0, 0, ST_INVALID_SID), m_toId(toId)
{
}

StASMSysVarOperand::StASMSysVarOperand(const StASMSysVarOperand& o)
    : StASMUserOperand(o), m_toId(o.m_toId), m_toRef(stCloneOperand(o.m_toRef))
{
}

// The four fields of a system or interface variable; the offset operand
// no longer applies and is deleted.
static void setSysVarFields(StASMUserOperand& op, StASMOperand*& varOff, StSymbEntryID& sidField, StSymbEntryID sid,
                            StTypeID tid, uint32_t machMode, int32_t fixOff)
{
    delete varOff;
    varOff = nullptr;
    sidField = sid;
    op.setTID(tid);
    op.setMachMode(machMode);
    op.setFixOff(fixOff);
}

void StASMSysVarOperand::setSysVar(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff)
{
    setSysVarFields(*this, m_varOff, m_sid, sid, tid, machMode, fixOff);
}

void StASMSysVarOperand::setToRef(StASMOperand* op)
{
    if (op == m_toRef) return;
    delete m_toRef;
    m_toRef = op;
}

void StASMSysVarOperand::dump(std::ostream& os) const
{
    os << "SystemVarOperand ->"
       << " ToID: " << m_toId << " SymID: " << m_sid;
    dumpVarOff(os);
    if (m_toRef) {
        os << " ToREF: (";
        m_toRef->dump(os);
        os << ")";
    }
    dumpBase(os);
}

StASMSymbolicOperand::StASMSymbolicOperand(const String& prefix, const String& name, StSymbEntryID toId,
                                           uint32_t further)
    : StASMSysVarOperand(toId), m_prefix(prefix), m_name(name), m_further(further)
{
}

void StASMSymbolicOperand::dump(std::ostream& os) const
{
    os << "SymbolicOperand ->"
       << " Prefix: " << m_prefix.c_str() << " Name: " << m_name.c_str() << " ToID: " << m_toId
       << " SymID: " << m_sid;
    dumpVarOff(os);
    dumpBase(os);
}

StASMExtInterfOperand::StASMExtInterfOperand(StSymbEntryID dvId)
    : StASMUserOperand(ST_INVALID_SID, ST_INVALID_TID, ST_MACHMODE_NONE, 0, 0, ST_INVALID_SID), m_dvId(dvId)
{
}

void StASMExtInterfOperand::setSysVar(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff)
{
    setSysVarFields(*this, m_varOff, m_sid, sid, tid, machMode, fixOff);
}

void StASMExtInterfOperand::dump(std::ostream& os) const
{
    os << "InterfaceVarOperand ->"
       << " DvID: " << m_dvId << " SymID: " << m_sid;
    dumpVarOff(os);
    dumpBase(os);
}

StASMUserMemBlkOperand::StASMUserMemBlkOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff,
                                               int32_t scope, StSymbEntryID ownerId, int32_t blockSize)
    : StASMUserOperand(sid, tid, machMode, fixOff, scope, ownerId), m_blockSize(blockSize)
{
}

void StASMUserMemBlkOperand::dump(std::ostream& os) const
{
    StASMUserOperand::dump(os);
    os << " Blocksize: " << m_blockSize << " ";
}

StASMUserRefOperand::StASMUserRefOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff)
    : StASMUserOperand(sid, tid, machMode, fixOff, 0, ST_INVALID_SID)
{
}

StASMTempOperand::StASMTempOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff)
    : StASMUserOperand(sid, tid, machMode, fixOff, 0, ST_INVALID_SID)
{
}

void StASMTempOperand::dump(std::ostream& os) const
{
    os << "TempOperand -> "
       << "SymID: " << m_sid;
    dumpVarOff(os);
    dumpBase(os);
}

StASMVirtualOperand::StASMVirtualOperand(StSymbEntryID nameSpaceSID, const String& nameSpace)
    : StASMTempOperand(nameSpaceSID, ST_INVALID_TID, ST_MACHMODE_NONE, 0), m_nameSpace(nameSpace)
{
}

void StASMVirtualOperand::dump(std::ostream& os) const
{
    os << "VirtualOperand -> "
       << "SymID of Namespace: " << m_sid;
    dumpBase(os);
}

StASMFuncParamOperand::StASMFuncParamOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, int32_t fixOff)
    : StASMUserOperand(sid, tid, machMode, fixOff, 0, ST_INVALID_SID)
{
}

bool StASMFuncParamOperand::frameIds(StSymbEntryID& curr, StSymbEntryID& call)
{
    if (curr.isInvalid())
        curr = m_currFrame;
    else
        m_currFrame = curr;
    if (call.isInvalid())
        call = m_callFrame;
    else
        m_callFrame = call;
    return true;
}

void StASMFuncParamOperand::dump(std::ostream& os) const
{
    os << (getKind() == ST_OP_FUNCPARAM ? "FuncParamOperand ->" : "FuncParamReferenceOperand ->")
       << " currFrameID: " << m_currFrame << " callFrameID: " << m_callFrame << " ";
    StASMUserOperand::dump(os);
}

// --- constant ---

StASMConstOperand::StASMConstOperand(StConstantElem* elem, StTypeID tid, uint32_t machMode)
    : StASMOperand(tid, machMode), m_elem(elem)
{
}

StASMConstOperand::StASMConstOperand(const StASMConstOperand& o)
    : StASMOperand(o), m_elem(o.m_elem ? new StConstantElem(*o.m_elem) : nullptr), m_index(o.m_index),
      m_indexOp(stCloneOperand(o.m_indexOp)), m_constSID(o.m_constSID), m_array(o.m_array)
{
}

StASMConstOperand::~StASMConstOperand()
{
    delete m_elem;
    delete m_indexOp;
}

void StASMConstOperand::setIndexOperand(StASMOperand* op)
{
    if (op == m_indexOp) return;
    delete m_indexOp;
    m_indexOp = op;
}

void StASMConstOperand::dump(std::ostream& os) const
{
    os << "ConstOperand -> ";
    if (m_elem) m_elem->dump(os);
    dumpBase(os);
}

// --- direct ---

StASMDirectOperand::StASMDirectOperand(StSymbEntryID sid, StTypeID tid, uint32_t machMode, uint32_t addressWord)
    : StASMOperand(tid, machMode), m_address(addressWord), m_sid(sid)
{
}

StASMDirectOperand::StASMDirectOperand(StTypeID tid, uint32_t machMode, uint32_t byteAddress, uint32_t bitNumber,
                                       bool flag)
    : StASMOperand(tid, machMode)
{
    const uint32_t bitField = bitNumber ? (((bitNumber - 1) | 0x80u) & 0xFFu) : 0u;
    m_address = (flag ? ST_ADDR_TAG_INPUT : ST_ADDR_TAG_OUTPUT) | (bitField << 16) | (byteAddress & 0xFFFFu);
}

bool StASMDirectOperand::hasAddressTag(uint32_t word)
{
    const uint32_t tag = word & 0xFF000000u;
    return tag == ST_ADDR_TAG_INPUT || tag == ST_ADDR_TAG_OUTPUT || tag == ST_ADDR_TAG_OTHER;
}

bool StASMDirectOperand::hasConstructorTag(uint32_t word)
{
    const uint32_t tag = word & 0xFF000000u;
    return tag == ST_ADDR_TAG_INPUT || tag == ST_ADDR_TAG_OUTPUT;
}

void StASMDirectOperand::dump(std::ostream& os) const
{
    os << "DirectOperand -> " << std::hex << m_address << std::dec;
}

// --- composed accesses ---

StASMPairOperand::StASMPairOperand(StASMOperand* first, StASMOperand* second)
    : StASMOperand(ST_INVALID_TID, ST_MACHMODE_NONE), m_first(first), m_second(second)
{
}

StASMPairOperand::StASMPairOperand(const StASMPairOperand& o)
    : StASMOperand(o), m_first(stCloneOperand(o.m_first)), m_second(stCloneOperand(o.m_second))
{
}

StASMPairOperand::~StASMPairOperand()
{
    delete m_first;
    delete m_second;
}

void StASMPairOperand::dumpPair(std::ostream& os, const char* title, const char* l1, const char* l2) const
{
    os << title << "  ";
    dumpBase(os);
    os << " " << l1;
    if (m_first) m_first->dump(os);
    os << l2;
    if (m_second) m_second->dump(os);
    os << " ";
}

StASMBitAccessOperand::StASMBitAccessOperand(StASMOperand* base, StASMOperand* bit) : StASMPairOperand(base, bit)
{
    if (base) setSource(base->getSrcOrd(), base->getLine());
}

void StASMBitAccessOperand::dump(std::ostream& os) const
{
    dumpPair(os, "StASMBitAccessOperand ->", " BaseOperand: ", " BitOperand:  ");
}

StASMStringAccessOperand::StASMStringAccessOperand(StASMOperand* str, StASMOperand* index)
    : StASMPairOperand(str, index)
{
}

void StASMStringAccessOperand::dump(std::ostream& os) const
{
    dumpPair(os, "StASMStringAccessOperand ->", " StringOperand: ", " IndexOperand:  ");
}

// --- equality ---

bool operandsEqual(const StASMOperand* a, const StASMOperand* b)
{
    if (!a || !b) return false;
    const StASMOperandKind kind = a->getKind();
    if (kind != b->getKind() || a->getTID() != b->getTID() || a->getSecondSID() != b->getSecondSID() ||
        a->getMachMode() != b->getMachMode() || a->getFixOff() != b->getFixOff())
        return false;
    if (a->getBaseOperand() || b->getBaseOperand()) return false;
    if (a->getSID() != b->getSID() || a->getScopeClass() != b->getScopeClass() ||
        a->getRefState() != b->getRefState())
        return false;
    switch (kind) {
    case ST_OP_DIRECT:
        return a->getAddress() == b->getAddress() && a->getBitInfo() == b->getBitInfo();
    case ST_OP_USER:
    case ST_OP_TEMP:
    case ST_OP_USERREF:
        return true;
    case ST_OP_SYSVAR:
    case ST_OP_EXTINTERF:
        return a->getToID() == b->getToID();
    case ST_OP_FUNCPARAM:
    case ST_OP_FUNCPARAMREF: {
        StSymbEntryID ac, acall, bc, bcall;
        const_cast<StASMOperand*>(a)->frameIds(ac, acall);
        const_cast<StASMOperand*>(b)->frameIds(bc, bcall);
        return ac == bc && acall == bcall;
    }
    default:  // Symbolic, Const and the kinds above 9 are never equal
        return false;
    }
}
