// CTavolin: construction, destruction, getVersion and the frame that every
// interface method runs before its body.
#include "tools/md/tavolin/CTavolin.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsghdl.h"
#include "tools/md/tavolin/MdSectionParser.h"
#include "platform/memory_watch.h"
#include "platform/text.h"

namespace {

const char kTraceFile[] = "tools/md/tavolin/ctavolin";

// The handlers of the objects alive, oldest first. When the object whose
// handler is the process-wide one dies, the youngest other one takes over.
struct LiveHandlers {
    std::mutex lock;
    std::vector<CmMessageHandler*> list;
};

LiveHandlers& liveHandlers()
{
    static LiveHandlers* l = new LiveHandlers;  // outlives static destructors
    return *l;
}

}  // namespace

CTavolin::CTavolin()
    : m_lifetime("CTavolin"),
      m_registeredProvider(true),
      m_firstId(0),
      m_secondId(0),
      m_sectionMask(0),
      m_nextStringId(0),
      m_typeId(GUID_NULL, 0, 0),
      m_objectKind(MdKindNone),
      m_msgHandler(nullptr)
{
    m_msgHandler = new (std::nothrow) CmMessageHandler(cmBuiltinMsgTable(), &m_errDisplayOut);
    LiveHandlers& live = liveHandlers();
    std::lock_guard<std::mutex> g(live.lock);
    if (m_msgHandler) live.list.push_back(m_msgHandler);
    // Without a handler of its own the object reports nothing, and neither
    // does anything else until the next object is made.
    cmSetMessageHandler(m_msgHandler);
}

CTavolin::~CTavolin()
{
    {
        LiveHandlers& live = liveHandlers();
        std::lock_guard<std::mutex> g(live.lock);
        live.list.erase(std::remove(live.list.begin(), live.list.end(), m_msgHandler), live.list.end());
        if (m_msgHandler && cmGetMessageHandler() == m_msgHandler)
            cmSetMessageHandler(live.list.empty() ? nullptr : live.list.back());
    }
    delete m_msgHandler;
    m_msgHandler = nullptr;

    try {
        m_compiler.reset();

        if (m_targetMan) {
            m_targetMan->CloseAll();
            m_targetMan.reset();
        }
        if (m_workFile.hasStorage()) m_workFile.CloseFile();
        if (!m_workFilePath.empty()) std::remove(m_workFilePath.c_str());
        m_acxContent.clear();
        m_classProvider = nullptr;
        m_errorDisplay = nullptr;
    } catch (...) {
        TV_TRACE(4, kTraceFile, "CTavolin::~CTavolin", "caught any unhandled exception");
    }
}

HRESULT CTavolin::InternalQueryInterface(REFIID riid, void** ppv)
{
    return comQueryOne<IMC_Tavolin>(this, IID_IMC_Tavolin, riid, ppv);
}

// ---------------------------------------------------------------------------
// Services of the bodies
// ---------------------------------------------------------------------------

std::u16string CTavolin::bstrText(BSTR b)
{
    // Hosts pass BSTRs, tools and tests also plain texts: read up to the NUL.
    return b ? std::u16string(b, tvp::u16len(b)) : std::u16string();
}

String CTavolin::pathOf(BSTR b)
{
    return String(tvp::wideToPath(bstrText(b)));
}

String CTavolin::pathOf(const WString& w)
{
    return String(tvp::wideToPath(w.units(), size_t(w.length())));
}

String CTavolin::textOf(BSTR b)
{
    return String(tvp::wideToAnsi(bstrText(b)));
}

void CTavolin::keepEntryArguments(BSTR sourcePath, BSTR acxPath, USHORT firstId, USHORT secondId, LONG flag,
                                  ULONG sectionMask)
{
    m_sourcePath = WString(bstrText(sourcePath));
    m_acxPath = WString(bstrText(acxPath));
    m_firstId = firstId;
    m_secondId = secondId;
    m_registeredProvider = flag != 0;
    m_sectionMask = sectionMask;
}

void CTavolin::installErrorDisplay(IUnknown* errorDisplay)
{
    m_errDisplayOut.setErrorDisplay(errorDisplay);
    m_errorDisplay = errorDisplay;
    if (!m_msgHandler) return;
    CmMsgLevel level;
    m_errDisplayOut.getMsgLevel(&level, nullptr, false);
    m_msgHandler->setMsgLevel(level);
    m_msgHandler->setContextName(m_sourcePath);
}

template <class Body>
HRESULT CTavolin::guarded(const char* method, LONG* status, Body&& body)
{
    // Memory that ran out is the method's outcome, wherever it was caught:
    // code that turned the failure into a result of its own (a message 0,
    // a parse error, a status) speaks of the source, which is not at fault.
    tvp::MemoryWatch watch;
    HRESULT hr;
    try {
        hr = body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        if (watch.ranOut()) return E_OUTOFMEMORY;
        TV_TRACE(4, kTraceFile, method, "caught any unhandled exception");
        *status = MdStatusFailed;
        return S_OK;
    }
    return watch.ranOut() ? E_OUTOFMEMORY : hr;
}

// ---------------------------------------------------------------------------
// Interface methods: the frame
// ---------------------------------------------------------------------------

HRESULT CTavolin::getVersion(char** version)
{
    if (!version) return E_POINTER;
    *version = nullptr;
    const size_t n = std::strlen(kVersionText) + 1;
    char* text = static_cast<char*>(CoTaskMemAlloc(n));
    if (!text) return E_OUTOFMEMORY;
    std::memcpy(text, kVersionText, n);
    *version = text;
    return S_OK;
}

HRESULT CTavolin::openSource(BSTR sourcePath, BSTR acxPath, BSTR rcPath, BSTR rcText, IStorage* hostStorage,
                             IUnknown* errorDisplay, USHORT firstId, USHORT secondId, LONG flag,
                             ULONG sectionMask, LONG* objectKind, LONG* status)
{
    if (!hostStorage || !errorDisplay || !objectKind || !status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::openSource", status, [&] {
        return openSourceBody(sourcePath, acxPath, rcPath, rcText, hostStorage, errorDisplay, firstId, secondId,
                              flag, sectionMask, objectKind, status);
    });
}

HRESULT CTavolin::compileSysVars(LONG a, LONG b, LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileSysVars", status, [&] { return compileSysVarsBody(a, b, status); });
}

HRESULT CTavolin::compileSysFunctions(LONG a, LONG firstCount, BSTR* firstPaths, LONG secondCount,
                                      BSTR* secondPaths, LONG c, LONG d, LONG* status)
{
    // A list with entries needs its array.
    if (!status || (firstCount > 0 && !firstPaths) || (secondCount > 0 && !secondPaths)) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileSysFunctions", status, [&] {
        return compileSysFunctionsBody(a, firstCount, firstPaths, secondCount, secondPaths, c, d, status);
    });
}

HRESULT CTavolin::compileComments(BSTR rcPath, LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileComments", status, [&] { return compileCommentsBody(rcPath, status); });
}

HRESULT CTavolin::compileVariables(BSTR rcPath, LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileVariables", status, [&] { return compileVariablesBody(rcPath, status); });
}

HRESULT CTavolin::compileConnections(LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileConnections", status, [&] { return compileConnectionsBody(status); });
}

HRESULT CTavolin::compileAlarms(BSTR rcPath, LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileAlarms", status, [&] { return compileAlarmsBody(rcPath, status); });
}

HRESULT CTavolin::compileBootFunctions(BSTR rcPath, LONG nameCount, BSTR* names, BSTR bootText,
                                       BSTR commentRcPath, LONG* status)
{
    if (!status || !names) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileBootFunctions", status, [&]() -> HRESULT {
        // The names are taken before the front end checks the kind.
        std::list<String> nameList;
        for (LONG i = 0; i < nameCount; ++i) nameList.push_back(pathOf(names[i]));
        return compileBootFunctionsBody(rcPath, nameList, bootText, commentRcPath, status);
    });
}

HRESULT CTavolin::compileSupportedTOs(LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileSupportedTOs", status, [&] { return compileSupportedTOsBody(status); });
}

HRESULT CTavolin::compileImplementations(BSTR outputBase, LONG* status)
{
    if (!status) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::compileImplementations", status,
                   [&] { return compileImplementationsBody(outputBase, status); });
}

HRESULT CTavolin::copySections(SHORT count, const char* const* names, LONG* status)
{
    if (!status || !names) return E_POINTER;
    *status = MdStatusOk;
    return guarded("CTavolin::copySections", status, [&] { return copySectionsBody(count, names, status); });
}
