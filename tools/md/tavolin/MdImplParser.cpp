// Compiler of the implementation section and its macro-file writer.
#include "tools/md/tavolin/MdImplParser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "bo/bf/BfBootFktImpl.h"
#include "MdImplBisonParser.tab.hpp"

const char kMdMacroLineEnd[] = "\n";

namespace {

bool exists(const String& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// One opened macro file; a file the opening made is removed again unless
// it is kept.
struct MacroFile {
    std::FILE* f = nullptr;
    String path;
    bool made = false;

    bool open(const String& p)
    {
        path = p;
        made = !exists(p);
        f = std::fopen(p.c_str(), "ab");
        return f != nullptr;
    }
    bool write(const std::vector<String>& lines)
    {
        bool ok = true;
        for (const String& l : lines) {
            ok = ok && std::fwrite(l.c_str(), 1, size_t(l.length()), f) == size_t(l.length());
            ok = ok && std::fputs(kMdMacroLineEnd, f) >= 0;
        }
        return ok;
    }
    bool close()
    {
        if (!f) return true;
        const bool ok = std::fclose(f) == 0;
        f = nullptr;
        return ok;
    }
    void discard()
    {
        close();
        if (made) ::unlink(path.c_str());
    }
};

}  // namespace

bool mdAppendMacroLines(const String& base, const std::vector<String>& hLines, const std::vector<String>& cLines)
{
    MacroFile h, c;
    if (base.empty() || !h.open(base + ".m4h") || !c.open(base + ".m4c")) {
        h.discard();
        c.discard();
        return false;
    }
    bool ok = h.write(hLines);
    ok = c.write(cLines) && ok;
    ok = h.close() && ok;
    ok = c.close() && ok;
    return ok;
}

void MdImplParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    if (args.sectionMask & 1u) setInput(nullptr);
    m_outputName = args.outputBase;
}

bool MdImplParser::write(const std::vector<String>& hLines, const std::vector<String>& cLines)
{
    if (mdAppendMacroLines(m_outputName, hLines, cLines)) return true;
    mdEmitMessage(MdImplMsgWriteFailed, lineno());
    return false;
}

bool MdImplParser::noIoData()
{
    return write({String("BEGIN_DECLIMPL()"), String("DECL_NO_IO()"), String("END_DECLIMPL()")},
                 {String("NO_IO_IMPL()")});
}

int MdImplParser::yylex()
{
    const int token = MdParserFrame::yylex();
    // The scanner stands at "END_ACT".
    if (token == IMPL_ACT_TEXT && MdImpllval.text) m_textLine = mdTextFirstLine(lineno(), MdImpllval.text);
    return token;
}

bool MdImplParser::ioData(String& text)
{
    // A NUL byte would end the text for whatever reads the macro file: the
    // text is refused at the NUL's line, and nothing is written.
    const char* const chars = text.chars();
    if (const char* nul = mdFirstNul(chars, std::size_t(text.length()))) {
        ++m_errors;
        mdEmitMessage(MdImplMsgNulInText, m_textLine + mdLineFeeds(chars, nul), mdQuotedNul().c_str(),
                      "BEGIN_IO_DATA");
        return true;
    }
    // The text stays as the source has it (the macro package of the output
    // language reads it); m4 would cut it when its quotes do not balance.
    const bool balanced = bfM4QuotesBalance(text);
    // The line is made in the text's own block (the scanner left room
    // behind it), which is moved, not copied, into the lines: a text of
    // megabytes is held once.
    text.prepend("IO_IMPL(`");
    text.cat("')");
    std::vector<String> cLines(2);
    cLines[0] = String("IMPL_IMPL()");
    cLines[1] = std::move(text);
    if (!write({String("BEGIN_DECLIMPL()"), String("DECL_IO()"), String("END_DECLIMPL()")}, cLines)) return false;
    if (!balanced) mdEmitMessage(MdImplMsgM4Quotes, m_textLine, "BEGIN_IO_DATA");
    return true;
}
