// Trace client: internal trace and log lines of every layer.
//
// A caller fills a TraceRecord (level, source line, source file, method as
// "Class::method") and calls traceLine with a printf format. The record's
// text becomes the line header
//     "%s [%s (%d), module: %s, thread: 0x%X]"
// (method, file, line, module file name, thread id), cut to 511 characters.
//
// Where lines go:
//  - the trace library "tvtracer" (libtvtracer.so), bound on first use; it
//    decides which levels are on and formats the message itself;
//  - a capture hook installed by tests (setTraceCaptureHook or the
//    CTraceCapture collector): every level is on while one is installed;
//  - TAVOLIN_TRACE=stderr or TAVOLIN_TRACE=<file path> (appended): lines
//    "<level>: <header> <message>". By default every level is written; a
//    DWORD "debug-trace\<id>" in the trace settings (scope 12, id the context
//    shifted left by 16 ORed with the component number, in hexadecimal, so
//    "debug-trace\1" for the program's client) is a mask of levels (bit n
//    turns level n on).
// Without any of them traceLine returns at once. Tracing never fails and
// never throws towards its caller.
//
// Binding interface expected of the trace library (all optional except
// traceapi_Init2):
//   int  traceapi_Init2(int, int, void** handle, int);    // non-zero: bound
//   int  VTraceMsg2(void* handle, uint32_t context, uint32_t component,
//                   uint32_t level, const char* header, const char* format,
//                   va_list args);
//   int  IsTraceReleased2(void* handle, uint32_t context, uint32_t component,
//                         uint32_t level);                 // non-zero: on
//   int  traceapi_DeInit2(void* handle);                   // non-zero: ok
//   void traceapi_ProcessDetach(void);
//   void TraceMsgSilent(void* handle, uint32_t context, uint32_t component,
//                       const TraceSilentRecord* record);
//
// The clients are created on first use, usable from static constructors and
// destructors, and never destroyed; at unloading (shutdownTraceApis) they
// release the trace library and stay usable unbound.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

struct TraceRecord {
    char text[512];       // the line header, filled by traceLine
    uint32_t level;       // 1 information, 3 warning, 4 error, ...
    uint32_t line;        // source line
    const char* file;     // source file name
    const char* method;   // "Class::method"

    TraceRecord() : text{}, level(4), line(0), file(""), method("") {}
    TraceRecord(uint32_t lvl, uint32_t ln, const char* f, const char* m)
        : text{}, level(lvl), line(ln), file(f), method(m) {}
};

// Record handed to the library's silent sink; the fields are copied with
// strncpy and so need not be terminated.
struct TraceSilentRecord {
    uint32_t level;
    uint32_t line;
    char file[100];
    char function[50];
    char text[100];
};

class CTraceApi {
public:
    using PFN_Init2 = int (*)(int, int, void**, int);
    using PFN_VTraceMsg2 = int (*)(void*, uint32_t, uint32_t, uint32_t, const char*, const char*, va_list);
    using PFN_IsTraceReleased2 = int (*)(void*, uint32_t, uint32_t, uint32_t);
    using PFN_DeInit2 = int (*)(void*);
    using PFN_ProcessDetach = void (*)();
    using PFN_TraceMsgSilent = void (*)(void*, uint32_t, uint32_t, const TraceSilentRecord*);

    // Binds the trace library for a component. `builtinSink` lets the
    // capture hook and TAVOLIN_TRACE see this client's lines.
    CTraceApi(uint32_t component, bool builtinSink, const char* library = "tvtracer.dll");
    CTraceApi(const CTraceApi&) = delete;
    CTraceApi& operator=(const CTraceApi&) = delete;

    bool isLevelOn(uint32_t level) const;
    bool isBound() const { return m_bound; }
    bool isSilent() const { return m_silent; }
    const char* moduleName() const { return m_moduleName; }
    uint32_t component() const { return m_component; }

    // Writes one line (see the file comment). `message`, when not null, is
    // used instead of formatting `format` with `args`.
    void write(TraceRecord& rec, const char* format, va_list args, const char* message = nullptr);

    // Ends the library binding; the client then behaves as unbound.
    void shutdown();

private:
    PFN_Init2 m_init = nullptr;
    PFN_VTraceMsg2 m_vtraceMsg = nullptr;
    PFN_IsTraceReleased2 m_isReleased = nullptr;
    PFN_DeInit2 m_deinit = nullptr;
    PFN_ProcessDetach m_processDetach = nullptr;
    PFN_TraceMsgSilent m_traceSilent = nullptr;
    char m_moduleName[260] = {};
    uint32_t m_context = 0;
    uint32_t m_component;
    void* m_handle = nullptr;
    bool m_bound = false;
    bool m_silent = false;
    bool m_builtinSink;
    uint32_t m_levelMask = 0xFFFFFFFFu;  // levels written by TAVOLIN_TRACE
    void* m_library = nullptr;
};

// The program's client (component 1).
CTraceApi& getTraceApi();

void traceLine(TraceRecord& rec, const char* format, ...) __attribute__((format(printf, 2, 3)));
void traceLine(TraceRecord* rec, const char* format, ...) __attribute__((format(printf, 2, 3)));
void vtraceLine(TraceRecord& rec, const char* format, va_list args);
// Appends ` GetLastError() returns "<text>"` with the last loader error of
// this thread (or the text of errno).
void traceLineLastError(TraceRecord& rec, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same with the reason given by the caller (for failures that are not
// library loads, whose reason the loader does not know).
void traceLineReason(TraceRecord& rec, const char* reason, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#define TV_TRACE(level, file, method, ...)                        \
    do {                                                          \
        TraceRecord tvTraceRec_((level), __LINE__, (file), (method)); \
        traceLine(tvTraceRec_, __VA_ARGS__);                      \
    } while (0)

// Releases the trace libraries of every client (done automatically when
// this code is unloaded).
void shutdownTraceApis();

// ---------------------------------------------------------------------------
// Capture of trace lines (tests). The hook runs under a lock, once per line,
// for every level of the program's client; it must not trace itself.

struct TraceLineInfo {
    uint32_t component;
    uint32_t level;
    uint32_t line;
    const char* file;
    const char* method;
    const char* header;   // "%s [%s (%d), module: %s, thread: 0x%X]"
    const char* message;  // the formatted text
};

using TraceCaptureHook = void (*)(const TraceLineInfo& info, void* context);

// Installs a hook (null removes it); returns the previous hook and, when
// prevContext is given, its context.
TraceCaptureHook setTraceCaptureHook(TraceCaptureHook hook, void* context, void** prevContext = nullptr);

// Collects every trace line while it lives; restores the previous hook.
class CTraceCapture {
public:
    struct Line {
        uint32_t level;
        uint32_t line;
        std::string file;
        std::string method;
        std::string header;
        std::string message;
    };

    CTraceCapture();
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    std::vector<Line> lines() const;
    size_t count() const;
    void clear();

private:
    static void hook(const TraceLineInfo& info, void* self);
    std::vector<Line> m_lines;
    TraceCaptureHook m_prevHook;
    void* m_prevContext;
};

// ---------------------------------------------------------------------------
// Object lifetime tracing through the diagnostics library "tvdiagdl"
// (export: void tuTraceCTORDTOR(const char* text)). Lines read
// "CTOR <name> (0x<address>)" and "DTOR <name> (0x<address>)".

// True when level 7 of the lifetime client (component 23) is on in the
// trace library.
bool isLifetimeTraceOn();

class CLifetimeTracer {
public:
    explicit CLifetimeTracer(const char* name);
    ~CLifetimeTracer();
    CLifetimeTracer(const CLifetimeTracer&) = delete;
    CLifetimeTracer& operator=(const CLifetimeTracer&) = delete;

    // The text written for this object ("CTOR" or "DTOR").
    std::string lineText(const char* what) const;

private:
    using PFN_TraceCtorDtor = void (*)(const char*);
    std::string m_name;
    PFN_TraceCtorDtor m_trace = nullptr;
    void* m_library = nullptr;
};

// Calls Do_DiagnosticsReport of the library "tvdgrept" when present.
void callDiagnosticsReport();
