// The error-message container: runtime-message records from VARIANT
// arguments, the "errmsg" layout both ways, and how createMsgTab finds (or
// does not find) a message-text library. Texts and sending are checked
// through compiled sections (tests/tools/md/tavolin/errmsg_closed_loop_test).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "bo/alm/BoErrorMsgCont.h"
#include "co/TraceApi.h"
#include "config_dir.h"

namespace {

// A one-dimensional VARIANT array with lower bound lower.
struct VariantArray {
    VARIANT v;
    VariantArray(LONG lower, const std::vector<VARIANT>& elems)
    {
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = SafeArrayCreateVector(VT_VARIANT, lower, ULONG(elems.size()));
        for (size_t i = 0; i < elems.size(); ++i) {
            LONG idx = lower + LONG(i);
            SafeArrayPutElement(v.parray, &idx, const_cast<VARIANT*>(&elems[i]));
        }
    }
    ~VariantArray() { VariantClear(&v); }
};

VARIANT var(VARTYPE vt, uint64_t bits)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    std::memcpy(&v.llVal, &bits, sizeof bits);
    return v;
}

VARIANT i4(int32_t x) { return var(VT_I4, uint32_t(x)); }

uint64_t doubleBits(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

CmRtMsgRecord record(const VARIANT& args)
{
    return CBoAlmMsg(105, 20001, args).getRecord();
}

std::vector<uint64_t> slots(const CmRtMsgRecord& r)
{
    return std::vector<uint64_t>(r.args, r.args + 5);
}

}  // namespace

TEST(CBoAlmMsg, SlotsByElementType)
{
    float f = 1.5f;
    uint32_t fbits;
    std::memcpy(&fbits, &f, sizeof fbits);
    const double d = -2.25;
    VARIANT r4 = var(VT_R4, 0);
    r4.fltVal = f;
    VARIANT r8 = var(VT_R8, 0);
    r8.dblVal = d;
    const VariantArray a(0, {var(VT_I1, 0xFF), var(VT_UI2, 0xFFFF), r4, r8, var(VT_I2, 0x8000)});
    const CmRtMsgRecord r = record(a.v);
    EXPECT_EQ(r.id, 105u);
    EXPECT_EQ(r.number, 20001u);
    EXPECT_EQ(slots(r), (std::vector<uint64_t>{0xFFFFFFFFu, 0xFFFFu, fbits, doubleBits(d), 0xFFFF8000u}));
    EXPECT_EQ(fbits, 0x3FC00000u);

    // Typed arrays give the same slots.
    VARIANT typed;
    VariantInit(&typed);
    typed.vt = VT_ARRAY | VT_UI1;
    typed.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
    LONG i = 1;
    BYTE b = 200;
    SafeArrayPutElement(typed.parray, &i, &b);
    EXPECT_EQ(slots(record(typed)), (std::vector<uint64_t>{0, 200, 0, 0, 0}));
    VariantClear(&typed);
}

TEST(CBoAlmMsg, ArgumentsThatGiveNoSlots)
{
    // No array: zero slots, valid id words.
    const CmRtMsgRecord none = record(i4(7));
    EXPECT_EQ(none.id, 105u);
    EXPECT_EQ(slots(none), std::vector<uint64_t>(5, 0));

    // A BSTR element: zeros throughout, no id words.
    VARIANT s;
    VariantInit(&s);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(u"x");
    const VariantArray withText(0, {i4(1), s});
    VariantClear(&s);
    const CBoAlmMsg bad(105, 20001, withText.v);
    EXPECT_FALSE(bad.valid());
    EXPECT_EQ(bad.getRecord().id, 0u);
    EXPECT_EQ(bad.getRecord().number, 0u);
    EXPECT_EQ(slots(bad.getRecord()), std::vector<uint64_t>(5, 0));

    // Indices outside 0-4 are skipped.
    const VariantArray six(0, {i4(1), i4(2), i4(3), i4(4), i4(5), i4(6)});
    EXPECT_EQ(slots(record(six.v)), (std::vector<uint64_t>{1, 2, 3, 4, 5}));
    const VariantArray fromMinusOne(-1, {i4(9), i4(1), i4(2)});
    EXPECT_EQ(slots(record(fromMinusOne.v)), (std::vector<uint64_t>{1, 2, 0, 0, 0}));
    const VariantArray far(100, {i4(1)});
    EXPECT_EQ(slots(record(far.v)), std::vector<uint64_t>(5, 0));

    // Two dimensions: not taken.
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    VARIANT two;
    VariantInit(&two);
    two.vt = VT_ARRAY | VT_I4;
    two.parray = SafeArrayCreate(VT_I4, 2, bounds);
    EXPECT_FALSE(CBoAlmMsg(1, 2, two).valid());
    VariantClear(&two);
}

TEST(CBoErrorMsgCont, ErrmsgBothWays)
{
    CBoErrorMsgCont c(String(), 1);
    EXPECT_FALSE(c.hasContents());
    EXPECT_TRUE(c.addMsg(20002, 107));
    EXPECT_TRUE(c.addMsg(20001, 105));
    EXPECT_FALSE(c.addMsg(20001, 109));  // the first id stays
    FsSecClMem s;
    s.writeBytes("old content, longer", 19);
    ASSERT_TRUE(c.write(s));
    s.seek(0, 0);
    std::string text(s.getSize(), '\0');
    s.readBytes(&text[0], uint32_t(text.size()));
    EXPECT_EQ(text, "2 20001 105 20002 107 ");

    CBoErrorMsgCont back(String(), 1);
    back.addMsg(1, 1);  // cleared by the read
    s.seek(0, 0);
    ASSERT_TRUE(back.read(s));
    EXPECT_EQ(back.msgNumbers(), (std::list<uint32_t>{20001, 20002}));
    EXPECT_EQ(back.at(20001), 105);
    EXPECT_TRUE(back.hasContents());

    // The empty map is the count alone.
    FsSecClMem e;
    ASSERT_TRUE(CBoErrorMsgCont(String(), 1).write(e));
    EXPECT_EQ(e.getSize(), 2u);

    // More numbers announced than read: a repeated number, or the end of
    // the section.
    FsSecClMem twice;
    twice.writeBytes("3 1 2 1 3 4 5 ", 14);
    twice.seek(0, 0);
    EXPECT_FALSE(back.read(twice));
    EXPECT_EQ(twice.getError(), 18u);
    FsSecClMem shortSec;
    shortSec.writeBytes("3 1 2 3 4 ", 10);
    shortSec.seek(0, 0);
    EXPECT_FALSE(back.read(shortSec));
    EXPECT_EQ(shortSec.getError(), uint32_t(FSSEC_EOF));

    // Without mapping a container has contents even when empty.
    EXPECT_TRUE(CBoErrorMsgCont(String(), 0).hasContents());
}

TEST(CBoErrorMsgCont, CreateMsgTab)
{
    CmMsgTable* table = nullptr;
    // No configuration directory: a relative name stays relative.
    tvp::settingsClear();
    resetSettingsCaches();
    EXPECT_EQ(CBoErrorMsgCont(String(".dll"), 1).createMsgTab("a", &table), 0xFFFFu);
    EXPECT_EQ(CBoErrorMsgCont(String("tvalmtxx.dll"), 1).createMsgTab("a", &table), 5u);

    TestConfigDir cfg;
    cfg.write("tvalmtxa.rc", "");
    CBoErrorMsgCont c(String("tvalmtxx.dll"), 1);
    EXPECT_EQ(c.createMsgTab(nullptr, &table), 0xFFFFu);
    EXPECT_EQ(CBoErrorMsgCont(String("tvalmtxx.rc"), 1).createMsgTab("a", &table), 0xFFFFu);
    // With a configuration directory ".dll" is no longer at the start.
    EXPECT_EQ(CBoErrorMsgCont(String(".dll"), 1).createMsgTab("a", &table), 5u);

    {
        CTraceCapture trace;
        EXPECT_EQ(c.createMsgTab("b", &table), 5u);
        ASSERT_EQ(trace.count(), 1u);
        EXPECT_EQ(trace.lines()[0].level, 4u);
        EXPECT_EQ(trace.lines()[0].message, "LoadLibrary failed for " + cfg.file("tvalmtxb.dll"));
        trace.clear();
        // Even once the library is there, the key stays failed, without a trace.
        cfg.write("tvalmtxb.rc", "");
        EXPECT_EQ(c.createMsgTab("b", &table), 5u);
        EXPECT_EQ(trace.count(), 0u);
    }

    ASSERT_EQ(c.createMsgTab("a", &table), 0u);
    delete table;
}

TEST(CBoErrorMsgCont, WithoutDefaultTable)
{
    CBoErrorMsgCont c(String(), 1);
    c.addMsg(20001, 105);
    CTraceCapture trace;
    EXPECT_EQ(c.loadData(), 0xFFFFu);
    ASSERT_EQ(trace.count(), 1u);
    EXPECT_EQ(trace.lines()[0].message, "loadData must be overwritten");
    WString text;
    EXPECT_EQ(c.msgText(20001, text), 0xFFFFu);
    VARIANT none;
    VariantInit(&none);
    EXPECT_EQ(c.sendMsg(20001, 2, none, 0), 13u);
    EXPECT_EQ(c.sendMsg(20003, 2, none, 0), 13u);
    EXPECT_TRUE(CBoErrorMsgCont(String(), 0).msgNumbers().empty());
}
