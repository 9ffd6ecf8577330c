// Implementation descriptions and the macro files: goldens by hand, the
// item kinds, refusals, failing paths, and the expansion of both files by
// GNU m4 with a stub macro package that shows each macro's argument count.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bo/bf/BfBootFktImpl.h"
#include "tests/bo/bf/bf_gen.h"

namespace {

bool exists(const std::string& p)
{
    return ::access(p.c_str(), F_OK) == 0;
}

const char kHeaderC[] =
    "include(bfimplmk.m4)\nNAME(axis)\nINCLUDE(math.h)\nINCLUDE(btypenames.h)\nINCLUDE(botypdat.h)\n"
    "INCLUDE(bfopernd.h)\nINCLUDE(bfcfgvar.h)\nINCLUDE(axis.h)\n#define ERRTXT_OFFSET 200\nDECLPRINTER()\n"
    "IMPLPRINTER()\n";

// Types 12 and 20, the implementation container over them.
struct Fixture {
    BfTestCont types;
    CBfBootFktImplCont impls{&types};
    Fixture()
    {
        types.createNewBootFunct("T12", 12, 0, 1);
        types.createNewBootFunct("T20", 20, 0, 2);
        types.createNewBootFunct("T30", 30, 0, 3);
        impls.ERRTXT_OFFSET = 200;
    }
};

}  // namespace

TEST(BfImpl, MacroFilesByHand)
{
    TempDir d;
    Fixture f;
    f.impls.addFunctionImpl(new String("int"), new String("checkLimits"), new String("BF_CONTEXT* ctx"),
                            new String("{ return 0; }"), false);
    // Created out of SID order, written in SID order.
    ASSERT_NE(nullptr, f.impls.createImpl(20));
    CBfBootFktImpl* i12 = f.impls.createImpl(12);
    ASSERT_NE(nullptr, i12);
    EXPECT_TRUE(i12->addDefault("a();"));
    EXPECT_TRUE(i12->addModify("lim.v", "b();"));
    const std::string base = d.path + "/out/axis";
    ASSERT_EQ(0, ::mkdir((d.path + "/out").c_str(), 0700));
    ASSERT_TRUE(f.impls.writeM4(base.c_str(), {String("extra.h")}, "axis", false));

    EXPECT_EQ("include(bfimplmk.m4)\nNAME(axis)\nINCLUDE(bocont.hpp)\nINCLUDE(extra.h)\nDECLCONT(axis)\n"
              "BEGIN_FCT_DECL()\nFKT_DECL(int, `checkLimits', `BF_CONTEXT* ctx')\nEND_FCT_DECL()\n"
              "BEGIN_DECL(12, USE_MODIFY_FKT())\nDEFAULT_DECL()\nMODIFY_DECL()\nDECL_MODIFY(`lim.v')\nEND_DECL()\n",
              readFile(base + ".m4h"));
    EXPECT_EQ(std::string(kHeaderC) +
                  "BEGIN_CREATE_IMPL(axis)\nCREATE(12)\nDEFAULT_CREATE(20)\nEND_CREATE_IMPL()\n"
                  "FKT_IMPL(int, `checkLimits', `BF_CONTEXT* ctx', `{ return 0; }')\n"
                  "BEGIN_INIT_IMPL(12, USE_MODIFY_FKT())\nINIT_MODIFY(`lim.v')\nEND_INIT_IMPL()\n"
                  "DEFAULT(12, `a();')\nMODIFY_IMPL(12)\nMODIFY(12, `lim.v', `b();')\n",
              readFile(base + ".m4c"));

    // noImpl: headers, the container and the empty lists only; the files are written anew.
    ASSERT_TRUE(f.impls.writeM4(base.c_str(), {}, "axis", true));
    EXPECT_EQ("include(bfimplmk.m4)\nNAME(axis)\nINCLUDE(bocont.hpp)\nDECLCONT(axis)\nBEGIN_FCT_DECL()\n"
              "END_FCT_DECL()\n",
              readFile(base + ".m4h"));
    EXPECT_EQ(std::string(kHeaderC) + "BEGIN_CREATE_IMPL(axis)\nEND_CREATE_IMPL()\n", readFile(base + ".m4c"));
}

TEST(BfImpl, EveryItemKindAndAMessageFunction)
{
    TempDir d;
    Fixture f;
    f.impls.addFunctionImpl(new String("int"), new String("report"), nullptr, new String("{}"), true);
    CBfBootFktImpl* i = f.impls.createImpl(30);
    ASSERT_NE(nullptr, i);
    EXPECT_TRUE(i->addCfgChange("c();"));
    EXPECT_TRUE(i->addCheck("k();"));
    EXPECT_TRUE(i->addCheckEx("x();"));
    EXPECT_TRUE(i->addInstantiate(7, "n();"));
    EXPECT_TRUE(i->addUnit("u1", "v();"));
    EXPECT_TRUE(i->addModify("m1", "w();"));
    const std::string base = d.path + "/dir\\impl";  // a backslash ends the folder part too
    ASSERT_TRUE(f.impls.writeM4(base.c_str(), {}, "c", false));
    EXPECT_EQ("include(bfimplmk.m4)\nNAME(impl)\nINCLUDE(bocont.hpp)\nDECLCONT(c)\nBEGIN_FCT_DECL()\n"
              "MSG_FKT_DECL(int, `report', `')\nEND_FCT_DECL()\n"
              "BEGIN_DECL(30, USE_MODIFY_FKT(), USE_UNIT_FKT())\nCFGCHANGE_DECL()\nMODIFY_DECL()\n"
              "DECL_MODIFY(`m1')\nINSTANTIATE_DECL()\nUNIT_DECL()\nDECL_UNIT(`u1')\nCHECK_DECL()\nCHECKEX_DECL()\n"
              "END_DECL()\n",
              readFile(base + ".m4h"));
    const std::string c = readFile(base + ".m4c");
    EXPECT_NE(std::string::npos, c.find("INCLUDE(impl.h)\n"));
    // Items in key order: the instantiate item (SID 7) first, then the
    // unit and the modify symbol in declaration order.
    EXPECT_EQ("BEGIN_CREATE_IMPL(c)\nCREATE(30)\nEND_CREATE_IMPL()\nMSG_FKT_IMPL(int, `report', `', `{}')\n"
              "BEGIN_INIT_IMPL(30, USE_MODIFY_FKT(), USE_UNIT_FKT())\nINIT_UNIT(`u1')\nINIT_MODIFY(`m1')\n"
              "END_INIT_IMPL()\nCFGCHANGED(30, `c();')\nMODIFY_IMPL(30)\nMODIFY(30, `m1', `w();')\n"
              "BEGIN_INSTANTIATE_IMPL(30)\nINSTANTIATE(7, `n();')\nEND_INSTANTIATE_IMPL()\nUNIT_IMPL(30)\n"
              "UNITCHANGED(30, `u1', `v();')\nCHECK(30, `k();')\nCHECKEX(30, `x();')\n",
              c.substr(c.find("BEGIN_CREATE_IMPL")));

    // GNU m4 expands both files with a stub package: each macro shows its
    // argument count, so a quote out of place shows.
    std::string stub;
    for (const char* m :
         {"NAME", "INCLUDE", "DECLCONT", "BEGIN_FCT_DECL", "END_FCT_DECL", "MSG_FKT_DECL", "MSG_FKT_IMPL", "BEGIN_DECL",
          "USE_MODIFY_FKT", "USE_UNIT_FKT", "CFGCHANGE_DECL", "MODIFY_DECL", "DECL_MODIFY", "INSTANTIATE_DECL",
          "UNIT_DECL", "DECL_UNIT", "CHECK_DECL", "CHECKEX_DECL", "END_DECL", "DECLPRINTER", "IMPLPRINTER",
          "BEGIN_CREATE_IMPL", "CREATE", "END_CREATE_IMPL", "BEGIN_INIT_IMPL", "INIT_UNIT", "INIT_MODIFY",
          "END_INIT_IMPL", "CFGCHANGED", "MODIFY_IMPL", "MODIFY", "BEGIN_INSTANTIATE_IMPL", "INSTANTIATE",
          "END_INSTANTIATE_IMPL", "UNIT_IMPL", "UNITCHANGED", "CHECK", "CHECKEX"})
        stub += std::string("define(`") + m + "', ``" + m + "'/$#')dnl\n";
    std::ofstream(d.path + "/bfimplmk.m4") << stub;
    auto expand = [&](const char* ext) {
        std::string cmd = "cd '" + d.path + "' && timeout 10 m4 'dir\\impl" + ext + "' 2>&1";
        std::string out;
        if (FILE* p = ::popen(cmd.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
            EXPECT_EQ(0, ::pclose(p)) << out;
        }
        return out;
    };
    EXPECT_EQ("\nNAME/1\nINCLUDE/1\nDECLCONT/1\nBEGIN_FCT_DECL/1\nMSG_FKT_DECL/3\nEND_FCT_DECL/1\nBEGIN_DECL/3\n"
              "CFGCHANGE_DECL/1\nMODIFY_DECL/1\nDECL_MODIFY/1\nINSTANTIATE_DECL/1\nUNIT_DECL/1\nDECL_UNIT/1\n"
              "CHECK_DECL/1\nCHECKEX_DECL/1\nEND_DECL/1\n",
              expand(".m4h"));
    const std::string cx = expand(".m4c");
    EXPECT_NE(std::string::npos, cx.find("MSG_FKT_IMPL/4\nBEGIN_INIT_IMPL/3\n")) << cx;
    EXPECT_NE(std::string::npos, cx.find("UNITCHANGED/3\nCHECK/2\nCHECKEX/2\n")) << cx;
    EXPECT_NE(std::string::npos, cx.find("#define ERRTXT_OFFSET 200\n")) << cx;
}

TEST(BfImpl, RefusalsAndFailingPaths)
{
    TempDir d;
    Fixture f;
    EXPECT_EQ(nullptr, f.impls.createImpl(99));  // no such type
    CBfBootFktImpl* i = f.impls.createImpl(12);
    ASSERT_NE(nullptr, i);
    EXPECT_EQ(0u, i->NameRange);
    EXPECT_EQ(nullptr, f.impls.createImpl(12));  // has one: refused, the index still advances
    CBfBootFktImpl* j = f.impls.createImpl(20);
    ASSERT_NE(nullptr, j);
    EXPECT_EQ(2u, j->NameRange);
    EXPECT_EQ(i, f.impls.findImpl(12));
    EXPECT_EQ(nullptr, f.impls.findImpl(30));

    EXPECT_TRUE(i->addDefault("first"));
    EXPECT_FALSE(i->addDefault("second"));
    EXPECT_EQ("first", i->items.begin()->second.stdString());
    EXPECT_TRUE(i->addModify("v", "m"));
    EXPECT_FALSE(i->addModify("v", "m2"));  // the name is declared in this scope already
    EXPECT_TRUE(j->addModify("v", "m"));    // another implementation, another scope

    ASSERT_FALSE(exists(".m4h"));
    EXPECT_FALSE(f.impls.writeM4("", {}, "c", false));
    EXPECT_FALSE(exists(".m4h"));
    EXPECT_FALSE(exists(".m4c"));
    EXPECT_FALSE(f.impls.writeM4((d.path + "/missing/impl").c_str(), {}, "c", false));
}
