#include "host/target_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/compile_outputs.h"
#include "platform/tempnames.h"
#include "platform/text.h"

namespace {

std::string hexCode(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v));
    return buf;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies the content of in (from its start) to out (from its start): in the
// kernel where the two files allow it (the bytes never pass through this
// process), else through a buffer.
bool copyContent(int in, int out)
{
    off_t at = 0;
    for (;;) {
        loff_t from = at, to = at;
        const ssize_t c = ::copy_file_range(in, &from, out, &to, size_t(1) << 30, 0);
        if (c < 0 && errno == EINTR) continue;
        if (c < 0) {
            // Files the kernel cannot copy between go through the buffer
            // from where it stopped; any other failure (a full disk) is one.
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) break;
            return false;
        }
        if (c == 0) return ::ftruncate(out, at) == 0;
        at += c;
    }
    std::vector<char> buf(size_t(1) << 20);
    for (;;) {
        const ssize_t r = ::pread(in, buf.data(), buf.size(), at);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) return ::ftruncate(out, at) == 0;
        if (!hostWriteAll(out, buf.data(), size_t(r), at)) return false;
        at += r;
    }
}

}  // namespace

std::string storageWords(HRESULT hr)
{
    switch (hr) {
    case STG_E_SHAREVIOLATION:
    case STG_E_LOCKVIOLATION:
        return "locked by another process";
    case STG_E_ACCESSDENIED:
        return "no permission";
    case STG_E_FILEALREADYEXISTS:
        return "not a compound file";
    case STG_E_INVALIDHEADER:
        return "not a compound file (its header is damaged)";
    case STG_E_DOCFILECORRUPT:
        return "a damaged compound file";
    case STG_E_FILENOTFOUND:
        return "no such file";
    case STG_E_PATHNOTFOUND:
        return "its directory does not exist";
    case STG_E_MEDIUMFULL:
        return "no space left on the device";
    case STG_E_INSUFFICIENTMEMORY:
        return "not enough memory";
    case STG_E_TOOMANYOPENFILES:
        return "too many open files";
    case STG_E_READFAULT:
        return "a read error";
    case STG_E_WRITEFAULT:
        return "a write error";
    }
    return "hr = " + hexCode(uint32_t(hr));
}

std::string errnoWords(int e)
{
    switch (e) {
    case EWOULDBLOCK:
        return "locked by another process";
    case EACCES:
    case EPERM:
        return "no permission";
    case EROFS:
        return "read-only file system";
    case EISDIR:
        return "a directory";
    case ENOENT:
        return "no such file";
    case ENOTDIR:
        return "a part of its path is not a directory";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return "no space left on the device";
    case EMFILE:
    case ENFILE:
        return "too many open files";
    }
    return std::strerror(e);
}

std::string hostPathWords(int e, const std::string& path)
{
    if (e == ENOENT && !isDirectory(hostDirOf(path))) e = ENOTDIR;
    if (e != ENOTDIR) return errnoWords(e);
    // The first part of the path that stands and is no directory (the path
    // itself, for one that is taken as a directory).
    struct stat st;
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (::stat(part.c_str(), &st) != 0) break;
        if (!S_ISDIR(st.st_mode)) return part + " is not a directory";
        if (end == std::string::npos) break;
    }
    return "its directory does not exist";
}

bool hostLacksResources(int e)
{
    return e == EMFILE || e == ENFILE || e == ENOMEM || e == ENOSPC || e == EDQUOT;
}

std::string hostNotAFileWords(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::string();
    const char* what = S_ISDIR(st.st_mode)    ? "a directory"
                       : S_ISFIFO(st.st_mode) ? "a FIFO"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                     : "not a regular file";
    struct stat link;
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char real[PATH_MAX];
        return std::string("a link to ") + (::realpath(path.c_str(), real) ? real : path.c_str()) + ", " + what;
    }
    return what;
}

namespace {

// The flags chattr sets on the file or directory at path; 0 when they
// cannot be read (a file system without them, no permission to open it).
int attributeFlags(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 0;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) flags = 0;
    ::close(fd);
    return flags;
}

}  // namespace

std::string hostDirectoryFlagWords(const std::string& dir)
{
    const int flags = attributeFlags(dir);
    if (flags & FS_IMMUTABLE_FL) return "is immutable (chattr +i): it takes no new file";
    if (flags & FS_APPEND_FL)
        return "is append-only (chattr +a): it takes new files, but no rename over a file and no removal";
    return std::string();
}

std::string hostUnreplaceableWords(const std::string& path)
{
    const std::string file = hostFileOf(path);
    const std::string dir = hostDirOf(file);
    const std::string inDir = hostDirectoryFlagWords(dir);
    if (!inDir.empty()) return "its directory " + dir + " " + inDir;
    struct stat st;
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
    const int own = attributeFlags(file);
    if (own & FS_IMMUTABLE_FL) return "it is immutable (chattr +i): it cannot be replaced";
    if (own & FS_APPEND_FL) return "it is append-only (chattr +a): it cannot be replaced";
    return std::string();
}

std::string hostTempDir()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

unsigned hostNewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string hostDirOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// hostMakeTemp, or with dir hostMakeTempDir (fd is not used then).
std::string makeTemp(std::string name, int suffixLen, int* fd, bool dir)
{
    for (bool first = true;; first = false) {
        const int made = tvp::makeTempName(&name[0], suffixLen, dir);
        if (made >= 0) {
            if (fd)
                *fd = made;
            else if (!dir)
                ::close(made);
            return name;
        }
        if (errno != ENAMETOOLONG || !first) return std::string();
        const std::string folder = hostDirOf(name);
        const std::string shorter =
            folder + (folder == "/" ? "" : "/") + "tavolin.XXXXXX" + name.substr(name.size() - size_t(suffixLen));
        if (shorter.size() >= name.size()) return std::string();  // errno: still ENAMETOOLONG
        name = shorter;
    }
}

}  // namespace

std::string hostMakeTemp(std::string name, int suffixLen, int* fd)
{
    return makeTemp(std::move(name), suffixLen, fd, false);
}

std::string hostMakeTempDir(std::string name)
{
    return makeTemp(std::move(name), 0, nullptr, true);
}

bool hostWriteAll(int fd, const char* p, size_t n, off_t at)
{
    while (n) {
        const ssize_t w = ::pwrite(fd, p, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return false;
        }
        p += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

bool hostPlacingFails()
{
    static const std::vector<long> failing = [] {
        std::vector<long> n;
        const char* env = std::getenv("TAVOLIN_FAIL_RENAME");
        for (char* p = const_cast<char*>(env); p && *p;) {
            char* end = nullptr;
            const long v = std::strtol(p, &end, 10);
            if (end == p) break;
            n.push_back(v);
            p = *end == ',' ? end + 1 : end;
        }
        return n;
    }();
    static long count = 0;
    ++count;
    for (long n : failing)
        if (n == count) {
            errno = EIO;
            return true;
        }
    return false;
}

bool hostGiveOwner(const std::string& path, int fd, uid_t owner, gid_t group)
{
    if (owner == uid_t(-1)) return true;
    const auto give = [&](uid_t u, gid_t g) {
        return (fd >= 0 ? ::fchown(fd, u, g) : ::chown(path.c_str(), u, g)) == 0;
    };
    if (give(owner, group)) return true;
    if (errno != EPERM) return false;
    if (give(uid_t(-1), group)) return true;
    return errno == EPERM;
}

namespace {

// hostKeepWayBack's way back, empty with errno when none can be made.
std::string linkOrCopy(const std::string& file)
{
    // A fresh name beside the file, taken over by the link (a name another
    // process takes in between is tried again).
    for (int tries = 0; tries < 8; ++tries) {
        std::string back = hostMakeTemp(file + ".XXXXXX");
        if (back.empty()) return back;
        ::unlink(back.c_str());
        if (::link(file.c_str(), back.c_str()) == 0) return back;
        const int err = errno;
        tvp::forgetTempName(back.c_str());
        if (err == EEXIST) continue;
        if (err != EPERM && err != EXDEV && err != EMLINK && err != EOPNOTSUPP) {
            errno = err;
            return std::string();
        }
        break;
    }
    // No link here: a copy of the bytes, with the file's mode.
    int out = -1;
    std::string back = hostMakeTemp(file + ".XXXXXX", 0, &out);
    if (back.empty()) return back;
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    bool ok = in >= 0 && ::fstat(in, &st) == 0 && copyContent(in, out) &&
              hostGiveOwner(back, out, st.st_uid, st.st_gid) && ::fchmod(out, st.st_mode & 07777) == 0;
    const int err = errno;
    if (in >= 0) ::close(in);
    if (::close(out) != 0) ok = false;
    if (!ok) {
        hostDropWayBack(back);
        errno = err;
    }
    return back;
}

}  // namespace

std::string hostKeepWayBack(const std::string& file, std::string& why)
{
    std::string back = linkOrCopy(file);
    if (back.empty()) why = "no way back could be kept: " + errnoWords(errno);
    return back;
}

bool hostPutBack(std::string& back, const std::string& file)
{
    if (hostPlacingFails() || ::rename(back.c_str(), file.c_str()) != 0) return false;
    tvp::forgetTempName(back.c_str());
    back.clear();
    return true;
}

void hostDropWayBack(std::string& back)
{
    if (back.empty()) return;
    ::unlink(back.c_str());
    tvp::forgetTempName(back.c_str());
    back.clear();
}

bool TargetFile::exists() const
{
    struct stat st;
    if (::lstat(m_path.c_str(), &st) != 0) return false;
    // A link whose file is missing is a new TARGET, made where it points.
    return !S_ISLNK(st.st_mode) || ::stat(m_path.c_str(), &st) == 0 || errno != ENOENT;
}

void TargetFile::fail(const char* doing, const std::string& why)
{
    m_failure = std::string("cannot ") + doing + " " + m_path + ": " + why;
}

std::string TargetFile::reserveWorkName()
{
    // Beside TARGET only: the copy replaces TARGET by a rename in its
    // directory, and a directory that cannot take the copy cannot take that
    // rename either; TARGET is then refused, never written in place.
    int fd = -1;
    const std::string name = hostMakeTemp(m_file + ".XXXXXX", 0, &fd);
    if (!name.empty()) {
        if (m_mode) (void)::fchmod(fd, m_mode);
        ::close(fd);
        return name;
    }
    const int err = errno;
    // Without a descriptor or space to spare the directory is not at fault.
    const char* const note = " (TARGET is replaced by a rename in its directory, never written in place)";
    fail("make a working copy of", hostPathWords(err, m_file) + (hostLacksResources(err) ? "" : note));
    return std::string();
}

bool TargetFile::openExisting()
{
    // Non-blocking: a FIFO put there after the checks is refused below,
    // not waited on.
    m_lock = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (m_lock < 0) {
        fail("open", hostPathWords(errno, m_path));
        return false;
    }
    struct stat st;
    if (::fstat(m_lock, &st) != 0) std::memset(&st, 0, sizeof st);
    if (!S_ISREG(st.st_mode)) {
        const std::string what = hostNotAFileWords(m_path);
        fail("open", what.empty() ? "not a regular file" : "it is " + what + ", not a regular file");
        discard();
        return false;
    }
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        fail("open", errnoWords(errno));
        discard();
        return false;
    }
    m_mode = st.st_mode & 07777;
    m_owner = st.st_uid;
    m_group = st.st_gid;
    char real[PATH_MAX];
    if (::realpath(m_path.c_str(), real)) m_file = real;
    m_work = reserveWorkName();
    if (m_work.empty()) {
        discard();
        return false;
    }
    return true;
}

HRESULT TargetFile::openStorage(IStorage** out)
{
    const std::u16string work = tvp::pathToWide(m_work);
    // An existing TARGET is read where it is; the working copy receives the
    // whole file at the first commit.
    if (m_lock >= 0) return TvOpenStorageAsCopy(m_lock, work.c_str(), out);
    return StgOpenStorage(work.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, out);
}

bool TargetFile::createNew(const std::function<bool(const char* path)>& make)
{
    // A dangling link: the file is made where it points, the link stays.
    struct stat st;
    if (::lstat(m_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) m_file = hostFileOf(m_path);
    if (!isDirectory(hostDirOf(m_file))) {
        fail("create", hostPathWords(ENOTDIR, m_file));
        return false;
    }
    m_mode = hostNewFileMode();
    m_work = reserveWorkName();
    if (m_work.empty()) return false;
    // The file is made under a short name in $TMPDIR and copied to the
    // working name: the maker takes paths of a limited length, the working
    // name is as long as TARGET's.
    const std::string scratch = hostMakeTemp(hostTempDir() + "/tavolin.XXXXXX");
    if (scratch.empty()) {
        fail("create", errnoWords(errno));
        discard();
        return false;
    }
    ::unlink(scratch.c_str());  // the maker makes a new file
    bool made = make(scratch.c_str());
    if (made) {
        const int in = ::open(scratch.c_str(), O_RDONLY | O_CLOEXEC);
        const int out = ::open(m_work.c_str(), O_WRONLY | O_CLOEXEC);
        made = in >= 0 && out >= 0 && copyContent(in, out);
        const int err = errno;
        if (in >= 0) ::close(in);
        if (out >= 0 && ::close(out) != 0) made = false;
        if (!made) fail("create", errnoWords(err));
    } else {
        m_failure.clear();  // said by make
    }
    ::unlink(scratch.c_str());
    tvp::forgetTempName(scratch.c_str());
    if (!made) discard();
    return made;
}

bool TargetFile::keepWayBack()
{
    if (m_lock < 0) return true;
    m_back = hostKeepWayBack(m_file, m_backWhy);
    return !m_back.empty();
}

bool TargetFile::install(std::string& why)
{
    if (m_work.empty()) return false;
    bool ok;
    if (hostPlacingFails()) {
        ok = false;
    } else if (m_lock >= 0) {
        // Its users keep their access: the owner and group of the old one
        // (a change of owner clears the set-id bits: the mode goes after).
        ok = hostGiveOwner(m_work, -1, m_owner, m_group) && ::chmod(m_work.c_str(), m_mode) == 0 &&
             ::rename(m_work.c_str(), m_file.c_str()) == 0;
        m_placed = ok;
    } else {
        // A new TARGET: a file that appeared meanwhile is not replaced.
        ok = ::renameat2(AT_FDCWD, m_work.c_str(), AT_FDCWD, m_file.c_str(), RENAME_NOREPLACE) == 0;
        if (!ok && (errno == EINVAL || errno == ENOSYS)) ok = ::link(m_work.c_str(), m_file.c_str()) == 0;
        if (!ok && errno == EEXIST) {
            why = "a file of that name appeared during the compile";
            discard();
            return false;
        }
        m_made = m_placed = ok;
    }
    // The copy is beside TARGET: a rename that fails all the same (the
    // directory was made read-only meanwhile) leaves TARGET as it was.
    if (!ok) why = errnoWords(errno);
    discard();
    return ok;
}

bool TargetFile::putBack(std::string& why)
{
    bool ok = true;
    if (!m_backWhy.empty()) {
        why = m_backWhy;
        return false;
    }
    if (!m_back.empty()) {
        ok = hostPutBack(m_back, m_file);
    } else if (m_made) {
        ok = !hostPlacingFails() && ::unlink(m_file.c_str()) == 0;
        m_made = !ok;
    }
    if (!ok) why = errnoWords(errno);
    m_placed = m_placed && !ok;
    return ok;
}

void TargetFile::discard()
{
    if (!m_work.empty()) {
        ::unlink(m_work.c_str());
        tvp::forgetTempName(m_work.c_str());
        m_work.clear();
    }
    if (m_lock >= 0) {
        ::close(m_lock);
        m_lock = -1;
    }
}
