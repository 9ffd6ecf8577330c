// The attribute walks of the type container over 100k attribute entries,
// each beside a floor from the same run: findAddrByAttr (a walk of the whole
// table) beside a bare loop over the same map calling checkAttr on every
// record, checkForAttr over a 64-address range beside the map's
// lower_bound and the same bare loop over that range. Targets:
// findAddrByAttr within 2x of its floor (it also builds the list of found
// addresses), checkForAttr within 1.5x.
#include <benchmark/benchmark.h>

#include <random>

#include "bo/bo/MdVarExtBase.h"

namespace {

constexpr int32_t kEntries = 100000;

// The base with messages and counts dropped.
class QuietVarExt : public MdVarExtBase {
public:
    void reportError(uint32_t, const String*, const String*) override {}
    void countError() override {}
    int32_t getErrorCount() override { return 0; }
};

// kEntries entries over kEntries/2 addresses, masks 1 and 2, every eighth
// without a record; a quarter of the records carry bit 0 of A.
struct Model {
    QuietVarExt t;
    Model()
    {
        std::mt19937 rng(3);
        for (int32_t i = 0; i < kEntries; ++i) {
            VarExt* x = nullptr;
            if (i % 8) {
                x = new VarExt;
                x->A = rng() % 4 == 0 ? 1u : 2u;
            }
            t.addAttrib(VarExtKey(i / 2 * 4, i % 2 ? 2u : 1u), x);
        }
    }
};

Model& model()
{
    static Model m;
    return m;
}

uint32_t bareWalk(CAttribTable::const_iterator it, CAttribTable::const_iterator end, uint32_t cfg, uint32_t trueA)
{
    uint32_t hits = 0;
    for (; it != end; ++it) {
        if (!it->first.covers(cfg) || !it->second) continue;
        const VarExt& x = *it->second;
        hits += CBOFrameTypeVarCont::checkAttr(x.A, trueA, 0, x.ATO1, 0, 0, x.ATO2, 0, 0, x.G, 0, 0) == 0;
    }
    return hits;
}

void BM_FindAddrByAttr(benchmark::State& state)
{
    Model& m = model();
    for (auto _ : state) {
        BoIdList found;
        benchmark::DoNotOptimize(m.t.findAddrByAttr(1, 0, 0, 0, 0, 0, 0, &found, 1, 0));
    }
}
BENCHMARK(BM_FindAddrByAttr);

void BM_FindAddrByAttrFloor(benchmark::State& state)
{
    Model& m = model();
    const CAttribTable& t = m.t.attribTable();
    for (auto _ : state) benchmark::DoNotOptimize(bareWalk(t.begin(), t.end(), 1, 1));
}
BENCHMARK(BM_FindAddrByAttrFloor);

void BM_CheckForAttr(benchmark::State& state)
{
    Model& m = model();
    std::mt19937 rng(5);
    for (auto _ : state) {
        const uint32_t from = rng() % (kEntries * 2) & ~3u, to = from + 64 * 4;
        // No record carries bit 2: every range is walked to its end.
        benchmark::DoNotOptimize(m.t.checkForAttr(from, to, 1, 4, 0, 0, 0, 0, 0, 0, 0));
    }
}
BENCHMARK(BM_CheckForAttr);

void BM_CheckForAttrFloor(benchmark::State& state)
{
    Model& m = model();
    const CAttribTable& t = m.t.attribTable();
    std::mt19937 rng(5);
    for (auto _ : state) {
        const uint32_t from = rng() % (kEntries * 2) & ~3u, to = from + 64 * 4;
        auto it = t.lower_bound(VarExtKey(int32_t(from), 1));
        auto end = t.upper_bound(VarExtKey(int32_t(to), 0xFFFFFFFFu));
        benchmark::DoNotOptimize(bareWalk(it, end, 1, 4));
    }
}
BENCHMARK(BM_CheckForAttrFloor);

}  // namespace
