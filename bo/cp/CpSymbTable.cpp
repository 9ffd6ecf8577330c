// Compile-side symbol table (see CpSymbTable.h).
#include "bo/cp/CpSymbTable.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"

namespace {

constexpr uint8_t kDeclFlagBit = 0x10;
constexpr StTypeID kMemAdrTID = 17;  // @MEMADR, the type of by-reference members

}  // namespace

CpSymbTable::CpSymbTable(StRangeID vr, StRangeID nr)
    : StSymbTable(nullptr, nullptr, new CpConstValTable(0), nullptr, nullptr, nullptr, vr, nr), m_vr(vr)
{
    m_constTable = dynamic_cast<CpConstValTable*>(constants());
    init();
}

CpSymbTable::CpSymbTable(StRangeID vr, StRangeID nr, CpConstValTable* constants)
    : StSymbTable(nullptr, nullptr, constants, nullptr, nullptr, nullptr, vr, nr), m_vr(vr),
      m_constTable(constants)
{
    init();
}

CpSymbTable::CpSymbTable(StSymbTable& other)
    : StSymbTable(other.strings(), other.entries(), other.constants(), other.vrTable(), other.nrTable(),
                  other.types(), other.getGlobalVR(), other.getGlobalNR()),
      m_vr(other.getGlobalVR()), m_borrowed(presentTables(other))
{
    init();
}

void CpSymbTable::init() { m_freeTemps = new TempList(); }

CpSymbTable::~CpSymbTable()
{
    delete m_freeTemps;
    detachTables(m_borrowed);
}

uint32_t CpSymbTable::getAttribute(StSymbEntryID sid) const
{
    return m_attributes.get(sid.get());
}

StSyBaseSymbEntry* CpSymbTable::findByIdPair(uint32_t a, uint32_t b) const
{
    auto it = m_idPairs.find({a, b});
    return it == m_idPairs.end() ? nullptr : findEntry(it->second);
}

StSyBaseSymbEntry* CpSymbTable::addDeclEntry(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                             uint32_t kind, uint32_t attribute, bool takeName, bool unique)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK) return nullptr;
    // The table copies the name only when it is new to it: a copy made here
    // would be freed again for every name it holds already. Owned or lent,
    // the table keeps the same text.
    (void)takeName;
    StSyBaseSymbEntry* e = addEntry(const_cast<String*>(&name), vr, nr, kind, sid, -1, unique, false);
    if (e) m_attributes.set(sid.get(), attribute);
    return e;
}

void CpSymbTable::setTypeEntryData(StSyBaseSymbEntry* entry, StSymbEntryID parent, uint32_t attribute,
                                   bool clearOptions)
{
    if (clearOptions) entry->setVisibility(0, 0);
    entry->setUnitSID(parent);
    m_attributes.set(entry->getID().get(), attribute);
}

void CpSymbTable::registerIfTracking(StSyBaseSymbEntry* entry)
{
    if (getUsageMarking()) registerSymbol(entry, false, false);
}

void CpSymbTable::declareSymbol(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                uint32_t varClass, uint32_t attribute, bool takeName, bool unique)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_VAR, attribute, takeName, unique);
    if (!e) return;
    e->setAccessMode(int32_t(varClass));
    if (varClass == 4 || varClass == 2) e->setMarkByte(uint8_t(e->getMarkByte() | kDeclFlagBit));
    if (varClass == 4) e->setFirstFlag(1);
}

void CpSymbTable::declareConstant(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                  int32_t value, uint32_t attribute, bool takeName, bool unique)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK || !constants()) return;
    // A DINT literal of the value, converted to the enumeration base type.
    StConstantVal* v = new StStdConstantVal(value, false);
    if (v->convertTo(getEnumBaseType()) != 0) {
        delete v;
        return;
    }
    const StConstEntryID cid = constants()->addConstantVal(v);
    delete v;  // refused, or an equal shared value stands for it
    if (cid.isInvalid()) return;
    if (StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_CONST, attribute, takeName, unique))
        e->setInitCID(cid);
}

bool CpSymbTable::copyEnumerators(const StSymbEntryIDList& from, StRangeID vr, StRangeID ns,
                                  StSymbEntryIDList& to)
{
    for (uint32_t old : from) {
        StSyBaseSymbEntry* src = findEntry(old);
        if (!src || !src->getName()) return false;
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = addEntry(src->getName(), vr, ns, ST_KIND_CONST, sid, -1, false, false);
        if (!e) return false;
        e->setInitCID(src->getInitCID());
        m_attributes.set(sid.get(), getAttribute(old));
        to.push_back(sid);
    }
    return true;
}

void CpSymbTable::declareEnumType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                  StSymbEntryIDList*& list, StSymbEntryID& parent, uint32_t attribute,
                                  bool clearOptions, bool ownScope, bool takeName, bool unique)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK || !list || !types()) return;
    StRangeID enumNR = nr;
    std::unique_ptr<StSymbEntryIDList> copies;
    if (ownScope) {
        const StRangeID ns = openNameSpace(nr);
        if (ns == ST_INVALID_NR) return;
        copies.reset(new StSymbEntryIDList());
        const bool copied = copyEnumerators(*list, vr, ns, *copies);
        closeNameSpace(ns, true);
        if (!copied) return;  // the copies made stay, as after any failed declaration
        enumNR = ns;
    }
    // The enumerators the type node gets: the copies, else the caller's.
    const StSymbEntryIDList& given = *list;
    const StSymbEntryIDList& enumerators = ownScope ? *copies : given;
    const StSymbEntryID first = enumerators.empty() ? ST_INVALID_SID : StSymbEntryID(enumerators.front());

    StSymbEntryID typeSID;
    StSyBaseSymbEntry* typeEntry = addDeclEntry(typeSID, name, vr, nr, ST_KIND_TYPESPEC, attribute, takeName, unique);
    if (!typeEntry) return;
    std::unique_ptr<StSymbEntryIDList> nodeList(new StSymbEntryIDList(enumerators));
    const StTypeID tid = types()->createEnumType(nodeList, getEnumBaseType());
    if (tid == ST_INVALID_TID) return;  // the caller keeps its list
    setTypeEntryData(typeEntry, parent, attribute, clearOptions);
    typeEntry->setTypeID(tid);
    typeEntry->setSubNameRange(enumNR);

    for (uint32_t old : given) {
        StSyBaseSymbEntry* e = findEntry(old);
        if (!e) return;
        if (!ownScope || e->getTypeID() == ST_INVALID_TID) e->setTypeID(tid);
        if (!ownScope) registerIfTracking(e);
    }
    if (ownScope)
        for (uint32_t s : *copies) {
            StSyBaseSymbEntry* e = findEntry(s);
            if (!e) return;
            e->setTypeID(tid);
            e->setTypeRefSID(typeSID);
            registerIfTracking(e);
        }
    // The type node holds the enumerators now: the caller's list is used up.
    delete list;
    list = nullptr;
    if (first.isValid() && setTypeInitValue(typeSID, first) != 0) return;
    sid = typeSID;
}

void CpSymbTable::declareStructType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                    const StSymbEntryIDList* members, StRangeID nameSpace, StSymbEntryID& parent,
                                    uint32_t attribute, uint32_t alignment, bool clearOptions, bool takeName,
                                    bool unique)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK || !types()) return;
    StSymbEntryID typeSID;
    StSyBaseSymbEntry* typeEntry = addDeclEntry(typeSID, name, vr, nr, ST_KIND_TYPESPEC, attribute, takeName, unique);
    if (!typeEntry) return;
    setTypeEntryData(typeEntry, parent, attribute, clearOptions);

    std::vector<std::pair<StSyBaseSymbEntry*, StSyBaseTypeNode*>> parts;
    StTypeIDList memberTypes;
    uint32_t align = alignment;
    int64_t offset = 0;
    if (members) {
        parts.reserve(members->size());
        memberTypes.reserve(members->size());
        for (uint32_t m : *members) {
            StSyBaseSymbEntry* e = findEntry(m);
            if (!e) return;
            StSyBaseTypeNode* node = findTypeNode(e->isFirstFlagTaskVar() ? kMemAdrTID : e->getTypeID());
            if (!node) return;
            if (node->alignment() > align) {
                if (alignment != 0) return;
                align = node->alignment();
            }
            parts.emplace_back(e, node);
        }
        for (size_t i = 0; i < parts.size(); ++i) {
            StSyBaseSymbEntry* e = parts[i].first;
            const StSyBaseTypeNode* node = parts[i].second;
            if (!e->hasAddress()) {
                const int64_t next = i + 1 < parts.size() ? parts[i + 1].second->alignment() : 1;
                const int64_t step = next > 1 ? next : 1;
                if (offset > INT32_MAX) return;
                e->setStorageAddress(int32_t(offset));
                offset = (offset + node->size() + step - 1) / step * step;
                if (offset > INT32_MAX) return;
            }
            memberTypes.push_back(node->getTID());
            registerIfTracking(e);
        }
    }
    const StTypeID tid = types()->createStructType(memberTypes, align, int32_t(offset));
    if (tid == ST_INVALID_TID) return;
    typeEntry->setTypeID(tid);
    typeEntry->setSubNameRange(nameSpace);
    if (!m_noDefaultValues && !structDefault(typeEntry, tid, parts)) return;
    sid = typeSID;
}

bool CpSymbTable::structDefault(StSyBaseSymbEntry* typeEntry, StTypeID tid,
                                const std::vector<std::pair<StSyBaseSymbEntry*, StSyBaseTypeNode*>>& members)
{
    bool any = false;
    for (const auto& m : members) any = any || m.first->getInitCID().isValid();
    if (!any) return true;
    if (!constants()) return false;
    auto values = std::make_unique<StConstValVector>();
    values->reserve(members.size());
    bool ok = true;
    for (const auto& [e, node] : members) {
        StConstantVal* v = nullptr;
        if (e->getInitCID().isInvalid()) {
            v = createInitValueForNode(node, node->getTID());
        } else if (const StConstantVal* c = getConstantVal(e->getInitCID())) {
            v = c->clone();
        }
        if (!v) ok = false;
        values->push_back(v);
    }
    StConstValVector* raw = values.release();
    StConstantElem elem(new StStructConstantVal(tid, raw));
    if (!ok) return false;
    const int r = addConstantElem(elem, tid);
    if ((r != 0 && r != 4) || elem.getCID().isInvalid()) return false;
    typeEntry->setInitCID(elem.getCID());
    return true;
}

int CpSymbTable::setTypeInitValue(StSymbEntryID typeSID, StSymbEntryID constSID)
{
    if (status() != CP_OK) return CP_UNUSABLE;
    StSyBaseSymbEntry* type = findEntry(typeSID);
    StSyBaseSymbEntry* cons = findEntry(constSID);
    if (!type || !cons) return CP_REFUSED;
    const StSyBaseTypeNode* node = findTypeNode(type->getTypeID());
    if (node && node->kind() == ST_NODE_ENUM && node->enumList() && !node->enumList()->empty() &&
        cons->getTypeRefSID().isInvalid() && cons->getName()) {
        // Not an enumerator: the name as seen from the enumerators' scope.
        if (const StSyBaseSymbEntry* firstEnum = findEntry(node->enumList()->front())) {
            StSyBaseSymbEntry* found = nullptr;
            findSymbolEntry(*cons->getName(), firstEnum->getVR(), firstEnum->getNR(), 0, &found);
            if (found) cons = found;
        }
    }
    if (type->getKind() != ST_KIND_TYPESPEC || cons->getKind() != ST_KIND_CONST || !types() ||
        !types()->isEnumValueOf(type->getTypeID(), cons->getID()))
        return CP_REFUSED;
    const StConstantVal* v = getConstantVal(cons->getInitCID());
    int32_t n = 0;
    if (!v || !v->getLong(n)) return CP_REFUSED;
    if (n != 0) type->setInitCID(cons->getInitCID());
    return CP_OK;
}

void CpSymbTable::buildInitValue(StConstEntryID& cid, StTypeID tid, StConstantElemPtrList*& list, int& status)
{
    cid = ST_INVALID_CID;
    status = CP_OK;
    if (this->status() != CP_OK || !constants() || !types()) {
        status = CP_UNUSABLE;
        return;
    }
    const bool isString = isStringType(tid);
    const StTypeID elemTid = isString ? tid : getElementType(tid);
    const uint32_t count = isString ? 1 : types()->getElementCount(tid);
    if (!list || list->empty() || elemTid == ST_INVALID_TID || !findTypeNode(elemTid)) {
        status = CP_COUNT;
        return;
    }
    if (list->size() == 1) {
        StConstantElem* e = list->front();
        if (e->getSyID().isValid()) {
            const StTypeID symTid = getTypeID(e->getSyID());
            if (symTid == tid || (isString && isStringType(symTid))) {
                const StConstEntryID c = getEntryCID(e->getSyID());
                e->clearSyID();
                e->setCID(c, true);
                cid = c;
                if (c.isInvalid()) status = CP_COUNT;
                return;
            }
        }
        if (!e->getValue() && isEnumType(tid) && e->getSyID().isInvalid()) {
            const StConstantVal* v = getConstantVal(e->getCID());
            if (v && v->getTypeId() == getEnumBaseType()) {
                cid = e->getCID();
                return;
            }
        }
        if (e->getValue() && e->getValue()->getTypeRef() == tid) {
            StConstantVal* v = e->releaseValue();
            const StConstEntryID c = constants()->addConstantVal(v);
            delete v;
            if (c.isInvalid()) status = CP_UNUSABLE;
            cid = c;
            return;
        }
    }
    if ((count < 2 && elemTid == tid) || isString) {
        StConstantElem* e = list->front();
        if (list->size() != 1 || e->getCount() != 1) {
            status = CP_COUNT;
            return;
        }
        status = addConstantElem(*e, tid);
        if (status == CP_OK || status == CP_WARNING) {
            cid = e->getCID();
        } else if (status != CP_UNUSABLE) {
            status = CP_REFUSED;
        }
        return;
    }
    status = arrayInitValue(cid, tid, elemTid, count, *list);
}

// The elements go into the array's value as they were written, not typed
// to the element type: an untyped literal stays ANYINT or ANYREAL with its
// own sign word in every element type (BOOL, SINT, UDINT, REAL, LREAL
// alike), and "bfsymb" writes it so. The element check has accepted it for
// the type; the telegram converts it when it writes the array.
int CpSymbTable::arrayInitValue(StConstEntryID& cid, StTypeID tid, StTypeID elemTid, uint32_t count,
                                StConstantElemPtrList& list)
{
    // The total is checked before any copy is made: a huge repeat count
    // answers at once instead of exhausting memory.
    uint64_t total = 0;
    for (const StConstantElem* e : list) {
        total += e->getCount() > 0 ? uint64_t(e->getCount()) : 0;
        if (total > count) return CP_COUNT;
    }
    if (total != count) return CP_COUNT;
    const bool packed = getCompactArrayDefaults();
    const uint32_t esize =
        uint32_t(types()->getAlignedSize(elemTid, 0, types()->getAlignment(elemTid), false));
    auto values = std::make_unique<StConstValVector>();
    auto release = [&values] {
        for (StConstantVal* v : *values) delete v;
    };
    bool warned = false;
    for (StConstantElem* e : list) {
        const uint32_t n = uint32_t(e->getCount() > 0 ? e->getCount() : 0);
        e->setCount(1);
        const int r = checkConstantElem(*e, elemTid, true);
        if (r == CP_UNUSABLE) return release(), CP_UNUSABLE;
        if (r == CP_WARNING) warned = true;
        else if (r != CP_OK) return release(), CP_REFUSED;
        StConstantVal* v = e->releaseValue();
        if (!v) {
            StConstEntryID c = e->getCID();
            if (e->getSyID().isValid()) c = getEntryCID(e->getSyID());
            if (const StConstantVal* src = getConstantVal(c)) v = src->clone();
        }
        if (!v) return release(), CP_UNUSABLE;
        if (packed) {
            values->push_back(StStdConstantVal::makeArrayConstantVal(v, n, esize));
        } else {
            for (uint32_t i = 1; i < n; ++i) values->push_back(v->clone());
            values->push_back(v);
        }
    }
    StConstValVector* raw = values.release();
    StConstantVal* value = new StStructConstantVal(tid, raw);
    const StConstEntryID c = constants()->addConstantVal(value);
    delete value;
    if (c.isInvalid()) return CP_UNUSABLE;
    cid = c;
    return warned ? CP_WARNING : CP_OK;
}

void CpSymbTable::getTypeByName(StTypeID& tid, const String& name, StRangeID vr, StRangeID nr,
                                StSymbEntryID& sid, bool acceptFB, bool searchVisible) const
{
    tid = ST_INVALID_TID;
    sid = ST_INVALID_SID;
    if (status() != CP_OK) return;
    StSyBaseSymbEntry* e = nullptr;
    if (searchVisible)
        findSymbolEntry(name, vr, nr, 0, &e);
    else
        findSymbol(name, vr, nr, 0, &e);
    if (!e || !(e->getKind() == ST_KIND_TYPESPEC || (acceptFB && e->getKind() == ST_KIND_FUNCBLOCK))) return;
    tid = e->getTypeID();
    sid = e->getID();
}

int CpSymbTable::compareConstants(StConstEntryID a, StConstEntryID b) const
{
    if (status() != CP_OK || !constants()) return CP_REFUSED;
    return constants()->compareValues(a, b);
}

void CpSymbTable::getValueID(StConstEntryID& cid, StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entries() ? entries()->findEntry(sid) : nullptr;
    cid = e ? e->getInitCID() : ST_INVALID_CID;
}
