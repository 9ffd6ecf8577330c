// The compilers' variable-extension base: the three value builders with
// their ranges and messages, bit numbers, value records with filled bounds
// and units, enumeration entries and the CID counter, the dynamic-array
// check over a system-variable table, and the never-called groups.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "co/TraceApi.h"
#include "var_ext_recorder.h"

namespace {

struct Deleter {
    void operator()(VarValueEntry* e) const { delete e; }
};
using Entry = std::unique_ptr<VarValueEntry, Deleter>;

// The constant behind an entry.
StStdConstantVal* constOf(RecordingVarExt& t, StConstEntryID cid)
{
    return static_cast<StStdConstantVal*>(t.getFrameConstTable()->getConstantVal(cid));
}

int64_t longOf(RecordingVarExt& t, StConstEntryID cid)
{
    bool err = false;
    StStdConstantVal* c = constOf(t, cid);
    if (!c) return INT64_MIN;
    if (c->getTypeId() == ST_UDINT || c->getTypeId() == ST_BYTE || c->getTypeId() == ST_UINT)
        return c->GetULongVal(err);
    return c->GetLongVal(err);
}

TEST(VarExtBase, IntegerAndAcxRanges)
{
    RecordingVarExt t;
    Entry e(t.checkValueRange(256, ST_BYTE, 1, 0));
    EXPECT_EQ((Log{"count", "409 0 255"}), t.take());
    ASSERT_TRUE(e && e->cid.isValid());
    EXPECT_EQ(1u, e->kind);
    EXPECT_EQ(ST_BYTE, constOf(t, e->cid)->getTypeId());
    EXPECT_EQ(0, longOf(t, e->cid));  // a BYTE holds 256 cut to its byte
    Entry w(t.checkValueRange(65537, ST_WORD, 1, 0));
    EXPECT_EQ((Log{"count", "409 0 65535"}), t.take());
    EXPECT_EQ(1, longOf(t, w->cid));

    Entry(t.checkValueRange(5, ST_DINT, 0, 2));
    EXPECT_EQ((Log{"count", "407 3"}), t.take());
    Entry(t.checkValueRange(-129, ST_SINT, 0, 0));
    EXPECT_EQ((Log{"count", "409 -128 127"}), t.take());
    Entry(t.checkValueRange(INT32_MIN, ST_REAL, 0, 0));
    Entry(t.checkValueRange(-1, ST_UDINT, 0, 0));
    EXPECT_EQ(Log{}, t.take());

    Entry(t.checkAcxValueRange(0.5, ST_BOOL, 0, 0));
    EXPECT_EQ(Log{}, t.take());
    Entry(t.checkAcxValueRange(1.5, ST_BOOL, 0, 0));
    EXPECT_EQ((Log{"count", "409 0 1"}), t.take());
    Entry(t.checkAcxValueRange(std::nan(""), ST_REAL, 0, 0));
    Entry(t.checkAcxValueRange(-4e38, ST_REAL, 0, 0));
    EXPECT_EQ((Log{"count", "409 -3.402823e+38 3.402823e+38", "count", "409 -3.402823e+38 3.402823e+38"}),
              t.take());
    Entry(t.checkAcxValueRange(3e9, ST_DINT, 0, 0));
    EXPECT_EQ((Log{"count", "409 -2147483648 2147483647"}), t.take());
    Entry(t.checkAcxValueRange(-1, ST_UDINT, 0, 0));
    EXPECT_EQ((Log{"count", "409 0 4294967295"}), t.take());
    Entry(t.checkAcxValueRange(-1e308, ST_LREAL, 0, 0));
    EXPECT_EQ(Log{}, t.take());
    EXPECT_EQ(9, t.errors);
}

TEST(VarExtBase, ValueTexts)
{
    RecordingVarExt t;
    Entry a(t.parseValueText("0.0", ST_REAL, 0, 0)), b(t.parseValueText("-1.0E9", ST_LREAL, 0, 0));
    EXPECT_EQ(Log{}, t.take());
    bool err = false;
    EXPECT_EQ(-1.0e9, constOf(t, b->cid)->GetLRealVal(err));

    Entry(t.parseValueText("1e39", ST_REAL, 0, 0));
    EXPECT_EQ((Log{"count", "409 -3.402823e+38 3.402823e+38", "count", "400"}), t.take());
    Entry(t.parseValueText("-1e309", ST_LREAL, 0, 0));
    EXPECT_EQ((Log{"count", "409 -1.797693e+308 1.797693e+308", "count", "400"}), t.take());
    Entry c(t.parseValueText("1.5", ST_INT, 0, 0));
    EXPECT_EQ((Log{"count", "413"}), t.take());
    ASSERT_TRUE(c->cid.isValid());
    EXPECT_EQ(ST_INT, constOf(t, c->cid)->getTypeId());
    EXPECT_EQ(1, longOf(t, c->cid));
}

TEST(VarExtBase, BitNumbers)
{
    struct {
        uint32_t type;
        int32_t bit;
        bool valid;
    } rows[] = {{1, 1, false}, {1, 0, true},   {12, 31, true}, {12, 32, false}, {9, 0, false},
                {6, 7, true},  {6, 8, false},  {11, 15, true}, {2, -1, false},  {0, 0, false}};
    for (auto& r : rows) EXPECT_EQ(r.valid, MdVarExtBase::isBitNoValid(r.type, r.bit)) << r.type << " " << r.bit;
}

// A list of entries owned by the test.
struct Entries {
    VarValueEntryList list;
    ~Entries()
    {
        for (auto* e : list) delete e;
    }
    void add(VarValueEntry* e) { list.push_back(e); }
    void number(uint32_t kind, int32_t n)
    {
        auto* e = new VarValueEntry(kind);
        e->number = n;
        list.push_back(e);
    }
};

TEST(VarExtBase, TypeValueRecords)
{
    RecordingVarExt t;
    {
        Entries es;
        es.add(t.checkValueRange(-5, ST_SINT, VarValueEntry::Min, 0));
        es.number(VarValueEntry::Unit, 0);
        std::unique_ptr<VarTypeValue> v(t.createTypeValue(es.list, ST_SINT));
        ASSERT_TRUE(v);
        EXPECT_EQ(0, longOf(t, v->Def()));
        EXPECT_EQ(127, longOf(t, v->Max));
    }
    {
        Entries es;
        es.add(t.checkValueRange(3, ST_BYTE, VarValueEntry::Min, 0));
        es.number(VarValueEntry::Unit, 0);
        std::unique_ptr<VarTypeValue> v(t.createTypeValue(es.list, ST_BYTE));
        EXPECT_EQ(3, longOf(t, v->Def()));
    }
    {
        Entries es;
        es.number(VarValueEntry::Unit, 0);
        std::unique_ptr<VarTypeValue> v(t.createTypeValue(es.list, ST_UDINT));
        EXPECT_EQ(0, longOf(t, v->Min));
        EXPECT_EQ(0, longOf(t, v->Def()));
        EXPECT_EQ(4294967295, longOf(t, v->Max));
        std::unique_ptr<VarTypeValue> r(t.createTypeValue(es.list, ST_REAL));
        bool err = false;
        EXPECT_FLOAT_EQ(-3.4028234663852886e38f, constOf(t, r->Min)->GetRealVal(err));
        EXPECT_FLOAT_EQ(3.4028234663852886e38f, constOf(t, r->Max)->GetRealVal(err));
        std::unique_ptr<VarTypeValue> a(t.createTypeValue(es.list, ST_ANYOBJECT));
        EXPECT_TRUE(a->Min.isValid() && a->Def() == a->Min && a->Max == a->Min);
    }
    // Units: Fix gives its quantity (record 0 its own); neither: 406.
    for (auto [unit, fix, want] : {std::tuple{-1, 4, 1}, {2, 4, 1}, {-1, 0, 0}}) {
        Entries es;
        if (unit != -1) es.number(VarValueEntry::Unit, unit);
        es.number(VarValueEntry::Fix, fix);
        std::unique_ptr<VarTypeValue> v(t.createTypeValue(es.list, ST_INT));
        ASSERT_TRUE(v);
        EXPECT_EQ(want, v->Unit);
        EXPECT_EQ(fix, v->Fix);
    }
    EXPECT_EQ(Log{}, t.take());
    Entries none;
    EXPECT_FALSE(t.createTypeValue(none.list, ST_INT));
    EXPECT_EQ((Log{"count", "406"}), t.take());
    for (int32_t fix : {600, -2}) {
        Entries es;
        es.number(VarValueEntry::Fix, fix);
        EXPECT_FALSE(t.createTypeValue(es.list, ST_INT));
        EXPECT_EQ((Log{"count", "404 " + std::to_string(fix)}), t.take());
    }
}

// A system-variable table with the enumeration {A := -3, B := 7}.
StTypeID addEnum(SyStSymbTable& s)
{
    auto list = std::make_unique<StSymbEntryIDList>();
    const char* names[] = {"A", "B"};
    const int32_t values[] = {-3, 7};
    for (int i = 0; i < 2; ++i) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = s.addEntry(names[i], 0, 0, ST_KIND_CONST, sid);
        StConstantVal* v = new StStdConstantVal(values[i], false);
        e->setInitCID(s.constants()->addConstantVal(v));
        delete v;
        list->push_back(sid);
    }
    return s.types()->createEnumType(list, ST_DINT);
}

TEST(VarExtBase, EnumerationEntries)
{
    uint32_t firstCid[3];
    const uint16_t versions[3][2] = {{2, 1}, {2, 0}, {1, 5}};
    for (int i = 0; i < 3; ++i) {
        RecordingVarExt t;
        t.setSymbTable(new SyStSymbTable);
        const StTypeID en = addEnum(*t.getSymbTable());
        t.setVersion(versions[i][0], versions[i][1]);
        int32_t min = 0, max = 0;
        ASSERT_TRUE(t.getEnumRange(en, min, max));
        EXPECT_EQ(-3, min);
        EXPECT_EQ(7, max);
        Entries es;
        ASSERT_TRUE(t.makeEnumEntry(es.list, en));
        ASSERT_EQ(3u, es.list.size());
        auto it = es.list.begin();
        firstCid[i] = (*it)->cid.get();
        uint32_t valueType = 0;
        t.getSymbTable()->isEnumType(en, &valueType);
        for (int64_t want : {-3, -3, 7}) {
            EXPECT_EQ(want, longOf(t, (*it)->cid));
            EXPECT_EQ(valueType, constOf(t, (*it)->cid)->getTypeId());
            ++it;
        }
        es.add(new VarValueEntry(7));
        EXPECT_FALSE(t.makeEnumEntry(es.list, en));
        EXPECT_FALSE(t.getEnumRange(ST_DINT, min, max));
    }
    EXPECT_EQ(firstCid[0] + 3, firstCid[1]);
    EXPECT_EQ(firstCid[0] + 3, firstCid[2]);
}

// A type with a UINT size variable at 16 (min 1, def 4, max 10) whose
// arrays lie at the given addresses.
struct DynModel {
    RecordingVarExt t;
    SyStSymbTable* s = new SyStSymbTable;
    DynModel()
    {
        t.setSymbTable(s);
        sysVar("a8", 160, s->types()->createArrayType(ST_INT, 0, 7));
        sysVar("a16", 200, s->types()->createArrayType(ST_INT, 0, 15));
        sysVar("n", 16, ST_UINT);
    }
    void sysVar(const char* name, int32_t adr, StTypeID tid)
    {
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = s->addEntry(name, s->getGlobalVR(), s->getGlobalNR(), ST_KIND_SYSVAR, sid);
        e->setStorageAddress(adr);
        e->setTypeID(tid);
    }
    void size(uint32_t mask, int32_t unit, int32_t def = 4, int32_t max = 10)
    {
        CBOFrameConstValTable& c = *t.getFrameConstTable();
        auto* v = new VarTypeValue;
        v->Min = c.appendConstantVal(1, ST_UINT);
        v->Def() = c.appendConstantVal(def, ST_UINT);
        v->Max = max < 0 ? BO_INVALID_CID : c.appendConstantVal(max, ST_UINT);
        v->Unit = unit;
        t.addTypeValue(VarExtKey(16, mask), v);
    }
};

TEST(VarExtBase, DynamicArrays)
{
    {
        DynModel m;
        m.size(1, 0);
        m.t.addDynArraySizes(VarExtKey(16, 1), {160});
        EXPECT_FALSE(m.t.checkDynArraySize());
        EXPECT_EQ((Log{"409 1 8", "count"}), m.t.take());
    }
    {
        DynModel m;
        m.size(1, -1);
        m.t.addDynArraySizes(VarExtKey(16, 1), {200});
        CTraceCapture cap;
        EXPECT_TRUE(m.t.checkDynArraySize());
        EXPECT_EQ(Log{}, m.t.take());
        ASSERT_EQ(1u, cap.lines().size());
        EXPECT_EQ("DynArrays: 1, Max: 16, Def 4", cap.lines()[0].message);
        EXPECT_EQ(1u, cap.lines()[0].level);
    }
    {
        DynModel m;
        m.size(1, 62);
        m.t.addDynArraySizes(VarExtKey(16, 1), {200, 300, -1});
        EXPECT_FALSE(m.t.checkDynArraySize());
        EXPECT_EQ((Log{"405 62 0", "count", "411 12c", "count", "411 ffffffff", "count"}), m.t.take());
    }
    {
        DynModel m;
        m.size(0xFFFFFFFF, 0);  // found for mask 1, but not exactly it
        m.t.addDynArraySizes(VarExtKey(16, 1), {200});
        EXPECT_FALSE(m.t.checkDynArraySize());
        EXPECT_EQ((Log{"412 1", "count"}), m.t.take());
    }
    {
        DynModel m;
        m.size(1, 0, 4, -1);  // no maximum: said once for both arrays
        m.t.addDynArraySizes(VarExtKey(16, 1), {160, 200});
        EXPECT_FALSE(m.t.checkDynArraySize());
        EXPECT_EQ((Log{"417 $16[16#1]", "count"}), m.t.take());
    }
    DynModel m;
    CTraceCapture cap;
    EXPECT_EQ(ST_INVALID_TID, m.t.getTypeIdByAdr(8));  // below every variable
    EXPECT_EQ(StTypeID(ST_INT), m.t.getTypeIdByAdr(162));        // inside: the element
    RecordingVarExt bare;
    EXPECT_EQ(ST_INVALID_TID, bare.getTypeIdByAdr(160));
    ASSERT_EQ(2u, cap.lines().size());
    EXPECT_EQ("no operand found for ADR(0x000000A0)", cap.lines()[1].message);
}

TEST(VarExtBase, NeverCalledGroups)
{
    RecordingVarExt t;
    CTraceCapture cap;
    FsSecClMem s;
    EXPECT_EQ(9u, t.saveText(s));
    EXPECT_EQ(9u, t.loadEnums(s));
    EXPECT_FALSE(t.isTextLoaded());
    t.cleanEnums();
    EXPECT_EQ("Tavolin", std::string(t.getModuleName().c_str()));
    ASSERT_EQ(4u, cap.lines().size());
    EXPECT_EQ("MdVarExtBase::saveText", cap.lines()[0].method);
    EXPECT_EQ("Obj(Tavolin): never should be called", cap.lines()[3].message);
    EXPECT_EQ(4u, cap.lines()[3].level);
}

}  // namespace
