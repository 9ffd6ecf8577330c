// The section "boot" as an independent reader sees it (boot_reader.py,
// written from the format): the model's sections read and written back byte
// for byte, and every SID and CID of "boot" found in the "bfsymb" of the
// same symbol table.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "bo/bf/BfBootFktTypCont.h"
#include "bo/bf/BfSymbTable.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "co/GlobTools.h"
#include "tests/bo/bf/bf_gen.h"
#include "tests/bo/bo/varext_sections.h"

namespace {

const std::string kReader = std::string(TV_SOURCE_DIR) + "/tests/bo/bf/boot_reader.py";

struct ReaderRun {
    int exit = -1;
    std::string out;
};

// The reader on the container's "boot" and, when given, the table's "bfsymb".
ReaderRun readBack(const CBfBootFktTypCont& c, CBfSymbTable* table)
{
    const std::string boot = createTempName(true).c_str(), symb = createTempName(true).c_str();
    const std::string out = createTempName(true).c_str();
    FsSecClMem s;
    EXPECT_TRUE(c.saveBfTypCont(s));
    std::ofstream(boot, std::ios::binary) << sectionText(s);
    std::string cmd = "python3 '" + kReader + "' '" + boot + "'";
    if (table) {
        FsSecClMem t;
        EXPECT_TRUE(table->save(t));
        std::ofstream(symb, std::ios::binary) << sectionText(t);
        cmd += " '" + symb + "'";
    }
    ReaderRun r;
    const int status = std::system((cmd + " >'" + out + "' 2>&1").c_str());
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(out);
    std::ostringstream text;
    text << in.rdbuf();
    r.out = text.str();
    for (const std::string& f : {boot, symb, out}) ::unlink(f.c_str());
    return r;
}

TEST(BootReader, ReadsTheModelBackAndFindsItsIdsInTheTable)
{
    CBfSymbTable table;
    BfTestCont c(&table);
    const StRangeID ns = table.openNameSpace(0);
    StSymbEntryID typeSid, speed, sub;
    table.addEntry("drive", 0, 0, ST_KIND_TYPESPEC, typeSid);
    table.addEntry("speed", 0, ns, ST_KIND_VAR, speed)->setTypeID(ST_INT);
    table.addEntry("sub", 0, ns, ST_KIND_VAR, sub);
    int st = -1;
    const StConstEntryID five = table.assignConstant(ST_INT, new StStdConstantVal(int32_t(5), true), st);
    const StConstEntryID seven = table.assignConstant(ST_INT, new StStdConstantVal(int32_t(7), true), st);
    ASSERT_EQ(table.getSymbolValue(speed, five), 0);
    CBfBootFktTyp* t = c.createNewBootFunct("drive", typeSid, 0, ns);
    ASSERT_NE(t, nullptr);
    t->newBootSet()->cs = 16;
    t->addSymbol(speed, CVarAttrib(2));
    t->sets.back().tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, seven);
    t->addSymbol(speed, CVarAttrib(1));
    t->addSubFkt(sub, CFktAttrib(true, false));
    c.addAdr(1, 0x40);

    ReaderRun r = readBack(c, &table);
    EXPECT_EQ(r.exit, 0) << r.out;
    EXPECT_EQ(r.out, "types 1 sets 1 addresses 1 tokens 3 named in bfsymb\n");

    // A token whose symbol the table lacks.
    t->sets.back().tokens.emplace_back(CBfBootToken::SYMBOL, 999, ST_INVALID_CID);
    r = readBack(c, &table);
    EXPECT_EQ(r.exit, 1) << r.out;
    EXPECT_NE(r.out.find("SID 999"), std::string::npos) << r.out;
}

TEST(BootReader, RandomContainersWrittenBackByteForByte)
{
    std::mt19937 rng(3939);
    for (int i = 0; i < 5; ++i) {
        BfTestCont c;
        for (uint32_t k = rng() % 4; k > 0; --k) {
            const uint32_t sid = rng() % 500;
            auto t = randomBfType(rng, sid);
            if (c.addFkt(sid, t.get())) t.release();
        }
        for (uint32_t k = rng() % 4; k > 0; --k) c.addAdr(rng() % 9, rng());
        const ReaderRun r = readBack(c, nullptr);
        EXPECT_EQ(r.exit, 0) << i << ": " << r.out;
    }
}

}  // namespace
