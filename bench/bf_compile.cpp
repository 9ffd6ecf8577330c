// The boot-function method on large sections: grown sources of N boot
// functions (bfbench::grownSourceOf: each with its check block, error text
// and comments; default N = 5 000, 30 000 and 100 000), compiled through
// mdCompileBootFunctions (the comment step, both runs of the compiler with
// their descriptor and macro files, the error texts) into a working file,
// beside a floor measured in the same run: a bare flex scanner with full
// tables over the same source file (main_road_floor.lpp), and the split of
// the source. It prints, per size, the method over the floor, the time per
// boot function against that of the smallest size (linear: 1.00), and the
// peak resident memory of a fresh process that runs the method once over
// the source's size (beyond one that only opens it, and in all).
//
//   bench_bf_compile [--functions=N,N,...] [benchmark options]
//   bench_bf_compile --unique-types [benchmark options]
//                                 the grown source with an enumeration type of
//                                 its own name in each boot function
//   bench_bf_compile --declarations [benchmark options]
//                                 the older source instead: 1 000 and 4 000
//                                 boot functions of 50 declarations each
//   bench_bf_compile --write-source N FILE   writes the grown source of N
//   bench_bf_compile --compile-once N [--unique-types|--declarations]
//                                 one compile of that source
//   bench_bf_compile --open-once N [...]     only the opening of that source
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bf_method.h"
#include "bench/bf_source.h"
#include "bench/ratio_reporter.h"
#include "co/GlobTools.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

// The floor scanner (main_road_floor.lpp): lines of the file, -1 unreadable.
long mainroadFloorScan(const char* path);

namespace {

// The older source (boot functions of 50 declarations) instead of the grown one.
bool g_declarations = false;
// The grown source with an enumeration type of its own name per boot function.
bool g_uniqueTypes = false;

// The source of n boot functions.
const std::string& sourceText(int n)
{
    static std::map<int, std::string> texts;
    std::string& s = texts[n];
    if (s.empty()) s = g_declarations ? bfbench::sourceOf(n) : bfbench::grownSourceOf(n, g_uniqueTypes);
    return s;
}

// The source of n boot functions in a file, removed at the end.
const std::string& sourceFile(int n)
{
    struct Files {
        std::map<int, std::string> paths;
        ~Files()
        {
            for (const auto& p : paths) ::unlink(p.second.c_str());
        }
    };
    static Files files;
    std::string& path = files.paths[n];
    if (path.empty()) {
        path = createTempName(true).c_str();
        std::ofstream(path, std::ios::binary) << sourceText(n);
    }
    return path;
}

// The source of n boot functions opened for the method.
class Opened : public bfbench::OpenedMethod {
public:
    explicit Opened(int functions) : OpenedMethod(sourceText(functions)) {}
};

void BM_FloorFlexScan(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::string& path = sourceFile(n);
    for (auto _ : state) {
        const long lines = mainroadFloorScan(path.c_str());
        if (lines < 0) state.SkipWithError("source unreadable");
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sourceText(n).size()));
}

void BM_SplitSource(benchmark::State& state)
{
    const std::string& src = sourceText(int(state.range(0)));
    for (auto _ : state) {
        std::istringstream in(src);
        MdStringSectionSink sink;
        MdSectionSplitter splitter;
        if (splitter.split(in, sink, nullptr, 0) != 0) state.SkipWithError("split reported errors");
        benchmark::DoNotOptimize(sink.stream(MdTmpBootFkt).size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}

void BM_CompileBootFunctions(benchmark::State& state)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) {
        state.SkipWithError("the boot-function compiler is not built");
        return;
    }
    Opened opened(int(state.range(0)));
    if (!opened.ok()) {
        state.SkipWithError("the source could not be opened");
        return;
    }
    for (auto _ : state) {
        if (opened.compile() != 0) {
            state.SkipWithError("the method did not end with status 0");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sourceText(int(state.range(0))).size()));
}

// Peak resident memory (kB) of a fresh process of this program that opens
// the source of n boot functions and, when compile is set, runs the method
// once (--open-once / --compile-once); -1 when it failed.
long peakKb(int n, bool compile)
{
    char self[4096];
    const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) return -1;
    self[len] = 0;
    const std::string functions = std::to_string(n);
    char* argv[] = {self, const_cast<char*>(compile ? "--compile-once" : "--open-once"),
                    const_cast<char*>(functions.c_str()),
                    const_cast<char*>(g_declarations ? "--declarations" : g_uniqueTypes ? "--unique-types" : nullptr),
                    nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, self, &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (rc != 0) return -1;
    int status = 0;
    struct rusage use;
    if (::wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return use.ru_maxrss;
}

int writeSource(int argc, char** argv)
{
    const int n = argc == 4 ? std::atoi(argv[2]) : 0;
    if (n < 1) {
        std::fprintf(stderr, "usage: bench_bf_compile --write-source FUNCTIONS FILE\n");
        return 2;
    }
    std::ofstream out(argv[3], std::ios::binary);
    out << sourceText(n);
    return out.good() ? 0 : 1;
}

// Takes the bench's own options out of argv.
std::vector<int> takeOptions(int& argc, char** argv)
{
    std::vector<int> sizes;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--declarations") == 0) {
            g_declarations = true;
        } else if (std::strcmp(a, "--unique-types") == 0) {
            g_uniqueTypes = true;
        } else if (std::strncmp(a, "--functions=", 12) == 0) {
            for (const char* p = a + 12; *p;) {
                char* end = nullptr;
                const long n = std::strtol(p, &end, 10);
                if (end == p) break;
                if (n > 0) sizes.push_back(int(n));
                p = *end == ',' ? end + 1 : end;
            }
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (sizes.empty())
        sizes = g_declarations ? std::vector<int>{1000, 4000} : std::vector<int>{5000, 30000, 100000};
    return sizes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--write-source") == 0) return writeSource(argc, argv);
    const bool once = argc >= 3 && std::strcmp(argv[1], "--compile-once") == 0;
    if (once || (argc >= 3 && std::strcmp(argv[1], "--open-once") == 0)) {
        g_declarations = argc >= 4 && std::strcmp(argv[3], "--declarations") == 0;
        g_uniqueTypes = argc >= 4 && std::strcmp(argv[3], "--unique-types") == 0;
        Opened opened(std::max(1, std::atoi(argv[2])));
        const int32_t status = !opened.ok() ? -1 : once ? opened.compile() : 0;
        std::printf("status 0x%08X\n", unsigned(status));
        return status == 0 ? 0 : 1;
    }
    const std::vector<int> sizes = takeOptions(argc, argv);
    // The peaks first, while this process is small: a spawned child shares
    // its parent's memory until it executes, so its peak is never below the
    // parent's, which the benchmarks below raise to hundreds of MB.
    std::map<int, std::pair<long, long>> peaks;  // (opening, method) in kB
    if (mdCompilerBuilt(MdCompBootFkt))
        for (int n : sizes) peaks[n] = {peakKb(n, false), peakKb(n, true)};
    for (int n : sizes) {
        const std::string name = "/" + std::to_string(n);
        RatioReporter::addMinimum(benchmark::RegisterBenchmark(("FloorFlexScan" + name).c_str(), BM_FloorFlexScan)
                                      ->Arg(n)
                                      ->Unit(benchmark::kMillisecond)
                                      ->UseRealTime());
        benchmark::RegisterBenchmark(("SplitSource" + name).c_str(), BM_SplitSource)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("CompileBootFunctions" + name).c_str(), BM_CompileBootFunctions)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto key = [](const std::string& name, int n) {
        return name + "/" + std::to_string(n) + "/" + std::to_string(n) + "/real_time";
    };
    double firstPerFunction = 0;
    for (int n : sizes) {
        const double floor = reporter.best(key("FloorFlexScan", n)), split = reporter.at(key("SplitSource", n));
        const double method = reporter.at(key("CompileBootFunctions", n));
        if (floor <= 0 || method <= 0) continue;
        const double perFunction = method / n;
        if (firstPerFunction <= 0) firstPerFunction = perFunction;
        const double mb = double(sourceText(n).size()) / (1 << 20);
        std::printf("%6d boot functions (%.1f MB): method %.1f ms, %.2fx the scan floor (%.1f ms), %.2fx the split; "
                    "per boot function %.2f us, %.2fx that of %d\n",
                    n, mb, method * 1e3, method / floor, floor * 1e3, split > 0 ? method / split : 0.0,
                    perFunction * 1e6, perFunction / firstPerFunction, sizes.front());
        const auto peak = peaks.find(n);
        if (peak == peaks.end()) continue;
        if (peak->second.first > 0 && peak->second.second > 0)
            std::printf("        peak memory: opening %.1f MB, method %.1f MB (%.2fx the source; %.2fx beyond the "
                        "opening)\n",
                        peak->second.first / 1024.0, peak->second.second / 1024.0,
                        peak->second.second / 1024.0 / mb, (peak->second.second - peak->second.first) / 1024.0 / mb);
        else
            std::printf("        peak memory: a child failed\n");
    }
    benchmark::Shutdown();
    return 0;
}
