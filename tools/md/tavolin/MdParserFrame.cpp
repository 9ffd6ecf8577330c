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

int32_t mdRewriteSection(FsDsc* dsc, const char* name, const std::function<void(FsSecCl&)>& write,
                         int32_t closeFailure)
{
    if (!dsc) return 4;
    FsSecCl* sec = dsc->openSect(name, FS_MODE_WRITE);
    if (!sec) return 4;
    bool ok = sec->setSize(0) == 0;
    if (ok) {
        write(*sec);
        ok = !sec->hasError();
    }
    const bool closed = dsc->CloseSect(name) == 0;
    if (!ok) return 4;
    return closed ? 0 : closeFailure;
}
