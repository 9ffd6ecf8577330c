// System-variable tables from lists: every kind of type read back from the
// saved text at its address (elementary, array bounds, enumerator values),
// the refusals of a bad list with their line, and the examples' lists.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/symacc/SyStSymbTable.h"
#include "tools/mksymb/SysVarTable.h"

namespace {

// The system variable stored at address in a table read back from text.
const StSyBaseSymbEntry* sysVarAt(const StSymbTable& t, uint32_t address)
{
    for (const auto& e : t.entries()->entries())
        if (e.second && e.second->getKind() == ST_KIND_SYSVAR && uint32_t(e.second->getStorageAddress()) == address)
            return e.second;
    return nullptr;
}

// Loads the section text as a compiler reads "symb".
bool load(StSymbTable& t, const std::string& bytes)
{
    FsSecClMem s;
    s.writeBytes(bytes.data(), uint32_t(bytes.size()));
    s.seek(0, 0);
    s.setBinary(false);
    return t.load(s);
}

size_t sysVarCount(const StSymbTable& t)
{
    size_t n = 0;
    for (const auto& e : t.entries()->entries()) n += e.second && e.second->getKind() == ST_KIND_SYSVAR;
    return n;
}

TEST(SysVarTable, ListReadBackFromText)
{
    std::istringstream list(
        "# the variables of a test\r\n"
        "10 a INT\n"
        "\n"
        "16#B b USINT\n"
        "12 arr ARRAY [0..7] OF DINT\n"
        "13 w   WORD\n"
        "16#FFFFFFFF last LREAL\n"
        "20 mode (A := -3, B := 7, C)\n");
    SysVarTable built;
    std::string error;
    ASSERT_TRUE(built.addList(list, error)) << error;
    std::stringstream text;
    ASSERT_TRUE(built.save(text));
    EXPECT_EQ(text.str().rfind("18 symbol-table__V4.1\r\n", 0), 0u);

    StSymbTable t;
    ASSERT_TRUE(load(t, text.str()));
    ASSERT_EQ(t.getStatus(), 0u);
    EXPECT_EQ(sysVarCount(t), 6u);
    struct Expect {
        uint32_t address;
        const char* name;
        StTypeID elem;  // getElemTypeId of the variable's type
    };
    for (const Expect& e : {Expect{10, "a", ST_INT}, Expect{11, "b", ST_USINT}, Expect{13, "w", ST_WORD},
                            Expect{0xFFFFFFFFu, "last", ST_LREAL}, Expect{12, "arr", 30}, Expect{20, "mode", 30}}) {
        const StSyBaseSymbEntry* v = sysVarAt(t, e.address);
        ASSERT_TRUE(v) << e.name;
        EXPECT_STREQ(t.getName(v->getID())->c_str(), e.name);
        EXPECT_EQ(t.getElemTypeId(v->getTypeID()), e.elem) << e.name;
    }
    int32_t lo = 1, hi = 0;
    ASSERT_TRUE(t.getArrayBounds(sysVarAt(t, 12)->getTypeID(), lo, hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 7);
    EXPECT_EQ(t.getElementType(sysVarAt(t, 12)->getTypeID()), StTypeID(ST_DINT));

    const StTypeID mode = sysVarAt(t, 20)->getTypeID();
    EXPECT_TRUE(t.isEnumType(mode));
    StEnumValueMap values;
    ASSERT_TRUE(t.getEnumValues(mode, values));
    EXPECT_EQ(values.size(), 3u);
    EXPECT_EQ(values[String("A")], -3);
    EXPECT_EQ(values[String("B")], 7);
    EXPECT_EQ(values[String("C")], 8);
    // The type declaration the variable refers to names the same type.
    EXPECT_EQ(t.getTypeID(sysVarAt(t, 20)->getTypeRefSID()), mode);
}

// The lookup the compilers make: the operand of the variable covering an
// address (overlapping variables: the one starting last), nothing below
// the first variable or behind the one found.
TEST(SysVarTable, OperandsByAddress)
{
    std::istringstream list("10 a INT\n11 b USINT\n12 arr ARRAY [0..7] OF DINT\n13 w WORD\n20 mode (A := -3, B := 7)\n");
    SysVarTable built;
    std::string error;
    ASSERT_TRUE(built.addList(list, error)) << error;
    std::stringstream text;
    ASSERT_TRUE(built.save(text));
    SyStSymbTable t;
    ASSERT_TRUE(load(t, text.str()));
    const uint32_t noTO = ST_INVALID_SID;
    const struct {
        uint32_t address;
        const char* name;
    } cases[] = {{10, "a"}, {11, "b"}, {12, "arr"}, {13, "w"}, {14, "w"}, {20, "mode"}, {23, "mode"}};
    for (const auto& c : cases) {
        StASMSysVarOperand* op = t.getSysVarOperand(c.address, noTO);
        ASSERT_TRUE(op) << c.address;
        EXPECT_STREQ(t.getName(op->getSID())->c_str(), c.name) << c.address;
        delete op;
    }
    EXPECT_TRUE(t.isArrayType(t.findEntry(t.getSIDByName(String("arr")))->getTypeID()));
    uint32_t valueType = 0;
    EXPECT_TRUE(t.isEnumType(t.findEntry(t.getSIDByName(String("mode")))->getTypeID(), &valueType));
    EXPECT_FALSE(t.getSysVarOperand(9, noTO));   // below every variable
    EXPECT_FALSE(t.getSysVarOperand(15, noTO));  // behind w, which starts after arr
    EXPECT_FALSE(t.getSysVarOperand(24, noTO));  // behind the enumeration's 4 bytes
}

TEST(SysVarTable, BadListsNameTheirLine)
{
    const struct {
        const char* list;
        const char* error;
    } cases[] = {
        {"x a INT", "line 1: bad address: x"},
        {"\n2147483648 a INT", "line 2: bad address: 2147483648"},
        {"16#100000000 a INT", "line 1: bad address: 16#100000000"},
        {"5 a", "line 1: no type"},
        {"5 a FOO", "line 1: unknown type: FOO"},
        {"5 a STRING", "line 1: unknown type: STRING"},
        {"5 1a INT", "line 1: not a name: 1a"},
        {"5 a INT\n6 a DINT", "line 2: name a is taken"},
        {"5 a ARRAY [3..1] OF INT", "line 1: array bounds 3..1"},
        {"5 a ARRAY [0..1] OF FOO", "line 1: bad array element type: FOO"},
        {"5 a ARRAY 0..1 OF INT", "line 1: bad array type: ARRAY 0..1 OF INT"},
        {"5 e (A, B := x)", "line 1: bad enumerator value: B := x"},
        {"5 e (A, A)", "line 1: name A is taken"},
        {"5 e ()", "line 1: an enumeration needs enumerators"},
        {"5 e (A, )", "line 1: bad enumerator: "},
        {"5 e (A", "line 1: enumeration without \")\""},
    };
    for (const auto& c : cases) {
        std::istringstream list(c.list);
        SysVarTable t;
        std::string error;
        EXPECT_FALSE(t.addList(list, error)) << c.list;
        EXPECT_EQ(error, c.error) << c.list;
    }
}

TEST(SysVarTable, ExampleLists)
{
    for (const auto& example : {std::make_pair("axis.sysvars", 11u), std::make_pair("encoder.sysvars", 4u)}) {
        std::ifstream list(std::string(TV_SOURCE_DIR) + "/examples/" + example.first);
        SysVarTable t;
        std::string error;
        ASSERT_TRUE(t.addList(list, error)) << example.first << ": " << error;
        EXPECT_EQ(sysVarCount(t.table()), example.second) << example.first;
    }
}

}  // namespace
