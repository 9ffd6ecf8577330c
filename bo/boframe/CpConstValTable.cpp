// Constant table of the compile side (see CpConstValTable.h).
#include "bo/boframe/CpConstValTable.h"

CpConstValTable::CpConstValTable(uint32_t startOffset) : m_startOffset(startOffset), m_nextOffset(startOffset) {}

CpConstValTable::~CpConstValTable() = default;
