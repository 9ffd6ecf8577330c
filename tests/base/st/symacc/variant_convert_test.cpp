// Value conversion: the VARTYPE table in the strict, tolerant and raw forms,
// the hashed null-context VARIANTs against an independent digest, the
// string literal encoding, seeded round trips through VARIANTs and text,
// and the name lookups with cleanup on the fake host.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/st/symacc/SyStSymbTable.h"
#include "base/st/symacc/SyVariantConvert.h"
#include "base/st/symacc/sy_decodehlp.h"
#include "co/CoCrypt.h"
#include "co/TraceApi.h"
#include "platform/text.h"
#include "tests/base/st/symacc/sample_project.h"

namespace {

using Std = StStdConstantVal;

struct VarGuard {
    VARIANT v;
    VarGuard() { VariantInit(&v); }
    ~VarGuard() { VariantClear(&v); }
};

std::unique_ptr<Std> makeVal(uint32_t t, const std::function<void(Std&)>& set)
{
    auto v = std::make_unique<Std>(t);
    set(*v);
    return v;
}

bool traced(const CTraceCapture& c, const std::string& text)
{
    for (const auto& l : c.lines())
        if (l.message == text) return true;
    return false;
}

std::string bstr(const VARIANT& v) { return tvp::wideToAnsi(v.bstrVal, SysStringLen(v.bstrVal)); }

// Makes g a BSTR of text (code page 1252).
void setBstr(VarGuard& g, const std::string& text)
{
    g.v.vt = VT_BSTR;
    g.v.bstrVal = SysAllocString(tvp::ansiToWide(text.c_str()).c_str());
}

// A new global variable of type t in table, under name.
StSymbEntryID addVariable(SyStSymbTable& table, const std::string& name, uint32_t t)
{
    StSymbEntryID sid;
    StSyBaseSymbEntry* e =
        table.addEntry(name.c_str(), table.getGlobalVR(), table.getGlobalNR(), ST_KIND_GLOBVAR, sid);
    EXPECT_TRUE(e) << name;
    if (e) e->setTypeID(StTypeID(t));
    return sid;
}

// --- the VARTYPE table ------------------------------------------------------

struct Row {
    uint32_t type;
    std::function<void(Std&)> set;
    VARTYPE vt;        // stdVal2Variant
    int64_t number;    // numeric payload (bytes of the value), or -1
    const char* text;  // BSTR payload, or null
    VARTYPE rawVt;     // stdVal2VariantRaw; VT_EMPTY when refused with 9
    bool back;         // variant2StdVal restores the value
};

int64_t payload(const VARIANT& v)
{
    switch (v.vt) {
    case VT_UI1: return v.bVal;
    case VT_I1: return v.cVal;
    case VT_UI2: return v.uiVal;
    case VT_I2: return v.iVal;
    case VT_UI4: return v.ulVal;
    case VT_I4: return v.lVal;
    case VT_R4: { uint32_t u; std::memcpy(&u, &v.fltVal, 4); return u; }
    case VT_R8: return v.llVal;
    default: return -1;
    }
}

int64_t bitsF(float f) { uint32_t u; std::memcpy(&u, &f, 4); return u; }
int64_t bitsD(double d) { int64_t u; std::memcpy(&u, &d, 8); return u; }

std::vector<Row> tableRows()
{
    auto ul = [](uint32_t u) { return [u](Std& s) { s.SetULongVal(u); }; };
    auto sl = [](int32_t l) { return [l](Std& s) { s.SetLongVal(l); }; };
    return {
        {ST_BOOL, ul(1), VT_UI1, 1, nullptr, VT_UI1, true},
        {ST_BYTE, ul(0xAB), VT_UI1, 0xAB, nullptr, VT_UI1, true},
        {ST_USINT, ul(200), VT_UI1, 200, nullptr, VT_UI1, true},
        {ST_WORD, ul(0xBEEF), VT_UI2, 0xBEEF, nullptr, VT_UI2, true},
        {ST_UINT, ul(65535), VT_UI2, 65535, nullptr, VT_UI2, true},
        {ST_DWORD, ul(0xDEADBEEF), VT_UI4, 0xDEADBEEF, nullptr, VT_UI4, true},
        {ST_UDINT, ul(4000000000u), VT_UI4, 4000000000u, nullptr, VT_UI4, true},
        {ST_SINT, sl(-5), VT_I1, -5, nullptr, VT_I1, true},
        {ST_INT, sl(-300), VT_I2, -300, nullptr, VT_I2, true},
        {ST_DINT, sl(-70000), VT_I4, -70000, nullptr, VT_I4, true},
        {ST_REAL, [](Std& s) { s.SetRealVal(1.5f); }, VT_R4, bitsF(1.5f), nullptr, VT_R4, true},
        {ST_LREAL, [](Std& s) { s.SetLRealVal(-2.25); }, VT_R8, bitsD(-2.25), nullptr, VT_R8, true},
        {ST_ANYOBJECT, [](Std& s) { s.setObjectIds(0, 0); }, VT_BSTR, -1, "TO#NIL", VT_EMPTY, true},
        {ST_MEMADR, [](Std& s) { s.setSysAddr(0x1234); }, VT_I4, 0x1234, nullptr, VT_I4, true},
        {ST_TIME, [](Std& s) { s.parseTime(String("T#1s")); }, VT_BSTR, -1, "T#1s", VT_UI4, true},
        {ST_DATE, [](Std& s) { s.parseDate(String("D#2001-02-03")); }, VT_BSTR, -1, "D#2001-02-03", VT_UI4, true},
        {ST_TOD, [](Std& s) { s.parseTimeOfDay(String("TOD#12:34:56")); }, VT_BSTR, -1, "TOD#12:34:56",
         VT_UI4, true},
        {ST_DT, [](Std& s) { s.parseDateAndTime(String("DT#2001-02-03-12:34:56")); }, VT_BSTR, -1,
         "DT#2001-02-03-12:34:56", VT_EMPTY, true},
        // Without a host an alarm id is named by its number, a task id
        // stays one.
        {ST_STRUCTALARMID, sl(7), VT_BSTR, -1, "STRUCTALARMID#7", VT_I4, true},
        {ST_STRUCTTASKID, ul(9), VT_UI4, 9, nullptr, VT_UI4, false},
    };
}

TEST(VariantConvert, OneRowPerTypeId)
{
    for (const Row& r : tableRows()) {
        SCOPED_TRACE(r.type);
        auto v = makeVal(r.type, r.set);
        VarGuard out;
        ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&out.v, false, v.get(), nullptr));
        EXPECT_EQ(r.vt, out.v.vt);
        if (r.text) {
            EXPECT_EQ(r.text, bstr(out.v));
        } else {
            EXPECT_EQ(r.number, payload(out.v));
        }
        if (r.back) {
            auto w = std::make_unique<Std>(r.type);
            ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(w.get(), out.v, true, nullptr));
            EXPECT_TRUE(w->isEqual(*v));
        }
        VarGuard raw;
        const uint32_t rc = SyVariantConvert::stdVal2VariantRaw(&raw.v, v.get());
        if (r.rawVt == VT_EMPTY) {
            EXPECT_EQ(9u, rc);
            EXPECT_EQ(VT_EMPTY, raw.v.vt);
        } else {
            ASSERT_EQ(0u, rc);
            EXPECT_EQ(r.rawVt, raw.v.vt);
            if (r.vt != VT_BSTR && r.type < ST_STRUCTALARMID) {
                EXPECT_EQ(r.number, payload(raw.v));
            }
        }
    }
    // Raw numbers of ids the named form hides.
    VarGuard raw;
    auto alarm = makeVal(ST_STRUCTALARMID, [](Std& s) { s.SetLongVal(7); });
    ASSERT_EQ(0u, SyVariantConvert::stdVal2VariantRaw(&raw.v, alarm.get()));
    EXPECT_EQ(7, raw.v.lVal);
    auto time = makeVal(ST_TIME, [](Std& s) { s.parseTime(String("T#1s")); });
    ASSERT_EQ(0u, SyVariantConvert::stdVal2VariantRaw(&raw.v, time.get()));
    EXPECT_EQ(1000u, raw.v.ulVal);

    for (uint32_t bad : {0u, 5u, 9u, 13u, 24u, 25u, 30u}) {
        CTraceCapture cap;
        Std v(bad);
        VarGuard out;
        EXPECT_EQ(9u, SyVariantConvert::stdVal2Variant(&out.v, false, &v, nullptr)) << bad;
        EXPECT_TRUE(traced(cap, "invalid stdTypeSpec " + std::to_string(bad)));
        VARIANT i4;
        VariantInit(&i4);
        i4.vt = VT_I4;
        EXPECT_EQ(9u, SyVariantConvert::variant2StdVal(&v, i4, false, nullptr)) << bad;
    }
}

// Alarm and task ids without a host: every alarm id has a name that reads
// back without one ("STRUCTALARMID#NIL" for 0), a task id keeps its number,
// so no two ids convert alike, strict or not.
TEST(VariantConvert, IdsWithoutContextKeepTheirValue)
{
    struct {
        int32_t alarm;
        const char* name;
    } alarms[] = {{0, "STRUCTALARMID#NIL"}, {5, "STRUCTALARMID#5"}, {6, "STRUCTALARMID#6"},
                  {-1, "STRUCTALARMID#4294967295"}};
    for (bool strict : {false, true}) {
        for (const auto& a : alarms) {
            SCOPED_TRACE(a.name);
            Std alarm(ST_STRUCTALARMID);
            alarm.SetLongVal(a.alarm);
            VarGuard v;
            ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&v.v, strict, &alarm, nullptr));
            ASSERT_EQ(VT_BSTR, v.v.vt);
            EXPECT_EQ(a.name, bstr(v.v));
            Std back(ST_STRUCTALARMID);
            back.SetLongVal(77);
            ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(&back, v.v, true, nullptr));
            EXPECT_TRUE(back.isEqual(alarm));
        }
        for (uint32_t id : {0u, 9u, 10u, 0xFFFFFFFFu}) {
            Std task(ST_STRUCTTASKID);
            task.SetULongVal(id);
            VarGuard v;
            ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&v.v, strict, &task, nullptr)) << id;
            EXPECT_EQ(VT_UI4, v.v.vt);
            EXPECT_EQ(id, v.v.ulVal);
        }
    }
}

TEST(VariantConvert, StrictAndTolerantForms)
{
    Std dint(ST_DINT);
    VARIANT i2;
    VariantInit(&i2);
    i2.vt = VT_I2;
    i2.iVal = 5;
    {
        CTraceCapture cap;
        EXPECT_EQ(29u, SyVariantConvert::variant2StdVal(&dint, i2, true, nullptr));
        EXPECT_TRUE(traced(cap, "VT_I4 expected"));
    }
    ASSERT_EQ(0u, SyVariantConvert::variant2StdValEx(&dint, i2, true, nullptr));
    bool err = false;
    EXPECT_EQ(5, dint.GetLongVal(err));

    VarGuard text;
    text.v.vt = VT_BSTR;
    text.v.bstrVal = SysAllocString(u"INT#5");
    EXPECT_EQ(10u, SyVariantConvert::variant2StdValEx(&dint, text.v, true, nullptr));
    SysFreeString(text.v.bstrVal);
    text.v.bstrVal = SysAllocString(u"17");
    EXPECT_EQ(0u, SyVariantConvert::variant2StdValEx(&dint, text.v, true, nullptr));
    EXPECT_EQ(17, dint.GetLongVal(err));
    for (const char16_t* t : {u"abc", u"17abc"}) {
        SysFreeString(text.v.bstrVal);
        text.v.bstrVal = SysAllocString(t);
        EXPECT_EQ(38u, SyVariantConvert::variant2StdValEx(&dint, text.v, true, nullptr));
        EXPECT_EQ(17, dint.GetLongVal(err));
    }

    // A value that does not fit: the type change fails, the strict form reports.
    VARIANT big;
    VariantInit(&big);
    big.vt = VT_R8;
    big.dblVal = 1e12;
    {
        CTraceCapture cap;
        EXPECT_EQ(29u, SyVariantConvert::variant2StdValEx(&dint, big, true, nullptr));
        EXPECT_TRUE(traced(cap, "Error adjusting variant type"));
    }
    big.dblVal = 2.5;  // rounds half to even
    ASSERT_EQ(0u, SyVariantConvert::variant2StdValEx(&dint, big, true, nullptr));
    EXPECT_EQ(2, dint.GetLongVal(err));

    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(0u, SyVariantConvert::variant2StdVal(&dint, empty, true, nullptr));
    EXPECT_EQ(2, dint.GetLongVal(err));

    Std alarm(ST_STRUCTALARMID);
    VARIANT i4;
    VariantInit(&i4);
    i4.vt = VT_I4;
    i4.lVal = 33;
    EXPECT_EQ(0u, SyVariantConvert::variant2StdValEx(&alarm, i4, true, nullptr));
    EXPECT_EQ(33, alarm.GetLongVal(err));
    EXPECT_EQ(29u, SyVariantConvert::variant2StdVal(&alarm, i4, true, nullptr));

    VARIANT b;
    VariantInit(&b);
    b.vt = VT_BOOL;
    b.boolVal = -1;
    {
        CTraceCapture cap;
        EXPECT_EQ(nullptr, SyVariantConvert::createStdValFromVariant(b));
        EXPECT_TRUE(traced(cap, "invalid variant type"));
    }
    std::unique_ptr<Std> made(SyVariantConvert::createStdValFromVariant(i4));
    ASSERT_TRUE(made);
    EXPECT_EQ(uint32_t(ST_DINT), made->getTypeId());

    Std time(ST_TIME);
    VarGuard t;
    t.v.vt = VT_BSTR;
    t.v.bstrVal = SysAllocString(u"D#2001-01-01");
    EXPECT_EQ(11u, SyVariantConvert::variant2StdVal(&time, t.v, true, nullptr));
    Std obj(ST_ANYOBJECT);
    EXPECT_EQ(10u, SyVariantConvert::variant2StdVal(&obj, i4, true, nullptr));
}

// A BOOL holds 0 and 1 only (its setMax is 1): every byte into it through
// the strict form, every VARIANT number kind through the tolerant form and
// a symbol's value, and the text form. 0 and 1 are taken, any other number
// is refused with the value unchanged; a VT_BOOL is its truth value.
TEST(VariantConvert, BoolHoldsZeroAndOneOnly)
{
    Std top(ST_BOOL);
    ASSERT_TRUE(top.setMax());
    String maxText;
    ASSERT_EQ(0u, SyVariantConvert::constVal2String(maxText, &top, false, nullptr));
    ASSERT_EQ("1", maxText.stdString());
    auto valueOf = [](const Std& v) {
        bool err = false;
        return v.GetULongVal(err);
    };
    SyStSymbTable table;
    const StSymbEntryID sid = addVariable(table, "flag", ST_BOOL);
    const VARTYPE kinds[] = {VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8};
    for (int n = 0; n <= 255; ++n) {
        for (uint32_t start : {0u, 1u}) {
            SCOPED_TRACE(std::to_string(n) + " over " + std::to_string(start));
            const bool fits = n <= 1;
            const uint32_t want = fits ? uint32_t(n) : start;
            Std strict(ST_BOOL);
            ASSERT_EQ(0, strict.SetULongVal(start));
            VARIANT ui1;
            VariantInit(&ui1);
            ui1.vt = VT_UI1;
            ui1.bVal = BYTE(n);
            EXPECT_EQ(fits ? 0u : 65535u, SyVariantConvert::variant2StdVal(&strict, ui1, true, nullptr));
            EXPECT_EQ(want, valueOf(strict));

            for (VARTYPE vt : kinds) {
                VARIANT in;
                VariantInit(&in);
                in.vt = vt;
                switch (vt) {
                case VT_UI1: in.bVal = BYTE(n); break;
                case VT_I1: in.cVal = CHAR(n); break;
                case VT_I2: in.iVal = SHORT(n); break;
                case VT_UI2: in.uiVal = USHORT(n); break;
                case VT_I4: in.lVal = n; break;
                case VT_UI4: in.ulVal = ULONG(n); break;
                case VT_R4: in.fltVal = float(n); break;
                default: in.dblVal = double(n); break;
                }
                Std ex(ST_BOOL);
                ASSERT_EQ(0, ex.SetULongVal(start));
                EXPECT_EQ(fits, SyVariantConvert::variant2StdValEx(&ex, in, true, nullptr) == 0) << vt;
                EXPECT_EQ(want, valueOf(ex)) << vt;

                VARIANT was;
                VariantInit(&was);
                was.vt = VT_I4;
                was.lVal = LONG(start);
                ASSERT_EQ(0u, table.setSymbolValue(sid, was, true, nullptr));
                EXPECT_EQ(fits ? 0u : 101u, table.setSymbolValue(sid, in, true, nullptr)) << vt;
                VarGuard back;
                ASSERT_EQ(0u, table.getSymbolValue(sid, &back.v, true, nullptr));
                EXPECT_EQ(VT_UI1, back.v.vt);
                EXPECT_EQ(want, back.v.bVal) << vt;
            }
            Std text(ST_BOOL);
            ASSERT_EQ(0, text.SetULongVal(start));
            EXPECT_EQ(fits ? 0u : 11u,
                      SyVariantConvert::String2ConstVal(&text, String(std::to_string(n).c_str()), nullptr));
            EXPECT_EQ(want, valueOf(text));
        }
    }
    for (const VARIANT_BOOL b : {VARIANT_BOOL(-1), VARIANT_BOOL(0)}) {
        VARIANT in;
        VariantInit(&in);
        in.vt = VT_BOOL;
        in.boolVal = b;
        Std v(ST_BOOL);
        ASSERT_EQ(0, v.SetULongVal(b ? 0u : 1u));
        EXPECT_EQ(0u, SyVariantConvert::variant2StdValEx(&v, in, true, nullptr));
        EXPECT_EQ(b ? 1u : 0u, valueOf(v));
        EXPECT_EQ(0u, table.setSymbolValue(sid, in, true, nullptr));
        VarGuard back;
        ASSERT_EQ(0u, table.getSymbolValue(sid, &back.v, true, nullptr));
        EXPECT_EQ(b ? 1u : 0u, back.v.bVal);
    }
}

// --- hashing of the null-context VARIANTs -----------------------------------

std::string digestOf(const VARIANT& v)
{
    CoCryptHashVariant h;
    h.addVariant(v);
    GUID g;
    EXPECT_TRUE(h.getHashAsGUID(&g));
    const auto* p = reinterpret_cast<const unsigned char*>(&g);
    char buf[40];
    for (int i = 0; i < 16; ++i) std::snprintf(buf + 2 * i, 3, "%02x", p[i]);
    return std::string(buf, 32);
}

TEST(VariantConvert, NullContextVariantsHashAsTheStoredRules)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    // name -> value; the script builds the bytes of each name on its own.
    std::vector<std::pair<std::string, StConstantVal*>> cases;
    for (const Row& r : tableRows()) {
        cases.emplace_back("T" + std::to_string(r.type), makeVal(r.type, r.set).release());
    }
    auto* st = new StStructConstantVal();
    st->addMember(makeVal(ST_DINT, [](Std& s) { s.SetLongVal(5); }).release());
    auto* inner = new StStructConstantVal();
    inner->addMember(makeVal(ST_BOOL, [](Std& s) { s.SetULongVal(1); }).release());
    int status = 0;
    inner->addMember(new StStringConstantVal(ST_INVALID_TID, String("a b"), 10, status));
    st->addMember(inner);
    cases.emplace_back("STRUCT", st);

    std::string lines;
    for (auto& c : cases) {
        VarGuard v;
        ASSERT_EQ(0u, SyVariantConvert::constVal2Variant(&v.v, false, c.second, nullptr)) << c.first;
        lines += c.first + " " + digestOf(v.v) + "\n";
        delete c.second;
    }
    // The example of the hashing rules: DINT 5.
    Std five(ST_DINT);
    five.SetLongVal(5);
    VarGuard v5;
    ASSERT_EQ(0u, SyVariantConvert::constVal2Variant(&v5.v, false, &five, nullptr));
    lines += "DINT5 " + digestOf(v5.v) + "\n";

    const std::string path = ::testing::TempDir() + "variant_digests.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(lines.data(), 1, lines.size(), f);
    std::fclose(f);
    const std::string cmd = "/usr/bin/python3 '" + std::string(TV_SOURCE_DIR) +
                            "/tests/base/st/symacc/variant_digest.py' '" + path + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    const int rc = ::pclose(p);
    std::remove(path.c_str());
    EXPECT_EQ(0, rc) << out;
    EXPECT_NE(std::string::npos, out.find("22 digests match")) << out;
}

// --- string literals --------------------------------------------------------

TEST(VariantConvert, NormaliseList)
{
    struct {
        std::string in, out;
    } rows[] = {
        {"abc", "abc"},
        {"a b", "'a b'"},
        {"50$", "'50$$'"},
        {"x\r\ny", "'x$Ny'"},
        {"x\ry", "'x$Ry'"},
        {std::string("x\x01", 2), "'x$01'"},
        {"it's", "'it$'s'"},
        {"\t\n\f", "'$T$L$P'"},
        {"", ""},
    };
    for (const auto& r : rows) {
        String n = normalizeStringVal(r.in.data(), r.in.size());
        EXPECT_EQ(r.out, n.stdString()) << r.in;
        ASSERT_TRUE(SyVariantConvert::decodeNormalizedStringVal(n)) << r.out;
        EXPECT_EQ(r.in, n.stdString());
    }
    String bad("a$b");
    EXPECT_FALSE(SyVariantConvert::decodeNormalizedStringVal(bad));
}

TEST(VariantConvert, DecodingGivesBackEveryNormalisedText)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 400; ++round) {
        const size_t len = rng() % 255;
        std::string s(len, '\0');
        for (char& c : s) c = char(1 + rng() % 255);  // NUL never reaches a string value
        String n = normalizeStringVal(s.data(), s.size());
        ASSERT_TRUE(SyVariantConvert::decodeNormalizedStringVal(n)) << round;
        ASSERT_EQ(s, n.stdString()) << round;

        // Through a VARIANT into a string value.
        int status = 0;
        StStringConstantVal src(ST_INVALID_TID, String(s), 254, status);
        StStringConstantVal dst;
        VarGuard v;
        ASSERT_EQ(0u, SyVariantConvert::constVal2Variant(&v.v, true, &src, nullptr));
        ASSERT_EQ(0u, SyVariantConvert::variant2ConstVal(&dst, v.v, true, nullptr));
        String got;
        uint8_t gotLen = 0;
        dst.getText(got, gotLen);
        EXPECT_EQ(s, got.stdString()) << round;
    }
    std::string longText(255, 'x');
    VarGuard v;
    v.v.vt = VT_BSTR;
    std::u16string w(255, u'x');
    v.v.bstrVal = SysAllocStringLen(w.data(), 255);
    StStringConstantVal dst;
    EXPECT_EQ(55u, SyVariantConvert::variant2StringVal(&dst, v.v));
}

// --- seeded round trips -----------------------------------------------------

StConstantVal* randomValue(std::mt19937& rng, int depth)
{
    static const uint32_t types[] = {ST_BOOL, ST_BYTE, ST_WORD, ST_DWORD, ST_SINT, ST_INT, ST_DINT,
                                     ST_USINT, ST_UINT, ST_UDINT, ST_REAL, ST_LREAL, ST_TIME};
    const uint32_t pick = rng() % 16;
    if (pick == 14 && depth < 3) {
        auto* s = new StStructConstantVal();
        const int n = 1 + int(rng() % 4);
        for (int i = 0; i < n; ++i) s->addMember(randomValue(rng, depth + 1));
        return s;
    }
    if (pick == 15) {
        // Half of the texts from the characters that structure texts and
        // quoting treat specially.
        static const char kSpecial[] = "a,{}' $";
        const bool special = rng() & 1;
        std::string t(rng() % 20, '\0');
        for (char& c : t) c = special ? kSpecial[rng() % 7] : char(1 + rng() % 255);
        int status = 0;
        // Setting a text makes its length the value's length.
        return new StStringConstantVal(ST_INVALID_TID, String(t), uint8_t(t.size()), status);
    }
    const uint32_t t = types[rng() % (sizeof types / sizeof *types)];
    auto* v = new Std(t);
    const uint32_t r = uint32_t(rng());
    if (r % 8 == 0) {  // the ends of the type's range
        (r & 8) ? v->setMin() : v->setMax();
        return v;
    }
    switch (t) {
    case ST_BOOL: v->SetULongVal(r & 1); break;
    case ST_BYTE: case ST_USINT: v->SetULongVal(r & 0xFF); break;
    case ST_WORD: case ST_UINT: v->SetULongVal(r & 0xFFFF); break;
    case ST_DWORD: case ST_UDINT: v->SetULongVal(r); break;
    case ST_SINT: v->SetLongVal(int8_t(r)); break;
    case ST_INT: v->SetLongVal(int16_t(r)); break;
    case ST_DINT: v->SetLongVal(int32_t(r)); break;
    case ST_REAL: {
        static const float limits[] = {FLT_MAX, -FLT_MAX, 0.0f, -0.0f, FLT_MIN, FLT_TRUE_MIN, -FLT_TRUE_MIN};
        if (rng() % 4 == 0) {
            v->SetRealVal(limits[rng() % 7]);
            break;
        }
        float f;
        do {
            uint32_t b = uint32_t(rng());
            std::memcpy(&f, &b, 4);
        } while (!std::isnormal(f));
        v->SetRealVal(f);
        break;
    }
    case ST_LREAL: {
        static const double limits[] = {DBL_MAX, -DBL_MAX, 0.0, -0.0, DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN};
        if (rng() % 4 == 0) {
            v->SetLRealVal(limits[rng() % 7]);
            break;
        }
        double d;
        do {
            uint64_t b = (uint64_t(rng()) << 32) | rng();
            std::memcpy(&d, &b, 8);
        } while (!std::isnormal(d));
        v->SetLRealVal(d);
        break;
    }
    default: v->parseTime(String("T#" + std::to_string(r % 100000) + "ms")); break;
    }
    return v;
}

// Whether a value holds a REAL or LREAL below its normal range (a VARIANT
// brings one; its text is no literal of the type).
bool holdsSubnormal(const StConstantVal& v)
{
    if (v.getKind() == ST_CONST_STRUCT) {
        for (uint32_t i = 0; i < v.elementCount(); ++i)
            if (v.elementAt(i) && holdsSubnormal(*v.elementAt(i))) return true;
        return false;
    }
    double d = 0;
    if (v.getKind() != ST_CONST_STD || !v.getDouble(d)) return false;
    return v.getTypeId() == ST_REAL ? std::fpclassify(float(d)) == FP_SUBNORMAL
                                    : std::fpclassify(d) == FP_SUBNORMAL;
}

TEST(VariantConvert, SeededRoundTrips)
{
    std::mt19937 rng(4711);
    for (int round = 0; round < 500; ++round) {
        std::unique_ptr<StConstantVal> v(randomValue(rng, 0));
        VarGuard var;
        ASSERT_EQ(0u, SyVariantConvert::constVal2Variant(&var.v, true, v.get(), nullptr)) << round;
        std::unique_ptr<StConstantVal> back(v->clone());
        ASSERT_EQ(0u, SyVariantConvert::variant2ConstVal(back.get(), var.v, true, nullptr)) << round;
        EXPECT_TRUE(back->isEqual(*v)) << round;

        String text;
        ASSERT_EQ(0u, SyVariantConvert::constVal2String(text, v.get(), false, nullptr)) << round;
        std::unique_ptr<StConstantVal> fromText(v->clone());
        const uint32_t code = SyVariantConvert::String2ConstVal(fromText.get(), text, nullptr);
        EXPECT_EQ(holdsSubnormal(*v) ? 11u : 0u, code) << text.chars();
        EXPECT_TRUE(fromText->isEqual(*v)) << text.chars();
    }
}

// Duration, date, time-of-day and date-and-time texts through the strict and
// tolerant VARIANT forms, the text form and a symbol's value. A duration's
// digits below a millisecond are dropped and the text taken; a text the
// scanner refuses gives 11, one the literal refuses 65535 (101 for the
// symbol), and a refused text leaves the value as it was.
TEST(VariantConvert, TimeTextsThroughEveryForm)
{
    struct {
        uint32_t type;
        const char* text;
        uint32_t code;
        const char* back;  // the text the value gives back; null: the earlier one
    } rows[] = {
        {ST_TIME, "T#1s", 0, "T#1s"},
        {ST_TIME, "T#1.5ms", 0, "T#1ms"},
        {ST_TIME, "T#2s3.7ms", 0, "T#2s3ms"},
        {ST_TIME, "TIME#1d2h0.999ms", 0, "T#1d2h"},
        {ST_TIME, "T#49d17h2m47s295.9ms", 0, "T#49d17h2m47s295ms"},
        {ST_TIME, "T#50d", 65535, nullptr},
        {ST_TIME, "T#1s1000ms", 65535, nullptr},
        {ST_TIME, "D#2001-01-01", 11, nullptr},
        {ST_DATE, "DATE#2024-02-29", 0, "D#2024-02-29"},
        {ST_DATE, "D#2023-02-29", 65535, nullptr},
        {ST_DATE, "D#2001-1-1", 11, nullptr},
        {ST_TOD, "TOD#12:00:00.5", 0, "TOD#12:0:0.500"},
        {ST_TOD, "TIME_OF_DAY#0:0:1.05", 0, "TOD#0:0:1.050"},
        {ST_TOD, "TOD#1:2:3.4567", 65535, nullptr},
        {ST_TOD, "T#1s", 11, nullptr},
        // A real or a limit literal of an integer type is no duration.
        {ST_TIME, "1e5", 11, nullptr},
        {ST_TIME, "2.7", 11, nullptr},
        {ST_TIME, "UDINT#MAX", 11, nullptr},
        {ST_DT, "DT#1992-01-02-01:02:03.04", 0, "DT#1992-01-02-1:2:3.040"},
        {ST_DT, "DT#2200-12-31-23:59:59.999", 0, "DT#2200-12-31-23:59:59.999"},
        {ST_DT, "DT#2023-02-29-12:00:00", 65535, nullptr},
        {ST_DT, "DT#1992-01-02-1:2:3.4567", 65535, nullptr},
        {ST_DT, "D#1992-01-02", 11, nullptr},
    };
    // What each destination holds before.
    const char* const earlier[] = {"T#7ms", "D#1992-01-07", "TOD#0:0:0.007", "DT#1992-01-07-0:0:0.007"};
    SyStSymbTable table;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        const char* const want = r.back ? r.back : earlier[r.type - ST_TIME];
        VarGuard in, was;
        setBstr(in, r.text);
        setBstr(was, earlier[r.type - ST_TIME]);
        for (int form = 0; form < 3; ++form) {
            SCOPED_TRACE(form);
            Std v(r.type);
            ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(&v, was.v, true, nullptr));
            const uint32_t code = form == 0   ? SyVariantConvert::variant2StdVal(&v, in.v, true, nullptr)
                                  : form == 1 ? SyVariantConvert::variant2StdValEx(&v, in.v, true, nullptr)
                                              : SyVariantConvert::String2ConstVal(&v, String(r.text), nullptr);
            EXPECT_EQ(r.code, code);
            VarGuard out;
            ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&out.v, true, &v, nullptr));
            EXPECT_EQ(want, bstr(out.v));
        }
        const StSymbEntryID sid = addVariable(table, "v" + std::to_string(&r - rows), r.type);
        ASSERT_EQ(0u, table.setSymbolValue(sid, was.v, true, nullptr));
        EXPECT_EQ(r.code ? 101u : 0u, table.setSymbolValue(sid, in.v, true, nullptr));
        VarGuard out;
        ASSERT_EQ(0u, table.getSymbolValue(sid, &out.v, true, nullptr));
        EXPECT_EQ(want, bstr(out.v));
    }
}

// Texts into every integer type through the tolerant form and through
// setSymbolValue, which takes it: a real (point or exponent), also behind
// the type's own prefix ("INT#1.5"), is refused
// with the value unchanged, not cut to its integer digits; a limit literal
// of the type's own name is the type's bound (setMin, setMax), one of
// another name a typed literal of another type; integers still convert.
TEST(VariantConvert, IntegerTextsRefuseRealsAndTakeTheirLimits)
{
    const struct {
        uint32_t type;
        const char* name;  // of its limit literals; null: it has none
        const char* min;
        const char* max;
    } types[] = {
        {ST_BOOL, nullptr, "0", "1"},        {ST_BYTE, nullptr, "0", "255"},
        {ST_WORD, nullptr, "0", "65535"},    {ST_DWORD, nullptr, "0", "4294967295"},
        {ST_SINT, "SINT", "-128", "127"},    {ST_INT, "INT", "-32768", "32767"},
        {ST_DINT, "DINT", "-2147483648", "2147483647"}, {ST_USINT, "USINT", "0", "255"},
        {ST_UINT, "UINT", "0", "65535"},     {ST_UDINT, "UDINT", "0", "4294967295"},
    };
    const char* const limitNames[] = {"SINT", "INT", "DINT", "USINT", "UINT", "UDINT"};
    struct Case {
        std::string text;
        uint32_t code;
        std::string value;  // afterwards ("1": unchanged)
    };
    auto valueText = [](const Std& v) {
        String out;
        EXPECT_EQ(0u, SyVariantConvert::constVal2String(out, &v, false, nullptr));
        return out.stdString();
    };
    SyStSymbTable table;
    int entries = 0;
    for (const auto& ty : types) {
        std::vector<Case> cases;
        for (const char* real : {"1e5", "2.7", "-1.5", "3.9e2", "1.0", "2.7E0", "0.0"})
            cases.push_back({real, 38, "1"});
        // Behind the type's own prefix a real is no integer either.
        static const char* const prefixes[] = {nullptr, "BOOL", "BYTE", "WORD", "DWORD", nullptr, "SINT", "INT",
                                               "DINT", nullptr, "USINT", "UINT", "UDINT"};
        for (const char* real : {"#1.5", "#1e5", "#3.9e2", "#0.5", "#-1.5"})
            cases.push_back({std::string(prefixes[ty.type]) + real, 38, "1"});
        for (const char* integer : {"0", "+0", "16#0", "2#0"}) cases.push_back({integer, 0, "0"});
        cases.push_back({"1_0", ty.type == ST_BOOL ? 38u : 0u, ty.type == ST_BOOL ? "1" : "10"});
        for (const char* n : limitNames) {
            const bool own = ty.name && std::strcmp(n, ty.name) == 0;
            cases.push_back({std::string(n) + "#MAX", own ? 0u : 10u, own ? ty.max : "1"});
            cases.push_back({std::string(n) + "#MIN", own ? 0u : 10u, own ? ty.min : "1"});
        }
        if (ty.name) {
            std::string lower = std::string(ty.name) + "#max";
            for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
            cases.push_back({lower, 0, ty.max});
            cases.push_back({std::string(ty.name) + "#MAX 1", 38, "1"});
        }
        VarGuard was;
        setBstr(was, "1");
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(ty.type) + " " + c.text);
            VarGuard in;
            setBstr(in, c.text);
            Std v(ty.type);
            ASSERT_EQ(0u, SyVariantConvert::variant2StdValEx(&v, was.v, true, nullptr));
            EXPECT_EQ(c.code, SyVariantConvert::variant2StdValEx(&v, in.v, true, nullptr));
            EXPECT_EQ(c.value, valueText(v));

            const StSymbEntryID sid = addVariable(table, "i" + std::to_string(++entries), ty.type);
            ASSERT_EQ(0u, table.setSymbolValue(sid, was.v, true, nullptr));
            EXPECT_EQ(c.code ? 101u : 0u, table.setSymbolValue(sid, in.v, true, nullptr));
            VarGuard out;
            ASSERT_EQ(0u, table.getSymbolValue(sid, &out.v, true, nullptr));
            Std back(ty.type);
            ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(&back, out.v, true, nullptr));
            EXPECT_EQ(c.value, valueText(back));
        }
    }
}

TEST(VariantConvert, StructureAndTextEdges)
{
    StStructConstantVal empty;
    String text;
    {
        CTraceCapture cap;
        EXPECT_EQ(0u, SyVariantConvert::constVal2String(text, &empty, false, nullptr));
        EXPECT_EQ("{}", text.stdString());
        EXPECT_TRUE(traced(cap, "Zero element struct"));
    }
    VarGuard v;
    {
        CTraceCapture cap;
        EXPECT_EQ(12u, SyVariantConvert::constVal2Variant(&v.v, true, &empty, nullptr));
        EXPECT_TRUE(traced(cap, "invalid struct val structure"));
    }
    // Integer text: the whole text, within the range of the type's VARIANT;
    // a refused text leaves the value as it was (7).
    struct {
        uint32_t type;
        const char* text;
        uint32_t code;
        int64_t value;
    } numbers[] = {
        {ST_UDINT, "-1", 11, 7},          {ST_UDINT, "4294967296", 11, 7}, {ST_UDINT, "4294967295", 0, 4294967295},
        {ST_DINT, "2147483648", 11, 7},   {ST_DINT, "12x", 11, 7},         {ST_DINT, "-2147483648", 0, INT32_MIN},
        {ST_INT, "70000", 11, 7},         {ST_INT, "-32769", 11, 7},       {ST_INT, "-32768", 0, -32768},
        {ST_SINT, "128", 11, 7},          {ST_SINT, "-129", 11, 7},        {ST_SINT, "-128", 0, -128},
        {ST_BYTE, "256", 11, 7},          {ST_USINT, "256", 11, 7},        {ST_USINT, "255", 0, 255},
        {ST_WORD, "65536", 11, 7},        {ST_UINT, "65536", 11, 7},       {ST_UINT, "65535", 0, 65535},
        {ST_BOOL, "256", 11, 7},
    };
    for (const auto& n : numbers) {
        Std v(n.type);
        if (n.type == ST_SINT || n.type == ST_INT || n.type == ST_DINT)
            v.SetLongVal(7);
        else
            v.SetULongVal(7);
        EXPECT_EQ(n.code, SyVariantConvert::String2ConstVal(&v, String(n.text), nullptr)) << n.type << " " << n.text;
        double got = 0;
        v.getDouble(got);
        EXPECT_EQ(double(n.value), got) << n.type << " " << n.text;
    }
    Std real(ST_REAL);
    EXPECT_EQ(11u, SyVariantConvert::String2ConstVal(&real, String("1e39"), nullptr));
    EXPECT_EQ(65535u, SyVariantConvert::String2ConstVal(&real, String(""), nullptr));

    // Text into a structure: braces nest; fewer texts leave the rest.
    StStructConstantVal s;
    s.addMember(new Std(ST_DINT));
    auto* in = new StStructConstantVal();
    in->addMember(new Std(ST_INT));
    s.addMember(in);
    s.addMember(new Std(ST_UINT));
    ASSERT_EQ(0u, SyVariantConvert::String2ConstVal(&s, String("{ -4, {7}}"), nullptr));
    ASSERT_EQ(0u, SyVariantConvert::constVal2String(text, &s, false, nullptr));
    EXPECT_EQ("{-4, {7}, 0}", text.stdString());
    ASSERT_EQ(0u, SyVariantConvert::constVal2String(text, &s, true, nullptr));
    EXPECT_EQ("{(DINT)-4, {(INT)7}, (UINT)0}", text.stdString());
    EXPECT_EQ(29u, SyVariantConvert::String2ConstVal(&s, String("{1, 2}"), nullptr));
    EXPECT_EQ(29u, SyVariantConvert::String2ConstVal(&s, String("1"), nullptr));
    // More texts than members: refused, not cut to the members' count.
    for (const char* more : {"{1, {2}, 3, 4}", "{1, {2}, 3, {4}}", "{1, {2}, 3, x y}"})
        EXPECT_EQ(29u, SyVariantConvert::String2ConstVal(&s, String(more), nullptr)) << more;
    EXPECT_EQ(0u, SyVariantConvert::String2ConstVal(&s, String("{1, {2}, 3 }"), nullptr));

    // A string member reads back as it was: quoted when it holds a comma or
    // a brace, and as the plain string's text otherwise.
    struct {
        const char* member;
        const char* text;
    } strings[] = {
        {"a,b", "{'a,b', 5}"}, {"{x}", "{'{x}', 5}"}, {"}", "{'}', 5}"},  {"a b,", "{'a b,', 5}"},
        {"abc", "{abc, 5}"},   {"", "{, 5}"},         {"it's", "{'it$'s', 5}"},
    };
    for (const auto& r : strings) {
        int status = 0;
        StStructConstantVal st;
        st.addMember(new StStringConstantVal(ST_INVALID_TID, String(r.member), uint8_t(std::strlen(r.member)), status));
        auto* five = new Std(ST_DINT);
        five->SetLongVal(5);
        st.addMember(five);
        ASSERT_EQ(0u, SyVariantConvert::constVal2String(text, &st, false, nullptr)) << r.member;
        EXPECT_EQ(r.text, text.stdString());
        std::unique_ptr<StConstantVal> back(st.clone());
        static_cast<StStringConstantVal*>(back->elementAt(0))->setText(String("old"));
        static_cast<Std*>(back->elementAt(1))->SetLongVal(0);
        EXPECT_EQ(0u, SyVariantConvert::String2ConstVal(back.get(), text, nullptr)) << r.text;
        EXPECT_TRUE(back->isEqual(st)) << r.text;
    }

    // More array elements than members.
    SAFEARRAY* psa = SafeArrayCreateVectorEx(VT_VARIANT, 0, 4, nullptr);
    for (LONG i = 0; i < 4; ++i) {
        VARIANT e;
        VariantInit(&e);
        e.vt = VT_I4;
        SafeArrayPutElement(psa, &i, &e);
    }
    VarGuard arr;
    arr.v.vt = VT_ARRAY | VT_VARIANT;
    arr.v.parray = psa;
    StStructConstantVal two;
    two.addMember(new Std(ST_DINT));
    two.addMember(new Std(ST_DINT));
    EXPECT_EQ(29u, SyVariantConvert::variant2ConstVal(&two, arr.v, true, nullptr));

    // A refused element, or one too many, leaves the whole structure as it
    // was: by text and by VARIANT array, in the strict and tolerant forms,
    // at the top and inside a nested structure.
    auto sevens = [] {
        auto* inner = new StStructConstantVal();
        inner->addMember(makeVal(ST_INT, [](Std& x) { x.SetLongVal(7); }).release());
        inner->addMember(makeVal(ST_INT, [](Std& x) { x.SetLongVal(7); }).release());
        auto st = std::make_unique<StStructConstantVal>();
        st->addMember(makeVal(ST_DINT, [](Std& x) { x.SetLongVal(7); }).release());
        st->addMember(makeVal(ST_DINT, [](Std& x) { x.SetLongVal(7); }).release());
        st->addMember(inner);
        return st;
    };
    for (const char* refused : {"{1, x, {3, 4}}", "{1, 2, {3, 4}, 5}", "{1, 2, {3, 70000}}", "{1, 2, {3, 4, 5}}"}) {
        auto st = sevens();
        EXPECT_NE(0u, SyVariantConvert::String2ConstVal(st.get(), String(refused), nullptr)) << refused;
        EXPECT_TRUE(st->isEqual(*sevens())) << refused;
    }
    auto arrayOf = [](const std::vector<VARIANT>& elements) {
        SAFEARRAY* a = SafeArrayCreateVectorEx(VT_VARIANT, 0, ULONG(elements.size()), nullptr);
        for (LONG i = 0; i < LONG(elements.size()); ++i) SafeArrayPutElement(a, &i, const_cast<VARIANT*>(&elements[i]));
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = a;
        return v;
    };
    auto i4 = [](LONG n) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = n;
        return v;
    };
    VarGuard word;
    setBstr(word, "x");
    VarGuard badInner, goodInner;
    badInner.v = arrayOf({i4(3), i4(70000)});
    goodInner.v = arrayOf({i4(3), i4(4)});
    const std::vector<std::vector<VARIANT>> refusedArrays = {
        {i4(1), word.v, goodInner.v}, {i4(1), i4(2), badInner.v}, {i4(1), i4(2), goodInner.v, i4(5)}};
    for (size_t n = 0; n < refusedArrays.size(); ++n) {
        VarGuard in;
        in.v = arrayOf(refusedArrays[n]);
        for (bool tolerant : {false, true}) {
            auto st = sevens();
            EXPECT_NE(0u, tolerant ? SyVariantConvert::variant2ConstValEx(st.get(), in.v, true, nullptr)
                                   : SyVariantConvert::variant2ConstVal(st.get(), in.v, true, nullptr))
                << n << " " << tolerant;
            EXPECT_TRUE(st->isEqual(*sevens())) << n << " " << tolerant;
        }
    }
    VarGuard good;
    good.v = arrayOf({i4(1), i4(2), goodInner.v});
    auto st = sevens();
    ASSERT_EQ(0u, SyVariantConvert::variant2ConstValEx(st.get(), good.v, true, nullptr));
    ASSERT_EQ(0u, SyVariantConvert::constVal2String(text, st.get(), false, nullptr));
    EXPECT_EQ("{1, 2, {3, 4}}", text.stdString());

    // Comparisons and element access.
    VarGuard copy;
    VariantCopy(&copy.v, &arr.v);
    EXPECT_TRUE(SyVariantConvert::equalVariant(arr.v, copy.v));
    VARIANT* data = nullptr;
    SafeArrayAccessData(copy.v.parray, reinterpret_cast<void**>(&data));
    data[3].lVal = 1;
    SafeArrayUnaccessData(copy.v.parray);
    EXPECT_TRUE(SyVariantConvert::equalVariantType(arr.v, copy.v));
    EXPECT_FALSE(SyVariantConvert::equalVariant(arr.v, copy.v));
    VarGuard e;
    EXPECT_EQ(12u, SyVariantConvert::SafeArrayGetElement(psa, 4, &e.v));
    EXPECT_EQ(12u, SyVariantConvert::SafeArrayGetElement(psa, -1, &e.v));
    EXPECT_EQ(12u, SyVariantConvert::SafeArrayGetElement(nullptr, 0, &e.v));
    EXPECT_EQ(0u, SyVariantConvert::SafeArrayGetElement(psa, 3, &e.v));
    EXPECT_EQ(VT_I4, e.v.vt);
    EXPECT_EQ(12u, ptr2variant(VT_I4, nullptr, &e.v));
    BSTR b = nullptr;
    EXPECT_EQ(10u, ptr2variant(VT_BSTR, &b, &e.v));

    VARIANT r8;
    VariantInit(&r8);
    r8.vt = VT_R8;
    r8.dblVal = 3.0;
    EXPECT_EQ(0u, SyVariantConvert::changeVariantType(&r8, ST_UINT));
    EXPECT_EQ(VT_UI2, r8.vt);
    EXPECT_EQ(0u, SyVariantConvert::changeVariantType(&r8, ST_TIME));
    EXPECT_EQ(VT_UI2, r8.vt);
    r8.vt = VT_I4;
    r8.lVal = -1;
    EXPECT_EQ(29u, SyVariantConvert::changeVariantType(&r8, ST_UDINT));
    EXPECT_EQ(0u, SyVariantConvert::checkSyntax(ST_DATE, String("D#2001-02-03")));
    EXPECT_EQ(11u, SyVariantConvert::checkSyntax(ST_DATE, String("T#1s")));
    EXPECT_EQ(11u, SyVariantConvert::checkSyntax(ST_DINT, String("1")));
}

// --- lookups on the fake host -----------------------------------------------

class VariantConvertHost : public fakehost::HostTest {};

TEST_F(VariantConvertHost, NamesBothWaysAndCleanup)
{
    const long arrays = tvp::liveSafeArrays();
    SampleProject s;
    s.p.addAlarm(s.dev1, "AlarmA", 5);
    s.p.addTask(s.dev1, 1, 0x101, "Task1");
    IUnknown* ctx = s.unit();
    IUnknown* nav = s.nav();

    Std alarm(ST_STRUCTALARMID);
    alarm.SetLongVal(5);
    VarGuard v;
    ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&v.v, true, &alarm, ctx, nav));
    ASSERT_EQ(VT_BSTR, v.v.vt);
    EXPECT_EQ("AlarmA", bstr(v.v));
    Std alarmBack(ST_STRUCTALARMID);
    ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(&alarmBack, v.v, true, ctx, nav));
    EXPECT_TRUE(alarmBack.isEqual(alarm));

    Std task(ST_STRUCTTASKID);
    task.SetULongVal(0x101);
    VarGuard tv;
    ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&tv.v, true, &task, ctx, nav));
    EXPECT_EQ("Task1", bstr(tv.v));
    Std taskBack(ST_STRUCTTASKID);
    ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(&taskBack, tv.v, true, ctx, nav));
    EXPECT_TRUE(taskBack.isEqual(task));
    String text;
    ASSERT_EQ(0u, SyVariantConvert::constVal2String(text, &task, false, ctx, nav));
    EXPECT_EQ("Task1", text.stdString());
    Std taskText(ST_STRUCTTASKID);
    ASSERT_EQ(0u, SyVariantConvert::String2ConstVal(&taskText, text, ctx, nav));
    EXPECT_TRUE(taskText.isEqual(task));

    // A failing lookup passes its code (a task the host does not know does
    // not decode).
    Std unknown(ST_STRUCTTASKID);
    unknown.SetULongVal(0x555);
    VarGuard u;
    EXPECT_EQ(kSyTaskInconsistent, SyVariantConvert::stdVal2Variant(&u.v, false, &unknown, ctx, nav));

    // 25 (not online-identical) is tolerated only when not strict.
    s.p.setOnlineIdentical(s.axis2, false);
    Std obj(ST_ANYOBJECT);
    obj.setObjectIds(1, 2);
    VarGuard o;
    EXPECT_EQ(25u, SyVariantConvert::stdVal2Variant(&o.v, true, &obj, ctx, nav));
    ASSERT_EQ(0u, SyVariantConvert::stdVal2Variant(&o.v, false, &obj, ctx, nav));
    EXPECT_EQ("_to.Axis2", bstr(o.v));
    Std objBack(ST_ANYOBJECT);
    EXPECT_EQ(25u, SyVariantConvert::variant2StdVal(&objBack, o.v, true, ctx, nav));
    ASSERT_EQ(0u, SyVariantConvert::variant2StdVal(&objBack, o.v, false, ctx, nav));
    EXPECT_TRUE(objBack.isEqual(obj));

    // A failure deep inside a nested structure leaves nothing behind.
    StStructConstantVal outer;
    outer.addMember(makeVal(ST_DINT, [](Std& x) { x.SetLongVal(1); }).release());
    int status = 0;
    outer.addMember(new StStringConstantVal(ST_INVALID_TID, String("a b"), 10, status));
    auto* mid = new StStructConstantVal();
    mid->addMember(makeVal(ST_STRUCTALARMID, [](Std& x) { x.SetLongVal(5); }).release());
    mid->addMember(unknown.clone());
    outer.addMember(mid);
    const long bstrs = tvp::liveBstrs();
    const long taskMem = tvp::liveTaskMemBlocks();
    VarGuard fail;
    EXPECT_EQ(kSyTaskInconsistent, SyVariantConvert::constVal2Variant(&fail.v, true, &outer, ctx, nav));
    EXPECT_EQ(VT_EMPTY, fail.v.vt);
    EXPECT_EQ(arrays, tvp::liveSafeArrays());
    EXPECT_EQ(bstrs, tvp::liveBstrs());
    EXPECT_EQ(taskMem, tvp::liveTaskMemBlocks());
}

}  // namespace
