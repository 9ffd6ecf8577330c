// The constant table, each measurement beside a floor from the same run:
// adding mostly equal shared values (logarithmic per add) beside inserting
// the same numbers into a std::set; the hole search at an exhausted counter
// beside a plain walk over a map of the same size; writing and reading 50k
// values through a section stream beside the same count of numbers.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <set>

#include "base/fs/FsSecClMem.h"
#include "numbers_floor.h"
#include "base/st/stsymtab/StStdConstantVal.h"

namespace {

// Mostly equal values: 1 in 64 distinct.
int32_t valueAt(std::mt19937& rng, int64_t n) { return int32_t(rng() % uint32_t(n / 64 + 1)); }

void BM_AddShared(benchmark::State& state)
{
    const int64_t n = state.range(0);
    for (auto _ : state) {
        StSyConstValTable t;
        std::mt19937 rng(1);
        for (int64_t i = 0; i < n; ++i) {
            StConstantVal* v = new StStdConstantVal(valueAt(rng, n), false);
            t.addConstantVal(v);
            delete v;
        }
        benchmark::DoNotOptimize(t.getCounter());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
    state.SetComplexityN(n);
}
BENCHMARK(BM_AddShared)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);

// Floor: the same numbers into a std::set.
void BM_AddFloor(benchmark::State& state)
{
    const int64_t n = state.range(0);
    for (auto _ : state) {
        std::set<int32_t> s;
        std::mt19937 rng(1);
        for (int64_t i = 0; i < n; ++i) s.insert(valueAt(rng, n));
        benchmark::DoNotOptimize(s.size());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
    state.SetComplexityN(n);
}
BENCHMARK(BM_AddFloor)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);

constexpr int64_t kHoleValues = 100000;

// n unshared values at CIDs 0..n-1 with the last one removed: every search
// walks the whole table to find the hole at its top.
void BM_HoleSearch(benchmark::State& state)
{
    StSyConstValTable t;
    for (int64_t i = 0; i < kHoleValues; ++i) {
        StConstantVal* v = new StStdConstantVal(int32_t(i), false);
        v->setShared(false);
        t.addConstantVal(v);
    }
    t.setCounter(0xFFFFFFFFu);
    t.removeConstantVal(uint32_t(kHoleValues - 1));
    for (auto _ : state) benchmark::DoNotOptimize(t.getNextFreeID());
    state.SetItemsProcessed(int64_t(state.iterations()) * kHoleValues);
}
BENCHMARK(BM_HoleSearch)->Unit(benchmark::kMicrosecond);

// Floor: a walk over a map of the same size.
void BM_HoleFloor(benchmark::State& state)
{
    std::map<uint32_t, void*> m;
    for (int64_t i = 0; i < kHoleValues; ++i) m.emplace(uint32_t(i), nullptr);
    for (auto _ : state) {
        uint32_t last = 0;
        for (const auto& e : m) last = e.first;
        benchmark::DoNotOptimize(last);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kHoleValues);
}
BENCHMARK(BM_HoleFloor)->Unit(benchmark::kMicrosecond);

constexpr int64_t kSaved = 50000;

void fillDistinct(StSyConstValTable& t)
{
    for (int64_t i = 0; i < kSaved; ++i) {
        StConstantVal* v = new StStdConstantVal(int32_t(i * 7919), false);
        t.addConstantVal(v);
    }
}

void BM_WriteTable(benchmark::State& state)
{
    StSyConstValTable t;
    fillDistinct(t);
    FsSecClMem s;
    for (auto _ : state) {
        s.setSize(0);
        if (!t.write(s)) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSaved);
}
BENCHMARK(BM_WriteTable)->Unit(benchmark::kMillisecond);

void BM_ReadTable(benchmark::State& state)
{
    StSyConstValTable t;
    fillDistinct(t);
    FsSecClMem s;
    t.write(s);
    for (auto _ : state) {
        StSyConstValTable back;
        s.seek(0, 0);
        if (!back.read(s)) state.SkipWithError("read failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSaved);
}
BENCHMARK(BM_ReadTable)->Unit(benchmark::kMillisecond);

// Floor of both: seven numbers per value (CID, kind, flag, type, sign,
// value, address) written and read back through a section stream.
void BM_NumbersFloor(benchmark::State& state) { runNumbersFloor(state, kSaved, 7); }
BENCHMARK(BM_NumbersFloor)->Unit(benchmark::kMillisecond);

}  // namespace
