// Words for what the pre-compiler's methods report (see status_words.h):
// statuses, causes, and why a file cannot be opened.
#include "host/status_words.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "host/target_file.h"
#include "platform/wintypes.h"
#include "tools/md/tavolin/MdStatusCodes.h"

std::string hostHex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v));
    return buf;
}

bool hostMemoryRanOut(int32_t hr)
{
    return hr == int32_t(E_OUTOFMEMORY) || hr == int32_t(STG_E_INSUFFICIENTMEMORY);
}

namespace {

// A status and the words for it.
struct StatusWords {
    int32_t status;
    const char* words;
};

const char kWrongKind[] = "wrong object kind";
const char kSectionErrors[] = "the section has errors or its results could not be written";
const char kStreamMissing[] = "its temporary stream is missing or unreadable";

// Each method's own statuses, as the method gives them; a status a method
// shares with others in number means there what that method makes of it.
const StatusWords* statusListOf(const std::string& method, bool acx)
{
    static const StatusWords openSource[] = {
        {MdStatusWrongKind, "no object kind to read the ACX file for"},
        {MdStatusCompileFailed, "the source has errors"},
        {MdStatusNotFound, "the source cannot be read"},
        {MdStatusFailed, "no working file could be made from the target"},
        {0, nullptr}};
    static const StatusWords sysVars[] = {
        {MdStatusWrongKind, kWrongKind},
        {MdStatusFailed, "its temporary stream or temporary file could not be opened"},
        {0, nullptr}};
    static const StatusWords sysFunctions[] = {
        {MdStatusWrongKind, kWrongKind},
        {MdStatusFailed, "its temporary stream or temporary file, the storage \"code\" or a descriptor file could "
                         "not be opened"},
        {0, nullptr}};
    static const StatusWords comments[] = {
        {MdStatusWrongKind, kWrongKind},
        {MdStatusCompileFailed, kSectionErrors},
        {MdStatusNotFound, "a temporary stream or section is missing or unreadable, or the string tables could not "
                           "be written"},
        {MdStatusFailed, "its temporary stream or the section \"varcomment\" could not be opened"},
        {0, nullptr}};
    static const StatusWords variables[] = {
        {MdStatusWrongKind, kWrongKind},
        {MdStatusCompileFailed, kSectionErrors},
        {MdStatusNotFound, kStreamMissing},
        {MdStatusFailed, "its temporary stream could not be opened"},
        {0, nullptr}};
    // With an ACX file the import's statuses come after the compile's: the
    // method reaches its kind check and its stream only before it.
    static const StatusWords variablesAcx[] = {
        {MdStatusWrongKind, "enumeration numbers not 16 bits"},
        {MdStatusCompileFailed, kSectionErrors},
        {MdStatusNotFound, "its temporary stream is missing or unreadable, or the ACX import could not read the "
                           "system-variable table or a section"},
        {MdStatusNoCfgHead, "a section the ACX import needs could not be opened"},
        {int32_t(MdStatusRange | 21u), "the ACX import could not write a section"},
        {MdStatusFailed, "its temporary stream could not be opened, or the ACX file was not imported (see the "
                         "messages)"},
        {0, nullptr}};
    static const StatusWords compiling[] = {
        {MdStatusWrongKind, kWrongKind},
        {MdStatusCompileFailed, kSectionErrors},
        {MdStatusNotFound, kStreamMissing},
        {MdStatusFailed, "its temporary stream could not be opened"},
        {0, nullptr}};
    static const StatusWords bootFunctions[] = {
        {MdStatusWrongKind, kWrongKind},
        {MdStatusCompileFailed, kSectionErrors},
        {MdStatusNotFound, "a temporary stream or the section \"bfvarcomment\" is missing or unreadable"},
        {MdStatusFailed, "a temporary stream, the section \"bfvarcomment\" or the temporary descriptor could not be "
                         "opened"},
        {0, nullptr}};
    static const StatusWords copying[] = {
        {MdStatusNoTarget, "no target storage: the source was not opened into a working file"},
        {MdStatusNotFound, "a section is missing in the working file or in the target"},
        {MdStatusFailed, "a section could not be opened"},
        {0, nullptr}};
    static const struct {
        const char* method;
        const StatusWords* list;
    } methods[] = {
        {"openSource", openSource},
        {"compileSysVars", sysVars},
        {"compileSysFunctions", sysFunctions},
        {"compileComments", comments},
        {"compileVariables", variables},
        {"compileConnections", compiling},
        {"compileAlarms", compiling},
        {"compileBootFunctions", bootFunctions},
        {"compileSupportedTOs", compiling},
        {"compileImplementations", compiling},
        {"copySections", copying},
    };
    if (acx && method == "compileVariables") return variablesAcx;
    for (const auto& m : methods)
        if (method == m.method) return m.list;
    return nullptr;
}

}  // namespace

std::string hostStatusMeaning(const std::string& method, uint32_t status, bool acx)
{
    if (const StatusWords* list = statusListOf(method, acx))
        for (; list->words; ++list)
            if (uint32_t(list->status) == status) return list->words;
    if (mdIsRangeStatus(status)) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "a lower layer failed with code %u", unsigned(status & 0xFFFFu));
        return buf;
    }
    return std::string();
}

std::string hostCauseWords(int32_t causes)
{
    static const struct {
        int32_t cause;
        const char* words;
    } kCauses[] = {
        {MdCauseTextIds, "the source's texts need more resource-string ids than 0 to 0xFFFD allow"},
        {MdCauseNoSysTable, "the section \"symb\" (the class provider's system-variable table) is missing or empty"},
        {MdCauseBadSysTable, "the section \"symb\" (the class provider's system-variable table) cannot be read as "
                             "a system-variable table"},
    };
    std::string words;
    for (const auto& c : kCauses)
        if (causes & c.cause) words += (words.empty() ? "" : "; ") + std::string(c.words);
    return words;
}

std::string hostOpenWords(const std::string& path)
{
    struct stat st;
    int e = 0;
    if (::stat(path.c_str(), &st) != 0) {
        return ": " + hostPathWords(errno, path);
    } else if (S_ISDIR(st.st_mode)) {
        e = EISDIR;
    } else {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            e = errno;
        else
            ::close(fd);
    }
    return e ? ": " + errnoWords(e) : std::string();
}

std::string hostShownName(const std::string& name)
{
    return name.size() <= 1024 ? name : name.substr(0, 40) + "\xE2\x80\xA6";
}
