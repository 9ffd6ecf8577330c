// Symbol entries: the record the symbol table keeps for every declared name.
//
// StSyBaseSymbEntry is the base of 21 entry kinds (StSyEntryKind). Every
// entry is pool-allocated and is a storage place (its address and segment
// bits). The name is not owned: it points into the string table, which maps
// the name to the head of the chain of entries sharing it (prev / next).
// The entry table owns the entries and creates them by kind.
//
// The virtual operations answer a neutral value (invalid id, 0, false) for
// kinds that do not carry the field, and setters of fields a kind lacks do
// nothing; the table in each line below names the kinds that override.
//
// Serialised form (the four slots writeToSection .. readFromStream): the
// storage address, then SID and a line end, prev, next, TID, VR, NR, then
// the kind part; each value is followed by a blank. The name is carried by
// the string table. `mode` is 1 for the entries of kinds 1 and 2 in the new
// entry-table format (unit SID, visibility and, for kind 1, type reference
// are then part of the Const part) and 0 otherwise. The readers read the
// same fields in the same order; they answer false once the stream failed.
#pragma once
#include <cstdint>
#include <iosfwd>

#include "base/falloc/AllocPool.h"
#include "base/falloc/Arena.h"
#include "base/st/stsymtab/StIds.h"
#include "base/st/stsymtab/StSerialDecl.h"
#include "base/st/stsymtab/StSyStoragePlace.h"
#include "co/tvstring.h"
#include "platform/wintypes.h"

class FsSecCl;

enum StSyEntryKind : uint32_t {
    ST_KIND_NONE = 0,
    ST_KIND_CONST = 1,
    ST_KIND_TYPESPEC = 2,
    ST_KIND_VAR = 3,
    ST_KIND_GLOBVAR = 4,
    ST_KIND_SYSVAR = 5,
    ST_KIND_FUNC = 6,
    ST_KIND_FUNCBLOCK = 7,
    ST_KIND_PROGRAM = 8,
    ST_KIND_TASK = 9,
    ST_KIND_TEMP = 10,
    ST_KIND_TOTYPE = 11,
    ST_KIND_TO = 12,
    ST_KIND_DEVICETYPE = 13,
    ST_KIND_DEVICE = 14,
    ST_KIND_PACKAGETYPE = 15,
    ST_KIND_PACKAGE = 16,
    ST_KIND_UNIT = 17,
    ST_KIND_MAPPEDVAR = 18,
    ST_KIND_INTERFACEVAR = 19,
    ST_KIND_DIRECTVAR = 20,
    ST_KIND_NAMESPACE = 21,
};
constexpr uint32_t ST_KIND_LAST = 21;

// Visibility codes and access modes.
constexpr int32_t ST_VIS_EXPORT = 0;
constexpr int32_t ST_VIS_IMPORT = 1;
constexpr int32_t ST_VIS_PRIVATE = 2;
constexpr int32_t ST_ACCESS_UNKNOWN = 0;
constexpr int32_t ST_ACCESS_LOCAL = 1;
constexpr int32_t ST_ACCESS_READONLY = 2;
constexpr int32_t ST_ACCESS_WRITEONLY = 3;
constexpr int32_t ST_ACCESS_READWRITE = 4;
constexpr int32_t ST_ACCESS_TEMPLOCAL = 5;

// The 11-character dump label of a kind ("????       " for unknown kinds);
// the visibility and access-mode texts ("" for unknown codes).
const char* stEntryKindLabel(uint32_t kind);
const char* stVisibilityText(int32_t visibility);
const char* stAccessModeText(int32_t access);

// Frame part of functions, blocks, programs, tasks, TO types, TOs, device
// types, devices and units.
struct StFrameProperties {
    StRangeID membVRange = ST_INVALID_VR;  // the members' validity range
    StRangeID membNRange = ST_INVALID_NR;  // the members' name space
    uint32_t frameID = 0;
    int32_t startLine = 0;
    int32_t retainSize = 0;
    int32_t frameSize = 0;
    uint32_t reserved = 0;
    uint32_t flags = 0;  // dumped, not serialised

    bool operator==(const StFrameProperties& o) const;
    // " MembVRange: .. Framesize: .. Flags: 0x<hex>"
    void dump(std::ostream& os) const;
};

// Where a mapped variable lies.
struct StVarMappingInfo {
    StSymbEntryID locationSID;
    int32_t address = 0;
    GUID instanceID{};

    virtual ~StVarMappingInfo() = default;
    // " Location (SYD): .. Adresse: .. InstanceID:  {GUID}"
    virtual void dump(std::ostream& os) const;
};

struct StTaskRecord {
    uint32_t taskRtID = 0xFFFFFFFFu;
    uint32_t propertyMask = 0;
    int32_t stackSize = 0;
};

class StSyBaseSymbEntry : public CAllocPool<128>, public StSyStoragePlace {
public:
    StSyBaseSymbEntry() = default;
    StSyBaseSymbEntry(StSymbEntryID sid, StSymbEntryID prev, StSymbEntryID next, String* name, StRangeID vr,
                      StRangeID nr);
    StSyBaseSymbEntry(const StSyBaseSymbEntry&) = default;
    StSyBaseSymbEntry& operator=(const StSyBaseSymbEntry&) = delete;
    ~StSyBaseSymbEntry() override = default;

    // A pool-allocated copy carrying newSid (the name pointer is shared);
    // null when no memory is left.
    virtual StSyBaseSymbEntry* clone(StSymbEntryID newSid) const = 0;
    // The same copy made in the arena (see stCreateEntryIn).
    virtual StSyBaseSymbEntry* cloneIn(CArena& arena, StSymbEntryID newSid) const = 0;
    // sizeof the entry's class: the size of its block in an arena.
    virtual size_t entrySize() const = 0;
    virtual StSyEntryKind getKind() const = 0;

    virtual StConstEntryID getInitCID() const { return ST_INVALID_CID; }
    virtual void setInitCID(StConstEntryID) {}
    virtual void setTypeRefSID(StSymbEntryID) {}
    virtual StSymbEntryID getTypeRefSID() const { return ST_INVALID_SID; }
    virtual void setSubNameRange(StRangeID) {}
    // The frame's MembNRange, else the invalid range id.
    virtual StRangeID getSubNameRange() const;
    virtual void setSubValidRange(StRangeID) {}
    // The frame's MembVRange, else the invalid range id.
    virtual StRangeID getSubValidRange() const;
    virtual const StFrameProperties* getFrameProperties() const { return nullptr; }
    virtual StFrameProperties* getFrameProperties() { return nullptr; }
    virtual void setBaseTOTypeSID(StSymbEntryID) {}
    virtual StSymbEntryID getBaseTOTypeSID() const { return ST_INVALID_SID; }
    virtual void setSecondFlag(uint8_t) {}
    virtual bool getSecondFlag() const { return false; }
    virtual void setAccessMode(int32_t) {}
    virtual int32_t getAccessMode() const { return 0; }
    virtual void setFirstFlag(uint8_t) {}
    virtual bool isReadable() const { return false; }
    virtual bool isWritable() const { return false; }
    // Var of kind 3 whose first flag byte is set.
    virtual bool isFirstFlagTaskVar() const { return false; }
    virtual void setTaskRecord(const StTaskRecord&) {}
    virtual StTaskRecord getTaskRecord() const { return StTaskRecord(); }
    virtual bool isRemanent() const { return false; }
    virtual void setRemanent(bool) {}
    virtual void setVisibility(int32_t visibility, uint8_t unitIndex) {}
    virtual int32_t getVisibility() const { return ST_VIS_PRIVATE; }
    virtual uint8_t getUnitIndex() const { return 0; }
    virtual void setFuncIndex(int32_t) {}
    virtual int32_t getFuncIndex() const { return -1; }
    virtual void setUnitSID(StSymbEntryID) {}
    virtual StSymbEntryID getUnitSID() const { return ST_INVALID_SID; }
    virtual bool hasUnitIndex() const { return false; }
    virtual bool getFuncFlag() const { return false; }
    virtual bool getProgramFlag() const { return false; }
    virtual void setSysVarTOTypeRef(StSymbEntryID) {}
    virtual StSymbEntryID getSysVarTOTypeRef() const { return ST_INVALID_SID; }
    virtual void setSysVarAddress(int32_t) {}
    virtual int32_t getSysVarAddress() const { return ST_NO_ADDRESS; }
    virtual void setMappingInfo(StSymbEntryID location, int32_t address, const GUID& instance) {}
    virtual StVarMappingInfo getMappingInfo() const { return StVarMappingInfo(); }

    virtual bool writeToSection(FsSecCl& s, uint32_t mode) const;
    virtual bool writeToStream(std::ostream& os, uint32_t mode) const;
    virtual bool readFromSection(FsSecCl& s, uint32_t mode);
    virtual bool readFromStream(std::istream& is, uint32_t mode);

    // Storage place: kinds without a segment answer 0xFFFFFFFF.
    uint32_t segmentBits() const override { return ST_SEG_NONE; }
    void dump(std::ostream& os) const override;

    StSymbEntryID getID() const { return m_sid; }
    void setID(StSymbEntryID sid) { m_sid = sid; }
    String* getName() const { return m_name; }
    void setName(String* name) { m_name = name; }
    StSymbEntryID getPrev() const { return m_prev; }
    void setPrev(StSymbEntryID prev) { m_prev = prev; }
    StSymbEntryID getNext() const { return m_next; }
    StSyBaseSymbEntry* getNextEntry() const { return m_nextEntry; }
    // Sets next together with the entry it names (null when unknown).
    void setNext(StSymbEntryID next, StSyBaseSymbEntry* entry)
    {
        m_next = next;
        m_nextEntry = entry;
    }
    StTypeID getTypeID() const { return m_tid; }
    void setTypeID(StTypeID tid) { m_tid = tid; }
    StRangeID getVR() const { return m_vr; }
    void setVR(StRangeID vr) { m_vr = vr; }
    StRangeID getNR() const { return m_nr; }
    void setNR(StRangeID nr) { m_nr = nr; }
    uint32_t getExtra() const { return m_extra; }
    void setExtra(uint32_t v) { m_extra = v; }

    // Field list of the serialised form (see the serialisers above).
    template <class A>
    void io(A& a, uint32_t mode);

protected:
    // The common head of every dump ("name  label Typ: ... next: ...").
    void dumpHead(std::ostream& os) const;

    StSymbEntryID m_sid;
    String* m_name = nullptr;
    StSymbEntryID m_prev;
    StSymbEntryID m_next;
    StSyBaseSymbEntry* m_nextEntry = nullptr;  // not serialised
    StTypeID m_tid = ST_INVALID_TID;
    StRangeID m_vr = ST_INVALID_VR;
    StRangeID m_nr = ST_INVALID_NR;
    uint32_t m_extra = 0;  // not serialised
};

// Declares clone, getKind, the four serialisers, the field list and the
// dump of an entry class.
#define ST_ENTRY_CLASS_BODY(Class, Kind)                                       \
    ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(Class, Kind)                            \
    template <class A>                                                         \
    void io(A& a, uint32_t mode);

// The same for a kind that adds no field to its base's list.
#define ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(Class, Kind)                        \
public:                                                                        \
    StSyBaseSymbEntry* clone(StSymbEntryID newSid) const override;             \
    StSyBaseSymbEntry* cloneIn(CArena& arena, StSymbEntryID newSid) const override; \
    size_t entrySize() const override { return sizeof(Class); }                \
    StSyEntryKind getKind() const override { return Kind; }                    \
    ST_OVERRIDE_SERIALISERS_ON_BASE_FIELDS                                     \
    /* the kind part of the dump, after the head */                            \
    void dumpKind(std::ostream& os) const;

// The stored sub-name range of kinds 2 and 16, whose members are valid in
// the entry's own VR.
template <class Base>
class StSySubNameRangePart : public Base {
public:
    using Base::Base;
    void setSubNameRange(StRangeID r) override { m_subNameRange = r; }
    StRangeID getSubNameRange() const override { return m_subNameRange; }
    StRangeID getSubValidRange() const override { return this->m_vr; }

protected:
    StRangeID m_subNameRange = ST_INVALID_RANGE;
};

// The visibility together with the index of the unit, of functions and
// units.
template <class Base>
class StSyUnitVisibilityPart : public Base {
public:
    using Base::Base;
    void setVisibility(int32_t visibility, uint8_t unitIndex) override
    {
        m_visibility = visibility;
        m_unitIndex = unitIndex;
    }
    int32_t getVisibility() const override { return m_visibility; }
    uint8_t getUnitIndex() const override { return m_unitIndex; }

protected:
    int32_t m_visibility = ST_VIS_PRIVATE;
    uint8_t m_unitIndex = 0;
};

class StSyConstSymbEntry : public StSyBaseSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyConstSymbEntry, ST_KIND_CONST)
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
    StConstEntryID getInitCID() const override { return m_initCID; }
    void setInitCID(StConstEntryID cid) override { m_initCID = cid; }
    void setTypeRefSID(StSymbEntryID sid) override { m_typeRef = sid; }
    StSymbEntryID getTypeRefSID() const override { return m_typeRef; }
    void setUnitSID(StSymbEntryID sid) override { m_unitSID = sid; }
    StSymbEntryID getUnitSID() const override { return m_unitSID; }
    void setVisibility(int32_t visibility, uint8_t) override { m_visibility = visibility; }
    int32_t getVisibility() const override { return m_visibility; }
    bool isReadable() const override { return true; }
    uint32_t segmentBits() const override { return ST_SEG_CONST; }

protected:
    StConstEntryID m_initCID;
    StSymbEntryID m_unitSID;
    int32_t m_visibility = ST_VIS_PRIVATE;
    StSymbEntryID m_typeRef;
};

class StSyTypeSpecSymbEntry : public StSySubNameRangePart<StSyConstSymbEntry> {
    ST_ENTRY_CLASS_BODY(StSyTypeSpecSymbEntry, ST_KIND_TYPESPEC)
public:
    using StSySubNameRangePart::StSySubNameRangePart;
    uint32_t segmentBits() const override { return ST_SEG_NONE; }
};

class StSyVarSymbEntry : public StSyConstSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyVarSymbEntry, ST_KIND_VAR)
public:
    using StSyConstSymbEntry::StSyConstSymbEntry;
    void setSecondFlag(uint8_t f) override { m_flag2 = f; }
    bool getSecondFlag() const override { return m_flag2 != 0; }
    void setAccessMode(int32_t m) override { m_access = m; }
    int32_t getAccessMode() const override { return m_access; }
    void setFirstFlag(uint8_t f) override { m_flag1 = f; }
    bool isReadable() const override;
    bool isWritable() const override;
    bool isFirstFlagTaskVar() const override { return m_flag1 != 0 && getKind() == ST_KIND_VAR; }
    uint32_t segmentBits() const override { return m_flag2 ? ST_SEG_VAR2 : ST_SEG_FRAME; }

protected:
    int32_t m_access = ST_ACCESS_LOCAL;
    uint8_t m_flag1 = 0;
    uint8_t m_flag2 = 0;
};

class StSyGlobVarSymbEntry : public StSyVarSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyGlobVarSymbEntry, ST_KIND_GLOBVAR)
public:
    using StSyVarSymbEntry::StSyVarSymbEntry;
    bool isRemanent() const override { return m_remanent; }
    void setRemanent(bool r) override { m_remanent = r; }
    void setVisibility(int32_t visibility, uint8_t unitIndex) override
    {
        m_visibility = visibility;
        m_unitIndex = unitIndex;
    }
    uint8_t getUnitIndex() const override { return m_unitIndex; }
    bool hasUnitIndex() const override { return m_unitIndex != 0; }
    uint32_t segmentBits() const override { return uint32_t(m_unitIndex) << 24; }

protected:
    bool m_remanent = false;
    uint8_t m_unitIndex = 0;
};

class StSySysVarSymbEntry : public StSyVarSymbEntry {
    ST_ENTRY_CLASS_BODY(StSySysVarSymbEntry, ST_KIND_SYSVAR)
public:
    using StSyVarSymbEntry::StSyVarSymbEntry;
    void setSysVarTOTypeRef(StSymbEntryID sid) override { m_toTypeRef = sid; }
    StSymbEntryID getSysVarTOTypeRef() const override { return m_toTypeRef; }
    bool hasUnitIndex() const override { return true; }
    uint32_t segmentBits() const override { return 0; }

protected:
    StSymbEntryID m_toTypeRef;
};

class StSyInterfaceVarSymbEntry : public StSyVarSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyInterfaceVarSymbEntry, ST_KIND_INTERFACEVAR)
public:
    using StSyVarSymbEntry::StSyVarSymbEntry;
    bool isRemanent() const override { return m_remanent; }
    void setRemanent(bool r) override { m_remanent = r; }
    int32_t getVisibility() const override { return 0; }
    uint8_t getUnitIndex() const override { return 0; }
    void setSysVarAddress(int32_t a) override { m_sysVarAddress = a; }
    int32_t getSysVarAddress() const override { return m_sysVarAddress; }
    uint32_t segmentBits() const override { return ST_SEG_INTERFACE; }

protected:
    bool m_remanent = false;
    int32_t m_sysVarAddress = 0;
};

// Base of the classes with a frame part.
class StSyFrameSymbEntry : public StSyBaseSymbEntry {
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
    const StFrameProperties* getFrameProperties() const override { return &m_frame; }
    StFrameProperties* getFrameProperties() override { return &m_frame; }
    template <class A>
    void io(A& a, uint32_t mode);

protected:
    StFrameProperties m_frame;
};

class StSyFuncSymbEntry : public StSyUnitVisibilityPart<StSyFrameSymbEntry> {
    ST_ENTRY_CLASS_BODY(StSyFuncSymbEntry, ST_KIND_FUNC)
public:
    using StSyUnitVisibilityPart::StSyUnitVisibilityPart;
    void setFuncIndex(int32_t i) override { m_funcIndex = i; }
    int32_t getFuncIndex() const override { return m_funcIndex; }
    void setUnitSID(StSymbEntryID sid) override { m_unitSID = sid; }
    StSymbEntryID getUnitSID() const override { return m_unitSID; }
    bool hasUnitIndex() const override { return m_unitIndex != 0; }
    bool getFuncFlag() const override { return m_funcFlag; }
    void setFuncFlag(bool f) { m_funcFlag = f; }
    uint32_t segmentBits() const override { return ST_SEG_CONST; }

protected:
    StSymbEntryID m_unitSID;
    int32_t m_funcIndex = -1;
    bool m_funcFlag = false;
};

class StSyFuncBlockSymbEntry : public StSyFuncSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyFuncBlockSymbEntry, ST_KIND_FUNCBLOCK)
public:
    using StSyFuncSymbEntry::StSyFuncSymbEntry;
    StConstEntryID getInitCID() const override { return m_initCID; }
    void setInitCID(StConstEntryID cid) override { m_initCID = cid; }
    void setSubNameRange(StRangeID r) override { m_frame.membNRange = r; }
    void setSubValidRange(StRangeID r) override { m_frame.membVRange = r; }
    bool getFuncFlag() const override { return false; }
    uint32_t segmentBits() const override { return ST_SEG_FRAME; }

protected:
    StConstEntryID m_initCID;
};

class StSyProgramSymbEntry : public StSyFuncBlockSymbEntry {
    ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(StSyProgramSymbEntry, ST_KIND_PROGRAM)
public:
    using StSyFuncBlockSymbEntry::StSyFuncBlockSymbEntry;
    bool getProgramFlag() const override { return m_funcFlag; }
};

class StSyTaskSymbEntry : public StSyFrameSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyTaskSymbEntry, ST_KIND_TASK)
public:
    using StSyFrameSymbEntry::StSyFrameSymbEntry;
    void setSubNameRange(StRangeID r) override { m_frame.membNRange = r; }
    void setSubValidRange(StRangeID r) override { m_frame.membVRange = r; }
    void setTaskRecord(const StTaskRecord& t) override { m_task = t; }
    StTaskRecord getTaskRecord() const override { return m_task; }

protected:
    StTaskRecord m_task;
};

class StSyTempSymbEntry : public StSyBaseSymbEntry {
    ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(StSyTempSymbEntry, ST_KIND_TEMP)
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
    uint32_t segmentBits() const override { return ST_SEG_FRAME; }
};

class StSyTOTypeSymbEntry : public StSyFrameSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyTOTypeSymbEntry, ST_KIND_TOTYPE)
public:
    using StSyFrameSymbEntry::StSyFrameSymbEntry;
    void setBaseTOTypeSID(StSymbEntryID sid) override { m_baseTOType = sid; }
    StSymbEntryID getBaseTOTypeSID() const override { return m_baseTOType; }
    // Not serialised.
    void setUnitSID(StSymbEntryID sid) override { m_unitSID = sid; }
    StSymbEntryID getUnitSID() const override { return m_unitSID; }

protected:
    StSymbEntryID m_baseTOType;
    StSymbEntryID m_unitSID;
};

class StSyTOSymbEntry : public StSyFrameSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyTOSymbEntry, ST_KIND_TO)
public:
    using StSyFrameSymbEntry::StSyFrameSymbEntry;
    void setTypeRefSID(StSymbEntryID sid) override { m_toType = sid; }
    StSymbEntryID getTypeRefSID() const override { return m_toType; }
    bool isReadable() const override { return true; }
    uint32_t segmentBits() const override { return 0; }

protected:
    StSymbEntryID m_toType;
};

class StSyDeviceTypeSymbEntry : public StSyFrameSymbEntry {
    ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(StSyDeviceTypeSymbEntry, ST_KIND_DEVICETYPE)
public:
    using StSyFrameSymbEntry::StSyFrameSymbEntry;
};

// Its type SID names the device type.
class StSyDeviceSymbEntry : public StSyTOSymbEntry {
    ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(StSyDeviceSymbEntry, ST_KIND_DEVICE)
public:
    using StSyTOSymbEntry::StSyTOSymbEntry;
};

class StSyPackageTypeSymbEntry : public StSyBaseSymbEntry {
    ST_ENTRY_CLASS_BODY_ON_BASE_FIELDS(StSyPackageTypeSymbEntry, ST_KIND_PACKAGETYPE)
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
};

class StSyPackageSymbEntry : public StSySubNameRangePart<StSyPackageTypeSymbEntry> {
    ST_ENTRY_CLASS_BODY(StSyPackageSymbEntry, ST_KIND_PACKAGE)
public:
    using StSySubNameRangePart::StSySubNameRangePart;
};

class StSyUnitSymbEntry : public StSyUnitVisibilityPart<StSyFrameSymbEntry> {
    ST_ENTRY_CLASS_BODY(StSyUnitSymbEntry, ST_KIND_UNIT)
public:
    using StSyUnitVisibilityPart::StSyUnitVisibilityPart;
};

class StSyMappedVarSymbEntry : public StSyBaseSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyMappedVarSymbEntry, ST_KIND_MAPPEDVAR)
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
    void setMappingInfo(StSymbEntryID location, int32_t address, const GUID& instance) override
    {
        m_mapping.locationSID = location;
        m_mapping.address = address;
        m_mapping.instanceID = instance;
    }
    StVarMappingInfo getMappingInfo() const override { return m_mapping; }

protected:
    StVarMappingInfo m_mapping;
};

class StSyDirectVarSymbEntry : public StSyBaseSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyDirectVarSymbEntry, ST_KIND_DIRECTVAR)
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
    void setVisibility(int32_t visibility, uint8_t) override { m_scopeVisibility = visibility; }
    int32_t getVisibility() const override { return m_scopeVisibility; }
    void setUnitSID(StSymbEntryID sid) override { m_unitSID = sid; }
    StSymbEntryID getUnitSID() const override { return m_unitSID; }
    // Stored, but the getter answers 0 like the base.
    void setAccessMode(int32_t m) override { m_access = m; }
    bool isReadable() const override;
    bool isWritable() const override;

protected:
    int32_t m_scopeVisibility = ST_VIS_PRIVATE;
    StSymbEntryID m_unitSID;
    int32_t m_access = ST_ACCESS_UNKNOWN;
};

class StSyNameSpaceSymbEntry : public StSyBaseSymbEntry {
    ST_ENTRY_CLASS_BODY(StSyNameSpaceSymbEntry, ST_KIND_NAMESPACE)
public:
    using StSyBaseSymbEntry::StSyBaseSymbEntry;
    StSymbEntryID getTypeRefSID() const override { return m_sid; }
    void setSubNameRange(StRangeID r) override { m_subNameRange = r; }
    StRangeID getSubNameRange() const override { return m_subNameRange; }
    void setSubValidRange(StRangeID r) override { m_subValidRange = r; }
    StRangeID getSubValidRange() const override { return m_subValidRange; }
    // Not serialised.
    void setUnitSID(StSymbEntryID sid) override { m_unitSID = sid; }
    StSymbEntryID getUnitSID() const override { return m_unitSID; }

protected:
    StRangeID m_subNameRange = ST_INVALID_RANGE;
    StRangeID m_subValidRange = ST_INVALID_RANGE;
    StSymbEntryID m_unitSID;
};

// A new default entry of the kind (1-21), pool-allocated; null for any
// other kind or when no memory is left.
StSyBaseSymbEntry* stCreateEntry(uint32_t kind);
// The same with the full constructor (SID, prev, next, name, VR, NR).
StSyBaseSymbEntry* stCreateEntry(uint32_t kind, StSymbEntryID sid, StSymbEntryID prev, StSymbEntryID next,
                                 String* name, StRangeID vr, StRangeID nr);
// The same made in an arena: such an entry is never deleted; its owner ends
// it with stDisposeEntryIn, or drops it with the arena (entries hold nothing
// that their destructors would have to free).
StSyBaseSymbEntry* stCreateEntryIn(CArena& arena, uint32_t kind, StSymbEntryID sid = ST_INVALID_SID,
                                   StSymbEntryID prev = ST_INVALID_SID, StSymbEntryID next = ST_INVALID_SID,
                                   String* name = nullptr, StRangeID vr = ST_INVALID_VR,
                                   StRangeID nr = ST_INVALID_NR);
// Destroys an entry made in the arena and keeps its block there for reuse.
void stDisposeEntryIn(CArena& arena, StSyBaseSymbEntry* entry);
