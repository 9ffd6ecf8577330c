// Constant binding, default values and the layout description; the dump
// of a whole table and the diagnostic pipe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/stsymtab/stmcaddr.h"
#include "dump_pipe_reader.h"
#include "symb_table_gen.h"

namespace {

StConstantVal* text(int n)
{
    int st;
    auto* s = new StStringConstantVal(ST_INVALID_TID, String(std::string(size_t(n), 'x').c_str()), uint8_t(n), st);
    s->setText(String(std::string(size_t(n), 'x').c_str()));
    return s;
}

TEST(SymbTableConst, SetSymbolValue)
{
    StSymbTable t;
    StSymbEntryID s20, i, k;
    t.addEntry("s", 0, 0, ST_KIND_VAR, s20)->setTypeID(t.getStringTypeID(20));
    t.addEntry("i", 0, 0, ST_KIND_VAR, i)->setTypeID(ST_INT);
    t.addEntry("k", 0, 0, ST_KIND_FUNC, k);
    StConstantVal* v = text(30);
    const StConstEntryID cid = t.constants()->addConstantVal(v);
    ASSERT_TRUE(cid.isValid());
    EXPECT_EQ(3, t.setSymbolValue(s20, cid));
    EXPECT_EQ(2, t.setSymbolValue(i, cid));
    EXPECT_EQ(2, t.setSymbolValue(k, cid));
    EXPECT_EQ(2, t.setSymbolValue(99, cid));

    StConstantVal* shortText = text(5);
    const StConstEntryID c5 = t.constants()->addConstantVal(shortText);
    EXPECT_EQ(0, t.setSymbolValue(s20, c5));
    EXPECT_EQ(c5, t.getEntryCID(s20));
    // Retyped under the symbol's type and still found by value.
    EXPECT_EQ(t.getTypeID(s20), t.getConstant(c5)->getTypeRef());
    EXPECT_EQ(c5, t.constants()->findSharedValue(t.getConstant(c5)));

    // The same for a value of the table checked against another STRING type.
    const StTypeID s30 = t.getStringTypeID(30);
    EXPECT_EQ(0, t.checkValueFitsType(s30, t.getConstant(c5)));
    EXPECT_EQ(s30, t.getConstant(c5)->getTypeRef());
    EXPECT_EQ(c5, t.constants()->findSharedValue(t.getConstant(c5)));
    EXPECT_EQ(3, t.checkValueFitsType(t.getStringTypeID(2), t.getConstant(c5)));

    EXPECT_EQ(0, t.setSymbolValue(s20, ST_INVALID_CID));
    EXPECT_TRUE(t.getEntryCID(s20).isInvalid());

    int st;
    const StConstEntryID ci = t.assignConstant(ST_INT, new StStdConstantVal(int32_t(7), true), st);
    EXPECT_EQ(0, st);
    EXPECT_EQ(0, t.setSymbolValue(i, ci));
}

TEST(SymbTableConst, AssignConstant)
{
    StSymbTable t;
    int st = -1;
    const StConstEntryID a = t.assignConstant(ST_INT, new StStdConstantVal(int32_t(5), true), st);
    EXPECT_EQ(0, st);
    ASSERT_TRUE(a.isValid());
    EXPECT_EQ(uint32_t(ST_INT), t.getConstant(a)->getTypeId());
    // An equal value: the first CID, the second value deleted.
    EXPECT_EQ(a, t.assignConstant(ST_INT, new StStdConstantVal(int32_t(5), true), st));
    EXPECT_EQ(0, st);
    EXPECT_EQ(1u, t.constants()->values().size());

    EXPECT_TRUE(t.assignConstant(ST_INVALID_TID, new StStdConstantVal(ST_INT), st).isInvalid());
    EXPECT_EQ(3, st);
    EXPECT_TRUE(t.assignConstant(ST_INT, nullptr, st).isInvalid());
    EXPECT_EQ(3, st);
    EXPECT_TRUE(t.assignConstant(ST_INT, text(3), st).isInvalid());
    EXPECT_EQ(2, st);

    const StTypeID s10 = t.getStringTypeID(10);
    const StConstEntryID s = t.assignConstant(s10, text(4), st);
    EXPECT_EQ(0, st);
    EXPECT_EQ(s10, t.getConstant(s)->getTypeRef());
    EXPECT_TRUE(t.assignConstant(s10, text(11), st).isInvalid());
    EXPECT_EQ(3, st);
}

TEST(SymbTableConst, ArrayDefaults)
{
    for (bool compact : {false, true}) {
        StSymbTable t;
        t.setCompactArrayDefaults(compact);
        const StTypeID arr = t.types()->createArrayType(ST_INT, 1, 4);
        std::unique_ptr<StConstantVal> v(t.createInitValue(arr));
        ASSERT_TRUE(v);
        EXPECT_EQ(ST_CONST_STRUCT, v->getKind());
        EXPECT_FALSE(v->isShared());
        EXPECT_EQ(arr, v->getTypeRef());
        const StConstValVector* m = static_cast<StStructConstantVal*>(v.get())->members();
        ASSERT_TRUE(m);
        if (compact) {
            ASSERT_EQ(1u, m->size());
            EXPECT_EQ(ST_CONST_INTARRAY, (*m)[0]->getKind());
            EXPECT_EQ(4u, (*m)[0]->elementCount());
        } else {
            ASSERT_EQ(4u, m->size());
            for (StConstantVal* e : *m) {
                EXPECT_EQ(uint32_t(ST_INT), e->getTypeId());
                EXPECT_TRUE(e->isDefault());
            }
        }
    }
}

TEST(SymbTableConst, EnumerationAndStructureDefaults)
{
    StSymbTable t;
    StSymbEntryID red, green;
    t.addEntry("red", 0, 0, ST_KIND_CONST, red);
    t.addEntry("green", 0, 0, ST_KIND_CONST, green);
    int st;
    t.findEntry(red)->setInitCID(t.assignConstant(ST_DINT, new StStdConstantVal(int32_t(3), false), st));
    auto list = std::make_unique<StSymbEntryIDList>(StSymbEntryIDList{red, green});
    const StTypeID en = t.types()->createEnumType(list, ST_DINT);
    std::unique_ptr<StConstantVal> d(t.createInitValue(en));
    ASSERT_TRUE(d);
    int32_t v = 0;
    EXPECT_TRUE(d->getDInt(v));
    EXPECT_EQ(3, v);

    const StTypeID st2 = t.types()->createStructType(StTypeIDList{ST_BOOL, ST_DINT}, 4, 8);
    std::unique_ptr<StConstantVal> s(t.createInitValue(st2));
    ASSERT_TRUE(s);
    EXPECT_EQ(2u, static_cast<StStructConstantVal*>(s.get())->members()->size());
}

TEST(SymbTableConst, LayoutOfBoolAndDint)
{
    StSymbTable t;
    const StTypeID st = t.types()->createStructType(StTypeIDList{ST_BOOL, ST_DINT}, 4, 8);
    McTypeWordList words;
    ASSERT_TRUE(t.describeTypeLayout(st, &words));
    ASSERT_EQ(3u, words.count);
    EXPECT_EQ(2u, words.words()[0] & 0xFFFF);          // two members
    EXPECT_EQ(3u, (words.words()[1] >> 16) & 0xFF);    // BOOL, then 3 bytes of padding
    EXPECT_EQ(0u, (words.words()[2] >> 16) & 0xFF);    // DINT, last
    EXPECT_FALSE(t.describeTypeLayout(ST_INVALID_TID, &words));
    EXPECT_FALSE(t.describeTypeLayout(st, nullptr));

    // The DINT starts after the padding, as the second element.
    StASMUserOperand op(1, st, MC_OBJECT, 0, 0, ST_INVALID_SID);
    EXPECT_EQ(2u, t.getMemberOrdinal(&op, 4, ST_DINT));
    EXPECT_EQ(1u, t.getMemberOrdinal(&op, 0, ST_BOOL));
    EXPECT_EQ(0u, t.getMemberOrdinal(&op, 1, ST_DINT));
}

TEST(SymbTableConst, TypeDeclOverBaseWithDefault)
{
    for (bool compact : {false, true}) {
        StSymbTable t;
        t.setCompactArrayDefaults(compact);
        StSymbEntryID base;
        t.addEntry("Level", 0, 0, ST_KIND_TYPESPEC, base)->setTypeID(ST_INT);
        int st;
        const StConstEntryID c = t.assignConstant(ST_INT, new StStdConstantVal(int32_t(9), true), st);
        t.findEntry(base)->setInitCID(c);
        const StSymbEntryID decl = t.addTypeDecl("Levels", 0, 0, ST_INT, base, 0, 2, ST_INVALID_NR, false);
        ASSERT_TRUE(decl.isValid());
        const StSyBaseSymbEntry* e = t.findEntry(decl);
        EXPECT_EQ(base, e->getTypeRefSID());
        int32_t lo, hi;
        EXPECT_TRUE(t.getArrayBounds(e->getTypeID(), lo, hi));
        EXPECT_EQ(2, hi);
        const StConstantVal* d = t.getConstant(e->getInitCID());
        ASSERT_TRUE(d);
        EXPECT_EQ(compact ? 1u : 3u, static_cast<const StStructConstantVal*>(d)->members()->size());
        StSymbEntryID var;
        t.addEntry("v", 0, 0, ST_KIND_VAR, var);
        EXPECT_EQ(0, t.setSymbolType(var, e->getTypeID(), decl));
        EXPECT_EQ(e->getInitCID(), t.getEntryCID(var));
    }
}

// --- dump ---

TEST(SymbTableDump, FreshTable)
{
    StSymbTable t(3, 4);
    const std::string d = sttest::dumped(t);
    size_t at = 0;
    for (const char* h : {"\nEintragstabelle  0\n", "\nStringtabelle  0\n", "\nTyptabelle ", "\nKonstantentabelle ",
                          "\nNamensbereiche ", "\nGueltigkeitsbereiche ", "\nGlobaler Entry (VR, NR): 3 4\n"}) {
        const size_t next = d.find(h, at);
        ASSERT_NE(std::string::npos, next) << h;
        at = next;
    }
}

class DumpPipe : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = std::string(::testing::TempDir()) + "tvp_cout_" + std::to_string(getpid());
        ::unlink(m_path.c_str());
        setenv("TAVOLIN_DUMP_PIPE", m_path.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("TAVOLIN_DUMP_PIPE");
        ::unlink(m_path.c_str());
    }
    std::string m_path;
};

TEST_F(DumpPipe, NothingWithoutFifoOrReader)
{
    StSymbTable t;
    t.dumpToPipe();  // no FIFO at all
    ASSERT_EQ(0, mkfifo(m_path.c_str(), 0600));
    t.dumpToPipe();  // a FIFO without reader: no block, nothing written
    std::cout << "" << std::flush;
    EXPECT_TRUE(std::cout.good());
    EXPECT_NE(-1, fcntl(1, F_GETFD));
}

TEST_F(DumpPipe, ReaderGetsTheDump)
{
    StSymbTable t;
    StSymbEntryID sid;
    t.addEntry("abc", 0, 0, ST_KIND_VAR, sid);
    const std::string got = readDumpPipe(m_path, [&] { t.dumpToPipe(); });
    EXPECT_EQ(sttest::dumped(t), got);
}

TEST_F(DumpPipe, ReaderThatGoesAwayCannotEndTheProcess)
{
    StSymbTable t;
    sttest::TableGen(3).fill(t, 3000, 10, 5);  // far more than a pipe buffer
    ASSERT_EQ(0, mkfifo(m_path.c_str(), 0600));
    const int rd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rd, 0);
    std::thread reader([&] {
        fcntl(rd, F_SETFL, 0);
        char buf[100];
        while (::read(rd, buf, sizeof buf) == 0) std::this_thread::yield();
        ::close(rd);  // gone after the first bytes
    });
    t.dumpToPipe();
    reader.join();
    std::cout << "" << std::flush;
    EXPECT_TRUE(std::cout.good());
}

TEST_F(DumpPipe, ReaderThatNeverReadsCannotHoldTheProcess)
{
    StSymbTable t;
    sttest::TableGen(4).fill(t, 3000, 10, 5);
    ASSERT_EQ(0, mkfifo(m_path.c_str(), 0600));
    const int rd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rd, 0);
    t.dumpToPipe();  // returns once the full FIFO stalled
    char buf[16];
    EXPECT_GT(::read(rd, buf, sizeof buf), 0);
    ::close(rd);
}

struct CountingObserver : StSymbTableObserver {
    void tableChanged(StSymbTable&, uint32_t code) override { codes.push_back(code); }
    std::vector<uint32_t> codes;
};

TEST(SymbTable, ChangeStampNotifiesItsObserver)
{
    StSymbTable t;
    t.setChangeStamp(1);  // no observer: nothing to tell
    CountingObserver o;
    t.setObserver(&o);
    t.setChangeStamp(7);
    EXPECT_EQ(7, t.getChangeStamp());
    EXPECT_EQ(std::vector<uint32_t>{26}, o.codes);
}

}  // namespace
