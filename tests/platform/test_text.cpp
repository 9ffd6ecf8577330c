#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/storage.h"
#include "platform/text.h"

TEST(Text, Cp1252Golden)
{
    EXPECT_EQ(tvp::wideToAnsi(u"Gr\u00f6\u00dfe\u20ac"), std::string("\x47\x72\xF6\xDF\x65\x80"));
    EXPECT_EQ(tvp::ansiToWide(std::string("\x47\x72\xF6\xDF\x65\x80")), u"Gr\u00f6\u00dfe\u20ac");

    // Every byte maps to a unit that maps back to the same byte.
    for (int b = 0; b < 256; ++b) {
        char16_t w = tvp::ansiCharToWide(static_cast<unsigned char>(b));
        bool mapped = false;
        EXPECT_EQ(static_cast<unsigned char>(tvp::wideCharToAnsi(w, &mapped)), b) << b;
        EXPECT_TRUE(mapped);
    }
    // The 0x80-0x9F block holds the typographic characters, not C1 controls.
    EXPECT_EQ(tvp::ansiCharToWide(0x84), u'\u201e');
    EXPECT_EQ(tvp::ansiCharToWide(0x93), u'\u201c');
    EXPECT_EQ(tvp::ansiCharToWide(0x9F), u'\u0178');
    bool mapped = true;
    EXPECT_EQ(tvp::wideCharToAnsi(u'\u0080', &mapped), '?');
    EXPECT_FALSE(mapped);
    EXPECT_EQ(tvp::wideToAnsi(u"a\u0100\U0001F600z"), "a??z");  // a pair is one '?'
    EXPECT_EQ(tvp::wideToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

// The five bytes the code page leaves undefined, against the C library's
// converter, which follows the code page's definition and refuses exactly
// those.
TEST(Text, Cp1252UndefinedBytes)
{
    const unsigned char undefined[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    int count = 0;
    for (int b = 0; b < 256; ++b) count += tvp::ansiByteUndefined(static_cast<unsigned char>(b));
    EXPECT_EQ(count, 5);
    for (unsigned char b : undefined) EXPECT_TRUE(tvp::ansiByteUndefined(b)) << int(b);

    iconv_t cd = iconv_open("UTF-16LE", "CP1252");
    if (cd == iconv_t(-1)) GTEST_SKIP() << "the C library has no CP1252 converter";
    for (int b = 0; b < 256; ++b) {
        char in = char(b), out[8];
        char* from = &in;
        char* to = out;
        size_t inLeft = 1, outLeft = sizeof out;
        const bool converted = iconv(cd, &from, &inLeft, &to, &outLeft) != size_t(-1);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(tvp::ansiByteUndefined(static_cast<unsigned char>(b)), !converted) << b;
    }
    iconv_close(cd);
}

TEST(Text, Utf8RoundTripAndMalformedInput)
{
    std::u16string w = u"A\u00e4\u20ac\U0001F600";
    std::string u8 = tvp::wideToUtf8(w);
    EXPECT_EQ(u8, "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(tvp::utf8ToWide(u8), w);

    EXPECT_EQ(tvp::wideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(tvp::utf8ToWide(std::string("a\xC3")), u"a\uFFFD");            // truncated
    EXPECT_EQ(tvp::utf8ToWide(std::string("\xC0\xAF")), u"\uFFFD\uFFFD");     // overlong
    EXPECT_EQ(tvp::utf8ToWide(std::string("\xED\xA0\x80")), u"\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_EQ(tvp::utf8ToWide(std::string("\xE2\x82x")), u"\uFFFD\uFFFDx");
}

TEST(Text, WideHelpers)
{
    EXPECT_EQ(tvp::u16len(u"abc"), 3u);
    EXPECT_EQ(tvp::u16len(nullptr), 0u);
    EXPECT_LT(tvp::u16cmp(u"abc", u"abd"), 0);
    EXPECT_GT(tvp::u16cmp(u"\u00e4", u"z"), 0);
    EXPECT_EQ(tvp::u16cmp(nullptr, u""), 0);
    EXPECT_EQ(tvp::u16icmpAscii(u"Hello", u"hELLO"), 0);
    EXPECT_NE(tvp::u16icmpAscii(u"\u00c4", u"\u00e4"), 0);
    char16_t buf[4];
    EXPECT_EQ(tvp::u16copy(buf, 4, u"abcdef"), 3u);
    EXPECT_EQ(std::u16string(buf), u"abc");

    EXPECT_EQ(tvp::wideToUpper(u'\u00ff'), u'\u0178');
    EXPECT_EQ(tvp::wideToLower(u'\u0178'), u'\u00ff');
    EXPECT_EQ(tvp::wideToUpper(u'\u00df'), u'\u00df');
    EXPECT_TRUE(tvp::wideIsLower(u'\u00df'));
    EXPECT_FALSE(tvp::wideIsUpper(u'\u00df'));
    EXPECT_EQ(tvp::wideToUpper(u'\u00f7'), u'\u00f7');  // division sign
    EXPECT_EQ(tvp::wideToUpper(u'\u0131'), u'I');
    // Upper and lower mappings are inverse for every letter that has both.
    for (int c = 0; c < 0x10000; ++c) {
        char16_t x = char16_t(c);
        char16_t up = tvp::wideToUpper(x);
        if (up != x && x != u'\u0131' && x != u'\u017f' && x != u'\u00b5' && x != u'\u03c2') {
            EXPECT_EQ(tvp::wideToLower(up), x) << std::hex << c;
        }
    }
}

// A path is bytes: its UTF-16 form reads it as UTF-8 and keeps each byte of
// no valid sequence as U+DC00 + byte, so that every byte string comes back,
// and the storage opens the file those very bytes name.
TEST(Text, PathsComeBackAsTheBytesTheyAre)
{
    const struct {
        std::string bytes;
        std::u16string wide;
    } cases[] = {
        {"plain/axis.tos", u"plain/axis.tos"},
        {"Gr\xC3\xBC\xC3\x9F" "e", u"Gr\u00FC\u00DF" "e"},                       // UTF-8
        {"Gr\xFC\xDF" "e", u"Gr\xDCFC\xDCDF" "e"},                                 // Latin-1
        {"\x80\x84\x9F", u"\xDC80\xDC84\xDC9F"},                                   // code page 1252's own
        {"\xE2\x82\xAC\x80", u"\u20AC\xDC80"},                                     // valid, then not
        {"\xF0\x9F\x98\x80\xFF", u"\U0001F600\xDCFF"},                              // a pair, then a byte
        {"a\xE2\x82", u"a\xDCE2\xDC82"},                                           // cut short
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                                             // overlong
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},                                   // a surrogate's bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tvp::pathToWide(c.bytes), c.wide) << c.bytes;
        EXPECT_EQ(tvp::wideToPath(c.wide), c.bytes) << c.bytes;
        EXPECT_EQ(tvp::wideToPath(tvp::pathToWide(c.bytes.c_str()).c_str()), c.bytes) << c.bytes;
    }
    std::string every;
    for (int b = 1; b < 256; ++b) every += char(b);
    EXPECT_EQ(tvp::wideToPath(tvp::pathToWide(every)), every);
    // No path gives another lone surrogate: it is written as U+FFFD.
    EXPECT_EQ(tvp::wideToPath(u"\xD800x\xDC41"), "\xEF\xBF\xBDx\xEF\xBF\xBD");

    std::string dir = std::string(TV_BINARY_DIR) + "/tvpathsXXXXXX";
    ASSERT_NE(::mkdtemp(&dir[0]), nullptr);
    for (const auto& c : cases) {
        if (c.bytes.find('/') != std::string::npos) continue;
        const std::string file = dir + "/" + c.bytes;
        const std::u16string wide = tvp::pathToWide(file);
        IStorage* stg = nullptr;
        ASSERT_EQ(StgCreateDocfile(wide.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &stg), S_OK)
            << c.bytes;
        stg->Release();
        struct stat st;
        EXPECT_EQ(::stat(file.c_str(), &st), 0) << c.bytes;
        EXPECT_EQ(StgIsStorageFile(wide.c_str()), S_OK) << c.bytes;
        stg = nullptr;
        EXPECT_EQ(StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &stg), S_OK)
            << c.bytes;
        if (stg) stg->Release();
        ::unlink(file.c_str());
    }
    ::rmdir(dir.c_str());
}
