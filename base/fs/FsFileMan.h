// Files: FsFile holds the absolute path of a file; FsFileMan opens or
// creates one compound file (on disk or in memory) and makes it the storage
// of its FsSectMan part, optionally working on a temporary copy that
// saveFile copies back; FsStdFile is a plain text file on the same base.
#pragma once
#include <cstdint>
#include <ctime>
#include <fstream>

#include "base/fs/FsSecClMem.h"
#include "base/fs/FsSectMan.h"
#include "platform/storage.h"

// Open flags of FsFileMan::openFile.
constexpr uint32_t FS_OPEN_WRITE = 0x01;        // read-write
constexpr uint32_t FS_OPEN_CREATE = 0x04;       // create (implies write)
constexpr uint32_t FS_OPEN_MEMORY = 0x08;       // with create: in memory, no file
constexpr uint32_t FS_OPEN_STORAGE_LIB = 0x10;  // use the storage library "tvstorag"
constexpr uint32_t FS_OPEN_TEMP_COPY = 0x20;    // work on a temporary copy
// With create: a scratch file that nothing reads from disk - closing it
// neither commits nor writes it, and removes it.
constexpr uint32_t FS_OPEN_DISCARD = 0x40;

constexpr size_t FS_MAX_PATH = 260;

class FsFile {
public:
    FsFile();
    virtual ~FsFile();
    // Closes the file; 0 on success.
    virtual uint32_t CloseFile();

    // Makes the path absolute and keeps it: a path starting with '/' or a
    // drive letter and a colon is taken as it stands, a path with a
    // directory part is resolved against the working directory (which is
    // never changed), a bare name is put in the working directory. 1 when
    // the path (or the result) has 260 characters or more, or its
    // directory does not exist.
    uint32_t setName(const char* path);
    const char* getFileName() const { return m_name; }
    bool hasName() const { return m_name[0] != 0; }
    // Closes the file and deletes it: 1 without a name or when the close
    // fails or the file cannot be deleted.
    uint32_t removeFile();

    // The absolute form of a path by the rules of setName; false when it
    // cannot be made or does not fit into 260 characters.
    static bool absolutePath(const char* path, char (&out)[FS_MAX_PATH]);

protected:
    char m_name[FS_MAX_PATH];
};

class FsFileMan : public FsFile, public virtual FsSectMan {
public:
    FsFileMan();
    // Over a storage of the caller (listed at once).
    explicit FsFileMan(IStorage* storage);
    ~FsFileMan() override;

    // 0 success; 1 the storage library or one of its entry points is
    // missing, no temporary name, a copy or path operation failed; 3 a
    // storage is open already; 4 create failed; 7 open failed; 8 the file
    // does not exist; 11 not a compound file; else the result of ListAll
    // (the storage then stays open). The storage library of 0x10 is loaded
    // for this call only and released when it returns.
    uint32_t openFile(const char* path, uint32_t flags);
    // 1 when no storage is open or an open section cannot be closed; else
    // releases the storage and deletes a working copy.
    uint32_t CloseFile() override;
    // Commits the storage (open sections included) and, with a working copy,
    // copies the copy back over the opened file. 13 not writable, 9 no
    // storage, 8 no file name, 14 the copy back failed; 0 also when there
    // is no copy.
    uint32_t saveFile();
    // Reads the first signed 32-bit value of the section "header" into the
    // magic number; 0 on success.
    uint32_t ReadMagicNumber();

    static bool createMemStorage(IStorage** out) { return fsCreateMemStorage(out); }

    uint32_t setTempName(const char* path);
    const char* getTempName() const { return m_tempName; }
    bool onTempCopy() const { return m_tempName[0] != 0; }

protected:
    void forgetTempCopy();

    char m_tempName[FS_MAX_PATH];
    time_t m_fileTime;
};

class FsStdFile : public FsFile, public std::fstream {
public:
    FsStdFile();
    ~FsStdFile() override;

    // Opens the stream. An empty path with a mode that has out and trunc
    // opens a new temporary file (name starting "FS") in the working
    // directory. 1 when the stream does not open or the path is unusable.
    uint32_t open(const char* path, std::ios_base::openmode mode);
    uint32_t close() { return CloseFile(); }
    uint32_t CloseFile() override;
};
