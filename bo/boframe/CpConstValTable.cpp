// Constant table of the compile side (see CpConstValTable.h).
#include "bo/boframe/CpConstValTable.h"

#include <algorithm>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "bo/boframe/CpCValueImage.h"

namespace {

constexpr uint64_t kAreaEnd = 0xFFFFFFu;  // the last offset of the area

}  // namespace

CpConstValTable::CpConstValTable(uint32_t startOffset) : m_startOffset(startOffset), m_nextOffset(startOffset) {}

CpConstValTable::~CpConstValTable() = default;

uint32_t CpConstValTable::layoutConstants(const StIdList& cids, StSymbTable& table)
{
    StIdList sorted(cids);
    std::sort(sorted.begin(), sorted.end());
    StSyTypeTable* types = table.types();
    for (uint32_t cid : sorted) {
        StConstantVal* value = getConstantVal(cid);
        if (!value) return 1;
        if (value->hasAddress()) continue;
        const StTypeID tid = value->getKind() == ST_CONST_STD ? value->getTypeId() : value->getTypeRef();
        const int64_t size = types ? std::max<int32_t>(types->getSize(tid), 0) : 0;
        uint64_t align = types ? types->getAlignment(tid) : 1;
        if (align == 0) align = 1;
        if (uint64_t(m_nextOffset) + align + uint64_t(size) > kAreaEnd) return 2;
        const uint64_t at = (uint64_t(m_nextOffset) + align - 1) / align * align;
        value->setStorageAddress(int32_t(at));
        m_nextOffset = uint32_t(at + uint64_t(size));
        m_laidOut.push_back(cid);
        if (value->getKind() == ST_CONST_STRUCT && types) layoutValue(value, *types, false);
    }
    return m_nextOffset > kAreaEnd ? 2 : 0;
}

uint32_t CpConstValTable::writeImage(CpCValueImage* builder, StConstEntryID areaId)
{
    if (!builder || !builder->registerRange(areaId, m_startOffset, count(), true)) return 2;
    for (uint32_t cid : m_laidOut) {
        const StConstantVal* value = getConstantVal(cid);
        if (!value) return 1;
        if (!value->hasAddress()) return 2;
        if (!builder->addReference(areaId, cid, uint32_t(value->getStorageAddress()))) return 1;
    }
    return 0;
}
