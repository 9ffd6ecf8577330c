// The elementary type rules: every pair of ids 0-23 and 30-35 under both
// settings against matrices written from the rule tables (data/*.csv; rows
// are the target or first id, columns the source or second id), then the
// single-purpose rules and the forms over a symbol table.
#include "bo/cp/CpTypeRules.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/st/stsymtab/StIdList.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "base/st/stsymtab/stmcspec.h"

namespace {

struct Matrix {
    std::vector<uint32_t> cols;
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> rows;
};

Matrix readCsv(const std::string& name)
{
    Matrix m;
    std::ifstream in(std::string(TV_SOURCE_DIR) + "/tests/bo/cp/data/" + name);
    EXPECT_TRUE(in.good()) << name;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        std::stringstream ss(line);
        std::string cell;
        std::vector<std::string> cells;
        while (std::getline(ss, cell, ',')) cells.push_back(cell);
        if (header) {
            for (size_t i = 1; i < cells.size(); ++i) m.cols.push_back(uint32_t(std::stoul(cells[i])));
            header = false;
            continue;
        }
        std::vector<uint32_t> vals;
        for (size_t i = 1; i < cells.size(); ++i) vals.push_back(uint32_t(std::stoul(cells[i])));
        m.rows.push_back({uint32_t(std::stoul(cells[0])), vals});
    }
    return m;
}

class TypeSystem : public ::testing::Test {
protected:
    void TearDown() override { setTypeSystemForTest(-1); }
};

struct MatrixCase {
    const char* file;
    int setting;
    uint32_t (*rule)(uint32_t, uint32_t);
};

uint32_t assignRule(uint32_t a, uint32_t b) { return canAssignElementary(a, b) ? 1 : 0; }
uint32_t convertRule(uint32_t a, uint32_t b) { return canConvertElementary(a, b) ? 1 : 0; }
uint32_t commonRule(uint32_t a, uint32_t b) { return commonElementaryType(a, b); }

TEST_F(TypeSystem, EveryPairMatchesTheTables)
{
    const MatrixCase cases[] = {
        {"assign_strict.csv", 0, assignRule},   {"assign_relaxed.csv", 1, assignRule},
        {"convert_strict.csv", 0, convertRule}, {"convert_relaxed.csv", 1, convertRule},
        {"common_strict.csv", 0, commonRule},   {"common_relaxed.csv", 1, commonRule},
    };
    for (const MatrixCase& c : cases) {
        setTypeSystemForTest(c.setting);
        const Matrix m = readCsv(c.file);
        ASSERT_EQ(m.cols.size(), 30u) << c.file;
        ASSERT_EQ(m.rows.size(), 30u) << c.file;
        int wrong = 0;
        for (const auto& row : m.rows)
            for (size_t i = 0; i < m.cols.size(); ++i) {
                const uint32_t got = c.rule(row.first, m.cols[i]);
                if (got != row.second[i] && ++wrong < 10)
                    ADD_FAILURE() << c.file << " (" << row.first << ", " << m.cols[i] << "): " << got << ", table "
                                  << row.second[i];
            }
        EXPECT_EQ(wrong, 0) << c.file;
    }
}

TEST_F(TypeSystem, EdgeCasesOfTheRuleSets)
{
    setTypeSystemForTest(0);
    EXPECT_FALSE(isTypeSystemRelaxed());
    EXPECT_TRUE(canAssignElementary(ST_BOOL, ST_BOOL));
    EXPECT_FALSE(canAssignElementary(ST_ANYOBJECT, ST_ANYOBJECT));
    EXPECT_FALSE(canAssignElementary(ST_BYTE, ST_SINT));
    for (uint32_t target : {ST_BYTE, ST_SINT, ST_USINT}) EXPECT_FALSE(canAssignElementary(target, ST_POS_INT));
    EXPECT_TRUE(canAssignElementary(ST_WORD, ST_POS_INT));
    EXPECT_EQ(commonElementaryType(ST_DINT, ST_REAL), uint32_t(ST_LREAL));
    EXPECT_EQ(commonElementaryType(ST_LINT, ST_INT), 30u);
    EXPECT_EQ(commonElementaryType(ST_INT, ST_LINT), uint32_t(ST_LINT));
    setTypeSystemForTest(1);
    EXPECT_TRUE(isTypeSystemRelaxed());
    EXPECT_TRUE(canAssignElementary(ST_BYTE, ST_SINT));
    EXPECT_EQ(commonElementaryType(ST_DINT, ST_REAL), uint32_t(ST_REAL));
}

TEST(TypeRules, FitsIntegerTypeAtEachBound)
{
    struct Bound {
        uint32_t id;
        int32_t low, high;
    };
    const Bound bounds[] = {{ST_SINT, -128, 127}, {ST_INT, -32768, 32767}, {ST_USINT, 0, 255}, {ST_UINT, 0, 65535},
                            {ST_UDINT, 0, INT32_MAX}, {ST_ULINT, 0, INT32_MAX}};
    for (const Bound& b : bounds) {
        EXPECT_TRUE(fitsIntegerType(b.id, b.low)) << b.id;
        EXPECT_TRUE(fitsIntegerType(b.id, b.high)) << b.id;
        EXPECT_FALSE(fitsIntegerType(b.id, b.low - 1)) << b.id;
        if (b.high != INT32_MAX) {
            EXPECT_FALSE(fitsIntegerType(b.id, b.high + 1)) << b.id;
        }
    }
    for (uint32_t id : {ST_DINT, ST_LINT}) {
        EXPECT_TRUE(fitsIntegerType(id, INT32_MIN));
        EXPECT_TRUE(fitsIntegerType(id, INT32_MAX));
    }
    for (uint32_t id : {ST_BOOL, ST_BYTE, ST_REAL, ST_POS_INT, ST_ANYTYPE}) EXPECT_FALSE(fitsIntegerType(id, 0));
}

TEST(TypeRules, BitStringCounterpartBothWays)
{
    struct Case {
        uint32_t id, plain, toBits;
    };
    const Case cases[] = {
        {ST_BOOL, ST_POS_SINT, ST_BOOL}, {ST_BYTE, ST_USINT, ST_BYTE},     {ST_WORD, ST_UINT, ST_WORD},
        {ST_DWORD, ST_UDINT, ST_DWORD},  {ST_LWORD, ST_LWORD, ST_LWORD},   {ST_USINT, ST_USINT, ST_BYTE},
        {ST_POS_SINT, ST_POS_SINT, ST_BYTE}, {ST_UINT, ST_UINT, ST_WORD},  {ST_POS_INT, ST_POS_INT, ST_WORD},
        {ST_UDINT, ST_UDINT, ST_DWORD},  {ST_POS_DINT, ST_POS_DINT, ST_DWORD}, {ST_INT, ST_INT, 30},
        {ST_REAL, ST_REAL, 30},          {ST_TIME, ST_TIME, 30},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bitStringCounterpart(c.id, false), c.plain) << c.id;
        EXPECT_EQ(bitStringCounterpart(c.id, true), c.toBits) << c.id;
    }
}

TEST(TypeRules, OperandLiteralType)
{
    struct Case {
        uint32_t first, second, expected;
    };
    const Case cases[] = {
        {ST_POS_SINT, ST_ANYTYPE, 30},     // no type beside ANYTYPE
        {ST_POS_SINT, ST_INT, ST_SINT},    // signed second
        {ST_POS_INT, ST_DINT, ST_INT},     {ST_POS_DINT, ST_LREAL, ST_DINT}, // real second
        {ST_POS_INT, ST_REAL, ST_INT},     {ST_POS_SINT, ST_UINT, ST_USINT}, // unsigned second
        {ST_POS_DINT, ST_UDINT, ST_UDINT}, {ST_BOOL, ST_INT, ST_SINT},       // BOOL reads as POS_SINT
        {ST_POS_SINT, ST_WORD, ST_BYTE},   // bit-string second: the bit string of that width
        {ST_POS_DINT, ST_BYTE, ST_DWORD},  {ST_INT, ST_WORD, 30},
        {ST_REAL, ST_LREAL, ST_REAL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(operandLiteralType(c.first, c.second), c.expected) << c.first << " " << c.second;
}

class TableForms : public TypeSystem {
protected:
    void SetUp() override
    {
        str10 = table.getStringTypeID(10);
        str20 = table.getStringTypeID(20);
        auto list = std::make_unique<StSymbEntryIDList>();
        enumType = table.types()->createEnumType(list, table.getEnumBaseType());
        ASSERT_NE(str10, ST_INVALID_TID);
        ASSERT_NE(str20, ST_INVALID_TID);
        ASSERT_NE(enumType, ST_INVALID_TID);
    }
    StSymbTable table;
    StTypeID str10 = ST_INVALID_TID, str20 = ST_INVALID_TID, enumType = ST_INVALID_TID;
};

TEST_F(TableForms, StringsByLength)
{
    EXPECT_TRUE(canAssign(table, str20, str10));
    EXPECT_TRUE(canAssign(table, str20, str20));
    EXPECT_FALSE(canAssign(table, str10, str20));
    EXPECT_TRUE(canConvert(table, str20, str10));
    EXPECT_FALSE(canConvert(table, str10, str20));
    EXPECT_FALSE(canAssign(table, str10, ST_INT));
    EXPECT_FALSE(canConvert(table, str10, enumType));

    StTypeID out = 0;
    commonType(table, out, str10, str20);
    EXPECT_EQ(out, str20);
    commonType(table, out, str20, str10);
    EXPECT_EQ(out, str20);
    commonType(table, out, ST_INT, ST_SINT);
    EXPECT_EQ(out, StTypeID(ST_INT));
    commonType(table, out, str10, ST_INT);
    EXPECT_EQ(out, ST_INVALID_TID);
    longerString(table, out, str10, str20);
    EXPECT_EQ(out, str20);
    longerString(table, out, str20, str10);
    EXPECT_EQ(out, str20);
    longerString(table, out, ST_INT, str20);
    EXPECT_EQ(out, StTypeID(ST_INT));
}

TEST_F(TableForms, EnumerationReadsAsItsBaseType)
{
    setTypeSystemForTest(0);
    EXPECT_TRUE(canConvert(table, ST_DINT, enumType));
    EXPECT_TRUE(canConvert(table, ST_REAL, enumType));
    EXPECT_FALSE(canAssign(table, ST_DINT, enumType));
    EXPECT_TRUE(isReinterpretable(table, ST_DINT, enumType));
    EXPECT_TRUE(isReinterpretable(table, ST_UDINT, enumType));
    EXPECT_FALSE(isReinterpretable(table, ST_INT, enumType));
}

TEST_F(TableForms, SameWidthAndReinterpretation)
{
    EXPECT_TRUE(isSameWidth(table, ST_INT, ST_INT));
    EXPECT_FALSE(isSameWidth(table, str10, str10));
    EXPECT_TRUE(isSameWidth(table, ST_SINT, ST_BYTE));
    EXPECT_TRUE(isSameWidth(table, ST_UDINT, ST_DWORD));
    EXPECT_FALSE(isSameWidth(table, ST_BYTE, ST_SINT));
    EXPECT_FALSE(isSameWidth(table, ST_INT, ST_DWORD));

    EXPECT_TRUE(isReinterpretable(table, ST_DINT, ST_TIME));
    EXPECT_FALSE(isReinterpretable(table, ST_TIME, ST_DINT));
    EXPECT_TRUE(isReinterpretable(table, ST_BYTE, ST_BOOL));
    EXPECT_TRUE(isReinterpretable(table, ST_WORD, ST_INT));
    EXPECT_FALSE(isReinterpretable(table, ST_DINT, ST_INT));
    EXPECT_TRUE(isReinterpretable(table, str20, str10));
    EXPECT_TRUE(isReinterpretable(table, str20, str20));
    EXPECT_FALSE(isReinterpretable(table, str10, str20));
}

} // namespace
