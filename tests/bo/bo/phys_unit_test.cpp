// The unit table: the factors other parts rely on bit for bit, the shape of
// every quantity (local-0 unit 1.0, quantity record 0.0), the lookups and
// their refusals, conversions, and the whole table against the checked-in
// listing unit_table.txt (UTF-8, "id quantity local factor offset name").
// TV_UPDATE_GOLDEN=1 rewrites the listing instead of comparing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "bo/bo/BoPhysUnit.h"
#include "platform/text.h"

namespace {

using T = PhysUnitTable;

TEST(PhysUnitTable, GivenFactorsAndOffsetsAreBitExact)
{
    struct Row {
        int32_t id;
        double factor;
        double offset;
    };
    const Row rows[] = {
        {16, 60.0, 0.0},
        {17, 3600.0, 0.0},
        {18, 86400.0, 0.0},
        {59, 0.017453292522222223, 0.0},
        {93, 1.0, -273.15},
        {94, 0.5555555555555556, -459.67},
        {181, 0.5555555555555556, 0.0},
        {186, 57.29577950560105, 0.0},
        {341, 0.0254, 0.0},
        {342, 0.3048, 0.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        EXPECT_EQ(0, std::memcmp(&r.factor, &T::record(r.id)->factor, sizeof(double)));
        EXPECT_EQ(0, std::memcmp(&r.offset, &T::record(r.id)->offset, sizeof(double)));
    }
}

TEST(PhysUnitTable, EveryQuantityHasOneLocalZeroUnitOfFactorOne)
{
    int localZero[128] = {};
    for (int32_t id = 0; id < T::kCount; ++id) {
        const PhysUnitRecord* r = T::record(id);
        SCOPED_TRACE(id);
        ASSERT_NE(nullptr, r->name);
        EXPECT_EQ(0u, r->reserved);
        if (id == 0) continue;
        ASSERT_GE(r->quantity, 0);
        ASSERT_LE(r->quantity, 85);
        if (r->local == -1) {
            EXPECT_EQ(0.0, r->factor);
        } else {
            EXPECT_GT(r->factor, 0.0);
            EXPECT_NE(-1, T::quantityRecordOf(id));
            if (r->local == 0) {
                EXPECT_EQ(1.0, r->factor);
                ++localZero[r->quantity];
            }
        }
        if (id != 93 && id != 94) {
            EXPECT_EQ(0.0, r->offset);
        }
    }
    for (int q = 0; q <= 85; ++q) EXPECT_EQ(1, localZero[q]) << "quantity " << q;
}

TEST(PhysUnitTable, LookupsAndRefusals)
{
    EXPECT_STREQ("-", T::nameOf(0));
    EXPECT_EQ(-1, T::quantityOf(0));
    EXPECT_EQ(-1, T::quantityRecordOf(0));
    // Record 0's quantity -1 is its own and no other record's.
    EXPECT_TRUE(T::sameQuantity(0, 0));
    for (int32_t id = 1; id < T::kCount; ++id) {
        EXPECT_FALSE(T::sameQuantity(0, id)) << id;
        EXPECT_FALSE(T::sameQuantity(id, 0)) << id;
    }
    EXPECT_EQ(1, T::quantityRecordOf(341));
    EXPECT_EQ(1, T::quantityRecordOf(2));
    EXPECT_EQ(95, T::quantityRecordOf(96));
    EXPECT_TRUE(T::sameQuantity(2, 341));
    EXPECT_TRUE(T::sameQuantity(1, 2));
    EXPECT_FALSE(T::sameQuantity(92, 96));  // temperature and temperature difference
    EXPECT_EQ(4, T::localIndexOf(236));
    EXPECT_EQ(4, T::localIndexOf(341));
    EXPECT_TRUE(T::isQuantityRecord(2));
    EXPECT_FALSE(T::isQuantityRecord(3));
    EXPECT_STREQ("L\xE4nge", T::nameOf(1));
    EXPECT_STREQ("\xB5m", T::nameOf(6));
    EXPECT_STREQ("", T::nameOf(237));
    for (int32_t id : {-1, 429, INT32_MIN}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(nullptr, T::record(id));
        EXPECT_EQ(nullptr, T::nameOf(id));
        EXPECT_EQ(-1, T::quantityOf(id));
        EXPECT_EQ(-1, T::localIndexOf(id));
        EXPECT_EQ(0.0, T::factorOf(id));
        EXPECT_EQ(0.0, T::offsetOf(id));
        EXPECT_FALSE(T::isQuantityRecord(id));
        EXPECT_FALSE(T::sameQuantity(id, 3));
        EXPECT_FALSE(T::sameQuantity(3, id));
        EXPECT_EQ(-1, T::quantityRecordOf(id));
        double out = 7;
        EXPECT_FALSE(T::convert(1, id, 3, out));
        EXPECT_FALSE(T::convert(1, 3, id, out));
        EXPECT_EQ(7, out);
    }
}

TEST(PhysUnitTable, Convert)
{
    struct Case {
        double v;
        int32_t from, to;
        double expected;
        double tolerance;
    };
    const Case cases[] = {
        {100, 93, 92, 373.15, 1e-12},       // °C -> K
        {373.15, 92, 94, 212, 1e-9},        // K -> °F
        {1, 341, 4, 25.4, 1e-12},           // in -> mm
        {1, 186, 148, 57.29577950560105, 0},  // rad/s -> °/s
        {1, 60, 59, 0.9, 1e-12},            // gon -> °
        {3, 17, 16, 180, 0},                // h -> min
        {10, 181, 96, 50.0 / 9, 1e-12},     // °F difference -> K
    };
    for (const Case& c : cases) {
        double out = 0;
        ASSERT_TRUE(T::convert(c.v, c.from, c.to, out)) << c.from << " -> " << c.to;
        EXPECT_NEAR(c.expected, out, c.tolerance) << c.from << " -> " << c.to;
    }
    double out = 0;
    EXPECT_FALSE(T::convert(1, 93, 15, out));  // °C -> s
    EXPECT_FALSE(T::convert(1, 91, 92, out));  // quantity record
    EXPECT_FALSE(T::convert(1, 0, 0, out));    // record 0
}

TEST(PhysUnitTable, DerivedFactorsFollowTheirDefinitions)
{
    const double in = 0.0254, ft = 0.3048, lbf = 0.45359237 * 9.80665;
    EXPECT_DOUBLE_EQ(1e-6, T::factorOf(6));                           // µm in m
    EXPECT_DOUBLE_EQ(lbf / (in * in), T::factorOf(358));              // psi in Pa
    EXPECT_NEAR(6894.757293168361, T::factorOf(358), 1e-9);
    EXPECT_DOUBLE_EQ(550 * ft * lbf, T::factorOf(412));               // HP in W
    EXPECT_NEAR(745.6998715822702, T::factorOf(412), 1e-9);
    EXPECT_DOUBLE_EQ(231 * in * in * in / 60, T::factorOf(416));      // gallon/min in m³/s
    EXPECT_NEAR(3.785411784e-3 / 60, T::factorOf(416), 1e-15);
    EXPECT_DOUBLE_EQ(0.9 * 3.141592654 / 180, T::factorOf(60));       // gon in rad
    EXPECT_DOUBLE_EQ(10.0, T::factorOf(157));                        // 10000/unit
    EXPECT_DOUBLE_EQ(100.0, T::factorOf(384));                       // "/" in %
    EXPECT_DOUBLE_EQ(1.0 / 360, T::factorOf(422));                   // °/s³ in rev/s³
    EXPECT_DOUBLE_EQ(25.4, T::factorOf(351));                        // in/rev in mm/rot
}

// Shortest %g text that reads back as the same double, without an exponent
// for whole numbers below 1e17.
std::string shortest(double v)
{
    char buf[40];
    int p = 1;
    for (; p < 17; ++p) {
        std::snprintf(buf, sizeof buf, "%.*g", p, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    const int exponent = v == 0 ? 0 : int(std::floor(std::log10(std::fabs(v))));
    std::snprintf(buf, sizeof buf, "%.*g", exponent >= p ? exponent + 1 : p, v);
    return buf;
}

TEST(PhysUnitTable, MatchesTheCheckedInListing)
{
    std::ostringstream got;
    for (int32_t id = 0; id < T::kCount; ++id) {
        const PhysUnitRecord* r = T::record(id);
        for (const char* p = r->name; *p; ++p) ASSERT_FALSE(uint8_t(*p) >= 0x80 && uint8_t(*p) < 0xA0) << id;
        got << id << ' ' << r->quantity << ' ' << r->local << ' ' << shortest(r->factor) << ' '
            << shortest(r->offset) << ' ' << tvp::wideToUtf8(tvp::ansiToWide(r->name)) << '\n';
    }
    const std::string path = std::string(TV_SOURCE_DIR) + "/tests/bo/bo/unit_table.txt";
    if (const char* u = std::getenv("TV_UPDATE_GOLDEN"); u && *u == '1') {
        std::ofstream(path, std::ios::binary) << got.str();
        GTEST_SKIP() << "listing rewritten";
    }
    std::ifstream f(path, std::ios::binary);
    ASSERT_TRUE(f) << path;
    std::ostringstream want;
    want << f.rdbuf();
    EXPECT_EQ(want.str(), got.str());
}

}  // namespace
