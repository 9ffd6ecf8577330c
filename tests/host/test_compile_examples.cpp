// Every example source compiled by the tavolin command into a new target:
// an independent compound-file reader finds the descriptor header the
// source gives and the compiled supported types, the macro files hold the
// implementation, and the command leaves nothing in the temporary directory.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "co/GlobTools.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
// Every compile here runs with "--flag 0": the examples' boot functions need
// the name classifier, the stand-in beside the command.
// The system interpreter, which has the compound-file reader installed.
const char kPython[] = "/usr/bin/python3";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    return names;
}

int shell(const std::string& cmd)
{
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CompileExamples : public ::testing::Test {
protected:
    // A stream of a compound file as the independent reader sees it.
    std::string stream(const std::string& file, const char* name)
    {
        const std::string dump = m_dir + "/dump";
        EXPECT_EQ(shell(std::string(kPython) + " -c 'import olefile,sys; "
                        "sys.stdout.buffer.write(olefile.OleFileIO(sys.argv[1]).openstream(sys.argv[2]).read())' '" +
                        file + "' " + name + " >'" + dump + "'"),
                  0)
            << file << " " << name;
        return readFile(dump);
    }

    void SetUp() override
    {
        struct stat st;
        ASSERT_EQ(::stat(kTavolin.c_str(), &st), 0) << "build the tavolin command first";
        m_dir = createTempDirectory().c_str();
        m_tmp = m_dir + "/tmp";
        ASSERT_EQ(::mkdir(m_tmp.c_str(), 0700), 0);
    }
    void TearDown() override { removeDirectoryTree(m_dir.c_str()); }

    std::string m_dir;
    std::string m_tmp;  // the command's temporary directory
};

TEST_F(CompileExamples, HeaderSectionAsAnotherReaderSeesIt)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;

    const struct {
        const char* file;
        const char* kind;
        const char* header;
    } cases[] = {
        {"axis.tos", "1",
         "3\r\n{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 \r\n0 \r\n"
         "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 1 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{5A3C2E11-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 0 \r\n0\r\n"
         "19 2024-05-14-09:30:00\r\n"
         "65 Positionierachse [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n0\r\n0\r\n"},
        {"encoder.tos", "2",
         "3\r\n{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 \r\n0 \r\n"
         "{9D2F4A61-3C58-4E27-B1A4-6F0E2D8C7B15}  1 0 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n0\r\n"
         "19 2024-05-14-10:15:00\r\n"
         "49  [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n0\r\n0\r\n"},
        {"motion.tps", "4",
         "3\r\n{81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0 \r\n0 \r\n"
         "{3E8A1B72-6D94-4F05-A3C1-8B7D2E4F6A90}  3 2 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{3E8A1B73-6D94-4F05-A3C1-8B7D2E4F6A90}  3 0 \r\n0\r\n"
         "19 2024-05-14-11:00:00\r\n"
         "73 Grundfunktionen Bewegung [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n0\r\n0\r\n"},
        {"controller.dvs", "5",
         "3\r\n{AC5106C8-1BF0-4BFA-B3C9-072AAD0516D3}  0 0 \r\n"
         "1 {81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0  \r\n"
         "{C41D7E23-0B6F-4A98-8E15-D2A9F3B06C47}  4 0 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n0\r\n"
         "19 2024-05-14-11:45:00\r\n"
         "82 Steuerung mit Bewegungsfunktionen [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n0\r\n0\r\n"},
    };
    for (const auto& c : cases) {
        const std::string source = std::string(TV_SOURCE_DIR) + "/examples/" + c.file;
        const std::string target = m_dir + "/" + c.file + ".dsc";
        const std::string out = m_dir + "/out", err = m_dir + "/err";
        shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS TMPDIR='" + m_tmp + "' '" + kTavolin + "' compile --flag 0 '" +
              source + "' -o '" + target + "' --rc '" + target + ".rc' >'" + out + "' 2>'" + err + "'");
        const std::string printed = readFile(out);
        EXPECT_EQ(printed.rfind(std::string("openSource: ok, object kind ") + c.kind + "\n", 0), 0u)
            << c.file << "\n" << printed << readFile(err);
        // Every example reaches the implementation compiler; the licence data
        // of the device land in its section, which has no rule for them.
        const std::string impl = std::string(c.file) == "controller.dvs"
                                     ? "compileImplementations: status 0xBE11000B"
                                     : "compileImplementations: ok, appended to " + m_dir + "/" + c.file + ".m4h and ";
        EXPECT_NE(printed.find(impl), std::string::npos) << printed;

        // A step that fails keeps a new target from being written.
        if (std::string(c.file) == "controller.dvs")
            EXPECT_NE(access(target.c_str(), F_OK), 0) << c.file;
        else
            EXPECT_EQ(stream(target, "header"), c.header) << c.file;
        EXPECT_TRUE(entries(m_tmp).empty()) << c.file << ": " << entries(m_tmp).front();
    }
}

TEST_F(CompileExamples, CompiledSectionsAndMacroFiles)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;

    // The package: its four supported types in "rttotypes" of the target.
    const std::string out = m_dir + "/out";
    const std::string pkg = m_dir + "/motion.dsc";
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" + std::string(TV_SOURCE_DIR) +
          "/examples/motion.tps' -o '" + pkg + "' --impl '" + m_dir + "/pkg' >'" + out + "' 2>&1");
    std::string printed = readFile(out);
    EXPECT_NE(printed.find("compileSupportedTOs: ok\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("compileImplementations: ok, appended to " + m_dir + "/pkg.m4h and " + m_dir + "/pkg.m4c\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(stream(pkg, "rttotypes"),
              "4 "
              "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 1  7 posAxis 2147483647  "
              "{9D2F4A61-3C58-4E27-B1A4-6F0E2D8C7B15}  1 0  12 driveEncoder 2  "
              "{E2B7C415-9A3D-4F60-8C21-5D9E0F7A3B48}  1 3  8 camTrack 2147483647  "
              "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E61}  2 0  13 followingAxis 7  ");
    EXPECT_EQ(readFile(m_dir + "/pkg.m4c"), "IMPL_IMPL()\nIO_IMPL(`\n    ')\n");

    // The technology object: its I/O text in the macro files beside the target.
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" + std::string(TV_SOURCE_DIR) +
          "/examples/axis.tos' -o axis.dsc >'" + out + "' 2>&1");
    printed = readFile(out);
    EXPECT_NE(printed.find("compileImplementations: ok, appended to axis.m4h and axis.m4c\n"), std::string::npos)
        << printed;
    EXPECT_EQ(readFile(m_dir + "/axis.m4h"), "BEGIN_DECLIMPL()\nDECL_IO()\nEND_DECLIMPL()\n");
    EXPECT_EQ(readFile(m_dir + "/axis.m4c"),
              "IMPL_IMPL()\n"
              "IO_IMPL(`\n"
              "    IO_INPUT(actualPosition, 16#40)\n"
              "    IO_INPUT(statusWord, 16#48)\n"
              "    IO_OUTPUT(setpoint, 16#50)\n"
              "    IO_OUTPUT(controlWord, 16#58)\n"
              "    ')\n");
}

TEST_F(CompileExamples, AlarmSectionsAndTheirStringTable)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;

    const std::string target = m_dir + "/encoder.dsc", rc = m_dir + "/encoder.rc", out = m_dir + "/out";
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" + std::string(TV_SOURCE_DIR) +
          "/examples/encoder.tos' -o '" + target + "' --rc '" + rc + "' >'" + out + "' 2>&1");
    EXPECT_EQ(stream(target, "almcfg"),
              "1 30001 30001 4\r\n0 1 0 \r\n1 1 1 \r\n2 1 2 \r\n3 1 3  1 1 5 \r\n1 1 0 \r\n1 1 1 0  \r\n0 \r\n0 "
              "\r\n0  \r\n4 0 0 1 0 2 1 3 1 ")
        << readFile(out);
    // Six pairs numbered on from the counter the earlier methods left.
    std::istringstream almstr(stream(target, "almstr"));
    int count = 0, first = -1;
    almstr >> count;
    EXPECT_EQ(count, 6);
    for (int i = 0; i < count; ++i) {
        int ordinal = -1, id = -1;
        almstr >> ordinal >> id;
        if (i == 0) first = id;
        EXPECT_EQ(ordinal, i);
        EXPECT_EQ(id, first + i);
    }
    const std::string script = readFile(rc);
    EXPECT_NE(script.find("\"Signalpegel zu klein\"\r\nEND\r\n\r\n"), std::string::npos) << script;

    // Without a script the table cannot be written, and the line says why.
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" + std::string(TV_SOURCE_DIR) +
          "/examples/encoder.tos' -o '" + m_dir + "/norc.dsc' >'" + out + "' 2>&1");
    EXPECT_NE(readFile(out).find("compileAlarms: status 0xBE11000B"), std::string::npos) << readFile(out);
    EXPECT_NE(readFile(out).find("the alarm string table needs --rc"), std::string::npos) << readFile(out);
}

TEST_F(CompileExamples, AlarmErrorTextsAfterTheAlarmTable)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;

    const std::string target = m_dir + "/axis.dsc", rc = m_dir + "/axis.rc", out = m_dir + "/out";
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" + std::string(TV_SOURCE_DIR) +
          "/examples/axis.tos' -o '" + target + "' --rc '" + rc + "' >'" + out + "' 2>&1");
    EXPECT_NE(readFile(out).find("compileAlarms: ok"), std::string::npos) << readFile(out);
    // The error texts take every second id from the counter the alarm table left.
    const std::string script = readFile(rc);
    const std::string head = "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x";
    // Their table: the one holding the first error text (the boot-function
    // comment tables follow it).
    const size_t last = script.rfind(head, script.find("\"2 5 -1 Schleppfehler"));
    ASSERT_NE(last, std::string::npos) << script;
    const int n = std::stoi(script.substr(last + head.size(), 4), nullptr, 16);
    char lines[200];
    std::snprintf(lines, sizeof lines, "%04X   \"2 5 -1 Schleppfehler: Abstand zu gross\"\r\n"
                                       "   0x%04X   \"1 1 7 Software-Endschalter erreicht\"\r\nEND\r\n\r\n",
                  n, n + 2);
    EXPECT_EQ(script.substr(last + head.size(), std::strlen(lines)), lines);
    EXPECT_EQ(stream(target, "errmsg"), "2 20001 " + std::to_string(n) + " 20002 " + std::to_string(n + 2) + " ");
}

TEST_F(CompileExamples, CommentSectionsAndTheirStringTable)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;

    const std::string target = m_dir + "/axis.dsc", rc = m_dir + "/axis.rc", out = m_dir + "/out";
    const std::string compile = "cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" +
                                std::string(TV_SOURCE_DIR) + "/examples/axis.tos' -o ";
    shell(compile + "'" + target + "' --rc '" + rc + "' >'" + out + "' 2>&1");
    EXPECT_NE(readFile(out).find("compileComments: ok\n"), std::string::npos) << readFile(out);
    // The comments are the first texts of the source: ids 0-3.
    EXPECT_EQ(stream(target, "varcomment"),
              "4 1 4294967295 0 2 4294967295 1 3 4294967295 1 6 1 2 \r\n1 24 axisstatetype.axis_error 4294967295 3 ");
    EXPECT_NE(readFile(rc).find("   0x0003   \"Achse im Fehlerzustand\"\r\nEND\r\n\r\n"), std::string::npos);

    // Without a script the comment tables cannot be written, and the line says why.
    shell(compile + "'" + m_dir + "/norc.dsc' >'" + out + "' 2>&1");
    EXPECT_NE(readFile(out).find("compileComments: status 0xBE11001B (a temporary stream or section is missing or "
                                 "unreadable), the comment string tables need --rc\n"),
              std::string::npos)
        << readFile(out);
}

}  // namespace

TEST_F(CompileExamples, ConnectionSections)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;
    const struct {
        const char* file;
        const char* connectors;
    } cases[] = {
        {"axis.tos",
         "2 1 8 setpoint 1 {7C9E6679-7425-40DE-944B-E07FC1F90AE7}  1 0 0 0 1 -1 1 0 "
         "2 11 actualValue 2 {7C9E6679-7425-40DE-944B-E07FC1F90AE8}  0 1 1 1 0 1 1 2 "},
        {"encoder.tos", "1 1 12 encoderValue 1 {9D2F4A62-3C58-4E27-B1A4-6F0E2D8C7B15}  0 1 1 1 0 -1 1 0 "},
    };
    for (const auto& c : cases) {
        const std::string out = m_dir + "/out";
        const std::string target = m_dir + "/" + c.file + ".dsc";
        shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS '" + kTavolin + "' compile --flag 0 '" +
              std::string(TV_SOURCE_DIR) + "/examples/" + c.file + "' -o '" + target + "' --rc '" + target +
              ".rc' >'" + out + "' 2>&1");
        EXPECT_NE(readFile(out).find("compileConnections: ok\n"), std::string::npos) << readFile(out);
        EXPECT_EQ(stream(target, "connectors"), c.connectors) << c.file;
    }
}

// The boot functions of both technology-object examples: the sections read by the
// independent readers, and the macro files with the boot-function part
// first and the I/O part after it, which GNU m4 expands with the stub macro
// library of the tests.
TEST_F(CompileExamples, BootFunctionSectionsAndMacroFiles)
{
    if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
        GTEST_SKIP() << "olefile is not installed for " << kPython;
    const std::string src = TV_SOURCE_DIR;
    for (const char* name : {"axis", "encoder"}) {
        const std::string target = m_dir + "/" + name + ".tdf", out = m_dir + "/out";
        shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS TMPDIR='" + m_tmp + "' '" + kTavolin + "' compile --flag 0 '" +
              src + "/examples/" + name + ".tos' -o '" + target + "' --rc '" + m_dir + "/" + name +
              ".rc' >'" + out + "' 2>&1");
        const std::string printed = readFile(out);
        const std::string base = m_dir + "/" + name;
        EXPECT_NE(printed.find("compileBootFunctions: ok, wrote " + base + ".m4h and " + base + ".m4c\n"),
                  std::string::npos)
            << printed;
        EXPECT_TRUE(entries(m_tmp).empty()) << name;

        // The sections, as the compound-file reader lists them and as the
        // readers of "boot" and of the symbol-table text read them.
        EXPECT_EQ(shell(std::string(kPython) + " -c 'import olefile,sys; n=olefile.OleFileIO(sys.argv[1]).listdir(); "
                        "sys.exit(0 if all([s] in n for s in (\"boot\",\"bfsymb\",\"bfinterf\",\"bfvarcomment\")) "
                        "else 1)' '" + target + "'"),
                  0)
            << name;
        EXPECT_EQ(shell(std::string(kPython) + " '" + src + "/tests/bo/bf/boot_reader.py' --ole '" + target +
                        "' >'" + out + "'"),
                  0)
            << name << ": " << readFile(out);
        std::ofstream(m_dir + "/bfsymb", std::ios::binary) << stream(target, "bfsymb");
        EXPECT_EQ(shell(std::string(kPython) + " '" + src + "/tests/base/st/stsymtab/symtab_reader.py' '" + m_dir +
                        "/bfsymb' >'" + out + "'"),
                  0)
            << name << ": " << readFile(out);

        // The boot-function part, then the I/O part.
        const std::string h = readFile(base + ".m4h"), c = readFile(base + ".m4c");
        EXPECT_EQ(h.rfind("include(bfimplmk.m4)\nNAME(" + std::string(name) + ")\n", 0), 0u) << h;
        const std::string end = "END_DECLIMPL()\n";
        EXPECT_NE(h.find("END_DECL()\nBEGIN_DECLIMPL()\n"), std::string::npos) << h;
        EXPECT_EQ(h.size() >= end.size() ? h.substr(h.size() - end.size()) : h, end) << h;
        EXPECT_EQ(c.rfind("include(bfimplmk.m4)\n", 0), 0u) << c;
        const size_t io = std::min(c.find("\nIMPL_IMPL()\n"), c.find("\nNO_IO_IMPL()\n"));
        EXPECT_NE(io, std::string::npos) << c;
        EXPECT_LT(c.find("#define ERRTXT_OFFSET "), io) << c;
        if (std::string(name) == "axis") {
            // The boot functions' error texts take their ids from ERRTXT_OFFSET on.
            const unsigned offset = unsigned(std::atoi(c.c_str() + c.find("ERRTXT_OFFSET ") + 14));
            char line[80];
            std::snprintf(line, sizeof line, "   0x%04X   \"", offset + 1);
            const std::string script = readFile(base + ".rc");
            EXPECT_NE(script.find(std::string(line) + "2 0 -1 Grenzwert muss groesser als 0 sein\""), std::string::npos)
                << offset << "\n" << script;
        }

        // Both expand without a message, every macro known.
        for (const std::string& file : {base + ".m4h", base + ".m4c"}) {
            EXPECT_EQ(shell("timeout 20 m4 -I '" + src + "/tests/host/m4' '" + file + "' >'" + out + "' 2>'" + m_dir +
                            "/err'"),
                      0)
                << file << ": " << readFile(m_dir + "/err");
            EXPECT_EQ(readFile(m_dir + "/err"), "") << file;
            const std::string expanded = readFile(out);
            EXPECT_NE(expanded.find("/* stub_name:" + std::string(name) + " */"), std::string::npos) << expanded;
            EXPECT_EQ(shell("grep -qE '^[A-Z_]+\\(' '" + out + "'"), 1) << file << ":\n" << expanded;
        }
    }
}
