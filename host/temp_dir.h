// The directory of one compile's temporary files. A compile makes a private
// directory "tavolin.XXXXXX" in $TMPDIR (else /tmp) and names it in TMPDIR
// for as long as it runs: the command's temporary files and the
// pre-compiler's (its working file, the copies it hands to the class
// provider) go there, and the directory is removed with whatever is in it
// when the compile ends. Its name is registered with the platform's
// temporary names, after the files in it, so that a signal handler removes
// it once they are gone.
//
// Any TMPDIR works: long, relative, or named in bytes that are not ASCII.
// The pre-compiler takes the paths of its working files only up to 259 bytes
// and hands some of them to components outside it, so it is given a short
// ASCII name: the private directory under TMPDIR as it stands when that is an
// absolute path of printable ASCII of at most kHostPlainTempDirMax bytes,
// else under /proc/self/fd/N, a descriptor open on TMPDIR. Where /proc
// cannot give that name either, a TMPDIR that is too long is refused before
// anything is written, with the reason.
//
// Failures are said in words on standard error ("tavolin: ...").
#pragma once
#include <cstddef>
#include <string>

// The longest TMPDIR handed to the pre-compiler as it stands, in bytes: its
// working files add at most 46 bytes ("/tavolin.XXXXXX/", a name of 26 and
// ".m4h") within its limit of 259.
inline constexpr size_t kHostPlainTempDirMax = 200;

class HostTempDir {
public:
    HostTempDir() = default;
    ~HostTempDir() { close(); }
    HostTempDir(const HostTempDir&) = delete;
    HostTempDir& operator=(const HostTempDir&) = delete;

    // Makes the private directory and names it in TMPDIR; false with a
    // message (nothing is made then).
    bool open(const std::string& tail = std::string());
    // Removes the directory with everything in it, and gives TMPDIR back
    // the value it had.
    void close();
    // The private directory as TMPDIR names it; empty while none is open.
    const std::string& path() const { return m_dir; }

private:
    std::string m_dir;
    int m_parent = -1;  // open on the directory of temporary files
    bool m_hadTmpdir = false;
    std::string m_tmpdir;  // TMPDIR as it was
};

// The directory of temporary files as the user named it ($TMPDIR, else
// /tmp), for messages: also while a private directory stands in for it.
std::string hostTempDirShown();
