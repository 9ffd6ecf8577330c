// Tag objects of an ACX file held in memory.
#include "acx/AcxTag.h"

#include <cstring>
#include <new>

CAcxContentHandlerBase::~CAcxContentHandlerBase() = default;
CAcxErrorHandlerBase::~CAcxErrorHandlerBase() = default;
CAcxDigestBase::~CAcxDigestBase() = default;
CAcxTagWriterBase::~CAcxTagWriterBase() = default;

CAcxTagBase::~CAcxTagBase() = default;

uint32_t CAcxTagBase::headerSizeFor(uint32_t length, uint32_t id, uint32_t type)
{
    if (length < 0x80 && id < 0x2000 && type < 8) return 3;
    if (length < 0x800000 && id < 0x200000 && type < 0x800) return 7;
    return 0;
}

bool CAcxTagBase::computeSize()
{
    const int32_t type = getType();
    if (type < 0) return false;
    const uint32_t payload = getPayloadSize();
    const uint32_t header = headerSizeFor(payload, m_id, uint32_t(type));
    if (header == 0) return false;
    m_size = header + payload;
    return true;
}

// --- leaves -----------------------------------------------------------------

int32_t CAcxLeafTagBase::getType() const
{
    if (m_kind >= AcxKindI8 && m_kind <= AcxKindI64) return AcxTypeSigned;
    if (m_kind >= AcxKindU8 && m_kind <= AcxKindU64) return AcxTypeUnsigned;
    if (m_kind == AcxKindReal32 || m_kind == AcxKindReal64) return AcxTypeReal;
    if (m_kind == AcxKindString) return AcxTypeString;
    return -1;
}

bool CAcxLeafTagBase::write(CAcxTagWriterBase& writer)
{
    const uint32_t payload = getPayloadSize();
    writer.beginTag(m_id, uint16_t(getType()), payload);
    writer.value(m_kind, getData(), payload);
    writer.endTag();
    return true;
}

uint32_t CAcxDataTag::getPayloadSize() const
{
    switch (m_kind) {
    case AcxKindI8: case AcxKindU8: return 1;
    case AcxKindI16: case AcxKindU16: return 2;
    case AcxKindI32: case AcxKindU32: case AcxKindReal32: return 4;
    case AcxKindI64: case AcxKindU64: case AcxKindReal64: return 8;
    default: return 0;
    }
}

void CAcxDataTag::setValue(int32_t kind, const uint8_t* slot)
{
    m_kind = kind;
    if (slot) std::memcpy(m_slot, slot, sizeof m_slot);
}

void CAcxDataTag::set(int32_t kind, const void* v, uint32_t n)
{
    std::memset(m_slot, 0, sizeof m_slot);
    std::memcpy(m_slot, v, n);
    m_kind = kind;
}

int64_t CAcxDataTag::getInteger() const
{
    int8_t i8; int16_t i16; int32_t i32; int64_t i64;
    uint8_t u8; uint16_t u16; uint32_t u32; uint64_t u64;
    switch (m_kind) {
    case AcxKindI8: std::memcpy(&i8, m_slot, 1); return i8;
    case AcxKindI16: std::memcpy(&i16, m_slot, 2); return i16;
    case AcxKindI32: std::memcpy(&i32, m_slot, 4); return i32;
    case AcxKindI64: std::memcpy(&i64, m_slot, 8); return i64;
    case AcxKindU8: std::memcpy(&u8, m_slot, 1); return u8;
    case AcxKindU16: std::memcpy(&u16, m_slot, 2); return u16;
    case AcxKindU32: std::memcpy(&u32, m_slot, 4); return u32;
    case AcxKindU64: std::memcpy(&u64, m_slot, 8); return int64_t(u64);
    default: return 0;
    }
}

double CAcxDataTag::getReal() const
{
    if (m_kind == AcxKindReal32) {
        float f;
        std::memcpy(&f, m_slot, 4);
        return f;
    }
    if (m_kind == AcxKindReal64) {
        double d;
        std::memcpy(&d, m_slot, 8);
        return d;
    }
    return 0;
}

CAcxStringTag::~CAcxStringTag()
{
    delete[] m_text;
}

char* CAcxStringTag::allocate(uint32_t size)
{
    delete[] m_text;
    m_text = nullptr;
    m_length = 0;
    if (size == 0) return nullptr;
    m_text = new (std::nothrow) char[size_t(size) + 2];
    if (!m_text) return nullptr;
    m_text[0] = m_text[size] = m_text[size + 1] = 0;
    m_length = size;
    return m_text;
}

void CAcxStringTag::setText(const char* chars, uint32_t n)
{
    if (!chars) n = 0;
    if (char* buf = allocate(n)) std::memcpy(buf, chars, n);
}

// --- compounds --------------------------------------------------------------

bool CAcxCompoundSimple::beginWrite(CAcxTagWriterBase& writer)
{
    writer.beginTag(m_id, uint16_t(getType()), getPayloadSize());
    return true;
}

bool CAcxCompoundSimple::endWrite(CAcxTagWriterBase& writer)
{
    writer.endTag();
    return true;
}

CAcxCompoundTag::~CAcxCompoundTag()
{
    if (m_owns) deleteChildren();
}

bool CAcxCompoundTag::computeSize()
{
    uint64_t payload = 0;
    for (CAcxTagBase* child : m_children) {
        if (!child->computeSize()) return false;
        payload += child->getSize();
    }
    if (payload >= 0x800000) return false;
    m_payload = uint32_t(payload);
    return CAcxTagBase::computeSize();
}

bool CAcxCompoundTag::write(CAcxTagWriterBase& writer)
{
    writer.beginTag(m_id, AcxTypeCompound, m_payload);
    for (CAcxTagBase* child : m_children)
        if (!child->write(writer)) return false;
    writer.endTag();
    return true;
}

void CAcxCompoundTag::adopt(CAcxTagBase* tag)
{
    // A view holds tags of another tree: they keep their parent there, which
    // outlives the view.
    if (m_owns) tag->m_parent = this;
}

bool CAcxCompoundTag::insertFirst(CAcxTagBase* tag)
{
    if (!tag) return false;
    m_children.insert(m_children.begin(), tag);
    adopt(tag);
    return true;
}

bool CAcxCompoundTag::addChild(CAcxTagBase* tag)
{
    if (!tag) return false;
    m_children.push_back(tag);
    adopt(tag);
    return true;
}

bool CAcxCompoundTag::getFirst(CAcxTagBase*& tag)
{
    m_cursor = 0;
    if (m_children.empty()) return false;
    tag = m_children[0];
    return true;
}

bool CAcxCompoundTag::getNext(CAcxTagBase*& tag)
{
    if (m_cursor + 1 >= m_children.size()) {
        m_cursor = m_children.size();
        return false;
    }
    tag = m_children[++m_cursor];
    return true;
}

bool CAcxCompoundTag::getLast(CAcxTagBase*& tag) const
{
    if (m_children.empty()) return false;
    tag = m_children.back();
    return true;
}

void CAcxCompoundTag::deleteChildren()
{
    if (m_owns)
        for (CAcxTagBase* child : m_children) delete child;
    m_children.clear();
    m_cursor = 0;
}
