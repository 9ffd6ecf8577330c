// The sections whose texts go to the resource script, each around one text
// a test puts in, and a compile of one such section from string id 0 as
// the front end runs it, into a descriptor in memory and a script that
// holds a table of its own before.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "co/GlobTools.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdSectionCompiler.h"
#include "tools/mksymb/SysVarTable.h"

namespace rcsections {

using namespace fronttest;

// A section around one text: the source before its opening quote and from
// its closing quote on, the block's message for a text too long, the
// text's resource id (from a first id of 0), what the string resource holds
// in front of the text, the texts the whole table holds, and the block's
// warning for a byte code page 1252 leaves undefined.
struct SectionCase {
    const char* name;
    int kind;
    const char* before;
    const char* after;
    uint32_t tooLong;
    uint32_t textId;
    const char16_t* prefix;
    std::size_t strings;
    uint32_t undefinedByte;
};

// Named by its section in test names and traces.
inline void PrintTo(const SectionCase& s, std::ostream* os) { *os << s.name; }

inline const SectionCase kSections[] = {
    {"VARCOMMENT", MdCompVarComment, "VARCOMMENT\n$1 [16#1] : \"z\"\n$2 [16#1] : \"", "\" END_VARCOMMENT\n", 305, 1,
     u"", 2, 306},
    {"BFDCOMMENT", MdCompVarComment, "BFDCOMMENT\n$1 : \"z\"\n$Axis.Pos : \"", "\" END_BFDCOMMENT\n", 305, 1, u"", 2,
     306},
    {"CONFIGS", MdCompVarExt, "CONFIGS\n1 \"z\"\n2 \"", "\" END_CONFIGS\n", 418, 1, u"", 2, 419},
    {"GROUP", MdCompVarExt, "CONFIGS\n1 \"z\"\nGROUP(16#10) : \"", "\" 1 \"y\" END_GROUP END_CONFIGS\n", 418, 1, u"",
     3, 419},
    {"BITFIELDTYPES", MdCompVarExt, "BITFIELDTYPES\n1 \"z\" \"", "\" END_BITFIELDTYPES BITFIELDS END_BITFIELDS\n", 418,
     1, u"", 2, 419},
    {"BITFIELDS", MdCompVarExt, "BITFIELDTYPES 1 \"off\" \"on\" END_BITFIELDTYPES\nBITFIELDS\n$13 [16#1] 0 1 \"",
     "\" END_BITFIELDS\n", 418, 2, u"", 3, 419},
    {"ALARM_STRING_TABLE", MdCompAlarm, "ALARM_STRING_TABLE\n0 : \"z\"\n\"",
     "\" END_ALARM_STRING_TABLE\nBEGIN_ALARM END_ALARM\n", 708, 1, u"", 2, 709},
    {"VRX_ERROR_TEXT", MdCompErrMsgTxt,
     "BEGIN_ALARM_VRX_ERROR_TEXT\n MC_ERRORTEXT(1, CmHelpMsg, 0, \"z\")\n MC_ERRORTEXT(2, CmErrorMsg, 5, \"",
     "\")\nEND_ALARM_VRX_ERROR_TEXT\n", 904, 2, u"2 5 -1 ", 2, 905},
    {"MC_ERRORTEXT", MdCompErrMsgTxt, "BEGIN_BF_ERRORTEXT\n MC_ERRORTEXT(3, CmWarnMsg, 1, 7, \"",
     "\")\nEND_BF_ERRORTEXT\n", 904, 3, u"1 1 7 ", 1, 905},
};

inline int linesIn(const std::string& s)
{
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

inline std::string symb() { return symbTableOf("13 d WORD\n"); }

// What the script held before: a table of its own, in another block.
inline const char kOldScript[] = "STRINGTABLE\r\nBEGIN\r\n   100   \"old\"\r\nEND\r\n";

struct Compiled {
    bool failed = false;  // the step fails: a result or counted errors
    std::vector<MessageCapture::Record> messages;
    std::string script;   // appended after kOldScript
};

// Compiles one section of kind from string id 0 as the front end does,
// into a descriptor in memory holding every section a compiler writes,
// with the script at rcPath holding kOldScript.
inline Compiled compile(int kind, const std::string& source, const std::string& rcPath)
{
    MessageCapture messages;
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    for (const char* s : {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const", "almcfg", "almstr",
                          "errmsg", "varcomment"})
        EXPECT_TRUE(putSection(dsc, s, ""));
    EXPECT_TRUE(putSection(dsc, "symb", symb()));
    {
        std::ofstream rc(rcPath, std::ios::binary | std::ios::trunc);
        rc << kOldScript;
    }
    FsSecCl* section = nullptr;
    EXPECT_EQ(dsc.openSect("varcomment", &section, FS_MODE_WRITE), FS_OK);
    Compiled c;
    {
        std::unique_ptr<MdSectionCompiler> compiler(mdCreateCompiler(kind));
        EXPECT_TRUE(compiler);
        if (!compiler) return c;
        std::istringstream in(source);
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.section = section;
        args.rcPath = String(rcPath.c_str());
        compiler->init(args);
        int32_t result = compiler->parse();
        if (result == 0 && compiler->errorCount() != 0) result = 3;
        if (result == 0) result = compiler->writeStringTable();
        c.failed = result != 0;
    }
    dsc.CloseSect("varcomment");
    c.messages = messages.records;
    const std::string all = readFile(rcPath);
    EXPECT_EQ(all.compare(0, sizeof kOldScript - 1, kOldScript), 0);
    c.script = all.substr(sizeof kOldScript - 1);
    return c;
}

struct ScratchDir {
    const std::string path = createTempDirectory().c_str();
    ~ScratchDir() { removeDirectoryTree(path.c_str()); }
};

}  // namespace rcsections
