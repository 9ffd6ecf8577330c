// The tavolin command: drives the pre-compiler library the way the
// engineering system does.
//
//   tavolin compile SOURCE -o TARGET [options]   pre-compile a description source
//   tavolin --version | --help
//   tavolin register | unregister                write / remove the registration
//
// compile gives the pre-compiler a working copy of TARGET as the host's
// compound file (for a missing TARGET a descriptor file of the source's
// object kind), runs openSource, every section method the object kind
// accepts and copySections for every section TARGET holds, and replaces
// TARGET by the copy only when every step that ran succeeded; the resource
// script and the macro files are written fresh beside their files and put in
// place right after it. Exit status: 0 every step ended with status 0; 1 a
// step reported errors, was not compiled into the library, TARGET, an
// output, standard output or the library could not be used; 2 wrong usage.
// A signal that ends a process by default ends the command by that same
// signal (a shell shows 128 + the signal), after a cleanup: no temporary
// file is left, TARGET and the outputs are as they were, and a last line
// says so. A signal that comes once the outputs are being put in place is
// held back: the command ends as it would have, and says so. No line written then, nor the handler's, waits for a
// standard error that cannot take it (see nonblocking_lines.h).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/compile_driver.h"
#include "host/compile_outputs.h"
#include "host/nonblocking_lines.h"
#include "host/option_checks.h"
#include "host/signal_hold.h"
#include "host/standard_output.h"
#include "host/status_words.h"
#include "platform/memory_watch.h"
#include "platform/tempnames.h"

namespace {

// What the libraries' own start-up needs, with room to spare: glib's ends
// the process when its first allocations fail, before main could say why.
constexpr size_t kRoomToStart = size_t(2) << 20;

// Runs before any library's start-up (from .preinit_array): without the
// room, the command says that memory ran out, having touched nothing.
void checkRoomToStart(int, char**, char**)
{
    if (tvp::roomFor(kRoomToStart)) return;
    static const char kLine[] = "tavolin: memory ran out before the command started: nothing was written\n";
    hostSayNow(kLine, sizeof kLine - 1);
    ::_exit(1);
}
__attribute__((section(".preinit_array"), used)) void (*const g_checkRoomToStart)(int, char**, char**) =
    checkRoomToStart;

const char kUsage[] =
    "usage: tavolin compile SOURCE -o TARGET [--acx FILE] [--rc FILE] [--rc-text TEXT]\n"
    "                       [--impl BASE] [--include NAME]... [--mask N] [--first-id N]\n"
    "                       [--second-id N] [--flag N] [--max-messages N]\n"
    "       tavolin --version | --help | register | unregister\n";

const char kHelp[] =
    "tavolin - pre-compiles the description source of a technology-object type,\n"
    "technology package or device through the pre-compiler library libtavolin.so.\n"
    "\n"
    "  compile SOURCE -o TARGET\n"
    "      Opens a copy of TARGET as the host's compound file (for a missing TARGET\n"
    "      a descriptor file of the source's object kind), opens SOURCE, runs every\n"
    "      section method the object kind accepts, copies every section TARGET\n"
    "      holds from the pre-compiler's working file into the copy, and replaces\n"
    "      TARGET by it when every step that ran succeeded (a section whose\n"
    "      compiler is not built does not count). Otherwise TARGET stays as it\n"
    "      was, byte for byte. A source of another object kind than an existing\n"
    "      TARGET is refused. TARGET is never written in place: a directory of\n"
    "      TARGET that cannot take the copy (read-only) refuses the compile, and\n"
    "      so does a name of TARGET, the resource script or a macro file longer\n"
    "      than its directory takes (255 bytes), before anything is written.\n"
    "      SOURCE is a regular file, or a named pipe, a shell's <(...), a terminal\n"
    "      or a device, which is read once into a temporary file first. Its texts\n"
    "      are code page 1252 and reach the resource script as they are (a source\n"
    "      saved as UTF-8: iconv -f UTF-8 -t CP1252 in.tos > out.tos). The\n"
    "      largest source is 256 MiB (268435456 bytes): a larger file is refused,\n"
    "      and a SOURCE that gives more (/dev/zero) is stopped there.\n"
    "      A recompile into an existing TARGET holds what SOURCE compiles to: each\n"
    "      section a step of the pre-compiler writes is rewritten, and one whose\n"
    "      part SOURCE lacks is left empty, as in a new TARGET. Sections no step\n"
    "      writes are kept: those of the class provider (\"symb\" of the system\n"
    "      variables) unless it writes them again, and TARGET's own.\n"
    "      The resource script and the macro files are outputs of the compile,\n"
    "      like TARGET: the pre-compiler writes fresh temporary files beside them,\n"
    "      and each one it wrote replaces its file (keeping that file's\n"
    "      permissions, and its owner and group as far as the command may set\n"
    "      them, as TARGET does) right after TARGET was replaced; otherwise they\n"
    "      stay as they were. An output (TARGET too) or its directory that is\n"
    "      immutable or append-only (chattr +i, +a) is refused before any step.\n"
    "      A dangling link is a new file, made where it points; the link stays.\n"
    "      SOURCE, TARGET, the ACX file, the resource script and the\n"
    "      two macro files must be six different files (links followed): a clash\n"
    "      is refused before anything is written.\n"
    "      Messages go to standard error (a name or path in them stands whole up\n"
    "      to 1 024 bytes, a longer token is cut to its first 40 bytes and its\n"
    "      length); one line per step to standard output.\n"
    "      --acx FILE       ACX file with configurations and variable values (a pipe\n"
    "                       is read once, as SOURCE is)\n"
    "      --rc FILE        resource script that receives the string tables\n"
    "                       (default: TARGET with .rc in place of its extension).\n"
    "                       The texts of one source take the ids 0 to 0xFFFD (0xFFFE\n"
    "                       is --rc-text's): at most 65 534 texts; the step whose\n"
    "                       text would take an id past them fails with its block's\n"
    "                       message (303, 408, 707 or 903) at that text's line\n"
    "      --rc-text TEXT   text of the string-table entry 0xFFFE, in the script's code\n"
    "                       page 1252: UTF-8 is converted (a character the code page\n"
    "                       lacks is refused), other bytes are taken as code page 1252;\n"
    "                       written like every text of the script: a quote doubled, a\n"
    "                       line end as \\n, a backslash as it stands, an escape to a\n"
    "                       resource compiler (C:\\temp reads with a tab, \\\\ as one),\n"
    "                       except a lone one before a quote, a line end or the end,\n"
    "                       which is doubled and stands for itself ('ends\\' is\n"
    "                       written \"ends\\\\\" and reads back as ends\\); at most\n"
    "                       65 535 characters as it reads back, and none of the bytes\n"
    "                       the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,\n"
    "                       0x9D; U+0081 or \\x81 alike), else a usage error\n"
    "      --impl BASE      base path of the .m4h/.m4c macro files: the boot functions\n"
    "                       write them, the implementation section is added to\n"
    "                       them (default: TARGET without its extension)\n"
    "      An empty FILE or BASE is wrong usage, as an empty TARGET is; a directory\n"
    "      of the resource script or the macro files that cannot take their new\n"
    "      files refuses the compile before any step runs, as TARGET's does, and\n"
    "      so does TARGET, the resource script or a macro file that is a\n"
    "      directory, a FIFO, a device, a socket or a link to one.\n"
    "      --include NAME   a file the boot functions' macro files include\n"
    "                       (repeatable, in order)\n"
    "      A technology object's macro files write the name of their set (BASE\n"
    "      after its last / or \\), of the container (SOURCE's file name without\n"
    "      its extension) and each NAME without quotes, as their bytes: one that\n"
    "      m4 would read otherwise (a comma, a parenthesis that does not balance,\n"
    "      `, #, blanks at its start, a word that m4 or the macro package\n"
    "      expands, such as dnl) or an empty set name is wrong usage. A package's\n"
    "      and a device's macro files hold none of these names.\n"
    "      --mask N         skip mask of the section split (default 0): the bodies of\n"
    "                       the sections of a set bit are dropped - 0x2 CONFIGS,\n"
    "                       0x4 RESOLVE, 0x8 the other variable sections, the system\n"
    "                       variables and functions and VARCOMMENT, 0x10 the boot\n"
    "                       functions, 0x20 the alarms, 0x40 INTERFACE\n"
    "      --first-id N     first 16-bit id (default 0; 4 or more adds \" -C RefCall \")\n"
    "      --second-id N    second 16-bit id (default 0)\n"
    "      --flag N         0 loads the class provider from the library's directory\n"
    "                       and the boot functions' name classifier from the\n"
    "                       command's (libtvclsprv.so), anything else creates both\n"
    "                       by class id from the registration (default 1)\n"
    "      --max-messages N at most N messages are shown (default 100, 0: all), then\n"
    "                       \"... and N more messages\" with their counts by severity;\n"
    "                       a run of stray bytes past its first 100 is one message\n"
    "                       that counts an error per byte, whatever N is\n"
    "      Numbers are decimal or 0x-prefixed hexadecimal. Paths are bytes: a name in\n"
    "      UTF-8, Latin-1 or any other encoding is used, and shown, as the bytes it is.\n"
    "      Boot functions need the name classifier: without it compileBootFunctions\n"
    "      fails (message 0), and the step line says so first.\n"
    "  --version         prints the version of the library\n"
    "  register          writes the library's registration into the settings file\n"
    "  unregister        removes it again (TAVOLIN_SETTINGS names the file)\n"
    "\n"
    "Output: one line per step on standard output - \"METHOD: ok\" (for the boot\n"
    "functions followed by the macro files written, for the implementations by\n"
    "those appended to; a compile that fails puts none of them in place, and its\n"
    "last line on standard error names them), \"METHOD: status 0xBE11xxxx (what it\n"
    "means)\" (a step that fails names no file written),\n"
    "\"METHOD: failed, cannot write FILE: reason\" for an output that cannot be\n"
    "written, \"not compiled: METHOD\" for a section whose\n"
    "compiler this library lacks (it reports message 0 \"Interner Fehler\"), or\n"
    "\"skipped: METHOD\" for a class-provider step without an installed class\n"
    "provider (the system variables and functions are compiled by that component,\n"
    "not by this library; a step that ran names the provider's library). No TARGET\n"
    "is made when the source gave no object kind. A source without a TO_HEADER,\n"
    "TP_HEADER, DV_TO_HEADER or DV_TP_HEADER section fails the compile (exit\n"
    "status 1), with TARGET, the resource script and the macro files as they were.\n"
    "A SOURCE or ACX file that cannot be opened or read is named with the reason\n"
    "(\"tavolin: ...\" on standard error), and so is a system-variable table\n"
    "(the section \"symb\") that the variables step lacks.\n"
    "\n"
    "Exit status: 0 every step ended with status 0; 1 a step reported errors or is\n"
    "not compiled into the library, TARGET, an output or the library could not be\n"
    "used, or standard output did not take the step lines (then nothing is\n"
    "written); 2 wrong usage.\n"
    "Signals: SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE (the reader of the step\n"
    "lines went away), SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM,\n"
    "SIGPROF, SIGIO, SIGPWR, SIGSTKFLT, the real-time signals, SIGABRT (an\n"
    "uncaught exception's too), SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP and\n"
    "SIGSYS end a compile by that same signal, as they would without the\n"
    "command's cleanup (a shell shows 128 + the signal, and a shell loop or make\n"
    "stops; a handler of a sanitizer or debugger stays; one the command was\n"
    "started with ignored stays ignored). No temporary file is left, TARGET, the\n"
    "resource script and the macro files are as they were, and a last line says\n"
    "so (\"tavolin: interrupted by SIGINT: t.dsc and t.rc are as they were, t.m4h\n"
    "and t.m4c not written\"). Once TARGET is being renamed into place every\n"
    "signal is held back: the outputs are all put in place, the temporary files\n"
    "removed, a line says that the signal came (\"tavolin: SIGTERM came while the\n"
    "outputs were put in place: they are the new ones, ...\"), and the compile\n"
    "ends with the status it had. A rename that fails among them puts back those\n"
    "before it, and the last line says what each file is. No line holds the\n"
    "command: one that standard error cannot take at once (a full pipe) is\n"
    "dropped, and the command ends with its status.\n"
    "Environment: TAVOLIN_LIBRARY overrides the path of libtavolin.so;\n"
    "TAVOLIN_SETTINGS names the settings file (registration, settings); TMPDIR the\n"
    "directory of the temporary files (default /tmp): any directory works (a long\n"
    "name, one not in ASCII); a compile makes a directory of its own in it, removed\n"
    "when it ends.\n";

// ---------------------------------------------------------------------------
// Signals

// The library's removal of its temporary files, once it is loaded.
std::atomic<HostLibrary::RemoveTempFiles> g_libraryTempFiles{nullptr};
static_assert(std::atomic<HostLibrary::RemoveTempFiles>::is_always_lock_free, "read by a signal handler");

// Removes the temporary files of the library and of this command (among
// them the working copy of TARGET and the fresh resource script and macro
// files). Async-signal-safe.
void removeTemporaries()
{
    if (HostLibrary::RemoveTempFiles remove = g_libraryTempFiles.load()) remove();
    tvp::removeTempNamesNow();
}

// Every signal that ends the command by default and can be caught (see
// hostCleanupSignals and hostDeathSignals), sent from outside, raised by
// abort() or by a fault: the temporary files are removed, the last line
// says so, and the signal is raised again with its default action, so that
// the command ends by it, as it would have without the handler: whoever
// started it (a shell loop, make) sees the signal, not an exit it would
// take for a compile that failed, and stops too. TARGET and the outputs
// are only ever replaced by one rename each, with every signal held back
// from the first rename on, so a signal that gets here finds them as they
// were.
extern "C" void endOnSignal(int sig)
{
    removeTemporaries();
    bool fault = false;
    for (int s : hostDeathSignals()) fault = fault || s == sig;
    hostSaySignalEnd(sig, fault, hostPlacing());
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    // Held back while the handler runs: delivered once it is let through.
    ::raise(sig);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    // Not reached: the default action ended the command.
    _exit(128 + sig);
}

// The stack the handlers run on, so that a fault of a stack that overflowed
// is handled too (unless another part of the process set one already).
alignas(16) char g_signalStack[64 * 1024];

void installSignalHandlers()
{
    stack_t old;
    if (::sigaltstack(nullptr, &old) == 0 && (old.ss_flags & SS_DISABLE)) {
        stack_t ours;
        ours.ss_sp = g_signalStack;
        ours.ss_size = sizeof g_signalStack;
        ours.ss_flags = 0;
        ::sigaltstack(&ours, nullptr);
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_flags = SA_ONSTACK;
    // No handler interrupts another.
    sigfillset(&sa.sa_mask);
    for (const std::vector<int>* list : {&hostCleanupSignals(), &hostDeathSignals()}) {
        sa.sa_handler = endOnSignal;
        for (int sig : *list) {
            struct sigaction old;
            // A signal ignored by whoever started the command stays ignored,
            // and one another part of the process handles (a profiler, a
            // sanitizer, a debugger) stays with it.
            if (::sigaction(sig, nullptr, &old) == 0 &&
                ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL))
                continue;
            if (::sigaction(sig, &sa, nullptr) == 0) hostSignalHandled(sig);
        }
    }
}

// Says a signal that came while the outputs were put in place, which the
// command held back until its end: it ends with status all the same. The
// line is dropped when standard error cannot take it at once.
void sayLateSignal(int status)
{
    const int sig = hostLateSignal();
    if (!sig) return;
    hostSayNow("tavolin: " + hostSignalName(sig) + " came while the outputs were put in place: " +
               (status == 0 ? "they are the new ones, and " : "") + "the compile ends as it would have\n");
}

// TAVOLIN_STOP_AT=MARK: the command stops itself (SIGSTOP) at that mark of
// the compile (see HostCompileTrace), so that a test can send a signal at
// that very moment and let it go on (SIGCONT). Unset, nothing stops.
extern "C" void stopAtMark(const char* mark, void* wanted)
{
    if (std::strcmp(mark, static_cast<const char*>(wanted)) == 0) ::raise(SIGSTOP);
}

// Standard input, output and error that were closed by whoever started the
// command are taken by /dev/null before anything opens a file: a file opened
// in their place would receive the step lines and messages. Writes to a
// standard output taken this way fail (it is opened for reading), so that
// the command says it could not write its step lines.
void holdStandardFiles()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int null = ::open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

// ---------------------------------------------------------------------------

int version(HostLibrary& lib)
{
    IMC_Tavolin* object = lib.create();
    if (!object) return 1;
    char* text = nullptr;
    HRESULT hr = object->getVersion(&text);
    object->Release();
    if (FAILED(hr) || !text) {
        std::fprintf(stderr, "tavolin: getVersion failed, hr = %s\n", hostHex(uint32_t(hr)).c_str());
        return 1;
    }
    std::printf("%s\n", text);
    CoTaskMemFree(text);
    return 0;
}

int registration(HostLibrary& lib, bool add)
{
    const char* settings = std::getenv("TAVOLIN_SETTINGS");
    if (!settings || !*settings) {
        std::fprintf(stderr, "tavolin: TAVOLIN_SETTINGS names no settings file\n");
        return 1;
    }
    HRESULT hr = add ? lib.registerServer() : lib.unregisterServer();
    if (FAILED(hr)) {
        std::fprintf(stderr, "tavolin: %s failed, hr = %s\n", add ? "DllRegisterServer" : "DllUnregisterServer",
                     hostHex(uint32_t(hr)).c_str());
        return 1;
    }
    std::printf("%s %s in %s\n", add ? "registered" : "unregistered", lib.path().c_str(), settings);
    return 0;
}

int run(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    HostCompileOptions options;
    const bool known = command == "--version" || command == "register" || command == "unregister" ||
                       command == "compile";
    if (!known || (command != "compile" && argc != 2) ||
        (command == "compile" && !hostParseCompile(argc, argv, options))) {
        if (!known) std::fprintf(stderr, "tavolin: unknown command %s\n", command.c_str());
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (command == "compile") {
        const std::vector<HostFileFate> fates = hostUntouched(hostCompileFiles(options));
        std::vector<HostFileFate> roles = fates;
        for (HostFileFate& f : roles)
            f.name = &f == &roles[0] ? "TARGET" : f.name == options.rc ? "the resource script"
                                                                       : "BASE" + f.name.substr(options.impl.size());
        hostPrepareSignalLine(hostFatesWords(fates), hostFatesWords(roles));
        installSignalHandlers();
        if (!hostCompilePathsUsable(options)) return 1;
    }
    HostLibrary lib;
    if (!lib.load()) return 1;
    if (command == "--version") return version(lib);
    if (command == "register") return registration(lib, true);
    if (command == "unregister") return registration(lib, false);
    g_libraryTempFiles.store(lib.removeTempFiles());
    const char* stopAt = std::getenv("TAVOLIN_STOP_AT");
    if (stopAt && *stopAt) return hostCompile(lib, options, stopAtMark, const_cast<char*>(stopAt));
    return hostCompile(lib, options);
}

}  // namespace

int main(int argc, char** argv)
{
    holdStandardFiles();
    // The command's own allocations that fail, wherever they are caught, end
    // it with the line below.
    tvp::MemoryWatch watch;
    int status;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc&) {
        // The compile's objects are gone by now (their temporary files with
        // them): what it was to write is as it was.
        hostSayMemoryRanOut(hostPlacing());
        status = 1;
    }
    // What could not be written on standard output fails the command.
    if (!hostFlushOutput(true) && status == 0) status = 1;
    sayLateSignal(status);
    return status;
}
