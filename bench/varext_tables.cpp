// The masked lookup of a variable-extension value table, and the save and
// load of its section, each beside a floor from the same run: the lookup
// beside an exact-key find in the same map (both logarithmic; the masked
// lookup should stay within a small factor of it), the save and load beside
// writing and reading the same count of numbers through a section stream.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "numbers_floor.h"
#include "bo/bo/BoVarExtIo.h"

namespace {

// n entries over n/2 addresses, two disjoint masks each, every eighth
// without a record.
void fill(CVarTypeValueTable& t, int64_t n)
{
    t.freeAll();
    for (int64_t i = 0; i < n; ++i) {
        VarTypeValue* v = i % 8 ? new VarTypeValue : nullptr;
        if (v) v->Def() = uint32_t(i);
        t.add(VarExtKey(int32_t(i / 2) * 4 - int32_t(n), i % 2 ? 0xF0u : 0x0Fu), v);
    }
}

std::vector<VarExtKey> requests(int64_t n)
{
    std::mt19937 rng(1);
    std::vector<VarExtKey> keys(4096);
    for (auto& k : keys) k = VarExtKey(int32_t(rng() % uint32_t(n / 2)) * 4 - int32_t(n), 1u << (rng() % 8));
    return keys;
}

// Runs lookup(table, key) over the requests on a table of range(0) entries.
template <class Lookup>
void runLookups(benchmark::State& state, bool exactMasks, Lookup lookup)
{
    CVarTypeValueTable t;
    fill(t, state.range(0));
    auto keys = requests(state.range(0));
    if (exactMasks)
        for (auto& k : keys) k.mask = k.mask & 0x0F ? 0x0F : 0xF0;
    size_t i = 0, found = 0;
    for (auto _ : state) found += lookup(t, keys[i++ & 4095]) != t.end();
    benchmark::DoNotOptimize(found);
    state.SetComplexityN(state.range(0));
}

void BM_FindForCfg(benchmark::State& state)
{
    runLookups(state, false, [](CVarTypeValueTable& t, const VarExtKey& k) { return t.findForCfg(k); });
}
BENCHMARK(BM_FindForCfg)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oLogN);

// Floor: the map's own find of an exact key.
void BM_ExactFind(benchmark::State& state)
{
    runLookups(state, true, [](CVarTypeValueTable& t, const VarExtKey& k) { return t.find(k); });
}
BENCHMARK(BM_ExactFind)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oLogN);

constexpr int64_t kSaved = 100000;

void BM_SaveValues(benchmark::State& state)
{
    CVarTypeValueTable t;
    fill(t, kSaved);
    FsSecClMem s;
    for (auto _ : state) {
        if (writeValuesSection(s, t) != 0) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSaved);
}
BENCHMARK(BM_SaveValues)->Unit(benchmark::kMillisecond);

void BM_LoadValues(benchmark::State& state)
{
    CVarTypeValueTable t;
    fill(t, kSaved);
    FsSecClMem s;
    writeValuesSection(s, t);
    for (auto _ : state) {
        s.seek(0, 0);
        if (readValuesSection(s, t) != 0) state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSaved);
}
BENCHMARK(BM_LoadValues)->Unit(benchmark::kMillisecond);

// Floor of both: the same count of numbers (eight per entry, with blanks)
// written and read back through a section stream, without any table.
void BM_NumbersFloor(benchmark::State& state) { runNumbersFloor(state, kSaved, 8); }
BENCHMARK(BM_NumbersFloor)->Unit(benchmark::kMillisecond);

}  // namespace
