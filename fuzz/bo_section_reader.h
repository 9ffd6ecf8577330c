// Shared body of the fuzz targets of the variable-extension section
// readers. The bytes are the section's text. Invariants: the reader ends
// with 0 or the load failure (never a crash, a hang or memory beyond the
// section's size, since readers allocate nothing by a count they read); a
// section read without error writes back, and that text reads and writes
// again to the same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/bo/bo/varext_sections.h"

inline int fuzzVarExtSection(int layout, const uint8_t* data, size_t size)
{
    FsSecClMem in;
    fillSection(in, data, size);
    VarExtSections tables;
    uint32_t result = tables.read(layout, in);
    if (result != 0 && result != BO_LOAD_FAILED) std::abort();
    if (result != 0) return 0;

    FsSecClMem first;
    if (tables.write(layout, first) != 0) std::abort();
    const std::string text = sectionText(first);
    FsSecClMem again;
    fillSection(again, text.data(), text.size());
    VarExtSections back;
    if (back.read(layout, again) != 0) std::abort();
    FsSecClMem second;
    if (back.write(layout, second) != 0 || sectionText(second) != text) std::abort();
    return 0;
}
