// Whether memory ran out during a call into the library, whatever caught the
// failure. Code that turns a failed allocation into a result of its own (a
// null section, a missing table, a message 0 "Interner Fehler" at a source
// line) would otherwise hide that memory ran out behind a fault of the
// source; the method frame asks this latch instead and answers
// E_OUTOFMEMORY, and the message handler shows no message once it is set.
//
// A MemoryWatch clears the latch and installs a new handler (the hook every
// operator new, the nothrow forms too, calls before it gives up) that sets it
// and then fails as before (the previous handler, or std::bad_alloc). Memory
// that is not taken through operator new - malloc in C-style code, the
// generated scanners and parsers, the compound-file library - is noted by
// its caller (noteMemoryRanOut, mallocNoted, roomFor). The handler is the
// process's own: one watch at a time, and only around the library's calls
// (a nested watch leaves the outer one in charge).
#pragma once

#include <cstddef>
#include <new>

namespace tvp {

// Whether an allocation failed since the outermost watch began; false while
// no watch lives.
bool memoryRanOut();
// Whether a watch lives.
bool memoryWatched();
// Sets the latch: an allocation that does not go through operator new failed.
void noteMemoryRanOut();
// malloc, realloc and calloc that note a failure (null, and the latch set;
// realloc leaves the block as it was then).
void* mallocNoted(std::size_t size);
void* reallocNoted(void* block, std::size_t size);
void* callocNoted(std::size_t count, std::size_t size);
// Whether size bytes of address space can be had right now: mapped and given
// back at once, so that a library that aborts when its own allocation fails
// (glib) is called only with that much room. False with the latch set.
bool roomFor(std::size_t size);

class MemoryWatch {
public:
    MemoryWatch();
    ~MemoryWatch();
    MemoryWatch(const MemoryWatch&) = delete;
    MemoryWatch& operator=(const MemoryWatch&) = delete;

    bool ranOut() const { return memoryRanOut(); }

private:
    bool m_outer;
    std::new_handler m_previous;
};

}  // namespace tvp
