// The shape every section compiler shows the front end: one object per
// compile, constructed without arguments, given its input and targets by
// init, run once by parse, asked for the next free resource-string id where
// it writes string tables, and deleted before the method returns.
//
// Each section kind has one compiler class. A kind whose compiler is not part
// of this build has no creator; the section method then reports an internal
// error instead of compiling. Tests install creators of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <list>

#include "base/fs/FsDsc.h"
#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"

enum MdCompilerKind : int {
    MdCompVarComment = 0,  // variable and boot-function comments
    MdCompVarExt,          // variable extensions
    MdCompConnection,      // connections
    MdCompAlarm,           // alarms
    MdCompErrMsgTxt,       // alarm and boot-function error texts
    MdCompBootFkt,         // boot functions
    MdCompSuppTO,          // supported technology objects
    MdCompImpl,            // implementations
    MdCompCount
};

// Class name of a kind's compiler ("MdConnectionParser", ...); null outside
// the range.
const char* mdCompilerName(int kind);

// Everything a compiler may be given; each kind reads the fields it needs.
// The boot-function compiler's init takes, in its own order: the stream, the
// source path as its name, rcPath as the path of its macro files without
// extension (the method's first argument; a temporary path on the first
// run), the names as its includes, bootText as its container name, the
// descriptor, firstStringId as the first id of the error texts (its
// ERRTXT_OFFSET; 0 on the first run), bit 0 of sectionMask as its
// no-implementation bit, flag as its registered-provider flag and
// firstPass as its lower-case flag.
struct MdCompilerArgs {
    std::istream* stream = nullptr;   // the section body; null: nothing to compile
    FsDsc* descriptor = nullptr;      // descriptor over the working file, or none
    FsSecCl* section = nullptr;       // open result section (comments)
    String rcPath;                    // resource script that receives string tables;
                                      // boot functions: base path of the macro files
    int32_t firstStringId = 0;        // first free resource-string id
    uint16_t firstId = 0;             // ids given to the entry method
    uint16_t secondId = 0;
    String sourcePath;                // the description source (boot functions)
    std::list<String> names;          // boot functions: names given by the host
    String bootText;                  // boot functions: text given by the host
    String outputBase;                // implementations: base name of the output files
    uint32_t sectionMask = 0;         // skip mask of the entry method
    bool flag = true;                 // flag of the entry method
    int32_t firstPass = 0;            // boot functions: 1 first run (identifiers
                                      // lower-cased), 0 second run (case kept)
    bool outputsUnused = false;       // boot functions: the run counts only for its
                                      // messages; nothing is written
};

class MdSectionCompiler {
public:
    virtual ~MdSectionCompiler();

    virtual void init(const MdCompilerArgs& args) = 0;
    // 0 success; the grammar's own non-zero result when it stops; 3 when the
    // text was accepted but errors were counted; 4 or 5 when a result
    // section could not be opened or written.
    virtual int32_t parse() = 0;
    // Errors counted by the grammar and its scanner during parse.
    virtual int32_t errorCount() const { return 0; }
    // The first resource-string id not used by this compile.
    virtual int32_t nextStringId() const = 0;
    // Comments only: appends the collected texts to the resource script and
    // writes the comment section; 0 on success.
    virtual int32_t writeStringTable() { return 0; }
};

using MdCompilerCreator = std::function<MdSectionCompiler*()>;

// Whether the kind's compiler is part of this build.
bool mdCompilerBuilt(int kind);
// A new compiler of the kind; null when it is not built or cannot be
// allocated.
MdSectionCompiler* mdCreateCompiler(int kind);
// Installs the creator of a kind (an empty one: not built) and returns the
// previous one.
MdCompilerCreator mdSetCompilerCreator(int kind, MdCompilerCreator creator);
