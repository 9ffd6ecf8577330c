// The examples' system variables for the tavolin command under test. With
// "--flag 0" the stand-in class provider beside libtavolin.so runs the
// system-variable step, and its section knob writes the table that mksymb
// makes from examples/NAME.sysvars as the section "symb": the variables
// section is compiled against it, as scripts/run does.
#pragma once

#include <sys/stat.h>

#include <string>

namespace hosttest {

inline const std::string& mksymbPath()
{
    static const std::string path = std::string(TV_BINARY_DIR) + "/tools/mksymb/mksymb";
    return path;
}

// Environment assignments for a shell command line ("NAME=value " each)
// that have the stand-in write the table of the list `sysvars`.
inline std::string sysVarsEnv(const std::string& sysvars)
{
    return "TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_TEXT=\"$('" + mksymbPath() + "' '" + sysvars + "')\" ";
}

// The same from a table already written to a file (`symb`), for tables
// larger than the environment can carry.
inline std::string sysVarsFileEnv(const std::string& symb)
{
    return "TVCLSPRV_SECTION=symb TVCLSPRV_SECTION_FILE='" + symb + "' ";
}

// What a command line of the example `name` of examples/ ("axis.tos") needs
// for its system variables (no environment when it has no list). The flag
// is there either way: the boot functions' name classifier is the stand-in
// beside the command, which "--flag 0" selects too.
struct SysVars {
    std::string env;                   // before the command
    std::string flag = " --flag 0";  // among its options
};

inline SysVars exampleSysVars(const std::string& name)
{
    if (name.empty()) return SysVars();
    const std::string list = std::string(TV_SOURCE_DIR) + "/examples/" + name.substr(0, name.rfind('.')) + ".sysvars";
    struct stat st;
    if (::stat(list.c_str(), &st) != 0) return SysVars();
    return SysVars{sysVarsEnv(list)};
}

}  // namespace hosttest
