// Fuzz target of the reader of the attributes section (attribute words per variable key); the invariants are in bo_section_reader.h.
#include "bo_section_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzVarExtSection(3, data, size); }
