// Constant-value image builder (see CpCValueImage.h).
#include "bo/boframe/CpCValueImage.h"

#include <algorithm>
#include <cstring>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

constexpr uint64_t kAddressSpace = 0x100000000ull;  // ranges end at most here

// Top-byte tag of an item kind of a structure or repeat record; 0 unknown.
uint32_t itemTag(uint32_t kind)
{
    switch (kind) {
    case CpCValueImage::ITEM_1: return 0x01000000u;
    case CpCValueImage::ITEM_2: return 0x02000000u;
    case CpCValueImage::ITEM_4: return 0x03000000u;
    case CpCValueImage::ITEM_16: return 0x05000000u;
    case CpCValueImage::ITEM_32: return 0x06000000u;
    case CpCValueImage::ITEM_RECORD: return 0x0F000000u;
    case CpCValueImage::ITEM_DOUBLE: return 0x0B000000u;
    default: return 0;
    }
}

// Tag of a data width of a kind-5 record; 0 unknown.
uint32_t widthTag(uint32_t width)
{
    switch (width) {
    case 1: return 0x01000000u;
    case 2: return 0x02000000u;
    case 4: return 0x03000000u;
    case 8: return 0x04000000u;
    case 0x10: return 0x05000000u;
    case 0x20: return 0x06000000u;
    default: return 0;
    }
}

uint32_t dataWidth(const CpCValueImage::Record& r) { return r.items.empty() ? 4 : r.items.front().kind; }

}  // namespace

bool CpCValueImage::registerRange(StConstEntryID id, uint32_t offset, uint32_t length, bool check)
{
    const uint64_t end = uint64_t(offset) + length;
    if (end > kAddressSpace || m_ranges.count(id)) return false;
    if (check && length != 0)
        for (auto it = m_spans.begin(); it != m_spans.end() && it->first.first < end; ++it)
            if (it->first.second > offset && it->first.first != it->first.second) return false;
    m_ranges[id] = Range{offset, length};
    m_spans.emplace(std::make_pair(uint64_t(offset), end), uint32_t(id));
    return true;
}

bool CpCValueImage::addReference(StConstEntryID rangeId, StConstEntryID valueCid, uint32_t offset)
{
    if (rangeId.isInvalid() || valueCid.isInvalid()) return true;
    return m_sources[valueCid].insert({uint32_t(rangeId), offset}).second;
}

bool CpCValueImage::addItem(StConstEntryID rangeId, const Item& item)
{
    if (!m_ranges.count(rangeId)) return false;
    m_rawItems.emplace_back(uint32_t(rangeId), item);
    return true;
}

uint32_t CpCValueImage::registerDouble(uint64_t value)
{
    auto it = m_doubles.find(value);
    if (it != m_doubles.end()) return it->second;
    const uint32_t index = uint32_t(2 * m_doubleOrder.size());
    m_doubles.emplace(value, index);
    m_doubleOrder.push_back(value);
    return index;
}

uint64_t CpCValueImage::recordSize(const Record& r)
{
    const uint64_t n = r.items.size();
    switch (r.kind) {
    case REC_HEADER: return 3 * n + 1;
    case REC_STRUCT: return 2 * n + 2;
    case REC_REPEAT: return 3;
    case REC_INDEX: return n + 1;
    case REC_DATA: return n + 1 + (dataWidth(r) == 8 ? 1 : 0);
    default: return 0;
    }
}

uint32_t CpCValueImage::recordAlignment(const Record& r)
{
    return r.kind == REC_DATA && dataWidth(r) == 8 ? 2 : 1;
}

uint32_t CpCValueImage::newRecord(uint32_t kind, uint32_t header)
{
    Record r;
    r.id = m_nextId++;
    r.kind = kind;
    r.header = header;
    m_records.push_back(std::move(r));
    return m_records.back().id;
}

CpCValueImage::Record* CpCValueImage::recordById(uint32_t id)
{
    // Ids are handed out in creation order, so the id of a record of this
    // build is its index once the first id is subtracted.
    if (m_records.empty()) return nullptr;
    const uint32_t first = m_records.front().id;
    if (id < first || id - first >= m_records.size()) return nullptr;
    return &m_records[id - first];
}

bool CpCValueImage::elementItem(const StConstantVal* value, const StSymbTable& context, uint32_t& kind,
                                uint32_t& word)
{
    const auto* std = dynamic_cast<const StStdConstantVal*>(value);
    if (!std || !context.types()) return false;
    const int32_t size = context.types()->getSize(std->getTypeId());
    switch (size) {
    case 1:
    case 2:
    case 4:
        kind = uint32_t(size);
        word = std->getTargetWord();
        return true;
    case 8: {
        uint8_t raw[8];
        uint32_t type = 0;
        int32_t sign = 1;
        std->getRaw(raw, type, sign);
        uint64_t bits = 0;
        std::memcpy(&bits, raw, 8);
        kind = ITEM_DOUBLE;
        word = registerDouble(bits);
        return true;
    }
    default: return false;
    }
}

bool CpCValueImage::valueItems(const StConstantVal* value, int64_t base, const StSymbTable& context,
                               std::vector<Item>& items, int depth)
{
    if (depth > ST_CONST_MAX_DEPTH) return false;
    const uint32_t second = uint32_t(base) & 0xFFFFFFu;
    switch (value->getKind()) {
    case ST_CONST_STD: {
        uint32_t kind = 0, word = 0;
        if (!elementItem(value, context, kind, word)) return false;
        items.push_back({kind, word, second});
        return true;
    }
    case ST_CONST_STRUCT: {
        const StConstRange r = value->elementRange();
        for (StConstantVal* const* e = r.first; e != r.end; ++e) {
            if (!*e) continue;
            const int64_t at = (*e)->hasAddress() && value->hasAddress()
                                   ? base + (int64_t((*e)->getStorageAddress()) - value->getStorageAddress())
                                   : base;
            if (!valueItems(*e, at, context, items, depth + 1)) return false;
        }
        return true;
    }
    case ST_CONST_INTARRAY:
    case ST_CONST_PCKINIT: {
        const auto* array = static_cast<const StIntArrayConstantVal*>(value);
        uint32_t kind = 0, word = 0;
        if (!array->firstElement() || !elementItem(array->firstElement(), context, kind, word)) return false;
        const uint32_t rec = newRecord(REC_REPEAT, array->getESize());
        recordById(rec)->items.push_back({kind, word, array->getElems()});
        items.push_back({ITEM_RECORD, rec, second});
        return true;
    }
    case ST_CONST_STRING: {
        String text;
        uint8_t length = 0;
        value->getText(text, length);
        const uint32_t rec = newRecord(REC_DATA, 0);
        Record* r = recordById(rec);
        r->items.push_back({1, StStringConstantVal::MAX_LENGTH, 0});
        r->items.push_back({1, length, 0});
        for (uint32_t i = 0; i < length && i < uint32_t(text.length()); ++i)
            r->items.push_back({1, uint8_t(text[i]), 0});
        items.push_back({ITEM_RECORD, rec, second});
        return true;
    }
    }
    return false;
}

bool CpCValueImage::itemWord(const Item& item, uint32_t& word)
{
    switch (item.kind) {
    case ITEM_RECORD: {
        const Record* r = recordById(item.value);
        word = r ? uint32_t(r->offset) : 0xFFFFFFFFu;
        return true;
    }
    case ITEM_DOUBLE: {
        const Record* data = recordById(m_dataRecord);
        if (!data) return false;
        word = data->header + 2 + item.value;
        return true;
    }
    default:
        if (!itemTag(item.kind)) return false;
        word = item.value;
        return true;
    }
}

bool CpCValueImage::buildWords(std::vector<uint32_t>& words, const StSymbTable* context)
{
    m_records.clear();
    // Step 1: the records.
    const uint32_t header = newRecord(REC_HEADER, 0);
    std::map<uint32_t, uint32_t> structOf;  // range id -> structure record id
    for (const auto& [id, range] : m_ranges) {
        structOf[id] = newRecord(REC_STRUCT, range.length);
        recordById(header)->items.push_back({ITEM_SYMBOL, id, structOf[id]});
    }
    const uint32_t index = newRecord(REC_INDEX, 0);
    recordById(header)->items.push_back({ITEM_RECORD, index, 0});
    m_dataRecord = newRecord(REC_DATA, 0);
    recordById(index)->items.push_back({ITEM_RECORD, m_dataRecord, 0});
    for (const auto& [rangeId, item] : m_rawItems) {
        auto s = structOf.find(rangeId);
        if (s == structOf.end()) return false;
        recordById(s->second)->items.push_back(item);
    }
    for (const auto& [cid, places] : m_sources) {
        const StConstantVal* value = context ? context->getConstantVal(cid) : nullptr;
        if (!value) return false;
        std::vector<Item> items;
        if (!valueItems(value, 0, *context, items, 0)) return false;
        for (const auto& [rangeId, offset] : places) {
            auto r = m_ranges.find(rangeId);
            if (r == m_ranges.end()) return false;
            const int64_t shift = int64_t(offset) - int64_t(r->second.offset);
            Record* s = recordById(structOf[rangeId]);
            for (Item it : items) {
                it.second = uint32_t(int64_t(it.second) + shift) & 0xFFFFFFu;
                s->items.push_back(it);
            }
        }
    }
    {
        // The 8-byte values, low word first (registered until now).
        Record* data = recordById(m_dataRecord);
        for (uint64_t v : m_doubleOrder) {
            data->items.push_back({8, uint32_t(v), 0});
            data->items.push_back({8, uint32_t(v >> 32), 0});
        }
    }
    for (Record& r : m_records)
        if (r.kind == REC_STRUCT)
            std::stable_sort(r.items.begin(), r.items.end(),
                             [](const Item& a, const Item& b) { return a.second < b.second; });
    // Step 2: the layout.
    uint64_t at = 0;
    for (Record& r : m_records) {
        const uint32_t align = recordAlignment(r);
        at = (at + align - 1) / align * align;
        r.offset = at;
        if (r.kind == REC_DATA) {
            // A data record's header value is its own word offset, ORed
            // into its first word below the tag.
            if (at > 0xFFFFFFu) return false;
            r.header = uint32_t(at);
        }
        at += recordSize(r);
    }
    if (at > 0xFFFFFFFFu) return false;
    m_totalWords = at;
    // Step 3: the words.
    return serialise(words);
}

bool CpCValueImage::serialise(std::vector<uint32_t>& words)
{
    std::vector<uint32_t> out;
    out.reserve(size_t(m_totalWords));
    for (const Record& r : m_records) {
        if (r.offset < out.size()) return false;
        out.resize(size_t(r.offset), 0);
        const uint32_t n = uint32_t(r.items.size());
        switch (r.kind) {
        case REC_HEADER:
            if (r.offset != 0) return false;
            out.push_back(n | 0x10000000u);
            for (const Item& it : r.items) {
                const Record* target = recordById(it.kind == ITEM_SYMBOL ? it.second : it.value);
                if (!target) return false;
                if (it.kind == ITEM_SYMBOL) {
                    const Range& range = m_ranges.at(it.value);
                    out.push_back((range.offset & 0xFFFFFFu) | 0x10000000u);
                    out.push_back(range.length);
                } else if (it.kind == ITEM_RECORD && target->kind == REC_INDEX) {
                    out.push_back(0xB0000000u);
                    out.push_back(0);
                } else {
                    return false;
                }
                out.push_back(uint32_t(target->offset));
            }
            break;
        case REC_STRUCT:
            out.push_back(n | 0x20000000u);
            out.push_back(r.header);
            for (const Item& it : r.items) {
                uint32_t word = 0;
                if (!itemTag(it.kind) || !itemWord(it, word)) return false;
                out.push_back(itemTag(it.kind) | (it.second & 0xFFFFFFu));
                out.push_back(word);
            }
            break;
        case REC_REPEAT: {
            if (n != 1) return false;
            const Item& it = r.items.front();
            uint32_t word = 0;
            if (!itemTag(it.kind) || !itemWord(it, word)) return false;
            out.push_back(r.header | itemTag(it.kind) | 0x30000000u);
            out.push_back(it.second);
            out.push_back(word);
            break;
        }
        case REC_INDEX:
            out.push_back(n | 0x50000000u);
            for (const Item& it : r.items) {
                const Record* target = recordById(it.value);
                if (!target || target->kind != REC_DATA) return false;
                out.push_back(uint32_t(target->offset));
            }
            break;
        case REC_DATA: {
            const uint32_t width = dataWidth(r);
            if (!widthTag(width)) return false;
            out.push_back(r.header | widthTag(width) | 0x40000000u);
            if (width == 8) out.push_back(0);
            for (const Item& it : r.items) {
                if (it.kind != width) return false;
                out.push_back(it.value);
            }
            break;
        }
        default: return false;
        }
    }
    if (out.size() != m_totalWords) return false;
    words.swap(out);
    return true;
}

bool CpCValueImage::build(FsSecCValue& out, const StSymbTable* context)
{
    std::vector<uint32_t> words;
    if (!buildWords(words, context)) return false;
    out.setValueCount(uint32_t(words.size()));
    for (uint32_t w : words) out.writeValue(w);
    return !out.hasError() && out.writtenCount() == words.size();
}
