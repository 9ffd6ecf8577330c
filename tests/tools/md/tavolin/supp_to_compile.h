// Compiles a section body of supported technology-object types, for the
// compiler's tests, its fuzz target and its benchmark.
#pragma once
#include <cstdint>
#include <istream>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/MdSuppTOParser.h"

// Runs p over the body in `in` into the descriptor (null: none); the
// parse's result. p keeps the types it compiled.
inline int32_t compileSuppTO(MdSuppTOParser& p, std::istream& in, FsDsc* descriptor)
{
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = descriptor;
    p.init(args);
    return p.parse();
}
