#include "co/GlobTools.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "co/CoSettings.h"
#include "co/TraceApi.h"
#include "platform/guid.h"
#include "platform/tempnames.h"
#include "platform/text.h"

namespace {

const char* const kSource = "co_globtools";

std::string tempDirectory()
{
    const char* dir = std::getenv("TMPDIR");
    std::string d = dir && *dir ? dir : "/tmp";
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    return d;
}

uint32_t threadId()
{
    return uint32_t(::syscall(SYS_gettid));
}

// Opens a directory below `parent` without following a symbolic link.
int openDirAt(int parent, const char* name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Unlinks every non-directory in the directory and returns the names of its
// sub-directories.
std::vector<std::string> clearFiles(int fd)
{
    std::vector<std::string> dirs;
    int dupFd = ::dup(fd);
    if (dupFd < 0) return dirs;
    DIR* d = ::fdopendir(dupFd);
    if (!d) {
        ::close(dupFd);
        return dirs;
    }
    while (struct dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            dirs.emplace_back(name);
        else
            ::unlinkat(fd, name, 0);
    }
    ::closedir(d);
    return dirs;
}

bool isDriveLetterPath(const char* p)
{
    return ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z')) && p[1] == ':';
}

}  // namespace

// ---- temporary files and directories -------------------------------------

String createTempName(bool unique)
{
    char prefix[32] = "mctmp";
    if (unique) std::snprintf(prefix, sizeof prefix, "mctmp%.8x%.8x", unsigned(::getpid()), unsigned(threadId()));
    // The prefix is at most 20 characters: the last digit of the thread id
    // is cut off.
    prefix[20] = 0;
    std::string tmpl = tempDirectory() + "/" + prefix + "XXXXXX";
    const int fd = tvp::makeTempName(&tmpl[0]);  // exclusive, mode 0600
    if (fd < 0) {
        tvp::noteFileFailure(errno, tempDirectory().c_str());
        TV_TRACE(4, kSource, "createTempName", "error creating a temporary file %s: %s", tmpl.c_str(),
                 std::strerror(errno));
        return String();
    }
    ::close(fd);
    return String(tmpl);
}

String createTempDirectory()
{
    std::string tmpl = tempDirectory() + "/mctmpXXXXXX";
    if (tvp::makeTempName(&tmpl[0], 0, true) < 0) {
        TV_TRACE(4, kSource, "createTempDirectory", "error creating a temporary directory %s: %s",
                 tmpl.c_str(), std::strerror(errno));
        return String();
    }
    return String(tmpl);
}

bool removeDirectoryTree(const char* path)
{
    if (!path || !*path) return false;
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;

    // Walks down one open directory at a time, so neither the depth nor the
    // length of the paths below is limited by descriptors or PATH_MAX.
    struct Level {
        std::string name;                 // name in the parent directory
        std::vector<std::string> pending; // sub-directories still to clear
    };
    std::vector<Level> stack;
    stack.push_back({std::string(), clearFiles(fd)});
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.pending.empty()) {
            if (stack.size() == 1) break;
            int parent = openDirAt(fd, "..");
            if (parent < 0) break;
            ::unlinkat(parent, top.name.c_str(), AT_REMOVEDIR);
            ::close(fd);
            fd = parent;
            stack.pop_back();
            continue;
        }
        std::string name = std::move(top.pending.back());
        top.pending.pop_back();
        int child = openDirAt(fd, name.c_str());
        if (child < 0) continue;   // vanished, or a link put in its place
        ::close(fd);
        fd = child;
        std::vector<std::string> dirs = clearFiles(fd);
        stack.push_back({std::move(name), std::move(dirs)});
    }
    ::close(fd);
    if (::rmdir(path) != 0) {
        TV_TRACE(4, kSource, "removeDirectoryTree", "error removing directory %s: %s", path,
                 std::strerror(errno));
        return false;
    }
    return true;
}

// ---- paths ----------------------------------------------------------------

bool isAbsolutePath(const char* p)
{
    return p && (isDriveLetterPath(p) || p[0] == '\\' || p[0] == '/');
}

// Without a configuration directory the path stays relative (false): the
// joined form would be "\" and the path, the same name at the root of the
// current drive, which is another file than the one meant; left relative,
// it is found from the working directory, and the caller can tell from
// the result that nothing was put in front.
bool makeAbsolutePathIn(String& path, const String& configDir)
{
    if (isAbsolutePath(path.c_str()) || configDir.length() == 0) return false;
    if (configDir.c_str()[0] == '/') {
        std::string dir = configDir.stdString();
        while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
        std::string joined = dir + "/" + path.stdString();
        for (char& c : joined)
            if (c == '\\') c = '/';
        path = String(joined);
    } else {
        path = String(configDir.stdString() + "\\" + path.stdString());
    }
    return true;
}

bool makeAbsolutePath(String& path, String* configDir)
{
    if (isAbsolutePath(path.c_str())) return false;
    String dir(tvp::wideToAnsi(getConfigDir()));
    if (configDir) *configDir = dir;
    return makeAbsolutePathIn(path, dir);
}

// ---- texts ----------------------------------------------------------------

String fileTimeToText(const FILETIME& ft)
{
    const uint64_t ticks = uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    if (ticks >> 63) return String();
    const uint64_t ms = ticks / 10000;
    const uint64_t secs = ms / 1000;
    const int64_t days1601 = int64_t(secs / 86400);
    const unsigned secOfDay = unsigned(secs % 86400);

    // Civil date from the day count (proleptic Gregorian calendar), counted
    // from 0000-03-01 so that leap days fall at the end of a year.
    const int64_t z = days1601 - 134774 + 719468;   // 1601-01-01 -> 1970-01-01 -> 0000-03-01
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));

    char buf[64];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d#%02d:%02d:%02d.%d", year, month, day, secOfDay / 3600,
                  secOfDay / 60 % 60, secOfDay % 60, int(ms % 1000));
    return String(buf);
}

String guidToText(const GUID& guid)
{
    return String(tvp::guidToString(guid));
}

bool textToGuid(const char* text, GUID* guid)
{
    if (!guid) return false;
    if (text && tvp::guidFromString(text, *guid)) return true;
    *guid = GUID_NULL;
    return false;
}

String guidNumbersToText(const GUID& guid, int32_t first, int32_t second)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, " %" PRId32 " %" PRId32, first, second);
    return String(tvp::guidToString(guid) + buf);
}

bool textToGuidNumbers(const char* text, GUID* guid, int32_t* first, int32_t* second)
{
    if (!text || !guid || !first || !second) return false;
    const char* blank = std::strchr(text, ' ');
    std::string word = blank ? std::string(text, blank) : std::string(text);
    if (!textToGuid(word.c_str(), guid) || !blank) return false;
    return std::sscanf(blank + 1, " %" SCNd32 " %" SCNd32, first, second) == 2;
}

String objectIdToText(const CoObjectId& id)
{
    if (id.kind == 0) return String("ESOBJID:" + tvp::guidToString(id.guid));
    if (id.kind == 1) {
        char buf[129];
        std::snprintf(buf, sizeof buf, "PXOD:%" PRIX32 ":%" PRIX32 ":%" PRIX32 ":%" PRIX32 ":%" PRIX32
                                       ":%" PRIX32,
                      id.pxod[0], id.pxod[1], id.pxod[2], id.pxod[3], id.pxod[4], id.pxod[5]);
        return String(buf);
    }
    return String();
}

bool textToObjectId(const char* text, CoObjectId* id)
{
    if (!text || !id) return false;
    if (std::strncmp(text, "ESOBJID:", 8) == 0) {
        id->kind = 0;
        return textToGuid(text + 8, &id->guid);
    }
    if (std::strncmp(text, "PXOD:", 5) == 0) {
        id->kind = 1;
        uint32_t* p = id->pxod;
        return std::sscanf(text + 5, "%" SCNx32 ":%" SCNx32 ":%" SCNx32 ":%" SCNx32 ":%" SCNx32 ":%" SCNx32,
                           &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]) == 6;
    }
    return false;
}

// ---- validation patterns -----------------------------------------------------

namespace CoPatterns {

#define CO_PATTERN(fn, text)                                   \
    const boost::regex& fn()                                   \
    {                                                          \
        static const boost::regex re(text, boost::regex::normal); \
        return re;                                             \
    }

CO_PATTERN(whiteSpace, "[ \n\t\r\v\f]+")
CO_PATTERN(letters, "[A-Za-z]+")
CO_PATTERN(signedInteger, "-?[0-9]+")
CO_PATTERN(unsignedInteger, "[0-9]+")
CO_PATTERN(hexDigits, "[0-9a-fA-F]+")
CO_PATTERN(floatNumber, R"(-?(([0-9]+\.[0-9]*)|([0-9]+)|(\.[0-9]+))([eE][-+][0-9]+)?)")
CO_PATTERN(version, R"([0-9]+\.[0-9]+)")
CO_PATTERN(versionSuffix, R"(\.[0-9]+\.[0-9]+)")
CO_PATTERN(identifier, "[A-Za-z_][A-Za-z0-9_]*")
CO_PATTERN(identifierNoDoubleUnderscore, "((_?[A-Za-z])|(_[0-9]))(_?[A-Za-z0-9])*_?")
CO_PATTERN(indexOrMember, R"([\[\.])")
CO_PATTERN(driveLetter, "^[a-zA-Z]:")
CO_PATTERN(leadingBackslash, R"(^\\)")

#undef CO_PATTERN

}  // namespace CoPatterns

namespace {
// Build the patterns while the module loads, as the rest of the system
// expects them to exist from the start.
struct BuildPatterns {
    BuildPatterns()
    {
        CoPatterns::whiteSpace();
        CoPatterns::letters();
        CoPatterns::signedInteger();
        CoPatterns::unsignedInteger();
        CoPatterns::hexDigits();
        CoPatterns::floatNumber();
        CoPatterns::version();
        CoPatterns::versionSuffix();
        CoPatterns::identifier();
        CoPatterns::identifierNoDoubleUnderscore();
        CoPatterns::indexOrMember();
        CoPatterns::driveLetter();
    }
} g_buildPatterns;
}  // namespace
