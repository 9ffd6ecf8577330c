// A section compiler (or any class over a flex C++ scanner) whose scanner
// gets its input in blocks of at most `block` bytes (0: as much as it asks
// for). Small blocks end the scanner's buffer inside nearly every token, so
// a test sees that a token across the buffer's end is read as one inside.
#pragma once

template <class Frame>
class BlockReads : public Frame {
public:
    int block = 0;

protected:
    int LexerInput(char* buf, int maxSize) override
    {
        return Frame::LexerInput(buf, block > 0 && maxSize > block ? block : maxSize);
    }
};
