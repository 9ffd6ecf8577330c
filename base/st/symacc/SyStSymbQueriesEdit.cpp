// Editing and check queries of the symbol access table: entering symbols,
// TO assignments and exported parameter records.
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

#include "platform/com.h"
#include "platform/hostproject.h"
#include "platform/variant.h"
#include "co/CoHostCall.h"
#include "co/TraceApi.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

const char kFile[] = "SyStSymbTable";

// Array-range suffixes at the end of a name ("Axis[0..3][1..2]"); built
// once for the process.
const std::regex kArrayRangeSuffix("(\\[[0-9]+\\.\\.[0-9]+\\])+$");

const CoHostCallSite kTypeID{kFile, "SyStSymbTable::checkAssignCompatibility",
                             "spIProjNav->getTypeIDByObjectID(id, &typeID, &dwRet)"};
const CoHostCallSite kTypeName{kFile, "SyStSymbTable::checkAssignCompatibility",
                               "spIProjNav->getTypeNameByID(typeID, &pName, &dwRet)"};

}  // namespace

StSymbEntryID SyStSymbTable::insertSymbol(const char* name, StRangeID vr, StRangeID nr, uint32_t kind,
                                          StTypeID tid, StSymbEntryID typeSID)
{
    if (inError()) return ST_INVALID_SID;
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
    const StSyBaseSymbEntry* other = inError() ? nullptr : findEntry(addressSID);
    if (!other || !other->hasAddress()) return ST_INVALID_SID;
    const int32_t address = other->getStorageAddress();
    const StSymbEntryID sid = insertSymbol(name, vr, nr, kind, tid, typeSID);
    if (StSyBaseSymbEntry* e = findEntry(sid)) e->setStorageAddress(address);
    return sid;
}

// Whether the TO type t is the TO type `wanted` or derives from it along
// the base TO types (at most 64 steps, so a cycle read from a file ends).
static bool derivesFromTOType(const SyStSymbTable& table, StSymbEntryID t, StSymbEntryID wanted)
{
    for (int depth = 0; depth < 64 && t != ST_INVALID_SID; ++depth) {
        if (table.isSameTOType(t, wanted)) return true;
        const StSyBaseSymbEntry* te = table.findEntry(t);
        t = te ? te->getBaseTOTypeSID() : ST_INVALID_SID;
    }
    return false;
}

// The target's type symbol must be a TO type; the TO must be visible from
// the target's scope and of that TO type or one derived from it (along
// the base TO types).
bool SyStSymbTable::canAssignTO(StSymbEntryID toSID, StSymbEntryID targetSID, String& error) const
{
    error = String();
    const StSyBaseSymbEntry* target = inError() ? nullptr : findEntry(targetSID);
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
    if (derivesFromTOType(*this, to->getKind() == ST_KIND_TOTYPE ? toSID : to->getTypeRefSID(), toType->getID()))
        return true;
    std::snprintf(b, sizeof b, "%s is no compatible type", name);
    error = b;
    return false;
}

// The VARIANT holds TO ids as a one-dimensional VT_UI1 array of 16-byte
// runs, each run the bytes of one ESObjectID (a single id is one run).
// Each id's type is asked of the navigation (getTypeIDByObjectID, then
// getTypeNameByID); the name, array-range suffixes removed, must name the
// target's TO type or, in the target's scope, a TO type derived from it.
// Failure texts: "ArrayFehlerGetLBound", "ArrayFehlerGetUBound",
// "ArrayFehlerGetElement" (trace "error SafeArrayGetElement"),
// "ArrayFehlerFormat" (not such an array, or no whole number of runs, or
// none), "Typfehler" (target not TO-typed, a failed host call, or a type
// that does not fit).
bool SyStSymbTable::checkAssignCompatibility(StSymbEntryID targetSID, const VARIANT& value, IUnknown* navigation,
                                             String& error) const
{
    static const char kM[] = "SyStSymbTable::checkAssignCompatibility";
    error = String();
    if (value.vt != (VT_ARRAY | VT_UI1)) {
        error = "ArrayFehlerFormat";
        return false;
    }
    SAFEARRAY* psa = value.parray;
    LONG lb = 0, ub = -1;
    if (FAILED(SafeArrayGetLBound(psa, 1, &lb))) {
        error = "ArrayFehlerGetLBound";
        return false;
    }
    if (FAILED(SafeArrayGetUBound(psa, 1, &ub))) {
        error = "ArrayFehlerGetUBound";
        return false;
    }
    const LONG count = ub - lb + 1;
    if (SafeArrayGetDim(psa) != 1 || count <= 0 || count % 16 != 0) {
        error = "ArrayFehlerFormat";
        return false;
    }
    const StSyBaseSymbEntry* target = inError() ? nullptr : findEntry(targetSID);
    const StSyBaseSymbEntry* toType = target ? findEntry(target->getTypeRefSID()) : nullptr;
    ComPtr<IMC_ProjectNavigate> spIProjNav = queryHostInterface<IMC_ProjectNavigate>(navigation);
    if (!toType || toType->getKind() != ST_KIND_TOTYPE || !spIProjNav) {
        error = "Typfehler";
        return false;
    }
    const std::string targetName = toType->getName() ? toType->getName()->stdString() : std::string();
    for (LONG run = lb; run <= ub; run += 16) {
        unsigned char bytes[16];
        for (LONG i = 0; i < 16; ++i) {
            LONG index = run + i;
            if (FAILED(SafeArrayGetElement(psa, &index, &bytes[i]))) {
                TV_TRACE(4, kFile, kM, "error SafeArrayGetElement");
                error = "ArrayFehlerGetElement";
                return false;
            }
        }
        ESObjectID id;
        std::memcpy(&id, bytes, sizeof id);
        GUID typeID = GUID_NULL;
        char* pName = nullptr;
        DWORD dwRet = 0;
        bool ok = TV_HOST_CALL(kTypeID, &dwRet, spIProjNav->getTypeIDByObjectID(id, &typeID, &dwRet)).ok();
        if (ok) ok = TV_HOST_CALL(kTypeName, &dwRet, spIProjNav->getTypeNameByID(typeID, &pName, &dwRet)).ok();
        const std::string name = std::regex_replace(pName ? std::string(pName) : std::string(), kArrayRangeSuffix, "");
        CoTaskMemFree(pName);
        const bool fits =
            ok && (name == targetName ||
                   derivesFromTOType(*this,
                                     findSymbolEntry(String(name.c_str()), target->getVR(), target->getNR(),
                                                     ST_KIND_TOTYPE),
                                     toType->getID()));
        if (!fits) {
            error = "Typfehler";
            return false;
        }
    }
    return true;
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
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
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
