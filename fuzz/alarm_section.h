// Shared steps of the fuzz targets of the two alarm sections: the section
// made from the random bytes, and the check that a loaded container saves
// to bytes that load and save again to the same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "tests/base/fs/section_bytes.h"

// The bytes after the first as a section in the given mode, at position 0.
inline void fillAlarmSection(FsSecClMem& in, bool binary, const uint8_t* data, size_t size)
{
    in.setBinary(binary);
    if (size > 1) in.writeBytes(data + 1, uint32_t(size - 1));
    in.seek(0, 0);
}

// Aborts unless `loaded` saves, `back` (empty) loads that, and saves it
// again to the same bytes.
template <class Cont>
void checkSavesAgain(const Cont& loaded, Cont& back, bool binary)
{
    FsSecClMem first;
    first.setBinary(binary);
    if (!loaded.save(first)) std::abort();
    const std::string text = sectionBytes(first);
    if (!back.load(first)) std::abort();
    FsSecClMem second;
    second.setBinary(binary);
    if (!back.save(second) || sectionBytes(second) != text) std::abort();
}
