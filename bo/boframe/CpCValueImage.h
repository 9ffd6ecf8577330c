// Constant-value image builder: turns laid-out constant values into a
// binary image of 32-bit words and writes it into a value section
// (FsSecCValue: the version line, the word count in hexadecimal, "\r\n",
// ">" and then the words little-endian).
//
// The image is a list of typed records, each at a word offset:
//   kind 1 header      3n + 1 words   (n OR 0x10000000), per item 3 words
//   kind 2 structure   2n + 2 words   (n OR 0x20000000), header value, items
//   kind 3 repeat      3 words        (header value OR tag OR 0x30000000),
//                                     count, element word
//   kind 4 index list  n + 1 words    (n OR 0x50000000), data record offsets
//   kind 5 data block  n + 1 words    (header value OR width tag OR
//                                     0x40000000), one filler word when the
//                                     width is 8 (aligned to an even word),
//                                     then each item's word
// Records are created in this order: the header, one structure record per
// registered range (ascending range id), the index list, the data record of
// the 8-byte values, then the records the reference sources need.
//
// Mapping of constant values (nothing reads the image; these choices are
// ours and fixed here):
// - A structure record's header value is its range's length in bytes; its
//   items are sorted by offset, and each item's offset is relative to the
//   range start (first word: tag OR offset AND 0xFFFFFF).
// - An elementary value of 1, 2 or 4 bytes is one item of its width
//   (tags 0x01, 0x02, 0x03 in the top byte), its word the value's 32-bit
//   target word (sign applied, REAL as its bits).
// - An 8-byte elementary value (LREAL, LINT, LWORD, ULINT, DT, ...) is
//   registered in the 8-byte registry (low word first) and becomes an item
//   0x108 (tag 0x0B) whose word is the image word of the value: the data
//   record's header value (its own word offset) + 2 + the word index.
// - A structure value contributes its elements, each at its own storage
//   address (nested structures are flattened the same way).
// - An integer-array value becomes a repeat record (header value: the
//   element size; count: the repetitions; element word as above) referenced
//   by an item 0x100 (tag 0x0F, word: the repeat record's offset).
// - A string value becomes a data record of width 1 (capacity byte, length
//   byte, then one item per character up to the length) referenced by an
//   item 0x100 from the structure record.
// Other values (no elementary width, nulls in composites are skipped) fail
// the build.
//
// build() fills the whole word buffer first and writes the section only
// when every step succeeded: a failed build leaves the section untouched.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "base/st/stsymtab/StIds.h"

class FsSecCValue;
class StSymbTable;
class StConstantVal;

class CpCValueImage {
public:
    // Item kinds of structure and repeat records.
    enum : uint32_t {
        ITEM_1 = 1,
        ITEM_2 = 2,
        ITEM_4 = 4,
        ITEM_16 = 0x10,
        ITEM_32 = 0x20,
        ITEM_RECORD = 0x100,   // reference to another record
        ITEM_DOUBLE = 0x108,   // reference into the 8-byte data
        ITEM_SYMBOL = 0x1000,  // a range in the header
    };
    enum RecordKind : uint32_t { REC_HEADER = 1, REC_STRUCT = 2, REC_REPEAT = 3, REC_INDEX = 4, REC_DATA = 5 };

    struct Item {
        uint32_t kind;    // item kind or data width
        uint32_t value;   // payload: data word, record id, word index, range id
        uint32_t second;  // offset in a structure record, count in a repeat
    };
    struct Record {
        uint32_t id = 0;
        uint32_t kind = 0;
        uint32_t header = 0;
        std::vector<Item> items;
        uint64_t offset = 0;
    };

    // Records the storage range of a range id (a constant or a constant
    // area) once: false for a second range of the id, a range ending past
    // 0xFFFFFFFF, and with check set one that overlaps a registered range.
    bool registerRange(StConstEntryID id, uint32_t offset, uint32_t length, bool check);
    // The value of CID valueCid lies at the absolute storage offset inside
    // the range of rangeId. An invalid id of either kind: true, no effect.
    // False when the same value is attached twice to the range.
    bool addReference(StConstEntryID rangeId, StConstEntryID valueCid, uint32_t offset);
    // Attaches a prepared item (offset relative to the range start) to the
    // structure record of a registered range; false for an unknown range.
    // An item of an unknown kind fails the build.
    bool addItem(StConstEntryID rangeId, const Item& item);
    // The word index of the value in the 8-byte data (low word first),
    // appended when new: twice the number of values registered before.
    uint32_t registerDouble(uint64_t value);

    // Builds the records, lays them out and writes the words into out.
    // context gives the values of the referenced CIDs and the sizes of
    // their types; it is used only during the call (null: no reference may
    // be registered). False on any failure, out unchanged.
    bool build(FsSecCValue& out, const StSymbTable* context);
    // The same into a word buffer (for tests and callers that write
    // elsewhere).
    bool buildWords(std::vector<uint32_t>& words, const StSymbTable* context);

    // After a build: the records in creation order.
    const std::vector<Record>& records() const { return m_records; }

    // Size in words of a record and its alignment.
    static uint64_t recordSize(const Record& r);
    static uint32_t recordAlignment(const Record& r);

private:
    struct Range {
        uint32_t offset;
        uint32_t length;
    };
    uint32_t newRecord(uint32_t kind, uint32_t header);
    Record* recordById(uint32_t id);
    // Items of one value at offset (relative to the range start) into items.
    bool valueItems(const StConstantVal* value, int64_t base, const StSymbTable& context, std::vector<Item>& items,
                    int depth);
    bool elementItem(const StConstantVal* value, const StSymbTable& context, uint32_t& kind, uint32_t& word);
    bool serialise(std::vector<uint32_t>& words);
    // The second word of an item of a structure or repeat record.
    bool itemWord(const Item& item, uint32_t& word);

    std::map<uint32_t, Range> m_ranges;                          // range id -> range
    std::multimap<std::pair<uint64_t, uint64_t>, uint32_t> m_spans;  // (offset, end) -> range id
    std::map<uint32_t, std::set<std::pair<uint32_t, uint32_t>>> m_sources;  // value CID -> (range id, offset)
    std::map<uint64_t, uint32_t> m_doubles;                      // value -> word index
    std::vector<uint64_t> m_doubleOrder;
    std::vector<std::pair<uint32_t, Item>> m_rawItems;
    std::vector<Record> m_records;
    uint32_t m_nextId = 0;
    uint32_t m_dataRecord = 0;
    uint64_t m_totalWords = 0;
};
