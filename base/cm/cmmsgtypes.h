// Small value types shared by the message handler, its tables and outputs.
#pragma once
#include <cstdint>

// Identifies one report: the message id, the reporter's source position
// (a parser passes its current line, 0 when there is none) and a reserved
// word that is always 0.
struct CmMsgKey {
    uint32_t id = 0;
    uint32_t position = 0;
    uint32_t reserved = 0;

    CmMsgKey() = default;
    CmMsgKey(uint32_t msgId, uint32_t pos = 0, uint32_t res = 0)
        : id(msgId), position(pos), reserved(res) {}
};

// Output mode of the handler (0-4, see CmMessageHandler) and a flag word whose
// low byte switches to the extended output (position and id passed apart).
struct CmMsgLevel {
    uint32_t mode = 0;
    uint32_t flags = 0;

    CmMsgLevel() = default;
    CmMsgLevel(uint32_t m, uint32_t f = 0) : mode(m), flags(f) {}
    bool extended() const { return (flags & 0xFF) != 0; }
};

// Message levels.
enum : uint32_t {
    kCmLevelInfo = 0,
    kCmLevelWarning = 1,
    kCmLevelError = 2,
    kCmLevelSafety = 3,
    kCmLevelUnclassified = 4,  // reported and counted as an error
};
