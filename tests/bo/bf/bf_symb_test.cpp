// The boot-function symbol table: limits of the elementary types, the
// layout of symbols, element types and the lookup by visible scope with
// and without its name index.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/bf/BfSymbTable.h"
#include "co/TraceApi.h"

namespace {

// "type:value" of a limit, "null" for none.
std::string limit(CBfStdConstantVal* v)
{
    std::unique_ptr<CBfStdConstantVal> owned(v);
    if (!v) return "null";
    uint8_t raw[8];
    uint32_t type = 0;
    int32_t sign = 1;
    v->getRaw(raw, type, sign);
    std::ostringstream os;
    os << type << ":";
    double d;
    if (type == ST_REAL || type == ST_LREAL) {
        v->getDouble(d);
        os << d;
    } else {
        uint64_t m = 0;
        for (int i = 7; i >= 0; --i) m = (m << 8) | raw[i];
        os << (sign == -1 ? "-" : "") << m;
    }
    return os.str();
}

}  // namespace

TEST(BfSymb, LimitsOfTheElementaryTypes)
{
    CBfSymbTable t;
    struct Row {
        StTypeID tid;
        const char *min, *max;
    } rows[] = {
        {ST_BOOL, "1:0", "1:1"},
        {ST_BYTE, "2:0", "2:255"},
        {ST_USINT, "10:0", "10:255"},
        {ST_WORD, "3:0", "3:65535"},
        {ST_UINT, "11:0", "11:65535"},
        {ST_DWORD, "4:0", "4:4294967295"},
        {ST_UDINT, "12:0", "12:4294967295"},
        {ST_SINT, "6:-128", "6:127"},
        {ST_INT, "7:-32768", "7:32767"},
        {ST_DINT, "8:-2147483648", "8:2147483647"},
        {ST_REAL, "14:-3.40282e+38", "14:3.40282e+38"},
        {ST_LREAL, "15:-1.79769e+308", "15:1.79769e+308"},
        {ST_LWORD, "null", "null"},
        {ST_LINT, "null", "null"},
        {ST_ULINT, "null", "null"},
        {ST_TIME, "null", "null"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.min, limit(t.getMin(r.tid))) << r.tid;
        EXPECT_EQ(r.max, limit(t.getMax(r.tid))) << r.tid;
    }
    // An enumeration counts as DINT.
    auto enumerators = std::make_unique<StSymbEntryIDList>();
    StSymbEntryID e1;
    t.addEntry("E1", 0, 0, ST_KIND_CONST, e1);
    enumerators->push_back(e1);
    const StTypeID en = t.types()->createEnumType(enumerators, ST_INT);
    ASSERT_NE(ST_INVALID_TID, en);
    EXPECT_EQ("8:-2147483648", limit(t.getMin(en)));
    EXPECT_EQ("8:2147483647", limit(t.getMax(en)));
    CTraceCapture cap;
    EXPECT_EQ("null", limit(t.getMin(0x7ffffff0)));  // unknown type
    EXPECT_EQ(1u, cap.count());
}

TEST(BfSymb, OffsetsSizesAndElementTypes)
{
    CBfSymbTable t;
    StSymbEntryID a, b, c;
    t.addEntry("a", 0, 0, ST_KIND_VAR, a)->setTypeID(ST_INT);
    t.addEntry("b", 0, 0, ST_KIND_VAR, b)->setTypeID(ST_LREAL);
    t.addEntry("c", 0, 0, ST_KIND_VAR, c);
    EXPECT_EQ(2u, t.getSymbolSize(a));
    EXPECT_EQ(0x7fffffffu, t.getSymbolSize(c));  // no type
    EXPECT_EQ(110u + 2 + 8, t.assignOffsets({a, b}, 110));
    EXPECT_EQ(110u, t.getOffset(a));
    EXPECT_EQ(112u, t.getOffset(b));
    EXPECT_EQ(0x7fffffffu, t.assignOffsets({a, 999}, 0));  // unknown
    EXPECT_EQ(0x7fffffffu, t.assignOffsets({a, c}, 0));    // unknown size
    EXPECT_EQ(0x7fffffffu, t.assignOffsets({b}, 0x7ffffff8));  // end past 0x7ffffffe
    EXPECT_EQ(0x7ffffffeu, t.assignOffsets({b}, 0x7ffffff6));

    EXPECT_EQ(0u, t.setElemType(c, ST_UDINT));
    EXPECT_EQ(4u, t.getSymbolSize(c));
    EXPECT_EQ(2u, t.setElemType(c, 30));
    EXPECT_EQ(2u, t.setElemType(c, -1));
    EXPECT_EQ(2u, t.setElemType(999, 1));
    EXPECT_EQ(ST_INVALID_TID, makeElemTypeID(29));
    EXPECT_EQ(30u, makeElemTypeID(30));
    EXPECT_EQ(39u, makeElemTypeID(39));
    EXPECT_EQ(ST_INVALID_TID, makeElemTypeID(40));
}

TEST(BfSymb, FindSymbolAlikeWithAndWithoutIndex)
{
    std::mt19937 rng(42);
    CBfSymbTable t;
    std::vector<StRangeID> scopes = {0};
    for (int i = 0; i < 30; ++i) scopes.push_back(t.openNameSpace(scopes[rng() % scopes.size()]));
    auto fill = [&](int n) {
        for (int i = 0; i < n; ++i) {
            StSymbEntryID sid;
            std::string name = "n" + std::to_string(rng() % 20);
            t.addEntry(name.c_str(), 0, scopes[rng() % scopes.size()], ST_KIND_VAR, sid, -1, false);
        }
    };
    auto answers = [&] {
        std::vector<uint32_t> out;
        for (StRangeID nr : scopes)
            for (int k = 0; k < 21; ++k) out.push_back(t.findSymbol(("n" + std::to_string(k)).c_str(), 0, nr).get());
        return out;
    };
    fill(300);
    const auto plain = answers();
    t.buildNameIndex();
    EXPECT_EQ(plain, answers());
    // Symbols added and removed after the index was built.
    fill(50);
    for (int i = 0; i < 40; ++i) t.removeEntry(StSymbEntryID(rng() % 400));
    const auto indexed = answers();
    t.buildNameIndex();
    EXPECT_EQ(indexed, answers());
    EXPECT_EQ(ST_INVALID_SID, t.findSymbol("n20", 0, 0));
}

TEST(BfSymb, OperandsExpandIntoMembersAndElements)
{
    CBfSymbTable t;
    const StRangeID ns = t.openNameSpace(0);
    const StTypeID arr = t.types()->createArrayType(ST_BYTE, 1, 3);
    StSymbEntryIDList members;
    for (auto m : std::vector<std::pair<const char*, StTypeID>>{{"i", ST_INT}, {"@x", ST_INT}, {"arr", arr}}) {
        StSymbEntryID sid;
        t.declareSymbol(sid, m.first, 0, ns, 1, 0, false, true);
        ASSERT_TRUE(sid.isValid()) << m.first;
        t.findEntry(sid)->setTypeID(m.second);
        members.push_back(sid);
    }
    StSymbEntryID structSid, parent, s;
    t.declareStructType(structSid, "S", 0, 0, &members, ns, parent, 0, 0, false, false, true);
    ASSERT_TRUE(structSid.isValid());
    StSyBaseSymbEntry* e = t.addEntry("s", 0, 0, ST_KIND_VAR, s);
    e->setTypeID(t.findEntry(structSid)->getTypeID());
    e->setTypeRefSID(structSid);
    e->setStorageAddress(10);

    StASMBfOperand* op = nullptr;
    uint32_t address = 0, size = 0;
    ASSERT_EQ(0u, t.createSimpleASMBfOperand("s", 0, 0, 1, op, address, size));
    std::unique_ptr<StASMBfOperand> owned(op);
    EXPECT_EQ(11u, address);
    EXPECT_EQ(7u, size);  // INT, INT, BYTE[3]
    EXPECT_EQ(kBfPairInvalid, op->getSidOffset());

    std::vector<StASMOperand*> parts;
    ASSERT_EQ(0u, t.traceASMBfOperand(op, &parts));
    ASSERT_EQ(2u, parts.size());  // "@x" skipped
    std::vector<StASMOperand*> elements;
    ASSERT_EQ(0u, t.traceASMBfOperand(parts[1], &elements));
    ASSERT_EQ(3u, elements.size());
    for (int k = 0; k < 3; ++k) {
        auto* el = static_cast<StASMBfOperand*>(elements[k]);
        EXPECT_EQ(uint32_t(k + 1), el->getNumber(0));
        EXPECT_EQ(ST_BYTE, el->getTID());
        EXPECT_EQ(parts[1]->getFixOff() + k, el->getFixOff());
    }
    EXPECT_EQ(1 + 0, parts[0]->getFixOff());  // i at 0, after the operand's own 1
    std::vector<StASMOperand*> none;
    EXPECT_EQ(1u, t.traceASMBfOperand(elements[0], &none));  // elementary
    CTraceCapture cap;
    EXPECT_EQ(3u, t.traceASMBfOperand(op, static_cast<std::vector<StASMOperand*>*>(nullptr)));
    EXPECT_EQ(2u, t.createSimpleASMBfOperand(StSymbEntryID(9999), 0, op, address, size));
    EXPECT_EQ(2u, cap.count());
    for (auto* p : parts) delete p;
    for (auto* p : elements) delete p;
}

TEST(BfSymb, InitialValuesComeFromTheType)
{
    CBfSymbTable t;
    StSymbEntryID a, b, c;
    t.addEntry("a", 0, 0, ST_KIND_VAR, a)->setTypeID(ST_INT);
    t.addEntry("b", 0, 0, ST_KIND_VAR, b)->setTypeID(ST_INT);
    StConstantVal* va = t.getInitValue(a);
    ASSERT_NE(nullptr, va);
    EXPECT_NE(nullptr, dynamic_cast<CBfStdConstantVal*>(va));
    EXPECT_EQ(ST_INT, va->getTypeId());
    EXPECT_EQ(va, t.getInitValue(b));  // the equal constant is reused
    EXPECT_EQ(t.getInitValID(a), t.getInitValID(b));
    CTraceCapture cap;
    EXPECT_EQ(nullptr, t.getInitValue(999));
    EXPECT_EQ(1u, cap.count());
}

TEST(BfSymb, OperandContents)
{
    CBfSymbTable t;
    StSymbEntryID a, inst;
    t.addEntry("a", 0, 0, ST_KIND_VAR, a)->setTypeID(ST_INT);
    t.addEntry("inst", 0, 0, ST_KIND_VAR, inst);
    ASSERT_NE(nullptr, t.getInitValue(a));
    StASMBfOperand op(ST_INT, 0, a, 0);
    String text;
    EXPECT_TRUE(t.getOperandContents(op, text));
    EXPECT_EQ("a = 0", text.stdString());
    op.setAdrSID(inst);
    EXPECT_TRUE(t.getOperandContents(op, text));
    EXPECT_EQ("inst.a = 0", text.stdString());
    CTraceCapture cap;
    op.setSID(StSymbEntryID(999));
    EXPECT_FALSE(t.getOperandContents(op, text));
    EXPECT_EQ("inst.??? = ???", text.stdString());
    EXPECT_EQ(1u, cap.count());
}

TEST(BfSymb, NoLimitsOfAStructure)
{
    CBfSymbTable t;
    const StRangeID ns = t.openNameSpace(0);
    StSymbEntryID m, sid, parent;
    t.declareSymbol(m, "m", 0, ns, 1, 0, false, true);
    t.findEntry(m)->setTypeID(ST_INT);
    StSymbEntryIDList members;
    members.push_back(m);
    t.declareStructType(sid, "S", 0, 0, &members, ns, parent, 0, 0, false, false, true);
    ASSERT_TRUE(sid.isValid());
    CTraceCapture cap;
    EXPECT_EQ(nullptr, t.getMax(t.findEntry(sid)->getTypeID()));
    ASSERT_EQ(1u, cap.count());
    EXPECT_EQ(4u, cap.lines()[0].level);
}
