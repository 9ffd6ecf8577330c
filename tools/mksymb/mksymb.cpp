// mksymb: writes the system-variable table of a list as symbol-table text.
//
//   mksymb LIST [OUT]     (OUT missing or "-": standard output)
//   mksymb --help         the usage, on standard output
//
// The list holds lines "address name type" (see SysVarTable.h). Exit status
// 0 written (or the usage asked for), 1 a bad list (the line and reason on
// standard error), 2 usage (on standard error: wrong arguments or an option
// it does not know) or a file that cannot be read (with the reason) or
// written.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/mksymb/SysVarTable.h"

namespace {

const char kUsage[] =
    "usage: mksymb LIST [OUT]\n"
    "Writes the system-variable table of LIST (lines \"address name type\") as\n"
    "symbol-table text to OUT, or to standard output when OUT is missing or \"-\".\n"
    "Exit status: 0 written, 1 a bad list, 2 usage or a file that cannot be read\n"
    "or written.\n";

// Why a file could not be read, in the words of the other commands.
std::string readFailureWords(int e)
{
    switch (e) {
    case ENOENT: return "no such file";
    case EACCES:
    case EPERM: return "no permission";
    case EISDIR: return "a directory";
    case ENOTDIR: return "a part of its path is not a directory";
    case EMFILE:
    case ENFILE: return "too many open files";
    }
    return std::strerror(e);
}

// The whole file at path into bytes; else false and the system's error
// number (a directory opens, and fails at its first read).
bool readWhole(const char* path, std::string& bytes, int& error)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        error = errno;
        return false;
    }
    char buf[1 << 16];
    size_t got;
    errno = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
    error = std::ferror(f) ? (errno ? errno : EIO) : 0;
    std::fclose(f);
    return error == 0;
}

// An argument that is an option: "-" alone names standard output.
bool isOption(const char* arg)
{
    return arg[0] == '-' && arg[1] != '\0';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return std::cout.flush() ? 0 : 2;
    }
    if (argc < 2 || argc > 3 || isOption(argv[1]) || (argc == 3 && isOption(argv[2]))) {
        std::cerr << kUsage;
        return 2;
    }
    std::string bytes;
    int readError = 0;
    if (!readWhole(argv[1], bytes, readError)) {
        std::cerr << "mksymb: cannot read " << argv[1] << ": " << readFailureWords(readError) << "\n";
        return 2;
    }
    std::istringstream list(bytes);
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
