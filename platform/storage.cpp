// The storage, stream and enumerator objects over the element tree of an
// open compound file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "platform/memory_watch.h"
#include "platform/storage_internal.h"
#include "platform/system.h"
#include "platform/tempnames.h"

namespace tvp::stg {

// ---------------------------------------------------------------------------
// Tree helpers
// ---------------------------------------------------------------------------

namespace {

char16_t upperUnit(char16_t c)
{
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A: pairs of upper (first) and lower (second) case.
        bool oddLower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        bool evenLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddLower && (c & 1)) return char16_t(c - 1);
        if (evenLower && !(c & 1)) return char16_t(c - 1);
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return char16_t(c - 0x20);
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x430 && c <= 0x44F) return char16_t(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A) return char16_t(c - 0x20);
    return c;
}

}  // namespace

std::u16string upperName(const std::u16string& name)
{
    std::u16string out(name);
    for (auto& c : out) c = upperUnit(c);
    return out;
}

void markRemoved(Node& n)
{
    n.removed = true;
    for (auto& c : n.children) markRemoved(*c.second);
}

bool anyOpen(const Node& n)
{
    if (n.openCount) return true;
    for (const auto& c : n.children)
        if (anyOpen(*c.second)) return true;
    return false;
}

NodePtr cloneTree(const Node& n)
{
    auto c = std::make_shared<Node>();
    c->name = n.name;
    c->storage = n.storage;
    c->clsid = n.clsid;
    c->stateBits = n.stateBits;
    c->ctime = n.ctime;
    c->mtime = n.mtime;
    c->atime = n.atime;
    c->data = n.data;
    for (const auto& e : n.children) c->children.emplace(e.first, cloneTree(*e.second));
    return c;
}

HRESULT copyName(const std::u16string& name, LPOLESTR* out)
{
    *out = nullptr;
    auto* p = static_cast<OLECHAR*>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    if (!p) return STG_E_INSUFFICIENTMEMORY;
    std::memcpy(p, name.data(), name.size() * sizeof(OLECHAR));
    p[name.size()] = 0;
    *out = p;
    return S_OK;
}

HRESULT Document::flush(DWORD commitFlags)
{
    if (closed) return STG_E_REVERTED;
    if (!writable || !dirty) return S_OK;
    HRESULT hr = backing->write(*root, commitFlags);
    if (FAILED(hr)) return hr;
    dirty = false;
    return S_OK;
}

void Document::closeRoot()
{
    if (closed) return;
    // A failure here cannot be reported (Release has no result); callers
    // that need to know commit before releasing.
    if (writable && !deleteOnRelease) flush(STGC_DEFAULT);
    if (backing) backing->close();
    closed = true;
    root.reset();
}

// ---------------------------------------------------------------------------
// Stream bytes
// ---------------------------------------------------------------------------

namespace {

constexpr size_t kDefaultSpillThreshold = size_t(256) << 10;
// Each copy of this layer keeps its own budget: the command and the library
// it loads each link one, and each serves the compound files it opened.
// Every spilled byte costs a write into the page cache, a read back and
// the dropping of its page when the file closes. An existing target's
// sections stay in its file (they cost no budget), so a whole compile of
// 100 MB peaks near 2.2 times the source with 96 MiB (1.9 with 64 MiB),
// while a third less is spilled.
constexpr size_t kDefaultSpillBudget = size_t(96) << 20;

// One of the limits from TV_STORAGE_SPILL ("threshold,budget" in bytes),
// else its default.
size_t limitFromEnvironment(int which, size_t fallback)
{
    const char* text = std::getenv("TV_STORAGE_SPILL");
    if (!text || !*text) return fallback;
    char* end = nullptr;
    unsigned long long threshold = std::strtoull(text, &end, 10);
    if (end == text || *end != ',') return fallback;
    const char* second = end + 1;
    unsigned long long budget = std::strtoull(second, &end, 10);
    if (end == second || *end) return fallback;
    const unsigned long long v = which == 0 ? threshold : budget;
    return v ? size_t(v) : fallback;
}

std::atomic<size_t> g_spillThreshold{limitFromEnvironment(0, kDefaultSpillThreshold)};
std::atomic<size_t> g_spillBudget{limitFromEnvironment(1, kDefaultSpillBudget)};
// Memory held by the spillable buffers that are in memory: the most each
// has held (untouched room of a grown block is not resident).
std::atomic<size_t> g_spillableInMemory{0};

}  // namespace

int openSpillFile()
{
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
#endif
    std::string tmpl = dir + "/~tvspillXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    {
        // Gone from its directory before a signal handler may run.
        tvp::TempNameHold hold;
        fd = ::mkstemp(name.data());
        if (fd >= 0) ::unlink(name.data());
    }
    if (fd < 0) {
        tvp::noteFileFailure(errno, dir.c_str());
        return -1;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

namespace {

// Spill files open in this copy of the layer, and how many may be: each
// holds a descriptor, and the process needs its descriptors for its files.
constexpr int kDefaultSpillFileLimit = 256;
std::atomic<int> g_spillFiles{0};
std::atomic<int> g_spillFileLimit{kDefaultSpillFileLimit};

// A new spill file; null when none can be made or (withinLimit) when as
// many are open as may be.
std::shared_ptr<SpillFile> newSpillFile(bool withinLimit)
{
    if (withinLimit && g_spillFiles >= g_spillFileLimit) return nullptr;
    int fd = openSpillFile();
    if (fd < 0) return nullptr;
    try {
        return std::make_shared<SpillFile>(fd, g_spillFiles);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return nullptr;
    }
}

// Writes all n bytes at pos; false (errno set) on failure.
bool pwriteAll(int fd, const void* src, size_t n, uint64_t pos)
{
    const auto* p = static_cast<const uint8_t*>(src);
    while (n) {
        ssize_t w = ::pwrite(fd, p, n, off_t(pos));
        if (w < 0) {
            if (errno == EINTR) continue;
            tvp::noteFileFailureOn(errno, fd);
            return false;
        }
        if (w == 0) {
            errno = ENOSPC;
            tvp::noteFileFailureOn(errno, fd);
            return false;
        }
        p += w;
        pos += uint64_t(w);
        n -= size_t(w);
    }
    return true;
}

}  // namespace

// In the kernel when it can.
bool copyFileBytes(int from, uint64_t fromOffset, int to, uint64_t n)
{
    loff_t in = loff_t(fromOffset), out = 0;
    while (n) {
        ssize_t c = ::copy_file_range(from, &in, to, &out, size_t(std::min<uint64_t>(n, uint64_t(1) << 30)), 0);
        if (c < 0 && errno == EINTR) continue;
        if (c <= 0) break;
        n -= uint64_t(c);
    }
    if (!n) return true;
    std::vector<uint8_t> piece(size_t(1) << 20);
    while (n) {
        const size_t want = size_t(std::min<uint64_t>(n, piece.size()));
        ssize_t r = ::pread(from, piece.data(), want, off_t(in));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !pwriteAll(to, piece.data(), size_t(r), uint64_t(out))) return false;
        in += r;
        out += r;
        n -= uint64_t(r);
    }
    return true;
}

void setSpillLimits(size_t threshold, size_t budget, int files)
{
    g_spillThreshold = threshold ? threshold : kDefaultSpillThreshold;
    g_spillBudget = budget ? budget : kDefaultSpillBudget;
    g_spillFileLimit = files ? files : kDefaultSpillFileLimit;
}

size_t spillThreshold()
{
    return g_spillThreshold;
}

size_t spillableBytesInMemory()
{
    return g_spillableInMemory;
}

void ByteBuffer::freeMemory() noexcept
{
    std::free(data_);
    if (account_) *account_ -= held_;
    held_ = 0;
    data_ = nullptr;
    capacity_ = 0;
}

void ByteBuffer::release() noexcept
{
    freeMemory();
    std::free(tail_);
    tail_ = nullptr;
    tailLen_ = 0;
    file_.reset();
    base_ = 0;
}

SpillFile::SpillFile(int f, std::atomic<int>& open, bool ownFile) : fd(f), count(&open), own(ownFile)
{
    ++*count;
}

SpillFile::~SpillFile()
{
    ::close(fd);
    --*count;
}

bool ByteBuffer::ownFile()
{
    if (file_->own && file_.use_count() <= 1) return true;
    // Shared with a copy, or a region of another file: this buffer writes to
    // a file of its own from now on (beyond the limit: the bytes already lie
    // in a file).
    const uint64_t inFile = size_ - tailLen_;
    std::shared_ptr<SpillFile> own = newSpillFile(false);
    if (!own || !copyFileBytes(file_->fd, base_, own->fd, inFile)) return false;
    file_ = std::move(own);
    base_ = 0;
    return true;
}

void ByteBuffer::adoptRegion(std::shared_ptr<SpillFile> file, uint64_t offset, size_t n)
{
    release();
    file_ = std::move(file);
    base_ = offset;
    size_ = n;
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other)
{
    if (this == &other) return *this;
    clear();
    if (!other.spilled()) {
        if (FAILED(writeAt(0, other.data_, other.size_))) throw std::bad_alloc();
        return *this;
    }
    if (!spillable_) {
        // A memory block keeps its bytes in memory.
        HRESULT hr = other.forEachChunk([&](const uint8_t* p, size_t n) { return SUCCEEDED(writeAt(size_, p, n)); });
        if (hr != S_OK) throw std::bad_alloc();
        return *this;
    }
    // A spilled content shares its file with the copy until either of them
    // writes (which then takes a file of its own); the end gathered in
    // memory is copied.
    uint8_t* tail = nullptr;
    if (other.tailLen_) {
        tail = static_cast<uint8_t*>(tvp::mallocNoted(kTailSize));
        if (!tail) throw std::bad_alloc();
        std::memcpy(tail, other.tail_, other.tailLen_);
    }
    release();
    file_ = other.file_;
    base_ = other.base_;
    tail_ = tail;
    tailLen_ = other.tailLen_;
    size_ = other.size_;
    return *this;
}

void ByteBuffer::clear()
{
    file_.reset();
    base_ = 0;
    std::free(tail_);
    tail_ = nullptr;
    tailLen_ = 0;
    size_ = 0;
}

HRESULT ByteBuffer::flushTail(bool freeIt)
{
    if (tailLen_) {
        // On failure the end stays here, in memory: nothing taken is lost.
        if (!ownFile() || !pwriteAll(file_->fd, tail_, tailLen_, size_ - tailLen_)) return STG_E_MEDIUMFULL;
        tailLen_ = 0;
    }
    if (freeIt) {
        std::free(tail_);
        tail_ = nullptr;
    }
    return S_OK;
}

HRESULT ByteBuffer::settle()
{
    return spilled() ? flushTail(true) : S_OK;
}

void ByteBuffer::reserveFor(size_t n)
{
    if (n <= capacity_) return;
    size_t grown = capacity_ + capacity_ / 2;
    const size_t want = n > grown ? n : grown;
    void* p = tvp::allocationRefused(want) ? nullptr : tvp::reallocNoted(data_, want ? want : 1);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<uint8_t*>(p);
    capacity_ = want;
}

void ByteBuffer::maybeSpill(uint64_t want)
{
    if (!spillable_ || noSpill_ || spilled() || want <= g_spillThreshold) return;
    // Within the budget the bytes stay in memory, where they are cheapest.
    if (want <= held_ || g_spillableInMemory + (want - held_) <= g_spillBudget) return;
    std::shared_ptr<SpillFile> file = newSpillFile(true);
    if (!file || !pwriteAll(file->fd, data_, size_, 0)) {
        noSpill_ = true;
        return;
    }
    file_ = std::move(file);
    freeMemory();
}

void ByteBuffer::resize(size_t n)
{
    HRESULT hr = setSize(n);
    if (FAILED(hr)) throw std::bad_alloc();
}

void ByteBuffer::append(const uint8_t* p, size_t n)
{
    if (!n) return;
    HRESULT hr = writeAt(size_, p, n);
    if (FAILED(hr)) throw std::bad_alloc();
}

HRESULT ByteBuffer::readSpilled(uint64_t pos, void* dst, size_t n) const
{
    auto* p = static_cast<uint8_t*>(dst);
    // The end not yet written to the file comes from memory.
    const uint64_t inFile = size_ - tailLen_;
    if (pos + n > inFile) {
        const uint64_t from = std::max(pos, inFile);
        const size_t k = size_t(pos + n - from);
        std::memcpy(p + (from - pos), tail_ + (from - inFile), k);
        n -= k;
    }
    while (n) {
        ssize_t r = ::pread(file_->fd, p, n, off_t(base_ + pos));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return STG_E_READFAULT;
        if (r == 0) {
            // A region of another file must lie wholly in it: that file was
            // cut short behind its opener's back.
            if (!file_->own) return STG_E_READFAULT;
            // Past the file's end (a hole at its end) the content is zeros.
            std::memset(p, 0, n);
            return S_OK;
        }
        p += r;
        pos += uint64_t(r);
        n -= size_t(r);
    }
    return S_OK;
}

HRESULT ByteBuffer::readAt(uint64_t pos, void* dst, size_t n, size_t& got) const
{
    got = 0;
    if (pos >= size_) return S_OK;
    n = size_t(std::min<uint64_t>(n, size_ - pos));
    if (!n) return S_OK;
    if (!spilled()) {
        std::memcpy(dst, data_ + pos, n);
    } else if (HRESULT hr = readSpilled(pos, dst, n); FAILED(hr)) {
        return hr;
    }
    got = n;
    return S_OK;
}

HRESULT ByteBuffer::writeAt(uint64_t pos, const void* src, size_t n)
{
    if (!n) return S_OK;
    const uint64_t end = pos + n;
    if (end > size_) maybeSpill(end);
    if (spilled()) {
        // Appends gather at the end in memory and go to the file in large
        // pieces: one system call per piece instead of one per write.
        if (pos == size_ && n < kTailSize) {
            if (tailLen_ + n > kTailSize && FAILED(flushTail(false))) return STG_E_MEDIUMFULL;
            if (!tail_) tail_ = static_cast<uint8_t*>(tvp::mallocNoted(kTailSize));
            if (tail_) {
                std::memcpy(tail_ + tailLen_, src, n);
                tailLen_ += n;
                size_ += n;
                return S_OK;
            }
        }
        if (FAILED(flushTail(false))) return STG_E_MEDIUMFULL;
        // A gap past the old end is a hole of the file: it reads as zeros.
        if (!ownFile() || !pwriteAll(file_->fd, src, n, pos)) return STG_E_MEDIUMFULL;
        if (end > size_) size_ = size_t(end);
        return S_OK;
    }
    try {
        if (end > size_) {
            reserveFor(size_t(end));
            if (pos > size_) std::memset(data_ + size_, 0, size_t(pos - size_));
        }
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    std::memcpy(data_ + pos, src, n);
    if (end > size_) grownTo(size_t(end));
    return S_OK;
}

void ByteBuffer::grownTo(size_t n)
{
    size_ = n;
    if (spillable_ && n > held_) {
        // Charged where it will be refunded, whichever copy of this layer
        // grows or frees it (a tree may be built by one and freed by the other).
        if (!account_) account_ = &g_spillableInMemory;
        *account_ += n - held_;
        held_ = n;
    }
}

HRESULT ByteBuffer::reserve(uint64_t n)
{
    if (n <= size_) return S_OK;
    maybeSpill(n);
    if (spilled()) return S_OK;
    try {
        reserveFor(size_t(n));
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

HRESULT ByteBuffer::setSize(uint64_t n)
{
    if (n == 0) {
        clear();
        return S_OK;
    }
    if (n > size_) maybeSpill(n);
    if (spilled()) {
        if (FAILED(flushTail(false)) || !ownFile() || ::ftruncate(file_->fd, off_t(n)) != 0)
            return STG_E_MEDIUMFULL;
        size_ = size_t(n);
        return S_OK;
    }
    if (n > size_) {
        try {
            reserveFor(size_t(n));
        } catch (const std::bad_alloc&) {
            return STG_E_MEDIUMFULL;
        }
        std::memset(data_ + size_, 0, size_t(n) - size_);
        grownTo(size_t(n));
        return S_OK;
    }
    size_ = size_t(n);
    return S_OK;
}

HRESULT readContent(const ByteBuffer& d, uint64_t pos, void* pv, ULONG cb, ULONG& got)
{
    size_t n = 0;
    HRESULT hr = d.readAt(pos, pv, cb, n);
    got = ULONG(n);
    return hr;
}

HRESULT writeContent(ByteBuffer& d, uint64_t pos, const void* pv, ULONG cb)
{
    // Checked without forming pos + cb, which wraps for a position near the
    // top of the 64-bit range.
    if (pos > kMaxContentSize || cb > kMaxContentSize - pos) return STG_E_MEDIUMFULL;
    const auto* src = static_cast<const uint8_t*>(pv);
    std::vector<uint8_t> own;
    // Growing may move the bytes that src points into.
    const uint8_t* mem = d.data();
    if (cb && mem && src >= mem && src < mem + d.size()) {
        try {
            own.assign(src, src + cb);
        } catch (const std::bad_alloc&) {
            return STG_E_MEDIUMFULL;
        }
        src = own.data();
    }
    return d.writeAt(pos, src, cb);
}

HRESULT resizeContent(ByteBuffer& d, uint64_t size)
{
    if (size > kMaxContentSize) return STG_E_MEDIUMFULL;
    return d.setSize(size);
}

HRESULT seekTarget(uint64_t pos, uint64_t size, LARGE_INTEGER move, DWORD origin, uint64_t limit,
                   uint64_t& target)
{
    __int128 base;
    switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = pos; break;
    case STREAM_SEEK_END: base = size; break;
    default: return STG_E_INVALIDFUNCTION;
    }
    __int128 t = base + move.QuadPart;
    if (t < 0 || t > __int128(limit)) return STG_E_INVALIDFUNCTION;
    target = uint64_t(t);
    return S_OK;
}

HRESULT writeAllTo(IStream* target, const uint8_t* src, uint64_t n, uint64_t& written)
{
    written = 0;
    HRESULT hr = S_OK;
    while (written < n) {
        ULONG chunk = ULONG(std::min<uint64_t>(n - written, 1u << 30));
        ULONG w = 0;
        hr = target->Write(src + written, chunk, &w);
        written += w;
        if (FAILED(hr) || w < chunk) break;
    }
    return hr;
}

HRESULT copyRange(const ByteBuffer& d, uint64_t pos, uint64_t n, bool intoItself, IStream* target,
                  uint64_t& written, bool& taken)
{
    written = 0;
    taken = true;
    if (!n) return S_OK;
    if (!d.spilled() && !intoItself) return writeAllTo(target, d.data() + pos, n, written);
    try {
        // Taken whole when the target writes into d; else piece by piece.
        const uint64_t pieceSize = intoItself ? n : std::min<uint64_t>(n, uint64_t(1) << 20);
        std::vector<uint8_t> piece{};
        piece.resize(size_t(pieceSize));
        HRESULT hr = S_OK;
        for (uint64_t done = 0; done < n;) {
            size_t got = 0;
            hr = d.readAt(pos + done, piece.data(), size_t(std::min<uint64_t>(pieceSize, n - done)), got);
            if (FAILED(hr)) {
                taken = written != 0;
                return hr;
            }
            uint64_t w = 0;
            hr = writeAllTo(target, piece.data(), got, w);
            written += w;
            done += got;
            if (FAILED(hr) || w < got || got == 0) break;
        }
        return hr;
    } catch (const std::bad_alloc&) {
        taken = false;
        return STG_E_INSUFFICIENTMEMORY;
    }
}

namespace {

// ---------------------------------------------------------------------------
// Modes and names
// ---------------------------------------------------------------------------

bool hasRead(DWORD mode)
{
    return (mode & 3) != STGM_WRITE;
}

HRESULT checkElementMode(DWORD mode, bool stream, bool create)
{
    if (mode & ~kKnownModeBits) return STG_E_INVALIDFLAG;
    if ((mode & 3) == 3) return STG_E_INVALIDFLAG;
    DWORD share = mode & 0x70;
    if (share > STGM_SHARE_DENY_NONE) return STG_E_INVALIDFLAG;
    if (mode & (STGM_TRANSACTED | STGM_CONVERT | STGM_PRIORITY | STGM_DELETEONRELEASE | STGM_SIMPLE |
                STGM_DIRECT_SWMR | STGM_NOSNAPSHOT))
        return STG_E_INVALIDFLAG;
    if (!create && (mode & STGM_CREATE)) return STG_E_INVALIDFLAG;
    if (stream && share != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
    return S_OK;
}

HRESULT checkName(const OLECHAR* p, std::u16string& out)
{
    if (!p) return STG_E_INVALIDPOINTER;
    size_t n = 0;
    while (n < 32 && p[n]) ++n;
    if (n == 0 || n > 31) return STG_E_INVALIDNAME;
    for (size_t i = 0; i < n; ++i) {
        char16_t c = p[i];
        if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return STG_E_INVALIDNAME;
        // The file keeps names as UTF-16, the codec as UTF-8: only
        // well-formed surrogate pairs survive both.
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= n || p[i + 1] < 0xDC00 || p[i + 1] > 0xDFFF) return STG_E_INVALIDNAME;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return STG_E_INVALIDNAME;
        }
    }
    out.assign(p, n);
    return S_OK;
}

bool containsNode(const Node& tree, const Node* n)
{
    if (&tree == n) return true;
    for (const auto& c : tree.children)
        if (containsNode(*c.second, n)) return true;
    return false;
}

FILETIME now()
{
    FILETIME ft{};
    CoFileTimeNow(&ft);
    return ft;
}

class StreamImpl;
class StorageImpl;

// The implementation object behind an interface pointer of ours, or null.
template <class Impl>
ComPtr<IUnknown> implOf(IUnknown* p, const IID& iid, Impl*& out)
{
    out = nullptr;
    ComPtr<IUnknown> holder;
    void* v = nullptr;
    if (p && SUCCEEDED(p->QueryInterface(iid, &v)) && v) {
        out = static_cast<Impl*>(static_cast<IUnknown*>(v));
        holder.Attach(static_cast<IUnknown*>(v));
    }
    return holder;
}

// ---------------------------------------------------------------------------
// Stream
// ---------------------------------------------------------------------------

class StreamImpl final : public RefCounted<StreamImpl, IStream, IID_ISequentialStream, IID_IStream, IID_TvStreamImpl> {
public:
    StreamImpl(DocumentPtr doc, NodePtr node, DWORD mode, uint64_t pos = 0)
        : doc_(std::move(doc)), node_(std::move(node)), mode_(mode), pos_(pos)
    {
        ++node_->openCount;
    }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasRead(mode_)) return STG_E_ACCESSDENIED;
        ULONG n = 0;
        if (HRESULT hr = readContent(node_->data, pos_, pv, cb, n); FAILED(hr)) return hr;
        pos_ += n;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        if (cb == 0) return S_OK;
        HRESULT hr = writeContent(node_->data, pos_, pv, cb);
        if (FAILED(hr)) return hr;
        pos_ += cb;
        doc_->dirty = true;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        // The position may lie anywhere; writing past the largest size fails.
        HRESULT hr = seekTarget(pos_, node_->data.size(), move, origin, UINT64_MAX, pos_);
        if (FAILED(hr)) return hr;
        if (newPos) newPos->QuadPart = pos_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        if (size.QuadPart == node_->data.size()) return S_OK;
        HRESULT hr = resizeContent(node_->data, size.QuadPart);
        if (FAILED(hr)) return hr;
        doc_->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override
    {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!pstm) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasRead(mode_)) return STG_E_ACCESSDENIED;
        const auto& d = node_->data;
        uint64_t n = pos_ < d.size() ? std::min<uint64_t>(cb.QuadPart, d.size() - pos_) : 0;
        StreamImpl* target = nullptr;
        auto hold = implOf(pstm, IID_TvStreamImpl, target);
        // Writing into the same element (a clone of this stream) may move
        // or overwrite the bytes being copied: they are taken first.
        const bool same = target && target->node_ == node_;
        if (target && !same && wholeIntoEmpty(*target, n)) {
            // The whole content into an empty stream: a copy of the buffer
            // (sharing the spill file when spilled), not piece by piece.
            try {
                target->node_->data = d;
            } catch (const std::bad_alloc&) {
                return STG_E_MEDIUMFULL;
            }
            target->pos_ = n;
            target->doc_->dirty = true;
            pos_ = n;
            if (pcbRead) pcbRead->QuadPart = n;
            if (pcbWritten) pcbWritten->QuadPart = n;
            return S_OK;
        }
        uint64_t written = 0;
        bool taken = true;
        HRESULT hr = copyRange(d, pos_, n, same, pstm, written, taken);
        if (!taken) return hr;
        pos_ += n;
        if (pcbRead) pcbRead->QuadPart = n;
        if (pcbWritten) pcbWritten->QuadPart = written;
        return hr;
    }

    // Nothing to write in direct mode; the gathered end of a spilled content
    // goes to its file (kept in memory when the disk is full: nothing is lost).
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override
    {
        HRESULT hr = alive();
        if (SUCCEEDED(hr)) node_->data.settle();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return alive(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        HRESULT hr = alive();
        return FAILED(hr) ? hr : STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        HRESULT hr = alive();
        return FAILED(hr) ? hr : STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD flag) override
    {
        if (!st) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        std::memset(st, 0, sizeof *st);
        if (!(flag & STATFLAG_NONAME)) {
            HRESULT hr = copyName(node_->name, &st->pwcsName);
            if (FAILED(hr)) return hr;
        }
        st->type = STGTY_STREAM;
        st->cbSize.QuadPart = node_->data.size();
        st->mtime = node_->mtime;
        st->ctime = node_->ctime;
        st->atime = node_->atime;
        st->grfMode = mode_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override
    {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        auto* c = new (std::nothrow) StreamImpl(doc_, node_, mode_, pos_);
        if (!c) return STG_E_INSUFFICIENTMEMORY;
        *ppstm = c;
        return S_OK;
    }

private:
    friend Base;
    ~StreamImpl()
    {
        if (--node_->openCount == 0) node_->data.settle();
    }

    HRESULT alive() const { return (doc_->closed || node_->removed) ? STG_E_REVERTED : S_OK; }

    // True when copying n bytes from here into target writes this stream's
    // whole content into target's empty one, and target takes writes.
    bool wholeIntoEmpty(const StreamImpl& target, uint64_t n) const
    {
        return n && pos_ == 0 && n == node_->data.size() && target.pos_ == 0 && target.node_->data.empty() &&
               SUCCEEDED(target.alive()) && hasWrite(target.mode_);
    }

    DocumentPtr doc_;
    NodePtr node_;
    DWORD mode_;
    uint64_t pos_;
};

// ---------------------------------------------------------------------------
// Enumerator
// ---------------------------------------------------------------------------

struct EnumEntry {
    std::u16string name;
    DWORD type;
    uint64_t size;
    FILETIME mtime, ctime, atime;
    CLSID clsid;
    DWORD stateBits;
};
using EnumList = std::shared_ptr<const std::vector<EnumEntry>>;

class EnumImpl final : public RefCounted<EnumImpl, IEnumSTATSTG, IID_IEnumSTATSTG> {
public:
    EnumImpl(EnumList list, size_t pos) : list_(std::move(list)), pos_(pos) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATSTG* rgelt, ULONG* fetched) override
    {
        if (fetched) *fetched = 0;
        if (!rgelt) return STG_E_INVALIDPOINTER;
        if (!fetched && celt != 1) return STG_E_INVALIDPARAMETER;
        ULONG got = 0;
        while (got < celt && pos_ < list_->size()) {
            const EnumEntry& e = (*list_)[pos_];
            STATSTG& st = rgelt[got];
            std::memset(&st, 0, sizeof st);
            if (FAILED(copyName(e.name, &st.pwcsName))) {
                for (ULONG k = 0; k < got; ++k) {
                    CoTaskMemFree(rgelt[k].pwcsName);
                    rgelt[k].pwcsName = nullptr;
                }
                pos_ -= got;
                return STG_E_INSUFFICIENTMEMORY;
            }
            st.type = e.type;
            st.cbSize.QuadPart = e.size;
            st.mtime = e.mtime;
            st.ctime = e.ctime;
            st.atime = e.atime;
            st.clsid = e.clsid;
            st.grfStateBits = e.stateBits;
            ++got;
            ++pos_;
        }
        if (fetched) *fetched = got;
        return got == celt ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override
    {
        size_t left = list_->size() - pos_;
        size_t n = std::min<size_t>(celt, left);
        pos_ += n;
        return n == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** ppenum) override
    {
        if (!ppenum) return STG_E_INVALIDPOINTER;
        *ppenum = new (std::nothrow) EnumImpl(list_, pos_);
        return *ppenum ? S_OK : STG_E_INSUFFICIENTMEMORY;
    }

private:
    friend Base;
    ~EnumImpl() = default;
    EnumList list_;
    size_t pos_;
};

// ---------------------------------------------------------------------------
// Storage
// ---------------------------------------------------------------------------

struct CopyFilter {
    bool noStreams = false;
    bool noStorages = false;
    std::set<std::u16string> names;  // upper case

    bool skips(const std::u16string& key, const Node& n) const
    {
        if (n.storage ? noStorages : noStreams) return true;
        return names.count(key) != 0;
    }
};

// Copies the children of src into dst: streams replace elements of the
// same name, storages are merged into storages of the same name.
HRESULT mergeInto(const Node& src, Node& dst, const CopyFilter* filter)
{
    for (const auto& e : src.children) {
        const Node& c = *e.second;
        if (filter && filter->skips(e.first, c)) continue;
        auto it = dst.children.find(e.first);
        if (c.storage && it != dst.children.end() && it->second->storage) {
            it->second->clsid = c.clsid;
            HRESULT hr = mergeInto(c, *it->second, nullptr);
            if (FAILED(hr)) return hr;
            continue;
        }
        if (it != dst.children.end()) {
            if (anyOpen(*it->second)) return STG_E_ACCESSDENIED;
            markRemoved(*it->second);
            dst.children.erase(it);
        }
        dst.children.emplace(e.first, cloneTree(c));
    }
    return S_OK;
}

HRESULT writeAll(IStream* s, const ByteBuffer& data)
{
    HRESULT failed = S_OK;
    HRESULT hr = data.forEachChunk([&](const uint8_t* p, size_t n) {
        uint64_t written = 0;
        failed = writeAllTo(s, p, n, written);
        if (SUCCEEDED(failed) && written != n) failed = STG_E_WRITEFAULT;
        return SUCCEEDED(failed);
    });
    return FAILED(failed) ? failed : FAILED(hr) ? hr : S_OK;
}

// Copies one element into a storage of another implementation.
HRESULT copyElementForeign(const Node& c, const std::u16string& name, IStorage* dst, DWORD createMode);

HRESULT copyChildrenForeign(const Node& src, IStorage* dst, const CopyFilter* filter)
{
    dst->SetClass(src.clsid);
    for (const auto& e : src.children) {
        const Node& c = *e.second;
        if (filter && filter->skips(e.first, c)) continue;
        HRESULT hr = copyElementForeign(c, c.name, dst, STGM_CREATE);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT copyElementForeign(const Node& c, const std::u16string& name, IStorage* dst, DWORD createMode)
{
    const DWORD rw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    if (!c.storage) {
        ComPtr<IStream> s;
        HRESULT hr = dst->CreateStream(name.c_str(), rw | createMode, 0, 0, &s);
        if (FAILED(hr)) return hr;
        return writeAll(s, c.data);
    }
    ComPtr<IStorage> sub;
    HRESULT hr = E_FAIL;
    if (createMode & STGM_CREATE) hr = dst->OpenStorage(name.c_str(), nullptr, rw, nullptr, 0, &sub);
    if (FAILED(hr)) hr = dst->CreateStorage(name.c_str(), rw | createMode, 0, 0, &sub);
    if (FAILED(hr)) return hr;
    return copyChildrenForeign(c, sub, nullptr);
}

EnumEntry entryOf(const Node& n)
{
    EnumEntry e;
    e.name = n.name;
    e.type = n.storage ? STGTY_STORAGE : STGTY_STREAM;
    e.size = n.storage ? 0 : n.data.size();
    e.mtime = n.mtime;
    e.ctime = n.ctime;
    e.atime = n.atime;
    e.clsid = n.storage ? n.clsid : GUID_NULL;
    e.stateBits = n.stateBits;
    return e;
}

class StorageImpl final : public RefCounted<StorageImpl, IStorage, IID_IStorage, IID_TvStorageImpl> {
public:
    StorageImpl(DocumentPtr doc, NodePtr node, DWORD mode, bool isRoot)
        : doc_(std::move(doc)), node_(std::move(node)), mode_(mode), isRoot_(isRoot)
    {
        ++node_->openCount;
    }

    // The root closes its document at the last Release.
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG n = --refs_;
        if (n == 0) {
            if (isRoot_) doc_->closeRoot();
            delete this;
        }
        return n;
    }

    HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD, DWORD,
                                           IStream** ppstm) override
    {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        std::u16string name;
        HRESULT hr = prepareCreate(pwcsName, grfMode, true, name);
        if (FAILED(hr)) return hr;
        return createChild(name, false, ppstm, [&](const NodePtr& n) {
            return new (std::nothrow) StreamImpl(doc_, n, grfMode & ~STGM_CREATE);
        });
    }

    HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode, DWORD,
                                         IStream** ppstm) override
    {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        if (reserved1) return STG_E_INVALIDPARAMETER;
        NodePtr n;
        HRESULT hr = prepareOpen(pwcsName, grfMode, false, n);
        if (FAILED(hr)) return hr;
        auto* s = new (std::nothrow) StreamImpl(doc_, n, grfMode);
        if (!s) return STG_E_INSUFFICIENTMEMORY;
        *ppstm = s;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD, DWORD,
                                            IStorage** ppstg) override
    {
        if (!ppstg) return STG_E_INVALIDPOINTER;
        *ppstg = nullptr;
        std::u16string name;
        HRESULT hr = prepareCreate(pwcsName, grfMode, false, name);
        if (FAILED(hr)) return hr;
        return createChild(name, true, ppstg, [&](const NodePtr& n) {
            return new (std::nothrow) StorageImpl(doc_, n, grfMode & ~STGM_CREATE, false);
        });
    }

    HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                          SNB snbExclude, DWORD, IStorage** ppstg) override
    {
        if (!ppstg) return STG_E_INVALIDPOINTER;
        *ppstg = nullptr;
        if (pstgPriority || snbExclude) return STG_E_INVALIDFUNCTION;
        NodePtr n;
        HRESULT hr = prepareOpen(pwcsName, grfMode, true, n);
        if (FAILED(hr)) return hr;
        auto* s = new (std::nothrow) StorageImpl(doc_, n, grfMode, false);
        if (!s) return STG_E_INSUFFICIENTMEMORY;
        *ppstg = s;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                                     IStorage* pstgDest) override
    {
        if (!pstgDest) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasRead(mode_)) return STG_E_ACCESSDENIED;
        if (ciidExclude && !rgiidExclude) return STG_E_INVALIDPOINTER;
        try {
            CopyFilter filter;
            for (DWORD i = 0; i < ciidExclude; ++i) {
                if (rgiidExclude[i] == IID_IStream) filter.noStreams = true;
                if (rgiidExclude[i] == IID_IStorage) filter.noStorages = true;
            }
            if (snbExclude)
                for (OLECHAR** p = snbExclude; *p; ++p) filter.names.insert(upperName(*p));

            StorageImpl* dest = nullptr;
            auto hold = implOf(pstgDest, IID_TvStorageImpl, dest);
            if (!dest) return copyChildrenForeign(*node_, pstgDest, &filter);
            if (HRESULT hr = dest->alive(); FAILED(hr)) return hr;
            if (!hasWrite(dest->mode_)) return STG_E_ACCESSDENIED;
            if (containsNode(*node_, dest->node_.get())) return STG_E_ACCESSDENIED;
            // Within one file the destination may lie above the source;
            // copy from a snapshot so that the walk never sees its own output.
            NodePtr snapshot;
            const Node* src = node_.get();
            if (dest->doc_ == doc_) {
                snapshot = cloneTree(*node_);
                src = snapshot.get();
            }
            dest->node_->clsid = src->clsid;
            dest->doc_->dirty = true;
            return mergeInto(*src, *dest->node_, &filter);
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest, const OLECHAR* pwcsNewName,
                                            DWORD grfFlags) override
    {
        if (!pstgDest) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (grfFlags != STGMOVE_MOVE && grfFlags != STGMOVE_COPY) return STG_E_INVALIDFLAG;
        std::u16string name, newName;
        if (HRESULT hr = checkName(pwcsName, name); FAILED(hr)) return hr;
        if (HRESULT hr = checkName(pwcsNewName, newName); FAILED(hr)) return hr;
        bool move = grfFlags == STGMOVE_MOVE;
        if (move && !hasWrite(mode_)) return STG_E_ACCESSDENIED;
        auto key = upperName(name);
        auto it = node_->children.find(key);
        if (it == node_->children.end()) return STG_E_FILENOTFOUND;
        NodePtr src = it->second;
        if (move && anyOpen(*src)) return STG_E_ACCESSDENIED;
        try {
            StorageImpl* dest = nullptr;
            auto hold = implOf(pstgDest, IID_TvStorageImpl, dest);
            if (dest) {
                if (HRESULT hr = dest->alive(); FAILED(hr)) return hr;
                if (!hasWrite(dest->mode_)) return STG_E_ACCESSDENIED;
                if (containsNode(*src, dest->node_.get())) return STG_E_ACCESSDENIED;
                auto newKey = upperName(newName);
                auto& siblings = dest->node_->children;
                auto there = siblings.find(newKey);
                if (there != siblings.end() && !(move && there->second == src)) return STG_E_FILEALREADYEXISTS;
                if (move && dest->doc_ == doc_) {
                    // Within one file a move only relinks the element.
                    node_->children.erase(it);
                    src->name = newName;
                    siblings[newKey] = src;
                    doc_->dirty = true;
                    return S_OK;
                }
                NodePtr copy = cloneTree(*src);
                copy->name = newName;
                siblings.emplace(newKey, copy);
                dest->doc_->dirty = true;
            } else {
                HRESULT hr = copyElementForeign(*src, newName, pstgDest, 0);
                if (FAILED(hr)) return hr;
            }
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        if (move) {
            auto again = node_->children.find(key);
            if (again != node_->children.end() && again->second == src) {
                markRemoved(*src);
                node_->children.erase(again);
                doc_->dirty = true;
            }
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!isRoot_) return S_OK;
        try {
            return doc_->flush(grfCommitFlags);
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE Revert() override { return alive(); }

    HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void* reserved2, DWORD, IEnumSTATSTG** ppenum) override
    {
        if (!ppenum) return STG_E_INVALIDPOINTER;
        *ppenum = nullptr;
        if (reserved2) return STG_E_INVALIDPARAMETER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        try {
            auto list = std::make_shared<std::vector<EnumEntry>>();
            list->reserve(node_->children.size());
            for (const auto& e : node_->children) list->push_back(entryOf(*e.second));
            *ppenum = new EnumImpl(std::move(list), 0);
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* pwcsName) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        std::u16string name;
        if (HRESULT hr = checkName(pwcsName, name); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        auto it = node_->children.find(upperName(name));
        if (it == node_->children.end()) return STG_E_FILENOTFOUND;
        // Objects still open on the element answer STG_E_REVERTED from now on.
        markRemoved(*it->second);
        node_->children.erase(it);
        doc_->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        std::u16string oldName, newName;
        if (HRESULT hr = checkName(pwcsOldName, oldName); FAILED(hr)) return hr;
        if (HRESULT hr = checkName(pwcsNewName, newName); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        auto& ch = node_->children;
        auto it = ch.find(upperName(oldName));
        if (it == ch.end()) return STG_E_FILENOTFOUND;
        auto newKey = upperName(newName);
        auto there = ch.find(newKey);
        if (there != ch.end() && there != it) return STG_E_FILEALREADYEXISTS;
        if (anyOpen(*it->second)) return STG_E_ACCESSDENIED;
        NodePtr n = it->second;
        ch.erase(it);
        n->name = newName;
        ch[newKey] = n;
        doc_->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime,
                                              const FILETIME* patime, const FILETIME* pmtime) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        Node* n = node_.get();
        if (pwcsName) {
            std::u16string name;
            if (HRESULT hr = checkName(pwcsName, name); FAILED(hr)) return hr;
            auto it = node_->children.find(upperName(name));
            if (it == node_->children.end()) return STG_E_FILENOTFOUND;
            n = it->second.get();
        }
        if (pctime) n->ctime = *pctime;
        if (patime) n->atime = *patime;
        if (pmtime) n->mtime = *pmtime;
        doc_->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        if (node_->clsid != clsid) {
            node_->clsid = clsid;
            doc_->dirty = true;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetStateBits(DWORD grfStateBits, DWORD grfMask) override
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        node_->stateBits = (grfStateBits & grfMask) | (node_->stateBits & ~grfMask);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD flag) override
    {
        if (!st) return STG_E_INVALIDPOINTER;
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        std::memset(st, 0, sizeof *st);
        if (!(flag & STATFLAG_NONAME)) {
            HRESULT hr = copyName(isRoot_ ? doc_->rootName : node_->name, &st->pwcsName);
            if (FAILED(hr)) return hr;
        }
        st->type = STGTY_STORAGE;
        st->mtime = node_->mtime;
        st->ctime = node_->ctime;
        st->atime = node_->atime;
        st->grfMode = mode_;
        st->clsid = node_->clsid;
        st->grfStateBits = node_->stateBits;
        return S_OK;
    }

private:
    friend Base;
    ~StorageImpl() { --node_->openCount; }

    HRESULT alive() const { return (doc_->closed || node_->removed) ? STG_E_REVERTED : S_OK; }

    // Checks a create request and makes room for the new element.
    HRESULT prepareCreate(const OLECHAR* pwcsName, DWORD grfMode, bool stream, std::u16string& name)
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        if (HRESULT hr = checkName(pwcsName, name); FAILED(hr)) return hr;
        if (HRESULT hr = checkElementMode(grfMode, stream, true); FAILED(hr)) return hr;
        if (!hasWrite(mode_)) return STG_E_ACCESSDENIED;
        auto it = node_->children.find(upperName(name));
        if (it == node_->children.end()) return S_OK;
        if (!(grfMode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
        if (anyOpen(*it->second)) return STG_E_ACCESSDENIED;
        markRemoved(*it->second);
        node_->children.erase(it);
        doc_->dirty = true;
        return S_OK;
    }

    // Adds the new element name (prepared by prepareCreate) as a storage or
    // a stream and hands out the object make gives over it; when there is
    // none (no memory) the element is taken out again.
    template <class Out, class Make>
    HRESULT createChild(const std::u16string& name, bool storage, Out** out, Make make)
    {
        try {
            auto n = std::make_shared<Node>();
            n->name = name;
            if (storage) {
                n->storage = true;
                n->ctime = n->mtime = now();
            }
            auto key = upperName(name);
            node_->children[key] = n;
            doc_->dirty = true;
            Out* made = make(n);
            if (!made) {
                node_->children.erase(key);
                return STG_E_INSUFFICIENTMEMORY;
            }
            *out = made;
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

    HRESULT prepareOpen(const OLECHAR* pwcsName, DWORD grfMode, bool storage, NodePtr& n)
    {
        if (HRESULT hr = alive(); FAILED(hr)) return hr;
        std::u16string name;
        if (HRESULT hr = checkName(pwcsName, name); FAILED(hr)) return hr;
        if (HRESULT hr = checkElementMode(grfMode, !storage, false); FAILED(hr)) return hr;
        if (hasWrite(grfMode) && !hasWrite(mode_)) return STG_E_ACCESSDENIED;
        auto it = node_->children.find(upperName(name));
        if (it == node_->children.end() || it->second->storage != storage) return STG_E_FILENOTFOUND;
        if (it->second->openCount) return STG_E_ACCESSDENIED;
        n = it->second;
        return S_OK;
    }

    DocumentPtr doc_;
    NodePtr node_;
    DWORD mode_;
    bool isRoot_;
};

}  // namespace

IStorage* newRootStorage(const DocumentPtr& doc, DWORD mode)
{
    return new (std::nothrow) StorageImpl(doc, doc->root, mode & ~(STGM_CREATE | STGM_DELETEONRELEASE), true);
}

}  // namespace tvp::stg
