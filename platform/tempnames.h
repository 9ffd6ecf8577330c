// The temporary files this process has made and not yet removed, kept where
// a signal handler can reach them: a command that is interrupted removes
// them before it ends, so that no temporary file outlives it.
//
// Every maker of a temporary file (or directory) registers its name right
// after making it, with the signals held back (TempNameHold) from before the
// making until the name is kept: a handler never finds a file made and not
// yet registered. A registered directory is removed with everything in it,
// so that a file made in it by a component that does not register its
// files (the macro files a compiler writes beside a temporary name) goes
// with it.
// A name need not be given up again: one that no longer names a file is
// forgotten at a later registration (the table holds only the files that
// still exist), and removing one that is gone already does no harm. A name
// that does not fit (longer than kTempNameMax bytes, or the table is full)
// is not kept; the file itself is not affected. Every path the system
// takes fits: the longest is PATH_MAX bytes with its terminating NUL.
//
// One table per copy of this layer: a shared library that links the layer
// has its own, which its host reaches through the library's export.
#pragma once
#include <signal.h>

#include <climits>
#include <cstddef>

namespace tvp {

// Longest path kept, in bytes (without the NUL).
inline constexpr size_t kTempNameMax = PATH_MAX - 1;
// Most names kept at once.
inline constexpr size_t kTempNameSlots = 64;

// Keeps path for removeTempNamesNow.
void registerTempName(const char* path);
// Makes a temporary file from tmpl, a path ending in six X and then
// suffixLen bytes (the X are replaced in place), open with close-on-exec and
// mode 0600, or with dir a directory, and keeps its name, with the signals
// held back between (TempNameHold): the descriptor (0 for a directory), or
// -1 with errno when nothing could be made (tmpl is then undefined).
int makeTempName(char* tmpl, int suffixLen = 0, bool dir = false);
// Forgets path (after it was renamed or removed by its owner).
void forgetTempName(const char* path);
// Removes every kept file, then every kept directory with what is left in
// it (kTempTreeDepth levels down at most). Async-signal-safe: only open,
// getdents64, unlink(at), rmdir and close are called, no memory is allocated
// and no lock is taken.
void removeTempNamesNow();
// Levels of directories below a kept one that removeTempNamesNow empties.
inline constexpr int kTempTreeDepth = 8;

// Holds back every signal that can be held, in the calling thread, for its
// life; the mask before is restored at its end (a signal that came
// meanwhile is handled then). Made around the making and registering of a
// temporary name.
class TempNameHold {
public:
    TempNameHold();
    ~TempNameHold();
    TempNameHold(const TempNameHold&) = delete;
    TempNameHold& operator=(const TempNameHold&) = delete;

private:
    sigset_t m_before;
};
// How many names are kept (for tests).
size_t tempNameCount();

// The last failure of this copy of the layer to make, open or write a file
// (a full device, no descriptor left), kept for a host that says why a
// working file could not be made or a source not opened: the system's error
// number and the directory of the file. A later failure takes its place.
void noteFileFailure(int err, const char* dir);
// The same for the file at path.
void noteFileFailureAt(int err, const char* path);
// The same for the file open on fd (its directory read from /proc).
void noteFileFailureOn(int err, int fd);
// The error number of the failure kept (0: none since the last take) and,
// when dir is given, its directory (empty when unknown); forgets it.
int takeFileFailure(char* dir, size_t size);

}  // namespace tvp
