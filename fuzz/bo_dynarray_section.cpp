// Fuzz target of the reader of the dynamic-array section (size-variable keys and array addresses); the invariants are in bo_section_reader.h.
#include "bo_section_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzVarExtSection(4, data, size); }
