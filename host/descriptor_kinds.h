// The kinds of descriptor file a compile writes into, as the tavolin
// command tells them apart: a technology object (of a technology object or
// a device technology object source), a technology package, a device. A new
// TARGET is made as the descriptor of the source's object kind; an existing
// one names its kind in its "header" stream, which the source must fit.
#pragma once

#include <cstdint>

#include "platform/com.h"
#include "tools/md/tavolin/IMC_Tavolin.h"

// Makes a descriptor file at path and closes it; r receives the result of
// the creation where there is one. False when it could not be made.
using HostDescriptorMaker = bool (*)(const char* path, uint32_t& r);

// The maker of an object kind's own descriptor file; null for no kind.
HostDescriptorMaker hostDescriptorMaker(LONG kind);
// A compound file with nothing in it, for a source without an object kind
// (the opening still runs then, and says what is wrong with the source).
bool hostMakeEmptyCompoundFile(const char* path, uint32_t& r);

// The descriptor kind a "header" stream of stg names: the second line is
// the kind's id. Empty when it names none of the three, or there is none.
const char* hostHeaderKind(IStorage* stg);
// The descriptor kind a source of an object kind is compiled into ("technology
// object", "technology package", "device"); empty for no kind.
const char* hostDescriptorKindOf(LONG kind);
// Whether the macro files of a source of this kind name their set, the boot
// functions' container and the --include names: a technology object's, of
// either kind, whose boot-function compiler writes NAME, INCLUDE and
// DECLCONT; a package's and a device's hold the implementation section's
// I/O part alone, and a source of no kind writes none.
bool hostMacroFilesNamed(LONG kind);
// The words for the source's kind ("a device technology object"; "no object
// kind").
const char* hostSourceKindWords(LONG kind);
