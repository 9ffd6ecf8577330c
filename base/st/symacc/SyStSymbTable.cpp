// Symbol access over the Structured Text symbol table. Contracts in
// SyStSymbTable.h.
#include "base/st/symacc/SyStSymbTable.h"

#include <algorithm>
#include <memory>
#include <new>

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyVariantConvert.h"

namespace {

constexpr uint32_t kNoAddress = 0x7FFFFFFFu;

bool hasStorage(const StSyBaseSymbEntry* e) { return e->getStorageAddress() != int32_t(kNoAddress); }

// A visitor from a function, for the walks of this file.
template <class F>
class SymbolIteratorFn : public SymbolIteratorNative {
public:
    explicit SymbolIteratorFn(F f) : m_f(f) {}
    bool visit(StSyBaseSymbEntry* entry, SyStSymbTable&) override { return m_f(entry); }

private:
    F m_f;
};

template <class F>
SymbolIteratorFn<F> makeIterator(F f)
{
    return SymbolIteratorFn<F>(f);
}

}  // namespace

// ---------------------------------------------------------------------------
// Visitors
// ---------------------------------------------------------------------------

bool SymbolIteratorFindSysVarByAdr::visit(StSyBaseSymbEntry* entry, SyStSymbTable&)
{
    if (uint32_t(entry->getKind()) != m_kind || !hasStorage(entry)) return true;
    const uint32_t a = uint32_t(entry->getStorageAddress());
    if (a < m_bestStart || a > m_address) return true;
    m_bestStart = a;
    m_best = entry;
    return a != m_address;
}

bool SymbolIteratorCheckNewAddr::visit(StSyBaseSymbEntry* entry, SyStSymbTable& table)
{
    if (entry->getKind() != ST_KIND_GLOBVAR || !hasStorage(entry)) return true;
    const int32_t size = table.getTypeSize(entry->getTypeID(), false);
    if (size <= 0) return true;
    const uint64_t a = uint32_t(entry->getStorageAddress());
    const uint64_t end = a + uint64_t(size) - 1;
    if (end < m_first || a > m_last) return true;
    m_free = 0;
    return false;
}

bool SymbolIteratorGetMemberByOffset::visit(StSyBaseSymbEntry* entry, SyStSymbTable&)
{
    if (!hasStorage(entry) || uint32_t(entry->getStorageAddress()) != m_offset) return true;
    if (entry->getName()) m_name = *entry->getName();
    m_found = true;
    return false;
}

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------

// The StSymbTable part is a virtual base: only the most-derived class's
// initialiser builds it, which is what constructBase states.
SyStSymbTable::SyStSymbTable(uint32_t word, bool constructBase) : StSymbTable(), m_constructionWord(word)
{
    (void)constructBase;
}

uint32_t SyStSymbTable::wantedSysVarKind() const
{
    const uint32_t mode = getTableMode();
    return (mode == 2 || mode == 3) ? ST_KIND_GLOBVAR : ST_KIND_SYSVAR;
}

// ---------------------------------------------------------------------------
// Type predicates and symbol queries
// ---------------------------------------------------------------------------

bool SyStSymbTable::isEnumType(const StTypeID& type, uint32_t* valueType) const
{
    if (valueType) *valueType = 30;
    if (!StSymbTable::isEnumType(type)) return false;
    if (valueType) *valueType = getEnumBaseType();
    return true;
}

bool SyStSymbTable::isStructType(const StTypeID& type) const
{
    const StSyBaseTypeNode* n = inError() ? nullptr : findTypeNode(type);
    return n && n->kind() == ST_NODE_STRUCT;
}

bool SyStSymbTable::isArrayType(const StTypeID& type) const
{
    const StSyBaseTypeNode* n = inError() ? nullptr : findTypeNode(type);
    return n && n->kind() == ST_NODE_ARRAY;
}

bool SyStSymbTable::isStructuredType(const StTypeID& type, bool* structured) const
{
    const StSyBaseTypeNode* n = inError() ? nullptr : findTypeNode(type);
    if (!n) return false;
    const bool s = (n->kind() == ST_NODE_ARRAY && n->specCode() != 30) || n->kind() == ST_NODE_STRUCT;
    if (structured) *structured = s;
    return true;
}

bool SyStSymbTable::isFuncBlockSymbol(StSymbEntryID sid) const
{
    return getEntryKind(sid) == ST_KIND_FUNCBLOCK;
}

bool SyStSymbTable::isPOESymbol(StSymbEntryID sid) const
{
    const uint32_t k = getEntryKind(sid);
    return k >= ST_KIND_FUNC && k <= ST_KIND_TASK;
}

bool SyStSymbTable::isTOTypeSymbol(StSymbEntryID sid) const
{
    return getEntryKind(sid) == ST_KIND_TOTYPE;
}

StSymbEntryID SyStSymbTable::getSymbolTypeID(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    return e ? e->getTypeRefSID() : ST_INVALID_SID;
}

bool SyStSymbTable::getSymbolAddress(StSymbEntryID sid, uint32_t* first, uint32_t* second, bool* indirect) const
{
    if (indirect) *indirect = false;
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return false;
    if (e->getTypeID() != ST_INVALID_TID) {
        bool structured = false;
        if (!isStructuredType(e->getTypeID(), &structured)) return false;
        if (structured) {
            if (indirect) *indirect = true;
            const StSyBaseSymbEntry* t = findEntry(e->getTypeRefSID());
            if (t) {
                const StFrameProperties* f = t->getFrameProperties();
                if (first) *first = t->getSubValidRange();
                if (second) *second = f ? f->membNRange : ST_INVALID_NR;
                return true;
            }
        }
    }
    const StFrameProperties* f = e->getFrameProperties();
    if (first) *first = f ? f->membVRange : ST_INVALID_VR;
    if (second) *second = f ? f->membNRange : ST_INVALID_NR;
    return true;
}

int32_t SyStSymbTable::iterateSymbols(const uint32_t& vr, const uint32_t& nr, SymbolIteratorNative& visitor)
{
    if (inError() || !entries()) return 0;
    StSymbEntryID start = ST_INVALID_SID, end = ST_INVALID_SID;
    getRangeSpan(vr, nr, start, end);
    const auto& map = entries()->entries();
    auto it = map.lower_bound(start);
    if (it == map.end()) it = map.begin();
    int32_t count = 0;
    for (; it != map.end() && it->first <= end; ++it) {
        StSyBaseSymbEntry* e = it->second;
        if (!e || e->getVR() != vr || e->getNR() != nr) continue;
        if (!visitor.visit(e, *this)) break;
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------
// Addresses
// ---------------------------------------------------------------------------

// The system variable whose storage begins at or below the address and
// starts last. The id the mode word derives from the address is only a
// shortcut to it: when the variable under that id (or the first one after
// it) starts above the address, the search steps back to the variable
// before it and, failing that, walks the scope, rather than answering
// null. A table's mode word may promise ids that follow the addresses
// while its ids do not (mode word 0x10 with $1 to $4 under other ids); a
// null answer there would refuse addresses that lie in a variable, and the
// variables compiler would report them as invalid (411), though the walk
// finds their variable.
StSyBaseSymbEntry* SyStSymbTable::findSysVarByAdr(uint32_t address, uint32_t* start)
{
    if (start) *start = 0;
    if (inError() || !entries()) return nullptr;
    const uint32_t kind = wantedSysVarKind();
    const StSymbEntryID candidate = sysVarIdFromAddress(address);
    if (candidate != ST_INVALID_SID) {
        const auto& map = entries()->entries();
        auto it = map.lower_bound(candidate);
        StSyBaseSymbEntry* e = it != map.end() ? it->second : nullptr;
        if (e && uint32_t(e->getKind()) == kind && hasStorage(e)) {
            const uint32_t a = uint32_t(e->getStorageAddress());
            if (e->getID() == candidate && a <= address) {
                if (start) *start = a;
                return e;
            }
            // A variable starting behind the address (the candidate too:
            // an address below its start may still lie in the variable
            // before it).
            if (address < a && it != map.begin()) {
                // The previous entry, when it is a variable of the wanted
                // kind starting at or below the address, is the one.
                StSyBaseSymbEntry* p = std::prev(it)->second;
                if (p && uint32_t(p->getKind()) == kind && hasStorage(p) &&
                    uint32_t(p->getStorageAddress()) <= address) {
                    if (start) *start = uint32_t(p->getStorageAddress());
                    return p;
                }
            }
        }
    }
    if (m_sysVarIndex.on) return indexedSysVar(address, kind, start);
    StRangeID vr = ST_INVALID_VR, nr = ST_INVALID_NR;
    getGlobalEntry(vr, nr);
    SymbolIteratorFindSysVarByAdr finder(kind, address);
    iterateSymbols(vr, nr, finder);
    if (start) *start = finder.m_best ? finder.m_bestStart : 0;
    return finder.m_best;
}

void SyStSymbTable::indexSysVarsByAddress(bool on)
{
    m_sysVarIndex.on = on;
    m_sysVarIndex.made = false;
    m_sysVarIndex.starts.clear();
    m_sysVarIndex.starts.shrink_to_fit();
}

StSyBaseSymbEntry* SyStSymbTable::indexedSysVar(uint32_t address, uint32_t kind, uint32_t* start)
{
    SysVarIndex& x = m_sysVarIndex;
    const size_t count = entries()->entries().size();
    if (!x.made || x.entryCount != count || x.kind != kind) {
        x.starts.clear();
        StRangeID vr = ST_INVALID_VR, nr = ST_INVALID_NR;
        getGlobalEntry(vr, nr);
        auto collect = makeIterator([&](StSyBaseSymbEntry* e) {
            if (uint32_t(e->getKind()) == kind && hasStorage(e))
                x.starts.emplace_back(uint32_t(e->getStorageAddress()), e);
            return true;
        });
        iterateSymbols(vr, nr, collect);
        std::stable_sort(x.starts.begin(), x.starts.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        x.made = true;
        x.entryCount = count;
        x.kind = kind;
    }
    // The walk keeps the last variable of the highest start at or below
    // the address, but stops at the first that starts exactly there.
    const auto byStart = [](uint32_t a, const std::pair<uint32_t, StSyBaseSymbEntry*>& p) { return a < p.first; };
    const auto above = std::upper_bound(x.starts.begin(), x.starts.end(), address, byStart);
    if (above == x.starts.begin()) return nullptr;
    auto hit = std::prev(above);
    if (hit->first == address)
        hit = std::lower_bound(x.starts.begin(), above, address,
                               [](const std::pair<uint32_t, StSyBaseSymbEntry*>& p, uint32_t a) { return p.first < a; });
    if (start) *start = hit->first;
    return hit->second;
}

StTypeID SyStSymbTable::coveringType(StTypeID tid, int64_t& offset) const
{
    for (size_t depth = 0; depth < 256; ++depth) {
        const StSyBaseTypeNode* n = findTypeNode(tid);
        if (!n) return tid;
        if (n->kind() == ST_NODE_ARRAY && n->specCode() != 30) {
            const StTypeID elem = n->elementType();
            const int32_t esize = getTypeSize(elem, false);
            if (esize <= 0) return tid;
            offset %= esize;
            tid = elem;
        } else if (n->kind() == ST_NODE_STRUCT) {
            const StTypeIDList& members = n->post();
            int64_t pos = 0;
            StTypeID hit = ST_INVALID_TID;
            for (size_t i = 0; i < members.size(); ++i) {
                const uint32_t nextAlign = i + 1 < members.size() ? types()->getAlignment(members[i + 1]) : 1;
                const int64_t next = pos + types()->getAlignedSize(members[i], int32_t(pos), nextAlign ? nextAlign : 1,
                                                                   false);
                if (offset < next) {
                    hit = members[i];
                    offset -= pos;
                    break;
                }
                pos = next;
            }
            if (hit == ST_INVALID_TID) return tid;
            tid = hit;
        } else {
            return tid;
        }
    }
    return tid;
}

StSyBaseSymbEntry* SyStSymbTable::coveringSysVar(uint32_t address, StTypeID& tid, uint32_t& offset)
{
    uint32_t start = 0;
    StSyBaseSymbEntry* e = findSysVarByAdr(address, &start);
    if (!e) return nullptr;
    const int32_t size = getTypeSize(e->getTypeID(), false);
    // A type without size covers no address.
    if (size <= 0 || uint64_t(start) + uint64_t(size) - 1 < address) return nullptr;
    int64_t within = int64_t(address) - start;
    tid = coveringType(e->getTypeID(), within);
    offset = address - start;
    return e;
}

StASMSysVarOperand* SyStSymbTable::getSysVarOperand(uint32_t address, const uint32_t& toId)
{
    StTypeID tid = ST_INVALID_TID;
    uint32_t offset = 0;
    StSyBaseSymbEntry* e = coveringSysVar(address, tid, offset);
    if (!e) return nullptr;
    StASMSysVarOperand* op = nullptr;
    try {
        op = new StASMSysVarOperand(toId);
    } catch (...) {
        return nullptr;
    }
    op->setSysVar(e->getID(), tid, getMachMode(tid), int32_t(offset));
    return op;
}

bool SyStSymbTable::modifyArraySize(uint32_t address, int32_t newCount)
{
    return resizeArrayVar(ST_KIND_SYSVAR, address, newCount);
}

bool SyStSymbTable::resizeArrayVar(uint32_t kind, uint32_t address, int32_t newCount)
{
    if (newCount < 1 || inError()) return false;
    StRangeID gvr = ST_INVALID_VR, gnr = ST_INVALID_NR;
    getGlobalEntry(gvr, gnr);
    StSyBaseSymbEntry* var = nullptr;
    auto find = makeIterator([&](StSyBaseSymbEntry* e) {
        if (uint32_t(e->getKind()) != kind || !hasStorage(e) || uint32_t(e->getStorageAddress()) != address)
            return true;
        var = e;
        return false;
    });
    iterateSymbols(gvr, gnr, find);
    if (!var || var->getInitCID() != ST_INVALID_CID) return false;
    const StSyBaseTypeNode* node = findTypeNode(var->getTypeID());
    if (!node || node->kind() != ST_NODE_ARRAY) return false;
    int32_t lower = 0, upper = 0;
    if (!getArrayBounds(var->getTypeID(), lower, upper)) return false;
    const int64_t newUpper = int64_t(lower) + newCount - 1;
    if (newUpper > INT32_MAX) return false;
    const StTypeID elem = node->elementType();
    const StSyBaseSymbEntry* typeEntry = findEntry(var->getTypeRefSID());
    const StSymbEntryID owner = typeEntry ? typeEntry->getTypeRefSID() : ST_INVALID_SID;
    StTypeID tid = ST_INVALID_TID;
    StSymbEntryID typeSID = findAnonymousArrayType(gvr, gnr, elem, owner, lower, int32_t(newUpper), tid);
    if (typeSID == ST_INVALID_SID) {
        typeSID = addTypeDecl(nullptr, gvr, gnr, elem, owner, lower, int32_t(newUpper), ST_INVALID_NR, false);
        tid = getTypeID(typeSID);
    }
    if (typeSID == ST_INVALID_SID || tid == ST_INVALID_TID) return false;
    var->setTypeID(tid);
    var->setTypeRefSID(typeSID);
    return true;
}

uint32_t SyStSymbTable::checkNewAddr(uint32_t address, StTypeID type, uint32_t lo, uint32_t hi)
{
    const uint32_t mode = getTableMode();
    const uint32_t align = mode == 2 ? 0x10000u : mode == 3 ? 1u : (types() ? types()->getAlignment(type) : 0);
    const int32_t size = getTypeSize(type, false);
    if (align == 0 || size <= 0) return 10;
    if (address < lo || address >= hi || address % align) return 60;
    const uint32_t last = uint32_t(std::min<uint64_t>(uint64_t(address) + size - 1, 0xFFFFFFFFu));
    StRangeID gvr = ST_INVALID_VR, gnr = ST_INVALID_NR;
    getGlobalEntry(gvr, gnr);
    SymbolIteratorCheckNewAddr check(address, last);
    iterateSymbols(gvr, gnr, check);
    return check.m_free ? 0 : 4;
}

uint32_t SyStSymbTable::getMemberByOffset(StSymbEntryID sid, uint32_t offset, String& name)
{
    uint32_t vr = ST_INVALID_VR, nr = ST_INVALID_NR;
    bool indirect = false;
    if (!getSymbolAddress(sid, &vr, &nr, &indirect)) return kUnknownSymbol;
    SymbolIteratorGetMemberByOffset finder(offset, name);
    iterateSymbols(vr, nr, finder);
    return finder.m_found ? 0 : kMemberNotFound;
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

bool SyStSymbTable::hasConstantValue(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    return e && getConstant(e->getInitCID()) != nullptr;
}

uint32_t SyStSymbTable::getConstantVariant(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                                           IUnknown* navigation) const
{
    if (out) VariantInit(out);
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return 5;
    return SyVariantConvert::constVal2Variant(out, strict, getConstant(e->getInitCID()), context, navigation);
}

namespace {

bool holdsValue(const StSyBaseSymbEntry* e)
{
    switch (e->getKind()) {
    case ST_KIND_CONST: case ST_KIND_VAR: case ST_KIND_GLOBVAR: case ST_KIND_SYSVAR: case ST_KIND_INTERFACEVAR:
        return true;
    default:
        return false;
    }
}

// The symbol's constant, else a new default value of its type (in `made`).
const StConstantVal* valueOf(const SyStSymbTable& t, const StSyBaseSymbEntry* e,
                                    std::unique_ptr<StConstantVal>& made)
{
    if (const StConstantVal* c = t.getConstant(e->getInitCID())) return c;
    made.reset(t.createInitValue(e->getTypeID()));
    return made.get();
}

}  // namespace

uint32_t SyStSymbTable::getInitValueVariant(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                                            IUnknown* navigation) const
{
    if (out) VariantInit(out);
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return 5;
    std::unique_ptr<StConstantVal> made;
    return SyVariantConvert::constVal2Variant(out, strict, valueOf(*this, e, made), context, navigation);
}

uint32_t SyStSymbTable::getSymbolValue(StSymbEntryID sid, VARIANT* out, bool strict, IUnknown* context,
                                       IUnknown* navigation) const
{
    if (out) VariantInit(out);
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return 5;
    if (!holdsValue(e)) return 10;
    std::unique_ptr<StConstantVal> made;
    return SyVariantConvert::constVal2Variant(out, strict, valueOf(*this, e, made), context, navigation) ? 0xFFFF : 0;
}

uint32_t SyStSymbTable::setSymbolValue(StSymbEntryID sid, const VARIANT& value, bool strict, IUnknown* context,
                                       IUnknown* navigation)
{
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return 5;
    if (!holdsValue(e)) return 10;
    std::unique_ptr<StConstantVal> made;
    const StConstantVal* current = valueOf(*this, e, made);
    if (!current) return 0xFFFF;
    std::unique_ptr<StConstantVal> next(current->clone());
    if (SyVariantConvert::variant2ConstValEx(next.get(), value, strict, context, navigation) != 0) return 101;
    int status = 0;
    const StConstEntryID cid = assignConstant(e->getTypeID(), next.release(), status);
    if (cid == ST_INVALID_CID || StSymbTable::setSymbolValue(sid, cid) != 0) return 0xFFFF;
    return 0;
}
