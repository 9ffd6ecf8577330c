// The frame symbol table (see BoFrameSymbTable.h).
#include "bo/boframe/BoFrameSymbTable.h"

#include <memory>

#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "boframe";
const char kModify[] = "CBOFrameSymbTable::modifyArraySize";

}  // namespace

CBOFrameSymbTable::CBOFrameSymbTable(SyStSymbTable* other, uint32_t word)
    : StSymbTable(other ? other->strings() : nullptr, other ? other->entries() : nullptr,
                  other ? other->constants() : nullptr, other ? other->vrTable() : nullptr,
                  other ? other->nrTable() : nullptr, other ? other->types() : nullptr,
                  other ? other->getGlobalVR() : 0, other ? other->getGlobalNR() : 0),
      SyStSymbTable(word, false), m_lender(other), m_borrowed(other ? presentTables(*other) : 0)
{
    if (!other) return;
    copyModeAndIdPair(*other);
    if (auto* frame = dynamic_cast<CBOFrameSymbTable*>(other)) m_arrayFlag = frame->m_arrayFlag;
}

CBOFrameSymbTable::~CBOFrameSymbTable() { detachTables(m_borrowed); }

bool CBOFrameSymbTable::modifyArraySize(uint32_t address, int32_t newCount)
{
    if (newCount < 1) {
        TV_TRACE(4, kTraceFile, kModify, "count %d for ADR(0x%08X) refused", newCount, address);
        return false;
    }
    const bool done =
        m_arrayFlag ? resizeArrayVar(ST_KIND_SYSVAR, address, newCount) : SyStSymbTable::modifyArraySize(address, newCount);
    if (!done) TV_TRACE(4, kTraceFile, kModify, "no array variable to resize at ADR(0x%08X)", address);
    return done;
}

StTypeID boSysVarTypeAt(SyStSymbTable* table, uint32_t adr, bool& noOperand)
{
    StTypeID tid = ST_INVALID_TID;
    uint32_t offset = 0;
    StSyBaseSymbEntry* e = table ? table->coveringSysVar(adr, tid, offset) : nullptr;
    noOperand = !e;
    if (!e) return ST_INVALID_TID;
    if (offset == 0 && e->getID() != ST_INVALID_SID) {
        const StTypeID own = table->getTypeID(e->getID());
        if (own != ST_INVALID_TID) tid = own;
    }
    return tid;
}
