// The header rewrite of a name-exports section: converts the section
// between its two header versions, "Name_Exports_V0.5" (version 1) and
// "Name_Exports_V3.1" (version 2), record by record.
//
// The two versions differ in one field: program-unit entries carry a
// trailing frame word in version 2 only. update reads it as -1 from a
// version-1 section and writes it only into a version-2 section.
//
// Readers stop at the first stream error, never allocate by a count read
// from the section and recurse at most kMaxDepth levels (type references,
// nested lists). The input section is left byte for byte as it was
// whenever update returns 1 or 2.
#pragma once
#include <cstdint>

#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"

// The two header words, process-wide.
extern const String g_nameExportsV1;  // "Name_Exports_V0.5"
extern const String g_nameExportsV2;  // "Name_Exports_V3.1"

class NameExportFile {
public:
    static constexpr int kMaxDepth = 64;

    NameExportFile() = default;

    // 0 nothing to do or converted; 1 not convertible (the section cannot be
    // read, its header word is unknown or version is 0); 2 the conversion
    // failed.
    int update(FsSecCl* section, int version);

    // The version a header word names: 1, 2, or 0 for anything else.
    static int versionOf(const String& word);

private:
    bool convertEntry(int depth);
    bool convertList(int depth);
    bool convertTypeRef(int depth);
    bool convertInitValue();
    bool convertConstant(int16_t kind, int depth);
    template <class T>
    bool copy();
    bool copyString();

    FsSecCl* m_in = nullptr;
    FsSecCl* m_out = nullptr;
    uint32_t m_count = 0;
    int m_version = 0;
    int m_requested = 0;
    bool m_failed = false;
};
