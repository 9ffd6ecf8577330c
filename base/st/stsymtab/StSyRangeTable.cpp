// Range tables.
#include "base/st/stsymtab/StSyRangeTable.h"

#include <ostream>

#include "base/st/stsymtab/StSerial.h"

StSyRangeTable::StSyRangeTable(StRangeID root) : m_typeByte(uint8_t(root >> 24)), m_last(root)
{
    pushRoot();
}

void StSyRangeTable::pushRoot()
{
    StRangeRecord r;
    r.flags = 1;
    r.startSID = 0;
    m_records.push_back(r);
}

void StSyRangeTable::clear()
{
    m_last = m_first;
    m_markedOnly = m_markParents = false;
    m_records.clear();
    pushRoot();
}

StRangeID StSyRangeTable::open(StRangeID parent, StSymbEntryID startSID)
{
    StRangeRecord r;
    r.parent = parent;
    r.startSID = startSID;
    m_records.push_back(r);
    ++m_last;
    if (m_markParents) markChain(m_last);
    return m_last;
}

const StRangeRecord* StSyRangeTable::record(StRangeID id) const
{
    if (id < m_first || id > m_last) return nullptr;
    const uint32_t pos = id - m_first;
    return pos < m_records.size() ? &m_records[pos] : nullptr;
}

StRangeRecord* StSyRangeTable::record(StRangeID id)
{
    return const_cast<StRangeRecord*>(static_cast<const StSyRangeTable*>(this)->record(id));
}

StRangeID StSyRangeTable::parent(StRangeID id) const
{
    const StRangeRecord* r = record(id);
    return r ? r->parent : ST_INVALID_RANGE;
}

void StSyRangeTable::extendStart(StRangeID id, StSymbEntryID sid)
{
    StRangeRecord* r = record(id);
    if (r && (r->startSID.isInvalid() || r->startSID > sid)) r->startSID = sid;
}

void StSyRangeTable::extendEnd(StRangeID id, StSymbEntryID sid)
{
    StRangeRecord* r = record(id);
    if (r && (r->endSID.isInvalid() || r->endSID < sid)) r->endSID = sid;
}

void StSyRangeTable::markChain(StRangeID id)
{
    // Marking stops at a marked record, so a parent cycle ends too.
    for (StRangeRecord* r = record(id); r && !(r->flags & 1); r = record(r->parent)) r->flags |= 1;
}

template <class A>
void StSyRangeTable::io(A& a, uint32_t)
{
    if constexpr (!A::kReading) {
        uint32_t count = 0;
        for (const StRangeRecord& r : m_records) count += written(r) ? 1 : 0;
        a.num(count);
        for (size_t i = 0; i < m_records.size(); ++i) {
            if (!written(m_records[i])) continue;
            uint32_t id = m_first + uint32_t(i);
            a.num(id);
            a.numLine(m_records[i].parent);
        }
    } else {
        m_readFailed = false;
        uint32_t count = 0;
        a.num(count);
        if (!a.good() || count == 0) return;
        m_records.clear();
        for (uint32_t i = 0; i < count && a.good(); ++i) {
            uint32_t id = 0, parent = ST_INVALID_RANGE;
            a.num(id);
            a.numLine(parent);
            if (!a.good()) break;
            if (id < m_first || id - m_first >= MAX_RECORDS) {
                m_readFailed = true;
                break;
            }
            const uint32_t pos = id - m_first;
            if (pos >= m_records.size()) m_records.resize(pos + 1);
            m_records[pos] = StRangeRecord();
            m_records[pos].parent = parent;
        }
        if (!m_records.empty()) m_last = m_first + uint32_t(m_records.size() - 1);
        else pushRoot();  // nothing read: the table keeps its root
    }
}

ST_SERIALISERS(StSyRangeTable)

void StSyRangeTable::dump(std::ostream& os) const
{
    os << m_records.size() << "\n";
    for (size_t i = 0; i < m_records.size(); ++i) {
        const StRangeRecord& r = m_records[i];
        os << (m_first + uint32_t(i)) << " -> " << r.parent << " ( SID-Range: " << r.startSID << "-" << r.endSID
           << " )\n";
    }
}
