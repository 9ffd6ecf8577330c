// Initial values of boot-function variables from literals, as whole
// declarations: the value's constant as "bfsymb" writes it (type, sign word,
// value), the messages, and for arrays the telegram. Families: the sign word
// of decimal, based and negative literals; integers into REAL; reals at and
// below the normal range; literals into an enumeration.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "base/fs/FsSecBootTels.h"
#include "bf_compile_support.h"
#include "tests/base/fs/test_dsc_util.h"

using bftest::BfCompile;
using bftest::compileBf;

namespace {

// The variables of one boot function "b" (CS 1), an empty global block.
std::string source(const std::string& vars)
{
    return "BOOT_FUNCTIONDECL BEGIN_BF b (CS := 1) VAR " + vars +
           " END_VAR SUB_FUNCTIONS END_SUBFUNCTIONS DEPENDENCIES END_DEPENDENCIES END_BF END_BOOT_FUNCTIONDECL "
           "BOOT_FUNCTIONS END_BOOT_FUNCTIONS";
}

// The value of b's variable as the constant table writes it, "shared type
// sign value" (without CID, kind and storage place), or "<none>". Without
// the section (errors were counted) the same from the model.
std::string valueText(const BfCompile& c, const char* name)
{
    StSymbEntryID sid;
    const CBfBootFktTyp* t = c.parser->existFkt(String("b"), sid);
    if (!t) return "<no type>";
    const StConstEntryID cid =
        c.parser->symbols()->getEntryCID(c.parser->symbols()->getSIDByName(String(name), t->ValidRange, t->NameRange));
    if (cid.isInvalid()) return "<none>";
    if (c.symb == "<not written>") {
        // Errors were counted: the section is not written, the model has
        // the value (its first 32 bits).
        const StConstantVal* v = c.parser->symbols()->getConstant(cid);
        uint8_t raw[8];
        uint32_t type, word;
        int32_t sign;
        v->getRaw(raw, type, sign);
        std::memcpy(&word, raw, 4);
        return std::to_string(v->isShared()) + " " + std::to_string(type) + " " + std::to_string(sign) +
               " " + std::to_string(word);
    }
    // Values are written "CID kind body place" and end their line; the
    // first follows the count of values on its line.
    const std::string head = std::to_string(uint32_t(cid)) + " 0 ";
    for (size_t at = c.symb.find(head); at != std::string::npos; at = c.symb.find(head, at + 1)) {
        if (at == 0 || (c.symb[at - 1] != '\n' && c.symb[at - 1] != ' ')) continue;
        const size_t end = c.symb.find("\r\n", at);
        std::string line = c.symb.substr(at, end - at);
        const std::string place = " 2147483647 ";
        if (line.size() > place.size() && line.compare(line.size() - place.size(), place.size(), place) == 0)
            return line.substr(head.size(), line.size() - place.size() - head.size());
    }
    return "<not found>";
}

// b's telegram, "code=value" per constant (the values as floats).
std::string telegram(const BfCompile& c)
{
    FsSecBootTels sec;
    dsctest::attachMem(sec);
    if (c.parser->writeToTel(sec) != 0 || sec.telegrams().empty()) return "<none>";
    std::ostringstream out;
    out.precision(10);
    for (const auto& k : sec.telegrams().front().constants) {
        float f = 0;
        k->getFloat(f);
        out << k->getTypeCode() << "=" << f << " ";
    }
    return out.str();
}

}  // namespace

TEST(BfInitValues, LiteralsByType)
{
    const std::string kEnum = "e : (A := 5, B); ";
    struct Case {
        std::string vars;
        const char* name;    // the variable whose value is read
        std::vector<std::string> messages;
        std::string value;   // "shared type sign value" of its constant ("" not read)
        std::string contains = "";  // a further text of "bfsymb"
        std::string tel = "";       // b's telegram when given
    } cases[] = {
        // Sign words: decimal +1, based 0, negative -1, kept by every type
        // but UDINT, which takes +1.
        {"v : USINT := 2#11111111;", "v", {}, "1 10 0 255"},
        {"v : USINT := 255;", "v", {}, "1 10 1 255"},
        {"v : USINT := 8#377;", "v", {}, "1 10 0 255"},
        {"v : UINT := 16#FFFF;", "v", {}, "1 11 0 65535"},
        {"v : BOOL := 2#1;", "v", {}, "1 1 0 1"},
        {"v : BOOL := 1;", "v", {}, "1 1 1 1"},
        {"v : SINT := 16#FF;", "v", {}, "1 6 0 255"},
        {"v : SINT := -128;", "v", {}, "1 6 -1 128"},
        {"v : INT := 16#8000;", "v", {}, "1 7 0 32768"},
        {"v : DINT := 16#FFFFFFFF;", "v", {}, "1 8 0 4294967295"},
        {"v : UDINT := 16#FFFFFFFF;", "v", {}, "1 12 1 4294967295"},
        // Refused: the default value instead (not shared).
        {"v : USINT := -1;", "v", {"512@1"}, "0 10 1 0"},
        {"v : UINT := 16#10000;", "v", {"512@1"}, "0 11 1 0"},
        // Integers into REAL: above 24 bits with loss, no message.
        {"v : REAL := 16777215;", "v", {}, "1 14 1 16777215"},
        {"v : REAL := 16777216;", "v", {}, "1 14 1 16777216"},
        {"v : REAL := 16#FFFFFFFF;", "v", {}, "1 14 1 4294967296"},
        {"v : REAL := 2147483647;", "v", {}, "1 14 1 2147483648"},
        // Above DINT's range the nearest REAL, as 16#FFFFFFFF's; past 32 bits
        // a real number, which only REAL and LREAL take.
        {"v : REAL := 4294967295;", "v", {}, "1 14 1 4294967296"},
        {"v : LREAL := 99999999999;", "v", {}, "1 15 1 99999999999"},
        {"v : UDINT := 4294967296;", "v", {"512@1"}, "0 12 1 0"},
        {"v : LREAL := 4294967295;", "v", {}, "1 15 1 4294967295"},
        // As array elements: accepted, kept as written, typed in the telegram.
        {"a : ARRAY [0..1] OF REAL := [16#FFFFFFFF, 2147483647];", "a", {}, "",
         "0 1 31 0 4294967295 2147483647 0 1 31 1 2147483647 2147483647 ", "7=4294967296 7=2147483648 "},
        // Untyped in every element type: sign words as read, reals as ANYREAL.
        {"a : ARRAY [0..1] OF SINT := [-1, 16#FF];", "a", {}, "",
         "0 1 31 -1 1 2147483647 0 1 31 0 255 2147483647 "},
        {"a : ARRAY [0..1] OF BOOL := [1, 0];", "a", {}, "", "0 1 31 1 1 2147483647 0 1 31 1 0 2147483647 "},
        {"a : ARRAY [0..1] OF UDINT := [2#1, 7];", "a", {}, "", "0 1 31 0 1 2147483647 0 1 31 1 7 2147483647 "},
        {"a : ARRAY [0..1] OF LREAL := [1.5, 2];", "a", {}, "", "0 1 32 1 1.5 2147483647 0 1 31 1 2 2147483647 "},
        // Reals at the normal range convert. Read below it (a subnormal, or 0
        // from a non-zero text), a literal is out of range for every type
        // (506): a variable keeps its type's initial value, an array or array
        // type is not declared. A real its type refuses after a good reading
        // is 512.
        {"v : LREAL := 2.2250738585072014e-308;", "v", {}, "1 15 1 2.22507385850720138e-308"},
        {"v : LREAL := 2.2250738585072011e-308;", "v", {"506@1"}, "0 15 1 0"},
        {"v : LREAL := 4.9e-324;", "v", {"506@1"}, "0 15 1 0"},
        {"v : LREAL := 1.0E-310;", "v", {"506@1"}, "0 15 1 0"},
        {"v : LREAL := 1e-400;", "v", {"506@1"}, "0 15 1 0"},
        {"v : REAL := 1.0E-310;", "v", {"506@1"}, "0 14 1 0"},
        {"v : REAL := 1e-38;", "v", {"512@1"}, "0 14 1 0"},
        {"v : BOOL := 1.0E-310;", "v", {"506@1"}, "0 1 1 0"},
        {"v : SINT := 1.0E-310;", "v", {"506@1"}, "0 6 1 0"},
        {"v : INT := 1.0E-310;", "v", {"506@1"}, "0 7 1 0"},
        {"v : DINT := 1.0E-310;", "v", {"506@1"}, "0 8 1 0"},
        {"v : USINT := 1.0E-310;", "v", {"506@1"}, "0 10 1 0"},
        {"v : UINT := 1.0E-310;", "v", {"506@1"}, "0 11 1 0"},
        {"v : UDINT := 1.0E-310;", "v", {"506@1"}, "0 12 1 0"},
        {"v : DINT := 1.0;", "v", {"512@1"}, "0 8 1 0"},
        {"a : ARRAY [0..1] OF LREAL := [1.0E-310, 1.0];", "a", {"506@1"}, "<none>"},
        {"a : ARRAY [0..1] OF LREAL := [1.0, 4.9e-324];", "a", {"506@1"}, "<none>"},
        {"a : ARRAY [0..1] OF REAL := [2(1.0E-310)];", "a", {"506@1"}, "<none>"},
        {"a : ARRAY [0..2] OF DINT := [1, 1.0E-310, 1];", "a", {"506@1"}, "<none>"},
        {"a : ARRAY [0..1] OF USINT := [1, 1.0E-310];", "a", {"506@1"}, "<none>"},
        {"TYPE t : ARRAY [0..1] OF LREAL := [1.0E-310, 1.0];", "t", {"506@1"}, "<none>"},
        // Any value of a list that is reported and left out: its message
        // alone, not a count of values too.
        {"a : ARRAY [0..1] OF DINT := [4294967296, 1];", "a", {"506@1"}, "<none>"},
        {"a : ARRAY [0..1] OF INT := [1, nothing];", "a", {"511@1 nothing"}, "<none>"},
        // Enumerations take their enumerators only; a refused value leaves
        // the type's initial value, its first enumerator's constant.
        {kEnum + "v : e := 99;", "v", {"512@1"}, "1 8 1 5"},
        {kEnum + "v : e := 5;", "v", {"512@1"}, "1 8 1 5"},
        {kEnum + "v : e := -1;", "v", {"512@1"}, "1 8 1 5"},
        {kEnum + "v : e := B;", "v", {}, "1 8 1 6"},
        {kEnum + "a : ARRAY [0..1] OF e := [B, A];", "a", {}, "", "0 1 8 1 6 2147483647 0 1 8 1 5 2147483647 "},
        {kEnum + "a : ARRAY [0..1] OF e := [B, 5];", "a", {"506@1"}, "<none>"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.vars);
        const BfCompile c = compileBf(source(k.vars));
        EXPECT_EQ(c.result, k.messages.empty() ? 0 : 3);
        EXPECT_EQ(c.messages, k.messages);
        if (!k.value.empty()) {
            EXPECT_EQ(valueText(c, k.name), k.value);
        }
        if (!k.contains.empty()) {
            EXPECT_NE(c.symb.find(k.contains), std::string::npos) << c.symb;
        }
        if (!k.tel.empty()) {
            EXPECT_EQ(telegram(c), k.tel);
        }
    }
}
