// Fuzz target of the comment-text reader: the bytes are the section's text.
// The load ends true or false (never a crash, a hang or memory beyond the
// section's size); a section loaded without error saves, and that text
// loads and saves again to the same bytes.
#include <cstdlib>

#include "bo/bo/BoVarComment.h"
#include "tests/bo/bo/varext_sections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsSecClMem in;
    fillSection(in, data, size);
    CBoVarComment c(nullptr);
    if (!c.load(in)) return 0;
    FsSecClMem first;
    if (!c.save(first)) std::abort();
    const std::string text = sectionText(first);
    FsSecClMem again;
    fillSection(again, text.data(), text.size());
    CBoVarComment back(nullptr);
    FsSecClMem second;
    if (!back.load(again) || !back.save(second) || sectionText(second) != text) std::abort();
    return 0;
}
