// The error-text compiler on a large alarm error-text section (about 2 MB,
// items with texts of 40 bytes and escaped quotes: some 24 000 items, two
// resource-string ids each, below the 65 534 a source has), beside the split of the
// same source as its floor: compiling the section, the script lines and
// "errmsg" included, should cost no more than a few times splitting it
// (target: at most 4x the split).
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

const std::string& source()
{
    static const std::string src = [] {
        std::string s =
            "TO_HEADER\n  TOTYPE := {11111111-2222-3333-4444-555555555555}, 1.0;\n"
            "  DATE := DT#2024-01-01;\nEND_TO_HEADER\nBEGIN_ALARM_VRX_ERROR_TEXT\n";
        for (unsigned i = 0; s.size() < (2u << 20); ++i)
            s += "    VRX_ERROR_TEXT(" + std::to_string(20000 + i) + ", CmErrorMsg, 5, " +
                 (i % 2 ? "7, " : "") + "\"Schleppfehler \\\"Achse\\\" Abstand zu gross\")\r\n";
        s += "END_ALARM_VRX_ERROR_TEXT\n";
        return s;
    }();
    return src;
}

const std::string& stream()
{
    static const std::string text = [] {
        MdStringSectionSink sink;
        std::istringstream in(source());
        MdSectionSplitter splitter;
        splitter.split(in, sink, nullptr, 0);
        return sink.stream(MdTmpAlmMsg);
    }();
    return text;
}

void BM_SplitErrorTexts(benchmark::State& state)
{
    for (auto _ : state) {
        std::istringstream in(source());
        MdStringSectionSink sink;
        MdSectionSplitter splitter;
        if (splitter.split(in, sink, nullptr, 0) != 0) state.SkipWithError("split reported errors");
        benchmark::DoNotOptimize(sink.stream(MdTmpAlmMsg).size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source().size()));
}
BENCHMARK(BM_SplitErrorTexts)->Unit(benchmark::kMillisecond);

void BM_CompileErrorTexts(benchmark::State& state)
{
    const std::string& text = stream();
    for (auto _ : state) {
        FsTODscFile dsc;
        dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY);
        dsc.getSect("errmsg", FS_MODE_WRITE);
        dsc.CloseSect("errmsg");
        std::istringstream in(text);
        MdErrMsgTxtParser p;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = String("/dev/null");
        p.init(args);
        if (p.parse() != 0) state.SkipWithError("compile failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_CompileErrorTexts)->Unit(benchmark::kMillisecond);

}  // namespace
