// The further declarations of the compile-side symbol table (name spaces,
// units, tasks, POUs, direct and return variables) and its scope queries.
#include "bo/cp/CpSymbTable.h"

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StSyTypeTable.h"

namespace {

constexpr uint8_t kReferencedBit = 0x08;
constexpr uint32_t kDirectSegment = 0xFC000000;
constexpr int32_t kInitialFrameSize = 16;

void setEntryFrameIds(StSyBaseSymbEntry* e, StRangeID first, StRangeID second)
{
    if (StFrameProperties* f = e->getFrameProperties()) {
        f->membVRange = first;
        f->membNRange = second;
    }
}

void setFrameSizes(StSyBaseSymbEntry* e, int32_t size, int32_t initialised)
{
    if (StFrameProperties* f = e->getFrameProperties()) {
        f->frameSize = size;
        f->retainSize = initialised;
    }
}

} // namespace

void CpSymbTable::declareNameSpace(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                   uint32_t first, uint32_t second, StSymbEntryID parent, int32_t address,
                                   bool takeName)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_NAMESPACE, 0, takeName, true);
    if (!e) return;
    e->setSubValidRange(first);
    e->setSubNameRange(second);
    e->setUnitSID(parent);
    e->setStorageAddress(address);
    setIdPairSymbol(first, second, sid);
}

void CpSymbTable::declareUnit(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t second,
                              uint32_t mode, bool takeName)
{
    sid = ST_INVALID_SID;
    if (mode != 1 && mode != 2) return;
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_UNIT, 0, takeName, true);
    if (!e) return;
    setEntryFrameIds(e, vr, second);
    if (mode == 1)
        e->setVisibility(1, 0xFF);
    else
        e->setVisibility(2, 0);
}

void CpSymbTable::declareTask(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, bool takeName)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_TASK, 0, takeName, true);
    if (!e) return;
    e->setTypeID(0);
    e->setTypeRefSID(ST_INVALID_SID);
    setFrameSizes(e, kInitialFrameSize, kInitialFrameSize);
    e->setStorageAddress(0);
}

void CpSymbTable::declarePOU(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t first,
                             uint32_t kind, StSymbEntryID parent, uint32_t attribute, bool takeName, bool unique)
{
    sid = ST_INVALID_SID;
    if (kind != ST_KIND_FUNC && kind != ST_KIND_FUNCBLOCK && kind != ST_KIND_PROGRAM) return;
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, kind, attribute, takeName, unique);
    if (!e) return;
    setEntryFrameIds(e, first, nr);
    setFrameSizes(e, kInitialFrameSize, kInitialFrameSize);
    e->setUnitSID(parent);
}

void CpSymbTable::declareDirectVariable(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                        StTypeID tid, StSymbEntryID owner, uint32_t address, bool input,
                                        bool takeName)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_DIRECTVAR, 0, takeName, true);
    if (!e) return;
    e->setStorageAddress(int32_t((address & 0xFFFFFF) | kDirectSegment));
    e->setTypeID(tid);
    // A direct variable keeps its owner in the unit field, the one SID it has.
    e->setUnitSID(owner);
    if (StSyBaseSymbEntry* o = findEntry(owner)) registerIfTracking(o);
    e->setAccessMode(input ? 1 : 2);
}

void CpSymbTable::declareReturnVariable(StSymbEntryID& sid, StSymbEntryID func, StTypeID tid, StSymbEntryID owner,
                                        bool boolResult)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK || tid == ST_INVALID_TID) return;
    StSyBaseSymbEntry* f = findEntry(func);
    if (!f || f->getKind() != ST_KIND_FUNC || !f->getFrameProperties() || !f->getName()) return;
    const StFrameProperties* frame = f->getFrameProperties();
    StSyBaseSymbEntry* e = addEntry(f->getName(), frame->membVRange, frame->membNRange, ST_KIND_VAR, sid, -1,
                                    false, false);
    if (!e) return;
    e->setTypeID(tid);
    e->setTypeRefSID(owner);
    registerIfTracking(e);
    e->setAccessMode(3);
    if (tid == ST_VOID) e->setMarkByte(uint8_t(e->getMarkByte() | kReferencedBit));
    if (boolResult && tid == ST_BOOL) static_cast<StSyFuncSymbEntry*>(f)->setFuncFlag(true);
}

int CpSymbTable::setSymbolNameSpace(StSymbEntryID sid, StRangeID nr)
{
    if (status() != CP_OK) return CP_REFUSED;
    StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return CP_REFUSED;
    if (StFrameProperties* f = e->getFrameProperties()) f->membNRange = nr;
    if (e->getKind() == ST_KIND_NAMESPACE && e->getSubNameRange() != nr) {
        const StRangeID first = e->getSubValidRange();
        if (findByIdPair(first, e->getSubNameRange()) == e) eraseIdPair(first, e->getSubNameRange());
        e->setSubNameRange(nr);
        setIdPairSymbol(first, nr, sid);
    }
    return CP_OK;
}

int CpSymbTable::getSymbolScope(StSymbEntryID sid, StRangeID& vr, StRangeID& nr) const
{
    vr = nr = ST_INVALID_RANGE;
    if (status() != CP_OK) return CP_REFUSED;
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return CP_REFUSED;
    if (const StFrameProperties* f = e->getFrameProperties()) {
        vr = f->membVRange;
        nr = f->membNRange;
    } else {
        vr = e->getVR();
        nr = e->getNR();
    }
    return CP_OK;
}

void CpSymbTable::declareDeviceType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t a,
                                    uint32_t b, bool takeName)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_DEVICETYPE, 0, takeName, true);
    if (!e) return;
    e->setTypeID(ST_ANYOBJECT);
    setEntryFrameIds(e, a, b);
}

void CpSymbTable::declareDevice(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr, uint32_t a,
                                uint32_t b)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_DEVICE, 0, false, true);
    if (!e) return;
    setEntryFrameIds(e, a, b);
    e->setStorageAddress(ST_NO_ADDRESS);
}

void CpSymbTable::declareTO(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                            StSymbEntryID typeSID, int32_t address, bool takeName)
{
    sid = ST_INVALID_SID;
    StSyBaseSymbEntry* type = status() == CP_OK ? findEntry(typeSID) : nullptr;
    if (!type) return;
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_TO, 0, takeName, true);
    if (!e) return;
    e->setTypeID(ST_ANYOBJECT);
    if (const StFrameProperties* f = type->getFrameProperties()) setEntryFrameIds(e, f->membVRange, f->membNRange);
    e->setTypeRefSID(typeSID);
    e->setStorageAddress(address);
    registerIfTracking(type);
}

void CpSymbTable::declarePackageType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                     bool takeName)
{
    addDeclEntry(sid, name, vr, nr, ST_KIND_PACKAGETYPE, 0, takeName, true);
}

void CpSymbTable::declareGlobalVariable(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                        uint32_t varClass, StSymbEntryID parent, uint32_t attribute, bool global,
                                        bool takeName, bool unique)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_GLOBVAR, attribute, takeName, unique);
    if (!e) return;
    e->setAccessMode(int32_t(varClass));
    e->setUnitSID(parent);
    if (StSyBaseSymbEntry* p = findEntry(parent)) registerIfTracking(p);
    if (global) e->setSecondFlag(1);
}

void CpSymbTable::declareConstantSymbol(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                        StSymbEntryID parent, int32_t optionValue, uint32_t attribute,
                                        bool takeName, bool unique)
{
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_CONST, attribute, takeName, unique);
    if (!e) return;
    e->setUnitSID(parent);
    e->setVisibility(optionValue, 0);
}

namespace {
// The initial value a named type takes from a value symbol of its TID.
void takeValueOf(CpSymbTable& t, StSyBaseSymbEntry* type, StSymbEntryID valueSID)
{
    StSyBaseSymbEntry* v = t.findEntry(valueSID);
    if (!v || v->getTypeID() != type->getTypeID()) return;
    type->setInitCID(v->getInitCID());
    type->setSubNameRange(v->getSubNameRange());
    type->setTypeRefSID(valueSID);
    if (t.getUsageMarking()) t.registerSymbol(v, false, false);
}
} // namespace

void CpSymbTable::declareTypeAlias(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                   StTypeID tid, StSymbEntryID valueSID, StSymbEntryID parent, uint32_t attribute,
                                   bool clearOptions, bool takeName, bool unique)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK || !findTypeNode(tid)) return;
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_TYPESPEC, attribute, takeName, unique);
    if (!e) return;
    e->setTypeID(tid);
    setTypeEntryData(e, parent, attribute, clearOptions);
    takeValueOf(*this, e, valueSID);
}

void CpSymbTable::declareSubrangeType(StSymbEntryID& sid, const String& name, StRangeID vr, StRangeID nr,
                                      StTypeID base, StSymbEntryID valueSID, const StConstantElemPtrList* bounds,
                                      StSymbEntryID parent, uint32_t attribute, bool clearOptions, bool takeName)
{
    sid = ST_INVALID_SID;
    if (status() != CP_OK || !bounds || bounds->size() != 2 || !findTypeNode(base)) return;
    const StTypeID tid = types()->createSubrangeType(base, bounds->front()->getCID(), bounds->back()->getCID());
    if (tid == ST_INVALID_TID) return;
    StSyBaseSymbEntry* e = addDeclEntry(sid, name, vr, nr, ST_KIND_TYPESPEC, attribute, takeName, true);
    if (!e) return;
    e->setTypeID(tid);
    setTypeEntryData(e, parent, attribute, clearOptions);
    takeValueOf(*this, e, valueSID);
}

void CpSymbTable::aliasSymbol(StSymbEntryID& out, StSymbEntryID sid, const String& newName)
{
    out = ST_INVALID_SID;
    const StSyBaseSymbEntry* e = status() == CP_OK ? findEntry(sid) : nullptr;
    if (!e || findSymbol(newName, e->getVR(), e->getNR()).isValid()) return;
    StSyBaseSymbEntry* copy = addDeclEntry(out, newName, e->getVR(), e->getNR(), e->getKind(), getAttribute(sid),
                                           true, true);
    if (!copy) return;
    copy->setTypeID(e->getTypeID());
    copy->setInitCID(e->getInitCID());
    copy->setTypeRefSID(e->getTypeRefSID());
    copy->setUnitSID(e->getUnitSID());
    copy->setAccessMode(e->getAccessMode());
    copy->setStorageAddress(e->getStorageAddress());
    copy->setVisibility(e->getVisibility(), e->getUnitIndex());
    copy->setMarkByte(e->getMarkByte());
    copy->setSubNameRange(e->getSubNameRange());
    if (const StFrameProperties* f = e->getFrameProperties())
        if (StFrameProperties* g = copy->getFrameProperties()) *g = *f;
}

void CpSymbTable::registerSymbols(const StSymbEntryIDVect& list)
{
    if (status() != CP_OK) return;
    for (StSymbEntryID sid : list)
        if (StSyBaseSymbEntry* e = findEntry(sid)) registerIfTracking(e);
}

void CpSymbTable::registerPOUs(bool onlyUnset)
{
    if (status() != CP_OK) return;
    for (const auto& [sid, e] : entries()->entries()) {
        if (e->getKind() != ST_KIND_FUNCBLOCK && e->getKind() != ST_KIND_FUNC) continue;
        const StFrameProperties* f = e->getFrameProperties();
        if (!f || (f->flags & 0x4) != 0 || (onlyUnset && e->getVisibility() != 0)) continue;
        registerIfTracking(e);
    }
}
