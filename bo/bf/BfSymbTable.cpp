// Queries of the boot-function symbol table.
#include "bo/bf/BfSymbTable.h"

#include "base/st/stsymtab/StSyEntryTable.h"

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

const StSyBaseSymbEntry* CBfSymbTable::nextEntry(const StSyBaseSymbEntry* e) const
{
    return e->getID() >= 0xFFFFFFFEu ? nullptr : entries()->findEntryFrom(e->getID() + 1);
}

bool CBfSymbTable::consider(const StSyBaseSymbEntry* e, const String& name, StRangeID vr, StRangeID nr,
                            const StSyBaseSymbEntry*& best) const
{
    if (!e || !e->getName() || String::compare(*e->getName(), name) != 0 || !isVisibleFrom(e, vr, nr)) return false;
    if (e->getVR() == vr && e->getNR() == nr) {
        best = e;
        return true;
    }
    if (!best || closerOf(e, best, vr, nr) == 1) best = e;
    return false;
}

StSymbEntryID CBfSymbTable::findSymbol(const String& name, StRangeID vr, StRangeID nr) const
{
    if (hasError() || !entries()) return ST_INVALID_SID;
    const StSyBaseSymbEntry* best = nullptr;
    uint32_t scanFrom = 0;
    if (m_indexed) {
        auto it = m_nameIndex.find(name.c_str());
        if (it != m_nameIndex.end())
            for (StSymbEntryID sid : it->second)
                if (consider(findEntry(sid), name, vr, nr, best)) return best->getID();
        scanFrom = m_indexedUpTo;
    }
    for (const StSyBaseSymbEntry* e = entries()->findEntryFrom(scanFrom); e; e = nextEntry(e))
        if (consider(e, name, vr, nr, best)) return best->getID();
    return best ? best->getID() : ST_INVALID_SID;
}

void CBfSymbTable::buildNameIndex()
{
    m_nameIndex.clear();
    m_indexed = false;
    m_indexedUpTo = 0;
    if (hasError() || !entries()) return;
    for (const StSyBaseSymbEntry* e = entries()->findEntryFrom(0); e; e = nextEntry(e)) {
        if (e->getName()) m_nameIndex[e->getName()->c_str()].push_back(e->getID());
        m_indexedUpTo = e->getID() + 1;
    }
    m_indexed = true;
}

uint32_t CBfSymbTable::setElemType(StSymbEntryID sid, int32_t code)
{
    StSyBaseSymbEntry* e = hasError() ? nullptr : findEntry(sid);
    if (!e || code < 0 || code >= 30) return 2;
    e->setTypeID(StTypeID(code));
    return 0;
}

StTypeID makeElemTypeID(int32_t code)
{
    return code >= 30 && code < 40 ? StTypeID(code) : ST_INVALID_TID;
}
