// StSymbTable: target addresses and address texts, operand creation,
// member and element selection, the readable / writable tests and the two
// target-address services.
//
// Choices of this implementation (the callers rely on them):
//  - a variable (kind 3) is a reference when its access mode is 4
//    (in-out); it then gets a reference operand;
//  - the second symbol id of an operand holds the declaration of its
//    current type (the type reference of the symbol, then of each member
//    or element selected), so that selections can go on below it;
//  - a parameter access marks a user operand as input (flag bit 1),
//    output (flag bit 2) or in-out (reference, flag bit 4); an in-out
//    member is named only through an operand in reference state 2;
//  - members of a function type that are not static (second flag byte
//    clear) have frame addresses: their offset in the instance is the
//    address less the frame base, the part of the total frame size before
//    the instance (total size - size, never negative);
//  - a bit-addressed system-variable operand counts flat item positions:
//    a member adds its ordinal, an element access first the array's own
//    item (1) and then index x item count of the element.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbAddress.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/stsymtab/stmcaddr.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "base/st/stsymtab/stsymtab";
constexpr uint32_t kNone = ST_OPERAND_NO_ADDRESS;
constexpr uint32_t kEntryWritten = 4;     // entry flag bit 2
constexpr uint32_t kEntryReferenced = 8;  // entry flag bit 3

bool isPou(uint32_t kind) { return kind == ST_KIND_FUNC || kind == ST_KIND_FUNCBLOCK || kind == ST_KIND_PROGRAM; }

// The member scope an entry opens (a type declaration its own VR and
// member name space, a frame its member ranges).
void memberScopeOf(const StSyBaseSymbEntry* e, StRangeID& vr, StRangeID& nr)
{
    vr = e ? e->getSubValidRange() : ST_INVALID_VR;
    nr = e ? e->getSubNameRange() : ST_INVALID_NR;
}

void replaceOperand(StASMOperand*& operand, StASMOperand* by)
{
    if (by != operand) delete operand;
    operand = by;
}

int refuse(StASMOperand*& operand, int code)
{
    delete operand;
    operand = nullptr;
    return code;
}

}  // namespace

// --- addresses ---

uint32_t StSymbTable::getSymbolAddress(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    if (!e) return kNone;
    const uint32_t kind = e->getKind();
    if (hasPlainAddressWord(kind) || (kind == ST_KIND_GLOBVAR && m_tableMode == 2))
        return uint32_t(e->getStorageAddress());
    return e->hasAddress() ? e->getAddress(0) : kNone;
}

uint32_t StSymbTable::getConstAddress(StConstEntryID cid) const
{
    const StConstantVal* v = getConstant(cid);
    return v && v->hasAddress() ? v->getAddress(0) : kNone;
}

uint32_t StSymbTable::getOperandAddress(const StASMOperand* op) const
{
    if (!op || inError()) return kNone;
    if (op->getKind() == ST_OP_CONST || op->getScopeClass() == 6) {
        const StConstantElem* elem = op->getConstElem();
        StConstEntryID cid = elem ? elem->getCID() : ST_INVALID_CID;
        if (cid.isInvalid()) {
            const StSymbEntryID sid = elem && elem->getSyID().isValid()
                                          ? elem->getSyID()
                                          : (op->getKind() == ST_OP_CONST ? op->getConstSID() : op->getSID());
            cid = getEntryCID(sid);
        }
        const uint32_t a = getConstAddress(cid);
        return a == kNone ? kNone : a + uint32_t(op->getFixOff());
    }
    const StSyBaseSymbEntry* sym = entryOf(op->getSID());
    if (op->getScopeClass() == 2 || !sym) return op->getAddress();

    int64_t frameOffset = 0;
    StSymbEntryID curr, call;
    if (const_cast<StASMOperand*>(op)->frameIds(curr, call) && curr.isValid() && call.isValid()) {
        const StSyBaseSymbEntry* currFrame = entryOf(curr);
        const StSyBaseSymbEntry* callFrame = entryOf(call);
        if (!currFrame || !callFrame || !currFrame->getFrameProperties() || op->getScopeClass() != 1 ||
            !isPou(callFrame->getKind()))
            return kNone;
        const int64_t align = std::max<uint32_t>(getFrameAlignment(getEntryTypeID(sym)), 8);
        const int64_t raw = int64_t(currFrame->getStorageAddress()) - callFrame->getStorageAddress();
        frameOffset = raw >= 0 ? (raw + align - 1) / align * align : -((-raw) / align * align);
    }
    const uint32_t kind = sym->getKind();
    const int64_t offset = (op->getKind() == ST_OP_USERREF ? 0 : op->getFixOff()) + frameOffset;
    if (!hasPlainAddressWord(kind) && !(kind == ST_KIND_GLOBVAR && m_tableMode == 2))
        return sym->hasAddress() ? sym->getAddress(int32_t(offset)) : kNone;
    if (!sym->hasAddress()) return kNone;
    return uint32_t(int64_t(sym->getStorageAddress()) + op->getFixOff() + frameOffset);
}

String StSymbTable::getAddressText(const StASMOperand* op) const
{
    const String unknown("???");
    if (!op || op->getFixOff() != 0 || op->getScopeClass() != 2) return unknown;
    if (op->getSID().isValid()) {
        const String* name = getName(op->getSID());
        return name ? *name : unknown;
    }
    const uint32_t word = op->getAddress();
    String text;
    switch (word & ST_SEGMENT_MASK) {
    case ST_ADDR_TAG_INPUT: text = "%I"; break;
    case ST_ADDR_TAG_OUTPUT: text = "%Q"; break;
    case ST_ADDR_TAG_OTHER: return String("TSI#..");
    default: return unknown;
    }
    const uint32_t id = getElemTypeOfTID(op->getTID());
    switch (id) {
    case ST_BOOL: text += "X"; break;
    case ST_BYTE: case ST_SINT: case ST_USINT: text += "B"; break;
    case ST_WORD: case ST_INT: case ST_UINT: text += "W"; break;
    case ST_DWORD: case ST_DINT: case ST_UDINT: text += "D"; break;
    default: return unknown;
    }
    char number[32];
    std::snprintf(number, sizeof number, "%u", word & 0xFFFFu);
    text += number;
    if (isIoBitAddress(word)) {
        std::snprintf(number, sizeof number, ".%u", (word >> 16) & 0xFu);
        text += number;
    } else if (id == ST_BOOL) {
        return unknown;
    }
    return text;
}

// --- target-address services ---

bool StSymbTable::tisCore(const StASMOperand* op, uint32_t access, StAddressRecord& rec) const
{
    rec = StAddressRecord();
    if (!op || inError() || op->getConstElem() || op->getKind() == ST_OP_CONST) return false;
    const StSyBaseSymbEntry* sym = entryOf(op->getSID());
    const uint32_t kind = sym ? uint32_t(sym->getKind()) : 0u;
    if (sym && (!sym->hasAddress() || isPou(kind))) return false;
    if (m_addrOpt[2] && kind == ST_KIND_GLOBVAR && sym->getVisibility() == ST_VIS_IMPORT) return false;
    const uint32_t requested = access & ST_ACCESS_BITS;
    const uint32_t accepted = (m_modeWord & ST_ACCESS_BITS) | ST_ACCESS_LOW24;
    if (requested & ~accepted) return false;
    if ((requested & ~ST_ACCESS_LOW24) && kind != ST_KIND_SYSVAR && !isSysVarOperand(op)) return false;

    const StTypeID tid = op->getTID();
    const uint32_t mode = getMachMode(tid);
    rec.size = uint32_t(getTypeSize(tid, false));
    if (mode < MC_OBJECT || mode == MC_MEMADR) {
        rec.machMode = McConvert::getNumMode(mode);
        rec.typeSpec = esMakeElem(getElemTypeOfTID(tid));
    } else {
        rec.machMode = MC_OBJECT;
        rec.typeSpec = m_types->getTypeSpec(tid);
        if (rec.size == 0) return false;
    }
    const uint32_t address = getOperandAddress(op);
    if ((kind == ST_KIND_SYSVAR && (m_addrOpt[0] || m_addrOpt[1])) || (kind == ST_KIND_GLOBVAR && m_tableMode == 2)) {
        rec.kind = ST_TIS_PLAIN;
        rec.address = address;
        if (access & ST_ACCESS_SEG20)
            rec.address = (address & ST_OFFSET_MASK) | 0x20000000u;
        else if (access & ST_ACCESS_LOW24)
            rec.address = address & ST_OFFSET_MASK;
        rec.deviceWord = m_idHigh;
    } else if (kind == ST_KIND_VAR && m_addrOpt[2]) {
        rec.kind = ST_TIS_FRAME;
        rec.address = address;
        rec.frameValue = 0;
    } else if (kind == ST_KIND_GLOBVAR && m_tableMode != 0) {
        rec.address = address;
        if (m_unitId != 0) {
            rec.kind = ST_TIS_UNIT_ID;
            rec.unitId = m_unitId;
        } else {
            const String* unit = getName(sym->getUnitSID());
            if (!unit || uint32_t(unit->length()) >= ST_UNIT_NAME_SIZE) return false;
            rec.kind = ST_TIS_UNIT_NAME;
            std::memcpy(rec.unitName, unit->c_str(), size_t(unit->length()));
            rec.unitName[unit->length()] = '\0';
        }
    } else if (kind == ST_KIND_INTERFACEVAR && m_addrOpt[1]) {
        rec.kind = ST_TIS_INTERFACE;
        rec.address = address;
    } else if (kind == ST_KIND_SYSVAR && m_tableMode != 0) {
        rec.kind = ST_TIS_SYSVAR;
        rec.address = address | 0x04000000u;
        rec.deviceWord = m_deviceWord;
        rec.sysVarNumber = uint16_t(sym->getID().get() & 0xFFFFu);
    } else {
        rec.kind = ST_TIS_PLAIN;
        rec.address = address;
        rec.deviceWord = m_idHigh;
    }
    return true;
}

bool StSymbTable::getTISAddress(const StASMOperand* op, uint32_t access, bool& relative, StAddressRecord& record)
{
    relative = false;
    if (!tisCore(op, access, record)) return false;
    if (m_hook && !m_hook->translate(record)) {
        TV_TRACE(4, kTraceFile, "StSymbTable::getTISAddress", "Address translate hook returns false");
        return false;
    }
    relative = record.kind != ST_TIS_PLAIN;
    return true;
}

bool StSymbTable::getTISAddress(StSymbEntryID sid, uint32_t access, bool& relative, StAddressRecord& record)
{
    relative = false;
    StASMOperand* op = nullptr;
    if (createOperand(sid, op) != 0) return false;
    const bool ok = getTISAddress(op, access, relative, record);
    delete op;
    return ok;
}

bool StSymbTable::getAccessDescriptor(const StASMOperand* op, uint32_t access, StAccessDescriptor& desc)
{
    desc = StAccessDescriptor();
    StAddressRecord rec;
    bool relative;
    if (!getTISAddress(op, access, relative, rec)) return false;
    if (rec.kind != ST_TIS_PLAIN && rec.kind != ST_TIS_SYSVAR) return false;
    const uint32_t low = rec.address & ST_OFFSET_MASK;
    if (low > 0xFFFFu) return false;
    uint32_t count = rec.size;
    if (!m_accOpt[1]) {
        const StSyBaseTypeNode* node = m_types->findNode(op->getTID());
        if (rec.machMode != MC_OBJECT)
            count = 1;
        else if (node && node->kind() == ST_NODE_ARRAY)
            count = node->elementCount();
    }
    if (count == 0 || count > 0xFFFFu) return false;
    desc.deviceWord = m_accOpt[0] ? m_idHigh : m_deviceWord;
    desc.dataCode = uint8_t(rec.machMode == MC_OBJECT ? 0 : McConvert::getDataCodeOfMode(rec.machMode));
    desc.segment = uint8_t(rec.address >> 24);
    desc.address = uint16_t(low);
    desc.elementCount = uint16_t(count);
    desc.recordKind = rec.kind;
    return true;
}

// --- operands ---

void StSymbTable::typeOperand(StASMOperand& op, StTypeID tid) const
{
    op.setTID(tid);
    op.setMachMode(getMachMode(tid));
}

int StSymbTable::createOperand(StSymbEntryID sid, StASMOperand*& operand, bool asParameter)
{
    operand = nullptr;
    if (inError()) return 1;
    StSyBaseSymbEntry* e = entryOf(sid);
    if (!e) return 2;
    if (m_usageMarking) registerSymbol(e);
    const uint32_t kind = e->getKind();
    const StTypeID tid = getEntryTypeID(e);
    StASMOperand* made = nullptr;
    bool typed = false;
    switch (kind) {
    case ST_KIND_CONST: {
        const StConstEntryID cid = e->getInitCID();
        if (cid.isInvalid()) return 2;
        made = new StASMConstOperand(new StConstantElem(cid, ST_INVALID_SID), tid, getMachMode(tid));
        made->setConstSID(sid);
        typed = true;
        break;
    }
    case ST_KIND_TYPESPEC:
    case ST_KIND_FUNC:
    case ST_KIND_FUNCBLOCK:
    case ST_KIND_PROGRAM:
    case ST_KIND_DEVICE:
    case ST_KIND_UNIT:
    case ST_KIND_NAMESPACE:
        made = new StASMVirtualOperand(sid, e->getName() ? *e->getName() : String());
        break;
    case ST_KIND_VAR: {
        const bool reference = e->getAccessMode() == ST_ACCESS_READWRITE;
        if (asParameter)
            made = reference ? new StASMFuncParamRefOperand(sid, tid, ST_MACHMODE_NONE, 0)
                             : new StASMFuncParamOperand(sid, tid, ST_MACHMODE_NONE, 0);
        else
            made = reference ? static_cast<StASMOperand*>(new StASMUserRefOperand(sid, tid, ST_MACHMODE_NONE, 0))
                             : new StASMUserOperand(sid, tid, ST_MACHMODE_NONE, 0, 0, ST_INVALID_SID);
        break;
    }
    case ST_KIND_GLOBVAR:
    case ST_KIND_INTERFACEVAR:
        made = new StASMUserOperand(sid, tid, ST_MACHMODE_NONE, 0, 1, e->getUnitSID());
        break;
    case ST_KIND_SYSVAR:
        made = new StASMSysVarOperand(e->getSysVarTOTypeRef());
        made->setSysVar(sid, tid, getMachMode(tid), 0);
        break;
    case ST_KIND_TASK: made = new StASMExtInterfOperand(sid); break;
    case ST_KIND_TEMP: made = new StASMTempOperand(sid, tid, ST_MACHMODE_NONE, 0); break;
    case ST_KIND_TO:
        made = new StASMSysVarOperand(sid);
        typeOperand(*made, ST_ANYOBJECT);
        typed = true;
        break;
    case ST_KIND_DIRECTVAR:
        made = new StASMDirectOperand(sid, tid, getMachMode(tid), uint32_t(e->getStorageAddress()));
        break;
    default: return 2;
    }
    if (asParameter && kind != ST_KIND_VAR) {
        delete made;
        return 1;
    }
    if (!typed) typeOperand(*made, tid);
    made->setSecondSID(e->getTypeRefSID());
    e->setExtra(e->getExtra() | kEntryReferenced);
    operand = made;
    return 0;
}

int StSymbTable::createOperandByName(const String& name, StRangeID& vr, StRangeID& nr, StASMOperand*& operand,
                                     bool exactScope, bool asParameter)
{
    operand = nullptr;
    if (inError()) return 1;
    StSyBaseSymbEntry* e = nullptr;
    const StSymbEntryID sid =
        exactScope ? findSymbol(name, vr, nr, 0, &e) : findSymbolEntry(name, vr, nr, 0, &e);
    if (sid.isInvalid()) return 2;
    const int r = createOperand(sid, operand, asParameter);
    if (r != 0) return r;
    const StSyBaseSymbEntry* ref = entryOf(e->getTypeRefSID());
    memberScopeOf(ref ? ref : e, vr, nr);
    return 0;
}

int StSymbTable::selectMember(const String& name, StRangeID& vr, StRangeID& nr, StASMOperand*& operand, bool inside,
                              bool asParameter)
{
    if (!operand) return 1;
    if (inError()) return refuse(operand, 1);
    StASMOperand* op = operand;
    const uint32_t opKind = op->getKind();
    StSyBaseSymbEntry* sym = entryOf(op->getSID());
    const uint32_t symKind = sym ? uint32_t(sym->getKind()) : 0u;

    // A member of a name space, or a global variable of a program seen
    // from inside: a new operand from the member scope.
    const bool nameSpace = opKind == ST_OP_VIRTUAL && symKind == ST_KIND_NAMESPACE;
    if (nameSpace || (opKind == ST_OP_VIRTUAL && symKind == ST_KIND_PROGRAM && inside)) {
        StRangeID mvr, mnr;
        memberScopeOf(sym, mvr, mnr);
        StSyBaseSymbEntry* m = nullptr;
        if (!nameSpace && (findSymbol(name, mvr, mnr, 0, &m).isInvalid() || m->getKind() != ST_KIND_GLOBVAR))
            return refuse(operand, 2);
        StASMOperand* member = nullptr;
        const int r = createOperandByName(name, mvr, mnr, member, true, nameSpace && asParameter);
        if (r != 0) return refuse(operand, r);
        member->setSource(op->getSrcOrd(), op->getLine());
        replaceOperand(operand, member);
        vr = mvr;
        nr = mnr;
        return 0;
    }

    // A system variable below a device, a task or a technology object.
    StSyBaseSymbEntry* scope = entryOf(op->getToID());
    const bool interfaceWithout = opKind == ST_OP_EXTINTERF && !sym;
    const bool toOperand = opKind == ST_OP_SYSVAR && (op->getTID() == ST_ANYOBJECT || op->getTID() == ST_INVALID_TID);
    if (interfaceWithout || toOperand) {
        StRangeID svr = ST_INVALID_VR, snr = ST_INVALID_NR;
        if (scope && scope->getKind() == ST_KIND_TO)
            getTOFrame(scope->getID(), svr, snr);
        else
            memberScopeOf(scope, svr, snr);
        StSyBaseSymbEntry* m = nullptr;
        if (findSymbol(name, svr, snr, ST_KIND_SYSVAR, &m).isInvalid()) return refuse(operand, 2);
        if (m_usageMarking) registerSymbol(m);
        const StTypeID tid = getEntryTypeID(m);
        StASMOperand* member = op;
        if (toOperand) {
            member = new StASMSysVarOperand(op->getToID());
            member->setSource(op->getSrcOrd(), op->getLine());
        }
        member->setSysVar(m->getID(), tid, getMachMode(tid), 0);
        member->setSecondSID(m->getTypeRefSID());
        replaceOperand(operand, member);
        memberScopeOf(entryOf(m->getTypeRefSID()), vr, nr);
        return 0;
    }

    const bool userLike = opKind == ST_OP_USER || opKind == ST_OP_USERREF || opKind == ST_OP_FUNCPARAM ||
                          opKind == ST_OP_FUNCPARAMREF || ((opKind == ST_OP_EXTINTERF || opKind == ST_OP_SYSVAR) && sym);
    const StTypeID ownerTid = op->getTID();
    const StSyBaseTypeNode* node = findTypeNode(ownerTid);
    if (!userLike || !node) return refuse(operand, 2);
    StSyBaseSymbEntry* m = nullptr;
    if (node->kind() == ST_NODE_FUNC) {
        if (findSymbol(name, vr, nr, ST_KIND_VAR, &m).isInvalid()) return refuse(operand, 2);
        const int32_t access = m->getAccessMode();
        if (!inside && access != ST_ACCESS_WRITEONLY && !(asParameter && access == ST_ACCESS_READONLY))
            return refuse(operand, 3);
        if ((asParameter || (access == ST_ACCESS_READWRITE && inside)) && opKind == ST_OP_USER) {
            auto* user = static_cast<StASMUserOperand*>(op);
            if (access == ST_ACCESS_READONLY) user->setFlagBit1();
            if (access == ST_ACCESS_WRITEONLY) user->setFlagBit2();
            if (access == ST_ACCESS_READWRITE) user->setFlagBit4();
        }
        op->addFixOff(memberOffset(m, ownerTid, false));
    } else if (node->kind() == ST_NODE_STRUCT) {
        if (findSymbol(name, vr, nr, ST_KIND_TYPESPEC, &m).isInvalid()) return refuse(operand, 2);
        const bool bits = isBitAddressedSysVar(op);
        const int32_t offset = memberOffset(m, ownerTid, bits);
        if (bits && offset == 0) return refuse(operand, 1);
        op->addFixOff(offset);
    } else {
        return refuse(operand, 2);
    }
    if (m_usageMarking) registerSymbol(m);
    typeOperand(*op, getEntryTypeID(m));
    op->setSecondSID(m->getTypeRefSID());
    memberScopeOf(entryOf(m->getTypeRefSID()), vr, nr);
    return 0;
}

int StSymbTable::selectElement(StASMOperand* op, int32_t& indexBase, StRangeID& vr, StRangeID& nr)
{
    indexBase = 0;
    if (!op || inError()) return 2;
    const uint32_t kind = op->getKind();
    if (kind != ST_OP_USER && kind != ST_OP_USERREF && kind != ST_OP_EXTINTERF && kind != ST_OP_SYSVAR) return 2;
    const StTypeID tid = op->getTID();
    const StTypeID element = m_types->getElementType(tid);
    if (element == tid || tid == ST_STRING_TID || isStringType(tid)) return 2;
    int32_t lower, upper;
    if (!getArrayBounds(tid, lower, upper)) return 2;
    // The flat item layout of a bit-addressed system variable counts the
    // array itself as one item before its elements.
    if (isBitAddressedSysVar(op)) op->addFixOff(1);
    indexBase = -lower;
    op->setArray(true, tid);
    typeOperand(*op, element);
    vr = ST_INVALID_VR;
    nr = ST_INVALID_NR;
    if (const StSyBaseSymbEntry* d = declarationOf(op->getSecondSID(), element)) {
        op->setSecondSID(d->getID());
        if (d->getKind() == ST_KIND_FUNCBLOCK || d->getKind() == ST_KIND_PROGRAM || d->getKind() == ST_KIND_TYPESPEC)
            memberScopeOf(d, vr, nr);
    }
    return 0;
}

bool StSymbTable::createTOOperand(StSymbEntryID sid, StRangeID& frameVR, StRangeID& frameNR, StASMOperand*& operand)
{
    operand = nullptr;
    const StSyBaseSymbEntry* e = entryOf(sid);
    if (!e || e->getKind() != ST_KIND_TO) return false;
    getTOFrame(sid, frameVR, frameNR);
    operand = new StASMSysVarOperand(sid);
    typeOperand(*operand, ST_ANYOBJECT);
    return true;
}

// --- access tests ---

bool StSymbTable::isSysVarOperand(const StASMOperand* op) const
{
    if (!op || inError()) return false;
    const int sc = op->getScopeClass();
    return (sc == 4 || (sc == 3 && (m_tableMode == 2 || m_tableMode == 3))) && isSysVarLike(op->getSID());
}

bool StSymbTable::isOperandReadable(const StASMOperand* op) const
{
    if (!op || inError()) return false;
    const StSyBaseSymbEntry* sym = entryOf(op->getSID());
    switch (op->getKind()) {
    case ST_OP_DIRECT: return sym ? sym->isReadable() : true;
    case ST_OP_USER:
    case ST_OP_SYSVAR:
    case ST_OP_EXTINTERF:
    case ST_OP_USERREF:
        return sym && (sym->isReadable() || (sym->getKind() == ST_KIND_PROGRAM && sym->getProgramFlag()) ||
                       (sym->getKind() == ST_KIND_SYSVAR && m_tableMode != 0));
    case ST_OP_SYMBOLIC:
    case ST_OP_CONST:
    case ST_OP_TEMP: return true;
    case ST_OP_BITACCESS:
    case ST_OP_STRINGACCESS: return isOperandReadable(static_cast<const StASMPairOperand*>(op)->first());
    default: return false;
    }
}

bool StSymbTable::checkOperandWritable(const StASMOperand* op)
{
    if (!op || inError()) return false;
    StSyBaseSymbEntry* sym = entryOf(op->getSID());
    switch (op->getKind()) {
    case ST_OP_TEMP: return true;
    case ST_OP_DIRECT: return sym ? sym->isWritable() : true;
    case ST_OP_USER:
    case ST_OP_SYSVAR:
    case ST_OP_EXTINTERF:
    case ST_OP_USERREF: {
        if (!sym || !sym->isWritable()) return false;
        sym->setExtra(sym->getExtra() | kEntryWritten);
        if (op->getKind() != ST_OP_USER || StASMUserOperand::isFlagBit1Only(static_cast<const StASMUserOperand*>(op)))
            return true;
        // A function-block instance (or an array of them) is not assigned.
        const StSyBaseTypeNode* node = findTypeNode(m_types->getElementType(op->getTID()));
        return !node || node->kind() != ST_NODE_FUNC;
    }
    case ST_OP_SYMBOLIC: return (static_cast<const StASMSymbolicOperand*>(op)->getFurther() & 1u) != 0;
    case ST_OP_BITACCESS:
    case ST_OP_STRINGACCESS: return checkOperandWritable(static_cast<const StASMPairOperand*>(op)->first());
    default: return false;
    }
}

bool StSymbTable::isAccessible(const StSyBaseSymbEntry* entry) const
{
    if (!entry || inError()) return false;
    if (m_policy) return m_policy->isAccessible(entry);
    return entry->getKind() != ST_KIND_GLOBVAR || entry->getVisibility() == ST_VIS_EXPORT;
}
