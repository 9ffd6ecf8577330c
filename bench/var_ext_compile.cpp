// Compiling a variables section of 100k value statements over 10k INT
// system variables (ten configurations each), at 1x and 4x that size,
// beside a floor: the scanner alone over the same bytes. Targets: the
// compile within a fixed multiple of its floor at both sizes (linear time;
// the 4x run about four times the 1x run). The ids of the variables are not
// derived from their addresses (as mksymb writes its tables): every lookup
// goes through the table's address index (numbers in bench/README.md).
// Beside them a VALUES section of the 1x size that is nothing but one byte
// repeated or one identifier (stray_fill.h): refused, in less time than the
// valid section of that size compiles (a ratio below 1 for each).
#include <benchmark/benchmark.h>

#include <map>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "bench/stray_fill.h"
#include "tools/md/tavolin/MdVarExtParser.h"
#include "tools/md/tavolin/MdVarExtBisonParser.tab.hpp"
#include "tools/mksymb/SysVarTable.h"

namespace {

const char* const kSections[] = {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const"};

struct Input {
    std::string symb;
    std::string section;
};

// scale x 10k variables, ten value statements each.
const Input& input(int scale)
{
    static std::map<int, Input> inputs;
    Input& in = inputs[scale];
    if (!in.section.empty()) return in;
    SysVarTable t;
    std::string error;
    const int vars = 10000 * scale;
    for (int v = 0; v < vars; ++v) t.addElementary(uint32_t(2 * v + 2), "v" + std::to_string(v), ST_INT, error);
    std::stringstream symb;
    t.save(symb);
    in.symb = symb.str();
    in.section = "RESOLVE MAXID := 428; END_RESOLVE\nVALUES\n";
    for (int v = 0; v < vars; ++v)
        for (int c = 0; c < 10; ++c)
            in.section += "  $" + std::to_string(2 * v + 2) + " [16#" + std::to_string(1 << c) + "] : Min(-" +
                          std::to_string(c) + ") Def(" + std::to_string(v % 100) + ") Max(1000) Unit(0)\n";
    in.section += "END_VALUES\n";
    return in;
}

void put(FsTODscFile& dsc, const char* name, const std::string& bytes)
{
    FsSecCl* s = dsc.getSect(name, FS_MODE_WRITE);
    if (!s) return;
    if (!bytes.empty()) s->writeBytes(bytes.data(), uint32_t(bytes.size()));
    dsc.CloseSect(name);
}

// Token by token: the floor stays the scan of every token.
class Scanner : public MdVarExtScanner {
public:
    Scanner(std::istream* in, std::ostream* out) : MdVarExtScanner(in, out) { setStatementTokens(false); }
    void LexerError(const char*) override {}
};

void BM_ScanFloor(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    for (auto _ : state) {
        std::istringstream s(in.section);
        Scanner scanner(&s, nullptr);
        int tokens = 0;
        for (int t; (t = scanner.yylex()) != 0; ++tokens)
            if (t == VAREXT_REAL || t == VAREXT_STRING) delete MdVarExtlval.text;
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.section.size()));
}

// The compile of section over the table symb: its result.
int32_t compile(const std::string& symb, const std::string& section)
{
    FsTODscFile dsc;
    dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY);
    for (const char* name : kSections) put(dsc, name, "");
    put(dsc, "symb", symb);
    std::istringstream s(section);
    MdVarExtParser parser;
    MdCompilerArgs args;
    args.stream = &s;
    args.descriptor = &dsc;
    args.rcPath = String("/dev/null");
    parser.init(args);
    return parser.parse();
}

void BM_Compile(benchmark::State& state)
{
    const Input& in = input(int(state.range(0)));
    for (auto _ : state)
        if (compile(in.symb, in.section) != 0) state.SkipWithError("compile failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.section.size()));
}

// A VALUES section of the 1x section's size filled with one byte, an
// identifier or garbage: refused with errors counted (3), or by the
// grammar at the first token it does not take there (1, garbage).
void BM_StrayCompile(benchmark::State& state, strayfill::Fill fill)
{
    const Input& in = input(1);
    const std::string section = "VALUES\n" + strayfill::body(fill, in.section.size()) + "\nEND_VALUES\n";
    for (auto _ : state)
        if (compile(in.symb, section) != (fill.random ? 1 : 3)) state.SkipWithError("the section was not refused");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(section.size()));
}

}  // namespace

BENCHMARK(BM_ScanFloor)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compile)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    return strayfill::mainBesideValid(argc, argv, "BM_StrayCompile/", BM_StrayCompile, "BM_Compile/1/iterations:1",
                                      "a VALUES section of the 1x size refused, over the 1x compile");
}
