// Inner parts of the structured-storage implementation: the element tree
// kept in memory, the document that owns it and writes it back to its
// backing (a file or an ILockBytes), and the compound-file codec.
#pragma once
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/storage.h"

namespace tvp::stg {

// The mode bits an element or root opening knows; any other bit is an
// invalid flag.
constexpr DWORD kKnownModeBits = 0x3 | 0x70 | STGM_CREATE | STGM_CONVERT | STGM_TRANSACTED | STGM_PRIORITY |
                                 STGM_DELETEONRELEASE | STGM_NOSCRATCH | STGM_NOSNAPSHOT | STGM_SIMPLE |
                                 STGM_DIRECT_SWMR;

// True for a write or read-write access mode.
inline bool hasWrite(DWORD mode)
{
    DWORD a = mode & 3;
    return a == STGM_WRITE || a == STGM_READWRITE;
}

// Upper-case form of an element name, as the compound-file format compares
// names (one-to-one mapping of each UTF-16 unit).
std::u16string upperName(const std::u16string& name);

// Directory order of the compound-file format: shorter names first, then
// unit by unit on the upper-case form. Keys are upper-case names.
struct KeyLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const
    {
        if (a.size() != b.size()) return a.size() < b.size();
        return a < b;
    }
};

// The bytes of a stream or of lock bytes. Grows through realloc, so that a
// large content that grows at its end is moved by the system's page tables
// instead of being copied (and its new pages zeroed) at every growth.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer& other) { *this = other; }
    ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept
    {
        swap(other);
        return *this;
    }
    ~ByteBuffer() { std::free(data_); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    void clear() { size_ = 0; }
    // New bytes are zero. Throws std::bad_alloc.
    void resize(size_t n);
    // Appends n bytes (which must not lie in this buffer). Throws std::bad_alloc.
    void append(const uint8_t* p, size_t n);
    void swap(ByteBuffer& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

private:
    // Room for at least n bytes, growing by half again at least.
    void reserveFor(size_t n);

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

struct Node;
using NodePtr = std::shared_ptr<Node>;

// One element: a storage (children) or a stream (data).
struct Node {
    std::u16string name;
    bool storage = false;
    CLSID clsid{};
    DWORD stateBits = 0;
    FILETIME ctime{};
    FILETIME mtime{};
    FILETIME atime{};
    ByteBuffer data;                                    // stream bytes
    std::map<std::u16string, NodePtr, KeyLess> children;  // key: upperName(name)
    uint32_t openCount = 0;  // live interface objects on this element
    bool removed = false;    // destroyed or replaced; its objects are reverted
};

// Marks a node and everything below it as removed.
void markRemoved(Node& n);
// True when the node or anything below it is open.
bool anyOpen(const Node& n);
// Deep copy (not open, not removed).
NodePtr cloneTree(const Node& n);

// The medium a document is written to.
class Backing {
public:
    virtual ~Backing() = default;
    // Replaces the whole content by the compound file holding the tree
    // below root.
    virtual HRESULT write(const Node& root, DWORD commitFlags) = 0;
    // Ends the use of the medium (unlock, delete on release, release).
    virtual void close() = 0;
};

// The tree of one compound file while its root storage is open.
struct Document {
    NodePtr root;
    std::unique_ptr<Backing> backing;
    std::u16string rootName;  // what Stat of the root reports
    bool writable = false;
    bool deleteOnRelease = false;
    bool dirty = false;
    bool closed = false;

    // Writes the tree when writable and changed.
    HRESULT flush(DWORD commitFlags);
    // Called at the final Release of the root: flushes (unless the medium
    // is to be deleted), closes the medium and reverts every open object.
    void closeRoot();
};
using DocumentPtr = std::shared_ptr<Document>;

// A new root storage object over a document (reference count 1).
IStorage* newRootStorage(const DocumentPtr& doc, DWORD mode);

// Interface ids under which the objects of this implementation hand out
// themselves (with a reference), so that copies between them can work on
// the trees directly.
inline constexpr IID IID_TvStorageImpl = {0xB265B0E1, 0xF5A8, 0x43C3, {0x96, 0x37, 0x24, 0x74, 0xFD, 0x89, 0xB3, 0x6D}};
inline constexpr IID IID_TvStreamImpl = {0x5A890869, 0x4A9F, 0x4AC4, {0x86, 0xC0, 0x54, 0x4D, 0x1F, 0x53, 0x61, 0x81}};
inline constexpr IID IID_TvGlobalStream = {0x84BB0AF5, 0x7F70, 0x4F5C, {0xA5, 0x43, 0xD4, 0x64, 0x4D, 0xFC, 0x6B, 0x77}};
inline constexpr IID IID_TvGlobalLockBytes = {0x84BB0AF5, 0x7F70, 0x4F5C, {0xA5, 0x43, 0xD4, 0x64, 0x4D, 0xFC, 0x6B, 0x78}};

// Reference count and interface lookup of the objects handed out here:
// Object derives from this (with "friend Base;" when its destructor is
// private) and answers IID_IUnknown and Ids with itself as Interface (with a
// reference). The last Release deletes the object.
template <class Object, class Interface, const IID&... Ids>
class RefCounted : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || ((riid == Ids) || ...)) {
            *ppv = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG n = --refs_;
        if (n == 0) delete static_cast<Object*>(this);
        return n;
    }

protected:
    using Base = RefCounted;
    std::atomic<ULONG> refs_{1};
};

// --- bytes of streams and lock bytes ------------------------------------------

// Largest content of a stream or of lock bytes.
inline constexpr uint64_t kMaxContentSize = 0xFFFFFFFFull;

// Copies up to cb bytes from pos (none from pos at or past the end); returns
// how many.
ULONG readContent(const ByteBuffer& d, uint64_t pos, void* pv, ULONG cb);
// Writes cb bytes at pos, growing d with zeros up to pos; pv may point into d.
// STG_E_MEDIUMFULL when the end would pass kMaxContentSize or memory runs out.
HRESULT writeContent(ByteBuffer& d, uint64_t pos, const void* pv, ULONG cb);
// STG_E_MEDIUMFULL past kMaxContentSize or when memory runs out.
HRESULT resizeContent(ByteBuffer& d, uint64_t size);
// The position a Seek asks for from pos in content of size bytes;
// STG_E_INVALIDFUNCTION for an unknown origin or a target outside [0, limit].
HRESULT seekTarget(uint64_t pos, uint64_t size, LARGE_INTEGER move, DWORD origin, uint64_t limit,
                   uint64_t& target);
// Writes n bytes to target in pieces of 1 GiB, stopping at a failure or a
// short write; written tells how many it took.
HRESULT writeAllTo(IStream* target, const uint8_t* src, uint64_t n, uint64_t& written);

// Fills a STATSTG name field (task memory); STG_E_INSUFFICIENTMEMORY on failure.
HRESULT copyName(const std::u16string& name, LPOLESTR* out);

// --- compound-file codec -----------------------------------------------------

// Checks the fixed header: S_OK for a plausible compound-file header,
// S_FALSE when the bytes do not start with the compound-file signature,
// STG_E_INVALIDHEADER for a header that has it but is damaged or short.
HRESULT checkHeader(const uint8_t* data, size_t size);

// Checks that the sector chains and the directory tree of a compound file
// (whose header checkHeader accepts) account for everything it holds:
// every directory entry in use is reached from the root once, every stream's
// chain covers its size without a loop and inside the file, and no sector
// serves two chains. STG_E_DOCFILECORRUPT otherwise.
HRESULT checkStructure(const uint8_t* data, size_t size);

// Parses a whole compound file into root (a storage node). Errors:
// STG_E_FILEALREADYEXISTS (not a compound file), STG_E_INVALIDHEADER,
// STG_E_DOCFILECORRUPT.
HRESULT decode(const uint8_t* data, size_t size, Node& root);

// The bytes of a compound file holding the tree below root.
class Encoded {
public:
    Encoded() = default;
    ~Encoded();
    Encoded(const Encoded&) = delete;
    Encoded& operator=(const Encoded&) = delete;
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    friend HRESULT encode(const Node& root, Encoded& out);
// Writes the compound file holding the tree below root into f from its
// start, as it is encoded, without holding the whole file in memory; f is
// flushed, not closed. size receives the bytes of the file.
HRESULT encodeTo(const Node& root, std::FILE* f, uint64_t& size);
    void* holder_ = nullptr;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
HRESULT encode(const Node& root, Encoded& out);
// Writes the compound file holding the tree below root into f from its
// start, as it is encoded, without holding the whole file in memory; f is
// flushed, not closed. size receives the bytes of the file.
HRESULT encodeTo(const Node& root, std::FILE* f, uint64_t& size);

// --- text helpers ------------------------------------------------------------

std::string toUtf8(const std::u16string& s);
// False when s is not valid UTF-8.
bool fromUtf8(const char* s, std::u16string& out);

}  // namespace tvp::stg
