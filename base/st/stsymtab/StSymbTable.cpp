// StSymbTable: life cycle, modes, creation, scopes, queries and usage marking.
#include "base/st/stsymtab/StSymbTable.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StNameChainIndex.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"

namespace {
const char kAnonymous[] = "$$";
}

// --- life cycle ---

StSymbTable::StSymbTable(StSyStringTable* strings, StSyEntryTable* entries, StSyConstValTable* constants,
                         StSyRangeTable* vrTable, StSyRangeTable* nrTable, StSyTypeTable* types, StRangeID globalVR,
                         StRangeID globalNR)
    : m_strings(strings), m_entries(entries), m_constants(constants), m_vrTable(vrTable), m_nrTable(nrTable),
      m_types(types), m_globalVR(globalVR), m_globalNR(globalNR)
{
    createMissing();
    updateStatus();
}

StSymbTable::StSymbTable(StRangeID globalVR, StRangeID globalNR)
    : StSymbTable(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, globalVR, globalNR)
{
}

void StSymbTable::createMissing()
{
    try {
        if (!m_strings) m_strings = new StSyStringTable();
        if (!m_entries) m_entries = new StSyEntryTable();
        if (!m_constants) m_constants = new StSyConstValTable();
        if (!m_vrTable) m_vrTable = new StSyRangeTable(m_globalVR);
        if (!m_nrTable) m_nrTable = new StSyRangeTable(m_globalNR);
        if (!m_types) m_types = new StSyTypeTable();
    } catch (...) {
        // a missing table leaves status 1
    }
}

void StSymbTable::updateStatus()
{
    m_status = (m_strings && m_entries && m_constants && m_vrTable && m_nrTable && m_types) ? ST_OK : ST_MISSING;
}

StSymbTable::~StSymbTable()
{
    // Entries point at the names of the string table: entries go first.
    delete m_entries;
    delete m_strings;
    delete m_constants;
    delete m_vrTable;
    delete m_nrTable;
    delete m_types;
    delete m_policy;
}

StSymbTable& StSymbTable::operator=(const StSymbTable& other)
{
    if (this == &other) return *this;
    StSymbTable& src = const_cast<StSymbTable&>(other);
    const uint32_t format = src.m_newFormat;
    src.m_newFormat = 1;
    std::stringstream text;
    src.save(text);
    load(text);
    src.m_newFormat = format;
    m_newFormat = format;
    if (src.m_policy)
        src.m_policy->cloneInto(m_policy);
    else
        setAccessPolicy(nullptr);
    return *this;
}

void StSymbTable::clear()
{
    m_addrOpt[0] = m_addrOpt[1] = m_addrOpt[2] = false;
    m_tableMode = 0;
    m_accOpt[0] = m_accOpt[1] = false;
    m_deviceWord = 0;
    m_modeWord = 0;
    m_modified = false;
    m_enumBase = ST_DINT;
    m_sortChains = 0;
    m_newFormat = 0;
    m_usageMarking = false;
    m_compactArrayDefaults = false;
    m_trailing = 0;
    m_usedInputs.clear();
    if (m_entries) {
        m_entries->setIDMgr(nullptr);
        m_entries->clear();
    }
    if (m_strings) m_strings->clear();
    if (m_constants) m_constants->clear();
    if (m_vrTable) m_vrTable->clear();
    if (m_nrTable) m_nrTable->clear();
    if (m_types) {
        m_types->clear();
        m_types->initStdTypes();
    }
    updateStatus();
}

bool StSymbTable::isEmpty() const
{
    return !m_entries || m_entries->size() == 0;
}

int32_t StSymbTable::estimateSize() const
{
    if (inError()) return 0;
    const String& version = m_newFormat ? versionNew() : versionOld();
    return int32_t(version.length() + 55 + 20 * m_strings->size() + 60 * m_types->nodes().size() +
                   80 * m_entries->size() + 100 * m_constants->values().size() + 10 * m_vrTable->size() +
                   10 * m_nrTable->size());
}

// --- modes ---

void StSymbTable::setIdPair(uint32_t pair)
{
    m_addrOpt[0] = true;
    m_addrOpt[1] = m_addrOpt[2] = false;
    m_tableMode = 0;
    m_idLow = uint16_t(pair & 0xFFFFu);
    m_idHigh = uint16_t(pair >> 16);
}

// Stores the base type and its code (1 INT, 2 UINT, 3 DINT) in bits 16-19
// of the mode word, replacing the code there. The mode word is saved with
// the table and its code chooses the base type again on loading; ORing a
// second code into the first would save another type than the one in use
// (INT then UINT would leave 3, read back as DINT).
bool StSymbTable::setEnumBaseType(uint32_t id)
{
    uint32_t code;
    switch (id) {
    case ST_INT: code = 1; break;
    case ST_DINT: code = 3; break;
    case ST_UINT: code = 2; break;
    default: return false;
    }
    m_enumBase = id;
    m_modeWord = (m_modeWord & ~0x000F0000u) | (code << 16);
    return true;
}

void StSymbTable::setSysVarIdMode(bool upperHalf, bool carry)
{
    if (upperHalf) m_modeWord = carry ? 3 : 1;
    m_modeWord |= 16;
    if (m_entries) m_entries->setIDMgr(&m_entries->sysVarIDMgr());
}

void StSymbTable::addModeFlags(uint32_t bits)
{
    if ((m_modeWord & 0xFu) || m_tableMode == 2) return;
    m_modeWord |= bits;
}

void StSymbTable::setAddressOptions(bool a, bool b, bool c)
{
    m_addrOpt[0] = a;
    m_addrOpt[1] = b;
    m_addrOpt[2] = c;
}

void StSymbTable::setAccessDescOptions(bool a, bool b)
{
    m_accOpt[0] = a;
    m_accOpt[1] = b;
}

void StSymbTable::setAccessPolicy(StAccessPolicy* policy)
{
    if (policy == m_policy) return;
    delete m_policy;
    m_policy = policy;
}

void StSymbTable::setChangeStamp(uint16_t stamp)
{
    m_changeStamp = stamp;
    if (m_observer) m_observer->tableChanged(*this, CHANGE_STAMP_CODE);
}

void StSymbTable::getGlobalEntry(StRangeID& vr, StRangeID& nr) const
{
    vr = m_globalVR;
    nr = m_globalNR;
}

void StSymbTable::setGlobalEntry(StRangeID vr, StRangeID nr)
{
    m_globalVR = vr;
    m_globalNR = nr;
    if (m_usageMarking && !inError()) markRanges(vr, nr);
}

void StSymbTable::markRanges(StRangeID vr, StRangeID nr)
{
    m_vrTable->markChain(vr);
    m_nrTable->markChain(nr);
}

void StSymbTable::setMarkedOnly(bool on)
{
    if (inError()) return;
    m_strings->setMarkedOnly(on);
    m_entries->setMarkedOnly(on);
    m_constants->setMarkOnly(on);
    m_vrTable->setMarkedOnly(on);
    m_nrTable->setMarkedOnly(on);
    m_types->setMarkedOnly(on);
}

// --- small value operations ---

bool StSymbTable::isIoBitAddress(uint32_t address)
{
    const uint32_t top = address >> 24;
    return (address & 0x00800000u) && (top == 0xF8 || top == 0xF6);
}

bool StSymbTable::isSimpleValueType(ESTypeSpec spec)
{
    if (esIsSpecial(spec)) return esSpecCode(spec) == ST_SPEC_STRING;
    if (!esIsElementary(spec)) return false;
    const uint32_t id = esElemCode(spec);
    return (id >= 1 && id <= 15) || (id >= 18 && id <= 21);
}

bool StSymbTable::hasPlainAddressWord(uint32_t kind)
{
    switch (kind) {
    case ST_KIND_TYPESPEC:
    case ST_KIND_SYSVAR:
    case ST_KIND_TO:
    case ST_KIND_UNIT:
    case ST_KIND_DIRECTVAR:
    case ST_KIND_NAMESPACE: return true;
    default: return false;
    }
}

StSymbEntryID StSymbTable::sysVarIdFromAddress(uint32_t address) const
{
    if (!(m_modeWord & 0xF0u)) return ST_INVALID_SID;
    uint32_t id = address;
    if (m_modeWord & 0xFu) {
        id = address >> 16;
        if ((address & 0xFFFFu) == 0xFFFFu && (m_modeWord & 2u)) id += 1;
    }
    return id >= 0x10000u ? ST_INVALID_SID : StSymbEntryID(id);
}

StFrameProperties StSymbTable::defaultFrameProperties()
{
    StFrameProperties f;
    f.membVRange = ST_INVALID_VR;
    f.membNRange = ST_INVALID_NR;
    f.frameID = 0xFFFFFFFFu;
    f.startLine = 0x7FFFFFFF;
    f.retainSize = 0;
    f.frameSize = 0;
    f.reserved = 0;
    f.flags = 0xFFFFFFFFu;
    return f;
}

// --- creation ---

StSyBaseSymbEntry* StSymbTable::addEntry(const char* name, StRangeID vr, StRangeID nr, uint32_t kind,
                                         StSymbEntryID& sid, int32_t attribute, bool unique)
{
    return addEntry(name ? new String(name) : nullptr, vr, nr, kind, sid, attribute, unique, true);
}

StSyBaseSymbEntry* StSymbTable::addEntry(String* name, StRangeID vr, StRangeID nr, uint32_t kind,
                                         StSymbEntryID& sid, int32_t attribute, bool unique, bool takeName)
{
    std::unique_ptr<String> owned(takeName ? name : nullptr);
    const StSymbEntryID wanted = sid;
    sid = ST_INVALID_SID;
    if (inError()) return nullptr;
    const bool anonymous = !name;
    if (anonymous) unique = false;
    const String& key = name ? *name : String(kAnonymous);
    StSymbEntryID headSid;
    String* stored = m_strings->lookup(key, headSid);
    StSyBaseSymbEntry* entry = nullptr;
    StNameChainIndex* index = syncedNameIndex();

    if (!stored) {
        String* own = owned ? owned.release() : new String(key);
        sid = m_entries->newEntry(kind, entry, nullptr, own, vr, nr, wanted);
        if (sid.isInvalid()) {
            delete own;
            return nullptr;
        }
        if (m_strings->insert(own, sid) != 0) {
            // No name, no entry: the entry goes again (the name was freed).
            entry->setName(nullptr);
            StSymbEntryID gone = sid;
            m_entries->removeEntry(gone);
            sid = ST_INVALID_SID;
            return nullptr;
        }
        if (index) index->newChain(own, entry);
    } else if (!unique) {
        StSyBaseSymbEntry* head = m_entries->findEntry(headSid);
        sid = m_entries->newEntry(kind, entry, nullptr, stored, vr, nr, wanted);
        if (sid.isInvalid()) return nullptr;
        entry->setNext(head ? headSid : ST_INVALID_SID, head);
        if (head) head->setPrev(sid);
        m_strings->find(*stored)->sid = sid;
        if (index && index->chain(stored)) index->prepend(stored, entry);
    } else {
        StSyBaseSymbEntry* last = nullptr;
        if (nameTaken(stored, headSid, vr, nr, kind, index, last)) return nullptr;
        sid = m_entries->newEntry(kind, entry, last, stored, vr, nr, wanted);
        if (sid.isInvalid()) return nullptr;
        if (!last) m_strings->find(*stored)->sid = sid;
        if (index && index->chain(stored)) index->append(stored, entry);
    }
    // An irregular chain is walked, not indexed: changing it leaves the
    // index as right as before.
    if (index) index->stamp(*m_strings, *m_entries);
    if (attribute >= 0) entry->setAccessMode(attribute);
    return entry;
}

StSymbEntryID StSymbTable::addSysVar(const char* name, StSymbEntryID ownerSID, int32_t address, int32_t attribute)
{
    if (inError()) return ST_INVALID_SID;
    StSyBaseSymbEntry* owner = entryOf(ownerSID);
    const StFrameProperties* frame = owner ? owner->getFrameProperties() : nullptr;
    if (!frame) return ST_INVALID_SID;
    StSymbEntryID sid;
    if (m_modeWord & 0xF0u) {
        sid = sysVarIdFromAddress(uint32_t(address));
        if (sid.isInvalid()) m_modeWord &= ~0xF0u;
    }
    StSyBaseSymbEntry* e = addEntry(name, frame->membVRange, frame->membNRange, ST_KIND_SYSVAR, sid, attribute);
    if (!e) return ST_INVALID_SID;
    e->setStorageAddress(address);
    e->setSysVarTOTypeRef(ownerSID);
    return sid;
}

StSymbEntryID StSymbTable::addInterfaceVar(const char* name, StRangeID vr, StRangeID nr, int32_t attribute,
                                           bool remanent)
{
    StSymbEntryID sid;
    StSyBaseSymbEntry* e = addEntry(name, vr, nr, ST_KIND_INTERFACEVAR, sid, attribute);
    if (e && remanent) e->setRemanent(true);
    return sid;
}

StSymbEntryID StSymbTable::addDirectVar(const char* name, StRangeID vr, StRangeID nr, const StASMOperand* operand,
                                        StTypeID tid, StSymbEntryID typeSID, int32_t attribute)
{
    if (inError() || !operand || operand->getKind() != ST_OP_DIRECT) return ST_INVALID_SID;
    const StTypeID opTid = operand->getTID();
    if (m_types->getAlignment(opTid) != m_types->getAlignment(tid) || m_types->getSize(opTid) != m_types->getSize(tid))
        return ST_INVALID_SID;
    StSymbEntryID sid;
    StSyBaseSymbEntry* e = addEntry(name, vr, nr, ST_KIND_DIRECTVAR, sid, attribute);
    if (!e) return ST_INVALID_SID;
    e->setStorageAddress(int32_t(static_cast<const StASMDirectOperand*>(operand)->getAddressWord()));
    e->setTypeID(tid);
    e->setTypeRefSID(typeSID);
    return sid;
}

StSymbEntryID StSymbTable::addTOType(const char* name, StRangeID vr, StRangeID nr, StRangeID frameVR,
                                     StRangeID frameNR, StSymbEntryID ownerTypeSID, int32_t attribute)
{
    StSymbEntryID sid;
    StSyBaseSymbEntry* e = addEntry(name, vr, nr, ST_KIND_TOTYPE, sid, attribute);
    if (!e) return ST_INVALID_SID;
    e->setTypeID(ST_ANYOBJECT);
    StFrameProperties* f = e->getFrameProperties();
    f->membVRange = frameVR;
    f->membNRange = frameNR;
    e->setBaseTOTypeSID(ownerTypeSID);
    if (m_usageMarking) registerSymbol(entryOf(ownerTypeSID));
    return sid;
}

int StSymbTable::addGlobalSymbols(const StGlobalSymbolItem* items, size_t count)
{
    if (inError()) return 1;
    if (!isEmpty()) return 2;
    for (size_t i = 0; i < count; ++i) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = addEntry(items[i].name, m_globalVR, m_globalNR, items[i].kind, sid,
                                        items[i].attribute, true);
        if (e) e->setVisibility(items[i].visibility, items[i].flag);
    }
    return 0;
}

bool StSymbTable::removeEntry(StSymbEntryID sid)
{
    if (inError()) return false;
    StSyBaseSymbEntry* e = m_entries->findEntry(sid);
    if (!e) return false;
    String* name = e->getName();
    const bool wasHead = e->getPrev().isInvalid();
    // Only an entry of a regular chain is taken out of the index in place;
    // any other removal leaves the index to be rebuilt.
    StNameChainIndex* index = syncedNameIndex();
    if (index && !(name && index->remove(name, e, m_entries->findEntry(e->getPrev())))) index = nullptr;
    // Chains from a file may run into each other: an entry other than its
    // prev may name it as next, and would keep pointing at the deleted
    // entry. Such a next ends its chain now, as it would after a reload.
    if (!index || !index->plain()) {
        bool cut = false;
        for (const auto& kv : m_entries->entries()) {
            StSyBaseSymbEntry* x = kv.second;
            if (x == e || x->getNextEntry() != e || x->getID() == e->getPrev()) continue;
            x->setNext(x->getNext(), nullptr);
            cut = true;
        }
        if (cut) {
            m_entries->noteChange();
            index = nullptr;
        }
    }
    StSymbEntryID head = sid;
    String* alone = m_entries->removeEntry(head);
    if (alone) {
        if (index) index->dropName(alone);
        m_strings->remove(*alone);
    } else if (wasHead && name) {
        if (StSymbIDStStore* rec = m_strings->find(*name)) rec->sid = head;
    }
    if (index) index->stamp(*m_strings, *m_entries);
    m_modified = true;
    return true;
}

StNameChainIndex* StSymbTable::syncedNameIndex() const
{
    if (!m_useNameIndex || inError()) return nullptr;
    StNameChainIndex& index = m_entries->nameIndex();
    index.sync(*m_strings, *m_entries);
    return &index;
}

bool StSymbTable::nameTaken(const String* stored, StSymbEntryID headSid, StRangeID vr, StRangeID nr, uint32_t kind,
                            const StNameChainIndex* index, StSyBaseSymbEntry*& last) const
{
    last = nullptr;
    auto clashes = [&](const StSyBaseSymbEntry* e) {
        return e->getVR() == vr && e->getNR() == nr && (e->getKind() != ST_KIND_TOTYPE || kind == ST_KIND_TOTYPE);
    };
    if (const StNameChainIndex::Chain* chain = index ? index->chain(stored) : nullptr) {
        const StNameChainIndex::Scope* scope = index->scope(stored, vr, nr);
        if (scope && scope->find(clashes)) return true;
        last = chain->tail;
        return false;
    }
    size_t steps = 0;  // an irregular chain may loop
    for (StSyBaseSymbEntry* e = stored ? m_entries->findEntry(headSid) : nullptr; e && steps <= m_entries->size();
         e = e->getNextEntry(), ++steps) {
        if (clashes(e)) return true;
        last = e;
    }
    return false;
}

int StSymbTable::setSymbolType(StSymbEntryID sid, StTypeID tid, StSymbEntryID typeSID)
{
    if (inError()) return 1;
    StSyBaseSymbEntry* e = entryOf(sid);
    if (!e) return 2;
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (node && node->kind() == ST_NODE_FUNC && e->getAccessMode() == ST_ACCESS_WRITEONLY) return 2;
    e->setTypeID(tid);
    e->setTypeRefSID(typeSID);
    if (StSyBaseSymbEntry* t = entryOf(typeSID)) {
        const int32_t access = e->getAccessMode();
        if (t->getInitCID().isValid() && access != ST_ACCESS_READONLY && access != ST_ACCESS_READWRITE)
            e->setInitCID(t->getInitCID());
        if (m_usageMarking) registerSymbol(t);
    }
    return 0;
}

// --- scopes ---

StRangeID StSymbTable::openValidityRange(StRangeID parent)
{
    return inError() ? ST_INVALID_VR : m_vrTable->open(parent, getCurrentSID());
}

StRangeID StSymbTable::openNameSpace(StRangeID parent)
{
    return inError() ? ST_INVALID_NR : m_nrTable->open(parent, getCurrentSID());
}

static StRangeID closeRange(StSyRangeTable& table, StRangeID range, bool setEnd, StSymbEntryID current)
{
    StRangeRecord* r = table.record(range);
    if (!r) return ST_INVALID_RANGE;
    if (setEnd) r->endSID = current;
    return r->parent;
}

StRangeID StSymbTable::closeValidityRange(StRangeID range, bool setEnd)
{
    return inError() ? ST_INVALID_VR : closeRange(*m_vrTable, range, setEnd, getCurrentSID());
}

StRangeID StSymbTable::closeNameSpace(StRangeID range, bool setEnd)
{
    return inError() ? ST_INVALID_NR : closeRange(*m_nrTable, range, setEnd, getCurrentSID());
}

void StSymbTable::setValidityRangeStart(StRangeID range)
{
    if (inError()) return;
    if (StRangeRecord* r = m_vrTable->record(range)) r->startSID = getCurrentSID();
}

void StSymbTable::extendRangesToSID(StSymbEntryID sid)
{
    StSyBaseSymbEntry* e = entryOf(sid);
    if (!e) return;
    m_vrTable->extendStart(e->getVR(), sid);
    m_vrTable->extendEnd(e->getVR(), sid);
    m_nrTable->extendStart(e->getNR(), sid);
    m_nrTable->extendEnd(e->getNR(), sid);
}

StSymbEntryID StSymbTable::getCurrentSID() const
{
    return inError() ? ST_INVALID_SID : m_entries->currentID();
}

void StSymbTable::getRangeSpan(StRangeID vr, StRangeID nr, StSymbEntryID& start, StSymbEntryID& end) const
{
    start = end = ST_INVALID_SID;
    if (inError()) return;
    const StRangeRecord* v = m_vrTable->record(vr);
    const StRangeRecord* n = m_nrTable->record(nr);
    if (!v || !n) return;
    const uint32_t s1 = v->startSID.isValid() ? v->startSID.get() : 0;
    const uint32_t s2 = n->startSID.isValid() ? n->startSID.get() : 0;
    start = std::max(s1, s2);
    end = std::min(v->endSID.get(), n->endSID.get());
}

void StSymbTable::listSymbolIDs(StSymbEntryIDVect& list, StSymbEntryID from, StSymbEntryID to) const
{
    if (inError() || from > to) return;
    const auto& map = m_entries->entries();
    for (auto it = map.lower_bound(from); it != map.end() && it->first <= to; ++it) list.push_back(it->first);
}

void StSymbTable::listSymbolsOfKind(StSymbEntryIDVect& list, uint32_t kind) const
{
    if (inError()) return;
    for (const auto& kv : m_entries->entries())
        if (kind == 0 || kv.second->getKind() == kind) list.push_back(kv.first);
}

void StSymbTable::collectSymbols(std::vector<StSyBaseSymbEntry*>& list, StRangeID vr, StRangeID nr,
                                 bool skipAnonymous) const
{
    if (inError()) return;
    StSymbEntryID start, end;
    getRangeSpan(vr, nr, start, end);
    const auto& map = m_entries->entries();
    if (start.isInvalid() || map.empty()) return;
    if (start > map.rbegin()->first) {
        start = 0;
        end = ST_INVALID_SID;
    }
    for (auto it = map.lower_bound(start); it != map.end() && it->first <= end; ++it) {
        StSyBaseSymbEntry* e = it->second;
        if (e->getVR() != vr || e->getNR() != nr) continue;
        if (skipAnonymous && e->getName() && *e->getName() == kAnonymous) continue;
        list.push_back(e);
    }
}

void StSymbTable::collectSymbols(StSymbEntryIDVect& list, StRangeID vr, StRangeID nr, bool skipAnonymous) const
{
    std::vector<StSyBaseSymbEntry*> entries;
    collectSymbols(entries, vr, nr, skipAnonymous);
    for (StSyBaseSymbEntry* e : entries) list.push_back(e->getID());
}

void StSymbTable::getSymbolsInRange(StSymbEntryIDVect& list, StRangeID vr, StRangeID nr) const
{
    collectSymbols(list, vr, nr, false);
}

int StSymbTable::getStructMembers(StSymbEntryID sid, StSymbEntryIDVect& list) const
{
    if (!list.empty()) return 1;
    StSyBaseSymbEntry* e = entryOf(sid);
    if (!e || e->getKind() != ST_KIND_TYPESPEC) return 1;
    const StSyBaseTypeNode* node = m_types->findNode(e->getTypeID());
    if (!node || node->kind() != ST_NODE_STRUCT || e->getSubNameRange() == e->getNR()) return 1;
    collectSymbols(list, e->getSubValidRange(), e->getSubNameRange(), true);
    return 0;
}

StSyBaseSymbEntry* StSymbTable::findNameSpace(StRangeID vr, StRangeID nr) const
{
    if (inError()) return nullptr;
    for (const auto& kv : m_entries->entries()) {
        const StSyBaseSymbEntry* e = kv.second;
        if (e->getKind() == ST_KIND_NAMESPACE && e->getSubValidRange() == vr && e->getSubNameRange() == nr)
            return kv.second;
    }
    return nullptr;
}

// --- queries ---

StSyBaseSymbEntry* StSymbTable::entryOf(StSymbEntryID sid) const
{
    return inError() ? nullptr : m_entries->findEntry(sid);
}

uint32_t StSymbTable::getEntryKind(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    return e ? uint32_t(e->getKind()) : 0u;
}

String* StSymbTable::getName(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    return e ? e->getName() : nullptr;
}

StSyBaseSymbEntry* StSymbTable::findEntry(StSymbEntryID sid) const { return entryOf(sid); }

StSyBaseTypeNode* StSymbTable::findTypeNode(StTypeID tid) const
{
    return inError() ? nullptr : m_types->findNode(tid);
}

StConstantVal* StSymbTable::getConstant(StConstEntryID cid) const
{
    return inError() ? nullptr : m_constants->getConstantVal(cid);
}

StSyBaseTypeNode* StSymbTable::findStdTypeNode(uint32_t id) const
{
    return findTypeNode(id < ST_FIRST_USER_TID ? id : ST_INVALID_TID);
}

StTypeID StSymbTable::getEntryTypeID(const StSyBaseSymbEntry* entry) const
{
    if (inError() || !entry) return ST_INVALID_TID;
    return m_hook ? m_hook->getTypeID(entry) : entry->getTypeID();
}

StTypeID StSymbTable::getTypeID(StSymbEntryID sid) const { return getEntryTypeID(entryOf(sid)); }

StConstEntryID StSymbTable::getEntryCID(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    return e ? e->getInitCID() : ST_INVALID_CID;
}

StSymbEntryID StSymbTable::getTOTypeOf(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    return e ? e->getTypeRefSID() : ST_INVALID_SID;
}

StSymbEntryID StSymbTable::getTOFrame(StSymbEntryID sid, StRangeID& vr, StRangeID& nr) const
{
    vr = ST_INVALID_VR;
    nr = ST_INVALID_NR;
    const StSyBaseSymbEntry* e = entryOf(sid);
    if (!e || e->getKind() != ST_KIND_TO) return ST_INVALID_SID;
    const StSymbEntryID typeSid = e->getTypeRefSID();
    const StSyBaseSymbEntry* t = entryOf(typeSid);
    if (t && t->getFrameProperties()) {
        vr = t->getFrameProperties()->membVRange;
        nr = t->getFrameProperties()->membNRange;
    }
    return typeSid;
}

StSymbEntryID StSymbTable::resolveTypeSpec(StSymbEntryID sid) const
{
    if (inError()) return ST_INVALID_SID;
    StSymbEntryID cur = sid;
    for (size_t steps = 0; steps <= m_entries->size(); ++steps) {
        const StSyBaseSymbEntry* e = m_entries->findEntry(cur);
        if (!e) return sid;
        if (e->getKind() == ST_KIND_TOTYPE) return cur;
        if (e->getKind() != ST_KIND_TYPESPEC) return sid;
        const StSymbEntryID next = e->getTypeRefSID();
        if (next == cur || next.isInvalid()) return sid;
        cur = next;
    }
    return sid;
}

bool StSymbTable::isSameTOType(StSymbEntryID a, StSymbEntryID b) const
{
    if (inError()) return false;
    return resolveTypeSpec(a) == resolveTypeSpec(b);
}

bool StSymbTable::isSysVarLike(StSymbEntryID sid) const
{
    const uint32_t kind = getEntryKind(sid);
    return kind == ST_KIND_SYSVAR || (kind == ST_KIND_GLOBVAR && (m_tableMode == 2 || m_tableMode == 3));
}

bool StSymbTable::isEquivalentSymbol(StSymbEntryID sid, const StSymbTable& other, StSymbEntryID otherSID) const
{
    const StSyBaseSymbEntry* a = entryOf(sid);
    const StSyBaseSymbEntry* b = other.entryOf(otherSID);
    if (!a || !b || a->getKind() != b->getKind()) return false;
    const uint32_t kind = a->getKind();
    if (kind != ST_KIND_VAR && kind != ST_KIND_GLOBVAR && kind != ST_KIND_SYSVAR) return false;
    const String* ta = getName(a->getTypeRefSID());
    const String* tb = other.getName(b->getTypeRefSID());
    if (ta && tb && *ta == *tb) return true;
    return m_types->typesEqual(a->getTypeID(), *other.m_types, b->getTypeID());
}

StTypeID StSymbTable::typeSpecToTID(ESTypeSpec spec) const
{
    if (inError()) return ST_INVALID_TID;
    if (esIsElementary(spec) && !esIsSpecial(spec) && esElemCode(spec) < 30) return esElemCode(spec);
    if (esIsSpecial(spec) && !esIsElementary(spec)) {
        const uint32_t code = esSpecCode(spec);
        if (code >= 30 && code <= 39) return code;
    }
    return ST_INVALID_TID;
}

StTypeID StSymbTable::getElemTypeId(StTypeID tid) const
{
    if (inError()) return ST_INVALID_TID;
    return tid < 30 ? tid : 30;
}

uint32_t StSymbTable::getElemTypeOfTID(StTypeID tid) const
{
    if (inError()) return 0;
    const ESTypeSpec spec = m_types->getTypeSpec(tid);
    return esIsElementary(spec) ? esElemCode(spec) : 30;
}

uint32_t StSymbTable::getMachMode(StTypeID tid) const
{
    if (inError() || tid == ST_INVALID_TID) return MC_OTHER;
    const ESTypeSpec spec = m_types->getTypeSpec(tid);
    const uint32_t mode = McConvert::getMachMode(spec);
    if (mode != MC_OTHER || esElemCode(spec) == ST_VOID) return mode;
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (node && node->kind() == ST_NODE_ENUM) return McConvert::getMachModeOfTypeId(m_enumBase);
    return MC_OBJECT;
}

bool StSymbTable::isEnumType(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findTypeNode(tid);
    return n && n->kind() == ST_NODE_ENUM;
}

bool StSymbTable::isStringType(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findTypeNode(tid);
    return n && n->kind() == ST_NODE_ARRAY && n->specCode() == ST_SPEC_STRING;
}

int32_t StSymbTable::getStringCapacity(StTypeID tid) const
{
    if (!isStringType(tid)) return -1;
    return int32_t(m_types->findNode(tid)->elementCount()) - 2;
}

bool StSymbTable::getStringLength(const StASMOperand* operand, int32_t& length) const
{
    length = 0;
    if (inError() || !operand) return false;
    const StConstantElem* elem = operand->getConstElem();
    if (!elem) {
        const int32_t cap = getStringCapacity(operand->getTID());
        if (cap < 0) return false;
        length = cap;
        return true;
    }
    const StConstantVal* v = elem->getValue() ? elem->getValue() : m_constants->getConstantVal(elem->getCID());
    if (!v || v->getTextLength() < 0) return false;
    length = v->getTextLength();
    return true;
}

int32_t StSymbTable::getTypeSize(StTypeID tid, bool packed) const
{
    return inError() ? 0 : m_types->getSize(tid, packed);
}

StTypeID StSymbTable::getElementType(StTypeID tid) const
{
    return inError() ? ST_INVALID_TID : m_types->getElementType(tid);
}

int64_t StSymbTable::getElementOffset(StTypeID tid, int32_t index, bool packed) const
{
    return inError() ? 0 : m_types->getElementOffset(tid, index, packed);
}

bool StSymbTable::isIndexInBounds(StTypeID tid, int32_t index) const
{
    return !inError() && m_types->isIndexInBounds(tid, index);
}

bool StSymbTable::getArrayBounds(StTypeID tid, int32_t& lower, int32_t& upper) const
{
    lower = upper = 0;
    const StSyBaseTypeNode* n = findTypeNode(tid);
    if (!n || n->kind() != ST_NODE_ARRAY) return false;
    lower = int32_t(-n->indexOffset(0));
    upper = lower + int32_t(n->elementCount()) - 1;
    return true;
}

uint32_t StSymbTable::getMemberOrdinal(const StASMOperand* operand, int32_t offset, StTypeID tid) const
{
    if (inError() || !operand) return 0;
    const StSyBaseTypeNode* node = m_types->findNode(operand->getTID());
    if (!node || node->kind() != ST_NODE_STRUCT) return 0;
    const StTypeIDList& members = node->post();
    int64_t pos = 0;
    uint32_t ordinal = 1;
    for (size_t i = 0; i < members.size(); ++i) {
        const StTypeID m = members[i];
        if (pos == offset && m == tid) return ordinal;
        const uint32_t nextAlign = i + 1 < members.size() ? m_types->getAlignment(members[i + 1]) : 1;
        pos += m_types->getAlignedSize(m, int32_t(pos), nextAlign ? nextAlign : 1, false);
        ordinal += m_types->getItemCount(m);
        if (pos > offset) break;
    }
    return 0;
}

StFrameProperties StSymbTable::getFrameProperties(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    const StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
    return f ? *f : defaultFrameProperties();
}

StTaskRecord StSymbTable::getTaskRecord(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = entryOf(sid);
    if (!e) {
        StTaskRecord t;
        t.taskRtID = 0xFFFFFFFFu;
        return t;
    }
    return e->getTaskRecord();
}

StTypeID StSymbTable::getStringTypeID(int32_t length)
{
    if (inError() || length < 1 || length > 254) return ST_INVALID_TID;
    return m_types->createStringType(length);
}

bool StSymbTable::hookTest(uint32_t a, uint32_t b) const
{
    return !inError() && m_hook && m_hook->test(a, b);
}

uint32_t StSymbTable::getFrameAlignment(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findTypeNode(tid);
    if (!n || n->kind() != ST_NODE_FUNC) return 0;
    return std::max<uint32_t>(n->alignment(), 8);
}

// --- usage marking ---

void StSymbTable::registerSymbol(StSyBaseSymbEntry* entry, bool stopAtFunctions, bool collectInputs)
{
    if (!m_usageMarking || inError()) return;
    // An explicit work list: chains of owners and members can be long.
    std::vector<StSyBaseSymbEntry*> work{entry};
    while (!work.empty()) {
        StSyBaseSymbEntry* e = work.back();
        work.pop_back();
        if (!e || (e->getExtra() & 1u)) continue;
        if (stopAtFunctions && e->getKind() == ST_KIND_FUNC) continue;
        const StFrameProperties* frame = e->getFrameProperties();
        if (frame && (frame->flags & 4u)) continue;
        e->setExtra(e->getExtra() | 1u);
        if (collectInputs) {
            if (e->getKind() == ST_KIND_VAR && e->getAccessMode() == ST_ACCESS_LOCAL) m_usedInputs.insert(e->getID());
        } else {
            e->mark();
            if (e->getName()) m_strings->mark(*e->getName());
            m_types->markType(e->getTypeID(), true);
        }
        markRanges(e->getVR(), e->getNR());
        if (e->getInitCID().isValid()) m_constants->markValue(e->getInitCID());
        for (StSymbEntryID dep : {e->getUnitSID(), e->getSysVarTOTypeRef(), e->getTypeRefSID(), e->getBaseTOTypeSID()})
            if (StSyBaseSymbEntry* d = m_entries->findEntry(dep)) work.push_back(d);
        switch (e->getKind()) {
        case ST_KIND_FUNC:
        case ST_KIND_FUNCBLOCK:
        case ST_KIND_PROGRAM:
        case ST_KIND_TYPESPEC:
        case ST_KIND_TOTYPE: {
            const StRangeID vr = e->getSubValidRange(), nr = e->getSubNameRange();
            if (nr != ST_INVALID_NR && !(e->getKind() == ST_KIND_TYPESPEC && nr == e->getNR())) {
                markRanges(vr, nr);
                std::vector<StSyBaseSymbEntry*> members;
                collectSymbols(members, vr, nr, false);
                work.insert(work.end(), members.begin(), members.end());
            }
            break;
        }
        default: break;
        }
    }
}

uint32_t StSymbTable::presentTables(const StSymbTable& t)
{
    return (t.m_strings ? 0x01u : 0u) | (t.m_entries ? 0x02u : 0u) | (t.m_constants ? 0x04u : 0u) |
           (t.m_vrTable ? 0x08u : 0u) | (t.m_nrTable ? 0x10u : 0u) | (t.m_types ? 0x20u : 0u);
}

void StSymbTable::copyModeAndIdPair(const StSymbTable& other)
{
    m_modeWord = other.m_modeWord;
    m_idLow = other.m_idLow;
    m_idHigh = other.m_idHigh;
}

void StSymbTable::detachTables(uint32_t mask)
{
    if (mask & 0x01u) m_strings = nullptr;
    if (mask & 0x02u) m_entries = nullptr;
    if (mask & 0x04u) m_constants = nullptr;
    if (mask & 0x08u) m_vrTable = nullptr;
    if (mask & 0x10u) m_nrTable = nullptr;
    if (mask & 0x20u) m_types = nullptr;
}
