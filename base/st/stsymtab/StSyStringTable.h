// String table: the names of the symbol table, each mapped to the head of
// the chain of entries that share it.
//
// Names are ordered by String::compare (bytes as signed chars, so names are
// case-sensitive): they are found through a hash index and put in that
// order only when a walk asks for it (names added since the last walk are
// sorted and merged in). The table owns its keys: insert takes the String it is
// given and frees it whenever it does not keep it (invalid SID, name
// present already), remove and clear free the keys.
//
// Written form: the count and a blank, then per name in name order: the
// name (section stream: its String form, length blank characters; standard
// stream: the bare characters), a blank, the SID and a line end. With the
// marked-only flag only marked names are counted and written. Reading adds
// to the table (it is not cleared) with extra 0, unmarked; it stops at the
// first stream failure.
#pragma once
#include "base/st/stsymtab/StSerialDecl.h"
#include <cstdint>
#include <cstddef>
#include <iosfwd>
#include <iterator>
#include <utility>
#include <vector>

#include "base/falloc/Arena.h"
#include "base/st/stsymtab/StFlatMap.h"
#include "base/st/stsymtab/StIds.h"
#include "co/tvstring.h"


// What the table keeps for a name: the chain head, an extra word (used by
// the symbol table, for example as a changed flag) and the store mark.
struct StSymbIDStStore {
    StSymbEntryID sid;
    uint32_t extra = 0;
    uint8_t mark = 0;  // bit 0: marked
};

class StSyStringTable {
    struct Node;

public:
    using Pair = std::pair<String* const, StSymbIDStStore>;
    // The names in name order: a view that holds until the table changes.
    class NameView {
    public:
        class const_iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = Pair;
            using difference_type = std::ptrdiff_t;
            using pointer = const Pair*;
            using reference = const Pair&;
            explicit const_iterator(const Node* const* at = nullptr) : m_at(at) {}
            reference operator*() const { return (*m_at)->kv; }
            pointer operator->() const { return &(*m_at)->kv; }
            const_iterator& operator++()
            {
                ++m_at;
                return *this;
            }
            bool operator==(const const_iterator& o) const { return m_at == o.m_at; }
            bool operator!=(const const_iterator& o) const { return m_at != o.m_at; }

        private:
            const Node* const* m_at;
        };
        NameView(const Node* const* first, size_t count) : m_first(first), m_count(count) {}
        const_iterator begin() const { return const_iterator(m_first); }
        const_iterator end() const { return const_iterator(m_first + m_count); }
        size_t size() const { return m_count; }
        bool empty() const { return m_count == 0; }

    private:
        const Node* const* m_first;
        size_t m_count;
    };

    StSyStringTable() = default;
    StSyStringTable(const StSyStringTable&) = delete;
    StSyStringTable& operator=(const StSyStringTable&) = delete;
    virtual ~StSyStringTable();

    // 1 for a null name or an invalid SID (the name is freed); otherwise 0:
    // the name is entered with {sid, extra, unmarked} unless present (then
    // the old values stay and the given String is freed), and marked when
    // the mark-new flag is set.
    int insert(String* name, StSymbEntryID sid, uint32_t extra = 0);
    // Frees the key equal to name and removes it (nothing when absent).
    void remove(const String& name);
    // The stored key and its SID; null and the invalid SID when absent.
    String* lookup(const String& name, StSymbEntryID& sid) const;
    // The record of a present name (null when absent), for the symbol table.
    StSymbIDStStore* find(const String& name);
    void mark(const String& name);
    // Frees every key; the flags are cleared.
    void clear();
    // Enters a copy of every name of other with other's record.
    void assign(const StSyStringTable& other);

    NameView names() const;
    size_t size() const { return m_count; }
    void setMarkedOnly(bool on) { m_markedOnly = on; }
    bool isMarkedOnly() const { return m_markedOnly; }
    void setMarkNew(bool on) { m_markNew = on; }
    bool isMarkNew() const { return m_markNew; }
    // Counts names entered and removed (reads and clearing included).
    uint64_t changeCount() const { return m_changes; }

    ST_DECLARE_SERIALISERS(0)
    // " <count>\n", then per name "<name> <SID>\n".
    void dump(std::ostream& os) const;


private:
    // A name's pair, and its place in m_order.
    struct Node {
        Pair kv;
        size_t at;
    };
    // The names as keys of the index, with their hash: equal when their
    // bytes are; a probe passing another name's key compares the hashes
    // before it reads the other name.
    struct NameKey {
        const String* name = nullptr;
        uint32_t hash = 0;
        NameKey() = default;
        explicit NameKey(const String* n) : name(n), hash(hashOf(*n)) {}
        bool operator==(const NameKey& o) const { return hash == o.hash && *name == *o.name; }
    };
    struct NameKeyHash {
        uint32_t operator()(const NameKey& k) const { return k.hash; }
    };
    static uint32_t hashOf(const String& name);
    Node* indexed(const String& name) const;
    // Sorts the nodes by name (String::compare).
    static void sortByName(std::vector<Node*>::iterator first, std::vector<Node*>::iterator last);

    // Enters name with the record unless present; frees what it does not keep.
    StSymbIDStStore* enter(String* name, const StSymbIDStStore& rec);
    bool written(const StSymbIDStStore& rec) const { return !m_markedOnly || (rec.mark & 1); }
    // Sorts the names added since the last walk into m_order.
    void sortOrder() const;

    // The nodes live in the arena (they need no destructor); the Strings
    // are the table's own and freed one by one.
    CArena m_arena;
    StFlatMap<NameKey, Node*, NameKeyHash> m_index;
    // Every node: the first m_sorted in name order, then those added since
    // (null where a name was removed, until the next sort).
    mutable std::vector<Node*> m_order;
    mutable size_t m_sorted = 0;
    mutable size_t m_holes = 0;
    size_t m_count = 0;
    bool m_markedOnly = false;
    bool m_markNew = false;
    uint64_t m_changes = 0;
};
