// Queries of the compile-side symbol table over symbols and types: what a
// type contains, type texts, the POUs of a parent, option bytes, marks.
#include "bo/cp/CpSymbTable.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/stmcspec.h"

namespace {

constexpr uint8_t kReferencedBit = 0x08;
constexpr uint32_t kFrameFinished = 0x01;

bool isPOUKind(uint32_t k) { return k == ST_KIND_FUNC || k == ST_KIND_FUNCBLOCK || k == ST_KIND_PROGRAM; }

// Calls f on each sub-type of a node (array element, members); stops early
// when f answers true, and answers that.
template <class F>
bool anySubType(const StSyBaseTypeNode* node, F f)
{
    if (node->kind() == ST_NODE_ARRAY) return f(node->elementType());
    if (node->kind() == ST_NODE_STRUCT || node->kind() == ST_NODE_FUNC)
        for (StTypeID m : node->post())
            if (f(m)) return true;
    return false;
}

} // namespace

bool CpSymbTable::typeContains(StTypeID tid, bool anyObject, bool memAdr, bool string) const
{
    if (!types()) return false;
    struct Walk {
        const CpSymbTable& t;
        bool anyObject, memAdr, string;
        bool operator()(StTypeID id, int depth) const
        {
            if (depth > MAX_TYPE_DEPTH) return false;
            if (id < 30) return (anyObject && id == ST_ANYOBJECT) || (memAdr && id == ST_MEMADR);
            if (t.isStringType(id)) return string;
            const StSyBaseTypeNode* n = t.types()->findNode(id);
            return n && anySubType(n, [&](StTypeID sub) { return (*this)(sub, depth + 1); });
        }
    };
    return Walk{*this, anyObject, memAdr, string}(tid, 0);
}

bool CpSymbTable::typeHasPlainData(StTypeID tid) const
{
    if (!types()) return false;
    struct Walk {
        const CpSymbTable& t;
        bool operator()(StTypeID id, int depth) const
        {
            if (depth > MAX_TYPE_DEPTH) return false;
            if (id < 30) return id != ST_MEMADR;
            const StSyBaseTypeNode* n = t.types()->findNode(id);
            if (!n) return false;
            if (n->kind() == ST_NODE_STRUCT && !n->post().empty()) return true;
            return anySubType(n, [&](StTypeID sub) { return (*this)(sub, depth + 1); });
        }
    };
    return Walk{*this}(tid, 0);
}

String CpSymbTable::getTypeText(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (status() != CP_OK || !e || !e->getName()) return String();
    String text = *e->getName();
    int32_t lower = 0, upper = 0;
    if (text != String("$$") || !getArrayBounds(e->getTypeID(), lower, upper)) return text;
    const StTypeID elem = getElementType(e->getTypeID());
    const uint32_t count = types()->getElementCount(e->getTypeID());
    char buf[64];
    std::snprintf(buf, sizeof buf, "ARRAY[%d..%d] OF ", int(lower), int(int32_t(count) - 1 + lower));
    String out(buf);
    const char* keyword = elem < 30 ? stTypeIdName(elem) : nullptr;
    out += keyword ? String(keyword) : getTypeNameOfTID(elem);
    return out;
}

void CpSymbTable::collectPOUs(StSymbEntryID parent, StSymbEntryIDVect& list, StSymbEntryIDVect* globals)
{
    if (status() != CP_OK) return;
    for (const auto& [sid, e] : entries()->entries()) {
        const uint32_t k = e->getKind();
        const bool parentMatches = parent.isInvalid() || e->getUnitSID() == parent;
        if ((k == ST_KIND_TASK || isPOUKind(k)) && parentMatches) {
            const StFrameProperties* f = e->getFrameProperties();
            if (f && (f->flags & kFrameFinished) == 0) list.push_back(sid);
        } else if (globals && k == ST_KIND_GLOBVAR && parentMatches && e->getVisibility() == 2 &&
                   (e->getMarkByte() & kReferencedBit) == 0) {
            globals->push_back(sid);
            e->setMarkByte(uint8_t(e->getMarkByte() | kReferencedBit));
        }
    }
}

bool CpSymbTable::setOptionFlag(StSymbEntryID sid, uint8_t flag)
{
    if (status() != CP_OK) return false;
    StSyBaseSymbEntry* e = findEntry(sid);
    if (!e || (e->getKind() != ST_KIND_UNIT && e->getKind() != ST_KIND_PACKAGETYPE)) return false;
    const uint8_t byte = e->getUnitIndex();
    if (e->getKind() == ST_KIND_UNIT && byte != 0 && byte < 0xE0) return byte == flag;
    for (const auto& [id, member] : entries()->entries()) {
        const uint32_t k = member->getKind();
        if ((isPOUKind(k) || k == ST_KIND_GLOBVAR) && member->getUnitSID() == sid)
            member->setVisibility(member->getVisibility(), flag);
    }
    e->setVisibility(e->getVisibility(), flag);
    return true;
}

bool CpSymbTable::markSymbol(StSymbEntryID sid, bool add)
{
    if (status() != CP_OK || !findEntry(sid)) return false;
    SymbolList& marked = markedSymbols();
    if (add) {
        marked.push_back(sid);
        return true;
    }
    auto it = std::find(marked.begin(), marked.end(), sid);
    if (it == marked.end()) return false;
    marked.erase(it);
    return true;
}

void CpSymbTable::getOwnerFunctionBlock(StSymbEntryID& out, StSymbEntryID sid) const
{
    out = ST_INVALID_SID;
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (e && getEntryKind(e->getTypeRefSID()) == ST_KIND_FUNCBLOCK) out = e->getTypeRefSID();
}

void CpSymbTable::getParentSID(StSymbEntryID& out, StSymbEntryID sid) const
{
    out = ST_INVALID_SID;
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (e) out = e->getUnitSID();
}

void CpSymbTable::getEnumBound(StSymbEntryID& out, StTypeID tid, bool last) const
{
    out = ST_INVALID_SID;
    const StSyBaseTypeNode* n = status() == CP_OK ? findTypeNode(tid) : nullptr;
    const StSymbEntryIDList* list = n && n->kind() == ST_NODE_ENUM ? n->enumList() : nullptr;
    if (list && !list->empty()) out = last ? list->back() : list->front();
}

bool CpSymbTable::defineConstantValue(StSymbEntryID sid, const String& literal, uint32_t attribute)
{
    StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e || e->getKind() != ST_KIND_CONST || !constants()) return false;
    int st = 0;
    StConstantVal* v = new StStdConstantVal(literal, ST_DINT, 10, st);
    if ((st != 0 && st != 2) || v->convertTo(getEnumBaseType()) != 0) {
        delete v;
        return false;
    }
    const StConstEntryID cid = constants()->addConstantVal(v);
    delete v;  // refused, or an equal shared value stands for it
    if (cid.isInvalid()) return false;
    if (getImplicitConstType() == ST_INVALID_TID) {
        std::unique_ptr<StSymbEntryIDList> none(new StSymbEntryIDList());
        setImplicitConstType(types()->createEnumType(none, getEnumBaseType()));
        if (getImplicitConstType() == ST_INVALID_TID) return false;
    }
    if (e->isMarked())
        if (StSyBaseTypeNode* n = types()->findNode(getImplicitConstType())) n->mark();
    e->setInitCID(cid);
    e->setTypeID(getImplicitConstType());
    m_attributes.set(sid.get(), attribute);
    return true;
}

bool CpSymbTable::updatePOUFrame(StSymbEntryID sid, uint32_t kind, uint32_t first, uint32_t attribute)
{
    StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e || !isPOUKind(kind) || e->getKind() != kind) return false;
    StFrameProperties* f = e->getFrameProperties();
    if (!f || (f->flags & 0x3) != 0) return false;
    f->membVRange = first;
    m_attributes.set(sid.get(), attribute);
    return true;
}

bool CpSymbTable::hasSizedType(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    return e && isPOUKind(e->getKind()) && types()->getSize(e->getTypeID()) != 0;
}

uint32_t CpSymbTable::getElementCount(StTypeID tid) const
{
    return status() == CP_OK ? types()->getElementCount(tid) : 0;
}

void CpSymbTable::getTypeOfName(StTypeID& tid, const String& name, StRangeID vr, StRangeID nr,
                                StSymbEntryID& sid) const
{
    tid = ST_INVALID_TID;
    sid = ST_INVALID_SID;
    if (status() != CP_OK) return;
    const StSymbEntryID found = findSymbol(name, vr, nr);
    if (found.isInvalid()) return;
    tid = getTypeID(found);
    if (tid != ST_INVALID_TID && tid > 29) sid = found;
}

bool CpSymbTable::countParameters(StSymbEntryID pou, uint32_t& inputs, uint32_t& inOuts, uint32_t& results) const
{
    inputs = inOuts = results = 0;
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(pou) : nullptr;
    if (!e || (e->getKind() != ST_KIND_FUNCBLOCK && e->getKind() != ST_KIND_FUNC)) return false;
    const StFrameProperties* f = e->getFrameProperties();
    if (!f) return false;
    for (const auto& [sid, m] : entries()->entries()) {
        if (m->getVR() != f->membVRange || m->getNR() != f->membNRange) continue;
        switch (m->getAccessMode()) {
        case 2: ++inputs; break;
        case 4: ++inOuts; break;
        case 3:
            if (m->getTypeID() != ST_VOID) ++results;
            break;
        default: break;
        }
    }
    return true;
}

void CpSymbTable::collectInitialisedVariables(StSymbEntryID sid, StSymbEntryIDVect& list) const
{
    StRangeID vr = ST_INVALID_RANGE, nr = ST_INVALID_RANGE;
    if (getSymbolScope(sid, vr, nr) != CP_OK) return;
    const uint32_t k = getEntryKind(sid);
    const bool instance = k == ST_KIND_PROGRAM || k == ST_KIND_FUNCBLOCK;
    for (const auto& [id, m] : entries()->entries()) {
        if (m->getVR() != vr || m->getNR() != nr || m->getInitCID().isInvalid()) continue;
        if (m->getKind() == ST_KIND_VAR) {
            const int32_t cls = m->getAccessMode();
            if (cls != 2 && (!instance || cls == 5)) list.push_back(id);
        } else if (m->getKind() == ST_KIND_GLOBVAR && !m->getSecondFlag()) {
            list.push_back(id);
        }
    }
}

bool CpSymbTable::ensureSubrangeInitValue(StSymbEntryID sid)
{
    StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    const StSyBaseTypeNode* n = e ? findTypeNode(e->getTypeID()) : nullptr;
    if (!n || n->kind() != ST_NODE_SUBRANGE) return false;
    StConstEntryID cid = e->getInitCID();
    if (cid.isInvalid()) {
        int st = 0;
        StConstantElem zero(new StStdConstantVal(String("0"), ST_DINT, 10, st));
        const int r = addConstantElem(zero, e->getTypeID());
        if (r != CP_OK && r != CP_WARNING) return false;
        cid = zero.getCID();
    }
    if (cid.isInvalid()) return false;
    // The element service has checked the value against the subrange; the
    // table's value binding would refuse it (a DINT value is not of the
    // subrange's type id), so the entry takes the id directly.
    e->setInitCID(cid);
    return true;
}

bool CpSymbTable::ensureDefaultValue(StSymbEntryID sid)
{
    StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e) return false;
    const StTypeID tid = e->getTypeID();
    const int32_t option = e->getVisibility();
    if (tid == ST_INVALID_TID || e->getInitCID().isValid() || e->isFirstFlagTaskVar() ||
        types()->getSize(tid) == 0 || option == 2 || option == 4)
        return true;
    StConstantVal* v = createInitValue(tid);
    if (!v) return false;
    StConstantElem elem(v);
    const int r = addConstantElem(elem, tid);
    if ((r != CP_OK && r != CP_WARNING) || elem.getCID().isInvalid()) return false;
    e->setInitCID(elem.getCID());
    return true;
}

int CpSymbTable::copyScopeMembers(StSymbEntryID source, StRangeID vr, StRangeID nr, StSymbEntryIDVect& conflicts)
{
    StRangeID svr = ST_INVALID_RANGE, snr = ST_INVALID_RANGE;
    if (getSymbolScope(source, svr, snr) != CP_OK) return CP_UNUSABLE;
    std::vector<StSyBaseSymbEntry*> members;
    for (const auto& [id, m] : entries()->entries())
        if (m->getVR() == svr && m->getNR() == snr && m->getName()) members.push_back(m);
    int result = CP_OK;
    for (StSyBaseSymbEntry* m : members) {
        if (findSymbol(*m->getName(), vr, nr).isValid()) {
            conflicts.push_back(m->getID());
            result = CP_REFUSED;
            continue;
        }
        StSymbEntryID sid;
        StSyBaseSymbEntry* copy = addEntry(m->getName(), vr, nr, m->getKind(), sid, -1, true, false);
        if (!copy) return CP_UNUSABLE;
        copy->setTypeID(m->getTypeID());
        copy->setInitCID(m->getInitCID());
        registerIfTracking(copy);
    }
    return result;
}

bool CpSymbTable::getOwners(StSymbEntryID sid, StSymbEntryIDVect& owners) const
{
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e) return false;
    const StSyBaseTypeNode* n = findTypeNode(e->getTypeID());
    if (e->getKind() == ST_KIND_TYPESPEC && n && n->kind() == ST_NODE_STRUCT &&
        e->getSubNameRange() != ST_INVALID_RANGE) {
        StSymbEntryIDVect members;
        getStructMembers(sid, members);
        for (StSymbEntryID m : members) {
            const StSyBaseSymbEntry* me = findEntry(m);
            if (me && me->getTypeRefSID().isValid()) owners.push_back(me->getTypeRefSID());
        }
        return true;
    }
    if (owners.empty() && e->getTypeRefSID().isValid() && e->getTypeRefSID() != sid) {
        owners.push_back(e->getTypeRefSID());
        return true;
    }
    return false;
}

namespace {
// The entry when the table is usable, else null.
template <class Table>
auto usableEntry(Table& t, StSymbEntryID sid) -> decltype(t.findEntry(sid))
{
    return t.status() == CpSymbTable::CP_OK ? t.findEntry(sid) : nullptr;
}
} // namespace

StRangeID CpSymbTable::getScopeVR(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    return e ? e->getVR() : ST_INVALID_RANGE;
}

StRangeID CpSymbTable::getScopeNR(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    return e ? e->getNR() : ST_INVALID_RANGE;
}

int CpSymbTable::getFrameIds(StSymbEntryID sid, StRangeID& first, StRangeID& second) const
{
    first = second = ST_INVALID_RANGE;
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    const StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
    if (!f || f->membVRange == ST_INVALID_RANGE || f->membNRange == ST_INVALID_RANGE) return CP_REFUSED;
    first = f->membVRange;
    second = f->membNRange;
    return CP_OK;
}

int CpSymbTable::setFrameIds(StSymbEntryID sid, StRangeID first, StRangeID second)
{
    StSyBaseSymbEntry* e = usableEntry(*this, sid);
    StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
    if (!f || first == ST_INVALID_RANGE || second == ST_INVALID_RANGE) return CP_REFUSED;
    f->membVRange = first;
    f->membNRange = second;
    return CP_OK;
}

bool CpSymbTable::markFrameFinished(StSymbEntryID sid, int32_t address)
{
    StSyBaseSymbEntry* e = usableEntry(*this, sid);
    StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
    if (!f || (e->getKind() != ST_KIND_TASK && !isPOUKind(e->getKind()))) return false;
    f->flags |= kFrameFinished;
    e->setStorageAddress(address);
    return true;
}

bool CpSymbTable::getOptionPair(StSymbEntryID sid, int32_t& value, uint8_t& byte) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    if (!e) return false;
    value = e->getVisibility();
    byte = e->getUnitIndex();
    return true;
}

bool CpSymbTable::hasOptionValue2(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    return e && e->getVisibility() == 2;
}

bool CpSymbTable::resetOptionValue(StSymbEntryID sid)
{
    StSyBaseSymbEntry* e = usableEntry(*this, sid);
    if (!e) return false;
    const uint32_t k = e->getKind();
    if (k != ST_KIND_GLOBVAR && k != ST_KIND_CONST && k != ST_KIND_DIRECTVAR) return false;
    e->setVisibility(0, e->getUnitIndex());
    return true;
}

bool CpSymbTable::getValueAndByAddress(StSymbEntryID sid, int32_t& value, bool& byAddress) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    if (!e) return false;
    value = e->getVisibility();
    byAddress = e->isFirstFlagTaskVar();
    return true;
}

bool CpSymbTable::hasStringOrPackedValue(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    const StConstantVal* v = e && constants() ? getConstant(e->getInitCID()) : nullptr;
    return v && (v->getKind() == ST_CONST_STRING || v->getKind() == ST_CONST_PCKINIT);
}

StSyBaseTypeNode* CpSymbTable::getElementaryTypeNode(uint32_t id) const
{
    if (status() != CP_OK || !types()) return nullptr;
    return types()->findNode(id < 30 ? StTypeID(id) : ST_INVALID_TID);
}

StConstantVal* CpSymbTable::getConstantValue(StConstEntryID cid) const
{
    return status() == CP_OK && constants() ? getConstant(cid) : nullptr;
}

int CpSymbTable::copyFrameRecord(StSymbEntryID from, StSymbEntryID to)
{
    const StSyBaseSymbEntry* a = usableEntry(*this, from);
    StSyBaseSymbEntry* b = usableEntry(*this, to);
    const StFrameProperties* fa = a ? a->getFrameProperties() : nullptr;
    StFrameProperties* fb = b ? b->getFrameProperties() : nullptr;
    if (!fa || !fb) return CP_REFUSED;
    *fb = *fa;
    return CP_OK;
}

bool CpSymbTable::getTaskRecordOf(StSymbEntryID sid, StTaskRecord& record) const
{
    const StSyBaseSymbEntry* e = usableEntry(*this, sid);
    if (!e || e->getKind() != ST_KIND_TASK) return false;
    record = e->getTaskRecord();
    return true;
}
