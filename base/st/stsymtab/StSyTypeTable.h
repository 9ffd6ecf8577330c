// Type table: every type a symbol table knows, each a type node under a
// type id (TID).
//
// A table built with id 0 registers the standard types: Std nodes 0-23
// (ids 24-29 have none), the standard STRING (TID 30, an array of 256
// USINT), next free TID 40. ST_TYPETABLE_NO_STD builds an empty table for
// a read. TIDs below the first user TID (30) are the elementary types.
//
// Creations answer the invalid TID for an invalid or missing argument
// (a base or element type without node included), an array whose upper
// bound is below its lower bound or whose size leaves 32 bits, and when
// no TID is left; queries on an unknown TID answer 0, false or the
// invalid TID. Walks over the types (item counts and types) stop at a
// cycle read from a file and answer 0 / the invalid TID.
//
// Written form: the count and a blank, then per node in TID order: TID,
// blank, node kind, blank, the node's own form and a further blank; with
// the marked-only flag only marked nodes and the elementary ones. Reading
// replaces nodes of the same TID; it ends with a failure at an unknown
// kind or an invalid TID, and at a stream failure. The next free TID is
// then one more than the larger of 40 and the largest TID read.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "base/falloc/Arena.h"
#include "base/st/stsymtab/StIdMap.h"
#include "base/st/stsymtab/StSerialDecl.h"
#include "base/st/stsymtab/StSyTypeNode.h"

constexpr uint32_t ST_TYPETABLE_NO_STD = 1;
constexpr StTypeID ST_FIRST_USER_TID = 30;
constexpr StTypeID ST_STRING_TID = 30;

class StSyTypeTable {
public:
    // The nodes by TID, in TID order.
    using NodeMap = StIdMap<StTypeID, StSyBaseTypeNode>;

    explicit StSyTypeTable(uint32_t id = 0);
    StSyTypeTable(const StSyTypeTable&) = delete;
    StSyTypeTable& operator=(const StSyTypeTable&) = delete;
    ~StSyTypeTable();

    void initStdTypes();
    // Next free TID (then one more); when exhausted the first TID not in
    // use; the invalid TID when none is left.
    StTypeID newTypeID();
    void freeTypeID(StTypeID tid);

    StTypeID createSubrangeType(StTypeID base, StConstEntryID lower, StConstEntryID upper);
    // Takes the list (the caller's pointer is cleared) on success; base is
    // an elementary id 0-29 with a node.
    StTypeID createEnumType(std::unique_ptr<StSymbEntryIDList>& list, StTypeID base);
    StTypeID createArrayType(StTypeID element, int32_t lower, int32_t upper);
    StTypeID createStructType(const StTypeIDList& members, uint32_t alignment, int32_t size);
    // Length 1-254; 254 is the standard STRING (30); an existing STRING of
    // the length is reused.
    StTypeID createStringType(int32_t length);
    StTypeID createFuncType(uint32_t alignment, const StTypeIDList& post, int32_t size, const StTypeIDList& args,
                            uint32_t totalAlignment, int32_t totalSize, StSymbEntryID result, bool hasInstance);
    // The first registered function type equal in every part; with the
    // mark-new flag an unmarked hit takes a valid result SID. Invalid TID
    // when none.
    StTypeID findFuncType(const StTypeIDList& post, uint32_t alignment, int32_t size, const StTypeIDList& args,
                          uint32_t totalAlignment, int32_t totalSize, StSymbEntryID result, bool hasInstance);

    StSyBaseTypeNode* findNode(StTypeID tid) const;
    ESTypeSpec getTypeSpec(StTypeID tid) const;
    StTypeID getElementType(StTypeID tid) const;
    bool isEnumValueOf(StTypeID tid, StSymbEntryID sid) const;
    bool isIndexInBounds(StTypeID tid, int32_t index) const;
    uint32_t getElementCount(StTypeID tid) const;
    bool getSubrangeBounds(StTypeID tid, StConstEntryID& lower, StConstEntryID& upper) const;
    // The size field, or the item count when items is set.
    int32_t getSize(StTypeID tid, bool items = false);
    // The alignment field, or the node's own answer (a function type's
    // total alignment) when useSlot is set, as getAlignedSize picks the size.
    uint32_t getAlignment(StTypeID tid, bool useSlot = false) const;
    // (size + offset) rounded up to a multiple of alignment, minus offset;
    // alignment 0 gives 0x7FFFFFFF unless the size is 0; capped at
    // 0x7FFFFFFF.
    int32_t getAlignedSize(StTypeID tid, int32_t offset, uint32_t alignment, bool useSlot) const;
    // Array: (index - lower) x (element item count, or aligned element size).
    int64_t getElementOffset(StTypeID tid, int32_t index, bool items);
    // Items of the type laid out flat (cached); 0 for a cyclic type.
    uint32_t getItemCount(StTypeID tid);
    // The type at a flat position; invalid outside the type.
    StTypeID getItemType(StTypeID tid, int32_t position);
    bool typesEqual(StTypeID tid, const StSyTypeTable& other, StTypeID otherTid) const;
    void markType(StTypeID tid, bool deep);
    // Marks what marked nodes refer to; collects the result SIDs of marked
    // function types.
    void markReferenced(StSymbEntryIDList& results);
    bool isStructured(StTypeID tid) const;

    void clear();
    const NodeMap& nodes() const { return m_map; }
    StTypeID getNextFreeTID() const { return m_nextFree; }
    StTypeID getFirstUserTID() const { return m_firstUser; }
    uint8_t getTypeByte() const { return m_typeByte; }
    void setMarkedOnly(bool on) { m_markedOnly = on; }
    bool isMarkedOnly() const { return m_markedOnly; }
    void setMarkNew(bool on) { m_markNew = on; }
    bool isMarkNew() const { return m_markNew; }
    bool readOk() const { return !m_readFailed; }

    ST_DECLARE_SERIALISERS(0)
    // " <count>\n", then per node "<TID> <node dump>\n".
    void dump(std::ostream& os) const;

private:
    using FuncKey = std::tuple<int32_t, int32_t, int32_t>;  // total size, size, has-instance
    static FuncKey funcKey(const StSyFuncTypeNode* f);
    // Enters a node under a new TID (marking it when asked); frees the TID
    // and deletes the node when that fails.
    StTypeID enter(StSyBaseTypeNode* node);
    // Puts a node under tid, replacing (and deleting) what was there.
    void put(StTypeID tid, StSyBaseTypeNode* node);
    void indexFunc(StSyFuncTypeNode* f);
    void unindexFunc(StSyBaseTypeNode* node);
    uint32_t afterLargest() const;
    uint32_t itemCount(StSyBaseTypeNode* node, bool& cyclic, int depth);
    StTypeID itemType(StTypeID tid, int64_t position, int depth);
    bool written(const StSyBaseTypeNode* n) const { return !m_markedOnly || n->isMarked() || n->getTID() < m_firstUser; }

    // A node of class T in the table's arena.
    template <class T>
    T* newNode() { return stMakeTypeNodeIn<T>(m_arena); }

    uint8_t m_typeByte;
    // The nodes live in the arena: clearing runs their destructors (their
    // id lists) and drops their blocks at once; a replaced node's block
    // serves the next node of its size.
    CArena m_arena;
    NodeMap m_map;
    StTypeID m_nextFree = 0;
    StTypeID m_firstUser = ST_FIRST_USER_TID;
    bool m_markedOnly = false;
    bool m_markNew = false;
    bool m_readFailed = false;
    std::map<FuncKey, std::vector<StSyFuncTypeNode*>> m_funcIndex;
};
