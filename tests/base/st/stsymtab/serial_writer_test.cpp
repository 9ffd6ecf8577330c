// The section writer of the symbol-table parts gathers fields before it
// hands them to the stream: its bytes must be those of the stream's own
// operators, field for field, in every mode of the stream, across the
// points where it hands over, and around direct writes to the stream.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StSerial.h"

namespace {

struct Mode {
    const char* name;
    bool binary;
    uint32_t base;
};
constexpr Mode kModes[] = {{"text", false, 10}, {"binary", true, 10}, {"text base 16", false, 16}};

std::string contents(FsSecCl& s)
{
    const uint32_t size = s.getSize();
    std::string out(size, '\0');
    s.seek(0, 0);
    if (size) s.readBytes(&out[0], size);
    return out;
}

// The fields written once through the writer and once through the
// stream's operators (a blank after each, in text mode only).
using Fields = std::function<void(StSecWriter*, FsSecCl&)>;

std::string through(const Mode& m, const Fields& f, bool writer)
{
    FsSecClMem s;
    s.setBinary(m.binary);
    s.setBase(m.base);
    if (writer) {
        StSecWriter a(s);
        f(&a, s);
        EXPECT_TRUE(a.good());
    } else {
        f(nullptr, s);
    }
    EXPECT_EQ(0u, s.getError());
    return contents(s);
}

template <typename T>
void num(StSecWriter* a, FsSecCl& s, T v)
{
    if (a) {
        a->num(v);
    } else {
        s << v;
        s.putBlank();
    }
}

void text(StSecWriter* a, FsSecCl& s, const String& t)
{
    if (a) {
        a->text(t);
    } else {
        s << t;
        s.putBlank();
    }
}

TEST(SectionWriterTest, GivesTheStreamsOwnBytesInEveryMode)
{
    const std::string longText(1000, 'x');
    struct Case {
        const char* name;
        Fields fields;
    } cases[] = {
        {"signed", [](StSecWriter* a, FsSecCl& s) {
             for (int32_t v : {0, 1, -1, 9, 10, -10, 99, 100, 12345, -99999, INT_MAX, INT_MIN}) num(a, s, v);
         }},
        {"unsigned", [](StSecWriter* a, FsSecCl& s) {
             for (uint32_t v : {0u, 7u, 10u, 1000000000u, 4294967295u}) num(a, s, v);
         }},
        {"narrow", [](StSecWriter* a, FsSecCl& s) {
             num(a, s, int16_t(-32768));
             num(a, s, int16_t(32767));
             num(a, s, uint16_t(65535));
             num(a, s, uint8_t(255));
             num(a, s, uint8_t(0));
             num(a, s, true);
             num(a, s, false);
         }},
        {"floats between numbers", [](StSecWriter* a, FsSecCl& s) {
             num(a, s, 3);
             num(a, s, 1.5f);
             num(a, s, -2.25);
             num(a, s, 4u);
         }},
        {"ids and line ends", [](StSecWriter* a, FsSecCl& s) {
             const StSymbEntryID sid(77);
             if (a) {
                 a->num(sid);
                 a->numLine(sid);
                 a->numLine(int32_t(-5));
                 a->lineEnd();
             } else {
                 s << sid.get();
                 s.putBlank();
                 s << sid.get();
                 s.putNewLine();
                 s << int32_t(-5);
                 s.putNewLine();
                 s.putNewLine();
             }
         }},
        {"texts short, empty and longer than the buffer", [&](StSecWriter* a, FsSecCl& s) {
             text(a, s, String("abc"));
             text(a, s, String(""));
             num(a, s, 12);
             text(a, s, String(longText.c_str()));
             text(a, s, String(std::string(120, 'y').c_str()));
             num(a, s, 13);
         }},
        {"many fields: the buffer is handed over on the way", [](StSecWriter* a, FsSecCl& s) {
             for (int32_t i = 0; i < 3000; ++i) num(a, s, i * 7919 - 5000);
         }},
        {"direct writes between fields keep their place", [](StSecWriter* a, FsSecCl& s) {
             num(a, s, 1);
             (a ? a->stream() : s) << 'x';
             num(a, s, 2);
             GUID g{0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
             if (a)
                 a->guid(g);
             else
                 s << g;
             num(a, s, 3);
         }},
    };
    for (const Mode& m : kModes)
        for (const Case& c : cases)
            EXPECT_EQ(through(m, c.fields, false), through(m, c.fields, true)) << m.name << ": " << c.name;
}

TEST(SectionWriterTest, TextFormAsWritten)
{
    FsSecClMem s;
    {
        StSecWriter a(s);
        a.num(int32_t(-2147483647 - 1));
        a.num(uint32_t(4294967295u));
        a.num(uint8_t(200));
        a.numLine(true);
        a.text(String("ab c"));
    }
    EXPECT_EQ("-2147483648 4294967295 200 1\r\n4 ab c ", contents(s));
}

TEST(SectionWriterTest, FailureOfTheStreamShowsAtTheCheck)
{
    FsSecClMem s;
    s.setFlags(0);  // read-only
    StSecWriter a(s);
    a.num(5);
    a.text(String("abc"));
    EXPECT_FALSE(a.good());
    EXPECT_EQ(uint32_t(FSSEC_NOT_WRITABLE), s.getError());
    EXPECT_EQ(0u, s.getSize());
}

}  // namespace
