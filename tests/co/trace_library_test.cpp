// Binding to a trace library: a small stand-in library is compiled at run
// time (skipped when no C compiler is on the path) and bound by a client of
// its own, so the process-wide clients are not affected.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "co/TraceApi.h"
#include "platform/library.h"
#include "platform/settings_store.h"

namespace {

const char kFakeTracer[] = R"(
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
typedef struct { uint32_t level, line; char file[100]; char function[50]; char text[100]; } Silent;
static char last[2048];
static char silentFunction[51], silentText[101];
static int deinitCalls, silentCalls;
int traceapi_Init2(int a, int b, void** h, int c) { *h = (void*)0x1234; return 1; }
int IsTraceReleased2(void* h, uint32_t ctx, uint32_t comp, uint32_t level) { return level == 4 && h == (void*)0x1234; }
int VTraceMsg2(void* h, uint32_t ctx, uint32_t comp, uint32_t level, const char* header, const char* fmt, va_list ap)
{
    char msg[1024];
    vsnprintf(msg, sizeof msg, fmt, ap);
    snprintf(last, sizeof last, "%u|%u|%u|%s|%s", ctx, comp, level, header, msg);
    return 1;
}
void TraceMsgSilent(void* h, uint32_t ctx, uint32_t comp, const Silent* s)
{
    memcpy(silentFunction, s->function, 50);
    memcpy(silentText, s->text, 100);
    silentCalls++;
}
int traceapi_DeInit2(void* h) { deinitCalls++; return 1; }
const char* fake_last(void) { return last; }
const char* fake_silent_function(void) { return silentFunction; }
const char* fake_silent_text(void) { return silentText; }
int fake_silent_calls(void) { return silentCalls; }
int fake_deinit_calls(void) { return deinitCalls; }
)";

class TraceLibrary : public ::testing::Test {
protected:
    static std::string s_lib;

    static void SetUpTestSuite()
    {
        std::string dir = ::testing::TempDir() + "tvtrace_" + std::to_string(getpid());
        std::string src = dir + ".c";
        s_lib = dir + ".so";
        std::ofstream(src) << kFakeTracer;
        std::string cmd = "cc -shared -fPIC -o '" + s_lib + "' '" + src + "' 2>/dev/null";
        if (std::system(cmd.c_str()) != 0) s_lib.clear();
        std::remove(src.c_str());
    }
    static void TearDownTestSuite()
    {
        if (!s_lib.empty()) std::remove(s_lib.c_str());
    }
    void SetUp() override
    {
        if (s_lib.empty()) GTEST_SKIP() << "no C compiler to build the stand-in trace library";
        tvp::settingsClear();
        m_probe = LoadLibraryA(s_lib.c_str());
        ASSERT_NE(nullptr, m_probe);
    }
    void TearDown() override
    {
        if (m_probe) FreeLibrary(m_probe);
        tvp::settingsClear();
    }
    std::string text(const char* fn)
    {
        auto f = reinterpret_cast<const char* (*)()>(GetProcAddress(m_probe, fn));
        return f ? f() : "?";
    }
    int number(const char* fn)
    {
        auto f = reinterpret_cast<int (*)()>(GetProcAddress(m_probe, fn));
        return f ? f() : -1;
    }
    HMODULE m_probe = nullptr;
};

std::string TraceLibrary::s_lib;

void writeThrough(CTraceApi& api, TraceRecord& rec, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    api.write(rec, format, args);
    va_end(args);
}

// A finished message with the caller's own format and arguments beside it.
void writeMessage(CTraceApi& api, TraceRecord& rec, const char* message, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    api.write(rec, format, args, message);
    va_end(args);
}

}  // namespace

TEST_F(TraceLibrary, FinishedMessageReachesTheLibraryWhole)
{
    // The path of traceLineLastError: the library must get the whole text,
    // not the caller's first argument read through "%s".
    CTraceApi api(5, false, s_lib.c_str());
    ASSERT_TRUE(api.isBound());
    TraceRecord rec(4, 7, "src", "Cls::fn");
    writeMessage(api, rec, "Failed to call LoadLibrary a.dll GetLastError() returns \"100% gone\"",
                 "Failed to call LoadLibrary %s", "a.dll");
    std::string last = text("fake_last");
    const std::string tail = "]|Failed to call LoadLibrary a.dll GetLastError() returns \"100% gone\"";
    ASSERT_GE(last.size(), tail.size()) << last;
    EXPECT_EQ(tail, last.substr(last.size() - tail.size()));
    api.shutdown();
}

TEST_F(TraceLibrary, BoundClientPassesHeaderAndFormatToTheLibrary)
{
    CTraceApi api(5, false, s_lib.c_str());
    ASSERT_TRUE(api.isBound());
    EXPECT_TRUE(api.isLevelOn(4));
    EXPECT_FALSE(api.isLevelOn(1));
    TraceRecord rec(4, 42, "src", "Cls::fn");
    writeThrough(api, rec, "value %d of %s", 7, "x");
    std::string expectHeader = std::string("Cls::fn [src (42), module: ") + api.moduleName() + ", thread: 0x";
    std::string last = text("fake_last");
    EXPECT_EQ(0u, last.find("0|5|4|" + expectHeader)) << last;
    EXPECT_EQ("]|value 7 of x", last.substr(last.size() - 14));

    api.shutdown();
    EXPECT_EQ(1, number("fake_deinit_calls"));
    EXPECT_FALSE(api.isBound());
    EXPECT_FALSE(api.isLevelOn(4));
    writeThrough(api, rec, "after shutdown");  // unbound: nothing, no crash
    api.shutdown();
    EXPECT_EQ(1, number("fake_deinit_calls"));
}

TEST_F(TraceLibrary, SilentModeSendsCutUnformattedRecordsForLevelsThatAreOff)
{
    tvp::settingsSetDword("HKCU", "SOFTWARE\\Korvent\\VRX\\4.1\\Trace", "silent-trace", 1);
    CTraceApi api(5, false, s_lib.c_str());
    ASSERT_TRUE(api.isSilent());
    std::string method(60, 'M');
    TraceRecord rec(1, 3, "src", method.c_str());
    int before = number("fake_silent_calls");
    writeThrough(api, rec, "format %d", 1);
    EXPECT_EQ(before + 1, number("fake_silent_calls"));
    EXPECT_EQ(std::string(50, 'M'), text("fake_silent_function"));
    EXPECT_EQ("format %d", text("fake_silent_text"));
    api.shutdown();
}

TEST_F(TraceLibrary, UnboundWithoutLibrary)
{
    CTraceApi api(5, false, "tv_no_such_tracer.dll");
    EXPECT_FALSE(api.isBound());
    EXPECT_FALSE(api.isLevelOn(4));
}
