// Fuzz target of the loaders of an instance of the variable extensions:
// the first byte picks the configuration (0), units (1) or values (2)
// section loader or the unit stream of readDefVal (3); the rest is the
// section's text. Invariants: a loader ends with 0 or the load failure 27,
// readDefVal with 0, a unit refusal (36, 37, 38) or 65535 - never a crash,
// a hang or memory beyond the section's size (nothing is allocated by a
// count read); a section that loaded saves, and that text loads and saves
// again to the same bytes.
#include <cstdlib>

#include "tests/bo/bo/inst_model.h"

namespace {

uint32_t load(TestInst& inst, int which, FsSecCl& s)
{
    switch (which) {
    case 0: return inst.loadCfg(s);
    case 1: return inst.loadUnit(s);
    default: return inst.loadValues(s);
    }
}

uint32_t save(TestInst& inst, int which, FsSecCl& s)
{
    switch (which) {
    case 0: return inst.saveCfg(s);
    case 1: return inst.saveUnit(s);
    default: return inst.saveValues(s);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const int which = data[0] % 4;
    FsSecClMem in;
    if (size > 1) in.writeBytes(data + 1, uint32_t(size - 1));
    in.seek(0, 0);
    InstModel m;
    m.inst.initUnit();
    if (which == 3) {
        const uint32_t rc = m.inst.readDefVal(in);
        if (rc != 0 && rc != 36 && rc != 37 && rc != 38 && rc != 65535) std::abort();
        return 0;
    }
    const uint32_t rc = load(m.inst, which, in);
    if (rc != 0 && rc != 27) std::abort();
    if (rc != 0) return 0;
    FsSecClMem first, second;
    if (save(m.inst, which, first) != 0) std::abort();
    const std::string text = sectionBytes(first);
    TestInst back;
    back.setTypeVarCont(&m.type);
    if (load(back, which, first) != 0 || save(back, which, second) != 0 || sectionBytes(second) != text)
        std::abort();
    return 0;
}
