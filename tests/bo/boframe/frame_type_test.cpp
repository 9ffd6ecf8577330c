// The frame of a type's variable extensions: the attribute test worked out
// by hand, the configuration and group adders and text setters with their
// trace lines, the id lists, the default configuration and the link to the
// owner's constant table. The frame is abstract; the tests use a type whose
// own operations do nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bo/boframe/BoFrameConstVal.h"
#include "bo/boframe/BoFrameTypeVarCont.h"
#include "co/TraceApi.h"

namespace {

// The frame with trivial operations; named "T" in trace lines.
class StubType : public CBOFrameTypeVarCont {
public:
    explicit StubType(CBOFrameConstValTable* const* link = nullptr) : CBOFrameTypeVarCont(link) {}
    bool isValidConfiguration(uint32_t) const override { return true; }
    uint32_t getConfigurationDsc(uint32_t, String&) override { return 0; }
    uint32_t getConfigurationGroupDsc(uint32_t, String&) override { return 0; }
    uint32_t getConfigurationGroupEntryDsc(uint32_t, uint32_t, String&) override { return 0; }
    uint32_t reserved9(uint32_t) override { return 0; }
    uint32_t reserved10(uint32_t) override { return 0; }
    uint32_t reserved11() override { return 0; }
    uint32_t saveCfg(FsSecCl&) override { return 0; }
    uint32_t loadCfg(FsSecCl&) override { return 0; }
    void cleanCfg() override {}
    bool isCfgLoaded() const override { return false; }
    int32_t getDefaultUnit(int32_t) override { return -1; }
    int32_t getCompatibleIdx(int32_t) override { return -1; }
    uint32_t getPossibleUnits(int32_t, BoUnitIdList&) override { return 0; }
    uint32_t getPhysDims(BoUnitIdList&) override { return 0; }
    bool matchUnit(int32_t, int32_t) override { return false; }
    uint32_t saveUnits(FsSecCl&) override { return 0; }
    uint32_t loadUnits(FsSecCl&) override { return 0; }
    void cleanUnits() override {}
    bool isUnitsLoaded() const override { return false; }
    StStdConstantVal* getMinVal(const uint32_t&, const uint32_t&) override { return nullptr; }
    StStdConstantVal* getStdVal(const uint32_t&, const uint32_t&) override { return nullptr; }
    StStdConstantVal* getMaxVal(const uint32_t&, const uint32_t&) override { return nullptr; }
    uint32_t saveValues(FsSecCl&) override { return 0; }
    uint32_t loadValues(FsSecCl&) override { return 0; }
    void cleanValues() override {}
    bool isValuesLoaded() const override { return false; }
    bool hasDynArrays() const override { return false; }
    uint32_t saveDynArrays(FsSecCl&) override { return 0; }
    uint32_t loadDynArrays(FsSecCl&) override { return 0; }
    void cleanDynArrays() override {}
    bool isDynArraysLoaded() const override { return false; }
    bool getText(const String&, uint32_t, String&) override { return false; }
    bool getText(int32_t, uint32_t, String&) override { return false; }
    uint32_t saveText(FsSecCl&) override { return 0; }
    uint32_t loadText(FsSecCl&) override { return 0; }
    void cleanText() override {}
    bool isTextLoaded() const override { return false; }
    VarExt* getAttrib(const uint32_t&, const uint32_t&) override { return nullptr; }
    int32_t findAddrByAttr(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, BoIdList*,
                           const uint32_t&, uint32_t) override
    {
        return -1;
    }
    bool checkForAttr(const uint32_t&, const uint32_t&, const uint32_t&, uint32_t, uint32_t, uint32_t, uint32_t,
                      uint32_t, uint32_t, uint32_t, uint32_t) override
    {
        return false;
    }
    uint32_t saveAttribs(FsSecCl&) override { return 0; }
    uint32_t loadAttribs(FsSecCl&) override { return 0; }
    void cleanAttribs() override {}
    bool isAttribsLoaded() const override { return false; }
    bool isBitField(const uint32_t&, const uint32_t&) override { return false; }
    int32_t getBitFields(const uint32_t&, const uint32_t&, BitFieldInfoList&) override { return 0; }
    String loadResText(int32_t) override { return String(); }
    StStdConstantVal* getClearedDefVal(const uint32_t&, const uint32_t&) override { return nullptr; }
    StStdConstantVal* getFilledDefVal(const uint32_t&, const uint32_t&) override { return nullptr; }
    uint32_t saveBits(FsSecCl&) override { return 0; }
    uint32_t loadBits(FsSecCl&) override { return 0; }
    void cleanBits() override {}
    bool isBitsLoaded() const override { return false; }
    bool reserved59(uint32_t, uint32_t) override { return false; }
    uint32_t reserved60(uint32_t, uint32_t, uint32_t) override { return 0; }
    uint32_t reserved61(uint32_t) override { return 0; }
    String reserved62(uint32_t) override { return String(); }
    bool reserved63(uint32_t, uint32_t, uint32_t) override { return false; }
    uint32_t saveEnums(FsSecCl&) override { return 0; }
    uint32_t loadEnums(FsSecCl&) override { return 0; }
    void cleanEnums() override {}
    bool isEnumsLoaded() const override { return false; }
    String getModuleName() const override { return String("T"); }
};

std::vector<std::string> traces(const CTraceCapture& cap)
{
    std::vector<std::string> out;
    for (auto& l : cap.lines()) out.push_back(std::to_string(l.level) + " " + l.method + ": " + l.message);
    return out;
}

TEST(FrameTypeCheckAttr, RowsWorkedOutByHand)
{
    struct Row {
        uint32_t flags;
        uint32_t A, trueA, falseA;
        uint32_t G, trueG;
        uint32_t want;
    } rows[] = {
        {0, 0, 0, 0, 0, 0, 0},                      // zero masks hold word-wise
        {0x10000000, 0, 0, 0, 0, 0, 138},           // test-wise any-bit: a zero true mask fails
        {0x10000001, 0, 0, 0, 0, 0, 0},             // test-wise all-bits: a zero true mask holds
        {0, 0x5, 0x3, 0x4, 0, 0, 138},              // true holds, false fails, AND
        {0x4, 0x5, 0x3, 0x4, 0, 0, 0},              // ... OR per word
        {0, 0x5, 0x3, 0, 0, 0, 0},                  // any bit of 0x3
        {0x1, 0x5, 0x3, 0, 0, 0, 138},              // all bits of 0x3
        {0, 0, 0, 0, 0, 0x10000, 0},                // G: only the low 16 bits count
        {0, 0, 0, 0, 0, 0x10001, 138},              // G 0 lacks bit 0
        {0, 0, 0, 0, 0x10001, 0x1, 0},              // G's high half ignored, bit 0 set
        {0x30000000, 0x1, 0x1, 0, 0, 0, 0},         // one true test suffices
        {0x10000000, 0x1, 0x1, 0, 0, 0, 138},       // all true tests must hold
        {0x50000001, 0x1, 0, 0x1, 0, 0, 0},         // one false test suffices
        {0x10000001, 0x1, 0, 0x1, 0, 0, 138},       // all false tests must hold
        {0x10000009, 0x1, 0, 0x1, 0, 0, 0},         // test-wise overall OR
        {0x8, 0x5, 0x3, 0x4, 0, 0, 0},              // word-wise overall OR: the other words hold
        {0x8, 0x5, 0x8, 0x4, 0x1, 0x2, 0},          // ... and OR with ATO1, ATO2 holding
        {0xFFFFFFF0u & ~0x10000000u, 0x5, 0x3, 0x4, 0, 0, 138},  // unnamed bits change nothing
    };
    for (auto& r : rows) {
        EXPECT_EQ(r.want, CBOFrameTypeVarCont::checkAttr(r.A, r.trueA, r.falseA, 0, 0, 0, 0, 0, 0, r.G, r.trueG, r.flags))
            << std::hex << r.flags << " A " << r.A << " true " << r.trueA << " false " << r.falseA << " G " << r.G
            << " trueG " << r.trueG;
    }
    // The other words take part like A.
    EXPECT_EQ(138u, CBOFrameTypeVarCont::checkAttr(0, 0, 0, 0x2, 0, 0x2, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(138u, CBOFrameTypeVarCont::checkAttr(0, 0, 0, 0, 0, 0, 0x1, 0x2, 0, 0, 0, 0));
    EXPECT_EQ(0u, CBOFrameTypeVarCont::checkAttr(0, 0, 0, 0, 0, 0, 0x3, 0x2, 0, 0, 0, 0));
}

TEST(FrameType, ConfigurationsAndGroups)
{
    StubType t;
    EXPECT_EQ(0xFFFFFFFFu, t.getDefaultConfiguration());
    EXPECT_TRUE(t.getConfigurationEntrys().empty());
    EXPECT_TRUE(t.setDefaultConfiguration(7));
    EXPECT_EQ(7u, t.getDefaultConfiguration());

    CTraceCapture cap;
    EXPECT_TRUE(t.addCfgEntry(5, 100));
    EXPECT_TRUE(t.addCfgEntry(2, 101));
    EXPECT_FALSE(t.addCfgEntry(5, 102));
    EXPECT_EQ(100, t.cfgEntries().at(5));
    EXPECT_EQ((BoIdList{2, 5}), t.getConfigurationEntrys());

    EXPECT_TRUE(t.addCfgGroup(7));
    EXPECT_TRUE(t.addCfgGroup(3, 200));
    EXPECT_FALSE(t.addCfgGroup(3));
    EXPECT_FALSE(t.addCfgGroup(7, 201));
    EXPECT_EQ((BoIdList{3, 7}), t.getConfigurationGroups());
    EXPECT_TRUE(t.setCfgGroupText(7, 202));
    EXPECT_FALSE(t.setCfgGroupText(7, 203));
    EXPECT_FALSE(t.setCfgGroupText(8, 203));
    EXPECT_EQ(202, t.cfgGroups().at(7).textId);
    EXPECT_EQ(200, t.cfgGroups().at(3).textId);

    EXPECT_TRUE(t.addCfgGroupEntry(7, 0x20, 300));
    EXPECT_TRUE(t.addCfgGroupEntry(7, 0x10));
    EXPECT_FALSE(t.addCfgGroupEntry(7, 0x20));
    EXPECT_FALSE(t.addCfgGroupEntry(9, 0x20, 301));
    EXPECT_FALSE(t.addCfgGroupEntry(9, 0x20));
    EXPECT_EQ((BoIdList{0x10, 0x20}), t.getConfigurationGroupEntrys(7));
    EXPECT_TRUE(t.setCfgGroupEntryText(7, 0x10, 302));
    EXPECT_FALSE(t.setCfgGroupEntryText(7, 0x10, 303));
    EXPECT_FALSE(t.setCfgGroupEntryText(7, 0x30, 303));
    EXPECT_FALSE(t.setCfgGroupEntryText(9, 0x10, 303));
    EXPECT_EQ(302, t.cfgGroups().at(7).entries.at(0x10));
    EXPECT_EQ(300, t.cfgGroups().at(7).entries.at(0x20));
    EXPECT_TRUE(t.getConfigurationGroupEntrys(9).empty());

    const std::vector<std::string> want = {
        "4 CBOTypeVarCont::addCfgEntry: Type(T): configuration 0x00000005 already exist",
        "4 CBOTypeVarCont::addCfgGroup: Type(T): group 0x00000003 already exist",
        "4 CBOTypeVarCont::addCfgGroup: Type(T): group 0x00000007 already exist",
        "4 CBOTypeVarCont::setCfgGroupText: Type(T): text for group 0x00000007 already exist",
        "4 CBOTypeVarCont::setCfgGroupText: Type(T): group 0x00000008 not exist",
        "4 CBOTypeVarCont::addCfgGroupEntry: Type(T): Group Entry 0x00000020 already exist",
        "3 CBOTypeVarCont::addCfgGroupEntry: Type(T): group 0x00000009 not found",
        "4 CBOTypeVarCont::addCfgGroupEntry: Type(T): group 0x00000009 not found",
        "4 CBOTypeVarCont::setCfgGroupEntryText: Type(T): text for entry 0x00000010 in group 0x00000007 already exist",
        "4 CBOTypeVarCont::setCfgGroupEntryText: Type(T): entry 0x00000030 in group 0x00000007 not found",
        "4 CBOTypeVarCont::setCfgGroupEntryText: Type(T): group 0x00000009 not found",
        "3 CBOTypeVarCont::getConfigurationGroupEntrys: group 0x00000009 not found",
    };
    EXPECT_EQ(want, traces(cap));
}

TEST(FrameType, ConstantTableLinkFollowsTheOwner)
{
    CBOFrameConstValTable* owned = nullptr;
    StubType t(&owned);
    EXPECT_EQ(nullptr, t.getConstValTable());
    CBOFrameConstValTable table;
    owned = &table;
    EXPECT_EQ(&table, t.getConstValTable());
    EXPECT_EQ(nullptr, StubType().getConstValTable());
}

}  // namespace
