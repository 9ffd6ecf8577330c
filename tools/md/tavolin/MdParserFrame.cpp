// The message emitter of the section compilers.
#include "tools/md/tavolin/MdParserFrame.h"

#include "base/cm/cmmsghdl.h"

void mdEmitMessage(uint32_t id, int32_t line, const char* arg, const char* arg2)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (!handler) return;
    const CmMsgArg first = arg ? CmMsgArg(arg) : CmMsgArg::none();
    const CmMsgArg second = arg && arg2 ? CmMsgArg(arg2) : CmMsgArg::none();
    handler->reportMsg(CmMsgKey(id, uint32_t(line)), first, second);
}
