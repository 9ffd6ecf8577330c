// The instance side of the variable extensions at 100k and 400k values,
// each measurement beside a floor from the same run:
// - SysVarDigest: calculateSysVarVersion over N DINT values (every second
//   one a system variable with an id of its own, so it feeds two hashers);
//   floor: MD5 of the same bytes fed straight into one hasher.
// - SetCurrentUnit: setCurrentUnit of a temperature switching between K and
//   °C over N values of that quantity (each clamped to its bounds); floor:
//   the same conversions of N doubles in a plain vector.
// Targets: both linear (4x the values within 5x the time) and within 10x
// of their floors (bench/README.md).
#include <benchmark/benchmark.h>

#include <vector>

#include "bo/bo/BoInstVarCont.h"
#include "bo/bo/MdVarExtBase.h"
#include "co/CoCrypt.h"

namespace {

class BenchType : public MdVarExtBase {
public:
    void reportError(uint32_t, const String*, const String*) override {}
    void countError() override {}
    int32_t getErrorCount() override { return 0; }
};

class BenchInst : public CBOInstVarCont {
public:
    String getObjName() const override { return "bench"; }
    void configurationChanged(uint32_t, uint32_t) override {}
    void structureChanged(uint32_t) override {}
};

// A type with N values of quantity 91 (default °C) and an instance on it.
struct Model {
    BenchType type;
    CBOFrameConstValTable consts;
    BenchInst inst;

    explicit Model(int64_t n)
    {
        type.setUnitParam(429);
        type.addDefaultUnit(91, 93);
        type.addUsedUnit(91, 92);
        type.addUsedUnit(91, 93);
        CBOFrameConstValTable* tc = type.getFrameConstTable();
        const BoConstId min = tc->appendConstantVal(-1000000, ST_DINT), max = tc->appendConstantVal(1000000, ST_DINT);
        for (int64_t i = 0; i < n; ++i)
            type.addTypeValue(VarExtKey(int32_t(i), ~0u),
                              VarTypeValue::make(tc->appendConstantVal(int32_t(i % 1000), ST_DINT), 91, -1, min, max));
        inst.setTypeVarCont(&type);
        inst.setConstTables(&consts, nullptr);
        inst.initUnit();
        inst.initSysVar(true);
        // Every second value a system variable: a private constant with the
        // address as its own id.
        for (auto& e : inst.instValues())
            if (e.first.adr % 2)
                e.second->Act = consts.appendInstVal(uint32_t(e.first.adr), *consts.getConstantVal(e.second->Act), false);
    }
};

void BM_SysVarDigest(benchmark::State& state)
{
    Model m(state.range(0));
    for (auto _ : state) m.inst.calculateSysVarVersion();
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SysVarDigest)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

// Per value 4 address bytes, 4 type bytes and 4 value bytes, and as much
// again for the system variables.
void BM_SysVarDigestFloor(benchmark::State& state)
{
    const std::vector<uint8_t> bytes(size_t(state.range(0)) * 18, 0x5A);
    for (auto _ : state) {
        CoCryptHashVariant h;
        h.add(bytes.data(), uint32_t(bytes.size()));
        GUID g;
        benchmark::DoNotOptimize(h.getHashAsGUID(&g));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SysVarDigestFloor)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

void BM_SetCurrentUnit(benchmark::State& state)
{
    Model m(state.range(0));
    // The first change makes the shared constants private; then every
    // change converts in place.
    m.inst.setCurrentUnit(91, 92);
    int32_t unit = 93;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.inst.setCurrentUnit(91, unit));
        unit = unit == 92 ? 93 : 92;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SetCurrentUnit)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

void BM_SetCurrentUnitFloor(benchmark::State& state)
{
    std::vector<double> values(size_t(state.range(0)));
    for (size_t i = 0; i < values.size(); ++i) values[i] = double(i % 1000);
    int32_t from = 93, to = 92;
    for (auto _ : state) {
        for (double& v : values) PhysUnitTable::convert(v, from, to, v);
        std::swap(from, to);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SetCurrentUnitFloor)->Arg(100000)->Arg(400000)->Unit(benchmark::kMillisecond);

}  // namespace
