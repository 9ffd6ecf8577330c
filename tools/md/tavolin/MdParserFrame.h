// The frame every section compiler is built in: a generated parser class, a
// generated scanner class and the members and operations that all wrappers
// share. A compiler of a section kind is
//
//   class MdKindParser : public MdParserFrame<MdKindBisonParser, MdKindScannerFlexLexer>
//
// with its grammar in MdKindBisonParser.ypp, its scanner in MdKindScanner.lpp
// (one tv_grammar line in CMakeLists.txt generates both), its model and its
// compile operation. The frame gives:
//
// - yylex: the scanner's next token for the parser; token 0 (end of input)
//   sets the end-of-input flag.
// - yyerror(text): message base + 2 with the text; one error counted. The
//   parser passes "parse error" and "parser stack overflow".
// - LexerError(text): message base + 1 with the text between single quotes
//   (a long one cut, mdTokenArg); one error counted; the scanner goes on with the next character. After
//   a fatal error of the scanner (YY_FATAL_ERROR, MdScannerSupport.h) it
//   does not go on: the message is reported once, the scanner's buffer is
//   dropped, and the parser gets a token that no grammar takes (then the end
//   of input); its complaint is not reported, so the compile fails (result
//   1) with that one message.
// - reportError(id, text): any message of the kind, counted the same way.
// - textIdFits(id, ...): whether a text may take a resource-string id; the
//   first one past the last id is reported and counted.
// - scriptTextFits(text, ...): whether a text fits one string resource;
//   each longer one is reported and counted, each that reads back with a
//   byte code page 1252 leaves undefined gets a warning.
// - init: the scanner reads the given stream (none: an empty input); the
//   descriptor, the resource-script path and the first string id are kept.
//
// Messages carry the scanner's current line as their position (line 1 for a
// kind that says so, MdMessagesCarryLine). Without a process-wide message
// handler nothing is reported, but errors are still counted and results stay
// the same.
//
// Between the parser and the scanner stand the kind's model classes, when
// it has any (Models...): the compiler is its own model, built after the
// parser and before the scanner, each model from one constructor argument.
//
// The parser class has the two virtual operations the generated parser
// calls, `virtual int yylex() = 0;` and `virtual void yyerror(const char*) = 0;`
// (from MdBisonParserBase); the scanner class is the flex
// class of the kind (FlexLexer), whose yylex and LexerError the frame
// overrides.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <istream>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/fs/FsDsc.h"
#include "co/tvstring.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdScannerSupport.h"
#include "tools/md/tavolin/MdSectionCompiler.h"
#include "tools/md/tavolin/MdStatusCodes.h"
#include "tools/md/tavolin/MdStepCause.h"

// Emits message id through the process-wide message handler: the position
// word is line, the first argument is arg as a narrow text when given, the
// second arg2 when both are given (arg2 without arg is ignored), the others
// are empty; each argument cut when it is long (mdTokenArg: the arguments
// are the source's tokens and names). Nothing happens when no handler is
// installed.
void mdEmitMessage(uint32_t id, int32_t line, const char* arg = nullptr, const char* arg2 = nullptr);
// The same for one message that stands for count errors of its kind (a run
// of stray bytes reported once): the handler counts it count times
// (CmMessageHandler::reportMsgRun).
void mdEmitMessages(uint32_t id, int32_t line, uint32_t count, const char* arg = nullptr,
                    const char* arg2 = nullptr);
// The same with one argument made already (a token quoted and cut by
// mdTokenArg), which goes as it is: cut again, a quoted token of 1 023 or
// 1 024 bytes would pass the limit by its quotes.
void mdEmitMadeMessage(uint32_t id, int32_t line, uint32_t count, const std::string& arg);
// Asked before a message's arguments are made: true when the process-wide
// handler has counted the message of id (standing for count errors)
// without them, as its output would not show it, or when no handler is
// installed (nothing is reported then). Past the messages shown, a stray
// byte costs its count alone.
bool mdMessageHeldBack(uint32_t id, uint32_t count = 1);
// Whether every message of id from now on is held back by the process-wide
// handler's output (CmMessageHandler::holdsBackFromNowOn), or no handler is
// installed; such messages may be gathered and handed over at once, by
// mdCountAllHeldBack (messages of one error each).
bool mdMessagesHeldBackFromNowOn(uint32_t id);
void mdCountAllHeldBack(uint32_t id, uint32_t messages);

// The messages of a compile that runs twice over one section (the
// boot-function compiler's two passes), each said once:
//
//   MdOnceSaid once;
//   { MdOnceSaid::Scope s(once, MdOnceSaid::Hear); firstRun(); }
//   { MdOnceSaid::Scope s(once, MdOnceSaid::Say); secondRun(); }
//   if (once.anyLeft()) { MdOnceSaid::Scope s(once, MdOnceSaid::SayLeft); firstRun(); }
//
// While a scope lives, the emitters above see every message with its
// arguments (none is held back before they are made) and:
// - Hear: take it in by what it says (id, line, count and arguments, A-Z
//   read as a-z: the first pass reads names in lower case) and report
//   nothing, neither to the output nor to the counts;
// - Say: report it, and cross off one heard message that says the same;
// - SayLeft: report it only when a heard message that says the same is
//   left, crossing that off; the run is the heard one again, so what is
//   reported is what the first run alone said, each once.
// Each heard message costs 8 bytes (its digest) until the object goes.
// With no handler installed nothing is heard or said. One scope at a time.
class MdOnceSaid {
public:
    enum Mode { Hear, Say, SayLeft };
    class Scope {
    public:
        Scope(MdOnceSaid& once, Mode mode);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };
    MdOnceSaid() = default;
    MdOnceSaid(const MdOnceSaid&) = delete;
    MdOnceSaid& operator=(const MdOnceSaid&) = delete;

    // Whether a heard message was not said again.
    bool anyLeft() const;
    // For the emitters: whether the message is to be reported now.
    bool pass(uint32_t id, int32_t line, uint32_t count, const std::string* arg, const std::string* arg2);

private:
    static uint64_t digest(uint32_t id, int32_t line, uint32_t count, const std::string* arg,
                           const std::string* arg2);
    // Crosses off one heard message of digest d; false when none is left.
    bool takeLeft(uint64_t d);
    Mode m_mode = Hear;
    std::vector<uint64_t> m_heard;  // while hearing
    // The heard messages' digests, sorted, each with how many of it are not
    // crossed off (made when hearing ends).
    std::vector<std::pair<uint64_t, uint32_t>> m_left;
};

// Rewrites the section `name` of the descriptor from empty with what write
// puts into it: 0, or 4 when there is no descriptor, or the section is
// missing or cannot be emptied or written, closeFailure when only its close
// failed. A section brought along from the host's storage may be longer
// than the new content, hence the emptying.
int32_t mdRewriteSection(FsDsc* dsc, const char* name, const std::function<void(FsSecCl&)>& write,
                         int32_t closeFailure = 4);

// Reads in past the "\r\n" pairs at its current position; their count. The
// stream stands on the first byte that begins no such pair (a lone '\r'
// stays unread).
std::size_t mdSkipLeadingLineEnds(std::istream& in);

// Whether the messages of a kind carry its scanner's line; those of a kind
// that says no stand at line 1, padding or not (its scanner may still count
// lines for a message that the kind places itself).
template <class Scanner>
struct MdMessagesCarryLine : std::true_type {};

template <class Parser, class Scanner, class... Models>
class MdParserFrame : public Parser, public Models..., public Scanner, public MdSectionCompiler {
public:
    // msgBase: the first id of the kind's block of 100 messages; then one
    // constructor argument per model.
    template <class... ModelArgs>
    explicit MdParserFrame(uint32_t msgBase, ModelArgs&&... modelArgs)
        : Models(std::forward<ModelArgs>(modelArgs))..., m_msgBase(msgBase)
    {
        Scanner::switch_streams(&m_noInput, nullptr);
    }
    MdParserFrame(const MdParserFrame&) = delete;
    MdParserFrame& operator=(const MdParserFrame&) = delete;

    using Scanner::yylex;
    int yylex() override
    {
        const int token = m_scanStopped ? 0 : mdScanOrStop([this] { return Scanner::yylex(); }, [this] {
            m_scanStopped = true;
            Scanner::switch_streams(&m_noInput, nullptr);
        });
        if (token == 0) m_eof = 1;
        return token;
    }
    void yyerror(const char* text) override
    {
        if (m_scanStopped) return;
        reportError(m_msgBase + 2, text);
    }
    void LexerError(const char* text) override
    {
        ++m_errors;
        if (mdMessageHeldBack(m_msgBase + 1)) return;
        mdEmitMadeMessage(m_msgBase + 1, messageLine(), 1, mdLexerArg(text));
    }

    void init(const MdCompilerArgs& args) override
    {
        setInput(args.stream);
        m_target = args.descriptor;
        m_rcPath = args.rcPath;
        m_nextStringId = args.firstStringId;
    }
    int32_t errorCount() const override { return m_errors; }
    int32_t nextStringId() const override { return m_nextStringId; }
    bool atEnd() const { return m_eof != 0; }

protected:
    // The compile of a kind that writes one section: the grammar's result
    // when it stops, 3 when errors were counted, else the section rewritten
    // (mdRewriteSection).
    template <class Write>
    int32_t compileInto(const char* section, Write write)
    {
        const int result = Parser::yyparse();
        if (result != 0) return result;
        if (m_errors != 0) return 3;
        return mdRewriteSection(m_target, section, write);
    }

    // The scanner reads in from its current position; null: an empty input.
    // The line ends the split put in front of the first section are read
    // past here rather than token by token (megabytes of them in a stream
    // whose section comes late in a large source); the scanner counts them
    // as the lines they are.
    void setInput(std::istream* in)
    {
        const std::size_t padding = in ? mdSkipLeadingLineEnds(*in) : 0;
        m_scanStopped = false;
        Scanner::switch_streams(in ? in : &m_noInput, nullptr);
        Scanner::yylineno += int(padding);
    }
    // The line of a message of the kind: the scanner's current line, or 1.
    int32_t messageLine() const { return MdMessagesCarryLine<Scanner>::value ? Scanner::lineno() : 1; }
    // Emits id at messageLine() and counts one error.
    void reportError(uint32_t id, const char* arg = nullptr)
    {
        ++m_errors;
        mdEmitMessage(id, messageLine(), arg);
    }
    // A scanner's run of count stray bytes from `line` on (held past its
    // first bytes, MdStrayRun): message base + 1 with the quoted arg, which
    // counts count errors.
    void reportStrayRun(const std::string& arg, int32_t line, uint32_t count)
    {
        m_errors += int32_t(count);
        mdEmitMadeMessage(m_msgBase + 1, MdMessagesCarryLine<Scanner>::value ? line : 1, count, arg);
    }
    // Whether a text of the section may take the resource-string id `id`
    // (mdRcTextIdFits): a resource compiler takes no id past 16 bits, so a
    // section whose texts would run past the last id fails. The first text
    // of the compile that does not fit is reported as msgId at `line`, with
    // arg as its argument, and counted as an error; later ones are only
    // refused, so that a section far past the limit gives one message.
    bool textIdFits(int32_t id, uint32_t msgId, int32_t line, const char* arg = nullptr)
    {
        if (mdRcTextIdFits(id)) return true;
        if (!m_idsRunOut) {
            m_idsRunOut = true;
            ++m_errors;
            mdEmitMessage(msgId, line, arg);
            // The message names no limit: the host says it.
            mdNoteStepCause(MdCauseTextIds);
        }
        return false;
    }
    bool idsRunOut() const { return m_idsRunOut; }
    // The lines the last two texts of the resource script began on (back 0
    // the last, 1 the one before), noted by the parser as its tokens come:
    // a text's warnings name the line of their byte (scriptTextFits).
    void noteTextLine(int32_t line)
    {
        m_textLines[1] = m_textLines[0];
        m_textLines[0] = line;
    }
    int32_t textLine(int back = 0) const { return m_textLines[back]; }
    // Whether a text of the section fits one string resource: the
    // characters a resource compiler stores for it (mdRcStoredChars) and
    // for prefix, the bytes the line carries in front of it, at most
    // kMdRcMostTextChars. A longer one would be written and read back as
    // an empty text: it is reported as msg.tooLong ("Text ist zu lang: %s
    // Zeichen, höchstens 65535") at `line` with its length, and counted, so
    // that the section fails; the caller keeps no copy of it. A text that
    // fits but reads back with a byte code page 1252 leaves undefined
    // (mdRcReadBack) is written as it is, and gets the warning
    // msg.undefinedByte naming the byte ("0x81") at the line that holds it,
    // counted from textLine, the line the text begins on: a resource
    // compiler may drop or cut it. The prefix holds no such byte. A text
    // with UTF-8 sequences (MdRcReadBack::utf8) notes MdCauseUtf8Texts for
    // the host, which tells how to convert the source.
    struct ScriptTextMessages {
        uint32_t tooLong;
        uint32_t undefinedByte;
    };
    bool scriptTextFits(const char* text, std::size_t length, ScriptTextMessages msg, int32_t line,
                        int32_t textLine, uint64_t prefix = 0)
    {
        const MdRcReadBack read = mdRcReadBack(text, length);
        if (read.utf8) mdNoteStepCause(MdCauseUtf8Texts);
        const uint64_t chars = prefix + read.chars;
        if (!mdRcTextLengthFits(chars)) {
            ++m_errors;
            mdEmitMessage(msg.tooLong, line, std::to_string(chars).c_str());
            return false;
        }
        if (read.undefinedByte != 0) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", unsigned(read.undefinedByte));
            // Line feeds count lines, as the scanners count them.
            const int32_t at = textLine + mdLineFeeds(text, text + read.undefinedAt);
            mdEmitMessage(msg.undefinedByte, at, byte);
        }
        return true;
    }

    const uint32_t m_msgBase;
    int32_t m_errors = 0;          // errors of scanner, parser and actions
    int32_t m_eof = 0;             // the scanner has returned token 0
    bool m_scanStopped = false;    // a fatal error stopped the scanner
    FsDsc* m_target = nullptr;     // output descriptor (not owned; may be null)
    String m_rcPath;               // resource script of the kind's string tables
    int32_t m_nextStringId = 0;    // id of the next text of the section
    bool m_idsRunOut = false;      // a text did not fit below the last id
    int32_t m_textLines[2] = {1, 1};  // noteTextLine

private:
    std::istringstream m_noInput;
};
