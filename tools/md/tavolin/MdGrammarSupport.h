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
//
// A stack that cannot grow for want of memory is not "parser stack
// overflow" at a line of the source: the growth frees the stack in use and
// throws std::bad_alloc, which ends the method as out of memory.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/memory_watch.h"

#define YYINITDEPTH 200
#define YYMAXDEPTH 10000

// The parser's stack on the heap (null: the one in the parse's frame).
inline thread_local void* mdParserHeapStack = nullptr;
inline void* mdParserStackAlloc(std::size_t bytes)
{
    void* grown = std::malloc(bytes);
    if (!grown) {
        // The parse ends here: the stack it stands on is not freed by it.
        std::free(mdParserHeapStack);
        mdParserHeapStack = nullptr;
        tvp::noteMemoryRanOut();
        throw std::bad_alloc();
    }
    mdParserHeapStack = grown;
    return grown;
}
inline void mdParserStackFree(void* stack)
{
    if (stack == mdParserHeapStack) mdParserHeapStack = nullptr;
    std::free(stack);
}
#define YYMALLOC mdParserStackAlloc
#define YYFREE mdParserStackFree

// The generated parser's own texts, in the words the messages have always
// used; every other text passes unchanged.
inline const char* mdGrammarText(const char* text)
{
    if (std::strcmp(text, "syntax error") == 0) return "parse error";
    if (std::strcmp(text, "memory exhausted") == 0) return "parser stack overflow";
    return text;
}
#define YY_(Msgid) mdGrammarText(Msgid)
