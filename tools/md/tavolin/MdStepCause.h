// The cause of a method's failure that its status and messages do not carry
// (MdCause* of MdStatusCodes.h), kept for the host between the compiler
// that notes it and the library's export that hands it on.
#pragma once
#include <cstdint>

// Adds the cause (one bit) to those noted since the last take.
void mdNoteStepCause(int32_t cause);
// The causes noted since the last take (MdCauseNone: none); forgets them.
int32_t mdTakeStepCause();
