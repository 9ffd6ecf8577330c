// Fuzz target of the boot-function readers: the section "boot" with its
// type records. The first byte chooses the mode (bit 0 set: binary), the
// rest is the section. A refused load leaves the container empty; a load
// without error saves, and that section loads and saves again to the same
// bytes.
#include <cstdlib>

#include "bo/bf/BfBootFktTypCont.h"
#include "tests/bo/bf/bf_gen.h"
#include "tests/bo/bo/varext_sections.h"

namespace {

using Cont = BfTestCont;

std::string roundTrip(const Cont& c, bool binary)
{
    FsSecClMem out;
    out.setBinary(binary);
    if (!c.saveBfTypCont(out)) std::abort();
    return sectionText(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool binary = (data[0] & 1) != 0;
    FsSecClMem in;
    in.setBinary(binary);
    fillSection(in, data + 1, size - 1);
    Cont c;
    if (!c.loadBfTypCont(in)) {
        if (!c.types().empty() || !c.addresses().empty()) std::abort();
        return 0;
    }
    const std::string first = roundTrip(c, binary);
    FsSecClMem again;
    again.setBinary(binary);
    fillSection(again, first.data(), first.size());
    Cont back;
    if (!back.loadBfTypCont(again) || roundTrip(back, binary) != first) std::abort();
    return 0;
}
