// Shared floor of the section-stream benches: a count of numbers written,
// each after a blank, and read back through a section stream in memory,
// without any model around them.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>

#include "base/fs/FsSecClMem.h"

// Writes and reads items x perItem numbers per iteration; counts items.
inline void runNumbersFloor(benchmark::State& state, int64_t items, int64_t perItem)
{
    FsSecClMem s;
    for (auto _ : state) {
        s.setSize(0);
        for (int64_t i = 0; i < items * perItem; ++i) s << ' ' << uint32_t(i);
        s.seek(0, 0);
        uint32_t v = 0, sum = 0;
        for (int64_t i = 0; i < items * perItem; ++i) {
            s >> v;
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * items);
}
