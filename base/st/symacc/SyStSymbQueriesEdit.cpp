// Editing and check queries of the symbol access table: entering symbols,
// TO assignments and exported parameter records.
#include <cstdio>
#include <cstring>

#include "platform/com.h"
#include "base/st/symacc/SyStSymbTable.h"

StSymbEntryID SyStSymbTable::insertSymbol(const char* name, StRangeID vr, StRangeID nr, uint32_t kind,
                                          StTypeID tid, StSymbEntryID typeSID)
{
    if (hasError()) return ST_INVALID_SID;
    StSymbEntryID sid;
    StSyBaseSymbEntry* e = addEntry(name, vr, nr, kind, sid);
    if (!e) return ST_INVALID_SID;
    e->setTypeID(tid);
    e->setTypeRefSID(typeSID);
    return sid;
}

// The new symbol shares the storage address of addressSID; nothing is
// entered when that symbol is unknown or has no address.
StSymbEntryID SyStSymbTable::insertAddressedSymbol(const char* name, StRangeID vr, StRangeID nr, uint32_t kind,
                                                   StTypeID tid, StSymbEntryID typeSID, StSymbEntryID addressSID)
{
    const StSyBaseSymbEntry* other = hasError() ? nullptr : findEntry(addressSID);
    if (!other || !other->hasAddress()) return ST_INVALID_SID;
    const int32_t address = other->getStorageAddress();
    const StSymbEntryID sid = insertSymbol(name, vr, nr, kind, tid, typeSID);
    if (StSyBaseSymbEntry* e = findEntry(sid)) e->setStorageAddress(address);
    return sid;
}

// The target's type symbol must be a TO type; the TO must be visible from
// the target's scope and of that TO type or one derived from it (along
// the base TO types).
bool SyStSymbTable::canAssignTO(StSymbEntryID toSID, StSymbEntryID targetSID, String& error) const
{
    error = String();
    const StSyBaseSymbEntry* target = hasError() ? nullptr : findEntry(targetSID);
    const StSyBaseSymbEntry* toType = target ? findEntry(target->getTypeRefSID()) : nullptr;
    if (!toType || toType->getKind() != ST_KIND_TOTYPE) {
        error = "not a to-type-entry";
        return false;
    }
    const StSyBaseSymbEntry* to = findEntry(toSID);
    const char* name = to && to->getName() ? to->getName()->c_str() : "";
    char b[300];
    if (!to || !isVisibleFrom(to, target->getVR(), target->getNR())) {
        std::snprintf(b, sizeof b, "%s is not in name range", name);
        error = b;
        return false;
    }
    StSymbEntryID t = to->getKind() == ST_KIND_TOTYPE ? toSID : to->getTypeRefSID();
    for (int depth = 0; depth < 64 && t != ST_INVALID_SID; ++depth) {
        if (isSameTOType(t, toType->getID())) return true;
        const StSyBaseSymbEntry* te = findEntry(t);
        t = te ? te->getBaseTOTypeSID() : ST_INVALID_SID;
    }
    std::snprintf(b, sizeof b, "%s is no compatible type", name);
    error = b;
    return false;
}

SyParamInfo::SyParamInfo()
{
    VariantInit(&value);
    VariantInit(&initValue);
}

SyParamInfo::~SyParamInfo()
{
    CoTaskMemFree(name);
    VariantClear(&value);
    VariantClear(&initValue);
}

// Name (UTF-16 in task memory), type code, address, value and initial
// value: 0, 5 unknown symbol, 0x8007000E when task memory is refused (the
// record then holds nothing allocated).
uint32_t SyStSymbTable::makeParamInfo(StSymbEntryID sid, SyParamInfo& info) const
{
    const StSyBaseSymbEntry* e = hasError() ? nullptr : findEntry(sid);
    if (!e) return 5;
    const std::string n = e->getName() ? e->getName()->stdString() : std::string();
    auto* text = static_cast<OLECHAR*>(CoTaskMemAlloc((n.size() + 1) * sizeof(OLECHAR)));
    if (!text) return 0x8007000Eu;
    for (size_t i = 0; i < n.size(); ++i) text[i] = OLECHAR(static_cast<unsigned char>(n[i]));
    text[n.size()] = 0;
    CoTaskMemFree(info.name);
    info.name = text;
    info.typeCode = getSymbolTypeCode(sid);
    info.address = StSymbTable::getSymbolAddress(sid);
    VariantClear(&info.value);
    VariantClear(&info.initValue);
    getSymbolValue(sid, &info.value, false, nullptr);
    getInitValueVariant(sid, &info.initValue, false, nullptr);
    return 0;
}
