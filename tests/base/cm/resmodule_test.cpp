#include "platform/resmodule.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using tvp::ResModule;

namespace {

std::u16string get(const ResModule& m, uint32_t id)
{
    std::u16string t = u"<absent>";
    m.lookup(id, t);
    return t;
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/tv_resmod_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream f(path + "/" + name, std::ios::binary);
        f << bytes;
    }
};

}  // namespace

TEST(ResModule, ParsesStringTableBlocks)
{
    auto m = ResModule::fromText(
        "// header comment\r\n"
        "#include \"x.h\"\r\n"
        "   7   \"outside any block\"\r\n"
        "STRINGTABLE DISCARDABLE\r\n"
        "BEGIN\r\n"
        "   0x01A3   \"hex id\"\r\n"
        "   32701    \"1 0 0 Info\"\r\n"
        "   12, \"comma \"\"quoted\"\" a\\tb\\\\c\\q\"\r\n"
        "   13   \"first wins\"\r\n"
        "   13   \"second\"\r\n"
        "   70000   \"too large\"\r\n"
        "   14   \"unterminated\r\n"
        "   15   \"\"\r\n"
        "END\r\n"
        "\r\n"
        "STRINGTABLE\n"
        "LANGUAGE 7, 1\n"
        "{\n"
        "  65534 \"module text\"\n"
        "}\n"
        "  16 \"after the block\"\n");
    EXPECT_EQ(get(*m, 0x1A3), u"hex id");
    EXPECT_EQ(get(*m, 32701), u"1 0 0 Info");
    EXPECT_EQ(get(*m, 12), u"comma \"quoted\" a\tb\\c\\q");
    EXPECT_EQ(get(*m, 13), u"first wins");
    EXPECT_EQ(get(*m, 15), u"");
    EXPECT_EQ(get(*m, 65534), u"module text");
    EXPECT_EQ(get(*m, 7), u"<absent>");
    EXPECT_EQ(get(*m, 14), u"<absent>");
    EXPECT_EQ(get(*m, 16), u"<absent>");
    EXPECT_EQ(get(*m, 70000 & 0xFFFF), u"<absent>");
    EXPECT_EQ(m->size(), 6u);
}

TEST(ResModule, DecodesUtf8ElseCodePage1252)
{
    // "geöffnet" with the o-umlaut in UTF-8 (with BOM) and in code page 1252.
    auto utf8 = ResModule::fromText("\xEF\xBB\xBFSTRINGTABLE\nBEGIN\n 1 \"ge\xC3\xB6" "ffnet \xE2\x82\xAC\"\nEND\n");
    EXPECT_EQ(get(*utf8, 1), u"geöffnet €");
    auto ansi = ResModule::fromText("STRINGTABLE\nBEGIN\n 1 \"ge\xF6" "ffnet \x80\"\nEND\n");
    EXPECT_EQ(get(*ansi, 1), u"geöffnet €");
}

TEST(ResModule, LoadStringCutsToBuffer)
{
    std::string longText(600, 'a');
    auto m = ResModule::fromText("STRINGTABLE\nBEGIN\n 1 \"" + longText + "\"\n 2 \"abc\"\nEND\n");
    char16_t buf[512];
    EXPECT_EQ(m->loadString(1, buf, 512), 511);
    EXPECT_EQ(buf[511], 0);
    EXPECT_EQ(m->loadString(2, buf, 512), 3);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(m->loadString(3, buf, 512), 0);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(m->loadString(2, buf, 3), 2);
    EXPECT_EQ(std::u16string(buf), u"ab");
}

// The narrow load: code page 1252 bytes (a character it lacks is '?'), cut
// to the room less one byte, terminated; 0 without module or string.
TEST(ResModule, NarrowLoadInCodePage1252)
{
    auto m = ResModule::fromText("STRINGTABLE\nBEGIN\n 1 \"\xC3\xA4\xE2\x82\xAC\xE4\xB8\x80x\"\nEND\n");
    char buf[8];
    EXPECT_EQ(tvp::loadStringA(m.get(), 1, buf, 8), 4);
    EXPECT_STREQ(buf, "\xE4\x80?x");
    EXPECT_EQ(tvp::loadStringA(m.get(), 1, buf, 3), 2);
    EXPECT_STREQ(buf, "\xE4\x80");
    EXPECT_EQ(tvp::loadStringA(m.get(), 2, buf, 8), 0);
    EXPECT_STREQ(buf, "");
    buf[0] = 'z';
    EXPECT_EQ(tvp::loadStringA(nullptr, 1, buf, 8), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(tvp::loadStringA(m.get(), 1, buf, 0), 0);
}

TEST(ResModule, FindsLibraryInGivenDirectoryOnly)
{
    TempDir dir;
    dir.write("tvmsgtxa.rc", "STRINGTABLE\nBEGIN\n 5 \"five\"\nEND\n");

    EXPECT_EQ(ResModule::filePath(".\\tvmsgtxa.dll", "/opt/p"), "/opt/p/tvmsgtxa.rc");
    // Never relative to the current directory.
    EXPECT_EQ(ResModule::filePath("tvmsgtxa", "C:\\prod\\"), "");
    EXPECT_EQ(ResModule::filePath("tvmsgtxa", "prod"), "");
    EXPECT_EQ(ResModule::filePath("tvmsgtxa.dll", ""), "");

    auto m = ResModule::open(".\\tvmsgtxa.dll", dir.path);
    ASSERT_TRUE(m);
    EXPECT_EQ(get(*m, 5), u"five");
    EXPECT_EQ(m->path(), dir.path + "/tvmsgtxa.rc");

    // Names are case-insensitive where they come from.
    EXPECT_TRUE(ResModule::open("TVMSGTXA.DLL", dir.path));
    EXPECT_FALSE(ResModule::open(".\\tvmsgtxb.dll", dir.path));
    // An absolute name is used as it is.
    EXPECT_TRUE(ResModule::open(dir.path + "/tvmsgtxa.dll", ""));

    // Never the current directory, even when the file is there.
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    EXPECT_FALSE(ResModule::open(".\\tvmsgtxa.dll", ""));
    ASSERT_EQ(chdir(cwd), 0);
}
