// The string-table writer against a resource compiler that no one here
// wrote: each text through the writer into a script of its own, the script
// compiled by windres, and the string read back compared with the text as
// its author meant it - a backslash escape of the author's taken (a pair is
// one backslash, \t a tab, \x41 an A), a lone backslash before a quote, a
// line end, the text's end or an x without digits standing for itself, line
// ends as line feeds - and the characters the writer counts for a text
// (the length of its string resource) are those that read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "co/GlobTools.h"
#include "test_split_driver_support.h"
#include "tests/tools/md/tavolin/windres_reader.h"
#include "tools/md/tavolin/MdRcStringTable.h"

using namespace fronttest;

namespace {

// A directory for the scripts and .res files, removed at the end.
struct ScratchDir {
    const std::string path = createTempDirectory().c_str();
    ~ScratchDir() { removeDirectoryTree(path.c_str()); }
};

TEST(RcScriptWindres, EveryTextCompilesAndReadsBackAsMeant)
{
    RCTEST_NEEDS_WINDRES();
    const struct {
        const char* what;
        std::string text;
        std::u16string meant;
    } cases[] = {
        {"quote", "end\"x", u"end\"x"},
        {"quotes only", "\"\"", u"\"\""},
        {"backslash before a quote", "end\\\"x", u"end\\\"x"},
        {"a pair before a quote", "a\\\\\"b", u"a\\\"b"},
        {"three before a quote", "a\\\\\\\"b", u"a\\\\\"b"},
        {"four before a quote", "a\\\\\\\\\"b", u"a\\\\\"b"},
        {"backslash at the end", "ends\\", u"ends\\"},
        {"a pair at the end", "ends\\\\", u"ends\\"},
        {"three at the end", "ends\\\\\\", u"ends\\\\"},
        {"a backslash alone", "\\", u"\\"},
        {"backslash before LF", "a\\\nb", u"a\\\nb"},
        {"backslash before CR LF", "a\\\r\nb", u"a\\\nb"},
        {"backslash before CR", "a\\\rb", u"a\\\nb"},
        {"a pair before LF", "a\\\\\nb", u"a\\\nb"},
        {"the author's escapes", "C:\\temp\\new", u"C:\temp\new"},
        {"an escaped backslash", "C:\\\\temp", u"C:\\temp"},
        // \x and \X with no hexadecimal digit after them are no escape
        {"x at the end", "c\\x", u"c\\x"},
        {"x before no digit", "a\\xg \\Xz", u"a\\xg \\Xz"},
        {"the numeric escapes", "\\x41\\X42\\101", u"ABA"},
        {"empty", "", u""},
        // 1252: ä ö ü ß, the euro sign, low and left double quotes
        {"code page 1252", "\xE4\xF6\xFC\xDF \x80 \x84\x93", u"\u00E4\u00F6\u00FC\u00DF \u20AC \u201E\u201C"},
        // runs across the writer's eight-byte steps
        {"long runs", "abcdefg\\\"hijklmn\\\\\\\\\\\"opq\\\r\nrstuvwxyz\\", u"abcdefg\\\"hijklmn\\\\\\\"opq\\\nrstuvwxyz\\"},
    };
    const ScratchDir scratch;
    const std::string& dir = scratch.path;
    ASSERT_FALSE(dir.empty());
    for (const auto& c : cases) {
        const std::string script = dir + "/t.rc";
        std::remove(script.c_str());
        ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), {{7, String(c.text.data(), int(c.text.size()))},
                                                                 {8, String("after")}}))
            << c.what;
        const rctest::RcReadBack r = rctest::readBackScript(script, dir + "/t");
        EXPECT_EQ(r.exit, 0) << c.what << ": " << r.messages << readFile(script);
        EXPECT_EQ(r.messages, "") << c.what;
        if (!r.resRead) {
            ADD_FAILURE() << c.what << ": the .res file was not read";
            continue;
        }
        EXPECT_EQ(r.text(7), c.meant) << c.what << "\n" << readFile(script);
        EXPECT_EQ(r.text(8), u"after") << c.what;
        EXPECT_EQ(r.strings.size(), c.meant.empty() ? 1u : 2u) << c.what;
        // The length a string resource gets is what reads back.
        EXPECT_EQ(mdRcStoredChars(c.text.data(), c.text.size()), c.meant.size()) << c.what;
    }
}

// The characters the writer's count gives for a text are those windres
// stores, on random texts dense in what is escaped or read as an escape
// (a backslash before each kind of byte, octal and hexadecimal digits,
// quotes and line ends), a hundred texts in one script.
TEST(RcScriptWindres, StoredCharactersAreWhatReadsBack)
{
    RCTEST_NEEDS_WINDRES();
    const ScratchDir scratch;
    const std::string script = scratch.path + "/r.rc";
    std::mt19937 rng(63);
    const std::string alphabet = "\\\\\\\"\r\nxX0178aFgnqte ";
    for (int round = 0; round < 5; ++round) {
        std::vector<std::string> texts;
        std::vector<std::pair<int32_t, String>> table;
        for (int32_t id = 0; id < 100; ++id) {
            std::string t(rng() % 24, ' ');
            for (char& c : t) c = alphabet[rng() % alphabet.size()];
            texts.push_back(t);
            table.emplace_back(id, String(t.data(), int(t.size())));
        }
        std::remove(script.c_str());
        ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), table));
        const rctest::RcReadBack r = rctest::readBackScript(script, scratch.path + "/r");
        ASSERT_EQ(r.exit, 0) << r.messages;
        ASSERT_TRUE(r.resRead);
        for (int32_t id = 0; id < 100; ++id)
            EXPECT_EQ(mdRcStoredChars(texts[id].data(), texts[id].size()), r.text(uint32_t(id)).size())
                << "round " << round << ", text \"" << texts[id] << "\"";
    }
}

}  // namespace

namespace {

// The bytes code page 1252 leaves undefined.
bool undefinedIn1252(unsigned v)
{
    return v == 0x81 || v == 0x8D || v == 0x8F || v == 0x90 || v == 0x9D;
}

std::string formatted(const char* format, unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

}  // namespace

// Every byte value, raw and in every escape that gives it, between two
// characters on each side: the read-back finds the first undefined byte
// exactly for the five, and windres reads such a text back shorter than
// the characters the writer counts (cut before the byte), every other one
// as long.
TEST(RcScriptWindres, UndefinedBytesAreFoundInEveryFormAndCutByWindres)
{
    RCTEST_NEEDS_WINDRES();
    const ScratchDir scratch;
    const std::string script = scratch.path + "/u.rc";
    const char* const forms[] = {"%c", "\\x%02X", "\\x%02x", "\\X%02x", "\\%03o", "\\%03o+"};
    std::vector<std::pair<std::string, unsigned>> texts;  // text, the byte it holds
    for (unsigned v = 1; v < 256; ++v)
        for (const char* f : forms) {
            const bool past0377 = f[std::strlen(f) - 1] == '+';
            const std::string form = past0377 ? formatted("\\%03o", v + 0400) : formatted(f, v);
            texts.emplace_back("ab" + form + "cd", v);
        }
    std::vector<std::pair<int32_t, String>> table;
    for (std::size_t i = 0; i < texts.size(); ++i)
        table.emplace_back(int32_t(i), String(texts[i].first.data(), int(texts[i].first.size())));
    ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), table));
    const rctest::RcReadBack r = rctest::readBackScript(script, scratch.path + "/u");
    ASSERT_EQ(r.exit, 0) << r.messages;
    ASSERT_TRUE(r.resRead);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string& t = texts[i].first;
        const unsigned v = texts[i].second;
        const MdRcReadBack back = mdRcReadBack(t.data(), t.size());
        SCOPED_TRACE("text \"" + t + "\"");
        EXPECT_EQ(back.undefinedByte, undefinedIn1252(v) ? v : 0u);
        const std::size_t read = r.text(uint32_t(i)).size();
        if (undefinedIn1252(v))
            EXPECT_LT(read, 3u);
        else
            EXPECT_EQ(read, back.chars);
    }
}

// Escapes that look like one of the bytes and are not, after the writer's
// own escaping, and ones that are: the first undefined byte read back.
TEST(RcScriptWindres, UndefinedByteAfterTheWritersEscaping)
{
    const struct {
        const char* text;
        unsigned byte;
    } cases[] = {
        {"\\\\x81", 0},         // a pair: a backslash and "x81"
        {"\\\\\\x81", 0x81},    // a pair, then the escape
        {"\\x081", 0},          // two digits at most: 0x08 and "1"
        {"\\2011", 0x81},       // three at most: 0201 and "1"
        {"\\x8", 0},            // one digit: 0x08
        {"\\x", 0},             // no digit: the writer doubles the backslash
        {"\\x\x81", 0x81},      // ... and the raw byte after it stays
        {"\\\x8D", 0x8D},       // a backslash that escapes nothing keeps the byte
        {"\\\\\x90", 0x90},     // a pair, then the raw byte
        {"\r\n\\235", 0x9D},    // after a line end
        {"a\x8F" "b\x81", 0x8F},  // the first of two
        {"\\x8F\x81", 0x8F},
        {"12345678\x90", 0x90},   // past a word of plain bytes
        {"1234567\x9D" "9", 0x9D},  // inside one
        {"\xE4\xF6\xFC\x80\x8E\x9E\xFF\xA0", 0},
        {"\\x80\\216\\X9e\\377", 0},
    };
    for (const auto& c : cases) {
        const std::string t = c.text;
        EXPECT_EQ(mdRcReadBack(t.data(), t.size()).undefinedByte, c.byte) << t;
        EXPECT_EQ(mdRcReadBack(t.data(), t.size()).chars, mdRcStoredChars(t.data(), t.size())) << t;
    }
}

// On random texts, dense in backslashes, digits, the five bytes and their
// neighbours, with runs of plain bytes long enough for the eight-byte steps:
// the read-back finds an undefined byte exactly when windres reads the text
// back shorter than the characters counted (behind "ab", as windres keeps a
// text whose first character is such a byte; and one with a NUL byte read
// back is left out, as windres converts the pieces between NUL bytes each
// on its own).
TEST(RcScriptWindres, UndefinedByteFoundExactlyWhenWindresCutsTheText)
{
    RCTEST_NEEDS_WINDRES();
    const ScratchDir scratch;
    const std::string script = scratch.path + "/d.rc";
    std::mt19937 rng(1252);
    const std::string dense = "\\\\\"\r\nxX0128dDfF9 \x81\x8D\x8F\x90\x9D\x80\x8E\x9E\xC3\xE4";
    for (int round = 0; round < 5; ++round) {
        std::vector<std::string> texts;
        std::vector<std::pair<int32_t, String>> table;
        for (int32_t id = 0; id < 200; ++id) {
            std::string t = "ab";
            const std::size_t n = rng() % 48;
            while (t.size() < n) {
                if (rng() % 3 == 0)
                    t.append(rng() % 12, 'p');
                else
                    t += dense[rng() % dense.size()];
            }
            texts.push_back(t);
            table.emplace_back(id, String(t.data(), int(t.size())));
        }
        std::remove(script.c_str());
        ASSERT_TRUE(mdAppendStringTable(String(script.c_str()), table));
        const rctest::RcReadBack r = rctest::readBackScript(script, scratch.path + "/d");
        ASSERT_EQ(r.exit, 0) << r.messages;
        ASSERT_TRUE(r.resRead);
        int cut = 0;
        for (int32_t id = 0; id < 200; ++id) {
            const std::string& t = texts[std::size_t(id)];
            const MdRcReadBack back = mdRcReadBack(t.data(), t.size());
            const std::u16string read = r.text(uint32_t(id));
            if (read.find(u'\0') != std::u16string::npos) continue;
            const bool shorter = read.size() < back.chars;
            cut += shorter;
            EXPECT_EQ(back.undefinedByte != 0, shorter) << "round " << round << ", text \"" << t << "\"";
        }
        // Both kinds came up.
        EXPECT_GT(cut, 10);
        EXPECT_LT(cut, 190);
    }
}

namespace {

// Whether t holds, at any of its bytes, a well-formed UTF-8 sequence of two
// to four bytes, decoded by the bits of its lead and encoded again: the
// same length (not overlong), and a scalar value (no surrogate, at most
// U+10FFFF).
bool holdsUtf8ByRoundTrip(const std::string& t)
{
    for (std::size_t i = 0; i < t.size(); ++i) {
        const unsigned lead = static_cast<unsigned char>(t[i]);
        const std::size_t n = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > t.size()) continue;
        uint32_t cp = lead & (0x7Fu >> n);
        bool ok = true;
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned c = static_cast<unsigned char>(t[i + k]);
            ok = ok && (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        const std::size_t shortest = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (ok && shortest == n && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) return true;
    }
    return false;
}

}  // namespace

// On random texts dense in the bytes that bound UTF-8's ranges (leads C0 to
// F5, continuations 80 to C0), escapes and plain runs for the eight-byte
// steps: the read-back tells UTF-8 exactly when the round trip finds a
// sequence, and names where its undefined byte stands (the byte, or the
// backslash of its escape).
TEST(RcScriptWindres, Utf8SequencesAndTheUndefinedBytesPlace)
{
    std::mt19937 rng(65001);
    const std::string dense = "\\\"\r\nx8a\x7F\x80\x81\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEE\xEF"
                              "\xF0\xF3\xF4\xF5\xFF";
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string t;
        const std::size_t n = rng() % 24;
        while (t.size() < n) {
            if (rng() % 4 == 0)
                t.append(rng() % 10, 'p');
            else
                t += dense[rng() % dense.size()];
        }
        const MdRcReadBack back = mdRcReadBack(t.data(), t.size());
        EXPECT_EQ(back.utf8, holdsUtf8ByRoundTrip(t)) << "\"" << t << "\"";
        found += back.utf8;
        if (back.undefinedByte != 0) {
            ASSERT_LT(back.undefinedAt, t.size());
            const char at = t[back.undefinedAt];
            EXPECT_TRUE(static_cast<unsigned char>(at) == back.undefinedByte || at == '\\') << "\"" << t << "\"";
        }
    }
    EXPECT_GT(found, 1000);
    EXPECT_LT(found, 19000);
}
