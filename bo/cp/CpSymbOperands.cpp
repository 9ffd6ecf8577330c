// Constants and operands built by the compile-side symbol table: size
// constants, constant operands, temporaries and the size check of
// initialisers (taken in 64 bits so that no product wraps below a limit).
#include "bo/cp/CpSymbTable.h"

#include <algorithm>
#include <memory>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpTypeRules.h"

namespace {

constexpr int64_t kMaxInitBytes = 0xFFFFFF;
constexpr int64_t kMaxRepeatedBytes = 0x1000000;

// The type an initialiser value counts with.
StTypeID initElementType(const StConstantVal* v)
{
    if (v->getTypeRef() != ST_INVALID_TID) return v->getTypeRef();
    switch (const uint32_t code = v->getTypeId()) {
    case ST_POS_SINT: return ST_SINT;
    case ST_POS_INT: return ST_INT;
    case ST_POS_DINT: return ST_DINT;
    case ST_ANYREAL: return ST_REAL;
    default: return code < 30 ? code : StTypeID(ST_DINT);
    }
}

} // namespace

bool CpSymbTable::releaseTemporary(StSyBaseSymbEntry* entry, bool flag)
{
    TempList* temps = freeTemporaries();
    if (!temps || !entry) return false;
    if (std::find(temps->begin(), temps->end(), entry->getID()) != temps->end()) return flag;
    temps->push_back(entry->getID());
    return false;
}

StSyBaseSymbEntry* CpSymbTable::takeTemporary(StTypeID tid)
{
    TempList* temps = freeTemporaries();
    if (!temps) return nullptr;
    for (auto it = temps->begin(); it != temps->end(); ++it) {
        StSyBaseSymbEntry* e = findEntry(*it);
        if (e && e->getTypeID() == tid) {
            temps->erase(it);
            return e;
        }
    }
    return nullptr;
}

bool CpSymbTable::checkInitSize(const StConstantElemPtrList* list, uint32_t repeat) const
{
    if (!list) return true;
    if (repeat >= 0x1000000u || status() != CP_OK) return false;
    int64_t sum = 0;
    for (const StConstantElem* e : *list) {
        const StConstantVal* v = e->getValue() ? e->getValue() : getConstant(e->getCID());
        if (!v) continue;
        sum += int64_t(std::max<int32_t>(e->getCount(), 0)) * std::max<int32_t>(types()->getSize(initElementType(v)), 0);
        if (sum > kMaxInitBytes) return false;
    }
    return int64_t(repeat) * sum <= kMaxRepeatedBytes;
}

void CpSymbTable::makeSizeConstant(StConstEntryID& cid, StTypeID tid, bool aligned)
{
    cid = ST_INVALID_CID;
    if (status() != CP_OK || !constants() || !findTypeNode(tid)) return;
    int64_t size = types()->getSize(tid);
    const int64_t align = std::max<int64_t>(1, types()->getAlignment(tid));
    if (aligned) size = (size + align - 1) / align * align;
    StConstantVal* v = new StStdConstantVal(int32_t(size), false);
    cid = constants()->addConstantVal(v);
    delete v;  // refused, or an equal shared value stands for it
}

StASMConstOperand* CpSymbTable::makeConstOperand(StConstEntryID cid)
{
    const StConstantVal* v = status() == CP_OK ? getConstant(cid) : nullptr;
    if (!v) return nullptr;
    const StTypeID tid = v->getTypeRef() != ST_INVALID_TID ? v->getTypeRef() : std::min<StTypeID>(v->getTypeId(), 30);
    return new StASMConstOperand(new StConstantElem(cid, ST_INVALID_SID), tid, getMachMode(tid));
}

StASMConstOperand* CpSymbTable::makeIntConstOperand(int32_t value)
{
    if (status() != CP_OK || !constants()) return nullptr;
    StConstantVal* v = new StStdConstantVal(value, false);
    const StConstEntryID cid = constants()->addConstantVal(v);
    delete v;
    return cid.isValid() ? makeConstOperand(cid) : nullptr;
}

StASMTempOperand* CpSymbTable::makeTempOperand(StTypeID tid, uint32_t count)
{
    if (status() != CP_OK || !findTypeNode(tid) || count == 0 || count > 0x7FFFFFFFu) return nullptr;
    if (count > 1) {
        const StTypeID elem = isStringType(tid) ? StTypeID(ST_SPEC_STRING) : tid;
        StTypeID found = ST_INVALID_TID;
        for (const auto& [id, node] : types()->nodes()) {
            int32_t lower = 0, upper = 0;
            if (node->kind() == ST_NODE_ARRAY && node->specCode() != ST_SPEC_STRING && node->elementType() == elem &&
                getArrayBounds(id, lower, upper) && lower == 0 && uint32_t(upper) == count - 1) {
                found = id;
                break;
            }
        }
        tid = found != ST_INVALID_TID ? found : types()->createArrayType(elem, 0, int32_t(count - 1));
        if (tid == ST_INVALID_TID) return nullptr;
    }
    StSyBaseSymbEntry* e = takeTemporary(tid);
    if (!e) {
        StSymbEntryID sid;
        e = addEntry(static_cast<String*>(nullptr), getVR(), ST_INVALID_NR, ST_KIND_TEMP, sid);
        if (!e) return nullptr;
        e->setTypeID(tid);
    }
    return new StASMTempOperand(e->getID(), tid, getMachMode(tid), 0);
}

bool CpSymbTable::replaceByUserOperand(StASMOperand*& op)
{
    if (status() != CP_OK || !op || !op->getConstElem()) return false;
    const StSymbEntryID sid = op->getConstElem()->getSyID();
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return false;
    const StTypeID tid = e->getTypeID();
    auto* user = new StASMUserOperand(sid, tid, getMachMode(tid), 0, 0, e->getTypeRefSID());
    user->setSource(op->getSrcOrd(), op->getLine());
    user->setFlagBit5();
    delete op;
    op = user;
    return true;
}

StASMUserOperand* CpSymbTable::makeFrameBaseOperand(StSymbEntryID pou)
{
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(pou) : nullptr;
    const StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
    if (!f || (f->flags & 0x10000) == 0) return nullptr;
    const int32_t align = std::max<int32_t>(1, int32_t(types()->getAlignment(ST_MEMADR)));
    const int32_t offset = (16 + align - 1) / align * align;
    auto* op = new StASMUserRefOperand(pou, ST_MEMADR, getMachMode(ST_MEMADR), offset);
    return op;
}

const StConstantVal* CpSymbTable::getConstOperandValue(const StASMOperand* op) const
{
    const StConstantElem* elem = op && status() == CP_OK ? op->getConstElem() : nullptr;
    if (!elem) return nullptr;
    return elem->getValue() ? elem->getValue() : getConstant(elem->getCID());
}

int32_t CpSymbTable::getStringOperandLength(const StASMOperand* op) const
{
    int32_t length = 0;
    return status() == CP_OK && getStringLength(op, length) ? length : -1;
}

bool CpSymbTable::bindConstOperand(StASMOperand* op, StTypeID tid, bool keepSymbol)
{
    if (status() != CP_OK || !op || tid == ST_INVALID_TID) return false;
    StConstantElem* elem = op->getConstElem();
    if (!elem) return false;
    bool ok = false;
    if (op->getTID() == ST_INVALID_TID) {
        const int st = addConstantElem(*elem, tid);
        ok = st == CP_OK || st == CP_WARNING;
    } else if (op->getTID() == tid && tid != getImplicitConstType()) {
        ok = true;
    } else if (isEnumType(tid)) {
        const StSyBaseTypeNode* node = findTypeNode(tid);
        const StSyBaseSymbEntry* sym = findEntry(elem->getSyID());
        if (sym && node->enumHoldsSID(sym->getID()) && sym->getTypeRefSID().isValid()) {
            ok = true;
        } else if (sym && sym->getName() && node->enumList() && !node->enumList()->empty()) {
            // Not an enumerator by owner: look the name up in the enumeration's own scope.
            const StSyBaseSymbEntry* first = findEntry(node->enumList()->front());
            const StSymbEntryID found =
                first ? findSymbolEntry(*sym->getName(), first->getVR(), first->getNR()) : ST_INVALID_SID;
            const StSyBaseSymbEntry* en = findEntry(found);
            if (en && en->getKind() == ST_KIND_CONST && isEnumType(en->getTypeID())) {
                elem->setCID(en->getInitCID(), true);
                if (keepSymbol) elem->setSyID(found);
                ok = true;
            }
        }
    } else {
        const uint32_t source = op->getTID() < 30 ? op->getTID() : 30u;
        ok = canConvertElementary(tid < 30 ? tid : 30u, source);
    }
    if (!ok) return false;
    op->setTID(tid);
    op->setMachMode(getMachMode(tid));
    if (!keepSymbol) elem->clearSyID();
    return true;
}

int CpSymbTable::makeVarOperands(StSymbEntryID sid, StASMUserOperand*& user, StASMConstOperand*& constant)
{
    user = nullptr;
    constant = nullptr;
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e || (e->getKind() != ST_KIND_VAR && e->getKind() != ST_KIND_GLOBVAR) || e->getInitCID().isInvalid())
        return CP_REFUSED;
    constant = makeConstOperand(e->getInitCID());
    const StTypeID tid = e->getTypeID();
    user = new StASMUserOperand(sid, tid, getMachMode(tid), 0, e->getKind() == ST_KIND_GLOBVAR ? 1 : 0,
                                e->getUnitSID());
    return constant ? CP_OK : CP_UNUSABLE;
}

StASMConstOperand* CpSymbTable::makeLiteralOperand(const String& literal, uint32_t typeId)
{
    if (status() != CP_OK || !constants()) return nullptr;
    int st = 0;
    // A real text is read untyped first: below the normal range it reads
    // with the range status, which does not convert, where the typed reading
    // would give a 0 of the type. Loss in the typing itself (0.1 as REAL)
    // converts.
    const bool real = typeId == ST_REAL || typeId == ST_LREAL;
    StConstantVal* v = new StStdConstantVal(literal, real ? uint32_t(ST_ANYREAL) : typeId, 10, st);
    if (real && st == 0) st = v->setType(typeId, false);
    if ((st != 0 && st != 2) || v->convertTo(typeId) != 0) {
        delete v;
        return nullptr;
    }
    const StConstEntryID cid = constants()->addConstantVal(v);
    delete v;
    return cid.isValid() ? makeConstOperand(cid) : nullptr;
}

StASMFuncParamOperand* CpSymbTable::makeInstanceOperand(StSymbEntryID sid)
{
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e || (e->getKind() != ST_KIND_FUNCBLOCK && e->getKind() != ST_KIND_PROGRAM)) return nullptr;
    const StFrameProperties* f = e->getFrameProperties();
    const StTypeID tid = e->getTypeID();
    if (f && (f->flags & 0x10000) != 0) return new StASMFuncParamRefOperand(sid, tid, getMachMode(tid), 0);
    return new StASMFuncParamOperand(sid, tid, getMachMode(tid), 0);
}

CpfuncArgList* CpSymbTable::makeOutputArgList(StSymbEntryID pou, StSymbEntryID frameId)
{
    StRangeID vr = ST_INVALID_RANGE, nr = ST_INVALID_RANGE;
    const uint32_t kind = getEntryKind(pou);
    if ((kind != ST_KIND_FUNCBLOCK && kind != ST_KIND_FUNC) || getSymbolScope(pou, vr, nr) != CP_OK) return nullptr;
    auto list = std::make_unique<CpfuncArgList>();
    for (const auto& [id, m] : entries()->entries()) {
        const int32_t cls = m->getAccessMode();
        if (m->getVR() != vr || m->getNR() != nr || (cls != 2 && cls != 4)) continue;
        const StTypeID tid = m->getTypeID();
        StASMFuncParamOperand* op = m->isFirstFlagTaskVar()
                                        ? new StASMFuncParamRefOperand(id, tid, getMachMode(tid), 0)
                                        : new StASMFuncParamOperand(id, tid, getMachMode(tid), 0);
        StSymbEntryID curr = frameId, call = ST_INVALID_SID;
        op->frameIds(curr, call);
        list->add(op, m->getTypeRefSID());
    }
    return list.release();
}

StASMFuncParamOperand* CpSymbTable::makeCallOperand(StSymbEntryID pou, StSymbEntryID frameId,
                                                    const StASMOperand* caller, CpfuncArgList* inputs,
                                                    CpfuncArgList* outputs)
{
    StASMFuncParamOperand* op = makeInstanceOperand(pou);
    if (!op) return nullptr;
    StSymbEntryID curr = frameId, call = ST_INVALID_SID;
    op->frameIds(curr, call);
    const StFrameProperties* f = findEntry(pou)->getFrameProperties();
    if (!caller || !f || (f->flags & 0x10000) == 0) return op;
    for (CpfuncArgList* list : {inputs, outputs}) {
        if (!list) continue;
        for (CpfuncArg& arg : *list) {
            StASMOperand* a = arg.operand.get();
            if (!a || (a->getKind() != ST_OP_FUNCPARAM && a->getKind() != ST_OP_FUNCPARAMREF)) continue;
            StSymbEntryID argFrame = ST_INVALID_SID, argCall = ST_INVALID_SID;
            a->frameIds(argFrame, argCall);
            const StSyBaseSymbEntry* member = findEntry(a->getSID());
            if (argFrame != frameId || !member || !member->hasAddress()) continue;
            StASMOperand* copy = caller->clone();
            copy->setSource(a->getSrcOrd(), a->getLine());
            copy->addFixOff(int32_t(uint32_t(member->getStorageAddress()) & ST_OFFSET_MASK));
            arg.operand.reset(copy);
        }
    }
    return op;
}
