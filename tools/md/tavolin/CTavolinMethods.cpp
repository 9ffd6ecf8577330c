// Bodies of the interface methods of CTavolin. The frame (pointer checks,
// status 0, exception guard) has run when a body starts; see CTavolin.h.
// The work itself is the front end's (MdFrontEnd.h); the
// bodies hand it the object's state and do what needs the object: the
// error display, the ACX content and the ACX import.
#include <initializer_list>
#include <memory>
#include <new>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/CMDStrmHelper.h"
#include "tools/md/tavolin/CTavolin.h"
#include "tools/md/tavolin/MdClassProviderSteps.h"
#include "tools/md/tavolin/MdSectionParser.h"

namespace {

const char kTraceFile[] = "tools/md/tavolin/ctavolin_methods";
// How message 101 names the variables section of a source.
const char kVariablesSectionWord[] = "Variablen";

// A method ended with status 0xBE11FFFF because one of its compilers is not
// part of this build: the front end has reported it (message 0); the host
// learns it from E_NOTIMPL.
HRESULT unlessNotBuilt(const char* method, HRESULT hr, LONG status, std::initializer_list<int> compilers)
{
    if (hr != S_OK || status != MdStatusFailed) return hr;
    for (int kind : compilers) {
        if (!mdCompilerBuilt(kind)) {
            TV_TRACE(3, kTraceFile, method, "%s is not built into this version", mdCompilerName(kind));
            return E_NOTIMPL;
        }
    }
    return hr;
}

}  // namespace

MdFrontContext CTavolin::frontContext()
{
    MdFrontContext ctx;
    ctx.workFile = &m_workFile;
    ctx.objectKind = m_objectKind;
    ctx.stringCounter = &m_nextStringId;
    ctx.firstId = m_firstId;
    ctx.secondId = m_secondId;
    ctx.sectionMask = m_sectionMask;
    ctx.flag = m_registeredProvider;
    ctx.sourcePath = pathOf(m_sourcePath);
    ctx.slot = &m_compiler;
    ctx.errorDisplay = m_errorDisplay.get();
    ctx.typeId = m_typeId;
    ctx.classProvider = std::addressof(m_classProvider);
    ctx.classProviderText = &m_classProviderText;
    return ctx;
}

// ---------------------------------------------------------------------------
// Entry method
// ---------------------------------------------------------------------------

HRESULT CTavolin::openSourceBody(BSTR sourcePath, BSTR acxPath, BSTR rcPath, BSTR rcText, IStorage* hostStorage,
                                 IUnknown* errorDisplay, USHORT firstId, USHORT secondId, LONG flag,
                                 ULONG sectionMask, LONG* objectKind, LONG* status)
{
    // A second source on the same object would take the place of the first
    // working file, which the methods still work on: refused before
    // anything of this call is kept.
    if (m_workFile.hasStorage() || m_targetMan) {
        *status = MdStatusFailed;
        return S_OK;
    }

    keepEntryArguments(sourcePath, acxPath, firstId, secondId, flag, sectionMask);
    // The display of this call first, so that a resource script that cannot
    // be opened is reported to the host that named it.
    installErrorDisplay(errorDisplay);

    const String rc = pathOf(rcPath);
    if (!rc.empty() && !mdAppendResourceStringTable(rc.c_str(), textOf(rcText).c_str()))
        mdReportFile(rc.c_str());

    MdWorkState state;
    state.workFile = &m_workFile;
    state.workPath = &m_workFilePath;
    state.target = &m_targetMan;
    state.objectKind = &m_objectKind;
    state.typeId = &m_typeId;
    // Nothing reads the working file from disk: it is removed with the
    // object, so it is never written.
    state.scratch = true;
    int32_t st = 0;
    const HRESULT hr = mdOpenWorkingSource(pathOf(sourcePath).c_str(), hostStorage, sectionMask, state, st);
    *status = st;
    if (mdIsObjectKind(m_objectKind)) *objectKind = m_objectKind;
    if (hr != S_OK) return hr;
    // Without a split working file there is nothing to check an ACX file
    // against.
    if (st != MdStatusOk && st != MdStatusCompileFailed) return S_OK;

    if (!m_acxPath.empty()) {
        int32_t acx;
        if (!mdIsObjectKind(m_objectKind)) {
            // No header, so no descriptor kind to check the ACX header
            // against: the ACX file is not read.
            TV_TRACE(3, kTraceFile, "CTavolin::openSource", "ACX file not read: the source has no object kind");
            mdReport(MdMsgWrongKind);
            acx = MdStatusWrongKind;
        } else {
            MdLentDescriptor lent(&m_workFile);
            const HRESULT lentHr = mdLendDescriptor(lent, mdDscClassOfKind(m_objectKind), acx);
            if (FAILED(lentHr)) return lentHr;
            if (lentHr == S_OK) {
                // A file that is missing or cut (message 1300) is not checked:
                // what was read of it is no sound header.
                mdReadAcxFile(pathOf(m_acxPath).c_str(), m_acxContent, &m_acxFatal);
                CMDAcxParser parser;
                acx = m_acxFatal ? MdStatusFailed
                            : mdStatusFromCode(parser.parseHeader(m_acxContent.getRootTag(), lent.dsc()));
            }
        }
        // Errors of the split are not hidden by a good ACX header.
        if (acx != MdStatusOk || st == MdStatusOk) *status = acx;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Section methods
// ---------------------------------------------------------------------------

HRESULT CTavolin::compileSysVarsBody(LONG a, LONG b, LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    const HRESULT hr = mdCompileSysVars(ctx, a, b, st);
    *status = st;
    return hr;
}

HRESULT CTavolin::compileSysFunctionsBody(LONG a, LONG firstCount, BSTR* firstPaths, LONG secondCount,
                                          BSTR* secondPaths, LONG c, LONG d, LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    const HRESULT hr = mdCompileSysFunctions(ctx, a, firstCount, firstPaths, secondCount, secondPaths, c, d, st);
    *status = st;
    return hr;
}

HRESULT CTavolin::compileCommentsBody(BSTR rcPath, LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    HRESULT hr = mdCompileComments(ctx, pathOf(rcPath), st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileComments", hr, st, {MdCompVarComment});
}

int32_t CTavolin::importAcxVariables()
{
    // A part of a file is never imported.
    if (m_acxFatal) {
        TV_TRACE(4, kTraceFile, "CTavolin::compileVariables", "ACX file not imported: it was not read whole");
        mdReport(MdMsgInternal);
        return MdStatusFailed;
    }
    // The import merges the file into the tables the variables section
    // compiled; a source without one left them empty, and there is nothing
    // to merge into: the user is told that the section is missing (as the
    // comments name their section when its table cannot be written), and
    // the status is the one of a missing section.
    CMDStrmHelper variables(&m_workFile);
    if (variables.open("var_tmp", false) == 0 && variables.size() == 0) {
        TV_TRACE(4, kTraceFile, "CTavolin::compileVariables", "ACX file not imported: the source has no variables");
        mdReport(MdMsgSectionOpen, kVariablesSectionWord);
        return MdStatusNotFound;
    }
    CMDAcxParser parser;
    MdLentDescriptor lent(&m_workFile);
    int32_t st = MdStatusOk;
    const HRESULT lentHr = mdLendDescriptor(lent, MdDscTO, st);
    if (lentHr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (lentHr != S_OK) return st;
    FsDsc& dsc = *lent.dsc();
    CAcxCompoundTag* root = m_acxContent.getRootTag();
    if (FsSecCl* cfghead = dsc.openSect("cfghead", FS_MODE_WRITE)) {
        st = mdStatusFromCode(parser.parseConfiguration(root, cfghead));
        dsc.CloseSect("cfghead");
    } else {
        mdReport(MdMsgSectionOpen);
        st = MdStatusNoCfgHead;
    }
    if (st == MdStatusOk) st = mdStatusFromCode(parser.parseVarExt(root, &dsc));
    // The import reports a value outside its variable's range (409) or given
    // twice (407), counts it and goes on storing: the step must not pass that
    // on as a good import.
    if (st == MdStatusOk && parser.getErrorCount() > 0) {
        TV_TRACE(4, kTraceFile, "CTavolin::compileVariables", "the import counted errors");
        st = MdStatusCompileFailed;
    }
    return st;
}

HRESULT CTavolin::compileVariablesBody(BSTR rcPath, LONG* status)
{
    MdFrontContext ctx = frontContext();
    std::function<int32_t()> acxImport;
    if (!m_acxPath.empty()) acxImport = [this] { return importAcxVariables(); };
    int32_t st = 0;
    HRESULT hr = mdCompileVariables(ctx, pathOf(rcPath), acxImport, st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileVariables", hr, st, {MdCompVarExt});
}

HRESULT CTavolin::compileConnectionsBody(LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    HRESULT hr = mdCompileConnections(ctx, st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileConnections", hr, st, {MdCompConnection});
}

HRESULT CTavolin::compileAlarmsBody(BSTR rcPath, LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    HRESULT hr = mdCompileAlarms(ctx, pathOf(rcPath), st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileAlarms", hr, st, {MdCompAlarm, MdCompErrMsgTxt});
}

HRESULT CTavolin::compileBootFunctionsBody(BSTR rcPath, const std::list<String>& names, BSTR bootText,
                                           BSTR commentRcPath, LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    HRESULT hr = mdCompileBootFunctions(ctx, pathOf(rcPath), names, textOf(bootText), pathOf(commentRcPath), st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileBootFunctions", hr, st,
                          {MdCompVarComment, MdCompBootFkt, MdCompErrMsgTxt});
}

HRESULT CTavolin::compileSupportedTOsBody(LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    HRESULT hr = mdCompileSupportedTOs(ctx, st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileSupportedTOs", hr, st, {MdCompSuppTO});
}

HRESULT CTavolin::compileImplementationsBody(BSTR outputBase, LONG* status)
{
    MdFrontContext ctx = frontContext();
    int32_t st = 0;
    HRESULT hr = mdCompileImplementations(ctx, pathOf(outputBase), st);
    *status = st;
    return unlessNotBuilt("CTavolin::compileImplementations", hr, st, {MdCompImpl});
}

// ---------------------------------------------------------------------------
// Copy method
// ---------------------------------------------------------------------------

HRESULT CTavolin::copySectionsBody(SHORT count, const char* const* names, LONG* status)
{
    // Without a target (no source opened) the status is 0xBE110015 and
    // nothing is reported.
    *status = mdCopyFinishedSections(&m_workFile, m_targetMan.get(), count, names);
    return S_OK;
}
