// The error display the tavolin command hands to the pre-compiler: it prints
// the messages on standard error, one line each, up to a limit, and counts
// every one (those past the limit without their text being made: it
// answers IErrorDisplayCount), a message that stands for a run of faults as
// all of them (IErrorDisplayCountMore); it asks for the output mode in which the message handler writes
// context, position, level word, number and the text with its arguments.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/cm/cmerrdisplay.h"
#include "platform/com.h"

class HostErrorDisplay final : public IErrorDisplayEx {
public:
    // Host output mode 2: context name, position, level word, number, text.
    static constexpr LONG kOutputMode = 2;

    // out null: messages are counted but not printed. At most limit
    // messages are printed (0: every one).
    explicit HostErrorDisplay(std::FILE* out, uint32_t limit = 0)
        : m_out(out), m_limit(limit), m_counter(*this), m_moreCounter(*this), m_manyCounter(*this)
    {
    }
    HostErrorDisplay(const HostErrorDisplay&) = delete;
    HostErrorDisplay& operator=(const HostErrorDisplay&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    // The display lives on the stack of the command; the counts only guard
    // against a release too many.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs > 1 ? --m_refs : 1; }

    HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG level, LONG helpId, BSTR moduleText) override;
    HRESULT STDMETHODCALLTYPE ShowMessageExt(CmErrorDisplayRecord record) override;
    HRESULT STDMETHODCALLTYPE GetExtendedOutput(LONG* extended) override;
    HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* mode, LONG* flag) override;
    // Counts the message when it would not be printed (the limit is
    // reached, or nothing is printed): IErrorDisplayCount.
    HRESULT countMessage(LONG level, LONG* counted);
    // Counts count more of the level with the message last received or
    // counted, shown or held back as it was: IErrorDisplayCountMore.
    HRESULT countMore(LONG level, ULONG count);
    // Whether no further message will be printed, whatever comes (the limit
    // is reached); counts messages held back so: IErrorDisplayCountMany.
    HRESULT showsNoMore(LONG level, LONG* none);
    HRESULT countMessages(LONG level, ULONG messages);

    // Messages received by host level (0 info, 1 warning, 2 error, 3
    // safety), each as many as it stands for.
    uint32_t count(LONG level) const { return level >= 0 && level < 4 ? m_counts[level] : 0; }
    uint32_t errors() const { return m_counts[2] + m_counts[3]; }
    // Prints "… and N more messages (counts by severity)" when messages
    // were held back by the limit: N messages, which stand for the counts.
    void printHeldBack() const;
    // A message of the ACX reader (1300 fatal, 1301 error, 1302 warning)
    // and the reader's code it carries.
    struct AcxNote {
        uint32_t message;
        int32_t code;
    };
    // The ACX reader's messages received (not those held back by the limit,
    // whose text is never made), each message and code once, in the order
    // they came.
    const std::vector<AcxNote>& acxNotes() const { return m_acxNotes; }
    // Where the messages go from now on (null: counted only).
    void setOutput(std::FILE* out) { m_out = out; }
    // A message that begins with the name read (the path the pre-compiler
    // was given as its source) shows the name shown in its place.
    void showSourceAs(const std::string& read, const std::string& shown)
    {
        m_sourceRead = read;
        m_sourceShown = shown;
    }

private:
    // An interface of the display beside IErrorDisplayEx, whose IUnknown is
    // the display's.
    template <class Interface>
    struct Part : Interface {
        explicit Part(HostErrorDisplay& d) : display(d) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
        {
            return display.QueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return display.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return display.Release(); }
        HostErrorDisplay& display;
    };
    // The display's IErrorDisplayCount, which shares its counts.
    struct Counter final : Part<IErrorDisplayCount> {
        using Part::Part;
        HRESULT STDMETHODCALLTYPE CountMessage(LONG level, LONG* counted) override
        {
            return display.countMessage(level, counted);
        }
    };
    // The display's IErrorDisplayCountMore.
    struct MoreCounter final : Part<IErrorDisplayCountMore> {
        using Part::Part;
        HRESULT STDMETHODCALLTYPE CountMore(LONG level, ULONG count) override { return display.countMore(level, count); }
    };
    // The display's IErrorDisplayCountMany.
    struct ManyCounter final : Part<IErrorDisplayCountMany> {
        using Part::Part;
        HRESULT STDMETHODCALLTYPE ShowsNoMore(LONG level, LONG* none) override { return display.showsNoMore(level, none); }
        HRESULT STDMETHODCALLTYPE CountMessages(LONG level, ULONG messages) override
        {
            return display.countMessages(level, messages);
        }
    };

    void show(BSTR text, LONG level);
    void noteAcx(const std::string& line);
    // The count a message of the level goes to: an unknown level is an error's.
    static int slotOf(LONG level) { return level >= 0 && level < 4 ? int(level) : 2; }
    bool printsMore() const { return m_out && !(m_limit && m_shownAll >= m_limit); }

    std::FILE* m_out;
    uint32_t m_limit;
    ULONG m_refs = 1;
    uint32_t m_counts[4] = {0, 0, 0, 0};  // what the messages stand for
    uint32_t m_shown[4] = {0, 0, 0, 0};   // what the shown ones stand for
    uint64_t m_received = 0;              // messages
    uint32_t m_shownAll = 0;              // messages shown
    bool m_lastShown = false;             // the last message received was shown
    Counter m_counter;
    MoreCounter m_moreCounter;
    ManyCounter m_manyCounter;
    std::string m_sourceRead, m_sourceShown;
    std::vector<AcxNote> m_acxNotes;
};
