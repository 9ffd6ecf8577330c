// The comment compiler on large comment sections: 100k entries over 8k
// distinct texts (1x) and four times that (4x: 64k texts, as many as a
// resource script has ids for), each beside the split of the
// same source as its floor. Targets: compiling (grammar, string tables and
// the container's section) costs at most 8x the split of the same source,
// and grows from 1x to 4x no more than 1.25 times as much as the split does
// (linear like the split; both pay cache misses as their tables grow).
// Beside them a comment section of the 1x stream's size that is nothing but
// one byte repeated or one identifier (stray_fill.h): refused, in less time
// than the valid section of that size compiles (a ratio below 1 for each).
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "base/fs/FsFileMan.h"
#include "bench/stray_fill.h"
#include "tools/md/tavolin/MdSectionSplitter.h"
#include "tools/md/tavolin/MdVarCommentParser.h"

namespace {

// A technology-object source whose comment section has scale * 100k
// entries: addresses, short ranges and names, over scale * 8k texts (as
// variable texts and as type texts: 16k ids per scale).
const std::string& source(int scale)
{
    static std::string sources[5];
    std::string& s = sources[scale];
    if (!s.empty()) return s;
    s = "TO_HEADER\n  TOTYPE := {11111111-2222-3333-4444-555555555555}, 1.0;\n  DATE := DT#2024-01-01;\n"
        "END_TO_HEADER\nVARCOMMENT\n";
    const unsigned entries = 100000u * unsigned(scale), texts = 8000u * unsigned(scale);
    for (unsigned i = 0; i < entries; ++i) {
        const std::string text = "\"Kommentar " + std::to_string((i * 7919u) % texts) + "\"";
        switch (i % 4) {
        case 0:
        case 1: s += "  $" + std::to_string(i) + " [16#" + std::to_string(1 + i % 8) + "] : " + text + "\r\n"; break;
        case 2: s += "  $" + std::to_string(i) + "-$" + std::to_string(i + 1) + " [16#1] : " + text + "\r\n"; break;
        default: s += "  $Type" + std::to_string(i) + ".Member [16#3] : " + text + "\r\n"; break;
        }
    }
    s += "END_VARCOMMENT\n";
    return s;
}

const std::string& commentStream(int scale)
{
    static std::string streams[5];
    std::string& s = streams[scale];
    if (s.empty()) {
        MdStringSectionSink sink;
        std::istringstream in(source(scale));
        MdSectionSplitter splitter;
        splitter.split(in, sink, nullptr, 0);
        s = sink.stream(MdTmpComment);
    }
    return s;
}

void BM_SplitComments(benchmark::State& state)
{
    const std::string& src = source(int(state.range(0)));
    for (auto _ : state) {
        std::istringstream in(src);
        MdStringSectionSink sink;
        MdSectionSplitter splitter;
        if (splitter.split(in, sink, nullptr, 0) != 0) state.SkipWithError("split reported errors");
        benchmark::DoNotOptimize(sink.stream(MdTmpComment).size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_SplitComments)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// The compile of the section: true when it succeeds, wrote its string
// tables and its section.
bool compile(const std::string& text)
{
    FsFileMan file;
    file.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY);
    FsSecCl* sec = file.getSect("varcomment", FS_MODE_WRITE);
    std::istringstream in(text);
    MdVarCommentParser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.section = sec;
    args.rcPath = String("/dev/null");
    p.init(args);
    const bool ok = p.parse() == 0 && p.errorCount() == 0 && p.writeStringTable() == 0;
    file.CloseSect("varcomment");
    return ok;
}

void BM_CompileComments(benchmark::State& state)
{
    const std::string& text = commentStream(int(state.range(0)));
    for (auto _ : state)
        if (!compile(text)) state.SkipWithError("compile failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_CompileComments)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// A comment section of the 1x stream's size filled with one byte, an
// identifier or garbage: refused.
void BM_StrayComments(benchmark::State& state, strayfill::Fill fill)
{
    const std::string text =
        "VARCOMMENT\n" + strayfill::body(fill, commentStream(1).size()) + "\nEND_VARCOMMENT\n";
    for (auto _ : state)
        if (compile(text)) state.SkipWithError("the section was not refused");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    return strayfill::mainBesideValid(argc, argv, "BM_StrayComments/", BM_StrayComments, "BM_CompileComments/1",
                                      "a comment section of the 1x size refused, over the 1x compile");
}
