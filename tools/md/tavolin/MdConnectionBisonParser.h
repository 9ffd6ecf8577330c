// Grammar of the connection section of a technology-object type source:
//
//   INTERFACE
//       CONNECTION name (id) : {GUID}
//           DIRECTION := IN | OUT | INOUT;
//           VERSION := major.minor;
//           REMOTE := YES | NO;
//           MULTIPOINT := YES | NO;
//           MUST_BE_CONNECTED := YES | NO;
//           [EXCLUSIVE_GROUP := integer;]
//           [GEO_ADDRESS := integer.integer.integer;]
//       END_CONNECTION
//       ...
//   END_INTERFACE
//
// The grammar itself is MdConnectionBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and each connection is handed to
// connection() at its END_CONNECTION.
#pragma once

#include <cstdint>

#include "co/tvstring.h"
#include "platform/wintypes.h"

class MdConnectionBisonParser;
int MdConnectionparse(MdConnectionBisonParser& parser);

// The directions of the DIRECTION clause.
enum MdConDirection : int32_t { MdConIn = 1, MdConOut = 2, MdConInOut = 3 };

// One connection as the source gives it; numbers as the scanner read them.
struct MdConnectionDecl {
    const String* name;
    int32_t id;
    GUID ifType;
    int32_t direction;  // MdConDirection
    uint16_t major;
    uint16_t minor;
    bool remote;
    bool multipoint;
    bool required;
    int32_t exclusiveGroup;  // -1 when the source gives none
};

class MdConnectionBisonParser {
public:
    virtual ~MdConnectionBisonParser() = default;
    // Next token; 0 at the end of the input.
    virtual int yylex() = 0;
    // A syntax error: "parse error" or "parser stack overflow".
    virtual void yyerror(const char* text) = 0;

    // Runs the grammar: 0 accepted, 1 stopped at a syntax error, 2 the
    // parser's stack would outgrow its limit.
    int yyparse() { return MdConnectionparse(*this); }

    // The generated parser renames the yy names in its own file; it reaches
    // the scanner and the error report through these.
    int nextToken() { return yylex(); }
    void syntaxError(const char* text) { yyerror(text); }

protected:
    friend int MdConnectionparse(MdConnectionBisonParser& parser);
    // One connection, at its END_CONNECTION.
    virtual void connection(const MdConnectionDecl& decl) = 0;
};
