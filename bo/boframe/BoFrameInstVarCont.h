// Frame of the instance side of the variable extensions: what one
// technology-object instance holds beside its type. It keeps the selected
// configuration, the instance's system-variable (sysvar) symbol table, the
// link to the type's container and three families of version stamps -
// configuration, units, sysvars - and answers the type's queries for the
// current configuration. CBOInstVarCont (BoInstVarCont.h) adds the units,
// the values and the digests behind the unit and sysvar stamps.
//
// Both share one interface of 101 operations, numbered beside each
// declaration; the concrete instance class (outside this system) supplies
// the object name (99), the configuration-changed notification (31) and the
// structure-changed notification (92).
//
// Version stamps. Each family has a version and a signature (sysvars: an
// offline version, an online data version and signature, and a structure
// version); the invalid stamp is 20 bytes of 0xFF. A flag word selects the
// stamp: data 0x1, struct 0x2, online 0x10000000, offline 0x20000000,
// version 0x40000000, signature 0x80000000. Exactly one of data / struct
// and of online / offline must be set, never both version and signature,
// and no bit outside the operation's mask (checkVersionFlags):
//     family         get         change      set
//     configuration  0xD0000001  0x10000001  0x50000001
//     units          0xD0000001  0x10000001  0x50000001
//     sysvars        0xF0000003  0x30000003  0x70000001
// A change sets the family's changed and follow bits and renews its
// stamps (a fresh GUID, 0.0; newGuid is the source); a set stores the given
// stamp and clears the follow bit; while the follow bit is set a digest
// calculation also copies the signature into the version.
//
// The configuration digest is MD5 over the current configuration (4 bytes
// little-endian), the GUID the 16 digest bytes in order, version 0.0.
//
// Configuration section: the current configuration followed by one blank
// (text mode); save 0 or 21, load 0 or 27 (BoVarExtIo.h).
//
// Refusals are trace lines (source "boinstvar", method
// "CBOFrameInstVarCont::<operation>") that name the object as "Obj(%s)":
//   no type container    "Obj(%s): m_pBOFrameTypeVarCont is invalid" (4);
//                        the neutral answer (empty list / String, 0, false)
//   description queries  "Obj(%s): getConfigurationDsc failed" (and the
//                        group and entry forms); an empty String
//   version flags        the lines of checkVersionFlags, then
//                        "Obj(%s): checkVersionFlags failed"
//   setConfiguration     "Obj(%s): configuration 0x%08X is not valid" (3)
//   getTypeIdByAdr       "Obj(%s): no operand found for ADR(0x%08X)",
//                        "Obj(%s): invalid type for adr: 0x%08X"
//   loadSysVarTab        "Obj(%s): bad stab status"
//   digests              "Obj(%s): getHashAsGUID failed"
// "Not locked" operations answer their neutral value without asking the
// type when checkArrayEntry (5) reports the address as a locked element of
// a dynamic array.
#pragma once
#include <cstdint>
#include <list>
#include <ostream>
#include <utility>

#include "base/fs/FsSecCl.h"
#include "bo/bo/BoPhysUnit.h"
#include "bo/boframe/BoFrameSymbTable.h"
#include "bo/boframe/BoFrameTypeVarCont.h"
#include "bo/boframe/CSymAccInterface.h"
#include "co/VersionStamp.h"
#include "co/tvstring.h"
#include "platform/variant.h"

class CoCryptHashVariant;

// Bits of the version flag words.
enum BoVersionFlag : uint32_t {
    BoVer_Data = 0x00000001,
    BoVer_Struct = 0x00000002,
    BoVer_Online = 0x10000000,
    BoVer_Offline = 0x20000000,
    BoVer_Version = 0x40000000,
    BoVer_Signature = 0x80000000,
};

// The families in the changed and follow bits.
enum BoVersionFamily : uint32_t {
    BoFamily_Cfg = 0x1,
    BoFamily_Units = 0x2,
    BoFamily_SysVars = 0x4,
};

// Result codes of the instance side.
constexpr uint32_t BO_INST_REFUSED = 5;
constexpr uint32_t BO_INST_NO_PARTNER = 10;
constexpr uint32_t BO_INST_UNIT_RANGE = 36;
constexpr uint32_t BO_INST_UNIT_QUANTITY = 37;
constexpr uint32_t BO_INST_UNIT_INVALID = 38;
constexpr uint32_t BO_INST_MISSING = 65535;

// (code, address) pairs of an error list; (0, 0xFFFFFFFF) stands for none.
using BoIdPairList = std::list<std::pair<uint32_t, uint32_t>>;

// One value read back from a device: its value kind (the machine mode of
// its type: 0-2 signed 8/16/32 bit, 4-6 unsigned, 8 REAL, 9 LREAL), the
// variable's address and the 8 value bytes (little-endian; REAL in the
// first 4).
struct BoUploadRecord {
    uint32_t kind = 0;
    uint32_t adr = 0;
    uint8_t value[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};
using BoUploadList = std::list<BoUploadRecord>;

// A dynamic array of an instance: its size variable, the distance of its
// elements in bytes and its full length (the declared element count).
struct BoArrayHandle {
    uint32_t sizeAdr = 0;
    int32_t step = 0;
    int32_t length = 0;
};

class CBOFrameInstVarCont : public virtual CSymAccInterface {
public:
    CBOFrameInstVarCont();
    CBOFrameInstVarCont(const CBOFrameInstVarCont&) = delete;
    CBOFrameInstVarCont& operator=(const CBOFrameInstVarCont&) = delete;

    // The type's container (not owned; may be null). The current
    // configuration becomes the type's default.
    virtual void setTypeVarCont(CBOFrameTypeVarCont* type);
    CBOFrameTypeVarCont* getTypeVarCont() const { return m_pBOFrameTypeVarCont; }

    // --- symbol access (0-3): operations 67, 69, 73 and 71 ---
    /* 0 */ StStdConstantVal* getSymValue(uint32_t adr, bool& isDefault) override;
    /* 1 */ StStdConstantVal* getSymMinValue(uint32_t adr) override;
    /* 2 */ StStdConstantVal* getSymMaxValue(uint32_t adr) override;
    /* 3 */ StStdConstantVal* getSymStdValue(uint32_t adr) override;

    // The value of a variable for the current configuration (BoInstVarCont.h).
    /* 4 */ virtual bool setActVal(uint32_t adr, StStdConstantVal* newValue, bool& structureChanged) = 0;
    // adr is a locked element of a dynamic array in the current configuration.
    /* 5 */ virtual bool checkArrayEntry(uint32_t adr) = 0;
    // adr is a dynamic array of this instance.
    /* 6 */ virtual bool isArrayHandle(uint32_t adr) const;
    // The arrays governed by the size variable adr in the current
    // configuration; false when none.
    /* 7 */ virtual bool getDynArraySizes(uint32_t adr, BoIdList& arrays) = 0;
    // Reserved operations of the type (59-62); 8 and 9 not locked.
    /* 8 */ virtual bool reserved8(uint32_t adr);
    /* 9 */ virtual uint32_t reserved9(uint32_t adr, uint32_t extra);
    /* 10 */ virtual uint32_t reserved10(uint32_t arg);
    /* 11 */ virtual String reserved11(uint32_t arg);
    // Operation 98.
    /* 12 */ virtual StTypeID getTypeId(uint32_t adr);
    // The comment texts of the type (37, 38).
    /* 13 */ virtual bool getText(const String& typeName, String& text);
    /* 14 */ virtual bool getText(int32_t adr, String& text);
    // The value's fixed unit, else its quantity; -1 without value.
    /* 15 */ virtual int32_t getValueUnit(uint32_t adr) = 0;
    // The type's (16); without a type 0, the neutral answer of every
    // forwarding operation (the type's -1 means a quantity it lacks).
    /* 16 */ virtual int32_t getDefaultUnit(PhysGr physGr);
    /* 17 */ virtual int32_t getCurrentUnit(PhysGr physGr) = 0;
    /* 18 */ virtual uint32_t convertVal(VARIANT& value, int32_t from, int32_t to) = 0;
    // The list becomes the single pair (0, 0xFFFFFFFF).
    /* 19 */ virtual void resetIdPairs(BoIdPairList& pairs);
    // Attributes (43-45); 20 not locked.
    /* 20 */ virtual VarExt* getAttrib(uint32_t adr);
    /* 21 */ virtual int32_t findAddrByAttr(uint32_t trueA, uint32_t falseA, uint32_t trueATO1, uint32_t falseATO1,
                                            uint32_t trueATO2, uint32_t falseATO2, uint32_t trueG,
                                            BoIdList* addresses, uint32_t flags);
    /* 22 */ virtual bool checkForAttr(uint32_t fromAdr, uint32_t toAdr, uint32_t trueA, uint32_t falseA,
                                       uint32_t trueATO1, uint32_t falseATO1, uint32_t trueATO2, uint32_t falseATO2,
                                       uint32_t trueG, uint32_t flags);
    // Operations 93, 94, 95.
    /* 23 */ virtual bool symIsBitField(uint32_t adr);
    /* 24 */ virtual int32_t symGetBitFields(uint32_t adr, BitFieldInfoList& bits);
    /* 25 */ virtual String symLoadResText(int32_t textId);
    // Copies of the default with the value 0 / 0xFFFFFFFF (53, 54), owned
    // by the caller; not locked.
    /* 26 */ virtual StStdConstantVal* getClearedDefVal(uint32_t adr);
    /* 27 */ virtual StStdConstantVal* getFilledDefVal(uint32_t adr);
    /* 28 */ ~CBOFrameInstVarCont() override;

    // --- configuration ---
    /* 29 */ virtual uint32_t getConfiguration() const { return m_currentCfg; }
    // 5 and a trace for a configuration the type does not declare; a new
    // valid one becomes current, renews the configuration version and is
    // notified (31); the current one changes nothing. 0.
    /* 30 */ virtual uint32_t setConfiguration(uint32_t cfg);
    /* 31 */ virtual void configurationChanged(uint32_t oldCfg, uint32_t newCfg) = 0;
    // The type's (2-8).
    /* 32 */ virtual bool isValidConfiguration(uint32_t cfg);
    /* 33 */ virtual BoIdList getConfigurationEntrys();
    /* 34 */ virtual String getConfigurationDsc(uint32_t cfg);
    /* 35 */ virtual BoIdList getConfigurationGroups();
    /* 36 */ virtual String getConfigurationGroupDsc(uint32_t group);
    /* 37 */ virtual BoIdList getConfigurationGroupEntrys(uint32_t group);
    /* 38 */ virtual String getConfigurationGroupEntryDsc(uint32_t group, uint32_t entry);
    // Current := the type's default configuration (0 without type).
    /* 39 */ virtual void cleanCfg();
    /* 40 */ virtual uint32_t saveCfg(FsSecCl& s);
    /* 41 */ virtual uint32_t loadCfg(FsSecCl& s);
    // cleanCfg, then loaded.
    /* 42 */ virtual void initCfg();
    /* 43 */ virtual bool isCfgLoaded() const { return m_cfgLoaded; }
    /* 44 */ virtual VRX_VersionStamp getConfigurationVersion(uint32_t flags);
    /* 45 */ virtual void calculateConfigurationVersion();
    /* 46 */ virtual bool changeConfigurationVersion(uint32_t flags);
    /* 47 */ virtual bool setConfigurationVersion(uint32_t flags, const VRX_VersionStamp& stamp);

    // --- units (BoInstVarCont.h) ---
    // The type's (17); 0 without a type.
    /* 48 */ virtual int32_t getCompatibleIdx(int32_t id);
    /* 49 */ virtual uint32_t getPossibleUnits(PhysGr physGr, BoUnitIdList& units);
    /* 50 */ virtual uint32_t setUnit(PhysGr physGr, int32_t unit) = 0;
    /* 51 */ virtual uint32_t getPhysDims(BoUnitIdList& dims);
    /* 52 */ virtual const CUnitEntryTable& getUnitTable() const = 0;
    /* 53 */ virtual CUnitEntryTable copyUnitTable() const = 0;
    /* 54 */ virtual uint32_t setCurrentUnit(PhysGr physGr, int32_t unit) = 0;
    /* 55 */ virtual bool matchUnit(PhysGr physGr, int32_t unit);
    /* 56 */ virtual StStdConstantVal* convertVal(const StStdConstantVal& value, uint32_t adr, uint32_t cfg,
                                                 bool useCurrentCfg, bool rounding, bool toCurrent) = 0;
    /* 57 */ virtual uint32_t readDefVal(FsSecCl& s) = 0;
    /* 58 */ virtual void cleanUnit() = 0;
    /* 59 */ virtual uint32_t saveUnit(FsSecCl& s) = 0;
    /* 60 */ virtual uint32_t loadUnit(FsSecCl& s) = 0;
    /* 61 */ virtual void initUnit() = 0;
    /* 62 */ virtual bool isUnitLoaded() const { return m_unitsLoaded; }
    /* 63 */ virtual VRX_VersionStamp getUnitVersion(uint32_t flags);
    /* 64 */ virtual void calculateUnitVersion() = 0;
    /* 65 */ virtual bool changeUnitVersion(uint32_t flags);
    /* 66 */ virtual bool setUnitVersion(uint32_t flags, const VRX_VersionStamp& stamp);

    // --- values (BoInstVarCont.h) ---
    /* 67 */ virtual StStdConstantVal* getInstValue(uint32_t adr) = 0;
    /* 68 */ virtual StStdConstantVal* getMinVal(uint32_t adr, uint32_t cfg);
    /* 69 */ virtual StStdConstantVal* getMinVal(uint32_t adr);
    /* 70 */ virtual StStdConstantVal* getStdVal(uint32_t adr, uint32_t cfg);
    /* 71 */ virtual StStdConstantVal* getStdVal(uint32_t adr);
    /* 72 */ virtual StStdConstantVal* getMaxVal(uint32_t adr, uint32_t cfg);
    /* 73 */ virtual StStdConstantVal* getMaxVal(uint32_t adr);
    /* 74 */ virtual uint32_t writeSysVarBuffer(FsSecCl& s) = 0;
    /* 75 */ virtual uint32_t readDefVal(const BoUploadList& uploaded, bool strict,
                                         BoIdPairList& errors, bool& structureChanged) = 0;
    // The value's constant carries an id of its own (a system variable);
    // false and a level-3 trace without value.
    /* 76 */ virtual bool isOnlRel(uint32_t adr);
    // The type's dynamic-array table holds (adr, current configuration)
    // exactly: adr sizes arrays of this configuration.
    /* 77 */ virtual bool isStructRel(uint32_t adr) = 0;
    /* 78 */ virtual void cleanValues() = 0;
    /* 79 */ virtual uint32_t saveValues(FsSecCl& s) = 0;
    /* 80 */ virtual uint32_t loadValues(FsSecCl& s) = 0;
    /* 81 */ virtual uint32_t initSysVar(bool fromType) = 0;
    /* 82 */ virtual uint32_t arrangeSysVar(bool share) = 0;
    /* 83 */ virtual bool isValuesLoaded() const { return m_valuesLoaded; }
    /* 84 */ virtual VRX_VersionStamp getSysVarVersion(uint32_t flags);
    /* 85 */ virtual void calculateSysVarVersion() = 0;
    /* 86 */ virtual bool changeSysVarVersion(uint32_t flags);
    /* 87 */ virtual bool setSysVarVersion(uint32_t flags, const VRX_VersionStamp& stamp);

    // --- the sysvar symbol table ---
    /* 88 */ virtual bool isSysVarTabLoaded() const { return m_sysVarTabLoaded; }
    /* 89 */ virtual void releaseSysVarTab();
    // A new table read from the section: 0, 27 when the stream failed, 10
    // (and no table) when the table read is unusable.
    /* 90 */ virtual uint32_t loadSysVarTab(FsSecCl& s);
    /* 91 */ virtual bool hasDynArrays();
    /* 92 */ virtual void structureChanged(uint32_t adr) = 0;
    /* 93 */ virtual bool isBitField(uint32_t adr);
    /* 94 */ virtual int32_t getBitFields(uint32_t adr, BitFieldInfoList& bits);
    /* 95 */ virtual String loadResText(int32_t textId);
    // True when none of the bits is set.
    /* 96 */ virtual bool testFollowBits(uint32_t bits) const { return (m_follow & bits) == 0; }
    /* 97 */ virtual void setFollowBits(uint32_t bits) { m_follow |= bits; }
    // The type of the sysvar (or its element or member) at adr; the
    // invalid TID and a trace without table or operand.
    /* 98 */ virtual StTypeID getTypeIdByAdr(uint32_t adr);
    /* 99 */ virtual String getObjName() const = 0;
    // Array handles, configuration, units and values emptied; the sysvar
    // table released when the type has dynamic arrays (its arrays were
    // resized).
    /* 100 */ virtual void cleanAll();

    // True when flags passes the rules for the operation's mask (see the
    // top of this file); each violation writes its line.
    bool checkVersionFlags(uint32_t flags, uint32_t supported);

    uint32_t getChangedBits() const { return m_changed; }
    uint32_t getFollowBits() const { return m_follow; }
    void clearChangedBits() { m_changed = 0; }
    CBOFrameSymbTable* getSysVarTab() const { return m_pSysVarTab; }
    // Takes the table over (the previous one is deleted); loaded := table != null.
    void setSysVarTab(CBOFrameSymbTable* table);

    // The stamps as they are.
    const CVersionStamp& cfgVersion() const { return m_cfgVersion; }
    const CVersionStamp& cfgSignature() const { return m_cfgSignature; }
    const CVersionStamp& unitVersion() const { return m_unitVersion; }
    const CVersionStamp& unitSignature() const { return m_unitSignature; }
    const CVersionStamp& sysVarOfflineVersion() const { return m_offlineVersion; }
    const CVersionStamp& sysVarOnlineVersion() const { return m_onlineVersion; }
    const CVersionStamp& sysVarOnlineSignature() const { return m_onlineSignature; }
    const CVersionStamp& sysVarStructVersion() const { return m_structVersion; }

protected:
    // Source of fresh stamps: a new GUID and 0.0 (tests fix it).
    virtual void newGuid(CVersionStamp& stamp);
    // The type container, or null after the "m_pBOFrameTypeVarCont is
    // invalid" trace of method.
    CBOFrameTypeVarCont* typeOr(const char* method) const;
    // The digest of hasher into stamp (version 0.0); the invalid stamp and
    // the "getHashAsGUID failed" trace of method when it fails.
    bool digestInto(CoCryptHashVariant& hasher, CVersionStamp& stamp, const char* method);
    // Trace line of method naming the object: "Obj(<name>): " + format.
    void traceObj(uint32_t level, const char* method, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));
    // The frame part of the dump (headings and the configuration).
    void dumpConfiguration(std::ostream& out) const;

    uint32_t m_changed = 0;
    uint32_t m_follow = 0;
    uint32_t m_currentCfg = 0;
    CBOFrameSymbTable* m_pSysVarTab = nullptr;
    bool m_sysVarTabLoaded = false;
    CBOFrameTypeVarCont* m_pBOFrameTypeVarCont = nullptr;
    CVersionStamp m_cfgVersion, m_cfgSignature;
    bool m_cfgLoaded = false;
    CVersionStamp m_unitVersion, m_unitSignature;
    bool m_unitsLoaded = false;
    CVersionStamp m_offlineVersion, m_onlineVersion, m_onlineSignature, m_structVersion;
    bool m_valuesLoaded = false;
    // Array address -> its size variable and shape.
    BoMap<uint32_t, BoArrayHandle> m_arrayHandles;

private:
    // Get / change / set of the configuration and unit families.
    VRX_VersionStamp getPair(uint32_t flags, const CVersionStamp& version, const CVersionStamp& signature,
                             const char* method);
    bool changePair(uint32_t flags, uint32_t family, CVersionStamp& version, CVersionStamp& signature,
                    const char* method);
    bool setStamp(uint32_t flags, uint32_t supported, uint32_t family, CVersionStamp& version,
                  const VRX_VersionStamp& stamp, const char* method);
    bool flagsOk(uint32_t flags, uint32_t supported, const char* method);
    void renew(CVersionStamp& stamp);
};
