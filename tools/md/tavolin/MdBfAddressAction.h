// The address-table action of the boot-function compiler (grammar rule 24:
// "$" key ":" "@" address).
#pragma once

#include <cstdint>
#include <functional>

#include "bo/bf/BfBootFktTypCont.h"
#include "co/tvstring.h"

// The number of a "$" or "@" text: the leading character removed, then
// "16#" and hexadecimal digits, or decimal digits. False for an empty or
// malformed text and for a value beyond 32 bits.
bool mdBfAddressNumber(const String& text, uint32_t& value);

// Rule 24: inserts key -> address into the container's address table.
// Messages through report (id, argument or null): 506 when either number
// does not convert or exceeds 32 bits, 0 for a key already present (the
// first entry stays). Takes both texts.
void mdBfAddAddress(CBfBootFktTypCont& container, String* key, String* address,
                    const std::function<void(uint32_t id, const String* arg)>& report);
