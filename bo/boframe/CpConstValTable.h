// Constant table of the compile side: the symbol table's constant table
// plus the storage area in which its constants are laid out one after the
// other (from a start offset on) and the order in which they were laid out.
// The frame constant table of the variable extensions and the boot-function
// constant table derive from it.
#pragma once
#include <cstdint>
#include <list>

#include "base/st/stsymtab/StConstantVal.h"

class CpConstValTable : public StSyConstValTable {
public:
    using LaidOutList = std::list<StConstEntryID>;

    // An empty table whose storage area begins at startOffset.
    explicit CpConstValTable(uint32_t startOffset);
    ~CpConstValTable() override;

    // Size of the laid-out area: next offset minus start offset.
    uint32_t count() const { return m_nextOffset - m_startOffset; }
    uint32_t getStartOffset() const { return m_startOffset; }
    uint32_t getNextOffset() const { return m_nextOffset; }
    const LaidOutList& laidOut() const { return m_laidOut; }

protected:
    uint32_t m_startOffset;
    uint32_t m_nextOffset;
    LaidOutList m_laidOut;
};
