// Memory layout of the compile side: POU frames, global symbol lists and
// the size check of structures, all within the 24-bit address space. Sums
// are taken in 64 bits so that a huge size cannot wrap below a limit.
#include "bo/cp/CpSymbTable.h"

#include <algorithm>

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpUnitTypeWriter.h"

namespace {

constexpr uint8_t kReferencedBit = 0x08;

int64_t roundUp(int64_t v, int64_t align) { return align > 1 ? (v + align - 1) / align * align : v; }

void markReferenced(StSyBaseSymbEntry* e) { e->setMarkByte(uint8_t(e->getMarkByte() | kReferencedBit)); }
bool isReferenced(const StSyBaseSymbEntry* e) { return (e->getMarkByte() & kReferencedBit) != 0; }

} // namespace

namespace {
// The type an entry is laid out as: @MEMADR for a by-reference variable.
StTypeID layoutType(const StSyBaseSymbEntry* e) { return e->isFirstFlagTaskVar() ? StTypeID(ST_MEMADR) : e->getTypeID(); }
} // namespace

bool CpSymbTable::layoutFrame(StSymbEntryID pou, StSymbEntryIDVect& list)
{
    if (status() != CP_OK) return false;
    StSyBaseSymbEntry* owner = findEntry(pou);
    StFrameProperties* frame = owner ? owner->getFrameProperties() : nullptr;
    if (!frame) return false;
    int64_t size = frame->frameSize;
    int64_t initialised = frame->retainSize;
    for (const auto& [sid, e] : entries()->entries()) {
        if (e->getVR() != frame->membVRange || e->getNR() != frame->membNRange) continue;
        const uint32_t seg = e->segmentBits();
        if (seg == ST_SEG_FRAME && !e->hasAddress()) {
            const StTypeID tid = layoutType(e);
            const int64_t typeSize = types()->getSize(tid);
            const int64_t offset = roundUp(size, std::max<int64_t>(1, types()->getAlignment(tid)));
            size = offset + typeSize;
            if (typeSize < 0 || size > MAX_FRAME_SIZE) return false;
            e->setStorageAddress(int32_t(offset));
            if (e->getKind() != ST_KIND_TEMP && !e->isFirstFlagTaskVar() && e->getInitCID().isInvalid())
                initialised = size;
            if (!isReferenced(e)) {
                list.push_back(sid);
                markReferenced(e);
            }
        } else if ((seg == ST_SEG_VAR2 || seg == ST_SEG_FRAME) && e->hasAddress()) {
            list.push_back(sid);
        } else if (e->getKind() == ST_KIND_GLOBVAR && e->getVisibility() == 2) {
            list.push_back(sid);
            markReferenced(e);
        }
    }
    frame->frameSize = int32_t(size);
    frame->retainSize = int32_t(initialised);
    return true;
}

bool CpSymbTable::layoutSymbols(const StSymbEntryIDVect& list, uint32_t start, uint32_t& offset,
                                StSymbEntryID& sym64K, StSymbEntryID& failing)
{
    failing = ST_INVALID_SID;
    if (status() != CP_OK) return false;
    int64_t running = offset;
    for (StSymbEntryID sid : list) {
        StSyBaseSymbEntry* e = findEntry(sid);
        if (!e || e->getKind() == ST_KIND_DIRECTVAR) continue;
        if (e->hasAddress()) {
            failing = sid;
            return false;
        }
        if (e->segmentBits() != 0) continue;
        const StTypeID tid = layoutType(e);
        const int64_t place = roundUp(running, std::max<int64_t>(1, types()->getAlignment(tid)));
        const int64_t end = place + int64_t(types()->getSize(tid));
        if (end < place || end > MAX_SEGMENT_END) {
            failing = sid;
            return false;
        }
        if (sym64K.isInvalid() && end - int64_t(start) > 0xFFFF) sym64K = sid;
        e->setStorageAddress(int32_t(place));
        running = end;
        offset = uint32_t(running);
    }
    return true;
}

bool CpSymbTable::checkStructLayout(const StSymbEntryIDVect& members) const
{
    if (status() != CP_OK) return false;
    int64_t sum = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        const StSyBaseSymbEntry* e = findEntry(members[i]);
        if (!e) return false;
        uint32_t nextAlign = 1;
        if (i + 1 < members.size())
            if (const StSyBaseSymbEntry* n = findEntry(members[i + 1])) nextAlign = types()->getAlignment(layoutType(n));
        sum = roundUp(sum + types()->getSize(layoutType(e)), std::max<int64_t>(1, nextAlign));
        if (sum > MAX_SEGMENT_END) return false;
    }
    return true;
}

namespace {

struct ReferenceWalk {
    CpSymbTable& t;
    const CpSymbTable::ReferenceCollector& collect;
    const StASMUserOperand& base;

    bool walk(StTypeID tid, int64_t offset, int depth) const
    {
        if (depth > CpSymbTable::MAX_TYPE_DEPTH) return false;
        if (tid < 30 || t.isStringType(tid)) {
            if (tid == ST_ANYOBJECT || tid == ST_MEMADR || t.isStringType(tid)) emit(tid, offset);
            return true;
        }
        const StSyBaseTypeNode* n = t.findTypeNode(tid);
        if (!n) return true;
        StSyTypeTable* types = t.types();
        if (n->kind() == ST_NODE_ARRAY) {
            const StTypeID elem = n->elementType();
            const int64_t align = std::max<int64_t>(1, types->getAlignment(elem));
            const int64_t size = roundUp(types->getSize(elem), align);
            for (uint32_t i = 0; i < n->elementCount(); ++i)
                if (!walk(elem, offset + int64_t(i) * size, depth + 1)) return false;
            return true;
        }
        if (n->kind() != ST_NODE_STRUCT && n->kind() != ST_NODE_FUNC) return true;
        const StTypeIDList& members = n->post();
        int64_t at = 0;
        for (size_t i = 0; i < members.size(); ++i) {
            if (!walk(members[i], offset + at, depth + 1)) return false;
            const int64_t next = i + 1 < members.size() ? std::max<int64_t>(1, types->getAlignment(members[i + 1])) : 1;
            at = roundUp(at + types->getSize(members[i]), next);
        }
        return true;
    }

    void emit(StTypeID tid, int64_t offset) const
    {
        auto* op = new StASMUserOperand(base);
        op->setTID(tid);
        op->setMachMode(t.getMachMode(tid));
        op->setFixOff(base.getFixOff() + int32_t(offset));
        collect(op);
    }
};

bool selectedForReferences(uint32_t scopeKind, const StSyBaseSymbEntry* m)
{
    const int32_t cls = m->getAccessMode();
    if (m->getKind() == ST_KIND_VAR && cls == 5) return true;
    if (scopeKind == ST_KIND_TASK) return m->getKind() == ST_KIND_GLOBVAR && cls >= 1 && cls <= 3;
    if (scopeKind == ST_KIND_FUNC) return m->getKind() == ST_KIND_VAR && cls == 1;
    return false;
}

} // namespace

bool CpSymbTable::forEachReferenceOperand(StSymbEntryID sid, const ReferenceCollector& collect)
{
    StRangeID vr = ST_INVALID_RANGE, nr = ST_INVALID_RANGE;
    if (getSymbolScope(sid, vr, nr) != CP_OK) return false;
    const uint32_t scopeKind = getEntryKind(sid);
    for (const auto& [id, m] : entries()->entries()) {
        if (m->getVR() != vr || m->getNR() != nr || !selectedForReferences(scopeKind, m)) continue;
        if (m->getInitCID().isInvalid() && !m->hasAddress()) continue;
        const StTypeID tid = m->getTypeID();
        if (!typeContains(tid, true, true, true)) continue;
        const StASMUserOperand base(id, tid, getMachMode(tid), 0, 0, m->getTypeRefSID());
        if (!ReferenceWalk{*this, collect, base}.walk(tid, 0, 0)) return false;
    }
    return true;
}

namespace {

// The walker's records of a type and everything below it; false past the
// depth limit.
bool addTypeRecords(CpSymbTable& t, StTypeID tid, CpTypeRecordMap& records, int depth)
{
    if (depth > CpSymbTable::MAX_TYPE_DEPTH) return false;
    if (tid < 30 || records.count(tid)) return true;
    CpTypeRecord r;
    if (t.isStringType(tid)) {
        r.spec = esMakeSpecial(ST_SPEC_STRING);
        records[tid] = r;
        return true;
    }
    const StSyBaseTypeNode* n = t.findTypeNode(tid);
    if (!n) return true;
    r.spec = tid;
    StSyTypeTable* types = t.types();
    if (n->kind() == ST_NODE_ARRAY) {
        const int64_t elemSize = types->getSize(n->elementType());
        r.count = elemSize > 0 ? uint32_t(types->getSize(tid) / elemSize) : 0;  // size 0: no elements
        records[tid] = r;
        return addTypeRecords(t, n->elementType(), records, depth + 1);
    }
    if (n->kind() == ST_NODE_STRUCT || n->kind() == ST_NODE_FUNC) {
        const StTypeIDList& members = n->post();
        int64_t at = 0;
        for (size_t i = 0; i < members.size(); ++i) {
            r.members.push_back({members[i], uint32_t(at)});
            const int64_t next = i + 1 < members.size() ? std::max<int64_t>(1, types->getAlignment(members[i + 1])) : 1;
            at = roundUp(at + types->getSize(members[i]), next);
        }
    }
    records[tid] = r;
    for (const CpTypeMember& m : r.members)
        if (!addTypeRecords(t, m.tid, records, depth + 1)) return false;
    return true;
}

} // namespace

bool CpSymbTable::buildReferenceMap(StSymbEntryID pou, uint32_t segment, std::vector<ReferenceRecord>* collection,
                                    uint32_t flags)
{
    StRangeID vr = ST_INVALID_RANGE, nr = ST_INVALID_RANGE;
    if (getSymbolScope(pou, vr, nr) != CP_OK) return false;
    for (const auto& [id, e] : entries()->entries()) {
        if (e->getVR() != vr || e->getNR() != nr || e->segmentBits() != segment || !e->hasAddress() ||
            e->getFrameProperties())
            continue;
        if (StConstantVal* v = getConstant(e->getInitCID()))
            if (!v->hasAddress()) v->setStorageAddress(e->getStorageAddress());
        const StTypeID tid = layoutType(e);
        if (!collection || !typeContains(tid, true, true, true)) continue;
        CpTypeRecordMap records;
        if (!addTypeRecords(*this, tid, records, 0)) return false;
        CpTypeWalker walker;
        if (!walker.begin(records, {{tid, uint32_t(e->getStorageAddress())}}, *this)) return false;
        CpTypeWalker::Pair p;
        while (walker.next(p))
            if (p.first == ST_ANYOBJECT || p.first == ST_MEMADR || isStringType(p.first))
                collection->push_back({p.first, p.second, e->getTypeRefSID()});
    }
    return true;
}

bool CpSymbTable::finishPOUType(StSymbEntryID sid, const StSymbEntryIDVect* baseMembers, StSymbEntryIDVect& list)
{
    StSyBaseSymbEntry* pou = status() == CP_OK ? findEntry(sid) : nullptr;
    const uint32_t kind = pou ? uint32_t(pou->getKind()) : 0u;
    if (kind != ST_KIND_FUNC && kind != ST_KIND_FUNCBLOCK && kind != ST_KIND_PROGRAM) return false;
    StFrameProperties* frame = pou->getFrameProperties();
    if (!frame) return false;
    std::vector<StSyBaseSymbEntry*> params;
    if (baseMembers)
        for (StSymbEntryID m : *baseMembers) {
            StSyBaseSymbEntry* e = findEntry(m);
            if (!e) return false;
            params.push_back(e);
        }
    for (const auto& [id, e] : entries()->entries()) {
        const int32_t cls = e->getAccessMode();
        if (e->getVR() == frame->membVRange && e->getNR() == frame->membNRange && e->getKind() == ST_KIND_VAR &&
            (cls == 2 || cls == 3 || cls == 4))
            params.push_back(e);
    }
    StTypeIDList memberTypes;
    int64_t offset = 0;
    uint32_t alignment = kind == ST_KIND_FUNC ? 1 : 8;
    if (frame->flags & 0x10000) {
        memberTypes.push_back(ST_MEMADR);
        offset = types()->getSize(ST_MEMADR);
        alignment = std::max(alignment, types()->getAlignment(ST_MEMADR));
    }
    for (size_t i = 0; i < params.size(); ++i) {
        const StTypeID tid = layoutType(params[i]);
        if (!findTypeNode(tid)) return false;
        alignment = std::max(alignment, types()->getAlignment(tid));
        memberTypes.push_back(tid);
        if (params[i]->hasAddress()) continue;
        offset = roundUp(offset, std::max<int64_t>(1, types()->getAlignment(tid)));
        params[i]->setStorageAddress(int32_t(offset));
        offset += types()->getSize(tid);
        if (offset > MAX_SEGMENT_END) return false;
    }
    frame->flags |= 0x2;
    // The frame's own entries go behind the parameters.
    frame->frameSize = std::max<int32_t>(frame->frameSize, int32_t(offset));
    const StTypeID type = types()->createStructType(memberTypes, alignment, int32_t(offset));
    if (type == ST_INVALID_TID) return false;
    pou->setTypeID(type);
    for (StSyBaseSymbEntry* p : params) {
        if (!ensureDefaultValue(p->getID())) return false;
        registerIfTracking(p);
    }
    return layoutFrame(sid, list);
}
