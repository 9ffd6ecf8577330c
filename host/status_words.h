// Words for what the pre-compiler's methods report, as the tavolin command's
// step lines and messages say it: a status in hexadecimal and in each
// method's own words, the causes the library noted beside a status, why a
// file cannot be opened, and a long name cut for a message.
#pragma once

#include <cstdint>
#include <string>

// A status or HRESULT as the step lines show it ("0xBE11000B").
std::string hostHex(uint32_t v);

// Whether an HRESULT says that memory ran out (E_OUTOFMEMORY, or the
// storage's STG_E_INSUFFICIENTMEMORY).
bool hostMemoryRanOut(int32_t hr);

// What a status of one method of the pre-compiler means, in that method's
// words (acx: the compile was given an ACX file, whose import the
// variables method runs); a code of the pre-compiler's range that the
// method does not name is "a lower layer failed with code N"; empty for any
// other code.
std::string hostStatusMeaning(const std::string& method, uint32_t status, bool acx);

// The causes (MdCause* bits) the library noted of a method's failure, in
// words joined by "; " ("" for none).
std::string hostCauseWords(int32_t causes);

// Why a file the pre-compiler could not open (SOURCE, the ACX file) cannot
// be opened, as ": reason" (the pre-compiler only says that it could not);
// empty when it can be opened now.
std::string hostOpenWords(const std::string& path);

// A file name as the messages show a long token: whole up to 1 024 bytes,
// else its first 40 bytes and an ellipsis.
std::string hostShownName(const std::string& name);
