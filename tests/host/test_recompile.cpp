// A recompile into an existing target holds what its source compiles to:
// for a source that lacks section kinds the target of a fuller source had,
// every stream of the target, the resource script and the macro files equal
// those of a compile of the same source into a new target; what no step of
// the compile writes stays as the target had it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "co/GlobTools.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tests/base/fs/test_dsc_util.h"
#include "tests/host/HostFiles.h"
#include "tests/host/HostSysVars.h"

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";

using hosttest::readFile;

std::string example(const std::string& name)
{
    return readFile(std::string(TV_SOURCE_DIR) + "/examples/" + name);
}

// The source without the lines from the one that is `from` up to the one
// that is `to` (both included).
std::string without(const std::string& source, const std::string& from, const std::string& to)
{
    const size_t begin = source.find("\n" + from + "\n");
    const size_t end = begin == std::string::npos ? begin : source.find("\n" + to + "\n", begin);
    if (end == std::string::npos) {
        ADD_FAILURE() << "no " << from << " ... " << to << " in the source";
        return source;
    }
    return source.substr(0, begin + 1) + source.substr(end + to.size() + 2);
}

// Every stream of a compound file by its path ("code/name" in a
// sub-storage), with its bytes.
using Streams = std::map<std::string, std::string>;

void collect(IStorage* stg, const std::string& prefix, Streams& out)
{
    IEnumSTATSTG* e = nullptr;
    if (FAILED(stg->EnumElements(0, nullptr, 0, &e)) || !e) return;
    STATSTG st;
    ULONG got = 0;
    while (e->Next(1, &st, &got) == S_OK && got == 1) {
        const std::string name = prefix + tvp::wideToUtf8(st.pwcsName, tvp::u16len(st.pwcsName));
        if (st.type == STGTY_STREAM) {
            IStream* s = nullptr;
            if (SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
                out[name] = dsctest::streamBytes(s);
                s->Release();
            }
        } else if (st.type == STGTY_STORAGE) {
            IStorage* sub = nullptr;
            if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub))) {
                collect(sub, name + "/", out);
                sub->Release();
            }
        }
        CoTaskMemFree(st.pwcsName);
    }
    e->Release();
}

Streams streamsOf(const std::string& file)
{
    Streams out;
    IStorage* stg = nullptr;
    if (FAILED(StgOpenStorage(tvp::utf8ToWide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                              &stg)))
        return out;
    collect(stg, "", out);
    stg->Release();
    return out;
}

// The names of the streams whose bytes differ, or that only one side has.
std::string differing(const Streams& a, const Streams& b)
{
    std::string names;
    for (const auto& s : a) {
        auto other = b.find(s.first);
        if (other == b.end() || other->second != s.second) names += s.first + " ";
    }
    for (const auto& s : b)
        if (!a.count(s.first)) names += s.first + " ";
    return names;
}

class Recompile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = createTempDirectory().c_str();
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override { removeDirectoryTree(m_dir.c_str()); }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // Compiles the source text into DIR/t.dsc with DIR/t.rc and the macro
    // files DIR/t.m4h and DIR/t.m4c (the class provider and the boot
    // functions' classifier are the stand-ins); the exit status.
    int compile(const std::string& text, const std::string& dir, const std::string& env)
    {
        const std::string source = path("source.txt");
        std::ofstream(source, std::ios::binary) << text;
        ::mkdir(path(dir).c_str(), 0700);
        const std::string cmd = "cd '" + path(dir) + "' && env -u TAVOLIN_SETTINGS " + env + " '" + kTavolin +
                                "' compile '" + source + "' -o t.dsc --rc t.rc --impl t --flag 0 >out 2>&1";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string outputOf(const std::string& dir) const { return readFile(path(dir + "/out")); }
    // The streams of DIR/t.dsc, and the resource script and the macro files
    // under their names.
    Streams resultsIn(const std::string& dir) const
    {
        Streams all = streamsOf(path(dir + "/t.dsc"));
        for (const char* output : {"t.rc", "t.m4h", "t.m4c"}) all[output] = readFile(path(dir + "/" + output));
        return all;
    }

    // Compiles the full source into the directory KIND-full; each reduced
    // source then into a new target and into a copy of that one. Both must
    // succeed and agree in every stream, the resource script and the macro
    // files; the reduced source must change something of the full one's
    // target.
    void expectRecompilesLikeNew(const std::string& kind, const std::string& full,
                                 const std::map<std::string, std::string>& reduced, const std::string& env)
    {
        const std::string fullDir = kind + "-full";
        ASSERT_EQ(compile(full, fullDir, env), 0) << outputOf(fullDir);
        const Streams fullResults = resultsIn(fullDir);
        ASSERT_GT(fullResults.size(), 3u);
        int n = 0;
        for (const auto& c : reduced) {
            SCOPED_TRACE(kind + ": " + c.first);
            const std::string fresh = kind + "-new" + std::to_string(n), again = kind + "-again" + std::to_string(n);
            ++n;
            ASSERT_EQ(compile(c.second, fresh, env), 0) << outputOf(fresh);
            ::mkdir(path(again).c_str(), 0700);
            std::ofstream(path(again + "/t.dsc"), std::ios::binary) << readFile(path(fullDir + "/t.dsc"));
            ASSERT_EQ(compile(c.second, again, env), 0) << outputOf(again);

            const Streams freshResults = resultsIn(fresh);
            EXPECT_NE(differing(fullResults, freshResults), "") << "the case drops nothing the full source wrote";
            EXPECT_EQ(differing(freshResults, resultsIn(again)), "");
        }
    }

    std::string m_dir;
};

TEST_F(Recompile, ATechnologyObjectWithoutSomeOfItsSections)
{
    const std::string axis = example("axis.tos");
    const std::string header = axis.substr(0, axis.find("END_TO_HEADER\n") + 14);
    const std::map<std::string, std::string> reduced = {
        {"no comments", without(axis, "VARCOMMENT", "END_VARCOMMENT")},
        {"no variables", without(axis, "CONFIGS", "END_BITFIELDS")},
        {"no INTERFACE", without(axis, "INTERFACE", "END_INTERFACE")},
        {"no alarms", without(axis, "ALARM_STRING_TABLE", "END_ALARM")},
        {"no alarm error texts", without(axis, "BEGIN_ALARM_VRX_ERROR_TEXT", "END_ALARM_VRX_ERROR_TEXT")},
        {"no alarms and no alarm error texts",
         without(without(axis, "ALARM_STRING_TABLE", "END_ALARM"), "BEGIN_ALARM_VRX_ERROR_TEXT",
                 "END_ALARM_VRX_ERROR_TEXT")},
        {"no boot functions", without(axis, "BEGIN_BF_FUNCTIONS", "END_BFDCOMMENT")},
        {"no boot-function error texts", without(axis, "BEGIN_BF_ERRORTEXT", "END_BF_ERRORTEXT")},
        {"no boot-function comments", without(axis, "BFDCOMMENT", "END_BFDCOMMENT")},
        {"no implementation", without(axis, "BEGIN_IO_DATA", "END_IO_DATA")},
        {"the header alone", header},
    };
    expectRecompilesLikeNew("axis", axis, reduced, hosttest::exampleSysVars("axis.tos").env);
}

TEST_F(Recompile, APackageAndADeviceWithoutSomeOfTheirSections)
{
    const std::string motion = example("motion.tps");
    expectRecompilesLikeNew("package", motion,
                            {{"no supported types", without(motion, "SUPPORTED_TO_TYPES", "END_SUPPORTED_TO_TYPES")},
                             {"no implementation", without(motion, "BEGIN_IO_DATA", "END_IO_DATA")},
                             {"the header alone", motion.substr(0, motion.find("END_TP_HEADER\n") + 14)}},
                            "");
    // The device's licence data fail its implementation: left out here.
    const std::string controller = without(example("controller.dvs"), "LICENCE_DATA", "END_LICENCE_DATA");
    expectRecompilesLikeNew(
        "device", controller,
        {{"no supported types", without(controller, "SUPPORTED_TO_TYPES", "END_SUPPORTED_TO_TYPES")},
         {"the header alone", controller.substr(0, controller.find("END_DV_TP_HEADER\n") + 17)}},
        "");
}

// What no step writes stays: the system-variable table of a class provider
// that writes none this time, and sections of the target's own, also under
// names code page 1252 lacks (two of them, and one that is "?", which such
// a name would read as there). The header is the new source's (the cases
// above keep it as it was). The sections of the steps without their section
// are emptied: the comparisons above see it.
TEST_F(Recompile, WhatNoStepWritesStays)
{
    const std::string axis = example("axis.tos");
    ASSERT_EQ(compile(axis, "full", hosttest::exampleSysVars("axis.tos").env), 0) << outputOf("full");
    const struct {
        std::u16string name;
        std::string bytes;
    } own[] = {{u"mine", "kept"}, {u"Gr\u00FC\u00DFe", "cp1252"}, {u"?", "question"},
               {u"\u03A9", "omega"}, {u"\u0416\u0443\u043A", "beetle"}};
    {
        IStorage* stg = nullptr;
        ASSERT_EQ(StgOpenStorage(tvp::utf8ToWide(path("full/t.dsc")).c_str(), nullptr,
                                 STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &stg),
                  S_OK);
        for (const auto& o : own) {
            IStream* s = nullptr;
            ASSERT_EQ(stg->CreateStream(o.name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s),
                      S_OK);
            ULONG n = 0;
            s->Write(o.bytes.data(), ULONG(o.bytes.size()), &n);
            s->Release();
        }
        ASSERT_EQ(stg->Commit(STGC_DEFAULT), S_OK);
        stg->Release();
    }
    const Streams before = streamsOf(path("full/t.dsc"));
    ASSERT_NE(before.at("symb"), "");

    std::string other = axis.substr(0, axis.find("END_TO_HEADER\n") + 14);
    other.replace(other.find("Positionierachse"), 16, "Achse ohne Sektionen");
    ASSERT_EQ(compile(other, "full", ""), 0) << outputOf("full");
    const Streams after = streamsOf(path("full/t.dsc"));
    for (const auto& o : own) EXPECT_EQ(after.at(tvp::wideToUtf8(o.name)), o.bytes) << tvp::wideToUtf8(o.name);
    EXPECT_EQ(after.at("symb"), before.at("symb"));
    EXPECT_NE(after.at("header").find("Achse ohne Sektionen"), std::string::npos) << after.at("header");
    EXPECT_NE(outputOf("full").find("copySections: ok, 25 sections of the target (2 kept as they are: their names "
                                    "are not in code page 1252)\n"),
              std::string::npos)
        << outputOf("full");

    // And again with the whole source: every step writes its sections.
    ASSERT_EQ(compile(axis, "full", hosttest::exampleSysVars("axis.tos").env), 0) << outputOf("full");
    const Streams again = streamsOf(path("full/t.dsc"));
    for (const auto& o : own) EXPECT_EQ(again.at(tvp::wideToUtf8(o.name)), o.bytes) << tvp::wideToUtf8(o.name);
    EXPECT_EQ(again.at("header"), before.at("header"));
}

}  // namespace
