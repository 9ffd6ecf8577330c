// Integer literals (read, range-check, convert) and content hashing, the two
// hot uses of the big integer and the hash accumulator.
#include <benchmark/benchmark.h>

#include <vector>

#include "co/CoCrypt.h"
#include "co/Integer.h"

static void BM_IntegerLiteral(benchmark::State& state)
{
    const char* literals[] = {"0", "42", "-2147483648", "ffffffff", "123456789012"};
    const int bases[] = {10, 10, 10, 16, 10};
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i) {
            Integer v = Integer::fromString(literals[i], bases[i]);
            benchmark::DoNotOptimize(v.fitsLong() ? v.toLong() : 0);
        }
    }
    state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_IntegerLiteral);

static void BM_IntegerSmallArithmetic(benchmark::State& state)
{
    Integer acc(1);
    for (auto _ : state) {
        acc += 12345;
        acc -= 12344;
        benchmark::DoNotOptimize(acc.compare(0));
    }
}
BENCHMARK(BM_IntegerSmallArithmetic);

static void BM_IntegerDivide(benchmark::State& state)
{
    Integer x = Integer::fromString("123456789012345678901234567890123456789012345678901234567890", 10);
    Integer y = Integer::fromString("98765432109876543210987", 10);
    Integer q, r;
    for (auto _ : state) {
        Integer::divide(x, y, q, r);
        benchmark::DoNotOptimize(q.digitCount());
    }
}
BENCHMARK(BM_IntegerDivide);

static void BM_HashVariants(benchmark::State& state)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    for (auto _ : state) {
        CoCryptHashVariant h;
        for (int i = 0; i < 1000; ++i) {
            v.lVal = i;
            h.addVariant(v);
        }
        GUID g;
        benchmark::DoNotOptimize(h.getHashAsGUID(&g));
    }
    state.SetBytesProcessed(state.iterations() * 8000);
}
BENCHMARK(BM_HashVariants);

static void BM_HashBytes(benchmark::State& state)
{
    std::vector<uint8_t> data(size_t(state.range(0)), 0x5A);
    for (auto _ : state) {
        CoCryptHashVariant h;
        for (int i = 0; i < 64; ++i) h.add(data.data(), uint32_t(data.size()));
        GUID g;
        benchmark::DoNotOptimize(h.getHashAsGUID(&g));
    }
    state.SetBytesProcessed(state.iterations() * 64 * state.range(0));
}
BENCHMARK(BM_HashBytes)->Arg(16)->Arg(4096);
