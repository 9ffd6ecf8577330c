// The name export of StNameMengeler: the symbol table's entries written as
// name-exports records (see StNameMengeler.h and StNameExportFormat.h).
#include <algorithm>
#include <vector>

#include "base/st/stsymtab/StNameMengeler.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

const String kAnonymousName("$$");
constexpr uint32_t kFrameFlag16 = 1u << 16;
constexpr uint32_t kFrameNoNumber = 1u << 13;

const String& nameOf(const StSyBaseSymbEntry* e)
{
    return e->getName() ? *e->getName() : kAnonymousName;
}

bool isAnonymous(const StSyBaseSymbEntry* e)
{
    return nameOf(e) == kAnonymousName;
}

// Elementary in the sense of the older initial-value rules.
bool isElementary(const StSyBaseTypeNode* node)
{
    if (!node) return false;
    const uint32_t c = node->elemCode();
    return (c >= 1 && c <= 15) || (c >= 18 && c <= 21);
}

// Export format 1 writes no values of structures, function types and
// arrays of non-elementary elements.
bool formatOneCarries(const StSymbTable& table, const StSyBaseTypeNode* node)
{
    switch (node->kind()) {
    case ST_NODE_STRUCT:
    case ST_NODE_FUNC: return false;
    case ST_NODE_ARRAY: return isElementary(table.findTypeNode(node->elementType()));
    default: return true;
    }
}

bool isInitKind(int32_t kind)
{
    return kind == ST_CONST_STD || kind == ST_CONST_STRUCT || kind == ST_CONST_STRING || kind == ST_CONST_PCKINIT;
}

}  // namespace

// ---------------------------------------------------------------------------
// Sequence

bool StNameMengeler::beginExport(StSymbTable* table, FsSecCl* stream, StSymbEntryID unit, bool unitFlag)
{
    if (!table || !stream || m_importing || m_exporting) return false;
    m_table = table;
    m_stream = stream;
    m_exporting = true;
    m_count = 0;
    m_unitFlag = unitFlag;
    m_unitPrefix = "@@";
    if (const String* name = table->getName(unit)) m_unitPrefix += *name;
    stNeWriteHeader(*stream, 2);
    table->getGlobalEntry(m_unitRange.vr, m_unitRange.nr);
    return true;
}

void StNameMengeler::endExport()
{
    if (!m_exporting) return;
    stNeWriteCount(*m_stream, m_count);
    m_exporting = false;
    m_table = nullptr;
    m_stream = nullptr;
}

bool StNameMengeler::exportOne(StSymbEntryID sid)
{
    if (!m_exporting) return false;
    const StSyBaseSymbEntry* e = m_table->findEntry(sid);
    if (!e || !writeEntry(e, nodeOf(e)) || m_stream->hasError()) return false;
    ++m_count;
    return true;
}

bool StNameMengeler::exportList(const StSymbEntryIDList& ids)
{
    for (const uint32_t sid : ids)
        if (!exportOne(StSymbEntryID(sid))) return false;
    return m_exporting;
}

bool StNameMengeler::exportVector(const StSymbEntryIDVect& ids)
{
    for (const StSymbEntryID sid : ids)
        if (!exportOne(sid)) return false;
    return m_exporting;
}

const StSyBaseTypeNode* StNameMengeler::nodeOf(const StSyBaseSymbEntry* entry) const
{
    return entry ? m_table->findTypeNode(m_table->getEntryTypeID(entry)) : nullptr;
}

// ---------------------------------------------------------------------------
// Heads

String StNameMengeler::headName(const StSyBaseSymbEntry* entry, int32_t kind) const
{
    String name = nameOf(entry);
    if (entry->getVisibility() == ST_VIS_PRIVATE && m_unitFlag && kind != NE_TOTYPE) name += m_unitPrefix;
    return name;
}

int32_t StNameMengeler::classifySymbol(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    if (!m_exporting || !entry || !node) return NE_NOT_EXPORTED;
    int32_t kind = NE_NOT_EXPORTED;
    switch (entry->getKind()) {
    case ST_KIND_TYPESPEC: {
        if (isAnonymous(entry) || node->kind() == ST_NODE_FUNC) break;
        const StSyBaseSymbEntry* type = m_table->findEntry(entry->getTypeRefSID());
        if (type && type != entry && type->getTypeID() == entry->getTypeID()) {
            kind = NE_TYPEDEF;
            break;
        }
        switch (node->kind()) {
        case ST_NODE_STD: kind = NE_TYPEDEF; break;
        case ST_NODE_ARRAY: kind = node->specCode() == ST_SPEC_STRING ? NE_TYPEDEF : NE_ARRAY; break;
        case ST_NODE_ENUM: kind = NE_ENUM; break;
        case ST_NODE_STRUCT: kind = NE_STRUCT; break;
        case ST_NODE_SUBRANGE: kind = NE_SUBRANGE; break;
        default: break;
        }
        break;
    }
    case ST_KIND_CONST: kind = NE_CONSTANT; break;
    case ST_KIND_VAR: kind = NE_VARIABLE; break;
    case ST_KIND_GLOBVAR: kind = NE_GLOBAL; break;
    case ST_KIND_SYSVAR: kind = NE_SYSVAR; break;
    case ST_KIND_INTERFACEVAR: kind = NE_INTERFACE; break;
    case ST_KIND_FUNC:
    case ST_KIND_FUNCBLOCK:
    case ST_KIND_PROGRAM: kind = NE_PROGRAM_UNIT; break;
    case ST_KIND_TOTYPE: kind = NE_TOTYPE; break;
    case ST_KIND_DIRECTVAR: kind = NE_DIRECT_VAR; break;
    default: break;
    }
    stNePut(*m_stream, kind);
    stNePut(*m_stream, headName(entry, kind));
    return kind;
}

bool StNameMengeler::writeEntry(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    if (!m_exporting || !entry || !node) return false;
    const int32_t kind = classifySymbol(entry, node);
    const bool ok = kind == NE_TOTYPE ? writeTOTypeEntry(entry, node) : writeEntryFields(kind, entry, node);
    return ok && !m_stream->hasError();
}

// ---------------------------------------------------------------------------
// Type references

const StSyBaseSymbEntry* StNameMengeler::scopeOwner(StRangeID vr, StRangeID nr) const
{
    if (const StSyBaseSymbEntry* ns = m_table->findNameSpace(vr, nr)) return ns;
    for (const auto& kv : m_table->entries()->entries()) {
        const StSyBaseSymbEntry* e = kv.second;
        if (e->getKind() != ST_KIND_TYPESPEC && e->getSubValidRange() == vr && e->getSubNameRange() == nr) return e;
    }
    return nullptr;
}

String StNameMengeler::typeRefName(const StSyBaseSymbEntry* type) const
{
    const String& own = nameOf(type);
    if (type->getKind() == ST_KIND_TOTYPE) return String("TO#") + own;
    if (own == kAnonymousName) return own;
    const bool qualifyBehind = type->getVisibility() == ST_VIS_PRIVATE && m_unitFlag;
    String name = own;
    if (qualifyBehind) name += m_unitPrefix;
    // The owners of the enclosing scopes, innermost first.
    std::vector<const String*> scopes;
    StRangeID vr = type->getVR(), nr = type->getNR();
    while (scopes.size() < size_t(kStNeMaxDepth) && !(vr == m_unitRange.vr && nr == m_unitRange.nr)) {
        const StSyBaseSymbEntry* owner = scopeOwner(vr, nr);
        if (!owner || owner == type) break;
        scopes.push_back(&nameOf(owner));
        vr = owner->getVR();
        nr = owner->getNR();
    }
    if (scopes.empty()) return name;
    if (qualifyBehind) {
        name += "@";
        for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) (name += **it) += "@";
        return name;
    }
    String qualified;
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) (qualified += **it) += "#";
    return qualified + name;
}

bool StNameMengeler::writeTypeRef(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    return m_exporting && writeTypeRefAt(entry, node, 0);
}

bool StNameMengeler::writeTypeRefAt(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node, int depth)
{
    if (!node || depth > kStNeMaxDepth) return false;
    FsSecCl& s = *m_stream;
    const StSyBaseSymbEntry* type = entry ? m_table->findEntry(entry->getTypeRefSID()) : nullptr;
    if (type && type != entry) {
        stNePut(s, typeRefName(type));
        if (isAnonymous(type)) {
            if (node->kind() != ST_NODE_ARRAY) return false;
            if (!writeTypeRefAt(type, m_table->findTypeNode(node->elementType()), depth + 1)) return false;
            stNePut(s, static_cast<const StSyArrayTypeNode*>(node)->getLower());
            stNePut(s, node->elementCount());
        }
    } else if (node->kind() == ST_NODE_STD) {
        if (!writeElemTypeName(node->elemCode())) return false;
    } else if (node->kind() == ST_NODE_ARRAY && node->specCode() == ST_SPEC_STRING) {
        stNePut(s, String("STRING"));
    } else {
        return false;
    }
    stNePut(s, node->size());
    stNePut(s, node->alignment());
    return !s.hasError();
}

// ---------------------------------------------------------------------------
// Initial values

const StConstantVal* StNameMengeler::entryInitValue(const StSyBaseSymbEntry* entry) const
{
    const StConstEntryID cid = entry->getInitCID();
    const StConstantVal* value = m_table->getConstant(cid);
    if (!value || m_exportFormat != 2) return value;
    const StSyBaseSymbEntry* type = m_table->findEntry(entry->getTypeRefSID());
    return type && type != entry && type->getInitCID() == cid ? nullptr : value;
}

bool StNameMengeler::writeInitValue(const StConstantVal* value, const StSyBaseTypeNode* node)
{
    if (!m_exporting || !node) return false;
    FsSecCl& s = *m_stream;
    bool write = value && !(m_flags & 2u) && !((m_flags & 4u) && value->isDefault()) && node->kind() != ST_NODE_FUNC;
    if (write && m_exportFormat == 1 && !formatOneCarries(*m_table, node)) {
        if (value->getKind() == ST_CONST_PCKINIT) return false;
        write = false;
    }
    if (!write) {
        stNePut(s, int16_t(0));
        return !s.hasError();
    }
    // Importers read values of these kinds only.
    if (!isInitKind(value->getKind())) return false;
    stNePut(s, int16_t(1));
    stNePut(s, int16_t(value->getKind()));
    if (!value->writeValue(s)) return false;
    s.putBlank();  // the value form ends with a blank of its own; this one closes the field
    return !s.hasError();
}

// ---------------------------------------------------------------------------
// Fields by kind

bool StNameMengeler::writeEntryFields(int32_t kind, const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    switch (kind) {
    case NE_TYPEDEF:
    case NE_CONSTANT: return writeTypeRef(entry, node) && writeInitValue(entryInitValue(entry), node);
    case NE_ARRAY: return writeArrayType(entry, node);
    case NE_ENUM: return writeEnumType(entry, node);
    case NE_STRUCT: return writeStructType(entry, node);
    case NE_SUBRANGE: return true;
    case NE_VARIABLE:
    case NE_GLOBAL:
    case NE_SYSVAR:
    case NE_INTERFACE: return writeVariable(kind, entry, node);
    case NE_PROGRAM_UNIT: return writeProgramUnit(entry, node);
    case NE_DIRECT_VAR:
        if (!writeTypeRef(entry, node)) return false;
        stNePut(*m_stream, entry->getStorageAddress());
        stNePut(*m_stream, entry->isWritable());
        return true;
    default: return false;  // the head of an entry that is not exported stays
    }
}

bool StNameMengeler::writeArrayType(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    if (node->kind() != ST_NODE_ARRAY) return false;
    const StSyBaseTypeNode* element = m_table->findTypeNode(node->elementType());
    if (!writeTypeRef(entry, element)) return false;
    stNePut(*m_stream, static_cast<const StSyArrayTypeNode*>(node)->getLower());
    stNePut(*m_stream, node->elementCount());
    const StConstantVal* value = entryInitValue(entry);
    // A value that only repeats the element type's own initial value is
    // left to the element type.
    if (value && !isElementary(element) && value->hasSingleElement()) {
        const StConstantVal* single = value->firstElement();
        if (single && single->getKind() == ST_CONST_INTARRAY) single = single->firstElement();
        const StSyBaseSymbEntry* type = m_table->findEntry(entry->getTypeRefSID());
        const StConstantVal* own = type ? m_table->getConstant(type->getInitCID()) : nullptr;
        if (single && own && constValEqual(single, own)) value = nullptr;
    }
    return writeInitValue(value, node);
}

bool StNameMengeler::writeEnumType(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    FsSecCl& s = *m_stream;
    const StSymbEntryIDList* list = node->enumList();
    stNePut(s, uint32_t(list ? list->size() : 0));
    if (!list) return false;
    const String* initial = nullptr;
    for (const uint32_t sid : *list) {
        const StSyBaseSymbEntry* enumerator = m_table->findEntry(StSymbEntryID(sid));
        const StConstantVal* value = enumerator ? m_table->getConstant(enumerator->getInitCID()) : nullptr;
        int32_t v = 0;
        if (!value || !value->getLong(v)) return false;
        stNePut(s, nameOf(enumerator));
        stNePut(s, v);
        if (!initial && entry->getInitCID().isValid() && enumerator->getInitCID() == entry->getInitCID())
            initial = &nameOf(enumerator);
    }
    stNePut(s, int32_t(initial ? 1 : 0));
    if (initial) stNePut(s, *initial);
    getExtraIds(entry).writeToSection(s);
    stNePut(s, node->size());
    stNePut(s, node->alignment());
    return true;
}

bool StNameMengeler::writeStructType(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    FsSecCl& s = *m_stream;
    StSymbEntryIDVect members;
    m_table->getStructMembers(entry->getID(), members);
    stNePut(s, uint32_t(members.size()));
    for (const StSymbEntryID sid : members) {
        const StSyBaseSymbEntry* member = m_table->findEntry(sid);
        const StSyBaseTypeNode* memberNode = nodeOf(member);
        if (!memberNode) return false;
        stNePut(s, nameOf(member));
        if (!writeTypeRef(member, memberNode) || !writeInitValue(entryInitValue(member), memberNode)) return false;
    }
    stNePut(s, node->size());
    stNePut(s, node->alignment());
    return true;
}

bool StNameMengeler::writeVariable(int32_t kind, const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    FsSecCl& s = *m_stream;
    if (!writeTypeRef(entry, node)) return false;
    const StConstantVal* value = entryInitValue(entry);
    if (kind == NE_VARIABLE && entry->isFirstFlagTaskVar() && entry->getAccessMode() != ST_ACCESS_READONLY)
        value = nullptr;
    if (!writeInitValue(value, node)) return false;
    const bool remanent = entry->isRemanent();
    uint32_t address = uint32_t(entry->getStorageAddress());
    if (kind == NE_GLOBAL) address -= uint32_t(m_addressBase2) + (remanent ? 0u : uint32_t(m_addressBase1));
    if (kind == NE_INTERFACE && (m_flags & 1u) && !remanent) address -= uint32_t(m_addressBase1);
    stNePut(s, int32_t(address));
    if (kind == NE_INTERFACE) stNePut(s, entry->getSysVarAddress());
    stNePut(s, entry->getAccessMode());
    stNePut(s, kind == NE_GLOBAL || kind == NE_INTERFACE ? remanent : entry->getSecondFlag());
    return true;
}

bool StNameMengeler::writeProgramUnit(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node)
{
    FsSecCl& s = *m_stream;
    const StFrameProperties* frame = entry->getFrameProperties();
    if (!frame) return false;
    const int32_t unitKind = int32_t(entry->getKind());
    stNePut(s, unitKind);
    std::vector<StSyBaseSymbEntry*> members;
    m_table->collectSymbols(members, frame->membVRange, frame->membNRange, true);
    const StSyBaseSymbEntry* result = nullptr;
    if (unitKind == ST_KIND_FUNC) {
        for (const StSyBaseSymbEntry* m : members)
            if (m->getKind() == ST_KIND_VAR && nameOf(m) == nameOf(entry)) result = m;
        if (!(result ? writeTypeRef(result, nodeOf(result)) : writeTypeRef(nullptr, m_table->findTypeNode(0))))
            return false;
    } else {
        // The program units whose instances are members, in member order.
        std::vector<const StSyBaseSymbEntry*> used;
        for (const StSyBaseSymbEntry* m : members) {
            const StSyBaseSymbEntry* t = m_table->findEntry(m->getTypeRefSID());
            const uint32_t k = t ? uint32_t(t->getKind()) : 0;
            if ((k == ST_KIND_FUNCBLOCK || k == ST_KIND_PROGRAM) && std::find(used.begin(), used.end(), t) == used.end())
                used.push_back(t);
        }
        stNePut(s, uint32_t(used.size()));
        for (const StSyBaseSymbEntry* t : used) stNePut(s, typeRefName(t));
    }
    // List A: inputs and in-outs; list B: locals and outputs.
    for (int list = 0; list < (unitKind == ST_KIND_FUNC ? 1 : 2); ++list) {
        std::vector<const StSyBaseSymbEntry*> chosen;
        for (const StSyBaseSymbEntry* m : members) {
            const int32_t access = m->getAccessMode();
            const bool inA = access == ST_ACCESS_READONLY || access == ST_ACCESS_READWRITE;
            const bool inB = access == ST_ACCESS_LOCAL || access == ST_ACCESS_WRITEONLY;
            if (m->getKind() == ST_KIND_VAR && m != result && (list == 0 ? inA : inB)) chosen.push_back(m);
        }
        stNePut(s, uint32_t(chosen.size()));
        for (const StSyBaseSymbEntry* m : chosen) {
            stNePut(s, int32_t(NE_VARIABLE));
            stNePut(s, nameOf(m));
            if (!writeVariable(NE_VARIABLE, m, nodeOf(m))) return false;
        }
    }
    stNePut(s, (frame->flags & kFrameFlag16) != 0);
    stNePut(s, node->getAlignmentField());
    stNePut(s, node->getSizeField());
    stNePut(s, node->alignment());
    stNePut(s, node->size());
    stNePut(s, (frame->flags & kFrameNoNumber) ? int32_t(-1) : entry->getFuncIndex());
    stNePut(s, frame->frameSize);
    return true;
}

bool StNameMengeler::writeTOTypeEntry(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode*)
{
    if (!m_exporting || !entry) return false;
    const StSyBaseSymbEntry* base = m_table->findEntry(entry->getBaseTOTypeSID());
    stNePut(*m_stream, int32_t(base ? 1 : 0));
    if (base) stNePut(*m_stream, nameOf(base));
    return !m_stream->hasError();
}
