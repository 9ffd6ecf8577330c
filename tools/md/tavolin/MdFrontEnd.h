// The work behind the interface methods of the pre-compiler object: opening
// a source into a working file, compiling one section kind at a time from
// its temporary stream, and copying finished sections into the host's
// storage. The COM object keeps the state (working file, object kind,
// string-table counter, ...) and hands it in; everything here reports
// through the process-wide message handler and answers with an HRESULT and a
// front-end status.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>

#include "base/fs/FsFileMan.h"
#include "base/fs/FsRTTypeID.h"
#include "base/fs/FsSectMan.h"
#include "co/tvstring.h"
#include "platform/com.h"
#include "platform/storage.h"
#include "platform/wintypes.h"
#include "tools/md/tavolin/MdLentDescriptor.h"
#include "tools/md/tavolin/MdSectionCompiler.h"
#include "tools/md/tavolin/MdStatusCodes.h"

// Messages of the methods.
enum : uint32_t {
    MdMsgInternal = 0,       // "Interner Fehler"
    MdMsgFileOpen = 100,     // "File %s konnte nicht geöffnet werden"
    MdMsgSectionOpen = 101,  // "Sektion %s konnte nicht geöffnet werden"
    MdMsgWrongKind = 102,    // "Falscher ObjektTyp"
};

// A lower layer's result as a status: 0 stays 0, a code below 0x10000 gets
// 0xBE110000 ORed in, anything else is taken as it is.
int32_t mdStatusFromCode(uint32_t code);

// The interface methods whose work depends on the object kind.
enum MdMethod : int {
    MdMethSysVars,
    MdMethSysFunctions,
    MdMethComments,
    MdMethVariables,
    MdMethConnections,
    MdMethAlarms,
    MdMethBootFunctions,
    MdMethSupportedTOs,
    MdMethImplementations,
    MdMethCount
};
bool mdKindAccepted(int method, int32_t objectKind);
// The kind check of a method: false (message 102, status 0xBE11000A) on a
// mismatch.
bool mdCheckKind(int method, int32_t objectKind, int32_t& status);

// Reports id through the process-wide handler, with text as first argument.
void mdReport(uint32_t id, const char* text = nullptr);
// Reports message 100 for the file path: the path's bytes reach the display
// in their UTF-16 form (see tvp::pathToWide), not read as code page text;
// whole up to kMdTokenWhole bytes, a longer one cut as mdTokenArg cuts.
void mdReportFile(const char* path);

// Lends the working file's storage to a descriptor of the class (MdDscClass):
// S_OK lent; S_FALSE no storage to lend (message 0, status 0xBE11FFFF);
// E_OUTOFMEMORY.
HRESULT mdLendDescriptor(MdLentDescriptor& lent, int dscClass, int32_t& status);

// ---------------------------------------------------------------------------
// Entry method.

// Appends the one-entry string table 0xFFFE with text to the resource script
// (its id as "0xfffe", the text written like every text of the compilers'
// string tables, see MdRcStringTable; every line ended by "\r\n", an empty
// line after it). False when the script cannot be opened for appending
// (nothing written) or written.
bool mdAppendResourceStringTable(const char* rcPath, const char* text);

// The state that the entry method leaves behind for the other methods.
struct MdWorkState {
    FsFileMan* workFile = nullptr;             // closed before the entry method
    String* workPath = nullptr;                // receives the working file's path
    std::unique_ptr<FsSectMan>* target = nullptr;  // receives the manager over the host storage
    int32_t* objectKind = nullptr;             // set when the source has a header
    RTTypeID* typeId = nullptr;                // receives the header's type id
    // The working file is scratch for the object's lifetime: closing it
    // removes it without writing it (a commit writes the whole file anew).
    // Without it the file holds everything once it is closed.
    bool scratch = false;
};

// Opens the source (bytes), makes the working file in the temporary
// directory, copies the host storage into it and splits the source into the
// temporary streams with the descriptor header. S_OK with the status:
// 0xBE11001B source missing (message 100), 0xBE11FFFF no working file or no
// copy, 0xBE11000B the split counted errors. E_OUTOFMEMORY when the manager
// or the split cannot be allocated.
HRESULT mdOpenWorkingSource(const char* sourcePath, IStorage* hostStorage, uint32_t sectionMask,
                            const MdWorkState& state, int32_t& status);

// ---------------------------------------------------------------------------
// Section methods.

// What a section method needs of the object.
struct MdFrontContext {
    FsFileMan* workFile = nullptr;   // the working file (null or closed before the entry method)
    int32_t objectKind = -1;
    int32_t* stringCounter = nullptr;  // next free resource-string id (taken back)
    uint16_t firstId = 0;
    uint16_t secondId = 0;
    uint32_t sectionMask = 0;
    bool flag = true;
    String sourcePath;
    // Holds the compiler of the running call while it runs (may be null).
    std::unique_ptr<MdSectionCompiler>* slot = nullptr;
    // For the class-provider steps (MdClassProviderSteps.h): the host's error
    // display, the object's type id, where the component is kept and where
    // the text of the system-variable operation goes (may be null).
    IUnknown* errorDisplay = nullptr;
    RTTypeID typeId;
    ComPtr<IUnknown>* classProvider = nullptr;
    String* classProviderText = nullptr;
};

// Each starts with the kind check of its method (mdCheckKind) and returns
// S_OK with the status, or E_OUTOFMEMORY when a compiler or descriptor object
// cannot be allocated. A kind whose compiler is not built
// reports message 0 with status 0xBE11FFFF after the kind check and the
// stream check. An empty temporary stream (the source has no such section)
// is nothing to compile: that step creates no compiler and leaves the string
// counter, empties the descriptor sections its compiler writes (as a new
// descriptor has them; one the working file lacks is not made; one that
// cannot be emptied gives message 101 and status 0xBE11000B), and the method
// goes on with status 0. Comments keep their own steps for an empty section,
// and the implementation grammar compiles the empty section.
HRESULT mdCompileComments(MdFrontContext& ctx, const String& rcPath, int32_t& status);
// acxImport (may be empty): runs after a successful compile and gives a status.
HRESULT mdCompileVariables(MdFrontContext& ctx, const String& rcPath,
                           const std::function<int32_t()>& acxImport, int32_t& status);
HRESULT mdCompileConnections(MdFrontContext& ctx, int32_t& status);
HRESULT mdCompileAlarms(MdFrontContext& ctx, const String& rcPath, int32_t& status);
HRESULT mdCompileBootFunctions(MdFrontContext& ctx, const String& rcPath, const std::list<String>& names,
                               const String& bootText, const String& commentRcPath, int32_t& status);
HRESULT mdCompileSupportedTOs(MdFrontContext& ctx, int32_t& status);
HRESULT mdCompileImplementations(MdFrontContext& ctx, const String& outputBase, int32_t& status);
// The section-method frame for work outside this file: status 0, the kind
// check of method, then work under the guard (allocation failures give
// E_OUTOFMEMORY, anything else message 0 and status 0xBE11FFFF).
HRESULT mdRunSectionMethod(int method, const MdFrontContext& ctx, int32_t& status,
                           const std::function<HRESULT()>& work);

// ---------------------------------------------------------------------------
// Copy method.

// Copies the first count named sections from the working file into the
// target (which must hold a section of each name already), replacing their
// content. Returns the status: 0xBE110015 without target; 0xBE11001B a name
// missing on either side or null/empty (message 101); 0xBE11FFFF another
// failure to open (message 101) or a copy that did not complete (message 0).
// Sections copied before a failure stay copied.
int32_t mdCopyFinishedSections(FsSectMan* workFile, FsSectMan* target, int16_t count, const char* const* names);
