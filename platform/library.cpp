#include "platform/library.h"
#include "platform/memory_watch.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

thread_local std::string t_lastError;

void noteError(const char* fallback)
{
    const char* e = dlerror();
    t_lastError = e ? e : fallback;
}

bool endsWithNoCase(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = s[s.size() - n + i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (a != suffix[i]) return false;
    }
    return true;
}

// The words of a library that was not given the room to load.
const char kNoRoom[] = "cannot allocate memory for the library and its start-up";

// The address space the segments of the ELF file take when it is loaded
// (from its first to the end of its last PT_LOAD); 0 when it cannot be read
// as a 64-bit ELF file.
size_t loadedSize(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    Elf64_Ehdr eh;
    size_t low = SIZE_MAX, high = 0;
    if (::pread(fd, &eh, sizeof eh, 0) == ssize_t(sizeof eh) && std::memcmp(eh.e_ident, ELFMAG, SELFMAG) == 0 &&
        eh.e_ident[EI_CLASS] == ELFCLASS64 && eh.e_phentsize == sizeof(Elf64_Phdr) && eh.e_phnum < 256) {
        for (unsigned i = 0; i < eh.e_phnum; ++i) {
            Elf64_Phdr ph;
            if (::pread(fd, &ph, sizeof ph, off_t(eh.e_phoff + i * sizeof ph)) != ssize_t(sizeof ph)) break;
            if (ph.p_type != PT_LOAD) continue;
            low = std::min(low, size_t(ph.p_vaddr));
            high = std::max(high, size_t(ph.p_vaddr + ph.p_memsz));
        }
    }
    ::close(fd);
    return high > low ? high - low : 0;
}

// A library's start-up (its static constructors) cannot report that memory
// ran out: an exception there ends the process. So it is loaded only with
// room for its segments and a few megabytes beside them, which an already
// loaded one does not need.
void* openFile(const std::string& file)
{
    if (void* loaded = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) return loaded;
    dlerror();  // not loaded yet: no failure of the load below
    if (!tvp::roomFor(loadedSize(file) + (size_t(4) << 20))) {
        t_lastError = kNoRoom;
        return nullptr;
    }
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

namespace tvp {

std::string libraryFileName(const std::string& name)
{
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (file.empty()) return path;
    bool isSo = (file.size() > 3 && file.compare(file.size() - 3, 3, ".so") == 0) ||
                file.find(".so.") != std::string::npos;
    if (isSo) return path;
    if (endsWithNoCase(file, ".dll")) file.resize(file.size() - 4);
    return dir + "lib" + file + ".so";
}

std::string lastLibraryError()
{
    return t_lastError;
}

bool lastLibraryErrorIsMemory()
{
    // The loader's words when mmap fails (ENOMEM) for a segment or its own
    // tables.
    return t_lastError == kNoRoom || t_lastError.find("failed to map segment") != std::string::npos ||
           t_lastError.find("annot allocate memory") != std::string::npos;
}

std::string modulePathOf(const void* addr)
{
    struct Search {
        uintptr_t addr;
        bool found;
        bool isExe;
        std::string name;
    } search{reinterpret_cast<uintptr_t>(addr), false, false, std::string()};
    if (!addr) return std::string();
    dl_iterate_phdr(
        [](struct dl_phdr_info* info, size_t, void* data) -> int {
            Search* s = static_cast<Search*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                uintptr_t lo = info->dlpi_addr + ph.p_vaddr;
                if (s->addr >= lo && s->addr < lo + ph.p_memsz) {
                    s->found = true;
                    s->name = info->dlpi_name ? info->dlpi_name : "";
                    // The executable is the object without a name.
                    s->isExe = s->name.empty();
                    return 1;
                }
            }
            return 0;
        },
        &search);
    if (!search.found) return std::string();
    if (search.isExe) {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        return n > 0 ? std::string(buf, size_t(n)) : std::string();
    }
    return search.name;
}

std::string moduleDirOf(const void* addr)
{
    std::string path = modulePathOf(addr);
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string moduleFileNameOf(const void* addr)
{
    std::string path = modulePathOf(addr);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tvp

HMODULE LoadLibraryA(const char* name)
{
    if (!name || !*name) {
        t_lastError = "no library name";
        return nullptr;
    }
    std::string file = tvp::libraryFileName(name);
    t_lastError.clear();
    void* h = openFile(file);
    if (!h) {
        const char* e = t_lastError.empty() ? dlerror() : nullptr;
        std::string error = e ? e : t_lastError.empty() ? "cannot load library" : t_lastError;
        if (file.find('/') == std::string::npos) {
            std::string dir = tvp::moduleDirOf(reinterpret_cast<const void*>(&LoadLibraryA));
            if (!dir.empty()) h = openFile(dir + "/" + file);
        }
        if (!h) {
            t_lastError = error;
            if (tvp::lastLibraryErrorIsMemory()) tvp::noteMemoryRanOut();
            return nullptr;
        }
    }
    t_lastError.clear();
    return reinterpret_cast<HMODULE>(h);
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name) {
        t_lastError = "invalid argument";
        return nullptr;
    }
    dlerror();
    void* p = dlsym(reinterpret_cast<void*>(module), name);
    if (!p) {
        noteError("no such export");
        return nullptr;
    }
    FARPROC f;
    static_assert(sizeof f == sizeof p, "function and data pointers differ in size");
    std::memcpy(&f, &p, sizeof f);
    return f;
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module) {
        t_lastError = "invalid handle";
        return FALSE;
    }
    if (dlclose(reinterpret_cast<void*>(module)) != 0) {
        noteError("cannot release library");
        return FALSE;
    }
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, char* buf, DWORD size)
{
    if (!buf || size == 0) return 0;
    std::string path;
    if (!module) {
        char tmp[4096];
        ssize_t n = readlink("/proc/self/exe", tmp, sizeof tmp - 1);
        if (n > 0) path.assign(tmp, size_t(n));
    } else {
        struct link_map* lm = nullptr;
        if (dlinfo(reinterpret_cast<void*>(module), RTLD_DI_LINKMAP, &lm) == 0 && lm && lm->l_name)
            path = lm->l_name;
        if (path.empty()) {
            char tmp[4096];
            ssize_t n = readlink("/proc/self/exe", tmp, sizeof tmp - 1);
            if (n > 0) path.assign(tmp, size_t(n));
        }
    }
    if (path.empty()) {
        buf[0] = 0;
        t_lastError = "unknown module";
        return 0;
    }
    size_t n = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(buf, path.data(), n);
    buf[n] = 0;
    return DWORD(n);
}
