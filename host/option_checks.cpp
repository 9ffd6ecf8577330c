// The checks of a compile's options before anything is written (see
// option_checks.h): the text of --rc-text, the names the macro files write,
// and the files of the compile.
#include "host/option_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bo/bf/BfM4Names.h"
#include "host/compile_outputs.h"
#include "host/status_words.h"
#include "host/target_file.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdRcStringTable.h"

namespace {

// False with a message when the text of --rc-text has a character the
// resource script's code page (1252) lacks: it would reach the script as
// "?".
bool fitsCodePage(const std::string& text)
{
    const std::u16string wide = hostTextToWide(text);
    for (size_t i = 0; i < wide.size(); ++i) {
        bool mapped = true;
        tvp::wideCharToAnsi(wide[i], &mapped);
        if (mapped) continue;
        const size_t n = i + 1 < wide.size() && wide[i] >= 0xD800 && wide[i] <= 0xDBFF ? 2 : 1;
        // A control character (C0, DEL or C1) is named by its code: raw, it
        // would act on the terminal rather than show.
        char code[16];
        const bool control = wide[i] < 0x20 || (wide[i] >= 0x7F && wide[i] <= 0x9F);
        if (control) std::snprintf(code, sizeof code, "U+%04X", unsigned(wide[i]));
        std::fprintf(stderr,
                     "tavolin: --rc-text: %s is not in code page 1252, the resource script's (a text that is not "
                     "UTF-8 is taken as code page 1252)\n",
                     control ? code : ("\"" + tvp::wideToUtf8(wide.substr(i, n)) + "\"").c_str());
        return false;
    }
    return true;
}

// False with a message when the text of --rc-text holds more characters
// than one string resource takes, counted as a resource compiler reads back
// what the script writer makes of it: the entry's 16-bit length would
// wrap, and the text would read back empty. The same when it reads back
// with a byte code page 1252 leaves undefined, given as its character
// (U+0081: the code page's table maps it) or by an escape (\x81, \201): a
// resource compiler may drop or cut the text.
bool fitsStringResource(const std::string& text)
{
    const std::string script = tvp::wideToAnsi(hostTextToWide(text));
    const MdRcReadBack read = mdRcReadBack(script.data(), script.size());
    if (!mdRcTextLengthFits(read.chars)) {
        std::fprintf(stderr,
                     "tavolin: --rc-text: the text reads back as %llu characters; a string resource holds at most "
                     "%llu\n",
                     static_cast<unsigned long long>(read.chars),
                     static_cast<unsigned long long>(kMdRcMostTextChars));
        return false;
    }
    if (read.undefinedByte == 0) return true;
    std::fprintf(stderr,
                 "tavolin: --rc-text: the text reads back with the byte 0x%02X, which code page 1252 leaves "
                 "undefined: a resource compiler may drop or cut the text\n",
                 unsigned(read.undefinedByte));
    return false;
}

bool samePath(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return hostFileOf(a) == hostFileOf(b);
}

// False with a message when two of the files of a compile are one (through
// links too): an output would be written into an input or into another
// output. Nothing is written before this check.
bool pathsApart(const HostCompileOptions& o)
{
    struct File {
        std::string path;
        std::string option;  // how the command line names it
        const char* role;    // what it is
    };
    const File files[] = {
        {o.source, "SOURCE " + o.source, "the SOURCE"},
        {o.target, "-o " + o.target, "the TARGET"},
        {o.acx, "--acx " + o.acx, "the ACX file"},
        {o.rc, o.rcDefault ? "the resource script " + o.rc + " (TARGET with .rc)" : "--rc " + o.rc, "the resource script"},
        {o.impl + ".m4h", "--impl " + o.impl + " (" + o.impl + ".m4h)", "a macro file"},
        {o.impl + ".m4c", "--impl " + o.impl + " (" + o.impl + ".m4c)", "a macro file"},
    };
    const size_t n = sizeof files / sizeof files[0];
    for (size_t j = 1; j < n; ++j) {
        if (files[j].path.empty() || (j >= 4 && o.impl.empty())) continue;
        for (size_t i = 0; i < j; ++i) {
            if (files[i].path.empty() || (i >= 4 && o.impl.empty()) || !samePath(files[i].path, files[j].path))
                continue;
            const bool named = i >= 2;  // SOURCE and TARGET are said by role alone
            std::fprintf(stderr,
                         "tavolin: %s names %s%s%s%s: SOURCE, TARGET, the ACX file, the resource script and the "
                         "macro files must be different files\n",
                         files[j].option.c_str(), files[i].role, named ? " (" : "", named ? files[i].path.c_str() : "",
                         named ? ")" : "");
            return false;
        }
    }
    return true;
}

// False with a message when the last part of the name of an output (TARGET,
// the resource script, a macro file) is longer than its directory takes:
// refused before anything is written, not after every step ran.
bool namesFit(const HostCompileOptions& o)
{
    const struct {
        std::string path;
        const char* role;
    } outputs[] = {{o.target, "TARGET"},
                   {o.rc, "the resource script"},
                   {o.impl + ".m4h", "a macro file"},
                   {o.impl + ".m4c", "a macro file"}};
    for (const auto& out : outputs) {
        const size_t slash = out.path.rfind('/');
        const std::string name = slash == std::string::npos ? out.path : out.path.substr(slash + 1);
        const long most = ::pathconf(hostDirOf(out.path).c_str(), _PC_NAME_MAX);
        // A directory that cannot be asked is said by the step that needs it.
        if (most < 0 || name.size() <= size_t(most)) continue;
        std::fprintf(stderr,
                     "tavolin: cannot write %s %s: its name has %zu bytes, more than its directory takes (%ld); "
                     "nothing is compiled\n",
                     out.role, hostShownName(name).c_str(), name.size(), most);
        return false;
    }
    return true;
}

// False with a message when an output (TARGET, the resource script, a macro
// file) is there and is no regular file: a directory, a FIFO, a device, a
// socket or a link to one. Each is replaced by a new file put in its place,
// which would take the place of the directory or device itself, so none is
// compiled at all rather than every step run for nothing. A FIFO is never
// opened (that would wait for a reader): its kind is read with stat alone.
bool outputsAreFiles(const HostCompileOptions& o)
{
    const std::string impl = o.implDefault ? "TARGET without its extension" : "--impl " + o.impl;
    const struct {
        std::string path;
        const char* role;
        std::string option;
    } outputs[] = {{o.target, "TARGET", "-o"},
                   {o.rc, "the resource script", o.rcDefault ? "TARGET with .rc" : "--rc"},
                   {o.impl.empty() ? "" : o.impl + ".m4h", "a macro file", impl},
                   {o.impl.empty() ? "" : o.impl + ".m4c", "a macro file", impl}};
    for (const auto& out : outputs) {
        if (out.path.empty()) continue;
        const std::string what = hostNotAFileWords(out.path);
        if (what.empty()) continue;
        std::fprintf(stderr, "tavolin: cannot write %s %s (%s): it is %s, not a regular file; nothing is compiled\n",
                     out.role, out.path.c_str(), out.option.c_str(), what.c_str());
        return false;
    }
    return true;
}

// False with a message when the directory of the temporary files cannot be
// used: nothing could be compiled without it.
bool tempDirectoryUsable()
{
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    const char* const named = env && *env ? " (TMPDIR)" : "";
    struct stat st;
    std::string why;
    if (::stat(dir.c_str(), &st) != 0)
        why = errno == ENOENT ? "does not exist" : "cannot be used: " + hostPathWords(errno, dir);
    else if (!S_ISDIR(st.st_mode))
        why = "is not a directory";
    else if (::access(dir.c_str(), W_OK | X_OK) != 0)
        why = "cannot be written (" + errnoWords(errno) + ")";
    else
        // An append-only one takes the compile's own directory but lets it
        // never be removed again.
        why = hostDirectoryFlagWords(dir);
    if (why.empty()) return true;
    std::fprintf(stderr, "tavolin: the directory of temporary files %s%s %s\n", dir.c_str(), named, why.c_str());
    return false;
}

}  // namespace

bool hostRcTextUsable(const std::string& text)
{
    return fitsCodePage(text) && fitsStringResource(text);
}

std::string hostMacroNameRefusal(const HostCompileOptions& o)
{
    const bool implGiven = !o.implDefault;
    // The option that gave the name, the name and how the files write it,
    // what m4 would do, and how to give another name.
    auto refused = [](const std::string& option, const std::string& what, const std::string& name,
                      const std::string& written, const std::string& said, const char* otherwise) {
        return hostShownName(option) + ": the macro files " + what + hostShownName(name) + " without quotes, " +
               hostShownName(written) + ", and m4 " + said + otherwise;
    };
    const std::string set = bfM4SetName(o.impl);
    const std::string setOption = implGiven ? "--impl " + o.impl : "-o " + o.target;
    const char* const setOtherwise = implGiven ? "" : "; --impl BASE names it otherwise";
    // A base that ends in a separator names the set with nothing.
    if (set.empty())
        return hostShownName(setOption) + ": the macro files name their set by the base " + hostShownName(o.impl) +
               " after its last \"/\" or \"\\\", which leaves nothing: NAME() and INCLUDE(.h)" + setOtherwise;
    for (const std::string& text : {set, set + ".h"}) {
        const std::string said = bfM4Misreading(text);
        if (!said.empty())
            return refused(setOption, "name their set ", set, "NAME(" + set + ") and INCLUDE(" + set + ".h)", said,
                           setOtherwise);
    }
    const std::string container = hostContainerName(o.source);
    const std::string said = bfM4Misreading(container);
    if (!said.empty())
        return refused("SOURCE " + o.source, "name the boot functions' container ", container,
                       "DECLCONT(" + container + ")", said,
                       "; a copy or link of SOURCE by another name names it otherwise");
    for (const std::string& include : o.includes) {
        const std::string said = bfM4Misreading(include);
        if (!said.empty())
            return refused("--include " + include, "include it", "", "INCLUDE(" + include + ")", said, "");
    }
    return std::string();
}

bool hostCompilePathsUsable(const HostCompileOptions& o)
{
    return pathsApart(o) && namesFit(o) && outputsAreFiles(o) && tempDirectoryUsable();
}
