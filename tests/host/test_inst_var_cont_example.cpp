// The instance side of the variable extensions on a compiled example:
// examples/axis.tos compiled by the tavolin command as scripts/run does
// (its system variables written as "symb" by the stand-in class provider),
// the target's sections loaded into a type container and a sysvar table,
// and an instance made on them: arrays locked and resized, a unit change
// that converts a value and leaves one with a fixed unit, and the sections
// of the instance carried into a second one with the same digests.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "co/GlobTools.h"
#include "platform/text.h"
#include "tests/bo/bo/inst_model.h"
#include "tests/host/HostSysVars.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";

// The sections of the compiled target.
class Target {
public:
    explicit Target(const std::string& file)
    {
        StgOpenStorage(tvp::utf8ToWide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &m_stg);
    }
    ~Target()
    {
        if (m_stg) m_stg->Release();
    }
    bool ok() const { return m_stg != nullptr; }
    // Runs read on the opened section; false when it does not open.
    template <class Read>
    bool read(const char* name, Read read)
    {
        FsSecCl s;
        if (s.openStream(m_stg, name, 0) != 0) return false;
        read(s);
        return true;
    }

private:
    IStorage* m_stg = nullptr;
};

int32_t arraySize(CBOInstVarCont& inst, uint32_t adr)
{
    int32_t lo = 0, hi = -1;
    inst.getSysVarTab()->getArrayBounds(inst.getTypeIdByAdr(adr), lo, hi);
    return hi - lo + 1;
}

TEST(InstVarContExample, AxisInstance)
{
    struct stat st;
    ASSERT_EQ(0, ::stat(kTavolin.c_str(), &st)) << "build the tavolin command first";
    const std::string dir = createTempDirectory().c_str(), target = dir + "/axis.dsc";
    const hosttest::SysVars sv = hosttest::exampleSysVars("axis.tos");
    ASSERT_FALSE(sv.env.empty());
    std::system(("cd '" + dir + "' && env -u TAVOLIN_SETTINGS TMPDIR='" + dir + "' " + sv.env + "'" + kTavolin +
                 "' compile '" + TV_SOURCE_DIR + "/examples/axis.tos' -o '" + target + "' --rc '" + dir +
                 "/axis.rc'" + sv.flag + " >/dev/null 2>&1")
                    .c_str());

    InstModel m;  // its type is replaced by the target's sections
    {
        Target t(target);
        ASSERT_TRUE(t.ok());
        ASSERT_TRUE(t.read("cfghead", [&](FsSecCl& s) { EXPECT_EQ(0u, m.type.loadCfg(s)); }));
        ASSERT_TRUE(t.read("units", [&](FsSecCl& s) { EXPECT_EQ(0u, m.type.loadUnits(s)); }));
        ASSERT_TRUE(t.read("varval", [&](FsSecCl& s) { EXPECT_EQ(0u, m.type.loadValues(s)); }));
        ASSERT_TRUE(t.read("varcont", [&](FsSecCl& s) { EXPECT_EQ(0u, m.type.loadDynArrays(s)); }));
        ASSERT_TRUE(t.read("const", [&](FsSecCl& s) { EXPECT_TRUE(m.type.getFrameConstTable()->read(s)); }));
        ASSERT_TRUE(t.read("symb", [&](FsSecCl& s) { EXPECT_EQ(0u, m.inst.loadSysVarTab(s)); }));
    }
    removeDirectoryTree(dir.c_str());
    TestInst& i = m.inst;
    i.setTypeVarCont(&m.type);
    i.initCfg();
    i.initUnit();
    ASSERT_EQ(0u, i.initSysVar(true));
    for (uint32_t array : {9u, 10u}) {
        EXPECT_FALSE(i.checkArrayEntry(array + 8)) << array;
        EXPECT_TRUE(i.checkArrayEntry(array + 2 * 8)) << array;
        EXPECT_TRUE(i.checkArrayEntry(array + 63 * 8)) << array;
        EXPECT_EQ(2, arraySize(i, array)) << array;
    }
    EXPECT_EQ(124u, i.lockedEntries().size());

    // $1 has the fixed unit mm, $4 (0.01 mm) follows the current unit.
    std::unique_ptr<StStdConstantVal> five(constOf(ST_LREAL, 5.0));
    bool structure = false;
    ASSERT_TRUE(i.setActVal(1, five.get(), structure));
    ASSERT_EQ(0u, i.setCurrentUnit(1, 3));
    EXPECT_EQ(5.0, m.act(1));
    EXPECT_DOUBLE_EQ(0.00001, m.act(4));

    // Its sections into a second instance: the same digests.
    FsSecClMem cfg, units, values, consts;
    ASSERT_EQ(0u, i.saveCfg(cfg));
    ASSERT_EQ(0u, i.saveUnit(units));
    ASSERT_EQ(0u, i.saveValues(values));
    ASSERT_TRUE(m.sysConsts.write(consts));
    TestInst j;
    CBOFrameConstValTable jConsts;
    j.setTypeVarCont(&m.type);
    j.setConstTables(&jConsts, nullptr);
    for (FsSecCl* s : {static_cast<FsSecCl*>(&cfg), static_cast<FsSecCl*>(&units), static_cast<FsSecCl*>(&values),
                       static_cast<FsSecCl*>(&consts)})
        s->seek(0, 0);
    ASSERT_EQ(0u, j.loadCfg(cfg));
    ASSERT_EQ(0u, j.loadUnit(units));
    ASSERT_EQ(0u, j.loadValues(values));
    ASSERT_TRUE(jConsts.read(consts));
    for (CBOInstVarCont* x : {static_cast<CBOInstVarCont*>(&i), static_cast<CBOInstVarCont*>(&j)}) {
        x->calculateConfigurationVersion();
        x->calculateUnitVersion();
        x->calculateSysVarVersion();
    }
    // LOCAL(3) := GLOBAL(14) names no default unit: no current unit, so the
    // unit digest stays invalid in both.
    EXPECT_TRUE(i.unitSignature().isInvalid());
    EXPECT_FALSE(i.sysVarStructVersion().isInvalid());
    EXPECT_EQ(i.cfgSignature(), j.cfgSignature());
    EXPECT_EQ(i.unitSignature(), j.unitSignature());
    EXPECT_EQ(i.sysVarOfflineVersion(), j.sysVarOfflineVersion());
    EXPECT_EQ(i.sysVarOnlineSignature(), j.sysVarOnlineSignature());
    EXPECT_EQ(i.sysVarStructVersion(), j.sysVarStructVersion());
}

}  // namespace
