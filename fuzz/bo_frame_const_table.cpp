// Fuzz target of a constant-table read through the frame's factory ("const"
// of a type's variable extensions). The first byte picks the form (bit 4:
// binary section, else text section), the rest is the section. Invariants:
// no crash, no hang, memory bounded by the input; every value read is the
// frame's elementary constant; what reads cleanly writes, and that reads and
// writes again to the same bytes; the sysvar buffer of everything read
// writes without a failure and empties the list of what it wrote.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "bo/boframe/BoFrameConstVal.h"

namespace {

std::string contents(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.seek(0, 0);
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    return out;
}

bool readInto(CBOFrameConstValTable& t, bool binary, const std::string& bytes)
{
    FsSecClMem in;
    in.setBinary(binary);
    if (!bytes.empty()) in.writeBytes(bytes.data(), uint32_t(bytes.size()));
    in.seek(0, 0);
    return t.read(in);
}

std::string written(const CBOFrameConstValTable& t, bool binary)
{
    FsSecClMem out;
    out.setBinary(binary);
    if (!t.write(out)) std::abort();
    return contents(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const bool binary = (data[0] >> 4) & 1;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CBOFrameConstValTable t;
    if (!readInto(t, binary, bytes)) return 0;
    CBOFrameConstValTable::CidList all;
    for (const auto& e : t.values()) {
        if (!dynamic_cast<CBOFrameStdConstantVal*>(e.second)) std::abort();
        all.push_back(e.first);
    }
    const std::string once = written(t, binary);
    CBOFrameConstValTable again;
    if (!readInto(again, binary, once) || written(again, binary) != once) std::abort();

    FsSecClMem buffer;
    buffer.setBinary(binary);
    if (t.writeSysVarDefVal(buffer, all) != 0) std::abort();
    for (StConstEntryID cid : all)
        if (t.getConstantVal(cid)->hasAddress()) std::abort();
    return 0;
}
