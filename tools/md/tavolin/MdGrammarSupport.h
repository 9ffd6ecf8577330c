// Settings every section grammar shares; each .ypp includes this header in
// its prologue (between "%{" and "%}"), before the generated parser code.
//
// - The state and value stacks start with room for 200 entries and double
//   when full, up to 10000 entries. A parse that needs more ends with
//   "parser stack overflow" through yyerror and result 2.
// - A syntax error is reported through yyerror as "parse error"; the
//   grammars have no error rules, so the parse then ends with result 1.
// - No grammar uses character literals: every token is declared with %token
//   and an explicit code from 258 upward, in declaration order, and any code
//   the scanner returns above the largest one is the undefined token 2.
// The stacks grow by moving their bytes, so a grammar's semantic value type
// must be trivially copyable (a %union of numbers, GUIDs and pointers).
#pragma once

#include <cstring>

#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

// The generated parser's own texts, in the words the messages have always
// used; every other text passes unchanged.
inline const char* mdGrammarText(const char* text)
{
    if (std::strcmp(text, "syntax error") == 0) return "parse error";
    if (std::strcmp(text, "memory exhausted") == 0) return "parser stack overflow";
    return text;
}
#define YY_(Msgid) mdGrammarText(Msgid)
