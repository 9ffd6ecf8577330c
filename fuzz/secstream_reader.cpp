// Feeds arbitrary bytes to the readers of the section stream. The first byte
// chooses text or binary mode and the order of the readers; the rest is the
// section. Every reader must stop with an error code, never crash, hang or
// allocate beyond the size of the section.
#include <cstddef>
#include <cstdint>
#include <list>

#include "base/fs/FsSecCl.h"
#include "base/fs/FsSecClMem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t control = data[0];
    FsSecClMem s;
    // With bit 6 the bytes are repeated so that values cross the window.
    int copies = (control & 0x40) ? 1 + int(16384 / size) : 1;
    for (int i = 0; i < copies && size > 1; ++i) s.writeBytes(data + 1, uint32_t(size - 1));
    s.seek(0, 0);
    s.setBinary((control & 1) != 0);
    if (control & 2) s.setBase(16);

    // Run the readers round-robin until the section is used up or in error;
    // every successful read consumes at least one byte, so this ends.
    for (unsigned step = 0; step < 4096 && !s.hasError() && !s.atEnd(); ++step) {
        switch (((control >> 2) + step) % 18) {
        case 0: { int32_t v; s >> v; break; }
        case 1: { uint32_t v; s >> v; break; }
        case 2: { int16_t v; s >> v; break; }
        case 3: { uint16_t v; s >> v; break; }
        case 4: { uint8_t v; s >> v; break; }
        case 5: { bool v; s >> v; break; }
        case 6: { float v; s >> v; break; }
        case 7: { double v; s >> v; break; }
        case 8: { String v; s >> v; break; }
        case 9: { WString v; s >> v; break; }
        case 10: { GUID v; s >> v; break; }
        case 11: {
            VARIANT v;
            VariantInit(&v);
            s >> v;
            VariantClear(&v);
            break;
        }
        case 12: { std::list<RTTypeID> v; s >> v; break; }
        case 13: { std::list<FsSupportedToTypeEntry> v; s >> v; break; }
        case 14: {
            char buf[64];
            s.setTokenLimit(int32_t(1 + step % 63));  // below the room of buf; 0 would be unbounded
            s >> buf;
            break;
        }
        case 15: { String v; s.readUntil(v, char(control)); break; }
        case 16: { FsConnectionList v; s >> v; break; }
        default: { String v; s.readToken(v); break; }
        }
        if (s.hasError() && (control & 0x80)) {
            // Clearing the error must leave the stream usable.
            s.clearError();
            s.readChar();
        }
    }
    return 0;
}
