#include "co/TraceApi.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "co/CoSettings.h"
#include "platform/library.h"

namespace {

const uint32_t kProgramComponent = 1;
const uint32_t kLifetimeComponent = 23;
const uint32_t kLifetimeLevel = 7;
const size_t kMaxMessage = 64 * 1024;

// --- built-in sink state (constant-initialised, never destroyed) ----------

pthread_mutex_t g_hookLock = PTHREAD_MUTEX_INITIALIZER;
TraceCaptureHook g_hook = nullptr;
void* g_hookContext = nullptr;
// Whether g_hook is set, read without the lock: every message the handler
// counts past those shown asks whether the trace takes it.
std::atomic<bool> g_hookOn{false};

pthread_once_t g_outputOnce = PTHREAD_ONCE_INIT;
int g_outputFd = -1;

void openOutput()
{
    const char* target = std::getenv("TAVOLIN_TRACE");
    if (!target || !*target) return;
    if (std::strcmp(target, "stderr") == 0) {
        g_outputFd = 2;
        return;
    }
    g_outputFd = open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

int outputFd()
{
    pthread_once(&g_outputOnce, openOutput);
    return g_outputFd;
}

bool hookInstalled()
{
    return g_hookOn.load(std::memory_order_acquire);
}

uint32_t currentThreadId()
{
    return uint32_t(syscall(SYS_gettid));
}

// printf into a string, at most kMaxMessage characters.
std::string formatMessage(const char* format, va_list args)
{
    if (!format) return std::string();
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (size_t(n) < sizeof small) return std::string(small, size_t(n));
    size_t len = size_t(n) < kMaxMessage ? size_t(n) : kMaxMessage;
    std::string out(len + 1, '\0');
    va_copy(copy, args);
    std::vsnprintf(&out[0], len + 1, format, copy);
    va_end(copy);
    out.resize(len);
    return out;
}

void writeAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t w = ::write(fd, s.data() + done, s.size() - done);
        if (w > 0) {
            done += size_t(w);
        } else if (!(w < 0 && errno == EINTR)) {
            return;
        }
    }
}

void copyField(char* dst, size_t n, const char* src)
{
    std::strncpy(dst, src ? src : "", n);
}

template <class F>
F symbol(void* lib, const char* name)
{
    return reinterpret_cast<F>(GetProcAddress(static_cast<HMODULE>(lib), name));
}

// Hands a finished text to the library as the single argument of "%s".
void passMessage(CTraceApi::PFN_VTraceMsg2 trace, void* handle, uint32_t context, uint32_t component,
                 uint32_t level, const char* header, ...)
{
    va_list args;
    va_start(args, header);
    trace(handle, context, component, level, header, "%s", args);
    va_end(args);
}

CTraceApi* g_programClient = nullptr;
CTraceApi* g_lifetimeClient = nullptr;

CTraceApi& lifetimeClient()
{
    // Leaked on purpose: outlives every static object that traces.
    static CTraceApi* client = g_lifetimeClient = new CTraceApi(kLifetimeComponent, false);
    return *client;
}

// Released when the module is unloaded or the process ends.
__attribute__((destructor)) void unloadTraceApis()
{
    shutdownTraceApis();
}

}  // namespace

// ---------------------------------------------------------------------------

CTraceApi::CTraceApi(uint32_t component, bool builtinSink, const char* library)
    : m_component(component), m_builtinSink(builtinSink)
{
    std::string module = tvp::moduleFileNameOf(reinterpret_cast<const void*>(&getTraceApi));
    copyField(m_moduleName, sizeof m_moduleName - 1, module.c_str());

    // Level mask of the built-in output.
    char name[64];
    std::snprintf(name, sizeof name, "debug-trace\\%X", unsigned((m_context << 16) | m_component));
    DWORD mask = 0;
    if (CCoSettings::getValue(12, name, &mask) == 0) m_levelMask = mask;

    HMODULE lib = LoadLibraryA(library);
    if (!lib) return;
    m_init = symbol<PFN_Init2>(lib, "traceapi_Init2");
    if (!m_init || m_init(0, 0, &m_handle, 0) == 0) {
        FreeLibrary(lib);
        m_init = nullptr;
        m_handle = nullptr;
        return;
    }
    m_library = lib;
    m_vtraceMsg = symbol<PFN_VTraceMsg2>(lib, "VTraceMsg2");
    m_isReleased = symbol<PFN_IsTraceReleased2>(lib, "IsTraceReleased2");
    m_deinit = symbol<PFN_DeInit2>(lib, "traceapi_DeInit2");
    m_processDetach = symbol<PFN_ProcessDetach>(lib, "traceapi_ProcessDetach");
    m_traceSilent = symbol<PFN_TraceMsgSilent>(lib, "TraceMsgSilent");
    m_bound = true;

    DWORD silent = 0;
    if (CCoSettings::getValue(12, "silent-trace", &silent) == 0 && silent != 0) m_silent = true;
}

bool CTraceApi::isLevelOn(uint32_t level) const
{
    if (m_bound && m_isReleased && m_isReleased(m_handle, m_context, m_component, level) != 0) return true;
    if (!m_builtinSink) return false;
    if (hookInstalled()) return true;
    return outputFd() >= 0 && level < 32 && (m_levelMask >> level & 1u);
}

void CTraceApi::write(TraceRecord& rec, const char* format, va_list args, const char* message)
{
    try {
        if (isLevelOn(rec.level)) {
            std::snprintf(rec.text, sizeof rec.text, "%s [%s (%d), module: %s, thread: 0x%X]",
                          rec.method ? rec.method : "", rec.file ? rec.file : "", int(rec.line),
                          m_moduleName, unsigned(currentThreadId()));
            if (m_bound && m_vtraceMsg && m_isReleased &&
                m_isReleased(m_handle, m_context, m_component, rec.level) != 0) {
                if (message) {
                    // A finished text: its own argument list, so that neither
                    // the caller's arguments nor a '%' in it are read as format.
                    passMessage(m_vtraceMsg, m_handle, m_context, m_component, rec.level, rec.text,
                                message);
                } else {
                    va_list copy;
                    va_copy(copy, args);
                    m_vtraceMsg(m_handle, m_context, m_component, rec.level, rec.text, format, copy);
                    va_end(copy);
                }
            }
            if (!m_builtinSink) return;
            bool hooked = hookInstalled();
            int fd = outputFd();
            bool toOutput = fd >= 0 && rec.level < 32 && (m_levelMask >> rec.level & 1u);
            if (!hooked && !toOutput) return;
            std::string text = message ? std::string(message) : formatMessage(format, args);
            if (hooked) {
                TraceLineInfo info{m_component, rec.level, rec.line,   rec.file ? rec.file : "",
                                   rec.method ? rec.method : "",       rec.text, text.c_str()};
                pthread_mutex_lock(&g_hookLock);
                try {
                    if (g_hook) g_hook(info, g_hookContext);
                } catch (...) {
                }
                pthread_mutex_unlock(&g_hookLock);
            }
            if (toOutput) writeAll(fd, std::to_string(rec.level) + ": " + rec.text + " " + text + "\n");
        } else if (m_bound && m_silent && m_traceSilent) {
            TraceSilentRecord s;
            s.level = rec.level;
            s.line = rec.line;
            copyField(s.file, sizeof s.file, rec.file);
            copyField(s.function, sizeof s.function, rec.method);
            copyField(s.text, sizeof s.text, message ? message : format);
            m_traceSilent(m_handle, m_context, m_component, &s);
        }
    } catch (...) {
        // Tracing never fails its caller.
    }
}

void CTraceApi::shutdown()
{
    if (!m_bound) return;
    m_bound = false;
    if (m_deinit && m_deinit(m_handle) == 0) {
        static const char kWarning[] = "warning: calling traceapi_DeInit2 failed\n";
        writeAll(2, kWarning);
    }
    m_vtraceMsg = nullptr;
    m_isReleased = nullptr;
    m_traceSilent = nullptr;
    m_deinit = nullptr;
    m_processDetach = nullptr;
    m_init = nullptr;
    m_handle = nullptr;
    if (m_library) FreeLibrary(static_cast<HMODULE>(m_library));
    m_library = nullptr;
}

CTraceApi& getTraceApi()
{
    // Leaked on purpose: outlives every static object that traces.
    static CTraceApi* client = g_programClient = new CTraceApi(kProgramComponent, true);
    return *client;
}

void vtraceLine(TraceRecord& rec, const char* format, va_list args)
{
    try {
        getTraceApi().write(rec, format, args);
    } catch (...) {
    }
}

void traceLine(TraceRecord& rec, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vtraceLine(rec, format, args);
    va_end(args);
}

void traceLine(TraceRecord* rec, const char* format, ...)
{
    if (!rec) return;
    va_list args;
    va_start(args, format);
    vtraceLine(*rec, format, args);
    va_end(args);
}

namespace {

void vtraceLineReason(TraceRecord& rec, const std::string& reason, const char* format, va_list args)
{
    try {
        CTraceApi& api = getTraceApi();
        if (!api.isLevelOn(rec.level)) {
            api.write(rec, format, args);
            return;
        }
        va_list copy;
        va_copy(copy, args);
        std::string text = formatMessage(format, copy);
        va_end(copy);
        text += " GetLastError() returns \"" + reason + "\"";
        api.write(rec, format, args, text.c_str());
    } catch (...) {
    }
}

}  // namespace

void traceLineLastError(TraceRecord& rec, const char* format, ...)
{
    // Taken before anything else runs: binding the trace library on first
    // use may itself fail a library load and replace the reason.
    int savedErrno = errno;
    std::string reason;
    try {
        reason = tvp::lastLibraryError();
        if (reason.empty()) reason = std::strerror(savedErrno);
    } catch (...) {
    }
    va_list args;
    va_start(args, format);
    vtraceLineReason(rec, reason, format, args);
    va_end(args);
}

void traceLineReason(TraceRecord& rec, const char* reason, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vtraceLineReason(rec, reason ? reason : "", format, args);
    va_end(args);
}

void shutdownTraceApis()
{
    if (g_programClient) g_programClient->shutdown();
    if (g_lifetimeClient) g_lifetimeClient->shutdown();
}

// ---------------------------------------------------------------------------

TraceCaptureHook setTraceCaptureHook(TraceCaptureHook hook, void* context, void** prevContext)
{
    pthread_mutex_lock(&g_hookLock);
    TraceCaptureHook prev = g_hook;
    if (prevContext) *prevContext = g_hookContext;
    g_hook = hook;
    g_hookContext = hook ? context : nullptr;
    g_hookOn.store(hook != nullptr, std::memory_order_release);
    pthread_mutex_unlock(&g_hookLock);
    return prev;
}

CTraceCapture::CTraceCapture()
{
    m_prevHook = setTraceCaptureHook(&CTraceCapture::hook, this, &m_prevContext);
}

CTraceCapture::~CTraceCapture()
{
    setTraceCaptureHook(m_prevHook, m_prevContext);
}

void CTraceCapture::hook(const TraceLineInfo& info, void* self)
{
    // Runs under the hook lock, which also guards m_lines.
    static_cast<CTraceCapture*>(self)->m_lines.push_back(
        Line{info.level, info.line, info.file, info.method, info.header, info.message});
}

std::vector<CTraceCapture::Line> CTraceCapture::lines() const
{
    pthread_mutex_lock(&g_hookLock);
    std::vector<Line> copy = m_lines;
    pthread_mutex_unlock(&g_hookLock);
    return copy;
}

size_t CTraceCapture::count() const
{
    pthread_mutex_lock(&g_hookLock);
    size_t n = m_lines.size();
    pthread_mutex_unlock(&g_hookLock);
    return n;
}

void CTraceCapture::clear()
{
    pthread_mutex_lock(&g_hookLock);
    m_lines.clear();
    pthread_mutex_unlock(&g_hookLock);
}

// ---------------------------------------------------------------------------

bool isLifetimeTraceOn()
{
    return lifetimeClient().isLevelOn(kLifetimeLevel);
}

CLifetimeTracer::CLifetimeTracer(const char* name) : m_name(name ? name : "")
{
    try {
        if (!isLifetimeTraceOn()) return;
        HMODULE lib = LoadLibraryA("tvdiagdl.dll");
        if (!lib) return;
        m_library = lib;
        m_trace = symbol<PFN_TraceCtorDtor>(lib, "tuTraceCTORDTOR");
        if (m_trace) m_trace(lineText("CTOR").c_str());
    } catch (...) {
    }
}

CLifetimeTracer::~CLifetimeTracer()
{
    try {
        if (m_trace) m_trace(lineText("DTOR").c_str());
    } catch (...) {
    }
    if (m_library) FreeLibrary(static_cast<HMODULE>(m_library));
}

std::string CLifetimeTracer::lineText(const char* what) const
{
    // The address is printed as hexadecimal digits after a literal "0x"
    // (printf's %p would add a second prefix).
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s %s (0x%0*" PRIXPTR ")", what, m_name.c_str(),
                  int(2 * sizeof(void*)), reinterpret_cast<uintptr_t>(this));
    return buf;
}

void callDiagnosticsReport()
{
    try {
        HMODULE lib = LoadLibraryA("tvdgrept.dll");
        if (!lib) return;
        using PFN_Report = void (*)();
        PFN_Report report = symbol<PFN_Report>(lib, "Do_DiagnosticsReport");
        if (report) report();
        FreeLibrary(lib);
    } catch (...) {
    }
}
