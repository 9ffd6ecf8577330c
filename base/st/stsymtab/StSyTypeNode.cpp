// Type nodes: answers, field lists, dumps and the kind factory.
#include "base/st/stsymtab/StSyTypeNode.h"

#include <algorithm>
#include <ostream>
#include <type_traits>

#include "base/st/stsymtab/StSerial.h"

void StSyBaseTypeNode::subrangeBounds(StConstEntryID& lower, StConstEntryID& upper) const
{
    lower = ST_INVALID_CID;
    upper = ST_INVALID_CID;
}

template <class A>
void StSyBaseTypeNode::io(A& a, uint32_t mode)
{
    a.num(m_tid);
    a.part(m_post, mode);
    a.num(m_alignment);
    a.num(m_size);
}

void StSyBaseTypeNode::dumpBase(std::ostream& os) const
{
    os << m_tid << ": Al " << m_alignment << " Sz " << m_size << " post: ";
    m_post.dump(os);
}

// --- Std ---------------------------------------------------------------------

uint32_t StSyStdTypeNode::elemCode() const
{
    return esIsElementary(m_word) && esElemCode(m_word) < 30 ? esElemCode(m_word) : 30;
}

bool StSyStdTypeNode::sameType(const StSyBaseTypeNode& other) const
{
    return other.kind() == ST_NODE_STD && other.elemCode() == elemCode();
}

// The elementary code is written signed and read back with the flag.
template <class A>
void StSyStdTypeNode::io(A& a, uint32_t mode)
{
    StSyBaseTypeNode::io(a, mode);
    int32_t code = int32_t(elemCode());
    a.num(code);
    if (A::kReading && a.good()) m_word = ES_ELEMENTARY | (uint32_t(code) & ES_CODE_MASK);
}

void StSyStdTypeNode::dumpStd(std::ostream& os) const
{
    os << "ETyp:  " << kind();
    if (elemCode() == 30 && specCode() == 30) {
        os << "STRING  ";
    } else if (const char* name = stTypeIdName(elemCode())) {
        os << name;
    }
}

void StSyStdTypeNode::dump(std::ostream& os) const
{
    dumpStd(os);
    dumpBase(os);
}

// --- Subrange ------------------------------------------------------------------

void StSySubrangeTypeNode::subrangeBounds(StConstEntryID& lower, StConstEntryID& upper) const
{
    lower = m_lower;
    upper = m_upper;
}

template <class A>
void StSySubrangeTypeNode::io(A& a, uint32_t mode)
{
    StSyStdTypeNode::io(a, mode);
    a.num(m_lower);
    a.num(m_upper);
}

void StSySubrangeTypeNode::dump(std::ostream& os) const
{
    StSyStdTypeNode::dump(os);
    os << " ( " << m_lower << " " << m_upper << " ) ";
}

// --- Enum ------------------------------------------------------------------------

bool StSyEnumTypeNode::enumHoldsSID(StSymbEntryID sid) const
{
    return m_list && std::find(m_list->begin(), m_list->end(), uint32_t(sid)) != m_list->end();
}

template <class A>
void StSyEnumTypeNode::io(A& a, uint32_t mode)
{
    StSyStdTypeNode::io(a, mode);
    if constexpr (A::kReading) {
        auto list = std::make_unique<StSymbEntryIDList>();
        a.part(*list, mode);
        m_list = std::move(list);
    } else {
        const StSymbEntryIDList empty;
        a.part(m_list ? *m_list : empty, mode);
    }
}

void StSyEnumTypeNode::dump(std::ostream& os) const
{
    StSyStdTypeNode::dump(os);
    os << " Values: (SYID)";
    if (m_list) m_list->dump(os);
}

// --- Array -----------------------------------------------------------------------

uint32_t StSyArrayTypeNode::elementCount() const
{
    if (m_upper < m_lower) return 0;
    const int64_t n = int64_t(m_upper) - m_lower + 1;
    return n > int64_t(0xFFFFFFFFu) ? 0xFFFFFFFFu : uint32_t(n);
}

bool StSyArrayTypeNode::resize(int32_t n)
{
    if (n < 1) return false;
    if (uint32_t(n) == elementCount()) return true;
    const int64_t upper = int64_t(m_lower) + n - 1;
    if (upper > INT32_MAX) return false;
    m_upper = int32_t(upper);
    return true;
}

// Base part only, then special code + 30, lower, upper.
template <class A>
void StSyArrayTypeNode::io(A& a, uint32_t mode)
{
    StSyBaseTypeNode::io(a, mode);
    int32_t code = int32_t(specCode()) + 30;
    a.num(code);
    if (A::kReading && a.good() && code >= 31) m_word = ES_SPECIAL | (uint32_t(code - 30) & ES_CODE_MASK);
    a.num(m_lower);
    a.num(m_upper);
}

void StSyArrayTypeNode::dump(std::ostream& os) const
{
    StSyStdTypeNode::dump(os);
    os << " [ " << m_lower << " " << m_upper << " ] ";
}

// --- Struct and Func ----------------------------------------------------------------

template <class A>
void StSyStructTypeNode::io(A& a, uint32_t mode)
{
    StSyBaseTypeNode::io(a, mode);
}

void StSyStructTypeNode::dumpStruct(std::ostream& os) const
{
    os << "ETyp:  " << kind();
    dumpBase(os);
}

void StSyStructTypeNode::dump(std::ostream& os) const
{
    dumpStruct(os);
}

StSymbEntryID StSyFuncTypeNode::resultSID(StSymbEntryID sid)
{
    if (sid.isInvalid()) return m_result;
    m_result = sid;
    return sid;
}

template <class A>
void StSyFuncTypeNode::io(A& a, uint32_t mode)
{
    StSyStructTypeNode::io(a, mode);
    a.part(m_args, mode);
    a.num(m_instance);
    a.num(m_totalAlignment);
    a.num(m_totalSize);
    a.num(m_result);
}

void StSyFuncTypeNode::dump(std::ostream& os) const
{
    dumpStruct(os);
    os << " Argumente: ";
    m_args.dump(os);
    os << " Typ(SYID): " << m_result << " Inst: " << m_instance << " GesAl: " << m_totalAlignment << " GesSize "
       << m_totalSize << ' ';
}

ST_SERIALISERS(StSyStdTypeNode)
ST_SERIALISERS(StSySubrangeTypeNode)
ST_SERIALISERS(StSyEnumTypeNode)
ST_SERIALISERS(StSyArrayTypeNode)
ST_SERIALISERS(StSyStructTypeNode)
ST_SERIALISERS(StSyFuncTypeNode)

namespace {

// The node of a kind on the heap (null arena) or in the arena, and its size.
template <class F>
auto byKind(uint32_t kind, F f)
{
    switch (kind) {
    case ST_NODE_STD: return f(static_cast<StSyStdTypeNode*>(nullptr));
    case ST_NODE_SUBRANGE: return f(static_cast<StSySubrangeTypeNode*>(nullptr));
    case ST_NODE_ENUM: return f(static_cast<StSyEnumTypeNode*>(nullptr));
    case ST_NODE_ARRAY: return f(static_cast<StSyArrayTypeNode*>(nullptr));
    case ST_NODE_STRUCT: return f(static_cast<StSyStructTypeNode*>(nullptr));
    case ST_NODE_FUNC: return f(static_cast<StSyFuncTypeNode*>(nullptr));
    default: return f(static_cast<StSyBaseTypeNode*>(nullptr));
    }
}

StSyBaseTypeNode* createNode(CArena* arena, uint32_t kind)
{
    return byKind(kind, [arena](auto* tag) -> StSyBaseTypeNode* {
        using T = std::remove_pointer_t<decltype(tag)>;
        if constexpr (std::is_abstract_v<T>)
            return nullptr;
        else
            return arena ? stMakeTypeNodeIn<T>(*arena) : new T;
    });
}

}  // namespace

StSyBaseTypeNode* stCreateTypeNode(uint32_t kind) { return createNode(nullptr, kind); }

StSyBaseTypeNode* stCreateTypeNodeIn(CArena& arena, uint32_t kind) { return createNode(&arena, kind); }

void stDisposeTypeNodeIn(CArena& arena, StSyBaseTypeNode* node)
{
    if (!node) return;
    const size_t size = byKind(node->kind(), [](auto* tag) { return sizeof(*tag); });
    node->~StSyBaseTypeNode();
    arena.recycle(node, size);
}
