// Random bytes (and mutations of valid sections) as an error-text section,
// compiled into a technology-object descriptor in memory with the script
// /dev/null: the compiler must end without crash with one of its results,
// never use an id below its start, and a result 0 of an alarm section must
// leave an "errmsg" that reads back as the container it filled.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/fs/FsDsc.h"
#include "fuzz/section_compile.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTODscFile dsc;
    int32_t result;
    size_t numbers = 0;
    bool alarm = false;
    {
        MdErrMsgTxtParser parser;
        result = fuzzRunCompiler(data, size, dsc, parser, {"errmsg"}, "/dev/null", 100);
        if (parser.nextStringId() < 100) std::abort();
        if (parser.container()) {
            alarm = true;
            numbers = parser.container()->size();
        }
    }
    if (!(result >= 0 && result <= 3) && result != 903) std::abort();
    if (result == 0 && alarm) {
        FsSecCl* sec = dsc.openSect("errmsg", 0);
        if (!sec) std::abort();
        CBoErrorMsgCont back(String(), 1);
        if (!back.read(*sec) || back.size() != numbers) std::abort();
        dsc.CloseSect("errmsg");
    }
    return 0;
}
