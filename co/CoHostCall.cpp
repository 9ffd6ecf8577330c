// Trace lines of the host-call guard.
#include "co/CoHostCall.h"

#include "platform/com.h"

void coTraceHostCallError(const CoHostCallSite& site, int line, HRESULT hr, DWORD ret)
{
    TraceRecord rec(4, uint32_t(line), site.file, site.method);
    if (site.retInLine)
        traceLine(rec, "error calling %s hr = 0x%X (%s), ret=0x%X", site.text, unsigned(hr), hresultText(hr),
                  unsigned(ret));
    else
        traceLine(rec, "error calling %s hr = 0x%X (%s)", site.text, unsigned(hr), hresultText(hr));
}

void coTraceHostCallCaught(const CoHostCallSite& site, int line)
{
    TraceRecord rec(4, uint32_t(line), site.file, site.method);
    traceLine(rec, "%s%s",
              site.caught == CoCaughtSpelling::Exeption ? "caught exeption calling " : "caught exception calling ",
              site.text);
}
