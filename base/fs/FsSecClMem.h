// Memory storages and memory section streams, made the way the DWORD
// setting "STORAGE_MODE" below the Kernfeld key asks:
//   mode 3: FsLockBytes / FsStream of this library;
//   mode 1: the platform's memory lock bytes / memory stream;
//   mode 2: a temporary compound file deleted on release / the platform's
//           memory stream.
// An absent or unreadable value gives mode 3; a value with bit 0 set mode 2;
// any other value (value & 2) | 1, that is mode 1 for 0 and mode 3 for 2.
// The setting is read once per process (one cached copy for storages, one
// for streams); when mode 3 cannot make its object the cached mode drops to
// 1 for good.
#pragma once
#include <cstdint>

#include "base/fs/FsSecCl.h"
#include "platform/storage.h"

// A section stream over a new memory stream; writable.
class FsSecClMem : public FsSecCl {
public:
    FsSecClMem();
    // A new, empty memory stream (E_POINTER for a null out).
    static HRESULT CreateStream(IStream** out);
};

// A new, empty memory storage; false (out null) on failure.
bool fsCreateMemStorage(IStorage** out);

// The cached storage mode (1, 2 or 3) for storages / for streams.
uint32_t fsStorageMode(bool forStream);
// Forgets the cached modes so that the setting is read again (tests).
void fsResetStorageMode();
