// Symbol and type queries of the symbol access table: flags, enumerators,
// type texts and codes, constants, addresses, name ranges and dotted-name
// lookups.
#include <algorithm>
#include <cstdio>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

constexpr uint32_t kOtherTypeCode = 4126;

}  // namespace

String SyStSymbTable::quotedName(const String* name)
{
    String s("'");
    if (name) s += *name;
    s += "'";
    return s;
}

bool SyStSymbTable::getSymbolGlobalFlag(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    return e && e->getSecondFlag();
}

bool SyStSymbTable::enumeratorConstant(StSymbEntryID sid, int32_t& value) const
{
    const StConstantVal* c = getConstant(getEntryCID(sid));
    return c && c->getDInt(value);
}

StSymbEntryID SyStSymbTable::findEnumElemByValue(StTypeID tid, int32_t value) const
{
    const StSyBaseTypeNode* n = inError() ? nullptr : findTypeNode(tid);
    const StSymbEntryIDList* list = n && n->kind() == ST_NODE_ENUM ? n->enumList() : nullptr;
    if (!list) return ST_INVALID_SID;
    for (StSymbEntryID sid : *list) {
        int32_t v = 0;
        if (enumeratorConstant(sid, v) && v == value) return sid;
    }
    return ST_INVALID_SID;
}

bool SyStSymbTable::findEnumElemByName(StTypeID tid, const String& name, StSymbEntryID& sid, void* value) const
{
    sid = ST_INVALID_SID;
    uint32_t base = 30;
    const StSyBaseTypeNode* n = inError() ? nullptr : findTypeNode(tid);
    if (!n || n->kind() != ST_NODE_ENUM || !isEnumType(tid, &base)) return false;
    if (base != ST_INT && base != ST_DINT) return false;
    const StSymbEntryIDList* list = n->enumList();
    if (!list) return false;
    for (StSymbEntryID e : *list) {
        const String* en = getName(e);
        int32_t v = 0;
        if (!en || en->stdString() != name.stdString() || !enumeratorConstant(e, v)) continue;
        sid = e;
        if (value && base == ST_INT) *static_cast<int16_t*>(value) = int16_t(v);
        if (value && base == ST_DINT) *static_cast<int32_t*>(value) = v;
        return true;
    }
    return false;
}

// Elementary types by their names; ANYOBJECT; arrays as "ARRAY [l..u] OF
// <element>" (" OF ANYOBJECT" for object arrays); other types by their
// declaration's quoted name, followed by "@@" when the declaration is
// imported from another unit.
bool SyStSymbTable::getTypeText(StSymbEntryID sid, String& text) const
{
    text = String();
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e) return false;
    const StTypeID tid = getEntryTypeID(e);
    if (tid == ST_ANYOBJECT) {
        text = "ANYOBJECT";
        return true;
    }
    if (isArrayType(tid)) return getArrayTypeText(e, text);
    if (tid < ST_FIRST_USER_TID || isStringType(tid)) {
        text = getTypeNameOfTID(tid);
        return true;
    }
    const StSyBaseSymbEntry* decl = findEntry(e->getTypeRefSID());
    if (!decl || !decl->getName()) return false;
    text = quotedName(decl->getName());
    if (decl->getVisibility() == ST_VIS_IMPORT) text += "@@";
    return true;
}

StSymbEntryID SyStSymbTable::findSymbolTypeID(StTypeID tid) const
{
    if (inError()) return ST_INVALID_SID;
    StSymbEntryIDVect list;
    listSymbolIDs(list, StSymbEntryID(0), getCurrentSID());
    for (StSymbEntryID sid : list) {
        const StSyBaseSymbEntry* e = findEntry(sid);
        // A type declaration is its own type symbol.
        if (e && e->getTypeID() == tid) return e->getKind() == ST_KIND_TYPESPEC ? sid : e->getTypeRefSID();
    }
    return ST_INVALID_SID;
}

uint32_t SyStSymbTable::getSymbolTypeCode(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    const StSyBaseTypeNode* n = e ? findTypeNode(e->getTypeID()) : nullptr;
    if (!n) return kOtherTypeCode;
    if (n->kind() == ST_NODE_STD) return 0x1000u + n->elemCode();
    if (n->kind() == ST_NODE_ARRAY) return 0x2000u + n->specCode();
    return kOtherTypeCode;
}

uint32_t SyStSymbTable::elemTypeSpec(uint32_t id) { return 0x1000u + std::min<uint32_t>(id, 30); }

// "TASK" for a task; a declared enumeration as "enum/<name>", an anonymous
// one as "(a, b, c)"; a subrange as "<base>[<lower>..<upper>]"; else the
// type's name.
bool SyStSymbTable::formatTypeName(StSymbEntryID sid, String& text) const
{
    text = String();
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e) return false;
    if (e->getKind() == ST_KIND_TASK) {
        text = "TASK";
        return true;
    }
    const StTypeID tid = getEntryTypeID(e);
    const StSyBaseTypeNode* n = findTypeNode(tid);
    if (n && n->kind() == ST_NODE_ENUM) {
        const StSyBaseSymbEntry* decl = findEntry(e->getTypeRefSID());
        if (decl && decl->getKind() == ST_KIND_TYPESPEC && decl->getName()) {
            text = "enum/";
            text += *decl->getName();
            return true;
        }
        text = "(";
        bool first = true;
        if (const StSymbEntryIDList* list = n->enumList())
            for (StSymbEntryID m : *list) {
                if (!first) text += ", ";
                first = false;
                if (const String* mn = getName(m)) text += *mn;
            }
        text += ")";
        return true;
    }
    if (n && n->kind() == ST_NODE_SUBRANGE) {
        StConstEntryID lo, hi;
        n->subrangeBounds(lo, hi);
        const StConstantVal* l = getConstant(lo);
        const StConstantVal* h = getConstant(hi);
        int32_t lv = 0, hv = 0;
        if (!l || !h || !l->getDInt(lv) || !h->getDInt(hv)) return false;
        char b[48];
        std::snprintf(b, sizeof b, "[%d..%d]", lv, hv);
        text = getTypeNameOfTID(n->subrangeBaseType());
        text += b;
        return true;
    }
    bool found = false;
    text = getTypeNameOfTID(tid, e->getTypeRefSID(), &found);
    return found;
}

bool SyStSymbTable::isTypeSpecOperand(const StASMOperand* operand) const
{
    return operand && !inError() && getEntryKind(operand->getSID()) == ST_KIND_TYPESPEC;
}

bool SyStSymbTable::getRecordSymbolName(const StASMOperand* operand, String& name) const
{
    const StSyBaseSymbEntry* e = operand && !inError() ? findEntry(operand->getSID()) : nullptr;
    const StSyBaseSymbEntry* ref = e ? findEntry(e->getTypeRefSID()) : nullptr;
    if (!ref || !ref->getName()) return false;
    name = *ref->getName();
    return true;
}

const StConstantVal* SyStSymbTable::getConstValOfSymbol(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e || e->getKind() != ST_KIND_CONST) return nullptr;
    return getConstant(e->getInitCID());
}

// Dotted names: the first part in (vr, nr) and its chain, each further
// part in the member scope of the one before.
StSymbEntryID SyStSymbTable::resolveDottedName(const String& name, StRangeID vr, StRangeID nr) const
{
    const std::string s = name.stdString();
    StSymbEntryID sid = ST_INVALID_SID;
    size_t pos = 0;
    bool first = true;
    while (true) {
        const size_t dot = s.find('.', pos);
        const String part(s.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos).c_str());
        if (part.empty()) return ST_INVALID_SID;
        if (first) {
            sid = findSymbolEntry(part, vr, nr);
        } else {
            uint32_t mvr = ST_INVALID_VR, mnr = ST_INVALID_NR;
            if (!getSymbolAddress(sid, &mvr, &mnr, nullptr) || mvr == ST_INVALID_VR) return ST_INVALID_SID;
            sid = findSymbol(part, mvr, mnr);
        }
        if (sid == ST_INVALID_SID) return sid;
        first = false;
        if (dot == std::string::npos) return sid;
        pos = dot + 1;
    }
}

StSymbEntryID SyStSymbTable::findSymbolInScope(const String& name, StRangeID vr, StRangeID nr,
                                               bool withMembers) const
{
    if (inError()) return ST_INVALID_SID;
    return withMembers ? resolveDottedName(name, vr, nr) : findSymbol(name, vr, nr);
}

// The "_device" symbol in the member scope of what the dotted name names.
StSymbEntryID SyStSymbTable::resolveDeviceName(const String& name) const
{
    const StSymbEntryID sid = findSymbolInScope(name, getGlobalVR(), getGlobalNR(), true);
    uint32_t vr = ST_INVALID_VR, nr = ST_INVALID_NR;
    if (sid == ST_INVALID_SID || !getSymbolAddress(sid, &vr, &nr, nullptr)) return ST_INVALID_SID;
    return findSymbol(String("_device"), vr, nr);
}

// The task variable "<name>" lies in the member scope of the global
// "_task" symbol: the address of "_task.<name>".
bool SyStSymbTable::getTaskSymbolAddress(const String& name, uint32_t& address) const
{
    address = 0x7FFFFFFFu;
    String dotted("_task.");
    dotted += name;
    const StSymbEntryID sid = findSymbolInScope(dotted, getGlobalVR(), getGlobalNR(), true);
    if (sid == ST_INVALID_SID) return false;
    address = StSymbTable::getSymbolAddress(sid);
    return address != 0x7FFFFFFFu;
}

uint32_t SyStSymbTable::getSymbolNameAndAddress(StSymbEntryID sid, String& name, uint32_t* first,
                                                uint32_t* second, bool* indirect) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e || !getSymbolAddress(sid, first, second, indirect)) return kUnknownSymbol;
    name = e->getName() ? *e->getName() : String();
    return 0;
}

bool SyStSymbTable::getSymbolAddressAndType(StSymbEntryID sid, uint32_t& address, StSymbEntryID* typeSID) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e) return false;
    address = StSymbTable::getSymbolAddress(sid);
    if (typeSID) *typeSID = e->getTypeRefSID();
    return true;
}

bool SyStSymbTable::isInNameRange(StSymbEntryID sid, const String* name) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e) return false;
    if (!name) return e->getVR() == getGlobalVR() && e->getNR() == getGlobalNR();
    StSyBaseSymbEntry* ns = nullptr;
    if (findSymbol(*name, getGlobalVR(), getGlobalNR(), ST_KIND_NAMESPACE, &ns) == ST_INVALID_SID || !ns)
        return false;
    return e->getVR() == ns->getSubValidRange() && e->getNR() == ns->getSubNameRange();
}

bool SyStSymbTable::isAssignableType(StSymbEntryID sid) const
{
    const uint32_t k = inError() ? 0 : getEntryKind(sid);
    return getTableMode() == 2 && (k == ST_KIND_CONST || k == ST_KIND_TYPESPEC || k == ST_KIND_GLOBVAR);
}

// The id text is the SID in eight hex digits ("0x%08X").
SySymbolNameRecord SyStSymbTable::makeSymbolNameRecord(StSymbEntryID sid) const
{
    SySymbolNameRecord r;
    const String* n = inError() ? nullptr : getName(sid);
    if (n) r.name = *n;
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", uint32_t(sid));
    r.idText = b;
    return r;
}
