// Global tools: paths, texts, patterns, temporary names, OA entries, lists
// in VARIANTs, stream conversions, waiting, memory checks, scrambling.
#include "co/GlobTools.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "co/CoSettings.h"
#include "co/TraceApi.h"
#include "platform/com.h"
#include "platform/settings_store.h"
#include "platform/system.h"
#include "tests/co/test_stream.h"

namespace {

bool exists(const std::string& p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

void touch(const std::string& p)
{
    std::FILE* f = std::fopen(p.c_str(), "w");
    ASSERT_TRUE(f) << p;
    std::fputs("x", f);
    std::fclose(f);
}

}  // namespace

TEST(GlobTools, AbsolutePathsStayAndRelativeOnesGoBelowTheConfigDir)
{
    struct Case {
        const char* dir;
        const char* path;
        const char* result;
        bool changed;
    } cases[] = {
        {"/opt/tv/cfg", "C:\\x", "C:\\x", false},
        {"/opt/tv/cfg", "\\\\srv\\x", "\\\\srv\\x", false},
        {"/opt/tv/cfg", "\\x", "\\x", false},
        {"/opt/tv/cfg", "/x", "/x", false},
        {"/opt/tv/cfg", "c:rel", "c:rel", false},
        {"/opt/tv/cfg", "a\\b", "/opt/tv/cfg/a/b", true},
        {"/opt/tv/cfg/", "a\\b", "/opt/tv/cfg/a/b", true},
        {"/opt/tv\\cfg", "a/b", "/opt/tv/cfg/a/b", true},
        {"/opt/tv\\", "a", "/opt/tv/a", true},
        {"C:\\prog\\cfg", "a\\b", "C:\\prog\\cfg\\a\\b", true},
        {"C:\\prog\\cfg\\", "a\\b", "C:\\prog\\cfg\\\\a\\b", true},
        {"", "a\\b", "a\\b", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dir) + " + " + c.path);
        String path(c.path);
        EXPECT_EQ(makeAbsolutePathIn(path, String(c.dir)), c.changed);
        EXPECT_STREQ(path.c_str(), c.result);
    }
}

TEST(GlobTools, MakeAbsolutePathUsesTheSettings)
{
    const char* vrx = "SOFTWARE\\Korvent\\VRX\\4.1";
    const char* kernfeld = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld";
    tvp::settingsSetString("HKLM", vrx, "ProductDir", u"/opt/tv");
    tvp::settingsSetString("HKLM", kernfeld, "ConfigDir", u"cfg");
    resetSettingsCaches();

    String dir, path("units\\a.txt");
    EXPECT_TRUE(makeAbsolutePath(path, &dir));
    EXPECT_STREQ(dir.c_str(), "/opt/tv\\cfg");
    EXPECT_STREQ(path.c_str(), "/opt/tv/cfg/units/a.txt");
    String abs("C:\\x");
    EXPECT_FALSE(makeAbsolutePath(abs));
    EXPECT_STREQ(abs.c_str(), "C:\\x");

    tvp::settingsDeleteValue("HKLM", vrx, "ProductDir");
    tvp::settingsDeleteValue("HKLM", kernfeld, "ConfigDir");
    resetSettingsCaches();
    String rel("a\\b");
    EXPECT_FALSE(makeAbsolutePath(rel));
    EXPECT_STREQ(rel.c_str(), "a\\b");
}

TEST(GlobTools, TimeTexts)
{
    auto text = [](uint64_t ticks) {
        FILETIME ft{uint32_t(ticks), uint32_t(ticks >> 32)};
        return std::string(fileTimeToText(ft).c_str());
    };
    EXPECT_EQ(text(116444736000000000ULL), "1970-01-01#00:00:00.0");
    EXPECT_EQ(text(0), "1601-01-01#00:00:00.0");
    // 2000-02-29 23:59:59.999 (a leap day of a century year)
    EXPECT_EQ(text(116444736000000000ULL + (951868799ULL * 1000 + 999) * 10000), "2000-02-29#23:59:59.999");
    // 2024-03-01 01:02:03.045
    EXPECT_EQ(text(116444736000000000ULL + (1709254923ULL * 1000 + 45) * 10000), "2024-03-01#01:02:03.45");
    EXPECT_EQ(text(0x7FFFFFFFFFFFFFFFULL), "30828-09-14#02:48:05.477");
    EXPECT_EQ(text(0x8000000000000000ULL), "");
}

TEST(GlobTools, GuidAndObjectIdTexts)
{
    const GUID g = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    const char* gText = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    EXPECT_STREQ(guidToText(g).c_str(), gText);
    GUID back{};
    EXPECT_TRUE(textToGuid("{01234567-89ab-cdef-0123-456789abcdef}", &back));
    EXPECT_EQ(back, g);
    EXPECT_FALSE(textToGuid("01234567-89AB-CDEF-0123-456789ABCDEF", &back));
    EXPECT_EQ(back, GUID_NULL);

    EXPECT_EQ(std::string(guidNumbersToText(g, 3, -4).c_str()), std::string(gText) + " 3 -4");
    int32_t a = 0, b = 0;
    EXPECT_TRUE(textToGuidNumbers((std::string(gText) + " 3 -4").c_str(), &back, &a, &b));
    EXPECT_EQ(back, g);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, -4);
    EXPECT_FALSE(textToGuidNumbers((std::string(gText) + " 3").c_str(), &back, &a, &b));
    EXPECT_FALSE(textToGuidNumbers(gText, &back, &a, &b));

    CoObjectId id{};
    id.kind = 0;
    id.guid = g;
    EXPECT_EQ(std::string(objectIdToText(id).c_str()), std::string("ESOBJID:") + gText);
    id.kind = 1;
    const uint32_t px[6] = {0, 1, 0xABCDEF, 0xFFFFFFFF, 0x10, 0x7FFFFFFF};
    std::copy(px, px + 6, id.pxod);
    EXPECT_STREQ(objectIdToText(id).c_str(), "PXOD:0:1:ABCDEF:FFFFFFFF:10:7FFFFFFF");
    id.kind = 2;
    EXPECT_STREQ(objectIdToText(id).c_str(), "");

    CoObjectId r{};
    EXPECT_TRUE(textToObjectId("PXOD:0:1:abcdef:FFFFFFFF:10:7FFFFFFF", &r));
    EXPECT_EQ(r.kind, 1u);
    EXPECT_TRUE(std::equal(px, px + 6, r.pxod));
    EXPECT_FALSE(textToObjectId("PXOD:1:2:3:4:5", &r));
    EXPECT_TRUE(textToObjectId((std::string("ESOBJID:") + gText).c_str(), &r));
    EXPECT_EQ(r.kind, 0u);
    EXPECT_EQ(r.guid, g);
    EXPECT_FALSE(textToObjectId("ESOBJID:{bad}", &r));
    EXPECT_FALSE(textToObjectId("OBJ:1:2:3:4:5:6", &r));
    EXPECT_FALSE(textToObjectId("esobjid:{01234567-89AB-CDEF-0123-456789ABCDEF}", &r));
}

TEST(GlobTools, ValidationPatterns)
{
    auto full = [](const boost::regex& re, const char* s) { return boost::regex_match(s, re); };
    EXPECT_TRUE(full(CoPatterns::whiteSpace(), " \t\r\n\v\f"));
    EXPECT_TRUE(full(CoPatterns::signedInteger(), "-12"));
    EXPECT_FALSE(full(CoPatterns::unsignedInteger(), "-12"));
    EXPECT_TRUE(full(CoPatterns::hexDigits(), "09afAF"));
    for (const char* f : {"1.", "1.5", ".5", "12", "-1.5e+10", "3E-2"})
        EXPECT_TRUE(full(CoPatterns::floatNumber(), f)) << f;
    for (const char* f : {"1e10", ".", "-", "1.5e"}) EXPECT_FALSE(full(CoPatterns::floatNumber(), f)) << f;
    EXPECT_TRUE(full(CoPatterns::version(), "4.1"));
    EXPECT_TRUE(boost::regex_search("name.3.12", CoPatterns::versionSuffix()));
    EXPECT_TRUE(full(CoPatterns::identifier(), "_a1"));
    EXPECT_FALSE(full(CoPatterns::identifier(), "1a"));
    for (const char* id : {"a_b", "_a", "_1", "a_", "A1_b2"})
        EXPECT_TRUE(full(CoPatterns::identifierNoDoubleUnderscore(), id)) << id;
    for (const char* id : {"a__b", "__a", "a__", "1a"})
        EXPECT_FALSE(full(CoPatterns::identifierNoDoubleUnderscore(), id)) << id;
    EXPECT_TRUE(boost::regex_search("arr[3]", CoPatterns::indexOrMember()));
    EXPECT_TRUE(boost::regex_search("s.m", CoPatterns::indexOrMember()));
    EXPECT_TRUE(boost::regex_search("c:\\x", CoPatterns::driveLetter()));
    EXPECT_FALSE(boost::regex_search("x c:", CoPatterns::driveLetter()));
    EXPECT_TRUE(boost::regex_search("\\\\srv", CoPatterns::leadingBackslash()));
    EXPECT_FALSE(boost::regex_search("a\\b", CoPatterns::leadingBackslash()));
}

TEST(GlobTools, TemporaryFilesAndDirectories)
{
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    const std::string base = createTempDirectory().c_str();
    ASSERT_FALSE(base.empty());
    ::setenv("TMPDIR", base.c_str(), 1);

    const std::string a = createTempName(true).c_str(), b = createTempName(true).c_str();
    const std::string plain = createTempName(false).c_str();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(base + "/mctmp", 0), 0u);
    EXPECT_EQ(a.size(), base.size() + 1 + 20 + 6);  // a prefix of at most 20 characters
    EXPECT_EQ(plain.size(), base.size() + 1 + 5 + 6);
    struct stat st;
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A tree with a link to a directory outside it: the link goes, its
    // target stays. The tree is deeper than PATH_MAX allows as one path.
    const std::string outside = createTempDirectory().c_str();
    touch(outside + "/keep");
    const std::string tree = createTempDirectory().c_str();
    touch(tree + "/f");
    ASSERT_EQ(::symlink(outside.c_str(), (tree + "/link").c_str()), 0);
    ASSERT_EQ(::chdir(tree.c_str()), 0);
    const std::string name(200, 'd');
    for (int i = 0; i < 30; ++i) {   // 30 * 201 characters > PATH_MAX
        ASSERT_EQ(::mkdir(name.c_str(), 0700), 0);
        ASSERT_EQ(::chdir(name.c_str()), 0);
    }
    touch("leaf");
    ASSERT_EQ(::chdir(cwd), 0);

    EXPECT_TRUE(removeDirectoryTree(tree.c_str()));
    EXPECT_FALSE(exists(tree));
    EXPECT_TRUE(exists(outside + "/keep"));
    EXPECT_FALSE(removeDirectoryTree(tree.c_str()));

    ASSERT_EQ(::symlink(outside.c_str(), (base + "/dirlink").c_str()), 0);
    EXPECT_FALSE(removeDirectoryTree((base + "/dirlink").c_str()));
    EXPECT_TRUE(exists(outside + "/keep"));

    EXPECT_TRUE(removeDirectoryTree(outside.c_str()));
    EXPECT_TRUE(removeDirectoryTree(base.c_str()));
    if (oldTmp)
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

namespace {

// The messages of the trace lines written while f runs.
template <class F>
std::vector<std::string> tracesOf(F f)
{
    CTraceCapture capture;
    f();
    std::vector<std::string> out;
    for (const auto& l : capture.lines()) out.push_back(l.message);
    return out;
}

std::vector<std::string> one(const char* text) { return {text}; }

SAFEARRAY* bstrArray(const std::vector<std::u16string>& texts, LONG lbound = 0)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, lbound, ULONG(texts.size()));
    for (size_t i = 0; i < texts.size(); ++i) {
        LONG idx = lbound + LONG(i);
        OwnedBstr b(SysAllocString(texts[i].c_str()));
        SafeArrayPutElement(psa, &idx, b.get());
    }
    return psa;
}

}  // namespace

TEST(GlobTools, OAConsistencyEntries)
{
    const String written = encodeOAConsEntry(12, String("axis 1"), true);
    EXPECT_EQ(std::string(written.chars()), "ONL_OBJ:oa_app_instance(ID=\"12\",NAME=\"axis 1\",PDI=\"1\")");
    uint32_t id = 0;
    String name;
    bool pdi = false;
    ASSERT_TRUE(decodeOAConsEntry(written.chars(), &id, &name, &pdi));
    EXPECT_EQ(id, 12u);
    EXPECT_EQ(std::string(name.chars()), "axis 1");
    EXPECT_TRUE(pdi);
    ASSERT_TRUE(decodeOAConsEntry(encodeOAConsEntry(4294967295u, String(""), false).chars(), &id, &name, &pdi));
    EXPECT_EQ(id, 4294967295u);
    EXPECT_FALSE(pdi);

    const struct { const char* entry; const char* trace; } bad[] = {
        {"ONL_OBJ:other(ID=\"1\",NAME=\"n\",PDI=\"1\")", "not an OA Consistency entry"},
        {"ONL_OBJ:oa_app_instance(NAME=\"n\",PDI=\"1\")", "ID-Attribute not found"},
        {"ONL_OBJ:oa_app_instance(ID=\"x1\",NAME=\"n\",PDI=\"1\")", "Error decoding OA-ID"},
        {"ONL_OBJ:oa_app_instance(ID=\"4294967296\",NAME=\"n\",PDI=\"1\")", "Error decoding OA-ID"},
        {"ONL_OBJ:oa_app_instance(ID=\"1\",PDI=\"1\")", "Name-Attribute not found"},
        {"ONL_OBJ:oa_app_instance(ID=\"1\",NAME=\"n", "Name boundary not found"},
        {"ONL_OBJ:oa_app_instance(ID=\"1\",NAME=\"n\")", "PDI-Attribute not found"},
        {"ONL_OBJ:oa_app_instance(ID=\"1\",NAME=\"n\",PDI=\"2\")", "Invalid Value for PDI-Attr"},
    };
    for (const auto& c : bad) {
        id = 7;
        EXPECT_EQ(tracesOf([&] { EXPECT_FALSE(decodeOAConsEntry(c.entry, &id, &name, &pdi)); }), one(c.trace))
            << c.entry;
        EXPECT_EQ(id, 7u);
    }
}

TEST(GlobTools, ListsInVariants)
{
    const std::u16string g1 = u"{0B77C3C0-79ED-11D5-AE65-0040C7998E91}", g2 = u"{00000001-0002-0003-0405-060708090A0B}";
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = bstrArray({g1, g2}, 3);
    std::vector<GUID> ids;
    ASSERT_TRUE(decodeTypeIDList(v, ids));
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0].Data1, 0x0B77C3C0u);
    EXPECT_EQ(ids[1].Data4[7], 0x0B);
    std::vector<std::u16string> texts;
    ASSERT_TRUE(decodeInstallClassificationList(v, texts));
    EXPECT_EQ(texts, (std::vector<std::u16string>{g1, g2}));
    VariantClear(&v);

    // A single BSTR is a list of one for the type ids only.
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(g2.c_str());
    ids.clear();
    ASSERT_TRUE(decodeTypeIDList(v, ids));
    EXPECT_EQ(ids.size(), 1u);
    EXPECT_EQ(tracesOf([&] { EXPECT_FALSE(decodeInstallClassificationList(v, texts)); }),
              one("error getting safearray bounds!"));
    VariantClear(&v);

    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = bstrArray({g1, u"not a guid"});
    ids.clear();
    EXPECT_EQ(tracesOf([&] { EXPECT_FALSE(decodeTypeIDList(v, ids)); }), one("Error decoding package GUID"));
    EXPECT_EQ(ids.size(), 1u);
    VariantClear(&v);
    v.vt = VT_I4;
    EXPECT_EQ(tracesOf([&] { EXPECT_FALSE(decodeTypeIDList(v, ids)); }), one("error getting safearray bounds!"));
}

TEST(GlobTools, StreamConversions)
{
    const std::string bytes("ab\0cd\xff", 6);
    BSTR b = SysAllocStringByteLen(bytes.data(), UINT(bytes.size()));
    IStream* s = convertBSTR2Stream(b);
    SysFreeString(b);
    ASSERT_NE(s, nullptr);
    String text = convertStream2String(s);
    EXPECT_EQ(std::string(text.chars(), size_t(text.length())), bytes);
    BSTR back = convertStream2BSTR(s);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(SysStringByteLen(back), 6u);
    EXPECT_EQ(std::memcmp(back, bytes.data(), 6), 0);
    SysFreeString(back);

    const char* dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tv_globtools_" + std::to_string(::getpid());
    EXPECT_EQ(writeStream2File(s, path.c_str()), S_OK);
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), bytes);
    std::remove(path.c_str());
    EXPECT_EQ(tracesOf([&] { EXPECT_EQ(writeStream2File(s, "/no/such/dir/file"), STG_E_FILENOTFOUND); }),
              one("Error opening file"));
    s->Release();

    EXPECT_EQ(tracesOf([] { EXPECT_EQ(convertStream2BSTR(nullptr), nullptr); }), one("No Stream Member"));
    EXPECT_EQ(tracesOf([] { EXPECT_EQ(convertStream2String(nullptr).length(), 0); }), one("No Stream Parameter"));
    IStream* empty = convertBSTR2Stream(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(convertStream2String(empty).length(), 0);
    empty->Release();
}

// Memory runs out from `bytes` bytes on, for the platform's allocations.
struct Exhausted {
    explicit Exhausted(size_t bytes) { tvp::failAllocationsFrom(bytes); }
    ~Exhausted() { tvp::failAllocationsFrom(SIZE_MAX); }
};

TEST(GlobTools, StreamConversionsWhenAStepFails)
{
    const char* dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tv_globtools_fail_" + std::to_string(::getpid());
    cotest::TestStream unreadable({1, 2, 3});
    unreadable.failRead = true;
    EXPECT_EQ(tracesOf([&] { EXPECT_EQ(writeStream2File(&unreadable, path.c_str()), STG_E_READFAULT); }),
              one("Error Stream read"));
    std::remove(path.c_str());
    cotest::TestStream three({1, 2, 3});
    EXPECT_EQ(tracesOf([&] { EXPECT_EQ(writeStream2File(&three, "/dev/full"), STG_E_WRITEFAULT); }),
              one("Error writing to File"));

    // Memory running out is answered, never thrown.
    const std::string big(1 << 20, 'x');
    BSTR b = SysAllocStringByteLen(big.data(), UINT(big.size()));
    HRESULT hr = S_OK;
    {
        Exhausted all(0);
        EXPECT_EQ(tracesOf([&] { EXPECT_EQ(convertBSTR2Stream(b, &hr), nullptr); }), one("Error creating stream!"));
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    {
        Exhausted large(big.size());
        EXPECT_EQ(tracesOf([&] { EXPECT_EQ(convertBSTR2Stream(b, &hr), nullptr); }), one("Error writing Data"));
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    IStream* s = convertBSTR2Stream(b, &hr);
    SysFreeString(b);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(hr, S_OK);
    {
        Exhausted large(big.size());
        hr = S_OK;
        EXPECT_EQ(convertStream2BSTR(s, &hr), nullptr);
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        hr = S_OK;
        EXPECT_EQ(convertStream2String(s, &hr).length(), 0);
        EXPECT_EQ(hr, E_OUTOFMEMORY);
    }
    EXPECT_EQ(convertStream2String(s, &hr).length(), int(big.size()));
    EXPECT_EQ(hr, S_OK);
    s->Release();
}

TEST(GlobTools, WaitWithMessagesWaitsInSlices)
{
    static int slices;
    auto count = [] { ++slices; };
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(e, nullptr);

    // 50 ms: one slice of 50 ms, then the time-out.
    slices = 0;
    uint32_t timeout = 50;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(waitWithMessages(1, &e, &timeout, count), 258u);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(ms, 50);  // no upper bound: a loaded machine may wake the waiter late
    EXPECT_EQ(slices, 0);
    EXPECT_EQ(timeout, 0u);

    // 250 ms: a slice of 200 ms, the messages, a slice of 50 ms.
    slices = 0;
    timeout = 250;
    EXPECT_EQ(waitWithMessages(1, &e, &timeout, count), 258u);
    EXPECT_EQ(slices, 1);

    // Signalled from another thread while waiting without a limit.
    HANDLE f = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE both[] = {e, f};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SetEvent(e);
        SetEvent(f);
    });
    EXPECT_EQ(waitWithMessages(2, both, nullptr), 0u);
    setter.join();
    timeout = 0;
    EXPECT_EQ(waitWithMessages(2, both, &timeout), 258u);   // the auto-reset event was used up
    EXPECT_TRUE(CloseHandle(f));
    EXPECT_EQ(waitWithMessages(2, both, nullptr), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(e));
}

TEST(GlobTools, MemoryChecks)
{
    EXPECT_TRUE(isLargeAddressSpace());
    EXPECT_TRUE(isMemoryAvailable(1 << 20, 0));
    EXPECT_TRUE(isMemoryAvailable(1 << 20, 101));

    MEMORYSTATUSEX ms{};
    ms.dwLength = sizeof ms;
    ms.dwMemoryLoad = 60;
    ms.ullTotalVirtual = 0xBFFF0000ull;   // 3 GB
    ms.ullAvailVirtual = 0x50000000ull;   // 1.25 GB free, 1 GB of it above 0x7FFE0000
    EXPECT_TRUE(isMemoryAvailableIn(ms, true, 0x48000000u, 0));
    EXPECT_FALSE(isMemoryAvailableIn(ms, false, 0x48000000u, 0));
    EXPECT_TRUE(isMemoryAvailableIn(ms, false, 0x08000000u, 0));
    EXPECT_TRUE(isMemoryAvailableIn(ms, true, 0x10000000u, 61));
    EXPECT_FALSE(isMemoryAvailableIn(ms, true, 0x10000000u, 60));
}

TEST(GlobTools, ScrambleRoundTripsOnRandomPrintableText)
{
    std::mt19937 rng(22);
    for (int round = 0; round < 2000; ++round) {
        std::string t(rng() % 64, ' ');
        for (char& c : t) c = char(32 + rng() % 95);
        if (round % 10 == 0 && !t.empty()) t[rng() % t.size()] = char(rng() % 256);   // a byte that is not printable
        const String plain(t.data(), int(t.size()));
        const String hidden = scrambleString(plain);
        ASSERT_EQ(hidden.length(), plain.length());
        if (t.size() > 8) {
            EXPECT_NE(std::string(hidden.chars(), size_t(hidden.length())), t);
        }
        const String back = unscrambleString(hidden);
        ASSERT_EQ(std::string(back.chars(), size_t(back.length())), t) << round;
    }
}

TEST(GlobTools, LowerCaseTable)
{
    const unsigned char* lower = coLowerCaseTable();
    for (int c = 0; c < 256; ++c) EXPECT_EQ(lower[c], (c >= 'A' && c <= 'Z') ? c + 32 : c) << c;
}
