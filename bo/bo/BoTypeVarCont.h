// Type-side variable-extension container: everything a technology-object
// type says about its variables. Typed values (minimum, default, maximum,
// unit) and attribute words per address and configuration mask, bit fields
// and bit types, dynamic-array links, the units the type may use, and the
// configuration, bit and comment texts of the type's resource module.
//
// It completes the type interface of CBOFrameTypeVarCont (a virtual base;
// the compilers' base completes the text and enumeration groups and the
// module name). Its contents go to the descriptor's sections in six groups,
// each with save (truncates and writes: 0, or 21 when the stream is in
// error), load (cleans the group first: 0, or 27), clean and is-loaded:
//   configurations "cfghead", units "units", values "varval",
//   attributes "varext", dynamic arrays "varcont", bits "bitfield"
// in the layouts of BoVarExtIo.h.
//
// The container owns its VarTypeValue and VarExt records; the constants
// they name live in the owner's frame constant table. Refusing adders
// return false and change nothing. Refusals of the queries are trace lines
// (source "bovarext", method "CBOTypeVarCont::<operation>"):
//   getConfigurationDsc           "configuration 0x%08X not found" (level 3)
//   getConfigurationGroupDsc      "group 0x%08X not found" (level 3)
//   getConfigurationGroupEntryDsc "group 0x%08X not found",
//                                 "entry 0x%08X not found" (level 3)
//   getDefaultUnit                "no DefaultUnit found for PhysGr(%i)" (4)
//   getCompatibleIdx              "invalid index %i" (4)
//   getPossibleUnits              "PhysGr(%i) is not valid" (4)
//   getText                       "m_pVarComment is invalid" (4)
#pragma once
#include <cstdint>
#include <list>
#include <ostream>

#include "bo/bo/BoPhysUnit.h"
#include "bo/bo/BoVarComment.h"
#include "bo/bo/BoVarExt.h"
#include "bo/boframe/BoFrameTypeVarCont.h"
#include "platform/resmodule.h"

// Result codes of the type container.
constexpr uint32_t BO_TYPE_NOT_FOUND = 13;
constexpr uint32_t BO_TYPE_UNIT_INVALID = 37;

class CBOTypeVarCont : public CVarTypeValueTable,
                       public CUnitEntryTable,
                       public CDynArrayTable,
                       public CBitFieldTable,
                       public CResolveTable,
                       public CUsedUnitTable,
                       public CAttribTable,
                       public CBitTypeTable,
                       public virtual CBOFrameTypeVarCont {
public:
    // The three links are addresses of the owner's fields: its frame
    // constant table pointer, its resource-module handle (null: no texts)
    // and its comment-container pointer (null: getText refuses). Any link
    // may itself be null.
    CBOTypeVarCont(CBOFrameConstValTable* const* constValTableLink, const tvp::ResModule* const* moduleLink,
                   CBoVarComment* const* varCommentLink);
    // Runs clean.
    ~CBOTypeVarCont() override;

    // --- the type interface (see BoFrameTypeVarCont.h for the slots) ---
    // True when the type declares no configuration, else when cfg is one.
    bool isValidConfiguration(uint32_t cfg) const override;
    // 0 with the text of the configuration / group / entry loaded into text
    // (unchanged without module or text); 13 and a trace when not declared.
    uint32_t getConfigurationDsc(uint32_t cfg, String& text) override;
    uint32_t getConfigurationGroupDsc(uint32_t group, String& text) override;
    uint32_t getConfigurationGroupEntryDsc(uint32_t group, uint32_t entry, String& text) override;
    uint32_t reserved9(uint32_t) override { return 0; }
    uint32_t reserved10(uint32_t) override { return 0; }
    uint32_t reserved11() override { return 0; }
    uint32_t saveCfg(FsSecCl& section) override;
    uint32_t loadCfg(FsSecCl& section) override;
    // Empties configurations and groups; the default configuration stays.
    void cleanCfg() override;
    bool isCfgLoaded() const override;
    // The quantity's default unit; -1 and a trace when it has none.
    int32_t getDefaultUnit(int32_t physGr) override;
    // id when 0 <= id < min(unit limit, 429); else -1 and a trace.
    int32_t getCompatibleIdx(int32_t id) override;
    // Appends the quantity's possible units in stored order: 0; 37 and a
    // trace when it has none.
    uint32_t getPossibleUnits(int32_t physGr, BoUnitIdList& units) override;
    // Appends, by local quantity number, each resolved id that is a
    // quantity record (ids outside the unit table are skipped). Always 0.
    uint32_t getPhysDims(BoUnitIdList& dims) override;
    // Both ids below min(unit limit, 429) and not negative, of the same
    // quantity, and unit in physGr's list of possible units.
    bool matchUnit(int32_t physGr, int32_t unit) override;
    uint32_t saveUnits(FsSecCl& section) override;
    uint32_t loadUnits(FsSecCl& section) override;
    // Unit limit back to 0; resolve, default and possible units emptied.
    void cleanUnits() override;
    bool isUnitsLoaded() const override;
    // The elementary constant of the found record's Min / Def / Max, owned
    // by the constant table; null without record, constant or table, or
    // for a constant that is not elementary.
    StStdConstantVal* getMinVal(const uint32_t& adr, const uint32_t& cfg) override;
    StStdConstantVal* getStdVal(const uint32_t& adr, const uint32_t& cfg) override;
    StStdConstantVal* getMaxVal(const uint32_t& adr, const uint32_t& cfg) override;
    uint32_t saveValues(FsSecCl& section) override;
    uint32_t loadValues(FsSecCl& section) override;
    void cleanValues() override;
    bool isValuesLoaded() const override;
    bool hasDynArrays() const override;
    uint32_t saveDynArrays(FsSecCl& section) override;
    uint32_t loadDynArrays(FsSecCl& section) override;
    void cleanDynArrays() override;
    bool isDynArraysLoaded() const override;
    // Forwarded to the owner's comment container; false and a trace when
    // there is none.
    bool getText(const String& typeName, uint32_t mask, String& text) override;
    bool getText(int32_t adr, uint32_t cfg, String& text) override;
    // The found attribute record (owned by the container); null when none.
    VarExt* getAttrib(const uint32_t& adr, const uint32_t& cfg) override;
    // Appends, once each and in key order, the addresses whose first
    // record (of an entry covering cfg) passes checkAttr; an address whose
    // covering entry has no record is skipped. -1 for a null list, else the
    // number appended.
    int32_t findAddrByAttr(uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1, uint32_t trueATO2,
                           uint32_t falseATO2, uint32_t trueG, BoIdList* addresses, const uint32_t& cfg,
                           uint32_t flags) override;
    // True when a record of [fromAdr, toAdr] covering cfg passes checkAttr.
    bool checkForAttr(const uint32_t& fromAdr, const uint32_t& toAdr, const uint32_t& cfg, uint32_t trueA,
                      uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1, uint32_t trueATO2, uint32_t falseATO2,
                      uint32_t trueG, uint32_t flags) override;
    uint32_t saveAttribs(FsSecCl& section) override;
    uint32_t loadAttribs(FsSecCl& section) override;
    void cleanAttribs() override;
    bool isAttribsLoaded() const override;
    bool isBitField(const uint32_t& adr, const uint32_t& cfg) override;
    // Appends the bits of adr's entries covering cfg, the first entry of a
    // bit number only; the list's length.
    int32_t getBitFields(const uint32_t& adr, const uint32_t& cfg, BitFieldInfoList& bits) override;
    // The module's text of textId; empty without module or text.
    String loadResText(int32_t textId) override;
    // A copy (owned by the caller) of the default constant with the value 0
    // / 0xFFFFFFFF; null when there is none or the type cannot take it.
    StStdConstantVal* getClearedDefVal(const uint32_t& adr, const uint32_t& cfg) override;
    StStdConstantVal* getFilledDefVal(const uint32_t& adr, const uint32_t& cfg) override;
    uint32_t saveBits(FsSecCl& section) override;
    uint32_t loadBits(FsSecCl& section) override;
    void cleanBits() override;
    bool isBitsLoaded() const override;
    bool reserved59(uint32_t, uint32_t) override { return false; }
    uint32_t reserved60(uint32_t, uint32_t, uint32_t) override { return 0; }
    uint32_t reserved61(uint32_t) override { return 0; }
    String reserved62(uint32_t) override { return String(); }
    bool reserved63(uint32_t, uint32_t, uint32_t) override { return false; }
    // The frame's clean, then every group's clean.
    void clean() override;

    // --- filling (false: refused, nothing changed) ---
    // Only once (a second limit is refused).
    bool setUnitParam(int32_t limit);
    // False when the local number exists.
    bool addResolveEntry(int32_t local, int32_t global);
    // Both ids inside the unit table, unit a unit (not a quantity record)
    // of physGr's quantity; addDefaultUnit also refuses a second default.
    bool addDefaultUnit(PhysGr physGr, int32_t unit);
    bool addUsedUnit(PhysGr physGr, int32_t unit);
    // Takes the record over; false for a present key (the record stays the
    // caller's).
    bool addTypeValue(const VarExtKey& key, VarTypeValue* value);
    bool addAttrib(const VarExtKey& key, VarExt* attrib);
    bool addDynArraySizes(const VarExtKey& sizeKey, const std::list<int32_t>& arrays);
    bool addBitType(int32_t id, int32_t setTextId, int32_t unsetTextId);
    bool addBitField(const VarExtKey& key, int32_t bit, int32_t bitType, int32_t third);

    // The found record's Fix, else its Unit; -1 when none.
    int32_t getValueUnit(const uint32_t& adr, const uint32_t& cfg);
    // The mask of the entry the masked lookup finds; 0 when none.
    uint32_t getValueCfg(const uint32_t& adr, const uint32_t& cfg);
    // The bit type's text ids; -1 when unknown.
    int32_t getBitTypeSetTextId(int32_t bitType) const;
    int32_t getBitTypeUnsetTextId(int32_t bitType) const;
    int32_t getUnitLimit() const { return m_unitLimit; }

    CResolveTable& getResolveTable() { return *this; }
    CUnitEntryTable& getUnitEntryTable() { return *this; }
    CVarTypeValueTable& valueTable() { return *this; }
    CAttribTable& attribTable() { return *this; }
    CDynArrayTable& dynArrayTable() { return *this; }
    CBitFieldTable& bitFieldTable() { return *this; }
    CBitTypeTable& bitTypeTable() { return *this; }
    CUsedUnitTable& usedUnitTable() { return *this; }
    const CVarTypeValueTable& valueTable() const { return *this; }
    const CAttribTable& attribTable() const { return *this; }
    const CDynArrayTable& dynArrayTable() const { return *this; }
    const CBitFieldTable& bitFieldTable() const { return *this; }
    const CBitTypeTable& bitTypeTable() const { return *this; }
    const CUsedUnitTable& usedUnitTable() const { return *this; }
    const CResolveTable& resolveTable() const { return *this; }
    const CUnitEntryTable& unitEntryTable() const { return *this; }

    // Diagnostic text of the type's tables (German headings, each formatted
    // part cut at 99 characters, " -> NULL" for an entry without record).
    void dumpTypeData(std::ostream& out);

protected:
    const tvp::ResModule* module() const { return m_moduleLink ? *m_moduleLink : nullptr; }
    // The constant of cid when it is elementary; null otherwise.
    StStdConstantVal* stdConstant(BoConstId cid) const;

private:
    bool loadText(int32_t textId, String& text) const;
    VarTypeValue* findValue(uint32_t adr, uint32_t cfg) const;
    StStdConstantVal* copyDefWith(uint32_t adr, uint32_t cfg, uint32_t value);
    int32_t unitLimitBound() const;

    const tvp::ResModule* const* m_moduleLink;
    int32_t m_unitLimit = 0;
    CBoVarComment* const* m_varCommentLink;
};
