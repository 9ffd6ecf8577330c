// Inner parts of the structured-storage implementation: the element tree
// kept in memory, the document that owns it and writes it back to its
// backing (a file or an ILockBytes), and the compound-file codec.
#pragma once
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <algorithm>
#include <new>
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

// The bytes of a stream or of lock bytes. In memory they grow through
// realloc, so that a large content that grows at its end is moved by the
// system's page tables instead of being copied (and its new pages zeroed) at
// every growth.
//
// A spillable buffer (the streams of compound files) moves its bytes into a
// temporary file of its own when it grows past the spill threshold while
// the spillable buffers together hold more memory than the spill budget:
// the file is unlinked at once and read back with pread, so the content lies
// in the system's page cache instead of the process's memory. Small
// compound files stay wholly in memory; large ones use memory up to the
// budget. Where no spill file can be made or filled, the bytes stay in
// memory. Appends to a spilled content gather in memory (up to 256 KiB, not
// counted in the budget) until they fill that piece, the content is written
// elsewhere, or settle is called. Memory blocks (HGLOBAL)
// never spill: their address is handed out.
//
// A large stream of a compound file opened from disk stays where it lies in
// that file (a region of it, see adoptRegion) until it is written: its bytes
// are read with pread like a spilled content, and the first write copies
// them into a spill file of the buffer's own.
// An open spill file, closed with its last owner; counted in `open` while
// it lives. A file that is not the buffers' own (an opened compound file)
// is never written through them.
struct SpillFile {
    SpillFile(int f, std::atomic<int>& open, bool own = true);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;
    int fd;
    std::atomic<int>* count;
    bool own;
};

// A new, already unlinked spill file in TMPDIR (else /tmp); -1 when none can
// be made.
int openSpillFile();
// Copies n bytes of one file from offset from into another at offset 0;
// false (errno set) on failure.
bool copyFileBytes(int from, uint64_t fromOffset, int to, uint64_t n);

class ByteBuffer {
public:
    enum Kind { MemoryOnly, Spillable };

    ByteBuffer() = default;
    explicit ByteBuffer(Kind kind) : spillable_(kind == Spillable) {}
    // A copy is spillable when this buffer is; a spilled content shares its
    // file with the copy until either writes. Throw std::bad_alloc.
    ByteBuffer(const ByteBuffer& other) : spillable_(other.spillable_) { *this = other; }
    ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept
    {
        swap(other);
        return *this;
    }
    ~ByteBuffer() { release(); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool spilled() const { return file_ != nullptr; }
    // The bytes in memory; null once spilled (a spilled content is reached
    // through readAt / forEachChunk only).
    uint8_t* data() { return spilled() ? nullptr : data_; }
    const uint8_t* data() const { return spilled() ? nullptr : data_; }
    // Size 0; a spilled content goes back to memory (its file is closed).
    void clear();
    // New bytes are zero. Throws std::bad_alloc; STG_E_* through setSize.
    void resize(size_t n);
    // Appends n bytes (which must not lie in this buffer). Throws std::bad_alloc.
    void append(const uint8_t* p, size_t n);
    void swap(ByteBuffer& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        file_.swap(other.file_);
        std::swap(spillable_, other.spillable_);
        std::swap(noSpill_, other.noSpill_);
        std::swap(held_, other.held_);
        std::swap(account_, other.account_);
        std::swap(tail_, other.tail_);
        std::swap(tailLen_, other.tailLen_);
        std::swap(base_, other.base_);
    }
    // Makes the content the n bytes at offset of file (a file that is not
    // the buffer's own), dropping what it held.
    void adoptRegion(std::shared_ptr<SpillFile> file, uint64_t offset, size_t n);
    // Writes the gathered end of a spilled content to its file and frees
    // its memory (when the content's writer is done). STG_E_MEDIUMFULL when
    // the disk cannot take it; the bytes are then kept in memory.
    HRESULT settle();

    // Copies up to n bytes from pos (none from pos at or past the end) into
    // dst; got tells how many. STG_E_READFAULT when a spilled content cannot
    // be read back.
    HRESULT readAt(uint64_t pos, void* dst, size_t n, size_t& got) const;
    // Writes n bytes at pos, growing with zeros up to pos; src must not lie
    // in this buffer. STG_E_MEDIUMFULL when memory or the spill file's disk
    // runs out (the content is as it was, or grown with zeros).
    HRESULT writeAt(uint64_t pos, const void* src, size_t n);
    // Truncates or grows with zeros; STG_E_MEDIUMFULL as writeAt.
    HRESULT setSize(uint64_t n);
    // Makes room for a content of n bytes that is about to be written
    // (spilling first where the budget says so); STG_E_MEDIUMFULL as writeAt.
    HRESULT reserve(uint64_t n);
    // Hands the content out in order, in pieces (in place when in memory):
    // f(const uint8_t*, size_t) returns false to stop, which makes the
    // result S_FALSE. STG_E_READFAULT when a spilled content cannot be read.
    template <class F>
    HRESULT forEachChunk(F&& f) const;

private:
    // Room for at least n bytes, growing by half again at least.
    void reserveFor(size_t n);
    // The content in memory has grown to n bytes.
    void grownTo(size_t n);
    // Frees the memory and closes the file.
    void release() noexcept;
    void freeMemory() noexcept;
    // Moves an in-memory content that is to reach `want` bytes into a spill
    // file when it is spillable and large enough; stays in memory (and stops
    // trying) when that fails.
    void maybeSpill(uint64_t want);
    // Reads a piece of a spilled content.
    HRESULT readSpilled(uint64_t pos, void* dst, size_t n) const;
    // Makes the spill file this buffer's own before it writes to it (a
    // copy of the shared one); false when no file can be had.
    bool ownFile();
    // Writes the gathered end to the file (kept on failure); freeIt frees
    // its memory.
    HRESULT flushTail(bool freeIt);

    static constexpr size_t kTailSize = size_t(256) << 10;

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    // The spill file, shared with copies until one of them writes.
    std::shared_ptr<SpillFile> file_;
    bool spillable_ = false;
    bool noSpill_ = false;  // a spill file could not be made or filled
    size_t held_ = 0;       // counted in the budget: the most held in memory
    std::atomic<size_t>* account_ = nullptr;  // the budget held_ is counted in
    // The end of a spilled content, [size_ - tailLen_, size_), not yet in
    // the file.
    uint8_t* tail_ = nullptr;
    size_t tailLen_ = 0;
    // Where the content starts in file_ (0 but for a region of a file that
    // is not the buffer's own).
    uint64_t base_ = 0;
};

// The spill threshold, budget and the most spill files open at once (tests
// set small values; 0 restores the default of each: 256 KiB, 96 MiB and 256
// files). The budget and the file count are those of this copy of the
// layer: a program and a library it loads that both link it have one each.
// Past the file count new contents stay in memory; a copy that writes to a
// shared spill file still gets a file of its own. A process starts with those of the
// environment variable TV_STORAGE_SPILL ("threshold,budget", in bytes) when
// it is set, so that whole runs can be checked with every stream spilled.
void setSpillLimits(size_t threshold, size_t budget, int files = 0);
// The spill threshold now in force.
size_t spillThreshold();
// Memory held now by the spillable buffers that are in memory.
size_t spillableBytesInMemory();

template <class F>
HRESULT ByteBuffer::forEachChunk(F&& f) const
{
    if (!spilled()) {
        if (size_ && !f(static_cast<const uint8_t*>(data_), size_)) return S_FALSE;
        return S_OK;
    }
    constexpr size_t kPiece = size_t(1) << 20;
    std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kPiece]);
    if (!piece) return STG_E_INSUFFICIENTMEMORY;
    for (uint64_t pos = 0; pos < size_;) {
        const size_t n = size_t(std::min<uint64_t>(kPiece, size_ - pos));
        if (HRESULT hr = readSpilled(pos, piece.get(), n); FAILED(hr)) return hr;
        if (!f(static_cast<const uint8_t*>(piece.get()), n)) return S_FALSE;
        pos += n;
    }
    return S_OK;
}

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
    ByteBuffer data{ByteBuffer::Spillable};             // stream bytes
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

// Copies up to cb bytes from pos (none from pos at or past the end); got
// tells how many. STG_E_READFAULT when a spilled content cannot be read.
HRESULT readContent(const ByteBuffer& d, uint64_t pos, void* pv, ULONG cb, ULONG& got);
// Writes cb bytes at pos, growing d with zeros up to pos; pv may point into d.
// STG_E_MEDIUMFULL when the end would pass kMaxContentSize or memory or the
// spill file's disk runs out.
HRESULT writeContent(ByteBuffer& d, uint64_t pos, const void* pv, ULONG cb);
// STG_E_MEDIUMFULL past kMaxContentSize or when memory or disk runs out.
HRESULT resizeContent(ByteBuffer& d, uint64_t size);
// The position a Seek asks for from pos in content of size bytes;
// STG_E_INVALIDFUNCTION for an unknown origin or a target outside [0, limit].
HRESULT seekTarget(uint64_t pos, uint64_t size, LARGE_INTEGER move, DWORD origin, uint64_t limit,
                   uint64_t& target);
// Writes n bytes to target in pieces of 1 GiB, stopping at a failure or a
// short write; written tells how many it took.
HRESULT writeAllTo(IStream* target, const uint8_t* src, uint64_t n, uint64_t& written);

// Writes the n bytes of d from pos (which lie in d) to target, taking them
// first when the target writes into d itself; written tells how many it
// took. taken is false (with STG_E_INSUFFICIENTMEMORY or STG_E_READFAULT)
// when the bytes could not be had; the target's failures come back as they
// are.
HRESULT copyRange(const ByteBuffer& d, uint64_t pos, uint64_t n, bool intoItself, IStream* target,
                  uint64_t& written, bool& taken);

// Fills a STATSTG name field (task memory); STG_E_INSUFFICIENTMEMORY on failure.
HRESULT copyName(const std::u16string& name, LPOLESTR* out);

// --- compound-file codec -----------------------------------------------------

// Little-endian fields of a compound file's header and directory entries.
inline uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Checks the fixed header: S_OK for a plausible compound-file header,
// S_FALSE when the bytes do not start with the compound-file signature,
// STG_E_INVALIDHEADER for a header that has it but is damaged or short.
HRESULT checkHeader(const uint8_t* data, size_t size);

// Checks that the sector chains and the directory tree of a compound file
// (whose header checkHeader accepts) account for everything it holds:
// every directory entry in use is reached from the root once, every stream's
// chain covers its size without a loop and inside the file, and no sector
// serves two chains. STG_E_DOCFILECORRUPT otherwise.
// Where each stream that lies in one piece of the file starts (bytes from the
// file's start), by its path: the names of its storages and its own, each
// after a '/'.
using StreamPlaces = std::map<std::u16string, uint64_t>;
// places, when given, receives the places of the streams in one piece
// outside the mini stream (nothing when the check fails).
HRESULT checkStructure(const uint8_t* data, size_t size, StreamPlaces* places = nullptr);

// Parses a whole compound file into root (a storage node). Errors:
// STG_E_FILEALREADYEXISTS (not a compound file), STG_E_INVALIDHEADER,
// STG_E_DOCFILECORRUPT.
// With file (which holds the same bytes, data being read from it), the
// streams of at least the spill threshold that lie in one piece stay in the
// file as regions of it instead of being read.
HRESULT decode(const uint8_t* data, size_t size, Node& root, const std::shared_ptr<SpillFile>& file = nullptr);

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
