#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <list>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "co/tvstring.h"

namespace {

struct StringError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void throwingHandler(const char* cls, const char* msg)
{
    throw StringError(std::string(cls) + ": " + msg);
}

class ErrorHook {
public:
    ErrorHook() : m_prev(setStringErrorHandler(&throwingHandler)) {}
    ~ErrorHook() { setStringErrorHandler(m_prev); }

private:
    StringErrorHandler m_prev;
};

std::string str(const String& s) { return s.stdString(); }
std::string str(const SubString& s) { return std::string(s.chars(), size_t(s.length())); }

}  // namespace

TEST(String, CapacityGrowsThroughTheBlockSizes)
{
    String s;
    EXPECT_EQ(s.capacity(), 0);  // the shared empty representation
    s = "abcd";
    EXPECT_EQ(s.capacity(), 4);  // 16-byte block
    s += 'e';
    EXPECT_EQ(s.capacity(), 20);  // 32-byte block
    s = String(replicate('x', 52));
    EXPECT_EQ(s.capacity(), 52);
    s += 'y';
    EXPECT_EQ(s.capacity(), 116);  // 128-byte heap block
    EXPECT_EQ(s.length(), 53);

    // Appending stays in place until the capacity is exhausted.
    String t("ab");
    const char* before = t.chars();
    t += "cd";
    EXPECT_EQ(t.chars(), before);
    EXPECT_EQ(str(t), "abcd");
}

TEST(String, CopiesAreIndependent)
{
    String a("hello");
    String b(a);
    b[0] = 'j';
    EXPECT_EQ(str(a), "hello");
    EXPECT_EQ(str(b), "jello");
    EXPECT_NE(a.chars(), b.chars());

    String c;
    c = a;
    c.upcase();
    EXPECT_EQ(str(a), "hello");
    EXPECT_EQ(str(c), "HELLO");
}

TEST(String, AppendToItself)
{
    String s("abc");
    s.alloc(50);
    s += s;
    EXPECT_EQ(str(s), "abcabc");
    s.prepend(s);
    EXPECT_EQ(str(s), "abcabcabcabc");
    s += s.at(0, 2);
    EXPECT_EQ(str(s), "abcabcabcabcab");
    cat(s.at(1, 2), s, s);
    EXPECT_EQ(str(s), "bcabcabcabcabcab");
}

TEST(String, ConcatenationOperators)
{
    String a("foo"), b("bar");
    EXPECT_EQ(str(a + b), "foobar");
    EXPECT_EQ(str(a + "!"), "foo!");
    EXPECT_EQ(str("<" + a), "<foo");
    EXPECT_EQ(str(a + '?'), "foo?");
    EXPECT_EQ(str(a.at(1, 2) + b.at(0, 1)), "oob");
    String r;
    cat(a, "-", b, r);
    EXPECT_EQ(str(r), "foo-bar");
    String e;
    EXPECT_EQ(str(e + e), "");
    EXPECT_EQ((e + e).capacity(), 0);
}

TEST(String, SignedCompare)
{
    EXPECT_EQ(String::compare(String("a"), String("b")), -1);
    EXPECT_EQ(String::compare(String("b"), String("a")), 1);
    EXPECT_EQ(String::compare(String("ab"), String("ab")), 0);
    // Prefix: its terminating 0 meets the next character.
    EXPECT_EQ(String::compare(String("ab"), String("abc")), -'c');
    // Bytes above 0x7F count as negative: "\xE4" sorts before "a", and a
    // String that is a prefix sorts after its extension by such a byte.
    EXPECT_LT(String::compare(String("\xE4"), String("a")), 0);
    EXPECT_GT(String::compare(String("ab"), String("ab\xE4")), 0);
    // The same past long common prefixes (differences at, before and after
    // an eighth character, prefixes of eight and more characters).
    EXPECT_EQ(String::compare(String("BootFunc_0001"), String("BootFunc_0002")), -1);
    EXPECT_EQ(String::compare(String("BootFunX"), String("BootFunc")), 'X' - 'c');
    EXPECT_EQ(String::compare(String("BootFunc_\xE4x"), String("BootFunc_ax")), -0x1C - 'a');
    EXPECT_EQ(String::compare(String("BootFunc"), String("BootFunc_1")), -'_');
    EXPECT_EQ(String::compare(String("BootFunctionNumber17"), String("BootFunctionNumber17")), 0);
    EXPECT_GT(String::compare(String("BootFunctionNumber17"), String("BootFunctionNumber1")), 0);
    EXPECT_EQ(String::compareChars(String("x"), "x"), 0);
    EXPECT_EQ(String::compareChars(String("x"), nullptr), 1);
    EXPECT_EQ(String::compareChars(String(), nullptr), 0);
    EXPECT_LT(String::compareChars(String("a"), "ab"), 0);
    EXPECT_GT(String::compareChars(String("ab"), "a"), 0);

    // Map key order follows the signed compare.
    std::map<String, int> m;
    m[String("b")] = 1;
    m[String("\xC4")] = 2;
    m[String("a")] = 3;
    auto it = m.begin();
    EXPECT_EQ(str(it->first), "\xC4");
    EXPECT_EQ(str((++it)->first), "a");

    // Embedded NUL characters still distinguish Strings.
    EXPECT_NE(String::compare(String("a\0", 2), String("a")), 0);

    EXPECT_EQ(String::fcompare(String("abc"), String("ABCD")), -1);
    EXPECT_EQ(String::fcompare(String("abc"), String("ABC")), 0);
    EXPECT_NE(String::fcompare(String("\xE4"), String("\xC4")), 0);  // ASCII only

    String s("hello");
    EXPECT_TRUE(s == "hello");
    EXPECT_TRUE(s.at(1, 3) == "ell");
    EXPECT_TRUE(s.at(0, 2) < s);  // SubString order: shorter first
    EXPECT_TRUE("hello" == s);
}

TEST(String, Searching)
{
    String s("abcabcab");
    EXPECT_EQ(s.search("bc"), 1);
    EXPECT_EQ(s.search("bc", 2), 4);
    EXPECT_EQ(s.search("bc", -1), 4);    // last occurrence
    EXPECT_EQ(s.search("ab", -1), 6);
    EXPECT_EQ(s.search("ab", -2), 3);    // must end at or before index 6
    EXPECT_EQ(s.search("xy"), -1);
    EXPECT_EQ(s.search(""), -1);
    EXPECT_EQ(s.search("abcabcabc"), -1);
    EXPECT_EQ(s.searchChar('b', -1), 7);  // checks the last character first
    EXPECT_EQ(s.searchChar('c', -1), 5);
    EXPECT_EQ(s.searchChar('a', 1), 3);
    EXPECT_EQ(s.searchChar('a', 100), -1);
    EXPECT_EQ(String().searchChar('a'), -1);
    EXPECT_EQ(s.match(0, s.length(), 0, "abc", 3), 3);
    EXPECT_EQ(s.match(0, s.length(), 1, "abc", 3), -1);
    EXPECT_EQ(s.match(-1, s.length(), 0, "ab", 2), 2);
    EXPECT_EQ(s.match(-1, s.length(), 1, "ab", 2), -1);
    EXPECT_EQ(s.match(5, s.length(), 1, "cab", 3), 3);
    EXPECT_TRUE(s.contains("ca"));
    EXPECT_TRUE(s.contains('c'));
    EXPECT_TRUE(s.matches("cab", 5));
    EXPECT_EQ(s.freq("ab"), 3);
    EXPECT_EQ(String("aaaa").freq("aa"), 3);  // overlapping
    EXPECT_EQ(s.freq('c'), 2);

    boost::regex digits("[0-9]+");
    String t("ab12cd345");
    int n = 0;
    EXPECT_EQ(t.search(digits, 0, n), 2);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(t.search(digits, 4, n), 6);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(t.search(digits, 9, n), -1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(t.search(digits, -5, n), 2);  // within the first 5 characters
    EXPECT_TRUE(t.matches(boost::regex("[a-z0-9]+")));
}

TEST(String, Views)
{
    String s("key=value;rest");
    EXPECT_EQ(str(s.before('=')), "key");
    EXPECT_EQ(str(s.beforeChar('=')), "key");
    EXPECT_EQ(str(s.afterChar('=')), "value;rest");
    EXPECT_EQ(str(s.through("=")), "key=");
    EXPECT_EQ(str(s.from(";")), ";rest");
    EXPECT_EQ(str(s.atChars("val")), "val");
    EXPECT_EQ(str(s.at(4, 5)), "value");
    EXPECT_EQ(str(s(4, 5)), "value");
    EXPECT_EQ(str(s.beforePos(3)), "key");
    EXPECT_EQ(str(s.throughPos(3)), "key=");
    EXPECT_EQ(str(s.fromPos(10)), "rest");
    EXPECT_EQ(str(s.afterPos(9)), "rest");
    EXPECT_EQ(str(s.after(boost::regex("[;=]"))), "value;rest");
    EXPECT_EQ(str(s.before(boost::regex("[;=]"), 4)), "key=value");

    // Invalid ranges and missing patterns give the nil view.
    for (SubString v : {s.at(10, 5), s.at(-1, 2), s.at(3, -1), s.before("#"), s.through('#'),
                        s.after("#"), s.from(String("#")), s.at(0x7FFFFFFF, 0x7FFFFFFF),
                        s.at(5, 0x7FFFFFFF), s.throughPos(0x7FFFFFFF)}) {
        EXPECT_TRUE(v.isNil());
        EXPECT_EQ(v.length(), 0);
    }
    // Assigning to a nil view changes nothing (and the nil String stays empty).
    s.before("#") = "xyz";
    EXPECT_EQ(str(s), "key=value;rest");
    EXPECT_TRUE(String::nilString().empty());
    // An empty view at the end is valid.
    EXPECT_FALSE(s.at(s.length(), 0).isNil());
}

TEST(String, SubStringAssignment)
{
    String s("hello world");
    s.at(0, 5) = "HELLO";  // same length, in place
    EXPECT_EQ(str(s), "HELLO world");
    s.at(0, 5) = "hi";  // shorter
    EXPECT_EQ(str(s), "hi world");
    s.after("hi") = ", big world";  // longer
    EXPECT_EQ(str(s), "hi, big world");
    s.at(3, 0) = 'X';  // insertion
    EXPECT_EQ(str(s), "hi,X big world");

    // Growing beyond the capacity moves to a new representation.
    String t("abcd");
    t.at(2, 1) = "0123456789012345678901234567890";
    EXPECT_EQ(str(t), "ab0123456789012345678901234567890d");

    // From the String's own text.
    String u("abcdef");
    u.at(1, 2) = u.at(3, 3);
    EXPECT_EQ(str(u), "adefdef");
    String v("abcdef");
    v.at(0, 6) = v;
    EXPECT_EQ(str(v), "abcdef");
    String w("abcdef");
    w.at(2, 0) = w.at(0, 4);
    EXPECT_EQ(str(w), "ababcdcdef");
    String x("abcdef");
    x.at(0, 1).assign(x.chars() + 3, 3);
    EXPECT_EQ(str(x), "defbcdef");
}

TEST(String, Editing)
{
    String s("aaa");
    EXPECT_EQ(s.gsub("aa", "b"), 1);
    EXPECT_EQ(str(s), "ba");

    String t("a.b.c");
    EXPECT_EQ(t.gsub(".", "::"), 2);
    EXPECT_EQ(str(t), "a::b::c");
    EXPECT_EQ(t.gsub("::", ""), 2);
    EXPECT_EQ(str(t), "abc");
    EXPECT_EQ(t.gsub("x", "y"), 0);
    EXPECT_EQ(t.gsub("abcd", "y"), 0);
    EXPECT_EQ(t.gsub("", "y"), 0);
    EXPECT_EQ(String().gsub("a", "b"), 0);
    // Replacement taken from the String itself.
    String u("x-y");
    EXPECT_EQ(u.gsub(String("-"), u.at(0, 3)), 1);
    EXPECT_EQ(str(u), "xx-yy");

    String r("a1b22c333");
    EXPECT_EQ(r.gsub(boost::regex("[0-9]+"), "#"), 3);
    EXPECT_EQ(str(r), "a#b#c#");
    String r2("abc");
    EXPECT_EQ(r2.gsub(boost::regex("x*"), "-"), 0);  // stops at the first empty match
    String r3("aaa");
    EXPECT_EQ(r3.gsub(boost::regex("^a"), "b"), 1);  // ^ only at the real start
    EXPECT_EQ(str(r3), "baa");

    String d("hello world");
    d.del(5, 6);
    EXPECT_EQ(str(d), "hello");
    d.del(3, 10);  // beyond the end: nothing
    d.del(-1, 2);
    EXPECT_EQ(str(d), "hello");
    d.del("ll");
    EXPECT_EQ(str(d), "heo");
    d.del('h');
    EXPECT_EQ(str(d), "eo");

    String w("\t  text \r\n");
    w.trimLeft();
    EXPECT_EQ(str(w), "text \r\n");
    w.trimRight();
    EXPECT_EQ(str(w), "text");
    String q("\"quoted\"");
    q.trimLeft('"');
    q.trimRight('"');
    EXPECT_EQ(str(q), "quoted");
    String z("xxyx");
    z.trimLeft("xy");
    EXPECT_EQ(str(z), "");

    String c("hello World 2go \xE4x");
    c.capitalize();
    EXPECT_EQ(str(c), "Hello World 2go \xE4X");
    c.upcase();
    EXPECT_EQ(str(c), "HELLO WORLD 2GO \xE4X");
    c.downcase();
    EXPECT_EQ(str(c), "hello world 2go \xE4x");
    c.reverse();
    EXPECT_EQ(str(c), "x\xE4 og2 dlrow olleh");
    EXPECT_EQ(str(reverse(String("ab"))), "ba");
    EXPECT_EQ(str(replicate('-', 3)), "---");
    EXPECT_EQ(str(replicate(String("ab"), 3)), "ababab");
    EXPECT_EQ(str(replicate(String("ab"), 0)), "");
}

TEST(String, SplitAndGrep)
{
    String parts[4];
    EXPECT_EQ(split(String("a,b,,c"), parts, 4, String(",")), 4);
    EXPECT_EQ(str(parts[0]), "a");
    EXPECT_EQ(str(parts[1]), "b");
    EXPECT_EQ(str(parts[2]), "");
    EXPECT_EQ(str(parts[3]), "c");
    EXPECT_EQ(split(String("a::b::c"), parts, 2, String("::")), 2);  // at most n
    EXPECT_EQ(str(parts[0]), "a");
    EXPECT_EQ(str(parts[1]), "b");
    EXPECT_EQ(split(String("abc"), parts, 4, String(",")), 1);
    EXPECT_EQ(str(parts[0]), "abc");
    EXPECT_EQ(split(String(""), parts, 4, String(",")), 0);
    // The source may be one of the results.
    parts[0] = "x y";
    EXPECT_EQ(split(parts[0], parts, 2, String(" ")), 2);
    EXPECT_EQ(str(parts[0]), "x");
    EXPECT_EQ(str(parts[1]), "y");

    EXPECT_EQ(split(String("a  b\tc"), parts, 4, boost::regex("[ \t]+")), 3);
    EXPECT_EQ(str(parts[2]), "c");

    std::list<String> found;
    EXPECT_EQ(String("x=1, y=22, z=333").grep(boost::regex("[0-9]+"), found), 3);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(str(found.back()), "333");
}

TEST(String, Streams)
{
    std::istringstream in("  first second");
    String w;
    in >> w;
    EXPECT_EQ(str(w), "first");
    EXPECT_TRUE(in.good());
    EXPECT_EQ(in.peek(), ' ');  // the blank and the second word stay
    in >> w;
    EXPECT_EQ(str(w), "second");
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(in.fail());
    in >> w;
    EXPECT_TRUE(in.fail());

    std::istringstream lines("one\ntwo\r\nlast");
    String l;
    EXPECT_EQ(readline(lines, l), 3);
    EXPECT_EQ(str(l), "one");
    EXPECT_EQ(readline(lines, l, '\n', 0), 5);
    EXPECT_EQ(str(l), "two\r\n");
    EXPECT_EQ(readline(lines, l), 4);
    EXPECT_EQ(str(l), "last");
    EXPECT_TRUE(lines.eof());
    EXPECT_EQ(readline(lines, l), 0);
    EXPECT_TRUE(lines.fail());

    std::ostringstream out;
    String s("abc");
    out << s << '|' << s.at(1, 2);
    EXPECT_EQ(out.str(), "abc|bc");

    // Long tokens grow past the initial capacity.
    std::string big(1000, 'q');
    std::istringstream bin(big + " x");
    bin >> w;
    EXPECT_EQ(w.length(), 1000);
}

TEST(String, ErrorHook)
{
    {
        ErrorHook hook;
        String s("abc");
        EXPECT_THROW(s[3], StringError);
        EXPECT_THROW(s[-1], StringError);
        const String& cs = s;
        EXPECT_THROW(cs[5], StringError);
        try {
            String::allocRep(0x7FFFFFF0u);
            FAIL();
        } catch (const StringError& e) {
            EXPECT_STREQ(e.what(), "String: Requested length out of range");
        }
        EXPECT_EQ(str(s), "abc");
        EXPECT_TRUE(s.OK());
    }
    // The setter returns the previous handler.
    StringErrorHandler prev = setStringErrorHandler(&throwingHandler);
    EXPECT_EQ(prev, &defaultStringErrorHandler);
    EXPECT_EQ(setStringErrorHandler(prev), &throwingHandler);
}

TEST(StringDeathTest, DefaultHandlerPrintsAndAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    String s("abc");
    EXPECT_DEATH(s[7], "^String Error: invalid index\n");
}

TEST(String, PooledObjects)
{
    // String objects made with new come from the pools, and so do their
    // small representations.
    String* p = new String("pooled");
    EXPECT_EQ(str(*p), "pooled");
    delete p;
    CAllocPool<128>* base = new String("via base");
    delete base;
}

TEST(String, SplitWithASeparatorThatIsOneOfTheResults)
{
    String parts[3];
    parts[0] = ",";
    EXPECT_EQ(split(String("a,b,c"), parts, 3, parts[0]), 3);
    EXPECT_EQ(std::string(parts[0].chars()), "a");
    EXPECT_EQ(std::string(parts[1].chars()), "b");
    EXPECT_EQ(std::string(parts[2].chars()), "c");
}
