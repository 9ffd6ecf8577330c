// Frame of a technology-object type's variable extensions: what is common
// to all variables of the type, namely its configurations (configuration id
// -> text id), its configuration groups with their entries, the default
// configuration and the link to the frame constant table that holds every
// value of the type. It declares the 70-operation type interface (the slot
// number of each operation stands beside it); the frame implements slots
// 0, 1, 3, 5, 7 and 69, the type container the others, in the same order.
//
// Inserts keep an existing key (the new value is dropped); text setters
// write a text only while it is still the "no text" id 0xFFFFFFFF (-1).
// Every refusal returns false and writes one trace line (source
// "bovarext") naming the type by getModuleName:
//   addCfgEntry           "Type(%s): configuration 0x%08X already exist"
//   addCfgGroup           "Type(%s): group 0x%08X already exist"
//   setCfgGroupText       "Type(%s): group 0x%08X not exist",
//                         "Type(%s): text for group 0x%08X already exist"
//   addCfgGroupEntry      "Type(%s): group 0x%08X not found" (level 3 in the
//                         form with a text id, else 4),
//                         "Type(%s): Group Entry 0x%08X already exist"
//   setCfgGroupEntryText  "Type(%s): group 0x%08X not found",
//                         "Type(%s): entry 0x%08X in group 0x%08X not found",
//                         "Type(%s): text for entry 0x%08X in group 0x%08X already exist"
// at level 4 unless stated.
#pragma once
#include <cstdint>
#include <list>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "bo/bo/BoVarExt.h"
#include "co/tvstring.h"

class CBOFrameConstValTable;

// One bit of a variable's bit field as the type answers it: the bit, the
// texts of its bit type (-1 when the type is unknown) and the third word.
struct BitFieldInfo {
    int32_t bit = 0;
    int32_t setTextId = -1;
    int32_t unsetTextId = -1;
    int32_t third = 0;
};
using BitFieldInfoList = std::list<BitFieldInfo>;
using BoIdList = std::list<uint32_t>;
using BoUnitIdList = std::list<int32_t>;

// Bits of the flag word of checkAttr.
enum ESAttrMask : uint32_t {
    ESAttrMask_TrueAttrValueMask = 0x00000001,  // a true mask needs all its bits (else any)
    ESAttrMask_AttrMaskWord = 0x00000004,       // word-wise: true test OR false test (else AND)
    ESAttrMask_AttrMask = 0x00000008,           // overall OR (else AND)
    ESAttrMask_OrderMask = 0x10000000,          // test-wise evaluation (else word-wise)
    ESAttrMask_TrueMask = 0x20000000,           // test-wise: one true test suffices
    ESAttrMask_FalseMask = 0x40000000,          // test-wise: one false test suffices
};

// checkAttr's answer when the words do not satisfy the request.
constexpr uint32_t BO_ATTR_NO_MATCH = 138;

class CBOFrameTypeVarCont : public CCfgEntryTable, public CCfgGroupTable {
public:
    // constValTableLink: the address of the owner's pointer to its frame
    // constant table (the owner creates and deletes the table).
    explicit CBOFrameTypeVarCont(CBOFrameConstValTable* const* constValTableLink);
    CBOFrameTypeVarCont(const CBOFrameTypeVarCont&) = delete;
    CBOFrameTypeVarCont& operator=(const CBOFrameTypeVarCont&) = delete;

    // --- the type interface ---
    /* 0 */ virtual ~CBOFrameTypeVarCont();
    /* 1 */ virtual uint32_t getDefaultConfiguration() const;
    /* 2 */ virtual bool isValidConfiguration(uint32_t cfg) const = 0;
    // All configuration ids, ascending.
    /* 3 */ virtual BoIdList getConfigurationEntrys() const;
    /* 4 */ virtual uint32_t getConfigurationDsc(uint32_t cfg, String& text) = 0;
    // All group ids, ascending.
    /* 5 */ virtual BoIdList getConfigurationGroups() const;
    /* 6 */ virtual uint32_t getConfigurationGroupDsc(uint32_t group, String& text) = 0;
    // The group's entry ids, ascending; empty and the level-3 trace
    // "group 0x%08X not found" when the group is not present.
    /* 7 */ virtual BoIdList getConfigurationGroupEntrys(uint32_t group) const;
    /* 8 */ virtual uint32_t getConfigurationGroupEntryDsc(uint32_t group, uint32_t entry, String& text) = 0;
    /* 9 */ virtual uint32_t reserved9(uint32_t) = 0;
    /* 10 */ virtual uint32_t reserved10(uint32_t) = 0;
    /* 11 */ virtual uint32_t reserved11() = 0;
    /* 12 */ virtual uint32_t saveCfg(FsSecCl& section) = 0;
    /* 13 */ virtual uint32_t loadCfg(FsSecCl& section) = 0;
    /* 14 */ virtual void cleanCfg() = 0;
    /* 15 */ virtual bool isCfgLoaded() const = 0;
    /* 16 */ virtual int32_t getDefaultUnit(int32_t physGr) = 0;
    /* 17 */ virtual int32_t getCompatibleIdx(int32_t id) = 0;
    /* 18 */ virtual uint32_t getPossibleUnits(int32_t physGr, BoUnitIdList& units) = 0;
    /* 19 */ virtual uint32_t getPhysDims(BoUnitIdList& dims) = 0;
    /* 20 */ virtual bool matchUnit(int32_t physGr, int32_t unit) = 0;
    /* 21 */ virtual uint32_t saveUnits(FsSecCl& section) = 0;
    /* 22 */ virtual uint32_t loadUnits(FsSecCl& section) = 0;
    /* 23 */ virtual void cleanUnits() = 0;
    /* 24 */ virtual bool isUnitsLoaded() const = 0;
    /* 25 */ virtual StStdConstantVal* getMinVal(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 26 */ virtual StStdConstantVal* getStdVal(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 27 */ virtual StStdConstantVal* getMaxVal(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 28 */ virtual uint32_t saveValues(FsSecCl& section) = 0;
    /* 29 */ virtual uint32_t loadValues(FsSecCl& section) = 0;
    /* 30 */ virtual void cleanValues() = 0;
    /* 31 */ virtual bool isValuesLoaded() const = 0;
    /* 32 */ virtual bool hasDynArrays() const = 0;
    /* 33 */ virtual uint32_t saveDynArrays(FsSecCl& section) = 0;
    /* 34 */ virtual uint32_t loadDynArrays(FsSecCl& section) = 0;
    /* 35 */ virtual void cleanDynArrays() = 0;
    /* 36 */ virtual bool isDynArraysLoaded() const = 0;
    /* 37 */ virtual bool getText(const String& typeName, uint32_t mask, String& text) = 0;
    /* 38 */ virtual bool getText(int32_t adr, uint32_t cfg, String& text) = 0;
    /* 39 */ virtual uint32_t saveText(FsSecCl& section) = 0;
    /* 40 */ virtual uint32_t loadText(FsSecCl& section) = 0;
    /* 41 */ virtual void cleanText() = 0;
    /* 42 */ virtual bool isTextLoaded() const = 0;
    /* 43 */ virtual VarExt* getAttrib(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 44 */ virtual int32_t findAddrByAttr(uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1,
                                            uint32_t trueATO2, uint32_t falseATO2, uint32_t trueG, BoIdList* addresses,
                                            const uint32_t& cfg, uint32_t flags) = 0;
    /* 45 */ virtual bool checkForAttr(const uint32_t& fromAdr, const uint32_t& toAdr, const uint32_t& cfg,
                                       uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1,
                                       uint32_t trueATO2, uint32_t falseATO2, uint32_t trueG, uint32_t flags) = 0;
    /* 46 */ virtual uint32_t saveAttribs(FsSecCl& section) = 0;
    /* 47 */ virtual uint32_t loadAttribs(FsSecCl& section) = 0;
    /* 48 */ virtual void cleanAttribs() = 0;
    /* 49 */ virtual bool isAttribsLoaded() const = 0;
    /* 50 */ virtual bool isBitField(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 51 */ virtual int32_t getBitFields(const uint32_t& adr, const uint32_t& cfg, BitFieldInfoList& bits) = 0;
    /* 52 */ virtual String loadResText(int32_t textId) = 0;
    /* 53 */ virtual StStdConstantVal* getClearedDefVal(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 54 */ virtual StStdConstantVal* getFilledDefVal(const uint32_t& adr, const uint32_t& cfg) = 0;
    /* 55 */ virtual uint32_t saveBits(FsSecCl& section) = 0;
    /* 56 */ virtual uint32_t loadBits(FsSecCl& section) = 0;
    /* 57 */ virtual void cleanBits() = 0;
    /* 58 */ virtual bool isBitsLoaded() const = 0;
    /* 59 */ virtual bool reserved59(uint32_t, uint32_t) = 0;
    /* 60 */ virtual uint32_t reserved60(uint32_t, uint32_t, uint32_t) = 0;
    /* 61 */ virtual uint32_t reserved61(uint32_t) = 0;
    /* 62 */ virtual String reserved62(uint32_t) = 0;
    /* 63 */ virtual bool reserved63(uint32_t, uint32_t, uint32_t) = 0;
    /* 64 */ virtual uint32_t saveEnums(FsSecCl& section) = 0;
    /* 65 */ virtual uint32_t loadEnums(FsSecCl& section) = 0;
    /* 66 */ virtual void cleanEnums() = 0;
    /* 67 */ virtual bool isEnumsLoaded() const = 0;
    // The type's name in trace lines (may be empty).
    /* 68 */ virtual String getModuleName() const = 0;
    // Nothing in the frame; the type container empties its tables.
    /* 69 */ virtual void clean();

    // --- filling (true: done; see the top of this file for refusals) ---
    bool addCfgEntry(uint32_t cfg, int32_t textId);
    bool addCfgGroup(uint32_t group, int32_t textId);
    bool addCfgGroup(uint32_t group);
    bool setCfgGroupText(uint32_t group, int32_t textId);
    bool addCfgGroupEntry(uint32_t group, uint32_t entry, int32_t textId);
    bool addCfgGroupEntry(uint32_t group, uint32_t entry);
    bool setCfgGroupEntryText(uint32_t group, uint32_t entry, int32_t textId);
    // Always true.
    bool setDefaultConfiguration(uint32_t cfg);

    // The attribute test of one record's words against a request: 0 when
    // they satisfy it, BO_ATTR_NO_MATCH (138) when not. Only the low 16 bits
    // of G and trueG count; flag bits other than those of ESAttrMask are
    // ignored.
    static uint32_t checkAttr(uint32_t A, uint32_t trueA, uint32_t falseA, uint32_t ATO1, uint32_t trueATO1,
                              uint32_t falseATO1, uint32_t ATO2, uint32_t trueATO2, uint32_t falseATO2, uint32_t G,
                              uint32_t trueG, uint32_t flags);

    // The owner's frame constant table; null when there is none.
    CBOFrameConstValTable* getConstValTable() const { return m_constValTable ? *m_constValTable : nullptr; }
    CCfgEntryTable& cfgEntries() { return *this; }
    const CCfgEntryTable& cfgEntries() const { return *this; }
    CCfgGroupTable& cfgGroups() { return *this; }
    const CCfgGroupTable& cfgGroups() const { return *this; }

protected:
    // For classes further down whose most-derived class does not name this
    // virtual base: the deriving container sets m_constValTable itself.
    CBOFrameTypeVarCont() : m_constValTable(nullptr) {}

    uint32_t m_defaultCfg = 0xFFFFFFFFu;
    CBOFrameConstValTable* const* m_constValTable;

private:
    bool addGroupEntry(uint32_t group, uint32_t entry, int32_t textId, uint32_t missingGroupLevel);
};
