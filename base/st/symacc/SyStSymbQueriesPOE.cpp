// Program-unit queries of the symbol access table: kind texts, task and
// program-unit operands, frames, instance offsets and the unit listing.
#include <cstdio>
#include <ostream>
#include <vector>

#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

const char* poeKeyword(uint32_t kind)
{
    switch (kind) {
    case ST_KIND_TASK: return "TASK";
    case ST_KIND_PROGRAM: return "PROGRAM";
    case ST_KIND_FUNCBLOCK: return "FUNCTION_BLOCK";
    case ST_KIND_FUNC: return "FUNCTION";
    default: return nullptr;
    }
}

bool isPOEKind(uint32_t kind) { return kind >= ST_KIND_FUNC && kind <= ST_KIND_TASK; }

}  // namespace

// "<KEYWORD> '<name>'", and for a typed unit " : '<type name>'"; false (text
// empty) for an entry that is no program unit.
bool SyStSymbTable::getPOEKindText(StSymbEntryID sid, String& text) const
{
    text = String();
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    const char* kw = e ? poeKeyword(e->getKind()) : nullptr;
    if (!kw) return false;
    text = kw;
    text += " ";
    text += quotedName(e->getName());
    const StSyBaseSymbEntry* type = findEntry(e->getTypeRefSID());
    if (type && type->getName()) {
        text += " : ";
        text += quotedName(type->getName());
    }
    return true;
}

bool SyStSymbTable::isPOETypedSymbol(const StASMOperand* operand) const
{
    if (!operand || inError()) return false;
    const StSyBaseSymbEntry* e = findEntry(operand->getSID());
    if (!e) return false;
    if (!isPOEKind(e->getKind())) e = findEntry(e->getTypeRefSID());
    return e && isPOEKind(e->getKind()) && e->getTypeID() != operand->getTID();
}

bool SyStSymbTable::isTaskOperand(const StASMOperand* operand) const
{
    if (!operand || inError()) return false;
    const StSyBaseSymbEntry* e = findEntry(operand->getSID());
    if (!e) return false;
    if (e->getKind() == ST_KIND_TASK) return true;
    // Not resolved to a task itself: the symbol's type must be one and the
    // operand must address it as a task (machine mode 13).
    const StSyBaseSymbEntry* type = findEntry(e->getTypeRefSID());
    return type && type->getKind() == ST_KIND_TASK && operand->getMachMode() == 13;
}

StSymbEntryID SyStSymbTable::findPOEByFrame(StRangeID vr, StRangeID nr) const
{
    if (inError()) return ST_INVALID_SID;
    for (uint32_t kind : {ST_KIND_FUNC, ST_KIND_FUNCBLOCK, ST_KIND_PROGRAM}) {
        StSymbEntryIDVect list;
        listSymbolsOfKind(list, kind);
        for (StSymbEntryID sid : list) {
            const StSyBaseSymbEntry* e = findEntry(sid);
            const StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
            if (f && f->membVRange == vr && f->membNRange == nr) return sid;
        }
    }
    return ST_INVALID_SID;
}

// A unit's type node accepts an instance offset when it is a frame or a
// structure node.
uint32_t SyStSymbTable::getPOEInstanceOffset(StSymbEntryID sid) const
{
    constexpr uint32_t kNone = 0x7FFFFFFFu;
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e || (e->getKind() != ST_KIND_FUNCBLOCK && e->getKind() != ST_KIND_PROGRAM)) return kNone;
    const StSyBaseTypeNode* n = findTypeNode(e->getTypeID());
    if (!n || (n->kind() != ST_NODE_FUNC && n->kind() != ST_NODE_STRUCT)) return kNone;
    const StSyBaseTypeNode* memAdr = findStdTypeNode(17);
    uint32_t align = memAdr ? memAdr->alignment() : 1;
    if (align == 0) align = 1;
    const uint32_t offset = (16 + align - 1) / align * align;
    return offset | 0xFD000000u;
}

int32_t SyStSymbTable::getStartLineOfPOE(StSymbEntryID sid) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    const StFrameProperties* f = e && isPOEKind(e->getKind()) ? e->getFrameProperties() : nullptr;
    return f ? f->startLine : -1;
}

// One line per unit in SID order: "<KEYWORD> '<name>' line <start line>",
// then its parameters. The count of units listed.
int32_t SyStSymbTable::listPOEs(std::ostream& os) const
{
    if (inError()) return 0;
    StSymbEntryIDVect list;
    listSymbolIDs(list, StSymbEntryID(0), getCurrentSID());
    int32_t count = 0;
    for (StSymbEntryID sid : list) {
        String text;
        if (!getPOEKindText(sid, text)) continue;
        os << text.c_str() << " line " << getStartLineOfPOE(sid) << "\n";
        _listPOEParams(sid, os);
        ++count;
    }
    return count;
}

// "  <prefix><name> : <type>[ = <value>]" per member of the unit's frame,
// prefix "function." for the members of a function. An enumerated member
// whose constant names no enumerator shows "?illegal enum value?"; a
// member whose type cannot be named, "Error printOutVar".
bool SyStSymbTable::_listPOEParams(StSymbEntryID sid, std::ostream& os) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    const StFrameProperties* f = e ? e->getFrameProperties() : nullptr;
    if (!f || f->membVRange == ST_INVALID_VR || f->membNRange == ST_INVALID_NR) {
        char buf[256];
        std::snprintf(buf, sizeof buf, "error getMemberRanges of %s (0x%08X)",
                      e && e->getName() ? e->getName()->c_str() : "", uint32_t(sid));
        os << buf << "\n";
        return false;
    }
    const char* prefix = e->getKind() == ST_KIND_FUNC ? "function." : "";
    std::vector<StSyBaseSymbEntry*> members;
    collectSymbols(members, f->membVRange, f->membNRange, true);
    for (const StSyBaseSymbEntry* m : members) {
        bool found = false;
        const String type = getTypeNameOfTID(m->getTypeID(), m->getTypeRefSID(), &found);
        if (!found) {
            os << "Error printOutVar\n";
            continue;
        }
        os << "  " << prefix << (m->getName() ? m->getName()->c_str() : "") << " : " << type.c_str();
        const StConstantVal* value = getConstant(m->getInitCID());
        if (value && isEnumType(m->getTypeID())) {
            StEnumValueMap values;
            getEnumValues(m->getTypeID(), values);
            int32_t v = 0;
            const bool known = value->getDInt(v);
            String name;
            for (const auto& [n, ev] : values)
                if (known && ev == v) name = n;
            os << " = " << (name.empty() ? "?illegal enum value?" : name.c_str());
        }
        os << "\n";
    }
    return true;
}
