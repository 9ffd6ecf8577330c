// Constant values at random: a seeded round trip of every kind and type
// through the three body forms, the value-only form and the table, and a
// check that the order is a strict weak order consistent with equality.
#include <gtest/gtest.h>

#include <cfloat>
#include <map>
#include <memory>
#include <charconv>
#include <random>
#include <vector>

#include "const_forms.h"

namespace {

using namespace consttest;

// The limits of every elementary type: the ends of its range; for the
// floats plus and minus their largest value, plus and minus zero, the
// smallest normal and denormal values and the largest denormal.
std::vector<ValPtr> limitValues()
{
    std::vector<ValPtr> out;
    auto add = [&](uint32_t type, auto&& set) {
        auto* v = new StStdConstantVal(type, true);
        set(*v);
        out.emplace_back(v);
    };
    for (float f : {FLT_MAX, -FLT_MAX, 0.0f, -0.0f, FLT_MIN, -FLT_MIN, FLT_TRUE_MIN, -FLT_TRUE_MIN,
                    FLT_MIN - FLT_TRUE_MIN})
        add(ST_REAL, [&](StStdConstantVal& v) { v.SetRealVal(f); });
    for (double d : {DBL_MAX, -DBL_MAX, 0.0, -0.0, DBL_MIN, -DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN,
                     DBL_MIN - DBL_TRUE_MIN}) {
        add(ST_LREAL, [&](StStdConstantVal& v) { v.SetLRealVal(d); });
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof(buf), d);
        // 2 (out of range) for a denormal, stored all the same.
        add(ST_ANYREAL, [&](StStdConstantVal& v) { v.parseReal(String(buf, int(res.ptr - buf))); });
    }
    for (uint32_t t : {ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_USINT, ST_UINT, ST_UDINT, ST_SINT, ST_INT, ST_DINT,
                       ST_REAL, ST_LREAL, ST_TIME, ST_DATE, ST_TOD, ST_DT}) {
        add(t, [](StStdConstantVal& v) { v.setMin(); });
        add(t, [](StStdConstantVal& v) { v.setMax(); });
    }
    for (int32_t l : {INT32_MIN, INT32_MAX}) add(ST_STRUCTALARMID, [&](StStdConstantVal& v) { v.SetLongVal(l); });
    for (uint32_t l : {0u, UINT32_MAX}) add(ST_STRUCTTASKID, [&](StStdConstantVal& v) { v.SetULongVal(l); });
    for (const char* l : {"-2147483648", "4294967295", "16#FFFFFFFF", "16#80000000"})
        add(ST_ANYINT, [&](StStdConstantVal& v) { v.parseLiteral(l, l[0] == '1' ? 16 : 10); });
    add(ST_MEMADR, [](StStdConstantVal& v) { v.setSysAddr(0x7FFFFFFEu); });
    add(ST_ANYOBJECT, [](StStdConstantVal& v) {
        const uint32_t w[2] = {UINT32_MAX, UINT32_MAX};
        v.SetSysAddrVal(w);
    });
    return out;
}

class Gen {
public:
    explicit Gen(uint32_t seed) : m_rng(seed) {}

    uint32_t u(uint32_t n) { return m_rng() % n; }
    bool coin() { return m_rng() & 1; }

    StStdConstantVal* elementary()
    {
        const uint32_t type = u(36);
        if (u(8) == 0) {
            static const std::vector<ValPtr> all = limitValues();
            auto* v = static_cast<StStdConstantVal*>(all[u(uint32_t(all.size()))]->cloneShared(coin()));
            v->setStorageAddress(coin() ? ST_NO_ADDRESS : int32_t(m_rng()));
            return v;
        }
        auto* v = new StStdConstantVal(type, coin());
        const uint32_t r = m_rng();
        const int32_t sr = int32_t(r);
        switch (type) {
        case ST_SINT: case ST_INT: case ST_DINT: case ST_STRUCTALARMID:
            v->SetLongVal(type == ST_SINT ? sr % 129 : type == ST_INT ? sr % 32769 : sr);
            if (u(4) == 0) v->setSign(0);
            break;
        case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_USINT: case ST_UINT: case ST_UDINT:
        case ST_STRUCTTASKID:
            v->SetULongVal(type == ST_BOOL ? r & 1 : r);
            break;
        case ST_REAL: {
            float f;
            uint32_t bits = r;
            std::memcpy(&f, &bits, 4);
            v->SetRealVal(std::isfinite(f) ? f : 1.5f);
            break;
        }
        case ST_LREAL: {
            uint64_t bits = uint64_t(m_rng()) << 32 | m_rng();
            double d;
            std::memcpy(&d, &bits, 8);
            v->SetLRealVal(std::isfinite(d) ? d : -2.25);
            break;
        }
        case ST_ANYREAL: {
            char buf[64];
            const double d = std::ldexp(double(sr), int(u(200)) - 100);
            auto res = std::to_chars(buf, buf + sizeof(buf), d);
            v->parseReal(String(buf, int(res.ptr - buf)));
            break;
        }
        case ST_ANYINT:
            v->parseLiteral(std::to_string(sr).c_str(), coin() ? 10 : 16);
            break;
        case ST_ANYOBJECT: {
            const uint32_t w[2] = {r, uint32_t(m_rng())};
            v->SetSysAddrVal(w);
            break;
        }
        case ST_MEMADR: v->setSysAddr(r == 0x7FFFFFFFu ? 0 : r); break;
        case ST_TIME: v->parseTime(("T#" + std::to_string(r % 4000000) + "s").c_str()); break;
        case ST_DATE: v->parseDate(("D#" + std::to_string(1992 + u(209)) + "-" + std::to_string(1 + u(12)) + "-" +
                                    std::to_string(1 + u(28))).c_str()); break;
        case ST_TOD: v->parseTimeOfDay(("TOD#" + std::to_string(u(24)) + ":" + std::to_string(u(60)) + ":" +
                                        std::to_string(u(60)) + "." + std::to_string(u(1000))).c_str()); break;
        case ST_DT: v->parseDateAndTime(("DT#2000-02-" + std::to_string(10 + u(19)) + "-1:2:" +
                                         std::to_string(u(60))).c_str()); break;
        default: break;
        }
        v->setStorageAddress(coin() ? ST_NO_ADDRESS : sr);
        return v;
    }

    // A value of any kind; composites nest up to depth levels.
    StConstantVal* any(int depth, bool nulls = false)
    {
        const uint32_t k = depth > 0 ? u(5) : 0;
        StConstantVal* v;
        switch (k) {
        case ST_CONST_STRUCT: {
            auto* s = new StStructConstantVal();
            s->setTypeRef(u(4) == 0 ? ST_INVALID_TID : 40 + u(5));
            for (uint32_t i = 0, n = u(4); i < n; ++i)
                s->addMember(nulls && u(5) == 0 ? nullptr : any(depth - 1, nulls));
            v = s;
            break;
        }
        case ST_CONST_STRING: {
            std::string t;
            for (uint32_t i = 0, n = u(3) == 0 ? 254 : u(12); i < n; ++i) t += char(coin() ? ' ' + u(95) : 1 + u(255));
            int status;
            auto* s = new StStringConstantVal(40 + u(3), "", 0, status);
            s->setText(String(t.data(), int(t.size())));
            if (nulls && coin()) s->setHeadSpec(11);  // not carried by the written forms
            v = s;
            break;
        }
        case ST_CONST_INTARRAY:
            v = coin() ? new StIntArrayConstantVal(1 + u(1000), any(depth - 1, nulls), u(16), coin())
                       : new StIntArrayConstantVal();
            break;
        case ST_CONST_PCKINIT: {
            auto* p = new StPckInitConstantVal();
            if (coin()) p->setArray(1 + u(50), any(depth - 1, nulls), u(16));
            StPackageId id = kNullVersionStamp;
            id.Guid.Data1 = m_rng();
            id.Guid.Data4[7] = uint8_t(u(256));
            id.Major = uint16_t(u(3));
            id.Minor = uint16_t(m_rng());
            p->setPackageInit(u(100), id, int32_t(m_rng()));
            v = p;
            break;
        }
        default:
            return elementary();
        }
        v->setShared(coin());
        v->setStorageAddress(coin() ? ST_NO_ADDRESS : int32_t(m_rng()));
        return v;
    }

private:
    std::mt19937 m_rng;
};

ValPtr fresh(StConstValKind kind)
{
    if (kind == ST_CONST_INTARRAY) return ValPtr(new StIntArrayConstantVal());
    return ValPtr(StSyConstValTable().createConstantVal(kind));
}

TEST(ConstRandomTest, RoundTripEveryForm)
{
    Gen g(20261207);
    StSyConstValTable table;
    // Every limit once, then values at random (which draw limits too).
    const std::vector<ValPtr> limits = limitValues();
    for (size_t i = 0; i < limits.size() + 400; ++i) {
        ValPtr v(i < limits.size() ? limits[i]->clone() : g.any(3));
        const std::string binary = writeBody(Form::SectionBinary, *v);
        for (Form f : sttest::kForms) {
            const std::string once = writeBody(f, *v);
            ValPtr back = fresh(v->getKind());
            ASSERT_TRUE(readBody(f, *back, once)) << sttest::formName(f) << " " << valueText(*v);
            EXPECT_EQ(once, writeBody(f, *back)) << sttest::formName(f);
            EXPECT_TRUE(constValEqual(v.get(), back.get())) << sttest::formName(f) << " " << valueText(*v);
            // Every bit, floats included.
            EXPECT_EQ(binary, writeBody(Form::SectionBinary, *back)) << sttest::formName(f);
        }
        for (Form f : {Form::SectionText, Form::SectionBinary}) {
            const std::string once = writeValueOnly(f, *v);
            ValPtr back = fresh(v->getKind());
            ASSERT_TRUE(readValueOnly(f, *back, once)) << sttest::formName(f);
            EXPECT_EQ(once, writeValueOnly(f, *back));
        }
        // Integer arrays live only inside other values: the table does not
        // create them when reading.
        if (v->getKind() == ST_CONST_INTARRAY) continue;
        StConstantVal* p = v.release();
        table.addConstantVal(p);
        delete p;
    }
    for (Form f : sttest::kForms) {
        const std::string once = writeTable(f, table);
        StSyConstValTable back;
        ASSERT_TRUE(readTable(f, back, once)) << sttest::formName(f);
        EXPECT_EQ(once, writeTable(f, back)) << sttest::formName(f);
        EXPECT_EQ(table.sharedCount(), back.sharedCount());
    }
}

TEST(ConstRandomTest, StrictWeakOrder)
{
    Gen g(7);
    std::vector<ValPtr> vals;
    for (int i = 0; i < 70; ++i) {
        vals.emplace_back(g.any(2, true));
        if (i % 5 == 0) vals.emplace_back(vals.back()->clone());
    }
    // Small values collide often: many equal pairs.
    for (int i = 0; i < 30; ++i) vals.emplace_back(g.any(0));
    const size_t n = vals.size();
    std::vector<std::vector<char>> less(n, std::vector<char>(n));
    for (size_t a = 0; a < n; ++a)
        for (size_t b = 0; b < n; ++b) less[a][b] = constValLess(vals[a].get(), vals[b].get());
    size_t equalPairs = 0;
    for (size_t a = 0; a < n; ++a) {
        ASSERT_FALSE(less[a][a]);
        for (size_t b = 0; b < n; ++b) {
            ASSERT_FALSE(less[a][b] && less[b][a]);
            const bool equivalent = !less[a][b] && !less[b][a];
            // The hash of shared elementary values keys them as the order does.
            if (vals[a]->getKind() == ST_CONST_STD && vals[b]->getKind() == ST_CONST_STD) {
                const auto& va = static_cast<const StStdConstantVal&>(*vals[a]);
                const auto& vb = static_cast<const StStdConstantVal&>(*vals[b]);
                ASSERT_EQ(equivalent, va.orderKey() == vb.orderKey()) << valueText(va) << " " << valueText(vb);
            }
            // The hash that finds shared composite values agrees with the order.
            if (equivalent) {
                ASSERT_EQ(vals[a]->orderHash(), vals[b]->orderHash()) << valueText(*vals[a]) << " " << valueText(*vals[b]);
            }
            if (constValEqual(vals[a].get(), vals[b].get())) {
                ++equalPairs;
                ASSERT_TRUE(equivalent) << valueText(*vals[a]) << " " << valueText(*vals[b]);
            }
            for (size_t c = 0; c < n; ++c) {
                if (less[a][b] && less[b][c]) {
                    ASSERT_TRUE(less[a][c]);
                }
                if (equivalent && !less[b][c] && !less[c][b]) {
                    ASSERT_TRUE(!less[a][c] && !less[c][a]);
                }
            }
        }
    }
    EXPECT_GT(equalPairs, n);
}

// The table answers as an ordered map of its shared values would: equal
// shared values take one CID, equivalent ones that are not equal (a system
// address holding none) keep theirs, and removing a value erases the entry
// that stands for it or for an equal value. Elementary values collide often here,
// out-of-range magnitudes and both zeros included.
TEST(ConstRandomTest, TableSharesAsItsOrder)
{
    Gen g(48);
    auto small = [&]() -> StConstantVal* {
        const uint32_t pick = g.u(10);
        if (pick >= 4) return g.any(1);
        auto* v = new StStdConstantVal(pick == 0 ? ST_SINT : pick == 1 ? ST_REAL : pick == 2 ? ST_MEMADR : ST_UDINT,
                                       g.coin() || g.coin());
        switch (v->getTypeId()) {
        case ST_SINT:
            // -129 and -200 are kept as magnitudes the type cannot hold.
            v->SetLongVal(int32_t(g.u(5)) - 2);
            if (g.u(4) == 0) v->setSign(0);
            if (g.u(6) == 0) v->SetLongVal(g.coin() ? -129 : -200);
            break;
        case ST_REAL: v->SetRealVal(g.coin() ? 0.0f : g.coin() ? -0.0f : 1.5f); break;
        case ST_MEMADR: v->setSysAddr(g.coin() ? 0x7FFFFFFFu : g.u(3)); break;
        default: v->SetULongVal(g.u(4)); break;
        }
        return v;
    };
    using Ref = std::map<const StConstantVal*, uint32_t, StConstValLess>;
    Ref ref;
    std::map<uint32_t, std::unique_ptr<StConstantVal>> kept;  // the reference's own copies
    StSyConstValTable table;
    uint32_t next = 0, shared = 0, removed = 0;
    for (int i = 0; i < 3000; ++i) {
        if (i % 7 == 6 && !kept.empty()) {
            // Remove a value at random from both.
            auto it = std::next(kept.begin(), long(g.u(uint32_t(kept.size()))));
            const uint32_t cid = it->first;
            auto s = ref.find(it->second.get());
            if (s != ref.end() && (s->second == cid || constValEqual(s->first, it->second.get()))) ref.erase(s);
            kept.erase(it);
            if (cid + 1 == next) next = kept.empty() ? 0 : kept.rbegin()->first + 1;
            ASSERT_EQ(0, table.removeConstantVal(cid));
            ++removed;
            continue;
        }
        std::unique_ptr<StConstantVal> v(small());
        uint32_t want = next;
        auto at = v->isShared() ? ref.lower_bound(v.get()) : ref.end();
        const bool equivalent = at != ref.end() && !constValLess(v.get(), at->first);
        if (equivalent && constValEqual(at->first, v.get())) {
            want = at->second;
            // The CID drawn for it goes back.
            next = kept.empty() ? 0 : kept.rbegin()->first + 1;
            ++shared;
        } else {
            ++next;
            StConstantVal* copy = v->clone();
            kept[want].reset(copy);
            if (v->isShared() && !equivalent) ref.emplace(copy, want);
        }
        StConstantVal* p = v->clone();
        const StConstEntryID cid = i % 2 ? table.addConstantCopy(*v) : table.addConstantVal(p);
        delete p;
        ASSERT_EQ(want, cid.get()) << i << " " << valueText(*v);
        ASSERT_EQ(ref.size(), table.sharedCount()) << i;
        if (v->isShared()) {
            auto f = ref.find(v.get());
            const uint32_t expected = f != ref.end() && constValEqual(f->first, v.get()) ? f->second : ST_INVALID_CID.get();
            ASSERT_EQ(expected, table.findSharedValue(v.get()).get()) << valueText(*v);
        }
    }
    EXPECT_GT(shared, 500u);
    EXPECT_GT(removed, 300u);
}

}  // namespace
