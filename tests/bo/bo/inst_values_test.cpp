// Instance values on a hand-built model: made from the type with the
// elements beyond a dynamic array's size locked, changed by setActVal
// (shared constants made private, versions by online and structure
// relevance, array sizes), shared and unshared by arrangeSysVar, applied
// from uploads; the values section and the sysvar buffer; the sysvar
// digests against a script that builds the hashed bytes itself; the dump.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "inst_model.h"
#include "tests/base/st/stsymtab/dump_pipe_reader.h"
#include "platform/guid.h"

namespace {

// Sysvars: n (a size, DINT) at 0x100 governing arr (8 INT) at 0x200, m at
// 0x104, r (REAL) at 0x108, l (LREAL) at 0x110. Addresses 5 and 6 (DINT,
// equal defaults, quantity 91) are no sysvars and share one constant; 7
// and the sysvar k at 0x120 have values only in configuration 2. The
// temperatures are in K, their defaults in °C.
struct ArrayModel : InstModel {
    ArrayModel()
    {
        sysVars("16#100 n DINT\n16#104 m DINT\n16#108 r REAL\n16#110 l LREAL\n16#120 k DINT\n"
                "16#200 arr ARRAY [0..7] OF INT\n");
        value(0x100, 1, ST_DINT, 2, 0, -1, 1, 8);
        for (int i = 0; i < 8; ++i) value(0x200 + 2 * i, ~0u, ST_INT, 3, 91);
        value(0x104, ~0u, ST_DINT, 4, 0);
        value(0x108, ~0u, ST_REAL, 1.5, 0);
        value(0x110, ~0u, ST_LREAL, 2.5, 0);
        value(5, ~0u, ST_DINT, 7, 91);
        value(6, ~0u, ST_DINT, 7, 91);
        value(7, 2, ST_DINT, 9, 0);
        value(0x120, 2, ST_DINT, 9, 0);
        type.addDynArraySizes(VarExtKey(0x100, 1), {0x200});
        inst.initUnit();
        inst.setCurrentUnit(91, 92);
    }
    bool set(uint32_t adr, uint32_t typeId, double v, bool structure = false)
    {
        std::unique_ptr<StStdConstantVal> c(constOf(typeId, v));
        return inst.setActVal(adr, c.get(), structure);
    }
    int32_t arraySize()
    {
        int32_t lo = 0, hi = -1;
        inst.getSysVarTab()->getArrayBounds(inst.getTypeIdByAdr(0x200), lo, hi);
        return hi - lo + 1;
    }
};

TEST(InstValues, InitSysVarLocksBeyondTheSize)
{
    ArrayModel m;
    auto& i = m.inst;
    ASSERT_EQ(0u, i.initSysVar(true));
    EXPECT_TRUE(i.isValuesLoaded());
    EXPECT_EQ(10u, i.instValues().size());  // 16 type values, elements 2-7 locked
    EXPECT_EQ(6u, i.lockedEntries().size());
    EXPECT_FALSE(i.checkArrayEntry(0x202));
    EXPECT_TRUE(i.checkArrayEntry(0x204));
    EXPECT_TRUE(i.checkArrayEntry(0x20E));
    EXPECT_EQ(nullptr, i.getInstValue(0x204));
    EXPECT_EQ(nullptr, i.getAttrib(0x204));
    EXPECT_EQ(2, m.arraySize());
    EXPECT_TRUE(i.isArrayHandle(0x200));
    BoIdList arrays;
    EXPECT_TRUE(i.getDynArraySizes(0x100, arrays));
    EXPECT_EQ((BoIdList{0x200}), arrays);
    // Own ids: the sysvars are online-relevant, 5 and 6 share one constant.
    EXPECT_TRUE(i.isOnlRel(0x104));
    EXPECT_TRUE(i.isOnlRel(0x202));
    EXPECT_FALSE(i.isOnlRel(5));
    EXPECT_EQ(m.cid(5), m.cid(6));
    EXPECT_TRUE(i.isStructRel(0x100));
    EXPECT_FALSE(i.isStructRel(0x104));
    // Defaults in the current unit: 3 °C is 276 K.
    EXPECT_EQ(276, m.act(0x200));
    // Addresses with values of configuration 2 only have none to hash.
    CTraceCapture digest;
    i.calculateSysVarVersion();
    EXPECT_EQ((std::vector<std::string>{"3 Obj(T): value not found for adr: 0x00000007",
                                        "3 Obj(T): value not found for adr: 0x00000120"}),
              traceTexts(digest));

    // Without the sysvar table the arrays cannot be resized again.
    i.releaseSysVarTab();
    CTraceCapture released;
    EXPECT_EQ(65535u, i.initSysVar(false));
    EXPECT_EQ((std::vector<std::string>{"4 modifyArraySize falied for ADR(0x00000200)",
                                        "3 init hdl-map falied for ADR(0x00000200)"}),
              traceTexts(released));

    // Clean all: the resized sysvar table goes with the values.
    i.cleanAll();
    EXPECT_FALSE(i.isSysVarTabLoaded());
    EXPECT_TRUE(i.instValues().empty() && i.lockedEntries().empty() && !i.isArrayHandle(0x200));
    EXPECT_TRUE(i.getUnitTable().empty());
    FsSecClMem garbage;
    garbage << "18 symbol-table__V9.9\r\n";
    garbage.seek(0, 0);
    CTraceCapture cap;
    EXPECT_EQ(10u, i.loadSysVarTab(garbage));
    EXPECT_EQ("4 Obj(T): bad stab status", traceTexts(cap).back());
    EXPECT_FALSE(i.isSysVarTabLoaded());
}

TEST(InstValues, HugeArrayIsRefused)
{
    InstModel m;
    m.sysVars("16#100 n DINT\n16#200 big ARRAY [0..2000000] OF BYTE\n");
    m.value(0x100, ~0u, ST_DINT, 2, 0, -1, 1, 8);
    m.type.addDynArraySizes(VarExtKey(0x100, ~0u), {0x200});
    CTraceCapture cap;
    EXPECT_EQ(65535u, m.inst.initSysVar(true));
    EXPECT_EQ("4 invalid array-size: 2000001", traceTexts(cap).back());
    EXPECT_TRUE(m.inst.lockedEntries().empty());
}

TEST(InstValues, SetActVal)
{
    ArrayModel m;
    auto& i = m.inst;
    ASSERT_EQ(0u, i.initSysVar(true));
    i.clearChangedBits();
    const uint32_t before = i.guids;
    EXPECT_TRUE(m.set(0x104, ST_DINT, 4));  // equal: nothing
    EXPECT_EQ(before, i.guids);
    EXPECT_EQ(0u, i.getChangedBits());

    // Offline data: a shared constant is made private first.
    const CVersionStamp online = i.sysVarOnlineVersion();
    EXPECT_TRUE(m.set(5, ST_DINT, 8));
    EXPECT_EQ(8, m.act(5));
    EXPECT_EQ(280, m.act(6));
    EXPECT_EQ(online, i.sysVarOnlineVersion());
    EXPECT_EQ(before + 1, i.sysVarOfflineVersion().Guid.Data1);
    // Online data, notified when asked.
    EXPECT_TRUE(m.set(0x104, ST_DINT, 9, true));
    EXPECT_NE(online, i.sysVarOnlineVersion());
    EXPECT_TRUE(i.sysVarStructVersion().isInvalid());
    EXPECT_EQ((std::vector<uint32_t>{0x104}), i.structs);

    // The size 2 -> 5 unlocks elements 2-4 with 3 °C in K; a new structure.
    EXPECT_TRUE(m.set(0x100, ST_DINT, 5));
    EXPECT_EQ(5, m.arraySize());
    EXPECT_EQ(276, m.act(0x204));
    EXPECT_EQ(276, m.act(0x208));
    EXPECT_EQ(nullptr, i.getInstValue(0x20A));
    EXPECT_FALSE(i.checkArrayEntry(0x208));
    EXPECT_TRUE(i.checkArrayEntry(0x20A));
    EXPECT_FALSE(i.sysVarStructVersion().isInvalid());
    EXPECT_EQ(0x100u, i.structs.back());
    // Shrinking locks again.
    EXPECT_TRUE(m.set(0x100, ST_DINT, 3));
    EXPECT_TRUE(i.checkArrayEntry(0x206));
    EXPECT_EQ(3, m.arraySize());

    CTraceCapture cap;
    EXPECT_FALSE(m.set(0x100, ST_DINT, 0));
    EXPECT_FALSE(m.set(0x100, ST_DINT, 9));
    EXPECT_FALSE(m.set(0x999, ST_DINT, 1));
    EXPECT_FALSE(m.set(0x100, ST_INT, 6));  // another type: the arrays stay
    bool structure = false;
    EXPECT_FALSE(i.setActVal(0x104, nullptr, structure));
    EXPECT_EQ((std::vector<std::string>{"4 invalid array-size: 0", "4 invalid array-size: 9",
                                        "4 no value found for adr[cfg]: 0x00000999[0x00000001]",
                                        "4 couldn't assign val for adr[cfg]: 0x00000100[0x00000001]",
                                        "4 invalid pointer"}),
              traceTexts(cap));
    EXPECT_EQ(3, m.act(0x100));
    EXPECT_EQ(3, m.arraySize());
}

TEST(InstValues, ArrangeSysVar)
{
    ArrayModel m;
    auto& i = m.inst;
    ASSERT_EQ(0u, i.initSysVar(true));
    const size_t constants = m.sysConsts.values().size();
    ASSERT_EQ(0u, i.arrangeSysVar(false));
    EXPECT_NE(m.cid(5), m.cid(6));
    EXPECT_EQ(constants + 3, m.sysConsts.values().size());  // 5, 6 and 7 private
    const BoConstId sysvar = m.cid(0x104);
    ASSERT_EQ(0u, i.arrangeSysVar(true));
    EXPECT_EQ(m.cid(5), m.cid(6));
    EXPECT_EQ(sysvar, m.cid(0x104));  // own ids stay private
    EXPECT_EQ(constants, m.sysConsts.values().size());
}

TEST(InstValues, Uploads)
{
    ArrayModel m;
    m.value(0x118, ~0u, ST_INT, 1, 0);
    m.value(0x11C, ~0u, ST_LINT, 0, 0);
    auto& i = m.inst;
    ASSERT_EQ(0u, i.initSysVar(true));
    auto rec = [](uint32_t kind, uint32_t adr, double v) {
        BoUploadRecord r;
        r.kind = kind;
        r.adr = adr;
        if (kind == MC_REAL) {
            const float f = float(v);
            std::memcpy(r.value, &f, 4);
        } else if (kind == MC_LREAL) {
            std::memcpy(r.value, &v, 8);
        } else {
            const int32_t n = int32_t(v);
            std::memcpy(r.value, &n, 4);
        }
        return r;
    };
    bool structure = false;
    BoIdPairList errors;
    CTraceCapture cap;
    // Strict: what came before the unknown address stays applied.
    EXPECT_EQ(5u, i.readDefVal({rec(MC_DINT, 0x104, 11), rec(MC_DINT, 0x999, 1), rec(MC_DINT, 0x104, 12)}, true,
                               errors, structure));
    EXPECT_EQ(11, m.act(0x104));
    EXPECT_EQ(0u, i.readDefVal({rec(MC_DINT, 0x999, 1), rec(MC_DINT, 0x104, 13), rec(MC_SINT, 0x118, -3),
                                rec(MC_REAL, 0x108, 0.25), rec(MC_LREAL, 0x110, 1e10)},
                               false, errors, structure));
    EXPECT_EQ(13, m.act(0x104));
    EXPECT_EQ(-3, m.act(0x118));
    EXPECT_EQ(0.25, m.act(0x108));
    EXPECT_EQ(1e10, m.act(0x110));
    EXPECT_EQ(10u, i.readDefVal({rec(MC_SINT, 0x118, 5)}, true, errors, structure));
    EXPECT_EQ(65535u, i.readDefVal({rec(MC_LINT, 0x11C, 5)}, true, errors, structure));
    EXPECT_EQ((BoIdPairList{{5, 0x999}, {5, 0x999}, {10, 0x118}}), errors);
    EXPECT_EQ((std::vector<std::string>{
                  "4 Obj(T): cannot get value for the sysvar(0x00000999) after upload",
                  "3 Obj(T): cannot get value for the sysvar(0x00000999) after upload, ignored",
                  "3 Obj(T): type conflict for the sysvar(0x00000118) after upload, type casted",
                  "4 Obj(T): type conflict for the sysvar(0x00000118) after upload",
                  "4 Obj(T): type not supported for uploaded sysvar(0x0000011C)"}),
              traceTexts(cap));
}

TEST(InstValues, ValuesSectionAndSysVarBuffer)
{
    InstModel small;
    auto* v = new VarInstValue;
    v->Act = 9;
    v->Unit = 91;
    small.inst.instValues().add(VarExtKey(5, 1), v);
    small.inst.instValues().add(VarExtKey(6, 0xFFFFFFFF), nullptr);
    FsSecClMem s;
    ASSERT_EQ(0u, small.inst.saveValues(s));
    EXPECT_EQ("2 5 1 1 9 91 -1 6 4294967295 0", sectionBytes(s));

    ArrayModel m;
    ASSERT_EQ(0u, m.inst.initSysVar(true));
    FsSecClMem values, buffer, again;
    ASSERT_EQ(0u, m.inst.saveValues(values));
    TestInst j;
    j.setTypeVarCont(&m.type);
    values.seek(0, 0);
    ASSERT_EQ(0u, j.loadValues(values));
    ASSERT_EQ(0u, j.saveValues(again));
    EXPECT_EQ(sectionBytes(values), sectionBytes(again));
    // Sysvars of configuration 1 that are not locked: n, m, r, l, arr[0..1]
    // (not k, whose value is configuration 2's).
    CTraceCapture cap;
    ASSERT_EQ(0u, m.inst.writeSysVarBuffer(buffer));
    EXPECT_EQ("1 Write SysVarBuffer: 6 Vars", traceTexts(cap).back());

    FsSecClMem cut;
    const std::string bytes = sectionBytes(values);
    cut << bytes.substr(0, bytes.size() / 2).c_str();
    cut.seek(0, 0);
    EXPECT_EQ(27u, j.loadValues(cut));
    EXPECT_FALSE(j.isValuesLoaded());
}

TEST(InstValues, SysVarDigestsAgreeWithScript)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    char path[] = "/tmp/inst_digestXXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string lines;
    std::mt19937 rng(30);
    for (int round = 0; round < 20; ++round) {
        ArrayModel m;
        ASSERT_EQ(0u, m.inst.initSysVar(true));
        std::uniform_int_distribution<int32_t> n(-30000, 30000);
        m.set(0x104, ST_DINT, n(rng));
        m.set(0x108, ST_REAL, n(rng) / 8.0);
        m.set(0x110, ST_LREAL, n(rng) / 3.0);
        m.set(5, ST_DINT, n(rng));
        m.set(0x100, ST_DINT, 1 + rng() % 8);
        m.inst.setFollowBits(BoFamily_SysVars);
        m.inst.calculateSysVarVersion();
        ASSERT_EQ(m.inst.sysVarOnlineVersion(), m.inst.sysVarOnlineSignature());
        // Per address: address, online, structure, VARIANT type, value.
        std::string line = tvp::guidToString(m.inst.sysVarOfflineVersion().Guid) + " " +
                           tvp::guidToString(m.inst.sysVarOnlineSignature().Guid) + " " +
                           tvp::guidToString(m.inst.sysVarStructVersion().Guid);
        int32_t last = -1;
        for (const auto& e : m.inst.instValues()) {
            if (e.first.adr == last || !m.inst.getInstValue(uint32_t(e.first.adr))) continue;
            last = e.first.adr;
            const StStdConstantVal* c = m.inst.getInstValue(uint32_t(last));
            double d = 0;
            c->getDouble(d);
            char buf[96];
            std::snprintf(buf, sizeof buf, " %d:%d:%d:%s:%.17g", last, int(m.inst.isOnlRel(uint32_t(last))),
                          int(m.inst.isStructRel(uint32_t(last))), stTypeIdName(c->getTypeId()), d);
            line += buf;
        }
        lines += line + "\n";
    }
    ASSERT_EQ(ssize_t(lines.size()), ::write(fd, lines.data(), lines.size()));
    ::close(fd);
    const std::string cmd =
        "/usr/bin/python3 '" + std::string(TV_SOURCE_DIR) + "/tests/bo/bo/sysvar_digest.py' '" + path + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    char out[512] = {};
    const size_t got = std::fread(out, 1, sizeof out - 1, p);
    const int status = ::pclose(p);
    ::unlink(path);
    EXPECT_EQ(0, status) << std::string(out, got);
    EXPECT_EQ("20 digests match\n", std::string(out, got));
}

// Sysvars of the id types as a class provider declares them: an alarm id
// "al" at 0x300 and a task id "tk" at 0x304, beside a DINT "n" at 0x100.
// The type's constants of the id types hold 0 (the variable-extension
// compiler has no setter for them); the instance gets its ids from the
// host, here through setActVal.
struct IdModel : InstModel {
    IdModel(int32_t alarm, uint32_t task)
    {
        SysVarTable t;
        std::string err;
        EXPECT_TRUE(t.addElementary(0x100, "n", ST_DINT, err)) << err;
        StSymbTable& st = t.table();
        for (auto v : {std::make_pair(0x300u, ST_STRUCTALARMID), std::make_pair(0x304u, ST_STRUCTTASKID)}) {
            StSymbEntryID sid;
            StSyBaseSymbEntry* e = st.addEntry(v.first == 0x300 ? "al" : "tk", st.getGlobalVR(), st.getGlobalNR(),
                                               ST_KIND_SYSVAR, sid);
            EXPECT_TRUE(e);
            e->setStorageAddress(int32_t(v.first));
            e->setTypeID(v.second);
        }
        sysVars(t);
        value(0x100, ~0u, ST_DINT, 4, 0);
        value(0x300, ~0u, ST_STRUCTALARMID, 0, 0);
        value(0x304, ~0u, ST_STRUCTTASKID, 0, 0);
        inst.initUnit();
        EXPECT_EQ(0u, inst.initSysVar(true));
        CBOFrameStdConstantVal a(ST_STRUCTALARMID, false), k(ST_STRUCTTASKID, false);
        a.SetLongVal(alarm);
        k.SetULongVal(task);
        bool structure = false;
        EXPECT_TRUE(inst.setActVal(0x300, &a, structure));
        EXPECT_TRUE(inst.setActVal(0x304, &k, structure));
        EXPECT_FALSE(structure);
        inst.setFollowBits(BoFamily_SysVars);
        inst.calculateSysVarVersion();
    }
};

// Instances that differ only in an alarm id, or only in a task id, have
// different offline and online versions. Their structure versions agree:
// neither id sizes an array, and only array sizes are structure-relevant.
TEST(InstValues, IdsTellVersionsApart)
{
    IdModel base(5, 9), alarm(6, 9), task(5, 10);
    ASSERT_TRUE(base.inst.isOnlRel(0x300) && base.inst.isOnlRel(0x304));
    for (IdModel* other : {&alarm, &task}) {
        EXPECT_FALSE(base.inst.sysVarOfflineVersion().isInvalid());
        EXPECT_NE(base.inst.sysVarOfflineVersion(), other->inst.sysVarOfflineVersion());
        EXPECT_NE(base.inst.sysVarOnlineSignature(), other->inst.sysVarOnlineSignature());
        EXPECT_NE(base.inst.sysVarOnlineVersion(), other->inst.sysVarOnlineVersion());
        EXPECT_EQ(base.inst.sysVarStructVersion(), other->inst.sysVarStructVersion());
    }
    // The same ids, the same versions.
    IdModel again(5, 9);
    EXPECT_EQ(base.inst.sysVarOfflineVersion(), again.inst.sysVarOfflineVersion());
    EXPECT_EQ(base.inst.sysVarOnlineSignature(), again.inst.sysVarOnlineSignature());
}

TEST(InstValues, DumpReachesFifoReader)
{
    InstModel m;
    m.value(5, 1, ST_DINT, 7, 91);
    m.inst.initUnit();
    ASSERT_EQ(0u, m.inst.initSysVar(true));
    std::ostringstream text;
    m.inst.dumpInstData(text);
    const std::string dump = text.str();
    const std::string head =
        "### Instanzdaten: #####################################\n\n"
        "=== Configuration: ====================================\n00000001\n\n"
        "=== VarInstValueTable: ================================\n"
        "{0x00000005, 0x00000001} -> Act(         0), Unit(   91), Fix( -1)\n\n"
        "=== Dynamische Arrays: ================================\n\n"
        "=== gesperrte ArrayEntrys: ============================\n\n"
        "=== SysVarKonstvaltable: ==============================\n";
    EXPECT_EQ(head, dump.substr(0, head.size()));
    EXPECT_NE(std::string::npos, dump.find("=== Einheiten: ========================================\n"
                                           "PhysGr(        14) -> Unit(        15)\n"));
    EXPECT_NE(std::string::npos, dump.find("=== EinheitenTabelle: =================================\n"
                                           "         0 -> -\n"));
    EXPECT_NE(std::string::npos, dump.find("       428 -> lbf/Aeff\n"));

    // Array handles and locked elements, each with its size variable / array.
    ArrayModel a;
    ASSERT_EQ(0u, a.inst.initSysVar(true));
    std::ostringstream arrays;
    a.inst.dumpInstData(arrays);
    EXPECT_NE(std::string::npos, arrays.str().find("=== Dynamische Arrays: ================================\n"
                                                   "0x00000200 -> 0x00000100\n"));
    EXPECT_NE(std::string::npos, arrays.str().find("=== gesperrte ArrayEntrys: ============================\n"
                                                   "{0x00000204, 0x00000001} -> 0x00000200\n"));

    const std::string fifo = std::string("/tmp/tvp_inst_") + std::to_string(::getpid());
    ::setenv("TAVOLIN_DUMP_PIPE", fifo.c_str(), 1);
    m.inst.dumpToPipe();  // no FIFO: nothing
    const std::string got = readDumpPipe(fifo, [&] { m.inst.dumpToPipe(); });
    ::unsetenv("TAVOLIN_DUMP_PIPE");
    EXPECT_EQ(dump, got);
}

}  // namespace
