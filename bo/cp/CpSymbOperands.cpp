// Constants and operands built by the compile-side symbol table: size
// constants, constant operands, temporaries and the size check of
// initialisers (taken in 64 bits so that no product wraps below a limit).
#include "bo/cp/CpSymbTable.h"

#include <algorithm>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"

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
