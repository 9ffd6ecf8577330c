// The table of physical quantities and units: 429 compiled-in records,
// indexed by their unit id 0..428. A quantity (type name PhysGr) is named by
// the id of its own record (local index -1), a unit by the id of a unit
// record of that quantity (local index 0 and up). Record 0 "-" stands for a
// dimensionless value: quantity -1, local index -1, so it matches no other
// record.
//
// The factor of a unit is its size in the quantity's local-0 unit (1.0 for
// that unit, 0.0 in quantity records); the offset is 0.0 except for the
// temperatures "°C" and "°F". Names are the program's narrow text in code
// page 1252 ("L\xE4nge", "\xB5m"); whoever prints them to a terminal
// converts them.
//
// Every lookup refuses ids outside 0..428: no record, false, -1, 0.0 or a
// null name. Nothing here reports or allocates.
#pragma once
#include <cstdint>

// Unit-table id of a quantity's own record.
using PhysGr = int32_t;

// One record of the table.
struct PhysUnitRecord {
    int32_t quantity;   // 0..85; -1 in record 0
    int32_t local;      // -1 the quantity itself, else the unit's local index
    double factor;      // size of the unit in the quantity's local-0 unit
    double offset;      // zero point shift (temperatures)
    const char* name;   // code page 1252, never null
    uint32_t reserved;  // always 0
};

class PhysUnitTable {
public:
    static constexpr int32_t kCount = 429;

    static bool isValidId(int32_t id) { return id >= 0 && id < kCount; }
    // The record of id; null outside 0..428.
    static const PhysUnitRecord* record(int32_t id);
    // Fields of a record; -1 (quantity, local index), 0.0 or null outside
    // 0..428. Note that -1 is also record 0's quantity and the local index
    // of every quantity record.
    static int32_t quantityOf(int32_t id);
    static int32_t localIndexOf(int32_t id);
    static double factorOf(int32_t id);
    static double offsetOf(int32_t id);
    static const char* nameOf(int32_t id);

    // The record's local index is -1 (record 0 included); false outside 0..428.
    static bool isQuantityRecord(int32_t id);
    // Both records carry the same quantity number; false when either id is
    // out of range. Record 0's quantity -1 is its own only: (0, 0) is true,
    // record 0 with any other record false.
    static bool sameQuantity(int32_t a, int32_t b);
    // The first quantity record, in table order, of the unit's quantity
    // (record 1 "L\xE4nge" for quantity 0); -1 for record 0 and outside 0..428.
    static PhysGr quantityRecordOf(int32_t unit);

    // Converts v from unit `from` to unit `to` of the same quantity:
    // (v - offset(from)) * factor(from) / factor(to) + offset(to).
    // False (out unchanged) when either id is out of range or a quantity
    // record (record 0 included), or when the units belong to different
    // quantities.
    static bool convert(double v, int32_t from, int32_t to, double& out);
};
