// The boot-function method on large sections: a generated source of 1 000
// boot functions and 50 000 declarations (1x) and one four times larger
// (4x), compiled through mdCompileBootFunctions (the comment step, both
// runs of the compiler with their descriptor and macro files, the error
// texts) into a working file, beside the split of the same source as its
// floor. Targets: the method grows from 1x to 4x no more than 1.25 times as
// much as the split does (linear), and so does its peak memory, measured in
// a fresh process per scale over one that only opens the source.
//
//   bench_bf_compile [benchmark options]
//   bench_bf_compile --write-source SCALE FILE   writes the generated source
//   bench_bf_compile --compile-once N            one compile of N boot functions
//   bench_bf_compile --open-once N               only the opening of that source
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

#include "bench/bf_source.h"
#include "bench/ratio_reporter.h"
#include "co/GlobTools.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

// The source of scale * 1 000 boot functions; a negative scale -n stands for
// n boot functions (for measuring by hand).
const std::string& sourceText(int scale)
{
    static std::map<int, std::string> texts;
    std::string& s = texts[scale];
    if (s.empty()) s = scale < 0 ? bfbench::sourceOf(-scale) : bfbench::source(scale);
    return s;
}

// The source written to a file, the working file the entry method makes of
// it, and the macro files of the method; all removed at the end.
class Opened {
public:
    explicit Opened(int scale)
        : m_source(createTempName(true).c_str()), m_macros(createTempName(true).c_str())
    {
        std::ofstream(m_source, std::ios::binary) << sourceText(scale);
        // The sections the method writes, as a technology-object target holds them.
        m_host.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY);
        for (const char* name : {"bfvarcomment", "bfinterf", "bfsymb", "boot"})
            if (m_host.getSect(name, FS_MODE_WRITE)) m_host.CloseSect(name);
        MdWorkState state;
        state.workFile = &m_work;
        state.workPath = &m_workPath;
        state.target = &m_target;
        state.objectKind = &m_kind;
        int32_t status = -1;
        m_ok = mdOpenWorkingSource(m_source.c_str(), m_host.storage(), 0, state, status) == S_OK && status == 0;
    }
    ~Opened()
    {
        m_target.reset();
        if (m_work.hasStorage()) m_work.CloseFile();
        for (const std::string& f : {std::string(m_workPath.c_str()), m_source, m_macros, m_macros + ".m4h",
                                     m_macros + ".m4c"})
            if (!f.empty()) ::unlink(f.c_str());
    }
    bool ok() const { return m_ok; }

    // The boot-function method with its counter at 0; its status.
    int32_t compile()
    {
        MdFrontContext ctx;
        ctx.workFile = &m_work;
        ctx.objectKind = m_kind;
        ctx.stringCounter = &m_counter;
        ctx.sourcePath = String(m_source.c_str());
        ctx.flag = false;  // the stand-in classifier beside this program
        m_counter = 0;
        int32_t status = -1;
        if (mdCompileBootFunctions(ctx, String(m_macros.c_str()), {}, String("bench"), String("/dev/null"), status) !=
            S_OK)
            return -1;
        return status;
    }

private:
    std::string m_source, m_macros;
    FsFileMan m_host, m_work;
    String m_workPath;
    std::unique_ptr<FsSectMan> m_target;
    int32_t m_kind = -1;
    int32_t m_counter = 0;
    bool m_ok = false;
};

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
// the source of the scale and, when compile is set, runs the method once
// (--open-once / --compile-once); -1 when it failed.
long peakKb(int scale, bool compile)
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return -1;
    self[n] = 0;
    const std::string functions = std::to_string(scale * bfbench::kFunctionsPerScale);
    char* argv[] = {self, const_cast<char*>(compile ? "--compile-once" : "--open-once"),
                    const_cast<char*>(functions.c_str()), nullptr};
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
    const int scale = argc == 4 ? std::atoi(argv[2]) : 0;
    if (scale < 1 || scale > 4) {
        std::fprintf(stderr, "usage: bench_bf_compile --write-source SCALE(1-4) FILE\n");
        return 2;
    }
    std::ofstream out(argv[3], std::ios::binary);
    out << sourceText(scale);
    return out.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--write-source") == 0) return writeSource(argc, argv);
    const bool once = argc == 3 && std::strcmp(argv[1], "--compile-once") == 0;
    if (once || (argc == 3 && std::strcmp(argv[1], "--open-once") == 0)) {
        Opened opened(-std::max(1, std::atoi(argv[2])));
        const int32_t status = !opened.ok() ? -1 : once ? opened.compile() : 0;
        std::printf("status 0x%08X\n", unsigned(status));
        return status == 0 ? 0 : 1;
    }
    // The peaks first, while this process is small: a spawned child shares
    // its parent's memory until it executes, so its peak is never below the
    // parent's, which the benchmarks below raise to hundreds of MB.
    std::string peakLine;
    if (mdCompilerBuilt(MdCompBootFkt)) {
        const long open1 = peakKb(1, false), open4 = peakKb(4, false);
        const long peak1 = peakKb(1, true), peak4 = peakKb(4, true);
        if (open1 > 0 && open4 > 0 && peak1 > 0 && peak4 > 0) {
            const double d1 = double(peak1 - open1), d4 = double(peak4 - open4);
            char line[256];
            std::snprintf(line, sizeof line,
                          "peak memory: opening 1x %ld kB, 4x %ld kB; method on top 1x %.0f kB, 4x %.0f kB; "
                          "growth %.2f (source 4.00; target <= 5.00)\n",
                          open1, open4, d1, d4, d1 > 0 ? d4 / d1 : 0.0);
            peakLine = line;
        } else {
            peakLine = "peak memory: a child failed\n";
        }
    }
    for (int scale : {1, 4}) {
        const std::string n = "/" + std::to_string(scale) + "x";
        benchmark::RegisterBenchmark(("SplitSource" + n).c_str(), BM_SplitSource)
            ->Arg(scale)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("CompileBootFunctions" + n).c_str(), BM_CompileBootFunctions)
            ->Arg(scale)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto at = [&](const std::string& name, int scale) {
        return reporter.at(name + "/" + std::to_string(scale) + "x/" + std::to_string(scale) + "/real_time");
    };
    const double split1 = at("SplitSource", 1), split4 = at("SplitSource", 4);
    const double comp1 = at("CompileBootFunctions", 1), comp4 = at("CompileBootFunctions", 4);
    if (split1 > 0 && split4 > 0 && comp1 > 0 && comp4 > 0) {
        std::printf("time: 1x %.2fx the split, 4x %.2fx; growth 1x -> 4x: method %.2f, split %.2f, "
                    "relative %.2f (target <= 1.25)\n",
                    comp1 / split1, comp4 / split4, comp4 / comp1, split4 / split1, (comp4 / comp1) / (split4 / split1));
    }
    std::fputs(peakLine.c_str(), stdout);
    benchmark::Shutdown();
    return 0;
}
