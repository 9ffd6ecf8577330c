// The entry method through the object's interface: pointer checks, the
// resource script, the working file's life, a second call, the ACX step.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "test_split_driver_support.h"

using namespace fronttest;

namespace {

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

TEST(ComOpenSource, RequiredPointers)
{
    TempFile src(headerOf(1));
    ComSession s;
    Bstr path(src.path()), empty("");
    LONG kind = -7, status = -7;
    CTavolin* o = s.obj;
    EXPECT_EQ(o->openSource(path, empty, empty, empty, nullptr, &s.display, 0, 0, 0, 0, &kind, &status), E_POINTER);
    EXPECT_EQ(o->openSource(path, empty, empty, empty, s.hostFile.storage(), nullptr, 0, 0, 0, 0, &kind, &status),
              E_POINTER);
    EXPECT_EQ(o->openSource(path, empty, empty, empty, s.hostFile.storage(), &s.display, 0, 0, 0, 0, nullptr, &status),
              E_POINTER);
    EXPECT_EQ(o->openSource(path, empty, empty, empty, s.hostFile.storage(), &s.display, 0, 0, 0, 0, &kind, nullptr),
              E_POINTER);
    EXPECT_EQ(kind, -7);
    EXPECT_EQ(status, -7);
    EXPECT_EQ(o->objectKind(), -1);
    EXPECT_TRUE(o->workFilePath().empty());
    // Nothing was kept: the source can still be opened.
    EXPECT_EQ(s.open(src.path()), S_OK);
    EXPECT_EQ(s.kind, 1);
}

TEST(ComOpenSource, ResourceScriptAndItsMessage)
{
    TempFile src(headerOf(4));
    TempFile rc("x\r\n");
    ComSession s;
    EXPECT_EQ(s.open(src.path(), "", rc.path(), "Paket \xc3\xa4"), S_OK);
    EXPECT_EQ(s.status, 0);
    // The text reaches the script in the code page of the host (ä = 0xE4).
    EXPECT_EQ(readFile(rc.path()), "x\r\nSTRINGTABLE DISCARDABLE\r\nBEGIN\r\n   0xfffe   \"Paket \xe4\"\r\nEND\r\n\r\n");
    EXPECT_TRUE(s.display.texts.empty());

    // A script that cannot be opened is reported to the display of this
    // call; the source is opened all the same.
    ComSession t;
    EXPECT_EQ(t.open(src.path(), "", "/nonexistent-dir/x.rc", "t"), S_OK);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.kind, 4);
    ASSERT_EQ(t.display.ids(), std::vector<uint32_t>{100});
    EXPECT_NE(t.display.texts[0].find("File /nonexistent-dir/x.rc konnte nicht geöffnet werden"), std::string::npos);
}

TEST(ComOpenSource, WorkingFileLivesWithTheObject)
{
    TempFile src(headerOf(2) + "BITFIELDS END_BITFIELDS\n");
    std::string workPath;
    {
        ComSession s;
        EXPECT_EQ(s.open(src.path()), S_OK);
        EXPECT_EQ(s.status, MdStatusCompileFailed);
        EXPECT_EQ(s.kind, 2);
        ASSERT_EQ(s.display.ids(), std::vector<uint32_t>{202});
        // The message carries the source and its line.
        EXPECT_EQ(s.display.texts[0].find(src.path() + "(5)"), 0u) << s.display.texts[0];
        workPath = s.obj->workFilePath().c_str();
        EXPECT_TRUE(exists(workPath));
    }
    EXPECT_FALSE(exists(workPath));
}

TEST(ComOpenSource, SourceWithoutHeaderOrMissing)
{
    TempFile src("INTERFACE END_INTERFACE\n");
    ComSession s;
    EXPECT_EQ(s.open(src.path()), S_OK);
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.kind, -7);  // untouched
    EXPECT_EQ(s.obj->objectKind(), -1);

    ComSession m;
    EXPECT_EQ(m.open("/nonexistent-dir/x.tos"), S_OK);
    EXPECT_EQ(m.status, MdStatusNotFound);
    EXPECT_EQ(m.display.ids(), std::vector<uint32_t>{100});
    EXPECT_TRUE(m.obj->workFilePath().empty());
}

TEST(ComOpenSource, SecondCallIsRefusedBeforeAnythingChanges)
{
    TempFile first(headerOf(1));
    TempFile second(headerOf(4));
    TempFile rc;
    ComSession s;
    ASSERT_EQ(s.open(first.path()), S_OK);
    const std::string workPath = s.obj->workFilePath().c_str();

    TestDisplay other;
    Bstr path(second.path()), empty(""), rcPath(rc.path()), text("t");
    LONG kind = -7, status = -7;
    EXPECT_EQ(s.obj->openSource(path, empty, rcPath, text, s.hostFile.storage(), &other, 9, 9, 0, 0x7E, &kind, &status),
              S_OK);
    EXPECT_EQ(status, MdStatusFailed);
    EXPECT_EQ(kind, -7);
    EXPECT_EQ(s.obj->objectKind(), 1);
    EXPECT_EQ(std::string(s.obj->workFilePath().c_str()), workPath);
    EXPECT_TRUE(exists(workPath));
    EXPECT_EQ(readFile(rc.path()), "");
    EXPECT_TRUE(other.texts.empty());
    EXPECT_EQ(other.refs, 1u);  // not kept

    // The first source's working file still serves the methods.
    LONG st = -1;
    EXPECT_EQ(s.obj->compileSupportedTOs(&st), S_OK);
    EXPECT_EQ(st, MdStatusWrongKind);
    EXPECT_EQ(s.display.ids(), std::vector<uint32_t>{102});
}

TEST(ComOpenSource, AcxStep)
{
    TempFile acx("not an acx file");
    // No object kind: nothing to check the ACX file against.
    TempFile noHeader("VALUES END_VALUES\n");
    ComSession s;
    EXPECT_EQ(s.open(noHeader.path(), acx.path()), S_OK);
    EXPECT_EQ(s.status, MdStatusWrongKind);
    EXPECT_EQ(s.display.ids(), std::vector<uint32_t>{102});

    // With a kind the file is read: not an ACX file (fatal 11), so there is
    // no header to check.
    TempFile src(headerOf(1));
    ComSession t;
    EXPECT_EQ(t.open(src.path(), acx.path()), S_OK);
    EXPECT_EQ(t.kind, 1);
    EXPECT_EQ(t.status, MdStatusFailed);
    EXPECT_EQ(t.display.ids(), std::vector<uint32_t>{1300});
    // The working file is usable afterwards.
    LONG st = -1;
    const char* names[] = {"header"};
    EXPECT_EQ(t.obj->copySections(1, names, &st), S_OK);
    EXPECT_EQ(st, MdStatusNotFound);
}

}  // namespace
