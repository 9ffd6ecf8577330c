// Stand-in of the ACX import parser: every part answers kAcxNotBuilt.
#include "tools/md/tavolin/MdAcxStubs.h"

#include "co/TraceApi.h"

namespace {
const char kTraceFile[] = "tools/md/tavolin/mdacx";
}

uint32_t CMDAcxParser::parseHeader(CAcxCompoundTag*, FsDsc*)
{
    TV_TRACE(3, kTraceFile, "CMDAcxParser::parseHeader", "the ACX header check is not built into this version");
    return uint32_t(kAcxNotBuilt);
}

uint32_t CMDAcxParser::parseConfiguration(CAcxCompoundTag*, FsSecCl*)
{
    return uint32_t(kAcxNotBuilt);
}

uint32_t CMDAcxParser::parseVarExt(CAcxCompoundTag*, FsDsc*)
{
    return uint32_t(kAcxNotBuilt);
}
