// Random bytes as the section "almcfg" (the first byte chooses text or
// binary mode): the reader ends without crash, and what it reads without
// error saves to bytes that read and save again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "bo/alc/BoAlarmType.h"
#include "tests/base/fs/section_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const bool binary = data[0] & 1;
    FsSecClMem in;
    in.setBinary(binary);
    if (size > 1) in.writeBytes(data + 1, uint32_t(size - 1));
    in.seek(0, 0);
    CBoAlmTypeCont types;
    if (!types.load(in)) return 0;
    FsSecClMem first;
    first.setBinary(binary);
    if (!types.save(first)) std::abort();
    const std::string text = sectionBytes(first);
    CBoAlmTypeCont back;
    if (!back.load(first)) std::abort();
    FsSecClMem second;
    second.setBinary(binary);
    if (!back.save(second) || sectionBytes(second) != text) std::abort();
    return 0;
}
