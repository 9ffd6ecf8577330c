// One entry of a static message table: the message id, its level
// (0 info, 1 warning, 2 error, 3 safety; anything above 4 is read as 4),
// a group number for group-wise suppression and the UTF-16 template.
#pragma once
#include <cstddef>
#include <cstdint>

struct CmMsgTableEntry {
    uint32_t id;
    uint32_t level;
    uint16_t group;
    const char16_t* text;
};
