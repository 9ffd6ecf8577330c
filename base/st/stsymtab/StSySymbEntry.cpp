// Symbol entries: field lists, serialisers, dumps and the kind factory.
#include "base/st/stsymtab/StSySymbEntry.h"

#include <ostream>

#include "base/st/stsymtab/StSerial.h"
#include "co/GuidHelpers.h"

namespace {

const char* const kLabels[] = {
    "????       ", "Const      ", "UserType   ", "TaskVar    ", "GlobVar    ", "SysVar     ",
    "Function   ", "Funcblock  ", "Programm   ", "Task       ", "TempVar    ", "ToType     ",
    "TOInst     ", "DeviceType ", "Device     ", "PackgType  ", "Package    ", "Unit       ",
    "MappedVar  ", "IntfVar    ", "DirectVar  ", "NameSpace  ",
};

const char* const kNewLineIndent = "\n            ";

// Writes / reads the two flag bytes of a variable as one word.
template <class A>
void ioFlags(A& a, uint8_t& first, uint8_t& second)
{
    uint32_t flags = (first ? 1u : 0u) | (second ? 2u : 0u);
    a.num(flags);
    if (A::kReading && a.good()) {
        first = uint8_t(flags & 1);
        second = uint8_t((flags >> 1) & 1);
    }
}

// The frame part, then one reference: "  <label> (SYD): <sid>  ".
void dumpFrameAndRef(std::ostream& os, const StFrameProperties& frame, const char* label, StSymbEntryID sid)
{
    frame.dump(os);
    os << "  " << label << " (SYD): " << sid << "  ";
}

}  // namespace

const char* stEntryKindLabel(uint32_t kind)
{
    return kLabels[kind <= ST_KIND_LAST ? kind : 0];
}

const char* stVisibilityText(int32_t visibility)
{
    switch (visibility) {
    case ST_VIS_EXPORT: return "export  ";
    case ST_VIS_IMPORT: return "import  ";
    case ST_VIS_PRIVATE: return "privat  ";
    default: return "";
    }
}

const char* stAccessModeText(int32_t access)
{
    static const char* const kText[] = {"??unkown?? ", "local      ", "readonly   ",
                                        "writeonly  ", "readwrite  ", "temp/local "};
    return access >= 0 && access <= 5 ? kText[access] : "";
}

// --- frame part and mapping info ---------------------------------------

bool StFrameProperties::operator==(const StFrameProperties& o) const
{
    return membVRange == o.membVRange && membNRange == o.membNRange && frameID == o.frameID &&
           startLine == o.startLine && retainSize == o.retainSize && frameSize == o.frameSize &&
           reserved == o.reserved && flags == o.flags;
}

void StFrameProperties::dump(std::ostream& os) const
{
    os << " MembVRange: " << membVRange << " MembNRange: " << membNRange << " FrameID: " << frameID
       << " StartLine: " << startLine << " Retainsize: " << retainSize << " Framesize: " << frameSize
       << " Flags: 0x" << std::hex << flags << std::dec;
}

void StVarMappingInfo::dump(std::ostream& os) const
{
    os << " Location (SYD): " << locationSID << " Adresse: " << address << " InstanceID:  ";
    writeGuidText(os, instanceID);
}

// --- base entry ----------------------------------------------------------

StSyBaseSymbEntry::StSyBaseSymbEntry(StSymbEntryID sid, StSymbEntryID prev, StSymbEntryID next, String* name,
                                     StRangeID vr, StRangeID nr)
    : m_sid(sid), m_name(name), m_prev(prev), m_next(next), m_vr(vr), m_nr(nr)
{
}

StRangeID StSyBaseSymbEntry::getSubNameRange() const
{
    const StFrameProperties* f = getFrameProperties();
    return f ? f->membNRange : ST_INVALID_RANGE;
}

StRangeID StSyBaseSymbEntry::getSubValidRange() const
{
    const StFrameProperties* f = getFrameProperties();
    return f ? f->membVRange : ST_INVALID_RANGE;
}

template <class A>
void StSyBaseSymbEntry::io(A& a, uint32_t)
{
    a.num(m_address);
    a.numLine(m_sid);
    a.num(m_prev);
    a.num(m_next);
    a.num(m_tid);
    a.num(m_vr);
    a.num(m_nr);
    // The next entry is found again by the table from the next SID.
    if (A::kReading) m_nextEntry = nullptr;
}

ST_SERIALISERS(StSyBaseSymbEntry)

void StSyBaseSymbEntry::dump(std::ostream& os) const
{
    dumpHead(os);
}

void StSyBaseSymbEntry::dumpHead(std::ostream& os) const
{
    if (getKind() == ST_KIND_TEMP)
        os << "-------  ";
    else if (m_name)
        os << *m_name << "  ";
    os << stEntryKindLabel(getKind()) << "Typ: " << m_tid << "  NR: " << m_nr << " VR: " << m_vr << kNewLineIndent;
    dumpPlace(os);
    os << "   prev: " << m_prev << "  next: " << m_next;
}

// --- the kinds: field lists ------------------------------------------------

template <class A>
void StSyConstSymbEntry::io(A& a, uint32_t mode)
{
    StSyBaseSymbEntry::io(a, mode);
    a.num(m_initCID);
    const StSyEntryKind kind = getKind();
    if (mode == 1 && (kind == ST_KIND_CONST || kind == ST_KIND_TYPESPEC)) {
        a.num(m_unitSID);
        a.num(m_visibility);
    }
    if (mode == 1 && kind == ST_KIND_CONST) a.num(m_typeRef);
}

template <class A>
void StSyTypeSpecSymbEntry::io(A& a, uint32_t mode)
{
    StSyConstSymbEntry::io(a, mode);
    a.num(m_subNameRange);
    a.num(m_typeRef);
}

template <class A>
void StSyVarSymbEntry::io(A& a, uint32_t mode)
{
    StSyConstSymbEntry::io(a, mode);
    a.num(m_typeRef);
    a.num(m_access);
    ioFlags(a, m_flag1, m_flag2);
}

template <class A>
void StSyGlobVarSymbEntry::io(A& a, uint32_t mode)
{
    StSyVarSymbEntry::io(a, mode);
    a.num(m_unitSID);
    a.num(m_visibility);
    a.num(m_remanent);
    a.num(m_unitIndex);
}

template <class A>
void StSySysVarSymbEntry::io(A& a, uint32_t mode)
{
    StSyVarSymbEntry::io(a, mode);
    a.num(m_toTypeRef);
}

template <class A>
void StSyInterfaceVarSymbEntry::io(A& a, uint32_t mode)
{
    StSyVarSymbEntry::io(a, mode);
    a.num(m_remanent);
    a.num(m_sysVarAddress);
}

// Frame part: StartLine, then Framesize before Retainsize.
template <class A>
void StSyFrameSymbEntry::io(A& a, uint32_t mode)
{
    StSyBaseSymbEntry::io(a, mode);
    a.num(m_frame.membVRange);
    a.num(m_frame.membNRange);
    a.num(m_frame.frameID);
    a.num(m_frame.startLine);
    a.num(m_frame.frameSize);
    a.num(m_frame.retainSize);
}

template <class A>
void StSyFuncSymbEntry::io(A& a, uint32_t mode)
{
    StSyFrameSymbEntry::io(a, mode);
    a.num(m_visibility);
    a.num(m_unitSID);
    a.num(m_unitIndex);
    a.num(m_funcIndex);
    a.num(m_funcFlag);
}

template <class A>
void StSyFuncBlockSymbEntry::io(A& a, uint32_t mode)
{
    StSyFuncSymbEntry::io(a, mode);
    a.num(m_initCID);
}

template <class A>
void StSyTaskSymbEntry::io(A& a, uint32_t mode)
{
    StSyFrameSymbEntry::io(a, mode);
    a.num(m_task.taskRtID);
    a.num(m_task.propertyMask);
    a.num(m_task.stackSize);
}

template <class A>
void StSyTOTypeSymbEntry::io(A& a, uint32_t mode)
{
    StSyFrameSymbEntry::io(a, mode);
    a.num(m_baseTOType);
}

template <class A>
void StSyTOSymbEntry::io(A& a, uint32_t mode)
{
    StSyFrameSymbEntry::io(a, mode);
    a.num(m_toType);
}

template <class A>
void StSyPackageSymbEntry::io(A& a, uint32_t mode)
{
    StSyPackageTypeSymbEntry::io(a, mode);
    a.num(m_subNameRange);
}

template <class A>
void StSyUnitSymbEntry::io(A& a, uint32_t mode)
{
    StSyFrameSymbEntry::io(a, mode);
    a.num(m_visibility);
    a.num(m_unitIndex);
}

template <class A>
void StSyMappedVarSymbEntry::io(A& a, uint32_t mode)
{
    StSyBaseSymbEntry::io(a, mode);
    a.num(m_mapping.locationSID);
    a.num(m_mapping.address);
    a.guid(m_mapping.instanceID);
}

// One word: the scope visibility for an address in a process image, else
// the access mode; the reader decides by the address it has just read.
template <class A>
void StSyDirectVarSymbEntry::io(A& a, uint32_t mode)
{
    StSyBaseSymbEntry::io(a, mode);
    a.num(stInImageSegment(m_address) ? m_scopeVisibility : m_access);
}

template <class A>
void StSyNameSpaceSymbEntry::io(A& a, uint32_t mode)
{
    StSyBaseSymbEntry::io(a, mode);
    a.num(m_subNameRange);
    a.num(m_subValidRange);
}

// --- the kinds: answers ----------------------------------------------------

bool StSyVarSymbEntry::isReadable() const
{
    const StSyEntryKind kind = getKind();
    if (kind == ST_KIND_VAR || kind == ST_KIND_GLOBVAR) return true;
    return m_access != ST_ACCESS_UNKNOWN && m_access != ST_ACCESS_WRITEONLY;
}

bool StSyVarSymbEntry::isWritable() const
{
    return m_access != ST_ACCESS_UNKNOWN && m_access != ST_ACCESS_READONLY;
}

bool StSyDirectVarSymbEntry::isReadable() const
{
    return stInImageSegment(m_address) || m_access == ST_ACCESS_LOCAL || m_access == ST_ACCESS_READONLY;
}

bool StSyDirectVarSymbEntry::isWritable() const
{
    return stInImageSegment(m_address) || m_access == ST_ACCESS_LOCAL;
}

// --- the kinds: dumps --------------------------------------------------------

void StSyConstSymbEntry::dumpKind(std::ostream& os) const
{
    os << "  Unit (SYD(idx)): " << m_unitSID << ' ' << stVisibilityText(m_visibility) << kNewLineIndent
       << "   Init (CID): " << m_initCID << "  Typverweis (SYD): " << m_typeRef;
}

void StSyTypeSpecSymbEntry::dumpKind(std::ostream& os) const
{
    StSyConstSymbEntry::dumpKind(os);
    os << "  SubnameRange: " << m_subNameRange;
}

void StSyVarSymbEntry::dumpKind(std::ostream& os) const
{
    StSyConstSymbEntry::dumpKind(os);
    os << stAccessModeText(m_access);
}

void StSyGlobVarSymbEntry::dumpKind(std::ostream& os) const
{
    StSyVarSymbEntry::dumpKind(os);
    os << "  Unit-idx: (" << unsigned(m_unitIndex) << ") " << (m_remanent ? " remanent " : " ");
}

void StSySysVarSymbEntry::dumpKind(std::ostream& os) const
{
    StSyVarSymbEntry::dumpKind(os);
    os << "  TOTypverweis (SYD): " << m_toTypeRef << "  ";
}

void StSyInterfaceVarSymbEntry::dumpKind(std::ostream& os) const
{
    StSyVarSymbEntry::dumpKind(os);
    os << (m_remanent ? " Remanent " : " Not_Remanent ") << " SysVarAdr : " << m_sysVarAddress << ' ';
}

void StSyFuncSymbEntry::dumpKind(std::ostream& os) const
{
    m_frame.dump(os);
    os << "  Unit (SYD(idx)): " << m_unitSID << "(" << unsigned(m_unitIndex) << ") "
       << " FuncIdx: " << m_funcIndex << "  " << stVisibilityText(m_visibility);
}

void StSyFuncBlockSymbEntry::dumpKind(std::ostream& os) const
{
    StSyFuncSymbEntry::dumpKind(os);
    os << " Init(CID): " << m_initCID;
}

void StSyProgramSymbEntry::dumpKind(std::ostream& os) const
{
    StSyFuncBlockSymbEntry::dumpKind(os);
}

void StSyTaskSymbEntry::dumpKind(std::ostream& os) const
{
    m_frame.dump(os);
    os << " TaskRtID: " << m_task.taskRtID << " Propertymaske: " << m_task.propertyMask
       << " StackSize: " << m_task.stackSize;
}

void StSyTempSymbEntry::dumpKind(std::ostream&) const {}

void StSyTOTypeSymbEntry::dumpKind(std::ostream& os) const
{
    dumpFrameAndRef(os, m_frame, "BaseTOType", m_baseTOType);
}

void StSyTOSymbEntry::dumpKind(std::ostream& os) const
{
    dumpFrameAndRef(os, m_frame, "TOType", m_toType);
}

void StSyDeviceTypeSymbEntry::dumpKind(std::ostream& os) const
{
    m_frame.dump(os);
}

void StSyDeviceSymbEntry::dumpKind(std::ostream& os) const
{
    dumpFrameAndRef(os, m_frame, "DVType", m_toType);
}

void StSyPackageTypeSymbEntry::dumpKind(std::ostream&) const {}

void StSyPackageSymbEntry::dumpKind(std::ostream& os) const
{
    os << "  SubnameRange: " << m_subNameRange << "  ";
}

void StSyUnitSymbEntry::dumpKind(std::ostream& os) const
{
    m_frame.dump(os);
    os << "  UnitIdx: " << "(" << unsigned(m_unitIndex) << ") " << stVisibilityText(m_visibility);
}

void StSyMappedVarSymbEntry::dumpKind(std::ostream& os) const
{
    m_mapping.dump(os);
}

void StSyDirectVarSymbEntry::dumpKind(std::ostream& os) const
{
    os << "  Access: " << stAccessModeText(m_access) << "  Scope: " << stVisibilityText(m_scopeVisibility);
}

void StSyNameSpaceSymbEntry::dumpKind(std::ostream& os) const
{
    os << "  SubNameRange:  " << m_subNameRange << "  " << "  SubValidRange: " << m_subValidRange << "  ";
}

// --- the kinds: clone, serialisers, dump -------------------------------------

namespace {

// A copy of the entry under newSid, on the pool (null arena) or in the arena.
template <class C>
StSyBaseSymbEntry* copyEntry(const C& entry, CArena* arena, StSymbEntryID newSid)
{
    static_assert(alignof(C) <= 8, "arena blocks are 8-byte aligned");
    try {
        C* c = arena ? new (arena->allocate(sizeof(C))) C(entry) : new C(entry);
        c->setID(newSid);
        return c;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

#define ST_ENTRY_CLASS_IMPL(Class)                                              \
    StSyBaseSymbEntry* Class::clone(StSymbEntryID newSid) const                 \
    {                                                                           \
        return copyEntry(*this, nullptr, newSid);                               \
    }                                                                           \
    StSyBaseSymbEntry* Class::cloneIn(CArena& arena, StSymbEntryID newSid) const \
    {                                                                           \
        return copyEntry(*this, &arena, newSid);                                \
    }                                                                           \
    ST_SERIALISERS(Class)                                                 \
    void Class::dump(std::ostream& os) const                                    \
    {                                                                           \
        dumpHead(os);                                                           \
        dumpKind(os);                                                           \
    }

ST_ENTRY_CLASS_IMPL(StSyConstSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyTypeSpecSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyVarSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyGlobVarSymbEntry)
ST_ENTRY_CLASS_IMPL(StSySysVarSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyFuncSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyFuncBlockSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyProgramSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyTaskSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyTempSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyTOTypeSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyTOSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyDeviceTypeSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyDeviceSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyPackageTypeSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyPackageSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyUnitSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyMappedVarSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyInterfaceVarSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyDirectVarSymbEntry)
ST_ENTRY_CLASS_IMPL(StSyNameSpaceSymbEntry)

// --- factory -------------------------------------------------------------------

namespace {

template <class C>
StSyBaseSymbEntry* make(CArena* arena, StSymbEntryID sid, StSymbEntryID prev, StSymbEntryID next, String* name,
                        StRangeID vr, StRangeID nr)
{
    if (!arena) return new C(sid, prev, next, name, vr, nr);
    static_assert(alignof(C) <= 8, "arena blocks are 8-byte aligned");
    return new (arena->allocate(sizeof(C))) C(sid, prev, next, name, vr, nr);
}

using Maker = StSyBaseSymbEntry* (*)(CArena*, StSymbEntryID, StSymbEntryID, StSymbEntryID, String*, StRangeID,
                                     StRangeID);

const Maker kMakers[ST_KIND_LAST + 1] = {
    nullptr,
    make<StSyConstSymbEntry>,
    make<StSyTypeSpecSymbEntry>,
    make<StSyVarSymbEntry>,
    make<StSyGlobVarSymbEntry>,
    make<StSySysVarSymbEntry>,
    make<StSyFuncSymbEntry>,
    make<StSyFuncBlockSymbEntry>,
    make<StSyProgramSymbEntry>,
    make<StSyTaskSymbEntry>,
    make<StSyTempSymbEntry>,
    make<StSyTOTypeSymbEntry>,
    make<StSyTOSymbEntry>,
    make<StSyDeviceTypeSymbEntry>,
    make<StSyDeviceSymbEntry>,
    make<StSyPackageTypeSymbEntry>,
    make<StSyPackageSymbEntry>,
    make<StSyUnitSymbEntry>,
    make<StSyMappedVarSymbEntry>,
    make<StSyInterfaceVarSymbEntry>,
    make<StSyDirectVarSymbEntry>,
    make<StSyNameSpaceSymbEntry>,
};

StSyBaseSymbEntry* createEntry(CArena* arena, uint32_t kind, StSymbEntryID sid, StSymbEntryID prev,
                               StSymbEntryID next, String* name, StRangeID vr, StRangeID nr)
{
    if (kind == 0 || kind > ST_KIND_LAST) return nullptr;
    try {
        return kMakers[kind](arena, sid, prev, next, name, vr, nr);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

StSyBaseSymbEntry* stCreateEntry(uint32_t kind, StSymbEntryID sid, StSymbEntryID prev, StSymbEntryID next,
                                 String* name, StRangeID vr, StRangeID nr)
{
    return createEntry(nullptr, kind, sid, prev, next, name, vr, nr);
}

StSyBaseSymbEntry* stCreateEntry(uint32_t kind)
{
    return stCreateEntry(kind, ST_INVALID_SID, ST_INVALID_SID, ST_INVALID_SID, nullptr, ST_INVALID_VR,
                         ST_INVALID_NR);
}

StSyBaseSymbEntry* stCreateEntryIn(CArena& arena, uint32_t kind, StSymbEntryID sid, StSymbEntryID prev,
                                   StSymbEntryID next, String* name, StRangeID vr, StRangeID nr)
{
    return createEntry(&arena, kind, sid, prev, next, name, vr, nr);
}

void stDisposeEntryIn(CArena& arena, StSyBaseSymbEntry* entry)
{
    if (!entry) return;
    const size_t size = entry->entrySize();
    entry->~StSyBaseSymbEntry();
    arena.recycle(entry, size);
}
