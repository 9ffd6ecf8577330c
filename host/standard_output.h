// The tavolin command's standard output during a compile: the step lines,
// and what the library writes there itself.
//
// What the library writes on standard output during one call (the section
// split, for one, tells of a source that ends inside a date literal there)
// is collected and passed on as lines of its own afterwards, so that it never
// runs into a step line; or dropped, for a call whose messages are not shown.
// The first failure to write standard output is kept, and said once.
#pragma once

#include <cstdint>
#include <cstdio>

#include "host/library_records.h"
#include "platform/com.h"

// Flushes standard output; false once a write of it failed (a full device,
// a closed output). With say, the first failure is said on standard error.
bool hostFlushOutput(bool say);

// Collects the library's standard output from its making to its end, and
// passes it on then, at most s_limit lines of it (0: all) and a line that
// counts the rest. Where no file can take it, the output goes on as it is.
class HostLibraryOutput {
public:
    static uint32_t s_limit;

    // keep: what is collected is passed on; else dropped.
    explicit HostLibraryOutput(bool keep);
    ~HostLibraryOutput();
    HostLibraryOutput(const HostLibraryOutput&) = delete;
    HostLibraryOutput& operator=(const HostLibraryOutput&) = delete;
    // What the call wrote is dropped after all.
    void drop() { m_keep = false; }

private:
    void passOn();

    bool m_keep;
    std::FILE* m_file = nullptr;
    int m_saved = -1;
};

// Runs one call of the library with its standard output collected (kept or
// dropped); the file failure and step cause the library noted before it are
// forgotten first, so that those taken after it are the call's. The call's
// result.
template <class F>
HRESULT hostLibraryCall(F&& call, bool keepOutput = true)
{
    HostLibraryOutput output(keepOutput);
    hostFileFailure();  // a failure before the call is not the call's
    hostTakeStepCause();
    return call();
}
