// Constant table: golden written forms, CID allocation and release, value
// sharing, removal, comparison, marking, the readers on repeated CIDs and
// bad kinds, the dump, and the layout walks over a type table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "const_forms.h"

namespace {

using namespace consttest;

StConstantVal* stdVal(uint32_t type, int32_t v, bool shared = true)
{
    auto* c = new StStdConstantVal(type, shared);
    c->SetLongVal(v) == 0 || c->SetULongVal(uint32_t(v));
    return c;
}

StConstEntryID add(StSyConstValTable& t, StConstantVal* v)
{
    StConstantVal* p = v;
    const StConstEntryID cid = t.addConstantVal(p);
    delete p;  // not taken over when an equal shared value exists
    return cid;
}

TEST(ConstTableTest, GoldenForms)
{
    StSyConstValTable t;
    EXPECT_EQ("0 0 ", writeTable(Form::SectionText, t));
    EXPECT_EQ("0 0 ", writeTable(Form::Stream, t));
    EXPECT_EQ(0u, add(t, stdVal(ST_INT, 5)));
    EXPECT_EQ("1 0 0 1 7 1 5 2147483647 \r\n1 ", writeTable(Form::SectionText, t));
    EXPECT_EQ("1 0 0 1 7 1 5 2147483647 \n1 ", writeTable(Form::Stream, t));
    EXPECT_EQ("7 1 5 ", writeValueOnly(Form::SectionText, *t.getConstantVal(0)));
    // Types without value bytes: the double blank before the address.
    EXPECT_EQ("1 30 1  2147483647 ", writeBody(Form::SectionText, StStdConstantVal()));
    StStdConstantVal obj;
    obj.setObjectIds(3, 4);
    EXPECT_EQ("1 16 1 3 4 0  2147483647 ", writeBody(Form::SectionText, obj));
    // Binary: count, CID, kind, flag, type, sign, u16, address, counter.
    EXPECT_EQ(31u, writeTable(Form::SectionBinary, t).size());

    StSyConstValTable back;
    back.setCounter(77);
    ASSERT_TRUE(readTable(Form::SectionText, back, "0 0 "));
    EXPECT_EQ(0u, back.getCounter());
}

TEST(ConstTableTest, SharingAndAllocation)
{
    StSyConstValTable t;
    EXPECT_EQ(0u, add(t, stdVal(ST_DINT, 9)));
    StConstantVal* again = stdVal(ST_DINT, 9);
    EXPECT_EQ(0u, t.addConstantVal(again));  // equal shared value: its CID,
    ASSERT_NE(nullptr, again);                // and the caller keeps its value
    EXPECT_NE(again, t.getConstantVal(0));
    delete again;
    EXPECT_EQ(1u, add(t, stdVal(ST_DINT, 9, false)));  // not shared: new CIDs
    EXPECT_EQ(2u, add(t, stdVal(ST_DINT, 9, false)));
    EXPECT_EQ(3u, add(t, stdVal(ST_INT, 9)));
    EXPECT_EQ(4u, t.getCounter());
    EXPECT_EQ(0u, t.findSharedValue(t.getConstantVal(0)));
    EXPECT_EQ(ST_INVALID_CID, t.findSharedValue(t.getConstantVal(1)));

    // The top CID is reused at once, a hole only once the counter is spent.
    EXPECT_EQ(0, t.removeConstantVal(3));
    EXPECT_EQ(3u, t.getCounter());
    EXPECT_EQ(1, t.removeConstantVal(3));
    EXPECT_EQ(0, t.removeConstantVal(1));
    EXPECT_EQ(3u, add(t, stdVal(ST_INT, 1)));
    t.setCounter(0xFFFFFFFFu);
    EXPECT_EQ(1u, add(t, stdVal(ST_INT, 2)));
    EXPECT_EQ(4u, add(t, stdVal(ST_INT, 3)));
    // Removing the shared value drops its shared entry; an equal one comes
    // back under a new CID.
    EXPECT_EQ(0, t.removeConstantVal(0));
    EXPECT_EQ(0u, add(t, stdVal(ST_DINT, 9)));
    EXPECT_EQ(t.values().size(), 5u);

    // No CID left: the invalid CID and the value stays with the caller.
    StSyConstValTable full;
    full.setCounter(0xFFFFFFFEu);
    EXPECT_EQ(0xFFFFFFFEu, add(full, stdVal(ST_INT, 1)));
    EXPECT_EQ(0xFFFFFFFFu, full.getCounter());
    EXPECT_EQ(0u, add(full, stdVal(ST_INT, 2)));  // hole at 0
    StConstantVal* none = nullptr;
    EXPECT_EQ(ST_INVALID_CID, t.addConstantVal(none));

    // A value its type cannot hold (SINT -129, kept after a range error was
    // reported) shares no CID with the pattern it wraps to (SINT 127).
    StSyConstValTable narrow;
    EXPECT_EQ(0u, add(narrow, stdVal(ST_SINT, 127)));
    EXPECT_EQ(1u, add(narrow, stdVal(ST_SINT, -129)));
    EXPECT_EQ(1u, add(narrow, stdVal(ST_SINT, -129)));
    EXPECT_EQ(2u, add(narrow, stdVal(ST_INT, -32769)));
    EXPECT_EQ(3u, add(narrow, stdVal(ST_INT, 32767)));

    // An address that holds none is never equal, not even to a value of the
    // same bits: each such value takes its own CID, beside a shared value
    // that sorts next to it.
    StSyConstValTable unset;
    auto noAdr = [] {
        auto* v = new StStdConstantVal();
        v->setSysAddr(0x7FFFFFFF);
        return v;
    };
    auto adr = [](uint32_t a) {
        auto* v = new StStdConstantVal();
        v->setSysAddr(a);
        return v;
    };
    EXPECT_EQ(0u, add(unset, noAdr()));
    EXPECT_EQ(1u, add(unset, noAdr()));
    EXPECT_EQ(2u, add(unset, adr(0x7FFFFFFE)));
    EXPECT_EQ(3u, add(unset, noAdr()));
    EXPECT_EQ(2u, add(unset, adr(0x7FFFFFFE)));
    EXPECT_EQ(ST_INVALID_CID, unset.findSharedValue(unset.getConstantVal(0)));
    EXPECT_EQ(0, unset.removeConstantVal(0));
    EXPECT_EQ(2u, add(unset, adr(0x7FFFFFFE)));
    EXPECT_EQ(4u, add(unset, noAdr()));

    // CIDs taken without a value (numbering skipped by a compiler): each
    // call advances the counter, and the next value comes after them.
    StSyConstValTable skip;
    EXPECT_EQ(0u, skip.getNextFreeID());
    EXPECT_EQ(1u, skip.getNextFreeID());
    EXPECT_EQ(2u, add(skip, stdVal(ST_INT, 1)));
}

TEST(ConstTableTest, MarksCompareAndQueries)
{
    StSyConstValTable t;
    t.setMarkNew(true);
    add(t, stdVal(ST_DINT, -3));
    t.setMarkNew(false);
    add(t, stdVal(ST_DINT, 4));
    add(t, new StStructConstantVal());
    t.setMarkNew(true);
    EXPECT_EQ(0u, add(t, stdVal(ST_DINT, -3)));  // found: marked again
    t.setMarkOnly(true);
    EXPECT_EQ("1 0 0 1 8 -1 3 2147483647 \r\n3 ", writeTable(Form::SectionText, t));
    t.markValue(1);
    t.markValue(99);
    EXPECT_EQ('2', writeTable(Form::SectionText, t)[0]);

    EXPECT_EQ(1, t.compareValues(0, 1));
    EXPECT_EQ(0, t.compareValues(1, 0));
    EXPECT_EQ(1, t.compareValues(1, 1));
    EXPECT_EQ(2, t.compareValues(0, 2));  // a structure
    EXPECT_EQ(2, t.compareValues(0, 3));  // not below the counter
    int32_t v = 7;
    EXPECT_TRUE(t.getDIntOf(0, v));
    EXPECT_EQ(-3, v);
    EXPECT_FALSE(t.getLongOf(42, v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(8u, t.getTypeIdOf(1));
    EXPECT_EQ(30u, t.getTypeIdOf(42));
}

// getConstantVal answers what the table holds under the CID, and the table
// writes its values in CID order, whether CIDs came dense from the counter,
// were removed, or were read far apart.
TEST(ConstTableTest, FindsAndWritesEveryValueByItsCid)
{
    StSyConstValTable t;
    auto agrees = [&t](uint32_t upTo, const char* when) {
        for (uint32_t cid = 0; cid < upTo; ++cid) {
            const auto it = t.values().find(cid);
            ASSERT_EQ(it == t.values().end() ? nullptr : it->second, t.getConstantVal(cid)) << when << ", CID " << cid;
        }
    };
    for (int i = 0; i < 3000; ++i) add(t, stdVal(ST_DINT, i, false));
    for (uint32_t cid = 0; cid < 3000; cid += 3) EXPECT_EQ(0, t.removeConstantVal(cid));
    agrees(3100, "after removals");
    for (int i = 0; i < 100; ++i) add(t, stdVal(ST_DINT, i, false));  // on from the counter
    agrees(3200, "after adding again");
    StSyConstValTable r;
    ASSERT_TRUE(readTable(Form::SectionText, r,
                          "3 70000 0 1 7 1 5 2147483647 \r\n5 0 1 7 1 6 2147483647 \r\n4294967294 0 1 7 1 7 "
                          "2147483647 \r\n0 "));
    ASSERT_EQ(3u, r.values().size());
    for (uint32_t cid : {5u, 70000u, 4294967294u}) EXPECT_EQ(r.values().at(cid), r.getConstantVal(cid)) << cid;
    for (uint32_t cid : {0u, 4u, 6u, 69999u}) EXPECT_EQ(nullptr, r.getConstantVal(cid)) << cid;
    // Written in CID order either way (the values read far apart, and a
    // table of dense CIDs), and read back alike.
    for (StSyConstValTable* table : {&r, &t}) {
        const std::string text = writeTable(Form::SectionText, *table);
        StSyConstValTable back;
        ASSERT_TRUE(readTable(Form::SectionText, back, text));
        EXPECT_EQ(text, writeTable(Form::SectionText, back));
    }
    EXPECT_EQ(0u, writeTable(Form::SectionText, r).find("3 5 0 "));
    t.clear();
    agrees(3200, "after clear");
}

TEST(ConstTableTest, ReaderRules)
{
    StSyConstValTable t;
    // A repeated CID keeps its first value; the stored counter is replaced.
    ASSERT_TRUE(readTable(Form::SectionText, t,
                          "3 5 0 1 7 1 5 2147483647 \r\n5 0 1 7 1 6 2147483647 \r\n2 0 0 8 1 1 16 \r\n99 "));
    EXPECT_EQ(6u, t.getCounter());
    ASSERT_EQ(2u, t.values().size());
    EXPECT_EQ("(int 5)", valueText(*t.getConstantVal(5)));
    EXPECT_EQ(16, t.getConstantVal(2)->getStorageAddress());
    EXPECT_EQ(1u, t.sharedCount());
    // Unknown kinds end reading with a failure; the values before stay.
    for (const char* kind : {"3", "9"}) {
        StSyConstValTable u;
        EXPECT_FALSE(readTable(Form::SectionText, u, std::string("2 0 0 1 7 1 5 2147483647 \r\n1 ") + kind + " 1 "));
        EXPECT_EQ(1u, u.values().size());
        EXPECT_EQ(1u, u.getCounter());
    }
    // A NaN or an infinity in a body fails the read.
    StSyConstValTable n;
    EXPECT_FALSE(readTable(Form::Stream, n, "1 0 0 1 15 1 nan 2147483647 \n1 "));
    EXPECT_TRUE(n.values().empty());
    std::string bin = writeTable(Form::SectionBinary, t);
    EXPECT_TRUE(readTable(Form::SectionBinary, n, bin));
    StStdConstantVal d(ST_LREAL);
    d.SetLRealVal(1.0);
    std::string body = writeBody(Form::SectionBinary, d);
    const double inf = HUGE_VAL;
    std::memcpy(&body[9], &inf, 8);
    EXPECT_FALSE(readBody(Form::SectionBinary, d, body));
    bool error = true;
    EXPECT_TRUE(std::isfinite(d.GetLRealVal(error)));  // never the infinity
}

// The text of a table holding body (a value of kind) under each CID in
// turn, as the section text or the standard stream writes it.
std::string tableText(Form f, int32_t kind, const std::string& body, std::initializer_list<uint32_t> cids)
{
    const char* end = f == Form::Stream ? "\n" : "\r\n";
    std::string text = std::to_string(cids.size()) + " ";
    for (const uint32_t cid : cids) text += std::to_string(cid) + " " + std::to_string(kind) + " " + body + end;
    return text + "0 ";
}

// Makers of a shared value of each kind the table shares: elementary,
// structure, string (as a table holds it: the length is the text's).
std::vector<std::function<ValPtr()>> sharedMakers()
{
    auto string = [] {
        int status = 0;
        return ValPtr(new StStringConstantVal(ST_INVALID_TID, String("ab"), 2, status));
    };
    auto structure = [string] {
        auto* s = new StStructConstantVal();
        s->addMember(stdVal(ST_DINT, 5));
        s->addMember(string().release());
        return ValPtr(s);
    };
    return {[] { return ValPtr(stdVal(ST_DINT, 5)); }, structure, string};
}

// Of equal shared values read from a table the last one read stands for
// them: a new equal value gets its CID, whatever the CIDs' order. For
// elementary values and the composite kinds, in both text forms.
TEST(ConstTableTest, ReadingLetsTheLastEqualSharedValueStand)
{
    for (const Form f : {Form::SectionText, Form::Stream}) {
        for (const auto& make : sharedMakers()) {
            const ValPtr value = make();
            ASSERT_TRUE(value->isShared());
            SCOPED_TRACE(std::string(formName(f)) + ", kind " + std::to_string(value->getKind()));
            const std::string body = writeBody(f, *value);
            for (const auto& order : {std::vector<uint32_t>{3, 7, 5}, std::vector<uint32_t>{7, 3, 5}}) {
                StSyConstValTable t;
                ASSERT_TRUE(readTable(f, t,
                                      tableText(f, value->getKind(), body, {order[0], order[1], order[2]})));
                ASSERT_EQ(3u, t.values().size());
                EXPECT_EQ(1u, t.sharedCount());
                EXPECT_EQ(5u, t.findSharedValue(value.get()).get());
                StConstantVal* again = make().release();
                EXPECT_EQ(5u, t.addConstantVal(again).get());
                ASSERT_NE(nullptr, again);  // not taken over
                delete again;
                // With an earlier one taken out, an equal value still ends
                // under a CID holding an equal value.
                EXPECT_EQ(0, t.removeConstantVal(StConstEntryID(3)));
                StConstantVal* third = make().release();
                const StConstEntryID cid = t.addConstantVal(third);
                delete third;
                ASSERT_TRUE(cid.isValid());
                EXPECT_NE(3u, cid.get());
                EXPECT_TRUE(constValEqual(t.getConstantVal(cid), value.get()));
            }
        }
    }
}

// Removing a value erases the shared entry of an equal value, whichever CID
// the entry stands for: after reading two equal shared values (the second
// stands for both) and removing either, a new equal value takes a new CID.
// An unshared value is equal to no shared one and leaves the entry alone.
TEST(ConstTableTest, RemovingAValueErasesTheEqualSharedEntry)
{
    const struct {
        bool unsharedAt2;  // a third value, equal but unshared, under CID 2
        uint32_t removed;
        size_t sharedAfter;
        uint32_t next;  // the CID a new equal shared value gets
    } cases[] = {
        {false, 0, 0, 2},  // the entry stands for 1
        {false, 1, 0, 1},  // the entry stands for 1; the counter goes back
        {true, 2, 1, 1},
        {true, 0, 0, 3},
    };
    for (const auto& make : sharedMakers()) {
        const ValPtr value = make();
        const ValPtr unshared(value->cloneShared(false));
        const std::string body = writeBody(Form::SectionText, *value);
        for (const auto& c : cases) {
            SCOPED_TRACE("kind " + std::to_string(value->getKind()) + ", removed " + std::to_string(c.removed) +
                         (c.unsharedAt2 ? ", unshared at 2" : ""));
            std::string text = tableText(Form::SectionText, value->getKind(), body, {0, 1});
            if (c.unsharedAt2) {
                // Count 3, and the third value before the counter.
                text = "3" + text.substr(1, text.size() - 3) + "2 " + std::to_string(value->getKind()) + " " +
                       writeBody(Form::SectionText, *unshared) + "\r\n0 ";
            }
            StSyConstValTable t;
            ASSERT_TRUE(readTable(Form::SectionText, t, text));
            ASSERT_EQ(c.unsharedAt2 ? 3u : 2u, t.values().size());
            ASSERT_EQ(1u, t.sharedCount());
            EXPECT_EQ(0, t.removeConstantVal(StConstEntryID(c.removed)));
            EXPECT_EQ(c.sharedAfter, t.sharedCount());
            StConstantVal* again = make().release();
            EXPECT_EQ(c.next, t.addConstantVal(again).get());
            delete again;
        }
    }
}

TEST(ConstTableTest, Dump)
{
    StSyConstValTable t;
    add(t, stdVal(ST_SINT, -5));
    add(t, stdVal(ST_BOOL, 1, false));
    std::ostringstream os;
    t.dump(os);
    EXPECT_EQ(" 2\n0 (sint -5)     Adr: 7fffffff Seg: fb000000 shared \n1 (bool 1)     Adr: 7fffffff Seg: fb000000\n",
              os.str());
}

// {BOOL, DINT, 3 x INT}: bytes 0, 4, 8 (the INTs 8, 10, 12); items 1, 2, 3.
TEST(ConstTableTest, LayoutAndFind)
{
    StSyTypeTable types;
    StSyConstValTable t;
    auto* s = new StStructConstantVal();
    s->addMember(stdVal(ST_BOOL, 1));
    s->addMember(stdVal(ST_DINT, 2));
    s->addMember(new StIntArrayConstantVal(3, stdVal(ST_INT, 3), 2, true));
    ValPtr keep(s);
    s->setStorageAddress(0);
    t.layoutValue(s, types, false);
    const StConstValVector& m = *s->members();
    EXPECT_EQ(0, m[0]->getStorageAddress());
    EXPECT_EQ(4, m[1]->getStorageAddress());
    EXPECT_EQ(8, m[2]->getStorageAddress());
    EXPECT_EQ(8, m[2]->firstElement()->getStorageAddress());
    EXPECT_EQ(m[1], t.findValueAtOffset(s, types, false, 4, ST_DINT, 0));
    EXPECT_EQ(nullptr, t.findValueAtOffset(s, types, false, 4, ST_INT, 0));
    EXPECT_EQ(m[2]->firstElement(), t.findValueAtOffset(s, types, false, 10, ST_INT, 0));
    EXPECT_EQ(nullptr, t.findValueAtOffset(s, types, false, 11, ST_INT, 0));  // inside an element
    EXPECT_EQ(nullptr, t.findValueAtOffset(s, types, false, 2, ST_DINT, 0));  // padding
    EXPECT_EQ(nullptr, t.findValueAtOffset(s, types, false, 14, ST_INT, 0));  // beyond
    EXPECT_EQ(nullptr, t.findValueAtOffset(s, types, false, 0, ST_INVALID_TID, 0));

    t.layoutValue(s, types, true);
    EXPECT_EQ(1, m[0]->getStorageAddress());
    EXPECT_EQ(2, m[1]->getStorageAddress());
    EXPECT_EQ(3, m[2]->getStorageAddress());
    EXPECT_EQ(m[2]->firstElement(), t.findValueAtOffset(s, types, true, 5, ST_INT, 0));
    EXPECT_EQ(nullptr, t.findValueAtOffset(s, types, true, 6, ST_INT, 0));
}

}  // namespace
