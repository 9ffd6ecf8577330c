// Queries of the boot-function symbol table.
#include "bo/bf/BfSymbTable.h"

StConstEntryID CBfSymbTable::getInitValID(StSymbEntryID sid) const
{
    return hasError() ? ST_INVALID_CID : getEntryCID(sid);
}

bool CBfSymbTable::isInScope(StSymbEntryID sid, StRangeID vr, StRangeID nr) const
{
    const StSyBaseSymbEntry* e = hasError() ? nullptr : findEntry(sid);
    return e && e->getVR() == vr && e->getNR() == nr;
}

uint32_t CBfSymbTable::getSymbolSize(StSymbEntryID sid) const
{
    if (hasError() || !findEntry(sid)) return NO_OFFSET;
    StTypeID tid = getTypeID(sid);
    if (tid == ST_INVALID_TID || !findTypeNode(tid)) return NO_OFFSET;
    int32_t size = getTypeSize(tid, false);
    return size < 0 ? NO_OFFSET : uint32_t(size);
}

uint32_t CBfSymbTable::getOffset(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = hasError() ? nullptr : findEntry(sid);
    if (!e) return NO_OFFSET;
    int32_t offset = e->getStorageAddress();
    return offset < 0 ? NO_OFFSET : uint32_t(offset);
}

uint32_t CBfSymbTable::assignOffsets(const std::vector<StSymbEntryID>& sids, uint32_t start)
{
    uint64_t running = start;
    for (StSymbEntryID sid : sids) {
        StSyBaseSymbEntry* e = hasError() ? nullptr : findEntry(sid);
        uint32_t size = getSymbolSize(sid);
        if (!e || size == NO_OFFSET || running >= NO_OFFSET) return NO_OFFSET;
        e->setStorageAddress(int32_t(running));
        running += size;
    }
    return running >= NO_OFFSET ? NO_OFFSET : uint32_t(running);
}
