// The compile driver of the tavolin command: loads libtavolin.so and drives
// one compile the way the engineering system does - a working copy of
// TARGET as the host's compound file, openSource, every section method the
// object kind accepts, copySections for every section TARGET holds, and
// TARGET replaced by the copy only when every step that ran succeeded.
//
// The command is a thin main() around it; the main-road benchmark links the
// same driver to run the very same sequence in its own process, with the
// library loaded once, so that what it measures is the compile and not the
// start of a process.
//
// Output as the command gives it: one line per step on standard output,
// messages on standard error, failures of the driver itself in words on
// standard error ("tavolin: ...").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/comserver.h"
#include "platform/library.h"
#include "tools/md/tavolin/IMC_Tavolin.h"

// A status or HRESULT as the step lines show it ("0xBE11000B").
std::string hostHex(uint32_t v);

// A text of the command line as the resource script and the macro files
// take it (code page 1252): read as UTF-8 when it is UTF-8, else its bytes
// read as code page 1252. Paths are not texts: they are handed on as the
// bytes they are.
std::u16string hostTextToWide(const std::string& text);

// What a status of one method of the pre-compiler means, in that method's
// words (acx: the compile was given an ACX file, whose import the
// variables method runs); a code of the pre-compiler's range that the
// method does not name is "a lower layer failed with code N"; empty for any
// other code.
std::string hostStatusMeaning(const std::string& method, uint32_t status, bool acx);

// The causes (MdCause* bits) the library noted of a method's failure, in
// words joined by "; " ("" for none).
std::string hostCauseWords(int32_t causes);

// The pre-compiler library: found through TAVOLIN_LIBRARY, else at the path
// it was built with, else next to the program. It stays loaded for the rest
// of the process (objects it made may still be released by static
// destructors).
class HostLibrary {
public:
    using RemoveTempFiles = void (*)();
    using TakeFileFailure = int (*)(char* dir, size_t size);
    using TakeStepCause = int32_t (*)();

    // Loads the library and binds its exports; false with a message on
    // standard error.
    bool load();
    // A new pre-compiler object through the library's class factory; null
    // with a message.
    IMC_Tavolin* create();
    // The library's removal of its temporary files (async-signal-safe); null
    // when it has none.
    RemoveTempFiles removeTempFiles() const { return m_removeTempFiles; }
    HRESULT registerServer() { return m_register(); }
    HRESULT unregisterServer() { return m_unregister(); }
    const std::string& path() const { return m_path; }

private:
    static std::string findPath();

    std::string m_path;
    HMODULE m_module = nullptr;
    PFN_DllGetClassObject m_getClassObject = nullptr;
    PFN_DllCanUnloadNow m_canUnload = nullptr;
    PFN_DllRegisterServer m_register = nullptr;
    PFN_DllUnregisterServer m_unregister = nullptr;
    RemoveTempFiles m_removeTempFiles = nullptr;
};

// Why a file could not be made or written since the last call, in the
// library (its last failure) or else in this process: ", a file in the
// directory of temporary files DIR (TMPDIR) could not be made or written:
// no space left on the device", or in the directory it was in; empty when
// none failed. Forgets it.
std::string hostFileFailure();
// The same as it was kept: the error number (0: none) and the directory.
struct HostFileFailure {
    int err = 0;
    std::string dir;
    // As hostFileFailure says it.
    std::string words() const;
};
HostFileFailure hostTakeFileFailure();

// The arguments of `tavolin compile`.
struct HostCompileOptions {
    std::string source, target, acx, rc, rcText, impl;
    bool rcDefault = false;  // rc was not given: TARGET's name with ".rc"
    std::vector<std::string> includes;  // names for the boot functions' macro files
    uint32_t maxMessages = 100;  // messages shown, and lines of the library's own output per call (0: all)
    uint32_t mask = 0;
    uint32_t firstId = 0, secondId = 0;
    uint32_t flag = 1;
    // False: the main road alone - openSource and copySections, no section
    // method - for measuring what the split and the working file cost.
    bool sectionMethods = true;
};

// Reads `compile SOURCE -o TARGET [options]` from argv[2] on; without
// --impl the base is TARGET without its extension, without --rc the
// resource script is TARGET with ".rc" in place of its extension. False
// with a message on standard error, also when GNU m4 would read back
// otherwise a name the macro files write without quotes: the part of the
// base after its last "/" or "\" (NAME(set), INCLUDE(set.h)) or an
// --include (see bfM4Misreading).
bool hostParseCompile(int argc, char** argv, HostCompileOptions& o);

// False with a message when two of SOURCE, TARGET, the ACX file, the
// resource script, BASE.m4h and BASE.m4c name one file (links followed), or
// when the name of TARGET, the resource script or a macro file is longer
// than its directory takes, or when the directory of the temporary files
// cannot be used.
bool hostCompilePathsUsable(const HostCompileOptions& o);

// The signals that end the command by default and that it catches to clean
// up (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
// SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT and the
// real-time signals): held back while TARGET and the outputs are put in
// place.
const std::vector<int>& hostCleanupSignals();
// The signals that end the command by default with a core and that it
// catches to clean up, then ends by the same signal (SIGABRT, also the end
// of an uncaught exception, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP,
// SIGSYS): held back like the others.
const std::vector<int>& hostDeathSignals();
// Notes that the command's own handler ends it on sig (one of the two lists
// above): only such a signal, pending when the outputs are put in place,
// stops that or is said afterwards.
void hostSignalHandled(int sig);
// Once the outputs were being put in place: the first signal the command
// handles (hostSignalHandled) that came since and is held back until the
// command ends (it then ends with the status the compile had); 0 for none,
// or while nothing was put in place.
int hostLateSignal();

// Flushes standard output; false once a write of it failed (a full device,
// a closed output). With say, the first failure is said on standard error.
bool hostFlushOutput(bool say);

// Marks in the course of one compile, for whoever measures it: "target"
// (the working copy of TARGET is open), then the name of each method once it
// returned ("openSource", "compileComments", ..., "copySections"),
// "released" (the object gave up its working file), "committed" (the copy
// is written), "installing" (TARGET is renamed next), "target installed",
// "installed" (the outputs are in place, or failed) and "done". Called with
// the context given.
using HostCompileTrace = void (*)(const char* mark, void* context);

// Runs one compile with the library; the exit status of the command: 0 every
// step ended with status 0; 1 a step reported errors or is not compiled into
// the library, the source has no header section (no object kind, yet no
// error), SOURCE (see SourceFile), TARGET, an output or standard output
// could not be used or the library failed. TARGET, the resource script and the macro files change
// only when every step that ran succeeded and standard output took the
// step lines.
int hostCompile(HostLibrary& lib, const HostCompileOptions& o, HostCompileTrace trace = nullptr,
                void* traceContext = nullptr);
