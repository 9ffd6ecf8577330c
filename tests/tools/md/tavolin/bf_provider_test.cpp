// The class-provider step of the boot-function compiler and the scanner's
// identifier check, against the stand-in library beside the test program:
// obtained from the library and through its registration, its codes and
// call log, and the class made unavailable.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bf_test_support.h"
#include "co/GlobTools.h"
#include "platform/comserver.h"
#include "platform/guid.h"
#include "platform/library.h"
#include "platform/settings_store.h"
#include "tools/md/tavolin/MdClassProvider.h"

using namespace bftest;
using fronttest::MessageCapture;

namespace {

// Sets an environment variable for one test.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : m_name(name) { setenv(name, value.c_str(), 1); }
    ~EnvVar() { unsetenv(m_name); }

private:
    const char* m_name;
};

// A fresh settings file for one test; an empty store afterwards.
class SettingsFile {
public:
    SettingsFile() : m_path(createTempName(true).c_str()), m_env("TAVOLIN_SETTINGS", m_path)
    {
        std::ofstream(m_path, std::ios::binary);
        tvp::settingsReload();
    }
    ~SettingsFile()
    {
        std::remove(m_path.c_str());
        unsetenv("TAVOLIN_SETTINGS");
        tvp::settingsReload();
    }

private:
    std::string m_path;
    EnvVar m_env;
};

// The stand-in's call log, removed afterwards.
class CallLog {
public:
    CallLog() : m_path(std::string(createTempName(true).c_str())), m_env("TVCLSPRV_LOG", m_path) {}
    ~CallLog() { std::remove(m_path.c_str()); }
    std::string text() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string m_path;
    EnvVar m_env;
};

const std::string kStandIn = std::string(TV_BINARY_DIR) + "/tests/" + tvp::libraryFileName("tvclsprv");

struct Scan {
    int result;
    int32_t errors;
};

// Compiles text with the provider obtained as registered says.
Scan compile(const std::string& text, bool registered)
{
    std::istringstream in(text);
    RecordingBfParser p;
    p.initScanner(&in, registered, true);
    const int result = p.parse();
    return Scan{result, p.errorCount()};
}

std::string section(const std::string& vars)
{
    return "BOOT_FUNCTIONDECL END_BOOT_FUNCTIONDECL BOOT_FUNCTIONS VAR " + vars +
           " END_VAR SUB_FUNCTIONS END_SUBFUNCTIONS DEFAULT BEGIN_ACT END_ACT END_BOOT_FUNCTIONS";
}

}  // namespace

TEST(BfClassProvider, CodesDecideTheWarningPerOccurrence)
{
    MessageCapture messages(argumentTable());
    CallLog log;
    EnvVar codes("TVCLSPRV_CLASSIFY", "seven=7,ok=0x00010054,zero=0");
    ComPtr<INameClassifier> c;
    c.Attach(mdBfObtainClassifier(false));
    ASSERT_TRUE(c) << "the stand-in beside the test program: " << kStandIn;

    int32_t errors = -1;
    const std::vector<Token> t = scanAll("Seven OK zero\nseven x", true, c.get(), &errors);
    EXPECT_EQ(t.size(), 5u);
    EXPECT_EQ(errors, 0);  // warnings are not counted
    ASSERT_EQ(messages.ids(), (std::vector<uint32_t>{516, 516}));
    EXPECT_EQ(messages.records[0].text, "seven");
    EXPECT_EQ(messages.records[0].position, 1u);
    EXPECT_EQ(messages.records[1].position, 2u);
    EXPECT_EQ(log.text(),
              "classify \"\" \"seven\" 7\nclassify \"\" \"ok\" 65620\nclassify \"\" \"zero\" 0\n"
              "classify \"\" \"seven\" 7\nclassify \"\" \"x\" 0\n");

    // Without lower-casing the name goes as written; the reserved words
    // answer 1 whatever their case.
    messages.clear();
    scanAll("While Position", false, c.get());
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{516});
    EXPECT_EQ(messages.records[0].text, "While");

    // The words at both ends of the list, words with "_" (which folds
    // between digits and letters) and their near misses.
    const struct {
        const char* name;
        LONG code;
    } words[] = {{"action", 1}, {"Xor", 1},     {"f_edge", 1}, {"FALSE", 1},   {"End_Function_Block", 1},
                 {"var_in_out", 1}, {"any_bit", 1}, {"Any", 1},   {"ANY_", 0},    {"XORX", 0},
                 {"xo", 0},     {"F_EDG", 0},   {"a", 0},      {"ZZZ", 0},     {"_", 0}};
    for (const auto& w : words) {
        LONG code = -1;
        ASSERT_EQ(c->Classify("", w.name, &code), S_OK);
        EXPECT_EQ(code, w.code) << w.name;
    }
}

TEST(BfClassProvider, RegisteredThroughTheLibrarysRegistration)
{
    SettingsFile settings;
    MessageCapture messages(argumentTable());
    // Nothing registered: message 0, counted, and the section still compiles.
    Scan s = compile(section("x : int;"), true);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.errors, 1);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{0});

    HMODULE lib = LoadLibraryA(kStandIn.c_str());
    ASSERT_NE(lib, nullptr) << tvp::lastLibraryError();
    auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(GetProcAddress(lib, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
    tvp::settingsReload();
    // Both classes of the library are registered.
    EXPECT_FALSE(tvpInprocServerPath(CLSID_NameClassifier).empty());
    EXPECT_EQ(tvpInprocServerPath(CLSID_NameClassifier), tvpInprocServerPath(CLSID_MdClassProvider));

    messages.clear();
    s = compile(section("x : int; y : Position;"), true);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.errors, 0);
    ASSERT_EQ(messages.ids(), std::vector<uint32_t>{516});
    EXPECT_EQ(messages.records[0].text, "int");
    FreeLibrary(lib);
}

TEST(BfClassProvider, UnavailableClassGivesOneInternalError)
{
    EnvVar off("TVCLSPRV_NO_CLASSIFIER", "1");
    MessageCapture messages(argumentTable());
    for (bool registered : {false, true}) {
        messages.clear();
        const Scan s = compile(section("x : int;"), registered);
        EXPECT_EQ(s.result, 0) << registered;  // scanned and parsed, unchecked
        EXPECT_EQ(s.errors, 1) << registered;
        ASSERT_EQ(messages.ids(), std::vector<uint32_t>{0}) << registered;
        EXPECT_EQ(messages.records[0].text, "Interner Fehler");
    }
}
