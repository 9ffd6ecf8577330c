// Seeded random operations on String and SubString, checked against a
// std::string model after every step.
#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <random>
#include <string>

#include "co/tvstring.h"

namespace {

class Rnd {
public:
    explicit Rnd(unsigned seed) : m_gen(seed) {}
    int upTo(int n) { return int(m_gen() % unsigned(n + 1)); }  // 0..n
    int range(int lo, int hi) { return lo + upTo(hi - lo); }
    std::string text(int maxLen)
    {
        static const char alphabet[] = "abAB\xE4-";
        std::string s(size_t(upTo(maxLen)), ' ');
        for (char& c : s) c = alphabet[upTo(5)];
        return s;
    }

private:
    std::mt19937 m_gen;
};

int sign(int v) { return (v > 0) - (v < 0); }

// strcmp on signed characters, with the terminating 0 of the shorter text.
int modelCompare(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i <= n; ++i) {
        int ca = i < a.size() ? static_cast<signed char>(a[i]) : 0;
        int cb = i < b.size() ? static_cast<signed char>(b[i]) : 0;
        if (ca != cb) return ca - cb;
    }
    return 0;
}

int modelSearch(const std::string& s, const std::string& t, int start)
{
    if (t.empty() || s.empty()) return -1;
    if (start >= 0) {
        if (size_t(start) > s.size()) return -1;
        size_t p = s.find(t, size_t(start));
        return p == std::string::npos ? -1 : int(p);
    }
    int last = int(s.size()) + start;  // last character index allowed
    int from = last - int(t.size()) + 1;
    if (from < 0) return -1;
    size_t p = s.rfind(t, size_t(from));
    return p == std::string::npos ? -1 : int(p);
}

int modelGsub(std::string& s, const std::string& pat, const std::string& repl)
{
    if (s.empty() || pat.empty() || pat.size() > s.size()) return 0;
    int n = 0;
    std::string out;
    size_t from = 0;
    for (size_t p = s.find(pat); p != std::string::npos; p = s.find(pat, from)) {
        out.append(s, from, p - from);
        out += repl;
        from = p + pat.size();
        ++n;
    }
    out.append(s, from, std::string::npos);
    s = out;
    return n;
}

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
                EXPECT_EQ(got, modelGsub(m, pat, repl));
                break;
            }
            case 8: {
                std::string t = r.text(3);
                int start = r.range(-len - 2, len + 2);
                EXPECT_EQ(s.search(t.c_str(), start), modelSearch(m, t, start)) << t << " @" << start;
                break;
            }
            case 9: {
                char c = "abA\xE4"[r.upTo(3)];
                int start = r.range(-len - 1, len + 1);
                EXPECT_EQ(s.searchChar(c, start), modelSearch(m, std::string(1, c), start));
                break;
            }
            case 10: {
                std::string t = r.text(10);
                String other(t.c_str());
                EXPECT_EQ(sign(String::compare(s, other)), sign(modelCompare(m, t)));
                EXPECT_EQ(sign(String::compareChars(s, t.c_str())), sign(modelCompare(m, t)));
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
                int p = modelSearch(m, t, 0);
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
                int n = 0;
                if (!t.empty())
                    for (size_t i = 0; i + t.size() <= m.size(); ++i) n += m.compare(i, t.size(), t) == 0;
                EXPECT_EQ(s.freq(t.c_str()), n);
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
