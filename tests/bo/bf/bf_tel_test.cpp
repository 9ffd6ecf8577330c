// Boot telegrams: the sets of the types become records of the boot-telegram
// section, read back through the section's own reader.
#include <gtest/gtest.h>

#include <sstream>

#include "base/fs/FsSecBootTels.h"
#include "bo/bf/BfConstVal.h"
#include "bo/bf/BfSymbTable.h"
#include "co/TraceApi.h"
#include "tests/base/fs/test_dsc_util.h"
#include "tests/bo/bf/bf_gen.h"
#include "tests/bo/bo/varext_sections.h"

using dsctest::attachMem;
using dsctest::sectionBytes;

namespace {

struct Tel {
    CBfSymbTable table;
    BfTestCont cont{&table};

    StConstEntryID add(StConstantVal* v)
    {
        return table.constTable()->addConstantVal(v);
    }
    StConstEntryID scalar(const char* text, uint32_t type, int32_t sign = 1)
    {
        int status = 0;
        auto* v = new CBfStdConstantVal(String(text), type, 10, status);
        v->setSign(sign);
        v->setShared(false);
        return add(v);
    }
    // Writes the type into a new section: its result and the records read back.
    uint32_t writeType(CBfBootFktTyp& type, std::list<FsBootTelegram>& records)
    {
        FsSecBootTels sec;
        attachMem(sec);
        uint32_t r = type.writeToTel(0, type.symbols, table.constTable(), sec);
        records = readBack(sec);
        return r;
    }
    // The records the section reads back after writing.
    std::list<FsBootTelegram> readBack(FsSecBootTels& sec)
    {
        EXPECT_EQ(0u, sec.write());
        FsSecBootTels back;
        attachMem(back, sectionBytes(sec), 0);
        EXPECT_EQ(0u, back.read());
        return std::move(back.telegrams());
    }
};

std::string describe(const FsBootTelegram& t)
{
    std::string out = std::to_string(t.id) + ":";
    for (const auto& c : t.constants) {
        out += " " + std::to_string(c->getTypeCode()) + "=";
        int32_t l;
        uint32_t u;
        float f;
        double d;
        String s;
        if (c->getLong(l) == 0) out += std::to_string(l);
        int16_t sh;
        if (c->getShort(sh) == 0) out += std::to_string(sh);
        if (c->getULong(u) == 0) out += std::to_string(u);
        if (c->getFloat(f) == 0) out += std::to_string(f);
        if (c->getDouble(d) == 0) out += std::to_string(d);
        if (c->getString(s) == 0) out += s.stdString();
    }
    return out;
}

}  // namespace

TEST(BfTel, SetsBecomeRecords)
{
    Tel t;
    CBfBootFktTyp* a = t.cont.createNewBootFunct("A", 12, 0, 1);
    ASSERT_NE(nullptr, a);
    CBfBootSet* s1 = a->newBootSet();
    s1->cs = 3;
    s1->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, t.scalar("5", 8, -1));  // DINT -5
    s1->tokens.emplace_back(CBfBootToken::SYMBOL, 20, ST_INVALID_CID);
    a->symbols.emplace(20, t.scalar("1.5", 14));

    int st = 0;
    StConstValVector* members = new StConstValVector{new CBfStdConstantVal(String("3"), 7, 10, st),
                                                     new CBfStdConstantVal(String("2.25"), 15, 10, st)};
    StConstEntryID structure = t.add(new CBfStructConstantVal(ST_INVALID_TID, members, false));
    CBfBootSet* s2 = a->newBootSet();
    s2->cs = 4;
    for (StConstEntryID cid : {t.scalar("7", 2), t.add(new CBfStringConstantVal(ST_INVALID_TID, "ab", 2, st)),
                               structure, t.scalar("9", 12)})
        s2->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, cid);

    FsSecBootTels sec;
    attachMem(sec);
    EXPECT_EQ(0u, t.cont.writeToTel(sec));
    auto records = t.readBack(sec);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("3: 3=-5 7=1.500000", describe(records.front()));
    EXPECT_EQ(0x7fffffffu, records.front().number);
    // The BYTE is skipped; the structure gives its elements.
    EXPECT_EQ("4: 9=ab 2=3 8=2.250000 6=9", describe(records.back()));
}

TEST(BfTel, RefusedTypes)
{
    Tel t;
    FsSecBootTels empty;
    attachMem(empty);
    EXPECT_EQ(0u, t.cont.writeToTel(empty));  // no types
    EXPECT_EQ(0u, empty.telegramCount());

    CBfBootFktTyp* a = t.cont.createNewBootFunct("A", 12, 0, 1);
    a->newBootSet()->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, t.scalar("1", 1));
    CBfBootFktTyp* b = t.cont.createNewBootFunct("B", 13, 0, 2);
    b->newBootSet()->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, t.scalar("1", 1));
    b->newBootSet()->tokens.emplace_back(CBfBootToken::SYMBOL, 40, ST_INVALID_CID);

    // A symbol missing from the values: no record of that type at all;
    // the earlier type's record stays.
    FsSecBootTels sec;
    attachMem(sec);
    CTraceCapture cap;
    EXPECT_EQ(0xFFFFu, t.cont.writeToTel(sec));
    EXPECT_EQ(1u, sec.telegramCount());

    // A symbol without value nor initial value: 21.
    b->symbols.emplace(40, ST_INVALID_CID);
    EXPECT_EQ(21u, b->writeToTel(0, b->symbols, t.table.constTable(), sec));
    // With an initial value that one is written.
    StSymbEntryID v;
    t.table.addEntry("v", 0, 2, ST_KIND_VAR, v)->setInitCID(t.scalar("200", 10));
    b->symbols.emplace(v, ST_INVALID_CID);
    b->sets.back().tokens[0].SID = v;
    std::list<FsBootTelegram> records;
    EXPECT_EQ(0u, t.writeType(*b, records));
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("0: 4=", describe(records.back()).substr(0, 5));

    // An unknown CID ends the record there: 21, the constants before it stay.
    CBfBootFktTyp* c = t.cont.createNewBootFunct("C", 14, 0, 3);
    CBfBootSet* set = c->newBootSet();
    set->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, t.scalar("6", 11));
    set->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, 9999);
    set->tokens.emplace_back(CBfBootToken::CONSTANT, ST_INVALID_SID, t.scalar("7", 11));
    std::list<FsBootTelegram> cutRecords;
    EXPECT_EQ(21u, t.writeType(*c, cutRecords));
    ASSERT_EQ(1u, cutRecords.size());
    EXPECT_EQ("0: 5=", describe(cutRecords.front()).substr(0, 5));
    EXPECT_EQ(1u, cutRecords.front().constants.size());
}

TEST(BfTel, ConstantTableFactory)
{
    CBfConstValTable table;
    EXPECT_NE(nullptr, dynamic_cast<CBfStdConstantVal*>(std::unique_ptr<StConstantVal>(table.createConstantVal(0)).get()));
    EXPECT_NE(nullptr, dynamic_cast<CBfStructConstantVal*>(std::unique_ptr<StConstantVal>(table.createConstantVal(1)).get()));
    EXPECT_NE(nullptr, dynamic_cast<CBfStringConstantVal*>(std::unique_ptr<StConstantVal>(table.createConstantVal(2)).get()));
    EXPECT_EQ(nullptr, table.createConstantVal(3));
    // Copies stay boot-function constants.
    int st = 0;
    CBfStdConstantVal one(String("1"), 8, 10, st);
    std::unique_ptr<StConstantVal> copy(one.cloneShared(false));
    EXPECT_NE(nullptr, dynamic_cast<CBfStdConstantVal*>(copy.get()));
    std::unique_ptr<StConstantVal> converted(one.cloneConverted(ST_INT));
    ASSERT_NE(nullptr, dynamic_cast<CBfStdConstantVal*>(converted.get()));
    EXPECT_EQ(ST_INT, converted->getTypeId());
    StConstantVal* v = one.clone();
    StConstEntryID cid = table.addConstantVal(v);
    EXPECT_EQ(cid, table.getCID(&one));
    EXPECT_EQ(ST_INVALID_CID, table.getCID(nullptr));
    EXPECT_EQ(0, table.remove(cid));
    EXPECT_EQ(1, table.remove(cid));
    EXPECT_EQ(ST_INVALID_CID, table.getCID(&one));
}

TEST(BfTel, SavedTableLoadsBootFunctionConstants)
{
    Tel t;
    int st = 0;
    t.scalar("5", 8, -1);
    t.add(new CBfStringConstantVal(ST_INVALID_TID, "ab", 2, st));
    StConstValVector* members = new StConstValVector{new CBfStdConstantVal(String("3"), 7, 10, st)};
    t.add(new CBfStructConstantVal(ST_INVALID_TID, members, false));
    StSymbEntryID v;
    t.table.addEntry("v", 0, 0, ST_KIND_VAR, v)->setInitCID(0);

    FsSecClMem first;
    ASSERT_TRUE(t.table.save(first));
    const std::string bytes = sectionText(first);
    CBfSymbTable back;
    FsSecClMem in;
    fillSection(in, bytes.data(), bytes.size());
    ASSERT_TRUE(back.load(in));
    ASSERT_EQ(3u, back.constTable()->values().size());
    for (const auto& c : back.constTable()->values())
        EXPECT_TRUE(dynamic_cast<CBfStdConstantVal*>(c.second) || dynamic_cast<CBfStringConstantVal*>(c.second) ||
                    dynamic_cast<CBfStructConstantVal*>(c.second))
            << c.first;
    FsSecClMem second;
    ASSERT_TRUE(back.save(second));
    EXPECT_EQ(bytes, sectionText(second));
}

TEST(BfTel, StructureValueTexts)
{
    int st = 0;
    StConstValVector* none = new StConstValVector;
    EXPECT_EQ("{}", CBfStructConstantVal(ST_INVALID_TID, none, false).valueText().stdString());
    StConstValVector* two = new StConstValVector{new CBfStdConstantVal(String("1"), 7, 10, st),
                                                 new CBfStdConstantVal(String("2"), 7, 10, st), nullptr};
    CBfStructConstantVal s(ST_INVALID_TID, two, false);
    EXPECT_EQ(3u, s.getElemCount());
    EXPECT_EQ("{1, 2, NULL}", s.valueText().stdString());
    std::ostringstream os;
    s.dump(os);
    EXPECT_EQ(0u, os.str().find(" ( StructConst: tid "));
    EXPECT_NE(std::string::npos, os.str().find("\nNULL)"));
}
