// Tag objects with which a content handler can hold an ACX file in memory:
// number tags (CAcxDataTag), string tags (CAcxStringTag) and compound tags
// (CAcxCompoundTag) that hold their children in file order.
//
// Each tag knows its id, its parent and how large it is encoded:
// computeSize fills the encoded size (header plus payload; a compound sums
// its children first) and answers false for a tag no header form can hold
// (payload from 0x800000 bytes, id from 0x200000, type from 2048). write
// hands a computed tree to a CAcxTagWriterBase.
//
// Ownership: a compound tag with the owns-children flag (set when
// constructed) deletes its children with itself, so deleting a root deletes
// its tree, and becomes the parent of every tag it is given. With the flag
// cleared it is a view of tags that belong to another tree: it neither
// deletes them (deleteChildren only forgets them) nor changes their parent.
// A string tag owns its text buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "acx/AcxInterfaces.h"

class CAcxCompoundTagBase;

class CAcxTagBase {
public:
    CAcxTagBase() = default;
    CAcxTagBase(const CAcxTagBase&) = delete;
    CAcxTagBase& operator=(const CAcxTagBase&) = delete;
    virtual ~CAcxTagBase();

    // Encoded size = header size for (payload, id, type) + payload; false
    // (size unchanged) when no header form fits.
    virtual bool computeSize();
    // AcxTagType, or -1 for a leaf without a known kind.
    virtual int32_t getType() const = 0;
    virtual uint32_t getPayloadSize() const = 0;
    // AcxValueKind; -1 for compounds.
    virtual int32_t getValueKind() const = 0;
    // Hands the tag (a compound: with its children, after computeSize) to
    // the writer; false when the tag cannot write itself.
    virtual bool write(CAcxTagWriterBase& writer) = 0;

    uint32_t getId() const { return m_id; }
    void setId(uint32_t id) { m_id = id; }
    // The encoded size of the last computeSize; 0 before.
    uint32_t getSize() const { return m_size; }
    // The compound that holds the tag; null for a root.
    CAcxCompoundTagBase* getParent() const { return m_parent; }

    // 3 (short form), 7 (long form) or 0 (too large) bytes of tag header.
    static uint32_t headerSizeFor(uint32_t length, uint32_t id, uint32_t type);

protected:
    friend class CAcxCompoundTag;
    uint32_t m_size = 0;
    uint32_t m_id = 4;  // a new tag's id until one is set
    CAcxCompoundTagBase* m_parent = nullptr;
};

// A tag with a value kind.
class CAcxLeafTagBase : public CAcxTagBase {
public:
    // By kind: 1-4 signed (2), 5-8 unsigned (1), 9-10 real (4), 12 string (3), else -1.
    int32_t getType() const override;
    int32_t getValueKind() const override { return m_kind; }
    bool write(CAcxTagWriterBase& writer) override;
    // The payload bytes: a data tag's slot, a string tag's text (may be null).
    virtual const void* getData() const = 0;

protected:
    int32_t m_kind = AcxKindNone;
};

// A number: kind and the whole 8-byte slot.
class CAcxDataTag : public CAcxLeafTagBase {
public:
    explicit CAcxDataTag(uint32_t id = 4) { m_id = id; }
    // 1, 2, 4 or 8 bytes by kind; 0 without a number kind.
    uint32_t getPayloadSize() const override;
    const void* getData() const override { return m_slot; }

    // Kind and slot as the reader delivers them.
    void setValue(int32_t kind, const uint8_t* slot);
    void setKind(int32_t kind) { m_kind = kind; }
    void setI8(int8_t v) { set(AcxKindI8, &v, 1); }
    void setI16(int16_t v) { set(AcxKindI16, &v, 2); }
    void setI32(int32_t v) { set(AcxKindI32, &v, 4); }
    void setI64(int64_t v) { set(AcxKindI64, &v, 8); }
    void setU8(uint8_t v) { set(AcxKindU8, &v, 1); }
    void setU16(uint16_t v) { set(AcxKindU16, &v, 2); }
    void setU32(uint32_t v) { set(AcxKindU32, &v, 4); }
    void setU64(uint64_t v) { set(AcxKindU64, &v, 8); }
    void setReal32(float v) { set(AcxKindReal32, &v, 4); }
    void setReal64(double v) { set(AcxKindReal64, &v, 8); }

    // The slot read with the width of the kind: sign-extended for signed
    // kinds, zero-extended for unsigned ones; 0 for other kinds.
    int64_t getInteger() const;
    // A real kind's value; 0 for other kinds.
    double getReal() const;

private:
    void set(int32_t kind, const void* v, uint32_t n);
    uint8_t m_slot[8] = {};
};

// A string: kind 12 and an owned buffer of length + 2 bytes.
class CAcxStringTag : public CAcxLeafTagBase {
public:
    explicit CAcxStringTag(uint32_t id = 4) { m_id = id; m_kind = AcxKindString; }
    ~CAcxStringTag() override;
    uint32_t getPayloadSize() const override { return m_length; }
    const void* getData() const override { return m_text; }

    // Frees the old buffer; for size > 0 a new one of size + 2 bytes with
    // text length size. The buffer, or null (size 0, or out of memory, then
    // the length is 0).
    char* allocate(uint32_t size);
    // Frees the old buffer; for n > 0 and chars given, a copy of n bytes
    // followed by two 0 bytes.
    void setText(const char* chars, uint32_t n);
    // The text (0-terminated once filled), null when there is none.
    const char* getText() const { return m_text; }
    uint32_t getLength() const { return m_length; }

private:
    char* m_text = nullptr;
    uint32_t m_length = 0;
};

// A compound that only knows its payload size (no children of its own).
class CAcxCompoundSimple : public CAcxTagBase {
public:
    explicit CAcxCompoundSimple(uint32_t id = 4) { m_id = id; }
    int32_t getType() const override { return AcxTypeCompound; }
    uint32_t getPayloadSize() const override { return m_payload; }
    int32_t getValueKind() const override { return AcxKindNone; }
    bool write(CAcxTagWriterBase&) override { return false; }
    // The header alone, for a writer that writes the children itself.
    virtual bool beginWrite(CAcxTagWriterBase& writer);
    virtual bool endWrite(CAcxTagWriterBase& writer);
    virtual uint32_t setPayloadSize(uint32_t size) { return m_payload = size; }

protected:
    uint32_t m_payload = 0;
};

class CAcxCompoundTagBase : public CAcxCompoundSimple {
public:
    using CAcxCompoundSimple::CAcxCompoundSimple;
    // Puts the tag before all children (true); an owning compound becomes
    // its parent.
    virtual bool insertFirst(CAcxTagBase* tag) = 0;
    // Appends the tag (true); an owning compound becomes its parent.
    virtual bool addChild(CAcxTagBase* tag) = 0;
    // Iteration with the compound's cursor: false when there is no (further) child.
    virtual bool getFirst(CAcxTagBase*& tag) = 0;
    virtual bool getNext(CAcxTagBase*& tag) = 0;
    // Empties the list, destroying every child when the compound owns them.
    virtual void deleteChildren() = 0;
};

class CAcxCompoundTag : public CAcxCompoundTagBase {
public:
    explicit CAcxCompoundTag(uint32_t id = 4) : CAcxCompoundTagBase(id) {}
    ~CAcxCompoundTag() override;

    // The children's sizes first (false as soon as one fails), then the
    // payload as their sum.
    bool computeSize() override;
    bool write(CAcxTagWriterBase& writer) override;
    bool insertFirst(CAcxTagBase* tag) override;
    bool addChild(CAcxTagBase* tag) override;
    bool getFirst(CAcxTagBase*& tag) override;
    bool getNext(CAcxTagBase*& tag) override;
    void deleteChildren() override;

    // The last child (false when empty); leaves an iteration alone.
    bool getLast(CAcxTagBase*& tag) const;
    // False makes the compound a view (file comment); set before adding tags.
    void setOwnsChildren(bool owns) { m_owns = owns; }
    size_t childCount() const { return m_children.size(); }

private:
    void adopt(CAcxTagBase* tag);
    std::vector<CAcxTagBase*> m_children;
    size_t m_cursor = 0;
    bool m_owns = true;
};
