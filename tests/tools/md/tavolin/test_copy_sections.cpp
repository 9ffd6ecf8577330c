// Copying finished sections from the working file into the host's storage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdFrontEnd.h"

using namespace fronttest;

namespace {

const std::vector<std::pair<std::string, std::string>> kHost = {
    {"connectors", std::string(50000, 'h')},  // longer than what replaces it
    {"rttotypes", "old types"},
    {"header", "old header"},
};

TEST(CopySections, ReplacesWholeSectionsInOrder)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1), kHost);
    ASSERT_EQ(src.status, 0);
    ASSERT_TRUE(putSection(src.work, "connectors", "new connectors\r\n"));
    const std::string header = sectionText(src.work, "header");
    ASSERT_NE(header.substr(0, 3), "old");

    const char* names[] = {"connectors", "header"};
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 2, names), 0);
    EXPECT_EQ(sectionText(*src.target, "connectors"), "new connectors\r\n");
    EXPECT_EQ(sectionText(*src.target, "header"), header);
    EXPECT_EQ(sectionText(*src.target, "rttotypes"), "old types");
    EXPECT_TRUE(messages.records.empty());
    EXPECT_TRUE(src.idle());
}

TEST(CopySections, HostNamesInAnotherLetterCaseAreTheSameSections)
{
    // A host stream "VAR_TMP" is the split's var_tmp: it is replaced, not
    // destroyed, so the copy finds it and the sections after it are copied.
    MessageCapture messages;
    OpenedSource src(headerOf(1), {{"VAR_TMP", "host"}, {"CONNECTORS", "old"}});
    ASSERT_EQ(src.status, 0);
    ASSERT_TRUE(putSection(src.work, "connectors", "new"));
    const char* names[] = {"var_tmp", "connectors"};
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 2, names), 0);
    EXPECT_EQ(sectionText(*src.target, "CONNECTORS"), "new");
    EXPECT_TRUE(messages.records.empty());
}

TEST(CopySections, NothingOrANegativeCountCopiesNothing)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1), kHost);
    const char* names[] = {"header"};
    for (int16_t count : {int16_t(0), int16_t(-1), int16_t(-32768)})
        EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), count, names), 0);
    EXPECT_EQ(sectionText(*src.target, "header"), "old header");
    EXPECT_TRUE(messages.records.empty());
}

TEST(CopySections, MissingNamesStopTheCopy)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1), kHost);
    ASSERT_TRUE(putSection(src.work, "connectors", "c"));
    ASSERT_TRUE(putSection(src.work, "only_here", "x"));

    // Missing in the working file: what came before stays copied.
    const char* first[] = {"connectors", "absent", "header"};
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 3, first), MdStatusNotFound);
    EXPECT_EQ(sectionText(*src.target, "connectors"), "c");
    EXPECT_EQ(sectionText(*src.target, "header"), "old header");
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{101});
    EXPECT_EQ(messages.records[0].text, "Sektion absent konnte nicht geöffnet werden");

    // Missing in the host storage: nothing is created there, and the
    // working file's section is closed again.
    messages.clear();
    const char* second[] = {"only_here"};
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 1, second), MdStatusNotFound);
    EXPECT_EQ(src.target->getType("only_here"), 2u);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{101});
    EXPECT_TRUE(src.idle());

    // Null and empty names.
    messages.clear();
    const char* bad[] = {nullptr, ""};
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 1, bad), MdStatusNotFound);
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 1, bad + 1), MdStatusNotFound);
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{101, 101}));
}

TEST(CopySections, WithoutTargetStorage)
{
    MessageCapture messages;
    FsFileMan work;
    const char* names[] = {"header"};
    EXPECT_EQ(mdCopyFinishedSections(&work, nullptr, 1, names), MdStatusNoTarget);
    EXPECT_TRUE(messages.records.empty());
}

TEST(CopySections, ReadOnlyTargetIsAFailure)
{
    MessageCapture messages;
    OpenedSource src(headerOf(1), kHost);
    src.target->setFlags(0);
    const char* names[] = {"header"};
    EXPECT_EQ(mdCopyFinishedSections(&src.work, src.target.get(), 1, names), MdStatusFailed);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{101});
    EXPECT_TRUE(src.idle());
}

}  // namespace
