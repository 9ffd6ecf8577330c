#include "base/cm/cmmsgout.h"

#include <string>

#include "base/cm/cmerrdisplay.h"
#include "base/cm/cmwstr.h"
#include "co/TraceApi.h"
#include "platform/text.h"

namespace {

const char* const kSource = "cmifeout";

const char* levelTracePrefix(uint32_t level)
{
    switch (level) {
    case kCmLevelInfo: return "MessageOut Info: ";
    case kCmLevelWarning: return "MessageOut Warning: ";
    case kCmLevelSafety: return "MessageOut Safety: ";
    default: return "MessageOut Error: ";
    }
}

// The interfaces of one call; references are dropped on leaving.
struct Displays {
    ComPtr<IErrorDisplayEx> current;
    ComPtr<IErrorDisplay> older;

    explicit Displays(IUnknown* display)
    {
        if (!display) return;
        IErrorDisplayEx* c = nullptr;
        if (SUCCEEDED(display->QueryInterface(IID_IErrorDisplayEx, reinterpret_cast<void**>(&c))) && c)
            current.Attach(c);
        IErrorDisplay* o = nullptr;
        if (SUCCEEDED(display->QueryInterface(IID_IErrorDisplay, reinterpret_cast<void**>(&o))) && o)
            older.Attach(o);
    }
    bool any() const { return current || older; }
};

// The text as a BSTR owned for the duration of a call.
OwnedBstr bstrOf(const std::u16string& s)
{
    return OwnedBstr(SysAllocStringLen(s.data(), static_cast<UINT>(s.size())));
}
OwnedBstr bstrOf(const WString& s)
{
    return OwnedBstr(SysAllocStringLen(s.units(), static_cast<UINT>(s.length())));
}

// Trace lines of one message; false when the text is empty (nothing to send).
bool traceMessage(const char* method, const WString& text, uint32_t level, bool deliverable)
{
    if (text.empty()) {
        TraceRecord rec(3, __LINE__, kSource, method);
        traceLine(rec, "MessageOut (Supressed) with empty Text!!");
        return false;
    }
    // Every message passes here: its line is only made when it is written.
    if (!getTraceApi().isLevelOn(1)) return true;
    std::string line = levelTracePrefix(level);
    if (!deliverable) line += " (Supressed): ";
    line += tvp::wideToAnsi(cm::toU16(text));
    TraceRecord rec(1, __LINE__, kSource, method);
    traceLine(rec, "%s", line.c_str());
    return true;
}

}  // namespace

CmMsgOut::~CmMsgOut() = default;

bool CmMsgOut::countWithoutText(uint32_t) { return false; }

void CmMsgOut::countMore(uint32_t, uint32_t) {}

bool CmMsgOut::showsNoMore(uint32_t) { return false; }

void CmMsgOut::countHeld(uint32_t, uint32_t) {}

uint32_t cmHostLevel(uint32_t level)
{
    return (level == kCmLevelInfo || level == kCmLevelWarning || level == kCmLevelSafety) ? level
                                                                                        : kCmLevelError;
}

uint32_t cmModeFromHost(int32_t hostMode)
{
    switch (hostMode) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 3;
    default: return 0;
    }
}

// ---------------------------------------------------------------------------

CmIfErrorDisplayMsgOut::CmIfErrorDisplayMsgOut(IUnknown* display) : m_display(display)
{
    if (m_display) m_display->AddRef();
}

CmIfErrorDisplayMsgOut::~CmIfErrorDisplayMsgOut()
{
    if (m_counter) m_counter->Release();
    if (m_manyCounter) m_manyCounter->Release();
    if (m_display) m_display->Release();
}

void CmIfErrorDisplayMsgOut::clearContext()
{
    for (uint32_t& w : m_context) w = 0;
    m_lineStart = 0;
    m_sourceName.clear();
}

void CmIfErrorDisplayMsgOut::setErrorDisplay(IUnknown* display)
{
    if (display) display->AddRef();
    IUnknown* old = m_display;
    m_display = display;
    if (m_counter) m_counter->Release();
    if (m_manyCounter) m_manyCounter->Release();
    m_counter = nullptr;
    m_manyCounter = nullptr;
    m_counterAsked = false;
    if (old) old->Release();
    if (!display) clearContext();
}

void CmIfErrorDisplayMsgOut::setContextWords(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3)
{
    m_context[0] = w0;
    m_context[1] = w1;
    m_context[2] = w2;
    m_context[3] = w3;
}

void CmIfErrorDisplayMsgOut::setSourceName(const WString& name) { m_sourceName = cm::toU16(name); }

bool CmIfErrorDisplayMsgOut::getMsgLevel(CmMsgLevel* out, bool* hostFlag, bool askExtended)
{
    Displays d(m_display);
    LONG mode = 4;
    LONG flag = 0;
    bool ok = false;
    if (d.current)
        ok = SUCCEEDED(d.current->GetMsgLevel(&mode, &flag));
    else if (d.older)
        ok = SUCCEEDED(d.older->GetMsgLevel(&mode, &flag));
    if (out) {
        out->mode = cmModeFromHost(mode);
        out->flags = 0;
        if (askExtended && d.current) {
            LONG extended = 0;
            if (SUCCEEDED(d.current->GetExtendedOutput(&extended)) && extended != 0) out->flags = 1;
        }
    }
    if (hostFlag) *hostFlag = flag != 0;
    return ok;
}

void CmIfErrorDisplayMsgOut::msgOut(const WString& text, uint32_t level, uint32_t helpId,
                                    const WString& moduleText)
{
    Displays d(m_display);
    if (!traceMessage("CmIfErrorDisplayMsgOut::msgOut", text, level, d.any())) return;
    if (!d.any()) return;
    OwnedBstr t = bstrOf(text), m = bstrOf(moduleText);
    const LONG hostLevel = static_cast<LONG>(cmHostLevel(level));
    if (d.current)
        d.current->ShowMessage(t.get(), hostLevel, static_cast<LONG>(helpId), m.get());
    else
        d.older->ShowMessage(t.get(), hostLevel, static_cast<LONG>(helpId), m.get());
}

void CmIfErrorDisplayMsgOut::msgOutExt(const WString& text, uint32_t level, uint32_t helpId,
                                       const WString& moduleText, uint32_t position, uint32_t msgId)
{
    Displays d(m_display);
    if (!traceMessage("CmIfErrorDisplayMsgOut::msgOutExt", text, level, d.any())) return;
    if (!d.current) return;
    OwnedBstr source = bstrOf(m_sourceName), t = bstrOf(text), m = bstrOf(moduleText);
    CmErrorDisplayRecord r{};
    r.position = static_cast<LONG>(position);
    r.msgId = static_cast<LONG>(msgId);
    r.column = (position != 0 && m_lineStart != 0) ? static_cast<LONG>(position - m_lineStart + 1) : 0;
    r.helpId = static_cast<LONG>(helpId);
    for (int i = 0; i < 4; ++i) r.context[i] = static_cast<LONG>(m_context[i]);
    r.level = static_cast<LONG>(cmHostLevel(level));
    r.sourceName = source.get();
    r.text = t.get();
    r.moduleText = m.get();
    d.current->ShowMessageExt(r);
}

bool CmIfErrorDisplayMsgOut::countWithoutText(uint32_t level)
{
    if (!m_display || getTraceApi().isLevelOn(1)) return false;
    askCounters();
    if (!m_counter) return false;
    LONG counted = 0;
    return SUCCEEDED(m_counter->CountMessage(static_cast<LONG>(cmHostLevel(level)), &counted)) && counted != 0;
}

void CmIfErrorDisplayMsgOut::askCounters()
{
    if (m_counterAsked || !m_display) return;
    m_counterAsked = true;
    IErrorDisplayCount* c = nullptr;
    if (SUCCEEDED(m_display->QueryInterface(IID_IErrorDisplayCount, reinterpret_cast<void**>(&c))) && c) m_counter = c;
    IErrorDisplayCountMany* many = nullptr;
    if (SUCCEEDED(m_display->QueryInterface(IID_IErrorDisplayCountMany, reinterpret_cast<void**>(&many))) && many)
        m_manyCounter = many;
}

bool CmIfErrorDisplayMsgOut::showsNoMore(uint32_t level)
{
    if (!m_display || getTraceApi().isLevelOn(1)) return false;
    askCounters();
    LONG none = 0;
    return m_manyCounter && SUCCEEDED(m_manyCounter->ShowsNoMore(static_cast<LONG>(cmHostLevel(level)), &none)) &&
           none != 0;
}

void CmIfErrorDisplayMsgOut::countHeld(uint32_t level, uint32_t messages)
{
    askCounters();
    if (m_manyCounter && messages != 0)
        m_manyCounter->CountMessages(static_cast<LONG>(cmHostLevel(level)), static_cast<ULONG>(messages));
}

void CmIfErrorDisplayMsgOut::countMore(uint32_t level, uint32_t count)
{
    if (!m_display || count == 0) return;
    IErrorDisplayCountMore* c = nullptr;
    if (FAILED(m_display->QueryInterface(IID_IErrorDisplayCountMore, reinterpret_cast<void**>(&c))) || !c) return;
    ComPtr<IErrorDisplayCountMore> counter;
    counter.Attach(c);
    counter->CountMore(static_cast<LONG>(cmHostLevel(level)), static_cast<ULONG>(count));
}

// ---------------------------------------------------------------------------

void CmMsgOut_StdErr::msgOut(const WString& text, uint32_t, uint32_t, const WString&)
{
    std::FILE* f = m_stream ? m_stream : stderr;
    std::string line = tvp::wideToUtf8(cm::toU16(text));
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), f);
    std::fflush(f);
}

void CmMsgOut_StdErr::msgOutExt(const WString& text, uint32_t level, uint32_t helpId,
                                const WString& moduleText, uint32_t, uint32_t msgId)
{
    std::FILE* f = m_stream ? m_stream : stderr;
    std::fprintf(f, "Extended Error %u: ", static_cast<unsigned>(msgId));
    msgOut(text, level, helpId, moduleText);
}

CmMsgOut_StdErr& CmMsgOut_StdErr::instance()
{
    static CmMsgOut_StdErr* s = new CmMsgOut_StdErr();  // outlives every static handler
    return *s;
}
