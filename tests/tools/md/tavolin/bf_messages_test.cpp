// The sources in data/ that show the boot-function compiler's messages:
// each message at the line its comment names, with its arguments.
#include <gtest/gtest.h>

#include "bf_compile_support.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

// The compile of a data source's boot-function section (one run, case kept).
bftest::BfCompile compileDataSource(const char* name)
{
    std::istringstream in(fronttest::readFile(std::string(TV_SOURCE_DIR) + "/tests/tools/md/tavolin/data/" + name));
    MdStringSectionSink sink;
    MdSectionSplitter split;
    EXPECT_EQ(split.split(in, sink, nullptr, 0), 0) << name;
    return bftest::compileBf(sink.stream(MdTmpBootFkt));
}

TEST(BfMessageSources, EveryMessageAtItsLine)
{
    const struct {
        const char* file;
        int32_t result;
        std::vector<std::string> messages;
    } cases[] = {
        {"bf_messages.tos",
         1,
         {"500@23", "508@24", "509@25 X", "508@26", "507@27", "511@28 nothing", "510@29 unknown", "512@30",
          "516@31 while", "505@33 level", "506@37", "510@39 x", "509@40 429", "514@41 sub", "513@43 q.r|q", "0@52",
          "501@53 '%'", "502@53 parse error"}},
        {"bf_messages_end.tos", 4, {"505@22 drive", "504@22 drive"}},
    };
    for (const auto& c : cases) {
        const bftest::BfCompile got = compileDataSource(c.file);
        EXPECT_EQ(got.result, c.result) << c.file;
        EXPECT_EQ(got.messages, c.messages) << c.file;
    }
}

}  // namespace
