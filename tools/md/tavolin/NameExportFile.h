// The header rewrite of a name-exports section: converts the section
// between its two header versions, "Name_Exports_V0.5" (version 1) and
// "Name_Exports_V3.1" (version 2), record by record, with the reader and
// writer of the section's format (StNameExportFormat.h).
//
// The two versions differ in one field: program-unit entries carry a
// trailing frame word in version 2 only. update reads it as -1 from a
// version-1 section and writes it only into a version-2 section.
//
// The input section is left byte for byte as it was whenever update
// returns 1 or 2.
#pragma once
#include <cstdint>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StNameExportFormat.h"

class NameExportFile {
public:
    NameExportFile() = default;

    // 0 nothing to do or converted; 1 not convertible (the section cannot be
    // read, its header word is unknown or version is not 1 or 2); 2 the
    // conversion failed (a read error, kind 13, another unit or constant
    // kind, or the section could not be rewritten).
    int update(FsSecCl* section, int version);

private:
    uint32_t m_count = 0;
    int m_version = 0;    // of the input: 0 unknown, 1, 2
    int m_requested = 0;
    bool m_failed = false;  // an entry that cannot be converted
};
