// What fills the stray sections of the benchmarks: a byte repeated, one
// long identifier (small letters and underscores: in the variables section
// it begins no token, in the comment section it is one name), a stray byte
// between blanks or line ends, or garbage of three shapes drawn from a
// fixed seed (any byte; ASCII punctuation; printable ASCII and line feeds),
// where bytes that may begin a token stand every few bytes among the stray
// ones. Each is refused; the benchmarks set its time beside the compile of
// a valid source of the same size.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bench/ratio_reporter.h"

namespace strayfill {

struct Fill {
    const char* name;
    std::string_view unit;  // repeated; for garbage the bytes it is drawn from (all when empty)
    bool random = false;    // garbage: each byte drawn from the unit's
};
// Garbage of the three shapes.
inline constexpr Fill kGarbage[] = {{"random", {}, true},
                                    {"punctuation", "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", true},
                                    {"printable",
                                     " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                     "abcdefghijklmnopqrstuvwxyz{|}~\n",
                                     true}};
inline constexpr Fill kFills[] = {{"NUL", {"", 1}},      {"'*'", "*"},    {"'E'", "E"},
                                  {"'a'", "a"},          {"identifier", "axis_velocity_limit_"},
                                  {"'?'+blank", "? "},   {"'?'+LF", "?\n"}, kGarbage[0],
                                  kGarbage[1],           kGarbage[2]};

// bytes of the fill.
inline std::string body(const Fill& fill, std::size_t bytes)
{
    if (fill.random) {
        // the same bytes in every run and on every machine: a generator of
        // fixed constants (the standard distributions are not portable)
        std::string s(bytes, '\0');
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (char& c : s) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            const unsigned r = unsigned(x >> 24);
            c = fill.unit.empty() ? char(r) : fill.unit[r % fill.unit.size()];
        }
        return s;
    }
    if (fill.unit.size() == 1) return std::string(bytes, fill.unit[0]);
    std::string s;
    s.reserve(bytes + fill.unit.size());
    while (s.size() < bytes) s += fill.unit;
    s.resize(bytes);
    return s;
}

// Garbage of any byte with the begin or end word of a header after every
// thousand bytes of it (TO_HEADER, END_TO_HEADER, DV_TP_HEADER,
// END_TP_HEADER in turn, each between blanks), bytes in all: no header
// among them is whole.
inline std::string withHeaderWords(std::size_t bytes)
{
    static const char* const kWords[] = {" TO_HEADER ", " END_TO_HEADER ", " DV_TP_HEADER ", " END_TP_HEADER "};
    const std::string garbage = body(kGarbage[0], bytes);
    std::string s;
    s.reserve(bytes + 32);
    for (std::size_t n = 0; s.size() < bytes; ++n) {
        s.append(garbage, 1000 * n, 1000);
        s += kWords[n % 4];
    }
    s.resize(bytes);
    return s;
}

// One token of a header that fills the source: between "TO_HEADER" and
// "END_TO_HEADER", lead, the unit repeated, tail. Each is refused (no type
// line, or a token of no header line), having been read whole.
struct HeaderToken {
    const char* name;
    std::string_view lead, unit, tail;
};
inline constexpr HeaderToken kHeaderTokens[] = {
    {"word", "", "AXIS_VELOCITY_LIMIT_", ""},          // capitals: the word rule, no keyword
    {"identifier", "", "axis_velocity_limit_", ""},    // small letters: stray bytes
    {"number", "", "1234567890", ""},                  // past the largest word
    {"guid", "{", "0123456789ABCDEF", ""},             // a GUID literal that never ends
    {"string", "COMMENT := \"", "Positionierachse ", "\";"},
    {"date", "DATE := DT#", "2024-05-14-09:30:00 ", ";"},
    {"comment", "(*", "Positionierachse ", "*)"},
    {"blanks", "", " ", ""}};

// A source of bytes in all with the one token of the header.
inline std::string headerToken(const HeaderToken& token, std::size_t bytes)
{
    const std::string open = "TO_HEADER\n" + std::string(token.lead), close = std::string(token.tail) + "\nEND_TO_HEADER\n";
    std::string s = open;
    s.reserve(bytes + token.unit.size());
    while (s.size() + close.size() < bytes) s += token.unit;
    s.resize(bytes - close.size());
    return s + close;
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
