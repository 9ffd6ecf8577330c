// The cause of a method's failure, kept for the host.
#include "tools/md/tavolin/MdStepCause.h"

#include <atomic>

#include "tools/md/tavolin/MdStatusCodes.h"

namespace {

std::atomic<int32_t> g_cause{MdCauseNone};

}  // namespace

void mdNoteStepCause(int32_t cause)
{
    g_cause.fetch_or(cause);
}

int32_t mdTakeStepCause()
{
    return g_cause.exchange(MdCauseNone);
}
