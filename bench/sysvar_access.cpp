// System variables by address on a loaded table of 100k entries: 50k system
// variables in the global scope with ids derived from their addresses (one
// per 64 K block, starting anywhere in the lower 256 bytes of their block)
// and 50k constants between them.
//  - FindSysVarByAdr: 10k findSysVarByAdr of random addresses.
//  - GetSysVarOperand: 10k getSysVarOperand of the same addresses (the
//    operands deleted again).
//  - Floor: 10k upper_bound lookups in a std::map of the 50k starts.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

constexpr uint32_t kSysVars = 50000, kOthers = 50000, kQueries = 10000;

struct Loaded {
    SyStSymbTable t;
    std::map<uint32_t, uint32_t> starts;
    std::vector<uint32_t> queries;

    Loaded()
    {
        t.setSysVarIdMode(true, false);
        std::mt19937 rng(5);
        const StTypeID arr = t.types()->createArrayType(ST_DINT, 0, 31);
        for (uint32_t id = 1; id <= kSysVars; ++id) {
            const uint32_t address = (id << 16) | (rng() % 0x100);
            StSymbEntryID sid(id);
            StSyBaseSymbEntry* e =
                t.addEntry(("sv" + std::to_string(id)).c_str(), t.getGlobalVR(), t.getGlobalNR(), ST_KIND_SYSVAR, sid);
            e->setStorageAddress(int32_t(address));
            e->setTypeID(id % 2 ? arr : StTypeID(ST_DINT));
            starts[address] = id;
        }
        for (uint32_t i = 0; i < kOthers; ++i) {
            StSymbEntryID sid;
            t.addEntry(("k" + std::to_string(i)).c_str(), t.getGlobalVR(), t.getGlobalNR(), ST_KIND_CONST, sid);
        }
        for (uint32_t q = 0; q < kQueries; ++q) queries.push_back((1 + rng() % kSysVars) << 16 | (rng() % 0x200));
    }
};

Loaded& loaded()
{
    static Loaded l;
    return l;
}

void BM_FindSysVarByAdr(benchmark::State& state)
{
    Loaded& l = loaded();
    for (auto _ : state) {
        uint32_t found = 0;
        for (uint32_t a : l.queries) {
            uint32_t start = 0;
            found += l.t.findSysVarByAdr(a, &start) != nullptr;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
}
BENCHMARK(BM_FindSysVarByAdr)->Unit(benchmark::kMicrosecond);

void BM_GetSysVarOperand(benchmark::State& state)
{
    Loaded& l = loaded();
    for (auto _ : state) {
        uint32_t made = 0;
        for (uint32_t a : l.queries) {
            StASMSysVarOperand* op = l.t.getSysVarOperand(a, 0);
            made += op != nullptr;
            delete op;
        }
        benchmark::DoNotOptimize(made);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
}
BENCHMARK(BM_GetSysVarOperand)->Unit(benchmark::kMicrosecond);

void BM_SysVarFloor(benchmark::State& state)
{
    Loaded& l = loaded();
    for (auto _ : state) {
        uint32_t found = 0;
        for (uint32_t a : l.queries) {
            auto it = l.starts.upper_bound(a);
            found += it != l.starts.begin();
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
}
BENCHMARK(BM_SysVarFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
