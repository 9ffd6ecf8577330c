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

#include "host/compile_options.h"
#include "platform/com.h"
#include "platform/comserver.h"
#include "platform/library.h"
#include "tools/md/tavolin/IMC_Tavolin.h"

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
