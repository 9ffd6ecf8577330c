// Seeded property: random declarations of the compile-side symbol table
// (variables, constants, nested structures, enumerations in their own
// scope, arrays with initialisers) survive the symbol table's text form:
// saved, loaded and saved again they give the same text and the same dump.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "bo/cp/CpSymbTable.h"

namespace {

class Generator {
public:
    Generator(CpSymbTable& t, uint32_t seed) : m_t(t), m_rng(seed) {}

    void run(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            switch (pick(5)) {
            case 0: variable(0, elementary()); break;
            case 1: constant(0, int32_t(pick(2000)) - 1000); break;
            case 2: enumeration(); break;
            case 3: structure(); break;
            case 4: array(); break;
            }
        }
    }

private:
    uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(m_rng); }
    std::string name(const char* prefix) { return prefix + std::to_string(m_next++); }
    StTypeID elementary()
    {
        static const StTypeID types[] = {ST_BYTE, ST_INT, ST_DINT, ST_REAL, ST_LREAL};
        return types[pick(5)];
    }
    StSymbEntryID variable(StRangeID nr, StTypeID tid)
    {
        StSymbEntryID sid;
        m_t.declareSymbol(sid, name("v").c_str(), 0, nr, 1 + pick(4), pick(3), true, true);
        if (sid.isValid()) m_t.findEntry(sid)->setTypeID(tid);
        return sid;
    }
    StSymbEntryID constant(StRangeID nr, int32_t v)
    {
        StSymbEntryID sid;
        m_t.declareConstant(sid, name("c").c_str(), 0, nr, v, 0, true, true);
        return sid;
    }
    void enumeration()
    {
        auto* list = new StSymbEntryIDList();
        for (uint32_t i = 0, n = 1 + pick(3); i < n; ++i) list->push_back(constant(0, int32_t(pick(4))));
        StSymbEntryID sid, parent;
        m_t.declareEnumType(sid, name("E").c_str(), 0, 0, list, parent, 0, true, true, true, true);
        delete list;  // null on success
    }
    void structure()
    {
        const StRangeID ns = m_t.openNameSpace(0);
        StSymbEntryIDList members;
        for (uint32_t i = 0, n = 1 + pick(3); i < n; ++i) {
            const bool nested = !m_structs.empty() && pick(3) == 0;
            const StSymbEntryID m = variable(ns, nested ? m_structs[pick(uint32_t(m_structs.size()))] : elementary());
            if (pick(3) == 0 && !nested) {
                StConstEntryID cid;
                m_t.getValueID(cid, constant(0, int32_t(pick(100))));
                if (m_t.getConstantVal(cid) && m_t.getConstantVal(cid)->fitsType(m_t.getTypeID(m)) == 0)
                    m_t.findEntry(m)->setInitCID(cid);
            }
            members.push_back(m);
        }
        m_t.closeNameSpace(ns, true);
        StSymbEntryID sid, parent;
        m_t.declareStructType(sid, name("S").c_str(), 0, 0, &members, ns, parent, 0, 0, false, true, true);
        if (sid.isValid()) m_structs.push_back(m_t.getTypeID(sid));
    }
    void array()
    {
        const int32_t n = 1 + int32_t(pick(4));
        const StTypeID tid = m_t.types()->createArrayType(ST_DINT, 0, n - 1);
        StConstantElemPtrList list;
        for (int32_t left = n; left > 0;) {
            const int32_t count = 1 + int32_t(pick(uint32_t(left)));
            auto* e = new StConstantElem(new StStdConstantVal(int32_t(pick(50)), false));
            e->setCount(count);
            list.push_back(e);
            left -= count;
        }
        StConstantElemPtrList* p = &list;
        StConstEntryID cid;
        int status = -1;
        m_t.buildInitValue(cid, tid, p, status);
        const StSymbEntryID v = variable(0, tid);
        if (status == 0 && v.isValid()) m_t.findEntry(v)->setInitCID(cid);
    }

    CpSymbTable& m_t;
    std::mt19937 m_rng;
    uint32_t m_next = 0;
    std::vector<StTypeID> m_structs;
};

std::string saved(StSymbTable& t)
{
    std::ostringstream os;
    EXPECT_TRUE(t.save(os));
    return os.str();
}

// The dump up to the range tables: their SID spans are recomputed from the
// entries on load (the open end of the root ranges and the end set when a
// name space is closed are not part of the text form).
std::string dumped(const StSymbTable& t)
{
    std::ostringstream os;
    t.dump(os);
    const std::string d = os.str();
    return d.substr(0, d.find("\nNamensbereiche"));
}

}  // namespace

TEST(CpSymbTableRandom, DeclarationsSurviveTheTextForm)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        CpSymbTable t(0, 0);
        t.setNewFormat(true);  // entries of kinds 1 and 2 with type reference and visibility
        Generator(t, seed).run(25);
        ASSERT_EQ(0u, t.status()) << seed;
        const std::string text = saved(t);
        StSymbTable loaded;
        std::istringstream is(text);
        ASSERT_TRUE(loaded.load(is)) << seed;
        EXPECT_EQ(text, saved(loaded)) << seed;
        EXPECT_EQ(dumped(t), dumped(loaded)) << seed;
    }
}
