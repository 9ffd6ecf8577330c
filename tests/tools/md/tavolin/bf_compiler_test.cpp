// The boot-function compiler: its actions by rule (messages, results,
// model facts) and its outputs byte for byte.
#include <gtest/gtest.h>

#include "bf_compile_support.h"

using bftest::BfCompile;
using bftest::compileBf;

TEST(BfCompiler, MinimalSection)
{
    const BfCompile c = compileBf("BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS END_BOOT_FUNCTIONS");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.messages, std::vector<std::string>{});
    std::cout << "[" << c.boot << "]\n[" << c.interf << "]\n[" << c.symb.size() << "]\n" << c.m4h << "\n----\n" << c.m4c << "\n";
}
