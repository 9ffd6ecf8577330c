// Composite constants: structure values (member values in declaration
// order), string values (a typed text and its length), integer-array values
// (one element repeated n times, the form of an array initialiser) and
// package-init values (an integer array that also names the initialisation
// function of a technology package); and StConstantElem, the element record
// with which the symbol table binds values to types.
//
// Every composite owns its nested values; members and elements may be null
// (comparison, image and layout skip them, the dump prints "NULL", the
// written forms leave them out). Orders: by TID (string: TID, HeadSpec,
// text, length; integer array: n, element; package init: the integer-array
// order, Type, the 20 package bytes, FCT); a shorter member list that
// agrees with a longer one sorts first.
//
// Readers of nested values fail the stream at a kind they cannot create.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "base/st/stsymtab/StConstantVal.h"

// Allocator of the member arrays of structure values: arrays of up to 120
// bytes come from the global pools, larger ones from the heap. A compile
// makes and frees a structure value per function; on the heap their small
// arrays pile up as free chunks that the next large request must merge.
template <class T>
struct StPooledArrayAlloc {
    using value_type = T;
    StPooledArrayAlloc() noexcept = default;
    template <class U>
    StPooledArrayAlloc(const StPooledArrayAlloc<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(CAllocPoolImpl::allocateFrom(tvfalloc::poolForSize(n * sizeof(T)), n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        CAllocPoolImpl::deallocateTo(tvfalloc::poolForSize(n * sizeof(T)), p);
    }
    template <class U>
    bool operator==(const StPooledArrayAlloc<U>&) const noexcept
    {
        return true;
    }
    template <class U>
    bool operator!=(const StPooledArrayAlloc<U>&) const noexcept
    {
        return false;
    }
};

// The members of a structure value; the vector itself comes from the pool
// of its size as well (always deleted as this class).
class StConstValVector : public std::vector<StConstantVal*, StPooledArrayAlloc<StConstantVal*>> {
public:
    using std::vector<StConstantVal*, StPooledArrayAlloc<StConstantVal*>>::vector;

    static void* operator new(std::size_t size)
    {
        return CAllocPoolImpl::allocateFrom(tvfalloc::poolForSize(size), size);
    }
    static void operator delete(void* p, std::size_t size)
    {
        if (p) CAllocPoolImpl::deallocateTo(tvfalloc::poolForSize(size), p);
    }
};

class StStructConstantVal : public StConstantVal {
public:
    // Shared, no TID, no members.
    StStructConstantVal();
    // Takes the vector (the caller's pointer is nulled).
    StStructConstantVal(StTypeID tid, StConstValVector*& members, bool shared = true);
    StStructConstantVal(const StStructConstantVal& other);
    StStructConstantVal(const StStructConstantVal& other, bool shared);
    ~StStructConstantVal() override;

    StConstValKind getKind() const override { return ST_CONST_STRUCT; }
    StConstantVal* cloneShared(bool shared) const override { return new StStructConstantVal(*this, shared); }
    StConstantVal* clone() const override { return new StStructConstantVal(*this); }
    // 1 not a structure, 2 another TID or member count; members pairwise.
    int assign(const StConstantVal* source) override;
    bool isDefault() const override;
    bool hasSingleElement() const override { return m_members && m_members->size() == 1; }
    StTypeID getTypeRef() const override { return m_type; }
    void setTypeRef(StTypeID tid) override { m_type = tid; }
    StConstantVal* firstElement() const override;
    void nextElement(StConstantVal*& e) const override;
    // Member i, integer-array members counting as their n repetitions.
    StConstantVal* elementAt(uint32_t index) const override;
    StConstRange elementRange() const override;
    uint32_t elementCount() const override;
    // Every member at the same offset; the first failure; 2 without members.
    int writeImage(FsSecData& data, int32_t offset) const override;
    ST_CONST_DECLARE_BODIES
    void dumpValue(std::ostream& os) const override;
    bool isEqual(const StConstantVal& other) const override;
    int compareTo(const StConstantVal& other) const override;
    uint64_t orderHash() const override;
    void dump(std::ostream& os) const override;

    // The member vector (may be null).
    const StConstValVector* members() const { return m_members.get(); }
    // Appends a member (taken over) and recomputes the flat count.
    void addMember(StConstantVal* member);


private:
    template <class A>
    void ioMembers(A& a, bool body);
    void computeFlatCount();
    void deleteMembers();

    uint32_t m_flat = 0;
    StTypeID m_type = ST_INVALID_TID;
    std::unique_ptr<StConstValVector> m_members;
};

class StStringConstantVal : public StConstantVal {
public:
    static constexpr uint32_t MAX_LENGTH = 254;

    // Shared, empty, HeadSpec 10 (USINT header fields).
    StStringConstantVal() = default;
    // status is set to 0.
    StStringConstantVal(StTypeID tid, const String& text, uint8_t length, int& status);
    StStringConstantVal(const StStringConstantVal&) = default;
    StStringConstantVal(const StStringConstantVal& other, bool shared) : StStringConstantVal(other) { m_shared = shared; }

    StConstValKind getKind() const override { return ST_CONST_STRING; }
    StConstantVal* cloneShared(bool shared) const override { return new StStringConstantVal(*this, shared); }
    StConstantVal* clone() const override { return new StStringConstantVal(*this); }
    int assign(const StConstantVal* source) override;
    bool isDefault() const override { return m_text.length() == 0; }
    StTypeID getTypeRef() const override { return m_type; }
    void setTypeRef(StTypeID tid) override { m_type = tid; }
    void getText(String& text, uint8_t& length) const override;
    int32_t getTextLength() const override { return m_length; }
    int32_t getHeadSpec() const override { return m_headSpec; }
    // Two header fields of type HeadSpec holding the length, then one byte
    // per character up to the length; 1 when a write failed.
    int writeImage(FsSecData& data, int32_t offset) const override;
    ST_CONST_DECLARE_BODIES
    void dumpValue(std::ostream& os) const override;
    bool isEqual(const StConstantVal& other) const override;
    int compareTo(const StConstantVal& other) const override;
    uint64_t orderHash() const override;
    void dump(std::ostream& os) const override;

    // False (nothing changed) for more than 254 characters.
    bool setText(const String& text);
    void setHeadSpec(int32_t headSpec) { m_headSpec = headSpec; }


private:
    StTypeID m_type = ST_INVALID_TID;
    String m_text;
    uint8_t m_length = 0;
    int32_t m_headSpec = 10;
};

class StIntArrayConstantVal : public StConstantVal {
public:
    StIntArrayConstantVal() = default;
    // Takes the element; n becomes 0 without one.
    StIntArrayConstantVal(uint32_t n, StConstantVal* element, uint32_t esize, bool shared);
    StIntArrayConstantVal(const StIntArrayConstantVal& other);
    StIntArrayConstantVal(const StIntArrayConstantVal& other, bool shared) : StIntArrayConstantVal(other) { m_shared = shared; }
    ~StIntArrayConstantVal() override;

    StConstValKind getKind() const override { return ST_CONST_INTARRAY; }
    StConstantVal* cloneShared(bool shared) const override { return new StIntArrayConstantVal(*this, shared); }
    StConstantVal* clone() const override { return new StIntArrayConstantVal(*this); }
    int assign(const StConstantVal* source) override;
    bool isDefault() const override { return !m_element || m_element->isDefault(); }
    StTypeID getTypeRef() const override { return m_element ? m_element->getTypeRef() : ST_INVALID_TID; }
    StConstantVal* firstElement() const override { return m_element; }
    StConstRange elementRange() const override { return {&m_element, &m_element + 1}; }
    uint32_t elementCount() const override { return m_elems; }
    // Elementary scalar element: one record with repeat count n; otherwise
    // the element's image n times, esize apart; 2 without element.
    int writeImage(FsSecData& data, int32_t offset) const override;
    ST_CONST_DECLARE_BODIES
    void dumpValue(std::ostream& os) const override;
    bool isEqual(const StConstantVal& other) const override;
    int compareTo(const StConstantVal& other) const override;
    uint64_t orderHash() const override;
    void dump(std::ostream& os) const override;

    uint32_t getElems() const { return m_elems; }
    uint32_t getESize() const { return m_esize; }


protected:
    template <class A>
    void ioArray(A& a, bool body);
    // " ( IntArrayConst: elems .. esize .. <place> <element place>)"
    void dumpArray(std::ostream& os) const;

    uint32_t m_elems = 0;
    StConstantVal* m_element = nullptr;
    uint32_t m_esize = 0;
};

class StPckInitConstantVal : public StIntArrayConstantVal {
public:
    // Invalid Type and package, FCT 0x7FFFFFFF.
    StPckInitConstantVal() { m_package = kInvalidVersionStamp; }
    StPckInitConstantVal(const StPckInitConstantVal&) = default;
    StPckInitConstantVal(const StPckInitConstantVal& other, bool shared) : StPckInitConstantVal(other) { m_shared = shared; }

    StConstValKind getKind() const override { return ST_CONST_PCKINIT; }
    StConstantVal* cloneShared(bool shared) const override { return new StPckInitConstantVal(*this, shared); }
    StConstantVal* clone() const override { return new StPckInitConstantVal(*this); }
    int assign(const StConstantVal* source) override;
    int32_t getPackageInit(StPackageId& package) const override;
    StTypeID getTypeRef() const override { return m_pckType; }
    ST_CONST_DECLARE_BODIES
    bool isEqual(const StConstantVal& other) const override;
    int compareTo(const StConstantVal& other) const override;
    void dump(std::ostream& os) const override;

    void setPackageInit(StTypeID type, const StPackageId& package, int32_t fct)
    {
        m_pckType = type;
        m_package = package;
        m_fct = fct;
    }
    void setArray(uint32_t n, StConstantVal* element, uint32_t esize);


private:
    template <class A>
    void ioPackage(A& a);

    StTypeID m_pckType = ST_INVALID_TID;
    StPackageId m_package;
    int32_t m_fct = 0x7FFFFFFF;
};

// Element record of a value bound to a type: a symbol reference (SyID) or a
// constant id (CID, meaningful only while the SyID is invalid), an owned
// nested value and a repeat count.
class StConstantElem {
public:
    StConstantElem(const StConstantElem& other);
    StConstantElem& operator=(const StConstantElem&) = delete;
    // No value, count 1.
    StConstantElem(StConstEntryID cid, StSymbEntryID syId) : m_syId(syId), m_cid(cid) {}
    // Takes the value; invalid SyID and CID, count 1.
    explicit StConstantElem(StConstantVal* value) : m_value(value) {}
    virtual ~StConstantElem() { delete m_value; }

    // Stores the CID, drops the value (deleting it when asked; otherwise the
    // caller owns it) and clears the SyID.
    void setCID(StConstEntryID cid, bool deleteValue);
    void clearSyID() { m_syId = ST_INVALID_SID; }
    // Names a symbol again (after setCID, which clears it).
    void setSyID(StSymbEntryID sid) { m_syId = sid; }
    StSymbEntryID getSyID() const { return m_syId; }
    // The invalid CID while a SyID is set.
    StConstEntryID getCID() const { return m_syId.isValid() ? ST_INVALID_CID : m_cid; }
    StConstantVal* getValue() const { return m_value; }
    // Hands the value over (the element keeps none).
    StConstantVal* releaseValue()
    {
        StConstantVal* v = m_value;
        m_value = nullptr;
        return v;
    }
    int32_t getCount() const { return m_count; }
    void setCount(int32_t count) { m_count = count; }
    // " SyID: <id>" and " CID: <id>" when valid, the value's place dump,
    // " Count: <count>".
    void dump(std::ostream& os) const;

private:
    StSymbEntryID m_syId = ST_INVALID_SID;
    StConstEntryID m_cid = ST_INVALID_CID;
    StConstantVal* m_value = nullptr;
    int32_t m_count = 1;
};
