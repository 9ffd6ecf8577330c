// The message handler's output texts, levels and counters, golden per mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmformat.h"
#include "base/cm/cmmsghdl.h"
#include "platform/memory_watch.h"
#include "platform/text.h"

namespace {

std::string utf8(const WString& w) { return tvp::wideToUtf8(std::u16string(w.units(), w.length())); }

struct Sent {
    std::string text;
    uint32_t level;
    uint32_t helpId;
    bool ext;
    uint32_t position;
    uint32_t id;
};

class CaptureOut : public CmMsgOut {
public:
    void msgOut(const WString& text, uint32_t level, uint32_t helpId, const WString&) override
    {
        sent.push_back({utf8(text), level, helpId, false, 0, 0});
    }
    void msgOutExt(const WString& text, uint32_t level, uint32_t helpId, const WString&,
                   uint32_t position, uint32_t msgId) override
    {
        sent.push_back({utf8(text), level, helpId, true, position, msgId});
    }
    std::string last() const { return sent.empty() ? "<nothing>" : sent.back().text; }
    std::vector<Sent> sent;
};

// A handler over the built-in table whose fixed words are the built-in ones
// (no message-text library, whatever the machine has installed).
struct Fixture {
    CaptureOut out;
    CmMessageHandler h;
    explicit Fixture(CmMsgTable* table = cmBuiltinMsgTable()) : h(table, &out)
    {
        h.setTextLibrary(nullptr);
        h.setContextName(WString(u"quelle.txt"));
    }
    std::string send(uint32_t mode, uint32_t id, uint32_t pos, const CmMsgArg& a1 = CmMsgArg::none(),
                     const CmMsgArg& a2 = CmMsgArg::none())
    {
        h.setMsgLevel(CmMsgLevel(mode));
        size_t before = out.sent.size();
        h.reportMsg(CmMsgKey(id, pos), a1, a2);
        return out.sent.size() == before ? "<nothing>" : out.last();
    }
};

const CmMsgTableEntry kTestEntries[] = {
    {1, 0, 0, u"Hinweis %s"},
    {2, 1, 7, u"Warnung in Gruppe 7"},
    {3, 3, 0, u"Achtung %d"},
    {4, 9, 0, u"Stufe neun"},
    {5, 2, 0, u"%d und %d"},
    {6, 2, 0, u"%s: %d"},
    {7, 2, 0, u"%f|%x|%i"},
    {514, 2, 0, u"als Fehler"},
};

}  // namespace

TEST(MessageHandler, GoldenTextPerMode)
{
    Fixture f;
    CmMsgArg arg("header");
    EXPECT_EQ(f.send(0, 101, 12, arg), "(12) : Fehler 101 ");
    EXPECT_EQ(f.send(0, 101, 0, arg), "Fehler 101 ");
    EXPECT_EQ(f.send(1, 101, 12, arg), "quelle.txt(12) : Fehler 101 ");
    EXPECT_EQ(f.send(1, 101, 0, arg), "quelle.txt: Fehler 101 ");
    EXPECT_EQ(f.send(2, 101, 12, arg), "quelle.txt(12) : Fehler 101 Sektion header konnte nicht geöffnet werden");
    EXPECT_EQ(f.send(3, 101, 12, arg), "quelle.txt(12) : Sektion header konnte nicht geöffnet werden");
    f.h.setShowNumber(true);
    EXPECT_EQ(f.send(3, 101, 0, arg), "quelle.txt: 101 :Sektion header konnte nicht geöffnet werden");
    EXPECT_EQ(f.send(4, 101, 12, arg), "(12) : Sektion header konnte nicht geöffnet werden");
    EXPECT_EQ(f.send(4, 101, 0, arg), "Sektion header konnte nicht geöffnet werden");
    EXPECT_EQ(f.send(2, 514, 3, CmMsgArg("B")), "quelle.txt(3) : Warnung 514 Implementierung wird zu B verschoben");
    EXPECT_EQ(f.out.sent.back().level, 1u);
    EXPECT_EQ(f.out.sent.back().helpId, 0xFFFFFFFFu);

    // Without a context name nothing stands in front of the position.
    f.h.setContextName(WString());
    EXPECT_EQ(f.send(2, 102, 0), "Fehler 102 Falscher ObjektTyp");
    EXPECT_EQ(f.send(1, 102, 5), "(5) : Fehler 102 ");

    // ACX error codes fill the integer marker.
    EXPECT_EQ(f.send(2, 1301, 0, CmMsgArg(int32_t(7))), "Fehler 1301 ACX Error 7");
    EXPECT_EQ(f.send(2, 1302, 0, CmMsgArg(int32_t(-3))), "Warnung 1302 ACX Warning -3");
    EXPECT_EQ(f.send(4, 1300, 0, CmMsgArg(0xFFFFFFF4u)), "ACX Fatal Error -12");
    f.h.report(1301, CmMsgArg(int32_t(7)));
    EXPECT_EQ(f.out.last(), "ACX Error 7");
}

TEST(MessageHandler, UnknownIdsAndLevels)
{
    Fixture f;
    EXPECT_EQ(f.send(2, 105, 9), "quelle.txt: Interner Fehler 105");
    EXPECT_EQ(f.out.sent.back().level, 2u);
    EXPECT_EQ(f.send(0, 105, 0), ": Interner Fehler 105");
    EXPECT_EQ(f.send(4, 0x12345, 0), ": Interner Fehler 0x12345");
    EXPECT_EQ(f.h.errorCount(), 3u);

    CmMemoryMsgTable table(kTestEntries, sizeof kTestEntries / sizeof kTestEntries[0]);
    Fixture t(&table);
    EXPECT_EQ(t.send(2, 1, 0, CmMsgArg("x")), "quelle.txt: Info 1 Hinweis x");
    EXPECT_EQ(t.out.sent.back().level, 0u);
    EXPECT_EQ(t.send(2, 3, 0, CmMsgArg(int32_t(1))), "quelle.txt: Sicherheitsrelevanter Fehler 3 Achtung 1");
    EXPECT_EQ(t.out.sent.back().level, 3u);
    // A level above 4 reads "unknown" and is sent and counted as an error.
    EXPECT_EQ(t.send(2, 4, 0), "quelle.txt: Unbekannte Meldung 4 Stufe neun");
    EXPECT_EQ(t.out.sent.back().level, 2u);
    EXPECT_EQ(t.h.infoCount(), 1u);
    EXPECT_EQ(t.h.warningCount(), 1u);
    EXPECT_EQ(t.h.errorCount(), 1u);
}

TEST(MessageHandler, ArgumentMismatches)
{
    CmMemoryMsgTable table(kTestEntries, sizeof kTestEntries / sizeof kTestEntries[0]);
    Fixture f(&table);
    const CmMsgArg n7(int32_t(7)), n8(int32_t(8)), txt("a%db");
    EXPECT_EQ(f.send(4, 5, 0, n7), "7 und %d Msg-Parameterfehler");
    EXPECT_EQ(f.send(4, 5, 0, n7, n8), "7 und 8");
    Fixture b;
    EXPECT_EQ(b.send(4, 102, 0, n7), "Falscher ObjektTyp Msg-Parameterfehler");
    EXPECT_EQ(b.send(4, 101, 0), "Sektion %s konnte nicht geöffnet werden Msg-Parameterfehler");
    // A text marker given a number stays; a number marker given a text is filled with 0.
    EXPECT_EQ(b.send(4, 101, 0, n7), "Sektion %s konnte nicht geöffnet werden Msg-Parameterfehler");
    EXPECT_EQ(f.send(4, 5, 0, txt, n8), "0 und %d Msg-Parameterfehler");
    // Markers inside inserted text are not markers.
    EXPECT_EQ(f.send(4, 6, 0, txt, n7), "a%db: 7");
    EXPECT_EQ(f.send(4, 6, 0, CmMsgArg(u"w%s"), n7), "w%s: 7");
    // %f, %x and %i.
    f.h.setMsgLevel(CmMsgLevel(4));
    f.h.reportMsg(CmMsgKey(7), CmMsgArg(100.0), CmMsgArg(int32_t(255)), CmMsgArg(int32_t(-1)));
    EXPECT_EQ(f.out.last(), "100.|0xff|-1");
    f.h.reportMsg(CmMsgKey(7), CmMsgArg(0.1), CmMsgArg(int32_t(0)), CmMsgArg(int32_t(2)));
    EXPECT_EQ(f.out.last(), "0.10000000000000001|0x0|2");
    EXPECT_EQ(f.send(4, 7, 0, CmMsgArg(int32_t(1))), "4.9406564584124654e-324|%x|%i Msg-Parameterfehler");
}

TEST(MessageHandler, SuppressionAndPromotion)
{
    Fixture f;
    f.h.suppressMsg(514);
    EXPECT_EQ(f.send(2, 514, 0, CmMsgArg("B")), "<nothing>");
    EXPECT_EQ(f.h.warningCount(), 0u);
    // Errors are never suppressed.
    f.h.suppressMsg(101);
    EXPECT_EQ(f.send(4, 101, 0, CmMsgArg("s")), "Sektion s konnte nicht geöffnet werden");
    // The same id with level 2 in another table is output.
    CmMemoryMsgTable table(kTestEntries, sizeof kTestEntries / sizeof kTestEntries[0]);
    f.h.setMsgTable(&table);
    EXPECT_EQ(f.send(2, 514, 0), "quelle.txt: Fehler 514 als Fehler");
    f.h.setMsgTable(cmBuiltinMsgTable());

    f.h.promoteMsg(514);  // leaves the suppressed list
    EXPECT_EQ(f.send(2, 514, 0, CmMsgArg("B")), "quelle.txt: Fehler 514 Implementierung wird zu B verschoben");
    EXPECT_EQ(f.out.sent.back().level, 2u);
    f.h.enableMsg(514);  // leaves the promoted list
    EXPECT_EQ(f.send(2, 514, 0, CmMsgArg("B")), "quelle.txt: Warnung 514 Implementierung wird zu B verschoben");
    f.h.setWarningsAsErrors(true);
    EXPECT_EQ(f.send(0, 514, 0), "Fehler 514 ");
    f.h.setWarningsAsErrors(false);

    // Group suppression, lifted per id by enableMsg.
    f.h.setMsgTable(&table);
    f.h.suppressGroup(7);
    f.h.suppressGroup(7);
    EXPECT_EQ(f.send(0, 2, 0), "<nothing>");
    f.h.enableMsg(2);
    EXPECT_EQ(f.send(0, 2, 0), "Warnung 2 ");
}

TEST(MessageHandler, ExtendedOutputPassesPositionApart)
{
    Fixture f;
    f.h.setMsgLevel(CmMsgLevel(2, 1));
    f.h.reportMsg(CmMsgKey(101, 33), CmMsgArg("s"));
    ASSERT_EQ(f.out.sent.size(), 1u);
    EXPECT_TRUE(f.out.sent[0].ext);
    EXPECT_EQ(f.out.sent[0].text, "Sektion s konnte nicht geöffnet werden");
    EXPECT_EQ(f.out.sent[0].position, 33u);
    EXPECT_EQ(f.out.sent[0].id, 101u);
    f.h.setMsgLevel(CmMsgLevel(1, 1));
    f.h.reportMsg(CmMsgKey(101, 33), CmMsgArg("s"));
    EXPECT_EQ(f.out.last(), "quelle.txt(33) : Fehler 101 ");
}

TEST(MessageHandler, FixedWordsFromTextLibrary)
{
    char tmpl[] = "/tmp/tv_cmwords_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    {
        std::ofstream rc(dir + "/tvmsgtxa.rc", std::ios::binary);
        rc << "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   32703   \"2 0 0 Error\"\r\nEND\r\n";
    }
    CmBErrResTable::setSkipModuleInfo(true);
    Fixture f;
    f.h.setTextLibrary(new CmBErrResTable(".\\tvmsgtxa.dll", "", false, dir));
    EXPECT_EQ(f.send(0, 102, 0), "Error 102 ");
    EXPECT_EQ(f.send(0, 514, 0), "Warnung 514 ");  // not in the library: built-in word
    std::system(("rm -rf '" + dir + "'").c_str());

    // The words are looked up again when the library or the table changes.
    f.h.setTextLibrary(nullptr);
    EXPECT_EQ(f.send(0, 102, 0), "Fehler 102 ");
    static const CmMsgTableEntry withWord[] = {{102, 2, 0, u"x"}, {32703, 2, 0, u"Err"}};
    CmMemoryMsgTable table(withWord, 2);
    f.h.setMsgTable(&table);
    EXPECT_EQ(f.send(0, 102, 0), "Err 102 ");
    f.h.setMsgTable(cmBuiltinMsgTable());
    EXPECT_EQ(f.send(0, 102, 0), "Fehler 102 ");
}

namespace {

class RtMsg : public CmRtMsg {
public:
    explicit RtMsg(uint32_t id, uint64_t a1 = 0, uint64_t a2 = 0, uint64_t a3 = 0, uint64_t a4 = 0,
                   uint64_t a5 = 0)
    {
        r.id = id;
        r.number = 99;
        r.args[0] = a1;
        r.args[1] = a2;
        r.args[2] = a3;
        r.args[3] = a4;
        r.args[4] = a5;
    }
    CmRtMsgRecord getRecord() const override { return r; }
    CmRtMsgRecord r;
};

uint64_t bitsOf(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

const CmMsgTableEntry kRtEntries[] = {
    {1, 2, 0, u"Wert /1/%1%x%16 und /2/%y%8"},
    {2, 1, 0, u"/1/%e%16$Modus$ /2/%b%8 /3/%d%8 /4/%u%12 /5/%q%8"},
    {3, 2, 0, u"/1/%d /2/%u /3/%X /4/%lf /5/%s 100%% /1/%d"},
    {4, 2, 0, u"/1/%e%8$A$ und $B$ /2/%s%8 /3/%i%16 /1/%3%x%8 /9/%x%8"},
    {5, 2, 0, u"/1/%f /2/%f%32 /3/%s"},
};
const CmMsgTableEntry kRtTexts[] = {{42, 0, 0, u"Text 42"}};

}  // namespace

TEST(MessageHandler, RuntimeMessagePlaceholders)
{
    CmMemoryMsgTable table(kRtEntries, sizeof kRtEntries / sizeof kRtEntries[0], kRtTexts, 1);
    Fixture f(&table);
    f.h.setContextName(WString());
    auto text = [&f](const RtMsg& m) {
        WString out;
        EXPECT_TRUE(f.h.reportRtMsg(&out, CmMsgLevel(4), &m));
        return utf8(out);
    };

    EXPECT_EQ(text(RtMsg(1, 0x12345678, 5)), "Wert 3456 hex und 101");
    EXPECT_EQ(text(RtMsg(1, 0xABCDEF01, 0xFF)), "Wert CDEF hex und 1111_1111");
    EXPECT_EQ(text(RtMsg(2, 3, 0x1FF, 0xFF, 0x12345, 1)), "Modus:3 (bitfield 255) -1 74565 ");
    EXPECT_EQ(text(RtMsg(3, uint32_t(-5), 4000000000u, 0x1F2A3B, bitsOf(2.5), 42)),
              "-5 4000000000 1f_2a3b 2.5 Text 42 100% /1/%d");
    EXPECT_EQ(text(RtMsg(3, 0, 0, 0, 0, 43)), "0 0 0 0. Msg-Parameterfehler 100% /1/%d");
    // The enumeration name ends at the next dollar sign.
    EXPECT_EQ(text(RtMsg(4, 0x1234, 0x1FF, 0x18000)), "A:52 und $B$ 255 32768 0 hex /9/%x%8");

    float fl = 1.5f;
    uint32_t flBits;
    std::memcpy(&flBits, &fl, 4);
    EXPECT_EQ(text(RtMsg(5, flBits, flBits, 7)), "1.5 1.5 Msg-Parameterfehler");
}

TEST(MessageHandler, RuntimeMessagePrefixes)
{
    CmMemoryMsgTable table(kRtEntries, sizeof kRtEntries / sizeof kRtEntries[0]);
    Fixture f(&table);
    WString out(u"old");
    RtMsg m(1, 0x12345678, 5);
    EXPECT_TRUE(f.h.reportRtMsg(&out, CmMsgLevel(0), &m));
    EXPECT_EQ(utf8(out), "Fehler 1 ");
    EXPECT_TRUE(f.h.reportRtMsg(&out, CmMsgLevel(1), &m));
    EXPECT_EQ(utf8(out), "quelle.txt: Fehler 1 ");
    EXPECT_TRUE(f.h.reportRtMsg(&out, CmMsgLevel(2), &m));
    EXPECT_EQ(utf8(out), "quelle.txt: Fehler 1 : Wert 3456 hex und 101");
    EXPECT_TRUE(f.h.reportRtMsg(&out, CmMsgLevel(3), &m));
    EXPECT_EQ(utf8(out), "quelle.txt: : Wert 3456 hex und 101");
    EXPECT_TRUE(f.h.reportRtMsg(&out, CmMsgLevel(4), &m));
    EXPECT_EQ(utf8(out), "quelle.txt: Wert 3456 hex und 101");

    RtMsg unknown(77);
    EXPECT_FALSE(f.h.reportRtMsg(&out, CmMsgLevel(2), &unknown));
    EXPECT_EQ(utf8(out), "quelle.txt: Interner Fehler 77");
    // Nothing was sent or counted.
    EXPECT_TRUE(f.out.sent.empty());
    EXPECT_EQ(f.h.errorCount(), 0u);
}

TEST(MessageHandler, ProcessWidePointer)
{
    CaptureOut out;
    CmMessageHandler a(cmBuiltinMsgTable(), &out), b(cmBuiltinMsgTable(), &out);
    CmMessageHandler* before = cmSetMessageHandler(&a);
    EXPECT_EQ(cmGetMessageHandler(), &a);
    EXPECT_EQ(cmSetMessageHandler(&b), &a);
    EXPECT_FALSE(cmClearMessageHandler(&a));  // a second object replaced it
    EXPECT_EQ(cmGetMessageHandler(), &b);
    EXPECT_TRUE(cmClearMessageHandler(&b));
    EXPECT_EQ(cmGetMessageHandler(), nullptr);
    cmSetMessageHandler(before);
}

TEST(MessageHandler, SetMsgTableAndOut)
{
    CaptureOut out;
    CmMessageHandler h(nullptr, &out);
    h.setTextLibrary(nullptr);
    h.report(101, CmMsgArg("x"));
    EXPECT_EQ(out.last(), ": Interner Fehler 101");  // no table: every id is unknown
    EXPECT_EQ(h.setMsgTable(nullptr), nullptr);
    EXPECT_EQ(h.setMsgTable(cmBuiltinMsgTable()), nullptr);
    EXPECT_EQ(h.setMsgTable(nullptr), nullptr);
    EXPECT_EQ(h.msgTable(), cmBuiltinMsgTable());
    h.setMsgOut(nullptr);
    EXPECT_EQ(h.msgOut(), &CmMsgOut_StdErr::instance());

    WString t(u"x");
    CmMessageHandler::appendTimeText(t, {2024, 3, 7, 9, 5, 0, 42});
    EXPECT_EQ(utf8(t), "x - 7.3.2024 9:5:0,42");
}

TEST(NumberTexts, GcvtAndGrouping)
{
    EXPECT_EQ(cm::gcvt(100.0, 20), "100.");
    EXPECT_EQ(cm::gcvt(0.5, 20), "0.5");
    EXPECT_EQ(cm::gcvt(0.0, 8), "0.");
    EXPECT_EQ(cm::gcvt(-1234567890.123, 12), "-1234567890.12");
    EXPECT_EQ(cm::gcvt(-123456789012.3, 12), "-123456789012.");
    EXPECT_EQ(cm::gcvt(-1234567890123.0, 12), "-1.23456789012e+012");
    EXPECT_EQ(cm::gcvt(-0.123456789012, 12), "-0.123456789012");
    EXPECT_EQ(cm::gcvt(-0.0123456789012, 12), "-1.23456789012e-002");
    EXPECT_EQ(cm::gcvt(1e20, 8), "1.e+020");
    EXPECT_EQ(cm::gcvt(1.0 / 3.0, 20), "0.33333333333333331");
    EXPECT_EQ(cm::groupFours(u"1F2A3B"), u"1F_2A3B");
    EXPECT_EQ(cm::groupFours(u"1234"), u"1234");
    EXPECT_EQ(cm::groupFours(u"12345678"), u"1234_5678");
    EXPECT_EQ(cm::numberText(0xFFFF), u"65535");
    EXPECT_EQ(cm::numberText(0x10000), u"0x10000");
}

TEST(NumberTexts, IntegerFormsAtTheirExtremes)
{
    EXPECT_EQ(cm::decimal(0), u"0");
    EXPECT_EQ(cm::decimal(0xFFFFFFFFu), u"4294967295");
    EXPECT_EQ(cm::decimalSigned(INT32_MIN), u"-2147483648");
    EXPECT_EQ(cm::decimalSigned(-1), u"-1");
    EXPECT_EQ(cm::hexLower(0xABCDEF01u), u"abcdef01");
    EXPECT_EQ(cm::hexUpper(0xABCDEF01u), u"ABCDEF01");
    EXPECT_EQ(cm::hexUpper(0), u"0");
    EXPECT_EQ(cm::binary(0), u"0");
    EXPECT_EQ(cm::binary(0x80000005u), u"10000000000000000000000000000101");
}

// Once memory ran out in a method, what the compilers say next comes of
// that, not of the source: no message is shown or counted, by either road
// (with its text, or counted past the shown ones). Before and after the
// method the handler is as it was.
TEST(MessageHandler, SilentOnceMemoryRanOut)
{
    Fixture f;
    {
        tvp::MemoryWatch watch;
        EXPECT_NE(f.send(4, 0, 12), "<nothing>");
        tvp::noteMemoryRanOut();
        EXPECT_EQ(f.send(4, 0, 13), "<nothing>");
        EXPECT_EQ(f.send(4, 302, 14, CmMsgArg("parse error")), "<nothing>");
        EXPECT_TRUE(f.h.countHeldBack(302, 3));
        EXPECT_EQ(f.h.errorCount(), 1u);
    }
    EXPECT_NE(f.send(4, 0, 15), "<nothing>");
    EXPECT_EQ(f.h.errorCount(), 2u);
}
