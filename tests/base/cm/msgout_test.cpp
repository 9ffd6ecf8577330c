// Message outputs: the host's error display (both interface generations) and
// standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmerrdisplay.h"
#include "base/cm/cmmsghdl.h"
#include "base/cm/cmmsgout.h"
#include "co/TraceApi.h"
#include "platform/text.h"

namespace {

std::string utf8(BSTR b) { return b ? tvp::wideToUtf8(b, SysStringLen(b)) : std::string(); }

struct Shown {
    char iface;  // 'C' current, 'O' older
    std::string text;
    LONG level;
    LONG helpId;
    std::string module;
};

struct ShownExt {
    CmErrorDisplayRecord rec;
    std::string source, text, module;
};

// A host display object that offers the current and/or the older interface.
class FakeDisplay : public IUnknown {
public:
    FakeDisplay(bool current, bool older) : m_offerCurrent(current), m_offerOlder(older)
    {
        m_cur.host = this;
        m_old.host = this;
        m_count.host = this;
        m_more.host = this;
        m_many.host = this;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid == IID_IUnknown) *ppv = static_cast<IUnknown*>(this);
        else if (riid == IID_IErrorDisplayEx && m_offerCurrent) *ppv = &m_cur;
        else if (riid == IID_IErrorDisplay && m_offerOlder) *ppv = &m_old;
        else if (riid == IID_IErrorDisplayCount && showLimit >= 0) *ppv = &m_count;
        else if (riid == IID_IErrorDisplayCountMore && countsMore) *ppv = &m_more;
        else if (riid == IID_IErrorDisplayCountMany && countsMany) *ppv = &m_many;
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    ULONG refs = 1;
    LONG mode = 2, flag = 0, extended = 0;
    HRESULT levelResult = S_OK;
    // With a limit it offers IErrorDisplayCount: messages beyond the limit
    // are counted by host level instead of being shown.
    int showLimit = -1;
    LONG held[4] = {0, 0, 0, 0};
    // It offers IErrorDisplayCountMore: the counts it is given, by host
    // level, of the messages shown and of those held.
    bool countsMore = false;
    LONG moreShown[4] = {0, 0, 0, 0};
    LONG moreHeld[4] = {0, 0, 0, 0};
    bool lastHeld = false;
    // It offers IErrorDisplayCountMany: past its limit it says that it shows
    // no more, and the messages it is given at once, by host level.
    bool countsMany = false;
    LONG heldAtOnce[4] = {0, 0, 0, 0};
    std::vector<Shown> shown;
    std::vector<ShownExt> ext;

private:
    struct Current : IErrorDisplayEx {
        FakeDisplay* host;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override { return host->QueryInterface(r, p); }
        ULONG STDMETHODCALLTYPE AddRef() override { return host->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return host->Release(); }
        HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG level, LONG helpId, BSTR module) override
        {
            host->shown.push_back({'C', utf8(text), level, helpId, utf8(module)});
            host->lastHeld = false;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE ShowMessageExt(CmErrorDisplayRecord r) override
        {
            host->ext.push_back({r, utf8(r.sourceName), utf8(r.text), utf8(r.moduleText)});
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetExtendedOutput(LONG* e) override
        {
            *e = host->extended;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* m, LONG* f) override
        {
            *m = host->mode;
            *f = host->flag;
            return host->levelResult;
        }
    } m_cur;
    struct Older : IErrorDisplay {
        FakeDisplay* host;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override { return host->QueryInterface(r, p); }
        ULONG STDMETHODCALLTYPE AddRef() override { return host->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return host->Release(); }
        HRESULT STDMETHODCALLTYPE ShowMessage(BSTR text, LONG level, LONG helpId, BSTR module) override
        {
            host->shown.push_back({'O', utf8(text), level, helpId, utf8(module)});
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetMsgLevel(LONG* m, LONG* f) override
        {
            *m = host->mode;
            *f = host->flag;
            return host->levelResult;
        }
    } m_old;
    struct Counter : IErrorDisplayCount {
        FakeDisplay* host;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override { return host->QueryInterface(r, p); }
        ULONG STDMETHODCALLTYPE AddRef() override { return host->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return host->Release(); }
        HRESULT STDMETHODCALLTYPE CountMessage(LONG level, LONG* counted) override
        {
            *counted = host->shown.size() >= std::size_t(host->showLimit);
            if (*counted) host->held[level]++;
            host->lastHeld = *counted != 0;
            return S_OK;
        }
    } m_count;
    struct MoreCounter : IErrorDisplayCountMore {
        FakeDisplay* host;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override { return host->QueryInterface(r, p); }
        ULONG STDMETHODCALLTYPE AddRef() override { return host->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return host->Release(); }
        HRESULT STDMETHODCALLTYPE CountMore(LONG level, ULONG count) override
        {
            (host->lastHeld ? host->moreHeld : host->moreShown)[level] += LONG(count);
            return S_OK;
        }
    } m_more;
    struct ManyCounter : IErrorDisplayCountMany {
        FakeDisplay* host;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override { return host->QueryInterface(r, p); }
        ULONG STDMETHODCALLTYPE AddRef() override { return host->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return host->Release(); }
        HRESULT STDMETHODCALLTYPE ShowsNoMore(LONG, LONG* none) override
        {
            *none = host->shown.size() >= std::size_t(host->showLimit);
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE CountMessages(LONG level, ULONG messages) override
        {
            host->held[level] += LONG(messages);
            host->heldAtOnce[level] += LONG(messages);
            host->lastHeld = true;
            return S_OK;
        }
    } m_many;
    bool m_offerCurrent, m_offerOlder;
};

std::vector<std::string> traceMessages(const CTraceCapture& c)
{
    std::vector<std::string> r;
    for (const auto& l : c.lines()) r.push_back(l.message);
    return r;
}

}  // namespace

TEST(ErrorDisplayOut, HostLevelsAndInterfaceChoice)
{
    FakeDisplay both(true, true), older(false, true);
    {
        CmIfErrorDisplayMsgOut out(&both);
        for (uint32_t level = 0; level <= 6; ++level) out.msgOut(WString(u"t"), level, 5, WString(u"m"));
        ASSERT_EQ(both.shown.size(), 7u);
        const LONG expected[7] = {0, 1, 2, 3, 2, 2, 2};
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(both.shown[i].iface, 'C');
            EXPECT_EQ(both.shown[i].level, expected[i]) << i;
        }
        EXPECT_EQ(both.shown[0].helpId, 5);
        EXPECT_EQ(both.shown[0].module, "m");

        out.setErrorDisplay(&older);
        out.msgOut(WString(u"Größe"), 3, 0, WString());
        ASSERT_EQ(older.shown.size(), 1u);
        EXPECT_EQ(older.shown[0].iface, 'O');
        EXPECT_EQ(older.shown[0].text, "Größe");
        EXPECT_EQ(older.shown[0].level, 3);
        // The older interface never receives extended records.
        out.msgOutExt(WString(u"x"), 2, 0, WString(), 10, 101);
        EXPECT_EQ(older.shown.size(), 1u);
        EXPECT_TRUE(older.ext.empty());
    }
    // Every reference taken was given back.
    EXPECT_EQ(both.refs, 1u);
    EXPECT_EQ(older.refs, 1u);
}

TEST(ErrorDisplayOut, ExtendedRecordAndColumnRule)
{
    FakeDisplay d(true, true);
    CmIfErrorDisplayMsgOut out(&d);
    out.setContextWords(1, 2, 3, 4);
    out.setSourceName(WString(u"quelle.txt"));
    out.msgOutExt(WString(u"Text"), 4, 77, WString(u"Modul"), 40, 1301);
    out.setLineStart(30);
    out.msgOutExt(WString(u"Text"), 1, 0, WString(), 40, 514);
    out.msgOutExt(WString(u"Text"), 1, 0, WString(), 0, 514);
    ASSERT_EQ(d.ext.size(), 3u);
    const CmErrorDisplayRecord& r = d.ext[0].rec;
    EXPECT_EQ(r.position, 40);
    EXPECT_EQ(r.msgId, 1301);
    EXPECT_EQ(r.column, 0);  // no line start
    EXPECT_EQ(r.helpId, 77);
    EXPECT_EQ(r.context[0], 1);
    EXPECT_EQ(r.context[3], 4);
    EXPECT_EQ(r.level, 2);
    for (LONG w : r.reserved) EXPECT_EQ(w, 0);
    EXPECT_EQ(d.ext[0].source, "quelle.txt");
    EXPECT_EQ(d.ext[0].text, "Text");
    EXPECT_EQ(d.ext[0].module, "Modul");
    EXPECT_EQ(d.ext[1].rec.column, 11);
    EXPECT_EQ(d.ext[1].rec.level, 1);
    EXPECT_EQ(d.ext[2].rec.column, 0);  // no position
    EXPECT_TRUE(d.shown.empty());

    // A null display clears the context.
    out.setErrorDisplay(nullptr);
    out.setErrorDisplay(&d);
    out.msgOutExt(WString(u"Text"), 1, 0, WString(), 40, 514);
    EXPECT_EQ(d.ext.back().rec.context[0], 0);
    EXPECT_EQ(d.ext.back().rec.column, 0);
    EXPECT_EQ(d.ext.back().source, "");
}

TEST(ErrorDisplayOut, TraceLinesEmptyTextAndNoInterface)
{
    FakeDisplay none(false, false), d(true, false);
    CTraceCapture capture;
    CmIfErrorDisplayMsgOut out(&d);
    out.msgOut(WString(), 2, 0, WString());
    EXPECT_TRUE(d.shown.empty());
    out.msgOut(WString(u"Hallo"), 0, 0, WString());
    out.setErrorDisplay(&none);
    out.msgOut(WString(u"Hallo"), 4, 0, WString());
    out.msgOutExt(WString(u"Hallo"), 3, 0, WString(), 1, 2);
    EXPECT_EQ(d.shown.size(), 1u);
    std::vector<std::string> expected = {
        "MessageOut (Supressed) with empty Text!!",
        "MessageOut Info: Hallo",
        "MessageOut Error:  (Supressed): Hallo",
        "MessageOut Safety:  (Supressed): Hallo",
    };
    EXPECT_EQ(traceMessages(capture), expected);
    EXPECT_EQ(capture.lines()[0].method, "CmIfErrorDisplayMsgOut::msgOut");
    EXPECT_EQ(capture.lines()[3].method, "CmIfErrorDisplayMsgOut::msgOutExt");
    EXPECT_EQ(capture.lines()[0].file, "cmifeout");
}

TEST(ErrorDisplayOut, MessagesADisplayHoldsBackAreCountedUnformatted)
{
    // The display shows two messages and counts the others itself: the
    // handler counts every one, but makes and sends only the texts shown.
    FakeDisplay d(true, false);
    d.showLimit = 2;
    {
        CmIfErrorDisplayMsgOut out(&d);
        CmMessageHandler h(cmBuiltinMsgTable(), &out);
        h.setTextLibrary(nullptr);
        h.setMsgLevel(CmMsgLevel(4));
        for (int i = 0; i < 5; ++i) h.report(201, CmMsgArg("'x'"));
        ASSERT_EQ(d.shown.size(), 2u);
        EXPECT_EQ(d.shown[1].text, "Scanner Fehler, unerwartetes Zeichen 'x'");
        EXPECT_EQ(d.held[2], 3);
        EXPECT_EQ(h.errorCount(), 5u);
        // While the trace takes the text of every message, each is made and sent.
        CTraceCapture capture;
        h.report(201, CmMsgArg("'y'"));
        EXPECT_EQ(d.shown.size(), 3u);
        EXPECT_EQ(d.held[2], 3);
        EXPECT_EQ(h.errorCount(), 6u);
    }
    EXPECT_EQ(d.refs, 1u);
}

TEST(ErrorDisplayOut, AMessageForARunCountsAsTheWholeRun)
{
    // A message that stands for a run of faults is made and sent once (or
    // held back once) and counted as all of them, by the handler and by a
    // display that counts more; one without that interface counts it once.
    for (const bool countsMore : {true, false}) {
        FakeDisplay d(true, false);
        d.showLimit = 1;
        d.countsMore = countsMore;
        {
            CmIfErrorDisplayMsgOut out(&d);
            CmMessageHandler h(cmBuiltinMsgTable(), &out);
            h.setTextLibrary(nullptr);
            h.setMsgLevel(CmMsgLevel(4));
            h.reportMsgRun(CmMsgKey(201, 3), 5, CmMsgArg("'xxxxx'"));
            h.reportMsgRun(CmMsgKey(201, 4), 50, CmMsgArg("'y'"));
            h.reportMsgRun(CmMsgKey(201, 5), 0, CmMsgArg("'z'"));  // as one
            h.reportMsgRun(CmMsgKey(999, 6), 7);                   // unknown: an internal error
            ASSERT_EQ(d.shown.size(), 2u);
            EXPECT_EQ(d.shown[0].text, "(3) : Scanner Fehler, unerwartetes Zeichen 'xxxxx'");
            EXPECT_EQ(d.shown[0].level, 2);
            EXPECT_EQ(d.shown[1].text, ": Interner Fehler 999");
            EXPECT_EQ(d.held[2], 2);
            EXPECT_EQ(h.errorCount(), 5u + 50u + 1u + 7u);
            const LONG shownMore = countsMore ? 4 : 0, heldMore = countsMore ? 49 : 0, unknownMore = countsMore ? 6 : 0;
            EXPECT_EQ(d.moreShown[2], shownMore + unknownMore);  // the unknown id is never held back
            EXPECT_EQ(d.moreHeld[2], heldMore);
        }
        EXPECT_EQ(d.refs, 1u);
    }
}

TEST(ErrorDisplayOut, MessagesPastTheLimitAreCountedTogether)
{
    // Once a display that counts many at once shows no more, every message
    // from then on may be gathered and handed over together: counted by the
    // handler as faults and by the display as messages, none made or sent.
    // Not before its limit, not for a display without the interface, not
    // while the trace takes every text, not for an id the table lacks.
    for (const bool countsMany : {true, false}) {
        FakeDisplay d(true, false);
        d.showLimit = 2;
        d.countsMany = countsMany;
        d.countsMore = true;
        {
            CmIfErrorDisplayMsgOut out(&d);
            CmMessageHandler h(cmBuiltinMsgTable(), &out);
            h.setTextLibrary(nullptr);
            h.setMsgLevel(CmMsgLevel(4));
            EXPECT_FALSE(h.holdsBackFromNowOn(201));
            h.report(201, CmMsgArg("'x'"));
            EXPECT_FALSE(h.holdsBackFromNowOn(201));
            h.report(202, CmMsgArg("parse error"));
            EXPECT_EQ(h.holdsBackFromNowOn(201), countsMany);
            EXPECT_FALSE(h.holdsBackFromNowOn(999));
            {
                CTraceCapture capture;
                EXPECT_FALSE(h.holdsBackFromNowOn(201));
            }
            if (countsMany) {
                h.countAllHeldBack(201, 1000, 1000);
                h.countAllHeldBack(201, 2, 30);  // two messages, one of a run
                EXPECT_EQ(d.heldAtOnce[2], 1002);
                EXPECT_EQ(d.held[2], 1002);
                EXPECT_EQ(d.moreHeld[2], 28);
                EXPECT_EQ(h.errorCount(), 2u + 1030u);
            }
            EXPECT_EQ(d.shown.size(), 2u);
        }
        EXPECT_EQ(d.refs, 1u);
    }
}

TEST(ErrorDisplayOut, MsgLevelFromHost)
{
    FakeDisplay cur(true, true), old(false, true), none(false, false);
    CmIfErrorDisplayMsgOut out(&cur);
    CmMsgLevel level;
    bool hostFlag = true;
    const uint32_t mapped[6] = {0, 1, 2, 4, 3, 0};
    for (LONG m = 0; m < 6; ++m) {
        cur.mode = m;
        EXPECT_TRUE(out.getMsgLevel(&level, &hostFlag, false));
        EXPECT_EQ(level.mode, mapped[m]) << m;
    }
    EXPECT_FALSE(hostFlag);
    cur.flag = 5;
    cur.extended = 1;
    EXPECT_TRUE(out.getMsgLevel(&level, &hostFlag, true));
    EXPECT_TRUE(hostFlag);
    EXPECT_EQ(level.flags, 1u);
    EXPECT_TRUE(out.getMsgLevel(&level, &hostFlag, false));
    EXPECT_EQ(level.flags, 0u);

    old.mode = 3;
    old.extended = 1;
    out.setErrorDisplay(&old);
    EXPECT_TRUE(out.getMsgLevel(&level, nullptr, true));
    EXPECT_EQ(level.mode, 4u);
    EXPECT_EQ(level.flags, 0u);  // only the current interface knows extended output
    old.levelResult = E_FAIL;
    EXPECT_FALSE(out.getMsgLevel(&level, nullptr, true));

    out.setErrorDisplay(&none);
    EXPECT_FALSE(out.getMsgLevel(&level, nullptr, true));
    EXPECT_EQ(level.mode, 3u);
}

TEST(ErrorDisplayOut, StandardHandlerTakesModeFromDisplay)
{
    FakeDisplay d(true, false);
    d.mode = 3;  // host 3 -> text only
    CmStdMessageHandler h(&d, WString(u"ctx"));
    h.setMsgTable(cmBuiltinMsgTable());
    h.setTextLibrary(nullptr);
    EXPECT_EQ(h.msgLevel().mode, 4u);
    EXPECT_EQ(h.contextName().u16string(), u"ctx");
    h.report(102);
    ASSERT_EQ(d.shown.size(), 1u);
    EXPECT_EQ(d.shown[0].text, "Falscher ObjektTyp");
    EXPECT_EQ(d.shown[0].level, 2);
}

TEST(StdErrOut, WritesUtf8Lines)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    CmMsgOut_StdErr out(f);
    CmMessageHandler h(cmBuiltinMsgTable(), &out);
    h.setTextLibrary(nullptr);
    h.setMsgLevel(CmMsgLevel(2));
    h.reportMsg(CmMsgKey(100, 4), CmMsgArg("a.txt"));
    h.setMsgLevel(CmMsgLevel(2, 1));
    h.reportMsg(CmMsgKey(403, 4), CmMsgArg("L\xE4nge")  /* narrow texts are code page 1252 */);
    std::rewind(f);
    std::string got;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) got.append(buf, n);
    std::fclose(f);
    EXPECT_EQ(got,
              "(4) : Fehler 100 File a.txt konnte nicht ge\xC3\xB6" "ffnet werden\n"
              "Extended Error 403: L\xC3\xA4nge beschreibt keine physikalische Gr\xC3\xB6\xC3\x9F" "e\n");
}
