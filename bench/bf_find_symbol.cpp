// Lookup of the boot-function symbol table: findSymbol of a name among
// 50 000 symbols in 1 000 scopes (50 per scope, 500 distinct names), asked
// from a scope whose own declaration ends the search.
//  - FindSymbolScan: without the name index (every entry is looked at).
//  - FindSymbolIndexed: with the name index (only the entries of the name).
//  - Floor: a std::map lookup of the same name in a map of the 500 names to
//    their 100 SIDs, then a pass over those SIDs comparing one range id.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "bo/bf/BfSymbTable.h"

namespace {

constexpr int kScopes = 1000, kPerScope = 50, kNames = 500;

struct Table {
    CBfSymbTable t;
    std::vector<StRangeID> scopes;
    std::map<std::string, std::vector<std::pair<StRangeID, uint32_t>>> floor;

    Table()
    {
        for (int s = 0; s < kScopes; ++s) scopes.push_back(t.openNameSpace(0));
        for (int s = 0; s < kScopes; ++s)
            for (int i = 0; i < kPerScope; ++i) {
                std::string name = "v" + std::to_string((s * kPerScope + i) % kNames);
                StSymbEntryID sid;
                t.addEntry(name.c_str(), 0, scopes[s], ST_KIND_VAR, sid, -1, false);
                floor[name].emplace_back(scopes[s], sid.get());
            }
    }
};

Table& table()
{
    static Table t;
    return t;
}

void lookups(benchmark::State& state, bool indexed)
{
    Table& t = table();
    if (indexed) t.t.buildNameIndex();
    const String name("v123");
    const StRangeID nr = t.scopes[kScopes / 2 + 2];  // holds v123
    for (auto _ : state) {
        StSymbEntryID sid = t.t.findSymbol(name, 0, nr);
        if (sid.isInvalid()) state.SkipWithError("not found");
        benchmark::DoNotOptimize(sid);
    }
}

void BM_FindSymbolScan(benchmark::State& state)
{
    lookups(state, false);
}
BENCHMARK(BM_FindSymbolScan)->Unit(benchmark::kMicrosecond);

void BM_FindSymbolIndexed(benchmark::State& state)
{
    lookups(state, true);
}
BENCHMARK(BM_FindSymbolIndexed)->Unit(benchmark::kMicrosecond);

void BM_FindSymbolFloor(benchmark::State& state)
{
    Table& t = table();
    const StRangeID nr = t.scopes[kScopes / 2 + 2];
    for (auto _ : state) {
        uint32_t found = 0xFFFFFFFFu;
        for (const auto& e : t.floor.at("v123"))
            if (e.first == nr) found = e.second;
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindSymbolFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
