// The two pair constants of the boot-function operands.
#include "bo/bf/BfOperand.h"

const StBfSidOffset kBfPairZero(StSymbEntryID(0), 0);
const StBfSidOffset kBfPairInvalid(ST_INVALID_SID, 0x7fffffffu);
