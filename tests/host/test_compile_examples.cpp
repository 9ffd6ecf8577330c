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
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "co/GlobTools.h"
#include "tests/acx/AcxTestWriter.h"
#include "tests/host/HostFiles.h"
#include "tests/host/HostSysVars.h"
#include "tests/tools/md/tavolin/windres_reader.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";
// Every compile here runs with "--flag 0": the examples' boot functions need
// the name classifier, the stand-in beside the command.
// The system interpreter, which has the compound-file reader installed.
const char kPython[] = "/usr/bin/python3";

using hosttest::readFile;

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
        // Every case reads the results through the independent reader.
        if (shell(std::string(kPython) + " -c 'import olefile' 2>/dev/null") != 0)
            GTEST_SKIP() << "olefile is not installed for " << kPython;
        m_dir = createTempDirectory().c_str();
        m_tmp = m_dir + "/tmp";
        m_out = m_dir + "/out";
        m_err = m_dir + "/err";
        ASSERT_EQ(::mkdir(m_tmp.c_str(), 0700), 0);
    }
    void TearDown() override
    {
        if (!m_dir.empty()) removeDirectoryTree(m_dir.c_str());
    }

    // Compiles the example `name` with the options `args` in the scratch
    // directory, its system variables through the stand-in class provider
    // (unless `sysVars` is false); what the command prints goes to m_out,
    // its messages to m_err.
    void compile(const std::string& name, const std::string& args, bool sysVars = true)
    {
        compileSource(std::string(TV_SOURCE_DIR) + "/examples/" + name,
                      sysVars ? hosttest::exampleSysVars(name) : hosttest::SysVars(), args);
    }
    // The same for any source, with the system variables sv.
    void compileSource(const std::string& source, const hosttest::SysVars& sv, const std::string& args)
    {
        shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS TMPDIR='" + m_tmp + "' " + sv.env + "'" + kTavolin +
              "' compile '" + source + "' " + args + sv.flag + " >'" + m_out + "' 2>'" + m_err + "'");
    }
    std::string printed() const { return readFile(m_out); }

    std::string m_dir;
    std::string m_tmp;  // the command's temporary directory
    std::string m_out, m_err;
};

TEST_F(CompileExamples, HeaderSectionAsAnotherReaderSeesIt)
{
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
        const std::string target = m_dir + "/" + c.file + ".dsc";
        compile(c.file, "-o '" + target + "' --rc '" + target + ".rc'");
        const std::string printed = this->printed();
        EXPECT_EQ(printed.rfind(std::string("openSource: ok, object kind ") + c.kind + "\n", 0), 0u)
            << c.file << "\n" << printed << readFile(m_err);
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
    // The package: its four supported types in "rttotypes" of the target.
    const std::string pkg = m_dir + "/motion.dsc";
    compile("motion.tps", "-o '" + pkg + "' --impl '" + m_dir + "/pkg'");
    std::string printed = this->printed();
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

    // The technology object: its I/O text after the boot functions in the
    // macro files beside the target, which name their own base.
    compile("axis.tos", "-o axis.dsc");
    printed = this->printed();
    EXPECT_NE(printed.find("compileImplementations: ok, appended to axis.m4h and axis.m4c\n"), std::string::npos)
        << printed;
    const std::string h = readFile(m_dir + "/axis.m4h"), c = readFile(m_dir + "/axis.m4c");
    const std::string io = "IMPL_IMPL()\n"
                           "IO_IMPL(`\n"
                           "    IO_INPUT(actualPosition, 16#40)\n"
                           "    IO_INPUT(statusWord, 16#48)\n"
                           "    IO_OUTPUT(setpoint, 16#50)\n"
                           "    IO_OUTPUT(controlWord, 16#58)\n"
                           "    ')\n";
    const std::string decl = "BEGIN_DECLIMPL()\nDECL_IO()\nEND_DECLIMPL()\n";
    EXPECT_EQ(h.rfind("include(bfimplmk.m4)\nNAME(axis)\n", 0), 0u) << h;
    EXPECT_NE(c.find("\nNAME(axis)\n"), std::string::npos) << c;
    EXPECT_NE(c.find("\nINCLUDE(axis.h)\n"), std::string::npos) << c;
    ASSERT_GE(h.size(), decl.size());
    ASSERT_GE(c.size(), io.size());
    EXPECT_EQ(h.substr(h.size() - decl.size()), decl);
    EXPECT_EQ(c.substr(c.size() - io.size()), io);
}

TEST_F(CompileExamples, AlarmSectionsAndTheirStringTable)
{
    const std::string target = m_dir + "/encoder.dsc", rc = m_dir + "/encoder.rc";
    compile("encoder.tos", "-o '" + target + "' --rc '" + rc + "'");
    EXPECT_EQ(stream(target, "almcfg"),
              "1 30001 30001 4\r\n0 1 0 \r\n1 1 1 \r\n2 1 2 \r\n3 1 3  1 1 5 \r\n1 1 0 \r\n1 1 1 0  \r\n0 \r\n0 "
              "\r\n0  \r\n4 0 0 1 0 2 1 3 1 ")
        << printed();
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
}

TEST_F(CompileExamples, AlarmErrorTextsAfterTheAlarmTable)
{
    const std::string target = m_dir + "/axis.dsc", rc = m_dir + "/axis.rc";
    compile("axis.tos", "-o '" + target + "' --rc '" + rc + "'");
    EXPECT_NE(printed().find("compileAlarms: ok"), std::string::npos) << printed();
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
    const std::string target = m_dir + "/axis.dsc", rc = m_dir + "/axis.rc";
    compile("axis.tos", "-o '" + target + "' --rc '" + rc + "'");
    EXPECT_NE(printed().find("compileComments: ok\n"), std::string::npos) << printed();
    // The comments are the first texts of the source: ids 0-3.
    EXPECT_EQ(stream(target, "varcomment"),
              "4 1 4294967295 0 2 4294967295 1 3 4294967295 1 6 1 2 \r\n1 24 axisstatetype.axis_error 4294967295 3 ");
    EXPECT_NE(readFile(rc).find("   0x0003   \"Achse im Fehlerzustand\"\r\nEND\r\n\r\n"), std::string::npos);

    // Without --rc the script is TARGET with ".rc": the same tables.
    compile("axis.tos", "-o '" + m_dir + "/norc.dsc'");
    EXPECT_NE(printed().find("compileComments: ok\n"), std::string::npos) << printed();
    EXPECT_EQ(readFile(m_dir + "/norc.rc"), readFile(rc));
}

}  // namespace

TEST_F(CompileExamples, ConnectionSections)
{
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
        const std::string target = m_dir + "/" + c.file + ".dsc";
        compile(c.file, "-o '" + target + "' --rc '" + target + ".rc'");
        EXPECT_NE(printed().find("compileConnections: ok\n"), std::string::npos) << printed();
        EXPECT_EQ(stream(target, "connectors"), c.connectors) << c.file;
    }
}

// The variables sections through the command: the system-variable tables of
// the examples reach the compiler as "symb" through the stand-in class
// provider; the string ids go on from the comments' (ids 0-3 in axis.tos).
TEST_F(CompileExamples, VariableSectionsAndTheirStringTables)
{
    const std::string target = m_dir + "/axis.dsc", rc = m_dir + "/axis.rc";
    compile("axis.tos", "-o '" + target + "' --rc '" + rc + "'");
    EXPECT_NE(printed().find("compileComments: ok\ncompileVariables: ok\n"), std::string::npos) << printed();
    EXPECT_EQ(stream(target, "units"),
              "429\r\n4\r\n0 1 1 61 2 137 3 14 2\r\n1 4 3 4 6 341 \r\n61 4 62 63 65 343 \r\n\r\n3\r\n1 4 61 63 137 139 ");
    EXPECT_EQ(stream(target, "varval"),
              "9 1 4294967295 1 0 1 4 1 2 2 1 1 3 61 -1 0 4 2 2 1 5 61 -1 6 7 3 4294967295 1 8 137 -1 0 9 "
              "4 4294967295 1 10 1 -1 0 11 5 4294967295 1 12 0 -1 13 12 7 4294967295 1 14 0 -1 14 15 "
              "8 4294967295 1 16 0 -1 16 17 11 4294967295 0");
    EXPECT_EQ(stream(target, "varext"),
              "5 1 4294967295 1 1 0 0 0 0 2 4294967295 1 3 0 0 1 2 3 4294967295 1 3 0 0 1 2 "
              "4 4294967295 1 3 0 0 1 2 7 2 0");
    EXPECT_EQ(stream(target, "varcont"), "2 8 4294967295 9 8 4294967295 10 ");
    // Configurations 4-8 after the four comment texts, the bit texts 9-15.
    EXPECT_EQ(stream(target, "cfghead"), "1 2 1 4 2 5  1 1 6 2 1 7 2 8  ");
    EXPECT_EQ(stream(target, "bitfield"),
              "2 1 10 9 2 12 11 \r\n3 7 4294967295 0 2 13 7 4294967295 1 1 14 7 4294967295 4 1 15 ");
    const std::string constants = stream(target, "const");
    EXPECT_EQ(constants.substr(0, 34), "18 0 0 1 15 1 0 2147483647 \r\n1 0 1");
    EXPECT_EQ(constants.substr(constants.size() - 33), "\r\n17 0 1 11 1 64 2147483647 \r\n18 ");
    const std::string script = readFile(rc);
    EXPECT_NE(script.find("STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0009   \"aus\"\r\n   0x000A   \"ein\"\r\n"
                          "   0x000B   \"nicht bereit\"\r\n   0x000C   \"bereit\"\r\n   0x000D   \"Achse bereit\"\r\n"
                          "   0x000E   \"Regler freigegeben\"\r\n   0x000F   \"Referenziert\"\r\nEND\r\n\r\n"
                          "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0x0004   \"Standard\"\r\n   0x0005   \"Hydraulik\"\r\n"
                          "   0x0006   \"Antriebsart\"\r\n   0x0007   \"elektrisch\"\r\n   0x0008   \"hydraulisch\"\r\n"
                          "END\r\n\r\n"),
              std::string::npos)
        << script;

    // The encoder: configurations only, after its two comment texts.
    const std::string encoder = m_dir + "/encoder.dsc", encoderRc = m_dir + "/encoder.rc";
    compile("encoder.tos", "-o '" + encoder + "' --rc '" + encoderRc + "'");
    EXPECT_NE(printed().find("compileVariables: ok\n"), std::string::npos) << printed();
    EXPECT_EQ(stream(encoder, "cfghead"), "1 2 1 2 2 3  0 ");
    EXPECT_EQ(stream(encoder, "bitfield"), "0 \r\n0 ");
    EXPECT_EQ(stream(encoder, "varval"),
              "5 1 4294967295 1 0 55 -1 1 2 2 4294967295 1 0 147 -1 3 4 3 1 1 5 0 -1 6 7 3 2 1 8 0 -1 9 10 "
              "4 4294967295 1 11 0 -1 11 12");
    EXPECT_NE(readFile(encoderRc).find("BEGIN\r\n   0x0002   \"Inkrementalgeber\"\r\n   0x0003   \"Absolutwertgeber\"\r\n"
                                       "END\r\n\r\nSTRINGTABLE"),
              std::string::npos)
        << readFile(encoderRc);

    // Without the table the first statement that looks a variable up stops
    // the compile: message 0, no new target; an existing one, whose "symb"
    // the stand-in empties, keeps its bytes.
    compile("axis.tos", "-o '" + m_dir + "/none.dsc' --rc '" + rc + "'", false);
    EXPECT_NE(printed().find("compileVariables: status 0xBE11000B"), std::string::npos) << printed();
    EXPECT_NE(readFile(m_err).find("axis.tos(66) : Fehler 0 Interner Fehler\n"), std::string::npos) << readFile(m_err);
    EXPECT_NE(access((m_dir + "/none.dsc").c_str(), F_OK), 0);
    const std::string before = readFile(target);
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS TMPDIR='" + m_tmp + "' TVCLSPRV_SECTION=symb '" + kTavolin +
          "' compile '" + TV_SOURCE_DIR + "/examples/axis.tos' -o '" + target + "' --rc '" + rc + "' --flag 0 >'" +
          m_out + "' 2>'" + m_err + "'");
    EXPECT_NE(printed().find("compileVariables: status 0xBE11000B"), std::string::npos) << printed();
    EXPECT_NE(readFile(m_err).find("axis.tos(66) : Fehler 0 Interner Fehler\n"), std::string::npos) << readFile(m_err);
    EXPECT_EQ(readFile(target), before);
    EXPECT_TRUE(entries(m_tmp).empty());
}

// An ACX file imported after the variables section: the axis's system
// variables renamed "p<address>" (the names parameter files use) with a
// DINT p12 added, and a file that sets the default configuration and the
// values and attributes of p12. The import replaces what the section
// compiled by what the file says.
TEST_F(CompileExamples, AcxImportAfterTheVariablesSection)
{
    std::ifstream in(std::string(TV_SOURCE_DIR) + "/examples/axis.sysvars");
    std::ofstream list(m_dir + "/axis_p.sysvars");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string address, name, type;
        if (line.empty() || line[0] == '#' || !(fields >> address >> name) || !std::getline(fields, type)) continue;
        list << address << " p" << address << type << "\n";
    }
    list << "12 p12 DINT\n";
    list.close();

    using namespace acxtest;
    const Bytes tags = compound(
        0, {compound(2144, {compound(2147, {str(2121, "5A3C2E108B414C7D9E2F1A6B3C4D5E60"), u8(2122, 2), u8(2123, 1)}),
                            compound(2107, {u32(2131, 1), u32(2132, 2)}),
                            compound(1037, {u16(136, 12), u32(2137, 0), u16(131, 2),
                                            compound(2116, {compound(2117, {i32(138, 0), i32(140, 10), i32(139, 100)})}),
                                            u32(2139, 1), u16(2127, 3), u16(134, 2), u32(2140, 5), u32(2141, 7)})})});
    ASSERT_TRUE(writeFile(m_dir + "/axis.acx", file({tags})));
    const std::string target = m_dir + "/axis.dsc";
    shell("cd '" + m_dir + "' && env -u TAVOLIN_SETTINGS TMPDIR='" + m_tmp + "' " +
          hosttest::sysVarsEnv(m_dir + "/axis_p.sysvars") + "'" + kTavolin + "' compile '" + TV_SOURCE_DIR +
          "/examples/axis.tos' -o '" + target + "' --rc axis.rc --acx axis.acx --flag 0 >'" + m_out + "' 2>'" + m_err +
          "'");
    const std::string printed = this->printed();
    EXPECT_EQ(printed.rfind("openSource: ok, object kind 1\n", 0), 0u) << printed << readFile(m_err);
    EXPECT_NE(printed.find("compileVariables: ok\n"), std::string::npos) << printed << readFile(m_err);
    EXPECT_EQ(stream(target, "varext"), "1 12 4294967295 1 0 6145 5 7 10");
    EXPECT_EQ(stream(target, "varcont"), "0 ");
    EXPECT_EQ(stream(target, "cfghead").substr(0, 2), "2 ");
    EXPECT_TRUE(entries(m_tmp).empty());
}

// The resource script of every example that compiles, read back by a
// resource compiler that no one here wrote: it compiles without a message
// and every text line is read at its id; the same after a recompile into the
// target. (controller.dvs fails its implementation method and writes none.)
TEST_F(CompileExamples, EveryScriptCompilesWithAResourceCompiler)
{
    RCTEST_NEEDS_WINDRES();
    for (const char* name : {"axis.tos", "encoder.tos", "motion.tps"}) {
        const std::string target = m_dir + "/" + name + ".dsc", rc = target + ".rc";
        for (const char* run : {"new target", "recompile"}) {
            compile(name, "-o '" + target + "' --rc '" + rc + "' --rc-text 'Beispiel'");
            EXPECT_EQ(printed().find(": status"), std::string::npos) << name << " " << run << "\n" << printed();
            const rctest::RcReadBack r = rctest::readBackScript(rc, m_dir + "/res");
            EXPECT_EQ(r.exit, 0) << name << " " << run << ": " << r.messages;
            EXPECT_EQ(r.messages, "") << name << " " << run;
            EXPECT_TRUE(r.resRead) << name << " " << run;
            std::istringstream script(readFile(rc));
            std::size_t lines = 0;
            for (std::string line; std::getline(script, line);) {
                if (line.rfind("   0x", 0) != 0) continue;
                ++lines;
                const uint32_t id = uint32_t(std::stoul(line.substr(5), nullptr, 16));
                EXPECT_EQ(r.strings.count(id), 1u) << name << " " << run << ": " << line;
            }
            EXPECT_EQ(r.strings.size(), lines) << name << " " << run;
            EXPECT_TRUE(r.text(0xFFFE) == u"Beispiel") << name << " " << run;
        }
    }
}

// Texts with quotes, backslashes and line ends in a comment, a
// configuration, an alarm string, the error texts of an alarm (whose id is
// the largest 32-bit one) and of the boot functions, and --rc-text: the
// whole compile succeeds, and a resource compiler reads every text back as
// its author meant it.
TEST_F(CompileExamples, TextsWithBackslashesReadBackThroughAResourceCompiler)
{
    RCTEST_NEEDS_WINDRES();
    std::string source = readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
    const std::pair<std::string, std::string> edits[] = {
        {"\"Istposition der Achse\"", "\"end\\\\\"x\""},  // text end\"x
        {"1 \"Standard\"", "1 \"C:\\temp\\new\""},
        {"    \"Schleppfehler\"\n", "    \"zeile\\\nzwei\"\n"},
        {"VRX_ERROR(20002)", "VRX_ERROR(4294967295)"},
        {"VRX_ERROR_TEXT(20002, CmWarnMsg, 1, 7, \"Software-Endschalter erreicht\")",
         "VRX_ERROR_TEXT(4294967295, CmWarnMsg, 4294967295, 7, \"end\\\\\"x\")"},
        {"\"Grenzwert muss groesser als 0 sein\"", "\"C:\\temp\\new\""},
    };
    for (const auto& e : edits) {
        const std::size_t at = source.find(e.first);
        ASSERT_NE(at, std::string::npos) << e.first;
        source.replace(at, e.first.size(), e.second);
    }
    const std::string path = m_dir + "/texts.tos", target = m_dir + "/texts.dsc", rc = m_dir + "/texts.rc";
    std::ofstream(path, std::ios::binary) << source;
    const std::u16string meant[] = {
        u"end\\\"x",             // the comment
        u"C:\temp\new",           // the configuration, its escapes taken
        u"zeile\\\nzwei",        // the alarm string
        u"1 -1 7 end\\\"x",      // the alarm's error text
        u"2 0 -1 C:\temp\new",    // the boot functions' error text
    };
    for (const char* run : {"new target", "recompile"}) {
        compileSource(path, hosttest::exampleSysVars("axis.tos"),
                      "-o '" + target + "' --rc '" + rc + "' --rc-text 'a\\\"b\\'");
        EXPECT_EQ(printed().find(": status"), std::string::npos) << run << "\n" << printed() << readFile(m_err);
        EXPECT_NE(printed().find("copySections: ok"), std::string::npos) << run << "\n" << printed();
        // The alarm's error text is keyed by the alarm's id.
        EXPECT_NE((" " + stream(target, "errmsg")).find(" 4294967295 "), std::string::npos) << run;
        const rctest::RcReadBack r = rctest::readBackScript(rc, m_dir + "/res");
        EXPECT_EQ(r.exit, 0) << run << ": " << r.messages << readFile(rc);
        EXPECT_EQ(r.messages, "") << run;
        EXPECT_TRUE(r.resRead) << run;
        for (const std::u16string& text : meant) {
            bool found = false;
            for (const auto& s : r.strings) found = found || s.second == text;
            EXPECT_TRUE(found) << run << ": text " << &text - meant << "\n" << readFile(rc);
        }
        EXPECT_TRUE(r.text(0xFFFE) == u"a\\\"b\\") << run << "\n" << readFile(rc);
    }
}

namespace {

// The texts of axis.tos that reach the resource script, one of each kind
// (comment, configuration, both texts of a bit type, alarm string, an
// alarm's and a boot function's error text, boot-function comment), with
// the warning number of their block.
const struct {
    const char* text;  // the quoted text as the example holds it
    int warning;
} kScriptTexts[] = {
    {"\"Istposition der Achse\"", 306}, {"\"Hydraulik\"", 419},     {"\"nicht bereit\"", 419},
    {"\"bereit\"", 419},                {"\"Schleppfehler\"", 709}, {"\"Schleppfehler: Abstand zu gross\"", 905},
    {"\"Grenzwert muss groesser als 0 sein\"", 905},                {"\"Hoechstgeschwindigkeit beim Hochlauf\"", 306},
};

std::string utf8HintFor(const std::string& source)
{
    return "tavolin: " + source +
           " looks like UTF-8 (its texts hold UTF-8 sequences, which reach the resource script as they are): "
           "sources are code page 1252, convert it with iconv -f UTF-8 -t CP1252 in.tos > out.tos\n";
}

}  // namespace

// Texts with a byte code page 1252 leaves undefined, raw (a source saved as
// UTF-8: Á is C3 81) and as escapes, in a comment, a configuration, a bit
// type, an alarm string, an alarm's and a boot function's error text and a
// boot-function comment: the compile succeeds into a new target and again
// into the existing one, each text gets its block's warning at its line
// naming the byte, the script holds the texts as the source wrote them,
// and a resource compiler reads none of them back whole.
TEST_F(CompileExamples, UndefinedBytesAreWarnedAndKept)
{
    RCTEST_NEEDS_WINDRES();
    std::string source = readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
    const struct {
        std::string from, to;     // the edit
        std::string written;      // the text as the script holds it
        int line;
        int warning;
        const char* byte;
        std::u16string readBefore;  // what the text reads back as before the byte
    } edits[] = {
        {"\"Istposition der Achse\"", "\"Istposition der \xC3\x81" "chse\"", "Istposition der \xC3\x81" "chse", 41,
         306, "0x81", u"Istposition der \u00C3"},
        {"2 \"Hydraulik\"", "2 \"Hydraulik \\x8D\"", "Hydraulik \\x8D", 49, 419, "0x8D", u"Hydraulik "},
        {"\"nicht bereit\" \"bereit\"", "\"nicht bereit\" \"bereit \\220\"", "bereit \\220", 89, 419, "0x90",
         u"bereit "},
        {"\"Schleppfehler\"\n", "\"Schleppfehler \xC3\x9D\"\n", "Schleppfehler \xC3\x9D", 128, 709, "0x9D",
         u"Schleppfehler \u00C3"},
        {"\"Schleppfehler: Abstand zu gross\"", "\"Schleppfehler: Abstand zu gross \\X8f\"",
         "2 5 -1 Schleppfehler: Abstand zu gross \\X8f", 169, 905, "0x8F", u"2 5 -1 Schleppfehler: Abstand zu gross "},
        {"\"Grenzwert muss groesser als 0 sein\"", "\"Grenzwert muss gr\x90\xDF" "er als 0 sein\"",
         "2 0 -1 Grenzwert muss gr\x90\xDF" "er als 0 sein", 253, 905, "0x90", u"2 0 -1 Grenzwert muss gr"},
        {"$2 : \"Hoechstgeschwindigkeit beim Hochlauf\"", "$2 : \"H\\601chstgeschwindigkeit beim Hochlauf\"",
         "H\\601chstgeschwindigkeit beim Hochlauf", 258, 306, "0x81", u"H"},
    };
    for (const auto& e : edits) {
        const std::size_t at = source.find(e.from);
        ASSERT_NE(at, std::string::npos) << e.from;
        source.replace(at, e.from.size(), e.to);
    }
    const std::string path = m_dir + "/bytes.tos", target = m_dir + "/bytes.dsc", rc = m_dir + "/bytes.rc";
    std::ofstream(path, std::ios::binary) << source;
    std::string firstScript;
    for (const char* run : {"new target", "recompile"}) {
        compileSource(path, hosttest::exampleSysVars("axis.tos"), "-o '" + target + "' --rc '" + rc + "'");
        const std::string err = readFile(m_err);
        EXPECT_EQ(printed().find(": status"), std::string::npos) << run << "\n" << printed() << err;
        EXPECT_NE(printed().find("copySections: ok"), std::string::npos) << run << "\n" << printed();
        const std::string script = readFile(rc);
        // A resource compiler that converts by the code page cuts each of
        // the texts before its byte, or drops it; the others read back.
        const rctest::RcReadBack r = rctest::readBackScript(rc, m_dir + "/res");
        EXPECT_EQ(r.exit, 0) << run << ": " << r.messages;
        EXPECT_TRUE(r.resRead) << run;
        bool standard = false;
        for (const auto& text : r.strings) standard = standard || text.second == u"Standard";
        EXPECT_TRUE(standard) << run;
        for (const auto& e : edits) {
            const std::string warning = path + "(" + std::to_string(e.line) + ") : Warnung " +
                                        std::to_string(e.warning) + " Byte " + e.byte +
                                        " ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text "
                                        "verwerfen oder k\xC3\xBCrzen\n";
            const std::size_t at = err.find(warning);
            EXPECT_NE(at, std::string::npos) << run << ": " << warning << err;
            EXPECT_EQ(err.find(warning, at + 1), std::string::npos) << run << ": twice " << warning;
            const std::size_t line = script.find("   \"" + e.written + "\"\r\n");
            ASSERT_NE(line, std::string::npos) << run << ": " << e.written;
            const uint32_t id = uint32_t(std::stoul(script.substr(script.rfind("0x", line) + 2), nullptr, 16));
            const std::u16string read = r.text(id);
            EXPECT_LE(read.size(), e.readBefore.size()) << run << ": " << e.written;
            EXPECT_EQ(e.readBefore.compare(0, read.size(), read), 0) << run << ": " << e.written;
        }
        // Nothing else is said but, last, that Á and Ý look like UTF-8.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), std::ptrdiff_t(std::size(edits)) + 1) << run << "\n" << err;
        const std::string hint = utf8HintFor(path);
        EXPECT_EQ(err.compare(err.size() - std::min(err.size(), hint.size()), hint.size(), hint), 0) << run << err;
        if (firstScript.empty())
            firstScript = script;
        else
            EXPECT_EQ(script, firstScript) << run;
    }
}


// A text that holds a letter of code page 1252 (0xA0 to 0xFF, where the
// code page agrees with Unicode) among plain ones, in UTF-8 or in code page
// 1252, chosen by seed: the command says once, after the messages, that
// the source looks like UTF-8 exactly when a text of any kind holds the
// UTF-8 form, whether or not the compile succeeds, on a recompile as well.
TEST_F(CompileExamples, Utf8TextsAreToldOnce)
{
    const std::string original = readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
    const std::string path = m_dir + "/texts.tos", target = m_dir + "/texts.dsc";
    uint32_t seed = 7;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    // The source with every text holding a letter, the one at `utf8` (-1:
    // none) as UTF-8, with a repeated configuration when `failing`.
    const auto make = [&](int utf8, bool failing) {
        std::string source = original;
        for (int i = 0; i < int(std::size(kScriptTexts)); ++i) {
            const unsigned char letter = static_cast<unsigned char>(0xA0 + next() % 0x60);
            const std::string form = i == utf8 ? std::string{char(0xC0 | (letter >> 6)), char(0x80 | (letter & 0x3F))}
                                               : std::string(1, char(letter));
            const std::string from = kScriptTexts[i].text;
            const std::size_t at = source.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            source.replace(at, from.size(), from.substr(0, 3) + form + "x" + from.substr(3));
        }
        if (failing) source.replace(source.find("2 \"Hy"), 1, "1");
        std::ofstream(path, std::ios::binary) << source;
    };
    for (bool failing : {false, true}) {
        ::unlink(target.c_str());
        for (int utf8 = -1; utf8 < int(std::size(kScriptTexts)); ++utf8) {
            for (const char* run : {"new target", "recompile"}) {
                if (utf8 >= 0 && utf8 != 4 && std::string(run) == "recompile") continue;
                make(utf8, failing);
                compileSource(path, hosttest::exampleSysVars("axis.tos"), "-o '" + target + "'");
                const std::string err = readFile(m_err);
                const std::string what = std::string(run) + ", UTF-8 text " + std::to_string(utf8) +
                                         (failing ? ", failing" : "") + "\n" + printed() + err;
                EXPECT_EQ(printed().find(": status") != std::string::npos, failing) << what;
                const std::string hint = utf8HintFor(path);
                const std::size_t at = err.find(hint);
                EXPECT_EQ(at != std::string::npos, utf8 >= 0) << what;
                if (at == std::string::npos) continue;
                EXPECT_EQ(err.find(hint, at + 1), std::string::npos) << what;
                // After the messages: only the command's last line about
                // TARGET may follow.
                const std::string after = err.substr(at + hint.size());
                EXPECT_TRUE(after.empty() || (failing && after.rfind("tavolin: " + target, 0) == 0 &&
                                              std::count(after.begin(), after.end(), '\n') == 1))
                    << what;
            }
        }
    }
}

// A text over k lines (LF or CR LF) with a byte code page 1252 leaves
// undefined, raw or as an escape, on its line j: its warning names the line
// of the file that holds the byte, for every kind of text, one-line ones
// and error texts whose ")" stands on a later line too; a recompile says
// the same.
TEST_F(CompileExamples, UndefinedByteIsWarnedAtItsLine)
{
    const std::string original = readFile(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
    const std::string path = m_dir + "/lines.tos", target = m_dir + "/lines.dsc";
    const struct {
        const char* written;
        const char* byte;
    } kBytes[] = {{"\x81", "0x81"}, {"\\x8d", "0x8D"}, {"\\220", "0x90"}, {"\x9D", "0x9D"}, {"\\X8F", "0x8F"}};
    uint32_t seed = 11;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 4; ++round) {
        std::string source = original;
        // Each text gets a marker where its byte goes, placed once the
        // lines of all edits are known.
        for (int i = 0; i < int(std::size(kScriptTexts)); ++i) {
            const int k = 1 + int(next() % 4), j = int(next() % uint32_t(k));
            const char* const end = next() % 2 ? "\r\n" : "\n";
            std::string text = "\"";
            for (int l = 0; l < k; ++l) {
                text += "Zeile " + std::to_string(l);
                if (l == j) text += " @" + std::to_string(i) + "@ ";
                if (l + 1 < k) text += end;
            }
            text += "\"";
            // An error text's ")" on a later line is read by the rules.
            if (kScriptTexts[i].warning == 905 && next() % 2) text += "\n";
            const std::size_t at = source.find(kScriptTexts[i].text);
            ASSERT_NE(at, std::string::npos) << kScriptTexts[i].text;
            source.replace(at, std::strlen(kScriptTexts[i].text), text);
        }
        std::vector<std::string> expected;
        for (int i = 0; i < int(std::size(kScriptTexts)); ++i) {
            const std::string marker = "@" + std::to_string(i) + "@";
            const std::size_t at = source.find(marker);
            const auto& b = kBytes[next() % std::size(kBytes)];
            const long line = 1 + std::count(source.begin(), source.begin() + std::ptrdiff_t(at), '\n');
            expected.push_back(path + "(" + std::to_string(line) + ") : Warnung " +
                               std::to_string(kScriptTexts[i].warning) + " Byte " + b.byte +
                               " ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text "
                               "verwerfen oder k\xC3\xBCrzen");
            source.replace(at, marker.size(), b.written);
        }
        std::sort(expected.begin(), expected.end());
        std::ofstream(path, std::ios::binary) << source;
        ::unlink(target.c_str());
        for (const char* run : {"new target", "recompile"}) {
            compileSource(path, hosttest::exampleSysVars("axis.tos"), "-o '" + target + "'");
            const std::string err = readFile(m_err);
            EXPECT_EQ(printed().find(": status"), std::string::npos) << run << "\n" << printed() << err;
            std::vector<std::string> said;
            std::istringstream lines(err);
            for (std::string l; std::getline(lines, l);) said.push_back(l);
            std::sort(said.begin(), said.end());
            EXPECT_EQ(said, expected) << "round " << round << ", " << run << "\n" << source;
        }
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
        compile(std::string(name) + ".tos", "-o '" + target + "' --rc '" + m_dir + "/" + name + ".rc'");
        const std::string printed = this->printed();
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
