// A small grammar for the tests of the compiler frame: balanced
// parentheses, nested as deep as the input likes, so that the parser's
// stacks can be driven past their first size and past their limit.
#pragma once

class MdTestNestBisonParser;
int MdTestNestparse(MdTestNestBisonParser& parser);

class MdTestNestBisonParser {
public:
    virtual ~MdTestNestBisonParser() = default;
    virtual int yylex() = 0;
    virtual void yyerror(const char* text) = 0;
    int yyparse() { return MdTestNestparse(*this); }

    int nextToken() { return yylex(); }
    void syntaxError(const char* text) { yyerror(text); }
    // Pairs reduced so far.
    int pairs = 0;
};
