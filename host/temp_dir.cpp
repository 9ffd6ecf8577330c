// The private directory of a compile's temporary files (see temp_dir.h).
#include "host/temp_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "co/GlobTools.h"
#include "host/target_file.h"
#include "platform/tempnames.h"

namespace {

// The directory of temporary files as the user named it, while a private
// directory stands in for it in TMPDIR.
std::string g_shown;

// Whether the pre-compiler takes dir as it stands (see kHostPlainTempDirMax).
bool plainName(const std::string& dir)
{
    if (dir.empty() || dir[0] != '/' || dir.size() > kHostPlainTempDirMax) return false;
    for (unsigned char c : dir)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// The short name /proc gives the directory open on fd; empty when it gives
// none that reaches that directory.
std::string procName(int fd)
{
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    struct stat byName, byFd;
    if (::stat(name.c_str(), &byName) != 0 || ::fstat(fd, &byFd) != 0) return std::string();
    if (byName.st_dev != byFd.st_dev || byName.st_ino != byFd.st_ino) return std::string();
    return name;
}

}  // namespace

std::string hostTempDirShown()
{
    return g_shown.empty() ? hostTempDir() : g_shown;
}

bool HostTempDir::open(const std::string& tail)
{
    if (!m_dir.empty()) return true;
    const char* env = std::getenv("TMPDIR");
    m_hadTmpdir = env != nullptr;
    m_tmpdir = env ? env : "";
    const std::string given = hostTempDir();
    const char* const named = env && *env ? " (TMPDIR)" : "";
    m_parent = ::open(given.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_parent < 0) {
        std::fprintf(stderr, "tavolin: cannot use the directory of temporary files %s%s: %s%s\n", given.c_str(), named,
                     hostPathWords(errno, given).c_str(), tail.c_str());
        return false;
    }
    std::string base = given;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (!plainName(base)) {
        base = procName(m_parent);
        if (base.empty()) {
            std::fprintf(stderr,
                         "tavolin: the directory of temporary files %s%s cannot be used: the pre-compiler takes it "
                         "only as an absolute path of printable ASCII of at most %zu bytes, and /proc gives it no "
                         "shorter name%s\n",
                         given.c_str(), named, kHostPlainTempDirMax, tail.c_str());
            ::close(m_parent);
            m_parent = -1;
            return false;
        }
    }
    m_dir = hostMakeTempDir(base + "/tavolin.XXXXXX");
    if (m_dir.empty()) {
        std::fprintf(stderr, "tavolin: cannot make a directory in the directory of temporary files %s%s: %s%s\n",
                     given.c_str(), named, errnoWords(errno).c_str(), tail.c_str());
        ::close(m_parent);
        m_parent = -1;
        return false;
    }
    g_shown = given;
    ::setenv("TMPDIR", m_dir.c_str(), 1);
    return true;
}

void HostTempDir::close()
{
    if (m_dir.empty()) return;
    removeDirectoryTree(m_dir.c_str());
    tvp::forgetTempName(m_dir.c_str());
    m_dir.clear();
    ::close(m_parent);
    m_parent = -1;
    g_shown.clear();
    if (m_hadTmpdir)
        ::setenv("TMPDIR", m_tmpdir.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}
