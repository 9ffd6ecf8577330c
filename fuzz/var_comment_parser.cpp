// Random bytes (and mutations of valid sections) as a comment section,
// through the grammar and the writer into a comment section in memory with
// the script /dev/null: the grammar must end with one of its results 0-3,
// the ids handed out must be the texts counted, and a section written must
// read back as the keys the container received.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsFileMan.h"
#include "tools/md/tavolin/MdVarCommentParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsFileMan file;
    if (file.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    FsSecCl* sec = file.getSect("varcomment", FS_MODE_WRITE);
    if (!sec) std::abort();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const int32_t start = 1000;
    size_t vars = 0, types = 0;
    int32_t write = -1;
    {
        MdVarCommentParser parser;
        MdCompilerArgs args;
        args.stream = &in;
        args.section = sec;
        args.rcPath = String("/dev/null");
        args.firstStringId = start;
        parser.init(args);
        const int32_t result = parser.parse();
        if (result < 0 || result > 3) std::abort();
        // Every text takes one id, and a text is at least its two quotes.
        const int32_t used = parser.nextStringId() - start;
        if (used < 0 || size_t(used) > size / 2) std::abort();
        if (result == 0 && parser.errorCount() == 0) {
            write = parser.writeStringTable();
            if (write != 0) std::abort();
            vars = parser.varTexts().size();
            types = parser.typeTexts().size();
        }
    }
    if (file.CloseSect("varcomment") != FS_OK) std::abort();
    if (write == 0) {
        sec = nullptr;
        if (file.openSect("varcomment", &sec, 0) != FS_OK || !sec) std::abort();
        CBoVarComment back(nullptr);
        if (!back.load(*sec) || back.varTexts().size() != vars || back.typeTexts().size() != types) std::abort();
        file.CloseSect("varcomment");
    }
    return 0;
}
