// Opening a description source: the resource-script string table, the
// working file in the temporary directory with the host's sections, the
// split and its statuses.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdFrontEnd.h"

using namespace fronttest;

namespace {

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

TEST(OpenSource, ResourceScriptGetsOneStringTable)
{
    TempFile rc("// existing script\r\n");
    EXPECT_TRUE(mdAppendResourceStringTable(rc.c_str(), "Achse \xe4 \"x\""));
    EXPECT_EQ(readFile(rc.path()),
              "// existing script\r\n"
              "STRINGTABLE DISCARDABLE\r\n"
              "BEGIN\r\n"
              "   0xfffe   \"Achse \xe4 \"\"x\"\"\"\r\n"
              "END\r\n"
              "\r\n");
    // A script that does not exist yet is created; one that cannot be
    // opened is left alone.
    TempFile dir;
    const std::string fresh = dir.path() + ".rc";
    EXPECT_TRUE(mdAppendResourceStringTable(fresh.c_str(), ""));
    EXPECT_EQ(readFile(fresh), "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0xfffe   \"\"\r\nEND\r\n\r\n");
    ::unlink(fresh.c_str());
    // The text is written like the compilers' texts: quotes doubled, each
    // line end (CR LF, LF or CR) as \n, so that the entry keeps to its line
    // and no statement of the text reaches the script.
    TempFile hostile;
    EXPECT_TRUE(mdAppendResourceStringTable(hostile.c_str(), "a\"b\nEND\r\nSTRINGTABLE\rx\\n\""));
    EXPECT_EQ(readFile(hostile.path()),
              "STRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0xfffe   \"a\"\"b\\nEND\\nSTRINGTABLE\\nx\\n\"\"\"\r\nEND\r\n\r\n");
    EXPECT_FALSE(mdAppendResourceStringTable("/nonexistent-dir/x.rc", "t"));
    EXPECT_FALSE(mdAppendResourceStringTable("", "t"));
}

TEST(OpenSource, WorkingFileHoldsHostSectionsStreamsAndHeader)
{
    MessageCapture messages;
    OpenedSource src(headerOf(2) + "VALUES\n\x1a" + std::string(1, '\0') + "x\nEND_VALUES\n",
                     {{"varcomment", "host comment"}});
    EXPECT_EQ(src.hr, S_OK);
    EXPECT_EQ(src.status, 0);
    EXPECT_EQ(src.kind, 2);
    EXPECT_EQ(src.typeId.guid.Data1, 0x11111111u);
    EXPECT_TRUE(messages.records.empty());

    // In the temporary directory, a real file.
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    EXPECT_EQ(std::string(src.workPath.c_str()).substr(0, dir.size() + 6), dir + "/mctmp");
    EXPECT_TRUE(exists(src.workPath.c_str()));

    EXPECT_EQ(sectionText(src.work, "varcomment"), "host comment");
    EXPECT_EQ(sectionText(src.work, "var_tmp").substr(0, 18), "\r\n\r\n\r\n\r\nVALUES \r\n\x1a");
    EXPECT_EQ(sectionText(src.work, "header").substr(0, 3), "3\r\n");
    EXPECT_NE(src.target, nullptr);
    EXPECT_TRUE(src.idle());
}

TEST(OpenSource, SourceErrorsStillGiveAWorkingFile)
{
    MessageCapture messages;
    OpenedSource src(headerOf(4) + "BITFIELDS END_BITFIELDS\n");
    EXPECT_EQ(src.hr, S_OK);
    EXPECT_EQ(src.status, MdStatusCompileFailed);
    EXPECT_EQ(src.kind, 4);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{202});
    EXPECT_NE(sectionText(src.work, "header"), "<missing>");
}

TEST(OpenSource, MissingSource)
{
    MessageCapture messages;
    FsFileMan hostFile;
    ASSERT_TRUE(openMemoryFile(hostFile));
    FsFileMan work;
    String path;
    std::unique_ptr<FsSectMan> target;
    int32_t kind = -1;
    RTTypeID typeId;
    MdWorkState state{&work, &path, &target, &kind, &typeId};
    int32_t status = -1;
    EXPECT_EQ(mdOpenWorkingSource("/nonexistent-dir/axis.tos", hostFile.storage(), 0, state, status), S_OK);
    EXPECT_EQ(status, MdStatusNotFound);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{100});
    EXPECT_EQ(messages.records[0].text, "File /nonexistent-dir/axis.tos konnte nicht geöffnet werden");
    EXPECT_FALSE(work.hasStorage());
    EXPECT_TRUE(path.empty());
    // A directory is no source either.
    EXPECT_EQ(mdOpenWorkingSource("/", hostFile.storage(), 0, state, status), S_OK);
    EXPECT_EQ(status, MdStatusNotFound);
}

TEST(OpenSource, StaleTemporaryStreamsOfTheHostAreNotKept)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1) + "INTERFACE\nnew\nEND_INTERFACE\n", {{"con_tmp", "stale host text"}});
    EXPECT_EQ(src.status, 0);
    EXPECT_EQ(sectionText(src.work, "con_tmp"), "\r\n\r\n\r\n\r\nINTERFACE \r\nnew\r\nEND_INTERFACE\r\n");
}

}  // namespace
