// Fuzz target of the boot-function readers. The first byte chooses the
// reader (bit 1 set: the symbol table "bfsymb", else the section "boot")
// and the mode of "boot" (bit 0 set: binary); the rest is the section. A
// refused "boot" load leaves the container empty; a load without error
// saves, and that section loads and saves again to the same bytes. A
// loaded "bfsymb" table holds boot-function constants only and saves.
#include <cstdlib>

#include "bo/bf/BfBootFktTypCont.h"
#include "bo/bf/BfSymbTable.h"
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
    if (data[0] & 2) {
        FsSecClMem in;
        fillSection(in, data + 1, size - 1);
        CBfSymbTable table;
        if (!table.load(in)) return 0;
        for (const auto& c : table.constTable()->values())
            if (c.second && !dynamic_cast<CBfStdConstantVal*>(c.second) &&
                !dynamic_cast<CBfStringConstantVal*>(c.second) && !dynamic_cast<CBfStructConstantVal*>(c.second))
                std::abort();
        FsSecClMem out;
        table.save(out);
        return 0;
    }
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
