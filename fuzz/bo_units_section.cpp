// Fuzz target of the reader of the units section (limit, resolve pairs, possible units, default units); the invariants are in bo_section_reader.h.
#include "bo_section_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzVarExtSection(1, data, size); }
