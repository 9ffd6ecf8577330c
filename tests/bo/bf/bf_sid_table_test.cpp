// The SID table of the boot-function model: objects found by SID whatever
// the order of insertion, also after the walk in SID order has sorted them;
// a SID present refuses a second object, which stays with the caller.
#include <gtest/gtest.h>

#include <memory>

#include "bo/bf/BfSidTable.h"

TEST(BfSidTable, FindsEveryObjectBeforeAndAfterTheSortedWalk)
{
    CBfSidTable<int> table;
    const uint32_t sids[] = {40, 12, 900000, 13, 7, 41, 100000000};
    for (uint32_t sid : sids) {
        auto object = std::make_unique<int>(int(sid));
        ASSERT_TRUE(table.insert(StSymbEntryID(sid), object));
        EXPECT_FALSE(object);
    }
    auto again = std::make_unique<int>(-1);
    EXPECT_FALSE(table.insert(StSymbEntryID(12), again));
    EXPECT_TRUE(again);
    auto check = [&] {
        for (uint32_t sid : sids) {
            ASSERT_NE(table.find(StSymbEntryID(sid)), nullptr) << sid;
            EXPECT_EQ(*table.find(StSymbEntryID(sid)), int(sid));
        }
        EXPECT_EQ(table.find(StSymbEntryID(8)), nullptr);
        EXPECT_EQ(table.find(ST_INVALID_SID), nullptr);
    };
    check();
    uint32_t last = 0;
    for (const auto& e : table.ordered()) {
        EXPECT_LT(last, e.sid.get());
        last = e.sid.get();
    }
    check();
    table.clear();
    EXPECT_EQ(table.find(StSymbEntryID(40)), nullptr);
}
