// What the tavolin command says about two kinds of fault in a source, into
// a new target and into an existing one: each mistake of the boot functions
// once at its line (their compiler reads the section twice) and counted
// once, and a NUL byte named wherever a message quotes it and kept out of
// every text output: a step that meets one fails, and TARGET, the resource
// script and the macro files stay as they were.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "co/GlobTools.h"
#include "tests/host/HostFiles.h"
#include "tests/host/HostSysVars.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
const hosttest::SysVars kAxisVars = hosttest::exampleSysVars("axis.tos");

using hosttest::exists;
using hosttest::readFile;

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

struct Result {
    int exit = -1;
    std::string err;
};

class SourceFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(exists(kTavolin)) << "build the tavolin command first";
        m_dir = createTempDirectory().c_str();
        ASSERT_FALSE(m_dir.empty());
        m_axis = readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
        ASSERT_FALSE(m_axis.empty());
    }
    void TearDown() override { removeDirectoryTree(m_dir.c_str()); }

    // Compiles `source` (written as NAME.tos) into TARGET.dsc, its resource
    // script TARGET.rc and macro files TARGET.m4h/.m4c.
    Result compile(const std::string& name, const std::string& source, const std::string& target,
                   const std::string& options = "")
    {
        std::ofstream(path(name + ".tos"), std::ios::binary) << source;
        const std::string cmd = "cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS " + kAxisVars.env + " '" + kTavolin +
                                "' compile " + name + ".tos -o " + target + ".dsc" + kAxisVars.flag + options +
                                " >stdout 2>stderr";
        const int status = std::system(cmd.c_str());
        Result r;
        r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = readFile(path("stderr"));
        return r;
    }
    // The bytes of the target and the text outputs beside it ("" for a
    // file that is not there).
    std::vector<std::string> outputs(const std::string& target)
    {
        std::vector<std::string> files;
        for (const char* ext : {".dsc", ".rc", ".m4h", ".m4c"}) files.push_back(readFile(path(target + ext)));
        return files;
    }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
    std::string m_axis;
};

// The example with `from` (which it must hold) replaced by `to`.
std::string edited(const std::string& axis, const std::string& from, const std::string& to)
{
    const std::size_t at = axis.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at == std::string::npos) return axis;
    return axis.substr(0, at) + to + axis.substr(at + from.size());
}

// The line of the first NUL byte of source.
int nulLine(const std::string& source)
{
    const std::size_t at = source.find('\0');
    return 1 + int(std::count(source.begin(), source.begin() + std::ptrdiff_t(at), '\n'));
}

TEST_F(SourceFaults, ANulByteIsNamedAndReachesNoOutput)
{
    const std::string nul(1, '\0');
    // The example compiles, and none of its text outputs holds a NUL byte.
    const Result clean = compile("axis", m_axis, "old");
    ASSERT_EQ(clean.exit, 0) << clean.err;
    const std::vector<std::string> before = outputs("old");
    for (std::size_t i = 1; i < before.size(); ++i) {
        EXPECT_NE(before[i], "") << i;
        EXPECT_EQ(before[i].find('\0'), std::string::npos) << i;
    }
    const std::string named = "'\\0'";
    // Message texts of the blocks whose scanner message has no place for
    // the character: the handler says that an argument found none.
    const std::string noPlace = "Fehler im Scanner Msg-Parameterfehler";
    const struct {
        const char* where;
        std::string from, to;
        std::string said;  // "id text" at the NUL's line
    } cases[] = {
        {"the top level", "\nVARCOMMENT\n", "\n" + nul + "\nVARCOMMENT\n", "201 Scanner Fehler, unerwartetes Zeichen " + named},
        {"the header, between its entries", "    DATE :=", nul + "    DATE :=",
         "201 Scanner Fehler, unerwartetes Zeichen " + named},
        {"the header's comment text", "\"Positionierachse\"", "\"Positionier" + nul + "achse\"",
         "201 Scanner Fehler, unerwartetes Zeichen " + named},
        {"a variable comment", "\"Istposition der Achse\"", "\"Ist" + nul + "position der Achse\"",
         "301 Scanner Fehler, unerwartetes Zeichen " + named},
        {"a boot-function comment", "\"Hoechstgeschwindigkeit\"\n", "\"Hoechst" + nul + "geschwindigkeit\"\n",
         "301 Scanner Fehler, unerwartetes Zeichen " + named},
        {"a configuration text", "\"Hydraulik\"", "\"Hydr" + nul + "aulik\"",
         "401 Scanner Fehler, unerwartetes Zeichen " + named},
        {"a bit text", "\"Referenziert\"", "\"Referen" + nul + "ziert\"", "401 Scanner Fehler, unerwartetes Zeichen " + named},
        {"the values, between entries", "    $5[16#FFFFFFFF] : Def(TRUE)", nul + "    $5[16#FFFFFFFF] : Def(TRUE)",
         "401 Scanner Fehler, unerwartetes Zeichen " + named},
        {"a connection", "DIRECTION := IN;", "DIRECTION := " + nul + "IN;", "601 " + noPlace},
        {"an alarm string", "\"Schleppfehler\"\n", "\"Schlepp" + nul + "fehler\"\n", "701 " + noPlace},
        {"an implementation function's body", "return BF_OK;", "return" + nul + "BF_OK;",
         "518 Zeichen " + named + " in BF_FUNCTION(checkLimits) nicht zulässig"},
        {"a comment in a message function", "/* forwarded", "/* forward" + nul + "ed",
         "518 Zeichen " + named + " in BF_MSG_FUNCTION(reportLimits) nicht zulässig"},
        {"a DEFAULT code block", "DEFAULT BEGIN_ACT\n                applyLimits();",
         "DEFAULT BEGIN_ACT\n                apply" + nul + "Limits();", "518 Zeichen " + named + " in DEFAULT nicht zulässig"},
        {"a MODIFY code block", "MODIFY (limits.velocity) BEGIN_ACT\n", "MODIFY (limits.velocity) BEGIN_ACT\n" + nul,
         "518 Zeichen " + named + " in MODIFY(limits.velocity) nicht zulässig"},
        {"a CHECK block", "RETURN 1; END_IF;", "RETURN 1;" + nul + " END_IF;",
         "518 Zeichen " + named + " in CHECK nicht zulässig"},
        {"an INSTANTIATE code block", "axisCount := axisCount + 1;", "axisCount := axisCount" + nul + " + 1;",
         "518 Zeichen " + named + " in INSTANTIATE(posAxis) nicht zulässig"},
        {"a boot-function declaration", "maxVelocity : LREAL := 1000.0", "maxVelocity " + nul + ": LREAL := 1000.0",
         "501 Fehler im Scanner Msg-Parameterfehler"},
        {"the address table", "$3 : @16#108", "$3 :" + nul + " @16#108", "501 " + noPlace},
        {"the I/O text", "IO_INPUT(statusWord", "IO_INPUT(" + nul + "statusWord",
         "1005 Zeichen " + named + " in BEGIN_IO_DATA nicht zulässig"},
        {"the I/O data, between tokens", "    END_ACT\nEND_IO_DATA", "    END_ACT\n" + nul + "END_IO_DATA",
         "1001 " + noPlace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const std::string source = edited(m_axis, c.from, c.to);
        const std::string said = "nul.tos(" + std::to_string(nulLine(source)) + ") : Fehler " + c.said;
        // Into a new target: nothing written.
        ::unlink(path("new.dsc").c_str());
        const Result fresh = compile("nul", source, "new");
        EXPECT_EQ(fresh.exit, 1);
        EXPECT_EQ(occurrences(fresh.err, said), 1u) << fresh.err;
        for (const std::string& out : outputs("new")) EXPECT_EQ(out, "");
        // Into the target of the example, twice: it stays as it was, and so
        // do its resource script and macro files.
        for (int run = 0; run < 2; ++run) {
            const Result again = compile("nul", source, "old");
            EXPECT_EQ(again.exit, 1) << run;
            EXPECT_EQ(occurrences(again.err, said), 1u) << again.err;
            EXPECT_TRUE(outputs("old") == before) << run;
        }
    }
}

// A NUL byte at any place of the example (every 17th byte): the compile
// either succeeds with outputs that hold no NUL byte (one in a comment is
// skipped) or fails and writes nothing; no message carries a NUL byte, and
// nothing crashes.
TEST_F(SourceFaults, ANulByteAnywhereReachesNoOutput)
{
    // The table of the system variables made once, as a file.
    const std::string symb = path("axis.symb");
    const std::string cmd = "'" + hosttest::mksymbPath() + "' '" + TV_SOURCE_DIR + "/examples/axis.sysvars' '" + symb + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string env = hosttest::sysVarsFileEnv(symb);
    int failed = 0, succeeded = 0;
    for (std::size_t at = 0; at <= m_axis.size(); at += 17) {
        const std::string source = m_axis.substr(0, at) + std::string(1, '\0') + m_axis.substr(at);
        std::ofstream(path("nul.tos"), std::ios::binary) << source;
        for (const char* ext : {".dsc", ".rc", ".m4h", ".m4c"}) ::unlink(path("nul" + std::string(ext)).c_str());
        const std::string run = "cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS " + env + " '" + kTavolin +
                                "' compile nul.tos -o nul.dsc --flag 0 >stdout 2>stderr";
        const int status = std::system(run.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << at;
        const int exit = WEXITSTATUS(status);
        const std::string err = readFile(path("stderr"));
        EXPECT_EQ(err.find('\0'), std::string::npos) << at;
        const std::vector<std::string> out = outputs("nul");
        if (exit == 0) {
            ++succeeded;
            // the resource script and the macro files (TARGET is a compound file)
            for (std::size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i].find('\0'), std::string::npos) << at;
            EXPECT_NE(out[3], "") << at;
        } else {
            ++failed;
            EXPECT_EQ(exit, 1) << at << err;
            for (const std::string& o : out) EXPECT_EQ(o, "") << at;
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(succeeded, 0);
}

// A mistake in the boot functions is said once at its line, and the counts
// line counts it once; one that only the first reading finds (two names
// that meet in lower case) is said too. The same into an existing target.
TEST_F(SourceFaults, EachBootFunctionMistakeIsSaidOnce)
{
    ASSERT_EQ(compile("axis", m_axis, "old").exit, 0);
    const std::vector<std::string> before = outputs("old");
    const std::string at = "        axisCount : UINT := 1;\n";
    const std::string source =
        edited(m_axis, at, at + "        text : STRING := 5;\n        Twin : INT;\n        twin : INT;\n"
                                "        axisCount : UINT;\n");
    const int first = 1 + int(std::count(source.begin(), source.begin() + std::ptrdiff_t(source.find(at)), '\n'));
    const std::vector<std::string> said = {
        "(" + std::to_string(first + 1) + ") : Fehler 512 falsche Initialisierung\n",
        "(" + std::to_string(first + 4) + ") : Fehler 505 doppelte Definition von axisCount\n",
        "(" + std::to_string(first + 3) + ") : Fehler 505 doppelte Definition von twin\n",
    };
    for (const char* target : {"new", "old", "old"}) {
        SCOPED_TRACE(target);
        const Result all = compile("twice", source, target, " --max-messages 0");
        EXPECT_EQ(all.exit, 1);
        std::string expected;
        for (const std::string& s : said) expected += "twice.tos" + s;
        EXPECT_EQ(all.err.substr(0, expected.size()), expected) << all.err;
        EXPECT_EQ(occurrences(all.err, "Fehler 5"), said.size()) << all.err;
        // One shown, the others counted once each.
        const Result one = compile("twice", source, target, " --max-messages 1");
        EXPECT_NE(one.err.find("… and 2 more messages (2 errors)\n"), std::string::npos) << one.err;
        if (std::string(target) == "old") {
            EXPECT_TRUE(outputs("old") == before);
        }
    }
}

}  // namespace
