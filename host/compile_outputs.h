// The resource script and the macro files of a compile, as the tavolin
// command keeps them: outputs of one compile, like TARGET. The pre-compiler
// writes fresh temporary files beside them (its appends go there; the macro
// files in a directory "tavolin.XXXXXX" of their own, under their own name,
// which their text names); only after TARGET was put in place does each of
// them that the compile wrote replace its file, in one rename, with the
// mode of the file it replaces, and its owner and group as far as the
// process may set them (see hostGiveOwner). A compile that fails, is refused or is
// interrupted leaves each byte for byte as it was; one the compile did not
// write (a source without boot functions and implementation writes no macro
// file) stays as it was too.
//
// Putting them in place is all or nothing where it can be: before the first
// rename a way back is kept for each file a rename replaces (a hard link
// beside it, see hostKeepWayBack), and when a rename fails after others
// succeeded, those are put back (a new file is removed), TARGET too. Only
// when a way back fails as well does an output stay the new one, and the
// caller says which.
//
// A symbolic link stays a link: the file it names is replaced. A temporary
// file whose name would be too long beside a name near the limit gets a
// short one there (see hostMakeTemp). An output that is there and is no
// regular file (a directory, a FIFO, a device, a socket, or a link to one)
// refuses the compile before any step runs, and so does one whose temporary
// file cannot be made beside it (its directory is missing, read-only or
// cannot be written, a part of its path is a file), as TARGET does. A
// read-only file is kept with the reason: the pre-compiler then writes a
// scratch file in $TMPDIR that is never put in place, and the step that
// writes it fails, naming the file and the reason.
//
// Every temporary name (ways back too) is registered with the platform's
// temporary names, so that a signal handler removes it.
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// The file a path names, with symbolic links followed (a dangling one
// too) and its directory made absolute: two paths that name one file give
// the same text. The path as it stands when its directory cannot be
// resolved.
std::string hostFileOf(const std::string& path);
// "a and b", or "a, b and c", of the paths; empty for none.
std::string hostListed(const std::vector<std::string>& paths);

// What became of one file of a compile, as its last line says it.
enum class HostFate {
    AsItWas,     // there before, and is again (untouched, or put back)
    NotWritten,  // not there before, nor now (never made, or removed again)
    Stuck,       // the new one: it could not be put back (or a new one removed)
};
struct HostFileFate {
    std::string name;  // as the command line names it
    HostFate fate;
};
// What the last line of a compile says of its files, every one of them, in
// groups: "a and b are the new ones (they could not be put back: WHY), c is
// as it was, d not written"; the new ones first, then those as they were,
// then those not written, each group in the order given. Every last line
// that tells how a compile ended (a failure, an interruption) ends in it.
std::string hostFatesWords(const std::vector<HostFileFate>& files, const std::string& stuckWhy = std::string());
// The files as the compile found them, none of them touched: each one that
// is there (links followed) is as it was, each other one not written.
std::vector<HostFileFate> hostUntouched(const std::vector<std::string>& files);

class CompileOutputs {
public:
    // rc: the resource script, empty for none; base: the macro files
    // base.m4h and base.m4c.
    CompileOutputs(const std::string& rc, const std::string& base);
    ~CompileOutputs()
    {
        discard();
        dropWaysBack();
    }
    CompileOutputs(const CompileOutputs&) = delete;
    CompileOutputs& operator=(const CompileOutputs&) = delete;

    // Makes the temporary files (empty). Outputs that cannot be written
    // keep their reason (see above). False, with the reason in failure()
    // and nothing made, when the directory of one cannot take its new file
    // or the process lacks what it takes to make it.
    bool prepare();
    const std::string& failure() const { return m_failure; }
    // What the pre-compiler gets: the temporary resource script and the base
    // of the temporary macro files; empty when none could be made.
    const std::string& rcWork() const { return m_outputs[0].work; }
    const std::string& macroBaseWork() const { return m_macroBase; }

    // Notes the state of the temporary files before a step.
    void mark();
    // After a step: ", cannot write X: reason" for each output it wrote
    // that cannot be written; empty when there is none.
    std::string stepCannotWrite() const;
    // After a step that succeeded: "a and b" for the macro files it wrote
    // (empty for none).
    std::string stepWrote() const;
    // False when the resource script given holds no whole string table at
    // its end (the opening appends one; a full device cuts it).
    bool rcWhole() const;

    // Keeps a way back to each file that install is to replace (see
    // hostKeepWayBack); one that cannot be kept is noted for putBack.
    void keepWaysBack();
    // Puts every output the compile wrote in place, in order, up to the
    // first that cannot be: false then, with "cannot write FILE: reason" in
    // failure (nothing is said). The temporary files are removed either way.
    bool install(std::string& failure);
    // After an install that failed: puts back every output it put in place
    // (the old file, or none for a new one). The outputs that stay the new
    // ones, as named, with the last reason in why; empty when all are back.
    std::vector<std::string> putBack(std::string& why);
    // What became of each output, in order (see hostFatesWords): one that
    // install put in place and putBack could not take back is the new one,
    // each other one as it was before the compile.
    std::vector<HostFileFate> fates() const;
    // Gives up the ways back (once every output is in place or back).
    void dropWaysBack();
    // Removes the temporary files; every output stays as it was.
    void discard();

private:
    struct Output {
        std::string path;  // as named
        std::string file;  // the file itself (links followed)
        std::string work;  // the temporary file the pre-compiler writes
        std::string why;   // non-empty: path cannot be written, for this reason
        mode_t mode = 0;   // of the file it replaces, or of a new file
        uid_t owner = uid_t(-1);  // of the file it replaces (-1: a new file)
        gid_t group = gid_t(-1);
        bool before = false;  // there before the compile
        std::string made;  // the state of work when it was made
        std::string marked;  // the state of work at the last mark
        bool refused = false;  // why is of its directory or kind: the compile is refused
        bool notAFile = false;  // why is its kind (a directory, a FIFO, ...)
        bool lacking = false;   // why is a resource the process lacked (see hostLacksResources)
        bool existed = false;   // install replaces a file
        std::string back;       // the way back to that file (keepWaysBack)
        std::string backWhy;    // why none could be kept
        bool placed = false;    // install put it in place
    };
    // Checks whether out.file can be replaced; the reason when not.
    void check(Output& out);
    // Whether install puts out in place: the compile wrote it.
    bool toPlace(const Output& out) const;
    void makeRc();
    void makeMacros();

    std::vector<Output> m_outputs;  // the resource script, BASE.m4h, BASE.m4c
    std::string m_base;             // BASE as given
    std::string m_macroDir;         // the directory of the temporary macro files
    std::string m_macroBase;        // in it, BASE's last part
    std::string m_failure;          // why prepare refused the compile
};
