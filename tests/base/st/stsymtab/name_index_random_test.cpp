// The name-chain index at random: a table that answers adds, renames and
// lookups from its index and a twin that walks every chain go
// through the same random operations (unique and plain adds of shared
// names in many scopes, TO types among them, removals, renames, chains
// sorted by a save, chains made to loop or run into each other, save and
// load) and must give the same results, the same SIDs and the same saved
// text all the way.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

std::string text(StSymbTable& t)
{
    std::ostringstream os;
    t.save(os);
    return os.str();
}

void reload(StSymbTable& t, bool index)
{
    std::istringstream is(text(t));
    t.load(is);
    t.setNameIndex(index);
}

struct Twins {
    StSymbTable indexed;
    StSymbTable walked;
    Twins() { walked.setNameIndex(false); }
};

const char* const kNames[] = {"a", "b", "c", "Abc", "x1", "$$", nullptr};
const uint32_t kKinds[] = {ST_KIND_VAR, ST_KIND_TYPESPEC, ST_KIND_TOTYPE, ST_KIND_CONST, ST_KIND_TOTYPE};

TEST(NameIndexRandom, AnswersAsTheWalkDoes)
{
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
        Twins t;
        std::vector<StSymbEntryID> sids;
        // Nested scopes: ranges 1..6 under random parents.
        for (int i = 0; i < 6; ++i) {
            const StRangeID pv = pick(uint32_t(i + 1)), pn = pick(uint32_t(i + 1));
            for (StSymbTable* s : {&t.indexed, &t.walked}) {
                s->openValidityRange(pv);
                s->openNameSpace(pn);
            }
        }
        for (int step = 0; step < 500; ++step) {
            const uint32_t op = pick(100);
            const char* name = kNames[pick(7)];
            // Half the time one of few scopes, so that names meet there.
            const StRangeID vr = pick(2) ? pick(7) : pick(2), nr = pick(2) ? pick(7) : pick(2);
            const uint32_t kind = kKinds[pick(5)];
            SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step) + " op " +
                         std::to_string(op));
            if (op < 60) {
                const bool unique = op < 50;
                StSymbEntryID a, b;
                const bool gotA = t.indexed.addEntry(name, vr, nr, kind, a, -1, unique) != nullptr;
                const bool gotB = t.walked.addEntry(name, vr, nr, kind, b, -1, unique) != nullptr;
                ASSERT_EQ(gotB, gotA);
                ASSERT_EQ(b, a);
                if (gotA) sids.push_back(a);
            } else if (op < 72 && !sids.empty()) {
                const StSymbEntryID sid = sids[pick(uint32_t(sids.size()))];
                ASSERT_EQ(t.walked.removeEntry(sid), t.indexed.removeEntry(sid));
            } else if (op < 77 && !sids.empty() && name) {
                const StSymbEntryID sid = sids[pick(uint32_t(sids.size()))];
                ASSERT_EQ(t.walked.renameSymbol(sid, name), t.indexed.renameSymbol(sid, name));
            } else if (op < 80 && !sids.empty() && seed % 2) {
                // Links a file could hold: one entry's next names another
                // (a loop, or a chain running into another's).
                const StSymbEntryID from = sids[pick(uint32_t(sids.size()))];
                const StSymbEntryID to = sids[pick(uint32_t(sids.size()))];
                for (StSymbTable* s : {&t.indexed, &t.walked}) {
                    StSyBaseSymbEntry* e = s->findEntry(from);
                    if (!e) continue;
                    e->setNext(to, s->findEntry(to));
                    s->entries()->noteChange();
                }
            } else if (op < 83) {
                // A save with sorted chains puts marked entries first.
                for (StSymbTable* s : {&t.indexed, &t.walked}) {
                    s->setUsageMarking(true);
                    for (size_t i = 0; i < sids.size(); i += 3) s->registerSymbol(s->findEntry(sids[i]));
                    s->setSortChains(true);
                }
                ASSERT_EQ(text(t.walked), text(t.indexed));
                for (StSymbTable* s : {&t.indexed, &t.walked}) {
                    s->setSortChains(false);
                    s->setUsageMarking(false);
                }
            } else if (op < 86) {
                reload(t.indexed, true);
                reload(t.walked, false);
                ASSERT_FALSE(t.indexed.hasError());
            } else if (op < 90) {
                // Anonymous array types, found again by their shape.
                const int32_t upper = int32_t(pick(3));
                const StSymbEntryID owner = sids.empty() || pick(2) ? ST_INVALID_SID : sids[0];
                for (StSymbTable* s : {&t.indexed, &t.walked}) {
                    StSymbEntryID sid;
                    StSyBaseSymbEntry* e = s->addEntry(static_cast<const char*>(nullptr), vr, nr,
                                                       op % 2 ? ST_KIND_TYPESPEC : ST_KIND_TOTYPE, sid);
                    e->setTypeID(s->types()->createArrayType(ST_INT, 0, upper));
                    e->setTypeRefSID(owner);
                }
                StTypeID ta, tb;
                const StRangeID qv = pick(7), qn = pick(7);
                ASSERT_EQ(t.walked.findAnonymousArrayType(qv, qn, ST_INT, owner, 0, upper, tb),
                          t.indexed.findAnonymousArrayType(qv, qn, ST_INT, owner, 0, upper, ta));
                ASSERT_EQ(tb, ta);
            } else {
                const String n(name ? name : "$$");
                for (uint32_t k : {0u, kind, uint32_t(ST_KIND_TOTYPE)}) {
                    StSyBaseSymbEntry *ea = nullptr, *eb = nullptr;
                    ASSERT_EQ(t.walked.findSymbolEntry(n, vr, nr, k, &eb),
                              t.indexed.findSymbolEntry(n, vr, nr, k, &ea));
                    ASSERT_EQ(eb ? eb->getID() : ST_INVALID_SID, ea ? ea->getID() : ST_INVALID_SID);
                }
                for (uint32_t k : {0u, kind}) {
                    const String n(name ? name : "$$");
                    StSyBaseSymbEntry *ea = nullptr, *eb = nullptr;
                    ASSERT_EQ(t.walked.findSymbol(n, vr, nr, k, &eb), t.indexed.findSymbol(n, vr, nr, k, &ea));
                    ASSERT_EQ(eb ? eb->getID() : ST_INVALID_SID, ea ? ea->getID() : ST_INVALID_SID);
                }
            }
            if (step % 25 == 0) {
                ASSERT_EQ(text(t.walked), text(t.indexed));
            }
        }
        ASSERT_EQ(text(t.walked), text(t.indexed)) << "seed " << seed;
    }
}

// Two tables over the same part tables: what one adds, the other's index
// sees (it lives with the entries and follows their change count).
TEST(NameIndex, TablesSharingTheirPartsShareTheIndex)
{
    StSymbTable owner;
    StSymbEntryID a, b, c;
    ASSERT_NE(nullptr, owner.addEntry("n", 0, 0, ST_KIND_VAR, a));
    ASSERT_NE(nullptr, owner.addEntry("n", 1, 1, ST_KIND_VAR, b));
    // The second table borrows the parts for a moment, and hands them back
    // without deleting them.
    struct Lender : StSymbTable {
        using StSymbTable::StSymbTable;
        void forget() { detachTables(0x3F); }
    };
    Lender* borrower = new Lender(owner.strings(), owner.entries(), owner.constants(), owner.vrTable(),
                                  owner.nrTable(), owner.types(), 0, 0);
    EXPECT_EQ(nullptr, borrower->addEntry("n", 1, 1, ST_KIND_VAR, c));
    ASSERT_NE(nullptr, borrower->addEntry("n", 2, 2, ST_KIND_VAR, c));
    EXPECT_EQ(nullptr, owner.addEntry("n", 2, 2, ST_KIND_VAR, c));
    EXPECT_TRUE(owner.removeEntry(b));
    ASSERT_NE(nullptr, borrower->addEntry("n", 1, 1, ST_KIND_VAR, b));
    EXPECT_EQ(b, owner.findSymbol(String("n"), 1, 1));
    // The chain in order of the adds: 0, 2 and 1 again.
    const StSyBaseSymbEntry* e = owner.findEntry(a);
    std::vector<StRangeID> order;
    for (; e; e = e->getNextEntry()) order.push_back(e->getVR());
    EXPECT_EQ((std::vector<StRangeID>{0, 2, 1}), order);
    borrower->forget();
    delete borrower;
}

}  // namespace
