// Layout and word forms of the unit-using table's type descriptions, and
// the type walker over the same records.
#include "bo/cp/CpUnitTypeWriter.h"

#include <algorithm>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

constexpr uint32_t LOW24 = 0xFFFFFF;
constexpr uint32_t TAG_MASK = 0x0F000000;

// The type code of each elementary id in the word of a simple type.
constexpr uint8_t kTypeCode[30] = {
    0,    // VOID
    1,    // BOOL
    2,    // BYTE
    4,    // WORD
    6,    // DWORD
    0x31, // LWORD
    3,    // SINT
    5,    // INT
    7,    // DINT
    0x32, // LINT
    2,    // USINT
    4,    // UINT
    6,    // UDINT
    0x31, // ULINT
    8,    // REAL
    0x30, // LREAL
    0,    // ANYOBJECT
    0,    // @MEMADR
    0x0B, // TIME
    9,    // DATE
    0x0A, // TOD
    0x0E, // DT
};
constexpr uint32_t STRING_CODE = 0x33;

uint32_t segmentTag(bool first, bool second)
{
    if (first && second) return 0xF1000000;
    if (first) return 0xF2000000;
    if (second) return 0xF3000000;
    return 0xF4000000;
}

} // namespace

uint32_t CpTypeRecord::wordSize() const
{
    if (isSimple()) return 1;
    if (count != 0) return 5;
    return 2 * uint32_t(members.size()) + 2;
}

bool CpUnitTypeWriter::setSegmentSize(bool first, bool second, uint32_t size)
{
    if (size > MAX_SEGMENT_SIZE) return false;
    const uint32_t tag = segmentTag(first, second);
    const uint32_t number = size | tag;
    for (uint32_t& e : m_extra)
        if ((e & TAG_MASK) == (tag & TAG_MASK)) {
            e = number;
            return true;
        }
    if (size != 0) m_extra.push_back(number);
    return true;
}

uint32_t CpUnitTypeWriter::headerSize() const
{
    return 2 * uint32_t(m_header.members.size()) + 2 + 2 * uint32_t(m_extra.size());
}

bool CpUnitTypeWriter::layout(uint32_t& wordCount)
{
    uint32_t index = 2 * m_baseCount + headerSize() - 1;
    wordCount = headerSize();
    for (auto& [tid, r] : m_records) {
        r.wordIndex = index;
        index += r.wordSize();
        wordCount += r.wordSize();
    }
    m_extraIndex.clear();
    for (size_t i = 0; i < m_extra.size(); ++i) m_extraIndex.push_back(index++);
    wordCount += uint32_t(m_extra.size());
    return true;
}

bool CpUnitTypeWriter::word(uint32_t w) { return m_section->writeNumber(w); }

bool CpUnitTypeWriter::writeMembers(const CpTypeRecord& r)
{
    for (const CpTypeMember& m : r.members) {
        auto it = m_records.find(m.tid);
        if (it == m_records.end()) return false;
        if (!word(it->second.wordIndex) || !word(m.offset)) return false;
        if (!m.name.empty() && m_table->lookupSymbolEntry(m.name, m_table->getGlobalVR(), m_table->getGlobalNR(),
                                                          ST_KIND_UNIT) != ST_INVALID_SID)
            m_units.emplace(m.name, m.offset);
    }
    return true;
}

bool CpUnitTypeWriter::writeRecord(const CpTypeRecord& r, StTypeID tid)
{
    if (r.isAnyObject()) return word((r.objectId & LOW24) | 0x40000000);
    if (r.isSimple()) {
        uint32_t code = 0, size = 0;
        if (esIsElementary(r.spec)) {
            const uint32_t id = esElemCode(r.spec);
            code = id < 30 ? kTypeCode[id] : 0;
            size = uint32_t(m_table->getTypeSize(id, false));
        } else if (esSpecCode(r.spec) == ST_SPEC_STRING) {
            code = STRING_CODE;
            size = r.count;
        } else {
            return false;
        }
        return word((code << 16) | (size & 0xFFFF) | 0x50000000);
    }
    if (r.count != 0) {
        const StTypeID elem = m_table->getElementType(tid);
        auto it = m_records.find(elem);
        if (it == m_records.end()) return false;
        int32_t lower = 0, upper = 0;
        if (!m_table->getArrayBounds(tid, lower, upper)) lower = 0;
        uint32_t half = 0;
        if (elem == ST_MEMADR && m_resolver) {
            uint16_t a = 0, b = 0;
            m_resolver->addressHalves(tid, a, b);
            half = b;
        }
        return word((r.count & LOW24) | 0x30000000) && word(r.value) && word(it->second.wordIndex) &&
               word(uint32_t(lower)) && word(half);
    }
    return word((uint32_t(r.members.size()) & LOW24) | 0x20000000) && word(r.value) && writeMembers(r);
}

bool CpUnitTypeWriter::write(FsSecDataDescr& section, CpTypeResolver* resolver, const StSymbTable& table)
{
    m_section = &section;
    m_resolver = resolver;
    m_table = &table;
    bool ok = true;
    for (auto& [tid, r] : m_records) {
        if (!r.isAnyObject()) continue;
        const int32_t id = resolver ? resolver->resolveObjectId(r.name) : -1;
        if (id == -1) {
            ok = false;
            break;
        }
        r.objectId = uint32_t(id);
    }
    uint32_t wordCount = 0;
    ok = ok && layout(wordCount) && section.openTable(true, wordCount);
    if (ok) {
        ok = word((m_baseCount + m_header.value) | 0x10000000) && word(m_header.value) && writeMembers(m_header);
        for (size_t i = 0; ok && i < m_extra.size(); ++i) ok = word(m_extraIndex[i]) && word(0);
    }
    for (auto it = m_records.begin(); ok && it != m_records.end(); ++it) ok = writeRecord(it->second, it->first);
    for (size_t i = 0; ok && i < m_extra.size(); ++i) ok = word(m_extra[i]);
    if (ok) {
        uint32_t n = uint32_t(m_units.size());
        ok = section.beginUnit(n);
        for (auto it = m_units.begin(); ok && it != m_units.end(); ++it)
            ok = section.writeEntry(it->first, {it->second});
    }
    m_section = nullptr;
    m_resolver = nullptr;
    m_table = nullptr;
    m_units.clear();
    return ok;
}

bool CpTypeWalker::begin(const CpTypeRecordMap& records, const std::vector<Pair>& roots, const StSymbTable& table)
{
    m_records = records;
    m_queue.clear();
    for (const Pair& p : roots)
        if (!expand(p.first, p.second, 0, table)) {
            m_queue.clear();
            return false;
        }
    std::stable_sort(m_queue.begin(), m_queue.end(),
                     [](const Pair& a, const Pair& b) { return a.second < b.second; });
    return true;
}

bool CpTypeWalker::expand(StTypeID tid, uint32_t address, int depth, const StSymbTable& table)
{
    if (depth > MAX_DEPTH) return false;
    auto it = m_records.find(tid);
    if (it == m_records.end() || it->second.isSimple()) {
        m_queue.emplace_back(tid, address);
        return true;
    }
    const CpTypeRecord& r = it->second;
    if (r.count != 0) {
        const StTypeID elem = table.getElementType(tid);
        const int32_t size = table.getTypeSize(elem, false);
        if (size <= 0) return true;  // no element size: no elements
        for (uint32_t i = 0; i < r.count; ++i)
            if (!expand(elem, address + i * uint32_t(size), depth + 1, table)) return false;
        return true;
    }
    for (const CpTypeMember& m : r.members)
        if (!expand(m.tid, address + m.offset, depth + 1, table)) return false;
    return true;
}

bool CpTypeWalker::next(Pair& out)
{
    if (m_queue.empty()) return false;
    out = m_queue.front();
    m_queue.pop_front();
    return true;
}
