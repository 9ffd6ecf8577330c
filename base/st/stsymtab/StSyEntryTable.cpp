// Entry table and id managers.
#include "base/st/stsymtab/StSyEntryTable.h"


#include <ostream>

#include "base/st/stsymtab/StNameChainIndex.h"
#include "base/st/stsymtab/StSerial.h"

// --- system-variable id manager ------------------------------------------

StSymbEntryID StSysVarIDMgr::newID(StSyEntryTable*)
{
    if (m_counter == ST_INVALID_SID) return ST_INVALID_SID;
    return m_counter++;
}

bool StSysVarIDMgr::reseed(StSyEntryTable* table)
{
    if (!table) return true;
    for (const auto& kv : table->entries())
        if (!isFixedID(kv.first) && kv.first >= m_counter) m_counter = kv.first;
    if (m_counter != ST_INVALID_SID) ++m_counter;
    return true;
}

// --- entry table -------------------------------------------------------------

StSyEntryTable::StSyEntryTable() = default;

StSyEntryTable::~StSyEntryTable()
{
    clear();
}

void StSyEntryTable::clear()
{
    // Entries hold nothing to free: they go with the arena.
    m_map.clear();
    m_arena.release();
    m_nextFree = 0;
    m_markedOnly = m_markNew = m_error = false;
    ++m_changes;
}

StNameChainIndex& StSyEntryTable::nameIndex() const
{
    if (!m_nameIndex) m_nameIndex = std::make_unique<StNameChainIndex>();
    return *m_nameIndex;
}

uint32_t StSyEntryTable::afterLargest() const
{
    // Keys are never the invalid SID, so this does not wrap to 0.
    return m_map.empty() ? 0 : uint32_t(m_map.rbegin()->first) + 1;
}

StSymbEntryID StSyEntryTable::newSID()
{
    if (m_mgr) return m_mgr->newID(this);
    if (m_nextFree != ST_INVALID_SID) return m_nextFree++;
    // Counter exhausted: the first id not in use.
    uint32_t candidate = 0;
    for (const auto& kv : m_map) {
        if (kv.first != candidate) break;
        ++candidate;
    }
    return candidate;  // the invalid SID when every other id is taken
}

void StSyEntryTable::freeID(StSymbEntryID sid)
{
    if (m_mgr) {
        m_mgr->freeID(sid, this);
        return;
    }
    if (uint32_t(sid) + 1 == m_nextFree) m_nextFree = afterLargest();
}

bool StSyEntryTable::setIDMgr(StSymbEntryIDMgr* mgr)
{
    if (!mgr) {
        m_mgr = nullptr;
        m_nextFree = afterLargest();
        return true;
    }
    if (!mgr->reseed(this)) return false;
    m_mgr = mgr;
    return true;
}

StSymbEntryID StSyEntryTable::newEntry(uint32_t kind, StSyBaseSymbEntry*& out, StSyBaseSymbEntry* pred,
                                       String* name, StRangeID vr, StRangeID nr, StSymbEntryID wanted)
{
    out = nullptr;
    StSymbEntryID sid;
    if (!m_mgr || wanted.isInvalid())
        sid = newSID();
    else if (m_mgr->isFixedID(wanted) && !m_map.get(wanted))
        sid = wanted;
    else
        sid = m_mgr->newID(this);
    if (sid.isInvalid()) return ST_INVALID_SID;

    StSyBaseSymbEntry* e =
        stCreateEntryIn(m_arena, kind, sid, pred ? pred->getID() : ST_INVALID_SID, ST_INVALID_SID, name, vr, nr);
    if (!e) {
        freeID(sid);
        return ST_INVALID_SID;
    }
    if (m_markNew) e->mark();
    if (!m_map.insert(sid, e)) {
        freeID(sid);
        stDisposeEntryIn(m_arena, e);
        return ST_INVALID_SID;
    }
    if (pred) pred->setNext(sid, e);
    ++m_changes;
    out = e;
    return sid;
}

StSyBaseSymbEntry* StSyEntryTable::addCopy(String* name, const StSyBaseSymbEntry* tmpl, StSyBaseSymbEntry* pred)
{
    if (!tmpl) return nullptr;
    const StSymbEntryID sid = newSID();
    if (sid.isInvalid()) return nullptr;
    StSyBaseSymbEntry* copy = tmpl->cloneIn(m_arena, sid);
    if (!copy) {
        freeID(sid);
        return nullptr;
    }
    copy->setName(name);
    copy->setInitCID(ST_INVALID_CID);
    const StSymbEntryID oldNext = pred ? pred->getNext() : ST_INVALID_SID;
    copy->setPrev(pred ? pred->getID() : ST_INVALID_SID);
    copy->setNext(oldNext, findEntry(oldNext));
    if (!m_map.insert(sid, copy)) {
        freeID(sid);
        stDisposeEntryIn(m_arena, copy);
        return nullptr;
    }
    if (StSyBaseSymbEntry* n = findEntry(oldNext)) n->setPrev(sid);
    if (pred) pred->setNext(sid, copy);
    ++m_changes;
    return copy;
}

String* StSyEntryTable::removeEntry(StSymbEntryID& sid)
{
    StSyBaseSymbEntry* e = m_map.erase(sid);
    if (!e) {
        sid = ST_INVALID_SID;
        return nullptr;
    }
    ++m_changes;
    freeID(sid);
    const StSymbEntryID prev = e->getPrev();
    const StSymbEntryID next = e->getNext();
    StSyBaseSymbEntry* nextEntry = findEntry(next);
    if (StSyBaseSymbEntry* p = findEntry(prev)) p->setNext(next, nextEntry);
    if (nextEntry) nextEntry->setPrev(prev);
    sid = prev.isInvalid() ? next : ST_INVALID_SID;
    String* name = prev.isInvalid() && next.isInvalid() ? e->getName() : nullptr;
    stDisposeEntryIn(m_arena, e);
    return name;
}

StSyBaseSymbEntry* StSyEntryTable::findEntry(StSymbEntryID sid) const
{
    return m_map.get(sid);
}

StSyBaseSymbEntry* StSyEntryTable::findEntryFrom(StSymbEntryID sid) const
{
    auto it = m_map.lower_bound(sid);
    return it == m_map.end() ? nullptr : it->second;
}

StRangeID StSyEntryTable::getSubNameRange(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    return e ? e->getSubNameRange() : ST_INVALID_RANGE;
}

StRangeID StSyEntryTable::getSubValidRange(StSymbEntryID sid, StRangeID dflt) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    return e ? e->getSubValidRange() : dflt;
}

bool StSyEntryTable::getSubRanges(StSymbEntryID sid, StRangeID& nameRange, StRangeID& validRange) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return false;
    nameRange = e->getSubNameRange();
    validRange = e->getSubValidRange();
    return true;
}

int32_t StSyEntryTable::getCodeAddress(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return 0;
    const StSyEntryKind k = e->getKind();
    return k == ST_KIND_FUNC || k == ST_KIND_FUNCBLOCK || k == ST_KIND_PROGRAM ? e->getStorageAddress() : 0;
}

bool StSyEntryTable::isTOTypeDerivedFrom(StSymbEntryID sid, StSymbEntryID base) const
{
    const StSyBaseSymbEntry* b = findEntry(base);
    if (!b || b->getKind() != ST_KIND_TOTYPE) return false;
    // A cycle of base references read from a file ends after one round.
    StSymbEntryID cur = sid;
    for (size_t step = 0; step <= m_map.size(); ++step) {
        if (cur == base) return true;
        const StSyBaseSymbEntry* e = findEntry(cur);
        if (!e) return false;
        cur = e->getBaseTOTypeSID();
    }
    return false;
}

void StSyEntryTable::relinkAll()
{
    for (auto& kv : m_map) kv.second->setNext(kv.second->getNext(), findEntry(kv.second->getNext()));
}

// --- written form ------------------------------------------------------------

template <class A>
void StSyEntryTable::writeEntries(A& a, uint32_t mode)
{
    uint32_t count = 0;
    m_map.forEachValue([&](StSyBaseSymbEntry* e) { count += writtenInMarkedMode(e) ? 1 : 0; });
    a.num(count);
    for (const auto& [sid, e] : m_map) {
        if (!writtenInMarkedMode(e)) continue;
        const uint32_t kind = e->getKind();
        const uint32_t entryMode = mode == 1 && (kind == ST_KIND_CONST || kind == ST_KIND_TYPESPEC) ? 1 : 0;
        uint32_t header = kind | entryMode << 16;
        a.num(sid);
        a.num(header);
        const StSymbEntryID next = e->getNext();
        const StSyBaseSymbEntry* nextEntry = findEntry(next);
        const bool hideNext = m_markedOnly && next.isValid() && !(nextEntry && nextEntry->isMarked());
        if (!hideNext) {
            a.part(*e, entryMode);
            continue;
        }
        // The next entry is not written: show an invalid next, and give the
        // entry its own next back at once.
        StSyBaseSymbEntry* keptEntry = e->getNextEntry();
        e->setNext(ST_INVALID_SID, nullptr);
        a.part(*e, entryMode);
        e->setNext(next, keptEntry);
    }
}

template <class A>
void StSyEntryTable::readEntries(A& a)
{
    ++m_changes;
    m_error = false;  // the outcome of this read only
    uint32_t count = 0;
    a.num(count);
    for (uint32_t i = 0; i < count && a.good(); ++i) {
        StSymbEntryID sid;
        uint32_t header = 0;
        a.num(sid);
        a.num(header);
        if (!a.good()) break;
        uint32_t kind = header & 0xFFFF;
        if (kind > ST_KIND_LAST) kind = 0;
        if (kind == 0 || sid.isInvalid() || m_map.get(sid)) {
            m_error = true;
            break;
        }
        StSyBaseSymbEntry* e = stCreateEntryIn(m_arena, kind);
        if (!e) {
            m_error = true;
            break;
        }
        a.part(*e, header >> 16);
        // The table's key is the entry's id, whatever the entry's own field said.
        e->setID(sid);
        m_map.insert(sid, e);
    }
    m_nextFree = afterLargest();
    relinkAll();
    if (m_mgr) m_mgr->reseed(this);
}

template <class A>
void StSyEntryTable::io(A& a, uint32_t mode)
{
    if constexpr (A::kReading)
        readEntries(a);
    else
        writeEntries(a, mode);
}

ST_SERIALISERS(StSyEntryTable)

void StSyEntryTable::dump(std::ostream& os) const
{
    os << ' ' << m_map.size() << "\n";
    for (const auto& kv : m_map) {
        os << kv.first << ' ';
        kv.second->dump(os);
        os << "\n";
    }
}
