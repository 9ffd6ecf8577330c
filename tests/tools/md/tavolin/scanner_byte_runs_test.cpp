// Every section compiler's scanner on long runs of one byte and on NUL bytes
// in its strings: time linear in the input, and a NUL in a string reported
// as an unexpected character (message base + 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdAlarmParser.h"
#include "tools/md/tavolin/MdBfParser.h"
#include "tools/md/tavolin/MdConnectionParser.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdImplParser.h"
#include "tools/md/tavolin/MdSuppTOParser.h"
#include "tools/md/tavolin/MdVarCommentParser.h"
#include "tools/md/tavolin/MdVarExtParser.h"

using namespace fronttest;

namespace {

// The boot-function grammar alone (its compiler needs a class provider).
struct BfGrammar : MdBfGrammar {
    void read(std::istream& in) { setInput(&in); }
};

struct Compiler {
    const char* name;
    uint32_t msgBase;
    bool strings;  // its grammar has strings
    std::function<int32_t(const std::string&)> compile;
};

// Compiles text with the compiler into a descriptor in memory; its result.
template <class Parser>
int32_t compileWith(const std::string& text)
{
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    std::istringstream in(text);
    Parser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.rcPath = String("/dev/null");
    args.outputBase = String("/nonexistent/dir/impl");
    p.init(args);
    return p.parse();
}

const Compiler kCompilers[] = {
    {"implementations", 1000, true, compileWith<MdImplParser>},
    {"connections", 600, false, compileWith<MdConnectionParser>},
    {"supported types", 800, false, compileWith<MdSuppTOParser>},
    {"alarms", 700, true, compileWith<MdAlarmParser>},
    {"error texts", 900, true, compileWith<MdErrMsgTxtParser>},
    {"comments", 300, true, compileWith<MdVarCommentParser>},
    {"variables", 400, true, compileWith<MdVarExtParser>},
    {"boot functions", 500, true,
     [](const std::string& text) {
         std::istringstream in(text);
         BfGrammar p;
         p.read(in);
         return p.parse();
     }},
};

double seconds(const Compiler& c, const std::string& text)
{
    const auto start = std::chrono::steady_clock::now();
    c.compile(text);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(ScannerByteRuns, NulInAStringIsAnUnexpectedCharacter)
{
    MessageCapture messages;
    for (const Compiler& c : kCompilers) {
        if (!c.strings) continue;
        messages.clear();
        EXPECT_NE(c.compile("\"Positi" + std::string(1, '\0') + "on\""), 0) << c.name;
        EXPECT_GE(messages.count(c.msgBase + 1), 1u) << c.name;
    }
}

TEST(ScannerByteRuns, EveryCompilerReadsLongRunsInLinearTime)
{
    // A megabyte of one byte in a comment, a string and a text block of each
    // compiler, against a megabyte of small letters in a comment: a NUL
    // inside a token made flex read the token again from its start at each
    // NUL (a line of them: its length squared). 16 KB go first, so that
    // such a case fails at once; the bound leaves room for a loaded machine.
    const char* const contexts[] = {"", "(*", "\"", "BEGIN_IO_DATA BEGIN_ACT ", "/*", "//",
                                    "BEGIN_BF BF_FUNCTION(a)(b) {", "VARCOMMENT $1 : \""};
    const char bytes[] = {'\0', 'x', 'E', '*', '"', '\\', '\n', '\r'};
    for (const std::size_t size : {std::size_t(16) << 10, std::size_t(1) << 20}) {
        for (const Compiler& c : kCompilers) {
            const double floor = std::max(seconds(c, "(*" + std::string(size, 'q')), size * 5e-9);
            for (const char* context : contexts) {
                for (const char b : bytes) {
                    const double s = seconds(c, context + std::string(size, b));
                    EXPECT_LT(s, 20 * floor + 0.1) << c.name << ", byte " << int(b) << " after '" << context << "', "
                                                   << size << " bytes: " << s << " s, small letters " << floor << " s";
                }
            }
        }
        if (HasFailure()) return;
    }
}
