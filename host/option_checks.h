// The checks of a compile's options before anything is written, each false
// with a message on standard error ("tavolin: ..."): a refused option or
// set of files compiles nothing and leaves every file as it was.
#pragma once

#include <string>

#include "host/compile_options.h"

// False with a message when the text of --rc-text has a character the
// resource script's code page (1252) lacks (it would reach the script as
// "?"), or when it holds more characters than one string resource takes,
// counted as a resource compiler reads back what the script writer makes of
// it (the entry's 16-bit length would wrap, and the text would read back
// empty), or when it reads back with a byte the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D; as a character or by an escape such as
// \x81), which a resource compiler may drop the text for.
bool hostRcTextUsable(const std::string& text);

// Why the macro files cannot be written with the names the options give,
// empty when they can: GNU m4 would read back otherwise a name that those
// files write without quotes, as their form demands - the name of their
// set (the part of the base o.impl after its last "/" or "\", as NAME(set)
// and INCLUDE(set.h)), the container's (SOURCE's file name without its
// extension, as DECLCONT(name) and BEGIN_CREATE_IMPL(name)) or an --include
// (see bfM4Misreading) - or the set's name is empty. The line names --impl
// or TARGET, as o.implDefault says. Only the macro files of a source whose
// kind writes these lines hold them (hostMacroFilesNamed): a usage error
// there, as the files would be wrong whatever the compile made of the
// source, and no concern of any other.
std::string hostMacroNameRefusal(const HostCompileOptions& o);

// False with a message when two of SOURCE, TARGET, the ACX file, the
// resource script, BASE.m4h and BASE.m4c name one file (links followed), or
// when the name of TARGET, the resource script or a macro file is longer
// than its directory takes, or when one of them is there and is no regular
// file (a directory, a FIFO, a device, a socket, or a link to one), or when
// the directory of the temporary files cannot be used.
bool hostCompilePathsUsable(const HostCompileOptions& o);
