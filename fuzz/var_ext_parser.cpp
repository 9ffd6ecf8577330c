// Random bytes (and mutations of valid sections) as a variables section,
// compiled against a small system-variable table into a descriptor in
// memory with the script /dev/null. The compile must end with one of its
// results 0 to 5, the string ids handed out must be texts (a text is at
// least its two quotes), and a result 0 must have rewritten all seven
// sections (nothing of their old content left).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "tools/md/tavolin/MdVarExtParser.h"
#include "tools/mksymb/SysVarTable.h"

namespace {

const char* const kSections[] = {"units", "varval", "varext", "varcont", "cfghead", "bitfield", "const"};

const std::string& symbText()
{
    static const std::string text = [] {
        std::istringstream list("10 a INT\n11 b USINT\n12 c ARRAY [0..7] OF DINT\n13 d WORD\n14 e LREAL\n"
                                "15 f INT\n16 g INT\n17 h BYTE\n20 m (A := -3, B := 7)\n");
        SysVarTable t;
        std::string error;
        std::stringstream out;
        if (!t.addList(list, error) || !t.save(out)) std::abort();
        return out.str();
    }();
    return text;
}

void put(FsTODscFile& dsc, const char* name, const std::string& bytes)
{
    FsSecCl* s = dsc.getSect(name, FS_MODE_WRITE);
    if (!s) std::abort();
    if (!bytes.empty()) s->writeBytes(bytes.data(), uint32_t(bytes.size()));
    dsc.CloseSect(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FsTODscFile dsc;
    if (dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    for (const char* name : kSections) put(dsc, name, "old");
    put(dsc, "symb", symbText());
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const int32_t start = 1000;
    int32_t result = -1;
    {
        MdVarExtParser parser;
        MdCompilerArgs args;
        args.stream = &in;
        args.descriptor = &dsc;
        args.rcPath = String("/dev/null");
        args.firstStringId = start;
        args.firstId = 2;
        args.secondId = 1;
        parser.init(args);
        result = parser.parse();
        if (result < 0 || result > 5) std::abort();
        const int32_t used = parser.nextStringId() - start;
        if (used < 0 || size_t(used) > size / 2 + 1) std::abort();
    }
    if (result == 0) {
        for (const char* name : kSections) {
            FsSecCl* s = nullptr;
            if (dsc.openSect(name, &s, 0) != FS_OK || !s) std::abort();
            std::string bytes(s->getSize(), '\0');
            if (!bytes.empty()) s->readBytes(&bytes[0], uint32_t(bytes.size()));
            if (bytes.find("old") != std::string::npos) std::abort();
            dsc.CloseSect(name);
        }
    }
    return 0;
}
