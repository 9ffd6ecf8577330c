// Grammar of the comment sections of a technology-object type source:
//
//   VARCOMMENT                           BFDCOMMENT
//     $5 [16#3] : "text"                   $5 : "text"
//     $7-$9 [16#1] : "text"                $7-$9 : "text"
//     $Type.Member [16#3] : "text"         $Type.Member : "text"
//   END_VARCOMMENT                       END_BFDCOMMENT
//
// The configuration mask in brackets must be hexadecimal; a boot-function
// entry has none. The section is accepted as soon as its end keyword is
// read: whatever follows is not scanned.
//
// The grammar itself is MdVarCommentBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and each entry is handed to the
// operations below in source order. An entry on one line comes from the
// scanner as one token (MdVarCommentEntry) rather than seven or more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "co/tvstring.h"

// A whole entry that the scanner read as one token (an entry on one line,
// with blanks and tabs at most between its parts): its subject, mask and
// text, as the grammar would have collected them token by token.
struct MdVarCommentEntry {
    enum Subject { Address, Range, Name };
    Subject subject = Address;
    uint32_t first = 0;  // the address, or the first of the range
    uint32_t last = 0;   // the last of the range
    bool masked = false;  // with a mask: a VARCOMMENT entry
    uint32_t mask = 0;    // kAllConfigs in a boot-function entry
    std::string name;    // the dotted name, parts joined with "."
    std::string text;    // the string's value
};

class MdVarCommentBisonParser;
int MdVarCommentparse(MdVarCommentBisonParser& parser);

class MdVarCommentBisonParser {
public:
    // The mask of every boot-function entry: all configurations.
    static constexpr uint32_t kAllConfigs = 0xFFFFFFFFu;

    virtual ~MdVarCommentBisonParser() = default;
    // Next token; 0 at the end of the input.
    virtual int yylex() = 0;
    // A syntax error: "parse error" or "parser stack overflow".
    virtual void yyerror(const char* text) = 0;

    // Runs the grammar: 0 accepted, 1 stopped at a syntax error, 2 the
    // parser's stack would outgrow its limit, 3 stopped by a range that
    // addressEntry refused.
    int yyparse()
    {
        m_rangeRefused = false;
        const int result = MdVarCommentparse(*this);
        return result == 1 && m_rangeRefused ? 3 : result;
    }

    int nextToken() { return yylex(); }
    // A whole entry (VARCOMMENT when variables): handed to the operation
    // of its subject; false when the range was refused.
    bool entry(const MdVarCommentEntry& e, bool variables)
    {
        switch (e.subject) {
        case MdVarCommentEntry::Range: return rangeEntry(e.first, e.last, e.mask, e.text);
        case MdVarCommentEntry::Name: nameEntry(e.name, variables, e.mask, e.text); return true;
        default: addressEntry(e.first, e.mask, e.text); return true;
        }
    }
    void syntaxError(const char* text) { yyerror(text); }

protected:
    friend int MdVarCommentparse(MdVarCommentBisonParser& parser);
    // An entry for one address ("$a"), with its mask and text.
    virtual void addressEntry(uint32_t adr, uint32_t mask, std::string_view text) = 0;
    // An entry for the addresses first to last inclusive ("$a-$b"). False
    // refuses the range and ends the parse with 3.
    virtual bool rangeEntry(uint32_t first, uint32_t last, uint32_t mask, std::string_view text) = 0;
    // An entry by name, the dotted parts joined with "." as written;
    // variables tells a VARCOMMENT entry from a BFDCOMMENT one.
    virtual void nameEntry(std::string_view name, bool variables, uint32_t mask, std::string_view text) = 0;

private:
    bool m_rangeRefused = false;
};
