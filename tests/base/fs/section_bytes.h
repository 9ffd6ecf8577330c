// The whole content of a section as bytes, for tests and fuzz targets that
// compare what a writer left in a section.
#pragma once
#include <cstdint>
#include <string>

#include "base/fs/FsSecCl.h"

// Reads from position 0 and leaves the section at position 0 again.
inline std::string sectionBytes(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.seek(0, 0);
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    s.seek(0, 0);
    return out;
}

// Reads from position 0, leaves the position behind the content and clears
// the error a short read may have set.
inline std::string sectionBytesClearing(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.reset();
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    s.clearError();
    return out;
}
