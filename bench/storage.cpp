// Structured storage: the costs of the ways the system uses compound files
// - many small sections written and committed, one large section, parsing
// a whole file on open, and growing a stream by small writes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/storage.h"

namespace {

constexpr DWORD kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRO = STGM_READ | STGM_SHARE_EXCLUSIVE;

std::u16string benchPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    std::string p = std::string(dir && *dir ? dir : "/tmp") + "/tv_bench_" + std::to_string(getpid()) + "_" + name;
    return std::u16string(p.begin(), p.end());
}

void writeStream(IStorage* stg, const std::u16string& name, const std::vector<uint8_t>& data)
{
    IStream* s = nullptr;
    if (FAILED(stg->CreateStream(name.c_str(), kRW | STGM_CREATE, 0, 0, &s))) return;
    ULONG w = 0;
    s->Write(data.data(), ULONG(data.size()), &w);
    s->Release();
}

// A file of n sections of the given size, created, written and committed.
void BM_WriteSections(benchmark::State& state)
{
    const size_t count = size_t(state.range(0)), size = size_t(state.range(1));
    std::vector<uint8_t> data(size, 0x5A);
    auto path = benchPath("sections.stg");
    for (auto _ : state) {
        IStorage* root = nullptr;
        StgCreateDocfile(path.c_str(), kRW | STGM_CREATE, 0, &root);
        for (size_t i = 0; i < count; ++i) writeStream(root, u"sec" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                                                 std::u16string(1, char16_t(u'a' + i / 26 % 26)),
                                                       data);
        root->Commit(STGC_DEFAULT);
        root->Release();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(count * size));
    std::string p(path.begin(), path.end());
    unlink(p.c_str());
}
BENCHMARK(BM_WriteSections)->Args({20, 4000})->Args({200, 16384})->Args({1, 8 << 20})->Unit(benchmark::kMillisecond);

// Opening parses the whole file and reads every stream.
void BM_OpenFile(benchmark::State& state)
{
    const size_t size = size_t(state.range(0));
    auto path = benchPath("open.stg");
    {
        IStorage* root = nullptr;
        StgCreateDocfile(path.c_str(), kRW | STGM_CREATE, 0, &root);
        writeStream(root, u"big", std::vector<uint8_t>(size, 1));
        for (int i = 0; i < 50; ++i) writeStream(root, u"s" + std::u16string(1, char16_t(u'0' + i)), std::vector<uint8_t>(3000, 2));
        root->Release();
    }
    for (auto _ : state) {
        IStorage* root = nullptr;
        if (FAILED(StgOpenStorage(path.c_str(), nullptr, kRO, nullptr, 0, &root))) {
            state.SkipWithError("open failed");
            break;
        }
        root->Release();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size + 50 * 3000));
    std::string p(path.begin(), path.end());
    unlink(p.c_str());
}
BENCHMARK(BM_OpenFile)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

// A section written as many small pieces (as a section stream flushes its
// window) must grow in amortised constant time.
void BM_GrowStream(benchmark::State& state)
{
    const size_t piece = size_t(state.range(0));
    const size_t total = 8u << 20;
    std::vector<uint8_t> data(piece, 7);
    for (auto _ : state) {
        ILockBytes* lb = nullptr;
        CreateILockBytesOnHGlobal(nullptr, TRUE, &lb);
        IStorage* root = nullptr;
        StgCreateDocfileOnILockBytes(lb, kRW | STGM_CREATE, 0, &root);
        IStream* s = nullptr;
        root->CreateStream(u"grow", kRW, 0, 0, &s);
        ULONG w = 0;
        for (size_t done = 0; done < total; done += piece) s->Write(data.data(), ULONG(piece), &w);
        s->Release();
        root->Release();
        lb->Release();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
}
BENCHMARK(BM_GrowStream)->Arg(64)->Arg(16384)->Unit(benchmark::kMillisecond);

}  // namespace
