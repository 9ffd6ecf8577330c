// Type nodes: one node per type of the type table, by node kind
//   0 Std (elementary), 1 Subrange, 2 Enum, 3 Array (and STRING),
//   4 Struct, 5 Func.
// A node refers to other types through its post list: the base type of a
// subrange or enumeration, the element type of an array, the member types
// of a structure. Queries a kind does not answer give the neutral values
// in brackets of each line.
//
// Written form: TID, post list (count, ids), alignment, size, then the
// kind part (see each class); every value followed by a blank. Array and
// STRING write their special code + 30 (70 and 60).
#pragma once
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <new>

#include "base/falloc/Arena.h"

#include "base/st/stsymtab/StIdList.h"
#include "base/st/stsymtab/StIds.h"
#include "base/st/stsymtab/StSerialDecl.h"
#include "base/st/stsymtab/StStoreMark.h"
#include "base/st/stsymtab/stmcspec.h"

enum StSyTypeNodeKind : uint32_t {
    ST_NODE_STD = 0,
    ST_NODE_SUBRANGE = 1,
    ST_NODE_ENUM = 2,
    ST_NODE_ARRAY = 3,
    ST_NODE_STRUCT = 4,
    ST_NODE_FUNC = 5,
};
constexpr uint32_t ST_NODE_LAST = 5;

class StSyBaseTypeNode : public StStoreMark {
public:
    StSyBaseTypeNode() = default;
    StSyBaseTypeNode(const StSyBaseTypeNode&) = delete;
    StSyBaseTypeNode& operator=(const StSyBaseTypeNode&) = delete;
    virtual ~StSyBaseTypeNode() = default;

    virtual uint32_t kind() const = 0;
    // Std: the id of an elementary word below 30, else 30. [30]
    virtual uint32_t elemCode() const { return 30; }
    // Array: the code of a special word, else 40. [40]
    virtual uint32_t specCode() const { return 40; }
    // Array: its element type. [invalid TID]
    virtual StTypeID elementType() const { return ST_INVALID_TID; }
    // Array: index - lower. [0]
    virtual int64_t indexOffset(int32_t index) const { return 0; }
    // Array: lower <= index <= upper. [false]
    virtual bool indexInBounds(int32_t index) const { return false; }
    // Subrange: its base type. [invalid TID]
    virtual StTypeID subrangeBaseType() const { return ST_INVALID_TID; }
    // Subrange: its bounds. [both invalid]
    virtual void subrangeBounds(StConstEntryID& lower, StConstEntryID& upper) const;
    // Enum: the SID is one of its enumerators. [false]
    virtual bool enumHoldsSID(StSymbEntryID sid) const { return false; }
    // Enum: its enumerators (may be null). [null]
    virtual const StSymbEntryIDList* enumList() const { return nullptr; }
    // Func: its argument list. [null]
    virtual const StTypeIDList* argList() const { return nullptr; }
    // Size / alignment in bytes. [the fields; Func: the totals]
    virtual int32_t size() const { return m_size; }
    virtual uint32_t alignment() const { return m_alignment; }
    // Func: given the invalid SID answers the stored result SID, given
    // another stores it. [invalid]
    virtual StSymbEntryID resultSID(StSymbEntryID sid) { return ST_INVALID_SID; }
    // Func: the instance type is valid. [false]
    virtual bool hasInstanceType() const { return false; }
    // Std, Subrange, Enum: 1; Array: upper - lower + 1 (0 when upper < lower). [0]
    virtual uint32_t elementCount() const { return 0; }
    // Std: other is a Std node with the same elementary code. [false]
    virtual bool sameType(const StSyBaseTypeNode& other) const { return false; }

    virtual bool writeToSection(FsSecCl& s, uint32_t mode) const = 0;
    virtual bool writeToStream(std::ostream& os, uint32_t mode) const = 0;
    virtual bool readFromSection(FsSecCl& s, uint32_t mode) = 0;
    virtual bool readFromStream(std::istream& is, uint32_t mode) = 0;
    virtual void dump(std::ostream& os) const = 0;

    StTypeID getTID() const { return m_tid; }
    void setTID(StTypeID tid) { m_tid = tid; }
    const StTypeIDList& post() const { return m_post; }
    StTypeIDList& post() { return m_post; }
    uint32_t getAlignmentField() const { return m_alignment; }
    void setAlignmentField(uint32_t a) { m_alignment = a; }
    int32_t getSizeField() const { return m_size; }
    void setSizeField(int32_t s) { m_size = s; }
    uint32_t getItemCountCache() const { return m_itemCount; }
    void setItemCountCache(uint32_t n) { m_itemCount = n; }

    template <class A>
    void io(A& a, uint32_t mode);

    // Set while a walk over the types is inside this node (cycle guard).
    bool m_visiting = false;

protected:
    // "<TID>: Al <alignment> Sz <size> post: <ids>"
    void dumpBase(std::ostream& os) const;

    StTypeID m_tid = ST_INVALID_TID;
    StTypeIDList m_post;
    uint32_t m_alignment = 0;
    int32_t m_size = 0;
    uint32_t m_itemCount = 0;
};

#define ST_NODE_CLASS_BODY(Kind)                                               \
public:                                                                        \
    uint32_t kind() const override { return Kind; }                            \
    ST_OVERRIDE_SERIALISERS

class StSyStdTypeNode : public StSyBaseTypeNode {
    ST_NODE_CLASS_BODY(ST_NODE_STD)
public:
    explicit StSyStdTypeNode(ESTypeSpec word = ES_ANYTYPE) : m_word(word) { m_itemCount = 1; }
    uint32_t elemCode() const override;
    uint32_t elementCount() const override { return 1; }
    bool sameType(const StSyBaseTypeNode& other) const override;
    ESTypeSpec getWord() const { return m_word; }
    void setWord(ESTypeSpec w) { m_word = w; }

protected:
    // "ETyp:  <kind><name>" in front of the base dump.
    void dumpStd(std::ostream& os) const;
    ESTypeSpec m_word;
};

class StSySubrangeTypeNode : public StSyStdTypeNode {
    ST_NODE_CLASS_BODY(ST_NODE_SUBRANGE)
public:
    StSySubrangeTypeNode() = default;
    StTypeID subrangeBaseType() const override { return m_post.empty() ? ST_INVALID_TID : m_post.front(); }
    void subrangeBounds(StConstEntryID& lower, StConstEntryID& upper) const override;
    bool sameType(const StSyBaseTypeNode&) const override { return false; }
    void setBounds(StConstEntryID lower, StConstEntryID upper)
    {
        m_lower = lower;
        m_upper = upper;
    }

protected:
    StConstEntryID m_lower;
    StConstEntryID m_upper;
};

class StSyEnumTypeNode : public StSyStdTypeNode {
    ST_NODE_CLASS_BODY(ST_NODE_ENUM)
public:
    StSyEnumTypeNode() = default;
    bool enumHoldsSID(StSymbEntryID sid) const override;
    const StSymbEntryIDList* enumList() const override { return m_list.get(); }
    bool sameType(const StSyBaseTypeNode&) const override { return false; }
    void setList(std::unique_ptr<StSymbEntryIDList> list) { m_list = std::move(list); }

protected:
    std::unique_ptr<StSymbEntryIDList> m_list;
};

class StSyArrayTypeNode : public StSyStdTypeNode {
    ST_NODE_CLASS_BODY(ST_NODE_ARRAY)
public:
    StSyArrayTypeNode() : StSyStdTypeNode(ES_ANYSTRUCT) { m_itemCount = 0; }
    uint32_t elemCode() const override { return 30; }
    uint32_t specCode() const override { return esSpecCode(m_word); }
    StTypeID elementType() const override { return m_post.empty() ? ST_INVALID_TID : m_post.front(); }
    int64_t indexOffset(int32_t index) const override { return int64_t(index) - m_lower; }
    bool indexInBounds(int32_t index) const override { return m_lower <= index && index <= m_upper; }
    uint32_t elementCount() const override;
    bool sameType(const StSyBaseTypeNode&) const override { return false; }
    // Element count n: below 1 refused; the same count succeeds without
    // change; otherwise upper = lower + n - 1 (false when that leaves the
    // 32-bit range). The size field stays as it was.
    bool resize(int32_t n);
    int32_t getLower() const { return m_lower; }
    int32_t getUpper() const { return m_upper; }
    void setBounds(int32_t lower, int32_t upper)
    {
        m_lower = lower;
        m_upper = upper;
    }

protected:
    int32_t m_lower = 0;
    int32_t m_upper = 0;
};

class StSyStructTypeNode : public StSyBaseTypeNode {
    ST_NODE_CLASS_BODY(ST_NODE_STRUCT)
public:
    StSyStructTypeNode() = default;

protected:
    void dumpStruct(std::ostream& os) const;
};

class StSyFuncTypeNode : public StSyStructTypeNode {
    ST_NODE_CLASS_BODY(ST_NODE_FUNC)
public:
    StSyFuncTypeNode() = default;
    const StTypeIDList* argList() const override { return &m_args; }
    int32_t size() const override { return m_totalSize; }
    uint32_t alignment() const override { return m_totalAlignment; }
    StSymbEntryID resultSID(StSymbEntryID sid) override;
    bool hasInstanceType() const override { return m_instance != ST_INVALID_TID; }

    StTypeIDList& args() { return m_args; }
    StTypeID getInstanceTID() const { return m_instance; }
    void setInstanceTID(StTypeID t) { m_instance = t; }
    void setTotals(uint32_t alignment, int32_t size)
    {
        m_totalAlignment = alignment;
        m_totalSize = size;
    }

protected:
    StTypeID m_instance = ST_INVALID_TID;
    StTypeIDList m_args;
    uint32_t m_totalAlignment = 0;
    int32_t m_totalSize = 0;
    StSymbEntryID m_result;
};

// A new default node of the kind (0-5); null for other kinds.
StSyBaseTypeNode* stCreateTypeNode(uint32_t kind);
// The same made in an arena (null for other kinds); such a node is never
// deleted: its owner ends it with stDisposeTypeNodeIn, or runs its
// destructor and drops the block with the arena.
StSyBaseTypeNode* stCreateTypeNodeIn(CArena& arena, uint32_t kind);
// A node of class T made in the arena.
template <class T>
T* stMakeTypeNodeIn(CArena& arena)
{
    static_assert(alignof(T) <= 8, "arena blocks are 8-byte aligned");
    return new (arena.allocate(sizeof(T))) T;
}
// Destroys a node made in the arena and keeps its block there for reuse.
void stDisposeTypeNodeIn(CArena& arena, StSyBaseTypeNode* node);
