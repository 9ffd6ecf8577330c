// Type table: standard types, creations, layout queries, marking and the
// written form.
#include "base/st/stsymtab/StSyTypeTable.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <ostream>

#include "base/st/stsymtab/StSerial.h"

namespace {

// Deepest nesting the walks over types follow (a longer chain is taken for
// a cycle read from a file).
constexpr int kMaxDepth = 1000;

constexpr int64_t kI32Max = std::numeric_limits<int32_t>::max();

int32_t capI32(int64_t v)
{
    return v > kI32Max ? int32_t(kI32Max) : v < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min() : int32_t(v);
}

}  // namespace

StSyTypeTable::StSyTypeTable(uint32_t id) : m_typeByte(uint8_t(id >> 24))
{
    if (id == 0) initStdTypes();
}

StSyTypeTable::~StSyTypeTable()
{
    clear();
}

void StSyTypeTable::clear()
{
    m_map.forEachValue([](StSyBaseTypeNode* n) { n->~StSyBaseTypeNode(); });
    m_map.clear();
    m_arena.release();
    m_funcIndex.clear();
    m_nextFree = 0;
    m_markedOnly = m_markNew = false;
}

void StSyTypeTable::initStdTypes()
{
    for (uint32_t id = 0; id <= ST_STRUCTTASKID; ++id) {
        auto* n = new (m_arena.allocate(sizeof(StSyStdTypeNode))) StSyStdTypeNode(esMakeElem(id));
        n->setAlignmentField(id == ST_VOID ? 1 : McConvert::getTypeAlignment(id));
        n->setSizeField(int32_t(McConvert::getTypeSize(id)));
        n->mark();
        put(id, n);
    }
    m_firstUser = ST_FIRST_USER_TID;
    auto* s = newNode<StSyArrayTypeNode>();
    s->setWord(ES_STRING);
    s->post().push_back(ST_USINT);
    s->setAlignmentField(1);
    s->setBounds(0, 255);
    s->setSizeField(256);
    s->mark();
    put(ST_STRING_TID, s);
    m_nextFree = 40;
}

uint32_t StSyTypeTable::afterLargest() const
{
    return m_map.empty() ? 0 : m_map.rbegin()->first + 1;
}

StTypeID StSyTypeTable::newTypeID()
{
    if (m_nextFree != ST_INVALID_TID) return m_nextFree++;
    StTypeID candidate = 0;
    for (const auto& kv : m_map) {
        if (kv.first != candidate) break;
        ++candidate;
    }
    return candidate;
}

void StSyTypeTable::freeTypeID(StTypeID tid)
{
    if (tid + 1 == m_nextFree) m_nextFree = afterLargest();
}

StSyTypeTable::FuncKey StSyTypeTable::funcKey(const StSyFuncTypeNode* f)
{
    return FuncKey(f->size(), f->getSizeField(), f->hasInstanceType() ? 1 : 0);
}

void StSyTypeTable::indexFunc(StSyFuncTypeNode* f)
{
    m_funcIndex[funcKey(f)].push_back(f);
}

void StSyTypeTable::unindexFunc(StSyBaseTypeNode* node)
{
    if (node->kind() != ST_NODE_FUNC) return;
    auto* f = static_cast<StSyFuncTypeNode*>(node);
    auto it = m_funcIndex.find(funcKey(f));
    if (it == m_funcIndex.end()) return;
    auto& v = it->second;
    v.erase(std::remove(v.begin(), v.end(), f), v.end());
    if (v.empty()) m_funcIndex.erase(it);
}

void StSyTypeTable::put(StTypeID tid, StSyBaseTypeNode* node)
{
    node->setTID(tid);
    if (StSyBaseTypeNode* old = m_map.erase(tid)) {
        unindexFunc(old);
        stDisposeTypeNodeIn(m_arena, old);
    }
    m_map.insert(tid, node);
    if (node->kind() == ST_NODE_FUNC) indexFunc(static_cast<StSyFuncTypeNode*>(node));
}

StTypeID StSyTypeTable::enter(StSyBaseTypeNode* node)
{
    const StTypeID tid = newTypeID();
    if (tid == ST_INVALID_TID) {
        stDisposeTypeNodeIn(m_arena, node);
        return ST_INVALID_TID;
    }
    if (m_markNew) node->mark();
    put(tid, node);
    return tid;
}

StSyBaseTypeNode* StSyTypeTable::findNode(StTypeID tid) const
{
    return m_map.get(tid);
}

// --- creations ---------------------------------------------------------------

StTypeID StSyTypeTable::createSubrangeType(StTypeID base, StConstEntryID lower, StConstEntryID upper)
{
    const StSyBaseTypeNode* b = findNode(base);
    if (!b || lower.isInvalid() || upper.isInvalid()) return ST_INVALID_TID;
    auto* n = newNode<StSySubrangeTypeNode>();
    n->post().push_back(base);
    n->setAlignmentField(b->getAlignmentField());
    n->setSizeField(b->getSizeField());
    n->setBounds(lower, upper);
    return enter(n);
}

StTypeID StSyTypeTable::createEnumType(std::unique_ptr<StSymbEntryIDList>& list, StTypeID base)
{
    const StSyBaseTypeNode* b = base < 30 ? findNode(base) : nullptr;
    if (!list || !b) return ST_INVALID_TID;
    auto* n = newNode<StSyEnumTypeNode>();
    n->post().push_back(base);
    n->setAlignmentField(b->getAlignmentField());
    n->setSizeField(b->getSizeField());
    n->setList(std::move(list));
    return enter(n);
}

StTypeID StSyTypeTable::createArrayType(StTypeID element, int32_t lower, int32_t upper)
{
    const StSyBaseTypeNode* e = findNode(element);
    if (!e || upper < lower) return ST_INVALID_TID;
    const int64_t elementSize = getAlignedSize(element, 0, e->getAlignmentField(), false);
    const int64_t size = (int64_t(upper) - lower + 1) * elementSize;
    if (elementSize < 0 || size > kI32Max) return ST_INVALID_TID;
    auto* n = newNode<StSyArrayTypeNode>();
    n->post().push_back(element);
    n->setAlignmentField(e->getAlignmentField());
    n->setSizeField(int32_t(size));
    n->setBounds(lower, upper);
    return enter(n);
}

StTypeID StSyTypeTable::createStructType(const StTypeIDList& members, uint32_t alignment, int32_t size)
{
    if (members.empty()) return ST_INVALID_TID;
    auto* n = newNode<StSyStructTypeNode>();
    n->post() = members;
    n->setAlignmentField(alignment);
    n->setSizeField(size);
    return enter(n);
}

StTypeID StSyTypeTable::createStringType(int32_t length)
{
    if (length < 1 || length > 254) return ST_INVALID_TID;
    if (length == 254) return ST_STRING_TID;
    for (const auto& kv : m_map) {
        const StSyBaseTypeNode* n = kv.second;
        if (n->kind() == ST_NODE_ARRAY && n->specCode() == ST_SPEC_STRING && n->elementCount() == uint32_t(length) + 2)
            return kv.first;
    }
    auto* n = newNode<StSyArrayTypeNode>();
    n->setWord(ES_STRING);
    n->post().push_back(ST_USINT);
    n->setAlignmentField(1);
    n->setBounds(0, length + 1);
    n->setSizeField(length + 2);
    return enter(n);
}

StTypeID StSyTypeTable::createFuncType(uint32_t alignment, const StTypeIDList& post, int32_t size,
                                       const StTypeIDList& args, uint32_t totalAlignment, int32_t totalSize,
                                       StSymbEntryID result, bool hasInstance)
{
    auto* n = newNode<StSyFuncTypeNode>();
    n->setAlignmentField(alignment);
    n->post() = post;
    n->setSizeField(size);
    n->args() = args;
    n->setTotals(totalAlignment, totalSize);
    n->setInstanceTID(hasInstance ? StTypeID(ST_MEMADR) : ST_INVALID_TID);
    n->resultSID(result);
    return enter(n);
}

StTypeID StSyTypeTable::findFuncType(const StTypeIDList& post, uint32_t alignment, int32_t size,
                                     const StTypeIDList& args, uint32_t totalAlignment, int32_t totalSize,
                                     StSymbEntryID result, bool hasInstance)
{
    auto it = m_funcIndex.find(FuncKey(totalSize, size, hasInstance ? 1 : 0));
    if (it == m_funcIndex.end()) return ST_INVALID_TID;
    for (StSyFuncTypeNode* f : it->second) {
        if (f->getSizeField() != size || f->getAlignmentField() != alignment || f->size() != totalSize ||
            f->alignment() != totalAlignment || f->hasInstanceType() != hasInstance || f->post() != post ||
            *f->argList() != args)
            continue;
        if (m_markNew && !f->isMarked() && result.isValid()) f->resultSID(result);
        return f->getTID();
    }
    return ST_INVALID_TID;
}

// --- queries -------------------------------------------------------------------

ESTypeSpec StSyTypeTable::getTypeSpec(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n) return 0;
    if (n->kind() == ST_NODE_ARRAY) return n->specCode() | ES_SPECIAL;
    if (n->kind() == ST_NODE_SUBRANGE) {
        const StSyBaseTypeNode* b = findNode(n->subrangeBaseType());
        return b ? (b->elemCode() | ES_ELEMENTARY) : ES_ANYTYPE;
    }
    return n->elemCode() | ES_ELEMENTARY;
}

StTypeID StSyTypeTable::getElementType(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    return n && n->kind() == ST_NODE_ARRAY ? n->elementType() : tid;
}

bool StSyTypeTable::isEnumValueOf(StTypeID tid, StSymbEntryID sid) const
{
    const StSyBaseTypeNode* n = sid.isValid() ? findNode(tid) : nullptr;
    return n && n->kind() == ST_NODE_ENUM && n->enumHoldsSID(sid);
}

bool StSyTypeTable::isIndexInBounds(StTypeID tid, int32_t index) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    return n && n->indexInBounds(index);
}

uint32_t StSyTypeTable::getElementCount(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    return n ? n->elementCount() : 0;
}

bool StSyTypeTable::getSubrangeBounds(StTypeID tid, StConstEntryID& lower, StConstEntryID& upper) const
{
    lower = upper = ST_INVALID_CID;
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n || n->kind() != ST_NODE_SUBRANGE) return false;
    n->subrangeBounds(lower, upper);
    return true;
}

int32_t StSyTypeTable::getSize(StTypeID tid, bool items)
{
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n) return 0;
    return items ? capI32(getItemCount(tid)) : n->getSizeField();
}

uint32_t StSyTypeTable::getAlignment(StTypeID tid, bool useSlot) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n) return 0;
    return useSlot ? n->alignment() : n->getAlignmentField();
}

int32_t StSyTypeTable::getAlignedSize(StTypeID tid, int32_t offset, uint32_t alignment, bool useSlot) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n) return 0;
    const int64_t size = useSlot ? n->size() : n->getSizeField();
    if (alignment == 0) return size == 0 ? 0 : int32_t(kI32Max);
    int64_t s = size + offset;
    const int64_t r = s % int64_t(alignment);
    if (r != 0) s += r > 0 ? int64_t(alignment) - r : -r;
    return capI32(s - offset);
}

int64_t StSyTypeTable::getElementOffset(StTypeID tid, int32_t index, bool items)
{
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n || n->kind() != ST_NODE_ARRAY) return 0;
    const StTypeID e = n->elementType();
    const int64_t each = items ? int64_t(getItemCount(e)) : getAlignedSize(e, 0, getAlignment(e), false);
    const int64_t off = n->indexOffset(index);
    // |off| < 2^32 and |each| < 2^32: saturate instead of overflowing.
    const int64_t limit = std::numeric_limits<int64_t>::max();
    if (each != 0 && (off > limit / std::abs(each) || off < -(limit / std::abs(each))))
        return (off < 0) != (each < 0) ? -limit : limit;
    return off * each;
}

uint32_t StSyTypeTable::itemCount(StSyBaseTypeNode* node, bool& cyclic, int depth)
{
    if (node->getItemCountCache() != 0) return node->getItemCountCache();
    if (node->m_visiting) {
        cyclic = true;
        return 0;
    }
    if (depth >= kMaxDepth) {
        cyclic = true;
        return 0;
    }
    node->m_visiting = true;
    uint64_t n = 1;
    if (node->kind() == ST_NODE_ARRAY) {
        StSyBaseTypeNode* e = findNode(node->elementType());
        const uint64_t c = e ? itemCount(e, cyclic, depth + 1) : 0;
        n = 1 + std::min<uint64_t>(c * node->elementCount(), 0xFFFFFFFFull);
    } else if (node->kind() == ST_NODE_STRUCT) {
        for (StTypeID m : node->post()) {
            StSyBaseTypeNode* mn = findNode(m);
            if (mn) n += itemCount(mn, cyclic, depth + 1);
            if (cyclic) break;
        }
    }
    node->m_visiting = false;
    if (cyclic) return 0;
    n = std::min<uint64_t>(n, 0xFFFFFFFFull);
    node->setItemCountCache(uint32_t(n));
    return uint32_t(n);
}

uint32_t StSyTypeTable::getItemCount(StTypeID tid)
{
    StSyBaseTypeNode* n = findNode(tid);
    bool cyclic = false;
    const uint32_t c = n ? itemCount(n, cyclic, 0) : 0;
    return cyclic ? 0 : c;
}

StTypeID StSyTypeTable::itemType(StTypeID tid, int64_t position, int depth)
{
    if (position < 0 || depth > kMaxDepth) return ST_INVALID_TID;
    if (position == 0) return tid;
    const StSyBaseTypeNode* n = findNode(tid);
    if (!n || n->kind() == ST_NODE_SUBRANGE || n->kind() == ST_NODE_ENUM) return ST_INVALID_TID;
    int64_t p = position - 1;
    switch (n->kind()) {
    case ST_NODE_ARRAY: {
        const StTypeID e = n->elementType();
        const int64_t c = getItemCount(e);
        // The elements span c items each; a position behind the last one
        // names nothing (it is not wrapped into the elements again).
        if (c == 0 || n->elementCount() == 0 || p / c >= int64_t(n->elementCount())) return ST_INVALID_TID;
        return itemType(e, p % c, depth + 1);
    }
    case ST_NODE_STRUCT:
        for (StTypeID m : n->post()) {
            const int64_t c = getItemCount(m);
            if (p < c) return itemType(m, p, depth + 1);
            p -= c;
        }
        return ST_INVALID_TID;
    case ST_NODE_FUNC:
        return p < int64_t(n->post().size()) ? n->post()[size_t(p)] : ST_INVALID_TID;
    default:
        return ST_INVALID_TID;
    }
}

StTypeID StSyTypeTable::getItemType(StTypeID tid, int32_t position)
{
    return itemType(tid, position, 0);
}

namespace {

bool typesEqualAt(const StSyTypeTable& a, StTypeID ta, const StSyTypeTable& b, StTypeID tb, int depth)
{
    const StSyBaseTypeNode* na = a.findNode(ta);
    const StSyBaseTypeNode* nb = b.findNode(tb);
    if (!na || !nb || depth > kMaxDepth || !na->sameType(*nb) || na->post().size() != nb->post().size()) return false;
    for (size_t i = 0; i < na->post().size(); ++i)
        if (!typesEqualAt(a, na->post()[i], b, nb->post()[i], depth + 1)) return false;
    return true;
}

}  // namespace

bool StSyTypeTable::typesEqual(StTypeID tid, const StSyTypeTable& other, StTypeID otherTid) const
{
    return typesEqualAt(*this, tid, other, otherTid, 0);
}

void StSyTypeTable::markType(StTypeID tid, bool deep)
{
    StSyBaseTypeNode* n = tid >= m_firstUser ? findNode(tid) : nullptr;
    if (!n) return;
    n->mark();
    if (!deep) return;
    for (StTypeID p : n->post()) markType(p, false);
    if (const StTypeIDList* args = n->argList())
        for (StTypeID a : *args) markType(a, false);
}

void StSyTypeTable::markReferenced(StSymbEntryIDList& results)
{
    for (auto& kv : m_map) {
        StSyBaseTypeNode* n = kv.second;
        if (!n->isMarked()) continue;
        // Copy: marking never changes a post list, but stay independent of it.
        const StTypeIDList post = n->post();
        for (StTypeID p : post) markType(p, true);
        if (n->kind() == ST_NODE_FUNC) {
            const StSymbEntryID r = n->resultSID(ST_INVALID_SID);
            if (r.isValid()) results.push_back(r);
        }
    }
}

bool StSyTypeTable::isStructured(StTypeID tid) const
{
    const StSyBaseTypeNode* n = findNode(tid);
    return n && (n->kind() == ST_NODE_ARRAY || n->kind() == ST_NODE_STRUCT);
}

// --- written form ----------------------------------------------------------------

template <class A>
void StSyTypeTable::io(A& a, uint32_t mode)
{
    if constexpr (!A::kReading) {
        uint32_t count = 0;
        for (const auto& kv : m_map) count += written(kv.second) ? 1 : 0;
        a.num(count);
        for (const auto& kv : m_map) {
            if (!written(kv.second)) continue;
            StTypeID tid = kv.first;
            int32_t kind = int32_t(kv.second->kind());
            a.num(tid);
            a.num(kind);
            a.part(*kv.second, mode);
            a.blank();
        }
    } else {
        m_readFailed = false;
        m_nextFree = 40;
        uint32_t count = 0;
        a.num(count);
        for (uint32_t i = 0; i < count && a.good(); ++i) {
            StTypeID tid = ST_INVALID_TID;
            int32_t kind = -1;
            a.num(tid);
            a.num(kind);
            if (!a.good()) break;
            StSyBaseTypeNode* n = tid != ST_INVALID_TID ? stCreateTypeNodeIn(m_arena, uint32_t(kind)) : nullptr;
            if (!n) {
                m_readFailed = true;
                break;
            }
            a.part(*n, mode);
            put(tid, n);
            m_nextFree = std::max(m_nextFree, tid);
        }
        if (m_nextFree != ST_INVALID_TID) ++m_nextFree;
    }
}

ST_SERIALISERS(StSyTypeTable)

void StSyTypeTable::dump(std::ostream& os) const
{
    os << ' ' << m_map.size() << "\n";
    for (const auto& kv : m_map) {
        os << kv.first << ' ';
        kv.second->dump(os);
        os << "\n";
    }
}
