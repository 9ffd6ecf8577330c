// The ACX import of variable values (parseVarExt) of N variables against a
// system-variable table of N symbols, beside the read of the same file into
// the tag tree, its floor. Each variable carries its minimum, default and
// maximum and takes a configuration mask, a unit and its attribute words
// from the file's defaults; the names run "p0".."p65535" and then
// "r0".. (bit 0 of 2138), since parameter numbers are 16 bits wide.
//
// Counters: ratio (import time over read time, the same N), us_per_var
// (import time per variable: flat from 10,000 to 100,000 when the import is
// linear), peak_rss_MB (the process's peak, the tree and the tables of the
// largest N included).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "tests/acx/AcxTestWriter.h"
#include "tests/tools/md/tavolin/acx_import_fixture.h"

namespace {

using namespace acxtest;

struct Input {
    std::string symb;  // the symbol-table section
    std::string path;  // the ACX file
    double readSeconds = 0;
};

std::string nameOf(uint32_t i)
{
    return i < 65536 ? "p" + std::to_string(i) : "r" + std::to_string(i - 65536);
}

double secondsOf(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool readInto(const std::string& path, CMDAcxContentHandler& content)
{
    bool fatal = false;
    return mdReadAcxFile(path.c_str(), content, &fatal) && !fatal && content.getRootTag();
}

const Input& inputOf(uint32_t n)
{
    static std::map<uint32_t, Input> inputs;
    auto it = inputs.find(n);
    if (it != inputs.end()) return it->second;
    Input& in = inputs[n];
    SysVarTable table;
    std::string error;
    for (uint32_t i = 0; i < n; ++i) table.addElementary(10 + i, nameOf(i), ST_DINT, error);
    std::ostringstream symb;
    table.save(symb);
    in.symb = symb.str();

    // The tags every variable shares come as defaults: the whole file must
    // fit one root (8 MB).
    Bytes payload = compound(65, {u32(2137, 0), u16(131, 2), u32(2139, 1), u16(2127, 3), u16(134, 2), u32(2140, 5),
                                  u32(2141, 7)});
    for (uint32_t i = 0; i < n; ++i) {
        std::vector<Bytes> tags{u16(136, uint16_t(i < 65536 ? i : i - 65536)),
                                compound(2116, {compound(2117, {i32(138, 0), i32(140, int32_t(i)), i32(139, 1 << 30)})})};
        if (i >= 65536) tags.push_back(u8(2138, 1));
        append(payload, compound(1037, tags));
    }
    Bytes f = fileHeader();
    append(f, tag(0, AcxTypeCompound, tag(2144, AcxTypeCompound, payload)));
    in.path = "/tmp/tavolin_bench_import_" + std::to_string(getpid()) + "_" + std::to_string(n) + ".acx";
    writeFile(in.path, f);
    // The floor: the best of three reads of the file into the tree.
    in.readSeconds = 1e9;
    for (int r = 0; r < 3; ++r) {
        CMDAcxContentHandler content;
        in.readSeconds = std::min(in.readSeconds, secondsOf([&] { readInto(in.path, content); }));
    }
    return in;
}

void BM_AcxImport(benchmark::State& state)
{
    const uint32_t n = uint32_t(state.range(0));
    const Input& in = inputOf(n);
    CMDAcxContentHandler content;
    if (!readInto(in.path, content)) {
        state.SkipWithError("the file does not read");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FsTODscFile dsc;
        dsc.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY);
        acxfixture::writeSections(dsc, in.symb);
        state.ResumeTiming();
        uint32_t result = 0;
        total += secondsOf([&] { result = CMDAcxParser().parseVarExt(content.getRootTag(), &dsc); });
        if (result != 0) state.SkipWithError("the import failed");
    }
    const double each = total / double(state.iterations());
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["ratio"] = each / in.readSeconds;
    state.counters["us_per_var"] = each * 1e6 / n;
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
    std::remove(in.path.c_str());
}
BENCHMARK(BM_AcxImport)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
