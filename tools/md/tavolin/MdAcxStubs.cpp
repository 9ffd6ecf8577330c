// Stand-ins of the ACX import of configurations and variable extensions,
// which is not built into this version: both answer kAcxImportNotBuilt,
// which the front end turns into status 0xBE11FFFF. When that import is
// built, its code replaces this file.
#include "tools/md/tavolin/CMDAcxParser.h"

uint32_t CMDAcxParser::parseConfiguration(CAcxCompoundTag*, FsSecCl*)
{
    return kAcxImportNotBuilt;
}

uint32_t CMDAcxParser::parseVarExt(CAcxCompoundTag*, FsDsc*)
{
    return kAcxImportNotBuilt;
}
