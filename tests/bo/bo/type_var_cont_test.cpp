// The type-side variable-extension container: configuration and bit texts
// from a resource module, the unit rules, value and attribute queries, bit
// fields, the six section groups and the type-data dump (golden text).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/fs/FsDsc.h"
#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "co/TraceApi.h"
#include "var_ext_recorder.h"

namespace {

std::vector<std::string> traces(const CTraceCapture& cap)
{
    std::vector<std::string> out;
    for (auto& l : cap.lines()) out.push_back(std::to_string(l.level) + " " + l.method + ": " + l.message);
    return out;
}

VarTypeValue* value(BoConstId def, int32_t unit, int32_t fix, BoConstId min, BoConstId max)
{
    return VarTypeValue::make(def, unit, fix, min, max);
}

VarExt* attrib(uint32_t A, uint16_t G = 0)
{
    auto* x = new VarExt;
    x->A = A;
    x->G = G;
    return x;
}

TEST(TypeVarCont, ConfigurationAndBitTexts)
{
    RecordingVarExt t;
    EXPECT_TRUE(t.isValidConfiguration(12345));  // none declared: every id
    t.addCfgEntry(1, 10);
    t.addCfgEntry(2, 11);
    t.addCfgGroup(5, 20);
    t.addCfgGroupEntry(5, 6, 21);
    EXPECT_TRUE(t.isValidConfiguration(2));
    EXPECT_FALSE(t.isValidConfiguration(3));

    CTraceCapture cap;
    String text("keep");
    EXPECT_EQ(13u, t.getConfigurationDsc(3, text));
    EXPECT_EQ(13u, t.getConfigurationGroupDsc(4, text));
    EXPECT_EQ(13u, t.getConfigurationGroupEntryDsc(4, 6, text));
    EXPECT_EQ(13u, t.getConfigurationGroupEntryDsc(5, 7, text));
    EXPECT_EQ(0u, t.getConfigurationDsc(1, text));  // no module: unchanged
    EXPECT_EQ("keep", std::string(text.c_str()));
    EXPECT_FALSE(t.getText(1, 1, text));
    EXPECT_EQ((std::vector<std::string>{
                  "3 CBOTypeVarCont::getConfigurationDsc: configuration 0x00000003 not found",
                  "3 CBOTypeVarCont::getConfigurationGroupDsc: group 0x00000004 not found",
                  "3 CBOTypeVarCont::getConfigurationGroupEntryDsc: group 0x00000004 not found",
                  "3 CBOTypeVarCont::getConfigurationGroupEntryDsc: entry 0x00000007 not found",
                  "4 CBOTypeVarCont::getText: m_pVarComment is invalid",
              }),
              traces(cap));
    EXPECT_EQ("", std::string(t.loadResText(10).c_str()));

    // Texts longer than the first buffer come back whole.
    const std::string longText(300, 'x');
    auto mod = tvp::ResModule::fromText("STRINGTABLE\r\nBEGIN\r\n10 \"Cfg one\"\r\n20 \"Group\"\r\n21 \"Entry\"\r\n30 \"" +
                                        longText + "\"\r\nEND\r\n");
    t.setResModule(mod.get());
    EXPECT_EQ(0u, t.getConfigurationDsc(1, text));
    EXPECT_EQ("Cfg one", std::string(text.c_str()));
    EXPECT_EQ(0u, t.getConfigurationGroupDsc(5, text));
    EXPECT_EQ("Group", std::string(text.c_str()));
    EXPECT_EQ(0u, t.getConfigurationGroupEntryDsc(5, 6, text));
    EXPECT_EQ("Entry", std::string(text.c_str()));
    EXPECT_EQ(longText, std::string(t.loadResText(30).c_str()));
    EXPECT_EQ(0u, t.getConfigurationDsc(2, text));  // id without text: unchanged
    EXPECT_EQ("Entry", std::string(text.c_str()));

    // With a comment container the texts are forwarded.
    CBoVarComment comments(mod.get());
    comments.addVarText(VarExtKey(8, 1), 20);
    t.setVarComment(&comments);
    EXPECT_TRUE(t.getText(8, 1, text));
    EXPECT_EQ("Group", std::string(text.c_str()));
    t.setResModule(nullptr);
}

TEST(TypeVarCont, Units)
{
    RecordingVarExt t;
    CTraceCapture cap;
    EXPECT_EQ(-1, t.getCompatibleIdx(0));  // limit 0: nothing
    t.addUsedUnit(1, 4);
    EXPECT_FALSE(t.matchUnit(1, 4));
    EXPECT_TRUE(t.setUnitParam(10));
    EXPECT_FALSE(t.setUnitParam(20));
    EXPECT_EQ(10, t.getUnitLimit());
    EXPECT_EQ(9, t.getCompatibleIdx(9));
    EXPECT_EQ(-1, t.getCompatibleIdx(10));
    EXPECT_TRUE(t.matchUnit(1, 4));
    EXPECT_FALSE(t.matchUnit(1, 5));  // not in the list

    EXPECT_TRUE(t.addDefaultUnit(1, 4));
    EXPECT_FALSE(t.addDefaultUnit(1, 5));   // a second default
    EXPECT_FALSE(t.addDefaultUnit(2, 92));  // another quantity
    EXPECT_FALSE(t.addDefaultUnit(2, 2));   // a quantity record
    EXPECT_FALSE(t.addDefaultUnit(2, 429));
    EXPECT_FALSE(t.addUsedUnit(-1, 4));
    EXPECT_TRUE(t.addDefaultUnit(2, 3));
    EXPECT_EQ(4, t.getDefaultUnit(1));

    EXPECT_TRUE(t.addUsedUnit(1, 4));  // twice: listed twice
    BoUnitIdList units;
    EXPECT_EQ(0u, t.getPossibleUnits(1, units));
    EXPECT_EQ((BoUnitIdList{4, 4}), units);

    cap.clear();
    EXPECT_EQ(37u, t.getPossibleUnits(7, units));
    EXPECT_EQ(-1, t.getDefaultUnit(7));
    EXPECT_EQ((std::vector<std::string>{"4 CBOTypeVarCont::getPossibleUnits: PhysGr(7) is not valid",
                                        "4 CBOTypeVarCont::getDefaultUnit: no DefaultUnit found for PhysGr(7)"}),
              traces(cap));

    // By local number; unit records and ids outside the table are skipped.
    t.addResolveEntry(3, 2);
    t.addResolveEntry(1, 1);
    t.addResolveEntry(2, 4);
    t.addResolveEntry(5, 600);
    EXPECT_FALSE(t.addResolveEntry(1, 2));
    BoUnitIdList dims;
    EXPECT_EQ(0u, t.getPhysDims(dims));
    EXPECT_EQ((BoUnitIdList{1, 2}), dims);
}

TEST(TypeVarCont, ValuesAndDefaults)
{
    RecordingVarExt t;
    CBOFrameConstValTable& c = *t.getFrameConstTable();
    const BoConstId u7 = c.appendConstantVal(7, ST_UDINT), i5 = c.appendConstantVal(5, ST_INT);
    t.addTypeValue(VarExtKey(16, 1), value(u7, 1, 4, u7, BO_INVALID_CID));
    t.addTypeValue(VarExtKey(20, 1), value(i5, 1, -1, i5, i5));
    EXPECT_FALSE(t.addTypeValue(VarExtKey(20, 1), nullptr));
    EXPECT_TRUE(t.getMinVal(16, 1));
    EXPECT_FALSE(t.getMaxVal(16, 1));  // no constant
    EXPECT_FALSE(t.getStdVal(24, 1));  // no record
    StConstantVal* str = new StStringConstantVal;
    const BoConstId s = c.addConstantVal(str);
    t.addTypeValue(VarExtKey(28, 1), value(s, 1, -1, s, s));
    EXPECT_FALSE(t.getMaxVal(28, 1));  // not elementary
    EXPECT_FALSE(t.getClearedDefVal(28, 1));
    EXPECT_EQ(4, t.getValueUnit(16, 1));  // Fix first
    EXPECT_EQ(1, t.getValueUnit(20, 1));
    EXPECT_EQ(-1, t.getValueUnit(24, 1));
    EXPECT_EQ(1u, t.getValueCfg(20, 0));
    EXPECT_EQ(0u, t.getValueCfg(24, 0));

    std::unique_ptr<StStdConstantVal> cleared(t.getClearedDefVal(16, 1)), filled(t.getFilledDefVal(16, 1));
    ASSERT_TRUE(cleared && filled);
    bool err = false;
    EXPECT_EQ(0u, cleared->GetULongVal(err));
    EXPECT_EQ(0xFFFFFFFFu, filled->GetULongVal(err));
    EXPECT_FALSE(err);
    EXPECT_EQ(7u, t.getStdVal(16, 1)->GetULongVal(err));  // the table's constant stays
    EXPECT_FALSE(t.getClearedDefVal(20, 1));  // an INT takes no unsigned value
    EXPECT_FALSE(t.getFilledDefVal(24, 1));
}

TEST(TypeVarCont, AttributeWalks)
{
    RecordingVarExt t;
    t.addAttrib(VarExtKey(4, 3), attrib(1));
    t.addAttrib(VarExtKey(4, 7), attrib(1));  // a second covering entry
    t.addAttrib(VarExtKey(8, 1), nullptr);    // no record: the address is skipped
    t.addAttrib(VarExtKey(8, 3), attrib(1));
    t.addAttrib(VarExtKey(12, 1), attrib(2));
    t.addAttrib(VarExtKey(16, 1), attrib(1));
    EXPECT_EQ(-1, t.findAddrByAttr(1, 0, 0, 0, 0, 0, 0, nullptr, 1, 0));
    BoIdList found{99};
    EXPECT_EQ(2, t.findAddrByAttr(1, 0, 0, 0, 0, 0, 0, &found, 1, 0));
    EXPECT_EQ((BoIdList{99, 4, 16}), found);
    EXPECT_EQ(1, t.getAttrib(4, 1)->A);
    EXPECT_FALSE(t.getAttrib(8, 1));

    EXPECT_TRUE(t.checkForAttr(5, 16, 1, 1, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_FALSE(t.checkForAttr(5, 15, 1, 1, 0, 0, 0, 0, 0, 0, 0));  // 8 skipped, 12 fails
    EXPECT_TRUE(t.checkForAttr(5, 15, 2, 1, 0, 0, 0, 0, 0, 0, 0));   // mask 2: 8's second entry
    EXPECT_FALSE(t.checkForAttr(16, 4, 1, 1, 0, 0, 0, 0, 0, 0, 0));  // empty range
}

TEST(TypeVarCont, BitFields)
{
    RecordingVarExt t;
    EXPECT_TRUE(t.addBitType(1, 100, 101));
    EXPECT_FALSE(t.addBitType(1, 0, 0));
    EXPECT_TRUE(t.addBitField(VarExtKey(8, 1), 3, 1, 7));
    EXPECT_TRUE(t.addBitField(VarExtKey(8, 2), 3, 1, 8));
    EXPECT_TRUE(t.addBitField(VarExtKey(8, 3), 4, 1, 9));
    EXPECT_FALSE(t.addBitField(VarExtKey(8, 3), 5, 2, 0));  // unknown bit type
    t.bitFieldTable().emplace(VarExtKey(8, 7), BitEntry{5, 2, 0});  // type read from a file
    EXPECT_TRUE(t.isBitField(8, 2));
    EXPECT_FALSE(t.isBitField(9, 0));
    BitFieldInfoList bits;
    EXPECT_EQ(3, t.getBitFields(8, 0, bits));
    auto it = bits.begin();
    EXPECT_EQ(7, it->third);  // the first entry of bit 3
    ++it;
    EXPECT_EQ(4, it->bit);
    EXPECT_EQ(101, it->unsetTextId);
    ++it;
    EXPECT_EQ(-1, it->setTextId);
    EXPECT_EQ(-1, it->unsetTextId);
}

// A small model of every group.
void fill(RecordingVarExt& t)
{
    CBOFrameConstValTable& c = *t.getFrameConstTable();
    t.setDefaultConfiguration(2);
    t.addCfgEntry(1, 10);
    t.addCfgEntry(2, 11);
    t.addCfgGroup(3, 12);
    t.addCfgGroupEntry(3, 1, 13);
    t.setUnitParam(10);
    t.addResolveEntry(0, 1);
    t.addDefaultUnit(1, 4);
    t.addUsedUnit(1, 4);
    t.addUsedUnit(1, 5);
    const BoConstId a = c.appendConstantVal(1, ST_UINT), b = c.appendConstantVal(4, ST_UINT);
    t.addTypeValue(VarExtKey(16, 1), value(b, 0, -1, a, BO_INVALID_CID));
    t.addTypeValue(VarExtKey(20, 3), nullptr);
    t.addAttrib(VarExtKey(16, 1), attrib(0x80000001u, 0x12));
    t.addAttrib(VarExtKey(24, 1), nullptr);
    t.addDynArraySizes(VarExtKey(16, 1), {160, 176});
    t.addBitType(7, 30, 31);
    t.addBitType(8, 32, 33);
    t.addBitField(VarExtKey(28, 1), 2, 7, 0);
}

std::string dump(RecordingVarExt& t)
{
    std::ostringstream os;
    t.dumpTypeData(os);
    return os.str();
}

TEST(TypeVarCont, DumpGolden)
{
    RecordingVarExt t;
    fill(t);
    auto mod = tvp::ResModule::fromText("STRINGTABLE\r\nBEGIN\r\n30 \"" + std::string(120, 'b') + "\"\r\nEND\r\n");
    t.setResModule(mod.get());
    const std::string golden =
        "\n\n### Typdaten: #########################################\n\n\n"
        "=== Defaultconfig: ====================================\n"
        "0x00000002\n"
        "\n\n=== CVarTypeValueTable: ===============================\n"
        "{0x00000010, 0x00000001} -> Min(         0), Def(         1), Max(        -1), Unit(    0), Fix( -1)\n"
        "{0x00000014, 0x00000003} -> NULL\n"
        "\n\n=== SysVarKonstvaltable: ==============================\n"
        " 2\n0 (uint 1)     Adr: 7fffffff Seg: fb000000 shared \n1 (uint 4)     Adr: 7fffffff Seg: fb000000 shared \n"
        "\n\n=== Attribute: ========================================\n"
        "{0x00000010, 0x00000001} -> A(0x80000001), ATO1(0x       0), ATO2(0x       0), G(0x  12), TE(0x 0)\n"
        "{0x00000018, 0x00000001} -> NULL\n"
        "\n\n=== Bits: =============================================\n"
        "{0x0000001C, 0x00000001} -> Bit( 2), Typ(7)\n"
        "\n\n=== Bittypen: =========================================\n"
        "         7 -> { Set(30: " +
        std::string(99 - 24, 'b') +  // cut at 99 characters
        "\n"
        "         8 -> { Set(32: ), Unset(33) }\n";
    EXPECT_EQ(golden, dump(t));
    t.setResModule(nullptr);
}

TEST(TypeVarCont, GroupsSaveLoadClean)
{
    RecordingVarExt t;
    fill(t);
    const std::string before = dump(t);
    FsSecClMem s[6];
    EXPECT_EQ(0u, t.saveCfg(s[0]));
    EXPECT_EQ(0u, t.saveUnits(s[1]));
    EXPECT_EQ(0u, t.saveValues(s[2]));
    EXPECT_EQ(0u, t.saveAttribs(s[3]));
    EXPECT_EQ(0u, t.saveDynArrays(s[4]));
    EXPECT_EQ(0u, t.saveBits(s[5]));

    t.cleanCfg();
    EXPECT_EQ(2u, t.getDefaultConfiguration());  // the default stays
    t.clean();
    EXPECT_FALSE(t.isCfgLoaded() || t.isUnitsLoaded() || t.isValuesLoaded() || t.isAttribsLoaded() ||
                 t.isDynArraysLoaded() || t.isBitsLoaded());
    EXPECT_EQ(0, t.getUnitLimit());

    for (auto& x : s) x.seek(0, 0);
    EXPECT_EQ(0u, t.loadCfg(s[0]));
    EXPECT_EQ(0u, t.loadUnits(s[1]));
    EXPECT_EQ(0u, t.loadValues(s[2]));
    EXPECT_EQ(0u, t.loadAttribs(s[3]));
    EXPECT_EQ(0u, t.loadDynArrays(s[4]));
    EXPECT_EQ(0u, t.loadBits(s[5]));
    EXPECT_TRUE(t.isCfgLoaded() && t.isUnitsLoaded() && t.isValuesLoaded() && t.isAttribsLoaded() &&
                t.isDynArraysLoaded() && t.isBitsLoaded());
    EXPECT_EQ(before, dump(t));

    // A truncated section: 27, and what was read stays.
    s[2].seek(0, 0);
    s[2].setSize(6);
    EXPECT_EQ(27u, t.loadValues(s[2]));
}

}  // namespace

namespace {

// The layouts' golden model, entered through the container's adders.
void fillGoldenModel(RecordingVarExt& t)
{
    t.addTypeValue(VarExtKey(5, 0x3), value(0, 1, 4, 1, 2));
    t.addTypeValue(VarExtKey(7, 0xFFFFFFFF), nullptr);
    auto* a = new VarExt;
    a->A = 1;
    a->G = 2;
    a->TE = 255;
    t.addAttrib(VarExtKey(3, 0xFFFFFFFF), a);
    t.setUnitParam(429);
    t.addResolveEntry(0, 1);
    t.usedUnitTable().add(1, 3);  // of another quantity: the adders refuse it
    t.addUsedUnit(1, 4);
    t.addDefaultUnit(1, 4);
    t.setDefaultConfiguration(1);
    t.addCfgEntry(1, 100);
    t.addCfgEntry(2, 101);
    t.addCfgGroup(5, 102);
    t.addCfgGroupEntry(5, 1, 103);
    t.addBitType(1, 101, 100);
    t.addBitField(VarExtKey(7, 0xFFFFFFFF), 0, 1, 102);
    t.addDynArraySizes(VarExtKey(8, 0xFFFFFFFF), {9, 10});
}

// The streams of a compound file as olefile reads them: "name=bytes".
std::vector<std::string> oleStreams(const std::string& path)
{
    const std::string cmd = "/usr/bin/python3 -c \"import sys, olefile\n"
                            "ole = olefile.OleFileIO(sys.argv[1])\n"
                            "for e in sorted(ole.listdir()):\n"
                            "    print('/'.join(e) + '=' + ole.openstream(e).read().hex())\" '" +
                            path + "'";
    std::vector<std::string> out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char line[4096];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const size_t eq = s.find('=');
        std::string bytes;
        for (size_t i = eq + 1; eq != std::string::npos && i + 1 < s.size(); i += 2)
            bytes += char(std::stoi(s.substr(i, 2), nullptr, 16));
        out.push_back(s.substr(0, eq + 1) + bytes);
    }
    EXPECT_EQ(0, pclose(p));
    return out;
}

TEST(TypeVarCont, GroupsInADescriptorFile)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    char dir[] = "/tmp/typevarcontXXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string path = std::string(dir) + "/to.dsc";
    RecordingVarExt t;
    fillGoldenModel(t);
    {
        FsTODscFile file;
        ASSERT_EQ(0u, file.openFile(path.c_str(), FS_OPEN_CREATE));
        using Save = uint32_t (CBOTypeVarCont::*)(FsSecCl&);
        const std::pair<const char*, Save> groups[] = {
            {"cfghead", &CBOTypeVarCont::saveCfg},       {"units", &CBOTypeVarCont::saveUnits},
            {"varval", &CBOTypeVarCont::saveValues},     {"varext", &CBOTypeVarCont::saveAttribs},
            {"varcont", &CBOTypeVarCont::saveDynArrays}, {"bitfield", &CBOTypeVarCont::saveBits},
        };
        for (auto& g : groups) {
            FsSecCl* s = file.getSect(g.first, FS_MODE_WRITE);
            ASSERT_TRUE(s) << g.first;
            EXPECT_EQ(0u, (t.*g.second)(*s)) << g.first;
            EXPECT_EQ(0u, file.CloseSect(g.first));
        }
        EXPECT_EQ(0u, file.CloseFile());
    }
    const std::vector<std::string> want = {
        "bitfield=1 1 101 100 \r\n1 7 4294967295 0 1 102 ",
        "cfghead=1 2 1 100 2 101  1 5 102 1 1 103  ",
        "units=429\r\n1\r\n0 1 1\r\n1 2 3 4 \r\n\r\n1\r\n1 4 ",
        "varcont=2 8 4294967295 9 8 4294967295 10 ",
        "varext=1 3 4294967295 1 1 0 0 2 255",
        "varval=2 5 3 1 0 1 4 1 2 7 4294967295 0",
    };
    EXPECT_EQ(want, oleStreams(path));
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

}  // namespace
