// The options of `tavolin compile` (see compile_options.h): read from the
// command line, with the names left out made from TARGET's.
#include "host/compile_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/option_checks.h"
#include "platform/text.h"

std::u16string hostTextToWide(const std::string& text)
{
    const std::u16string wide = tvp::utf8ToWide(text);
    return tvp::wideToUtf8(wide) == text ? wide : tvp::ansiToWide(text);
}

std::string hostContainerName(const std::string& source)
{
    std::string name = source;
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

namespace {

bool parseNumber(const char* text, uint32_t max, uint32_t& out)
{
    if (!text || !*text || *text == '-') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != 0 || v > max) return false;
    out = uint32_t(v);
    return true;
}

}  // namespace

std::vector<std::string> hostCompileFiles(const HostCompileOptions& o)
{
    std::vector<std::string> files = {o.target};
    if (!o.rc.empty()) files.push_back(o.rc);
    if (!o.impl.empty()) {
        files.push_back(o.impl + ".m4h");
        files.push_back(o.impl + ".m4c");
    }
    return files;
}

bool hostParseCompile(int argc, char** argv, HostCompileOptions& o)
{
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tavolin: %s needs %s\n", a.c_str(), what);
                return nullptr;
            }
            return argv[++i];
        };
        auto number = [&](uint32_t max, uint32_t& out) -> bool {
            const char* v = value("a number");
            if (!v) return false;
            if (!parseNumber(v, max, out)) {
                std::fprintf(stderr, "tavolin: %s: not a number up to %u: %s\n", a.c_str(), unsigned(max), v);
                return false;
            }
            return true;
        };
        // A file option with an empty name names nothing: refused as a
        // missing -o TARGET is, not taken as the option left out.
        auto file = [&](const char* what) -> const char* {
            const char* v = value(what);
            if (v && !*v) {
                std::fprintf(stderr, "tavolin: %s names no file (an empty name)\n", a.c_str());
                return nullptr;
            }
            return v;
        };
        const char* v = nullptr;
        if (a == "-o") {
            if (!(v = value("a target file"))) return false;
            o.target = v;
        } else if (a == "--acx") {
            if (!(v = file("a file"))) return false;
            o.acx = v;
        } else if (a == "--rc") {
            if (!(v = file("a file"))) return false;
            o.rc = v;
        } else if (a == "--rc-text") {
            if (!(v = value("a text"))) return false;
            o.rcText = v;
            if (!hostRcTextUsable(o.rcText)) return false;
        } else if (a == "--impl") {
            if (!(v = file("a base path"))) return false;
            o.impl = v;
        } else if (a == "--include") {
            if (!(v = value("a name"))) return false;
            o.includes.push_back(v);
        } else if (a == "--mask") {
            if (!number(0xFFFFFFFFu, o.mask)) return false;
        } else if (a == "--first-id") {
            if (!number(0xFFFFu, o.firstId)) return false;
        } else if (a == "--second-id") {
            if (!number(0xFFFFu, o.secondId)) return false;
        } else if (a == "--flag") {
            if (!number(0xFFFFFFFFu, o.flag)) return false;
        } else if (a == "--max-messages") {
            if (!number(0xFFFFFFFFu, o.maxMessages)) return false;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tavolin: unknown option %s\n", a.c_str());
            return false;
        } else if (o.source.empty()) {
            o.source = a;
        } else {
            std::fprintf(stderr, "tavolin: more than one source: %s\n", a.c_str());
            return false;
        }
    }
    if (o.source.empty() || o.target.empty()) {
        std::fprintf(stderr, "tavolin: compile needs SOURCE and -o TARGET\n");
        return false;
    }
    // TARGET without its extension.
    std::string stem = o.target;
    const size_t slash = stem.rfind('/');
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) stem.resize(dot);
    o.implDefault = o.impl.empty();
    if (o.implDefault) o.impl = stem;
    // The comment compilers need a resource script even for a source
    // without comments.
    if (o.rc.empty()) {
        o.rc = stem + ".rc";
        o.rcDefault = true;
    }
    return true;
}
