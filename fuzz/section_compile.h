// The common start of the section-compiler fuzz targets: the bytes compiled
// by the compiler into a descriptor opened in memory. The compiler must end
// with one of its results 0 to 4; anything else aborts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/MdSectionCompiler.h"

inline int32_t fuzzCompileSection(const uint8_t* data, size_t size, FsDsc& dsc, MdSectionCompiler& compiler)
{
    if (dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    compiler.init(args);
    const int32_t result = compiler.parse();
    if (result < 0 || result > 4) std::abort();
    return result;
}
