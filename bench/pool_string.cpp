// Pool allocation against the heap, and String building and searching
// against std::string as a reference.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/falloc/AllocPool.h"
#include "co/tvstring.h"

namespace {

struct PooledNode : CAllocPool<128> {
    PooledNode* next = nullptr;
    int payload[6] = {};
};

struct HeapNode {
    virtual ~HeapNode() = default;
    HeapNode* next = nullptr;
    int payload[6] = {};
};

template <class Node>
void allocFreeBatch(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::vector<Node*> nodes(size_t(n), nullptr);
    for (auto _ : state) {
        for (int i = 0; i < n; ++i) nodes[size_t(i)] = new Node();
        benchmark::DoNotOptimize(nodes.data());
        for (int i = 0; i < n; ++i) delete nodes[size_t(i)];
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_PooledObjectNewDelete(benchmark::State& s) { allocFreeBatch<PooledNode>(s); }
void BM_HeapObjectNewDelete(benchmark::State& s) { allocFreeBatch<HeapNode>(s); }
BENCHMARK(BM_PooledObjectNewDelete)->Arg(1)->Arg(1000);
BENCHMARK(BM_HeapObjectNewDelete)->Arg(1)->Arg(1000);

void BM_PoolBlockAllocate(benchmark::State& state)
{
    CAllocPoolImpl* pool = tvfalloc::poolForSize(size_t(state.range(0)));
    std::vector<void*> blocks(1000);
    for (auto _ : state) {
        for (auto& b : blocks) b = pool->allocate(size_t(state.range(0)));
        benchmark::DoNotOptimize(blocks.data());
        for (auto* b : blocks) pool->deallocate(b);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_HeapBlockAllocate(benchmark::State& state)
{
    std::vector<void*> blocks(1000);
    for (auto _ : state) {
        for (auto& b : blocks) b = ::operator new(size_t(state.range(0)));
        benchmark::DoNotOptimize(blocks.data());
        for (auto* b : blocks) ::operator delete(b);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_PoolBlockAllocate)->Arg(16)->Arg(64)->Arg(120);
BENCHMARK(BM_HeapBlockAllocate)->Arg(16)->Arg(64)->Arg(120);

void BM_StringAppendChar(benchmark::State& state)
{
    for (auto _ : state) {
        String s;
        for (int i = 0; i < state.range(0); ++i) s += char('a' + i % 26);
        benchmark::DoNotOptimize(s.chars());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_StdStringAppendChar(benchmark::State& state)
{
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < state.range(0); ++i) s += char('a' + i % 26);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringAppendChar)->Arg(16)->Arg(1000);
BENCHMARK(BM_StdStringAppendChar)->Arg(16)->Arg(1000);

void BM_StringAppendWords(benchmark::State& state)
{
    for (auto _ : state) {
        String s;
        for (int i = 0; i < 200; ++i) s += "token ";
        benchmark::DoNotOptimize(s.chars());
    }
}
BENCHMARK(BM_StringAppendWords);

void BM_StringCopySmall(benchmark::State& state)
{
    String src("SystemVariable_17");
    for (auto _ : state) {
        String copy(src);
        benchmark::DoNotOptimize(copy.chars());
    }
}
BENCHMARK(BM_StringCopySmall);

std::string haystack()
{
    std::string text;
    for (int i = 0; i < 400; ++i) text += "VAR_INPUT x : INT; END_VAR ";
    text += "NEEDLE_42";
    return text;
}

void BM_StringSearch(benchmark::State& state)
{
    String text(haystack().c_str());
    for (auto _ : state) benchmark::DoNotOptimize(text.search("NEEDLE_42"));
    state.SetBytesProcessed(state.iterations() * text.length());
}

void BM_StdStringSearch(benchmark::State& state)
{
    std::string text = haystack();
    for (auto _ : state) benchmark::DoNotOptimize(text.find("NEEDLE_42"));
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}

void BM_StringSearchBackward(benchmark::State& state)
{
    String text(haystack().c_str());
    for (auto _ : state) benchmark::DoNotOptimize(text.search("VAR_INPUT", -1));
}

void BM_StringGsub(benchmark::State& state)
{
    std::string base = haystack();
    for (auto _ : state) {
        String text(base.c_str());
        benchmark::DoNotOptimize(text.gsub("INT", "DINT"));
    }
}
BENCHMARK(BM_StringSearch);
BENCHMARK(BM_StdStringSearch);
BENCHMARK(BM_StringSearchBackward);
BENCHMARK(BM_StringGsub);

}  // namespace
