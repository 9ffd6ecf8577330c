// The symbol table through a section stream: saving and loading a table of
// 100k entries, 50k constants and 5k types, beside the floor of the same
// count of numbers written and read without a model (12 per entry). The
// counters report the bytes written, estimateSize against them and the
// peak resident memory of the process.
//
// Unique adds: N entries under 100 names, each name once in each of N/100
// scopes (every name's chain grows to N/100), at N = 25k and 100k, with the
// name-chain index and with the chain walks; floor: N adds of N different
// names in one scope (every chain one entry long). "perAddVsFloor" is the
// time per add over the floor's; it should not grow from 1x to 4x.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "numbers_floor.h"

namespace {

constexpr int64_t kEntries = 100000, kConstants = 50000, kTypes = 5000;

void fill(StSymbTable& t)
{
    for (int64_t i = 0; i < kTypes; ++i)
        i % 2 ? t.types()->createArrayType(ST_INT, 0, int32_t(i % 50))
              : t.types()->createStructType(StTypeIDList{ST_BOOL, ST_DINT, StTypeID(30)}, 4, 264);
    for (int64_t i = 0; i < kConstants; ++i) {
        StConstantVal* v = new StStdConstantVal(int32_t(i), false);
        t.constants()->addConstantVal(v);
        delete v;
    }
    StRangeID vr = 0, nr = 0;
    for (int64_t i = 0; i < kEntries; ++i) {
        if (i % 1000 == 0) {
            vr = t.openValidityRange(0);
            nr = t.openNameSpace(0);
        }
        StSymbEntryID sid;
        const std::string name = "n" + std::to_string(i % 20000);
        StSyBaseSymbEntry* e = t.addEntry(name.c_str(), vr, nr, ST_KIND_VAR, sid);
        if (!e) continue;
        e->setTypeID(StTypeID(i % 40));
        e->setInitCID(uint32_t(i % kConstants));
    }
}

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void BM_SaveLoad(benchmark::State& state)
{
    StSymbTable t;
    fill(t);
    FsSecClMem s;
    uint32_t written = 0;
    for (auto _ : state) {
        s.setSize(0);
        t.save(s);
        written = s.getSize();
        s.seek(0, 0);
        StSymbTable back;
        back.load(s);
        if (back.hasError()) state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kEntries);
    state.counters["bytes"] = double(written);
    state.counters["estimate/bytes"] = double(t.estimateSize()) / double(written);
    state.counters["peakKB"] = double(peakKb());
}
BENCHMARK(BM_SaveLoad)->Unit(benchmark::kMillisecond);

void BM_SaveLoadFloor(benchmark::State& state) { runNumbersFloor(state, kEntries, 12); }
BENCHMARK(BM_SaveLoadFloor)->Unit(benchmark::kMillisecond);

constexpr int64_t kNamesShared = 100;

// Seconds per add of n adds of n different names in one scope.
double floorPerAdd(int64_t n)
{
    std::vector<std::string> names;
    for (int64_t i = 0; i < n; ++i) names.push_back("u" + std::to_string(i));
    const auto start = std::chrono::steady_clock::now();
    StSymbTable t;
    for (const std::string& name : names) {
        StSymbEntryID sid;
        t.addEntry(name.c_str(), 0, 0, ST_KIND_VAR, sid);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / double(n);
}

void runUniqueAdds(benchmark::State& state, bool index)
{
    const int64_t n = state.range(0);
    std::vector<std::string> names;
    for (int64_t k = 0; k < kNamesShared; ++k) names.push_back("n" + std::to_string(k));
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        StSymbTable t;
        t.setNameIndex(index);
        int64_t added = 0;
        for (int64_t s = 0; s < n / kNamesShared; ++s) {
            const StRangeID vr = t.openValidityRange(0), nr = t.openNameSpace(0);
            for (const std::string& name : names) {
                StSymbEntryID sid;
                added += t.addEntry(name.c_str(), vr, nr, ST_KIND_VAR, sid) != nullptr;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (added != n) state.SkipWithError("an add was refused");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
    const double perAdd = seconds / double(state.iterations()) / double(n);
    state.counters["perAdd_us"] = perAdd * 1e6;
    state.counters["perAddVsFloor"] = perAdd / floorPerAdd(n);
}

void BM_UniqueAdds(benchmark::State& state) { runUniqueAdds(state, true); }
BENCHMARK(BM_UniqueAdds)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_UniqueAddsWalked(benchmark::State& state) { runUniqueAdds(state, false); }
BENCHMARK(BM_UniqueAddsWalked)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
