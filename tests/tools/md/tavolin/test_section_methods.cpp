// The section methods with stand-in compilers: what each compiler is given,
// how its result becomes the status, the string counter, and that every
// outcome gives the working file back for the next method.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_split_driver_support.h"
#include "tools/md/tavolin/CMDStrmHelper.h"
#include "tools/md/tavolin/MdClassProviderSteps.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionCompiler.h"

using namespace fronttest;

namespace {

const std::vector<std::pair<std::string, std::string>> kHostTO = {{"varcomment", ""}, {"bfvarcomment", ""}};

std::string toSource()
{
    return headerOf(1) +
           "VARCOMMENT\nc\nEND_VARCOMMENT\n"
           "VALUES\nv\nEND_VALUES\n"
           "INTERFACE\ni\nEND_INTERFACE\n"
           "BEGIN_ALARM\na\nEND_ALARM\n"
           "BEGIN_ALARM_VRX_ERROR_TEXT\nm\nEND_ALARM_VRX_ERROR_TEXT\n"
           "BFDCOMMENT\nbc\nEND_BFDCOMMENT\n"
           "BOOT_FUNCTIONDECL\nb\nEND_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\nEND_BOOT_FUNCTIONS\n"
           "BEGIN_BF_ERRORTEXT\ne\nEND_BF_ERRORTEXT\n"
           "BEGIN_IO_DATA\nio\nEND_IO_DATA\n";
}

// A source whose kind the method accepts.
std::string sourceFor(int method)
{
    if (method == MdMethSupportedTOs || method == MdMethSysFunctions)
        return headerOf(5) + "SUPPORTED_TO_TYPES\nx\nEND_SUPPORTED_TO_TYPES\n";
    return toSource();
}

// Runs one method by its number on an opened source.
HRESULT callMethod(int method, OpenedSource& src, int32_t& status)
{
    MdFrontContext ctx = src.context();
    const String rc("script.rc");
    switch (method) {
    case MdMethSysVars: return mdCompileSysVars(ctx, 0, 0, status);
    case MdMethSysFunctions: return mdCompileSysFunctions(ctx, 0, 0, nullptr, 0, nullptr, 0, 0, status);
    case MdMethComments: return mdCompileComments(ctx, rc, status);
    case MdMethVariables: return mdCompileVariables(ctx, rc, nullptr, status);
    case MdMethConnections: return mdCompileConnections(ctx, status);
    case MdMethAlarms: return mdCompileAlarms(ctx, rc, status);
    case MdMethBootFunctions:
        return mdCompileBootFunctions(ctx, rc, {String("f")}, String("text"), String("comments.rc"), status);
    case MdMethSupportedTOs: return mdCompileSupportedTOs(ctx, status);
    case MdMethImplementations: return mdCompileImplementations(ctx, String("out"), status);
    }
    return E_FAIL;
}

// The compilers a method runs, in order, when all succeed.
const std::map<int, std::vector<int>> kRuns = {
    {MdMethComments, {MdCompVarComment}},
    {MdMethVariables, {MdCompVarExt}},
    {MdMethConnections, {MdCompConnection}},
    {MdMethAlarms, {MdCompAlarm, MdCompErrMsgTxt}},
    {MdMethBootFunctions, {MdCompVarComment, MdCompBootFkt, MdCompBootFkt, MdCompErrMsgTxt}},
    {MdMethSupportedTOs, {MdCompSuppTO}},
    {MdMethImplementations, {MdCompImpl}},
};

TEST(SectionMethods, EachCompilerGetsItsStreamAndDescriptor)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(toSource(), kHostTO);
    ASSERT_EQ(src.status, 0);
    ASSERT_EQ(src.kind, 1);
    int32_t status = -1;

    const struct {
        int method;
        const char* firstStream;
        const char* descriptor;
    } cases[] = {
        {MdMethComments, "\r\n\r\n\r\n\r\nVARCOMMENT \r\nc\r\nEND_VARCOMMENT\r\n", "none"},
        {MdMethVariables, "\r\n\r\n\r\n\r\n\r\n\r\n\r\nVALUES \r\nv\r\nEND_VALUES\r\n", "TO"},
        {MdMethConnections, "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\nINTERFACE \r\ni\r\nEND_INTERFACE\r\n", "TO"},
        {MdMethSupportedTOs, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        if (!c.firstStream) continue;
        standIns.log.clear();
        EXPECT_EQ(callMethod(c.method, src, status), S_OK);
        EXPECT_EQ(status, 0) << c.method;
        ASSERT_EQ(standIns.log.size(), 1u);
        EXPECT_EQ(standIns.log[0].stream.substr(0, std::strlen(c.firstStream)), c.firstStream);
        EXPECT_EQ(standIns.log[0].descriptor, c.descriptor);
        EXPECT_TRUE(standIns.log[0].parsed);
        EXPECT_TRUE(src.idle()) << c.method;
    }
    // The descriptor works on the working file: its header is there.
    standIns.log.clear();
    EXPECT_EQ(callMethod(MdMethConnections, src, status), S_OK);
    EXPECT_TRUE(standIns.log.at(0).descriptorHasHeader);
    // The comment compiler gets its open section instead of a descriptor.
    standIns.log.clear();
    callMethod(MdMethComments, src, status);
    EXPECT_TRUE(standIns.log.at(0).hasSection);
    EXPECT_TRUE(standIns.log.at(0).tableWritten);
    EXPECT_TRUE(messages.records.empty());
}

TEST(SectionMethods, ResultsBecomeStatusesAndTheNextMethodStillWorks)
{
    for (const auto& run : kRuns) {
        for (int32_t result : {0, 3, 4, 5}) {
            MessageCapture messages;
            StandIns standIns;
            OpenedSource src(sourceFor(run.first), kHostTO);
            if (run.first == MdMethImplementations) {
                // Implementations turn errors counted under a 0 into 3 themselves.
                standIns.behaviour[MdCompImpl].errors = result == 3 ? 2 : 0;
                standIns.behaviour[MdCompImpl].result = result == 3 ? 0 : result;
            } else {
                for (int k : run.second) standIns.behaviour[k].result = result;
            }
            int32_t status = -1;
            EXPECT_EQ(callMethod(run.first, src, status), S_OK);
            EXPECT_EQ(status, result == 0 ? 0 : MdStatusCompileFailed) << run.first << " " << result;
            // A failing step stops the method: alarms without error texts,
            // boot functions without their later steps.
            const size_t expectSteps = result == 0 ? run.second.size() : 1;
            EXPECT_EQ(standIns.log.size(), expectSteps) << run.first << " " << result;
            EXPECT_TRUE(src.idle());
            EXPECT_EQ(src.slot, nullptr);

            const int next = run.first == MdMethSupportedTOs ? MdMethImplementations : MdMethConnections;
            standIns.behaviour[MdCompConnection] = Behaviour();
            standIns.behaviour[MdCompImpl] = Behaviour();
            standIns.log.clear();
            EXPECT_EQ(callMethod(next, src, status), S_OK);
            EXPECT_EQ(status, 0);
            EXPECT_EQ(standIns.log.size(), 1u);
        }
    }
}

TEST(SectionMethods, ZeroWithCountedErrorsIsAFailureForCommentsOnly)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(toSource(), kHostTO);
    int32_t status = -1;
    standIns.behaviour[MdCompVarComment].errors = 1;
    callMethod(MdMethComments, src, status);
    EXPECT_EQ(status, MdStatusCompileFailed);
    EXPECT_FALSE(standIns.log.at(0).tableWritten);
    // A compiler that says 0 is believed elsewhere.
    standIns.behaviour[MdCompConnection].errors = 1;
    callMethod(MdMethConnections, src, status);
    EXPECT_EQ(status, 0);
}

TEST(SectionMethods, StringCounterIsHandedOnAndTakenBack)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(toSource(), kHostTO);
    for (int k = 0; k < MdCompCount; ++k) standIns.behaviour[k].idsUsed = 2;
    int32_t status = -1;
    callMethod(MdMethComments, src, status);
    EXPECT_EQ(src.counter, 2);
    callMethod(MdMethAlarms, src, status);
    EXPECT_EQ(src.counter, 6);
    ASSERT_EQ(standIns.log.size(), 3u);
    EXPECT_EQ(standIns.log[1].firstStringId, 2);
    EXPECT_EQ(standIns.log[2].firstStringId, 4);
    callMethod(MdMethConnections, src, status);
    EXPECT_EQ(src.counter, 6);
    callMethod(MdMethVariables, src, status);
    EXPECT_EQ(src.counter, 8);
    // Boot functions: comments and error texts count; the boot-function
    // compiler itself gives nothing back.
    standIns.log.clear();
    callMethod(MdMethBootFunctions, src, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(src.counter, 12);
    ASSERT_EQ(standIns.log.size(), 4u);
    EXPECT_EQ(standIns.log[1].firstStringId, 0);   // first pass
    EXPECT_EQ(standIns.log[2].firstStringId, 10);  // second pass
    EXPECT_EQ(standIns.log[3].firstStringId, 10);
}

TEST(SectionMethods, CommentsOfAnEmptySectionAreNotParsed)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(headerOf(2) + "VALUES END_VALUES\n", kHostTO);
    int32_t status = -1;
    EXPECT_EQ(callMethod(MdMethComments, src, status), S_OK);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(standIns.log.size(), 1u);
    EXPECT_EQ(standIns.log[0].stream, "<none>");
    EXPECT_FALSE(standIns.log[0].parsed);
    EXPECT_TRUE(standIns.log[0].tableWritten);
    EXPECT_TRUE(messages.records.empty());

    // The table cannot be written.
    standIns.behaviour[MdCompVarComment].tableResult = 1;
    EXPECT_EQ(callMethod(MdMethComments, src, status), S_OK);
    EXPECT_EQ(status, MdStatusNotFound);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{101});
    EXPECT_EQ(messages.records[0].text, "Sektion Kommentar konnte nicht geöffnet werden");
    // In the boot functions the same is a compile failure.
    messages.clear();
    EXPECT_EQ(callMethod(MdMethBootFunctions, src, status), S_OK);
    EXPECT_EQ(status, MdStatusCompileFailed);
    EXPECT_TRUE(src.idle());
}

TEST(SectionMethods, AnEmptyStreamNeedsNoCompiler)
{
    MessageCapture messages;
    for (int32_t kind : {1, 4}) {
        StandIns standIns;
        for (int k = 0; k < MdCompCount; ++k) standIns.behaviour[k].idsUsed = 2;
        OpenedSource src(headerOf(kind), kHostTO);
        ASSERT_EQ(src.status, 0);
        for (int method = MdMethComments; method < MdMethCount; ++method) {
            if (!mdKindAccepted(method, kind)) continue;
            standIns.log.clear();
            int32_t status = -1;
            EXPECT_EQ(callMethod(method, src, status), S_OK) << method;
            EXPECT_EQ(status, 0) << method;
            // Comments keep their own steps for an empty section, and the
            // implementation grammar compiles the empty section.
            const bool compiles = method == MdMethComments || method == MdMethBootFunctions ||
                                  method == MdMethImplementations;
            EXPECT_EQ(standIns.log.size(), compiles ? 1u : 0u) << method;
            if (compiles) {
                EXPECT_EQ(standIns.log[0].kind, method == MdMethImplementations ? MdCompImpl : MdCompVarComment);
            }
            EXPECT_TRUE(src.idle());
        }
        // Only the comments took string ids.
        EXPECT_EQ(src.counter, kind == 1 ? 4 : 0);
        EXPECT_TRUE(messages.records.empty());
    }
}

// A working file copied from a descriptor of an earlier compile: for a source
// without a section, the sections its compiler writes are left empty, as a
// new descriptor has them; the others keep their bytes, and a section the
// working file lacks is not made.
TEST(SectionMethods, AnEmptyStreamLeavesTheSectionsOfItsCompilerEmpty)
{
    MessageCapture messages;
    StandIns standIns;
    const std::vector<const char*> written = {"units",  "varval",   "varext",   "varcont", "cfghead",
                                              "bitfield", "connectors", "almcfg", "almstr",  "errmsg",
                                              "bfinterf", "bfsymb",   "boot",     "rttotypes"};
    const std::vector<const char*> kept = {"symb", "enums", "mine", "unitinterf", "licence"};
    std::vector<std::pair<std::string, std::string>> host = kHostTO;
    for (const char* name : written) host.emplace_back(name, std::string("old ") + name);
    for (const char* name : kept) host.emplace_back(name, std::string("old ") + name);
    for (int32_t kind : {1, 5}) {
        // "const" is missing in this working file.
        OpenedSource src(headerOf(kind), host);
        ASSERT_EQ(src.status, 0);
        for (int method = MdMethComments; method < MdMethCount; ++method) {
            if (!mdKindAccepted(method, kind)) continue;
            int32_t status = -1;
            EXPECT_EQ(callMethod(method, src, status), S_OK) << method;
            EXPECT_EQ(status, 0) << method;
        }
        for (const char* name : written) {
            const bool emptied = kind == 1 ? std::strcmp(name, "rttotypes") != 0 : std::strcmp(name, "rttotypes") == 0;
            EXPECT_EQ(sectionText(src.work, name), emptied ? "" : std::string("old ") + name) << name << " " << kind;
        }
        for (const char* name : kept) EXPECT_EQ(sectionText(src.work, name), std::string("old ") + name) << name;
        EXPECT_EQ(sectionText(src.work, "const"), "<missing>");
        EXPECT_TRUE(src.idle());
    }
    EXPECT_TRUE(messages.records.empty());

    // A section that cannot be emptied (it is open for reading) fails the
    // step with message 101 and nothing compiled.
    OpenedSource src(headerOf(1), host);
    FsSecCl* open = nullptr;
    ASSERT_EQ(src.work.openSect("almstr", &open, 0), FS_OK);
    int32_t status = -1;
    EXPECT_EQ(callMethod(MdMethAlarms, src, status), S_OK);
    EXPECT_EQ(status, MdStatusCompileFailed);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{101});
    EXPECT_EQ(messages.records[0].text, "Sektion almstr konnte nicht geöffnet werden");
    src.work.CloseSect("almstr");
    EXPECT_EQ(sectionText(src.work, "almstr"), "old almstr");
    EXPECT_EQ(sectionText(src.work, "errmsg"), "old errmsg");  // the error texts did not run
}

TEST(SectionMethods, MissingSectionsAndStreams)
{
    MessageCapture messages;
    StandIns standIns;
    // The host storage has no comment section.
    OpenedSource src(toSource());
    int32_t status = -1;
    callMethod(MdMethComments, src, status);
    EXPECT_EQ(status, MdStatusNotFound);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "Sektion varcomment konnte nicht geöffnet werden");
    EXPECT_TRUE(standIns.log.empty());

    // A temporary stream that is gone.
    messages.clear();
    ASSERT_EQ(src.work.DestroySect("con_tmp"), 0u);
    EXPECT_EQ(callMethod(MdMethConnections, src, status), S_OK);
    EXPECT_EQ(status, MdStatusNotFound);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].id, 1101u);
    EXPECT_EQ(messages.records[0].text, "Stream con_tmp konnte nicht geöffnet werden");
    EXPECT_TRUE(standIns.log.empty());
    EXPECT_TRUE(src.idle());
}

TEST(SectionMethods, CompilerNotBuiltOrNotAllocated)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource to(toSource(), kHostTO);
    OpenedSource pkg(sourceFor(MdMethSupportedTOs));
    OpenedSource& src = to;
    int32_t status = -1;
    for (const auto& run : kRuns) {
        OpenedSource& src = run.first == MdMethSupportedTOs ? pkg : to;
        StandIns local;
        for (int k : run.second) local.notBuilt(k);
        messages.clear();
        EXPECT_EQ(callMethod(run.first, src, status), S_OK);
        EXPECT_EQ(status, MdStatusFailed) << run.first;
        EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0}) << run.first;
        EXPECT_EQ(messages.records.at(0).text, "Interner Fehler");
        EXPECT_TRUE(src.idle());
    }
    // Without a registered class provider the class-provider step fails.
    messages.clear();
    status = 0;
    EXPECT_EQ(callMethod(MdMethSysVars, src, status), E_FAIL);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0});

    for (const auto& run : kRuns) {
        OpenedSource& src = run.first == MdMethSupportedTOs ? pkg : to;
        StandIns local;
        local.allocationFails(run.second.front());
        status = 0;
        EXPECT_EQ(callMethod(run.first, src, status), E_OUTOFMEMORY) << run.first;
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(src.idle());
        EXPECT_EQ(src.slot, nullptr);
    }
    standIns.log.clear();
    EXPECT_EQ(callMethod(MdMethConnections, src, status), S_OK);
    EXPECT_EQ(status, 0);
}

TEST(SectionMethods, ExceptionsOfACompilerDoNotLeaveAnythingOpen)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(toSource(), kHostTO);
    int32_t status = -1;
    standIns.behaviour[MdCompConnection].onParse = [](const MdCompilerArgs&) { throw std::runtime_error("x"); };
    EXPECT_EQ(callMethod(MdMethConnections, src, status), S_OK);
    EXPECT_EQ(status, MdStatusFailed);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0});
    EXPECT_TRUE(src.idle());
    EXPECT_EQ(src.slot, nullptr);

    standIns.behaviour[MdCompConnection].onParse = [](const MdCompilerArgs&) { throw std::bad_alloc(); };
    EXPECT_EQ(callMethod(MdMethConnections, src, status), E_OUTOFMEMORY);
    EXPECT_TRUE(src.idle());

    standIns.behaviour[MdCompConnection] = Behaviour();
    EXPECT_EQ(callMethod(MdMethConnections, src, status), S_OK);
    EXPECT_EQ(status, 0);
}

TEST(SectionMethods, CompilerWritesLandInTheWorkingFile)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(toSource(), kHostTO);
    standIns.behaviour[MdCompConnection].onParse = [](const MdCompilerArgs& a) {
        FsSecCl* s = a.descriptor->getSect("connectors", FS_MODE_WRITE);
        ASSERT_NE(s, nullptr);
        *s << "written";
        a.descriptor->CloseSect("connectors");
    };
    int32_t status = -1;
    callMethod(MdMethConnections, src, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sectionText(src.work, "connectors"), "written");
}

TEST(SectionMethods, ImplementationsAndSupportedTypesByKind)
{
    MessageCapture messages;
    for (int32_t kind : {1, 2, 4, 5}) {
        StandIns standIns;
        OpenedSource src(headerOf(kind) + "SUPPORTED_TO_TYPES\nEND_SUPPORTED_TO_TYPES\n");
        ASSERT_EQ(src.kind, kind);
        int32_t status = -1;
        EXPECT_EQ(callMethod(MdMethImplementations, src, status), S_OK);
        EXPECT_EQ(status, 0);
        ASSERT_EQ(standIns.log.size(), 1u);
        EXPECT_EQ(standIns.log[0].descriptor, kind == 4 ? "TP" : "none") << kind;
        if (kind >= 4) {
            standIns.log.clear();
            EXPECT_EQ(callMethod(MdMethSupportedTOs, src, status), S_OK);
            EXPECT_EQ(status, 0);
            ASSERT_EQ(standIns.log.size(), 1u);
            EXPECT_EQ(standIns.log[0].descriptor, "TP");
            EXPECT_EQ(standIns.log[0].stream.substr(0, 26), "\r\n\r\n\r\n\r\nSUPPORTED_TO_TYPES");
        }
    }
}

TEST(SectionMethods, AcxImportRunsOnlyAfterASuccessfulCompile)
{
    MessageCapture messages;
    StandIns standIns;
    OpenedSource src(toSource(), kHostTO);
    MdFrontContext ctx = src.context();
    int calls = 0;
    auto acx = [&]() -> int32_t {
        ++calls;
        EXPECT_TRUE(src.idle());
        return MdStatusNoCfgHead;
    };
    int32_t status = -1;
    EXPECT_EQ(mdCompileVariables(ctx, String("rc"), acx, status), S_OK);
    EXPECT_EQ(status, MdStatusNoCfgHead);
    EXPECT_EQ(calls, 1);
    standIns.behaviour[MdCompVarExt].result = 4;
    EXPECT_EQ(mdCompileVariables(ctx, String("rc"), acx, status), S_OK);
    EXPECT_EQ(status, MdStatusCompileFailed);
    EXPECT_EQ(calls, 1);
}

// ---------------------------------------------------------------------------

// "0\r\n1\r\n2\r\n..." of at least size bytes.
std::string countedLines(std::size_t size)
{
    std::string text;
    for (int i = 0; text.size() < size; ++i) text += std::to_string(i) + "\r\n";
    return text;
}

TEST(StreamReader, ReadsWholeSectionsAndClosesThem)
{
    MessageCapture messages;
    FsFileMan work;
    ASSERT_TRUE(openMemoryFile(work));
    const std::string big = countedLines(3 * FsSecCl::WINDOW_SIZE + 17);
    ASSERT_TRUE(putSection(work, "big_tmp", big));
    ASSERT_TRUE(putSection(work, "empty_tmp", ""));

    CMDStrmHelper reader(&work);
    EXPECT_EQ(reader.open("big_tmp"), 0u);
    ASSERT_NE(reader.getStream(), nullptr);
    std::string got((std::istreambuf_iterator<char>(*reader.getStream())), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, big);
    // The section itself is closed: it can be opened for writing.
    EXPECT_NE(work.getSect("big_tmp", FS_MODE_WRITE), nullptr);
    work.CloseSect("big_tmp");
    // Rewinding reads it again; writing overwrites in place without growing.
    reader.getStream()->clear();
    reader.getStream()->seekg(0);
    reader.getStream()->seekp(1);
    *reader.getStream() << "XY";
    std::string again;
    std::getline(*reader.getStream(), again);
    EXPECT_EQ(again, "0XY1\r");  // "0\r\n1\r\n" with its first line end overwritten
    EXPECT_EQ(reader.getStream()->tellg(), std::streampos(6));
    reader.getStream()->seekg(0, std::ios::end);
    EXPECT_EQ(reader.getStream()->tellg(), std::streampos(big.size()));

    // A second open needs a close first.
    EXPECT_EQ(reader.open("empty_tmp"), 4u);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0});
    reader.close();
    EXPECT_EQ(reader.getStream(), nullptr);
    EXPECT_EQ(reader.open("empty_tmp"), 0u);
    EXPECT_EQ(reader.getStream()->peek(), EOF);
    EXPECT_TRUE(messages.records.size() == 1u);
}

TEST(StreamReader, ReadsInPlaceThroughItsWindowWhileTheStorageIsLent)
{
    MessageCapture messages;
    FsFileMan work;
    ASSERT_TRUE(openMemoryFile(work));
    const std::string big = countedLines(2 * MdSectionStreamBuf::WINDOW + 17);
    ASSERT_TRUE(putSection(work, "big_tmp", big));

    CMDStrmHelper reader(&work);
    ASSERT_EQ(reader.openInPlace("big_tmp"), 0u);
    EXPECT_EQ(reader.size(), big.size());
    std::istream& in = *reader.getStream();
    // A compiler reads while a descriptor has the working file's storage.
    IStorage* lent = nullptr;
    ASSERT_TRUE(work.getIStoragePtr(&lent));
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, big);
    // Rewound (the boot functions' second pass) and moved across windows.
    in.clear();
    in.seekg(0);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "0\r");
    in.seekg(std::streamoff(MdSectionStreamBuf::WINDOW) - 1, std::ios::cur);
    EXPECT_EQ(in.tellg(), std::streampos(MdSectionStreamBuf::WINDOW + 2));
    EXPECT_EQ(in.get(), big[MdSectionStreamBuf::WINDOW + 2]);
    in.seekg(0, std::ios::end);
    EXPECT_EQ(in.peek(), EOF);
    in.clear();
    EXPECT_FALSE(bool(in.seekg(1, std::ios::end)));
    // Reads of every size as a scanner makes them: a few bytes through the
    // window, then reads past it straight from the stream, positions kept.
    in.clear();
    in.seekg(0);
    std::string mixed;
    for (std::size_t n : {std::size_t(3), std::size_t(5000), std::size_t(100), std::size_t(70000), std::size_t(16384),
                          std::size_t(1), std::size_t(200000)}) {
        std::string piece(n, '\0');
        in.read(&piece[0], std::streamsize(n));
        mixed.append(piece, 0, std::size_t(in.gcount()));
        if (in) {
            EXPECT_EQ(in.tellg(), std::streampos(std::streamoff(mixed.size())));
        }
    }
    EXPECT_EQ(mixed, big);
    lent->Release();
    work.releaseIStoragePtr();
    EXPECT_TRUE(messages.records.empty());
}

TEST(StreamReader, FailuresAndTheirCodes)
{
    MessageCapture messages;
    CMDStrmHelper none(nullptr);
    EXPECT_EQ(none.open("x"), 0xFFFFu);
    EXPECT_EQ(mdStatusFromCode(0xFFFF), MdStatusFailed);
    EXPECT_EQ(mdStatusFromCode(4), int32_t(0xBE110004u));
    EXPECT_EQ(mdStatusFromCode(0xBE110039u), MdStatusNoCfgHead);

    FsFileMan work;
    ASSERT_TRUE(openMemoryFile(work));
    CMDStrmHelper reader(&work);
    EXPECT_EQ(reader.open("missing"), uint32_t(MdStatusNotFound));
    // A section that is open for writing elsewhere cannot be read.
    ASSERT_NE(work.getSect("busy", FS_MODE_WRITE), nullptr);
    EXPECT_EQ(reader.open("busy"), uint32_t(MdStatusFailed));
    EXPECT_EQ(reader.getStream(), nullptr);
    work.CloseSect("busy");
    // Checked without reading: the same answers, and nothing is open.
    EXPECT_EQ(reader.open("missing", false), uint32_t(MdStatusNotFound));
    ASSERT_TRUE(putSection(work, "there_tmp", "x\r\n"));
    EXPECT_EQ(reader.open("there_tmp", false), 0u);
    EXPECT_EQ(reader.getStream(), nullptr);
    EXPECT_EQ(reader.size(), 3u);
    EXPECT_EQ(reader.open("there_tmp"), 0u);
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{0, 1101, 1101, 1101}));
    EXPECT_EQ(messages.records[1].text, "Stream missing konnte nicht geöffnet werden");
}

}  // namespace
