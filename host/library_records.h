// The library's failure records as the tavolin command reads them: why a
// file could not be made or written (the library's last failure, else this
// process's own) and the causes of a method's failure that its status does
// not carry. A library without these exports has no record: nothing failed
// for it. Each take forgets what it took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the records through the library's exports from now on (null: the
// library has none).
void hostUseLibraryRecords(int (*takeFileFailure)(char* dir, size_t size), int32_t (*takeStepCause)());

// The causes (MdCause* bits) the library noted since the last take;
// MdCauseNone without its record.
int32_t hostTakeStepCause();

// Why a file could not be made or written since the last call, in the
// library (its last failure) or else in this process: ", a file in the
// directory of temporary files DIR (TMPDIR) could not be made or written:
// no space left on the device", or in the directory it was in; empty when
// none failed. Forgets it.
std::string hostFileFailure();
// The same as it was kept: the error number (0: none) and the directory.
struct HostFileFailure {
    int err = 0;
    std::string dir;
    // As hostFileFailure says it.
    std::string words() const;
};
HostFileFailure hostTakeFileFailure();
