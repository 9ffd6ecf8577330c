// Feeds arbitrary bytes as a name-exports section to the header rewrite
// and to the importer.
// The first byte chooses the requested version (bits 0-1) and whether the
// bytes are put behind a valid version-1 or version-2 header (bits 2-3), so
// that the entries are reached. update must never crash, hang or allocate
// by a count from the section; a refused section stays byte for byte as it
// was, and a converted one converts again. The import (with hooks that
// create every entry) must end, whatever the counts claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StNameMengeler.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "tests/base/fs/section_bytes.h"
#include "tools/md/tavolin/NameExportFile.h"

namespace {

// Creates every entry, so that every hook runs.
class Creating : public StNameMengeler {
public:
    bool isKnown(const String&, bool) override { return false; }
    StTypeID findNamedType(const String&, const StNeTypeRef&) override { return 5000; }
    StTypeID createArrayType(StTypeID, int32_t, uint32_t, int32_t, uint32_t) override { return 5001; }
    StSymbEntryID createVariable(const String&, StTypeID, int32_t, int32_t, bool) override { return next(); }
    StSymbEntryID createProgramUnit(const String&, int32_t, StTypeID, StSymbEntryID&) override { return next(); }

private:
    StSymbEntryID next() { return StSymbEntryID(m_sid++); }
    uint32_t m_sid = 0x10000;
};

void import(const std::string& bytes, StNameMengeler& m)
{
    static StSyTypeTable types;
    FsSecClMem s;
    if (!bytes.empty()) s.writeBytes(bytes.data(), uint32_t(bytes.size()));
    s.reset();
    m.setTypeTable(&types);
    uint32_t count = 0;
    if (m.beginImport(nullptr, &s, count)) m.importCounted(count);
    m.endImport();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t control = data[0];
    std::string bytes;
    switch ((control >> 2) & 3) {
    case 1: bytes = "5           17 Name_Exports_V0.5 "; break;
    case 2: bytes = "5           17 Name_Exports_V3.1 "; break;
    default: break;
    }
    bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);

    FsSecClMem s;
    if (!bytes.empty()) s.writeBytes(bytes.data(), uint32_t(bytes.size()));
    s.reset();
    StNameMengeler plain;
    import(bytes, plain);
    Creating creating;
    import(bytes, creating);

    const int version = control & 3;
    NameExportFile file;
    const int r = file.update(&s, version);
    const std::string after = sectionBytesClearing(s);
    if (r != 0 && after != bytes) std::abort();
    if (r == 0 && after != bytes) {
        // What update wrote is a section of the requested version that
        // converts back.
        NameExportFile again;
        if (again.update(&s, version) != 0) std::abort();
        NameExportFile other;
        if (other.update(&s, version == 1 ? 2 : 1) != 0) std::abort();
    }
    return 0;
}
