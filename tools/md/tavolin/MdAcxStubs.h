// The ACX import's parser as the front end sees it, in the shape it will
// have, while the header check and the import of configurations and
// variable extensions are not built into this version: every part answers
// kAcxNotBuilt, which the front end turns into status 0xBE11FFFF. The file
// itself is read for real (MdAcxHandlers.h).
//
// When the import is built, its class replaces this file.
#pragma once
#include <cstdint>

class CAcxCompoundTag;
class FsDsc;
class FsSecCl;

// Result of a part of the import that is not built in.
constexpr int32_t kAcxNotBuilt = 0xFFFF;

// Checks and writes the descriptor from the tag tree. Results are 0 or a
// code below 0x10000.
class CMDAcxParser {
public:
    uint32_t parseHeader(CAcxCompoundTag* root, FsDsc* descriptor);
    uint32_t parseConfiguration(CAcxCompoundTag* root, FsSecCl* cfghead);
    uint32_t parseVarExt(CAcxCompoundTag* root, FsDsc* descriptor);
};
