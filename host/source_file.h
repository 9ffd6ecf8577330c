// SOURCE as the tavolin command reads it. A compile reads SOURCE more than
// once: the kind of a new or existing TARGET is taken from its headers
// before the pre-compiler opens it, and a source whose kind is in doubt is
// opened a second time. A regular file can be read again; a pipe (a named
// one, or "<(...)" of a shell), a terminal or a device cannot. Such a
// SOURCE is read once, into a temporary file in $TMPDIR that is registered
// with the platform's temporary names (a signal handler removes it), and
// every read of the compile takes that file. A missing SOURCE or a
// directory is left to the pre-compiler, which says it cannot open it.
//
// No SOURCE larger than kHostLargestSource bytes is compiled: a regular file
// is refused by its size, one that is read once is stopped there (/dev/zero
// never ends), both before anything is written.
//
// An ACX file is read the same way when it is a pipe (the reader of the
// pre-compiler seeks in it, and a named pipe whose writer went away would
// hold its opening); any other ACX file is left as it is.
//
// Failures are said in words on standard error ("tavolin: ...").
#pragma once
#include <cstdint>
#include <string>

// The largest source the command compiles, in bytes (256 MiB).
inline constexpr uint64_t kHostLargestSource = uint64_t(256) << 20;

class SourceFile {
public:
    enum class Role { Source, Acx };
    // tail ends each line that says why it failed ("; " and what became of
    // the outputs, or empty).
    explicit SourceFile(std::string source, Role role = Role::Source, std::string tail = std::string())
        : m_source(std::move(source)), m_path(m_source), m_role(role), m_tail(std::move(tail))
    {
    }
    ~SourceFile() { removeCopy(); }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Checks the size of SOURCE and reads one that is not a regular file
    // (an ACX file: a pipe) into its copy, taking at most largest bytes; a
    // named pipe whose writer has not come within a second is said to be
    // waited for. False with a message when SOURCE is larger, or cannot be
    // read or copied (no copy is left).
    bool open(uint64_t largest = kHostLargestSource);
    // The file the compile reads: SOURCE itself, or its copy.
    const std::string& path() const { return m_path; }
    bool copied() const { return !m_copy.empty(); }

private:
    bool copy(int in, uint64_t largest, const char* what);
    void removeCopy();

    std::string m_source;
    std::string m_path;
    std::string m_copy;
    Role m_role;
    std::string m_tail;
};
