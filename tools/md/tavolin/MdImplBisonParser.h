// Grammar of the implementation section of a source: empty, or one I/O
// declaration
//
//   BEGIN_IO_DATA
//       BEGIN_ACT
//       ...the I/O text...
//       END_ACT
//   END_IO_DATA
//
// The grammar itself is MdImplBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and each accepted form is handed to one
// action, which writes the macro files.
#pragma once

#include "co/tvstring.h"
#include "tools/md/tavolin/MdBisonParserBase.h"

class MdImplBisonParser;
int MdImplparse(MdImplBisonParser& parser);

class MdImplBisonParser : public MdBisonParserBase {
public:

    // Runs the grammar: 0 accepted, 1 stopped at a syntax error, 2 the
    // parser's stack would outgrow its limit, 4 an action could not write
    // its macro files.
    int yyparse();

protected:
    friend int MdImplparse(MdImplBisonParser& parser);
    // The actions: true when the macro files were written. ioData may use
    // the text's own block for the line it writes (the text is dropped
    // after it).
    virtual bool noIoData() = 0;
    virtual bool ioData(String& text) = 0;

private:
    bool m_writeFailed = false;
};
