// The symbol table through a section stream: saving and loading a table of
// 100k entries, 50k constants and 5k types, beside the floor of the same
// count of numbers written and read without a model (12 per entry). The
// counters report the bytes written, estimateSize against them and the
// peak resident memory of the process.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <string>

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

}  // namespace
