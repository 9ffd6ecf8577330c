// The held part of a run of stray bytes (MdStrayRun.h).
#include "tools/md/tavolin/MdStrayRun.h"

#include <algorithm>

#include "tools/md/tavolin/MdScannerSupport.h"

void MdStrayRun::keepHead(const char* text, std::size_t len)
{
    static_assert(kHeadBytes == kMdTokenWhole, "the head holds what a message quotes whole");
    m_head.append(text, std::min(len, kHeadBytes - m_head.size()));
}

std::string MdStrayRun::heldArg() const
{
    // The head holds all of a short run and the first bytes of a long one,
    // as much as mdTokenArg reads (which names a NUL byte in it).
    return mdTokenArg(m_head.data(), m_held, "'");
}
