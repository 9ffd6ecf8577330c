// The storage, stream and enumerator objects over the element tree of an
// open compound file.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <set>

#include "platform/storage_internal.h"
#include "platform/system.h"

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

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other)
{
    if (this == &other) return *this;
    size_ = 0;
    reserveFor(other.size_);
    if (other.size_) std::memcpy(data_, other.data_, other.size_);
    size_ = other.size_;
    return *this;
}

void ByteBuffer::reserveFor(size_t n)
{
    if (n <= capacity_) return;
    size_t grown = capacity_ + capacity_ / 2;
    const size_t want = n > grown ? n : grown;
    void* p = tvp::allocationRefused(want) ? nullptr : std::realloc(data_, want ? want : 1);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<uint8_t*>(p);
    capacity_ = want;
}

void ByteBuffer::resize(size_t n)
{
    if (n > size_) {
        reserveFor(n);
        std::memset(data_ + size_, 0, n - size_);
    }
    size_ = n;
}

void ByteBuffer::append(const uint8_t* p, size_t n)
{
    if (!n) return;
    reserveFor(size_ + n);
    std::memcpy(data_ + size_, p, n);
    size_ += n;
}

ULONG readContent(const ByteBuffer& d, uint64_t pos, void* pv, ULONG cb)
{
    ULONG n = 0;
    if (pos < d.size()) n = ULONG(std::min<uint64_t>(cb, d.size() - pos));
    if (n) std::memcpy(pv, d.data() + pos, n);
    return n;
}

HRESULT writeContent(ByteBuffer& d, uint64_t pos, const void* pv, ULONG cb)
{
    // Checked without forming pos + cb, which wraps for a position near the
    // top of the 64-bit range.
    if (pos > kMaxContentSize || cb > kMaxContentSize - pos) return STG_E_MEDIUMFULL;
    uint64_t end = pos + cb;
    try {
        const auto* src = static_cast<const uint8_t*>(pv);
        std::vector<uint8_t> own;
        if (end > d.size()) {
            // Growing may move the bytes that src points into.
            if (!d.empty() && src >= d.data() && src < d.data() + d.size()) {
                own.assign(src, src + cb);
                src = own.data();
            }
            if (pos > d.size()) d.resize(size_t(pos));  // a gap past the old end reads as zeros
            // The part past the old end is appended as it is, never zeroed first.
            const size_t inside = d.size() - size_t(pos);
            if (inside) std::memmove(d.data() + pos, src, inside);
            d.append(src + inside, cb - inside);
            return S_OK;
        }
        if (cb) std::memmove(d.data() + pos, src, cb);
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

HRESULT resizeContent(ByteBuffer& d, uint64_t size)
{
    if (size > kMaxContentSize) return STG_E_MEDIUMFULL;
    try {
        d.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
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
        ULONG n = readContent(node_->data, pos_, pv, cb);
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
        const uint8_t* src = d.data() + (pos_ < d.size() ? pos_ : 0);
        // Writing into the same element (a clone of this stream) may move
        // the bytes being copied.
        std::vector<uint8_t> own;
        StreamImpl* target = nullptr;
        auto hold = implOf(pstm, IID_TvStreamImpl, target);
        try {
            if (target && target->node_ == node_ && n) {
                own.assign(src, src + n);
                src = own.data();
            }
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        uint64_t written = 0;
        HRESULT hr = writeAllTo(pstm, src, n, written);
        pos_ += n;
        if (pcbRead) pcbRead->QuadPart = n;
        if (pcbWritten) pcbWritten->QuadPart = written;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return alive(); }
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
    ~StreamImpl() { --node_->openCount; }

    HRESULT alive() const { return (doc_->closed || node_->removed) ? STG_E_REVERTED : S_OK; }

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
    size_t done = 0;
    while (done < data.size()) {
        ULONG chunk = ULONG(std::min<size_t>(data.size() - done, 1u << 30));
        ULONG w = 0;
        HRESULT hr = s->Write(data.data() + done, chunk, &w);
        if (FAILED(hr)) return hr;
        if (w != chunk) return STG_E_WRITEFAULT;
        done += chunk;
    }
    return S_OK;
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
