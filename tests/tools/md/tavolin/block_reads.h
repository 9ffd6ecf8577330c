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

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/md/tavolin/MdSectionCompiler.h"

// Text of up to `count` pieces drawn from pieces: a soup of a scanner's
// token beginnings, to read whole and in blocks.
inline std::string tokenSoup(std::mt19937& rng, const std::vector<std::string>& pieces, int count)
{
    std::string text;
    const int n = int(rng() % unsigned(count)) + 1;
    for (int i = 0; i < n; ++i) text += pieces[rng() % pieces.size()];
    return text;
}

// Every token that the compiler's scanner gives for text, read in blocks of
// `block` bytes: its code and what describe(compiler, code) adds, then the
// reports the compiler recorded (its `errors`). The resource script is
// rcPath.
template <class Compiler, class Describe>
std::vector<std::string> tokensInBlocks(const std::string& text, int block, const char* rcPath, Describe describe)
{
    std::istringstream in(text);
    BlockReads<Compiler> p;
    p.block = block;
    MdCompilerArgs args;
    args.stream = &in;
    args.rcPath = String(rcPath);
    p.init(args);
    std::vector<std::string> tokens;
    for (int t, n = 0; n < 10000 && (t = p.yylex()) != 0; ++n) tokens.push_back(std::to_string(t) + describe(p, t));
    tokens.insert(tokens.end(), p.errors.begin(), p.errors.end());
    return tokens;
}

// scan(text, block) on `runs` soups of pieces (seed): the same read in
// blocks of 1 and 3 bytes as read whole.
template <class Scan>
void expectSoupsReadTheSameInBlocks(unsigned seed, const std::vector<std::string>& pieces, int runs, Scan scan)
{
    std::mt19937 rng(seed);
    for (int i = 0; i < runs; ++i) {
        const std::string text = tokenSoup(rng, pieces, 24);
        const auto whole = scan(text, 0);
        for (int block : {1, 3}) EXPECT_EQ(scan(text, block), whole) << text;
    }
}
