// The boot-function method around its compiler, with stand-in compilers:
// what init is given on each of the two runs, that the first run leaves no
// file behind and its result counts for nothing, the string counter across
// the comment, boot-function and error-text steps, and the empty streams.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "bench/bf_source.h"
#include "bf_compile_support.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

using namespace fronttest;

namespace {

const std::vector<std::pair<std::string, std::string>> kHost = {{"bfvarcomment", ""}};
// A target that holds the boot-function compiler's sections, as a
// technology-object descriptor does.
const std::vector<std::pair<std::string, std::string>> kBootHost = {
    {"bfvarcomment", ""}, {"bfinterf", ""}, {"bfsymb", ""}, {"boot", ""}};

const char kComment[] = "BFDCOMMENT\nc\nEND_BFDCOMMENT\n";
const char kBoot[] = "BOOT_FUNCTIONDECL\nb\nEND_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\nf\nEND_BOOT_FUNCTIONS\n";
const char kErrText[] = "BEGIN_BF_ERRORTEXT\ne\nEND_BF_ERRORTEXT\n";

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// What the boot-function compiler's init was given on one run.
struct BootRun {
    std::string sourcePath, macroBase, bootText, descriptorFile;
    std::list<String> names;
    int32_t errTextStart = -1;
    uint32_t noImpl = 2;
    bool registeredProvider = true;
    int32_t lowerCase = -1;
};

// The method over a source opened with mask, the counter at 100.
struct Method {
    explicit Method(const std::string& body, uint32_t mask = 0,
                    const std::vector<std::pair<std::string, std::string>>& host = kHost)
        : src(headerOf(1) + body, host, mask)
    {
        EXPECT_EQ(src.status, 0);
        src.counter = 100;
    }
    int32_t run(MdFrontContext ctx)
    {
        int32_t status = -1;
        hr = mdCompileBootFunctions(ctx, String(macroBase.c_str()), {String("inc1"), String("inc2")},
                                    String("axis"), String(commentScript.c_str()), status);
        return status;
    }
    int32_t run() { return run(src.context()); }

    OpenedSource src;
    TempFile dir;            // a name free for the second run's macro files
    TempFile commentScript;  // the comments' resource script
    std::string macroBase = dir.path() + "_m4";
    HRESULT hr = E_FAIL;
};

std::vector<int> kinds(const std::vector<Seen>& log)
{
    std::vector<int> k;
    for (const Seen& s : log) k.push_back(s.kind);
    return k;
}

TEST(BootFunctionMethod, InitGetsTheMethodsValuesOnEachRun)
{
    MessageCapture messages;
    StandIns standIns;
    standIns.behaviour[MdCompVarComment].idsUsed = 5;
    standIns.behaviour[MdCompBootFkt].idsUsed = 7;  // not taken back
    standIns.behaviour[MdCompErrMsgTxt].idsUsed = 3;
    std::vector<BootRun> runs;
    standIns.behaviour[MdCompBootFkt].onParse = [&](const MdCompilerArgs& a) {
        BootRun r;
        r.sourcePath = a.sourcePath.c_str();
        r.macroBase = a.rcPath.c_str();
        r.bootText = a.bootText.c_str();
        r.names = a.names;
        r.descriptorFile = a.descriptor ? a.descriptor->getFileName() : "<none>";
        r.errTextStart = a.firstStringId;
        r.noImpl = a.sectionMask & 1u;
        r.registeredProvider = a.flag;
        r.lowerCase = a.firstPass;
        runs.push_back(r);
    };
    Method m(std::string(kComment) + kBoot + kErrText, 0x1);
    MdFrontContext ctx = m.src.context();
    ctx.flag = false;
    EXPECT_EQ(m.run(ctx), 0);
    EXPECT_EQ(m.hr, S_OK);
    EXPECT_EQ(kinds(standIns.log), (std::vector<int>{MdCompVarComment, MdCompBootFkt, MdCompBootFkt, MdCompErrMsgTxt}));
    ASSERT_EQ(runs.size(), 2u);
    // Both runs read the whole stream.
    EXPECT_EQ(standIns.log[1].stream, standIns.log[2].stream);
    EXPECT_NE(standIns.log[1].stream.find("BOOT_FUNCTIONS \r\nf\r\n"), std::string::npos);
    for (const BootRun& r : runs) {
        EXPECT_EQ(r.sourcePath, std::string(ctx.sourcePath.c_str()));
        EXPECT_EQ(r.names, (std::list<String>{String("inc1"), String("inc2")}));
        EXPECT_EQ(r.bootText, "axis");
        EXPECT_EQ(r.noImpl, 1u);
        EXPECT_FALSE(r.registeredProvider);
    }
    // Run 1: lower case, error texts from 0, its own descriptor and macro files.
    EXPECT_EQ(runs[0].lowerCase, 1);
    EXPECT_EQ(runs[0].errTextStart, 0);
    EXPECT_NE(runs[0].macroBase, m.macroBase);
    EXPECT_NE(runs[0].descriptorFile, std::string(m.src.workPath.c_str()));
    // Run 2: case kept, the method's macro path, the working file, and the
    // counter the comments left, which is also where the error texts start.
    EXPECT_EQ(runs[1].lowerCase, 0);
    EXPECT_EQ(runs[1].macroBase, m.macroBase);
    EXPECT_TRUE(standIns.log[2].descriptorHasHeader);
    EXPECT_EQ(runs[1].errTextStart, 105);
    EXPECT_EQ(standIns.log[3].firstStringId, 105);
    EXPECT_EQ(m.src.counter, 108);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_TRUE(m.src.idle());
}

TEST(BootFunctionMethod, FirstRunLeavesNothingAndOnlyTheSecondCounts)
{
    const struct {
        int32_t first, second;
        bool firstThrows;
        int32_t status;
        HRESULT hr;
    } cases[] = {
        {0, 0, false, 0, S_OK},
        {3, 0, false, 0, S_OK},
        {4, 0, false, 0, S_OK},
        {1, 0, false, 0, S_OK},
        {0, 3, false, MdStatusCompileFailed, S_OK},
        {5, 5, false, MdStatusCompileFailed, S_OK},
        {0, 0, true, -1, E_OUTOFMEMORY},
    };
    for (const auto& c : cases) {
        MessageCapture messages;
        StandIns standIns;
        standIns.behaviour[MdCompBootFkt].result = c.first;
        std::vector<std::string> written[2];
        standIns.behaviour[MdCompBootFkt].onParse = [&](const MdCompilerArgs& a) {
            const int run = a.firstPass ? 0 : 1;
            const std::string base = a.rcPath.c_str();
            for (const char* ext : {".m4h", ".m4c"}) {
                std::ofstream(base + ext) << "run " << run;
                written[run].push_back(base + ext);
            }
            FsSecCl* s = a.descriptor->getSect("boot", FS_MODE_WRITE);
            ASSERT_NE(s, nullptr);
            *s << "run " << run;
            a.descriptor->CloseSect("boot");
            if (run == 0) {
                written[0].push_back(a.descriptor->getFileName());
                // The next compiler made is the second run's.
                standIns.behaviour[MdCompBootFkt].result = c.second;
                if (c.firstThrows) throw std::bad_alloc();
            }
        };
        Method m(std::string(kBoot) + kErrText);
        const int32_t status = m.run();
        EXPECT_EQ(m.hr, c.hr) << c.first << " " << c.second;
        if (c.hr == S_OK) {
            EXPECT_EQ(status, c.status) << c.first << " " << c.second;
        }
        ASSERT_EQ(written[0].size(), 3u);
        for (const std::string& f : written[0]) EXPECT_FALSE(exists(f)) << f;
        if (!c.firstThrows) {
            // The second run's files stay; the error texts run only after its success.
            ASSERT_EQ(written[1].size(), 2u);
            for (const std::string& f : written[1]) {
                EXPECT_EQ(readFile(f), "run 1") << f;
                ::unlink(f.c_str());
            }
            EXPECT_EQ(sectionText(m.src.work, "boot"), "run 1");
            EXPECT_EQ(standIns.log.back().kind, c.second == 0 ? MdCompErrMsgTxt : MdCompBootFkt);
        }
        EXPECT_TRUE(m.src.idle());
    }
}

TEST(BootFunctionMethod, EmptyStreams)
{
    const struct {
        const char* what;
        std::string body;
        std::vector<int> compilers;
        int32_t counter;
    } cases[] = {
        // Comments and error texts, no boot functions: no boot-function compiler.
        {"no boot functions", std::string(kComment) + kErrText, {MdCompVarComment, MdCompErrMsgTxt}, 108},
        // The comment step runs on its empty section; the error texts are skipped.
        {"boot functions only", kBoot, {MdCompVarComment, MdCompBootFkt, MdCompBootFkt}, 105},
        {"nothing", "", {MdCompVarComment}, 105},
    };
    for (const auto& c : cases) {
        MessageCapture messages;
        StandIns standIns;
        standIns.behaviour[MdCompVarComment].idsUsed = 5;
        standIns.behaviour[MdCompErrMsgTxt].idsUsed = 3;
        Method m(c.body);
        EXPECT_EQ(m.run(), 0) << c.what;
        EXPECT_EQ(kinds(standIns.log), c.compilers) << c.what;
        EXPECT_EQ(standIns.log.at(0).stream == "<none>", c.body.find("BFDCOMMENT") == std::string::npos) << c.what;
        EXPECT_EQ(m.src.counter, c.counter) << c.what;
        EXPECT_FALSE(exists(m.macroBase + ".m4h")) << c.what;
        EXPECT_TRUE(messages.records.empty()) << c.what;
        EXPECT_TRUE(m.src.idle()) << c.what;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The method with the boot-function compiler of this build and the stand-in
// classifier beside the test program.

const char kOneFunction[] =
    "BOOT_FUNCTIONDECL\n"
    "    BEGIN_BF drive (CS := 1)\n"
    "        VAR\n            SPEED_NAMES\n        END_VAR\n"
    "        SUB_FUNCTIONS\n        END_SUBFUNCTIONS\n"
    "        DEFAULT BEGIN_ACT\n            x := 1;\n        END_ACT\n"
    "    END_BF\n"
    "END_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\nEND_BOOT_FUNCTIONS\n";

std::string oneFunction(const std::string& names)
{
    std::string s = kOneFunction;
    s.replace(s.find("SPEED_NAMES"), 11, names);
    return s;
}

// Runs the method with the real boot-function compiler; the messages' ids.
struct RealRun {
    explicit RealRun(const std::string& body, uint32_t mask = 0, CmMsgTable* table = cmBuiltinMsgTable())
        : messages(table), m(body, mask, kBootHost)
    {
        MdFrontContext ctx = m.src.context();
        ctx.flag = false;
        status = m.run(ctx);
        ids = messages.ids();
    }
    ~RealRun()
    {
        ::unlink((m.macroBase + ".m4h").c_str());
        ::unlink((m.macroBase + ".m4c").c_str());
    }
    std::string macro(const char* ext) const { return readFile(m.macroBase + ext); }

    MessageCapture messages;
    Method m;
    int32_t status = -1;
    std::vector<uint32_t> ids;
};

TEST(BootFunctionMethod, NamesDifferingInCaseMeetOnlyInTheFirstRun)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    // Run 1 lower-cases "Speed" and "speed" into one name: 505, its result unused.
    RealRun twice(oneFunction("Speed : INT;\n            speed : INT;"));
    EXPECT_EQ(twice.status, 0);
    EXPECT_EQ(twice.ids, std::vector<uint32_t>{505});
    EXPECT_NE(sectionText(twice.m.src.work, "boot"), "");
    EXPECT_NE(twice.macro(".m4c").find("DEFAULT("), std::string::npos);

    // The same name twice in the source's own case: both runs find it, and
    // it is said once; status failed.
    RealRun same(oneFunction("speed : INT;\n            speed : INT;"));
    EXPECT_EQ(same.status, MdStatusCompileFailed);
    EXPECT_EQ(same.ids, (std::vector<uint32_t>{505}));
    EXPECT_EQ(same.messages.errors(), 1u);
}

// Every message of the boot-function compiler, from a source that gives it:
// both runs of the method find it (but 517, which only the writing run
// gives, and the names that meet only in lower case, which only the first
// finds), and it is said once, at its line, and counted once. The same
// messages, in the same order, as one run of the compiler over the
// section gives (but what the first run alone finds, said after them).
TEST(BootFunctionMethod, EachMessageIsSaidOnceAtItsLine)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    // Lines of the source (the header takes lines 1-4): functions stand on
    // 6, cs on 17, vars on 19, deps on 25, addresses on 32.
    const std::string nul(1, '\0');
    const auto source = [](const std::string& functions, const std::string& cs, const std::string& vars,
                           const std::string& deps, const std::string& addresses) {
        return "BEGIN_BF_FUNCTIONS\n" + functions + "\nEND_BF_FUNCTIONS\n"
               "BOOT_FUNCTIONDECL\n"
               "    BEGIN_BF inner (CS := 1)\n"
               "        VAR\n            level : INT;\n        END_VAR\n"
               "        SUB_FUNCTIONS\n        END_SUBFUNCTIONS\n"
               "        DEFAULT BEGIN_ACT level := 0; END_ACT\n"
               "    END_BF\n"
               "    BEGIN_BF " + cs + "\n"
               "        VAR\n"
               "            " + vars + "\n"
               "        END_VAR\n"
               "        SUB_FUNCTIONS\n            sub : inner (RULE);\n        END_SUBFUNCTIONS\n"
               "        DEPENDENCIES\n"
               "            " + deps + "\n"
               "        END_DEPENDENCIES\n"
               "    END_BF\n"
               "END_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\nEND_BOOT_FUNCTIONS\n"
               "BEGIN_BF_ADR_RESOLUTION\n"
               "    " + addresses + "\n"
               "END_BF_ADR_RESOLUTION\n";
    };
    const std::string cs = "outer (CS := 1)";
    const struct {
        const char* what;
        std::string body;
        std::vector<std::string> said;  // "id@line arguments" as the compiler message table formats them
    } cases[] = {
        {"500 two names of a structure", source("", cs, "a, b : STRUCT m : INT; END_STRUCT;", "", ""), {"500@19"}},
        {"504 a boot function named twice", source("", "inner (CS := 2)", "", "", ""),
         {"505@23 inner", "504@23 inner"}},
        {"505 a variable declared twice", source("", cs, "v : INT; v : INT;", "", ""), {"505@19 v"}},
        {"505 a second DEFAULT", source("", cs, "", "DEFAULT BEGIN_ACT END_ACT DEFAULT BEGIN_ACT END_ACT", ""),
         {"505@25 DEFAULT"}},
        {"505 a second CFGCHANGED",
         source("", cs, "", "CFGCHANGED BEGIN_ACT END_ACT CFGCHANGED BEGIN_ACT END_ACT", ""), {"505@25 CFGCHANGED"}},
        {"506 a telegram number past 16 bits", source("", "outer (CS := 70000)", "", "", ""), {"506@23"}},
        {"512 a number past 32 bits", source("", cs, "v : UDINT := 4294967296;", "", ""), {"512@19"}},
        {"507 three values for two elements", source("", cs, "y : ARRAY [0 .. 1] OF INT := [1, 2, 3];", "", ""),
         {"507@19"}},
        {"508 a negative enumerator", source("", cs, "e : (A := -1, B);", "", ""), {"508@19"}},
        {"508 reversed bounds", source("", cs, "x : ARRAY [3 .. 0] OF INT;", "", ""), {"508@19"}},
        {"509 an initial value that is no enumerator", source("", cs, "f : (C, D) g := X;", "", ""), {"509@19 X"}},
        {"509 no such quantity", source("", cs, "", "UNITCHANGED (429) BEGIN_ACT END_ACT", ""), {"509@25 429"}},
        {"510 no such type", source("", cs, "w : unknown;", "", ""), {"510@19 unknown"}},
        {"510 no such sub-function", source("", cs, "", "INSTANTIATE (x) BEGIN_ACT END_ACT", ""), {"510@25 x"}},
        {"511 no such constant", source("", cs, "z : INT := nothing;", "", ""), {"511@19 nothing"}},
        {"512 no value of the type", source("", cs, "s : STRING := 5;", "", ""), {"512@19"}},
        {"513 a path modified twice",
         source("", cs, "", "MODIFY (q.r) BEGIN_ACT END_ACT MODIFY (q.r) BEGIN_ACT END_ACT", ""), {"513@25 q.r|q"}},
        {"514 a path moved into a sub-function", source("", cs, "", "MODIFY (sub.level) BEGIN_ACT END_ACT", ""),
         {"514@25 sub"}},
        {"516 a reserved word as a name", source("", cs, "while : INT;", "", ""), {"516@19 while"}},
        {"517 unbalanced quotes, from the writing run alone",
         source("", cs, "", "DEFAULT BEGIN_ACT x := 'a'; END_ACT", ""), {"517@25 DEFAULT"}},
        {"518 a NUL byte in a code block",
         source("", cs, "", "DEFAULT BEGIN_ACT x" + nul + " END_ACT", ""), {"518@25 '\\0'|DEFAULT"}},
        {"518 a NUL byte on a later line of a code block",
         source("", cs, "", "DEFAULT BEGIN_ACT\n\n  x" + nul + nul + "\n END_ACT", ""), {"518@27 '\\0'|DEFAULT"}},
        {"518 a NUL byte in a function body", source("BF_FUNCTION(f)(int a)\n{\n  return" + nul + "0;\n}", cs, "", "", ""),
         {"518@8 '\\0'|BF_FUNCTION(f)"}},
        {"518 a NUL byte in a function's name", source("BF_FUNCTION(f" + nul + "g)(int a) { }", cs, "", "", ""),
         {"518@6 '\\0'|BF_FUNCTION(f\\0g)"}},
        {"518 a NUL byte in a function's parameters", source("BF_MSG_FUNCTION(f)(in" + nul + "t a) { }", cs, "", "", ""),
         {"518@6 '\\0'|BF_MSG_FUNCTION(f)"}},
        {"0 an address key twice", source("", cs, "", "", "$1 : @16#10\n    $1 : @16#20"), {"0@33"}},
        {"501 a character of no token", source("", cs, "", "", "%"), {"501@32 '%'", "502@32 parse error"}},
        {"501 a NUL byte where no token has one", source("", cs, "", "", nul), {"501@32 '\\0'", "502@32 parse error"}},
        {"501 a NUL byte in a string", source("", cs, "s : STRING := \"a" + nul + "\";", "", ""),
         {"501@19 '\\0'"}},
        {"502 a statement cut short", source("", cs, "", "", "$1 : ;"), {"502@32 parse error"}},
        {"505 names that meet in lower case, from the first run alone",
         source("", cs, "Level : INT; level : INT;", "", ""), {"505@19 level"}},
        {"all at once, in source order",
         source("", "outer (CS := 70000)", "v : INT; v : INT; w : unknown; while : INT;",
                "DEFAULT BEGIN_ACT x := 'a'; END_ACT INSTANTIATE (x) BEGIN_ACT END_ACT", "$1 : @16#10\n    $1 : @16#20"),
         {"505@19 v", "510@19 unknown", "516@19 while", "506@23", "510@25 x", "0@33"}},
    };
    const uint32_t warnings[] = {514, 516, 517};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RealRun run(c.body, 0, bftest::compilerMessageTable());
        std::vector<std::string> said;
        uint32_t errors = 0;
        for (const auto& r : run.messages.records) {
            said.push_back(std::to_string(r.id) + "@" + std::to_string(r.position) + (r.text == "-" ? "" : " " + r.text));
            errors += std::find(std::begin(warnings), std::end(warnings), r.id) == std::end(warnings);
        }
        EXPECT_EQ(said, c.said);
        EXPECT_EQ(run.messages.errors(), errors);
        // A message counted as an error fails the step; the first run's own
        // do not (its verdict is not used).
        const bool firstRunAlone = std::string(c.what).find("first run alone") != std::string::npos;
        std::istringstream in(headerOf(1) + c.body);
        MdStringSectionSink sink;
        MdSectionSplitter split;
        ASSERT_EQ(split.split(in, sink, nullptr, 0), 0);
        const std::vector<std::string> oneRun = bftest::compileBf(sink.stream(MdTmpBootFkt)).messages;
        if (!firstRunAlone) {
            EXPECT_EQ(said, oneRun);
        }
        EXPECT_EQ(run.status, errors == 0 || firstRunAlone ? 0 : MdStatusCompileFailed);
    }
}

// A text that m4 would cut is written as it is, with one warning (from the
// run that writes the macro files) at its line of the source; the step
// succeeds.
TEST(BootFunctionMethod, AQuoteM4WouldCutIsOneWarningOfTheWritingRun)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    std::string body = oneFunction("speed : INT;");
    body.replace(body.find("x := 1;"), 7, "x := 'a';");
    RealRun run(body);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.ids, std::vector<uint32_t>{517});
    const std::string source = headerOf(1) + body;
    const size_t line = 1 + size_t(std::count(source.begin(), source.begin() + source.find("BEGIN_ACT"), '\n'));
    EXPECT_EQ(run.messages.records[0].position, line);
    EXPECT_EQ(run.messages.records[0].text, "m4-Anführungszeichen in DEFAULT nicht ausgeglichen");
    EXPECT_NE(run.macro(".m4c").find(", `\n            x := 'a';\n        ')\n"), std::string::npos)
        << run.macro(".m4c");
}

TEST(BootFunctionMethod, MaskBitZeroGivesTheContainerFrameOnly)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    RealRun full(oneFunction("speed : INT;"));
    RealRun frame(oneFunction("speed : INT;"), 0x1);
    ASSERT_EQ(full.status, 0);
    ASSERT_EQ(frame.status, 0);
    EXPECT_TRUE(full.ids.empty());
    EXPECT_TRUE(frame.ids.empty());
    for (const char* ext : {".m4h", ".m4c"}) {
        const std::string f = full.macro(ext), c = frame.macro(ext);
        EXPECT_NE(c, "") << ext;
        EXPECT_EQ(c.rfind("include(bfimplmk.m4)\n", 0), 0u) << c;
        EXPECT_LT(c.size(), f.size()) << ext;
        EXPECT_EQ(c.find("drive"), std::string::npos) << c;
    }
    // The sections do not depend on the bit.
    EXPECT_EQ(sectionText(frame.m.src.work, "boot"), sectionText(full.m.src.work, "boot"));
}

TEST(BootFunctionMethod, TheBenchmarkSourceCompilesWithoutAMessage)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    const std::string source = bfbench::sourceOf(6);
    RealRun run(source.substr(source.find("BEGIN_BF_FUNCTIONS")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.ids, std::vector<uint32_t>{});
    EXPECT_NE(run.macro(".m4c").find("INSTANTIATE("), std::string::npos);
}

TEST(BootFunctionMethod, TheGrownSourceCompilesWholeWithoutAMessage)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    for (int functions : {1, 50}) {
        const std::string source = bfbench::grownSourceOf(functions);
        RealRun run(source.substr(source.find("BEGIN_BF_FUNCTIONS")));
        EXPECT_EQ(run.status, 0) << functions;
        EXPECT_EQ(run.ids, std::vector<uint32_t>{}) << functions;
        // Every step ran to its end: the last boot function's check block,
        // its comments and its error text; a string id per comment, and the
        // error texts' ids are the first id plus their numbers (1 .. n).
        const std::string last = "drive" + std::to_string(functions - 1);
        EXPECT_NE(run.macro(".m4c").find("RETURN " + std::to_string(functions) + ";"), std::string::npos);
        EXPECT_NE(readFile(run.m.commentScript.path()).find("Grenzwert von " + last), std::string::npos);
        EXPECT_NE(readFile(run.m.commentScript.path()).find("Hoechstgeschwindigkeit " + std::to_string(functions - 1)),
                  std::string::npos);
        EXPECT_EQ(run.m.src.counter, 100 + 2 * functions + functions + 1) << functions;
    }
}

namespace {

// FNV-1a, 64 bits: a fingerprint of an output for the golden below.
uint64_t fingerprint(const std::string& bytes)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

}  // namespace

// Every output of the method over a grown source (with one enumeration type
// name, and with one per boot function), byte for byte as the compiler wrote
// them before its work on speed and memory: the working file's sections,
// the macro files and the resource script of the comments and error texts.
TEST(BootFunctionMethod, GrownSourceOutputsAreUnchanged)
{
    if (!mdCompilerBuilt(MdCompBootFkt)) GTEST_SKIP() << "the boot-function compiler is not built";
    struct Golden {
        const char* what;
        size_t size;
        uint64_t hash;
    };
    const struct {
        bool uniqueTypes;  // an exported enumeration type per boot function
        std::vector<Golden> golden;
    } cases[] = {
        {false,
         {{"bfvarcomment", 6752, 0xf3ce7a29affd1685ull}, {"bfinterf", 596, 0x9d055a4e7fd05b64ull},
          {"bfsymb", 181911, 0x5e667d4a90e7986aull},     {"boot", 21857, 0x6a3905bfb595b842ull},
          {".m4h", 9798, 0xe3bb6ac0290a1e34ull},         {".m4c", 27414, 0xeeb7897ae739d0efull},
          {"rc", 17547, 0x31dc79d01ba2931dull}}},
        {true,
         {{"bfvarcomment", 6752, 0xf3ce7a29affd1685ull}, {"bfinterf", 5723, 0xce1150e4a81e87a5ull},
          {"bfsymb", 185216, 0xc47cf4b32894ace1ull},     {"boot", 21857, 0x6a3905bfb595b842ull},
          {".m4h", 9798, 0xe3bb6ac0290a1e34ull},         {".m4c", 27414, 0xeeb7897ae739d0efull},
          {"rc", 17547, 0x31dc79d01ba2931dull}}},
    };
    const std::vector<std::pair<std::string, std::string>> host = {
        {"bfvarcomment", ""}, {"bfinterf", ""}, {"bfsymb", ""}, {"boot", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uniqueTypes ? "a type name per boot function" : "one type name");
        const std::string source = bfbench::grownSourceOf(120, c.uniqueTypes);
        MessageCapture messages;
        Method m(source.substr(source.find("BEGIN_BF_FUNCTIONS")), 0, host);
        MdFrontContext ctx = m.src.context();
        ctx.flag = false;
        ASSERT_EQ(m.run(ctx), 0);
        EXPECT_TRUE(messages.records.empty());
        const std::string base = m.macroBase.substr(m.macroBase.find_last_of('/') + 1);
        for (const Golden& g : c.golden) {
            const std::string what = g.what;
            std::string bytes = what == "rc"    ? readFile(m.commentScript.path())
                                : what[0] == '.' ? readFile(m.macroBase + what)
                                                 : sectionText(m.src.work, g.what);
            // The macro files name their set by the file's base name, which
            // is a temporary one.
            for (size_t at; (at = bytes.find(base)) != std::string::npos;) bytes.replace(at, base.size(), "BASE");
            EXPECT_EQ(bytes.size(), g.size) << what;
            EXPECT_EQ(fingerprint(bytes), g.hash) << what << std::hex << " 0x" << fingerprint(bytes);
        }
        ::unlink((m.macroBase + ".m4h").c_str());
        ::unlink((m.macroBase + ".m4c").c_str());
    }
}
