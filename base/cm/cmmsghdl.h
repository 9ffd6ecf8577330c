// The message handler: every numbered diagnostic of the system goes through
// it. A reporter passes a key (id, position) and up to nine typed arguments;
// the handler takes the template of the id from its table, applies the
// suppression rules, builds the prefix the output mode asks for, fills the
// arguments in and passes the text with its level to its output.
//
// Output modes (CmMsgLevel.mode):
//   0  level word and number only            "Fehler 123 "
//   1  context name, level word and number   "ctx(7) : Fehler 123 "
//   2  context, level word, number and text  "ctx(7) : Fehler 123 text"
//   3  context and text (number and " :" with showNumber)
//   4  text only (a position still gives "(7) : ")
// Levels: 0 info, 1 warning, 2 error, 3 safety, 4 unclassified (reported and
// counted as an error).
//
// Typical use:
//   CmMessageHandler h(cmBuiltinMsgTable(), nullptr);   // stderr output
//   h.setMsgLevel(CmMsgLevel(2));
//   h.reportMsg(CmMsgKey(101, line), CmMsgArg("header"));
//   h.report(1301, CmMsgArg(int32_t(7)));
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/cm/cmmsgout.h"
#include "base/cm/cmmsgtab.h"
#include "base/cm/cmmsgtypes.h"
#include "co/tvwstring.h"

// One message argument: an integer (type 0, fills "%d", "%i", "%x"), a double
// (type 1, "%f"), a text (type 2, "%s") or none (type 3). A narrow text is
// read as code page 1252 and widened once, on first use; the argument owns
// the wide copy. The narrow characters must outlive the argument.
class CmMsgArg {
public:
    enum Type : uint32_t { Integer = 0, Double = 1, Text = 2, None = 3 };

    CmMsgArg() = default;
    explicit CmMsgArg(const char* narrowText);
    explicit CmMsgArg(int32_t value);
    explicit CmMsgArg(uint32_t value);  // the same 32 bits as an integer argument
    explicit CmMsgArg(double value);
    // A UTF-16 text that must outlive the argument.
    explicit CmMsgArg(const char16_t* wideText);

    CmMsgArg(const CmMsgArg& other);
    CmMsgArg& operator=(const CmMsgArg& other);

    Type type() const { return m_type; }
    // The 8-byte value (an integer in the low word, a double's bits, or 0 for texts).
    uint64_t bits() const { return m_bits; }
    double asDouble() const;
    // The text of a text argument (widened on first use); null otherwise.
    const char16_t* wideText() const;
    bool isNarrow() const { return m_narrow != 0; }

    // The shared empty argument used as default.
    static const CmMsgArg& none();

private:
    uint64_t m_bits = 0;
    Type m_type = None;
    const char* m_narrowText = nullptr;
    const char16_t* m_wideText = nullptr;
    uint32_t m_narrow = 0;
    mutable std::unique_ptr<std::u16string> m_widened;
};

// Parameter record of a runtime message: the id of its template, a number
// the handler does not read and five 8-byte argument values.
struct CmRtMsgRecord {
    uint32_t id = 0;
    uint32_t number = 0;
    uint64_t args[5] = {0, 0, 0, 0, 0};

    // Value of argument n (1-5); 0 for any other n.
    uint64_t arg(uint32_t n) const { return (n >= 1 && n <= 5) ? args[n - 1] : 0; }
};
static_assert(sizeof(CmRtMsgRecord) == 48, "runtime message record is 48 bytes");

// Runtime messages of the business objects. Their templates carry
// placeholders "/n/[%s]%letters%width[$enum$]" and short forms such as
// "/2/%u" instead of the printf-like markers of ordinary messages.
class CmRtMsg {
public:
    virtual ~CmRtMsg();
    virtual CmRtMsgRecord getRecord() const = 0;
};

class CmMessageHandler {
public:
    // table: templates (not owned, may be null). out: the output (not owned;
    // null selects the process-wide standard-error output).
    CmMessageHandler(CmMsgTable* table, CmMsgOut* out);
    virtual ~CmMessageHandler();
    CmMessageHandler(const CmMessageHandler&) = delete;
    CmMessageHandler& operator=(const CmMessageHandler&) = delete;

    // Reports one message. Unknown ids are reported as an internal error.
    void reportMsg(const CmMsgKey& key, const CmMsgArg& a1 = CmMsgArg::none(),
                   const CmMsgArg& a2 = CmMsgArg::none(), const CmMsgArg& a3 = CmMsgArg::none(),
                   const CmMsgArg& a4 = CmMsgArg::none(), const CmMsgArg& a5 = CmMsgArg::none(),
                   const CmMsgArg& a6 = CmMsgArg::none(), const CmMsgArg& a7 = CmMsgArg::none(),
                   const CmMsgArg& a8 = CmMsgArg::none(), const CmMsgArg& a9 = CmMsgArg::none());
    // Reports one message that stands for a run of count equal faults (a
    // run of stray bytes, each an error, reported once past its first
    // hundred): it is suppressed, formatted and sent like any message, and
    // counted count times, here and at the output (CmMsgOut::countMore). A
    // count of 0 is taken as 1.
    void reportMsgRun(const CmMsgKey& key, uint32_t count, const CmMsgArg& a1 = CmMsgArg::none(),
                      const CmMsgArg& a2 = CmMsgArg::none());
    // Counts a message of id that stands for times faults (as reportMsgRun
    // counts it) when its output would hold it back, without making its
    // text or its arguments: true when it was counted so, or is suppressed.
    // False when it is to be reported with its text (reportMsg,
    // reportMsgRun), which then counts it. Past the messages an output
    // shows, a source of stray bytes makes millions of messages: the
    // reporter asks here before it makes their arguments.
    bool countHeldBack(uint32_t id, uint32_t times = 1);
    // Whether every message of id from now on is held back by the output
    // (or suppressed), whatever comes: a reporter may then gather such
    // messages and hand them over at once (countAllHeldBack) instead of
    // asking for each.
    bool holdsBackFromNowOn(uint32_t id);
    // Counts `messages` messages of id, which stand for `times` faults in
    // all, after holdsBackFromNowOn said that they are held back.
    void countAllHeldBack(uint32_t id, uint32_t messages, uint32_t times);
    // Key {id, 0, 0}.
    void report(uint32_t id, const CmMsgArg& a1 = CmMsgArg::none(),
                const CmMsgArg& a2 = CmMsgArg::none(), const CmMsgArg& a3 = CmMsgArg::none(),
                const CmMsgArg& a4 = CmMsgArg::none(), const CmMsgArg& a5 = CmMsgArg::none(),
                const CmMsgArg& a6 = CmMsgArg::none(), const CmMsgArg& a7 = CmMsgArg::none(),
                const CmMsgArg& a8 = CmMsgArg::none(), const CmMsgArg& a9 = CmMsgArg::none());

    // Formats a runtime message into `out` (nothing is sent, nothing counted,
    // no suppression). `mode` is used instead of the handler's own mode.
    // False (with an internal-error text) when the table has no template.
    bool reportRtMsg(WString* out, CmMsgLevel mode, const CmRtMsg* message);

    void setContextName(const WString& name);
    const WString& contextName() const { return m_contextName; }
    void setMsgLevel(const CmMsgLevel& level);
    const CmMsgLevel& msgLevel() const { return m_level; }
    // Returns the previous table; a null argument changes nothing and returns null.
    CmMsgTable* setMsgTable(CmMsgTable* table);
    CmMsgTable* msgTable() const { return m_table; }
    // Null selects the standard-error output.
    void setMsgOut(CmMsgOut* out);
    CmMsgOut* msgOut() const { return m_out; }
    void setShowNumber(bool show) { m_showNumber = show; }
    void setWarningsAsErrors(bool on) { m_warningsAsErrors = on; }

    // Suppression: each of the three id setters first removes the id from
    // the other two lists. Errors and safety messages are never suppressed.
    void suppressMsg(uint32_t id);
    void enableMsg(uint32_t id);
    void promoteMsg(uint32_t id);
    void suppressGroup(uint16_t group);

    // Messages passed out so far, by level (a message of reportMsgRun as
    // many as it stands for).
    uint32_t warningCount() const { return m_warnings; }  // warnings and safety
    uint32_t errorCount() const { return m_errors; }
    uint32_t infoCount() const { return m_infos; }

    // A fixed word of the handler: n + 32700 in the message-text library,
    // then in the own table, then the built-in words (n < 11). helpId and
    // moduleText may be null.
    WString lookupText(uint32_t textId, uint32_t* helpId = nullptr, WString* moduleText = nullptr);

    // The library table used by lookupText (created on first use from the
    // product directory). Tests may install their own; the handler owns it.
    void setTextLibrary(CmBErrResTable* table);

    // Appends " - d.m.y h:m:s,ms" (decimal, no padding).
    struct Time {
        uint16_t year, month, day, hour, minute, second, milliseconds;
    };
    static void appendTimeText(WString& text, const Time& time);

    // Levels 0-3 kept, anything else 4 / anything else 0.
    static uint32_t toMsgLevel(uint32_t level) { return level <= 3 ? level : 4; }
    static uint32_t toHostLevel(uint32_t level) { return level <= 3 ? level : 0; }

protected:
    virtual void reserved();
    // True when the message is not to be output; may raise *level to 2.
    virtual bool isSuppressed(uint32_t id, uint16_t group, uint32_t* level);
    // Fills the printf-like markers of an ordinary message. args holds nine.
    virtual WString formatArgs(const WString& templ, const CmMsgArg* const* args);
    // Fills the placeholders of a runtime message.
    virtual WString formatMsg(const WString& templ, const CmRtMsgRecord& record, bool noSeparator);
    // One placeholder value; see the runtime-message placeholder rules.
    virtual WString formatValue(uint64_t value, uint32_t shift, const WString& letters,
                                uint32_t width, const WString& enumName);
    virtual WString formatEnumValue(const WString& enumName, uint32_t value);

    // "<word> <number> " for a level.
    WString levelPrefix(uint32_t level, uint32_t id);

private:
    // The level words of levelPrefix are looked up again after a table or
    // the text library changed.
    void forgetLevelWords();
    // reportMsg of a message that counts times times.
    void reportCounted(const CmMsgKey& key, uint32_t times, const CmMsgArg* const* args);
    // Counts a message of the level times times (unclassified as an error);
    // the level it is sent with.
    uint32_t count(uint32_t level, uint32_t times);
    // The level and group of id from the table, through m_heldBackId; false
    // when the table has no template for it.
    bool templateLevel(uint32_t id, uint32_t& level, uint16_t& group);
    void output(const WString& text, uint32_t level, uint32_t helpId, const WString& moduleText,
                const CmMsgKey& key);

    CmMsgTable* m_table;
    std::unique_ptr<CmBErrResTable> m_textLibrary;
    bool m_textLibraryTried = false;
    CmMsgLevel m_level;
    CmMsgOut* m_out;
    WString m_contextName;
    uint32_t m_warnings = 0;
    uint32_t m_errors = 0;
    uint32_t m_infos = 0;
    std::list<void*> m_registered1;
    std::list<void*> m_registered2;
    std::vector<uint32_t> m_suppressed;
    std::vector<uint32_t> m_enabled;
    std::vector<uint32_t> m_promoted;
    std::vector<uint16_t> m_suppressedGroups;
    std::u16string m_levelWords[5];  // by level: info, warning, error, safety, other
    // The level and group of the last id countHeldBack looked up in the
    // table (a table lookup makes the template's text), until the table
    // changes.
    struct HeldBackId {
        bool known = false;
        uint32_t id = 0;
        bool found = false;  // the table has a template for it
        uint32_t level = 0;
        uint16_t group = 0;
    } m_heldBackId;
    bool m_levelWordKnown[5] = {};
    bool m_warningsAsErrors = false;
    bool m_showNumber = false;
};

// Handler that owns its table and output: an error-display output on the
// given display, the library table ".\tvmsgtxx.dll" with language variants,
// the mode the display asks for and the given context name.
class CmStdMessageHandler : public CmMessageHandler {
public:
    CmStdMessageHandler(IUnknown* display, const WString& contextName);
    ~CmStdMessageHandler() override;

private:
    std::unique_ptr<CmMsgTable> m_ownTable;
    std::unique_ptr<CmMsgOut> m_ownOut;
};

// The process-wide handler through which the front end, the section compilers
// and the ACX import report. Null while no handler is installed; reporters
// then report nothing.
CmMessageHandler* cmGetMessageHandler();
// Installs `handler` (may be null); returns the previous one.
CmMessageHandler* cmSetMessageHandler(CmMessageHandler* handler);
// Clears the pointer only when it still points at `handler`; true when cleared.
bool cmClearMessageHandler(CmMessageHandler* handler);
