#include "tools/md/tavolin/MdFrontEnd.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <utility>

#include "base/cm/cmmsghdl.h"
#include "base/fs/FsDsc.h"
#include "co/GlobTools.h"
#include "platform/tempnames.h"
#include "platform/text.h"
#include "tools/md/tavolin/CMDStrmHelper.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdScannerSupport.h"
#include "tools/md/tavolin/MdScopeExit.h"
#include "tools/md/tavolin/MdSectionParser.h"

namespace {

// A compile has not run because its compiler is not part of this build.
constexpr HRESULT kNotBuilt = S_FALSE;

// A step that is not part of this build: message 0, status 0xBE11FFFF.
HRESULT notBuilt(int32_t& status)
{
    mdReport(MdMsgInternal);
    status = MdStatusFailed;
    return S_OK;
}

using CompileBody = std::function<int32_t(MdSectionCompiler&, MdCompilerArgs&)>;

int32_t initAndParse(MdSectionCompiler& c, MdCompilerArgs& args)
{
    c.init(args);
    return c.parse();
}

// Creates the compiler into the call's slot, runs body (init and parse),
// turns 0 with errors counted into 3 when asked, takes the string counter
// back when asked and deletes the compiler. S_OK with result; kNotBuilt
// (message 0, status 0xBE11FFFF); E_OUTOFMEMORY.
HRESULT runCompiler(MdFrontContext& ctx, int kind, MdCompilerArgs& args, bool foldErrors, bool takeCounter,
                    const CompileBody& body, int32_t& result, int32_t& status)
{
    result = 0;
    if (!mdCompilerBuilt(kind)) {
        notBuilt(status);
        return kNotBuilt;
    }
    std::unique_ptr<MdSectionCompiler> local;
    std::unique_ptr<MdSectionCompiler>& slot = ctx.slot ? *ctx.slot : local;
    slot.reset(mdCreateCompiler(kind));
    if (!slot) return E_OUTOFMEMORY;
    MdScopeExit clear([&] { slot.reset(); });
    result = body(*slot, args);
    if (foldErrors && result == 0 && slot->errorCount() != 0) result = 3;
    if (takeCounter && ctx.stringCounter) *ctx.stringCounter = slot->nextStringId();
    return S_OK;
}

int32_t counterOf(const MdFrontContext& ctx)
{
    return ctx.stringCounter ? *ctx.stringCounter : 0;
}

// The descriptor sections each compiler writes, for a step that has
// nothing to compile (each list ends with a null).
const char* const kVariableResults[] = {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const",
                                        nullptr};
const char* const kConnectionResults[] = {"connectors", nullptr};
const char* const kAlarmResults[] = {"almcfg", "almstr", nullptr};
// Only the alarms' error texts make a container; those of the boot
// functions go to the resource script alone.
const char* const kAlarmTextResults[] = {"errmsg", nullptr};
const char* const kBootResults[] = {"bfinterf", "bfsymb", "boot", nullptr};
const char* const kSupportedTypeResults[] = {"rttotypes", nullptr};

struct Job {
    const char* tmpStream;
    int compiler;
    int dscClass;
    bool takeCounter;
    bool foldErrors;
    const char* const* results;  // emptied when there is nothing to compile (may be null)
    bool compileEmpty = false;   // an empty stream is compiled, not skipped
};

// A source without the section leaves its temporary stream empty, and every
// section of a source is optional: such a step has nothing to compile and
// succeeds without a compiler, leaving the string counter as it was.
bool nothingToCompile(const CMDStrmHelper& reader)
{
    return reader.size() == 0;
}

// What a step without a section leaves of the sections its compiler writes:
// each is emptied, as a new descriptor has it, so that a working file made
// from a descriptor of an earlier compile keeps nothing of the sections the
// source no longer has. A section the working file lacks is not made. False
// (message 101, status 0xBE11000B) when one cannot be emptied.
bool emptyResults(FsFileMan* work, const char* const* names, int32_t& status)
{
    for (; names && *names; ++names) {
        FsSecCl* sec = nullptr;
        const uint32_t r = work->openSect(*names, &sec, FS_MODE_WRITE);
        if (r == FS_NOT_FOUND) continue;
        bool ok = r == FS_OK && sec && sec->setSize(0) == 0;
        if (r == FS_OK) ok = work->CloseSect(*names) == FS_OK && ok;
        if (!ok) {
            mdReport(MdMsgSectionOpen, *names);
            status = MdStatusCompileFailed;
            return false;
        }
    }
    return true;
}

// Opens a temporary stream for a compiler of kind: read in place when the
// compiler will run (no second copy of the stream beside the working file
// while it parses), else only checked.
uint32_t openForCompiler(CMDStrmHelper& reader, const char* tmpStream, int kind)
{
    return mdCompilerBuilt(kind) ? reader.openInPlace(tmpStream) : reader.open(tmpStream, false);
}

// The common shape of a section method after its kind check: read the
// temporary stream, lend the storage to a descriptor, compile, give
// everything back.
HRESULT runJob(MdFrontContext& ctx, const Job& job, MdCompilerArgs args, int32_t& status)
{
    CMDStrmHelper reader(ctx.workFile);
    const uint32_t code = openForCompiler(reader, job.tmpStream, job.compiler);
    if (code != 0) {
        status = mdStatusFromCode(code);
        return S_OK;
    }
    if (!job.compileEmpty && nothingToCompile(reader)) {
        emptyResults(ctx.workFile, job.results, status);
        return S_OK;
    }
    MdLentDescriptor lent(ctx.workFile);
    const HRESULT lentHr = mdLendDescriptor(lent, job.dscClass, status);
    if (lentHr != S_OK) return lentHr == S_FALSE ? S_OK : lentHr;
    args.stream = reader.getStream();
    args.descriptor = lent.dsc();
    args.firstStringId = counterOf(ctx);
    int32_t result = 0;
    const HRESULT hr =
        runCompiler(ctx, job.compiler, args, job.foldErrors, job.takeCounter, initAndParse, result, status);
    if (hr == kNotBuilt) return S_OK;
    if (FAILED(hr)) return hr;
    if (result != 0) status = MdStatusCompileFailed;
    return S_OK;
}

// Comments of variables or of boot functions into the comment section.
HRESULT runComments(MdFrontContext& ctx, const char* tmpStream, const char* sectName, const String& rcPath,
                    bool boot, int32_t& status)
{
    CMDStrmHelper reader(ctx.workFile);
    const uint32_t code = openForCompiler(reader, tmpStream, MdCompVarComment);
    if (code != 0) {
        status = mdStatusFromCode(code);
        return S_OK;
    }
    FsSecCl* sec = nullptr;
    const uint32_t r = ctx.workFile->openSect(sectName, &sec, FS_MODE_WRITE);
    if (r != FS_OK || !sec) {
        mdReport(MdMsgSectionOpen, sectName);
        status = r == FS_NOT_FOUND ? MdStatusNotFound : MdStatusFailed;
        return S_OK;
    }
    MdScopeExit closeSect([&] { ctx.workFile->CloseSect(sectName); });

    MdCompilerArgs args;
    args.section = sec;
    args.rcPath = rcPath;
    args.firstStringId = counterOf(ctx);
    std::iostream* in = reader.getStream();
    const bool empty = !in || reader.size() == 0;
    bool tableFailed = false;
    CompileBody body = [&](MdSectionCompiler& c, MdCompilerArgs& a) -> int32_t {
        int32_t res = 0;
        if (empty) {
            a.stream = nullptr;
            c.init(a);
        } else {
            a.stream = in;
            c.init(a);
            res = c.parse();
            if (res == 0 && c.errorCount() != 0) res = 3;
        }
        if (res == 0 && c.writeStringTable() != 0) tableFailed = true;
        return res;
    };
    int32_t result = 0;
    const HRESULT hr = runCompiler(ctx, MdCompVarComment, args, false, true, body, result, status);
    if (hr == kNotBuilt) return S_OK;
    if (FAILED(hr)) return hr;
    if (tableFailed) {
        status = boot ? MdStatusCompileFailed : MdStatusNotFound;
        mdReport(MdMsgSectionOpen, "Kommentar");
    }
    if (result != 0 || (boot && status != 0)) status = MdStatusCompileFailed;
    return S_OK;
}

// Guards a method body: allocation failures become E_OUTOFMEMORY, anything
// else an internal error; clean-ups have run by then.
template <class F>
HRESULT guarded(int32_t& status, F f)
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        mdReport(MdMsgInternal);
        status = MdStatusFailed;
        return S_OK;
    }
}

// What every section method does before its own work: status 0, the kind
// check, then the work under the guard.
template <class F>
HRESULT sectionMethod(int method, const MdFrontContext& ctx, int32_t& status, F work)
{
    status = 0;
    if (!mdCheckKind(method, ctx.objectKind, status)) return S_OK;
    return guarded(status, work);
}

void removeIfThere(const String& path)
{
    if (!path.empty()) ::unlink(path.c_str());
}

// The two passes of the boot-function compiler over "bootfkt_tmp"; S_OK
// with the status, or the HRESULT of a failed allocation.
HRESULT bootFunctionPasses(MdFrontContext& ctx, const String& rcPath, const std::list<String>& names,
                           const String& bootText, int32_t& status)
{
    CMDStrmHelper reader(ctx.workFile);
    const uint32_t code = openForCompiler(reader, "bootfkt_tmp", MdCompBootFkt);
    if (code != 0) {
        status = mdStatusFromCode(code);
        return S_OK;
    }
    if (nothingToCompile(reader)) {
        emptyResults(ctx.workFile, kBootResults, status);
        return S_OK;
    }

    // First pass: into a descriptor file and macro files of its own,
    // all of which are removed afterwards.
    const String dscPath = createTempName(true);
    const String macroBase = createTempName(true);
    MdScopeExit removeTemps([&] {
        removeIfThere(dscPath);
        removeIfThere(macroBase);
        if (!macroBase.empty()) {
            removeIfThere(macroBase + ".m4h");
            removeIfThere(macroBase + ".m4c");
        }
    });
    MdCompilerArgs args;
    args.stream = reader.getStream();
    args.sourcePath = ctx.sourcePath;
    args.names = names;
    args.bootText = bootText;
    args.sectionMask = ctx.sectionMask;
    args.flag = ctx.flag;
    // The first pass reads the section from its start into a descriptor of
    // its own: false (status set, message 101) when that cannot be made.
    // Its result is not used; its descriptor and macro files are removed
    // unread: the run does not write them (the model's save and the macro
    // files were a fifth of it).
    const auto firstPass = [&](HRESULT& hr) {
        // The temporary name exists already; the descriptor is made anew in its place.
        removeIfThere(dscPath);
        FsTODscFile tempDsc;
        if (dscPath.empty() || macroBase.empty() || tempDsc.createFile(dscPath.c_str()) != FS_OK) {
            status = MdStatusFailed;
            mdReport(MdMsgSectionOpen, "bootfkt_tmp");
            return false;
        }
        reader.getStream()->clear();
        reader.getStream()->seekg(0);
        MdCompilerArgs first = args;
        first.rcPath = macroBase;
        first.descriptor = &tempDsc;
        first.firstStringId = 0;
        first.firstPass = 1;
        first.outputsUnused = true;
        int32_t ignored = 0;
        hr = runCompiler(ctx, MdCompBootFkt, first, false, false, initAndParse, ignored, status);
        tempDsc.CloseFile();
        return true;
    };
    // Both passes find most mistakes: each is said once. The first pass's
    // messages are held until the second has said its own; what the first
    // alone found (it reads names in lower case) is said after them, by
    // the first pass run again for it.
    MdOnceSaid once;
    HRESULT hr = S_OK;
    {
        const MdOnceSaid::Scope hearing(once, MdOnceSaid::Hear);
        if (!firstPass(hr)) return S_OK;
    }
    if (hr == kNotBuilt) return S_OK;
    if (FAILED(hr)) return hr;

    // Second pass: into the working file.
    reader.getStream()->clear();
    reader.getStream()->seekg(0);
    MdLentDescriptor lent(ctx.workFile);
    const HRESULT lentHr = mdLendDescriptor(lent, MdDscTO, status);
    if (lentHr != S_OK) return lentHr == S_FALSE ? S_OK : lentHr;
    args.rcPath = rcPath;
    args.descriptor = lent.dsc();
    args.firstStringId = counterOf(ctx);
    args.firstPass = 0;
    args.outputsUnused = false;
    int32_t result = 0;
    {
        const MdOnceSaid::Scope saying(once, MdOnceSaid::Say);
        hr = runCompiler(ctx, MdCompBootFkt, args, false, false, initAndParse, result, status);
    }
    if (hr == kNotBuilt) return S_OK;
    if (FAILED(hr)) return hr;
    if (result != 0) status = MdStatusCompileFailed;
    lent.giveBack();
    if (once.anyLeft()) {
        // The section's verdict is the second pass's: a failure of this run
        // changes no status.
        const MdOnceSaid::Scope sayingLeft(once, MdOnceSaid::SayLeft);
        const int32_t verdict = status;
        HRESULT againHr = S_OK;
        if (firstPass(againHr) && againHr == E_OUTOFMEMORY) return againHr;
        status = verdict;
    }
    return S_OK;
}

}  // namespace

int32_t mdStatusFromCode(uint32_t code)
{
    if (code == 0) return 0;
    if (code < 0x10000u) return int32_t(code | MdStatusRange);
    return int32_t(code);
}

bool mdKindAccepted(int method, int32_t kind)
{
    const bool to = kind == MdKindTO || kind == MdKindDvTO;
    const bool pkg = kind == MdKindTP || kind == MdKindDv;
    switch (method) {
    case MdMethSysVars:
    case MdMethComments:
    case MdMethVariables:
    case MdMethConnections:
    case MdMethAlarms:
    case MdMethBootFunctions:
        return to;
    case MdMethSysFunctions:
    case MdMethSupportedTOs:
        return pkg;
    case MdMethImplementations:
        return to || pkg;
    }
    return false;
}

bool mdCheckKind(int method, int32_t kind, int32_t& status)
{
    if (mdKindAccepted(method, kind)) return true;
    mdReport(MdMsgWrongKind);
    status = MdStatusWrongKind;
    return false;
}

void mdReport(uint32_t id, const char* text)
{
    CMDStrmHelper::reportMessage(id, text);
}

void mdReportFile(const char* path)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (!handler) return;
    // Cut as every message argument is (mdTokenArg), the bytes shown being
    // the path's own.
    const char* const p = path ? path : "";
    const std::size_t len = std::strlen(p);
    const std::size_t shown = len <= kMdTokenWhole ? len : kMdTokenHead;
    std::u16string wide = tvp::pathToWide(p, shown);
    if (shown < len) wide += tvp::ansiToWide(mdTokenArg(p, len).substr(shown));
    handler->report(MdMsgFileOpen, CmMsgArg(wide.c_str()));
}

HRESULT mdLendDescriptor(MdLentDescriptor& lent, int dscClass, int32_t& status)
{
    switch (lent.lend(dscClass)) {
    case MdLentDescriptor::Lent:
        return S_OK;
    case MdLentDescriptor::NoStorage:
        mdReport(MdMsgInternal);
        status = MdStatusFailed;
        return S_FALSE;
    case MdLentDescriptor::NoMemory:
        break;
    }
    return E_OUTOFMEMORY;
}

// ---------------------------------------------------------------------------

bool mdAppendResourceStringTable(const char* rcPath, const char* text)
{
    if (!rcPath || !*rcPath) return false;
    // Written by the compilers' own writer: a quote in the text is doubled,
    // a line end becomes \n and a lone backslash before either or at the
    // end is doubled, so that no text of the host can end the entry early,
    // break the script or put statements of its own into it.
    MdRcStringTable table;
    if (!table.open(String(rcPath))) return false;
    const char* body = text ? text : "";
    table.beginTable();
    table.addText(0xFFFE, body, std::strlen(body), MdRcStringTable::LowerCaseId);
    table.endTable();
    return table.close();
}

HRESULT mdOpenWorkingSource(const char* sourcePath, IStorage* hostStorage, uint32_t sectionMask,
                            const MdWorkState& state, int32_t& status)
{
    return guarded(status, [&]() -> HRESULT {
        status = 0;
        FsFileMan& work = *state.workFile;
        if (work.hasStorage()) {
            // The object has its working file already: nothing is replaced.
            status = MdStatusFailed;
            return S_OK;
        }
        std::ifstream source;
        errno = 0;
        if (sourcePath && *sourcePath) source.open(sourcePath, std::ios::in | std::ios::binary);
        // Why it did not open (no descriptor left, for one), for a host that
        // says it: the message only says that it did not.
        const int openErr = errno;
        // A directory opens on some systems but cannot be read.
        if (source.is_open() && (source.peek(), source.bad())) source.close();
        if (source.is_open()) source.clear();
        if (!source.is_open()) {
            if (openErr && sourcePath) tvp::noteFileFailureAt(openErr, sourcePath);
            mdReportFile(sourcePath);
            status = MdStatusNotFound;
            return S_OK;
        }

        const String path = createTempName(true);
        const uint32_t mode = FS_OPEN_CREATE | (state.scratch ? FS_OPEN_DISCARD : 0);
        if (path.empty() || work.openFile(path.c_str(), mode) != FS_OK) {
            removeIfThere(path);
            status = MdStatusFailed;
            return S_OK;
        }
        if (state.workPath) *state.workPath = path;

        std::unique_ptr<FsSectMan> target(new (std::nothrow) FsSectMan(hostStorage));
        if (!target) return E_OUTOFMEMORY;
        FsSectMan* targetPtr = target.get();
        if (state.target) *state.target = std::move(target);
        if (targetPtr->copyTo(work) != FS_OK) {
            status = MdStatusFailed;
            return S_OK;
        }

        std::unique_ptr<MdSectionParser> split(new (std::nothrow) MdSectionParser());
        if (!split) return E_OUTOFMEMORY;
        split->openTempSections(&source, &work, sectionMask);
        const int result = split->run();
        if (state.typeId) *state.typeId = split->typeId();
        if (mdIsObjectKind(split->objectKind()) && state.objectKind) *state.objectKind = split->objectKind();
        split.reset();
        if (result != 0) status = MdStatusCompileFailed;
        return S_OK;
    });
}

// ---------------------------------------------------------------------------

HRESULT mdCompileComments(MdFrontContext& ctx, const String& rcPath, int32_t& status)
{
    return sectionMethod(MdMethComments, ctx, status, [&] { return runComments(ctx, "comment_tmp", "varcomment", rcPath, false, status); });
}

HRESULT mdCompileVariables(MdFrontContext& ctx, const String& rcPath, const std::function<int32_t()>& acxImport,
                           int32_t& status)
{
    return sectionMethod(MdMethVariables, ctx, status, [&]() -> HRESULT {
        MdCompilerArgs args;
        args.rcPath = rcPath;
        args.firstId = ctx.firstId;
        args.secondId = ctx.secondId;
        const Job job{"var_tmp", MdCompVarExt, MdDscTO, true, false, kVariableResults};
        const HRESULT hr = runJob(ctx, job, args, status);
        if (hr != S_OK) return hr;
        if (status == 0 && acxImport) status = acxImport();
        return S_OK;
    });
}

HRESULT mdCompileConnections(MdFrontContext& ctx, int32_t& status)
{
    return sectionMethod(MdMethConnections, ctx, status, [&] {
        const Job job{"con_tmp", MdCompConnection, MdDscTO, false, false, kConnectionResults};
        return runJob(ctx, job, MdCompilerArgs(), status);
    });
}

HRESULT mdCompileAlarms(MdFrontContext& ctx, const String& rcPath, int32_t& status)
{
    return sectionMethod(MdMethAlarms, ctx, status, [&]() -> HRESULT {
        MdCompilerArgs args;
        args.rcPath = rcPath;
        HRESULT hr = runJob(ctx, Job{"alarm_tmp", MdCompAlarm, MdDscTO, true, false, kAlarmResults}, args, status);
        if (hr != S_OK || status != 0) return hr;
        return runJob(ctx, Job{"almmsg_tmp", MdCompErrMsgTxt, MdDscTO, true, false, kAlarmTextResults}, args,
                      status);
    });
}

HRESULT mdCompileBootFunctions(MdFrontContext& ctx, const String& rcPath, const std::list<String>& names,
                               const String& bootText, const String& commentRcPath, int32_t& status)
{
    return sectionMethod(MdMethBootFunctions, ctx, status, [&]() -> HRESULT {
        HRESULT hr = runComments(ctx, "bfcomment_tmp", "bfvarcomment", commentRcPath, true, status);
        if (hr != S_OK || status != 0) return hr;

        hr = bootFunctionPasses(ctx, rcPath, names, bootText, status);
        if (hr != S_OK) return hr;
        if (status != 0) return S_OK;

        MdCompilerArgs args;
        args.rcPath = commentRcPath;
        return runJob(ctx, Job{"bferrtxt_tmp", MdCompErrMsgTxt, MdDscTO, true, false, nullptr}, args, status);
    });
}

HRESULT mdCompileSupportedTOs(MdFrontContext& ctx, int32_t& status)
{
    return sectionMethod(MdMethSupportedTOs, ctx, status, [&] {
        const Job job{"suppto_tmp", MdCompSuppTO, MdDscTP, false, false, kSupportedTypeResults};
        return runJob(ctx, job, MdCompilerArgs(), status);
    });
}

HRESULT mdCompileImplementations(MdFrontContext& ctx, const String& outputBase, int32_t& status)
{
    return sectionMethod(MdMethImplementations, ctx, status, [&] {
        MdCompilerArgs args;
        args.outputBase = outputBase;
        args.sectionMask = ctx.sectionMask;
        // Only a package has a descriptor for the implementation's results.
        const int dsc = ctx.objectKind == MdKindTP ? MdDscTP : MdDscNone;
        // The grammar accepts an empty section and writes its no-I/O lines.
        return runJob(ctx, Job{"impl_tmp", MdCompImpl, dsc, false, true, nullptr, true}, args, status);
    });
}

HRESULT mdRunSectionMethod(int method, const MdFrontContext& ctx, int32_t& status,
                           const std::function<HRESULT()>& work)
{
    return sectionMethod(method, ctx, status, work);
}

// ---------------------------------------------------------------------------

int32_t mdCopyFinishedSections(FsSectMan* work, FsSectMan* target, int16_t count, const char* const* names)
{
    if (!target || !work) return MdStatusNoTarget;
    for (int16_t i = 0; i < count; ++i) {
        const char* name = names ? names[i] : nullptr;
        if (!name || !*name) {
            mdReport(MdMsgSectionOpen, "");
            return MdStatusNotFound;
        }
        FsSecCl* from = nullptr;
        FsSecCl* to = nullptr;
        const uint32_t r1 = work->openSect(name, &from, 0);
        const uint32_t r2 = r1 == FS_OK ? target->openSect(name, &to, FS_MODE_WRITE) : FS_OK;
        if (r1 != FS_OK || r2 != FS_OK) {
            if (r1 == FS_OK) work->CloseSect(name);
            mdReport(MdMsgSectionOpen, name);
            const uint32_t r = r1 != FS_OK ? r1 : r2;
            return r == FS_NOT_FOUND ? MdStatusNotFound : MdStatusFailed;
        }
        if (!from || !to) {
            if (from) work->CloseSect(name);
            if (to) target->CloseSect(name);
            return MdStatusFailed;
        }
        bool ok = to->setSize(0) == 0;
        if (ok) {
            to->copyFrom(*from);
            ok = !to->hasError() && !from->hasError();
        }
        const bool closedFrom = work->CloseSect(name) == FS_OK;
        const bool closedTo = target->CloseSect(name) == FS_OK;
        if (!ok || !closedFrom || !closedTo) {
            mdReport(MdMsgInternal);
            return MdStatusFailed;
        }
    }
    return MdStatusOk;
}
