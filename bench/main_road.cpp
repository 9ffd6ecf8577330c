// The main road as a user drives it: `tavolin compile` of a generated source
// into an existing and into a new target, beside two floors measured in the
// same run over the same bytes - a bare flex scanner with full tables that
// counts the lines, and libgsf alone writing the working file's streams into
// a compound file. Prints the ratios of the compiles to the sum of the
// floors, and the time of a run with next to nothing to do (starting the
// command and loading the library, which the floors do not pay).
//
//   bench_main_road [--sizes=1,10,100] [benchmark options]
//   bench_main_road --write-source FILE MB     a grown source of MB megabytes
//   bench_main_road --write-blank FILE MB      MB of blank lines, then sections
//   bench_main_road --working-size SOURCE HOST bytes of the working file the
//                                              entry method makes over HOST
#include <benchmark/benchmark.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/main_road_source.h"
#include "bench/ratio_reporter.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

extern char** environ;

// The floor scanner (main_road_floor.lpp): lines of the file, -1 unreadable.
long mainroadFloorScan(const char* path);

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";

std::string scratchPath(const std::string& name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tv_main_road_" + std::to_string(::getpid()) + "_" + name;
}

std::string axisExample()
{
    return mainroad::readText(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
}

bool writeFile(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// The generated sources of this run by size.
std::map<int, std::string>& sourceFiles()
{
    static std::map<int, std::string> files;
    return files;
}

// The generated source of mb megabytes, written once per run.
const std::string& sourceFile(int mb)
{
    std::map<int, std::string>& files = sourceFiles();
    auto it = files.find(mb);
    if (it != files.end()) return it->second;
    const std::string path = scratchPath(std::to_string(mb) + ".tos");
    writeFile(path, mainroad::grownSource(axisExample(), std::size_t(mb) << 20));
    return files.emplace(mb, path).first->second;
}

// Runs the command with its output dropped; true when it ran to an end
// (its exit status tells of the sections it lacks, not of a failure here).
bool runCompile(const std::string& source, const std::string& target)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(kTavolin.c_str()), const_cast<char*>("compile"),
                               const_cast<char*>(source.c_str()), const_cast<char*>("-o"),
                               const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, kTavolin.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

// Compiles the source again and again into a target made by a first compile.
void compileIntoExisting(benchmark::State& state, const std::string& source, const char* targetName)
{
    const std::string target = scratchPath(targetName);
    ::unlink(target.c_str());
    if (!runCompile(source, target)) state.SkipWithError("the first compile failed");
    for (auto _ : state)
        if (!runCompile(source, target)) state.SkipWithError("compile failed");
    ::unlink(target.c_str());
}

void BM_CompileExisting(benchmark::State& state, int mb)
{
    compileIntoExisting(state, sourceFile(mb), "existing.dsc");
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_CompileNew(benchmark::State& state, int mb)
{
    const std::string& source = sourceFile(mb);
    const std::string target = scratchPath("new.dsc");
    for (auto _ : state) {
        state.PauseTiming();
        ::unlink(target.c_str());
        state.ResumeTiming();
        if (!runCompile(source, target)) state.SkipWithError("compile failed");
    }
    ::unlink(target.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

// The cost of a run that has next to nothing to do (the axis example into
// an existing target): starting the command and loading the library, which
// the in-process floors do not pay.
void BM_CompileExample(benchmark::State& state)
{
    compileIntoExisting(state, std::string(TV_SOURCE_DIR) + "/examples/axis.tos", "example.dsc");
}

void BM_FloorFlexScan(benchmark::State& state, int mb)
{
    const std::string& source = sourceFile(mb);
    for (auto _ : state) {
        const long lines = mainroadFloorScan(source.c_str());
        if (lines < 0) state.SkipWithError("source unreadable");
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

// The temporary streams the split makes of the source, by name.
std::vector<std::pair<std::string, std::string>> workingStreams(const std::string& path)
{
    std::istringstream in(mainroad::readText(path));
    MdStringSectionSink sink;
    MdSectionSplitter split;
    split.split(in, sink, nullptr, 0);
    std::vector<std::pair<std::string, std::string>> out;
    for (int i = 0; i < MdTmpCount; ++i) out.emplace_back(mdTmpStreamName(i), sink.stream(i));
    return out;
}

void BM_FloorGsfWrite(benchmark::State& state, int mb)
{
    const auto streams = workingStreams(sourceFile(mb));
    const std::string file = scratchPath("floor.cf");
    gsf_init();
    for (auto _ : state) {
        GsfOutput* sink = gsf_output_stdio_new(file.c_str(), nullptr);
        GsfOutfile* out = sink ? gsf_outfile_msole_new(sink) : nullptr;
        if (!out) {
            state.SkipWithError("libgsf cannot write");
            if (sink) g_object_unref(sink);
            break;
        }
        for (const auto& s : streams) {
            GsfOutput* child = gsf_outfile_new_child(out, s.first.c_str(), FALSE);
            gsf_output_write(child, s.second.size(), reinterpret_cast<const guint8*>(s.second.data()));
            gsf_output_close(child);
            g_object_unref(child);
        }
        gsf_output_close(GSF_OUTPUT(out));
        g_object_unref(out);
        g_object_unref(sink);
    }
    ::unlink(file.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

// Keeps the seconds per iteration of every run by its name; with
// repetitions, their median.
int toolMode(int argc, char** argv)
{
    const std::string mode = argv[1];
    if ((mode == "--write-source" || mode == "--write-blank") && argc == 4) {
        const std::size_t bytes = std::size_t(std::atof(argv[3]) * double(1 << 20));
        const std::string text = mode == "--write-source" ? mainroad::grownSource(axisExample(), bytes)
                                                          : mainroad::blankLinesSource(axisExample(), bytes);
        return writeFile(argv[2], text) ? 0 : 1;
    }
    if (mode == "--working-size" && argc == 4) {
        IStorage* stg = nullptr;
        if (FAILED(StgOpenStorage(tvp::utf8ToWide(argv[3]).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  nullptr, 0, &stg)))
            return 1;
        FsFileMan work;
        String workPath;
        std::unique_ptr<FsSectMan> target;
        MdWorkState state;
        state.workFile = &work;
        state.workPath = &workPath;
        state.target = &target;
        int32_t status = 0;
        mdOpenWorkingSource(argv[2], stg, 0, state, status);
        work.CloseFile();
        target.reset();
        stg->Release();
        struct stat st;
        const bool ok = !workPath.empty() && ::stat(workPath.c_str(), &st) == 0;
        if (ok) std::printf("%lld\n", static_cast<long long>(st.st_size));
        if (!workPath.empty()) ::unlink(workPath.c_str());
        return ok ? 0 : 1;
    }
    std::fprintf(stderr, "usage: see the head of bench/main_road.cpp\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strncmp(argv[1], "--write-", 8) == 0) return toolMode(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--working-size") == 0) return toolMode(argc, argv);

    std::vector<int> sizes = {10};
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--sizes=", 8) == 0) {
            sizes.clear();
            std::istringstream list(argv[i] + 8);
            for (std::string s; std::getline(list, s, ',');)
                if (std::atoi(s.c_str()) > 0) sizes.push_back(std::atoi(s.c_str()));
        } else {
            rest.push_back(argv[i]);
        }
    }
    benchmark::RegisterBenchmark("CompileExample", BM_CompileExample)->Unit(benchmark::kMillisecond)->UseRealTime();
    for (int mb : sizes) {
        const std::string n = "/" + std::to_string(mb) + "MB";
        benchmark::RegisterBenchmark(("FloorFlexScan" + n).c_str(), BM_FloorFlexScan, mb)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("FloorGsfWrite" + n).c_str(), BM_FloorGsfWrite, mb)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("CompileExisting" + n).c_str(), BM_CompileExisting, mb)->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark(("CompileNew" + n).c_str(), BM_CompileNew, mb)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double fixed = reporter.at("CompileExample/real_time");
    if (fixed > 0) std::printf("a run with next to nothing to do (the axis example): %.1f ms\n", fixed * 1e3);
    for (int mb : sizes) {
        const std::string s = "/" + std::to_string(mb) + "MB/real_time";
        auto at = [&](const char* name) { return reporter.at(name + s); };
        const double floor = at("FloorFlexScan") + at("FloorGsfWrite");
        if (floor <= 0) continue;
        std::printf("%4d MB: floor %.1f ms (scan %.1f + libgsf %.1f); existing target %.2fx, new target %.2fx\n", mb,
                    floor * 1e3, at("FloorFlexScan") * 1e3, at("FloorGsfWrite") * 1e3,
                    at("CompileExisting") / floor, at("CompileNew") / floor);
    }
    for (const auto& f : sourceFiles()) ::unlink(f.second.c_str());
    benchmark::Shutdown();
    return 0;
}
