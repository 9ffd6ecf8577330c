#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <set>
#include <sstream>

#include "co/GuidHelpers.h"
#include "co/TraceApi.h"
#include "co/VersionStamp.h"
#include "platform/guid.h"

// ---------------------------------------------------------------------------
// Trace lines

TEST(Trace, CapturedLineHasTheHeaderForm)
{
    CTraceCapture cap;
    TraceRecord rec(4, 123, "fs_defs", "FsSecCl::commit");
    traceLine(rec, "Commit failed hr=0x%X (%s)", 0x80030070u, "full");
    ASSERT_EQ(1u, cap.count());
    CTraceCapture::Line l = cap.lines()[0];
    EXPECT_EQ(4u, l.level);
    EXPECT_EQ(123u, l.line);
    EXPECT_EQ("fs_defs", l.file);
    EXPECT_EQ("FsSecCl::commit", l.method);
    EXPECT_EQ("Commit failed hr=0x80030070 (full)", l.message);
    char tid[32];
    std::snprintf(tid, sizeof tid, "0x%X", unsigned(gettid()));
    EXPECT_EQ(std::string("FsSecCl::commit [fs_defs (123), module: test_co, thread: ") + tid + "]", l.header);
    EXPECT_STREQ(l.header.c_str(), rec.text);  // the record carries the header
    EXPECT_STREQ("test_co", getTraceApi().moduleName());
}

TEST(Trace, NothingWithoutSinkAndCaptureRestoresPreviousHook)
{
    if (std::getenv("TAVOLIN_TRACE")) GTEST_SKIP() << "trace output configured";
    {
        TraceRecord rec(4, 1, "f", "m");
        traceLine(rec, "dropped");
        EXPECT_EQ('\0', rec.text[0]);  // no header built when no level is on
        EXPECT_FALSE(getTraceApi().isLevelOn(4));
    }
    CTraceCapture outer;
    {
        CTraceCapture inner;
        TV_TRACE(1, "src", "A::b", "%d", 1);
        EXPECT_EQ(1u, inner.count());
    }
    TV_TRACE(3, "src", "A::b", "%d", 2);
    ASSERT_EQ(1u, outer.count());
    EXPECT_EQ("2", outer.lines()[0].message);
    EXPECT_EQ(3u, outer.lines()[0].level);
}

TEST(Trace, LongTextsAreCutAndTerminated)
{
    CTraceCapture cap;
    std::string method(700, 'm');
    TraceRecord rec(4, 7, "file", method.c_str());
    std::string big(100000, 'x');
    traceLine(rec, "%s", big.c_str());
    ASSERT_EQ(1u, cap.count());
    EXPECT_EQ(511u, std::strlen(rec.text));
    EXPECT_EQ(511u, cap.lines()[0].header.size());
    EXPECT_EQ(64u * 1024u, cap.lines()[0].message.size());

    TraceRecord nulls(4, 0, nullptr, nullptr);
    traceLine(&nulls, "x");
    traceLine(static_cast<TraceRecord*>(nullptr), "ignored");
    ASSERT_EQ(2u, cap.count());
    EXPECT_EQ(0, std::strncmp(cap.lines()[1].header.c_str(), " [ (0), module: ", 16));
}

TEST(Trace, LastErrorVariantAppendsTheReason)
{
    CTraceCapture cap;
    TraceRecord rec(4, 9, "cmrestab", "CmResourceTable::CmResourceTable");
    errno = ENOENT;
    traceLineLastError(rec, "Failed to call LoadLibrary %s", "tvmsgtxa.dll");
    ASSERT_EQ(1u, cap.count());
    EXPECT_TRUE(std::regex_match(cap.lines()[0].message,
                                 std::regex("Failed to call LoadLibrary tvmsgtxa\\.dll GetLastError\\(\\) returns \".+\"")))
        << cap.lines()[0].message;
}

TEST(Trace, LifetimeTracerIsOffWithoutTraceLibraryAndFormatsOnePrefix)
{
    EXPECT_FALSE(isLifetimeTraceOn());
    CLifetimeTracer t("FsStream");
    std::string text = t.lineText("CTOR");
    EXPECT_TRUE(std::regex_match(text, std::regex("CTOR FsStream \\(0x[0-9A-F]{16}\\)"))) << text;
    callDiagnosticsReport();  // absent library: nothing happens
}

// ---------------------------------------------------------------------------
// Version stamps

namespace {

CVersionStamp stamp(uint32_t d1, uint16_t major, uint16_t minor)
{
    VRX_VersionStamp s = {{d1, 0, 0, {0}}, major, minor};
    return CVersionStamp(s);
}

}  // namespace

TEST(VersionStamp, RecordLayout)
{
    EXPECT_EQ(20u, sizeof(VRX_VersionStamp));
    VRX_VersionStamp s = {{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}}, 0x1112, 0x1314};
    const uint8_t expected[20] = {4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16, 0x12, 0x11, 0x14, 0x13};
    EXPECT_EQ(0, std::memcmp(&s, expected, 20));
    uint8_t ones[20];
    std::memset(ones, 0xFF, sizeof ones);
    EXPECT_EQ(0, std::memcmp(&kInvalidVersionStamp, ones, 20));
    CVersionStamp c;
    EXPECT_TRUE(c == kNullVersionStamp);
    c.setInvalid();
    EXPECT_TRUE(c.isInvalid());
}

TEST(VersionStamp, BumpsCarryUpward)
{
    CVersionStamp s = stamp(7, 3, 5);
    s.bumpMinor();
    EXPECT_EQ(3, s.Major);
    EXPECT_EQ(6, s.Minor);
    s.bumpMajor();
    EXPECT_EQ(4, s.Major);
    EXPECT_EQ(0, s.Minor);

    s = stamp(7, 3, 0xFFFF);
    s.bumpMinor();
    EXPECT_EQ(4, s.Major);
    EXPECT_EQ(0, s.Minor);
    EXPECT_EQ(7u, s.Guid.Data1);

    s = stamp(7, 0xFFFF, 0xFFFF);
    s.bumpMinor();  // both wrap: a new stamp
    EXPECT_EQ(0, s.Major);
    EXPECT_EQ(0, s.Minor);
    EXPECT_FALSE(s.Guid == stamp(7, 0, 0).Guid);
    EXPECT_EQ(0x4000, s.Guid.Data3 & 0xF000);
}

TEST(VersionStamp, NewStampsDiffer)
{
    CVersionStamp a, b;
    EXPECT_EQ(S_OK, a.newStamp());
    EXPECT_EQ(S_OK, b.newStamp());
    EXPECT_FALSE(a == b);
    EXPECT_EQ(0, a.Major);
    EXPECT_EQ(0, a.Minor);
}

TEST(VersionStamp, EqualityAndOrder)
{
    EXPECT_TRUE(stamp(1, 1, 9) < stamp(1, 2, 0));   // major before minor
    EXPECT_FALSE(stamp(1, 2, 0) < stamp(1, 1, 9));
    EXPECT_TRUE(stamp(1, 1, 1) < stamp(1, 1, 2));
    EXPECT_TRUE(stamp(0xFF, 9, 9) < stamp(0x100, 0, 0));  // GUID first, numerically
    EXPECT_FALSE(stamp(1, 1, 1) < stamp(1, 1, 1));
    EXPECT_TRUE(stamp(1, 1, 1) == stamp(1, 1, 1));
    EXPECT_TRUE(stamp(1, 1, 1) != stamp(1, 1, 2));
    VRX_VersionStamp raw = stamp(5, 6, 7);
    CVersionStamp c;
    c = raw;
    EXPECT_TRUE(c == raw);
}

// ---------------------------------------------------------------------------
// GUID helpers

TEST(GuidHelpers, OrderIsNumericNotByMemory)
{
    GUID a = {0x000000FF, 0, 0, {0}}, b = {0x00000100, 0, 0, {0}};
    EXPECT_TRUE(guidLess(a, b));
    EXPECT_FALSE(guidLess(b, a));
    EXPECT_FALSE(guidLess(a, a));
    GUID c = {1, 1, 0x0100, {0}}, d = {1, 1, 0x00FF, {1}};
    EXPECT_TRUE(guidLess(d, c));
    GUID e = {1, 1, 1, {0x80, 0}}, f = {1, 1, 1, {0x7F, 0xFF}};
    EXPECT_TRUE(guidLess(f, e));  // unsigned bytes
    std::set<GUID, GuidLess> set{a, b, a};
    EXPECT_EQ(2u, set.size());
}

TEST(GuidHelpers, StreamTextRoundTrip)
{
    GUID g = {0xB50A2AE2, 0x3DB3, 0x11D3, {0x8F, 0x54, 0x00, 0x10, 0x5A, 0x2D, 0xC9, 0x95}};
    std::ostringstream os;
    writeGuidText(os, g) << ' ' << 5;
    EXPECT_EQ("{B50A2AE2-3DB3-11D3-8F54-00105A2DC995} 5", os.str());

    std::istringstream is("  {b50a2ae2-3db3-11d3-8f54-00105a2dc995} 5");
    GUID r{};
    int n = 0;
    readGuidText(is, r) >> n;
    EXPECT_TRUE(r == g);
    EXPECT_EQ(5, n);

    std::istringstream bad("B50A2AE2-3DB3-11D3-8F54-00105A2DC995 7");
    GUID untouched = g;
    readGuidText(bad, untouched);
    EXPECT_TRUE(bad.fail());
    EXPECT_TRUE(untouched == g);
}

TEST(GuidHelpers, ShortIdPair)
{
    ShortIdPair p;
    EXPECT_TRUE(p.isInvalid());
    p = ShortIdPair::fromDword(0x00020001);
    EXPECT_EQ(1, p.first());
    EXPECT_EQ(2, p.second());
    EXPECT_FALSE(p.isInvalid());
    p.setInvalid();
    EXPECT_TRUE(p.isInvalid());
    EXPECT_EQ(0xFFFFFFFFu, p.toDword());
}
