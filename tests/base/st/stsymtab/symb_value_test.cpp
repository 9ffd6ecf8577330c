// Binding a constant to a symbol through getSymbolValue: the three answers
// and that only a bound value changes the symbol.
#include <gtest/gtest.h>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

// A table whose failure the test can switch on.
struct FailingTable : StSymbTable {
    void fail() { setStatus(ST_READ_ERROR); }
};

TEST(SymbValue, BindsOrRefuses)
{
    FailingTable t;
    StSymbEntryID i, s, f;
    t.addEntry("i", 0, 0, ST_KIND_VAR, i)->setTypeID(ST_INT);
    t.addEntry("s", 0, 0, ST_KIND_VAR, s)->setTypeID(t.getStringTypeID(2));
    t.addEntry("f", 0, 0, ST_KIND_FUNC, f);
    int st = -1;
    const StConstEntryID five = t.assignConstant(ST_INT, new StStdConstantVal(int32_t(5), true), st);
    ASSERT_EQ(st, 0);
    StConstantVal* longText = new StStringConstantVal(ST_INVALID_TID, String("abc"), 3, st);
    static_cast<StStringConstantVal*>(longText)->setText(String("abc"));
    const StConstEntryID abc = t.constants()->addConstantVal(longText);
    ASSERT_TRUE(abc.isValid());

    const struct {
        const char* what;
        StSymbEntryID sid;
        StConstEntryID cid;
        int expected;
    } cases[] = {
        {"fitting value", i, five, 0},
        {"unknown symbol", StSymbEntryID(999), five, 2},
        {"kind without a value", f, five, 2},
        {"unknown constant", i, StConstEntryID(999), 2},
        {"wrong type (setSymbolValue 2)", i, abc, 2},
        {"string too long (setSymbolValue 3)", s, abc, 2},
    };
    for (const auto& c : cases) {
        const StConstEntryID before = t.getEntryCID(c.sid);
        EXPECT_EQ(t.getSymbolValue(c.sid, c.cid), c.expected) << c.what;
        if (c.expected == 0)
            EXPECT_EQ(t.getEntryCID(c.sid), c.cid) << c.what;
        else
            EXPECT_EQ(t.getEntryCID(c.sid), before) << c.what;
    }

    t.fail();
    EXPECT_EQ(t.getSymbolValue(i, five), 1);
}

}  // namespace
