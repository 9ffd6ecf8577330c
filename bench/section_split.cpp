// Splitting a 10 MB description source into its temporary streams, beside a
// bare read of the same bytes through the same kind of stream.
#include <benchmark/benchmark.h>

#include <istream>
#include <string>

#include "base/fs/FsFileMan.h"
#include "tools/md/tavolin/MdSectionParser.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

// An input stream over bytes held elsewhere, read without copying them first.
class MemoryBuf : public std::streambuf {
public:
    MemoryBuf(const std::string& s)
    {
        char* p = const_cast<char*>(s.data());
        setg(p, p, p + s.size());
    }
};

// A source of about 10 MB: a header and large bodies of the common sections,
// with LF and CRLF line ends.
const std::string& source()
{
    static const std::string src = [] {
        const std::size_t target = 10u << 20;
        std::string s =
            "TO_HEADER\n"
            "  TOTYPE := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\n"
            "  DATE := DT#2024-05-14-09:30:00;\n"
            "  COMMENT := \"Achse\";\n"
            "END_TO_HEADER\n";
        auto section = [&](const char* begin, const char* end, std::size_t bytes, auto line) {
            s += begin;
            s += "\r\n";
            const std::size_t stop = s.size() + bytes;
            for (unsigned i = 0; s.size() < stop; ++i) {
                s += line(i);
                s += i % 3 ? "\n" : "\r\n";
            }
            s += end;
            s += "\n\n";
        };
        section("@DESCRIPTION", "@END_DESCRIPTION", target / 4, [](unsigned i) {
            return "    variable" + std::to_string(i) + " : LREAL;   (* $" + std::to_string(i) + " *)";
        });
        section("VARCOMMENT", "END_VARCOMMENT", target / 6, [](unsigned i) {
            return "    $" + std::to_string(i) + "[16#FFFFFFFF] : \"Kommentar zur Variablen " +
                   std::to_string(i) + "\"";
        });
        section("VALUES", "END_VALUES", target / 4, [](unsigned i) {
            return "    $" + std::to_string(i) + "[16#FFFFFFFF] : Def(1.5E3) Min(-1.0E9) Max(1.0E9) Unit(61)";
        });
        section("INTERFACE", "END_INTERFACE", target / 12, [](unsigned i) {
            return "    CONNECTION c" + std::to_string(i) +
                   " (1) : {7C9E6679-7425-40DE-944B-E07FC1F90AE7} DIRECTION := IN; VERSION := 1.0; "
                   "REMOTE := NO; MULTIPOINT := NO; MUST_BE_CONNECTED := YES; END_CONNECTION";
        });
        s += "BOOT_FUNCTIONDECL\n";
        section("", "", target - s.size() - 64, [](unsigned i) {
            return "  BEGIN_BF f" + std::to_string(i) +
                   " (CS := 1) VAR x : LREAL := 1.0; END_VAR SUB_FUNCTIONS END_SUBFUNCTIONS "
                   "DEFAULT BEGIN_ACT x := 2.0; END_ACT END_BF";
        });
        s += "END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS\n";
        return s;
    }();
    return src;
}

void BM_SectionSplit(benchmark::State& state)
{
    const std::string& src = source();
    for (auto _ : state) {
        MemoryBuf buf(src);
        std::istream in(&buf);
        MdStringSectionSink sink;
        MdSectionSplitter splitter;
        const int result = splitter.split(in, sink, nullptr, 0);
        if (result != 0) state.SkipWithError("split reported errors");
        benchmark::DoNotOptimize(sink.stream(MdTmpVar).size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_SectionSplit)->Unit(benchmark::kMillisecond);

// One section body on a single 10 MB line: the scanner must not slow down
// with the length of a line.
void BM_SectionSplitOneLine(benchmark::State& state)
{
    static const std::string src = "VALUES " + std::string(10u << 20, 'x') + " END_VALUES\n";
    for (auto _ : state) {
        MemoryBuf buf(src);
        std::istream in(&buf);
        MdStringSectionSink sink;
        MdSectionSplitter splitter;
        if (splitter.split(in, sink, nullptr, 0) != 0) state.SkipWithError("split reported errors");
        benchmark::DoNotOptimize(sink.stream(MdTmpVar).size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_SectionSplitOneLine)->Unit(benchmark::kMillisecond);

// The same source split into the temporary streams of a working file in
// memory, with the descriptor header, as the entry method does it.
void BM_SectionSplitIntoWorkingFile(benchmark::State& state)
{
    const std::string& src = source();
    for (auto _ : state) {
        FsFileMan work;
        if (work.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) {
            state.SkipWithError("no working file");
            break;
        }
        MemoryBuf buf(src);
        std::istream in(&buf);
        MdSectionParser split;
        split.openTempSections(&in, &work, 0);
        if (split.run() != 0 || split.headResult() != 0) state.SkipWithError("split failed");
        benchmark::DoNotOptimize(work.GetSize("var_tmp"));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_SectionSplitIntoWorkingFile)->Unit(benchmark::kMillisecond);

void BM_BareRead(benchmark::State& state)
{
    const std::string& src = source();
    for (auto _ : state) {
        MemoryBuf buf(src);
        std::istream in(&buf);
        char chunk[16384];
        std::size_t total = 0;
        unsigned lines = 0;
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
            const std::size_t n = std::size_t(in.gcount());
            for (std::size_t i = 0; i < n; ++i) lines += chunk[i] == '\n';
            total += n;
        }
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_BareRead)->Unit(benchmark::kMillisecond);

}  // namespace
