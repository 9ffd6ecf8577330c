// The frame constant table, each measurement beside a floor from the same
// run: 100k appendConstantVal of mostly equal values (1 in 64 distinct)
// beside inserting the same numbers into a std::set, and the sysvar buffer
// of 100k constants with a 100k-entry list (half of them written, the list
// emptied of what was written) beside writing and reading the same count of
// numbers through a section stream.
#include <benchmark/benchmark.h>

#include <random>
#include <set>

#include "base/fs/FsSecClMem.h"
#include "bo/boframe/BoFrameConstVal.h"
#include "numbers_floor.h"

namespace {

constexpr int64_t kValues = 100000;

int32_t valueAt(std::mt19937& rng) { return int32_t(rng() % uint32_t(kValues / 64 + 1)); }

void BM_AppendMostlyEqual(benchmark::State& state)
{
    for (auto _ : state) {
        CBOFrameConstValTable t;
        std::mt19937 rng(1);
        for (int64_t i = 0; i < kValues; ++i) t.appendConstantVal(valueAt(rng), ST_DINT);
        benchmark::DoNotOptimize(t.getCounter());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kValues);
}
BENCHMARK(BM_AppendMostlyEqual)->Unit(benchmark::kMillisecond);

void BM_AppendFloor(benchmark::State& state)
{
    for (auto _ : state) {
        std::set<int32_t> s;
        std::mt19937 rng(1);
        for (int64_t i = 0; i < kValues; ++i) s.insert(valueAt(rng));
        benchmark::DoNotOptimize(s.size());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kValues);
}
BENCHMARK(BM_AppendFloor)->Unit(benchmark::kMillisecond);

// 100k instance values, every second one with an id of its own; the list
// names every CID.
void BM_WriteSysVarDefVal(benchmark::State& state)
{
    CBOFrameConstValTable t;
    StConstEntryID base = t.appendConstantVal(5, ST_INT);
    for (int64_t i = 1; i < kValues; ++i)
        t.appendInstVal(i % 2 ? StConstEntryID(uint32_t(i)) : ST_INVALID_CID, *t.getConstantVal(base), false);
    FsSecClMem s;
    for (auto _ : state) {
        state.PauseTiming();
        CBOFrameConstValTable::CidList list;
        for (const auto& e : t.values()) list.push_back(e.first);
        s.setSize(0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(t.writeSysVarDefVal(s, list));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kValues);
}
BENCHMARK(BM_WriteSysVarDefVal)->Unit(benchmark::kMillisecond);

// Floor: three numbers per written value (type, sign, value) for half the values.
void BM_WriteFloor(benchmark::State& state) { runNumbersFloor(state, kValues / 2, 3); }
BENCHMARK(BM_WriteFloor)->Unit(benchmark::kMillisecond);

}  // namespace
