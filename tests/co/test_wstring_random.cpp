// Seeded random operations on WString and WSubString, checked against a
// std::u16string model after every step, the cached narrow copy included.
#include <gtest/gtest.h>

#include <string>

#include "co/tvwstring.h"
#include "platform/text.h"
#include "string_model.h"

namespace {

using U16 = std::u16string;

// Letters of both cases within and beyond ASCII (one above 0x7FFF), and
// units with and without a narrow form.
struct Rnd : strmodel::Rnd {
    using strmodel::Rnd::Rnd;
    U16 text(int maxLen) { return strmodel::Rnd::text(U16(u"abAB\u00e4\u00c4-\u20ac\uff41"), maxLen); }
};

U16 shown(const WSubString& v) { return v.isNil() ? u"<nil>" : U16(v.units(), size_t(v.length())); }

}  // namespace

TEST(WStringRandom, OperationsMatchTheModel)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Rnd r(seed);
        WString s;
        U16 m;
        for (int step = 0; step < 400; ++step) {
            int op = r.upTo(14);
            int len = int(m.size());
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step << " op " << op);
            (void)s.narrowChars();  // every change below must drop the cached copy
            switch (op) {
            case 0: {
                U16 t = r.text(12);
                if (r.upTo(1) || t.empty()) {
                    s += t.c_str();
                    m += t;
                } else {
                    s += t[0];
                    m += t[0];
                }
                break;
            }
            case 1: {  // append a view of itself
                int p = r.range(-1, len + 1), n = r.range(-1, len + 1);
                WSubString v = s.at(p, n);
                bool valid = p >= 0 && n >= 0 && p + n <= len;
                EXPECT_EQ(v.isNil(), !valid);
                U16 piece = valid ? m.substr(size_t(p), size_t(n)) : U16();
                s += v;
                m += piece;
                break;
            }
            case 2: {
                U16 t = r.text(6);
                s.prepend(t.c_str());
                m = t + m;
                break;
            }
            case 3: {  // replace a range by new text
                int p = r.range(-1, len + 1), n = r.range(-1, len + 1);
                U16 t = r.text(30);
                s.at(p, n) = t.c_str();
                if (p >= 0 && n >= 0 && p + n <= len) m.replace(size_t(p), size_t(n), t);
                break;
            }
            case 4: {  // replace a range by another range of the same WString
                int p = r.upTo(len), n = r.upTo(len - p);
                int q = r.upTo(len), k = r.upTo(len - q);
                U16 src = m.substr(size_t(q), size_t(k));
                s.at(p, n) = s.at(q, k);
                m.replace(size_t(p), size_t(n), src);
                break;
            }
            case 5: {
                int p = r.range(-2, len + 1), n = r.range(-2, len + 1);
                s.del(p, n);
                if (p >= 0 && n > 0 && p + n <= len) m.erase(size_t(p), size_t(n));
                break;
            }
            case 6: {
                U16 pat = r.text(3), repl = r.text(4);
                EXPECT_EQ(s.gsub(pat.c_str(), repl.c_str()), strmodel::gsub(m, pat, repl));
                break;
            }
            case 7: {
                U16 t = r.text(3);
                int start = r.range(-len - 2, len + 2);
                EXPECT_EQ(s.search(t.c_str(), start), strmodel::search(m, t, start));
                U16 c = r.text(1);
                if (!c.empty()) {
                    EXPECT_EQ(s.searchUnit(c[0], start), strmodel::search(m, c, start));
                }
                EXPECT_EQ(s.freq(t.c_str()), strmodel::freq(m, t));
                break;
            }
            case 8: {
                U16 t = r.text(10);
                WString other(t.c_str());
                EXPECT_EQ(strmodel::sign(WString::compare(s, other)), strmodel::sign(strmodel::compare(m, t)));
                EXPECT_EQ(strmodel::sign(WString::compareUnits(s, t.c_str())), strmodel::sign(strmodel::compare(m, t)));
                EXPECT_EQ(s == other, m == t);
                WSubString whole = s.at(0, len);
                int expected = m < t ? -1 : m == t ? 0 : 1;
                EXPECT_EQ(strmodel::sign(WString::compare(whole, t.c_str())), expected);
                break;
            }
            case 9: {
                int k = r.upTo(2);
                if (k == 0) {
                    s.upcase();
                    for (char16_t& c : m)
                        if (tvp::wideIsLower(c)) c = tvp::wideToUpper(c);
                } else if (k == 1) {
                    s.downcase();
                    for (char16_t& c : m)
                        if (tvp::wideIsUpper(c)) c = tvp::wideToLower(c);
                } else {
                    s.reverse();
                    m.assign(m.rbegin(), m.rend());
                }
                break;
            }
            case 10: {  // views by pattern
                U16 t = r.text(2);
                int p = strmodel::search(m, t, 0);
                size_t q = size_t(p) + t.size();
                EXPECT_EQ(shown(s.at(t.c_str())), p < 0 ? u"<nil>" : t);
                EXPECT_EQ(shown(s.before(t.c_str())), p < 0 ? u"<nil>" : m.substr(0, size_t(p)));
                EXPECT_EQ(shown(s.through(t.c_str())), p < 0 ? u"<nil>" : m.substr(0, q));
                EXPECT_EQ(shown(s.from(t.c_str())), p < 0 ? u"<nil>" : m.substr(size_t(p)));
                EXPECT_EQ(shown(s.after(t.c_str())), p < 0 ? u"<nil>" : m.substr(q));
                break;
            }
            case 11: {  // copy, assign, shrink
                WString copy(s);
                s = r.text(3).c_str();
                s = copy;
                if (len > 40) {
                    s = s.at(0, 10);
                    m = m.substr(0, 10);
                }
                break;
            }
            case 12: {
                U16 t = r.text(3);
                WString a(t.c_str());
                cat(s, a, s.at(0, std::min(2, len)), s);
                m = m + t + m.substr(0, size_t(std::min(2, len)));
                break;
            }
            case 13: {
                U16 set = r.text(2);
                if (r.upTo(1)) {
                    s.trimLeft(set.c_str());
                    m.erase(0, std::min(m.find_first_not_of(set), m.size()));
                } else {
                    s.trimRight(set.c_str());
                    size_t keep = m.find_last_not_of(set);
                    m.erase(keep == U16::npos ? 0 : keep + 1);
                }
                break;
            }
            case 14: {
                U16 sep = r.text(1);
                if (sep.empty()) break;
                WString parts[4];
                int n = split(s, parts, 4, WString(sep.c_str()));
                int expected = 0;
                size_t pos = 0;
                while (!m.empty() && expected < 4) {
                    size_t p = m.find(sep, pos);
                    U16 piece = m.substr(pos, p == U16::npos ? U16::npos : p - pos);
                    EXPECT_EQ(parts[expected].u16string(), piece) << expected;
                    ++expected;
                    if (p == U16::npos) break;
                    pos = p + sep.size();
                }
                EXPECT_EQ(n, expected);
                break;
            }
            }
            ASSERT_EQ(s.length(), int(m.size()));
            ASSERT_EQ(s.u16string(), m);
            ASSERT_EQ(s.c_str()[s.length()], 0);
            ASSERT_LE(s.length(), s.capacity());
            ASSERT_TRUE(s.OK());
            ASSERT_EQ(std::string(s.narrowChars()), tvp::wideToAnsi(m));
        }
    }
}
