// The TARGET of a compile as the tavolin command keeps it safe: the
// pre-compiler works on a copy (a temporary file beside TARGET; of an
// existing TARGET the copy is written only when the storage over it is
// committed, its content read from TARGET until then), and only a compile
// that succeeded replaces TARGET by it, in one rename. TARGET is never
// written in place: a directory that cannot take the copy (and so not the
// rename) refuses the compile before anything is written. A compile that
// fails, is refused or is interrupted leaves TARGET byte for byte as it was
// (and makes none where there was none).
//
// The new TARGET keeps the mode of the old one, and its owner and group as
// far as the process may set them. A symbolic link as TARGET stays a link:
// the file it names is replaced; a dangling one is a new TARGET, made where
// the link points.
// An existing TARGET stays locked while the copy is in use, with the lock
// the platform's storage takes, so that no other opener writes it meanwhile.
// The copy's name is registered with the platform's temporary names, so that
// a signal handler removes it.
//
// Failures are kept in words for the caller to say ("cannot open TARGET:
// locked by another process"), who adds what became of the compile's files.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>

#include "platform/storage.h"

// What a storage result means, in a few words ("locked by another
// process"); the hexadecimal code for one without words.
std::string storageWords(HRESULT hr);
// The same for an errno value of a file operation.
std::string errnoWords(int e);
// The same for a failure on the file at path: a missing directory is said
// as such, not as a missing file, and a part of the path that is a file
// by its name ("t.dsc is not a directory").
std::string hostPathWords(int e, const std::string& path);
// Whether a file could not be made for want of a resource of the process
// or the system (descriptors, memory, space), not for its directory.
bool hostLacksResources(int e);
// What the file at path is when it is there and is no regular file, links
// followed: "a directory", "a FIFO", "a device" (character or block), "a
// socket"; through a symbolic link "a link to FILE, a device". Empty for a
// regular file, a missing one and a dangling link (a new file is made
// there). Only stat and lstat are called: a FIFO is never opened.
std::string hostNotAFileWords(const std::string& path);
// Why the file at path (links followed) cannot be replaced by a rename,
// though its permissions would let it: it, or its directory, is immutable
// or append-only (chattr +i, +a), which lets no rename over a file nor a
// removal past; an append-only directory takes new files all the same, so
// every temporary file would stay. Empty when it can be, or when the flags
// cannot be read (the steps that write it tell then).
std::string hostUnreplaceableWords(const std::string& path);
// What an immutable or append-only directory (chattr +i, +a) is said to be
// ("is immutable (chattr +i): …"); empty for another, or when its flags
// cannot be read.
std::string hostDirectoryFlagWords(const std::string& dir);
// The directory of the temporary files: $TMPDIR, else /tmp (during a
// compile its private directory, see HostTempDir).
std::string hostTempDir();
// The mode of a new file, as the process's umask makes it.
unsigned hostNewFileMode();
// The directory part of path ("." for a bare name, "/" at the root).
std::string hostDirOf(const std::string& path);
// Makes an empty temporary file from a template ending in "XXXXXX" and a
// suffix of suffixLen bytes, and registers it (a signal handler removes
// it): its name, empty with errno set when it cannot be made. A name the
// system finds too long (a file's name near the limit with ".XXXXXX"
// added) is made as "tavolin.XXXXXX" and the suffix in the same directory
// instead. Its descriptor (read-write, close-on-exec) goes to *fd when fd
// is given, and is closed otherwise.
std::string hostMakeTemp(std::string name, int suffixLen = 0, int* fd = nullptr);
// The same for an empty directory (mode 0700), from a template ending in
// "XXXXXX".
std::string hostMakeTempDir(std::string name);
// TAVOLIN_FAIL_RENAME=N[,N...]: for a test, the Nth rename or removal that
// puts an output in place or back (counted from 1 in the order they come:
// TARGET, the resource script, BASE.m4h, BASE.m4c, then those that put
// them back) fails as with an I/O error. True, with errno EIO, when this
// one is to fail; unset, never.
bool hostPlacingFails();
// Gives the file (at path, or open as fd when fd >= 0) the owner and group
// of the file it is to replace, so that its users keep their access: as
// far as the process may (a user who may not give a file away keeps the
// group where they are in it, else the file stays theirs). Nothing for
// owner -1 (a new file). False with errno on any other failure.
bool hostGiveOwner(const std::string& path, int fd, uid_t owner, gid_t group);
// Keeps a way back to the regular file at file before a rename replaces
// it: a hard link to it under a temporary name beside it, or where the file
// system takes no link a copy of its bytes and mode. The name is
// registered (a signal handler removes it); empty when no way back can be
// made, with the reason in why ("no way back could be kept: ...").
std::string hostKeepWayBack(const std::string& file, std::string& why);
// Puts the file kept by hostKeepWayBack back in place of file, in one
// rename (back is then given up); false with errno.
bool hostPutBack(std::string& back, const std::string& file);
// Removes a way back that is not needed (empties back).
void hostDropWayBack(std::string& back);
// Writes all of n bytes at offset at of fd; false with errno set (ENOSPC
// when the file takes no more).
bool hostWriteAll(int fd, const char* p, size_t n, off_t at);

class TargetFile {
public:
    explicit TargetFile(std::string path) : m_path(path), m_file(std::move(path)) {}
    ~TargetFile()
    {
        discard();
        dropWayBack();
    }
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    const std::string& path() const { return m_path; }
    // True when TARGET names something already (a file, or anything else
    // that openExisting refuses); a dangling link names nothing yet.
    bool exists() const;
    // Locks an existing TARGET and reserves the working copy (an empty
    // file, which openStorage fills). False with the failure kept (no
    // working copy is reserved).
    bool openExisting();
    // Checks that TARGET can be made in its directory (the directory a
    // dangling link points into) and makes its working copy there:
    // make(path) creates the file at a short path in $TMPDIR (any TARGET
    // path the system takes works), which is copied to the working copy.
    // False with the failure kept; one that make said itself is kept empty.
    bool createNew(const std::function<bool(const char* path)>& make);
    // Why openExisting or createNew failed: "cannot open TARGET: reason".
    const std::string& failure() const { return m_failure; }
    // What became of TARGET (see hostFatesWords): the new one after an
    // install that putBack could not take back, else as it was before.
    bool stuck() const { return m_placed; }
    // The working copy the pre-compiler gets as its host storage.
    const std::string& workPath() const { return m_work; }
    // Opens the host storage over the working copy, for reading and
    // writing: a new TARGET's as it was made, an existing one's with the
    // content of TARGET (read from TARGET itself; the copy is written whole
    // at the first commit).
    HRESULT openStorage(IStorage** out);
    // Keeps a way back to an existing TARGET before install (see
    // hostKeepWayBack); false with errno when none can be made, and the
    // compile may still go on without it.
    bool keepWayBack();
    // Replaces TARGET by the working copy (a new TARGET is not put over a
    // file that appeared meanwhile). False with the reason in why
    // (nothing is said); the working copy is removed either way.
    bool install(std::string& why);
    // After install, when an output after TARGET could not be put in place:
    // TARGET as it was again (the old file put back, a new one removed).
    // False with the reason in why when that failed: TARGET is the new one.
    bool putBack(std::string& why);
    // Gives up the way back (after the compile is put in place or back).
    void dropWayBack() { hostDropWayBack(m_back); }
    // Removes the working copy; TARGET stays as it was.
    void discard();

private:
    // A fresh empty file beside TARGET (registered). Empty with the failure
    // kept when TARGET's directory cannot take it.
    std::string reserveWorkName();
    void fail(const char* doing, const std::string& why);

    std::string m_path;
    std::string m_file;  // the file itself: a symbolic link's target
    std::string m_work;
    std::string m_back;    // the way back to the existing TARGET (keepWayBack)
    std::string m_backWhy;  // why none could be kept
    bool m_made = false;   // install made a new TARGET
    bool m_placed = false;  // install put the working copy in place, and it was not put back
    std::string m_failure;
    uid_t m_owner = uid_t(-1);  // of the existing TARGET
    gid_t m_group = gid_t(-1);
    int m_lock = -1;  // open on the existing TARGET, locked
    unsigned m_mode = 0;
};
