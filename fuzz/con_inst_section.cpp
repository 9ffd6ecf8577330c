// Arbitrary bytes as a saved connection container. The first byte chooses
// text or binary mode and the load flags; the rest is the section. Loading
// must end with one of its results and never crash, hang or allocate beyond
// the size of the section; a failed load leaves the container as it was, and
// a container that loaded saves and loads again to the same connections.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/fs/FsSecClMem.h"
#include "bo/cn/CBoConInstCont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    CBoConTypeCont type;
    type.add(1, CBoConProps("a", 1, GUID_NULL, true, false, false, false, false, -1, 1, 0));
    type.add(2, CBoConProps("b", 2, GUID_NULL, false, true, false, true, false, -1, 1, 0));
    CBoConInstCont cont(&type);
    const CBoConnections before = cont.connections();

    FsSecClMem s;
    s.writeBytes(data + 1, uint32_t(size - 1));
    s.seek(0, 0);
    s.setBinary((data[0] & 1) != 0);
    const uint32_t result = cont.loadConnections(&s, data[0] & kConLoadAdapt);
    switch (result) {
    case 0: {
        FsSecClMem again;
        again.setBinary(s.isBinary());
        if (cont.saveConnections(&again) != 0) std::abort();
        again.seek(0, 0);
        CBoConInstCont back(&type);
        if (back.loadConnections(&again, 0) != 0 || back.connections() != cont.connections()) std::abort();
        break;
    }
    case 27: case 29: case 38: case 0xFFFF:
        if (cont.connections() != before) std::abort();
        break;
    default:
        std::abort();
    }
    return 0;
}
