// Reading generated ACX files into the pre-compiler's tag tree, beside a
// bare read of the same bytes and the reader alone (a handler that keeps
// nothing). One root can hold at most 8 MB (the format's 23-bit length), so
// the 50 MB case reads six files of the largest size into six trees held
// at once; its counters give the tree memory and the process's peak memory.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "tests/acx/AcxTestWriter.h"
#include "tools/md/tavolin/MdAcxHandlers.h"

namespace {

using namespace acxtest;

// The largest file one root can make: groups of numbers, strings and a
// nested compound, as a configuration export would hold them.
const std::string& largeFile()
{
    static const std::string path = [] {
        Bytes payload;
        const size_t limit = 0x7FFFFF - 256;
        for (uint32_t g = 0; payload.size() < limit - 200; ++g) {
            const Bytes group = compound(2144, {u32(1, g), i16(2, -int16_t(g)), r64(3, g * 0.5), u8(4, 1),
                                                str(67, "Achse " + std::to_string(g)), r32(5, 1.5f),
                                                compound(2147, {str(2121, "5A3C2E108B414C7D9E2F1A6B3C4D5E60"),
                                                                u8(2122, 2), u8(2123, 1)})});
            append(payload, group);
        }
        Bytes f = fileHeader();
        append(f, tag(0, AcxTypeCompound, payload));
        const std::string p = "/tmp/tavolin_bench_" + std::to_string(getpid()) + ".acx";
        writeFile(p, f);
        // Removed at exit through a path that outlives every destructor.
        static char kept[64];
        std::snprintf(kept, sizeof kept, "%s", p.c_str());
        std::atexit([] { std::remove(kept); });
        return p;
    }();
    return path;
}

int64_t fileSize(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    const int64_t n = std::ftell(f);
    std::fclose(f);
    return n;
}

struct Quiet : CAcxErrorHandlerBase {
    void warning(int32_t) override {}
    void error(int32_t) override { ++count; }
    void fatal(int32_t) override { ++count; }
    int count = 0;
};

struct Nothing : CAcxContentHandlerBase {
    void startDocument(bool) override {}
    void beginTag(const AcxTagInfo&) override {}
    void value(int32_t, const uint8_t*) override {}
    void stringBuffer(const AcxTagInfo&, char*&, uint32_t&) override {}
    void stringData(const char*, uint32_t) override {}
    void endTag(const AcxTagInfo&) override {}
    int32_t endDocument() override { return 0; }
};

bool readInto(const std::string& path, CAcxContentHandlerBase& content)
{
    CAcxReader reader;
    CAcxFileSystem fs;
    Quiet errors;
    wireReader(reader, fs, errors, content);
    return reader.read(path.c_str()) && errors.count == 0;
}

void BM_AcxReadIntoTree(benchmark::State& state)
{
    const std::string& path = largeFile();
    for (auto _ : state) {
        CMDAcxContentHandler content;
        if (!readInto(path, content)) state.SkipWithError("read reported errors");
        benchmark::DoNotOptimize(content.getRootTag());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize(path));
}
BENCHMARK(BM_AcxReadIntoTree)->Unit(benchmark::kMillisecond);

// Six largest files (50 MB) into six trees held at once.
void BM_AcxRead50MBIntoTrees(benchmark::State& state)
{
    const std::string& path = largeFile();
    size_t treeBytes = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        std::vector<std::unique_ptr<CMDAcxContentHandler>> trees;
        for (int i = 0; i < 6; ++i) {
            trees.push_back(std::make_unique<CMDAcxContentHandler>());
            if (!readInto(path, *trees.back())) state.SkipWithError("read reported errors");
        }
        treeBytes = mallinfo2().uordblks - before;
    }
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.SetBytesProcessed(int64_t(state.iterations()) * 6 * fileSize(path));
    state.counters["file_MB"] = 6.0 * double(fileSize(path)) / (1 << 20);
    state.counters["tree_MB"] = double(treeBytes) / (1 << 20);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_AcxRead50MBIntoTrees)->Unit(benchmark::kMillisecond)->Iterations(3);

// The reader's own cost: every tag reported, nothing kept.
void BM_AcxReadOnly(benchmark::State& state)
{
    const std::string& path = largeFile();
    for (auto _ : state) {
        Nothing content;
        if (!readInto(path, content)) state.SkipWithError("read reported errors");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize(path));
}
BENCHMARK(BM_AcxReadOnly)->Unit(benchmark::kMillisecond);

// Floor: the same bytes read through stdio in 64 KB chunks.
void BM_BareRead(benchmark::State& state)
{
    const std::string& path = largeFile();
    std::vector<char> chunk(1 << 16);
    for (auto _ : state) {
        FILE* f = std::fopen(path.c_str(), "rb");
        size_t total = 0, n;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) total += n;
        std::fclose(f);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * fileSize(path));
}
BENCHMARK(BM_BareRead)->Unit(benchmark::kMillisecond);

}  // namespace
