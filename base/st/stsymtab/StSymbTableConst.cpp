// StSymbTable: binding constant values to symbols and types, the checks of
// values against types, default values, named array types with their
// defaults and the layout description for the machine-spec builder.
//
// Result codes: 0 accepted, 1 error (table in error, unknown type, value
// not insertable, element not allowed here), 2 wrong kind of value or
// unsuitable symbol, 3 does not fit the type, 4 fits after conversion.
#include <memory>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/stsymtab/stmcaddr.h"

namespace {

// Deeper types are refused (types read from a file may nest without end).
constexpr int kMaxDepth = 64;

bool isTimeLike(uint32_t id)
{
    return id >= ST_TIME && id <= ST_STRUCTTASKID;
}

void retypeTo(StConstantVal& v, uint32_t tid) { v.setTypeRef(tid); }

}  // namespace

bool StSyConstValTable::changeValue(StConstEntryID cid, void (*change)(StConstantVal&, uint32_t), uint32_t arg)
{
    StConstantVal* v = m_values.get(cid.get());
    if (!v) return false;
    const bool inMap = findEquivalent(*v).value == v;
    if (inMap) unshareValue(*v);
    change(*v, arg);
    if (inMap && v->isShared()) shareValue(v, cid.get());
    return true;
}

StConstEntryID StSymbTable::enterValue(StConstantVal*& value)
{
    const StConstEntryID cid = m_constants->addConstantVal(value);
    delete value;  // refused, or an equal shared value stands for it
    value = nullptr;
    return cid;
}

void StSymbTable::retypeString(StConstEntryID cid, StTypeID tid)
{
    m_constants->changeValue(cid, retypeTo, tid);
}

// --- checks ---

int StSymbTable::checkValue(const StConstantVal* value, StTypeID tid, bool inArray, int depth) const
{
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (!node || !value || depth > kMaxDepth) return 1;
    if (value->getTypeRef() == tid) return 0;
    switch (node->kind()) {
    case ST_NODE_STD:
    case ST_NODE_SUBRANGE:
    case ST_NODE_ENUM: {
        if (value->getKind() != ST_CONST_STD) return 2;
        uint32_t id = node->kind() == ST_NODE_ENUM ? m_enumBase : getElemTypeOfTID(tid);
        if (node->kind() == ST_NODE_SUBRANGE) id = getElemTypeOfTID(node->subrangeBaseType());
        if (value->getTypeId() == id) return 0;
        // An enumeration takes the values of its enumerators, which are of
        // its base type (checked above), and no number converted into it: a
        // literal, untyped, is neither, whatever its value.
        if (node->kind() == ST_NODE_ENUM) return 3;
        if (isTimeLike(id) || isTimeLike(value->getTypeId())) return 3;
        // Fitting with loss (an integer above 24 bits as REAL) converts too.
        const int fits = value->fitsType(id);
        return fits == 0 || fits == 2 ? 4 : 3;
    }
    case ST_NODE_ARRAY:
        if (node->specCode() == ST_SPEC_STRING) {
            if (value->getKind() != ST_CONST_STRING) return 2;
            return value->getTextLength() > int32_t(node->elementCount()) - 2 ? 3 : 0;
        }
        [[fallthrough]];
    default:
        if (value->getKind() != ST_CONST_STRUCT && value->getKind() != ST_CONST_INTARRAY) return 2;
        return typeFits(tid, const_cast<StConstantVal*>(value), depth) ? 0 : 3;
    }
}

// An untyped literal answers 4 also when it fits its type exactly (300 as
// INT, 16777215 as REAL): it is of no type yet, so it fits only once
// converted, whatever it loses. 4 tells nothing wrong: addConstantElem
// goes on for 0 and 4 alike, and the array initialiser's build, whose
// status 4 carries it, is taken as 0 by its callers.
int StSymbTable::checkConstantElem(const StConstantElem& elem, StTypeID tid, bool inArray) const
{
    if (inError()) return 1;
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (!node) return 1;
    const StConstantVal* value = elem.getValue();
    if (!value && elem.getSyID().isValid()) {
        // A symbol reference: an enumerator of the type, or a named constant.
        if (node->kind() == ST_NODE_ENUM && node->enumHoldsSID(elem.getSyID())) return 0;
        const StSyBaseSymbEntry* e = m_entries->findEntry(elem.getSyID());
        if (!e) return 1;
        if (node->kind() == ST_NODE_ENUM && e->getTypeID() == tid) return 0;
        value = m_constants->getConstantVal(e->getInitCID());
    } else if (!value) {
        value = m_constants->getConstantVal(elem.getCID());
    }
    if (!value) return 1;
    if (!m_compactArrayDefaults) {
        if (value->getKind() == ST_CONST_INTARRAY) return 1;
        if (elem.getCount() != 1 && !inArray) return 1;
    }
    return checkValue(value, tid, inArray, 0);
}

bool StSymbTable::typeFits(StTypeID tid, StConstantVal* value, int depth) const
{
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (!node || !value || depth > kMaxDepth) return false;
    if (node->kind() == ST_NODE_ARRAY && node->specCode() != ST_SPEC_STRING) {
        if (value->getKind() != ST_CONST_STRUCT && value->getKind() != ST_CONST_INTARRAY) return false;
        if (value->elementCount() != node->elementCount()) return false;
        for (StConstantVal* e = value->firstElement(); e; value->nextElement(e))
            if (int r = checkValue(e, node->elementType(), true, depth + 1); r != 0 && r != 4) return false;
        return true;
    }
    if (node->kind() == ST_NODE_STRUCT || node->kind() == ST_NODE_FUNC) {
        if (value->getKind() != ST_CONST_STRUCT) return false;
        const StTypeIDList& members = node->post();
        const StConstValVector* vals = static_cast<const StStructConstantVal*>(value)->members();
        if (!vals || vals->size() != members.size()) return false;
        for (size_t i = 0; i < members.size(); ++i)
            if (int r = checkValue((*vals)[i], members[i], false, depth + 1); r != 0 && r != 4) return false;
        return true;
    }
    const int r = checkValue(value, tid, false, depth + 1);
    return r == 0 || r == 4;
}

int StSymbTable::checkValueFitsType(StTypeID tid, StConstantVal* value) const
{
    if (inError()) return 1;
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (!node || !value) return 1;
    if (node->kind() == ST_NODE_ARRAY && node->specCode() == ST_SPEC_STRING) {
        if (value->getKind() != ST_CONST_STRING) return 2;
        if (value->getTextLength() > int32_t(node->elementCount()) - 2) return 3;
        // A shared value of the table leaves its map for the change.
        const StConstEntryID cid = m_constants->findSharedValue(value);
        if (cid.isValid() && m_constants->getConstantVal(cid) == value)
            m_constants->changeValue(cid, retypeTo, tid);
        else
            value->setTypeRef(tid);
        return 0;
    }
    if (node->kind() == ST_NODE_STD || node->kind() == ST_NODE_SUBRANGE || node->kind() == ST_NODE_ENUM) {
        const int r = checkValue(value, tid, false, 0);
        return r == 4 ? 0 : r;
    }
    return typeFits(tid, value, 0) ? 0 : 3;
}

int StSymbTable::checkConstantType(StTypeID tid, StConstEntryID cid) const
{
    if (inError()) return 1;
    const StConstantVal* v = m_constants->getConstantVal(cid);
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (!v || !node) return 1;
    if (node->kind() == ST_NODE_STD && v->getKind() == ST_CONST_STD)
        return v->getTypeId() == getElemTypeOfTID(tid) ? 0 : 3;
    if (node->kind() == ST_NODE_SUBRANGE) {
        StConstEntryID lower, upper;
        m_types->getSubrangeBounds(tid, lower, upper);
        if (v->getTypeId() != getElemTypeOfTID(node->subrangeBaseType())) return 3;
        if (lower.isValid() && m_constants->compareValues(lower, cid) != 1) return 3;
        if (upper.isValid() && m_constants->compareValues(cid, upper) != 1) return 3;
    }
    return 0;
}

// --- binding ---

int StSymbTable::addConstantElem(StConstantElem& elem, StTypeID tid)
{
    if (inError()) return 1;
    const int r = checkConstantElem(elem, tid, false);
    if (r != 0 && r != 4) return r;
    if (elem.getValue()) {
        StConstantVal* v = elem.releaseValue();
        const StSyBaseTypeNode* node = m_types->findNode(tid);
        if (v->getKind() == ST_CONST_STD && node->kind() != ST_NODE_ENUM) {
            const uint32_t id = getElemTypeOfTID(node->kind() == ST_NODE_SUBRANGE ? node->subrangeBaseType() : tid);
            if (v->getTypeId() != id) v->setType(id, false);
        }
        const StConstEntryID cid = enterValue(v);
        if (cid.isInvalid()) return 1;
        elem.setCID(cid, false);
    }
    if (elem.getCID().isValid() && checkConstantType(tid, elem.getCID()) != 0) return 3;
    return 0;
}

StConstEntryID StSymbTable::assignConstant(StTypeID tid, StConstantVal* value, int& status)
{
    std::unique_ptr<StConstantVal> owned(value);
    if (inError()) {
        status = 1;
        return ST_INVALID_CID;
    }
    const StSyBaseTypeNode* node = tid == ST_INVALID_TID ? nullptr : m_types->findNode(tid);
    if (!value || !node) {
        status = 3;
        return ST_INVALID_CID;
    }
    const uint32_t kind = node->kind();
    if (kind == ST_NODE_STD || kind == ST_NODE_SUBRANGE || kind == ST_NODE_ENUM) {
        StConstantElem elem(owned.release());
        const int r = addConstantElem(elem, tid);
        if (r == 1) {
            status = 1;
            return ST_INVALID_CID;
        }
        if (r != 0 && r != 4) {
            status = 2;
            return ST_INVALID_CID;
        }
        status = 0;
        return elem.getCID();
    }
    if (checkValueFitsType(tid, value) != 0) {
        status = 3;
        return ST_INVALID_CID;
    }
    value->setTypeRef(tid);
    StConstantVal* v = owned.release();
    const StConstEntryID cid = enterValue(v);
    status = cid.isValid() ? 0 : 1;
    return cid;
}

int StSymbTable::setSymbolValue(StSymbEntryID sid, StConstEntryID cid)
{
    if (inError()) return 1;
    StSyBaseSymbEntry* e = m_entries->findEntry(sid);
    if (!e) return 2;
    switch (e->getKind()) {
    case ST_KIND_CONST:
    case ST_KIND_TYPESPEC:
    case ST_KIND_VAR:
    case ST_KIND_GLOBVAR:
    case ST_KIND_SYSVAR:
    case ST_KIND_INTERFACEVAR: break;
    default: return 2;
    }
    if (cid.isInvalid()) {
        e->setInitCID(ST_INVALID_CID);
        return 0;
    }
    const StConstantVal* v = m_constants->getConstantVal(cid);
    if (!v) return 2;
    const StTypeID tid = e->getTypeID();
    if (v->getKind() == ST_CONST_STRING) {
        if (!isStringType(tid)) return 2;
        if (v->getTextLength() > getStringCapacity(tid)) return 3;
        if (v->getTypeRef() != tid) retypeString(cid, tid);
    } else {
        const uint32_t id = v->getTypeId();
        if (id != tid && id != 30 && !isEnumType(tid)) return 2;
        if (v->getTypeRef() != ST_INVALID_TID && v->getTypeRef() != tid) return 2;
    }
    if (e->isMarked()) m_constants->markValue(cid);
    e->setInitCID(cid);
    return 0;
}

// --- default values ---

StConstantVal* StSymbTable::initValue(StTypeID tid, int depth) const
{
    if (depth > kMaxDepth) return nullptr;
    return createInitValueForNode(m_types->findNode(tid), tid);
}

StConstantVal* StSymbTable::createInitValueForNode(const StSyBaseTypeNode* node, StTypeID tid) const
{
    if (inError() || !node) return nullptr;
    // Bounds the recursion over cyclic types read from a file.
    static thread_local int depth = 0;
    if (depth > kMaxDepth) return nullptr;
    struct Guard {
        Guard() { ++depth; }
        ~Guard() { --depth; }
    } guard;
    switch (node->kind()) {
    case ST_NODE_STD: return new StStdConstantVal(node->elemCode(), true);
    case ST_NODE_SUBRANGE: return createInitValueForNode(m_types->findNode(node->subrangeBaseType()), node->subrangeBaseType());
    case ST_NODE_ENUM: {
        const StSymbEntryIDList* list = node->enumList();
        const StSyBaseSymbEntry* first = list && !list->empty() ? m_entries->findEntry((*list)[0]) : nullptr;
        const StConstantVal* v = first ? m_constants->getConstantVal(first->getInitCID()) : nullptr;
        return v ? v->clone() : new StStdConstantVal(m_enumBase, true);
    }
    case ST_NODE_ARRAY: {
        if (node->specCode() == ST_SPEC_STRING) {
            int status = 0;
            auto* s = new StStringConstantVal(tid, String(), 0, status);
            return s;
        }
        const StTypeID elemTid = node->elementType();
        StConstantVal* elem = createInitValueForNode(m_types->findNode(elemTid), elemTid);
        if (!elem) return nullptr;
        const uint32_t n = node->elementCount();
        auto* members = new StConstValVector();
        if (m_compactArrayDefaults) {
            members->push_back(new StIntArrayConstantVal(n, elem, uint32_t(m_types->getSize(elemTid)), true));
        } else {
            members->reserve(n);
            for (uint32_t i = 0; i + 1 < n; ++i) members->push_back(elem->clone());
            members->push_back(elem);
        }
        return new StStructConstantVal(tid, members, true);
    }
    case ST_NODE_STRUCT:
    case ST_NODE_FUNC: {
        auto members = std::make_unique<StConstValVector>();
        for (StTypeID m : node->post()) {
            StConstantVal* v = createInitValueForNode(m_types->findNode(m), m);
            if (!v) {
                for (StConstantVal* p : *members) delete p;
                return nullptr;
            }
            members->push_back(v);
        }
        StConstValVector* raw = members.release();
        return new StStructConstantVal(tid, raw, true);
    }
    default: return nullptr;
    }
}

// The new value has no place yet (storage address 0x7FFFFFFF), and its
// elements are laid out from there all the same: an ARRAY [0..2] OF DINT
// default gets elements at 0x80000000, 0x80000004 and 0x80000008 (the start
// rounded up to the DINT alignment). Those addresses are written with the
// value into the symbol-table sections ("bfsymb") and the readers of those
// sections have them so; a table that places the value later lays its
// elements out again from the real address. Laying out from 0 would change
// the written bytes.
StConstantVal* StSymbTable::createInitValue(StTypeID tid) const
{
    StConstantVal* v = initValue(tid, 0);
    if (!v) return nullptr;
    v->setShared(false);
    m_constants->layoutValue(v, *m_types, false);
    return v;
}

StSymbEntryID StSymbTable::addTypeDecl(const char* name, StRangeID vr, StRangeID nr, StTypeID elementTID,
                                       StSymbEntryID baseSID, int32_t lower, int32_t upper, StRangeID subRange,
                                       bool resetVisibility)
{
    if (inError()) return ST_INVALID_SID;
    const StTypeID arrayTid = m_types->createArrayType(elementTID, lower, upper);
    if (arrayTid == ST_INVALID_TID) return ST_INVALID_SID;
    StSymbEntryID sid;
    StSyBaseSymbEntry* e = addEntry(name, vr, nr, ST_KIND_TYPESPEC, sid);
    if (!e) return ST_INVALID_SID;
    if (resetVisibility) e->setVisibility(ST_VIS_PRIVATE, 0);
    e->setSubNameRange(subRange);
    e->setTypeID(arrayTid);
    const StSyBaseSymbEntry* base = m_entries->findEntry(baseSID);
    const StConstantVal* baseValue = base ? m_constants->getConstantVal(base->getInitCID()) : nullptr;
    if (baseValue) {
        const uint32_t n = uint32_t(int64_t(upper) - lower + 1);
        auto* members = new StConstValVector();
        if (m_compactArrayDefaults) {
            members->push_back(
                new StIntArrayConstantVal(n, baseValue->clone(), uint32_t(m_types->getSize(elementTID)), true));
        } else {
            members->reserve(n);
            for (uint32_t i = 0; i < n; ++i) members->push_back(baseValue->clone());
        }
        StConstantElem elem(new StStructConstantVal(arrayTid, members, true));
        const int r = addConstantElem(elem, arrayTid);
        if (r != 0 && r != 4) {
            removeEntry(sid);
            return ST_INVALID_SID;
        }
        e->setInitCID(elem.getCID());
    }
    e->setTypeRefSID(baseSID);
    if (m_usageMarking && base) registerSymbol(const_cast<StSyBaseSymbEntry*>(base));
    return sid;
}

// --- layout ---

bool StSymbTable::layoutWalk(StTypeID tid, McTypeWordList* builder, bool emit, uint32_t& count, int depth) const
{
    const StSyBaseTypeNode* node = m_types->findNode(tid);
    if (!node || depth > kMaxDepth) return false;
    auto item = [&](ESTypeSpec spec, uint8_t padding) {
        ++count;
        return !emit || builder->addItem(spec, padding);
    };
    switch (node->kind()) {
    case ST_NODE_ARRAY: {
        if (emit && !builder->addRecord2(node->elementCount(), 0)) return false;
        ++count;
        if (node->specCode() == ST_SPEC_STRING) return item(esMakeElem(ST_USINT), 0);
        return layoutWalk(node->elementType(), builder, emit, count, depth + 1);
    }
    case ST_NODE_STRUCT:
    case ST_NODE_FUNC: {
        const StTypeIDList& members = node->post();
        if (emit && !builder->addRecord4(uint32_t(members.size()), 0)) return false;
        ++count;
        int32_t offset = 0;
        for (size_t i = 0; i < members.size(); ++i) {
            const StTypeID m = members[i];
            const uint32_t nextAlign = i + 1 < members.size() ? m_types->getAlignment(members[i + 1]) : 1;
            const int32_t size = m_types->getSize(m);
            const int32_t aligned = m_types->getAlignedSize(m, offset, nextAlign ? nextAlign : 1, false);
            const StSyBaseTypeNode* mn = m_types->findNode(m);
            if (!mn) return false;
            if (mn->kind() == ST_NODE_STD || mn->kind() == ST_NODE_SUBRANGE || mn->kind() == ST_NODE_ENUM) {
                if (!item(m_types->getTypeSpec(m), uint8_t(aligned - size))) return false;
            } else if (!layoutWalk(m, builder, emit, count, depth + 1)) {
                return false;
            }
            offset += aligned;
        }
        return true;
    }
    default: return item(m_types->getTypeSpec(tid), 0);
    }
}

bool StSymbTable::describeTypeLayout(StTypeID tid, McTypeWordList* builder) const
{
    if (inError() || !builder || !m_types->findNode(tid)) return false;
    uint32_t count = 0;
    if (!layoutWalk(tid, builder, false, count, 0)) return false;
    builder->count = count;
    if (!builder->allocate()) return false;
    count = 0;
    return layoutWalk(tid, builder, true, count, 0);
}
