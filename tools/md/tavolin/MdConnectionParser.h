// Compiler of the connection section ("con_tmp") of a technology-object type:
// collects the connectors of the type and writes them into the descriptor's
// section "connectors".
//
// Messages (block 600): 601 "Fehler im Scanner" for a character no rule
// takes or a number too large, 602 "Fehler im Parser" for a syntax error,
// 604 "Fehler beim Einfügen der Verbindung" for a connector id given twice
// (ids are the low 16 bits of the number, so 65537 is 1; the first
// connector with the id stays).
#pragma once

#include <cstdint>

#include "bo/cn/CBoConTypeCont.h"
#include "tools/md/tavolin/MdConnectionBisonParser.h"
#include "tools/md/tavolin/MdConnectionScanner.h"
#include "tools/md/tavolin/MdParserFrame.h"

enum : uint32_t { MdConnectionMsgBase = 600, MdConnectionMsgDuplicate = 604 };

class MdConnectionParser : public MdParserFrame<MdConnectionBisonParser, MdConnectionScannerFlexLexer>,
                           public CBoConTypeCont {
public:
    MdConnectionParser() : MdParserFrame(MdConnectionMsgBase) {}

    // Both bases have an init: the compiler's and the container's.
    using MdParserFrame::init;
    using CBoConTypeCont::init;

    // init: the stream and the type's descriptor file (MdParserFrame).
    //
    // Runs the grammar and writes "connectors": 0 written; 1 syntax error
    // or 2 parser stack full (nothing written); 3 errors were counted
    // (nothing written); 4 the section is missing or could not be emptied,
    // written or closed (no descriptor included). The section is rewritten
    // from empty.
    int32_t parse() override;

protected:
    void connection(const MdConnectionDecl& decl) override;
};
