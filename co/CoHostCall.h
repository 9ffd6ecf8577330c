// One guard for every call into the host's project interfaces.
//
// A host call returns an HRESULT and most also write a return code. The
// guard runs the call, catches any C++ exception it throws (trace line
// "caught exception calling <text>" at level 4, or "caught exeption calling
// <text>" where that spelling belongs to the call; the call then counts as
// E_FAIL), and counts the call as failed when the HRESULT is negative or the
// return code is not 0. A failure writes
//     "error calling <text> hr = 0x%X (%s), ret=0x%X"
// at level 4 (%s the HRESULT's text, "S_OK" for 0) and yields the return
// code, or 0xFFFF when the host gave none. Only C++ exceptions are caught.
#pragma once
#include <cstdint>
#include <exception>

#include "co/TraceApi.h"
#include "platform/wintypes.h"

// A return code standing for a failure that carried no host code.
inline constexpr DWORD kCoHostNoCode = 0xFFFF;

enum class CoCaughtSpelling { Exception, Exeption };

// Where a call is made and how it is written in trace lines.
struct CoHostCallSite {
    const char* file;    // trace source, e.g. "sy_decodehlp"
    const char* method;  // "Class::method"
    const char* text;    // the call as the lines show it
    CoCaughtSpelling caught = CoCaughtSpelling::Exception;
    bool retInLine = true;  // false: the error line ends after "(%s)"
    bool errorLine = true;  // false: the caller writes its own failure line
};

struct CoHostCallResult {
    HRESULT hr;  // the call's HRESULT (E_FAIL after an exception)
    DWORD ret;   // the return code the call wrote (0 when it has none)
    DWORD code;  // 0 when the call succeeded, else ret, or 0xFFFF when ret is 0
    bool ok() const { return code == 0; }
};

// Writes "<text> hr = 0x%X (%s), ret=0x%X" after "error calling " at level 4.
void coTraceHostCallError(const CoHostCallSite& site, int line, HRESULT hr, DWORD ret);
// Writes the caught-exception line of the site at level 4.
void coTraceHostCallCaught(const CoHostCallSite& site, int line);
// The code of a failed call: ret, or 0xFFFF when ret is 0.
inline DWORD coHostCode(DWORD ret) { return ret ? ret : kCoHostNoCode; }

// Runs call() -> HRESULT; `ret` is the return code the call writes (null for
// calls without one). See the file comment.
template <class Call>
CoHostCallResult coHostCall(const CoHostCallSite& site, int line, const DWORD* ret, Call&& call)
{
    HRESULT hr;
    try {
        hr = call();
    } catch (...) {
        coTraceHostCallCaught(site, line);
        hr = E_FAIL;
    }
    DWORD r = ret ? *ret : 0;
    if (hr >= 0 && r == 0) return {hr, 0, 0};
    if (site.errorLine) coTraceHostCallError(site, line, hr, r);
    return {hr, r, coHostCode(r)};
}

// The usual form: TV_HOST_CALL(site, &dwRet, spI->call(a, &b, &dwRet)).
#define TV_HOST_CALL(site, ret, expr) coHostCall((site), __LINE__, (ret), [&]() -> HRESULT { return (expr); })
