#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "platform/guid.h"
#include "platform/library.h"

namespace {

const GUID kSample = {0xB50A2AE2, 0x3DB3, 0x11D3, {0x8F, 0x54, 0x00, 0x10, 0x5A, 0x2D, 0xC9, 0x95}};

}  // namespace

TEST(Guid, TextRoundTripUpperCaseOut)
{
    char16_t buf[39];
    EXPECT_EQ(0, StringFromGUID2(kSample, buf, 38));
    ASSERT_EQ(39, StringFromGUID2(kSample, buf, 39));
    EXPECT_EQ(u"{B50A2AE2-3DB3-11D3-8F54-00105A2DC995}", std::u16string(buf));
    EXPECT_EQ("{B50A2AE2-3DB3-11D3-8F54-00105A2DC995}", tvp::guidToString(kSample));

    CLSID g{};
    EXPECT_EQ(S_OK, CLSIDFromString(u"{b50a2ae2-3db3-11d3-8f54-00105a2dc995}", &g));
    EXPECT_TRUE(g == kSample);
    IID i{};
    EXPECT_EQ(S_OK, IIDFromString(buf, &i));
    EXPECT_TRUE(i == kSample);
}

TEST(Guid, MalformedTextIsRefused)
{
    const char16_t* bad[] = {
        u"B50A2AE2-3DB3-11D3-8F54-00105A2DC995",     // no braces
        u"{B50A2AE2-3DB3-11D3-8F54-00105A2DC995",    // no closing brace
        u"{B50A2AE2-3DB3-11D3-8F54-00105A2DC995}x",  // trailing text
        u"{B50A2AE2-3DB3-11D3-8F5400105A2DC995 }",   // hyphen missing
        u"{B50A2AE2-3DB3-11D3-8F54-00105A2DC99G}",   // not hex
        u"{B50A2AE23DB3-11D3-8F54-00105A2DC995-}",
        u"",
    };
    for (const char16_t* t : bad) {
        CLSID g = kSample;
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(t, &g));
        EXPECT_TRUE(g == GUID_NULL);
        IID i;
        EXPECT_EQ(E_INVALIDARG, IIDFromString(t, &i));
    }
    EXPECT_EQ(E_INVALIDARG, CLSIDFromString(nullptr, nullptr));
    GUID g = kSample;
    EXPECT_FALSE(tvp::guidFromString("{B50A2AE2-3DB3-11D3-8F54-00105A2DC995", g));
    EXPECT_TRUE(g == kSample);
}

TEST(Guid, CreateGivesDistinctVersion4Guids)
{
    std::set<std::string> seen;
    for (int n = 0; n < 64; ++n) {
        GUID g;
        ASSERT_EQ(S_OK, CoCreateGuid(&g));
        EXPECT_EQ(0x4000, g.Data3 & 0xF000);
        EXPECT_EQ(0x80, g.Data4[0] & 0xC0);
        seen.insert(tvp::guidToString(g));
    }
    EXPECT_EQ(64u, seen.size());
}

TEST(Guid, CompareIsNumericByField)
{
    // Little-endian memory order would put these the other way round.
    GUID a = {0x000000FF, 0, 0, {0}};
    GUID b = {0x00000100, 0, 0, {0}};
    EXPECT_LT(tvp::guidCompare(a, b), 0);
    EXPECT_GT(tvp::guidCompare(b, a), 0);
    GUID c = {1, 0x00FF, 0, {0}}, d = {1, 0x0100, 0, {0}};
    EXPECT_LT(tvp::guidCompare(c, d), 0);
    GUID e = {1, 1, 1, {0, 0, 0, 0, 0, 0, 0, 0x80}}, f = {1, 1, 1, {0, 0, 0, 0, 0, 0, 1, 0}};
    EXPECT_LT(tvp::guidCompare(e, f), 0);
    EXPECT_EQ(0, tvp::guidCompare(kSample, kSample));
}

TEST(Library, NamingRule)
{
    EXPECT_EQ("libtvtracer.so", tvp::libraryFileName("tvtracer"));
    EXPECT_EQ("libtvtracer.so", tvp::libraryFileName("tvtracer.dll"));
    EXPECT_EQ("libtvtracer.so", tvp::libraryFileName("tvtracer.DLL"));
    EXPECT_EQ("./libtvmsgtxa.so", tvp::libraryFileName(".\\tvmsgtxa.dll"));
    EXPECT_EQ("/opt/tv/lib/libtvclsprv.so", tvp::libraryFileName("/opt/tv\\lib\\tvclsprv.dll"));
    EXPECT_EQ("libm.so.6", tvp::libraryFileName("libm.so.6"));
    EXPECT_EQ("/x/libfoo.so", tvp::libraryFileName("/x/libfoo.so"));
    EXPECT_EQ("libmy.dll.so", tvp::libraryFileName("my.dll.dll"));
}

TEST(Library, AbsentLibraryFailsCleanly)
{
    HMODULE h = LoadLibraryA("tv_no_such_library_here.dll");
    EXPECT_EQ(nullptr, h);
    EXPECT_NE(std::string::npos, tvp::lastLibraryError().find("libtv_no_such_library_here.so"));
    EXPECT_EQ(nullptr, LoadLibraryA(nullptr));
    EXPECT_EQ(nullptr, LoadLibraryA("/nonexistent\\dir\\x.dll"));
    EXPECT_EQ(nullptr, GetProcAddress(nullptr, "x"));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(Library, LoadsSystemLibraryAndResolvesExports)
{
    HMODULE h = LoadLibraryA("libm.so.6");
    ASSERT_NE(nullptr, h);
    auto cosFn = reinterpret_cast<double (*)(double)>(GetProcAddress(h, "cos"));
    ASSERT_NE(nullptr, cosFn);
    EXPECT_DOUBLE_EQ(1.0, cosFn(0.0));
    EXPECT_EQ(nullptr, GetProcAddress(h, "no_such_export_xyz"));
    char path[512];
    EXPECT_GT(GetModuleFileNameA(h, path, sizeof path), 0u);
    EXPECT_NE(nullptr, std::strstr(path, "libm"));
    char small[4];
    EXPECT_EQ(3u, GetModuleFileNameA(h, small, sizeof small));
    EXPECT_EQ(3u, std::strlen(small));
    EXPECT_TRUE(FreeLibrary(h));
}

TEST(Library, ModuleOfAnAddress)
{
    static int marker;
    // This test's own code and data live in the test executable.
    std::string exe = tvp::moduleFileNameOf(reinterpret_cast<const void*>(&marker));
    EXPECT_EQ("test_platform", exe);
    std::string dir = tvp::moduleDirOf(reinterpret_cast<const void*>(&marker));
    EXPECT_EQ('/', dir.at(0));
    EXPECT_EQ(dir + "/" + exe, tvp::modulePathOf(&marker));
    EXPECT_EQ("", tvp::modulePathOf(nullptr));
    std::string libm = tvp::moduleFileNameOf(reinterpret_cast<const void*>(static_cast<double (*)(double)>(&std::cos)));
    EXPECT_NE(std::string::npos, libm.find("libm")) << libm;
}
