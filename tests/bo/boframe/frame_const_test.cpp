// The frame constant table: the four appendConstantVal forms (setters,
// clamps, refusals and their traces, equal shared values), copies of
// instance values, clones and removals, the sysvar default-value buffer,
// and reading a constant table through the frame's factory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "bo/boframe/BoFrameConstVal.h"
#include "co/TraceApi.h"

namespace {

std::vector<std::string> traces(const CTraceCapture& cap)
{
    std::vector<std::string> out;
    for (auto& l : cap.lines())
        if (l.method.rfind("CBOFrameConstValTable::", 0) == 0) out.push_back(std::to_string(l.level) + " " + l.message);
    return out;
}

const StStdConstantVal* stdVal(const CBOFrameConstValTable& t, StConstEntryID cid)
{
    return dynamic_cast<const StStdConstantVal*>(t.getConstantVal(cid));
}

std::string sectionText(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.seek(0, 0);
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    return out;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FrameConstTable, NumbersBySetterWithClampsAndTraces)
{
    struct Row {
        bool isDouble;
        double value;  // the integer form takes int32_t(value)
        uint32_t spec;
        uint32_t type;  // type of the added constant
        double got;     // its value as a double
        const char* trace;
    } rows[] = {
        {false, 5, ST_INT, ST_INT, 5, nullptr},
        {false, -5, ST_SINT, ST_SINT, -5, nullptr},
        {false, -1, ST_UDINT, ST_UDINT, 4294967295.0, nullptr},  // the integer form wraps
        {false, 3, ST_REAL, ST_REAL, 3, nullptr},
        {false, 7, ST_LREAL, ST_LREAL, 7, nullptr},
        {false, 5, ST_LINT, ST_LINT, 0, "bad typespec"},
        {false, 5, ST_ANYOBJECT, ST_ANYOBJECT, 0, "bad typespec"},
        {true, 2.9, ST_DINT, ST_DINT, 2, nullptr},
        {true, -2.9, ST_DINT, ST_DINT, -2, nullptr},
        {true, 1e20, ST_DINT, ST_DINT, 2147483647, nullptr},
        {true, -1e20, ST_DINT, ST_DINT, -2147483648.0, nullptr},
        {true, kNaN, ST_DINT, ST_DINT, 0, "SetLongVal failed"},
        {true, -1e300, ST_UDINT, ST_UDINT, 0, nullptr},
        {true, 1e300, ST_UDINT, ST_UDINT, 4294967295.0, nullptr},
        {true, 7.9, ST_BYTE, ST_BYTE, 7, nullptr},
        {true, kNaN, ST_WORD, ST_WORD, 0, "SetULongVal failed"},
        {true, 3.5e38, ST_REAL, ST_REAL, 3.4028234663852886e38, nullptr},
        {true, -kInf, ST_REAL, ST_REAL, -3.4028234663852886e38, nullptr},
        {true, 0.1, ST_REAL, ST_REAL, double(0.1f), nullptr},
        {true, kNaN, ST_REAL, ST_REAL, 0, "SetRealVal failed"},
        {true, kInf, ST_LREAL, ST_LREAL, 1.7976931348623157e308, nullptr},
        {true, kNaN, ST_LREAL, ST_LREAL, 0, "SetLRealVal failed"},
        {true, 1.5, 9, 9, 0, "bad typespec"},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.value) + " as " + std::to_string(r.spec));
        CBOFrameConstValTable t;
        CTraceCapture cap;
        StConstEntryID cid = r.isDouble ? t.appendConstantVal(r.value, r.spec)
                                        : t.appendConstantVal(int32_t(r.value), r.spec);
        ASSERT_TRUE(cid.isValid());
        const StStdConstantVal* c = stdVal(t, cid);
        ASSERT_NE(nullptr, dynamic_cast<const CBOFrameStdConstantVal*>(c));
        EXPECT_TRUE(c->isShared());
        EXPECT_EQ(r.type, c->getTypeId());
        double d = -1;
        int32_t l = 0;
        uint32_t u = 0;
        if (c->getDouble(d)) {
        } else if (c->getLong(l) && (r.type == ST_SINT || r.type == ST_INT || r.type == ST_DINT)) {
            d = l;
        } else if (c->getULong(u)) {
            d = u;
        } else {
            uint8_t raw[8];
            uint32_t type = 0;
            int32_t sign = 0;
            c->getRaw(raw, type, sign);
            d = 0;
            for (uint8_t b : raw) d += b;  // a valueless constant holds zero bytes
        }
        EXPECT_EQ(r.got, d);
        EXPECT_EQ(r.trace ? std::vector<std::string>{std::string("4 ") + r.trace} : std::vector<std::string>{},
                  traces(cap));
    }
}

TEST(FrameConstTable, EqualSharedValuesShareACid)
{
    CBOFrameConstValTable t;
    StConstEntryID a = t.appendConstantVal(5, ST_INT);
    EXPECT_EQ(a, t.appendConstantVal(5, ST_INT));    // the second constant is freed
    EXPECT_EQ(a, t.appendConstantVal(5.7, ST_INT));  // truncated to the same value
    StConstEntryID b = t.appendConstantVal(5, ST_DINT);
    EXPECT_NE(a, b);
    // A bad type spec still takes a CID (the callers count on the numbering).
    StConstEntryID c = t.appendConstantVal(5, 9);
    EXPECT_EQ(b + 1, c.get());
    EXPECT_EQ(3u, t.values().size());
}

TEST(FrameConstTable, TextsAndSystemAddresses)
{
    CBOFrameConstValTable t;
    CTraceCapture cap;
    int status = -1;
    StConstEntryID real = t.appendConstantVal(String("1.5"), 0x1000 | ST_REAL, ST_REAL, status);
    EXPECT_EQ(0, status);
    ASSERT_TRUE(real.isValid());
    double d = 0;
    EXPECT_TRUE(stdVal(t, real)->getDouble(d));
    EXPECT_EQ(1.5, d);
    EXPECT_TRUE(t.appendConstantVal(String("-7"), 0x1000 | ST_INT, ST_INT, status).isValid());
    EXPECT_EQ(0, status);
    // Below the normal range: a REAL 0, taken with the loss.
    const StConstEntryID tiny = t.appendConstantVal(String("1e-310"), 0x1000 | ST_REAL, ST_REAL, status);
    EXPECT_EQ(2, status);
    ASSERT_TRUE(tiny.isValid());
    EXPECT_EQ(ST_REAL, stdVal(t, tiny)->getTypeId());
    EXPECT_TRUE(stdVal(t, tiny)->isDefault());
    EXPECT_TRUE(t.appendConstantVal(String("x"), 0x1000 | ST_REAL, ST_REAL, status).isInvalid());
    EXPECT_NE(0, status);
    EXPECT_NE(2, status);
    EXPECT_EQ(std::vector<std::string>{"4 appendConstantVal for x failed"}, traces(cap));
    cap.clear();

    BoSysAddr adr;
    adr.words[0] = 0x00020001;
    adr.words[1] = 0x12345678;
    StConstEntryID sys = t.appendConstantVal(adr, ST_ANYOBJECT);
    bool error = true;
    uint16_t first = 0, second = 0;
    uint32_t word = 0;
    stdVal(t, sys)->GetSysAddrVal(error, first, second, word);
    EXPECT_FALSE(error);
    EXPECT_EQ(1, first);
    EXPECT_EQ(2, second);
    EXPECT_EQ(0x12345678u, word);
    StConstEntryID bad = t.appendConstantVal(adr, ST_DINT);
    ASSERT_TRUE(bad.isValid());
    EXPECT_EQ(ST_DINT, stdVal(t, bad)->getTypeId());
    EXPECT_TRUE(stdVal(t, bad)->isDefault());
    EXPECT_EQ(std::vector<std::string>{"4 bad typespec"}, traces(cap));
}

// A real whose text was read already gives the table what the text gives:
// the same CIDs, statuses and written bytes, lost precision included.
TEST(FrameConstTable, PlainRealsAsTheirTexts)
{
    CBOFrameConstValTable byText, byValue;
    for (const char* text : {"1.5", "-1.0E6", "1.0E6", "0.1", "-0", "0.0", "16777217", "0.1234567891", "1e22",
                             "1e-22", "700.5", "1.5"})
        for (uint32_t type : {ST_REAL, ST_LREAL}) {
            double v = 0;
            ASSERT_TRUE(StStdConstantVal::readPlainDecimal(text, text + std::strlen(text), v)) << text;
            int s1 = -1, s2 = -1;
            const StConstEntryID a = byText.appendConstantVal(String(text), type, type, s1);
            const StConstEntryID b = byValue.appendPlainReal(String(text), v, type, s2);
            EXPECT_EQ(a, b) << text;
            EXPECT_EQ(s1, s2) << text;
        }
    FsSecClMem s1, s2;
    ASSERT_TRUE(byText.write(s1));
    ASSERT_TRUE(byValue.write(s2));
    EXPECT_GT(sectionText(s1).size(), 100u);
    EXPECT_EQ(sectionText(s1), sectionText(s2));
}

TEST(FrameConstTable, InstanceValuesClonesAndRemovals)
{
    CBOFrameConstValTable t;
    CTraceCapture cap;
    StConstEntryID shared = t.appendConstantVal(5, ST_INT);
    const StConstantVal& source = *t.getConstantVal(shared);

    StConstEntryID own = t.appendInstVal(0x100, source, true);
    ASSERT_TRUE(own.isValid());
    EXPECT_NE(shared, own);
    const StConstantVal* inst = t.getConstantVal(own);
    EXPECT_NE(nullptr, dynamic_cast<const CBOFrameStdConstantVal*>(inst));
    EXPECT_FALSE(inst->isShared());
    EXPECT_EQ(0x100, inst->getStorageAddress());
    EXPECT_TRUE(source.isShared());  // the source is unchanged
    EXPECT_FALSE(source.hasAddress());

    EXPECT_EQ(shared, t.appendInstVal(ST_INVALID_CID, *inst, true));  // equal to the shared value
    StConstEntryID unshared = t.appendInstVal(ST_INVALID_CID, source, false);
    EXPECT_NE(shared, unshared);
    EXPECT_FALSE(t.getConstantVal(unshared)->hasAddress());

    StStringConstantVal text;
    EXPECT_TRUE(t.appendInstVal(0x200, text, true).isInvalid());
    EXPECT_EQ(std::vector<std::string>{"4 appendInstVal failed"}, traces(cap));

    EXPECT_TRUE(t.cloneConstantVal(99, true).isInvalid());
    StConstEntryID clone = t.cloneConstantVal(own, false);
    EXPECT_NE(own, clone);
    EXPECT_EQ(0x100, t.getConstantVal(clone)->getStorageAddress());
    EXPECT_EQ(shared, t.cloneConstantVal(unshared, true));

    const size_t n = t.values().size();
    EXPECT_EQ(0, t.removeConstantVal(shared, true));  // shared: kept
    EXPECT_EQ(n, t.values().size());
    EXPECT_EQ(0, t.removeConstantVal(own, true));  // unshared: removed
    EXPECT_EQ(nullptr, t.getConstantVal(own));
    EXPECT_EQ(0, t.removeConstantVal(shared, false));
    EXPECT_EQ(nullptr, t.getConstantVal(shared));
    EXPECT_EQ(1, t.removeConstantVal(shared, false));
}

TEST(FrameConstTable, SysVarBufferWritesListedValuesWithAnIdOfTheirOwn)
{
    CBOFrameConstValTable t;
    StConstEntryID c0 = t.appendConstantVal(5, ST_INT);
    StConstEntryID c1 = t.appendInstVal(0x100, *t.getConstantVal(c0), true);
    StConstEntryID c2 = t.appendInstVal(0x104, *t.getConstantVal(c0), true);  // not listed
    ASSERT_EQ(0u, c0.get());
    ASSERT_EQ(1u, c1.get());
    ASSERT_EQ(2u, c2.get());

    struct Row {
        CBOFrameConstValTable::CidList list;
        const char* bytes;
        CBOFrameConstValTable::CidList left;
        const char* trace;
    } rows[] = {
        {{0, 1, 9}, "7 1 5 ", {0, 9}, "1 Write SysVarBuffer: 1 Vars"},
        {{}, "", {}, "1 Write SysVarBuffer: 0 Vars"},
        {{2, 1, 1}, "7 1 5 7 1 5 ", {}, "1 Write SysVarBuffer: 2 Vars"},
    };
    for (auto& r : rows) {
        FsSecClMem s;
        CTraceCapture cap;
        EXPECT_EQ(0u, t.writeSysVarDefVal(s, r.list));
        EXPECT_EQ(r.bytes, sectionText(s));
        EXPECT_EQ(r.left, r.list);
        EXPECT_EQ(std::vector<std::string>{r.trace}, traces(cap));
    }

    // A stream in error fails the first write.
    FsSecClMem broken;
    broken.setError(16);
    CBOFrameConstValTable::CidList list{1, 2};
    CTraceCapture cap;
    EXPECT_EQ(1u, t.writeSysVarDefVal(broken, list));
    EXPECT_EQ((CBOFrameConstValTable::CidList{1, 2}), list);
    EXPECT_EQ(std::vector<std::string>{"4 write data for CID(1) failed"}, traces(cap));
}

TEST(FrameConstTable, ReadsOnlyElementaryConstants)
{
    StSyConstValTable plain;
    // plain as written, read back through the frame's factory.
    auto readBack = [&plain](CBOFrameConstValTable& t) {
        FsSecClMem s;
        EXPECT_TRUE(plain.write(s));
        s.seek(0, 0);
        return t.read(s);
    };
    StConstantVal* v = new StStdConstantVal(int32_t(-3), false);
    plain.addConstantVal(v);
    v = new StStdConstantVal(ST_REAL, false);
    plain.addConstantVal(v);
    CBOFrameConstValTable t;
    ASSERT_TRUE(readBack(t));
    ASSERT_EQ(2u, t.values().size());
    for (auto& e : t.values()) EXPECT_NE(nullptr, dynamic_cast<CBOFrameStdConstantVal*>(e.second));

    v = new StStringConstantVal;
    plain.addConstantVal(v);
    CBOFrameConstValTable u;
    EXPECT_FALSE(readBack(u));
    EXPECT_EQ(nullptr, u.createConstantVal(ST_CONST_STRING));
    EXPECT_EQ(nullptr, u.createConstantVal(ST_CONST_STRUCT));
}

TEST(FrameConstTable, CompileSideTableCountsItsArea)
{
    CpConstValTable t(100);
    EXPECT_EQ(0u, t.count());
    EXPECT_EQ(100u, t.getStartOffset());
    EXPECT_EQ(100u, t.getNextOffset());
    EXPECT_TRUE(t.laidOut().empty());
}

}  // namespace
