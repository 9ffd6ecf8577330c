#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "co/tvwstring.h"

namespace {

struct WStringError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void throwingHandler(const char* cls, const char* msg)
{
    throw WStringError(std::string(cls) + ": " + msg);
}

std::u16string u(const WString& s) { return s.u16string(); }
std::u16string u(const WSubString& s) { return std::u16string(s.units(), size_t(s.length())); }

}  // namespace

TEST(WString, CapacitySteps)
{
    WString s(u"abcd");
    EXPECT_EQ(s.capacity(), 4);
    s += u'e';
    EXPECT_EQ(s.capacity(), 20);
    s = replicate(u'x', 20);
    EXPECT_EQ(s.capacity(), 20);
    s += u'y';
    EXPECT_EQ(s.capacity(), 52);
    s = replicate(u'x', 53);
    EXPECT_EQ(s.capacity(), 116);
}

TEST(WString, NarrowCopyIsCachedUntilTheContentChanges)
{
    WString s(u"Gr\u00f6\u00dfe\u20ac");
    const char* n1 = s.narrowChars();
    EXPECT_STREQ(n1, "Gr\xF6\xDF" "e\x80");
    EXPECT_EQ(s.narrowChars(), n1);  // same cached copy

    // Every kind of change drops the copy.
    s += u'!';
    EXPECT_STREQ(s.narrowChars(), "Gr\xF6\xDF" "e\x80!");
    s = u"abc";  // reuses the representation
    EXPECT_STREQ(s.narrowChars(), "abc");
    s.at(1, 1) = u"\u00c4";
    EXPECT_STREQ(s.narrowChars(), "a\xC4" "c");
    s.upcase();
    EXPECT_STREQ(s.narrowChars(), "A\xC4" "C");
    s.del(0, 1);
    EXPECT_STREQ(s.narrowChars(), "\xC4" "C");
    s[1] = u'x';
    EXPECT_STREQ(s.narrowChars(), "\xC4x");
    s.gsub(u"x", u"yz");
    EXPECT_STREQ(s.narrowChars(), "\xC4yz");
    s.reverse();
    EXPECT_STREQ(s.narrowChars(), "zy\xC4");
    s.trimRight(u"\u00c4");
    EXPECT_STREQ(s.narrowChars(), "zy");
    s.prepend(u"<");
    EXPECT_STREQ(s.narrowChars(), "<zy");

    // Units outside the code page become '?'; a copy has its own cache.
    WString t(u"a\u0100b\U0001F600c");
    WString t2(t);
    EXPECT_STREQ(t.narrowChars(), "a?b?c");
    EXPECT_NE(t2.narrowChars(), t.narrowChars());
    EXPECT_STREQ(WString().narrowChars(), "");
    EXPECT_EQ(std::string(WString(u"\u00e4").narrow().chars()), "\xE4");
}

TEST(WString, CaseMappingBeyondAscii)
{
    WString s(u"stra\u00dfe \u00e4\u00f6\u00fc \u0105\u0107 \u03b1\u03c9 \u0434\u0430");
    s.upcase();
    // The sharp s has no single upper-case unit and stays.
    EXPECT_EQ(u(s), u"STRA\u00dfE \u00c4\u00d6\u00dc \u0104\u0106 \u0391\u03a9 \u0414\u0410");
    s.downcase();
    EXPECT_EQ(u(s), u"stra\u00dfe \u00e4\u00f6\u00fc \u0105\u0107 \u03b1\u03c9 \u0434\u0430");
    s.capitalize();
    EXPECT_EQ(u(s), u"Stra\u00dfe \u00c4\u00f6\u00fc \u0104\u0107 \u0391\u03c9 \u0414\u0430");

    // The case-insensitive comparison folds only a-z.
    EXPECT_EQ(WString::fcompare(WString(u"abc"), WString(u"ABC")), 0);
    EXPECT_NE(WString::fcompare(WString(u"\u00c4"), WString(u"\u00e4")), 0);
    EXPECT_EQ(WString::fcompare(WString(u"abc"), WString(u"ABCD")), -1);
}

TEST(WString, SearchViewsAndEditing)
{
    WString s(u"key=value;key=other");
    EXPECT_EQ(s.search(u"key"), 0);
    EXPECT_EQ(s.search(u"key", 1), 10);
    EXPECT_EQ(s.search(u"key", -1), 10);
    EXPECT_EQ(s.searchUnit(u'=', -1), 13);
    EXPECT_EQ(s.freq(u"e"), 4);
    EXPECT_EQ(u(s.before(u'=')), u"key");
    EXPECT_EQ(u(s.after(u";")), u"key=other");
    EXPECT_EQ(u(s.through(u"value")), u"key=value");
    EXPECT_TRUE(s.before(u"#").isNil());
    s.before(u"#") = u"x";
    EXPECT_EQ(u(s), u"key=value;key=other");

    s.at(4, 5) = s.at(14, 5);  // from its own text
    EXPECT_EQ(u(s), u"key=other;key=other");
    EXPECT_EQ(s.gsub(u"key", u"k"), 2);
    EXPECT_EQ(u(s), u"k=other;k=other");
    s.del(u";");
    EXPECT_EQ(u(s), u"k=otherk=other");

    WString parts[3];
    EXPECT_EQ(split(WString(u"a, b, c"), parts, 3, WString(u", ")), 3);
    EXPECT_EQ(u(parts[2]), u"c");

    WString a(u"ab");
    a += a;
    EXPECT_EQ(u(a), u"abab");
    EXPECT_EQ(u(a + u"!" + WString(u"?")), u"abab!?");
    EXPECT_TRUE(a == u"abab");
    EXPECT_LT(WString::compare(WString(u"a"), WString(u"b")), 0);
    EXPECT_GT(WString::compare(WString(u"\u00e4"), WString(u"a")), 0);  // units are unsigned

    EXPECT_EQ(u(WString::fromAnsi("\xC4\x80")), u"\u00c4\u20ac");
    EXPECT_EQ(u(WString::fromUtf8("\xC3\x84")), u"\u00c4");
    EXPECT_EQ(WString(u"\u00c4\u20ac").toUtf8(), "\xC3\x84\xE2\x82\xAC");
}

TEST(WString, ErrorsGoToTheSharedHook)
{
    StringErrorHandler prev = setStringErrorHandler(&throwingHandler);
    WString s(u"abc");
    try {
        (void)s[3];
        ADD_FAILURE();
    } catch (const WStringError& e) {
        EXPECT_STREQ(e.what(), "WString: invalid index");
    }
    EXPECT_THROW(WString::allocRep(0x40000000u), WStringError);
    setStringErrorHandler(prev);
}

TEST(WString, SingleUnitWithAStartIsASearchNotAPosition)
{
    WString w(u"a-b-c");
    EXPECT_EQ(std::u16string(w.at(u'-', 2).units(), w.at(u'-', 2).length()), u"-");
    EXPECT_EQ(w.index(u"-", 2), 3);
    w.del(u'-', 2);
    EXPECT_EQ(std::u16string(w.units(), w.length()), u"a-bc");
}
