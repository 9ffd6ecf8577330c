// The header rewrite of a name-exports section (see NameExportFile.h).
#include "tools/md/tavolin/NameExportFile.h"

#include "base/fs/FsSecClMem.h"

int NameExportFile::update(FsSecCl* section, int version)
{
    if (!section) return 1;
    FsSecCl& in = *section;
    in.clearError();
    m_version = stNeReadHeader(in, m_count);
    m_requested = version == 1 || version == 2 ? version : 0;
    if (in.hasError() || m_version == 0 || m_requested == 0) {
        in.clearError();
        return 1;
    }
    if (m_version == m_requested) return 0;

    FsSecClMem out;
    stNeWriteHeader(out, m_requested);
    stNeWriteCount(out, m_count);
    m_failed = false;
    bool ok = true;
    for (uint32_t i = 0; ok && i < m_count; ++i) {
        StNeEntry entry;
        ok = entry.read(in, m_version, m_failed);
        if (ok) entry.write(out, m_requested);
    }
    const bool good = ok && !m_failed && !in.hasError() && !out.hasError();
    in.clearError();
    if (!good) return 2;
    out.reset();
    if (in.setSize(0) != 0) return 2;
    in.copyFrom(out);
    return in.hasError() || out.hasError() ? 2 : 0;
}
