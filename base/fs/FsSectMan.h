// FsSectMan: the directory of one storage of a compound file. It knows the
// names of the storage's streams (sections) and sub-storages (directories),
// opens, creates, closes, renames and destroys them by name, owns the
// FsSecCl objects of open sections and the FsSectMan objects of open
// sub-storages, copies storages and sections, and can lend its storage to
// other code.
//
// Result codes (FsResult):
//   0 success, 1 failure, 2 exists, 3 open already, 4 create failed,
//   5 destroy failed, 6 close failed, 7 open failed, 8 not found,
//   9 no storage, 10 object unknown, 11 not a file of the expected kind,
//   13 lent out or wrong mode, 14 copy back failed.
//
// Open modes: FS_MODE_WRITE (1), FS_MODE_CREATE (4, implies write) and, for
// OpenDir only, FS_MODE_ADOPT (16): bind the caller's own FsSectMan-derived
// object to the sub-storage.
#pragma once
#include <cstdint>
#include <functional>
#include <list>
#include <map>

#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"
#include "platform/storage.h"

enum FsResult : uint32_t {
    FS_OK = 0,
    FS_FAILED = 1,
    FS_EXISTS = 2,
    FS_ALREADY_OPEN = 3,
    FS_CREATE_FAILED = 4,
    FS_DESTROY_FAILED = 5,
    FS_CLOSE_FAILED = 6,
    FS_OPEN_FAILED = 7,
    FS_NOT_FOUND = 8,
    FS_NO_STORAGE = 9,
    FS_UNKNOWN_OBJECT = 10,
    FS_WRONG_KIND = 11,
    FS_LENT = 13,
    FS_COPY_BACK_FAILED = 14,
};

// Orders section and directory names without regard to letter case (a-z
// folded), because the storage underneath compares them that way: there
// "header" and "HEADER" are one element, so a lookup by either spelling
// must find it, and creating "header" beside an existing "HEADER" answers
// 2 (exists) here instead of replacing that element in the storage. The
// names keep the spelling they were listed or created with; enumeration
// and CloseAll follow this order.
struct FsNameLess {
    bool operator()(const String& a, const String& b) const { return String::fcompare(a, b) < 0; }
};

// Makes the section object of a caller's class (null on failure).
using FsSecFactory = std::function<FsSecCl*()>;

class FsSectMan {
public:
    using FsSectionMap = std::map<String, FsSecCl*, FsNameLess>;
    using FsDirMap = std::map<String, FsSectMan*, FsNameLess>;

    // With a storage: takes a reference and lists it. A storage that cannot
    // be examined is released and the manager answers 13 from then on.
    explicit FsSectMan(IStorage* storage = nullptr);
    // Closes everything, commits when writable and releases the storage.
    virtual ~FsSectMan();
    FsSectMan(const FsSectMan&) = delete;
    FsSectMan& operator=(const FsSectMan&) = delete;

    // Enters every element of the storage into the maps, by its name in code
    // page 1252; one whose name has a character the code page lacks cannot
    // be named here and is left out (it stays in the storage as it is, and
    // a copy of the whole storage takes it along). 9 no storage, 2 the maps
    // are not empty, 1 an unknown element kind or enumeration failure.
    uint32_t ListAll();

    // --- sections ---
    // Opens (or with FS_MODE_CREATE creates) a section; out is the owned
    // section object. A section that is opened runs its read; when that
    // fails the section stays open, out is set and read's result is
    // returned.
    uint32_t openSect(const char* name, FsSecCl** out, uint32_t mode, const FsSecFactory& factory = nullptr);
    // openSect, creating the section when it is missing and mode writes on
    // a writable manager. Null on failure.
    FsSecCl* getSect(const char* name, uint32_t mode, const FsSecFactory& factory = nullptr);
    // Writes (virtual write) and deletes the section object. A failing write
    // keeps the section open and returns its result.
    uint32_t CloseSect(const char* name);
    uint32_t CloseSect(FsSecCl* section);

    // --- sub-storages ---
    // With FS_MODE_ADOPT *out is the caller's object, which then belongs to
    // this manager (closing the entry deletes it); on failure it stays the
    // caller's.
    uint32_t OpenDir(const char* name, FsSectMan** out, uint32_t mode);
    FsSectMan* getDir(const char* name, uint32_t mode);
    uint32_t CloseDir(const char* name);
    uint32_t CloseDir(FsSectMan* dir);
    // Every open sub-storage, then every open section, in name order.
    uint32_t CloseAll();

    uint32_t DestroySect(const char* name);
    uint32_t DestroyDir(const char* name);
    uint32_t DestroyAll();
    uint32_t Rename(const char* oldName, const char* newName);

    // 0 sub-storage, 1 section, 2 neither.
    uint32_t getType(const char* name) const;
    // Size in bytes of a section; 0 when missing.
    uint32_t GetSize(const char* name);
    bool isEmpty(const char* name) { return GetSize(name) == 0; }
    // Enumerate names in order: 0 with the name, 1 after the last.
    uint32_t nextSect(String& name, bool restart);
    uint32_t nextDir(String& name, bool restart);
    // The storage's own name.
    uint32_t getName(String& name);

    // --- lending ---
    // Closes everything and hands out the storage (with a reference); every
    // call answers 13 until releaseIStoragePtr, which lists the storage again.
    bool getIStoragePtr(IStorage** out);
    uint32_t releaseIStoragePtr();

    // --- copying ---
    // Copies the whole storage into target, whose names must not clash
    // (2, nothing copied).
    uint32_t copyTo(FsSectMan& target);
    // Copies the named sections and sub-storages into target, replacing what
    // target has of those names. 8 for a name this manager does not have.
    uint32_t copyNamed(FsSectMan* target, const std::list<String>& names);
    // A copy of a section into target, or into a new memory stream. *out is
    // null on failure.
    void getCopyOfSect(IStream** out, const char* name, IStream* target = nullptr);
    // A copy of a sub-storage into target, or into a new memory storage.
    void getCopyOfDir(IStorage** out, const char* name, IStorage* target = nullptr);

    // --- state ---
    int32_t getMagic() const { return m_magic; }
    void setMagic(int32_t magic) { m_magic = magic; }
    uint32_t getFlags() const { return m_flags; }
    void setFlags(uint32_t flags) { m_flags = flags; }
    bool isWritable() const { return (m_flags & FS_MODE_WRITE) != 0; }
    bool isLent() const { return m_lent != 0; }
    bool hasStorage() const { return m_pStorage != nullptr; }
    // The storage (no reference added).
    IStorage* storage() const { return m_pStorage; }
    // Writes the windows of every open section below this manager to their
    // streams.
    void flushAll();
    // Whether closing commits the storage (by default when writable). A
    // manager over a storage that another manager owns and commits when it
    // closes (a storage lent for one step) leaves it to that owner: a commit
    // writes the whole compound file anew.
    void setCommitOnClose(bool on) { m_commitOnClose = on; }

protected:
    // Takes a reference to the storage as this manager's (no listing).
    void bindStorage(IStorage* storage);
    // Forgets every entry (objects are not deleted) and releases the
    // storage, committing it first when writable.
    void dropStorage();
    void clearMaps();
    uint32_t closeSectEntry(FsSectionMap::iterator it);
    uint32_t closeDirEntry(FsDirMap::iterator it);

    uint8_t m_lent;
    FsDirMap m_dirs;
    FsSectionMap m_sections;
    String m_sectCursor;
    String m_dirCursor;
    bool m_sectCursorValid;
    bool m_dirCursorValid;
    int32_t m_magic;
    uint32_t m_flags;
    IStorage* m_pStorage;
    bool m_commitOnClose = true;
};
