// The section split over a working file: temporary streams, messages
// through the message handler, and the descriptor header by object kind.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdSectionParser.h"

using namespace fronttest;

namespace {

const std::string kStamp = " [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]";
const std::string kNoId = "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 ";

struct DriverRun {
    explicit DriverRun(const std::string& src, uint32_t mask = 0, bool withFile = true)
        : in(src)
    {
        if (withFile) {
            EXPECT_TRUE(openMemoryFile(work));
        }
        parser.openTempSections(&in, withFile ? &work : nullptr, mask);
        result = parser.run();
    }
    std::string section(const char* name) { return sectionText(work, name); }

    std::istringstream in;
    FsFileMan work;
    MdSectionParser parser;
    int result = -1;
};

// The same source split into strings, to compare the working file with.
std::string stringSplit(const std::string& src, int stream, uint32_t mask = 0)
{
    std::istringstream in(src);
    MdStringSectionSink sink;
    MdSectionSplitter splitter;
    splitter.split(in, sink, nullptr, mask);
    return sink.stream(stream);
}

TEST(SplitDriver, ExampleHeadersAreWrittenByKind)
{
    const struct {
        const char* file;
        int32_t kind;
        const char* golden;
    } cases[] = {
        {"axis.tos", 1,
         "3\r\n"
         "{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 \r\n"
         "0 \r\n"
         "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 1 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{5A3C2E11-8B41-4C7D-9E2F-1A6B3C4D5E60}  2 0 \r\n"
         "0\r\n"
         "19 2024-05-14-09:30:00\r\n"
         "65 Positionierachse [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n"
         "0\r\n"
         "0\r\n"},
        {"encoder.tos", 2,
         "3\r\n"
         "{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 \r\n"
         "0 \r\n"
         "{9D2F4A61-3C58-4E27-B1A4-6F0E2D8C7B15}  1 0 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "0\r\n"
         "19 2024-05-14-10:15:00\r\n"
         "49  [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n"
         "0\r\n"
         "0\r\n"},
        {"motion.tps", 4,
         "3\r\n"
         "{81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0 \r\n"
         "0 \r\n"
         "{3E8A1B72-6D94-4F05-A3C1-8B7D2E4F6A90}  3 2 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{3E8A1B73-6D94-4F05-A3C1-8B7D2E4F6A90}  3 0 \r\n"
         "0\r\n"
         "19 2024-05-14-11:00:00\r\n"
         "73 Grundfunktionen Bewegung [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n"
         "0\r\n"
         "0\r\n"},
        {"controller.dvs", 5,
         "3\r\n"
         "{AC5106C8-1BF0-4BFA-B3C9-072AAD0516D3}  0 0 \r\n"
         "1 {81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0  \r\n"
         "{C41D7E23-0B6F-4A98-8E15-D2A9F3B06C47}  4 0 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 \r\n"
         "0\r\n"
         "19 2024-05-14-11:45:00\r\n"
         "82 Steuerung mit Bewegungsfunktionen [MD_VER:47.80.30.00:vrx47.80.30release.1.relusr]\r\n"
         "0\r\n"
         "0\r\n"},
    };
    for (const auto& c : cases) {
        MessageCapture messages;
        const std::string src = readFile(examplePath(c.file));
        ASSERT_FALSE(src.empty()) << c.file;
        DriverRun run(src);
        EXPECT_EQ(run.result, 0) << c.file;
        EXPECT_TRUE(messages.records.empty()) << c.file;
        EXPECT_EQ(run.parser.objectKind(), c.kind) << c.file;
        EXPECT_EQ(run.parser.headResult(), 0u) << c.file;
        EXPECT_EQ(run.section("header"), c.golden) << c.file;
        // Every temporary stream holds exactly what the split gives.
        for (int s = 0; s < MdTmpCount; ++s)
            EXPECT_EQ(run.section(mdTmpStreamName(s)), stringSplit(src, s)) << c.file << " " << mdTmpStreamName(s);
    }
}

TEST(SplitDriver, HeaderIsWrittenDespiteLaterSyntaxErrors)
{
    MessageCapture messages;
    DriverRun run("TP_HEADER TPTYPE := {00000000-0000-0000-0000-00000000000A}, 1.2;\n"
                  "DATE := DT#d;\nEND_TP_HEADER\n"
                  "BITFIELDS\nx\nEND_BITFIELDS\n"
                  "SUPPORTED_TO_TYPES\nEND_SUPPORTED_TO_TYPES\n");
    EXPECT_EQ(run.result, 3);
    EXPECT_EQ(run.parser.objectKind(), 4);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{202});
    EXPECT_EQ(messages.records[0].position, 4u);  // the line of the misplaced section
    EXPECT_EQ(messages.records[0].text, "Parser Fehler: parse error");
    const std::string head = run.section("header");
    EXPECT_EQ(head.substr(0, 49), "3\r\n{81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0 \r\n");
    EXPECT_NE(head.find("{00000000-0000-0000-0000-00000000000A}  1 2 \r\n"), std::string::npos);
    // The bodies are there all the same.
    EXPECT_EQ(run.section("var_tmp"), "\r\n\r\n\r\nBITFIELDS \r\nx\r\nEND_BITFIELDS\r\n");
}

TEST(SplitDriver, SourceWithoutHeaderWritesNoHeader)
{
    MessageCapture messages;
    DriverRun run("INTERFACE\nEND_INTERFACE\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_FALSE(mdIsObjectKind(run.parser.objectKind()));
    EXPECT_EQ(run.parser.headResult(), 1u);
    EXPECT_EQ(run.section("header"), "<missing>");
    EXPECT_EQ(run.section("con_tmp"), "INTERFACE \r\nEND_INTERFACE\r\n");
    // The stamp still goes on the (empty) comment, and the type id stays unset.
    EXPECT_EQ(run.parser.dscHead().text2.c_str(), kStamp);
    EXPECT_TRUE(run.parser.typeId().isInvalid());
    // All twelve streams exist and are closed again.
    for (int s = 0; s < MdTmpCount; ++s) EXPECT_EQ(run.work.getType(mdTmpStreamName(s)), 1u);
}

TEST(SplitDriver, ScannerMessagesCarryTheLine)
{
    MessageCapture messages;
    DriverRun run("\n\nVALUES END_VALUES ?\nVALUES END_VALUES\n");
    EXPECT_EQ(run.result, 3);
    ASSERT_EQ(messages.ids(), (std::vector<uint32_t>{201, 203}));
    EXPECT_EQ(messages.records[0].position, 3u);
    EXPECT_EQ(messages.records[0].text, "Scanner Fehler, unerwartetes Zeichen '?'");
    EXPECT_EQ(messages.records[1].position, 4u);
    EXPECT_EQ(messages.records[1].text, "Sektion kommt 2 mal vor");
}

TEST(SplitDriver, StreamsCopiedFromTheHostAreReplaced)
{
    // The working file came from a host storage that already held streams
    // named like temporary streams (one differing in letter case).
    FsFileMan work;
    ASSERT_TRUE(openMemoryFile(work));
    ASSERT_TRUE(putSection(work, "var_tmp", std::string(40000, 'Z')));
    ASSERT_TRUE(putSection(work, "CON_TMP", "stale connection text\r\n"));
    ASSERT_TRUE(putSection(work, "impl_tmp", "stale"));
    ASSERT_TRUE(putSection(work, "keep", "host data"));

    std::istringstream in("VALUES\nv\nEND_VALUES\nINTERFACE i END_INTERFACE\n");
    MdSectionParser parser;
    parser.openTempSections(&in, &work, 0);
    for (int s = 0; s < MdTmpCount; ++s) EXPECT_TRUE(parser.hasTempStream(s)) << mdTmpStreamName(s);
    EXPECT_EQ(parser.run(), 0);
    EXPECT_EQ(sectionText(work, "var_tmp"), "VALUES \r\nv\r\nEND_VALUES\r\n");
    // The storage does not tell names apart by letter case: "CON_TMP" is
    // the temporary stream, replaced like the others.
    EXPECT_EQ(sectionText(work, "CON_TMP"), "\r\n\r\n\r\nINTERFACE  i END_INTERFACE\r\n");
    EXPECT_EQ(sectionText(work, "impl_tmp"), "");
    EXPECT_EQ(sectionText(work, "keep"), "host data");
}

TEST(SplitDriver, LongSystemVariablesReachTheSystemFunctions)
{
    // Bodies across several stream windows, copied into the system functions.
    std::string src = "@DESCRIPTION\n";
    for (int i = 0; i < 3000; ++i) src += "  v" + std::to_string(i) + " : LREAL; (* variable *)\n";
    src += "@END_DESCRIPTION\nIMPLEMENTATION\nFUNCTION f : INT END_FUNCTION\nEND_IMPLEMENTATION\n";
    DriverRun run(src);
    EXPECT_EQ(run.result, 0);
    const std::string sysvar = run.section("sysvar_tmp");
    EXPECT_GT(sysvar.size(), 3u * FsSecCl::WINDOW_SIZE);
    EXPECT_EQ(sysvar, stringSplit(src, MdTmpSysVar));
    EXPECT_EQ(run.section("sysfkt_tmp"), stringSplit(src, MdTmpSysFkt));
    EXPECT_EQ(run.section("sysfkt_tmp").substr(0, sysvar.size()), sysvar);
}

TEST(SplitDriver, MaskAndMissingWorkingFile)
{
    DriverRun masked("CONFIGS\n1 \"a\"\nEND_CONFIGS\n", 0x2);
    EXPECT_EQ(masked.section("var_tmp"), "CONFIGS END_CONFIGS\r\n");

    // Without a working file the source is still parsed; nothing is written.
    MessageCapture messages;
    DriverRun none("TO_HEADER TOTYPE := {00000000-0000-0000-0000-000000000001}, 1.0; DATE := DT#x;"
                   " END_TO_HEADER CONFIGS x END_CONFIGS %", 0, false);
    EXPECT_EQ(none.result, 3);
    EXPECT_EQ(none.parser.objectKind(), 1);
    EXPECT_EQ(none.parser.headResult(), 1u);
    EXPECT_EQ(messages.count(201), 1u);
    for (int s = 0; s < MdTmpCount; ++s) EXPECT_FALSE(none.parser.hasTempStream(s));
}

TEST(SplitDriver, NothingIsReportedWithoutAHandler)
{
    CmMessageHandler* previous = cmSetMessageHandler(nullptr);
    DriverRun run("% INTERFACE x END_INTERFACE");
    EXPECT_EQ(run.result, 3);
    EXPECT_EQ(run.section("con_tmp"), "INTERFACE  x END_INTERFACE\r\n");
    cmSetMessageHandler(previous);
}

TEST(SplitDriver, OpenButNeverRunLeavesNoSectionOpen)
{
    FsFileMan work;
    ASSERT_TRUE(openMemoryFile(work));
    {
        std::istringstream in("VALUES END_VALUES");
        MdSectionParser parser;
        parser.openTempSections(&in, &work, 0);
    }
    // Every stream closed: the storage can be lent out.
    IStorage* stg = nullptr;
    ASSERT_TRUE(work.getIStoragePtr(&stg));
    stg->Release();
    EXPECT_EQ(work.releaseIStoragePtr(), 0u);
    EXPECT_EQ(sectionText(work, "var_tmp"), "");
}

}  // namespace
