#include "base/fs/FsFileMan.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "co/GlobTools.h"
#include "co/TraceApi.h"
#include "platform/library.h"
#include "platform/text.h"

namespace {

const char* const kTraceFile = "base/fs/fs_seman";

using PFN_StgCreateDocfile = HRESULT (*)(const OLECHAR*, DWORD, DWORD, IStorage**);
using PFN_StgOpenStorage = HRESULT (*)(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**);
using PFN_StgIsStorageFile = HRESULT (*)(const OLECHAR*);

struct StorageFunctions {
    PFN_StgCreateDocfile create = nullptr;
    PFN_StgOpenStorage open = nullptr;
    PFN_StgIsStorageFile isStorage = nullptr;
};

// The storage library, bound for one openFile and released when it
// returns. What it made must not need its code afterwards: a library that
// hands out its own storage objects keeps itself loaded (for instance by
// linking with -z nodelete).
class StorageLibrary {
public:
    ~StorageLibrary()
    {
        if (m_lib) FreeLibrary(m_lib);
    }
    bool bind(StorageFunctions& f)
    {
        m_lib = LoadLibraryA("tvstorag");
        if (!m_lib) return false;
        f.create = reinterpret_cast<PFN_StgCreateDocfile>(GetProcAddress(m_lib, "AdoStgCreateDocfile"));
        f.open = reinterpret_cast<PFN_StgOpenStorage>(GetProcAddress(m_lib, "AdoStgOpenStorage"));
        f.isStorage = reinterpret_cast<PFN_StgIsStorageFile>(GetProcAddress(m_lib, "AdoStgIsStorageFile"));
        return f.create && f.open && f.isStorage;
    }

private:
    HMODULE m_lib = nullptr;
};

bool fileExists(const char* path) { return path && ::access(path, F_OK) == 0; }

bool modificationTime(const char* path, time_t& t)
{
    struct stat st;
    if (::stat(path, &st) != 0) return false;
    t = st.st_mtime;
    return true;
}

// Copies a file over another (replacing it). False on any failure.
bool copyFile(const char* from, const char* to)
{
    int in = ::open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    int out = ::open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof(buf));
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    if (::close(out) != 0) ok = false;
    ::close(in);
    return ok;
}

// A name in dir that does not exist yet, starting with prefix.
std::string freshName(const std::string& dir, const char* prefix)
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char tail[32];
        std::snprintf(tail, sizeof(tail), "%05x%03x", unsigned(rd()) & 0xFFFFF, (counter++) & 0xFFF);
        std::string path = dir + "/" + prefix + tail;
        if (!fileExists(path.c_str())) return path;
    }
    return std::string();
}

std::string currentDirectory()
{
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof(buf))) return std::string();
    return buf;
}

// A new temporary file for a working copy; empty when none can be made.
std::string tempCopyName()
{
    String t = createTempName(true);
    return std::string(t.chars(), size_t(t.length()));
}

}  // namespace

// ---------------------------------------------------------------------------
// FsFile
// ---------------------------------------------------------------------------

FsFile::FsFile() { m_name[0] = 0; }

FsFile::~FsFile() {}

uint32_t FsFile::CloseFile() { return 0; }

bool FsFile::absolutePath(const char* path, char (&out)[FS_MAX_PATH])
{
    out[0] = 0;
    if (!path) return false;
    size_t len = std::strlen(path);
    if (len >= FS_MAX_PATH || len == 0) return false;
    std::string result;
    bool driveForm = len >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    if (path[0] == '/' || driveForm) {
        result = path;
    } else {
        const char* slash = std::strrchr(path, '/');
        if (slash) {
            std::string dir(path, size_t(slash - path));
            if (dir.empty()) dir = "/";
            char resolved[PATH_MAX];
            if (!::realpath(dir.c_str(), resolved)) return false;
            result = resolved;
            if (result.empty() || result.back() != '/') result += '/';
            result += slash + 1;
        } else {
            std::string cwd = currentDirectory();
            if (cwd.empty()) return false;
            result = cwd;
            if (result.back() != '/') result += '/';
            result += path;
        }
    }
    if (result.size() >= FS_MAX_PATH) return false;
    std::memcpy(out, result.c_str(), result.size() + 1);
    return true;
}

uint32_t FsFile::setName(const char* path)
{
    char abs[FS_MAX_PATH];
    if (!absolutePath(path, abs)) return 1;
    std::memcpy(m_name, abs, sizeof(m_name));
    return 0;
}

uint32_t FsFile::removeFile()
{
    if (!m_name[0]) return 1;
    if (CloseFile() != 0) return 1;
    return ::unlink(m_name) == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// FsFileMan
// ---------------------------------------------------------------------------

FsFileMan::FsFileMan() : m_fileTime(0) { m_tempName[0] = 0; }

FsFileMan::FsFileMan(IStorage* storage) : FsSectMan(storage), m_fileTime(0) { m_tempName[0] = 0; }

FsFileMan::~FsFileMan()
{
    if (m_pStorage && CloseFile() != 0)
        TV_TRACE(4, kTraceFile, "FsFileMan::~FsFileMan", "error calling FsFileMan::CloseFile");
}

uint32_t FsFileMan::setTempName(const char* path)
{
    char abs[FS_MAX_PATH];
    if (!absolutePath(path, abs)) return 1;
    std::memcpy(m_tempName, abs, sizeof(m_tempName));
    return 0;
}

void FsFileMan::forgetTempCopy()
{
    if (m_tempName[0] && ::unlink(m_tempName) != 0)
        TV_TRACE(4, kTraceFile, "FsFileMan::CloseFile", "error calling DeleteFile");
    m_tempName[0] = 0;
}

uint32_t FsFileMan::openFile(const char* path, uint32_t flags)
{
    if (m_pStorage) return FS_ALREADY_OPEN;

    StorageFunctions fn;
    StorageLibrary library;
    if (flags & FS_OPEN_STORAGE_LIB) {
        if (!library.bind(fn)) return FS_FAILED;
    } else {
        fn.create = &StgCreateDocfile;
        fn.open = &StgOpenStorage;
        fn.isStorage = &StgIsStorageFile;
    }
    if (flags & FS_OPEN_CREATE) flags |= FS_OPEN_WRITE;
    const DWORD access = (flags & FS_OPEN_WRITE) ? (STGM_READWRITE | STGM_SHARE_EXCLUSIVE)
                                                 : (STGM_READ | STGM_SHARE_EXCLUSIVE);
    m_flags = flags & (FS_OPEN_WRITE | FS_OPEN_TEMP_COPY);
    const bool discard = (flags & FS_OPEN_CREATE) && (flags & FS_OPEN_DISCARD) && !(flags & FS_OPEN_TEMP_COPY);
    setCommitOnClose(!discard);
    m_lent = 0;
    m_tempName[0] = 0;
    m_magic = -1;  // not known until the header of an opened file is read

    std::string filePath = path ? path : "";
    IStorage* stg = nullptr;

    if (flags & FS_OPEN_CREATE) {
        if (flags & FS_OPEN_MEMORY) {
            if (!createMemStorage(&stg) || !stg) return FS_CREATE_FAILED;
            bindStorage(stg);
            stg->Release();
            if (!filePath.empty() && setName(filePath.c_str()) != 0) {
                bindStorage(nullptr);
                return FS_FAILED;
            }
            return FS_OK;
        }
        if (filePath.empty()) {
            std::string cwd = currentDirectory();
            filePath = cwd.empty() ? std::string() : freshName(cwd, "Fs");
            if (filePath.empty()) return FS_CREATE_FAILED;
        }
        char abs[FS_MAX_PATH];
        if (!absolutePath(filePath.c_str(), abs)) return FS_FAILED;
        std::string target = filePath;
        if (flags & FS_OPEN_TEMP_COPY) {
            std::string temp = tempCopyName();
            if (temp.empty()) return FS_FAILED;
            if (setTempName(temp.c_str()) != 0) {
                ::unlink(temp.c_str());
                return FS_FAILED;
            }
            target = temp;
        }
        std::u16string w = tvp::pathToWide(target);
        const DWORD mode = access | STGM_CREATE | (discard ? STGM_DELETEONRELEASE : 0);
        if (FAILED(fn.create(w.c_str(), mode, 0, &stg)) || !stg) {
            if (flags & FS_OPEN_TEMP_COPY) {
                forgetTempCopy();
                return FS_FAILED;
            }
            return FS_CREATE_FAILED;
        }
    } else {
        if (!fileExists(filePath.c_str())) return FS_NOT_FOUND;
        char abs[FS_MAX_PATH];
        if (!absolutePath(filePath.c_str(), abs)) return FS_FAILED;
        std::u16string w = tvp::pathToWide(filePath);
        if (fn.isStorage(w.c_str()) != S_OK) return FS_WRONG_KIND;

        bool useCopy = (flags & FS_OPEN_TEMP_COPY) != 0;
        if (!useCopy) {
            HRESULT hr = fn.open(w.c_str(), nullptr, access, nullptr, 0, &stg);
            if (FAILED(hr) || !stg) {
                stg = nullptr;
                if (flags & FS_OPEN_WRITE) return FS_OPEN_FAILED;
                useCopy = true;  // held elsewhere: read a copy instead
            }
        }
        if (useCopy) {
            std::string temp = tempCopyName();
            if (temp.empty()) return FS_FAILED;
            if (!copyFile(filePath.c_str(), temp.c_str()) || setTempName(temp.c_str()) != 0) {
                ::unlink(temp.c_str());
                return FS_FAILED;
            }
            std::u16string wt = tvp::pathToWide(temp);
            HRESULT hr = fn.open(wt.c_str(), nullptr, access, nullptr, 0, &stg);
            if (FAILED(hr) || !stg) {
                forgetTempCopy();
                return FS_OPEN_FAILED;
            }
            m_flags |= FS_OPEN_TEMP_COPY;
        }
    }

    bindStorage(stg);
    stg->Release();
    if (!(flags & FS_OPEN_CREATE)) {
        uint32_t r = ListAll();
        if (r != FS_OK) return r;
        ReadMagicNumber();
    }
    if (setName(filePath.c_str()) != 0) {
        clearMaps();
        bindStorage(nullptr);
        forgetTempCopy();
        return FS_FAILED;
    }
    if (onTempCopy()) modificationTime(m_name, m_fileTime);
    return FS_OK;
}

uint32_t FsFileMan::CloseFile()
{
    if (!m_pStorage) return FS_FAILED;
    if (CloseAll() != FS_OK) return FS_FAILED;
    dropStorage();
    m_lent = 0;
    forgetTempCopy();
    return FS_OK;
}

uint32_t FsFileMan::saveFile()
{
    if (!isWritable()) return FS_LENT;
    if (!m_pStorage) return FS_NO_STORAGE;
    // The file (or the copy, before it is copied back) gets everything
    // written so far, including what open sections still hold.
    flushAll();
    if (!m_lent && FAILED(m_pStorage->Commit(STGC_DEFAULT)))
        TV_TRACE(4, kTraceFile, "FsFileMan::saveFile", "error calling Commit");
    if (!onTempCopy()) return FS_OK;
    if (!m_name[0]) return FS_NOT_FOUND;
    time_t now = 0;
    if (modificationTime(m_name, now) && now > m_fileTime) {
        TraceRecord rec(3, __LINE__, kTraceFile, "FsFileMan::saveFile");
        traceLine(rec, "file %s was changed since last open or save op", m_name);
    }
    if (!copyFile(m_tempName, m_name)) {
        TV_TRACE(4, kTraceFile, "FsFileMan::saveFile", "error calling CopyFile from %s to %s, %0x", m_tempName,
                 m_name, unsigned(errno));
        return FS_COPY_BACK_FAILED;
    }
    modificationTime(m_name, m_fileTime);
    return FS_OK;
}

uint32_t FsFileMan::ReadMagicNumber()
{
    FsSecCl* s = nullptr;
    uint32_t r = openSect("header", &s, 0);
    if (r != FS_OK || !s) return r == FS_OK ? FS_FAILED : r;
    int32_t magic = -1;
    *s >> magic;
    uint32_t err = s->getError();
    if (!err) m_magic = magic;
    if (CloseSect("header") != FS_OK)
        TV_TRACE(4, kTraceFile, "FsFileMan::ReadMagicNumber", "internal error closing section");
    return err ? FS_FAILED : FS_OK;
}

// ---------------------------------------------------------------------------
// FsStdFile
// ---------------------------------------------------------------------------

FsStdFile::FsStdFile() {}

FsStdFile::~FsStdFile()
{
    if (is_open()) std::fstream::close();
}

uint32_t FsStdFile::open(const char* path, std::ios_base::openmode mode)
{
    std::string p = path ? path : "";
    if (p.empty()) {
        if (!((mode & std::ios_base::out) && (mode & std::ios_base::trunc))) return 1;
        std::string cwd = currentDirectory();
        if (cwd.empty()) return 1;
        p = freshName(cwd, "FS");
        if (p.empty()) return 1;
    }
    std::fstream::open(p.c_str(), mode);
    if (!is_open()) return 1;
    return setName(p.c_str());
}

uint32_t FsStdFile::CloseFile()
{
    if (is_open()) std::fstream::close();
    return 0;
}
