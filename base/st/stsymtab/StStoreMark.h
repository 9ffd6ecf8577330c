// Store mark of the symbol-table objects that can be written "marked only":
// entries, type nodes and constants carry one mark byte whose bit 0 means
// "write this object when the table writes only marked objects".
#pragma once
#include <cstdint>

class StStoreMark {
public:
    bool isMarked() const { return (m_mark & 1) != 0; }
    void mark() { m_mark |= 1; }
    void unmark() { m_mark &= uint8_t(~1u); }
    uint8_t getMarkByte() const { return m_mark; }
    void setMarkByte(uint8_t b) { m_mark = b; }

protected:
    uint8_t m_mark = 0;
};
