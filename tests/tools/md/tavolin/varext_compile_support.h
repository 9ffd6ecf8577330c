// The variables compiler run in process over a section text, into a
// descriptor in memory that holds the "symb" section given and the
// compiler's output sections (empty): its result, with the compiler (its
// model) and the descriptor (its sections) handed to `after` first.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdVarExtParser.h"

namespace varexttest {

template <class After>
int32_t compileVariables(const std::string& text, const std::string& symb, After&& after)
{
    FsTODscFile dsc;
    EXPECT_TRUE(fronttest::openMemoryFile(dsc));
    for (const char* name : {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const"})
        EXPECT_TRUE(fronttest::putSection(dsc, name, ""));
    EXPECT_TRUE(fronttest::putSection(dsc, "symb", symb));
    fronttest::TempFile rc("");
    std::istringstream in(text);
    MdVarExtParser p;
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.rcPath = String(rc.c_str());
    args.firstId = 2;
    args.secondId = 1;
    p.init(args);
    const int32_t result = p.parse();
    after(p, dsc);
    return result;
}

}  // namespace varexttest
