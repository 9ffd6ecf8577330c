// Run-time binding of shared libraries in the shape of the Windows loader.
//
// Naming rule, applied by LoadLibraryA to every name: backslashes become
// slashes and the directory part is kept as given; a file name ending in
// ".so" or containing ".so." is used unchanged; otherwise a trailing ".dll"
// (any case) is dropped and the file name becomes "lib" + name + ".so".
//   "tvtracer"            -> "libtvtracer.so"
//   "tvtracer.dll"        -> "libtvtracer.so"
//   ".\tvmsgtxa.dll"      -> "./libtvmsgtxa.so"
//   "C:\x\tvclsprv.DLL"   -> "C:/x/libtvclsprv.so"
//   "libm.so.6"           -> "libm.so.6"
//
// Search: a name with a directory part is opened as it stands (relative to
// the working directory). A bare file name is looked up by the dynamic
// loader (LD_LIBRARY_PATH, run paths, system directories) and then in the
// directory of the module that contains this code, so sibling libraries
// installed next to it are found.
#pragma once
#include <string>

#include "platform/wintypes.h"

struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using HINSTANCE = HMODULE;
// A generic function pointer; cast it to the export's real type.
using FARPROC = void (*)();

// Null on failure; tvp::lastLibraryError() then tells why.
HMODULE LoadLibraryA(const char* name);
// Null when the module is null or has no such export.
FARPROC GetProcAddress(HMODULE module, const char* name);
// TRUE when the module was released.
BOOL FreeLibrary(HMODULE module);
// Full path of a loaded module (null: the executable) into buf, cut to
// size - 1 characters and terminated; returns the number of characters
// written, 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, char* buf, DWORD size);

namespace tvp {

// The file name LoadLibraryA opens for a library name (see above).
std::string libraryFileName(const std::string& name);

// Text of the last failure of the calls above in this thread ("" if none).
std::string lastLibraryError();
// Whether that failure was a LoadLibraryA that found no memory for the
// library (its segments could not be mapped); such a failure also sets the
// latch of memory_watch.h.
bool lastLibraryErrorIsMemory();

// Full path of the executable or shared library that contains addr; empty
// when addr lies in no module.
std::string modulePathOf(const void* addr);
// Its directory without a trailing slash ("" when unknown).
std::string moduleDirOf(const void* addr);
// Its file name and extension ("libtavolin.so").
std::string moduleFileNameOf(const void* addr);

}  // namespace tvp
