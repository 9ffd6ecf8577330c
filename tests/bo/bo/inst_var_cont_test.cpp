// The instance side of the variable extensions, its frame part and units:
// version flags and stamps, the configuration and unit digests (golden
// GUIDs computed with Python's hashlib), setConfiguration, unit conversion
// of constants and VARIANTs, setUnit / setCurrentUnit, and the
// configuration and units sections with their loaders' refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "inst_model.h"
#include "platform/guid.h"

namespace {

std::string guidText(const VRX_VersionStamp& s) { return tvp::guidToString(s.Guid); }

TEST(InstVarCont, VersionFlags)
{
    InstModel m;
    struct Case {
        uint32_t flags;
        std::vector<std::string> lines;
    };
    const char* failed = "4 Obj(T): checkVersionFlags failed";
    const Case cases[] = {
        {0x10000001, {}},
        {0x10000003,
         {"4 Obj(T): invalid versionflags 0x10000003: data & struct",
          "4 Obj(T): versionflag(0x10000003) is not supported(0xD0000001)", failed}},
        {0x40000000,
         {"4 Obj(T): invalid versionflags 0x40000000: !data & !struct",
          "4 Obj(T): invalid versionflags 0x40000000: !online & !offline", failed}},
        {0xF0000001,
         {"4 Obj(T): invalid versionflags 0xF0000001: online & offline",
          "4 Obj(T): invalid versionflags 0xF0000001: version & signature",
          "4 Obj(T): versionflag(0xF0000001) is not supported(0xD0000001)", failed}},
    };
    for (const Case& c : cases) {
        CTraceCapture cap;
        EXPECT_EQ(kInvalidVersionStamp, m.inst.getConfigurationVersion(c.flags)) << std::hex << c.flags;
        EXPECT_EQ(c.lines, traceTexts(cap)) << std::hex << c.flags;
    }
    // One accepted and one refused word per family and operation; a
    // refusal ends with the "failed" line, an accepted word writes none.
    const VRX_VersionStamp s = kNullVersionStamp;
    const std::function<void(uint32_t)> ops[] = {
        [&](uint32_t f) { m.inst.getConfigurationVersion(f); },
        [&](uint32_t f) { m.inst.changeConfigurationVersion(f); },
        [&](uint32_t f) { m.inst.setConfigurationVersion(f, s); },
        [&](uint32_t f) { m.inst.getUnitVersion(f); },
        [&](uint32_t f) { m.inst.changeUnitVersion(f); },
        [&](uint32_t f) { m.inst.setUnitVersion(f, s); },
        [&](uint32_t f) { m.inst.getSysVarVersion(f); },
        [&](uint32_t f) { m.inst.changeSysVarVersion(f); },
        [&](uint32_t f) { m.inst.setSysVarVersion(f, s); },
    };
    const uint32_t words[][2] = {{0x50000001, 0x20000001}, {0x10000001, 0x50000001}, {0x50000001, 0x90000001},
                                 {0x90000001, 0x20000001}, {0x10000001, 0x20000001}, {0x50000001, 0x10000002},
                                 {0x20000002, 0x00000001}, {0x20000002, 0x60000001}, {0x20000001, 0x10000002}};
    for (size_t i = 0; i < 9; ++i) {
        CTraceCapture cap;
        ops[i](words[i][0]);
        EXPECT_EQ(0u, cap.count()) << "op " << i;
        ops[i](words[i][1]);
        ASSERT_LT(0u, cap.count()) << "op " << i;
        EXPECT_EQ(failed, traceTexts(cap).back()) << "op " << i;
    }
}

TEST(InstVarCont, Stamps)
{
    InstModel m;
    auto& i = m.inst;
    ASSERT_TRUE(i.changeConfigurationVersion(0x10000001));
    // Version 1 and its signature; the sysvar change took 2 (online data)
    // and 3 (offline).
    EXPECT_EQ("{00000001-0000-0000-0000-000000000000}", guidText(i.getConfigurationVersion(0x50000001)));
    EXPECT_EQ(i.cfgVersion(), i.cfgSignature());
    EXPECT_EQ(0, i.cfgVersion().Major + i.cfgVersion().Minor);
    EXPECT_EQ(2u, i.sysVarOnlineVersion().Guid.Data1);
    EXPECT_EQ(i.sysVarOnlineVersion(), i.sysVarOnlineSignature());
    EXPECT_EQ(3u, i.sysVarOfflineVersion().Guid.Data1);
    EXPECT_EQ(0x5u, i.getChangedBits());
    EXPECT_EQ(0x5u, i.getFollowBits());

    ASSERT_TRUE(i.changeUnitVersion(0x10000001));
    EXPECT_EQ(4u, i.unitVersion().Guid.Data1);
    EXPECT_EQ(5u, i.sysVarOnlineVersion().Guid.Data1);
    EXPECT_EQ(6u, i.sysVarOfflineVersion().Guid.Data1);
    EXPECT_TRUE(i.sysVarStructVersion().isInvalid());
    ASSERT_TRUE(i.changeSysVarVersion(0x10000002));
    EXPECT_EQ(7u, i.sysVarStructVersion().Guid.Data1);
    EXPECT_EQ(8u, i.getSysVarVersion(0x50000001).Guid.Data1);
    EXPECT_EQ(8u, i.getSysVarVersion(0x90000001).Guid.Data1);
    EXPECT_EQ(7u, i.getSysVarVersion(0x10000002).Guid.Data1);
    EXPECT_EQ(9u, i.getSysVarVersion(0x20000001).Guid.Data1);

    // A set clears the follow bit: the digest leaves the version alone.
    VRX_VersionStamp given = kNullVersionStamp;
    given.Guid.Data1 = 77;
    ASSERT_TRUE(i.setConfigurationVersion(0x50000001, given));
    EXPECT_FALSE(i.getFollowBits() & BoFamily_Cfg);
    EXPECT_FALSE(i.testFollowBits(BoFamily_SysVars));
    i.calculateConfigurationVersion();
    EXPECT_EQ(77u, i.cfgVersion().Guid.Data1);
    EXPECT_NE(i.cfgVersion(), i.cfgSignature());
    i.setFollowBits(BoFamily_Cfg);
    i.calculateConfigurationVersion();
    EXPECT_EQ(i.cfgSignature(), i.cfgVersion());
}

TEST(InstVarCont, ConfigurationAndUnitDigests)
{
    InstModel m;
    auto& i = m.inst;
    i.calculateConfigurationVersion();  // the type's default, 1
    EXPECT_EQ("{8AD85243-AA78-7539-0BF7-0CD6F27BCAA5}", guidText(i.cfgSignature()));
    FsSecClMem s;
    s << "0 ";
    s.seek(0, 0);
    ASSERT_EQ(0u, i.loadCfg(s));
    i.calculateConfigurationVersion();
    EXPECT_EQ("{84FFD3F1-2943-3277-862D-F21DC4E57262}", guidText(i.cfgSignature()));
    EXPECT_EQ(0, i.cfgSignature().Major + i.cfgSignature().Minor);

    // A quantity (14) without current unit leaves the stamp invalid.
    i.unitTable().add(91, 93);
    CTraceCapture cap;
    i.calculateUnitVersion();
    EXPECT_TRUE(i.unitSignature().isInvalid());
    EXPECT_EQ((std::vector<std::string>{"3 Obj(T): no CurrentUnit found for PhysGr(14)"}), traceTexts(cap));
    // Record 93 of the resolve table is no quantity and is skipped.
    i.unitTable().add(14, 16);
    i.calculateUnitVersion();
    EXPECT_EQ("{8EF3883F-3669-B43E-4DA6-201DA56791A1}", guidText(i.unitSignature()));
}

TEST(InstVarCont, SetConfiguration)
{
    InstModel m;
    auto& i = m.inst;
    EXPECT_EQ(1u, i.getConfiguration());
    CTraceCapture cap;
    EXPECT_EQ(5u, i.setConfiguration(3));
    EXPECT_EQ((std::vector<std::string>{"3 Obj(T): configuration 0x00000003 is not valid"}), traceTexts(cap));
    EXPECT_EQ(0u, i.setConfiguration(1));
    EXPECT_EQ(0u, i.guids);
    EXPECT_TRUE(i.cfgChanges.empty());
    EXPECT_EQ(0u, i.setConfiguration(2));
    EXPECT_EQ(2u, i.getConfiguration());
    EXPECT_EQ(1u, i.cfgVersion().Guid.Data1);
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{1, 2}}), i.cfgChanges);
}

TEST(InstVarCont, ConvertConstants)
{
    InstModel m;
    m.value(1, ~0u, ST_LREAL, 100, 91);
    m.value(5, ~0u, ST_DINT, 100, 91);
    m.value(4, ~0u, ST_DINT, 5, 14, 16);
    m.value(8, ~0u, ST_DINT, 5, 0);
    auto& i = m.inst;
    i.initUnit();
    i.unitTable()[91] = 92;  // current K, default °C
    auto conv = [&](uint32_t adr, uint32_t typeId, double v, bool rounding = false) {
        std::unique_ptr<StStdConstantVal> in(constOf(typeId, v));
        std::unique_ptr<StStdConstantVal> out(i.convertVal(*in, adr, 0, true, rounding, true));
        double d = -999;
        if (out) out->getDouble(d);
        return d;
    };
    EXPECT_DOUBLE_EQ(373.15, conv(1, ST_LREAL, 100));
    EXPECT_EQ(373, conv(5, ST_DINT, 100));
    EXPECT_EQ(100, conv(4, ST_DINT, 100));  // fixed unit: unchanged copy
    EXPECT_EQ(100, conv(8, ST_DINT, 100));  // dimensionless
    CTraceCapture cap;
    EXPECT_EQ(-999, conv(1, ST_LREAL, 100, true));
    EXPECT_EQ(-999, conv(9, ST_LREAL, 100));
    i.unitTable()[91] = 15;
    EXPECT_EQ(-999, conv(1, ST_LREAL, 100));
    EXPECT_EQ((std::vector<std::string>{"4 Obj(T): rounding not supported", "4 Obj(T): no Unit found for Adr(0x00000009)",
                                        "4 Obj(T): no possible conversion PhysGr(91), From(93), To(15)"}),
              traceTexts(cap));

    // The VARIANT form clamps to the VARIANT type only.
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 2147483647;
    EXPECT_EQ(0u, i.convertVal(v, 93, 92));
    EXPECT_EQ(2147483647, v.lVal);
    v.vt = VT_R8;
    v.dblVal = 100;
    EXPECT_EQ(0u, i.convertVal(v, 93, 92));
    EXPECT_DOUBLE_EQ(373.15, v.dblVal);
    v.vt = VT_I2;
    v.iVal = -300;
    EXPECT_EQ(0u, i.convertVal(v, 93, 92));
    EXPECT_EQ(-26, v.iVal);
    EXPECT_EQ(36u, i.convertVal(v, 429, 92));
    EXPECT_EQ(37u, i.convertVal(v, 93, 15));

    // A unit into itself stays as it is, the dimensionless record 0 too; a
    // quantity record is no unit, as source or target.
    v.vt = VT_R8;
    v.dblVal = 12.5;
    EXPECT_EQ(0u, i.convertVal(v, 0, 0));
    EXPECT_EQ(0u, i.convertVal(v, 92, 92));
    for (const auto& [from, to] : {std::pair{0, 92}, {92, 0}, {91, 92}, {92, 91}, {91, 91}})
        EXPECT_EQ(37u, i.convertVal(v, from, to)) << from << " " << to;
    EXPECT_EQ(12.5, v.dblVal);
}

TEST(InstVarCont, SetUnitAndCurrentUnit)
{
    InstModel m;
    m.value(1, ~0u, ST_LREAL, 100, 91);
    m.value(2, ~0u, ST_INT, 32700, 91);
    m.value(3, ~0u, ST_INT, 1000, 91, -1, 0, 1000);
    m.value(4, ~0u, ST_DINT, 5, 91, 93);  // fixed unit
    m.value(5, ~0u, ST_DINT, 7, 91);      // shares its constant with 6
    m.value(6, ~0u, ST_DINT, 7, 14);
    m.value(7, ~0u, ST_LREAL, 50, 91, -1, 0, 100);  // bounds in °C, the default unit
    auto& i = m.inst;
    i.initUnit();
    ASSERT_EQ(0u, i.initSysVar(true));
    ASSERT_EQ(m.cid(5), m.cid(6));
    const StConstEntryID bf = m.bfConsts.appendConstantVal(int32_t(10), ST_DINT);
    i.addBfVarUnit(bf, 91);

    CTraceCapture cap;
    EXPECT_EQ(37u, i.setUnit(3, 4));     // a unit, no quantity
    EXPECT_EQ(37u, i.setUnit(21, 22));   // no current unit
    EXPECT_EQ(38u, i.setUnit(91, 15));   // a unit of another quantity
    EXPECT_EQ(36u, i.setUnit(91, 91));   // a quantity given as unit
    EXPECT_EQ(0u, i.setUnit(91, 93));    // the current unit
    EXPECT_EQ(0u, i.guids);
    EXPECT_EQ((std::vector<std::string>{"4 Obj(T): PhysGr(3) is not a physikal dimension",
                                        "4 Obj(T): PhysGr(21) is not a valid physikal dimension",
                                        "4 Obj(T): Unit(15) is not a valid unit for PhysGr(91)",
                                        "4 Obj(T): Unit(91) is not a unit"}),
              traceTexts(cap));

    EXPECT_EQ(0u, i.setCurrentUnit(91, 92));
    EXPECT_EQ(92, i.getCurrentUnit(91));
    EXPECT_EQ(BoFamily_Units | BoFamily_SysVars, i.getChangedBits());
    EXPECT_DOUBLE_EQ(373.15, m.act(1));
    EXPECT_EQ(32767, m.act(2));
    EXPECT_EQ(1273, m.act(3));  // its maximum 1000 °C is 1273 K
    EXPECT_DOUBLE_EQ(323.15, m.act(7));
    EXPECT_EQ(5, m.act(4));
    EXPECT_EQ(280, m.act(5));
    EXPECT_EQ(7, m.act(6));
    EXPECT_NE(m.cid(5), m.cid(6));
    int32_t bfValue = 0;
    EXPECT_TRUE(m.bfConsts.getLongOf(bf, bfValue));
    EXPECT_EQ(283, bfValue);
    // And back: the bounds follow the unit, the value comes back whole.
    EXPECT_EQ(0u, i.setCurrentUnit(91, 93));
    EXPECT_DOUBLE_EQ(50, m.act(7));
}

TEST(InstVarCont, ConfigurationAndUnitSections)
{
    InstModel m;
    auto& i = m.inst;
    i.initUnit();
    i.setUnit(14, 16);
    i.setUnit(91, 92);
    FsSecClMem units, cfg;
    ASSERT_EQ(0u, i.saveUnit(units));
    EXPECT_EQ("2 14 15 16 91 93 92 ", sectionBytes(units));
    ASSERT_EQ(0u, i.setConfiguration(2));
    ASSERT_EQ(0u, i.saveCfg(cfg));
    EXPECT_EQ("2 ", sectionBytes(cfg));

    TestInst j;
    j.setTypeVarCont(&m.type);
    ASSERT_EQ(0u, j.loadUnit(units));
    ASSERT_EQ(0u, j.loadCfg(cfg));
    EXPECT_TRUE(j.isUnitLoaded() && j.isCfgLoaded());
    FsSecClMem again;
    ASSERT_EQ(0u, j.saveUnit(again));
    EXPECT_EQ(sectionBytes(units), sectionBytes(again));
    EXPECT_EQ(2u, j.getConfiguration());

    // The unit stream: records dropped, pairs applied by setUnit.
    FsSecClMem stream;
    stream << "1 92 1.0 0.0 2 14 17 91 94 ";
    stream.seek(0, 0);
    EXPECT_EQ(0u, j.readDefVal(stream));
    EXPECT_EQ(17, j.getCurrentUnit(14));
    EXPECT_EQ(94, j.getCurrentUnit(91));
    CTraceCapture cap;
    FsSecClMem repeated;
    repeated << "0 2 14 17 14 16 ";
    repeated.seek(0, 0);
    EXPECT_EQ(65535u, j.readDefVal(repeated));
    EXPECT_EQ(18u, repeated.getError());
    FsSecClMem refused;
    refused << "0 2 14 17 91 15 ";
    refused.seek(0, 0);
    EXPECT_EQ(38u, j.readDefVal(refused));
    EXPECT_EQ((std::vector<std::string>{"4 Obj(T): readUnits failed - streamerror",
                                        "4 Obj(T): Unit(15) is not a valid unit for PhysGr(91)",
                                        "4 Obj(T): setUnit failed"}),
              traceTexts(cap));

    TestInst none;
    EXPECT_EQ(10u, none.saveUnit(units));
    EXPECT_EQ(10u, none.loadUnit(units));
    RecordingVarExt noUnits;
    none.setTypeVarCont(&noUnits);
    EXPECT_EQ(65535u, none.saveUnit(units));
    EXPECT_EQ(65535u, none.loadUnit(units));
}

TEST(InstVarCont, ForwardingWithoutType)
{
    // Every operation that forwards to the type answers an empty list, an
    // empty String, 0 (false, null) without one, after exactly one trace
    // line that names it.
    TestInst i;
    BoUnitIdList units{7};
    BitFieldInfoList bits;
    String text("x");
    struct Case {
        const char* method;
        std::function<bool()> neutral;
    };
    const Case cases[] = {
        {"reserved8", [&] { return !i.reserved8(1); }},
        {"reserved9", [&] { return i.reserved9(1, 2) == 0; }},
        {"reserved10", [&] { return i.reserved10(1) == 0; }},
        {"reserved11", [&] { return i.reserved11(1).length() == 0; }},
        {"getText", [&] { return !i.getText(String("T"), text) && !i.getText(1, text); }},
        {"getDefaultUnit", [&] { return i.getDefaultUnit(91) == 0; }},
        {"getAttrib", [&] { return i.getAttrib(1) == nullptr; }},
        {"findAddrByAttr", [&] { return i.findAddrByAttr(1, 0, 0, 0, 0, 0, 0, nullptr, 0) == 0; }},
        {"checkForAttr", [&] { return !i.checkForAttr(1, 2, 1, 0, 0, 0, 0, 0, 0, 0); }},
        {"getClearedDefVal", [&] { return i.getClearedDefVal(1) == nullptr; }},
        {"getFilledDefVal", [&] { return i.getFilledDefVal(1) == nullptr; }},
        {"isBitField", [&] { return !i.symIsBitField(1); }},
        {"getBitFields", [&] { return i.symGetBitFields(1, bits) == 0 && bits.empty(); }},
        {"loadResText", [&] { return i.symLoadResText(1).length() == 0; }},
        {"hasDynArrays", [&] { return !i.hasDynArrays(); }},
        {"isValidConfiguration", [&] { return !i.isValidConfiguration(1); }},
        {"getConfigurationEntrys", [&] { return i.getConfigurationEntrys().empty(); }},
        {"getConfigurationDsc", [&] { return i.getConfigurationDsc(1).length() == 0; }},
        {"getConfigurationGroups", [&] { return i.getConfigurationGroups().empty(); }},
        {"getConfigurationGroupDsc", [&] { return i.getConfigurationGroupDsc(1).length() == 0; }},
        {"getConfigurationGroupEntrys", [&] { return i.getConfigurationGroupEntrys(1).empty(); }},
        {"getConfigurationGroupEntryDsc", [&] { return i.getConfigurationGroupEntryDsc(1, 2).length() == 0; }},
        {"getCompatibleIdx", [&] { return i.getCompatibleIdx(3) == 0; }},
        {"getPossibleUnits", [&] { return i.getPossibleUnits(91, units) == 0 && units == BoUnitIdList{7}; }},
        {"getPhysDims", [&] { return i.getPhysDims(units) == 0 && units == BoUnitIdList{7}; }},
        {"matchUnit", [&] { return !i.matchUnit(91, 92); }},
        {"getMinVal", [&] { return i.getMinVal(1) == nullptr; }},
        {"getStdVal", [&] { return i.getStdVal(1) == nullptr; }},
        {"getMaxVal", [&] { return i.getMaxVal(1) == nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        CTraceCapture cap;
        EXPECT_TRUE(c.neutral());
        const size_t calls = std::string(c.method) == "getText" ? 2 : 1;
        ASSERT_EQ(calls, cap.count());
        for (const auto& l : cap.lines()) {
            EXPECT_EQ(4u, l.level);
            EXPECT_EQ(std::string("CBOFrameInstVarCont::") + c.method, l.method);
            EXPECT_EQ("Obj(T): m_pBOFrameTypeVarCont is invalid", l.message);
        }
    }
    CTraceCapture cap;
    EXPECT_EQ(65535u, i.initSysVar(true));
    EXPECT_EQ(ST_INVALID_TID, i.getTypeIdByAdr(1));
    EXPECT_EQ("4 Obj(T): no operand found for ADR(0x00000001)", traceTexts(cap).back());

    // With a type: descriptions and the reset id list.
    InstModel m;
    cap.clear();
    EXPECT_EQ("", std::string(m.inst.getConfigurationDsc(7).c_str()));
    EXPECT_EQ("4 Obj(T): getConfigurationDsc failed", traceTexts(cap).back());
    EXPECT_EQ((BoIdList{1, 2}), m.inst.getConfigurationEntrys());
    BoIdPairList pairs{{1, 2}, {3, 4}};
    m.inst.resetIdPairs(pairs);
    EXPECT_EQ((BoIdPairList{{0, 0xFFFFFFFFu}}), pairs);
}

}  // namespace
