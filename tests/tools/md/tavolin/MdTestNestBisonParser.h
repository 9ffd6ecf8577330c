// A small grammar for the tests of the compiler frame: balanced
// parentheses, nested as deep as the input likes, so that the parser's
// stacks can be driven past their first size and past their limit.
#pragma once

#include "tools/md/tavolin/MdBisonParserBase.h"

class MdTestNestBisonParser;
int MdTestNestparse(MdTestNestBisonParser& parser);

class MdTestNestBisonParser : public MdBisonParserBase {
public:
    int yyparse() { return MdTestNestparse(*this); }
    // Pairs reduced so far.
    int pairs = 0;
};
