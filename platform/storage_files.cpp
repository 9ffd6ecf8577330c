// Compound files on disk and on ILockBytes objects: creating, opening,
// locking and writing back.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/storage_internal.h"
#include "platform/tempnames.h"
#include "platform/text.h"

namespace tvp::stg {
namespace {

// Direct mode only: transactions, conversion, priority and single-writer
// modes are refused.
HRESULT checkRootMode(DWORD mode, bool create)
{
    if (mode & ~kKnownModeBits) return STG_E_INVALIDFLAG;
    if ((mode & 3) == 3) return STG_E_INVALIDFLAG;
    if ((mode & 0x70) > STGM_SHARE_DENY_NONE) return STG_E_INVALIDFLAG;
    if (mode & (STGM_TRANSACTED | STGM_CONVERT | STGM_PRIORITY | STGM_DIRECT_SWMR | STGM_NOSNAPSHOT))
        return STG_E_INVALIDFLAG;
    if (create && !hasWrite(mode)) return STG_E_INVALIDFLAG;
    if (!create && (mode & (STGM_CREATE | STGM_DELETEONRELEASE))) return STG_E_INVALIDFLAG;
    return S_OK;
}

// Writers and openers that deny reading keep others out; readers that
// deny only writing (or nothing) share the file.
bool exclusiveLock(DWORD mode)
{
    DWORD share = mode & 0x70;
    return hasWrite(mode) || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ;
}

std::string parentDir(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

HRESULT errnoToHr(int e, const std::string& path)
{
    switch (e) {
    case ENOENT: {
        struct stat st;
        std::string dir = parentDir(path);
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return STG_E_PATHNOTFOUND;
        return STG_E_FILENOTFOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return STG_E_ACCESSDENIED;
    case EEXIST:
        return STG_E_FILEALREADYEXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return STG_E_MEDIUMFULL;
    case EMFILE:
    case ENFILE:
        return STG_E_TOOMANYOPENFILES;
    case ENOMEM:
        return STG_E_INSUFFICIENTMEMORY;
    case EWOULDBLOCK:
        return STG_E_SHAREVIOLATION;
    default:
        return STG_E_UNKNOWN;
    }
}

// The bytes of a path given in its UTF-16 form (see pathToWide).
std::string pathOf(const OLECHAR* p)
{
    return wideToPath(p);
}

std::string resolved(const std::string& path)
{
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    return path;
}

// Regions of opened files are not counted with the spill files: each
// opened file has one at most.
std::atomic<int> g_openedRegionFiles{0};

// The bytes of the file open on fd, read into pages of their own rather
// than a heap block: once the C library has freed a block of tens of
// megabytes it keeps later large blocks in its heap, and the rest of a
// compile pays for that.
class FileImage {
public:
    FileImage() = default;
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;
    ~FileImage()
    {
        if (m_pages) ::munmap(m_pages, m_capacity);
    }

    HRESULT read(int fd)
    {
        struct stat st;
        if (::fstat(fd, &st) != 0) return STG_E_READFAULT;
        if (st.st_size <= 0) return S_OK;
        m_capacity = size_t(st.st_size);
        void* pages = ::mmap(nullptr, m_capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED) return STG_E_INSUFFICIENTMEMORY;
        m_pages = static_cast<uint8_t*>(pages);
        while (m_size < m_capacity) {
            const ssize_t r = ::pread(fd, m_pages + m_size, m_capacity - m_size, off_t(m_size));
            if (r < 0) {
                if (errno == EINTR) continue;
                return STG_E_READFAULT;
            }
            if (r == 0) break;  // cut short since: decoded as what is there
            m_size += size_t(r);
        }
        return S_OK;
    }
    const uint8_t* data() const { return m_pages; }
    size_t size() const { return m_size; }

private:
    uint8_t* m_pages = nullptr;
    size_t m_capacity = 0;
    size_t m_size = 0;
};

// Decodes the compound file open on fd. Its large streams in one piece
// stay in the file (regions then receives the file they read) where a
// second opening of it can be had. The file is read, not mapped: another
// process that cuts it short meanwhile makes a mapping fault the whole
// process, while a short read is only a damaged file.
HRESULT decodeFile(int fd, Node& root, std::shared_ptr<SpillFile>& regions)
{
    regions.reset();
    FileImage bytes;
    HRESULT hr = bytes.read(fd);
    if (FAILED(hr)) return hr;
    // The streams read the file through an opening of their own: one that
    // shared fd's would keep the file's lock while copies of them live on.
    const int own = bytes.size() == 0 ? -1 : ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat a, b;
    if (own >= 0 && (::fstat(fd, &a) != 0 || ::fstat(own, &b) != 0 || a.st_dev != b.st_dev || a.st_ino != b.st_ino)) {
        ::close(own);
    } else if (own >= 0) {
        try {
            regions = std::make_shared<SpillFile>(own, g_openedRegionFiles, false);
        } catch (const std::bad_alloc&) {
            ::close(own);
        }
    }
    hr = decode(bytes.data(), bytes.size(), root, regions);
    // Nothing adopted the file: it is closed again.
    if (regions && regions.use_count() == 1) regions.reset();
    if (FAILED(hr)) regions.reset();
    return hr;
}

FILETIME fromTimespec(const struct timespec& ts)
{
    return ticksToFileTime(kFileTimeUnixEpoch + ULONGLONG(ts.tv_sec) * 10000000ULL + ULONGLONG(ts.tv_nsec) / 100);
}

// Encodes the tree into the open file fd from its start, through a stream
// of its own on a duplicate of fd (fd itself stays open).
HRESULT encodeToFd(const Node& root, int fd, uint64_t& size)
{
    size = 0;
    int dupFd = ::dup(fd);
    if (dupFd < 0) {
        tvp::noteFileFailureOn(errno, fd);
        return STG_E_TOOMANYOPENFILES;
    }
    std::FILE* f = ::fdopen(dupFd, "r+b");
    if (!f) {
        ::close(dupFd);
        return STG_E_INSUFFICIENTMEMORY;
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    // The duplicate shares the position of fd, wherever that was left.
    std::rewind(f);
    HRESULT hr = encodeTo(root, f, size);
    if (std::fclose(f) != 0 && SUCCEEDED(hr)) hr = STG_E_WRITEFAULT;
    if (FAILED(hr)) tvp::noteFileFailureOn(errno, fd);
    if (hr == STG_E_WRITEFAULT && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) hr = STG_E_MEDIUMFULL;
    return hr;
}

// A file held open and locked while its root storage lives.
class FileBacking final : public Backing {
public:
    // regions: the file as the streams that still lie in it read it.
    FileBacking(std::string path, int fd, bool deleteOnRelease, std::shared_ptr<SpillFile> regions = nullptr)
        : path_(std::move(path)), fd_(fd), deleteOnRelease_(deleteOnRelease), regions_(regions)
    {
    }
    ~FileBacking() override { close(); }

    // The new content goes to a fresh file in the same directory, locked
    // before it replaces the old one; so a reader never sees half a file
    // and no second opener can slip in between. Where no file can be made
    // next to it, the file is rewritten in place. Either way the file is
    // encoded straight into the file, never whole in memory.
    HRESULT write(const Node& root, DWORD) override
    {
        if (fd_ < 0) return STG_E_REVERTED;
        std::string tmpl = path_ + ".XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        const int tmp = makeTempName(name.data());
        if (tmp < 0) return writeInPlace(root);
        struct stat st;
        if (::fstat(fd_, &st) == 0) (void)::fchmod(tmp, st.st_mode & 07777);
        uint64_t size = 0;
        HRESULT hr = encodeToFd(root, tmp, size);
        if (SUCCEEDED(hr) && ::flock(tmp, LOCK_EX | LOCK_NB) != 0) hr = STG_E_LOCKVIOLATION;
        if (SUCCEEDED(hr) && ::rename(name.data(), path_.c_str()) != 0) hr = STG_E_WRITEFAULT;
        if (FAILED(hr)) {
            ::unlink(name.data());
            forgetTempName(name.data());
            ::close(tmp);
            return hr;
        }
        forgetTempName(name.data());
        ::close(fd_);
        fd_ = tmp;
        // Streams still read from the old file keep it open themselves.
        regions_.reset();
        return S_OK;
    }

    void close() override
    {
        if (fd_ < 0) return;
        if (deleteOnRelease_) ::unlink(path_.c_str());
        ::close(fd_);
        fd_ = -1;
    }

private:
    HRESULT writeInPlace(const Node& root)
    {
        if (HRESULT hr = moveRegions(); FAILED(hr)) return hr;
        uint64_t size = 0;
        HRESULT hr = encodeToFd(root, fd_, size);
        if (FAILED(hr)) return hr;
        if (::ftruncate(fd_, off_t(size)) != 0) return STG_E_WRITEFAULT;
        return S_OK;
    }

    // Streams that still lie in this file (here or in copies of them
    // elsewhere) go on reading an unlinked copy of it from now on: the
    // descriptor they share is turned to the copy.
    HRESULT moveRegions()
    {
        std::shared_ptr<SpillFile> regions = regions_.lock();
        if (!regions) return S_OK;
        struct stat st;
        if (::fstat(fd_, &st) != 0) return STG_E_READFAULT;
        const int copy = openSpillFile();
        if (copy < 0) return STG_E_MEDIUMFULL;
        const bool ok = copyFileBytes(fd_, 0, copy, uint64_t(st.st_size)) && ::dup3(copy, regions->fd, O_CLOEXEC) >= 0;
        ::close(copy);
        if (!ok) return STG_E_MEDIUMFULL;
        regions_.reset();
        return S_OK;
    }

    std::string path_;
    int fd_;
    bool deleteOnRelease_;
    std::weak_ptr<SpillFile> regions_;
};

// An ILockBytes that receives the whole file at every write.
class LockBytesBacking final : public Backing {
public:
    explicit LockBytesBacking(ILockBytes* lb) : lb_(lb) { lb_->AddRef(); }
    ~LockBytesBacking() override { close(); }

    HRESULT write(const Node& root, DWORD) override
    {
        if (!lb_) return STG_E_REVERTED;
        Encoded enc;
        HRESULT hr = encode(root, enc);
        if (FAILED(hr)) return hr;
        return writeBytes(enc.data(), enc.size());
    }

    void close() override
    {
        if (lb_) lb_->Release();
        lb_ = nullptr;
    }

private:
    HRESULT writeBytes(const uint8_t* bytes, size_t size)
    {
        ULARGE_INTEGER sz;
        sz.QuadPart = size;
        HRESULT hr = lb_->SetSize(sz);
        if (FAILED(hr)) return hr;
        size_t done = 0;
        while (done < size) {
            ULONG chunk = ULONG(std::min<size_t>(size - done, size_t(1) << 30));
            ULARGE_INTEGER at;
            at.QuadPart = done;
            ULONG w = 0;
            hr = lb_->WriteAt(at, bytes + done, chunk, &w);
            if (FAILED(hr)) return hr;
            if (w != chunk) return STG_E_WRITEFAULT;
            done += chunk;
        }
        return lb_->Flush();
    }

    ILockBytes* lb_;
};

// Reads the whole content of an ILockBytes. The buffer grows with what is
// actually read, not with the size the object claims.
HRESULT readLockBytes(ILockBytes* lb, std::vector<uint8_t>& buf)
{
    STATSTG st;
    std::memset(&st, 0, sizeof st);
    HRESULT hr = lb->Stat(&st, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (st.pwcsName) CoTaskMemFree(st.pwcsName);
    uint64_t size = st.cbSize.QuadPart;
    buf.clear();
    try {
        while (buf.size() < size) {
            size_t chunk = size_t(std::min<uint64_t>(size - buf.size(), 1u << 20));
            size_t at = buf.size();
            buf.resize(at + chunk);
            ULARGE_INTEGER off;
            off.QuadPart = at;
            ULONG got = 0;
            hr = lb->ReadAt(off, buf.data() + at, ULONG(chunk), &got);
            if (FAILED(hr)) return hr;
            buf.resize(at + std::min<size_t>(got, chunk));
            if (got < chunk) break;
        }
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    return S_OK;
}

DocumentPtr newDocument()
{
    auto doc = std::make_shared<Document>();
    doc->root = std::make_shared<Node>();
    doc->root->storage = true;
    return doc;
}

// Locks the file open on lockFd (lock: LOCK_EX or LOCK_SH) and decodes the
// compound file on fd into a new document (see decodeFile);
// on failure lockFd is closed.
HRESULT lockAndDecode(int lockFd, int lock, int fd, DocumentPtr& doc, std::shared_ptr<SpillFile>& regions)
{
    HRESULT hr = ::flock(lockFd, lock | LOCK_NB) != 0 ? STG_E_SHAREVIOLATION : S_OK;
    if (SUCCEEDED(hr)) {
        doc = newDocument();
        hr = decodeFile(fd, *doc->root, regions);
    }
    if (FAILED(hr)) ::close(lockFd);
    return hr;
}

// Hands out the root storage of a new or opened document; without memory
// for it the document is closed again.
HRESULT handOutRoot(const DocumentPtr& doc, DWORD grfMode, IStorage** ppstgOpen)
{
    IStorage* stg = newRootStorage(doc, grfMode);
    if (!stg) {
        doc->closeRoot();
        return STG_E_INSUFFICIENTMEMORY;
    }
    *ppstgOpen = stg;
    return S_OK;
}

}  // namespace
}  // namespace tvp::stg

using namespace tvp::stg;

HRESULT StgCreateDocfile(const OLECHAR* pwcsName, DWORD grfMode, DWORD, IStorage** ppstgOpen)
{
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (HRESULT hr = checkRootMode(grfMode, true); FAILED(hr)) return hr;
    try {
        std::string path;
        int fd = -1;
        bool created = false;
        if (!pwcsName) {
            const char* dir = std::getenv("TMPDIR");
            path = std::string(dir && *dir ? dir : "/tmp") + "/~DFXXXXXX";
            std::vector<char> name(path.begin(), path.end());
            name.push_back('\0');
            fd = tvp::makeTempName(name.data());
            if (fd < 0) {
                tvp::noteFileFailureAt(errno, path.c_str());
                return errnoToHr(errno, path);
            }
            path = name.data();
            created = true;
        } else {
            path = pathOf(pwcsName);
            if (path.empty()) return STG_E_INVALIDNAME;
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                created = true;
            } else if (errno == EEXIST && (grfMode & STGM_CREATE)) {
                // Replaced only once locked: a file in use stays untouched.
                fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            }
            if (fd < 0) {
                tvp::noteFileFailureAt(errno, path.c_str());
                return errnoToHr(errno, path);
            }
            struct stat st;
            if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
                ::close(fd);
                return STG_E_ACCESSDENIED;
            }
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            if (created) ::unlink(path.c_str());
            return STG_E_SHAREVIOLATION;
        }
        std::string target = resolved(path);
        auto doc = newDocument();
        doc->root->ctime = doc->root->mtime = [] {
            FILETIME ft{};
            CoFileTimeNow(&ft);
            return ft;
        }();
        doc->backing = std::make_unique<FileBacking>(target, fd, (grfMode & STGM_DELETEONRELEASE) != 0);
        doc->rootName = pwcsName ? std::u16string(pwcsName) : tvp::pathToWide(path);
        doc->writable = true;
        doc->deleteOnRelease = (grfMode & STGM_DELETEONRELEASE) != 0;
        doc->dirty = true;
        // The new file is a valid (empty) compound file from the start.
        HRESULT hr = doc->flush(STGC_DEFAULT);
        if (FAILED(hr)) {
            if (created) ::unlink(target.c_str());
            doc->backing->close();
            return hr;
        }
        return handOutRoot(doc, grfMode, ppstgOpen);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT StgOpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude, DWORD,
                       IStorage** ppstgOpen)
{
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!pwcsName) return STG_E_INVALIDNAME;
    if (pstgPriority || snbExclude) return STG_E_INVALIDFUNCTION;
    if (HRESULT hr = checkRootMode(grfMode, false); FAILED(hr)) return hr;
    try {
        std::string path = pathOf(pwcsName);
        if (path.empty()) return STG_E_INVALIDNAME;
        bool write = hasWrite(grfMode);
        int fd = ::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fd < 0) return errnoToHr(errno, path);
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return STG_E_ACCESSDENIED;
        }
        DocumentPtr doc;
        std::shared_ptr<SpillFile> regions;
        HRESULT hr = lockAndDecode(fd, exclusiveLock(grfMode) ? LOCK_EX : LOCK_SH, fd, doc, regions);
        if (FAILED(hr)) return hr;
        doc->root->mtime = doc->root->ctime = fromTimespec(st.st_mtim);
        doc->backing = std::make_unique<FileBacking>(resolved(path), fd, false, regions);
        doc->rootName = pwcsName;
        doc->writable = write;
        return handOutRoot(doc, grfMode, ppstgOpen);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT TvOpenStorageAsCopy(int fd, const OLECHAR* copyPath, IStorage** ppstgOpen)
{
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!copyPath) return STG_E_INVALIDNAME;
    try {
        std::string path = pathOf(copyPath);
        if (path.empty()) return STG_E_INVALIDNAME;
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return STG_E_ACCESSDENIED;
        const int out = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (out < 0) return errnoToHr(errno, path);
        DocumentPtr doc;
        std::shared_ptr<SpillFile> regions;
        HRESULT hr = lockAndDecode(out, LOCK_EX, fd, doc, regions);
        if (FAILED(hr)) return hr;
        // As a copy made now would be; the copy is written at the first
        // commit whatever changed. The streams that stay in the file on fd
        // keep it open themselves; the backing never writes that file.
        FILETIME now{};
        CoFileTimeNow(&now);
        doc->root->mtime = doc->root->ctime = now;
        doc->backing = std::make_unique<FileBacking>(resolved(path), out, false);
        doc->rootName = copyPath;
        doc->writable = true;
        doc->dirty = true;
        return handOutRoot(doc, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, ppstgOpen);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT StgIsStorageFile(const OLECHAR* pwcsName)
{
    if (!pwcsName) return STG_E_INVALIDNAME;
    std::string path = pathOf(pwcsName);
    if (path.empty()) return STG_E_INVALIDNAME;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errnoToHr(errno, path);
    uint8_t head[512];
    size_t got = 0;
    while (got < sizeof head) {
        ssize_t r = ::pread(fd, head + got, sizeof head - got, off_t(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += size_t(r);
    }
    ::close(fd);
    return checkHeader(head, got) == S_OK ? S_OK : S_FALSE;
}

HRESULT StgCreateDocfileOnILockBytes(ILockBytes* plkbyt, DWORD grfMode, DWORD, IStorage** ppstgOpen)
{
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!plkbyt) return STG_E_INVALIDPOINTER;
    if (HRESULT hr = checkRootMode(grfMode, true); FAILED(hr)) return hr;
    try {
        if (!(grfMode & STGM_CREATE)) {
            STATSTG st;
            std::memset(&st, 0, sizeof st);
            HRESULT hr = plkbyt->Stat(&st, STATFLAG_NONAME);
            if (FAILED(hr)) return hr;
            if (st.pwcsName) CoTaskMemFree(st.pwcsName);
            if (st.cbSize.QuadPart) return STG_E_FILEALREADYEXISTS;
        }
        auto doc = newDocument();
        doc->backing = std::make_unique<LockBytesBacking>(plkbyt);
        doc->writable = true;
        doc->dirty = true;
        HRESULT hr = doc->flush(STGC_DEFAULT);
        if (FAILED(hr)) {
            doc->backing->close();
            return hr;
        }
        return handOutRoot(doc, grfMode, ppstgOpen);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT StgOpenStorageOnILockBytes(ILockBytes* plkbyt, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude,
                                   DWORD, IStorage** ppstgOpen)
{
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!plkbyt) return STG_E_INVALIDPOINTER;
    if (pstgPriority || snbExclude) return STG_E_INVALIDFUNCTION;
    if (HRESULT hr = checkRootMode(grfMode, false); FAILED(hr)) return hr;
    try {
        auto doc = newDocument();
        std::vector<uint8_t> bytes;
        HRESULT hr = readLockBytes(plkbyt, bytes);
        if (SUCCEEDED(hr)) hr = decode(bytes.data(), bytes.size(), *doc->root);
        if (FAILED(hr)) return hr;
        bytes = std::vector<uint8_t>();
        doc->backing = std::make_unique<LockBytesBacking>(plkbyt);
        doc->writable = hasWrite(grfMode);
        return handOutRoot(doc, grfMode, ppstgOpen);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT StgIsStorageILockBytes(ILockBytes* plkbyt)
{
    if (!plkbyt) return STG_E_INVALIDPOINTER;
    uint8_t head[512];
    ULARGE_INTEGER at;
    at.QuadPart = 0;
    ULONG got = 0;
    HRESULT hr = plkbyt->ReadAt(at, head, sizeof head, &got);
    if (FAILED(hr)) return hr;
    return checkHeader(head, std::min<size_t>(got, sizeof head)) == S_OK ? S_OK : S_FALSE;
}
