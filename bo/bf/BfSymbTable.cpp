// Queries of the boot-function symbol table.
#include "bo/bf/BfSymbTable.h"

#include "base/st/stsymtab/StSyEntryTable.h"
#include "co/TraceApi.h"

#include <cfloat>
#include <cstdio>

namespace {
const char kSymbFile[] = "bfsymtab";
}  // namespace

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

uint32_t CBfSymbTable::assignOffsets(const StSymbEntryIDList& sids, uint32_t start)
{
    uint64_t running = start;
    for (const uint32_t id : sids) {
        const StSymbEntryID sid(id);
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

CBfStdConstantVal* CBfSymbTable::getLimit(StTypeID tid, bool max) const
{
    if (hasError() || !findTypeNode(tid) || isStructType(tid) || isArrayType(tid)) {
        TV_TRACE(4, kSymbFile, max ? "CBfSymbTable::getMax" : "CBfSymbTable::getMin", "TID(%i) is no simple type",
                 int(tid));
        return nullptr;
    }
    uint32_t type = StSymbTable::isEnumType(tid) ? uint32_t(ST_DINT) : getElemTypeId(tid);
    char real[32] = {};
    const char* text = nullptr;
    switch (type) {
    case ST_BOOL: text = max ? "1" : "0"; break;
    case ST_BYTE: case ST_USINT: text = max ? "255" : "0"; break;
    case ST_WORD: case ST_UINT: text = max ? "65535" : "0"; break;
    case ST_DWORD: case ST_UDINT: text = max ? "4294967295" : "0"; break;
    case ST_SINT: text = max ? "127" : "128"; break;
    case ST_INT: text = max ? "32767" : "32768"; break;
    case ST_DINT: text = max ? "2147483647" : "2147483648"; break;
    case ST_REAL: std::snprintf(real, sizeof real, "%G", double(FLT_MAX)); text = real; break;
    case ST_LREAL: std::snprintf(real, sizeof real, "%G", DBL_MAX); text = real; break;
    default: return nullptr;
    }
    // Literals carry no sign: a negative minimum is its magnitude, negated.
    const bool negative = !max && type != ST_BOOL && type != ST_BYTE && type != ST_USINT && type != ST_WORD &&
                          type != ST_UINT && type != ST_DWORD && type != ST_UDINT;
    int status = 0;
    const uint32_t parseAs = !negative ? type : type == ST_REAL || type == ST_LREAL ? ST_ANYREAL : ST_ANYINT;
    auto* value = new CBfStdConstantVal(String(text), parseAs, 10, status);
    if (status == 0 && negative) status = value->negate();
    if (status == 0 && value->getTypeId() != type) status = value->setType(type, false);
    if (status != 0) {
        delete value;
        return nullptr;
    }
    return value;
}

// --- operands ---

namespace {
const char kCreateOp[] = "CBfSymbTable::createSimpleASMBfOperand";
const char kTraceOp[] = "CBfSymbTable::traceASMBfOperand";
constexpr int64_t kMaxTracedElements = 1 << 20;
}  // namespace

bool CBfSymbTable::entryTypeID(const StSyBaseSymbEntry* e, StTypeID& tid) const
{
    tid = ST_INVALID_TID;
    switch (e->getKind()) {
    case ST_KIND_CONST:
    case ST_KIND_VAR: tid = getEntryTypeID(e); return true;
    case ST_KIND_TYPESPEC: tid = e->getTypeID(); return true;
    default: return false;
    }
}

uint32_t CBfSymbTable::createSimpleASMBfOperand(StSymbEntryID sid, int32_t offset, StASMBfOperand*& operand,
                                                uint32_t& address, uint32_t& size) const
{
    operand = nullptr;
    if (hasError()) {
        TV_TRACE(4, kSymbFile, kCreateOp, "Status");
        return 1;
    }
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) {
        TV_TRACE(4, kSymbFile, kCreateOp, "Symbol not found");
        return 2;
    }
    StTypeID tid;
    if (!entryTypeID(e, tid)) TV_TRACE(4, kSymbFile, kCreateOp, "unknown entryclass");
    operand = new StASMBfOperand(tid, getMachMode(tid), sid, offset);
    const uint32_t base = getOffset(sid);
    address = base == NO_OFFSET ? NO_OFFSET : uint32_t(base + uint32_t(offset));
    size = getSymbolSize(sid);
    return 0;
}

uint32_t CBfSymbTable::createSimpleASMBfOperand(const String& name, StRangeID vr, StRangeID nr, int32_t offset,
                                                StASMBfOperand*& operand, uint32_t& address, uint32_t& size) const
{
    operand = nullptr;
    if (hasError()) {
        TV_TRACE(4, kSymbFile, kCreateOp, "Status");
        return 1;
    }
    return createSimpleASMBfOperand(findSymbol(name, vr, nr), offset, operand, address, size);
}

uint32_t CBfSymbTable::traceStatusFailure() const
{
    TV_TRACE(4, kSymbFile, kTraceOp, "Status");
    return 3;
}

bool CBfSymbTable::traceStructASMBfOperand(StASMBfOperand& operand, StSymbEntryID member) const
{
    const StSyBaseSymbEntry* e = findEntry(member);
    StTypeID tid;
    if (!e || !entryTypeID(e, tid)) {
        TV_TRACE(4, kSymbFile, "CBfSymbTable::traceStructASMBfOperand", "unknown entryclass");
        return false;
    }
    operand.setSID(member);
    operand.setTID(tid);
    operand.setMachMode(getMachMode(tid));
    const uint32_t off = getOffset(member);
    if (off != NO_OFFSET) operand.addFixOff(int32_t(off));
    return true;
}

uint32_t CBfSymbTable::expandOperand(const StASMOperand* operand, std::vector<StASMBfOperand*>& parts) const
{
    if (hasError() || !operand) return traceStatusFailure();
    if (operand->getKind() != ST_OP_USER) return 1;
    // A copy of the operand as a boot-function operand.
    auto copy = [&]() -> StASMBfOperand* {
        if (auto* bf = dynamic_cast<const StASMBfOperand*>(operand)) return new StASMBfOperand(*bf);
        auto* c = new StASMBfOperand(operand->getTID(), operand->getMachMode(), operand->getSID(), operand->getFixOff());
        return c;
    };
    auto failAll = [&](uint32_t r) {
        for (StASMBfOperand* p : parts) delete p;
        parts.clear();
        return r;
    };
    const StTypeID tid = operand->getTID();
    if (isStructType(tid)) {
        uint32_t vr = 0, nr = 0;
        bool indirect = false;
        if (!getSymbolAddress(operand->getSID(), &vr, &nr, &indirect)) return failAll(traceStatusFailure());
        // A structure declared as a type has no frame: its members lie in
        // the declaration's own name range.
        if (indirect)
            if (const StSyBaseSymbEntry* decl = findEntry(SyStSymbTable::getSymbolTypeID(operand->getSID())))
                if (!decl->getFrameProperties()) nr = decl->getSubNameRange();
        StSymbEntryIDVect members;
        getSymbolsInRange(members, vr, nr);
        for (StSymbEntryID m : members) {
            const StSyBaseSymbEntry* e = findEntry(m);
            if (!e) {
                TV_TRACE(4, kSymbFile, kTraceOp, "invalid sid");
                return failAll(2);
            }
            // The scope of a structure also holds what was declared inside
            // it: types, enumerations with their enumerators, arrays. Only
            // its variables are members (a boot-function type's
            // sub-functions are variables of its scope too); the rest has
            // no place in the structure's data.
            if (e->getKind() != ST_KIND_VAR) continue;
            if (e->getName() && e->getName()->stdString().find('@') != std::string::npos) continue;
            StASMBfOperand* c = copy();
            if (!traceStructASMBfOperand(*c, m)) {
                delete c;
                TV_TRACE(4, kSymbFile, kTraceOp, "error traceStructASMBfOperand");
                return failAll(3);
            }
            parts.push_back(c);
        }
        return 0;
    }
    int32_t lower = 0, upper = 0;
    if (isArrayType(tid)) {
        if (!getArrayBounds(tid, lower, upper)) {
            TV_TRACE(4, kSymbFile, kTraceOp, "Arraybounds not found for TID(%i)", int(tid));
            return failAll(3);
        }
        // One operand per element: a bound on what one call may allocate.
        if (int64_t(upper) - lower + 1 > kMaxTracedElements) {
            TV_TRACE(4, kSymbFile, kTraceOp, "Arraybounds not found for TID(%i)", int(tid));
            return failAll(3);
        }
        const StTypeID element = getElementType(tid);
        const int32_t size = getTypeSize(element, false);
        for (int64_t i = lower; i <= upper; ++i) {
            StASMBfOperand* c = copy();
            c->setTID(element);
            c->setMachMode(getMachMode(element));
            c->addFixOff(int32_t((i - lower) * size));
            c->setNumber(0, uint32_t(int32_t(i)));
            parts.push_back(c);
        }
        return 0;
    }
    return 1;
}

// --- initial values ---

namespace {

// The value as a constant of the boot-function class of its kind (the
// argument is consumed).
StConstantVal* asBfConstant(StConstantVal* v)
{
    StConstantVal* out = nullptr;
    if (auto* std = dynamic_cast<StStdConstantVal*>(v))
        out = new CBfStdConstantVal(*std);
    else if (auto* str = dynamic_cast<StStringConstantVal*>(v))
        out = new CBfStringConstantVal(*str);
    else if (auto* st = dynamic_cast<StStructConstantVal*>(v))
        out = new CBfStructConstantVal(*st);
    else
        return v;
    delete v;
    return out;
}

}  // namespace

StConstantVal* CBfSymbTable::getInitValue(StSymbEntryID sid)
{
    const char method[] = "CBfSymbTable::getInitValue";
    StSyBaseSymbEntry* e = hasError() ? nullptr : findEntry(sid);
    if (!e) {
        TV_TRACE(4, kSymbFile, method, "entry not found for SID(%i)", int(sid.get()));
        return nullptr;
    }
    if (e->getInitCID().isInvalid()) {
        const StTypeID tid = getEntryTypeID(e);
        StConstantVal* value = createInitValue(tid);
        StConstEntryID cid = ST_INVALID_CID;
        if (value) {
            value = asBfConstant(value);
            cid = m_bfConstants->getCID(value);
            if (cid.isInvalid()) cid = m_bfConstants->addConstantVal(value);
            delete value;  // null when the table took it
        }
        if (cid.isInvalid()) {
            TV_TRACE(4, kSymbFile, method, "appendConstantVal failed for SID(%i) TID(%i)", int(sid.get()), int(tid));
            return nullptr;
        }
        e->setInitCID(cid);
    }
    return getConstantVal(e->getInitCID());
}

namespace {
// Bounds of the search for the sub-functions on an operand's path (the
// types a compile makes nest a few levels; a table read from a damaged
// section must not make the search run long).
constexpr int kMaxPathDepth = 64;
constexpr int kMaxPathVisits = 1 << 16;
}  // namespace

bool CBfSymbTable::findWalkedPath(StSymbEntryID decl, StSymbEntryID target, uint64_t walked, uint64_t want,
                                  int depth, int& visits, std::vector<StSymbEntryID>& path) const
{
    const StSyBaseSymbEntry* d = findEntry(decl);
    if (!d || depth >= kMaxPathDepth || !isStructType(d->getTypeID())) return false;
    StSymbEntryIDVect members;
    getSymbolsInRange(members, d->getSubValidRange(), d->getSubNameRange());
    for (StSymbEntryID m : members) {
        if (++visits > kMaxPathVisits) return false;
        const StSyBaseSymbEntry* e = findEntry(m);
        const uint32_t offset = e && e->getKind() == ST_KIND_VAR ? getOffset(m) : NO_OFFSET;
        if (offset == NO_OFFSET) continue;
        // A walk adds each symbol's address in its type: offset plus one.
        const uint64_t at = walked + offset + 1;
        if (at > want) continue;
        path.push_back(m);
        if ((m == target && at == want) ||
            findWalkedPath(getSymbolTypeID(m), target, at, want, depth + 1, visits, path))
            return true;
        path.pop_back();
    }
    return false;
}

bool CBfSymbTable::getOperandContents(const StASMBfOperand& operand, String& text)
{
    bool known = true;
    auto nameOf = [&](StSymbEntryID sid) {
        String* n = hasError() ? nullptr : getName(sid);
        known = known && n;
        return n ? n->stdString() : std::string("???");
    };
    const StSymbEntryID first = operand.getAdrSID(), sid = operand.getSID();
    const StBfSidOffset& pair = operand.getSidOffset();
    std::string out;
    bool endsWithSymbol = false;
    if (first.isValid() && first != sid) {
        out = nameOf(first);
        // The operand keeps its first symbol and, in its pair, the symbol
        // an operand-name walk reached with the offset it walked: the
        // sub-functions between them are found again from that offset.
        if (pair.first.isValid() && pair.first != first) {
            const StSyBaseSymbEntry* f = hasError() ? nullptr : findEntry(first);
            const StSymbEntryID decl = f && f->getKind() == ST_KIND_TYPESPEC ? first : getSymbolTypeID(first);
            std::vector<StSymbEntryID> path;
            int visits = 0;
            if (findWalkedPath(decl, pair.first, 0, pair.second, 0, visits, path)) {
                for (StSymbEntryID m : path) out += "." + nameOf(m);
                endsWithSymbol = pair.first == sid;
            } else {
                out += ".???";
                known = false;
            }
        }
    }
    if (!endsWithSymbol) out += (out.empty() ? "" : ".") + nameOf(sid);
    const StTypeID symbolType = getTypeID(operand.getSID());
    if (isArrayType(symbolType) && operand.getTID() != symbolType) out += "[" + std::to_string(int32_t(operand.getNumber(0))) + "]";
    out += " = ";
    const StConstEntryID cid = getInitValID(operand.getSID());
    const StConstantVal* value = cid.isValid() ? getConstantVal(cid) : nullptr;
    if (value) {
        out += bfValueText(*value);
    } else {
        TV_TRACE(4, kSymbFile, "CBfSymbTable::getOperandContents", "no init-Val found for SID(%i)",
                 int(operand.getSID().get()));
        out += "???";
        known = false;
    }
    text = String(out.c_str());
    return known;
}
