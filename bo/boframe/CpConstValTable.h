// Constant table of the compile side: the symbol table's constant table
// plus the storage area in which its constants are laid out one after the
// other (from a start offset on) and the order in which they were laid out.
// The frame constant table of the variable extensions and the boot-function
// constant table derive from it.
#pragma once
#include <cstdint>
#include <list>

#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StIdList.h"

class CpCValueImage;
class StSymbTable;

class CpConstValTable : public StSyConstValTable {
public:
    using LaidOutList = std::list<StConstEntryID>;

    // An empty table whose storage area begins at startOffset.
    explicit CpConstValTable(uint32_t startOffset);
    ~CpConstValTable() override;

    // Places every listed value (ascending CID order) that has no storage
    // offset yet after the values placed before, aligned to its type's
    // alignment (0 counts as 1); the elements of a structure value are then
    // placed by the symbol table's constant layout. Values that have an
    // offset stay where they are. Sizes and alignments come from the
    // value's type in table (elementary: its type id; structure and string:
    // its type reference). 0 done, 1 a CID has no value (values before it
    // stay placed), 2 the area would end beyond 0xFFFFFF: tested with the
    // full alignment before rounding, and for the final end (also when
    // nothing was placed). Computed in 64 bits.
    uint32_t layoutConstants(const StIdList& cids, StSymbTable& table);
    // Hands the laid-out area to the image: registers the range (start
    // offset, count) under areaId, then references each laid-out value at
    // its storage offset, in layout order. 0 done, 1 a value is missing or
    // the builder refused a reference (earlier values stay referenced),
    // 2 no builder, the range was refused, or a value has no offset.
    uint32_t writeImage(CpCValueImage* builder, StConstEntryID areaId = ST_ZERO_CID);

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
