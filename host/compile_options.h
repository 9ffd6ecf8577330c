// The options of `tavolin compile`: SOURCE, TARGET and the rest as the
// command line gives them, read with their checks, and the texts of the
// command line as the pre-compiler takes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A text of the command line as the resource script and the macro files
// take it (code page 1252): read as UTF-8 when it is UTF-8, else its bytes
// read as code page 1252. Paths are not texts: they are handed on as the
// bytes they are.
std::u16string hostTextToWide(const std::string& text);

// The arguments of `tavolin compile`.
struct HostCompileOptions {
    std::string source, target, acx, rc, rcText, impl;
    bool rcDefault = false;  // rc was not given: TARGET's name with ".rc"
    bool implDefault = false;  // impl was not given: TARGET's name without its extension
    std::vector<std::string> includes;  // names for the boot functions' macro files
    uint32_t maxMessages = 100;  // messages shown, and lines of the library's own output per call (0: all)
    uint32_t mask = 0;
    uint32_t firstId = 0, secondId = 0;
    uint32_t flag = 1;
    // False: the main road alone - openSource and copySections, no section
    // method - for measuring what the split and the working file cost.
    bool sectionMethods = true;
};

// The files a compile writes, as the command line names them: TARGET, the
// resource script (when there is one) and BASE.m4h and BASE.m4c (when a
// base is given).
std::vector<std::string> hostCompileFiles(const HostCompileOptions& o);

// The name of the boot functions' container, which the macro files write
// (DECLCONT(name), BEGIN_CREATE_IMPL(name)): SOURCE's file name without its
// extension.
std::string hostContainerName(const std::string& source);

// Reads `compile SOURCE -o TARGET [options]` from argv[2] on; without
// --impl the base is TARGET without its extension, without --rc the
// resource script is TARGET with ".rc" in place of its extension. False
// with a message on standard error. The names the macro files write are
// checked once the source's kind is known (hostMacroNameRefusal).
bool hostParseCompile(int argc, char** argv, HostCompileOptions& o);
