// Index of the name chains of a symbol table.
//
// A name's chain (string-table record -> head -> next -> ...) holds every
// entry of the name in all scopes. Adding a unique name must know whether
// the scope (VR, NR) holds the name already and which entry is the chain's
// last; walking the chain for that costs as many steps as the name has
// scopes, which makes a thousand functions declaring the same names
// quadratic. The index answers both without the walk: per name the last
// entry and the chain's length, per (name, VR, NR) the chain's entries of
// that scope in chain order.
//
// The index belongs to the entry table (tables that share their part
// tables share it) and is kept by the symbol table: its own adds and
// removals update it in place; anything else that changes the entry or the
// string table moves their change counts, and the next use rebuilds the
// index from the chains. Chains that are not plain lists - a file may hold
// a chain that loops, runs into another chain, or has prev/next links or
// names that disagree - are not indexed: lookups walk them as before.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/st/stsymtab/StFlatMap.h"
#include "base/st/stsymtab/StIds.h"

class String;
class StSyBaseSymbEntry;
class StSyEntryTable;
class StSyStringTable;

class StNameChainIndex {
public:
    struct Chain {
        StSyBaseSymbEntry* tail = nullptr;
        size_t length = 0;
        bool regular = true;
    };
    // The entries of one (name, VR, NR) in chain order: the ones added at
    // the chain's head (kept newest last) before the others. Most scopes
    // hold one entry, which is kept in place.
    class Scope {
    public:
        // Calls visit on the entries in chain order until it answers true;
        // true then.
        template <class Visit>
        bool find(Visit visit) const
        {
            if (!m_more) return m_one && visit(m_one);
            for (auto it = m_more->front.rbegin(); it != m_more->front.rend(); ++it)
                if (visit(*it)) return true;
            for (StSyBaseSymbEntry* e : m_more->back)
                if (visit(e)) return true;
            return false;
        }
        bool empty() const { return !m_one && !m_more; }
        void pushFront(StSyBaseSymbEntry* e);
        void pushBack(StSyBaseSymbEntry* e);
        // False when the entry is not here.
        bool erase(StSyBaseSymbEntry* e);

    private:
        struct More {
            std::vector<StSyBaseSymbEntry*> front;  // reversed
            std::vector<StSyBaseSymbEntry*> back;
        };
        // The lists, made when a second entry comes (the first moves there).
        More& more();

        StSyBaseSymbEntry* m_one = nullptr;
        std::unique_ptr<More> m_more;
    };

    // Rebuilds the index unless it matches the two tables' change counts.
    void sync(const StSyStringTable& strings, const StSyEntryTable& entries);
    // Takes the tables' change counts as matched: after an update in place
    // that followed the table's own change.
    void stamp(const StSyStringTable& strings, const StSyEntryTable& entries);

    // The chain of a name (the string table's stored key); null when the
    // chain is irregular or the name unknown.
    const Chain* chain(const String* name) const;
    // The entries of a regular chain in (VR, NR), in chain order; null when none.
    const Scope* scope(const String* name, StRangeID vr, StRangeID nr) const;

    // True when every entry lies in a regular chain: no entry is then the
    // next of any entry but its prev (adds and removals in place keep it).
    bool plain() const { return m_plain; }

    // Updates in place, for regular chains only.
    void newChain(const String* name, StSyBaseSymbEntry* entry);
    void append(const String* name, StSyBaseSymbEntry* entry);
    void prepend(const String* name, StSyBaseSymbEntry* entry);
    // False when the entry is not in a regular chain of the name (nothing
    // changed then). prev: the entry before it, null for the head.
    bool remove(const String* name, StSyBaseSymbEntry* entry, StSyBaseSymbEntry* prev);
    // Forgets a name whose key the string table frees.
    void dropName(const String* name);

private:
    // The scopes are kept per range pair, each with a small table of its
    // names: the lookups of one function's compile stay within its own
    // table instead of spreading over one table of every entry.
    struct RangeKey {
        StRangeID vr;
        StRangeID nr;
        bool operator==(const RangeKey& o) const { return vr == o.vr && nr == o.nr; }
    };
    struct RangeKeyHash {
        size_t operator()(const RangeKey& k) const { return (uint64_t(k.vr) << 32) | k.nr; }
    };
    struct NameHash {
        size_t operator()(const String* name) const { return size_t(reinterpret_cast<uintptr_t>(name)); }
    };
    using ScopeNames = StFlatMap<const String*, Scope, NameHash>;
    void rebuild(const StSyStringTable& strings, const StSyEntryTable& entries);
    // The scope of the name in the entry's ranges, made when missing.
    Scope& scopeOf(const String* name, const StSyBaseSymbEntry* entry);
    ScopeNames* namesIn(StRangeID vr, StRangeID nr) const;

    StFlatMap<const String*, Chain, NameHash> m_chains;
    // Per range pair, one more than its position in m_scopeNames.
    StFlatMap<RangeKey, uint32_t, RangeKeyHash> m_ranges;
    mutable std::vector<ScopeNames> m_scopeNames;
    const StSyStringTable* m_strings = nullptr;
    const StSyEntryTable* m_entries = nullptr;
    bool m_plain = true;
    uint64_t m_stringChanges = 0;
    uint64_t m_entryChanges = 0;
};
