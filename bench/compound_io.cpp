// Writing and reading a 50 MB compound file of 500 streams through the
// section layer (FsFileMan, FsSectMan, FsSecCl), beside libgsf alone on the
// same bytes, plus the text number path of the section stream.
#include <benchmark/benchmark.h>
#include <gsf/gsf.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/fs/FsFileMan.h"
#include "base/fs/FsSecClMem.h"

namespace {

constexpr int kStreams = 500;
constexpr uint32_t kStreamSize = 50u * 1024 * 1024 / kStreams;  // 104857 bytes
constexpr uint32_t kChunk = 4096;

std::string benchPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tv_compound_io_" + std::to_string(getpid()) + "_" + name;
}

const std::vector<char>& payload()
{
    static std::vector<char> data = [] {
        std::vector<char> d(kStreamSize);
        uint32_t x = 12345;
        for (auto& c : d) {
            x = x * 1103515245u + 12345u;
            c = char(x >> 24);
        }
        return d;
    }();
    return data;
}

std::string streamName(int i)
{
    char buf[16];
    std::snprintf(buf, sizeof(buf), "sec%03d", i);
    return buf;
}

void writeWithSections(const std::string& path)
{
    const std::vector<char>& data = payload();
    FsFileMan f;
    if (f.openFile(path.c_str(), FS_OPEN_CREATE) != 0) return;
    for (int i = 0; i < kStreams; ++i) {
        std::string name = streamName(i);
        FsSecCl* s = f.getSect(name.c_str(), FS_MODE_WRITE);
        for (uint32_t pos = 0; pos < kStreamSize; pos += kChunk)
            s->writeBytes(data.data() + pos, std::min(kChunk, kStreamSize - pos));
        f.CloseSect(name.c_str());
    }
    f.CloseFile();
}

uint64_t readWithSections(const std::string& path)
{
    std::vector<char> buf(kChunk);
    uint64_t sum = 0;
    FsFileMan f;
    if (f.openFile(path.c_str(), 0) != 0) return 0;
    for (int i = 0; i < kStreams; ++i) {
        std::string name = streamName(i);
        FsSecCl* s = nullptr;
        if (f.openSect(name.c_str(), &s, 0) != 0) continue;
        for (uint32_t pos = 0; pos < s->getSize(); pos += kChunk) {
            uint32_t n = std::min(kChunk, s->getSize() - pos);
            s->readBytes(buf.data(), n);
            sum += uint8_t(buf[0]);
        }
        f.CloseSect(name.c_str());
    }
    f.CloseFile();
    return sum;
}

void writeWithGsf(const std::string& path)
{
    const std::vector<char>& data = payload();
    GError* err = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(path.c_str(), &err);
    if (!sink) {
        if (err) g_error_free(err);
        return;
    }
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    g_object_unref(sink);
    for (int i = 0; i < kStreams; ++i) {
        GsfOutput* child = gsf_outfile_new_child(root, streamName(i).c_str(), FALSE);
        for (uint32_t pos = 0; pos < kStreamSize; pos += kChunk)
            gsf_output_write(child, std::min(kChunk, kStreamSize - pos),
                             reinterpret_cast<const guint8*>(data.data() + pos));
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(root));
    g_object_unref(root);
}

uint64_t readWithGsf(const std::string& path)
{
    std::vector<guint8> buf(kChunk);
    uint64_t sum = 0;
    GError* err = nullptr;
    GsfInput* src = gsf_input_stdio_new(path.c_str(), &err);
    if (!src) {
        if (err) g_error_free(err);
        return 0;
    }
    GsfInfile* root = gsf_infile_msole_new(src, &err);
    g_object_unref(src);
    if (!root) {
        if (err) g_error_free(err);
        return 0;
    }
    int n = gsf_infile_num_children(root);
    for (int i = 0; i < n; ++i) {
        GsfInput* child = gsf_infile_child_by_index(root, i);
        gsf_off_t size = gsf_input_size(child);
        for (gsf_off_t pos = 0; pos < size; pos += kChunk) {
            size_t len = size_t(std::min<gsf_off_t>(kChunk, size - pos));
            gsf_input_read(child, len, buf.data());
            sum += buf[0];
        }
        g_object_unref(child);
    }
    g_object_unref(root);
    return sum;
}

void BM_SectionsWrite50MB(benchmark::State& state)
{
    std::string path = benchPath("sections.cf");
    for (auto _ : state) writeWithSections(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * kStreams * kStreamSize);
    unlink(path.c_str());
}

void BM_SectionsRead50MB(benchmark::State& state)
{
    std::string path = benchPath("sections_read.cf");
    writeWithSections(path);
    for (auto _ : state) benchmark::DoNotOptimize(readWithSections(path));
    state.SetBytesProcessed(int64_t(state.iterations()) * kStreams * kStreamSize);
    unlink(path.c_str());
}

void BM_GsfWrite50MB(benchmark::State& state)
{
    std::string path = benchPath("gsf.cf");
    for (auto _ : state) writeWithGsf(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * kStreams * kStreamSize);
    unlink(path.c_str());
}

void BM_GsfRead50MB(benchmark::State& state)
{
    // The same bytes as the section benchmarks read: a file written by them.
    std::string path = benchPath("gsf_read.cf");
    writeWithSections(path);
    for (auto _ : state) benchmark::DoNotOptimize(readWithGsf(path));
    state.SetBytesProcessed(int64_t(state.iterations()) * kStreams * kStreamSize);
    unlink(path.c_str());
}

BENCHMARK(BM_SectionsWrite50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GsfWrite50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SectionsRead50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GsfRead50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One million text numbers written and read back in a memory section.
void BM_TextNumbers(benchmark::State& state)
{
    const uint32_t count = 1000000;
    for (auto _ : state) {
        FsSecClMem s;
        for (uint32_t i = 0; i < count; ++i) {
            s << i * 2654435761u;
            s.putBlank();
        }
        s.seek(0, 0);
        uint32_t v = 0, sum = 0;
        for (uint32_t i = 0; i < count; ++i) {
            s >> v;
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * count);
}
BENCHMARK(BM_TextNumbers)->Unit(benchmark::kMillisecond);

}  // namespace
