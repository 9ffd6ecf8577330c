// mksymb: writes the system-variable table of a list as symbol-table text.
//
//   mksymb LIST [OUT]     (OUT missing or "-": standard output)
//
// The list holds lines "address name type" (see SysVarTable.h). Exit status
// 0 written, 1 a bad list (the line and reason on standard error), 2 usage
// or a file that cannot be read or written.
#include <fstream>
#include <iostream>
#include <string>

#include "tools/mksymb/SysVarTable.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: mksymb LIST [OUT]\n";
        return 2;
    }
    std::ifstream list(argv[1], std::ios::binary);
    if (!list) {
        std::cerr << "mksymb: cannot read " << argv[1] << "\n";
        return 2;
    }
    SysVarTable table;
    std::string error;
    if (!table.addList(list, error)) {
        std::cerr << "mksymb: " << argv[1] << ": " << error << "\n";
        return 1;
    }
    const std::string outPath = argc == 3 ? argv[2] : "-";
    if (outPath == "-") return table.save(std::cout) ? 0 : 2;
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out || !table.save(out) || !out.flush()) {
        std::cerr << "mksymb: cannot write " << outPath << "\n";
        return 2;
    }
    return 0;
}
