// Code texts whose m4 quotes do not balance, through both compilers that
// write macro files: the warning (its block and the line where the text
// begins), the result left at 0, the text written as the source has it, and
// what GNU m4 reads back from the file: a balanced text unchanged, a warned
// one changed or not at all.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bf_compile_support.h"
#include "co/GlobTools.h"
#include "tests/host/m4/m4_expand.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdImplParser.h"

using bftest::BfCompile;
using bftest::compileBf;

namespace {

// Code texts of every kind of quote balance, each with whether m4 reads it
// back, between its quotes, as it stands.
struct QuoteCase {
    const char* text;
    bool balanced;
};
const QuoteCase kQuoteCases[] = {
    {"", true},
    {"x := 1;", true},
    {"a `quoted' word", true},
    {"``nested' `twice''", true},
    {"`across\n    lines'", true},
    {"it's", false},       // an apostrophe
    {"c := 'a';", false},  // a character literal
    {"a ` b", false},      // a lone grave accent
    {"'`", false},         // below zero before it comes back to zero
    {"``a'", false},       // still open at the end
};

// m4's reading of a macro file's text.
m4test::M4Expansion expandText(const std::string& text)
{
    const std::string base = createTempName(true).c_str(), path = base + ".m4c";
    std::ofstream(path, std::ios::binary) << text;
    const m4test::M4Expansion e = m4test::m4Expand(path);
    ::unlink(path.c_str());
    ::unlink(base.c_str());
    return e;
}

struct Impl {
    int32_t result = -1;
    std::vector<std::string> messages;  // "id@line text"
    std::string m4c;
};

// The implementation compiler over text into fresh macro files.
Impl compileImpl(const std::string& text)
{
    fronttest::MessageCapture capture;
    const std::string dir = createTempDirectory().c_str();
    std::istringstream in(text);
    MdImplParser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.outputBase = String((dir + "/out").c_str());
    p.init(args);
    Impl r;
    r.result = p.parse();
    for (const auto& m : capture.records)
        r.messages.push_back(std::to_string(m.id) + "@" + std::to_string(m.position) + " " + m.text);
    r.m4c = fronttest::readFile(dir + "/out.m4c");
    removeDirectoryTree(dir.c_str());
    return r;
}

}  // namespace

TEST(MacroFileQuotes, BothCompilersWarnOfTheTextsM4WouldCut)
{
    for (const QuoteCase& c : kQuoteCases) {
        const std::string text = c.text;
        const bool warned = !c.balanced;
        // The text stands between "BEGIN_ACT " and " END_ACT", on line 3.
        const std::string code = " " + text + " ";

        const BfCompile bf = compileBf("BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL\n"
                                       "BOOT_FUNCTIONS VAR END_VAR SUB_FUNCTIONS END_SUBFUNCTIONS DEPENDENCIES\n"
                                       "DEFAULT BEGIN_ACT" + code + "END_ACT\nEND_DEPENDENCIES END_BOOT_FUNCTIONS\n");
        EXPECT_EQ(bf.result, 0) << text;
        EXPECT_EQ(bf.messages, warned ? std::vector<std::string>{"517@3 DEFAULT"} : std::vector<std::string>{})
            << text;
        const size_t at = bf.m4c.find("\nDEFAULT(");
        ASSERT_NE(at, std::string::npos) << bf.m4c;
        const std::string sid = bf.m4c.substr(at + 9, bf.m4c.find(',', at) - at - 9);
        EXPECT_NE(bf.m4c.find("DEFAULT(" + sid + ", `" + code + "')\n"), std::string::npos) << bf.m4c;
        const m4test::M4Expansion bfBack = expandText(bf.m4c);
        EXPECT_EQ(m4test::m4Shows(bfBack, "/* stub_default:" + sid + "," + code + " */"), !warned)
            << text << "\n" << bfBack.out;

        const Impl impl = compileImpl("(* I/O *)\r\n\r\nBEGIN_IO_DATA BEGIN_ACT" + code + "END_ACT END_IO_DATA\r\n");
        EXPECT_EQ(impl.result, 0) << text;
        EXPECT_EQ(impl.messages, warned ? std::vector<std::string>{"1004@3 m4-Anführungszeichen in BEGIN_IO_DATA "
                                                                   "nicht ausgeglichen"}
                                        : std::vector<std::string>{})
            << text;
        EXPECT_EQ(impl.m4c, "IMPL_IMPL()\nIO_IMPL(`" + code + "')\n");
        const m4test::M4Expansion implBack = expandText("include(bfimplmk.m4)\n" + impl.m4c);
        EXPECT_EQ(m4test::m4Shows(implBack, "/* stub_io_impl:" + code + " */"), !warned)
            << text << "\n" << implBack.out;
    }
}

// Every kind of text that goes into the boot functions' macro files, each
// warned of once, at the line where the text begins (that of the function's
// opener, of BEGIN_ACT, CHECK or CHECK_EX), naming its block; the
// warnings come when the macro files are written, so nothing written gives
// none.
TEST(MacroFileQuotes, BootFunctionBlocksByKindAndLine)
{
    const std::string source =
        "BEGIN_BF_FUNCTIONS\n"                                  // 1
        "BF_FUNCTION(f)(int a) { return 'a'; }\n"               // 2
        "BF_MSG_FUNCTION(g)(it's) {}\n"                         // 3
        "BF_FUNCTION(h)(x)\n{\n  c = 'h';\n}\n"                 // 4-7
        "BF_FUNCTION(k)(x) { `ok' }\n"                          // 8
        "END_BF_FUNCTIONS\n"                                    // 9
        "BOOT_FUNCTIONDECL BEGIN_BF b (CS := 1)\n"              // 10
        "VAR v : INT; END_VAR SUB_FUNCTIONS s : INT (RULE); END_SUBFUNCTIONS\n"  // 11
        "DEPENDENCIES DEFAULT BEGIN_ACT `fine' END_ACT\n"       // 12
        "CFGCHANGED\nBEGIN_ACT\n  it's\nEND_ACT\n"              // 13-16
        "MODIFY (v) BEGIN_ACT ' END_ACT\n"                      // 17
        "INSTANTIATE (s) BEGIN_ACT 'i' END_ACT\n"               // 18
        "UNITCHANGED (1) BEGIN_ACT u' END_ACT\n"                // 19
        "END_DEPENDENCIES CHECK 'c' END_CHECK\n"                // 20
        "CHECK_EX 'e' END_CHECK_EX END_BF\n"                    // 21
        "END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS\n";
    const BfCompile c = compileBf(source);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.messages, (std::vector<std::string>{"517@2 BF_FUNCTION(f)", "517@3 BF_MSG_FUNCTION(g)",
                                                    "517@4 BF_FUNCTION(h)", "517@14 CFGCHANGED", "517@17 MODIFY(v)",
                                                    "517@18 INSTANTIATE(s)", "517@19 UNITCHANGED(1)", "517@20 CHECK",
                                                    "517@21 CHECK_EX"}));
    EXPECT_NE(c.m4c.find("CHECKEX("), std::string::npos) << c.m4c;

    // No texts in the macro files (noImpl; the method's first run, whose
    // outputs are unused), or no macro files (an error): no warning.
    EXPECT_EQ(compileBf(source, false, 1).messages, std::vector<std::string>{});
    EXPECT_EQ(compileBf(source, false, 0, {}, "Cont", 0, {"bfinterf", "bfsymb", "boot"}, true).messages,
              std::vector<std::string>{});
    std::string failing = source;
    failing.replace(failing.find("UNITCHANGED (1)"), 15, "UNITCHANGED (3)");
    EXPECT_EQ(compileBf(failing).messages, std::vector<std::string>{"509@19 3"});
}
