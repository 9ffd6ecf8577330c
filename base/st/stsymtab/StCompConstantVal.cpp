// Composite constants: structure, string, integer-array and package-init
// values, and the constant element record.
#include "base/st/stsymtab/StCompConstantVal.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <type_traits>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StConstIo.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "co/GuidHelpers.h"

namespace {

int cmp3(uint64_t a, uint64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

bool isArrayKind(const StConstantVal* v)
{
    return v && (v->getKind() == ST_CONST_INTARRAY || v->getKind() == ST_CONST_PCKINIT);
}

// An empty value of any kind that can stand inside another value.
StConstantVal* createNested(int32_t kind)
{
    switch (kind) {
    case ST_CONST_STD: return new StStdConstantVal();
    case ST_CONST_STRUCT: return new StStructConstantVal();
    case ST_CONST_STRING: return new StStringConstantVal();
    case ST_CONST_INTARRAY: return new StIntArrayConstantVal();
    case ST_CONST_PCKINIT: return new StPckInitConstantVal();
    default: return nullptr;
    }
}

// Kind and body (or value-only form) of a nested value.
template <bool Body, class A>
void writeNested(A& a, const StConstantVal* v)
{
    a.num(int32_t(v->getKind()));
    if constexpr (Body)
        v->write(a.stream());
    else
        v->writeValue(a.stream());
}

// Reads a kind and a nested value of it; null (the stream failed) for an
// unknown kind, a failed read or a value nested too deeply.
template <bool Body, class A>
StConstantVal* readNested(A& a)
{
    int32_t kind = -1;
    a.num(kind);
    if (!a.good()) return nullptr;
    StConstDepth depth;
    StConstantVal* v = depth.tooDeep() ? nullptr : createNested(kind);
    if (!v) {
        a.fail();
        return nullptr;
    }
    bool ok;
    if constexpr (Body)
        ok = v->read(a.stream());
    else
        ok = v->readValue(a.stream());
    if (!ok) {
        delete v;
        return nullptr;
    }
    return v;
}

// The 20 package bytes in their stored order (GUID in Windows layout).
void packageBytes(const StPackageId& p, uint8_t out[20])
{
    auto le = [&](unsigned at, uint32_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i) out[at + i] = uint8_t(v >> (8 * i));
    };
    le(0, p.Guid.Data1, 4);
    le(4, p.Guid.Data2, 2);
    le(6, p.Guid.Data3, 2);
    std::memcpy(out + 8, p.Guid.Data4, 8);
    le(16, p.Major, 2);
    le(18, p.Minor, 2);
}

void dumpPackage(std::ostream& os, const StPackageId& p)
{
    writeGuidText(os, p.Guid);
    os << ' ' << p.Major << ' ' << p.Minor << ' ';
}

void dumpPlaceOrNull(std::ostream& os, const StConstantVal* v)
{
    if (v)
        v->dump(os);
    else
        os << "NULL";
}

void dumpValueOrNull(std::ostream& os, const StConstantVal* v)
{
    if (v)
        v->dumpValue(os);
    else
        os << "NULL";
}

// One data-value record of an elementary type (its machine mode).
bool writeRecord(FsSecData& data, uint32_t typeId, int32_t address, uint32_t value)
{
    FsDataValue v;
    v.type = McConvert::getMachModeOfTypeId(typeId);
    v.address = address;
    v.size = 1;
    v.raw = value;
    return data.writeValue(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Structure
// ---------------------------------------------------------------------------

StStructConstantVal::StStructConstantVal() : m_members(new StConstValVector) {}

StStructConstantVal::StStructConstantVal(StTypeID tid, StConstValVector*& members, bool shared)
    : StConstantVal(shared), m_type(tid), m_members(members ? members : new StConstValVector)
{
    members = nullptr;
    computeFlatCount();
}

StStructConstantVal::StStructConstantVal(const StStructConstantVal& other)
    : StConstantVal(other), m_flat(other.m_flat), m_type(other.m_type)
{
    if (!other.m_members) return;
    m_members.reset(new StConstValVector);
    m_members->reserve(other.m_members->size());
    for (const StConstantVal* m : *other.m_members) m_members->push_back(m ? m->clone() : nullptr);
}

StStructConstantVal::StStructConstantVal(const StStructConstantVal& other, bool shared) : StStructConstantVal(other)
{
    m_shared = shared;
}

StStructConstantVal::~StStructConstantVal() { deleteMembers(); }

void StStructConstantVal::deleteMembers()
{
    if (!m_members) return;
    for (StConstantVal* m : *m_members) delete m;
    m_members->clear();
}

void StStructConstantVal::addMember(StConstantVal* member)
{
    if (!m_members) m_members.reset(new StConstValVector);
    m_members->push_back(member);
    computeFlatCount();
}

void StStructConstantVal::computeFlatCount()
{
    uint32_t flat = 0;
    bool array = false;
    if (m_members)
        for (const StConstantVal* m : *m_members) {
            array = array || isArrayKind(m);
            flat += isArrayKind(m) ? m->elementCount() : 1;
        }
    m_flat = array ? flat : 0;
}

int StStructConstantVal::assign(const StConstantVal* source)
{
    if (!source || source->getKind() != ST_CONST_STRUCT) return 1;
    const auto* o = static_cast<const StStructConstantVal*>(source);
    if (o->m_type != m_type) return 2;
    const size_t mine = m_members ? m_members->size() : 0, theirs = o->m_members ? o->m_members->size() : 0;
    int r = 0;
    for (size_t i = 0; i < std::min(mine, theirs); ++i) {
        StConstantVal* m = (*m_members)[i];
        const StConstantVal* s = (*o->m_members)[i];
        if (!m || !s) continue;
        if (int k = m->assign(s); k && !r) r = k;
    }
    return mine != theirs ? 2 : r;
}

bool StStructConstantVal::isDefault() const
{
    if (m_members)
        for (const StConstantVal* m : *m_members)
            if (m && !m->isDefault()) return false;
    return true;
}

StConstantVal* StStructConstantVal::firstElement() const
{
    return m_members && !m_members->empty() ? m_members->front() : nullptr;
}

void StStructConstantVal::nextElement(StConstantVal*& e) const
{
    if (!m_members || !e) {
        e = nullptr;
        return;
    }
    auto it = std::find(m_members->begin(), m_members->end(), e);
    e = it == m_members->end() || std::next(it) == m_members->end() ? nullptr : *std::next(it);
}

StConstantVal* StStructConstantVal::elementAt(uint32_t index) const
{
    if (!m_members || index >= elementCount()) return nullptr;
    for (StConstantVal* m : *m_members) {
        const uint32_t span = isArrayKind(m) ? m->elementCount() : 1;
        if (index < span) return isArrayKind(m) ? m->firstElement() : m;
        index -= span;
    }
    return nullptr;
}

StConstRange StStructConstantVal::elementRange() const
{
    if (!m_members || m_members->empty()) return {};
    return {m_members->data(), m_members->data() + m_members->size()};
}

uint32_t StStructConstantVal::elementCount() const
{
    return m_flat ? m_flat : m_members ? uint32_t(m_members->size()) : 0;
}

int StStructConstantVal::writeImage(FsSecData& data, int32_t offset) const
{
    if (!m_members) return 2;
    for (const StConstantVal* m : *m_members)
        if (m)
            if (int r = m->writeImage(data, offset)) return r;
    return 0;
}

template <class A>
void StStructConstantVal::ioMembers(A& a, bool body)
{
    if constexpr (!A::kReading) {
        int32_t count = 0;
        if (m_members)
            for (const StConstantVal* m : *m_members) count += m ? 1 : 0;
        a.num(count);
        if (m_members)
            for (const StConstantVal* m : *m_members)
                if (m) {
                    if (body)
                        writeNested<true>(a, m);
                    else if constexpr (std::is_same_v<A, StConstSecWriter>)
                        writeNested<false>(a, m);
                }
    } else {
        int32_t count = 0;
        a.num(count);
        if (!a.good()) return;
        deleteMembers();
        if (!m_members) m_members.reset(new StConstValVector);
        for (int32_t i = 0; i < count && a.good(); ++i) {
            StConstantVal* m = nullptr;
            if (body)
                m = readNested<true>(a);
            else if constexpr (std::is_same_v<A, StConstSecReader>)
                m = readNested<false>(a);
            if (!m) break;
            m_members->push_back(m);
        }
        computeFlatCount();
    }
}

template <class A>
void StStructConstantVal::ioBody(A& a)
{
    stConstShared(a, m_shared);
    a.num(m_type);
    ioMembers(a, true);
    stConstPlace(a, *this);
}

template <class A>
void StStructConstantVal::ioValue(A& a)
{
    ioMembers(a, false);
}

ST_CONST_BODIES(StStructConstantVal)

void StStructConstantVal::dumpValue(std::ostream& os) const
{
    os << '{';
    if (m_members)
        for (size_t i = 0; i < m_members->size(); ++i) {
            if (i) os << ", ";
            dumpValueOrNull(os, (*m_members)[i]);
        }
    os << '}';
}

void StStructConstantVal::dump(std::ostream& os) const
{
    os << " ( StructConst: tid " << m_type << "  ";
    dumpConstPlace(os);
    if (m_members)
        for (const StConstantVal* m : *m_members) {
            os << "\n     ";
            dumpPlaceOrNull(os, m);
        }
    os << ')';
}

bool StStructConstantVal::isEqual(const StConstantVal& other) const
{
    if (other.getKind() != ST_CONST_STRUCT || !StConstantVal::isEqual(other)) return false;
    const auto& o = static_cast<const StStructConstantVal&>(other);
    if (m_type != o.m_type) return false;
    const size_t n = m_members ? m_members->size() : 0;
    if (n != (o.m_members ? o.m_members->size() : 0)) return false;
    for (size_t i = 0; i < n; ++i)
        if (!constValEqual((*m_members)[i], (*o.m_members)[i])) return false;
    return true;
}

int StStructConstantVal::compareTo(const StConstantVal& other) const
{
    if (int c = StConstantVal::compareTo(other)) return c;
    const auto& o = static_cast<const StStructConstantVal&>(other);
    if (int c = cmp3(m_type, o.m_type)) return c;
    const size_t n = m_members ? m_members->size() : 0, on = o.m_members ? o.m_members->size() : 0;
    for (size_t i = 0; i < std::min(n, on); ++i)
        if (int c = constValCompare((*m_members)[i], (*o.m_members)[i])) return c;
    return cmp3(n, on);
}

// What compareTo compares: the type, the count and each member (a null
// member, before every value, hashed as such).
uint64_t StStructConstantVal::orderHash() const
{
    uint64_t h = stAddHash(StConstantVal::orderHash(), m_type);
    const size_t n = m_members ? m_members->size() : 0;
    h = stAddHash(h, n);
    for (size_t i = 0; i < n; ++i) {
        const StConstantVal* m = (*m_members)[i];
        h = stAddHash(h, m ? m->orderHash() : 0);
    }
    return h;
}

// ---------------------------------------------------------------------------
// String
// ---------------------------------------------------------------------------

StStringConstantVal::StStringConstantVal(StTypeID tid, const String& text, uint8_t length, int& status)
    : m_type(tid), m_text(text), m_length(length)
{
    status = 0;
}

bool StStringConstantVal::setText(const String& text)
{
    if (uint32_t(text.length()) > MAX_LENGTH) return false;
    m_text = text;
    m_length = uint8_t(text.length());
    return true;
}

int StStringConstantVal::assign(const StConstantVal* source)
{
    if (!source || source->getKind() != ST_CONST_STRING) return 1;
    const auto* o = static_cast<const StStringConstantVal*>(source);
    m_type = o->m_type;
    m_text = o->m_text;
    m_length = o->m_length;
    m_headSpec = o->m_headSpec;
    return 0;
}

void StStringConstantVal::getText(String& text, uint8_t& length) const
{
    text = m_text;
    length = m_length;
}

int StStringConstantVal::writeImage(FsSecData& data, int32_t offset) const
{
    const int32_t at = int32_t(uint32_t(m_address) + uint32_t(offset));
    const int32_t head = int32_t(McConvert::getTypeSize(uint32_t(m_headSpec)));
    bool ok = writeRecord(data, uint32_t(m_headSpec), at, m_length);
    ok = ok && writeRecord(data, uint32_t(m_headSpec), at + head, m_length);
    const int32_t n = m_text.length();
    for (int32_t i = 0; ok && i < int32_t(m_length); ++i)
        ok = writeRecord(data, ST_USINT, at + 2 * head + i, i < n ? uint8_t(m_text.chars()[i]) : 0);
    return ok ? 0 : 1;
}

namespace {

// The text of a string body: the section stream's String form and a blank;
// on a standard stream the number of characters, a blank, the characters
// and a blank. The length follows the text (at most 254).
void stringText(StConstSecWriter& a, String& t, uint8_t&) { a.text(t); }
void stringText(StConstSecReader& a, String& t, uint8_t& length)
{
    String x;
    a.text(x);
    if (!a.good()) return;
    t = x;
    length = uint8_t(std::min<uint32_t>(uint32_t(x.length()), StStringConstantVal::MAX_LENGTH));
}
void stringText(StConstOsWriter& a, String& t, uint8_t&)
{
    a.num(uint32_t(t.length()));
    a.stream().write(t.chars(), t.length());
    a.blank();
}
void stringText(StConstIsReader& a, String& t, uint8_t& length)
{
    uint32_t n = 0;
    a.num(n);
    if (!a.good()) return;
    std::istream& is = a.stream();
    is.get();
    std::string s;
    char buf[4096];
    while (s.size() < n && is) {
        const size_t want = std::min<size_t>(sizeof(buf), n - s.size());
        is.read(buf, std::streamsize(want));
        s.append(buf, size_t(is.gcount()));
    }
    if (s.size() < n || s.size() > 0x7FFFFFF0u) {
        a.fail();
        return;
    }
    t = String(s.data(), int(s.size()));
    length = uint8_t(std::min<uint32_t>(n, StStringConstantVal::MAX_LENGTH));
}

}  // namespace

template <class A>
void StStringConstantVal::ioBody(A& a)
{
    stConstShared(a, m_shared);
    a.num(m_type);
    stringText(a, m_text, m_length);
    stConstPlace(a, *this);
}

template <class A>
void StStringConstantVal::ioValue(A& a)
{
    uint8_t length = m_length;
    a.num(length);
    String t = m_text;
    a.text(t);
    if constexpr (A::kReading) {
        if (!a.good()) return;
        m_text = t;
        m_length = uint8_t(std::min<uint32_t>(length, MAX_LENGTH));
    }
}

ST_CONST_BODIES(StStringConstantVal)

void StStringConstantVal::dumpValue(std::ostream& os) const { os << '\'' << m_text << '\''; }

void StStringConstantVal::dump(std::ostream& os) const
{
    os << "  StringConst: tid " << m_type << " HeadSpec: " << m_headSpec << "  l: " << unsigned(m_length) << ' ';
    dumpConstPlace(os);
    os << "\n   '" << m_text << '\'';
}

bool StStringConstantVal::isEqual(const StConstantVal& other) const
{
    if (other.getKind() != ST_CONST_STRING) return false;
    return compareTo(other) == 0;
}

int StStringConstantVal::compareTo(const StConstantVal& other) const
{
    if (int c = StConstantVal::compareTo(other)) return c;
    const auto& o = static_cast<const StStringConstantVal&>(other);
    if (int c = cmp3(m_type, o.m_type)) return c;
    if (m_headSpec != o.m_headSpec) return m_headSpec < o.m_headSpec ? -1 : 1;
    const size_t n = size_t(m_text.length()), on = size_t(o.m_text.length());
    if (int c = std::memcmp(m_text.chars(), o.m_text.chars(), std::min(n, on))) return c < 0 ? -1 : 1;
    if (int c = cmp3(n, on)) return c;
    return cmp3(m_length, o.m_length);
}

uint64_t StStringConstantVal::orderHash() const
{
    uint64_t h = stAddHash(StConstantVal::orderHash(), m_type);
    h = stAddHash(h, uint64_t(uint32_t(m_headSpec)) << 8 | m_length);
    const char* p = m_text.chars();
    const size_t n = size_t(m_text.length());
    h = stAddHash(h, n);
    for (size_t i = 0; i < n; i += 8) {
        uint64_t w = 0;
        std::memcpy(&w, p + i, std::min<size_t>(8, n - i));
        h = stAddHash(h, w);
    }
    return h;
}

// ---------------------------------------------------------------------------
// Integer array
// ---------------------------------------------------------------------------

StIntArrayConstantVal::StIntArrayConstantVal(uint32_t n, StConstantVal* element, uint32_t esize, bool shared)
    : StConstantVal(shared), m_elems(element ? n : 0), m_element(element), m_esize(esize)
{
}

StIntArrayConstantVal::StIntArrayConstantVal(const StIntArrayConstantVal& other)
    : StConstantVal(other), m_elems(other.m_elems), m_element(other.m_element ? other.m_element->clone() : nullptr),
      m_esize(other.m_esize)
{
}

StIntArrayConstantVal::~StIntArrayConstantVal() { delete m_element; }

int StIntArrayConstantVal::assign(const StConstantVal* source)
{
    if (!source || source->getKind() != ST_CONST_INTARRAY) return 1;
    const auto* o = static_cast<const StIntArrayConstantVal*>(source);
    if (!o->m_element || o->m_element->getTypeRef() != getTypeRef()) return 1;
    delete m_element;
    m_element = o->m_element->clone();
    m_elems = o->m_elems;
    m_esize = o->m_esize;
    return 0;
}

int StIntArrayConstantVal::writeImage(FsSecData& data, int32_t offset) const
{
    if (!m_element) return 2;
    const uint32_t t = m_element->getTypeId();
    if (m_element->getKind() == ST_CONST_STD && ((t >= 1 && t <= 15) || (t >= 17 && t <= 20)))
        return static_cast<const StStdConstantVal*>(m_element)->writeImageCount(data, offset, m_elems);
    for (uint32_t i = 0; i < m_elems; ++i)
        if (int r = m_element->writeImage(data, int32_t(uint32_t(offset) + m_esize * i))) return r;
    return 0;
}

template <class A>
void StIntArrayConstantVal::ioArray(A& a, bool body)
{
    int32_t n = int32_t(m_elems), esize = int32_t(m_esize);
    a.num(n);
    a.num(esize);
    if constexpr (!A::kReading) {
        if (!m_element || !m_elems) return;
        if (body) {
            writeNested<true>(a, m_element);
            a.blank();
        } else if constexpr (std::is_same_v<A, StConstSecWriter>) {
            writeNested<false>(a, m_element);
        }
    } else {
        if (!a.good()) return;
        delete m_element;
        m_element = nullptr;
        m_elems = 0;
        m_esize = uint32_t(esize);
        // A negative count, or one whose repetitions would reach past the
        // 32-bit address space of the image, comes from no writer: taken as
        // it stands it would make the image wrap its addresses and write
        // for billions of rounds.
        if (n < 0 || uint64_t(n) * std::max<uint32_t>(m_esize, 1) > 0xFFFFFFFFu) {
            a.fail();
            return;
        }
        m_elems = uint32_t(n);
        if (n == 0) return;
        if (body)
            m_element = readNested<true>(a);
        else if constexpr (std::is_same_v<A, StConstSecReader>)
            m_element = readNested<false>(a);
        if (!m_element) m_elems = 0;
    }
}

template <class A>
void StIntArrayConstantVal::ioBody(A& a)
{
    stConstShared(a, m_shared);
    ioArray(a, true);
    stConstPlace(a, *this);
}

template <class A>
void StIntArrayConstantVal::ioValue(A& a)
{
    ioArray(a, false);
}

ST_CONST_BODIES(StIntArrayConstantVal)

void StIntArrayConstantVal::dumpValue(std::ostream& os) const
{
    os << '[' << m_elems << " x ";
    dumpValueOrNull(os, m_element);
    os << ']';
}

void StIntArrayConstantVal::dumpArray(std::ostream& os) const
{
    os << " ( IntArrayConst: elems " << m_elems << "  esize " << m_esize << ' ';
    dumpConstPlace(os);
    dumpPlaceOrNull(os, m_element);
    os << ')';
}

void StIntArrayConstantVal::dump(std::ostream& os) const { dumpArray(os); }

bool StIntArrayConstantVal::isEqual(const StConstantVal& other) const
{
    if (other.getKind() != getKind() || !StConstantVal::isEqual(other)) return false;
    const auto& o = static_cast<const StIntArrayConstantVal&>(other);
    return m_elems == o.m_elems && constValEqual(m_element, o.m_element);
}

int StIntArrayConstantVal::compareTo(const StConstantVal& other) const
{
    if (int c = StConstantVal::compareTo(other)) return c;
    const auto& o = static_cast<const StIntArrayConstantVal&>(other);
    if (int c = cmp3(m_elems, o.m_elems)) return c;
    return constValCompare(m_element, o.m_element);
}

// The package-init value keeps this hash: what it compares beyond the
// array only splits values this hash already puts together.
uint64_t StIntArrayConstantVal::orderHash() const
{
    const uint64_t h = stAddHash(StConstantVal::orderHash(), m_elems);
    return stAddHash(h, m_element ? m_element->orderHash() : 0);
}

// ---------------------------------------------------------------------------
// Package init
// ---------------------------------------------------------------------------

void StPckInitConstantVal::setArray(uint32_t n, StConstantVal* element, uint32_t esize)
{
    delete m_element;
    m_element = element;
    m_elems = element ? n : 0;
    m_esize = esize;
}

int StPckInitConstantVal::assign(const StConstantVal* source)
{
    if (!source || source->getKind() != ST_CONST_PCKINIT) return 1;
    const auto* o = static_cast<const StPckInitConstantVal*>(source);
    const StTypeID mine = m_element ? m_element->getTypeRef() : ST_INVALID_TID;
    if (o->m_pckType != m_pckType || !o->m_element || o->m_element->getTypeRef() != mine) return 1;
    setArray(o->m_elems, o->m_element->clone(), o->m_esize);
    m_package = o->m_package;
    m_fct = o->m_fct;
    return 0;
}

int32_t StPckInitConstantVal::getPackageInit(StPackageId& package) const
{
    package = m_package;
    return m_fct;
}

template <class A>
void StPckInitConstantVal::ioPackage(A& a)
{
    a.guid(m_package.Guid);
    a.blank();
    a.num(m_package.Major);
    a.num(m_package.Minor);
    a.blank();
    a.num(m_fct);
}

template <class A>
void StPckInitConstantVal::ioBody(A& a)
{
    stConstShared(a, m_shared);
    ioArray(a, true);
    a.num(m_pckType);
    ioPackage(a);
    stConstPlace(a, *this);
}

template <class A>
void StPckInitConstantVal::ioValue(A& a)
{
    ioArray(a, false);
    // The value-only form carries 17 where the body has the Type; a reader
    // keeps what it finds there.
    uint32_t type = 17;
    a.num(type);
    if constexpr (A::kReading)
        if (a.good()) m_pckType = type;
    ioPackage(a);
}

ST_CONST_BODIES(StPckInitConstantVal)

void StPckInitConstantVal::dump(std::ostream& os) const
{
    os << " ( PCK-InitFunction: Package ";
    dumpPackage(os, m_package);
    os << " FCT " << m_fct << " Type " << m_pckType << " with base ";
    dumpArray(os);
    os << ')';
}

bool StPckInitConstantVal::isEqual(const StConstantVal& other) const
{
    if (!StIntArrayConstantVal::isEqual(other)) return false;
    return compareTo(other) == 0;
}

int StPckInitConstantVal::compareTo(const StConstantVal& other) const
{
    if (int c = StIntArrayConstantVal::compareTo(other)) return c;
    const auto& o = static_cast<const StPckInitConstantVal&>(other);
    if (int c = cmp3(m_pckType, o.m_pckType)) return c;
    uint8_t a[20], b[20];
    packageBytes(m_package, a);
    packageBytes(o.m_package, b);
    if (int c = std::memcmp(a, b, 20)) return c < 0 ? -1 : 1;
    return m_fct < o.m_fct ? -1 : m_fct > o.m_fct ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Constant element
// ---------------------------------------------------------------------------

StConstantElem::StConstantElem(const StConstantElem& other)
    : m_syId(other.m_syId), m_cid(other.m_cid), m_value(other.m_value ? other.m_value->clone() : nullptr),
      m_count(other.m_count)
{
}

void StConstantElem::setCID(StConstEntryID cid, bool deleteValue)
{
    m_cid = cid;
    if (deleteValue) delete m_value;
    m_value = nullptr;
    m_syId = ST_INVALID_SID;
}

void StConstantElem::dump(std::ostream& os) const
{
    if (m_syId.isValid()) os << " SyID: " << m_syId.get();
    if (m_cid.isValid()) os << " CID: " << m_cid.get();
    if (m_value) m_value->dump(os);
    os << " Count: " << m_count;
}
