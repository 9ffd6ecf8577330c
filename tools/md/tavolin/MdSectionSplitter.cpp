#include "tools/md/tavolin/MdSectionSplitter.h"

#include <istream>

int MdSectionSplitter::split(std::istream& source, MdSectionSink& sink, MdSectionReporter* reporter,
                             uint32_t sectionMask)
{
    m_reporter = reporter;
    m_errors = 0;
    m_eof = false;
    resetResults();
    startScan(&source, &sink, sectionMask);
    int result = yyparse();
    finishScan();
    if (result == 0 && m_errors != 0) result = 3;
    return result;
}

int MdSectionSplitter::yylex(MdSectionValue* value)
{
    const int token = MdSectionScanner::yylex();
    if (token == 0) m_eof = true;
    *value = tokenValue();
    return token;
}

void MdSectionSplitter::yyerror(const char* text)
{
    reportError(MdMsgParseError, text);
}

void MdSectionSplitter::LexerError(const char* text)
{
    reportError(MdMsgUnexpectedChar, std::string("'") + text + "'");
}

void MdSectionSplitter::reportError(uint32_t msgId, const std::string& arg)
{
    ++m_errors;
    std::vector<std::string> args;
    if (!arg.empty()) args.push_back(arg);
    emit(msgId, args);
}

void MdSectionSplitter::emit(uint32_t msgId, const std::vector<std::string>& args)
{
    if (m_reporter) m_reporter->report(msgId, lineNo(), args);
}
