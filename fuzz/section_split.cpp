// Random bytes as a description source: the split must end, without crash,
// for any input, its streams must stay within a bound of the input, and it
// must count the same errors whether its messages are made or not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tools/md/tavolin/MdSectionSplitter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte chooses the section mask, the rest is the source.
    const uint32_t mask = size > 0 ? uint32_t(data[0] & 0x7E) : 0;
    const std::string source(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    std::istringstream in(source);
    MdStringSectionSink sink;
    MdCollectingReporter messages;
    MdSectionSplitter splitter;
    const int result = splitter.split(in, sink, &messages, mask);
    if (result < 0 || result > 3) std::abort();
    // Every stream byte comes from the source or from line ends and keywords
    // of the sections it holds: a generous bound catches runaway padding.
    std::size_t total = 0;
    for (int s = 0; s < MdTmpCount; ++s) total += sink.stream(s).size();
    if (total > 64 * source.size() + 64) std::abort();
    // Without a reporter no message is made, only counted (the stray bytes
    // gathered): the errors and the streams are the same.
    std::istringstream again(source);
    MdStringSectionSink quietSink;
    MdSectionSplitter quiet;
    if (quiet.split(again, quietSink, nullptr, mask) != result || quiet.errorCount() != splitter.errorCount())
        std::abort();
    for (int s = 0; s < MdTmpCount; ++s)
        if (quietSink.stream(s) != sink.stream(s)) std::abort();
    return 0;
}
