// What fills the stray sections of the benchmarks: a byte repeated, one
// long identifier (small letters and underscores: in the variables section
// it begins no token, in the comment section it is one name), or a stray
// byte between blanks or line ends. Each is refused; the benchmarks set its
// time beside the compile of a valid source of the same size.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "bench/ratio_reporter.h"

namespace strayfill {

struct Fill {
    const char* name;
    std::string_view unit;  // repeated
};
inline constexpr Fill kFills[] = {{"NUL", {"", 1}},           {"'*'", "*"},         {"'E'", "E"},
                                  {"'a'", "a"},               {"identifier", "axis_velocity_limit_"},
                                  {"'?'+blank", "? "},        {"'?'+LF", "?\n"}};

// bytes of the fill.
inline std::string body(const Fill& fill, std::size_t bytes)
{
    if (fill.unit.size() == 1) return std::string(bytes, fill.unit[0]);
    std::string s;
    s.reserve(bytes + fill.unit.size());
    while (s.size() < bytes) s += fill.unit;
    s.resize(bytes);
    return s;
}

// The main of a benchmark program with stray fills: registers
// prefix + fill name for each fill as bench(state, fill), runs every
// benchmark, and prints label and each fill's time over that of the
// benchmark named valid.
template <class Bench>
int mainBesideValid(int argc, char** argv, const std::string& prefix, Bench bench, const std::string& valid,
                    const char* label)
{
    for (const Fill& fill : kFills)
        benchmark::RegisterBenchmark((prefix + fill.name).c_str(), bench, fill)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double t = reporter.at(valid);
    if (t > 0) {
        std::printf("%s (%.1f ms):", label, t * 1e3);
        for (const Fill& fill : kFills) std::printf(" %s %.2fx", fill.name, reporter.at(prefix + fill.name) / t);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace strayfill
