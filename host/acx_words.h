// The ACX file of a compile in words, for the tavolin command's messages:
// its first tag, read again as the pre-compiler's reader finds it, and what
// each code of the reader's messages (1300 fatal: the read ended, 1301
// error: a part was skipped and the read went on) says of the file. The
// reader's own messages only give the code; these words name the fault.
#pragma once

#include <cstdint>
#include <string>

#include "acx/AcxReader.h"

// The first tag of an ACX file, as its reader finds it where it looks for
// the root tag (id 0, a compound tag of further tags).
struct HostAcxFirstTag {
    bool found = false;  // the file header and a tag header were read
    AcxTagInfo info;
};

// The first tag of the file acx; none found for a file that is not a
// regular file (a device is not read again: it may give other bytes, or wait
// for them) or whose header or first tag cannot be read.
HostAcxFirstTag hostAcxFirstTag(const std::string& acx);

// A tag type in words, for a root tag that is none of the compound kind.
std::string hostAcxTypeWords(uint16_t type);

// What the ACX reader's code in its message (1300, 1301) says of the file
// acx, whose first tag is first, as the rest of a sentence that begins with
// the file's name; "gave the reader's code N" for a code it does not name.
std::string hostAcxCodeWords(uint32_t message, int32_t code, const std::string& acx, const HostAcxFirstTag& first);
