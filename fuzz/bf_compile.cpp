// Random bytes and mutated sections compiled by the boot-function compiler
// into a type descriptor in memory, with the stand-in classifier beside this
// program and macro files under one temporary base. For any input the
// compiler ends with one of its results 0 to 5; a result 0 leaves "bfsymb"
// and "boot" that read back, "boot" into as many types as were compiled.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsDsc.h"
#include "co/GlobTools.h"
#include "tools/md/tavolin/MdBfParser.h"

namespace {

// The macro files of every run, removed when the program ends.
struct MacroBase {
    std::string path = createTempName(true).c_str();
    ~MacroBase()
    {
        for (const char* ext : {"", ".m4h", ".m4c"}) ::unlink((path + ext).c_str());
    }
};

// A type container to read "boot" into: its status is always good.
class Types : public CBfBootFktTypCont {
public:
    explicit Types(CBfSymbTable* const* symbols) : CBfBootFktTypCont(symbols, nullptr) {}
    uint32_t status(uint32_t code) override { return code; }
    uint32_t status() override { return 0; }
};

bool readsBack(FsTODscFile& dsc, const MdBfParser& parser)
{
    CBfSymbTable symbols;
    FsSecCl* s = dsc.openSect("bfsymb", 0);
    const bool symbOk = s && symbols.load(*s);
    dsc.CloseSect("bfsymb");
    CBfSymbTable* table = &symbols;
    Types types(&table);
    s = dsc.openSect("boot", 0);
    const bool bootOk = s && types.loadBfTypCont(*s) && types.types().size() == parser.types().size();
    dsc.CloseSect("boot");
    return symbOk && bootOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MacroBase base;
    FsTODscFile dsc;
    if (dsc.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    for (const char* name : {"bfinterf", "bfsymb", "boot"})
        if (!dsc.getSect(name, FS_MODE_WRITE) || dsc.CloseSect(name) != 0) std::abort();
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    MdCompilerArgs args;
    args.stream = &in;
    args.descriptor = &dsc;
    args.rcPath = String(base.path.c_str());
    args.bootText = String("Fuzz");
    args.flag = false;
    // The first byte chooses the run: identifiers lower-cased or kept, and
    // the implementations written or only the container frame.
    const uint8_t choice = size > 0 ? data[0] : 0;
    args.firstPass = choice & 1;
    args.sectionMask = (choice >> 1) & 1;
    MdBfParser parser;
    parser.init(args);
    const int32_t result = parser.parse();
    if (result < 0 || result > 5) std::abort();
    if (result == 0 && !readsBack(dsc, parser)) std::abort();
    return 0;
}
