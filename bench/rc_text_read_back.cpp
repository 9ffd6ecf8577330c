// What a resource compiler reads back of a text (its characters and a byte
// code page 1252 leaves undefined, mdRcReadBack), asked of every text a
// section compiler writes to the resource script, beside two floors over the
// same 8 MB: a bare read of the bytes (counting the backslashes) and the
// script writer's own line (addText, to /dev/null). Texts of plain ASCII,
// of German code page 1252 text (a high byte every few), and of escapes.
// Targets: for plain and code page 1252 text the read-back at most 1.2x the
// bare read; for text dense in escapes at most 2x the writer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "tools/md/tavolin/MdRcStringTable.h"

namespace {

// 8 MB of the unit repeated.
std::string texts(const std::string& unit)
{
    std::string s;
    s.reserve((8u << 20) + unit.size());
    while (s.size() < (8u << 20)) s += unit;
    return s;
}

const std::string kUnits[] = {
    "Istposition der Achse im Lageregler ",
    // code page 1252: Größe, Übergänge, Maß
    "Gr\xF6\xDF" "e der \xDC" "berg\xE4nge, Ma\xDF in \xB5m ",
    "C:\\temp\\x41\\101 \"quoted\"\r\n",
};
const char* const kUnitNames[] = {"ascii", "1252", "escapes"};

void BM_FloorRead(benchmark::State& state)
{
    const std::string text = texts(kUnits[state.range(0)]);
    for (auto _ : state) benchmark::DoNotOptimize(std::count(text.begin(), text.end(), '\\'));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(kUnitNames[state.range(0)]);
}
BENCHMARK(BM_FloorRead)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_ReadBack(benchmark::State& state)
{
    const std::string text = texts(kUnits[state.range(0)]);
    for (auto _ : state) {
        const MdRcReadBack r = mdRcReadBack(text.data(), text.size());
        benchmark::DoNotOptimize(r.chars);
        benchmark::DoNotOptimize(r.undefinedByte);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(kUnitNames[state.range(0)]);
}
BENCHMARK(BM_ReadBack)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_FloorWrite(benchmark::State& state)
{
    const std::string text = texts(kUnits[state.range(0)]);
    for (auto _ : state) {
        MdRcStringTable table;
        table.open(String("/dev/null"));
        table.addText(1, text.data(), text.size());
        if (!table.close()) state.SkipWithError("the writer failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(kUnitNames[state.range(0)]);
}
BENCHMARK(BM_FloorWrite)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
