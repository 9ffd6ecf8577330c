// The boot-function compiler run over a source into a descriptor in memory
// with the stand-in classifier beside the test program: its result, its
// messages with their arguments and lines, its sections and macro files.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/cm/cmmsgentry.h"
#include "base/cm/cmmsgtab.h"
#include "co/GlobTools.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdBfParser.h"

namespace bftest {

// The compiler's messages with texts of their arguments: "%s" for one,
// "%s|%s" for two, "-" for none (left out of the records).
inline CmMsgTable* compilerMessageTable()
{
    static const CmMsgTableEntry entries[] = {
        {0, 2, 0, u"-"},      {500, 2, 0, u"-"},    {501, 2, 0, u"%s"},  {502, 2, 0, u"%s"},
        {503, 2, 0, u"-"},    {504, 2, 0, u"%s"},  {505, 2, 0, u"%s"},  {506, 2, 0, u"-"},
        {507, 2, 0, u"-"},    {508, 2, 0, u"-"},    {509, 2, 0, u"%s"},  {510, 2, 0, u"%s"},
        {511, 2, 0, u"%s"},  {512, 2, 0, u"-"},    {513, 2, 0, u"%s|%s"}, {514, 1, 0, u"%s"},
        {516, 1, 0, u"%s"},  {517, 1, 0, u"%s"},   {518, 2, 0, u"%s|%s"},
    };
    static CmMemoryMsgTable table(entries, sizeof entries / sizeof entries[0]);
    return &table;
}

inline std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct BfCompile {
    int32_t result = -1;
    std::vector<std::string> messages;  // "id@line" or "id@line text"
    std::string interf, symb, boot, m4h, m4c;  // the macro files' base name as "BASE"
    std::unique_ptr<MdBfParser> parser;  // the model afterwards
};

// Compiles text (identifiers lower-cased when lowerCase) with the given
// args fields (noImpl mask, includes, container name, first error-text id)
// into a descriptor that has the present sections; the macro files go to a
// temporary base that is removed afterwards. The messages are formatted
// from messageTable.
inline BfCompile compileBf(const std::string& text, bool lowerCase = false, uint32_t noImpl = 0,
                           std::list<String> includes = {}, const char* container = "Cont",
                           int32_t firstStringId = 0,
                           std::vector<const char*> present = {"bfinterf", "bfsymb", "boot"},
                           bool outputsUnused = false, CmMsgTable* messageTable = compilerMessageTable())
{
    fronttest::MessageCapture capture(messageTable);
    FsTODscFile dsc;
    EXPECT_EQ(dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY), 0u);
    // As a working file brings them: with old content, longer than the new.
    for (const char* name : present)
        EXPECT_TRUE(fronttest::putSection(dsc, name, std::string(4096, 'x')));
    const std::string base = createTempName(true).c_str();
    std::istringstream in(text);
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.rcPath = String(base.c_str());
    args.names = std::move(includes);
    args.bootText = String(container);
    args.sectionMask = noImpl;
    args.firstStringId = firstStringId;
    args.flag = false;  // the stand-in beside the test program
    args.firstPass = lowerCase ? 1 : 0;
    args.outputsUnused = outputsUnused;
    BfCompile c;
    c.parser.reset(new MdBfParser);
    c.parser->init(args);
    c.result = c.parser->parse();
    for (const auto& r : capture.records)
        c.messages.push_back(std::to_string(r.id) + "@" + std::to_string(r.position) +
                             (r.text == "-" ? "" : " " + r.text));
    const std::string old(4096, 'x');
    auto written = [&](const char* name) {
        const std::string t = fronttest::sectionText(dsc, name);
        return t == old ? std::string("<not written>") : t;
    };
    c.interf = written("bfinterf");
    c.symb = written("bfsymb");
    c.boot = written("boot");
    const std::string name = base.substr(base.find_last_of('/') + 1);
    auto macroFile = [&](const char* ext) {
        std::string t = fileText(base + ext);
        for (size_t at; (at = t.find(name)) != std::string::npos;) t.replace(at, name.size(), "BASE");
        return t;
    };
    c.m4h = macroFile(".m4h");
    c.m4c = macroFile(".m4c");
    ::unlink(base.c_str());
    ::unlink((base + ".m4h").c_str());
    ::unlink((base + ".m4c").c_str());
    return c;
}

}  // namespace bftest
