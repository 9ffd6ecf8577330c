// Compiler of the boot-function section ("bootfkt_tmp"): the grammar of
// MdBfBisonParser.ypp over the scanner of MdBfScanner.lpp, with the class
// provider's name classifier for the scanner's identifier check.
//
// What stands here: the scanner and parser operations (yylex, yyerror,
// LexerError, reportError), the lower-case flag and the class-provider step
// of init. The rule actions are the defaults of MdBfBisonParser (they build
// nothing), so parse answers the grammar's result only.
//
// Messages: 0 "Interner Fehler" (no class provider; counted), 501 "Fehler
// im Scanner" (counted), 502 "Fehler im Parser" (counted), 516 a reserved
// word as identifier (a warning; not counted). Each carries the scanner's
// current line.
#pragma once

#include <cstdint>

#include "platform/com.h"
#include "platform/nameclassifier.h"
#include "tools/md/tavolin/MdBfBisonParser.h"
#include "tools/md/tavolin/MdBfScanner.h"
#include "tools/md/tavolin/MdParserFrame.h"

// The name classifier of the class provider, with a reference for the
// caller; null when none can be obtained. registered: create the class
// {3D59C4A3-4795-4F4F-BEF5-AAB9A508356A} as a registered in-process class;
// otherwise load "tvclsprv" (the platform's library naming) from the
// directory of the process's executable and ask its DllGetClassObject for
// the class factory. Reports nothing.
INameClassifier* mdBfObtainClassifier(bool registered);

class MdBfParser : public MdParserFrame<MdBfBisonParser, MdBfScannerFlexLexer> {
public:
    MdBfParser() : MdParserFrame(MdBfMsgBase) {}

    // The stream (MdParserFrame), identifiers lower-cased, and the class
    // provider by args.flag (true: registered).
    void init(const MdCompilerArgs& args) override;
    // Reads in, lower-cases identifiers when lowerCase is set and obtains
    // the class provider (registered: by its registration, else beside the
    // executable). Without one: message 0, one error counted, and the scan
    // runs without the identifier check. The provider is kept until the
    // parser goes.
    void initScanner(std::istream* in, bool registeredProvider, bool lowerCase);

    // Runs the grammar: 0, 1, 2 or 4 (MdBfBisonParser::yyparse).
    int32_t parse() override { return yyparse(); }

    void reportError(uint32_t id, const String* arg1 = nullptr, const String* arg2 = nullptr) override;

protected:
    int32_t currentLine() const override { return lineno(); }

private:
    ComPtr<INameClassifier> m_provider;
};
