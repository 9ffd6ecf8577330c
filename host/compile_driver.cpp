// The compile driver of the tavolin command (see compile_driver.h): the run
// of one compile - TARGET's working copy, the opening of the source, the
// section methods with their step lines, the copy of the sections and the
// outputs put in place - and the library it runs with.
#include "host/compile_driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "base/fs/FsDsc.h"
#include "base/fs/FsSecClMem.h"
#include "host/acx_words.h"
#include "host/compile_outputs.h"
#include "host/descriptor_kinds.h"
#include "host/host_display.h"
#include "host/library_records.h"
#include "host/nonblocking_lines.h"
#include "host/option_checks.h"
#include "host/signal_hold.h"
#include "host/source_file.h"
#include "host/standard_output.h"
#include "host/status_words.h"
#include "host/target_file.h"
#include "host/temp_dir.h"
#include "platform/guid.h"
#include "platform/memory_watch.h"
#include "platform/nameclassifier.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

// Class id of the class provider of the system-variable and system-function
// steps, a component outside the pre-compiler.
const CLSID kClassProviderClsid = {0x27F32D99, 0x2F82, 0x11D3, {0x90, 0xA9, 0x00, 0x10, 0x5A, 0x6C, 0x0F, 0xD7}};

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The stand-in component's library "tvclsprv" in dir; empty when it is not
// there.
std::string providerLibraryIn(const std::string& dir)
{
    const std::string path = dir + "/" + tvp::libraryFileName("tvclsprv.dll");
    return fileExists(path) ? path : std::string();
}

// The directory of a path; "." for a bare name.
std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Whether the file at path begins with a UTF-8 byte-order mark, which a
// source of code page 1252 reads as three stray characters.
bool beginsWithByteOrderMark(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    unsigned char head[3] = {0, 0, 0};
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    return got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF;
}

// An owned BSTR; a null one for an empty text.
struct Bstr : OwnedBstr {
    // A path, by its bytes (the pre-compiler gets them back as they are).
    explicit Bstr(const std::string& path) : Bstr(tvp::pathToWide(path)) {}
    explicit Bstr(const std::u16string& text) : OwnedBstr(text.empty() ? nullptr : SysAllocString(text.c_str())) {}
};

// The kind the source's headers give, read from the file at path (the
// splitter's probeKind, with lookFurther); none when it cannot be read.
int32_t headerKind(const std::string& path, bool lookFurther, bool& certain)
{
    certain = false;
    int32_t kind = MdKindNone;
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) return kind;
    std::unique_ptr<MdSectionSplitter> split(new MdSectionSplitter());
    hostLibraryCall([&] { kind = split->probeKind(in, certain, lookFurther); return S_OK; }, false);
    return kind;
}

// The object kind of the source at path as the opening will find it: from
// its headers when they settle it, else from a whole opening into a scratch
// storage with the messages kept back. None when it has none, or when it
// cannot be read.
LONG settledKind(HostLibrary& lib, const HostCompileOptions& o, const std::string& path)
{
    bool certain = false;
    const int32_t first = headerKind(path, true, certain);
    if (certain) return mdIsObjectKind(first) ? first : MdKindNone;
    IMC_Tavolin* probe = lib.create();
    if (!probe) return MdKindNone;
    IStorage* scratch = nullptr;
    LONG kind = MdKindNone;
    if (fsCreateMemStorage(&scratch) && scratch) {
        HostErrorDisplay silent(nullptr);
        Bstr source(path);
        LONG status = 0;
        hostLibraryCall(
            [&] {
                return probe->openSource(source.get(), nullptr, nullptr, nullptr, scratch, &silent,
                                         USHORT(o.firstId), USHORT(o.secondId), LONG(o.flag), ULONG(o.mask), &kind,
                                         &status);
            },
            false);
        // The object holds the handler until it goes: released while the
        // handler still stands.
        probe->Release();
        probe = nullptr;
        scratch->Release();
    }
    if (probe) probe->Release();
    return mdIsObjectKind(kind) ? kind : MdKindNone;
}

// ---------------------------------------------------------------------------
// Compile

class Run {
public:
    // source: the file SOURCE is read from (see SourceFile). careful: the
    // source's kind is settled before anything is opened, by reading the
    // whole source (see probeKind).
    Run(HostLibrary& lib, const HostCompileOptions& o, const std::string& source, const std::string& acx,
        HostCompileTrace trace, void* traceContext, bool careful)
        : m_lib(lib), m_o(o), m_source(source), m_acx(acx), m_file(o.target), m_outputs(o.rc, o.impl), m_trace(trace),
          m_traceContext(traceContext), m_careful(careful)
    {
    }

    int compile();
    // The kind the first header gave was not the source's: this run wrote
    // nothing and said nothing, and a careful one must take its place.
    bool mustRedo() const { return m_redo; }

private:
    LONG probeKind();
    // The opening said which kind the source is (hr and status its
    // outcome): false when it is not the kind this run assumed - the first
    // header's, or none - or none when that does not settle it.
    bool assumedKindHolds(LONG reported, HRESULT hr, LONG status) const;
    // The kind the source's headers give, read from its file (the
    // splitter's probeKind, with lookFurther); none when it cannot be read.
    int32_t sourceKind(bool lookFurther, bool& certain) const;
    // Whether the source holds no text of a further header (the certainty
    // of sourceKind with lookFurther, without its split).
    bool noFurtherHeader() const;
    // Ends this run for a careful one (mustRedo); nothing of it stays:
    // TARGET's working copy and the outputs are discarded with it.
    int giveWay();
    // Makes the working copy of TARGET (for a new one, a descriptor file of
    // the source's kind) and opens it; false with a message.
    bool openTarget();
    // False with a message when the kinds of the source and of an existing
    // TARGET differ.
    bool kindsFit();
    // Prints the outcome of one step; false when it did not end with status 0
    // or wrote an output that cannot be written (or m_outputTrouble says
    // what went wrong with one). meaning, when given, says what a non-zero
    // status means in place of the general words for it; the macro files the
    // step wrote follow verb.
    bool step(const char* method, HRESULT hr, LONG status, const std::string& extra = std::string(),
              const char* meaning = nullptr, const char* verb = "wrote");
    // Puts TARGET and then the outputs in place, with every signal held
    // back from the first rename until the command ends; false with a
    // message, or without one when a signal came before the first rename
    // (it is let through then).
    bool install();
    // What a last line says after its reason: "; " and what became of
    // every file of the compile (see hostFatesWords), those that stay new
    // with stuckWhy.
    std::string fatesWords(const std::string& stuckWhy = std::string()) const;
    // The same when nothing was put in place: each as it was before.
    std::string nothingPlaced() const { return fatesWords(); }
    // Says a failure before any step as the last line: "tavolin: WHAT; "
    // and what became of every file.
    void refuse(const std::string& what) const;
    // False, said, when a file of the compile or its directory lets no
    // rename or removal past (see hostUnreplaceableWords).
    bool replaceable() const;
    const char* targetWas() const { return m_isNew ? "not written" : "left as it was"; }
    // Memory ran out in a step: the steps after it do not run.
    bool stopped() const { return !m_memoryRanOut.empty(); }
    // The last line of a compile during which memory ran out, with what
    // became of every output.
    void sayMemoryRanOut() const
    {
        std::fprintf(stderr, "tavolin: memory ran out during %s%s\n", m_memoryRanOut.c_str(), nothingPlaced().c_str());
    }
    // What a line that names TARGET first says after its reason: "; " and
    // what became of the other files (see hostFatesWords).
    std::string either() const;
    std::string classProviderPath() const;
    bool nameClassifierFound() const;
    void compileBootFunctions(const Bstr& rc);
    void sectionMethods(LONG kind);
    void copyAll();
    // Names the ACX file with what each of its reader's messages says of it.
    void sayAcxNotes(const HostErrorDisplay& display, LONG kind) const;
    void mark(const char* what)
    {
        if (m_trace) m_trace(what, m_traceContext);
    }

    HostLibrary& m_lib;
    const HostCompileOptions& m_o;
    const std::string& m_source;  // SOURCE, or its copy when it cannot be read twice
    const std::string& m_acx;     // the ACX file, or its copy when it is a pipe
    TargetFile m_file;
    CompileOutputs m_outputs;   // the resource script and the macro files
    std::string m_outputTrouble;  // for the next step line: an output was not written whole
    std::string m_fileFailure;    // for the next step line: why a file could not be made (hostFileFailure)
    IStorage* m_target = nullptr;
    IMC_Tavolin* m_object = nullptr;
    bool m_failed = false;      // the exit status is 1
    bool m_stepFailed = false;  // a step that ran did not succeed: TARGET is not written
    bool m_utf8Texts = false;   // a text for the resource script held UTF-8 sequences
    // The step during which memory ran out (empty: it did not): no further
    // step runs, and nothing is put in place.
    std::string m_memoryRanOut;
    bool m_isNew = false;       // TARGET did not exist
    HostCompileTrace m_trace;
    void* m_traceContext;
    bool m_careful;
    // Not careful: the object kind taken from the first header alone (none
    // when it gave none), to be confirmed by the opening.
    bool m_assumed = false;
    LONG m_assumedKind = MdKindNone;
    bool m_redo = false;
};

// The object kind of the source, for the new TARGET that is made before the
// real opening copies it into the working file, or for the check of an
// existing one: read from the first header alone, or, when the source may
// hold a further header, from a whole opening into a scratch storage with
// the messages kept back. Whether a further header may follow takes a read
// of the whole source; a run that is not careful skips it and assumes the
// first header's kind, which the real opening then confirms (almost every
// source has one header).
LONG Run::probeKind()
{
    if (m_careful) return settledKind(m_lib, m_o, m_source);
    bool certain = false;
    const int32_t kind = sourceKind(false, certain);
    // No kind from the first header: whether one may follow decides. A
    // second probe would split as this one did and find the same kind (on a
    // source of garbage, reading all of it again): only the words of a
    // further header are looked for.
    if (!certain && !mdIsObjectKind(kind)) certain = noFurtherHeader();
    if (certain) return mdIsObjectKind(kind) ? kind : MdKindNone;
    // The first header's kind, or none when it gave none, is assumed rather
    // than settled by a whole opening beforehand: garbage that holds header
    // words would be read twice, and almost every source that has a kind
    // gives it in its first header.
    m_assumed = true;
    m_assumedKind = mdIsObjectKind(kind) ? kind : MdKindNone;
    return m_assumedKind;
}

bool Run::openTarget()
{
    if (!m_isNew) {
        if (!m_file.openExisting()) {
            refuse(m_file.failure());
            return false;
        }
    } else {
        // Without an object kind an empty compound file, so that the
        // opening still runs and reports what is wrong with the source.
        HostDescriptorMaker make = hostDescriptorMaker(probeKind());
        if (!make) make = hostMakeEmptyCompoundFile;
        const bool made = m_file.createNew([&](const char* path) {
            uint32_t r = FS_FAILED;
            hostFileFailure();
            if (make(path, r)) return true;
            // The command's last line says it (see main).
            if (tvp::memoryRanOut()) throw std::bad_alloc();
            refuse("cannot create a descriptor file for " + m_o.target + " (result " + std::to_string(r) + ")" +
                   hostFileFailure());
            return false;
        });
        if (!made) {
            if (!m_file.failure().empty()) refuse(m_file.failure());
            return false;
        }
    }
    HRESULT hr = m_file.openStorage(&m_target);
    if (hostMemoryRanOut(hr)) {
        m_memoryRanOut = "the opening of " + m_o.target;
        sayMemoryRanOut();
        m_target = nullptr;
        return false;
    }
    if (FAILED(hr) || !m_target) {
        refuse("cannot open " + m_o.target + ": " + storageWords(hr) + " (hr = " + hostHex(uint32_t(hr)) + ")");
        m_target = nullptr;
        return false;
    }
    return true;
}

void Run::refuse(const std::string& what) const
{
    std::fprintf(stderr, "tavolin: %s%s\n", what.c_str(), nothingPlaced().c_str());
}

bool Run::replaceable() const
{
    for (const std::string& f : hostCompileFiles(m_o)) {
        const std::string why = hostUnreplaceableWords(f);
        if (why.empty()) continue;
        refuse("cannot write " + f + ": " + why + "; nothing is compiled");
        return false;
    }
    return true;
}

bool Run::kindsFit()
{
    const char* targetKind = hostHeaderKind(m_target);
    if (!*targetKind) return true;  // not a descriptor this command knows: the opening decides
    LONG kind = probeKind();
    // With none assumed, the opening tells whether a later header gives
    // one (and a careful run then checks it).
    if (m_assumed && mdIsObjectKind(m_assumedKind) && std::strcmp(hostDescriptorKindOf(kind), targetKind) != 0) {
        // Only a further header could make it fit: the whole source decides.
        m_assumed = false;
        m_assumedKind = MdKindNone;
        m_careful = true;
        kind = probeKind();
    }
    const char* wanted = hostDescriptorKindOf(kind);
    if (!*wanted || std::strcmp(wanted, targetKind) == 0) return true;
    std::fprintf(stderr, "tavolin: %s is the source of %s, but %s is the descriptor of a %s: not compiled\n",
                 m_o.source.c_str(), hostSourceKindWords(kind), m_o.target.c_str(), targetKind);
    return false;
}

int Run::giveWay()
{
    m_redo = true;
    m_object->Release();
    m_object = nullptr;
    m_target->Release();
    m_target = nullptr;
    return 1;
}

bool Run::assumedKindHolds(LONG reported, HRESULT hr, LONG status) const
{
    // None assumed: an opening that split the whole source and found no
    // kind is what the careful probe, that same split, would have found.
    // One that stopped before (no working file) leaves it open.
    if (!mdIsObjectKind(m_assumedKind))
        return !mdIsObjectKind(reported) && hr == S_OK &&
               (status == 0 || status == LONG(MdStatusCompileFailed) || status == LONG(MdStatusWrongKind));
    if (mdIsObjectKind(reported))
        return std::strcmp(hostDescriptorKindOf(reported), hostDescriptorKindOf(m_assumedKind)) == 0;
    // An opening that gave no kind (a source with errors, or a failure before
    // the split): a careful run would have taken the first header's kind as
    // well when no further header can follow.
    bool certain = false;
    sourceKind(true, certain);
    return certain;
}

int32_t Run::sourceKind(bool lookFurther, bool& certain) const
{
    return headerKind(m_source, lookFurther, certain);
}

bool Run::noFurtherHeader() const
{
    std::ifstream in(m_source, std::ios::in | std::ios::binary);
    bool none = false;
    if (in.is_open()) hostLibraryCall([&] { none = MdSectionSplitter::noFurtherHeader(in); return S_OK; }, false);
    return none;
}

bool Run::step(const char* method, HRESULT hr, LONG status, const std::string& given, const char* meaningText,
               const char* verb)
{
    const std::string cannot = m_outputs.stepCannotWrite() + m_outputTrouble;
    const bool cannotWrite = !cannot.empty();
    const bool ok = hr == S_OK && status == 0 && !cannotWrite;
    // A step that failed for a file it could not make says the system's
    // reason, which its status does not carry.
    const std::string why = m_fileFailure.empty() ? hostFileFailure() : m_fileFailure;
    m_fileFailure.clear();
    // What the library noted of the failure, beside its status's words;
    // texts that look like UTF-8 are said once, after every step.
    const int32_t noted = hostTakeStepCause();
    if (noted & MdCauseUtf8Texts) m_utf8Texts = true;
    const std::string causes = hostCauseWords(noted & ~MdCauseUtf8Texts);
    // A step that failed wrote nothing anyone gets: the files it wrote are
    // not named.
    const std::string wrote = ok ? m_outputs.stepWrote() : std::string();
    const std::string extra = given + (wrote.empty() ? std::string() : ", " + std::string(verb) + " " + wrote) + cannot +
                              (ok || hr == E_NOTIMPL ? std::string() : why);
    m_outputs.mark();
    m_outputTrouble.clear();
    if (hostMemoryRanOut(hr) && m_memoryRanOut.empty()) m_memoryRanOut = method;
    if (hr == E_NOTIMPL) {
        std::printf("not compiled: %s (its compiler is not part of this library)\n", method);
    } else if (FAILED(hr)) {
        std::printf("%s: failed, hr = %s, status %s\n", method, hostHex(uint32_t(hr)).c_str(), hostHex(uint32_t(status)).c_str());
    } else if (status != 0) {
        std::string meaning = meaningText ? meaningText : hostStatusMeaning(method, uint32_t(status), !m_o.acx.empty());
        if (!causes.empty()) meaning += (meaning.empty() ? "" : "; ") + causes;
        std::printf("%s: status %s%s%s\n", method, hostHex(uint32_t(status)).c_str(),
                    meaning.empty() ? "" : (" (" + meaning + ")").c_str(), extra.c_str());
    } else {
        std::printf("%s: %s%s\n", method, cannotWrite ? "failed" : "ok", extra.c_str());
    }
    hostFlushOutput(false);
    mark(method);
    if (!ok) m_failed = true;
    // A section whose compiler is not built does not hold back the write.
    if (!ok && hr != E_NOTIMPL) m_stepFailed = true;
    return ok;
}

// The library of the class provider of the system-variable and
// system-function steps: registered by class id (flag set), or "tvclsprv"
// beside the library; empty when there is none.
std::string Run::classProviderPath() const
{
    if (m_o.flag != 0) return tvpInprocServerPath(kClassProviderClsid);
    return providerLibraryIn(directoryOf(m_lib.path()));
}

// Whether the boot-function compiler will find its name classifier:
// registered by class id (flag set), or "tvclsprv" beside this command,
// where the compiler looks (beside the process's executable).
bool Run::nameClassifierFound() const
{
    if (m_o.flag != 0) return !tvpInprocServerPath(CLSID_NameClassifier).empty();
    char self[PATH_MAX];
    const DWORD n = GetModuleFileNameA(nullptr, self, DWORD(sizeof self));
    return n != 0 && n < sizeof self - 1 && !providerLibraryIn(directoryOf(std::string(self, n))).empty();
}

// The boot functions into the macro files of --impl, with the --include
// names; the container is named after the source, by the bytes of its file
// name as the set and the includes are: the method takes the name as a text
// it narrows to code page 1252, and each byte read as that code page
// (every byte maps) comes back as it was.
void Run::compileBootFunctions(const Bstr& rc)
{
    Bstr container(tvp::ansiToWide(hostContainerName(m_o.source))), impl(m_outputs.macroBaseWork());
    std::vector<std::unique_ptr<Bstr>> owned;
    std::vector<BSTR> names;
    for (const std::string& n : m_o.includes) {
        owned.emplace_back(new Bstr(n));
        names.push_back(owned.back()->get());
    }
    names.push_back(nullptr);  // the method reads no further; never an empty array
    LONG status = 0;
    const HRESULT hr = hostLibraryCall([&] {
        return m_object->compileBootFunctions(impl.get(), LONG(m_o.includes.size()), names.data(), container.get(),
                                              rc.get(), &status);
    });
    if (hr != E_NOTIMPL && (FAILED(hr) || status != 0) && !nameClassifierFound())
        std::printf("compileBootFunctions: no name classifier (%s): the boot functions cannot be checked\n",
                    m_o.flag != 0 ? "none registered; --flag 0 takes libtvclsprv.so beside the command"
                                  : "no libtvclsprv.so beside the command");
    step("compileBootFunctions", hr, status,
         m_o.rc.empty() && status != 0 ? ", the boot-function comment string tables need --rc" : "");
}

// Each step runs only while memory has not run out (see step): what a step
// would say after that is of the memory, not of the source.
void Run::sectionMethods(LONG kind)
{
    Bstr rc(m_outputs.rcWork());
    Bstr impl(m_outputs.macroBaseWork());
    LONG status = 0;
    HRESULT hr;
    const bool to = kind == MdKindTO || kind == MdKindDvTO;
    const std::string providerPath = classProviderPath();
    const bool provider = !providerPath.empty();
    const std::string through = ", through the class provider " + providerPath;
    if (to) {
        if (provider) {
            hr = hostLibraryCall([&] { return m_object->compileSysVars(0, 0, &status); });
            step("compileSysVars", hr, status, through);
        } else {
            std::printf("skipped: compileSysVars (no class provider installed)\n");
        }
        if (stopped()) return;
        hr = hostLibraryCall([&] { return m_object->compileComments(rc.get(), &status); });
        step("compileComments", hr, status, m_o.rc.empty() && status != 0 ? ", the comment string tables need --rc" : "");
        // Without the system-variable table ("symb") a statement that needs
        // it gives message 0, as does the import that cannot load it: the
        // library notes that cause, which the step line names.
        if (stopped()) return;
        hr = hostLibraryCall([&] { return m_object->compileVariables(rc.get(), &status); });
        step("compileVariables", hr, status,
             m_o.rc.empty() && status != 0 ? ", the variable string tables need --rc" : "");
        if (stopped()) return;
        hr = hostLibraryCall([&] { return m_object->compileConnections(&status); });
        step("compileConnections", hr, status);
        if (stopped()) return;
        hr = hostLibraryCall([&] { return m_object->compileAlarms(rc.get(), &status); });
        step("compileAlarms", hr, status, m_o.rc.empty() && status != 0 ? ", the alarm string table needs --rc" : "");
        if (stopped()) return;
        compileBootFunctions(rc);
    } else {
        if (provider) {
            hr = hostLibraryCall(
                [&] { return m_object->compileSysFunctions(0, 0, nullptr, 0, nullptr, 0, 0, &status); });
            step("compileSysFunctions", hr, status, through);
        } else {
            std::printf("skipped: compileSysFunctions (no class provider installed)\n");
        }
        if (stopped()) return;
        hr = hostLibraryCall([&] { return m_object->compileSupportedTOs(&status); });
        step("compileSupportedTOs", hr, status);
    }
    // The macro files are appended to: the step names those that changed.
    if (stopped()) return;
    hr = hostLibraryCall([&] { return m_object->compileImplementations(impl.get(), &status); });
    step("compileImplementations", hr, status, std::string(), nullptr, "appended to");
}

bool Run::install()
{
    // Every signal is held back from here: one that came before the first
    // rename ends the command (once it is let through again) with
    // everything as it was; one that comes later stays held until the
    // command ends, so that its status tells of the outputs in place (see
    // hostLateSignal). A fault while held ends the process by the kernel.
    if (!hostHoldSignals()) {
        m_file.discard();
        m_outputs.discard();
        hostReleaseSignals();
        return false;
    }
    hostStartPlacing();
    mark("installing");
    // A rename that fails after others puts those back: all or nothing.
    m_file.keepWayBack();
    m_outputs.keepWaysBack();
    std::string why, line;
    if (!m_file.install(why)) {
        m_outputs.discard();
        line = "cannot write " + m_o.target + ": " + why;
        why.clear();
    } else {
        mark("target installed");
        if (!m_outputs.install(line)) {
            m_outputs.putBack(why);
            m_file.putBack(why);
        }
    }
    // Every file is named: those that stay new, and the rest as they were.
    if (!line.empty()) line += fatesWords(why);
    m_file.dropWayBack();
    m_outputs.dropWaysBack();
    mark("installed");
    // Every signal is held: a line standard error cannot take now is dropped.
    if (!line.empty()) hostSayNow("tavolin: " + line + "\n");
    return line.empty();
}

std::string Run::either() const
{
    // The macro files a step line said were written are not put in place
    // either when TARGET is not: each is as it was, or not written.
    const std::vector<HostFileFate> fates = m_outputs.fates();
    return fates.empty() ? std::string() : "; " + hostFatesWords(fates);
}

std::string Run::fatesWords(const std::string& stuckWhy) const
{
    std::vector<HostFileFate> fates = m_outputs.fates();
    fates.insert(fates.begin(), {m_o.target, m_file.stuck() ? HostFate::Stuck
                                             : m_isNew      ? HostFate::NotWritten
                                                            : HostFate::AsItWas});
    return "; " + hostFatesWords(fates, stuckWhy);
}

void Run::sayAcxNotes(const HostErrorDisplay& display, LONG kind) const
{
    // A file not read whole is not imported: the variables step, which
    // imports once its own section compiled, reports that with message 0.
    const bool imports = m_o.sectionMethods && (kind == MdKindTO || kind == MdKindDvTO);
    if (m_o.acx.empty()) return;
    // What the reader met first tells the faults of a file without a root.
    const HostAcxFirstTag first = hostAcxFirstTag(m_acx);
    bool fatal = false;
    for (const HostErrorDisplay::AcxNote& n : display.acxNotes()) {
        const char* const text = n.message == 1300 ? "ACX Fatal Error" : n.message == 1301 ? "ACX Error" : "ACX Warning";
        std::fprintf(stderr, "tavolin: the ACX file %s %s (%s %d)%s\n", hostShownName(m_o.acx).c_str(),
                     hostAcxCodeWords(n.message, n.code, m_acx, first).c_str(), text, int(n.code),
                     n.message == 1300 && imports ? ": nothing of it is imported, which the variables step reports "
                                                    "as message 0 after its section compiled"
                                                  : "");
        fatal = fatal || n.message == 1300;
    }
    // A root that is no compound tag is read without a fault of the reader,
    // into no tree: the opening (and the import) report message 0 alone.
    if (!fatal && first.found && first.info.id == 0 && first.info.type != AcxTypeCompound)
        std::fprintf(stderr,
                     "tavolin: the ACX file %s has %s for its root tag (id 0), not a compound tag of further tags: "
                     "nothing of it is read, which is reported as message 0\n",
                     hostShownName(m_o.acx).c_str(), hostAcxTypeWords(first.info.type).c_str());
}

// Every section TARGET holds is copied from the working file. The sections
// are named to the pre-compiler in code page 1252: one whose name has a
// character the code page lacks cannot be named, and as no step writes it
// (every section a step writes has an ASCII name) it stays in TARGET as it
// is, under its own name.
void Run::copyAll()
{
    std::vector<std::string> names;
    size_t kept = 0;
    IEnumSTATSTG* e = nullptr;
    if (SUCCEEDED(m_target->EnumElements(0, nullptr, 0, &e)) && e) {
        STATSTG st;
        ULONG got = 0;
        while (e->Next(1, &st, &got) == S_OK && got == 1) {
            if (st.type == STGTY_STREAM && st.pwcsName) {
                if (const std::string name = tvp::wideToAnsi(st.pwcsName); tvp::ansiToWide(name) == st.pwcsName)
                    names.push_back(name);
                else
                    ++kept;
            }
            CoTaskMemFree(st.pwcsName);
        }
        e->Release();
    }
    if (names.size() > 0x7FFF) names.resize(0x7FFF);
    std::vector<const char*> ptrs;
    for (const std::string& n : names) ptrs.push_back(n.c_str());
    ptrs.push_back(nullptr);
    LONG status = 0;
    HRESULT hr = hostLibraryCall([&] { return m_object->copySections(SHORT(names.size()), ptrs.data(), &status); });
    std::string extra = ", " + std::to_string(names.size() + kept) + " sections of the target";
    if (kept)
        extra += " (" + std::to_string(kept) + " kept as " + (kept == 1 ? "it is: its name is" : "they are: their names are") +
                 " not in code page 1252)";
    step("copySections", hr, status, extra);
}

int Run::compile()
{
    m_isNew = !m_file.exists();
    // A file that cannot be replaced would fail only the last rename, with
    // every temporary file left where none can be removed.
    if (!replaceable()) return 1;
    if (!openTarget()) return 1;
    mark("target");
    // The outputs' directories are checked as TARGET's is, before any step.
    if (!m_outputs.prepare()) {
        refuse(m_outputs.failure());
        m_target->Release();
        m_target = nullptr;
        return 1;
    }
    if (m_isNew || kindsFit()) {
        m_object = m_lib.create();
    } else {
        m_stepFailed = true;
    }
    if (!m_object) {
        m_target->Release();
        m_target = nullptr;
        return 1;
    }
    // With a kind assumed, the opening's messages are held until it has
    // confirmed that kind.
    char* held = nullptr;
    size_t heldSize = 0;
    std::FILE* holder = m_assumed ? ::open_memstream(&held, &heldSize) : nullptr;
    // Nothing to hold them in: the careful run takes over before anything
    // is said.
    if (m_assumed && !holder) return giveWay();
    HostErrorDisplay display(holder ? holder : stderr, m_o.maxMessages);
    // The messages name SOURCE, not its copy.
    display.showSourceAs(m_source, m_o.source);
    Bstr source(m_source), acx(m_acx), rc(m_outputs.rcWork()), rcText(hostTextToWide(m_o.rcText));
    LONG kind = MdKindNone;
    LONG status = 0;
    HRESULT hr;
    HostFileFailure openFailure;
    {
        HostLibraryOutput output(true);
        hostFileFailure();
        hr = m_object->openSource(source.get(), acx.get(), rc.get(), rcText.get(), m_target, &display,
                                  USHORT(m_o.firstId), USHORT(m_o.secondId), LONG(m_o.flag), ULONG(m_o.mask), &kind,
                                  &status);
        // Taken before the kind is confirmed, which calls the library again.
        openFailure = hostTakeFileFailure();
        m_fileFailure = openFailure.words();
        m_redo = m_assumed && !assumedKindHolds(kind, hr, status);
        if (m_redo) output.drop();
        display.setOutput(stderr);
        if (holder) {
            std::fclose(holder);
            if (!m_redo && heldSize) {
                std::fwrite(held, 1, heldSize, stderr);
                std::fflush(stderr);
            }
            std::free(held);
        }
    }
    if (m_redo) return giveWay();
    const LONG opened = SUCCEEDED(hr) ? status : LONG(MdStatusFailed);
    // A source that could not be opened is said with its reason on the
    // last line, not as a file that could not be made.
    if (!mdIsObjectKind(kind) && opened == MdStatusNotFound) m_fileFailure.clear();
    // With an object kind the source was split into the working file; a
    // failure after that is the ACX step's.
    const bool acxFailed = mdIsObjectKind(kind) && !m_o.acx.empty() && uint32_t(status) != 0 &&
                           status != MdStatusCompileFailed;
    // The opening appends its string table first: a device that is full
    // cuts it, which the opening only reports as a file it cannot open.
    if (SUCCEEDED(hr) && !m_outputs.rcWhole())
        m_outputTrouble = ", the resource script " + m_o.rc + " was not written whole";
    step("openSource", hr, status, mdIsObjectKind(kind) ? ", object kind " + std::to_string(kind) : std::string(),
         acxFailed ? "the ACX file was not read or does not fit the source" : nullptr);
    sayAcxNotes(display, kind);
    if (beginsWithByteOrderMark(m_source))
        std::fprintf(stderr, "tavolin: %s begins with a UTF-8 byte-order mark, read as the characters "
                             "'\xC3\xAF\xC2\xBB\xC2\xBF': sources are code page 1252\n", m_o.source.c_str());
    if (SUCCEEDED(hr)) {
        if (mdIsObjectKind(kind)) {
            if (m_o.sectionMethods) sectionMethods(kind);
        } else
            std::printf("no object kind: the section methods are not run\n");
        if (!stopped()) copyAll();
    }
    // Releasing the object closes its working file and gives up the target.
    m_object->Release();
    m_object = nullptr;
    mark("released");
    display.printHeldBack();
    if (m_utf8Texts)
        std::fprintf(stderr, "tavolin: %s looks like UTF-8 (its texts hold UTF-8 sequences, which reach the resource "
                             "script as they are): sources are code page 1252, convert it with "
                             "iconv -f UTF-8 -t CP1252 in.tos > out.tos\n", m_o.source.c_str());
    // Nothing of a compile that ran out of memory is written.
    hr = stopped() ? S_OK : m_target->Commit(STGC_DEFAULT);
    m_target->Release();
    m_target = nullptr;
    mark("committed");
    if (hostMemoryRanOut(hr) && !stopped()) m_memoryRanOut = "the write of " + m_o.target;
    if (stopped()) {
        // Nothing is put in place, whatever the steps said they wrote.
        sayMemoryRanOut();
        return 1;
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "tavolin: cannot write %s: %s (hr = %s)%s\n", m_o.target.c_str(),
                     storageWords(hr).c_str(), hostHex(uint32_t(hr)).c_str(), nothingPlaced().c_str());
        return 1;
    }
    const char* const targetWas = this->targetWas();
    const std::string either = this->either();
    // Why nothing of the compile is put in place; empty when it may be.
    std::string why;
    if (!mdIsObjectKind(kind) && opened == MdStatusNotFound) {
        // Why it cannot be opened now, else why it could not be then (no
        // descriptor was left).
        std::string reason = hostOpenWords(m_source);
        if (reason.empty() && openFailure.err) reason = ": " + errnoWords(openFailure.err);
        why = "cannot open the source " + m_o.source + reason;
    } else if (!mdIsObjectKind(kind) && (opened == MdStatusOk || opened == MdStatusWrongKind)) {
        // A source that split without errors into no object at all: nothing
        // of it would reach TARGET, only the resource script's entry 0xFFFE
        // would change. It is refused like a source with errors.
        why = "the source has no TO_HEADER, TP_HEADER, DV_TO_HEADER or DV_TP_HEADER section";
        m_failed = true;
    } else if (!mdIsObjectKind(kind) && (opened != MdStatusCompileFailed || !display.errors())) {
        // The opening failed before the source said anything (no working
        // file could be made): that is the cause, not the source.
        std::string meaning = FAILED(hr) ? "hr = " + hostHex(uint32_t(hr))
                                         : hostStatusMeaning("openSource", uint32_t(opened), false);
        if (meaning.empty()) meaning = "status " + hostHex(uint32_t(opened));
        why = "the source was not opened (" + meaning + ")" + openFailure.words();
    } else if (m_isNew && !mdIsObjectKind(kind)) {
        // Nothing of the source would reach TARGET: it would only be an
        // empty compound file.
        why = "the source gave no object kind";
    } else if (m_stepFailed) {
        why = "a step did not succeed";
    }
    if (!why.empty()) {
        std::fprintf(stderr, "tavolin: %s %s: %s%s\n", m_o.target.c_str(), targetWas, why.c_str(), either.c_str());
    } else if (!hostFlushOutput(true)) {
        // A compile whose report did not reach its reader changes nothing.
        std::fprintf(stderr, "tavolin: %s %s: the step lines could not be written%s\n", m_o.target.c_str(),
                     targetWas, either.c_str());
        return 1;
    } else if (!install()) {
        return 1;
    }
    return m_failed ? 1 : 0;
}

}  // namespace

int hostCompile(HostLibrary& lib, const HostCompileOptions& o, HostCompileTrace trace, void* traceContext)
{
    HostLibraryOutput::s_limit = o.maxMessages;
    // Every temporary file of the compile goes into a directory of its own,
    // under a name the pre-compiler takes.
    // What the lines of the failures before any step end in: every output
    // as it was, or not written.
    const std::string untouched = "; " + hostFatesWords(hostUntouched(hostCompileFiles(o)));
    HostTempDir temps;
    if (!temps.open(untouched)) {
        if (trace) trace("done", traceContext);
        return 1;
    }
    SourceFile source(o.source, SourceFile::Role::Source, untouched);
    if (!source.open()) {
        if (trace) trace("done", traceContext);
        return 1;
    }
    SourceFile acx(o.acx, SourceFile::Role::Acx, untouched);
    if (!acx.open()) {
        if (trace) trace("done", traceContext);
        return 1;
    }
    // The names the macro files write are checked for a source whose macro
    // files hold them, before anything is written; the kind is settled only
    // when a name would be refused.
    const std::string refusal = hostMacroNameRefusal(o);
    if (!refusal.empty() && hostMacroFilesNamed(settledKind(lib, o, source.path()))) {
        std::fprintf(stderr, "tavolin: %s\n", refusal.c_str());
        if (trace) trace("done", traceContext);
        return 2;
    }
    int rc;
    bool redo;
    {
        Run run(lib, o, source.path(), acx.path(), trace, traceContext, false);
        rc = run.compile();
        redo = run.mustRedo();
    }
    if (redo) {
        Run run(lib, o, source.path(), acx.path(), trace, traceContext, true);
        rc = run.compile();
    }
    if (trace) trace("done", traceContext);
    return rc;
}
