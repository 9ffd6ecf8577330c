// Message outputs: where the handler's finished texts go.
//
//  - CmIfErrorDisplayMsgOut: the host's error display (see cmerrdisplay.h);
//    also tells the handler which output mode the host wants.
//  - CmMsgOut_StdErr: standard error, UTF-8, one line per message.
//
// Levels handed to an output: 0 info, 1 warning, 2 error, 3 safety. The host
// display receives 0, 1 and 3 as they are and 2 for every other level.
#pragma once
#include <cstdint>
#include <cstdio>

#include "base/cm/cmmsgtypes.h"
#include "co/tvwstring.h"
#include "platform/com.h"

struct IErrorDisplayCount;
struct IErrorDisplayCountMany;

class CmMsgOut {
public:
    virtual ~CmMsgOut();
    virtual void msgOut(const WString& text, uint32_t level, uint32_t helpId,
                        const WString& moduleText) = 0;
    virtual void msgOutExt(const WString& text, uint32_t level, uint32_t helpId,
                           const WString& moduleText, uint32_t position, uint32_t msgId) = 0;
    // Asked before a message of the level is formatted: true when the output
    // would not show it and has counted it (the text is then not made); false
    // when the message is to be sent (the default).
    virtual bool countWithoutText(uint32_t level);
    // Called right after a message of the level was sent (msgOut,
    // msgOutExt) or counted (countWithoutText) when it stands for count
    // more of its kind (a run of equal faults reported once): the output
    // counts them with it, if it counts at all, and shows nothing. The
    // default does nothing.
    virtual void countMore(uint32_t level, uint32_t count);
    // Whether the output will show no further message of the level,
    // whatever comes (a limit of its own is reached): a reporter may then
    // gather such messages and hand them over at once (countHeld). False
    // (the default) when it is to be asked message by message.
    virtual bool showsNoMore(uint32_t level);
    // Counts messages of the level held back, after showsNoMore said so, as
    // countWithoutText would count each. The default does nothing.
    virtual void countHeld(uint32_t level, uint32_t messages);
};

// Host level code of a handler level.
uint32_t cmHostLevel(uint32_t level);
// Handler output mode of a host display mode (0-4 -> 0, 1, 2, 4, 3; else 0).
uint32_t cmModeFromHost(int32_t hostMode);

class CmIfErrorDisplayMsgOut : public CmMsgOut {
public:
    explicit CmIfErrorDisplayMsgOut(IUnknown* display = nullptr);
    ~CmIfErrorDisplayMsgOut() override;
    CmIfErrorDisplayMsgOut(const CmIfErrorDisplayMsgOut&) = delete;
    CmIfErrorDisplayMsgOut& operator=(const CmIfErrorDisplayMsgOut&) = delete;

    // Replaces the display (reference counted); null also clears the context
    // words, the line start and the source name.
    void setErrorDisplay(IUnknown* display);
    IUnknown* errorDisplay() const { return m_display; }

    // Asks the display for its output mode. out->mode gets the mapped mode;
    // out->flags is 0, or 1 when askExtended and the current interface
    // answers GetExtendedOutput with a non-zero value. hostFlag (may be null)
    // gets the host's flag != 0. True when an interface answered with success.
    bool getMsgLevel(CmMsgLevel* out, bool* hostFlag, bool askExtended);

    // Message to the current interface, else the older one; an empty text is
    // only traced. Without any interface the message is only traced.
    void msgOut(const WString& text, uint32_t level, uint32_t helpId,
                const WString& moduleText) override;
    // Extended record; only the current interface receives it.
    void msgOutExt(const WString& text, uint32_t level, uint32_t helpId, const WString& moduleText,
                   uint32_t position, uint32_t msgId) override;
    // Through the display's IErrorDisplayCount when it has one; false while
    // the trace takes every message's text (level 1).
    bool countWithoutText(uint32_t level) override;
    // Through the display's IErrorDisplayCountMore when it has one.
    void countMore(uint32_t level, uint32_t count) override;
    // Through the display's IErrorDisplayCountMany when it has one; false
    // while the trace takes every message's text.
    bool showsNoMore(uint32_t level) override;
    void countHeld(uint32_t level, uint32_t messages) override;

    // Carried into extended records as they are.
    void setContextWords(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3);
    void setLineStart(uint32_t lineStart) { m_lineStart = lineStart; }
    void setSourceName(const WString& name);

private:
    void clearContext();
    // Asks the display once for its counting interfaces.
    void askCounters();

    IUnknown* m_display = nullptr;
    // The display's IErrorDisplayCount, asked for once per display (every
    // message past those shown is counted through it); null when it has none.
    IErrorDisplayCount* m_counter = nullptr;
    IErrorDisplayCountMany* m_manyCounter = nullptr;  // the same for its IErrorDisplayCountMany
    bool m_counterAsked = false;
    uint32_t m_context[4] = {0, 0, 0, 0};
    uint32_t m_lineStart = 0;
    std::u16string m_sourceName;
};

class CmMsgOut_StdErr : public CmMsgOut {
public:
    // Writes to `stream` (standard error by default).
    explicit CmMsgOut_StdErr(std::FILE* stream = nullptr) : m_stream(stream) {}

    // The text and a line end; level, help id and module text are not written.
    void msgOut(const WString& text, uint32_t level, uint32_t helpId,
                const WString& moduleText) override;
    // "Extended Error <id>: " in front of the text.
    void msgOutExt(const WString& text, uint32_t level, uint32_t helpId, const WString& moduleText,
                   uint32_t position, uint32_t msgId) override;

    // The process-wide instance, the handler's default output.
    static CmMsgOut_StdErr& instance();

private:
    std::FILE* m_stream;
};
