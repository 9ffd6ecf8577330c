// Editing and check queries: entering symbols, TO assignments and
// exported parameter records.
#include <gtest/gtest.h>

#include "base/st/symacc/SyStSymbTable.h"
#include "platform/com.h"
#include "platform/variant.h"
#include "tests/fakehost/FakeHost.h"

namespace {

std::string s(const String& v) { return v.stdString(); }

TEST(SymbolQueries, EditingAndChecks)
{
    const long mem = tvp::liveTaskMemBlocks(), bstrs = tvp::liveBstrs();
    {
        SyStSymbTable t;
        const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
        const StSymbEntryID x = t.insertSymbol("x", vr, nr, ST_KIND_GLOBVAR, ST_DINT, ST_INVALID_SID);
        ASSERT_NE(ST_INVALID_SID, x);
        EXPECT_EQ(StTypeID(ST_DINT), t.getTypeID(x));
        EXPECT_EQ(ST_INVALID_SID, t.insertSymbol("x", vr, nr, ST_KIND_GLOBVAR, ST_INT, ST_INVALID_SID));
        EXPECT_EQ(ST_INVALID_SID, t.insertAddressedSymbol("y", vr, nr, ST_KIND_GLOBVAR, ST_INT, ST_INVALID_SID, x));
        t.findEntry(x)->setStorageAddress(0x40);
        const StSymbEntryID y = t.insertAddressedSymbol("y", vr, nr, ST_KIND_GLOBVAR, ST_INT, ST_INVALID_SID, x);
        ASSERT_NE(ST_INVALID_SID, y);
        EXPECT_EQ(0x40, t.findEntry(y)->getStorageAddress());

        // TO assignments: Axis and Drive derived from it; a TO of each, a
        // target typed Axis, one typed Drive, a TO hidden in another scope.
        const StRangeID fvr = t.openValidityRange(vr), fnr = t.openNameSpace(nr);
        const StSymbEntryID axis = t.addTOType("Axis", vr, nr, fvr, fnr, ST_INVALID_SID, -1);
        const StSymbEntryID drive = t.addTOType("Drive", vr, nr, fvr, fnr, ST_INVALID_SID, -1);
        ASSERT_NE(ST_INVALID_SID, drive);
        t.findEntry(drive)->setBaseTOTypeSID(axis);
        StSymbEntryID a1, d1, hidden;
        t.addEntry("a1", vr, nr, ST_KIND_TO, a1)->setTypeRefSID(axis);
        t.addEntry("d1", vr, nr, ST_KIND_TO, d1)->setTypeRefSID(drive);
        const StRangeID ovr = t.openValidityRange(vr), onr = t.openNameSpace(nr);
        t.addEntry("h1", ovr, onr, ST_KIND_TO, hidden)->setTypeRefSID(axis);
        const StSymbEntryID ta = t.insertSymbol("ta", vr, nr, ST_KIND_GLOBVAR, ST_ANYOBJECT, axis);
        const StSymbEntryID td = t.insertSymbol("td", vr, nr, ST_KIND_GLOBVAR, ST_ANYOBJECT, drive);
        String error;
        EXPECT_TRUE(t.canAssignTO(a1, ta, error));
        EXPECT_TRUE(t.canAssignTO(d1, ta, error));  // derived
        EXPECT_TRUE(error.empty());
        EXPECT_FALSE(t.canAssignTO(a1, td, error));
        EXPECT_EQ("a1 is no compatible type", s(error));
        EXPECT_FALSE(t.canAssignTO(hidden, ta, error));
        EXPECT_EQ("h1 is not in name range", s(error));
        EXPECT_FALSE(t.canAssignTO(a1, x, error));
        EXPECT_EQ("not a to-type-entry", s(error));

        // Parameter records: the name in task memory, freed with the record.
        {
            SyParamInfo info;
            ASSERT_EQ(0u, t.makeParamInfo(x, info));
            ASSERT_TRUE(info.name);
            EXPECT_EQ(u'x', info.name[0]);
            EXPECT_EQ(0, info.name[1]);
            EXPECT_EQ(t.getSymbolTypeCode(x), info.typeCode);
            EXPECT_EQ(t.StSymbTable::getSymbolAddress(x), info.address);
            EXPECT_EQ(VT_I4, info.value.vt);
            EXPECT_EQ(VT_I4, info.initValue.vt);
            EXPECT_EQ(5u, t.makeParamInfo(StSymbEntryID(0x7777), info));
        }
    }
    EXPECT_EQ(mem, tvp::liveTaskMemBlocks());
    EXPECT_EQ(bstrs, tvp::liveBstrs());
}

// A VT_UI1 array of the ids' bytes, 16 a run.
VARIANT idBytes(const std::vector<ESObjectID>& ids, size_t extra = 0)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, ULONG(ids.size() * 16 + extra));
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    if (!ids.empty()) std::memcpy(data, ids.data(), ids.size() * 16);
    SafeArrayUnaccessData(v.parray);
    return v;
}

// TO assignments from a VARIANT: each id's type name, array-range
// suffixes removed, must be the target's TO type or one derived from it.
TEST(SymbolQueries, AssignCompatibilityThroughNavigation)
{
    const long mem = tvp::liveTaskMemBlocks(), bstrs = tvp::liveBstrs(), refs = tvp::liveInterfaceRefs(),
               arrays = tvp::liveSafeArrays();
    {
        fakehost::FakeProject p;
        const ESObjectID a = p.addObject("a", 2), d = p.addObject("d", 2), m = p.addObject("m", 2);
        p.object(a)->typeName = "Axis";
        p.object(d)->typeName = "Drive[0..3][1..2]";
        p.object(m)->typeName = "Motor";
        SyStSymbTable t;
        const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
        const StRangeID fvr = t.openValidityRange(vr), fnr = t.openNameSpace(nr);
        const StSymbEntryID axis = t.addTOType("Axis", vr, nr, fvr, fnr, ST_INVALID_SID, -1);
        const StSymbEntryID drive = t.addTOType("Drive", vr, nr, fvr, fnr, ST_INVALID_SID, -1);
        t.addTOType("Motor", vr, nr, fvr, fnr, ST_INVALID_SID, -1);
        t.findEntry(drive)->setBaseTOTypeSID(axis);
        const StSymbEntryID ta = t.insertSymbol("ta", vr, nr, ST_KIND_GLOBVAR, ST_ANYOBJECT, axis);
        const StSymbEntryID td = t.insertSymbol("td", vr, nr, ST_KIND_GLOBVAR, ST_ANYOBJECT, drive);
        const StSymbEntryID x = t.insertSymbol("x", vr, nr, ST_KIND_GLOBVAR, ST_DINT, ST_INVALID_SID);
        String error;
        auto check = [&](StSymbEntryID target, VARIANT v) {
            const bool r = t.checkAssignCompatibility(target, v, p.navigation(), error);
            VariantClear(&v);
            return r;
        };
        EXPECT_TRUE(check(ta, idBytes({a})));
        EXPECT_TRUE(check(ta, idBytes({a, d})));  // derived, suffix removed
        EXPECT_TRUE(check(td, idBytes({d})));
        EXPECT_TRUE(error.empty());
        EXPECT_FALSE(check(td, idBytes({d, a})));
        EXPECT_EQ("Typfehler", s(error));
        EXPECT_FALSE(check(ta, idBytes({m})));
        EXPECT_EQ("Typfehler", s(error));
        EXPECT_FALSE(check(x, idBytes({a})));
        EXPECT_EQ("Typfehler", s(error));
        p.fault("getTypeNameByID", fakehost::Fault::retCode(7));
        EXPECT_FALSE(check(ta, idBytes({a})));
        EXPECT_EQ("Typfehler", s(error));
        p.clearFaults();

        // Array access and form.
        EXPECT_FALSE(check(ta, idBytes({a}, 3)));
        EXPECT_EQ("ArrayFehlerFormat", s(error));
        EXPECT_FALSE(check(ta, idBytes({})));
        EXPECT_EQ("ArrayFehlerFormat", s(error));
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        EXPECT_FALSE(check(ta, v));
        EXPECT_EQ("ArrayFehlerFormat", s(error));
        v.vt = VT_ARRAY | VT_UI1;
        v.parray = nullptr;
        EXPECT_FALSE(t.checkAssignCompatibility(ta, v, p.navigation(), error));
        EXPECT_EQ("ArrayFehlerGetLBound", s(error));
    }
    EXPECT_EQ(mem, tvp::liveTaskMemBlocks());
    EXPECT_EQ(bstrs, tvp::liveBstrs());
    EXPECT_EQ(refs, tvp::liveInterfaceRefs());
    EXPECT_EQ(arrays, tvp::liveSafeArrays());
}

}  // namespace
