#include "host/compile_outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "host/target_file.h"
#include "platform/tempnames.h"

namespace {

std::string join(const std::string& dir, const std::string& name)
{
    return dir == "/" ? "/" + name : dir + "/" + name;
}

// Size, modification time and inode; "-1" for a missing file.
std::string stampOf(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return "-1";
    return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + " " +
           std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ino);
}

// Removes a temporary file or (empty) directory.
void removeTemp(std::string& work)
{
    if (work.empty()) return;
    if (::unlink(work.c_str()) != 0 && (errno == EISDIR || errno == EPERM)) ::rmdir(work.c_str());
    tvp::forgetTempName(work.c_str());
    work.clear();
}

// A directory prefix.XXXXXX with the empty macro files name.m4h and
// name.m4c in it, all registered: the macro files name their base in
// their text, so the temporary ones have the name of the real ones. The
// base (dir/name), or empty with errno set and cFailed set when the .m4c
// one could not be made.
std::string makeMacroPair(const std::string& prefix, const std::string& name, std::string& dir, bool& cFailed)
{
    cFailed = false;
    std::string d = hostMakeTempDir(prefix + ".XXXXXX");
    if (d.empty()) return std::string();
    const std::string base = d + "/" + name;
    for (const char* ext : {".m4h", ".m4c"}) {
        const std::string file = base + ext;
        int fd;
        {
            // No signal handler runs between the making and the registering.
            tvp::TempNameHold hold;
            fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) tvp::registerTempName(file.c_str());
        }
        if (fd < 0) {
            const int err = errno;
            cFailed = ext[3] == 'c';
            std::string h = base + ".m4h";
            if (cFailed) removeTemp(h);
            removeTemp(d);
            errno = err;
            return std::string();
        }
        ::close(fd);
    }
    dir = d;
    return base;
}

}  // namespace

std::string hostListed(const std::vector<std::string>& paths)
{
    std::string list;
    for (size_t i = 0; i < paths.size(); ++i)
        list += (i == 0 ? "" : i + 1 == paths.size() ? " and " : ", ") + paths[i];
    return list;
}

std::string hostFatesWords(const std::vector<HostFileFate>& files, const std::string& stuckWhy)
{
    std::string words;
    for (HostFate fate : {HostFate::Stuck, HostFate::AsItWas, HostFate::NotWritten}) {
        std::vector<std::string> group;
        for (const HostFileFate& f : files)
            if (f.fate == fate) group.push_back(f.name);
        if (group.empty()) continue;
        const bool one = group.size() == 1;
        words += (words.empty() ? "" : ", ") + hostListed(group);
        if (fate == HostFate::Stuck)
            words += std::string(one ? " is the new one (it" : " are the new ones (they") +
                     " could not be put back: " + stuckWhy + ")";
        else if (fate == HostFate::AsItWas)
            words += one ? " is as it was" : " are as they were";
        else
            words += " not written";
    }
    return words;
}

std::vector<HostFileFate> hostUntouched(const std::vector<std::string>& files)
{
    std::vector<HostFileFate> fates;
    struct stat st;
    for (const std::string& f : files)
        fates.push_back({f, ::stat(f.c_str(), &st) == 0 ? HostFate::AsItWas : HostFate::NotWritten});
    return fates;
}

std::string hostFileOf(const std::string& path)
{
    std::string p = path;
    char buf[PATH_MAX];
    for (int hops = 0; hops < 40; ++hops) {
        const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf - 1);
        if (n <= 0) break;
        const std::string to(buf, size_t(n));
        p = to[0] == '/' ? to : join(hostDirOf(p), to);
    }
    const size_t slash = p.rfind('/');
    const std::string last = slash == std::string::npos ? p : p.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") return ::realpath(p.c_str(), buf) ? std::string(buf) : p;
    if (::realpath(hostDirOf(p).c_str(), buf)) return join(buf, last);
    return p;
}

CompileOutputs::CompileOutputs(const std::string& rc, const std::string& base) : m_outputs(3), m_base(base)
{
    m_outputs[0].path = rc;
    if (!base.empty()) {
        m_outputs[1].path = base + ".m4h";
        m_outputs[2].path = base + ".m4c";
    }
    struct stat st;
    for (Output& out : m_outputs) out.before = !out.path.empty() && ::stat(out.path.c_str(), &st) == 0;
}

void CompileOutputs::check(Output& out)
{
    out.file = hostFileOf(out.path);
    out.mode = hostNewFileMode();
    // The command refuses these before anything (see option_checks.h): here
    // for a caller of the driver alone, or one that appeared since.
    const std::string what = hostNotAFileWords(out.path);
    if (!what.empty()) {
        out.why = "it is " + what + ", not a regular file";
        out.refused = out.notAFile = true;
        return;
    }
    struct stat st;
    if (::stat(out.file.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            out.why = hostPathWords(errno, out.path);
            out.refused = true;
        }
        return;
    }
    out.mode = st.st_mode & 07777;
    out.owner = st.st_uid;
    out.group = st.st_gid;
    if (::access(out.file.c_str(), W_OK) != 0) {
        out.why = errnoWords(errno);
        // Its directory cannot take a new file either.
        out.refused = errno == EROFS;
    }
}

void CompileOutputs::makeRc()
{
    Output& out = m_outputs[0];
    if (out.path.empty()) return;
    check(out);
    if (out.why.empty()) {
        out.work = hostMakeTemp(out.file + ".XXXXXX", 0);
        if (out.work.empty()) {
            out.lacking = hostLacksResources(errno);
            out.why = hostPathWords(errno, out.path);
            out.refused = true;
        }
    }
    if (out.work.empty()) out.work = hostMakeTemp(hostTempDir() + "/tavolin.XXXXXX.rc", 3);
}

void CompileOutputs::makeMacros()
{
    Output& h = m_outputs[1];
    Output& c = m_outputs[2];
    if (h.path.empty()) return;
    check(h);
    check(c);
    bool cFailed = false;
    if (h.why.empty() && c.why.empty()) {
        const size_t slash = m_base.rfind('/');
        const std::string name = slash == std::string::npos ? m_base : m_base.substr(slash + 1);
        m_macroBase = makeMacroPair(hostDirOf(h.file) + "/tavolin", name, m_macroDir, cFailed);
        // The pair is written together or not at all.
        if (m_macroBase.empty()) {
            const std::string why = hostPathWords(errno, (cFailed ? c : h).path);
            h.lacking = c.lacking = hostLacksResources(errno);
            h.why = c.why = why;
            h.refused = c.refused = true;
        }
    }
    // A scratch pair that is never put in place, under a short name.
    if (m_macroBase.empty()) m_macroBase = makeMacroPair(hostTempDir() + "/tavolin", "m", m_macroDir, cFailed);
    if (m_macroBase.empty()) return;
    h.work = m_macroBase + ".m4h";
    c.work = m_macroBase + ".m4c";
}

bool CompileOutputs::prepare()
{
    makeRc();
    makeMacros();
    for (Output& out : m_outputs) out.made = out.marked = stampOf(out.work);
    for (size_t i = 0; i < m_outputs.size(); ++i) {
        const Output& out = m_outputs[i];
        if (!out.refused) continue;
        const std::string what = i == 0 ? "the resource script" : "a macro file";
        // The cause first: a process without a descriptor to spare finds
        // no fault with the file or its directory.
        if (out.lacking)
            m_failure = out.why + ": no new file for " + what + " " + out.path + " could be made beside it";
        else
            m_failure = "cannot write " + what + " " + out.path + ": " + out.why +
                        (out.notAFile ? "" : " (a new one is made beside it and put in its place)");
        m_failure += "; nothing is compiled";
        discard();
        return false;
    }
    return true;
}

void CompileOutputs::mark()
{
    for (Output& out : m_outputs) out.marked = stampOf(out.work);
}

std::string CompileOutputs::stepCannotWrite() const
{
    std::string cannot;
    for (const Output& out : m_outputs)
        if (!out.work.empty() && !out.why.empty() && stampOf(out.work) != out.marked)
            cannot += ", cannot write " + out.path + ": " + out.why;
    return cannot;
}

std::string CompileOutputs::stepWrote() const
{
    std::vector<std::string> wrote;
    // The resource script is appended to by nearly every step: only the
    // macro files are named.
    for (size_t i = 1; i < m_outputs.size(); ++i) {
        const Output& out = m_outputs[i];
        if (out.work.empty() || !out.why.empty() || stampOf(out.work) == out.marked) continue;
        wrote.push_back(out.path);
    }
    return hostListed(wrote);
}

bool CompileOutputs::rcWhole() const
{
    const Output& out = m_outputs[0];
    if (out.path.empty()) return true;
    static const char kEnd[] = "\r\nEND\r\n\r\n";
    const size_t n = sizeof kEnd - 1;
    const int fd = out.work.empty() ? -1 : ::open(out.work.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    char tail[sizeof kEnd];
    const bool whole = ::fstat(fd, &st) == 0 && st.st_size >= off_t(n) &&
                       ::pread(fd, tail, n, st.st_size - off_t(n)) == ssize_t(n) && std::memcmp(tail, kEnd, n) == 0;
    ::close(fd);
    return whole;
}

bool CompileOutputs::toPlace(const Output& out) const
{
    return !out.work.empty() && out.why.empty() && stampOf(out.work) != out.made;
}

void CompileOutputs::keepWaysBack()
{
    for (Output& out : m_outputs) {
        struct stat st;
        out.existed = toPlace(out) && ::stat(out.file.c_str(), &st) == 0;
        if (!out.existed) continue;
        out.back = hostKeepWayBack(out.file, out.backWhy);
    }
}

bool CompileOutputs::install(std::string& failure)
{
    bool ok = true;
    for (Output& out : m_outputs) {
        if (!toPlace(out)) continue;
        if (hostPlacingFails() || !hostGiveOwner(out.work, -1, out.owner, out.group) ||
            ::chmod(out.work.c_str(), out.mode) != 0 ||
            ::rename(out.work.c_str(), out.file.c_str()) != 0) {
            failure = "cannot write " + out.path + ": " + errnoWords(errno);
            ok = false;
            break;
        }
        tvp::forgetTempName(out.work.c_str());
        out.work.clear();
        out.placed = true;
    }
    discard();
    return ok;
}

std::vector<std::string> CompileOutputs::putBack(std::string& why)
{
    std::vector<std::string> stuck;
    for (auto out = m_outputs.rbegin(); out != m_outputs.rend(); ++out) {
        if (!out->placed) continue;
        bool back;
        if (!out->back.empty()) {
            back = hostPutBack(out->back, out->file);
            if (!back) why = errnoWords(errno);
        } else if (out->existed) {
            back = false;
            why = out->backWhy;
        } else {
            back = !hostPlacingFails() && ::unlink(out->file.c_str()) == 0;
            if (!back) why = errnoWords(errno);
        }
        out->placed = !back;
        if (!back) stuck.insert(stuck.begin(), out->path);
    }
    return stuck;
}

std::vector<HostFileFate> CompileOutputs::fates() const
{
    std::vector<HostFileFate> fates;
    for (const Output& out : m_outputs)
        if (!out.path.empty())
            fates.push_back({out.path, out.placed ? HostFate::Stuck
                                       : out.before ? HostFate::AsItWas
                                                    : HostFate::NotWritten});
    return fates;
}

void CompileOutputs::dropWaysBack()
{
    for (Output& out : m_outputs) hostDropWayBack(out.back);
}

void CompileOutputs::discard()
{
    for (Output& out : m_outputs) removeTemp(out.work);
    // Not the ways back: they go only once every output is in place or
    // back (dropWaysBack).
    removeTemp(m_macroDir);
    m_macroBase.clear();
}
