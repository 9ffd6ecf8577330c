// The address-table action of the boot-function compiler.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "bo/bf/BfSymbTable.h"
#include "tools/md/tavolin/MdBfAddressAction.h"

TEST(MdBfAddressAction, NumbersDecimalHexAndRange)
{
    struct Case {
        const char* text;
        bool ok;
        uint32_t value;
    };
    const Case cases[] = {
        {"$12", true, 12},
        {"$0", true, 0},
        {"@16#10", true, 16},
        {"@16#fFfFfFfF", true, 0xffffffffu},
        {"$4294967295", true, 0xffffffffu},
        {"$4294967296", false, 0},
        {"$4294967297", false, 0},  // would wrap to 1
        {"@16#100000000", false, 0},
        {"$16#", false, 0},
        {"$", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t v = 77;
        EXPECT_EQ(c.ok, mdBfAddressNumber(String(c.text), v)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.value, v) << c.text;
        }
    }
}

TEST(MdBfAddressAction, RepeatedKeyKeepsTheFirstAndReportsOnce)
{
    CBfSymbTable table;
    CBfSymbTable* tablePtr = &table;
    CBoVarComment* comments = nullptr;
    CBfBootFktTypCont cont(&tablePtr, &comments);
    std::vector<uint32_t> ids;
    auto report = [&ids](uint32_t id, const String*) { ids.push_back(id); };

    mdBfAddAddress(cont, new String("$2"), new String("@16#100"), report);
    mdBfAddAddress(cont, new String("$3"), new String("@264"), report);
    mdBfAddAddress(cont, new String("$2"), new String("@16#200"), report);       // key present: 0
    mdBfAddAddress(cont, new String("$4294967297"), new String("@1"), report);  // beyond 32 bits: 506
    EXPECT_EQ((std::map<uint32_t, uint32_t>{{2, 0x100}, {3, 0x108}}), cont.addresses());
    EXPECT_EQ((std::vector<uint32_t>{0, 506}), ids);
}
