// Compiler of the supported technology-object section ("suppto_tmp") of a
// package or device: collects the supported types in source order and writes
// them into the descriptor's section "rttotypes".
//
// Messages (block 800): 801 "Fehler im Scanner" for a character no rule
// takes or a number too large, 802 "Fehler im Parser" for a syntax error.
#pragma once

#include <cstdint>
#include <list>

#include "base/fs/FsRTTypeID.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdSuppTOBisonParser.h"
#include "tools/md/tavolin/MdSuppTOScanner.h"

enum : uint32_t { MdSuppTOMsgBase = 800 };

class MdSuppTOParser : public MdParserFrame<MdSuppTOBisonParser, MdSuppTOScannerFlexLexer> {
public:
    MdSuppTOParser() : MdParserFrame(MdSuppTOMsgBase) {}

    // init: the stream and the package's descriptor file (MdParserFrame).
    //
    // Runs the grammar and writes "rttotypes": 0 written; 1 syntax error or
    // 2 parser stack full (nothing written); 3 errors were counted (nothing
    // written); 4 the section could not be opened, written or closed (no
    // descriptor included). The section is rewritten from empty.
    int32_t parse() override;

    // The types read, in source order.
    const std::list<FsSupportedToTypeEntry>& types() const { return m_types; }

protected:
    void entry(const String& name, int32_t number, const GUID& guid, int32_t version, int32_t second) override;

private:
    std::list<FsSupportedToTypeEntry> m_types;
};
