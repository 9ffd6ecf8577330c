// The boot-function method on sources with a mistake in every boot
// function, beside the same method on the source without them, measured in
// the same run: what saying each mistake once costs. The method reads the
// section twice; the first reading's messages are taken in by their digests
// and only said when the second does not say them too, which takes a third
// reading. Three sources of N boot functions (bfbench::grownSourceOf,
// default N = 2 000):
// - clean: no message;
// - twice: a variable declared twice in each boot function, which both
//   readings find (a message per boot function, said once);
// - first alone: two variables whose names differ only in case in each boot
//   function, which only the first reading finds (said after a third one).
// A message handler is installed, as in the command, with an output that
// shows the first 100 messages and counts the rest. Printed: each source
// over the clean one. Targets: twice at most 1.5, first alone at most 2.5
// (a third reading, without outputs).
//
//   bench_bf_messages [--functions=N] [benchmark options]
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsghdl.h"
#include "bench/bf_method.h"
#include "bench/bf_source.h"
#include "bench/ratio_reporter.h"

namespace {

int g_functions = 2000;

// Shows the first 100 messages (to nothing) and counts the rest.
class CountingOut : public CmMsgOut {
public:
    void msgOut(const WString&, uint32_t, uint32_t, const WString&) override { ++shown; }
    void msgOutExt(const WString&, uint32_t, uint32_t, const WString&, uint32_t, uint32_t) override { ++shown; }
    bool countWithoutText(uint32_t) override
    {
        if (shown < 100) return false;
        ++held;
        return true;
    }
    uint64_t shown = 0, held = 0;
};

enum Kind { Clean, Twice, FirstAlone };

std::string sourceOf(Kind kind)
{
    std::string s = bfbench::grownSourceOf(g_functions);
    const std::string var = "            count : UDINT := ";
    const std::string extra = kind == Twice ? "            count : INT;\n" : "            Count : INT;\n";
    if (kind == Clean) return s;
    std::string out;
    out.reserve(s.size() + std::size_t(g_functions) * extra.size());
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(var, from)) != std::string::npos; from = at) {
        out.append(s, from, at - from);
        out += extra;
        out += var;
        at += var.size();
    }
    out.append(s, from, std::string::npos);
    return out;
}


void BM_Method(benchmark::State& state, Kind kind)
{
    bfbench::OpenedMethod opened(sourceOf(kind));
    if (!opened.ok()) {
        state.SkipWithError("the source did not open");
        return;
    }
    uint64_t said = 0;
    for (auto _ : state) {
        CountingOut out;
        CmMessageHandler handler(cmBuiltinMsgTable(), &out);
        CmMessageHandler* previous = cmSetMessageHandler(&handler);
        const int32_t status = opened.compile();
        cmSetMessageHandler(previous);
        said = out.shown + out.held;
        if ((kind == Twice) != (status != 0)) state.SkipWithError("the method's status is not the expected one");
    }
    state.counters["messages"] = double(said);
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--functions=", 12) == 0) {
            g_functions = std::atoi(argv[i] + 12);
            for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    benchmark::RegisterBenchmark("Clean", BM_Method, Clean)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Twice", BM_Method, Twice)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FirstAlone", BM_Method, FirstAlone)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double clean = reporter.at("Clean");
    if (clean > 0) {
        std::printf("%d boot functions: a mistake in each said once, over the clean source: %.2f (target 1.5)\n",
                    g_functions, reporter.at("Twice") / clean);
        std::printf("%d boot functions: a mistake only the first reading finds, over the clean source: %.2f "
                    "(target 2.5)\n",
                    g_functions, reporter.at("FirstAlone") / clean);
    }
    benchmark::Shutdown();
    return 0;
}
