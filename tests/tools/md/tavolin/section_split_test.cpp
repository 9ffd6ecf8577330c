// Splitting description sources into their temporary section streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <type_traits>

#include "tools/md/tavolin/MdScannerSupport.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

struct Split {
    explicit Split(const std::string& source, uint32_t mask = 0, MdStringSectionSink* preset = nullptr)
    {
        if (preset) sink = *preset;
        std::istringstream in(source);
        result = splitter.split(in, sink, &messages, mask);
    }
    const std::string& stream(const char* name) const { return sink.stream(name); }
    const MdSectionHeader& head() const { return splitter.header(); }

    MdStringSectionSink sink;
    MdCollectingReporter messages;
    MdSectionSplitter splitter;
    int result = -1;
};

const char* const kHeader =
    "TO_HEADER\n"
    "  TOTYPE := {0B77C3C0-79ED-11D5-ae65-0040C7998E91}, 3.65535;\n"
    "  PROXY := {00000001-0002-0003-0405-060708090A0B}, 1.0;\n"
    "  DATE := DT#2004-03-01-12:00:00;\n"
    "  COMMENT := \"Achse \\\"linear\\\"\";\n"
    "END_TO_HEADER\n";

TEST(SectionSplit, HeaderFillsKindTypeIdsAndTexts)
{
    Split s(kHeader);
    EXPECT_EQ(s.result, 0);
    EXPECT_TRUE(s.messages.records.empty());
    const MdSectionHeader& h = s.head();
    EXPECT_EQ(h.kind, 1);
    EXPECT_EQ(h.typeId1.guid.Data1, 0x0B77C3C0u);
    EXPECT_EQ(h.typeId1.guid.Data2, 0x79ED);
    EXPECT_EQ(h.typeId1.guid.Data3, 0x11D5);
    const uint8_t d4[8] = {0xAE, 0x65, 0x00, 0x40, 0xC7, 0x99, 0x8E, 0x91};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(h.typeId1.guid.Data4[i], d4[i]) << i;
    EXPECT_EQ(h.typeId1.version, 3);
    EXPECT_EQ(h.typeId1.second, 65535);  // the largest word
    EXPECT_EQ(h.typeId3.guid.Data1, 1u);
    EXPECT_EQ(h.typeId3.guid.Data4[7], 0x0B);
    EXPECT_EQ(h.typeId3.version, 1);
    EXPECT_EQ(h.text1, "2004-03-01-12:00:00");
    EXPECT_EQ(h.text2, "Achse \"linear\"");
    for (int i = 0; i < MdTmpCount; ++i) EXPECT_EQ(s.sink.stream(i), "") << mdTmpStreamName(i);
}

TEST(SectionSplit, EachHeaderKeywordGivesItsKind)
{
    const struct { const char* begin; const char* end; const char* type; int kind; } cases[] = {
        {"TO_HEADER", "END_TO_HEADER", "TOTYPE", 1},
        {"DV_TO_HEADER", "END_DV_TO_HEADER", "DV_TOTYPE", 2},
        {"TP_HEADER", "END_TP_HEADER", "TPTYPE", 4},
        {"DV_TP_HEADER", "END_DV_TP_HEADER", "DV_TPTYPE", 5},
    };
    for (const auto& c : cases) {
        // Optional lines left out, comments and odd spacing between tokens.
        std::string src = std::string(c.begin) + " (* kind\n *) " + c.type +
                          ":={00000000-0000-0000-0000-000000000000},0.0;DATE:=DT#x y\r\n;" + c.end;
        Split s(src);
        EXPECT_EQ(s.result, 0) << c.begin;
        EXPECT_EQ(s.head().kind, c.kind);
        EXPECT_EQ(s.head().text1, "x y");
        EXPECT_EQ(s.head().text2, "");
    }
    // Any type keyword goes with any header; the end keyword must match.
    EXPECT_EQ(Split("TP_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.1; DATE := DT#d; "
                    "END_TP_HEADER").head().kind, 4);
    Split mismatch("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.1; DATE := DT#d; "
                   "END_TP_HEADER");
    EXPECT_EQ(mismatch.head().kind, -1);
    EXPECT_EQ(mismatch.messages.count(MdMsgParseError), 1u);
}

TEST(SectionSplit, HeaderLinesOutOfOrderAreSyntaxErrors)
{
    Split s("TO_HEADER\n"
            "TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0;\n"
            "COMMENT := \"c\";\n"
            "DATE := DT#2004;\n"
            "END_TO_HEADER\n");
    ASSERT_EQ(s.messages.records.size(), 1u);
    EXPECT_EQ(s.messages.records[0].id, MdMsgParseError);
    EXPECT_EQ(s.messages.records[0].args, std::vector<std::string>{"parse error"});
    EXPECT_EQ(s.messages.records[0].line, 3);
    EXPECT_EQ(s.result, 3);
    EXPECT_EQ(s.splitter.errorCount(), 1);
    EXPECT_EQ(s.head().kind, -1);

    // A missing date line, a missing type line.
    EXPECT_EQ(Split("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; END_TO_HEADER")
                  .messages.count(MdMsgParseError), 1u);
    EXPECT_EQ(Split("TO_HEADER DATE := DT#1; END_TO_HEADER").messages.count(MdMsgParseError), 1u);
}

TEST(SectionSplit, SectionsThatMustStandTogether)
{
    // Neither half of a pair stands alone, and the system functions only
    // directly after the system variables.
    const char* const broken[] = {
        "BITFIELDS\n$1[16#1] 0 1 \"b\"\nEND_BITFIELDS\n",
        "BITFIELDTYPES\nEND_BITFIELDTYPES\n",
        "BITFIELDTYPES END_BITFIELDTYPES VALUES END_VALUES BITFIELDS END_BITFIELDS",
        "BOOT_FUNCTIONS END_BOOT_FUNCTIONS",
        "BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL",
        "IMPLEMENTATION END_IMPLEMENTATION",
        "CONFIGS END_CONFIGS IMPLEMENTATION END_IMPLEMENTATION",
        "CONFIGS",                 // input ends inside the section
        "",                        // an empty source
        "(* only a comment *)",
    };
    for (const char* src : broken) {
        Split s(src);
        EXPECT_EQ(s.messages.count(MdMsgParseError), 1u) << src;
        EXPECT_NE(s.result, 0) << src;
    }
    const char* const fine[] = {
        "BITFIELDTYPES END_BITFIELDTYPES BITFIELDS END_BITFIELDS",
        "BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS END_BOOT_FUNCTIONS",
        "@DESCRIPTION @END_DESCRIPTION IMPLEMENTATION END_IMPLEMENTATION",
        "@DESCRIPTION @END_DESCRIPTION",
    };
    for (const char* src : fine) {
        Split s(src);
        EXPECT_EQ(s.result, 0) << src;
        EXPECT_TRUE(s.messages.records.empty()) << src;
    }
}

TEST(SectionSplit, OpenCommentOrSectionAtTheEndIsAnError)
{
    // Either would drop the rest of the source: message 202 on the last
    // line, an error result, and the sections before it are kept.
    const char* const sources[] = {
        "VALUES\nv\nEND_VALUES\n(* open\nINTERFACE\ni END_INTERFACE\n",
        "VALUES\nv\nEND_VALUES\nINTERFACE\ni\n\n",
    };
    for (const char* src : sources) {
        Split s(src);
        ASSERT_EQ(s.messages.records.size(), 1u) << src;
        EXPECT_EQ(s.messages.records[0].id, MdMsgParseError);
        EXPECT_EQ(s.messages.records[0].line, 7) << src;
        EXPECT_NE(s.result, 0);
        EXPECT_EQ(s.stream("var_tmp"), "VALUES \r\nv\r\nEND_VALUES\r\n");
    }
}

TEST(SectionSplit, RecoversAfterASyntaxErrorAndCopiesLaterSections)
{
    Split s("BITFIELDS\nb\nEND_BITFIELDS\nINTERFACE\nCONNECTION\nEND_INTERFACE\n");
    EXPECT_EQ(s.result, 3);
    EXPECT_EQ(s.messages.count(MdMsgParseError), 1u);
    EXPECT_EQ(s.stream("con_tmp"), "\r\n\r\n\r\nINTERFACE \r\nCONNECTION\r\nEND_INTERFACE\r\n");
    // The misplaced section's body was still copied.
    EXPECT_EQ(s.stream("var_tmp"), "BITFIELDS \r\nb\r\nEND_BITFIELDS\r\n");
}

TEST(SectionSplit, SecondSectionIsReportedAndBothBodiesAreCopied)
{
    Split s("CONFIGS\n"
            "  1 \"Standard\"\n"
            "END_CONFIGS\n"
            "\n"
            "CONFIGS\n"
            "  2 \"Zweite\"\n"
            "END_CONFIGS\n");
    EXPECT_EQ(s.result, 3);
    ASSERT_EQ(s.messages.records.size(), 1u);
    EXPECT_EQ(s.messages.records[0].id, MdMsgSectionRepeated);
    EXPECT_EQ(s.messages.records[0].args, std::vector<std::string>{"2"});
    EXPECT_EQ(s.splitter.occurrences(MdSectionBisonParser::GroupConfigs), 2u);
    EXPECT_EQ(s.stream("var_tmp"),
              "CONFIGS \r\n"
              "  1 \"Standard\"\r\n"
              "END_CONFIGS\r\n"
              "\r\n"
              "CONFIGS \r\n"
              "  2 \"Zweite\"\r\n"
              "END_CONFIGS\r\n");

    Split third("VALUES END_VALUES VALUES END_VALUES VALUES END_VALUES");
    ASSERT_EQ(third.messages.records.size(), 2u);
    EXPECT_EQ(third.messages.records[1].args, std::vector<std::string>{"3"});
    EXPECT_EQ(third.splitter.errorCount(), 2);
}

TEST(SectionSplit, SecondSystemVariableSectionAlsoBreaksTheFunctionOrder)
{
    Split s("@DESCRIPTION a @END_DESCRIPTION IMPLEMENTATION b END_IMPLEMENTATION\n"
            "@DESCRIPTION c @END_DESCRIPTION\n");
    EXPECT_EQ(s.result, 3);
    ASSERT_EQ(s.messages.records.size(), 2u);
    EXPECT_EQ(s.messages.records[0].id, MdMsgSectionRepeated);
    EXPECT_EQ(s.messages.records[1].id, MdMsgSysFktOrder);
    EXPECT_TRUE(s.messages.records[1].args.empty());
    EXPECT_EQ(s.splitter.errorCount(), 2);
    // A second header is a repeated item too.
    std::string twice = std::string(kHeader) + kHeader;
    Split h(twice);
    EXPECT_EQ(h.messages.count(MdMsgSectionRepeated), 1u);
    EXPECT_EQ(h.head().kind, 1);
}

TEST(SectionSplit, MaskedSectionKeepsOnlyItsKeywords)
{
    const std::string src =
        "CONFIGS\n"
        "  1 \"Standard\"\n"
        "  DEFAULT(1)\n"
        "END_CONFIGS\n"
        "RESOLVE\n"
        "  MAXID := 4;\n"
        "END_RESOLVE\n";
    Split s(src, 0x2);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.stream("var_tmp"),
              "CONFIGS END_CONFIGS\r\n"
              "\r\n"
              "\r\n"
              "\r\n"
              "RESOLVE \r\n"
              "  MAXID := 4;\r\n"
              "END_RESOLVE\r\n");

    // Each bit drops its own group of sections only.
    Split all(src, 0x2 | 0x4);
    EXPECT_EQ(all.stream("var_tmp"), "CONFIGS END_CONFIGS\r\nRESOLVE END_RESOLVE\r\n");
    Split other(src, 0x8 | 0x10 | 0x20 | 0x40);
    EXPECT_EQ(other.stream("var_tmp"), Split(src).stream("var_tmp"));
}

TEST(SectionSplit, EveryBodyLineEndBecomesOneCrLf)
{
    Split crlf("VARCOMMENT\r\n$1[16#1] : \"a\";\r\n\r\nEND_VARCOMMENT\r\n");
    EXPECT_EQ(crlf.stream("comment_tmp"), "VARCOMMENT \r\n$1[16#1] : \"a\";\r\n\r\nEND_VARCOMMENT\r\n");
    // Stray carriage returns inside a body are dropped.
    Split cr("VARCOMMENT\r\r\nx\ry\nEND_VARCOMMENT");
    EXPECT_EQ(cr.stream("comment_tmp"), "VARCOMMENT \r\nxy\r\nEND_VARCOMMENT\r\n");
}

TEST(SectionSplit, SectionsWithoutSkipBitStartWithoutBlank)
{
    Split first("SUPPORTED_TO_TYPES\nAxis := {00000000-0000-0000-0000-000000000001}, 1.0;\n"
                "END_SUPPORTED_TO_TYPES");
    EXPECT_EQ(first.stream("suppto_tmp"),
              "SUPPORTED_TO_TYPES\r\nAxis := {00000000-0000-0000-0000-000000000001}, 1.0;\r\n"
              "END_SUPPORTED_TO_TYPES\r\n");
    // Nothing masks them.
    Split later("\n\nBEGIN_IO_DATA BEGIN_ACT x END_ACT END_IO_DATA\nLICENCE_DATA\nl\nEND_LICENCE_DATA\n",
                0xFFFFFFFF);
    EXPECT_EQ(later.stream("impl_tmp"),
              "\r\n\r\nBEGIN_IO_DATA BEGIN_ACT x END_ACT END_IO_DATA\r\nLICENCE_DATA\r\nl\r\nEND_LICENCE_DATA\r\n");
}

TEST(SectionSplit, SourceWithoutHeaderLeavesKindUnset)
{
    Split s("INTERFACE\nEND_INTERFACE\nBEGIN_BF_ERRORTEXT\nEND_BF_ERRORTEXT\n");
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.head().kind, -1);
    EXPECT_EQ(s.head().text2, "");
    EXPECT_EQ(s.stream("bferrtxt_tmp"), "\r\n\r\nBEGIN_BF_ERRORTEXT \r\nEND_BF_ERRORTEXT\r\n");
}

TEST(SectionSplit, SystemFunctionsStartWithTheSystemVariables)
{
    const std::string src =
        "@DESCRIPTION\n"
        "@TO_TYPE\r\n"
        "VAR_GLOBAL x : INT; END_VAR\n"
        "@END_DESCRIPTION\n"
        "IMPLEMENTATION\n"
        "FUNCTION f : INT END_FUNCTION\n"
        "END_IMPLEMENTATION\n";
    Split s(src);
    EXPECT_EQ(s.result, 0);
    // The type line ends in a bare line feed, whatever the source had.
    const std::string sysvar =
        "@DESCRIPTION \r\n"
        "@TO_TYPE\n"
        "VAR_GLOBAL x : INT; END_VAR\r\n"
        "@END_DESCRIPTION\r\n";
    EXPECT_EQ(s.stream("sysvar_tmp"), sysvar);
    EXPECT_EQ(s.stream("sysfkt_tmp"), sysvar +
                                          "IMPLEMENTATION \r\n"
                                          "FUNCTION f : INT END_FUNCTION\r\n"
                                          "END_IMPLEMENTATION\r\n");
    // Masked, the type line survives and nothing else of the bodies.
    Split m(src, 0x8);
    EXPECT_EQ(m.stream("sysvar_tmp"), "@DESCRIPTION @TO_TYPE\n@END_DESCRIPTION\r\n");
    EXPECT_EQ(m.stream("sysfkt_tmp"), "@DESCRIPTION @TO_TYPE\n@END_DESCRIPTION\r\nIMPLEMENTATION END_IMPLEMENTATION\r\n");
    // A plain line feed after the type line stays one as well.
    EXPECT_EQ(Split("@DESCRIPTION\n@TO_TYPE\nT\n@END_DESCRIPTION").stream("sysvar_tmp"),
              "@DESCRIPTION \r\n@TO_TYPE\nT\r\n@END_DESCRIPTION\r\n");
}

TEST(SectionSplit, AlarmErrorTextsGetTheCurrentKeyword)
{
    const std::string src =
        "BEGIN_ALARM_VRX_ERROR_TEXT\n"
        "VRX_ERROR_TEXT(1, CmErrorMsg, 5, \"VRX_ERROR_TEXT\")\n"
        "END_ALARM_VRX_ERROR_TEXT\n";
    Split s(src);
    EXPECT_EQ(s.stream("almmsg_tmp"),
              "BEGIN_ALARM_VRX_ERROR_TEXT \r\n"
              "MC_ERRORTEXT(1, CmErrorMsg, 5, \"MC_ERRORTEXT\")\r\n"
              "END_ALARM_VRX_ERROR_TEXT\r\n");
    Split m(src, 0x20);
    EXPECT_EQ(m.stream("almmsg_tmp"), "BEGIN_ALARM_VRX_ERROR_TEXT END_ALARM_VRX_ERROR_TEXT\r\n");
}

TEST(SectionSplit, KeywordsMatchLongestAndOnlyTheirOwnEndInsideASection)
{
    // Inside a section other keywords are body text; a keyword glued to
    // letters is still the keyword.
    Split s("CONFIGSx END_RESOLVE BEGIN_ALARM END_CONFIGSX\n");
    EXPECT_EQ(s.stream("var_tmp"), "CONFIGS x END_RESOLVE BEGIN_ALARM END_CONFIGS\r\n");
    ASSERT_EQ(s.messages.records.size(), 1u);
    EXPECT_EQ(s.messages.records[0].id, MdMsgUnexpectedChar);
    EXPECT_EQ(s.messages.records[0].args, std::vector<std::string>{"'X'"});
    EXPECT_EQ(s.result, 3);
    // The alarm error texts are not the alarms.
    Split a("BEGIN_ALARM_VRX_ERROR_TEXT END_ALARM_VRX_ERROR_TEXT BEGIN_ALARM END_ALARM");
    EXPECT_EQ(a.stream("almmsg_tmp"), "BEGIN_ALARM_VRX_ERROR_TEXT  END_ALARM_VRX_ERROR_TEXT\r\n");
    EXPECT_EQ(a.stream("alarm_tmp"), "BEGIN_ALARM  END_ALARM\r\n");
    // Keywords are case-sensitive.
    EXPECT_EQ(Split("configs").messages.count(MdMsgUnexpectedChar), 7u);
}

TEST(SectionSplit, CapitalsBeforeAKeywordAreEachUnexpected)
{
    // A run of capitals is no keyword until one begins in it: each capital
    // before is reported, then the keyword counts.
    Split s("QQ_XTO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; DATE := DT#1; END_TO_HEADER");
    ASSERT_EQ(s.messages.records.size(), 4u);
    const char* const chars[] = {"'Q'", "'Q'", "'_'", "'X'"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.messages.records[i].args, std::vector<std::string>{chars[i]}) << i;
    EXPECT_EQ(s.head().kind, 1);
    EXPECT_EQ(s.result, 3);
    // A keyword inside a longer one is found at its place ("ALARM_STRING_TABLE"
    // begins inside "BEGIN_ALARM_STRING_TABLE"; "BEGIN_ALARM" is longest at 0).
    Split t("@@XXXX_ALARM_STRING_TABLE END_ALARM_STRING_TABLE");
    EXPECT_EQ(t.messages.count(MdMsgUnexpectedChar), 7u);
    EXPECT_EQ(t.stream("alarm_tmp"), "ALARM_STRING_TABLE  END_ALARM_STRING_TABLE\r\n");
}

TEST(SectionSplit, NulBytesInHeaderTextsAreUnexpected)
{
    // A header text keeps no NUL byte (it would cut the text where the
    // descriptor keeps it): each is reported and the split fails.
    const std::string nul(1, '\0');
    Split s("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; DATE := DT#20" + nul + "04;\n"
            "COMMENT := \"Positio" + nul + nul + "n\"; END_TO_HEADER");
    EXPECT_EQ(s.result, 3);
    EXPECT_EQ(s.messages.count(MdMsgUnexpectedChar), 3u);
    EXPECT_EQ(s.head().text1, "2004");
    EXPECT_EQ(s.head().text2, "Position");
    EXPECT_EQ(s.head().kind, 1);
}

// The arguments of the unexpected-character messages, in order.
std::vector<std::string> strayArgs(const Split& s)
{
    std::vector<std::string> args;
    for (const auto& r : s.messages.records)
        if (r.id == MdMsgUnexpectedChar) args.push_back(r.args.empty() ? std::string() : r.args[0]);
    return args;
}

TEST(SectionSplit, ALongRunOfStrayBytesEndsInOneMessage)
{
    // The first hundred stray bytes of a run are each reported, as ever; the
    // rest of the run is one message quoting its first 40 bytes, an ellipsis
    // (0x85) and its length, at the run's line.
    for (const char byte : {'a', '(', '*', '@', '\xff', '$', '{', ':'}) {
        const std::size_t size = (std::size_t(1) << 20) + 17;
        Split s("\n\n" + std::string(size, byte) + "\n" + kHeader);
        const std::string one = std::string("'") + byte + "'";
        std::vector<std::string> expected(100, one);
        expected.push_back("'" + std::string(40, byte) + "\x85' (" + std::to_string(size - 100) + " Bytes)");
        EXPECT_EQ(strayArgs(s), expected) << byte;
        ASSERT_EQ(s.messages.records.size(), 101u) << byte;
        EXPECT_EQ(s.messages.records[0].line, 3);
        EXPECT_EQ(s.messages.records[100].line, 3);
        // Each stray byte is an error: the held rest counts as many as it holds.
        EXPECT_EQ(s.messages.records[99].count, 1u);
        EXPECT_EQ(s.messages.records[100].count, size - 100) << byte;
        EXPECT_EQ(s.splitter.errorCount(), int32_t(size)) << byte;
        EXPECT_EQ(s.result, 3) << byte;
        EXPECT_EQ(s.head().kind, 1) << byte;  // the header after the run is read as ever
    }
    // NUL bytes are named \0, one by one and in the held rest; a short
    // rest stands whole.
    Split nul(std::string(150, '\0') + "\n" + kHeader);
    std::vector<std::string> expected(100, "'\\0'");
    std::string rest;
    for (int i = 0; i < 50; ++i) rest += "\\0";
    expected.push_back("'" + rest + "'");
    EXPECT_EQ(strayArgs(nul), expected);
    EXPECT_EQ(nul.messages.records.back().count, 50u);
    EXPECT_EQ(nul.splitter.errorCount(), 150);
    EXPECT_EQ(nul.head().kind, 1);
}

// unit, n times.
std::string repeated(const std::string& unit, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += unit;
    return s;
}

TEST(SectionSplit, AStrayRunEndsWhereATokenMayBegin)
{
    // Stray bytes with only blanks and line ends between them are one run:
    // its first hundred bytes are reported one by one, each at its line, the
    // rest is one message at the line of its first byte, quoting the stray
    // bytes alone and counting an error for each (blanks are none). A token
    // ends the run (the header here).
    const struct {
        std::string run;
        std::string each;     // the first hundred, one by one: the bytes in turn
        int32_t lastLine;     // the line of the hundredth
        std::string held;     // the argument of the rest
        int32_t heldLine;
        uint32_t strays;
    } runs[] = {
        {std::string(120, 'x') + " " + std::string(3, 'y') + "\n" + std::string(101, 'z'), "x", 1,
         "'" + std::string(20, 'x') + "yyy" + std::string(101, 'z') + "'", 1, 224},
        {repeated("? ", 150), "?", 1, "'" + std::string(50, '?') + "'", 1, 150},
        {repeated("?\n", 150), "?", 100, "'" + std::string(50, '?') + "'", 101, 150},
        {repeated("? \t\r\n", 150), "?", 100, "'" + std::string(50, '?') + "'", 101, 150},
        {repeated("%\r", 150), "%", 1, "'" + std::string(50, '%') + "'", 1, 150},  // a lone CR is a blank here
        {repeated("\xff\n\n", 101), "\xff", 199, "'\xff'", 201, 101},
        {repeated("a\x80 ", 150), "a\x80", 1, "'" + repeated("a\x80", 100) + "'", 1, 300},
        // capitals, at signs and braces that begin no keyword or GUID; the
        // header's keyword right after capitals
        {repeated("E\n", 150), "E", 100, "'" + std::string(50, 'E') + "'", 101, 150},
        {std::string(150, 'Q'), "Q", 1, "'" + std::string(50, 'Q') + "'", 1, 150},
        {repeated("@A {B ", 150), "@A{B", 1, "'" + repeated("@A{B", 125) + "'", 1, 600},
        {repeated("? \n", 1 << 19), "?", 100,
         "'" + std::string(40, '?') + "\x85' (" + std::to_string((1 << 19) - 100) + " Bytes)", 101, 1 << 19},
    };
    for (const auto& r : runs) {
        Split s(r.run + kHeader);
        const std::vector<std::string> args = strayArgs(s);
        SCOPED_TRACE(r.run.substr(0, 8));
        ASSERT_EQ(args.size(), 101u);
        for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(args[i], "'" + std::string(1, r.each[i % r.each.size()]) + "'");
        EXPECT_EQ(args[100], r.held);
        EXPECT_EQ(s.messages.records[0].line, 1);
        EXPECT_EQ(s.messages.records[99].line, r.lastLine);
        EXPECT_EQ(s.messages.records[99].count, 1u);
        EXPECT_EQ(s.messages.records[100].line, r.heldLine);
        EXPECT_EQ(s.messages.records[100].count, r.strays - 100);
        EXPECT_EQ(s.splitter.errorCount(), int32_t(r.strays));
        EXPECT_EQ(s.result, 3);
        EXPECT_EQ(s.head().kind, 1);
    }

    // Inside a long run the tokens that may end it are still found: a
    // comment, a GUID after braces, an assignment after colons, a keyword
    // after at signs, and every stray byte before them is counted.
    const std::string braces(300, '{'), colons(300, ':'), ats(300, '@'), stars(300, '*');
    Split t(stars + "(* a comment *)" + ats + "TO_HEADER TOTYPE " + colons +
            ":= " + braces + "{0B77C3C0-79ED-11D5-ae65-0040C7998E91}, 3.1;\n"
            "DATE := DT#2004;\nEND_TO_HEADER" + ats + "@DESCRIPTION\nv : INT;\n@END_DESCRIPTION\n");
    const std::vector<std::string> args = strayArgs(t);
    ASSERT_EQ(args.size(), 5u * 101u);
    for (std::size_t run = 0; run < 5; ++run) {
        const char byte = "*@:{@"[run];
        EXPECT_EQ(args[run * 101 + 99], std::string("'") + byte + "'");
        EXPECT_EQ(args[run * 101 + 100], "'" + std::string(200, byte) + "'") << byte;
        EXPECT_EQ(t.messages.records[run * 101 + 100].count, 200u) << byte;
    }
    EXPECT_EQ(t.splitter.errorCount(), 5 * 300);
    EXPECT_EQ(t.result, 3);
    EXPECT_EQ(t.head().kind, 1);
    EXPECT_EQ(t.head().typeId1.guid.Data1, 0x0B77C3C0u);
    EXPECT_EQ(t.head().typeId1.version, 3);
    EXPECT_NE(t.stream("sysvar_tmp").find("@DESCRIPTION \r\nv : INT;\r\n@END_DESCRIPTION"), std::string::npos);
}

TEST(SectionSplit, EveryRuleEndsAHeldRunWhereItWouldMatch)
{
    // Past the first hundred stray bytes only the number of messages
    // changes: the same source after 10 and after 120 stray bytes counts
    // the prefix's errors more and nothing else, and every other message
    // stands at the same line with the same text. Each tail begins where a
    // rule of the split would match (or, for the last ones, where a word
    // the rule takes whole goes on), right after a blank or right after a
    // stray byte.
    const std::string tails[] = {
        "DT#abc\n? ?\n",                   // a date-time literal
        "?DT#abc\n? ?\n" + std::string(kHeader),
        "@DT#x ADT#x _DT#x DDT#x DT\n",   // inside a word: stray
        "DT #x DT\n",
        "DATE := DT#2004;\n",
        "(* a comment *) ?\n",
        "( * ? :: := ; . , 12 99999 . ?\n",
        "{0B77C3C0-79ED-11D5-ae65-0040C7998E91} {0B77C3C0-79ED {} {x\n",
        "\"a text\" ? \"an open text\n",
        "XTO_HEADER ATOTYPE @@DESCRIPTION\nv : INT;\n@END_DESCRIPTION\n",
        "Q_ E EN END END_ @ @A @Z_\n",
        std::string("\0\0? \r ?\r\n", 9) + kHeader,
        "VALUES\n$1[16#1] : Def(1)\nEND_VALUES ?\n" + std::string(kHeader),
        std::string(kHeader),
        "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.1; DATE := DT#d ? ; END_TO_HEADER\n",
    };
    const auto prefix = [](std::size_t n, bool blank) { return repeated("? ", n) + "\n\n\n\n" + (blank ? "" : "?"); };
    for (const std::string& tail : tails) {
        for (const bool blank : {true, false}) {
            SCOPED_TRACE(tail.substr(0, 24) + (blank ? " after a blank" : " right after a stray byte"));
            Split few(prefix(10, blank) + tail), many(prefix(120, blank) + tail);
            EXPECT_EQ(many.splitter.errorCount() - 110, few.splitter.errorCount());
            EXPECT_EQ(many.result, few.result);
            EXPECT_EQ(many.head().kind, few.head().kind);
            EXPECT_EQ(many.head().text1, few.head().text1);
            // every message but those of stray bytes, at its line
            const auto others = [](const Split& s) {
                std::vector<std::string> texts;
                for (const auto& r : s.messages.records)
                    if (r.id != MdMsgUnexpectedChar)
                        texts.push_back(std::to_string(r.id) + " at " + std::to_string(r.line) + ": " +
                                        (r.args.empty() ? std::string() : r.args[0]));
                return texts;
            };
            EXPECT_EQ(others(many), others(few));
            for (int i = 0; i < MdTmpCount; ++i) EXPECT_EQ(many.sink.stream(i), few.sink.stream(i)) << mdTmpStreamName(i);
        }
    }

    // The case of the report: a date-time literal after 120 stray bytes is
    // no more stray than after 10.
    for (const std::size_t n : {std::size_t(10), std::size_t(120)}) {
        Split s(prefix(n, true) + "DT#abc\n? ?\n");
        EXPECT_EQ(s.splitter.errorCount(), int32_t(n + 3)) << n;
        ASSERT_EQ(s.messages.count(MdMsgParseError), 1u) << n;
        for (const auto& r : s.messages.records) {
            if (r.id == MdMsgParseError) {
                EXPECT_EQ(r.line, 5) << n;
            }
        }
    }
}

TEST(SectionSplit, ALongNumberIsQuotedCut)
{
    // A number of a megabyte: its first 40 digits, the ellipsis and its
    // length; one message.
    const std::string digits(1 << 20, '9');
    Split s("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, " + digits + ".1; DATE := DT#1; END_TO_HEADER");
    ASSERT_EQ(s.messages.records.size(), 1u);
    EXPECT_EQ(s.messages.records[0].args,
              std::vector<std::string>{"'" + std::string(40, '9') + "\x85' (1048576 Bytes)"});
    EXPECT_EQ(s.messages.records[0].count, 1u);  // a token, one error
    EXPECT_EQ(s.splitter.errorCount(), 1);
    EXPECT_EQ(s.result, 3);
}

namespace {

// Counts the messages only (a megabyte of unexpected characters makes a
// million of them).
struct CountingReporter : MdSectionReporter {
    std::size_t count = 0;
    void report(uint32_t, int32_t, const std::vector<std::string>&, uint32_t) override { ++count; }
};

double splitSeconds(const std::string& source, int runs = 1)
{
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        std::istringstream in(source);
        MdStringSectionSink sink;
        CountingReporter messages;
        MdSectionSplitter splitter;
        const auto start = std::chrono::steady_clock::now();
        splitter.split(in, sink, &messages, 0);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

TEST(SectionSplit, EveryKindOfByteIsReadInLinearTime)
{
    // A megabyte of one kind of byte, outside the sections, in a comment,
    // a string, a date-time literal and section bodies, against a megabyte
    // of small letters outside the sections or 50 ns a byte, whichever is
    // more: a run of small letters is one message past its first hundred,
    // while a capital that may begin a keyword is still a message of its
    // own, a linear cost the floor must cover also under sanitizers. Reading
    // a byte again from each next one (capitals that are no keyword, a line
    // of NUL bytes) is thousands of times off; the bound leaves room for a
    // loaded machine (and a tenth of a second for a time slice lost).
    // 16 KB go first, so that such a case fails at once rather than after
    // an hour.
    const char* const kinds[] = {"Q", "E", "_", "@", "0", "{", "\"", "*", "\n", " ", "\x80", "\xff", "EN", "END",
                                 "END_", "VRX_ERROR_TEX", "@END_DESCRIPTIO", "END_VALUE", "(*", "\\\""};
    const char* const contexts[] = {"", "(*", "\"", "TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; DATE := DT#",
                                    "VALUES\n", "@DESCRIPTION\n", "BEGIN_ALARM_VRX_ERROR_TEXT\n"};
    for (const std::size_t size : {std::size_t(16) << 10, std::size_t(1) << 20}) {
        const double floor = std::max(splitSeconds(std::string(size, 'q'), 3), size * 50e-9);
        for (const char* context : contexts) {
            for (int k = -1; k < int(sizeof kinds / sizeof kinds[0]); ++k) {
                const std::string unit = k < 0 ? std::string(1, '\0') : kinds[k];
                std::string source = context;
                while (source.size() < size) source += unit;
                testing::internal::CaptureStdout();  // the date-time literal's end
                const double seconds = splitSeconds(source);
                testing::internal::GetCapturedStdout();
                EXPECT_LT(seconds, 20 * floor + 0.1) << "'" << (k < 0 ? "NUL" : unit) << "' after '" << context << "', "
                                               << size << " bytes: " << seconds << " s, small letters " << floor << " s";
            }
        }
        if (HasFailure()) return;
    }
}

TEST(SectionSplit, HeaderTokensReadAlikeWhereverTheBufferEnds)
{
    // A header token longer than a few bytes is taken from the scanner's
    // buffer piece by piece: wherever the buffer ends within it (line feeds
    // ahead move it over the first end, 16 KB in), it is read as its rule
    // says. A word of capitals is a stray byte each up to where a keyword
    // begins in it; a number is its value, and past the largest word its
    // digits quoted (cut past 1024); a string and a date are their text; a
    // comment is nothing.
    const std::string header(kHeader);
    for (const std::size_t length : {1, 2, 31, 32, 33, 101, 1025, 40000}) {
        const std::string word(length, 'Q'), digits(length, '7'), zeros(length, '0');
        std::string text;
        for (std::size_t i = 0; text.size() < length; ++i) text += i % 7 == 6 ? "\\\"" : "x";
        std::string unescaped = text;
        for (std::size_t at; (at = unescaped.find("\\\"")) != std::string::npos;) unescaped.replace(at, 2, "\"");
        const std::string quoted =
            length <= 1024 ? "'" + digits + "'" : "'" + std::string(40, '7') + "\x85' (" + std::to_string(length) + " Bytes)";
        for (std::size_t pad = (std::size_t(16) << 10) - 40; pad < (std::size_t(16) << 10) + 8; pad += 3) {
            const std::string lines(pad, '\n');
            const std::string at = " at " + std::to_string(pad) + ", " + std::to_string(length) + " bytes";
            Split w(lines + word + header);
            EXPECT_EQ(w.head().kind, 1) << "word" << at;
            EXPECT_EQ(w.splitter.errorCount(), int32_t(length)) << "word" << at;
            EXPECT_EQ(w.messages.records.size(), std::min<std::size_t>(length, 100) + (length > 100)) << "word" << at;
            Split z(lines + std::string(header).replace(header.find("3.65535"), 1, zeros + "3"));
            EXPECT_EQ(z.result, 0) << "zeros" << at;
            EXPECT_EQ(z.head().typeId1.version, 3) << "zeros" << at;
            if (length >= 6) {
                Split n(lines + std::string(header).replace(header.find("3.65535"), 1, digits));
                EXPECT_EQ(strayArgs(n), std::vector<std::string>{quoted}) << "number" << at;
                EXPECT_EQ(n.head().typeId1.version, 0xFFFF) << "number" << at;
            }
            Split t(lines + std::string(header).replace(header.find("Achse"), 5, text));
            EXPECT_EQ(t.head().text2, unescaped + " \"linear\"") << "string" << at;
            Split d(lines + std::string(header).replace(header.find("2004"), 4, digits));
            EXPECT_EQ(d.head().text1, digits + "-03-01-12:00:00") << "date" << at;
            Split c(lines + "(*" + text + "*)" + header);
            EXPECT_EQ(c.result, 0) << "comment" << at;
            EXPECT_EQ(c.head().kind, 1) << "comment" << at;
            if (HasFailure()) return;
        }
    }
}

// A token beyond the scanner's largest buffer is a fatal error of the
// scanner: reported once, the source ends there, and the splitter serves
// the next source. A comment is skipped, not kept: any length is read.
TEST(SectionSplit, ATokenBeyondTheLargestBufferEndsTheSource)
{
    const MdScannerBufferLimitScope limit((std::size_t(1) << 16) + 2);
    const std::string line(1 << 17, 'x');
    MdSectionSplitter splitter;
    const std::string header(kHeader);
    for (const std::string& source : {"VALUES\n" + line + "\nEND_VALUES\n",
                                      std::string(header).replace(header.find("Achse"), 5, line),
                                      std::string(header).replace(header.find("2004"), 4, line)}) {
        std::istringstream in(source);
        MdStringSectionSink sink;
        MdCollectingReporter messages;
        EXPECT_NE(splitter.split(in, sink, &messages, 0), 0);
        ASSERT_EQ(messages.records.size(), 1u);
        EXPECT_EQ(messages.records[0].args, std::vector<std::string>{"'fatal error - scanner input buffer overflow'"});
        std::istringstream good(kHeader);
        EXPECT_EQ(splitter.split(good, sink, &messages, 0), 0);
        EXPECT_EQ(splitter.header().kind, 1);
    }
    Split comment("(*" + line + "*)" + header);
    EXPECT_EQ(comment.result, 0);
    EXPECT_EQ(comment.head().kind, 1);
}

TEST(SectionSplit, UnexpectedCharactersAreReportedWithTheirLine)
{
    Split s("INTERFACE END_INTERFACE\n\n  % ?\n");
    ASSERT_EQ(s.messages.records.size(), 2u);
    EXPECT_EQ(s.messages.records[0].id, MdMsgUnexpectedChar);
    EXPECT_EQ(s.messages.records[0].line, 3);
    EXPECT_EQ(s.messages.records[0].args, std::vector<std::string>{"'%'"});
    EXPECT_EQ(s.messages.records[1].args, std::vector<std::string>{"'?'"});
    EXPECT_EQ(s.result, 3);
    EXPECT_EQ(s.splitter.errorCount(), 2);
}

TEST(SectionSplit, SourcesAreBytes)
{
    // An end-of-file byte ends nothing, NUL bytes are data, and a missing
    // final line end changes nothing.
    const std::string nul(1, '\0');
    const std::string src = "VALUES\n" + std::string("\x1a") + "\xe4" + nul + "x\n" + nul + "END_VALUES";
    Split s(src);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.stream("var_tmp"), "VALUES \r\n\x1a\xe4" + nul + "x\r\n" + nul + "END_VALUES\r\n");

    Split outside("VALUES END_VALUES \x1a");
    EXPECT_EQ(outside.messages.count(MdMsgUnexpectedChar), 1u);
    EXPECT_EQ(outside.stream("var_tmp"), "VALUES  END_VALUES\r\n");
}

// The body text as its stream holds it: carriage returns dropped, every
// line feed "\r\n".
std::string streamBytes(const std::string& body)
{
    std::string out;
    for (char c : body) {
        if (c == '\n') out += "\r\n";
        else if (c != '\r') out += c;
    }
    return out;
}

TEST(SectionSplit, BodiesAcrossBufferEndsKeepTheirBytes)
{
    // Bodies far longer than the scanner's buffer, full of near misses of the
    // end keyword and of carriage returns, each shifted by a varying number
    // of leading blanks so that their end keyword and their near misses
    // straddle the buffer's ends at every offset.
    std::string unit = "  $1[16#1] : \"E EN END END_ END_VARCOMMEN EEND_VARCOMMEN\"\r\n";
    unit += "x\ry ENDE_VARCOMMENT\n\r\n@FOO @END_DESCRIPTIO E\n";
    std::string body = "\n";
    while (body.size() < 3 * 16384) body += unit;
    for (const auto& c : {std::make_pair("VARCOMMENT", "comment_tmp"), std::make_pair("@DESCRIPTION", "sysvar_tmp")}) {
        const std::string begin = c.first;
        const std::string end = begin[0] == '@' ? "@END_DESCRIPTION" : "END_VARCOMMENT";
        const std::string want = begin + " " + streamBytes(body) + end + "\r\n";
        for (std::size_t blanks = 0; blanks < 64; ++blanks) {
            Split s(std::string(blanks, ' ') + begin + body + end + "\n");
            ASSERT_EQ(s.result, 0) << begin << " after " << blanks << " blanks";
            ASSERT_EQ(s.stream(c.second), want) << begin << " after " << blanks << " blanks";
            ASSERT_EQ(s.splitter.lineNo(), int32_t(std::count(body.begin(), body.end(), '\n')) + 2);
        }
    }
    // Many short sections (repeated, which is reported, but every body is
    // copied): some end keyword straddles each buffer end, at some shift.
    std::string many;
    while (many.size() < 3 * 16384) many += "VARCOMMENT\n" + unit + "END_VARCOMMENT\n";
    Split first(many);
    for (std::size_t blanks = 1; blanks < 64; ++blanks) {
        Split s(std::string(blanks, ' ') + many);
        ASSERT_EQ(s.stream("comment_tmp"), first.stream("comment_tmp")) << "after " << blanks << " blanks";
        ASSERT_EQ(s.messages.records.size(), first.messages.records.size());
    }
}

TEST(SectionSplit, BrokenLiterals)
{
    testing::internal::CaptureStdout();
    Split date("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; DATE := DT#2004");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ungueltiges Dateiende ");
    EXPECT_EQ(date.messages.count(MdMsgParseError), 1u);
    EXPECT_EQ(date.head().kind, -1);

    Split str("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; DATE := DT#1;\n"
              "COMMENT := \"no end\n");
    EXPECT_EQ(str.messages.count(MdMsgParseError), 1u);
    EXPECT_NE(str.result, 0);

    // A GUID with a wrong digit count is no GUID: its characters are scanned one by one.
    Split guid("TO_HEADER TOTYPE := {0000000-0000-0000-0000-000000000000}, 1.0; DATE := DT#1; END_TO_HEADER");
    EXPECT_GE(guid.messages.count(MdMsgUnexpectedChar), 1u);
    EXPECT_EQ(guid.head().kind, -1);

    // The words of a type id have 16 bits: a larger number is reported with
    // its digits (not cut to its low bits) and the split fails.
    for (const char* words : {"70000.1", "1.65536", "99999999999.0", "00000000000000000000065536.1"}) {
        Split big(std::string("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, ") + words +
                  "; DATE := DT#1; END_TO_HEADER");
        EXPECT_EQ(big.result, 3) << words;
        ASSERT_EQ(big.messages.records.size(), 1u) << words;
        const std::string digits(words[0] == '1' ? "65536" : std::string(words, std::strchr(words, '.')));
        EXPECT_EQ(big.messages.records[0].args, std::vector<std::string>{"'" + digits + "'"}) << words;
    }
    Split proxy("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.0; "
                "PROXY := {00000000-0000-0000-0000-000000000000}, 2.4294967296; DATE := DT#1; END_TO_HEADER");
    EXPECT_EQ(proxy.result, 3);
    EXPECT_EQ(proxy.messages.count(MdMsgUnexpectedChar), 1u);
    Split leading("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 000065535.00001; "
                  "DATE := DT#1; END_TO_HEADER");
    EXPECT_EQ(leading.result, 0);
    EXPECT_EQ(leading.head().typeId1.version, 65535);
    EXPECT_EQ(leading.head().typeId1.second, 1);
}

TEST(SectionSplit, SectionsOnOneLineKeepTheirLines)
{
    Split s("CONFIGS 1 \"a\" END_CONFIGS RESOLVE MAXID := 1;\nEND_RESOLVE VALUES\nEND_VALUES");
    EXPECT_EQ(s.stream("var_tmp"),
              "CONFIGS  1 \"a\" END_CONFIGS RESOLVE  MAXID := 1;\r\nEND_RESOLVE VALUES \r\nEND_VALUES\r\n");
}

TEST(SectionSplit, MissingAndFailingStreams)
{
    // A stream the working file already held cannot be created: its
    // sections are read and dropped, the others are written.
    MdStringSectionSink preset;
    preset.setMissing(MdTmpVar);
    Split s("CONFIGS x END_CONFIGS\nINTERFACE y END_INTERFACE\n", 0, &preset);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.stream("var_tmp"), "");
    EXPECT_EQ(s.stream("con_tmp"), "\r\nINTERFACE  y END_INTERFACE\r\n");

    // A stream's bytes reach the sink in blocks, one whenever another stream
    // is written; once a block is refused nothing more goes to that stream.
    MdStringSectionSink failing;
    failing.failAfter(MdTmpVar, 30);
    Split f("CONFIGS\nabc\nEND_CONFIGS\nINTERFACE\nEND_INTERFACE\nVALUES\nEND_VALUES\nDYN_ARRAY\nEND_DYN_ARRAY\n", 0,
            &failing);
    EXPECT_EQ(f.result, 0);
    EXPECT_TRUE(f.sink.failed(MdTmpVar));
    EXPECT_EQ(f.stream("var_tmp"), "CONFIGS \r\nabc\r\nEND_CONFIGS");
    EXPECT_EQ(f.stream("con_tmp"), "\r\n\r\n\r\nINTERFACE \r\nEND_INTERFACE\r\n");

    // Without the system variables the system functions keep their own lines.
    MdStringSectionSink nosys;
    nosys.setMissing(MdTmpSysVar);
    Split n("@DESCRIPTION\n@TO_TYPE\n@END_DESCRIPTION\nIMPLEMENTATION\nf\nEND_IMPLEMENTATION\n", 0, &nosys);
    EXPECT_EQ(n.stream("sysfkt_tmp"), "\r\n\r\n\r\nIMPLEMENTATION \r\nf\r\nEND_IMPLEMENTATION\r\n");
}

TEST(SectionSplit, SplitterCanBeReused)
{
    MdSectionSplitter splitter;
    MdStringSectionSink sink;
    std::istringstream first(std::string(kHeader) + "% CONFIGS a END_CONFIGS");
    EXPECT_EQ(splitter.split(first, sink, nullptr, 0), 3);
    EXPECT_EQ(splitter.header().kind, 1);
    MdStringSectionSink sink2;
    std::istringstream second("\nCONFIGS b END_CONFIGS");
    EXPECT_EQ(splitter.split(second, sink2, nullptr, 0), 0);
    EXPECT_EQ(splitter.errorCount(), 0);
    EXPECT_EQ(splitter.header().kind, -1);
    EXPECT_EQ(splitter.occurrences(MdSectionBisonParser::GroupConfigs), 1u);
    EXPECT_EQ(sink2.stream(MdTmpVar), "\r\nCONFIGS  b END_CONFIGS\r\n");
}

// Each scanner of the library is its own renamed copy of the flex base
// class; declaring a second one next to this one must neither clash nor
// change the first.
#undef yyFlexLexer
#define yyFlexLexer OtherGrammarFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer

TEST(SectionSplit, ScannerClassesOfSeveralGrammarsCoexist)
{
    static_assert(std::is_base_of<FlexLexer, MdSectionScannerFlexLexer>::value, "");
    static_assert(std::is_base_of<FlexLexer, OtherGrammarFlexLexer>::value, "");
    static_assert(!std::is_same<MdSectionScannerFlexLexer, OtherGrammarFlexLexer>::value, "");
    static_assert(std::is_base_of<MdSectionScannerFlexLexer, MdSectionScanner>::value, "");
    // The section scanner still works in a unit that declared another one.
    Split s("CONFIGS END_CONFIGS");
    EXPECT_EQ(s.result, 0);
}

}  // namespace

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(SectionSplit, ExamplesSplitCleanlyAndTogetherUseEverySection)
{
    const struct { const char* file; int kind; } examples[] = {
        {"axis.tos", 1}, {"encoder.tos", 2}, {"motion.tps", 4}, {"controller.dvs", 5},
    };
    uint32_t seen[MdSectionBisonParser::GroupCount] = {};
    bool implementation = false;
    for (const auto& e : examples) {
        const std::string src = readFile(std::string(TV_SOURCE_DIR) + "/examples/" + e.file);
        ASSERT_FALSE(src.empty()) << e.file;
        Split s(src);
        EXPECT_EQ(s.result, 0) << e.file;
        EXPECT_TRUE(s.messages.records.empty()) << e.file;
        EXPECT_EQ(s.head().kind, e.kind) << e.file;
        for (int g = 0; g < MdSectionBisonParser::GroupCount; ++g)
            seen[g] += s.splitter.occurrences(MdSectionBisonParser::Group(g));
        implementation |= s.stream("sysfkt_tmp").find("END_IMPLEMENTATION") != std::string::npos;
    }
    for (int g = 0; g < MdSectionBisonParser::GroupCount; ++g) EXPECT_NE(seen[g], 0u) << "group " << g;
    EXPECT_TRUE(implementation);
}

}  // namespace

namespace {

TEST(SectionSplit, KindProbeReadsTheFirstHeaderOnly)
{
    const std::string tp = "TP_HEADER\n TPTYPE := {00000001-0002-0003-0405-060708090A0B}, 1.0;\n"
                           " DATE := DT#1;\nEND_TP_HEADER\n";
    const struct {
        std::string source;
        int32_t kind;
        bool certain;
    } cases[] = {
        // The reading stops at the header's end: the broken rest is not met.
        {std::string(kHeader) + "$ CONFIGS x", 1, true},
        {"CONFIGS x END_CONFIGS\n" + tp, 4, true},
        {"VALUES x END_VALUES\n", -1, true},
        // Fewer than the two words of a header: no kind, and no split.
        {"? TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000000}, 1.1; DATE := DT#d;", -1, true},
        // A further header may change the kind: only the whole split knows.
        {std::string(kHeader) + tp, 1, false},
        {"TP_HEADER DATE := DT#1; END_TP_HEADER\n" + std::string(kHeader), -1, false},
        // Header text inside a body also counts.
        {std::string(kHeader) + "VALUES TO_HEADER END_VALUES\n", 1, false},
        // ... also where it spans two of the pieces the source is read in
        // (1 MiB), or follows a stray underscore.
        {std::string(kHeader) + std::string((std::size_t(1) << 20) - 5 - std::strlen(kHeader), ' ') + "TO_HEADER", 1,
         false},
        {std::string(kHeader) + "(* __HEADE_ *)", 1, true},
        {std::string(kHeader) + "(* x__HEADER *)", 1, false},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.source);
        MdSectionSplitter probe;
        bool certain = !c.certain;
        EXPECT_EQ(probe.probeKind(in, certain), c.kind) << c.source;
        EXPECT_EQ(certain, c.certain) << c.source;
        if (c.source.find("_HEADER") == c.source.rfind("_HEADER")) {
            EXPECT_EQ(probe.errorCount(), 0) << c.source;  // not split: the '?' is not met
        }
        if (c.kind == 1 && c.certain) {
            EXPECT_EQ(probe.errorCount(), 0) << c.source;
        }
    }
    // The same object splits a source in full afterwards.
    MdSectionSplitter splitter;
    bool certain = false;
    std::istringstream first(std::string(kHeader) + tp);
    splitter.probeKind(first, certain);
    std::istringstream second(std::string(kHeader) + tp);
    MdStringSectionSink sink;
    splitter.split(second, sink, nullptr, 0);
    EXPECT_EQ(splitter.header().kind, 4);
}

}  // namespace
