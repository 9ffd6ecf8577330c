// Compiler of the error-text sections.
#include "tools/md/tavolin/MdErrMsgTxtParser.h"

#include <algorithm>
#include <charconv>
#include <string>
#include "MdErrMsgTxtBisonParser.tab.hpp"

namespace {

const char kErrMsg[] = "errmsg";

}  // namespace

void MdErrMsgTxtParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    m_highWater = m_nextStringId;
    // The lines take about the bytes of their items: room for them at once.
    m_lineBytes.reserve(mdBytesLeft(args.stream));
    // The compile goes on without a script; a table then fails at its end.
    if (!m_script.open(m_rcPath)) mdEmitMessage(MdErrMsgTxtMsgScript, messageLine());
}

void MdErrMsgTxtParser::startContainer()
{
    m_container.reset(new CBoErrorMsgCont(String(), 1));
}

int MdErrMsgTxtParser::yylex()
{
    const int token = MdParserFrame::yylex();
    // A string's scanner stands on its closing quote; an item's on its ")",
    // which the scanner reads with the item only on the text's last line.
    const int32_t line = MdErrMsgTxtScannerFlexLexer::lineno();
    if (token == ERRTXT_STRING) noteTextLine(mdTextFirstLine(line, MdErrMsgTxtlval.text));
    if (token == ERRTXT_ITEM && MdErrMsgTxtlval.item) noteTextLine(mdTextFirstLine(line, &MdErrMsgTxtlval.item->text));
    return token;
}

void MdErrMsgTxtParser::sectionStart(bool alarm)
{
    if (alarm) startContainer();
}

void MdErrMsgTxtParser::emptySection(bool alarm)
{
    if (alarm) {
        startContainer();
        m_writeSection = true;
    } else {
        m_bootSection = true;
    }
}

void MdErrMsgTxtParser::item(int32_t number, int32_t severity, int32_t classValue, int32_t third,
                             const String& text)
{
    // The running id is a 32-bit word that wraps, as the counter does (a
    // wrapped one is past the last id); the high-water id only rises.
    int32_t id = 0;
    if (m_container) {
        id = m_nextStringId;
        // Past the last id the container is not written: it takes no more.
        if (!idsRunOut()) m_container->addMsg(uint32_t(number), id);
        m_nextStringId = int32_t(uint32_t(m_nextStringId) + 2u);
        m_highWater = m_nextStringId;
    } else {
        // The first id plus the message number, both the unsigned 32-bit
        // words they are, summed without a wrap: a number of 2^31 or more
        // (a 32-bit alarm id) lies past the last id, not below the first.
        const uint64_t wide = uint64_t(uint32_t(m_nextStringId)) + uint32_t(number);
        id = wide <= kMdRcLastTextId ? int32_t(wide) : -1;
        if (id >= 0) m_highWater = std::max(m_highWater, id + 1);
    }
    // The one message of this compiler with a line: the scanner's, which
    // stands on the item's ")" (the grammar reduces the item without looking
    // ahead), counted in the section's stream as the other compilers count.
    if (!textIdFits(id, MdErrMsgTxtMsgScript, MdErrMsgTxtScannerFlexLexer::lineno())) {
        // The table will not be written: its lines go, and no more are kept.
        m_lines.clear();
        m_lines.shrink_to_fit();
        std::string().swap(m_lineBytes);
        return;
    }
    if (idsRunOut()) return;
    // "<severity> <class> <third> <text>", formatted into the buffer of
    // the section's lines. The numbers are part of the string resource:
    // they count towards its length (a blank ends them, so they and the
    // text's escapes do not meet).
    char prefix[40 * 3];
    char* p = prefix;
    for (int32_t v : {severity, classValue, third}) {
        p = std::to_chars(p, prefix + sizeof prefix, v).ptr;
        *p++ = ' ';
    }
    if (!scriptTextFits(text.chars(), std::size_t(text.length()), {MdErrMsgTxtMsgTooLong, MdErrMsgTxtMsgUndefinedByte},
                        MdErrMsgTxtScannerFlexLexer::lineno(), textLine(), uint64_t(p - prefix))) {
        // The table will not be written; the text is not kept.
        m_textRefused = true;
        return;
    }
    const std::size_t begin = m_lineBytes.size();
    m_lineBytes.append(prefix, std::size_t(p - prefix));
    m_lineBytes.append(text.chars(), std::size_t(text.length()));
    m_lines.push_back(Line{id, begin, m_lineBytes.size() - begin});
}

bool MdErrMsgTxtParser::sectionEnd()
{
    if (m_container)
        m_writeSection = true;
    else
        m_bootSection = true;
    // A table past the last id, or with a text too long, is not written at
    // all (the section fails).
    if (!idsRunOut() && !m_textRefused) {
        m_script.beginTable();
        for (const Line& l : m_lines) m_script.addText(l.id, m_lineBytes.data() + l.begin, l.length);
        m_script.endTable();
    }
    m_lines.clear();
    std::string().swap(m_lineBytes);
    if (m_script.close()) return true;
    m_scriptFailed = true;
    reportError(MdErrMsgTxtMsgScript);
    return false;
}

int32_t MdErrMsgTxtParser::parse()
{
    const int result = yyparse();
    if (m_scriptFailed) return MdErrMsgTxtMsgScript;
    if (result != 0) return result;
    if (m_errors != 0) return 3;
    if (!m_writeSection) return 0;
    if (!m_target || !m_container) return 4;
    FsSecCl* sec = m_target->openSect(kErrMsg, FS_MODE_WRITE);
    if (!sec) return 4;
    const bool ok = m_container->write(*sec);
    const bool closed = m_target->CloseSect(kErrMsg) == 0;
    return ok && closed ? 0 : 4;
}
