#include "co/GlobTools.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "co/CoSettings.h"
#include "platform/settings_store.h"

namespace {

bool exists(const std::string& p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

void touch(const std::string& p)
{
    std::FILE* f = std::fopen(p.c_str(), "w");
    ASSERT_TRUE(f) << p;
    std::fputs("x", f);
    std::fclose(f);
}

}  // namespace

TEST(GlobTools, AbsolutePathsStayAndRelativeOnesGoBelowTheConfigDir)
{
    struct Case {
        const char* dir;
        const char* path;
        const char* result;
        bool changed;
    } cases[] = {
        {"/opt/tv/cfg", "C:\\x", "C:\\x", false},
        {"/opt/tv/cfg", "\\\\srv\\x", "\\\\srv\\x", false},
        {"/opt/tv/cfg", "\\x", "\\x", false},
        {"/opt/tv/cfg", "/x", "/x", false},
        {"/opt/tv/cfg", "c:rel", "c:rel", false},
        {"/opt/tv/cfg", "a\\b", "/opt/tv/cfg/a/b", true},
        {"/opt/tv/cfg/", "a\\b", "/opt/tv/cfg/a/b", true},
        {"/opt/tv\\cfg", "a/b", "/opt/tv/cfg/a/b", true},
        {"/opt/tv\\", "a", "/opt/tv/a", true},
        {"C:\\prog\\cfg", "a\\b", "C:\\prog\\cfg\\a\\b", true},
        {"C:\\prog\\cfg\\", "a\\b", "C:\\prog\\cfg\\\\a\\b", true},
        {"", "a\\b", "a\\b", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dir) + " + " + c.path);
        String path(c.path);
        EXPECT_EQ(makeAbsolutePathIn(path, String(c.dir)), c.changed);
        EXPECT_STREQ(path.c_str(), c.result);
    }
}

TEST(GlobTools, MakeAbsolutePathUsesTheSettings)
{
    const char* vrx = "SOFTWARE\\Korvent\\VRX\\4.1";
    const char* kernfeld = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld";
    tvp::settingsSetString("HKLM", vrx, "ProductDir", u"/opt/tv");
    tvp::settingsSetString("HKLM", kernfeld, "ConfigDir", u"cfg");
    resetSettingsCaches();

    String dir, path("units\\a.txt");
    EXPECT_TRUE(makeAbsolutePath(path, &dir));
    EXPECT_STREQ(dir.c_str(), "/opt/tv\\cfg");
    EXPECT_STREQ(path.c_str(), "/opt/tv/cfg/units/a.txt");
    String abs("C:\\x");
    EXPECT_FALSE(makeAbsolutePath(abs));
    EXPECT_STREQ(abs.c_str(), "C:\\x");

    tvp::settingsDeleteValue("HKLM", vrx, "ProductDir");
    tvp::settingsDeleteValue("HKLM", kernfeld, "ConfigDir");
    resetSettingsCaches();
    String rel("a\\b");
    EXPECT_FALSE(makeAbsolutePath(rel));
    EXPECT_STREQ(rel.c_str(), "a\\b");
}

TEST(GlobTools, TimeTexts)
{
    auto text = [](uint64_t ticks) {
        FILETIME ft{uint32_t(ticks), uint32_t(ticks >> 32)};
        return std::string(fileTimeToText(ft).c_str());
    };
    EXPECT_EQ(text(116444736000000000ULL), "1970-01-01#00:00:00.0");
    EXPECT_EQ(text(0), "1601-01-01#00:00:00.0");
    // 2000-02-29 23:59:59.999 (a leap day of a century year)
    EXPECT_EQ(text(116444736000000000ULL + (951868799ULL * 1000 + 999) * 10000), "2000-02-29#23:59:59.999");
    // 2024-03-01 01:02:03.045
    EXPECT_EQ(text(116444736000000000ULL + (1709254923ULL * 1000 + 45) * 10000), "2024-03-01#01:02:03.45");
    EXPECT_EQ(text(0x7FFFFFFFFFFFFFFFULL), "30828-09-14#02:48:05.477");
    EXPECT_EQ(text(0x8000000000000000ULL), "");
}

TEST(GlobTools, GuidAndObjectIdTexts)
{
    const GUID g = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    const char* gText = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    EXPECT_STREQ(guidToText(g).c_str(), gText);
    GUID back{};
    EXPECT_TRUE(textToGuid("{01234567-89ab-cdef-0123-456789abcdef}", &back));
    EXPECT_EQ(back, g);
    EXPECT_FALSE(textToGuid("01234567-89AB-CDEF-0123-456789ABCDEF", &back));
    EXPECT_EQ(back, GUID_NULL);

    EXPECT_EQ(std::string(guidNumbersToText(g, 3, -4).c_str()), std::string(gText) + " 3 -4");
    int32_t a = 0, b = 0;
    EXPECT_TRUE(textToGuidNumbers((std::string(gText) + " 3 -4").c_str(), &back, &a, &b));
    EXPECT_EQ(back, g);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, -4);
    EXPECT_FALSE(textToGuidNumbers((std::string(gText) + " 3").c_str(), &back, &a, &b));
    EXPECT_FALSE(textToGuidNumbers(gText, &back, &a, &b));

    CoObjectId id{};
    id.kind = 0;
    id.guid = g;
    EXPECT_EQ(std::string(objectIdToText(id).c_str()), std::string("ESOBJID:") + gText);
    id.kind = 1;
    const uint32_t px[6] = {0, 1, 0xABCDEF, 0xFFFFFFFF, 0x10, 0x7FFFFFFF};
    std::copy(px, px + 6, id.pxod);
    EXPECT_STREQ(objectIdToText(id).c_str(), "PXOD:0:1:ABCDEF:FFFFFFFF:10:7FFFFFFF");
    id.kind = 2;
    EXPECT_STREQ(objectIdToText(id).c_str(), "");

    CoObjectId r{};
    EXPECT_TRUE(textToObjectId("PXOD:0:1:abcdef:FFFFFFFF:10:7FFFFFFF", &r));
    EXPECT_EQ(r.kind, 1u);
    EXPECT_TRUE(std::equal(px, px + 6, r.pxod));
    EXPECT_FALSE(textToObjectId("PXOD:1:2:3:4:5", &r));
    EXPECT_TRUE(textToObjectId((std::string("ESOBJID:") + gText).c_str(), &r));
    EXPECT_EQ(r.kind, 0u);
    EXPECT_EQ(r.guid, g);
    EXPECT_FALSE(textToObjectId("ESOBJID:{bad}", &r));
    EXPECT_FALSE(textToObjectId("OBJ:1:2:3:4:5:6", &r));
    EXPECT_FALSE(textToObjectId("esobjid:{01234567-89AB-CDEF-0123-456789ABCDEF}", &r));
}

TEST(GlobTools, ValidationPatterns)
{
    auto full = [](const boost::regex& re, const char* s) { return boost::regex_match(s, re); };
    EXPECT_TRUE(full(CoPatterns::whiteSpace(), " \t\r\n\v\f"));
    EXPECT_TRUE(full(CoPatterns::signedInteger(), "-12"));
    EXPECT_FALSE(full(CoPatterns::unsignedInteger(), "-12"));
    EXPECT_TRUE(full(CoPatterns::hexDigits(), "09afAF"));
    for (const char* f : {"1.", "1.5", ".5", "12", "-1.5e+10", "3E-2"})
        EXPECT_TRUE(full(CoPatterns::floatNumber(), f)) << f;
    for (const char* f : {"1e10", ".", "-", "1.5e"}) EXPECT_FALSE(full(CoPatterns::floatNumber(), f)) << f;
    EXPECT_TRUE(full(CoPatterns::version(), "4.1"));
    EXPECT_TRUE(boost::regex_search("name.3.12", CoPatterns::versionSuffix()));
    EXPECT_TRUE(full(CoPatterns::identifier(), "_a1"));
    EXPECT_FALSE(full(CoPatterns::identifier(), "1a"));
    for (const char* id : {"a_b", "_a", "_1", "a_", "A1_b2"})
        EXPECT_TRUE(full(CoPatterns::identifierNoDoubleUnderscore(), id)) << id;
    for (const char* id : {"a__b", "__a", "a__", "1a"})
        EXPECT_FALSE(full(CoPatterns::identifierNoDoubleUnderscore(), id)) << id;
    EXPECT_TRUE(boost::regex_search("arr[3]", CoPatterns::indexOrMember()));
    EXPECT_TRUE(boost::regex_search("s.m", CoPatterns::indexOrMember()));
    EXPECT_TRUE(boost::regex_search("c:\\x", CoPatterns::driveLetter()));
    EXPECT_FALSE(boost::regex_search("x c:", CoPatterns::driveLetter()));
    EXPECT_TRUE(boost::regex_search("\\\\srv", CoPatterns::leadingBackslash()));
    EXPECT_FALSE(boost::regex_search("a\\b", CoPatterns::leadingBackslash()));
}

TEST(GlobTools, TemporaryFilesAndDirectories)
{
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    const std::string base = createTempDirectory().c_str();
    ASSERT_FALSE(base.empty());
    ::setenv("TMPDIR", base.c_str(), 1);

    const std::string a = createTempName(true).c_str(), b = createTempName(true).c_str();
    const std::string plain = createTempName(false).c_str();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(base + "/mctmp", 0), 0u);
    EXPECT_EQ(a.size(), base.size() + 1 + 20 + 6);  // a prefix of at most 20 characters
    EXPECT_EQ(plain.size(), base.size() + 1 + 5 + 6);
    struct stat st;
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A tree with a link to a directory outside it: the link goes, its
    // target stays. The tree is deeper than PATH_MAX allows as one path.
    const std::string outside = createTempDirectory().c_str();
    touch(outside + "/keep");
    const std::string tree = createTempDirectory().c_str();
    touch(tree + "/f");
    ASSERT_EQ(::symlink(outside.c_str(), (tree + "/link").c_str()), 0);
    ASSERT_EQ(::chdir(tree.c_str()), 0);
    const std::string name(200, 'd');
    for (int i = 0; i < 30; ++i) {   // 30 * 201 characters > PATH_MAX
        ASSERT_EQ(::mkdir(name.c_str(), 0700), 0);
        ASSERT_EQ(::chdir(name.c_str()), 0);
    }
    touch("leaf");
    ASSERT_EQ(::chdir(cwd), 0);

    EXPECT_TRUE(removeDirectoryTree(tree.c_str()));
    EXPECT_FALSE(exists(tree));
    EXPECT_TRUE(exists(outside + "/keep"));
    EXPECT_FALSE(removeDirectoryTree(tree.c_str()));

    ASSERT_EQ(::symlink(outside.c_str(), (base + "/dirlink").c_str()), 0);
    EXPECT_FALSE(removeDirectoryTree((base + "/dirlink").c_str()));
    EXPECT_TRUE(exists(outside + "/keep"));

    EXPECT_TRUE(removeDirectoryTree(outside.c_str()));
    EXPECT_TRUE(removeDirectoryTree(base.c_str()));
    if (oldTmp)
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}
