// The system-variable and system-function methods: their sections are
// compiled by a class-provider component outside the pre-compiler
// (MdClassProvider.h). Each method writes its temporary stream into a
// temporary file and hands the file's path, the working file's storage and
// the host's error display to the component.
//
// The component is obtained anew by every call: with ctx.flag set by class
// id through the registration (CoCreateInstance), else from the library
// "tvclsprv" (named by the platform's library-naming rule) in the directory
// of the pre-compiler's own module, never the current directory. When none
// results: message 0 "Interner Fehler", status unchanged, E_FAIL.
//
// Every path out of a method removes the temporary file and releases every
// descriptor, object file and storage it opened.
#pragma once
#include <cstdint>
#include <string>

#include "tools/md/tavolin/MdFrontEnd.h"

// Kinds 1 and 2. S_OK with status 0xBE11FFFF after message 101 (the stream
// "sysvar_tmp" does not open) or 100 (the temporary file cannot be written);
// else the component's HRESULT with the status it set. Its text goes to
// ctx.classProviderText.
HRESULT mdCompileSysVars(MdFrontContext& ctx, LONG a, LONG b, int32_t& status);

// Kinds 4 and 5. The descriptor files of both lists go to the component as
// entries (flag 1 for the first list, 0 for the second list and for a
// device of the base device type); the type ids of the second list are
// written into "rtcompattptypes". "unitinterf" is brought to name-exports
// version 2 before the call (message 101 "unitinterf" when that fails).
// S_OK with status 0xBE11FFFF for a stream, temporary file, "code" or
// descriptor that does not open (messages 101, 100, none, 100 with the
// path); S_OK after message 101 when "rtcompattptypes" does not open; else
// the component's HRESULT.
HRESULT mdCompileSysFunctions(MdFrontContext& ctx, LONG a, LONG firstCount, BSTR* firstPaths, LONG secondCount,
                              BSTR* secondPaths, LONG c, LONG d, int32_t& status);

// The directory the component's library is loaded from: the directory of
// the module holding the pre-compiler, unless set here (tests). An empty
// text goes back to the module's directory.
std::string mdClassProviderDirectory();
void mdSetClassProviderDirectory(const std::string& dir);
