// Resolving 1,000 technology-object names against a fake project of about
// 5,000 objects (50 devices with 99 objects each), beside a floor of one
// direct host lookup per name (the host's own name search over the whole
// project, with the name scanned once). Counters: host calls per name.
// Target: resolving stays below 100 times the floor (about 45 when written).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/st/symacc/SyTONameParser.h"
#include "tests/fakehost/FakeHost.h"

namespace {

struct Project {
    fakehost::FakeProject p;
    std::vector<ESObjectID> units;
    std::vector<std::string> names;

    Project()
    {
        p.logCalls = false;
        const int devices = 50, perDevice = 99;
        for (int d = 0; d < devices; ++d) {
            ESObjectID dev = p.addDevice("Dev" + std::to_string(d), WORD(d + 1));
            ESObjectID folder = p.addObject("Folder", PmObjCl_Inner, dev);
            units.push_back(p.addObject("Unit", PmObjCl_Inner, folder));
            for (int t = 0; t < perDevice - 2; ++t) p.addTO(dev, "T" + std::to_string(t), WORD(t + 1));
        }
        for (int i = 0; i < 1000; ++i) {
            int d = i % devices, t = (i * 7) % (perDevice - 2);
            switch (i % 3) {
            case 0: names.push_back("T" + std::to_string(t)); break;
            case 1: names.push_back("Dev" + std::to_string((d + 1) % devices) + ".T" + std::to_string(t)); break;
            default: names.push_back("_project.Dev" + std::to_string(d) + "._to.T" + std::to_string(t)); break;
            }
        }
    }
};

Project& project()
{
    static Project pr;
    return pr;
}

void BM_ResolveNames(benchmark::State& state)
{
    Project& pr = project();
    IUnknown* nav = pr.p.navigation();
    pr.p.clearCallLog();
    size_t resolved = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < pr.names.size(); ++i) {
            IUnknown* unit = pr.p.identity(pr.units[i % pr.units.size()]);
            ESObjectID id;
            resolved += CTONameParser(nav, unit).parse(String(pr.names[i].c_str()), id) == 0;
        }
    }
    double names = double(state.iterations()) * double(pr.names.size());
    state.counters["calls_per_name"] = double(pr.p.callCount()) / names;
    state.counters["resolved"] = double(resolved) / double(state.iterations());
}

void BM_FloorDirectLookup(benchmark::State& state)
{
    Project& pr = project();
    ComPtr<IMC_ProjectNavigate> nav = queryHostInterface<IMC_ProjectNavigate>(pr.p.navigation());
    for (auto _ : state) {
        for (const std::string& n : pr.names) {
            SyVarScannerFlexLexer s;
            s.setText(n.data(), n.size());
            while (s.yylex() != 0) {
            }
            DWORD count = 0, ret = 0;
            ESObjectID* ids = nullptr;
            nav->getObjectIdListByNameAndClass(s.name.chars(), PmObjCl_TObject, &count, &ids, &ret);
            CoTaskMemFree(ids);
        }
    }
}

}  // namespace

BENCHMARK(BM_FloorDirectLookup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResolveNames)->Unit(benchmark::kMillisecond);
