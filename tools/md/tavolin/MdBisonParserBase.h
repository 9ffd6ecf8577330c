// What the parser classes of the section grammars share: tokens come from
// the derived class through yylex and syntax errors go to its yyerror. The
// generated parser renames the yy names in its own file; it reaches the
// scanner and the error report through nextToken and syntaxError.
#pragma once

class MdBisonParserBase {
public:
    virtual ~MdBisonParserBase() = default;
    // Next token; 0 at the end of the input.
    virtual int yylex() = 0;
    // A syntax error: "parse error" or "parser stack overflow".
    virtual void yyerror(const char* text) = 0;

    int nextToken() { return yylex(); }
    void syntaxError(const char* text) { yyerror(text); }
};
