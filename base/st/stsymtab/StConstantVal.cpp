// Constant values: the abstract value, its order, and the constant table
// with its CIDs, sharing, written forms, dump and layout walks.
#include "base/st/stsymtab/StConstantVal.h"

#include <ostream>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StConstIo.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"

// ---------------------------------------------------------------------------
// The abstract value
// ---------------------------------------------------------------------------

void StConstantVal::getText(String& text, uint8_t& length) const
{
    text = "";
    length = 0;
}

void StConstantVal::getRaw(uint8_t value[8], uint32_t& typeId, int32_t& sign) const
{
    for (int i = 0; i < 8; ++i) value[i] = 0;
    typeId = 30;
    sign = 1;
}

int StConstantVal::compareTo(const StConstantVal& other) const { return int(m_shared) - int(other.m_shared); }

void StConstantVal::dumpConstPlace(std::ostream& os) const
{
    dumpPlace(os);
    if (m_shared) os << " shared ";
}

namespace {
template <class A>
bool baseBody(A&& a, bool& shared)
{
    stConstShared(a, shared);
    return a.good();
}
}  // namespace

bool StConstantVal::write(FsSecCl& s) const { return baseBody(StConstSecWriter(s), const_cast<bool&>(m_shared)); }
bool StConstantVal::write(std::ostream& os) const { return baseBody(StConstOsWriter(os), const_cast<bool&>(m_shared)); }
bool StConstantVal::read(FsSecCl& s) { return baseBody(StConstSecReader(s), m_shared); }
bool StConstantVal::read(std::istream& is) { return baseBody(StConstIsReader(is), m_shared); }

uint64_t StConstantVal::orderHash() const
{
    return stMixHash(uint64_t(uint32_t(getKind())) << 1 | uint64_t(m_shared));
}

int constValCompare(const StConstantVal* a, const StConstantVal* b)
{
    if (!a || !b) return int(a != nullptr) - int(b != nullptr);
    if (a->getKind() != b->getKind()) return a->getKind() < b->getKind() ? -1 : 1;
    return a->compareTo(*b);
}

bool constValEqual(const StConstantVal* a, const StConstantVal* b)
{
    if (!a || !b) return !a && !b;
    return a->getKind() == b->getKind() && b->isEqual(*a);
}

bool constValLess(const StConstantVal* a, const StConstantVal* b) { return constValCompare(a, b) < 0; }

// ---------------------------------------------------------------------------
// The table
// ---------------------------------------------------------------------------

StSyConstValTable::~StSyConstValTable() { clear(); }

void StSyConstValTable::clear()
{
    m_shared.clear();
    m_sharedStd.clear();
    m_values.forEachValue([](StConstantVal* v) { delete v; });
    m_values.clear();
    m_nextFree = 0;
    m_markOnly = false;
    m_markNew = false;
}

StConstantVal* StSyConstValTable::createConstantVal(int32_t kind) const
{
    switch (kind) {
    case ST_CONST_STD: return new StStdConstantVal();
    case ST_CONST_STRUCT: return new StStructConstantVal();
    case ST_CONST_STRING: return new StStringConstantVal();
    case ST_CONST_PCKINIT: return new StPckInitConstantVal();
    default: return nullptr;
    }
}

StConstantVal* StSyConstValTable::getConstantVal(StConstEntryID cid) const
{
    return m_values.get(cid.get());
}

StConstEntryID StSyConstValTable::getNextFreeID()
{
    if (m_nextFree != ST_INVALID_CID.get()) return m_nextFree++;
    // The counter is exhausted: the lowest CID not in use.
    if (m_values.empty() || m_values.begin()->first != 0) return 0;
    uint32_t k = 0;
    for (auto it = std::next(m_values.begin()); it != m_values.end(); ++it) {
        if (it->first != k + 1) return k + 1;
        k = it->first;
    }
    return k + 1;  // the invalid CID when every CID below it is in use
}

void StSyConstValTable::releaseID(uint32_t cid)
{
    if (cid + 1 == m_nextFree) m_nextFree = afterHighest();
}

namespace {

const StStdConstantVal* asStd(const StConstantVal& v)
{
    return v.getKind() == ST_CONST_STD ? static_cast<const StStdConstantVal*>(&v) : nullptr;
}

}  // namespace

StSyConstValTable::SharedEntry StSyConstValTable::findEquivalent(const StConstantVal& value) const
{
    const uint32_t* cid = nullptr;
    if (const StStdConstantVal* v = asStd(value))
        cid = m_sharedStd.find(v->orderKey());
    else
        cid = m_shared.find(sharedKeyOf(value));
    return cid ? SharedEntry{m_values.get(*cid), *cid} : SharedEntry();
}

void StSyConstValTable::shareValue(const StConstantVal* value, uint32_t cid)
{
    if (const StStdConstantVal* v = asStd(*value)) {
        const StConstOrderKey key = v->orderKey();
        if (!m_sharedStd.find(key)) m_sharedStd[key] = cid;
        return;
    }
    const SharedKey key = sharedKeyOf(*value);
    if (!m_shared.find(key)) m_shared[key] = cid;
}

// Reading a table, each shared value read takes over the entry of its
// equals, so the last one read stands for them: a value added to the table
// read back (a recompile into an existing target) binds to that CID, and
// the CIDs written next depend on it. The entry's key becomes this value,
// the one under the CID the entry answers.
void StSyConstValTable::shareValueLast(const StConstantVal* value, uint32_t cid)
{
    if (const StStdConstantVal* v = asStd(*value))
        m_sharedStd.assign(v->orderKey(), cid);
    else
        m_shared.assign(sharedKeyOf(*value), cid);
}

void StSyConstValTable::unshareValue(const StConstantVal& value)
{
    if (const StStdConstantVal* v = asStd(value)) {
        m_sharedStd.erase(v->orderKey());
        return;
    }
    m_shared.erase(sharedKeyOf(value));
}

std::size_t StSyConstValTable::sharedCount() const
{
    std::size_t n = 0;
    m_shared.forEach([&](const SharedKey&, uint32_t) { ++n; });
    m_sharedStd.forEach([&](const StConstOrderKey&, uint32_t) { ++n; });
    return n;
}

// The value stands for its equals once: an equivalent shared value that is
// also equal answers with its CID; an equivalent one that is not equal (a
// value never shared with another) keeps its entry, and the new value is
// kept without one. take() hands over the value to keep, called only then.
template <class Take>
StConstEntryID StSyConstValTable::enter(const StConstantVal& value, Take take)
{
    const StConstEntryID cid = getNextFreeID();
    StConstEntryID equal = ST_INVALID_CID;
    bool equivalent = false;
    const StStdConstantVal* std = asStd(value);
    StConstOrderKey key;
    SharedKey sharedKey;
    if (value.isShared()) {
        if (std) {
            key = std->orderKey();
            const uint32_t* found = m_sharedStd.find(key);
            // Equal keys hold the same shared flag, type, sign and place in
            // the order: all that isEqual asks but for a value never equal.
            equivalent = found != nullptr;
            if (equivalent && !std->isNeverEqual()) equal = *found;
        } else {
            sharedKey = sharedKeyOf(value);
            const uint32_t* found = m_shared.find(sharedKey);
            equivalent = found != nullptr;
            if (equivalent && constValEqual(m_values.get(*found), &value)) equal = *found;
        }
    }
    if (equal.isInvalid() && cid.isValid()) {
        StConstantVal* kept = take();
        if (m_markNew) kept->mark();
        if (kept->isShared() && !equivalent) {
            if (std)
                m_sharedStd[key] = cid.get();
            else
                m_shared[kept == sharedKey.value ? sharedKey : sharedKeyOf(*kept)] = cid.get();
        }
        m_values.insert(cid.get(), kept);  // a free CID
        return cid;
    }
    if (cid.isValid()) releaseID(cid.get());
    if (equal.isValid()) {
        if (m_markNew) m_values.get(equal.get())->mark();
        return equal;
    }
    return ST_INVALID_CID;
}

StConstEntryID StSyConstValTable::addConstantVal(StConstantVal*& value)
{
    if (!value) return ST_INVALID_CID;
    StConstantVal* const given = value;
    return enter(*given, [&] {
        value = nullptr;
        return given;
    });
}

StConstEntryID StSyConstValTable::addConstantCopy(const StConstantVal& value)
{
    return enter(value, [&] { return value.cloneShared(value.isShared()); });
}

StConstEntryID StSyConstValTable::findSharedValue(const StConstantVal* value) const
{
    if (!value || !value->isShared()) return ST_INVALID_CID;
    const SharedEntry e = findEquivalent(*value);
    if (!e.value || !constValEqual(e.value, value)) return ST_INVALID_CID;
    return e.cid;
}

int StSyConstValTable::removeConstantVal(StConstEntryID cid)
{
    StConstantVal* v = m_values.get(cid.get());
    if (!v) return 1;
    // Shared entries are found by value, not by CID: removing a value erases
    // the entry of its equals whichever CID that entry stands for (reading
    // lets the last of equal values stand), and a new equal value then takes
    // a CID of its own. An equivalent value that is never equal (an address
    // holding none) keeps its entry unless it stands for this CID.
    const SharedEntry s = findEquivalent(*v);
    if (s.value && (s.cid == cid.get() || constValEqual(s.value, v))) unshareValue(*v);
    m_values.erase(cid.get());
    delete v;
    releaseID(cid.get());
    return 0;
}

int StSyConstValTable::compareValues(StConstEntryID a, StConstEntryID b) const
{
    if (a.get() >= m_nextFree || b.get() >= m_nextFree) return 2;
    const StConstantVal* va = getConstantVal(a);
    const StConstantVal* vb = getConstantVal(b);
    if (!va || !vb || !va->isSameType(vb)) return 2;
    return constValLess(vb, va) ? 0 : 1;
}

uint32_t StSyConstValTable::getTypeIdOf(StConstEntryID cid) const
{
    const StConstantVal* v = getConstantVal(cid);
    return v ? v->getTypeId() : 30;
}

bool StSyConstValTable::getDIntOf(StConstEntryID cid, int32_t& v) const
{
    v = 0;
    const StConstantVal* c = getConstantVal(cid);
    return c && c->getDInt(v);
}

bool StSyConstValTable::getLongOf(StConstEntryID cid, int32_t& v) const
{
    v = 0;
    const StConstantVal* c = getConstantVal(cid);
    return c && c->getLong(v);
}

void StSyConstValTable::markValue(StConstEntryID cid)
{
    if (StConstantVal* v = getConstantVal(cid)) v->mark();
}

// ---------------------------------------------------------------------------
// Written forms
// ---------------------------------------------------------------------------

template <class A>
void StSyConstValTable::writeAll(A& a) const
{
    uint32_t count = 0;
    if (m_markOnly)
        m_values.forEachValue([&](const StConstantVal* v) { count += v->isMarked() ? 1 : 0; });
    else
        count = uint32_t(m_values.size());
    a.num(count);
    for (const auto& e : m_values) {
        const StConstantVal* v = e.second;
        if (m_markOnly && !v->isMarked()) continue;
        a.num(e.first);
        a.num(int32_t(v->getKind()));
        v->write(a.stream());
        a.lineEnd();
    }
    a.num(m_nextFree);
}

template <class A>
bool StSyConstValTable::readAll(A& a)
{
    uint32_t count = 0;
    a.num(count);
    bool ok = a.good();
    for (uint32_t i = 0; ok && i < count && a.good(); ++i) {
        uint32_t cid = 0;
        int32_t kind = -1;
        a.num(cid);
        a.num(kind);
        if (!a.good()) break;
        StConstantVal* v = createConstantVal(kind);
        if (!v) {
            a.fail();
            ok = false;
            break;
        }
        if (!v->read(a.stream())) {
            delete v;
            break;
        }
        // A repeated CID keeps its first value.
        if (!m_values.insert(cid, v)) {
            delete v;
            continue;
        }
        if (v->isShared()) shareValueLast(v, cid);
    }
    uint32_t stored = 0;
    if (ok && a.good()) a.num(stored);
    m_nextFree = afterHighest();
    return ok && a.good();
}

bool StSyConstValTable::write(FsSecCl& s) const
{
    StConstSecWriter a(s);
    writeAll(a);
    return a.good();
}

bool StSyConstValTable::write(std::ostream& os) const
{
    StConstOsWriter a(os);
    writeAll(a);
    return a.good();
}

bool StSyConstValTable::read(FsSecCl& s)
{
    StConstSecReader a(s);
    return readAll(a);
}

bool StSyConstValTable::read(std::istream& is)
{
    StConstIsReader a(is);
    return readAll(a);
}

void StSyConstValTable::dump(std::ostream& os) const
{
    os << ' ' << m_values.size() << '\n';
    for (const auto& e : m_values) {
        os << e.first << ' ';
        e.second->dump(os);
        os << '\n';
    }
}

// ---------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------

namespace {

// Size and alignment of one element of a composite value.
struct ElemLayout {
    int64_t size = 0;
    int64_t alignment = 1;
    int64_t perElement = 0;  // integer arrays: the size of one repetition
};

ElemLayout elemLayout(const StConstantVal* e, StSyTypeTable& types, bool countMode)
{
    ElemLayout l;
    switch (e->getKind()) {
    case ST_CONST_STD: {
        const uint32_t t = e->getTypeId();
        l.size = countMode ? 1 : McConvert::getTypeSize(t);
        l.alignment = McConvert::getTypeAlignment(t);
        break;
    }
    case ST_CONST_STRUCT:
    case ST_CONST_STRING: {
        const StTypeID tid = e->getTypeRef();
        l.size = types.getSize(tid, countMode);
        l.alignment = types.getAlignment(tid);
        break;
    }
    default: {
        const StConstantVal* inner = e->firstElement();
        StTypeID tid = inner ? inner->getTypeRef() : ST_INVALID_TID;
        if (tid == ST_INVALID_TID && inner && inner->getTypeId() < 30) tid = inner->getTypeId();
        l.alignment = types.getAlignment(tid);
        l.perElement = types.getSize(tid, countMode);
        l.size = l.perElement * int64_t(e->elementCount());
        break;
    }
    }
    if (l.alignment == 0) l.alignment = 1;
    return l;
}

int64_t alignUp(int64_t offset, int64_t alignment, bool countMode)
{
    if (countMode || alignment <= 1) return offset;
    const int64_t r = offset % alignment;
    return r ? offset + alignment - r : offset;
}

bool hasTid(const StConstantVal* e, StTypeID wanted)
{
    if (e->getTypeRef() == wanted) return true;
    return e->getKind() == ST_CONST_STD && e->getTypeId() == wanted;
}

// Visits each non-null element of a value at its laid-out offset, from
// start (plus 1 in count mode); stops when visit answers true.
template <class F>
void walkElements(const StConstantVal* value, StSyTypeTable& types, bool countMode, int64_t start, F visit)
{
    int64_t offset = start + (countMode ? 1 : 0);
    const StConstRange r = value->elementRange();
    for (StConstantVal* const* p = r.first; p != r.end; ++p) {
        StConstantVal* e = *p;
        if (!e) continue;
        const ElemLayout l = elemLayout(e, types, countMode);
        offset = alignUp(offset, l.alignment, countMode);
        if (visit(e, offset, l)) return;
        offset += l.size;
    }
}

}  // namespace

void StSyConstValTable::layoutValue(StConstantVal* value, StSyTypeTable& types, bool countMode) const
{
    if (!value) return;
    StConstDepth depth;
    if (depth.tooDeep()) return;
    walkElements(value, types, countMode, value->getStorageAddress(), [&](StConstantVal* e, int64_t offset, const ElemLayout&) {
        e->setStorageAddress(int32_t(offset));
        const StConstValKind k = e->getKind();
        if (k == ST_CONST_STRUCT || k == ST_CONST_STRING) {
            layoutValue(e, types, countMode);
        } else if (k == ST_CONST_INTARRAY || k == ST_CONST_PCKINIT) {
            if (StConstantVal* inner = e->firstElement()) {
                inner->setStorageAddress(int32_t(offset));
                layoutValue(inner, types, countMode);
            }
        }
        return false;
    });
}

StConstantVal* StSyConstValTable::findValueAtOffset(StConstantVal* value, StSyTypeTable& types, bool countMode,
                                                    int32_t target, StTypeID wanted, int32_t start) const
{
    if (!value || wanted == ST_INVALID_TID) return nullptr;
    StConstDepth depth;
    if (depth.tooDeep()) return nullptr;
    StConstantVal* found = nullptr;
    walkElements(value, types, countMode, start, [&](StConstantVal* e, int64_t offset, const ElemLayout& l) {
        if (target < offset) return true;  // padding before the element
        if (target == offset && hasTid(e, wanted)) {
            found = e;
            return true;
        }
        if (target >= offset + l.size) return false;
        const StConstValKind k = e->getKind();
        if (k == ST_CONST_STRUCT) {
            found = findValueAtOffset(e, types, countMode, target, wanted, int32_t(offset));
        } else if (k == ST_CONST_INTARRAY || k == ST_CONST_PCKINIT) {
            StConstantVal* inner = e->firstElement();
            if (!inner || l.perElement <= 0) return true;
            const int64_t at = offset + (target - offset) / l.perElement * l.perElement;
            if (target == at && hasTid(inner, wanted))
                found = inner;
            else if (inner->getKind() == ST_CONST_STRUCT)
                found = findValueAtOffset(inner, types, countMode, target, wanted, int32_t(at));
        }
        return true;
    });
    return found;
}
