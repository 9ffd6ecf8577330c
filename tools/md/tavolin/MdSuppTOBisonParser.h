// Grammar of the supported technology-object section of a package or device
// source:
//
//   SUPPORTED_TO_TYPES
//       name := {GUID}, version.second;
//       name (number) := {GUID}, version.second;
//   END_SUPPORTED_TO_TYPES
//
// The grammar itself is MdSuppTOBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and each entry is handed to entry().
#pragma once

#include <cstdint>

#include "co/tvstring.h"
#include "platform/wintypes.h"
#include "tools/md/tavolin/MdBisonParserBase.h"

class MdSuppTOBisonParser;
int MdSuppTOparse(MdSuppTOBisonParser& parser);

class MdSuppTOBisonParser : public MdBisonParserBase {
public:
    // The number of an entry written without one.
    static constexpr int32_t kNoNumber = 0x7FFFFFFF;

    // Runs the grammar: 0 accepted, 1 stopped at a syntax error, 2 the
    // parser's stack would outgrow its limit.
    int yyparse() { return MdSuppTOparse(*this); }

protected:
    friend int MdSuppTOparse(MdSuppTOBisonParser& parser);
    // One entry in source order; the numbers as the source gave them.
    virtual void entry(const String& name, int32_t number, const GUID& guid, int32_t version, int32_t second) = 0;
};
