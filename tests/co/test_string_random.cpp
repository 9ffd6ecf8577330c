// Seeded random operations on String and SubString, checked against a
// std::string model after every step.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <string>

#include "co/tvstring.h"
#include "string_model.h"

namespace {

struct Rnd : strmodel::Rnd {
    using strmodel::Rnd::Rnd;
    std::string text(int maxLen) { return strmodel::Rnd::text(std::string("abAB\xE4-"), maxLen); }
};

std::string shown(const SubString& v) { return v.isNil() ? "<nil>" : std::string(v.chars(), size_t(v.length())); }

}  // namespace

TEST(StringRandom, OperationsMatchTheModel)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Rnd r(seed);
        String s;
        std::string m;
        for (int step = 0; step < 400; ++step) {
            int op = r.upTo(15);
            int len = int(m.size());
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step << " op " << op);
            switch (op) {
            case 0: {
                std::string t = r.text(12);
                s += t.c_str();
                m += t;
                break;
            }
            case 1: {
                char c = r.text(1).empty() ? 'z' : 'q';
                s += c;
                m += c;
                break;
            }
            case 2: {  // append a view of itself
                int p = r.range(-1, len + 1), n = r.range(-1, len + 1);
                SubString v = s.at(p, n);
                bool valid = p >= 0 && n >= 0 && p + n <= len;
                EXPECT_EQ(v.isNil(), !valid);
                std::string piece = valid ? m.substr(size_t(p), size_t(n)) : "";
                s += v;
                m += piece;
                break;
            }
            case 3: {
                std::string t = r.text(6);
                s.prepend(t.c_str());
                m = t + m;
                break;
            }
            case 4: {  // replace a range by new text
                int p = r.range(-1, len + 1), n = r.range(-1, len + 1);
                std::string t = r.text(30);
                s.at(p, n) = t.c_str();
                if (p >= 0 && n >= 0 && p + n <= len) m.replace(size_t(p), size_t(n), t);
                break;
            }
            case 5: {  // replace a range by another range of the same String
                int p = r.upTo(len), n = r.upTo(len - p);
                int q = r.upTo(len), k = r.upTo(len - q);
                std::string src = m.substr(size_t(q), size_t(k));
                s.at(p, n) = s.at(q, k);
                m.replace(size_t(p), size_t(n), src);
                break;
            }
            case 6: {
                int p = r.range(-2, len + 1), n = r.range(-2, len + 1);
                s.del(p, n);
                if (p >= 0 && n > 0 && p + n <= len) m.erase(size_t(p), size_t(n));
                break;
            }
            case 7: {
                std::string pat = r.text(3), repl = r.text(4);
                int got = s.gsub(pat.c_str(), repl.c_str());
                EXPECT_EQ(got, strmodel::gsub(m, pat, repl));
                break;
            }
            case 8: {
                std::string t = r.text(3);
                int start = r.range(-len - 2, len + 2);
                EXPECT_EQ(s.search(t.c_str(), start), strmodel::search(m, t, start)) << t << " @" << start;
                break;
            }
            case 9: {
                char c = "abA\xE4"[r.upTo(3)];
                int start = r.range(-len - 1, len + 1);
                EXPECT_EQ(s.searchChar(c, start), strmodel::search(m, std::string(1, c), start));
                break;
            }
            case 10: {
                std::string t = r.text(10);
                String other(t.c_str());
                EXPECT_EQ(strmodel::sign(String::compare(s, other)), strmodel::sign(strmodel::compare(m, t)));
                EXPECT_EQ(strmodel::sign(String::compareChars(s, t.c_str())), strmodel::sign(strmodel::compare(m, t)));
                EXPECT_EQ(s == other, m == t);
                break;
            }
            case 11: {
                int k = r.upTo(2);
                if (k == 0) {
                    s.upcase();
                    for (char& c : m)
                        if (c >= 'a' && c <= 'z') c = char(c - 32);
                } else if (k == 1) {
                    s.downcase();
                    for (char& c : m)
                        if (c >= 'A' && c <= 'Z') c = char(c + 32);
                } else {
                    s.reverse();
                    m.assign(m.rbegin(), m.rend());
                }
                break;
            }
            case 12: {  // views by pattern, as text and as a regex of that text
                std::string t = r.text(2);
                int p = strmodel::search(m, t, 0);
                size_t q = size_t(p) + t.size();
                EXPECT_EQ(shown(s.at(t.c_str())), p < 0 ? "<nil>" : t);
                EXPECT_EQ(shown(s.before(t.c_str())), p < 0 ? "<nil>" : m.substr(0, size_t(p)));
                EXPECT_EQ(shown(s.through(t.c_str())), p < 0 ? "<nil>" : m.substr(0, q));
                EXPECT_EQ(shown(s.from(t.c_str())), p < 0 ? "<nil>" : m.substr(size_t(p)));
                EXPECT_EQ(shown(s.after(t.c_str())), p < 0 ? "<nil>" : m.substr(q));
                if (!t.empty()) {
                    boost::regex re(t, boost::regex::literal);
                    EXPECT_EQ(shown(s.at(re)), shown(s.at(t.c_str())));
                    EXPECT_EQ(shown(s.before(re)), shown(s.before(t.c_str())));
                    EXPECT_EQ(shown(s.through(re)), shown(s.through(t.c_str())));
                    EXPECT_EQ(shown(s.from(re)), shown(s.from(t.c_str())));
                    EXPECT_EQ(shown(s.after(re)), shown(s.after(t.c_str())));
                }
                break;
            }
            case 13: {
                std::string t = r.text(2);
                EXPECT_EQ(s.freq(t.c_str()), strmodel::freq(m, t));
                break;
            }
            case 14: {  // copy, assign, shrink
                String copy(s);
                s = r.text(3).c_str();
                s = copy;
                if (len > 40) {
                    s = s.at(0, 10);
                    m = m.substr(0, 10);
                }
                break;
            }
            case 15: {
                std::string t = r.text(3);
                String a(t.c_str());
                cat(s, a, s.at(0, std::min(2, len)), s);
                m = m + t + m.substr(0, size_t(std::min(2, len)));
                break;
            }
            }
            ASSERT_EQ(s.length(), int(m.size()));
            ASSERT_EQ(s.stdString(), m);
            ASSERT_EQ(s.c_str()[s.length()], '\0');
            ASSERT_LE(s.length(), s.capacity());
            ASSERT_TRUE(s.OK());
        }
    }
}
