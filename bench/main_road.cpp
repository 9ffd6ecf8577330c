// The main road as a user drives it: the compile of a generated source into
// an existing and into a new target, beside two floors measured in the same
// run over the same bytes - a bare flex scanner with full tables that counts
// the lines, and libgsf alone writing the working file's streams into a
// compound file.
//
// The compile runs three ways: the main road alone (openSource and
// copySections, without the section compilers), and the whole compile both in
// this process, through the command's own compile driver with the library
// loaded once (like the floors, it pays no process start), and as the
// `tavolin compile` command itself. Prints the ratios of each to the sum of
// the floors (the floors at their best repetition, the compiles at their
// median), the time of a command run with next to nothing to do (starting it
// and loading the library), and where the time of an in-process compile goes,
// step by step.
//
// The grown source of main_road_source.h repeats its ids, so most compilers
// stop early on it; beside it the bench measures a grown source that
// compiles whole (whole_source.h: every step succeeds, exit 0), with its
// system variables and a resource script, into a new and an existing target
// and as the command, against a floor of the scan and libgsf writing the
// target's own streams.
//
// With --sources=stray it measures the command refusing files of one byte
// repeated that no token begins with (a binary file, a wrong file: every
// byte stray outside the sections) or of "?" between blanks or line ends,
// and sources whose one section of a variables kind (VALUES, VARCOMMENT,
// CONFIGS, RESOLVE, ATTRIBUTES, BITFIELDS) is nothing but a byte repeated
// (NUL, "*", "E", a small letter), one long identifier, or "?" between
// blanks or line ends, and garbage with the words of headers among it (at
// the top and after "TO_HEADER", into a new and an existing target), and
// sources whose header is one token of the whole size (a word, a number,
// a text...), against the command compiling the source that compiles whole
// of the same size into a new target; each refusal should take less.
//
// With --sources=texts it measures the command refusing sources whose one
// text section holds far more texts than a source has ids, or one token as
// long as the section (text_flood.h), against the same floor.
//
//   bench_main_road [--sizes=1,10,100] [--sources=grown,whole,stray,texts] [benchmark options]
//   bench_main_road --smoke                    each compile once on a small
//                                              source, in-process and as
//                                              the command; 0 when both end alike
//   bench_main_road --write-source FILE MB     a grown source of MB megabytes
//   bench_main_road --write-blank FILE MB      MB of blank lines, then sections
//   bench_main_road --write-texts FILE KIND MB a source of a text flood
//                                              (text_flood.h: alarm_quotes, ...)
//   bench_main_road --write-whole FILE MB      a grown source that compiles
//                                              whole, and FILE.symb, the
//                                              table of its system variables
//   bench_main_road --working-size SOURCE HOST bytes of the working file the
//                                              entry method makes over HOST
#include <benchmark/benchmark.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/main_road_source.h"
#include "bench/whole_source.h"
#include "bench/ratio_reporter.h"
#include "bench/stray_fill.h"
#include "bench/text_flood.h"
#include "host/compile_driver.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionSplitter.h"

extern char** environ;

// The floor scanner (main_road_floor.lpp): lines of the file, -1 unreadable.
long mainroadFloorScan(const char* path);

namespace {

const std::string kTavolin = std::string(TV_BINARY_DIR) + "/host/tavolin";

std::string scratchPath(const std::string& name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tv_main_road_" + std::to_string(::getpid()) + "_" + name;
}

std::string axisExample()
{
    return mainroad::readText(std::string(TV_SOURCE_DIR) + "/examples/axis.tos");
}

bool writeFile(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// The generated sources of this run by size.
std::map<int, std::string>& sourceFiles()
{
    static std::map<int, std::string> files;
    return files;
}

// The generated source of mb megabytes, written once per run.
const std::string& sourceFile(int mb)
{
    std::map<int, std::string>& files = sourceFiles();
    auto it = files.find(mb);
    if (it != files.end()) return it->second;
    const std::string path = scratchPath(std::to_string(mb) + ".tos");
    writeFile(path, mainroad::grownSource(axisExample(), std::size_t(mb) << 20));
    return files.emplace(mb, path).first->second;
}

// The grown source that compiles whole (whole_source.h) of mb megabytes and
// the symbol-table text of its system variables, which the stand-in class
// provider writes as "symb" (a file: too large for the environment).
struct WholeFiles {
    std::string source, symb;
    int repeats = 0;
};

// Writes the source of at least `bytes` bytes to `path` and the table of its
// system variables to `path`.symb; false when either cannot be made.
bool writeWhole(const std::string& path, std::size_t bytes, int* repeatsOut = nullptr)
{
    const std::string axis = axisExample();
    const int repeats = wholesrc::repeatsFor(axis, bytes);
    if (repeatsOut) *repeatsOut = repeats;
    const std::string list = path + ".sysvars";
    if (!writeFile(path, wholesrc::wholeSource(axis, repeats)) ||
        !writeFile(list, wholesrc::wholeSysVars(
                             mainroad::readText(std::string(TV_SOURCE_DIR) + "/examples/axis.sysvars"), repeats)))
        return false;
    const std::string cmd =
        std::string("'") + TV_BINARY_DIR + "/tools/mksymb/mksymb' '" + list + "' '" + path + ".symb'";
    const bool ok = std::system(cmd.c_str()) == 0;
    ::unlink(list.c_str());
    return ok;
}

std::map<int, WholeFiles>& wholeFiles()
{
    static std::map<int, WholeFiles> files;
    return files;
}

const WholeFiles& wholeFile(int mb)
{
    std::map<int, WholeFiles>& files = wholeFiles();
    auto it = files.find(mb);
    if (it != files.end()) return it->second;
    WholeFiles f;
    f.source = scratchPath("whole" + std::to_string(mb) + ".tos");
    f.symb = f.source + ".symb";
    writeWhole(f.source, std::size_t(mb) << 20, &f.repeats);
    return files.emplace(mb, f).first->second;
}

// The stand-in class provider writes the system variables of a grown source
// that compiles whole while it lives.
class WholeSysVars {
public:
    explicit WholeSysVars(const WholeFiles& f)
    {
        ::setenv("TVCLSPRV_SECTION", "symb", 1);
        ::setenv("TVCLSPRV_SECTION_FILE", f.symb.c_str(), 1);
    }
    ~WholeSysVars()
    {
        ::unsetenv("TVCLSPRV_SECTION");
        ::unsetenv("TVCLSPRV_SECTION_FILE");
    }
    WholeSysVars(const WholeSysVars&) = delete;
    WholeSysVars& operator=(const WholeSysVars&) = delete;
};

// The bytes of the stray sources: each stands outside every section, where
// no token begins with it (a capital would, a small letter does not).
const char kStrayBytes[] = {'a', '\0', '(', '*', '@', '\xff', '$', '{'};
// A stray byte between blanks or line ends, repeated: one run all the same;
// and garbage, where bytes that may begin a token stand among the stray ones.
const strayfill::Fill kStraySpaced[] = {{"'?'+blank", "? "},     {"'?'+LF", "?\n"},
                                        {"'?'+mix", "? \t\r\n"}, strayfill::kGarbage[0],
                                        strayfill::kGarbage[1],   strayfill::kGarbage[2]};

// Garbage with header words: where it stands, and the target.
struct HeaderWordsCase {
    const char* name;
    bool inHeader, existing;
};
const HeaderWordsCase kHeaderWordsCases[] = {{"top/new", false, false},
                                             {"top/existing", false, true},
                                             {"in_TO_HEADER/new", true, false},
                                             {"in_TO_HEADER/existing", true, true}};

// The sections of the stray section sources (each filled as stray_fill.h
// says).
const char* const kStraySections[] = {"VALUES", "VARCOMMENT", "CONFIGS", "RESOLVE", "ATTRIBUTES", "BITFIELDS"};
using strayfill::kFills;
using StrayFill = strayfill::Fill;

// A stray source on disk for the runs of one benchmark: at 50 MB a source
// they are written one at a time, not all at once.
class StrayFile {
public:
    StrayFile(const std::string& name, const std::string& text) : m_path(scratchPath(name))
    {
        m_ok = writeFile(m_path, text);
    }
    ~StrayFile() { ::unlink(m_path.c_str()); }
    StrayFile(const StrayFile&) = delete;
    StrayFile& operator=(const StrayFile&) = delete;
    const std::string& path() const { return m_path; }
    bool ok() const { return m_ok; }

private:
    std::string m_path;
    bool m_ok = false;
};

// The header of the axis example, then the section filled with mb megabytes
// of the fill ("BITFIELDS" behind the empty "BITFIELDTYPES" it needs).
std::string straySection(const std::string& section, const StrayFill& fill, int mb)
{
    const std::string axis = axisExample();
    const std::size_t from = axis.find("TO_HEADER"), to = axis.find("END_TO_HEADER");
    return axis.substr(from, to - from) + "END_TO_HEADER\n" +
           (section == "BITFIELDS" ? "BITFIELDTYPES\nEND_BITFIELDTYPES\n" : "") + section + "\n" +
           strayfill::body(fill, std::size_t(mb) << 20) + "\nEND_" + section + "\n";
}

// The header of the axis example, then the flood's section of mb megabytes.
std::string textFlood(const textflood::Flood& flood, int mb)
{
    const std::string axis = axisExample();
    const std::size_t from = axis.find("TO_HEADER"), to = axis.find("END_TO_HEADER");
    return textflood::source(axis.substr(from, to - from) + "END_TO_HEADER\n", flood, std::size_t(mb) << 20);
}

// The processor seconds (user and system) of the commands run so far.
double g_commandCpu = 0;

// Runs the command with its output dropped; its exit status, -1 when it did
// not run to an end. Its processor time is added to g_commandCpu.
int runCommand(const std::vector<std::string>& args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(kTavolin.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, kTavolin.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    struct rusage ru = {};
    if (::wait4(pid, &status, 0, &ru) != pid) return -1;
    g_commandCpu += double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                    double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The library, loaded once for every compile in this process.
HostLibrary* library()
{
    static HostLibrary* lib = [] {
        auto* l = new HostLibrary;
        return l->load() ? l : nullptr;
    }();
    return lib;
}

// Standard output and error go to /dev/null while it lives, as the
// command's do in the runs of the command.
class Quiet {
public:
    Quiet()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY);
        for (int fd : {1, 2}) {
            m_saved[fd - 1] = ::dup(fd);
            ::dup2(null, fd);
        }
        ::close(null);
    }
    ~Quiet()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int fd : {1, 2}) {
            ::dup2(m_saved[fd - 1], fd);
            ::close(m_saved[fd - 1]);
        }
    }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int m_saved[2];
};

// The seconds from the start of an in-process compile to each of its marks,
// summed over the compiles of one size (the breakdown printed at the end).
struct StepTimes {
    std::vector<std::pair<std::string, double>> marks;  // in the order first met
    int runs = 0;
    double start = 0;

    static double now()
    {
        timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    }
    static void at(const char* mark, void* self)
    {
        auto* st = static_cast<StepTimes*>(self);
        const double t = now() - st->start;
        for (auto& m : st->marks)
            if (m.first == mark) {
                m.second += t;
                return;
            }
        st->marks.emplace_back(mark, t);
    }
};

std::map<int, StepTimes>& stepTimes()
{
    static std::map<int, StepTimes> times;
    return times;
}

// One compile of the source into the target; the command's exit status.
// In-process with the steps timed into times when given; -1 when the
// library cannot be loaded. Without sectionMethods (in-process only) the
// main road alone: openSource and copySections.
int compileOnce(bool inProcess, const std::string& source, const std::string& target,
                const std::string& rc = std::string(), StepTimes* times = nullptr, bool sectionMethods = true)
{
    if (!inProcess) {
        // The stand-in class provider and name classifier beside the command.
        std::vector<std::string> args = {"compile", source, "-o", target, "--flag", "0"};
        if (!rc.empty()) args.insert(args.end(), {"--rc", rc});
        return runCommand(args);
    }
    HostLibrary* lib = library();
    if (!lib) return -1;
    HostCompileOptions o;
    o.source = source;
    o.target = target;
    o.rc = rc;
    o.impl = target.substr(0, target.rfind('.'));
    o.flag = 0;
    o.sectionMethods = sectionMethods;
    if (times) {
        times->start = StepTimes::now();
        ++times->runs;
    }
    return hostCompile(*lib, o, times ? StepTimes::at : nullptr, times);
}

// The symbol-table text mksymb makes of the axis example's system
// variables; empty when it cannot be made.
std::string axisSysVars()
{
    const std::string cmd = std::string("'") + TV_BINARY_DIR + "/tools/mksymb/mksymb' '" + TV_SOURCE_DIR +
                            "/examples/axis.sysvars'";
    std::string text;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        if (::pclose(p) != 0) text.clear();
    }
    return text;
}

// An existing target of the source's kind: what a compile of the axis
// example with a resource script and its system variables (which the
// stand-in class provider writes as "symb") writes; every step succeeds.
bool makeExistingTarget(bool inProcess, const std::string& target)
{
    static const std::string sysVars = axisSysVars();
    const std::string rc = target + ".rc";
    ::unlink(target.c_str());
    ::setenv("TVCLSPRV_SECTION", "symb", 1);
    ::setenv("TVCLSPRV_SECTION_TEXT", sysVars.c_str(), 1);
    compileOnce(inProcess, std::string(TV_SOURCE_DIR) + "/examples/axis.tos", target, rc);
    ::unsetenv("TVCLSPRV_SECTION");
    ::unsetenv("TVCLSPRV_SECTION_TEXT");
    ::unlink(rc.c_str());
    struct stat st;
    return ::stat(target.c_str(), &st) == 0;
}

// Removes the target, the macro files the implementations append to and
// the resource script the command writes beside the target.
void removeTarget(const std::string& target)
{
    const std::string base = target.substr(0, target.rfind('.'));
    for (const std::string& p : {target, base + ".m4h", base + ".m4c", base + ".rc"}) ::unlink(p.c_str());
}

// A compile ran to an end when the command would have exited 0 or 1 (its
// status tells of the generated source's errors, not of a failure here).
bool ranToEnd(int status)
{
    return status == 0 || status == 1;
}

// Compiles the source again and again into an existing target (which the
// generated source's errors leave as it was).
void compileIntoExisting(benchmark::State& state, bool inProcess, const std::string& source, StepTimes* times,
                         bool sectionMethods = true)
{
    const std::string target = scratchPath(inProcess ? "existing_ip.dsc" : "existing.dsc");
    if (!makeExistingTarget(inProcess, target)) state.SkipWithError("no existing target could be made");
    {
        std::unique_ptr<Quiet> quiet(inProcess ? new Quiet : nullptr);
        for (auto _ : state)
            if (!ranToEnd(compileOnce(inProcess, source, target, std::string(), times, sectionMethods)))
                state.SkipWithError("compile failed");
    }
    removeTarget(target);
}

void compileIntoNew(benchmark::State& state, bool inProcess, const std::string& source, bool sectionMethods = true)
{
    const std::string target = scratchPath(inProcess ? "new_ip.dsc" : "new.dsc");
    std::unique_ptr<Quiet> quiet(inProcess ? new Quiet : nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        removeTarget(target);
        state.ResumeTiming();
        if (!ranToEnd(compileOnce(inProcess, source, target, std::string(), nullptr, sectionMethods)))
            state.SkipWithError("compile failed");
    }
    removeTarget(target);
}

// The whole compile of the grown source that compiles whole, with its
// system variables and a resource script (removed before each run, as the
// string tables are appended to it), into a new target or into the target a
// compile of the same source made; the macro files are removed too.
void compileWhole(benchmark::State& state, bool inProcess, bool existing, int mb, StepTimes* times)
{
    const WholeFiles& f = wholeFile(mb);
    WholeSysVars sysVars(f);
    const std::string target = scratchPath(std::string("whole_") + (inProcess ? "ip_" : "") +
                                           (existing ? "existing" : "new") + ".dsc");
    const std::string rc = target + ".rc";
    removeTarget(target);
    std::unique_ptr<Quiet> quiet(inProcess ? new Quiet : nullptr);
    if (existing && compileOnce(inProcess, f.source, target, rc) != 0)
        state.SkipWithError("the source did not compile whole");
    const double cpuBefore = g_commandCpu;
    for (auto _ : state) {
        state.PauseTiming();
        ::unlink(rc.c_str());
        const std::string base = target.substr(0, target.rfind('.'));
        for (const std::string& p : {base + ".m4h", base + ".m4c"}) ::unlink(p.c_str());
        if (!existing) ::unlink(target.c_str());
        state.ResumeTiming();
        if (compileOnce(inProcess, f.source, target, rc, times) != 0)
            state.SkipWithError("the source did not compile whole");
    }
    removeTarget(target);
    ::unlink(rc.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
    if (!inProcess && state.iterations() > 0)
        state.counters["cpu"] = (g_commandCpu - cpuBefore) / double(state.iterations());
}

std::map<int, StepTimes>& wholeStepTimes()
{
    static std::map<int, StepTimes> times;
    return times;
}

void BM_WholeInProcessExisting(benchmark::State& state, int mb)
{
    compileWhole(state, true, true, mb, &wholeStepTimes()[mb]);
}

void BM_WholeInProcessNew(benchmark::State& state, int mb)
{
    compileWhole(state, true, false, mb, nullptr);
}

void BM_WholeCommandNew(benchmark::State& state, int mb)
{
    compileWhole(state, false, false, mb, nullptr);
}

// The command refusing a stray source: exit status 1, no target written
// (into a new target, or into the axis example's, which stays as it was).
void strayCommand(benchmark::State& state, const StrayFile& source, int mb, bool existing = false)
{
    if (!source.ok()) {
        state.SkipWithError("the source cannot be written");
        return;
    }
    const std::string target = scratchPath("stray.dsc");
    if (existing && !makeExistingTarget(false, target)) state.SkipWithError("no existing target could be made");
    const double cpuBefore = g_commandCpu;
    for (auto _ : state) {
        state.PauseTiming();
        if (!existing) removeTarget(target);
        state.ResumeTiming();
        const int status = compileOnce(false, source.path(), target);
        if (status != 1) {
            state.SkipWithError(("the source was not refused: status " + std::to_string(status)).c_str());
            break;
        }
    }
    removeTarget(target);
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
    if (state.iterations() > 0) state.counters["cpu"] = (g_commandCpu - cpuBefore) / double(state.iterations());
}

// mb megabytes of the byte and nothing else.
void BM_StrayCommand(benchmark::State& state, char byte, int mb)
{
    const StrayFile source("stray.tos", std::string(std::size_t(mb) << 20, byte));
    strayCommand(state, source, mb);
}

// mb megabytes of the fill and nothing else.
void BM_StraySpacedCommand(benchmark::State& state, strayfill::Fill fill, int mb)
{
    const StrayFile source("stray.tos", strayfill::body(fill, std::size_t(mb) << 20));
    strayCommand(state, source, mb);
}

// A header and a section of mb megabytes of the fill.
void BM_StraySectionCommand(benchmark::State& state, const char* section, StrayFill fill, int mb)
{
    const StrayFile source("stray_section.tos", straySection(section, fill, mb));
    strayCommand(state, source, mb);
}

// mb megabytes of garbage with header words (stray_fill.h), alone or after
// the begin word of a header, into a new or an existing target.
void BM_StrayHeaders(benchmark::State& state, bool inHeader, bool existing, int mb)
{
    const std::size_t bytes = std::size_t(mb) << 20;
    const StrayFile source("stray_headers.tos", inHeader ? "TO_HEADER\n" + strayfill::withHeaderWords(bytes - 10)
                                                         : strayfill::withHeaderWords(bytes));
    strayCommand(state, source, mb, existing);
}

// One token of mb megabytes in a header (stray_fill.h).
void BM_StrayHeaderToken(benchmark::State& state, const strayfill::HeaderToken* token, int mb)
{
    const StrayFile source("stray_header_token.tos", strayfill::headerToken(*token, std::size_t(mb) << 20));
    strayCommand(state, source, mb);
}

// A header and a section of far more texts than the ids of a source.
void BM_TextFloodCommand(benchmark::State& state, const textflood::Flood* flood, int mb)
{
    const StrayFile source("text_flood.tos", textFlood(*flood, mb));
    strayCommand(state, source, mb);
}

// The scan floor: the bare flex scanner over the source.
void flexScan(benchmark::State& state, const std::string& source, int mb)
{
    ::sync();
    for (auto _ : state) {
        const long lines = mainroadFloorScan(source.c_str());
        if (lines < 0) state.SkipWithError("source unreadable");
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_WholeFloorFlexScan(benchmark::State& state, int mb)
{
    flexScan(state, wholeFile(mb).source, mb);
}

// The streams of a compound file by name (a flat one: the target).
std::vector<std::pair<std::string, std::string>> streamsOf(const std::string& file)
{
    std::vector<std::pair<std::string, std::string>> out;
    IStorage* stg = nullptr;
    if (FAILED(StgOpenStorage(tvp::utf8ToWide(file).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                              &stg)))
        return out;
    IEnumSTATSTG* e = nullptr;
    if (SUCCEEDED(stg->EnumElements(0, nullptr, 0, &e)) && e) {
        STATSTG st;
        ULONG got = 0;
        while (e->Next(1, &st, &got) == S_OK && got == 1) {
            IStream* s = nullptr;
            std::string bytes;
            if (st.type == STGTY_STREAM &&
                SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
                char buf[65536];
                ULONG n = 0;
                while (SUCCEEDED(s->Read(buf, sizeof buf, &n)) && n > 0) bytes.append(buf, n);
                s->Release();
                out.emplace_back(tvp::wideToUtf8(st.pwcsName), std::move(bytes));
            }
            CoTaskMemFree(st.pwcsName);
        }
        e->Release();
    }
    stg->Release();
    return out;
}

// libgsf alone writing the given streams into a compound file on disk.
void gsfWrite(benchmark::State& state, const std::vector<std::pair<std::string, std::string>>& streams)
{
    const std::string file = scratchPath("floor.cf");
    gsf_init();
    // Written back what the runs before left dirty, so that this write does
    // not wait for theirs.
    ::sync();
    for (auto _ : state) {
        GsfOutput* sink = gsf_output_stdio_new(file.c_str(), nullptr);
        GsfOutfile* out = sink ? gsf_outfile_msole_new(sink) : nullptr;
        if (!out) {
            state.SkipWithError("libgsf cannot write");
            if (sink) g_object_unref(sink);
            break;
        }
        for (const auto& s : streams) {
            GsfOutput* child = gsf_outfile_new_child(out, s.first.c_str(), FALSE);
            gsf_output_write(child, s.second.size(), reinterpret_cast<const guint8*>(s.second.data()));
            gsf_output_close(child);
            g_object_unref(child);
        }
        gsf_output_close(GSF_OUTPUT(out));
        g_object_unref(out);
        g_object_unref(sink);
    }
    ::unlink(file.c_str());
}

// The write floor of a whole compile: libgsf writing the target's streams
// (some twenty) with the bytes a compile of the source wrote.
void BM_WholeFloorGsfWrite(benchmark::State& state, int mb)
{
    const WholeFiles& f = wholeFile(mb);
    const std::string target = scratchPath("whole_floor.dsc");
    std::vector<std::pair<std::string, std::string>> streams;
    {
        WholeSysVars sysVars(f);
        Quiet quiet;
        removeTarget(target);
        if (compileOnce(true, f.source, target, target + ".rc") == 0) streams = streamsOf(target);
        removeTarget(target);
        ::unlink((target + ".rc").c_str());
    }
    if (streams.empty()) {
        state.SkipWithError("the source did not compile whole");
        for (auto _ : state) {
        }
        return;
    }
    gsfWrite(state, streams);
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

// The main road alone (openSource and copySections, in this process): what
// the split and the working file cost without the section compilers, which
// read every section again with a grammar of their own.
void BM_MainRoadExisting(benchmark::State& state, int mb)
{
    compileIntoExisting(state, true, sourceFile(mb), nullptr, false);
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_MainRoadNew(benchmark::State& state, int mb)
{
    compileIntoNew(state, true, sourceFile(mb), false);
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_InProcessExisting(benchmark::State& state, int mb)
{
    compileIntoExisting(state, true, sourceFile(mb), &stepTimes()[mb]);
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_InProcessNew(benchmark::State& state, int mb)
{
    compileIntoNew(state, true, sourceFile(mb));
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_CommandExisting(benchmark::State& state, int mb)
{
    compileIntoExisting(state, false, sourceFile(mb), nullptr);
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

void BM_CommandNew(benchmark::State& state, int mb)
{
    compileIntoNew(state, false, sourceFile(mb));
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

// The cost of a command run that has next to nothing to do (the axis
// example into an existing target): starting the command and loading the
// library, which neither the floors nor the in-process compiles pay.
void BM_CommandExample(benchmark::State& state)
{
    compileIntoExisting(state, false, std::string(TV_SOURCE_DIR) + "/examples/axis.tos", nullptr);
}

void BM_FloorFlexScan(benchmark::State& state, int mb)
{
    flexScan(state, sourceFile(mb), mb);
}

// The temporary streams the split makes of the source, by name.
std::vector<std::pair<std::string, std::string>> workingStreams(const std::string& path)
{
    std::istringstream in(mainroad::readText(path));
    MdStringSectionSink sink;
    MdSectionSplitter split;
    split.split(in, sink, nullptr, 0);
    std::vector<std::pair<std::string, std::string>> out;
    for (int i = 0; i < MdTmpCount; ++i) out.emplace_back(mdTmpStreamName(i), sink.stream(i));
    return out;
}

void BM_FloorGsfWrite(benchmark::State& state, int mb)
{
    gsfWrite(state, workingStreams(sourceFile(mb)));
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(mb) << 20));
}

// The modes that write a source or measure a working file instead of
// benchmarking (see the head of this file).
int toolMode(int argc, char** argv)
{
    const std::string mode = argv[1];
    if ((mode == "--write-source" || mode == "--write-blank") && argc == 4) {
        const std::size_t bytes = std::size_t(std::atof(argv[3]) * double(1 << 20));
        const std::string text = mode == "--write-source" ? mainroad::grownSource(axisExample(), bytes)
                                                          : mainroad::blankLinesSource(axisExample(), bytes);
        return writeFile(argv[2], text) ? 0 : 1;
    }
    if (mode == "--write-texts" && argc == 5) {
        const textflood::Flood* flood = textflood::find(argv[3]);
        return flood && writeFile(argv[2], textFlood(*flood, std::atoi(argv[4]))) ? 0 : 1;
    }
    if (mode == "--write-whole" && argc == 4)
        return writeWhole(argv[2], std::size_t(std::atof(argv[3]) * double(1 << 20))) ? 0 : 1;
    if (mode == "--working-size" && argc == 4) {
        IStorage* stg = nullptr;
        if (FAILED(StgOpenStorage(tvp::utf8ToWide(argv[3]).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  nullptr, 0, &stg)))
            return 1;
        FsFileMan work;
        String workPath;
        std::unique_ptr<FsSectMan> target;
        MdWorkState state;
        state.workFile = &work;
        state.workPath = &workPath;
        state.target = &target;
        int32_t status = 0;
        mdOpenWorkingSource(argv[2], stg, 0, state, status);
        work.CloseFile();
        target.reset();
        stg->Release();
        struct stat st;
        const bool ok = !workPath.empty() && ::stat(workPath.c_str(), &st) == 0;
        if (ok) std::printf("%lld\n", static_cast<long long>(st.st_size));
        if (!workPath.empty()) ::unlink(workPath.c_str());
        return ok ? 0 : 1;
    }
    std::fprintf(stderr, "usage: see the head of bench/main_road.cpp\n");
    return 2;
}

void removeSources()
{
    for (const auto& f : sourceFiles()) ::unlink(f.second.c_str());
    for (const auto& f : wholeFiles()) {
        ::unlink(f.second.source.c_str());
        ::unlink(f.second.symb.c_str());
    }
}

// Each compile once on a small grown source, in this process and as the
// command, into a new and an existing target: 0 when every one ran to an
// end and the two ways ended alike.
int smoke()
{
    const std::string source = sourceFile(1);
    int failures = 0;
    for (bool existing : {false, true}) {
        int status[2] = {-1, -1};
        for (bool inProcess : {true, false}) {
            const std::string target = scratchPath(inProcess ? "smoke_ip.dsc" : "smoke.dsc");
            removeTarget(target);
            if (existing && !makeExistingTarget(inProcess, target)) {
                std::fprintf(stderr, "no existing target (%s)\n", inProcess ? "in-process" : "command");
                ++failures;
                continue;
            }
            {
                std::unique_ptr<Quiet> quiet(inProcess ? new Quiet : nullptr);
                status[inProcess] = compileOnce(inProcess, source, target);
            }
            removeTarget(target);
        }
        const char* what = existing ? "existing target" : "new target";
        std::printf("%s: in-process %d, command %d\n", what, status[1], status[0]);
        if (!ranToEnd(status[1]) || status[1] != status[0]) ++failures;
    }
    // The grown source that compiles whole does so both ways.
    {
        const WholeFiles& f = wholeFile(1);
        WholeSysVars sysVars(f);
        for (bool inProcess : {true, false}) {
            const std::string target = scratchPath(inProcess ? "smoke_whole_ip.dsc" : "smoke_whole.dsc");
            removeTarget(target);
            int status = -1;
            {
                std::unique_ptr<Quiet> quiet(inProcess ? new Quiet : nullptr);
                status = compileOnce(inProcess, f.source, target, target + ".rc");
            }
            std::printf("whole compile (%d repetitions), %s: %d\n", f.repeats, inProcess ? "in-process" : "command",
                        status);
            if (status != 0) ++failures;
            removeTarget(target);
            ::unlink((target + ".rc").c_str());
        }
    }
    removeSources();
    return failures == 0 ? 0 : 1;
}

template <class... Args>
benchmark::internal::Benchmark* add(const std::string& name, Args... args)
{
    return benchmark::RegisterBenchmark(name.c_str(), args...)->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Where the time of an in-process compile into an existing target went:
// each step's own share, from the mark before it to its own; and the main
// road alone - everything but the section compilers (opening the target,
// the split, the copy, writing the working file) - against the floor.
void printSteps(const StepTimes& st, double floor)
{
    if (st.runs == 0) return;
    std::printf("      in-process into an existing target, mean of %d runs, ms per step:", st.runs);
    double before = 0, road = 0;
    for (const auto& m : st.marks) {
        const double t = m.second / st.runs;
        std::printf(" %s %.1f", m.first.c_str(), (t - before) * 1e3);
        if (m.first.compare(0, 7, "compile") != 0) road += t - before;
        before = t;
    }
    std::printf("\n      main road without the section compilers: %.1f ms, %.2fx the floor\n", road * 1e3,
                road / floor);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strncmp(argv[1], "--write-", 8) == 0) return toolMode(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--working-size") == 0) return toolMode(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--smoke") == 0) return smoke();

    std::vector<int> sizes = {10};
    bool grown = true, whole = true, stray = false, texts = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--sources=", 10) == 0) {
            const std::string which = argv[i] + 10;
            grown = which.find("grown") != std::string::npos;
            whole = which.find("whole") != std::string::npos;
            stray = which.find("stray") != std::string::npos;
            texts = which.find("texts") != std::string::npos;
        } else if (std::strncmp(argv[i], "--sizes=", 8) == 0) {
            sizes.clear();
            std::istringstream list(argv[i] + 8);
            for (std::string s; std::getline(list, s, ',');)
                if (std::atoi(s.c_str()) > 0) sizes.push_back(std::atoi(s.c_str()));
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (grown) add("CommandExample", BM_CommandExample);
    for (int mb : sizes) {
        const std::string n = "/" + std::to_string(mb) + "MB";
        if (whole) {
            RatioReporter::addMinimum(add("WholeFloorFlexScan" + n, BM_WholeFloorFlexScan, mb));
            RatioReporter::addMinimum(add("WholeFloorGsfWrite" + n, BM_WholeFloorGsfWrite, mb));
            add("WholeInProcessExisting" + n, BM_WholeInProcessExisting, mb);
            add("WholeInProcessNew" + n, BM_WholeInProcessNew, mb);
            add("WholeCommandNew" + n, BM_WholeCommandNew, mb);
        }
        if (stray) {
            // the floor: the command compiling the whole source of this size
            if (!whole) add("WholeCommandNew" + n, BM_WholeCommandNew, mb);
            for (char byte : kStrayBytes)
                add("StrayCommand/" + std::to_string(static_cast<unsigned char>(byte)) + n, BM_StrayCommand, byte,
                    mb);
            for (const StrayFill& fill : kStraySpaced)
                add(std::string("StrayCommand/") + fill.name + n, BM_StraySpacedCommand, fill, mb);
            for (const char* section : kStraySections)
                for (const StrayFill& fill : kFills)
                    add(std::string("StraySection/") + section + "/" + fill.name + n, BM_StraySectionCommand,
                        section, fill, mb);
            for (const HeaderWordsCase& c : kHeaderWordsCases)
                add(std::string("StrayHeaders/") + c.name + n, BM_StrayHeaders, c.inHeader, c.existing, mb);
            for (const strayfill::HeaderToken& token : strayfill::kHeaderTokens)
                add(std::string("StrayHeaderToken/") + token.name + n, BM_StrayHeaderToken, &token, mb);
        }
        if (texts) {
            if (!whole && !stray) add("WholeCommandNew" + n, BM_WholeCommandNew, mb);
            for (const textflood::Flood& flood : textflood::kFloods)
                add(std::string("TextFlood/") + flood.name + n, BM_TextFloodCommand, &flood, mb);
        }
        if (!grown) continue;
        RatioReporter::addMinimum(add("FloorFlexScan" + n, BM_FloorFlexScan, mb));
        RatioReporter::addMinimum(add("FloorGsfWrite" + n, BM_FloorGsfWrite, mb));
        add("MainRoadExisting" + n, BM_MainRoadExisting, mb);
        add("MainRoadNew" + n, BM_MainRoadNew, mb);
        add("InProcessExisting" + n, BM_InProcessExisting, mb);
        add("InProcessNew" + n, BM_InProcessNew, mb);
        add("CommandExisting" + n, BM_CommandExisting, mb);
        add("CommandNew" + n, BM_CommandNew, mb);
    }
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double fixed = reporter.at("CommandExample/real_time");
    if (fixed > 0) std::printf("a command run with next to nothing to do (the axis example): %.1f ms\n", fixed * 1e3);
    for (int mb : sizes) {
        const std::string s = "/" + std::to_string(mb) + "MB/real_time";
        auto at = [&](const char* name) { return reporter.at(name + s); };
        // The floors at their best repetition, the compiles at their median.
        auto best = [&](const char* name) { return reporter.best(name + s); };
        const double wholeFloor = best("WholeFloorFlexScan") + best("WholeFloorGsfWrite");
        if (wholeFloor > 0) {
            const double perMb = at("WholeInProcessNew") / mb;
            std::printf("%4d MB, compiles whole (%d repetitions): floor %.1f ms (scan %.1f + libgsf %.1f of the "
                        "target); in-process: existing target %.2fx, new target %.2fx (%.1f ms per MB); command: "
                        "new target %.2fx\n",
                        mb, wholeFile(mb).repeats, wholeFloor * 1e3, best("WholeFloorFlexScan") * 1e3,
                        best("WholeFloorGsfWrite") * 1e3, at("WholeInProcessExisting") / wholeFloor,
                        at("WholeInProcessNew") / wholeFloor, perMb * 1e3, at("WholeCommandNew") / wholeFloor);
            printSteps(wholeStepTimes()[mb], wholeFloor);
        }
        const double wholeCommand = at("WholeCommandNew");
        if (stray && wholeCommand > 0) {
            std::printf("%4d MB of one stray byte, refused by the command, over the command compiling the whole "
                        "source (%.1f ms):",
                        mb, wholeCommand * 1e3);
            for (char byte : kStrayBytes) {
                const unsigned b = static_cast<unsigned char>(byte);
                const double t = reporter.at("StrayCommand/" + std::to_string(b) + s);
                if (b >= 0x21 && b < 0x7F)
                    std::printf(" '%c' %.2fx", char(b), t / wholeCommand);
                else
                    std::printf(" 0x%02X %.2fx", b, t / wholeCommand);
            }
            for (const StrayFill& fill : kStraySpaced)
                std::printf(" %s %.2fx", fill.name,
                            reporter.at(std::string("StrayCommand/") + fill.name + s) / wholeCommand);
            const double wholeCpu = reporter.cpuAt("WholeCommandNew" + s);
            if (wholeCpu > 0) {
                std::printf("\n%4d MB of garbage with header words, refused by the command, processor time over "
                            "that of the command compiling the whole source (%.1f ms):",
                            mb, wholeCpu * 1e3);
                for (const HeaderWordsCase& c : kHeaderWordsCases)
                    std::printf(" %s %.2fx", c.name,
                                reporter.cpuAt(std::string("StrayHeaders/") + c.name + s) / wholeCpu);
                std::printf("\n%4d MB of one token in TO_HEADER, the same:", mb);
                for (const strayfill::HeaderToken& token : strayfill::kHeaderTokens)
                    std::printf(" %s %.2fx", token.name,
                                reporter.cpuAt(std::string("StrayHeaderToken/") + token.name + s) / wholeCpu);
            }
            std::printf("\n%4d MB of a section of one stray byte or one identifier, the same:\n", mb);
            for (const char* section : kStraySections) {
                std::printf("      %-10s", section);
                for (const StrayFill& fill : kFills) {
                    const double t = reporter.at(std::string("StraySection/") + section + "/" + fill.name + s);
                    std::printf(" %s %.2fx", fill.name, t / wholeCommand);
                }
                std::printf("\n");
            }
        }
        if (texts && wholeCommand > 0) {
            std::printf("%4d MB of a section of texts past the last id, refused by the command, over the command "
                        "compiling the whole source (%.1f ms):",
                        mb, wholeCommand * 1e3);
            for (const textflood::Flood& flood : textflood::kFloods)
                std::printf(" %s %.2fx", flood.name, reporter.at(std::string("TextFlood/") + flood.name + s) / wholeCommand);
            const double wholeCpu = reporter.cpuAt("WholeCommandNew" + s);
            if (wholeCpu > 0) {
                std::printf("\n      processor time over that of the whole compile (%.1f ms):", wholeCpu * 1e3);
                for (const textflood::Flood& flood : textflood::kFloods)
                    std::printf(" %s %.2fx", flood.name,
                                reporter.cpuAt(std::string("TextFlood/") + flood.name + s) / wholeCpu);
            }
            std::printf("\n");
        }
        const double floor = best("FloorFlexScan") + best("FloorGsfWrite");
        if (floor <= 0) continue;
        std::printf("%4d MB: floor %.1f ms (scan %.1f + libgsf %.1f); main road: existing target %.2fx, new target "
                    "%.2fx; in-process: existing target %.2fx, new target %.2fx; command: existing target %.2fx, "
                    "new target %.2fx\n",
                    mb, floor * 1e3, best("FloorFlexScan") * 1e3, best("FloorGsfWrite") * 1e3,
                    at("MainRoadExisting") / floor, at("MainRoadNew") / floor, at("InProcessExisting") / floor,
                    at("InProcessNew") / floor, at("CommandExisting") / floor, at("CommandNew") / floor);
        printSteps(stepTimes()[mb], floor);
    }
    // Whether the whole compile is linear: its time per MB at each size over
    // that at the size before, and the floor's likewise.
    for (std::size_t i = 1; whole && i < sizes.size(); ++i) {
        auto perMb = [&](const char* name, int mb, bool floor) {
            const std::string n = "/" + std::to_string(mb) + "MB/real_time";
            return (floor ? reporter.best(name + n) + reporter.best("WholeFloorGsfWrite" + n) : reporter.at(name + n)) /
                   mb;
        };
        const double before = perMb("WholeInProcessNew", sizes[i - 1], false);
        const double floorBefore = perMb("WholeFloorFlexScan", sizes[i - 1], true);
        if (before <= 0 || floorBefore <= 0) continue;
        std::printf("compiles whole, time per MB at %d MB over that at %d MB: %.2fx (the floor's %.2fx)\n", sizes[i],
                    sizes[i - 1], perMb("WholeInProcessNew", sizes[i], false) / before,
                    perMb("WholeFloorFlexScan", sizes[i], true) / floorBefore);
    }
    removeSources();
    benchmark::Shutdown();
    return 0;
}
