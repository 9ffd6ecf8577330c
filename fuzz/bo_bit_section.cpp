// Fuzz target of the reader of the bit section (bit types and bit fields); the invariants are in bo_section_reader.h.
#include "bo_section_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzVarExtSection(5, data, size); }
