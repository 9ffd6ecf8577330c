// The reader of the error-message section "errmsg": any bytes read into a
// container end without crash and without memory beyond the section's size
// (the reader allocates nothing by the count it reads); a section read
// without error writes back, and that text reads and writes again to the
// same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bo/alm/BoErrorMsgCont.h"
#include "tests/bo/bo/varext_sections.h"

namespace {

std::string written(const CBoErrorMsgCont& c)
{
    FsSecClMem s;
    if (!c.write(s)) std::abort();
    return sectionText(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsSecClMem in;
    fillSection(in, data, size);
    CBoErrorMsgCont c(String(), 1);
    if (!c.read(in)) return 0;
    const std::string text = written(c);
    FsSecClMem again;
    fillSection(again, text.data(), text.size());
    CBoErrorMsgCont back(String(), 1);
    if (!back.read(again) || written(back) != text) std::abort();
    return 0;
}
