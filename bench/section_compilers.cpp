// The supported-type and implementation compilers on large sections, each
// beside the split of the same source as its floor: compiling a section
// should cost no more than a few times splitting it (target: at most 4x the
// split of the same bytes for either compiler).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "co/GlobTools.h"
#include "tools/md/tavolin/MdImplParser.h"
#include "tools/md/tavolin/MdSectionSplitter.h"
#include "tests/tools/md/tavolin/supp_to_compile.h"
#include "tools/md/tavolin/MdSuppTOParser.h"

namespace {

// A package of about 8 MB: half supported types, half one I/O text block.
const std::string& source()
{
    static const std::string src = [] {
        const std::size_t half = 4u << 20;
        std::string s =
            "TP_HEADER\n  TPTYPE := {3E8A1B72-6D94-4F05-A3C1-8B7D2E4F6A90}, 3.2;\n"
            "  DATE := DT#2024-05-14-11:00:00;\nEND_TP_HEADER\nSUPPORTED_TO_TYPES\n";
        for (unsigned i = 0; s.size() < half; ++i)
            s += "    type" + std::to_string(i) + (i % 2 ? " (" + std::to_string(i) + ")" : std::string()) +
                 " := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\r\n";
        s += "END_SUPPORTED_TO_TYPES\nBEGIN_IO_DATA\nBEGIN_ACT\n";
        for (unsigned i = 0; s.size() < 2 * half; ++i)
            s += "    IO_INPUT(signal" + std::to_string(i) + ", 16#" + std::to_string(i % 1000) + ")\r\n";
        s += "END_ACT\nEND_IO_DATA\n";
        return s;
    }();
    return src;
}

// The temporary streams of the source, split once.
const MdStringSectionSink& streams()
{
    static const MdStringSectionSink sink = [] {
        MdStringSectionSink s;
        std::istringstream in(source());
        MdSectionSplitter splitter;
        splitter.split(in, s, nullptr, 0);
        return s;
    }();
    return sink;
}

void BM_SplitPackage(benchmark::State& state)
{
    for (auto _ : state) {
        std::istringstream in(source());
        MdStringSectionSink sink;
        MdSectionSplitter splitter;
        if (splitter.split(in, sink, nullptr, 0) != 0) state.SkipWithError("split reported errors");
        benchmark::DoNotOptimize(sink.stream(MdTmpSuppTo).size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source().size()));
}
BENCHMARK(BM_SplitPackage)->Unit(benchmark::kMillisecond);

void BM_CompileSupportedTypes(benchmark::State& state)
{
    const std::string& text = streams().stream(MdTmpSuppTo);
    for (auto _ : state) {
        FsTPDscFile dsc;
        dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY);
        std::istringstream in(text);
        MdSuppTOParser p;
        if (compileSuppTO(p, in, &dsc) != 0) state.SkipWithError("compile failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_CompileSupportedTypes)->Unit(benchmark::kMillisecond);

void BM_CompileImplementation(benchmark::State& state)
{
    const std::string& text = streams().stream(MdTmpImpl);
    const std::string dir = createTempDirectory().c_str();
    const std::string base = dir + "/impl";
    for (auto _ : state) {
        std::istringstream in(text);
        MdImplParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.outputBase = String(base.c_str());
        p.init(args);
        if (p.parse() != 0) state.SkipWithError("compile failed");
        state.PauseTiming();
        ::unlink((base + ".m4h").c_str());
        ::unlink((base + ".m4c").c_str());
        state.ResumeTiming();
    }
    removeDirectoryTree(dir.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_CompileImplementation)->Unit(benchmark::kMillisecond);

}  // namespace
