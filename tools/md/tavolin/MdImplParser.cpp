// Compiler of the implementation section and its macro-file writer.
#include "tools/md/tavolin/MdImplParser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

const char kMdMacroLineEnd[] = "\n";

namespace {

bool exists(const String& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// One opened macro file; a file the opening made is removed again unless
// it is kept.
struct MacroFile {
    std::FILE* f = nullptr;
    String path;
    bool made = false;

    bool open(const String& p)
    {
        path = p;
        made = !exists(p);
        f = std::fopen(p.c_str(), "ab");
        return f != nullptr;
    }
    bool write(const std::vector<String>& lines)
    {
        bool ok = true;
        for (const String& l : lines) {
            ok = ok && std::fwrite(l.c_str(), 1, size_t(l.length()), f) == size_t(l.length());
            ok = ok && std::fputs(kMdMacroLineEnd, f) >= 0;
        }
        return ok;
    }
    bool close()
    {
        if (!f) return true;
        const bool ok = std::fclose(f) == 0;
        f = nullptr;
        return ok;
    }
    void discard()
    {
        close();
        if (made) ::unlink(path.c_str());
    }
};

}  // namespace

bool mdAppendMacroLines(const String& base, const std::vector<String>& hLines, const std::vector<String>& cLines)
{
    MacroFile h, c;
    if (base.empty() || !h.open(base + ".m4h") || !c.open(base + ".m4c")) {
        h.discard();
        c.discard();
        return false;
    }
    bool ok = h.write(hLines);
    ok = c.write(cLines) && ok;
    ok = h.close() && ok;
    ok = c.close() && ok;
    return ok;
}

void MdImplParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    if (args.sectionMask & 1u) setInput(nullptr);
    m_outputName = args.outputBase;
}

bool MdImplParser::write(const std::vector<String>& hLines, const std::vector<String>& cLines)
{
    if (mdAppendMacroLines(m_outputName, hLines, cLines)) return true;
    mdEmitMessage(MdImplMsgWriteFailed, lineno());
    return false;
}

bool MdImplParser::noIoData()
{
    return write({String("BEGIN_DECLIMPL()"), String("DECL_NO_IO()"), String("END_DECLIMPL()")},
                 {String("NO_IO_IMPL()")});
}

bool MdImplParser::ioData(const String& text)
{
    String io("IO_IMPL(`");
    io.cat(text);
    io.cat("')");
    return write({String("BEGIN_DECLIMPL()"), String("DECL_IO()"), String("END_DECLIMPL()")},
                 {String("IMPL_IMPL()"), io});
}
