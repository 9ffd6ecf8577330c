// The common start of the section-compiler fuzz targets: the bytes compiled
// by the compiler into a descriptor opened in memory. The compiler must end
// with one of its results 0 to 4; anything else aborts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/MdSectionCompiler.h"

// The bytes compiled by the compiler into `dsc`, opened in memory with the
// named sections made empty first; the compiler's result, unchecked.
inline int32_t fuzzRunCompiler(const uint8_t* data, size_t size, FsDsc& dsc, MdSectionCompiler& compiler,
                               std::initializer_list<const char*> sections = {}, const char* rcPath = nullptr,
                               uint32_t firstStringId = 0)
{
    if (dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    for (const char* name : sections)
        if (!dsc.getSect(name, FS_MODE_WRITE) || dsc.CloseSect(name) != 0) std::abort();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    if (rcPath) args.rcPath = String(rcPath);
    args.firstStringId = firstStringId;
    compiler.init(args);
    return compiler.parse();
}

inline int32_t fuzzCompileSection(const uint8_t* data, size_t size, FsDsc& dsc, MdSectionCompiler& compiler)
{
    const int32_t result = fuzzRunCompiler(data, size, dsc, compiler);
    if (result < 0 || result > 4) std::abort();
    return result;
}
