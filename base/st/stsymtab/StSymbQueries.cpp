// StSymbTable: lookups by name and scope, visibility, renaming, type names,
// enumerations and the qualified source name of an operand.
//
// A scope chain of (VR, NR) is the list of validity ranges from VR outward
// and the list of name spaces from NR outward; the pairs are met VR first
// (for each VR' every NR' in turn). Range ids grow with nesting, so an
// entry lies on the chain exactly when its VR is on the first list and its
// NR on the second; its place on the chain is the pair of the two indexes.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unordered_set>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StNameChainIndex.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/stsymtab/StScopeChain.h"

namespace {

const char kAnonymous[] = "$$";
const char kUnknown[] = "???";

// One of the two range lists of a scope chain, bounded by the table size
// (a table read from a file may hold a parent loop).
std::vector<StRangeID> rangeChain(const StSyRangeTable& table, StRangeID start)
{
    std::vector<StRangeID> chain;
    for (StRangeID r = start; r != ST_INVALID_RANGE && chain.size() <= table.size(); r = table.parent(r))
        chain.push_back(r);
    return chain;
}

// Place of id in a range list: a binary search while the list falls
// strictly (parents have smaller ids), else a linear one.
int indexIn(const std::vector<StRangeID>& chain, bool falling, StRangeID id)
{
    if (falling) {
        const auto it = std::lower_bound(chain.begin(), chain.end(), id, std::greater<StRangeID>());
        return it != chain.end() && *it == id ? int(it - chain.begin()) : -1;
    }
    for (size_t i = 0; i < chain.size(); ++i)
        if (chain[i] == id) return int(i);
    return -1;
}

bool isFalling(const std::vector<StRangeID>& chain)
{
    for (size_t i = 1; i < chain.size(); ++i)
        if (chain[i] >= chain[i - 1]) return false;
    return true;
}

// Marks the first place of every range of a list (a list read from a file
// may name a range twice; an entry's place is its first).
std::vector<bool> firstPlaces(const std::vector<StRangeID>& chain)
{
    std::vector<bool> first(chain.size());
    std::unordered_set<StRangeID> seen;
    for (size_t i = 0; i < chain.size(); ++i) first[i] = seen.insert(chain[i]).second;
    return first;
}

// Visits the entries of the regular chain of a name (the string table's
// key) that lie on a scope chain, nearest place first and within a place
// in chain order, until visit(entry, atPlaceZero) answers true: the order
// in which a walk of the chain would settle on them.
template <class Visit>
void visitByPlace(const StNameChainIndex& index, const String* stored, const StScopeChain& chain, Visit visit)
{
    const std::vector<StRangeID>& vrs = chain.vrs();
    const std::vector<StRangeID>& nrs = chain.nrs();
    const std::vector<bool> firstV = firstPlaces(vrs), firstN = firstPlaces(nrs);
    for (size_t v = 0; v < vrs.size(); ++v) {
        if (!firstV[v]) continue;
        for (size_t n = 0; n < nrs.size(); ++n) {
            if (!firstN[n]) continue;
            const StNameChainIndex::Scope* scope = index.scope(stored, vrs[v], nrs[n]);
            if (scope && scope->find([&](StSyBaseSymbEntry* e) { return visit(e, v == 0 && n == 0); })) return;
        }
    }
}

}  // namespace

// --- scope chains ---

StScopeChain::StScopeChain(const StSymbTable& t, StRangeID vr, StRangeID nr)
    : m_vrs(rangeChain(*t.vrTable(), vr)), m_nrs(rangeChain(*t.nrTable(), nr)), m_vrFalling(isFalling(m_vrs)),
      m_nrFalling(isFalling(m_nrs))
{
}

int64_t StScopeChain::place(const StSyBaseSymbEntry* e) const
{
    if (!e) return -1;
    const int v = indexIn(m_vrs, m_vrFalling, e->getVR());
    if (v < 0) return -1;
    const int n = indexIn(m_nrs, m_nrFalling, e->getNR());
    if (n < 0) return -1;
    return int64_t(v) * int64_t(m_nrs.size()) + n;
}

int StScopeChain::closer(const StSyBaseSymbEntry* a, const StSyBaseSymbEntry* b) const
{
    const int64_t pa = place(a), pb = place(b);
    if (pa < 0 && pb < 0) return 0;
    if (pb < 0 || (pa >= 0 && pa <= pb)) return 1;
    return 2;
}

// --- type names ---

const char* StSymbTable::getTypeName(ESTypeSpec spec) { return stTypeSpecName(spec); }

String StSymbTable::getTypeNameOfTID(StTypeID tid, StSymbEntryID declSID, bool* found) const
{
    if (found) *found = true;
    if (tid < ST_FIRST_USER_TID) return String(getTypeName(esMakeElem(tid)));
    if (inError()) {
        if (found) *found = false;
        return String();
    }
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    const ESTypeSpec spec = m_types->getTypeSpec(tid);
    if (esSpecCode(spec) == ST_SPEC_STRING) {
        const uint32_t count = node ? node->elementCount() : 0;
        if (count == 82) return String("STRING");
        char text[32];
        std::snprintf(text, sizeof text, "STRING[%u]", count - 2);
        return String(text);
    }
    if (esSpecCode(spec) != ST_SPEC_ANYSTRUCT) return String(getTypeName(spec));
    const StSyBaseSymbEntry* decl = entryOf(declSID);
    if (!decl || decl->getKind() != ST_KIND_TYPESPEC) {
        decl = nullptr;
        for (const auto& kv : m_entries->entries())
            if (kv.second->getKind() == ST_KIND_TYPESPEC && kv.second->getTypeID() == tid) {
                decl = kv.second;
                break;
            }
    }
    if (decl) return decl->getName() ? *decl->getName() : String();
    if (node && node->kind() == ST_NODE_ENUM) return String("ENUM");
    if (found) *found = false;
    return String();
}

bool StSymbTable::getArrayTypeText(const StSyBaseSymbEntry* entry, String& out) const
{
    if (inError() || !entry) return false;
    const StTypeID tid = getEntryTypeID(entry);
    int32_t lower, upper;
    if (!getArrayBounds(tid, lower, upper)) return false;
    const StTypeID element = m_types->getElementType(tid);
    String elementName;
    if (element < ST_FIRST_USER_TID && element != ST_ANYOBJECT) {
        elementName = getTypeName(esMakeElem(element));
    } else if (esSpecCode(m_types->getTypeSpec(element)) == ST_SPEC_STRING) {
        elementName = "STRING";
    } else {
        const StSyBaseSymbEntry* ref = entryOf(entry->getTypeRefSID());
        if (ref && ref->getName() && *ref->getName() == kAnonymous) ref = entryOf(ref->getTypeRefSID());
        if (!ref) {
            if (element != ST_ANYOBJECT) return false;
            elementName = "ANYOBJECT";
        } else {
            if (!ref->getName()) return false;
            elementName = *ref->getName();
        }
    }
    char bounds[64];
    std::snprintf(bounds, sizeof bounds, "ARRAY [%d..%d] OF ", lower, upper);
    out += bounds;
    out += elementName;
    return true;
}

// --- lookups ---

StSyBaseSymbEntry* StSymbTable::chainHead(const String& name) const
{
    if (inError()) return nullptr;
    StSymbEntryID head;
    if (!m_strings->lookup(name, head)) return nullptr;
    return m_entries->findEntry(head);
}

const StNameChainIndex* StSymbTable::indexForScopes(const String& name, const StScopeChain& chain,
                                                    const String*& stored) const
{
    const StNameChainIndex* index = syncedNameIndex();
    StSymbEntryID head;
    stored = index ? m_strings->lookup(name, head) : nullptr;
    const StNameChainIndex::Chain* c = stored ? index->chain(stored) : nullptr;
    // A chain no longer than the scope chain has places is walked sooner.
    return c && c->length > chain.vrs().size() * chain.nrs().size() ? index : nullptr;
}

StSymbEntryID StSymbTable::findSymbol(const String& name, StRangeID vr, StRangeID nr, uint32_t kind,
                                      StSyBaseSymbEntry** entry) const
{
    if (entry) *entry = nullptr;
    auto found = [&](StSyBaseSymbEntry* e) {
        const bool counted = kind == 0 ? e->getKind() != ST_KIND_TOTYPE : e->getKind() == kind;
        if (!counted || e->getVR() != vr || e->getNR() != nr) return false;
        if (entry) *entry = e;
        return true;
    };
    if (const StNameChainIndex* index = syncedNameIndex()) {
        StSymbEntryID head;
        const String* stored = m_strings->lookup(name, head);
        if (!stored) return ST_INVALID_SID;
        if (index->chain(stored)) {
            StSyBaseSymbEntry* hit = nullptr;
            const StNameChainIndex::Scope* scope = index->scope(stored, vr, nr);
            if (scope) scope->find([&](StSyBaseSymbEntry* e) { return found(e) && (hit = e) != nullptr; });
            return hit ? hit->getID() : ST_INVALID_SID;
        }
    }
    size_t steps = 0;
    for (StSyBaseSymbEntry* e = chainHead(name); e && steps <= m_entries->size(); e = e->getNextEntry(), ++steps)
        if (found(e)) return e->getID();
    return ST_INVALID_SID;
}

StSymbEntryID StSymbTable::findSymbolEntry(const String& name, StRangeID vr, StRangeID nr, uint32_t kind,
                                           StSyBaseSymbEntry** entry) const
{
    if (entry) *entry = nullptr;
    StSyBaseSymbEntry* head = chainHead(name);
    if (!head) return ST_INVALID_SID;
    const StScopeChain chain(*this, vr, nr);
    StSyBaseSymbEntry* candidate = nullptr;
    auto passedOver = [kind](const StSyBaseSymbEntry* e) {
        const bool isTOType = e->getKind() == ST_KIND_TOTYPE;
        return (kind == 0 && isTOType) || (kind == ST_KIND_TOTYPE && !isTOType);
    };
    const String* stored = nullptr;
    if (const StNameChainIndex* index = indexForScopes(name, chain, stored)) {
        bool hidden = false;
        visitByPlace(*index, stored, chain, [&](StSyBaseSymbEntry* e, bool atPlaceZero) {
            if (!passedOver(e)) candidate = e;
            hidden = !candidate && atPlaceZero;  // hides what lies further out
            return candidate || hidden;
        });
        if (hidden) return ST_INVALID_SID;
    } else {
        int64_t candidatePlace = -1;
        size_t steps = 0;
        for (StSyBaseSymbEntry* e = head; e && steps <= m_entries->size(); e = e->getNextEntry(), ++steps) {
            const int64_t place = chain.place(e);
            if (place < 0) continue;
            if (passedOver(e)) {
                if (place == 0) return ST_INVALID_SID;  // hides what lies further out
                continue;
            }
            if (!candidate || place < candidatePlace) {
                candidate = e;
                candidatePlace = place;
            }
            if (candidatePlace == 0) break;
        }
    }
    if (!candidate || (kind != 0 && candidate->getKind() != kind)) return ST_INVALID_SID;
    if (entry) *entry = candidate;
    return candidate->getID();
}

StSymbEntryID StSymbTable::getSIDByName(const String& name, StRangeID vr, StRangeID nr, uint32_t kind) const
{
    return inError() ? ST_INVALID_SID : findSymbol(name, vr, nr, kind);
}

StSymbEntryID StSymbTable::lookupSymbolEntry(const String& name, StRangeID vr, StRangeID nr, uint32_t kind) const
{
    return inError() ? ST_INVALID_SID : findSymbolEntry(name, vr, nr, kind);
}

bool StSymbTable::isVisibleFrom(const StSyBaseSymbEntry* entry, StRangeID vr, StRangeID nr) const
{
    return !inError() && entry && StScopeChain(*this, vr, nr).place(entry) >= 0;
}

int StSymbTable::closerOf(const StSyBaseSymbEntry* a, const StSyBaseSymbEntry* b, StRangeID vr, StRangeID nr) const
{
    return inError() ? 0 : StScopeChain(*this, vr, nr).closer(a, b);
}

StSymbEntryID StSymbTable::findAnonymousArrayType(StRangeID vr, StRangeID nr, StTypeID elementTID,
                                                  StSymbEntryID ownerSID, int32_t lower, int32_t upper,
                                                  StTypeID& tid) const
{
    tid = ST_INVALID_TID;
    StSyBaseSymbEntry* head = chainHead(String(kAnonymous));
    if (!head) return ST_INVALID_SID;
    const StScopeChain chain(*this, vr, nr);
    const int64_t count = int64_t(upper) - lower + 1;
    auto fits = [&](const StSyBaseSymbEntry* e) {
        if (e->getKind() == ST_KIND_TOTYPE || e->getTypeRefSID() != ownerSID) return false;
        const StSyBaseTypeNode* node = m_types->findNode(e->getTypeID());
        if (!node || node->kind() != ST_NODE_ARRAY || node->elementType() != elementTID) return false;
        int32_t lo, up;
        getArrayBounds(e->getTypeID(), lo, up);
        return lo == lower && int64_t(node->elementCount()) == count;
    };
    StSyBaseSymbEntry* best = nullptr;
    const String* stored = nullptr;
    if (const StNameChainIndex* index = indexForScopes(String(kAnonymous), chain, stored)) {
        visitByPlace(*index, stored, chain, [&](StSyBaseSymbEntry* e, bool) {
            if (fits(e)) best = e;
            return best != nullptr;
        });
    } else {
        int64_t bestPlace = -1;
        size_t steps = 0;
        for (StSyBaseSymbEntry* e = head; e && steps <= m_entries->size(); e = e->getNextEntry(), ++steps) {
            const int64_t place = chain.place(e);
            if (place < 0 || !fits(e)) continue;
            if (!best || place < bestPlace) {
                best = e;
                bestPlace = place;
            }
        }
    }
    if (!best) return ST_INVALID_SID;
    tid = best->getTypeID();
    return best->getID();
}

bool StSymbTable::renameSymbol(StSymbEntryID sid, const char* name)
{
    if (inError() || !name) return false;
    StSyBaseSymbEntry* e = m_entries->findEntry(sid);
    if (!e) return false;
    const String wanted(name);
    if (e->getName() && *e->getName() == wanted) return true;
    StSymbEntryID newHead;
    String* stored = m_strings->lookup(wanted, newHead);
    StSyBaseSymbEntry* last = nullptr;
    if (nameTaken(stored, newHead, e->getVR(), e->getNR(), e->getKind(), syncedNameIndex(), last)) return false;
    // The links change below without the entry table knowing: the index
    // is rebuilt at its next use.
    m_entries->noteChange();

    // Unlink from the old chain.
    StSyBaseSymbEntry* prev = m_entries->findEntry(e->getPrev());
    StSyBaseSymbEntry* next = e->getNextEntry();
    if (prev) prev->setNext(e->getNext(), next);
    if (next) next->setPrev(e->getPrev());
    if (String* old = e->getName()) {
        if (!prev) {
            if (next) {
                if (StSymbIDStStore* rec = m_strings->find(*old)) rec->sid = next->getID();
            } else {
                e->setName(nullptr);
                m_strings->remove(*old);
            }
        }
    }
    e->setPrev(ST_INVALID_SID);
    e->setNext(ST_INVALID_SID, nullptr);

    // Link into the new one.
    if (stored) {
        e->setName(stored);
        if (last) {
            last->setNext(sid, e);
            e->setPrev(last->getID());
        } else if (StSymbIDStStore* rec = m_strings->find(*stored)) {
            rec->sid = sid;
        }
    } else {
        String* own = new String(wanted);
        e->setName(own);
        if (m_strings->insert(own, sid) != 0) {
            e->setName(nullptr);
            return false;
        }
    }
    // A marked entry keeps its name in a marked-only save.
    if (e->isMarked()) m_strings->mark(*e->getName());
    return true;
}

// --- enumerations ---

const StSymbEntryIDList* StSymbTable::enumeratorsOf(StTypeID tid) const
{
    const StSyBaseTypeNode* node = findTypeNode(tid);
    return node && node->kind() == ST_NODE_ENUM ? node->enumList() : nullptr;
}

bool StSymbTable::enumeratorValue(StSymbEntryID sid, int32_t& value) const
{
    const StConstantVal* v = getConstant(getEntryCID(sid));
    return v && v->getLong(value);
}

bool StSymbTable::getEnumNames(StTypeID tid, std::vector<String>& names) const
{
    const StSymbEntryIDList* list = enumeratorsOf(tid);
    if (!list) return false;
    for (StSymbEntryID sid : *list)
        if (const String* n = getName(sid)) names.push_back(*n);
    return true;
}

bool StSymbTable::findEnumValue(StTypeID tid, const String& name, int32_t& value) const
{
    const StSymbEntryIDList* list = enumeratorsOf(tid);
    if (!list) return false;
    for (StSymbEntryID sid : *list) {
        const String* n = getName(sid);
        if (n && *n == name) return enumeratorValue(sid, value);
    }
    return false;
}

bool StSymbTable::getEnumValues(StTypeID tid, StEnumValueMap& values) const
{
    const StSymbEntryIDList* list = enumeratorsOf(tid);
    if (!list) return false;
    for (StSymbEntryID sid : *list) {
        const String* n = getName(sid);
        int32_t v;
        if (!n || !enumeratorValue(sid, v) || !values.emplace(*n, v).second) return false;
    }
    return true;
}

// --- qualified names ---

bool StSymbTable::isBitAddressedSysVar(const StASMOperand* operand) const
{
    if (!operand || inError() || (m_modeWord & 0xFu) || m_tableMode == 2) return false;
    if (operand->getKind() != ST_OP_SYSVAR) return false;
    const StSyBaseSymbEntry* e = entryOf(operand->getSID());
    return !e || e->getKind() == ST_KIND_SYSVAR;
}

int32_t StSymbTable::memberOffset(const StSyBaseSymbEntry* member, StTypeID ownerTid, bool bitAddressed) const
{
    if (bitAddressed) {
        // The flat item position the member selection adds (getMemberOrdinal).
        const StASMUserOperand probe(ST_INVALID_SID, ownerTid, MC_OTHER, 0, 0, ST_INVALID_SID);
        return int32_t(getMemberOrdinal(&probe, member->getStorageAddress(), getEntryTypeID(member)));
    }
    int32_t offset = member->getStorageAddress();
    const StSyBaseTypeNode* owner = m_types->findNode(ownerTid);
    if (owner && owner->kind() == ST_NODE_FUNC && !member->getSecondFlag()) offset -= frameBase(ownerTid);
    return offset;
}

int32_t StSymbTable::frameBase(StTypeID funcTid) const
{
    // Frame-relative members of a function type lie behind its arguments:
    // the frame holds the whole (total) size, the instance its own size.
    const StSyBaseTypeNode* node = m_types->findNode(funcTid);
    if (!node || node->kind() != ST_NODE_FUNC) return 0;
    const int32_t base = node->size() - node->getSizeField();
    return base > 0 ? base : 0;
}

StSyBaseSymbEntry* StSymbTable::declarationOf(StSymbEntryID start, StTypeID tid) const
{
    StSymbEntryID cur = start;
    for (size_t steps = 0; steps <= m_entries->size(); ++steps) {
        StSyBaseSymbEntry* d = m_entries->findEntry(cur);
        if (!d) return nullptr;
        if (d->getTypeID() == tid) return d;
        const StSymbEntryID next = d->getTypeRefSID();
        if (next == cur) return nullptr;
        cur = next;
    }
    return nullptr;
}

bool StSymbTable::memberEligible(const StSyBaseSymbEntry* m, bool inFunction, int refState) const
{
    if (inFunction && (m->getKind() == ST_KIND_FUNC || m->getKind() == ST_KIND_FUNCBLOCK ||
                       m->getKind() == ST_KIND_PROGRAM))
        return false;
    const int32_t access = m->getAccessMode();
    if (access == ST_ACCESS_TEMPLOCAL) return false;
    return (access == ST_ACCESS_READWRITE) == (refState == 2);
}

String StSymbTable::getSymbolName(const StASMOperand* op) const
{
    const String unknown(kUnknown);
    if (!op || inError()) return unknown;
    if (op->getKind() == ST_OP_BITACCESS) {
        const auto* bit = static_cast<const StASMBitAccessOperand*>(op);
        if (!bit->first()) return String();
        String name = getSymbolName(bit->first());
        const StConstantElem* elem = bit->second() ? bit->second()->getConstElem() : nullptr;
        const StConstantVal* v = elem ? (elem->getValue() ? elem->getValue() : getConstant(elem->getCID())) : nullptr;
        int32_t number;
        if (!v || !v->getLong(number)) return unknown;
        char text[16];
        std::snprintf(text, sizeof text, ".%d", number);
        name += text;
        return name;
    }
    if (op->getKind() == ST_OP_DIRECT) return getAddressText(op);

    StSymbEntryID sid = op->getSID();
    if (op->getKind() == ST_OP_CONST) {
        const StConstantElem* elem = op->getConstElem();
        sid = elem && elem->getSyID().isValid() ? elem->getSyID() : op->getConstSID();
    }
    const StSyBaseSymbEntry* sym = entryOf(sid);
    if (!sym && op->getKind() == ST_OP_VIRTUAL) return static_cast<const StASMVirtualOperand*>(op)->getNameSpaceName();

    // The prefix.
    String name;
    const StSymbEntryID scopeSid = op->getToID().isValid() ? op->getToID() : op->getOwnerId();
    const StSyBaseSymbEntry* scope = entryOf(scopeSid);
    if (const StASMOperand* base = op->getToRef()) {
        name = getSymbolName(base);
        if (name == kUnknown) return unknown;
        name += ".";
    } else if (scope && scope->getKind() == ST_KIND_TASK) {
        if (!scope->getName()) return unknown;
        name = *scope->getName();
        if (!sym) return name;
        name += ".";
    } else if (op->getScopeClass() == 4 && scope && scope->getKind() != ST_KIND_TOTYPE && scope != sym) {
        if (!scope->getName()) return unknown;
        name = *scope->getName();
        if (!sym) return name;
        name += ".";
    }
    if (!sym || !sym->getName()) return unknown;

    // The symbol.
    if (const StSyBaseSymbEntry* owner = entryOf(sym->getUnitSID())) {
        const uint32_t k = owner->getKind();
        if ((k == ST_KIND_FUNC || k == ST_KIND_FUNCBLOCK || k == ST_KIND_PROGRAM) && owner->getName()) {
            name += *owner->getName();
            name += ".";
        }
    }
    name += *sym->getName();

    // The path below the symbol.
    const bool bits = isBitAddressedSysVar(op);
    const int refState = op->getRefState();
    int64_t offset = op->getFixOff();
    StTypeID type = getEntryTypeID(sym);
    StSyBaseSymbEntry* decl = entryOf(sym->getTypeRefSID());
    // A path is never deeper than the number of types (a type read from a
    // file may contain itself).
    for (size_t depth = 0; type != op->getTID(); ++depth) {
        const StSyBaseTypeNode* node = m_types->findNode(type);
        if (!node || depth > m_types->nodes().size()) return unknown;
        if (node->kind() == ST_NODE_ARRAY && node->specCode() != ST_SPEC_STRING) {
            const StTypeID element = node->elementType();
            int64_t size, rest = offset;
            if (bits) {
                size = m_types->getItemCount(element);
                rest -= 1;  // the array's own item
            } else {
                size = m_types->getAlignedSize(element, 0, m_types->getAlignment(element), false);
            }
            if (size <= 0 || rest < 0) return unknown;
            const int64_t index = rest / size;
            if (index >= int64_t(node->elementCount())) return unknown;
            int32_t lower, upper;
            getArrayBounds(type, lower, upper);
            char text[32];
            std::snprintf(text, sizeof text, "[%lld]", static_cast<long long>(index + lower));
            name += text;
            offset = rest - index * size;
            type = element;
            decl = decl ? declarationOf(decl->getID(), element) : nullptr;
        } else if (node->kind() == ST_NODE_STRUCT || node->kind() == ST_NODE_FUNC) {
            if (!decl) return unknown;
            std::vector<StSyBaseSymbEntry*> members;
            collectSymbols(members, decl->getSubValidRange(), decl->getSubNameRange(), true);
            const bool inFunction = node->kind() == ST_NODE_FUNC;
            const StSyBaseSymbEntry* best = nullptr;
            int32_t bestOffset = 0;
            for (const StSyBaseSymbEntry* m : members) {
                if (!m->getName() || !memberEligible(m, inFunction, refState)) continue;
                const int32_t mo = memberOffset(m, type, bits);
                if (bits && mo == 0) continue;
                if (mo <= offset && (!best || mo > bestOffset)) {
                    best = m;
                    bestOffset = mo;
                }
            }
            if (!best) return unknown;
            name += ".";
            name += *best->getName();
            offset -= bestOffset;
            type = getEntryTypeID(best);
            decl = entryOf(best->getTypeRefSID());
        } else {
            break;  // an elementary view of the place
        }
    }
    return name;
}
