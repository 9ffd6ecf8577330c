// The compile driver of the tavolin command (see compile_driver.h): the
// library, the arguments of a compile, the checks before anything is
// written, and the run of the methods with their step lines.
#include "host/compile_driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "acx/AcxFileSystem.h"
#include "acx/AcxReader.h"
#include "base/fs/FsDsc.h"
#include "base/fs/FsSecClMem.h"
#include "host/compile_outputs.h"
#include "host/host_display.h"
#include "host/source_file.h"
#include "host/target_file.h"
#include "host/temp_dir.h"
#include "platform/guid.h"
#include "platform/nameclassifier.h"
#include "platform/storage.h"
#include "platform/tempnames.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

std::string hostHex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(v));
    return buf;
}

namespace {

// The library's record of its last failure to make or write a file; null
// for a library without it.
HostLibrary::TakeFileFailure g_takeFileFailure = nullptr;
// The library's record of why its last method failed where the status does
// not say it; null for a library without it.
HostLibrary::TakeStepCause g_takeStepCause = nullptr;

// The causes the library noted since the last take (MdCauseNone without
// the export).
int32_t takeStepCause()
{
    return g_takeStepCause ? g_takeStepCause() : MdCauseNone;
}

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

namespace {

// The first reason standard output failed, 0 while it did not.
int g_outputError = 0;
bool g_outputErrorSaid = false;

}  // namespace

bool hostFlushOutput(bool say)
{
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && !g_outputError) g_outputError = errno ? errno : EIO;
    if (g_outputError && say && !g_outputErrorSaid) {
        g_outputErrorSaid = true;
        if (g_outputError == EBADF)
            std::fprintf(stderr, "tavolin: cannot write the step lines: standard output is closed\n");
        else
            std::fprintf(stderr, "tavolin: cannot write the step lines on standard output: %s\n",
                         errnoWords(g_outputError).c_str());
    }
    return g_outputError == 0;
}

const std::vector<int>& hostCleanupSignals()
{
    static const std::vector<int> signals = [] {
        std::vector<int> s = {SIGHUP,  SIGINT,    SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                              SIGXCPU, SIGXFSZ,   SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) s.push_back(sig);
        return s;
    }();
    return signals;
}

const std::vector<int>& hostDeathSignals()
{
    static const std::vector<int> signals = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
    return signals;
}

namespace {

// Set once the first rename of the outputs is next: every signal is held
// back from then until the command ends.
bool g_placing = false;
// The signals held back before that (by whoever started the command).
sigset_t g_heldBefore;
// The signals whose handler is the command's own (hostSignalHandled).
sigset_t g_handled;
bool g_handledSet = false;

// The first pending signal that the command's own handler ends it on and
// that was not held back before; 0 for none. A signal another part of the
// process handles (a profiler's timer) does not count.
int firstCaughtPending()
{
    sigset_t pending;
    if (!g_handledSet || sigpending(&pending) != 0) return 0;
    for (const std::vector<int>* list : {&hostCleanupSignals(), &hostDeathSignals()})
        for (int sig : *list)
            if (sigismember(&pending, sig) == 1 && sigismember(&g_handled, sig) == 1 &&
                sigismember(&g_heldBefore, sig) != 1)
                return sig;
    return 0;
}

}  // namespace

void hostSignalHandled(int sig)
{
    if (!g_handledSet) sigemptyset(&g_handled);
    g_handledSet = true;
    sigaddset(&g_handled, sig);
}

int hostLateSignal()
{
    return g_placing ? firstCaughtPending() : 0;
}

namespace {

// Class id of the class provider of the system-variable and system-function
// steps, a component outside the pre-compiler.
const CLSID kClassProviderClsid = {0x27F32D99, 0x2F82, 0x11D3, {0x90, 0xA9, 0x00, 0x10, 0x5A, 0x6C, 0x0F, 0xD7}};

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The stand-in component's library "tvclsprv" in dir; empty when it is not
// there.
std::string providerLibraryIn(const std::string& dir)
{
    const std::string path = dir + "/" + tvp::libraryFileName("tvclsprv.dll");
    return fileExists(path) ? path : std::string();
}

// The directory of a path; "." for a bare name.
std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

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

std::u16string hostTextToWide(const std::string& text)
{
    const std::u16string wide = tvp::utf8ToWide(text);
    return tvp::wideToUtf8(wide) == text ? wide : tvp::ansiToWide(text);
}

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

namespace {

// Why a file the pre-compiler could not open (SOURCE, the ACX file) cannot
// be opened, as ": reason" (the pre-compiler only says that it could not);
// empty when it can be opened now.
std::string openWords(const std::string& path)
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

// Whether the file at path begins with a UTF-8 byte-order mark, which a
// source of code page 1252 reads as three stray characters.
bool beginsWithByteOrderMark(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    unsigned char head[3] = {0, 0, 0};
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    return got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF;
}

// The first tag of an ACX file, as its reader finds it where it looks for
// the root tag (id 0, a compound tag of further tags).
struct AcxFirstTag {
    bool found = false;  // the file header and a tag header were read
    AcxTagInfo info;
};

// Takes the first tag the reader announces and ends the read there.
class FirstTagHandler : public CAcxContentHandlerBase {
public:
    explicit FirstTagHandler(CAcxReader& reader) : m_reader(reader) {}
    void startDocument(bool) override {}
    void beginTag(const AcxTagInfo& info) override { take(info); }
    void value(int32_t, const uint8_t*) override {}
    void stringBuffer(const AcxTagInfo& info, char*&, uint32_t&) override { take(info); }
    void stringData(const char*, uint32_t) override {}
    void endTag(const AcxTagInfo&) override {}
    int32_t endDocument() override { return 0; }
    AcxFirstTag first;

private:
    void take(const AcxTagInfo& info)
    {
        first.found = true;
        first.info = info;
        m_reader.finish();
    }
    CAcxReader& m_reader;
};

// The pre-compiler's reader has said what went wrong already.
class QuietAcxErrors : public CAcxErrorHandlerBase {
public:
    void warning(int32_t) override {}
    void error(int32_t) override {}
    void fatal(int32_t) override {}
};

AcxFirstTag acxFirstTag(const std::string& acx)
{
    // A device is not read again: it may give other bytes, or wait for them.
    struct stat st;
    if (::stat(acx.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return AcxFirstTag();
    CAcxFileSystem files;
    QuietAcxErrors errors;
    CAcxReader reader;
    FirstTagHandler first(reader);
    reader.setFileSystem(&files);
    reader.setErrorHandler(&errors);
    reader.setContentHandler(&first);
    reader.read(acx.c_str());
    return first.first;
}

// A tag type in words, for a root tag that is none of the compound kind.
std::string acxTypeWords(uint16_t type)
{
    switch (type) {
    case AcxTypeUnsigned: return "an unsigned number";
    case AcxTypeSigned: return "a signed number";
    case AcxTypeString: return "a string";
    case AcxTypeReal: return "a real number";
    case AcxTypeEmpty: return "an empty tag";
    }
    return "a tag of the unknown type " + std::to_string(type);
}

// What the ACX reader's code in its message (1300 fatal: the read ended,
// 1301 error: a part was skipped and the read went on) says of the file
// acx, whose first tag is first, as the rest of a sentence that begins with
// the file's name.
std::string acxCodeWords(uint32_t message, int32_t code, const std::string& acx, const AcxFirstTag& first)
{
    // A file that does not begin with its root tag: the reader takes every
    // tag for one beside the root, and looks for the root to the file's end.
    if (first.found && first.info.id != 0) {
        if (message == 1301 && code == AcxErrRootRule)
            return "begins with a tag of id " + std::to_string(first.info.id) + ", not with its root tag (id 0)";
        if (message == 1300 && code == AcxErrRead)
            return "has no root tag (id 0) at its start: the reader looked for one to the file's end";
    }
    static const struct {
        uint32_t message;
        int32_t code;
        const char* words;
    } kCodes[] = {
        {1300, 3, "was not read: a read of the reader was still running"},
        {1300, 4, "was not read: the reader had no file system"},
        {1300, 10, "was not read: the reader had no content handler"},
        {1300, 11, "is not an ACX file: no \"AcX\" mark at its start"},
        {1300, 48, "was not read: a digest was asked for without a digest object"},
        {1301, 30, "holds a tag of an unknown type (skipped)"},
        {1301, 31, "could not be digested (read without its digest)"},
        {1301, 40, "holds a text that could not be held in memory (skipped)"},
        {1301, 41, "holds an unsigned number that is not 1, 2, 4 or 8 bytes long (skipped)"},
        {1301, 42, "holds a signed number that is not 1, 2, 4 or 8 bytes long (skipped)"},
        {1301, 43, "holds a real number that is not 4 or 8 bytes long (skipped)"},
        {1301, 44, "holds a tag beside its root tag (id 0), or a second root tag"},
        {1301, 45, "holds an empty tag with a length (skipped)"},
        {1301, 46, "is of another major format version than 2"},
    };
    struct stat st;
    const bool found = ::stat(acx.c_str(), &st) == 0;
    if (message == 1300 && code == 1) {
        // The reader only says that it could not open the file.
        return "cannot be opened" + openWords(acx);
    }
    if (message == 1300 && code == 2) {
        // A directory opens for reading and gives no byte.
        if (found && S_ISDIR(st.st_mode)) return "cannot be read: a directory";
        if (found && S_ISREG(st.st_mode) && st.st_size == 0) return "is empty";
        return "ends early: a header or a tag is cut short";
    }
    for (const auto& c : kCodes)
        if (c.message == message && c.code == code) return c.words;
    return "gave the reader's code " + std::to_string(code);
}

// An owned BSTR; a null one for an empty text.
struct Bstr : OwnedBstr {
    // A path, by its bytes (the pre-compiler gets them back as they are).
    explicit Bstr(const std::string& path) : Bstr(tvp::pathToWide(path)) {}
    explicit Bstr(const std::u16string& text) : OwnedBstr(text.empty() ? nullptr : SysAllocString(text.c_str())) {}
};

// ---------------------------------------------------------------------------
// Standard output of the library

// What the library writes on standard output during one call (the section
// split, for one, tells of a source that ends inside a date literal there)
// is collected and passed on as lines of its own afterwards, so that it never
// runs into a step line; or dropped, for a call whose messages are not shown.
// At most s_limit lines of one call are passed on (0: all).
class LibraryOutput {
public:
    static uint32_t s_limit;

    explicit LibraryOutput(bool keep) : m_keep(keep)
    {
        std::fflush(stdout);
        m_file = std::tmpfile();
        if (!m_file) return;
        m_saved = ::dup(STDOUT_FILENO);
        if (m_saved < 0 || ::dup2(::fileno(m_file), STDOUT_FILENO) < 0) {
            if (m_saved >= 0) ::close(m_saved);
            m_saved = -1;
            std::fclose(m_file);
            m_file = nullptr;
        }
    }
    ~LibraryOutput()
    {
        if (!m_file) return;
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        if (m_keep) passOn();
        std::fclose(m_file);
    }
    LibraryOutput(const LibraryOutput&) = delete;
    LibraryOutput& operator=(const LibraryOutput&) = delete;
    // What the call wrote is dropped after all.
    void drop() { m_keep = false; }

private:
    void passOn()
    {
        std::rewind(m_file);
        uint64_t lines = 0;
        bool open = false;  // the last line passed on has no end yet
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, m_file)) > 0;) {
            for (size_t i = 0; i < n;) {
                const char* nl = static_cast<const char*>(std::memchr(buf + i, '\n', n - i));
                const size_t end = nl ? size_t(nl - buf) + 1 : n;
                if (!open) ++lines;
                if (!s_limit || lines <= s_limit) std::fwrite(buf + i, 1, end - i, stdout);
                open = !nl;
                i = end;
            }
        }
        if (open && (!s_limit || lines <= s_limit)) std::fputc('\n', stdout);
        if (s_limit && lines > s_limit)
            std::printf("\xE2\x80\xA6 and %llu more lines of the library's output\n",
                        static_cast<unsigned long long>(lines - s_limit));
        std::fflush(stdout);
    }

    bool m_keep;
    std::FILE* m_file = nullptr;
    int m_saved = -1;
};

uint32_t LibraryOutput::s_limit = 0;

// Runs one call of the library with its standard output collected.
template <class F>
HRESULT libraryCall(F&& call, bool keepOutput = true)
{
    LibraryOutput output(keepOutput);
    hostFileFailure();  // a failure before the call is not the call's
    takeStepCause();
    return call();
}

// False with a message when the text of --rc-text has a character the
// resource script's code page (1252) lacks: it would reach the script as
// "?".
bool fitsCodePage(const std::string& text)
{
    const std::u16string wide = hostTextToWide(text);
    for (size_t i = 0; i < wide.size(); ++i) {
        bool mapped = true;
        tvp::wideCharToAnsi(wide[i], &mapped);
        if (mapped) continue;
        const size_t n = i + 1 < wide.size() && wide[i] >= 0xD800 && wide[i] <= 0xDBFF ? 2 : 1;
        std::fprintf(stderr,
                     "tavolin: --rc-text: \"%s\" is not in code page 1252, the resource script's (a text that is not "
                     "UTF-8 is taken as code page 1252)\n",
                     tvp::wideToUtf8(wide.substr(i, n)).c_str());
        return false;
    }
    return true;
}

// False with a message when the text of --rc-text holds more characters
// than one string resource takes, counted as a resource compiler reads back
// what the script writer makes of it: the entry's 16-bit length would
// wrap, and the text would read back empty.
bool fitsStringResource(const std::string& text)
{
    const std::string script = tvp::wideToAnsi(hostTextToWide(text));
    const uint64_t chars = mdRcStoredChars(script.data(), script.size());
    if (mdRcTextLengthFits(chars)) return true;
    std::fprintf(stderr,
                 "tavolin: --rc-text: the text reads back as %llu characters; a string resource holds at most "
                 "%llu\n",
                 static_cast<unsigned long long>(chars), static_cast<unsigned long long>(kMdRcMostTextChars));
    return false;
}

bool parseNumber(const char* text, uint32_t max, uint32_t& out)
{
    if (!text || !*text || *text == '-') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != 0 || v > max) return false;
    out = uint32_t(v);
    return true;
}

// ---------------------------------------------------------------------------
// Checks before anything is written

bool samePath(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return hostFileOf(a) == hostFileOf(b);
}

// False with a message when two of the files of a compile are one (through
// links too): an output would be written into an input or into another
// output. Nothing is written before this check.
bool pathsApart(const HostCompileOptions& o)
{
    struct File {
        std::string path;
        std::string option;  // how the command line names it
        const char* role;    // what it is
    };
    const File files[] = {
        {o.source, "SOURCE " + o.source, "the SOURCE"},
        {o.target, "-o " + o.target, "the TARGET"},
        {o.acx, "--acx " + o.acx, "the ACX file"},
        {o.rc, o.rcDefault ? "the resource script " + o.rc + " (TARGET with .rc)" : "--rc " + o.rc, "the resource script"},
        {o.impl + ".m4h", "--impl " + o.impl + " (" + o.impl + ".m4h)", "a macro file"},
        {o.impl + ".m4c", "--impl " + o.impl + " (" + o.impl + ".m4c)", "a macro file"},
    };
    const size_t n = sizeof files / sizeof files[0];
    for (size_t j = 1; j < n; ++j) {
        if (files[j].path.empty() || (j >= 4 && o.impl.empty())) continue;
        for (size_t i = 0; i < j; ++i) {
            if (files[i].path.empty() || (i >= 4 && o.impl.empty()) || !samePath(files[i].path, files[j].path))
                continue;
            const bool named = i >= 2;  // SOURCE and TARGET are said by role alone
            std::fprintf(stderr,
                         "tavolin: %s names %s%s%s%s: SOURCE, TARGET, the ACX file, the resource script and the "
                         "macro files must be different files\n",
                         files[j].option.c_str(), files[i].role, named ? " (" : "", named ? files[i].path.c_str() : "",
                         named ? ")" : "");
            return false;
        }
    }
    return true;
}

// A file name as the messages show a long token: whole up to 1 024 bytes,
// else its first 40 bytes and an ellipsis.
std::string shownName(const std::string& name)
{
    return name.size() <= 1024 ? name : name.substr(0, 40) + "\xE2\x80\xA6";
}

// False with a message when the last part of the name of an output (TARGET,
// the resource script, a macro file) is longer than its directory takes:
// refused before anything is written, not after every step ran.
bool namesFit(const HostCompileOptions& o)
{
    const struct {
        std::string path;
        const char* role;
    } outputs[] = {{o.target, "TARGET"},
                   {o.rc, "the resource script"},
                   {o.impl + ".m4h", "a macro file"},
                   {o.impl + ".m4c", "a macro file"}};
    for (const auto& out : outputs) {
        const size_t slash = out.path.rfind('/');
        const std::string name = slash == std::string::npos ? out.path : out.path.substr(slash + 1);
        const long most = ::pathconf(hostDirOf(out.path).c_str(), _PC_NAME_MAX);
        // A directory that cannot be asked is said by the step that needs it.
        if (most < 0 || name.size() <= size_t(most)) continue;
        std::fprintf(stderr,
                     "tavolin: cannot write %s %s: its name has %zu bytes, more than its directory takes (%ld); "
                     "nothing is compiled\n",
                     out.role, shownName(name).c_str(), name.size(), most);
        return false;
    }
    return true;
}

// False with a message when the directory of the temporary files cannot be
// used: nothing could be compiled without it.
bool tempDirectoryUsable()
{
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    const char* const named = env && *env ? " (TMPDIR)" : "";
    struct stat st;
    std::string why;
    if (::stat(dir.c_str(), &st) != 0)
        why = errno == ENOENT ? "does not exist" : "cannot be used: " + hostPathWords(errno, dir);
    else if (!S_ISDIR(st.st_mode))
        why = "is not a directory";
    else if (::access(dir.c_str(), W_OK | X_OK) != 0)
        why = "cannot be written (" + errnoWords(errno) + ")";
    if (why.empty()) return true;
    std::fprintf(stderr, "tavolin: the directory of temporary files %s%s %s\n", dir.c_str(), named, why.c_str());
    return false;
}

// ---------------------------------------------------------------------------
// Compile

class Run {
public:
    // source: the file SOURCE is read from (see SourceFile). careful: the
    // source's kind is settled before anything is opened, by reading the
    // whole source (see probeKind).
    Run(HostLibrary& lib, const HostCompileOptions& o, const std::string& source, const std::string& acx,
        HostCompileTrace trace, void* traceContext, bool careful)
        : m_lib(lib), m_o(o), m_source(source), m_acx(acx), m_file(o.target), m_outputs(o.rc, o.impl), m_trace(trace),
          m_traceContext(traceContext), m_careful(careful)
    {
    }

    int compile();
    // The kind the first header gave was not the source's: this run wrote
    // nothing and said nothing, and a careful one must take its place.
    bool mustRedo() const { return m_redo; }

private:
    LONG probeKind();
    // The opening said which kind the source is (hr and status its
    // outcome): false when it is not the kind this run assumed - the first
    // header's, or none - or none when that does not settle it.
    bool assumedKindHolds(LONG reported, HRESULT hr, LONG status) const;
    // The kind the source's headers give, read from its file (the
    // splitter's probeKind, with lookFurther); none when it cannot be read.
    int32_t sourceKind(bool lookFurther, bool& certain) const;
    // Whether the source holds no text of a further header (the certainty
    // of sourceKind with lookFurther, without its split).
    bool noFurtherHeader() const;
    // Ends this run for a careful one (mustRedo); nothing of it stays:
    // TARGET's working copy and the outputs are discarded with it.
    int giveWay();
    // Makes the working copy of TARGET (for a new one, a descriptor file of
    // the source's kind) and opens it; false with a message.
    bool openTarget();
    // False with a message when the kinds of the source and of an existing
    // TARGET differ.
    bool kindsFit();
    // Prints the outcome of one step; false when it did not end with status 0
    // or wrote an output that cannot be written (or m_outputTrouble says
    // what went wrong with one). meaning, when given, says what a non-zero
    // status means in place of the general words for it; the macro files the
    // step wrote follow verb.
    bool step(const char* method, HRESULT hr, LONG status, const std::string& extra = std::string(),
              const char* meaning = nullptr, const char* verb = "wrote");
    // Puts TARGET and then the outputs in place, with every signal held
    // back from the first rename until the command ends; false with a
    // message, or without one when a signal came before the first rename
    // (it is let through then).
    bool install();
    std::string classProviderPath() const;
    bool nameClassifierFound() const;
    void compileBootFunctions(const Bstr& rc);
    void sectionMethods(LONG kind);
    void copyAll();
    // Names the ACX file with what each of its reader's messages says of it.
    void sayAcxNotes(const HostErrorDisplay& display, LONG kind) const;
    void mark(const char* what)
    {
        if (m_trace) m_trace(what, m_traceContext);
    }

    HostLibrary& m_lib;
    const HostCompileOptions& m_o;
    const std::string& m_source;  // SOURCE, or its copy when it cannot be read twice
    const std::string& m_acx;     // the ACX file, or its copy when it is a pipe
    TargetFile m_file;
    CompileOutputs m_outputs;   // the resource script and the macro files
    std::string m_outputTrouble;  // for the next step line: an output was not written whole
    std::string m_fileFailure;    // for the next step line: why a file could not be made (hostFileFailure)
    IStorage* m_target = nullptr;
    IMC_Tavolin* m_object = nullptr;
    bool m_failed = false;      // the exit status is 1
    bool m_stepFailed = false;  // a step that ran did not succeed: TARGET is not written
    bool m_isNew = false;       // TARGET did not exist
    HostCompileTrace m_trace;
    void* m_traceContext;
    bool m_careful;
    // Not careful: the object kind taken from the first header alone (none
    // when it gave none), to be confirmed by the opening.
    bool m_assumed = false;
    LONG m_assumedKind = MdKindNone;
    bool m_redo = false;
};

// The object kind of the source, for the new TARGET that is made before the
// real opening copies it into the working file, or for the check of an
// existing one: read from the first header alone, or, when the source may
// hold a further header, from a whole opening into a scratch storage with
// the messages kept back. Whether a further header may follow takes a read
// of the whole source; a run that is not careful skips it and assumes the
// first header's kind, which the real opening then confirms (almost every
// source has one header).
LONG Run::probeKind()
{
    {
        bool certain = false;
        const int32_t kind = sourceKind(m_careful, certain);
        // No kind from the first header: whether one may follow decides.
        // A second probe would split as this one did and find the same kind
        // (on a source of garbage, reading all of it again): only the words
        // of a further header are looked for.
        if (!certain && !m_careful && !mdIsObjectKind(kind)) certain = noFurtherHeader();
        if (certain) return mdIsObjectKind(kind) ? kind : MdKindNone;
        // The first header's kind, or none when it gave none, is assumed
        // rather than settled by a whole opening beforehand: garbage that
        // holds header words would be read twice, and almost every source
        // that has a kind gives it in its first header.
        if (!m_careful) {
            m_assumed = true;
            m_assumedKind = mdIsObjectKind(kind) ? kind : MdKindNone;
            return m_assumedKind;
        }
    }
    IMC_Tavolin* probe = m_lib.create();
    if (!probe) return MdKindNone;
    IStorage* scratch = nullptr;
    LONG kind = MdKindNone;
    if (fsCreateMemStorage(&scratch) && scratch) {
        HostErrorDisplay silent(nullptr);
        Bstr source(m_source);
        LONG status = 0;
        libraryCall(
            [&] {
                return probe->openSource(source.get(), nullptr, nullptr, nullptr, scratch, &silent,
                                         USHORT(m_o.firstId), USHORT(m_o.secondId), LONG(m_o.flag),
                                         ULONG(m_o.mask), &kind, &status);
            },
            false);
        probe->Release();
        probe = nullptr;
        scratch->Release();
    }
    if (probe) probe->Release();
    return mdIsObjectKind(kind) ? kind : MdKindNone;
}

// Creates a descriptor file of class Dsc at path and closes it; r receives
// the result of the creation.
template <class Dsc>
bool makeDescriptor(const char* path, uint32_t& r)
{
    Dsc dsc;
    r = dsc.createFile(path);
    return r == FS_OK && dsc.CloseFile() == FS_OK;
}

using DescriptorMaker = bool (*)(const char* path, uint32_t& r);

// The maker of an object kind's own descriptor file; null for no kind.
DescriptorMaker descriptorMaker(LONG kind)
{
    switch (kind) {
    case MdKindTO:
    case MdKindDvTO:
        return makeDescriptor<FsTODscFile>;
    case MdKindTP:
        return makeDescriptor<FsTPDscFile>;
    case MdKindDv:
        return makeDescriptor<FsDvDscFile>;
    default:
        return nullptr;
    }
}

bool makeEmptyCompoundFile(const char* path, uint32_t&)
{
    IStorage* stg = nullptr;
    HRESULT hr = StgCreateDocfile(tvp::pathToWide(path).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  0, &stg);
    const bool made = SUCCEEDED(hr) && stg && SUCCEEDED(stg->Commit(STGC_DEFAULT));
    if (stg) stg->Release();
    return made;
}

bool Run::openTarget()
{
    m_isNew = !m_file.exists();
    if (!m_isNew) {
        if (!m_file.openExisting()) return false;
    } else {
        // Without an object kind an empty compound file, so that the
        // opening still runs and reports what is wrong with the source.
        DescriptorMaker make = descriptorMaker(probeKind());
        if (!make) make = makeEmptyCompoundFile;
        const bool made = m_file.createNew([&](const char* path) {
            uint32_t r = FS_FAILED;
            hostFileFailure();
            if (make(path, r)) return true;
            std::fprintf(stderr, "tavolin: cannot create a descriptor file for %s (result %u)%s\n",
                         m_o.target.c_str(), unsigned(r), hostFileFailure().c_str());
            return false;
        });
        if (!made) return false;
    }
    HRESULT hr = m_file.openStorage(&m_target);
    if (FAILED(hr) || !m_target) {
        std::fprintf(stderr, "tavolin: cannot open %s: %s (hr = %s)\n", m_o.target.c_str(), storageWords(hr).c_str(),
                     hostHex(uint32_t(hr)).c_str());
        m_target = nullptr;
        return false;
    }
    return true;
}

// The descriptor kind a "header" stream names: the second line is the
// kind's id. Empty when it names none of the three.
const char* headerKind(IStorage* stg)
{
    IStream* s = nullptr;
    if (FAILED(stg->OpenStream(u"header", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s)) || !s) return "";
    char buf[128];
    ULONG got = 0;
    s->Read(buf, sizeof buf, &got);
    s->Release();
    const std::string text(buf, got);
    const size_t start = text.find("\r\n");
    if (start == std::string::npos) return "";
    const std::string line = text.substr(start + 2, text.find("\r\n", start + 2) - start - 2);
    const struct {
        const RTTypeID& id;
        const char* name;
    } kinds[] = {{fsKindIdTO(), "technology object"}, {fsKindIdTP(), "technology package"}, {fsKindIdDV(), "device"}};
    for (const auto& k : kinds) {
        const String t = fsRTTypeIDText(k.id);
        if (line == std::string(t.chars(), size_t(t.length()))) return k.name;
    }
    return "";
}

// The descriptor kind a source of an object kind is compiled into, and the
// words for the source's kind.
const char* descriptorKindOf(LONG kind)
{
    switch (kind) {
    case MdKindTO:
    case MdKindDvTO: return "technology object";
    case MdKindTP: return "technology package";
    case MdKindDv: return "device";
    }
    return "";
}

const char* sourceKindWords(LONG kind)
{
    switch (kind) {
    case MdKindTO: return "a technology object";
    case MdKindDvTO: return "a device technology object";
    case MdKindTP: return "a technology package";
    case MdKindDv: return "a device";
    }
    return "no object kind";
}

bool Run::kindsFit()
{
    const char* targetKind = headerKind(m_target);
    if (!*targetKind) return true;  // not a descriptor this command knows: the opening decides
    LONG kind = probeKind();
    // With none assumed, the opening tells whether a later header gives
    // one (and a careful run then checks it).
    if (m_assumed && mdIsObjectKind(m_assumedKind) && std::strcmp(descriptorKindOf(kind), targetKind) != 0) {
        // Only a further header could make it fit: the whole source decides.
        m_assumed = false;
        m_assumedKind = MdKindNone;
        m_careful = true;
        kind = probeKind();
    }
    const char* wanted = descriptorKindOf(kind);
    if (!*wanted || std::strcmp(wanted, targetKind) == 0) return true;
    std::fprintf(stderr, "tavolin: %s is the source of %s, but %s is the descriptor of a %s: not compiled\n",
                 m_o.source.c_str(), sourceKindWords(kind), m_o.target.c_str(), targetKind);
    return false;
}

int Run::giveWay()
{
    m_redo = true;
    m_object->Release();
    m_object = nullptr;
    m_target->Release();
    m_target = nullptr;
    return 1;
}

bool Run::assumedKindHolds(LONG reported, HRESULT hr, LONG status) const
{
    // None assumed: an opening that split the whole source and found no
    // kind is what the careful probe, that same split, would have found.
    // One that stopped before (no working file) leaves it open.
    if (!mdIsObjectKind(m_assumedKind))
        return !mdIsObjectKind(reported) && hr == S_OK &&
               (status == 0 || status == LONG(MdStatusCompileFailed) || status == LONG(MdStatusWrongKind));
    if (mdIsObjectKind(reported)) return std::strcmp(descriptorKindOf(reported), descriptorKindOf(m_assumedKind)) == 0;
    // An opening that gave no kind (a source with errors, or a failure before
    // the split): a careful run would have taken the first header's kind as
    // well when no further header can follow.
    bool certain = false;
    sourceKind(true, certain);
    return certain;
}

int32_t Run::sourceKind(bool lookFurther, bool& certain) const
{
    certain = false;
    int32_t kind = MdKindNone;
    std::ifstream in(m_source, std::ios::in | std::ios::binary);
    if (!in.is_open()) return kind;
    std::unique_ptr<MdSectionSplitter> split(new MdSectionSplitter());
    libraryCall([&] { kind = split->probeKind(in, certain, lookFurther); return S_OK; }, false);
    return kind;
}

bool Run::noFurtherHeader() const
{
    std::ifstream in(m_source, std::ios::in | std::ios::binary);
    bool none = false;
    if (in.is_open()) libraryCall([&] { none = MdSectionSplitter::noFurtherHeader(in); return S_OK; }, false);
    return none;
}

bool Run::step(const char* method, HRESULT hr, LONG status, const std::string& given, const char* meaningText,
               const char* verb)
{
    const std::string cannot = m_outputs.stepCannotWrite() + m_outputTrouble;
    const bool cannotWrite = !cannot.empty();
    const bool ok = hr == S_OK && status == 0 && !cannotWrite;
    // A step that failed for a file it could not make says the system's
    // reason, which its status does not carry.
    const std::string why = m_fileFailure.empty() ? hostFileFailure() : m_fileFailure;
    m_fileFailure.clear();
    // What the library noted of the failure, beside its status's words.
    const std::string causes = hostCauseWords(takeStepCause());
    // A step that failed wrote nothing anyone gets: the files it wrote are
    // not named.
    const std::string wrote = ok ? m_outputs.stepWrote() : std::string();
    const std::string extra = given + (wrote.empty() ? std::string() : ", " + std::string(verb) + " " + wrote) + cannot +
                              (ok || hr == E_NOTIMPL ? std::string() : why);
    m_outputs.mark();
    m_outputTrouble.clear();
    if (hr == E_NOTIMPL) {
        std::printf("not compiled: %s (its compiler is not part of this library)\n", method);
    } else if (FAILED(hr)) {
        std::printf("%s: failed, hr = %s, status %s\n", method, hostHex(uint32_t(hr)).c_str(), hostHex(uint32_t(status)).c_str());
    } else if (status != 0) {
        std::string meaning = meaningText ? meaningText : hostStatusMeaning(method, uint32_t(status), !m_o.acx.empty());
        if (!causes.empty()) meaning += (meaning.empty() ? "" : "; ") + causes;
        std::printf("%s: status %s%s%s\n", method, hostHex(uint32_t(status)).c_str(),
                    meaning.empty() ? "" : (" (" + meaning + ")").c_str(), extra.c_str());
    } else {
        std::printf("%s: %s%s\n", method, cannotWrite ? "failed" : "ok", extra.c_str());
    }
    hostFlushOutput(false);
    mark(method);
    if (!ok) m_failed = true;
    // A section whose compiler is not built does not hold back the write.
    if (!ok && hr != E_NOTIMPL) m_stepFailed = true;
    return ok;
}

// The library of the class provider of the system-variable and
// system-function steps: registered by class id (flag set), or "tvclsprv"
// beside the library; empty when there is none.
std::string Run::classProviderPath() const
{
    if (m_o.flag != 0) return tvpInprocServerPath(kClassProviderClsid);
    return providerLibraryIn(directoryOf(m_lib.path()));
}

// Whether the boot-function compiler will find its name classifier:
// registered by class id (flag set), or "tvclsprv" beside this command,
// where the compiler looks (beside the process's executable).
bool Run::nameClassifierFound() const
{
    if (m_o.flag != 0) return !tvpInprocServerPath(CLSID_NameClassifier).empty();
    char self[PATH_MAX];
    const DWORD n = GetModuleFileNameA(nullptr, self, DWORD(sizeof self));
    return n != 0 && n < sizeof self - 1 && !providerLibraryIn(directoryOf(std::string(self, n))).empty();
}

// The boot functions into the macro files of --impl, with the --include
// names; the container is named after the source.
void Run::compileBootFunctions(const Bstr& rc)
{
    std::string base = m_o.source;
    size_t slash = base.rfind('/');
    if (slash != std::string::npos) base = base.substr(slash + 1);
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    Bstr container(hostTextToWide(base)), impl(m_outputs.macroBaseWork());
    std::vector<std::unique_ptr<Bstr>> owned;
    std::vector<BSTR> names;
    for (const std::string& n : m_o.includes) {
        owned.emplace_back(new Bstr(n));
        names.push_back(owned.back()->get());
    }
    names.push_back(nullptr);  // the method reads no further; never an empty array
    LONG status = 0;
    const HRESULT hr = libraryCall([&] {
        return m_object->compileBootFunctions(impl.get(), LONG(m_o.includes.size()), names.data(), container.get(),
                                              rc.get(), &status);
    });
    if (hr != E_NOTIMPL && (FAILED(hr) || status != 0) && !nameClassifierFound())
        std::printf("compileBootFunctions: no name classifier (%s): the boot functions cannot be checked\n",
                    m_o.flag != 0 ? "none registered; --flag 0 takes libtvclsprv.so beside the command"
                                  : "no libtvclsprv.so beside the command");
    step("compileBootFunctions", hr, status,
         m_o.rc.empty() && status != 0 ? ", the boot-function comment string tables need --rc" : "");
}

void Run::sectionMethods(LONG kind)
{
    Bstr rc(m_outputs.rcWork());
    Bstr impl(m_outputs.macroBaseWork());
    LONG status = 0;
    HRESULT hr;
    const bool to = kind == MdKindTO || kind == MdKindDvTO;
    const std::string providerPath = classProviderPath();
    const bool provider = !providerPath.empty();
    const std::string through = ", through the class provider " + providerPath;
    if (to) {
        if (provider) {
            hr = libraryCall([&] { return m_object->compileSysVars(0, 0, &status); });
            step("compileSysVars", hr, status, through);
        } else {
            std::printf("skipped: compileSysVars (no class provider installed)\n");
        }
        hr = libraryCall([&] { return m_object->compileComments(rc.get(), &status); });
        step("compileComments", hr, status, m_o.rc.empty() && status != 0 ? ", the comment string tables need --rc" : "");
        // Without the system-variable table ("symb") a statement that needs
        // it gives message 0, as does the import that cannot load it: the
        // library notes that cause, which the step line names.
        hr = libraryCall([&] { return m_object->compileVariables(rc.get(), &status); });
        step("compileVariables", hr, status,
             m_o.rc.empty() && status != 0 ? ", the variable string tables need --rc" : "");
        hr = libraryCall([&] { return m_object->compileConnections(&status); });
        step("compileConnections", hr, status);
        hr = libraryCall([&] { return m_object->compileAlarms(rc.get(), &status); });
        step("compileAlarms", hr, status, m_o.rc.empty() && status != 0 ? ", the alarm string table needs --rc" : "");
        compileBootFunctions(rc);
    } else {
        if (provider) {
            hr = libraryCall(
                [&] { return m_object->compileSysFunctions(0, 0, nullptr, 0, nullptr, 0, 0, &status); });
            step("compileSysFunctions", hr, status, through);
        } else {
            std::printf("skipped: compileSysFunctions (no class provider installed)\n");
        }
        hr = libraryCall([&] { return m_object->compileSupportedTOs(&status); });
        step("compileSupportedTOs", hr, status);
    }
    // The macro files are appended to: the step names those that changed.
    hr = libraryCall([&] { return m_object->compileImplementations(impl.get(), &status); });
    step("compileImplementations", hr, status, std::string(), nullptr, "appended to");
}

bool Run::install()
{
    // Every signal is held back from here: one that came before the first
    // rename ends the command (once it is let through again) with
    // everything as it was; one that comes later stays held until the
    // command ends, so that its status tells of the outputs in place (see
    // hostLateSignal). A fault while held ends the process by the kernel.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &g_heldBefore);
    if (firstCaughtPending() != 0) {
        m_file.discard();
        m_outputs.discard();
        pthread_sigmask(SIG_SETMASK, &g_heldBefore, nullptr);
        return false;
    }
    g_placing = true;
    mark("installing");
    bool ok = false;
    if (!m_file.install()) {
        m_outputs.discard();
    } else {
        mark("target installed");
        ok = m_outputs.install();
    }
    mark("installed");
    return ok;
}

void Run::sayAcxNotes(const HostErrorDisplay& display, LONG kind) const
{
    // A file not read whole is not imported: the variables step, which
    // imports once its own section compiled, reports that with message 0.
    const bool imports = m_o.sectionMethods && (kind == MdKindTO || kind == MdKindDvTO);
    if (m_o.acx.empty()) return;
    // What the reader met first tells the faults of a file without a root.
    const AcxFirstTag first = acxFirstTag(m_acx);
    bool fatal = false;
    for (const HostErrorDisplay::AcxNote& n : display.acxNotes()) {
        const char* const text = n.message == 1300 ? "ACX Fatal Error" : n.message == 1301 ? "ACX Error" : "ACX Warning";
        std::fprintf(stderr, "tavolin: the ACX file %s %s (%s %d)%s\n", shownName(m_o.acx).c_str(),
                     acxCodeWords(n.message, n.code, m_acx, first).c_str(), text, int(n.code),
                     n.message == 1300 && imports ? ": nothing of it is imported, which the variables step reports "
                                                    "as message 0 after its section compiled"
                                                  : "");
        fatal = fatal || n.message == 1300;
    }
    // A root that is no compound tag is read without a fault of the reader,
    // into no tree: the opening (and the import) report message 0 alone.
    if (!fatal && first.found && first.info.id == 0 && first.info.type != AcxTypeCompound)
        std::fprintf(stderr,
                     "tavolin: the ACX file %s has %s for its root tag (id 0), not a compound tag of further tags: "
                     "nothing of it is read, which is reported as message 0\n",
                     shownName(m_o.acx).c_str(), acxTypeWords(first.info.type).c_str());
}

// Every section TARGET holds is copied from the working file. The sections
// are named to the pre-compiler in code page 1252: one whose name has a
// character the code page lacks cannot be named, and as no step writes it
// (every section a step writes has an ASCII name) it stays in TARGET as it
// is, under its own name.
void Run::copyAll()
{
    std::vector<std::string> names;
    size_t kept = 0;
    IEnumSTATSTG* e = nullptr;
    if (SUCCEEDED(m_target->EnumElements(0, nullptr, 0, &e)) && e) {
        STATSTG st;
        ULONG got = 0;
        while (e->Next(1, &st, &got) == S_OK && got == 1) {
            if (st.type == STGTY_STREAM && st.pwcsName) {
                if (const std::string name = tvp::wideToAnsi(st.pwcsName); tvp::ansiToWide(name) == st.pwcsName)
                    names.push_back(name);
                else
                    ++kept;
            }
            CoTaskMemFree(st.pwcsName);
        }
        e->Release();
    }
    if (names.size() > 0x7FFF) names.resize(0x7FFF);
    std::vector<const char*> ptrs;
    for (const std::string& n : names) ptrs.push_back(n.c_str());
    ptrs.push_back(nullptr);
    LONG status = 0;
    HRESULT hr = libraryCall([&] { return m_object->copySections(SHORT(names.size()), ptrs.data(), &status); });
    std::string extra = ", " + std::to_string(names.size() + kept) + " sections of the target";
    if (kept)
        extra += " (" + std::to_string(kept) + " kept as " + (kept == 1 ? "it is: its name is" : "they are: their names are") +
                 " not in code page 1252)";
    step("copySections", hr, status, extra);
}

int Run::compile()
{
    if (!openTarget()) return 1;
    mark("target");
    // The outputs' directories are checked as TARGET's is, before any step.
    if (!m_outputs.prepare()) {
        m_target->Release();
        m_target = nullptr;
        return 1;
    }
    if (m_isNew || kindsFit()) {
        m_object = m_lib.create();
    } else {
        m_stepFailed = true;
    }
    if (!m_object) {
        m_target->Release();
        m_target = nullptr;
        return 1;
    }
    // With a kind assumed, the opening's messages are held until it has
    // confirmed that kind.
    char* held = nullptr;
    size_t heldSize = 0;
    std::FILE* holder = m_assumed ? ::open_memstream(&held, &heldSize) : nullptr;
    // Nothing to hold them in: the careful run takes over before anything
    // is said.
    if (m_assumed && !holder) return giveWay();
    HostErrorDisplay display(holder ? holder : stderr, m_o.maxMessages);
    // The messages name SOURCE, not its copy.
    display.showSourceAs(m_source, m_o.source);
    Bstr source(m_source), acx(m_acx), rc(m_outputs.rcWork()), rcText(hostTextToWide(m_o.rcText));
    LONG kind = MdKindNone;
    LONG status = 0;
    HRESULT hr;
    HostFileFailure openFailure;
    {
        LibraryOutput output(true);
        hostFileFailure();
        hr = m_object->openSource(source.get(), acx.get(), rc.get(), rcText.get(), m_target, &display,
                                  USHORT(m_o.firstId), USHORT(m_o.secondId), LONG(m_o.flag), ULONG(m_o.mask), &kind,
                                  &status);
        // Taken before the kind is confirmed, which calls the library again.
        openFailure = hostTakeFileFailure();
        m_fileFailure = openFailure.words();
        m_redo = m_assumed && !assumedKindHolds(kind, hr, status);
        if (m_redo) output.drop();
        display.setOutput(stderr);
        if (holder) {
            std::fclose(holder);
            if (!m_redo && heldSize) {
                std::fwrite(held, 1, heldSize, stderr);
                std::fflush(stderr);
            }
            std::free(held);
        }
    }
    if (m_redo) return giveWay();
    const LONG opened = SUCCEEDED(hr) ? status : LONG(MdStatusFailed);
    // A source that could not be opened is said with its reason on the
    // last line, not as a file that could not be made.
    if (!mdIsObjectKind(kind) && opened == MdStatusNotFound) m_fileFailure.clear();
    // With an object kind the source was split into the working file; a
    // failure after that is the ACX step's.
    const bool acxFailed = mdIsObjectKind(kind) && !m_o.acx.empty() && uint32_t(status) != 0 &&
                           status != MdStatusCompileFailed;
    // The opening appends its string table first: a device that is full
    // cuts it, which the opening only reports as a file it cannot open.
    if (SUCCEEDED(hr) && !m_outputs.rcWhole())
        m_outputTrouble = ", the resource script " + m_o.rc + " was not written whole";
    step("openSource", hr, status, mdIsObjectKind(kind) ? ", object kind " + std::to_string(kind) : std::string(),
         acxFailed ? "the ACX file was not read or does not fit the source" : nullptr);
    sayAcxNotes(display, kind);
    if (beginsWithByteOrderMark(m_source))
        std::fprintf(stderr, "tavolin: %s begins with a UTF-8 byte-order mark, read as the characters "
                             "'\xC3\xAF\xC2\xBB\xC2\xBF': sources are code page 1252\n", m_o.source.c_str());
    if (SUCCEEDED(hr)) {
        if (mdIsObjectKind(kind)) {
            if (m_o.sectionMethods) sectionMethods(kind);
        } else
            std::printf("no object kind: the section methods are not run\n");
        copyAll();
    }
    // Releasing the object closes its working file and gives up the target.
    m_object->Release();
    m_object = nullptr;
    mark("released");
    display.printHeldBack();
    hr = m_target->Commit(STGC_DEFAULT);
    m_target->Release();
    m_target = nullptr;
    mark("committed");
    // The macro files a step line said were written are not put in place
    // either when TARGET is not.
    const std::string said = m_outputs.saidWritten();
    const std::string either = said.empty() ? std::string() : "; " + said + " not written either";
    if (FAILED(hr)) {
        std::fprintf(stderr, "tavolin: cannot write %s: %s (hr = %s)%s\n", m_o.target.c_str(),
                     storageWords(hr).c_str(), hostHex(uint32_t(hr)).c_str(), either.c_str());
        return 1;
    }
    const char* const targetWas = m_isNew ? "not written" : "left as it was";
    // Why nothing of the compile is put in place; empty when it may be.
    std::string why;
    if (!mdIsObjectKind(kind) && opened == MdStatusNotFound) {
        // Why it cannot be opened now, else why it could not be then (no
        // descriptor was left).
        std::string reason = openWords(m_source);
        if (reason.empty() && openFailure.err) reason = ": " + errnoWords(openFailure.err);
        why = "cannot open the source " + m_o.source + reason;
    } else if (!mdIsObjectKind(kind) && (opened == MdStatusOk || opened == MdStatusWrongKind)) {
        // A source that split without errors into no object at all: nothing
        // of it would reach TARGET, only the resource script's entry 0xFFFE
        // would change. It is refused like a source with errors.
        why = "the source has no TO_HEADER, TP_HEADER, DV_TO_HEADER or DV_TP_HEADER section";
        m_failed = true;
    } else if (!mdIsObjectKind(kind) && (opened != MdStatusCompileFailed || !display.errors())) {
        // The opening failed before the source said anything (no working
        // file could be made): that is the cause, not the source.
        std::string meaning = FAILED(hr) ? "hr = " + hostHex(uint32_t(hr))
                                         : hostStatusMeaning("openSource", uint32_t(opened), false);
        if (meaning.empty()) meaning = "status " + hostHex(uint32_t(opened));
        why = "the source was not opened (" + meaning + ")" + openFailure.words();
    } else if (m_isNew && !mdIsObjectKind(kind)) {
        // Nothing of the source would reach TARGET: it would only be an
        // empty compound file.
        why = "the source gave no object kind";
    } else if (m_stepFailed) {
        why = "a step did not succeed";
    }
    if (!why.empty()) {
        std::fprintf(stderr, "tavolin: %s %s: %s%s\n", m_o.target.c_str(), targetWas, why.c_str(), either.c_str());
    } else if (!hostFlushOutput(true)) {
        // A compile whose report did not reach its reader changes nothing.
        std::fprintf(stderr, "tavolin: %s %s: the step lines could not be written%s\n", m_o.target.c_str(),
                     targetWas, either.c_str());
        return 1;
    } else if (!install()) {
        return 1;
    }
    return m_failed ? 1 : 0;
}

}  // namespace

bool HostLibrary::load()
{
    m_path = findPath();
    m_module = LoadLibraryA(m_path.c_str());
    if (!m_module) {
        std::fprintf(stderr, "tavolin: cannot load %s: %s\n", m_path.c_str(), tvp::lastLibraryError().c_str());
        return false;
    }
    m_getClassObject = reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(m_module, "DllGetClassObject"));
    m_canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(GetProcAddress(m_module, "DllCanUnloadNow"));
    m_register = reinterpret_cast<PFN_DllRegisterServer>(GetProcAddress(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<PFN_DllUnregisterServer>(GetProcAddress(m_module, "DllUnregisterServer"));
    if (!m_getClassObject || !m_canUnload || !m_register || !m_unregister) {
        std::fprintf(stderr, "tavolin: %s lacks the exports of the pre-compiler\n", m_path.c_str());
        return false;
    }
    // Optional: a library without it leaves its temporary files to itself.
    m_removeTempFiles = reinterpret_cast<RemoveTempFiles>(GetProcAddress(m_module, "TvRemoveTempFiles"));
    g_takeFileFailure = reinterpret_cast<TakeFileFailure>(GetProcAddress(m_module, "TvTakeFileFailure"));
    g_takeStepCause = reinterpret_cast<TakeStepCause>(GetProcAddress(m_module, "TvTakeStepCause"));
    return true;
}

IMC_Tavolin* HostLibrary::create()
{
    IClassFactory* factory = nullptr;
    HRESULT hr = m_getClassObject(CLSID_CTavolin, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || !factory) {
        std::fprintf(stderr, "tavolin: DllGetClassObject failed, hr = %s\n", hostHex(uint32_t(hr)).c_str());
        return nullptr;
    }
    IMC_Tavolin* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IMC_Tavolin, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr) || !object) {
        std::fprintf(stderr, "tavolin: creating the pre-compiler failed, hr = %s\n", hostHex(uint32_t(hr)).c_str());
        return nullptr;
    }
    return object;
}

std::string HostLibrary::findPath()
{
    const char* env = std::getenv("TAVOLIN_LIBRARY");
    if (env && *env) return env;
#ifdef TAVOLIN_LIBRARY_PATH
    if (fileExists(TAVOLIN_LIBRARY_PATH)) return TAVOLIN_LIBRARY_PATH;
#endif
    std::string dir = tvp::moduleDirOf(reinterpret_cast<const void*>(&HostLibrary::findPath));
    return (dir.empty() ? std::string(".") : dir) + "/libtavolin.so";
}

bool hostParseCompile(int argc, char** argv, HostCompileOptions& o)
{
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tavolin: %s needs %s\n", a.c_str(), what);
                return nullptr;
            }
            return argv[++i];
        };
        auto number = [&](uint32_t max, uint32_t& out) -> bool {
            const char* v = value("a number");
            if (!v) return false;
            if (!parseNumber(v, max, out)) {
                std::fprintf(stderr, "tavolin: %s: not a number up to %u: %s\n", a.c_str(), unsigned(max), v);
                return false;
            }
            return true;
        };
        // A file option with an empty name names nothing: refused as a
        // missing -o TARGET is, not taken as the option left out.
        auto file = [&](const char* what) -> const char* {
            const char* v = value(what);
            if (v && !*v) {
                std::fprintf(stderr, "tavolin: %s names no file (an empty name)\n", a.c_str());
                return nullptr;
            }
            return v;
        };
        const char* v = nullptr;
        if (a == "-o") {
            if (!(v = value("a target file"))) return false;
            o.target = v;
        } else if (a == "--acx") {
            if (!(v = file("a file"))) return false;
            o.acx = v;
        } else if (a == "--rc") {
            if (!(v = file("a file"))) return false;
            o.rc = v;
        } else if (a == "--rc-text") {
            if (!(v = value("a text"))) return false;
            o.rcText = v;
            if (!fitsCodePage(o.rcText) || !fitsStringResource(o.rcText)) return false;
        } else if (a == "--impl") {
            if (!(v = file("a base path"))) return false;
            o.impl = v;
        } else if (a == "--include") {
            if (!(v = value("a name"))) return false;
            o.includes.push_back(v);
        } else if (a == "--mask") {
            if (!number(0xFFFFFFFFu, o.mask)) return false;
        } else if (a == "--first-id") {
            if (!number(0xFFFFu, o.firstId)) return false;
        } else if (a == "--second-id") {
            if (!number(0xFFFFu, o.secondId)) return false;
        } else if (a == "--flag") {
            if (!number(0xFFFFFFFFu, o.flag)) return false;
        } else if (a == "--max-messages") {
            if (!number(0xFFFFFFFFu, o.maxMessages)) return false;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tavolin: unknown option %s\n", a.c_str());
            return false;
        } else if (o.source.empty()) {
            o.source = a;
        } else {
            std::fprintf(stderr, "tavolin: more than one source: %s\n", a.c_str());
            return false;
        }
    }
    if (o.source.empty() || o.target.empty()) {
        std::fprintf(stderr, "tavolin: compile needs SOURCE and -o TARGET\n");
        return false;
    }
    // TARGET without its extension.
    std::string stem = o.target;
    const size_t slash = stem.rfind('/');
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) stem.resize(dot);
    if (o.impl.empty()) o.impl = stem;
    // The comment compilers need a resource script even for a source
    // without comments.
    if (o.rc.empty()) {
        o.rc = stem + ".rc";
        o.rcDefault = true;
    }
    return true;
}

bool hostCompilePathsUsable(const HostCompileOptions& o)
{
    return pathsApart(o) && namesFit(o) && tempDirectoryUsable();
}

int hostCompile(HostLibrary& lib, const HostCompileOptions& o, HostCompileTrace trace, void* traceContext)
{
    LibraryOutput::s_limit = o.maxMessages;
    // Every temporary file of the compile goes into a directory of its own,
    // under a name the pre-compiler takes.
    HostTempDir temps;
    if (!temps.open()) {
        if (trace) trace("done", traceContext);
        return 1;
    }
    SourceFile source(o.source);
    if (!source.open()) {
        if (trace) trace("done", traceContext);
        return 1;
    }
    SourceFile acx(o.acx, SourceFile::Role::Acx);
    if (!acx.open()) {
        if (trace) trace("done", traceContext);
        return 1;
    }
    int rc;
    bool redo;
    {
        Run run(lib, o, source.path(), acx.path(), trace, traceContext, false);
        rc = run.compile();
        redo = run.mustRedo();
    }
    if (redo) {
        Run run(lib, o, source.path(), acx.path(), trace, traceContext, true);
        rc = run.compile();
    }
    if (trace) trace("done", traceContext);
    return rc;
}
