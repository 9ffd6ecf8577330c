// The library's failure records as the tavolin command reads them (see
// library_records.h): why a file could not be made or written, and why a
// method failed where its status does not say it.
#include "host/library_records.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/target_file.h"
#include "host/temp_dir.h"
#include "platform/tempnames.h"
#include "tools/md/tavolin/MdStatusCodes.h"

namespace {

// The library's record of its last failure to make or write a file; null
// for a library without it.
int (*g_takeFileFailure)(char* dir, size_t size) = nullptr;
// The library's record of why its last method failed where the status does
// not say it; null for a library without it.
int32_t (*g_takeStepCause)() = nullptr;

// The directory a failure was in, in words: the directory of temporary
// files as the user named it for the private one (or anything in it).
std::string failureDirWords(const std::string& dir)
{
    const std::string temps = hostTempDir();
    char real[PATH_MAX];
    const std::string realTemps = ::realpath(temps.c_str(), real) ? real : temps;
    auto within = [&dir](const std::string& top) {
        return dir.compare(0, top.size(), top) == 0 && (dir.size() == top.size() || dir[top.size()] == '/');
    };
    if (within(temps) || within(realTemps)) {
        const char* env = std::getenv("TMPDIR");
        return "the directory of temporary files " + hostTempDirShown() + (env && *env ? " (TMPDIR)" : "");
    }
    return dir;
}

}  // namespace

void hostUseLibraryRecords(int (*takeFileFailure)(char* dir, size_t size), int32_t (*takeStepCause)())
{
    g_takeFileFailure = takeFileFailure;
    g_takeStepCause = takeStepCause;
}

int32_t hostTakeStepCause()
{
    return g_takeStepCause ? g_takeStepCause() : MdCauseNone;
}

HostFileFailure hostTakeFileFailure()
{
    char dir[PATH_MAX] = "";
    int err = g_takeFileFailure ? g_takeFileFailure(dir, sizeof dir) : 0;
    char own[PATH_MAX] = "";
    const int ownErr = tvp::takeFileFailure(own, sizeof own);
    if (!err) {
        err = ownErr;
        std::memcpy(dir, own, sizeof dir);
    }
    return {err, err ? dir : ""};
}

std::string HostFileFailure::words() const
{
    if (!err) return std::string();
    const std::string where = !dir.empty() ? " in " + failureDirWords(dir) : std::string();
    return ", a file" + where + " could not be made or written: " + errnoWords(err);
}

std::string hostFileFailure()
{
    return hostTakeFileFailure().words();
}
